// A session recorded and played back headless: the replay reads what the
// recorded run read and writes its screenshots again; a replay the program
// leaves, a cut and a badly edited recording each name their line once; an
// unwritable recording costs one line on standard error.
#include "platform/device/headless/headless.h"
#include "support/harness.h"
#include "tessel.h"

#include <gtest/gtest.h>

#include <filesystem>

namespace {

using testing::internal::CaptureStderr;
using testing::internal::GetCapturedStderr;

constexpr int kFrames = 40;  // long enough to see every event after the start
constexpr int kRead = 7;     // values read a frame

// A program in miniature: each frame it pumps, reads the clocks, keys, mouse
// and random numbers, and draws. `extraReadAt` reads the clock once more.
std::vector<int64_t> Play(int extraReadAt = -1) {
    std::vector<int64_t> seen;
    SetDrawTarget(TargetBack);
    for (int frame = 0; frame < kFrames && PumpMessages() == 0; ++frame) {
        int x = 0, y = 0;
        GetMousePosition(&x, &y);
        seen.insert(seen.end(), {GetTickMs(0), GetTickUs(0), IsKeyDown(KeySpace), IsKeyDown(KeyF9),
                                 GetMouseButtons(), x * 10000 + y, RandomUpTo(1000)});
        if (frame == extraReadAt) GetTickMs(0);
        ClearDrawTarget();
        DrawTextString(x, y, std::to_string(seen.back()).c_str(), MakeColor(255, 255, 0), 0);
        PresentScreen();
    }
    return seen;
}

class Recording : public LibraryTest {
protected:
    // Plays a script into session.rec with F9 as the screenshot key.
    void SetUp() override {
        UseHeadless("500 down SPACE\n530 mouse 10 20\n560 down F9\n570 up F9\n600 up SPACE\n"
                    "640 button left down\n660 button left up\n");
        ASSERT_EQ(StartRecording("session.rec"), 0);
        ASSERT_EQ(SetScreenshotKey(KeyF9), 0);
        ASSERT_EQ(InitLibrary(), 0);
        EXPECT_EQ(StartRecording("late.rec"), -1);
        recorded = Play();
        EndLibrary();
        HeadlessReset();
    }
    std::vector<int64_t> Replay(const std::string& file, std::string* errors, int extraReadAt = -1) {
        UseHeadless();
        setenv("TESSEL_INPUT", file.c_str(), 1);
        CaptureStderr();
        std::vector<int64_t> seen;
        if (InitLibrary() == 0) seen = Play(extraReadAt);
        EndLibrary();
        HeadlessReset();
        *errors = GetCapturedStderr();
        return seen;
    }
    std::vector<int64_t> recorded;
};

TEST_F(Recording, AReplayReadsWhatTheRecordedRunReadAndWritesItsScreenshots) {
    std::string shot = ReadFile("shot-000.png");
    ASSERT_FALSE(shot.empty());
    std::filesystem::remove("shot-000.png");
    bool sawF9 = false;  // the key reached the program too
    for (size_t i = 3; i < recorded.size(); i += kRead) sawF9 |= recorded[i] != 0;
    EXPECT_TRUE(sawF9);
    std::string errors;
    EXPECT_EQ(Replay("session.rec", &errors), recorded);
    EXPECT_EQ(errors, "");
    EXPECT_EQ(ReadFile("shot-000.png"), shot);
    EXPECT_FALSE(std::filesystem::exists("late.rec"));
}

// Each fault is named once with its line; the program then runs on, on the
// virtual clock, with what it read up to there unchanged.
TEST_F(Recording, AFaultyReplayNamesItsLineOnceAndGoesOn) {
    std::string content = ReadFile("session.rec");
    size_t cut = content.find(" clock ", content.find("down SPACE")) + 4;
    std::string cutLine = std::to_string(1 + std::count(content.begin(), content.begin() + cut, '\n'));
    struct Case {
        std::string text;
        int extraReadAt;
        std::string fault;
        int sameFrames;
    } cases[] = {
        {content, 10, "the replay diverged: the program", 11},
        {content.substr(0, cut), -1, cutLine + ": the line is cut short", 1},
        {content.substr(0, cut) + "ck banana\n" + content.substr(cut), -1,
         cutLine + ": bad number \"banana\"", 1},
    };
    for (const Case& c : cases) {
        WriteFile("faulty.rec", c.text);
        std::string errors;
        std::vector<int64_t> replayed = Replay("faulty.rec", &errors, c.extraReadAt);
        EXPECT_EQ(Occurrences(errors, "TESSEL_INPUT:"), 1) << errors;
        EXPECT_NE(errors.find(c.fault), std::string::npos) << errors;
        ASSERT_EQ(replayed.size(), recorded.size()) << c.fault;
        EXPECT_TRUE(std::equal(recorded.begin(), recorded.begin() + kRead * c.sameFrames,
                               replayed.begin())) << c.fault;
    }
}

TEST_F(Recording, AnUnwritablePathCostsOneLineAndTheProgramRunsAsUsual) {
    setenv("TESSEL_RECORD", "missing/session.rec", 1);
    std::string errors;
    std::vector<int64_t> replayed = Replay("session.rec", &errors);
    unsetenv("TESSEL_RECORD");
    EXPECT_EQ(errors, "tessel: cannot record to \"missing/session.rec\": No such file or directory; "
                      "running unrecorded\n");
    EXPECT_EQ(replayed, recorded);
}

// A reply from the network cannot be recorded: the recording says the
// program used it, and so does its replay.
TEST_F(Recording, ANetworkUseIsNotedAndTheReplaySaysItCannotBeExact) {
    EXPECT_NE(ReadFile("session.rec").find("\n0 uses none "), std::string::npos);
    UseHeadless();
    ASSERT_EQ(StartRecording("net.rec"), 0);
    ASSERT_EQ(InitLibrary(), 0);
    HttpGet("http://127.0.0.1:9/", "reply.bin");
    EndLibrary();
    HeadlessReset();
    EXPECT_NE(ReadFile("net.rec").find("\n0 uses network"), std::string::npos);
    std::string errors;
    Replay("net.rec", &errors);
    EXPECT_NE(errors.find("used the network"), std::string::npos) << errors;
}

}  // namespace
