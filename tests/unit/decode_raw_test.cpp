// The uncompressed formats: the library's own "BGRA" files and DDS surfaces
// described by masks or by Direct3D format numbers, with their refusals.
#include "graphics/image.h"
#include "support/image_files.h"

#include <gtest/gtest.h>

#include <cstring>

namespace {

void SetLe32(Bytes& bytes, size_t at, uint32_t value) {
    for (int i = 0; i < 4; ++i) bytes[at + i] = uint8_t(value >> (8 * i));
}

TEST(DecodeBgra, EightBitChannelsAreTheFileBytes) {
    Picture picture = Gradient(5, 3, true);
    Bytes file = BgraFile(picture, false);
    Decoded decoded(file);
    ASSERT_EQ(decoded.result, 0);
    EXPECT_EQ(decoded.image.format.ColorBitDepth, 32);
    EXPECT_EQ(decoded.image.format.alphaMask, 0xFF000000u);
    EXPECT_EQ(decoded.image.pitch, 20);
    EXPECT_EQ(std::memcmp(decoded.image.pixels, file.data() + 16, 60), 0);
    EXPECT_EQ(decoded.At(4, 2), picture.At(4, 2));
}

TEST(DecodeBgra, SixteenBitChannelsKeepTheirHighByte) {
    Picture picture = Gradient(6, 4, true);
    Decoded eight(BgraFile(picture, false));
    Decoded sixteen(BgraFile(picture, true));
    ASSERT_EQ(eight.result, 0);
    ASSERT_EQ(sixteen.result, 0);
    EXPECT_EQ(sixteen.image.pitch, eight.image.pitch);
    EXPECT_EQ(std::memcmp(sixteen.image.pixels, eight.image.pixels, 6 * 4 * 4), 0);

    // 0x12FF keeps 0x12: the low byte is dropped, not rounded.
    Bytes file = BgraFile(Picture{1, 1, {0}}, true);
    file[16] = 0xFF, file[17] = 0x12;
    Decoded high(file);
    ASSERT_EQ(high.result, 0);
    EXPECT_EQ(high.image.pixels[0], 0x12);
}

TEST(DecodeBgra, UnknownDepthsShortDataAndOverflowingSizesFail) {
    Bytes good = BgraFile(Gradient(4, 4, true), false);
    Bytes depth = good;
    SetLe32(depth, 4, 0x08080800);
    EXPECT_EQ(Decoded(depth).result, -1) << "depth word";
    EXPECT_EQ(Decoded(Bytes(good.begin(), good.end() - 1)).result, -1) << "last byte missing";
    Bytes wraps = good;
    SetLe32(wraps, 8, 0x40000000);  // x 4 bytes x 4 rows wraps to 0 in 32 bits
    EXPECT_EQ(Decoded(wraps).result, -1) << "overflowing size";
    Bytes huge = good;
    SetLe32(huge, 8, 100000);
    SetLe32(huge, 12, 100000);
    EXPECT_EQ(Decoded(huge).result, -1) << "100000 x 100000";
    Bytes empty = good;
    SetLe32(empty, 12, 0);
    EXPECT_EQ(Decoded(empty).result, -1) << "no rows";
}

DdsSpec MaskedDds(const Picture& picture, uint32_t formatFlags, int bits, const uint32_t masks[4]) {
    DdsSpec shape;
    shape.width = uint32_t(picture.width);
    shape.height = uint32_t(picture.height);
    shape.formatFlags = formatFlags;
    shape.bitCount = uint32_t(bits);
    std::memcpy(shape.masks, masks, sizeof shape.masks);
    shape.data = PackByMasks(picture, bits, masks);
    return shape;
}

TEST(DecodeDds, MaskedFormatsWithAlphaTakeTheDescriptionsMasks) {
    Picture picture = Gradient(5, 3, true);
    const uint32_t argb[4] = {0xFF0000, 0xFF00, 0xFF, 0xFF000000};
    Decoded decoded(DdsFile(MaskedDds(picture, 0x41, 32, argb)));
    ASSERT_EQ(decoded.result, 0);
    EXPECT_EQ(decoded.image.format.alphaMask, 0xFF000000u);
    EXPECT_EQ(decoded.image.pitch, 20);
    for (int i = 0; i < 15; ++i) EXPECT_EQ(decoded.At(i % 5, i / 5), picture.At(i % 5, i / 5));
}

// Writers commonly leave the alpha-pixels flag off X8R8G8B8, R5G6B5 and
// R8G8B8 files; they decode from their bit count and masks, without alpha.
TEST(DecodeDds, RgbWithoutTheAlphaFlagTakesItsFormatFromTheMasks) {
    Picture picture = Gradient(4, 2, false);
    struct Case {
        int bits;
        uint32_t masks[4];
        uint32_t spareMask;
    } cases[] = {
        {32, {0xFF0000, 0xFF00, 0xFF, 0}, 0xFF000000},
        {16, {0xF800, 0x07E0, 0x001F, 0}, 0},
        {24, {0xFF0000, 0xFF00, 0xFF, 0}, 0},
        {32, {0xFF0000, 0xFF00, 0xFF, 0xFF000000}, 0xFF000000},  // alpha mask without the flag
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.bits);
        Decoded decoded(DdsFile(MaskedDds(picture, 0x40, c.bits, c.masks)));
        ASSERT_EQ(decoded.result, 0);
        EXPECT_EQ(decoded.image.format.ColorBitDepth, c.bits);
        EXPECT_EQ(decoded.image.format.greenMask, c.masks[1]);
        EXPECT_EQ(decoded.image.format.alphaMask, 0u);
        EXPECT_EQ(decoded.image.format.spareMask, c.spareMask);
        if (c.bits != 16) {
            EXPECT_EQ(decoded.At(3, 1), picture.At(3, 1));
        }
    }
}

TEST(DecodeDds, AFourCharacterCodeAloneNamesADirect3dFormat) {
    Picture picture = Gradient(3, 2, true);
    const uint32_t argb[4] = {0xFF0000, 0xFF00, 0xFF, 0xFF000000};
    DdsSpec shape = MaskedDds(picture, 0x4, 32, argb);
    std::memset(shape.masks, 0, sizeof shape.masks);
    shape.bitCount = 0;
    shape.fourCc = 21;  // A8R8G8B8
    Decoded decoded(DdsFile(shape));
    ASSERT_EQ(decoded.result, 0);
    EXPECT_EQ(decoded.image.format.alphaMask, 0xFF000000u);
    EXPECT_EQ(decoded.At(2, 1), picture.At(2, 1));

    shape.fourCc = 23;  // R5G6B5: 16 bits a pixel, so the same data holds two rows more
    Decoded r5g6b5(DdsFile(shape));
    ASSERT_EQ(r5g6b5.result, 0);
    EXPECT_EQ(r5g6b5.image.format.redMask, 0xF800u);
    EXPECT_EQ(r5g6b5.image.pitch, 6);

    shape.fourCc = 0x31545844;  // "DXT1": compressed, not in the table
    EXPECT_EQ(Decoded(DdsFile(shape)).result, -1);
}

TEST(DecodeDds, AValidPitchSpacesTheRowsAndAPitchShorterThanARowFails) {
    Picture picture = Gradient(3, 3, true);
    const uint32_t argb[4] = {0xFF0000, 0xFF00, 0xFF, 0xFF000000};
    DdsSpec shape = MaskedDds(picture, 0x41, 32, argb);
    shape.flags |= 0x8;
    shape.pitch = 16;
    shape.data = PackByMasks(picture, 32, argb, 16);
    Decoded padded(DdsFile(shape));
    ASSERT_EQ(padded.result, 0);
    EXPECT_EQ(padded.image.pitch, 16);
    EXPECT_EQ(padded.At(2, 2), picture.At(2, 2));

    shape.pitch = 11;
    EXPECT_EQ(Decoded(DdsFile(shape)).result, -1) << "pitch below a row";
}

TEST(DecodeDds, BadMagicDepthsSizesAndShortDataFail) {
    Picture picture = Gradient(4, 4, true);
    const uint32_t argb[4] = {0xFF0000, 0xFF00, 0xFF, 0xFF000000};
    Bytes good = DdsFile(MaskedDds(picture, 0x41, 32, argb));
    ASSERT_EQ(Decoded(good).result, 0);

    Bytes magic = good;
    magic[2] = 'X';
    EXPECT_EQ(Decoded(magic).result, -1) << "magic";
    EXPECT_EQ(Decoded(Bytes(good.begin(), good.end() - 1)).result, -1) << "last byte missing";
    Bytes depth = good;
    SetLe32(depth, 88, 12);
    EXPECT_EQ(Decoded(depth).result, -1) << "12 bits";
    Bytes huge = good;
    SetLe32(huge, 12, 100000);
    SetLe32(huge, 16, 100000);
    EXPECT_EQ(Decoded(huge).result, -1) << "100000 x 100000";
    Bytes wide = good;
    SetLe32(wide, 16, 0x40000000);  // 4 bytes a pixel: the row wraps 32 bits
    EXPECT_EQ(Decoded(wide).result, -1) << "wrapping row";
    Bytes outside = good;
    SetLe32(outside, 92, 0x1FF0000);  // a red mask reaching past a 24-bit pixel
    SetLe32(outside, 88, 24);
    EXPECT_EQ(Decoded(outside).result, -1) << "mask outside the pixel";
}

}  // namespace
