// Tessel's public header, the part of sound. Programs include tessel.h, which
// includes every part.
#ifndef TESSEL_PUBLIC_SOUND_H
#define TESSEL_PUBLIC_SOUND_H

#include "tessel/core.h"

#pragma GCC visibility push(default)

// ---------------------------------------------------------------------------
// Sound
// ---------------------------------------------------------------------------

int LoadSoundFile(const char* path);
// How PlaySoundHandle plays a sound; any other value plays as PlayBackground.
constexpr int PlayNormal = 0;      // plays once and returns when it has ended, pumping messages
constexpr int PlayBackground = 1;  // plays once and returns at once
constexpr int PlayLoop = 3;        // plays over and over until stopped, and returns at once
// fromStart 1 starts from the first sample, 0 goes on from where the sound
// was stopped. 0, or -1 for an invalid handle or a failing device.
int PlaySoundHandle(int sound, int playType, int fromStart);
int IsSoundPlaying(int sound);
// `buffers` copies (1..10) let the same sound overlap itself that many times.
int LoadSoundFileWithBuffers(const char* path, int buffers);
int StopSoundHandle(int sound);               // 0, or -1 for an invalid handle
// Frees one sound, logging its file name when `logIt` is non-zero. 0, or -1
// for an invalid handle or without a sound device.
int ReleaseSoundHandle(int sound, int logIt);
int ReleaseAllSoundHandles(int logIt);        // 0, or -1 without a sound device

#pragma GCC visibility pop

#endif
