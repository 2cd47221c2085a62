// Paints a landform as landscape: grass where the ground faces the sky, a
// band of soil under it, layered rock beneath, lit from the upper left, with
// a dark rim that keeps the edge readable over any sky.
#include "terrain.h"

#include <algorithm>
#include <cmath>
#include <limits>

namespace {

// One-dimensional squared distance transform (Felzenszwalb and Huttenlocher)
// of `f` into `d`, with the scratch buffers it needs.
void DistanceTransform1D(const std::vector<float>& f, std::vector<float>& d, std::vector<int>& v,
                         std::vector<float>& z) {
    const float inf = std::numeric_limits<float>::infinity();
    int n = int(f.size());
    int k = 0;
    v[0] = 0;
    z[0] = -inf;
    z[1] = inf;
    for (int q = 1; q < n; ++q) {
        float s;
        while (true) {
            int p = v[size_t(k)];
            s = ((f[size_t(q)] + float(q) * float(q)) - (f[size_t(p)] + float(p) * float(p))) /
                (2.0f * float(q - p));
            if (s > z[size_t(k)] || k == 0) break;
            --k;
        }
        if (s <= z[size_t(k)]) {
            v[0] = q;
            z[0] = -inf;
            z[1] = inf;
            k = 0;
            continue;
        }
        ++k;
        v[size_t(k)] = q;
        z[size_t(k)] = s;
        z[size_t(k) + 1] = inf;
    }
    k = 0;
    for (int q = 0; q < n; ++q) {
        while (z[size_t(k) + 1] < float(q)) ++k;
        int p = v[size_t(k)];
        d[size_t(q)] = float(q - p) * float(q - p) + f[size_t(p)];
    }
}

// Euclidean distance from every solid pixel to the nearest open one.
std::vector<float> DistanceToOpen(const std::vector<uint8_t>& solid, int w, int h) {
    const float big = 1.0e12f;
    std::vector<float> grid(solid.size());
    for (size_t i = 0; i < solid.size(); ++i) grid[i] = solid[i] ? big : 0;
    int n = std::max(w, h);
    std::vector<float> f(static_cast<size_t>(n)), d(static_cast<size_t>(n)), z(static_cast<size_t>(n) + 1);
    std::vector<int> v(static_cast<size_t>(n));
    for (int x = 0; x < w; ++x) {
        f.resize(size_t(h));
        d.resize(size_t(h));
        for (int y = 0; y < h; ++y) f[size_t(y)] = grid[size_t(y) * w + x];
        DistanceTransform1D(f, d, v, z);
        for (int y = 0; y < h; ++y) grid[size_t(y) * w + x] = d[size_t(y)];
    }
    for (int y = 0; y < h; ++y) {
        f.resize(size_t(w));
        d.resize(size_t(w));
        for (int x = 0; x < w; ++x) f[size_t(x)] = grid[size_t(y) * w + x];
        DistanceTransform1D(f, d, v, z);
        for (int x = 0; x < w; ++x) grid[size_t(y) * w + x] = std::sqrt(d[size_t(x)]);
    }
    return grid;
}

float Overlap(float a0, float a1, float b0, float b1) {
    return std::max(0.0f, std::min(a1, b1) - std::max(a0, b0));
}

// Fraction of each pixel covered by the landform: exact vertically, four
// sub-columns horizontally.
std::vector<float> Coverage(const Landform& land, int w, int h) {
    std::vector<float> cover(size_t(w) * h, 0);
    for (int x = 0; x < w; ++x) {
        for (int s = 0; s < 4; ++s) {
            float sx = float(x) + (float(s) + 0.5f) / 4;
            float top = land.Top(sx), bottom = land.Bottom(sx), lower = land.Lower(sx);
            bool slab = top < float(h) * 10 && bottom > top;
            if (slab && bottom >= lower) {  // the slab reaches the ground: one run
                lower = std::min(lower, top);
                slab = false;
            }
            for (int y = 0; y < h; ++y) {
                float c = Overlap(float(y), float(y + 1), lower, 1.0e9f);
                if (slab) c += Overlap(float(y), float(y + 1), top, bottom);
                cover[size_t(y) * w + x] += std::min(c, 1.0f) / 4;
            }
        }
    }
    return cover;
}

std::vector<float> BoxBlur(const std::vector<float>& in, int w, int h, int radius) {
    std::vector<float> tmp(in.size()), out(in.size());
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x) {
            float sum = 0;
            for (int k = -radius; k <= radius; ++k) sum += in[size_t(y) * w + std::clamp(x + k, 0, w - 1)];
            tmp[size_t(y) * w + x] = sum / float(2 * radius + 1);
        }
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x) {
            float sum = 0;
            for (int k = -radius; k <= radius; ++k) sum += tmp[size_t(std::clamp(y + k, 0, h - 1)) * w + x];
            out[size_t(y) * w + x] = sum / float(2 * radius + 1);
        }
    return out;
}

Rgba RockColour(float x, float y, uint32_t seed) {
    static const Rgba strata[] = {Hex(0x8c7a64), Hex(0xa58e6e), Hex(0x7a6a5c), Hex(0x9a8068),
                                  Hex(0x857565)};
    float band = y * 0.045f + (Fbm(x * 0.006f, y * 0.012f, 4, seed + 1) - 0.5f) * 5;
    float f = band - std::floor(band / 5) * 5;
    int i = int(f);
    float t = Smoothstep(0.7f, 1.0f, f - float(i));
    Rgba c = Mix(strata[i % 5], strata[(i + 1) % 5], t);
    float tone = Fbm(x * 0.004f, y * 0.004f, 3, seed + 14);         // broad patches
    float grain = Fbm(x * 0.12f, y * 0.2f, 3, seed + 2);             // weathered surface
    float speck = Hash01(int32_t(x), int32_t(y), seed + 15);         // sand
    c = Scaled(c, (0.8f + 0.4f * tone) * (0.88f + 0.24f * grain) * (0.95f + 0.1f * speck));
    // Blocks of rock split along cracks, each crack with a lit lip below it.
    float wobble = (Fbm(x * 0.05f, y * 0.05f, 2, seed + 3) - 0.5f) * 0.5f;
    float u = x / 52 + wobble, v = y / 19 + wobble;
    float border = CellBorder(u, v, seed + 16);
    float below = CellBorder(u, v - 1.5f / 19, seed + 16);
    float showing = Smoothstep(0.45f, 0.7f, Fbm(x * 0.008f, y * 0.008f, 2, seed + 17));
    float crack = (1 - Smoothstep(0.01f, 0.06f, border)) * showing;
    float lip = (1 - Smoothstep(0.01f, 0.06f, below)) * (1 - crack) * showing;
    return Scaled(c, (1 - 0.3f * crack) * (1 + 0.08f * lip));
}

Rgba SoilColour(float x, float y, uint32_t seed) {
    Rgba c = Mix(Hex(0x6b4a2e), Hex(0x84603a), Fbm(x * 0.08f, y * 0.08f, 3, seed + 4));
    float pebble = ValueNoise(x * 0.35f, y * 0.45f, seed + 5);
    if (pebble > 0.82f) c = Mix(c, Hex(0xa08a6c), Smoothstep(0.82f, 0.9f, pebble) * 0.7f);
    return Scaled(c, 0.9f + 0.2f * Hash01(int32_t(x), int32_t(y), seed + 6));
}

Rgba GrassColour(float x, float y, float depth, uint32_t seed) {
    Rgba c = Mix(Hex(0x4a7a2a), Hex(0x6a9a36), Fbm(x * 0.07f, y * 0.07f, 3, seed + 7));
    if (depth < 1.5f) c = Mix(c, Hex(0xa0c85a), 0.6f);  // the sunlit lip
    return Scaled(c, 0.88f + 0.24f * Hash01(int32_t(x), int32_t(y), seed + 8));
}

}  // namespace

Image PaintTerrain(const Landform& land, uint32_t seed) {
    const int w = WorldWidth, h = WorldHeight;
    std::vector<float> cover = Coverage(land, w, h);
    std::vector<uint8_t> solid(cover.size());
    for (size_t i = 0; i < cover.size(); ++i) solid[i] = cover[i] >= 0.5f;
    std::vector<float> dist = DistanceToOpen(solid, w, h);
    std::vector<float> soft = BoxBlur(BoxBlur(cover, w, h, 2), w, h, 2);

    // Depth below the nearest open pixel above (and above the nearest below),
    // column by column: it decides grass, soil and rock, and shadows roofs.
    std::vector<float> below(cover.size()), above(cover.size());
    for (int x = 0; x < w; ++x) {
        float run = 0;
        for (int y = 0; y < h; ++y) {
            run = solid[size_t(y) * w + x] ? run + 1 : 0;
            below[size_t(y) * w + x] = run;
        }
        run = 1000;  // the world's floor is not a roof
        for (int y = h - 1; y >= 0; --y) {
            run = solid[size_t(y) * w + x] ? run + 1 : 0;
            above[size_t(y) * w + x] = run;
        }
    }

    const float lightX = -0.55f, lightY = -0.835f;  // toward the light
    Image image(w, h);
    for (int y = 0; y < h; ++y) {
        for (int x = 0; x < w; ++x) {
            size_t i = size_t(y) * w + x;
            if (cover[i] <= 0) continue;
            float fx = float(x), fy = float(y);
            float gx = soft[size_t(y) * w + std::min(x + 1, w - 1)] - soft[size_t(y) * w + std::max(x - 1, 0)];
            float gy = soft[size_t(std::min(y + 1, h - 1)) * w + x] - soft[size_t(std::max(y - 1, 0)) * w + x];
            float len = std::sqrt(gx * gx + gy * gy);
            float nx = len > 1e-4f ? -gx / len : 0, ny = len > 1e-4f ? -gy / len : -1;
            float depth = below[i] + (Fbm(fx * 0.03f, fy * 0.03f, 2, seed + 9) - 0.5f) * 4;
            float grassDepth = 5 + 3 * Fbm(fx * 0.05f, 0.5f, 2, seed + 10);
            float soilDepth = 16 + 20 * Fbm(fx * 0.03f, fy * 0.05f, 3, seed + 11);
            bool facesSky = ny < -0.45f || len < 1e-4f;
            // Soil holds where the open air lies straight above; steep faces show bare rock.
            float topness = Smoothstep(0.55f, 0.8f, dist[i] / std::max(below[i], 1.0f));

            Rgba c = RockColour(fx, fy, seed);
            if (depth < soilDepth) {
                float soil = (1 - Smoothstep(soilDepth - 8, soilDepth, depth)) * topness;
                c = Mix(c, SoilColour(fx, fy, seed), soil);
            }
            if (depth < grassDepth && facesSky) c = GrassColour(fx, fy, depth, seed);

            float rim = 1 - Smoothstep(0, 9, dist[i]);
            float light = (nx * lightX + ny * lightY) * rim;
            float shade = 1 + 0.32f * light;
            shade *= 1 - 0.32f * Smoothstep(12, 110, dist[i]);                  // mass
            shade *= 0.62f + 0.38f * Smoothstep(0, 16, std::min(above[i], 16.0f));  // roofs in shadow
            if (dist[i] < 1.3f && !(depth < grassDepth && facesSky)) shade *= 0.55f;  // rim line
            c = Scaled(c, shade);
            c.a = cover[i];
            image.At(x, y) = c;
        }
    }

    // Blades of grass over every sky-facing lip: picture only, a few pixels tall.
    for (int x = 0; x < w; ++x) {
        for (int y = 1; y < h; ++y) {
            size_t i = size_t(y) * w + x;
            if (!solid[i] || solid[i - w] || below[i] != 1) continue;
            float gy = soft[size_t(std::min(y + 1, h - 1)) * w + x] - soft[size_t(y - 1) * w + x];
            if (gy < 0.15f) continue;  // steep or overhanging: no grass
            float r = Hash01(x, y, seed + 12);
            int blade = 1 + int(r * r * 6);
            Rgba tint = Mix(Hex(0x56882e), Hex(0xa4cc5e), Hash01(x, y, seed + 13));
            for (int k = 1; k <= blade && y - k >= 0; ++k) {
                float a = 0.95f * (1 - float(k - 1) / float(blade + 1));
                BlendOver(image.At(x, y - k), tint, a);
            }
        }
    }
    return image;
}
