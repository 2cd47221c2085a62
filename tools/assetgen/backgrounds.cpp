// The far backgrounds, 960 x 640: the game shows a 640 x 480 window of one
// from (viewX / 3, viewY / 3). Calm skies with soft clouds and distant hazy
// ridges, kept light or low in contrast so that the terrain stays in front.
#include "assets.h"
#include "writers.h"

#include <cmath>

namespace {

constexpr int Width = 960, Height = 640;

struct SkyStyle {
    Rgba zenith, horizon;          // the gradient, top to the horizon line
    float horizonY;                // where the gradient ends
    Rgba glow;                     // sun or moon light spread in the sky
    float glowX, glowY, glowRadius, glowStrength;
    float cloudCover;              // 0 clear .. 1 overcast
    Rgba cloudLight, cloudShade;
    Rgba ridgeFar, ridgeNear;      // distant hills, then nearer ones
    float ridgeFarY, ridgeNearY;   // their mean heights
    bool stars, moon;
    uint32_t seed;
};

float RidgeHeight(float x, float mean, float amplitude, uint32_t seed) {
    float broad = Fbm(x * 0.0035f, 0.5f, 4, seed);
    float sharp = 1 - std::fabs(Fbm(x * 0.012f, 1.5f, 3, seed + 1) - 0.5f) * 2;
    return mean - (broad - 0.5f) * amplitude * 2 - sharp * amplitude * 0.35f;
}

Image PaintSky(const SkyStyle& s) {
    Image image(Width, Height);
    for (int y = 0; y < Height; ++y) {
        for (int x = 0; x < Width; ++x) {
            float fx = float(x), fy = float(y);
            float t = Clamp01(fy / s.horizonY);
            Rgba c = Mix(s.zenith, s.horizon, std::pow(t, 1.6f));

            float g = std::hypot(fx - s.glowX, (fy - s.glowY) * 1.3f) / s.glowRadius;
            c = Mix(c, s.glow, Clamp01(std::exp(-g * g) * s.glowStrength));

            if (s.stars && fy < s.horizonY) {
                float star = Hash01(x, y, s.seed + 2);
                if (star > 0.9985f) {
                    float bright = (star - 0.9985f) / 0.0015f * (1 - t);
                    c = Mix(c, Opaque(1, 1, 0.95f), bright);
                }
            }
            if (s.moon) {
                float d = std::hypot(fx - s.glowX, fy - s.glowY);
                float craters = Fbm(fx * 0.15f, fy * 0.15f, 3, s.seed + 3);
                Rgba face = Mix(Hex(0xf6f2e0), Hex(0xc8c4b4), Smoothstep(0.45f, 0.7f, craters));
                c = Mix(c, face, EdgeCoverage(d - 22));
            }

            // Clouds: stretched noise, lit on top, thinning toward the horizon.
            float n = Fbm(fx * 0.0045f, fy * 0.014f, 5, s.seed + 4);
            float cover = Smoothstep(1 - s.cloudCover, 1 - s.cloudCover + 0.22f, n);
            cover *= 1 - Smoothstep(s.horizonY * 0.55f, s.horizonY * 0.95f, fy);
            if (cover > 0) {
                float above = Fbm(fx * 0.0045f, (fy - 6) * 0.014f, 5, s.seed + 4);
                float lit = Clamp01(0.5f + (n - above) * 14);
                Rgba cloud = Mix(s.cloudShade, s.cloudLight, lit);
                c = Mix(c, cloud, cover * 0.85f);
            }

            // Two bands of hills, the far one faded into the sky.
            float far = RidgeHeight(fx, s.ridgeFarY, 45, s.seed + 5);
            if (fy >= far) {
                float haze = Clamp01((fy - far) / 260);
                c = Mix(Mix(s.ridgeFar, s.horizon, 0.35f), s.ridgeFar, haze);
                c = Mix(c, Opaque(1, 1, 1), EdgeCoverage(std::fabs(fy - far) - 0.6f) * 0.12f);
            }
            float near = RidgeHeight(fx + 517, s.ridgeNearY, 38, s.seed + 6);
            if (fy >= near) {
                float tex = Fbm(fx * 0.03f, fy * 0.03f, 3, s.seed + 7);
                c = Mix(s.ridgeNear, s.horizon, 0.15f * (1 - Clamp01((fy - near) / 120)));
                c = Scaled(c, 0.97f + 0.06f * tex);
            }
            // A little grain keeps the gradients from banding.
            float grain = (Hash01(x, y, s.seed + 8) - 0.5f) * 0.012f;
            image.At(x, y) = Opaque(Clamp01(c.r + grain), Clamp01(c.g + grain), Clamp01(c.b + grain));
        }
    }
    return image;
}

const SkyStyle Morning = {Hex(0x5e98d0), Hex(0xd4e8f2), 470, Hex(0xfff8e0), 760, 60, 260, 0.5f, 0.42f,
                          Hex(0xffffff), Hex(0xaabccc), Hex(0x93aac2), Hex(0x7890aa), 400, 470,
                          false, false, 101};
const SkyStyle Afternoon = {Hex(0x6a8ec2), Hex(0xf0dcb4), 480, Hex(0xfff0c8), 200, 120, 300, 0.55f,
                            0.5f, Hex(0xfff2dc), Hex(0xb8a4a4), Hex(0xab9c94), Hex(0x88767c), 410,
                            480, false, false, 202};
const SkyStyle Dusk = {Hex(0x2a3260), Hex(0xec9c72), 470, Hex(0xffc890), 330, 440, 320, 0.8f, 0.32f,
                       Hex(0xf4b4a0), Hex(0x5c4c6c), Hex(0x5e4c6c), Hex(0x3e3452), 410, 480, false,
                       false, 303};
const SkyStyle Night = {Hex(0x080e26), Hex(0x2c3c64), 480, Hex(0x8aa0d0), 240, 110, 150, 0.45f, 0.3f,
                        Hex(0x56688e), Hex(0x1c2640), Hex(0x222c48), Hex(0x161e34), 410, 480, true,
                        true, 404};
const SkyStyle Highland = {Hex(0x4c8c9c), Hex(0xdcece2), 470, Hex(0xf4fff0), 600, 80, 300, 0.4f, 0.5f,
                           Hex(0xf6fff8), Hex(0x9cb8b4), Hex(0x80aca4), Hex(0x5c8c86), 395, 470,
                           false, false, 505};
const SkyStyle Plain = {Hex(0x78a8d8), Hex(0xe6f0f4), 470, Hex(0xffffff), 480, 40, 260, 0.4f, 0.3f,
                        Hex(0xffffff), Hex(0xb4c4d0), Hex(0x9ab0c4), Hex(0x82a08c), 420, 490, false,
                        false, 606};

}  // namespace

bool WriteBackgrounds(const std::string& root) {
    bool ok = WriteJpeg(AssetPath(root, "Background\\b01.jpg"), PaintSky(Morning), 90);
    ok = WriteJpeg(AssetPath(root, "Background\\b02.jpg"), PaintSky(Afternoon), 90) && ok;
    ok = WriteJpeg(AssetPath(root, "Background\\b03.jpg"), PaintSky(Dusk), 90) && ok;
    ok = WriteJpeg(AssetPath(root, "Background\\b04.jpg"), PaintSky(Night), 90) && ok;
    ok = WritePng(AssetPath(root, "Background\\b101.png"), PaintSky(Highland), PngKind::Rgb) && ok;
    ok = WritePng(AssetPath(root, "Background\\R101.png"), PaintSky(Plain), PngKind::Rgb) && ok;
    return ok;
}
