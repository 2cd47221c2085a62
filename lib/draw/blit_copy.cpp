// DrawGraph's block-transfer path: a graph without an alpha channel is one
// rectangle copy, keyed through the source surface's own colour key.
#include "draw/blit.h"

#include "draw/screen.h"
#include "platform/pixels/surface.h"

int TransferPiece(PlatSurface* dst, int dstX, int dstY, PlatSurface* src, const Rect& source,
                  int transparent) {
    int width = source.right - source.left, height = source.bottom - source.top;
    // A copy method other than the block transfer is used for a "video
    // memory" source drawn onto a system-memory target. With the key, only a
    // whole-screen piece goes that way: through the destination work surface,
    // whose key of 0 then does the keying.
    if (!gDraw.targetInVideoMemory && !src->systemMemory && gScreenState.useGdiCopy) {
        if (!transparent) {
            CopySurfaceRect(dst, dstX, dstY, src, source, 0);
            return 0;
        }
        PlatSurface* work = gScreenState.destWork;
        if (width >= ScreenWidth() && height >= ScreenHeight() && work &&
            width <= work->width && height <= work->height) {
            CopySurfaceRect(work, 0, 0, src, source, 0);
            CopySurfaceRect(dst, dstX, dstY, work, Rect{0, 0, width, height}, 1);
            return 0;
        }
    }
    CopySurfaceRect(dst, dstX, dstY, src, source, transparent != 0);
    return 0;
}
