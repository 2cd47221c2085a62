// Screen settings and the screen's start and end.
#ifndef TESSEL_SCREEN_H
#define TESSEL_SCREEN_H

// Library-wide screen settings; zero means the default.
struct ScreenSettings {
    int width;    // pixels; 640 when 0
    int height;   // pixels; 480 when 0
    int depth;    // bits per pixel; 16 when 0
    int refresh;  // Hz, full screen only; 0 = the device's default
    int vsync;    // PresentScreen waits for the vertical blank
};

extern ScreenSettings gScreen;

int ScreenWidth();
int ScreenHeight();
int ScreenDepth();
// Brings the screen up inside InitLibrary, takes it down in EndLibrary.
int InitScreen();
int EndScreen();
// 1 while the screen's surfaces exist.
int ScreenIsUp();

#endif
