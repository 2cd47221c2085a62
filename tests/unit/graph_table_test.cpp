// The graph, bitmap data and surface data tables: handles, slots and serials
// as callers see them, the records behind them, shared surfaces, and locking
// of graphs and of the screen's surfaces.
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

int SlotOf(int handle) { return handle & HandleIndexMask; }
int SerialOf(int handle) { return (handle & HandleSerialMask) >> HandleSerialShift; }

class GraphTable : public GraphTablesTest {
protected:
    static SurfaceDataRecord* SurfaceOfGraph(int graph, int piece = 0) {
        GraphRecord* record = GetGraphRecord(graph);
        BmpDataRecord* bmp = record ? GetBmpDataRecord(record->pieces[piece]) : nullptr;
        return bmp ? GetSurfaceDataRecord(bmp->surface) : nullptr;
    }
};

using GraphTableDeathTest = GraphTable;

TEST_F(GraphTable, FirstGraphsGetSlotsAndSerialsFromZero) {
    EXPECT_EQ(CreateEmptyGraph(16, 8, 0, 0), 0x08000000);
    EXPECT_EQ(CreateEmptyGraph(16, 8, 0, 0), 0x08010001);
    // Each table counts on its own: the surfaces started at 0 too, while the
    // bitmap data's serial runs on for the process.
    EXPECT_EQ(HandleOfSlot(&gGraph.surfaces, 0), 0x38000000);
    EXPECT_EQ(HandleOfSlot(&gGraph.surfaces, 1), 0x38010001);
    int first = GetGraphRecord(0x08000000)->pieces[0];
    int second = GetGraphRecord(0x08010001)->pieces[0];
    EXPECT_EQ(first & HandleTypeMask, HandleBmpData << HandleTypeShift);
    EXPECT_EQ(SlotOf(second), SlotOf(first) + 1);
    EXPECT_EQ(SerialOf(second), (SerialOf(first) + 1) % 2048);
}

TEST_F(GraphTable, AGraphHasOneWholePieceOnItsOwnSurface) {
    int live = PlatLiveSurfaceCount();
    int graph = CreateEmptyGraph(30, 20, 1, 0);
    GraphRecord* record = GetGraphRecord(graph);
    ASSERT_NE(record, nullptr);
    EXPECT_EQ(record->params.useTexture, 0);  // no GPU path runs to honour the request
    EXPECT_EQ(record->params.AlphaChFlag, 0);
    EXPECT_EQ(record->params.DrawValid, 0);
    EXPECT_EQ(record->params.systemMemory, 0);
    EXPECT_EQ(record->params.AlphaTestFlag, 1);
    EXPECT_EQ(record->params.ColorBitDepth, 16);  // no screen mode set yet
    EXPECT_EQ(record->movie, -1);
    EXPECT_EQ(record->fileName[0], '\0');
    ASSERT_EQ(record->pieceCount, 1);

    BmpDataRecord* bmp = GetBmpDataRecord(record->pieces[0]);
    ASSERT_NE(bmp, nullptr);
    EXPECT_EQ(bmp->owner, graph);
    EXPECT_EQ(bmp->width, 30);
    EXPECT_EQ(bmp->height, 20);
    EXPECT_EQ(bmp->offsetX + bmp->offsetY + bmp->surfaceX + bmp->surfaceY, 0);

    SurfaceDataRecord* surface = GetSurfaceDataRecord(bmp->surface);
    ASSERT_NE(surface, nullptr);
    EXPECT_EQ(std::memcmp(&surface->params, &record->params, sizeof(GraphParams)), 0);
    EXPECT_EQ(surface->refCount, 1);
    EXPECT_EQ(surface->width, 30);
    EXPECT_EQ(surface->height, 20);
    EXPECT_EQ(surface->alphaBuffer, nullptr);
    EXPECT_EQ(surface->transparentColor, TransparentColor);
    ASSERT_NE(surface->surface, nullptr);
    EXPECT_TRUE(SameFormat(&surface->surface->format, GetScreenFormat()));
    EXPECT_EQ(surface->surface->systemMemory, 0);
    uint32_t key = 1;
    EXPECT_EQ(PlatGetColorKey(surface->surface, &key), 0);
    EXPECT_EQ(key, MakeColor(0, 0, 0));
    EXPECT_EQ(PlatLiveSurfaceCount(), live + 1);
}

TEST_F(GraphTable, AnAlphaGraphIs32BitsWithAZeroedPlaneOfItsWidth) {
    int graph = CreateEmptyGraph(7, 3, 0, 1);
    EXPECT_EQ(GetGraphRecord(graph)->params.AlphaChFlag, 1);
    EXPECT_EQ(GetGraphRecord(graph)->params.ColorBitDepth, 32);
    SurfaceDataRecord* surface = SurfaceOfGraph(graph);
    ASSERT_NE(surface->alphaBuffer, nullptr);
    EXPECT_EQ(surface->alphaPitch, 7);
    for (int i = 0; i < 21; ++i) EXPECT_EQ(surface->alphaBuffer[i], 0);
    // Only the plane carries alpha: the surface keeps the screen's format.
    EXPECT_EQ(surface->surface->format.ColorBitDepth, 16);
}

TEST_F(GraphTable, DepthAndColourKeyFollowTheScreenFormat) {
    ColorFormat screen = {};
    SetFormatFromMasks(&screen, 16, 0x7C00, 0x03E0, 0x001F, 0);
    SetScreenFormat(&screen);
    int graph = CreateEmptyGraph(4, 4, 0, 0);
    EXPECT_EQ(GetGraphRecord(graph)->params.ColorBitDepth, 16);
    uint32_t key = 0;
    PlatGetColorKey(SurfaceOfGraph(graph)->surface, &key);
    EXPECT_EQ(key, 0x8000u);  // black with the spare bit, as MakeColor packs it

    SetFormatFromMasks(&screen, 32, 0xFF0000, 0xFF00, 0xFF, 0);
    SetScreenFormat(&screen);
    graph = CreateEmptyGraph(4, 4, 0, 0);
    EXPECT_EQ(GetGraphRecord(graph)->params.ColorBitDepth, 32);
    EXPECT_EQ(SurfaceOfGraph(graph)->surface->pitch, 64);  // rows padded to a cache line
}

TEST_F(GraphTable, AGraphWiderThanTheScreenLivesInSystemMemory) {
    EXPECT_EQ(SurfaceOfGraph(CreateEmptyGraph(640, 4, 0, 0))->surface->systemMemory, 0);
    EXPECT_EQ(SurfaceOfGraph(CreateEmptyGraph(641, 4, 0, 0))->surface->systemMemory, 1);
}

TEST_F(GraphTable, SerialWrapsAfter2048Graphs) {
    int first = CreateEmptyGraph(1, 1, 0, 0);
    FreeGraphHandle(first, 0);
    int last = -1;
    for (int made = 1; made < 2048; ++made) {
        last = CreateEmptyGraph(1, 1, 0, 0);
        FreeGraphHandle(last, 0);
    }
    EXPECT_EQ(last, 0x0FFF0000);  // slot 0, serial 2047
    int wrapped = CreateEmptyGraph(1, 1, 0, 0);
    EXPECT_EQ(wrapped, 0x08000000);
    EXPECT_EQ(GetGraphDimensions(last, nullptr, nullptr), -1);
}

TEST_F(GraphTable, FreedSlotsAreReusedOnlyOnceTheMarkReachesTheCapacity) {
    int first = CreateEmptyGraph(1, 1, 0, 0);
    CreateEmptyGraph(1, 1, 0, 0);
    ASSERT_EQ(FreeGraphHandle(first, 0), 0);
    EXPECT_EQ(SlotOf(CreateEmptyGraph(1, 1, 0, 0)), 2);
    while (gGraph.graphs.highWater < GraphCapacity) CreateEmptyGraph(1, 1, 0, 0);
    EXPECT_EQ(gGraph.graphs.count, GraphCapacity - 1);

    int reused = CreateEmptyGraph(1, 1, 0, 0);
    EXPECT_EQ(SlotOf(reused), 0);
    EXPECT_EQ(SerialOf(reused), GraphCapacity % 2048);
    EXPECT_EQ(GetGraphDimensions(first, nullptr, nullptr), -1);
    EXPECT_EQ(GetGraphDimensions(reused, nullptr, nullptr), 0);
}

TEST_F(GraphTableDeathTest, MoreGraphsThanTheTableHoldsEndTheProgram) {
    while (gGraph.graphs.count < GraphCapacity) CreateEmptyGraph(1, 1, 0, 0);
    EXPECT_EXIT(CreateEmptyGraph(1, 1, 0, 0), testing::ExitedWithCode(255), "");
    std::string log = ReadLogUtf8();
    EXPECT_NE(log.find("グラフィックの数が許容量を越えました終了します"), std::string::npos);
    EXPECT_NE(log.find("ソフトをエラー終了します"), std::string::npos);
}

TEST_F(GraphTableDeathTest, AGraphWhosePieceCannotBeMadeEndsTheProgram) {
    // 40000 x 40000 at 16 bits is past what a surface may hold.
    EXPECT_EXIT(CreateEmptyGraph(40000, 40000, 0, 0), testing::ExitedWithCode(255), "");
    EXPECT_NE(ReadLogUtf8().find("グラフィックの作成に失敗しました終了します"), std::string::npos);
    EXPECT_EXIT(CreateEmptyGraph(0, 5, 0, 0), testing::ExitedWithCode(255), "");
}

TEST_F(GraphTable, FreeingTheTopGraphLowersTheMarkPastEmptySlots) {
    std::vector<int> graphs;
    for (int i = 0; i < 4; ++i) graphs.push_back(CreateEmptyGraph(2, 2, 0, 0));
    FreeGraphHandle(graphs[1], 0);
    FreeGraphHandle(graphs[2], 0);
    EXPECT_EQ(gGraph.graphs.highWater, 4);
    FreeGraphHandle(graphs[3], 0);
    EXPECT_EQ(gGraph.graphs.highWater, 1);
    EXPECT_EQ(CreateEmptyGraph(2, 2, 0, 0), 0x08040001);
    FreeAllGraphHandles(0);
    EXPECT_EQ(gGraph.graphs.highWater, 0);
    EXPECT_EQ(gGraph.graphs.count, 0);
}

TEST_F(GraphTable, EveryOperationRefusesSoundTypeAndStaleHandles) {
    int graph = CreateEmptyGraph(8, 8, 0, 0);
    int gone = CreateEmptyGraph(8, 8, 0, 0);
    FreeGraphHandle(gone, 0);
    int sound = (graph & ~HandleTypeMask) | HandleSound << HandleTypeShift;
    for (int handle : {sound, gone, graph | int(0x80000000u), 0x08000000 | 12345}) {
        int32_t flag = 7;
        int width = -5, pitch = -5;
        uint8_t* pixels = nullptr;
        EXPECT_EQ(GetGraphDimensions(handle, &width, nullptr), -1) << std::hex << handle;
        EXPECT_EQ(width, -5);
        EXPECT_EQ(SetGraphDeleteFlag(handle, &flag), -1);
        EXPECT_EQ(flag, 7);
        EXPECT_EQ(LockGraphSurface(handle, &pitch, &pixels), -1);
        EXPECT_EQ(pixels, nullptr);
        EXPECT_EQ(UnlockGraphSurface(handle), -1);
        EXPECT_EQ(FreeGraphHandle(handle, 0), -1);
    }
    int width = 0, height = 0;
    EXPECT_EQ(GetGraphDimensions(graph, &width, &height), 0);
    EXPECT_EQ(width, 8);
    EXPECT_EQ(height, 8);
}

TEST_F(GraphTable, ScreenCodesGiveTheScreenSize) {
    int width = 0, height = 0;
    EXPECT_EQ(GetGraphDimensions(TargetBack, &width, &height), 0);
    EXPECT_EQ(width, 640);
    EXPECT_EQ(height, 480);
    width = 0;
    EXPECT_EQ(GetGraphDimensions(TargetFront, &width, nullptr), 0);
    EXPECT_EQ(width, 640);
    EXPECT_EQ(GetGraphDimensions(TargetWork, &width, &height), -1);
}

TEST_F(GraphTable, DeleteFlagsAreClearedWhenSetAndRaisedWhenFreed) {
    int a = CreateEmptyGraph(2, 2, 0, 0);
    int b = CreateEmptyGraph(2, 2, 0, 0);
    int32_t flagA = 5, flagB = 5;
    EXPECT_EQ(SetGraphDeleteFlag(a, &flagA), 0);
    EXPECT_EQ(SetGraphDeleteFlag(b, &flagB), 0);
    EXPECT_EQ(flagA, 0);
    FreeGraphHandle(a, 0);
    EXPECT_EQ(flagA, 1);
    EXPECT_EQ(flagB, 0);
    FreeAllGraphHandles(0);
    EXPECT_EQ(flagB, 1);
}

TEST_F(GraphTable, FreeingAGraphReleasesItsPieceAndSurfaceAndMayLogIt) {
    int live = PlatLiveSurfaceCount();
    int a = CreateEmptyGraph(2, 2, 0, 1);
    int b = CreateEmptyGraph(2, 2, 0, 0);
    std::snprintf(GetGraphRecord(a)->fileName, 60, "%s", "bomb.png");
    int piece = GetGraphRecord(a)->pieces[0];
    FreeGraphHandle(a, 1);
    FreeGraphHandle(b, 0);
    EXPECT_EQ(GetBmpDataRecord(piece), nullptr);
    EXPECT_EQ(gGraph.bmpData.count, 0);
    EXPECT_EQ(gGraph.surfaces.count, 0);
    EXPECT_EQ(PlatLiveSurfaceCount(), live);
    std::string log = ReadLogUtf8();
    EXPECT_NE(log.find("グラフィック bomb.png の削除\n"), std::string::npos);
    EXPECT_EQ(Occurrences(log, "の削除"), 1);

    CreateEmptyGraph(2, 2, 0, 0);
    CreateEmptyGraph(2, 2, 0, 0);
    FreeAllGraphHandles(1);
    EXPECT_EQ(Occurrences(ReadLogUtf8(), "グラフィック  の削除"), 2);
}

TEST_F(GraphTable, ASharedSurfaceGoesWithItsLastPiece) {
    int live = PlatLiveSurfaceCount();
    GraphParams params = {0, 0, 0, 0, 1, 16};
    int first = AddBmpData(32, 16, 0, 0, -1, -1, 0, 0, &params);
    int second = AddBmpData(8, 8, 0, 0, -1, first, 16, 8, &params);
    ASSERT_GE(second, 0);
    int surface = GetBmpDataRecord(first)->surface;
    EXPECT_EQ(GetBmpDataRecord(second)->surface, surface);
    EXPECT_EQ(GetBmpDataRecord(second)->surfaceX, 16);
    EXPECT_EQ(GetSurfaceDataRecord(surface)->refCount, 2);
    EXPECT_EQ(PlatLiveSurfaceCount(), live + 1);
    int32_t surfaceGone = 0;
    GetSurfaceDataRecord(surface)->head.deleteFlagTarget = &surfaceGone;

    EXPECT_EQ(FreeBmpData(first), 0);
    ASSERT_NE(GetSurfaceDataRecord(surface), nullptr);
    EXPECT_EQ(GetSurfaceDataRecord(surface)->refCount, 1);
    EXPECT_EQ(surfaceGone, 0);
    EXPECT_EQ(FreeBmpData(second), 0);
    EXPECT_EQ(GetSurfaceDataRecord(surface), nullptr);
    EXPECT_EQ(surfaceGone, 1);
    EXPECT_EQ(PlatLiveSurfaceCount(), live);
    EXPECT_EQ(FreeBmpData(second), 0);  // invalid handles are no error here
}

TEST_F(GraphTable, SurfaceReferenceCountsReportTheNewCount) {
    GraphParams params = {0, 0, 0, 0, 1, 16};
    int surface = AddSurfaceData(1, 4, 4, TransparentColor, &params);
    EXPECT_EQ(AddSurfaceRef(surface), 2);
    EXPECT_EQ(ReleaseSurfaceRef(surface), 1);
    EXPECT_EQ(ReleaseSurfaceRef(surface), 0);
    EXPECT_EQ(FreeSurfaceData(surface), 0);
    EXPECT_EQ(AddSurfaceRef(surface), -1);
    EXPECT_EQ(ReleaseSurfaceRef(surface), -1);
    EXPECT_EQ(FreeSurfaceData(surface), -1);
}

TEST_F(GraphTable, AFailedSurfaceSpendsASurfaceSerialButNoBitmapSerial) {
    GraphParams params = {0, 0, 0, 0, 1, 16};
    AddBmpData(4, 4, 0, 0, -1, -1, 0, 0, &params);
    int bmpSerial = gGraph.bmpData.serial;
    int surfaceSerial = gGraph.surfaces.serial;
    EXPECT_EQ(AddBmpData(40000, 40000, 0, 0, -1, -1, 0, 0, &params), -1);
    EXPECT_EQ(gGraph.bmpData.serial, bmpSerial);
    EXPECT_EQ(gGraph.bmpData.count, 1);
    EXPECT_EQ(gGraph.bmpData.slots[1], nullptr);
    EXPECT_EQ(gGraph.surfaces.serial, surfaceSerial + 1);
    EXPECT_EQ(gGraph.surfaces.count, 1);
    EXPECT_EQ(gGraph.surfaces.slots[1], nullptr);
    std::string log = ReadLogUtf8();
    EXPECT_NE(log.find("標準サーフェスの作成に失敗しました\n"), std::string::npos);
    EXPECT_NE(log.find("メモリの確保に失敗しました in AddBmpData \n"), std::string::npos);
}

TEST_F(GraphTable, BitmapDataNeedsTheDisplayDeviceAndHasALimit) {
    GraphParams params = {0, 0, 0, 0, 1, 16};
    SetDisplayDeviceExists(0);
    EXPECT_EQ(AddBmpData(4, 4, 0, 0, -1, -1, 0, 0, &params), -1);
    EXPECT_EQ(FreeAllBmpData(), -1);
    EXPECT_NE(ReadLogUtf8().find("ＴＥＳＳＥＬライブラリが初期化されていません\n"),
              std::string::npos);

    SetDisplayDeviceExists(1);
    int shared = AddBmpData(4, 4, 0, 0, -1, -1, 0, 0, &params);
    while (gGraph.bmpData.count < BmpDataCapacity)
        ASSERT_GE(AddBmpData(1, 1, 0, 0, -1, shared, 0, 0, &params), 0);
    EXPECT_EQ(AddBmpData(1, 1, 0, 0, -1, shared, 0, 0, &params), -1);
    EXPECT_NE(ReadLogUtf8().find("２Ｄグラフィックの量が許容量を越えました\n"), std::string::npos);
    EXPECT_EQ(GetSurfaceDataRecord(GetBmpDataRecord(shared)->surface)->refCount,
              BmpDataCapacity);

    EXPECT_EQ(FreeAllBmpData(), 0);
    EXPECT_EQ(gGraph.bmpData.count, 0);
    EXPECT_EQ(gGraph.surfaces.count, 0);
}

TEST_F(GraphTable, ReleasingTheDisplayFreesBitmapsAndRaisesTheirFlags) {
    GraphParams params = {0, 0, 0, 0, 1, 16};
    int cache = AddBmpData(16, 16, 0, 0, -1, -1, 0, 0, &params);
    int32_t flag = 9;
    EXPECT_EQ(SetBmpDataDeleteFlag(cache, &flag), 0);
    EXPECT_EQ(flag, 0);
    SetDisplayDeviceExists(0);
    EXPECT_EQ(flag, 1);
    EXPECT_EQ(GetBmpDataRecord(cache), nullptr);
    EXPECT_EQ(SetBmpDataDeleteFlag(cache, &flag), -1);
}

TEST(GraphTablesStart, BitmapDataIsLeftAloneUntilGraphicsManagementRegisters) {
    if (gGraph.bmpDataRegistered) GTEST_SKIP() << "needs a process of its own";
    ScratchDir scratch;
    SetDisplayDeviceExists(1);
    GraphParams params = {0, 0, 0, 0, 1, 16};
    int early = AddBmpData(4, 4, 0, 0, -1, -1, 0, 0, &params);
    EXPECT_EQ(FreeAllBmpData(), 0);
    EXPECT_NE(GetBmpDataRecord(early), nullptr);
    InitGraphTables();
    EXPECT_EQ(GetBmpDataRecord(early), nullptr);
}

// A restart empties every table but keeps its serial counting, so no handle
// kept from before names a record made after.
TEST_F(GraphTable, BitmapsOutliveTheGraphTablesAndEverySerialRunsOn) {
    GraphParams params = {0, 0, 0, 0, 1, 16};
    int graph = CreateEmptyGraph(4, 4, 0, 0);
    int surface = HandleOfSlot(&gGraph.surfaces, 0);
    int mask = AddMaskSurface(8, 8);
    EXPECT_EQ(graph, 0x08000000);
    EXPECT_EQ(surface, 0x38000000);
    EXPECT_EQ(mask, 0x40000000);
    int cache = AddBmpData(4, 4, 0, 0, -1, -1, 0, 0, &params);
    EndGraphTables();
    EXPECT_EQ(GetGraphRecord(graph), nullptr);
    EXPECT_EQ(GetMaskRecord(mask), nullptr);
    EXPECT_NE(GetBmpDataRecord(cache), nullptr);  // the font cache keeps its bitmap

    InitGraphTables();
    EXPECT_EQ(GetBmpDataRecord(cache), nullptr);
    EXPECT_EQ(gGraph.surfaces.count, 0);
    int next = CreateEmptyGraph(4, 4, 0, 0);
    EXPECT_EQ(next, 0x08010000);
    EXPECT_EQ(GetGraphDimensions(graph, nullptr, nullptr), -1);
    EXPECT_EQ(HandleOfSlot(&gGraph.surfaces, 0), 0x38020000);  // the cache's surface came between
    EXPECT_EQ(GetSurfaceDataRecord(surface), nullptr);
    EXPECT_EQ(SerialOf(GetGraphRecord(next)->pieces[0]), (SerialOf(cache) + 1) % 2048);
    EXPECT_EQ(AddMaskSurface(8, 8), 0x40010000);
    EXPECT_EQ(GetMaskRecord(mask), nullptr);
}

TEST_F(GraphTable, MaskSurfacesFollowTheHandleRule) {
    int a = AddMaskSurface(3, 2);
    int b = AddMaskSurface(3, 2);
    EXPECT_EQ(b, 0x40010001);
    ASSERT_NE(GetMaskRecord(a), nullptr);
    EXPECT_EQ(GetMaskRecord(a)->width * GetMaskRecord(a)->height, 6);
    EXPECT_EQ(AddMaskSurface(0, 2), -1);
    EXPECT_EQ(FreeMaskSurface(a), 0);
    EXPECT_EQ(FreeMaskSurface(a), -1);
    FreeAllMaskSurfaces();
    EXPECT_EQ(GetMaskRecord(b), nullptr);
    EXPECT_EQ(gGraph.masks.count, 0);
}

}  // namespace
