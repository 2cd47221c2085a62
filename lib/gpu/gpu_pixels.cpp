// Pixels between the screen's 16- and 32-bit formats and RGBA bytes.
#include "gpu/gpu_internal.h"

#include "platform/pixels/frame_expand.h"

#include <bit>
#include <cstring>

namespace {

inline uint32_t Widen(uint32_t value, uint32_t mask, int shift, int bits) {
    return WidenChannel((value & mask) >> shift, bits);
}

// Rounded to the nearest level: the target keeps 8 bits a channel between
// draws, and a widened level comes back to itself.
inline uint32_t Narrow(uint32_t channel, int shift, int bits) {
    if (bits >= 8) return channel << (shift + bits - 8);
    return ((channel * ((1u << bits) - 1) + 127) / 255) << shift;
}

// The spare bits travel in the alpha byte: a byte of its own on a 32-bit
// pixel, all or nothing for a single bit.
inline uint32_t WidenSpare(uint32_t value, uint32_t mask) {
    if (mask == 0) return 0xFF;
    int bits = std::popcount(mask);
    uint32_t c = (value & mask) >> std::countr_zero(mask);
    return bits >= 8 ? c >> (bits - 8) : c * 255 / ((1u << bits) - 1);
}

inline uint32_t NarrowSpare(uint32_t alpha, uint32_t mask) {
    if (mask == 0) return 0;
    int bits = std::popcount(mask), shift = std::countr_zero(mask);
    uint32_t c = bits >= 8 ? alpha << (bits - 8) : alpha >> (8 - bits);
    return (c << shift) & mask;
}

inline uint32_t ReadPixel(const uint8_t* p, int bytes) {
    if (bytes == 2) return uint32_t(p[0] | p[1] << 8);
    uint32_t value;
    std::memcpy(&value, p, 4);
    return value;
}

}  // namespace

uint32_t ExpandPixel(uint32_t value, const ColorFormat& f) {
    return Widen(value, f.redMask, f.redShift, f.redBits) |
           Widen(value, f.greenMask, f.greenShift, f.greenBits) << 8 |
           Widen(value, f.blueMask, f.blueShift, f.blueBits) << 16 |
           WidenSpare(value, f.spareMask) << 24;
}

void ExpandRow(uint32_t* rgba, const ColorFormat& format, const uint8_t* pixels, int count) {
    int bytes = format.bytesPerPixel;
    for (int x = 0; x < count; ++x)
        rgba[x] = ExpandPixel(ReadPixel(pixels + x * bytes, bytes), format);
}

void PackRow(uint8_t* pixels, const ColorFormat& f, const uint32_t* rgba, int count) {
    for (int x = 0; x < count; ++x) {
        uint32_t c = rgba[x];
        uint32_t value = Narrow(c & 0xFF, f.redShift, f.redBits) |
                         Narrow(c >> 8 & 0xFF, f.greenShift, f.greenBits) |
                         Narrow(c >> 16 & 0xFF, f.blueShift, f.blueBits) |
                         NarrowSpare(c >> 24, f.spareMask);
        if (f.bytesPerPixel == 2) {
            pixels[x * 2] = uint8_t(value);
            pixels[x * 2 + 1] = uint8_t(value >> 8);
        } else {
            std::memcpy(pixels + x * 4, &value, 4);
        }
    }
}
