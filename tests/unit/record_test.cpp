// Recording a session and playing it back on the headless platform: the
// replayed program sees the very clock readings, input and random numbers
// it saw, and writes the same screenshots; a replay that the program leaves
// says so once, with the line; a cut or badly edited recording plays up to
// its first bad line and names it; an unwritable recording costs one line on
// standard error and nothing else.
#include "platform/device/headless/headless.h"
#include "support/harness.h"
#include "tessel.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <string>
#include <vector>

namespace {

using testing::internal::CaptureStderr;
using testing::internal::GetCapturedStderr;

constexpr char kScript[] =
    "500 down SPACE\n"
    "530 mouse 10 20\n"
    "560 down F9\n"
    "570 up F9\n"
    "600 up SPACE\n"
    "640 button left down\n"
    "660 button left up\n";

// Long enough to see every event of kScript after the start.
constexpr int kFrames = 40;

// A program in miniature: each frame it pumps, reads both clocks, the
// keyboard, the mouse and the random numbers, and draws what it read.
// `extraReadAt` reads the clock once more in that frame than it did when
// recorded.
std::vector<int64_t> Play(int frames, int extraReadAt = -1) {
    std::vector<int64_t> seen;
    SetDrawTarget(TargetBack);
    for (int frame = 0; frame < frames && PumpMessages() == 0; ++frame) {
        int x = 0, y = 0;
        GetMousePosition(&x, &y);
        seen.insert(seen.end(), {GetTickMs(0), GetTickUs(0), IsKeyDown(KeySpace),
                                 IsKeyDown(KeyF9), GetMouseButtons(), x * 10000 + y,
                                 RandomUpTo(1000)});
        if (frame == extraReadAt) GetTickMs(0);
        ClearDrawTarget();
        DrawTextString(x, y, std::to_string(seen[seen.size() - 7]).c_str(), MakeColor(255, 255, 0), 0);
        PresentScreen();
    }
    return seen;
}

class Recording : public LibraryTest {
protected:
    // Plays kScript recorded into session.rec, with F9 as the screenshot
    // key, and leaves the platform as a fresh process would find it.
    std::vector<int64_t> Record() {
        UseHeadless(kScript);
        EXPECT_EQ(StartRecording("session.rec"), 0);
        EXPECT_EQ(SetScreenshotKey(KeyF9), 0);
        EXPECT_EQ(InitLibrary(), 0);
        EXPECT_EQ(StartRecording("late.rec"), -1);
        std::vector<int64_t> seen = Play(kFrames);
        EndLibrary();
        HeadlessReset();
        return seen;
    }
    // Replays `file` as a recording; what stderr got goes to `errors`.
    std::vector<int64_t> Replay(const std::string& file, std::string* errors, int extraReadAt = -1) {
        UseHeadless();
        setenv("TESSEL_INPUT", file.c_str(), 1);
        CaptureStderr();
        std::vector<int64_t> seen;
        if (InitLibrary() == 0) seen = Play(kFrames, extraReadAt);
        EndLibrary();
        *errors = GetCapturedStderr();
        return seen;
    }
};

TEST_F(Recording, AReplayReadsWhatTheRecordedRunReadAndWritesItsScreenshots) {
    std::vector<int64_t> recorded = Record();
    ASSERT_TRUE(std::filesystem::exists("shot-000.png"));
    std::string shot = ReadFile("shot-000.png");
    std::filesystem::rename("shot-000.png", "desktop.png");
    // The key reached the program too.
    bool sawF9 = false;
    for (size_t i = 3; i < recorded.size(); i += 7) sawF9 |= recorded[i] != 0;
    EXPECT_TRUE(sawF9);

    std::string errors;
    std::vector<int64_t> replayed = Replay("session.rec", &errors);
    EXPECT_EQ(errors, "");
    EXPECT_EQ(replayed, recorded);
    EXPECT_EQ(ReadFile("shot-000.png"), shot);
    EXPECT_FALSE(std::filesystem::exists("late.rec"));
}

TEST_F(Recording, AReplayThatDivergesSaysSoOnceWithTheLineAndGoesOn) {
    std::vector<int64_t> recorded = Record();
    std::string errors;
    std::vector<int64_t> replayed = Replay("session.rec", &errors, 10);
    EXPECT_EQ(Occurrences(errors, "diverged"), 1) << errors;
    EXPECT_EQ(replayed.size(), recorded.size());
    EXPECT_TRUE(std::equal(recorded.begin(), recorded.begin() + 7 * 11, replayed.begin()));
    // The line named is where the recording had something else than the
    // extra reading.
    size_t colon = errors.find(':');
    int line = std::atoi(errors.c_str() + colon + 1);
    std::string content = ReadFile("session.rec");
    size_t at = 0;
    for (int i = 1; i < line; ++i) at = content.find('\n', at) + 1;
    std::string named = content.substr(at, content.find('\n', at) - at);
    EXPECT_EQ(named.find(" clock "), std::string::npos) << named;
    EXPECT_NE(errors.find("where the recording has"), std::string::npos) << errors;
}

// A recording cut short by a crash, and one edited badly by hand: the
// replay follows it up to the bad line, names that line, and the program
// then runs on the virtual clock as after a script that ran out.
TEST_F(Recording, ABadOrCutRecordingPlaysUpToItsFirstBadLineAndNamesIt) {
    std::vector<int64_t> recorded = Record();
    std::string content = ReadFile("session.rec");
    // Cut once the program has played a while: after Space went down.
    size_t half = content.find(" clock ", content.find("down SPACE")) + 4;
    int cutLine = 1 + static_cast<int>(std::count(content.begin(), content.begin() + half, '\n'));
    struct Case {
        std::string file;
        std::string text;
        std::string fault;
    } cases[] = {
        {"cut.rec", content.substr(0, half), "the line is cut short"},
        {"edited.rec", content.substr(0, half) + "ck banana\n" + content.substr(half),
         "bad number"},
    };
    for (const Case& c : cases) {
        WriteFile(c.file, c.text);
        HeadlessReset();
        std::string errors;
        std::vector<int64_t> replayed = Replay(c.file, &errors);
        std::string expected = "TESSEL_INPUT:" + std::to_string(cutLine) + ": " + c.fault;
        EXPECT_EQ(errors.rfind(expected, 0), 0u) << c.file << ": " << errors;
        EXPECT_EQ(Occurrences(errors, "TESSEL_INPUT"), 1) << errors;
        ASSERT_EQ(replayed.size(), recorded.size()) << c.file;
        EXPECT_TRUE(std::equal(recorded.begin(), recorded.begin() + 7, replayed.begin())) << c.file;
    }
}

TEST_F(Recording, AnUnwritablePathCostsOneLineAndTheProgramRunsAsUsual) {
    UseHeadless(kScript);
    setenv("TESSEL_RECORD", "missing/session.rec", 1);
    CaptureStderr();
    ASSERT_EQ(InitLibrary(), 0);
    std::vector<int64_t> seen = Play(kFrames);
    EndLibrary();
    unsetenv("TESSEL_RECORD");
    std::string errors = GetCapturedStderr();
    EXPECT_EQ(Occurrences(errors, "\n"), 1) << errors;
    EXPECT_NE(errors.find("missing/session.rec"), std::string::npos) << errors;
    EXPECT_EQ(seen.size(), kFrames * 7u);
    EXPECT_FALSE(std::filesystem::exists("missing"));
}

}  // namespace
