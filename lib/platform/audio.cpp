// The software mixer behind the platform's sound buffers.
//
// Each buffer is converted once, when it is unlocked, to stereo 16-bit frames
// at the output rate, so that mixing is a plain saturating sum. Everything
// PlatAudioMix reads (the buffer list, the converted frames, positions and
// play flags, the output format) changes only under the back end's device
// lock; the bytes a buffer hands out by locking belong to the program's
// thread alone.
#include "platform/audio.h"
#include "platform/backend.h"

#include <algorithm>
#include <cstring>
#include <limits>
#include <mutex>
#include <vector>

struct PlatSoundBuffer {
    // The program's side.
    PlatPcmFormat format;         // of `bytes`
    uint32_t blockAlign;          // bytes per frame of `bytes`
    std::vector<uint8_t> bytes;   // what locking hands out
    int locked;                   // a lock is outstanding

    // The mixer's side, under the device lock.
    std::vector<int16_t> frames;  // stereo pairs at the output rate
    uint64_t position;            // next frame of `frames` to mix
    int playing;                  // mixed by PlatAudioMix
    int looping;                  // starts over at the end instead of stopping

    PlatSoundBuffer* next;        // the device's list
};

namespace {

constexpr uint32_t KnownFlags = SoundBufferStatic | SoundBufferCtrlFrequency |
                                SoundBufferCtrlPan | SoundBufferCtrlVolume |
                                SoundBufferGlobalFocus;
constexpr uint32_t MixBlockFrames = 1024;
// A slow 8-bit buffer grows many times over at the output rate; past this
// many converted frames (512 MB) a buffer is refused rather than attempted.
constexpr uint64_t MaxConvertedFrames = uint64_t(1) << 27;

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

int16_t SampleAt(const PlatSoundBuffer& buffer, uint64_t frame, int channel) {
    const uint8_t* p = buffer.bytes.data() + frame * buffer.blockAlign;
    if (buffer.format.channels == 2) p += channel * (buffer.format.bits / 8);
    if (buffer.format.bits == 8) return static_cast<int16_t>((p[0] - 128) * 256);
    return static_cast<int16_t>(p[0] | p[1] << 8);
}

uint64_t ConvertedFrames(uint64_t sourceFrames, uint64_t sourceRate, uint64_t outRate) {
    return (sourceFrames * outRate + sourceRate - 1) / sourceRate;
}

// Linear interpolation between neighbouring source frames; a buffer at the
// output rate comes out sample for sample.
std::vector<int16_t> Convert(const PlatSoundBuffer& buffer, int outRate) {
    uint64_t sourceFrames = buffer.bytes.size() / buffer.blockAlign;
    uint64_t sourceRate = buffer.format.rate;
    uint64_t count = ConvertedFrames(sourceFrames, sourceRate, outRate);
    std::vector<int16_t> out(count * 2);
    for (uint64_t i = 0; i < count; ++i) {
        uint64_t at = i * sourceRate;
        uint64_t index = at / outRate;
        int64_t fraction = at % outRate;
        uint64_t following = std::min(index + 1, sourceFrames - 1);
        for (int channel = 0; channel < 2; ++channel) {
            int64_t a = SampleAt(buffer, index, channel);
            int64_t b = SampleAt(buffer, following, channel);
            out[i * 2 + channel] = static_cast<int16_t>(a + (b - a) * fraction / outRate);
        }
    }
    return out;
}

void MixBlock(int32_t* sum, uint32_t frames) {
    for (PlatSoundBuffer* buffer = gMixer.buffers; buffer; buffer = buffer->next) {
        uint64_t length = buffer->frames.size() / 2;
        uint32_t done = 0;
        while (buffer->playing && done < frames) {
            if (length == 0) {
                buffer->playing = 0;
                break;
            }
            uint64_t take = std::min<uint64_t>(frames - done, length - buffer->position);
            const int16_t* from = buffer->frames.data() + buffer->position * 2;
            for (uint64_t i = 0; i < take * 2; ++i) sum[done * 2 + i] += from[i];
            done += static_cast<uint32_t>(take);
            buffer->position += take;
            if (buffer->position == length) {
                buffer->position = 0;
                if (!buffer->looping) buffer->playing = 0;
            }
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
    if (PlatCurrentBackend()->audioOpen(&reported) != 0) return -1;
    gMixer.open = 1;
    if (caps) *caps = reported;
    return 0;
}

void PlatAudioClose() {
    if (!gMixer.open) return;
    PlatCurrentBackend()->audioClose();
    while (gMixer.buffers) {
        PlatSoundBuffer* next = gMixer.buffers->next;
        delete gMixer.buffers;
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
    std::lock_guard<std::mutex> hold(gDriverText.lock);
    std::string text;
    text.swap(gDriverText.text);
    return text;
}

int PlatAudioSetFormat(const PlatPcmFormat* format) {
    if (!gMixer.open || !ValidFormat(format)) return -1;
    if (std::memcmp(format, &gMixer.output, sizeof *format) == 0) return 0;
    for (PlatSoundBuffer* buffer = gMixer.buffers; buffer; buffer = buffer->next)
        if (ConvertedFrames(buffer->bytes.size() / buffer->blockAlign, buffer->format.rate,
                            format->rate) > MaxConvertedFrames)
            return -1;
    if (PlatCurrentBackend()->audioSetFormat(format) != 0) return -1;
    // The conversions are made outside the lock; the swap is quick.
    std::vector<std::vector<int16_t>> converted;
    for (PlatSoundBuffer* buffer = gMixer.buffers; buffer; buffer = buffer->next)
        converted.push_back(Convert(*buffer, format->rate));
    Lock();
    int oldRate = gMixer.output.rate;
    gMixer.output = *format;
    size_t i = 0;
    for (PlatSoundBuffer* buffer = gMixer.buffers; buffer; buffer = buffer->next, ++i) {
        buffer->frames.swap(converted[i]);
        uint64_t length = buffer->frames.size() / 2;
        buffer->position = length ? buffer->position * format->rate / oldRate % length : 0;
    }
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
    if (bytes < blockAlign || bytes > AudioMaxBufferBytes ||
        ConvertedFrames(bytes / blockAlign, format->rate, gMixer.output.rate) > MaxConvertedFrames)
        return nullptr;
    auto* buffer = new PlatSoundBuffer{};
    buffer->format = *format;
    buffer->blockAlign = blockAlign;
    buffer->bytes.assign(bytes, format->bits == 8 ? 0x80 : 0);
    std::vector<int16_t> frames = Convert(*buffer, gMixer.output.rate);
    Lock();
    buffer->frames.swap(frames);
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
    delete buffer;
}

int PlatSoundBufferLock(PlatSoundBuffer* buffer, uint32_t offset, uint32_t bytes, void** first,
                        uint32_t* firstBytes, void** second, uint32_t* secondBytes) {
    uint32_t size = static_cast<uint32_t>(buffer->bytes.size());
    if (buffer->locked || offset >= size || bytes > size || bytes == 0) return -1;
    uint32_t head = std::min(bytes, size - offset);
    if (head < bytes && (!second || !secondBytes)) return -1;
    *first = buffer->bytes.data() + offset;
    *firstBytes = head;
    if (second) *second = head < bytes ? buffer->bytes.data() : nullptr;
    if (secondBytes) *secondBytes = bytes - head;
    buffer->locked = 1;
    return 0;
}

int PlatSoundBufferUnlock(PlatSoundBuffer* buffer) {
    if (!buffer->locked) return -1;
    buffer->locked = 0;
    std::vector<int16_t> frames = Convert(*buffer, gMixer.output.rate);
    Lock();
    buffer->frames.swap(frames);
    if (buffer->position >= buffer->frames.size() / 2) buffer->position = 0;
    Unlock();
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
    uint64_t frame = buffer->position * buffer->format.rate / gMixer.output.rate;
    Unlock();
    uint64_t lastFrame = buffer->bytes.size() / buffer->blockAlign - 1;
    *position = static_cast<uint32_t>(std::min(frame, lastFrame) * buffer->blockAlign);
    return 0;
}

int PlatSoundBufferSetPosition(PlatSoundBuffer* buffer, uint32_t position) {
    if (position >= buffer->bytes.size()) return -1;
    uint64_t frame = position / buffer->blockAlign;
    Lock();
    uint64_t target = frame * gMixer.output.rate / buffer->format.rate;
    buffer->position = std::min<uint64_t>(target, buffer->frames.size() / 2 - 1);
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
        MixBlock(sum, block);
        WriteBlock(sum, block, to);
        to += block * frameBytes;
        frames -= block;
    }
}

uint32_t PlatAudioFrameBytes() {
    const PlatPcmFormat& format = gMixer.output.rate ? gMixer.output : DefaultOutput;
    return static_cast<uint32_t>(format.channels * format.bits / 8);
}
