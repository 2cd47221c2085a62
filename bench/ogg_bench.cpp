// Loading a 60 s Ogg Vorbis file into a sound handle against a plain
// libvorbisfile loop decoding the same file to 16-bit PCM in memory, in one
// run. The file is made once with sox; both sides read it from disk on each
// pass.
//
// Streaming the same file: how long loading it streamed and starting it
// takes, and what one second of it costs (the pump's service sixty times
// and the mix of that second) against libvorbisfile decoding one second
// alone.
#include "platform/media/audio.h"
#include "sound/sound.h"
#include "tessel.h"

#include <benchmark/benchmark.h>
#include <vorbis/vorbisfile.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <vector>

namespace {

const char* const OggPath = "ogg_bench.ogg";

void MakeFile() {
    static const bool made = [] {
        return std::system("sox -n -r 44100 -c 2 ogg_bench.ogg synth 60 sine 440 sine 660 "
                           "> /dev/null 2>&1") == 0;
    }();
    if (!made) std::abort();
}

void StartLibrary() {
    static const bool started = [] {
        setenv("TESSEL_PLATFORM", "headless", 1);
        unsetenv("TESSEL_AUDIO_OUT");
        SetLogEnabled(0);
        return InitLibrary() == 0;
    }();
    if (!started) std::abort();
}

void BM_LoadSoundFileOgg(benchmark::State& state) {
    MakeFile();
    StartLibrary();
    for (auto _ : state) {
        int sound = LoadSoundFile(OggPath);
        if (sound == -1) state.SkipWithError("the file did not load");
        ReleaseSoundHandle(sound, 0);
    }
}
BENCHMARK(BM_LoadSoundFileOgg)->Unit(benchmark::kMillisecond);

void BM_VorbisfileLoop(benchmark::State& state) {
    MakeFile();
    for (auto _ : state) {
        OggVorbis_File file;
        if (ov_fopen(OggPath, &file) != 0) state.SkipWithError("the file did not open");
        std::vector<char> pcm(size_t(ov_pcm_total(&file, -1)) * ov_info(&file, -1)->channels * 2);
        size_t filled = 0;
        int section = 0;
        long got = 0;
        while (filled < pcm.size() &&
               (got = ov_read(&file, pcm.data() + filled, int(pcm.size() - filled), 0, 2, 1,
                              &section)) > 0)
            filled += size_t(got);
        benchmark::DoNotOptimize(pcm.data());
        ov_clear(&file);
    }
}
BENCHMARK(BM_VorbisfileLoop)->Unit(benchmark::kMillisecond);

void BM_StreamedOggStart(benchmark::State& state) {
    MakeFile();
    StartLibrary();
    for (auto _ : state) {
        int sound = LoadSoundFileStreamed(OggPath);
        if (sound == -1 || PlaySoundHandle(sound, PlayBackground, 1) != 0)
            state.SkipWithError("the file did not play");
        state.PauseTiming();
        ReleaseSoundHandle(sound, 0);
        state.ResumeTiming();
    }
}
BENCHMARK(BM_StreamedOggStart)->Unit(benchmark::kMillisecond);

constexpr int PumpsPerSecond = 60;
constexpr uint32_t FramesPerPump = 44100 / PumpsPerSecond;

// One second of playing: the clock stands still, so the only mixing is
// what this does, a pump's worth at a time as a 60 Hz game would see it.
void BM_StreamedOggSecond(benchmark::State& state) {
    MakeFile();
    StartLibrary();
    int sound = LoadSoundFileStreamed(OggPath);
    if (sound == -1 || PlaySoundHandle(sound, PlayLoop, 1) != 0) state.SkipWithError("no sound");
    std::vector<int16_t> out(FramesPerPump * 2);
    for (auto _ : state) {
        for (int pump = 0; pump < PumpsPerSecond; ++pump) {
            PlatAudioMix(out.data(), FramesPerPump);
            ServiceSoundStreams();
        }
        benchmark::DoNotOptimize(out.data());
    }
    ReleaseSoundHandle(sound, 0);
}
BENCHMARK(BM_StreamedOggSecond)->Unit(benchmark::kMicrosecond);

// libvorbisfile alone decoding one second, in the pieces ov_read gives,
// over and over through the file.
void BM_VorbisfileSecond(benchmark::State& state) {
    MakeFile();
    OggVorbis_File file;
    if (ov_fopen(OggPath, &file) != 0) state.SkipWithError("the file did not open");
    std::vector<char> piece(4096);
    constexpr long SecondBytes = 44100 * 4;
    for (auto _ : state) {
        for (long done = 0; done < SecondBytes;) {
            int section = 0;
            long got = ov_read(&file, piece.data(), int(std::min<long>(4096, SecondBytes - done)),
                               0, 2, 1, &section);
            if (got <= 0) {
                ov_pcm_seek(&file, 0);
                continue;
            }
            done += got;
        }
        benchmark::DoNotOptimize(piece.data());
    }
    ov_clear(&file);
}
BENCHMARK(BM_VorbisfileSecond)->Unit(benchmark::kMicrosecond);

}  // namespace
