// 1-bit bitmaps on the device and glyphs drawn from them: one quad a glyph,
// all the glyphs of a run in one batch while they come from one tile.
//
// The texels hold only where the ink is; the shader writes the run's colour,
// widened from the screen's pixel as the target's pixels are, with no
// blending, so that reading the target back gives the very pixels the CPU's
// copy writes.
#include "core/core.h"
#include "draw/draw_state.h"
#include "gpu/gpu.h"
#include "gpu/gpu_internal.h"
#include "platform/gpu/gpu.h"

#include <algorithm>
#include <cstdlib>
#include <vector>

namespace {

struct GlyphRun {
    PlatGpuQuadState state;
    std::vector<uint32_t> staging;  // RGBA rows on their way to a tile
};

GlyphRun gGlyphs;

int TileRows(const GpuBitmap* bitmap, const GpuBits& bits, int tile) {
    return std::min(bitmap->tileHeight, bits.height - tile * bitmap->tileHeight);
}

// Sends the marked rows to the tiles holding them.
void UploadRows(GpuBitmap* bitmap, const GpuBits& bits) {
    int top = std::max(bitmap->dirtyTop, 0), bottom = std::min(bitmap->dirtyBottom, bits.height);
    bitmap->dirtyTop = bitmap->dirtyBottom = 0;
    if (top >= bottom) return;
    int width = bits.width;
    gGlyphs.staging.resize(size_t(width) * size_t(bottom - top));
    for (int y = top; y < bottom; ++y) {
        const uint8_t* row = bits.bits + std::ptrdiff_t(y) * bits.pitch;
        uint32_t* out = gGlyphs.staging.data() + std::ptrdiff_t(y - top) * width;
        for (int x = 0; x < width; ++x) out[x] = row[x >> 3] & (0x80u >> (x & 7)) ? ~0u : 0u;
    }
    for (int tile = top / bitmap->tileHeight; tile < bitmap->tileCount; ++tile) {
        int first = tile * bitmap->tileHeight;
        if (first >= bottom) break;
        int from = std::max(top, first);
        int to = std::min(bottom, first + TileRows(bitmap, bits, tile));
        PlatGpuUploadTexture(bitmap->tiles[tile], 0, from - first, width, to - from,
                             gGlyphs.staging.data() + std::ptrdiff_t(from - top) * width, width);
    }
}

// Tiles of whole cells, filled from the bits. 0 or -1.
int MakeTiles(GpuBitmap* bitmap, const GpuBits& bits) {
    int limit = GpuTextureLimit();
    int tileHeight = std::min(limit / std::max(bits.cell, 1) * bits.cell, bits.height);
    if (bits.width > limit || tileHeight <= 0) return -1;
    int count = (bits.height + tileHeight - 1) / tileHeight;
    auto* tiles = static_cast<uint32_t*>(std::calloc(size_t(count), sizeof(uint32_t)));
    if (!tiles) return -1;
    *bitmap = GpuBitmap{tiles, 0, tileHeight, GpuContextSerial(), 0, 0};
    for (int tile = 0; tile < count; ++tile) {
        tiles[tile] = PlatGpuCreateTexture(bits.width, TileRows(bitmap, bits, tile));
        if (tiles[tile] == 0) {
            FreeGpuBitmap(bitmap);
            return -1;
        }
        bitmap->tileCount = tile + 1;
    }
    MarkGpuBitmapRows(bitmap, 0, bits.height);
    return 0;
}

}  // namespace

void MarkGpuBitmapRows(GpuBitmap* bitmap, int top, int bottom) {
    if (top >= bottom) return;
    if (bitmap->dirtyTop >= bitmap->dirtyBottom) {
        bitmap->dirtyTop = top;
        bitmap->dirtyBottom = bottom;
        return;
    }
    bitmap->dirtyTop = std::min(bitmap->dirtyTop, top);
    bitmap->dirtyBottom = std::max(bitmap->dirtyBottom, bottom);
}

void FreeGpuBitmap(GpuBitmap* bitmap) {
    if (bitmap->context == GpuContextSerial() && GpuRunning())
        for (int tile = 0; tile < bitmap->tileCount; ++tile)
            PlatGpuFreeTexture(bitmap->tiles[tile]);
    std::free(bitmap->tiles);
    *bitmap = GpuBitmap{};
}

int BeginGpuGlyphs(GpuBitmap* bitmap, const GpuBits& bits, uint32_t colour, int transparent,
                   const Rect& clip) {
    if (!GpuRunning() || !bits.bits) return -1;
    if (bitmap->tiles && bitmap->context != GpuContextSerial()) FreeGpuBitmap(bitmap);
    if (!bitmap->tiles && MakeTiles(bitmap, bits) != 0) return -1;
    UploadRows(bitmap, bits);
    GpuCheckError("DrawTextString");
    BeginTargetDraw();
    PlatGpuQuadState& state = gGlyphs.state;
    state = PlatGpuQuadState{};
    state.scissorLeft = clip.left;
    state.scissorTop = clip.top;
    state.scissorRight = clip.right;
    state.scissorBottom = clip.bottom;
    state.glyph = transparent ? 1 : 2;
    state.solid = ExpandPixel(colour, *GetScreenFormat());
    return 0;
}

void DrawGpuGlyph(GpuBitmap* bitmap, const GpuBits& bits, int srcX, int srcY, const Rect& target) {
    // A glyph rendered into the cache during the run goes up before its
    // quad; the upload sends the quads that read the old texels first.
    if (bitmap->dirtyTop < bitmap->dirtyBottom) UploadRows(bitmap, bits);
    int tile = srcY / bitmap->tileHeight;
    if (tile >= bitmap->tileCount) return;
    float u0 = float(srcX), v0 = float(srcY - tile * bitmap->tileHeight);
    float u1 = u0 + float(target.right - target.left), v1 = v0 + float(target.bottom - target.top);
    PlatGpuVertex quad[4] = {};
    const float xs[4] = {float(target.left), float(target.right), float(target.right),
                         float(target.left)};
    const float ys[4] = {float(target.top), float(target.top), float(target.bottom),
                         float(target.bottom)};
    const float us[4] = {u0, u1, u1, u0}, vs[4] = {v0, v0, v1, v1};
    for (int k = 0; k < 4; ++k) {
        quad[k].x = xs[k];
        quad[k].y = ys[k];
        quad[k].u = us[k];
        quad[k].v = vs[k];
    }
    PlatGpuQuad(bitmap->tiles[tile], bits.width, TileRows(bitmap, bits, tile), quad,
                gGlyphs.state);
}
