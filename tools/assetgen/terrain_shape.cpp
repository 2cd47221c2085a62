// The shapes of the battlefields. Every height the rounds depend on is flat
// and exact: the upper plateau's surface at y = 200 and the valley ledges at
// 710, 740, 770 and 800, which is where the cannon (pivot 10 pixels above the
// ground) and the base (footing 13 pixels below its position) of the round
// table stand. Noise roughens only the stretches no round stands on.
#include "terrain.h"

#include <algorithm>
#include <cmath>

namespace {

constexpr int Oversample = 4;       // profile samples per pixel
constexpr float Absent = 1.0e6f;    // a slab top beyond the world: no slab
constexpr float Pi = 3.14159265f;

// A smooth hump of height h (negative rises) and half-width w centred on c.
float Bump(float x, float c, float w, float h) {
    float d = std::fabs(x - c);
    return d < w ? h * 0.5f * (1 + std::cos(Pi * d / w)) : 0;
}

// 0 within `flat` pixels of any key position, 1 beyond `flat + ramp`.
float Freedom(float x, std::initializer_list<float> keys, float flat, float ramp) {
    float nearest = 1e9f;
    for (float k : keys) nearest = std::min(nearest, std::fabs(x - k));
    return Smoothstep(flat, flat + ramp, nearest);
}

// The wall of a cave rising from the ground at `foot` as a quarter ellipse
// of width rx and height ry, whose roof runs on flat past `foot` + rx (or
// `foot` - rx for a negative rx, a wall on the right).
float CaveWall(float x, float foot, float ground, float rx, float ry) {
    float u = Clamp01((x - foot) / rx);
    return ground - ry * std::sqrt(1 - (1 - u) * (1 - u));
}

// max(a, b) with the corner rounded over `k` pixels, so that joined shapes
// blend instead of meeting in a notch.
float SmoothMax(float a, float b, float k) {
    float h = std::max(k - std::fabs(a - b), 0.0f) / k;
    return std::max(a, b) + h * h * k * 0.25f;
}

struct Ledge {
    float from, to, level;  // a flat stretch of ground
};

// Ground made of flat ledges joined by smooth slopes; `rough` receives how
// far x lies into a slope (0 on a ledge, 1 mid-slope).
float LedgeGround(float x, const std::vector<Ledge>& ledges, float* rough) {
    *rough = 0;
    if (x <= ledges.front().to) return ledges.front().level;
    for (size_t i = 1; i < ledges.size(); ++i) {
        const Ledge& a = ledges[i - 1];
        const Ledge& b = ledges[i];
        if (x <= b.from) {
            float t = Clamp01((x - a.to) / (b.from - a.to));
            *rough = 4 * t * (1 - t);
            return a.level + (b.level - a.level) * t * t * (3 - 2 * t);
        }
        if (x <= b.to) return b.level;
    }
    return ledges.back().level;
}

template <typename Profile>
std::vector<float> Sampled(Profile profile) {
    std::vector<float> out(size_t(WorldWidth * Oversample + 1));
    for (size_t i = 0; i < out.size(); ++i) out[i] = profile(float(i) / Oversample);
    return out;
}

float SampleProfile(const std::vector<float>& p, float x) {
    float fx = std::clamp(x, 0.0f, float(WorldWidth)) * Oversample;
    size_t i = size_t(fx);
    if (i + 1 >= p.size()) return p.back();
    float t = fx - float(i);
    if (p[i] >= Absent || p[i + 1] >= Absent) return t < 0.5f ? p[i] : p[i + 1];
    return p[i] + (p[i + 1] - p[i]) * t;
}

// Where the broken arch's two halves end, either side of the gap that opens
// the way from the plateau down to the mesa.
constexpr float LeftTip = 968, RightTip = 1132;

float PlateauTop(float x) {
    float free = Freedom(x, {200, 800, 1200, 1550}, 35, 45);
    float top = 200 + Bump(x, 10, 110, -55) + Bump(x, 500, 130, -22) + Bump(x, 1385, 105, -24);
    top += (Fbm(x * 0.025f, 3.1f, 3, 11) - 0.5f) * 10 * free;
    // The broken ends round off.
    float fromTip = x < 1050 ? LeftTip - x : x - RightTip;
    if (fromTip < 0) return Absent;
    top += 16 * (1 - std::sqrt(Clamp01(fromTip / 36)));
    return top;
}

float PlateauBottom(float x) {
    if (x < 420) return float(WorldHeight);
    float fromTip = x < 1050 ? LeftTip - x : x - RightTip;
    if (fromTip < 0) return 0;
    float thick = 122 + (Fbm(x * 0.012f, 7.7f, 4, 12) - 0.5f) * 40;
    // Ragged underside: broken rock hanging in points.
    float drips = std::pow(ValueNoise(x * 0.09f, 1.3f, 13), 5.0f) * 22;
    float bottom = 200 + thick * std::sqrt(Clamp01(fromTip / 190)) + drips;
    float roofNoise = (Fbm(x * 0.04f, 2.2f, 3, 14) - 0.5f) * 18;
    if (x < 600) bottom = SmoothMax(bottom, CaveWall(x, 420, 800, 140, 470) + roofNoise, 40);
    if (x > 1490) bottom = SmoothMax(bottom, CaveWall(x, 1600, 800, -70, 470) + roofNoise, 40);
    return bottom;
}

float ValleyGround(float x) {
    static const std::vector<Ledge> ledges = {
        {0, 655, 800},     {675, 735, 770},   {762, 938, 800},   {992, 1106, 710},
        {1124, 1262, 800}, {1300, 1398, 740}, {1438, 1600, 800},
    };
    float rough = 0;
    float y = LedgeGround(x, ledges, &rough);
    return y + (Fbm(x * 0.05f, 5.5f, 3, 15) - 0.5f) * 14 * rough;
}

float MeadowGround(float x) {
    float free = Freedom(x, {800, 1440}, 40, 60);
    float y = 898 + Bump(x, 250, 230, -150) + Bump(x, 1110, 180, -70) + Bump(x, 1640, 110, -80);
    return y + (Fbm(x * 0.02f, 9.1f, 4, 16) - 0.5f) * 16 * free;
}

}  // namespace

float Landform::Top(float x) const { return SampleProfile(top, x); }
float Landform::Bottom(float x) const { return SampleProfile(bottom, x); }
float Landform::Lower(float x) const { return SampleProfile(lower, x); }

bool Landform::Solid(float x, float y) const {
    if (y >= Lower(x)) return true;
    float t = Top(x);
    return t < Absent && y >= t && y <= Bottom(x);
}

Landform MakeBattlefield() {
    Landform land;
    land.top = Sampled(PlateauTop);
    land.bottom = Sampled(PlateauBottom);
    land.lower = Sampled(ValleyGround);
    return land;
}

Landform MakeMeadow() {
    Landform land;
    land.top = Sampled([](float) { return Absent; });
    land.bottom = Sampled([](float) { return 0.0f; });
    land.lower = Sampled(MeadowGround);
    return land;
}

TerrainMask MaskOf(const Landform& land) {
    TerrainMask mask;
    for (int r = 0; r < MaskRows; ++r)
        for (int c = 0; c < MaskColumns; ++c) {
            // The last column and row lie past the world's edge: they repeat the edge.
            float x = std::min(float(c * 4 + 2), WorldWidth - 0.5f);
            float y = std::min(float(r * 4 + 2), WorldHeight - 0.5f);
            mask.Set(c, r, land.Solid(x, y));
        }
    return mask;
}

Image MaskPicture(const TerrainMask& mask) {
    Image image(MaskColumns, MaskRows, Opaque(0, 0, 0));
    for (int r = 0; r < MaskRows; ++r)
        for (int c = 0; c < MaskColumns; ++c)
            if (mask.At(c, r)) image.At(c, r) = Opaque(1, 1, 1);
    return image;
}
