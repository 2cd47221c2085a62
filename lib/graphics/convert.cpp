// Copying pixel rectangles between formats. The decoders hand over 24-bit
// BGR, so the common screen and alpha-surface targets have loops of their
// own; everything else goes pixel by pixel through the format descriptions.
#include "graphics/color.h"

#include <cstddef>
#include <cstring>

namespace {

// Pixels are little-endian whatever their size.
uint32_t ReadPixel(const uint8_t* p, int bytes) {
    switch (bytes) {
    case 1: return p[0];
    case 2: return p[0] | p[1] << 8;
    case 3: return p[0] | p[1] << 8 | p[2] << 16;
    default: return p[0] | p[1] << 8 | p[2] << 16 | static_cast<uint32_t>(p[3]) << 24;
    }
}

void WritePixel(uint8_t* p, int bytes, uint32_t v) {
    p[0] = static_cast<uint8_t>(v);
    if (bytes > 1) p[1] = static_cast<uint8_t>(v >> 8);
    if (bytes > 2) p[2] = static_cast<uint8_t>(v >> 16);
    if (bytes > 3) p[3] = static_cast<uint8_t>(v >> 24);
}

uint32_t FullChannel(int bits) { return static_cast<uint32_t>((uint64_t{1} << bits) - 1); }

// A channel value of `from` bits brought to `to` bits: narrowing drops the
// low bits; widening scales exactly, so a full channel stays full.
uint32_t Rescale(uint32_t v, int from, int to) {
    if (from >= to) return v >> (from - to);
    if (from == 0) return 0;
    int d = to - from;
    return static_cast<uint32_t>((uint64_t{v} << d) +
                                 uint64_t{v} * FullChannel(d) / FullChannel(from));
}

bool HasMasks(const ColorFormat* f, int depth, uint32_t r, uint32_t g, uint32_t b, uint32_t a) {
    return f->ColorBitDepth == depth && f->redMask == r && f->greenMask == g &&
           f->blueMask == b && f->alphaMask == a;
}

// One conversion, with the rectangle already resolved to row starts.
struct Job {
    uint8_t* dst;            // first destination pixel
    int dstPitch;
    const ColorFormat* dstFormat;
    const uint8_t* src;      // first source pixel
    int srcPitch;
    const ColorFormat* srcFormat;
    const uint8_t* alpha;    // first alpha-source pixel; null when it does not count
    int alphaPitch;
    const ColorFormat* alphaFormat;
    int width, height;
    int mirror;
    int keyAlpha;
    uint32_t keyColour;      // 0x00RRGGBB
    int alphaOnly;
};

void PlainCopy(const Job& j) {
    int bytes = j.dstFormat->bytesPerPixel;
    for (int y = 0; y < j.height; ++y) {
        uint8_t* d = j.dst + static_cast<ptrdiff_t>(y) * j.dstPitch;
        const uint8_t* s = j.src + static_cast<ptrdiff_t>(y) * j.srcPitch;
        if (!j.mirror) {
            std::memmove(d, s, static_cast<size_t>(j.width) * bytes);
            continue;
        }
        for (int x = 0; x < j.width; ++x)
            std::memcpy(d + (j.width - 1 - x) * bytes, s + x * bytes, bytes);
    }
}

// 32-bit BGRA into the three plain screen formats: the colour exactly as
// from 24-bit BGR, the alpha dropped as the formats have none. The alpha goes
// to the graph's alpha plane in a pass of its own (FastAlphaPlane).
template <int Kind>
void FromBgraRows(const Job& j) {
    for (int y = 0; y < j.height; ++y) {
        uint8_t* d = j.dst + static_cast<ptrdiff_t>(y) * j.dstPitch;
        const uint8_t* s = j.src + static_cast<ptrdiff_t>(y) * j.srcPitch;
        for (int x = 0; x < j.width; ++x) {
            uint32_t p;
            std::memcpy(&p, s + x * 4, 4);
            if (Kind == 2) {
                p |= 0xFF000000u;
                std::memcpy(d + x * 4, &p, 4);
                continue;
            }
            uint16_t v = Kind == 0 ? uint16_t((p >> 8 & 0xF800) | (p >> 5 & 0x07E0) | (p >> 3 & 0x1F))
                                   : uint16_t((p >> 9 & 0x7C00) | (p >> 6 & 0x03E0) |
                                              (p >> 3 & 0x1F) | 0x8000);
            std::memcpy(d + x * 2, &v, 2);
        }
    }
}

bool FastFromBgra(const Job& j) {
    const ColorFormat* f = j.dstFormat;
    if (HasMasks(f, 16, 0xF800, 0x07E0, 0x001F, 0)) FromBgraRows<0>(j);
    else if (HasMasks(f, 16, 0x7C00, 0x03E0, 0x001F, 0)) FromBgraRows<1>(j);
    else if (HasMasks(f, 32, 0xFF0000, 0xFF00, 0xFF, 0)) FromBgraRows<2>(j);
    else return false;
    return true;
}

// The alpha byte of 32-bit BGRA into an 8-bit alpha plane.
bool FastAlphaPlane(const Job& j) {
    if (!HasMasks(j.dstFormat, 8, 0, 0, 0, 0xFF)) return false;
    for (int y = 0; y < j.height; ++y) {
        uint8_t* d = j.dst + static_cast<ptrdiff_t>(y) * j.dstPitch;
        const uint8_t* s = j.src + static_cast<ptrdiff_t>(y) * j.srcPitch;
        for (int x = 0; x < j.width; ++x) d[x] = s[x * 4 + 3];
    }
    return true;
}

// 24-bit BGR into the three plain screen formats. False when none applies.
bool FastFromBgr(const Job& j) {
    const ColorFormat* f = j.dstFormat;
    enum { To565, To555, ToXrgb } kind;
    if (HasMasks(f, 16, 0xF800, 0x07E0, 0x001F, 0)) kind = To565;
    else if (HasMasks(f, 16, 0x7C00, 0x03E0, 0x001F, 0)) kind = To555;
    else if (HasMasks(f, 32, 0xFF0000, 0xFF00, 0xFF, 0)) kind = ToXrgb;
    else return false;
    for (int y = 0; y < j.height; ++y) {
        uint8_t* d = j.dst + static_cast<ptrdiff_t>(y) * j.dstPitch;
        const uint8_t* s = j.src + static_cast<ptrdiff_t>(y) * j.srcPitch;
        for (int x = 0; x < j.width; ++x, s += 3) {
            uint32_t b = s[0], g = s[1], r = s[2];
            if (kind == ToXrgb) {
                d[0] = s[0];
                d[1] = s[1];
                d[2] = s[2];
                d[3] = 0xFF;
                d += 4;
                continue;
            }
            uint32_t v = kind == To565 ? (r >> 3) << 11 | (g >> 2) << 5 | b >> 3
                                       : (r >> 3) << 10 | (g >> 3) << 5 | b >> 3 | 0x8000;
            d[0] = static_cast<uint8_t>(v);
            d[1] = static_cast<uint8_t>(v >> 8);
            d += 2;
        }
    }
    return true;
}

// 24-bit BGR into the two formats with a one-bit or eight-bit alpha, where
// the key colour becomes the only transparent value. False when none applies.
bool FastKeyedFromBgr(const Job& j) {
    const ColorFormat* f = j.dstFormat;
    uint32_t kr = j.keyColour >> 16 & 0xFF, kg = j.keyColour >> 8 & 0xFF, kb = j.keyColour & 0xFF;
    if (HasMasks(f, 16, 0x7C00, 0x03E0, 0x001F, 0x8000)) {
        uint32_t key = (kr >> 3) << 10 | (kg >> 3) << 5 | kb >> 3;
        for (int y = 0; y < j.height; ++y) {
            uint8_t* d = j.dst + static_cast<ptrdiff_t>(y) * j.dstPitch;
            const uint8_t* s = j.src + static_cast<ptrdiff_t>(y) * j.srcPitch;
            for (int x = 0; x < j.width; ++x, s += 3, d += 2) {
                uint32_t v = (s[2] >> 3) << 10 | (s[1] >> 3) << 5 | s[0] >> 3;
                if (v != key) v |= 0x8000;
                d[0] = static_cast<uint8_t>(v);
                d[1] = static_cast<uint8_t>(v >> 8);
            }
        }
        return true;
    }
    if (HasMasks(f, 32, 0xFF0000, 0xFF00, 0xFF, 0xFF000000)) {
        uint32_t key = j.keyColour & 0xFFFFFF;
        for (int y = 0; y < j.height; ++y) {
            uint8_t* d = j.dst + static_cast<ptrdiff_t>(y) * j.dstPitch;
            const uint8_t* s = j.src + static_cast<ptrdiff_t>(y) * j.srcPitch;
            for (int x = 0; x < j.width; ++x, s += 3, d += 4) {
                uint32_t v = s[0] | s[1] << 8 | s[2] << 16;
                d[0] = s[0];
                d[1] = s[1];
                d[2] = s[2];
                d[3] = v == key ? 0 : 0xFF;
            }
        }
        return true;
    }
    return false;
}

void GeneralCase(const Job& j) {
    const ColorFormat& s = *j.srcFormat;
    const ColorFormat& d = *j.dstFormat;
    int sBytes = s.bytesPerPixel, dBytes = d.bytesPerPixel;
    uint32_t fullAlpha = FullChannel(d.alphaBits);
    uint32_t spare = (d.ColorBitDepth == 16 || d.ColorBitDepth == 32) ? d.spareMask : 0;
    uint32_t colourMask = d.redMask | d.greenMask | d.blueMask;
    bool keyed = j.keyAlpha && d.alphaBits;
    uint32_t key = 0;
    if (keyed)
        key = MakeColorInFormat(&d, j.keyColour >> 16 & 0xFF, j.keyColour >> 8 & 0xFF,
                                j.keyColour & 0xFF, 255) & colourMask;

    for (int y = 0; y < j.height; ++y) {
        const uint8_t* sp = j.src + static_cast<ptrdiff_t>(y) * j.srcPitch;
        const uint8_t* ap = j.alpha ? j.alpha + static_cast<ptrdiff_t>(y) * j.alphaPitch : nullptr;
        uint8_t* row = j.dst + static_cast<ptrdiff_t>(y) * j.dstPitch;
        for (int x = 0; x < j.width; ++x, sp += sBytes) {
            uint32_t pixel = ReadPixel(sp, sBytes);
            uint32_t colour = 0;
            if (!j.alphaOnly) {
                uint32_t r = Rescale((pixel & s.redMask) >> s.redShift, s.redBits, d.redBits);
                uint32_t g =
                    Rescale((pixel & s.greenMask) >> s.greenShift, s.greenBits, d.greenBits);
                uint32_t b = Rescale((pixel & s.blueMask) >> s.blueShift, s.blueBits, d.blueBits);
                colour = r << d.redShift | g << d.greenShift | b << d.blueShift;
            }
            uint32_t a;
            if (ap) {
                const ColorFormat& af = *j.alphaFormat;
                uint32_t ab = ReadPixel(ap + x * af.bytesPerPixel, af.bytesPerPixel);
                a = Rescale((ab & af.alphaMask) >> af.alphaShift, af.alphaBits, d.alphaBits);
            } else if (s.alphaBits == 0) {
                a = fullAlpha;
            } else if (d.alphaBits == 0) {
                a = 0;
            } else {
                a = Rescale((pixel & s.alphaMask) >> s.alphaShift, s.alphaBits, d.alphaBits);
            }
            if (keyed) a = (colour & colourMask) == key ? 0 : fullAlpha;
            int dx = j.mirror ? j.width - 1 - x : x;
            WritePixel(row + dx * dBytes, dBytes, colour | a << d.alphaShift | spare);
        }
    }
}

bool UsableDepth(const ColorFormat* f) { return f->bytesPerPixel >= 1 && f->bytesPerPixel <= 4; }

}  // namespace

int ConvertPixels(void* dst, int dstPitch, const ColorFormat* dstFormat,
                  const void* src, int srcPitch, const ColorFormat* srcFormat,
                  const void* alphaSrc, int alphaPitch, const ColorFormat* alphaFormat,
                  int dstX, int dstY, int left, int top, int right, int bottom,
                  int mirror, int keyAlpha, uint32_t keyColour, int dither, int alphaOnly) {
    if (!dst || !dstFormat || !src || !srcFormat) return -1;
    if (!UsableDepth(dstFormat) || !UsableDepth(srcFormat)) return -1;
    int width = right - left, height = bottom - top;
    if (width <= 0 || height <= 0) return 0;

    bool alphaCounts = alphaSrc && alphaFormat && dstFormat->alphaBits && !srcFormat->alphaBits;
    if (alphaCounts && !UsableDepth(alphaFormat)) return -1;

    Job j;
    j.dst = static_cast<uint8_t*>(dst) + static_cast<ptrdiff_t>(dstY) * dstPitch +
            static_cast<ptrdiff_t>(dstX) * dstFormat->bytesPerPixel;
    j.dstPitch = dstPitch;
    j.dstFormat = dstFormat;
    j.src = static_cast<const uint8_t*>(src) + static_cast<ptrdiff_t>(top) * srcPitch +
            static_cast<ptrdiff_t>(left) * srcFormat->bytesPerPixel;
    j.srcPitch = srcPitch;
    j.srcFormat = srcFormat;
    j.alpha = alphaCounts ? static_cast<const uint8_t*>(alphaSrc) +
                                static_cast<ptrdiff_t>(top) * alphaPitch +
                                static_cast<ptrdiff_t>(left) * alphaFormat->bytesPerPixel
                          : nullptr;
    j.alphaPitch = alphaPitch;
    j.alphaFormat = alphaFormat;
    j.width = width;
    j.height = height;
    j.mirror = mirror;
    j.keyAlpha = keyAlpha;
    j.keyColour = keyColour;
    j.alphaOnly = alphaOnly;

    if (!keyAlpha && !alphaCounts && !alphaOnly && SameFormat(dstFormat, srcFormat)) {
        PlainCopy(j);
        return 0;
    }
    // Dithering belongs to texture uploads, which this library does not
    // make; a dither request only keeps a conversion off the fast paths.
    bool fromBgr = SameFormat(srcFormat, &Bgr24Format);
    if (fromBgr && !mirror && !dither && !alphaOnly) {
        if (!keyAlpha && !alphaCounts && FastFromBgr(j)) return 0;
        if (keyAlpha && FastKeyedFromBgr(j)) return 0;
    }
    bool fromBgra = HasMasks(srcFormat, 32, 0xFF0000, 0xFF00, 0xFF, 0xFF000000);
    if (fromBgra && !mirror && !dither && !keyAlpha && !alphaCounts) {
        if (!alphaOnly && FastFromBgra(j)) return 0;
        if (alphaOnly && FastAlphaPlane(j)) return 0;
    }
    GeneralCase(j);
    return 0;
}
