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

#include <algorithm>
#include <bit>
#include <cstring>

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

// 0..255 to 0..256: 255 becomes 256, 0 stays 0.
inline uint32_t Widen(uint32_t w) { return w + (w >> 7); }

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
void Span(uint8_t* dstBytes, const uint8_t* readBytes, const uint8_t* srcBytes,
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

template <typename F, int Mode, bool Keyed, bool HasAlpha>
BlendSpan PickTint(int tinted) {
    return tinted ? Span<F, Mode, Keyed, HasAlpha, true> : Span<F, Mode, Keyed, HasAlpha, false>;
}

template <typename F, int Mode>
BlendSpan PickKeyAlpha(int keyed, int alpha, int tinted) {
    if (keyed)
        return alpha ? PickTint<F, Mode, true, true>(tinted) : PickTint<F, Mode, true, false>(tinted);
    return alpha ? PickTint<F, Mode, false, true>(tinted) : PickTint<F, Mode, false, false>(tinted);
}

template <typename F>
BlendSpan PickMode(const BlendInfo& b, int keyed, int alpha) {
    switch (b.mode) {
    case BlendAdd: return PickKeyAlpha<F, BlendAdd>(keyed, alpha, b.tinted);
    case BlendMultiply: return PickKeyAlpha<F, BlendMultiply>(keyed, alpha, b.tinted);
    case BlendSubtract: return PickKeyAlpha<F, BlendSubtract>(keyed, alpha, b.tinted);
    default: return PickKeyAlpha<F, BlendAlpha>(keyed, alpha, b.tinted);
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
    if (format != BlitFormat565 && format != BlitFormat555 && format != BlitFormat32) return 0;
    return force || gDraw.blendMode != BlendNone || blend->tinted;
}

BlendSpan ChooseBlendSpan(BlitFormat format, const BlendInfo& blend, int keyed, int alpha) {
    switch (format) {
    case BlitFormat565: return PickMode<Format565>(blend, keyed, alpha);
    case BlitFormat555: return PickMode<Format555>(blend, keyed, alpha);
    case BlitFormat32: return PickMode<Format32>(blend, keyed, alpha);
    default: return nullptr;
    }
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
