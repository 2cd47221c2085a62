// The one terrain serves all twenty rounds: for each, with the grid built
// from the generated mask, the cannon's pivot is clear, it can drive, the
// base stands on the ground and some shot at calm wind strikes the base
// before any rock. Checked first on the decoded mask with the generator's
// own path arithmetic, then through the game itself: its loader, its grid
// and its shell path.
#include "fit.h"
#include "game.h"
#include "graphics/image.h"
#include "support/harness.h"
#include "support/image_files.h"
#include "tessel.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <filesystem>
#include <string>

namespace {

std::string DiskPath(const std::string& gamePath) {
    std::string path = std::string(BALLISTOR_RUN_DIR) + "/" + gamePath;
    for (char& c : path)
        if (c == '\\') c = '/';
    return path;
}

struct Loaded {
    GraphImage image{};
    int result;
    explicit Loaded(const std::string& gamePath) { result = LoadImageFile(DiskPath(gamePath).c_str(), &image); }
    ~Loaded() { FreeGraphImagePixels(&image); }
};

// The mask as the game's grid reads it: a pixel is terrain when its value
// on a 5:6:5 screen is not zero.
TerrainMask MaskFromFile(const std::string& gamePath) {
    Loaded file(gamePath);
    TerrainMask mask;
    EXPECT_EQ(file.result, 0) << gamePath;
    if (file.result != 0) return mask;
    EXPECT_GE(file.image.width, MaskColumns);
    EXPECT_GE(file.image.height, MaskRows);
    for (int r = 0; r < MaskRows && r < file.image.height; ++r)
        for (int c = 0; c < MaskColumns && c < file.image.width; ++c) {
            uint32_t argb = DecodedArgb(file.image, c, r);
            uint32_t r5 = argb >> 19 & 0x1F, g6 = argb >> 10 & 0x3F, b5 = argb >> 3 & 0x1F;
            mask.Set(c, r, (r5 | g6 | b5) != 0);
        }
    return mask;
}

void ExpectFits(const char* what, const RoundFit& fit) {
    EXPECT_TRUE(fit.pivotClear) << what << ": the shell would blast at once";
    EXPECT_TRUE(fit.driveLeft >= 20 || fit.driveRight >= 20) << what << ": the cannon is stuck";
    EXPECT_TRUE(fit.baseOnSurface) << what << ": the base floats or is buried";
    EXPECT_GT(fit.hits, 0) << what << ": no shot at calm wind reaches the base";
}

TEST(TerrainFit, EveryRoundOfTheTableCanBeWon) {
    TerrainMask mask = MaskFromFile("Round\\R001data.png");
    for (int round = 1; round <= 20; ++round) {
        const RoundRow& row = Rounds[round - 1];
        RoundFit fit = CheckRound(mask, row.playerX, row.playerY, row.baseX, row.baseY);
        std::printf("%s\n", DescribeFit(round, fit).c_str());
        ExpectFits(("round " + std::to_string(round)).c_str(), fit);
    }
}

TEST(TerrainFit, RoundFourteenShootsFromTheUpperLedgeDownToTheMesa) {
    TerrainMask mask = MaskFromFile("Round\\R001data.png");
    const RoundRow& row = Rounds[13];
    ASSERT_EQ(row.playerY, 190);
    ASSERT_EQ(row.baseX, 1050);
    ASSERT_EQ(row.baseY, 697);
    FitGrid grid = BuildFitGrid(mask, row.baseX, row.baseY);
    // The cannon stands on the plateau, the base some 500 pixels below it.
    EXPECT_NE(grid.At(row.playerX / 4, row.playerY / 4 + 3), 0);
    RoundFit fit = CheckRound(mask, row.playerX, row.playerY, row.baseX, row.baseY);
    ASSERT_GT(fit.hits, 0) << "the plateau closes the way down";
    int steps = 0;
    EXPECT_EQ(FlyShell(grid, row.playerX, row.playerY, fit.shot, CalmWind, &steps), ShotEnd::Base);
    std::printf("round 14: facing %s, angle %d, power %d reaches the base at step %d (%d settings do)\n",
                fit.shot.facingLeft ? "left" : "right", fit.shot.angle, fit.shot.power, steps, fit.hits);
}

TEST(TerrainFit, StartUpStandInsFitTheGamesStartPositions) {
    // Played when the first round started lies outside the table.
    TerrainMask mask = MaskFromFile("Round\\ObstacleData.BMP");
    RoundFit fit = CheckRound(mask, 800, 890, 1440, 885);
    std::printf("start-up field: %s\n", DescribeFit(0, fit).c_str());
    ExpectFits("start-up field", fit);
}

// The landscape picture is the mask at four times its scale: solid where the
// mask has terrain, see-through where it has none (bar the soft edges).
void ExpectPictureFollowsMask(const std::string& picturePath, const std::string& alphaPath,
                              const std::string& maskPath) {
    TerrainMask mask = MaskFromFile(maskPath);
    Loaded picture(picturePath), alpha(alphaPath);
    ASSERT_EQ(picture.result, 0);
    ASSERT_EQ(alpha.result, 0);
    ASSERT_EQ(picture.image.width, WorldWidth);
    ASSERT_EQ(picture.image.height, WorldHeight);
    int cells = 0, disagree = 0;
    for (int r = 0; r < WorldHeight / 4; ++r)
        for (int c = 0; c < WorldWidth / 4; ++c) {
            uint32_t argb = DecodedArgb(alpha.image, c * 4 + 2, r * 4 + 2);
            int a = picturePath == alphaPath ? int(argb >> 24) : int(argb >> 16 & 0xFF);
            ++cells;
            disagree += (a >= 128) != mask.At(c, r);
        }
    EXPECT_LT(disagree, cells / 100) << disagree << " of " << cells << " cells differ";
}

TEST(TerrainFit, PicturesFollowTheirMasks) {
    ExpectPictureFollowsMask("Round\\R001.png", "Round\\R001.png", "Round\\R001data.png");
    ExpectPictureFollowsMask("Round\\Obstacle.bmp", "Round\\Obstacle_a.bmp", "Round\\ObstacleData.BMP");
}

// The same through the game: its round table, its loader, BuildTerrainGrid
// reading the screen back, and its own shell path over its own grid, on the
// full screen's 16 bits and on a 32-bit desktop, where black read back
// carries the format's spare bits.
class GameTerrainTest : public ::testing::TestWithParam<int> {
protected:
    ScratchDir dir;
    void SetUp() override {
        for (const char* folder : {"Round", "Background"})
            std::filesystem::create_directory_symlink(DiskPath(folder), folder);
        UseHeadless();
        SetScreenMode(640, 480, GetParam(), -1);
        ASSERT_EQ(InitLibrary(), 0);
        SetDrawTarget(TargetBack);
        gGame = GameState{};
        gAssets = GameAssets{};
        // The path only compares the facing with the two handles.
        gAssets.playerLeft = 101;
        gAssets.playerRight = 102;
    }
    void TearDown() override { EndLibrary(); }
};

TEST_P(GameTerrainTest, TheGamesGridMatchesTheMaskAndItsShellReachesTheBase) {
    TerrainMask mask = MaskFromFile("Round\\R001data.png");
    for (int round = 1; round <= 20; ++round) {
        SCOPED_TRACE("round " + std::to_string(round));
        LoadRoundImages(round);
        ASSERT_NE(gAssets.terrainData, -1);
        BuildTerrainGrid();
        const RoundRow& row = Rounds[round - 1];
        ASSERT_EQ(gGame.playerX, row.playerX);
        ASSERT_EQ(gGame.playerY, row.playerY);
        ASSERT_EQ(gGame.baseX, row.baseX);
        ASSERT_EQ(gGame.baseY, row.baseY);
        FitGrid expected = BuildFitGrid(mask, row.baseX, row.baseY);
        int differ = 0;
        for (int c = 0; c < MaskColumns; ++c)
            for (int r = 0; r < MaskRows; ++r) differ += gGame.terrainGrid[c][r] != expected.At(c, r);
        EXPECT_EQ(differ, 0);

        RoundFit fit = CheckRound(mask, row.playerX, row.playerY, row.baseX, row.baseY);
        ASSERT_GT(fit.hits, 0);
        gGame.facing = fit.shot.facingLeft ? gAssets.playerLeft : gAssets.playerRight;
        gGame.barrelAngle = fit.shot.angle;
        gGame.power = fit.shot.power;
        gGame.wind = CalmWind;
        int met = 0;
        for (int t = 0; t < 5000 && met == 0; ++t) {
            ShellPosition p = ShellPositionAt(t);
            if (p.y > WorldHeight) break;
            if (p.x > 0 && p.x < WorldWidth && p.y > 0 && p.y < WorldHeight) met = GridCell(p.x / 4, p.y / 4);
        }
        EXPECT_EQ(met, 2) << "the game's shell meets " << (met == 1 ? "rock" : "nothing") << " first";
    }
}

}  // namespace

INSTANTIATE_TEST_SUITE_P(Depths, GameTerrainTest, ::testing::Values(16, 32));
