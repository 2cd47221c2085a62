// The headless back end: script parsing, virtual time, the devices the script
// drives, frame capture and repeatability.
#include "platform/device/backend.h"
#include "platform/device/headless/headless.h"
#include "platform/platform.h"
#include "support/harness.h"

#include <gtest/gtest.h>
#include <png.h>

#include <cstdlib>
#include <filesystem>
#include <sstream>
#include <vector>

namespace {

constexpr uint64_t kStartUs = 100000000;

class Headless : public ::testing::Test {
protected:
    void SetUp() override {
        unsetenv("TESSEL_AUDIO_OUT");
        PlatStop();
        HeadlessReset();
    }
    void TearDown() override {
        PlatStop();
        HeadlessReset();
    }

    void Start(const std::string& script) {
        UseHeadless(script);
        ASSERT_EQ(PlatStart(), 0);
    }

    void OpenWindow(int windowed = 0, int width = 640, int height = 480) {
        PlatWindowDesc desc{"test", width, height, windowed, 0, 0, 0};
        ASSERT_EQ(PlatCreateWindow(&desc), 0);
    }

    static std::vector<PlatMessage> TakeAll() {
        std::vector<PlatMessage> out;
        PlatMessage message;
        while (PlatTakeMessage(&message)) out.push_back(message);
        return out;
    }

    ScratchDir dir_;
};

constexpr uintptr_t kAnyParam = ~uintptr_t(0);
struct Expected {
    uint32_t message;
    uintptr_t wParam = kAnyParam;
};

// The messages waiting in the queue, in order, against their kinds and (where
// given) their wParam.
::testing::AssertionResult QueueHolds(std::initializer_list<Expected> want) {
    std::vector<PlatMessage> got;
    PlatMessage message;
    while (PlatTakeMessage(&message)) got.push_back(message);
    std::ostringstream text;
    bool same = got.size() == want.size();
    for (size_t i = 0; i < got.size(); ++i) {
        const Expected* w = i < want.size() ? want.begin() + i : nullptr;
        same = same && w->message == got[i].message && (w->wParam == kAnyParam || w->wParam == got[i].wParam);
        text << " " << got[i].message << "/" << got[i].wParam;
    }
    if (same) return ::testing::AssertionSuccess();
    return ::testing::AssertionFailure() << "the queue held" << text.str();
}

// The RGB bytes of a PNG file, which must be 8-bit RGB without alpha.
std::vector<uint8_t> ReadRgbPng(const std::string& path, int* width, int* height) {
    png_image image{};
    image.version = PNG_IMAGE_VERSION;
    if (!png_image_begin_read_from_file(&image, path.c_str())) return {};
    EXPECT_EQ(image.format, static_cast<png_uint_32>(PNG_FORMAT_RGB));
    image.format = PNG_FORMAT_RGB;
    std::vector<uint8_t> rgb(PNG_IMAGE_SIZE(image));
    if (!png_image_finish_read(&image, nullptr, rgb.data(), 0, nullptr)) return {};
    *width = static_cast<int>(image.width);
    *height = static_cast<int>(image.height);
    return rgb;
}

// ---------------------------------------------------------------------------
// Script parsing
// ---------------------------------------------------------------------------

struct BadLine {
    const char* line;
    const char* complaint;  // part of the message
};

void PrintTo(const BadLine& bad, std::ostream* out) { *out << '"' << bad.line << '"'; }

class MalformedLine : public Headless, public ::testing::WithParamInterface<BadLine> {};

TEST_P(MalformedLine, StopsTheStartNamingItsLine) {
    std::string script = "# warm-up\n\n0 down SPACE   # hold fire\n";
    script += GetParam().line;
    script += "\n900 close\n";
    UseHeadless(script);
    testing::internal::CaptureStderr();
    EXPECT_EQ(PlatStart(), -1);
    std::string err = testing::internal::GetCapturedStderr();
    EXPECT_NE(err.find("TESSEL_INPUT:4: "), std::string::npos) << err;
    EXPECT_NE(err.find(GetParam().complaint), std::string::npos) << err;
    EXPECT_EQ(err.find("TESSEL_INPUT:3:"), std::string::npos) << err;
}

INSTANTIATE_TEST_SUITE_P(
    Lines, MalformedLine,
    ::testing::Values(BadLine{"10 jump", "unknown verb"}, BadLine{"10 down NOSUCHKEY", "unknown key"},
                      BadLine{"10 down", "missing"}, BadLine{"10 mouse 5 five", "bad number"},
                      BadLine{"10 mouse 5", "missing"}, BadLine{"ten close", "bad time"},
                      BadLine{"-5 close", "bad time"}, BadLine{"10", "missing verb"},
                      BadLine{"10 close now", "unexpected"}, BadLine{"10 capture shot.bmp", "bad file name"},
                      BadLine{"10 button left sideways", "neither down nor up"},
                      BadLine{"10 button wheel down", "unknown button"},
                      BadLine{"10 focus 2", "bad number"}, BadLine{"10 pad 9 button 0 down", "pad number"},
                      BadLine{"10 pad 1 button 32 down", "bad number"},
                      BadLine{"10 pad 1 axis w 0", "unknown axis"},
                      BadLine{"10 pad 1 axis x 1001", "bad number"},
                      BadLine{"10 pad 1 pov 36000", "bad number"}, BadLine{"10 pad 1 hat 0", "pad part"},
                      BadLine{"10 pad 1", "missing"}));

TEST_F(Headless, ReportsEveryFaultyLineAndAnUnreadableFile) {
    UseHeadless("10 jump\n20 down A\n30 down ???\n");
    testing::internal::CaptureStderr();
    EXPECT_EQ(PlatStart(), -1);
    std::string err = testing::internal::GetCapturedStderr();
    EXPECT_NE(err.find("TESSEL_INPUT:1: "), std::string::npos) << err;
    EXPECT_NE(err.find("TESSEL_INPUT:3: "), std::string::npos) << err;
    EXPECT_EQ(err.find("TESSEL_INPUT:2:"), std::string::npos) << err;

    HeadlessReset();
    setenv("TESSEL_INPUT", (dir_.path() + "/missing.txt").c_str(), 1);
    testing::internal::CaptureStderr();
    EXPECT_EQ(PlatStart(), -1);
    EXPECT_NE(testing::internal::GetCapturedStderr().find("missing.txt"), std::string::npos);
}

TEST_F(Headless, AcceptsEveryVerbAndCountsThePadsMentioned) {
    Start("0 down 0x39\n1 up f10\n2 mouse -3 7\n3 button middle down\n4 focus 0\n5 close\n"
          "6 capture out/shot.PNG\n7 pad 3 button 31 up\n8 pad 1 axis z -1000\n9 pad 2 pov center\r\n");
    EXPECT_EQ(PlatJoypadCount(), 3);
    EXPECT_EQ(HeadlessQueueScriptLine("   # only a comment"), 0);
    EXPECT_EQ(HeadlessQueueScriptLine("10 pad 5 pov 9000"), 0);
    EXPECT_EQ(PlatJoypadCount(), 5);
    testing::internal::CaptureStderr();
    EXPECT_EQ(HeadlessQueueScriptLine("10 pad 6 pov"), -1);
    EXPECT_NE(testing::internal::GetCapturedStderr().find("missing"), std::string::npos);
    EXPECT_EQ(PlatJoypadCount(), 5);
}

// ---------------------------------------------------------------------------
// Virtual time
// ---------------------------------------------------------------------------

TEST_F(Headless, ClockMovesOnlyWhenReadSleptOrWaitedOn) {
    Start("");
    EXPECT_EQ(HeadlessNowUs(), kStartUs);
    EXPECT_EQ(HeadlessNowUs(), kStartUs);
    EXPECT_EQ(PlatPerfFrequency(), 1000000u);
    EXPECT_EQ(PlatTimerPeriodMs(), 1u);

    uint64_t first = PlatPerfCounter();
    uint64_t second = PlatPerfCounter();
    EXPECT_EQ(second - first, 10u);
    EXPECT_EQ(PlatTicksMs(), static_cast<uint32_t>((kStartUs + 30) / 1000));

    uint64_t before = HeadlessNowUs();
    PlatSleepMs(25);
    EXPECT_EQ(HeadlessNowUs() - before, 25000u);
    PlatSleepMs(0);
    EXPECT_GT(HeadlessNowUs(), before + 25000);
}

TEST_F(Headless, VerticalBlankLandsOnTheNextSixtiethOfASecond) {
    Start("");
    EXPECT_EQ(PlatWaitVBlank(), 0);
    EXPECT_EQ(HeadlessNowUs(), kStartUs + 16667);  // 1/60 s, rounded up
    PlatSleepMs(5);
    EXPECT_EQ(PlatWaitVBlank(), 0);
    EXPECT_EQ(HeadlessNowUs(), kStartUs + 33334);
    // Sixty waits from a boundary make exactly one more second.
    PlatSleepMs(1000 - 34);
    EXPECT_EQ(PlatWaitVBlank(), 0);
    EXPECT_EQ(HeadlessNowUs(), kStartUs + 1000000);
    for (int i = 0; i < 60; ++i) PlatWaitVBlank();
    EXPECT_EQ(HeadlessNowUs(), kStartUs + 2000000);
}

TEST_F(Headless, EventsApplyAtTheirTimeInTimeOrder) {
    Start("40 up A\n30 down A\n40 down B\n");
    OpenWindow();
    ASSERT_EQ(PlatKeyboardOpen(), 0);
    uint8_t keys[256];

    PlatSleepMs(29);
    ASSERT_EQ(PlatKeyboardRead(keys), 0);
    EXPECT_EQ(keys[0x1E], 0);
    EXPECT_TRUE(TakeAll().empty());
    EXPECT_FALSE(PlatKeyboardSignalled());

    PlatSleepMs(1);
    ASSERT_EQ(PlatKeyboardRead(keys), 0);
    EXPECT_EQ(keys[0x1E], 0x80);
    EXPECT_TRUE(QueueHolds({{MsgKeyDown}, {MsgChar, 'a'}}));

    PlatSleepMs(10);
    EXPECT_TRUE(QueueHolds({{MsgKeyUp, 'A'}, {MsgKeyDown, 'B'}, {MsgChar}}));
    ASSERT_EQ(PlatKeyboardRead(keys), 0);
    EXPECT_EQ(keys[0x1E], 0);
    EXPECT_EQ(keys[0x30], 0x80);
}

TEST_F(Headless, QueuedLinesCountFromTheStartAndLateOnesApplyAtTheNextStep) {
    Start("");
    OpenWindow();
    PlatSleepMs(100);
    ASSERT_EQ(HeadlessQueueScriptLine("50 close"), 0);
    ASSERT_EQ(HeadlessQueueScriptLine("150 focus 0"), 0);
    // Polling the queue is itself a clock step, so the overdue line applies.
    EXPECT_TRUE(QueueHolds({{MsgClose}}));
    PlatSleepMs(50);
    EXPECT_TRUE(QueueHolds({{MsgActivateApp, 0}, {MsgActivate, 0}}));
}

// ---------------------------------------------------------------------------
// Devices and messages
// ---------------------------------------------------------------------------

TEST_F(Headless, KeyDownReachesDeviceSystemStateAndWindow) {
    Start("0 down LSHIFT\n0 down SPACE\n5 down F10\n10 up F10\n10 up LSHIFT\n");
    OpenWindow();
    ASSERT_EQ(PlatKeyboardOpen(), 0);
    ASSERT_EQ(PlatKeyboardAcquire(), 0);
    PlatSleepMs(1);

    uint8_t keys[256];
    ASSERT_EQ(PlatKeyboardRead(keys), 0);
    EXPECT_EQ(keys[0x39], 0x80);
    EXPECT_EQ(keys[0x2A], 0x80);
    uint8_t system[256];
    PlatSystemKeyState(system);
    EXPECT_EQ(system[0x20], 0x80);
    EXPECT_EQ(system[0xA0], 0x80);
    EXPECT_EQ(system[0x10], 0x80);  // the generic Shift follows the left one
    EXPECT_TRUE(PlatKeyboardSignalled());
    PlatKeyboardResetEvent();
    EXPECT_FALSE(PlatKeyboardSignalled());
    EXPECT_EQ(PlatKeyboardDrain(1), 1);
    EXPECT_EQ(PlatKeyboardDrain(10), 1);
    EXPECT_EQ(PlatKeyboardDrain(10), 0);

    // As on the desktop, Shift keeps a key other than a letter from typing.
    EXPECT_TRUE(QueueHolds({{MsgKeyDown, 0xA0}, {MsgKeyDown, 0x20}}));

    PlatSleepMs(10);
    EXPECT_TRUE(QueueHolds({{MsgKeyHookF10, 1}, {MsgSysKeyDown, 0x79}, {MsgKeyHookF10, 0},
                            {MsgSysKeyUp, 0x79}, {MsgKeyUp, 0xA0}}));
    PlatSystemKeyState(system);
    EXPECT_EQ(system[0x10], 0);
    EXPECT_EQ(system[0x20], 0x80);
}

TEST_F(Headless, KeyboardFaultsFromTheTestHooks) {
    Start("");
    HeadlessSetKeyboardMissing(1);
    EXPECT_EQ(PlatKeyboardOpen(), -1);
    HeadlessSetKeyboardMissing(0);
    ASSERT_EQ(PlatKeyboardOpen(), 0);
    uint8_t keys[256];
    HeadlessMarkKeyboardLost();
    EXPECT_EQ(PlatKeyboardRead(keys), -2);
    EXPECT_EQ(PlatKeyboardRead(keys), -2);
    ASSERT_EQ(PlatKeyboardAcquire(), 0);
    EXPECT_EQ(PlatKeyboardRead(keys), 0);
}

TEST_F(Headless, WindowPlacementAndMouseInClientCoordinates) {
    Start("5 mouse 10 -2\n6 button right down\n7 button right up\n");
    int x = 0, y = 0;
    PlatWindowDesc placed{"t", 200, 100, 1, 1, 30, 40};
    ASSERT_EQ(PlatCreateWindow(&placed), 0);
    PlatClientOrigin(&x, &y);
    EXPECT_EQ(x, 30);
    EXPECT_EQ(y, 40);
    ASSERT_EQ(PlatSetWindowMode(0, 200, 100, 1, 30, 40), 0);
    PlatClientOrigin(&x, &y);
    EXPECT_EQ(x, 0);
    EXPECT_EQ(y, 0);
    ASSERT_EQ(PlatSetWindowMode(1, 200, 100, 0, 0, 0), 0);
    PlatClientOrigin(&x, &y);
    EXPECT_EQ(x, (1920 - 200) / 2);
    EXPECT_EQ(y, (1080 - 100) / 2);

    PlatSleepMs(6);
    PlatGetCursorPos(&x, &y);
    EXPECT_EQ(x, 860 + 10);
    EXPECT_EQ(y, 490 - 2);
    uint8_t system[256];
    PlatSystemKeyState(system);
    EXPECT_EQ(system[0x02], 0x80);
    std::vector<PlatMessage> messages = TakeAll();
    ASSERT_EQ(messages.size(), 2u);
    EXPECT_EQ(messages[0].message, MsgMouseMove);
    EXPECT_EQ(static_cast<int16_t>(messages[0].lParam & 0xFFFF), 10);
    EXPECT_EQ(static_cast<int16_t>((messages[0].lParam >> 16) & 0xFFFF), -2);
    EXPECT_EQ(messages[1].message, MsgRButtonDown);
    EXPECT_EQ(messages[1].lParam, messages[0].lParam);

    PlatSleepMs(1);
    PlatSystemKeyState(system);
    EXPECT_EQ(system[0x02], 0);
    PlatSetCursorPos(5, 6);
    PlatGetCursorPos(&x, &y);
    EXPECT_EQ(x, 5);
    EXPECT_EQ(y, 6);
}

TEST_F(Headless, MessagesNeedAWindowAndLeaveWithIt) {
    Start("1 close\n3 close\n");
    PlatSleepMs(1);
    EXPECT_FALSE(PlatHasWindow());
    OpenWindow();
    EXPECT_TRUE(TakeAll().empty());
    PlatMessage posted{MsgQuit, 7, 8};
    PlatPostMessage(&posted);
    PlatSleepMs(2);
    EXPECT_TRUE(QueueHolds({{MsgQuit, 7}, {MsgClose}}));
    PlatPostMessage(&posted);
    PlatDestroyWindow();
    EXPECT_FALSE(PlatHasWindow());
    EXPECT_TRUE(TakeAll().empty());
}

TEST_F(Headless, ShowCursorKeepsADisplayCount) {
    Start("");
    EXPECT_EQ(PlatShowCursor(0), -1);
    EXPECT_EQ(PlatShowCursor(0), -2);
    EXPECT_EQ(PlatShowCursor(1), -1);
    EXPECT_EQ(HeadlessShowCursorCalls(), 3);
}

TEST_F(Headless, ScriptedJoypads) {
    Start("0 pad 2 axis x -1000\n0 pad 2 button 3 down\n0 pad 2 pov 9000\n20 pad 2 pov center\n");
    ASSERT_EQ(PlatJoypadCount(), 2);
    JoypadInfo info{};
    EXPECT_EQ(PlatJoypadOpen(2, -1000, 1000, 0, &info), JoypadNoDevice);
    ASSERT_EQ(PlatJoypadOpen(1, -1000, 1000, 0, &info), JoypadOpened);
    EXPECT_STREQ(info.instanceName, "Headless pad 2");

    JoypadState state;
    ASSERT_EQ(PlatJoypadRead(1, &state), 0);
    EXPECT_EQ(state.x, 0);
    EXPECT_EQ(state.pov[0], 0xFFFFFFFFu);
    EXPECT_FALSE(PlatJoypadSignalled(1));

    PlatSleepMs(1);
    EXPECT_TRUE(PlatJoypadSignalled(1));
    ASSERT_EQ(PlatJoypadRead(1, &state), 0);
    EXPECT_EQ(state.x, -1000);
    EXPECT_EQ(state.buttons[3], 0x80);
    EXPECT_EQ(state.buttons[2], 0);
    EXPECT_EQ(state.pov[0], 9000u);
    PlatJoypadResetEvent(1);
    EXPECT_FALSE(PlatJoypadSignalled(1));

    PlatSleepMs(20);
    ASSERT_EQ(PlatJoypadRead(1, &state), 0);
    EXPECT_EQ(state.pov[0], 0xFFFFFFFFu);
    PlatJoypadClose(1);
    EXPECT_EQ(PlatJoypadRead(1, &state), -1);
}

TEST_F(Headless, InstanceScopeFollowsTheWorkingFolder) {
    Start("");
    std::string here = PlatInstanceScope();
    std::filesystem::create_directory("other");
    std::filesystem::current_path("other");
    std::string there = PlatInstanceScope();
    std::filesystem::current_path("..");
    EXPECT_EQ(here.rfind("headless:", 0), 0u);
    EXPECT_NE(here, there);
}

// The output file belongs to the audio device: starting the platform
// neither complains about the setting nor writes the file.
TEST_F(Headless, AudioOutputWaitsForTheAudioDevice) {
    setenv("TESSEL_AUDIO_OUT", "out.wav", 1);
    UseHeadless("");
    testing::internal::CaptureStderr();
    EXPECT_EQ(PlatStart(), 0);
    PlatStop();
    EXPECT_EQ(PlatStart(), 0);
    EXPECT_EQ(testing::internal::GetCapturedStderr(), "");
    EXPECT_FALSE(std::filesystem::exists("out.wav"));
    unsetenv("TESSEL_AUDIO_OUT");
}

// ---------------------------------------------------------------------------
// Capture and repeatability
// ---------------------------------------------------------------------------

TEST_F(Headless, CaptureWritesThePresentedFrame) {
    Start("5 capture shot.png\n");
    OpenWindow(1, 3, 2);
    // Rows of four pixels of which three are shown: the fourth must not leak.
    const uint32_t pixels[8] = {0x00FF0000, 0x0000FF00, 0x000000FF, 0x00FFFFFF,
                                0x00123456, 0x00000000, 0x00FFFFFF, 0x00ABCDEF};
    PlatFrame frame{pixels, 3, 2, 4};
    PlatPresent(&frame);
    PlatSleepMs(4);
    EXPECT_FALSE(std::filesystem::exists("shot.png"));
    PlatSleepMs(1);

    int width = 0, height = 0;
    std::vector<uint8_t> rgb = ReadRgbPng("shot.png", &width, &height);
    ASSERT_EQ(width, 3);
    ASSERT_EQ(height, 2);
    const std::vector<uint8_t> expected = {0xFF, 0, 0, 0, 0xFF, 0, 0, 0, 0xFF,
                                           0x12, 0x34, 0x56, 0, 0, 0, 0xFF, 0xFF, 0xFF};
    EXPECT_EQ(rgb, expected);
}

// A frame that cannot be kept for lack of memory is not captured; the last
// one kept stays, and the program goes on.
TEST_F(Headless, AFrameWithoutMemoryToKeepItLeavesTheLastOne) {
    Start("");
    OpenWindow(1, 3, 2);
    const uint32_t small[6] = {0x00123456, 0, 0, 0, 0, 0};
    PlatFrame first{small, 3, 2, 3};
    PlatPresent(&first);
    std::vector<uint32_t> large(size_t(4096) * 4096, 0x00ABCDEF);
    PlatFrame second{large.data(), 4096, 4096, 4096};
    testing::internal::CaptureStderr();
    {
        AddressSpaceCap cap(16 << 20);
        if (!cap.active()) GTEST_SKIP() << "no address space cap here";
        PlatPresent(&second);
    }
    EXPECT_NE(testing::internal::GetCapturedStderr().find("no memory to keep a 4096x4096 frame"),
              std::string::npos);
    EXPECT_EQ(HeadlessFramePixel(0, 0), 0x123456);
    EXPECT_EQ(HeadlessFramePixel(5, 5), -1);
    PlatPresent(&second);
    EXPECT_EQ(HeadlessFramePixel(4095, 4095), 0xABCDEF);
}

TEST_F(Headless, CaptureBeforeAnyFrameIsBlackAtTheClientSize) {
    Start("1 capture a.png\n2 capture b.png\n");
    OpenWindow(0, 8, 4);
    testing::internal::CaptureStderr();
    PlatSleepMs(2);
    std::string err = testing::internal::GetCapturedStderr();
    EXPECT_NE(err.find("a.png"), std::string::npos) << err;
    EXPECT_EQ(err.find("b.png"), std::string::npos) << err;
    int width = 0, height = 0;
    std::vector<uint8_t> rgb = ReadRgbPng("b.png", &width, &height);
    EXPECT_EQ(width, 8);
    EXPECT_EQ(height, 4);
    EXPECT_EQ(rgb, std::vector<uint8_t>(8 * 4 * 3, 0));
}

// A small program that reads the clock, the messages and the keyboard and
// draws what it saw; its trace and captures must not differ between runs.
std::string RunScriptedProgram(const std::string& script) {
    PlatStop();
    HeadlessReset();
    UseHeadless(script);
    std::ostringstream trace;
    if (PlatStart() != 0) return "start failed";
    PlatWindowDesc desc{"t", 16, 8, 0, 0, 0, 0};
    PlatCreateWindow(&desc);
    PlatKeyboardOpen();
    std::vector<uint32_t> pixels(16 * 8);
    for (int frame = 0; frame < 40; ++frame) {
        PlatMessage message;
        while (PlatTakeMessage(&message))
            trace << PlatTicksMs() << ' ' << message.message << ' ' << message.wParam << ' '
                  << message.lParam << '\n';
        uint8_t keys[256] = {};
        PlatKeyboardRead(keys);
        uint32_t colour = (keys[0x39] ? 0x00FF0000u : 0x000000FFu) ^ static_cast<uint32_t>(PlatPerfCounter());
        for (uint32_t& pixel : pixels) pixel = colour;
        PlatFrame shown{pixels.data(), 16, 8, 16};
        PlatPresent(&shown);
        PlatWaitVBlank();
    }
    trace << HeadlessNowUs() << '\n' << ReadFile("held.png") << ReadFile("released.png");
    return trace.str();
}

TEST_F(Headless, SameScriptSameRun) {
    const std::string script =
        "0 down SPACE\n100 mouse 3 4\n200 capture held.png\n300 up SPACE\n400 capture released.png\n";
    std::string first = RunScriptedProgram(script);
    std::string second = RunScriptedProgram(script);
    EXPECT_EQ(first, second);
    EXPECT_NE(ReadFile("held.png"), ReadFile("released.png"));
    EXPECT_NE(first.find(std::to_string(MsgMouseMove)), std::string::npos);
}

}  // namespace
