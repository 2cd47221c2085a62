// Sound files decoded a piece at a time. Both libraries read through the
// caller's byte source, so the file layer (and whatever archive a program
// puts behind it) serves streamed sounds as it serves everything else.
#include "platform/media/sound_codec.h"

#include <sndfile.h>
#include <vorbis/vorbisfile.h>

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <cstring>

namespace {

// Frames converted per libsndfile call, and the most channels a file may
// carry (each costs its floats in the scratch block).
constexpr sf_count_t ScratchFrames = 1024;
constexpr int MaxChannels = 8;

}  // namespace

struct PlatSoundDecoder {
    PlatByteSource source;
    int vorbis;             // 1: `ogg` is open; 0: `file` is
    OggVorbis_File ogg;
    SNDFILE* file;
    int channels;           // in the file
    int kept;               // in the PCM handed out: 1 or 2
    int rate;
    uint64_t frames;        // the length the file gave
    uint64_t decoded;       // frames handed out since the first frame
    float* scratch;         // ScratchFrames frames of every channel
};

namespace {

// ---------------------------------------------------------------------------
// The byte source as each library wants it
// ---------------------------------------------------------------------------

size_t OggRead(void* to, size_t size, size_t count, void* user) {
    const PlatByteSource* source = &static_cast<PlatSoundDecoder*>(user)->source;
    if (size == 0) return 0;
    return source->read(to, size * count, source->context) / size;
}

int OggSeek(void* user, ogg_int64_t offset, int origin) {
    const PlatByteSource* source = &static_cast<PlatSoundDecoder*>(user)->source;
    return source->seek(source->context, offset, origin);
}

long OggTell(void* user) {
    const PlatByteSource* source = &static_cast<PlatSoundDecoder*>(user)->source;
    return static_cast<long>(source->tell(source->context));
}

sf_count_t FileLength(void* user) {
    const PlatByteSource* source = &static_cast<PlatSoundDecoder*>(user)->source;
    int64_t at = source->tell(source->context);
    if (at < 0 || source->seek(source->context, 0, SEEK_END) != 0) return -1;
    int64_t length = source->tell(source->context);
    return source->seek(source->context, at, SEEK_SET) == 0 ? length : -1;
}

sf_count_t FileSeek(sf_count_t offset, int origin, void* user) {
    const PlatByteSource* source = &static_cast<PlatSoundDecoder*>(user)->source;
    if (source->seek(source->context, offset, origin) != 0) return -1;
    return source->tell(source->context);
}

sf_count_t FileRead(void* to, sf_count_t count, void* user) {
    const PlatByteSource* source = &static_cast<PlatSoundDecoder*>(user)->source;
    return count > 0 ? static_cast<sf_count_t>(source->read(to, size_t(count), source->context)) : 0;
}

sf_count_t FileWrite(const void*, sf_count_t, void*) { return 0; }

sf_count_t FileTell(void* user) {
    const PlatByteSource* source = &static_cast<PlatSoundDecoder*>(user)->source;
    return source->tell(source->context);
}

bool UsableFormat(int channels, long rate) {
    return channels > 0 && channels <= MaxChannels && rate >= AudioMinRate && rate <= AudioMaxRate;
}

bool OpenVorbis(PlatSoundDecoder* decoder) {
    const ov_callbacks callbacks = {OggRead, OggSeek, nullptr, OggTell};
    if (ov_open_callbacks(decoder, &decoder->ogg, nullptr, 0, callbacks) != 0) return false;
    decoder->vorbis = 1;
    const vorbis_info* info = ov_info(&decoder->ogg, -1);
    ogg_int64_t frames = ov_pcm_total(&decoder->ogg, -1);
    if (!info || frames <= 0 || !UsableFormat(info->channels, info->rate)) return false;
    decoder->channels = info->channels;
    decoder->rate = static_cast<int>(info->rate);
    decoder->frames = static_cast<uint64_t>(frames);
    return true;
}

bool OpenOther(PlatSoundDecoder* decoder) {
    if (decoder->source.seek(decoder->source.context, 0, SEEK_SET) != 0) return false;
    SF_VIRTUAL_IO io = {FileLength, FileSeek, FileRead, FileWrite, FileTell};
    SF_INFO info{};
    decoder->file = sf_open_virtual(&io, SFM_READ, &info, decoder);
    if (!decoder->file || info.frames <= 0 || !UsableFormat(info.channels, info.samplerate))
        return false;
    decoder->channels = info.channels;
    decoder->rate = info.samplerate;
    decoder->frames = static_cast<uint64_t>(info.frames);
    return true;
}

// The Vorbis decoder's own 16-bit words; a link of another format than the
// first is damage, as the PCM handed out cannot change its format.
int64_t ReadVorbis(PlatSoundDecoder* decoder, uint8_t* out, uint32_t bytes) {
    int link = 0;
    if (decoder->channels <= 2) {
        long got = ov_read(&decoder->ogg, reinterpret_cast<char*>(out), static_cast<int>(bytes), 0,
                           2, 1, &link);
        const vorbis_info* info = got > 0 ? ov_info(&decoder->ogg, link) : nullptr;
        if (info && (info->channels != decoder->channels || info->rate != decoder->rate)) return -1;
        return got;
    }
    float** channels = nullptr;
    int frames = static_cast<int>(bytes / (2 * decoder->kept));
    long got = ov_read_float(&decoder->ogg, &channels, frames, &link);
    const vorbis_info* info = got > 0 ? ov_info(&decoder->ogg, link) : nullptr;
    if (info && (info->channels != decoder->channels || info->rate != decoder->rate)) return -1;
    for (long frame = 0; frame < got; ++frame)
        for (int c = 0; c < decoder->kept; ++c)
            decoder->scratch[frame * decoder->kept + c] = channels[c][frame];
    if (got > 0) PlatFloatToPcm16(decoder->scratch, decoder->kept, decoder->kept, uint64_t(got), out);
    return got > 0 ? got * 2 * decoder->kept : got;
}

int64_t ReadOther(PlatSoundDecoder* decoder, uint8_t* out, uint32_t bytes) {
    sf_count_t frames = std::min<sf_count_t>(bytes / (2 * decoder->kept), ScratchFrames);
    sf_count_t got = sf_readf_float(decoder->file, decoder->scratch, frames);
    if (got < 0 || sf_error(decoder->file) != SF_ERR_NO_ERROR) return -1;
    PlatFloatToPcm16(decoder->scratch, decoder->channels, decoder->kept, uint64_t(got), out);
    return got * 2 * decoder->kept;
}

}  // namespace

PlatSoundDecoder* PlatSoundDecoderOpen(const PlatByteSource* source, PlatPcmFormat* format,
                                       uint64_t* frames) {
    auto* decoder = static_cast<PlatSoundDecoder*>(std::calloc(1, sizeof(PlatSoundDecoder)));
    if (!decoder) return nullptr;
    decoder->source = *source;
    // A RIFF file is never Ogg, and libvorbisfile would read the whole of a
    // large one looking for a page.
    char mark[4] = {};
    bool riff = source->seek(source->context, 0, SEEK_SET) == 0 &&
                source->read(mark, 4, source->context) == 4 && std::memcmp(mark, "RIFF", 4) == 0;
    bool opened = false;
    if (!riff && source->seek(source->context, 0, SEEK_SET) == 0) {
        opened = OpenVorbis(decoder);
        if (!opened && decoder->vorbis) {
            ov_clear(&decoder->ogg);
            decoder->vorbis = 0;
        }
    }
    if (!opened) opened = OpenOther(decoder);
    decoder->kept = std::min(decoder->channels, 2);
    if (opened) {
        decoder->scratch = static_cast<float*>(
            std::malloc(sizeof(float) * ScratchFrames * size_t(decoder->channels)));
        opened = decoder->scratch != nullptr;
    }
    if (!opened) {
        PlatSoundDecoderClose(decoder);
        return nullptr;
    }
    *format = PlatPcmFormat{decoder->kept, decoder->rate, 16};
    *frames = decoder->frames;
    return decoder;
}

int64_t PlatSoundDecoderRead(PlatSoundDecoder* decoder, void* out, uint32_t bytes) {
    uint32_t frameBytes = 2 * static_cast<uint32_t>(decoder->kept);
    uint64_t left = decoder->frames - decoder->decoded;
    bytes = static_cast<uint32_t>(std::min<uint64_t>(bytes / frameBytes, left) * frameBytes);
    if (left == 0) return 0;
    if (bytes == 0) return -1;
    auto* to = static_cast<uint8_t*>(out);
    int64_t got = decoder->vorbis ? ReadVorbis(decoder, to, bytes) : ReadOther(decoder, to, bytes);
    // Nothing more before the length the file gave: it was cut short.
    if (got <= 0) return -1;
    decoder->decoded += uint64_t(got) / frameBytes;
    return got;
}

int PlatSoundDecoderRewind(PlatSoundDecoder* decoder) {
    decoder->decoded = 0;
    if (decoder->vorbis) return ov_pcm_seek(&decoder->ogg, 0) == 0 ? 0 : -1;
    return sf_seek(decoder->file, 0, SEEK_SET) == 0 ? 0 : -1;
}

void PlatSoundDecoderClose(PlatSoundDecoder* decoder) {
    if (!decoder) return;
    if (decoder->vorbis) ov_clear(&decoder->ogg);
    if (decoder->file) sf_close(decoder->file);
    std::free(decoder->scratch);
    std::free(decoder);
}
