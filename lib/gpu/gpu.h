// The GPU drawing path: while it runs, the back buffer is a render target on
// the device and graphs drawn onto it are textures (type 6 texture pieces,
// tiled under the device's size limit) drawn as batched quads.
//
// The back buffer's surface stays the CPU's view of the target. Whatever on
// the CPU touches it (a lock, ReadScreenPixel, text, presenting) first
// brings the device's pixels into it; whatever the CPU wrote goes back to
// the device before the next quad. Graphs keep their surfaces as the CPU
// copy; a texture is refreshed from it when its pixels changed.
#ifndef TESSEL_GPU_GPU_H
#define TESSEL_GPU_GPU_H

#include "graphics/graph.h"

#include <cstdint>

struct Rect;

// Tries to start the path for the screen set up now (in
// InitGraphicsResources) and logs whether it is used. 1 when it runs.
int StartGpuPath();
// Stops it; every graph's tiles must be gone already.
void StopGpuPath();
// Ends the device's context and starts a new one (what a lost device or a
// changed window asks for): the picture is kept and graphs make their
// textures again from their CPU copies. 0, or -1 when the new context
// failed and the software path has taken over.
int RestartGpuPath();
// 1 while the path runs; its draws are the GPU entry of the draw-path
// table (draw/draw_path.h), in use while it runs.
int GpuRunning();

// Makes the tiles of a graph (its creation on the path, or the first draw of
// a graph that is not a texture). 0, or -1 when the device refused memory.
int CreateGraphTiles(GraphRecord* graph);
void FreeGraphTiles(GraphRecord* graph);
// Lowers the largest tile side below the device's limit; 0 restores it.
void SetGpuTextureLimit(int limit);

// Sends the batch and brings the device's pixels into the back buffer's
// surface now.
void GpuSyncBackBuffer();

// A 1-bit bitmap of square cells kept on the device (a font's glyph cache):
// tiles of whole cells under the texture limit, texels of alpha 255 for a
// set bit and 0 for a clear one. The owner marks the rows it rewrites; only
// those go to the device again. Zeroed, it has no tiles.
struct GpuBitmap {
    uint32_t* tiles;       // device names, top to bottom; null while there are none
    int32_t tileCount;
    int32_t tileHeight;    // rows a tile, a whole number of cells
    uint32_t context;      // the device context the names belong to
    int32_t dirtyTop, dirtyBottom;  // rows changed since the last upload
};
// The CPU's bits of such a bitmap: most significant bit leftmost.
struct GpuBits {
    const uint8_t* bits;
    int pitch;           // bytes a row
    int width, height;
    int cell;            // side of a cell
};
void MarkGpuBitmapRows(GpuBitmap* bitmap, int top, int bottom);
// Frees the tiles (names of an ended context are only forgotten).
void FreeGpuBitmap(GpuBitmap* bitmap);
// Starts a run of glyphs drawn from `bits` onto the device's target in
// `colour` (a pixel of the screen's format), clear bits skipped when
// `transparent`, else black, inside `clip`. 0, or -1 when the bitmap cannot
// be on the device (the caller draws on the CPU instead).
int BeginGpuGlyphs(GpuBitmap* bitmap, const GpuBits& bits, uint32_t colour, int transparent,
                   const Rect& clip);
// The glyph whose top-left bit is (srcX, srcY), onto the target rectangle
// (left, top)-(right, bottom), which lies inside one cell of the source.
void DrawGpuGlyph(GpuBitmap* bitmap, const GpuBits& bits, int srcX, int srcY, const Rect& target);

// The mesh state's reset at each start (gpu_mesh.cpp).
void ResetMeshState();

// Logs a device error left by `operation` (a public operation's name), once
// for each operation. The error, or 0.
uint32_t GpuCheckError(const char* operation);
// Where the device's context was lost or reset, logs it and restarts the
// path from the CPU copies (the drawing since the picture last came back to
// the CPU is lost with the context). 1 when it was lost.
int GpuCheckContext();

#endif
