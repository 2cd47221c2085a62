// The graph table, and the start and end of the image tables.
#include "core/core.h"
#include "draw/screen.h"
#include "graphics/color.h"
#include "gpu/gpu.h"
#include "graphics/graph.h"
#include "graphics/movie_hook.h"

#include <cstdlib>

namespace {

HandleRecord* graphSlots[GraphCapacity];
HandleRecord* bmpDataSlots[BmpDataCapacity];
HandleRecord* surfaceSlots[SurfaceDataCapacity];
HandleRecord* maskSlots[MaskCapacity];

}  // namespace

GraphState gGraph = {
    {HandleGraph, GraphCapacity, graphSlots, 0, 0, 0},
    {HandleBmpData, BmpDataCapacity, bmpDataSlots, 0, 0, 0},
    {HandleSurfaceData, SurfaceDataCapacity, surfaceSlots, 0, 0, 0},
    {HandleMask, MaskCapacity, maskSlots, 0, 0, 0},
    0, 0, {},
};

void SetDisplayDeviceExists(int exists) {
    if (!exists && gGraph.displayExists) FreeAllBmpData();
    gGraph.displayExists = exists ? 1 : 0;
}

int InitGraphTables() {
    gGraph.bmpDataRegistered = 1;
    FreeAllBmpData();
    // Records left from an earlier start are dropped; surfaces still held
    // are released first so that nothing leaks. The serials run on, so a
    // handle kept from before names nothing made now.
    for (int slot = 0; slot < gGraph.surfaces.highWater; ++slot)
        if (gGraph.surfaces.slots[slot]) FreeSurfaceData(HandleOfSlot(&gGraph.surfaces, slot));
    FreeAllMaskSurfaces();
    HandleTableReset(&gGraph.graphs);
    HandleTableReset(&gGraph.surfaces);
    HandleTableReset(&gGraph.masks);
    return 0;
}

int EndGraphTables() {
    FreeAllMaskSurfaces();
    FreeAllGraphHandles(0);
    return 0;
}

GraphRecord* GetGraphRecord(int graph) {
    return HandleTableGetAs<GraphRecord>(&gGraph.graphs, graph);
}

int CreateEmptyGraph(int width, int height, int useTexture, int alphaChannel) {
    if (!LibraryRunning() || ScreenLockCount() > 0) return -1;

    int handle = HandleTableAdd(&gGraph.graphs, sizeof(GraphRecord));
    if (handle == HandleTableFull)
        ErrorExit(SJIS("グラフィックの数が許容量を越えました終了します"));
    if (handle < 0) ErrorExit(SJIS("メモリの確保に失敗しました"));

    GraphRecord* graph = GetGraphRecord(handle);
    // A texture only while the GPU path runs; otherwise the software
    // blitters draw it whatever the caller asked for.
    graph->params.useTexture = useTexture && GpuRunning() ? 1 : 0;
    graph->params.AlphaChFlag = alphaChannel ? 1 : 0;
    graph->params.DrawValid = 0;
    graph->params.systemMemory = 0;
    graph->params.AlphaTestFlag = 1;
    graph->params.ColorBitDepth = uint8_t(alphaChannel ? 32 : QueryScreenDepth());
    graph->width = uint16_t(width);
    graph->height = uint16_t(height);
    graph->movie = -1;

    int piece = width > 0 && height > 0 && width <= 0xFFFF && height <= 0xFFFF
                    ? AddBmpData(width, height, 0, 0, handle, -1, 0, 0, &graph->params)
                    : -1;
    if (piece < 0) ErrorExit(SJIS("グラフィックの作成に失敗しました終了します"));
    graph->pieces[0] = piece;
    graph->pieceCount = 1;
    // The device running out of texture memory fails the graph as running
    // out of surfaces does.
    if (graph->params.useTexture && CreateGraphTiles(graph) != 0)
        ErrorExit(SJIS("グラフィックの作成に失敗しました終了します"));
    return handle;
}

int CreateDefaultGraph(int width, int height) { return CreateEmptyGraph(width, height, 1, 0); }

int CreateMovieGraph(int width, int height) {
    if (!LibraryRunning() || ScreenLockCount() > 0 || width <= 0 || height <= 0 ||
        width > 0xFFFF || height > 0xFFFF)
        return -1;
    int handle = HandleTableAdd(&gGraph.graphs, sizeof(GraphRecord));
    if (handle < 0) return -1;
    GraphRecord* graph = GetGraphRecord(handle);
    graph->params = GraphParams{0, 0, 0, 1, 1, uint8_t(QueryScreenDepth())};
    graph->width = uint16_t(width);
    graph->height = uint16_t(height);
    graph->movie = -1;
    int piece = AddBmpData(width, height, 0, 0, handle, -1, 0, 0, &graph->params);
    if (piece < 0) {
        HandleTableRemove(&gGraph.graphs, handle);
        return -1;
    }
    graph->pieces[0] = piece;
    graph->pieceCount = 1;
    return handle;
}

int FreeGraphHandle(int graph, int logIt) {
    if (!LibraryRunning()) return -1;
    if (ScreenLockCount() > 0) return 0;
    GraphRecord* record = GetGraphRecord(graph);
    if (!record) return -1;
    ReleaseDrawTargetGraph(graph);
    CloseGraphMovie(graph);
    FreeGraphTiles(record);
    for (int i = 0; i < record->pieceCount; ++i) FreeBmpData(record->pieces[i]);
    if (logIt) WriteLogFormat(SJIS("グラフィック %s の削除"), record->fileName);
    return HandleTableRemove(&gGraph.graphs, graph);
}

int FreeAllGraphHandles(int logIt) {
    if (!LibraryRunning()) return -1;
    // The mark falls as the topmost graphs go, so it is read afresh each time.
    for (int slot = 0; slot < gGraph.graphs.highWater; ++slot)
        if (gGraph.graphs.slots[slot])
            FreeGraphHandle(HandleOfSlot(&gGraph.graphs, slot), logIt);
    return 0;
}

int SetGraphDeleteFlag(int graph, int32_t* target) {
    if (!LibraryRunning()) return -1;
    GraphRecord* record = GetGraphRecord(graph);
    if (!record) return -1;
    record->head.deleteFlagTarget = target;
    if (target) *target = 0;
    return 0;
}

int GetGraphDimensions(int graph, int* width, int* height) {
    if (!LibraryRunning()) return -1;
    int w, h;
    if (graph == TargetFront || graph == TargetBack) {
        w = ScreenWidth();
        h = ScreenHeight();
    } else {
        GraphRecord* record = GetGraphRecord(graph);
        if (!record) return -1;
        w = record->width;
        h = record->height;
    }
    if (width) *width = w;
    if (height) *height = h;
    return 0;
}

// --- mask surfaces ------------------------------------------------------------

MaskRecord* GetMaskRecord(int handle) { return HandleTableGetAs<MaskRecord>(&gGraph.masks, handle); }

int AddMaskSurface(int width, int height) {
    if (width <= 0 || height <= 0 || uint64_t(width) * uint64_t(height) > 0x7FFFFFFF) return -1;
    int slot = HandleTableReserve(&gGraph.masks, sizeof(MaskRecord));
    if (slot < 0) return -1;
    MaskRecord* mask = HandleTableRecordAt<MaskRecord>(&gGraph.masks, slot);
    mask->pixels = static_cast<uint8_t*>(std::calloc(size_t(width) * size_t(height), 1));
    if (!mask->pixels) {
        HandleTableDiscard(&gGraph.masks, slot);
        return -1;
    }
    mask->width = width;
    mask->height = height;
    HandleTableStamp(&gGraph.masks, slot);
    return HandleTableCommit(&gGraph.masks, slot);
}

int FreeMaskSurface(int handle) {
    MaskRecord* mask = GetMaskRecord(handle);
    if (!mask) return -1;
    std::free(mask->pixels);
    return HandleTableRemove(&gGraph.masks, handle);
}

int FreeAllMaskSurfaces() {
    for (int slot = 0; slot < gGraph.masks.highWater; ++slot)
        if (gGraph.masks.slots[slot]) FreeMaskSurface(HandleOfSlot(&gGraph.masks, slot));
    return 0;
}
