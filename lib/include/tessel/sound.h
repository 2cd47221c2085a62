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

// Sound controls: each applies to every copy of the sound from the next
// sample mixed, and keeps until changed or the sound is released. 0, or -1
// for an invalid handle or a value out of range, which changes nothing.
constexpr int MaxSoundVolume = 255;
int SetSoundVolume(int sound, int volume);    // 0..255, linear in amplitude; 255 at load
int SetSoundPan(int sound, int pan);          // -255 left .. 0 centre .. 255 right, constant power
int SetSoundPitch(int sound, int percent);    // 25..400 % of the sound's own rate; 100 at load
int SetMasterVolume(int volume);              // 0..255 over every sound; -1 without a device

// A sound decoded while it plays (Ogg Vorbis, MPEG audio or WAVE), never held
// whole: for music and other long sounds. Plays, stops and takes the controls
// like any sound. The handle, or -1 as for LoadSoundFile.
int LoadSoundFileStreamed(const char* path);

#pragma GCC visibility pop

#endif
