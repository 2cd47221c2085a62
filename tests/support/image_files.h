// Writers of small image files in every format the decoders read, for the
// decoder tests and the fuzzer's seed corpus. Pictures are 0xAARRGGBB, top
// row first; each writer lays the file out byte by byte (PNG and JPEG go
// through libpng's and libjpeg's encoders).
#ifndef TESSEL_TEST_IMAGE_FILES_H
#define TESSEL_TEST_IMAGE_FILES_H

#include "graphics/image.h"

#include <cstdint>
#include <string>
#include <vector>

using Bytes = std::vector<uint8_t>;

struct Picture {
    int width = 0, height = 0;
    std::vector<uint32_t> argb;  // width x height, top row first
    uint32_t At(int x, int y) const { return argb[size_t(y) * width + x]; }
};

// A picture of palette indexes.
struct IndexedPicture {
    int width = 0, height = 0;
    std::vector<uint32_t> palette;  // 0xAARRGGBB
    std::vector<uint8_t> index;     // width x height, top row first
    Picture Expanded() const;
};

// Colours that differ from pixel to pixel and row to row, so that a swapped
// channel, row or column shows; with `alpha` the alpha varies too.
Picture Gradient(int width, int height, bool alpha);
// Every grey level the same in red, green and blue.
Picture GreyGradient(int width, int height);
// `colours` palette entries used in runs and singles alike.
IndexedPicture Indexed(int width, int height, int colours);

// ---- BMP --------------------------------------------------------------------
struct BmpSpec {
    int32_t width = 0, height = 0;   // height < 0: top-down rows
    int bitCount = 24;
    uint32_t compression = 0;        // 0 plain, 1 RLE8, 2 RLE4, 3 bit fields
    std::vector<uint32_t> palette;   // written as blue, green, red, 0
    uint32_t colorsUsed = 0;         // the header field
    bool writeMasks = false;         // three masks after the header
    uint32_t masks[3] = {};
    bool writeImageSize = true;      // the header's image size, else 0
    Bytes data;                      // the pixel data as stored
};
Bytes BmpFile(const BmpSpec& shape);
// Rows as a plain BMP stores them: 1, 4 or 8 bits for indexes.
Bytes BmpIndexRows(const IndexedPicture& picture, int bits, bool bottomUp);
// 16, 24 or 32 bits; masks of 0 mean the plain layouts (5:5:5 and 8:8:8).
Bytes BmpColourRows(const Picture& picture, int bits, bool bottomUp, const uint32_t masks[3]);
// Run-length codes (bits 8 or 4) with encoded runs and literal runs, an
// end-of-line after every row and an end-of-bitmap at the end.
Bytes BmpRunLength(const IndexedPicture& picture, int bits);
// A whole BMP of the picture in one of the common variants.
Bytes BmpOf(const IndexedPicture& picture, int bits, bool runLength);
Bytes BmpOf(const Picture& picture, int bits, bool topDown);

// ---- TGA --------------------------------------------------------------------
struct TgaSpec {
    uint8_t idLength = 0;
    uint8_t mapType = 0;
    uint8_t imageType = 2;
    uint16_t mapFirst = 0, mapLength = 0;
    uint8_t mapEntryBits = 0;
    uint16_t xOrigin = 0, yOrigin = 0;
    uint16_t width = 0, height = 0;
    uint8_t pixelBits = 24;
    uint8_t descriptor = 0;          // bit 4 right to left, bit 5 top to bottom
    Bytes id;                        // idLength bytes
    Bytes map;                       // the colour map as stored
    Bytes data;                      // the pixel data as stored
    bool footer = false;             // the version 2 footer
    int attributeType = -1;          // >= 0: an extension area with this type
};
Bytes TgaFile(const TgaSpec& shape);
// The pixels in the order the descriptor gives, as 16, 24 or 32 bits.
Bytes TgaPixels(const Picture& picture, int bits, uint8_t descriptor);
Bytes TgaIndexes(const IndexedPicture& picture, uint8_t descriptor);
// Run-length packets over pixels of `pixelBytes`: runs where pixels repeat,
// literal packets elsewhere.
Bytes TgaRunLength(const Bytes& pixels, int pixelBytes);
// A colour map of the picture's palette at 16, 24 or 32 bits an entry.
Bytes TgaMap(const IndexedPicture& picture, int bits);
// A true-colour (type 2 or 10) TGA of the picture.
Bytes TgaOf(const Picture& picture, int bits, uint8_t descriptor, bool runLength, bool footer);

// ---- DDS, "BGRA" ------------------------------------------------------------
struct DdsSpec {
    uint32_t width = 0, height = 0;
    uint32_t flags = 0x1007;         // caps, height, width, pixel format
    uint32_t pitch = 0;
    uint32_t formatFlags = 0x40;     // RGB
    uint32_t fourCc = 0;
    uint32_t bitCount = 32;
    uint32_t masks[4] = {};          // red, green, blue, alpha
    Bytes data;
};
Bytes DdsFile(const DdsSpec& shape);
// Pixels packed by masks (red, green, blue, alpha), `bits` a pixel, rows of
// `pitch` bytes (0: no padding).
Bytes PackByMasks(const Picture& picture, int bits, const uint32_t masks[4], uint32_t pitch = 0);
Bytes BgraFile(const Picture& picture, bool sixteenBits);

// ---- PNG, JPEG ----------------------------------------------------------------
// colourType as PNG numbers it (0 grey, 2 RGB, 4 grey-alpha, 6 RGBA); grey
// comes from the red channel. `transparent` >= 0 adds a tRNS chunk for that
// grey level or 0xRRGGBB colour.
Bytes PngFile(const Picture& picture, int colourType, int bitDepth, bool interlaced,
              int64_t transparent = -1);
Bytes PngPaletteFile(const IndexedPicture& picture, int bitDepth, bool withAlpha);
Bytes JpegFile(const Picture& picture, bool grey, int quality, bool progressive = false);

// ---- reading back ------------------------------------------------------------
// Decodes `bytes` through a memory stream (DecodeImageStream).
int DecodeBytes(const Bytes& bytes, GraphImage* image);
// A decoded pixel as 0xAARRGGBB: each channel widened to 8 bits with
// rounding, as independent decoders do; alpha 0xFF when the format has none.
// 8-bit grey reads as grey.
uint32_t DecodedArgb(const GraphImage& image, int x, int y);

// A decoded image whose pixels are freed with it.
struct Decoded {
    GraphImage image{};
    int result = -1;
    explicit Decoded(const Bytes& bytes) { result = DecodeBytes(bytes, &image); }
    ~Decoded() { FreeGraphImagePixels(&image); }
    Decoded(const Decoded&) = delete;
    Decoded& operator=(const Decoded&) = delete;
    uint32_t At(int x, int y) const { return DecodedArgb(image, x, y); }
};

// One small valid file of each kind the decoders take, named by kind.
std::vector<std::pair<std::string, Bytes>> SampleFiles();

#endif
