// The moving pieces: the cannon (both facings), the shell, the enemy base
// and the blast sheet. Each is drawn as signed-distance shapes so that the
// edges are smooth and the alpha clean.
#include "art.h"
#include "assets.h"
#include "fit.h"
#include "writers.h"

#include <algorithm>
#include <cmath>

namespace {

// Light falls from the upper left on every sprite.
constexpr float LightX = -0.5f, LightY = -0.75f;

// Paints a shape given by its signed distance with an outline: the fill is
// `colour(x, y, inside)` where inside is the depth into the shape in pixels.
template <typename Distance, typename Colour>
void PaintShape(Image& image, Distance distance, Colour colour, Rgba outline, float outlineWidth) {
    for (int y = 0; y < image.height; ++y)
        for (int x = 0; x < image.width; ++x) {
            float px = float(x) + 0.5f, py = float(y) + 0.5f;
            float d = distance(px, py);
            if (d > 1) continue;
            Rgba fill = colour(px, py, -d);
            float line = Clamp01(outlineWidth + 0.5f + d);  // 1 within the outline band
            Rgba c = Mix(fill, outline, line * outline.a);
            c.a = 1;
            BlendOver(image.At(x, y), c, EdgeCoverage(d));
        }
}

// The right-facing cannon, pivot at the image centre: a round turret that
// rests on the ground 10 pixels below the pivot, and a barrel to the right.
}  // namespace

Image CannonPicture() {
    constexpr int Size = 56;
    const float c = Size / 2 + 0.5f;  // the centre of the pixel DrawRotaGraph puts on the pivot
    Image image(Size, Size);
    const Rgba steel = Hex(0x4e5a66), steelLight = Hex(0xa8b6c2), steelDark = Hex(0x262d35);
    const Rgba brass = Hex(0xc8962e), brassLight = Hex(0xf4d27a);
    const Rgba outline = Hex(0x14181c);

    auto cylinder = [&](Rgba base, Rgba light, float py, float halfH) {
        float v = (py - c) / halfH;  // -1 top .. 1 bottom
        float shine = std::exp(-((v + 0.35f) * (v + 0.35f)) * 6);
        return Mix(Mix(base, steelDark, Clamp01(v * 0.8f)), light, shine * 0.8f);
    };
    // Barrel: a slightly tapered tube, a brass band, a muzzle ring.
    PaintShape(image,
               [&](float px, float py) {
                   float t = Clamp01((px - c) / 24);
                   float half = 3.8f - 0.6f * t;
                   return RoundBoxDistance(px, py, c + 12, c, 12.5f, half, 1.2f);
               },
               [&](float, float py, float) { return cylinder(steel, steelLight, py, 3.8f); }, outline, 1);
    PaintShape(image, [&](float px, float py) { return RoundBoxDistance(px, py, c + 23, c, 2.5f, 4.8f, 1); },
               [&](float, float py, float) { return cylinder(steel, steelLight, py, 4.8f); }, outline, 1);
    PaintShape(image, [&](float px, float py) { return RoundBoxDistance(px, py, c + 12, c, 1.5f, 4.5f, 0.8f); },
               [&](float, float py, float) { return cylinder(brass, brassLight, py, 4.5f); }, outline, 1);
    // Turret: a shaded ball with a brass ring where the barrel leaves it.
    PaintShape(image,
               [&](float px, float py) { return std::hypot(px - c, py - c) - 10.2f; },
               [&](float px, float py, float) {
                   float nx = (px - c) / 10.2f, ny = (py - c) / 10.2f;
                   float nz = std::sqrt(std::max(0.0f, 1 - nx * nx - ny * ny));
                   float lambert = Clamp01(-(nx * LightX + ny * LightY) * 0.8f + nz * 0.5f);
                   float glint = std::pow(Clamp01(-(nx * -0.45f + ny * -0.55f) + nz * 0.6f), 12.0f);
                   Rgba body = Mix(steelDark, steel, lambert);
                   body = Mix(body, steelLight, lambert * lambert * 0.6f);
                   return Mix(body, Opaque(1, 1, 1), glint * 0.6f);
               },
               outline, 1);
    PaintShape(image,
               [&](float px, float py) { return std::fabs(std::hypot(px - c, py - c) - 6.5f) - 1.1f; },
               [&](float, float py, float) {
                   return Mix(brass, brassLight, Clamp01((c - py) / 8 + 0.3f));
               },
               Rgba{0, 0, 0, 0}, 0);
    return image;
}

namespace {

Image Mirrored(const Image& image) {
    Image out(image.width, image.height);
    for (int y = 0; y < image.height; ++y)
        for (int x = 0; x < image.width; ++x) out.At(image.width - 1 - x, y) = image.At(x, y);
    return out;
}

// The shell, 12 x 12 and centred on its position: a dark iron ball with a
// warm glow so that it shows over night skies and dark rock alike.
Image Shell() {
    Image image(12, 12);
    const float c = 6.5f;
    for (int y = 0; y < 12; ++y)
        for (int x = 0; x < 12; ++x) {
            float d = std::hypot(float(x) + 0.5f - c, float(y) + 0.5f - c);
            float glow = Clamp01(1 - (d - 3.2f) / 2.8f);
            image.At(x, y) = Rgba{1.0f, 0.86f, 0.45f, std::pow(glow, 1.5f) * 0.95f};
        }
    PaintShape(image, [&](float px, float py) { return std::hypot(px - c, py - c) - 3.6f; },
               [&](float px, float py, float) {
                   float nx = (px - c) / 3.6f, ny = (py - c) / 3.6f;
                   float lit = Clamp01(-(nx * LightX + ny * LightY));
                   return Mix(Hex(0x24242a), Hex(0xb4b8c2), lit * lit);
               },
               Hex(0x0a0a0a), 0.6f);
    return image;
}

// The enemy base, 50 x 50 centred on its position: a stone blockhouse with
// battlements and a red pennant, whose footing is row 25 + BaseFootingOffset.
}  // namespace

Image BasePicture() {
    Image image(50, 50);
    const float footing = 25 + BaseFootingOffset;
    const Rgba stone = Hex(0x9c968c), stoneDark = Hex(0x5e5a54), mortar = Hex(0x4a4640);
    const Rgba outline = Hex(0x1e1c1a);
    auto masonry = [&](float px, float py, float) {
        int row = int(std::floor((footing - py) / 5));
        float offset = (row % 2) ? 5 : 0;
        float bx = std::fmod(px + offset, 10.0f), by = std::fmod(footing - py, 5.0f);
        bool joint = bx < 1 || by < 1;
        float shade = 0.85f + 0.3f * Hash01(int(std::floor((px + offset) / 10)), row, 21);
        Rgba c = Mix(stone, stoneDark, Clamp01((py - 14) / 40));
        return joint ? mortar : Scaled(c, shade);
    };
    // Walls with a battlement of four merlons.
    PaintShape(image,
               [&](float px, float py) {
                   float wall = RoundBoxDistance(px, py, 25, (19 + footing) / 2, 19, (footing - 19) / 2, 1);
                   float merlons = 1e9f;
                   for (int m = 0; m < 4; ++m)
                       merlons = std::min(merlons, RoundBoxDistance(px, py, 9.5f + m * 10.3f, 16.5f, 3.5f, 3.5f, 0.8f));
                   return std::min(wall, merlons);
               },
               masonry, outline, 1);
    // A dark gun slit and a door.
    PaintShape(image, [&](float px, float py) { return RoundBoxDistance(px, py, 25, 24.5f, 8, 1.8f, 1.5f); },
               [&](float, float, float) { return Hex(0x141210); }, outline, 0);
    PaintShape(image,
               [&](float px, float py) {
                   float door = RoundBoxDistance(px, py, 25, footing - 4.5f, 4, 4.5f, 0);
                   return std::min(door, std::hypot(px - 25, py - (footing - 9)) - 4);
               },
               [&](float, float py, float) { return Mix(Hex(0x5a3a22), Hex(0x3a2414), Clamp01((py - 28) / 10)); },
               outline, 1);
    // Flag pole and pennant.
    PaintShape(image, [&](float px, float py) { return RoundBoxDistance(px, py, 25, 7.5f, 0.9f, 6.5f, 0.5f); },
               [&](float, float, float) { return Hex(0x3a3530); }, outline, 0);
    PaintShape(image,
               [&](float px, float py) {
                   // A triangle pointing right from the pole, rippling.
                   float wave = std::sin(px * 0.7f) * 0.6f;
                   float t = (px - 26) / 13;
                   float half = 3.4f * (1 - t);
                   float dy = std::fabs(py - 4.5f - wave) - half;
                   return std::max({dy, 26 - px, px - 39});
               },
               [&](float px, float py, float) {
                   return Mix(Hex(0xe8402a), Hex(0x98180e), Clamp01((py - 2) / 6 + (px - 26) / 40));
               },
               outline, 0.7f);
    return image;
}

namespace {

Rgba FireRamp(float heat) {
    static const Rgba stops[] = {Hex(0x3a3432), Hex(0xa8301a), Hex(0xf07a1e), Hex(0xffce44),
                                 Hex(0xfff6dc)};
    float f = Clamp01(heat) * 4;
    int i = std::min(int(f), 3);
    return Mix(stops[i], stops[i + 1], f - float(i));
}

// Seven 96 x 96 frames of an explosion side by side; the game shows 1..6.
Image BlastSheet() {
    constexpr int Frame = 96, Frames = 7;
    const float radius[Frames] = {9, 17, 28, 36, 40, 43, 45};
    const float heatScale[Frames] = {1.0f, 1.05f, 1.0f, 0.82f, 0.55f, 0.33f, 0.18f};
    const float opacity[Frames] = {0.9f, 1.0f, 1.0f, 1.0f, 0.9f, 0.7f, 0.45f};
    Image image(Frame * Frames, Frame);
    for (int f = 0; f < Frames; ++f) {
        for (int y = 0; y < Frame; ++y)
            for (int x = 0; x < Frame; ++x) {
                float dx = float(x) + 0.5f - 48, dy = float(y) + 0.5f - 48;
                float d = std::hypot(dx, dy);
                float angle = std::atan2(dy, dx);
                float n = Fbm(std::cos(angle) * 2 + float(f) * 0.37f, std::sin(angle) * 2, 3, 31);
                float edge = radius[f] * (0.72f + 0.5f * n);
                float u = d / edge;
                if (u >= 1) continue;
                float churn = Fbm(dx * 0.12f + float(f) * 3.1f, dy * 0.12f, 3, 32);
                float heat = std::pow(1 - u, 0.6f) * heatScale[f] + (churn - 0.5f) * 0.35f;
                Rgba c = FireRamp(heat);
                float a = Smoothstep(1.0f, 0.8f, u) * opacity[f] * (0.55f + 0.45f * Clamp01(heat * 3));
                c.a = 1;
                BlendOver(image.At(f * Frame + x, y), c, a);
            }
        // Sparks flung outward in the early frames.
        if (f >= 2 && f <= 4) {
            for (int s = 0; s < 14; ++s) {
                float angle = Hash01(s, 0, 33) * 6.2831853f;
                float reach = radius[f] * (1.0f + 0.35f * Hash01(s, 1, 33));
                float sx = 48 + std::cos(angle) * reach, sy = 48 + std::sin(angle) * reach;
                for (int y = int(sy) - 2; y <= int(sy) + 2; ++y)
                    for (int x = int(sx) - 2; x <= int(sx) + 2; ++x) {
                        if (x < 0 || y < 0 || x >= Frame || y >= Frame) continue;
                        float d = std::hypot(float(x) + 0.5f - sx, float(y) + 0.5f - sy);
                        BlendOver(image.At(f * Frame + x, y), Hex(0xffd870), EdgeCoverage(d - 1.1f));
                    }
            }
        }
    }
    return image;
}

// The window's icon: the cannon raised on a round badge of evening sky.
Image IconPicture(const Image& cannon) {
    constexpr int Size = 64;
    const float c = Size / 2.0f;
    Image image(Size, Size);
    const Rgba skyTop = Hex(0x3a6ea5), skyLow = Hex(0xe8a05a), rim = Hex(0xc8962e);
    for (int y = 0; y < Size; ++y)
        for (int x = 0; x < Size; ++x) {
            float px = float(x) + 0.5f, py = float(y) + 0.5f;
            float d = std::hypot(px - c, py - c) - 30;
            Rgba fill = Mix(skyTop, skyLow, Clamp01(py / Size));
            Rgba colour = Mix(fill, rim, Clamp01(d + 3.5f));
            colour.a = 1;
            BlendOver(image.At(x, y), colour, EdgeCoverage(d));
        }
    DrawOver(image, Rotated(cannon, -40, Size), 0, 6);
    return image;
}

}  // namespace

bool WriteSprites(const std::string& root) {
    Image right = CannonPicture();
    Image shell = Shell();
    Image base = BasePicture();
    bool ok = WritePng(AssetPath(root, "data\\PlayerGraphRight.png"), right, PngKind::Rgba);
    ok = WritePng(AssetPath(root, "data\\PlayerGraphLeft.png"), Mirrored(right), PngKind::Rgba) && ok;
    ok = WriteBmp24(AssetPath(root, "data\\Missile.bmp"), shell) && ok;
    ok = WriteAlphaBmp(AssetPath(root, "data\\Missile_a.bmp"), shell) && ok;
    ok = WriteBmp24(AssetPath(root, "data\\Base.bmp"), base) && ok;
    ok = WriteAlphaBmp(AssetPath(root, "data\\Base_a.bmp"), base) && ok;
    ok = WritePng(AssetPath(root, "data\\Blast.png"), BlastSheet(), PngKind::Rgba) && ok;
    ok = WritePng(AssetPath(root, "data\\Icon.png"), IconPicture(right), PngKind::Rgba) && ok;
    return ok;
}
