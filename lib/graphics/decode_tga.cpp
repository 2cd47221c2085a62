// TGA files: colour-mapped and true-colour images, plain or run-length coded,
// at 16, 24 or 32 bits, in any of the four orientations.
#include "graphics/decode_cursor.h"

#include <algorithm>
#include <cstdlib>
#include <cstring>

namespace {

constexpr uint32_t HeaderSize = 18;
constexpr uint32_t FooterSize = 26;
constexpr uint32_t ExtensionSize = 495;
constexpr int32_t MaxSide = 4095;
constexpr uint8_t AlphaInUse = 3;  // the extension area's attribute type

// The header fields and what the footer tells about alpha.
struct TgaInfo {
    int mapType;           // 1: the file holds a colour map
    int imageType;         // 1, 2, 9 or 10
    uint32_t mapFirst;     // first colour-map entry the file holds
    uint32_t mapLength;    // entries the file holds
    uint32_t mapEntryBits; // size of one entry
    int32_t width, height;
    uint32_t pixelBits;    // size of one pixel (or index) in the data
    uint8_t descriptor;    // bit 4: right to left; bit 5: top to bottom
    bool hasFooter;        // the file ends with the version 2 footer
    bool alpha;            // 16 and 32 bits: the top bits are alpha
    bool colourMapped() const { return imageType == 1 || imageType == 9; }
    bool runLength() const { return imageType == 9 || imageType == 10; }
    uint32_t depth() const { return colourMapped() ? mapEntryBits : pixelBits; }
};

// The version 2 footer, and with it the extension area, decide alpha; without
// them a 32-bit image has alpha and a 16-bit one does not.
bool ReadFooter(StreamCursor* cursor, TgaInfo* tga, bool* alphaDeclared) {
    *alphaDeclared = false;
    uint8_t footer[FooterSize];
    tga->hasFooter = cursor->size >= FooterSize && SeekCursor(cursor, cursor->size - FooterSize) &&
                     ReadExact(cursor, footer, FooterSize) &&
                     std::memcmp(footer + 8, "TRUEVISION-XFILE", 16) == 0;
    uint32_t extension = tga->hasFooter ? Le32(footer) : 0;
    if (extension == 0) return true;
    uint8_t area[ExtensionSize];
    if (!SeekCursor(cursor, extension) || !ReadExact(cursor, area, ExtensionSize)) return false;
    *alphaDeclared = true;
    tga->alpha = area[ExtensionSize - 1] == AlphaInUse;
    return true;
}

bool ReadHeader(StreamCursor* cursor, TgaInfo* tga) {
    bool alphaDeclared;
    if (!ReadFooter(cursor, tga, &alphaDeclared)) return false;
    uint8_t h[HeaderSize];
    if (!SeekCursor(cursor, 0) || !ReadExact(cursor, h, HeaderSize)) return false;
    tga->mapType = h[1];
    tga->imageType = h[2];
    tga->mapFirst = Le16(h + 3);
    tga->mapLength = Le16(h + 5);
    tga->mapEntryBits = h[7];
    tga->width = Le16(h + 12);
    tga->height = Le16(h + 14);
    tga->pixelBits = h[16];
    tga->descriptor = h[17];
    if (h[0] != 0 || Le16(h + 8) != 0 || Le16(h + 10) != 0) return false;
    if (tga->imageType != 1 && tga->imageType != 2 && tga->imageType != 9 && tga->imageType != 10)
        return false;
    if (tga->width == 0 || tga->height == 0 || tga->width > MaxSide || tga->height > MaxSide)
        return false;
    uint32_t depth = tga->depth();
    if (depth != 16 && depth != 24 && depth != 32) return false;
    // Colour-mapped pixels are one-byte indexes into a table of 256 entries.
    if (tga->colourMapped() && (tga->pixelBits != 8 || tga->mapFirst + tga->mapLength > 256))
        return false;
    if (!alphaDeclared) tga->alpha = depth == 32;
    return !(alphaDeclared && tga->alpha && depth == 24);
}

// Run-length packets: a byte whose top bit marks a run of (low 7 bits + 1)
// copies of the one pixel that follows, else that many literal pixels. The
// last packet may claim more than the image holds; the rest is dropped. Data
// that ends before the image is full is refused.
bool Unpack(const uint8_t* data, uint64_t size, uint32_t pixelBytes, uint8_t* out, uint64_t pixels) {
    uint64_t at = 0, done = 0;
    while (done < pixels) {
        if (at >= size) return false;
        const uint8_t packet = data[at++];
        const bool run = packet & 0x80;
        const uint64_t count = std::min<uint64_t>((packet & 0x7F) + 1, pixels - done);
        // Only the pixels kept are read: a clipped packet is the last one.
        const uint64_t needed = run ? pixelBytes : count * pixelBytes;
        if (size - at < needed) return false;
        uint8_t* target = out + done * pixelBytes;
        if (run) {
            for (uint64_t i = 0; i < count; ++i) std::memcpy(target + i * pixelBytes, data + at, pixelBytes);
        } else {
            std::memcpy(target, data + at, needed);
        }
        at += needed;
        done += count;
    }
    return true;
}

ColorFormat FormatOf(const TgaInfo& tga) {
    ColorFormat format = Bgr24Format;
    if (tga.depth() == 16) SetFormatFromMasks(&format, 16, 0x7C00, 0x03E0, 0x001F, tga.alpha ? 0x8000 : 0);
    if (tga.depth() == 32) SetFormatFromMasks(&format, 32, 0xFF0000, 0xFF00, 0xFF, tga.alpha ? 0xFF000000 : 0);
    return format;
}

// The pixels (or indexes) in file order: `count` of `bytes` each.
uint8_t* ReadData(StreamCursor* cursor, const TgaInfo& tga, uint64_t count, uint32_t bytes) {
    uint64_t total;
    if (!CheckedProduct(count, bytes, 1, MaxImageBytes, &total)) return nullptr;
    if (!tga.runLength()) {
        if (total > Remaining(*cursor)) return nullptr;
        uint8_t* data = AllocatePixels(total);
        if (data && !ReadExact(cursor, data, total)) {
            std::free(data);
            return nullptr;
        }
        return data;
    }
    // The coded block runs to the footer, or to the end of a file without one.
    uint64_t end = tga.hasFooter ? cursor->size - FooterSize : cursor->size;
    if (end <= cursor->position) return nullptr;
    uint64_t blockSize = end - cursor->position;
    // One packet of a byte and a pixel gives at most 128 pixels.
    if (count > 128 * (blockSize / (1 + bytes) + 1)) return nullptr;
    uint8_t* block = static_cast<uint8_t*>(std::malloc(blockSize));
    uint8_t* data = AllocatePixels(total);
    bool good = block && data && ReadExact(cursor, block, blockSize) && Unpack(block, blockSize, bytes, data, count);
    std::free(block);
    if (!good) {
        std::free(data);
        return nullptr;
    }
    return data;
}

}  // namespace

int DecodeTga(ImageStream* stream, GraphImage* image) {
    *image = {};
    StreamCursor cursor;
    TgaInfo tga{};
    if (!OpenCursor(stream, &cursor) || !ReadHeader(&cursor, &tga)) return -1;
    const uint32_t outBytes = tga.depth() / 8;

    // The file's colour map goes into a zero-filled table of 256 entries from
    // its first index on. A true-colour image's map is only skipped.
    uint8_t table[256 * 4] = {};
    if (tga.colourMapped()) {
        if (!ReadExact(&cursor, table + tga.mapFirst * outBytes, uint64_t(tga.mapLength) * outBytes))
            return -1;
    } else if (tga.mapType == 1) {
        uint64_t mapBytes = uint64_t(tga.mapLength) * ((tga.mapEntryBits + 7) / 8);
        if (!SeekCursor(&cursor, cursor.position + mapBytes)) return -1;
    }

    const uint64_t count = uint64_t(tga.width) * uint64_t(tga.height);
    uint8_t* data = ReadData(&cursor, tga, count, tga.colourMapped() ? 1 : outBytes);
    if (!data) return -1;

    // Rows are stored bottom-up unless bit 5 says otherwise; bit 4 reverses
    // each row. The result runs top to bottom, left to right.
    const bool rightToLeft = tga.descriptor & 0x10;
    const bool bottomUp = !(tga.descriptor & 0x20);
    uint8_t* pixels = data;
    if (tga.colourMapped() || rightToLeft || bottomUp) {
        pixels = AllocatePixels(count * outBytes);
        if (!pixels) {
            std::free(data);
            return -1;
        }
        uint8_t* out = pixels;
        for (int32_t y = 0; y < tga.height; ++y) {
            int32_t row = bottomUp ? tga.height - 1 - y : y;
            for (int32_t x = 0; x < tga.width; ++x, out += outBytes) {
                uint64_t at = uint64_t(row) * uint64_t(tga.width) + uint64_t(rightToLeft ? tga.width - 1 - x : x);
                const uint8_t* in = tga.colourMapped() ? table + data[at] * outBytes : data + at * outBytes;
                std::memcpy(out, in, outBytes);
            }
        }
        std::free(data);
    }
    *image = {FormatOf(tga), tga.width, tga.height, static_cast<int32_t>(tga.width * outBytes), pixels};
    return 0;
}
