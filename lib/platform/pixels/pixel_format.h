// The description of a pixel format, shared by the platform's surfaces and
// the library's colour code above it.
#ifndef TESSEL_PLATFORM_PIXEL_FORMAT_H
#define TESSEL_PLATFORM_PIXEL_FORMAT_H

#include <cstdint>

// The description of one pixel format; also the head of GraphImage.
struct ColorFormat {
    uint8_t ColorBitDepth;  // bits per pixel: 8, 16, 24 or 32
    uint8_t bytesPerPixel;  // ColorBitDepth / 8
    uint8_t redBits, greenBits, blueBits, alphaBits;      // channel widths; 0 when absent
    uint8_t redShift, greenShift, blueShift, alphaShift;  // lowest bit of each channel
    uint32_t redMask, greenMask, blueMask, alphaMask;     // each channel's bits
    uint32_t spareMask;     // bits of the pixel that belong to no channel
};

#endif
