// Strings in either encoding: the decoder, every operation that takes or
// gives a string, fields that must never hold half a character, and a
// change of encoding while fields hold text.
#include "core/core.h"
#include "platform/device/backend.h"
#include "platform/device/headless/headless.h"
#include "platform/media/font.h"
#include "support/harness.h"
#include "tessel.h"
#include "text/font.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <sstream>
#include <string>
#include <vector>

namespace {

std::string In(int encoding, const std::string& utf8) {
    return ConvertEncoding(utf8.data(), utf8.size(), EncodingUtf8, encoding, nullptr);
}

std::string Name(int encoding) { return encoding == EncodingUtf8 ? "UTF-8" : "Shift-JIS"; }

struct DecodeCase {
    int encoding;
    std::string bytes;
    std::vector<uint32_t> characters;
};

// Each case sits in a buffer of exactly its size, with no terminator, so a
// read past the end is caught under the address sanitizer.
TEST(Decoder, EveryCharacterOnceAndEveryBadSequenceAsOneReplacement) {
    constexpr uint32_t R = ReplacementCharacter;
    const DecodeCase cases[] = {
        {EncodingUtf8, "A\xc3\xa9\xe6\x97\xa5\xf0\x9f\x98\x80", {'A', 0xE9, 0x65E5, 0x1F600}},
        {EncodingUtf8, "\xc0\x80", {R}},                   // an overlong two-byte form
        {EncodingUtf8, "\xe0\x80\xafZ", {R, 'Z'}},         // overlong three-byte form
        {EncodingUtf8, "\xf0\x8f\xbf\xbf", {R}},           // overlong four-byte form
        {EncodingUtf8, "\xed\xa0\x80x", {R, 'x'}},         // a surrogate
        {EncodingUtf8, "\xf4\x90\x80\x80", {R}},           // past U+10FFFF
        {EncodingUtf8, "\xf5\x80\x80\x80", {R}},           // a lead byte that starts nothing
        {EncodingUtf8, "a\xe6\x97", {'a', R}},             // cut by the end
        {EncodingUtf8, "\xe6\x97Z\x80\xff", {R, 'Z', R, R}},
        {EncodingShiftJis, "A\x82\xa0\xb1\x83\x5c", {'A', 0x3042, 0xFF71, 0x30BD}},
        {EncodingShiftJis, "\x85\x40Z\x82", {NoCharacter, 'Z', NoCharacter}},
    };
    for (const DecodeCase& c : cases) {
        SCOPED_TRACE(Name(c.encoding) + " \"" + c.bytes + "\"");
        std::vector<char> exact(c.bytes.begin(), c.bytes.end());
        std::vector<uint32_t> decoded;
        for (size_t at = 0; at < exact.size();) {
            size_t before = at;
            decoded.push_back(NextCodePoint(c.encoding, exact.data(), exact.size(), &at));
            ASSERT_GT(at, before);
            ASSERT_LE(at, exact.size());
        }
        EXPECT_EQ(decoded, c.characters);
        // Cut anywhere, the whole-character start decodes without a cut character.
        for (size_t limit = 0; limit <= exact.size(); ++limit) {
            size_t whole = WholeCharactersLength(c.encoding, exact.data(), limit);
            ASSERT_LE(whole, limit);
            size_t at = 0;
            while (at < whole) NextCodePoint(c.encoding, exact.data(), whole, &at);
            EXPECT_EQ(at, whole);
        }
    }
}

// The library up on the headless platform in one encoding, for one pass of
// the operations.
class InEncoding {
public:
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
        SetWindowTitle(nullptr);
    }

    static void Play(const std::string& lines) {
        int at = static_cast<int>((HeadlessNowUs() - 100000000) / 1000) + 10;
        std::stringstream in(lines);
        std::string line;
        while (std::getline(in, line, '|')) {
            ASSERT_EQ(HeadlessQueueScriptLine((std::to_string(at) + " " + line).c_str()), 0) << line;
            at += 10;
        }
        while ((HeadlessNowUs() - 100000000) / 1000 < static_cast<uint64_t>(at) + 10)
            ASSERT_EQ(PumpMessages(), 0);
    }

    static std::string FieldText(int field) {
        char buffer[256];
        EXPECT_GE(GetInputFieldText(field, buffer, sizeof buffer), 0);
        return buffer;
    }

private:
    ScratchDir dir_;
};

std::vector<int64_t> Frame(int width, int height) {
    PresentScreen();
    std::vector<int64_t> pixels;
    for (int y = 0; y < height; ++y)
        for (int x = 0; x < width; ++x) pixels.push_back(HeadlessFramePixel(x, y));
    return pixels;
}

// Every operation that takes or gives a string, given and read back in each
// encoding: what it gets or shows is the same text either way.
TEST(StringOperations, TakeAndGiveTheProgramsEncoding) {
    const std::string japanese = "日本語のテキスト";
    std::vector<int64_t> drawn[2];  // by encoding
    int widths[2] = {};
    for (int encoding : {EncodingShiftJis, EncodingUtf8}) {
        SCOPED_TRACE(Name(encoding));
        auto in = [&](const std::string& utf8) { return In(encoding, utf8); };
        InEncoding library(encoding, in("日本の窓"));
        EXPECT_EQ(GetStringEncoding(), encoding);
        EXPECT_STREQ(HeadlessWindowTitle(), "日本の窓");

        ClearDrawTarget();
        EXPECT_EQ(DrawTextString(0, 0, in(japanese).c_str(), MakeColor(255, 255, 255), 0), 0);
        drawn[encoding] = Frame(200, 24);
        widths[encoding] = MeasureTextWidth("%s", in(japanese).c_str());

        char face[FontFaceNameLength];
        int font = CreateFontToHandle(in("IPAゴシック").c_str(), 16, 4, 0, 1, -1, -1);
        ASSERT_NE(font, -1);
        ASSERT_EQ(QueryFontSettings(face, nullptr, nullptr, font), 0);
        EXPECT_EQ(face, in("IPAゴシック"));
        std::string faceFile = std::filesystem::canonical(PlatFontFile(LookupFont(font)->fontObject));
        EXPECT_NE(faceFile.find("ipag"), std::string::npos) << faceFile;

        // A Shift-JIS second byte 0x5C (ソ) is no separator; a backslash is.
        std::filesystem::create_directory("d");
        WriteFile("d/" + in("ソ.txt"), "x");
        void* file = GetFileAccessFunctions()->open(in("d\\ソ.txt").c_str(), 0, 1);
        EXPECT_NE(file, nullptr);
        if (file) GetFileAccessFunctions()->close(file);

        InEncoding::Play("text 日本");
        std::string typed;
        while (int c = GetInputChar(0)) typed += static_cast<char>(c);
        EXPECT_EQ(typed, in("日本"));

        int field = MakeInputField(64, 0, 0, 0);
        ActivateInputField(field);
        InEncoding::Play("text ü日本|compose 1 にほん");
        EXPECT_EQ(InEncoding::FieldText(field), in(encoding == EncodingUtf8 ? "ü日本" : "日本"));
        char composition[32];
        int cursor = -1;
        EXPECT_EQ(GetImeComposition(composition, sizeof composition, &cursor), int(in("にほん").size()));
        EXPECT_EQ(composition, in("にほん"));
        EXPECT_EQ(cursor, int(in("に").size()));

        InEncoding::Play("down LCONTROL|down A|up A|down C|up C|up LCONTROL");
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
    }
    EXPECT_GT(widths[0], 0);
    EXPECT_EQ(widths[0], widths[1]);
    EXPECT_EQ(drawn[0], drawn[1]) << "the same characters draw the same pixels";
}

// Cut to fit, typed or set, a field keeps whole characters only.
TEST(StringOperations, FieldsNeverSplitACharacterAtMaxBytes) {
    for (int encoding : {EncodingShiftJis, EncodingUtf8}) {
        SCOPED_TRACE(Name(encoding));
        InEncoding library(encoding);
        std::string text = In(encoding, "aあいう");
        for (int maxBytes = 1; maxBytes <= 10; ++maxBytes) {
            SCOPED_TRACE(maxBytes);
            std::string expected = text.substr(0, WholeCharactersLength(encoding, text.c_str(), maxBytes));
            int set = MakeInputField(maxBytes, 0, 0, 0);
            ASSERT_EQ(SetInputFieldText(set, text.c_str()), 0);
            EXPECT_EQ(InEncoding::FieldText(set), expected);
            int typed = MakeInputField(maxBytes, 0, 0, 0);
            ActivateInputField(typed);
            InEncoding::Play("text aあいう");
            EXPECT_EQ(InEncoding::FieldText(typed), expected);
            int ascii = MakeInputField(maxBytes, 0, 1, 0);
            EXPECT_EQ(SetInputFieldText(ascii, text.c_str()), -1) << "single bytes only";
            DeleteInputField(set);
            DeleteInputField(typed);
            DeleteInputField(ascii);
        }
        // Invalid text is refused; text cut inside its last character keeps the rest.
        int field = MakeInputField(16, 0, 0, 0);
        std::string broken = encoding == EncodingUtf8 ? "a\xe6\x97Z" : "a\x82\x01Z";
        EXPECT_EQ(SetInputFieldText(field, broken.c_str()), -1);
        std::string cut = text + text.substr(1, 1);
        ASSERT_EQ(SetInputFieldText(field, cut.c_str()), 0);
        EXPECT_EQ(InEncoding::FieldText(field), text);
    }
}

TEST(StringOperations, ChangingTheEncodingConvertsFieldsAndLogsWhatWasDropped) {
    InEncoding library(EncodingUtf8);
    int field = MakeInputField(8, 0, 0, 0);
    ASSERT_EQ(SetInputFieldText(field, "é日本"), 0);
    MainWindowProc({MsgChar, 0x3042, 0});  // あ waiting in the key-input buffer
    ASSERT_EQ(SetStringEncoding(EncodingShiftJis), 0);
    EXPECT_EQ(InEncoding::FieldText(field), "\x93\xfa\x96\x7b");
    EXPECT_EQ(GetInputChar(0), 0x82);
    EXPECT_EQ(GetInputChar(0), 0xA0);
    EXPECT_NE(ReadFile("AppLog.txt").find("1 文字が変換できず消えました"), std::string::npos)
        << "the UTF-8 log stays UTF-8 after the change";
    ASSERT_EQ(SetStringEncoding(EncodingUtf8), 0);
    EXPECT_EQ(InEncoding::FieldText(field), "日本");
    EXPECT_EQ(SetStringEncoding(2), -1);
    EXPECT_EQ(GetStringEncoding(), EncodingUtf8);
}

// The box of a character no face has, against each character of a text a
// face on the system has: none of them draws as the box.
TEST(StringOperations, CharactersOutsideShiftJisDrawWithoutABox) {
    InEncoding library(EncodingUtf8);
    int font = CreateFontToHandle("VL Gothic", 24, 4, 0, 0, -1, -1);
    ASSERT_NE(font, -1);
    FontRecord* record = LookupFont(font);
    auto cell = [&](uint32_t character) {
        const FontSlot* slot = GlyphSlotOf(record, character);
        int x, y;
        FontCellOrigin(record, slot->cellIndex, &x, &y);
        return std::vector<uint8_t>(record->cacheBits + y * record->cachePitch,
                                    record->cacheBits + (y + record->cellSize) * record->cachePitch);
    };
    std::vector<uint8_t> box = cell(0x10FFFD);  // private use: no face has it
    std::string text = "Ünïcödé — €5, Ελληνικά, Кириллица";
    for (size_t at = 0; at < text.size();) {
        uint32_t character = NextCodePoint(EncodingUtf8, text.data(), text.size(), &at);
        if (IsBlankCharacter(character)) continue;
        EXPECT_NE(cell(character), box) << std::hex << character;
    }
}

}  // namespace
