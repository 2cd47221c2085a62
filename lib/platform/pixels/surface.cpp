// Surfaces over plain memory.
#include "platform/pixels/surface.h"

#include <emmintrin.h>

#include <algorithm>
#include <cstdlib>
#include <cstring>

namespace {

struct SurfaceState {
    PlatSurface* first;  // most recently made live surface
    int live;            // surfaces made and not released
    PlatSurface* watched;          // the surface whose CPU accesses are announced
    PlatSurfaceAccessHook hook;
    int inHook;                    // the hook is running: its own accesses go unannounced
};

SurfaceState gSurfaces;

// Largest buffer a surface may have: pitch and offsets stay in an int.
constexpr uint64_t MaxSurfaceBytes = 0x7FFFFFFF;

// Pixel buffers start on a cache line: row copies between buffers whose
// starts differ by part of a line run many times slower on some processors.
constexpr size_t BufferAlign = 64;

// `count` pixels of 2 or 4 bytes from `p` on, each the repeated `pattern`
// (the value in every lane). Single pixels up to a 16-byte boundary, then
// aligned vector stores, then single pixels again.
void FillRowWide(uint8_t* p, size_t count, int bytes, __m128i pattern) {
    uint8_t* end = p + count * size_t(bytes);
    while (p < end && (reinterpret_cast<uintptr_t>(p) & 15) != 0) {
        std::memcpy(p, &pattern, size_t(bytes));
        p += bytes;
    }
    for (; end - p >= 64; p += 64) {
        _mm_store_si128(reinterpret_cast<__m128i*>(p), pattern);
        _mm_store_si128(reinterpret_cast<__m128i*>(p + 16), pattern);
        _mm_store_si128(reinterpret_cast<__m128i*>(p + 32), pattern);
        _mm_store_si128(reinterpret_cast<__m128i*>(p + 48), pattern);
    }
    for (; end - p >= 16; p += 16) _mm_store_si128(reinterpret_cast<__m128i*>(p), pattern);
    for (; p < end; p += bytes) std::memcpy(p, &pattern, size_t(bytes));
}

}  // namespace

PlatSurface* PlatCreateSurface(int width, int height, const ColorFormat* format,
                               int systemMemory, int rowAlign) {
    if (width <= 0 || height <= 0 || !format) return nullptr;
    int bytes = format->ColorBitDepth / 8;
    if (format->ColorBitDepth % 8 != 0 || bytes < 1 || bytes > 4) return nullptr;
    uint64_t align = rowAlign == PlatFastRowAlign ? PlatFastRowAlign : 4;
    uint64_t pitch = (uint64_t(width) * uint64_t(bytes) + align - 1) & ~(align - 1);
    uint64_t size = pitch * uint64_t(height);
    if (size > MaxSurfaceBytes) return nullptr;

    auto* surface = static_cast<PlatSurface*>(std::calloc(1, sizeof(PlatSurface)));
    if (!surface) return nullptr;
    size_t allocated = (size_t(size) + BufferAlign - 1) & ~(BufferAlign - 1);
    surface->pixels = static_cast<uint8_t*>(std::aligned_alloc(BufferAlign, allocated));
    if (!surface->pixels) {
        std::free(surface);
        return nullptr;
    }
    std::memset(surface->pixels, 0, allocated);
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
    if (surface == gSurfaces.watched) PlatWatchSurface(nullptr, nullptr);
    std::free(surface->pixels);
    std::free(surface);
}

int PlatLockSurface(PlatSurface* surface, uint8_t** pixels, int* pitch) {
    if (surface->lost) return -1;
    if (surface->lockCount == 0) PlatTouchSurface(surface);
    ++surface->lockCount;
    if (pixels) *pixels = surface->pixels;
    if (pitch) *pitch = surface->pitch;
    return 0;
}

int PlatUnlockSurface(PlatSurface* surface) {
    if (surface->lockCount == 0) return -1;
    --surface->lockCount;
    ++surface->changeCount;
    return 0;
}

int PlatIsSurfaceLost(const PlatSurface* surface) { return surface->lost; }

int PlatSurfaceReadsFast(const PlatSurface*) { return 1; }

int PlatRestoreSurface(PlatSurface* surface) {
    surface->lost = 0;
    ++surface->changeCount;
    return 0;
}

void PlatLoseAllSurfaces() {
    for (PlatSurface* s = gSurfaces.first; s; s = s->next) s->lost = 1;
}

int PlatLiveSurfaceCount() { return gSurfaces.live; }

void PlatWatchSurface(PlatSurface* surface, PlatSurfaceAccessHook hook) {
    gSurfaces.watched = hook ? surface : nullptr;
    gSurfaces.hook = hook;
}

void PlatTouchSurface(PlatSurface* surface) {
    if (surface != gSurfaces.watched || !gSurfaces.hook || gSurfaces.inHook) return;
    gSurfaces.inHook = 1;
    gSurfaces.hook(surface);
    gSurfaces.inHook = 0;
}

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
    PlatTouchSurface(surface);
    ++surface->changeCount;

    // Pixels are stored little end first, as the library reads them.
    int bytes = surface->format.ColorBitDepth / 8;
    size_t pitch = size_t(surface->pitch), count = size_t(right - left);
    uint8_t* first = surface->pixels + size_t(top) * pitch + size_t(left) * size_t(bytes);
    int rows = bottom - top;
    uint32_t mask = bytes == 4 ? 0xFFFFFFFFu : (1u << (bytes * 8)) - 1;
    value &= mask;
    // Whole rows of a surface without padding are one block.
    if (count * size_t(bytes) == pitch) {
        count *= size_t(rows);
        rows = 1;
    }
    // A value made of one repeated byte is a plain byte fill.
    if (bytes != 3 && value == (value & 0xFF) * (0x01010101u & mask)) {
        for (int y = 0; y < rows; ++y)
            std::memset(first + size_t(y) * pitch, int(value & 0xFF), count * size_t(bytes));
        return 0;
    }
    if (bytes == 2 || bytes == 4) {
        __m128i pattern = bytes == 2 ? _mm_set1_epi16(int16_t(value)) : _mm_set1_epi32(int32_t(value));
        for (int y = 0; y < rows; ++y) FillRowWide(first + size_t(y) * pitch, count, bytes, pattern);
        return 0;
    }
    // 24 bits: the first row pixel by pixel, the others copied from it.
    uint8_t pattern[3] = {uint8_t(value), uint8_t(value >> 8), uint8_t(value >> 16)};
    for (size_t x = 0; x < count; ++x) std::memcpy(first + x * 3, pattern, 3);
    for (int y = 1; y < rows; ++y) std::memcpy(first + size_t(y) * pitch, first, count * 3);
    return 0;
}
