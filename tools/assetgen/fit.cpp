#include "fit.h"

#include <cmath>
#include <cstdio>
#include <cstdlib>

const RoundRow Rounds[20] = {
    {"Background\\b01.jpg", 1200, 190, 1550, 187},  {"Background\\b01.jpg", 800, 190, 200, 187},
    {"Background\\b01.jpg", 1550, 190, 200, 187},   {"Background\\b01.jpg", 1050, 700, 1350, 727},
    {"Background\\b02.jpg", 1050, 700, 700, 757},   {"Background\\b02.jpg", 1050, 700, 600, 787},
    {"Background\\b02.jpg", 1350, 730, 700, 757},   {"Background\\b02.jpg", 1350, 730, 1050, 697},
    {"Background\\b03.jpg", 700, 760, 1050, 697},   {"Background\\b03.jpg", 600, 790, 1050, 697},
    {"Background\\b03.jpg", 1550, 790, 1150, 787},  {"Background\\b03.jpg", 1550, 790, 1220, 787},
    {"Background\\b04.jpg", 1550, 790, 850, 787},   {"Background\\b04.jpg", 1200, 190, 1050, 697},
    {"Background\\b04.jpg", 1200, 190, 1550, 187},  {"Background\\b04.jpg", 1200, 190, 1550, 187},
    {"Background\\b101.png", 1200, 190, 1550, 187}, {"Background\\b101.png", 1200, 190, 1550, 187},
    {"Background\\b101.png", 1200, 190, 1550, 187}, {"Background\\b101.png", 1200, 190, 1550, 187},
};

int32_t FitGrid::At(int column, int row) const {
    if (column < 0 || column >= MaskColumns || row < 0 || row >= MaskRows) return 0;
    return cells[size_t(column) * MaskRows + row];
}

void FitGrid::Set(int column, int row, int32_t code) {
    if (column < 0 || column >= MaskColumns || row < 0 || row >= MaskRows) return;
    cells[size_t(column) * MaskRows + row] = code;
}

FitGrid BuildFitGrid(const TerrainMask& mask, int baseX, int baseY) {
    FitGrid grid;
    for (int c = 0; c < MaskColumns; ++c)
        for (int r = 0; r < MaskRows; ++r)
            if (mask.At(c, r)) grid.Set(c, r, 1);
    int bc = baseX / 4, br = baseY / 4;
    for (int dc = -4; dc <= 4; ++dc)
        for (int dr = -2; dr <= 2; ++dr) grid.Set(bc + dc, br + dr, 2);
    for (int dc = -2; dc <= 2; ++dc)
        for (int dr : {-4, -3, 3, 4, 5}) grid.Set(bc + dc, br + dr, 2);
    return grid;
}

int DrivableDistance(const FitGrid& grid, int x, int y, int direction, int limit) {
    int moved = 0;
    while (moved < limit) {
        int c = x / 4, r = y / 4;
        bool groundAhead = grid.At(c + 2 * direction, r + 3) != 0;
        bool wallAhead = grid.At(c + 2 * direction, r) == 1;
        if (!groundAhead || wallAhead) break;
        x += direction;
        if (x < 0 || x > WorldWidth) break;
        ++moved;
    }
    return moved;
}

bool BaseStandsOnSurface(const TerrainMask& mask, int baseX, int baseY) {
    int footing = baseY + BaseFootingOffset;
    int topRow = (baseY - 25) / 4;
    for (int c = (baseX - 20) / 4; c <= (baseX + 20) / 4; ++c) {
        int surface = -1;
        for (int r = topRow; r < MaskRows && surface < 0; ++r)
            if (mask.At(c, r)) surface = r;
        if (surface < 0 || std::abs(surface * 4 + 2 - footing) > 4) return false;
    }
    return true;
}

ShotEnd FlyShell(const FitGrid& grid, int x, int y, ShotSetting shot, int wind, int* steps) {
    // The game's constants: pi and the speed factor as doubles, the degree
    // factor in extended precision, the angle worked out in extended precision.
    constexpr double Pi = 3.141592653589793;
    constexpr long double Degree = 1.0L / 180;
    constexpr double Speed = 0.1;
    long double theta = shot.facingLeft ? static_cast<long double>(180 - shot.angle) * Pi * Degree
                                        : static_cast<long double>(shot.angle) * Pi * Degree;
    double cosTheta = std::cos(static_cast<double>(theta));
    double sinTheta = std::sin(static_cast<double>(theta));
    int32_t v = 4 * shot.power;
    // A shell that is never blocked falls below the world long before this.
    constexpr int32_t MaxSteps = 5000;
    for (int32_t t = 0; t < MaxSteps; ++t) {
        if (steps) *steps = t;
        int32_t drift = (wind - CalmWind) * t * t / 1920;
        int32_t drop = t * t / 20;
        auto sx = static_cast<int32_t>(static_cast<long double>(cosTheta) * v * t * Speed + x - drift);
        auto sy = static_cast<int32_t>(y - (static_cast<long double>(sinTheta) * v * t * Speed - drop));
        if (sx > 0 && sx < WorldWidth && sy > 0 && sy < WorldHeight) {
            int32_t cell = grid.At(sx / 4, sy / 4);
            if (cell == 1) return ShotEnd::Terrain;
            if (cell == 2) return ShotEnd::Base;
        }
        if (sy > WorldHeight) return ShotEnd::Fell;
    }
    return ShotEnd::Lost;
}

RoundFit CheckRound(const TerrainMask& mask, int playerX, int playerY, int baseX, int baseY) {
    RoundFit fit;
    FitGrid grid = BuildFitGrid(mask, baseX, baseY);
    fit.pivotClear = grid.At(playerX / 4, playerY / 4) == 0;
    fit.driveLeft = DrivableDistance(grid, playerX, playerY, -1, 20);
    fit.driveRight = DrivableDistance(grid, playerX, playerY, +1, 20);
    fit.baseOnSurface = BaseStandsOnSurface(mask, baseX, baseY);
    bool towardLeft = baseX < playerX;
    for (bool left : {towardLeft, !towardLeft}) {
        for (int angle = 0; angle <= 90; ++angle) {
            for (int power = 1; power <= 39; ++power) {
                ShotSetting shot{left, angle, power};
                int steps = 0;
                if (FlyShell(grid, playerX, playerY, shot, CalmWind, &steps) != ShotEnd::Base) continue;
                if (fit.hits++ == 0) {
                    fit.shot = shot;
                    fit.shotSteps = steps;
                }
            }
        }
    }
    return fit;
}

std::string DescribeFit(int round, const RoundFit& fit) {
    char line[200];
    std::snprintf(line, sizeof line,
                  "round %2d: pivot %s, drives %2d left %2d right, base %s, %4d hitting shots; "
                  "first: facing %s angle %2d power %2d (hits at step %d)",
                  round, fit.pivotClear ? "clear" : "BLOCKED", fit.driveLeft, fit.driveRight,
                  fit.baseOnSurface ? "on the ground" : "NOT ON THE GROUND", fit.hits,
                  fit.shot.facingLeft ? "left " : "right", fit.shot.angle, fit.shot.power,
                  fit.shotSteps);
    return line;
}
