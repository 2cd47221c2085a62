// The file access layer: the default table's reads, seeks and refusals, the
// Windows-style path lookup, and program-supplied tables.
#include "core/core.h"
#include "support/harness.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <iterator>
#include <string>

namespace fs = std::filesystem;

namespace {

const FileAccessFunctions& Files() { return *DefaultFileAccessFunctions(); }

// A ten-byte file "0123456789" opened through the default table.
class OpenTenBytes : public ::testing::Test {
protected:
    void SetUp() override {
        WriteFile("ten.bin", "0123456789");
        file_ = Files().open("ten.bin", 0, 1);
        ASSERT_NE(file_, nullptr);
    }
    void TearDown() override {
        if (file_) Files().close(file_);
    }
    ScratchDir scratch_;
    void* file_ = nullptr;
    char buffer_[32] = {};
};

TEST_F(OpenTenBytes, ReadingExactlyToTheEndGivesEverythingThenZeroAndTheEndFlag) {
    EXPECT_EQ(Files().read(buffer_, 1, 10, file_), 10u);
    EXPECT_EQ(std::string(buffer_, 10), "0123456789");
    EXPECT_EQ(Files().atEnd(file_), 0);  // the end is only noticed by the next read
    EXPECT_EQ(Files().tell(file_), 10);

    EXPECT_EQ(Files().read(buffer_, 1, 1, file_), 0u);
    EXPECT_EQ(Files().atEnd(file_), 1);
}

TEST_F(OpenTenBytes, AskingForMoreItemsThanRemainGivesOnlyWholeItems) {
    EXPECT_EQ(Files().read(buffer_, 4, 5, file_), 2u);
    EXPECT_EQ(std::string(buffer_, 8), "01234567");
    EXPECT_EQ(Files().tell(file_), 8);

    // Two bytes left: not even one four-byte item, and not the end either.
    EXPECT_EQ(Files().read(buffer_, 4, 1, file_), 0u);
    EXPECT_EQ(Files().atEnd(file_), 0);
    EXPECT_EQ(Files().read(buffer_, 1, 5, file_), 2u);
    EXPECT_EQ(std::string(buffer_, 2), "89");
}

TEST_F(OpenTenBytes, SeekOriginsMoveThePositionAndClearTheEndFlag) {
    ASSERT_EQ(Files().seek(file_, 0, 2), 0);
    EXPECT_EQ(Files().tell(file_), 10);
    EXPECT_EQ(Files().read(buffer_, 1, 4, file_), 0u);
    EXPECT_EQ(Files().atEnd(file_), 1);

    ASSERT_EQ(Files().seek(file_, -3, 2), 0);
    EXPECT_EQ(Files().atEnd(file_), 0);
    ASSERT_EQ(Files().seek(file_, -2, 1), 0);
    EXPECT_EQ(Files().tell(file_), 5);
    EXPECT_EQ(Files().read(buffer_, 1, 2, file_), 2u);
    EXPECT_EQ(std::string(buffer_, 2), "56");

    ASSERT_EQ(Files().seek(file_, 3, 0), 0);
    EXPECT_EQ(Files().read(buffer_, 1, 1, file_), 1u);
    EXPECT_EQ(buffer_[0], '3');

    // An unknown origin goes back to the start.
    ASSERT_EQ(Files().seek(file_, 7, 9), 0);
    EXPECT_EQ(Files().tell(file_), 0);

    EXPECT_EQ(Files().seek(file_, -1, 0), -1);
    EXPECT_EQ(Files().tell(file_), 0);
}

TEST_F(OpenTenBytes, OperationsOnAClosedOrUnknownFileAreRefused) {
    ASSERT_EQ(Files().close(file_), 0);
    void* closed = file_;
    file_ = nullptr;
    int stranger = 0;
    for (void* file : {closed, static_cast<void*>(&stranger), static_cast<void*>(nullptr)}) {
        EXPECT_EQ(Files().close(file), -1);
        EXPECT_EQ(Files().tell(file), -1);
        EXPECT_EQ(Files().seek(file, 0, 0), -1);
        EXPECT_EQ(Files().read(buffer_, 1, 1, file), 0u);
        EXPECT_EQ(Files().atEnd(file), 0);
    }
}

TEST_F(OpenTenBytes, SeveralFilesStayOpenIndependently) {
    WriteFile("other.bin", "abc");
    void* other = Files().open("other.bin", 0, 1);
    ASSERT_NE(other, nullptr);
    EXPECT_EQ(Files().read(buffer_, 1, 3, other), 3u);
    EXPECT_EQ(Files().tell(file_), 0);
    // Closing the older file must keep the newer one in the list, and back.
    ASSERT_EQ(Files().close(file_), 0);
    file_ = nullptr;
    EXPECT_EQ(Files().tell(other), 3);
    EXPECT_EQ(Files().close(other), 0);
}

TEST(FileOpen, MissingFilesAndFoldersGiveNull) {
    ScratchDir scratch;
    fs::create_directory("folder");
    EXPECT_EQ(Files().open("absent.bin", 0, 1), nullptr);
    EXPECT_EQ(Files().open("folder", 0, 1), nullptr);
    EXPECT_EQ(Files().open("nowhere\\absent.bin", 0, 1), nullptr);
}

TEST(FileOpen, EmptyFileReadsNothingAndReachesTheEnd) {
    ScratchDir scratch;
    WriteFile("empty.bin", "");
    void* file = Files().open("empty.bin", 0, 1);
    ASSERT_NE(file, nullptr);
    char byte;
    EXPECT_EQ(Files().read(&byte, 1, 1, file), 0u);
    EXPECT_EQ(Files().atEnd(file), 1);
    EXPECT_EQ(Files().close(file), 0);
}

TEST(ResolvePath, WindowsStyleNamesFindFilesInAnyLetterCase) {
    ScratchDir scratch;
    fs::create_directory("Round");
    WriteFile("Round/obstacledata.bmp", "terrain");

    EXPECT_EQ(ResolvePath("Round\\ObstacleData.BMP"), "Round/obstacledata.bmp");
    EXPECT_EQ(ResolvePath("ROUND/OBSTACLEDATA.bmp"), "Round/obstacledata.bmp");
    void* file = Files().open("Round\\ObstacleData.BMP", 0, 1);
    ASSERT_NE(file, nullptr);
    char buffer[16] = {};
    EXPECT_EQ(Files().read(buffer, 1, sizeof buffer, file), 7u);
    EXPECT_EQ(std::string(buffer), "terrain");
    Files().close(file);

    // Absolute paths are looked up the same way below their root.
    std::string absolute = scratch.path() + "/round/ObstacleData.bmp";
    EXPECT_EQ(ResolvePath(absolute.c_str()), scratch.path() + "/Round/obstacledata.bmp");
}

TEST(ResolvePath, AnExactNameWinsOverOtherCaseMatches) {
    ScratchDir scratch;
    fs::create_directory("data");
    WriteFile("data/Title.png", "upper");
    WriteFile("data/title.png", "lower");
    EXPECT_EQ(ResolvePath("data\\title.png"), "data/title.png");
    EXPECT_EQ(ResolvePath("data\\Title.png"), "data/Title.png");
    EXPECT_EQ(ReadFile(ResolvePath("data\\title.png")), "lower");

    // Each folder on the way prefers its exact name too.
    fs::create_directory("Sub");
    fs::create_directory("sub");
    WriteFile("sub/x.bin", "x");
    EXPECT_EQ(ResolvePath("sub\\X.BIN"), "sub/x.bin");
}

TEST(ResolvePath, NewFilesKeepTheirNameInTheFolderFound) {
    ScratchDir scratch;
    fs::create_directory("Save");
    EXPECT_EQ(ResolvePath("SAVE\\user.data"), "Save/user.data");
    EXPECT_EQ(ResolvePath("Missing\\Deeper\\x.bin"), "Missing/Deeper/x.bin");
}

// Shift-JIS names: 0x5C as the second byte of a two-byte character is part
// of it ("表" is 95 5C, "ソ" 83 5C), and a second byte that looks like a
// capital letter ("ア" is 83 41) keeps its case.
TEST(ResolvePath, TwoByteCharactersKeepTheirSecondByte) {
    ScratchDir scratch;
    const std::string table = "\x95\x5C", so = "\x83\x5C";
    fs::create_directory(table);
    WriteFile(table + "/" + so + ".png", "picture");
    WriteFile(table + "/\x83\x61.bin", "other");  // 83 61 is another character than 83 41

    struct Case { std::string asked, resolved; };
    for (const Case& c : {Case{table + "\\" + so + ".png", table + "/" + so + ".png"},
                          Case{table + "/" + so + ".PNG", table + "/" + so + ".png"},
                          Case{table + "\\\x83\x41.bin", table + "/\x83\x41.bin"},
                          Case{"a\\\x95", "a/\x95"}})
        EXPECT_EQ(ResolvePath(c.asked.c_str()), c.resolved) << c.asked;

    void* file = Files().open((table + "\\" + so + ".png").c_str(), 0, 1);
    ASSERT_NE(file, nullptr);
    char buffer[16] = {};
    EXPECT_EQ(Files().read(buffer, 1, sizeof buffer, file), 7u);
    EXPECT_EQ(std::string(buffer), "picture");
    Files().close(file);
    EXPECT_EQ(Files().open((table + "\\\x83\x41.bin").c_str(), 0, 1), nullptr);

    const std::string path = "dir\\" + table + so + ".png";
    EXPECT_EQ(LastPathSeparator(path.c_str()), path.c_str() + 3);
    EXPECT_EQ(LastPathSeparator(table.c_str()), nullptr);
}

TEST(CurrentDirectory, GetAndSetGoThroughTheTable) {
    ScratchDir scratch;
    fs::create_directory("Background");
    char buffer[MaxPathLength];
    ASSERT_EQ(Files().getCurrentDir(buffer), 0);
    EXPECT_EQ(fs::path(buffer), fs::current_path());

    ASSERT_EQ(Files().setCurrentDir("background"), 0);
    EXPECT_EQ(fs::current_path(), fs::path(scratch.path()) / "Background");
    EXPECT_EQ(Files().setCurrentDir("no such folder"), -1);
    EXPECT_EQ(fs::current_path(), fs::path(scratch.path()) / "Background");
}

TEST(CurrentDirectory, APathLongerThanTheBufferFailsCleanly) {
    ScratchDir scratch;
    std::string deep = scratch.path();
    while (deep.size() < MaxPathLength + 10) deep += "/" + std::string(40, 'd');
    fs::create_directories(deep);
    fs::current_path(deep);
    char buffer[MaxPathLength + 64];
    std::fill(std::begin(buffer), std::end(buffer), 'x');
    EXPECT_EQ(Files().getCurrentDir(buffer), -1);
    // Nothing past the 260 characters the caller promised was touched.
    EXPECT_EQ(buffer[MaxPathLength], 'x');
}

int gFakeOpens;
void* FakeOpen(const char*, int, int) {
    ++gFakeOpens;
    return &gFakeOpens;
}

TEST(FileAccessTable, TheDefaultTableIsInForceFromTheStart) {
    EXPECT_EQ(IsDefaultFileAccess(), 1);
    EXPECT_EQ(GetFileAccessFunctions()->open, DefaultFileAccessFunctions()->open);
    EXPECT_EQ(GetFileAccessFunctions()->getCurrentDir, DefaultFileAccessFunctions()->getCurrentDir);
}

TEST(FileAccessTable, AProgramTableIsCopiedAndUsedUntilNullRestoresTheDefault) {
    FileAccessFunctions table = Files();
    table.open = FakeOpen;
    ASSERT_EQ(SetFileAccessFunctions(&table), 0);
    table.open = nullptr;  // the library keeps its own copy
    EXPECT_EQ(IsDefaultFileAccess(), 0);
    EXPECT_EQ(GetFileAccessFunctions()->open("anything", 0, 1), &gFakeOpens);
    EXPECT_EQ(gFakeOpens, 1);

    ASSERT_EQ(SetFileAccessFunctions(nullptr), 0);
    EXPECT_EQ(IsDefaultFileAccess(), 1);
    EXPECT_EQ(GetFileAccessFunctions()->open, DefaultFileAccessFunctions()->open);
}

// A missing entry would be called the first time the library reads a file;
// such a table is refused and the one in force, the program's or the
// default, stays.
TEST(FileAccessTable, ATableWithAnyEntryMissingIsRefused) {
    using Clear = void (*)(FileAccessFunctions&);
    const Clear entries[] = {
        [](FileAccessFunctions& t) { t.open = nullptr; },
        [](FileAccessFunctions& t) { t.close = nullptr; },
        [](FileAccessFunctions& t) { t.tell = nullptr; },
        [](FileAccessFunctions& t) { t.seek = nullptr; },
        [](FileAccessFunctions& t) { t.read = nullptr; },
        [](FileAccessFunctions& t) { t.atEnd = nullptr; },
        [](FileAccessFunctions& t) { t.idle = nullptr; },
        [](FileAccessFunctions& t) { t.setCurrentDir = nullptr; },
        [](FileAccessFunctions& t) { t.getCurrentDir = nullptr; },
    };
    FileAccessFunctions program = Files();
    program.open = FakeOpen;
    for (bool programInForce : {false, true}) {
        ASSERT_EQ(SetFileAccessFunctions(programInForce ? &program : nullptr), 0);
        for (size_t entry = 0; entry < std::size(entries); ++entry) {
            FileAccessFunctions faulty = program;
            entries[entry](faulty);
            EXPECT_EQ(SetFileAccessFunctions(&faulty), -1) << "entry " << entry;
            EXPECT_EQ(IsDefaultFileAccess(), programInForce ? 0 : 1) << "entry " << entry;
            EXPECT_EQ(GetFileAccessFunctions()->open,
                      programInForce ? FakeOpen : DefaultFileAccessFunctions()->open);
        }
    }
    SetFileAccessFunctions(nullptr);
}

}  // namespace
