// Feeds arbitrary bytes to the movie player as LoadGraphFile meets a file no
// image decoder takes: opened through the file layer, then every frame
// decoded and written into the graph, the sound read alongside, a seek back
// to the start and the graph freed. Nothing may end the program, and no
// movie may be left open.
#include "graphics/graph.h"
#include "memory_files.h"
#include "movie/movie.h"
#include "tessel.h"

#include <cstdint>
#include <cstdlib>

namespace {

// Enough for any seed; a mutated file claiming more frames is cut short.
constexpr int MaxFrames = 600;
constexpr int SoundFrames = 4096;

void DecodeAll(int graph) {
    MovieRecord* movie = GetGraphMovie(graph);
    if (!movie) std::abort();
    static uint8_t sound[SoundFrames * 4];
    int64_t t = 0;
    for (int frame = 0; frame < MaxFrames && !PlatMovieAtEnd(movie->decoder); ++frame) {
        t += movie->info.frameUs;
        if (PlatMovieAdvance(movie->decoder, t, MovieFramesPerLook)) WriteMovieFrame(movie);
        PlatMovieReadAudio(movie->decoder, sound, SoundFrames / 8);
    }
    SeekMovieGraph(graph, 0);
    DrawGraph(0, 0, graph, 0);
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
    StartFuzzLibrary();
    gMovie.decoderThreads = 1;
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    ServeFuzzInput(data, size, nullptr);
    int graph = LoadGraphFile("input.mov");
    if (graph >= 0) {
        DecodeAll(graph);
        if (FreeGraphHandle(graph, 0) != 0) std::abort();
    }
    if (gGraph.graphs.count != 0 || gMovie.movies.count != 0) std::abort();
    return 0;
}
