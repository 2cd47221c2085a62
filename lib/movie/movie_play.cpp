// A movie's clock and the public operations on movie graphs.
//
// Frame k of a movie is due from its own time on (k / fps for a steady
// rate). Each look decodes on to the last frame due and writes only that one
// into the graph, so a program that looks seldom sees frames dropped; only
// one that stops looking for seconds finds its movie late.
#include "movie/movie.h"

#include "core/core.h"
#include "graphics/graph.h"

#include <algorithm>
#include <climits>
#include <cstdlib>
#include <vector>

namespace {

int64_t LengthUs(const MovieRecord* movie) {
    return movie->endUs > 0 ? movie->endUs : movie->info.lengthUs;
}

int SaturatedMs(int64_t us) {
    return static_cast<int>(std::min<int64_t>(INT_MAX, std::max<int64_t>(0, us) / 1000));
}

// The end becomes known when decoding reaches the last frame.
void NoteEnd(MovieRecord* movie) {
    if (movie->endUs == 0 && PlatMovieAtEnd(movie->decoder))
        movie->endUs = PlatMovieFrameUs(movie->decoder) + movie->info.frameUs;
}

// Decodes on to the frame due at `nowUs`. A movie too far behind for one look
// goes on from the frame it reached rather than costing the program a pause.
int Advance(MovieRecord* movie, int64_t nowUs) {
    int taken = PlatMovieAdvance(movie->decoder, nowUs - movie->startUs, MovieFramesPerLook);
    if (taken == MovieFramesPerLook) movie->startUs = nowUs - PlatMovieFrameUs(movie->decoder);
    NoteEnd(movie);
    return taken > 0;
}

// Back to the start for another round, the clock moved on by whole lengths
// so that the time past the end carries over. However many rounds a short
// movie missed, it costs one seek.
void StartOver(MovieRecord* movie, int64_t nowUs) {
    movie->startUs += (nowUs - movie->startUs) / movie->endUs * movie->endUs;
    movie->restartPump = gMovie.pumps;
    PlatMovieSeek(movie->decoder, 0);
    ResetMovieSound(movie, 0);
    StartMovieSound(movie);
}

}  // namespace

int64_t MovieNowUs() { return GetTickUs(0); }

void WriteMovieFrame(MovieRecord* movie) {
    GraphRecord* graph = GetGraphRecord(movie->graph);
    if (!graph || graph->pieceCount == 0 || ScreenLockCount() > 0) return;
    BmpDataRecord* piece = GetBmpDataRecord(graph->pieces[0]);
    SurfaceDataRecord* record = piece ? GetSurfaceDataRecord(piece->surface) : nullptr;
    if (!record) return;
    RestoreSurfaceIfLost(piece->surface);
    int pitch = 0;
    uint8_t* pixels = nullptr;
    if (LockSurfaceData(piece->surface, &pitch, &pixels) == -1) return;
    const ColorFormat* format = &record->surface->format;
    if (PlatMovieConvert(movie->decoder, pixels, pitch, format, graph->width, graph->height) !=
        0) {
        // A format the converter does not write directly goes through 24-bit
        // colour and the library's own pixel conversion.
        int rowBytes = (graph->width * 3 + 3) & ~3;
        std::vector<uint8_t> bgr(static_cast<size_t>(rowBytes) * graph->height);
        if (PlatMovieConvert(movie->decoder, bgr.data(), rowBytes, &Bgr24Format, graph->width,
                             graph->height) == 0)
            ConvertPixels(pixels, pitch, format, bgr.data(), rowBytes, &Bgr24Format, nullptr, 0,
                          nullptr, 0, 0, 0, 0, graph->width, graph->height, 0, 0, 0, 0, 0);
    }
    UnlockSurfaceData(piece->surface);
}

void UpdateMovie(MovieRecord* movie) {
    if (!movie->playing) return;
    int64_t now = MovieNowUs();
    FollowMovieSound(movie, now);
    int changed = Advance(movie, now);
    if (movie->endUs > 0 && now - movie->startUs >= movie->endUs) {
        if (!movie->looping) {
            movie->timeUs = movie->endUs;
            movie->playing = 0;
            StopMovieSound(movie);
        } else if (movie->restartPump != gMovie.pumps) {
            // Until the next pump a movie round shorter than the pump
            // stays on its last frame.
            StartOver(movie, now);
            Advance(movie, now);
            changed = 1;
        }
    }
    if (changed) WriteMovieFrame(movie);
}

void PauseMovie(MovieRecord* movie) {
    if (!movie->playing) return;
    UpdateMovie(movie);
    if (!movie->playing) return;
    movie->timeUs = MovieNowUs() - movie->startUs;
    movie->playing = 0;
    StopMovieSound(movie);
}

void ResumeMovie(MovieRecord* movie) {
    if (movie->playing) return;
    movie->startUs = MovieNowUs() - movie->timeUs;
    movie->playing = 1;
    StartMovieSound(movie);
}

void ServiceMovies() {
    ++gMovie.pumps;
    for (int slot = 0; slot < gMovie.movies.highWater; ++slot)
        if (gMovie.movies.slots[slot])
            UpdateMovie(HandleTableRecordAt<MovieRecord>(&gMovie.movies, slot));
}

int PlayMovieGraph(int graph, int loop) {
    MovieRecord* movie = GetGraphMovie(graph);
    if (!movie) return -1;
    movie->looping = loop ? 1 : 0;
    if (movie->playing) return 0;
    // A movie that ran to its end starts again.
    if (movie->endUs > 0 && movie->timeUs >= movie->endUs) {
        PlatMovieSeek(movie->decoder, 0);
        ResetMovieSound(movie, 0);
        movie->timeUs = 0;
        WriteMovieFrame(movie);
    }
    ResumeMovie(movie);
    return 0;
}

int PauseMovieGraph(int graph) {
    MovieRecord* movie = GetGraphMovie(graph);
    if (!movie) return -1;
    movie->pausedByDeactivation = 0;
    PauseMovie(movie);
    return 0;
}

int SeekMovieGraph(int graph, int ms) {
    MovieRecord* movie = GetGraphMovie(graph);
    if (!movie) return -1;
    // Only the end found by decoding is sure; a time past the file's own
    // estimate may still be in the movie.
    int64_t target = std::max<int64_t>(0, int64_t{ms} * 1000);
    if (movie->endUs > 0) target = std::min(target, movie->endUs - 1);
    if (PlatMovieSeek(movie->decoder, target) != 0) return -1;
    // A time past the end shows the last frame, at the end.
    NoteEnd(movie);
    if (movie->endUs > 0) target = std::min(target, movie->endUs);
    if (movie->playing) StopMovieSound(movie);
    ResetMovieSound(movie, target);
    movie->timeUs = target;
    movie->startUs = MovieNowUs() - target;
    if (movie->playing) StartMovieSound(movie);
    WriteMovieFrame(movie);
    return 0;
}

int TellMovieGraph(int graph) {
    MovieRecord* movie = GetGraphMovie(graph);
    if (!movie) return -1;
    UpdateMovie(movie);
    return SaturatedMs(PlatMovieFrameUs(movie->decoder));
}

int GetMovieGraphLength(int graph) {
    MovieRecord* movie = GetGraphMovie(graph);
    return movie ? SaturatedMs(LengthUs(movie)) : -1;
}

int GetMovieGraphState(int graph) {
    MovieRecord* movie = GetGraphMovie(graph);
    if (!movie) return -1;
    UpdateMovie(movie);
    return movie->playing;
}

int SetMovieGraphVolume(int graph, int volume) {
    MovieRecord* movie = GetGraphMovie(graph);
    if (!movie) return -1;
    movie->volume = std::clamp(volume, 0, 255);
    SetMovieSoundVolume(movie);
    return 0;
}
