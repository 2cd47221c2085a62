// The blend modes and the tint: one span loop per screen format, mode,
// key, alpha plane and tint, chosen once per draw; graphs, turned and
// stretched graphs and glyph runs all hand their pixels to these spans.
//
// Every channel is worked at its own width, so that a 16-bit screen needs
// no widening. Weights run 0..256 (256 takes the source whole), so a mix is
// one product and a shift; the weight of a pixel is amount * alpha / 255
// rounded, then stretched from 0..255 to 0..256.
#include "draw/blit.h"

#include "draw/draw_state.h"
#include "tessel/graphics.h"

#include <emmintrin.h>

#include <algorithm>
#include <bit>
#include <cstring>
#include <type_traits>

namespace {

template <typename P, uint32_t R, uint32_t G, uint32_t B>
struct Format {
    using Pixel = P;
    static constexpr uint32_t Red = R, Green = G, Blue = B;
    static constexpr uint32_t Spare = uint32_t(P(~P(0))) & ~(R | G | B);
};

using Format565 = Format<uint16_t, 0xF800, 0x07E0, 0x001F>;
using Format555 = Format<uint16_t, 0x7C00, 0x03E0, 0x001F>;
using Format32 = Format<uint32_t, 0xFF0000, 0xFF00, 0xFF>;

// x / 255 rounded, for x in 0..65535.
inline uint32_t Div255(uint32_t x) { return (x + 128 + ((x + 128) >> 8)) >> 8; }

// 0..255 to 0..256: 255 becomes 256 (the source whole), the rest stay,
// so that 128 is an exact half.
inline uint32_t Widen(uint32_t w) { return w + (w == 255); }

// One channel, shifted down to bit 0, with maximum M.
template <int Mode, uint32_t M>
inline uint32_t BlendChannel(uint32_t c, uint32_t d, uint32_t w) {
    if constexpr (Mode == BlendAlpha) {
        return (c * w + d * (256 - w) + 128) >> 8;
    } else if constexpr (Mode == BlendAdd) {
        return std::min(d + ((c * w + 128) >> 8), M);
    } else if constexpr (Mode == BlendSubtract) {
        uint32_t take = (c * w + 128) >> 8;
        return d > take ? d - take : 0;
    } else {
        uint32_t product = (d * c + M / 2) / M;
        return (product * w + d * (256 - w) + 128) >> 8;
    }
}

// One channel of the pixel, in place.
template <uint32_t Mask, int Mode, bool Tinted>
inline uint32_t BlendOne(uint32_t s, uint32_t d, uint32_t w, int tint) {
    constexpr int shift = std::countr_zero(Mask);
    uint32_t c = (s & Mask) >> shift, dc = (d & Mask) >> shift;
    if constexpr (Tinted) c = (c * uint32_t(tint) + 128) >> 8;
    return BlendChannel<Mode, (Mask >> shift)>(c, dc, w) << shift;
}

template <typename F, int Mode, bool Tinted>
inline typename F::Pixel BlendPixel(uint32_t s, uint32_t d, uint32_t w, const BlendInfo& b) {
    uint32_t out = BlendOne<F::Red, Mode, Tinted>(s, d, w, b.tint[0]) |
                   BlendOne<F::Green, Mode, Tinted>(s, d, w, b.tint[1]) |
                   BlendOne<F::Blue, Mode, Tinted>(s, d, w, b.tint[2]);
    if (Mode == BlendAlpha && w == 256) out |= s & F::Spare;
    return typename F::Pixel(out);
}

template <typename F, int Mode, bool Keyed, bool HasAlpha, bool Tinted>
void ReferenceSpan(uint8_t* dstBytes, const uint8_t* readBytes, const uint8_t* srcBytes,
          const uint8_t* alpha, int count, const BlendInfo& b) {
    using Pixel = typename F::Pixel;
    auto* dst = reinterpret_cast<Pixel*>(dstBytes);
    auto* read = reinterpret_cast<const Pixel*>(readBytes);
    auto* src = reinterpret_cast<const Pixel*>(srcBytes);
    const uint32_t amount = uint32_t(b.amount), flat = Widen(amount);
    for (int x = 0; x < count; ++x) {
        uint32_t s = src[x];
        if (Keyed && s == b.key) continue;
        uint32_t w = HasAlpha ? Widen(Div255(amount * alpha[x])) : flat;
        if (w == 0) continue;
        dst[x] = BlendPixel<F, Mode, Tinted>(s, read[x], w, b);
    }
}

// --- the fast spans ---------------------------------------------------------------

inline __m128i Load(const void* p) { return _mm_loadu_si128(static_cast<const __m128i*>(p)); }
inline void Store(void* p, __m128i v) { _mm_storeu_si128(static_cast<__m128i*>(p), v); }
inline __m128i Select(__m128i mask, __m128i yes, __m128i no) {
    return _mm_or_si128(_mm_and_si128(mask, yes), _mm_andnot_si128(mask, no));
}

// Whether `count` (4 or 8) alpha bytes are all 0: the edges and corners
// of sprites, left alone without a look at their pixels.
inline bool Clear(const uint8_t* alpha, int count) {
    uint64_t bytes = 0;
    std::memcpy(&bytes, alpha, size_t(count));
    return bytes == 0;
}

// Whether four alpha bytes are all 255.
inline bool Solid(const uint8_t* alpha) {
    uint32_t bytes;
    std::memcpy(&bytes, alpha, 4);
    return bytes == 0xFFFFFFFFu;
}

// The weights of `count` (4 or 8) pixels in 16-bit lanes, 0..256.
template <bool HasAlpha>
inline __m128i Weights(const uint8_t* alpha, __m128i amount, __m128i flat, int count) {
    if constexpr (!HasAlpha) {
        return flat;
    } else {
        __m128i bytes;
        if (count == 8) {
            bytes = _mm_loadl_epi64(reinterpret_cast<const __m128i*>(alpha));
        } else {
            int32_t four;
            std::memcpy(&four, alpha, 4);
            bytes = _mm_cvtsi32_si128(four);
        }
        __m128i q = _mm_add_epi16(_mm_mullo_epi16(_mm_unpacklo_epi8(bytes, _mm_setzero_si128()), amount),
                                  _mm_set1_epi16(128));
        __m128i w = _mm_srli_epi16(_mm_add_epi16(q, _mm_srli_epi16(q, 8)), 8);
        return _mm_sub_epi16(w, _mm_cmpeq_epi16(w, _mm_set1_epi16(255)));
    }
}

// One mode on channels in 16-bit lanes (c the tinted source, d the
// destination, w the weights), each channel's maximum `top`.
template <int Mode>
inline __m128i BlendLanes(__m128i c, __m128i d, __m128i w, __m128i top) {
    const __m128i half = _mm_set1_epi16(128), full = _mm_set1_epi16(256);
    if constexpr (Mode == BlendAdd || Mode == BlendSubtract) {
        __m128i take = _mm_srli_epi16(_mm_add_epi16(_mm_mullo_epi16(c, w), half), 8);
        if constexpr (Mode == BlendAdd) return _mm_min_epi16(_mm_add_epi16(d, take), top);
        return _mm_subs_epu16(d, take);
    } else {
        if constexpr (Mode == BlendMultiply) {
            // 8-bit channels only: the product over 255, rounded.
            __m128i q = _mm_add_epi16(_mm_mullo_epi16(d, c), half);
            c = _mm_srli_epi16(_mm_add_epi16(q, _mm_srli_epi16(q, 8)), 8);
        }
        __m128i sum = _mm_add_epi16(_mm_mullo_epi16(c, w), _mm_mullo_epi16(d, _mm_sub_epi16(full, w)));
        return _mm_srli_epi16(_mm_add_epi16(sum, half), 8);
    }
}

// 32-bit pixels, four a step: each pixel's bytes widened to 16-bit lanes.
template <int Mode, bool Keyed, bool HasAlpha, bool Tinted>
void Fast32(uint8_t* dstBytes, const uint8_t* readBytes, const uint8_t* srcBytes,
            const uint8_t* alpha, int count, const BlendInfo& b) {
    auto* dst = reinterpret_cast<uint32_t*>(dstBytes);
    auto* read = reinterpret_cast<const uint32_t*>(readBytes);
    auto* src = reinterpret_cast<const uint32_t*>(srcBytes);
    const __m128i zero = _mm_setzero_si128(), top = _mm_set1_epi16(255);
    const __m128i amount = _mm_set1_epi16(int16_t(b.amount));
    const __m128i flat = _mm_set1_epi16(int16_t(Widen(uint32_t(b.amount))));
    const __m128i tint = _mm_set_epi16(0, int16_t(b.tint[0]), int16_t(b.tint[1]), int16_t(b.tint[2]),
                                       0, int16_t(b.tint[0]), int16_t(b.tint[1]), int16_t(b.tint[2]));
    const __m128i colour = _mm_set1_epi32(0x00FFFFFF), key = _mm_set1_epi32(int32_t(b.key));
    int x = 0;
    // A sprite's solid middle under an untinted half weight is the mean,
    // as for a graph without a plane.
    const bool halfway = Mode == BlendAlpha && HasAlpha && !Tinted && b.amount == 128;
    for (; x + 4 <= count; x += 4) {
        if (HasAlpha && Clear(alpha + x, 4)) continue;
        __m128i s = Load(src + x), d = Load(read + x);
        if (halfway && Solid(alpha + x)) {
            __m128i out = _mm_and_si128(_mm_avg_epu8(s, d), colour);
            if constexpr (Keyed) out = Select(_mm_cmpeq_epi32(s, key), d, out);
            Store(dst + x, out);
            continue;
        }
        __m128i w = Weights<HasAlpha>(alpha + x, amount, flat, 4);       // 4 lanes used
        __m128i wide = _mm_unpacklo_epi16(w, w);                          // each weight twice
        __m128i wLow = _mm_unpacklo_epi32(wide, wide), wHigh = _mm_unpackhi_epi32(wide, wide);
        __m128i cLow = _mm_unpacklo_epi8(s, zero), cHigh = _mm_unpackhi_epi8(s, zero);
        if constexpr (Tinted) {
            const __m128i half = _mm_set1_epi16(128);
            cLow = _mm_srli_epi16(_mm_add_epi16(_mm_mullo_epi16(cLow, tint), half), 8);
            cHigh = _mm_srli_epi16(_mm_add_epi16(_mm_mullo_epi16(cHigh, tint), half), 8);
        }
        __m128i low = BlendLanes<Mode>(cLow, _mm_unpacklo_epi8(d, zero), wLow, top);
        __m128i high = BlendLanes<Mode>(cHigh, _mm_unpackhi_epi8(d, zero), wHigh, top);
        __m128i out = _mm_and_si128(_mm_packus_epi16(low, high), colour);
        __m128i weight32 = _mm_unpacklo_epi16(w, zero);
        if constexpr (Mode == BlendAlpha) {
            __m128i whole = _mm_cmpeq_epi32(weight32, _mm_set1_epi32(256));
            out = _mm_or_si128(out, _mm_and_si128(whole, _mm_andnot_si128(colour, s)));
        }
        __m128i keep = _mm_cmpeq_epi32(weight32, zero);
        if constexpr (Keyed) keep = _mm_or_si128(keep, _mm_cmpeq_epi32(s, key));
        Store(dst + x, Select(keep, d, out));
    }
    ReferenceSpan<Format32, Mode, Keyed, HasAlpha, Tinted>(
        dstBytes + 4 * x, readBytes + 4 * x, srcBytes + 4 * x, HasAlpha ? alpha + x : alpha,
        count - x, b);
}

// 16-bit pixels, eight a step: red, green and blue each in their own lanes.
template <typename F, int Mode, bool Keyed, bool HasAlpha, bool Tinted>
void Fast16(uint8_t* dstBytes, const uint8_t* readBytes, const uint8_t* srcBytes,
            const uint8_t* alpha, int count, const BlendInfo& b) {
    constexpr int RedShift = std::countr_zero(F::Red);
    auto* dst = reinterpret_cast<uint16_t*>(dstBytes);
    auto* read = reinterpret_cast<const uint16_t*>(readBytes);
    auto* src = reinterpret_cast<const uint16_t*>(srcBytes);
    const __m128i five = _mm_set1_epi16(0x1F), green = _mm_set1_epi16(int16_t(F::Green >> 5));
    const __m128i amount = _mm_set1_epi16(int16_t(b.amount));
    const __m128i flat = _mm_set1_epi16(int16_t(Widen(uint32_t(b.amount))));
    const __m128i half = _mm_set1_epi16(128), key = _mm_set1_epi16(int16_t(b.key));
    const __m128i tints[3] = {_mm_set1_epi16(int16_t(b.tint[0])), _mm_set1_epi16(int16_t(b.tint[1])),
                              _mm_set1_epi16(int16_t(b.tint[2]))};
    const __m128i spare = _mm_set1_epi16(int16_t(F::Spare));
    // A key beyond 16 bits matches no 16-bit pixel.
    const bool keyFits = b.key <= 0xFFFF;
    int x = 0;
    for (; x + 8 <= count; x += 8) {
        if (HasAlpha && Clear(alpha + x, 8)) continue;
        __m128i s = Load(src + x), d = Load(read + x);
        __m128i w = Weights<HasAlpha>(alpha + x, amount, flat, 8);
        const __m128i sc[3] = {_mm_and_si128(_mm_srli_epi16(s, RedShift), five),
                               _mm_and_si128(_mm_srli_epi16(s, 5), green), _mm_and_si128(s, five)};
        const __m128i dc[3] = {_mm_and_si128(_mm_srli_epi16(d, RedShift), five),
                               _mm_and_si128(_mm_srli_epi16(d, 5), green), _mm_and_si128(d, five)};
        const __m128i tops[3] = {five, green, five};
        __m128i ch[3];
        for (int i = 0; i < 3; ++i) {
            __m128i c = sc[i];
            if constexpr (Tinted) c = _mm_srli_epi16(_mm_add_epi16(_mm_mullo_epi16(c, tints[i]), half), 8);
            ch[i] = BlendLanes<Mode>(c, dc[i], w, tops[i]);
        }
        __m128i out = _mm_or_si128(_mm_or_si128(_mm_slli_epi16(ch[0], RedShift), _mm_slli_epi16(ch[1], 5)), ch[2]);
        if constexpr (Mode == BlendAlpha && F::Spare != 0) {
            __m128i whole = _mm_cmpeq_epi16(w, _mm_set1_epi16(256));
            out = _mm_or_si128(out, _mm_and_si128(whole, _mm_and_si128(s, spare)));
        }
        __m128i keep = _mm_cmpeq_epi16(w, _mm_setzero_si128());
        if (Keyed && keyFits) keep = _mm_or_si128(keep, _mm_cmpeq_epi16(s, key));
        Store(dst + x, Select(keep, d, out));
    }
    ReferenceSpan<F, Mode, Keyed, HasAlpha, Tinted>(
        dstBytes + 2 * x, readBytes + 2 * x, srcBytes + 2 * x, HasAlpha ? alpha + x : alpha,
        count - x, b);
}

// The fast span of a format and mode; 16-bit multiply keeps the scalar
// loop (its division by 31 or 63 has no exact 16-bit reciprocal).
// The commonest fades and glows, an opaque untinted graph at half weight
// or added (subtracted) whole, need no products: half weight is the
// rounded-up mean of each channel, whole weight a saturating byte sum.
// 32-bit pixels four a step, 16-bit ones eight.
template <typename F, int Mode, bool Keyed>
void Shortcut(uint8_t* dstBytes, const uint8_t* readBytes, const uint8_t* srcBytes, int count,
              const BlendInfo& b) {
    using Pixel = typename F::Pixel;
    constexpr int Step = 16 / sizeof(Pixel);
    constexpr uint32_t Colour = F::Red | F::Green | F::Blue;
    // Each channel's lowest bit, kept out of the halved difference.
    constexpr uint32_t Low = (F::Red & ~(F::Red << 1)) | (F::Green & ~(F::Green << 1)) | 1u;
    auto* dst = reinterpret_cast<Pixel*>(dstBytes);
    auto* read = reinterpret_cast<const Pixel*>(readBytes);
    auto* src = reinterpret_cast<const Pixel*>(srcBytes);
    const bool wide = sizeof(Pixel) == 4;
    const __m128i colour = wide ? _mm_set1_epi32(int32_t(Colour)) : _mm_set1_epi16(int16_t(Colour));
    const __m128i halves = _mm_set1_epi16(int16_t(Colour & ~Low));
    const __m128i key = wide ? _mm_set1_epi32(int32_t(b.key)) : _mm_set1_epi16(int16_t(b.key));
    const bool keyFits = wide || b.key <= 0xFFFF;
    int x = 0;
    for (; x + Step <= count; x += Step) {
        __m128i s = Load(src + x), d = Load(read + x), out;
        if constexpr (Mode == BlendAlpha) {
            if (wide) {
                out = _mm_avg_epu8(s, d);
            } else {
                __m128i differ = _mm_and_si128(_mm_xor_si128(s, d), halves);
                out = _mm_sub_epi16(_mm_or_si128(s, d), _mm_srli_epi16(differ, 1));
            }
        } else {
            out = Mode == BlendAdd ? _mm_adds_epu8(d, s) : _mm_subs_epu8(d, s);
        }
        out = _mm_and_si128(out, colour);
        if (Keyed && keyFits) {
            __m128i hits = wide ? _mm_cmpeq_epi32(s, key) : _mm_cmpeq_epi16(s, key);
            out = Select(hits, d, out);
        }
        Store(dst + x, out);
    }
    ReferenceSpan<F, Mode, Keyed, false, false>(dstBytes + sizeof(Pixel) * x,
                                                readBytes + sizeof(Pixel) * x,
                                                srcBytes + sizeof(Pixel) * x, nullptr, count - x, b);
}

template <typename F, int Mode, bool Keyed, bool HasAlpha, bool Tinted>
void Span(uint8_t* dst, const uint8_t* read, const uint8_t* src, const uint8_t* alpha, int count,
          const BlendInfo& b) {
    if constexpr (!HasAlpha && !Tinted && Mode != BlendMultiply) {
        // Byte sums are whole channels only on 32-bit screens.
        bool bytes = std::is_same_v<F, Format32>;
        if ((Mode == BlendAlpha && b.amount == 128) || (bytes && Mode != BlendAlpha && b.amount == 255))
            return Shortcut<F, Mode, Keyed>(dst, read, src, count, b);
    }
    if constexpr (std::is_same_v<F, Format32>)
        Fast32<Mode, Keyed, HasAlpha, Tinted>(dst, read, src, alpha, count, b);
    else if constexpr (Mode == BlendMultiply)
        ReferenceSpan<F, Mode, Keyed, HasAlpha, Tinted>(dst, read, src, alpha, count, b);
    else
        Fast16<F, Mode, Keyed, HasAlpha, Tinted>(dst, read, src, alpha, count, b);
}

// Palette indices cannot be mixed: an 8-bit screen copies, keyed or not.
template <bool Keyed>
void CopySpan8(uint8_t* dst, const uint8_t*, const uint8_t* src, const uint8_t*, int count,
               const BlendInfo& b) {
    for (int x = 0; x < count; ++x)
        if (!Keyed || src[x] != b.key) dst[x] = src[x];
}

// The two families of spans, as types for the choosers below.
template <typename F, int Mode, bool Keyed, bool HasAlpha, bool Tinted>
struct FastSpans {
    static constexpr BlendSpan Run = Span<F, Mode, Keyed, HasAlpha, Tinted>;
};
template <typename F, int Mode, bool Keyed, bool HasAlpha, bool Tinted>
struct ReferenceSpans {
    static constexpr BlendSpan Run = ReferenceSpan<F, Mode, Keyed, HasAlpha, Tinted>;
};

template <template <typename, int, bool, bool, bool> class S, typename F, int Mode, bool Keyed,
          bool HasAlpha>
BlendSpan PickTint(int tinted) {
    return tinted ? S<F, Mode, Keyed, HasAlpha, true>::Run : S<F, Mode, Keyed, HasAlpha, false>::Run;
}

template <template <typename, int, bool, bool, bool> class S, typename F, int Mode>
BlendSpan PickKeyAlpha(int keyed, int alpha, int tinted) {
    if (keyed)
        return alpha ? PickTint<S, F, Mode, true, true>(tinted) : PickTint<S, F, Mode, true, false>(tinted);
    return alpha ? PickTint<S, F, Mode, false, true>(tinted) : PickTint<S, F, Mode, false, false>(tinted);
}

template <template <typename, int, bool, bool, bool> class S, typename F>
BlendSpan PickMode(const BlendInfo& b, int keyed, int alpha) {
    switch (b.mode) {
    case BlendAdd: return PickKeyAlpha<S, F, BlendAdd>(keyed, alpha, b.tinted);
    case BlendMultiply: return PickKeyAlpha<S, F, BlendMultiply>(keyed, alpha, b.tinted);
    case BlendSubtract: return PickKeyAlpha<S, F, BlendSubtract>(keyed, alpha, b.tinted);
    default: return PickKeyAlpha<S, F, BlendAlpha>(keyed, alpha, b.tinted);
    }
}

template <template <typename, int, bool, bool, bool> class S>
BlendSpan Choose(BlitFormat format, const BlendInfo& blend, int keyed, int alpha) {
    switch (format) {
    case BlitFormat565: return PickMode<S, Format565>(blend, keyed, alpha);
    case BlitFormat555: return PickMode<S, Format555>(blend, keyed, alpha);
    case BlitFormat32: return PickMode<S, Format32>(blend, keyed, alpha);
    case BlitFormat8: return keyed ? CopySpan8<true> : CopySpan8<false>;
    default: return nullptr;
    }
}

}  // namespace

int CurrentBlend(BlitFormat format, int force, BlendInfo* blend) {
    *blend = BlendInfo{};
    uint32_t tint = gDraw.colourModulation;
    blend->mode = gDraw.blendMode == BlendNone ? BlendAlpha : gDraw.blendMode;
    blend->amount = gDraw.blendMode == BlendNone ? 255 : gDraw.blendParam;
    for (int i = 0; i < 3; ++i) {
        uint32_t t = tint >> (16 - 8 * i) & 0xFF;
        blend->tint[i] = int(Widen(t));
    }
    blend->tinted = (tint & 0xFFFFFF) != 0xFFFFFF;
    if (format == BlitFormat8) return force;
    if (format != BlitFormat565 && format != BlitFormat555 && format != BlitFormat32) return 0;
    return force || gDraw.blendMode != BlendNone || blend->tinted;
}

BlendSpan ChooseBlendSpan(BlitFormat format, const BlendInfo& blend, int keyed, int alpha) {
    return Choose<FastSpans>(format, blend, keyed, alpha);
}

BlendSpan ChooseBlendReferenceSpan(BlitFormat format, const BlendInfo& blend, int keyed,
                                   int alpha) {
    return Choose<ReferenceSpans>(format, blend, keyed, alpha);
}

void BlendRows(const BlitInfo& info) {
    // Mirrored rows are turned round a chunk at a time into these.
    constexpr int Chunk = 256;
    alignas(16) uint8_t pixels[Chunk * 4];
    uint8_t alphas[Chunk];
    for (int y = 0; y < info.height; ++y) {
        uint8_t* dst = info.dst + std::ptrdiff_t(y) * info.dstPitch;
        const uint8_t* read = info.dstRead + std::ptrdiff_t(y) * info.dstReadPitch;
        const uint8_t* src = info.src + std::ptrdiff_t(y) * info.srcPitch;
        const uint8_t* alpha = info.alpha ? info.alpha + std::ptrdiff_t(y) * info.alphaPitch : nullptr;
        if (!info.mirrored) {
            info.span(dst, read, src, alpha, info.width, *info.blend);
            continue;
        }
        int size = info.pixelBytes;
        for (int x = 0; x < info.width; x += Chunk) {
            int n = std::min(Chunk, info.width - x);
            for (int i = 0; i < n; ++i) {
                std::memcpy(pixels + i * size, src - std::ptrdiff_t(x + i) * size, size_t(size));
                if (alpha) alphas[i] = alpha[-std::ptrdiff_t(x + i)];
            }
            info.span(dst + std::ptrdiff_t(x) * size, read + std::ptrdiff_t(x) * size, pixels,
                      alpha ? alphas : nullptr, n, *info.blend);
        }
    }
}
