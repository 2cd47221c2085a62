// Shapes: the pixels each covers (edge tables against hand-made pictures and
// an independent midpoint circle), every pixel once, clipping, coordinates
// at the ends of the int range, and the blend modes and tint against a
// per-pixel reference at 16 and 32 bits.
#include "draw/shape.h"
#include "support/drawing.h"

#include <gtest/gtest.h>

#include <climits>
#include <cmath>
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
    struct Case {
        int x, y;
        const char* picture;
    } cases[] = {
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
    // The same lines walked pixel by pixel, as the software fill takes them.
    auto walk = [](void* c, const LineWalk& w) {
        int64_t x = w.x, y = w.y, rest = w.rest;
        for (int64_t n = 0; n < w.count; ++n) {
            Coverage::Add(c, Rect{int32_t(x), int32_t(y), int32_t(x + 1), int32_t(y + 1)});
            rest += w.twoMinor;
            bool step = rest >= w.twoMajor;
            rest -= step ? w.twoMajor : 0;
            (w.steep ? y : x) += w.majorSign;
            (w.steep ? x : y) += step ? w.minorSign : 0;
        }
    };
    for (const Case& c : cases) {
        Coverage runs, walked;
        RasterLine(3, 3, c.x, c.y, Clip64, runs.Sink());
        RasterLine(3, 3, c.x, c.y, Clip64, ShapeSink{Coverage::Add, &walked, walk});
        EXPECT_EQ(runs.Picture(7, 7), c.picture) << "to " << c.x << "," << c.y;
        EXPECT_EQ(walked.Picture(7, 7), c.picture) << "walked to " << c.x << "," << c.y;
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
    if (filled) {
        std::map<int, std::pair<int, int>> rows;  // y -> leftmost, rightmost
        for (auto [x, y] : out) {
            auto [it, fresh] = rows.try_emplace(y, x, x);
            it->second = {std::min(it->second.first, x), std::max(it->second.second, x)};
        }
        for (auto [y, span] : rows)
            for (int x = span.first; x <= span.second; ++x) out.insert({x, y});
    }
    return out;
}

TEST(ShapeRaster, CirclesAreTheMidpointCircleByTheirExactPixels) {
    Coverage one;
    RasterCircle(3, 3, 3, 0, Clip64, one.Sink());
    EXPECT_EQ(one.Picture(7, 7),
              "..###..\n.#...#.\n#.....#\n#.....#\n#.....#\n.#...#.\n..###..\n");
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
    Coverage flat, outline;
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
        std::vector<uint32_t> whole, clipped;
        for (auto* out : {&whole, &clipped}) {
            Fill(0);
            SetBlendState(BlendAdd, 255);
            if (out == &clipped) SetClipRect(100, 110, 200, 180);
            ASSERT_EQ(shapes[i](), 0);
            SetClipRect(0, 0, 640, 480);
            for (int y = 0; y < 300; ++y)
                for (int x = 0; x < 300; ++x) out->push_back(At(x, y) & 0xFFFFFF);
        }
        int drawn = 0;
        for (int y = 0, k = 0; y < 300; ++y)
            for (int x = 0; x < 300; ++x, ++k) {
                bool inside = x >= 100 && x < 200 && y >= 110 && y < 180;
                ASSERT_TRUE(whole[k] == 0 || whole[k] == 40) << "shape " << i << " at " << x << "," << y;
                ASSERT_EQ(clipped[k], inside ? whole[k] : 0) << "shape " << i << " at " << x << "," << y;
                drawn += whole[k] != 0;
            }
        EXPECT_GT(drawn, 50) << "shape " << i;
    }
    EXPECT_EQ(DrawLineSegment(0, 0, 10, 10, blue, 0), -1);
    EXPECT_EQ(DrawCircleShape(10, 10, -3, blue, 1), 0);
}

TEST_F(Shapes, CoordinatesAtTheEndsOfTheIntRange) {
    Begin(32);
    const uint32_t white = MakeColor(255, 255, 255);
    auto lit = [](int x, int y) { return (At(x, y) & 0xFFFFFF) != 0; };
    DrawLineSegment(INT_MIN, INT_MIN, INT_MAX - 1, INT_MAX - 1, white, 1);
    EXPECT_TRUE(lit(0, 0) && lit(300, 300) && !lit(301, 300));
    DrawCircleShape(320, INT_MAX, INT_MAX - 100, white, 0);  // its top at row 100
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
    for (int depth : {16, 32}) {
        Begin(depth);
        const int bits[3] = {depth == 16 ? 5 : 8, depth == 16 ? 6 : 8, depth == 16 ? 5 : 8};
        auto channel = [&](uint32_t p, int c) {
            int shift = depth == 16 ? (c == 0 ? 11 : c == 1 ? 5 : 0) : 16 - 8 * c;
            return int(p >> shift) & ((1 << bits[c]) - 1);
        };
        for (int mode = BlendNone; mode <= BlendSubtract; ++mode)
            for (int amount : {0, 128, 255})
                for (uint32_t tint : {0xFFFFFFu, 0xFF80FF40u})
                    for (auto& d : dest)
                        for (auto& s : source) {
                            uint32_t before = MakeColor(d[0], d[1], d[2]);
                            PlatFillSurfaceRect(Back(), 10, 10, 11, 11, before);
                            gDraw.colourModulation = tint;
                            SetBlendState(mode, amount);
                            DrawPoint(10, 10, MakeColor(s[0], s[1], s[2]));
                            gDraw.colourModulation = 0xFFFFFFFF;
                            uint32_t got = At(10, 10);
                            for (int c = 0; c < 3; ++c) {
                                double top = (1 << bits[c]) - 1, w = amount / 255.0;
                                double dv = channel(before, c);
                                double t = (tint >> (16 - 8 * c) & 0xFF) / 255.0;
                                double sv = channel(MakeColor(s[0], s[1], s[2]), c) * t;
                                double want[] = {sv, dv + (sv - dv) * w, std::min(top, dv + sv * w),
                                                 dv * (1 - w + w * sv / top), std::max(0.0, dv - sv * w)};
                                double expected = mode == BlendNone || amount > 0 ? want[mode] : dv;
                                // A tinted colour is cut to whole levels once more.
                                EXPECT_NEAR(channel(got, c), expected, tint == 0xFFFFFF ? 1 : 2)
                                    << depth << " bits, mode " << mode << " amount " << amount
                                    << " tint " << std::hex << tint << " channel " << c;
                            }
                        }
        SetBlendState(BlendNone, 0);
    }
}

// The mix of wide rectangles, many pixels a step, against its scalar twin.
TEST_F(Shapes, WideAlphaShapesMixAsTheirPointsDo) {
    for (int depth : {16, 32}) {
        Begin(depth);
        // Under both: many channel values along 40 x 3 pixels.
        int under = MakeGraph(40, 3, [](int x, int y) {
            return MakeColor(x * 6, 255 - x * 6, y * 90 + x) | 0x1Fu * (x & 1);
        });
        DrawGraph(0, 0, under, 0);
        DrawGraph(0, 10, under, 0);
        for (int amount : {1, 77, 128, 254}) {
            SetBlendState(BlendAlpha, amount);
            DrawRectangle(1, 10, 40, 13, MakeColor(250, 40, 90), 1);
            for (int y = 0; y < 3; ++y)
                for (int x = 1; x < 40; ++x) DrawPoint(x, y, MakeColor(250, 40, 90));
            for (int y = 0; y < 3; ++y)
                for (int x = 1; x < 40; ++x)
                    ASSERT_EQ(At(x, y + 10), At(x, y)) << depth << " bits, " << x << "," << y;
        }
        SetBlendState(BlendNone, 0);
    }
}

}  // namespace
