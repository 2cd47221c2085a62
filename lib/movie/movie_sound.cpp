// A movie's sound in the mixer: a looping ring buffer in the mixer's own
// format, kept a quarter of a second ahead of the play position, with half a
// second of silence after what is written, so that a program that stops
// looking for a moment hears a gap rather than old sound.
//
// The frames played are counted from the ring's position; a wrap the
// position cannot show is told apart by the clock. When the ring ran dry the
// sound takes up again where it stopped and the picture waits for it.
#include "movie/movie.h"

#include <algorithm>
#include <cstring>
#include <vector>

namespace {

constexpr int64_t Micro = 1000000;
constexpr int64_t RingUs = 2000000;
constexpr int64_t AheadUs = 250000;
constexpr int64_t RefillUs = 150000;
constexpr int64_t SilenceUs = 500000;

uint32_t FrameBytes(const MovieSound& s) {
    return static_cast<uint32_t>(s.format.channels * s.format.bits / 8);
}

uint64_t FramesOf(const MovieSound& s, int64_t us) {
    return static_cast<uint64_t>(us * s.format.rate / Micro);
}

void Fill(MovieRecord* movie) {
    MovieSound& s = movie->sound;
    uint64_t ahead = s.written - s.played;
    if (s.ended || ahead >= FramesOf(s, RefillUs)) return;
    uint32_t bytesPerFrame = FrameBytes(s);
    uint64_t wanted = FramesOf(s, AheadUs) - ahead;
    uint64_t total = wanted + FramesOf(s, SilenceUs);
    std::vector<uint8_t> block(total * bytesPerFrame, s.format.bits == 8 ? 128 : 0);
    int got = PlatMovieReadAudio(movie->decoder, block.data(), static_cast<int>(wanted));
    if (static_cast<uint64_t>(got) < wanted) s.ended = 1;

    void* first = nullptr;
    void* second = nullptr;
    uint32_t firstBytes = 0, secondBytes = 0;
    uint32_t offset = static_cast<uint32_t>(s.written % s.ringFrames) * bytesPerFrame;
    if (PlatSoundBufferLock(s.buffer, offset, static_cast<uint32_t>(block.size()), &first,
                            &firstBytes, &second, &secondBytes) != 0)
        return;
    std::memcpy(first, block.data(), firstBytes);
    if (second) std::memcpy(second, block.data() + firstBytes, secondBytes);
    PlatSoundBufferUnlock(s.buffer);
    s.written += static_cast<uint64_t>(got);
}

}  // namespace

void OpenMovieSound(MovieRecord* movie) {
    MovieSound& s = movie->sound;
    s = MovieSound{};
    if (!movie->info.hasAudio || !PlatAudioIsOpen()) return;
    PlatAudioGetFormat(&s.format);
    s.ringFrames = static_cast<uint32_t>(FramesOf(s, RingUs));
    s.buffer = PlatSoundBufferCreate(&s.format, s.ringFrames * FrameBytes(s), 0);
    SetMovieSoundVolume(movie);
    ResetMovieSound(movie, 0);
}

void CloseMovieSound(MovieRecord* movie) {
    if (movie->sound.buffer) PlatSoundBufferRelease(movie->sound.buffer);
    movie->sound.buffer = nullptr;
}

void ResetMovieSound(MovieRecord* movie, int64_t timeUs) {
    MovieSound& s = movie->sound;
    if (!s.buffer) return;
    PlatSoundBufferStop(s.buffer);
    PlatSoundBufferSetPosition(s.buffer, 0);
    s.written = s.played = 0;
    s.lastPosition = 0;
    s.baseUs = timeUs;
    s.ended = 0;
    s.following = 1;
    Fill(movie);
}

void StartMovieSound(MovieRecord* movie) {
    MovieSound& s = movie->sound;
    if (!s.buffer || (s.ended && s.played >= s.written)) return;
    PlatSoundBufferGetPosition(s.buffer, &s.lastPosition);
    s.lastLookUs = MovieNowUs();
    Fill(movie);
    PlatSoundBufferPlay(s.buffer, 1);
}

void StopMovieSound(MovieRecord* movie) {
    if (movie->sound.buffer) PlatSoundBufferStop(movie->sound.buffer);
}

void SetMovieSoundVolume(MovieRecord* movie) {
    // The ring holds a quarter of a second decoded ahead: the volume is the
    // mixer's, so that it applies to that too.
    if (movie->sound.buffer)
        PlatSoundBufferSetGain(movie->sound.buffer, movie->volume * SoundBufferFullGain / 255);
}

void FollowMovieSound(MovieRecord* movie, int64_t nowUs) {
    MovieSound& s = movie->sound;
    uint32_t status = 0;
    if (!s.buffer || PlatSoundBufferStatus(s.buffer, &status) != 0 ||
        !(status & SoundBufferPlaying))
        return;
    uint32_t position = 0;
    PlatSoundBufferGetPosition(s.buffer, &position);
    uint32_t ringBytes = s.ringFrames * FrameBytes(s);
    uint64_t moved = ((position + ringBytes - s.lastPosition) % ringBytes) / FrameBytes(s);
    uint64_t expected = FramesOf(s, std::max<int64_t>(0, nowUs - s.lastLookUs));
    while (moved + s.ringFrames / 2 < expected) moved += s.ringFrames;
    s.played += moved;
    s.lastPosition = position;
    s.lastLookUs = nowUs;

    if (s.played >= s.written && s.ended) {
        // All of it has been heard; the picture runs on alone.
        PlatSoundBufferStop(s.buffer);
        s.following = 0;
        return;
    }
    if (s.played > s.written) {
        s.baseUs -= static_cast<int64_t>(s.played - s.written) * Micro / s.format.rate;
        s.written = s.played;
    }
    if (s.following) {
        int64_t heardUs = s.baseUs + static_cast<int64_t>(s.played) * Micro / s.format.rate;
        int64_t shownUs = nowUs - movie->startUs;
        if (std::abs(heardUs - shownUs) > movie->info.frameUs) movie->startUs = nowUs - heardUs;
    }
    Fill(movie);
}
