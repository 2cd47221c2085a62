// The PCM converter, on libsndfile. WAVE encodings are handed over as a
// WAVE file made in memory around the caller's bytes (a short header of our
// own, then the data in place, never copied); MPEG frames are handed over
// as they are. Everything is read through libsndfile's virtual I/O, so no
// file is touched.
#include "platform/sound_codec.h"

#include <sndfile.h>

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <vector>

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

void Put16(std::vector<uint8_t>* out, uint32_t v) {
    out->push_back(static_cast<uint8_t>(v));
    out->push_back(static_cast<uint8_t>(v >> 8));
}

void Put32(std::vector<uint8_t>* out, uint32_t v) {
    Put16(out, v & 0xFFFF);
    Put16(out, v >> 16);
}

void PutTag(std::vector<uint8_t>* out, const char* tag) { out->insert(out->end(), tag, tag + 4); }

// RIFF header, the format record as the "fmt " chunk, and the "data" chunk
// header; the data itself follows as the image's second piece.
std::vector<uint8_t> WaveHead(const uint8_t* formatRecord, uint32_t formatSize, uint32_t size) {
    uint32_t padded = formatSize + (formatSize & 1);
    std::vector<uint8_t> head;
    PutTag(&head, "RIFF");
    Put32(&head, 4 + 8 + padded + 8 + size);
    PutTag(&head, "WAVE");
    PutTag(&head, "fmt ");
    Put32(&head, formatSize);
    head.insert(head.end(), formatRecord, formatRecord + formatSize);
    if (formatSize & 1) head.push_back(0);
    PutTag(&head, "data");
    Put32(&head, size);
    return head;
}

// Reads every frame, keeping the first two channels, while it stays within
// `limit` bytes. Samples are read as floats in [-1, 1), which every encoding
// gives at full scale (16-bit sources come back exactly), and clipped.
int64_t ReadAll(SNDFILE* file, int channels, uint32_t limit, std::vector<int16_t>* out) {
    int kept = std::min(channels, 2);
    std::vector<float> block(static_cast<size_t>(ReadFrames * channels));
    for (;;) {
        sf_count_t got = sf_readf_float(file, block.data(), ReadFrames);
        if (got <= 0) break;
        if ((out->size() + size_t(got) * kept) * sizeof(int16_t) > limit) return -1;
        for (sf_count_t frame = 0; frame < got; ++frame)
            for (int c = 0; c < kept; ++c) {
                float value = block[frame * channels + c];
                // Float files can hold values that are not numbers at all.
                float scaled = std::isnan(value) ? 0.0f
                                                 : std::clamp(value * 32768.0f, -32768.0f, 32767.0f);
                out->push_back(static_cast<int16_t>(std::nearbyint(scaled)));
            }
    }
    return static_cast<int64_t>(out->size() * sizeof(int16_t));
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
    std::vector<uint8_t> head;
    if (tag != WaveTagMpegLayer3) head = WaveHead(formatRecord, formatSize, size);
    SplitImage image = {head.data(), sf_count_t(head.size()), data, sf_count_t(size), 0};
    SF_VIRTUAL_IO io = {ImageLength, ImageSeek, ImageRead, ImageWrite, ImageTell};
    SF_INFO info{};
    SNDFILE* file = sf_open_virtual(&io, SFM_READ, &info, &image);
    if (!file) return -1;
    std::vector<int16_t> samples;
    int64_t bytes = -1;
    if (info.channels > 0 && info.samplerate >= AudioMinRate && info.samplerate <= AudioMaxRate)
        bytes = ReadAll(file, info.channels, limit, &samples);
    sf_close(file);
    if (bytes <= 0) return -1;
    *pcm = static_cast<uint8_t*>(std::malloc(static_cast<size_t>(bytes)));
    if (!*pcm) return -1;
    for (size_t i = 0; i < samples.size(); ++i) {
        (*pcm)[i * 2] = static_cast<uint8_t>(samples[i] & 0xFF);
        (*pcm)[i * 2 + 1] = static_cast<uint8_t>((samples[i] >> 8) & 0xFF);
    }
    *format = PlatPcmFormat{std::min(info.channels, 2), info.samplerate, 16};
    return bytes;
}
