// Recognising sound files over memory: the RIFF chunk walk and its padding,
// the MPEG tags and frame walk, Ogg Vorbis, and sizes that lie.
#include "sound/sound.h"
#include "support/sound_files.h"

#include <vorbis/vorbisfile.h>
#include <gtest/gtest.h>

#include <cstdlib>
#include <string>

namespace {

// One parse of `bytes`, keeping the stream so that its position can be read.
struct Parsed {
    std::string bytes;
    MemoryStream memory{};
    ImageStream stream{};
    WaveFormat* format = nullptr;
    int32_t formatSize = 0;
    int isOgg = 0;
    OggVorbis_File ogg{};
    int32_t size = -1;

    explicit Parsed(std::string data) : bytes(std::move(data)) {
        OpenMemoryImageStream(bytes.data(), bytes.size(), &memory, &stream);
        size = ParseSoundHeader(&stream, &format, &formatSize, &isOgg, &ogg);
    }
    ~Parsed() {
        if (isOgg) ov_clear(&ogg);
        std::free(format);
    }
    int32_t Position() const { return static_cast<int32_t>(memory.position); }
    const MpegLayer3Format* Mpeg() const { return reinterpret_cast<const MpegLayer3Format*>(format); }
};

// A memory stream that counts the bytes read through it.
struct CountingStream {
    MemoryStream memory{};
    ImageStream inner{};   // the memory stream's own operations
    ImageStream stream{};  // those operations, counting, over this record
    uint64_t read = 0;

    explicit CountingStream(const std::string& bytes) {
        OpenMemoryImageStream(bytes.data(), bytes.size(), &memory, &inner);
        stream = inner;
        stream.context = this;
        stream.tell = [](void* c) { return Of(c)->inner.tell(&Of(c)->memory); };
        stream.seek = [](void* c, int32_t offset, int origin) {
            return Of(c)->inner.seek(&Of(c)->memory, offset, origin);
        };
        stream.read = [](void* buffer, size_t size, size_t count, void* c) {
            size_t got = Of(c)->inner.read(buffer, size, count, &Of(c)->memory);
            Of(c)->read += got * size;
            return got;
        };
        stream.atEnd = [](void* c) { return Of(c)->inner.atEnd(&Of(c)->memory); };
    }
    static CountingStream* Of(void* context) { return static_cast<CountingStream*>(context); }
};

// Decodes `bytes` fully; the PCM as a string, or "FAILED".
std::string Decode(const std::string& bytes, WaveFormat* formatOut = nullptr) {
    MemoryStream memory;
    ImageStream stream;
    OpenMemoryImageStream(bytes.data(), bytes.size(), &memory, &stream);
    uint8_t* data = nullptr;
    WaveFormat* format = nullptr;
    int32_t size = DecodeSoundStream(&stream, &data, &format);
    if (size < 0) return "FAILED";
    std::string pcm(reinterpret_cast<char*>(data), size);
    if (formatOut) *formatOut = *format;
    std::free(data);
    std::free(format);
    return pcm;
}

const std::string kSamples = Samples16({100, -100, 200, -200, 300, -300});

// ---------------------------------------------------------------------------
// RIFF WAVE
// ---------------------------------------------------------------------------

TEST(SoundWave, SixteenByteFormatBecomesEighteenWithZeroExtraSize) {
    // The four bytes after the chunk ("data") must not leak into the record.
    Parsed p(PcmWave(2, 22050, 16, kSamples));
    ASSERT_EQ(p.size, int32_t(kSamples.size()));
    ASSERT_EQ(p.formatSize, 18);
    EXPECT_EQ(p.format->formatTag, 1);
    EXPECT_EQ(p.format->channels, 2);
    EXPECT_EQ(p.format->samplesPerSec, 22050u);
    EXPECT_EQ(p.format->avgBytesPerSec, 88200u);
    EXPECT_EQ(p.format->blockAlign, 4);
    EXPECT_EQ(p.format->bitsPerSample, 16);
    EXPECT_EQ(p.format->extraSize, 0);
    EXPECT_EQ(p.Position(), 12 + 8 + 16 + 8);
    EXPECT_EQ(p.isOgg, 0);
}

TEST(SoundWave, LongerFormatChunksAreKeptWhole) {
    std::string body = PcmFormatBody(1, 8000, 8, true) + "abcd";
    body.replace(16, 2, Le16(4));
    Parsed p(Riff("WAVE", Chunk("fmt ", body) + Chunk("data", "xyz")));
    ASSERT_EQ(p.size, 3);
    ASSERT_EQ(p.formatSize, 22);
    EXPECT_EQ(p.format->extraSize, 4);
    EXPECT_EQ(std::string(reinterpret_cast<char*>(p.format) + 18, 4), "abcd");
}

TEST(SoundWave, ChunksBeforeDataAreSkippedWithTheirPadByte) {
    std::string chunks = Chunk("fmt ", PcmFormatBody(1, 11025, 16)) + Chunk("LIST", "INFOx") +
                         Chunk("fact", Le32(3)) + Chunk("data", kSamples);
    ASSERT_EQ(Chunk("LIST", "INFOx").size(), 8u + 6u);  // five bytes and the pad
    Parsed p(Riff("WAVE", chunks));
    ASSERT_EQ(p.size, int32_t(kSamples.size()));
    EXPECT_EQ(p.Position(), int32_t(p.bytes.size() - kSamples.size()));
    EXPECT_EQ(Decode(p.bytes), kSamples);
}

TEST(SoundWave, OddFormatChunkIsPaddedToo) {
    std::string body = PcmFormatBody(1, 11025, 8, true) + "z";
    Parsed p(Riff("WAVE", Chunk("fmt ", body) + Chunk("data", "\x10\x20")));
    EXPECT_EQ(p.formatSize, 19);
    EXPECT_EQ(p.size, 2);
}

TEST(SoundWave, OtherFormTypesAndFirstChunksFail) {
    std::string fmt = Chunk("fmt ", PcmFormatBody(1, 11025, 16));
    std::string data = Chunk("data", kSamples);
    EXPECT_EQ(Parsed(Riff("AVI ", fmt + data)).size, -1);
    EXPECT_EQ(Parsed(Riff("WAVE", Chunk("LIST", "INFO") + fmt + data)).size, -1);
    EXPECT_EQ(Parsed(Riff("WAVE", data + fmt)).size, -1);
    EXPECT_EQ(Parsed(Riff("WAVE", fmt)).size, -1);  // no "data" at all
    EXPECT_EQ(Parsed("RIFF").size, -1);
    EXPECT_EQ(Decode(Riff("AVI ", fmt + data)), "FAILED");
}

TEST(SoundWave, DataClaimingMoreThanTheFileYieldsWhatIsThere) {
    std::string file = Riff("WAVE", Chunk("fmt ", PcmFormatBody(1, 11025, 16))) + "data" +
                       Le32(100000) + kSamples;
    Parsed p(file);
    EXPECT_EQ(p.size, int32_t(kSamples.size()));
    EXPECT_EQ(Decode(file), kSamples);
    // An odd count of bytes keeps the whole frames only.
    EXPECT_EQ(Decode(file + "\x7f"), kSamples);
}

TEST(SoundWave, SizesPastTheEndOrOverflowingFail) {
    std::string fmt = Chunk("fmt ", PcmFormatBody(1, 11025, 16));
    // A chunk before "data" whose size wraps 32 bits once padded.
    EXPECT_EQ(Parsed(Riff("WAVE", fmt + "junk" + Le32(0xFFFFFFFF) + Chunk("data", "ab"))).size, -1);
    EXPECT_EQ(Parsed(Riff("WAVE", fmt + "junk" + Le32(0x7FFFFFF0) + Chunk("data", "ab"))).size, -1);
    // A format chunk longer than the file.
    EXPECT_EQ(Parsed(Riff("WAVE", "fmt " + Le32(0xFFFFFFF0) + PcmFormatBody(1, 11025, 16))).size,
              -1);
}

TEST(SoundWave, EmptyOrUnplayableDataFails) {
    EXPECT_EQ(Decode(PcmWave(1, 11025, 16, "")), "FAILED");
    EXPECT_EQ(Decode(PcmWave(2, 11025, 16, "ab")), "FAILED");  // less than one frame
    // A PCM tag with a rate no buffer takes is handed to the converter, which refuses it.
    EXPECT_EQ(Decode(PcmWave(1, 5, 16, kSamples)), "FAILED");
}

TEST(SoundWave, WideOrManyChannelPcmIsConvertedToSixteenBitStereo) {
    // 24-bit stereo: rounded to the nearest 16-bit value.
    std::string samples24;
    for (int v : {0x123456, -0x123456, 0x7FFFFF, -0x800000})
        samples24 += std::string(Le32(static_cast<uint32_t>(v)), 0, 3);
    WaveFormat format{};
    std::string pcm = Decode(PcmWave(2, 22050, 24, samples24), &format);
    EXPECT_EQ(format.formatTag, 1);
    EXPECT_EQ(format.bitsPerSample, 16);
    EXPECT_EQ(format.channels, 2);
    EXPECT_EQ(pcm, Samples16({0x1234, -0x1234, 0x7FFF, -0x8000}));

    // Four channels: the first two are kept.
    std::string four = Samples16({1, 2, 3, 4, 5, 6, 7, 8});
    pcm = Decode(PcmWave(4, 8000, 16, four), &format);
    EXPECT_EQ(format.channels, 2);
    EXPECT_EQ(format.blockAlign, 4);
    EXPECT_EQ(pcm, Samples16({1, 2, 5, 6}));
}

TEST(SoundWave, FloatSamplesAreClippedAndNotANumberIsSilence) {
    std::string body = Le16(3) + Le16(1) + Le32(8000) + Le32(32000) + Le16(4) + Le16(32) + Le16(0);
    std::string samples;
    for (uint32_t bits : {0x3F000000u, 0x40000000u, 0xC0000000u, 0x7FC00000u, 0x7F800000u,
                          0xFF800000u})  // 0.5, 2, -2, NaN, +inf, -inf
        samples += Le32(bits);
    WaveFormat format{};
    EXPECT_EQ(Decode(Riff("WAVE", Chunk("fmt ", body) + Chunk("data", samples)), &format),
              Samples16({16384, 32767, -32768, 0, 32767, -32768}));
    EXPECT_EQ(format.channels, 1);
}

// ---------------------------------------------------------------------------
// MPEG audio
// ---------------------------------------------------------------------------

std::string Frames(int count, bool mono = false) {
    std::string frames;
    for (int i = 0; i < count; ++i) frames += MpegFrame(true, 3, 9, 0, i % 3 == 1, mono);
    return frames;
}

TEST(SoundMpeg, FrameLengthsFollowTheStandardTables) {
    EXPECT_EQ(MpegFrame(true, 3, 9, 0, false, false).size(), 417u);  // 128 kbit/s, 44.1 kHz
    EXPECT_EQ(MpegFrame(true, 3, 9, 0, true, false).size(), 418u);
    EXPECT_EQ(MpegFrame(false, 3, 8, 0, false, false).size(), 208u);  // 64 kbit/s, 22.05 kHz
    EXPECT_EQ(MpegFrame(true, 1, 1, 1, true, false).size(), 36u);    // layer I pads by 4
    EXPECT_EQ(MpegFrame(false, 2, 1, 2, false, false).size(), 72u);  // layer II, 8 kbit/s, 16 kHz
}

TEST(SoundMpeg, BothTagsAreExcludedFromTheSize) {
    std::string frames = Frames(5);
    std::string file = Id3v2(300) + frames + Id3v1();
    Parsed p(file);
    ASSERT_EQ(p.size, int32_t(frames.size()));
    EXPECT_EQ(p.Position(), 310);
    EXPECT_EQ(p.formatSize, 30);
    const MpegLayer3Format* f = p.Mpeg();
    EXPECT_EQ(f->wave.formatTag, 0x55);
    EXPECT_EQ(f->wave.channels, 2);
    EXPECT_EQ(f->wave.samplesPerSec, 44100u);
    EXPECT_EQ(f->wave.avgBytesPerSec, 16000u);
    EXPECT_EQ(f->wave.blockAlign, 1);
    EXPECT_EQ(f->wave.bitsPerSample, 0);
    EXPECT_EQ(f->wave.extraSize, 12);
    EXPECT_EQ(f->id, 1);
    EXPECT_EQ(f->flags, 0u);
    EXPECT_EQ(f->blockSize, 417);
    EXPECT_EQ(f->framesPerBlock, 1);
    EXPECT_EQ(f->codecDelay, 1393);
}

TEST(SoundMpeg, JunkAfterTheLeadingTagIsNotCountedAsAudio) {
    std::string frames = Frames(4, true);
    std::string junk(77, 'j');
    Parsed p(Id3v2(20) + junk + frames + Id3v1());
    ASSERT_EQ(p.size, int32_t(frames.size()));
    EXPECT_EQ(p.Position(), 30 + 77);
    EXPECT_EQ(p.format->channels, 1);
    // Without tags the size is still that of the frames.
    EXPECT_EQ(Parsed(junk + frames).size, int32_t(frames.size()));
}

// The first frame is looked for in the first 64 KiB after the leading tag
// only, so a large file that is not audio is not read through.
TEST(SoundMpeg, TheFirstFrameIsSoughtInTheFirst64KiBOnly) {
    std::string frames = Frames(2);
    EXPECT_EQ(Parsed(Id3v2(20) + std::string(65535, 'j') + frames).size, int32_t(frames.size()));
    EXPECT_EQ(Parsed(Id3v2(20) + std::string(65536, 'j') + frames).size, -1);

    std::string zeros(16 << 20, '\0');
    CountingStream counted(zeros);
    WaveFormat* format = nullptr;
    int32_t formatSize = 0;
    int isOgg = 0;
    OggVorbis_File ogg;
    EXPECT_EQ(ParseSoundHeader(&counted.stream, &format, &formatSize, &isOgg, &ogg), -1);
    EXPECT_LT(counted.read, 512u * 1024);
}

TEST(SoundMpeg, VersionFourFooterCounts) {
    std::string frames = Frames(3);
    Parsed p(Id3v2(40, 4, 0x10) + std::string(10, '\0') + frames);
    EXPECT_EQ(p.Position(), 60);
    EXPECT_EQ(p.size, int32_t(frames.size()));
    // Without the footer flag those ten bytes are junk before the first frame.
    EXPECT_EQ(Parsed(Id3v2(40, 4, 0) + std::string(10, '\0') + frames).Position(), 60);
}

TEST(SoundMpeg, LowerSamplingRatesUseTheirOwnTables) {
    std::string frames = MpegFrame(false, 3, 8, 1, false, false) + MpegFrame(false, 3, 8, 1, true, false);
    Parsed p(frames);
    ASSERT_EQ(p.size, int32_t(frames.size()));
    EXPECT_EQ(p.format->samplesPerSec, 24000u);
    EXPECT_EQ(p.format->avgBytesPerSec, 8000u);
    EXPECT_EQ(p.Mpeg()->blockSize, 192);
}

TEST(SoundMpeg, BadHeadersAndTagsFail) {
    EXPECT_EQ(Parsed(MpegFrame(true, 0, 9, 0, false, false) + Frames(2)).size, -1);  // reserved layer
    EXPECT_EQ(Parsed(MpegFrame(true, 3, 15, 0, false, false) + Frames(2)).size, -1);
    EXPECT_EQ(Parsed(MpegFrame(true, 3, 9, 3, false, false) + Frames(2)).size, -1);
    EXPECT_EQ(Parsed(MpegFrame(true, 3, 0, 0, false, false) + Frames(2)).size, -1);  // free format
    // A frame whose successor is not a header.
    EXPECT_EQ(Parsed(Frames(2) + std::string(500, 'x') + Frames(2)).size, -1);
    // A tag longer than the file.
    std::string tagged = Id3v2(1000) + Frames(2);
    EXPECT_EQ(Parsed(tagged.substr(0, 600)).size, -1);
    // Nothing but tags.
    EXPECT_EQ(Parsed(Id3v2(200) + Id3v1()).size, -1);
}

TEST(SoundMpeg, WalksOverGarbageEnd) {
    EXPECT_EQ(Parsed(std::string(300000, '\0')).size, -1);
    EXPECT_EQ(Parsed(std::string(300000, '\xFF')).size, -1);
    std::string noise;
    uint32_t state = 12345;
    for (int i = 0; i < 200000; ++i) {
        state = state * 1103515245 + 12345;
        noise += static_cast<char>(state >> 16);
    }
    Parsed p(noise);
    EXPECT_TRUE(p.size == -1 || p.size <= int32_t(noise.size()));
}

TEST(SoundMpeg, ALastFrameCutShortStillCounts) {
    std::string frames = Frames(3);
    frames.resize(frames.size() - 100);
    EXPECT_EQ(Parsed(frames + Id3v1()).size, int32_t(frames.size()));
}

}  // namespace
