// DrawGraph, DrawGraphPart and the per-pixel alpha loops: clipping, the
// block-transfer path with and without the key, the alpha arithmetic with its
// whole-pixel carry on each screen format, and the fast loops against the
// scalar reference.
#include "core/core.h"
#include "draw/blit.h"
#include "draw/screen.h"
#include "graphics/graph.h"
#include "support/drawing.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <functional>
#include <random>
#include <vector>

namespace {

class Blit : public DrawingTest {
protected:
    static int Bytes() { return Back()->format.bytesPerPixel; }

    // One graph pixel of `source` with alpha `a` drawn onto `dest`.
    static uint32_t MixOnce(uint32_t source, uint32_t dest, int a, int transparent = 0) {
        Fill(dest);
        int graph = MakeGraph(1, 1, [&](int, int) { return source; }, [&](int, int) { return a; });
        EXPECT_EQ(DrawGraph(3, 4, graph, transparent), 0);
        return At(3, 4);
    }
};

TEST_F(Blit, AGraphOverTheTopLeftCornerKeepsItsBottomRight) {
    int graph = MakeGraph(32, 32, Distinct);
    ASSERT_EQ(DrawGraph(-10, -10, graph, 0), 0);
    for (int y = 0; y < 22; ++y)
        for (int x = 0; x < 22; ++x) ASSERT_EQ(At(x, y), Distinct(x + 10, y + 10)) << x << "," << y;
    EXPECT_EQ(At(22, 0), Background);
    EXPECT_EQ(At(0, 22), Background);
}

TEST_F(Blit, AGraphIsClippedToTheDrawArea) {
    SetClipRect(100, 100, 110, 105);
    int graph = MakeGraph(32, 32, Distinct);
    ASSERT_EQ(DrawGraph(95, 90, graph, 0), 0);
    for (int y = 95; y < 110; ++y)
        for (int x = 90; x < 130; ++x) {
            bool inside = x >= 100 && x < 110 && y >= 100 && y < 105;
            ASSERT_EQ(At(x, y), inside ? Distinct(x - 95, y - 90) : Background) << x << "," << y;
        }
}

TEST_F(Blit, AGraphWhollyOutsideDrawsNothingAndLocksNothing) {
    int graph = MakeGraph(8, 8, Distinct, [](int, int) { return 128; });
    // A lock of the lost back buffer would end the process.
    Back()->lost = 1;
    EXPECT_EQ(DrawGraph(640, 0, graph, 0), 0);
    EXPECT_EQ(DrawGraph(-8, 100, graph, 0), 0);
    EXPECT_EQ(DrawGraph(100, 480, graph, 1), 0);
    Back()->lost = 0;
    EXPECT_EQ(At(0, 100), Background);
}

TEST_F(Blit, DrawGraphPartCutsTheRectangleAndKeepsTheDrawArea) {
    int graph = MakeGraph(32, 32, Distinct);
    Rect before = gDraw.drawArea;
    ASSERT_EQ(DrawGraphPart(100, 50, 16, 0, 16, 16, graph, 0, 0), 0);
    for (int y = 48; y < 68; ++y)
        for (int x = 98; x < 118; ++x) {
            bool inside = x >= 100 && x < 116 && y >= 50 && y < 66;
            ASSERT_EQ(At(x, y), inside ? Distinct(x - 84, y - 50) : Background) << x << "," << y;
        }
    EXPECT_EQ(std::memcmp(&gDraw.drawArea, &before, sizeof before), 0);

    // Inside a smaller area the cut-out is clipped by it, and the area comes back.
    Fill(Background);
    SetClipRect(0, 0, 108, 60);
    before = gDraw.drawArea;
    ASSERT_EQ(DrawGraphPart(100, 50, 16, 0, 16, 16, graph, 0, 0), 0);
    EXPECT_EQ(At(107, 59), Distinct(23, 9));
    EXPECT_EQ(At(108, 59), Background);
    EXPECT_EQ(At(107, 60), Background);
    EXPECT_EQ(std::memcmp(&gDraw.drawArea, &before, sizeof before), 0);
}

TEST_F(Blit, InvalidHandlesSuspensionAndEmptyAreas) {
    int graph = MakeGraph(4, 4, Distinct);
    EXPECT_EQ(DrawGraph(0, 0, graph + 1, 0), -1);
    EXPECT_EQ(DrawGraph(0, 0, -1, 0), -1);
    EXPECT_EQ(DrawGraphPart(0, 0, 0, 0, 2, 2, 12345, 0, 0), -1);

    // While a screen surface is locked drawing does nothing, even for a bad handle.
    ASSERT_EQ(LockGraphSurface(TargetBack, nullptr, nullptr), 0);
    EXPECT_EQ(DrawGraph(0, 0, graph, 0), 0);
    EXPECT_EQ(DrawGraph(0, 0, -1, 0), 0);
    UnlockGraphSurface(TargetBack);
    EXPECT_EQ(At(0, 0), Background);

    SetClipRect(5, 5, 5, 100);
    EXPECT_EQ(DrawGraph(5, 5, graph, 0), 0);
    EXPECT_EQ(DrawGraph(5, 5, -1, 0), 0);
    EXPECT_EQ(At(5, 5), Background);
}

TEST_F(Blit, TheBlockTransferSkipsKeyPixelsOnlyWhenAskedTo) {
    // Key (black) in a checkerboard.
    auto checker = [](int x, int y) { return (x + y) % 2 ? 0u : Distinct(x, y); };
    int graph = MakeGraph(20, 3, checker);
    ASSERT_EQ(DrawGraph(10, 10, graph, 1), 0);
    ASSERT_EQ(DrawGraph(10, 20, graph, 0), 0);
    for (int x = 0; x < 20; ++x) {
        EXPECT_EQ(At(10 + x, 11), x % 2 ? Distinct(x, 1) : Background);
        EXPECT_EQ(At(10 + x, 21), checker(x, 1));
    }
}

TEST_F(Blit, AGraphDrawsOntoAnotherGraph) {
    int target = MakeGraph(16, 16, [](int, int) { return 0x1111u; });
    int graph = MakeGraph(8, 8, Distinct);
    ASSERT_EQ(SetDrawTarget(target), 0);
    ASSERT_EQ(DrawGraph(12, -2, graph, 0), 0);
    PlatSurface* s = SurfaceOf(target)->surface;
    EXPECT_EQ(Pixel(s, 12, 0), Distinct(0, 2));
    EXPECT_EQ(Pixel(s, 15, 5), Distinct(3, 7));
    EXPECT_EQ(Pixel(s, 11, 0), 0x1111u);
    EXPECT_EQ(Pixel(s, 12, 6), 0x1111u);
    EXPECT_EQ(At(12, 0), Background);
}

// The plain blitter's own 16-bit arithmetic (the GPU path mixes in 8 bits).
TEST_F(Blit, HalfAlphaOn565) {
    UseSoftwarePath();
    EXPECT_EQ(MixOnce(0xFFFF, 0x0000, 128), 0x7BEFu);
    EXPECT_EQ(MixOnce(0x0000, 0xFFFF, 128), 0x840Fu);
    // Red 1 over green 32: half of red's step carries in from green's bits.
    EXPECT_EQ(MixOnce(0x0800, 0x0400, 128), 0x0A00u);
}

TEST_F(Blit, AlphaZeroKeepsAndFullCopiesWithoutTheKey) {
    EXPECT_EQ(MixOnce(0xFFFF, 0x1234, 0), 0x1234u);
    EXPECT_EQ(MixOnce(0xABCD, 0x1234, 255), 0xABCDu);
    // The key colour is drawn like any other without `transparent` ...
    EXPECT_EQ(MixOnce(0x0000, 0x1234, 255), 0x0000u);
    // ... and skipped with it, whatever its alpha.
    EXPECT_EQ(MixOnce(0x0000, 0x1234, 255, 1), 0x1234u);
    EXPECT_EQ(MixOnce(0x0000, 0x1234, 100, 1), 0x1234u);
}

TEST_F(Blit, AnAlphaGraphIsClippedLikeAnyOther) {
    int graph = MakeGraph(32, 32, Distinct, [](int x, int) { return x < 16 ? 255 : 0; });
    ASSERT_EQ(DrawGraph(-10, -10, graph, 0), 0);
    EXPECT_EQ(At(0, 0), Distinct(10, 10));
    EXPECT_EQ(At(5, 21), Distinct(15, 31));
    EXPECT_EQ(At(6, 0), Background);
    EXPECT_EQ(At(0, 22), Background);
}

TEST_F(Blit, ALockFailureOfTheDestinationIsFatal) {
    UseSoftwarePath();
    int graph = MakeGraph(8, 8, Distinct, [](int, int) { return 128; });
    Back()->lost = 1;
    EXPECT_EXIT(DrawGraph(0, 0, graph, 0), testing::ExitedWithCode(255), "");
    std::string log = ReadLogUtf8();
    EXPECT_NE(log.find("転送先サーフェスのロックに失敗しました in G_DDraw_DrawGraph \n"),
              std::string::npos);
    EXPECT_NE(log.find("ソフトをエラー終了します"), std::string::npos);
}

class Blit555 : public Blit {
protected:
    void SetUp() override { Start(15); }
};

TEST_F(Blit555, HalfAlphaOn555) {
    if (IsGpuDrawing()) {  // the software blitter's arithmetic, on its 5:5:5 screen
        EndLibrary();
        SetGpuDrawing(0);
        Start(15);
    }
    ASSERT_EQ(Back()->format.greenMask, 0x03E0u);
    EXPECT_EQ(MixOnce(0x7FFF, 0x0000, 128), 0x3DEFu);
    EXPECT_EQ(MixOnce(0x0000, 0x7FFF, 128), 0x420Fu);
    // The top bit belongs to no channel and is dropped by a mix.
    EXPECT_EQ(MixOnce(0x8000, 0x8000, 128), 0x0000u);
    EXPECT_EQ(MixOnce(0x8000, 0x1234, 255), 0x8000u);
}

class Blit32 : public Blit {
protected:
    void SetUp() override { Start(32); }
};

// Alpha draws read the destination and the source where they lie, without
// the work-surface copies; the pixels must be those of the reference loop
// run over a copy taken before the draw. Random sizes, places, clips, keys
// and alphas on both depths, and a graph drawn partly onto itself, whose
// source must still be the pixels from before the draw.
TEST_F(Blit, AlphaDrawsEqualTheReferenceLoopOverACopyOfTheirPixels) {
    UseSoftwarePath();
    std::mt19937 rng(3);
    auto range = [&](int lo, int hi) { return lo + int(rng() % unsigned(hi - lo + 1)); };
    for (int depth : {16, 32}) {
        EndLibrary();
        Start(depth);
        BlitFormat format = ClassifyBlitFormat(GetScreenFormat());
        uint32_t mask = depth == 16 ? 0xFFFF : 0xFFFFFFFF;
        for (int round = 0; round < 60; ++round) {
            int w = range(1, 90), h = range(1, 40);
            auto value = [&](int, int) { return rng() % 4 == 0 ? 0u : uint32_t(rng()) & mask; };
            auto alpha = [&](int, int) { return rng() % 3 ? int(rng() % 2) * 255 : int(rng() % 256); };
            int graph = MakeGraph(w, h, value, alpha);
            bool onItself = round % 6 == 5;
            PlatSurface* draw = Back();
            if (onItself) {
                ASSERT_EQ(SetDrawTarget(graph), 0);
                draw = SurfaceOf(graph)->surface;
            } else {
                for (int y = 0; y < draw->height; ++y)
                    for (int i = 0; i < draw->width * Bytes(); ++i)
                        draw->pixels[y * draw->pitch + i] = uint8_t(rng());
            }
            if (onItself)
                SetClipRect(range(0, w / 4), range(0, h / 4), w, h);
            else
                SetClipRect(range(0, 40), range(0, 40), range(500, 640), range(400, 480));
            int x = onItself ? range(-w / 2, w / 2) : range(-w, 660);
            int y = onItself ? range(-h / 2, h / 2) : range(-h, 500);
            int transparent = int(rng() % 2);

            const Rect& area = gDraw.drawArea;
            Rect r = {std::max(x, area.left), std::max(y, area.top),
                      std::min(x + w, area.right), std::min(y + h, area.bottom)};
            std::vector<uint8_t> before(draw->pixels, draw->pixels + draw->pitch * draw->height);
            std::vector<uint8_t> expected = before;
            SurfaceDataRecord* record = SurfaceOf(graph);
            if (r.left < r.right && r.top < r.bottom) {
                int bytes = Bytes(), sx = r.left - x, sy = r.top - y;
                PlatSurface* src = record->surface;
                // On itself, the source is the graph's pixels before the draw.
                const uint8_t* srcPixels = onItself ? before.data() : src->pixels;
                BlitInfo info = {};
                info.dst = expected.data() + r.top * draw->pitch + r.left * bytes;
                info.dstPitch = draw->pitch;
                info.dstRead = before.data() + r.top * draw->pitch + r.left * bytes;
                info.dstReadPitch = draw->pitch;
                info.src = srcPixels + sy * src->pitch + sx * bytes;
                info.srcPitch = src->pitch;
                info.alpha = record->alphaBuffer + sy * record->alphaPitch + sx;
                info.alphaPitch = record->alphaPitch;
                info.width = r.right - r.left;
                info.height = r.bottom - r.top;
                info.key = MakeColor(0, 0, 0);
                ChooseAlphaReferenceLoop(format, transparent)(info);
            }
            ASSERT_EQ(DrawGraph(x, y, graph, transparent), 0);
            ASSERT_EQ(std::memcmp(draw->pixels, expected.data(), expected.size()), 0)
                << depth << " bits, round " << round << ": " << w << "x" << h << " at " << x
                << "," << y << (onItself ? " onto itself" : "");
            ASSERT_EQ(SetDrawTarget(TargetBack), 0);
            FreeGraphHandle(graph, 0);
        }
    }
}

TEST_F(Blit32, HalfAlphaOn32BitsWithItsCarry) {
    UseSoftwarePath();
    ASSERT_EQ(Bytes(), 4);
    EXPECT_EQ(MixOnce(0xFFFFFF, 0x000000, 128), 0x7F7F7Fu);
    EXPECT_EQ(MixOnce(0x000000, 0xFFFFFF, 128), 0x80807Fu);
    EXPECT_EQ(MixOnce(0x010000, 0x008000, 128), 0x014000u);
    // A mix clears the top byte; a whole copy keeps the source's.
    EXPECT_EQ(MixOnce(0xFF000000, 0xFF000000, 128), 0x000000u);
    EXPECT_EQ(MixOnce(0xAB123456, 0, 255), 0xAB123456u);
}

// --- the loops themselves --------------------------------------------------------

struct Buffers {
    std::vector<uint8_t> dst, read, src, alpha;
};

// Alphas: any value, mostly 0 or 255, or runs of one value (as sprites have).
enum AlphaMix { AnyAlpha, MostlyClearOrSolid, Runs };

// Random pixels and alphas for a width x height blit with padded rows.
BlitInfo RandomBlit(Buffers& b, int width, int height, int bytes, AlphaMix mix, uint32_t key,
                    std::mt19937& rng) {
    int pitch = width * bytes + 12, alphaPitch = width + 5;
    b.dst.resize(size_t(pitch) * height);
    b.read.resize(b.dst.size());
    b.src.resize(b.dst.size());
    b.alpha.resize(size_t(alphaPitch) * height);
    for (auto* v : {&b.read, &b.src}) for (uint8_t& x : *v) x = uint8_t(rng());
    for (size_t i = 0; i < b.alpha.size();) {
        int r = int(rng() % 10);
        uint8_t value = r < 4 ? 0 : r < 8 ? 255 : uint8_t(rng());
        size_t run = mix == Runs ? 1 + rng() % 40 : 1;
        for (; run > 0 && i < b.alpha.size(); --run, ++i)
            b.alpha[i] = mix == AnyAlpha ? uint8_t(rng()) : value;
    }
    // Put the key in now and then.
    for (size_t i = 0; i + bytes <= b.src.size(); i += bytes)
        if (rng() % 7 == 0) std::memcpy(&b.src[i], &key, bytes);
    b.dst = b.read;
    BlitInfo info = {};
    info.dst = b.dst.data();
    info.dstPitch = pitch;
    info.dstRead = b.read.data();
    info.dstReadPitch = pitch;
    info.src = b.src.data();
    info.srcPitch = pitch;
    info.alpha = b.alpha.data();
    info.alphaPitch = alphaPitch;
    info.width = width;
    info.height = height;
    info.key = key;
    return info;
}

TEST(AlphaLoops, FastLoopsEqualTheReference) {
    std::mt19937 rng(7);
    const BlitFormat formats[] = {BlitFormat565, BlitFormat555, BlitFormat32};
    for (BlitFormat format : formats)
        for (int keyed = 0; keyed < 2; ++keyed)
            for (int width : {1, 3, 4, 7, 8, 9, 15, 16, 17, 33, 64, 100})
                for (AlphaMix mix : {AnyAlpha, MostlyClearOrSolid, Runs}) {
                    int bytes = format == BlitFormat32 ? 4 : 2;
                    uint32_t key = bytes == 4 ? 0x00102030 : 0x0841;
                    Buffers fast, ref;
                    std::mt19937 copy = rng;
                    BlitInfo a = RandomBlit(fast, width, 7, bytes, mix, key, rng);
                    BlitInfo b = RandomBlit(ref, width, 7, bytes, mix, key, copy);
                    ChooseAlphaLoop(format, keyed)(a);
                    ChooseAlphaReferenceLoop(format, keyed)(b);
                    ASSERT_EQ(fast.dst, ref.dst)
                        << "format " << format << " keyed " << keyed << " width " << width
                        << " alphas " << mix;
                }
}

TEST(AlphaLoops, EveryAlphaOfEveryPairOfChannelValues) {
    // Channel extremes and neighbours of each boundary, all 256 alphas.
    const uint16_t values[] = {0x0000, 0xFFFF, 0x0821, 0xF7DE, 0x7BEF, 0x8410, 0x001F, 0x07E0,
                               0xF800, 0x1234, 0xEDCB, 0x0400, 0x0020};
    for (BlitFormat format : {BlitFormat565, BlitFormat555}) {
        std::vector<uint16_t> src, read, dst, expected;
        std::vector<uint8_t> alpha;
        for (uint16_t s : values)
            for (uint16_t d : values)
                for (int a = 0; a < 256; ++a) {
                    src.push_back(s);
                    read.push_back(d);
                    alpha.push_back(uint8_t(a));
                }
        // The destination read is a copy of the one written, as the work surface is.
        dst = read;
        expected = read;
        BlitInfo info = {};
        info.dstRead = reinterpret_cast<uint8_t*>(read.data());
        info.src = reinterpret_cast<uint8_t*>(src.data());
        info.alpha = alpha.data();
        info.width = int(src.size());
        info.height = 1;
        info.dst = reinterpret_cast<uint8_t*>(dst.data());
        ChooseAlphaLoop(format, 0)(info);
        info.dst = reinterpret_cast<uint8_t*>(expected.data());
        ChooseAlphaReferenceLoop(format, 0)(info);
        ASSERT_EQ(dst, expected) << "format " << format;
    }
}

}  // namespace
