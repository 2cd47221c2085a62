// The rotated blitter's alpha mix over a run of gathered source pixels.
//
// The walk gathers the samples of a row (scattered over the source when the
// graph is turned) into a small buffer; the mix itself is then the same for
// every pixel and runs four (32-bit) or eight (16-bit) at a time. Each
// channel on its own, shifted down to bit 0, becomes
//   (s_ch * a + d_ch * (256 - a)) >> 8,
// whose sum stays below 256 * 256 for 8-bit channels, so 16-bit lanes hold
// it exactly. a = 255 takes the whole source pixel, a = 0 and keyed source
// pixels keep the destination.
#include "draw/blit.h"

#include <emmintrin.h>

#include <bit>
#include <cstring>

namespace {

inline __m128i Load(const void* p) { return _mm_loadu_si128(static_cast<const __m128i*>(p)); }
inline void Store(void* p, __m128i v) { _mm_storeu_si128(static_cast<__m128i*>(p), v); }

inline __m128i Select(__m128i mixed, __m128i s, __m128i d, __m128i takeSource,
                      __m128i keepDest) {
    __m128i v = _mm_or_si128(_mm_and_si128(takeSource, s), _mm_andnot_si128(takeSource, mixed));
    return _mm_or_si128(_mm_and_si128(keepDest, d), _mm_andnot_si128(keepDest, v));
}

// The scalar mix, for the pixels after the last whole vector.
template <uint32_t Mask>
inline uint32_t MixChannel(uint32_t s, uint32_t d, uint32_t a) {
    constexpr int shift = std::countr_zero(Mask);
    uint32_t sc = (s & Mask) >> shift, dc = (d & Mask) >> shift;
    return ((sc * a + dc * (256 - a)) >> 8) << shift;
}

template <typename Pixel, uint32_t R, uint32_t G, uint32_t B>
inline void MixOne(Pixel* dst, Pixel s, uint32_t a, int keyed, uint32_t key) {
    if (keyed && s == key) return;
    if (a == 0) return;
    uint32_t d = *dst;
    *dst = a == 255 ? s
                    : Pixel(MixChannel<R>(s, d, a) | MixChannel<G>(s, d, a) |
                            MixChannel<B>(s, d, a));
}

// One 8-bit-channel lane group: (s * a + d * (256 - a)) >> 8 on 16-bit lanes.
inline __m128i Weigh(__m128i s, __m128i d, __m128i a, __m128i rest) {
    return _mm_srli_epi16(_mm_add_epi16(_mm_mullo_epi16(s, a), _mm_mullo_epi16(d, rest)), 8);
}

void Mix32(uint32_t* dst, const uint32_t* src, const uint8_t* alpha, int count, int keyed,
           uint32_t key) {
    const __m128i zero = _mm_setzero_si128(), full = _mm_set1_epi16(256);
    const __m128i keyVector = _mm_set1_epi32(int32_t(key)), colour = _mm_set1_epi32(0x00FFFFFF);
    int x = 0;
    for (; x + 4 <= count; x += 4) {
        uint32_t quad;
        std::memcpy(&quad, alpha + x, 4);
        __m128i s = Load(src + x), d = Load(dst + x);
        __m128i bytes = _mm_cvtsi32_si128(int32_t(quad));
        __m128i pairs = _mm_unpacklo_epi8(bytes, bytes);         // a0 a0 a1 a1 ...
        __m128i quads = _mm_unpacklo_epi16(pairs, pairs);        // each alpha in 4 bytes
        __m128i aLow = _mm_unpacklo_epi8(quads, zero), aHigh = _mm_unpackhi_epi8(quads, zero);
        __m128i low = Weigh(_mm_unpacklo_epi8(s, zero), _mm_unpacklo_epi8(d, zero), aLow,
                            _mm_sub_epi16(full, aLow));
        __m128i high = Weigh(_mm_unpackhi_epi8(s, zero), _mm_unpackhi_epi8(d, zero), aHigh,
                             _mm_sub_epi16(full, aHigh));
        __m128i mixed = _mm_and_si128(_mm_packus_epi16(low, high), colour);
        __m128i keep = _mm_cmpeq_epi32(quads, zero);
        if (keyed) keep = _mm_or_si128(keep, _mm_cmpeq_epi32(s, keyVector));
        __m128i take = _mm_cmpeq_epi32(quads, _mm_set1_epi32(-1));
        Store(dst + x, Select(mixed, s, d, take, keep));
    }
    for (; x < count; ++x)
        MixOne<uint32_t, 0xFF0000, 0xFF00, 0xFF>(dst + x, src[x], alpha[x], keyed, key);
}

// 16-bit pixels with red at RedShift (11 for 5:6:5, 10 for 5:5:5).
template <int RedShift, uint32_t R, uint32_t G>
void Mix16(uint16_t* dst, const uint16_t* src, const uint8_t* alpha, int count, int keyed,
           uint32_t key) {
    const __m128i zero = _mm_setzero_si128(), full = _mm_set1_epi16(256);
    const __m128i five = _mm_set1_epi16(0x1F), green = _mm_set1_epi16(int16_t(G >> 5));
    const __m128i keyVector = _mm_set1_epi16(int16_t(key));
    // A key beyond 16 bits matches no 16-bit pixel.
    int keyedLanes = keyed && key <= 0xFFFF;
    int x = 0;
    for (; x + 8 <= count; x += 8) {
        __m128i s = Load(src + x), d = Load(dst + x);
        __m128i a = _mm_unpacklo_epi8(_mm_loadl_epi64(reinterpret_cast<const __m128i*>(alpha + x)),
                                      zero);
        __m128i rest = _mm_sub_epi16(full, a);
        __m128i r = Weigh(_mm_and_si128(_mm_srli_epi16(s, RedShift), five),
                          _mm_and_si128(_mm_srli_epi16(d, RedShift), five), a, rest);
        __m128i g = Weigh(_mm_and_si128(_mm_srli_epi16(s, 5), green),
                          _mm_and_si128(_mm_srli_epi16(d, 5), green), a, rest);
        __m128i b = Weigh(_mm_and_si128(s, five), _mm_and_si128(d, five), a, rest);
        __m128i mixed = _mm_or_si128(_mm_or_si128(_mm_slli_epi16(r, RedShift), _mm_slli_epi16(g, 5)), b);
        __m128i keep = _mm_cmpeq_epi16(a, zero);
        if (keyedLanes) keep = _mm_or_si128(keep, _mm_cmpeq_epi16(s, keyVector));
        __m128i take = _mm_cmpeq_epi16(a, _mm_set1_epi16(255));
        Store(dst + x, Select(mixed, s, d, take, keep));
    }
    for (; x < count; ++x)
        MixOne<uint16_t, R, G, 0x1F>(dst + x, src[x], alpha[x], keyed, key);
}

}  // namespace

void MixRotaRun(BlitFormat format, uint8_t* dst, const void* src, const uint8_t* alpha,
                int count, int keyed, uint32_t key) {
    switch (format) {
    case BlitFormat565:
        Mix16<11, 0xF800, 0x07E0>(reinterpret_cast<uint16_t*>(dst),
                                  static_cast<const uint16_t*>(src), alpha, count, keyed, key);
        break;
    case BlitFormat555:
        Mix16<10, 0x7C00, 0x03E0>(reinterpret_cast<uint16_t*>(dst),
                                  static_cast<const uint16_t*>(src), alpha, count, keyed, key);
        break;
    case BlitFormat32:
        Mix32(reinterpret_cast<uint32_t*>(dst), static_cast<const uint32_t*>(src), alpha, count,
              keyed, key);
        break;
    default:
        break;
    }
}
