// Shapes: the pixels each covers (edge tables against hand-made pictures and
// an independent midpoint circle), every pixel once, clipping, coordinates
// at the ends of the int range, and the blend modes and tint against a
// per-pixel reference at 16 and 32 bits.
#include "draw/shape.h"
#include "support/drawing.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <climits>
#include <map>
#include <set>
#include <string>
#include <vector>

namespace {

// How often each pixel of a 64 x 64 clip was sent.
struct Coverage {
    std::map<std::pair<int, int>, int> hits;
    static void Add(void* c, const Rect& r) {
        for (int y = r.top; y < r.bottom; ++y)
            for (int x = r.left; x < r.right; ++x) ++static_cast<Coverage*>(c)->hits[{x, y}];
    }
    ShapeSink Sink() { return {Add, this}; }
    std::set<std::pair<int, int>> Pixels() const {
        std::set<std::pair<int, int>> out;
        for (auto [p, n] : hits) {
            EXPECT_EQ(n, 1) << "pixel " << p.first << "," << p.second << " sent twice";
            out.insert(p);
        }
        return out;
    }
    // The pixels as rows of '#' over `height` rows of `width`.
    std::string Picture(int width, int height) const {
        auto pixels = Pixels();
        std::string s;
        for (int y = 0; y < height; ++y, s += '\n')
            for (int x = 0; x < width; ++x) s += pixels.count({x, y}) ? '#' : '.';
        return s;
    }
};
const Rect Clip64 = {0, 0, 64, 64};

TEST(ShapeRaster, LinesIncludeBothEndsInEveryOctant) {
    // From the centre (3, 3) of a 7 x 7 box to points on its border.
    struct { int x, y; const char* picture; } cases[] = {
        {6, 4, ".......\n.......\n.......\n...##..\n.....##\n.......\n.......\n"},
        {4, 6, ".......\n.......\n.......\n...#...\n...#...\n....#..\n....#..\n"},
        {2, 6, ".......\n.......\n.......\n...#...\n...#...\n..#....\n..#....\n"},
        {0, 4, ".......\n.......\n.......\n..##...\n##.....\n.......\n.......\n"},
        {0, 2, ".......\n.......\n##.....\n..##...\n.......\n.......\n.......\n"},
        {2, 0, "..#....\n..#....\n...#...\n...#...\n.......\n.......\n.......\n"},
        {4, 0, "....#..\n....#..\n...#...\n...#...\n.......\n.......\n.......\n"},
        {6, 2, ".......\n.......\n.....##\n...##..\n.......\n.......\n.......\n"},
        {6, 6, ".......\n.......\n.......\n...#...\n....#..\n.....#.\n......#\n"},
        {3, 3, ".......\n.......\n.......\n...#...\n.......\n.......\n.......\n"},
    };
    for (const auto& c : cases) {
        Coverage runs;
        RasterLine(3, 3, c.x, c.y, Clip64, runs.Sink());
        EXPECT_EQ(runs.Picture(7, 7), c.picture) << "to " << c.x << "," << c.y;
    }
}

// The classic midpoint loop, eight octants plotted into a set.
std::set<std::pair<int, int>> MidpointCircle(int cx, int cy, int r, bool filled) {
    std::set<std::pair<int, int>> out;
    for (int x = r, y = 0, err = 1 - r; x >= y;) {
        for (auto [u, v] : {std::pair{x, y}, {y, x}})
            for (int sx : {-1, 1})
                for (int sy : {-1, 1}) out.insert({cx + sx * u, cy + sy * v});
        ++y;
        if (err < 0) {
            err += 2 * y + 1;
        } else {
            --x;
            err += 2 * (y - x) + 1;
        }
    }
    // Each row from its leftmost pixel, the mirror of its rightmost, across.
    if (filled)
        for (auto [x, y] : std::set(out))
            for (int across = 2 * cx - x; across < x; ++across) out.insert({across, y});
    return out;
}

TEST(ShapeRaster, CirclesAreTheMidpointCircleByTheirExactPixels) {
    Coverage three;
    RasterCircle(3, 3, 3, 0, Clip64, three.Sink());
    EXPECT_EQ(three.Picture(7, 7), "..###..\n.#...#.\n#.....#\n#.....#\n#.....#\n.#...#.\n..###..\n");
    for (int filled : {0, 1})
        for (int r = 1; r <= 30; ++r) {
            Coverage cover;
            RasterCircle(32, 32, r, filled, Clip64, cover.Sink());
            EXPECT_EQ(cover.Pixels(), MidpointCircle(32, 32, r, filled))
                << "radius " << r << (filled ? ", filled" : "");
        }
}

TEST(ShapeRaster, TrianglesSharingEdgesCoverEachPixelOnce) {
    // A fan of triangles about an inner point covers the square exactly:
    // Pixels() fails on any pixel sent twice, the count on any gap.
    for (auto [cx, cy] : {std::pair{20, 13}, {37, 41}, {32, 32}}) {
        Coverage cover;
        const int64_t xs[] = {8, 56, 56, 8}, ys[] = {8, 8, 56, 56};
        for (int i = 0; i < 4; ++i) {
            const int64_t tx[3] = {xs[i], xs[(i + 1) % 4], cx}, ty[3] = {ys[i], ys[(i + 1) % 4], cy};
            RasterTriangle(tx, ty, 1, Clip64, cover.Sink());
        }
        EXPECT_EQ(cover.Pixels().size(), 48u * 48u) << cx << "," << cy;
    }
    Coverage flat, outline;  // no area, and the outline of (1, 1), (5, 1), (1, 5)
    const int64_t lx[3] = {2, 10, 6}, ly[3] = {3, 7, 5}, ox[3] = {1, 5, 1}, oy[3] = {1, 1, 5};
    RasterTriangle(lx, ly, 1, Clip64, flat.Sink());
    EXPECT_EQ(flat.Pixels().size(), 9u) << "no area: the line between its farthest corners";
    RasterTriangle(ox, oy, 0, Clip64, outline.Sink());
    EXPECT_EQ(outline.Picture(7, 7), ".......\n.#####.\n.#..#..\n.#.#...\n.##....\n.#.....\n.......\n");
}

// The library on the software path, the back buffer cleared to black.
class Shapes : public DrawingTest {
protected:
    void Begin(int depth) {
        EndLibrary();
        SetGpuDrawing(0);
        Start(depth);
        Fill(0);
    }
};

TEST_F(Shapes, ShapesAreClippedAndEachPixelIsBlendedOnce) {
    Begin(32);
    // Added at 255 onto black, a pixel drawn twice would read 80.
    const uint32_t blue = MakeColor(0, 0, 40);
    std::vector<std::function<int()>> shapes = {
        [&] { return DrawLineSegment(90, 250, 260, 95, blue, 1); },
        [&] { return DrawLineSegment(90, 250, 260, 95, blue, 7); },
        [&] { return DrawRectangle(90, 95, 260, 250, blue, 0); },
        [&] { return DrawCircleShape(170, 170, 90, blue, 0); },
        [&] { return DrawCircleShape(170, 170, 90, blue, 1); },
        [&] { return DrawTriangleShape(90, 250, 260, 95, 120, 100, blue, 0); },
        [&] { return DrawTriangleShape(90, 250, 260, 95, 120, 100, blue, 1); },
    };
    for (size_t i = 0; i < shapes.size(); ++i) {
        std::vector<uint32_t> whole;
        for (int clip : {0, 1}) {
            Fill(0);
            SetBlendState(BlendAdd, 255);
            if (clip) SetClipRect(100, 110, 200, 180);
            ASSERT_EQ(shapes[i](), 0);
            SetClipRect(0, 0, 640, 480);
            for (int y = 0, k = 0; y < 300; ++y)
                for (int x = 0; x < 300; ++x, ++k) {
                    uint32_t v = At(x, y) & 0xFFFFFF;
                    if (!clip) whole.push_back(v);
                    ASSERT_TRUE(v == 0 || v == 40) << "shape " << i << " at " << x << "," << y;
                    bool kept = !clip || (x >= 100 && x < 200 && y >= 110 && y < 180);
                    ASSERT_EQ(v, kept ? whole[k] : 0) << "shape " << i << ", " << x << "," << y;
                }
        }
        EXPECT_GT(std::count(whole.begin(), whole.end(), 40u), 50) << "shape " << i;
    }
    EXPECT_EQ(DrawLineSegment(0, 0, 10, 10, blue, 0), -1);
    EXPECT_EQ(DrawCircleShape(10, 10, -3, blue, 1), 0);
}

TEST_F(Shapes, CoordinatesAtTheEndsOfTheIntRange) {
    Begin(32);
    const uint32_t white = MakeColor(255, 255, 255);
    auto lit = [](int x, int y) { return (At(x, y) & 0xFFFFFF) != 0; };
    DrawLineSegment(INT_MIN, INT_MIN, INT_MAX - 1, INT_MAX - 1, white, 1);
    DrawCircleShape(320, INT_MAX, INT_MAX - 100, white, 0);  // its top at row 100
    EXPECT_TRUE(lit(0, 0) && lit(300, 300) && !lit(301, 300));
    EXPECT_TRUE(lit(320, 100) && !lit(320, 99) && !lit(320, 101));
    DrawTriangleShape(INT_MIN, INT_MIN, INT_MAX, INT_MIN, 0, INT_MAX, white, 1);
    DrawLineSegment(INT_MAX, 470, INT_MIN, 470, white, INT_MAX);
    DrawRectangle(INT_MIN, INT_MIN, INT_MAX, INT_MAX, white, 0);
    EXPECT_TRUE(lit(320, 10) && lit(639, 479));
    Fill(0);
    DrawLineSegment(INT_MIN, 200, INT_MAX, 201, white, 5);
    EXPECT_TRUE(lit(0, 200) && lit(639, 200) && !lit(320, 100));
}

TEST_F(Shapes, BlendModesAndTintAgainstAPerPixelReference) {
    const int dest[][3] = {{100, 200, 50}, {255, 0, 128}, {3, 250, 255}};
    const int source[][3] = {{60, 100, 250}, {255, 255, 255}, {0, 17, 200}};
    const int tints[][3] = {{255, 255, 255}, {128, 255, 64}}, amounts[] = {0, 128, 255};
    for (int depth : {16, 32}) {
        Begin(depth);
        const int bits[3] = {depth == 16 ? 5 : 8, depth == 16 ? 6 : 8, depth == 16 ? 5 : 8};
        auto channel = [&](uint32_t p, int c) {
            return int(p >> (depth == 16 ? 11 - 6 * c + (c == 2) : 16 - 8 * c)) & ((1 << bits[c]) - 1);
        };
        // Every mode x amount x tint x destination x source.
        for (int k = 0; k < 5 * 3 * 2 * 3 * 3; ++k) {
            int mode = k % 5, amount = amounts[k / 5 % 3];
            const int *t = tints[k / 15 % 2], *d = dest[k / 30 % 3], *s = source[k / 90];
            uint32_t before = MakeColor(d[0], d[1], d[2]), colour = MakeColor(s[0], s[1], s[2]);
            PlatFillSurfaceRect(Back(), 10, 10, 11, 11, before);
            SetDrawTint(t[0], t[1], t[2]);
            SetBlendState(mode, amount);
            DrawPoint(10, 10, colour);
            for (int c = 0; c < 3; ++c) {
                double top = (1 << bits[c]) - 1, w = amount / 255.0, dv = channel(before, c);
                double sv = channel(colour, c) * t[c] / 255.0;
                double want[] = {sv, dv + (sv - dv) * w, std::min(top, dv + sv * w),
                                 dv * (1 - w + w * sv / top), std::max(0.0, dv - sv * w)};
                // A tinted colour is cut to whole levels once more.
                EXPECT_NEAR(channel(At(10, 10), c), mode && !amount ? dv : want[mode],
                            t[0] == 255 ? 1 : 2) << depth << " bits, case " << k << ", channel " << c;
            }
        }
        SetBlendState(BlendNone, 0);
    }
}

// Wide rectangles, many pixels a step, mix as their scalar twin (points) does.
TEST_F(Shapes, WideAlphaShapesMixAsTheirPointsDo) {
    for (int depth : {16, 32}) {
        Begin(depth);
        int under = MakeGraph(40, 13, [](int x, int y) {
            return MakeColor(x * 6, 255 - x * 6, y % 7 * 40 + x) | 0x1Fu * (x & 1); });
        DrawGraph(0, 0, under, 0);
        for (int amount : {1, 77, 128, 254}) {
            SetBlendState(BlendAlpha, amount);
            DrawRectangle(1, 0, 40, 6, MakeColor(250, 40, 90), 1);
            for (int i = 0; i < 6 * 39; ++i) DrawPoint(1 + i % 39, 7 + i / 39, MakeColor(250, 40, 90));
            for (int i = 0; i < 6 * 39; ++i)
                ASSERT_EQ(At(1 + i % 39, i / 39), At(1 + i % 39, 7 + i / 39)) << depth << " bits, " << i;
        }
        SetBlendState(BlendNone, 0);
    }
}

}  // namespace
