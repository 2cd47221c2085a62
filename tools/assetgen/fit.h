// Whether a terrain mask serves the rounds of the game: the round table, the
// grid as the game builds it from the mask, the cannon's ground test and the
// shell's path with the game's own arithmetic. Standard C++ only, so that the
// generator can refuse an unfit terrain and the tests can check the files.
#ifndef ASSETGEN_FIT_H
#define ASSETGEN_FIT_H

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

constexpr int WorldWidth = 1600, WorldHeight = 960;
constexpr int MaskColumns = 401, MaskRows = 241;
constexpr int CalmWind = 34;
// The base picture's footing lies this many pixels below the base position;
// the ground under a base must meet it there.
constexpr int BaseFootingOffset = 13;

struct RoundRow {
    const char* background;  // as the game names it
    int playerX, playerY, baseX, baseY;
};
extern const RoundRow Rounds[20];

// A quarter-scale terrain mask: one byte per cell, 1 = terrain, row by row.
struct TerrainMask {
    std::vector<uint8_t> cells = std::vector<uint8_t>(size_t(MaskColumns) * MaskRows);
    bool At(int column, int row) const { return cells[size_t(row) * MaskColumns + column] != 0; }
    void Set(int column, int row, bool terrain) {
        cells[size_t(row) * MaskColumns + column] = terrain ? 1 : 0;
    }
};

// Cell codes 0 empty, 1 terrain, 2 base, as the game's grid holds them.
struct FitGrid {
    std::vector<int32_t> cells = std::vector<int32_t>(size_t(MaskColumns) * MaskRows);
    // Cells outside the grid read as empty.
    int32_t At(int column, int row) const;
    void Set(int column, int row, int32_t code);
};

// The mask's terrain cells, then the 70 base cells around (baseX, baseY).
FitGrid BuildFitGrid(const TerrainMask& mask, int baseX, int baseY);

// How far the cannon at (x, y) can drive one way (`direction` -1 or +1) by
// the one-pixel ground test, stopping at `limit` pixels.
int DrivableDistance(const FitGrid& grid, int x, int y, int direction, int limit);

// Whether the ground under the base meets its footing in every column of the
// base's footprint: no terrain above it (buried) and ground within a cell of
// it (not floating). Reads the mask, before the base cells overwrite it.
bool BaseStandsOnSurface(const TerrainMask& mask, int baseX, int baseY);

struct ShotSetting {
    bool facingLeft;
    int angle;  // barrel degrees, 0..90
    int power;  // charge steps, 1..39
};

enum class ShotEnd { Base, Terrain, Fell, Lost };

// Flies a shell from the pivot (x, y) step by step as the game does and
// reports what it met first. `steps` receives the step of the end.
ShotEnd FlyShell(const FitGrid& grid, int x, int y, ShotSetting shot, int wind, int* steps);

struct RoundFit {
    bool pivotClear = false;     // the pivot's own cell is empty
    int driveLeft = 0, driveRight = 0;  // pixels, up to 20
    bool baseOnSurface = false;
    int hits = 0;                // settings at calm wind that strike the base first
    ShotSetting shot{};          // the first of them (facing the base, low angle first)
    int shotSteps = 0;
    bool Fits() const { return pivotClear && (driveLeft >= 20 || driveRight >= 20) && baseOnSurface && hits > 0; }
};

RoundFit CheckRound(const TerrainMask& mask, int playerX, int playerY, int baseX, int baseY);
std::string DescribeFit(int round, const RoundFit& fit);

#endif
