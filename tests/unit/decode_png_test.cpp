// PNG decoding through libpng: the format each colour type and depth comes
// out in, transparency, interlacing, and refusal of damaged files.
#include "graphics/image.h"
#include "support/image_files.h"

#include <gtest/gtest.h>

#include <cstring>
#include <zlib.h>

namespace {

enum Kind { Grey, Bgr, Bgra };

::testing::AssertionResult HasFormat(const GraphImage& image, Kind kind) {
    const ColorFormat& f = image.format;
    bool ok = kind == Grey   ? f.ColorBitDepth == 8 && f.redMask == 0xFF && f.blueMask == 0xFF
              : kind == Bgr  ? f.ColorBitDepth == 24 && f.redMask == 0xFF0000 && f.alphaMask == 0
                             : f.ColorBitDepth == 32 && f.redMask == 0xFF0000 && f.blueMask == 0xFF &&
                                  f.alphaMask == 0xFF000000 && f.alphaShift == 24;
    int bytes = kind == Grey ? 1 : kind == Bgr ? 3 : 4;
    if (ok && image.pitch == image.width * bytes) return ::testing::AssertionSuccess();
    return ::testing::AssertionFailure() << "depth " << int(f.ColorBitDepth) << ", pitch " << image.pitch;
}

::testing::AssertionResult SamePixels(const Decoded& decoded, const Picture& expected) {
    for (int y = 0; y < expected.height; ++y) {
        for (int x = 0; x < expected.width; ++x) {
            if (decoded.At(x, y) != expected.At(x, y)) {
                return ::testing::AssertionFailure()
                       << "(" << x << ", " << y << "): " << std::hex << decoded.At(x, y)
                       << ", expected " << expected.At(x, y);
            }
        }
    }
    return ::testing::AssertionSuccess();
}

Picture Opaque(Picture picture) {
    for (uint32_t& c : picture.argb) c |= 0xFF000000u;
    return picture;
}

TEST(DecodePng, EachColourTypeComesOutAsGreyBgrOrBgra) {
    Picture grey = GreyGradient(7, 3);
    Picture colour = Gradient(5, 4, true);
    IndexedPicture indexed = Indexed(9, 2, 6);

    Decoded grey8(PngFile(grey, 0, 8, false));
    ASSERT_EQ(grey8.result, 0);
    EXPECT_TRUE(HasFormat(grey8.image, Grey));
    EXPECT_TRUE(SamePixels(grey8, grey));

    Decoded rgb(PngFile(colour, 2, 8, false));
    ASSERT_EQ(rgb.result, 0);
    EXPECT_TRUE(HasFormat(rgb.image, Bgr));
    EXPECT_TRUE(SamePixels(rgb, Opaque(colour)));

    Decoded rgba(PngFile(colour, 6, 8, false));
    ASSERT_EQ(rgba.result, 0);
    EXPECT_TRUE(HasFormat(rgba.image, Bgra));
    EXPECT_TRUE(SamePixels(rgba, colour));

    Decoded palette(PngPaletteFile(indexed, 4, false));
    ASSERT_EQ(palette.result, 0);
    EXPECT_TRUE(HasFormat(palette.image, Bgr));
    EXPECT_TRUE(SamePixels(palette, indexed.Expanded()));
}

TEST(DecodePng, LowGreyDepthsWidenToFullScale) {
    Picture grey = GreyGradient(11, 2);
    for (int depth : {1, 2, 4}) {
        SCOPED_TRACE(depth);
        Decoded decoded(PngFile(grey, 0, depth, false));
        ASSERT_EQ(decoded.result, 0);
        EXPECT_TRUE(HasFormat(decoded.image, Grey));
        const int max = (1 << depth) - 1;
        Picture expected = grey;
        for (uint32_t& c : expected.argb) {
            uint32_t v = ((c & 0xFF) >> (8 - depth)) * 255 / max;
            c = 0xFF000000u | v * 0x010101u;
        }
        EXPECT_TRUE(SamePixels(decoded, expected));
    }
}

TEST(DecodePng, SixteenBitChannelsKeepTheirHighByteAndInterlacingChangesNothing) {
    Picture colour = Gradient(10, 9, true);
    Decoded deep(PngFile(colour, 6, 16, false));
    ASSERT_EQ(deep.result, 0);
    EXPECT_TRUE(HasFormat(deep.image, Bgra));
    EXPECT_TRUE(SamePixels(deep, colour));

    Decoded interlaced(PngFile(colour, 6, 8, true));
    ASSERT_EQ(interlaced.result, 0);
    EXPECT_TRUE(SamePixels(interlaced, colour));
}

// Transparency makes every type four bytes a pixel, grey ones included.
TEST(DecodePng, TransparencyChunksAndGreyAlphaGiveBgra) {
    IndexedPicture indexed = Indexed(6, 3, 5);
    for (uint32_t& c : indexed.palette) c = (c & 0xFFFFFF) | (c & 0xFF) << 24;
    Decoded palette(PngPaletteFile(indexed, 8, true));
    ASSERT_EQ(palette.result, 0);
    EXPECT_TRUE(HasFormat(palette.image, Bgra));
    EXPECT_TRUE(SamePixels(palette, indexed.Expanded()));

    Picture grey = GreyGradient(5, 3);
    uint32_t key = grey.At(2, 1) & 0xFF;
    Decoded keyed(PngFile(grey, 0, 8, false, key));
    ASSERT_EQ(keyed.result, 0);
    EXPECT_TRUE(HasFormat(keyed.image, Bgra));
    Picture expected = grey;
    for (uint32_t& c : expected.argb) {
        if ((c & 0xFF) == key) c &= 0xFFFFFF;
    }
    EXPECT_TRUE(SamePixels(keyed, expected));

    Picture alpha = Gradient(4, 4, true);
    for (uint32_t& c : alpha.argb) c = (c & 0xFF000000u) | (c >> 16 & 0xFF) * 0x010101u;
    Decoded greyAlpha(PngFile(alpha, 4, 8, false));
    ASSERT_EQ(greyAlpha.result, 0);
    EXPECT_TRUE(HasFormat(greyAlpha.image, Bgra));
    EXPECT_TRUE(SamePixels(greyAlpha, alpha));

    Picture colour = Gradient(4, 3, false);
    Decoded rgbKeyed(PngFile(colour, 2, 8, false, colour.At(1, 1) & 0xFFFFFF));
    ASSERT_EQ(rgbKeyed.result, 0);
    EXPECT_TRUE(HasFormat(rgbKeyed.image, Bgra));
    EXPECT_EQ(rgbKeyed.At(1, 1), colour.At(1, 1) & 0xFFFFFF);
    EXPECT_EQ(rgbKeyed.At(0, 0), colour.At(0, 0));
}

// Rewrites the IHDR chunk's size fields and its CRC.
Bytes WithHeaderSize(Bytes png, uint32_t width, uint32_t height) {
    const size_t ihdr = 8 + 8;  // signature, then length and type
    for (int i = 0; i < 4; ++i) {
        png[ihdr + i] = uint8_t(width >> (24 - 8 * i));
        png[ihdr + 4 + i] = uint8_t(height >> (24 - 8 * i));
    }
    uint32_t crc = uint32_t(crc32(0, png.data() + 12, 4 + 13));
    for (int i = 0; i < 4; ++i) png[ihdr + 13 + i] = uint8_t(crc >> (24 - 8 * i));
    return png;
}

TEST(DecodePng, DamagedFilesAndImpossibleSizesFail) {
    Bytes good = PngFile(Gradient(20, 20, false), 2, 8, false);
    ASSERT_EQ(Decoded(good).result, 0);

    EXPECT_EQ(Decoded(Bytes(good.begin(), good.begin() + good.size() / 2)).result, -1) << "cut short";
    Bytes flipped = good;
    flipped[40] ^= 0xFF;
    EXPECT_EQ(Decoded(flipped).result, -1) << "a damaged chunk";
    EXPECT_EQ(Decoded(WithHeaderSize(good, 20, 21)).result, -1) << "a row missing";
    Decoded huge(WithHeaderSize(good, 100000, 100000));
    EXPECT_EQ(huge.result, -1) << "ten billion pixels from a few hundred bytes";
    EXPECT_EQ(huge.image.pixels, nullptr);
}

}  // namespace
