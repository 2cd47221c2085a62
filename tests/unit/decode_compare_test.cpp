// The decoders against an independent one: every file of a generated corpus
// is decoded here and by ImageMagick's convert, and the pixels must agree
// exactly (JPEG within a step or two of rounding: both sides use libjpeg,
// but not necessarily with the same settings). Channels narrower than 8 bits
// are compared at their own width, since each program widens them its own
// way. The corpus holds files laid out by the tests' own writers and files
// written by convert itself.
#include "graphics/image.h"
#include "support/harness.h"
#include "support/image_files.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <string>
#include <vector>

namespace {

constexpr const char* Convert = "/usr/bin/convert";

struct Entry {
    std::string name;     // file name in the scratch folder
    std::string coder;    // convert's name for the format
    bool alpha = true;    // compare alpha too (off where the formats mean it differently)
    int tolerance = 0;    // largest channel difference allowed
    std::string options;  // convert's options after reading
};

// Red, green, blue and alpha of a decoded pixel, each with its width in bits;
// absent alpha reads as 8 bits of 255, and so does grey's (the one byte
// stands for alpha only in alpha images).
void RawChannels(const GraphImage& image, int x, int y, uint32_t value[4], int bits[4]) {
    const ColorFormat& f = image.format;
    const uint8_t* p = image.pixels + ptrdiff_t(y) * image.pitch + ptrdiff_t(x) * f.bytesPerPixel;
    uint32_t pixel = 0;
    for (int i = 0; i < f.bytesPerPixel; ++i) pixel |= uint32_t(p[i]) << (8 * i);
    const uint32_t masks[4] = {f.redMask, f.greenMask, f.blueMask, f.alphaMask};
    const int shifts[4] = {f.redShift, f.greenShift, f.blueShift, f.alphaShift};
    const int widths[4] = {f.redBits, f.greenBits, f.blueBits, f.alphaBits};
    for (int c = 0; c < 4; ++c) {
        bits[c] = widths[c] ? widths[c] : 8;
        value[c] = widths[c] ? (pixel & masks[c]) >> shifts[c] : 0xFF;
    }
    if (f.bytesPerPixel == 1) value[3] = 0xFF;
}

void WriteBytes(const std::string& path, const Bytes& bytes) {
    WriteFile(path, std::string(bytes.begin(), bytes.end()));
}

bool RunCommand(const std::string& command) { return std::system((command + " 2>>convert.err").c_str()) == 0; }

// Compares one file; a message describing the first difference, or "".
std::string Compare(const Entry& entry) {
    GraphImage image;
    if (LoadImageFile(entry.name.c_str(), &image) != 0) return "not decoded here";
    std::string reference = entry.name + ".rgba";
    std::string command = std::string(Convert) + " " + entry.coder + ":" + entry.name + "[0] " +
                          entry.options + " -depth 8 rgba:" + reference;
    std::string result;
    std::string raw = RunCommand(command) ? ReadFile(reference) : "";
    if (raw.size() != size_t(image.width) * image.height * 4) {
        result = "convert gave " + std::to_string(raw.size()) + " bytes for " +
                 std::to_string(image.width) + "x" + std::to_string(image.height);
    }
    for (int y = 0; result.empty() && y < image.height; ++y) {
        for (int x = 0; result.empty() && x < image.width; ++x) {
            const uint8_t* want = reinterpret_cast<const uint8_t*>(raw.data()) + (size_t(y) * image.width + x) * 4;
            uint32_t value[4];
            int bits[4];
            RawChannels(image, x, y, value, bits);
            for (int c = 0; c < (entry.alpha ? 4 : 3); ++c) {
                int here = int(bits[c] >= 8 ? value[c] >> (bits[c] - 8) : value[c]);
                int there = want[c] >> (bits[c] >= 8 ? 0 : 8 - bits[c]);
                if (std::abs(here - there) > entry.tolerance) {
                    char text[128];
                    std::snprintf(text, sizeof text, "(%d, %d) channel %d: %d here, %d convert (%d bits)",
                                  x, y, c, here, there, bits[c]);
                    result = text;
                    break;
                }
            }
        }
    }
    FreeGraphImagePixels(&image);
    return result;
}

class DecodeCompare : public ::testing::Test {
protected:
    void SetUp() override {
        if (!std::filesystem::exists(Convert)) GTEST_SKIP() << "ImageMagick's convert is not installed";
    }
    void Check(const std::vector<Entry>& entries) {
        for (const Entry& entry : entries) {
            std::string difference = Compare(entry);
            EXPECT_EQ(difference, "") << entry.name << "\n" << ReadFile("convert.err");
        }
        EXPECT_GE(entries.size(), 1u);
    }
    ScratchDir scratch_;
    const Picture colour_ = Gradient(19, 11, false);
    const Picture alpha_ = Gradient(13, 7, true);
    const Picture grey_ = GreyGradient(17, 9);
    const IndexedPicture indexed_ = Indexed(21, 9, 13);
};

TEST_F(DecodeCompare, BmpFilesOfEveryDepthAndCoding) {
    std::vector<Entry> entries;
    auto add = [&](const std::string& name, const Bytes& bytes) {
        WriteBytes(name, bytes);
        entries.push_back({name, "bmp", true, 0, ""});
    };
    add("mono.bmp", BmpOf(Indexed(19, 5, 2), 1, false));
    add("four.bmp", BmpOf(indexed_, 4, false));
    add("eight.bmp", BmpOf(indexed_, 8, false));
    add("rle4.bmp", BmpOf(indexed_, 4, true));
    add("rle8.bmp", BmpOf(indexed_, 8, true));
    add("plain16.bmp", BmpOf(colour_, 16, false));
    add("plain24.bmp", BmpOf(colour_, 24, false));
    add("topdown24.bmp", BmpOf(colour_, 24, true));
    add("plain32.bmp", BmpOf(colour_, 32, false));
    for (int bits : {16, 32}) {
        const uint32_t masks[3] = {bits == 16 ? 0xF800u : 0xFF0000u, bits == 16 ? 0x07E0u : 0xFF00u,
                                   bits == 16 ? 0x001Fu : 0xFFu};
        BmpSpec shape;
        shape.width = colour_.width;
        shape.height = colour_.height;
        shape.bitCount = bits;
        shape.compression = 3;
        shape.writeMasks = true;
        std::memcpy(shape.masks, masks, sizeof masks);
        shape.data = BmpColourRows(colour_, bits, true, masks);
        add("fields" + std::to_string(bits) + ".bmp", BmpFile(shape));
    }

    // Files convert writes itself, from a picture of few colours.
    WriteBytes("source.png", PngPaletteFile(indexed_, 8, false));
    struct Written {
        const char* name;
        const char* options;
    } written[] = {
        {"im24.bmp", "-type TrueColor bmp3:"},
        {"im8.bmp", "-type Palette bmp3:"},
        {"im_rle8.bmp", "-type Palette -compress RLE bmp3:"},
        {"im4.bmp", "-colors 16 -type Palette bmp3:"},
        {"im1.bmp", "-monochrome bmp3:"},
        {"im_v5.bmp", "-type TrueColor bmp:"},
    };
    for (const Written& w : written) {
        ASSERT_TRUE(RunCommand(std::string(Convert) + " source.png " + w.options + w.name)) << w.name;
        entries.push_back({w.name, "bmp", true, 0, ""});
    }
    Check(entries);
}

TEST_F(DecodeCompare, PngFilesOfEveryColourTypeDepthAndInterlace) {
    std::vector<Entry> entries;
    auto add = [&](const std::string& name, const Bytes& bytes) {
        WriteBytes(name, bytes);
        entries.push_back({name, "png", true, 0, ""});
    };
    for (int depth : {1, 2, 4, 8, 16}) add("grey" + std::to_string(depth) + ".png", PngFile(grey_, 0, depth, false));
    add("grey_trns.png", PngFile(grey_, 0, 8, false, grey_.At(3, 3) & 0xFF));
    add("grey_alpha.png", PngFile(alpha_, 4, 8, false));
    add("grey_alpha16.png", PngFile(alpha_, 4, 16, false));
    add("rgb.png", PngFile(colour_, 2, 8, false));
    add("rgb16.png", PngFile(colour_, 2, 16, false));
    add("rgb_trns.png", PngFile(colour_, 2, 8, false, colour_.At(4, 2) & 0xFFFFFF));
    add("rgba.png", PngFile(alpha_, 6, 8, false));
    add("rgba16.png", PngFile(alpha_, 6, 16, false));
    for (int depth : {1, 2, 4, 8}) {
        add("palette" + std::to_string(depth) + ".png", PngPaletteFile(Indexed(15, 6, 1 << std::min(depth, 4)), depth, false));
    }
    IndexedPicture translucent = indexed_;
    for (size_t i = 0; i < translucent.palette.size(); ++i) translucent.palette[i] = (translucent.palette[i] & 0xFFFFFF) | uint32_t(i * 19) << 24;
    add("palette_trns.png", PngPaletteFile(translucent, 8, true));
    add("interlaced_grey.png", PngFile(grey_, 0, 8, true));
    add("interlaced_rgb.png", PngFile(colour_, 2, 8, true));
    add("interlaced_rgba16.png", PngFile(alpha_, 6, 16, true));

    WriteBytes("source.png", PngFile(alpha_, 6, 8, false));
    for (const char* options : {"PNG8:", "PNG24:", "PNG32:", "PNG48:", "PNG64:", "-interlace PNG PNG32:"}) {
        std::string name = "im" + std::to_string(entries.size()) + ".png";
        ASSERT_TRUE(RunCommand(std::string(Convert) + " source.png " + options + name)) << options;
        entries.push_back({name, "png", true, 0, ""});
    }
    Check(entries);
}

TEST_F(DecodeCompare, JpegFilesInColourAndGrey) {
    std::vector<Entry> entries;
    auto add = [&](const std::string& name, const Bytes& bytes) {
        WriteBytes(name, bytes);
        entries.push_back({name, "jpeg", true, 2, ""});
    };
    Picture large = Gradient(37, 29, false);
    add("colour.jpg", JpegFile(large, false, 85));
    add("grey.jpg", JpegFile(grey_, true, 85));
    add("progressive.jpg", JpegFile(large, false, 70, true));
    WriteBytes("source.png", PngFile(large, 2, 8, false));
    ASSERT_TRUE(RunCommand(std::string(Convert) + " source.png -quality 92 jpeg:im.jpg"));
    ASSERT_TRUE(RunCommand(std::string(Convert) + " source.png -colorspace Gray -quality 80 jpeg:im_grey.jpg"));
    ASSERT_TRUE(RunCommand(std::string(Convert) + " source.png -sampling-factor 1x1 -quality 95 jpeg:im444.jpg"));
    for (const char* name : {"im.jpg", "im_grey.jpg", "im444.jpg"}) entries.push_back({name, "jpeg", true, 2, ""});
    Check(entries);
}

// convert reads the rows in file order and records the orientation; it is
// applied before comparing. For 16-bit pixels convert reads bit 15 as alpha
// from the descriptor's alpha bits, this library only from the extension
// area, so alpha is compared at 24 and 32 bits.
TEST_F(DecodeCompare, TgaTypes1_2_9_10AtEveryDepthAndOrientation) {
    std::vector<Entry> entries;
    for (int bits : {16, 24, 32}) {
        for (uint8_t descriptor : {0x00, 0x10, 0x20, 0x30}) {
            for (int type : {1, 2, 9, 10}) {
                std::string name = "t" + std::to_string(type) + "_" + std::to_string(bits) + "_" +
                                   std::to_string(descriptor) + ".tga";
                Bytes file;
                if (type == 2 || type == 10) {
                    file = TgaOf(bits == 32 ? alpha_ : colour_, bits, descriptor, type == 10, false);
                } else {
                    TgaSpec shape;
                    shape.mapType = 1;
                    shape.imageType = uint8_t(type);
                    shape.mapLength = uint16_t(indexed_.palette.size());
                    shape.mapEntryBits = uint8_t(bits);
                    shape.width = uint16_t(indexed_.width);
                    shape.height = uint16_t(indexed_.height);
                    shape.pixelBits = 8;
                    shape.descriptor = descriptor;
                    shape.map = TgaMap(indexed_, bits);
                    Bytes indexes = TgaIndexes(indexed_, descriptor);
                    shape.data = type == 9 ? TgaRunLength(indexes, 1) : indexes;
                    file = TgaFile(shape);
                }
                WriteBytes(name, file);
                entries.push_back({name, "tga", bits != 16, 0, "-auto-orient"});
            }
        }
    }
    WriteBytes("source.png", PngPaletteFile(indexed_, 8, false));
    for (const char* options : {"-type TrueColor", "-type TrueColor -compress RLE", "-type Palette",
                                "-type Palette -compress RLE"}) {
        std::string name = "im" + std::to_string(entries.size()) + ".tga";
        ASSERT_TRUE(RunCommand(std::string(Convert) + " source.png " + options + " tga:" + name)) << options;
        entries.push_back({name, "tga", true, 0, "-auto-orient"});
    }
    Check(entries);
}

TEST_F(DecodeCompare, DdsUncompressedFormats) {
    struct Format {
        const char* name;
        uint32_t flags;
        int bits;
        uint32_t masks[4];
    } formats[] = {
        {"a8r8g8b8", 0x41, 32, {0xFF0000, 0xFF00, 0xFF, 0xFF000000}},
        {"x8r8g8b8", 0x40, 32, {0xFF0000, 0xFF00, 0xFF, 0}},
        {"r8g8b8", 0x40, 24, {0xFF0000, 0xFF00, 0xFF, 0}},
        {"r5g6b5", 0x40, 16, {0xF800, 0x07E0, 0x001F, 0}},
        {"a1r5g5b5", 0x41, 16, {0x7C00, 0x03E0, 0x001F, 0x8000}},
        {"a4r4g4b4", 0x41, 16, {0x0F00, 0x00F0, 0x000F, 0xF000}},
    };
    std::vector<Entry> entries;
    for (const Format& f : formats) {
        DdsSpec shape;
        shape.width = uint32_t(alpha_.width);
        shape.height = uint32_t(alpha_.height);
        shape.formatFlags = f.flags;
        shape.bitCount = uint32_t(f.bits);
        std::memcpy(shape.masks, f.masks, sizeof shape.masks);
        shape.data = PackByMasks(alpha_, f.bits, f.masks);
        std::string name = std::string(f.name) + ".dds";
        WriteBytes(name, DdsFile(shape));
        entries.push_back({name, "dds", true, 0, ""});
    }
    WriteBytes("source.png", PngFile(alpha_, 6, 8, false));
    ASSERT_TRUE(RunCommand(std::string(Convert) + " source.png -define dds:compression=none -define dds:mipmaps=0 dds:im.dds"));
    entries.push_back({"im.dds", "dds", true, 0, ""});
    Check(entries);
}

}  // namespace
