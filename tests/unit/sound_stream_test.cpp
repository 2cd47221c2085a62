// Streamed sounds on the headless device: what comes out of the capture is
// compared with the same file decoded whole, loops included; memory is the
// heap's own count, not the process's size; cut and damaged files end their
// sound with a log line.
#include "platform/device/headless/headless.h"
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

struct Kind {
    const char* name;
    const char* file;
    const char* make;  // from tone.wav, 0.3 s of 44.1 kHz stereo
};

const Kind Kinds[] = {
    {"wave", "tone.wav", "true"},
    {"ogg", "tone.ogg", "sox tone.wav tone.ogg"},
    {"mp3", "tone.mp3", "lame --quiet -b 128 tone.wav tone.mp3"},
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

    // The file made, and its sound decoded whole as LoadSoundFile does.
    std::vector<int16_t> Make(const Kind& kind) {
        std::vector<int16_t> tone = Tone(13230, 2, 44100, 441);
        for (size_t i = 1; i < tone.size(); i += 2) tone[i] = int16_t(tone[i] / 2);
        WriteFile("tone.wav", PcmWave(2, 44100, 16, Samples16(tone)));
        EXPECT_TRUE(RunQuiet(kind.make));
        uint8_t* data = nullptr;
        WaveFormat* format = nullptr;
        int32_t size = DecodeSoundFile(kind.file, &data, &format);
        EXPECT_GT(size, 0);
        EXPECT_EQ(format ? format->channels : 0, 2);
        std::vector<int16_t> whole = FromSamples16(std::string(reinterpret_cast<char*>(data), size > 0 ? size : 0));
        std::free(data);
        std::free(format);
        return whole;
    }

    std::vector<int16_t> Output() {
        EndLibrary();
        return FromSamples16(ReadPcmWave(ReadFile("out.wav")).data);
    }
};

// Where `part` first starts in `out`, lined up on the first sample that is
// not silence; out.size() when it is not there.
size_t Find(const std::vector<int16_t>& out, const std::vector<int16_t>& part) {
    size_t lead = 0;
    while (lead < part.size() && part[lead] == 0) ++lead;
    size_t at = 0;
    while (at < out.size() && out[at] == 0) ++at;
    return at >= lead && (at - lead) % 2 == 0 ? at - lead : out.size();
}

bool Holds(const std::vector<int16_t>& out, size_t at, const std::vector<int16_t>& part) {
    return at + part.size() <= out.size() && std::equal(part.begin(), part.end(), out.begin() + at);
}

TEST_P(SoundStream, PlaysOnceAndLoopsWithoutAGapAsTheWholeFileDecodes) {
    std::vector<int16_t> whole = Make(GetParam());
    int once = LoadSoundFileStreamed(GetParam().file);
    int loop = LoadSoundFileStreamed(GetParam().file);
    ASSERT_NE(once, -1);
    ASSERT_NE(loop, -1);
    ASSERT_EQ(PlaySoundHandle(once, PlayNormal, 1), 0);
    EXPECT_EQ(IsSoundPlaying(once), 0);
    WaitMs(100);
    ASSERT_EQ(PlaySoundHandle(loop, PlayLoop, 1), 0);
    WaitMs(1300);  // four passes and more, through a ring of one second
    EXPECT_EQ(IsSoundPlaying(loop), 1);
    ASSERT_EQ(StopSoundHandle(loop), 0);
    std::vector<int16_t> out = Output();

    size_t first = Find(out, whole);
    ASSERT_TRUE(Holds(out, first, whole));
    size_t after = first + whole.size();
    size_t second = after;
    while (second < out.size() && out[second] == 0) ++second;
    second = Find(std::vector<int16_t>(out.begin() + after, out.end()), whole) + after;
    EXPECT_TRUE(std::all_of(out.begin() + after, out.begin() + std::min(second, out.size()),
                            [](int16_t s) { return s == 0; }));
    for (int pass = 0; pass < 4; ++pass)
        EXPECT_TRUE(Holds(out, second + pass * whole.size(), whole)) << "pass " << pass;
}

TEST_P(SoundStream, ACutOrDamagedFileEndsItsSoundWithOneLogLine) {
    // Eight seconds, so the harm lies well past the second decoded ahead.
    ASSERT_TRUE(RunQuiet("sox -n -r 44100 -c 2 -b 16 tone.wav synth 8 sine 300"));
    ASSERT_TRUE(RunQuiet(GetParam().make));
    std::string file = ReadFile(GetParam().file);
    struct Harm {
        const char* name;
        void (*apply)(std::string* bytes);
    };
    const Harm harms[] = {
        {"cut", [](std::string* bytes) { bytes->resize(bytes->size() / 2); }},
        {"damaged", [](std::string* bytes) {
             for (size_t i = bytes->size() * 3 / 5; i < bytes->size() * 7 / 10; ++i)
                 (*bytes)[i] = char(i * 7);
         }},
    };
    for (const Harm& harm : harms) {
        // WAVE samples are not checked, so only a cut harms a WAVE file.
        if (std::string(GetParam().name) == "wave" && std::string(harm.name) == "damaged") continue;
        WriteFile("played", file);
        int sound = LoadSoundFileStreamed("played");
        ASSERT_NE(sound, -1) << harm.name;
        ASSERT_EQ(PlaySoundHandle(sound, PlayLoop, 1), 0);
        WaitMs(500);
        std::string harmed = file;
        harm.apply(&harmed);
        // In place, as a download still being written or a disk failing would.
        std::filesystem::resize_file("played", harmed.size());
        WriteFile("played", harmed);
        WaitMs(8000);  // a loop goes on until the harm ends it
        EXPECT_EQ(IsSoundPlaying(sound), 0) << harm.name;
        EXPECT_EQ(Occurrences(ReadLogUtf8(), "が途中で切れているか壊れているため再生を終えます"), 1)
            << harm.name;
        EXPECT_EQ(ReleaseSoundHandle(sound, 0), 0);
        EndLibrary();
        ASSERT_EQ(InitLibrary(), 0);
    }
}

INSTANTIATE_TEST_SUITE_P(Kinds, SoundStream, ::testing::ValuesIn(Kinds),
                         [](const ::testing::TestParamInfo<Kind>& info) {
                             return std::string(info.param.name);
                         });

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
    ASSERT_NE(sound, -1);
    size_t loaded = HeapInUse();
    EXPECT_LT(loaded - before, size_t(1) << 20);
    ASSERT_EQ(PlaySoundHandle(sound, PlayLoop, 1), 0);
    size_t most = loaded;
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
