// Frame capture for scripted runs: the last presented picture as a PNG file.
#include "platform/headless/state.h"

#include <cstdio>
#include <cstring>
#include <png.h>

void CaptureFrame(const std::string& path) {
    int width = gHeadless.frameWidth;
    int height = gHeadless.frameHeight;
    std::vector<uint8_t> rgb;
    if (width > 0 && height > 0) {
        rgb.resize(static_cast<size_t>(width) * height * 3);
        for (size_t i = 0; i < gHeadless.frame.size(); ++i) {
            uint32_t pixel = gHeadless.frame[i];
            rgb[i * 3] = static_cast<uint8_t>(pixel >> 16);
            rgb[i * 3 + 1] = static_cast<uint8_t>(pixel >> 8);
            rgb[i * 3 + 2] = static_cast<uint8_t>(pixel);
        }
    } else {
        bool sized = gHeadless.hasWindow && gHeadless.clientWidth > 0 && gHeadless.clientHeight > 0;
        width = sized ? gHeadless.clientWidth : 640;
        height = sized ? gHeadless.clientHeight : 480;
        if (!gHeadless.blackCaptureWarned) {
            std::fprintf(stderr, "headless: nothing presented before capturing %s; writing a black %dx%d frame\n",
                         path.c_str(), width, height);
            gHeadless.blackCaptureWarned = 1;
        }
        rgb.assign(static_cast<size_t>(width) * height * 3, 0);
    }

    png_image image;
    std::memset(&image, 0, sizeof image);
    image.version = PNG_IMAGE_VERSION;
    image.width = static_cast<png_uint_32>(width);
    image.height = static_cast<png_uint_32>(height);
    image.format = PNG_FORMAT_RGB;
    if (!png_image_write_to_file(&image, path.c_str(), 0, rgb.data(), width * 3, nullptr))
        std::fprintf(stderr, "headless: cannot write %s: %s\n", path.c_str(), image.message);
    png_image_free(&image);
}
