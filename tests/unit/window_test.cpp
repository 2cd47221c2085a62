// The library's start and end, its window messages and the pump, on the
// headless platform.
#include "core/core.h"
#include "platform/headless/headless.h"
#include "support/harness.h"
#include "support/image_files.h"
#include "tessel.h"

#include <gtest/gtest.h>

#include <vector>

namespace {

std::vector<uint32_t> gSeen;  // messages the hook saw, in order

int RecordMessage(uint32_t message, uintptr_t, intptr_t) {
    gSeen.push_back(message);
    return 0;
}

int CountOf(uint32_t message) {
    int n = 0;
    for (uint32_t m : gSeen) n += m == message;
    return n;
}

class WindowTest : public ::testing::Test {
protected:
    ScratchDir dir;
    void SetUp() override { gSeen.clear(); }
};

TEST_F(WindowTest, APumpDispatchesAtMostFiveMessages) {
    UseHeadless();
    ASSERT_EQ(InitLibrary(), 0);
    SetWindowProcHook(RecordMessage);
    for (int i = 0; i < 7; ++i) {
        PlatMessage m{MsgPaint, 0, 0};
        PlatPostMessage(&m);
    }
    EXPECT_EQ(PumpMessages(), 0);
    EXPECT_EQ(CountOf(MsgPaint), 5);
    EXPECT_EQ(PumpMessages(), 0);
    EXPECT_EQ(CountOf(MsgPaint), 7);
    EndLibrary();
}

TEST_F(WindowTest, AnInactiveWindowPausesThePumpUntilItIsActiveAgain) {
    UseHeadless("1000 focus 0\n1500 focus 1\n");
    ASSERT_EQ(InitLibrary(), 0);
    int start = GetTickMs(0);
    // Pump through the deactivation; the call that sees it must not return
    // before the window is active again, half a second of clock later.
    while (gCore.active && GetTickMs(0) - start < 2000) ASSERT_EQ(PumpMessages(), 0);
    ASSERT_EQ(gCore.active, 1) << "the pump returned while the window was inactive";
    EXPECT_GE(HeadlessNowUs() / 1000, 100000u + 1500u);
    EndLibrary();
}

TEST_F(WindowTest, AWaitThatMeetsAnInactiveWindowContinuesAfterReactivation) {
    UseHeadless("1000 focus 0\n3000 focus 1\n");
    ASSERT_EQ(InitLibrary(), 0);
    int start = GetTickMs(0);
    EXPECT_EQ(WaitMs(1500), 0);
    // The wait began before 1000 ms and was paused until 3000 ms.
    EXPECT_GE(GetTickMs(0) - start, 1500);
    EXPECT_GE(HeadlessNowUs() / 1000, 100000u + 3000u);
    EXPECT_EQ(gCore.active, 1);
    EndLibrary();
}

TEST_F(WindowTest, ClosingDuringTheStartUpPumpStillFinishesInitialisation) {
    UseHeadless("50 close\n");
    ASSERT_EQ(InitLibrary(), 0);
    EXPECT_EQ(gCore.initialised, 1);
    EXPECT_EQ(PumpMessages(), -1);
    EXPECT_EQ(PumpMessages(), -1) << "quit must stay set";
    EXPECT_EQ(EndLibrary(), 0);
}

TEST_F(WindowTest, ClosingTheWindowLogsTheShutDownAndQuits) {
    UseHeadless("1000 close\n");
    ASSERT_EQ(InitLibrary(), 0);
    while (PumpMessages() == 0) {
    }
    EXPECT_EQ(gCore.destroyed, 1);
    EXPECT_EQ(gCore.endRequested, 4);
    EndLibrary();
    std::string log = ReadLogUtf8();
    size_t closing = log.find("ウインドウを閉じようとしています");
    size_t destroyed = log.find("ウインドウが破棄されようとしています");
    size_t ready = log.find("ソフトを終了する準備が整いました");
    ASSERT_NE(closing, std::string::npos);
    ASSERT_NE(destroyed, std::string::npos);
    ASSERT_NE(ready, std::string::npos);
    EXPECT_LT(closing, destroyed);
    EXPECT_LT(destroyed, ready);
}

TEST_F(WindowTest, TwentyFourBitScreensAreRefusedWithNothingToEnd) {
    UseHeadless();
    SetScreenMode(640, 480, 24, -1);
    EXPECT_EQ(InitLibrary(), -1);
    EXPECT_EQ(gCore.windowCreated, 0);
    EXPECT_EQ(EndLibrary(), 0);
    EXPECT_NE(ReadLogUtf8().find("ＴＥＳＳＥＬライブラリは２４ビットカラーモードに対応していません"),
              std::string::npos);
}

TEST_F(WindowTest, AFailedStartCanBeEndedSafely) {
    UseHeadless("100 no-such-verb\n");
    EXPECT_EQ(InitLibrary(), -1);
    EXPECT_EQ(EndLibrary(), 0);
    EXPECT_EQ(EndLibrary(), 0);
}

// The icon among them: read when the window is made, its alpha kept; set
// again later, it changes at once, and a file that cannot be read fails.
TEST_F(WindowTest, SettingsMadeBeforeStartSurviveTheReset) {
    UseHeadless();
    Picture picture = Gradient(16, 8, true);
    Bytes png = PngFile(picture, 6, 8, false);
    WriteFile("icon.png", std::string(png.begin(), png.end()));
    SetWindowTitle("Artillery");
    SetWindowIcon("icon.png");
    SetRunInBackground(1);
    SetLogTimeStamps(0);
    ASSERT_EQ(InitLibrary(), 0);
    EXPECT_STREQ(gCore.settings.title, "Artillery");
    EXPECT_EQ(gCore.settings.runInBackground, 1);
    int width = 0, height = 0;
    HeadlessIconPixel(0, 0, &width, &height);
    ASSERT_EQ(width, 16);
    ASSERT_EQ(height, 8);
    for (int y = 0; y < 8; ++y)
        for (int x = 0; x < 16; ++x)
            ASSERT_EQ(HeadlessIconPixel(x, y, nullptr, nullptr), picture.At(x, y)) << x << "," << y;
    Bytes small = PngFile(Gradient(4, 4, false), 2, 8, false);
    WriteFile("small.png", std::string(small.begin(), small.end()));
    EXPECT_EQ(SetWindowIcon("small.png"), 0);
    HeadlessIconPixel(0, 0, &width, &height);
    EXPECT_EQ(width, 4);
    EXPECT_EQ(HeadlessIconPixel(3, 3, nullptr, nullptr) >> 24, 0xFF) << "no alpha is opaque";
    EXPECT_EQ(SetWindowIcon("missing.png"), -1);
    EndLibrary();
    EXPECT_NE(ReadLogUtf8().find("アイコンファイル missing.png の読み込みに失敗しました"),
              std::string::npos);
    // Without time stamps the first line starts with its text.
    EXPECT_EQ(ReadLogUtf8().rfind("システムの情報を出力します", 0), 0u);
}

TEST_F(WindowTest, AltEnterTogglesWindowModeOnlyWhenAllowed) {
    UseHeadless();
    ASSERT_EQ(InitLibrary(), 0);
    PlatMessage altEnter{MsgSysChar, '\r', 0};
    PlatPostMessage(&altEnter);
    PumpMessages();
    PumpMessages();
    EXPECT_EQ(gCore.settings.windowed, 0);

    static int toggles = 0;
    SetWindowModeToggle(1, [](void*) { ++toggles; }, nullptr);
    PlatPostMessage(&altEnter);
    PumpMessages();
    PumpMessages();
    EXPECT_EQ(gCore.settings.windowed, 1);
    EXPECT_EQ(toggles, 1);
    // Window mode shows the cursor and places the client on the desktop.
    EXPECT_EQ(gCore.cursorVisible, 1);
    EXPECT_GT(gCore.clientLeft, 0);
    EndLibrary();
    EXPECT_NE(ReadLogUtf8().find("ウインドウモードフラグが立てられました"), std::string::npos);
}

TEST_F(WindowTest, TheScreenSaverCommandIsRefusedAndF10IsReleasedByOtherCommands) {
    UseHeadless();
    ASSERT_EQ(InitLibrary(), 0);
    EXPECT_EQ(MainWindowProc({MsgSysCommand, SysCommandScreenSave, 0}), 1);
    MainWindowProc({MsgKeyHookF10, 1, 0});
    EXPECT_EQ(CheckAnyInput(), KeyF10);
    MainWindowProc({MsgSysCommand, SysCommandClose, 0});
    EXPECT_EQ(CheckAnyInput(), 0);
    EndLibrary();
}

TEST_F(WindowTest, EditingKeysAndCharactersFillTheKeyInputBuffer) {
    UseHeadless();
    ASSERT_EQ(InitLibrary(), 0);
    MainWindowProc({MsgKeyDown, 0x25, 0});  // Left
    MainWindowProc({MsgChar, 'x', 0});
    MainWindowProc({MsgKeyDown, 0x41, 0});  // A: arrives as a character instead
    ASSERT_EQ(gCore.keyBufferCount, 2);
    EXPECT_EQ(gCore.keyBuffer[0], 0x1D);
    EXPECT_EQ(gCore.keyBuffer[1], 'x');
    EndLibrary();
}

}  // namespace
