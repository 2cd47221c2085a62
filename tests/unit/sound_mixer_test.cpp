// The mixer behind the platform's sound buffers, driven by hand on the
// headless device: nothing here moves the clock, so only the explicit
// PlatAudioMix calls mix.
#include "platform/media/audio.h"
#include "platform/platform.h"
#include "support/harness.h"
#include "support/sound_files.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <vector>

namespace {

class Mixer : public ::testing::Test {
protected:
    ScratchDir dir;
    PlatAudioCaps caps{};

    void SetUp() override {
        UseHeadless();
        unsetenv("TESSEL_AUDIO_OUT");
        ASSERT_EQ(PlatStart(), 0);
        ASSERT_EQ(PlatAudioOpen(&caps), 0);
    }
    void TearDown() override {
        PlatAudioClose();
        PlatStop();
    }

    PlatSoundBuffer* Make(int channels, int rate, int bits, const std::string& bytes) {
        PlatPcmFormat format{channels, rate, bits};
        PlatSoundBuffer* buffer = PlatSoundBufferCreate(&format, uint32_t(bytes.size()), 0);
        if (!buffer) return nullptr;
        void* first = nullptr;
        void* second = nullptr;
        uint32_t firstBytes = 0, secondBytes = 0;
        EXPECT_EQ(PlatSoundBufferLock(buffer, 0, uint32_t(bytes.size()), &first, &firstBytes,
                                      &second, &secondBytes), 0);
        EXPECT_EQ(firstBytes, bytes.size());
        EXPECT_EQ(second, nullptr);
        std::memcpy(first, bytes.data(), bytes.size());
        EXPECT_EQ(PlatSoundBufferUnlock(buffer), 0);
        return buffer;
    }

    // `frames` frames of stereo 16-bit output.
    std::vector<int16_t> Mix(uint32_t frames) {
        std::vector<int16_t> out(frames * 2, 12345);
        PlatAudioMix(out.data(), frames);
        return out;
    }

    uint32_t Status(PlatSoundBuffer* buffer) {
        uint32_t status = 99;
        EXPECT_EQ(PlatSoundBufferStatus(buffer, &status), 0);
        return status;
    }

    uint32_t Position(PlatSoundBuffer* buffer) {
        uint32_t position = 99;
        EXPECT_EQ(PlatSoundBufferGetPosition(buffer, &position), 0);
        return position;
    }
};

std::vector<int16_t> Repeat(std::vector<int16_t> part, size_t times) {
    std::vector<int16_t> all;
    for (size_t i = 0; i < times; ++i) all.insert(all.end(), part.begin(), part.end());
    return all;
}

TEST_F(Mixer, PlayingBuffersAreSummedWithSaturation) {
    PlatSoundBuffer* a = Make(2, 44100, 16, Samples16({20000, -20000, 20000, 100}));
    PlatSoundBuffer* b = Make(2, 44100, 16, Samples16({20000, -20000, -5000, 100}));
    ASSERT_TRUE(a && b);
    ASSERT_EQ(PlatSoundBufferPlay(a, 0), 0);
    ASSERT_EQ(PlatSoundBufferPlay(b, 0), 0);
    EXPECT_EQ(Mix(3), (std::vector<int16_t>{32767, -32768, 15000, 200, 0, 0}));
}

TEST_F(Mixer, OnceStopsAtTheEndAndGoesBackToTheStart) {
    std::vector<int16_t> pattern = Pattern(10, 1);
    PlatSoundBuffer* buffer = Make(2, 44100, 16, Samples16(pattern));
    ASSERT_EQ(PlatSoundBufferPlay(buffer, 0), 0);
    EXPECT_EQ(Status(buffer), SoundBufferPlaying);
    std::vector<int16_t> out = Mix(15);
    EXPECT_EQ(std::vector<int16_t>(out.begin(), out.begin() + 20), pattern);
    EXPECT_EQ(std::vector<int16_t>(out.begin() + 20, out.end()), std::vector<int16_t>(10, 0));
    EXPECT_EQ(Status(buffer), 0u);
    EXPECT_EQ(Position(buffer), 0u);
}

TEST_F(Mixer, LoopingWrapsAroundAndStopKeepsThePosition) {
    std::vector<int16_t> pattern = Pattern(10, 2);
    PlatSoundBuffer* buffer = Make(2, 44100, 16, Samples16(pattern));
    ASSERT_EQ(PlatSoundBufferPlay(buffer, 1), 0);
    EXPECT_EQ(Status(buffer), SoundBufferPlaying | SoundBufferLooping);
    std::vector<int16_t> out = Mix(25);
    std::vector<int16_t> loops = Repeat(pattern, 3);
    EXPECT_EQ(out, std::vector<int16_t>(loops.begin(), loops.begin() + 50));
    EXPECT_EQ(Position(buffer), 5u * 4);
    ASSERT_EQ(PlatSoundBufferStop(buffer), 0);
    EXPECT_EQ(Status(buffer), 0u);
    EXPECT_EQ(Mix(2), std::vector<int16_t>(4, 0));
    EXPECT_EQ(Position(buffer), 5u * 4);
    ASSERT_EQ(PlatSoundBufferPlay(buffer, 0), 0);
    out = Mix(1);
    EXPECT_EQ(out[0], pattern[10]);
    EXPECT_EQ(out[1], pattern[11]);
}

TEST_F(Mixer, Mono8BitAtHalfRateIsWidenedAndInterpolated) {
    PlatSoundBuffer* buffer = Make(1, 22050, 8, std::string("\x80\xC0\x40", 3));
    ASSERT_EQ(PlatSoundBufferPlay(buffer, 0), 0);
    EXPECT_EQ(Mix(7), (std::vector<int16_t>{0, 0, 8192, 8192, 16384, 16384, 0, 0, -16384, -16384,
                                            -16384, -16384, 0, 0}));
}

TEST_F(Mixer, PositionsAreInTheBuffersOwnBytes) {
    std::vector<int16_t> mono(1000);
    for (size_t i = 0; i < mono.size(); ++i) mono[i] = static_cast<int16_t>(i * 10 + 1);
    PlatSoundBuffer* buffer = Make(1, 22050, 16, Samples16(mono));
    ASSERT_EQ(PlatSoundBufferPlay(buffer, 0), 0);
    Mix(100);  // 50 source frames
    EXPECT_EQ(Position(buffer), 100u);
    ASSERT_EQ(PlatSoundBufferSetPosition(buffer, 600), 0);  // frame 300
    EXPECT_EQ(Position(buffer), 600u);
    std::vector<int16_t> out = Mix(1);
    EXPECT_EQ(out[0], mono[300]);
    EXPECT_EQ(PlatSoundBufferSetPosition(buffer, 2000), -1);
}

TEST_F(Mixer, LocksHandOutTwoRegionsWhenTheyWrap) {
    PlatPcmFormat format{1, 8000, 8};
    PlatSoundBuffer* buffer = PlatSoundBufferCreate(&format, 100, 0);
    ASSERT_NE(buffer, nullptr);
    void* first = nullptr;
    void* second = nullptr;
    uint32_t firstBytes = 0, secondBytes = 0;
    ASSERT_EQ(PlatSoundBufferLock(buffer, 80, 40, &first, &firstBytes, &second, &secondBytes), 0);
    EXPECT_EQ(firstBytes, 20u);
    EXPECT_EQ(secondBytes, 20u);
    EXPECT_EQ(static_cast<uint8_t*>(first) - static_cast<uint8_t*>(second), 80);
    // A new buffer is silence in its own format.
    EXPECT_EQ(static_cast<uint8_t*>(second)[0], 0x80);
    EXPECT_EQ(PlatSoundBufferLock(buffer, 0, 10, &first, &firstBytes, &second, &secondBytes), -1);
    EXPECT_EQ(PlatSoundBufferUnlock(buffer), 0);
    EXPECT_EQ(PlatSoundBufferUnlock(buffer), -1);
    EXPECT_EQ(PlatSoundBufferLock(buffer, 0, 101, &first, &firstBytes, &second, &secondBytes), -1);
    EXPECT_EQ(PlatSoundBufferLock(buffer, 100, 1, &first, &firstBytes, &second, &secondBytes), -1);
    // Without room for a second region, a wrapping lock is refused.
    EXPECT_EQ(PlatSoundBufferLock(buffer, 90, 20, &first, &firstBytes, nullptr, nullptr), -1);
}

TEST_F(Mixer, FormatsSizesAndFlagsOutsideWhatItMixesAreRefused) {
    PlatPcmFormat good{2, 44100, 16};
    EXPECT_NE(PlatSoundBufferCreate(&good, 4, 0x80E2), nullptr);
    EXPECT_NE(PlatSoundBufferCreate(&good, 4, 0xC2), nullptr);
    EXPECT_EQ(PlatSoundBufferCreate(&good, 4, 0x1), nullptr);  // a primary buffer
    EXPECT_EQ(PlatSoundBufferCreate(&good, 3, 0), nullptr);    // less than one frame
    EXPECT_EQ(PlatSoundBufferCreate(&good, AudioMaxBufferBytes + 1, 0), nullptr);
    for (PlatPcmFormat bad : {PlatPcmFormat{3, 44100, 16}, PlatPcmFormat{2, 44100, 24},
                              PlatPcmFormat{2, 50, 16}, PlatPcmFormat{0, 44100, 16}})
        EXPECT_EQ(PlatSoundBufferCreate(&bad, 64, 0), nullptr);
}

TEST_F(Mixer, AnOutputFormatChangeAppliesToTheBuffersAlreadyMade) {
    std::vector<int16_t> pattern = Pattern(100, 3);
    PlatSoundBuffer* buffer = Make(2, 44100, 16, Samples16(pattern));
    PlatPcmFormat half{1, 22050, 8};
    ASSERT_EQ(PlatAudioSetFormat(&half), 0);
    EXPECT_EQ(PlatAudioFrameBytes(), 1u);
    ASSERT_EQ(PlatSoundBufferPlay(buffer, 0), 0);
    std::vector<uint8_t> out(60, 0);
    PlatAudioMix(out.data(), 60);
    // Every other source frame, left and right averaged, as unsigned bytes.
    for (int i = 0; i < 50; ++i) {
        int mean = (pattern[i * 4] + pattern[i * 4 + 1]) / 2;
        EXPECT_EQ(out[i], (mean >> 8) + 128) << "frame " << i;
    }
    EXPECT_EQ(out[55], 128);
    EXPECT_EQ(Status(buffer), 0u);
    PlatPcmFormat bad{2, 44100, 12};
    EXPECT_EQ(PlatAudioSetFormat(&bad), -1);
}

// Levels and pitch on every format's loop, against a per-frame reference
// written here: linear interpolation between neighbouring source frames,
// then each channel's level, within a step of rounding.
TEST_F(Mixer, LevelsAndPitchScaleAndResampleEveryFormat) {
    const int cases[][6] = {  // channels, rate, bits, pitch, left and right levels
        {2, 44100, 16, 100, 30000, 70000}, {2, 44100, 16, 137, 65536, 0},
        {2, 22050, 16, 400, 92682, 12000}, {1, 44100, 16, 25, 40000, 65536},
        {1, 32000, 8, 150, 65536, 131072}, {2, 48000, 8, 90, 5000, 65536},
    };
    for (const auto& c : cases) {
        std::vector<int16_t> source = Pattern(400, c[3]);
        source.resize(400 * c[0]);
        std::string bytes;
        for (int16_t s : source) bytes += c[2] == 16 ? Samples16({s}) : std::string(1, char((s >> 8) + 128));
        PlatSoundBuffer* buffer = Make(c[0], c[1], c[2], bytes);
        ASSERT_EQ(PlatSoundBufferSetLevels(buffer, c[4], c[5]) + PlatSoundBufferSetPitch(buffer, c[3]), 0);
        ASSERT_EQ(PlatSoundBufferPlay(buffer, 1), 0);
        std::vector<int16_t> out = Mix(300);
        PlatSoundBufferRelease(buffer);
        auto at = [&](size_t frame, int channel) {
            int16_t s = source[(frame % 400) * c[0] + (c[0] == 2 ? channel : 0)];
            return c[2] == 16 ? double(s) : double((s >> 8) * 256);
        };
        for (int i = 0; i < 300; ++i) {
            double position = i * double(c[1]) * c[3] / 100 / 44100;
            auto frame = size_t(position);
            for (int ch = 0; ch < 2; ++ch) {
                double a = at(frame, ch), b = at(frame + 1, ch);
                double level = std::min(c[4 + ch] / 65536.0, 32767 / 16384.0);
                double expected = std::clamp((a + (b - a) * (position - frame)) * level, -32768.0, 32767.0);
                ASSERT_NEAR(out[i * 2 + ch], expected, 3 + std::fabs(b - a) / 8192)
                    << "case " << &c - cases << " frame " << i << " channel " << ch;
            }
        }
    }
}

}  // namespace
