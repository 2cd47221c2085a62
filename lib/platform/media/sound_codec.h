// Converting compressed sound to PCM: the WAVE encodings the mixer cannot
// play (IMA and MS ADPCM, mu-law, A-law, IEEE float, GSM 6.10, PCM of other
// sizes or more channels) and MPEG audio frames.
#ifndef TESSEL_PLATFORM_SOUND_CODEC_H
#define TESSEL_PLATFORM_SOUND_CODEC_H

#include "platform/media/audio.h"

#include <cstdint>

// The format tag of MPEG audio; its format record carries the frames.
constexpr uint16_t WaveTagMpegLayer3 = 0x55;

// Decodes `size` bytes of `data` described by `formatRecord` (a WAVE format
// record of `formatSize` bytes, at least 18: tag, channels, rate and so on,
// then the encoding's extra bytes) to 16-bit PCM of at most two channels
// (further channels are dropped) at the data's own rate. On success returns
// the PCM byte count, with `format` filled and `*pcm` a malloc'd block the
// caller frees; -1 when the data cannot be decoded or its PCM would pass
// `limit` bytes.
int64_t PlatDecodeToPcm(const uint8_t* formatRecord, uint32_t formatSize, const uint8_t* data,
                        uint32_t size, uint32_t limit, PlatPcmFormat* format, uint8_t** pcm);

// ---------------------------------------------------------------------------
// Decoding a sound file a piece at a time, for sounds played as they are
// decoded: Ogg Vorbis through libvorbisfile, anything else (WAVE of any
// encoding, MPEG audio) through libsndfile. Only the decoder's own state is
// held, whatever the file's length.
// ---------------------------------------------------------------------------

// Where the decoder reads the file: the caller's, kept open while it decodes.
struct PlatByteSource {
    size_t (*read)(void* to, size_t bytes, void* context);   // bytes read; 0 at the end
    int (*seek)(void* context, int64_t offset, int origin);  // 0 or -1; origin as fseek's
    int64_t (*tell)(void* context);                          // the position, or -1
    void* context;
};

struct PlatSoundDecoder;

// Opens the file at its first frame: 16-bit PCM of at most two channels (the
// first two are kept) at the file's rate, `*frames` long. Null when nothing
// decodes it.
PlatSoundDecoder* PlatSoundDecoderOpen(const PlatByteSource* source, PlatPcmFormat* format,
                                       uint64_t* frames);
// Decodes the next frames, as many as fill `bytes` (a whole number of
// frames) or what is left. The bytes written; 0 once every frame has come;
// -1 when the data is damaged, or ends before the length the file gave.
int64_t PlatSoundDecoderRead(PlatSoundDecoder* decoder, void* out, uint32_t bytes);
// Back to the first frame. 0 or -1.
int PlatSoundDecoderRewind(PlatSoundDecoder* decoder);
void PlatSoundDecoderClose(PlatSoundDecoder* decoder);

// Samples as floats in [-1, 1) to little-endian 16-bit words, clipped, the
// first `kept` of each frame's `channels`.
void PlatFloatToPcm16(const float* in, int channels, int kept, uint64_t frames, uint8_t* out);

#endif
