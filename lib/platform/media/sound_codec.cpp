// The PCM converter, on libsndfile. WAVE encodings are handed over as a
// WAVE file made in memory around the caller's bytes (a short header of our
// own, then the data in place, never copied); MPEG frames are handed over
// as they are. Everything is read through libsndfile's virtual I/O, so no
// file is touched.
#include "platform/media/sound_codec.h"

#include <sndfile.h>

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <cstring>

namespace {

constexpr sf_count_t ReadFrames = 4096;

// A read-only file image in two pieces: `head`, then `tail`.
struct SplitImage {
    const uint8_t* head;
    sf_count_t headSize;
    const uint8_t* tail;
    sf_count_t tailSize;
    sf_count_t position;
};

sf_count_t ImageLength(void* user) {
    const SplitImage* image = static_cast<SplitImage*>(user);
    return image->headSize + image->tailSize;
}

sf_count_t ImageSeek(sf_count_t offset, int whence, void* user) {
    SplitImage* image = static_cast<SplitImage*>(user);
    sf_count_t base = whence == SEEK_SET ? 0
                      : whence == SEEK_CUR ? image->position
                                           : ImageLength(user);
    if (offset < -base || offset > ImageLength(user) - base) return -1;
    image->position = base + offset;
    return image->position;
}

sf_count_t ImageRead(void* to, sf_count_t count, void* user) {
    SplitImage* image = static_cast<SplitImage*>(user);
    uint8_t* out = static_cast<uint8_t*>(to);
    sf_count_t done = 0;
    while (done < count && image->position < ImageLength(user)) {
        bool inHead = image->position < image->headSize;
        const uint8_t* piece = inHead ? image->head : image->tail;
        sf_count_t start = inHead ? image->position : image->position - image->headSize;
        sf_count_t left = (inHead ? image->headSize : image->tailSize) - start;
        sf_count_t take = std::min(left, count - done);
        std::memcpy(out + done, piece + start, static_cast<size_t>(take));
        done += take;
        image->position += take;
    }
    return done;
}

sf_count_t ImageWrite(const void*, sf_count_t, void*) { return 0; }

sf_count_t ImageTell(void* user) { return static_cast<SplitImage*>(user)->position; }

// RIFF header, the format record as the "fmt " chunk, and the "data" chunk
// header, in a malloc'd block of `*headSize` bytes; the data itself follows
// as the image's second piece. Null when it cannot be allocated.
uint8_t* WaveHead(const uint8_t* formatRecord, uint32_t formatSize, uint32_t size,
                  uint32_t* headSize) {
    uint32_t padded = formatSize + (formatSize & 1);
    *headSize = 12 + 8 + padded + 8;
    auto* head = static_cast<uint8_t*>(std::calloc(1, *headSize));
    if (!head) return nullptr;
    std::memcpy(head, "RIFF", 4);
    PutLe32(head + 4, 4 + 8 + padded + 8 + size);
    std::memcpy(head + 8, "WAVEfmt ", 8);
    PutLe32(head + 16, formatSize);
    std::memcpy(head + 20, formatRecord, formatSize);
    std::memcpy(head + 20 + padded, "data", 4);
    PutLe32(head + 24 + padded, size);
    return head;
}

// Little-endian 16-bit samples gathered in a block that doubles as it fills.
struct PcmBlock {
    uint8_t* bytes;
    uint64_t used, capacity;
};

bool Reserve(PcmBlock* block, uint64_t more) {
    if (block->used + more <= block->capacity) return true;
    uint64_t capacity = std::max<uint64_t>(block->used + more, block->capacity * 2);
    auto* grown = static_cast<uint8_t*>(std::realloc(block->bytes, capacity));
    if (!grown) return false;
    block->bytes = grown;
    block->capacity = capacity;
    return true;
}

// Reads every frame, keeping the first two channels, while it stays within
// `limit` bytes. Samples are read as floats in [-1, 1), which every encoding
// gives at full scale (16-bit sources come back exactly), and clipped. The
// byte count, or -1 past the limit or out of memory.
int64_t ReadAll(SNDFILE* file, int channels, uint32_t limit, PcmBlock* out) {
    int kept = std::min(channels, 2);
    auto* frames = static_cast<float*>(std::malloc(sizeof(float) * ReadFrames * channels));
    if (!frames) return -1;
    int64_t result = -1;
    for (;;) {
        sf_count_t got = sf_readf_float(file, frames, ReadFrames);
        if (got <= 0) {
            result = static_cast<int64_t>(out->used);
            break;
        }
        uint64_t bytes = uint64_t(got) * kept * sizeof(int16_t);
        if (out->used + bytes > limit || !Reserve(out, bytes)) break;
        for (sf_count_t frame = 0; frame < got; ++frame)
            for (int c = 0; c < kept; ++c) {
                float value = frames[frame * channels + c];
                // Float files can hold values that are not numbers at all.
                float scaled = std::isnan(value) ? 0.0f
                                                 : std::clamp(value * 32768.0f, -32768.0f, 32767.0f);
                PutLe16(out->bytes + out->used, static_cast<uint16_t>(
                                                  static_cast<int16_t>(std::nearbyint(scaled))));
                out->used += 2;
            }
    }
    std::free(frames);
    return result;
}

}  // namespace

int64_t PlatDecodeToPcm(const uint8_t* formatRecord, uint32_t formatSize, const uint8_t* data,
                        uint32_t size, uint32_t limit, PlatPcmFormat* format, uint8_t** pcm) {
    *pcm = nullptr;
    if (formatSize < 18 || size == 0) return -1;
    uint16_t tag = static_cast<uint16_t>(formatRecord[0] | formatRecord[1] << 8);
    // MPEG data goes to libsndfile bare, and libsndfile takes whatever
    // container it recognises in it; so it must begin with a frame header.
    if (tag == WaveTagMpegLayer3 && (size < 2 || data[0] != 0xFF || (data[1] & 0xE0) != 0xE0))
        return -1;
    uint8_t* head = nullptr;
    uint32_t headSize = 0;
    if (tag != WaveTagMpegLayer3) {
        head = WaveHead(formatRecord, formatSize, size, &headSize);
        if (!head) return -1;
    }
    SplitImage image = {head, sf_count_t(headSize), data, sf_count_t(size), 0};
    SF_VIRTUAL_IO io = {ImageLength, ImageSeek, ImageRead, ImageWrite, ImageTell};
    SF_INFO info{};
    SNDFILE* file = sf_open_virtual(&io, SFM_READ, &info, &image);
    PcmBlock samples{};
    int64_t bytes = -1;
    if (file && info.channels > 0 && info.samplerate >= AudioMinRate &&
        info.samplerate <= AudioMaxRate)
        bytes = ReadAll(file, info.channels, limit, &samples);
    if (file) sf_close(file);
    std::free(head);
    if (bytes <= 0) {
        std::free(samples.bytes);
        return -1;
    }
    *pcm = samples.bytes;
    *format = PlatPcmFormat{std::min(info.channels, 2), info.samplerate, 16};
    return bytes;
}
