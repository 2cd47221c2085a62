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
// Characters decoded off a string at a time; a longer string is taken in turns.
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

void FormatText(char (&buffer)[FormatBufferSize], const char* format, va_list args) {
    if (!format) {
        buffer[0] = '\0';
        return;
    }
    int written = std::vsnprintf(buffer, sizeof buffer, format, args);
    if (written < 0)
        buffer[0] = '\0';
    else if (written >= FormatBufferSize)
        // A character cut by the buffer's end would read on into the terminator.
        buffer[WholeCharactersLength(CurrentStringEncoding(), buffer, FormatBufferSize - 1)] = '\0';
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
    uint32_t characters[UnitBatch];
    for (int offset = 0; offset < total;) {
        int count, consumed;
        PrepareGlyphs(font, text + offset, total - offset, characters, UnitBatch, &count, &consumed);
        offset += consumed;
        for (int i = 0; i < count; ++i) {
            const FontSlot* slot = GlyphSlotOf(font, characters[i]);
            if (!slot) {
                if (surface) EndGlyphRun(&run);
                ErrorExit(SJIS("テキストキャッシュの作成に失敗しました"));
            }
            if (surface && !IsBlankCharacter(characters[i]) && slot->width > 0 && slot->height > 0)
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
    return DrawFontTextRun(x, y, text, -1, colour, handle);
}

int DrawFontTextRun(int x, int y, const char* text, int length, uint32_t colour, int handle) {
    if (!LibraryRunning()) return -1;
    if (!text || text[0] == '\0' || length == 0 || !GraphicsStarted()) return 0;
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
                                      .length = length,
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

int MeasureTextWidthWithFont(const char* text, int length, int font) {
    if (!LibraryRunning() || !text || length < 0) return -1;
    return FontCacheStringDraw({.font = font, .text = text, .length = length});
}
