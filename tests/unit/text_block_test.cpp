// Fonts from files and archives, the face a name finds, text wrapped to a width.
#include "draw/screen.h"
#include "graphics/image.h"
#include "platform/media/font.h"
#include "support/harness.h"
#include "tessel.h"
#include "text/font.h"

const std::string Shipped = ReadFile("/usr/share/fonts/truetype/vlgothic/VL-PGothic-Regular.ttf");
static MemoryStream gServed;

static std::string BackBuffer() {
    GpuSyncBackBuffer();
    const PlatSurface* b = gScreenState.back;
    return std::string(reinterpret_cast<const char*>(b->pixels), size_t(b->pitch) * b->height);
}

struct FontFile : BackBufferTest {
    void SetUp() override {
        BackBufferTest::SetUp();
        WriteFile("game.ttf", Shipped);
        ASSERT_NE(font = CreateFontFromFile("game.ttf", 20, -1, -1), -1);
    }
    int Width(const std::string& s) { return MeasureTextWidthWithFont(s.c_str(), int(s.size()), font); }
    int font = -1;
};

TEST_F(FontFile, AShippedFontDrawsWrappedLinesAsSeparateStringsAndSurvivesARebuild) {
    char face[FontFaceNameLength];
    ASSERT_EQ(QueryFontSettings(face, nullptr, nullptr, font), 0);
    EXPECT_STREQ(face, "VL PGothic");
    EXPECT_EQ(DrawTextBlock(5, 7, Width("Wide"), "Wide Wide", 0xFFFF, font), 40);
    std::string block = BackBuffer();
    ClearDrawTarget();
    EXPECT_EQ(DrawTextWithFont(5, 7, "Wide", 0xFFFF, font, 0) | DrawTextWithFont(5, 27, "Wide", 0xFFFF, font, 0), 0);
    EXPECT_EQ(BackBuffer(), block);
    EXPECT_NE(block.find_first_not_of('\0'), std::string::npos);
    int wide = Width("Wide");
    RebuildAllFonts();  // the file's bytes make the font again
    EXPECT_EQ(Width("Wide"), wide);
}

TEST_F(FontFile, MissingAndDamagedFilesAreRefusedAndArchivesServeFonts) {
    for (auto [name, bytes] : {std::pair{"cut.ttf", Shipped.substr(0, 2000)}, {"junk.ttf", std::string(5000, 'x')}, {"empty.ttf", ""}})
        WriteFile(name, bytes);
    for (const char* path : {"none.ttf", "cut.ttf", "junk.ttf", "empty.ttf", static_cast<const char*>(nullptr)})
        EXPECT_EQ(CreateFontFromFile(path, 20, -1, -1), -1) << (path ? path : "null");
    EXPECT_EQ(Occurrences(ReadLogUtf8(), "フォントファイル"), 4);

    ImageStream s;
    OpenMemoryImageStream(Shipped.data(), Shipped.size(), &gServed, &s);
    auto open = [](const char* path, int, int) -> void* { return std::string(path) == "archive:font" ? &gServed : nullptr; };
    const FileAccessFunctions* disk = GetFileAccessFunctions();
    FileAccessFunctions table{open, s.close, s.tell, s.seek, s.read, s.atEnd, s.idle, disk->setCurrentDir, disk->getCurrentDir};
    ASSERT_EQ(SetFileAccessFunctions(&table), 0);
    int served = CreateFontFromFile("archive:font", 20, -1, -1);
    SetFileAccessFunctions(nullptr);
    EXPECT_EQ(MeasureTextWidthWithFont("Wide", 4, served), Width("Wide"));
}

TEST_F(FontFile, ANameFontconfigMatchesLooselyReportsTheFaceUsed) {
    char face[FontFaceNameLength];
    for (const char* asked : {"vl pgothic", "VL PGothik"}) {
        int loose = CreateFontToHandle(asked, 16, -1, -1, FontCharSetShiftJis, -1, -1);
        ASSERT_EQ(QueryFontSettings(face, nullptr, nullptr, loose), 0);
        EXPECT_STRNE(face, asked);
        int exact = CreateFontToHandle(face, 16, -1, -1, FontCharSetShiftJis, -1, -1);
        EXPECT_STREQ(PlatFontFile(LookupFont(exact)->fontObject), PlatFontFile(LookupFont(loose)->fontObject));
    }
}

TEST_F(FontFile, LinesBreakAtSpacesBetweenDoubleByteCharactersAndInsideLongWords) {
    const struct Case { const char* text; int width; std::vector<std::string> lines; } cases[] = {
        {"one two   three", Width("one two t"), {"one two", "three"}},
        {"\x82\xA0\x82\xA2\x82\xA4", Width("\x82\xA0\x82\xA2"), {"\x82\xA0\x82\xA2", "\x82\xA4"}},  // hiragana a, i, u
        {"ab \x82\xA0\x82\xA2", Width("ab \x82\xA0"), {"ab \x82\xA0", "\x82\xA2"}},
        {"abcdefgh", Width("abc"), {"abc", "def", "gh"}},
        {"a\n\nb\n", 1000, {"a", "", "b"}}, {"ab \ncd", Width("ab"), {"ab", "cd"}},
        {"ab", 1, {"a", "b"}}, {"", 1000, {}},
    };
    int height = 0;
    auto check = [&](const Case& c) {
        std::vector<std::string> lines;
        int widest = 0;
        for (TextLine l : LayoutTextBlock(LookupFont(font), c.text, c.width))
            widest = std::max(widest, Width(lines.emplace_back(c.text + l.start, l.length)));
        EXPECT_EQ(lines, c.lines) << c.text;
        EXPECT_EQ(MeasureTextBlock(c.width, c.text, font, &height), widest) << c.text;
        EXPECT_EQ(height, 20 * int(c.lines.size())) << c.text;
    };
    for (const Case& c : cases) check(c);
    // In UTF-8 a character is one to four bytes; kana still break anywhere.
    ASSERT_EQ(SetStringEncoding(EncodingUtf8), 0);
    for (const Case& c : {Case{"あいう", Width("あい"), {"あい", "う"}},
                          Case{"Grüße Welt", Width("Grüße W"), {"Grüße", "Welt"}},
                          Case{"üü", 1, {"ü", "ü"}}})
        check(c);
    SetStringEncoding(EncodingShiftJis);
    for (int result : {MeasureTextWidthWithFont(nullptr, 1, font), MeasureTextWidthWithFont("a", -1, font),
                       MeasureTextWidthWithFont("a", 1, 12345), DrawTextBlock(0, 0, 100, nullptr, 1, font),
                       DrawTextBlock(0, 0, 0, "a", 1, font), DrawTextBlock(0, 0, 100, "a", 1, -1),
                       MeasureTextBlock(100, "a", font, nullptr), MeasureTextBlock(-3, "a", font, &height)})
        EXPECT_EQ(result, -1) << "bad arguments";
}
