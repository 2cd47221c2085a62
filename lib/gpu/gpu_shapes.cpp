// Shapes onto the device's target: each clipped rectangle of a shape is a
// solid quad of the sprite batch, so that the device lights the very pixels
// the software fill does, blended by the device as sprites are, and shapes
// drawn between sprites go out in the sprites' draw call.
#include "core/core.h"
#include "draw/draw_state.h"
#include "draw/shape.h"
#include "gpu/gpu.h"
#include "gpu/gpu_internal.h"
#include "platform/gpu/gpu.h"
#include "tessel/graphics.h"

void BeginGpuShape(ShapeRun* run) {
    BeginTargetDraw();
    run->deviceColour = ExpandPixel(run->colour, *GetScreenFormat());
}

void FillGpuShapeRect(ShapeRun* run, const Rect& r) {
    PlatGpuQuadState state{.scissorLeft = gDraw.drawArea.left,
                           .scissorTop = gDraw.drawArea.top,
                           .scissorRight = gDraw.drawArea.right,
                           .scissorBottom = gDraw.drawArea.bottom,
                           .spare = -1};
    // The front end has tinted the colour: the device weighs it only.
    if (int mode = EffectiveShapeMode(gDraw.blendMode, gDraw.blendParam)) {
        state.blend = mode;
        state.tint = uint32_t(gDraw.blendParam) << 24 | 0xFFFFFFu;
    }
    const float xs[4] = {float(r.left), float(r.right), float(r.right), float(r.left)};
    const float ys[4] = {float(r.top), float(r.top), float(r.bottom), float(r.bottom)};
    PlatGpuVertex quad[4] = {};
    for (int k = 0; k < 4; ++k) {
        quad[k].x = xs[k];
        quad[k].y = ys[k];
        quad[k].colour = run->deviceColour;
        quad[k].solid = 1;
    }
    PlatGpuQuad(0, 1, 1, quad, state);
}

void EndGpuShape(ShapeRun*) { GpuCheckError("DrawShape"); }
