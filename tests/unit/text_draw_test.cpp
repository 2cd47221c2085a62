// Strings through the glyph cache: splitting into units, measuring, the
// ring of slots, clipping, blank units, the copy rule on each screen depth,
// and the public text operations.
#include "core/core.h"
#include "graphics/color.h"
#include "draw/screen.h"
#include "gpu/gpu.h"
#include "platform/media/font.h"
#include "platform/pixels/surface.h"
#include "support/harness.h"
#include "tessel.h"
#include "text/font.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <climits>
#include <cstring>
#include <string>
#include <vector>

namespace {

constexpr uint32_t White16 = 0xFFFF;

uint32_t PixelOf(const PlatSurface* s, int x, int y) {
    uint32_t v = 0;
    std::memcpy(&v, s->pixels + y * s->pitch + x * s->format.bytesPerPixel, s->format.bytesPerPixel);
    return v;
}

void Fill(PlatSurface* s, uint32_t value) { PlatFillSurfaceRect(s, 0, 0, s->width, s->height, value); }

std::vector<uint32_t> PixelsOf(const PlatSurface* s) {
    std::vector<uint32_t> out;
    for (int y = 0; y < s->height; ++y)
        for (int x = 0; x < s->width; ++x) out.push_back(PixelOf(s, x, y));
    return out;
}

// The first differing pixel, for a readable failure.
void ExpectSamePixels(const std::vector<uint32_t>& got, const std::vector<uint32_t>& want,
                      int width) {
    ASSERT_EQ(got.size(), want.size());
    for (size_t i = 0; i < got.size(); ++i)
        ASSERT_EQ(got[i], want[i]) << "first difference at " << i % width << "," << i / width;
}

ColorFormat FormatOfDepth(int depth) {
    ColorFormat f = *GetScreenFormat();
    f.ColorBitDepth = uint8_t(depth);
    f.bytesPerPixel = uint8_t(depth / 8);
    return f;
}

class TextDraw : public BackBufferTest {
protected:
    void TearDown() override {
        for (PlatSurface* s : surfaces_) PlatReleaseSurface(s);
        LibraryTest::TearDown();
    }

    PlatSurface* Surface(int width, int height, int depth) {
        ColorFormat f = FormatOfDepth(depth);
        PlatSurface* s = PlatCreateSurface(width, height, &f, 1);
        surfaces_.push_back(s);
        return s;
    }
    // The back buffer as the CPU sees it: on the GPU path the text is on
    // the device until something brings it back.
    static PlatSurface* Back() {
        GpuSyncBackBuffer();
        return gScreenState.back;
    }
    static Rect Whole(const PlatSurface* s) { return Rect{0, 0, s->width, s->height}; }

    static int Advance(int font, unsigned code) {
        int w, h;
        PlatMeasureFontUnit(LookupFont(font)->fontObject, code, &w, &h);
        return w;
    }
    static int Measure(int font, const char* text, int length = -1, int32_t* size = nullptr) {
        return FontCacheStringDraw({.font = font, .text = text, .length = length}, size);
    }
    static int Draw(PlatSurface* s, int font, const char* text, int x, int y, const Rect& clip,
                    uint32_t colour, int transparent = 1) {
        return FontCacheStringDraw({.font = font, .text = text, .x = x, .y = y, .surface = s,
                                    .clip = clip, .colour = colour,
                                    .screenDepth = s->format.ColorBitDepth,
                                    .transparent = transparent});
    }

    std::vector<PlatSurface*> surfaces_;
};

TEST(TextUnits, LeadBytesAreThoseOfShiftJis) {
    for (int b = 0; b < 256; ++b) {
        bool lead = (b >= 0x81 && b <= 0x9F) || (b >= 0xE0 && b <= 0xFC);
        EXPECT_EQ(IsShiftJisLeadByte(uint8_t(b)), lead ? 1 : 0) << b;
    }
}

TEST_F(TextDraw, ShiftJisDecodesToCodePointsTheCacheIsKeyedBy) {
    FontRecord* font = LookupFont(QueryDefaultFont());
    uint32_t characters[8];
    int count, consumed;
    const char text[] = "A\x82\xA0\xB1Z\x82";
    ASSERT_EQ(PrepareGlyphs(font, text, 6, characters, 8, &count, &consumed), 0);
    ASSERT_EQ(count, 5);
    EXPECT_EQ(consumed, 6);
    EXPECT_EQ(characters[0], uint32_t('A'));
    EXPECT_EQ(characters[1], 0x3042u);
    EXPECT_EQ(characters[2], 0xFF71u) << "half-width katakana is one byte";
    EXPECT_EQ(characters[4], NoCharacter) << "a lone lead byte at the end has no character";
    for (int i = 0; i < 4; ++i) EXPECT_EQ(font->charTable[characters[i]].cached, 1) << i;

    // A capacity stops the split at a whole character.
    ASSERT_EQ(PrepareGlyphs(font, text, 6, characters, 2, &count, &consumed), 0);
    EXPECT_EQ(count, 2);
    EXPECT_EQ(consumed, 3);
    EXPECT_EQ(PrepareGlyphs(nullptr, text, 6, characters, 8, &count, &consumed), -1);
}

TEST_F(TextDraw, AStringMeasuresAsTheSumOfItsAdvances) {
    int font = QueryDefaultFont();
    const char* text = "PUSH SPACE.IT START";
    ASSERT_EQ(std::strlen(text), 19u);
    int sum = 0;
    for (const char* p = text; *p; ++p) sum += Advance(font, uint8_t(*p));
    EXPECT_EQ(MeasureTextWidth(text), sum);
    int32_t size[2] = {};
    EXPECT_EQ(Measure(font, text, -1, size), sum);
    EXPECT_EQ(size[0], sum);
    EXPECT_EQ(size[1], 16);
    EXPECT_EQ(Measure(font, text, 4), Advance(font, 'P') + Advance(font, 'U') +
                                          Advance(font, 'S') + Advance(font, 'H'));
    EXPECT_EQ(MeasureTextWidth("%s%d", "PUSH SPACE.IT START", 7), sum + Advance(font, '7'));
    EXPECT_EQ(Measure(font, ""), 0);
    EXPECT_EQ(Measure(font, nullptr), 0);
}

TEST_F(TextDraw, ALoneLeadByteAtTheEndTakesTheTerminatorAndEndsThere) {
    int font = QueryDefaultFont();
    int ab = Advance(font, 'A') + Advance(font, 'B');
    EXPECT_EQ(MeasureTextWidth("AB\x82"), ab + Advance(font, 0x8200));
    // A length that cuts a two-byte character still takes all of it.
    EXPECT_EQ(Measure(font, "AB\x81\x40Z", 3), ab + Advance(font, 0x8140));
}

TEST_F(TextDraw, AStringPartlyLeftOfTheDrawAreaShowsOnlyTheColumnsInside) {
    PlatSurface* whole = Surface(200, 40, 16);
    PlatSurface* cut = Surface(200, 40, 16);
    int font = QueryDefaultFont();
    int width = Draw(whole, font, "ROUND", 30, 5, Whole(whole), White16);
    ASSERT_GT(width, 20);
    EXPECT_EQ(Draw(cut, font, "ROUND", -11, 5, Whole(cut), White16), width);
    int lit = 0;
    for (int y = 0; y < 40; ++y)
        for (int x = 0; x < 200; ++x) {
            uint32_t want = x + 41 < 200 ? PixelOf(whole, x + 41, y) : 0;
            ASSERT_EQ(PixelOf(cut, x, y), want) << x << "," << y;
            lit += want != 0;
        }
    EXPECT_GT(lit, 0);

    // Through the library: the draw area cuts the same way.
    ASSERT_EQ(SetClipRect(41, 0, 640, 480), 0);
    ASSERT_EQ(DrawTextWithFont(30, 5, "ROUND", White16, font, 0), 0);
    for (int y = 0; y < 40; ++y)
        for (int x = 0; x < 200; ++x) {
            uint32_t want = x >= 41 ? PixelOf(whole, x, y) : 0;
            ASSERT_EQ(PixelOf(Back(), x, y), want) << x << "," << y;
        }
}

TEST_F(TextDraw, AStringWhollyOutsideDrawsNothingAndReturnsItsWidth) {
    PlatSurface* s = Surface(100, 40, 16);
    Fill(s, 0x1234);
    int font = QueryDefaultFont();
    int width = Measure(font, "OUTSIDE");
    EXPECT_EQ(Draw(s, font, "OUTSIDE", 100, 0, Whole(s), White16, 0), width);
    EXPECT_EQ(Draw(s, font, "OUTSIDE", -width, 0, Whole(s), White16, 0), width);
    EXPECT_EQ(Draw(s, font, "OUTSIDE", 0, -16, Whole(s), White16, 0), width);
    EXPECT_EQ(Draw(s, font, "OUTSIDE", 0, 0, Rect{0, 20, 100, 40}, White16, 0), width);
    for (uint32_t p : PixelsOf(s)) ASSERT_EQ(p, 0x1234u);
}

TEST_F(TextDraw, SpacesAdvanceWithoutDrawing) {
    PlatSurface* s = Surface(120, 30, 16);
    Fill(s, 0x1234);
    int font = QueryDefaultFont();
    // Drawn opaque, a blank unit's box would be cleared to 0.
    int width = Draw(s, font, " \x81\x40 ", 0, 0, Whole(s), White16, 0);
    EXPECT_EQ(width, 2 * Advance(font, ' ') + Advance(font, 0x8140));
    EXPECT_GT(Advance(font, 0x8140), Advance(font, ' '));
    for (uint32_t p : PixelsOf(s)) ASSERT_EQ(p, 0x1234u);

    // "A A": the second A lies one A and one space to the right.
    PlatSurface* one = Surface(120, 30, 16);
    PlatSurface* two = Surface(120, 30, 16);
    Draw(one, font, "A", 0, 0, Whole(one), White16);
    Draw(one, font, "A", Advance(font, 'A') + Advance(font, ' '), 0, Whole(one), White16);
    Draw(two, font, "A A", 0, 0, Whole(two), White16);
    EXPECT_EQ(PixelsOf(one), PixelsOf(two));
}

TEST_F(TextDraw, TheRingEvictsTheOldestGlyphFirst) {
    int font = CreateFontToHandle(nullptr, 200, 4, 0, FontCharSetShiftJis, -1, -1);
    FontRecord* record = LookupFont(font);
    ASSERT_NE(record, nullptr);
    ASSERT_EQ(record->cellCount, 20);
    std::string kana;  // 21 distinct hiragana, 0x82A0 upwards
    for (int i = 0; i < 21; ++i) kana += {char(0x82), char(0xA0 + i)};
    auto key = [](int i) { return 0x3042 + i; };  // the same hiragana from U+3042

    Measure(font, kana.c_str(), 40);  // the first twenty fill the ring
    ASSERT_EQ(record->nextSlot, 0);
    int x, y;
    FontCellOrigin(record, 0, &x, &y);
    std::vector<uint8_t> firstCell(record->cacheBits + y * record->cachePitch,
                                   record->cacheBits + (y + record->cellSize) * record->cachePitch);

    Measure(font, kana.c_str() + 40);  // the twenty-first
    EXPECT_EQ(record->charTable[key(0)].cached, 0) << "the first glyph is evicted";
    EXPECT_EQ(record->charTable[key(20)].slot, &record->cacheSlots[0]);
    EXPECT_EQ(record->charTable[key(1)].cached, 1);

    Measure(font, kana.c_str(), 2);  // the first again: rendered anew, into the next slot
    ASSERT_EQ(record->charTable[key(0)].cached, 1);
    EXPECT_EQ(record->charTable[key(0)].slot, &record->cacheSlots[1]);
    EXPECT_EQ(record->charTable[key(1)].cached, 0);
    FontCellOrigin(record, 1, &x, &y);
    std::vector<uint8_t> again(record->cacheBits + y * record->cachePitch,
                               record->cacheBits + (y + record->cellSize) * record->cachePitch);
    EXPECT_EQ(again, firstCell);
}

TEST_F(TextDraw, ACharacterRepeatedInOneStringTakesOneSlot) {
    int font = CreateFontToHandle(nullptr, 16, 4, 0, FontCharSetShiftJis, -1, -1);
    Measure(font, "AAAA\x82\xA0\x82\xA0");
    EXPECT_EQ(LookupFont(font)->nextSlot, 2);
}

TEST_F(TextDraw, AStringOfMoreCharactersThanCellsDrawsLikeItsCharactersOneByOne) {
    int font = CreateFontToHandle(nullptr, 140, 4, 0, FontCharSetShiftJis, -1, -1);
    ASSERT_EQ(LookupFont(font)->cellCount, 20);
    std::string text = "ABCDEFGHIJKLMNOPQRSTUVWXYZ";
    PlatSurface* whole = Surface(26 * 80, 150, 16);
    PlatSurface* single = Surface(26 * 80, 150, 16);
    int width = Draw(whole, font, text.c_str(), 0, 0, Whole(whole), White16);
    int x = 0;
    for (char c : text) x += Draw(single, font, std::string(1, c).c_str(), x, 0, Whole(single), White16);
    EXPECT_EQ(width, x);
    ExpectSamePixels(PixelsOf(whole), PixelsOf(single), whole->width);
}

// Each pixel a glyph's copy writes, from the cache one bit at a time.
void ExpectCopyRule(PlatSurface* s, const FontRecord* font, const char* text, int x0, int y0,
                    const Rect& clip, uint32_t colour, int transparent, uint32_t background) {
    uint32_t written = s->format.ColorBitDepth == 32 ? colour
                       : s->format.ColorBitDepth == 16 ? (colour & 0xFFFF)
                                                       : (colour & 0xFF);
    std::vector<uint32_t> want(size_t(s->width) * s->height, background);
    int penX = x0;
    for (const char* p = text; *p; ++p) {
        const FontSlot* slot = font->charTable[uint8_t(*p)].slot;
        int cx, cy;
        FontCellOrigin(font, slot->cellIndex, &cx, &cy);
        // A glyph never reads past its own cell.
        for (int y = 0; y < std::min(slot->height, font->cellSize); ++y)
            for (int x = 0; x < std::min(slot->width, font->cellSize); ++x) {
                int dx = penX + x, dy = y0 + y;
                if (*p == ' ' || dx < clip.left || dx >= clip.right || dy < clip.top ||
                    dy >= clip.bottom)
                    continue;
                int bit = cx + x;
                bool set = font->cacheBits[(cy + y) * font->cachePitch + bit / 8] & (0x80 >> (bit % 8));
                if (set)
                    want[size_t(dy) * s->width + dx] = written;
                else if (!transparent)
                    want[size_t(dy) * s->width + dx] = 0;
            }
        penX += slot->width;
    }
    ExpectSamePixels(PixelsOf(s), want, s->width);
}

TEST_F(TextDraw, TheCopyRuleHoldsOnEachDepthFromEveryStartingBit) {
    int font = CreateFontToHandle(nullptr, 40, 8, 0, FontCharSetShiftJis, -1, -1);
    const FontRecord* record = LookupFont(font);
    ASSERT_GE(record->cellSize, 34) << "wide enough for a 16-pixel step after any head";
    const char* text = "W@M W";
    const uint32_t colour = 0x12ABCDEF, background = 0x5A;
    for (int depth : {8, 16, 32})
        for (int transparent : {1, 0})
            for (int left = 0; left < 18; ++left) {
                SCOPED_TRACE(testing::Message() << "depth " << depth << ", transparent "
                                                << transparent << ", clip from " << left);
                PlatSurface* s = Surface(140, 48, depth);
                Fill(s, background);
                Rect clip{3 + left, 2, 130, 45};
                int width = Draw(s, font, text, 3, 4, clip, colour, transparent);
                EXPECT_EQ(width, Measure(font, text));
                ExpectCopyRule(s, record, text, 3, 4, clip, colour, transparent, background);
                PlatReleaseSurface(s);
                surfaces_.pop_back();
            }
}

TEST_F(TextDraw, AnInvalidFontIsLoggedOnceAndDrawsNothing) {
    EXPECT_EQ(DrawTextWithFont(0, 0, "A", White16, 12345, 0), -1);
    EXPECT_EQ(DrawTextWithFont(0, 0, "", White16, 12345, 0), 0);
    EXPECT_EQ(DrawTextWithFont(0, 0, nullptr, White16, 12345, 0), 0);
    EXPECT_EQ(Occurrences(ReadLogUtf8(), "フォントハンドル値が異常です"), 1);
    EXPECT_EQ(Measure(12345, "A"), -1);
    for (uint32_t p : PixelsOf(Back())) ASSERT_EQ(p, 0u);
}

TEST_F(TextDraw, FormattedTextDrawsAsTheStringItFormatsTo) {
    ASSERT_EQ(DrawTextFormat(10, 10, White16, "%05d %s", 1250, "PTS"), 0);
    std::vector<uint32_t> formatted = PixelsOf(Back());
    ClearDrawTarget();
    ASSERT_EQ(DrawTextString(10, 10, "01250 PTS", White16, 0), 0);
    EXPECT_EQ(PixelsOf(Back()), formatted);
    EXPECT_NE(std::count(formatted.begin(), formatted.end(), White16), 0);
}

TEST_F(TextDraw, FormattedTextBeyondTheBufferIsCutAtAWholeCharacter) {
    int font = QueryDefaultFont();
    int a = Advance(font, 'A');
    std::string many(2000, 'A');
    EXPECT_EQ(MeasureTextWidth("%s", many.c_str()), 1023 * a);
    // A two-byte character across the end of the buffer is dropped whole.
    std::string straddling = std::string(1022, 'A') + "\x82\xA0" + "AAAA";
    EXPECT_EQ(MeasureTextWidth("%s", straddling.c_str()), 1022 * a);
    std::string fitting = std::string(1021, 'A') + "\x82\xA0" + "AAAA";
    EXPECT_EQ(MeasureTextWidth("%s", fitting.c_str()), 1021 * a + Advance(font, 0x82A0));
    EXPECT_EQ(DrawTextFormat(0, 0, White16, "%s", straddling.c_str()), 0);
}

TEST_F(TextDraw, NothingIsDrawnWhileAScreenSurfaceIsLocked) {
    int pitch;
    uint8_t* pixels;
    ASSERT_EQ(LockGraphSurface(TargetBack, &pitch, &pixels), 0);
    EXPECT_EQ(DrawTextString(10, 10, "LOCKED", White16, 0), 0);
    ASSERT_EQ(UnlockGraphSurface(TargetBack), 0);
    for (uint32_t p : PixelsOf(Back())) ASSERT_EQ(p, 0u);
    EXPECT_EQ(DrawTextString(10, 10, "OPEN", White16, 0), 0);
    std::vector<uint32_t> after = PixelsOf(Back());
    EXPECT_NE(std::count(after.begin(), after.end(), White16), 0);
}

// Positions and sizes at the ends of the int range: pens and boxes wrap as
// 32-bit sums (nothing lands on the screen), and sizes no cache can hold
// fail creation. Run under -fsanitize=undefined to see the arithmetic.
TEST(TextAtTheEndsOfTheRange, NothingOverflowsAndNothingIsDrawn) {
    ScratchDir dir;
    UseHeadless("", true);  // a window: the front buffer has a client origin
    ASSERT_EQ(InitLibrary(), 0);
    for (int target : {TargetFront, TargetBack}) {
        ASSERT_EQ(SetDrawTarget(target), 0);
        std::vector<uint32_t> front = PixelsOf(gScreenState.front);
        std::vector<uint32_t> back = PixelsOf(gScreenState.back);
        struct At { int x, y; };
        for (At at : {At{INT_MAX - 5, 10}, At{10, INT_MAX}, At{INT_MAX, INT_MAX},
                      At{INT_MIN, 10}, At{10, INT_MIN}, At{INT_MIN + 3, INT_MIN + 3}}) {
            EXPECT_EQ(DrawTextString(at.x, at.y, "WRAP\x82\xA0", White16, 0), 0)
                << at.x << "," << at.y;
            EXPECT_EQ(FontCacheStringDraw({.font = QueryDefaultFont(), .text = "WRAP", .x = at.x,
                                           .y = at.y, .surface = gDraw.drawSurface,
                                           .clip = gDraw.drawArea, .colour = White16,
                                           .screenDepth = QueryScreenDepth()}),
                      MeasureTextWidth("WRAP"));
        }
        EXPECT_TRUE(PixelsOf(gScreenState.front) == front) << target;
        EXPECT_TRUE(PixelsOf(gScreenState.back) == back) << target;
    }

    for (int size : {100000, INT_MAX, INT_MIN, 0x4001, -0x4001}) {
        EXPECT_EQ(CreateFontToHandle(nullptr, size, 4, 0, FontCharSetShiftJis, -1, -1), -1)
            << size;
        EXPECT_EQ(SetDefaultFontSize(size), 0);
        EXPECT_EQ(QueryDefaultFont(), -1) << size;
        EXPECT_EQ(DrawTextString(10, 10, "BIG", White16, 0), -1) << size;
    }
    EXPECT_GE(Occurrences(ReadLogUtf8(), "フォントの作成に失敗しました"), 5);
    // Any thickness makes a font: the weight stops at the heaviest.
    for (int thickness : {INT_MAX, INT_MIN})
        EXPECT_NE(CreateFontToHandle(nullptr, 16, thickness, 0, FontCharSetShiftJis, -1, -1), -1)
            << thickness;
    EXPECT_EQ(SetDefaultFontSize(24), 0);
    EXPECT_EQ(QueryFontSize(QueryDefaultFont()), 24);
    EXPECT_EQ(DrawTextString(10, 10, "BACK", White16, 0), 0);
    EndLibrary();
}

}  // namespace
