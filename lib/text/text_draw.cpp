// Measuring and drawing strings through a font's glyph cache, and the text
// operations of the public interface.
#include "text/font.h"

#include "core/core.h"
#include "draw/draw_path.h"
#include "draw/screen.h"
#include "graphics/color.h"
#include "graphics/load.h"
#include "platform/pixels/surface.h"

#include <algorithm>
#include <cstdarg>
#include <cstdio>
#include <cstring>

namespace {

constexpr int FormatBufferSize = 1024;
// Units split off a string at a time; a longer string is taken in turns.
constexpr int UnitBatch = 512;

// Draws a glyph at (x, y) of the run's surface, cut to the run's clip.
void DrawGlyph(FontRecord* font, const FontSlot* slot, int x, int y, GlyphRun* run) {
    // The glyph never reads past its own cell.
    int width = std::min(slot->width, font->cellSize);
    int height = std::min(slot->height, font->cellSize);
    int left = std::max(x, run->clip.left), top = std::max(y, run->clip.top);
    int right = std::min(int64_t(x) + width, int64_t(run->clip.right));
    int bottom = std::min(int64_t(y) + height, int64_t(run->clip.bottom));
    if (left >= right || top >= bottom) return;

    int cellX, cellY;
    FontCellOrigin(font, slot->cellIndex, &cellX, &cellY);
    DrawGlyphInRun(run, cellX + left - x, cellY + top - y, Rect{left, top, right, bottom});
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

int FontCacheStringDraw(const CacheString& call, int32_t* sizeOut) {
    FontRecord* font = LookupFont(call.font);
    if (!font || !GraphicsStarted()) return -1;
    const char* text = call.text;
    if (!text || text[0] == '\0') return 0;
    int total = static_cast<int>(std::strlen(text));
    if (call.length != -1) total = std::clamp(call.length, 0, total);

    PlatSurface* surface = call.surface;
    GlyphRun run{};
    if (surface) {
        run.deviceCache = &font->gpuCache;
        run.bits = FontCacheBits(font);
        run.surface = surface;
        run.clip = Intersect(call.clip, Rect{0, 0, surface->width, surface->height});
        run.colour = call.colour;
        run.screenDepth = call.screenDepth;
        run.transparent = call.transparent;
        BeginGlyphRun(&run);
    }

    int width = 0, height = 0;
    GlyphUnit units[UnitBatch];
    for (int offset = 0; offset < total;) {
        int count, consumed;
        PrepareGlyphs(font, text + offset, total - offset, units, UnitBatch, &count, &consumed);
        offset += consumed;
        for (int i = 0; i < count; ++i) {
            const FontSlot* slot = GlyphSlotOf(font, units[i]);
            if (!slot) {
                if (surface) EndGlyphRun(&run);
                ErrorExit(SJIS("テキストキャッシュの作成に失敗しました"));
            }
            if (surface && !IsBlankUnit(units[i]) && slot->width > 0 && slot->height > 0)
                DrawGlyph(font, slot, AddWrap(call.x, width), call.y, &run);
            width += slot->width;
            height = std::max(height, int(slot->height));
        }
    }

    if (surface) EndGlyphRun(&run);
    if (!surface && sizeOut) {
        sizeOut[0] = width;
        sizeOut[1] = height;
    }
    return width;
}

int DrawTextWithFont(int x, int y, const char* text, uint32_t colour, int handle,
                     uint32_t) {
    if (!LibraryRunning()) return -1;
    if (!text || text[0] == '\0' || !GraphicsStarted()) return 0;
    FontRecord* font = LookupFont(handle);
    if (!font) {
        LogFailure(SJIS("フォントハンドル値が異常です\n"));
        return -1;
    }
    WaitWhileInactive();
    if (DrawingSuspended()) return 0;
    if (!gDraw.drawSurface) return -1;
    EnsureFontDrawScreen(font);

    Rect maskArea{x, y, gDraw.drawArea.right, AddWrap(y, font->size + 3)};
    if (gDraw.maskEnabled) MaskBeforeDraw(maskArea);
    int ox = gDraw.targetOrigin.left, oy = gDraw.targetOrigin.top;
    Rect clip{gDraw.drawArea.left + ox, gDraw.drawArea.top + oy, gDraw.drawArea.right + ox,
              gDraw.drawArea.bottom + oy};
    int result = FontCacheStringDraw({.font = handle,
                                      .text = text,
                                      .x = AddWrap(x, ox),
                                      .y = AddWrap(y, oy),
                                      .surface = gDraw.drawSurface,
                                      .clip = clip,
                                      .colour = colour,
                                      .screenDepth = QueryScreenDepth(),
                                      .transparent = 1});
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
    return FontCacheStringDraw({.font = gFont.defaultFont, .text = buffer});
}
