// The platform's fonts: a face chosen through fontconfig, drawn by FreeType
// without anti-aliasing into a 1-bit top-down buffer, one character (a
// Unicode code point, or a Shift-JIS unit) at a time, with the metrics the
// glyph cache is laid out by.
//
// A unit is the code of one character of a code page 932 string: a single
// byte, or lead byte << 8 | trail byte.
#ifndef TESSEL_PLATFORM_FONT_H
#define TESSEL_PLATFORM_FONT_H

#include <cstddef>
#include <cstdint>

struct PlatFont;

// Character sets a font can be asked for, by their Windows numbers.
enum PlatCharSet : int {
    PlatCharSetDefault = 1,
    PlatCharSetShiftJis = 128,
    PlatCharSetHangeul = 129,
};

struct PlatFontDesc {
    const char* faceName;  // the program's encoding; null or "" for the platform's Japanese choice
    int height;            // > 0: cell height (ascent + descent); < 0: em size; in pixels
    int weight;            // 100..900; 600 and more is bold
    int charSet;           // a PlatCharSet
};

struct PlatFontMetrics {
    int height;        // cell height: the height of every unit's extent
    int ascent;        // baseline's distance below the cell's top
    int maxCharWidth;  // the widest advance of the face at this size
    int weight;        // the weight asked for
};

// How a font meets a bold weight.
enum PlatBoldStyle : int {
    PlatBoldNone,       // not bold
    PlatBoldFace,       // the face is a bold style of its own
    PlatBoldSynthetic,  // the regular face, its ink widened by one pixel
};

// The bold rule: a weight of 600 or more is bold; a face that is bold
// itself is used as it is, any other face is emboldened.
int PlatWantsBold(int weight);
PlatBoldStyle PlatChooseBold(int weight, int faceIsBold);
// Pixels that `style` adds to the ink of every glyph (to the right) and to
// every advance.
int PlatBoldWidening(PlatBoldStyle style);

// Null when no face fits: with a face name, a font of that family or the
// nearest fontconfig offers (one covering kana for the Shift-JIS character
// set); without one, a mono- or dual-spaced font covering kana, else any
// font covering kana.
PlatFont* PlatCreateFont(const PlatFontDesc* desc);
// A font of the first face in the bytes of a TrueType or OpenType file or
// collection, which must stay unchanged and alive until the font is deleted;
// the face name and character set of `desc` are not used. Null when FreeType
// refuses the bytes or the face cannot be drawn at the size.
PlatFont* PlatCreateFontFromMemory(const PlatFontDesc* desc, const uint8_t* data, size_t size);
void PlatDeleteFont(PlatFont* font);  // null is allowed
void PlatGetFontMetrics(const PlatFont* font, PlatFontMetrics* metrics);
PlatBoldStyle PlatFontBoldStyle(const PlatFont* font);
// The face's file, for the log and for tests.
const char* PlatFontFile(const PlatFont* font);
// The family name of the face in use, code page 932: for a named face the
// name fontconfig matched, in the face's own spelling; for a face from
// memory the name its file gives; "" when there is none.
const char* PlatFontFamily(const PlatFont* font);

// The Unicode character of a unit, 0 when the unit does not convert.
// Code page 932 as Windows has it: 0x5C is a backslash, the NEC and IBM
// extensions decode.
uint32_t PlatCp932UnitToUnicode(unsigned code);

// A 1-bit top-down buffer, most significant bit leftmost, and the rectangle
// of it a drawing may touch (right and bottom exclusive).
struct PlatBitBuffer {
    uint8_t* bits;
    int pitch;                           // bytes per row
    int clipLeft, clipTop, clipRight, clipBottom;
};

// Rows below the top of a unit's extent that ink reaches, over every
// Shift-JIS unit of the face (each one's glyph, or the missing-glyph box),
// never more than the extent's height: a cache cell that tall cuts no glyph.
// `floor` when no ink passes it; then, when `floor` already holds the whole
// extent, nothing is drawn to find out. Found once per face and size.
int PlatFontInkDepth(PlatFont* font, int floor);

// The unit's extent: its advance and the cell height. A unit that does not
// convert, or has no glyph in the face, measures as the face's missing-glyph
// box.
void PlatMeasureFontUnit(PlatFont* font, unsigned code, int* width, int* height);
// Draws the unit with the top-left of its extent at (x, y): the extent
// becomes 0 (an opaque background), then the ink 1, both inside the clip.
// The extent is stored as PlatMeasureFontUnit gives it.
void PlatDrawFontUnit(PlatFont* font, unsigned code, const PlatBitBuffer* target, int x, int y,
                      int* width, int* height);

// The same for a Unicode character. One the face lacks comes from a face
// fontconfig picks for it; with none, or for a value past U+10FFFF, it is
// the face's missing-glyph box.
void PlatMeasureFontChar(PlatFont* font, uint32_t character, int* width, int* height);
void PlatDrawFontChar(PlatFont* font, uint32_t character, const PlatBitBuffer* target, int x,
                      int y, int* width, int* height);

#endif
