// The software path's glyph runs: bits of a font's 1-bit cache copied onto
// a locked surface, one loop for the depth and the transparency chosen once
// a run.
#include "draw/blit.h"

#include "core/core.h"
#include "draw/draw_path.h"
#include "draw/screen.h"
#include "platform/pixels/surface.h"

#include <algorithm>
#include <bit>

// One glyph's copy: `width` x `height` bits from bit `srcBit` of the rows at
// `src` into the pixels at `dst`.
struct GlyphCopy {
    const uint8_t* src;
    int srcPitch;
    int srcBit;        // first column, in bits from `src`
    uint8_t* dst;      // the first destination pixel
    int dstPitch;
    int width, height;
    uint32_t colour;   // as written: cut to the pixel's size
};

namespace {

// A set bit writes the colour; a clear one leaves the pixel (transparent)
// or clears it. The bits up to the source's next byte boundary go one by
// one, then 16 pixels (two source bytes) a step, the last step masked to
// the width. A transparent step visits only the set bits.
template <typename Pixel, bool Transparent>
void CopyGlyph(const GlyphCopy& c) {
    const auto colour = static_cast<Pixel>(c.colour);
    for (int row = 0; row < c.height; ++row) {
        const uint8_t* s = c.src + std::ptrdiff_t(row) * c.srcPitch + (c.srcBit >> 3);
        auto* d = reinterpret_cast<Pixel*>(c.dst + std::ptrdiff_t(row) * c.dstPitch);
        int n = 0;
        if (int bit = c.srcBit & 7) {
            unsigned byte = *s++;
            for (; bit < 8 && n < c.width; ++bit, ++n) {
                if (byte & (0x80u >> bit))
                    d[n] = colour;
                else if (!Transparent)
                    d[n] = 0;
            }
        }
        for (; n < c.width; n += 16, s += 2) {
            int left = c.width - n;
            unsigned word = unsigned(s[0]) << 8;
            // The second byte only when the row reaches into it: the last
            // row of the cache ends with the first.
            if (left > 8) word |= s[1];
            if (left < 16) word &= 0xFFFFu << (16 - left);
            Pixel* p = d + n;
            if (Transparent) {
                for (; word; word &= ~(0x8000u >> std::countl_zero(uint16_t(word))))
                    p[std::countl_zero(uint16_t(word))] = colour;
            } else {
                for (int i = 0, end = std::min(left, 16); i < end; ++i)
                    p[i] = word & (0x8000u >> i) ? colour : Pixel(0);
            }
        }
    }
}

// Under the blend state a glyph goes through the blend spans sixteen
// pixels at a time: its set bits as the colour, its clear ones as black
// (opaque) or as nothing (transparent: alpha 0, which no span draws).
struct GlyphBlendState {
    BlendInfo blend;
    BlendSpan span;
    int transparent;
};

GlyphBlendState gGlyphBlend;

template <typename Pixel>
void BlendGlyph(const GlyphCopy& c) {
    const auto colour = static_cast<Pixel>(c.colour);
    const int transparent = gGlyphBlend.transparent;
    Pixel colours[16];
    uint8_t alphas[16];
    for (int row = 0; row < c.height; ++row) {
        const uint8_t* s = c.src + std::ptrdiff_t(row) * c.srcPitch;
        auto* d = c.dst + std::ptrdiff_t(row) * c.dstPitch;
        for (int n = 0; n < c.width; n += 16) {
            int count = std::min(16, c.width - n);
            for (int i = 0; i < count; ++i) {
                int bit = c.srcBit + n + i;
                bool set = s[bit >> 3] & (0x80u >> (bit & 7));
                colours[i] = set ? colour : Pixel(0);
                alphas[i] = set || !transparent ? 255 : 0;
            }
            uint8_t* at = d + std::ptrdiff_t(n) * std::ptrdiff_t(sizeof(Pixel));
            gGlyphBlend.span(at, at, reinterpret_cast<const uint8_t*>(colours), alphas, count,
                             gGlyphBlend.blend);
        }
    }
}

using CopyLoop = void (*)(const GlyphCopy&);

CopyLoop ChooseCopyLoop(int screenDepth, int transparent) {
    switch (screenDepth) {
    case 8: return transparent ? CopyGlyph<uint8_t, true> : CopyGlyph<uint8_t, false>;
    case 16: return transparent ? CopyGlyph<uint16_t, true> : CopyGlyph<uint16_t, false>;
    case 32: return transparent ? CopyGlyph<uint32_t, true> : CopyGlyph<uint32_t, false>;
    default: return nullptr;
    }
}

}  // namespace

int BeginGlyphCopy(GlyphRun* run) {
    run->copy = ChooseCopyLoop(run->screenDepth, run->transparent);
    BlitFormat format = ClassifyBlitFormat(GetScreenFormat());
    if (run->screenDepth == GetScreenFormat()->ColorBitDepth &&
        CurrentBlend(format, 0, &gGlyphBlend.blend)) {
        gGlyphBlend.span = ChooseBlendSpan(format, gGlyphBlend.blend, 0, 1);
        gGlyphBlend.transparent = run->transparent;
        run->copy = run->screenDepth == 16 ? BlendGlyph<uint16_t> : BlendGlyph<uint32_t>;
    }
    if (PlatLockSurface(run->surface, &run->pixels, &run->pitch) != 0)
        ErrorExit(SJIS("描画先サーフェスのロックに失敗しました in FontCacheStringDraw"));
    return 0;
}

void CopyGlyphOfRun(GlyphRun* run, int srcX, int srcY, const Rect& target) {
    if (!run->copy) return;
    GlyphCopy c;
    c.srcPitch = run->bits.pitch;
    c.src = run->bits.bits + std::ptrdiff_t(srcY) * c.srcPitch;
    c.srcBit = srcX;
    c.dst = run->pixels + std::ptrdiff_t(target.top) * run->pitch +
            std::ptrdiff_t(target.left) * run->surface->format.bytesPerPixel;
    c.dstPitch = run->pitch;
    c.width = target.right - target.left;
    c.height = target.bottom - target.top;
    c.colour = run->colour;
    run->copy(c);
}

void EndGlyphCopy(GlyphRun* run) { PlatUnlockSurface(run->surface); }
