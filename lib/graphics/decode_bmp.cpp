// BMP files. 4- and 8-bit palette images and plain 24-bit images are unpacked
// here; every other variant is drawn by the platform into a 24-bit bitmap.
// The result is always 24-bit BGR, top row first.
#include "graphics/decode_cursor.h"
#include "core/core.h"
#include "graphics/bitmap.h"

#include <algorithm>
#include <cstdlib>
#include <cstring>

namespace {

constexpr uint32_t FileHeaderSize = 14;
constexpr uint32_t InfoHeaderSize = 40;

// The fields of the file and info headers the decoder uses.
struct BmpHeader {
    uint32_t dataOffset;   // where the pixel data starts
    uint32_t infoSize;     // the info header's own size; the colour table follows it
    int32_t width;
    int32_t height;        // positive: bottom-up rows
    uint16_t bitCount;
    uint32_t compression;  // a DibCompression
    uint32_t imageSize;    // bytes of pixel data; 0 is allowed for plain rows
    uint32_t colorsUsed;   // entries in the colour table; 0 = all 2^bitCount
};

bool ReadHeader(StreamCursor* cursor, BmpHeader* header) {
    uint8_t bytes[FileHeaderSize + InfoHeaderSize];
    if (!ReadExact(cursor, bytes, sizeof bytes) || bytes[0] != 'B' || bytes[1] != 'M') return false;
    const uint8_t* info = bytes + FileHeaderSize;
    *header = {Le32(bytes + 10),
               Le32(info),
               static_cast<int32_t>(Le32(info + 4)),
               static_cast<int32_t>(Le32(info + 8)),
               Le16(info + 14),
               Le32(info + 16),
               Le32(info + 20),
               Le32(info + 32)};
    // Older, shorter headers lay their fields out differently.
    if (header->infoSize < InfoHeaderSize) return false;
    if (header->width <= 0 || header->height == 0 || header->height == INT32_MIN) return false;
    switch (header->compression) {
    case DibRgb:
        return header->bitCount == 1 || header->bitCount == 4 || header->bitCount == 8 ||
               header->bitCount == 16 || header->bitCount == 24 || header->bitCount == 32;
    case DibRle8: return header->bitCount == 8 && header->height > 0;
    case DibRle4: return header->bitCount == 4 && header->height > 0;
    case DibBitFields: return header->bitCount == 16 || header->bitCount == 32;
    default: return false;
    }
}

// The colour table holds 2^bitCount entries, or the colours-used count when
// that is smaller. It never reaches into the pixel data: entries that would
// are missing, and indexes past the table read as black.
int ReadPalette(StreamCursor* cursor, const BmpHeader& header, uint8_t palette[1024]) {
    uint64_t count = uint64_t(1) << header.bitCount;
    if (header.colorsUsed != 0) count = std::min<uint64_t>(count, header.colorsUsed);
    uint64_t start = uint64_t(FileHeaderSize) + header.infoSize;
    if (header.dataOffset >= start) count = std::min<uint64_t>(count, (header.dataOffset - start) / 4);
    if (!SeekCursor(cursor, start) || !ReadExact(cursor, palette, count * 4)) return -1;
    return static_cast<int>(count);
}

// Palette images: three bytes a pixel, no row padding.
int UnpackIndexed(const BmpHeader& header, const uint8_t* data, uint64_t rowSize,
                  const uint8_t* palette, int paletteCount, GraphImage* image) {
    int32_t height = std::abs(header.height);
    uint64_t bytes;
    if (!CheckedProduct(uint64_t(header.width), 3, uint64_t(height), MaxImageBytes, &bytes)) return -1;
    uint8_t* pixels = AllocatePixels(bytes);
    if (!pixels) return -1;
    int32_t pitch = header.width * 3;
    for (int32_t y = 0; y < height; ++y) {
        int32_t fileRow = header.height > 0 ? height - 1 - y : y;
        const uint8_t* in = data + rowSize * uint64_t(fileRow);
        uint8_t* out = pixels + int64_t(pitch) * y;
        for (int32_t x = 0; x < header.width; ++x, out += 3) {
            unsigned index = header.bitCount == 8 ? in[x] : (in[x >> 1] >> (x & 1 ? 0 : 4)) & 0xF;
            if (index < unsigned(paletteCount)) {
                std::memcpy(out, palette + index * 4, 3);
            } else {
                out[0] = out[1] = out[2] = 0;
            }
        }
    }
    *image = {Bgr24Format, header.width, height, pitch, pixels};
    return 0;
}

// Plain 24-bit rows are kept as they are, padding included, top row first.
int ReorderRows(const BmpHeader& header, const uint8_t* data, uint64_t rowSize, GraphImage* image) {
    int32_t height = std::abs(header.height);
    uint8_t* pixels = AllocatePixels(rowSize * uint64_t(height));
    if (!pixels) return -1;
    for (int32_t y = 0; y < height; ++y) {
        int32_t fileRow = header.height > 0 ? height - 1 - y : y;
        std::memcpy(pixels + rowSize * uint64_t(y), data + rowSize * uint64_t(fileRow), rowSize);
    }
    *image = {Bgr24Format, header.width, height, static_cast<int32_t>(rowSize), pixels};
    return 0;
}

// Every other variant goes through the platform's DIB drawing.
int DrawThroughPlatform(const BmpHeader& header, const uint8_t* data, uint64_t dataSize,
                        const uint32_t masks[3], const uint8_t* palette, int paletteCount,
                        GraphImage* image) {
    int32_t height = std::abs(header.height);
    PlatBitmap* bitmap = PlatCreateBitmap24(header.width, height);
    if (!bitmap) return WriteLogString(SJIS("ＤＩＢの作成に失敗しました3\n"));
    PlatDib dib = {header.width, header.height, header.bitCount, static_cast<int>(header.compression),
                   {masks[0], masks[1], masks[2]}, palette, paletteCount, data,
                   static_cast<size_t>(dataSize)};
    if (PlatDrawDib(bitmap, &dib) != 0) {
        PlatFreeBitmap(bitmap);
        return -1;
    }
    uint8_t* pixels = AllocatePixels(uint64_t(bitmap->pitch) * uint64_t(height));
    if (!pixels) {
        PlatFreeBitmap(bitmap);
        return WriteLogString(
            SJIS("２４ビットカラー化したグラフィックを格納するメモリ領域の確保に失敗しました\n"));
    }
    std::memcpy(pixels, bitmap->bits, size_t(bitmap->pitch) * size_t(height));
    *image = {Bgr24Format, header.width, height, bitmap->pitch, pixels};
    PlatFreeBitmap(bitmap);
    return 0;
}

}  // namespace

int DecodeBmp(ImageStream* stream, GraphImage* image) {
    *image = {};
    StreamCursor cursor;
    BmpHeader header;
    if (!OpenCursor(stream, &cursor) || !ReadHeader(&cursor, &header)) return -1;

    uint8_t palette[1024];
    int paletteCount = 0;
    if (header.bitCount <= 8) {
        paletteCount = ReadPalette(&cursor, header, palette);
        if (paletteCount < 0) return -1;
    }
    // The masks follow the 40-byte header, or are the next fields of a longer one.
    uint32_t masks[3] = {};
    if (header.compression == DibBitFields) {
        uint8_t bytes[12];
        if (!SeekCursor(&cursor, FileHeaderSize + InfoHeaderSize) || !ReadExact(&cursor, bytes, 12))
            return -1;
        masks[0] = Le32(bytes), masks[1] = Le32(bytes + 4), masks[2] = Le32(bytes + 8);
    }
    if (!SeekCursor(&cursor, header.dataOffset)) return -1;

    uint64_t rowSize = (uint64_t(header.width) * header.bitCount + 31) / 32 * 4;
    bool runLength = header.compression == DibRle8 || header.compression == DibRle4;
    // Run-length data is as long as the header says, or runs to the end of
    // the file; plain rows must all be there.
    uint64_t dataSize;
    if (runLength) {
        dataSize = Remaining(cursor);
        if (header.imageSize != 0) dataSize = std::min<uint64_t>(dataSize, header.imageSize);
    } else if (!CheckedProduct(rowSize, uint64_t(std::abs(header.height)), 1, Remaining(cursor),
                               &dataSize)) {
        return -1;
    }
    uint8_t* data = static_cast<uint8_t*>(std::malloc(std::max<uint64_t>(dataSize, 1)));
    if (!data) return -1;
    int result = -1;
    if (ReadExact(&cursor, data, dataSize)) {
        if (header.compression == DibRgb && (header.bitCount == 4 || header.bitCount == 8)) {
            result = UnpackIndexed(header, data, rowSize, palette, paletteCount, image);
        } else if (header.compression == DibRgb && header.bitCount == 24) {
            result = ReorderRows(header, data, rowSize, image);
        } else {
            result = DrawThroughPlatform(header, data, dataSize, masks, palette, paletteCount, image);
        }
    }
    std::free(data);
    return result;
}
