// DrawGraph, DrawGraphPart and DrawRotaGraph onto the device's target: one
// quad a tile, clipped by the scissor, drawn so that every pixel takes the
// texel the software walk would take.
//
// Unturned, unscaled quads land on whole pixels, where the device's
// sampling at pixel centres picks the texel the software copy picks. Turned
// or scaled quads cover the software walk's bounding box and let the shader
// repeat the walk's fixed-point arithmetic, so each pixel takes the very
// texel the software path takes. Bilinear sampling (which the software path
// lacks) places the quad instead: half a pixel on, the first row and column
// reaching back to -1, as the walk samples at pixel corners and truncates.
#include "core/core.h"
#include "draw/blit.h"
#include "draw/draw_state.h"
#include "gpu/gpu.h"
#include "gpu/gpu_internal.h"
#include "platform/gpu/gpu.h"
#include "tessel/graphics.h"

#include <cmath>

namespace {

// Texels with alpha are blended by the device in 8 bits a channel at every
// depth, so that one texture's quads stay one batch: on a 16-bit screen the
// target keeps the 8 bits and the picture is rounded to the screen's
// channels once, when it comes back or is shown. The software blitters
// round each mix to 5 or 6 bits, so the two differ by at most a level.
PlatGpuQuadState QuadState(const Rect& area, const GraphRecord* graph, int keyed) {
    PlatGpuQuadState state{.scissorLeft = area.left,
                           .scissorTop = area.top,
                           .scissorRight = area.right,
                           .scissorBottom = area.bottom,
                           .filter = GpuFilter(),
                           .keyed = keyed,
                           .key = keyed ? GraphKey(graph) : 0,
                           .spare = GraphSpare(graph)};
    ApplyDrawBlend(&state);
    return state;
}

PlatGpuVertex Corner(double x, double y, double u, double v) {
    PlatGpuVertex corner{};
    corner.x = float(x);
    corner.y = float(y);
    corner.u = float(u);
    corner.v = float(v);
    return corner;
}

int EmptyArea(const Rect& area) { return area.right <= area.left || area.bottom <= area.top; }

}  // namespace

void ApplyDrawBlend(PlatGpuQuadState* state) {
    uint32_t tint = gDraw.colourModulation & 0xFFFFFF;
    if (gDraw.blendMode == BlendNone && tint == 0xFFFFFF) return;
    int none = gDraw.blendMode == BlendNone;
    uint32_t amount = none ? 255 : uint32_t(gDraw.blendParam);
    state->blend = none ? BlendAlpha : gDraw.blendMode;
    state->tint = amount << 24 | (tint & 0xFF) << 16 | (tint & 0xFF00) | tint >> 16;
}

int GpuDrawGraph(int x, int y, GraphRecord* graph, int transparent, const Rect& area) {
    if (EmptyArea(area)) return 0;
    if (ReadyTiles(graph) != 0) return -1;
    BeginTargetDraw();
    PlatGpuQuadState state = QuadState(area, graph, transparent != 0);
    for (int i = 0; i < graph->tileCount; ++i) {
        int tx, ty, tw, th;
        uint32_t texture;
        if (TileOf(graph, i, &tx, &ty, &tw, &th, &texture) != 0) continue;
        double left = double(x) + tx, top = double(y) + ty;
        const PlatGpuVertex quad[4] = {
            Corner(left, top, 0, 0), Corner(left + tw, top, tw, 0),
            Corner(left + tw, top + th, tw, th), Corner(left, top + th, 0, th)};
        PlatGpuQuad(texture, tw, th, quad, state);
    }
    GpuCheckError("DrawGraph");
    return 0;
}

namespace {

// Graph positions (us[k], vs[k]) turned and scaled about the graph's centre
// put at (x, y), half a pixel on: the device samples at pixel centres.
void PlaceOnTarget(int x, int y, double scale, double c, double s, const GraphRecord* graph,
                   const double us[4], const double vs[4], double px[4], double py[4]) {
    double du[4], dv[4];
    for (int k = 0; k < 4; ++k) {
        du[k] = (us[k] - (graph->width >> 1)) * scale;
        dv[k] = (vs[k] - (graph->height >> 1)) * scale;
    }
    TurnCorners(x, y, c, s, 0.5, du, dv, px, py);
}

// The corners of a tile's quad: the tile turned and scaled about (x, y).
// The walk samples a pixel at its corner, which sits half a pixel before the
// centre the device samples at, and truncates toward zero, so the graph's
// first texel also takes positions down to -1. A quarter of a pixel more
// on every side lets the walk (which the shader repeats) decide every pixel
// at the edge, whatever the device's rounding of the corners, while
// covering few pixels that the walk leaves alone; a large scale adds the
// drift of the walk's truncated steps, under a 2^-18 texel a step.
void TurnedCorners(int x, int y, double scale, double c, double s, const GraphRecord* graph,
                   int tx, int ty, int tw, int th, double px[4], double py[4]) {
    double drift = double(graph->width + graph->height) * scale * scale / 131072.0;
    double margin = (0.25 + drift) / std::fabs(scale);
    double u0 = tx - (tx == 0 ? 1 : 0) - margin, v0 = ty - (ty == 0 ? 1 : 0) - margin;
    double u1 = tx + tw + margin, v1 = ty + th + margin;
    const double us[4] = {u0, u1, u1, u0}, vs[4] = {v0, v0, v1, v1};
    PlaceOnTarget(x, y, scale, c, s, graph, us, vs, px, py);
}

void DrawWalk(int x, int y, double scale, double angle, GraphRecord* graph,
              const PlatGpuQuadState& state, const Rect& area) {
    RotaSetup setup;
    if (SetUpRotation(x, y, scale, angle, graph->width, graph->height, area, &setup) != 0)
        return;
    const Rect& box = setup.box;
    // The walk from the target's origin: the same values modulo 2^32 at
    // every pixel as the software's walk from the box's corner.
    auto origin = [&](int32_t at, int32_t perX, int32_t perY) {
        return int32_t(uint32_t(at) - uint32_t(box.left) * uint32_t(perX) -
                       uint32_t(box.top) * uint32_t(perY));
    };
    PlatGpuWalk walk{.u0 = origin(setup.u, setup.dudx, setup.dudy),
                     .v0 = origin(setup.v, setup.dvdx, setup.dvdy),
                     .dudx = setup.dudx,
                     .dvdx = setup.dvdx,
                     .dudy = setup.dudy,
                     .dvdy = setup.dvdy,
                     .left = box.left,
                     .top = box.top,
                     .right = box.right,
                     .bottom = box.bottom};
    PlatGpuQuadState walkState = state;
    walkState.walk = 1;
    for (int i = 0; i < graph->tileCount; ++i) {
        int tx, ty, tw, th;
        uint32_t texture;
        if (TileOf(graph, i, &tx, &ty, &tw, &th, &texture) != 0) continue;
        double px[4], py[4];
        TurnedCorners(x, y, scale, setup.cosine, setup.sine, graph, tx, ty, tw, th, px, py);
        PlatGpuVertex quad[4];
        for (int k = 0; k < 4; ++k) {
            quad[k] = Corner(px[k], py[k], tx, ty);
            quad[k].walk = walk;
        }
        PlatGpuQuad(texture, tw, th, quad, walkState);
    }
}

}  // namespace

int GpuDrawRotaGraph(int x, int y, double scale, double angle, GraphRecord* graph,
                     int transparent, const Rect& area) {
    if (EmptyArea(area)) return 0;
    if (ReadyTiles(graph) != 0) return -1;
    BeginTargetDraw();
    PlatGpuQuadState state = QuadState(area, graph, transparent == 1);
    if (state.filter == 0) {
        DrawWalk(x, y, scale, angle, graph, state, area);
        GpuCheckError("DrawRotaGraph");
        return 0;
    }
    double c = std::cos(angle), s = std::sin(angle);
    for (int i = 0; i < graph->tileCount; ++i) {
        int tx, ty, tw, th;
        uint32_t texture;
        if (TileOf(graph, i, &tx, &ty, &tw, &th, &texture) != 0) continue;
        double u0 = tx == 0 ? -1 : tx, v0 = ty == 0 ? -1 : ty;
        double u1 = tx + tw, v1 = ty + th;
        const double us[4] = {u0, u1, u1, u0}, vs[4] = {v0, v0, v1, v1};
        double px[4], py[4];
        PlaceOnTarget(x, y, scale, c, s, graph, us, vs, px, py);
        PlatGpuVertex quad[4];
        for (int k = 0; k < 4; ++k) quad[k] = Corner(px[k], py[k], us[k] - tx, vs[k] - ty);
        PlatGpuQuad(texture, tw, th, quad, state);
    }
    GpuCheckError("DrawRotaGraph");
    return 0;
}
