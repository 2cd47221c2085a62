// Bringing the library up and down, and the one way out after a fatal error.
#include "core/core.h"

#include "draw/screen.h"
#include "input/input.h"
#include "sound/sound.h"

#include <cstdlib>

CoreState gCore;

namespace {

constexpr const char* kVersion = "0.1.0";

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

// Another running copy counts only when it holds the lock of the same scope.
void CheckDoubleLaunch() {
    WriteLogString(SJIS("ソフトの２重起動検査... "));
    if (PlatTakeInstanceLock("Tessel") != 1) {
        WriteLogString(SJIS("２重起動はされていませんでした\n"));
        return;
    }
    if (gCore.settings.allowDoubleLaunch) {
        WriteLogString(SJIS("２重起動されていますが続行します\n"));
        return;
    }
    WriteLogString(SJIS("２重起動されています、ソフトを終了します\n"));
    PlatPrintError("The program is already running; this second copy ends.");
    PlatStop();
    std::exit(0);
}

}  // namespace

int LibraryRunning() { return gCore.running; }

int InitCom() {
    if (gCore.comStarted) return -1;
    // Nothing to start on this platform; the log keeps its familiar lines.
    WriteLogString(SJIS("ＣＯＭの初期化... "));
    WriteLogString(SJIS("成功しました\n"));
    gCore.comStarted = 1;
    return 0;
}

int EndCom() {
    if (!gCore.comStarted) return -1;
    WriteLogString(SJIS("ＣＯＭを終了... 完了\n"));
    gCore.comStarted = 0;
    return 0;
}

void LogSystemInfo() {
    PlatSystemInfo info{};
    PlatGetSystemInfo(&info);
    WriteLogString(SJIS("システムの情報を出力します\n"));
    LogIndentIn();
    WriteLogFormat(SJIS("ＴＥＳＳＥＬライブラリ Ver%s"), kVersion);
    WriteLogFormat("%s ( Build %d %s )", info.osName, info.osBuild, PlatBackendName());
    // The platform layer stands in for every component the probe looks for.
    WriteLogFormat(SJIS("ＤｉｒｅｃｔＸ　Ver7.0以上"));
    WriteLogFormat(SJIS("ＣＰＵベンダ：%s"), info.cpuVendor);
    WriteLogFormat(SJIS("ＣＰＵ名：%s"), info.cpuName);
    if (!info.hasCpuId) WriteLogString(SJIS("ＣＰＵＩＤ命令は使えません\n"));
    WriteLogString(info.hasMmx ? SJIS("ＭＭＸ命令を使用します\n") : SJIS("ＭＭＸは使えません\n"));
    WriteLogFormat(SJIS("ＣＰＵ動作速度：%dMHz"), info.cpuMhz);
    LogIndentOut();
}

int InitCore() {
    CoreSettings settings = gCore.settings;
    LogState log = gCore.log;
    int platformStarted = gCore.platformStarted;
    int comStarted = gCore.comStarted;
    int running = gCore.running;
    gCore = CoreState{};
    gCore.settings = settings;
    gCore.log = log;
    gCore.platformStarted = platformStarted;
    gCore.comStarted = comStarted;
    gCore.running = running;

    CheckDoubleLaunch();

    PlatSystemInfo info{};
    PlatGetSystemInfo(&info);
    WriteLogFormat(SJIS("メモリ総量:%.2fMB  空きメモリ領域:%.2fMB "), info.totalMemoryMb,
                   info.freeMemoryMb);

    PlatDesktopMode(&gCore.desktopWidth, &gCore.desktopHeight, &gCore.desktopDepth);
    if (CreateMainWindow() != 0) return -1;

    gCore.active = 1;
    if (!gCore.settings.windowed) {
        WriteLogString(SJIS("カーソルを不可視にしました\n"));
        HideCursorNow();
    }
    // There is no input method editor to switch off; the line stays for the log's readers.
    WriteLogString(SJIS("ＩＭＥを無効にしました\n"));
    if (gCore.settings.windowed) PlatClientOrigin(&gCore.clientLeft, &gCore.clientTop);
    gCore.endRequested = 0;

    InitTimer();

    int start = GetTickMs(0);
    while (GetTickMs(0) - start < 200) PumpMessages();

    FitWindowToClient();
    return 0;
}

int InitKeyInputBuffer() {
    WriteLogString(SJIS("文字コードバッファの初期化を行います... "));
    gCore.keyBufferCount = 0;
    const int colours[7][3] = {{255, 255, 255}, {255, 255, 0},  {255, 255, 255}, {0, 255, 255},
                               {255, 255, 255}, {255, 50, 50}, {255, 255, 20}};
    for (int i = 0; i < 7; ++i)
        gCore.inputColours[i] = MakeColor(colours[i][0], colours[i][1], colours[i][2]);
    gCore.cursorBlinkMs = 500;
    WriteLogString(SJIS("完了しました\n"));
    return 0;
}

int InitLibrary() {
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

    gCore.running = 1;
    if (InitCom() == -1 || InitCore() == -1 || InitInputDevices() == -1) {
        EndLibrary();
        return -1;
    }
    InitSoundDevice();
    if (InitScreen() == -1) {
        EndLibrary();
        return -1;
    }
    InitKeyInputBuffer();

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
    StopMusic();
    EndScreen();
    EndInputDevices();
    EndSoundDevice();
    DestroyMainWindow();
    EndCom();
    gCore.initialised = 0;
    PumpUntilQuit();
    if (gCore.settings.libraryDirRecorded)
        GetFileAccessFunctions()->setCurrentDir(gCore.settings.libraryDir.c_str());
    if (gCore.platformStarted) {
        PlatStop();
        gCore.platformStarted = 0;
    }
    gCore.running = 0;
    return 0;
}

void ErrorExit(const char* message) {
    WriteLogString(message);
    WriteLogString("\n");
    EndLibrary();
    WriteLogString(SJIS("ソフトをエラー終了します"));
    std::exit(-1);
}
