// The software mixer behind the platform's sound buffers.
//
// A buffer keeps its sound at its own rate and format; mixing reads it
// through a resampling cursor (a source frame and the fraction of the way to
// the next one, in steps of 1/output rate), interpolating linearly between
// neighbouring frames unless the rates match. A slow sound thus costs its own
// bytes, not the output rate's. Everything PlatAudioMix reads (the buffer
// list, the mixer's copies, cursors and play flags, the output format)
// changes only under the back end's device lock; the bytes a buffer hands
// out by locking belong to the program's thread alone.
#include "platform/device/record.h"
#include "platform/media/audio.h"
#include "platform/device/backend.h"

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <mutex>
#include <string>

struct PlatSoundBuffer {
    // The program's side.
    PlatPcmFormat format;         // of `bytes` and `mixed`
    uint32_t blockAlign;          // bytes per frame
    uint32_t size;                // bytes of `bytes` and of `mixed`
    uint8_t* bytes;               // what locking hands out; may be `mixed` itself
    int locked;                   // a lock is outstanding

    // The mixer's side, under the device lock.
    uint8_t* mixed;               // `bytes` as of the last unlock; null (silence) before one
    uint64_t frame;               // source frame the next output frame starts at
    uint64_t fraction;            // how far past `frame`, in 1/output rate
    int playing;                  // mixed by PlatAudioMix
    int gain;                     // of SoundBufferFullGain
    int looping;                  // starts over at the end instead of stopping

    PlatSoundBuffer* next;        // the device's list
};

namespace {

constexpr uint32_t KnownFlags = SoundBufferStatic | SoundBufferCtrlFrequency |
                                SoundBufferCtrlPan | SoundBufferCtrlVolume |
                                SoundBufferGlobalFocus;
constexpr uint32_t MixBlockFrames = 1024;

struct MixerState {
    int open;                  // the back end's device is open
    PlatPcmFormat output;      // what PlatAudioMix writes
    PlatSoundBuffer* buffers;  // every buffer made, newest first
};

MixerState gMixer;

// A driver complaining on every call would fill the log; past this much it
// is cut short.
constexpr size_t MaxDriverText = 4096;

struct DriverTextState {
    std::mutex lock;   // the audio thread may note as well
    std::string text;  // lines noted and not yet taken
};

DriverTextState gDriverText;

const PlatPcmFormat DefaultOutput = {2, 44100, 16};

void Lock() { PlatCurrentBackend()->audioLock(); }
void Unlock() { PlatCurrentBackend()->audioUnlock(); }

bool ValidFormat(const PlatPcmFormat* format) {
    return format && (format->channels == 1 || format->channels == 2) &&
           (format->bits == 8 || format->bits == 16) && format->rate >= AudioMinRate &&
           format->rate <= AudioMaxRate;
}

void FreeBuffer(PlatSoundBuffer* buffer) {
    if (buffer->mixed != buffer->bytes) std::free(buffer->mixed);
    std::free(buffer->bytes);
    std::free(buffer);
}

int16_t SampleAt(const PlatSoundBuffer& buffer, uint64_t frame, int channel) {
    if (!buffer.mixed) return 0;
    const uint8_t* p = buffer.mixed + frame * buffer.blockAlign;
    if (buffer.format.channels == 2) p += channel * (buffer.format.bits / 8);
    if (buffer.format.bits == 8) return static_cast<int16_t>((p[0] - 128) * 256);
    return static_cast<int16_t>(p[0] | p[1] << 8);
}

// Adds up to `frames` output frames of one playing buffer to `sum` and moves
// its cursor on; a buffer played once stops, back at its start, after its
// last frame.
void MixBuffer(PlatSoundBuffer* buffer, int32_t* sum, uint32_t frames) {
    uint64_t length = buffer->size / buffer->blockAlign;
    uint64_t step = static_cast<uint64_t>(buffer->format.rate);
    uint64_t outRate = static_cast<uint64_t>(gMixer.output.rate);
    bool sameRate = step == outRate;
    for (uint32_t i = 0; i < frames && buffer->playing; ++i) {
        for (int channel = 0; channel < 2; ++channel) {
            int64_t a = SampleAt(*buffer, buffer->frame, channel);
            if (!sameRate && buffer->fraction != 0) {
                int64_t b = SampleAt(*buffer, std::min(buffer->frame + 1, length - 1), channel);
                a += (b - a) * static_cast<int64_t>(buffer->fraction) /
                     static_cast<int64_t>(outRate);
            }
            sum[i * 2 + channel] += static_cast<int32_t>(a * buffer->gain / SoundBufferFullGain);
        }
        buffer->fraction += step;
        buffer->frame += buffer->fraction / outRate;
        buffer->fraction %= outRate;
        if (buffer->frame >= length) {
            buffer->frame = 0;
            buffer->fraction = 0;
            if (!buffer->looping) buffer->playing = 0;
        }
    }
}

void WriteBlock(const int32_t* sum, uint32_t frames, uint8_t* out) {
    const PlatPcmFormat& format = gMixer.output;
    for (uint32_t i = 0; i < frames; ++i) {
        int32_t left = std::clamp<int32_t>(sum[i * 2], INT16_MIN, INT16_MAX);
        int32_t right = std::clamp<int32_t>(sum[i * 2 + 1], INT16_MIN, INT16_MAX);
        int32_t values[2] = {left, right};
        int count = 2;
        if (format.channels == 1) {
            values[0] = (left + right) / 2;
            count = 1;
        }
        for (int c = 0; c < count; ++c) {
            if (format.bits == 8) {
                *out++ = static_cast<uint8_t>((values[c] >> 8) + 128);
            } else {
                *out++ = static_cast<uint8_t>(values[c] & 0xFF);
                *out++ = static_cast<uint8_t>((values[c] >> 8) & 0xFF);
            }
        }
    }
}

}  // namespace

// ---------------------------------------------------------------------------
// The device
// ---------------------------------------------------------------------------

int PlatAudioOpen(PlatAudioCaps* caps) {
    if (gMixer.open) return -1;
    PlatAudioCaps reported{};
    gMixer.output = DefaultOutput;
    if (PlatCurrentBackend()->audioOpen(&reported) != 0) {
        RecordNoSound();
        return -1;
    }
    gMixer.open = 1;
    if (caps) *caps = reported;
    return 0;
}

void PlatAudioClose() {
    if (!gMixer.open) return;
    PlatCurrentBackend()->audioClose();
    while (gMixer.buffers) {
        PlatSoundBuffer* next = gMixer.buffers->next;
        FreeBuffer(gMixer.buffers);
        gMixer.buffers = next;
    }
    gMixer = MixerState{};
}

int PlatAudioIsOpen() { return gMixer.open; }

void PlatNoteAudioDriverText(const char* line) {
    std::lock_guard<std::mutex> hold(gDriverText.lock);
    if (gDriverText.text.size() >= MaxDriverText) return;
    gDriverText.text += line;
    if (gDriverText.text.empty() || gDriverText.text.back() != '\n') gDriverText.text += '\n';
}

std::string PlatTakeAudioDriverText() {
    std::string text;
    {
        std::lock_guard<std::mutex> hold(gDriverText.lock);
        text.swap(gDriverText.text);
    }
    RecordSoundDriverText(text);
    return text;
}

int PlatAudioSetFormat(const PlatPcmFormat* format) {
    if (!gMixer.open || !ValidFormat(format)) return -1;
    if (std::memcmp(format, &gMixer.output, sizeof *format) == 0) return 0;
    if (PlatCurrentBackend()->audioSetFormat(format) != 0) return -1;
    Lock();
    // Each cursor keeps its source frame; only the part-way step is rescaled.
    for (PlatSoundBuffer* buffer = gMixer.buffers; buffer; buffer = buffer->next)
        buffer->fraction = buffer->fraction * static_cast<uint64_t>(format->rate) /
                           static_cast<uint64_t>(gMixer.output.rate);
    gMixer.output = *format;
    Unlock();
    return 0;
}

void PlatAudioGetFormat(PlatPcmFormat* format) { *format = gMixer.output; }

int PlatAudioDeviceName(int index, char* module, size_t moduleSize, char* description,
                        size_t descriptionSize) {
    if (!gMixer.open || index < 0) return -1;
    return PlatCurrentBackend()->audioDeviceName(index, module, moduleSize, description,
                                                descriptionSize);
}

// ---------------------------------------------------------------------------
// Buffers
// ---------------------------------------------------------------------------

PlatSoundBuffer* PlatSoundBufferCreate(const PlatPcmFormat* format, uint32_t bytes,
                                       uint32_t flags) {
    if (!gMixer.open || !ValidFormat(format) || (flags & ~KnownFlags)) return nullptr;
    uint32_t blockAlign = static_cast<uint32_t>(format->channels * format->bits / 8);
    if (bytes < blockAlign || bytes > AudioMaxBufferBytes) return nullptr;
    auto* buffer = static_cast<PlatSoundBuffer*>(std::calloc(1, sizeof(PlatSoundBuffer)));
    if (!buffer) return nullptr;
    buffer->format = *format;
    buffer->blockAlign = blockAlign;
    buffer->size = bytes;
    buffer->gain = SoundBufferFullGain;
    // Zeroed memory is 16-bit silence already, and fresh zero pages cost
    // nothing until they are filled.
    bool eightBit = format->bits == 8;
    buffer->bytes = static_cast<uint8_t*>(eightBit ? std::malloc(bytes) : std::calloc(1, bytes));
    if (!buffer->bytes) {
        FreeBuffer(buffer);
        return nullptr;
    }
    if (eightBit) std::memset(buffer->bytes, 0x80, bytes);
    Lock();
    buffer->next = gMixer.buffers;
    gMixer.buffers = buffer;
    Unlock();
    return buffer;
}

void PlatSoundBufferRelease(PlatSoundBuffer* buffer) {
    if (!buffer) return;
    Lock();
    PlatSoundBuffer** link = &gMixer.buffers;
    while (*link && *link != buffer) link = &(*link)->next;
    if (*link) *link = buffer->next;
    Unlock();
    FreeBuffer(buffer);
}

int PlatSoundBufferLock(PlatSoundBuffer* buffer, uint32_t offset, uint32_t bytes, void** first,
                        uint32_t* firstBytes, void** second, uint32_t* secondBytes) {
    uint32_t size = buffer->size;
    if (buffer->locked || offset >= size || bytes > size || bytes == 0) return -1;
    uint32_t head = std::min(bytes, size - offset);
    if (head < bytes && (!second || !secondBytes)) return -1;
    if (buffer->bytes == buffer->mixed) {
        // The mixer still reads these bytes: the program writes into a copy
        // of its own. Both sides only read them meanwhile, so no lock is held.
        auto* own = static_cast<uint8_t*>(std::malloc(size));
        if (!own) return -1;
        std::memcpy(own, buffer->mixed, size);
        buffer->bytes = own;
    }
    *first = buffer->bytes + offset;
    *firstBytes = head;
    if (second) *second = head < bytes ? buffer->bytes : nullptr;
    if (secondBytes) *secondBytes = bytes - head;
    buffer->locked = 1;
    return 0;
}

int PlatSoundBufferUnlock(PlatSoundBuffer* buffer) {
    if (!buffer->locked) return -1;
    buffer->locked = 0;
    // The mixer takes the program's bytes as they are, and the program's
    // next lock copies them first: a buffer filled once, as loaded sounds
    // are, is never copied.
    Lock();
    uint8_t* old = buffer->mixed;
    buffer->mixed = buffer->bytes;
    Unlock();
    std::free(old);
    return 0;
}

int PlatSoundBufferPlay(PlatSoundBuffer* buffer, int looping) {
    Lock();
    buffer->playing = 1;
    buffer->looping = looping != 0;
    Unlock();
    return 0;
}

int PlatSoundBufferStop(PlatSoundBuffer* buffer) {
    Lock();
    buffer->playing = 0;
    Unlock();
    return 0;
}

int PlatSoundBufferStatus(PlatSoundBuffer* buffer, uint32_t* status) {
    Lock();
    uint32_t bits = 0;
    if (buffer->playing) bits |= SoundBufferPlaying;
    if (buffer->playing && buffer->looping) bits |= SoundBufferLooping;
    *status = bits;
    Unlock();
    return 0;
}

int PlatSoundBufferGetPosition(PlatSoundBuffer* buffer, uint32_t* position) {
    Lock();
    uint64_t frame = buffer->frame;
    Unlock();
    *position = static_cast<uint32_t>(frame * buffer->blockAlign);
    return 0;
}

int PlatSoundBufferSetPosition(PlatSoundBuffer* buffer, uint32_t position) {
    if (position >= buffer->size) return -1;
    Lock();
    buffer->frame = position / buffer->blockAlign;
    buffer->fraction = 0;
    Unlock();
    return 0;
}

int PlatSoundBufferSetGain(PlatSoundBuffer* buffer, int gain) {
    if (gain < 0 || gain > SoundBufferFullGain) return -1;
    Lock();
    buffer->gain = gain;
    Unlock();
    return 0;
}

// ---------------------------------------------------------------------------
// For the back ends
// ---------------------------------------------------------------------------

void PlatAudioMix(void* out, uint32_t frames) {
    uint8_t* to = static_cast<uint8_t*>(out);
    uint32_t frameBytes = PlatAudioFrameBytes();
    int32_t sum[MixBlockFrames * 2];
    while (frames > 0) {
        uint32_t block = std::min(frames, MixBlockFrames);
        std::fill_n(sum, block * 2, 0);
        for (PlatSoundBuffer* buffer = gMixer.buffers; buffer; buffer = buffer->next)
            if (buffer->playing) MixBuffer(buffer, sum, block);
        WriteBlock(sum, block, to);
        to += block * frameBytes;
        frames -= block;
    }
}

uint32_t PlatAudioFrameBytes() {
    const PlatPcmFormat& format = gMixer.output.rate ? gMixer.output : DefaultOutput;
    return static_cast<uint32_t>(format.channels * format.bits / 8);
}
