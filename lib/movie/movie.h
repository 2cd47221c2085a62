// Movie playback into graphs: the movie table (handle type 3), each movie's
// clock and its sound in the mixer.
//
// A playing movie's time is the library's clock less `startUs`. With sound,
// the sound's play position is the better clock (the device plays at its own
// pace): when the two drift more than a frame apart, `startUs` moves so that
// the picture follows the sound.
#ifndef TESSEL_MOVIE_H
#define TESSEL_MOVIE_H

#include "core/handle.h"
#include "platform/media/audio.h"
#include "tessel/movie.h"
#include "platform/media/movie_codec.h"

#include <cstdint>

constexpr int MovieCapacity = 100;
// Frames decoded at one look at most: a movie further behind than this (the
// program stopped looking for seconds) goes on from where it is, late.
constexpr int MovieFramesPerLook = 120;

struct MovieSound {
    PlatSoundBuffer* buffer;   // a looping ring in the mixer's format; null without sound
    PlatPcmFormat format;
    uint32_t ringFrames;       // frames the ring holds
    uint64_t written;          // frames of the movie written into the ring
    uint64_t played;           // frames the mixer has played of them
    uint32_t lastPosition;     // ring position at the last look, in bytes
    int64_t lastLookUs;        // library clock at the last look
    int64_t baseUs;            // movie time of the ring's first written frame
    int ended;                 // the movie's sound has all been written
    int following;             // the picture follows the sound's position
};

struct MovieRecord {
    HandleRecord head;         // serial and delete flag target
    void* file;                // open through the file table in force
    PlatMovie* decoder;
    PlatMovieInfo info;
    int graph;                 // the graph it plays into, -1 before it has one
    int playing;               // the clock runs
    int looping;               // starts over at the end
    int pausedByDeactivation;  // resumes when the application is active again
    int64_t startUs;           // library clock at movie time 0, while playing
    int64_t timeUs;            // movie time, while paused
    int64_t endUs;             // where the last frame ends, once decoding reached it; else 0
    int64_t restartPump;       // the pump in which a looping movie last started over
    int volume;                // 0..255
    MovieSound sound;
};

struct MovieState {
    HandleTable movies;        // type 3
    int started;               // InitMovies ran, EndMovies not yet
    int decoderThreads;        // threads each decoder may use; 0 lets it choose
    int64_t pumps;             // pumps that ended since the library started
};

extern MovieState gMovie;

// Started by InitLibrary after the screen and sound; registers the movie
// hooks (graphs' movies, the pump, activation and deactivation). 0.
int InitMovies();
// Closes every movie and removes what InitMovies registered. 0.
int EndMovies();

MovieRecord* GetMovieRecord(int movie);
// The record of the movie playing into `graph`, or null.
MovieRecord* GetGraphMovie(int graph);
// Opens `path` as a movie; `threads` as for PlatMovieOpen. The handle, or -1
// (the table full is logged).
int OpenMovie(const char* path, int threads, int* width, int* height);
// Stops and releases everything the movie holds. 0, or -1.
int CloseMovie(int movie);

// movie_play.cpp
int64_t MovieNowUs();
// Decodes up to the frame due now, at most MovieFramesPerLook frames, and
// writes it into the graph when it changed. A looping movie starts over at
// most once a pump.
void UpdateMovie(MovieRecord* movie);
// Writes the decoder's current frame into the graph.
void WriteMovieFrame(MovieRecord* movie);
void PauseMovie(MovieRecord* movie);
void ResumeMovie(MovieRecord* movie);
// The end-of-pump service: every playing movie brought up to date.
void ServiceMovies();

// movie_sound.cpp
// Makes the ring when the mixer is open and the movie has sound.
void OpenMovieSound(MovieRecord* movie);
void CloseMovieSound(MovieRecord* movie);
// Empties the ring; the sound starts again at movie time `timeUs`.
void ResetMovieSound(MovieRecord* movie, int64_t timeUs);
void StartMovieSound(MovieRecord* movie);
void StopMovieSound(MovieRecord* movie);
// The mixer's gain for the movie's volume, from the next sample it mixes.
void SetMovieSoundVolume(MovieRecord* movie);
// Tops the ring up and moves `startUs` when the picture has drifted from the
// sound by more than a frame.
void FollowMovieSound(MovieRecord* movie, int64_t nowUs);

#endif
