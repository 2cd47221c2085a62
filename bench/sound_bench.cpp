// Sound buffers: making and filling one for a sound (what loading costs after
// decoding), and mixing one playing buffer, for sounds at the output rate and
// at lower rates. A buffer keeps its sound at its own rate, so filling costs
// the sound's own bytes and the rate shows only in the mix, where a sound at
// the output rate is taken sample for sample.
#include "platform/media/audio.h"
#include "platform/platform.h"

#include <benchmark/benchmark.h>

#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <vector>

namespace {

constexpr uint32_t MixFrames = 1024;

// The headless device, opened once for the whole run.
void OpenDevice() {
    static const bool opened = [] {
        setenv("TESSEL_PLATFORM", "headless", 1);
        unsetenv("TESSEL_AUDIO_OUT");
        PlatAudioCaps caps{};
        return PlatStart() == 0 && PlatAudioOpen(&caps) == 0;
    }();
    if (!opened) std::abort();
}

// One second of a 16-bit stereo sound at `rate`, made and filled.
PlatSoundBuffer* MakeFilled(int rate, const std::vector<uint8_t>& pcm) {
    PlatPcmFormat format{2, rate, 16};
    PlatSoundBuffer* buffer = PlatSoundBufferCreate(&format, uint32_t(pcm.size()), 0);
    void* first = nullptr;
    uint32_t firstBytes = 0;
    PlatSoundBufferLock(buffer, 0, uint32_t(pcm.size()), &first, &firstBytes, nullptr, nullptr);
    std::memcpy(first, pcm.data(), firstBytes);
    PlatSoundBufferUnlock(buffer);
    return buffer;
}

std::vector<uint8_t> Second(int rate) {
    std::vector<uint8_t> pcm(size_t(rate) * 4);
    for (size_t i = 0; i < pcm.size(); ++i) pcm[i] = uint8_t(i * 37);
    return pcm;
}

void LoadBuffer(benchmark::State& state) {
    OpenDevice();
    int rate = int(state.range(0));
    std::vector<uint8_t> pcm = Second(rate);
    for (auto _ : state) {
        PlatSoundBuffer* buffer = MakeFilled(rate, pcm);
        benchmark::DoNotOptimize(buffer);
        PlatSoundBufferRelease(buffer);
    }
    state.SetBytesProcessed(int64_t(state.iterations()) * int64_t(pcm.size()));
}

void MixBuffer(benchmark::State& state) {
    OpenDevice();
    int rate = int(state.range(0));
    PlatSoundBuffer* buffer = MakeFilled(rate, Second(rate));
    PlatSoundBufferPlay(buffer, 1);
    std::vector<int16_t> out(MixFrames * 2);
    for (auto _ : state) {
        PlatAudioMix(out.data(), MixFrames);
        benchmark::DoNotOptimize(out.data());
    }
    PlatSoundBufferRelease(buffer);
    state.SetItemsProcessed(int64_t(state.iterations()) * MixFrames);
}

BENCHMARK(LoadBuffer)->Arg(44100)->Arg(22050)->Arg(100);
BENCHMARK(MixBuffer)->Arg(44100)->Arg(22050)->Arg(100);

}  // namespace
