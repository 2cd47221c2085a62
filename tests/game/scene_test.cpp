// The game's title screen and aiming loop, driven by scripted input.
#include "game.h"
#include "platform/device/headless/headless.h"
#include "support/harness.h"
#include "tessel.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <ostream>

namespace {

using SceneTest = LibraryTest;

void WriteProgress(int32_t round) {
    std::string bytes(4, '\0');
    for (int i = 0; i < 4; ++i) bytes[i] = static_cast<char>((static_cast<uint32_t>(round) >> (8 * i)) & 0xFF);
    WriteFile("user.data", bytes);
}

// One short press per line: down at t, up 50 ms later.
std::string Presses(const char* key, int from, int count) {
    std::string script;
    for (int i = 0; i < count; ++i) {
        int t = from + i * 300;
        script += std::to_string(t) + " down " + key + "\n" + std::to_string(t + 50) + " up " + key + "\n";
    }
    return script;
}

// Up and down stay within the rounds reached; Space wins over a round change
// in the same pass; Escape and closing the window end the program. One
// library start per process: each case is its own test.
struct TitleCase {
    const char* what;
    int32_t progress;  // 0: no progress file
    std::string script;
    int result, round;
};

void PrintTo(const TitleCase& c, std::ostream* out) { *out << c.what; }

class TitleScreen : public SceneTest, public ::testing::WithParamInterface<TitleCase> {};

TEST_P(TitleScreen, OffersOnlyTheRoundsReached) {
    const TitleCase& c = GetParam();
    if (c.progress) WriteProgress(c.progress);
    UseHeadless(c.script);
    ASSERT_EQ(InitLibrary(), 0);
    gGame.round = 1;
    EXPECT_EQ(RunTitleScreen(), c.result);
    if (c.result == 0) EXPECT_EQ(gGame.round, c.round);
}

INSTANTIATE_TEST_SUITE_P(
    Scripts, TitleScreen,
    ::testing::Values(
        TitleCase{"up and down", 5, Presses("UP", 500, 6) + Presses("DOWN", 2500, 2) + "3500 down SPACE\n", 0, 3},
        TitleCase{"no progress", 0, Presses("UP", 500, 2) + "1500 down SPACE\n", 0, 1},
        TitleCase{"Space with Up", 4, "500 down UP\n500 down SPACE\n", 0, 2},
        TitleCase{"Escape", 0, "500 down ESCAPE\n", -1, 0},
        TitleCase{"closing", 0, "500 close\n", -1, 0}));

// Runs aiming passes for `ms` of the clock.
void AimFor(int ms) {
    int start = GetTickMs(0);
    while (GetTickMs(0) - start < ms && PumpMessages() == 0) RunAimingPass();
}

TEST_F(SceneTest, EdgeScrollingFollowsTheMouseOnBothAxes) {
    UseHeadless("300 mouse 5 5\n");
    ASSERT_EQ(InitLibrary(), 0);
    gGame.viewX = 640;
    gGame.viewY = 480;
    WaitMs(200);
    AimFor(100);
    EXPECT_LT(gGame.viewX, 640);
    EXPECT_LT(gGame.viewY, 480);
    EXPECT_EQ(640 - gGame.viewX, 480 - gGame.viewY) << "a corner scrolls both axes per step";
    EXPECT_EQ((640 - gGame.viewX) % 10, 0);

    AimFor(2000);
    EXPECT_EQ(gGame.viewX, 0) << "clamped at the world's left edge";
    EXPECT_EQ(gGame.viewY, 0);
}

TEST_F(SceneTest, EdgeScrollingStopsAtTheFarEdgesAndWhileSpaceIsHeld) {
    UseHeadless("300 mouse 630 470\n300 down SPACE\n");
    ASSERT_EQ(InitLibrary(), 0);
    // Charging re-centres the view on the cannon: put it where that is a no-op.
    gGame.playerX = 1220;
    gGame.playerY = 640;
    gGame.viewX = 900;
    gGame.viewY = 400;
    WaitMs(200);
    AimFor(300);
    EXPECT_GT(gGame.power, 0);
    EXPECT_EQ(gGame.viewX, 900) << "Space freezes the scrolling";
    EXPECT_EQ(gGame.viewY, 400);
}

TEST_F(SceneTest, EdgeScrollingClampsAtTheFarEdges) {
    UseHeadless("300 mouse 630 470\n");
    ASSERT_EQ(InitLibrary(), 0);
    gGame.viewX = 900;
    gGame.viewY = 400;
    WaitMs(200);
    AimFor(500);
    EXPECT_EQ(gGame.viewX, 960);
    EXPECT_EQ(gGame.viewY, 480);
}

TEST_F(SceneTest, ARunStartsWithTheWindSinkingBecauseTheGeneratorIsNotSeededYet) {
    // Static initialisation drew before any seeding: the generator gives 0.
    EXPECT_EQ(gGame.windRising, 0);
    EXPECT_EQ(gGame.titlePending, 1);
    EXPECT_EQ(gGame.flightTick, -1);
}

// Leaves ones, which read as "held", where the next call's locals will lie.
[[gnu::noinline]] void DirtyTheStack() {
    volatile unsigned char junk[4096];
    for (auto& byte : junk) byte = 1;
}

// Losing the focus in full screen gives up the input devices; the snapshot
// after it must not read stray bytes as held keys.
TEST_F(SceneTest, AFocusLossAndReturnNeitherFireNorMove) {
    UseHeadless("300 focus 0\n400 focus 1\n");
    ASSERT_EQ(InitLibrary(), 0);
    int x = gGame.playerX, angle = gGame.barrelAngle;
    int start = GetTickMs(0);
    while (GetTickMs(0) - start < 600 && PumpMessages() == 0) {
        DirtyTheStack();
        RunAimingPass();
    }
    EXPECT_EQ(gGame.power, 0);
    EXPECT_EQ(gGame.inFlight, 0);
    EXPECT_EQ(gGame.playerX, x);
    EXPECT_EQ(gGame.barrelAngle, angle);
}

// The Space press that starts the round from the title is still held when
// the round begins: it charges nothing until it has been released.
TEST_F(SceneTest, ALongPressOnTheTitleCostsNoCharge) {
    UseHeadless("500 down SPACE\n3500 up SPACE\n4000 down SPACE\n4200 up SPACE\n4230 down ESCAPE\n");
    EXPECT_EQ(GameMain(), 0);
    EXPECT_EQ(gGame.inFlight, 1) << "the short press fired";
    EXPECT_LE(gGame.power, 4) << "only the short press charged";
    EXPECT_EQ(gGame.charges, 20);
}

// Text with per cent signs is drawn and measured as it stands.
TEST_F(SceneTest, DrawCentredTakesItsTextAsItStands) {
    UseHeadless();
    ASSERT_EQ(InitLibrary(), 0);
    SetDrawTarget(TargetBack);
    ClearDrawTarget();
    DrawCentred(200, "%%%%%%%%");
    PresentScreen();
    int left = 640, right = -1;
    for (int y = 200; y < 230; ++y)
        for (int x = 0; x < 640; ++x)
            if (HeadlessFramePixel(x, y) > 0) {
                left = std::min(left, x);
                right = std::max(right, x);
            }
    ASSERT_GE(right, left) << "nothing drawn";
    EXPECT_NEAR(left + right, 640, 4) << "drawn from " << left << " to " << right;
}

TEST_F(SceneTest, EscapeDuringAFlightEndsTheGameWithoutFinishingTheShot) {
    UseHeadless("500 down SPACE\n520 up SPACE\n700 down SPACE\n800 up SPACE\n830 down ESCAPE\n");
    EXPECT_EQ(GameMain(), 0);
    EXPECT_EQ(gGame.roundPending, 0) << "the round had started";
    EXPECT_EQ(gGame.inFlight, 1);
    EXPECT_EQ(gGame.charges, 20) << "the shot never ended";
}

}  // namespace
