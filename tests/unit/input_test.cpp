// Keyboard, mouse and joypads over the headless platform's scripted devices.
#include "core/core.h"
#include "platform/device/backend.h"
#include "input/input.h"
#include "platform/device/headless/headless.h"
#include "platform/device/headless/state.h"
#include "support/harness.h"
#include "tessel.h"

#include <gtest/gtest.h>

#include <array>
#include <climits>
#include <cstring>
#include <string>
#include <utility>
#include <vector>

namespace {

// Virtual milliseconds since the platform started: the time base of scripts.
uint64_t NowMs() { return (HeadlessNowUs() - HeadlessStartUs) / 1000; }

// Runs the virtual clock on to `ms` after the platform start.
void AdvanceTo(uint64_t ms) {
    while (NowMs() < ms) PlatSleepMs(1);
}

// Queues a script event `delayMs` from now; returns its time.
uint64_t QueueIn(uint64_t delayMs, const std::string& event) {
    uint64_t at = NowMs() + delayMs;
    std::string line = std::to_string(at) + " " + event;
    EXPECT_EQ(HeadlessQueueScriptLine(line.c_str()), 0) << line;
    return at;
}

// Tabs after the time stamp of the first log line containing `text`; -1 if
// there is none.
int IndentOf(const std::string& log, const std::string& text) {
    size_t at = log.find(text);
    if (at == std::string::npos) return -1;
    size_t lineStart = log.rfind('\n', at);
    lineStart = lineStart == std::string::npos ? 0 : lineStart + 1;
    size_t colon = log.find(':', lineStart);
    int tabs = 0;
    for (size_t i = colon + 1; i < at && log[i] == '\t'; ++i) ++tabs;
    return tabs;
}

int CountOf(const std::string& text, const std::string& part) {
    int count = 0;
    for (size_t at = text.find(part); at != std::string::npos; at = text.find(part, at + 1))
        ++count;
    return count;
}

class InputTest : public testing::Test {
protected:
    // Starts the library over `script` and lets the events scripted for the
    // first 400 ms happen.
    void Start(const std::string& script, bool windowed = false) {
        UseHeadless(script, windowed);
        ASSERT_EQ(InitLibrary(), 0);
        AdvanceTo(400);
    }

    ScratchDir dir_;
};

TEST_F(InputTest, SnapshotShowsExactlyTheHeldKeys) {
    Start("300 down SPACE\n");
    unsigned char out[256];
    std::memset(out, 0xAA, sizeof out);
    ASSERT_EQ(GetKeyboardSnapshot(out), 0);
    for (int code = 0; code < 256; ++code)
        EXPECT_EQ(out[code], code == KeySpace ? 1 : 0) << "code " << code;
    EXPECT_EQ(IsKeyDown(KeySpace), 1);
    EXPECT_EQ(IsKeyDown(KeyA), 0);

    QueueIn(5, "up SPACE");
    AdvanceTo(NowMs() + 10);
    ASSERT_EQ(GetKeyboardSnapshot(out), 0);
    EXPECT_EQ(out[KeySpace], 0);
    EXPECT_EQ(IsKeyDown(KeySpace), 0);
}

TEST_F(InputTest, KeyHookMessagesReportF10AndF12InTheSnapshotOnly) {
    Start("");
    PlatMessage f10{MsgKeyHookF10, 1, 0};
    PlatPostMessage(&f10);
    PumpMessages();
    unsigned char out[256];
    ASSERT_EQ(GetKeyboardSnapshot(out), 0);
    EXPECT_EQ(out[KeyF10], 1);
    EXPECT_EQ(out[KeyF12], 0);
    // The device itself never saw F10.
    EXPECT_EQ(IsKeyDown(KeyF10), 0);
    EXPECT_EQ(CheckAnyInput(), KeyF10);

    PlatMessage f12{MsgKeyHookF12, 1, 0};
    PlatMessage f10Released{MsgKeyHookF10, 0, 0};
    PlatPostMessage(&f12);
    PlatPostMessage(&f10Released);
    PumpMessages();
    ASSERT_EQ(GetKeyboardSnapshot(out), 0);
    EXPECT_EQ(out[KeyF10], 0);
    EXPECT_EQ(out[KeyF12], 1);
    // F12 does not count as input.
    EXPECT_EQ(CheckAnyInput(), 0);
}

TEST_F(InputTest, KeyHookFlagsTakeOnlyOneAsHeld) {
    Start("");
    for (PlatMessage m : {PlatMessage{MsgKeyHookF10, 2, 0}, PlatMessage{MsgKeyHookF12, 1, 0},
                          PlatMessage{0x471, 1, 0}})
        MainWindowProc(m);
    unsigned char out[256];
    ASSERT_EQ(GetKeyboardSnapshot(out), 0);
    EXPECT_EQ(out[KeyF10], 0);
    EXPECT_EQ(out[KeyF12], 1);
    int held = 0;
    for (int code = 0; code < 256; ++code) held += out[code];
    EXPECT_EQ(held, 1);
}

TEST_F(InputTest, AnyInputSkipsKanjiAndGivesTheLowestCode) {
    Start("300 down KANJI\n");
    EXPECT_EQ(IsKeyDown(KeyKanji), 1);
    EXPECT_EQ(CheckAnyInput(), 0);

    QueueIn(5, "down Z");
    QueueIn(5, "down A");
    AdvanceTo(NowMs() + 10);
    EXPECT_EQ(CheckAnyInput(), KeyA);
}

TEST_F(InputTest, AnyInputFallsBackToPadsThenMouseButtons) {
    Start("300 pad 1 button 0 down\n");
    EXPECT_EQ(CheckAnyInput(), 1);

    QueueIn(5, "pad 1 button 0 up");
    QueueIn(5, "button right down");
    AdvanceTo(NowMs() + 10);
    EXPECT_EQ(GetJoypadState(1), 0);
    EXPECT_EQ(CheckAnyInput(), 1);

    QueueIn(5, "button right up");
    AdvanceTo(NowMs() + 10);
    EXPECT_EQ(CheckAnyInput(), 0);
}

TEST_F(InputTest, WaitForKeyWaitsForReleaseThenPressAndRelease) {
    Start("300 down SPACE\n");
    ASSERT_EQ(IsKeyDown(KeySpace), 1);
    QueueIn(50, "up SPACE");
    QueueIn(100, "down A");
    uint64_t lastRelease = QueueIn(150, "up A");

    WaitForKey();
    EXPECT_GE(NowMs(), lastRelease);
    EXPECT_EQ(IsKeyDown(KeyA), 0);
    EXPECT_EQ(CheckAnyInput(), 0);
}

TEST_F(InputTest, JoypadWordFromTheKeyboard) {
    Start("300 down UP\n300 down Z\n");
    EXPECT_EQ(GetJoypadState(JoypadWithKeyboard), JoypadUp | JoypadButton0);
    // Without the flag, pad 0 names no pad and the keys do not count.
    EXPECT_EQ(GetJoypadState(0), 0);
    EXPECT_EQ(GetJoypadState(10), 0);
    EXPECT_EQ(GetJoypadState(10 | JoypadWithKeyboard), 0);
    EXPECT_EQ(GetJoypadState(-1), 0);

    QueueIn(5, "up UP");
    QueueIn(5, "up Z");
    QueueIn(5, "down NUMPAD2");
    QueueIn(5, "down NUMPAD6");
    QueueIn(5, "down ESCAPE");
    QueueIn(5, "down SPACE");
    AdvanceTo(NowMs() + 10);
    EXPECT_EQ(GetJoypadState(JoypadWithKeyboard),
              JoypadDown | JoypadRight | (JoypadButton0 << 8) | (JoypadButton0 << 9));
}

TEST_F(InputTest, ScriptedPadGivesAxesAndButtons) {
    Start("300 pad 1 button 3 down\n"
          "300 pad 1 axis x 1000\n"
          "300 pad 1 axis y -1000\n"
          "300 pad 1 button 23 down\n"
          "300 pad 1 button 24 down\n"
          "300 down Z\n");
    const int expected = JoypadRight | JoypadUp | (JoypadButton0 << 3) | (JoypadButton0 << 23);
    EXPECT_EQ(GetJoypadState(1), expected);
    EXPECT_EQ(GetJoypadState(1 | JoypadWithKeyboard), expected | JoypadButton0);
    // Only one pad was registered.
    EXPECT_EQ(GetJoypadState(2), 0);

    QueueIn(5, "pad 1 axis x -1000");
    QueueIn(5, "pad 1 axis y 1000");
    QueueIn(5, "pad 1 button 3 up");
    AdvanceTo(NowMs() + 10);
    EXPECT_EQ(GetJoypadState(1), JoypadLeft | JoypadDown | (JoypadButton0 << 23));

    std::string log = ReadLogUtf8();
    EXPECT_EQ(CountOf(log, "入力装置を見つけました"), 1);
    EXPECT_EQ(CountOf(log, "ジョイパッドの追加は正常に終了しました"), 1);
}

TEST_F(InputTest, MousePositionIsRelativeToTheClientArea) {
    Start("300 mouse 0 0\n", true);
    int x = -7;
    int y = -7;
    ASSERT_EQ(GetMousePosition(&x, &y), 0);
    EXPECT_EQ(x, 0);
    EXPECT_EQ(y, 0);

    ASSERT_EQ(SetMousePosition(100, 50), 0);
    ASSERT_EQ(GetMousePosition(&x, &y), 0);
    EXPECT_EQ(x, 100);
    EXPECT_EQ(y, 50);

    // The screen's far edge itself is allowed.
    ASSERT_EQ(SetMousePosition(-5, 100000), 0);
    ASSERT_EQ(GetMousePosition(&x, &y), 0);
    EXPECT_EQ(x, 0);
    EXPECT_EQ(y, 480);
    ASSERT_EQ(SetMousePosition(640, -1), 0);
    ASSERT_EQ(GetMousePosition(&x, &y), 0);
    EXPECT_EQ(x, 640);
    EXPECT_EQ(y, 0);

    // A null pointer leaves its coordinate alone.
    EXPECT_EQ(GetMousePosition(nullptr, nullptr), 0);
    SetMousePosition(20, 30);
    y = -7;
    ASSERT_EQ(GetMousePosition(&x, nullptr), 0);
    EXPECT_EQ(x, 20);
    EXPECT_EQ(y, -7);
    x = -7;
    ASSERT_EQ(GetMousePosition(nullptr, &y), 0);
    EXPECT_EQ(x, -7);
    EXPECT_EQ(y, 30);
}

TEST_F(InputTest, MouseButtonsAsBits) {
    Start("300 button left down\n300 button middle down\n");
    EXPECT_EQ(GetMouseButtons(), 1 | 4);
    QueueIn(5, "button left up");
    QueueIn(5, "button right down");
    AdvanceTo(NowMs() + 10);
    EXPECT_EQ(GetMouseButtons(), 2 | 4);
}

TEST_F(InputTest, SetMouseVisibleTouchesTheCountOnlyOnAChange) {
    Start("");
    ASSERT_EQ(gCore.cursorVisible, 0);
    int before = HeadlessShowCursorCalls();
    ASSERT_EQ(SetMouseVisible(1), 0);
    int afterFirst = HeadlessShowCursorCalls();
    EXPECT_GT(afterFirst, before);
    EXPECT_EQ(gCore.cursorVisible, 1);
    // Shown means a display count of 0 or more.
    int count = PlatShowCursor(0);
    EXPECT_EQ(count, -1);
    PlatShowCursor(1);
    afterFirst = HeadlessShowCursorCalls();

    ASSERT_EQ(SetMouseVisible(1), 0);
    EXPECT_EQ(HeadlessShowCursorCalls(), afterFirst);

    ASSERT_EQ(SetMouseVisible(0), 0);
    EXPECT_GT(HeadlessShowCursorCalls(), afterFirst);
    EXPECT_EQ(gCore.cursorVisible, 0);
    EXPECT_LT(PlatShowCursor(0), -1);
}

TEST_F(InputTest, WithoutAKeyboardDeviceTheSystemKeysAreTranslated) {
    Start("300 down RETURN\n300 down LSHIFT\n");
    // Once the library has asked its window to close, closed devices stay closed.
    EndInputDevices();
    gCore.closing = 1;
    unsigned char out[256];
    ASSERT_EQ(GetKeyboardSnapshot(out), 0);
    EXPECT_EQ(out[KeyReturn], 1);
    EXPECT_EQ(out[KeyNumpadEnter], 1);
    EXPECT_EQ(out[KeyLShift], 1);
    EXPECT_EQ(out[KeyRShift], 0);
    int held = 0;
    for (int code = 0; code < 256; ++code) held += out[code];
    EXPECT_EQ(held, 3);
    EXPECT_EQ(gInput.open, 0);
    EXPECT_EQ(CountOf(ReadLogUtf8(), "DirectInput関係初期化処理"), 1);
    gCore.closing = 0;
}

TEST_F(InputTest, KeyCodesOutsideTheTableReadAsUp) {
    Start("300 down SPACE\n300 down APPS\n");
    EXPECT_EQ(IsKeyDown(KeySpace), 1);
    EXPECT_EQ(IsKeyDown(KeyApps), 1);
    EXPECT_EQ(IsKeyDown(-1), 0);
    EXPECT_EQ(IsKeyDown(256), 0);
    EXPECT_EQ(IsKeyDown(INT_MIN), 0);
    EXPECT_EQ(IsKeyDown(INT_MAX), 0);
}

TEST_F(InputTest, ALostKeyboardIsAcquiredAgain) {
    Start("");
    EXPECT_EQ(IsKeyDown(KeySpace), 0);
    HeadlessMarkKeyboardLost();
    QueueIn(5, "down SPACE");
    AdvanceTo(NowMs() + 10);
    EXPECT_EQ(IsKeyDown(KeySpace), 1);
    QueueIn(5, "up SPACE");
    AdvanceTo(NowMs() + 10);
    EXPECT_EQ(IsKeyDown(KeySpace), 0);
}

// Devices given up (a full-screen focus loss, a lost display) reopen on the
// next query, which still answers: success always means the outputs were
// written.
TEST_F(InputTest, ClosedDevicesReopenOnTheNextQueryWhichStillAnswers) {
    Start("300 down SPACE\n");
    EXPECT_NE(gCore.hooks.slots[HookInput].deactivate, nullptr);
    ASSERT_EQ(EndInputDevices(), 0);
    EXPECT_EQ(gCore.hooks.slots[HookInput].deactivate, nullptr);

    unsigned char out[256];
    std::memset(out, 0xAA, sizeof out);
    EXPECT_EQ(GetKeyboardSnapshot(out), 0);
    for (int code = 0; code < 256; ++code) ASSERT_LE(out[code], 1) << "entry " << code;
    EXPECT_NE(gCore.hooks.slots[HookInput].deactivate, nullptr);

    AdvanceTo(NowMs() + 5);
    ASSERT_EQ(GetKeyboardSnapshot(out), 0);
    EXPECT_EQ(out[KeySpace], 1);
    EXPECT_EQ(CountOf(ReadLogUtf8(), "DirectInput関係初期化処理"), 2);
    EXPECT_EQ(CountOf(ReadLogUtf8(), "DirectInput 関連の終了処理... 完了"), 1);

    ASSERT_EQ(EndInputDevices(), 0);
    int x = INT_MIN, y = INT_MIN;
    EXPECT_EQ(GetMousePosition(&x, &y), 0);
    EXPECT_EQ(x, 320) << "the pointer rests mid-screen";
    EXPECT_EQ(y, 240);
}

TEST_F(InputTest, PumpDrainsTheKeyboardBuffer) {
    Start("");
    PumpMessages();
    // More events than one batch of the drain takes.
    for (int key = 1; key <= 6; ++key) {
        QueueIn(5, "down " + std::to_string(key));
        QueueIn(5, "up " + std::to_string(key));
    }
    AdvanceTo(NowMs() + 10);
    ASSERT_GT(PlatPendingKeyEvents(), 5);
    PumpMessages();
    EXPECT_EQ(PlatPendingKeyEvents(), 0);
}

TEST_F(InputTest, SetUpIsLoggedOneLevelDeeper) {
    Start("");
    ASSERT_EQ(EndLibrary(), 0);
    std::string log = ReadLogUtf8();
    int outer = IndentOf(log, "DirectInput関係初期化処理\n");
    ASSERT_GE(outer, 0);
    EXPECT_EQ(IndentOf(log, "DirectInputオブジェクトの取得中... 成功\n"), outer + 1);
    EXPECT_EQ(IndentOf(log, "引き続き初期化処理... 初期化成功\n"), outer + 1);
    EXPECT_EQ(IndentOf(log, "キーボードデバイスの初期化... 初期化成功\n"), outer + 1);
    EXPECT_EQ(IndentOf(log, "DirectInput 関連の初期化は正常に終了しました\n"), outer);
    EXPECT_EQ(CountOf(log, "DirectInput 関連の終了処理... 完了\n"), 1);
}

TEST_F(InputTest, MissingKeyboardEndsTheProgram) {
    UseHeadless("");
    EXPECT_EXIT(
        {
            HeadlessSetKeyboardMissing(1);
            InitLibrary();
        },
        testing::ExitedWithCode(255), "");
    std::string log = ReadLogUtf8();
    EXPECT_NE(log.find("キーボードデバイスの初期化... キーボードデバイスの取得に失敗しました\n"),
              std::string::npos);
    EXPECT_NE(log.find("ソフトをエラー終了します"), std::string::npos);
}

using Events = std::vector<std::array<int, 3>>;  // kind, code, down

Events TakeAll() {
    Events events;
    for (int k, c, d; GetInputEvent(&k, &c, &d) == 1;) events.push_back({k, c, d});
    return events;
}

// Taps inside one frame, the system's repeats, buttons and pads: every change
// once, in order, only after the pump, with the edges and the wheel agreeing.
TEST_F(InputTest, EveryChangeIsQueuedOnceInOrderAndTheEdgesAgree) {
    Start("200 pad 1 button 0 up\n500 down SPACE\n500 up SPACE\n500 button left down\n"
          "500 button left up\n505 pad 1 button 2 down\n510 down A\n520 down A\n540 up A\n"
          "540 button right down\n540 button right down\n540 pad 1 button 2 down\n"
          "550 wheel 0 2\n560 wheel 3 -3\n");
    PumpMessages();
    AdvanceTo(600);
    int x = 9, y = 9;
    EXPECT_TRUE(TakeAll().empty());
    EXPECT_EQ(WasKeyPressed(KeySpace), 0);
    EXPECT_EQ(GetMouseWheel(&x, &y) + x + y, 0);
    PumpMessages();
    EXPECT_EQ(TakeAll(), (Events{{InputKey, KeySpace, 1}, {InputKey, KeySpace, 0},
                                 {InputMouseButton, 1, 1}, {InputMouseButton, 1, 0},
                                 {InputPadButton, 34, 1}, {InputKey, KeyA, 1},
                                 {InputKey, KeyA, 0}, {InputMouseButton, 2, 1}}));
    for (int key : {KeySpace, KeyA}) EXPECT_EQ(WasKeyPressed(key) + WasKeyReleased(key), 2);
    EXPECT_EQ(WasKeyPressed(KeyZ), 0);
    EXPECT_EQ(WasMouseButtonPressed(2 | 4), 1);
    EXPECT_EQ(WasMouseButtonPressed(4), 0);
    ASSERT_EQ(GetMouseWheel(&x, &y), 0);
    EXPECT_EQ(std::make_pair(x, y), std::make_pair(3, -1));
    PumpMessages();
    EXPECT_TRUE(TakeAll().empty());
    EXPECT_EQ(WasKeyPressed(KeySpace) + WasKeyReleased(KeyA) + WasMouseButtonPressed(7), 0);
    EXPECT_EQ(GetMouseWheel(&x, &y) + x + y, 0);
    // Bad arguments change nothing.
    EXPECT_EQ(GetInputEvent(nullptr, &x, &y), -1);
    EXPECT_EQ(GetMouseWheel(nullptr, &y), -1);
    for (int bad : {-1, 256}) EXPECT_EQ(WasKeyPressed(bad) + WasKeyReleased(bad), -2);
    for (int bad : {0, -1, 8, 9}) EXPECT_EQ(WasMouseButtonPressed(bad), -1);
}

// ChangeWindowMode pumps inside: what that brings is the program's next edge.
TEST_F(InputTest, EdgesALibraryPumpBringsWaitForTheProgramsPump) {
    Start("");
    QueueIn(1, "down SPACE");
    AdvanceTo(NowMs() + 2);
    ASSERT_EQ(ChangeWindowMode(1), 0);
    EXPECT_EQ(WasKeyPressed(KeySpace), 0);
    PumpMessages();
    EXPECT_EQ(WasKeyPressed(KeySpace), 1);
}

TEST_F(InputTest, AFullQueueDropsTheOldestAndCountsThem) {
    Start("");
    for (int i = 0; i < 600; ++i)  // 0x10..0x17 down and up in turn, in one interval
        QueueIn(5, (i % 2 ? "up 0x1" : "down 0x1") + std::to_string(i / 2 % 8));
    AdvanceTo(NowMs() + 10);
    PumpMessages();
    Events events = TakeAll();
    ASSERT_EQ(events.size(), 512u);
    EXPECT_EQ(GetLostInputEventCount(), 88);
    EXPECT_EQ(events.front(), (std::array<int, 3>{InputKey, 0x14, 1}));
    EXPECT_EQ(events.back(), (std::array<int, 3>{InputKey, 0x13, 0}));
    QueueIn(5, "down SPACE");
    AdvanceTo(NowMs() + 10);
    EXPECT_EQ(ClearInputEvents(), 0);  // before the pump: the press goes too
    PumpMessages();
    EXPECT_TRUE(TakeAll().empty());
    EXPECT_EQ(GetLostInputEventCount(), 0);
}

}  // namespace
