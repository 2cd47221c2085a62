// The software path's shape fills: one colour into clipped rectangles, one
// loop for each format and blend mode, chosen once a shape.
//
// A channel is worked on where it sits in the pixel (masked, not shifted)
// where that is exact. Every term that depends only on
// the colour is worked out once a shape (MakeShapeColour); a pixel then
// costs a few operations on the destination alone. Mixed pixels keep no
// spare bits, as the graphs' mixed pixels keep none.
#include "draw/shape.h"

#include "core/core.h"
#include "draw/draw_path.h"
#include "platform/pixels/surface.h"
#include "tessel/graphics.h"

#include <emmintrin.h>

#include <algorithm>
#include <bit>
#include <type_traits>

namespace {

template <typename P, uint32_t R, uint32_t G, uint32_t B>
struct Format {
    using Pixel = P;
    static constexpr uint32_t Masks[3] = {R, G, B};
};

using Format8 = Format<uint8_t, 0, 0, 0>;
using Format565 = Format<uint16_t, 0xF800, 0x07E0, 0x001F>;
using Format555 = Format<uint16_t, 0x7C00, 0x03E0, 0x001F>;
using Format32 = Format<uint32_t, 0xFF0000, 0xFF00, 0xFF>;

struct Fill {
    template <typename F>
    static uint32_t Apply(uint32_t, const ShapeColour& c) { return c.value; }
};

// Each channel d + floor((c - d) * a / 256) = (d * (256 - a) + c * a) >> 8:
// unlike the graphs' whole-pixel mix, no carry from a lower channel, so
// that eight or four pixels can go in one step (AlphaRows).
struct Alpha {
    template <uint32_t M>
    static uint32_t Channel(uint32_t d, const ShapeColour& c) {
        constexpr int Shift = std::countr_zero(M);
        uint32_t dv = (d & M) >> Shift, cv = (c.value & M) >> Shift;
        return (dv * (256 - c.amount) + cv * c.amount) >> 8 << Shift;
    }
    template <typename F>
    static uint32_t Apply(uint32_t d, const ShapeColour& c) {
        return Channel<F::Masks[0]>(d, c) | Channel<F::Masks[1]>(d, c) |
               Channel<F::Masks[2]>(d, c);
    }
};

struct Add {
    template <uint32_t M>
    static uint32_t Channel(uint32_t d, const ShapeColour& c) {
        return std::min((d & M) + (c.weighted & M), M);
    }
    template <typename F>
    static uint32_t Apply(uint32_t d, const ShapeColour& c) {
        return Channel<F::Masks[0]>(d, c) | Channel<F::Masks[1]>(d, c) |
               Channel<F::Masks[2]>(d, c);
    }
};

struct Subtract {
    template <uint32_t M>
    static uint32_t Channel(uint32_t d, const ShapeColour& c) {
        uint32_t a = d & M, b = c.weighted & M;
        return a > b ? a - b : 0;
    }
    template <typename F>
    static uint32_t Apply(uint32_t d, const ShapeColour& c) {
        return Channel<F::Masks[0]>(d, c) | Channel<F::Masks[1]>(d, c) |
               Channel<F::Masks[2]>(d, c);
    }
};

struct Multiply {
    // d * f / full, the channel in place: the quotient's bits below the
    // channel are cut off by the mask, leaving floor(d * f / full) there.
    template <uint32_t M>
    static uint32_t Channel(uint32_t d, const ShapeColour& c) {
        return uint32_t(uint64_t(d & M) * (c.factor & M) / M) & M;
    }
    template <typename F>
    static uint32_t Apply(uint32_t d, const ShapeColour& c) {
        return Channel<F::Masks[0]>(d, c) | Channel<F::Masks[1]>(d, c) |
               Channel<F::Masks[2]>(d, c);
    }
};

// BlendAlpha over a rectangle, several pixels a step: Alpha's sum stays
// under 2^16 for 8-bit channels, so it is one multiply and one add a
// channel in 16-bit lanes, the colour's c * a worked out once.
template <typename F>
void AlphaRows(uint8_t* pixels, int pitch, int width, int height, const ShapeColour& c) {
    using Pixel = typename F::Pixel;
    constexpr uint32_t R = F::Masks[0], G = F::Masks[1];
    constexpr int Step = 16 / sizeof(Pixel);
    const auto a = uint16_t(c.amount);
    const __m128i keep = _mm_set1_epi16(int16_t(256 - a));
    auto part = [&](uint32_t mask) {
        return int16_t((c.value & mask) / (mask & -mask) * a);
    };
    for (int y = 0; y < height; ++y, pixels += pitch) {
        auto* p = reinterpret_cast<Pixel*>(pixels);
        int x = 0;
        if constexpr (sizeof(Pixel) == 4) {
            const __m128i zero = _mm_setzero_si128(), channels = _mm_set1_epi32(0x00FFFFFF);
            const int16_t b = part(0xFF), g = part(0xFF00), r = part(0xFF0000);
            const __m128i add = _mm_setr_epi16(b, g, r, 0, b, g, r, 0);
            for (; x + Step <= width; x += Step) {
                __m128i d = _mm_loadu_si128(reinterpret_cast<const __m128i*>(p + x));
                __m128i lo = _mm_unpacklo_epi8(d, zero), hi = _mm_unpackhi_epi8(d, zero);
                lo = _mm_srli_epi16(_mm_add_epi16(_mm_mullo_epi16(lo, keep), add), 8);
                hi = _mm_srli_epi16(_mm_add_epi16(_mm_mullo_epi16(hi, keep), add), 8);
                _mm_storeu_si128(reinterpret_cast<__m128i*>(p + x),
                                 _mm_and_si128(_mm_packus_epi16(lo, hi), channels));
            }
        } else {
            constexpr int RedShift = R == 0xF800 ? 11 : 10;
            const __m128i redBits = _mm_set1_epi16(int16_t(R >> RedShift));
            const __m128i greenBits = _mm_set1_epi16(int16_t(G >> 5)), blueBits = _mm_set1_epi16(0x1F);
            const __m128i addR = _mm_set1_epi16(part(R)), addG = _mm_set1_epi16(part(G));
            const __m128i addB = _mm_set1_epi16(part(0x1F));
            auto mix = [&](__m128i v, __m128i add) {
                return _mm_srli_epi16(_mm_add_epi16(_mm_mullo_epi16(v, keep), add), 8);
            };
            for (; x + Step <= width; x += Step) {
                __m128i d = _mm_loadu_si128(reinterpret_cast<const __m128i*>(p + x));
                __m128i r = mix(_mm_and_si128(_mm_srli_epi16(d, RedShift), redBits), addR);
                __m128i g = mix(_mm_and_si128(_mm_srli_epi16(d, 5), greenBits), addG);
                __m128i b = mix(_mm_and_si128(d, blueBits), addB);
                __m128i out = _mm_or_si128(_mm_slli_epi16(r, RedShift), _mm_slli_epi16(g, 5));
                _mm_storeu_si128(reinterpret_cast<__m128i*>(p + x), _mm_or_si128(out, b));
            }
        }
        for (; x < width; ++x) p[x] = Pixel(Alpha::Apply<F>(p[x], c));
    }
}

template <typename F, typename Mode>
void FillLoop(uint8_t* pixels, int pitch, int width, int height, const ShapeColour& colour) {
    using Pixel = typename F::Pixel;
    const ShapeColour c = colour;
    for (int y = 0; y < height; ++y, pixels += pitch) {
        auto* p = reinterpret_cast<Pixel*>(pixels);
        if constexpr (std::is_same_v<Mode, Fill>) {
            std::fill(p, p + width, Pixel(c.value));
        } else {
            for (int x = 0; x < width; ++x) p[x] = Pixel(Mode::template Apply<F>(p[x], c));
        }
    }
}

template <typename F, typename Mode>
void LineLoop(uint8_t* pixels, int pitch, const LineWalk& w, const ShapeColour& colour) {
    using Pixel = typename F::Pixel;
    const ShapeColour c = colour;
    std::ptrdiff_t across = std::ptrdiff_t(sizeof(Pixel)), down = pitch;
    std::ptrdiff_t major = w.steep ? w.majorSign * down : w.majorSign * across;
    std::ptrdiff_t minor = w.steep ? w.minorSign * across : w.minorSign * down;
    int64_t rest = w.rest;
    for (int64_t n = w.count; n > 0; --n) {
        auto* p = reinterpret_cast<Pixel*>(pixels);
        *p = Pixel(Mode::template Apply<F>(*p, c));
        rest += w.twoMinor;
        if (rest >= w.twoMajor) {
            rest -= w.twoMajor;
            pixels += minor;
        }
        pixels += major;
    }
}

template <typename F>
ShapeLineLoop LineLoopFor(int mode) {
    switch (mode) {
    case BlendAlpha: return LineLoop<F, Alpha>;
    case BlendAdd: return LineLoop<F, Add>;
    case BlendMultiply: return LineLoop<F, Multiply>;
    case BlendSubtract: return LineLoop<F, Subtract>;
    default: return LineLoop<F, Fill>;
    }
}

template <typename F>
ShapeLoop LoopFor(int mode) {
    switch (mode) {
    case BlendAlpha: return AlphaRows<F>;
    case BlendAdd: return FillLoop<F, Add>;
    case BlendMultiply: return FillLoop<F, Multiply>;
    case BlendSubtract: return FillLoop<F, Subtract>;
    default: return FillLoop<F, Fill>;
    }
}

const uint32_t* MasksOf(BlitFormat format) {
    switch (format) {
    case BlitFormat565: return Format565::Masks;
    case BlitFormat555: return Format555::Masks;
    case BlitFormat32: return Format32::Masks;
    default: return Format8::Masks;
    }
}

// Each channel of `value` scaled by its own weight of 0..256 (256 keeps it).
uint32_t ScaleChannels(uint32_t value, const uint32_t masks[3], const uint32_t weights[3]) {
    uint32_t out = 0;
    for (int i = 0; i < 3; ++i) out |= uint32_t(uint64_t(value & masks[i]) * weights[i] >> 8) & masks[i];
    return out;
}

// 0..255 to 0..256, so that 255 leaves a value as it is.
uint32_t Weight(uint32_t v) { return v + (v >> 7); }

}  // namespace

ShapeLoop ChooseShapeLoop(BlitFormat format, int mode) {
    switch (format) {
    case BlitFormat8: return FillLoop<Format8, Fill>;
    case BlitFormat565: return LoopFor<Format565>(mode);
    case BlitFormat555: return LoopFor<Format555>(mode);
    case BlitFormat32: return LoopFor<Format32>(mode);
    default: return nullptr;
    }
}

ShapeLineLoop ChooseShapeLineLoop(BlitFormat format, int mode) {
    switch (format) {
    case BlitFormat8: return LineLoop<Format8, Fill>;
    case BlitFormat565: return LineLoopFor<Format565>(mode);
    case BlitFormat555: return LineLoopFor<Format555>(mode);
    case BlitFormat32: return LineLoopFor<Format32>(mode);
    default: return nullptr;
    }
}

int EffectiveShapeMode(int mode, int amount) {
    return mode == BlendAlpha && amount >= 255 ? BlendNone : mode;
}

ShapeColour MakeShapeColour(BlitFormat format, uint32_t value, uint32_t tint, int amount) {
    ShapeColour c = {};
    const uint32_t* masks = MasksOf(format);
    uint32_t spare = value & ~(masks[0] | masks[1] | masks[2]);
    if (format != BlitFormat8 && (tint & 0xFFFFFF) != 0xFFFFFF) {
        const uint32_t factors[3] = {Weight(tint >> 16 & 0xFF), Weight(tint >> 8 & 0xFF),
                                     Weight(tint & 0xFF)};
        value = spare | ScaleChannels(value, masks, factors);
    }
    c.value = value;
    c.amount = uint32_t(std::clamp(amount, 0, 255));
    uint32_t w = Weight(c.amount);
    const uint32_t weights[3] = {w, w, w};
    c.weighted = ScaleChannels(value, masks, weights);
    // Towards full as the amount falls: full - (full - c) * w.
    uint32_t full = masks[0] | masks[1] | masks[2];
    c.factor = full & ~ScaleChannels(full & ~value, masks, weights);
    return c;
}

void BeginShapeFill(ShapeRun* run) {
    run->surface = gDraw.drawSurface;
    int mode = EffectiveShapeMode(gDraw.blendMode, gDraw.blendParam);
    BlitFormat format = ClassifyBlitFormat(&run->surface->format);
    run->loop = ChooseShapeLoop(format, mode);
    // The front end tinted the colour already.
    run->terms = MakeShapeColour(format, run->colour, 0xFFFFFF, gDraw.blendParam);
    // A walk stays inside the clip, which must then lie inside the surface;
    // else lines go as runs, which FillShapeRect keeps to the surface.
    const Rect& clip = gDraw.drawArea;
    const Rect& origin = gDraw.targetOrigin;
    bool inside = clip.left + origin.left >= 0 && clip.top + origin.top >= 0 &&
                  clip.right + origin.left <= run->surface->width &&
                  clip.bottom + origin.top <= run->surface->height;
    run->lineLoop = inside ? ChooseShapeLineLoop(format, mode) : nullptr;
    if (PlatLockSurface(run->surface, &run->pixels, &run->pitch) != 0)
        ErrorExit(SJIS("描画先サーフェスのロックに失敗しました in DrawShape"));
}

void FillShapeRect(ShapeRun* run, const Rect& rect) {
    const PlatSurface* s = run->surface;
    // The draw area lies inside the target, and so inside its surface,
    // but a surface that is not the target's size is kept to its own edge.
    int left = rect.left + gDraw.targetOrigin.left, top = rect.top + gDraw.targetOrigin.top;
    int right = std::min(rect.right + gDraw.targetOrigin.left, s->width);
    int bottom = std::min(rect.bottom + gDraw.targetOrigin.top, s->height);
    if (!run->loop || left >= right || top >= bottom || left < 0 || top < 0) return;
    run->loop(run->pixels + std::ptrdiff_t(top) * run->pitch +
                  std::ptrdiff_t(left) * s->format.bytesPerPixel,
              run->pitch, right - left, bottom - top, run->terms);
}

void WalkShapeLine(ShapeRun* run, const LineWalk& walk) {
    int x = walk.x + gDraw.targetOrigin.left, y = walk.y + gDraw.targetOrigin.top;
    run->lineLoop(run->pixels + std::ptrdiff_t(y) * run->pitch +
                      std::ptrdiff_t(x) * run->surface->format.bytesPerPixel,
                  run->pitch, walk, run->terms);
}

void EndShapeFill(ShapeRun* run) { PlatUnlockSurface(run->surface); }
