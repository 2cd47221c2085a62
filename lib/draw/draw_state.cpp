// The drawing state: the draw target and its surface, the clipping
// rectangle, the blend state, and the operations that clear the target and
// read one pixel of it.
//
// The front buffer is the window's own picture rather than the whole
// desktop, so the target's origin inside its surface is always (0, 0); the
// window's position on the desktop only decides which part of it is visible.
#include "draw/draw_state.h"

#include "core/core.h"
#include "draw/blit.h"
#include "draw/draw_path.h"
#include "draw/screen.h"
#include "graphics/graph.h"
#include "graphics/load.h"

#include <algorithm>
#include <utility>

DrawState gDraw;

namespace {

struct DrawTargetState {
    Rect requestedClip;  // the rectangle last asked of SetClipRect, for the window layer
};

DrawTargetState gTarget;

// Index of a graph slot when `target` is a bare slot number rather than a
// handle or a screen code; -1 otherwise.
int BareSlot(int target) {
    uint32_t value = static_cast<uint32_t>(target);
    return value < static_cast<uint32_t>(GraphCapacity) ? static_cast<int>(value) : -1;
}

// The surface behind a target, or null when the target does not resolve.
PlatSurface* ResolveTargetSurface(int target) {
    if (target == TargetFront) return gScreenState.front;
    if (target == TargetBack) return gScreenState.back;
    GraphRecord* graph = GetGraphRecord(target);
    if (!graph || graph->pieceCount == 0) return nullptr;
    BmpDataRecord* piece = GetBmpDataRecord(graph->pieces[0]);
    SurfaceDataRecord* surface = piece ? GetSurfaceDataRecord(piece->surface) : nullptr;
    return surface ? surface->surface : nullptr;
}

// Makes `target` current. False when it has no surface to draw on.
bool SelectTarget(int target) {
    PlatSurface* surface = ResolveTargetSurface(target);
    if (!surface) return false;
    int previousWidth = gDraw.targetWidth, previousHeight = gDraw.targetHeight;
    gDraw.target = target;
    gDraw.targetOrigin = Rect{0, 0, 0, 0};
    gDraw.drawSurface = surface;
    gDraw.targetInVideoMemory = surface->systemMemory ? 0 : 0x4000;

    int width = 0, height = 0;
    GetGraphDimensions(target, &width, &height);
    gDraw.targetWidth = width;
    gDraw.targetHeight = height;
    if (width == previousWidth && height == previousHeight) {
        Rect area = gDraw.drawArea;
        SetClipRect(area.left, area.top, area.right, area.bottom);
    } else {
        SetClipRect(0, 0, width, height);
    }
    return true;
}

}  // namespace

int DrawingSuspended() {
    gDraw.drawingSuspended = ScreenLockCount() > 0 ? 1 : 0;
    return gDraw.drawingSuspended;
}

void ResetDrawState() {
    gDraw = DrawState{};
    gTarget = DrawTargetState{};
    gDraw.colourModulation = 0xFFFFFFFF;
    gDraw.maskEnabled = 1;
    gDraw.target = TargetFront;
    gDraw.targetWidth = ScreenWidth();
    gDraw.targetHeight = ScreenHeight();
    gDraw.drawArea = Rect{0, 0, ScreenWidth(), ScreenHeight()};
    SelectTarget(TargetFront);
}

void ReleaseDrawTargetGraph(int graph) {
    if (gDraw.target != graph) return;
    // Set directly: freeing must neither pump messages nor depend on a clip
    // that belonged to the graph.
    PlatSurface* back = gScreenState.back;
    int width = ScreenWidth(), height = ScreenHeight();
    gDraw.target = TargetBack;
    gDraw.targetOrigin = Rect{0, 0, 0, 0};
    gDraw.drawSurface = back;
    gDraw.targetInVideoMemory = back && !back->systemMemory ? 0x4000 : 0;
    gDraw.targetWidth = width;
    gDraw.targetHeight = height;
    gDraw.drawArea = Rect{0, 0, width, height};
    gDraw.drawAreaEmpty = width <= 0 || height <= 0;
    gTarget.requestedClip = gDraw.drawArea;
}

int SetDrawTarget(int target) {
    if (!LibraryRunning() || !GraphicsStarted()) return -1;
    if (DrawingSuspended()) return 0;
    WaitWhileInactive();

    int slot = BareSlot(target);
    if (slot >= 0 && !gGraph.graphs.slots[slot]) return -1;

    int previous = gDraw.target;
    if (SelectTarget(target)) return 0;
    // Nothing else could draw on the target, so drawing goes on where it
    // went before; the front buffer is the last resort and always exists.
    if (!SelectTarget(previous)) SelectTarget(TargetFront);
    return 0;
}

int SetClipRect(int left, int top, int right, int bottom) {
    if (!LibraryRunning()) return -1;
    if (DrawingSuspended()) return 0;
    WaitWhileInactive();
    gTarget.requestedClip = Rect{left, top, right, bottom};

    int width, height;
    if (gDraw.target == TargetFront) {
        width = ScreenWidth();
        height = ScreenHeight();
        // Only the part of the window on the desktop can be seen.
        if (!gScreenState.fullScreenMode) {
            if (gCore.clientTop + height >= gCore.desktopHeight)
                height = gCore.desktopHeight - gCore.clientTop;
            if (gCore.clientLeft + width >= gCore.desktopWidth)
                width = gCore.desktopWidth - gCore.clientLeft;
            if (gCore.clientLeft < 0) left = -gCore.clientLeft;
            if (gCore.clientTop < 0) top = -gCore.clientTop;
        }
    } else if (gDraw.target == TargetBack) {
        width = ScreenWidth();
        height = ScreenHeight();
    } else if (GetGraphDimensions(gDraw.target, &width, &height) != 0) {
        width = gDraw.targetWidth;
        height = gDraw.targetHeight;
    }

    if (left > right) std::swap(left, right);
    if (top > bottom) std::swap(top, bottom);
    left = std::clamp(left, 0, std::max(width, 0));
    right = std::clamp(right, 0, std::max(width, 0));
    top = std::clamp(top, 0, std::max(height, 0));
    bottom = std::clamp(bottom, 0, std::max(height, 0));
    gDraw.drawArea = Rect{left, top, right, bottom};
    gDraw.drawAreaEmpty = left == right || top == bottom;
    return 0;
}

void ReapplyClipRect() {
    Rect r = gTarget.requestedClip;
    SetClipRect(r.left, r.top, r.right, r.bottom);
}

int SetBlendState(int mode, int amount) {
    if (!LibraryRunning()) return -1;
    if (DrawingSuspended()) return 0;
    // 7 is kept for a mode of the 3-D path: accepted, so that code written
    // for it runs, but nothing here draws differently.
    if (mode == 7) return 0;
    if (mode < BlendNone || mode > BlendSubtract) return -1;
    amount = std::clamp(amount, 0, 255);
    if (mode == gDraw.blendMode && amount == gDraw.blendParam) return 0;
    WaitWhileInactive();
    gDraw.blendMode = mode;
    gDraw.blendParam = amount;
    return 0;
}

int SetDrawTint(int red, int green, int blue) {
    if (!LibraryRunning()) return -1;
    if (DrawingSuspended()) return 0;
    uint32_t tint = 0xFF000000u | uint32_t(std::clamp(red, 0, 255)) << 16 |
                    uint32_t(std::clamp(green, 0, 255)) << 8 | uint32_t(std::clamp(blue, 0, 255));
    if (tint == gDraw.colourModulation) return 0;
    WaitWhileInactive();
    gDraw.colourModulation = tint;
    return 0;
}

int GetBlendState(int* mode, int* amount) {
    if (mode) *mode = gDraw.blendMode;
    if (amount) *amount = gDraw.blendParam;
    return 0;
}

int ClearDrawTarget() {
    if (!LibraryRunning()) return -1;
    if (DrawingSuspended()) return 0;
    WaitWhileInactive();
    if (!DisplayExists() || !gDraw.drawSurface) return 0;
    return TargetDrawPath().clear();
}

int BlitClear() {
    if (gDraw.target == TargetFront || gDraw.target == TargetBack) {
        PlatFillSurfaceRect(gDraw.drawSurface, 0, 0, ScreenWidth(), ScreenHeight(), 0);
        return 0;
    }
    GraphRecord* graph = GetGraphRecord(gDraw.target);
    BmpDataRecord* piece = graph ? GetBmpDataRecord(graph->pieces[0]) : nullptr;
    SurfaceDataRecord* record = piece ? GetSurfaceDataRecord(piece->surface) : nullptr;
    if (record && record->zBuffer)
        PlatFillSurfaceRect(record->zBuffer, 0, 0, record->zBuffer->width,
                            record->zBuffer->height, 0xFFFF);
    PlatSurface* surface = gDraw.drawSurface;
    PlatFillSurfaceRect(surface, 0, 0, surface->width, surface->height, 0);
    return 0;
}

int ReadScreenPixel(int x, int y) {
    if (!LibraryRunning() || !DisplayExists()) return -1;
    if (DrawingSuspended()) return 0;
    WaitWhileInactive();
    if (x < 0 || x >= ScreenWidth() || y < 0 || y >= ScreenHeight()) return -1;

    int bits = GetScreenFormat()->ColorBitDepth;
    int pitch = 0;
    uint8_t* pixels = nullptr;
    if (LockGraphSurface(gDraw.target, &pitch, &pixels) == -1) return 0;
    x += gDraw.targetOrigin.left;
    y += gDraw.targetOrigin.top;
    // The screen's size bounds the position even for a smaller graph; its
    // surface cannot be read past its own edge.
    const PlatSurface* surface = gDraw.drawSurface;
    if (!surface || x >= surface->width || y >= surface->height) {
        UnlockGraphSurface(gDraw.target);
        return 0;
    }
    const uint8_t* p = pixels + static_cast<ptrdiff_t>(y) * pitch;
    int value = 0;
    switch (bits) {
    case 8: value = p[x]; break;
    case 16: value = p[x * 2] | p[x * 2 + 1] << 8; break;
    case 32:
        value = static_cast<int>(p[x * 4] | p[x * 4 + 1] << 8 | p[x * 4 + 2] << 16 |
                                 static_cast<uint32_t>(p[x * 4 + 3]) << 24);
        break;
    default: break;
    }
    UnlockGraphSurface(gDraw.target);
    return value;
}

// No mask screen exists in this library, so there is nothing to redirect.
void MaskBeforeDraw(const Rect&) {}
void MaskAfterDraw(const Rect&) {}
