// The platform's sound buffers: a small software mixer over one audio device.
//
// A buffer holds PCM in its own format (8 or 16 bits, mono or stereo, any
// rate) where the program locks and fills it, and a copy in the same format,
// taken when the buffer is unlocked, which is what the mixer reads. Mixing
// brings each playing buffer to the output rate as it goes and sums them with
// saturation, so a buffer costs its own bytes twice whatever its rate. The
// back end pulls mixed sound with PlatAudioMix, either from its own audio
// thread (holding the device lock) or in virtual time.
#ifndef TESSEL_PLATFORM_AUDIO_H
#define TESSEL_PLATFORM_AUDIO_H

#include <cstddef>
#include <cstdint>
#include <string>

// Samples are unsigned bytes (8 bits) or signed little-endian words (16
// bits); the channels of a frame are interleaved, left first.
struct PlatPcmFormat {
    int channels;  // 1 or 2
    int rate;      // frames per second
    int bits;      // 8 or 16
};

constexpr int AudioMinRate = 100;
constexpr int AudioMaxRate = 200000;
constexpr uint32_t AudioMaxBufferBytes = 0x0FFFFFFF;

// What the device reports of itself.
struct PlatAudioCaps {
    int primaryMono, primaryStereo;      // output channel counts it takes
    int primary8Bit, primary16Bit;       // output sample sizes it takes
    int secondaryMono, secondaryStereo;  // buffer channel counts it mixes
    int secondary8Bit, secondary16Bit;   // buffer sample sizes it mixes
    int minRate, maxRate;                // buffer rates it mixes, in Hz
    uint32_t totalMemory, freeMemory;    // bytes of sound memory on the device; 0 when it has none
};

// Buffer creation flags the mixer accepts (all of them are satisfied by a
// software buffer); any other bit fails the creation.
enum : uint32_t {
    SoundBufferStatic = 0x0002,
    SoundBufferCtrlFrequency = 0x0020,
    SoundBufferCtrlPan = 0x0040,
    SoundBufferCtrlVolume = 0x0080,
    SoundBufferGlobalFocus = 0x8000,
};

// Status bits.
enum : uint32_t {
    SoundBufferPlaying = 0x1,
    SoundBufferLooping = 0x4,
};

struct PlatSoundBuffer;

// ---------------------------------------------------------------------------
// The device
// ---------------------------------------------------------------------------

// Opens the back end's audio device with the output format 44100 Hz, stereo,
// 16 bits. 0, or -1 when the machine has no usable device.
int PlatAudioOpen(PlatAudioCaps* caps);
// Closes the device; buffers still made are released with it.
void PlatAudioClose();
int PlatAudioIsOpen();
// Changes the output format; playing buffers go on where they were. 0 or -1.
int PlatAudioSetFormat(const PlatPcmFormat* format);
void PlatAudioGetFormat(PlatPcmFormat* format);
// The device list: module and description of entry `index`. 0, or -1 past
// the last entry or without a device.
int PlatAudioDeviceName(int index, char* module, size_t moduleSize, char* description,
                        size_t descriptionSize);
// What the sound driver itself says (ALSA, for one, would print its
// complaints on the terminal): back ends note it here, from any thread, and
// the library logs it after opening the device.
void PlatNoteAudioDriverText(const char* line);
// The lines noted since the last call, each ending in a line break.
std::string PlatTakeAudioDriverText();

// ---------------------------------------------------------------------------
// Buffers (only while the device is open)
// ---------------------------------------------------------------------------

// A silent, stopped buffer of `bytes` bytes; null on a format or size the
// mixer cannot take, an unknown flag, or no device.
PlatSoundBuffer* PlatSoundBufferCreate(const PlatPcmFormat* format, uint32_t bytes,
                                       uint32_t flags);
void PlatSoundBufferRelease(PlatSoundBuffer* buffer);
// Hands out `bytes` bytes from `offset` in the buffer's own format, as one
// region or, when they wrap past the end, two. 0, or -1 when the range does
// not fit or the buffer is locked already.
int PlatSoundBufferLock(PlatSoundBuffer* buffer, uint32_t offset, uint32_t bytes, void** first,
                        uint32_t* firstBytes, void** second, uint32_t* secondBytes);
// Ends the lock and hands the buffer's bytes to the mixer. 0, or -1 when it
// was not locked or the mixer's copy cannot be allocated (the mixer then
// keeps playing what it had).
int PlatSoundBufferUnlock(PlatSoundBuffer* buffer);
// Starts mixing from the current position, once or looping. 0 or -1.
int PlatSoundBufferPlay(PlatSoundBuffer* buffer, int looping);
// Stops mixing; the position stays. 0 or -1.
int PlatSoundBufferStop(PlatSoundBuffer* buffer);
int PlatSoundBufferStatus(PlatSoundBuffer* buffer, uint32_t* status);
// The play position in bytes of the buffer's own format. A buffer played
// once goes back to 0 when it reaches its end.
int PlatSoundBufferGetPosition(PlatSoundBuffer* buffer, uint32_t* position);
int PlatSoundBufferSetPosition(PlatSoundBuffer* buffer, uint32_t position);
// Scales what the buffer adds to the mix by `gain` / SoundBufferFullGain,
// from the next frame mixed on; a buffer starts at full gain. 0, or -1 for a
// gain outside 0..SoundBufferFullGain.
constexpr int SoundBufferFullGain = 256;
int PlatSoundBufferSetGain(PlatSoundBuffer* buffer, int gain);

// ---------------------------------------------------------------------------
// For the back ends
// ---------------------------------------------------------------------------

// Writes `frames` frames of the mix in the output format to `out` and moves
// the playing buffers on. The sdl back end calls it on its audio thread with
// the device lock held; every other mixer operation takes that lock.
void PlatAudioMix(void* out, uint32_t frames);
// Bytes of one output frame; call it where PlatAudioMix may be called.
uint32_t PlatAudioFrameBytes();

// The little-endian fields of a RIFF WAVE header, as both the captured
// sound and the sound decoder's re-wrapped data write them.
inline void PutLe16(uint8_t* out, uint32_t v) {
    out[0] = static_cast<uint8_t>(v);
    out[1] = static_cast<uint8_t>(v >> 8);
}

inline void PutLe32(uint8_t* out, uint32_t v) {
    PutLe16(out, v & 0xFFFF);
    PutLe16(out + 2, v >> 16);
}

#endif
