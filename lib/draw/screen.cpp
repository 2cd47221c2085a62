// Screen settings. The screen's surfaces, drawing state and presentation
// land with the drawing work; until then the operations below keep only the
// settings and the presentation's pacing, and report failure where they
// would need a surface.
#include "draw/screen.h"

#include "platform/platform.h"
#include "tessel.h"

ScreenSettings gScreen;

int ScreenWidth() { return gScreen.width ? gScreen.width : 640; }
int ScreenHeight() { return gScreen.height ? gScreen.height : 480; }
int ScreenDepth() { return gScreen.depth ? gScreen.depth : 16; }

int SetScreenMode(int width, int height, int depth, int refresh) {
    if (width != -1) gScreen.width = width;
    if (height != -1) gScreen.height = height;
    if (depth != -1) gScreen.depth = depth;
    if (refresh != -1) gScreen.refresh = refresh;
    return 0;
}

int InitScreen() { return 0; }
int EndScreen() { return 0; }
int ScreenIsUp() { return 0; }

int SetPresentVSync(int flag) {
    gScreen.vsync = flag;
    return 0;
}

// Keeps the game's frame pacing while there is no back buffer to show.
int PresentScreen() { return gScreen.vsync ? PlatWaitVBlank() : 0; }

int SetDrawTarget(int) { return -1; }
int ClearDrawTarget() { return 0; }
