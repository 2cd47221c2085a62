// TGA decoding: the header refusals, the four orientations at every depth,
// run-length packets at the image's end and the stream's end, colour maps,
// and alpha as the footer's extension area declares it.
#include "graphics/image.h"
#include "support/image_files.h"

#include <gtest/gtest.h>

#include <cstdio>

namespace {

// What a pixel of `bits` keeps of a colour, read back with rounding.
uint32_t Stored(uint32_t argb, int bits) {
    if (bits == 24) return argb | 0xFF000000u;
    if (bits == 32) return argb;
    uint32_t out = argb & 0xFF000000u;
    for (int shift : {16, 8, 0}) out |= ((((argb >> shift) & 0xFF) >> 3) * 255 + 15) / 31 << shift;
    return out;
}

::testing::AssertionResult Matches(const Decoded& decoded, const Picture& picture, int bits,
                                   bool compareAlpha) {
    if (decoded.result != 0) return ::testing::AssertionFailure() << "not decoded";
    const GraphImage& image = decoded.image;
    if (image.width != picture.width || image.height != picture.height ||
        image.pitch != picture.width * bits / 8) {
        return ::testing::AssertionFailure() << "size " << image.width << "x" << image.height
                                             << " pitch " << image.pitch;
    }
    uint32_t mask = compareAlpha ? 0xFFFFFFFFu : 0x00FFFFFFu;
    for (int y = 0; y < picture.height; ++y) {
        for (int x = 0; x < picture.width; ++x) {
            uint32_t got = decoded.At(x, y) & mask, want = Stored(picture.At(x, y), bits) & mask;
            if (got != want) {
                char text[80];
                std::snprintf(text, sizeof text, "(%d, %d): %08X, expected %08X", x, y, got, want);
                return ::testing::AssertionFailure() << text;
            }
        }
    }
    return ::testing::AssertionSuccess();
}

TEST(DecodeTga, EveryOrientationDepthAndCodingGivesTopDownLeftToRightRows) {
    Picture picture = Gradient(7, 5, true);
    for (int bits : {16, 24, 32}) {
        for (uint8_t descriptor : {0x00, 0x10, 0x20, 0x30}) {
            for (bool runLength : {false, true}) {
                SCOPED_TRACE(testing::Message() << bits << " bits, descriptor " << int(descriptor)
                                                << (runLength ? ", run-length" : ""));
                Decoded decoded(TgaOf(picture, bits, descriptor, runLength, true));
                EXPECT_TRUE(Matches(decoded, picture, bits, bits == 32));
            }
        }
    }
}

// Each case edits a valid 2 x 2, 24-bit image into one that must decode as
// nothing.
TEST(DecodeTga, HeadersAndDataOutsideTheAcceptedSetDecodeAsNothing) {
    TgaSpec base;
    base.width = 2;
    base.height = 2;
    base.pixelBits = 24;
    base.data = Bytes(12, 0x40);
    ASSERT_EQ(Decoded(TgaFile(base)).result, 0);

    struct Case {
        const char* what;
        void (*edit)(TgaSpec&);
    } cases[] = {
        {"x origin", [](TgaSpec& c) { c.xOrigin = 1; }},
        {"y origin", [](TgaSpec& c) { c.yOrigin = 3; }},
        {"width 4096", [](TgaSpec& c) { c.width = 4096; }},
        {"grey", [](TgaSpec& c) { c.imageType = 3, c.pixelBits = 8, c.data = Bytes(4, 0x40); }},
        {"image id", [](TgaSpec& c) { c.idLength = 1, c.id = {'x'}; }},
        {"15 bits", [](TgaSpec& c) { c.pixelBits = 15; }},
        {"24 bits declared with alpha", [](TgaSpec& c) { c.attributeType = 3; }},
        {"short pixel data", [](TgaSpec& c) { c.data.pop_back(); }},
        {"run packet ending before the image is full",
         [](TgaSpec& c) { c.imageType = 10, c.data = {0x80 | 2, 1, 2, 3}; }},
        {"literal packet cut short", [](TgaSpec& c) { c.imageType = 10, c.data = {3, 1, 2, 3}; }},
        {"a map past 256 entries", [](TgaSpec& c) {
             c.mapType = 1, c.imageType = 1, c.mapFirst = 200, c.mapLength = 57, c.mapEntryBits = 24;
             c.map = Bytes(57 * 3, 0), c.pixelBits = 8, c.data = {0, 1, 2, 3};
         }},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        TgaSpec shape = base;
        c.edit(shape);
        EXPECT_EQ(Decoded(TgaFile(shape)).result, -1);
    }
}

TEST(DecodeTga, ColourMapsFillATableOf256FromTheirFirstIndex) {
    IndexedPicture picture = Indexed(6, 3, 5);
    for (int bits : {16, 24, 32}) {
        for (uint8_t type : {1, 9}) {
            SCOPED_TRACE(testing::Message() << "type " << int(type) << ", " << bits << "-bit map");
            TgaSpec shape;
            shape.mapType = 1;
            shape.imageType = type;
            shape.mapLength = 5;
            shape.mapEntryBits = uint8_t(bits);
            shape.width = 6;
            shape.height = 3;
            shape.pixelBits = 8;
            shape.map = TgaMap(picture, bits);
            Bytes indexes = TgaIndexes(picture, 0x20);
            shape.descriptor = 0x20;
            shape.data = type == 9 ? TgaRunLength(indexes, 1) : indexes;
            EXPECT_TRUE(Matches(Decoded(TgaFile(shape)), picture.Expanded(), bits, false));
        }
    }

    // A map starting at entry 2: entries 0 and 1 stay zero.
    TgaSpec shape;
    shape.mapType = 1;
    shape.imageType = 1;
    shape.mapFirst = 2;
    shape.mapLength = 1;
    shape.mapEntryBits = 24;
    shape.width = 3;
    shape.height = 1;
    shape.pixelBits = 8;
    shape.map = {0x30, 0x20, 0x10};
    shape.data = {2, 0, 1};
    Decoded offset(TgaFile(shape));
    ASSERT_EQ(offset.result, 0);
    EXPECT_EQ(offset.At(0, 0), 0xFF102030u);
    EXPECT_EQ(offset.At(1, 0), 0xFF000000u);
}

TEST(DecodeTga, ATrueColourImagesColourMapIsSkipped) {
    Picture picture = Gradient(3, 2, false);
    TgaSpec shape;
    shape.mapType = 1;
    shape.mapLength = 4;
    shape.mapEntryBits = 24;
    shape.map = Bytes(12, 0xEE);
    shape.width = 3;
    shape.height = 2;
    shape.descriptor = 0x20;
    shape.data = TgaPixels(picture, 24, 0x20);
    EXPECT_TRUE(Matches(Decoded(TgaFile(shape)), picture, 24, false));
}

// 3 x 2 pixels, one run packet claiming 10: exactly six are kept.
TEST(DecodeTga, ALastPacketClaimingTooManyPixelsIsCutAtTheImage) {
    TgaSpec shape;
    shape.imageType = 10;
    shape.width = 3;
    shape.height = 2;
    shape.data = {0x80 | 9, 0x11, 0x22, 0x33};
    Decoded run(TgaFile(shape));
    ASSERT_EQ(run.result, 0);
    EXPECT_EQ(run.image.pitch * run.image.height, 18);
    for (int i = 0; i < 6; ++i) EXPECT_EQ(run.At(i % 3, i / 3), 0xFF332211u);

    // A literal packet claiming 10 with only the six that fit present.
    shape.data = {9};
    for (int i = 0; i < 6; ++i) shape.data.insert(shape.data.end(), {uint8_t(i), 0, 0});
    Decoded literal(TgaFile(shape));
    ASSERT_EQ(literal.result, 0);
    EXPECT_EQ(literal.At(2, 0), 0xFF000005u);  // bottom-up: the last pixel read is top-right
}

// Without the footer the coded data may run into the last 26 bytes of the
// file; with it, it stops where the footer starts.
TEST(DecodeTga, RunLengthDataWithoutAFooterRunsToTheEndOfTheFile) {
    Picture picture = Gradient(9, 4, false);
    Bytes bare = TgaOf(picture, 24, 0x20, true, false);
    ASSERT_GT(bare.size(), 18u + 26u);
    EXPECT_TRUE(Matches(Decoded(bare), picture, 24, false));
    EXPECT_TRUE(Matches(Decoded(TgaOf(picture, 24, 0x20, true, true)), picture, 24, false));
}

TEST(DecodeTga, AlphaFollowsTheExtensionAreaOrElseTheDepth) {
    Picture picture = Gradient(4, 2, true);
    struct Case {
        int bits;
        int attributeType;  // -1: no extension area
        uint32_t alphaMask, spareMask;
    } cases[] = {
        {32, -1, 0xFF000000, 0},
        {32, 0, 0, 0xFF000000},
        {32, 3, 0xFF000000, 0},
        {16, -1, 0, 0x8000},
        {16, 2, 0, 0x8000},
        {16, 3, 0x8000, 0},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message() << c.bits << " bits, attribute type " << c.attributeType);
        TgaSpec shape;
        shape.width = 4;
        shape.height = 2;
        shape.pixelBits = uint8_t(c.bits);
        shape.data = TgaPixels(picture, c.bits, 0);
        shape.attributeType = c.attributeType;
        Decoded decoded(TgaFile(shape));
        ASSERT_EQ(decoded.result, 0);
        EXPECT_EQ(decoded.image.format.alphaMask, c.alphaMask);
        EXPECT_EQ(decoded.image.format.spareMask, c.spareMask);
        EXPECT_EQ(decoded.image.format.redMask, c.bits == 16 ? 0x7C00u : 0xFF0000u);
    }
}

}  // namespace
