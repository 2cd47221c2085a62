// Sound handles, sound files and playback: internal operations.
#ifndef TESSEL_SOUND_H
#define TESSEL_SOUND_H

#include "core/handle.h"
#include "graphics/image.h"
#include "platform/media/audio.h"

#include <cstdint>

struct OggVorbis_File;
struct SoundStream;

constexpr int SoundCapacity = 4096;
constexpr int MaxSoundBuffers = 10;
constexpr uint16_t WaveTagPcm = 1;
constexpr int32_t WaveFormatBytes = 18;
constexpr int32_t MpegFormatBytes = 30;
// The most PCM one sound may hold: the largest buffer the mixer makes.
constexpr uint32_t MaxSoundBytes = AudioMaxBufferBytes;

// The platform's 18-byte format record, as it lies in a WAVE file.
#pragma pack(push, 1)
struct WaveFormat {
    uint16_t formatTag;       // 1 = PCM, 0x55 = MPEG layer 3, ...
    uint16_t channels;
    uint32_t samplesPerSec;
    uint32_t avgBytesPerSec;
    uint16_t blockAlign;      // bytes per frame
    uint16_t bitsPerSample;
    uint16_t extraSize;       // bytes of encoding data after the record
};

// What MPEG audio adds after the record.
struct MpegLayer3Format {
    WaveFormat wave;
    uint16_t id;              // 1
    uint32_t flags;
    uint16_t blockSize;       // bytes of one frame without its padding byte
    uint16_t framesPerBlock;
    uint16_t codecDelay;
};
#pragma pack(pop)
static_assert(sizeof(WaveFormat) == WaveFormatBytes, "the format record is 18 bytes");
static_assert(sizeof(MpegLayer3Format) == MpegFormatBytes, "the MPEG format record is 30 bytes");

// One sound handle's record.
struct SoundRecord {
    HandleRecord head;
    char directory[256];      // the current folder at loading, with a trailing backslash
    char fileName[168];       // the path given to the loader
    PlatSoundBuffer* buffers[MaxSoundBuffers];  // the first bufferCount hold the sound
    int32_t bufferCount;      // 1..10
    WaveFormat* format;       // of `data`, PCM; malloc'd
    int32_t dataSize;         // bytes of PCM
    uint8_t* data;            // the PCM, kept for the handle's life; malloc'd
    int32_t bytesPerSecond;   // the format's average rate, stored with the buffers
    int volume;               // 0..255, linear in amplitude
    int pan;                  // -255 left .. 255 right
    int pitch;                // percent of the sound's own rate
    SoundStream* stream;      // a streamed sound's decoding; null for a sound held whole
};

extern HandleTable gSoundTable;

// sound_decode.cpp
// Decodes a sound file to PCM: the byte count, with `*data` and `*format`
// malloc'd for the caller, or -1 with nothing left allocated.
int32_t DecodeSoundFile(const char* path, uint8_t** data, WaveFormat** format);
int32_t DecodeSoundStream(ImageStream* stream, uint8_t** data, WaveFormat** format);

// sound_parse.cpp
// Recognises a RIFF WAVE, Ogg Vorbis or MPEG audio stream. Returns the size
// of the sound data with the stream at its first byte, `*format` malloc'd
// (`*formatSize` bytes) and, for Ogg Vorbis, `*isOgg` set and `ogg` open
// over the stream (the caller clears it); or -1 with nothing left open or
// allocated.
int32_t ParseSoundHeader(ImageStream* stream, WaveFormat** format, int32_t* formatSize,
                         int* isOgg, OggVorbis_File* ogg);

// sound_table.cpp
// The sound of `handle` while the device is open, or null.
SoundRecord* SoundOf(int handle);
// Volume 255, centre, own pitch on every buffer: what loading gives.
void ResetSoundControls(SoundRecord* sound);

// sound_stream.cpp
// Opens `path` for streaming into the new `sound`: its decoder, its one
// streamed buffer, and the first second decoded. 0, or -1 with nothing left
// open.
int OpenSoundStream(SoundRecord* sound, const char* path);
// Starts a streamed sound as PlaySoundHandle does (which has checked the
// handle); 0 or -1.
int PlayStreamedSound(SoundRecord* sound, int playType, int fromStart);
// Closes the sound's file and decoder (its buffer is the table's to free).
void CloseSoundStream(SoundRecord* sound);
// Tops up every streamed sound: the pump's sound service.
void ServiceSoundStreams();

// sound_device.cpp
int InitSoundDevice();  // 0, or -1 when the device exists or cannot be opened
int EndSoundDevice();   // 0, or -1 when there is no device
int SoundDeviceOpen();  // 1 while the device is open
int StopMusic();        // 0
int ReleaseAllMusicHandles();  // 0

#endif
