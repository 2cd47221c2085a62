#include "raster.h"

#include <algorithm>
#include <cmath>

Rgba Opaque(float r, float g, float b) { return {r, g, b, 1}; }

Rgba Hex(uint32_t rgb) {
    return Opaque(float(rgb >> 16 & 0xFF) / 255, float(rgb >> 8 & 0xFF) / 255,
                  float(rgb & 0xFF) / 255);
}

Rgba Mix(Rgba a, Rgba b, float t) {
    return {a.r + (b.r - a.r) * t, a.g + (b.g - a.g) * t, a.b + (b.b - a.b) * t,
            a.a + (b.a - a.a) * t};
}

Rgba Scaled(Rgba c, float k) { return {c.r * k, c.g * k, c.b * k, c.a}; }

float Clamp01(float v) { return std::clamp(v, 0.0f, 1.0f); }

float Smoothstep(float edge0, float edge1, float x) {
    float t = Clamp01((x - edge0) / (edge1 - edge0));
    return t * t * (3 - 2 * t);
}

void BlendOver(Rgba& dst, Rgba colour, float coverage) {
    float a = Clamp01(colour.a * coverage);
    if (a <= 0) return;
    float outA = a + dst.a * (1 - a);
    if (outA <= 0) return;
    auto channel = [&](float s, float d) { return (s * a + d * dst.a * (1 - a)) / outA; };
    dst = {channel(colour.r, dst.r), channel(colour.g, dst.g), channel(colour.b, dst.b), outA};
}

void DrawOver(Image& dst, const Image& src, int x, int y) {
    for (int j = 0; j < src.height; ++j) {
        int dy = y + j;
        if (dy < 0 || dy >= dst.height) continue;
        for (int i = 0; i < src.width; ++i) {
            int dx = x + i;
            if (dx < 0 || dx >= dst.width) continue;
            const Rgba& s = src.At(i, j);
            BlendOver(dst.At(dx, dy), {s.r, s.g, s.b, 1}, s.a);
        }
    }
}

float EdgeCoverage(float signedDistance) { return Clamp01(0.5f - signedDistance); }

float RoundBoxDistance(float px, float py, float cx, float cy, float halfW, float halfH,
                       float radius) {
    float qx = std::fabs(px - cx) - (halfW - radius);
    float qy = std::fabs(py - cy) - (halfH - radius);
    float ox = std::max(qx, 0.0f), oy = std::max(qy, 0.0f);
    return std::sqrt(ox * ox + oy * oy) + std::min(std::max(qx, qy), 0.0f) - radius;
}

float Hash01(int32_t x, int32_t y, uint32_t seed) {
    uint32_t h = uint32_t(x) * 0x8da6b343u ^ uint32_t(y) * 0xd8163841u ^ seed * 0xcb1ab31fu;
    h ^= h >> 15;
    h *= 0x2c1b3c6du;
    h ^= h >> 12;
    h *= 0x297a2d39u;
    h ^= h >> 15;
    return float(h >> 8) / float(1u << 24);
}

float ValueNoise(float x, float y, uint32_t seed) {
    float fx = std::floor(x), fy = std::floor(y);
    int32_t ix = int32_t(fx), iy = int32_t(fy);
    float tx = x - fx, ty = y - fy;
    tx = tx * tx * (3 - 2 * tx);
    ty = ty * ty * (3 - 2 * ty);
    float a = Hash01(ix, iy, seed), b = Hash01(ix + 1, iy, seed);
    float c = Hash01(ix, iy + 1, seed), d = Hash01(ix + 1, iy + 1, seed);
    float top = a + (b - a) * tx, bottom = c + (d - c) * tx;
    return top + (bottom - top) * ty;
}

float Fbm(float x, float y, int octaves, uint32_t seed) {
    float sum = 0, amplitude = 0.5f, total = 0;
    for (int o = 0; o < octaves; ++o) {
        sum += ValueNoise(x, y, seed + uint32_t(o) * 101u) * amplitude;
        total += amplitude;
        x = x * 2.03f + 17.1f;
        y = y * 2.03f - 9.7f;
        amplitude *= 0.5f;
    }
    return sum / total;
}

float CellBorder(float x, float y, uint32_t seed) {
    float fx = std::floor(x), fy = std::floor(y);
    float f1 = 1e9f, f2 = 1e9f;
    for (int j = -1; j <= 1; ++j)
        for (int i = -1; i <= 1; ++i) {
            int32_t cx = int32_t(fx) + i, cy = int32_t(fy) + j;
            // Points kept off the cell edges: two close points would make a sliver cell.
            float px = float(cx) + 0.15f + 0.7f * Hash01(cx, cy, seed);
            float py = float(cy) + 0.15f + 0.7f * Hash01(cx, cy, seed + 1);
            float d = std::hypot(px - x, py - y);
            if (d < f1) {
                f2 = f1;
                f1 = d;
            } else if (d < f2) {
                f2 = d;
            }
        }
    return f2 - f1;
}

void BlurAlpha(Image& image, int radius, int passes) {
    std::vector<float> line;
    for (int pass = 0; pass < passes; ++pass) {
        for (int horizontal = 1; horizontal >= 0; --horizontal) {
            int lines = horizontal ? image.height : image.width;
            int length = horizontal ? image.width : image.height;
            line.resize(size_t(length));
            for (int l = 0; l < lines; ++l) {
                auto at = [&](int i) -> Rgba& {
                    return horizontal ? image.At(i, l) : image.At(l, i);
                };
                for (int i = 0; i < length; ++i) line[size_t(i)] = at(i).a;
                for (int i = 0; i < length; ++i) {
                    float sum = 0;
                    for (int k = -radius; k <= radius; ++k) {
                        int j = std::clamp(i + k, 0, length - 1);
                        sum += line[size_t(j)];
                    }
                    at(i).a = sum / float(2 * radius + 1);
                }
            }
        }
    }
}

Image Rotated(const Image& image, float degrees, int size) {
    Image out(size, size);
    float a = degrees * 3.14159265f / 180;
    float ca = std::cos(a), sa = std::sin(a);
    float cx = float(image.width) / 2, cy = float(image.height) / 2, oc = float(size) / 2;
    auto texel = [&](int x, int y) {
        if (x < 0 || y < 0 || x >= image.width || y >= image.height) return Rgba{};
        Rgba c = image.At(x, y);
        return Rgba{c.r * c.a, c.g * c.a, c.b * c.a, c.a};  // premultiplied for filtering
    };
    for (int y = 0; y < size; ++y)
        for (int x = 0; x < size; ++x) {
            float dx = float(x) + 0.5f - oc, dy = float(y) + 0.5f - oc;
            float sx = ca * dx + sa * dy + cx - 0.5f, sy = -sa * dx + ca * dy + cy - 0.5f;
            int ix = int(std::floor(sx)), iy = int(std::floor(sy));
            float tx = sx - float(ix), ty = sy - float(iy);
            Rgba top = Mix(texel(ix, iy), texel(ix + 1, iy), tx);
            Rgba bottom = Mix(texel(ix, iy + 1), texel(ix + 1, iy + 1), tx);
            Rgba p = Mix(top, bottom, ty);
            out.At(x, y) = p.a > 0 ? Rgba{p.r / p.a, p.g / p.a, p.b / p.a, p.a} : Rgba{};
        }
    return out;
}
