// What the GPU path's own files share: pixel conversion between the
// screen's format and the device's RGBA bytes, and the state they read.
#ifndef TESSEL_GPU_INTERNAL_H
#define TESSEL_GPU_INTERNAL_H

#include "graphics/color.h"

#include <cstdint>

// A pixel of a 16- or 32-bit format as RGBA bytes (red lowest), each
// channel widened by repeating its top bits, so that packing it again gives
// the same pixel. The alpha byte holds the pixel's spare bits (255 where the
// format has none): the software blitters copy them with a whole pixel and
// ReadScreenPixel returns them, so on a 32-bit screen black copied from a
// graph reads 0xFF000000, not 0, on either path.
uint32_t ExpandPixel(uint32_t value, const ColorFormat& format);
void ExpandRow(uint32_t* rgba, const ColorFormat& format, const uint8_t* pixels, int count);
// RGBA bytes to pixels of the format, each channel rounded to its width and
// the alpha byte cut to the spare bits.
void PackRow(uint8_t* pixels, const ColorFormat& format, const uint32_t* rgba, int count);

struct GraphRecord;

// The tiles of a graph about to be drawn, made and refreshed from its CPU
// copy as needed. 0, or -1 when the device has no room for them.
int ReadyTiles(GraphRecord* graph);
// Tile `index`: its rectangle in the graph and its texture. 0 or -1.
int TileOf(const GraphRecord* graph, int index, int* x, int* y, int* width, int* height,
           uint32_t* texture);
// The graph's colour key as RGBA bytes, widened as its texels are.
uint32_t GraphKey(const GraphRecord* graph);
// The graph's spare bits as its quads carry them (PlatGpuQuadState::spare).
int GraphSpare(const GraphRecord* graph);
// Empties the texture piece table (at each start of the path).
void ResetTexturePieces();

// The device context now running, counted from 1; the names of textures
// made under another one are void.
uint32_t GpuContextSerial();
// SetDrawFilter's mode, and the largest tile side.
int GpuFilter();
int GpuTextureLimit();
// Called before each draw onto the target: the CPU's writes go first.
void BeginTargetDraw();
// 1 when the current draw target is the device's.
int TargetOnDevice();

struct PlatGpuQuadState;
// Puts the drawing state's blend mode, amount and tint into a quad state,
// as the software blitters apply them (a tint under BlendNone is the alpha
// mode at 255); leaves the state plain when neither is set.
void ApplyDrawBlend(PlatGpuQuadState* state);

struct Rect;
// The 2-D draws onto the device's target; `area` is the clip rectangle.
// `turn` 1 mirrors the graph left to right in its place.
int GpuDrawGraph(int x, int y, GraphRecord* graph, int transparent, int turn, const Rect& area);
int GpuDrawRotaGraph(int x, int y, double scale, double angle, GraphRecord* graph,
                     int transparent, int turn, const Rect& area);
int GpuDrawStretchedGraph(int left, int top, int right, int bottom, GraphRecord* graph,
                          int transparent, const Rect& area);
// Shapes onto it (gpu_shapes.cpp): the draw-path entries.
struct ShapeRun;
void BeginGpuShape(ShapeRun* run);
void FillGpuShapeRect(ShapeRun* run, const Rect& rect);
void EndGpuShape(ShapeRun* run);

#endif
