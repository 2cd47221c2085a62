// Fonts and their glyph caches, and the drawing of strings through them.
//
// Each font owns a cache of square cells, one column of them in a 1-bit
// bitmap (1 for ink, most significant bit leftmost). A character is drawn
// by the platform into a free cell the first time it is needed; the cells
// are handed out first in, first out over a ring of slots, and the character
// table finds a cached glyph with one index.
#ifndef TESSEL_TEXT_FONT_H
#define TESSEL_TEXT_FONT_H

#include "draw/draw_state.h"
#include "gpu/gpu.h"
#include "core/handle.h"
#include "tessel/text.h"

#include <cstdint>
#include <vector>

struct PlatFont;
struct PlatSurface;

constexpr int FontCapacity = 40;
constexpr int FontMinCells = 20;
constexpr int FontMaxCells = 2024;
constexpr int FontSlotCount = FontMaxCells + 1;  // the ring and its end marker
constexpr int FontCharCount = 65536;             // one entry per code point below U+10000
constexpr int FontCacheMaxHeight = 0x4000;
constexpr int FontFaceNameSize = FontFaceNameLength;
constexpr int FontPendingLimit = 256;            // glyphs rendered in one batch at most

// Character-set index of a font: which character set the platform is asked for.
enum FontCharSetIndex : int {
    FontCharSetDefault = 0,
    FontCharSetShiftJis = 1,
    FontCharSetHangeul = 2,
};

struct FontCharEntry;

// One slot of the ring: the cell it names and the glyph in it.
struct FontSlot {
    int32_t inUse;            // a glyph occupies the cell
    int32_t cellIndex;        // the slot's cell; -1 for the end marker
    int32_t width, height;    // the glyph's extent: its advance and the cell height
    FontCharEntry* charEntry; // the character whose glyph it is; null past U+FFFF
    uint32_t character;       // its code point
};

struct FontCharEntry {
    uint8_t cached;   // the character's glyph is in the cache
    FontSlot* slot;   // where, while cached
};

struct FontRecord {
    HandleRecord head;                        // serial and delete flag target
    FontSlot cacheSlots[FontSlotCount];       // the ring, cellCount slots and the marker
    FontCharEntry charTable[FontCharCount];   // by code point; the rest are found in the ring
    int32_t nextSlot;                         // the slot the next new glyph takes
    int32_t cellCount;                        // cells in the cache, 20..2024
    uint8_t* cacheBits;                       // the cache's 1-bit pixels, top-down, owned
    int32_t cachePitch;                       // bytes per cache row, a multiple of 4
    char faceName[FontFaceNameSize];          // as asked; "" for the platform's choice
    char usedFaceName[FontFaceNameSize];      // the family of the face in use; "" as asked
    uint8_t* fileData;                        // the font file's bytes, owned; null for a named face
    size_t fileSize;
    int32_t lineHeight;                       // the cell height: one line of text
    int32_t thickness;                        // stroke thickness; weight = thickness x 100
    int32_t size;                             // character height in pixels
    int32_t cellSize;                         // side of a cell in pixels
    PlatFont* fontObject;                     // the platform's font
    int32_t fontType;                         // 0: plain, 1 bit a pixel
    int32_t charSetIndex;                     // a FontCharSetIndex
    int32_t cacheWidth, cacheHeight;          // the cache in pixels
    int32_t cellsPerColumn;                   // cacheHeight / cellSize
    int32_t drawScreen;                       // bitmap data handle of the drawing screen, -1 none
    int32_t drawScreenLost;                   // 1: the drawing screen must be made before use
    int32_t textureMode;                      // always 0: there is no texture path
    GpuBitmap gpuCache;                       // the cache on the device, while text draws there
};

// How a font's cache is laid out, from the side a cell needs: the widest
// advance, or the deepest ink of a character where that is deeper.
struct FontCacheGeometry {
    int cellSize;        // the side rounded up to an even number
    int cellCount;       // 0x50000 / cellSize^2 within 20..2024, less where the height limit cuts;
                         // 0 when one cell is taller than the cache
    int cacheWidth;      // one column: cellSize
    int cacheHeight;     // cellCount x cellSize, at most 0x4000
    int cellsPerColumn;  // cacheHeight / cellSize
};

FontCacheGeometry ComputeFontCacheGeometry(int side);
// Top-left of cell `index` in the cache.
void FontCellOrigin(const FontRecord* font, int index, int* x, int* y);
// The cache's bits as the device's copy is made from them.
inline GpuBits FontCacheBits(const FontRecord* font) {
    return GpuBits{font->cacheBits, font->cachePitch, font->cacheWidth, font->cacheHeight,
                   font->cellSize};
}

// What makes a font, for the default font and for rebuilding.
struct FontSettings {
    char faceName[FontFaceNameSize];  // "" for the platform's choice
    int size;                         // -1: 16
    int thickness;                    // -1: 6
    int fontType;                     // -1: 0
    int charSetIndex;                 // a FontCharSetIndex
};

struct FontState {
    HandleTable table;      // type 4, 40 slots; a new font takes the first empty one
    FontSettings defaults;  // the default font's settings
    int defaultFont;        // the default font's handle; 0 or -1 while there is none
    int modeChangeHasDefault;        // a default font existed as the mode change began
    FontSettings modeChangeDefault;  // its settings, made again after the change
};

extern FontState gFont;

// --- the font table (font_table.cpp) ------------------------------------------

// What a font is made of: a face name fontconfig finds, or the bytes of a
// font file (collection index 0), which the font then owns.
struct FontSource {
    const char* faceName;
    uint8_t* fileData;  // from malloc; null for a named face
    size_t fileSize;
};

// CreateFontToHandle for either source. The source's bytes are taken in
// every case: kept by the new font or freed. The handle, or -1.
int CreateFontFromSource(FontSource source, int size, int thickness, int fontType,
                         int charSetIndex, int slot, int serial);
FontRecord* LookupFont(int font);
// Makes the drawing screen again when its bitmap was freed. 0 or -1.
int EnsureFontDrawScreen(FontRecord* font);
// Releases every font. 0.
int ReleaseAllFonts();

// --- the default font and the font module's life (font_default.cpp) -----------

int RefreshDefaultFont();
int SetupFonts();
int ShutdownFonts();
int RebuildAllFonts();
// For the mode change, which ends and starts graphics management: the
// default font's settings (1) or 0 when there is none; and making the
// default font from them again afterwards (0 or -1).
int RememberDefaultFont(FontSettings* out);
int RecreateDefaultFont(const FontSettings* settings);
// Registers the fonts' hooks into graphics management (before the screen
// comes up) and removes them (after it has gone).
void InitFontLinks();
void EndFontLinks();

// --- the glyph cache (glyph_cache.cpp) ----------------------------------------

// Decodes up to `capacity` characters off the first `length` bytes of
// `text` in the string encoding, and renders the ones missing from the
// cache (a batch of fewer than 256 and fewer than cellCount). `consumed`
// receives the bytes decoded. 0, or -1 for a null font.
int PrepareGlyphs(FontRecord* font, const char* text, int length, uint32_t* characters,
                  int capacity, int* count, int* consumed);
// Renders each pending character into the slot at nextSlot, taking the
// slot from whatever held it. The slot of the last glyph rendered, or null
// when there was none.
FontSlot* RenderGlyphsToCache(int count, const uint32_t* pending, FontRecord* font);
// The slot of `character`, rendering it alone when it is not cached.
FontSlot* GlyphSlotOf(FontRecord* font, uint32_t character);
// Blank characters advance without drawing: the space and the full-width space.
inline int IsBlankCharacter(uint32_t character) { return character == ' ' || character == 0x3000; }

// --- string drawing (text_draw.cpp) ---------------------------------------------

// A string through a font's glyph cache: measured, or drawn where a surface
// is given.
struct CacheString {
    int font = -1;              // font handle
    const char* text = nullptr;
    int length = -1;            // bytes of `text` to take; -1: all
    int x = 0, y = 0;           // where the string starts on the surface
    PlatSurface* surface = nullptr;  // drawn onto; null: only measured
    Rect clip = {};             // within the surface
    uint32_t colour = 0;        // a pixel value of a screen of `screenDepth` bits
    int screenDepth = 0;
    int transparent = 0;        // 0 clears each glyph's box to 0 behind it
};

// Measures or draws `call`. The total width, or -1 for an invalid font or
// while graphics are shut down; sizeOut gets (width, height) when measuring.
int FontCacheStringDraw(const CacheString& call, int32_t* sizeOut = nullptr);
// DrawTextWithFont for the first `length` bytes of `text` (-1: all).
int DrawFontTextRun(int x, int y, const char* text, int length, uint32_t colour, int font);

// --- wrapped text (text_block.cpp) -----------------------------------------------

// The bytes of the character at `text` in the string encoding; 0 at the
// terminator. The one place wrapped text steps through characters.
int TextCharLength(const char* text);
// Whether a line may break between two such characters: kana, kanji and the
// full-width forms, the characters Shift-JIS spells in two bytes.
bool IsWideCharacter(const char* text, int length);

// One line of a text block: bytes [start, start + length) of the text, and
// their width in pixels.
struct TextLine {
    int start, length, width;
};

// Lays `text` out in lines of at most `width` pixels: a line breaks before a
// run of spaces, which the next line skips, or between two double-byte
// characters; a word wider than `width` breaks between characters, and a
// line holds at least one character. "\n" ends a line; a final "\n" starts
// none.
std::vector<TextLine> LayoutTextBlock(FontRecord* font, const char* text, int width);

#endif
