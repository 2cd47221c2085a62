// Locking graphs and the screen's own surfaces for direct pixel access.
//
// A graph's pieces count their locks. The screen's surfaces keep one flag
// each instead: however often one is locked, a single unlock releases it.
// While any screen surface is locked, graphs are neither made nor freed,
// since the surface pointer handed out must stay good.
#include "core/core.h"
#include "graphics/graph.h"

namespace {

// Index of a screen code in the registry, or -1.
int ScreenIndex(int code) {
    return code >= TargetFront && code <= TargetBack ? code - TargetFront : -1;
}

const char* LockFailedMessage() { return SJIS("グラフィックのロックに失敗しました"); }

int LockScreenSurface(int index, int* pitch, uint8_t** pointer) {
    ScreenSurfaceState& screen = gGraph.screen;
    if (!screen.surface[index]) return -1;
    if (!screen.locked[index]) {
        if (PlatLockSurface(screen.surface[index], &screen.pointer[index],
                            &screen.pitch[index]) != 0)
            ErrorExit(LockFailedMessage());
        screen.locked[index] = 1;
        ++screen.lockedCount;
        if (pitch) *pitch = screen.pitch[index];
        if (pointer) *pointer = screen.pointer[index];
        return 0;
    }
    if (pitch) *pitch = screen.pitch[index];
    if (pointer) *pointer = screen.pointer[index];
    return -2;
}

int UnlockScreenSurface(int index) {
    ScreenSurfaceState& screen = gGraph.screen;
    if (!screen.locked[index]) return -1;
    PlatUnlockSurface(screen.surface[index]);
    screen.locked[index] = 0;
    screen.pointer[index] = nullptr;
    screen.pitch[index] = 0;
    --screen.lockedCount;
    return 0;
}

// The surface data handle of one piece, or -1.
int PieceSurface(int piece) {
    BmpDataRecord* bmp = GetBmpDataRecord(piece);
    return bmp ? bmp->surface : -1;
}

}  // namespace

int SetScreenSurface(int code, PlatSurface* surface) {
    int index = ScreenIndex(code);
    if (index < 0) return -1;
    ScreenSurfaceState& screen = gGraph.screen;
    // A surface taken away while locked goes with its lock.
    if (screen.locked[index] && screen.surface[index] != surface) UnlockScreenSurface(index);
    screen.surface[index] = surface;
    return 0;
}

PlatSurface* GetScreenSurface(int code) {
    int index = ScreenIndex(code);
    return index < 0 ? nullptr : gGraph.screen.surface[index];
}

int ScreenLockCount() { return gGraph.screen.lockedCount; }

int LockGraphSurface(int graph, int* pitch, uint8_t** pixels) {
    if (!LibraryRunning()) return -1;
    int index = ScreenIndex(graph);
    if (index >= 0) return LockScreenSurface(index, pitch, pixels);

    GraphRecord* record = GetGraphRecord(graph);
    if (!record) return -1;
    int result = 0;
    for (int i = 0; i < record->pieceCount; ++i) {
        int piecePitch;
        uint8_t* piecePixels;
        int locked = LockSurfaceData(PieceSurface(record->pieces[i]), &piecePitch, &piecePixels);
        if (locked == -1) {
            for (int j = 0; j < i; ++j) UnlockSurfaceData(PieceSurface(record->pieces[j]));
            WriteLogFormat("%s", LockFailedMessage());
            return -1;
        }
        if (locked == -2) result = -2;
        if (i == 0) {
            if (pitch) *pitch = piecePitch;
            if (pixels) *pixels = piecePixels;
        }
    }
    return result;
}

int UnlockGraphSurface(int graph) {
    if (!LibraryRunning()) return -1;
    int index = ScreenIndex(graph);
    if (index >= 0) return UnlockScreenSurface(index);

    GraphRecord* record = GetGraphRecord(graph);
    if (!record) return -1;
    int result = 0;
    for (int i = 0; i < record->pieceCount; ++i)
        if (UnlockSurfaceData(PieceSurface(record->pieces[i])) != 0) result = -1;
    return result;
}
