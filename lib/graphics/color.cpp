// Pixel formats derived from channel masks, and colour values packed into
// and split out of them.
#include "graphics/color.h"

#include "graphics/image.h"
#include "tessel/graphics.h"

#include <cstddef>
#include <cstring>

ColorState gColor;

namespace {

// Index of the lowest set bit and the run of set bits from there upward.
void DescribeMask(uint32_t mask, uint8_t* bits, uint8_t* shift) {
    *bits = 0;
    *shift = 0;
    if (mask == 0) return;
    while (!(mask & 1)) {
        mask >>= 1;
        ++*shift;
    }
    while (mask & 1) {
        mask >>= 1;
        ++*bits;
    }
}

// An 8-bit channel reduced (or, for wide channels, raised) to `bits`.
uint32_t FitChannel(uint32_t value, int bits) {
    return bits <= 8 ? value >> (8 - bits) : value << (bits - 8);
}

// The palette entry nearest to (r, g, b); ties go to the lower index because
// only a strictly smaller distance replaces the best one.
uint32_t NearestPaletteIndex(int r, int g, int b) {
    uint32_t best = 0;
    int bestDistance = 0xFFFFFF;
    for (int i = 0; i < 256; ++i) {
        const PaletteEntry& e = gColor.palette[i];
        int dr = e.red - r, dg = e.green - g, db = e.blue - b;
        int distance = dr * dr + dg * dg + db * db;
        if (distance < bestDistance) {
            bestDistance = distance;
            best = static_cast<uint32_t>(i);
        }
    }
    return best;
}

// The channel's bits placed at the top of a byte that ends at bit `top`.
uint32_t PlaceChannel(uint32_t pixel, uint32_t mask, int shift, int bits, int top) {
    uint32_t v = (pixel & mask) >> shift;
    int move = top - bits;
    return move >= 0 ? v << move : v >> -move;
}

}  // namespace

void SetScreenFormat(const ColorFormat* format) { gColor.screen = *format; }

void SetScreenPalette(const PaletteEntry entries[256]) {
    std::memcpy(gColor.palette, entries, sizeof gColor.palette);
}

const ColorFormat* GetScreenFormat() {
    // Colour values asked for before the screen exists follow the library's
    // default mode, 16 bits 5:6:5.
    if (gColor.screen.ColorBitDepth == 0)
        SetFormatFromMasks(&gColor.screen, 16, 0xF800, 0x07E0, 0x001F, 0);
    return &gColor.screen;
}

int QueryScreenDepth() { return GetScreenFormat()->ColorBitDepth; }

int SetFormatFromMasks(ColorFormat* format, int bitDepth, uint32_t redMask,
                       uint32_t greenMask, uint32_t blueMask, uint32_t alphaMask) {
    format->ColorBitDepth = static_cast<uint8_t>(bitDepth);
    format->bytesPerPixel = static_cast<uint8_t>(bitDepth / 8);
    format->redMask = redMask;
    format->greenMask = greenMask;
    format->blueMask = blueMask;
    format->alphaMask = alphaMask;
    DescribeMask(redMask, &format->redBits, &format->redShift);
    DescribeMask(greenMask, &format->greenBits, &format->greenShift);
    DescribeMask(blueMask, &format->blueBits, &format->blueShift);
    DescribeMask(alphaMask, &format->alphaBits, &format->alphaShift);
    ComputeSpareMask(format);
    return 0;
}

int SetFormatFromDisplay(ColorFormat* format, const DisplayPixelFormat* display) {
    if (!display) return -1;
    return SetFormatFromMasks(format, static_cast<int>(display->bitCount), display->redMask,
                              display->greenMask, display->blueMask, display->alphaMask);
}

void ComputeSpareMask(ColorFormat* format) {
    int used = format->redBits + format->greenBits + format->blueBits + format->alphaBits;
    if (used == format->ColorBitDepth) {
        format->spareMask = 0;
        return;
    }
    uint32_t all = format->ColorBitDepth >= 32
                       ? 0xFFFFFFFFu
                       : (uint32_t{1} << format->ColorBitDepth) - 1;
    format->spareMask =
        all & ~(format->redMask | format->greenMask | format->blueMask | format->alphaMask);
}

uint32_t MakeColor(int red, int green, int blue) {
    return MakeColorInFormat(GetScreenFormat(), red, green, blue, 0);
}

uint32_t MakeColorInFormat(const ColorFormat* format, int red, int green, int blue, int alpha) {
    uint32_t r = red & 0xFF, g = green & 0xFF, b = blue & 0xFF, a = alpha & 0xFF;
    if (GetScreenFormat()->ColorBitDepth == 8)
        return NearestPaletteIndex(static_cast<int>(r), static_cast<int>(g), static_cast<int>(b));
    // Spare bits are set in every value: a 5:5:5 screen's values carry bit 15.
    uint32_t value = (FitChannel(r, format->redBits) << format->redShift) + format->spareMask +
                     (FitChannel(g, format->greenBits) << format->greenShift) +
                     (FitChannel(b, format->blueBits) << format->blueShift);
    if (format->alphaBits) value += FitChannel(a, format->alphaBits) << format->alphaShift;
    return value;
}

int SplitColorValue(uint32_t value, int* red, int* green, int* blue) {
    const ColorFormat* f = GetScreenFormat();
    int r, g, b;
    if (f->ColorBitDepth == 8) {
        if (value > 255) return -1;
        const PaletteEntry& e = gColor.palette[value];
        r = e.red;
        g = e.green;
        b = e.blue;
    } else {
        // Scaled rather than shifted so that a full channel of any width is 255.
        auto channel = [value](uint32_t mask, int shift, int bits) {
            if (bits == 0) return 0;
            uint64_t top = (uint64_t{1} << bits) - 1;
            return static_cast<int>(((value & mask) >> shift) * uint64_t{255} / top);
        };
        r = channel(f->redMask, f->redShift, f->redBits);
        g = channel(f->greenMask, f->greenShift, f->greenBits);
        b = channel(f->blueMask, f->blueShift, f->blueBits);
    }
    if (red) *red = r;
    if (green) *green = g;
    if (blue) *blue = b;
    return 0;
}

int SameFormat(const ColorFormat* a, const ColorFormat* b) {
    return a->ColorBitDepth == b->ColorBitDepth && a->redMask == b->redMask &&
           a->greenMask == b->greenMask && a->blueMask == b->blueMask &&
           a->alphaMask == b->alphaMask;
}

uint32_t ReadImagePixelColor(const GraphImage* image, int x, int y) {
    if (!image->pixels || x < 0 || y < 0 || x >= image->width || y >= image->height) return 0;
    const ColorFormat& f = image->format;
    const uint8_t* p = image->pixels + static_cast<ptrdiff_t>(y) * image->pitch +
                       static_cast<ptrdiff_t>(x) * f.bytesPerPixel;
    uint32_t pixel = 0;
    switch (f.bytesPerPixel) {
    case 2: pixel = p[0] | p[1] << 8; break;
    case 3: pixel = p[0] | p[1] << 8 | p[2] << 16; break;
    case 4: pixel = p[0] | p[1] << 8 | p[2] << 16 | static_cast<uint32_t>(p[3]) << 24; break;
    default: break;
    }
    uint32_t colour = PlaceChannel(pixel, f.redMask, f.redShift, f.redBits, 24) |
                      PlaceChannel(pixel, f.greenMask, f.greenShift, f.greenBits, 16) |
                      PlaceChannel(pixel, f.blueMask, f.blueShift, f.blueBits, 8);
    if (f.alphaBits) colour |= PlaceChannel(pixel, f.alphaMask, f.alphaShift, f.alphaBits, 32);
    return colour;
}
