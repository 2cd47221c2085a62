// DrawGraph, DrawGraphPart and their software blitter: clip the piece once
// against the draw area, then either copy it as one rectangle (keyed through
// the source surface's own colour key) or mix its alpha plane into the
// destination with the one loop chosen for the screen format and the key.
#include "draw/blit.h"

#include "core/core.h"
#include "draw/draw_path.h"
#include "draw/screen.h"
#include "graphics/graph.h"
#include "graphics/movie_hook.h"
#include "platform/pixels/surface.h"

#include <algorithm>

namespace {

int FitsIn(const PlatSurface* surface, int x, int y, int width, int height) {
    return surface && x >= 0 && y >= 0 && width <= surface->width - x &&
           height <= surface->height - y;
}

// Copies `rect` of `surface` to (0, 0) of the work surface so that the loop
// reads it from system memory; the surface itself when the work surface is
// missing or too small. The surface to read and the rectangle's top-left in it.
PlatSurface* ReadThroughWork(PlatSurface* work, PlatSurface* surface, const Rect& rect, int* x,
                             int* y) {
    int width = rect.right - rect.left, height = rect.bottom - rect.top;
    if (!FitsIn(work, 0, 0, width, height) || CopySurfaceRect(work, 0, 0, surface, rect, 0) != 0) {
        *x = rect.left;
        *y = rect.top;
        return surface;
    }
    *x = 0;
    *y = 0;
    return work;
}

// The work-surface copies exist for memory that is slow to read. Where the
// platform says a surface reads fast the loop reads it in place, which gives
// the same pixels: each destination pixel is read before it is written. A
// work surface drawn on keeps the copies, which overwrite part of it.
int ReadsInPlace(const PlatSurface* surface) {
    return PlatSurfaceReadsFast(surface) && surface != gScreenState.destWork &&
           surface != gScreenState.sourceWork;
}

uint8_t* PixelAt(const PlatSurface* surface, uint8_t* pixels, int pitch, int x, int y) {
    return pixels + std::ptrdiff_t(y) * pitch + std::ptrdiff_t(x) * surface->format.bytesPerPixel;
}

// The per-pixel path for a clipped piece whose first visible pixel is
// (sx, sy) of its surface and lands on (dx, dy) of the draw surface: the
// alpha loop, or the blend spans when `blend` is given.
int MixPiece(PlatSurface* draw, int dx, int dy, const SurfaceDataRecord* piece, int sx, int sy,
             int width, int height, int transparent, const BlendInfo* blend) {
    int readX = dx, readY = dy, srcX = sx, srcY = sy;
    PlatSurface* read = draw;
    PlatSurface* src = piece->surface;
    if (!ReadsInPlace(draw))
        read = ReadThroughWork(gScreenState.destWork, draw, Rect{dx, dy, dx + width, dy + height},
                               &readX, &readY);
    if (!src->systemMemory && (!ReadsInPlace(src) || src == draw))
        src = ReadThroughWork(gScreenState.sourceWork, src,
                              Rect{sx, sy, sx + width, sy + height}, &srcX, &srcY);

    uint8_t *drawPixels, *srcPixels, *readPixels;
    int drawPitch, srcPitch, readPitch;
    // The failures keep the log's long-standing words, older blitter name
    // and all: readers of the log search for them.
    if (PlatLockSurface(draw, &drawPixels, &drawPitch) != 0)
        ErrorExit(SJIS("転送先サーフェスのロックに失敗しました in G_DDraw_DrawGraph "));
    if (PlatLockSurface(src, &srcPixels, &srcPitch) != 0) {
        PlatUnlockSurface(draw);
        ErrorExit(SJIS("転送元１サーフェスのロックに失敗しました in G_DDraw_DrawGraph "));
    }
    if (PlatLockSurface(read, &readPixels, &readPitch) != 0) {
        PlatUnlockSurface(src);
        PlatUnlockSurface(draw);
        ErrorExit(SJIS("転送元２サーフェスのロックに失敗しました in G_DDraw_DrawGraph "));
    }

    const ColorFormat* screen = GetScreenFormat();
    BlitFormat format = ClassifyBlitFormat(screen);
    int hasAlpha = piece->params.AlphaChFlag && piece->alphaBuffer;
    BlitLoop loop = blend ? BlendRows : ChooseAlphaLoop(format, transparent != 0);
    BlendInfo keyedBlend = blend ? *blend : BlendInfo{};
    if (loop) {
        uint32_t key = MakeColor(int(piece->transparentColor >> 16 & 0xFF),
                                 int(piece->transparentColor >> 8 & 0xFF),
                                 int(piece->transparentColor & 0xFF));
        keyedBlend.key = key;
        BlitInfo info = {};
        info.dst = PixelAt(draw, drawPixels, drawPitch, dx, dy);
        info.dstPitch = drawPitch;
        info.dstRead = PixelAt(read, readPixels, readPitch, readX, readY);
        info.dstReadPitch = readPitch;
        info.src = PixelAt(src, srcPixels, srcPitch, srcX, srcY);
        info.srcPitch = srcPitch;
        if (hasAlpha) {
            info.alpha = piece->alphaBuffer + std::ptrdiff_t(sy) * piece->alphaPitch + sx;
            info.alphaPitch = piece->alphaPitch;
        }
        info.width = width;
        info.height = height;
        info.key = key;
        info.pixelBytes = screen->bytesPerPixel;
        if (blend) {
            info.blend = &keyedBlend;
            info.span = ChooseBlendSpan(format, keyedBlend, transparent != 0, hasAlpha);
        }
        loop(info);
    }

    PlatUnlockSurface(draw);
    PlatUnlockSurface(src);
    PlatUnlockSurface(read);
    return 0;
}

}  // namespace

BlitFormat ClassifyBlitFormat(const ColorFormat* format) {
    switch (format->ColorBitDepth) {
    case 8:
        return BlitFormat8;
    case 16:
        if (format->redMask == 0xF800 && format->greenMask == 0x07E0 && format->blueMask == 0x001F)
            return BlitFormat565;
        if (format->redMask == 0x7C00 && format->greenMask == 0x03E0 && format->blueMask == 0x001F)
            return BlitFormat555;
        return BlitFormatNone;
    case 32:
        return BlitFormat32;
    default:
        return BlitFormatNone;
    }
}

Rect ClampInto(int64_t left, int64_t top, int64_t right, int64_t bottom, const Rect& area) {
    return Rect{int32_t(std::clamp<int64_t>(left, area.left, area.right)),
                int32_t(std::clamp<int64_t>(top, area.top, area.bottom)),
                int32_t(std::clamp<int64_t>(right, area.left, area.right)),
                int32_t(std::clamp<int64_t>(bottom, area.top, area.bottom))};
}

int GraphHasPixels(const GraphRecord* graph) {
    BmpDataRecord* piece = graph->pieceCount > 0 ? GetBmpDataRecord(graph->pieces[0]) : nullptr;
    SurfaceDataRecord* surface = piece ? GetSurfaceDataRecord(piece->surface) : nullptr;
    return surface && surface->surface;
}

int BlitGraph(int x, int y, GraphRecord* graph, int transparent) {
    BmpDataRecord* bmp = GetBmpDataRecord(graph->pieces[0]);
    SurfaceDataRecord* surface = GetSurfaceDataRecord(bmp->surface);
    PlatSurface* draw = gDraw.drawSurface;
    Rect r = ClampInto(x, y, int64_t(x) + bmp->width, int64_t(y) + bmp->height, gDraw.drawArea);
    if (r.bottom <= r.top || r.right <= r.left) return 0;
    int width = r.right - r.left, height = r.bottom - r.top;
    int srcX = bmp->surfaceX + (r.left - x), srcY = bmp->surfaceY + (r.top - y);
    int dstX = r.left + gDraw.targetOrigin.left, dstY = r.top + gDraw.targetOrigin.top;
    // A rectangle off the draw surface is refused, as the platform's
    // transfer refuses it, rather than written past the pixels.
    if (!FitsIn(draw, dstX, dstY, width, height)) return 0;

    BlendInfo blend;
    if (CurrentBlend(ClassifyBlitFormat(GetScreenFormat()), 0, &blend))
        return MixPiece(draw, dstX, dstY, surface, srcX, srcY, width, height, transparent, &blend);
    if (surface->params.AlphaChFlag && surface->alphaBuffer && QueryScreenDepth() != 8)
        return MixPiece(draw, dstX, dstY, surface, srcX, srcY, width, height, transparent,
                        nullptr);
    CopySurfaceRect(draw, dstX, dstY, surface->surface,
                    Rect{srcX, srcY, srcX + width, srcY + height}, transparent != 0);
    return 0;
}

int DrawGraph(int x, int y, int graph, int transparent) {
    if (!LibraryRunning()) return -1;
    if (DrawingSuspended() || gDraw.drawAreaEmpty) return 0;
    GraphRecord* record = GetGraphRecord(graph);
    if (!record || record->pieceCount == 0) return -1;
    WaitWhileInactive();
    BringGraphMovieFrame(graph);
    if (!DisplayExists() || !gDraw.drawSurface || !GraphHasPixels(record)) return -1;

    Rect area = {x, y, AddWrap(x, record->width), AddWrap(y, record->height)};
    if (gDraw.maskEnabled) MaskBeforeDraw(area);
    int result = TargetDrawPath().drawGraph(x, y, record, transparent);
    if (gDraw.maskEnabled) MaskAfterDraw(area);
    return result;
}

int DrawGraphPart(int x, int y, int srcX, int srcY, int width, int height, int graph,
                  int transparent, int) {
    Rect saved = gDraw.drawArea;
    gDraw.drawArea = ClampInto(x, y, int64_t(x) + width, int64_t(y) + height, saved);
    int result = DrawGraph(SubWrap(x, srcX), SubWrap(y, srcY), graph, transparent);
    gDraw.drawArea = saved;
    return result;
}
