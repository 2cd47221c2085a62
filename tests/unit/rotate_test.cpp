// DrawRotaGraph: its placement against DrawGraph, turning and scaling,
// keying only with `transparent` 1, the alpha mix without carries, clipping,
// undrawable scales and angles, and the fast walk against the reference.
#include "core/core.h"
#include "draw/blit.h"
#include "draw/screen.h"
#include "graphics/graph.h"
#include "support/drawing.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <functional>
#include <limits>
#include <random>
#include <vector>

namespace {

class Rota : public DrawingTest {
protected:
    static std::vector<uint8_t> Snapshot() {
        return std::vector<uint8_t>(Back()->pixels,
                                    Back()->pixels + size_t(Back()->pitch) * Back()->height);
    }
    static int Changed() {
        int count = 0;
        for (int y = 0; y < Back()->height; ++y)
            for (int x = 0; x < Back()->width; ++x) count += At(x, y) != Background;
        return count;
    }

    // One pixel of `source` with alpha `a` turned onto `dest`.
    static uint32_t MixOnce(uint32_t source, uint32_t dest, int a) {
        Fill(dest);
        int graph = MakeGraph(1, 1, [&](int, int) { return source; }, [&](int, int) { return a; });
        EXPECT_EQ(DrawRotaGraph(3, 4, 1.0, 0.0, graph, 0, 0), 0);
        return At(3, 4);
    }
};

TEST_F(Rota, UnturnedItLandsWhereDrawGraphPutsIt) {
    struct Case { int w, h, x, y; };
    for (Case c : {Case{33, 20, 100, 100}, Case{32, 32, 320, 240}, Case{1, 1, 7, 9},
                   Case{5, 3, 1, 0}, Case{40, 30, 630, 475}}) {
        int graph = MakeGraph(c.w, c.h, Distinct);
        Fill(Background);
        ASSERT_EQ(DrawRotaGraph(c.x, c.y, 1.0, 0.0, graph, 0, 0), 0);
        std::vector<uint8_t> turned = Snapshot();
        Fill(Background);
        ASSERT_EQ(DrawGraph(c.x - c.w / 2, c.y - c.h / 2, graph, 0), 0);
        EXPECT_TRUE(turned == Snapshot()) << c.w << "x" << c.h << " at " << c.x << "," << c.y;
        EXPECT_GT(Changed(), 0);
    }
}

TEST_F(Rota, AQuarterTurnIsClockwise) {
    int graph = MakeGraph(4, 2, Distinct);
    ASSERT_EQ(DrawRotaGraph(100, 100, 1.0, M_PI / 2, graph, 0, 0), 0);
    // The top row becomes the right column, the left column the top row.
    for (int j = 0; j < 2; ++j)
        for (int i = 0; i < 4; ++i) EXPECT_EQ(At(101 - j, 98 + i), Distinct(i, j)) << i << "," << j;
    EXPECT_EQ(Changed(), 8);
}

TEST_F(Rota, ScaleTwoDoublesEachPixel) {
    int graph = MakeGraph(2, 2, Distinct);
    ASSERT_EQ(DrawRotaGraph(100, 100, 2.0, 0.0, graph, 0, 0), 0);
    // Positions less than one pixel before 0 still sample pixel 0, so the
    // first pixel takes three columns and rows.
    auto band = [](int v) { return v < 100 ? 0 : 1; };
    for (int y = 97; y < 102; ++y)
        for (int x = 97; x < 102; ++x)
            EXPECT_EQ(At(x, y), Distinct(band(x), band(y))) << x << "," << y;
    EXPECT_EQ(Changed(), 25);
}

TEST_F(Rota, ANegativeScaleTurnsTheGraphHalfWayRound) {
    int graph = MakeGraph(4, 3, Distinct);
    ASSERT_EQ(DrawRotaGraph(100, 100, -1.0, 0.0, graph, 0, 0), 0);
    // Turned about the centre pixel (W / 2, H / 2), which stays on (x, y).
    for (int j = 0; j < 3; ++j)
        for (int i = 0; i < 4; ++i) EXPECT_EQ(At(100 + 2 - i, 100 + 1 - j), Distinct(i, j)) << i << "," << j;
    EXPECT_EQ(Changed(), 12);

    // The same as the positive scale turned by pi more.
    struct Case { double scale, angle; };
    for (Case c : {Case{-1.0, 0.0}, Case{-2.0, 0.0}, Case{-0.5, M_PI / 2}, Case{-1.5, M_PI / 2}}) {
        int big = MakeGraph(20, 11, Distinct);
        Fill(Background);
        ASSERT_EQ(DrawRotaGraph(200, 150, c.scale, c.angle, big, 0, 0), 0);
        std::vector<uint8_t> negative = Snapshot();
        EXPECT_GT(Changed(), 0);
        Fill(Background);
        ASSERT_EQ(DrawRotaGraph(200, 150, -c.scale, c.angle + M_PI, big, 0, 0), 0);
        EXPECT_TRUE(negative == Snapshot()) << c.scale << " at " << c.angle;
    }
}

TEST_F(Rota, OnlyTransparentOneSkipsTheKey) {
    auto checker = [](int x, int y) { return (x + y) % 2 ? 0u : Distinct(x, y); };
    int graph = MakeGraph(6, 6, checker);
    ASSERT_EQ(DrawRotaGraph(50, 50, 1.0, 0.0, graph, 1, 0), 0);
    ASSERT_EQ(DrawRotaGraph(150, 50, 1.0, 0.0, graph, 2, 0), 0);
    for (int y = 0; y < 6; ++y)
        for (int x = 0; x < 6; ++x) {
            EXPECT_EQ(At(47 + x, 47 + y), (x + y) % 2 ? Background : Distinct(x, y));
            EXPECT_EQ(At(147 + x, 47 + y), checker(x, y));
        }
}

// The rotating blitter's own 16-bit arithmetic (the GPU path mixes in 8 bits).
TEST_F(Rota, TheAlphaMixCarriesNothingBetweenChannels) {
    UseSoftwarePath();
    EXPECT_EQ(MixOnce(0xFFFF, 0x0000, 128), 0x7BEFu);
    EXPECT_EQ(MixOnce(0x0000, 0xFFFF, 128), 0x7BEFu);
    EXPECT_EQ(MixOnce(0x0800, 0x0400, 128), 0x0200u);
    EXPECT_EQ(MixOnce(0xFFFF, 0x1234, 0), 0x1234u);
    EXPECT_EQ(MixOnce(0xABCD, 0x1234, 255), 0xABCDu);
}

TEST_F(Rota, ATurnedGraphStaysInsideTheDrawArea) {
    int graph = MakeGraph(64, 32, Distinct);
    SetClipRect(200, 200, 240, 230);
    ASSERT_EQ(DrawRotaGraph(210, 210, 1.0, 0.5236, graph, 0, 0), 0);
    int inside = 0;
    for (int y = 0; y < 480; ++y)
        for (int x = 0; x < 640; ++x) {
            bool in = x >= 200 && x < 240 && y >= 200 && y < 230;
            if (!in) {
                ASSERT_EQ(At(x, y), Background) << x << "," << y;
            }
            inside += in && At(x, y) != Background;
        }
    EXPECT_GT(inside, 600);

    // Partly off the screen's corner, unturned, it matches DrawGraph there too.
    SetClipRect(0, 0, 640, 480);
    Fill(Background);
    ASSERT_EQ(DrawRotaGraph(3, 2, 1.0, 0.0, graph, 0, 0), 0);
    std::vector<uint8_t> turned = Snapshot();
    Fill(Background);
    ASSERT_EQ(DrawGraph(3 - 32, 2 - 16, graph, 0), 0);
    EXPECT_TRUE(turned == Snapshot());
}

TEST_F(Rota, AGraphWhollyOutsideDrawsNothingAndLocksNothing) {
    int graph = MakeGraph(64, 32, Distinct);
    Back()->lost = 1;
    EXPECT_EQ(DrawRotaGraph(-100, 100, 1.0, 0.3, graph, 0, 0), 0);
    EXPECT_EQ(DrawRotaGraph(100, 560, 1.0, 1.0, graph, 0, 0), 0);
    Back()->lost = 0;
    EXPECT_EQ(Changed(), 0);
}

TEST_F(Rota, ALockFailureOfTheDestinationIsFatal) {
    UseSoftwarePath();
    int graph = MakeGraph(8, 8, Distinct);
    Back()->lost = 1;
    EXPECT_EXIT(DrawRotaGraph(100, 100, 1.0, 0.3, graph, 0, 0), testing::ExitedWithCode(255), "");
    EXPECT_NE(ReadLogUtf8().find(
                  "転送先サーフェスのロックに失敗しました in G_DDraw_DrawRotaGraph \n"),
              std::string::npos);
}

TEST_F(Rota, UndrawableScalesAndAnglesDrawNothing) {
    int graph = MakeGraph(8, 8, Distinct);
    const double inf = std::numeric_limits<double>::infinity();
    const double nan = std::numeric_limits<double>::quiet_NaN();
    for (double scale : {0.0, -0.0, nan, inf, -inf})
        EXPECT_EQ(DrawRotaGraph(100, 100, scale, 0.0, graph, 0, 0), 0) << scale;
    for (double angle : {nan, inf, -inf})
        EXPECT_EQ(DrawRotaGraph(100, 100, 1.0, angle, graph, 0, 0), 0) << angle;
    EXPECT_EQ(Changed(), 0);
    EXPECT_EQ(DrawRotaGraph(100, 100, 0.0, 0.0, graph + 1, 0, 0), -1);
    EXPECT_EQ(DrawRotaGraph(100, 100, 1.0, 0.0, -1, 0, 0), -1);
}

TEST_F(Rota, NothingWhileSuspendedOrWithAnEmptyArea) {
    int graph = MakeGraph(8, 8, Distinct);
    ASSERT_EQ(LockGraphSurface(TargetBack, nullptr, nullptr), 0);
    EXPECT_EQ(DrawRotaGraph(100, 100, 1.0, 0.0, graph, 0, 0), 0);
    UnlockGraphSurface(TargetBack);
    SetClipRect(5, 5, 5, 100);
    EXPECT_EQ(DrawRotaGraph(5, 50, 1.0, 0.0, graph, 0, 0), 0);
    EXPECT_EQ(Changed(), 0);
}

TEST(RotaSetUp, TheBoxWalkAndMaskBoxOfAnUnturnedGraph) {
    RotaSetup s;
    ASSERT_EQ(SetUpRotation(100, 50, 1.0, 0.0, 32, 20, Rect{0, 0, 640, 480}, &s), 0);
    // Corners at x 84..116 and y 40..60, widened by 2 before and 4 after.
    EXPECT_EQ(s.box.left, 82);
    EXPECT_EQ(s.box.top, 38);
    EXPECT_EQ(s.box.right, 120);
    EXPECT_EQ(s.box.bottom, 64);
    EXPECT_EQ(s.u, -2 << 18);
    EXPECT_EQ(s.v, -2 << 18);
    EXPECT_EQ(s.dudx, 1 << 18);
    EXPECT_EQ(s.dvdx, 0);
    EXPECT_EQ(s.dudy, 0);
    EXPECT_EQ(s.dvdy, 1 << 18);

    Rect mask = RotatedMaskBox(100, 50, 1.0, 0.0, 32, 20);
    EXPECT_EQ(mask.left, 79);
    EXPECT_EQ(mask.top, 35);
    EXPECT_EQ(mask.right, 121);
    EXPECT_EQ(mask.bottom, 65);
    // A whole turn more is the same box.
    Rect turned = RotatedMaskBox(100, 50, 1.0, 4 * M_PI, 32, 20);
    EXPECT_EQ(std::memcmp(&turned, &mask, sizeof mask), 0);
}

TEST(RotaSetUp, ABoxWithoutRowsOrOutsideTheAreaIsEmpty) {
    RotaSetup s;
    EXPECT_EQ(SetUpRotation(100, 50, 1.0, 0.0, 32, 20, Rect{0, 0, 640, 39}, &s), 0);
    EXPECT_EQ(SetUpRotation(100, 50, 1.0, 0.0, 32, 20, Rect{0, 0, 640, 38}, &s), -1);
    EXPECT_EQ(SetUpRotation(100, 50, 1.0, 0.0, 32, 20, Rect{120, 0, 640, 480}, &s), -1);
}

class Rota32 : public Rota {
protected:
    void SetUp() override { Start(32); }
};

TEST_F(Rota32, TheMixOn32Bits) {
    UseSoftwarePath();
    EXPECT_EQ(MixOnce(0x010000, 0x008000, 128), 0x004000u);
    EXPECT_EQ(MixOnce(0x000000, 0xFFFFFF, 128), 0x7F7F7Fu);
    EXPECT_EQ(MixOnce(0xFF000000, 0xFF000000, 128), 0u);
    EXPECT_EQ(MixOnce(0xAB123456, 0, 255), 0xAB123456u);
}

class Rota8 : public Rota {
protected:
    void SetUp() override { Start(8); }
};

TEST_F(Rota8, AnyTransparentSkipsIndexZeroOn8Bits) {
    ASSERT_EQ(Back()->format.bytesPerPixel, 1);
    Fill(0x5A);
    int graph = MakeGraph(4, 1, [](int x, int) { return x % 2 ? 0u : 0x10u + x; });
    ASSERT_EQ(DrawRotaGraph(10, 10, 1.0, 0.0, graph, 2, 0), 0);
    ASSERT_EQ(DrawRotaGraph(10, 20, 1.0, 0.0, graph, 0, 0), 0);
    for (int x = 0; x < 4; ++x) {
        EXPECT_EQ(At(8 + x, 10), x % 2 ? 0x5Au : 0x10u + x);
        EXPECT_EQ(At(8 + x, 20), x % 2 ? 0u : 0x10u + x);
    }
}

// --- the loops themselves --------------------------------------------------------

TEST(RotaLoops, FastWalksEqualTheReference) {
    std::mt19937 rng(11);
    auto range = [&](int lo, int hi) { return lo + int(rng() % unsigned(hi - lo + 1)); };
    const BlitFormat formats[] = {BlitFormat8, BlitFormat565, BlitFormat555, BlitFormat32};
    for (int round = 0; round < 400; ++round) {
        BlitFormat format = formats[round % 4];
        int bytes = format == BlitFormat8 ? 1 : format == BlitFormat32 ? 4 : 2;
        int alpha = format != BlitFormat8 && (round / 4) % 2;
        int keyed = (round / 8) % 2;
        int srcW = range(1, 40), srcH = range(1, 40);
        std::vector<uint8_t> src(size_t(srcW * bytes + 4) * srcH), alphas(size_t(srcW) * srcH);
        for (uint8_t& b : src) b = uint8_t(rng() % 4 == 0 ? 0 : rng());
        for (uint8_t& a : alphas) a = uint8_t(rng() % 3 == 0 ? 255 * (rng() % 2) : rng());

        RotaInfo info = {};
        info.width = range(1, round % 3 ? 60 : 200);  // past the mix's 64-pixel chunks
        info.height = range(1, 30);
        int pitch = info.width * bytes + 8;
        std::vector<uint8_t> fast(size_t(pitch) * info.height);
        for (uint8_t& b : fast) b = uint8_t(rng());
        std::vector<uint8_t> ref = fast;
        info.dstPitch = pitch;
        info.src = src.data();
        info.srcPitch = srcW * bytes + 4;
        info.alpha = alpha ? alphas.data() : nullptr;
        info.alphaPitch = srcW;
        info.srcWidth = srcW;
        info.srcHeight = srcH;
        info.key = 0;
        info.u = range(-10, srcW + 10) * (1 << 18) + range(-0x3FFFF, 0x3FFFF);
        info.v = range(-10, srcH + 10) * (1 << 18) + range(-0x3FFFF, 0x3FFFF);
        info.dudx = range(-0x80000, 0x80000);
        info.dvdx = range(-0x80000, 0x80000);
        info.dudy = range(-0x80000, 0x80000);
        info.dvdy = range(-0x80000, 0x80000);
        // Walks that wrap around 32 bits now and then.
        if (round % 10 == 9) info.u = std::numeric_limits<int32_t>::max() - range(0, 0x200000);
        if (round % 10 == 8) info.dvdx = std::numeric_limits<int32_t>::min() / 8;
        // Unturned at scale 1, from any fraction.
        if (round % 10 == 7) {
            info.dudx = 1 << 18;
            info.dvdx = 0;
        }

        info.dst = fast.data();
        ChooseRotaLoop(format, alpha, keyed)(info);
        info.dst = ref.data();
        ChooseRotaReferenceLoop(format, alpha, keyed)(info);
        ASSERT_TRUE(fast == ref) << "round " << round;
        if (format == BlitFormat8) continue;
        // The same walk under a blend state, through its spans.
        info.blend = BlendInfo{BlendAlpha + round % 4, 100, 1, {256, 200, 9}, 0};
        info.span = ChooseBlendSpan(format, info.blend, keyed, alpha);
        info.dst = fast.data();
        ChooseRotaBlendLoop(format)(info);
        info.dst = ref.data();
        ChooseRotaBlendReferenceLoop(format)(info);
        ASSERT_TRUE(fast == ref) << "blended, round " << round;
    }
}

}  // namespace
