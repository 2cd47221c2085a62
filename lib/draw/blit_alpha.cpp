// Mixing a graph's alpha plane into 16- and 32-bit screens.
//
// The mix adds each channel's weighted difference to the whole destination
// pixel, so a carry out of the lower channels' bits can reach the channel
// above: result_ch = (d + ((S_ch - D_ch) * a >> 8)) & mask_ch, with 32-bit
// products shifted logically. The fast loops reach the same bits in 16-bit
// lanes: for a 16-bit pixel everything above bit 15 is thrown away anyway,
// and for a 32-bit pixel each channel's sum is known to stay within 0..65535
// (see Mix32Lanes), so arithmetic modulo 2^16 loses nothing.
#include "draw/blit.h"

#include <emmintrin.h>

#include <cstdint>
#include <cstring>

namespace {

// --- the reference --------------------------------------------------------------

inline uint32_t MixChannel(uint32_t s, uint32_t d, uint32_t a, uint32_t mask) {
    return (d + (((s & mask) - (d & mask)) * a >> 8)) & mask;
}

template <typename Pixel, uint32_t R, uint32_t G, uint32_t B>
inline Pixel MixPixel(uint32_t s, uint32_t d, uint32_t a) {
    return Pixel(MixChannel(s, d, a, R) | MixChannel(s, d, a, G) | MixChannel(s, d, a, B));
}

template <typename Pixel, uint32_t R, uint32_t G, uint32_t B, bool Keyed>
inline void MixOne(Pixel* dst, Pixel s, Pixel d, uint32_t a, uint32_t key) {
    if (Keyed && s == key) return;
    if (a == 0) return;
    *dst = a == 255 ? s : MixPixel<Pixel, R, G, B>(s, d, a);
}

template <typename Pixel, uint32_t R, uint32_t G, uint32_t B, bool Keyed>
void AlphaReference(const BlitInfo& b) {
    uint8_t* dstRow = b.dst;
    const uint8_t* readRow = b.dstRead;
    const uint8_t* srcRow = b.src;
    const uint8_t* alphaRow = b.alpha;
    for (int y = 0; y < b.height; ++y) {
        auto* dst = reinterpret_cast<Pixel*>(dstRow);
        auto* read = reinterpret_cast<const Pixel*>(readRow);
        auto* src = reinterpret_cast<const Pixel*>(srcRow);
        for (int x = 0; x < b.width; ++x)
            MixOne<Pixel, R, G, B, Keyed>(dst + x, src[x], read[x], alphaRow[x], b.key);
        dstRow += b.dstPitch;
        readRow += b.dstReadPitch;
        srcRow += b.srcPitch;
        alphaRow += b.alphaPitch;
    }
}

// --- 16-bit lanes -----------------------------------------------------------------

// Eight 16-bit pixels mixed with eight alphas (0..255 in 16-bit lanes).
// With q = (s_ch - d_ch) * a in channel units (it fits in 16 bits), the
// in-place product of a channel at bit `shift` shifted down by 8 is q moved
// by shift - 8: 5:6:5 red q << 3, 5:5:5 red q << 2, green q >> 3, blue q >> 8.
template <int RedShift, uint16_t RedMask, uint16_t GreenMask>
inline __m128i Mix16Lanes(__m128i s, __m128i d, __m128i a) {
    const __m128i redBits = _mm_set1_epi16(RedMask >> RedShift);
    const __m128i greenBits = _mm_set1_epi16(GreenMask >> 5);
    const __m128i blueBits = _mm_set1_epi16(0x1F);

    __m128i sr = _mm_srli_epi16(s, RedShift), dr = _mm_srli_epi16(d, RedShift);
    if constexpr (RedShift + 5 < 16) {  // 5:5:5 has a spare top bit
        sr = _mm_and_si128(sr, redBits);
        dr = _mm_and_si128(dr, redBits);
    }
    __m128i sg = _mm_and_si128(_mm_srli_epi16(s, 5), greenBits);
    __m128i dg = _mm_and_si128(_mm_srli_epi16(d, 5), greenBits);
    __m128i sb = _mm_and_si128(s, blueBits);
    __m128i db = _mm_and_si128(d, blueBits);

    __m128i tr = _mm_slli_epi16(_mm_mullo_epi16(_mm_sub_epi16(sr, dr), a), RedShift - 8);
    __m128i tg = _mm_srai_epi16(_mm_mullo_epi16(_mm_sub_epi16(sg, dg), a), 3);
    __m128i tb = _mm_srai_epi16(_mm_mullo_epi16(_mm_sub_epi16(sb, db), a), 8);

    __m128i r = _mm_and_si128(_mm_add_epi16(d, tr), _mm_set1_epi16(int16_t(RedMask)));
    __m128i g = _mm_and_si128(_mm_add_epi16(d, tg), _mm_set1_epi16(GreenMask));
    __m128i bl = _mm_and_si128(_mm_add_epi16(d, tb), blueBits);
    return _mm_or_si128(_mm_or_si128(r, g), bl);
}

// a = 255 takes the source, a = 0 and keyed pixels keep the destination.
inline __m128i Select(__m128i mixed, __m128i s, __m128i d, __m128i takeSource,
                      __m128i keepDest) {
    __m128i v = _mm_or_si128(_mm_and_si128(takeSource, s), _mm_andnot_si128(takeSource, mixed));
    return _mm_or_si128(_mm_and_si128(keepDest, d), _mm_andnot_si128(keepDest, v));
}

inline __m128i Load(const void* p) { return _mm_loadu_si128(static_cast<const __m128i*>(p)); }
inline void Store(void* p, __m128i v) { _mm_storeu_si128(static_cast<__m128i*>(p), v); }

// The 16-bit formats: eight pixels a vector, their alphas in 16-bit lanes.
template <int RedShift, uint16_t RedMask, uint16_t GreenMask>
struct Lanes16 {
    using Pixel = uint16_t;
    static constexpr int Count = 8;
    static __m128i Alphas(__m128i alphas, int i) {
        return i ? _mm_unpackhi_epi8(alphas, _mm_setzero_si128())
                 : _mm_unpacklo_epi8(alphas, _mm_setzero_si128());
    }
    static __m128i KeyHits(__m128i s, uint32_t key) {
        return _mm_cmpeq_epi16(s, _mm_set1_epi16(int16_t(key)));
    }
    static __m128i Mix(__m128i s, __m128i d, __m128i a, __m128i keyHits) {
        __m128i keep = _mm_or_si128(_mm_cmpeq_epi16(a, _mm_setzero_si128()), keyHits);
        __m128i take = _mm_cmpeq_epi16(a, _mm_set1_epi16(255));
        return Select(Mix16Lanes<RedShift, RedMask, GreenMask>(s, d, a), s, d, take, keep);
    }
};

// --- 32-bit pixels ------------------------------------------------------------------

// Four 32-bit pixels, their alphas in both 16-bit halves of each lane.
// Splitting d into its bytes, the mixed channel X becomes
//   X' = (d_X * 256 + c + (s_X - d_X) * a) >> 8
// where c is d's channel below X (d_blue for green, d_green for red, 0 for
// blue): the carry of the whole-pixel addition. The sum lies in 0..65535, so
// a 16-bit lane holds it exactly once the product's low half is added. Blue
// and red share one vector of lanes, green and the unused top byte another;
// d_X * 256 + c is then d itself for green and d << 8 for blue and red.
inline __m128i Mix32Lanes(__m128i s, __m128i d, __m128i a) {
    const __m128i lowBytes = _mm_set1_epi16(0x00FF);
    __m128i sBlueRed = _mm_and_si128(s, lowBytes), dBlueRed = _mm_and_si128(d, lowBytes);
    __m128i sGreenTop = _mm_srli_epi16(s, 8), dGreenTop = _mm_srli_epi16(d, 8);
    __m128i blueRed = _mm_add_epi16(_mm_slli_epi32(d, 8),
                                    _mm_mullo_epi16(_mm_sub_epi16(sBlueRed, dBlueRed), a));
    __m128i greenTop = _mm_add_epi16(d, _mm_mullo_epi16(_mm_sub_epi16(sGreenTop, dGreenTop), a));
    return _mm_or_si128(_mm_srli_epi16(blueRed, 8),
                        _mm_and_si128(greenTop, _mm_set1_epi32(0x0000FF00)));
}

// 32-bit pixels: four a vector, each one's alpha in all four bytes of its lane.
struct Lanes32 {
    using Pixel = uint32_t;
    static constexpr int Count = 4;
    static __m128i Alphas(__m128i alphas, int i) {
        __m128i pairs =
            i < 2 ? _mm_unpacklo_epi8(alphas, alphas) : _mm_unpackhi_epi8(alphas, alphas);
        return i % 2 ? _mm_unpackhi_epi16(pairs, pairs) : _mm_unpacklo_epi16(pairs, pairs);
    }
    static __m128i KeyHits(__m128i s, uint32_t key) {
        return _mm_cmpeq_epi32(s, _mm_set1_epi32(int32_t(key)));
    }
    static __m128i Mix(__m128i s, __m128i d, __m128i quads, __m128i keyHits) {
        __m128i keep = _mm_or_si128(_mm_cmpeq_epi32(quads, _mm_setzero_si128()), keyHits);
        __m128i take = _mm_cmpeq_epi32(quads, _mm_set1_epi32(-1));
        __m128i a = _mm_and_si128(quads, _mm_set1_epi16(0x00FF));
        return Select(Mix32Lanes(s, d, a), s, d, take, keep);
    }
};

// Sixteen pixels at a time. Sprites are mostly wholly clear or wholly solid:
// a vector of such pixels is settled by its alpha bytes alone, without mixing.
template <typename Lanes, uint32_t R, uint32_t G, uint32_t B, bool Keyed>
void AlphaFast(const BlitInfo& b) {
    using Pixel = typename Lanes::Pixel;
    constexpr int Count = Lanes::Count;
    constexpr unsigned Part = (1u << Count) - 1;
    const __m128i zero = _mm_setzero_si128(), ones = _mm_set1_epi8(-1);
    uint8_t* dstRow = b.dst;
    const uint8_t* readRow = b.dstRead;
    const uint8_t* srcRow = b.src;
    const uint8_t* alphaRow = b.alpha;
    for (int y = 0; y < b.height; ++y) {
        auto* dst = reinterpret_cast<Pixel*>(dstRow);
        auto* read = reinterpret_cast<const Pixel*>(readRow);
        auto* src = reinterpret_cast<const Pixel*>(srcRow);
        int x = 0;
        for (; x + 16 <= b.width; x += 16) {
            __m128i alphas = Load(alphaRow + x);
            unsigned clear = unsigned(_mm_movemask_epi8(_mm_cmpeq_epi8(alphas, zero)));
            if (clear == 0xFFFF) continue;
            unsigned solid = unsigned(_mm_movemask_epi8(_mm_cmpeq_epi8(alphas, ones)));
            if (!Keyed && solid == 0xFFFF) {
                for (int i = 0; i < 16 / Count; ++i)
                    Store(dst + x + i * Count, Load(src + x + i * Count));
                continue;
            }
            for (int i = 0; i < 16 / Count; ++i) {
                int at = x + i * Count;
                if ((clear >> (i * Count) & Part) == Part) continue;
                __m128i s = Load(src + at);
                __m128i hits = Keyed ? Lanes::KeyHits(s, b.key) : zero;
                if ((solid >> (i * Count) & Part) == Part && (!Keyed || !_mm_movemask_epi8(hits))) {
                    Store(dst + at, s);
                    continue;
                }
                Store(dst + at, Lanes::Mix(s, Load(read + at), Lanes::Alphas(alphas, i), hits));
            }
        }
        for (; x < b.width; ++x)
            MixOne<Pixel, R, G, B, Keyed>(dst + x, src[x], read[x], alphaRow[x], b.key);
        dstRow += b.dstPitch;
        readRow += b.dstReadPitch;
        srcRow += b.srcPitch;
        alphaRow += b.alphaPitch;
    }
}

template <uint32_t R, uint32_t G, int RedShift, bool Keyed>
void Alpha16(const BlitInfo& b) {
    AlphaFast<Lanes16<RedShift, uint16_t(R), uint16_t(G)>, R, G, 0x001F, Keyed>(b);
}

template <bool Keyed>
void Alpha32(const BlitInfo& b) {
    AlphaFast<Lanes32, 0xFF0000, 0xFF00, 0xFF, Keyed>(b);
}

}  // namespace

BlitLoop ChooseAlphaLoop(BlitFormat format, int keyed) {
    switch (format) {
    case BlitFormat565:
        return keyed ? Alpha16<0xF800, 0x07E0, 11, true> : Alpha16<0xF800, 0x07E0, 11, false>;
    case BlitFormat555:
        return keyed ? Alpha16<0x7C00, 0x03E0, 10, true> : Alpha16<0x7C00, 0x03E0, 10, false>;
    case BlitFormat32:
        return keyed ? Alpha32<true> : Alpha32<false>;
    default:
        return nullptr;
    }
}

BlitLoop ChooseAlphaReferenceLoop(BlitFormat format, int keyed) {
    switch (format) {
    case BlitFormat565:
        return keyed ? AlphaReference<uint16_t, 0xF800, 0x07E0, 0x001F, true>
                     : AlphaReference<uint16_t, 0xF800, 0x07E0, 0x001F, false>;
    case BlitFormat555:
        return keyed ? AlphaReference<uint16_t, 0x7C00, 0x03E0, 0x001F, true>
                     : AlphaReference<uint16_t, 0x7C00, 0x03E0, 0x001F, false>;
    case BlitFormat32:
        return keyed ? AlphaReference<uint32_t, 0xFF0000, 0xFF00, 0xFF, true>
                     : AlphaReference<uint32_t, 0xFF0000, 0xFF00, 0xFF, false>;
    default:
        return nullptr;
    }
}
