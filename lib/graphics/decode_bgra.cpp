// The library's raw "BGRA" format: a 16-byte header, then blue, green, red,
// alpha for every pixel, rows top to bottom, in 8 or 16 bits a channel.
#include "graphics/decode_cursor.h"

#include <cstdlib>
#include <cstring>

namespace {

constexpr uint32_t EightBitChannels = 0x08080808;
constexpr uint32_t SixteenBitChannels = 0x10101010;

}  // namespace

int DecodeBgra(ImageStream* stream, GraphImage* image) {
    *image = {};
    StreamCursor cursor;
    uint8_t header[16];
    if (!OpenCursor(stream, &cursor) || !ReadExact(&cursor, header, sizeof header) ||
        std::memcmp(header, "BGRA", 4) != 0) {
        return -1;
    }
    uint32_t depth = Le32(header + 4);
    uint32_t width = Le32(header + 8), height = Le32(header + 12);
    if (depth != EightBitChannels && depth != SixteenBitChannels) return -1;
    uint32_t bytesPerPixel = depth == EightBitChannels ? 4 : 8;
    uint64_t fileBytes, bytes;
    if (width == 0 || height == 0 ||
        !CheckedProduct(width, height, bytesPerPixel, Remaining(cursor), &fileBytes) ||
        !CheckedProduct(width, height, 4, MaxImageBytes, &bytes)) {
        return -1;
    }
    uint8_t* pixels = AllocatePixels(bytes);
    if (!pixels) return -1;
    bool complete = true;
    if (depth == EightBitChannels) {
        complete = ReadExact(&cursor, pixels, bytes);
    } else {
        // Each little-endian 16-bit channel keeps its high byte.
        uint8_t* row = static_cast<uint8_t*>(std::malloc(size_t(width) * 8));
        complete = row != nullptr;
        for (uint32_t y = 0; complete && y < height; ++y) {
            complete = ReadExact(&cursor, row, uint64_t(width) * 8);
            uint8_t* out = pixels + uint64_t(width) * 4 * y;
            for (uint32_t i = 0; complete && i < width * 4; ++i) out[i] = row[i * 2 + 1];
        }
        std::free(row);
    }
    if (!complete) {
        std::free(pixels);
        return -1;
    }
    ColorFormat format;
    SetFormatFromMasks(&format, 32, 0xFF0000, 0xFF00, 0xFF, 0xFF000000);
    *image = {format, static_cast<int32_t>(width), static_cast<int32_t>(height),
              static_cast<int32_t>(width * 4), pixels};
    return 0;
}
