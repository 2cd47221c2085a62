// The one drawing state every drawing operation consults.
#ifndef TESSEL_DRAW_STATE_H
#define TESSEL_DRAW_STATE_H

#include <cstdint>

struct PlatSurface;

struct Rect {
    int32_t left, top, right, bottom;  // right and bottom exclusive
};

// Sums of caller coordinates wrap around as 32-bit integers do: a position
// pushed past the end of the range lands far off the other side and is
// clipped away, rather than being undefined.
inline int32_t AddWrap(int32_t a, int32_t b) { return int32_t(uint32_t(a) + uint32_t(b)); }
inline int32_t SubWrap(int32_t a, int32_t b) { return int32_t(uint32_t(a) - uint32_t(b)); }

struct DrawState {
    int32_t target;               // TargetFront, TargetBack or a graph handle
    int32_t targetInVideoMemory;  // the target's surface is in "video" memory
    Rect targetOrigin;            // offset of the target's (0, 0) in its surface; left/top used
    Rect drawArea;                // clipping rectangle in target coordinates
    int32_t targetWidth, targetHeight;  // size of the current target
    int32_t blendMode;            // BlendNone .. BlendSubtract
    int32_t blendParam;           // 0..255, the weight of the source
    uint32_t colourModulation;    // 0xFFFFFFFF: no modulation
    int32_t maskEnabled;          // drawing goes through the mask screen when one exists
    int32_t drawingSuspended;     // a screen surface is locked: drawing does nothing
    int32_t drawAreaEmpty;        // drawArea has no width or height: drawing does nothing
    PlatSurface* drawSurface;     // the surface the blitters lock for the current target
};

extern DrawState gDraw;

// Refreshes drawingSuspended (a screen surface is locked) and returns it.
int DrawingSuspended();
// Resets the record as graphics management does when it starts: blend mode
// 0, mask drawing on, no modulation, TargetFront with the whole screen.
void ResetDrawState();

// Called before a graph is freed: when it is the draw target, drawing moves
// to the back buffer with its whole area, so nothing is drawn into the freed
// surface.
void ReleaseDrawTargetGraph(int graph);

// Applies the rectangle last asked of SetClipRect again, for when the
// window moved on the desktop.
void ReapplyClipRect();

// Hooks around drawing a rectangle, for a mask screen; nothing while none exists.
void MaskBeforeDraw(const Rect& area);
void MaskAfterDraw(const Rect& area);

#endif
