// Surfaces over plain memory.
#include "platform/surface.h"

#include <algorithm>
#include <cstdlib>
#include <cstring>

namespace {

struct SurfaceState {
    PlatSurface* first;  // most recently made live surface
    int live;            // surfaces made and not released
};

SurfaceState gSurfaces;

// Largest buffer a surface may have: pitch and offsets stay in an int.
constexpr uint64_t MaxSurfaceBytes = 0x7FFFFFFF;

}  // namespace

PlatSurface* PlatCreateSurface(int width, int height, const ColorFormat* format,
                               int systemMemory) {
    if (width <= 0 || height <= 0 || !format) return nullptr;
    int bytes = format->ColorBitDepth / 8;
    if (format->ColorBitDepth % 8 != 0 || bytes < 1 || bytes > 4) return nullptr;
    uint64_t pitch = (uint64_t(width) * uint64_t(bytes) + 3) & ~uint64_t(3);
    uint64_t size = pitch * uint64_t(height);
    if (size > MaxSurfaceBytes) return nullptr;

    auto* surface = static_cast<PlatSurface*>(std::calloc(1, sizeof(PlatSurface)));
    if (!surface) return nullptr;
    surface->pixels = static_cast<uint8_t*>(std::calloc(1, size_t(size)));
    if (!surface->pixels) {
        std::free(surface);
        return nullptr;
    }
    surface->width = width;
    surface->height = height;
    surface->pitch = int(pitch);
    surface->format = *format;
    surface->systemMemory = systemMemory ? 1 : 0;
    surface->next = gSurfaces.first;
    if (gSurfaces.first) gSurfaces.first->prev = surface;
    gSurfaces.first = surface;
    ++gSurfaces.live;
    return surface;
}

void PlatReleaseSurface(PlatSurface* surface) {
    if (!surface) return;
    if (surface->prev) surface->prev->next = surface->next;
    else gSurfaces.first = surface->next;
    if (surface->next) surface->next->prev = surface->prev;
    --gSurfaces.live;
    std::free(surface->pixels);
    std::free(surface);
}

int PlatLockSurface(PlatSurface* surface, uint8_t** pixels, int* pitch) {
    if (surface->lost) return -1;
    ++surface->lockCount;
    if (pixels) *pixels = surface->pixels;
    if (pitch) *pitch = surface->pitch;
    return 0;
}

int PlatUnlockSurface(PlatSurface* surface) {
    if (surface->lockCount == 0) return -1;
    --surface->lockCount;
    return 0;
}

int PlatIsSurfaceLost(const PlatSurface* surface) { return surface->lost; }

int PlatRestoreSurface(PlatSurface* surface) {
    surface->lost = 0;
    return 0;
}

void PlatLoseAllSurfaces() {
    for (PlatSurface* s = gSurfaces.first; s; s = s->next) s->lost = 1;
}

int PlatLiveSurfaceCount() { return gSurfaces.live; }

int PlatSetColorKey(PlatSurface* surface, int enabled, uint32_t key) {
    surface->colorKeyEnabled = enabled ? 1 : 0;
    surface->colorKey = enabled ? key : 0;
    return 0;
}

int PlatGetColorKey(const PlatSurface* surface, uint32_t* key) {
    if (!surface->colorKeyEnabled) return -1;
    if (key) *key = surface->colorKey;
    return 0;
}

int PlatFillSurfaceRect(PlatSurface* surface, int left, int top, int right, int bottom,
                        uint32_t value) {
    if (surface->lost) return -1;
    left = std::max(left, 0);
    top = std::max(top, 0);
    right = std::min(right, surface->width);
    bottom = std::min(bottom, surface->height);
    if (left >= right || top >= bottom) return 0;

    // Pixels are stored little end first, as the library reads them.
    int bytes = surface->format.ColorBitDepth / 8;
    uint8_t pattern[4] = {uint8_t(value), uint8_t(value >> 8), uint8_t(value >> 16),
                          uint8_t(value >> 24)};
    for (int y = top; y < bottom; ++y) {
        uint8_t* p = surface->pixels + size_t(y) * size_t(surface->pitch) + size_t(left) * bytes;
        for (int x = left; x < right; ++x, p += bytes) std::memcpy(p, pattern, size_t(bytes));
    }
    return 0;
}
