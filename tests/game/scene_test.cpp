// The game's title screen and aiming loop, driven by scripted input.
#include "game.h"
#include "support/harness.h"
#include "tessel.h"

#include <gtest/gtest.h>

namespace {

class SceneTest : public ::testing::Test {
protected:
    ScratchDir dir;
    void TearDown() override { EndLibrary(); }
};

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

TEST_F(SceneTest, TitleUpAndDownStayWithinTheRoundsReached) {
    WriteProgress(5);
    UseHeadless(Presses("UP", 500, 6) + Presses("DOWN", 2500, 2) + "3500 down SPACE\n");
    ASSERT_EQ(InitLibrary(), 0);
    gGame.round = 1;
    EXPECT_EQ(RunTitleScreen(), 0);
    EXPECT_EQ(gGame.round, 3);
}

TEST_F(SceneTest, TitleWithoutProgressOffersRoundOneOnly) {
    UseHeadless(Presses("UP", 500, 2) + "1500 down SPACE\n");
    ASSERT_EQ(InitLibrary(), 0);
    gGame.round = 1;
    EXPECT_EQ(RunTitleScreen(), 0);
    EXPECT_EQ(gGame.round, 1);
}

TEST_F(SceneTest, TitleEscapeAndClosingEndTheProgram) {
    UseHeadless("500 down ESCAPE\n");
    ASSERT_EQ(InitLibrary(), 0);
    EXPECT_EQ(RunTitleScreen(), -1);
}

TEST_F(SceneTest, TitleClosingTheWindowEndsTheProgram) {
    UseHeadless("500 close\n");
    ASSERT_EQ(InitLibrary(), 0);
    EXPECT_EQ(RunTitleScreen(), -1);
}

TEST_F(SceneTest, TitleSpaceWinsOverARoundChangeInTheSamePass) {
    WriteProgress(4);
    UseHeadless("500 down UP\n500 down SPACE\n");
    ASSERT_EQ(InitLibrary(), 0);
    gGame.round = 1;
    EXPECT_EQ(RunTitleScreen(), 0);
    EXPECT_EQ(gGame.round, 2);
}

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

TEST_F(SceneTest, EscapeDuringAFlightEndsTheGameWithoutFinishingTheShot) {
    UseHeadless("500 down SPACE\n600 up SPACE\n700 down ESCAPE\n");
    EXPECT_EQ(GameMain(), 0);
    EXPECT_EQ(gGame.roundPending, 0) << "the round had started";
    EXPECT_EQ(gGame.inFlight, 1);
    EXPECT_EQ(gGame.charges, 20) << "the shot never ended";
}

}  // namespace
