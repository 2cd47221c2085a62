// The window's icon picture, decoded for the core's window, which knows no
// image formats of its own.
#include "graphics/color.h"
#include "graphics/image.h"
#include "graphics/load.h"

#include <cstdlib>

int DecodeWindowIcon(const char* file, uint32_t** argb, int* width, int* height) {
    GraphImage image{};
    if (LoadImageFile(file, &image) != 0) return -1;
    size_t count = static_cast<size_t>(image.width) * static_cast<size_t>(image.height);
    auto* pixels = static_cast<uint32_t*>(std::malloc(count * sizeof(uint32_t)));
    if (!pixels) {
        FreeGraphImagePixels(&image);
        return -1;
    }
    ColorFormat format{};
    SetFormatFromMasks(&format, 32, 0xFF0000, 0xFF00, 0xFF, 0xFF000000);
    ConvertPixels(pixels, image.width * 4, &format, image.pixels, image.pitch, &image.format,
                  nullptr, 0, nullptr, 0, 0, 0, 0, image.width, image.height, 0, 0, 0, 0, 0);
    // Grey images carry their grey in the alpha bits; they count as opaque.
    if (!image.format.alphaBits || image.format.bytesPerPixel == 1)
        for (size_t i = 0; i < count; ++i) pixels[i] |= 0xFF000000u;
    *argb = pixels;
    *width = image.width;
    *height = image.height;
    FreeGraphImagePixels(&image);
    return 0;
}
