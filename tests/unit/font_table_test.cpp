// Font handles: the table of 40, creation with its defaults and slots, the
// cache geometry, the default font and when it is made again, and the
// module's setup, shutdown and rebuild.
#include "core/core.h"
#include "draw/screen.h"
#include "platform/media/font.h"
#include "platform/pixels/surface.h"
#include "support/harness.h"
#include "tessel.h"
#include "text/font.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <memory>
#include <string>
#include <vector>

namespace {

int SerialOf(int handle) { return handle >> 16 & 0x7FF; }

int MakeFont(int size = 16, int thickness = 4) {
    return CreateFontToHandle(nullptr, size, thickness, 0, FontCharSetShiftJis, -1, -1);
}

// Pixels of the back buffer that are not 0.
int LitPixels() {
    GpuSyncBackBuffer();  // on the GPU path the text is still on the device
    const PlatSurface* back = gScreenState.back;
    int lit = 0;
    for (int y = 0; y < back->height; ++y)
        for (int x = 0; x < back->width * back->format.bytesPerPixel; ++x)
            lit += back->pixels[y * back->pitch + x] != 0;
    return lit;
}

using FontTable = BackBufferTest;

TEST(FontGeometry, CellCountsKeepToTheirBoundsAndTheHeightLimit) {
    FontCacheGeometry narrow = ComputeFontCacheGeometry(8);
    EXPECT_EQ(narrow.cellSize, 8);
    EXPECT_EQ(narrow.cellCount, 2024);
    EXPECT_EQ(narrow.cacheHeight, 2024 * 8);
    FontCacheGeometry wide = ComputeFontCacheGeometry(200);
    EXPECT_EQ(wide.cellCount, 20);
    EXPECT_EQ(wide.cacheWidth, 200);
    EXPECT_EQ(wide.cacheHeight, 4000);
    EXPECT_EQ(wide.cellsPerColumn, 20);
    // 1280 cells of 16 would pass 0x4000 rows: the height limit cuts them.
    FontCacheGeometry game = ComputeFontCacheGeometry(16);
    EXPECT_EQ(game.cellCount, 1024);
    EXPECT_EQ(game.cacheHeight, 0x4000);
    FontCacheGeometry huge = ComputeFontCacheGeometry(3000);
    EXPECT_EQ(huge.cacheHeight, 15000);
    EXPECT_EQ(huge.cellCount, 5);
    EXPECT_EQ(ComputeFontCacheGeometry(7).cellSize, 8) << "rounded up to even";
    EXPECT_EQ(ComputeFontCacheGeometry(100).cellCount, 0x50000 / 10000);
    // A cell taller than the cache leaves no cell at all (creation then
    // fails), however wide: the square of the side must not wrap.
    for (int width : {0x4001, 65536, 100000, 0x7FFFFFFE}) {
        EXPECT_EQ(ComputeFontCacheGeometry(width).cellCount, 0) << width;
        EXPECT_EQ(ComputeFontCacheGeometry(width).cacheHeight, 0) << width;
    }
}

TEST(FontGeometry, CellsFillAColumnBeforeTheNext) {
    auto font = std::make_unique<FontRecord>();
    font->cellSize = 10;
    font->cellsPerColumn = 4;
    int x, y;
    FontCellOrigin(font.get(), 3, &x, &y);
    EXPECT_EQ(x, 0);
    EXPECT_EQ(y, 30);
    FontCellOrigin(font.get(), 5, &x, &y);
    EXPECT_EQ(x, 10);
    EXPECT_EQ(y, 10);
}

TEST_F(FontTable, TheDefaultFontIsMadeAgainOnlyWhenASettingChanges) {
    int first = QueryDefaultFont();
    ASSERT_EQ(FontHandleIsValid(first), 1);
    EXPECT_EQ(first & 0x78000000, 0x20000000);
    EXPECT_EQ(QueryFontSize(first), 16);

    EXPECT_EQ(SetDefaultFontSize(16), 0);
    EXPECT_EQ(QueryDefaultFont(), first);

    EXPECT_EQ(SetDefaultFontThickness(8), 0);
    int second = QueryDefaultFont();
    EXPECT_NE(second, first);
    EXPECT_EQ(FontHandleIsValid(first), 0);
    // The log console's font was the last one made at start-up.
    EXPECT_EQ(SerialOf(second), SerialOf(gCore.consoleFont) + 1) << "made once";
    int thickness = 0;
    ASSERT_EQ(QueryFontSettings(nullptr, nullptr, &thickness, second), 0);
    EXPECT_EQ(thickness, 8);

    EXPECT_EQ(SetDefaultFontThickness(8), 0);
    EXPECT_EQ(QueryDefaultFont(), second);
    EXPECT_EQ(SetDefaultFontSizeAndThickness(24, 8), 0);
    EXPECT_EQ(QueryFontSize(QueryDefaultFont()), 24);
    EXPECT_EQ(SerialOf(QueryDefaultFont()), SerialOf(second) + 1);
}

TEST_F(FontTable, TheFortyFirstFontIsRefusedAndFreedSlotsAreTakenFromTheFirst) {
    // The default font holds slot 0 and the log console's font slot 1.
    int handles[FontCapacity] = {QueryDefaultFont(), gCore.consoleFont};
    ASSERT_EQ(handles[1] & 0xFFFF, 1);
    for (int i = 2; i < FontCapacity; ++i) {
        handles[i] = MakeFont();
        ASSERT_EQ(handles[i] & 0xFFFF, i);
    }
    EXPECT_EQ(MakeFont(), -1);
    EXPECT_EQ(Occurrences(ReadLogUtf8(), "作成できるフォントハンドル数 40 の限界を超えました"), 1);

    ASSERT_EQ(ReleaseFontHandle(handles[7]), 0);
    ASSERT_EQ(ReleaseFontHandle(handles[3]), 0);
    EXPECT_EQ(MakeFont() & 0xFFFF, 3);
    EXPECT_EQ(MakeFont() & 0xFFFF, 7);
    EXPECT_EQ(MakeFont(), -1);
}

TEST_F(FontTable, MinusOneMeansSizeSixteenWeightSixHundredAndAPlainFont) {
    int font = CreateFontToHandle(nullptr, -1, -1, -1, FontCharSetShiftJis, -1, -1);
    ASSERT_NE(font, -1);
    const FontRecord* record = LookupFont(font);
    ASSERT_NE(record, nullptr);
    EXPECT_EQ(record->size, 16);
    EXPECT_EQ(record->thickness, 6);
    EXPECT_EQ(record->fontType, 0);
    PlatFontMetrics metrics;
    PlatGetFontMetrics(record->fontObject, &metrics);
    EXPECT_EQ(metrics.weight, 600);
    EXPECT_NE(PlatFontBoldStyle(record->fontObject), PlatBoldNone);
    // The default font of the game: 16 wide, 1024 cells in one column.
    EXPECT_EQ(record->cellSize, 16);
    EXPECT_EQ(record->cellCount, 1024);
    EXPECT_EQ(record->cacheHeight, 0x4000);
    EXPECT_EQ(record->cachePitch, 4);
    EXPECT_EQ(record->cacheSlots[1024].cellIndex, -1);
    EXPECT_EQ(record->cacheSlots[1023].cellIndex, 1023);
}

TEST_F(FontTable, AnAskedSlotAndSerialAreUsedAsGiven) {
    int font = CreateFontToHandle(nullptr, 16, 4, 0, FontCharSetShiftJis, 7, 100);
    EXPECT_EQ(font, 7 | 100 << 16 | 0x20000000);
    EXPECT_EQ(CreateFontToHandle(nullptr, 16, 4, 0, FontCharSetShiftJis, 7, 101), -1);
    EXPECT_EQ(CreateFontToHandle(nullptr, 16, 4, 0, FontCharSetShiftJis, FontCapacity, -1), -1);
    // The table's own counter was not touched by the asked serial.
    EXPECT_EQ(SerialOf(MakeFont()), SerialOf(gCore.consoleFont) + 1);
}

TEST_F(FontTable, ReleasingSetsTheDeleteFlagAndInvalidatesTheHandle) {
    int font = MakeFont();
    int32_t deleted = 5;
    ASSERT_EQ(SetFontDeleteFlag(font, &deleted), 0);
    EXPECT_EQ(deleted, 0);
    ASSERT_EQ(ReleaseFontHandle(font), 0);
    EXPECT_EQ(deleted, 1);
    EXPECT_EQ(FontHandleIsValid(font), 0);
    EXPECT_EQ(ReleaseFontHandle(font), -1);
    EXPECT_EQ(QueryFontSize(font), -1);
    EXPECT_EQ(QueryFontSettings(nullptr, nullptr, nullptr, font), -1);
    EXPECT_EQ(SetFontDeleteFlag(font, &deleted), -1);
    EXPECT_EQ(ClearFontCache(font), -1);
    EXPECT_EQ(FontHandleIsValid(12345), 0);
}

TEST_F(FontTable, SettingsReadBackWithTheFaceName) {
    int font = CreateFontToHandle("DejaVu Sans Mono", 20, 3, 0, FontCharSetDefault, -1, -1);
    ASSERT_NE(font, -1);
    char face[FontFaceNameLength] = "x";
    int size = 0, thickness = 0;
    ASSERT_EQ(QueryFontSettings(face, &size, &thickness, font), 0);
    EXPECT_STREQ(face, "DejaVu Sans Mono");
    EXPECT_EQ(size, 20);
    EXPECT_EQ(thickness, 3);
    ASSERT_EQ(QueryFontSettings(face, nullptr, nullptr, QueryDefaultFont()), 0);
    EXPECT_STREQ(face, "");
}

TEST_F(FontTable, ClearingForgetsEveryGlyphAndRestartsTheRing) {
    int font = MakeFont();
    ASSERT_EQ(DrawTextWithFont(0, 0, "AB", 0xFFFF, font, 0), 0);
    FontRecord* record = LookupFont(font);
    ASSERT_EQ(record->charTable['A'].cached, 1);
    EXPECT_EQ(record->nextSlot, 2);
    ASSERT_EQ(ClearFontCache(font), 0);
    EXPECT_EQ(record->charTable['A'].cached, 0);
    EXPECT_EQ(record->charTable['B'].cached, 0);
    EXPECT_EQ(record->nextSlot, 0);
    EXPECT_EQ(record->cacheSlots[0].inUse, 0);
    EXPECT_EQ(record->cacheSlots[1].cellIndex, 1);
    EXPECT_EQ(record->cacheSlots[record->cellCount].cellIndex, -1);
}

// The lowest row, below the top of the unit's extent, that the unit's ink
// reaches inside the extent; 0 for a blank unit.
int InkBottom(PlatFont* font, unsigned code, std::vector<uint8_t>& buffer, int width, int height) {
    int pitch = (width + 7) / 8;
    std::fill(buffer.begin(), buffer.end(), 0);
    PlatBitBuffer target{buffer.data(), pitch, 0, 0, width, height};
    int w, h;
    PlatDrawFontUnit(font, code, &target, 0, 0, &w, &h);
    for (int row = height - 1; row >= 0; --row)
        for (int byte = 0; byte < pitch; ++byte)
            if (buffer[size_t(row) * pitch + byte]) return row + 1;
    return 0;
}

// Glyphs are copied out of their cells as tall as their extent: no ink of any
// character, its own glyph or the missing-glyph box, may lie below the cell.
// Sizes where the widest advance already held every glyph keep that cell.
TEST_F(FontTable, NoCharacterIsCutByItsCellAndCellsThatCutNothingStayAsTheyWere) {
    struct Case { int size, thickness; };
    int sizesCutByTheAdvance = 0;
    for (Case c : {Case{24, 4}, Case{13, 4}, Case{12, 2}, Case{16, 6}, Case{16, 8}, Case{36, 4}}) {
        SCOPED_TRACE(testing::Message() << "size " << c.size << ", thickness " << c.thickness);
        int font = MakeFont(c.size, c.thickness);
        ASSERT_NE(font, -1);
        const FontRecord* record = LookupFont(font);
        PlatFontMetrics metrics;
        PlatGetFontMetrics(record->fontObject, &metrics);
        int widest = (metrics.maxCharWidth + 1) & ~1;
        int width = 4 * c.size, height = metrics.height;
        std::vector<uint8_t> buffer(size_t((width + 7) / 8) * height);
        int deepest = 0, cutByTheAdvance = 0;
        auto check = [&](unsigned code) {
            int bottom = InkBottom(record->fontObject, code, buffer, width, height);
            deepest = std::max(deepest, bottom);
            cutByTheAdvance += bottom > widest;
        };
        for (unsigned code = 1; code <= 0xFF; ++code) check(code);
        for (unsigned lead = 0x81; lead <= 0xFC; ++lead)
            if (lead <= 0x9F || lead >= 0xE0)
                for (unsigned trail = 0x40; trail <= 0xFC; ++trail) check(lead << 8 | trail);
        EXPECT_LE(deepest, record->cellSize);
        if (cutByTheAdvance == 0)
            EXPECT_EQ(record->cellSize, widest);
        else
            EXPECT_EQ(record->cellSize, (deepest + 1) & ~1) << cutByTheAdvance << " cut by the advance";
        sizesCutByTheAdvance += cutByTheAdvance > 0;
        ReleaseFontHandle(font);
    }
    // Otherwise the installed face proves nothing here.
    EXPECT_GT(sizesCutByTheAdvance, 0);
}

TEST_F(FontTable, AHandleTakenBeforeARebuildStillDraws) {
    int font = MakeFont(24, 4);
    ASSERT_EQ(DrawTextWithFont(0, 0, "A", 0xFFFF, font, 0), 0);
    int32_t deleted = 0;
    ASSERT_EQ(SetFontDeleteFlag(font, &deleted), 0);
    int defaultFont = QueryDefaultFont();

    ASSERT_EQ(RebuildAllFonts(), 0);
    EXPECT_EQ(deleted, 1);
    ASSERT_EQ(FontHandleIsValid(font), 1);
    EXPECT_EQ(FontHandleIsValid(defaultFont), 1);
    const FontRecord* record = LookupFont(font);
    EXPECT_EQ(record->head.deleteFlagTarget, nullptr);
    EXPECT_EQ(record->charTable['A'].cached, 0) << "the cache starts empty";
    EXPECT_EQ(QueryFontSize(font), 24);

    ClearDrawTarget();
    ASSERT_EQ(LitPixels(), 0);
    ASSERT_EQ(DrawTextWithFont(10, 10, "A", 0xFFFF, font, 0), 0);
    EXPECT_GT(LitPixels(), 0);
}

TEST_F(FontTable, SetupKeepsTheDefaultFontsSettingsAndReleasesTheRest) {
    SetDefaultFontSize(24);
    SetDefaultFontThickness(2);
    int other = MakeFont();
    ASSERT_EQ(SetupFonts(), 0);
    EXPECT_EQ(FontHandleIsValid(other), 0);
    EXPECT_EQ(gFont.table.count, 1);
    int size = 0, thickness = 0;
    ASSERT_EQ(QueryFontSettings(nullptr, &size, &thickness, QueryDefaultFont()), 0);
    EXPECT_EQ(size, 24);
    EXPECT_EQ(thickness, 2);
    std::string log = ReadLogUtf8();
    EXPECT_NE(log.find("フォントの初期化を行います"), std::string::npos);
    EXPECT_NE(log.find("フォントの初期化は正常に終了しました"), std::string::npos);

    ASSERT_EQ(ShutdownFonts(), 0);
    EXPECT_EQ(gFont.table.count, 0);
    EXPECT_EQ(FontHandleIsValid(QueryDefaultFont()), 0);
}

TEST_F(FontTable, AModeChangeKeepsTheDefaultFontsSettings) {
    SetDefaultFontSize(12);
    SetDefaultFontThickness(2);
    int other = MakeFont();
    ASSERT_EQ(SetScreenMode(800, 600, 16, -1), 0);
    EXPECT_EQ(FontHandleIsValid(other), 0) << "graphics management ended";
    int size = 0, thickness = 0;
    ASSERT_EQ(QueryFontSettings(nullptr, &size, &thickness, QueryDefaultFont()), 0);
    EXPECT_EQ(size, 12);
    EXPECT_EQ(thickness, 2);
    EXPECT_EQ(gFont.table.count, 1);
    ASSERT_EQ(SetDrawTarget(TargetBack), 0);
    EXPECT_EQ(DrawTextString(700, 500, "A", 0xFFFF, 0), 0);
    EXPECT_GT(LitPixels(), 0);
}

TEST_F(FontTable, NothingIsMadeWhileGraphicsAreShutDown) {
    EndLibrary();
    EXPECT_EQ(MakeFont(), -1);
    EXPECT_EQ(SetupFonts(), -1);
    EXPECT_EQ(SetDefaultFontSizeAndThickness(16, 6), -1);
    EXPECT_EQ(gFont.table.count, 0) << "the end released every font";
    ASSERT_EQ(InitLibrary(), 0);
}

// Runs the library under a fontconfig configuration without fonts; exits
// with 0 when it started, said why it has no font, and drew nothing.
[[noreturn]] void RunWithoutFonts(const std::string& config) {
    setenv("FONTCONFIG_FILE", config.c_str(), 1);
    UseHeadless();
    bool ok = InitLibrary() == 0;
    ok = ok && FontHandleIsValid(QueryDefaultFont()) == 0;
    ok = ok && CreateFontToHandle("IPAGothic", 16, 4, 0, FontCharSetDefault, -1, -1) == -1;
    ok = ok && MeasureTextWidth("ROUND") == -1;
    ok = ok && DrawTextString(0, 0, "ROUND", 0xFFFF, 0) == -1;
    EndLibrary();
    std::string log = ReadLogUtf8();
    ok = ok && log.find("\tフォントの作成に失敗しました") != std::string::npos;
    ok = ok && log.find("指定のフォントの作成に失敗しました") != std::string::npos;
    ok = ok && log.find("フォントハンドル値が異常です") != std::string::npos;
    std::exit(ok ? 0 : 1);
}

TEST(FontWithoutFonts, TheLibraryRunsOnAndLogsWhy) {
    GTEST_FLAG_SET(death_test_style, "threadsafe");
    ScratchDir dir;
    WriteFile("fonts.conf", "<?xml version=\"1.0\"?>\n<fontconfig></fontconfig>\n");
    EXPECT_EXIT(RunWithoutFonts(dir.path() + "/fonts.conf"), testing::ExitedWithCode(0), "");
}

}  // namespace
