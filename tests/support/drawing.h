// A fixture for tests that draw graphs into the back buffer and read it.
#ifndef TESSEL_TEST_DRAWING_H
#define TESSEL_TEST_DRAWING_H

#include "core/core.h"
#include "draw/screen.h"
#include "gpu/gpu.h"
#include "graphics/graph.h"
#include "support/harness.h"
#include "tessel.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <cstring>
#include <functional>

// What the back buffer holds before a test draws.
inline constexpr uint32_t Background = 0x5A5A;

// The library up on the headless platform, drawing into the back buffer,
// which starts filled with Background.
class DrawingTest : public ::testing::Test {
protected:
    void SetUp() override { Start(16); }
    void TearDown() override {
        EndLibrary();
        SetGpuDrawing(-1);
    }

    // For tests whose subject is the software blitters themselves (their
    // arithmetic to the bit, their locks, their work surfaces): they run on
    // the software path even where the GPU path was asked for.
    void UseSoftwarePath() {
        if (!IsGpuDrawing()) return;
        int depth = QueryScreenDepth();
        EndLibrary();
        SetGpuDrawing(0);
        Start(depth);
    }

    void Start(int depth) {
        UseHeadless();
        SetScreenMode(640, 480, depth, -1);
        ASSERT_EQ(InitLibrary(), 0);
        ASSERT_EQ(SetDrawTarget(TargetBack), 0);
        Fill(Background);
    }

    // The back buffer's surface with whatever the device drew brought in
    // (on the GPU path the drawing stays on the device until then).
    static PlatSurface* Back() {
        GpuSyncBackBuffer();
        return gScreenState.back;
    }

    static void Fill(uint32_t value) {
        PlatFillSurfaceRect(Back(), 0, 0, Back()->width, Back()->height, value);
    }

    static uint32_t Pixel(const PlatSurface* s, int x, int y) {
        uint32_t v = 0;
        std::memcpy(&v, s->pixels + y * s->pitch + x * s->format.bytesPerPixel,
                    s->format.bytesPerPixel);
        return v;
    }
    static uint32_t At(int x, int y) { return Pixel(Back(), x, y); }

    static SurfaceDataRecord* SurfaceOf(int graph) {
        return GetSurfaceDataRecord(GetBmpDataRecord(GetGraphRecord(graph)->pieces[0])->surface);
    }

    // A graph whose pixel (x, y) is value(x, y), with alpha(x, y) in its
    // plane when it has one.
    static int MakeGraph(int w, int h, const std::function<uint32_t(int, int)>& value,
                         const std::function<int(int, int)>& alpha = nullptr) {
        int graph = CreateEmptyGraph(w, h, 0, alpha ? 1 : 0);
        SurfaceDataRecord* record = SurfaceOf(graph);
        PlatSurface* s = record->surface;
        for (int y = 0; y < h; ++y)
            for (int x = 0; x < w; ++x) {
                uint32_t v = value(x, y);
                std::memcpy(s->pixels + y * s->pitch + x * s->format.bytesPerPixel, &v,
                            s->format.bytesPerPixel);
                if (alpha) record->alphaBuffer[y * record->alphaPitch + x] = uint8_t(alpha(x, y));
            }
        return graph;
    }

    // Pixel values that differ everywhere and are never the key (0).
    static uint32_t Distinct(int x, int y) { return 0x1000u + uint32_t(y * 64 + x); }

    ScratchDir scratch_;
};

#endif
