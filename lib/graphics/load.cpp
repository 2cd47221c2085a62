// Graphics management's start and end, and loading image files into graphs.
//
// Each graph loaded from a file keeps the path it came from (and the
// directory that was current), so that the default restore handler can
// reload it after the display was lost.
#include "graphics/load.h"

#include "core/core.h"
#include "draw/draw_state.h"
#include "draw/screen.h"
#include "gpu/gpu.h"
#include "graphics/graph.h"
#include "graphics/image.h"
#include "graphics/movie_hook.h"

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <utility>

GraphicsState gGraphics;

namespace {

constexpr int32_t MaxGraphSide = 0xFFFF;

// One byte a pixel holding alpha alone: the alpha plane's format.
ColorFormat AlphaPlaneFormat() {
    ColorFormat format{};
    SetFormatFromMasks(&format, 8, 0, 0, 0, 0xFF);
    return format;
}

void LogPathFailure(const char* format, const char* path) {
    char text[MaxPathLength * 2 + 128];
    std::snprintf(text, sizeof text, format, path);
    LogFailure(text);
}

// Turns every row of the image around in place.
void MirrorImage(GraphImage* image) {
    int bytes = image->format.bytesPerPixel;
    for (int y = 0; y < image->height; ++y) {
        uint8_t* row = image->pixels + static_cast<ptrdiff_t>(y) * image->pitch;
        for (int l = 0, r = image->width - 1; l < r; ++l, --r)
            for (int b = 0; b < bytes; ++b) std::swap(row[l * bytes + b], row[r * bytes + b]);
    }
}

void ColourKeySurface(SurfaceDataRecord* record) {
    const ColorFormat* screen = GetScreenFormat();
    uint32_t colour = record->transparentColor;
    uint32_t key = screen->ColorBitDepth == 8
                       ? 0
                       : MakeColor(int(colour >> 16 & 0xFF), int(colour >> 8 & 0xFF),
                                   int(colour & 0xFF));
    PlatSetColorKey(record->surface, 1, key);
}

// An 8-bit screen takes its values from the palette, colour by colour. The
// image comes as it would through a bitmap: one-byte pixels (grey images)
// through their colour table.
void CopyToPaletteSurface(uint8_t* pixels, int pitch, int dstX, int dstY, const GraphImage* a,
                          int left, int top, int width, int height) {
    bool tabled = a->format.bytesPerPixel == 1;
    for (int y = 0; y < height; ++y) {
        uint8_t* row = pixels + static_cast<ptrdiff_t>(dstY + y) * pitch + dstX;
        const uint8_t* source = a->pixels + static_cast<ptrdiff_t>(top + y) * a->pitch + left;
        for (int x = 0; x < width; ++x) {
            uint32_t c = tabled ? ImageTableColor(&a->format, source[x])
                                : ReadImagePixelColor(a, left + x, top + y);
            row[x] = static_cast<uint8_t>(
                MakeColor(int(c >> 16 & 0xFF), int(c >> 8 & 0xFF), int(c & 0xFF)));
        }
    }
}

void FillAlphaPlane(SurfaceDataRecord* record, const GraphImage* a, const GraphImage* b,
                    int dstX, int dstY, int left, int top, int width, int height) {
    uint8_t* plane = record->alphaBuffer;
    int pitch = record->alphaPitch;
    ColorFormat alpha = AlphaPlaneFormat();
    if (a->format.alphaBits) {
        ConvertPixels(plane, pitch, &alpha, a->pixels, a->pitch, &a->format, nullptr, 0, nullptr,
                      dstX, dstY, left, top, left + width, top + height, 0, 0, 0, 0, 1);
    } else if (b) {
        // The alpha file is a picture whose red channel is the alpha.
        ColorFormat redAsAlpha = b->format;
        redAsAlpha.alphaMask = redAsAlpha.redMask;
        redAsAlpha.alphaBits = redAsAlpha.redBits;
        redAsAlpha.alphaShift = redAsAlpha.redShift;
        ConvertPixels(plane, pitch, &alpha, b->pixels, b->pitch, &redAsAlpha, nullptr, 0,
                      nullptr, dstX, dstY, left, top, left + width, top + height, 0, 0, 0, 0, 1);
    } else {
        for (int y = 0; y < height; ++y)
            std::memset(plane + static_cast<ptrdiff_t>(dstY + y) * pitch + dstX, 255,
                        static_cast<size_t>(width));
    }
}

// Notes where the graph's file lies so that it can be loaded again: the
// path itself with the current directory when it fits the record, else its
// last component with the directory it lies in.
void RecordSource(GraphRecord* graph, const char* path) {
    char current[MaxPathLength] = {};
    GetFileAccessFunctions()->getCurrentDir(current);
    graph->fileName[0] = '\0';
    graph->directory[0] = '\0';
    size_t length = std::strlen(path);
    if (length < sizeof graph->fileName) {
        std::memcpy(graph->fileName, path, length + 1);
        std::snprintf(graph->directory, sizeof graph->directory, "%s", current);
        return;
    }
    const char* cut = LastPathSeparator(path);
    if (!cut || std::strlen(cut + 1) >= sizeof graph->fileName) return;
    int folderLength = static_cast<int>(cut - path);
    char folder[sizeof graph->directory];
    int written;
    if (folderLength == 0)
        written = std::snprintf(folder, sizeof folder, "/");
    else if (path[0] == '/')
        written = std::snprintf(folder, sizeof folder, "%.*s", folderLength, path);
    else
        written = std::snprintf(folder, sizeof folder, "%s/%.*s", current, folderLength, path);
    if (written < 0 || written >= static_cast<int>(sizeof folder)) return;
    std::memcpy(graph->fileName, cut + 1, std::strlen(cut + 1) + 1);
    std::memcpy(graph->directory, folder, sizeof folder);
}

}  // namespace

int GraphicsStarted() { return gGraphics.started; }

int InitGraphicsResources() {
    if (gGraphics.started) return 0;
    WriteLogString(SJIS("グラフィック管理系の初期化を行います\n"));
    GraphRestoreHandler restore = gGraphics.restore;
    gGraphics = GraphicsState{};
    gGraphics.restore = restore;
    InitGraphTables();
    StartGpuPath();
    gGraphics.started = 1;
    ResetDrawState();
    RunHooks(&SubsystemHooks::graphicsStarted);
    WriteLogString(SJIS("グラフィック管理系の初期化は正常に終了しました\n"));
    return 0;
}

int EndGraphicsResources() {
    if (!gGraphics.started) return 0;
    EndGraphTables();
    RunHooks(&SubsystemHooks::graphicsEnding);
    StopGpuPath();
    gGraphics.started = 0;
    WriteLogString(SJIS("グラフィック管理系の終了処理は正常に終了しました\n"));
    return 0;
}

void AlphaFileName(const char* path, char* out, int size) {
    const char* dot = std::strrchr(path, '.');
    if (!dot) {
        std::snprintf(out, static_cast<size_t>(size), "%s_a", path);
        return;
    }
    std::snprintf(out, static_cast<size_t>(size), "%.*s_a%s", static_cast<int>(dot - path), path,
                  dot);
}

int LoadImageWithAlpha(const char* path, GraphImage* a, GraphImage* b, int* hasB, int mirror) {
    *a = GraphImage{};
    *b = GraphImage{};
    *hasB = 0;
    if (LoadImageFile(path, a) != 0) return -1;
    char alphaPath[MaxPathLength + 8];
    AlphaFileName(path, alphaPath, sizeof alphaPath);
    *hasB = LoadImageFile(alphaPath, b) == 0;
    if (mirror) {
        MirrorImage(a);
        if (*hasB) MirrorImage(b);
    }
    return 0;
}

int CopyImageToGraph(int graphHandle, const GraphImage* a, const GraphImage* b, int sourceX,
                     int sourceY) {
    if (ScreenLockCount() > 0) return 0;
    GraphRecord* graph = GetGraphRecord(graphHandle);
    if (!graph) return -1;
    const ColorFormat* screen = GetScreenFormat();
    for (int i = 0; i < graph->pieceCount; ++i) {
        BmpDataRecord* piece = GetBmpDataRecord(graph->pieces[i]);
        SurfaceDataRecord* record = piece ? GetSurfaceDataRecord(piece->surface) : nullptr;
        if (!record) return -1;
        // A surface given up with the display is taken back before it is written.
        RestoreSurfaceIfLost(piece->surface);

        int left = sourceX + piece->offsetX, top = sourceY + piece->offsetY;
        int width = std::min<int>(piece->width, a->width - left);
        int height = std::min<int>(piece->height, a->height - top);
        if (width <= 0 || height <= 0) continue;
        int pitch = 0;
        uint8_t* pixels = nullptr;
        if (LockSurfaceData(piece->surface, &pitch, &pixels) == -1)
            ErrorExit(SJIS("ＢＭＰサーフェスのロックに失敗しました"));
        if (screen->ColorBitDepth > 8) {
            ConvertPixels(pixels, pitch, &record->surface->format, a->pixels, a->pitch,
                          &a->format, nullptr, 0, nullptr, piece->surfaceX, piece->surfaceY,
                          left, top, left + width, top + height, 0, 0, 0, 0, 0);
        } else {
            CopyToPaletteSurface(pixels, pitch, piece->surfaceX, piece->surfaceY, a, left, top,
                                 width, height);
        }
        UnlockSurfaceData(piece->surface);
        if (screen->ColorBitDepth > 8 && record->alphaBuffer)
            FillAlphaPlane(record, a, b, piece->surfaceX, piece->surfaceY, left, top, width,
                           height);
        ColourKeySurface(record);
    }
    return 0;
}

int LoadGraphFile(const char* path) {
    if (!LibraryRunning() || ScreenLockCount() > 0 || !path) return -1;
    WaitWhileInactive();

    GraphImage a, b;
    int hasB = 0;
    if (LoadImageWithAlpha(path, &a, &b, &hasB, 0) != 0) {
        if (!FileOpens(path)) {
            LogFailureFormat(SJIS("グラフィックファイル %s がありません"), path);
            return -1;
        }
        return LoadMovieGraph(path);
    }
    // A graph measures its sides in 16 bits; a longer side is an image no
    // graph can hold, which makes the file one that does not load.
    if (a.width > MaxGraphSide || a.height > MaxGraphSide) {
        FreeGraphImagePixels(&a);
        if (hasB) FreeGraphImagePixels(&b);
        LogPathFailure(SJIS("右記のグラフィックファイルのロードに失敗しました：%s \n"), path);
        return -1;
    }
    if (hasB && (b.width != a.width || b.height != a.height)) {
        FreeGraphImagePixels(&a);
        FreeGraphImagePixels(&b);
        return -1;
    }

    int alpha = a.format.alphaBits != 0 || hasB;
    int handle = CreateEmptyGraph(a.width, a.height, 1, alpha);
    if (handle >= 0) {
        CopyImageToGraph(handle, &a, hasB ? &b : nullptr, 0, 0);
        GraphRecord* graph = GetGraphRecord(handle);
        RecordSource(graph, path);
        graph->sourceX = 0;
        graph->sourceY = 0;
        graph->loadOption = 0;
    }
    FreeGraphImagePixels(&a);
    if (hasB) FreeGraphImagePixels(&b);
    return handle;
}
