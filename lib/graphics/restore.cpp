// Bringing graphs back after the display was lost: surfaces are taken back
// first (their contents undefined), then the restore handler fills them
// again, by default from the files the graphs were loaded from.
#include "core/core.h"
#include "draw/screen.h"
#include "graphics/graph.h"
#include "graphics/image.h"
#include "graphics/load.h"

#include <cstring>

namespace {

GraphRecord* GraphInSlot(int slot) {
    if (!gGraph.graphs.slots[slot]) return nullptr;
    return GetGraphRecord(HandleOfSlot(&gGraph.graphs, slot));
}

// The files may have changed on disk since the graph was loaded. As on a
// first load the alpha file must match its image, and the image must still
// cover the graph's area; otherwise the copy would read past their pixels.
bool ImagesFitGraph(const GraphRecord* graph, const GraphImage* a, const GraphImage* b) {
    if (b && (b->width != a->width || b->height != a->height)) return false;
    return graph->sourceX + graph->width <= a->width &&
           graph->sourceY + graph->height <= a->height;
}

}  // namespace

int SetGraphRestoreHandler(GraphRestoreHandler handler) {
    gGraphics.restore = handler ? handler : RestoreGraphsFromFiles;
    return 0;
}

int HasGraphRestoreHandler() { return gGraphics.restore ? 1 : 0; }

int MarkGraphsForRestore() {
    for (int slot = 0; slot < gGraph.graphs.highWater; ++slot)
        if (GraphRecord* graph = GraphInSlot(slot)) graph->restorePending = 1;
    if (gGraphics.restore) gGraphics.restore();
    return 0;
}

int RestoreLostSurfaces() {
    if (!gGraphics.started || ScreenLockCount() > 0) return 0;
    PlatSurface* screen[] = {gScreenState.front, gScreenState.back, gScreenState.destWork,
                             gScreenState.sourceWork};
    for (PlatSurface* surface : screen)
        if (surface && PlatIsSurfaceLost(surface)) PlatRestoreSurface(surface);
    for (int slot = 0; slot < gGraph.graphs.highWater; ++slot) {
        GraphRecord* graph = GraphInSlot(slot);
        if (!graph) continue;
        for (int i = 0; i < graph->pieceCount; ++i)
            if (BmpDataRecord* piece = GetBmpDataRecord(graph->pieces[i]))
                RestoreSurfaceIfLost(piece->surface);
    }
    return 0;
}

int RestoreGraphsFromFiles() {
    WriteLogString(SJIS("グラフィックを復帰します\n"));
    const FileAccessFunctions* files = GetFileAccessFunctions();
    char previousDir[MaxPathLength] = {};
    files->getCurrentDir(previousDir);

    GraphImage a{}, b{};
    int hasB = 0;
    // The images in hand, decoded for the graph handled just before.
    bool loaded = false;
    char loadedName[sizeof GraphRecord::fileName] = {};
    char loadedDir[sizeof GraphRecord::directory] = {};
    int loadedOption = -1;

    for (int slot = 0; slot < gGraph.graphs.highWater; ++slot) {
        GraphRecord* graph = GraphInSlot(slot);
        if (!graph || !graph->restorePending || graph->fileName[0] == '\0' ||
            std::strlen(graph->directory) > 128)
            continue;
        bool same = loaded && std::strcmp(loadedName, graph->fileName) == 0 &&
                    std::strcmp(loadedDir, graph->directory) == 0 &&
                    loadedOption == graph->loadOption;
        if (!same) {
            FreeGraphImagePixels(&a);
            if (hasB) FreeGraphImagePixels(&b);
            hasB = 0;
            loaded = false;
            files->setCurrentDir(graph->directory);
            WriteLogFormat(SJIS("パス:%s ファイル:%s をロードします"), graph->directory,
                           graph->fileName);
            if (LoadImageWithAlpha(graph->fileName, &a, &b, &hasB, graph->loadOption == 1) != 0) {
                LogFailureFormat(SJIS("パス:%s ファイル:%s がロードできませんでした"),
                               graph->directory, graph->fileName);
                graph->restorePending = 0;
                continue;
            }
            loaded = true;
            std::memcpy(loadedName, graph->fileName, sizeof loadedName);
            std::memcpy(loadedDir, graph->directory, sizeof loadedDir);
            loadedOption = graph->loadOption;
        }
        if (!ImagesFitGraph(graph, &a, hasB ? &b : nullptr)) {
            LogFailureFormat(SJIS("パス:%s ファイル:%s がロードできませんでした"), graph->directory,
                           graph->fileName);
            graph->restorePending = 0;
            continue;
        }
        CopyImageToGraph(HandleOfSlot(&gGraph.graphs, slot), &a, hasB ? &b : nullptr,
                         graph->sourceX, graph->sourceY);
        graph->restorePending = 0;
    }

    FreeGraphImagePixels(&a);
    if (hasB) FreeGraphImagePixels(&b);
    files->setCurrentDir(previousDir);
    return 0;
}
