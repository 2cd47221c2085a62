// Drawing one character of a platform font into a 1-bit buffer, and its
// extent: from the font's face, else from a fallback face that has it, else
// the face's missing-glyph box. Shift-JIS units are converted to Unicode as
// code page 932 ("CP932", not "SHIFT_JIS", whose 0x5C is a yen sign and
// which lacks the NEC and IBM rows).
#include "platform/media/font_internal.h"

#include FT_OUTLINE_H

#include <iconv.h>

#include <algorithm>
#include <string>
#include <vector>

namespace {

struct Cp932State {
    int opened;       // the converter was asked for
    iconv_t toUtf32;  // code page 932 to UTF-32LE; (iconv_t)-1 when the system has none
};

Cp932State gCp932;

// What PlatFontInkDepth found for one face at one size.
struct KnownInkDepth {
    std::string file;
    int faceIndex, pixelSize, ascent, cellHeight, floor;
    int depth;
};

struct InkDepthState {
    std::vector<uint32_t> characters;  // Unicode of every unit that converts, each once
    std::vector<KnownInkDepth> known;
};

InkDepthState gInkDepth;

// Above this em size the cell simply takes the whole extent: drawing every
// glyph that large to measure it would cost more than the rows it saves.
constexpr int InkScanLimit = 128;

// The glyph in a face's slot after LoadCharacter, and its advance.
struct Glyph {
    bool loaded;         // the slot holds the character's glyph (or the missing-glyph box)
    int advance;         // pixels, widening included
    FT_GlyphSlot slot;   // the slot of the face it came from
};

// Loads the character's glyph, or the face's missing-glyph box (glyph 0)
// when no face has it; rendered to 1 bit a pixel when `render` is set.
Glyph LoadCharacter(PlatFont* font, uint32_t character, bool render) {
    FT_Face face = font->face;
    FT_UInt index = character && character <= 0x10FFFF ? FT_Get_Char_Index(face, character) : 0;
    if (index == 0) {
        if (FT_Face fallback = PlatFallbackFace(font, character)) {
            face = fallback;
            index = FT_Get_Char_Index(face, character);
        }
    }
    FT_Int32 flags = FT_LOAD_TARGET_MONO | (render ? FT_LOAD_RENDER : 0);
    if (FT_Load_Glyph(face, index, flags) != 0) {
        face = font->face;
        if (FT_Load_Glyph(face, 0, flags) != 0) return {false, 0, nullptr};
    }
    int advance = static_cast<int>((face->glyph->advance.x + 32) >> 6) + font->widening;
    return {true, advance, face->glyph};
}

void PutBit(const PlatBitBuffer* target, int x, int y, bool set) {
    if (x < target->clipLeft || x >= target->clipRight || y < target->clipTop ||
        y >= target->clipBottom)
        return;
    uint8_t* byte = target->bits + static_cast<ptrdiff_t>(y) * target->pitch + (x >> 3);
    uint8_t bit = static_cast<uint8_t>(0x80 >> (x & 7));
    *byte = set ? (*byte | bit) : (*byte & ~bit);
}

// Whether pixel (column, row) of a rendered bitmap is ink.
bool InkAt(const FT_Bitmap& bitmap, int column, int row) {
    int pitch = bitmap.pitch;
    const uint8_t* line = pitch >= 0
                              ? bitmap.buffer + static_cast<ptrdiff_t>(row) * pitch
                              : bitmap.buffer + static_cast<ptrdiff_t>(bitmap.rows - 1 - row) * -pitch;
    switch (bitmap.pixel_mode) {
    case FT_PIXEL_MODE_MONO: return line[column >> 3] & (0x80 >> (column & 7));
    case FT_PIXEL_MODE_GRAY: return line[column] >= 0x80;  // an embedded grey strike
    default: return false;
    }
}

bool RowHasInk(const FT_Bitmap& bitmap, int row) {
    for (int column = 0; column < static_cast<int>(bitmap.width); ++column)
        if (InkAt(bitmap, column, row)) return true;
    return false;
}

// Whether the glyph's ink might reach below row `depth` of a cell whose
// baseline is `ascent` rows down, judged from its unhinted outline's control
// box, which holds all of its ink; hinting moves points by less than the
// margin.
bool OutlineMayReach(FT_Face face, FT_UInt glyph, int ascent, int depth) {
    constexpr int HintingMargin = 2;
    if (FT_Load_Glyph(face, glyph, FT_LOAD_NO_HINTING | FT_LOAD_NO_BITMAP) != 0 ||
        face->glyph->format != FT_GLYPH_FORMAT_OUTLINE)
        return true;
    FT_BBox box;
    FT_Outline_Get_CBox(&face->glyph->outline, &box);
    long below = (-box.yMin + 63) >> 6;  // whole rows under the baseline
    return ascent + below + HintingMargin > depth;
}

const std::vector<uint32_t>& ShiftJisCharacters() {
    std::vector<uint32_t>& characters = gInkDepth.characters;
    if (!characters.empty()) return characters;
    auto add = [&](unsigned code) {
        if (uint32_t unicode = PlatCp932UnitToUnicode(code)) characters.push_back(unicode);
    };
    for (unsigned code = 1; code <= 0xFF; ++code) add(code);
    for (unsigned lead = 0x81; lead <= 0xFC; ++lead) {
        if (lead > 0x9F && lead < 0xE0) continue;
        for (unsigned trail = 0x40; trail <= 0xFC; ++trail) add(lead << 8 | trail);
    }
    std::sort(characters.begin(), characters.end());
    characters.erase(std::unique(characters.begin(), characters.end()), characters.end());
    return characters;
}

}  // namespace

int PlatFontInkDepth(PlatFont* font, int floor) {
    if (floor >= font->cellHeight) return floor;
    if (font->pixelSize > InkScanLimit) return font->cellHeight;
    // A face read from memory has no file to know it by again.
    bool known = !font->file.empty();
    for (const KnownInkDepth& k : gInkDepth.known)
        if (known && k.file == font->file && k.faceIndex == font->faceIndex &&
            k.pixelSize == font->pixelSize && k.ascent == font->ascent &&
            k.cellHeight == font->cellHeight && k.floor == floor)
            return k.depth;

    // Each character's glyph as it is drawn: from the face, or from the
    // fallback face that has it.
    std::vector<std::pair<FT_Face, FT_UInt>> glyphs{{font->face, 0}};
    for (uint32_t character : ShiftJisCharacters()) {
        FT_Face face = font->face;
        FT_UInt glyph = FT_Get_Char_Index(face, character);
        if (glyph == 0 && (face = PlatFallbackFace(font, character))) glyph = FT_Get_Char_Index(face, character);
        if (glyph) glyphs.emplace_back(face, glyph);
    }
    std::sort(glyphs.begin(), glyphs.end());
    glyphs.erase(std::unique(glyphs.begin(), glyphs.end()), glyphs.end());

    int depth = floor;
    for (size_t i = 0; i < glyphs.size() && depth < font->cellHeight; ++i) {
        auto [face, glyph] = glyphs[i];
        // Hinting and drawing every glyph costs a quarter of a second at the
        // game's title size; most glyphs are settled by their plain outline.
        if (!FT_HAS_FIXED_SIZES(face) && !OutlineMayReach(face, glyph, font->ascent, depth)) continue;
        if (FT_Load_Glyph(face, glyph, FT_LOAD_TARGET_MONO | FT_LOAD_RENDER) != 0) continue;
        const FT_GlyphSlot slot = face->glyph;
        int top = font->ascent - slot->bitmap_top;
        for (int row = static_cast<int>(slot->bitmap.rows) - 1; row >= 0; --row) {
            if (!RowHasInk(slot->bitmap, row)) continue;
            depth = std::max(depth, std::min(font->cellHeight, top + row + 1));
            break;
        }
    }
    if (known)
        gInkDepth.known.push_back({font->file, font->faceIndex, font->pixelSize, font->ascent,
                               font->cellHeight, floor, depth});
    return depth;
}

uint32_t PlatCp932UnitToUnicode(unsigned code) {
    if (code == 0 || code > 0xFFFF) return 0;
    if (!gCp932.opened) {
        gCp932.opened = 1;
        gCp932.toUtf32 = iconv_open("UTF-32LE", "CP932");
    }
    if (gCp932.toUtf32 == reinterpret_cast<iconv_t>(-1)) return 0;

    char in[2];
    size_t inLeft = 0;
    if (code > 0xFF) in[inLeft++] = static_cast<char>(code >> 8);
    in[inLeft++] = static_cast<char>(code & 0xFF);
    unsigned char out[8];
    char* inPointer = in;
    char* outPointer = reinterpret_cast<char*>(out);
    size_t outLeft = sizeof out;
    iconv(gCp932.toUtf32, nullptr, nullptr, nullptr, nullptr);
    size_t result = iconv(gCp932.toUtf32, &inPointer, &inLeft, &outPointer, &outLeft);
    // Exactly one character: two single-byte characters are not one unit.
    if (result == static_cast<size_t>(-1) || inLeft != 0 || outLeft != sizeof out - 4) return 0;
    return uint32_t(out[0]) | uint32_t(out[1]) << 8 | uint32_t(out[2]) << 16 |
           uint32_t(out[3]) << 24;
}

void PlatMeasureFontChar(PlatFont* font, uint32_t character, int* width, int* height) {
    *width = LoadCharacter(font, character, false).advance;
    *height = font->cellHeight;
}

void PlatDrawFontChar(PlatFont* font, uint32_t character, const PlatBitBuffer* target, int x,
                      int y, int* width, int* height) {
    Glyph glyph = LoadCharacter(font, character, true);
    *width = glyph.advance;
    *height = font->cellHeight;

    int right = std::min(x + glyph.advance, target->clipRight);
    int bottom = std::min(y + font->cellHeight, target->clipBottom);
    for (int row = std::max(y, target->clipTop); row < bottom; ++row)
        for (int column = std::max(x, target->clipLeft); column < right; ++column)
            PutBit(target, column, row, false);
    if (!glyph.loaded) return;

    const FT_GlyphSlot slot = glyph.slot;
    const FT_Bitmap& bitmap = slot->bitmap;
    int left = x + slot->bitmap_left, top = y + font->ascent - slot->bitmap_top;
    for (int row = 0; row < static_cast<int>(bitmap.rows); ++row)
        for (int column = 0; column < static_cast<int>(bitmap.width); ++column) {
            if (!InkAt(bitmap, column, row)) continue;
            for (int extra = 0; extra <= font->widening; ++extra)
                PutBit(target, left + column + extra, top + row, true);
        }
}

// A unit with no Unicode form has no character: the box.
void PlatMeasureFontUnit(PlatFont* font, unsigned code, int* width, int* height) {
    PlatMeasureFontChar(font, PlatCp932UnitToUnicode(code), width, height);
}

void PlatDrawFontUnit(PlatFont* font, unsigned code, const PlatBitBuffer* target, int x, int y,
                      int* width, int* height) {
    PlatDrawFontChar(font, PlatCp932UnitToUnicode(code), target, x, y, width, height);
}
