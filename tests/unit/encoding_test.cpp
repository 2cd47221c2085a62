// Strings in either encoding: the decoder, every operation that takes or
// gives a string, fields that never hold half a character, a change of
// encoding while fields hold text, and characters outside Shift-JIS.
#include "core/core.h"
#include "platform/device/backend.h"
#include "platform/device/headless/headless.h"
#include "platform/media/font.h"
#include "support/harness.h"
#include "tessel.h"
#include "text/font.h"

#include <filesystem>

namespace {

std::string In(int encoding, const std::string& utf8) {
    return ConvertEncoding(utf8.data(), utf8.size(), EncodingUtf8, encoding, nullptr);
}

// Each case sits in a buffer of exactly its size, with no terminator, so a
// read past the end stops the sanitized run.
TEST(Decoder, EveryCharacterOnceAndEveryBadSequenceAsOneReplacement) {
    constexpr uint32_t R = ReplacementCharacter, N = NoCharacter;
    const struct { int encoding; std::string bytes; std::vector<uint32_t> characters; } cases[] = {
        {EncodingUtf8, "A\xc3\xa9\xe6\x97\xa5\xf0\x9f\x98\x80", {'A', 0xE9, 0x65E5, 0x1F600}},
        {EncodingUtf8, "\xc0\x80\xe0\x80\xafZ\xf0\x8f\xbf\xbf", {R, R, 'Z', R}},  // overlong
        {EncodingUtf8, "\xed\xa0\x80x\xf4\x90\x80\x80\xf5\x80", {R, 'x', R, R}},  // surrogate, too high
        {EncodingUtf8, "\xe6\x97Z\x80\xff" "a\xe6\x97", {R, 'Z', R, R, 'a', R}},  // cut, stray
        {EncodingShiftJis, "A\x82\xa0\xb1\x83\x5c\x85\x40Z\x82", {'A', 0x3042, 0xFF71, 0x30BD, N, 'Z', N}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.bytes);
        std::vector<char> exact(c.bytes.begin(), c.bytes.end());
        std::vector<uint32_t> decoded;
        for (size_t at = 0; at < exact.size();) {
            size_t before = at;
            decoded.push_back(NextCodePoint(c.encoding, exact.data(), exact.size(), &at));
            ASSERT_GT(at, before);
        }
        EXPECT_EQ(decoded, c.characters);
        // Cut anywhere, the whole-character start ends on a character boundary.
        for (size_t limit = 0; limit <= exact.size(); ++limit) {
            size_t whole = WholeCharactersLength(c.encoding, exact.data(), limit), at = 0;
            while (at < whole) NextCodePoint(c.encoding, exact.data(), whole, &at);
            EXPECT_EQ(at, whole);
            EXPECT_LE(whole, limit);
        }
    }
}

// The library up on the headless platform in one encoding.
struct InEncoding {
    explicit InEncoding(int encoding, const std::string& title = "") {
        EXPECT_EQ(SetStringEncoding(encoding), 0);
        SetWindowTitle(title.c_str());
        UseHeadless();
        EXPECT_EQ(InitLibrary(), 0);
        SetDrawTarget(TargetBack);
    }
    ~InEncoding() {
        EndLibrary();
        SetStringEncoding(EncodingShiftJis);
    }
    ScratchDir dir;
};

std::string FieldText(int field) {
    char buffer[256];
    EXPECT_GE(GetInputFieldText(field, buffer, sizeof buffer), 0);
    return buffer;
}

// Every operation that takes or gives a string, given and read back in each
// encoding: what it gets or shows is the same text either way.
TEST(StringOperations, TakeAndGiveTheProgramsEncoding) {
    std::vector<int64_t> drawn[2];  // by encoding
    int widths[2] = {};
    for (int encoding : {EncodingShiftJis, EncodingUtf8}) {
        SCOPED_TRACE(encoding);
        auto in = [&](const std::string& utf8) { return In(encoding, utf8); };
        InEncoding library(encoding, in("日本の窓"));
        EXPECT_STREQ(HeadlessWindowTitle(), "日本の窓");

        ASSERT_EQ(DrawTextString(0, 0, in("日本語のテキスト").c_str(), MakeColor(255, 255, 255), 0), 0);
        PresentScreen();
        for (int at = 0; at < 200 * 24; ++at) drawn[encoding].push_back(HeadlessFramePixel(at % 200, at / 200));
        widths[encoding] = MeasureTextWidth("%s", in("日本語のテキスト").c_str());

        char face[FontFaceNameLength];
        int font = CreateFontToHandle(in("IPAゴシック").c_str(), 16, 4, 0, 1, -1, -1);
        ASSERT_EQ(QueryFontSettings(face, nullptr, nullptr, font), 0);
        EXPECT_EQ(face, in("IPAゴシック"));
        std::string faceFile = std::filesystem::canonical(PlatFontFile(LookupFont(font)->fontObject));
        EXPECT_NE(faceFile.find("ipag"), std::string::npos) << faceFile;

        // A Shift-JIS second byte 0x5C (ソ) is no separator; a backslash is.
        std::filesystem::create_directory("d");
        WriteFile("d/" + in("ソ.txt"), "x");
        void* file = GetFileAccessFunctions()->open(in("d\\ソ.txt").c_str(), 0, 1);
        ASSERT_NE(file, nullptr);
        GetFileAccessFunctions()->close(file);

        PlayScript("text 日本");
        std::string typed;
        while (int c = GetInputChar(0)) typed += static_cast<char>(c);
        EXPECT_EQ(typed, in("日本"));

        int field = MakeInputField(64, 0, 0, 0);
        ActivateInputField(field);
        PlayScript("text ü日本|compose 1 にほん");
        EXPECT_EQ(FieldText(field), in(encoding == EncodingUtf8 ? "ü日本" : "日本"));
        char composition[32];
        int cursor = -1;
        EXPECT_EQ(GetImeComposition(composition, sizeof composition, &cursor), int(in("にほん").size()));
        EXPECT_EQ(composition, in("にほん"));
        EXPECT_EQ(cursor, int(in("に").size()));

        PlayScript("down LCONTROL|down A|up A|down C|up C|up LCONTROL");
        std::string clip;
        ASSERT_EQ(PlatCurrentBackend()->clipboardGet(&clip), 0);
        EXPECT_EQ(clip, encoding == EncodingUtf8 ? "ü日本" : "日本");

        SetLogTimeStamps(0);
        WriteLogString(in("記録\n").c_str());
        WriteLogFormat("%s", in("書式").c_str());
        std::string log = ReadFile("AppLog.txt");
        EXPECT_NE(log.find(in("記録\n書式\n")), std::string::npos);
        EXPECT_NE(log.find(in("ＣＯＭの初期化")), std::string::npos) << "the library's own lines too";
        EXPECT_EQ(log.rfind(in("このログは UTF-8 で書かれています\n"), 0) == 0, encoding == EncodingUtf8);

        char failure[256];
        EXPECT_EQ(LoadGraphFile(in("無い.png").c_str()), -1);
        ASSERT_GT(GetLastErrorText(failure, sizeof failure), 0);
        EXPECT_EQ(failure, in("グラフィックファイル 無い.png がありません"));
    }
    EXPECT_GT(widths[0], 0);
    EXPECT_EQ(widths[0], widths[1]);
    EXPECT_EQ(drawn[0], drawn[1]) << "the same characters draw the same pixels";
}

// Cut to fit, typed or set, a field keeps whole characters only.
TEST(StringOperations, FieldsNeverSplitACharacterAtMaxBytes) {
    for (int encoding : {EncodingShiftJis, EncodingUtf8}) {
        SCOPED_TRACE(encoding);
        InEncoding library(encoding);
        std::string text = In(encoding, "aあいう");
        for (int maxBytes = 1; maxBytes <= 10; ++maxBytes) {
            std::string expected = text.substr(0, WholeCharactersLength(encoding, text.c_str(), maxBytes));
            int set = MakeInputField(maxBytes, 0, 0, 0), typed = MakeInputField(maxBytes, 0, 0, 0);
            ASSERT_EQ(SetInputFieldText(set, text.c_str()), 0);
            ActivateInputField(typed);
            PlayScript("text aあいう");
            EXPECT_EQ(FieldText(set), expected) << maxBytes;
            EXPECT_EQ(FieldText(typed), expected) << maxBytes;
            EXPECT_EQ(SetInputFieldText(MakeInputField(maxBytes, 0, 1, 0), text.c_str()), -1) << "ASCII only";
        }
        int field = MakeInputField(16, 0, 0, 0);
        EXPECT_EQ(SetInputFieldText(field, encoding ? "a\xe6\x97Z" : "a\x82\x01Z"), -1);
        ASSERT_EQ(SetInputFieldText(field, (text + text[1]).c_str()), 0);
        EXPECT_EQ(FieldText(field), text) << "a character cut at the end is left out";
    }
}

TEST(StringOperations, ChangingTheEncodingConvertsFieldsAndLogsWhatWasDropped) {
    InEncoding library(EncodingUtf8);
    int field = MakeInputField(8, 0, 0, 0);
    ASSERT_EQ(SetInputFieldText(field, "é日本"), 0);
    MainWindowProc({MsgChar, 0x3042, 0});  // あ waiting in the key-input buffer
    ASSERT_EQ(SetStringEncoding(EncodingShiftJis), 0);
    EXPECT_EQ(FieldText(field), "\x93\xfa\x96\x7b");
    EXPECT_EQ(GetInputChar(0), 0x82);
    EXPECT_EQ(GetInputChar(0), 0xA0);
    EXPECT_NE(ReadFile("AppLog.txt").find("1 文字が変換できず消えました"), std::string::npos)
        << "the UTF-8 log stays UTF-8 after the change";
    ASSERT_EQ(SetStringEncoding(EncodingUtf8), 0);
    EXPECT_EQ(FieldText(field), "日本");
    EXPECT_EQ(SetStringEncoding(2), -1);
    EXPECT_EQ(GetStringEncoding(), EncodingUtf8);
}

// ctest runs each case in a process of its own: here nothing has chosen yet.
TEST(StringEncoding, TheEnvironmentChoosesWhereTheProgramHasNot) {
    setenv("TESSEL_STRING_ENCODING", "utf8", 1);
    EXPECT_EQ(GetStringEncoding(), EncodingUtf8);
    EXPECT_EQ(SetStringEncoding(EncodingShiftJis), 0);
    EXPECT_EQ(GetStringEncoding(), EncodingShiftJis);
    unsetenv("TESSEL_STRING_ENCODING");
}

// No character of a text a face on the system has draws as the box of a
// character no face has.
TEST(StringOperations, CharactersOutsideShiftJisDrawWithoutABox) {
    InEncoding library(EncodingUtf8);
    FontRecord* font = LookupFont(CreateFontToHandle("VL Gothic", 24, 4, 0, 0, -1, -1));
    ASSERT_NE(font, nullptr);
    auto cell = [&](uint32_t character) {
        int x, y;
        FontCellOrigin(font, GlyphSlotOf(font, character)->cellIndex, &x, &y);
        const uint8_t* top = font->cacheBits + y * font->cachePitch;
        return std::vector<uint8_t>(top, top + font->cellSize * font->cachePitch);
    };
    std::vector<uint8_t> box = cell(0x10FFFD);  // private use
    std::string text = "Ünïcödé—€5,Ελληνικά,Кириллица";
    for (size_t at = 0; at < text.size();) {
        uint32_t character = NextCodePoint(EncodingUtf8, text.data(), text.size(), &at);
        EXPECT_NE(cell(character), box) << std::hex << character;
    }
}

}  // namespace
