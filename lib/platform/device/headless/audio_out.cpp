// The headless audio device: the mix is taken in virtual time, as many frames
// as the clock has moved on, so a sound lasts as long on the virtual clock as
// it would on a desktop. With TESSEL_AUDIO_OUT naming a file, the mix is
// written there as a WAVE file whose header is kept valid after every write,
// so the file can be read even if the program is killed.
#include "platform/device/headless/headless.h"
#include "platform/device/headless/state.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>

namespace {

constexpr size_t FlushBytes = HeadlessAudioFlushBytes;
constexpr uint32_t WaveHeaderBytes = 44;
// The data chunk stops growing before its 32-bit size would wrap.
constexpr uint32_t MaxDataBytes = 0xFFFFFF00u;

const PlatAudioCaps DefaultCaps = {1, 1, 1, 1, 1, 1, 1, 1, AudioMinRate, AudioMaxRate, 0, 0};

void WriteHeader() {
    HeadlessState& h = gHeadless;
    const PlatPcmFormat& f = h.audioFormat;
    uint32_t blockAlign = static_cast<uint32_t>(f.channels * f.bits / 8);
    uint8_t header[WaveHeaderBytes];
    std::memcpy(header, "RIFF", 4);
    PutLe32(header + 4, WaveHeaderBytes - 8 + h.audioDataBytes);
    std::memcpy(header + 8, "WAVEfmt ", 8);
    PutLe32(header + 16, 16);
    PutLe16(header + 20, 1);
    PutLe16(header + 22, static_cast<uint32_t>(f.channels));
    PutLe32(header + 24, static_cast<uint32_t>(f.rate));
    PutLe32(header + 28, static_cast<uint32_t>(f.rate) * blockAlign);
    PutLe16(header + 32, blockAlign);
    PutLe16(header + 34, static_cast<uint32_t>(f.bits));
    std::memcpy(header + 36, "data", 4);
    PutLe32(header + 40, h.audioDataBytes);
    std::fseek(h.audioFile, 0, SEEK_SET);
    std::fwrite(header, 1, sizeof header, h.audioFile);
    std::fseek(h.audioFile, 0, SEEK_END);
    std::fflush(h.audioFile);
}

void Flush() {
    HeadlessState& h = gHeadless;
    if (h.audioFile && h.audioPendingBytes > 0) {
        size_t room = MaxDataBytes - h.audioDataBytes;
        size_t count = std::min(room, h.audioPendingBytes);
        count -= count % PlatAudioFrameBytes();
        if (count) {
            std::fwrite(h.audioPending, 1, count, h.audioFile);
            h.audioDataBytes += static_cast<uint32_t>(count);
            WriteHeader();
        }
    }
    h.audioPendingBytes = 0;
}

// Starts the file over, empty, in the current output format.
void RestartFile() {
    HeadlessState& h = gHeadless;
    if (h.audioFile) std::fclose(h.audioFile);
    h.audioFile = nullptr;
    h.audioDataBytes = 0;
    h.audioPendingBytes = 0;
    const char* path = std::getenv("TESSEL_AUDIO_OUT");
    if (!path || !*path) return;
    h.audioFile = std::fopen(path, "wb");
    if (!h.audioFile) {
        std::fprintf(stderr, "TESSEL_AUDIO_OUT: cannot write %s; the mix is not kept\n", path);
        return;
    }
    WriteHeader();
}

}  // namespace

void HeadlessAudioAdvance() {
    HeadlessState& h = gHeadless;
    if (!h.audioOpened) return;
    uint64_t elapsedUs = HeadlessClockUs() - h.audioStartUs;
    uint64_t due = elapsedUs * static_cast<uint64_t>(h.audioFormat.rate) / 1000000;
    if (due <= h.audioFrames) return;
    uint64_t frames = due - h.audioFrames;
    h.audioFrames = due;
    uint32_t frameBytes = PlatAudioFrameBytes();
    // Long waits are mixed in pieces so that the pending block stays small.
    while (frames > 0) {
        uint32_t piece = static_cast<uint32_t>(std::min<uint64_t>(frames, FlushBytes / frameBytes));
        PlatAudioMix(h.audioPending + h.audioPendingBytes, piece);
        h.audioPendingBytes += size_t{piece} * frameBytes;
        frames -= piece;
        if (!h.audioFile || h.audioPendingBytes >= FlushBytes) Flush();
    }
}

int HeadlessAudioOpen(PlatAudioCaps* caps) {
    HeadlessState& h = gHeadless;
    if (h.audioMissing || h.audioOpened) return -1;
    *caps = h.audioCapsSet ? h.audioCaps : DefaultCaps;
    h.audioOpened = 1;
    h.audioFormat = PlatPcmFormat{2, 44100, 16};
    h.audioStartUs = HeadlessClockUs();
    h.audioFrames = 0;
    RestartFile();
    return 0;
}

// The file holds one format, so a new one starts it over; programs set the
// output format once, right after opening the device.
int HeadlessAudioSetFormat(const PlatPcmFormat* format) {
    HeadlessState& h = gHeadless;
    if (!h.audioOpened) return -1;
    HeadlessAudioAdvance();
    h.audioFormat = *format;
    h.audioStartUs = HeadlessClockUs();
    h.audioFrames = 0;
    RestartFile();
    return 0;
}

void HeadlessAudioClose() {
    HeadlessState& h = gHeadless;
    if (!h.audioOpened) return;
    HeadlessAudioAdvance();
    Flush();
    if (h.audioFile) std::fclose(h.audioFile);
    h.audioFile = nullptr;
    h.audioOpened = 0;
}

// Everything runs on the program's thread.
void HeadlessAudioLock() {}
void HeadlessAudioUnlock() {}

int HeadlessAudioDeviceName(int index, char* module, size_t moduleSize, char* description,
                            size_t descriptionSize) {
    if (index != 0) return -1;
    std::snprintf(module, moduleSize, "headless");
    std::snprintf(description, descriptionSize, "Headless audio output (virtual time)");
    return 0;
}

void HeadlessSetAudioMissing(int missing) { gHeadless.audioMissing = missing; }

void HeadlessSetAudioCaps(const PlatAudioCaps* caps) {
    gHeadless.audioCapsSet = caps != nullptr;
    gHeadless.audioCaps = caps ? *caps : PlatAudioCaps{};
}
