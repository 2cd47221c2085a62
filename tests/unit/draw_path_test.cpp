// The draw-path table: every drawing operation reaches the entry that draws
// its target, starting and stopping the GPU path swaps the entry, and the
// pixels that leave the screen's format widen by one rule on every path.
#include "draw/draw_path.h"
#include "gpu/gpu_internal.h"
#include "platform/pixels/frame_expand.h"
#include "support/drawing.h"

#include <gtest/gtest.h>

namespace {

// What the recording entry saw, and whether it claims the current target.
struct Calls {
    int drawsTarget = 0, clear = 0, drawGraph = 0, drawTurned = 0, glyphs = 0, glyphRuns = 0;
    int presents = 0;
};
Calls gCalls;

const DrawPath kRecordingPath = {
    .drawsTarget = [] { return gCalls.drawsTarget; },
    .clear = [] {
        ++gCalls.clear;
        return 0;
    },
    .drawGraph = [](int, int, GraphRecord*, int, int) {
        ++gCalls.drawGraph;
        return 0;
    },
    .drawTurned = [](int, int, double, double, GraphRecord*, int, int) {
        ++gCalls.drawTurned;
        return 0;
    },
    .beginGlyphs = [](GlyphRun*) {
        ++gCalls.glyphRuns;
        return 0;
    },
    .drawGlyph = [](GlyphRun*, int, int, const Rect&) { ++gCalls.glyphs; },
    .endGlyphs = [](GlyphRun*) {},
    .present = [](int) { ++gCalls.presents; },
};

class DrawPathTest : public DrawingTest {};

TEST_F(DrawPathTest, EveryOperationGoesToTheEntryThatDrawsTheTarget) {
    int graph = MakeGraph(8, 8, Distinct);
    auto drawAll = [&] {
        EXPECT_EQ(ClearDrawTarget(), 0);
        EXPECT_EQ(DrawGraph(10, 10, graph, 0), 0);
        EXPECT_EQ(DrawGraphPart(10, 10, 2, 2, 4, 4, graph, 0, 0), 0);
        EXPECT_EQ(DrawRotaGraph(50, 50, 1.0, 0.5, graph, 0, 0), 0);
        EXPECT_EQ(DrawTextString(100, 100, "AB", 0xFFFF, 0), 0);
        EXPECT_EQ(PresentScreen(), 0);
    };
    const DrawPath* running = &ActiveDrawPath();
    gCalls = Calls{.drawsTarget = 1};
    UseDrawPath(&kRecordingPath);
    drawAll();
    EXPECT_EQ(gCalls.clear, 1);
    EXPECT_EQ(gCalls.drawGraph, 2);
    EXPECT_EQ(gCalls.drawTurned, 1);
    EXPECT_EQ(gCalls.glyphRuns, 1);
    EXPECT_EQ(gCalls.glyphs, 2);
    EXPECT_EQ(gCalls.presents, 1);
    EXPECT_EQ(At(12, 12), Background) << "the software path drew as well";

    // A target the entry does not draw is the blitters'; showing the back
    // buffer stays the entry's.
    gCalls = Calls{.drawsTarget = 0};
    drawAll();
    UseDrawPath(running);
    EXPECT_EQ(gCalls.clear + gCalls.drawGraph + gCalls.drawTurned + gCalls.glyphRuns, 0);
    EXPECT_EQ(gCalls.presents, 1);
    EXPECT_EQ(At(12, 12), Distinct(4, 4));  // DrawGraphPart's, over DrawGraph's
}

TEST_F(DrawPathTest, StartingAndStoppingTheGpuPathSwapsTheEntry) {
    bool gpu = IsGpuDrawing();
    EXPECT_EQ(&ActiveDrawPath() != &kSoftwareDrawPath, gpu);
    EXPECT_EQ(&TargetDrawPath() != &kSoftwareDrawPath, gpu);
    int graph = MakeGraph(8, 8, Distinct);
    ASSERT_EQ(SetDrawTarget(graph), 0);
    EXPECT_EQ(&TargetDrawPath(), &kSoftwareDrawPath) << "a graph target is drawn by the blitters";
    EndLibrary();
    EXPECT_EQ(&ActiveDrawPath(), &kSoftwareDrawPath);
    Start(16);
}

// The GPU path's texels, a frame shown on a 32-bit display and a captured
// frame widen every 5:6:5 and 5:5:5 pixel alike.
TEST_F(DrawPathTest, EverySixteenBitPixelWidensAlikeOnEveryPath) {
    for (int depth : {16, 15}) {
        EndLibrary();
        Start(depth);
        const ColorFormat& format = *GetScreenFormat();
        for (uint32_t v = 0; v < 65536; ++v) {
            uint32_t rgba = ExpandPixel(v, format);
            uint32_t rgb = (rgba & 0xFF) << 16 | (rgba & 0xFF00) | (rgba >> 16 & 0xFF);
            ASSERT_EQ(rgb, depth == 16 ? Expand565(v) : Expand555(v)) << depth << " " << v;
        }
    }
    EXPECT_EQ(WidenChannel(0x3FF, 10), 0xFFu);
    EXPECT_EQ(WidenChannel(0x200, 10), 0x80u);
}

}  // namespace
