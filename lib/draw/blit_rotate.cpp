// DrawRotaGraph: a graph turned and scaled about a centre point, sampled at
// the nearest source pixel.
//
// The walk runs over the bounding box of the turned graph in 14.18 fixed
// point, two additions a pixel. A destination pixel is drawn when its source
// position lies inside the graph; the fast loops work out, once a row, the
// run of columns for which that holds, and walk only that run without a test.
#include "draw/blit.h"

#include "core/core.h"
#include "draw/draw_path.h"
#include "draw/screen.h"
#include "graphics/graph.h"
#include "graphics/movie_hook.h"
#include "platform/pixels/surface.h"

#include <emmintrin.h>

#include <algorithm>
#include <bit>
#include <cmath>
#include <cstring>

namespace {

constexpr double FixedOne = 262144.0;  // 2^18
constexpr int32_t FixedFraction = 0x3FFFF;

// 32-bit arithmetic with wrap-around, as the fixed-point format is defined.
inline int32_t Add(int32_t a, int32_t b) { return int32_t(uint32_t(a) + uint32_t(b)); }
inline int32_t Sub(int32_t a, int32_t b) { return int32_t(uint32_t(a) - uint32_t(b)); }
inline int32_t Mul(int32_t a, int32_t b) { return int32_t(uint32_t(a) * uint32_t(b)); }

// A double truncated toward zero; out of range (or NaN) it gives the
// processor's "integer indefinite" value, as the conversion instruction does.
int32_t Trunc(double value) {
    if (!(value > -2147483649.0 && value < 2147483648.0)) return INT32_MIN;
    return int32_t(value);
}

// A 14.18 value to a pixel index, rounded toward zero.
inline int ToPixel(int32_t fixed) { return (fixed < 0 ? fixed + FixedFraction : fixed) >> 18; }

// --- per-pixel operations -----------------------------------------------------------

// One channel weighed on its own: no carry passes between channels.
template <uint32_t Mask>
inline uint32_t MixChannel(uint32_t s, uint32_t d, uint32_t a) {
    constexpr int shift = std::countr_zero(Mask);
    uint32_t sc = (s & Mask) >> shift, dc = (d & Mask) >> shift;
    return ((sc * a + dc * (256 - a)) >> 8) << shift;
}

template <typename Pixel, uint32_t R, uint32_t G, uint32_t B, BlitFormat F>
struct Channels {
    using Type = Pixel;
    static constexpr BlitFormat Format = F;
    static Pixel Mix(uint32_t s, uint32_t d, uint32_t a) {
        return Pixel(MixChannel<R>(s, d, a) | MixChannel<G>(s, d, a) | MixChannel<B>(s, d, a));
    }
};

using Channels8 = Channels<uint8_t, 0, 0, 0, BlitFormat8>;
using Channels565 = Channels<uint16_t, 0xF800, 0x07E0, 0x001F, BlitFormat565>;
using Channels555 = Channels<uint16_t, 0x7C00, 0x03E0, 0x001F, BlitFormat555>;
using Channels32 = Channels<uint32_t, 0xFF0000, 0xFF00, 0xFF, BlitFormat32>;

// Draws source pixel (tu, tv) onto `dst`.
template <typename Format, bool Alpha, bool Keyed>
inline void Plot(const RotaInfo& r, typename Format::Type* dst, int tu, int tv) {
    using Pixel = typename Format::Type;
    Pixel s = reinterpret_cast<const Pixel*>(r.src + std::ptrdiff_t(tv) * r.srcPitch)[tu];
    if (Keyed && s == r.key) return;
    if constexpr (Alpha) {
        uint32_t a = r.alpha[std::ptrdiff_t(tv) * r.alphaPitch + tu];
        if (a == 0) return;
        *dst = a == 255 ? s : Format::Mix(s, *dst, a);
    } else {
        *dst = s;
    }
}

// --- the reference: every pixel of the box tested ---------------------------------

template <typename Format, bool Alpha, bool Keyed>
void WalkRowChecked(const RotaInfo& r, typename Format::Type* dst, int32_t u, int32_t v) {
    for (int c = 0; c < r.width; ++c, u = Add(u, r.dudx), v = Add(v, r.dvdx)) {
        int tu = ToPixel(u), tv = ToPixel(v);
        if (tu >= 0 && tu < r.srcWidth && tv >= 0 && tv < r.srcHeight)
            Plot<Format, Alpha, Keyed>(r, dst + c, tu, tv);
    }
}

template <typename Format, bool Alpha, bool Keyed>
void RotaReference(const RotaInfo& r) {
    using Pixel = typename Format::Type;
    int32_t u = r.u, v = r.v;
    for (int row = 0; row < r.height; ++row, u = Add(u, r.dudy), v = Add(v, r.dvdy))
        WalkRowChecked<Format, Alpha, Keyed>(
            r, reinterpret_cast<Pixel*>(r.dst + std::ptrdiff_t(row) * r.dstPitch), u, v);
}

// --- the fast loops: the drawn run of each row found first --------------------------

// One coordinate's walk along a row: start + c * step at column c.
struct Line {
    int64_t step;    // per column, made positive (the bounds are mirrored to match)
    double inverse;  // 1 / step, for a first guess without dividing
    bool mirrored;   // the walk decreases
};

Line MakeLine(int32_t step) {
    int64_t magnitude = step < 0 ? -int64_t(step) : int64_t(step);
    return Line{magnitude, magnitude ? 1.0 / double(magnitude) : 0.0, step < 0};
}

// The first c in [0, n] at which start + c * step reaches `bound` (> bound
// when `strictly`, else >= bound), for step > 0. The quotient from the
// inverse, truncated, is at most a column or two off, and is then corrected.
int FirstReaching(int64_t start, const Line& line, int64_t bound, bool strictly, int n) {
    auto reached = [&](int64_t c) {
        int64_t value = start + c * line.step;
        return strictly ? value > bound : value >= bound;
    };
    double quotient = double(bound - start) * line.inverse;
    int64_t c = quotient <= 0.0 ? 0 : quotient >= double(n) ? n : int64_t(quotient);
    while (c > 0 && reached(c - 1)) --c;
    while (c < n && !reached(c)) ++c;
    return int(c);
}

// The columns c in [0, n) with lo < start + c * step < hi, as [*first, *end),
// for a walk without wrap-around.
void InsideRun(int64_t start, const Line& line, int64_t lo, int64_t hi, int n, int* first,
               int* end) {
    if (line.mirrored) {
        start = -start;
        std::swap(lo, hi);
        lo = -lo;
        hi = -hi;
    }
    if (line.step == 0) {
        *first = 0;
        *end = lo < start && start < hi ? n : 0;
        return;
    }
    *first = FirstReaching(start, line, lo, true, n);
    *end = FirstReaching(start, line, hi, false, n);
}

// An unturned keyed run: a piece of one source row, key-coloured pixels left out.
template <typename Pixel>
void CopyKeyedRun(Pixel* dst, const Pixel* src, int count, uint32_t key) {
    for (int c = 0; c < count; ++c)
        if (src[c] != key) dst[c] = src[c];
}

// Four source positions inside a run as (column, row) pairs of 16-bit
// lanes, ready for _mm_madd_epi16 with (1, pitch): positions above -1 pixel
// floor at 0, as rounding toward zero takes them.
inline __m128i PixelPairs(__m128i us, __m128i vs) {
    __m128i tu = _mm_srai_epi32(_mm_andnot_si128(_mm_srai_epi32(us, 31), us), 18);
    __m128i tv = _mm_srai_epi32(_mm_andnot_si128(_mm_srai_epi32(vs, 31), vs), 18);
    return _mm_or_si128(tu, _mm_slli_epi32(tv, 16));
}

// The drawn run of a row with the alpha plane: the samples gathered a chunk
// at a time, then mixed together.
template <typename Format, bool Keyed>
void AlphaRun(const RotaInfo& r, typename Format::Type* dst, int count, int32_t u, int32_t v) {
    using Pixel = typename Format::Type;
    constexpr int Chunk = 64;
    Pixel samples[Chunk];
    uint8_t alphas[Chunk];
    // Held in locals: the byte stores below could otherwise alias them.
    const uint8_t* const src = r.src;
    const uint8_t* const alpha = r.alpha;
    const std::ptrdiff_t srcPitch = r.srcPitch, alphaPitch = r.alphaPitch;
    const int32_t dudx = r.dudx, dvdx = r.dvdx;
    // Four positions at a time when every index fits the 16-bit products.
    const bool wide = srcPitch % std::ptrdiff_t(sizeof(Pixel)) == 0 &&
                      srcPitch / std::ptrdiff_t(sizeof(Pixel)) < 32768 && alphaPitch < 32768 &&
                      r.srcWidth < 32768 && r.srcHeight < 32768;
    const auto* srcPixels = reinterpret_cast<const Pixel*>(src);
    const __m128i srcRow = _mm_set1_epi32(int32_t(1 | uint32_t(srcPitch / std::ptrdiff_t(sizeof(Pixel))) << 16));
    const __m128i alphaRow = _mm_set1_epi32(int32_t(1 | uint32_t(alphaPitch) << 16));
    const __m128i uStep = _mm_set1_epi32(Mul(dudx, 4)), vStep = _mm_set1_epi32(Mul(dvdx, 4));
    while (count > 0) {
        int n = std::min(count, Chunk);
        int i = 0;
        if (wide) {
            __m128i us = _mm_add_epi32(_mm_set1_epi32(u), _mm_set_epi32(Mul(dudx, 3), Mul(dudx, 2), dudx, 0));
            __m128i vs = _mm_add_epi32(_mm_set1_epi32(v), _mm_set_epi32(Mul(dvdx, 3), Mul(dvdx, 2), dvdx, 0));
            alignas(16) int32_t srcAt[4], alphaAt[4];
            for (; i + 4 <= n; i += 4) {
                __m128i pair = PixelPairs(us, vs);
                _mm_store_si128(reinterpret_cast<__m128i*>(srcAt), _mm_madd_epi16(pair, srcRow));
                _mm_store_si128(reinterpret_cast<__m128i*>(alphaAt), _mm_madd_epi16(pair, alphaRow));
                for (int k = 0; k < 4; ++k) {
                    samples[i + k] = srcPixels[srcAt[k]];
                    alphas[i + k] = alpha[alphaAt[k]];
                }
                us = _mm_add_epi32(us, uStep);
                vs = _mm_add_epi32(vs, vStep);
            }
            u += i * dudx;
            v += i * dvdx;
        }
        for (; i < n; ++i, u += dudx, v += dvdx) {
            // Inside the run u and v exceed -1 pixel, where rounding toward
            // zero is flooring at 0.
            std::ptrdiff_t tu = std::max(u, 0) >> 18, tv = std::max(v, 0) >> 18;
            samples[i] = reinterpret_cast<const Pixel*>(src + tv * srcPitch)[tu];
            alphas[i] = alpha[tv * alphaPitch + tu];
        }
        MixRotaRun(Format::Format, reinterpret_cast<uint8_t*>(dst), samples, alphas, n, Keyed,
                   r.key);
        dst += n;
        count -= n;
    }
}

template <typename Format, bool Alpha, bool Keyed>
void RotaFast(const RotaInfo& r) {
    using Pixel = typename Format::Type;
    const int64_t uHigh = int64_t(r.srcWidth) << 18, vHigh = int64_t(r.srcHeight) << 18;
    const int64_t low = -(int64_t(1) << 18);
    const int64_t last = r.width - 1;
    const bool unitStep = r.dudx == 1 << 18 && r.dvdx == 0;
    const Line uLine = MakeLine(r.dudx), vLine = MakeLine(r.dvdx);
    int32_t uRow = r.u, vRow = r.v;
    for (int row = 0; row < r.height; ++row, uRow = Add(uRow, r.dudy), vRow = Add(vRow, r.dvdy)) {
        auto* dst = reinterpret_cast<Pixel*>(r.dst + std::ptrdiff_t(row) * r.dstPitch);
        int64_t uEnd = uRow + last * r.dudx, vEnd = vRow + last * r.dvdx;
        // A row whose walk wraps around 32 bits keeps the plain walk.
        if (uEnd != int32_t(uEnd) || vEnd != int32_t(vEnd)) {
            WalkRowChecked<Format, Alpha, Keyed>(r, dst, uRow, vRow);
            continue;
        }
        int uFirst, uStop, vFirst, vStop;
        InsideRun(uRow, uLine, low, uHigh, r.width, &uFirst, &uStop);
        InsideRun(vRow, vLine, low, vHigh, r.width, &vFirst, &vStop);
        int first = std::max(uFirst, vFirst), stop = std::min(uStop, vStop);
        int32_t u = int32_t(uRow + int64_t(first) * r.dudx);
        int32_t v = int32_t(vRow + int64_t(first) * r.dvdx);
        if (!Alpha && unitStep && first < stop) {
            // Unturned at scale 1 the run is a piece of one source row. A
            // walk that starts less than a pixel before it samples pixel 0
            // twice: at u and at u + 1, both of which round to 0.
            int c = first, tv = ToPixel(v);
            if (u < 0) Plot<Format, false, Keyed>(r, dst + c++, 0, tv);
            auto* row = reinterpret_cast<const Pixel*>(r.src + std::ptrdiff_t(tv) * r.srcPitch);
            if (Keyed)
                CopyKeyedRun(dst + c, row + ToPixel(u), stop - c, r.key);
            else
                std::memcpy(dst + c, row + ToPixel(u), sizeof(Pixel) * size_t(stop - c));
            continue;
        }
        if constexpr (Alpha) {
            if (first < stop) AlphaRun<Format, Keyed>(r, dst + first, stop - first, u, v);
            continue;
        }
        for (int c = first; c < stop; ++c, u += r.dudx, v += r.dvdx)
            Plot<Format, Alpha, Keyed>(r, dst + c, ToPixel(u), ToPixel(v));
    }
}

// The walk under the blend state: the drawn pixels of a row gathered into
// runs, each handed to the span chosen for the draw.
template <typename Pixel>
void RotaBlendWalk(const RotaInfo& r) {
    constexpr int Chunk = 64;
    Pixel samples[Chunk];
    uint8_t alphas[Chunk];
    const uint8_t* alphaOut = r.alpha ? alphas : nullptr;
    int32_t uRow = r.u, vRow = r.v;
    for (int row = 0; row < r.height; ++row, uRow = Add(uRow, r.dudy), vRow = Add(vRow, r.dvdy)) {
        auto* dst = reinterpret_cast<Pixel*>(r.dst + std::ptrdiff_t(row) * r.dstPitch);
        int start = 0, n = 0;
        auto flush = [&] {
            if (n == 0) return;
            auto* at = reinterpret_cast<uint8_t*>(dst + start);
            r.span(at, at, reinterpret_cast<const uint8_t*>(samples), alphaOut, n, r.blend);
            n = 0;
        };
        int32_t u = uRow, v = vRow;
        for (int c = 0; c < r.width; ++c, u = Add(u, r.dudx), v = Add(v, r.dvdx)) {
            int tu = ToPixel(u), tv = ToPixel(v);
            if (tu < 0 || tu >= r.srcWidth || tv < 0 || tv >= r.srcHeight) {
                flush();
                continue;
            }
            if (n == 0) start = c;
            samples[n] = reinterpret_cast<const Pixel*>(r.src + std::ptrdiff_t(tv) * r.srcPitch)[tu];
            if (r.alpha) alphas[n] = r.alpha[std::ptrdiff_t(tv) * r.alphaPitch + tu];
            if (++n == Chunk) flush();
        }
        flush();
    }
}

template <template <typename, bool, bool> class Loop, typename Format>
RotaLoop Pick(int alpha, int keyed) {
    if (alpha) return keyed ? Loop<Format, true, true>::Run : Loop<Format, true, false>::Run;
    return keyed ? Loop<Format, false, true>::Run : Loop<Format, false, false>::Run;
}

template <typename Format, bool Alpha, bool Keyed>
struct FastLoop {
    static void Run(const RotaInfo& r) { RotaFast<Format, Alpha, Keyed>(r); }
};

template <typename Format, bool Alpha, bool Keyed>
struct ReferenceLoop {
    static void Run(const RotaInfo& r) { RotaReference<Format, Alpha, Keyed>(r); }
};

template <template <typename, bool, bool> class Loop>
RotaLoop Choose(BlitFormat format, int alpha, int keyed) {
    switch (format) {
    case BlitFormat8: return keyed ? Loop<Channels8, false, true>::Run
                                   : Loop<Channels8, false, false>::Run;
    case BlitFormat565: return Pick<Loop, Channels565>(alpha, keyed);
    case BlitFormat555: return Pick<Loop, Channels555>(alpha, keyed);
    case BlitFormat32: return Pick<Loop, Channels32>(alpha, keyed);
    default: return nullptr;
    }
}

// The graph's first piece and the surface data that holds its pixels.
struct RotaSource {
    BmpDataRecord* piece;
    SurfaceDataRecord* surface;
};

// The graph's pieces are known to have pixels (GraphHasPixels).
void FindSource(GraphRecord* graph, RotaSource* source) {
    source->piece = GetBmpDataRecord(graph->pieces[0]);
    source->surface = GetSurfaceDataRecord(source->piece->surface);
}

}  // namespace

RotaLoop ChooseRotaLoop(BlitFormat format, int alpha, int keyed) {
    return Choose<FastLoop>(format, alpha, keyed);
}

RotaLoop ChooseRotaReferenceLoop(BlitFormat format, int alpha, int keyed) {
    return Choose<ReferenceLoop>(format, alpha, keyed);
}

RotaLoop ChooseRotaBlendLoop(BlitFormat format) {
    switch (format) {
    case BlitFormat565:
    case BlitFormat555: return RotaBlendWalk<uint16_t>;
    case BlitFormat32: return RotaBlendWalk<uint32_t>;
    default: return nullptr;
    }
}

// A negative scale is drawable: the arithmetic mirrors both axes, which is
// the graph turned half way round.
int DrawableRotation(double scale, double angle) {
    return std::isfinite(scale) && std::isfinite(angle) && scale != 0.0;
}

int SetUpRotation(int x, int y, double scale, double angle, int width, int height,
                  const Rect& area, RotaSetup* setup) {
    if (!DrawableRotation(scale, angle)) return -1;
    // The turn back: cos and sin are even and odd to the last bit, so it
    // needs no second evaluation.
    double c = std::cos(angle), s = std::sin(angle);
    int32_t cosA = Trunc(c * FixedOne), sinA = Trunc(s * FixedOne);
    int32_t cosB = cosA, sinB = Trunc(-s * FixedOne);
    int32_t cx = Mul(x, 1 << 18), cy = Mul(y, 1 << 18);
    int32_t hw = Trunc(width * scale * 0.5), hh = Trunc(height * scale * 0.5);

    int32_t sh = Mul(sinA, hh), sw = Mul(sinA, hw), ch = Mul(cosA, hh), cw = Mul(cosA, hw);
    const int32_t cornerX[4] = {Sub(Add(cx, sh), cw), Sub(Sub(cx, sh), cw), Add(Sub(cx, sh), cw),
                                Add(Add(cx, sh), cw)};
    const int32_t cornerY[4] = {Sub(Sub(cy, sw), ch), Add(Sub(cy, sw), ch), Add(Add(cy, sw), ch),
                                Sub(Add(cy, sw), ch)};
    int minX = ToPixel(cornerX[0]), maxX = minX, minY = ToPixel(cornerY[0]), maxY = minY;
    for (int i = 1; i < 4; ++i) {
        minX = std::min(minX, ToPixel(cornerX[i]));
        maxX = std::max(maxX, ToPixel(cornerX[i]));
        minY = std::min(minY, ToPixel(cornerY[i]));
        maxY = std::max(maxY, ToPixel(cornerY[i]));
    }
    Rect box = ClampInto(int64_t(minX) - 2, int64_t(minY) - 2, int64_t(maxX) + 4,
                         int64_t(maxY) + 4, area);
    if (box.right <= box.left || box.bottom <= box.top) return -1;

    auto u = [&](int row) {
        int32_t turned = Sub(Mul(Sub(box.left, x), cosB), Mul(Sub(row, y), sinB));
        return Add(Mul(width >> 1, 1 << 18), Trunc(turned / scale));
    };
    auto v = [&](int row) {
        int32_t turned = Add(Mul(Sub(box.left, x), sinB), Mul(Sub(row, y), cosB));
        return Add(Mul(height >> 1, 1 << 18), Trunc(turned / scale));
    };
    int rows = box.bottom - box.top;
    setup->box = box;
    setup->u = u(box.top);
    setup->v = v(box.top);
    setup->dudx = Trunc(cosA / scale);
    setup->dvdx = Trunc(sinB / scale);
    setup->dudy = Sub(u(box.bottom), setup->u) / rows;
    setup->dvdy = Sub(v(box.bottom), setup->v) / rows;
    setup->cosine = c;
    setup->sine = s;
    return 0;
}

void TurnCorners(double x, double y, double c, double s, double shift, const double du[4],
                 const double dv[4], double px[4], double py[4]) {
    for (int k = 0; k < 4; ++k) {
        px[k] = x + du[k] * c - dv[k] * s + shift;
        py[k] = y + du[k] * s + dv[k] * c + shift;
    }
}

Rect RotatedMaskBox(int x, int y, double scale, double angle, int width, int height) {
    double turn = std::fmod(angle, 6.283185307179586);
    double c = std::cos(turn) * scale, s = std::sin(turn) * scale;
    double left = -(width / 2), right = width - width / 2;
    double top = -(height / 2), bottom = height - height / 2;
    const double du[4] = {left, left, right, right}, dv[4] = {top, bottom, top, bottom};
    double px[4], py[4];
    TurnCorners(x, y, c, s, 0, du, dv, px, py);
    double minX = HUGE_VAL, minY = HUGE_VAL, maxX = -HUGE_VAL, maxY = -HUGE_VAL;
    for (int k = 0; k < 4; ++k) {
        minX = std::min(minX, px[k]);
        maxX = std::max(maxX, px[k]);
        minY = std::min(minY, py[k]);
        maxY = std::max(maxY, py[k]);
    }
    return Rect{Sub(Trunc(minX), 5), Sub(Trunc(minY), 5), Add(Trunc(maxX), 5),
                Add(Trunc(maxY), 5)};
}

int BlitTurnedGraph(int x, int y, double scale, double angle, GraphRecord* graph,
                    int transparent) {
    RotaSource source;
    FindSource(graph, &source);
    PlatSurface* draw = gDraw.drawSurface;

    int width = graph->width, height = graph->height;
    RotaSetup setup;
    if (SetUpRotation(x, y, scale, angle, width, height, gDraw.drawArea, &setup) != 0) return 0;
    const Rect& box = setup.box;
    int dstX = box.left + gDraw.targetOrigin.left, dstY = box.top + gDraw.targetOrigin.top;
    int boxWidth = box.right - box.left, boxHeight = box.bottom - box.top;
    if (dstX < 0 || dstY < 0 || boxWidth > draw->width - dstX || boxHeight > draw->height - dstY)
        return 0;

    const BmpDataRecord* piece = source.piece;
    PlatSurface* src = source.surface->surface;
    int srcX = piece->surfaceX, srcY = piece->surfaceY;
    PlatSurface* work = gScreenState.sourceWork;
    // A source that reads fast is sampled in place; one drawn on itself keeps
    // the copy, whose pixels the drawing cannot change under the walk.
    bool inPlace = PlatSurfaceReadsFast(src) && src != draw && draw != work;
    if (!src->systemMemory && !inPlace && piece->width <= ScreenWidth() &&
        piece->height <= ScreenHeight() &&
        work && piece->width <= work->width && piece->height <= work->height &&
        CopySurfaceRect(work, 0, 0, src,
                        Rect{srcX, srcY, srcX + piece->width, srcY + piece->height}, 0) == 0) {
        src = work;
        srcX = srcY = 0;
    }

    uint8_t *drawPixels, *srcPixels;
    int drawPitch, srcPitch;
    // The log's long-standing words, as in BlitGraph.
    if (PlatLockSurface(draw, &drawPixels, &drawPitch) != 0)
        ErrorExit(SJIS("転送先サーフェスのロックに失敗しました in G_DDraw_DrawRotaGraph "));
    if (PlatLockSurface(src, &srcPixels, &srcPitch) != 0) {
        PlatUnlockSurface(draw);
        ErrorExit(SJIS("転送元サーフェス１のロックに失敗しました in G_DDraw_DrawRotaGraph "));
    }

    BlitFormat format = ClassifyBlitFormat(GetScreenFormat());
    int alpha = source.surface->params.AlphaChFlag && source.surface->alphaBuffer &&
                format != BlitFormat8;
    int keyed = format == BlitFormat8 ? transparent != 0 : transparent == 1;
    BlendInfo blend;
    int blended = CurrentBlend(format, 0, &blend);
    RotaLoop loop = blended ? ChooseRotaBlendLoop(format) : ChooseRotaLoop(format, alpha, keyed);
    if (loop) {
        int bytes = draw->format.bytesPerPixel;
        uint32_t colour = source.surface->transparentColor;
        RotaInfo info = {};
        info.dst = drawPixels + std::ptrdiff_t(dstY) * drawPitch + std::ptrdiff_t(dstX) * bytes;
        info.dstPitch = drawPitch;
        info.src = srcPixels + std::ptrdiff_t(srcY) * srcPitch + std::ptrdiff_t(srcX) * bytes;
        info.srcPitch = srcPitch;
        if (alpha) {
            int alphaPitch = source.surface->alphaPitch;
            info.alpha = source.surface->alphaBuffer +
                         std::ptrdiff_t(piece->surfaceY) * alphaPitch + piece->surfaceX;
            info.alphaPitch = alphaPitch;
        }
        // Samples stay on the piece's own pixels.
        info.srcWidth = std::min(width, int(piece->width));
        info.srcHeight = std::min(height, int(piece->height));
        info.width = boxWidth;
        info.height = boxHeight;
        info.u = setup.u;
        info.v = setup.v;
        info.dudx = setup.dudx;
        info.dvdx = setup.dvdx;
        info.dudy = setup.dudy;
        info.dvdy = setup.dvdy;
        info.key = format == BlitFormat8
                       ? 0
                       : MakeColor(int(colour >> 16 & 0xFF), int(colour >> 8 & 0xFF),
                                   int(colour & 0xFF));
        if (blended) {
            blend.key = info.key;
            info.blend = blend;
            info.span = ChooseBlendSpan(format, blend, keyed, alpha);
        }
        loop(info);
    }

    PlatUnlockSurface(draw);
    PlatUnlockSurface(src);
    return 0;
}

int DrawRotaGraph(int x, int y, double scale, double angle, int graph, int transparent, int) {
    if (!LibraryRunning()) return -1;
    if (DrawingSuspended() || gDraw.drawAreaEmpty) return 0;
    GraphRecord* record = GetGraphRecord(graph);
    if (!record || record->pieceCount == 0) return -1;
    if (!DrawableRotation(scale, angle)) return 0;
    WaitWhileInactive();
    BringGraphMovieFrame(graph);

    if (!DisplayExists() || !gDraw.drawSurface || !GraphHasPixels(record)) return -1;

    const DrawPath& path = TargetDrawPath();
    if (!gDraw.maskEnabled) return path.drawTurned(x, y, scale, angle, record, transparent);
    Rect area = RotatedMaskBox(x, y, scale, angle, record->width, record->height);
    MaskBeforeDraw(area);
    int result = path.drawTurned(x, y, scale, angle, record, transparent);
    MaskAfterDraw(area);
    return result;
}
