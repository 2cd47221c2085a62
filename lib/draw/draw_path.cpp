// Which path draws: the one in use for the back buffer and presenting, the
// software path for any target the one in use does not draw.
#include "draw/draw_path.h"

#include "draw/blit.h"
#include "draw/screen.h"
#include "draw/shape.h"

namespace {

struct DrawPathState {
    const DrawPath* active;  // null: the software path
};

DrawPathState gDrawPath;

int AlwaysDrawsTarget() { return 1; }

}  // namespace

const DrawPath kSoftwareDrawPath = {
    .drawsTarget = AlwaysDrawsTarget,
    .clear = BlitClear,
    .drawGraph = BlitGraph,
    .drawTurned = BlitTurnedGraph,
    .drawStretched = BlitStretchedGraph,
    .beginGlyphs = BeginGlyphCopy,
    .drawGlyph = CopyGlyphOfRun,
    .endGlyphs = EndGlyphCopy,
    .beginShape = BeginShapeFill,
    .fillShape = FillShapeRect,
    .endShape = EndShapeFill,
    .present = CopyBackBufferToWindow,
};

void UseDrawPath(const DrawPath* path) { gDrawPath.active = path; }

const DrawPath& ActiveDrawPath() {
    return gDrawPath.active ? *gDrawPath.active : kSoftwareDrawPath;
}

const DrawPath& TargetDrawPath() {
    const DrawPath& path = ActiveDrawPath();
    return path.drawsTarget() ? path : kSoftwareDrawPath;
}

void BeginGlyphRun(GlyphRun* run) {
    run->path = run->surface == gDraw.drawSurface ? &TargetDrawPath() : &kSoftwareDrawPath;
    if (run->path->beginGlyphs(run) == 0) return;
    run->path = &kSoftwareDrawPath;
    kSoftwareDrawPath.beginGlyphs(run);
}
