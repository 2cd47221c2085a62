// Streamed sounds on the headless device: the capture is compared with the
// same file decoded whole, loops included; memory is the heap's own count,
// not the process's size; cut and damaged files end their sound.
#include "sound/sound.h"
#include "support/harness.h"
#include "support/sound_files.h"
#include "tessel.h"

#include <gtest/gtest.h>
#include <malloc.h>

#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <vector>

namespace {

const char* const Damaged = "が途中で切れているか壊れているため再生を終えます";

struct Kind {
    const char* name;
    const char* file;
    const char* make;  // from tone.wav
};

class SoundStream : public ::testing::TestWithParam<Kind> {
protected:
    ScratchDir dir;

    void SetUp() override {
        if (!HaveTools({"sox", "lame"})) GTEST_SKIP() << "sox and lame are needed";
        UseHeadless();
        setenv("TESSEL_AUDIO_OUT", "out.wav", 1);
        ASSERT_EQ(InitLibrary(), 0);
    }
    void TearDown() override {
        EndLibrary();
        unsetenv("TESSEL_AUDIO_OUT");
    }
};

bool Holds(const std::vector<int16_t>& out, size_t at, const std::vector<int16_t>& part) {
    return at <= out.size() && out.size() - at >= part.size() && std::equal(part.begin(), part.end(), out.begin() + at);
}

// Where the next sound after `from` starts, lined up on `part`'s first
// sample that is not silence.
size_t Next(const std::vector<int16_t>& out, size_t from, const std::vector<int16_t>& part) {
    size_t lead = std::find_if(part.begin(), part.end(), [](int16_t s) { return s; }) - part.begin();
    size_t at = std::find_if(out.begin() + from, out.end(), [](int16_t s) { return s; }) - out.begin();
    return at - lead;
}

TEST_P(SoundStream, PlaysOnceAndLoopsWithoutAGapAsTheWholeFileDecodes) {
    // 0.3 s, the right channel half the left.
    std::vector<int16_t> tone = Tone(13230, 2, 44100, 441);
    for (size_t i = 1; i < tone.size(); i += 2) tone[i] = int16_t(tone[i] / 2);
    WriteFile("tone.wav", PcmWave(2, 44100, 16, Samples16(tone)));
    ASSERT_TRUE(RunQuiet(GetParam().make));
    uint8_t* data = nullptr;
    WaveFormat* format = nullptr;
    int32_t size = DecodeSoundFile(GetParam().file, &data, &format);
    ASSERT_GT(size, 0);
    std::vector<int16_t> whole = FromSamples16(std::string(reinterpret_cast<char*>(data), size));
    std::free(data);
    std::free(format);

    int once = LoadSoundFileStreamed(GetParam().file), loop = LoadSoundFileStreamed(GetParam().file);
    ASSERT_EQ(PlaySoundHandle(once, PlayNormal, 1), 0);
    EXPECT_EQ(IsSoundPlaying(once), 0);
    WaitMs(100);
    ASSERT_EQ(PlaySoundHandle(loop, PlayLoop, 1), 0);
    WaitMs(1300);  // four passes and more, through a ring of one second
    EXPECT_EQ(IsSoundPlaying(loop), 1);
    EndLibrary();
    std::vector<int16_t> out = FromSamples16(ReadPcmWave(ReadFile("out.wav")).data);

    size_t first = Next(out, 0, whole), second = Next(out, first + whole.size(), whole);
    EXPECT_TRUE(Holds(out, first, whole));
    for (int pass = 0; pass < 4; ++pass)
        EXPECT_TRUE(Holds(out, second + pass * whole.size(), whole)) << "pass " << pass;
    EXPECT_EQ(Occurrences(ReadLogUtf8(), Damaged), 0);  // a whole file is no damaged one
}

TEST_P(SoundStream, ACutOrDamagedFileEndsItsSoundWithOneLogLine) {
    // Eight seconds, so the harm lies well past the second decoded ahead.
    ASSERT_TRUE(RunQuiet("sox -n -r 44100 -c 2 -b 16 tone.wav synth 8 sine 300"));
    ASSERT_TRUE(RunQuiet(GetParam().make));
    std::string file = ReadFile(GetParam().file);
    // WAVE samples carry no check, so only a cut harms a WAVE file.
    for (bool cut : {true, false}) {
        if (!cut && std::string(GetParam().name) == "wave") continue;
        WriteFile("played", file);
        int sound = LoadSoundFileStreamed("played");
        ASSERT_EQ(PlaySoundHandle(sound, PlayLoop, 1), 0);
        WaitMs(500);
        std::string harmed = file;
        if (cut) harmed.resize(file.size() / 2);
        for (size_t i = file.size() * 3 / 5; !cut && i < file.size() * 7 / 10; ++i) harmed[i] = char(i * 7);
        // In place, as a download still being written or a failing disk would.
        std::filesystem::resize_file("played", harmed.size());
        WriteFile("played", harmed);
        WaitMs(8000);  // a loop goes on until the harm ends it
        EXPECT_EQ(IsSoundPlaying(sound), 0) << cut;
        EXPECT_EQ(Occurrences(ReadLogUtf8(), Damaged), 1) << cut;
        EndLibrary();
        ASSERT_EQ(InitLibrary(), 0);
    }
}

INSTANTIATE_TEST_SUITE_P(Kinds, SoundStream,
                         ::testing::Values(Kind{"wave", "tone.wav", "true"},
                                           Kind{"ogg", "tone.ogg", "sox tone.wav tone.ogg"},
                                           Kind{"mp3", "tone.mp3", "lame --quiet -b 128 tone.wav tone.mp3"}),
                         [](const ::testing::TestParamInfo<Kind>& info) { return std::string(info.param.name); });

size_t HeapInUse() {
    struct mallinfo2 info = mallinfo2();
    return info.uordblks + info.hblkhd;
}

// Ten minutes, looped: the stream takes under 1 MiB at loading, and no more
// to the end and past the loop.
TEST(SoundStreamLong, TenMinutesPlayAndLoopInFlatMemory) {
    ScratchDir dir;
    if (!HaveTools({"sox"})) GTEST_SKIP() << "sox is needed";
    ASSERT_TRUE(RunQuiet("sox -n -r 44100 -c 2 -C 0 long.ogg synth 600 sine 440"));
    UseHeadless();
    unsetenv("TESSEL_AUDIO_OUT");
    ASSERT_EQ(InitLibrary(), 0);
    size_t before = HeapInUse();
    int sound = LoadSoundFileStreamed("long.ogg");
    size_t loaded = HeapInUse(), most = loaded;
    EXPECT_LT(loaded - before, size_t(1) << 20);
    ASSERT_EQ(PlaySoundHandle(sound, PlayLoop, 1), 0);
    for (int minute = 0; minute < 11; ++minute) {
        WaitMs(60000);
        ASSERT_EQ(IsSoundPlaying(sound), 1) << minute;
        most = std::max(most, HeapInUse());
    }
    EXPECT_LT(most - loaded, size_t(16) << 10);
    RecordProperty("streamBytes", std::to_string(loaded - before));
    EndLibrary();
}

}  // namespace
