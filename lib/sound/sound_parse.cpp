// Recognising a sound file: RIFF WAVE, then Ogg Vorbis, then MPEG audio.
//
// Every size a file states is checked against the stream's length before it
// is used: a chunk or tag reaching past the end fails, and a "data" chunk
// that claims more than the file holds yields the bytes that are there.
#include "graphics/decode_cursor.h"
#include "sound/sound.h"

#include <vorbis/vorbisfile.h>

#include <algorithm>
#include <climits>
#include <cstdlib>
#include <cstring>

namespace {

constexpr uint32_t Id3HeaderBytes = 10;
constexpr uint32_t Id3v1Bytes = 128;
constexpr uint32_t SearchWindow = 4096;
constexpr uint32_t MaxSyncSearch = 64 * 1024;

// ---------------------------------------------------------------------------
// RIFF WAVE
// ---------------------------------------------------------------------------

int32_t ParseWave(StreamCursor* cursor, WaveFormat** format, int32_t* formatSize) {
    uint8_t header[8];
    if (!ReadExact(cursor, header, 4) || std::memcmp(header, "WAVE", 4) != 0) return -1;
    if (!ReadExact(cursor, header, 8) || std::memcmp(header, "fmt ", 4) != 0) return -1;
    uint32_t chunk = Le32(header + 4);
    if (chunk > Remaining(*cursor)) return -1;
    uint32_t size = std::max<uint32_t>(chunk, WaveFormatBytes);
    // Zero-filled, so that a 16-byte chunk leaves the extra size at 0.
    auto* record = static_cast<WaveFormat*>(std::calloc(1, size));
    if (!record) return -1;
    if (!ReadExact(cursor, record, chunk) ||
        ((chunk & 1) && !SeekCursor(cursor, uint64_t(cursor->position) + 1))) {
        std::free(record);
        return -1;
    }
    for (;;) {
        if (!ReadExact(cursor, header, 8)) break;
        uint32_t length = Le32(header + 4);
        if (std::memcmp(header, "data", 4) == 0) {
            *format = record;
            *formatSize = static_cast<int32_t>(size);
            return static_cast<int32_t>(std::min(length, Remaining(*cursor)));
        }
        // Chunks are padded to an even length.
        if (!SeekCursor(cursor, uint64_t(cursor->position) + length + (length & 1))) break;
    }
    std::free(record);
    return -1;
}

// ---------------------------------------------------------------------------
// Ogg Vorbis, read through the stream itself
// ---------------------------------------------------------------------------

size_t OggRead(void* buffer, size_t size, size_t count, void* source) {
    ImageStream* stream = static_cast<ImageStream*>(source);
    return stream->read(buffer, size, count, stream->context);
}

int OggSeek(void* source, ogg_int64_t offset, int origin) {
    ImageStream* stream = static_cast<ImageStream*>(source);
    if (offset < INT32_MIN || offset > INT32_MAX) return -1;
    return stream->seek(stream->context, static_cast<int32_t>(offset), origin);
}

// The stream belongs to the caller, who closes it.
int OggClose(void*) { return 0; }

long OggTell(void* source) {
    ImageStream* stream = static_cast<ImageStream*>(source);
    return stream->tell(stream->context);
}

int32_t ParseOgg(ImageStream* stream, WaveFormat** format, int32_t* formatSize,
                 OggVorbis_File* ogg) {
    if (stream->seek(stream->context, 0, 0) != 0) return -1;
    const ov_callbacks callbacks = {OggRead, OggSeek, OggClose, OggTell};
    if (ov_open_callbacks(stream, ogg, nullptr, 0, callbacks) != 0) return -1;
    const vorbis_info* info = ov_info(ogg, -1);
    ogg_int64_t frames = ov_pcm_total(ogg, -1);
    int64_t bytes = info && frames > 0 ? frames * info->channels * 2 : -1;
    auto* record = static_cast<WaveFormat*>(std::calloc(1, WaveFormatBytes));
    if (bytes <= 0 || bytes > INT32_MAX || !record || info->rate <= 0 || info->rate > INT32_MAX) {
        std::free(record);
        ov_clear(ogg);
        return -1;
    }
    record->formatTag = WaveTagPcm;
    record->channels = static_cast<uint16_t>(info->channels);
    record->samplesPerSec = static_cast<uint32_t>(info->rate);
    record->bitsPerSample = 16;
    record->blockAlign = static_cast<uint16_t>(2 * info->channels);
    record->avgBytesPerSec = record->blockAlign * record->samplesPerSec;
    *format = record;
    *formatSize = WaveFormatBytes;
    return static_cast<int32_t>(bytes);
}

// ---------------------------------------------------------------------------
// MPEG audio
// ---------------------------------------------------------------------------

struct MpegHeader {
    int mpeg1;        // 1: MPEG-1; 0: MPEG-2 (lower sampling rates)
    int layer;        // 1..3
    int bitrate;      // kbit/s
    int rate;         // Hz
    int channels;
    uint32_t length;  // bytes of the frame, header included
    uint32_t plainLength;  // the same without the padding byte
};

// Bit rates by [MPEG-2][layer - 1][index]; index 0 is the free format,
// whose frame length the header does not give.
constexpr int Bitrates[2][3][15] = {
    {{0, 32, 64, 96, 128, 160, 192, 224, 256, 288, 320, 352, 384, 416, 448},
     {0, 32, 48, 56, 64, 80, 96, 112, 128, 160, 192, 224, 256, 320, 384},
     {0, 32, 40, 48, 56, 64, 80, 96, 112, 128, 160, 192, 224, 256, 320}},
    {{0, 32, 48, 56, 64, 80, 96, 112, 128, 144, 160, 176, 192, 224, 256},
     {0, 8, 16, 24, 32, 40, 48, 56, 64, 80, 96, 112, 128, 144, 160},
     {0, 8, 16, 24, 32, 40, 48, 56, 64, 80, 96, 112, 128, 144, 160}},
};
constexpr int SampleRates[2][3] = {{44100, 48000, 32000}, {22050, 24000, 16000}};

bool IsSync(const uint8_t* p) { return p[0] == 0xFF && p[1] >= 0xF0; }

// False for a reserved layer, a bad bit rate or sampling rate, and for the
// free format, which a frame walk cannot step over.
bool ParseMpegHeader(const uint8_t* p, MpegHeader* out) {
    if (!IsSync(p)) return false;
    int layerBits = (p[1] >> 1) & 3;
    int bitrateIndex = p[2] >> 4;
    int rateIndex = (p[2] >> 2) & 3;
    if (layerBits == 0 || bitrateIndex == 15 || bitrateIndex == 0 || rateIndex == 3) return false;
    MpegHeader h{};
    h.mpeg1 = (p[1] >> 3) & 1;
    h.layer = 4 - layerBits;
    h.bitrate = Bitrates[!h.mpeg1][h.layer - 1][bitrateIndex];
    h.rate = SampleRates[!h.mpeg1][rateIndex];
    h.channels = (p[3] >> 6) == 3 ? 1 : 2;
    uint32_t padding = (p[2] >> 1) & 1;
    if (h.layer == 1) {
        h.plainLength = static_cast<uint32_t>(h.bitrate * 12000 / h.rate) * 4;
        h.length = h.plainLength + padding * 4;
    } else {
        // Layer III of the lower sampling rates carries half as many samples
        // per frame; layer II carries the same number in both versions.
        int factor = h.layer == 3 && !h.mpeg1 ? 72000 : 144000;
        h.plainLength = static_cast<uint32_t>(h.bitrate * factor / h.rate);
        h.length = h.plainLength + padding;
    }
    *out = h;
    return true;
}

// The first byte pair 0xFF, 0xF0.. at or after `from` with its header
// inside [from, end); false when there is none or the stream fails.
bool FindSync(StreamCursor* cursor, uint32_t from, uint32_t end, uint32_t* at) {
    uint8_t window[SearchWindow];
    while (end - from >= 4) {
        uint32_t count = std::min(SearchWindow, end - from);
        if (!SeekCursor(cursor, from) || !ReadExact(cursor, window, count)) return false;
        for (uint32_t i = 0; i + 1 < count; ++i) {
            if (IsSync(window + i)) {
                if (end - (from + i) < 4) return false;
                *at = from + i;
                return true;
            }
        }
        // The last byte may start a pair that the next window completes.
        from += count - 1;
    }
    return false;
}

bool ReadMpegHeader(StreamCursor* cursor, uint32_t at, MpegHeader* header) {
    uint8_t bytes[4];
    return SeekCursor(cursor, at) && ReadExact(cursor, bytes, 4) && ParseMpegHeader(bytes, header);
}

// [start, end) of the audio between a leading ID3v2 tag and a trailing
// ID3v1 block; false when a tag reaches past the end or nothing is left.
bool FindAudio(StreamCursor* cursor, uint32_t* start, uint32_t* end) {
    *start = 0;
    *end = cursor->size;
    uint8_t tag[Id3HeaderBytes];
    if (cursor->size >= Id3HeaderBytes && ReadExact(cursor, tag, Id3HeaderBytes) &&
        std::memcmp(tag, "ID3", 3) == 0) {
        uint64_t size = uint64_t(tag[6] & 0x7F) << 21 | (tag[7] & 0x7F) << 14 |
                        (tag[8] & 0x7F) << 7 | (tag[9] & 0x7F);
        uint64_t length = Id3HeaderBytes + size;
        if (tag[3] == 4 && (tag[5] & 0x10)) length += Id3HeaderBytes;  // footer
        if (length > cursor->size) return false;
        *start = static_cast<uint32_t>(length);
    }
    if (cursor->size > Id3v1Bytes) {
        uint8_t mark[3];
        if (!SeekCursor(cursor, cursor->size - Id3v1Bytes) || !ReadExact(cursor, mark, 3))
            return false;
        if (std::memcmp(mark, "TAG", 3) == 0) *end = cursor->size - Id3v1Bytes;
    }
    return *start < *end;
}

// The size is that of the frames alone, from the first frame header to the
// end of the audio: whatever lies between a leading tag and the first frame
// is not audio and is not read.
int32_t ParseMpeg(StreamCursor* cursor, WaveFormat** format, int32_t* formatSize) {
    uint32_t start, end, first;
    MpegHeader header;
    // The first frame header lies within the first MaxSyncSearch bytes of the
    // audio; looking further would read all of any large file that is not
    // audio at all.
    uint32_t searchEnd = 0;
    if (FindAudio(cursor, &start, &end))
        searchEnd =
            static_cast<uint32_t>(std::min<uint64_t>(end, uint64_t(start) + MaxSyncSearch + 3));
    if (searchEnd == 0 || !FindSync(cursor, start, searchEnd, &first) ||
        !ReadMpegHeader(cursor, first, &header))
        return -1;
    MpegHeader frame = header;
    for (uint32_t at = first;;) {
        if (frame.length >= end - at) break;  // this frame reaches the end of the audio
        at += frame.length;
        if (end - at < 4) break;
        if (!ReadMpegHeader(cursor, at, &frame)) return -1;
    }
    auto* record = static_cast<MpegLayer3Format*>(std::calloc(1, MpegFormatBytes));
    if (!record || !SeekCursor(cursor, first)) {
        std::free(record);
        return -1;
    }
    record->wave.formatTag = 0x55;
    record->wave.channels = static_cast<uint16_t>(header.channels);
    record->wave.samplesPerSec = static_cast<uint32_t>(header.rate);
    record->wave.avgBytesPerSec = static_cast<uint32_t>(header.bitrate * 1000 / 8);
    record->wave.blockAlign = 1;
    record->wave.bitsPerSample = 0;
    record->wave.extraSize = MpegFormatBytes - WaveFormatBytes;
    record->id = 1;
    record->flags = 0;
    record->blockSize = static_cast<uint16_t>(header.plainLength);
    record->framesPerBlock = 1;
    record->codecDelay = 1393;
    *format = &record->wave;
    *formatSize = MpegFormatBytes;
    return static_cast<int32_t>(end - first);
}

}  // namespace

int32_t ParseSoundHeader(ImageStream* stream, WaveFormat** format, int32_t* formatSize,
                         int* isOgg, OggVorbis_File* ogg) {
    *format = nullptr;
    *formatSize = 0;
    *isOgg = 0;
    StreamCursor cursor;
    if (!OpenCursor(stream, &cursor)) return -1;
    uint8_t mark[4];
    if (ReadExact(&cursor, mark, 4) && std::memcmp(mark, "RIFF", 4) == 0 &&
        SeekCursor(&cursor, 8))
        return ParseWave(&cursor, format, formatSize);

    int32_t size = ParseOgg(stream, format, formatSize, ogg);
    if (size >= 0) {
        *isOgg = 1;
        return size;
    }
    if (!SeekCursor(&cursor, 0)) return -1;
    return ParseMpeg(&cursor, format, formatSize);
}
