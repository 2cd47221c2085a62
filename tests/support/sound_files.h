// Writers of small sound files for the sound tests and the fuzzer's seeds:
// RIFF WAVE laid out chunk by chunk, MPEG audio frames with their tags, and
// the files Debian's sox and lame make from them.
#ifndef TESSEL_TEST_SOUND_FILES_H
#define TESSEL_TEST_SOUND_FILES_H

#include <cstdint>
#include <string>
#include <vector>

std::string Le16(uint32_t value);
std::string Le32(uint32_t value);

// A chunk with its header; an odd body gets its pad byte.
std::string Chunk(const char* id, const std::string& body);
// "RIFF", the size, the form type, then the chunks as given.
std::string Riff(const char* form, const std::string& chunks);
// The body of a PCM "fmt " chunk: 16 bytes, or 18 with an extra size of 0.
std::string PcmFormatBody(int channels, int rate, int bits, bool withExtraSize = false);
// A whole PCM WAVE file: "fmt " (16 bytes) then "data".
std::string PcmWave(int channels, int rate, int bits, const std::string& samples);

// 16-bit little-endian samples.
std::string Samples16(const std::vector<int16_t>& samples);
// Interleaved stereo frames whose every sample differs from its neighbours
// and from zero, so that a shifted, dropped or repeated frame shows.
std::vector<int16_t> Pattern(int frames, int seed);
// A sine tone, interleaved for `channels`.
std::vector<int16_t> Tone(int frames, int channels, int rate, double hz);

// An MPEG audio frame header and its zero-filled body. `mpeg1` picks MPEG-1
// (else the lower sampling rates of MPEG-2), `layer` 1..3, the indexes as
// they go into the header.
std::string MpegFrame(bool mpeg1, int layer, int bitrateIndex, int rateIndex, bool padding,
                      bool mono);
// An ID3v2 tag of `body` bytes of zeros (major version 3, no flags, unless
// given), and a 128-byte ID3v1 block.
std::string Id3v2(uint32_t body, int major = 3, int flags = 0);
std::string Id3v1();

// The format and "data" chunk of a PCM WAVE file (channels 0 when the
// bytes are not one), and 16-bit samples back from bytes.
struct PcmData {
    int channels = 0, rate = 0, bits = 0;
    std::string data;
};
PcmData ReadPcmWave(const std::string& file);
std::vector<int16_t> FromSamples16(const std::string& bytes);

// Runs a shell command quietly; true when it exits with 0.
bool RunQuiet(const std::string& command);
// True when every named program is on the PATH.
bool HaveTools(const std::vector<std::string>& tools);

#endif
