// The generated asset set in the build's working folder: every file the game
// loads is there under the name it uses, the library's own decoders take it
// with the size and format the game's drawing assumes, and what is drawn
// over something else carries alpha.
#include "graphics/image.h"
#include "sound/sound.h"
#include "support/image_files.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cctype>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

namespace {

enum class Kind { Bmp8, Bmp24, Png, Jpeg };
enum class Alpha {
    None,     // opaque, and no alpha file beside it
    Channel,  // a PNG with an alpha channel
    File,     // an "_a" file beside it
};
enum class Size { Exact, AtLeast, AtMost };

struct ImageFile {
    const char* path;  // as the game names it
    Kind kind;
    Size rule;
    int width, height;
    Alpha alpha;
};

const ImageFile Images[] = {
    {"data\\WindBackground.bmp", Kind::Bmp8, Size::Exact, 72, 10, Alpha::None},
    {"data\\menu.png", Kind::Png, Size::Exact, 640, 50, Alpha::Channel},
    {"data\\PowerGraph.bmp", Kind::Bmp24, Size::Exact, 640, 10, Alpha::None},
    {"data\\PlayerGraphLeft.png", Kind::Png, Size::Exact, 56, 56, Alpha::Channel},
    {"data\\PlayerGraphRight.png", Kind::Png, Size::Exact, 56, 56, Alpha::Channel},
    {"data\\Missile.bmp", Kind::Bmp24, Size::Exact, 12, 12, Alpha::File},
    {"data\\WindGraph.bmp", Kind::Bmp8, Size::Exact, 40, 10, Alpha::None},
    {"data\\Blast.png", Kind::Png, Size::Exact, 7 * 96, 96, Alpha::Channel},
    {"data\\Base.bmp", Kind::Bmp24, Size::Exact, 50, 50, Alpha::File},
    {"data\\Icon.png", Kind::Png, Size::Exact, 64, 64, Alpha::Channel},
    {"Background\\R101.png", Kind::Png, Size::AtLeast, 960, 640, Alpha::None},
    {"Round\\Obstacle.bmp", Kind::Bmp24, Size::Exact, 1600, 960, Alpha::File},
    {"Round\\ObstacleData.BMP", Kind::Bmp8, Size::Exact, 401, 241, Alpha::None},
    {"data\\Ballistor.png", Kind::Png, Size::AtMost, 640, 200, Alpha::Channel},
    {"data\\Title.png", Kind::Png, Size::AtMost, 640, 40, Alpha::Channel},
    {"data\\tare.bmp", Kind::Bmp24, Size::AtMost, 640, 80, Alpha::None},
    {"Background\\b01.jpg", Kind::Jpeg, Size::AtLeast, 960, 640, Alpha::None},
    {"Background\\b02.jpg", Kind::Jpeg, Size::AtLeast, 960, 640, Alpha::None},
    {"Background\\b03.jpg", Kind::Jpeg, Size::AtLeast, 960, 640, Alpha::None},
    {"Background\\b04.jpg", Kind::Jpeg, Size::AtLeast, 960, 640, Alpha::None},
    {"Background\\b101.png", Kind::Png, Size::AtLeast, 960, 640, Alpha::None},
    {"Round\\R001.png", Kind::Png, Size::Exact, 1600, 960, Alpha::Channel},
    {"Round\\R001data.png", Kind::Png, Size::Exact, 401, 241, Alpha::None},
};

// The file on disk for a game path: the game's backslashes are folders.
std::string DiskPath(const std::string& gamePath) {
    std::string path = std::string(BALLISTOR_RUN_DIR) + "/" + gamePath;
    std::replace(path.begin(), path.end(), '\\', '/');
    return path;
}

// The alpha file the loader looks for: "_a" before the extension.
std::string AlphaPath(const std::string& gamePath) {
    size_t dot = gamePath.rfind('.');
    return dot == std::string::npos ? gamePath + "_a"
                                    : gamePath.substr(0, dot) + "_a" + gamePath.substr(dot);
}

std::vector<uint8_t> ReadBytes(const std::string& gamePath) {
    std::ifstream in(DiskPath(gamePath), std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

uint32_t Le32(const std::vector<uint8_t>& b, size_t at) {
    return b[at] | b[at + 1] << 8 | b[at + 2] << 16 | uint32_t(b[at + 3]) << 24;
}
uint16_t Le16(const std::vector<uint8_t>& b, size_t at) { return uint16_t(b[at] | b[at + 1] << 8); }

const char* KindName(Kind kind) {
    switch (kind) {
    case Kind::Bmp8: return "8-bit BMP";
    case Kind::Bmp24: return "24-bit BMP";
    case Kind::Png: return "PNG";
    case Kind::Jpeg: return "JPEG";
    }
    return "?";
}

// What the file's own bytes say it is.
std::string KindOf(const std::vector<uint8_t>& b) {
    if (b.size() > 30 && b[0] == 'B' && b[1] == 'M') {
        if (Le16(b, 28) == 8) return KindName(Kind::Bmp8);
        if (Le16(b, 28) == 24) return KindName(Kind::Bmp24);
        return "BMP of another depth";
    }
    if (b.size() > 8 && std::memcmp(b.data(), "\x89PNG\r\n\x1a\n", 8) == 0) return KindName(Kind::Png);
    if (b.size() > 3 && b[0] == 0xFF && b[1] == 0xD8 && b[2] == 0xFF) return KindName(Kind::Jpeg);
    return "unknown";
}

struct Loaded {
    GraphImage image{};
    int result;
    explicit Loaded(const std::string& gamePath) { result = LoadImageFile(DiskPath(gamePath).c_str(), &image); }
    ~Loaded() { FreeGraphImagePixels(&image); }
    uint32_t Argb(int x, int y) const { return DecodedArgb(image, x, y); }
    int Alpha(int x, int y) const { return int(Argb(x, y) >> 24); }
    int Red(int x, int y) const { return int(Argb(x, y) >> 16 & 0xFF); }
};

class ImageFileTest : public ::testing::TestWithParam<ImageFile> {};

TEST_P(ImageFileTest, IsPresentDecodesAndCarriesAlphaWhereDrawnOver) {
    const ImageFile& f = GetParam();
    ASSERT_TRUE(std::filesystem::is_regular_file(DiskPath(f.path))) << DiskPath(f.path);
    EXPECT_EQ(KindOf(ReadBytes(f.path)), KindName(f.kind));

    Loaded file(f.path);
    ASSERT_EQ(file.result, 0) << "the library's decoders refused it";
    const GraphImage& image = file.image;
    switch (f.rule) {
    case Size::Exact:
        EXPECT_EQ(image.width, f.width);
        EXPECT_EQ(image.height, f.height);
        break;
    case Size::AtLeast:
        EXPECT_GE(image.width, f.width);
        EXPECT_GE(image.height, f.height);
        break;
    case Size::AtMost:
        EXPECT_LE(image.width, f.width);
        EXPECT_LE(image.height, f.height);
        break;
    }
    bool hasChannel = image.format.alphaBits != 0;
    EXPECT_EQ(hasChannel, f.alpha == Alpha::Channel);
    bool hasFile = std::filesystem::exists(DiskPath(AlphaPath(f.path)));
    EXPECT_EQ(hasFile, f.alpha == Alpha::File) << AlphaPath(f.path);

    // A sprite's alpha must really cut it out: some pixels clear, some solid.
    if (f.alpha == Alpha::None) return;
    Loaded alphaFile(AlphaPath(f.path));
    if (f.alpha == Alpha::File) {
        ASSERT_EQ(alphaFile.result, 0);
        ASSERT_EQ(alphaFile.image.width, image.width) << "the loader refuses an alpha file of another size";
        ASSERT_EQ(alphaFile.image.height, image.height);
    }
    int clear = 0, solid = 0;
    for (int y = 0; y < image.height; ++y)
        for (int x = 0; x < image.width; ++x) {
            int a = f.alpha == Alpha::Channel ? file.Alpha(x, y) : alphaFile.Red(x, y);
            clear += a == 0;
            solid += a == 255;
        }
    EXPECT_GT(clear, 0);
    EXPECT_GT(solid, 0);
}

INSTANTIATE_TEST_SUITE_P(GameFiles, ImageFileTest, ::testing::ValuesIn(Images),
                         [](const ::testing::TestParamInfo<ImageFile>& info) {
                             std::string name = info.param.path;
                             for (char& c : name)
                                 if (!std::isalnum(static_cast<unsigned char>(c))) c = '_';
                             return name;
                         });

// ---- layouts the game's drawing relies on -----------------------------------

TEST(Layout, HudPanelIsOpaqueExceptOverTheGauges) {
    Loaded panel("data\\menu.png");
    ASSERT_EQ(panel.result, 0);
    // Screen rectangles of the gauges: power 320 x 10 at (174, 444), the
    // wind frame 72 x 10 at (289, 460); the panel lies at (0, 430).
    auto inWindow = [](int x, int y) {
        int sy = y + 430;
        return (x >= 174 && x < 494 && sy >= 444 && sy < 454) || (x >= 289 && x < 361 && sy >= 460 && sy < 470);
    };
    int wrong = 0;
    for (int y = 0; y < 50; ++y)
        for (int x = 0; x < 640; ++x) wrong += panel.Alpha(x, y) != (inWindow(x, y) ? 0 : 255);
    EXPECT_EQ(wrong, 0) << "pixels neither see-through over a gauge nor solid elsewhere";
}

TEST(Layout, PowerStripChargedHalfLeadsBrightOverADarkTrack) {
    Loaded strip("data\\PowerGraph.bmp");
    ASSERT_EQ(strip.result, 0);
    auto brightness = [&](int x) {
        uint32_t c = strip.Argb(x, 5);
        return int(c >> 16 & 0xFF) + int(c >> 8 & 0xFF) + int(c & 0xFF);
    };
    // The 320-pixel window shows [320 - width, 640 - width): the filled part
    // of the gauge is always the strip's left half ending at x = 319.
    for (int x = 320; x < 640; ++x) ASSERT_LT(brightness(x), 150) << "the empty track at " << x;
    for (int x = 0; x < 320; ++x) ASSERT_GT(brightness(x), 200) << "the charge at " << x;
    EXPECT_GT(brightness(319), brightness(0)) << "the leading end glows";
}

TEST(Layout, WindFrameMarksCalmWhereNoBarReaches) {
    Loaded frame("data\\WindBackground.bmp");
    ASSERT_EQ(frame.result, 0);
    // Drawn at x = 289: bars end at 323 (left) or start at 325 (right), so
    // column 324 - 289 = 35 is never covered and carries the calm mark.
    for (int y = 0; y < 10; ++y) {
        EXPECT_GT(frame.Red(35, y), 200);
        EXPECT_LT(frame.Red(34, y), 100);
        EXPECT_LT(frame.Red(36, y), 100);
    }
}

TEST(Layout, CannonsSitOnTheirPivotWithTheBarrelOnTheirSide) {
    Loaded right("data\\PlayerGraphRight.png"), left("data\\PlayerGraphLeft.png");
    ASSERT_EQ(right.result, 0);
    ASSERT_EQ(left.result, 0);
    // The rotated blit centres pixel (W / 2, H / 2) on the pivot; the game
    // turns the right-facing image by -angle and the left one by +angle, so
    // the barrel must point along +x and -x for both to rise.
    const int c = right.image.width / 2;
    EXPECT_EQ(right.Alpha(c, c), 255);
    EXPECT_EQ(right.Alpha(c + 20, c), 255);
    EXPECT_EQ(right.Alpha(c - 20, c), 0);
    EXPECT_EQ(left.Alpha(c - 20, c), 255);
    EXPECT_EQ(left.Alpha(c + 20, c), 0);
    // The cannon rests on ground 10 pixels below the pivot (the ground test
    // looks 3 cells down): the body reaches it and nothing hangs below.
    for (const Loaded* sprite : {&right, &left}) {
        EXPECT_GT(sprite->Alpha(c, c + 9), 128);
        for (int y = c + 12; y < sprite->image.height; ++y) EXPECT_EQ(sprite->Alpha(c, y), 0) << "row " << y;
    }
}

TEST(Layout, BaseStandsOnItsFootingAndShellIsCentred) {
    Loaded base("data\\Base_a.bmp"), shell("data\\Missile_a.bmp");
    ASSERT_EQ(base.result, 0);
    ASSERT_EQ(shell.result, 0);
    // The base is drawn from (baseX - 25, baseY - 25); the ground under it
    // lies 13 pixels below baseY, image row 38.
    int footing = 0, below = 0;
    for (int x = 0; x < 50; ++x) {
        footing += base.Red(x, 37) == 255;
        for (int y = 39; y < 50; ++y) below += base.Red(x, y) != 0;
    }
    EXPECT_GE(footing, 36) << "solid wall along the footing";
    EXPECT_EQ(below, 0) << "nothing under the ground line";
    EXPECT_EQ(shell.Red(6, 6), 255) << "the shell's position is pixel (6, 6)";
    EXPECT_EQ(shell.Red(0, 0), 0);
    EXPECT_EQ(shell.Red(11, 11), 0);
}

TEST(Layout, BlastSheetShowsSixFramesCentredOnTheImpact) {
    Loaded sheet("data\\Blast.png");
    ASSERT_EQ(sheet.result, 0);
    uint32_t previous = 0;
    for (int frame = 1; frame <= 6; ++frame) {
        int left = frame * 96;
        EXPECT_GT(sheet.Alpha(left + 48, 48), 0) << "frame " << frame;
        for (int corner : {0, 95}) {
            EXPECT_EQ(sheet.Alpha(left + corner, 0), 0) << "frame " << frame;
            EXPECT_EQ(sheet.Alpha(left + corner, 95), 0) << "frame " << frame;
        }
        // Each frame differs from the one before: the blast moves.
        uint32_t sum = 0;
        for (int y = 0; y < 96; ++y)
            for (int x = 0; x < 96; ++x) sum += uint32_t(sheet.Alpha(left + x, y));
        EXPECT_NE(sum, previous) << "frame " << frame;
        previous = sum;
    }
}

TEST(Layout, TerrainMasksArePureBlackAndWhite) {
    for (const char* path : {"Round\\R001data.png", "Round\\ObstacleData.BMP"}) {
        Loaded mask(path);
        ASSERT_EQ(mask.result, 0) << path;
        int other = 0, terrain = 0;
        for (int y = 0; y < mask.image.height; ++y)
            for (int x = 0; x < mask.image.width; ++x) {
                uint32_t c = mask.Argb(x, y);
                other += c != 0xFF000000u && c != 0xFFFFFFFFu;
                terrain += c == 0xFFFFFFFFu;
            }
        // A near-black would read as empty on a 16-bit screen; grey would not.
        EXPECT_EQ(other, 0) << path;
        EXPECT_GT(terrain, 0) << path;
    }
}

// ---- sounds -----------------------------------------------------------------

struct SoundFile {
    const char* path;
    uint16_t tag;  // the WAVE format tag: 1 PCM, 0x11 IMA ADPCM
    float minSeconds, maxSeconds;
};

const SoundFile Sounds[] = {
    {"wav\\ExplosionSound.wav", 1, 0.5f, 3},
    {"wav\\DischargeSound.wav", 1, 0.2f, 2},
    {"wav\\MoveSound.wav", 1, 0.05f, 0.5f},
    {"wav\\Music01.wav", 0x11, 20, 60},
};

class SoundFileTest : public ::testing::TestWithParam<SoundFile> {};

TEST_P(SoundFileTest, IsAWaveTheLibraryDecodesToAudiblePcm) {
    const SoundFile& s = GetParam();
    std::vector<uint8_t> b = ReadBytes(s.path);
    ASSERT_GT(b.size(), 44u) << DiskPath(s.path);
    // The loader wants "fmt " right after the form type.
    EXPECT_EQ(std::string(b.begin(), b.begin() + 4), "RIFF");
    EXPECT_EQ(std::string(b.begin() + 8, b.begin() + 16), "WAVEfmt ");
    EXPECT_EQ(Le16(b, 20), s.tag);

    uint8_t* data = nullptr;
    WaveFormat* format = nullptr;
    int32_t size = DecodeSoundFile(DiskPath(s.path).c_str(), &data, &format);
    ASSERT_GT(size, 0);
    EXPECT_EQ(format->formatTag, WaveTagPcm);
    EXPECT_EQ(format->bitsPerSample, 16);
    float seconds = float(size) / float(format->avgBytesPerSec);
    EXPECT_GE(seconds, s.minSeconds);
    EXPECT_LE(seconds, s.maxSeconds);
    int peak = 0;
    for (int32_t i = 0; i + 1 < size; i += 2) peak = std::max(peak, std::abs(int(int16_t(data[i] | data[i + 1] << 8))));
    EXPECT_GT(peak, 8000) << "loud enough to hear";
    std::free(data);
    std::free(format);
}

INSTANTIATE_TEST_SUITE_P(GameFiles, SoundFileTest, ::testing::ValuesIn(Sounds),
                         [](const ::testing::TestParamInfo<SoundFile>& info) {
                             std::string name = info.param.path;
                             for (char& c : name)
                                 if (!std::isalnum(static_cast<unsigned char>(c))) c = '_';
                             return name;
                         });

TEST(Music, LoopsWithoutAClick) {
    std::vector<uint8_t> b = ReadBytes("wav\\Music01.wav");
    ASSERT_GT(b.size(), 60u);
    // IMA ADPCM pads its last block with silence unless the sound fills
    // whole blocks: the "fact" sample count must be a multiple of a block.
    uint16_t samplesPerBlock = Le16(b, 38);
    ASSERT_EQ(std::string(b.begin() + 40, b.begin() + 44), "fact");
    uint32_t samples = Le32(b, 48);
    ASSERT_GT(samplesPerBlock, 0);
    EXPECT_EQ(samples % samplesPerBlock, 0u);

    uint8_t* data = nullptr;
    WaveFormat* format = nullptr;
    int32_t size = DecodeSoundFile(DiskPath("wav\\Music01.wav").c_str(), &data, &format);
    ASSERT_GT(size, 0);
    ASSERT_EQ(format->channels, 1);
    std::vector<int> pcm;
    for (int32_t i = 0; i + 1 < size; i += 2) pcm.push_back(int16_t(data[i] | data[i + 1] << 8));
    std::free(data);
    std::free(format);
    ASSERT_EQ(pcm.size(), samples);
    // The step from the last sample back to the first is no larger than
    // the music's ordinary steps.
    std::vector<int> steps;
    for (size_t i = 1; i < pcm.size(); ++i) steps.push_back(std::abs(pcm[i] - pcm[i - 1]));
    std::nth_element(steps.begin(), steps.begin() + steps.size() * 99 / 100, steps.end());
    int usual = steps[steps.size() * 99 / 100];
    EXPECT_LE(std::abs(pcm.front() - pcm.back()), usual);
}

}  // namespace
