// Loading a 60 s Ogg Vorbis file into a sound handle against a plain
// libvorbisfile loop decoding the same file to 16-bit PCM in memory, in one
// run. The file is made once with sox; both sides read it from disk on each
// pass.
#include "tessel.h"

#include <benchmark/benchmark.h>
#include <vorbis/vorbisfile.h>

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

}  // namespace
