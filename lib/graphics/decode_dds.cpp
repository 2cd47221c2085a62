// DDS files: the first surface of an uncompressed image, in the pixel format
// its header describes by channel masks or by a Direct3D format number.
#include "graphics/decode_cursor.h"

#include <cstdlib>
#include <cstring>

namespace {

constexpr uint32_t HeaderSize = 4 + 124;  // magic and surface description
constexpr uint32_t PitchValid = 0x8;      // description flag
constexpr uint32_t AlphaPixels = 0x1;     // pixel-format flags
constexpr uint32_t FourCcOnly = 0x4;
constexpr uint32_t Rgb = 0x40;

// Direct3D format numbers that may stand in the four-character code.
struct D3dFormat {
    uint32_t code;
    int bits;
    uint32_t red, green, blue, alpha;
};
constexpr D3dFormat D3dFormats[] = {
    {20, 24, 0xFF0000, 0xFF00, 0xFF, 0},
    {21, 32, 0xFF0000, 0xFF00, 0xFF, 0xFF000000},
    {22, 32, 0xFF0000, 0xFF00, 0xFF, 0},
    {23, 16, 0xF800, 0x07E0, 0x001F, 0},
    {24, 16, 0x7C00, 0x3E0, 0x1F, 0},
    {25, 16, 0x7C00, 0x3E0, 0x1F, 0x8000},
    {26, 16, 0xF00, 0xF0, 0xF, 0xF000},
    {27, 8, 0xE0, 0x1C, 0x3, 0},
    {29, 16, 0xE0, 0x1C, 0x3, 0xFF00},
    {30, 16, 0xF00, 0xF0, 0xF, 0},
    {31, 32, 0x3FF, 0xFFC00, 0x3FF00000, 0xC0000000},
    {32, 32, 0xFF, 0xFF00, 0xFF0000, 0xFF000000},
    {33, 32, 0xFF, 0xFF00, 0xFF0000, 0},
    {35, 32, 0x3FF00000, 0xFFC00, 0x3FF, 0xC0000000},
};

// A format from a depth and masks, when the depth is a whole number of bytes
// the library handles and every mask lies inside the pixel.
bool FormatFromMasks(ColorFormat* format, uint32_t bits, uint32_t red, uint32_t green,
                     uint32_t blue, uint32_t alpha) {
    if (bits != 8 && bits != 16 && bits != 24 && bits != 32) return false;
    if (bits < 32 && ((red | green | blue | alpha) >> bits) != 0) return false;
    SetFormatFromMasks(format, static_cast<int>(bits), red, green, blue, alpha);
    return true;
}

// Files that describe their pixels by masks say so with the RGB flag; the
// alpha mask counts only with the alpha-pixels flag, since many writers leave
// X8R8G8B8 and R5G6B5 files without it. A four-character code alone names a
// Direct3D format. Anything else is read from the masks as they stand.
bool PixelFormat(const uint8_t* pf, ColorFormat* format) {
    uint32_t flags = Le32(pf + 4), code = Le32(pf + 8), bits = Le32(pf + 12);
    uint32_t red = Le32(pf + 16), green = Le32(pf + 20), blue = Le32(pf + 24), alpha = Le32(pf + 28);
    if (flags == FourCcOnly) {
        for (const D3dFormat& f : D3dFormats) {
            if (f.code == code) return FormatFromMasks(format, f.bits, f.red, f.green, f.blue, f.alpha);
        }
        return false;
    }
    if (flags & Rgb) return FormatFromMasks(format, bits, red, green, blue, flags & AlphaPixels ? alpha : 0);
    return FormatFromMasks(format, bits, red, green, blue, alpha);
}

}  // namespace

int DecodeDds(ImageStream* stream, GraphImage* image) {
    *image = {};
    StreamCursor cursor;
    uint8_t header[HeaderSize];
    if (!OpenCursor(stream, &cursor) || !ReadExact(&cursor, header, HeaderSize) ||
        std::memcmp(header, "DDS", 3) != 0) {
        return -1;
    }
    const uint8_t* description = header + 4;
    ColorFormat format;
    if (!PixelFormat(description + 72, &format)) return -1;
    uint32_t flags = Le32(description + 4);
    uint32_t height = Le32(description + 8), width = Le32(description + 12);
    uint64_t rowBytes = uint64_t(width) * format.bytesPerPixel;
    uint64_t pitch = flags & PitchValid ? Le32(description + 16) : rowBytes;
    uint64_t bytes;
    if (width == 0 || height == 0 || pitch < rowBytes ||
        !CheckedProduct(pitch, height, 1, Remaining(cursor), &bytes)) {
        return -1;
    }
    uint8_t* pixels = AllocatePixels(bytes);
    if (!pixels || !ReadExact(&cursor, pixels, bytes)) {
        std::free(pixels);
        return -1;
    }
    *image = {format, static_cast<int32_t>(width), static_cast<int32_t>(height),
              static_cast<int32_t>(pitch), pixels};
    return 0;
}
