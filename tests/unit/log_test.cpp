// AppLog.txt on its own: time stamps, indents, open lines, the switch to turn
// it off, the format buffer's limit, and the code page of what is written.
#include "core/core.h"
#include "platform/device/headless/headless.h"
#include "support/harness.h"
#include "tessel.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <functional>
#include <initializer_list>
#include <regex>
#include <sstream>
#include <string>
#include <thread>
#include <utility>
#include <vector>

namespace fs = std::filesystem;

namespace {

std::vector<std::string> Lines() {
    std::vector<std::string> lines;
    std::istringstream in(ReadLogUtf8());
    for (std::string line; std::getline(in, line);) lines.push_back(line);
    return lines;
}

// A scratch folder recorded as the library folder, as InitLibrary would.
class LogInFolder : public ::testing::Test {
protected:
    void SetUp() override {
        SetLogEnabled(1);
        SetLogTimeStamps(1);
        gCore.settings.libraryDirRecorded = 1;
        gCore.settings.libraryDir = scratch_.path();
    }
    void TearDown() override { gCore.settings.libraryDirRecorded = 0; }

    ScratchDir scratch_;
};

struct Line {
    int tabs;
    std::string text;  // a pattern
};

// The log holds exactly `want`, each line "<digits>:<tabs><text>".
::testing::AssertionResult LogHolds(std::initializer_list<Line> want) {
    std::vector<std::string> lines = Lines();
    if (lines.size() != want.size()) return ::testing::AssertionFailure() << lines.size() << " lines";
    for (size_t i = 0; i < lines.size(); ++i) {
        const Line& w = want.begin()[i];
        if (!std::regex_match(lines[i], std::regex("[0-9]+:" + std::string(w.tabs, '\t') + w.text)))
            return ::testing::AssertionFailure() << "line \"" << lines[i] << "\"";
    }
    return ::testing::AssertionSuccess();
}

TEST_F(LogInFolder, LinesCarryATimeStampAndOneTabPerLevel) {
    ASSERT_EQ(OpenLog(), 0);
    EXPECT_EQ(WriteLogString("outer\n"), -1);
    LogIndentIn();
    WriteLogString("inner\n");
    LogIndentIn();
    WriteLogString("deepest\n");
    EXPECT_EQ(LogIndentOut(), 0);
    WriteLogString("back\n");

    EXPECT_TRUE(LogHolds({{0, "outer"}, {1, "inner"}, {2, "deepest"}, {1, "back"}}));
}

TEST_F(LogInFolder, TheIndentNeverGoesBelowZero) {
    OpenLog();
    LogIndentOut();
    LogIndentOut();
    LogIndentIn();
    WriteLogString("one level\n");
    EXPECT_TRUE(LogHolds({{1, "one level"}}));
}

TEST_F(LogInFolder, AnOpenLineIsContinuedWithoutAnotherStamp) {
    OpenLog();
    LogIndentIn();
    WriteLogString(SJIS("ＣＯＭの初期化... "));
    WriteLogString(SJIS("完了しました\n"));
    WriteLogString("next\n");
    EXPECT_TRUE(LogHolds({{1, "ＣＯＭの初期化\\.\\.\\. 完了しました"}, {1, "next"}}));
}

TEST_F(LogInFolder, WithoutTimeStampsLinesStartWithTheirTabs) {
    SetLogTimeStamps(0);
    OpenLog();
    LogIndentIn();
    WriteLogString("plain\n");
    EXPECT_EQ(ReadFile("AppLog.txt"), "\tplain\n");
}

TEST_F(LogInFolder, TheTimeStampCountsFromOpenLog) {
    OpenLog();
    gCore.settings.logStart -= 1500;  // as if the log had been opened 1.5 s earlier
    WriteLogString("later\n");
    std::vector<std::string> lines = Lines();
    ASSERT_EQ(lines.size(), 1u);
    int stamp = std::stoi(lines[0]);
    EXPECT_GE(stamp, 1500);
    EXPECT_LT(stamp, 60000);
}

TEST_F(LogInFolder, OpenLogStartsAFreshFileAndAFreshLine) {
    WriteFile("AppLog.txt", "from the last run\n");
    OpenLog();
    EXPECT_EQ(ReadFile("AppLog.txt"), "");
    WriteLogString("half a line... ");
    OpenLog();
    WriteLogString("new\n");
    EXPECT_TRUE(LogHolds({{0, "new"}}));
}

TEST_F(LogInFolder, TurnedOffItCreatesAndChangesNothing) {
    SetLogEnabled(0);
    EXPECT_EQ(OpenLog(), 0);
    EXPECT_EQ(WriteLogString("hidden\n"), -1);
    EXPECT_EQ(WriteLogFormat("hidden %d", 1), -1);
    EXPECT_FALSE(fs::exists("AppLog.txt"));

    WriteFile("AppLog.txt", "kept\n");
    OpenLog();
    WriteLogString("hidden\n");
    EXPECT_EQ(ReadFile("AppLog.txt"), "kept\n");
}

TEST_F(LogInFolder, NothingIsWrittenBeforeTheLibraryFolderIsKnown) {
    gCore.settings.libraryDirRecorded = 0;
    EXPECT_EQ(WriteLogString("too early\n"), -1);
    EXPECT_FALSE(fs::exists("AppLog.txt"));
}

TEST_F(LogInFolder, TheLogStaysInTheLibraryFolderWhenTheCurrentOneChanges) {
    OpenLog();
    fs::create_directory("elsewhere");
    fs::current_path("elsewhere");
    WriteLogString("still here\n");
    EXPECT_EQ(fs::current_path(), fs::path(scratch_.path()) / "elsewhere");
    EXPECT_FALSE(fs::exists("AppLog.txt"));
    fs::current_path(scratch_.path());
    EXPECT_TRUE(LogHolds({{0, "still here"}}));
}

TEST_F(LogInFolder, FormattedTextGetsALineBreak) {
    SetLogTimeStamps(0);
    OpenLog();
    EXPECT_EQ(WriteLogFormat("%d x %s", 640, "480"), -1);
    EXPECT_EQ(ReadFile("AppLog.txt"), "640 x 480\n");
}

TEST_F(LogInFolder, FormattedTextLongerThanTheBufferIsCutAndStillEndsTheLine) {
    SetLogTimeStamps(0);
    OpenLog();
    std::string fits(1022, 'a');
    std::string tooLong(5000, 'b');
    // A double-byte character across the limit goes whole, so that the
    // cut line still converts: half of one stops the conversion there.
    std::string halfOut = std::string(1021, 'd') + SJIS("完");
    WriteLogFormat("%s", fits.c_str());
    WriteLogFormat("%s", (fits + "c").c_str());
    WriteLogFormat("%s", tooLong.c_str());
    WriteLogFormat("%s", halfOut.c_str());
    WriteLogString("after\n");
    EXPECT_EQ(ReadFile("AppLog.txt"), fits + "\n" + fits + "\n" + std::string(1022, 'b') + "\n" +
                                          std::string(1021, 'd') + "\n" + "after\n");
}

TEST_F(LogInFolder, NullTextAddsNothing) {
    OpenLog();
    EXPECT_EQ(WriteLogString(nullptr), -1);
    EXPECT_EQ(WriteLogFormat(nullptr), -1);
    EXPECT_EQ(ReadFile("AppLog.txt"), "");
}

// The log file is the environment's business: when it cannot be written,
// standard error still gets every text, and the clock is read exactly as
// often, so a scripted run does not change.
TEST_F(LogInFolder, AnUnwritableLogStillReachesStandardErrorAndReadsTheClockAlike) {
    setenv("TESSEL_LOG_STDERR", "1", 1);
    auto writeSome = [] {
        uint64_t before = HeadlessNowUs();
        WriteLogString(SJIS("検査... "));
        WriteLogString(SJIS("完了\n"));
        WriteLogFormat("%d lines", 2);
        return HeadlessNowUs() - before;
    };
    OpenLog();
    testing::internal::CaptureStderr();
    uint64_t writable = writeSome();
    std::string toFile = testing::internal::GetCapturedStderr();

    fs::remove("AppLog.txt");
    fs::create_directory("AppLog.txt");
    OpenLog();
    testing::internal::CaptureStderr();
    uint64_t unwritable = writeSome();
    std::string withoutFile = testing::internal::GetCapturedStderr();
    unsetenv("TESSEL_LOG_STDERR");

    EXPECT_EQ(unwritable, writable);
    EXPECT_EQ(withoutFile, "検査... 完了\n2 lines\n");
    EXPECT_EQ(toFile, withoutFile);
}

// A working folder longer than the file table's buffer still gets its log,
// and is the current folder again after EndLibrary.
TEST(LogInLongFolder, IsWrittenAndTheFolderRestored) {
    ScratchDir scratch;
    fs::path deep = scratch.path();
    while (deep.string().size() < 300) deep /= std::string(40, 'd');
    fs::create_directories(deep);
    fs::current_path(deep);
    UseHeadless("100 down ESCAPE\n");
    ASSERT_EQ(InitLibrary(), 0);
    fs::current_path(scratch.path());
    EXPECT_EQ(EndLibrary(), 0);
    EXPECT_EQ(fs::current_path(), deep);
    std::string log = ReadLogUtf8();
    EXPECT_NE(log.find("ＣＯＭの初期化... 成功しました"), std::string::npos) << log;
    EXPECT_NE(log.find("ソフトを終了する準備が整いました"), std::string::npos);
}

TEST_F(LogInFolder, JapaneseTextIsWrittenInCodePage932) {
    SetLogTimeStamps(0);
    OpenLog();
    WriteLogString(SJIS("完了\n"));
    EXPECT_EQ(ReadFile("AppLog.txt"), "\x8A\xAE\x97\xB9\n");
}

TEST(Cp932Text, AsciiBackslashAndTildeStayThemselves) {
    EXPECT_EQ(ToCp932("Round\\a~b.bmp"), "Round\\a~b.bmp");
    std::string back = PlatCp932ToUtf8("\\~", 2);
    EXPECT_EQ(back, "\\~");
}

TEST(Cp932Text, KanaAndKanjiRoundTrip) {
    std::string cp932 = ToCp932("ソフトをエラー終了します");
    // "ソ" is 0x83 0x5C: a trail byte that looks like a backslash.
    EXPECT_EQ(cp932.substr(0, 2), "\x83\x5C");
    EXPECT_EQ(PlatCp932ToUtf8(cp932.data(), cp932.size()), "ソフトをエラー終了します");
}

TEST(Cp932Text, UnconvertibleOrCutInputBecomesQuestionMarks) {
    EXPECT_EQ(ToCp932("a\xF0\x9F\x98\x80z"), "a?z");   // an emoji has no code
    EXPECT_EQ(ToCp932("a\xE5\xAE"), "a?");             // a character cut off
    EXPECT_EQ(ToCp932("a\xFFz"), "a?z");               // not UTF-8 at all
    EXPECT_EQ(PlatCp932ToUtf8("ab\x8A", 3), "ab?");    // a lead byte without its trail
    EXPECT_EQ(PlatCp932ToUtf8("\xA0x", 2), "?x");      // a byte with no meaning
}

// One failure of each kind read back, each replacing the one before.
TEST(LastErrorText, EachKindOfFailureReadsBackAsTheLogHasIt) {
    ScratchDir dir;
    UseHeadless();
    ASSERT_EQ(InitLibrary(), 0);
    WriteFile("bad.png", std::string("\x89PNG\r\n\x1a\n", 8) + "not an image");
    char text[256];
    EXPECT_EQ(GetLastErrorText(text, sizeof text), 0);
    const std::pair<std::function<int()>, std::string> rows[] = {  // UTF-8; no log line for "不正"
        {[] { return DrawTextWithFont(0, 0, "x", 0, 0x12345, 0); }, "フォントハンドル値が異常です"},
        {[] { return LoadGraphFile("absent.png"); }, "グラフィックファイル absent.png がありません"},
        {[] { return LoadGraphFile("bad.png"); },
         "右記のグラフィックファイルのロードに失敗しました：bad.png"},
        {[] { return LoadSoundFile("absent.wav"); }, "サウンドファイル absent.wav がありません"},
        {[] { return HttpRequest("PUT", "http://127.0.0.1/", nullptr, 0, nullptr, nullptr); },
         "HttpRequest の引数が不正です"},
        {[] {
             ConnectTcp("nonexistent.invalid", 80);
             for (int i = 0; i < 3000 && GetLostTcp() == -1; ++i) PumpMessages();
             return -1;
         },
         "nonexistent.invalid の名前解決に失敗しました"},
    };
    for (const auto& [fail, utf8] : rows) {
        SCOPED_TRACE(utf8);
        EXPECT_EQ(fail(), -1);
        std::string expected = ToCp932(utf8.c_str());
        int length = static_cast<int>(expected.size());
        EXPECT_EQ(GetLastErrorText(text, length + 1), length);
        EXPECT_EQ(text, expected);
        EXPECT_EQ(ReadLogUtf8().find(utf8) == std::string::npos, utf8.find("不正") != std::string::npos);
        std::string tight(length, '#');  // a byte short: -1, the buffer untouched
        EXPECT_EQ(GetLastErrorText(tight.data(), length), -1);
        EXPECT_EQ(tight, std::string(length, '#'));
    }
    EXPECT_EQ(GetLastErrorText(nullptr, 10) + GetLastErrorText(text, 0), -2);
    int otherThread = -2;  // has failed at nothing
    std::thread([&] { otherThread = GetLastErrorText(text, sizeof text); }).join();
    EXPECT_EQ(otherThread, 0);
    EndLibrary();
}

}  // namespace
