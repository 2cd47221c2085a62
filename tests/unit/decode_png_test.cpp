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

// `picture` with every pixel whose colour is `key` made transparent.
Picture Keyed(Picture picture, uint32_t key, uint32_t colourMask) {
    for (uint32_t& c : picture.argb) {
        c |= 0xFF000000u;
        if ((c & colourMask) == key) c &= 0xFFFFFF;
    }
    return picture;
}

// Grey at `depth` bits widened to full scale.
Picture Widened(Picture grey, int depth) {
    const int max = (1 << depth) - 1;
    for (uint32_t& c : grey.argb) c = 0xFF000000u | ((c & 0xFF) >> (8 - depth)) * 255 / max * 0x010101u;
    return grey;
}

// Every colour type comes out as grey, blue-green-red or, with any
// transparency (grey included), four bytes a pixel. 16-bit channels keep
// their high byte; interlacing changes nothing.
TEST(DecodePng, EachColourTypeDepthAndTransparencyComesOutAsGreyBgrOrBgra) {
    Picture grey = GreyGradient(7, 3), narrowGrey = GreyGradient(11, 2), keyGrey = GreyGradient(5, 3);
    Picture colour = Gradient(5, 4, true), tall = Gradient(10, 9, true), plain = Gradient(4, 3, false);
    IndexedPicture indexed = Indexed(9, 2, 6), translucent = Indexed(6, 3, 5);
    for (uint32_t& c : translucent.palette) c = (c & 0xFFFFFF) | (c & 0xFF) << 24;
    Picture greyAlpha = Gradient(4, 4, true);
    for (uint32_t& c : greyAlpha.argb) c = (c & 0xFF000000u) | (c >> 16 & 0xFF) * 0x010101u;
    const uint32_t greyKey = keyGrey.At(2, 1) & 0xFF, colourKey = plain.At(1, 1) & 0xFFFFFF;
    struct Case {
        const char* what;
        Bytes file;
        Picture expected;
        Kind kind;
    } cases[] = {
        {"grey 8", PngFile(grey, 0, 8, false), grey, Grey},
        {"grey 1", PngFile(narrowGrey, 0, 1, false), Widened(narrowGrey, 1), Grey},
        {"grey 2", PngFile(narrowGrey, 0, 2, false), Widened(narrowGrey, 2), Grey},
        {"grey 4", PngFile(narrowGrey, 0, 4, false), Widened(narrowGrey, 4), Grey},
        {"RGB", PngFile(colour, 2, 8, false), Opaque(colour), Bgr},
        {"RGBA", PngFile(colour, 6, 8, false), colour, Bgra},
        {"palette 4", PngPaletteFile(indexed, 4, false), indexed.Expanded(), Bgr},
        {"RGBA 16", PngFile(tall, 6, 16, false), tall, Bgra},
        {"RGBA interlaced", PngFile(tall, 6, 8, true), tall, Bgra},
        {"palette with alpha", PngPaletteFile(translucent, 8, true), translucent.Expanded(), Bgra},
        {"grey keyed", PngFile(keyGrey, 0, 8, false, greyKey), Keyed(keyGrey, greyKey, 0xFF), Bgra},
        {"grey-alpha", PngFile(greyAlpha, 4, 8, false), greyAlpha, Bgra},
        {"RGB keyed", PngFile(plain, 2, 8, false, colourKey), Keyed(plain, colourKey, 0xFFFFFF), Bgra},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        Decoded decoded(c.file);
        ASSERT_EQ(decoded.result, 0);
        EXPECT_TRUE(HasFormat(decoded.image, c.kind));
        EXPECT_TRUE(SamePixels(decoded, c.expected));
    }
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
