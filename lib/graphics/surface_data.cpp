// The surface data table: platform surfaces shared by reference count, with
// their alpha planes, colour keys and lock counts.
#include "core/core.h"
#include "draw/screen.h"
#include "graphics/color.h"
#include "graphics/graph.h"

#include <cstdlib>
#include <cstring>

namespace {

// Makes the record's surface in the screen's format, its alpha plane and its
// colour key. 0 or -1, with nothing left behind on failure.
int CreateRecordSurface(SurfaceDataRecord* record, int width, int height) {
    const ColorFormat* format = GetScreenFormat();
    // A surface wider than the screen cannot be copied through the
    // screen-sized work surfaces, so it is kept in system memory.
    int systemMemory = record->params.systemMemory || width > ScreenWidth();
    PlatSurface* surface =
        PlatCreateSurface(width, height, format, systemMemory, PlatFastRowAlign);
    if (!surface) surface = PlatCreateSurface(width, height, format, 1, PlatFastRowAlign);
    if (!surface) return WriteLogString(SJIS("標準サーフェスの作成に失敗しました\n"));

    if (record->params.AlphaChFlag) {
        record->alphaBuffer =
            static_cast<uint8_t*>(std::calloc(size_t(width) * size_t(height), 1));
        if (!record->alphaBuffer) {
            PlatReleaseSurface(surface);
            return WriteLogString(SJIS("αチャンネル用メモリ領域の確保に失敗しました\n"));
        }
        record->alphaPitch = width;
    }

    uint32_t key = format->ColorBitDepth == 8
                       ? 0
                       : MakeColor(int(record->transparentColor >> 16 & 0xFF),
                                   int(record->transparentColor >> 8 & 0xFF),
                                   int(record->transparentColor & 0xFF));
    if (PlatSetColorKey(surface, 1, key) != 0)
        WriteLogString(SJIS("標準サーフェスのカラーキーの設定に失敗しました\n"));
    record->surface = surface;
    return 0;
}

}  // namespace

SurfaceDataRecord* GetSurfaceDataRecord(int handle) {
    return HandleTableGetAs<SurfaceDataRecord>(&gGraph.surfaces, handle);
}

int AddSurfaceData(int refCount, int width, int height, uint32_t transparentColor,
                   const GraphParams* params) {
    int slot = HandleTableReserve(&gGraph.surfaces, sizeof(SurfaceDataRecord));
    if (slot == HandleTableFull)
        return WriteLogString(SJIS("サーフェスのデータ数が許容量を越えました。\n"));
    if (slot < 0)
        return WriteLogString(
            SJIS("サーフェス用データを保存するメモリ領域の確保に失敗しました\n"));
    HandleTableStamp(&gGraph.surfaces, slot);

    SurfaceDataRecord* record = HandleTableRecordAt<SurfaceDataRecord>(&gGraph.surfaces, slot);
    record->params = *params;
    record->transparentColor = transparentColor;
    if (CreateRecordSurface(record, width, height) != 0) {
        HandleTableDiscard(&gGraph.surfaces, slot);
        return -1;
    }
    record->width = uint16_t(width);
    record->height = uint16_t(height);
    record->refCount = uint16_t(refCount);
    return HandleTableCommit(&gGraph.surfaces, slot);
}

int FreeSurfaceData(int handle) {
    SurfaceDataRecord* record = GetSurfaceDataRecord(handle);
    if (!record) return -1;
    PlatReleaseSurface(record->zBuffer);
    std::free(record->alphaBuffer);
    PlatReleaseSurface(record->surface);
    return HandleTableRemove(&gGraph.surfaces, handle);
}

int AddSurfaceRef(int handle) {
    SurfaceDataRecord* record = GetSurfaceDataRecord(handle);
    if (!record) return -1;
    return ++record->refCount;
}

int ReleaseSurfaceRef(int handle) {
    SurfaceDataRecord* record = GetSurfaceDataRecord(handle);
    if (!record) return -1;
    if (record->refCount > 0) --record->refCount;
    return record->refCount;
}

int RestoreSurfaceIfLost(int handle) {
    SurfaceDataRecord* record = GetSurfaceDataRecord(handle);
    if (!record) return -1;
    if (!PlatIsSurfaceLost(record->surface)) return 0;
    PlatRestoreSurface(record->surface);
    return -1;
}

int FillSurfaceData(int handle, int red, int green, int blue, int alpha) {
    SurfaceDataRecord* record = GetSurfaceDataRecord(handle);
    if (!record) return -1;
    PlatSurface* surface = record->surface;
    uint32_t value = MakeColorInFormat(&surface->format, red, green, blue, alpha);
    if (PlatFillSurfaceRect(surface, 0, 0, surface->width, surface->height, value) != 0)
        return -1;
    // The screen's formats carry no alpha; a graph's alpha lives in its plane.
    if (record->alphaBuffer)
        std::memset(record->alphaBuffer, alpha & 0xFF,
                    size_t(record->alphaPitch) * size_t(record->height));
    return 0;
}

int LockSurfaceData(int handle, int* pitch, uint8_t** pointer) {
    SurfaceDataRecord* record = GetSurfaceDataRecord(handle);
    if (!record) return -1;
    if (record->lockCount == 0) {
        uint8_t* pixels;
        int rowBytes;
        if (PlatLockSurface(record->surface, &pixels, &rowBytes) != 0) return -1;
        record->lockPointer = pixels;
        record->lockPitch = rowBytes;
    }
    if (pitch) *pitch = record->lockPitch;
    if (pointer) *pointer = record->lockPointer;
    return record->lockCount++ == 0 ? 0 : -2;
}

int UnlockSurfaceData(int handle) {
    SurfaceDataRecord* record = GetSurfaceDataRecord(handle);
    if (!record || record->lockCount == 0) return -1;
    if (--record->lockCount == 0) {
        PlatUnlockSurface(record->surface);
        record->lockPointer = nullptr;
        record->lockPitch = 0;
    }
    return 0;
}
