// Writing pictures as PNG files, whole or not at all.
#ifndef TESSEL_PLATFORM_PNG_WRITE_H
#define TESSEL_PLATFORM_PNG_WRITE_H

#include <cstdint>

// Writes width x height RGB pixels (3 bytes each, `stride` bytes a row) to
// `path` through a temporary file in the same folder that is renamed over
// it once complete, so a reader never sees half a picture. 0, or -1 with the
// reason in `why` (when not null) and no file left behind.
int PlatWritePngRgb(const char* path, const uint8_t* rgb, int width, int height, int stride,
                    char* why, int whySize);

#endif
