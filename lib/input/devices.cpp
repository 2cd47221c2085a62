// Opening and closing the input devices, the lazy reopening every query
// starts with, and the services the window procedure and the pump call.
#include "input/input.h"

#include "core/core.h"

InputState gInput;

namespace {

// Axis range and dead zone (in 1/10000 of the range) every pad is set to.
constexpr int kAxisMin = -1000;
constexpr int kAxisMax = 1000;
constexpr int kDeadZone = 2500;

const char* JoypadFailureText(JoypadOpenResult result) {
    switch (result) {
    case JoypadNoDevice: return SJIS("入力装置の取得に失敗しました\n");
    case JoypadBadFormat:
        return SJIS("ジョイパッドデバイスではありませんでした、又は設定に失敗しました\n");
    case JoypadBadCooperation: return SJIS("ジョイパッドデバイスの協調レベルの設定に失敗しました\n");
    case JoypadBadRangeX: return SJIS("ジョイパッドデバイスのＸ軸関係の設定に失敗しました\n");
    case JoypadBadRangeY: return SJIS("ジョイパッドデバイスのＹ軸関係の設定に失敗しました\n");
    case JoypadBadDeadZoneX:
        return SJIS("ジョイパッドデバイスのＸ軸の無効ゾーンの設定に失敗しました\n");
    case JoypadBadDeadZoneY:
        return SJIS("ジョイパッドデバイスのＹ軸の無効ゾーンの設定に失敗しました\n");
    case JoypadBadEvent: return SJIS("ジョイパッドイベントのセットアップが失敗しました\n");
    case JoypadOpened: break;
    }
    return "";
}

// Registers one enumerated device as a pad, unless one of its set-up steps
// fails; such a pad is simply left out.
void AddJoypad(int device) {
    WriteLogString(SJIS("入力装置を見つけました\n"));
    JoypadInfo info{};
    JoypadOpenResult result = PlatJoypadOpen(device, kAxisMin, kAxisMax, kDeadZone, &info);
    if (result != JoypadNoDevice) {
        WriteLogFormat(SJIS("デバイスの登録名:%s"), ToCp932(info.instanceName).c_str());
        WriteLogFormat(SJIS("デバイスの製品登録名:%s"), ToCp932(info.productName).c_str());
    }
    if (result != JoypadOpened) {
        WriteLogString(JoypadFailureText(result));
        return;
    }
    // A pad that cannot be acquired yet is acquired again on its first failed read.
    PlatJoypadAcquire(device);
    JoypadEntry& entry = gInput.joypads[gInput.joypadCount];
    entry = JoypadEntry{};
    entry.device = device;
    ++gInput.joypadCount;
    WriteLogString(SJIS("ジョイパッドの追加は正常に終了しました\n"));
}

void OpenJoypads() {
    WriteLogString(SJIS("ジョイパッドの初期化... \n"));
    LogIndentIn();
    gInput.joypadCount = 0;
    int available = PlatJoypadCount();
    for (int device = 0; device < available && gInput.joypadCount < MaxJoypads; ++device)
        AddJoypad(device);
    LogIndentOut();
    WriteLogString(SJIS("ジョイパッドの初期化は正常に終了しました\n"));
}

// Without the keyboard the library cannot run: every failure here ends the
// program through ErrorExit.
[[noreturn]] void KeyboardFatal(const char* message) {
    gInput.open = 0;
    LogIndentOut();
    ErrorExit(message);
}

void OpenKeyboard() {
    WriteLogString(SJIS("キーボードデバイスの初期化... "));
    if (PlatKeyboardOpen() != 0) KeyboardFatal(SJIS("キーボードデバイスの取得に失敗しました"));
    gInput.keyboardOpen = 1;
    if (PlatKeyboardAcquire() != 0 && PlatKeyboardAcquire() != 0) {
        PlatKeyboardClose();
        gInput.keyboardOpen = 0;
        KeyboardFatal(SJIS("キーボードデバイスの取得に失敗しました"));
    }
}

// A full screen given up on deactivation takes the devices with it; they
// reopen on the next query after the screen is back.
void ReleaseWithLostScreen() {
    if (!gCore.settings.windowed && gCore.lost) EndInputDevices();
}

// While the devices are closed for a display change, the events the
// platform still reports keep reaching the queue.
const SubsystemHooks kClosedHooks{.pump = TakeInputEvents};

}  // namespace

int InitInputDevices() {
    if (gInput.open) return 0;
    gInput = InputState{};
    gCore.f10Held = gCore.f12Held = 0;

    WriteLogString(SJIS("DirectInput関係初期化処理\n"));
    LogIndentIn();
    // The platform's input services need no object of their own: creating
    // and initialising it cannot fail.
    WriteLogString(SJIS("DirectInputオブジェクトの取得中... "));
    WriteLogString(SJIS("成功\n"));
    WriteLogString(SJIS("引き続き初期化処理... "));
    gInput.open = 1;
    WriteLogString(SJIS("初期化成功\n"));

    // Devices only report to the window that is in front; one pass of the
    // pump lets it come forward first.
    PumpWithinFrame();

    OpenJoypads();
    OpenKeyboard();

    gInput.keyboardReadTime = PlatTicksMs();
    const SubsystemHooks hooks{.pump = InputPumpService, .deactivate = ReleaseWithLostScreen};
    RegisterHooks(HookInput, &hooks);
    WriteLogString(SJIS("初期化成功\n"));
    LogIndentOut();
    WriteLogString(SJIS("DirectInput 関連の初期化は正常に終了しました\n"));
    return 0;
}

int EndInputDevices() {
    if (gCore.endRequested) {
        RegisterHooks(HookInput, nullptr);
        ResetInputEvents();
    }
    if (!gInput.open) return 0;
    WriteLogString(SJIS("DirectInput 関連の終了処理... 完了\n"));
    // The pad count stays: it is cleared when the devices are opened again.
    for (int slot = 0; slot < gInput.joypadCount; ++slot)
        PlatJoypadClose(gInput.joypads[slot].device);
    if (gInput.keyboardOpen) {
        PlatKeyboardClose();
        gInput.keyboardOpen = 0;
    }
    RegisterHooks(HookInput, gCore.endRequested ? nullptr : &kClosedHooks);
    gInput.open = 0;
    return 0;
}

bool InputUnavailable() {
    WaitWhileInactive();
    if (gInput.open || gCore.closing != 0 || gCore.endRequested != 0) return false;
    return InitInputDevices() != 0;
}
