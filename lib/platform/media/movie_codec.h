// Decoding movie files: the container read through the caller's file
// functions, the video stream decoded frame by frame and converted to a
// surface's pixel format, the first audio stream decoded and resampled to the
// mixer's output format. Nothing here runs on another thread of ours; the
// decoders may use threads of their own inside a call.
#ifndef TESSEL_PLATFORM_MOVIE_CODEC_H
#define TESSEL_PLATFORM_MOVIE_CODEC_H

#include "platform/pixels/pixel_format.h"
#include "platform/media/audio.h"

#include <cstddef>
#include <cstdint>

// Where the bytes come from: an open file and the library's file functions
// over it. The caller opens and closes the file.
struct PlatMovieSource {
    void* file;
    size_t (*read)(void* buffer, size_t size, size_t count, void* file);
    int (*seek)(void* file, int32_t offset, int origin);
    int32_t (*tell)(void* file);
};

struct PlatMovieInfo {
    int width, height;   // of the pictures as shown, after the stream's rotation
    int64_t frameUs;     // how long one frame shows, from the stream's rate
    int64_t lengthUs;    // as the file says; 0 when it does not
    int hasAudio;        // an audio stream is decoded
};

// Why PlatMovieOpen failed.
enum PlatMovieError : int {
    MovieNotOpened = 1,  // no demuxer or decoder accepts the file
    MovieNoVideo,        // no video stream
    MovieTooLarge,       // a side above MovieMaxSide, or a frame above MovieMaxFrameBytes
    MovieStillImage,     // only a still-image demuxer takes the file
};

constexpr int MovieMaxSide = 16384;
constexpr int64_t MovieMaxFrameBytes = int64_t{256} << 20;

struct PlatMovie;

// Opens the movie. `audio` is the format its sound is wanted in, or null
// for no sound; `threads` 0 lets the decoders choose. Null on failure with
// `*error` set.
PlatMovie* PlatMovieOpen(const PlatMovieSource* source, const char* name,
                         const PlatPcmFormat* audio, int threads, PlatMovieInfo* info,
                         int* error);
void PlatMovieClose(PlatMovie* movie);

// Decodes on to the last frame whose time is at most `timeUs` (the frames
// before it are decoded and dropped), taking at most `maxFrames` frames; the
// first frame is taken whatever its time. The number of frames taken: 0 when
// the current frame did not change.
int PlatMovieAdvance(PlatMovie* movie, int64_t timeUs, int maxFrames);
// The current frame's time from the start, in microseconds; -1 before one.
int64_t PlatMovieFrameUs(const PlatMovie* movie);
// 1 when no frame follows the current one.
int PlatMovieAtEnd(const PlatMovie* movie);
// Goes back to a key frame before `timeUs`, then decodes on to the frame
// shown at that time (the last frame for a time past the end); the sound
// starts again at that time. 0, or -1 with the movie left at the frame it
// showed.
int PlatMovieSeek(PlatMovie* movie, int64_t timeUs);

// Writes the current frame, turned as the stream says it is shown and scaled
// to `width` x `height`, into `pixels` in
// `format` (5:6:5 or 5:5:5 words, 8:8:8 in three or four bytes). 0, or -1
// for another format or before the first frame.
int PlatMovieConvert(PlatMovie* movie, uint8_t* pixels, int pitch, const ColorFormat* format,
                     int width, int height);

// Up to `frames` frames of sound in the format given at opening; fewer only
// at the end of the stream. The count written.
int PlatMovieReadAudio(PlatMovie* movie, uint8_t* out, int frames);

#endif
