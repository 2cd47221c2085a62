// DrawPoint, DrawLineSegment, DrawRectangle, DrawCircleShape and
// DrawTriangleShape: one front end that checks the state, tints the colour
// once and hands the clipped rectangles of the shape to the path that draws
// the target.
#include "draw/shape.h"

#include "core/core.h"
#include "draw/draw_path.h"
#include "draw/screen.h"
#include "graphics/color.h"

namespace {

void FillOnPath(void* context, const Rect& rect) {
    auto* run = static_cast<ShapeRun*>(context);
    run->path->fillShape(run, rect);
}

void WalkOnPath(void* context, const LineWalk& walk) {
    WalkShapeLine(static_cast<ShapeRun*>(context), walk);
}

template <typename Geometry>
int DrawShape(uint32_t colour, Geometry geometry) {
    if (!LibraryRunning()) return -1;
    if (DrawingSuspended() || gDraw.drawAreaEmpty) return 0;
    WaitWhileInactive();
    if (!DisplayExists() || !gDraw.drawSurface) return -1;
    // A weight of 0 leaves every pixel as it is under every mode but None.
    if (gDraw.blendMode != BlendNone && gDraw.blendParam == 0) return 0;

    ShapeRun run = {};
    BlitFormat format = ClassifyBlitFormat(GetScreenFormat());
    run.colour = MakeShapeColour(format, colour, gDraw.colourModulation, 255).value;
    run.path = &TargetDrawPath();
    run.path->beginShape(&run);
    geometry(gDraw.drawArea, ShapeSink{FillOnPath, &run, run.lineLoop ? WalkOnPath : nullptr});
    run.path->endShape(&run);
    return 0;
}

}  // namespace

int DrawPoint(int x, int y, uint32_t colour) {
    return DrawShape(colour, [&](const Rect& clip, const ShapeSink& sink) {
        RasterRectangle(x, y, int64_t(x) + 1, int64_t(y) + 1, 1, clip, sink);
    });
}

int DrawLineSegment(int x1, int y1, int x2, int y2, uint32_t colour, int thickness) {
    if (thickness <= 0) return -1;
    return DrawShape(colour, [&](const Rect& clip, const ShapeSink& sink) {
        if (thickness == 1)
            RasterLine(x1, y1, x2, y2, clip, sink);
        else
            RasterThickLine(x1, y1, x2, y2, thickness, clip, sink);
    });
}

int DrawRectangle(int left, int top, int right, int bottom, uint32_t colour, int filled) {
    return DrawShape(colour, [&](const Rect& clip, const ShapeSink& sink) {
        RasterRectangle(left, top, right, bottom, filled, clip, sink);
    });
}

int DrawCircleShape(int cx, int cy, int radius, uint32_t colour, int filled) {
    if (radius <= 0) return LibraryRunning() ? 0 : -1;
    return DrawShape(colour, [&](const Rect& clip, const ShapeSink& sink) {
        RasterCircle(cx, cy, radius, filled, clip, sink);
    });
}

int DrawTriangleShape(int x1, int y1, int x2, int y2, int x3, int y3, uint32_t colour,
                      int filled) {
    return DrawShape(colour, [&](const Rect& clip, const ShapeSink& sink) {
        const int64_t xs[3] = {x1, x2, x3}, ys[3] = {y1, y2, y3};
        RasterTriangle(xs, ys, filled, clip, sink);
    });
}
