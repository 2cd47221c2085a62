// The movie table, its start and end, and what the rest of the library calls
// through the hooks this layer installs.
#include "movie/movie.h"

#include "core/core.h"
#include "graphics/graph.h"
#include "graphics/movie_hook.h"

namespace {

HandleRecord* movieSlots[MovieCapacity];

int HookOpen(const char* path, int* width, int* height) {
    return OpenMovie(path, gMovie.decoderThreads, width, height);
}

void HookAttach(int handle, int graph) {
    MovieRecord* movie = GetMovieRecord(handle);
    if (!movie) return;
    movie->graph = graph;
    WriteMovieFrame(movie);
}

void HookClose(int handle) { CloseMovie(handle); }

void HookBringFrame(int handle) {
    if (MovieRecord* movie = GetMovieRecord(handle)) UpdateMovie(movie);
}

template <typename Step>
void EachMovie(Step step) {
    for (int slot = 0; slot < gMovie.movies.highWater; ++slot)
        if (gMovie.movies.slots[slot]) step(HandleTableRecordAt<MovieRecord>(&gMovie.movies, slot));
}

void PauseAllMovies() {
    EachMovie([](MovieRecord* movie) {
        if (!movie->playing) return;
        PauseMovie(movie);
        movie->pausedByDeactivation = 1;
    });
}

void ResumePausedMovies() {
    EachMovie([](MovieRecord* movie) {
        if (!movie->pausedByDeactivation) return;
        movie->pausedByDeactivation = 0;
        ResumeMovie(movie);
    });
}

size_t ReadThrough(void* buffer, size_t size, size_t count, void* file) {
    return GetFileAccessFunctions()->read(buffer, size, count, file);
}

int SeekThrough(void* file, int32_t offset, int origin) {
    return GetFileAccessFunctions()->seek(file, offset, origin);
}

int32_t TellThrough(void* file) { return GetFileAccessFunctions()->tell(file); }

constexpr SubsystemHooks kHooks{.pump = ServiceMovies,
                                 .activate = ResumePausedMovies,
                                 .deactivate = PauseAllMovies,
                                 .openMovie = HookOpen,
                                 .attachMovie = HookAttach,
                                 .closeMovie = HookClose,
                                 .bringMovieFrame = HookBringFrame};

}  // namespace

MovieState gMovie = {{HandleMovie, MovieCapacity, movieSlots, 0, 0, 0}, 0, 0, 0};

int InitMovies() {
    if (gMovie.started) return 0;
    HandleTableReset(&gMovie.movies);
    RegisterHooks(HookMovies, &kHooks);
    gMovie.started = 1;
    return 0;
}

int EndMovies() {
    if (!gMovie.started) return 0;
    for (int slot = 0; slot < gMovie.movies.highWater; ++slot)
        if (gMovie.movies.slots[slot]) CloseMovie(HandleOfSlot(&gMovie.movies, slot));
    RegisterHooks(HookMovies, nullptr);
    gMovie.started = 0;
    return 0;
}

MovieRecord* GetMovieRecord(int movie) {
    return HandleTableGetAs<MovieRecord>(&gMovie.movies, movie);
}

MovieRecord* GetGraphMovie(int graph) {
    if (!LibraryRunning()) return nullptr;
    GraphRecord* record = GetGraphRecord(graph);
    return record ? GetMovieRecord(record->movie) : nullptr;
}

int OpenMovie(const char* path, int threads, int* width, int* height) {
    if (!gMovie.started) return -1;
    int slot = HandleTableReserve(&gMovie.movies, sizeof(MovieRecord));
    if (slot == HandleTableFull) {
        LogFailureFormat(SJIS("ムービーの数が許容量の %d を越えたため %s を開けません"),
                       MovieCapacity, path);
        return -1;
    }
    if (slot < 0) return -1;
    MovieRecord* movie = HandleTableRecordAt<MovieRecord>(&gMovie.movies, slot);
    const FileAccessFunctions* files = GetFileAccessFunctions();
    movie->file = files->open(path, 0, 1);
    if (!movie->file) {
        HandleTableDiscard(&gMovie.movies, slot);
        return -1;
    }
    PlatMovieSource source = {movie->file, ReadThrough, SeekThrough, TellThrough};
    PlatPcmFormat mixer{};
    if (PlatAudioIsOpen()) PlatAudioGetFormat(&mixer);
    int error = 0;
    movie->decoder = PlatMovieOpen(&source, path, PlatAudioIsOpen() ? &mixer : nullptr, threads,
                                   &movie->info, &error);
    if (!movie->decoder) {
        files->close(movie->file);
        HandleTableDiscard(&gMovie.movies, slot);
        if (error == MovieTooLarge)
            LogFailureFormat(SJIS("ムービー %s の画像は大きすぎて扱えません"), path);
        return -1;
    }
    movie->graph = -1;
    movie->volume = 255;
    movie->restartPump = -1;
    OpenMovieSound(movie);
    *width = movie->info.width;
    *height = movie->info.height;
    HandleTableStamp(&gMovie.movies, slot);
    return HandleTableCommit(&gMovie.movies, slot);
}

int CloseMovie(int handle) {
    MovieRecord* movie = GetMovieRecord(handle);
    if (!movie) return -1;
    CloseMovieSound(movie);
    PlatMovieClose(movie->decoder);
    GetFileAccessFunctions()->close(movie->file);
    GraphRecord* graph = GetGraphRecord(movie->graph);
    if (graph && graph->movie == handle) graph->movie = -1;
    return HandleTableRemove(&gMovie.movies, handle);
}
