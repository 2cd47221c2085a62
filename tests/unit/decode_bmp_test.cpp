// BMP decoding: row order and pitch of each variant, the variants drawn by
// the platform, run-length data, short colour tables, and refusals of
// malformed headers and data.
#include "core/core.h"
#include "graphics/image.h"
#include "support/harness.h"
#include "support/image_files.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <cstring>

namespace {

// Every pixel of `image` against `expected`, reporting the first mismatch.
::testing::AssertionResult SamePixels(const Decoded& decoded, const Picture& expected) {
    const GraphImage& image = decoded.image;
    if (image.width != expected.width || image.height != expected.height) {
        return ::testing::AssertionFailure() << "size " << image.width << "x" << image.height;
    }
    for (int y = 0; y < expected.height; ++y) {
        for (int x = 0; x < expected.width; ++x) {
            uint32_t want = expected.At(x, y) | 0xFF000000u;
            if (decoded.At(x, y) != want) {
                char text[96];
                std::snprintf(text, sizeof text, "(%d, %d): %08X, expected %08X", x, y,
                              decoded.At(x, y), want);
                return ::testing::AssertionFailure() << text;
            }
        }
    }
    return ::testing::AssertionSuccess();
}

bool Is24BitBgr(const GraphImage& image) {
    return image.format.ColorBitDepth == 24 && image.format.redMask == 0xFF0000 &&
           image.format.blueMask == 0xFF;
}

// The expected colour of a 5-bit channel drawn into 8 bits: the bits repeat.
uint32_t FiveBitsDrawn(uint32_t argb, const int bits[3]) {
    uint32_t out = 0xFF000000u;
    for (int c = 0; c < 3; ++c) {
        int shift = 16 - 8 * c;
        uint32_t q = (((argb >> shift) & 0xFF) * ((1u << bits[c]) - 1) + 127) / 255;
        uint32_t v = q << (8 - bits[c]);
        v |= v >> bits[c];
        v |= v >> (2 * bits[c]);
        out |= (v & 0xFF) << shift;
    }
    return out;
}

TEST(DecodeBmp, BottomUpAndTopDownTwinsDecodeToTheSameRecord) {
    Picture picture = Gradient(5, 4, false);
    Decoded bottomUp(BmpOf(picture, 24, false));
    Decoded topDown(BmpOf(picture, 24, true));
    ASSERT_EQ(bottomUp.result, 0);
    ASSERT_EQ(topDown.result, 0);
    EXPECT_TRUE(Is24BitBgr(bottomUp.image));
    EXPECT_EQ(bottomUp.image.pitch, topDown.image.pitch);
    EXPECT_EQ(std::memcmp(bottomUp.image.pixels, topDown.image.pixels, size_t(bottomUp.image.pitch) * 4), 0);
    EXPECT_TRUE(SamePixels(bottomUp, picture));
}

BmpSpec Shape(int32_t width, int32_t height, int bitCount, uint32_t compression) {
    BmpSpec shape;
    shape.width = width;
    shape.height = height;
    shape.bitCount = bitCount;
    shape.compression = compression;
    return shape;
}

BmpSpec WithMasks(BmpSpec shape, const uint32_t masks[3], const Picture& picture) {
    shape.writeMasks = true;
    std::memcpy(shape.masks, masks, sizeof shape.masks);
    shape.data = BmpColourRows(picture, shape.bitCount, true, masks);
    return shape;
}

BmpSpec RunLength(const IndexedPicture& picture, int bits, bool sized) {
    BmpSpec shape = Shape(picture.width, picture.height, bits, bits == 8 ? 1 : 2);
    shape.palette = picture.palette;
    shape.data = BmpRunLength(picture, bits);
    shape.writeImageSize = sized;
    return shape;
}

// Codes: two red, a move one right and one up, one green, end of line, a run
// of six blue clipped at the right edge, end of bitmap (or none: the data
// simply ending is as good).
BmpSpec MovesAndClippedRun(bool endOfBitmap) {
    BmpSpec shape = Shape(4, 3, 8, 1);
    shape.palette = {0xFFFFFF, 0xFF0000, 0x00FF00, 0x0000FF};
    shape.data = {2, 1, 0, 2, 1, 1, 1, 2, 0, 0, 6, 3, 0, 1};
    if (!endOfBitmap) shape.data.resize(shape.data.size() - 2);
    return shape;
}

// A colours-used count of 2 means two entries in the file: the pixel data
// follows them, and index 5 has no colour. A 4-bit image without the count
// but with only two entries before its pixels: they end where the pixels start.
BmpSpec ShortPalette(int bits) {
    BmpSpec shape = Shape(3, 1, bits, 0);
    shape.palette = {0x102030, 0x405060};
    shape.colorsUsed = bits == 8 ? 2 : 0;
    shape.data = bits == 8 ? Bytes{1, 0, 5, 0} : Bytes{0x10, 0x30, 0, 0};
    return shape;
}

Picture Drawn(const Picture& picture, const int bits[3]) {
    Picture out = picture;
    for (uint32_t& argb : out.argb) argb = FiveBitsDrawn(argb, bits);
    return out;
}

// Palette images and 24-bit rows keep the file's row size unpadded; the
// variants the platform draws (1, 16 and 32 bits) come out as top-down rows
// padded to four bytes. Run-length data is far shorter than row size x
// height; it loads whether or not the header gives its size.
TEST(DecodeBmp, EachVariantDecodesToItsPixelsAndRowSize) {
    IndexedPicture indexed = Indexed(5, 3, 9);
    IndexedPicture mono = Indexed(13, 3, 2);
    IndexedPicture runs = Indexed(40, 8, 16);
    Picture picture = Gradient(5, 3, false);
    Picture wide = Gradient(6, 2, false);
    const int bits555[3] = {5, 5, 5}, bits565[3] = {5, 6, 5};
    const uint32_t masks565[3] = {0xF800, 0x07E0, 0x001F};
    const uint32_t masksRgbx[3] = {0xFF, 0xFF00, 0xFF0000};  // red in the low byte
    const uint32_t blue = 0x0000FF, green = 0x00FF00, red = 0xFF0000;
    const Picture moved{4, 3, {blue, blue, blue, blue, 0, 0, 0, green, red, red, 0, 0}};
    const Picture shortPalette{3, 1, {0x405060, 0x102030, 0}};
    struct Case {
        const char* what;
        Bytes file;
        Picture expected;
        int pitch;  // 0: not checked
        bool bgr;   // 24-bit blue-green-red output
    } cases[] = {
        {"24 bits, 3 wide", BmpOf(Gradient(3, 2, false), 24, false), Gradient(3, 2, false), 12, true},
        {"8 bits", BmpOf(indexed, 8, false), indexed.Expanded(), 15, true},
        {"4 bits", BmpOf(indexed, 4, false), indexed.Expanded(), 15, false},
        {"1 bit", BmpOf(mono, 1, false), mono.Expanded(), 40, false},  // 13 x 3 = 39, padded
        {"32 bits", BmpOf(picture, 32, false), picture, 16, false},
        {"16 bits 5:5:5 top-down", BmpOf(picture, 16, true), Drawn(picture, bits555), 0, false},
        {"bit fields 5:6:5", BmpFile(WithMasks(Shape(6, 2, 16, 3), masks565, wide)), Drawn(wide, bits565), 0, false},
        {"bit fields 32 red low", BmpFile(WithMasks(Shape(6, 2, 32, 3), masksRgbx, wide)), wide, 0, false},
        {"RLE8 sized", BmpFile(RunLength(runs, 8, true)), runs.Expanded(), 120, false},
        {"RLE8 unsized", BmpFile(RunLength(runs, 8, false)), runs.Expanded(), 120, false},
        {"RLE4 sized", BmpFile(RunLength(runs, 4, true)), runs.Expanded(), 120, false},
        {"RLE4 unsized", BmpFile(RunLength(runs, 4, false)), runs.Expanded(), 120, false},
        {"RLE moves and a clipped run", BmpFile(MovesAndClippedRun(true)), moved, 0, false},
        {"RLE without end of bitmap", BmpFile(MovesAndClippedRun(false)), moved, 0, false},
        {"colours used 2", BmpFile(ShortPalette(8)), shortPalette, 0, false},
        {"4 bits, palette ends at the pixels", BmpFile(ShortPalette(4)), shortPalette, 0, false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        Decoded decoded(c.file);
        ASSERT_EQ(decoded.result, 0);
        if (c.bgr) EXPECT_TRUE(Is24BitBgr(decoded.image));
        if (c.pitch) EXPECT_EQ(decoded.image.pitch, c.pitch);
        EXPECT_TRUE(SamePixels(decoded, c.expected));
    }
}

TEST(DecodeBmp, MalformedHeadersAndShortDataAreRefusedWithAnEmptyRecord) {
    Bytes good = BmpOf(Gradient(4, 4, false), 24, false);
    auto patched = [&](size_t offset, uint32_t value, int bytes) {
        Bytes copy = good;
        for (int i = 0; i < bytes; ++i) copy[offset + i] = uint8_t(value >> (8 * i));
        return copy;
    };
    auto rle8 = [](Bytes data, int32_t height = 2) {
        BmpSpec shape = Shape(8, height, 8, 1);
        shape.palette = {0xFF0000};
        shape.data = std::move(data);
        return BmpFile(shape);
    };
    struct Case {
        const char* what;
        Bytes bytes;
    } cases[] = {
        {"magic", patched(0, 'X', 1)},
        {"last byte missing", Bytes(good.begin(), good.end() - 1)},
        {"header only", Bytes(good.begin(), good.begin() + 54)},
        {"100000 x 100000", patched(18, 100000, 4)},
        {"width zero", patched(18, 0, 4)},
        {"height zero", patched(22, 0, 4)},
        {"width overflowing the row size", patched(18, 0x7FFFFFFF, 4)},
        {"bit count 2", patched(28, 2, 2)},
        {"run-length with 24 bits", patched(30, 1, 4)},
        {"compression 4", patched(30, 4, 4)},
        {"short info header", patched(14, 12, 4)},
        {"pixel data offset past the end", patched(10, 1000, 4)},
        {"run-length code cut short", rle8({4, 0, 0})},
        {"run-length literal past the data", rle8({0, 6, 0, 0, 0})},
        {"run-length move cut short", rle8({0, 2, 5})},
        {"run-length rows top-down", rle8({0, 1}, -2)},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        Decoded decoded(c.bytes);
        EXPECT_EQ(decoded.result, -1);
        EXPECT_EQ(decoded.image.pixels, nullptr);
        EXPECT_EQ(decoded.image.width, 0);
    }
}

// Run-length data cannot bound the size: a file of a few dozen bytes may
// claim any size and end at once. The platform's bitmap refuses it.
class DecodeBmpLogged : public ::testing::Test {
protected:
    void SetUp() override {
        gCore.settings.libraryDirRecorded = 1;
        gCore.settings.libraryDir = scratch_.path();
        OpenLog();
    }
    void TearDown() override { gCore.settings.libraryDirRecorded = 0; }
    ScratchDir scratch_;
};

TEST_F(DecodeBmpLogged, AHugeRunLengthImageFailsAtTheBitmapWithItsLogLine) {
    BmpSpec shape = Shape(100000, 100000, 8, 1);
    shape.palette = {0xFFFFFF};
    shape.data = {0, 1};
    Decoded decoded(BmpFile(shape));
    EXPECT_EQ(decoded.result, -1);
    EXPECT_NE(ReadLogUtf8().find("ＤＩＢの作成に失敗しました3\n"), std::string::npos);
}

// A header longer than 40 bytes puts the colour table after itself.
TEST(DecodeBmp, TheColourTableFollowsALongerInfoHeader) {
    IndexedPicture picture = Indexed(4, 2, 4);
    Bytes file = BmpOf(picture, 8, false);
    // Grow the header to 124 bytes: 84 zero bytes after the 40 that exist.
    file.insert(file.begin() + 54, 84, 0);
    file[14] = 124;
    uint32_t offset = 14 + 124 + 256 * 4;
    for (int i = 0; i < 4; ++i) file[10 + i] = uint8_t(offset >> (8 * i));
    Decoded decoded(file);
    ASSERT_EQ(decoded.result, 0);
    EXPECT_TRUE(SamePixels(decoded, picture.Expanded()));
}

}  // namespace
