// Bringing the whole library up and down in its fixed order, and the one way
// out after a fatal error. Every subsystem sits below this file; none of them
// knows the others' start and end.
#include "core/core.h"
#include "draw/screen.h"
#include "graphics/load.h"
#include "input/input.h"
#include "net/http.h"
#include "net/tcp.h"
#include "movie/movie.h"
#include "sound/sound.h"
#include "text/font.h"
#include "tessel.h"
#include "textinput/textinput.h"


namespace {

// Pumps until the window has gone; a library that never made its window has
// nothing to wait for.
void PumpUntilQuit() {
    if (!gCore.windowCreated) return;
    while (!gCore.quit && PumpMessages() == 0) {
    }
}

void RecordLibraryDirectory() {
    if (GetCurrentDirFull(&gCore.settings.libraryDir) != 0) return;
    gCore.settings.libraryDirRecorded = 1;
}

bool RefusesDepth() {
    int width = 0, height = 0, depth = 0;
    PlatDesktopMode(&width, &height, &depth);
    return (depth == 24 && gCore.settings.windowed == 1) || ScreenDepth() == 24;
}

}  // namespace

int InitLibrary() {
    // Whatever fails from here on may end the library through ErrorExit,
    // which sits below every subsystem; the hook stays for a later failure.
    const SubsystemHooks startup{.endLibrary = EndLibrary};
    RegisterHooks(HookStartup, &startup);
    if (PlatWantsWindowed()) gCore.settings.windowed = 1;

    SetFileAccessFunctions(nullptr);
    RecordLibraryDirectory();

    // The platform comes up before the log is opened: a copy that finds
    // another running must add to that copy's log, not wipe it, and which
    // copies count as the same depends on the platform.
    if (!gCore.platformStarted && PlatStart() == 0) gCore.platformStarted = 1;
    OpenLog(PlatTakeInstanceLock("Tessel") == 1);
    if (!gCore.platformStarted) {
        WriteLogString(SJIS("プラットフォームの初期化に失敗しました\n"));
        return -1;
    }
    if (RefusesDepth()) {
        WriteLogString(SJIS("ＴＥＳＳＥＬライブラリは２４ビットカラーモードに対応していません\n"));
        return -1;
    }

    LogSystemInfo();

    // What the window and graphics management need from the layers above
    // them, before the window and the screen are made.
    SetClientSize(ScreenWidth(), ScreenHeight());
    const SubsystemHooks icon{.decodeIcon = DecodeWindowIcon};
    RegisterHooks(HookIcon, &icon);
    InitFontLinks();

    gCore.running = 1;
    if (InitCore() == -1) {
        EndLibrary();
        return -1;
    }
    // The downloads and connections start empty; without networking the
    // rest of the library still works.
    InitHttp();
    InitTcp();
    if (InitInputDevices() == -1) {
        EndLibrary();
        return -1;
    }
    InitSoundDevice();
    if (InitScreen() == -1) {
        EndLibrary();
        return -1;
    }
    InitKeyInputBuffer();
    InitTextInput();
    InitMovies();

    gCore.initialised = 1;
    SetPresentVSync(1);
    // Nothing writes to the on-screen log console, so it never shows; its
    // font is made as the console expects.
    int font = CreateFontToHandle(nullptr, 16, 4, -1, 1, -1, -1);
    gCore.consoleFont = font == -1 ? 0 : font;
    return 0;
}

int EndLibrary() {
    gCore.endRequested = 1;
    if (gCore.consoleFont) {
        ReleaseFontHandle(gCore.consoleFont);
        gCore.consoleFont = 0;
    }
    EndTcp();
    EndHttp();
    StopMusic();
    EndMovies();
    EndScreen();
    EndFontLinks();
    EndInputDevices();
    EndSoundDevice();
    DestroyMainWindow();
    EndTextInput();
    EndCore();
    gCore.initialised = 0;
    PumpUntilQuit();
    RegisterHooks(HookIcon, nullptr);
    if (gCore.settings.libraryDirRecorded)
        GetFileAccessFunctions()->setCurrentDir(gCore.settings.libraryDir.c_str());
    if (gCore.platformStarted) {
        PlatStop();
        gCore.platformStarted = 0;
    }
    PlatReleaseInstanceLocks();
    gCore.running = 0;
    return 0;
}
