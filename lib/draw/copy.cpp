// Rectangle copies between surfaces, plain or skipping the source's
// colour key: the block transfer that blitters, presentation and the work
// surfaces rely on.
#include "draw/screen.h"

#include "platform/pixels/surface.h"

#include <algorithm>
#include <cstddef>
#include <cstring>
#include <emmintrin.h>

namespace {

// One row: where it starts in each surface and how many pixels it has.
struct RowCopy {
    uint8_t* dst;
    const uint8_t* src;
    int width;
};

// Pixels equal to the key keep the destination; SSE2 does a vector of them
// at a time by selecting between the two with the comparison's mask.
void KeyedRow8(const RowCopy& row, uint32_t key) {
    const __m128i k = _mm_set1_epi8(static_cast<char>(key));
    int x = 0;
    for (; x + 16 <= row.width; x += 16) {
        __m128i s = _mm_loadu_si128(reinterpret_cast<const __m128i*>(row.src + x));
        __m128i d = _mm_loadu_si128(reinterpret_cast<const __m128i*>(row.dst + x));
        __m128i keep = _mm_cmpeq_epi8(s, k);
        __m128i out = _mm_or_si128(_mm_and_si128(keep, d), _mm_andnot_si128(keep, s));
        _mm_storeu_si128(reinterpret_cast<__m128i*>(row.dst + x), out);
    }
    for (; x < row.width; ++x)
        if (row.src[x] != static_cast<uint8_t>(key)) row.dst[x] = row.src[x];
}

void KeyedRow16(const RowCopy& row, uint32_t key) {
    const __m128i k = _mm_set1_epi16(static_cast<short>(key));
    int x = 0;
    for (; x + 8 <= row.width; x += 8) {
        __m128i s = _mm_loadu_si128(reinterpret_cast<const __m128i*>(row.src + x * 2));
        __m128i d = _mm_loadu_si128(reinterpret_cast<const __m128i*>(row.dst + x * 2));
        __m128i keep = _mm_cmpeq_epi16(s, k);
        __m128i out = _mm_or_si128(_mm_and_si128(keep, d), _mm_andnot_si128(keep, s));
        _mm_storeu_si128(reinterpret_cast<__m128i*>(row.dst + x * 2), out);
    }
    for (; x < row.width; ++x) {
        uint16_t pixel;
        std::memcpy(&pixel, row.src + x * 2, 2);
        if (pixel != static_cast<uint16_t>(key)) std::memcpy(row.dst + x * 2, &pixel, 2);
    }
}

void KeyedRow32(const RowCopy& row, uint32_t key) {
    const __m128i k = _mm_set1_epi32(static_cast<int>(key));
    int x = 0;
    for (; x + 4 <= row.width; x += 4) {
        __m128i s = _mm_loadu_si128(reinterpret_cast<const __m128i*>(row.src + x * 4));
        __m128i d = _mm_loadu_si128(reinterpret_cast<const __m128i*>(row.dst + x * 4));
        __m128i keep = _mm_cmpeq_epi32(s, k);
        __m128i out = _mm_or_si128(_mm_and_si128(keep, d), _mm_andnot_si128(keep, s));
        _mm_storeu_si128(reinterpret_cast<__m128i*>(row.dst + x * 4), out);
    }
    for (; x < row.width; ++x) {
        uint32_t pixel;
        std::memcpy(&pixel, row.src + x * 4, 4);
        if (pixel != key) std::memcpy(row.dst + x * 4, &pixel, 4);
    }
}

void KeyedRow24(const RowCopy& row, uint32_t key) {
    for (int x = 0; x < row.width; ++x) {
        const uint8_t* s = row.src + x * 3;
        uint32_t pixel = s[0] | s[1] << 8 | s[2] << 16;
        if (pixel != (key & 0xFFFFFF)) std::memcpy(row.dst + x * 3, s, 3);
    }
}

}  // namespace

int CopySurfaceRect(PlatSurface* dst, int dstX, int dstY, PlatSurface* src, const Rect& source,
                    int keyed) {
    if (!dst || !src || dst->lost || src->lost) return -1;
    int bytes = src->format.bytesPerPixel;
    if (dst->format.bytesPerPixel != bytes) return -1;

    int left = source.left, top = source.top;
    if (left < 0) {
        dstX -= left;
        left = 0;
    }
    if (top < 0) {
        dstY -= top;
        top = 0;
    }
    if (dstX < 0) {
        left -= dstX;
        dstX = 0;
    }
    if (dstY < 0) {
        top -= dstY;
        dstY = 0;
    }
    int right = std::min({source.right, src->width, left + dst->width - dstX});
    int bottom = std::min({source.bottom, src->height, top + dst->height - dstY});
    if (right <= left || bottom <= top) return 0;
    PlatTouchSurface(src);
    PlatTouchSurface(dst);
    ++dst->changeCount;

    int width = right - left, height = bottom - top;
    size_t rowBytes = static_cast<size_t>(width) * bytes;
    auto rowAt = [&](int y) {
        return RowCopy{dst->pixels + static_cast<ptrdiff_t>(dstY + y) * dst->pitch +
                           static_cast<ptrdiff_t>(dstX) * bytes,
                       src->pixels + static_cast<ptrdiff_t>(top + y) * src->pitch +
                           static_cast<ptrdiff_t>(left) * bytes,
                       width};
    };

    if (!keyed || !src->colorKeyEnabled) {
        // Within one surface the rows may overlap; walk them so that no row
        // is overwritten before it is read.
        bool upward = dst == src && dstY > top;
        for (int i = 0; i < height; ++i) {
            RowCopy row = rowAt(upward ? height - 1 - i : i);
            std::memmove(row.dst, row.src, rowBytes);
        }
        return 0;
    }
    uint32_t key = src->colorKey;
    for (int y = 0; y < height; ++y) {
        RowCopy row = rowAt(y);
        switch (bytes) {
        case 1: KeyedRow8(row, key); break;
        case 2: KeyedRow16(row, key); break;
        case 3: KeyedRow24(row, key); break;
        default: KeyedRow32(row, key); break;
        }
    }
    return 0;
}
