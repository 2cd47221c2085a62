// The uncompressed formats: the library's own "BGRA" files and DDS surfaces
// described by masks or by Direct3D format numbers, with their refusals.
#include "graphics/image.h"
#include "support/image_files.h"

#include <gtest/gtest.h>

#include <cstring>
#include <initializer_list>
#include <utility>

namespace {

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
}

TEST(DecodeDds, AValidPitchSpacesTheRows) {
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
}

// `bytes` with little-endian 32-bit words written over it.
Bytes Patched(Bytes bytes, std::initializer_list<std::pair<size_t, uint32_t>> words) {
    for (auto [at, value] : words) {
        for (int i = 0; i < 4; ++i) bytes[at + i] = uint8_t(value >> (8 * i));
    }
    return bytes;
}

TEST(DecodeRaw, BadMagicDepthsSizesPitchesAndShortDataFail) {
    const uint32_t argb[4] = {0xFF0000, 0xFF00, 0xFF, 0xFF000000};
    Bytes bgra = BgraFile(Gradient(4, 4, true), false);
    Bytes dds = DdsFile(MaskedDds(Gradient(4, 4, true), 0x41, 32, argb));
    ASSERT_EQ(Decoded(bgra).result, 0);
    ASSERT_EQ(Decoded(dds).result, 0);

    DdsSpec fourCc = MaskedDds(Gradient(3, 2, true), 0x4, 32, argb);
    std::memset(fourCc.masks, 0, sizeof fourCc.masks);
    fourCc.bitCount = 0;
    fourCc.fourCc = 0x31545844;  // "DXT1": compressed, not in the table
    DdsSpec shortPitch = MaskedDds(Gradient(3, 3, true), 0x41, 32, argb);
    shortPitch.flags |= 0x8;
    shortPitch.pitch = 11;
    shortPitch.data = PackByMasks(Gradient(3, 3, true), 32, argb, 16);

    struct Case {
        const char* what;
        Bytes file;
    } cases[] = {
        {"BGRA depth word", Patched(bgra, {{4, 0x08080800}})},
        {"BGRA last byte missing", Bytes(bgra.begin(), bgra.end() - 1)},
        {"BGRA overflowing size", Patched(bgra, {{8, 0x40000000}})},  // x 4 bytes x 4 rows wraps to 0
        {"BGRA 100000 x 100000", Patched(bgra, {{8, 100000}, {12, 100000}})},
        {"BGRA no rows", Patched(bgra, {{12, 0}})},
        {"DDS magic", Patched(dds, {{0, 0x20584444}})},  // "DDX "
        {"DDS last byte missing", Bytes(dds.begin(), dds.end() - 1)},
        {"DDS 12 bits", Patched(dds, {{88, 12}})},
        {"DDS 100000 x 100000", Patched(dds, {{12, 100000}, {16, 100000}})},
        {"DDS wrapping row", Patched(dds, {{16, 0x40000000}})},  // 4 bytes a pixel
        {"DDS mask outside the pixel", Patched(dds, {{92, 0x1FF0000}, {88, 24}})},  // red past 24 bits
        {"DDS compressed format", DdsFile(fourCc)},
        {"DDS pitch below a row", DdsFile(shortPitch)},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        EXPECT_EQ(Decoded(c.file).result, -1);
    }
}

}  // namespace
