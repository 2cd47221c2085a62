// Mixing 32 playing sounds, each with its own volume, pan and pitch, against
// SDL_mixer mixing the same 32 sounds with Mix_Volume and Mix_SetPanning
// (it has no pitch), in one run, 1024 stereo frames at 44100 Hz a call.
//
// SDL_mixer mixes from its device callback; here the device is never opened:
// SDL_OpenAudioDevice is taken over below so that SDL_mixer hands its
// callback to this program, which calls it on this thread as the audio
// thread would. Both sides then do exactly the work of one device period.
#include "platform/media/audio.h"
#include "platform/platform.h"

#include <SDL.h>
#include <SDL_mixer.h>
#include <benchmark/benchmark.h>

#include <cmath>
#include <cstdlib>
#include <cstring>
#include <vector>

namespace {

constexpr int Sounds = 32;
constexpr uint32_t Frames = 1024;

SDL_AudioCallback gMixerCallback;
void* gMixerData;

// One second of 16-bit stereo at 44100 Hz, different for each sound.
std::vector<uint8_t> Second(int seed) {
    std::vector<uint8_t> pcm(44100 * 4);
    for (size_t i = 0; i < pcm.size(); ++i) pcm[i] = uint8_t(i * 37 + seed * 11);
    return pcm;
}

int Volume(int i) { return 100 + i * 4; }   // of 255
int Pan(int i) { return -240 + i * 15; }    // -255 .. 255
int Pitch(int i) { return 80 + i * 13 / 10; }  // percent, none of them 100

void OpenHeadless() {
    static const bool opened = [] {
        setenv("TESSEL_PLATFORM", "headless", 1);
        unsetenv("TESSEL_AUDIO_OUT");
        PlatAudioCaps caps{};
        return PlatStart() == 0 && PlatAudioOpen(&caps) == 0;
    }();
    if (!opened) std::abort();
}

void BM_Mix32WithVolumePanPitch(benchmark::State& state) {
    OpenHeadless();
    bool samePitch = state.range(0) != 0;
    PlatPcmFormat format{2, 44100, 16};
    std::vector<PlatSoundBuffer*> buffers;
    for (int i = 0; i < Sounds; ++i) {
        std::vector<uint8_t> pcm = Second(i);
        PlatSoundBuffer* buffer = PlatSoundBufferCreate(&format, uint32_t(pcm.size()), 0);
        void* at = nullptr;
        uint32_t bytes = 0;
        PlatSoundBufferLock(buffer, 0, uint32_t(pcm.size()), &at, &bytes, nullptr, nullptr);
        std::memcpy(at, pcm.data(), bytes);
        PlatSoundBufferUnlock(buffer);
        // As the sound layer sets them: volume times the constant-power pan.
        double angle = (Pan(i) + 255) * M_PI / 4 / 255;
        double level = std::sqrt(2.0) * Volume(i) / 255 * SoundBufferUnityLevel;
        PlatSoundBufferSetLevels(buffer, int(level * std::cos(angle)), int(level * std::sin(angle)));
        PlatSoundBufferSetPitch(buffer, samePitch ? 100 : Pitch(i));
        PlatSoundBufferPlay(buffer, 1);
        buffers.push_back(buffer);
    }
    std::vector<int16_t> out(Frames * 2);
    for (auto _ : state) {
        PlatAudioMix(out.data(), Frames);
        benchmark::DoNotOptimize(out.data());
    }
    for (PlatSoundBuffer* buffer : buffers) PlatSoundBufferRelease(buffer);
    state.SetItemsProcessed(int64_t(state.iterations()) * Frames);
}
BENCHMARK(BM_Mix32WithVolumePanPitch)->ArgName("samePitch")->Arg(0)->Arg(1);

void BM_SdlMixer32WithVolumePan(benchmark::State& state) {
    setenv("SDL_AUDIODRIVER", "dummy", 1);
    if (Mix_OpenAudio(44100, AUDIO_S16LSB, 2, Frames) != 0 || !gMixerCallback) {
        state.SkipWithError("SDL_mixer did not open");
        return;
    }
    Mix_AllocateChannels(Sounds);
    std::vector<std::vector<uint8_t>> pcm;
    std::vector<Mix_Chunk*> chunks;
    for (int i = 0; i < Sounds; ++i) {
        pcm.push_back(Second(i));
        chunks.push_back(Mix_QuickLoad_RAW(pcm.back().data(), Uint32(pcm.back().size())));
        Mix_PlayChannel(i, chunks.back(), -1);
        // SDL_mixer's volume runs to 128, its panning by channel to 255.
        Mix_Volume(i, Volume(i) * MIX_MAX_VOLUME / 255);
        double angle = (Pan(i) + 255) * M_PI / 4 / 255;
        Mix_SetPanning(i, Uint8(255 * std::cos(angle)), Uint8(255 * std::sin(angle)));
    }
    std::vector<Uint8> out(Frames * 4);
    for (auto _ : state) {
        gMixerCallback(gMixerData, out.data(), int(out.size()));
        benchmark::DoNotOptimize(out.data());
    }
    Mix_HaltChannel(-1);
    for (Mix_Chunk* chunk : chunks) Mix_FreeChunk(chunk);
    Mix_CloseAudio();
    state.SetItemsProcessed(int64_t(state.iterations()) * Frames);
}
BENCHMARK(BM_SdlMixer32WithVolumePan);

}  // namespace

// SDL_mixer opens its device here: the callback is kept, no device is made,
// and the format asked for is granted as it is.
extern "C" SDL_AudioDeviceID SDL_OpenAudioDevice(const char*, int, const SDL_AudioSpec* desired,
                                                 SDL_AudioSpec* obtained, int) {
    gMixerCallback = desired->callback;
    gMixerData = desired->userdata;
    if (obtained) *obtained = *desired;
    return 1;
}
