// Playing a 1280 x 720, 30 fps clip into a 5:6:5 graph, in H.264 and in VP9:
// every frame decoded and converted into the graph, against the ffmpeg
// command decoding the same clip to nothing (`ffmpeg -threads N -i clip -f
// null -`) in the same run, with the same number of decoder threads. Both
// report milliseconds per frame; the command's time includes starting the
// program, which a 150-frame clip makes small. And seeking backward through
// 5-minute MPEG transport and program streams, which keep no index of their
// own, once they have been seeked over to the end. The clips are made once
// by the ffmpeg command.
#include "graphics/graph.h"
#include "movie/movie.h"
#include "tessel.h"

#include <benchmark/benchmark.h>

#include <sys/resource.h>

#include <cstdio>
#include <cstdlib>
#include <string>

namespace {

constexpr int Frames = 150;

struct Clip {
    const char* file;
    const char* codec;
};

const Clip Clips[] = {
    {"movie_bench.mp4", "-c:v libx264 -preset veryfast -crf 23"},
    {"movie_bench.webm", "-c:v libvpx-vp9 -deadline realtime -cpu-used 8 -b:v 2M"},
};

const Clip LongClips[] = {
    {"movie_seek.ts", "-c:v libx264 -preset ultrafast -g 50"},
    {"movie_seek.mpg", "-c:v mpeg2video -q:v 4 -g 12"},
};

void MakeClip(const Clip& clip, const char* picture = "1280x720:r=30",
              int frames = Frames) {
    std::string command = "test -s " + std::string(clip.file) +
                          " || ffmpeg -v error -y -f lavfi -i testsrc2=s=" + picture +
                          " -frames:v " + std::to_string(frames) + " -pix_fmt yuv420p " +
                          clip.codec + " " + clip.file;
    if (std::system(command.c_str()) != 0) std::abort();
}

// Processor time used so far by this process (all threads) or by its
// finished children, in milliseconds.
double CpuMs(int who) {
    rusage usage{};
    getrusage(who, &usage);
    return (usage.ru_utime.tv_sec + usage.ru_stime.tv_sec) * 1e3 +
           (usage.ru_utime.tv_usec + usage.ru_stime.tv_usec) / 1e3;
}

void StartLibrary() {
    static const bool started = [] {
        setenv("TESSEL_PLATFORM", "headless", 1);
        unsetenv("TESSEL_AUDIO_OUT");
        SetLogEnabled(0);
        return InitLibrary() == 0 && SetScreenMode(640, 480, 16, -1) == 0;
    }();
    if (!started) std::abort();
}

// args: clip, decoder threads.
void BM_MovieGraph(benchmark::State& state) {
    const Clip& clip = Clips[state.range(0)];
    MakeClip(clip);
    StartLibrary();
    gMovie.decoderThreads = int(state.range(1));
    int frames = 0;
    double cpu = CpuMs(RUSAGE_SELF);
    for (auto _ : state) {
        int graph = LoadGraphFile(clip.file);
        MovieRecord* movie = GetGraphMovie(graph);
        if (!movie) {
            state.SkipWithError("the clip did not open");
            break;
        }
        // Half a frame past the next one's nominal time takes exactly that
        // frame, also where a container rounds times to milliseconds.
        while (!PlatMovieAtEnd(movie->decoder)) {
            int64_t t = PlatMovieFrameUs(movie->decoder) + movie->info.frameUs * 3 / 2;
            if (PlatMovieAdvance(movie->decoder, t, MovieFramesPerLook)) {
                WriteMovieFrame(movie);
                ++frames;
            }
        }
        ++frames;  // the first, written when the graph was made
        FreeGraphHandle(graph, 0);
    }
    state.counters["cpu_ms_per_frame"] = (CpuMs(RUSAGE_SELF) - cpu) / frames;
    state.counters["ms_per_frame"] = benchmark::Counter(
        double(frames) / 1000, benchmark::Counter::kIsRate | benchmark::Counter::kInvert);
}
BENCHMARK(BM_MovieGraph)
    ->ArgsProduct({{0, 1}, {1, 2}})
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime();

// args: clip. Each seek lands 7 s before the last, and from near the start
// back near the end.
void BM_MovieSeekBackward(benchmark::State& state) {
    const Clip& clip = LongClips[state.range(0)];
    MakeClip(clip, "160x120:r=25", 5 * 60 * 25);
    StartLibrary();
    gMovie.decoderThreads = 1;
    int graph = LoadGraphFile(clip.file);
    int length = GetMovieGraphLength(graph);
    if (graph < 0 || length < 60000 || SeekMovieGraph(graph, length) != 0) {
        state.SkipWithError("the clip did not open");
        return;
    }
    int at = length;
    for (auto _ : state) {
        at = at - 7000 < 1000 ? length - 1000 : at - 7000;
        if (SeekMovieGraph(graph, at) != 0) state.SkipWithError("the seek failed");
    }
    FreeGraphHandle(graph, 0);
}
BENCHMARK(BM_MovieSeekBackward)->DenseRange(0, 1)->Unit(benchmark::kMillisecond)->UseRealTime();

void BM_FfmpegCommand(benchmark::State& state) {
    const Clip& clip = Clips[state.range(0)];
    MakeClip(clip);
    std::string command = "ffmpeg -v error -threads " + std::to_string(state.range(1)) +
                          " -i " + clip.file + " -f null -";
    double cpu = CpuMs(RUSAGE_CHILDREN);
    for (auto _ : state)
        if (std::system(command.c_str()) != 0) state.SkipWithError("ffmpeg failed");
    state.counters["cpu_ms_per_frame"] =
        (CpuMs(RUSAGE_CHILDREN) - cpu) / (double(state.iterations()) * Frames);
    state.counters["ms_per_frame"] =
        benchmark::Counter(double(state.iterations()) * Frames / 1000,
                           benchmark::Counter::kIsRate | benchmark::Counter::kInvert);
}
BENCHMARK(BM_FfmpegCommand)
    ->ArgsProduct({{0, 1}, {1, 2}})
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime();

}  // namespace
