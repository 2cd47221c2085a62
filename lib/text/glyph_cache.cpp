// Decoding strings into characters and keeping their glyphs in the font's
// cache: missing glyphs are rendered in one batch, into the slots of the
// ring in turn, whichever glyph held a slot before.
#include "text/font.h"

#include "core/core.h"
#include "platform/media/font.h"

namespace {

// Characters past U+FFFF are rare enough to be looked for in the ring
// rather than to give every font a table for them.
FontSlot* CachedSlot(FontRecord* font, uint32_t character) {
    if (character < FontCharCount) {
        const FontCharEntry& entry = font->charTable[character];
        return entry.cached ? entry.slot : nullptr;
    }
    for (int i = 0; i < font->cellCount; ++i) {
        FontSlot& slot = font->cacheSlots[i];
        if (slot.inUse && slot.character == character) return &slot;
    }
    return nullptr;
}

}  // namespace

int PrepareGlyphs(FontRecord* font, const char* text, int length, uint32_t* characters,
                  int capacity, int* count, int* consumed) {
    *count = 0;
    *consumed = 0;
    if (!font) return -1;
    uint32_t pending[FontPendingLimit];
    int pendingCount = 0;
    int encoding = CurrentStringEncoding();
    size_t position = 0, total = static_cast<size_t>(length);
    int n = 0;
    while (position < total && n < capacity) {
        auto first = static_cast<uint8_t>(text[position]);
        uint32_t character;
        if (first < 0x80) {
            character = first;  // ASCII is the same in both and most of any text
            ++position;
        } else {
            character = NextCodePoint(encoding, text, total, &position);
        }
        characters[n++] = character;
        if (pendingCount < FontPendingLimit && pendingCount < font->cellCount &&
            !CachedSlot(font, character))
            pending[pendingCount++] = character;
    }
    *count = n;
    *consumed = static_cast<int>(position);
    if (pendingCount > 0) RenderGlyphsToCache(pendingCount, pending, font);
    return 0;
}

FontSlot* RenderGlyphsToCache(int count, const uint32_t* pending, FontRecord* font) {
    if (!font->fontObject || !font->cacheBits)
        ErrorExit(SJIS("テキストキャッシュサーフェスのＤＣの取得に失敗しました"));
    FontSlot* last = nullptr;
    for (int i = 0; i < count; ++i) {
        uint32_t character = pending[i];
        // A character repeated within one batch is rendered once.
        if (CachedSlot(font, character)) continue;

        FontSlot* slot = &font->cacheSlots[font->nextSlot];
        if (slot->inUse && slot->charEntry) *slot->charEntry = FontCharEntry{};
        FontCharEntry* entry = character < FontCharCount ? &font->charTable[character] : nullptr;
        if (entry) *entry = FontCharEntry{1, slot};
        slot->charEntry = entry;
        slot->character = character;
        slot->inUse = 1;

        int x, y;
        FontCellOrigin(font, slot->cellIndex, &x, &y);
        // The glyph stays inside its own cell, even where a face's cell
        // height passes its widest advance.
        PlatBitBuffer cache{font->cacheBits, font->cachePitch, x, y, x + font->cellSize,
                            y + font->cellSize};
        PlatDrawFontChar(font->fontObject, character, &cache, x, y, &slot->width, &slot->height);
        MarkGpuBitmapRows(&font->gpuCache, y, y + font->cellSize);

        font->nextSlot = font->nextSlot + 1 == font->cellCount ? 0 : font->nextSlot + 1;
        last = slot;
    }
    return last;
}

FontSlot* GlyphSlotOf(FontRecord* font, uint32_t character) {
    if (FontSlot* slot = CachedSlot(font, character)) return slot;
    return RenderGlyphsToCache(1, &character, font);
}
