// Measuring and drawing strings through a font's glyph cache, and the text
// operations of the public interface.
#include "text/font.h"

#include "core/core.h"
#include "draw/screen.h"
#include "graphics/color.h"
#include "graphics/load.h"
#include "gpu/gpu.h"
#include "platform/pixels/surface.h"

#include <algorithm>
#include <bit>
#include <cstdarg>
#include <cstdio>
#include <cstring>

namespace {

constexpr int FormatBufferSize = 1024;
// Units split off a string at a time; a longer string is taken in turns.
constexpr int UnitBatch = 512;

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

using CopyLoop = void (*)(const GlyphCopy&);

CopyLoop ChooseCopyLoop(int screenDepth, int transparent) {
    switch (screenDepth) {
    case 8: return transparent ? CopyGlyph<uint8_t, true> : CopyGlyph<uint8_t, false>;
    case 16: return transparent ? CopyGlyph<uint16_t, true> : CopyGlyph<uint16_t, false>;
    case 32: return transparent ? CopyGlyph<uint32_t, true> : CopyGlyph<uint32_t, false>;
    default: return nullptr;
    }
}

// Where the string is drawn; null pixels while only measuring or while the
// glyphs go to the device as quads.
struct Destination {
    int gpu;
    uint8_t* pixels;
    int pitch;
    int bytesPerPixel;
    Rect clip;        // the clip rectangle within the surface
    CopyLoop copy;
    uint32_t colour;
};

void DrawGlyph(FontRecord* font, const FontSlot* slot, int x, int y, const Destination& d) {
    // The glyph never reads past its own cell.
    int width = std::min(slot->width, font->cellSize);
    int height = std::min(slot->height, font->cellSize);
    int left = std::max(x, d.clip.left), top = std::max(y, d.clip.top);
    int right = std::min(int64_t(x) + width, int64_t(d.clip.right));
    int bottom = std::min(int64_t(y) + height, int64_t(d.clip.bottom));
    if (left >= right || top >= bottom) return;

    int cellX, cellY;
    FontCellOrigin(font, slot->cellIndex, &cellX, &cellY);
    if (d.gpu) {
        DrawGpuGlyph(&font->gpuCache, FontCacheBits(font), cellX + left - x, cellY + top - y,
                     Rect{left, top, right, bottom});
        return;
    }
    GlyphCopy c;
    c.srcPitch = font->cachePitch;
    c.src = font->cacheBits + std::ptrdiff_t(cellY + top - y) * c.srcPitch;
    c.srcBit = cellX + left - x;
    c.dst = d.pixels + std::ptrdiff_t(top) * d.pitch + std::ptrdiff_t(left) * d.bytesPerPixel;
    c.dstPitch = d.pitch;
    c.width = right - left;
    c.height = bottom - top;
    c.colour = d.colour;
    d.copy(c);
}

Rect Intersect(const Rect& a, const Rect& b) {
    return Rect{std::max(a.left, b.left), std::max(a.top, b.top), std::min(a.right, b.right),
                std::min(a.bottom, b.bottom)};
}

// Cuts formatted text that filled the buffer back to whole units, so that a
// lead byte never pairs with the terminator it was cut against.
void CutToWholeUnits(char* text, int length) {
    int position = 0;
    while (position < length) {
        if (IsShiftJisLeadByte(static_cast<uint8_t>(text[position]))) {
            if (position + 1 >= length) {
                text[position] = '\0';
                return;
            }
            position += 2;
        } else {
            position += 1;
        }
    }
}

void FormatText(char (&buffer)[FormatBufferSize], const char* format, va_list args) {
    if (!format) {
        buffer[0] = '\0';
        return;
    }
    int written = std::vsnprintf(buffer, sizeof buffer, format, args);
    if (written < 0)
        buffer[0] = '\0';
    else if (written >= FormatBufferSize)
        CutToWholeUnits(buffer, FormatBufferSize - 1);
}

}  // namespace

int FontCacheStringDraw(int draw, int x, int y, const char* text, uint32_t colour,
                        PlatSurface* surface, const Rect& clip, int screenDepth, int transparent,
                        int handle, uint32_t, int length, int32_t* sizeOut) {
    FontRecord* font = LookupFont(handle);
    if (!font || !GraphicsStarted()) return -1;
    if (!text || text[0] == '\0') return 0;
    int total = static_cast<int>(std::strlen(text));
    if (length != -1) total = std::clamp(length, 0, total);

    Destination d{};
    if (draw) {
        if (!surface) return -1;
        d.clip = Intersect(clip, Rect{0, 0, surface->width, surface->height});
        d.colour = colour;
        // On the device's target the glyphs are quads: locking the surface
        // would bring the whole target back to the CPU and send it up again.
        d.gpu = surface == gDraw.drawSurface && GpuOwnsTarget() &&
                BeginGpuGlyphs(&font->gpuCache, FontCacheBits(font), colour, transparent,
                               d.clip) == 0;
        if (!d.gpu) {
            d.copy = ChooseCopyLoop(screenDepth, transparent);
            if (PlatLockSurface(surface, &d.pixels, &d.pitch) != 0)
                ErrorExit(SJIS("描画先サーフェスのロックに失敗しました in FontCacheStringDraw"));
            d.bytesPerPixel = surface->format.bytesPerPixel;
        }
    }
    bool locked = draw && !d.gpu;
    bool drawing = draw && (d.gpu || d.copy);

    int width = 0, height = 0;
    GlyphUnit units[UnitBatch];
    for (int offset = 0; offset < total;) {
        int count, consumed;
        PrepareGlyphs(font, text + offset, total - offset, units, UnitBatch, &count, &consumed);
        offset += consumed;
        for (int i = 0; i < count; ++i) {
            const FontSlot* slot = GlyphSlotOf(font, units[i]);
            if (!slot) {
                if (locked) PlatUnlockSurface(surface);
                ErrorExit(SJIS("テキストキャッシュの作成に失敗しました"));
            }
            if (drawing && !IsBlankUnit(units[i]) && slot->width > 0 && slot->height > 0)
                DrawGlyph(font, slot, AddWrap(x, width), y, d);
            width += slot->width;
            height = std::max(height, int(slot->height));
        }
    }

    if (locked) PlatUnlockSurface(surface);
    if (!draw && sizeOut) {
        sizeOut[0] = width;
        sizeOut[1] = height;
    }
    return width;
}

int DrawTextWithFont(int x, int y, const char* text, uint32_t colour, int handle,
                     uint32_t edgeColour) {
    if (!LibraryRunning()) return -1;
    if (!text || text[0] == '\0' || !GraphicsStarted()) return 0;
    FontRecord* font = LookupFont(handle);
    if (!font) {
        WriteLogString(SJIS("フォントハンドル値が異常です\n"));
        return -1;
    }
    WaitWhileInactive();
    if (gDraw.targetUnusable) return -1;
    if (DrawingSuspended()) return 0;
    if (!gDraw.drawSurface) return -1;
    EnsureFontDrawScreen(font);

    Rect maskArea{x, y, gDraw.drawArea.right, AddWrap(y, font->size + 3)};
    if (gDraw.maskEnabled) MaskBeforeDraw(maskArea);
    int ox = gDraw.targetOrigin.left, oy = gDraw.targetOrigin.top;
    Rect clip{gDraw.drawArea.left + ox, gDraw.drawArea.top + oy, gDraw.drawArea.right + ox,
              gDraw.drawArea.bottom + oy};
    int result = FontCacheStringDraw(1, AddWrap(x, ox), AddWrap(y, oy), text, colour,
                                     gDraw.drawSurface, clip, QueryScreenDepth(), 1, handle,
                                     edgeColour, -1, nullptr);
    if (gDraw.maskEnabled) MaskAfterDraw(maskArea);
    return result < 0 ? -1 : 0;
}

int DrawTextString(int x, int y, const char* text, uint32_t colour, uint32_t edgeColour) {
    RefreshDefaultFont();
    return DrawTextWithFont(x, y, text, colour, gFont.defaultFont, edgeColour);
}

int DrawTextFormat(int x, int y, uint32_t colour, const char* format, ...) {
    char buffer[FormatBufferSize];
    va_list args;
    va_start(args, format);
    FormatText(buffer, format, args);
    va_end(args);
    return DrawTextString(x, y, buffer, colour, 0);
}

int MeasureTextWidth(const char* format, ...) {
    char buffer[FormatBufferSize];
    va_list args;
    va_start(args, format);
    FormatText(buffer, format, args);
    va_end(args);
    RefreshDefaultFont();
    return FontCacheStringDraw(0, 0, 0, buffer, 0, nullptr, Rect{}, QueryScreenDepth(), 0,
                               gFont.defaultFont, 0, -1, nullptr);
}
