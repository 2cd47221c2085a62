// The blend state and the tint against a per-pixel reference worked out
// here in floating point: every mode at amounts 0, 128 and 255, with and
// without a tint, for plain, keyed and alpha graphs, drawn whole, turned,
// mirrored, stretched and as text, at 16 and 32 bits. On the GPU path the
// same picture is also held to the software path's within 2 levels on
// 99.9 % of pixels.
#include "draw/blit.h"
#include "draw/draw_state.h"
#include "platform/gpu/gpu.h"
#include "support/drawing.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <functional>
#include <random>
#include <vector>

namespace {

// A cell of the table: a 17 x 3 graph drawn 1 pixel in from its corner.
// Odd sides keep every stretched pixel's centre off a texel's edge.
constexpr int CellWidth = 24, CellHeight = 6, GraphWidth = 17, GraphHeight = 3;
constexpr int Tint[3] = {255, 128, 40};

// Graph kinds: key-coloured pixels left out or drawn, with or without a plane.
struct Kind {
    bool keyed, alpha;
};
constexpr Kind Kinds[] = {{false, false}, {true, false}, {false, true}, {true, true}};

struct Cell {
    int mode, amount, kind;
    bool tinted;
};

std::vector<Cell> Cells() {
    std::vector<Cell> cells;
    for (int mode = BlendNone; mode <= BlendSubtract; ++mode)
        for (int amount : {0, 128, 255})
            for (int kind = 0; kind < 4; ++kind)
                for (bool tinted : {false, true}) cells.push_back({mode, amount, kind, tinted});
    return cells;
}

// The source and the background in 8 bits a channel; every fourth source
// pixel of the first row is black, the key.
uint32_t SourceRgb(int x, int y) {
    if (y == 0 && x % 4 == 1) return 0;
    return uint32_t(40 + 10 * x) << 16 | uint32_t(250 - 45 * y) << 8 | uint32_t(30 + 11 * x + 40 * y);
}
int SourceAlpha(int x, int y) { return x == 0 ? 0 : x == 1 ? 255 : (x * 37 + y * 71) % 256; }
uint32_t BackgroundRgb(int x, int y) {
    return uint32_t((x * 29) & 0xFF) << 16 | uint32_t((y * 47 + x) & 0xFF) << 8 |
           uint32_t(255 - ((x * 13 + y * 7) & 0xFF));
}

uint32_t ToScreen(uint32_t rgb) { return MakeColor(int(rgb >> 16), int(rgb >> 8 & 0xFF), int(rgb & 0xFF)); }

// Channel c (red, green, blue) of a screen pixel, and its maximum.
int Channel(uint32_t pixel, int c, bool top = false) {
    const ColorFormat* f = GetScreenFormat();
    const uint32_t mask = c == 0 ? f->redMask : c == 1 ? f->greenMask : f->blueMask;
    return int(((top ? mask : pixel) & mask) >> __builtin_ctz(mask));
}

// What the drawing state makes of source colour `s` at own alpha `a` over
// `d`: how far, in levels of the channel, `got` strays from it at worst.
double Stray(const Cell& cell, uint32_t s, int a, uint32_t d, uint32_t got) {
    int mode = cell.tinted && cell.mode == BlendNone ? BlendAlpha : cell.mode;
    double w = (cell.mode == BlendNone ? 255 : cell.amount) / 255.0 * a / 255.0, worst = 0;
    for (int c = 0; c < 3; ++c) {
        double m = Channel(0, c, true), dc = Channel(d, c);
        double colour = Channel(s, c) * (cell.tinted ? Tint[c] / 255.0 : 1.0), want;
        switch (mode) {
        case BlendAdd: want = std::min(m, dc + colour * w); break;
        case BlendMultiply: want = dc + (dc * colour / m - dc) * w; break;
        case BlendSubtract: want = std::max(0.0, dc - colour * w); break;
        default: want = dc + (colour - dc) * w;
        }
        worst = std::max(worst, std::fabs(Channel(got, c) - want));
    }
    return worst;
}

// Where a draw put the graph in its cell: the graph pixel shown at cell
// pixel (x, y), or false where the graph is not drawn.
using Placement = std::function<bool(int x, int y, int* gx, int* gy)>;
using CellDraw = std::function<void(int x, int y, int graph, int transparent)>;

Placement Unmoved(bool mirrored) {
    return [=](int x, int y, int* gx, int* gy) {
        *gx = mirrored ? GraphWidth - x : x - 1;
        *gy = y - 1;
        return x >= 1 && x <= GraphWidth && y >= 1 && y <= GraphHeight;
    };
}

// The graph stretched over cell columns left..right and rows top..bottom
// (either pair reversed to mirror), each pixel showing the one under its
// centre.
Placement Stretched(int left, int top, int right, int bottom) {
    return [=](int x, int y, int* gx, int* gy) {
        int x0 = std::min(left, right), x1 = std::max(left, right);
        int y0 = std::min(top, bottom), y1 = std::max(top, bottom);
        *gx = int(std::floor((x - x0 + 0.5) * GraphWidth / (x1 - x0)));
        *gy = int(std::floor((y - y0 + 0.5) * GraphHeight / (y1 - y0)));
        if (right < left) *gx = GraphWidth - 1 - *gx;
        if (bottom < top) *gy = GraphHeight - 1 - *gy;
        return x >= x0 && x < x1 && y >= y0 && y < y1;
    };
}

class Blend : public DrawingTest {
protected:
    int graphs_[4] = {};
    int background_ = -1;

    void MakeGraphs() {
        for (int k = 0; k < 4; ++k)
            graphs_[k] = MakeGraph(
                GraphWidth, GraphHeight, [](int x, int y) { return ToScreen(SourceRgb(x, y)); },
                Kinds[k].alpha ? std::function<int(int, int)>(SourceAlpha) : nullptr);
        background_ = MakeGraph(640, 480, [](int x, int y) { return ToScreen(BackgroundRgb(x, y)); });
    }

    static int CellX(size_t i) { return int(i % 26) * CellWidth; }
    static int CellY(size_t i) { return int(i / 26) * CellHeight; }

    // Every cell drawn by `draw` at its corner, under its state.
    void DrawCells(const CellDraw& draw) {
        SetBlendState(BlendNone, 0);
        SetDrawTint(255, 255, 255);
        ASSERT_EQ(DrawGraph(0, 0, background_, 0), 0);
        std::vector<Cell> cells = Cells();
        for (size_t i = 0; i < cells.size(); ++i) {
            const Cell& cell = cells[i];
            int t = cell.tinted ? 0 : 255;
            ASSERT_EQ(SetBlendState(cell.mode, cell.amount), 0);
            ASSERT_EQ(SetDrawTint(std::max(t, Tint[0]), std::max(t, Tint[1]), std::max(t, Tint[2])), 0);
            draw(CellX(i), CellY(i), graphs_[cell.kind], Kinds[cell.kind].keyed);
        }
        SetBlendState(BlendNone, 0);
        SetDrawTint(255, 255, 255);
    }

    static std::vector<uint32_t> Screen() {
        std::vector<uint32_t> out;
        for (int y = 0; y < 480; ++y)
            for (int x = 0; x < 640; ++x) out.push_back(uint32_t(ReadScreenPixel(x, y)));
        return out;
    }

    // Pixels of the cells (the whole cell: nothing may land outside the
    // graph's place) that stray more than `levels` from the reference.
    static int CheckCells(const std::vector<uint32_t>& screen, double levels, int report,
                          const Placement& placed) {
        std::vector<Cell> cells = Cells();
        int wrong = 0;
        for (size_t i = 0; i < cells.size(); ++i)
            for (int cy = 0; cy < CellHeight; ++cy)
                for (int cx = 0; cx < CellWidth; ++cx) {
                    const Cell& cell = cells[i];
                    int x = CellX(i) + cx, y = CellY(i) + cy, gx, gy;
                    bool drawn = placed(cx, cy, &gx, &gy);
                    bool left = !drawn || (Kinds[cell.kind].keyed && SourceRgb(gx, gy) == 0);
                    int a = left ? 0 : Kinds[cell.kind].alpha ? SourceAlpha(gx, gy) : 255;
                    uint32_t got = screen[size_t(y) * 640 + x];
                    double stray = Stray(cell, ToScreen(left ? 0 : SourceRgb(gx, gy)), a,
                                         ToScreen(BackgroundRgb(x, y)), got);
                    // The plain state keeps its older loops, which truncate
                    // and carry between channels.
                    if (stray <= (cell.mode == BlendNone && !cell.tinted ? 2 * levels : levels)) continue;
                    if (wrong++ < report)
                        ADD_FAILURE() << "mode " << cell.mode << " amount " << cell.amount << " kind "
                                      << cell.kind << " tinted " << cell.tinted << " at " << cx << ","
                                      << cy << ": " << stray << " levels off";
                }
        return wrong;
    }

    // The table drawn by `draw` against the reference; on the GPU path
    // against the software path's picture as well.
    void CheckTable(const CellDraw& draw, const Placement& placed) {
        const int pixels = int(Cells().size()) * CellWidth * CellHeight;
        for (int depth : {16, 32}) {
            SCOPED_TRACE(depth);
            EndLibrary();
            Start(depth);
            MakeGraphs();
            DrawCells(draw);
            std::vector<uint32_t> picture = Screen();
            if (!IsGpuDrawing()) {
                EXPECT_EQ(CheckCells(picture, 2.0, 8, placed), 0);
                continue;
            }
            EXPECT_LE(CheckCells(picture, 3.0, 0, placed), pixels / 1000);
            UseSoftwarePath();
            MakeGraphs();
            DrawCells(draw);
            std::vector<uint32_t> software = Screen();
            // The spare byte of a 32-bit screen counts as a fourth channel.
            auto differs = [](uint32_t a, uint32_t b) {
                for (int c = 0; c < 3; ++c)
                    if (std::abs(Channel(a, c) - Channel(b, c)) > 2) return true;
                return QueryScreenDepth() == 32 && std::abs(int(a >> 24) - int(b >> 24)) > 2;
            };
            size_t differing = 0;
            for (size_t i = 0; i < picture.size(); ++i) differing += differs(picture[i], software[i]);
            EXPECT_LE(differing, picture.size() / 1000);
            SetGpuDrawing(1);
        }
    }
};

TEST_F(Blend, GraphsFollowTheReferenceInEveryMode) {
    CheckTable([](int x, int y, int graph, int keyed) { ASSERT_EQ(DrawGraph(x + 1, y + 1, graph, keyed), 0); },
               Unmoved(false));
    // Scale 1 and no angle put the graph where DrawGraph does.
    CheckTable([](int x, int y, int graph, int keyed) {
        ASSERT_EQ(DrawRotaGraph(x + 1 + GraphWidth / 2, y + 2, 1.0, 0.0, graph, keyed, 0), 0);
    }, Unmoved(false));
}

// A mirrored part keeps its own rectangle, its columns reversed inside it;
// a mirrored turned graph keeps its pixels.
TEST_F(Blend, MirroredGraphsFollowTheReferenceInEveryMode) {
    CheckTable([](int x, int y, int graph, int keyed) {
        ASSERT_EQ(DrawGraphPart(x + 4, y + 1, 3, 0, 11, GraphHeight, graph, keyed, 1), 0);
    }, [](int x, int y, int* gx, int* gy) {
        *gx = 3 + 10 - (x - 4);
        *gy = y - 1;
        return x >= 4 && x < 15 && y >= 1 && y <= GraphHeight;
    });
    CheckTable([](int x, int y, int graph, int keyed) {
        ASSERT_EQ(DrawRotaGraph(x + 1 + GraphWidth / 2, y + 2, 1.0, 0.0, graph, keyed, 1), 0);
    }, Unmoved(true));
}

// Enlarged, shrunk, and mirrored on both axes by a reversed rectangle.
TEST_F(Blend, StretchedGraphsTakeThePixelUnderEachCentre) {
    const int rectangles[3][4] = {{1, 1, 23, 6}, {2, 1, 11, 3}, {22, 5, 1, 1}};
    for (const auto& r : rectangles)
        CheckTable([&](int x, int y, int graph, int keyed) {
            ASSERT_EQ(DrawStretchedGraph(x + r[0], y + r[1], x + r[2], y + r[3], graph, keyed), 0);
        }, Stretched(r[0], r[1], r[2], r[3]));
}

// Rectangles reaching the ends of the int range draw the part inside the
// clip, as the same arithmetic in the test predicts, and nothing more.
TEST_F(Blend, HugeStretchesDrawOnlyTheirClippedPart) {
    int graph = MakeGraph(18, 3, Distinct);
    const int64_t lo = INT32_MIN, hi = INT32_MAX;
    auto expect = [&](int64_t from, int64_t to, int64_t at, int size) {
        int64_t index = (2 * (at - std::min(from, to)) + 1) * size / (2 * (hi - lo));
        return int(to < from ? size - 1 - index : index);
    };
    // Every centre here lies a hair from a texel's edge, which the device's
    // single-precision texel positions cannot tell apart.
    const int slack = IsGpuDrawing() ? 1 : 0;
    SetClipRect(10, 20, 30, 25);
    for (int64_t a : {lo, hi}) {
        Fill(Background);
        ASSERT_EQ(DrawStretchedGraph(int(a), int(lo), int(lo + hi - a), int(hi), graph, 0), 0);
        for (int y = 19; y <= 25; ++y)
            for (int x = 9; x <= 30; ++x) {
                int got = ReadScreenPixel(x, y) - 0x1000;
                if (x < 10 || x >= 30 || y < 20 || y >= 25)
                    ASSERT_EQ(got + 0x1000, int(Background)) << x << "," << y;
                else
                    ASSERT_TRUE(std::abs(got % 64 - expect(a, lo + hi - a, x, 18)) <= slack &&
                                std::abs(got / 64 - expect(lo, hi, y, 3)) <= slack)
                        << x << "," << y;
            }
    }
    EXPECT_EQ(DrawStretchedGraph(5, 5, 5, 100, graph, 0), 0);
    EXPECT_EQ(DrawStretchedGraph(0, 0, 10, 10, graph + 1, 0), -1);
    // The tint's rules: clamped, reset by a mode change, refused before start.
    EXPECT_EQ(SetDrawTint(300, -5, 128), 0);
    EXPECT_EQ(gDraw.colourModulation & 0xFFFFFF, 0xFF0080u);
    ASSERT_EQ(SetScreenMode(640, 480, 32, -1), 0);
    EXPECT_EQ(gDraw.colourModulation & 0xFFFFFF, 0xFFFFFFu);
    EndLibrary();
    EXPECT_EQ(SetDrawTint(1, 2, 3), -1);
}

// Under SetDrawFilter(1) the GPU path samples a stretched graph between
// its pixels: a black and white pair spread over 100 columns turns grey in
// between, rising from left to right.
TEST_F(Blend, FilteredStretchesBlendNeighbouringPixels) {
    if (!IsGpuDrawing()) GTEST_SKIP() << "the filter is the GPU path's";
    int pair = MakeGraph(2, 1, [](int x, int) { return x ? MakeColor(255, 255, 255) : MakeColor(0, 0, 0) | 1; });
    ASSERT_EQ(SetDrawFilter(1), 0);
    ASSERT_EQ(DrawStretchedGraph(100, 10, 200, 12, pair, 0), 0);
    int greens[3];
    for (int i = 0; i < 3; ++i) greens[i] = Channel(uint32_t(ReadScreenPixel(130 + 20 * i, 10)), 1);
    EXPECT_GT(greens[0], 0);
    EXPECT_LT(greens[0], greens[1]);
    EXPECT_LT(greens[1], greens[2]);
    EXPECT_LT(greens[2], Channel(0, 1, true));
}

TEST_F(Blend, TextFollowsTheReferenceInEveryMode) {
    const uint32_t colour = 0xE0A030;
    for (int depth : {16, 32}) {
        SCOPED_TRACE(depth);
        EndLibrary();
        Start(depth);
        MakeGraphs();
        auto draw = [&](const Cell& cell, uint32_t rgb) {
            DrawCells([](int, int, int, int) {});
            SetBlendState(cell.mode, cell.amount);
            if (cell.tinted) SetDrawTint(Tint[0], Tint[1], Tint[2]);
            EXPECT_EQ(DrawTextString(10, 10, "Tessel 28", ToScreen(rgb), 0), 0);
            return Screen();
        };
        // The glyphs' pixels: those that two colours paint differently;
        // the rest must stay as they are in every mode.
        std::vector<uint32_t> plain = draw(Cell{BlendNone, 0, 0, false}, colour);
        std::vector<uint32_t> other = draw(Cell{BlendNone, 0, 0, false}, colour ^ 0x808080);
        std::vector<bool> ink(plain.size());
        for (size_t i = 0; i < plain.size(); ++i) ink[i] = plain[i] != other[i];
        ASSERT_GT(std::count(ink.begin(), ink.end(), true), 100);
        for (const Cell& cell : Cells()) {
            if (cell.kind != 0) continue;
            std::vector<uint32_t> picture = draw(cell, colour);
            int wrong = 0;
            for (size_t i = 0; i < picture.size(); ++i) {
                uint32_t d = ToScreen(BackgroundRgb(int(i % 640), int(i / 640)));
                int a = ink[i] ? 255 : 0;
                wrong += Stray(cell, ToScreen(colour), a, d, picture[i]) > (IsGpuDrawing() ? 3.0 : 2.0);
            }
            EXPECT_EQ(wrong, 0) << "mode " << cell.mode << " amount " << cell.amount << " tinted "
                                << cell.tinted;
        }
    }
}

TEST_F(Blend, OneStateKeepsTheDevicesQuadsInOneBatch) {
    if (!IsGpuDrawing()) GTEST_SKIP() << "batches are the GPU path's";
    MakeGraphs();
    auto calls = [&](int switchAt) {
        ReadScreenPixel(0, 0);
        PlatGpuResetDrawCalls();
        SetBlendState(BlendAdd, 100);
        SetDrawTint(200, 255, 90);
        for (int i = 0; i < 500; ++i) {
            if (i == switchAt) SetBlendState(BlendSubtract, 100);
            DrawGraph(i * 37 % 600, i * 53 % 460, graphs_[2], 0);
        }
        PlatGpuFlush();
        return PlatGpuDrawCalls();
    };
    EXPECT_EQ(calls(-1), 1);
    EXPECT_EQ(calls(250), 2);
}

// The vector spans against their scalar twins, bit for bit, on random
// rows whose lengths leave tails after the last whole vector.
TEST(BlendSpans, FastSpansEqualTheirScalarTwins) {
    std::mt19937 rng(11);
    for (BlitFormat format : {BlitFormat565, BlitFormat555, BlitFormat32})
        for (int mode = BlendAlpha; mode <= BlendSubtract; ++mode)
            for (int amount : {0, 77, 128, 255})
                for (int flags = 0; flags < 8; ++flags) {
                    int keyed = flags & 1, alpha = flags >> 1 & 1, tinted = flags >> 2;
                    BlendInfo blend{mode, amount, tinted, {256, 129, 7}, 0x1234};
                    if (!tinted) blend.tint[1] = blend.tint[2] = 256;
                    const int count = 37, bytes = format == BlitFormat32 ? 4 : 2;
                    std::vector<uint8_t> src(count * 4), dst(count * 4), planes(count);
                    for (auto& v : src) v = uint8_t(rng());
                    for (auto& v : dst) v = uint8_t(rng());
                    for (int i = 0; i < count; ++i) {
                        // Runs of clear and of solid alpha, then scattered values.
                        bool solid = (i >= 8 && i < 20) || i % 7 == 0;
                        planes[size_t(i)] = i < 8 || (i > 20 && i % 5 == 0) ? 0 : solid ? 255 : uint8_t(rng());
                        if (i % 6 == 0) std::memcpy(&src[size_t(i * bytes)], &blend.key, size_t(bytes));
                    }
                    std::vector<uint8_t> fast = dst, plain = dst;
                    const uint8_t* plane = alpha ? planes.data() : nullptr;
                    ChooseBlendSpan(format, blend, keyed, alpha)(fast.data(), dst.data(), src.data(), plane,
                                                                 count, blend);
                    ChooseBlendReferenceSpan(format, blend, keyed, alpha)(plain.data(), dst.data(),
                                                                          src.data(), plane, count, blend);
                    ASSERT_EQ(fast, plain) << "format " << format << " mode " << mode << " amount "
                                           << amount << " flags " << flags;
                }
}

}  // namespace
