// The screen: its settings, the display mode, the surfaces that belong to it
// (front, back and the two work surfaces), presentation and the
// measurements taken at each mode change.
#ifndef TESSEL_SCREEN_H
#define TESSEL_SCREEN_H

#include "draw/draw_state.h"

#include <cstdint>

struct PlatSurface;

// Library-wide screen settings; zero means the default.
struct ScreenSettings {
    int width;    // pixels; 640 when 0
    int height;   // pixels; 480 when 0
    int depth;    // bits per pixel; 16 when 0 (15 asks for a 5:5:5 16-bit screen)
    int refresh;  // Hz, full screen only; 0 = the device's default
    int vsync;    // PresentScreen waits for the vertical blank
};

extern ScreenSettings gScreen;

// What exists between InitScreen and EndScreen, rebuilt by each mode change.
struct ScreenState {
    int displayExists;          // the display device is made (InitScreen .. EndScreen)
    int displayObjectMade;      // the first display mode set has run; later changes re-create
    int fullScreenMode;         // a full-screen mode is in effect
    int surfacesUp;             // front, back and the work surfaces exist
    PlatSurface* front;         // the window's picture: TargetFront
    PlatSurface* back;          // the back buffer: TargetBack
    PlatSurface* destWork;      // DestWorkSurface: the destination part a blitter reads
    PlatSurface* sourceWork;    // SourceWorkSurface: a "video memory" source, read here
    int frameMs;                // one display frame in ms; -1 unknown
    int vsyncSleepMs;           // windowed vsync: sleep this long after a present; -1 unknown
    int lastPresentMs;          // clock after the last windowed vertical-blank wait
    uint32_t presentCountLow;   // frames presented since the last mode change
    uint32_t presentCountHigh;  // raised when the low half wraps
    int lastModeChangeMs;       // clock at the last mode change
    int modeChanged;            // a mode change has happened (the 2 s rule applies)
    int displayDepth;           // bits per pixel of the display mode (15: 5:5:5)
};

extern ScreenState gScreenState;

// The products of a channel value and an 8-bit weight: [i][j] = (i * j) >> 8,
// filled when the display device is made.
extern int32_t ProductTable[256][256];

int ScreenWidth();
int ScreenHeight();
int ScreenDepth();
// Brings the screen up inside InitLibrary (the first mode change, the first
// show of the back buffer); 0 or -1. EndScreen takes it down; always 0.
int InitScreen();
int EndScreen();
// 1 while the screen's surfaces exist.
int ScreenIsUp();
// 1 while the display device exists.
int DisplayExists();

// The mode change: rebuilds the surfaces and graphics management for the
// given mode (forced: even when nothing differs). 0, or -2 when the
// 640 x 480 x 16 fallback is in effect instead.
int ChangeScreenMode(int width, int height, int depth, int refresh, int force);
// Rebuilds the screen after the display was lost (reactivation in full
// screen, a changed desktop): the surfaces are made anew, the back buffer is
// cleared and shown, and the graphs are restored. Graph handles stay valid.
int RebuildScreen();
// 1 when a screen surface was lost with the display and is not back yet.
int ScreenSurfacesLost();

// The screen surfaces (screen.cpp).
int CreateScreenSurfaces();
void ReleaseScreenSurfaces();

// Shows the whole back buffer once, as start-up and a rebuild do.
void ShowBackBufferOnce();
// The software path's present: copies the back buffer (all of it, or the
// part on the desktop) into the window's picture and shows that.
void CopyBackBufferToWindow(int whole);
// Raises the present count by one frame.
void CountPresent();
// Frames presented since the last mode change; read by the movie layer.
uint64_t GetPresentCount();

// The screenshot key and the replay's screenshots (screenshot.cpp), from
// InitScreen to EndScreen.
void StartScreenshots();
void EndScreenshots();

// Copies the rectangle `source` of `src` to (dstX, dstY) of `dst`; with
// `keyed`, source pixels equal to `src`'s colour key (when it has one) are
// skipped. The rectangle is clipped to both surfaces. Both surfaces must have
// the same depth. 0, or -1 when a surface is lost or the depths differ.
int CopySurfaceRect(PlatSurface* dst, int dstX, int dstY, PlatSurface* src, const Rect& source,
                    int keyed);

#endif
