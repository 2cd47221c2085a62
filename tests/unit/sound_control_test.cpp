// Volume, pan, pitch and master volume, heard through the headless capture:
// each case plays a looping 441 Hz tone and measures the output's RMS per
// channel and its pitch by zero crossings, against what the controls'
// definitions give.
#include "platform/device/headless/headless.h"
#include "support/harness.h"
#include "support/sound_files.h"
#include "tessel.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstdlib>
#include <numbers>
#include <vector>

namespace {

constexpr double ToneHz = 441;
constexpr double Amplitude = 12000;  // Tone's

struct Controls {
    const char* name;
    bool streamed;
    int copies;  // buffers of the sound, all started together
    int volume, pan, pitch, master;
};

struct Heard {
    double rms[2];
    double hz;
};

// What the definitions give: amplitude linear in volume and master, the pan
// a quarter turn of cosine and sine scaled to unity at the centre.
Heard Expected(const Controls& c) {
    double angle = (c.pan + 255) / 510.0 * std::numbers::pi / 2;
    double level = c.copies * Amplitude / std::sqrt(2.0) * c.volume / 255 * c.master / 255;
    return {{level * std::sqrt(2.0) * std::cos(angle), level * std::sqrt(2.0) * std::sin(angle)},
            ToneHz * c.pitch / 100};
}

// Frames `begin`..`end` of the stereo output.
Heard Measure(const std::vector<int16_t>& out, size_t beginFrame, size_t endFrame) {
    size_t begin = beginFrame * 2, end = endFrame * 2;
    Heard heard{};
    int crossings[2] = {};
    for (int c = 0; c < 2; ++c) {
        double sum = 0;
        for (size_t i = begin + c; i < end; i += 2) {
            sum += double(out[i]) * out[i];
            if (i >= begin + 2 && (out[i - 2] < 0) != (out[i] < 0)) ++crossings[c];
        }
        heard.rms[c] = std::sqrt(sum / ((end - begin) / 2));
    }
    heard.hz = std::max(crossings[0], crossings[1]) / 2.0 / ((endFrame - beginFrame) / 44100.0);
    return heard;
}

class SoundControl : public ::testing::TestWithParam<Controls> {
protected:
    ScratchDir dir;

    void TearDown() override {
        EndLibrary();
        unsetenv("TESSEL_AUDIO_OUT");
    }
};

TEST_P(SoundControl, TheCaptureShowsVolumePanPitchAndMaster) {
    const Controls& c = GetParam();
    UseHeadless();
    setenv("TESSEL_AUDIO_OUT", "out.wav", 1);
    ASSERT_EQ(InitLibrary(), 0);
    WriteFile("tone.wav", PcmWave(2, 44100, 16, Samples16(Tone(44100, 2, 44100, ToneHz))));
    int sound = c.streamed ? LoadSoundFileStreamed("tone.wav")
                           : LoadSoundFileWithBuffers("tone.wav", c.copies);
    ASSERT_NE(sound, -1);
    uint64_t played = HeadlessNowUs();
    for (int i = 0; i < c.copies; ++i) ASSERT_EQ(PlaySoundHandle(sound, PlayLoop, 1), 0);
    // A quarter of a second as loaded, then the controls from the next sample.
    WaitMs(250);
    uint64_t changed = HeadlessNowUs();
    EXPECT_EQ(SetSoundVolume(sound, c.volume), 0);
    EXPECT_EQ(SetSoundPan(sound, c.pan), 0);
    EXPECT_EQ(SetSoundPitch(sound, c.pitch), 0);
    EXPECT_EQ(SetMasterVolume(c.master), 0);
    // Refused values and handles change nothing.
    for (int bad : {-1, 256}) EXPECT_EQ(SetSoundVolume(sound, bad), -1) << bad;
    for (int bad : {-256, 256}) EXPECT_EQ(SetSoundPan(sound, bad), -1) << bad;
    for (int bad : {24, 401}) EXPECT_EQ(SetSoundPitch(sound, bad), -1) << bad;
    for (int bad : {-1, 256}) EXPECT_EQ(SetMasterVolume(bad), -1) << bad;
    for (int handle : {-1, 0, sound + 1})
        EXPECT_EQ(SetSoundVolume(handle, 0) + SetSoundPan(handle, 0) + SetSoundPitch(handle, 100),
                  -3) << handle;
    WaitMs(750);
    EndLibrary();
    PcmData pcm = ReadPcmWave(ReadFile("out.wav"));
    std::vector<int16_t> out = FromSamples16(pcm.data);
    ASSERT_GE(out.size(), size_t(44100 * 2));

    // The tone starts with a zero sample; the change is as far on as the clock moved.
    size_t start = 0;
    while (start < out.size() && out[start] == 0) ++start;
    start = start / 2 - 1;
    size_t edge = start + size_t((changed - played) * 441 / 10000);
    ASSERT_LT(edge + 44100 / 2, out.size() / 2);
    Heard before = Measure(out, start + 441, edge - 441);
    Heard after = Measure(out, edge + 441, out.size() / 2 - 441);
    Heard loaded = Expected({"", false, c.copies, 255, 0, 100, 255});
    Heard expected = Expected(c);
    for (int ch = 0; ch < 2; ++ch) {
        EXPECT_NEAR(before.rms[ch], loaded.rms[ch], loaded.rms[ch] * 0.01 + 2) << ch;
        EXPECT_NEAR(after.rms[ch], expected.rms[ch], expected.rms[ch] * 0.01 + 2) << ch;
    }
    EXPECT_NEAR(before.hz, ToneHz, 3);
    if (c.volume && c.master) EXPECT_NEAR(after.hz, expected.hz, expected.hz * 0.01 + 2);
    // Both levels hold right up to the edge: a cycle of each side of it.
    auto peak = [&](size_t from, size_t to) {
        double most = 0;
        for (size_t i = from * 2; i < to * 2; ++i) most = std::max(most, std::fabs(out[i]));
        return most;
    };
    double loadedPeak = c.copies * Amplitude;
    double expectedPeak = std::max(expected.rms[0], expected.rms[1]) * std::sqrt(2.0);
    EXPECT_NEAR(peak(edge - 101, edge - 1), loadedPeak, loadedPeak * 0.01);
    EXPECT_NEAR(peak(edge + 1, edge + 402), expectedPeak, loadedPeak * 0.01);
}

INSTANTIATE_TEST_SUITE_P(
    Controls, SoundControl,
    ::testing::Values(Controls{"as_loaded", false, 1, 255, 0, 100, 255},
                      Controls{"half_volume", false, 1, 128, 0, 100, 255},
                      Controls{"silent", false, 1, 0, 0, 100, 255},
                      Controls{"hard_left", false, 1, 255, -255, 100, 255},
                      Controls{"right_of_centre", false, 1, 200, 100, 100, 255},
                      Controls{"hard_right_quarter_master", false, 1, 255, 255, 100, 64},
                      Controls{"pitch_quarter", false, 1, 255, 0, 25, 255},
                      Controls{"pitch_four_times", false, 1, 255, 0, 400, 255},
                      Controls{"pitch_odd", false, 1, 100, -40, 137, 200},
                      Controls{"two_copies", false, 2, 90, 60, 150, 255},
                      Controls{"streamed", true, 1, 170, -128, 73, 230}),
    [](const ::testing::TestParamInfo<Controls>& info) { return std::string(info.param.name); });

}  // namespace
