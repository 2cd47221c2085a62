// Decoded images.
#ifndef TESSEL_IMAGE_H
#define TESSEL_IMAGE_H

#include "graphics/color.h"

#include <cstdint>

// The library's in-memory image: rows run top to bottom.
struct GraphImage {
    ColorFormat format;  // pixel format of `pixels`
    int32_t width, height;  // pixels; height always positive
    int32_t pitch;       // bytes from one row to the next
    uint8_t* pixels;     // owned by the record
};

#endif
