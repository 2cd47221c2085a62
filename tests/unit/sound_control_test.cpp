// Volume, pan, pitch and master volume, heard through the headless capture:
// each case plays a looping 441 Hz tone, changes the controls a quarter of a
// second in, and measures each channel's RMS and the pitch by zero crossings
// on both sides of the change, against the controls' definitions.
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

constexpr double ToneHz = 441, Amplitude = 12000;  // Tone's

struct Controls {
    const char* name;
    bool streamed;
    int copies;  // buffers of the sound, all started together
    int volume, pan, pitch, master;
};

struct Heard {
    double rms[2], hz, peak;
};

// Each channel's amplitude: linear in volume and master; the pan a quarter
// turn of cosine and sine, unity at the centre.
Heard Expected(const Controls& c) {
    double angle = (c.pan + 255) / 510.0 * std::numbers::pi / 2;
    double level = c.copies * Amplitude * c.volume / 255 * c.master / 255;
    double left = level * std::sqrt(2.0) * std::cos(angle);
    double right = level * std::sqrt(2.0) * std::sin(angle);
    return {{left, right}, ToneHz * c.pitch / 100, std::max(left, right)};
}

// Frames [begin, end) of the stereo output.
Heard Measure(const std::vector<int16_t>& out, size_t begin, size_t end) {
    Heard heard{};
    int crossings[2] = {};
    for (int c = 0; c < 2; ++c) {
        double sum = 0;
        for (size_t i = begin * 2 + c; i < end * 2; i += 2) {
            sum += double(out[i]) * out[i];
            heard.peak = std::max(heard.peak, std::fabs(out[i]));
            if (i >= begin * 2 + 2 && (out[i - 2] < 0) != (out[i] < 0)) ++crossings[c];
        }
        heard.rms[c] = std::sqrt(sum / double(end - begin));
    }
    heard.hz = std::max(crossings[0], crossings[1]) / 2.0 / ((end - begin) / 44100.0);
    return heard;
}

void ExpectHeard(const Heard& heard, const Heard& expected, bool pitched, const char* side) {
    for (int c = 0; c < 2; ++c)
        EXPECT_NEAR(heard.rms[c], expected.rms[c] / std::sqrt(2.0), expected.rms[c] * 0.01 + 2)
            << side << " channel " << c;
    if (pitched) EXPECT_NEAR(heard.hz, expected.hz, expected.hz * 0.01 + 2) << side;
}

class SoundControl : public ::testing::TestWithParam<Controls> {};

TEST_P(SoundControl, TheCaptureShowsVolumePanPitchAndMaster) {
    const Controls& c = GetParam();
    ScratchDir dir;
    UseHeadless();
    setenv("TESSEL_AUDIO_OUT", "out.wav", 1);
    ASSERT_EQ(InitLibrary(), 0);
    WriteFile("tone.wav", PcmWave(2, 44100, 16, Samples16(Tone(44100, 2, 44100, ToneHz))));
    int sound = c.streamed ? LoadSoundFileStreamed("tone.wav")
                           : LoadSoundFileWithBuffers("tone.wav", c.copies);
    ASSERT_NE(sound, -1);
    uint64_t played = HeadlessNowUs();
    for (int i = 0; i < c.copies; ++i) ASSERT_EQ(PlaySoundHandle(sound, PlayLoop, 1), 0);
    WaitMs(250);
    uint64_t changed = HeadlessNowUs();
    EXPECT_EQ(SetSoundVolume(sound, c.volume) + SetSoundPan(sound, c.pan) +
                  SetSoundPitch(sound, c.pitch) + SetMasterVolume(c.master), 0);
    // Refused values and handles change nothing.
    EXPECT_EQ(SetSoundVolume(sound, -1) + SetSoundVolume(sound, 256) + SetSoundPan(sound, -256) +
                  SetSoundPan(sound, 256) + SetSoundPitch(sound, 24) + SetSoundPitch(sound, 401) +
                  SetMasterVolume(-1) + SetMasterVolume(256), -8);
    for (int handle : {-1, 0, sound + 1})
        EXPECT_EQ(SetSoundVolume(handle, 0) + SetSoundPan(handle, 0) + SetSoundPitch(handle, 100),
                  -3) << handle;
    WaitMs(750);
    EndLibrary();
    unsetenv("TESSEL_AUDIO_OUT");
    std::vector<int16_t> out = FromSamples16(ReadPcmWave(ReadFile("out.wav")).data);

    // The tone opens with a zero sample; the change is as far on as the clock moved.
    size_t start = 0;
    while (start < out.size() && out[start] == 0) ++start;
    start = start / 2 - 1;
    size_t edge = start + size_t((changed - played) * 441 / 10000);
    ASSERT_LT(edge + 44100 / 2, out.size() / 2);
    Heard loaded = Expected({"", false, c.copies, 255, 0, 100, 255}), expected = Expected(c);
    ExpectHeard(Measure(out, start + 441, edge - 441), loaded, true, "before");
    ExpectHeard(Measure(out, edge + 441, out.size() / 2 - 441), expected, c.volume && c.master,
                "after");
    // Each level holds right up to the sample due at the change.
    double tolerance = c.copies * Amplitude * 0.01;
    EXPECT_NEAR(Measure(out, edge - 101, edge - 1).peak, loaded.peak, tolerance);
    EXPECT_NEAR(Measure(out, edge + 1, edge + 402).peak, expected.peak, tolerance);
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
