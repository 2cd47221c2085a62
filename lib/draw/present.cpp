// Presentation: the back buffer is copied into the window's picture (the
// front buffer) and handed to the platform, paced by the vertical blank.
//
// Window mode copies only the part of the picture that lies on the desktop,
// as a window partly off screen shows no more; full screen "flips" by
// copying the whole back buffer, which also leaves the back buffer as it was.
#include "core/core.h"
#include "draw/draw_path.h"
#include "draw/screen.h"
#include "graphics/color.h"
#include "platform/pixels/surface.h"

namespace {

struct PresentState {
    uint32_t palette[256];  // an 8-bit screen's palette as 0x00RRGGBB, for the platform
};

PresentState gPresent;

PlatFrameFormat FrameFormat(const ColorFormat& format) {
    if (format.ColorBitDepth == 8) return FrameIndex8;
    if (format.ColorBitDepth == 16) return format.redMask == 0x7C00 ? FrameRgb555 : FrameRgb565;
    return FrameXrgb8888;
}

// Hands the front buffer to the platform.
void ShowFront() {
    const PlatSurface* front = gScreenState.front;
    if (!front || PlatIsSurfaceLost(front)) return;
    PlatFrame frame{};
    frame.width = front->width;
    frame.height = front->height;
    frame.format = FrameFormat(front->format);
    frame.rows = front->pixels;
    frame.pitchBytes = front->pitch;
    // The front buffer lives until ReleaseScreenSurfaces, which lets go of it.
    frame.rowsStay = 1;
    if (frame.format == FrameIndex8) {
        for (int i = 0; i < 256; ++i) {
            const PaletteEntry& e = gColor.palette[i];
            gPresent.palette[i] = uint32_t(e.red) << 16 | uint32_t(e.green) << 8 | e.blue;
        }
        frame.palette = gPresent.palette;
    }
    PlatPresent(&frame);
}

// Copies what the window shows of the back buffer: the part of it that lies
// on the desktop.
void CopyVisibleBackBuffer() {
    int destLeft = gCore.clientLeft, destTop = gCore.clientTop;
    Rect source{0, 0, ScreenWidth(), ScreenHeight()};
    if (destLeft < 0) {
        source.left = -destLeft;
        destLeft = 0;
    }
    if (destTop < 0) {
        source.top = -destTop;
        destTop = 0;
    }
    if (destLeft + ScreenWidth() >= gCore.desktopWidth) source.right = gCore.desktopWidth - destLeft;
    if (destTop + ScreenHeight() >= gCore.desktopHeight)
        source.bottom = gCore.desktopHeight - destTop;
    CopySurfaceRect(gScreenState.front, source.left, source.top, gScreenState.back, source, 0);
}

void CopyWholeBackBuffer() {
    Rect whole{0, 0, ScreenWidth(), ScreenHeight()};
    CopySurfaceRect(gScreenState.front, 0, 0, gScreenState.back, whole, 0);
}

// Waits for `count` vertical blanks, pumping messages meanwhile. 0, or -1
// once the program must end.
int WaitVerticalBlanks(int count) {
    for (int i = 0; i < count; ++i) {
        PlatWaitVBlank();
        if (PumpWithinFrame() < 0) return -1;
    }
    return 0;
}

// Sleeps until the display is well into its frame, then waits for the
// blank, so that a windowed present lands in the next refresh. One sleep for
// the whole stretch: waking every millisecond to look at the clock is what
// the blank wait is there to avoid.
void WindowedVBlankWait() {
    ScreenState& s = gScreenState;
    int threshold = s.vsyncSleepMs == -1 ? 5 : s.vsyncSleepMs;
    int left = threshold - (GetTickMs(0) - s.lastPresentMs);
    if (left > 0) PlatSleepMs(static_cast<uint32_t>(left));
    PlatWaitVBlank();
    s.lastPresentMs = GetTickMs(0);
}

// The front buffer is the target: nothing to copy, only the blank to wait for.
int PresentFront() {
    CountPresent();
    int result = WaitVerticalBlanks(1);
    ShowFront();
    return result;
}

}  // namespace

void CountPresent() {
    ScreenState& s = gScreenState;
    if (++s.presentCountLow == 0) ++s.presentCountHigh;
}

uint64_t GetPresentCount() {
    return uint64_t(gScreenState.presentCountHigh) << 32 | gScreenState.presentCountLow;
}

int SetPresentVSync(int flag) {
    if (!LibraryRunning()) return -1;
    gScreen.vsync = flag;
    return 0;
}

void CopyBackBufferToWindow(int whole) {
    if (whole)
        CopyWholeBackBuffer();
    else
        CopyVisibleBackBuffer();
    ShowFront();
}

void ShowBackBufferOnce() {
    if (gScreenState.surfacesUp) ActiveDrawPath().present(gScreenState.fullScreenMode);
}

int PresentScreen() {
    if (!LibraryRunning() || !DisplayExists()) return -1;
    WaitWhileInactive();
    if (!gScreenState.surfacesUp) return -1;

    if (!gScreenState.fullScreenMode) {
        if (gDraw.target == TargetFront) return PresentFront();
        WaitWhileInactive();
        if (gScreen.vsync) WindowedVBlankWait();
        ActiveDrawPath().present(0);
        CountPresent();
        return 0;
    }

    if (gDraw.target == TargetFront && gScreen.vsync) return PresentFront();
    if (gScreen.vsync) PlatWaitVBlank();
    ActiveDrawPath().present(1);
    CountPresent();
    return 0;
}
