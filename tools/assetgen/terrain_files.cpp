// The round files and the start-up stand-ins, refused when the ground does
// not serve every round.
#include "assets.h"
#include "terrain.h"
#include "writers.h"

#include <cstdio>

bool WriteTerrainFiles(const std::string& root) {
    Landform field = MakeBattlefield();
    TerrainMask mask = MaskOf(field);
    bool fits = true;
    std::string report;
    for (int round = 1; round <= 20; ++round) {
        const RoundRow& row = Rounds[round - 1];
        RoundFit fit = CheckRound(mask, row.playerX, row.playerY, row.baseX, row.baseY);
        report += DescribeFit(round, fit) + "\n";
        fits = fits && fit.Fits();
    }
    Landform meadow = MakeMeadow();
    TerrainMask meadowMask = MaskOf(meadow);
    // The game's start-up positions, in play when a round outside the table comes first.
    RoundFit startFit = CheckRound(meadowMask, 800, 890, 1440, 885);
    report += "start-up field, " + DescribeFit(0, startFit) + "\n";
    fits = fits && startFit.Fits();
    if (!fits) std::fprintf(stderr, "%sassetgen: the terrain does not serve every round\n", report.c_str());

    Image meadowPicture = PaintTerrain(meadow, 7);
    bool ok = WritePng(AssetPath(root, "Round\\R001.png"), PaintTerrain(field, 3), PngKind::Rgba);
    ok = WritePng(AssetPath(root, "Round\\R001data.png"), MaskPicture(mask), PngKind::Rgb) && ok;
    ok = WriteBmp24(AssetPath(root, "Round\\Obstacle.bmp"), meadowPicture) && ok;
    ok = WriteAlphaBmp(AssetPath(root, "Round\\Obstacle_a.bmp"), meadowPicture) && ok;
    ok = WriteBmp8(AssetPath(root, "Round\\ObstacleData.BMP"), MaskPicture(meadowMask)) && ok;
    return ok && fits;
}
