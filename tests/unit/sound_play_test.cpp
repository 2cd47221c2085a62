// Playback on the headless device, listened to through the WAVE file it
// writes: the mix comes out in virtual time, so what a sound did is in the
// file sample for sample.
#include "game.h"
#include "platform/media/audio.h"
#include "platform/device/headless/headless.h"
#include "sound/sound.h"
#include "support/harness.h"
#include "support/sound_files.h"
#include "tessel.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <vector>

namespace {

class SoundPlay : public ::testing::Test {
protected:
    ScratchDir dir;

    void Start(const std::string& script = "") {
        UseHeadless(script);
        setenv("TESSEL_AUDIO_OUT", "out.wav", 1);
        ASSERT_EQ(InitLibrary(), 0);
    }
    void TearDown() override {
        EndLibrary();
        unsetenv("TESSEL_AUDIO_OUT");
    }

    // A sound of `frames` stereo frames at 44100 Hz: the mixer passes it
    // through unchanged, so it can be found in the output exactly.
    int Load(const std::string& name, const std::vector<int16_t>& samples, int buffers = 1) {
        WriteFile(name, PcmWave(2, 44100, 16, Samples16(samples)));
        return LoadSoundFileWithBuffers(name.c_str(), buffers);
    }

    // Ends the library and returns the output's stereo samples.
    std::vector<int16_t> Output() {
        EndLibrary();
        PcmData pcm = ReadPcmWave(ReadFile("out.wav"));
        EXPECT_EQ(pcm.channels, 2);
        EXPECT_EQ(pcm.rate, 44100);
        EXPECT_EQ(pcm.bits, 16);
        return FromSamples16(pcm.data);
    }
};

// Index of the first non-zero sample, or the size.
size_t FirstSound(const std::vector<int16_t>& out, size_t from = 0) {
    size_t i = from;
    while (i < out.size() && out[i] == 0) ++i;
    return i;
}

// True when `out` holds `part` at `at`.
bool HoldsAt(const std::vector<int16_t>& out, size_t at, const std::vector<int16_t>& part,
             size_t count) {
    return at + count <= out.size() && std::equal(part.begin(), part.begin() + count, out.begin() + at);
}

bool SilentFrom(const std::vector<int16_t>& out, size_t at) {
    return std::all_of(out.begin() + std::min(at, out.size()), out.end(),
                       [](int16_t s) { return s == 0; });
}

TEST_F(SoundPlay, TheMusicLoopsFromItsFirstSample) {
    Start();
    std::vector<int16_t> music = Pattern(2205, 7);  // 50 ms
    int handle = Load("music.wav", music);
    ASSERT_NE(handle, -1);
    ASSERT_EQ(PlaySoundHandle(handle, PlayLoop, 1), 0);
    EXPECT_EQ(IsSoundPlaying(handle), 1);
    WaitMs(180);
    EXPECT_EQ(IsSoundPlaying(handle), 1);
    std::vector<int16_t> out = Output();
    size_t start = FirstSound(out);
    ASSERT_GE(out.size(), start + 3 * music.size());
    for (size_t loop = 0; start + (loop + 1) * music.size() <= out.size(); ++loop)
        ASSERT_TRUE(HoldsAt(out, start + loop * music.size(), music, music.size())) << "loop " << loop;
    size_t tail = (out.size() - start) % music.size();
    EXPECT_TRUE(HoldsAt(out, out.size() - tail, music, tail));
}

TEST_F(SoundPlay, AnEffectStartedAgainRestartsFromTheBeginning) {
    Start();
    std::vector<int16_t> effect = Pattern(4410, 8);  // 100 ms
    int handle = Load("effect.wav", effect);
    ASSERT_EQ(PlaySoundHandle(handle, PlayBackground, 1), 0);
    WaitMs(30);
    ASSERT_EQ(IsSoundPlaying(handle), 1);
    ASSERT_EQ(PlaySoundHandle(handle, PlayBackground, 1), 0);
    WaitMs(150);
    EXPECT_EQ(IsSoundPlaying(handle), 0);
    std::vector<int16_t> out = Output();
    size_t first = FirstSound(out);
    // The second start is found as the effect's opening after the first.
    size_t second = first + 2;
    while (second < out.size() && !HoldsAt(out, second, effect, 16)) second += 2;
    ASSERT_LT(second, out.size());
    EXPECT_NEAR(double(second - first) / 2, 30 * 44.1, 44.1);
    EXPECT_TRUE(HoldsAt(out, first, effect, second - first));
    EXPECT_TRUE(HoldsAt(out, second, effect, effect.size()));
    EXPECT_TRUE(SilentFrom(out, second + effect.size()));
}

TEST_F(SoundPlay, WithoutFromStartAnEffectResumesWhereItWas) {
    Start();
    std::vector<int16_t> effect = Pattern(4410, 9);
    int handle = Load("effect.wav", effect);
    ASSERT_EQ(PlaySoundHandle(handle, PlayBackground, 1), 0);
    WaitMs(30);
    ASSERT_EQ(PlaySoundHandle(handle, PlayBackground, 0), 0);
    WaitMs(150);
    std::vector<int16_t> out = Output();
    size_t first = FirstSound(out);
    EXPECT_TRUE(HoldsAt(out, first, effect, effect.size()));
    EXPECT_TRUE(SilentFrom(out, first + effect.size()));
}

TEST_F(SoundPlay, PlayNormalReturnsAfterTheSoundsLength) {
    Start();
    int handle = Load("quarter.wav", Pattern(11025, 10));  // 250 ms
    uint64_t before = HeadlessNowUs();
    ASSERT_EQ(PlaySoundHandle(handle, PlayNormal, 1), 0);
    // Within a frame or two of the mix (23 µs each).
    EXPECT_NEAR(double(HeadlessNowUs() - before), 250000, 50);
    EXPECT_EQ(IsSoundPlaying(handle), 0);
}

TEST_F(SoundPlay, PlayNormalReturnsWhenTheWindowCloses) {
    Start();
    int handle = Load("long.wav", Pattern(44100 * 5, 11));
    ASSERT_NE(handle, -1);
    // Script times count from the platform's start, at 100 s on its clock.
    uint64_t closeUs = HeadlessNowUs() + 100000;
    ASSERT_EQ(HeadlessQueueScriptLine((std::to_string((closeUs - 100000000) / 1000) + " close").c_str()), 0);
    ASSERT_EQ(PlaySoundHandle(handle, PlayNormal, 1), 0);
    uint64_t returned = HeadlessNowUs();
    EXPECT_GE(returned, closeUs - 1000);
    EXPECT_LT(returned, closeUs + 50000);
    // Once closed, a waiting play returns at once.
    ASSERT_EQ(PlaySoundHandle(handle, PlayNormal, 1), 0);
    EXPECT_LT(HeadlessNowUs() - returned, 1000u);
}

TEST_F(SoundPlay, EachPlayTypeWaitsAndLoopsAsItsNameSaysAndOthersPlayInTheBackground) {
    Start();
    int handle = Load("short.wav", Pattern(882, 13));  // 20 ms
    struct Case { int type; bool waits, loops; };
    for (Case c : {Case{PlayNormal, true, false}, Case{PlayBackground, false, false},
                   Case{PlayLoop, false, true}, Case{2, false, false}, Case{-1, false, false}}) {
        uint64_t before = HeadlessNowUs();
        ASSERT_EQ(PlaySoundHandle(handle, c.type, 1), 0);
        uint64_t took = HeadlessNowUs() - before;
        if (c.waits)
            EXPECT_GE(took, 19000u) << c.type;
        else
            EXPECT_LT(took, 1000u) << c.type;
        WaitMs(60);
        EXPECT_EQ(IsSoundPlaying(handle), c.loops ? 1 : 0) << c.type;
        ASSERT_EQ(StopSoundHandle(handle), 0);
    }
}

TEST_F(SoundPlay, FinishedSoundsAreIdleAndReleasedOnesInvalid) {
    Start();
    int handle = Load("short.wav", Pattern(441, 12));  // 10 ms
    ASSERT_EQ(PlaySoundHandle(handle, PlayBackground, 1), 0);
    EXPECT_EQ(IsSoundPlaying(handle), 1);
    WaitMs(20);
    EXPECT_EQ(IsSoundPlaying(handle), 0);
    ASSERT_EQ(PlaySoundHandle(handle, PlayLoop, 1), 0);
    ASSERT_EQ(StopSoundHandle(handle), 0);
    EXPECT_EQ(IsSoundPlaying(handle), 0);
    ASSERT_EQ(ReleaseSoundHandle(handle, 0), 0);
    EXPECT_EQ(IsSoundPlaying(handle), -1);
    EXPECT_EQ(PlaySoundHandle(handle, PlayBackground, 1), -1);
    EXPECT_EQ(StopSoundHandle(handle), -1);
    EXPECT_EQ(ReleaseSoundHandle(handle, 0), -1);
    // A graph's handle is not a sound.
    EXPECT_EQ(IsSoundPlaying(0x08000000), -1);
}

TEST_F(SoundPlay, SeveralBuffersOverlapAndTheFurthestIsReused) {
    Start();
    int handle = Load("multi.wav", Pattern(4410, 13), 2);
    SoundRecord* sound = HandleTableGetAs<SoundRecord>(&gSoundTable, handle);
    ASSERT_NE(sound, nullptr);
    ASSERT_EQ(sound->bufferCount, 2);
    auto position = [&](int i) {
        uint32_t at = 0;
        PlatSoundBufferGetPosition(sound->buffers[i], &at);
        return at;
    };
    auto playing = [&](int i) {
        uint32_t status = 0;
        PlatSoundBufferStatus(sound->buffers[i], &status);
        return status & SoundBufferPlaying;
    };
    ASSERT_EQ(PlaySoundHandle(handle, PlayBackground, 1), 0);
    WaitMs(20);
    ASSERT_EQ(PlaySoundHandle(handle, PlayBackground, 1), 0);
    EXPECT_TRUE(playing(0) && playing(1));
    WaitMs(20);
    uint32_t second = position(1);
    ASSERT_GT(position(0), second);
    ASSERT_EQ(PlaySoundHandle(handle, PlayBackground, 1), 0);  // takes over buffer 0, the furthest
    EXPECT_LT(position(0), 16u);
    EXPECT_GE(position(1), second);
}

TEST_F(SoundPlay, ThePrimaryRateIsTheDevicesHighestButAtMost44100) {
    PlatAudioCaps caps{1, 1, 1, 1, 1, 1, 1, 1, 4000, 48000, 0, 0};
    HeadlessSetAudioCaps(&caps);
    Start();
    PlatPcmFormat format{};
    PlatAudioGetFormat(&format);
    EXPECT_EQ(format.rate, 44100);
    EXPECT_EQ(format.channels, 2);
    EXPECT_EQ(format.bits, 16);
    EXPECT_NE(ReadLogUtf8().find("最大サンプリングレート:48.00KHz 最小サンプリングレート:4.00KHz "),
              std::string::npos);
    Output();
}

TEST_F(SoundPlay, ASmallDeviceGetsItsOwnRateChannelsAndBits) {
    PlatAudioCaps caps{1, 0, 1, 0, 1, 1, 1, 1, 4000, 22050, 0, 0};
    HeadlessSetAudioCaps(&caps);
    Start();
    int handle = Load("tone.wav", Tone(4410, 2, 44100, 441));
    ASSERT_EQ(PlaySoundHandle(handle, PlayNormal, 1), 0);
    EndLibrary();
    PcmData pcm = ReadPcmWave(ReadFile("out.wav"));
    EXPECT_EQ(pcm.channels, 1);
    EXPECT_EQ(pcm.rate, 22050);
    EXPECT_EQ(pcm.bits, 8);
    // The tone is there, at its loudness, in unsigned bytes.
    auto [low, high] = std::minmax_element(pcm.data.begin(), pcm.data.end(),
                                           [](char a, char b) { return uint8_t(a) < uint8_t(b); });
    EXPECT_NEAR(uint8_t(*high), 128 + 12000 / 256, 2);
    EXPECT_NEAR(uint8_t(*low), 128 - 12000 / 256, 2);
}

TEST_F(SoundPlay, OpeningLogsTheDeviceAndItsCapabilities) {
    Start();
    std::string log = ReadLogUtf8();
    const char* lines[] = {
        "DirectSound の初期化を行います\n",
        "DirectSound インターフェースの取得を行います....  成功\n",
        "引き続きインターフェースの初期化処理...  成功\n",
        "DirectSound デバイスを列挙します\n",
        "モジュール名:       headless  ドライバ記述:Headless audio output (virtual time) \n",
        "最大サンプリングレート:200.00KHz 最小サンプリングレート:0.10KHz "
        "総サウンドメモリ領域:0.00KB 空きサウンドメモリ領域:0.00KB \n",
        "利用可能サンプリング精度\n",
        " プライマリ １６bit = OK  ８bit = OK  セカンダリ １６bit = OK  ８bit = OK \n",
        " プライマリ MONO = OK  STEREO = OK  セカンダリ MONO = OK  STEREO = OK \n",
        "DirectSound の初期化は正常に終了しました\n",
    };
    size_t at = 0;
    for (const char* line : lines) {
        size_t found = log.find(line, at);
        ASSERT_NE(found, std::string::npos) << line;
        at = found;
    }
    EndLibrary();
    EXPECT_NE(ReadLogUtf8().find("DirectSound の終了処理は正常に終了しました\n"), std::string::npos);
}

TEST_F(SoundPlay, WithoutADeviceEverySoundOperationFails) {
    HeadlessSetAudioMissing(1);
    Start();
    EXPECT_NE(ReadLogUtf8().find("引き続きインターフェースの初期化処理...  初期化に失敗しました\n"),
              std::string::npos);
    EXPECT_EQ(Load("fine.wav", Pattern(441, 1)), -1);
    EXPECT_EQ(PlaySoundHandle(0x10000000, PlayBackground, 1), -1);
    EXPECT_EQ(IsSoundPlaying(0x10000000), -1);
    EXPECT_EQ(ReleaseAllSoundHandles(0), -1);
    EndLibrary();
    EXPECT_FALSE(std::filesystem::exists("out.wav"));
}

TEST_F(SoundPlay, TheGameRunsSilentWithoutADevice) {
    std::filesystem::create_directory("wav");
    WriteFile("wav/Music01.wav", PcmWave(2, 44100, 16, Samples16(Pattern(4410, 2))));
    HeadlessSetAudioMissing(1);
    UseHeadless("1500 down ESCAPE\n");
    setenv("TESSEL_AUDIO_OUT", "out.wav", 1);
    EXPECT_EQ(GameMain(), 0);
    EXPECT_EQ(gAssets.music, -1);
    EXPECT_FALSE(std::filesystem::exists("out.wav"));
}

TEST_F(SoundPlay, TheGamesMusicLoopsFromTheStart) {
    std::filesystem::create_directory("wav");
    std::vector<int16_t> music = Pattern(4410, 3);  // 100 ms
    WriteFile("wav/Music01.wav", PcmWave(2, 44100, 16, Samples16(music)));
    UseHeadless("1500 down ESCAPE\n");
    setenv("TESSEL_AUDIO_OUT", "out.wav", 1);
    EXPECT_EQ(GameMain(), 0);
    PcmData pcm = ReadPcmWave(ReadFile("out.wav"));
    std::vector<int16_t> out = FromSamples16(pcm.data);
    size_t start = FirstSound(out);
    ASSERT_GE(out.size(), start + 10 * music.size());
    for (size_t loop = 0; loop < 10; ++loop)
        ASSERT_TRUE(HoldsAt(out, start + loop * music.size(), music, music.size())) << loop;
}

}  // namespace
