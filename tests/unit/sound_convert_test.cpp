// Compressed sound files made by sox and lame decode to PCM that still
// carries the tone they were made from: the WAVE encodings the mixer cannot
// play, MPEG audio behind its tags, and Ogg Vorbis.
#include "sound/sound.h"
#include "support/harness.h"
#include "support/sound_files.h"

#include <vorbis/vorbisfile.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <string>
#include <vector>

namespace {

constexpr int kRate = 8000;
constexpr int kFrames = 4000;  // half a second
constexpr double kHz = 440;

struct Decoded {
    int32_t size = -1;
    WaveFormat format{};
    std::vector<int16_t> samples;
};

Decoded DecodePath(const std::string& path) {
    Decoded d;
    uint8_t* data = nullptr;
    WaveFormat* format = nullptr;
    d.size = DecodeSoundFile(path.c_str(), &data, &format);
    if (d.size < 0) return d;
    d.format = *format;
    for (int32_t i = 0; i + 1 < d.size; i += 2)
        d.samples.push_back(static_cast<int16_t>(data[i] | data[i + 1] << 8));
    std::free(data);
    std::free(format);
    return d;
}

// Cycles per second of channel 0, between its first and last rise from
// below -2000 to above 2000: coding noise around zero does not count, nor
// does the silence a codec adds before and after.
double Frequency(const Decoded& d) {
    int channels = d.format.channels;
    size_t frames = d.samples.size() / channels;
    int cycles = 0;
    size_t first = 0, last = 0;
    bool low = false;
    for (size_t i = 0; i < frames; ++i) {
        int16_t s = d.samples[i * channels];
        if (s < -2000) low = true;
        if (s > 2000 && low) {
            if (cycles++ == 0) first = i;
            last = i;
            low = false;
        }
    }
    return cycles < 2 ? 0 : (cycles - 1) * double(d.format.samplesPerSec) / (last - first);
}

// What ParseSoundHeader makes of a whole file held in memory.
struct Header {
    int32_t size = -1, formatSize = 0;
    int isOgg = 0;
    bool hasFormat = false;
    WaveFormat format{};
    size_t position = 0;  // where the stream was left
};

Header ParseHeader(const std::string& file) {
    MemoryStream memory;
    ImageStream stream;
    OpenMemoryImageStream(file.data(), file.size(), &memory, &stream);
    Header h;
    WaveFormat* format = nullptr;
    OggVorbis_File ogg;
    h.size = ParseSoundHeader(&stream, &format, &h.formatSize, &h.isOgg, &ogg);
    h.position = size_t(memory.position);
    if (format) h.format = *format, h.hasFormat = true;
    if (h.isOgg) ov_clear(&ogg);
    std::free(format);
    return h;
}

double Rms(const std::vector<int16_t>& samples) {
    double sum = 0;
    for (int16_t s : samples) sum += double(s) * s;
    return samples.empty() ? 0 : std::sqrt(sum / samples.size());
}

class SoundConvert : public ::testing::Test {
protected:
    ScratchDir dir;
    void SetUp() override {
        if (!HaveTools({"sox", "lame"})) GTEST_SKIP() << "sox and lame are needed (apt-get install sox lame)";
        WriteFile("tone.wav", PcmWave(1, kRate, 16, Samples16(Tone(kFrames, 1, kRate, kHz))));
        WriteFile("stereo.wav", PcmWave(2, kRate, 16, Samples16(Tone(kFrames, 2, kRate, kHz))));
    }
};

TEST_F(SoundConvert, EveryWaveEncodingBecomesSixteenBitPcm) {
    const std::vector<int16_t> original = Tone(kFrames, 1, kRate, kHz);
    struct Case { const char* name; const char* options; double tolerance; };
    for (const Case& c : {Case{"ima", "-e ima-adpcm", 0.1}, Case{"ms", "-e ms-adpcm", 0.1},
                          Case{"ulaw", "-e u-law", 0.05}, Case{"alaw", "-e a-law", 0.05},
                          Case{"float", "-e floating-point -b 32", 0.01},
                          Case{"gsm", "-e gsm-full-rate", 0.5}}) {
        SCOPED_TRACE(c.name);
        std::string path = std::string(c.name) + ".wav";
        ASSERT_TRUE(RunQuiet("sox tone.wav " + std::string(c.options) + " " + path));
        Decoded d = DecodePath(path);
        ASSERT_GT(d.size, 0);
        EXPECT_EQ(d.format.formatTag, 1);
        EXPECT_EQ(d.format.channels, 1);
        EXPECT_EQ(d.format.samplesPerSec, uint32_t(kRate));
        EXPECT_EQ(d.format.bitsPerSample, 16);
        EXPECT_EQ(d.format.blockAlign, 2);
        EXPECT_EQ(d.format.avgBytesPerSec, uint32_t(kRate * 2));
        EXPECT_EQ(d.format.extraSize, 0);
        // Block codecs round up to whole blocks.
        EXPECT_GE(d.samples.size(), size_t(kFrames));
        EXPECT_LE(d.samples.size(), size_t(kFrames + 1024));
        // Sample for sample close to the tone, relative to its strength.
        double error = 0;
        for (int i = 0; i < kFrames; ++i) error += std::pow(double(d.samples[i]) - original[i], 2);
        EXPECT_LT(std::sqrt(error / kFrames) / Rms(original), c.tolerance);
    }
}

TEST_F(SoundConvert, StereoAdpcmKeepsBothChannels) {
    ASSERT_TRUE(RunQuiet("sox stereo.wav -e ima-adpcm ima2.wav"));
    Decoded d = DecodePath("ima2.wav");
    ASSERT_GT(d.size, 0);
    EXPECT_EQ(d.format.channels, 2);
    EXPECT_EQ(d.format.blockAlign, 4);
    EXPECT_NEAR(Frequency(d), kHz, 10);
}

TEST_F(SoundConvert, MpegBehindTagsAndJunkDecodes) {
    // 16 kHz: lame would write 8 kHz as MPEG 2.5, which is not recognised.
    WriteFile("tone16.wav", PcmWave(1, 16000, 16, Samples16(Tone(kFrames * 2, 1, 16000, kHz))));
    ASSERT_TRUE(RunQuiet("lame --quiet -b 32 --tt Test --ta Tessel --add-id3v2 tone16.wav tagged.mp3"));
    std::string file = ReadFile("tagged.mp3");
    ASSERT_EQ(file.substr(0, 3), "ID3");
    ASSERT_EQ(file.substr(file.size() - 128, 3), "TAG");
    uint32_t tagSize = 10 + ((file[6] & 0x7F) << 21 | (file[7] & 0x7F) << 14 |
                             (file[8] & 0x7F) << 7 | (file[9] & 0x7F));
    // Junk between the tag and the first frame is not audio.
    std::string junk(333, '\x11');
    file.insert(tagSize, junk);
    WriteFile("junk.mp3", file);

    Header h = ParseHeader(file);
    EXPECT_EQ(h.isOgg, 0);
    EXPECT_EQ(h.size, int32_t(file.size() - tagSize - junk.size() - 128));
    EXPECT_EQ(h.position, tagSize + junk.size());
    ASSERT_TRUE(h.hasFormat);
    EXPECT_EQ(h.format.formatTag, 0x55);
    EXPECT_EQ(h.format.samplesPerSec, 16000u);

    Decoded d = DecodePath("junk.mp3");
    ASSERT_GT(d.size, 0);
    EXPECT_EQ(d.format.formatTag, 1);
    EXPECT_EQ(d.format.channels, 1);
    EXPECT_EQ(d.format.samplesPerSec, 16000u);
    // The encoder adds its delay and pads the last frame, never much more.
    EXPECT_GE(d.samples.size(), size_t(kFrames * 2 - 1152));
    EXPECT_LE(d.samples.size(), size_t(kFrames * 2 + 3 * 1152));
    EXPECT_NEAR(Frequency(d), kHz, 20);
}

TEST_F(SoundConvert, MpegInsideWaveIsDecodedOnlyAsMpeg) {
    WriteFile("tone16.wav", PcmWave(1, 16000, 16, Samples16(Tone(kFrames * 2, 1, 16000, kHz))));
    ASSERT_TRUE(RunQuiet("lame --quiet -b 32 tone16.wav bare.mp3"));
    ASSERT_TRUE(RunQuiet("sox stereo.wav tone.ogg"));
    std::string fmt = Le16(0x55) + Le16(1) + Le32(16000) + Le32(4000) + Le16(1) + Le16(0) + Le16(0);
    WriteFile("mp3.wav", Riff("WAVE", Chunk("fmt ", fmt) + Chunk("data", ReadFile("bare.mp3"))));
    WriteFile("ogg.wav", Riff("WAVE", Chunk("fmt ", fmt) + Chunk("data", ReadFile("tone.ogg"))));
    Decoded mp3 = DecodePath("mp3.wav");
    ASSERT_GT(mp3.size, 0);
    EXPECT_EQ(mp3.format.samplesPerSec, 16000u);
    EXPECT_NEAR(Frequency(mp3), kHz, 20);
    // An Ogg stream behind an MPEG record is not MPEG, whatever the converter could make of it.
    EXPECT_EQ(DecodePath("ogg.wav").size, -1);
}

TEST_F(SoundConvert, OggVorbisDecodesToTheLengthItStates) {
    ASSERT_TRUE(RunQuiet("sox stereo.wav tone.ogg"));
    Header h = ParseHeader(ReadFile("tone.ogg"));
    ASSERT_EQ(h.isOgg, 1);
    EXPECT_EQ(h.size, kFrames * 4);
    EXPECT_EQ(h.formatSize, 18);
    ASSERT_TRUE(h.hasFormat);
    EXPECT_EQ(h.format.formatTag, 1);
    EXPECT_EQ(h.format.channels, 2);
    EXPECT_EQ(h.format.bitsPerSample, 16);
    EXPECT_EQ(h.format.blockAlign, 4);
    EXPECT_EQ(h.format.avgBytesPerSec, uint32_t(kRate * 4));

    Decoded d = DecodePath("tone.ogg");
    ASSERT_EQ(d.size, kFrames * 4);
    EXPECT_NEAR(Frequency(d), kHz, 10);
    EXPECT_GT(Rms(d.samples), 0.5 * Rms(Tone(kFrames, 2, kRate, kHz)));
}

TEST_F(SoundConvert, CutOggVorbisGivesTheLengthOfItsCompletePages) {
    // Noise, so that the stream has many pages to cut between.
    WriteFile("noise.wav", PcmWave(2, kRate, 16, Samples16(Pattern(kFrames * 4, 3))));
    ASSERT_TRUE(RunQuiet("sox noise.wav noise.ogg"));
    std::string file = ReadFile("noise.ogg");
    WriteFile("cut.ogg", file.substr(0, file.size() * 3 / 4));
    Decoded whole = DecodePath("noise.ogg");
    Decoded cut = DecodePath("cut.ogg");
    EXPECT_EQ(whole.size, kFrames * 16);
    EXPECT_GT(cut.size, 0);
    EXPECT_LT(cut.size, whole.size);
    EXPECT_EQ(cut.size % 4, 0);
    // What is there is the same sound as the start of the whole stream.
    ASSERT_LE(cut.samples.size(), whole.samples.size());
    EXPECT_TRUE(std::equal(cut.samples.begin(), cut.samples.end(), whole.samples.begin()));
}

}  // namespace
