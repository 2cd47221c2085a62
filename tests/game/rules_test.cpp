// The game's rules: the shell's path and hits, the end of a shot, the
// cannon's movement over the grid, and the progress file.
#include "game.h"
#include "support/harness.h"
#include "tessel.h"

#include <gtest/gtest.h>

#include <filesystem>

namespace {

class RulesTest : public ::testing::Test {
protected:
    ScratchDir dir;
    void SetUp() override {
        gGame = GameState{};
        gAssets = GameAssets{};
        // Distinct handles, so the facing tests tell the two sprites apart.
        gAssets.playerLeft = 101;
        gAssets.playerRight = 102;
        gGame.wind = 34;
        gGame.charges = 20;
        gGame.baseLife = 100;
        gGame.flightTick = -1;
        gGame.round = 1;
    }
    void Aim(int facing, int angle, int power, int x, int y) {
        gGame.facing = facing;
        gGame.barrelAngle = angle;
        gGame.power = power;
        gGame.playerX = x;
        gGame.playerY = y;
    }
};

// Values worked out by hand from the path's formula: v = 4 x power, the
// speed factor 0.1 is the double just above one tenth, so a product that
// "should" be whole lies a hair above it and the subtraction in y (or the
// negative cosine in x) truncates one lower. Wind above calm drifts in whole
// pixels toward smaller x: (wind - 34) x t x t / 1920, truncated toward zero.
TEST_F(RulesTest, TheShellsPathFollowsTheTextsArithmetic) {
    struct Case {
        const char* why;
        bool right;
        int angle, power, x, y, wind, t;
        char axis;
        int expected;
    } cases[] = {
        {"at rest", true, 0, 10, 100, 500, 34, 0, 'x', 100},
        {"100 + 4 x 5", true, 0, 10, 100, 500, 34, 5, 'x', 120},
        {"500 + 25 / 20", true, 0, 10, 100, 500, 34, 5, 'y', 501},
        {"500 + 400 / 20", true, 0, 10, 100, 500, 34, 20, 'y', 520},
        {"cos 90 degrees is a hair above zero", true, 90, 10, 100, 500, 34, 1, 'x', 100},
        {"500 - 4.0000000000000002 truncates to 495", true, 90, 10, 100, 500, 34, 1, 'y', 495},
        {"500 - (160.000...09 - 80)", true, 90, 10, 100, 500, 34, 40, 'y', 419},
        {"100 - 4.0000000000000002", false, 0, 10, 100, 500, 34, 1, 'x', 95},
        {"facing left, t = 2", false, 0, 10, 100, 500, 34, 2, 'x', 91},
        {"straight up for either facing", false, 90, 10, 100, 500, 34, 1, 'x', 100},
        {"wind: 1764 / 1920 = 0", true, 0, 0, 800, 100, 70, 7, 'x', 800},
        {"wind: 2304 / 1920 = 1", true, 0, 0, 800, 100, 70, 8, 'x', 799},
        {"wind: 3600 / 1920 = 1", true, 0, 0, 800, 100, 70, 10, 'x', 799},
        {"wind: -2176 / 1920 = -1", true, 0, 0, 800, 100, 0, 8, 'x', 801},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.why);
        Aim(c.right ? gAssets.playerRight : gAssets.playerLeft, c.angle, c.power, c.x, c.y);
        gGame.wind = c.wind;
        auto at = ShellPositionAt(c.t);
        EXPECT_EQ(c.axis == 'x' ? at.x : at.y, c.expected);
    }
}

TEST_F(RulesTest, TheHitTestReadsTheStepsCellInsideTheWorldOnly) {
    Aim(gAssets.playerRight, 0, 0, 400, 400);
    gGame.terrainGrid[100][100] = 1;
    StepShell();  // t = 0: the pivot's own cell
    EXPECT_EQ(gGame.blastFrame, 1);
    EXPECT_EQ(gGame.baseHit, 0);

    gGame.blastFrame = 0;
    gGame.flightTick = -1;
    gGame.terrainGrid[100][100] = 2;
    StepShell();
    EXPECT_EQ(gGame.blastFrame, 1);
    EXPECT_EQ(gGame.baseHit, 1);

    // x = 1600 and y = 960 lie outside the test even with terrain below.
    for (auto [x, y] : {std::pair{1600, 400}, std::pair{400, 960}, std::pair{0, 400}}) {
        gGame = GameState{};
        gGame.charges = 20;
        gGame.flightTick = -1;
        gGame.terrainGrid[399][100] = 1;
        gGame.terrainGrid[100][239] = 1;
        gGame.terrainGrid[0][100] = 1;
        Aim(gAssets.playerRight, 0, 0, x, y);
        StepShell();
        EXPECT_EQ(gGame.blastFrame, 0) << x << "," << y;
    }
}

TEST_F(RulesTest, AShellBelowTheWorldEndsTheShotAndTheLastChargeEndsTheGame) {
    UseHeadless("1000 down SPACE\n1100 up SPACE\n");
    ASSERT_EQ(InitLibrary(), 0);
    Aim(gAssets.playerRight, 0, 0, 400, 961);
    gGame.inFlight = 1;
    gGame.charges = 1;
    StepShell();
    EXPECT_EQ(gGame.charges, 0);
    EXPECT_EQ(gGame.inFlight, 0);
    EXPECT_EQ(gGame.titlePending, 1) << "the game-over screen ran";
    EXPECT_EQ(gGame.shellX, 400);
    EndLibrary();
}

TEST_F(RulesTest, TheSixthBlastFrameDamagesTheBaseAndEndsTheShot) {
    Aim(gAssets.playerRight, 0, 12, 400, 400);
    gGame.inFlight = 1;
    gGame.baseHit = 1;
    gGame.blastFrame = 1;
    for (int frame = 1; frame <= 5; ++frame) AnimateBlast();
    EXPECT_EQ(gGame.baseLife, 100);
    AnimateBlast();
    EXPECT_EQ(gGame.baseLife, 90);
    EXPECT_EQ(gGame.score, 10);
    EXPECT_EQ(gGame.charges, 19);
    EXPECT_EQ(gGame.inFlight, 0);
    EXPECT_EQ(gGame.power, 0);
    EXPECT_EQ(gGame.baseHit, 0);
}

TEST_F(RulesTest, ClearingRoundFourteenAddsTheBonusCongratulatesAndSaves) {
    // Each modal screen waits for one press and release.
    UseHeadless("1000 down A\n1100 up A\n2000 down A\n2100 up A\n3000 down A\n3100 up A\n");
    ASSERT_EQ(InitLibrary(), 0);
    gGame.round = 14;
    gGame.baseLife = 10;
    gGame.charges = 5;
    gGame.inFlight = 1;
    gGame.baseHit = 1;
    gGame.blastFrame = 6;
    AnimateBlast();
    EXPECT_EQ(gGame.round, 15);
    EXPECT_EQ(gGame.score, 10 + 500);
    EXPECT_EQ(gGame.titlePending, 1);
    EXPECT_EQ(gGame.roundPending, 1);
    EXPECT_EQ(gGame.charges, 4) << "the clearing shot still ends";
    EXPECT_EQ(ReadProgress(), 15);
    EndLibrary();
}

TEST_F(RulesTest, AGameOverDuringABlastClearsTheHitOnTheBase) {
    UseHeadless("1000 down A\n1100 up A\n");
    ASSERT_EQ(InitLibrary(), 0);
    gGame.charges = 0;  // the full gauge took the last charge at firing
    gGame.inFlight = 1;
    gGame.baseHit = 1;
    gGame.blastFrame = 1;
    AnimateBlast();
    EXPECT_EQ(gGame.titlePending, 1);
    EXPECT_EQ(gGame.inFlight, 0);
    EXPECT_EQ(gGame.blastFrame, 0);
    EXPECT_EQ(gGame.baseHit, 0);
    EXPECT_EQ(gGame.baseLife, 100) << "no damage counted for the cut blast";
    EndLibrary();
}

TEST_F(RulesTest, TheWindMovesOneToSevenAndStaysWithinZeroToSixtyNine) {
    for (uint32_t seed = 1; seed <= 200; ++seed) {
        for (int start : {0, 1, 34, 68, 70}) {
            for (uint8_t rising : {0, 1}) {
                SeedRandom(seed);
                bool flips = RandomUpTo(5) == 1;
                int step = RandomUpTo(6) + 1;
                bool up = flips ? !rising : rising;
                int expected = start + (up ? step : -step);
                if (expected > 68) expected = 69;
                if (expected < 1) expected = 0;

                SeedRandom(seed);
                gGame.wind = start;
                gGame.windRising = rising;
                EndShot();
                ASSERT_EQ(gGame.wind, expected) << "seed " << seed << " start " << start;
                ASSERT_EQ(gGame.windRising, up ? 1 : 0);
            }
        }
    }
}

TEST_F(RulesTest, TheCannonNeedsGroundAheadAndNoWallAndStaysOnTheGrid) {
    Aim(gAssets.playerRight, 0, 0, 400, 400);  // cell (100, 100)
    MovePlayerRight();
    EXPECT_EQ(gGame.playerX, 400) << "no ground ahead";
    EXPECT_EQ(gGame.facing, gAssets.playerRight);

    gGame.terrainGrid[102][103] = 1;
    MovePlayerRight();
    EXPECT_EQ(gGame.playerX, 401);
    EXPECT_EQ(gGame.shellX, 401) << "the shell rides with the cannon";

    gGame.playerX = 400;
    gGame.terrainGrid[102][100] = 1;
    MovePlayerRight();
    EXPECT_EQ(gGame.playerX, 400) << "a wall blocks";
    gGame.terrainGrid[102][100] = 2;
    MovePlayerRight();
    EXPECT_EQ(gGame.playerX, 401) << "the base does not block";

    gGame.terrainGrid[98][103] = 2;
    MovePlayerLeft();
    EXPECT_EQ(gGame.facing, gAssets.playerLeft);
    EXPECT_EQ(gGame.playerX, 400);

    // At the world's edges the cells beyond the grid count as empty.
    for (int row = 0; row < GridRows; ++row)
        for (int column = 0; column < GridColumns; ++column) gGame.terrainGrid[column][row] = 0;
    gGame.terrainGrid[1][103] = 1;
    gGame.playerX = 3;
    MovePlayerLeft();
    EXPECT_EQ(gGame.playerX, 3) << "column -2 is outside: no ground";
    gGame.playerX = 1600;
    MovePlayerRight();
    EXPECT_EQ(gGame.playerX, 1600);
}

TEST_F(RulesTest, TheBaseTakesSeventyCellsClippedAtTheGridsEdge) {
    auto count = [] {
        int n = 0;
        for (auto& column : gGame.terrainGrid)
            for (int32_t cell : column) n += cell == 2;
        return n;
    };
    UseHeadless();
    ASSERT_EQ(InitLibrary(), 0);
    gAssets.terrainData = -1;
    gGame.baseX = 800;
    gGame.baseY = 400;
    BuildTerrainGrid();
    EXPECT_EQ(count(), 70);
    EXPECT_EQ(gGame.terrainGrid[200 - 4][100 - 2], 2);
    EXPECT_EQ(gGame.terrainGrid[200 - 2][100 + 5], 2);
    EXPECT_EQ(gGame.terrainGrid[200 - 3][100 - 3], 0);

    gGame.baseX = 1600;
    gGame.baseY = 960;
    BuildTerrainGrid();
    EXPECT_EQ(count(), 5 * 3 + 3 * 2) << "only the cells inside the grid";
    EndLibrary();
}

TEST_F(RulesTest, TheProgressFileIsReadAsFourLittleEndianBytes) {
    EXPECT_EQ(ReadProgress(), 1) << "missing";
    struct Case {
        std::string bytes;
        int32_t round;
    } cases[] = {
        {std::string("\x05\x00\x00", 3), 1},  // short
        {std::string("\x00\x00\x00\x00", 4), 0},
        {std::string("\xFE\xFF\xFF\xFF", 4), -2},
        {std::string("\x10\x27\x00\x00\x99", 5), 10000},
    };
    for (const Case& c : cases) {
        WriteFile("user.data", c.bytes);
        EXPECT_EQ(ReadProgress(), c.round) << c.bytes.size() << " bytes";
    }
}

TEST_F(RulesTest, SavingOnlyRaisesTheStoredRoundAndNeverLosesIt) {
    gGame.round = 3;
    SaveProgress();
    EXPECT_EQ(ReadFile("user.data"), std::string("\x03\x00\x00\x00", 4));
    gGame.round = 2;
    SaveProgress();
    EXPECT_EQ(ReadProgress(), 3);

    // The replacement cannot be written: the old file stays as it was.
    std::filesystem::create_directory("user.data.tmp");
    gGame.round = 7;
    SaveProgress();
    EXPECT_EQ(ReadProgress(), 3);
    std::filesystem::remove("user.data.tmp");
    SaveProgress();
    EXPECT_EQ(ReadProgress(), 7);
    EXPECT_FALSE(std::filesystem::exists("user.data.tmp"));
}

// A round that cannot be stored is not lost without a word: the log and
// standard error say so, and whatever stood there stays.
TEST_F(RulesTest, AFailedSaveIsReportedAndChangesNothing) {
    UseHeadless();
    ASSERT_EQ(InitLibrary(), 0);
    struct Case {
        const char* blocked;  // made a folder
        const char* why;      // in the report
    };
    for (Case c : {Case{"user.data.tmp", "cannot create user.data.tmp"},
                   Case{"user.data", "cannot replace user.data"}}) {
        std::filesystem::create_directory(c.blocked);
        WriteFile(std::string(c.blocked) + "/kept", "x");
        gGame.round = 9;
        testing::internal::CaptureStderr();
        SaveProgress();
        std::string said = testing::internal::GetCapturedStderr();
        EXPECT_NE(said.find(c.why), std::string::npos) << said;
        EXPECT_NE(ReadLogUtf8().find(std::string("Progress not saved: ") + c.why), std::string::npos);
        EXPECT_EQ(ReadFile(std::string(c.blocked) + "/kept"), "x");
        std::filesystem::remove_all(c.blocked);
    }
    EXPECT_FALSE(std::filesystem::exists("user.data.tmp"));
    EndLibrary();
}

}  // namespace
