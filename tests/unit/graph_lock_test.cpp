// Locking graphs (counted per surface) and the screen's surfaces (one flag
// each), what a screen lock refuses, lost surfaces and whole-surface fills.
#include "core/core.h"
#include "graphics/color.h"
#include "graphics/graph.h"
#include "support/graph_tables.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

namespace {

class GraphLock : public GraphTablesTest {
protected:
    void TearDown() override {
        for (int code : {TargetFront, TargetWork, TargetBack}) SetScreenSurface(code, nullptr);
        for (PlatSurface* s : screenSurfaces_) PlatReleaseSurface(s);
        GraphTablesTest::TearDown();
    }

    PlatSurface* RegisterScreenSurface(int code) {
        PlatSurface* s = PlatCreateSurface(640, 480, GetScreenFormat(), 0);
        screenSurfaces_.push_back(s);
        EXPECT_EQ(SetScreenSurface(code, s), 0);
        return s;
    }

    static int SurfaceHandle(int graph, int piece = 0) {
        return GetBmpDataRecord(GetGraphRecord(graph)->pieces[piece])->surface;
    }
    static SurfaceDataRecord* Surface(int graph, int piece = 0) {
        return GetSurfaceDataRecord(SurfaceHandle(graph, piece));
    }

    // Gives `graph` a second piece of its own to the right of the first.
    static void AddSecondPiece(int graph) {
        GraphRecord* record = GetGraphRecord(graph);
        int piece = AddBmpData(4, 4, 4, 0, graph, -1, 0, 0, &record->params);
        ASSERT_GE(piece, 0);
        record->pieces[1] = piece;
        record->pieceCount = 2;
    }

    std::vector<PlatSurface*> screenSurfaces_;
};

using GraphLockDeathTest = GraphLock;

TEST_F(GraphLock, GraphLocksCountAndEachNeedsItsUnlock) {
    int graph = CreateEmptyGraph(10, 6, 0, 0);
    SurfaceDataRecord* surface = Surface(graph);
    int pitch = 0;
    uint8_t* pixels = nullptr;
    ASSERT_EQ(LockGraphSurface(graph, &pitch, &pixels), 0);
    EXPECT_EQ(pixels, surface->surface->pixels);
    EXPECT_EQ(pitch, surface->surface->pitch);
    EXPECT_EQ(surface->lockCount, 1);

    int pitch2 = 0;
    uint8_t* pixels2 = nullptr;
    EXPECT_EQ(LockGraphSurface(graph, &pitch2, &pixels2), -2);
    EXPECT_EQ(pixels2, pixels);
    EXPECT_EQ(pitch2, pitch);
    EXPECT_EQ(surface->lockCount, 2);
    EXPECT_EQ(surface->surface->lockCount, 1);  // the platform is locked once

    EXPECT_EQ(UnlockGraphSurface(graph), 0);
    EXPECT_EQ(surface->surface->lockCount, 1);
    EXPECT_EQ(UnlockGraphSurface(graph), 0);
    EXPECT_EQ(surface->surface->lockCount, 0);
    EXPECT_EQ(surface->lockPointer, nullptr);
    EXPECT_EQ(UnlockGraphSurface(graph), -1);
    EXPECT_EQ(UnlockSurfaceData(SurfaceHandle(graph)), -1);
    // A graph lock is no screen lock: graphs may still be made.
    EXPECT_EQ(ScreenLockCount(), 0);
}

TEST_F(GraphLock, ALostGraphFailsToLockUntilRestored) {
    int graph = CreateEmptyGraph(4, 4, 0, 0);
    int surface = SurfaceHandle(graph);
    EXPECT_EQ(RestoreSurfaceIfLost(surface), 0);
    PlatLoseAllSurfaces();
    EXPECT_EQ(LockGraphSurface(graph, nullptr, nullptr), -1);
    EXPECT_EQ(Surface(graph)->lockCount, 0);
    EXPECT_NE(ReadLogUtf8().find("グラフィックのロックに失敗しました\n"), std::string::npos);

    EXPECT_EQ(RestoreSurfaceIfLost(surface), -1);  // it was lost, and is now restored
    EXPECT_EQ(RestoreSurfaceIfLost(surface), 0);
    EXPECT_EQ(LockGraphSurface(graph, nullptr, nullptr), 0);
    EXPECT_EQ(RestoreSurfaceIfLost(0x38000000 | 999), -1);
}

TEST_F(GraphLock, ALaterPieceFailingUnlocksTheEarlierOnes) {
    int graph = CreateEmptyGraph(4, 4, 0, 0);
    AddSecondPiece(graph);
    Surface(graph, 1)->surface->lost = 1;
    EXPECT_EQ(LockGraphSurface(graph, nullptr, nullptr), -1);
    EXPECT_EQ(Surface(graph, 0)->lockCount, 0);
    EXPECT_EQ(Surface(graph, 0)->surface->lockCount, 0);
}

TEST_F(GraphLock, AnyPieceAlreadyLockedGivesMinusTwoAndTheFirstPiecesPixels) {
    int graph = CreateEmptyGraph(4, 4, 0, 0);
    AddSecondPiece(graph);
    ASSERT_EQ(LockSurfaceData(SurfaceHandle(graph, 1), nullptr, nullptr), 0);
    uint8_t* pixels = nullptr;
    EXPECT_EQ(LockGraphSurface(graph, nullptr, &pixels), -2);
    EXPECT_EQ(pixels, Surface(graph, 0)->surface->pixels);
    EXPECT_EQ(Surface(graph, 0)->lockCount, 1);
    EXPECT_EQ(Surface(graph, 1)->lockCount, 2);
    EXPECT_EQ(UnlockGraphSurface(graph), 0);
    EXPECT_EQ(Surface(graph, 0)->lockCount, 0);
    EXPECT_EQ(Surface(graph, 1)->lockCount, 1);
}

TEST_F(GraphLock, AScreenSurfaceHasOneLockFlagAndOneUnlockReleasesIt) {
    EXPECT_EQ(LockGraphSurface(TargetBack, nullptr, nullptr), -1);  // nothing registered
    PlatSurface* back = RegisterScreenSurface(TargetBack);
    EXPECT_EQ(GetScreenSurface(TargetBack), back);

    int pitch = 0;
    uint8_t* pixels = nullptr;
    ASSERT_EQ(LockGraphSurface(TargetBack, &pitch, &pixels), 0);
    EXPECT_EQ(pixels, back->pixels);
    EXPECT_EQ(pitch, back->pitch);
    int pitch2 = 0;
    uint8_t* pixels2 = nullptr;
    EXPECT_EQ(LockGraphSurface(TargetBack, &pitch2, &pixels2), -2);
    EXPECT_EQ(pixels2, pixels);
    EXPECT_EQ(pitch2, pitch);
    EXPECT_EQ(ScreenLockCount(), 1);
    EXPECT_EQ(back->lockCount, 1);

    EXPECT_EQ(UnlockGraphSurface(TargetBack), 0);
    EXPECT_EQ(ScreenLockCount(), 0);
    EXPECT_EQ(back->lockCount, 0);
    EXPECT_EQ(UnlockGraphSurface(TargetBack), -1);
}

TEST_F(GraphLock, EachScreenSurfaceCountsOnce) {
    RegisterScreenSurface(TargetFront);
    RegisterScreenSurface(TargetWork);
    RegisterScreenSurface(TargetBack);
    LockGraphSurface(TargetFront, nullptr, nullptr);
    LockGraphSurface(TargetWork, nullptr, nullptr);
    LockGraphSurface(TargetWork, nullptr, nullptr);
    EXPECT_EQ(ScreenLockCount(), 2);
    UnlockGraphSurface(TargetWork);
    EXPECT_EQ(ScreenLockCount(), 1);
    UnlockGraphSurface(TargetFront);
    EXPECT_EQ(ScreenLockCount(), 0);
    EXPECT_EQ(SetScreenSurface(-1, nullptr), -1);
    EXPECT_EQ(SetScreenSurface(-5, nullptr), -1);
    EXPECT_EQ(GetScreenSurface(-1), nullptr);
}

TEST_F(GraphLock, ReplacingALockedScreenSurfaceDropsItsLock) {
    PlatSurface* back = RegisterScreenSurface(TargetBack);
    LockGraphSurface(TargetBack, nullptr, nullptr);
    SetScreenSurface(TargetBack, nullptr);
    EXPECT_EQ(ScreenLockCount(), 0);
    EXPECT_EQ(back->lockCount, 0);
}

TEST_F(GraphLock, ALockedScreenKeepsGraphsFromBeingMadeOrFreed) {
    int graph = CreateEmptyGraph(4, 4, 0, 0);
    RegisterScreenSurface(TargetBack);
    ASSERT_EQ(LockGraphSurface(TargetBack, nullptr, nullptr), 0);

    EXPECT_EQ(FreeGraphHandle(graph, 0), 0);
    EXPECT_NE(GetGraphRecord(graph), nullptr);
    EXPECT_EQ(FreeAllGraphHandles(0), 0);
    EXPECT_NE(GetGraphRecord(graph), nullptr);
    int count = gGraph.graphs.count;
    EXPECT_EQ(CreateEmptyGraph(4, 4, 0, 0), -1);
    EXPECT_EQ(CreateDefaultGraph(4, 4), -1);
    EXPECT_EQ(gGraph.graphs.count, count);

    UnlockGraphSurface(TargetBack);
    EXPECT_EQ(FreeGraphHandle(graph, 0), 0);
    EXPECT_EQ(GetGraphRecord(graph), nullptr);
    EXPECT_GE(CreateDefaultGraph(4, 4), 0);
}

TEST_F(GraphLockDeathTest, AScreenSurfaceThatWillNotLockEndsTheProgram) {
    PlatSurface* front = RegisterScreenSurface(TargetFront);
    front->lost = 1;
    EXPECT_EXIT(LockGraphSurface(TargetFront, nullptr, nullptr), testing::ExitedWithCode(255),
                "");
    EXPECT_NE(ReadLogUtf8().find("グラフィックのロックに失敗しました\n"), std::string::npos);
}

TEST_F(GraphLock, FillingASurfaceUsesItsFormatAndFillsTheAlphaPlane) {
    int graph = CreateEmptyGraph(3, 2, 0, 1);
    SurfaceDataRecord* surface = Surface(graph);
    ASSERT_EQ(FillSurfaceData(SurfaceHandle(graph), 255, 0, 0, 128), 0);
    PlatSurface* pixels = surface->surface;
    for (int y = 0; y < 2; ++y)
        for (int x = 0; x < 3; ++x) {
            uint16_t value;
            std::memcpy(&value, pixels->pixels + y * pixels->pitch + x * 2, 2);
            EXPECT_EQ(value, 0xF800) << x << "," << y;  // red on the default 5:6:5 screen
            EXPECT_EQ(surface->alphaBuffer[y * surface->alphaPitch + x], 128);
        }

    EXPECT_EQ(FillSurfaceData(0x38000000 | 77, 0, 0, 0, 0), -1);
    pixels->lost = 1;
    EXPECT_EQ(FillSurfaceData(SurfaceHandle(graph), 0, 0, 0, 0), -1);
}

}  // namespace
