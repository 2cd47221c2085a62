// The main window: creation, its messages, the pump and mode switches.
#include "core/core.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>

namespace {

constexpr int kMaxMessagesPerPump = 5;
// Paused, the pump sleeps on the message queue for at most this long before
// it gives the background services another turn.
constexpr uint32_t kPausedWaitMs = 100;

uint32_t LowWord(uintptr_t value) { return static_cast<uint32_t>(value & 0xFFFF); }

bool Paused() { return !gCore.active && !gCore.settings.runInBackground; }

void Post(uint32_t message, uintptr_t wParam = 0, intptr_t lParam = 0) {
    PlatMessage m{message, wParam, lParam};
    PlatPostMessage(&m);
}

std::string WindowTitleUtf8() {
    const char* title = gCore.settings.title[0] ? gCore.settings.title : "Tessel";
    return PlatProgramTextToUtf8(title, std::char_traits<char>::length(title));
}

void UpdateClientOrigin() { PlatClientOrigin(&gCore.clientLeft, &gCore.clientTop); }

int ClientWidth() { return gCore.settings.clientWidth; }
int ClientHeight() { return gCore.settings.clientHeight; }

int ApplyWindowIcon() {
    const char* file = gCore.settings.iconFile;
    auto decodeIcon = FirstHook(&SubsystemHooks::decodeIcon);
    if (!file[0] || !decodeIcon) return 0;
    uint32_t* pixels = nullptr;
    int width = 0, height = 0;
    if (decodeIcon(file, &pixels, &width, &height) != 0) {
        LogFailureFormat(SJIS("アイコンファイル %s の読み込みに失敗しました"), file);
        return -1;
    }
    PlatSetWindowIcon(pixels, width, height);
    std::free(pixels);
    return 0;
}

void SetWindowModeFlag(int windowed) {
    gCore.settings.windowed = windowed;
    WriteLogString(windowed ? SJIS("ウインドウモードフラグが立てられました\n")
                            : SJIS("ウインドウモードフラグが倒されました\n"));
}

void ApplyWindowStyle() {
    const CoreSettings& s = gCore.settings;
    if (s.windowed) {
        WriteLogString(SJIS("ウインドウスタイルをウインドウモード用に変更します... "));
        PlatSetWindowMode(1, ClientWidth(), ClientHeight(), s.hasPosition, s.positionX,
                          s.positionY);
        UpdateClientOrigin();
        ShowMainCursor(1);
    } else {
        WriteLogString(SJIS("ウインドウスタイルをフルスクリーンモード用に変更します... "));
        PlatSetWindowMode(0, ClientWidth(), ClientHeight(), 0, 0, 0);
        gCore.clientLeft = 0;
        gCore.clientTop = 0;
        ShowMainCursor(0);
    }
    WriteLogString(SJIS("完了\n"));
}

void HandleDestroy() {
    WriteLogString(SJIS("ウインドウが破棄されようとしています\n"));
    gCore.destroyed = 1;
    WriteLogString(SJIS("ソフトを終了する準備が整いました\n"));
    Post(MsgQuit);
    gCore.quit = 1;
}

void HandleClose() {
    WriteLogString(SJIS("ウインドウを閉じようとしています\n"));
    // A device context on the window goes with it: whatever draws through
    // one lets go of it first.
    RunHooks(&SubsystemHooks::windowClosing);
    PlatDestroyWindow();
    HandleDestroy();
    if (gCore.endRequested == 0) gCore.endRequested = 4;
}

}  // namespace

void PostCloseRequest() {
    if (gCore.closing) return;
    gCore.closing = 1;
    Post(MsgClose);
}

void RegisterHooks(HookSlot slot, const SubsystemHooks* hooks) {
    gCore.hooks.slots[slot] = hooks ? *hooks : SubsystemHooks{};
}

void SetClientSize(int width, int height) {
    gCore.settings.clientWidth = width;
    gCore.settings.clientHeight = height;
}

void HideCursorNow() {
    while (PlatShowCursor(0) >= 0) {
    }
}

void ShowMainCursor(int visible) {
    if (gCore.cursorVisible == visible) return;
    gCore.cursorVisible = visible;
    if (visible) {
        while (PlatShowCursor(1) < 0) {
        }
    } else {
        HideCursorNow();
    }
    Post(MsgSetCursor);
}

int CreateMainWindow() {
    WriteLogString(SJIS("ウインドウクラスを登録します... "));
    WriteLogString(SJIS("登録に成功しました\n"));
    const CoreSettings& s = gCore.settings;
    WriteLogString(s.windowed ? SJIS("ウインドウモード起動用のウインドウを作成します\n")
                              : SJIS("フルスクリーンモード用のウインドウを作成します\n"));
    std::string title = WindowTitleUtf8();
    PlatWindowDesc desc{title.c_str(), ClientWidth(), ClientHeight(), s.windowed,
                        s.windowed && s.hasPosition, s.positionX, s.positionY};
    if (PlatCreateWindow(&desc) != 0) {
        WriteLogString(SJIS("ウインドウの作成に失敗しました\n"));
        return -1;
    }
    gCore.windowCreated = 1;
    ApplyWindowIcon();
    return 0;
}

void FitWindowToClient() {
    if (!gCore.settings.windowed || gCore.fitted) return;
    gCore.fitted = 1;
    ApplyWindowStyle();
}

intptr_t MainWindowProc(const PlatMessage& m) {
    if (gCore.settings.hook && gCore.settings.hook(m.message, m.wParam, m.lParam) != 0) return 0;
    if (HandleKeyInputMessage(m)) return 0;
    switch (m.message) {
    case MsgDestroy: HandleDestroy(); break;
    case MsgMove:
        if (gCore.settings.windowed && !gCore.changingMode) {
            UpdateClientOrigin();
            RunHooks(&SubsystemHooks::windowMoved);
        }
        break;
    case MsgSize:
        if (m.wParam != 2) {
            FitWindowToClient();
        } else if (gCore.settings.windowed && gCore.settings.toggleAllowed &&
                   !gCore.changingMode) {
            gCore.togglePending = 1;
        }
        break;
    case MsgActivate:
        gCore.active = LowWord(m.wParam) != 0;
        RunHooks(gCore.active ? &SubsystemHooks::activate : &SubsystemHooks::deactivate);
        break;
    case MsgClose: HandleClose(); break;
    case MsgSetCursor:
    case MsgMouseMove:
    case MsgLButtonDown:
    case MsgLButtonUp:
    case MsgRButtonDown:
    case MsgRButtonUp:
    case MsgMButtonDown:
    case MsgMButtonUp:
        if (!gCore.cursorVisible) HideCursorNow();
        break;
    case MsgDisplayChange: gCore.displayChanged = 1; break;
    case MsgSysChar:
        if (m.wParam == '\r' && gCore.settings.toggleAllowed) {
            gCore.togglePending = 1;
            return 0;
        }
        break;
    case MsgSysCommand:
        if ((m.wParam & 0xFFF0) == SysCommandScreenSave) return 1;
        gCore.f10Held = 0;
        break;
    case MsgKeyHookF10: gCore.f10Held = m.wParam == 1; break;
    case MsgKeyHookF12: gCore.f12Held = m.wParam == 1; break;
    case MsgMouseWheel:
        gCore.wheelTotal += static_cast<int16_t>((m.wParam >> 16) & 0xFFFF) > 0 ? 1 : -1;
        break;
    default: break;
    }
    return 0;
}

int PumpMessages() {
    if (!LibraryRunning()) return -1;
    // Before the window exists there is nothing to pump or to pause for.
    if (!gCore.windowCreated) return gCore.quit ? -1 : 0;

    if (gCore.togglePending == 1 && gCore.settings.toggleAllowed) {
        gCore.togglePending = 0;
        ChangeWindowMode(!gCore.settings.windowed);
        if (gCore.settings.toggleCallback) gCore.settings.toggleCallback(gCore.settings.toggleData);
    }

    int dispatched = 0;
    int pass = 0;
    bool quitSeen = false;
    // A program that pumps again before the clock has moved only spins; the
    // platform lets it sleep until the clock ticks.
    if (!Paused()) PlatIdle();
    while (((!gCore.closing && Paused()) || (pass == 0 && !gCore.quit)) && !quitSeen) {
        pass = 1;
        if (Paused()) PlatWaitMessage(kPausedWaitMs);
        PlatMessage m;
        while (PlatTakeMessage(&m)) {
            if (m.message == MsgActivateApp) gCore.active = LowWord(m.wParam) != 0;
            if (gCore.quit) {
                quitSeen = true;
                break;
            }
            if (m.message == MsgQuit) gCore.quit = 1;
            MainWindowProc(m);
            // The fifth message ends this call's pumping; the rest wait.
            if (++dispatched == kMaxMessagesPerPump) {
                pass = 1;
                break;
            }
            pass = 0;
        }
        if (quitSeen) break;
        if (!gCore.active) {
            RunHooks(&SubsystemHooks::inactivePump);
            // Paused, the wait on the queue above is the sleep.
            if (!Paused()) PlatSleepMs(1);
        }
        if (gCore.quit) break;
    }

    RunHooks(&SubsystemHooks::pump);
    return gCore.quit ? -1 : 0;
}

int PumpWithinFrame() {
    ++gCore.innerPumps;
    int result = PumpMessages();
    --gCore.innerPumps;
    return result;
}

int WaitWhileInactive() {
    // Without a window nothing could ever make the program active again.
    if (gCore.active || !gCore.windowCreated) return 0;
    if (gCore.settings.windowed && gCore.settings.runInBackground) return 0;
    while (!gCore.active && PumpWithinFrame() == 0) {
    }
    RunHooks(&SubsystemHooks::restoreLost);
    return 0;
}

int IsWindowActive() { return LibraryRunning() && gCore.active ? 1 : 0; }

int ChangeWindowMode(int windowed) {
    windowed = windowed ? 1 : 0;
    WriteLogString(SJIS("ChangeWindowMode実行 \n"));
    if (gCore.settings.windowed == windowed) return 0;
    gCore.fitted = 0;
    SetWindowModeFlag(windowed);
    if (!gCore.windowCreated || gCore.destroyed) return 0;

    gCore.changingMode = 1;
    gCore.displayChanged = 0;
    ApplyWindowStyle();
    auto reapplyScreenMode = FirstHook(&SubsystemHooks::reapplyScreenMode);
    int result = reapplyScreenMode ? reapplyScreenMode() : 0;
    // The platform changes no display mode, so it sends no notice of one;
    // the library posts its own so the wait below ends as it would.
    Post(MsgDisplayChange);
    while (PumpWithinFrame() == 0 && !gCore.displayChanged) {
    }
    gCore.changingMode = 0;
    FitWindowToClient();
    return result;
}

void DestroyMainWindow() {
    if (!gCore.windowCreated || gCore.destroyed) return;
    PostCloseRequest();
    while (PumpMessages() == 0) {
    }
}

// Settings a program may make before InitLibrary.

int SetWindowTitle(const char* title) {
    char* kept = gCore.settings.title;
    std::snprintf(kept, sizeof gCore.settings.title, "%s", title ? title : "");
    // A title cut to fit ends on a whole character.
    kept[WholeCharactersLength(CurrentStringEncoding(), kept, std::strlen(kept))] = '\0';
    return 0;
}

int SetWindowIcon(const char* fileName) {
    std::snprintf(gCore.settings.iconFile, sizeof gCore.settings.iconFile, "%s",
                  fileName ? fileName : "");
    if (!gCore.windowCreated || gCore.destroyed) return 0;
    return ApplyWindowIcon();
}

int SetWindowStyleType(int type) {
    if (type < 0 || type > 4) return -1;
    gCore.settings.styleType = type;
    return 0;
}

int SetWindowPosition(int x, int y) {
    gCore.settings.hasPosition = 1;
    gCore.settings.positionX = x;
    gCore.settings.positionY = y;
    return 0;
}

int SetRunInBackground(int flag) {
    gCore.settings.runInBackground = flag ? 1 : 0;
    return 0;
}

int SetAllowDoubleLaunch(int flag) {
    gCore.settings.allowDoubleLaunch = flag ? 1 : 0;
    return 0;
}

int SetWindowModeToggle(int allowed, void (*callback)(void* data), void* data) {
    gCore.settings.toggleAllowed = allowed ? 1 : 0;
    gCore.settings.toggleCallback = callback;
    gCore.settings.toggleData = data;
    return 0;
}

int SetWindowProcHook(WindowProcHook hook) {
    gCore.settings.hook = hook;
    return 0;
}
