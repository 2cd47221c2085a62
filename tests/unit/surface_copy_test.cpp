// CopySurfaceRect: plain and colour-keyed rectangle copies against a
// pixel-by-pixel reference, clipping at every edge, overlapping copies
// within one surface, and the cases it refuses.
#include "draw/screen.h"
#include "graphics/color.h"
#include "platform/pixels/surface.h"

#include <gtest/gtest.h>

#include <cstring>
#include <random>
#include <vector>

namespace {

ColorFormat FormatOfDepth(int bits) {
    ColorFormat f{};
    switch (bits) {
    case 8: SetFormatFromMasks(&f, 8, 0xE0, 0x1C, 0x03, 0); break;
    case 16: SetFormatFromMasks(&f, 16, 0xF800, 0x07E0, 0x001F, 0); break;
    case 24: SetFormatFromMasks(&f, 24, 0xFF0000, 0xFF00, 0xFF, 0); break;
    default: SetFormatFromMasks(&f, 32, 0xFF0000, 0xFF00, 0xFF, 0); break;
    }
    return f;
}

struct Surfaces {
    PlatSurface* dst;
    PlatSurface* src;
    ~Surfaces() {
        PlatReleaseSurface(dst);
        PlatReleaseSurface(src);
    }
};

uint32_t Get(const PlatSurface* s, int x, int y) {
    int bytes = s->format.bytesPerPixel;
    uint32_t v = 0;
    std::memcpy(&v, s->pixels + y * s->pitch + x * bytes, bytes);
    return v;
}

void Put(PlatSurface* s, int x, int y, uint32_t v) {
    std::memcpy(s->pixels + y * s->pitch + x * s->format.bytesPerPixel, &v,
                s->format.bytesPerPixel);
}

// Source pixels drawn from a few values, the key among them, so that runs of
// keyed and unkeyed pixels fall across every vector boundary.
void FillPattern(PlatSurface* s, std::mt19937* random, uint32_t key) {
    uint32_t mask = s->format.bytesPerPixel == 4 ? 0xFFFFFFFF
                                                 : (1u << (8 * s->format.bytesPerPixel)) - 1;
    for (int y = 0; y < s->height; ++y)
        for (int x = 0; x < s->width; ++x)
            Put(s, x, y, (*random)() % 3 == 0 ? key : (*random)() & mask);
}

TEST(CopySurfaceRect, MatchesThePixelByPixelCopyAtEveryDepthWidthAndOffset) {
    std::mt19937 random(7);
    for (int bits : {8, 16, 24, 32}) {
        ColorFormat format = FormatOfDepth(bits);
        uint32_t key = bits == 8 ? 0x3C : bits == 16 ? 0xF81F : bits == 24 ? 0x123456 : 0x00FF00FF;
        for (int keyed = 0; keyed <= 1; ++keyed)
            for (int width = 1; width <= 37; width += 3) {
                Surfaces s{PlatCreateSurface(48, 6, &format, 1), PlatCreateSurface(48, 6, &format, 1)};
                FillPattern(s.src, &random, key);
                FillPattern(s.dst, &random, key);
                PlatSetColorKey(s.src, 1, key);
                PlatSurface* before = PlatCreateSurface(48, 6, &format, 1);
                std::memcpy(before->pixels, s.dst->pixels, size_t(s.dst->pitch) * 6);

                int dstX = width % 5, srcX = 3;
                Rect source{srcX, 1, srcX + width, 5};
                ASSERT_EQ(CopySurfaceRect(s.dst, dstX, 2, s.src, source, keyed), 0);
                for (int y = 0; y < 6; ++y)
                    for (int x = 0; x < 48; ++x) {
                        uint32_t expected = Get(before, x, y);
                        int sx = x - dstX + srcX, sy = y - 2 + 1;
                        bool inside = x >= dstX && x < dstX + width && y >= 2 && y < 6 && sy < 5;
                        if (inside && !(keyed && Get(s.src, sx, sy) == key))
                            expected = Get(s.src, sx, sy);
                        ASSERT_EQ(Get(s.dst, x, y), expected)
                            << bits << " bits, keyed " << keyed << ", width " << width << " at "
                            << x << "," << y;
                    }
                PlatReleaseSurface(before);
            }
    }
}

TEST(CopySurfaceRect, WithoutAColourKeySetEveryPixelIsCopied) {
    ColorFormat format = FormatOfDepth(16);
    Surfaces s{PlatCreateSurface(4, 1, &format, 1), PlatCreateSurface(4, 1, &format, 1)};
    PlatFillSurfaceRect(s.dst, 0, 0, 4, 1, 0x1234);
    ASSERT_EQ(CopySurfaceRect(s.dst, 0, 0, s.src, Rect{0, 0, 4, 1}, 1), 0);
    for (int x = 0; x < 4; ++x) EXPECT_EQ(Get(s.dst, x, 0), 0u);
}

TEST(CopySurfaceRect, RectanglesAreClippedToBothSurfaces) {
    ColorFormat format = FormatOfDepth(32);
    Surfaces s{PlatCreateSurface(8, 8, &format, 1), PlatCreateSurface(8, 8, &format, 1)};
    for (int y = 0; y < 8; ++y)
        for (int x = 0; x < 8; ++x) Put(s.src, x, y, uint32_t(y * 8 + x + 1));

    // Source left and top before the surface: the copy starts further in.
    ASSERT_EQ(CopySurfaceRect(s.dst, 2, 2, s.src, Rect{-2, -1, 3, 3}, 0), 0);
    EXPECT_EQ(Get(s.dst, 4, 3), Get(s.src, 0, 0));
    EXPECT_EQ(Get(s.dst, 6, 5), Get(s.src, 2, 2));
    EXPECT_EQ(Get(s.dst, 3, 3), 0u);
    EXPECT_EQ(Get(s.dst, 4, 2), 0u);

    // Destination partly off the top-left and off the bottom-right.
    PlatFillSurfaceRect(s.dst, 0, 0, 8, 8, 0);
    ASSERT_EQ(CopySurfaceRect(s.dst, -3, -2, s.src, Rect{0, 0, 8, 8}, 0), 0);
    EXPECT_EQ(Get(s.dst, 0, 0), Get(s.src, 3, 2));
    EXPECT_EQ(Get(s.dst, 4, 5), Get(s.src, 7, 7));
    EXPECT_EQ(Get(s.dst, 5, 5), 0u);
    PlatFillSurfaceRect(s.dst, 0, 0, 8, 8, 0);
    ASSERT_EQ(CopySurfaceRect(s.dst, 6, 7, s.src, Rect{0, 0, 8, 8}, 0), 0);
    EXPECT_EQ(Get(s.dst, 7, 7), Get(s.src, 1, 0));
    EXPECT_EQ(Get(s.dst, 5, 7), 0u);

    // Wholly outside: nothing, and no fault.
    EXPECT_EQ(CopySurfaceRect(s.dst, 8, 0, s.src, Rect{0, 0, 8, 8}, 0), 0);
    EXPECT_EQ(CopySurfaceRect(s.dst, 0, 0, s.src, Rect{8, 0, 12, 8}, 0), 0);
    EXPECT_EQ(CopySurfaceRect(s.dst, 0, 0, s.src, Rect{4, 4, 2, 2}, 0), 0);
}

TEST(CopySurfaceRect, OverlappingCopiesWithinOneSurfaceReadBeforeTheyWrite) {
    ColorFormat format = FormatOfDepth(16);
    PlatSurface* s = PlatCreateSurface(6, 6, &format, 1);
    for (int y = 0; y < 6; ++y)
        for (int x = 0; x < 6; ++x) Put(s, x, y, uint32_t(y * 6 + x));
    ASSERT_EQ(CopySurfaceRect(s, 1, 1, s, Rect{0, 0, 5, 5}, 0), 0);
    for (int y = 1; y < 6; ++y)
        for (int x = 1; x < 6; ++x) EXPECT_EQ(Get(s, x, y), uint32_t((y - 1) * 6 + x - 1));
    ASSERT_EQ(CopySurfaceRect(s, 0, 0, s, Rect{1, 1, 6, 6}, 0), 0);
    for (int y = 0; y < 5; ++y)
        for (int x = 0; x < 5; ++x) EXPECT_EQ(Get(s, x, y), uint32_t(y * 6 + x));
    PlatReleaseSurface(s);
}

TEST(CopySurfaceRect, LostSurfacesAndMixedDepthsAreRefused) {
    ColorFormat f16 = FormatOfDepth(16), f32 = FormatOfDepth(32);
    Surfaces mixed{PlatCreateSurface(4, 4, &f16, 1), PlatCreateSurface(4, 4, &f32, 1)};
    EXPECT_EQ(CopySurfaceRect(mixed.dst, 0, 0, mixed.src, Rect{0, 0, 4, 4}, 0), -1);
    Surfaces same{PlatCreateSurface(4, 4, &f16, 1), PlatCreateSurface(4, 4, &f16, 1)};
    same.src->lost = 1;
    EXPECT_EQ(CopySurfaceRect(same.dst, 0, 0, same.src, Rect{0, 0, 4, 4}, 0), -1);
    PlatRestoreSurface(same.src);
    EXPECT_EQ(CopySurfaceRect(same.dst, 0, 0, same.src, Rect{0, 0, 4, 4}, 0), 0);
}

}  // namespace
