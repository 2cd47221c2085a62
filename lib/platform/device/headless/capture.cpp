// Frame capture for scripted runs: the last presented picture as a PNG file.
#include "platform/device/headless/state.h"
#include "platform/pixels/frame_expand.h"
#include "platform/pixels/png_write.h"

#include <cstdio>

int FrameBytesPerPixel(PlatFrameFormat format) {
    switch (format) {
    case FrameRgb565:
    case FrameRgb555: return 2;
    case FrameIndex8: return 1;
    default: return 4;
    }
}

uint32_t FramePixelRgb(int x, int y) {
    int bytes = FrameBytesPerPixel(gHeadless.frameFormat);
    const uint8_t* p = gHeadless.frameRows + static_cast<ptrdiff_t>(y) * gHeadless.framePitch +
                       static_cast<ptrdiff_t>(x) * bytes;
    switch (gHeadless.frameFormat) {
    case FrameRgb565: return Expand565(p[0] | p[1] << 8);
    case FrameRgb555: return Expand555(p[0] | p[1] << 8);
    case FrameIndex8: return gHeadless.framePalette[p[0]] & 0xFFFFFF;
    default: return (p[0] | p[1] << 8 | p[2] << 16);
    }
}

void CaptureFrame(const std::string& path) {
    int width = gHeadless.frameWidth;
    int height = gHeadless.frameHeight;
    std::vector<uint8_t> rgb;
    if (width > 0 && height > 0) {
        rgb.resize(static_cast<size_t>(width) * height * 3);
        for (int y = 0; y < height; ++y)
            for (int x = 0; x < width; ++x) {
                uint32_t pixel = FramePixelRgb(x, y);
                uint8_t* out = &rgb[(static_cast<size_t>(y) * width + x) * 3];
                out[0] = static_cast<uint8_t>(pixel >> 16);
                out[1] = static_cast<uint8_t>(pixel >> 8);
                out[2] = static_cast<uint8_t>(pixel);
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

    char why[256];
    if (PlatWritePngRgb(path.c_str(), rgb.data(), width, height, width * 3, why, sizeof why) != 0)
        std::fprintf(stderr, "headless: cannot write %s: %s\n", path.c_str(), why);
}
