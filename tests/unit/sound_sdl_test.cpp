// The desktop audio device: SDL's "dummy" driver counts as no device, and
// with its "disk" driver the mix, pulled by SDL's audio thread, lands in a
// file sample for sample.
#include "platform/media/audio.h"
#include "platform/platform.h"
#include "sound/sound.h"
#include "support/harness.h"
#include "support/sound_files.h"
#include "tessel.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

namespace {

class SdlAudio : public ::testing::Test {
protected:
    ScratchDir dir;

    void Start(const char* driver) {
        setenv("TESSEL_PLATFORM", "sdl", 1);
        setenv("SDL_VIDEODRIVER", "dummy", 1);
        setenv("SDL_AUDIODRIVER", driver, 1);
        setenv("SDL_DISKAUDIOFILE", (dir.path() + "/out.raw").c_str(), 1);
        setenv("SDL_DISKAUDIODELAY", "1", 1);
        ASSERT_EQ(PlatStart(), 0);
        ASSERT_STREQ(PlatBackendName(), "sdl");
    }
    void TearDown() override {
        PlatAudioClose();
        PlatStop();
    }
};

TEST_F(SdlAudio, TheDummyDriverIsNoDevice) {
    Start("dummy");
    PlatAudioCaps caps{};
    EXPECT_EQ(PlatAudioOpen(&caps), -1);
    EXPECT_EQ(PlatAudioIsOpen(), 0);
    EXPECT_EQ(InitSoundDevice(), -1);
    WriteFile("a.wav", PcmWave(1, 8000, 8, std::string(64, '\x90')));
    EXPECT_EQ(LoadSoundFile("a.wav"), -1);
}

TEST_F(SdlAudio, TheDiskDriverReceivesTheMix) {
    Start("disk");
    PlatAudioCaps caps{};
    ASSERT_EQ(PlatAudioOpen(&caps), 0);
    char module[64], description[128];
    ASSERT_EQ(PlatAudioDeviceName(0, module, sizeof module, description, sizeof description), 0);
    EXPECT_STREQ(module, "disk");

    std::vector<int16_t> sound = Pattern(4410, 5);
    std::string bytes = Samples16(sound);
    PlatPcmFormat format{2, 44100, 16};
    PlatSoundBuffer* buffer = PlatSoundBufferCreate(&format, uint32_t(bytes.size()), 0);
    ASSERT_NE(buffer, nullptr);
    void* first = nullptr;
    uint32_t firstBytes = 0;
    ASSERT_EQ(PlatSoundBufferLock(buffer, 0, uint32_t(bytes.size()), &first, &firstBytes, nullptr,
                                  nullptr), 0);
    std::memcpy(first, bytes.data(), bytes.size());
    ASSERT_EQ(PlatSoundBufferUnlock(buffer), 0);
    ASSERT_EQ(PlatSoundBufferPlay(buffer, 0), 0);

    // The audio thread plays it out; give it up to ten seconds.
    uint32_t status = SoundBufferPlaying;
    for (int i = 0; i < 1000 && (status & SoundBufferPlaying); ++i) {
        PlatSleepMs(10);
        ASSERT_EQ(PlatSoundBufferStatus(buffer, &status), 0);
    }
    EXPECT_EQ(status, 0u);
    PlatAudioClose();

    std::vector<int16_t> out = FromSamples16(ReadFile("out.raw"));
    auto at = std::search(out.begin(), out.end(), sound.begin(), sound.end());
    ASSERT_NE(at, out.end()) << "the sound is not in the device's output";
    EXPECT_TRUE(std::all_of(out.begin(), at, [](int16_t s) { return s == 0; }));
}

}  // namespace
