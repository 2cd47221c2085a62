// What the mixer keeps of each buffer and of the device, shared by the
// buffer operations (audio.cpp) and the mixing loops (audio_mix.cpp).
#ifndef TESSEL_PLATFORM_AUDIO_INTERNAL_H
#define TESSEL_PLATFORM_AUDIO_INTERNAL_H

#include "platform/media/audio.h"

#include <cstdint>

// Play positions are source frames with a 32-bit fraction, so a step of
// any rate and pitch adds up without drift.
constexpr int CursorFractionBits = 32;
constexpr uint64_t CursorOne = uint64_t{1} << CursorFractionBits;
// Per-channel factors the loops multiply by: 1 << LevelBits is unity.
constexpr int LevelBits = 14;

struct PlatSoundBuffer {
    // The program's side.
    PlatPcmFormat format;         // of `bytes` and `mixed`
    uint32_t blockAlign;          // bytes per frame
    uint32_t size;                // bytes of `bytes` and of `mixed`
    uint8_t* bytes;               // what locking hands out; may be `mixed` itself
    int locked;                   // a lock is outstanding
    int streamed;                 // `mixed` is a ring the program feeds as it plays

    // The mixer's side, under the device lock.
    uint8_t* mixed;               // `bytes` as of the last unlock; null (silence) before one
    uint64_t frame;               // source frame the next output frame starts at
    uint64_t fraction;            // how far past `frame`, in 1/CursorOne
    int playing;                  // mixed by PlatAudioMix
    int gain;                     // of SoundBufferFullGain
    int levels[2];                // left and right, of SoundBufferUnityLevel
    int pitch;                    // percent of the buffer's own rate
    int looping;                  // starts over at the end instead of stopping
    // A streamed buffer: frames ever written and ever mixed (their difference
    // is what waits in the ring, `frame` being where it starts), and whether
    // the program has written its last frame.
    uint64_t written, consumed;
    int ended;

    PlatSoundBuffer* next;        // the device's list
};

struct MixerState {
    int open;                  // the back end's device is open
    PlatPcmFormat output;      // what PlatAudioMix writes
    int masterLevel;           // of SoundBufferUnityLevel, over every buffer
    PlatSoundBuffer* buffers;  // every buffer made, newest first
};

extern MixerState gMixer;

#endif
