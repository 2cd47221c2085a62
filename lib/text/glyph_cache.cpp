// Splitting Shift-JIS strings into units and keeping their glyphs in the
// font's cache: missing glyphs are rendered in one batch, into the slots of
// the ring in turn, whichever glyph held a slot before.
#include "text/font.h"

#include "core/core.h"
#include "platform/media/font.h"

namespace {

constexpr uint16_t FullWidthSpaceKey = 0x81 | 0x40 << 8;

GlyphUnit UnitOfBytes(uint8_t first, uint8_t second, bool twoBytes) {
    if (!twoBytes) return {first, first};
    return {uint16_t(first | second << 8), uint16_t(first << 8 | second)};
}

GlyphUnit UnitOfPending(const PendingGlyph& pending) {
    auto first = static_cast<uint8_t>(pending[0]);
    return UnitOfBytes(first, static_cast<uint8_t>(pending[1]), IsShiftJisLeadByte(first));
}

void PendingOfUnit(GlyphUnit unit, PendingGlyph& out) {
    if (unit.code > 0xFF) {
        out[0] = static_cast<char>(unit.code >> 8);
        out[1] = static_cast<char>(unit.code & 0xFF);
    } else {
        out[0] = static_cast<char>(unit.code);
        out[1] = 0;
    }
    out[2] = 0;
}

}  // namespace

int IsBlankUnit(GlyphUnit unit) { return unit.key == ' ' || unit.key == FullWidthSpaceKey; }

int PrepareGlyphs(FontRecord* font, const char* text, int length, GlyphUnit* units, int capacity,
                  int* count, int* consumed) {
    *count = 0;
    *consumed = 0;
    if (!font) return -1;
    PendingGlyph pending[FontPendingLimit];
    int pendingCount = 0;
    int position = 0, n = 0;
    while (position < length && n < capacity) {
        auto first = static_cast<uint8_t>(text[position]);
        bool twoBytes = IsShiftJisLeadByte(first);
        // A lead byte at the very end pairs with the terminating zero, and
        // the string ends there.
        auto second = twoBytes ? static_cast<uint8_t>(text[position + 1]) : uint8_t(0);
        GlyphUnit unit = UnitOfBytes(first, second, twoBytes);
        units[n++] = unit;
        position += twoBytes ? 2 : 1;
        if (!font->charTable[unit.key].cached && pendingCount < FontPendingLimit &&
            pendingCount < font->cellCount)
            PendingOfUnit(unit, pending[pendingCount++]);
        if (twoBytes && second == 0) {
            position = length;
            break;
        }
    }
    *count = n;
    *consumed = position;
    if (pendingCount > 0) RenderGlyphsToCache(pendingCount, pending, font);
    return 0;
}

FontSlot* RenderGlyphsToCache(int count, const PendingGlyph* pending, FontRecord* font) {
    if (!font->fontObject || !font->cacheBits)
        ErrorExit(SJIS("テキストキャッシュサーフェスのＤＣの取得に失敗しました"));
    FontSlot* last = nullptr;
    for (int i = 0; i < count; ++i) {
        GlyphUnit unit = UnitOfPending(pending[i]);
        FontCharEntry* entry = &font->charTable[unit.key];
        // A character repeated within one batch is rendered once.
        if (entry->cached) continue;

        FontSlot* slot = &font->cacheSlots[font->nextSlot];
        if (slot->inUse && slot->charEntry) *slot->charEntry = FontCharEntry{};
        entry->cached = 1;
        entry->slot = slot;
        slot->charEntry = entry;
        slot->inUse = 1;

        int x, y;
        FontCellOrigin(font, slot->cellIndex, &x, &y);
        // The glyph stays inside its own cell, even where a face's cell
        // height passes its widest advance.
        PlatBitBuffer cache{font->cacheBits, font->cachePitch, x, y, x + font->cellSize,
                            y + font->cellSize};
        PlatDrawFontUnit(font->fontObject, unit.code, &cache, x, y, &slot->width, &slot->height);
        MarkGpuBitmapRows(&font->gpuCache, y, y + font->cellSize);

        font->nextSlot = font->nextSlot + 1 == font->cellCount ? 0 : font->nextSlot + 1;
        last = slot;
    }
    return last;
}

FontSlot* GlyphSlotOf(FontRecord* font, GlyphUnit unit) {
    const FontCharEntry& entry = font->charTable[unit.key];
    if (entry.cached) return entry.slot;
    PendingGlyph pending;
    PendingOfUnit(unit, pending);
    return RenderGlyphsToCache(1, &pending, font);
}
