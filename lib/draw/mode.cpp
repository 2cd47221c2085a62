// The screen mode: SetScreenMode, the mode change that rebuilds the screen
// surfaces and graphics management, the display mode with its fallbacks,
// and the measurements taken afterwards.
//
// The platform shows the picture in a window, or scaled over the whole
// desktop in full screen, so a "display mode" is any size up to the
// desktop's at 8, 16 (5:6:5; 15 asks for 5:5:5) or 32 bits, at the display's
// own refresh rate. There is neither a scan line to watch nor a second copy
// method to compare, so the choices rest on what the platform says: one
// frame lasts as long as the display's refresh rate makes it, and surface
// copies use the one block copy there is. The log still shows what the
// choices rest on: the block copy's measured time, and the four frame
// samples, each one frame of that rate.
#include "core/core.h"
#include "draw/screen.h"
#include "graphics/color.h"
#include "graphics/graph.h"
#include "graphics/load.h"

#include <cmath>
#include <cstdio>

int32_t ProductTable[256][256];

namespace {

constexpr int kCopyBatch = 8;     // screen copies timed per mode change
constexpr int kFrameSamples = 4;  // frame samples logged per mode change

struct ScreenMode {
    int width, height, depth, refresh;
};

bool operator==(const ScreenMode& a, const ScreenMode& b) {
    return a.width == b.width && a.height == b.height && a.depth == b.depth &&
           a.refresh == b.refresh;
}

constexpr ScreenMode kFallbackMode = {640, 480, 16, 0};

ScreenMode CurrentMode() { return {ScreenWidth(), ScreenHeight(), ScreenDepth(), gScreen.refresh}; }

void StoreMode(const ScreenMode& mode) {
    gScreen.width = mode.width;
    gScreen.height = mode.height;
    gScreen.depth = mode.depth;
    gScreen.refresh = mode.refresh;
    SetClientSize(ScreenWidth(), ScreenHeight());
}

void DesktopMode(int* width, int* height, int* depth) {
    *width = *height = *depth = 0;
    PlatDesktopMode(width, height, depth);
}

// Sets a full-screen display mode, as far as the platform has one.
bool SetDisplayMode(int width, int height, int depth, int refresh) {
    int desktopWidth, desktopHeight, desktopDepth;
    DesktopMode(&desktopWidth, &desktopHeight, &desktopDepth);
    if (depth != 8 && depth != 15 && depth != 16 && depth != 32) return false;
    if (width <= 0 || height <= 0 || width > desktopWidth || height > desktopHeight) return false;
    if (refresh != 0 && refresh != PlatRefreshHz()) return false;
    gScreenState.displayDepth = depth;
    gScreenState.fullScreenMode = 1;
    return true;
}

// The first display mode of the process. 0, or -1 when it cannot be set.
int FirstDisplayModeSet() {
    char text[128];
    std::snprintf(text, sizeof text, SJIS("画面モードの変更処理を開始します %u x %u  %u bit "),
                  unsigned(ScreenWidth()), unsigned(ScreenHeight()), unsigned(ScreenDepth()));
    WriteLogString(text);
    if (gCore.settings.windowed) {
        WriteLogString(SJIS("ウインドウモードにします\n"));
        int width, height, depth;
        DesktopMode(&width, &height, &depth);
        if (width < ScreenWidth() || height < ScreenHeight())
            ErrorExit(SJIS("デスクトップ画面のサイズが足りません、ソフトを終了します"));
        if (gScreenState.fullScreenMode) {
            WriteLogString(SJIS("フルスクリーンモードから抜けます\n"));
            gScreenState.fullScreenMode = 0;
        }
        if (depth == 24) return -1;
        gScreen.depth = depth;
        gScreenState.displayDepth = depth;
    } else {
        if (ScreenDepth() == 24) return -1;
        WriteLogString(SJIS("画面解像度を変更します... "));
        if (!SetDisplayMode(ScreenWidth(), ScreenHeight(), ScreenDepth(), gScreen.refresh)) {
            gScreen.refresh = 0;
            if (!SetDisplayMode(ScreenWidth(), ScreenHeight(), ScreenDepth(), 0)) {
                WriteLogString(SJIS("画面モードの変更に失敗しました\n"));
                return -1;
            }
        }
        WriteLogString(SJIS("成功しました\n"));
    }
    WriteLogString(SJIS("画面モードの変更は正常に終了しました \n"));
    return 0;
}

// A later change in full screen, falling back step by step.
int ChangeDisplayMode(const ScreenMode& remembered) {
    WriteLogString(SJIS("画面解像度を変更します... "));
    int result = 0;
    if (!SetDisplayMode(ScreenWidth(), ScreenHeight(), ScreenDepth(), gScreen.refresh)) {
        gScreen.refresh = 0;
        if (!SetDisplayMode(ScreenWidth(), ScreenHeight(), ScreenDepth(), 0)) {
            StoreMode({remembered.width, remembered.height, remembered.depth, 0});
            if (!SetDisplayMode(remembered.width, remembered.height, remembered.depth, 0)) {
                StoreMode(kFallbackMode);
                result = -2;
                if (!SetDisplayMode(640, 480, 16, 0))
                    ErrorExit(SJIS("予期せぬ画面モード変更不能現象が起きました2\n"));
            }
        }
    }
    WriteLogString(SJIS("成功しました\n"));
    return result;
}

// The display is made for the first time, with the remembered settings and
// then 640 x 480 x 16 as the ways back.
int MakeDisplay(const ScreenMode& wanted, const ScreenMode& remembered) {
    if (FirstDisplayModeSet() == 0) return 0;
    StoreMode(remembered);
    if (!(wanted == remembered && wanted.refresh == 0) && FirstDisplayModeSet() == 0) return 0;
    StoreMode(kFallbackMode);
    if (FirstDisplayModeSet() != 0)
        ErrorExit(SJIS("予期せぬ画面モード変更不能現象が起きました\n"));
    return -2;
}

DisplayPixelFormat DisplayFormat(int depth) {
    switch (depth) {
    case 8: return {8, 0, 0, 0, 0};
    case 15: return {16, 0x7C00, 0x03E0, 0x001F, 0};
    case 16: return {16, 0xF800, 0x07E0, 0x001F, 0};
    default: return {32, 0xFF0000, 0x00FF00, 0x0000FF, 0};
    }
}

// An 8-bit screen gets three bits of red, three of green and two of blue.
void MakePalette() {
    PaletteEntry entries[256];
    for (int i = 0; i < 256; ++i)
        entries[i] = {uint8_t((i >> 5) * 255 / 7), uint8_t((i >> 2 & 7) * 255 / 7),
                      uint8_t((i & 3) * 255 / 3), 0};
    SetScreenPalette(entries);
}

void ApplyDisplayFormat() {
    DisplayPixelFormat display = DisplayFormat(gScreenState.displayDepth);
    ColorFormat format{};
    SetFormatFromDisplay(&format, &display);
    SetScreenFormat(&format);
    if (display.bitCount == 8) MakePalette();
    WriteLogString(SJIS("カラー情報\n"));
    WriteLogFormat("A:%08x  B:%08x  G:%08x  B:%08x", display.alphaMask, display.redMask,
                   display.greenMask, display.blueMask);
    gScreen.depth = gScreenState.displayDepth;
}

// Microseconds that `batch` copies of the whole screen from the front
// buffer into the destination work surface take.
double TimeBlockCopies(int batch) {
    ScreenState& s = gScreenState;
    Rect screen{0, 0, ScreenWidth(), ScreenHeight()};
    int64_t start = GetTickUs(0);
    for (int i = 0; i < batch; ++i) CopySurfaceRect(s.destWork, 0, 0, s.front, screen, 0);
    return double(GetTickUs(0) - start);
}

void Measure() {
    ScreenState& s = gScreenState;
    // The block copy is the only copy method here; the log still reports
    // the comparison its readers know, the other method taking forever.
    double blockCopy = TimeBlockCopies(kCopyBatch);
    WriteLogFormat(SJIS("サーフェス間転送には %s を使用します"), "BltFast");
    WriteLogFormat(SJIS("BitBlt:%.0lfμs   BltFast:%.0lfμs"), HUGE_VAL, blockCopy);

    s.frameMs = 1000 / PlatRefreshHz();
    WriteLogFormat(SJIS("１フレーム当たりの時間は %d msecです"), s.frameMs);
    for (int sample = 0; sample < kFrameSamples; ++sample)
        WriteLogFormat("\tTri%02d:%d msec", sample, s.frameMs);
    s.vsyncSleepMs = s.frameMs == -1 ? -1 : (2 * s.frameMs - 4) / 3;
}

// Waits out the display's settling time after the previous change.
void WaitForSettling() {
    ScreenState& s = gScreenState;
    int now = GetTickMs(0);
    // The wait is the mode change's own: the input it pumps in is news to
    // the program's next pump.
    ++gCore.innerPumps;
    if (s.modeChanged && now - s.lastModeChangeMs < 2000)
        WaitMs(s.lastModeChangeMs + 2060 - now);
    else
        WaitMs(60);
    --gCore.innerPumps;
    s.lastModeChangeMs = GetTickMs(0);
    s.modeChanged = 1;
}

// The window's picture follows the screen's size.
void FitWindowToScreen(const ScreenMode& before) {
    if (before.width == ScreenWidth() && before.height == ScreenHeight()) return;
    const CoreSettings& settings = gCore.settings;
    if (settings.windowed) {
        PlatSetWindowMode(1, ScreenWidth(), ScreenHeight(), settings.hasPosition,
                          settings.positionX, settings.positionY);
        PlatClientOrigin(&gCore.clientLeft, &gCore.clientTop);
    } else {
        PlatSetWindowMode(0, ScreenWidth(), ScreenHeight(), 0, 0, 0);
    }
}

}  // namespace

int ChangeScreenMode(int width, int height, int depth, int refresh, int force) {
    ScreenMode wanted{width, height, depth, refresh};
    ScreenMode remembered = CurrentMode();
    if (!force && wanted == remembered) return 0;
    WriteLogString(SJIS("画面モード変更処理を開始します\n"));
    RunHooks(&SubsystemHooks::beforeModeChange);
    StoreMode(wanted);
    ScreenState& s = gScreenState;
    if (!s.displayExists) return 0;
    WaitForSettling();

    FreeAllGraphHandles(0);
    EndGraphicsResources();
    ReleaseScreenSurfaces();

    int result = 0;
    if (s.displayObjectMade) {
        WriteLogString(SJIS("ＤｉｒｅｃｔＤｒａｗオブジェクトを解放します\n"));
        WriteLogString(SJIS("ＤｉｒｅｃｔＤｒａｗオブジェクトを解放しました\n"));
        if (gCore.settings.windowed) {
            int desktopWidth, desktopHeight, desktopDepth;
            DesktopMode(&desktopWidth, &desktopHeight, &desktopDepth);
            s.fullScreenMode = 0;
            s.displayDepth = desktopDepth;
        } else {
            result = ChangeDisplayMode(remembered);
        }
        FitWindowToScreen(remembered);
    } else {
        result = MakeDisplay(wanted, remembered);
        s.displayObjectMade = 1;
    }

    ApplyDisplayFormat();
    CreateScreenSurfaces();
    InitGraphicsResources();
    RunHooks(&SubsystemHooks::afterModeChange);
    Measure();
    PumpWithinFrame();
    s.presentCountLow = 0;
    s.presentCountHigh = 0;
    WriteLogString(SJIS("画面モード変更処理は正常に終了しました\n"));
    return result;
}

int SetScreenMode(int width, int height, int depth, int refresh) {
    FreeAllGraphHandles(0);
    ScreenMode remembered = CurrentMode();
    ScreenMode wanted{width == -1 ? remembered.width : width,
                      height == -1 ? remembered.height : height,
                      depth == -1 ? remembered.depth : depth,
                      refresh == -1 ? remembered.refresh : refresh};
    ChangeScreenMode(wanted.width, wanted.height, wanted.depth, wanted.refresh, 0);
    ScreenMode now = CurrentMode();
    if (now == wanted) return 0;
    if (now == remembered) return -1;
    if (now == kFallbackMode) return -2;
    return -1;
}
