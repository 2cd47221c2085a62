// The platform's surfaces: pixel buffers of one pixel format with a source
// colour key, which can be lost and restored as display memory can.
//
// All pixels live in ordinary memory; `systemMemory` only records where the
// creator asked for them. Whether reading a surface is slow (and worth a copy
// into a work surface first) is PlatSurfaceReadsFast's answer, not that flag's.
#ifndef TESSEL_SURFACE_H
#define TESSEL_SURFACE_H

#include "platform/pixels/pixel_format.h"

#include <cstdint>

struct PlatSurface {
    int width, height;       // pixels, both positive
    int pitch;               // bytes from one row to the next, a multiple of 4
    ColorFormat format;      // pixel format of `pixels`
    uint8_t* pixels;         // pitch x height bytes, owned
    int systemMemory;        // 1: asked for in system memory, 0: in "video" memory
    int colorKeyEnabled;     // the source colour key is set
    uint32_t colorKey;       // the key as a pixel value of `format`
    int lost;                // contents given up; lock and fill fail until restored
    int lockCount;           // nesting depth of PlatLockSurface
    uint32_t changeCount;    // raised at each unlock, fill, copy into and restore
    PlatSurface* prev;       // the list of live surfaces, for PlatLoseAllSurfaces
    PlatSurface* next;
};

// Row alignment for surfaces whose pitch is the platform's to choose: rows
// start on a cache line, so copies between such surfaces run at full speed.
constexpr int PlatFastRowAlign = 64;

// A zero-filled surface of width x height in `format` (8, 16, 24 or 32 bits),
// its pixels starting on a 64-byte boundary and its rows padded to 4 bytes,
// or to PlatFastRowAlign when `rowAlign` asks for it; null when a side is not
// positive, the depth is unknown, the size does not fit in 31 bits or memory
// runs out.
PlatSurface* PlatCreateSurface(int width, int height, const ColorFormat* format,
                               int systemMemory, int rowAlign = 4);
// Frees the surface; null is allowed.
void PlatReleaseSurface(PlatSurface* surface);

// The first pixel and the pitch; -1 while the surface is lost. Locks nest:
// each one needs its own unlock.
int PlatLockSurface(PlatSurface* surface, uint8_t** pixels, int* pitch);
// 0, or -1 when the surface is not locked.
int PlatUnlockSurface(PlatSurface* surface);

int PlatIsSurfaceLost(const PlatSurface* surface);
// 1 when the surface's pixels read as fast as any system memory, so that a
// blitter may read them in place; 0 where a read would be a slow read-back
// and the pixels are better copied into a work surface first. Every surface
// of this platform is ordinary memory.
int PlatSurfaceReadsFast(const PlatSurface* surface);
// Takes the surface back; its contents are whatever they were. 0.
int PlatRestoreSurface(PlatSurface* surface);
// Marks every live surface lost, as a display change does.
void PlatLoseAllSurfaces();
// Surfaces made and not yet released.
int PlatLiveSurfaceCount();

// One surface may be watched: before anything on the CPU locks, fills or
// copies it, the hook runs, so that pixels drawn elsewhere (on the GPU) can
// be brought in first. A null hook watches nothing.
using PlatSurfaceAccessHook = void (*)(PlatSurface* surface);
void PlatWatchSurface(PlatSurface* surface, PlatSurfaceAccessHook hook);
// Runs the hook when `surface` is the watched one.
void PlatTouchSurface(PlatSurface* surface);

// Sets (enabled 1) or removes (0) the source colour key. 0.
int PlatSetColorKey(PlatSurface* surface, int enabled, uint32_t key);
// 0 with the key in `key` when one is set, else -1.
int PlatGetColorKey(const PlatSurface* surface, uint32_t* key);

// Writes `value` into every pixel of the rectangle (right and bottom
// exclusive), clipped to the surface. 0, or -1 while the surface is lost.
int PlatFillSurfaceRect(PlatSurface* surface, int left, int top, int right, int bottom,
                        uint32_t value);

#endif
