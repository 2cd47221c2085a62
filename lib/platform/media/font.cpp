// Choosing and opening the platform's fonts: fontconfig picks the face,
// FreeType opens it at the pixel size that gives the cell height asked for.
//
// Sizes follow the window system's font mapper: a positive height is the
// cell, the face's Windows ascent plus descent (the OS/2 table's
// usWinAscent + usWinDescent), so the em is scaled to fit that cell.
#include "platform/media/font_internal.h"
#include "platform/platform.h"

#include <fontconfig/fontconfig.h>
#include FT_TRUETYPE_TABLES_H

#include <cmath>
#include <cstring>
#include <string>

namespace {

constexpr int BoldWeight = 600;
// fontconfig's weight scale: demibold and above count as a bold face.
constexpr int FaceBoldWeight = FC_WEIGHT_DEMIBOLD;
// Characters a Japanese face must draw: hiragana "a" and katakana "a".
constexpr FcChar32 KanaProbes[] = {0x3042, 0x30A2};

struct FontPlatformState {
    int started;          // the first use tried to start FreeType and fontconfig
    FT_Library library;   // FreeType; null when it did not start
    FcConfig* config;     // fontconfig's configuration and font list; null when none
};

FontPlatformState gFontPlatform;

void StartFontPlatform() {
    if (gFontPlatform.started) return;
    gFontPlatform.started = 1;
    if (FT_Init_FreeType(&gFontPlatform.library) != 0) gFontPlatform.library = nullptr;
    gFontPlatform.config = FcInitLoadConfigAndFonts();
}

// A face that fontconfig offers.
struct Candidate {
    const char* file;
    int index;
    int faceIsBold;
    const char* family;  // UTF-8
};

bool CoversKana(FcPattern* font) {
    FcCharSet* chars = nullptr;
    if (FcPatternGetCharSet(font, FC_CHARSET, 0, &chars) != FcResultMatch) return false;
    for (FcChar32 c : KanaProbes)
        if (!FcCharSetHasChar(chars, c)) return false;
    return true;
}

bool FixedSpacing(FcPattern* font) {
    int spacing = FC_PROPORTIONAL;
    FcPatternGetInteger(font, FC_SPACING, 0, &spacing);
    return spacing == FC_MONO || spacing == FC_DUAL;
}

// Family names compare as fontconfig matches them: ASCII case and blanks
// do not count.
bool SameFamily(const char* a, const char* b) {
    auto next = [](const char*& p) {
        while (*p == ' ') ++p;
        unsigned char c = static_cast<unsigned char>(*p);
        if (c) ++p;
        return c >= 'A' && c <= 'Z' ? c + ('a' - 'A') : c;
    };
    for (;;) {
        unsigned char x = next(a), y = next(b);
        if (x != y) return false;
        if (!x) return true;
    }
}

// The face's family name that fontconfig matched `asked` (UTF-8) with, in
// the face's own spelling: fontconfig ignores case and blanks, and a face
// has a name in several languages. The first name when none matched, as a
// misspelt name falls back to some other face.
const char* FamilyFor(FcPattern* font, const char* asked) {
    FcChar8* first = nullptr;
    FcChar8* name = nullptr;
    for (int i = 0; FcPatternGetString(font, FC_FAMILY, i, &name) == FcResultMatch; ++i) {
        if (asked && SameFamily(reinterpret_cast<const char*>(name), asked))
            return reinterpret_cast<const char*>(name);
        if (!first) first = name;
    }
    return first ? reinterpret_cast<const char*>(first) : "";
}

bool ReadCandidate(FcPattern* font, const char* asked, Candidate* out) {
    FcChar8* file = nullptr;
    if (FcPatternGetString(font, FC_FILE, 0, &file) != FcResultMatch) return false;
    int index = 0, weight = FC_WEIGHT_REGULAR;
    FcPatternGetInteger(font, FC_INDEX, 0, &index);
    FcPatternGetInteger(font, FC_WEIGHT, 0, &weight);
    *out = {reinterpret_cast<const char*>(file), index, weight >= FaceBoldWeight,
            FamilyFor(font, asked)};
    return true;
}

int Round(double value) { return static_cast<int>(std::lround(value)); }

// Sizes the face; false when the face cannot be drawn at that size.
bool SizeFace(PlatFont* font, int height) {
    FT_Face face = font->face;
    if (height == 0 || face->units_per_EM == 0) return false;
    double em = face->units_per_EM;
    double winAscent = face->ascender, cell = face->ascender - face->descender;
    if (auto* os2 = static_cast<TT_OS2*>(FT_Get_Sfnt_Table(face, FT_SFNT_OS2));
        os2 && os2->usWinAscent + os2->usWinDescent > 0) {
        winAscent = os2->usWinAscent;
        cell = os2->usWinAscent + os2->usWinDescent;
    }
    if (cell <= 0) return false;

    if (height > 0) {
        font->pixelSize = Round(height * em / cell);
        font->cellHeight = height;
        font->ascent = Round(winAscent * height / cell);
    } else {
        font->pixelSize = -height;
        font->cellHeight = Round(cell * -height / em);
        font->ascent = Round(winAscent * -height / em);
    }
    if (font->pixelSize < 1) font->pixelSize = 1;
    if (FT_Set_Pixel_Sizes(face, 0, static_cast<FT_UInt>(font->pixelSize)) != 0) return false;
    // Rounded up: hinting may widen an advance to the next whole pixel.
    font->maxCharWidth =
        static_cast<int>(std::ceil(face->max_advance_width * double(font->pixelSize) / em)) +
        font->widening;
    return true;
}

PlatFont* OpenCandidate(const Candidate& candidate, const PlatFontDesc* desc) {
    FT_Library library = PlatFreeTypeLibrary();
    if (!library) return nullptr;
    FT_Face face = nullptr;
    if (FT_New_Face(library, candidate.file, candidate.index, &face) != 0) return nullptr;
    PlatFont* font = PlatFontOfFace(face, desc, candidate.faceIsBold);
    if (!font) return nullptr;
    font->file = candidate.file;
    font->faceIndex = candidate.index;
    font->family = PlatUtf8ToProgramText(candidate.family, std::strlen(candidate.family));
    return font;
}

std::string AskedFamily(const PlatFontDesc* desc) {
    return PlatProgramTextToUtf8(desc->faceName, std::strlen(desc->faceName));
}

// The pattern fontconfig sorts its faces by.
FcPattern* MakePattern(const PlatFontDesc* desc, bool named) {
    FcPattern* pattern = FcPatternCreate();
    if (!pattern) return nullptr;
    if (named) {
        std::string family = AskedFamily(desc);
        FcPatternAddString(pattern, FC_FAMILY, reinterpret_cast<const FcChar8*>(family.c_str()));
    }
    if (!named || desc->charSet == PlatCharSetShiftJis)
        FcPatternAddString(pattern, FC_LANG, reinterpret_cast<const FcChar8*>("ja"));
    if (!named) FcPatternAddInteger(pattern, FC_SPACING, FC_DUAL);
    FcPatternAddInteger(pattern, FC_WEIGHT,
                        PlatWantsBold(desc->weight) ? FC_WEIGHT_BOLD : FC_WEIGHT_REGULAR);
    FcPatternAddInteger(pattern, FC_SLANT, FC_SLANT_ROMAN);
    FcConfigSubstitute(gFontPlatform.config, pattern, FcMatchPattern);
    FcDefaultSubstitute(pattern);
    return pattern;
}

// Walks the sorted faces for the first that opens and passes `accept`.
template <typename Accept>
PlatFont* FirstAccepted(FcFontSet* set, const PlatFontDesc* desc, Accept accept) {
    bool named = desc->faceName && desc->faceName[0] != '\0';
    std::string asked = named ? AskedFamily(desc) : std::string();
    for (int i = 0; i < set->nfont; ++i) {
        Candidate candidate;
        if (!accept(set->fonts[i]) ||
            !ReadCandidate(set->fonts[i], named ? asked.c_str() : nullptr, &candidate))
            continue;
        if (PlatFont* font = OpenCandidate(candidate, desc)) return font;
    }
    return nullptr;
}

// Faces and misses a font keeps at most: a text of every script on the
// system should not hold every face open.
constexpr size_t MaxFallbacks = 16;
constexpr size_t MaxUncovered = 256;

FT_Face OpenFallback(const PlatFont* font, uint32_t character) {
    FcPattern* pattern = FcPatternCreate();
    FcCharSet* wanted = FcCharSetCreate();
    if (!pattern || !wanted) {
        if (pattern) FcPatternDestroy(pattern);
        if (wanted) FcCharSetDestroy(wanted);
        return nullptr;
    }
    FcCharSetAddChar(wanted, character);
    FcPatternAddCharSet(pattern, FC_CHARSET, wanted);
    FcCharSetDestroy(wanted);
    FcPatternAddInteger(pattern, FC_WEIGHT,
                        PlatWantsBold(font->weight) ? FC_WEIGHT_BOLD : FC_WEIGHT_REGULAR);
    FcPatternAddInteger(pattern, FC_SLANT, FC_SLANT_ROMAN);
    FcConfigSubstitute(gFontPlatform.config, pattern, FcMatchPattern);
    FcDefaultSubstitute(pattern);
    FcResult result;
    FcFontSet* set = FcFontSort(gFontPlatform.config, pattern, FcFalse, nullptr, &result);
    FcPatternDestroy(pattern);
    if (!set) return nullptr;
    FT_Face found = nullptr;
    for (int i = 0; i < set->nfont && !found; ++i) {
        FcCharSet* chars = nullptr;
        Candidate candidate;
        if (FcPatternGetCharSet(set->fonts[i], FC_CHARSET, 0, &chars) != FcResultMatch ||
            !FcCharSetHasChar(chars, character) ||
            !ReadCandidate(set->fonts[i], nullptr, &candidate))
            continue;
        FT_Face face = nullptr;
        if (FT_New_Face(gFontPlatform.library, candidate.file, candidate.index, &face) != 0) continue;
        FT_Select_Charmap(face, FT_ENCODING_UNICODE);
        if (FT_Set_Pixel_Sizes(face, 0, static_cast<FT_UInt>(font->pixelSize)) == 0 &&
            FT_Get_Char_Index(face, character) != 0)
            found = face;
        else
            FT_Done_Face(face);
    }
    FcFontSetDestroy(set);
    return found;
}

}  // namespace

FT_Face PlatFallbackFace(PlatFont* font, uint32_t character) {
    if (character == 0 || character > 0x10FFFF || !gFontPlatform.config) return nullptr;
    for (FT_Face face : font->fallbacks)
        if (FT_Get_Char_Index(face, character) != 0) return face;
    for (uint32_t missing : font->uncovered)
        if (missing == character) return nullptr;
    FT_Face face = font->fallbacks.size() < MaxFallbacks ? OpenFallback(font, character) : nullptr;
    if (face)
        font->fallbacks.push_back(face);
    else if (font->uncovered.size() < MaxUncovered)
        font->uncovered.push_back(character);
    return face;
}

FT_Library PlatFreeTypeLibrary() {
    StartFontPlatform();
    return gFontPlatform.library;
}

PlatFont* PlatFontOfFace(FT_Face face, const PlatFontDesc* desc, int faceIsBold) {
    FT_Select_Charmap(face, FT_ENCODING_UNICODE);
    auto* font = new PlatFont{};
    font->face = face;
    font->weight = desc->weight;
    font->bold = PlatChooseBold(desc->weight, faceIsBold);
    font->widening = PlatBoldWidening(font->bold);
    if (!SizeFace(font, desc->height)) {
        PlatDeleteFont(font);
        return nullptr;
    }
    return font;
}

int PlatWantsBold(int weight) { return weight >= BoldWeight; }

PlatBoldStyle PlatChooseBold(int weight, int faceIsBold) {
    if (!PlatWantsBold(weight)) return PlatBoldNone;
    return faceIsBold ? PlatBoldFace : PlatBoldSynthetic;
}

int PlatBoldWidening(PlatBoldStyle style) { return style == PlatBoldSynthetic ? 1 : 0; }

PlatFont* PlatCreateFont(const PlatFontDesc* desc) {
    StartFontPlatform();
    if (!gFontPlatform.library || !gFontPlatform.config || desc->height == 0) return nullptr;
    bool named = desc->faceName && desc->faceName[0] != '\0';
    FcPattern* pattern = MakePattern(desc, named);
    if (!pattern) return nullptr;
    FcResult result;
    FcFontSet* set = FcFontSort(gFontPlatform.config, pattern, FcFalse, nullptr, &result);
    FcPatternDestroy(pattern);
    if (!set) return nullptr;

    PlatFont* font = nullptr;
    if (named && desc->charSet != PlatCharSetShiftJis)
        font = FirstAccepted(set, desc, [](FcPattern*) { return true; });
    else if (named)
        font = FirstAccepted(set, desc, CoversKana);
    else
        font = FirstAccepted(set, desc, [](FcPattern* f) { return FixedSpacing(f) && CoversKana(f); });
    if (!font && !named) font = FirstAccepted(set, desc, CoversKana);
    FcFontSetDestroy(set);
    return font;
}

void PlatDeleteFont(PlatFont* font) {
    if (!font) return;
    if (font->face) FT_Done_Face(font->face);
    for (FT_Face face : font->fallbacks) FT_Done_Face(face);
    delete font;
}

void PlatGetFontMetrics(const PlatFont* font, PlatFontMetrics* metrics) {
    metrics->height = font->cellHeight;
    metrics->ascent = font->ascent;
    metrics->maxCharWidth = font->maxCharWidth;
    metrics->weight = font->weight;
}

PlatBoldStyle PlatFontBoldStyle(const PlatFont* font) { return font->bold; }

const char* PlatFontFile(const PlatFont* font) { return font->file.c_str(); }

const char* PlatFontFamily(const PlatFont* font) { return font->family.c_str(); }
