// Decoding a sound file to PCM the mixer can play: PCM as it is, Ogg Vorbis
// through libvorbisfile, everything else through the platform's converter.
#include "platform/media/sound_codec.h"
#include "sound/sound.h"

#include <vorbis/vorbisfile.h>

#include <algorithm>
#include <cstdlib>

namespace {

constexpr int VorbisPiece = 4096;
// Decoded Vorbis is gathered in a block that grows with what actually comes
// out, so a stream claiming an enormous length costs nothing up front.
constexpr uint32_t VorbisFirstBlock = 1 << 20;

// 8- or 16-bit PCM of one or two channels at a rate the mixer takes, with a
// consistent frame size.
bool Playable(const WaveFormat* format) {
    return format->formatTag == WaveTagPcm && (format->channels == 1 || format->channels == 2) &&
           (format->bitsPerSample == 8 || format->bitsPerSample == 16) &&
           format->blockAlign == format->channels * format->bitsPerSample / 8 &&
           format->samplesPerSec >= AudioMinRate && format->samplesPerSec <= AudioMaxRate;
}

// Reads `size` bytes (fewer when the stream ends early) into a new block.
int64_t ReadData(ImageStream* stream, uint32_t size, uint8_t** data) {
    *data = static_cast<uint8_t*>(std::malloc(size));
    if (!*data) return -1;
    uint32_t done = 0;
    while (done < size) {
        size_t got = stream->read(*data + done, 1, size - done, stream->context);
        if (got == 0) break;
        done += static_cast<uint32_t>(got);
    }
    return done;
}

// ov_read in pieces until `size` bytes have come or the stream ends; a hole
// or a bad link in the stream fails the whole file.
int64_t ReadVorbis(OggVorbis_File* ogg, uint32_t size, uint8_t** data) {
    uint32_t capacity = std::min(size, VorbisFirstBlock);
    uint8_t* block = static_cast<uint8_t*>(std::malloc(capacity));
    uint32_t done = 0;
    while (block && done < size) {
        if (capacity - done < VorbisPiece && capacity < size) {
            capacity = static_cast<uint32_t>(std::min<uint64_t>(uint64_t(capacity) * 2, size));
            uint8_t* grown = static_cast<uint8_t*>(std::realloc(block, capacity));
            if (!grown) break;
            block = grown;
        }
        int piece = static_cast<int>(std::min<uint32_t>(VorbisPiece, capacity - done));
        int stream = 0;
        long got = ov_read(ogg, reinterpret_cast<char*>(block + done), piece, 0, 2, 1, &stream);
        if (got == 0) {
            *data = block;
            return done;
        }
        if (got < 0) break;
        done += static_cast<uint32_t>(got);
    }
    if (block && done == size) {
        *data = block;
        return done;
    }
    std::free(block);
    return -1;
}

WaveFormat* PcmRecord(const PlatPcmFormat& pcm) {
    auto* record = static_cast<WaveFormat*>(std::calloc(1, WaveFormatBytes));
    if (!record) return nullptr;
    record->formatTag = WaveTagPcm;
    record->channels = static_cast<uint16_t>(pcm.channels);
    record->samplesPerSec = static_cast<uint32_t>(pcm.rate);
    record->bitsPerSample = static_cast<uint16_t>(pcm.bits);
    record->blockAlign = static_cast<uint16_t>(pcm.channels * pcm.bits / 8);
    record->avgBytesPerSec = record->blockAlign * record->samplesPerSec;
    return record;
}

}  // namespace

int32_t DecodeSoundStream(ImageStream* stream, uint8_t** data, WaveFormat** format) {
    *data = nullptr;
    *format = nullptr;
    WaveFormat* parsed = nullptr;
    int32_t formatSize = 0;
    int isOgg = 0;
    OggVorbis_File ogg;
    int32_t size = ParseSoundHeader(stream, &parsed, &formatSize, &isOgg, &ogg);
    if (size < 0) return -1;
    uint8_t* raw = nullptr;
    int64_t got = -1;
    if (size > 0 && static_cast<uint32_t>(size) <= MaxSoundBytes)
        got = isOgg ? ReadVorbis(&ogg, static_cast<uint32_t>(size), &raw)
                    : ReadData(stream, static_cast<uint32_t>(size), &raw);
    if (isOgg) ov_clear(&ogg);

    if (got > 0 && Playable(parsed)) {
        // Whole frames only; a sound shorter than one frame is no sound.
        got -= got % parsed->blockAlign;
        if (got > 0) {
            *data = raw;
            *format = parsed;
            return static_cast<int32_t>(got);
        }
    }
    int64_t converted = -1;
    uint8_t* pcm = nullptr;
    PlatPcmFormat pcmFormat{};
    if (got > 0 && !Playable(parsed))
        converted = PlatDecodeToPcm(reinterpret_cast<const uint8_t*>(parsed),
                                    static_cast<uint32_t>(formatSize), raw,
                                    static_cast<uint32_t>(got), MaxSoundBytes, &pcmFormat, &pcm);
    std::free(raw);
    std::free(parsed);
    WaveFormat* record = converted > 0 ? PcmRecord(pcmFormat) : nullptr;
    if (!record) {
        std::free(pcm);
        return -1;
    }
    *data = pcm;
    *format = record;
    return static_cast<int32_t>(converted);
}

int32_t DecodeSoundFile(const char* path, uint8_t** data, WaveFormat** format) {
    *data = nullptr;
    *format = nullptr;
    ImageStream stream;
    if (OpenFileImageStream(path, &stream) != 0) return -1;
    int32_t size = DecodeSoundStream(&stream, data, format);
    CloseImageStream(&stream);
    return size;
}
