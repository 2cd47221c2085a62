// Pictures in floating-point RGBA, deterministic noise, and the few shape
// and compositing helpers every painter of the asset generator shares.
#ifndef ASSETGEN_RASTER_H
#define ASSETGEN_RASTER_H

#include <cstddef>
#include <cstdint>
#include <vector>

// Straight (not premultiplied) colour, each channel 0..1.
struct Rgba {
    float r = 0, g = 0, b = 0, a = 0;
};

struct Image {
    int width = 0, height = 0;
    std::vector<Rgba> pixels;  // width x height, top row first

    Image() = default;
    Image(int w, int h, Rgba fill = {}) : width(w), height(h), pixels(size_t(w) * h, fill) {}
    Rgba& At(int x, int y) { return pixels[size_t(y) * width + x]; }
    const Rgba& At(int x, int y) const { return pixels[size_t(y) * width + x]; }
};

Rgba Opaque(float r, float g, float b);
// 0xRRGGBB as an opaque colour.
Rgba Hex(uint32_t rgb);
Rgba Mix(Rgba a, Rgba b, float t);
Rgba Scaled(Rgba c, float k);  // colour channels times k, alpha kept
float Clamp01(float v);
float Smoothstep(float edge0, float edge1, float x);

// Paints `colour` over the pixel with weight `coverage` (0..1).
void BlendOver(Rgba& dst, Rgba colour, float coverage);
// Draws `src` over `dst` with its top-left at (x, y).
void DrawOver(Image& dst, const Image& src, int x, int y);

// Coverage of a pixel whose centre lies `signedDistance` pixels outside a
// shape's edge (negative inside), for a one-pixel-wide soft edge.
float EdgeCoverage(float signedDistance);
// Signed distance to an axis-aligned box with rounded corners.
float RoundBoxDistance(float px, float py, float cx, float cy, float halfW, float halfH,
                       float radius);

// Deterministic noise: the same arguments give the same value on every run.
float Hash01(int32_t x, int32_t y, uint32_t seed);   // 0..1
float ValueNoise(float x, float y, uint32_t seed);   // 0..1, smooth
float Fbm(float x, float y, int octaves, uint32_t seed);  // about 0..1

// `image` turned by `degrees` (positive clockwise on screen) about its
// centre into a `size` x `size` picture, sampled bilinearly.
Image Rotated(const Image& image, float degrees, int size);

// Distance to the nearest border of jittered unit cells (F2 - F1 of a
// cellular pattern): 0 on a border, rising toward a cell's middle.
float CellBorder(float x, float y, uint32_t seed);

// A box blur of the alpha channel only, `radius` pixels, repeated `passes` times.
void BlurAlpha(Image& image, int radius, int passes);

#endif
