// The core's own start: its state record, the start-up checks, the window
// and the system information in the log.
#include "core/core.h"

#include <cstdlib>

CoreState gCore;

namespace {

constexpr const char* kVersion = "0.1.0";

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

void ErrorExit(const char* message) {
    WriteLogString(message);
    WriteLogString("\n");
    if (auto endLibrary = FirstHook(&SubsystemHooks::endLibrary)) endLibrary();
    WriteLogString(SJIS("ソフトをエラー終了します"));
    std::exit(-1);
}

void EndCore() {
    if (!gCore.coreStarted) return;
    WriteLogString(SJIS("ＣＯＭを終了... 完了\n"));
    gCore.coreStarted = 0;
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
    if (gCore.coreStarted) return -1;
    // There is no COM to start on this platform; the log keeps the lines
    // its readers know, here and at EndCore.
    WriteLogString(SJIS("ＣＯＭの初期化... "));
    WriteLogString(SJIS("成功しました\n"));
    CoreSettings settings = gCore.settings;
    LogState log = gCore.log;
    int platformStarted = gCore.platformStarted;
    int running = gCore.running;
    HookTable hooks = gCore.hooks;
    gCore = CoreState{};
    gCore.hooks = hooks;
    gCore.settings = settings;
    gCore.log = log;
    gCore.platformStarted = platformStarted;
    gCore.coreStarted = 1;
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
    while (GetTickMs(0) - start < 200) PumpWithinFrame();

    FitWindowToClient();
    return 0;
}
