// DrawStretchedGraph: a whole graph stretched over a rectangle, each pixel
// taking the source pixel under its centre.
//
// The rectangle may be anywhere in the int range and of any size: its
// sides are worked in 64 bits, the work is bounded by its clipped part, and
// a source column is found once for every column of that part.
#include "draw/blit.h"

#include "core/core.h"
#include "draw/draw_path.h"
#include "draw/screen.h"
#include "graphics/graph.h"
#include "graphics/movie_hook.h"
#include "platform/pixels/surface.h"

#include <algorithm>
#include <cstring>
#include <vector>

namespace {

// The source index under the centre of target pixel `at` (0-based) of
// `span` target pixels showing `size` source ones; counted from the far
// end when mirrored.
int SourceIndex(int64_t at, int64_t span, int size, bool mirrored) {
    int index = int((2 * at + 1) * size / (2 * span));
    return mirrored ? size - 1 - index : index;
}

}  // namespace

int BlitStretchedGraph(int left, int top, int right, int bottom, GraphRecord* graph,
                       int transparent) {
    BmpDataRecord* piece = GetBmpDataRecord(graph->pieces[0]);
    SurfaceDataRecord* surface = GetSurfaceDataRecord(piece->surface);
    PlatSurface* draw = gDraw.drawSurface;
    const int64_t x0 = std::min(left, right), x1 = std::max(left, right);
    const int64_t y0 = std::min(top, bottom), y1 = std::max(top, bottom);
    Rect box = ClampInto(x0, y0, x1, y1, gDraw.drawArea);
    if (box.right <= box.left || box.bottom <= box.top) return 0;
    int width = box.right - box.left, height = box.bottom - box.top;
    int dstX = box.left + gDraw.targetOrigin.left, dstY = box.top + gDraw.targetOrigin.top;
    if (dstX < 0 || dstY < 0 || width > draw->width - dstX || height > draw->height - dstY)
        return 0;

    const int sourceWidth = piece->width, sourceHeight = piece->height;
    std::vector<int> columns(size_t(width), 0);
    for (int c = 0; c < width; ++c)
        columns[size_t(c)] = SourceIndex(box.left - x0 + c, x1 - x0, sourceWidth, right < left);

    PlatSurface* src = surface->surface;
    int srcX = piece->surfaceX, srcY = piece->surfaceY;
    PlatSurface* work = gScreenState.sourceWork;
    // As the turned blitter: a slow source is read from a copy.
    bool inPlace = PlatSurfaceReadsFast(src) && src != draw && draw != work;
    if (!src->systemMemory && !inPlace && work && sourceWidth <= work->width &&
        sourceHeight <= work->height &&
        CopySurfaceRect(work, 0, 0, src,
                        Rect{srcX, srcY, srcX + sourceWidth, srcY + sourceHeight}, 0) == 0) {
        src = work;
        srcX = srcY = 0;
    }
    uint8_t *drawPixels, *srcPixels;
    int drawPitch, srcPitch;
    if (PlatLockSurface(draw, &drawPixels, &drawPitch) != 0)
        ErrorExit(SJIS("転送先サーフェスのロックに失敗しました in DrawStretchedGraph "));
    if (PlatLockSurface(src, &srcPixels, &srcPitch) != 0) {
        PlatUnlockSurface(draw);
        ErrorExit(SJIS("転送元サーフェスのロックに失敗しました in DrawStretchedGraph "));
    }

    BlitFormat format = ClassifyBlitFormat(GetScreenFormat());
    int hasAlpha = surface->params.AlphaChFlag && surface->alphaBuffer;
    BlendInfo blend;
    CurrentBlend(format, 1, &blend);
    uint32_t colour = surface->transparentColor;
    blend.key = MakeColor(int(colour >> 16 & 0xFF), int(colour >> 8 & 0xFF), int(colour & 0xFF));
    if (BlendSpan span = ChooseBlendSpan(format, blend, transparent != 0, hasAlpha)) {
        const int bytes = draw->format.bytesPerPixel;
        constexpr int Chunk = 256;
        alignas(16) uint8_t pixels[Chunk * 4];
        uint8_t alphas[Chunk];
        for (int r = 0; r < height; ++r) {
            int sy = SourceIndex(box.top - y0 + r, y1 - y0, sourceHeight, bottom < top);
            const uint8_t* row = srcPixels + std::ptrdiff_t(srcY + sy) * srcPitch +
                                 std::ptrdiff_t(srcX) * bytes;
            const uint8_t* alphaRow =
                hasAlpha ? surface->alphaBuffer +
                               std::ptrdiff_t(piece->surfaceY + sy) * surface->alphaPitch +
                               piece->surfaceX
                         : nullptr;
            uint8_t* dst = drawPixels + std::ptrdiff_t(dstY + r) * drawPitch +
                           std::ptrdiff_t(dstX) * bytes;
            for (int c = 0; c < width; c += Chunk) {
                int n = std::min(Chunk, width - c);
                for (int i = 0; i < n; ++i) {
                    int sx = columns[size_t(c + i)];
                    std::memcpy(pixels + i * bytes, row + std::ptrdiff_t(sx) * bytes, size_t(bytes));
                    if (alphaRow) alphas[i] = alphaRow[sx];
                }
                uint8_t* at = dst + std::ptrdiff_t(c) * bytes;
                span(at, at, pixels, alphaRow ? alphas : nullptr, n, blend);
            }
        }
    }
    PlatUnlockSurface(draw);
    PlatUnlockSurface(src);
    return 0;
}

int DrawStretchedGraph(int left, int top, int right, int bottom, int graph, int transparent) {
    if (!LibraryRunning()) return -1;
    if (DrawingSuspended() || gDraw.drawAreaEmpty) return 0;
    GraphRecord* record = GetGraphRecord(graph);
    if (!record || record->pieceCount == 0) return -1;
    if (left == right || top == bottom) return 0;
    WaitWhileInactive();
    BringGraphMovieFrame(graph);
    if (!DisplayExists() || !gDraw.drawSurface || !GraphHasPixels(record)) return -1;

    Rect area = {std::min(left, right), std::min(top, bottom), std::max(left, right),
                 std::max(top, bottom)};
    if (gDraw.maskEnabled) MaskBeforeDraw(area);
    int result = TargetDrawPath().drawStretched(left, top, right, bottom, record, transparent);
    if (gDraw.maskEnabled) MaskAfterDraw(area);
    return result;
}
