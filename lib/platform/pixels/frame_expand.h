// Widening a frame's 5:6:5 pixels to 32-bit 0x00RRGGBB for a display that
// takes no 16-bit pictures: each channel's top bits repeated below it, so
// that full stays full.
#ifndef TESSEL_FRAME_EXPAND_H
#define TESSEL_FRAME_EXPAND_H

#include <cstdint>

// One row of `width` pixels; `in` needs no alignment.
void ExpandRow565(uint32_t* out, const uint8_t* in, int width);

// One pixel, the arithmetic ExpandRow565 follows.
inline uint32_t Expand565(uint32_t v) {
    auto widen = [](uint32_t value, int bits) { return value << (8 - bits) | value >> (2 * bits - 8); };
    return widen(v >> 11 & 31, 5) << 16 | widen(v >> 5 & 63, 6) << 8 | widen(v & 31, 5);
}

#endif
