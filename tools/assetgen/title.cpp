// The title screen's three pictures, each drawn centred: the logo at
// (320, 100), the subtitle at (320, 160) and the ornament at (320, 200),
// over the black of a cleared screen.
#include "art.h"
#include "assets.h"
#include "font.h"
#include "writers.h"

#include <algorithm>
#include <cmath>

namespace {

// "BALLISTOR" in heavy strokes: a gold face graded top to bottom, each
// stroke rounded like a bar of metal and lit from the upper left, a dark
// rim, and a soft shadow below right.
Image Logo() {
    constexpr int W = 520, H = 100;
    constexpr float Scale = 9, HalfWidth = 6.2f, Rim = 3;
    const std::string text = "BALLISTOR";
    float left = (float(W) - TextWidth(text, Scale)) / 2, top = 18;
    auto strokes = LayoutText(text, left, top, Scale);
    const float capTop = top - HalfWidth, capBottom = top + 6 * Scale + HalfWidth;

    Image shadow(W, H);
    for (int y = 0; y < H; ++y)
        for (int x = 0; x < W; ++x) {
            float d = StrokeDistance(strokes, float(x) + 0.5f - 4, float(y) + 0.5f - 5);
            shadow.At(x, y) = Rgba{0, 0, 0, EdgeCoverage(d - HalfWidth - Rim) * 0.7f};
        }
    BlurAlpha(shadow, 2, 2);

    Image logo = shadow;
    for (int y = 0; y < H; ++y)
        for (int x = 0; x < W; ++x) {
            float px = float(x) + 0.5f, py = float(y) + 0.5f;
            float d = StrokeDistance(strokes, px, py);
            if (d > HalfWidth + Rim + 1) continue;
            BlendOver(logo.At(x, y), Hex(0x24140a), EdgeCoverage(d - HalfWidth - Rim));
            if (d > HalfWidth + 1) continue;
            // The stroke's cross-section is a half cylinder: its normal leans
            // away from the skeleton as far as the pixel lies from it.
            float gx = StrokeDistance(strokes, px + 0.5f, py) - StrokeDistance(strokes, px - 0.5f, py);
            float gy = StrokeDistance(strokes, px, py + 0.5f) - StrokeDistance(strokes, px, py - 0.5f);
            float g = std::hypot(gx, gy);
            float lean = Clamp01(d / HalfWidth);
            float nx = g > 0 ? gx / g * lean : 0, ny = g > 0 ? gy / g * lean : 0;
            float nz = std::sqrt(std::max(0.0f, 1 - nx * nx - ny * ny));
            float light = Clamp01(-0.5f * nx - 0.6f * ny + 0.62f * nz);
            float v = Clamp01((py - capTop) / (capBottom - capTop));
            Rgba face = v < 0.5f ? Mix(Hex(0xfff0b0), Hex(0xf0a830), v / 0.5f)
                                 : Mix(Hex(0xf0a830), Hex(0xa04a14), (v - 0.5f) / 0.5f);
            face = Scaled(face, 0.55f + 0.6f * light);
            float shine = std::pow(light, 8.0f);
            face = Mix(face, Opaque(1, 1, 0.95f), shine * 0.5f);
            face.r = Clamp01(face.r);
            face.g = Clamp01(face.g);
            face.b = Clamp01(face.b);
            BlendOver(logo.At(x, y), face, EdgeCoverage(d - HalfWidth));
        }
    return logo;
}

// A line of spaced capitals in pale steel with a dark drop shadow.
Image Subtitle() {
    constexpr int W = 300, H = 22;
    constexpr float Scale = 2, HalfWidth = 0.9f;
    const std::string text = "CANNON AND WIND";
    float left = std::round((float(W) - TextWidth(text, Scale)) / 2), top = 5;
    auto strokes = LayoutText(text, left + 0.5f, top + 0.5f, Scale);
    Image image(W, H);
    for (int y = 0; y < H; ++y)
        for (int x = 0; x < W; ++x) {
            float px = float(x) + 0.5f, py = float(y) + 0.5f;
            float shadow = StrokeDistance(strokes, px - 1, py - 1);
            BlendOver(image.At(x, y), Hex(0x000000), EdgeCoverage(shadow - HalfWidth));
            float d = StrokeDistance(strokes, px, py);
            Rgba c = Mix(Hex(0xe4eef8), Hex(0x8ea4ba), Clamp01((py - top) / 13));
            BlendOver(image.At(x, y), c, EdgeCoverage(d - HalfWidth));
        }
    // Rules either side of the words.
    float textLeft = left - 14, textRight = left + TextWidth(text, Scale) + 14;
    for (int x = 0; x < W; ++x) {
        float fx = float(x) + 0.5f;
        if (fx > textLeft && fx < textRight) continue;
        float fade = fx <= textLeft ? Clamp01(fx / 60) : Clamp01((float(W) - fx) / 60);
        BlendOver(image.At(x, 11), Hex(0xc8962e), fade);
    }
    return image;
}

// The ornament: the cannon on the left lobs a dotted arc onto the enemy's
// blockhouse on the right, over a strip of ground. Opaque, on black.
Image Ornament() {
    constexpr int W = 400, H = 56;
    Image image(W, H, Opaque(0, 0, 0));
    for (int x = 0; x < W; ++x) {
        float fade = Clamp01(std::min(float(x), float(W - x)) / 70);
        for (int y = 47; y < H; ++y) {
            Rgba ground = Mix(Hex(0x5a8a30), Hex(0x3a2a1a), Clamp01(float(y - 47) / 3));
            BlendOver(image.At(x, y), ground, fade);
        }
    }
    // The shot's path: a parabola from the muzzle to the blockhouse.
    const float x0 = 66, y0 = 23, x1 = 332, y1 = 28, apex = 4;
    for (int k = 1; k < 26; ++k) {
        float t = float(k) / 26;
        float cx = x0 + (x1 - x0) * t;
        float cy = y0 + (y1 - y0) * t - 4 * (y0 - apex) * t * (1 - t);
        for (int y = int(cy) - 2; y <= int(cy) + 2; ++y)
            for (int x = int(cx) - 2; x <= int(cx) + 2; ++x) {
                float d = std::hypot(float(x) + 0.5f - cx, float(y) + 0.5f - cy);
                BlendOver(image.At(x, y), Hex(0xf4cc6a), EdgeCoverage(d - 1.2f));
            }
    }
    DrawOver(image, Rotated(CannonPicture(), -35, 56), 16, 47 - 10 - 28);
    DrawOver(image, BasePicture(), 332 - 25, 47 - 38);
    return image;
}

}  // namespace

bool WriteTitleFiles(const std::string& root) {
    bool ok = WritePng(AssetPath(root, "data\\Ballistor.png"), Logo(), PngKind::Rgba);
    ok = WritePng(AssetPath(root, "data\\Title.png"), Subtitle(), PngKind::Rgba) && ok;
    ok = WriteBmp24(AssetPath(root, "data\\tare.bmp"), Ornament()) && ok;
    return ok;
}
