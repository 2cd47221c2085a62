// Clocks, the start-up calibration and the blocking waits, on the headless
// platform's virtual clock (it starts at 100 s; script times count from there).
#include "core/core.h"
#include "platform/device/headless/headless.h"
#include "support/harness.h"
#include "tessel.h"

#include <gtest/gtest.h>

#include <climits>
#include <regex>
#include <string>

namespace {

constexpr uint64_t kStartMs = 100000;

int gPaints;  // paint messages the hook saw

int CountPaints(uint32_t message, uintptr_t, intptr_t) {
    gPaints += message == MsgPaint;
    return 0;
}

// Milliseconds of virtual time since the platform started.
uint64_t ScriptMs() { return HeadlessNowUs() / 1000 - kStartMs; }

class TimingTest : public ::testing::Test {
protected:
    void SetUp() override {
        PlatStop();
        HeadlessReset();
        gPaints = 0;
    }
    void TearDown() override { EndLibrary(); }

    void Start(const std::string& script = "") {
        UseHeadless(script);
        ASSERT_EQ(InitLibrary(), 0);
    }

    ScratchDir dir_;
};

TEST_F(TimingTest, WaitZeroPumpsOnceAndReturnsAtOnce) {
    Start();
    SetWindowProcHook(CountPaints);
    for (int i = 0; i < 7; ++i) {
        PlatMessage paint{MsgPaint, 0, 0};
        PlatPostMessage(&paint);
    }
    uint64_t before = HeadlessNowUs();
    EXPECT_EQ(WaitMs(0), 0);
    EXPECT_EQ(gPaints, 5) << "one pump dispatches five messages; two would take all seven";
    EXPECT_LT(HeadlessNowUs() - before, 1000u) << "no sleep for a zero wait";
}

TEST_F(TimingTest, WaitLastsAtLeastItsTimeAndNotMuchMore) {
    Start();
    for (int ms : {1, 17, 250}) {
        uint64_t before = HeadlessNowUs();
        int tickBefore = GetTickMs(0);
        EXPECT_EQ(WaitMs(ms), 0);
        EXPECT_GE(GetTickMs(0) - tickBefore, ms);
        // The wait counts whole milliseconds of a clock read at some point
        // inside the first one.
        EXPECT_GT(HeadlessNowUs() - before, uint64_t(ms - 1) * 1000);
        EXPECT_LT(HeadlessNowUs() - before, uint64_t(ms + 3) * 1000);
    }
}

TEST_F(TimingTest, ClosingTheWindowEndsAWaitPromptly) {
    Start("1000 close\n");
    EXPECT_EQ(WaitMs(60000), 0);
    EXPECT_GE(ScriptMs(), 1000u);
    EXPECT_LT(ScriptMs(), 1050u);
    EXPECT_EQ(PumpMessages(), -1);
}

TEST_F(TimingTest, ClosingTheWindowEndsAKeyWaitPromptly) {
    Start("1000 close\n");
    EXPECT_EQ(WaitForKey(), 0);
    EXPECT_GE(ScriptMs(), 1000u);
    EXPECT_LT(ScriptMs(), 1050u);
}

TEST_F(TimingTest, AKeyStillHeldMustBeReleasedBeforeANewPressCounts) {
    Start("0 down SPACE\n1000 up SPACE\n2000 down SPACE\n2100 up SPACE\n");
    ASSERT_EQ(CheckAnyInput(), KeySpace) << "the key is held when the wait begins";
    EXPECT_EQ(WaitForKey(), 0);
    EXPECT_GE(ScriptMs(), 2100u);
    EXPECT_LT(ScriptMs(), 2150u);
}

TEST_F(TimingTest, AKeyWaitCutShortReturnsTheInputStillHeld) {
    Start("500 down ESCAPE\n1000 close\n");
    EXPECT_EQ(WaitForKey(), KeyEscape);
}

TEST_F(TimingTest, ClocksFollowThePlatformClock) {
    Start();
    uint64_t beforeUs = HeadlessNowUs();
    int ms = GetTickMs(0);
    int64_t us = GetTickUs(0);
    uint64_t afterUs = HeadlessNowUs();
    EXPECT_GE(static_cast<uint32_t>(ms), beforeUs / 1000);
    EXPECT_LE(static_cast<uint32_t>(ms), afterUs / 1000);
    // The counter won the calibration: microseconds come from it, not from
    // whole milliseconds.
    EXPECT_GE(static_cast<uint64_t>(us), beforeUs);
    EXPECT_LE(static_cast<uint64_t>(us), afterUs);
    // Other modes read the same clock.
    int other = GetTickMs(1);
    EXPECT_GE(static_cast<uint32_t>(other), afterUs / 1000);
    EXPECT_LE(static_cast<uint32_t>(other), HeadlessNowUs() / 1000);
}

TEST_F(TimingTest, CalibrationLogsItsCountsAndTheCounterChosen) {
    Start();
    std::string log = ReadLogUtf8();
    EXPECT_NE(log.find("タイマーの精度を検査します\n"), std::string::npos);
    // The counter changes at every read, the millisecond clock only every
    // hundred reads, so the counter reaches sixty first and wins.
    std::smatch counts;
    ASSERT_TRUE(std::regex_search(
        log, counts,
        std::regex("精度結果 更新回数 マルチメディアタイマー：([0-9]+)  パフォーマンスカウンター：([0-9]+)\n")));
    EXPECT_EQ(counts[2].str(), "60");
    EXPECT_LT(std::stoi(counts[1].str()), 60);
    EXPECT_NE(log.find("パフォーマンスカウンターを使用します タイマー分解能 : 1000.000000 KHz \n"),
              std::string::npos);
    EXPECT_EQ(log.find("マルチメディアタイマーを使用します"), std::string::npos);
}

TEST_F(TimingTest, InitLibrarySeedsTheGeneratorFromTheClock) {
    // Unseeded, the first 624 draws would all be 0.
    Start();
    int nonZero = 0;
    for (int i = 0; i < 8; ++i) nonZero += RandomUpTo(INT_MAX) != 0;
    EXPECT_GT(nonZero, 0);
}

}  // namespace
