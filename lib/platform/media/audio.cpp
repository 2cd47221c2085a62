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
#include "platform/media/audio_internal.h"
#include "platform/device/backend.h"

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <mutex>
#include <string>

namespace {

constexpr uint32_t KnownFlags = SoundBufferStatic | SoundBufferCtrlFrequency |
                                SoundBufferCtrlPan | SoundBufferCtrlVolume |
                                SoundBufferGlobalFocus;
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

}  // namespace

MixerState gMixer;

// ---------------------------------------------------------------------------
// The device
// ---------------------------------------------------------------------------

int PlatAudioOpen(PlatAudioCaps* caps) {
    if (gMixer.open) return -1;
    PlatAudioCaps reported{};
    gMixer.output = DefaultOutput;
    gMixer.masterLevel = SoundBufferUnityLevel;
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
    // Cursors count source frames, so they go on where they were.
    Lock();
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
    buffer->levels[0] = buffer->levels[1] = SoundBufferUnityLevel;
    buffer->pitch = 100;
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
    if (buffer->streamed || buffer->locked || offset >= size || bytes > size || bytes == 0) return -1;
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
    if (buffer->streamed || position >= buffer->size) return -1;
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

int PlatSoundBufferSetLevels(PlatSoundBuffer* buffer, int left, int right) {
    if (left < 0 || right < 0 || left > SoundBufferMaxLevel || right > SoundBufferMaxLevel)
        return -1;
    Lock();
    buffer->levels[0] = left;
    buffer->levels[1] = right;
    Unlock();
    return 0;
}

int PlatSoundBufferSetPitch(PlatSoundBuffer* buffer, int percent) {
    if (percent < SoundBufferMinPitch || percent > SoundBufferMaxPitch) return -1;
    Lock();
    buffer->pitch = percent;
    Unlock();
    return 0;
}

int PlatAudioSetMasterLevel(int level) {
    if (!gMixer.open || level < 0 || level > SoundBufferUnityLevel) return -1;
    Lock();
    gMixer.masterLevel = level;
    Unlock();
    return 0;
}

// ---------------------------------------------------------------------------
// Streamed buffers
// ---------------------------------------------------------------------------

PlatSoundBuffer* PlatSoundStreamCreate(const PlatPcmFormat* format, uint32_t bytes) {
    PlatSoundBuffer* buffer = PlatSoundBufferCreate(format, bytes, 0);
    if (!buffer) return nullptr;
    // Never locked, so the program's bytes and the mixer's are one ring.
    Lock();
    buffer->streamed = 1;
    buffer->mixed = buffer->bytes;
    Unlock();
    return buffer;
}

int PlatSoundStreamRoom(PlatSoundBuffer* buffer, void** at, uint32_t* bytes) {
    if (!buffer->streamed) return -1;
    Lock();
    uint64_t written = buffer->written, queued = written - buffer->consumed;
    Unlock();
    // Only the program writes `written`, so the room cannot shrink meanwhile.
    uint64_t frames = buffer->size / buffer->blockAlign;
    uint64_t start = written % frames;
    *at = buffer->bytes + start * buffer->blockAlign;
    *bytes = static_cast<uint32_t>(std::min(frames - queued, frames - start) * buffer->blockAlign);
    return 0;
}

int PlatSoundStreamCommit(PlatSoundBuffer* buffer, uint32_t bytes) {
    if (!buffer->streamed || bytes % buffer->blockAlign) return -1;
    void* at = nullptr;
    uint32_t room = 0;
    if (PlatSoundStreamRoom(buffer, &at, &room) != 0 || bytes > room) return -1;
    Lock();
    buffer->written += bytes / buffer->blockAlign;
    Unlock();
    return 0;
}

int PlatSoundStreamSetEnd(PlatSoundBuffer* buffer, int ended) {
    if (!buffer->streamed) return -1;
    Lock();
    buffer->ended = ended != 0;
    if (buffer->ended && buffer->consumed == buffer->written) buffer->playing = 0;
    Unlock();
    return 0;
}

int PlatSoundStreamClear(PlatSoundBuffer* buffer) {
    if (!buffer->streamed) return -1;
    Lock();
    buffer->written = buffer->consumed = 0;
    buffer->frame = buffer->fraction = 0;
    buffer->ended = 0;
    Unlock();
    return 0;
}

int PlatSoundStreamCounts(PlatSoundBuffer* buffer, uint64_t* written, uint64_t* mixed) {
    if (!buffer->streamed) return -1;
    Lock();
    *written = buffer->written;
    *mixed = buffer->consumed;
    Unlock();
    return 0;
}

int PlatSoundStreamCut(PlatSoundBuffer* buffer, uint64_t written) {
    if (!buffer->streamed) return -1;
    Lock();
    int cut = written <= buffer->written && written >= buffer->consumed;
    if (cut) buffer->written = written;
    Unlock();
    return cut ? 0 : -1;
}

// ---------------------------------------------------------------------------
// For the back ends
// ---------------------------------------------------------------------------

uint32_t PlatAudioFrameBytes() {
    const PlatPcmFormat& format = gMixer.output.rate ? gMixer.output : DefaultOutput;
    return static_cast<uint32_t>(format.channels * format.bits / 8);
}
