// Pixel conversion between formats, checked against a per-pixel reference
// written from the conversion's rules; the fast paths are also checked
// against the general case, reached by switches that leave the result alone.
#include "graphics/color.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <random>
#include <vector>

namespace {

ColorFormat FromMasks(int depth, uint32_t r, uint32_t g, uint32_t b, uint32_t a) {
    ColorFormat f = {};
    SetFormatFromMasks(&f, depth, r, g, b, a);
    return f;
}

const ColorFormat k565 = FromMasks(16, 0xF800, 0x07E0, 0x001F, 0);
const ColorFormat k555 = FromMasks(16, 0x7C00, 0x03E0, 0x001F, 0);
const ColorFormat k1555 = FromMasks(16, 0x7C00, 0x03E0, 0x001F, 0x8000);
const ColorFormat k4444 = FromMasks(16, 0x0F00, 0x00F0, 0x000F, 0xF000);
const ColorFormat kX888 = FromMasks(32, 0xFF0000, 0xFF00, 0xFF, 0);
const ColorFormat k8888 = FromMasks(32, 0xFF0000, 0xFF00, 0xFF, 0xFF000000);
const ColorFormat kAbgr = FromMasks(32, 0xFF, 0xFF00, 0xFF0000, 0xFF000000);

// w x h random pixels; rows are padded so that the pitch differs from the row.
struct Pixels {
    const ColorFormat* format;
    int width, height, pitch;
    std::vector<uint8_t> bytes;

    Pixels(const ColorFormat& f, int w, int h, unsigned seed)
        : format(&f), width(w), height(h), pitch(w * f.bytesPerPixel + 5),
          bytes(static_cast<size_t>(pitch) * h) {
        std::mt19937 rng(seed);
        for (uint8_t& b : bytes) b = static_cast<uint8_t>(rng());
    }
    size_t Offset(int x, int y) const {
        return static_cast<size_t>(y) * pitch + x * format->bytesPerPixel;
    }
    uint32_t Get(int x, int y) const {
        uint32_t v = 0;
        for (int i = 0; i < format->bytesPerPixel; ++i)
            v |= uint32_t{bytes[Offset(x, y) + i]} << 8 * i;
        return v;
    }
    void Set(int x, int y, uint32_t v) {
        for (int i = 0; i < format->bytesPerPixel; ++i)
            bytes[Offset(x, y) + i] = static_cast<uint8_t>(v >> 8 * i);
    }
    Pixels Flipped() const {
        Pixels out = *this;
        for (int y = 0; y < height; ++y)
            for (int x = 0; x < width; ++x) out.Set(width - 1 - x, y, Get(x, y));
        return out;
    }
};

struct Options {
    const Pixels* alpha = nullptr;
    int mirror = 0, keyAlpha = 0;
    uint32_t key = 0;
    int alphaOnly = 0;
};

Pixels Convert(const Pixels& src, const ColorFormat& to, Options o = {}) {
    Pixels dst(to, src.width, src.height, 0);
    EXPECT_EQ(
        ConvertPixels(dst.bytes.data(), dst.pitch, &to, src.bytes.data(), src.pitch, src.format,
                      o.alpha ? o.alpha->bytes.data() : nullptr, o.alpha ? o.alpha->pitch : 0,
                      o.alpha ? o.alpha->format : nullptr, 0, 0, 0, 0, src.width, src.height,
                      o.mirror, o.keyAlpha, o.key, 0, o.alphaOnly),
        0);
    return dst;
}

// `from` bits to `to` bits: truncation downward; upward the value scaled by
// (2^to - 1) / (2^from - 1), rounded down, so that full stays full.
uint32_t Fit(uint32_t v, int from, int to) {
    if (from >= to) return v >> (from - to);
    return from ? static_cast<uint32_t>(uint64_t{v} * ((1ull << to) - 1) / ((1ull << from) - 1))
                : 0;
}

uint32_t Reference(uint32_t p, const ColorFormat& s, const ColorFormat& d, const Options& o,
                   uint32_t alphaPixel) {
    auto fit = [&](uint32_t mask, int shift, int bits, int to) {
        return Fit((p & mask) >> shift, bits, to);
    };
    uint32_t rgb = 0;
    if (!o.alphaOnly)
        rgb = fit(s.redMask, s.redShift, s.redBits, d.redBits) << d.redShift |
              fit(s.greenMask, s.greenShift, s.greenBits, d.greenBits) << d.greenShift |
              fit(s.blueMask, s.blueShift, s.blueBits, d.blueBits) << d.blueShift;
    uint32_t full = (1u << d.alphaBits) - 1, a;
    if (o.alpha && d.alphaBits && !s.alphaBits) {
        const ColorFormat& af = *o.alpha->format;
        a = Fit((alphaPixel & af.alphaMask) >> af.alphaShift, af.alphaBits, d.alphaBits);
    } else {
        a = !s.alphaBits ? full : fit(s.alphaMask, s.alphaShift, s.alphaBits, d.alphaBits);
    }
    if (o.keyAlpha && d.alphaBits) {
        uint32_t keyRgb = Fit(o.key >> 16 & 0xFF, 8, d.redBits) << d.redShift |
                          Fit(o.key >> 8 & 0xFF, 8, d.greenBits) << d.greenShift |
                          Fit(o.key & 0xFF, 8, d.blueBits) << d.blueShift;
        a = rgb == keyRgb ? 0 : full;
    }
    return rgb | a << d.alphaShift |
           (d.ColorBitDepth == 16 || d.ColorBitDepth == 32 ? d.spareMask : 0);
}

void ExpectReference(const Pixels& src, const Pixels& dst, const Options& o = {}) {
    for (int y = 0; y < src.height; ++y)
        for (int x = 0; x < src.width; ++x)
            ASSERT_EQ(dst.Get(x, y), Reference(src.Get(x, y), *src.format, *dst.format, o,
                                               o.alpha ? o.alpha->Get(x, y) : 0))
                << x << "," << y << " from " << std::hex << src.Get(x, y);
}

void ExpectSame(const Pixels& got, const Pixels& want) {
    for (int y = 0; y < got.height; ++y)
        for (int x = 0; x < got.width; ++x)
            ASSERT_EQ(got.Get(x, y), want.Get(x, y)) << x << "," << y;
}

TEST(ConvertPixels, FastPathsAgreeWithTheGeneralCase) {
    Pixels src(Bgr24Format, 37, 11, 1);
    for (const ColorFormat* to : {&k565, &k555, &kX888}) {
        Pixels fast = Convert(src, *to);
        ExpectReference(src, fast);
        // A colour key means nothing without destination alpha.
        ExpectSame(Convert(src, *to, {.keyAlpha = 1, .key = 0x123456}), fast);
        ExpectSame(Convert(src.Flipped(), *to, {.mirror = 1}), fast);
    }
    // 32-bit BGRA, as PNG files with alpha decode: colour into the screen
    // formats, and the alpha byte alone into an 8-bit alpha plane.
    const ColorFormat plane = FromMasks(8, 0, 0, 0, 0xFF);
    for (int width : {1, 7, 37, 64}) {
        Pixels bgra(k8888, width, 5, unsigned(width));
        for (const ColorFormat* to : {&k565, &k555, &kX888, &plane}) {
            Options only = {.alphaOnly = to == &plane};
            Pixels fast = Convert(bgra, *to, only);
            ExpectReference(bgra, fast, only);
            Options mirrored = only;
            mirrored.mirror = 1;
            ExpectSame(Convert(bgra.Flipped(), *to, mirrored), fast);
        }
    }
    for (const ColorFormat* to : {&k1555, &k8888}) {
        for (uint32_t key : {0x000000u, 0xFF00FFu, 0x10F8C7u}) {
            // Exact key pixels, and near ones that meet the key only in 5:5:5.
            for (int i = 0; i < 40; ++i) src.Set(i % 37, i % 11, i % 2 ? key : key | 0x070707);
            Pixels fast = Convert(src, *to, {.keyAlpha = 1, .key = key});
            ExpectReference(src, fast, {.keyAlpha = 1, .key = key});
            ExpectSame(Convert(src.Flipped(), *to, {.mirror = 1, .keyAlpha = 1, .key = key}), fast);
        }
    }
}

TEST(ConvertPixels, GeneralCaseFollowsThePerPixelRule) {
    Pixels bgr(Bgr24Format, 23, 7, 2), alpha(Grey8Format, 23, 7, 3), argb(k8888, 23, 7, 4);
    Pixels keyed(k565, 23, 7, 5);
    for (int i = 0; i < 30; ++i) keyed.Set(i % 23, i % 7, 0xF81F);
    struct Case {
        const Pixels* src;
        const ColorFormat* to;
        Options o;
    } cases[] = {
        {&keyed, &Bgr24Format, {}},
        {&keyed, &k4444, {}},
        {&argb, &k4444, {}},
        {&argb, &kAbgr, {}},
        {&bgr, &k4444, {}},
        {&argb, &Grey8Format, {}},
        {&bgr, &k8888, {.alpha = &alpha}},
        {&bgr, &k1555, {.alpha = &alpha}},
        {&argb, &k4444, {.alpha = &alpha}},  // the source's own alpha wins
        {&bgr, &k8888, {.alpha = &alpha, .alphaOnly = 1}},
        {&argb, &k8888, {.alphaOnly = 1}},
        {&keyed, &k8888, {.keyAlpha = 1, .key = 0xFF00FF}},
        {&keyed, &k1555, {.alpha = &alpha, .keyAlpha = 1, .key = 0xFF00FF}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message() << "case " << &c - cases);
        ExpectReference(*c.src, Convert(*c.src, *c.to, c.o), c.o);
    }
    EXPECT_EQ(Convert(keyed, k8888, {.keyAlpha = 1, .key = 0xFF00FF}).Get(0, 0), 0x00FF00FFu);
    EXPECT_EQ(Convert(bgr, k8888, {.alpha = &alpha}).Get(3, 2) >> 24, alpha.Get(3, 2));
    // The alpha source follows its pixel when mirrored.
    Pixels flippedAlpha = alpha.Flipped();
    ExpectSame(Convert(bgr, k8888, {.alpha = &alpha, .mirror = 1}),
               Convert(bgr.Flipped(), k8888, {.alpha = &flippedAlpha}));
}

TEST(ConvertPixels, RoundTripsThroughWiderFormatsAreLossless) {
    Pixels bgr(Bgr24Format, 31, 5, 6);
    ExpectSame(Convert(Convert(bgr, kX888), Bgr24Format), bgr);
    ExpectSame(Convert(Convert(bgr, kAbgr), Bgr24Format), bgr);
    for (const ColorFormat* narrow : {&k565, &k1555, &k4444}) {
        Pixels src(*narrow, 31, 5, 7);
        ExpectSame(Convert(Convert(src, k8888), *narrow), src);
    }
    Pixels src(k555, 31, 5, 8);
    Pixels back = Convert(Convert(src, Bgr24Format), k555);
    for (int x = 0; x < src.width; ++x) ASSERT_EQ(back.Get(x, 2), src.Get(x, 2) | 0x8000);
}

TEST(ConvertPixels, SameFormatCopiesBytesUnchanged) {
    Pixels src(k555, 13, 4, 9);
    src.Set(0, 0, 0x7C00);
    ExpectSame(Convert(src, k555), src);  // spare bits stay as they were
    Pixels bgr(Bgr24Format, 13, 4, 10);
    ExpectSame(Convert(bgr, Bgr24Format, {.mirror = 1}), bgr.Flipped());
}

TEST(ConvertPixels, WritesOnlyTheTargetRectangle) {
    Pixels src(Bgr24Format, 10, 8, 11);
    for (const ColorFormat* to : {&k565, &k8888, &Bgr24Format}) {
        for (int mirror : {0, 1}) {
            Pixels dst(*to, 12, 12, 0);
            const Pixels before = dst;
            // Source columns 2..6, rows 3..5 to (4, 6).
            ASSERT_EQ(ConvertPixels(dst.bytes.data(), dst.pitch, to, src.bytes.data(), src.pitch,
                                    &Bgr24Format, nullptr, 0, nullptr, 4, 6, 2, 3, 7, 6, mirror, 0,
                                    0, 0, 0),
                      0);
            for (int y = 0; y < 12; ++y)
                for (int x = 0; x < 12; ++x) {
                    bool inside = x >= 4 && x < 9 && y >= 6 && y < 9;
                    int sx = mirror ? 10 - x : x - 2;
                    uint32_t want = inside ? Reference(src.Get(sx, y - 3), Bgr24Format, *to, {}, 0)
                                           : before.Get(x, y);
                    ASSERT_EQ(dst.Get(x, y), want) << x << "," << y << " mirror " << mirror;
                }
        }
    }
}

TEST(ConvertPixels, RefusesMissingBuffersAndIgnoresEmptyRectangles) {
    Pixels src(Bgr24Format, 4, 4, 12), dst(k565, 4, 4, 13);
    std::vector<uint8_t> before = dst.bytes;
    EXPECT_EQ(ConvertPixels(nullptr, dst.pitch, &k565, src.bytes.data(), src.pitch, &Bgr24Format,
                            nullptr, 0, nullptr, 0, 0, 0, 0, 4, 4, 0, 0, 0, 0, 0),
              -1);
    EXPECT_EQ(ConvertPixels(dst.bytes.data(), dst.pitch, &k565, src.bytes.data(), src.pitch,
                            nullptr, nullptr, 0, nullptr, 0, 0, 0, 0, 4, 4, 0, 0, 0, 0, 0),
              -1);
    EXPECT_EQ(ConvertPixels(dst.bytes.data(), dst.pitch, &k565, src.bytes.data(), src.pitch,
                            &Bgr24Format, nullptr, 0, nullptr, 0, 0, 3, 3, 1, 4, 0, 0, 0, 0, 0),
              0);
    EXPECT_EQ(dst.bytes, before);
}

}  // namespace
