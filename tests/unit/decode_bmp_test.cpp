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

// A decoded image freed at the end of the test.
struct Decoded {
    GraphImage image{};
    int result = -1;
    explicit Decoded(const Bytes& bytes) { result = DecodeBytes(bytes, &image); }
    ~Decoded() { FreeGraphImagePixels(&image); }
    uint32_t At(int x, int y) const { return DecodedArgb(image, x, y); }
};

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

TEST(DecodeBmp, PlainRowsKeepTheFilesRowSizeAndPaletteImagesHaveNoPadding) {
    Decoded three(BmpOf(Gradient(3, 2, false), 24, false));
    ASSERT_EQ(three.result, 0);
    EXPECT_EQ(three.image.pitch, 12);

    IndexedPicture indexed = Indexed(5, 3, 9);
    Decoded eight(BmpOf(indexed, 8, false));
    ASSERT_EQ(eight.result, 0);
    EXPECT_TRUE(Is24BitBgr(eight.image));
    EXPECT_EQ(eight.image.pitch, 15);
    EXPECT_TRUE(SamePixels(eight, indexed.Expanded()));

    Decoded four(BmpOf(indexed, 4, false));
    ASSERT_EQ(four.result, 0);
    EXPECT_EQ(four.image.pitch, 15);
    EXPECT_TRUE(SamePixels(four, indexed.Expanded()));
}

TEST(DecodeBmp, PlatformDrawnVariantsGiveTopDownRowsPaddedToFourBytes) {
    IndexedPicture mono = Indexed(13, 3, 2);
    Decoded one(BmpOf(mono, 1, false));
    ASSERT_EQ(one.result, 0);
    EXPECT_EQ(one.image.pitch, 40);  // 13 x 3 = 39, padded
    EXPECT_TRUE(SamePixels(one, mono.Expanded()));

    Picture picture = Gradient(5, 3, false);
    Decoded plain32(BmpOf(picture, 32, false));
    ASSERT_EQ(plain32.result, 0);
    EXPECT_EQ(plain32.image.pitch, 16);
    EXPECT_TRUE(SamePixels(plain32, picture));

    Decoded plain16(BmpOf(picture, 16, true));
    ASSERT_EQ(plain16.result, 0);
    const int bits555[3] = {5, 5, 5};
    for (int y = 0; y < 3; ++y) {
        for (int x = 0; x < 5; ++x) EXPECT_EQ(plain16.At(x, y), FiveBitsDrawn(picture.At(x, y), bits555));
    }
}

TEST(DecodeBmp, BitFieldMasksPlaceEachChannel) {
    Picture picture = Gradient(6, 2, false);
    const uint32_t masks565[3] = {0xF800, 0x07E0, 0x001F};
    const uint32_t masksRgbx[3] = {0xFF, 0xFF00, 0xFF0000};  // red in the low byte
    BmpSpec shape;
    shape.width = 6;
    shape.height = 2;
    shape.bitCount = 16;
    shape.compression = 3;
    shape.writeMasks = true;
    std::memcpy(shape.masks, masks565, sizeof masks565);
    shape.data = BmpColourRows(picture, 16, true, masks565);
    Decoded fields16(BmpFile(shape));
    ASSERT_EQ(fields16.result, 0);
    const int bits565[3] = {5, 6, 5};
    for (int x = 0; x < 6; ++x) EXPECT_EQ(fields16.At(x, 1), FiveBitsDrawn(picture.At(x, 1), bits565));

    shape.bitCount = 32;
    std::memcpy(shape.masks, masksRgbx, sizeof masksRgbx);
    shape.data = BmpColourRows(picture, 32, true, masksRgbx);
    Decoded fields32(BmpFile(shape));
    ASSERT_EQ(fields32.result, 0);
    EXPECT_TRUE(SamePixels(fields32, picture));
}

// Run-length data is far shorter than row size x height; the decoder reads
// what the file holds, whether or not the header gives its size.
TEST(DecodeBmp, RunLengthFilesLoadWithOrWithoutTheirImageSize) {
    IndexedPicture picture = Indexed(40, 8, 16);
    for (int bits : {8, 4}) {
        BmpSpec shape;
        shape.width = 40;
        shape.height = 8;
        shape.bitCount = bits;
        shape.compression = bits == 8 ? 1 : 2;
        shape.palette = picture.palette;
        shape.data = BmpRunLength(picture, bits);
        for (bool sized : {true, false}) {
            SCOPED_TRACE(testing::Message() << bits << " bits, image size given: " << sized);
            shape.writeImageSize = sized;
            Decoded decoded(BmpFile(shape));
            ASSERT_EQ(decoded.result, 0);
            EXPECT_EQ(decoded.image.pitch, 120);
            EXPECT_TRUE(SamePixels(decoded, picture.Expanded()));
        }
    }
}

// Codes: two red, a move one right and one up, one green, end of line, a run
// of six blue clipped at the right edge, end of bitmap.
TEST(DecodeBmp, RunLengthMovesSkipPixelsAndClipRunsAtTheEdge) {
    BmpSpec shape;
    shape.width = 4;
    shape.height = 3;
    shape.bitCount = 8;
    shape.compression = 1;
    shape.palette = {0xFFFFFF, 0xFF0000, 0x00FF00, 0x0000FF};
    shape.data = {2, 1, 0, 2, 1, 1, 1, 2, 0, 0, 6, 3, 0, 1};
    Decoded decoded(BmpFile(shape));
    ASSERT_EQ(decoded.result, 0);
    Picture expected{4, 3, {0x0000FF, 0x0000FF, 0x0000FF, 0x0000FF,  //
                            0, 0, 0, 0x00FF00,                       //
                            0xFF0000, 0xFF0000, 0, 0}};
    EXPECT_TRUE(SamePixels(decoded, expected));

    // The same codes without the end-of-bitmap escape still end cleanly.
    shape.data.resize(shape.data.size() - 2);
    Decoded unterminated(BmpFile(shape));
    EXPECT_EQ(unterminated.result, 0);
}

TEST(DecodeBmp, RunLengthCodesCutShortOrReachingPastTheDataFail) {
    BmpSpec shape;
    shape.width = 8;
    shape.height = 2;
    shape.bitCount = 8;
    shape.compression = 1;
    shape.palette = {0xFF0000};
    shape.data = {4, 0, 0};  // the second code has one byte
    EXPECT_EQ(Decoded(BmpFile(shape)).result, -1);
    shape.data = {0, 6, 0, 0, 0};  // six literal indexes, three present
    EXPECT_EQ(Decoded(BmpFile(shape)).result, -1);
    shape.data = {0, 2, 5};  // a move missing its second byte
    EXPECT_EQ(Decoded(BmpFile(shape)).result, -1);
}

// A colours-used count of 2 means two entries in the file: the pixel data
// follows them, and index 5 has no colour.
TEST(DecodeBmp, AColoursUsedCountLimitsThePaletteAndLaterIndexesAreBlack) {
    BmpSpec shape;
    shape.width = 3;
    shape.height = 1;
    shape.bitCount = 8;
    shape.palette = {0x102030, 0x405060};
    shape.colorsUsed = 2;
    shape.data = {1, 0, 5, 0};
    Decoded decoded(BmpFile(shape));
    ASSERT_EQ(decoded.result, 0);
    EXPECT_EQ(decoded.At(0, 0), 0xFF405060u);
    EXPECT_EQ(decoded.At(1, 0), 0xFF102030u);
    EXPECT_EQ(decoded.At(2, 0), 0xFF000000u);

    // A 4-bit image without a count but with only two entries before its
    // pixel data: the entries end where the pixels start.
    shape.bitCount = 4;
    shape.colorsUsed = 0;
    shape.data = {0x10, 0x30, 0, 0};
    Decoded four(BmpFile(shape));
    ASSERT_EQ(four.result, 0);
    EXPECT_EQ(four.At(0, 0), 0xFF405060u);
    EXPECT_EQ(four.At(1, 0), 0xFF102030u);
    EXPECT_EQ(four.At(2, 0), 0xFF000000u);
}

TEST(DecodeBmp, MalformedHeadersAndShortDataAreRefusedWithAnEmptyRecord) {
    Bytes good = BmpOf(Gradient(4, 4, false), 24, false);
    auto patched = [&](size_t offset, uint32_t value, int bytes) {
        Bytes copy = good;
        for (int i = 0; i < bytes; ++i) copy[offset + i] = uint8_t(value >> (8 * i));
        return copy;
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
    BmpSpec shape;
    shape.width = 100000;
    shape.height = 100000;
    shape.bitCount = 8;
    shape.compression = 1;
    shape.palette = {0xFFFFFF};
    shape.data = {0, 1};
    Decoded decoded(BmpFile(shape));
    EXPECT_EQ(decoded.result, -1);
    EXPECT_NE(ReadLogUtf8().find("ＤＩＢの作成に失敗しました3\n"), std::string::npos);

    // A negative height (top-down) is not allowed for run-length data.
    shape.width = 2;
    shape.height = -2;
    EXPECT_EQ(Decoded(BmpFile(shape)).result, -1);
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
