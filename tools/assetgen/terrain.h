// The battlefields: their shape as column profiles, the quarter-scale mask
// the game collides with, and the landscape picture painted over that shape.
#ifndef ASSETGEN_TERRAIN_H
#define ASSETGEN_TERRAIN_H

#include "fit.h"
#include "raster.h"

#include <vector>

// A world column at x is solid where top(x) <= y <= bottom(x) (a hanging
// slab, absent where top is beyond the world) and where y >= lower(x) (the
// ground). Profiles are sampled every quarter pixel.
struct Landform {
    std::vector<float> top, bottom, lower;
    float Top(float x) const;
    float Bottom(float x) const;
    float Lower(float x) const;
    bool Solid(float x, float y) const;
};

// The shared ground of all twenty rounds: a high plateau whose natural arch
// has broken in the middle, over a valley of ledges and a mesa.
Landform MakeBattlefield();
// The start-up stand-in: a meadow fitting the game's start-up positions.
Landform MakeMeadow();

// One cell per 4 x 4 block, sampled at the block's centre.
TerrainMask MaskOf(const Landform& land);
// The mask as a picture: pure black empty, pure white terrain, opaque.
Image MaskPicture(const TerrainMask& mask);
// The landscape picture, 1600 x 960, transparent where the world is empty.
Image PaintTerrain(const Landform& land, uint32_t seed);

#endif
