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

#endif
