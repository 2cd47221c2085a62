// Pixel formats from masks, colour values in the screen's format and back,
// and reading pixels of decoded images.
#include "graphics/color.h"
#include "graphics/image.h"
#include "tessel.h"

#include <gtest/gtest.h>

#include <array>
#include <cstdint>

namespace {

ColorFormat FromMasks(int depth, uint32_t r, uint32_t g, uint32_t b, uint32_t a) {
    ColorFormat f = {};
    EXPECT_EQ(SetFormatFromMasks(&f, depth, r, g, b, a), 0);
    return f;
}

using Layout = std::array<int, 10>;  // bytes, bits R/G/B/A, shifts R/G/B/A, spare mask

Layout LayoutOf(const ColorFormat& f) {
    return {
        f.bytesPerPixel, f.redBits,    f.greenBits, f.blueBits,   f.alphaBits,
        f.redShift,      f.greenShift, f.blueShift, f.alphaShift, static_cast<int>(f.spareMask)};
}

void UseScreen(int depth, uint32_t r, uint32_t g, uint32_t b) {
    ColorFormat f = FromMasks(depth, r, g, b, 0);
    SetScreenFormat(&f);
}

std::array<int, 3> Split(uint32_t value) {
    std::array<int, 3> c = {-1, -1, -1};
    EXPECT_EQ(SplitColorValue(value, &c[0], &c[1], &c[2]), 0);
    return c;
}

TEST(ColorFormat, ChannelsAndSpareBitsFromMasks) {
    EXPECT_EQ(LayoutOf(FromMasks(16, 0x7C00, 0x03E0, 0x001F, 0)),
              (Layout{2, 5, 5, 5, 0, 10, 5, 0, 0, 0x8000}));
    EXPECT_EQ(LayoutOf(FromMasks(16, 0xF800, 0x07E0, 0x001F, 0)),
              (Layout{2, 5, 6, 5, 0, 11, 5, 0, 0, 0}));
    EXPECT_EQ(FromMasks(32, 0xFF0000, 0xFF00, 0xFF, 0).spareMask, 0xFF000000u);
    EXPECT_EQ(FromMasks(32, 0xFF0000, 0xFF00, 0xFF, 0xFF000000).spareMask, 0u);
    // A gap between channels is spare too, not only the top bits.
    EXPECT_EQ(FromMasks(32, 0x3FF00000, 0xFFC00, 0x3FF, 0).spareMask, 0xC0000000u);
    EXPECT_EQ(LayoutOf(FromMasks(32, 0x3FF00000, 0xFFC00, 0x3FF, 0xC0000000)),
              (Layout{4, 10, 10, 10, 2, 20, 10, 0, 30, 0}));

    // The fixed formats are what their masks describe.
    EXPECT_EQ(LayoutOf(Bgr24Format), LayoutOf(FromMasks(24, 0xFF0000, 0xFF00, 0xFF, 0)));
    EXPECT_EQ(LayoutOf(Grey8Format), LayoutOf(FromMasks(8, 0xFF, 0xFF, 0xFF, 0xFF)));

    ColorFormat f = {};
    EXPECT_EQ(SetFormatFromDisplay(&f, nullptr), -1);
    DisplayPixelFormat display = {32, 0xFF0000, 0xFF00, 0xFF, 0};
    EXPECT_EQ(SetFormatFromDisplay(&f, &display), 0);
    EXPECT_EQ(LayoutOf(f), LayoutOf(FromMasks(32, 0xFF0000, 0xFF00, 0xFF, 0)));
}

TEST(ColorFormat, SameFormatLooksAtDepthAndMasksOnly) {
    ColorFormat a = FromMasks(16, 0x7C00, 0x03E0, 0x001F, 0);
    ColorFormat b = a;
    b.spareMask = 0;
    EXPECT_TRUE(SameFormat(&a, &b));
    ColorFormat withAlpha = FromMasks(16, 0x7C00, 0x03E0, 0x001F, 0x8000);
    ColorFormat deeper = FromMasks(32, 0x7C00, 0x03E0, 0x001F, 0);
    EXPECT_FALSE(SameFormat(&a, &withAlpha));
    EXPECT_FALSE(SameFormat(&a, &deeper));
}

// Every case starts with no screen format set, as a fresh process does.
class ScreenColour : public ::testing::Test {
protected:
    void SetUp() override { gColor = {}; }
};

TEST_F(ScreenColour, DefaultsTo565AndIgnoresAllButTheLowByte) {
    EXPECT_EQ(QueryScreenDepth(), 16);
    EXPECT_EQ(MakeColor(255, 255, 255), 0xFFFFu);
    EXPECT_EQ(MakeColor(255, 0, 0), 0xF800u);
    EXPECT_EQ(MakeColor(0, 255, 0), 0x07E0u);
    EXPECT_EQ(MakeColor(256, 0, 0), MakeColor(0, 0, 0));
    EXPECT_EQ(MakeColor(0, 256 + 255, -1), MakeColor(0, 255, 255));
}

TEST_F(ScreenColour, SpareBitsAreSetInEveryValue) {
    UseScreen(16, 0x7C00, 0x03E0, 0x001F);
    EXPECT_EQ(MakeColor(255, 255, 255), 0xFFFFu);
    EXPECT_EQ(MakeColor(255, 0, 0), 0xFC00u);
    EXPECT_EQ(MakeColor(0, 0, 0), 0x8000u);
    EXPECT_EQ(MakeColor(8, 16, 24), 0x8000u | 1 << 10 | 2 << 5 | 3);
    UseScreen(32, 0xFF0000, 0xFF00, 0xFF);
    EXPECT_EQ(QueryScreenDepth(), 32);
    EXPECT_EQ(MakeColor(0x1AB, 0x2CD, 0x3EF), 0xFFABCDEFu);
}

TEST_F(ScreenColour, PaletteSearchOnAn8BitScreen) {
    UseScreen(8, 0xFF, 0xFF, 0xFF);
    PaletteEntry palette[256];
    for (PaletteEntry& e : palette) e = {255, 255, 255, 0};
    palette[7] = {200, 10, 10, 0};
    palette[9] = {10, 200, 10, 0};
    palette[200] = {200, 10, 10, 0};
    palette[250] = {0, 0, 0, 0};
    SetScreenPalette(palette);
    EXPECT_EQ(MakeColor(200, 10, 10), 7u) << "the same colour twice: the lower index";
    EXPECT_EQ(MakeColor(190, 30, 0), 7u) << "nearest by squared distance";
    EXPECT_EQ(MakeColor(5, 5, 5), 250u);
    EXPECT_EQ(MakeColor(255, 255, 255), 0u);
    ColorFormat argb = FromMasks(32, 0xFF0000, 0xFF00, 0xFF, 0xFF000000);
    EXPECT_EQ(MakeColorInFormat(&argb, 10, 200, 10, 255), 9u);
    EXPECT_EQ(Split(9), (std::array{10, 200, 10}));
    EXPECT_EQ(SplitColorValue(256, nullptr, nullptr, nullptr), -1);
}

TEST_F(ScreenColour, InAnyFormatWithAlpha) {
    ColorFormat argb = FromMasks(32, 0xFF0000, 0xFF00, 0xFF, 0xFF000000);
    EXPECT_EQ(MakeColorInFormat(&argb, 1, 2, 3, 0x80), 0x80010203u);
    ColorFormat a1555 = FromMasks(16, 0x7C00, 0x03E0, 0x001F, 0x8000);
    EXPECT_EQ(MakeColorInFormat(&a1555, 255, 0, 0, 255), 0xFC00u);
    EXPECT_EQ(MakeColorInFormat(&a1555, 255, 0, 0, 127), 0x7C00u);
    ColorFormat a4444 = FromMasks(16, 0x0F00, 0x00F0, 0x000F, 0xF000);
    EXPECT_EQ(MakeColorInFormat(&a4444, 0x10, 0x20, 0x30, 0x40), 0x4123u);
    ColorFormat x888 = FromMasks(32, 0xFF0000, 0xFF00, 0xFF, 0);
    EXPECT_EQ(MakeColorInFormat(&x888, 0, 0, 0, 0x80), 0xFF000000u);
}

TEST_F(ScreenColour, SplitScalesEachChannelToFullRange) {
    UseScreen(16, 0x7C00, 0x03E0, 0x001F);
    EXPECT_EQ(Split(0x7C00), (std::array{255, 0, 0}));
    EXPECT_EQ(Split(0xFFFF), (std::array{255, 255, 255}));
    EXPECT_EQ(Split(1 << 10 | 16 << 5 | 30), (std::array{8, 131, 246}));
    UseScreen(16, 0xF800, 0x07E0, 0x001F);
    EXPECT_EQ(Split(MakeColor(255, 128, 0)), (std::array{255, 129, 0}));
}

TEST(ReadImagePixelColor, PlacesChannelsAtTheTopOfTheirBytes) {
    uint8_t bgr[6] = {0x11, 0x22, 0x33, 0xAA, 0xBB, 0xCC};
    GraphImage image = {Bgr24Format, 2, 1, 6, bgr};
    EXPECT_EQ(ReadImagePixelColor(&image, 1, 0), 0x00CCBBAAu);
    EXPECT_EQ(ReadImagePixelColor(&image, 2, 0), 0u);

    uint8_t rgb565[4] = {0xFF, 0xFF, 0x1F, 0x00};
    image = {FromMasks(16, 0xF800, 0x07E0, 0x001F, 0), 1, 2, 2, rgb565};
    EXPECT_EQ(ReadImagePixelColor(&image, 0, 0), 0x00F8FCF8u);
    EXPECT_EQ(ReadImagePixelColor(&image, 0, 1), 0x000000F8u);

    uint8_t a4444[2] = {0x34, 0x12};
    image = {FromMasks(16, 0x0F00, 0x00F0, 0x000F, 0xF000), 1, 1, 2, a4444};
    EXPECT_EQ(ReadImagePixelColor(&image, 0, 0), 0x10203040u);

    uint8_t grey[1] = {0x77};  // one-byte pixels have no reading
    image = {Grey8Format, 1, 1, 1, grey};
    EXPECT_EQ(ReadImagePixelColor(&image, 0, 0), 0u);
    image = {Bgr24Format, 2, 1, 6, nullptr};
    EXPECT_EQ(ReadImagePixelColor(&image, 0, 0), 0u);
}

}  // namespace
