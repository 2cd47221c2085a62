// The platform's fonts on their own: the bold rule, code page 932 units,
// sizes, the missing-glyph box, and drawing into a 1-bit buffer.
#include "platform/media/font.h"
#include "support/harness.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

namespace {

// A 1-bit picture of one unit, drawn at its top-left.
struct UnitPicture {
    int width = 0, height = 0;  // the unit's extent
    int columns = 0, rows = 0;  // the buffer
    std::vector<uint8_t> bits;
    bool Ink(int x, int y) const { return bits[size_t(y) * Pitch() + x / 8] & (0x80 >> (x % 8)); }
    int Pitch() const { return (columns + 31) / 32 * 4; }
};

UnitPicture Draw(PlatFont* font, unsigned code, int columns = 64, int rows = 64) {
    UnitPicture p;
    p.columns = columns;
    p.rows = rows;
    p.bits.assign(size_t(p.Pitch()) * rows, 0);
    PlatBitBuffer target{p.bits.data(), p.Pitch(), 0, 0, columns, rows};
    PlatDrawFontUnit(font, code, &target, 0, 0, &p.width, &p.height);
    return p;
}

// The ink's bounding box; right and bottom exclusive; empty when no ink.
struct Box {
    int left = 1 << 20, top = 1 << 20, right = 0, bottom = 0;
    bool Empty() const { return right <= left; }
};

Box InkBox(const UnitPicture& p) {
    Box b;
    for (int y = 0; y < p.rows; ++y)
        for (int x = 0; x < p.columns; ++x)
            if (p.Ink(x, y)) {
                b.left = std::min(b.left, x);
                b.top = std::min(b.top, y);
                b.right = std::max(b.right, x + 1);
                b.bottom = std::max(b.bottom, y + 1);
            }
    return b;
}

class FontPlatform : public testing::Test {
protected:
    void TearDown() override {
        for (PlatFont* f : fonts_) PlatDeleteFont(f);
    }
    PlatFont* Make(const char* face, int height, int weight, int charSet = PlatCharSetShiftJis) {
        PlatFontDesc desc{face, height, weight, charSet};
        PlatFont* font = PlatCreateFont(&desc);
        if (font) fonts_.push_back(font);
        return font;
    }
    std::vector<PlatFont*> fonts_;
};

TEST(FontBoldRule, BoldStartsAtSixHundredAndIsSyntheticOnlyWithoutABoldFace) {
    EXPECT_EQ(PlatChooseBold(599, 0), PlatBoldNone);
    EXPECT_EQ(PlatChooseBold(599, 1), PlatBoldNone);
    EXPECT_EQ(PlatChooseBold(600, 0), PlatBoldSynthetic);
    EXPECT_EQ(PlatChooseBold(600, 1), PlatBoldFace);
    EXPECT_EQ(PlatChooseBold(900, 0), PlatBoldSynthetic);
    EXPECT_EQ(PlatBoldWidening(PlatBoldNone), 0);
    EXPECT_EQ(PlatBoldWidening(PlatBoldFace), 0);
    EXPECT_EQ(PlatBoldWidening(PlatBoldSynthetic), 1);
}

TEST(FontCp932, UnitsDecodeAsTheWindowsCodePage) {
    EXPECT_EQ(PlatCp932UnitToUnicode(0x5C), 0x5Cu) << "0x5C is a backslash, not a yen sign";
    EXPECT_EQ(PlatCp932UnitToUnicode(0x7E), 0x7Eu);
    EXPECT_EQ(PlatCp932UnitToUnicode(0x41), 0x41u);
    EXPECT_EQ(PlatCp932UnitToUnicode(0xB1), 0xFF71u);    // half-width katakana "a"
    EXPECT_EQ(PlatCp932UnitToUnicode(0x8140), 0x3000u);  // full-width space
    EXPECT_EQ(PlatCp932UnitToUnicode(0x82A0), 0x3042u);  // hiragana "a"
    EXPECT_EQ(PlatCp932UnitToUnicode(0x8740), 0x2460u);  // NEC row: circled one
    EXPECT_EQ(PlatCp932UnitToUnicode(0xFA40), 0x2170u);  // IBM row: small roman one
    EXPECT_EQ(PlatCp932UnitToUnicode(0x815F), 0xFF3Cu);  // full-width backslash
}

TEST(FontCp932, UnitsThatAreNotOneCharacterDoNotConvert) {
    EXPECT_EQ(PlatCp932UnitToUnicode(0x8200), 0u);  // a lead byte with the terminator
    EXPECT_EQ(PlatCp932UnitToUnicode(0x82), 0u);    // a lead byte alone
    EXPECT_EQ(PlatCp932UnitToUnicode(0x8540), 0u);  // an empty row of the code page
    EXPECT_EQ(PlatCp932UnitToUnicode(0x4142), 0u);  // two characters
    EXPECT_EQ(PlatCp932UnitToUnicode(0), 0u);
}

TEST_F(FontPlatform, ThePlatformsChoiceIsAFixedPitchJapaneseFace) {
    PlatFont* font = Make(nullptr, 16, 400);
    ASSERT_NE(font, nullptr);
    int half, halfHeight, full, fullHeight;
    PlatMeasureFontUnit(font, 'A', &half, &halfHeight);
    PlatMeasureFontUnit(font, 0x82A0, &full, &fullHeight);
    EXPECT_FALSE(InkBox(Draw(font, 0x82A0)).Empty()) << "kana draws: " << PlatFontFile(font);
    EXPECT_GT(half, 0);
    EXPECT_NEAR(full, 2 * half, 1) << "half-width and full-width advances";
    PlatMeasureFontUnit(font, 'i', &half, &halfHeight);
    PlatMeasureFontUnit(font, 'W', &full, &fullHeight);
    EXPECT_EQ(half, full) << "Latin letters share one advance";
}

TEST_F(FontPlatform, APositiveHeightIsTheCellAndANegativeOneTheEm) {
    for (int height : {12, 16, 24, 36, 48}) {
        PlatFont* cell = Make(nullptr, height, 400);
        ASSERT_NE(cell, nullptr);
        PlatFontMetrics m;
        PlatGetFontMetrics(cell, &m);
        EXPECT_EQ(m.height, height);
        EXPECT_GT(m.ascent, height / 2);
        EXPECT_LT(m.ascent, height);
        int w, h;
        PlatMeasureFontUnit(cell, 'A', &w, &h);
        EXPECT_EQ(h, height) << "every extent is the cell's height";
        EXPECT_LE(w, m.maxCharWidth);

        // The em of a cell-sized font, asked for as an em, gives back the cell.
        int em;
        PlatMeasureFontUnit(cell, 0x82A0, &em, &h);
        EXPECT_LE(em, height);
        PlatFont* byEm = Make(nullptr, -em, 400);
        ASSERT_NE(byEm, nullptr);
        PlatFontMetrics e;
        PlatGetFontMetrics(byEm, &e);
        EXPECT_NEAR(e.height, height, 1) << "em " << em;
        int emWidth;
        PlatMeasureFontUnit(byEm, 0x82A0, &emWidth, &h);
        EXPECT_EQ(emWidth, em);
    }
}

TEST_F(FontPlatform, SyntheticBoldWidensTheInkAndTheAdvanceByOnePixel) {
    PlatFont* regular = Make(nullptr, 16, 500);
    PlatFont* bold = Make(nullptr, 16, 600);
    ASSERT_NE(regular, nullptr);
    ASSERT_NE(bold, nullptr);
    ASSERT_EQ(PlatFontBoldStyle(bold), PlatBoldSynthetic) << PlatFontFile(bold);
    EXPECT_EQ(PlatFontBoldStyle(regular), PlatBoldNone);
    PlatFontMetrics r, b;
    PlatGetFontMetrics(regular, &r);
    PlatGetFontMetrics(bold, &b);
    EXPECT_EQ(b.maxCharWidth, r.maxCharWidth + 1);
    EXPECT_EQ(b.weight, 600);

    for (unsigned code : {unsigned('R'), unsigned('0'), 0x94ADu /* a kanji */}) {
        UnitPicture thin = Draw(regular, code), thick = Draw(bold, code);
        EXPECT_EQ(thick.width, thin.width + 1) << std::hex << code;
        for (int y = 0; y < thin.rows; ++y)
            for (int x = 0; x < thin.columns; ++x) {
                bool widened = thin.Ink(x, y) || (x > 0 && thin.Ink(x - 1, y));
                ASSERT_EQ(thick.Ink(x, y), widened) << std::hex << code << " at " << x << "," << y;
            }
    }
}

TEST_F(FontPlatform, ABoldFaceIsUsedAsItIs) {
    PlatFont* font = Make("DejaVu Sans", 16, 700, PlatCharSetDefault);
    ASSERT_NE(font, nullptr);
    EXPECT_EQ(PlatFontBoldStyle(font), PlatBoldFace);
    EXPECT_NE(std::string(PlatFontFile(font)).find("Bold"), std::string::npos) << PlatFontFile(font);
    PlatFont* regular = Make("DejaVu Sans", 16, 400, PlatCharSetDefault);
    ASSERT_NE(regular, nullptr);
    EXPECT_EQ(PlatFontBoldStyle(regular), PlatBoldNone);
    EXPECT_EQ(std::string(PlatFontFile(regular)).find("Bold"), std::string::npos);
}

TEST_F(FontPlatform, ANamedFaceForShiftJisMustCoverKana) {
    PlatFont* latin = Make("DejaVu Sans", 16, 400, PlatCharSetDefault);
    PlatFont* japanese = Make("DejaVu Sans", 16, 400, PlatCharSetShiftJis);
    ASSERT_NE(latin, nullptr);
    ASSERT_NE(japanese, nullptr);
    EXPECT_NE(std::string(PlatFontFile(latin)), PlatFontFile(japanese));
    EXPECT_FALSE(InkBox(Draw(japanese, 0x82A0)).Empty());
}

TEST_F(FontPlatform, UnitsWithoutAGlyphDrawTheMissingGlyphBox) {
    PlatFont* font = Make(nullptr, 16, 400);
    ASSERT_NE(font, nullptr);
    // An empty row of the code page, and a lead byte that met the terminator.
    UnitPicture empty = Draw(font, 0x8540), lone = Draw(font, 0x8200);
    Box box = InkBox(empty);
    ASSERT_FALSE(box.Empty());
    EXPECT_GT(empty.width, 0);
    for (int x = box.left; x < box.right; ++x) {
        EXPECT_TRUE(empty.Ink(x, box.top)) << "top edge at " << x;
        EXPECT_TRUE(empty.Ink(x, box.bottom - 1)) << "bottom edge at " << x;
    }
    for (int y = box.top; y < box.bottom; ++y) {
        EXPECT_TRUE(empty.Ink(box.left, y)) << "left edge at " << y;
        EXPECT_TRUE(empty.Ink(box.right - 1, y)) << "right edge at " << y;
    }
    EXPECT_FALSE(empty.Ink((box.left + box.right) / 2, (box.top + box.bottom) / 2)) << "hollow";
    EXPECT_EQ(lone.bits, empty.bits);
    EXPECT_EQ(lone.width, empty.width);
    int w, h;
    PlatMeasureFontUnit(font, 0x8540, &w, &h);
    EXPECT_EQ(w, empty.width);
}

TEST_F(FontPlatform, DrawingClearsTheExtentAndStaysInsideTheClip) {
    PlatFont* font = Make(nullptr, 16, 400);
    ASSERT_NE(font, nullptr);
    UnitPicture alone = Draw(font, 'W');

    // Into a buffer full of ink, with the clip cutting the unit's right half.
    UnitPicture p;
    p.columns = p.rows = 64;
    p.bits.assign(size_t(p.Pitch()) * p.rows, 0xFF);
    int cut = alone.width / 2;
    PlatBitBuffer target{p.bits.data(), p.Pitch(), 0, 0, 8 + cut, 64};
    PlatDrawFontUnit(font, 'W', &target, 8, 4, &p.width, &p.height);
    EXPECT_EQ(p.width, alone.width);
    for (int y = 0; y < 64; ++y)
        for (int x = 0; x < 64; ++x) {
            bool inExtent = x >= 8 && x < 8 + alone.width && y >= 4 && y < 4 + alone.height;
            bool want = inExtent && x < 8 + cut ? alone.Ink(x - 8, y - 4) : true;
            ASSERT_EQ(p.Ink(x, y), want) << x << "," << y;
        }
}

// Exits with 0 when neither the platform's choice nor a named face can be
// made under the fontconfig configuration `config`.
[[noreturn]] void CreateUnder(const std::string& config) {
    setenv("FONTCONFIG_FILE", config.c_str(), 1);
    PlatFontDesc unnamed{nullptr, 16, 400, PlatCharSetShiftJis};
    PlatFontDesc named{"IPAGothic", 16, 400, PlatCharSetDefault};
    bool none = !PlatCreateFont(&unnamed) && !PlatCreateFont(&named);
    std::exit(none ? 0 : 1);
}

// fontconfig reads its configuration once per process, so the check runs
// in a fresh one.
TEST(FontWithoutFonts, CreationFailsWhenNothingIsInstalled) {
    GTEST_FLAG_SET(death_test_style, "threadsafe");
    ScratchDir dir;
    WriteFile("fonts.conf", "<?xml version=\"1.0\"?>\n<fontconfig></fontconfig>\n");
    EXPECT_EXIT(CreateUnder(dir.path() + "/fonts.conf"), testing::ExitedWithCode(0), "");
}

}  // namespace
