// The font table: creating a font with its platform font, glyph cache and
// drawing screen, releasing it, and the queries on a handle.
#include "text/font.h"

#include "core/core.h"
#include "draw/screen.h"
#include "graphics/color.h"
#include "graphics/graph.h"
#include "graphics/load.h"
#include "platform/media/font.h"

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>

namespace {

HandleRecord* gFontSlots[FontCapacity];

constexpr int DefaultSize = 16;
constexpr int DefaultThickness = 6;
constexpr int MaxWeight = 1000;  // heavier than the heaviest face there is

int PlatformCharSet(int charSetIndex) {
    switch (charSetIndex) {
    case FontCharSetShiftJis: return PlatCharSetShiftJis;
    case FontCharSetHangeul: return PlatCharSetHangeul;
    default: return PlatCharSetDefault;
    }
}

// The platform font, with the retries the font mapper is given: a named
// face with the default and then the Shift-JIS character set, the
// platform's choice with the default one. Null after logging the failure.
//
// A character taller than the whole cache could never have a cell, so the
// platform is not asked for it (nor for a size whose negation overflows).
PlatFont* MakePlatformFont(const FontRecord* record, int size, int thickness, int charSetIndex) {
    const char* faceName = record->faceName;
    int weight = int(std::clamp<int64_t>(int64_t(thickness) * 100, 0, MaxWeight));
    PlatFontDesc desc{faceName, size, weight, PlatformCharSet(charSetIndex)};
    bool fits = size >= -FontCacheMaxHeight && size <= FontCacheMaxHeight;
    if (record->fileData) {
        PlatFont* font =
            fits ? PlatCreateFontFromMemory(&desc, record->fileData, record->fileSize) : nullptr;
        if (!font) WriteLogString(SJIS("フォントファイルからフォントを作成できませんでした\n"));
        return font;
    }
    bool named = faceName[0] != '\0';
    const int retries[] = {PlatCharSetDefault, PlatCharSetShiftJis};
    PlatFont* font = fits ? PlatCreateFont(&desc) : nullptr;
    for (int i = 0; fits && !font && i < (named ? 2 : 1); ++i) {
        desc.charSet = retries[i];
        font = PlatCreateFont(&desc);
    }
    if (!font)
        WriteLogString(named ? SJIS("指定のフォントの作成に失敗しました\n")
                             : SJIS("フォントの作成に失敗しました\n"));
    return font;
}

// The bitmap data record of the font's drawing screen: screen-sized, in
// system memory, a possible draw target, belonging to no graph.
int MakeDrawScreen(FontRecord* font) {
    GraphParams params{};
    params.DrawValid = 1;
    params.systemMemory = 1;
    params.ColorBitDepth = static_cast<uint8_t>(QueryScreenDepth());
    int screen = AddBmpData(ScreenWidth(), ScreenHeight(), 0, 0, -1, -1, 0, 0, &params);
    if (screen < 0) {
        WriteLogString(SJIS("フォント用描画スクリーンの作成に失敗しました\n"));
        return -1;
    }
    font->drawScreen = screen;
    SetBmpDataDeleteFlag(screen, &font->drawScreenLost);
    return 0;
}

// Frees what the record holds, not the record.
void ReleaseContents(FontRecord* font) {
    if (font->drawScreen != -1) FreeBmpData(font->drawScreen);
    font->drawScreen = -1;
    PlatDeleteFont(font->fontObject);
    font->fontObject = nullptr;
    std::free(font->cacheBits);
    font->cacheBits = nullptr;
    std::free(font->fileData);
    font->fileData = nullptr;
    FreeGpuBitmap(&font->gpuCache);
}

void EmptyCache(FontRecord* font) {
    for (FontCharEntry& entry : font->charTable) entry = FontCharEntry{};
    for (int n = 0; n < font->cellCount; ++n) font->cacheSlots[n] = FontSlot{0, n, 0, 0, nullptr, 0};
    font->cacheSlots[font->cellCount] = FontSlot{0, -1, 0, 0, nullptr, 0};
    font->nextSlot = 0;
}

// Fills the record after the slot and serial were settled. 0, or -1 after
// logging; the caller frees what was made.
int BuildFont(FontRecord* font, const char* faceName, int charSetIndex) {
    std::snprintf(font->faceName, sizeof font->faceName, "%s", faceName ? faceName : "");
    font->fontObject = MakePlatformFont(font, font->size, font->thickness, charSetIndex);
    if (!font->fontObject) return -1;
    // The platform's own choice stays unnamed, as it was asked for.
    if (font->fileData || font->faceName[0] != '\0')
        std::snprintf(font->usedFaceName, sizeof font->usedFaceName, "%s",
                      PlatFontFamily(font->fontObject));

    PlatFontMetrics metrics;
    PlatGetFontMetrics(font->fontObject, &metrics);
    font->lineHeight = metrics.height;
    FontCacheGeometry geometry = ComputeFontCacheGeometry(metrics.maxCharWidth);
    // Glyphs are copied out of their cells as tall as their extent; where
    // that is taller than the widest advance, the cell grows to the deepest
    // ink of any character, so that none is cut.
    if (geometry.cellCount > 0)
        geometry = ComputeFontCacheGeometry(PlatFontInkDepth(font->fontObject, geometry.cellSize));
    font->cellSize = geometry.cellSize;
    font->cellCount = geometry.cellCount;
    font->cacheWidth = geometry.cacheWidth;
    font->cacheHeight = geometry.cacheHeight;
    font->cellsPerColumn = geometry.cellsPerColumn;
    font->cachePitch = (font->cacheWidth + 31) / 32 * 4;
    if (font->cellCount > 0)
        font->cacheBits = static_cast<uint8_t*>(
            std::calloc(size_t(font->cachePitch) * size_t(font->cacheHeight), 1));
    if (!font->cacheBits) {
        WriteLogString(SJIS("テキストキャッシュ用ＤＩＢの作成に失敗しました\n"));
        return -1;
    }
    if (MakeDrawScreen(font) != 0) return -1;
    EmptyCache(font);
    font->charSetIndex = charSetIndex;
    return 0;
}

int FirstEmptySlot() {
    for (int slot = 0; slot < FontCapacity; ++slot)
        if (!gFont.table.slots[slot]) return slot;
    return -1;
}

}  // namespace

FontState gFont = {
    {HandleFont, FontCapacity, gFontSlots, 0, 0, 0},
    {"", DefaultSize, DefaultThickness, 0, FontCharSetShiftJis},
    0,
    0,
    {},
};

FontCacheGeometry ComputeFontCacheGeometry(int side) {
    FontCacheGeometry g{};
    int64_t even = (std::max<int64_t>(side, 1) + 1) & ~int64_t(1);
    // A cell taller than the cache leaves no cell at all: creation fails.
    if (even > FontCacheMaxHeight) return g;
    g.cellSize = int(even);
    g.cellCount = std::clamp(0x50000 / (g.cellSize * g.cellSize), FontMinCells, FontMaxCells);
    g.cacheWidth = g.cellSize;
    g.cacheHeight = g.cellCount * g.cellSize;
    if (g.cacheHeight > FontCacheMaxHeight) {
        g.cacheHeight = FontCacheMaxHeight / g.cellSize * g.cellSize;
        g.cellCount = g.cacheHeight / g.cellSize;
    }
    g.cellsPerColumn = g.cacheHeight / g.cellSize;
    return g;
}

void FontCellOrigin(const FontRecord* font, int index, int* x, int* y) {
    *x = index / font->cellsPerColumn * font->cellSize;
    *y = index % font->cellsPerColumn * font->cellSize;
}

FontRecord* LookupFont(int font) { return HandleTableGetAs<FontRecord>(&gFont.table, font); }

int FontHandleIsValid(int font) { return LookupFont(font) ? 1 : 0; }

int CreateFontToHandle(const char* faceName, int size, int thickness, int fontType,
                       int charSetIndex, int slot, int serial) {
    return CreateFontFromSource({faceName, nullptr, 0}, size, thickness, fontType, charSetIndex,
                                slot, serial);
}

int CreateFontFromSource(FontSource source, int size, int thickness, int fontType,
                         int charSetIndex, int slot, int serial) {
    if (!GraphicsStarted() || !DisplayExists()) {
        std::free(source.fileData);
        return -1;
    }
    HandleTable* table = &gFont.table;
    if (slot == -1) {
        slot = FirstEmptySlot();
        if (slot < 0) {
            std::free(source.fileData);
            WriteLogFormat(SJIS("作成できるフォントハンドル数 %d の限界を超えました"), FontCapacity);
            return -1;
        }
    } else if (slot < 0 || slot >= FontCapacity || table->slots[slot]) {
        std::free(source.fileData);
        return -1;
    }

    auto* font = static_cast<FontRecord*>(std::calloc(1, sizeof(FontRecord)));
    if (!font) {
        std::free(source.fileData);
        WriteLogString(SJIS("フォント管理用メモリ領域の確保に失敗しました\n"));
        return -1;
    }
    table->slots[slot] = &font->head;
    font->fileData = source.fileData;
    font->fileSize = source.fileSize;
    font->drawScreen = -1;
    font->size = size == -1 ? DefaultSize : size;
    font->thickness = thickness == -1 ? DefaultThickness : thickness;
    font->fontType = fontType == -1 ? 0 : fontType;
    if (serial == -1)
        HandleTableStamp(table, slot);
    else
        font->head.serial = serial & HandleSerialLimit;

    if (BuildFont(font, source.faceName, charSetIndex) != 0) {
        ReleaseContents(font);
        HandleTableDiscard(table, slot);
        return -1;
    }
    ++table->count;
    table->highWater = std::max(table->highWater, slot + 1);
    return HandleOfSlot(table, slot);
}

int ReleaseFontHandle(int handle) {
    FontRecord* font = LookupFont(handle);
    if (!font) return -1;
    ReleaseContents(font);
    return HandleTableRemove(&gFont.table, handle);
}

int ReleaseAllFonts() {
    for (int slot = 0; slot < FontCapacity; ++slot)
        if (gFont.table.slots[slot]) ReleaseFontHandle(HandleOfSlot(&gFont.table, slot));
    return 0;
}

int SetFontDeleteFlag(int handle, int32_t* target) {
    FontRecord* font = LookupFont(handle);
    if (!font) return -1;
    font->head.deleteFlagTarget = target;
    if (target) *target = 0;
    return 0;
}

int ClearFontCache(int handle) {
    FontRecord* font = LookupFont(handle);
    if (!font) return -1;
    EmptyCache(font);
    return 0;
}

int EnsureFontDrawScreen(FontRecord* font) {
    if (!font->drawScreenLost && GetBmpDataRecord(font->drawScreen)) return 0;
    font->drawScreen = -1;
    font->drawScreenLost = 0;
    return MakeDrawScreen(font);
}

int QueryFontSize(int handle) {
    FontRecord* font = LookupFont(handle);
    return font ? font->size : -1;
}

int QueryFontSettings(char* faceName, int* size, int* thickness, int handle) {
    FontRecord* font = LookupFont(handle);
    if (!font) return -1;
    if (faceName) std::memcpy(faceName, font->usedFaceName, sizeof font->usedFaceName);
    if (size) *size = font->size;
    if (thickness) *thickness = font->thickness;
    return 0;
}
