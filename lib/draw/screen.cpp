// The screen's settings, its start and end inside InitLibrary and
// EndLibrary, the screen surfaces, and the rebuild after the display was lost.
//
// The front buffer is the window's picture: a surface of screen size that
// presentation fills from the back buffer and hands to the platform. The back
// buffer and the two work surfaces are ordinary platform surfaces.
#include "draw/screen.h"

#include "core/core.h"
#include "draw/draw_state.h"
#include "graphics/graph.h"
#include "graphics/load.h"
#include "platform/pixels/surface.h"

ScreenSettings gScreen;
ScreenState gScreenState;

namespace {

PlatSurface* MakeSurface(int systemMemory, const char* failure, int rowAlign = 4) {
    PlatSurface* surface = PlatCreateSurface(ScreenWidth(), ScreenHeight(), GetScreenFormat(),
                                             systemMemory, rowAlign);
    if (!surface) ErrorExit(failure);
    return surface;
}

const char* MemoryName(const PlatSurface* surface) {
    return surface->systemMemory ? "SYSTEMMEMORY" : "VIDEOMEMORY";
}

// A full screen given up on deactivation, or surfaces the platform lost
// meanwhile (the renderer was reset), come back on activation.
void ActivateScreenStep() {
    if (gCore.initialised &&
        ((!gCore.settings.windowed && gCore.lost) || ScreenSurfacesLost())) {
        RebuildScreen();
        gCore.lost = 0;
    }
}

void DeactivateScreenStep() {
    if (gCore.settings.windowed || !ScreenIsUp()) return;
    if (HasGraphRestoreHandler()) {
        gCore.lost = 1;
    } else {
        WriteLogString(SJIS("復元関数が登録されていないため終了します\n"));
        PostCloseRequest();
    }
}

int ReapplyScreenMode() {
    return ChangeScreenMode(ScreenWidth(), ScreenHeight(), ScreenDepth(), gScreen.refresh, 1);
}

// The clip follows the window's new place on the desktop.
void FollowWindowMove() {
    if (GraphicsStarted()) ReapplyClipRect();
}

void RestoreAfterWait() { RestoreLostSurfaces(); }

constexpr SubsystemHooks kScreenHooks{.activate = ActivateScreenStep,
                                      .deactivate = DeactivateScreenStep,
                                      .windowMoved = FollowWindowMove,
                                      .restoreLost = RestoreAfterWait,
                                      .reapplyScreenMode = ReapplyScreenMode};

}  // namespace

int ScreenWidth() { return gScreen.width ? gScreen.width : 640; }
int ScreenHeight() { return gScreen.height ? gScreen.height : 480; }
int ScreenDepth() { return gScreen.depth ? gScreen.depth : 16; }

int DisplayExists() { return gScreenState.displayExists; }
int ScreenIsUp() { return gScreenState.surfacesUp; }

int CreateScreenSurfaces() {
    WriteLogString(SJIS("DirectDraw メインサーフェスの作成を行います\n"));
    ScreenState& s = gScreenState;
    // Full screen has a flip chain; here a flip is a copy into the picture,
    // so both modes need the same two surfaces.
    s.front = MakeSurface(0, SJIS("プライマリサーフェスの作成に失敗しました"));
    s.back = MakeSurface(0, SJIS("バックサーフェスの作成に失敗しました"));
    s.destWork = MakeSurface(1, SJIS("作業用サーフェスの作成に失敗しました"), PlatFastRowAlign);
    s.sourceWork = MakeSurface(1, SJIS("作業用サーフェス２の作成に失敗しました"), PlatFastRowAlign);
    PlatSetColorKey(s.destWork, 1, 0);
    PlatSetColorKey(s.sourceWork, 1, 0);
    SetScreenSurface(TargetFront, s.front);
    SetScreenSurface(TargetWork, s.destWork);
    SetScreenSurface(TargetBack, s.back);
    s.surfacesUp = 1;

    WriteLogString(SJIS("各スクリーンメモリの配置位置\n"));
    WriteLogFormat("PrimaryBuffer : %s  ", MemoryName(s.front));
    WriteLogFormat("BaskBuffer : %s  ", MemoryName(s.back));
    WriteLogString(SJIS("DirectDraw メインサーフェスの作成は正常に終了しました\n"));
    return 0;
}

void ReleaseScreenSurfaces() {
    ScreenState& s = gScreenState;
    if (!s.surfacesUp) return;
    WriteLogString(SJIS("メインサーフェスを破棄をします... "));
    PlatReleaseFrame();
    SetScreenSurface(TargetFront, nullptr);
    SetScreenSurface(TargetWork, nullptr);
    SetScreenSurface(TargetBack, nullptr);
    PlatSurface* surfaces[] = {s.front, s.back, s.destWork, s.sourceWork};
    for (PlatSurface* surface : surfaces) {
        if (gDraw.drawSurface == surface) gDraw.drawSurface = nullptr;
        PlatReleaseSurface(surface);
    }
    s.front = s.back = s.destWork = s.sourceWork = nullptr;
    s.surfacesUp = 0;
    WriteLogString(SJIS("完了しました\n"));
}

int InitScreen() {
    if (gScreenState.displayExists) return 0;
    gScreenState = ScreenState{};
    gScreenState.displayExists = 1;
    gScreenState.frameMs = -1;
    gScreenState.vsyncSleepMs = -1;
    SetDisplayDeviceExists(1);
    // Graphs come back from their files after a display loss unless the
    // program installs its own way.
    SetGraphRestoreHandler(nullptr);
    RegisterHooks(HookScreen, &kScreenHooks);
    for (int i = 0; i < 256; ++i)
        for (int j = 0; j < 256; ++j) ProductTable[i][j] = (i * j) >> 8;

    if (ChangeScreenMode(ScreenWidth(), ScreenHeight(), ScreenDepth(), gScreen.refresh, 1) == -1)
        return -1;

    // The window shows black from the start rather than whatever the
    // platform had there.
    SetDrawTarget(TargetBack);
    ClearDrawTarget();
    ShowBackBufferOnce();
    SetDrawTarget(TargetFront);
    StartScreenshots();
    return 0;
}

int EndScreen() {
    if (!gScreenState.displayExists) return 0;
    EndScreenshots();
    RegisterHooks(HookScreen, nullptr);
    FreeAllGraphHandles(0);
    EndGraphicsResources();
    ReleaseScreenSurfaces();
    if (gScreenState.displayObjectMade) {
        WriteLogString(SJIS("ＤｉｒｅｃｔＤｒａｗオブジェクトを解放します\n"));
        WriteLogString(SJIS("ＤｉｒｅｃｔＤｒａｗオブジェクトを解放しました\n"));
    }
    SetDisplayDeviceExists(0);
    gScreenState = ScreenState{};
    gDraw = DrawState{};
    return 0;
}

int RebuildScreen() {
    ScreenState& s = gScreenState;
    if (!s.surfacesUp) return -1;
    PlatSurface* surfaces[] = {s.front, s.back, s.destWork, s.sourceWork};
    for (PlatSurface* surface : surfaces) {
        PlatRestoreSurface(surface);
        PlatFillSurfaceRect(surface, 0, 0, surface->width, surface->height, 0);
    }
    ShowBackBufferOnce();
    RestoreLostSurfaces();
    MarkGraphsForRestore();
    RunHooks(&SubsystemHooks::surfacesRestored);
    return 0;
}

int ScreenSurfacesLost() {
    const ScreenState& s = gScreenState;
    if (!s.surfacesUp) return 0;
    return PlatIsSurfaceLost(s.front) || PlatIsSurfaceLost(s.back) ||
           PlatIsSurfaceLost(s.destWork) || PlatIsSurfaceLost(s.sourceWork);
}
