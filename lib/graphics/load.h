// Graphics management: its start and end with the screen, loading image
// files into graphs, and bringing graphs back after the display was lost.
#ifndef TESSEL_GRAPHICS_LOAD_H
#define TESSEL_GRAPHICS_LOAD_H

#include <cstdint>

struct GraphImage;

using GraphRestoreHandler = int (*)();

struct GraphicsState {
    int started;                     // InitGraphicsResources ran, EndGraphicsResources not yet
    GraphRestoreHandler restore;     // run by MarkGraphsForRestore; kept across restarts
};

extern GraphicsState gGraphics;

// Decodes an icon file into 0xAARRGGBB pixels for the window, freed by the
// caller with std::free; a picture without alpha of its own is opaque. 0 or -1.
int DecodeWindowIcon(const char* file, uint32_t** argb, int* width, int* height);

// Started by the mode change after the screen surfaces exist; a second
// call does nothing. 0.
int InitGraphicsResources();
// Frees the mask surfaces, every graph and the fonts. 0.
int EndGraphicsResources();
int GraphicsStarted();

// Installs the handler run after the display came back; null installs
// RestoreGraphsFromFiles. 0.
int SetGraphRestoreHandler(GraphRestoreHandler handler);
int HasGraphRestoreHandler();
// Marks every graph for reloading and runs the restore handler. 0.
int MarkGraphsForRestore();
// Takes back every lost screen and graph surface; their contents are
// undefined until redrawn. Nothing before graphics management starts or
// while a screen surface is locked. 0.
int RestoreLostSurfaces();
// The default handler: reloads each marked graph from the file it was
// loaded from. 0.
int RestoreGraphsFromFiles();

// Copies image `a` (and the alpha of `b`, when given) into the pieces of
// `graph`, from (sourceX, sourceY) of the image. 0, or -1 when the graph is
// invalid or a surface cannot be reached.
int CopyImageToGraph(int graph, const GraphImage* a, const GraphImage* b, int sourceX,
                     int sourceY);
// The alpha file's name: "_a" before the last "." of `path`, or appended
// when there is none.
void AlphaFileName(const char* path, char* out, int size);
// Decodes `path` and its alpha file; `mirror` turns both left to right. 0
// with `a` filled (and `b` when the alpha file decoded), -1 when `path` did
// not decode.
int LoadImageWithAlpha(const char* path, GraphImage* a, GraphImage* b, int* hasB, int mirror);

#endif
