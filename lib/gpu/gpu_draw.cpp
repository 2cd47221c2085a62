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
#include "platform/gpu.h"

#include <cmath>

namespace {

// On a 16-bit screen a texel with alpha is mixed as the software blitters
// mix it (`kind` 1 plain, 2 rotated): blending in 8 bits and cutting the
// result to 5 or 6 bits would land a level off on many mixed pixels.
PlatGpuQuadState QuadState(const Rect& area, const GraphRecord* graph, int kind) {
    int mix = QueryScreenDepth() == 16 && graph->params.AlphaChFlag && PlatGpuReadsTarget() ? kind
                                                                                           : 0;
    return PlatGpuQuadState{area.left, area.top, area.right, area.bottom, GpuFilter(), mix, 0};
}

PlatGpuVertex Corner(double x, double y, double u, double v, uint32_t key, int keyed) {
    PlatGpuVertex corner{};
    corner.x = float(x);
    corner.y = float(y);
    corner.u = float(u);
    corner.v = float(v);
    corner.red = corner.green = corner.blue = corner.alpha = 255;
    corner.keyRed = uint8_t(key);
    corner.keyGreen = uint8_t(key >> 8);
    corner.keyBlue = uint8_t(key >> 16);
    corner.keyOn = keyed ? 255 : 0;
    return corner;
}

int EmptyArea(const Rect& area) { return area.right <= area.left || area.bottom <= area.top; }

}  // namespace

int GpuDrawGraph(int x, int y, GraphRecord* graph, int transparent, const Rect& area) {
    if (EmptyArea(area)) return 0;
    if (ReadyTiles(graph) != 0) return -1;
    BeginTargetDraw();
    uint32_t key = GraphKey(graph);
    int keyed = transparent != 0;
    PlatGpuQuadState state = QuadState(area, graph, 1);
    for (int i = 0; i < graph->tileCount; ++i) {
        int tx, ty, tw, th;
        uint32_t texture;
        if (TileOf(graph, i, &tx, &ty, &tw, &th, &texture) != 0) continue;
        double left = double(x) + tx, top = double(y) + ty;
        const PlatGpuVertex quad[4] = {
            Corner(left, top, 0, 0, key, keyed), Corner(left + tw, top, tw, 0, key, keyed),
            Corner(left + tw, top + th, tw, th, key, keyed),
            Corner(left, top + th, 0, th, key, keyed)};
        PlatGpuQuad(texture, tw, th, quad, state);
    }
    return 0;
}

namespace {

// The corners of a tile's quad: the tile turned and scaled about (x, y), one
// pixel wider on every side than the pixels the walk can reach, so that the
// walk (which the shader repeats) decides every pixel at the edge.
void TurnedCorners(int x, int y, double scale, double angle, const GraphRecord* graph, int tx,
                   int ty, int tw, int th, double px[4], double py[4]) {
    double c = std::cos(angle), s = std::sin(angle);
    double reach = 1.0 / std::fabs(scale) + 1.0;
    double u0 = tx - reach, v0 = ty - reach, u1 = tx + tw + reach, v1 = ty + th + reach;
    const double us[4] = {u0, u1, u1, u0}, vs[4] = {v0, v0, v1, v1};
    for (int k = 0; k < 4; ++k) {
        double du = (us[k] - (graph->width >> 1)) * scale;
        double dv = (vs[k] - (graph->height >> 1)) * scale;
        px[k] = x + du * c - dv * s + 0.5;
        py[k] = y + du * s + dv * c + 0.5;
    }
}

int DrawWalk(int x, int y, double scale, double angle, GraphRecord* graph, uint32_t key,
             int keyed, const PlatGpuQuadState& state, const Rect& area) {
    RotaSetup setup;
    if (SetUpRotation(x, y, scale, angle, graph->width, graph->height, area, &setup) != 0)
        return 0;
    const Rect& box = setup.box;
    PlatGpuWalk walk{setup.u,   setup.v,   setup.dudx, setup.dvdx,   setup.dudy,   setup.dvdy,
                     box.left,  box.top,   box.right,  box.bottom,   graph->width, graph->height};
    PlatGpuQuadState walkState = state;
    walkState.walk = 1;
    for (int i = 0; i < graph->tileCount; ++i) {
        int tx, ty, tw, th;
        uint32_t texture;
        if (TileOf(graph, i, &tx, &ty, &tw, &th, &texture) != 0) continue;
        double px[4], py[4];
        TurnedCorners(x, y, scale, angle, graph, tx, ty, tw, th, px, py);
        PlatGpuVertex quad[4];
        for (int k = 0; k < 4; ++k) {
            quad[k] = Corner(px[k], py[k], tx, ty, key, keyed);
            quad[k].walk = walk;
        }
        PlatGpuQuad(texture, tw, th, quad, walkState);
    }
    return 0;
}

}  // namespace

int GpuDrawRotaGraph(int x, int y, double scale, double angle, GraphRecord* graph,
                     int transparent, const Rect& area) {
    if (EmptyArea(area)) return 0;
    if (ReadyTiles(graph) != 0) return -1;
    BeginTargetDraw();
    uint32_t key = GraphKey(graph);
    int keyed = transparent == 1;
    PlatGpuQuadState state = QuadState(area, graph, 2);
    if (state.filter == 0) return DrawWalk(x, y, scale, angle, graph, key, keyed, state, area);
    double c = std::cos(angle), s = std::sin(angle);
    int halfWidth = graph->width >> 1, halfHeight = graph->height >> 1;
    // Graph position (u, v) to the target, half a pixel on.
    auto place = [&](double u, double v, double* px, double* py) {
        double du = (u - halfWidth) * scale, dv = (v - halfHeight) * scale;
        *px = x + du * c - dv * s + 0.5;
        *py = y + du * s + dv * c + 0.5;
    };
    for (int i = 0; i < graph->tileCount; ++i) {
        int tx, ty, tw, th;
        uint32_t texture;
        if (TileOf(graph, i, &tx, &ty, &tw, &th, &texture) != 0) continue;
        double u0 = tx == 0 ? -1 : tx, v0 = ty == 0 ? -1 : ty;
        double u1 = tx + tw, v1 = ty + th;
        const double us[4] = {u0, u1, u1, u0}, vs[4] = {v0, v0, v1, v1};
        PlatGpuVertex quad[4];
        for (int k = 0; k < 4; ++k) {
            double px, py;
            place(us[k], vs[k], &px, &py);
            quad[k] = Corner(px, py, us[k] - tx, vs[k] - ty, key, keyed);
        }
        PlatGpuQuad(texture, tw, th, quad, state);
    }
    return 0;
}
