// Widening pixel channels to eight bits: the one rule every picture that
// leaves the screen's format follows (a display that takes no 16-bit
// pictures, a captured frame, the GPU path's texels), so that they agree.
#ifndef TESSEL_FRAME_EXPAND_H
#define TESSEL_FRAME_EXPAND_H

#include <cstdint>

// A channel of `bits` (4 or more) widened to eight by repeating its top bits
// below it, so that full stays full and zero stays zero; a wider channel
// keeps its top eight.
constexpr uint32_t WidenChannel(uint32_t value, int bits) {
    if (bits >= 8) return value >> (bits - 8);
    return value << (8 - bits) | value >> (2 * bits - 8);
}

// 5:6:5 and 5:5:5 pixels as 0x00RRGGBB.
constexpr uint32_t Expand565(uint32_t v) {
    return WidenChannel(v >> 11 & 31, 5) << 16 | WidenChannel(v >> 5 & 63, 6) << 8 |
           WidenChannel(v & 31, 5);
}
constexpr uint32_t Expand555(uint32_t v) {
    return WidenChannel(v >> 10 & 31, 5) << 16 | WidenChannel(v >> 5 & 31, 5) << 8 |
           WidenChannel(v & 31, 5);
}

// One row of `width` 5:6:5 pixels, Expand565 eight at a time; `in` needs no
// alignment.
void ExpandRow565(uint32_t* out, const uint8_t* in, int width);

#endif
