// The bitmap data table: the pieces of graphs, each on a shared surface.
#include "core/core.h"
#include "graphics/graph.h"

BmpDataRecord* GetBmpDataRecord(int handle) {
    return HandleTableGetAs<BmpDataRecord>(&gGraph.bmpData, handle);
}

int AddBmpData(int width, int height, int offsetX, int offsetY, int owner, int shareFrom,
               int surfaceX, int surfaceY, const GraphParams* params) {
    if (!gGraph.displayExists)
        return WriteLogString(SJIS("ＴＥＳＳＥＬライブラリが初期化されていません\n"));

    int slot = HandleTableReserve(&gGraph.bmpData, sizeof(BmpDataRecord));
    if (slot == HandleTableFull)
        return WriteLogString(SJIS("２Ｄグラフィックの量が許容量を越えました\n"));
    if (slot < 0) return WriteLogString(SJIS("メモリの確保に失敗しました in AddBmpData \n"));

    // The serial is taken only once the surface is there: a failed attempt
    // leaves the table as it was.
    int surface;
    if (BmpDataRecord* shared = GetBmpDataRecord(shareFrom)) {
        surface = shared->surface;
        AddSurfaceRef(surface);
    } else {
        surface = AddSurfaceData(1, width, height, TransparentColor, params);
    }
    if (surface < 0) {
        HandleTableDiscard(&gGraph.bmpData, slot);
        return WriteLogString(SJIS("メモリの確保に失敗しました in AddBmpData \n"));
    }

    BmpDataRecord* record = HandleTableRecordAt<BmpDataRecord>(&gGraph.bmpData, slot);
    record->offsetX = uint16_t(offsetX);
    record->offsetY = uint16_t(offsetY);
    record->surfaceX = uint16_t(surfaceX);
    record->surfaceY = uint16_t(surfaceY);
    record->width = uint16_t(width);
    record->height = uint16_t(height);
    record->owner = owner;
    record->surface = surface;
    HandleTableStamp(&gGraph.bmpData, slot);
    return HandleTableCommit(&gGraph.bmpData, slot);
}

int FreeBmpData(int handle) {
    BmpDataRecord* record = GetBmpDataRecord(handle);
    if (!record) return 0;
    if (ReleaseSurfaceRef(record->surface) == 0) FreeSurfaceData(record->surface);
    HandleTableRemove(&gGraph.bmpData, handle);
    return 0;
}

int FreeAllBmpData() {
    if (!gGraph.displayExists) return -1;
    if (!gGraph.bmpDataRegistered) return 0;
    for (int slot = 0; slot < gGraph.bmpData.highWater; ++slot)
        if (gGraph.bmpData.slots[slot]) FreeBmpData(HandleOfSlot(&gGraph.bmpData, slot));
    return 0;
}

int SetBmpDataDeleteFlag(int handle, int32_t* target) {
    BmpDataRecord* record = GetBmpDataRecord(handle);
    if (!record) return -1;
    record->head.deleteFlagTarget = target;
    if (target) *target = 0;
    return 0;
}
