// The scaling rule of a full-screen picture, shared by the window's renderer
// and the GPU path's context so that both show it in the same place.
#include "platform/device/backend.h"

#include <cmath>

PlatViewport PlatLetterbox(int windowWidth, int windowHeight, int width, int height) {
    if (width <= 0 || height <= 0 || windowWidth <= 0 || windowHeight <= 0)
        return PlatViewport{0, 0, windowWidth, windowHeight, 1.0f};
    float want = float(width) / float(height), real = float(windowWidth) / float(windowHeight);
    if (std::fabs(want - real) < 0.0001f)
        return PlatViewport{0, 0, windowWidth, windowHeight, float(windowWidth) / float(width)};
    if (want > real) {
        float scale = float(windowWidth) / float(width);
        int h = int(std::floor(float(height) * scale));
        return PlatViewport{0, (windowHeight - h) / 2, windowWidth, h, scale};
    }
    float scale = float(windowHeight) / float(height);
    int w = int(std::floor(float(width) * scale));
    return PlatViewport{(windowWidth - w) / 2, 0, w, windowHeight, scale};
}
