// Glyphs drawn on the device's target: each run of a string's glyphs is
// composed on the CPU into a band of a strip texture and goes out as one
// quad, held back until something else reaches the device.
//
// A glyph a quad costs a rasterizer in software more than the sprite it is
// smaller than (each triangle's setup and binning run on the drawing
// thread), so 20 lines of text cost more than 1,000 sprites; a line a quad
// costs less than 20 sprites. The glyphs' bits are copied when they are
// drawn, as the cache may give their cells to other glyphs before the run
// goes out. The strips are used in turn, so that a strip is written again
// only after the frames drawn from it are done.
//
// A texel says what the run writes there (see PlatGpuQuadState::glyph):
// the string's colour, written whole and without blending, so that reading
// the target back gives the very pixels the CPU's copy writes.
#include "core/core.h"
#include "draw/draw_state.h"
#include "gpu/gpu.h"
#include "gpu/gpu_internal.h"
#include "platform/gpu/gpu.h"

#include <algorithm>
#include <vector>

namespace {

constexpr int StripCount = 4;
constexpr int StripWidth = 1024, StripHeight = 512;
// Texels: a set bit; a clear bit of a glyph whose box is cleared; nothing.
constexpr uint32_t Ink = 0xFFFFFFFFu, ClearBit = 0x80000000u, Nothing = 0;

// A run held back: its band's first row in the strip, where it lands, and
// the rows of the box that hold ink (a transparent run draws only those).
struct Run {
    PlatGpuQuadState state;
    int row;
    Rect box;
    int inkTop, inkBottom;
};

struct GlyphStrips {
    uint32_t textures[StripCount];
    uint32_t context;      // the device context the names belong to; 0: none made
    int width, height;     // of each strip
    int current;           // the strip the held runs are in
    int nextRow;           // its first free row
    std::vector<uint32_t> texels;  // the current strip's CPU copy
    std::vector<Run> runs;         // held back, in drawing order
    int open;              // the last run is the current string's and may grow
    int cell;              // the current string's band height
    int transparent;
    PlatGpuQuadState state;  // the current string's
};

GlyphStrips gStrips;

// Uploads the held runs' bands and queues their quads (what the platform
// calls before anything else reaches the device).
void SendRuns() {
    GlyphStrips& s = gStrips;
    s.open = 0;
    if (s.runs.empty()) return;
    if (s.context != GpuContextSerial() || !GpuRunning()) {
        s.runs.clear();
        return;
    }
    int first = s.runs.front().row, width = 0;
    for (const Run& run : s.runs) width = std::max(width, run.box.right - run.box.left);
    uint32_t texture = s.textures[s.current];
    PlatGpuUploadTexture(texture, 0, first, width, s.nextRow - first,
                         s.texels.data() + std::ptrdiff_t(first) * s.width, s.width);
    for (const Run& run : s.runs) {
        Rect b = run.box;
        int skipped = 0;
        if (run.state.glyph == 1) {
            // Rows without ink would only be shaded to be skipped.
            if (run.inkTop >= run.inkBottom) continue;
            skipped = run.inkTop;
            b.top += run.inkTop;
            b.bottom = run.box.top + run.inkBottom;
        }
        float u1 = float(b.right - b.left), v0 = float(run.row + skipped);
        float v1 = v0 + float(b.bottom - b.top);
        PlatGpuVertex quad[4] = {};
        const float xs[4] = {float(b.left), float(b.right), float(b.right), float(b.left)};
        const float ys[4] = {float(b.top), float(b.top), float(b.bottom), float(b.bottom)};
        const float us[4] = {0, u1, u1, 0}, vs[4] = {v0, v0, v1, v1};
        for (int k = 0; k < 4; ++k) {
            quad[k].x = xs[k];
            quad[k].y = ys[k];
            quad[k].u = us[k];
            quad[k].v = vs[k];
        }
        PlatGpuQuad(texture, s.width, s.height, quad, run.state);
    }
    s.runs.clear();
    s.current = (s.current + 1) % StripCount;
    s.nextRow = 0;
}

void FreeStrips() {
    GlyphStrips& s = gStrips;
    if (s.context == GpuContextSerial() && GpuRunning())
        for (uint32_t texture : s.textures) PlatGpuFreeTexture(texture);
    s.context = 0;
}

// The strips for bands of `cell` rows, made for the running context and
// the texture limit as needed. 0, or -1 when a band cannot be on the device.
int ReadyStrips(int cell) {
    GlyphStrips& s = gStrips;
    int limit = GpuTextureLimit();
    int width = std::min(limit, StripWidth), height = std::min(limit, StripHeight);
    if (cell <= 0 || cell > width || cell > height) return -1;
    if (s.context == GpuContextSerial() && s.width == width && s.height == height) return 0;
    SendRuns();
    FreeStrips();
    for (int i = 0; i < StripCount; ++i) {
        s.textures[i] = PlatGpuCreateTexture(width, height);
        if (s.textures[i] == 0) {
            for (int made = 0; made < i; ++made) PlatGpuFreeTexture(s.textures[made]);
            return -1;
        }
    }
    s.context = GpuContextSerial();
    s.width = width;
    s.height = height;
    s.current = s.nextRow = 0;
    s.texels.assign(size_t(width) * size_t(height), Nothing);
    return 0;
}

// A new run for a glyph at `target`, in a strip with room for its band.
Run& OpenRun(const Rect& target) {
    GlyphStrips& s = gStrips;
    if (s.nextRow + s.cell > s.height) SendRuns();
    s.runs.push_back(Run{s.state, s.nextRow, Rect{target.left, target.top, target.left, target.top},
                         s.cell, 0});
    s.nextRow += s.cell;
    s.open = 1;
    PlatGpuHold(SendRuns);
    return s.runs.back();
}

}  // namespace

// The cache's bits are read as each glyph is drawn, so nothing of the cache
// is kept on the device any more: the font's bitmap record has nothing to
// mark or free.
void MarkGpuBitmapRows(GpuBitmap*, int, int) {}

void FreeGpuBitmap(GpuBitmap* bitmap) { *bitmap = GpuBitmap{}; }

int BeginGpuGlyphs(GpuBitmap*, const GpuBits& bits, uint32_t colour, int transparent,
                   const Rect& clip) {
    if (!GpuRunning() || !bits.bits || ReadyStrips(bits.cell) != 0) return -1;
    GpuCheckError("DrawTextString");
    BeginTargetDraw();
    GlyphStrips& s = gStrips;
    s.open = 0;
    s.cell = bits.cell;
    s.transparent = transparent;
    s.state = PlatGpuQuadState{};
    s.state.scissorLeft = clip.left;
    s.state.scissorTop = clip.top;
    s.state.scissorRight = clip.right;
    s.state.scissorBottom = clip.bottom;
    s.state.glyph = transparent ? 1 : 2;
    s.state.solid = ExpandPixel(colour, *GetScreenFormat());
    ApplyDrawBlend(&s.state);
    // Blended, a glyph is an opaque texel whose alpha byte is the colour's
    // spare bits.
    if (s.state.blend) s.state.spare = -1;
    return 0;
}

void DrawGpuGlyph(GpuBitmap*, const GpuBits& bits, int srcX, int srcY, const Rect& target) {
    GlyphStrips& s = gStrips;
    // A run grows rightwards along one top edge, inside the strip's width.
    Run* run = s.open ? &s.runs.back() : nullptr;
    if (!run || target.top != run->box.top || target.left < run->box.right ||
        target.right - run->box.left > s.width)
        run = &OpenRun(target);
    // Columns from the run's right edge: the gap before the glyph, then the
    // glyph, each down the whole band so that no texel under the quad is
    // left from an earlier run.
    int rows = target.bottom - target.top;
    uint32_t clear = s.transparent ? Nothing : ClearBit;
    for (int r = 0; r < s.cell; ++r) {
        uint32_t* out = s.texels.data() + std::ptrdiff_t(run->row + r) * s.width - run->box.left;
        std::fill(out + run->box.right, out + target.left, Nothing);
        if (r >= rows) {
            std::fill(out + target.left, out + target.right, Nothing);
            continue;
        }
        const uint8_t* row = bits.bits + std::ptrdiff_t(srcY + r) * bits.pitch;
        uint32_t any = 0;
        for (int x = target.left, bit = srcX; x < target.right; ++x, ++bit) {
            uint32_t set = row[bit >> 3] & (0x80u >> (bit & 7));
            out[x] = set ? Ink : clear;
            any |= set;
        }
        if (any) {
            run->inkTop = std::min(run->inkTop, r);
            run->inkBottom = std::max(run->inkBottom, r + 1);
        }
    }
    run->box.right = target.right;
    run->box.bottom = std::max(run->box.bottom, target.bottom);
}
