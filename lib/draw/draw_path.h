// The drawing paths: what a drawing operation does once its front end (the
// handle check, the clip, the drawing state) has run. The software path is
// the blitters; the GPU path, while it runs, draws the back buffer on the
// device. Starting and stopping the GPU path swaps the entry in use, and
// the front ends ask this file, and only this file, which one draws.
//
// A feature that both paths draw gets an operation here, filled on both.
#ifndef TESSEL_DRAW_PATH_H
#define TESSEL_DRAW_PATH_H

#include "draw/draw_state.h"
#include "gpu/gpu.h"

#include <cstdint>

struct DrawPath;
struct GlyphCopy;
struct GraphRecord;
struct ShapeRun;
struct PlatSurface;

// A run of glyphs out of a font's 1-bit cache, drawn in one colour.
struct GlyphRun {
    GpuBitmap* deviceCache;  // the cache's copy on the device
    GpuBits bits;            // the cache's bits on the CPU
    PlatSurface* surface;    // drawn onto
    Rect clip;               // within the surface
    uint32_t colour;         // a pixel of the screen's format
    int screenDepth;         // bits a pixel the colour and the copy are for
    int transparent;         // clear bits leave the pixel; else they write black
    // Filled by BeginGlyphRun for the path that draws the run.
    const DrawPath* path;
    uint8_t* pixels;         // the locked surface (software path)
    int pitch;
    void (*copy)(const GlyphCopy& copy);  // the loop for the depth; null: none draws it
};

struct DrawPath {
    // 1 when the path draws onto the current draw target; a target it does
    // not draw is the software path's.
    int (*drawsTarget)();
    // Clears the current draw target. 0.
    int (*clear)();
    // `graph` at (x, y) of the current target, inside gDraw.drawArea;
    // `turn` 1 mirrors it left to right in the same place.
    int (*drawGraph)(int x, int y, GraphRecord* graph, int transparent, int turn);
    // `graph` turned by `angle` and scaled by `scale` about (x, y), first
    // mirrored left to right when `turn` is 1.
    int (*drawTurned)(int x, int y, double scale, double angle, GraphRecord* graph,
                      int transparent, int turn);
    // `graph` over the rectangle (right and bottom exclusive, either pair
    // reversed to mirror on its axis), inside gDraw.drawArea.
    int (*drawStretched)(int left, int top, int right, int bottom, GraphRecord* graph,
                         int transparent);
    // A glyph run: begin (0, or -1 when this path cannot draw it), one call
    // a glyph whose top-left bit is (srcX, srcY) onto `target` (inside one
    // cell, inside the clip), end.
    int (*beginGlyphs)(GlyphRun* run);
    void (*drawGlyph)(GlyphRun* run, int srcX, int srcY, const Rect& target);
    void (*endGlyphs)(GlyphRun* run);
    // A shape in one colour under the drawing state: begin, one call a
    // clipped rectangle of it, end.
    void (*beginShape)(ShapeRun* run);
    void (*fillShape)(ShapeRun* run, const Rect& rect);
    void (*endShape)(ShapeRun* run);
    // Shows the back buffer: all of it, or the part the window shows on the
    // desktop.
    void (*present)(int whole);
};

extern const DrawPath kSoftwareDrawPath;

// Puts `path` in use; null goes back to the software path.
void UseDrawPath(const DrawPath* path);
// The path in use, and the one that draws the current target.
const DrawPath& ActiveDrawPath();
const DrawPath& TargetDrawPath();

// Starts a run on the path that draws `run->surface`, falling back to the
// software path where that one cannot draw it. Ends with EndGlyphRun.
void BeginGlyphRun(GlyphRun* run);
inline void DrawGlyphInRun(GlyphRun* run, int srcX, int srcY, const Rect& target) {
    run->path->drawGlyph(run, srcX, srcY, target);
}
inline void EndGlyphRun(GlyphRun* run) { run->path->endGlyphs(run); }

#endif
