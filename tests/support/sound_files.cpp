#include "support/sound_files.h"

#include <cmath>
#include <cstdlib>

std::string Le16(uint32_t value) {
    return {static_cast<char>(value & 0xFF), static_cast<char>((value >> 8) & 0xFF)};
}

std::string Le32(uint32_t value) { return Le16(value & 0xFFFF) + Le16(value >> 16); }

std::string Chunk(const char* id, const std::string& body) {
    std::string chunk = std::string(id, 4) + Le32(static_cast<uint32_t>(body.size())) + body;
    if (body.size() & 1) chunk += '\0';
    return chunk;
}

std::string Riff(const char* form, const std::string& chunks) {
    return "RIFF" + Le32(static_cast<uint32_t>(4 + chunks.size())) + std::string(form, 4) + chunks;
}

std::string PcmFormatBody(int channels, int rate, int bits, bool withExtraSize) {
    int align = channels * bits / 8;
    std::string body = Le16(1) + Le16(channels) + Le32(rate) + Le32(rate * align) + Le16(align) +
                       Le16(bits);
    if (withExtraSize) body += Le16(0);
    return body;
}

std::string PcmWave(int channels, int rate, int bits, const std::string& samples) {
    return Riff("WAVE", Chunk("fmt ", PcmFormatBody(channels, rate, bits)) +
                            Chunk("data", samples));
}

std::string Samples16(const std::vector<int16_t>& samples) {
    std::string bytes;
    for (int16_t s : samples) bytes += Le16(static_cast<uint16_t>(s));
    return bytes;
}

std::vector<int16_t> Pattern(int frames, int seed) {
    std::vector<int16_t> samples(size_t(frames) * 2);
    for (size_t i = 0; i < samples.size(); ++i) {
        int value = static_cast<int>((i * 7919 + seed * 104729) % 24001) - 12000;
        samples[i] = static_cast<int16_t>(value == 0 ? 1 : value);
    }
    return samples;
}

std::vector<int16_t> Tone(int frames, int channels, int rate, double hz) {
    std::vector<int16_t> samples;
    for (int i = 0; i < frames; ++i) {
        double v = std::sin(2 * M_PI * hz * i / rate) * 12000;
        for (int c = 0; c < channels; ++c) samples.push_back(static_cast<int16_t>(v));
    }
    return samples;
}

std::string MpegFrame(bool mpeg1, int layer, int bitrateIndex, int rateIndex, bool padding,
                      bool mono) {
    static const int kbps[2][3][15] = {
        {{0, 32, 64, 96, 128, 160, 192, 224, 256, 288, 320, 352, 384, 416, 448},
         {0, 32, 48, 56, 64, 80, 96, 112, 128, 160, 192, 224, 256, 320, 384},
         {0, 32, 40, 48, 56, 64, 80, 96, 112, 128, 160, 192, 224, 256, 320}},
        {{0, 32, 48, 56, 64, 80, 96, 112, 128, 144, 160, 176, 192, 224, 256},
         {0, 8, 16, 24, 32, 40, 48, 56, 64, 80, 96, 112, 128, 144, 160},
         {0, 8, 16, 24, 32, 40, 48, 56, 64, 80, 96, 112, 128, 144, 160}}};
    static const int rates[2][3] = {{44100, 48000, 32000}, {22050, 24000, 16000}};
    std::string frame(4, '\0');
    frame[0] = static_cast<char>(0xFF);
    int layerBits = layer >= 1 && layer <= 3 ? 4 - layer : 0;
    frame[1] = static_cast<char>(0xF1 | (mpeg1 ? 0x08 : 0) | layerBits << 1);
    frame[2] = static_cast<char>(bitrateIndex << 4 | rateIndex << 2 | (padding ? 2 : 0));
    frame[3] = static_cast<char>(mono ? 0xC0 : 0x00);
    if (bitrateIndex == 0 || bitrateIndex == 15 || rateIndex == 3 || layer < 1 || layer > 3)
        return frame;
    int bitrate = kbps[!mpeg1][layer - 1][bitrateIndex];
    int rate = rates[!mpeg1][rateIndex];
    int length = layer == 1 ? (bitrate * 12000 / rate + padding) * 4
                 : (layer == 3 && !mpeg1) ? bitrate * 72000 / rate + padding
                                          : bitrate * 144000 / rate + padding;
    frame.resize(static_cast<size_t>(length), '\0');
    return frame;
}

std::string Id3v2(uint32_t body, int major, int flags) {
    std::string tag = "ID3";
    tag += static_cast<char>(major);
    tag += '\0';
    tag += static_cast<char>(flags);
    for (int shift = 21; shift >= 0; shift -= 7) tag += static_cast<char>((body >> shift) & 0x7F);
    return tag + std::string(body, '\0');
}

std::string Id3v1() { return "TAG" + std::string(125, ' '); }

PcmData ReadPcmWave(const std::string& file) {
    PcmData pcm;
    auto u16 = [&](size_t at) { return uint8_t(file[at]) | uint8_t(file[at + 1]) << 8; };
    auto u32 = [&](size_t at) { return uint32_t(u16(at)) | uint32_t(u16(at + 2)) << 16; };
    if (file.size() < 12 || file.compare(0, 4, "RIFF") != 0 || file.compare(8, 4, "WAVE") != 0)
        return pcm;
    for (size_t at = 12; at + 8 <= file.size();) {
        uint32_t size = u32(at + 4);
        if (file.compare(at, 4, "fmt ") == 0 && size >= 16 && at + 8 + size <= file.size()) {
            pcm.channels = u16(at + 10);
            pcm.rate = static_cast<int>(u32(at + 12));
            pcm.bits = u16(at + 22);
        } else if (file.compare(at, 4, "data") == 0) {
            pcm.data = file.substr(at + 8, size);
            return pcm;
        }
        at += 8 + size + (size & 1);
    }
    return PcmData{};
}

std::vector<int16_t> FromSamples16(const std::string& bytes) {
    std::vector<int16_t> samples;
    for (size_t i = 0; i + 1 < bytes.size(); i += 2)
        samples.push_back(static_cast<int16_t>(uint8_t(bytes[i]) | uint8_t(bytes[i + 1]) << 8));
    return samples;
}

bool RunQuiet(const std::string& command) {
    return std::system((command + " > /dev/null 2>&1").c_str()) == 0;
}

bool HaveTools(const std::vector<std::string>& tools) {
    for (const std::string& tool : tools)
        if (!RunQuiet("command -v " + tool)) return false;
    return true;
}
