// Shapes: points, lines, rectangles, circles and triangles.
//
// The geometry (shape_raster.cpp) turns a shape into rectangles of pixels
// already clipped to the draw area, each pixel in exactly one of them, so
// that a shape mixed into the screen has no seams. A path fills those
// rectangles in one colour under the blend state: the software path with a
// loop chosen once a shape for the format and the mode (shape_fill.cpp),
// the GPU path as quads of the sprite batch.
#ifndef TESSEL_DRAW_SHAPE_H
#define TESSEL_DRAW_SHAPE_H

#include "draw/blit.h"
#include "draw/draw_state.h"

#include <cstdint>

struct PlatSurface;

// The visible part of a 1-pixel line: its first pixel, then `count` pixels
// a step apart along the major axis, moving one on the minor axis each time
// `rest` reaches `twoMajor` after adding `twoMinor`.
struct LineWalk {
    int32_t x, y;      // target coordinates of the first visible pixel
    int64_t count;     // pixels, at least 1
    int steep;         // the major axis is y
    int majorSign, minorSign;
    int64_t rest, twoMajor, twoMinor;
};

// Where the geometry sends its rectangles (target coordinates, inside the
// clip, right and bottom exclusive, never empty). A sink with `line` takes
// a 1-pixel line whole instead of as runs.
struct ShapeSink {
    void (*fill)(void* context, const Rect& rect);
    void* context;
    void (*line)(void* context, const LineWalk& walk) = nullptr;
};

// --- geometry (shape_raster.cpp) --------------------------------------------

// A Bresenham line including both ends.
void RasterLine(int64_t x1, int64_t y1, int64_t x2, int64_t y2, const Rect& clip,
                const ShapeSink& sink);
// A line `thickness` pixels wide (more than 1): a quad from the first end's
// pixel to the last one's, both included.
void RasterThickLine(int64_t x1, int64_t y1, int64_t x2, int64_t y2, int thickness,
                     const Rect& clip, const ShapeSink& sink);
// The rectangle (ordered), or its 1-pixel border inside it.
void RasterRectangle(int64_t left, int64_t top, int64_t right, int64_t bottom, int filled,
                     const Rect& clip, const ShapeSink& sink);
// The midpoint circle (radius above 0), or all pixels it encloses.
void RasterCircle(int64_t cx, int64_t cy, int64_t radius, int filled, const Rect& clip,
                  const ShapeSink& sink);
// A triangle by the top-left rule on pixel centres; its outline is its three
// Bresenham edges; one without area is the line between its farthest ends.
void RasterTriangle(const int64_t x[3], const int64_t y[3], int filled, const Rect& clip,
                    const ShapeSink& sink);

// --- filling (shape_fill.cpp) -----------------------------------------------

// The colour of one shape as the software loops take it: the pixel value
// with the tint applied, and the per-call terms of the blend mode.
struct ShapeColour {
    uint32_t value;     // the pixel drawn under BlendNone (spare bits included)
    uint32_t amount;    // BlendAlpha's weight, 1..254 (255 draws as BlendNone)
    uint32_t weighted;  // each channel times the amount, for BlendAdd and BlendSubtract
    uint32_t factor;    // each channel faded towards full, for BlendMultiply
};

using ShapeLoop = void (*)(uint8_t* pixels, int pitch, int width, int height,
                           const ShapeColour& colour);
// Walks a line from its first pixel at `pixels`.
using ShapeLineLoop = void (*)(uint8_t* pixels, int pitch, const LineWalk& walk,
                               const ShapeColour& colour);

// The loop for a format and a blend mode (BlendNone..BlendSubtract); the
// 8-bit format mixes nothing (a palette index has no channels) and draws
// every mode as BlendNone. Null for a format no loop draws.
ShapeLoop ChooseShapeLoop(BlitFormat format, int mode);
ShapeLineLoop ChooseShapeLineLoop(BlitFormat format, int mode);
// The terms of `value` (a pixel of `format`) tinted by `tint` (0xRRGGBB
// factors, 255 none) at the blend `amount`.
ShapeColour MakeShapeColour(BlitFormat format, uint32_t value, uint32_t tint, int amount);
// The blend mode a shape is drawn with: BlendAlpha at 255 is BlendNone.
int EffectiveShapeMode(int mode, int amount);

// One shape on its way to a path.
struct ShapeRun {
    uint32_t colour;    // the tinted pixel value (ShapeColour::value)
    const struct DrawPath* path;  // the path that draws the target
    // Filled by the path's begin: the software path's surface and loops,
    // the GPU path's colour as RGBA bytes.
    PlatSurface* surface;
    uint8_t* pixels;
    int pitch;
    ShapeLoop loop;
    ShapeLineLoop lineLoop;  // null: lines go to fillShape as runs
    ShapeColour terms;
    uint32_t deviceColour;
};

// The software path's entries (draw_path.h).
void BeginShapeFill(ShapeRun* run);
void FillShapeRect(ShapeRun* run, const Rect& rect);
void EndShapeFill(ShapeRun* run);
void WalkShapeLine(ShapeRun* run, const LineWalk& walk);

#endif
