// The platform's surfaces: sizes and their refusals, locking, loss and
// restore, colour keys and rectangle fills.
#include "graphics/color.h"
#include "platform/pixels/surface.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <random>
#include <vector>

namespace {

ColorFormat FormatOfDepth(int depth) {
    ColorFormat format = {};
    switch (depth) {
    case 8: SetFormatFromMasks(&format, 8, 0, 0, 0, 0); break;
    case 16: SetFormatFromMasks(&format, 16, 0xF800, 0x07E0, 0x001F, 0); break;
    case 24: SetFormatFromMasks(&format, 24, 0xFF0000, 0xFF00, 0xFF, 0); break;
    default: SetFormatFromMasks(&format, 32, 0xFF0000, 0xFF00, 0xFF, 0); break;
    }
    return format;
}

uint32_t ReadPixel(const PlatSurface* surface, int x, int y) {
    uint32_t value = 0;
    std::memcpy(&value, surface->pixels + y * surface->pitch + x * surface->format.bytesPerPixel,
                surface->format.bytesPerPixel);
    return value;
}

TEST(PlatSurface, RowsArePaddedToFourBytes) {
    struct Case { int width, depth, pitch; };
    for (Case c : {Case{3, 24, 12}, Case{3, 16, 8}, Case{5, 8, 8}, Case{4, 8, 4}, Case{7, 32, 28}}) {
        ColorFormat format = FormatOfDepth(c.depth);
        PlatSurface* surface = PlatCreateSurface(c.width, 2, &format, 0);
        ASSERT_NE(surface, nullptr) << c.width << "x2 at " << c.depth;
        EXPECT_EQ(surface->pitch, c.pitch) << c.width << " pixels at " << c.depth;
        EXPECT_EQ(surface->width, c.width);
        EXPECT_EQ(surface->height, 2);
        EXPECT_EQ(surface->format.ColorBitDepth, c.depth);
        for (int i = 0; i < surface->pitch * 2; ++i) ASSERT_EQ(surface->pixels[i], 0);
        PlatReleaseSurface(surface);
    }
}

TEST(PlatSurface, CreationRefusesSizesThatDoNotFit) {
    ColorFormat format32 = FormatOfDepth(32);
    ColorFormat format8 = FormatOfDepth(8);
    int before = PlatLiveSurfaceCount();
    EXPECT_EQ(PlatCreateSurface(0, 10, &format32, 0), nullptr);
    EXPECT_EQ(PlatCreateSurface(10, -1, &format32, 0), nullptr);
    // 2^16 x 2^16 x 4 wraps to 0 in 32 bits.
    EXPECT_EQ(PlatCreateSurface(65536, 65536, &format32, 1), nullptr);
    // Just past 2^31 - 1 bytes once the rows are padded.
    EXPECT_EQ(PlatCreateSurface(46341, 46341, &format8, 1), nullptr);
    EXPECT_EQ(PlatCreateSurface(0x40000000, 2, &format32, 1), nullptr);

    ColorFormat odd = format32;
    odd.ColorBitDepth = 12;
    EXPECT_EQ(PlatCreateSurface(4, 4, &odd, 0), nullptr);
    odd.ColorBitDepth = 0;
    EXPECT_EQ(PlatCreateSurface(4, 4, &odd, 0), nullptr);
    EXPECT_EQ(PlatCreateSurface(4, 4, nullptr, 0), nullptr);
    EXPECT_EQ(PlatLiveSurfaceCount(), before);
}

TEST(PlatSurface, LocksNestAndNeedAnUnlockEach) {
    ColorFormat format = FormatOfDepth(16);
    PlatSurface* surface = PlatCreateSurface(5, 3, &format, 0);
    uint8_t* pixels = nullptr;
    int pitch = 0;
    ASSERT_EQ(PlatLockSurface(surface, &pixels, &pitch), 0);
    EXPECT_EQ(pixels, surface->pixels);
    EXPECT_EQ(pitch, 12);
    EXPECT_EQ(PlatLockSurface(surface, nullptr, nullptr), 0);
    EXPECT_EQ(PlatUnlockSurface(surface), 0);
    EXPECT_EQ(PlatUnlockSurface(surface), 0);
    EXPECT_EQ(PlatUnlockSurface(surface), -1);
    PlatReleaseSurface(surface);
}

TEST(PlatSurface, LosingEveryLiveSurfaceStopsLocksAndFillsUntilRestored) {
    ColorFormat format = FormatOfDepth(32);
    int before = PlatLiveSurfaceCount();
    PlatSurface* a = PlatCreateSurface(2, 2, &format, 0);
    PlatSurface* b = PlatCreateSurface(2, 2, &format, 0);
    PlatSurface* c = PlatCreateSurface(2, 2, &format, 1);
    PlatSurface* d = PlatCreateSurface(2, 2, &format, 1);
    EXPECT_EQ(PlatLiveSurfaceCount(), before + 4);
    // Releasing from the middle and both ends keeps the list whole.
    PlatReleaseSurface(b);
    PlatReleaseSurface(d);
    PlatReleaseSurface(nullptr);
    PlatSurface* e = PlatCreateSurface(2, 2, &format, 0);
    EXPECT_EQ(PlatLiveSurfaceCount(), before + 3);

    PlatFillSurfaceRect(a, 0, 0, 2, 2, 0x123456);
    PlatLoseAllSurfaces();
    for (PlatSurface* s : {a, c, e}) {
        EXPECT_EQ(PlatIsSurfaceLost(s), 1);
        EXPECT_EQ(PlatLockSurface(s, nullptr, nullptr), -1);
        EXPECT_EQ(PlatFillSurfaceRect(s, 0, 0, 1, 1, 0), -1);
    }
    EXPECT_EQ(ReadPixel(a, 1, 1), 0x123456u);  // the refused fill wrote nothing

    EXPECT_EQ(PlatRestoreSurface(a), 0);
    EXPECT_EQ(PlatIsSurfaceLost(a), 0);
    EXPECT_EQ(PlatLockSurface(a, nullptr, nullptr), 0);
    EXPECT_EQ(PlatIsSurfaceLost(c), 1);
    PlatUnlockSurface(a);
    PlatReleaseSurface(a);
    PlatReleaseSurface(c);
    PlatReleaseSurface(e);
    EXPECT_EQ(PlatLiveSurfaceCount(), before);
}

TEST(PlatSurface, ColourKeyIsSetReadAndRemoved) {
    ColorFormat format = FormatOfDepth(16);
    PlatSurface* surface = PlatCreateSurface(2, 2, &format, 0);
    uint32_t key = 99;
    EXPECT_EQ(PlatGetColorKey(surface, &key), -1);
    EXPECT_EQ(PlatSetColorKey(surface, 1, 0), 0);
    EXPECT_EQ(PlatGetColorKey(surface, &key), 0);
    EXPECT_EQ(key, 0u);  // a key of 0 is a key
    PlatSetColorKey(surface, 1, 0xF81F);
    PlatGetColorKey(surface, &key);
    EXPECT_EQ(key, 0xF81Fu);
    PlatSetColorKey(surface, 0, 0xF81F);
    EXPECT_EQ(PlatGetColorKey(surface, &key), -1);
    PlatReleaseSurface(surface);
}

TEST(PlatSurface, FillsWriteEachDepthLittleEndFirstAndClip) {
    for (int depth : {8, 16, 24, 32}) {
        ColorFormat format = FormatOfDepth(depth);
        PlatSurface* surface = PlatCreateSurface(5, 4, &format, 0);
        uint32_t full = depth == 32 ? 0xFFFFFFFFu : (1u << depth) - 1;
        uint32_t value = 0xA1B2C3D4u & full;
        EXPECT_EQ(PlatFillSurfaceRect(surface, -3, 1, 2, 99, value), 0);
        for (int y = 0; y < 4; ++y)
            for (int x = 0; x < 5; ++x) {
                uint32_t expected = (x < 2 && y >= 1) ? value : 0;
                EXPECT_EQ(ReadPixel(surface, x, y), expected)
                    << depth << " bits at " << x << "," << y;
            }
        // Row padding stays untouched.
        for (int y = 0; y < 4; ++y)
            for (int i = 5 * format.bytesPerPixel; i < surface->pitch; ++i)
                EXPECT_EQ(surface->pixels[y * surface->pitch + i], 0) << depth;

        // Empty and wholly outside rectangles change nothing.
        EXPECT_EQ(PlatFillSurfaceRect(surface, 3, 0, 3, 4, 1), 0);
        EXPECT_EQ(PlatFillSurfaceRect(surface, 6, 0, 9, 4, 1), 0);
        EXPECT_EQ(PlatFillSurfaceRect(surface, 0, -5, 5, 0, 1), 0);
        EXPECT_EQ(ReadPixel(surface, 3, 2), 0u);
        EXPECT_EQ(ReadPixel(surface, 4, 0), 0u);
        PlatReleaseSurface(surface);
    }
}

// The fills take byte, 16-bit and vector stores by the value and the row's
// alignment; every way must write what a pixel-by-pixel fill writes.
TEST(PlatSurface, FillsOfAnySizeValueAndClipEqualAPixelByPixelFill) {
    std::mt19937 rng(5);
    auto range = [&](int lo, int hi) { return lo + int(rng() % unsigned(hi - lo + 1)); };
    const int depths[] = {8, 16, 24, 32};
    for (int round = 0; round < 300; ++round) {
        int depth = depths[round % 4], bytes = depth / 8;
        ColorFormat format = FormatOfDepth(depth);
        PlatSurface* surface =
            PlatCreateSurface(range(1, 90), range(1, 6), &format, 0, round % 3 ? 4 : PlatFastRowAlign);
        ASSERT_NE(surface, nullptr);
        for (int i = 0; i < surface->pitch * surface->height; ++i) surface->pixels[i] = uint8_t(rng());
        std::vector<uint8_t> expected(surface->pixels, surface->pixels + surface->pitch * surface->height);
        // Values of one repeated byte now and then, any bits above the depth.
        uint32_t value = round % 5 == 0 ? (rng() & 0xFF) * 0x01010101u : uint32_t(rng());
        int left = range(-5, surface->width + 2), right = range(left - 2, surface->width + 5);
        int top = range(-2, surface->height), bottom = range(top - 1, surface->height + 2);
        for (int y = std::max(top, 0); y < std::min(bottom, surface->height); ++y)
            for (int x = std::max(left, 0); x < std::min(right, surface->width); ++x)
                std::memcpy(&expected[size_t(y) * surface->pitch + size_t(x) * bytes], &value, bytes);
        ASSERT_EQ(PlatFillSurfaceRect(surface, left, top, right, bottom, value), 0);
        EXPECT_EQ(std::memcmp(surface->pixels, expected.data(), expected.size()), 0)
            << "round " << round << ": " << depth << " bits, " << surface->width << " wide";
        EXPECT_EQ(reinterpret_cast<uintptr_t>(surface->pixels) % 64, 0u);
        PlatReleaseSurface(surface);
    }
}

}  // namespace
