// Feeds arbitrary bytes to the sound file reader: ParseSoundHeader over a
// memory stream, then DecodeSoundFile through a file layer that serves the
// same bytes. Whatever comes back is read in full, so that a record or a PCM
// block shorter than its stated size shows up under the address sanitizer.
#include "memory_files.h"
#include "sound/sound.h"
#include "tessel.h"

#include <vorbis/vorbisfile.h>

#include <cstddef>
#include <cstdint>
#include <cstdlib>

namespace {

uint8_t Sum(const void* bytes, size_t count) {
    const uint8_t* p = static_cast<const uint8_t*>(bytes);
    uint8_t sum = 0;
    for (size_t i = 0; i < count; ++i) sum = static_cast<uint8_t>(sum + p[i]);
    return sum;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    volatile uint8_t sink = 0;

    MemoryStream memory;
    ImageStream stream;
    OpenMemoryImageStream(data, size, &memory, &stream);
    WaveFormat* format = nullptr;
    int32_t formatSize = 0;
    int isOgg = 0;
    OggVorbis_File ogg;
    int32_t claimed = ParseSoundHeader(&stream, &format, &formatSize, &isOgg, &ogg);
    if (claimed >= 0) {
        if (!format || formatSize < WaveFormatBytes) std::abort();
        // Only Ogg Vorbis may promise more than the file holds: it is decoded.
        if (!isOgg && (uint64_t(claimed) > size || memory.position + uint64_t(claimed) > size))
            std::abort();
        sink = Sum(format, static_cast<size_t>(formatSize));
        if (isOgg) ov_clear(&ogg);
        std::free(format);
    } else if (format) {
        std::abort();
    }

    ServeFuzzInput(data, size, nullptr);
    uint8_t* pcm = nullptr;
    WaveFormat* pcmFormat = nullptr;
    int32_t decoded = DecodeSoundFile("input", &pcm, &pcmFormat);
    if (decoded >= 0) {
        if (!pcm || !pcmFormat || decoded == 0 || pcmFormat->formatTag != WaveTagPcm ||
            (pcmFormat->channels != 1 && pcmFormat->channels != 2) ||
            (pcmFormat->bitsPerSample != 8 && pcmFormat->bitsPerSample != 16) ||
            decoded % pcmFormat->blockAlign != 0)
            std::abort();
        sink = Sum(pcm, static_cast<size_t>(decoded));
    } else if (pcm || pcmFormat) {
        std::abort();
    }
    std::free(pcm);
    std::free(pcmFormat);
    (void)sink;
    return 0;
}
