// The stand-in for the window system's DIB drawing: every variant a bitmap
// file may hold is turned into blue, green, red bytes the way the display
// driver would, including run-length codes and channel masks.
#include "graphics/bitmap.h"

#include <algorithm>
#include <bit>
#include <cstdlib>
#include <cstring>

namespace {

// The largest bitmap the stand-in makes, as a display driver has its limit:
// a 16384 x 16384 picture of four bytes a pixel.
constexpr uint64_t MaxBitmapBytes = uint64_t(1) << 30;

// Where the DIB's rows land on the target.
struct Canvas {
    PlatBitmap* target;
    int32_t width;     // columns that land on the target
    int32_t rows;      // rows of the DIB
    bool bottomUp;     // DIB row 0 is the bottom row

    int32_t TargetY(int32_t row) const { return bottomUp ? rows - 1 - row : row; }
    bool Visible(int32_t row) const { return row < rows && TargetY(row) < target->height; }
    // The pixel at column x of a visible row.
    uint8_t* At(int32_t x, int32_t row) const {
        return target->bits + static_cast<ptrdiff_t>(TargetY(row)) * target->pitch +
               ptrdiff_t(x) * 3;
    }
};

void PutPaletteColour(uint8_t* out, const PlatDib& dib, unsigned index) {
    if (index < static_cast<unsigned>(dib.paletteCount)) {
        std::memcpy(out, dib.palette + index * 4, 3);
    } else {
        out[0] = out[1] = out[2] = 0;
    }
}

// One channel of a masked pixel widened or narrowed to 8 bits; narrow
// channels repeat their bits downward so that full scale stays 255.
uint8_t MaskedChannel(uint32_t pixel, uint32_t mask) {
    if (mask == 0) return 0;
    int shift = std::countr_zero(mask);
    uint32_t value = (pixel & mask) >> shift;
    int bits = std::bit_width(mask >> shift);
    if (bits >= 8) return static_cast<uint8_t>(value >> (bits - 8));
    uint32_t result = 0;
    for (int at = 8 - bits; at > -bits; at -= bits) {
        result |= at >= 0 ? value << at : value >> -at;
    }
    return static_cast<uint8_t>(result);
}

int DrawRows(const Canvas& canvas, const PlatDib& dib) {
    uint64_t rowSize = (uint64_t(dib.width) * uint64_t(dib.bitCount) + 31) / 32 * 4;
    uint64_t rows = static_cast<uint64_t>(dib.height < 0 ? -int64_t(dib.height) : dib.height);
    if (rowSize * rows > dib.bitsSize) return -1;

    static constexpr uint32_t Masks555[3] = {0x7C00, 0x03E0, 0x001F};
    static constexpr uint32_t Masks888[3] = {0xFF0000, 0xFF00, 0xFF};
    const uint32_t* masks = dib.compression == DibBitFields ? dib.masks
                            : dib.bitCount == 16            ? Masks555
                                                            : Masks888;
    for (int32_t row = 0; row < canvas.rows; ++row) {
        if (!canvas.Visible(row)) continue;
        const uint8_t* in = dib.bits + rowSize * static_cast<uint64_t>(row);
        uint8_t* out = canvas.At(0, row);
        for (int32_t x = 0; x < canvas.width; ++x, out += 3) {
            switch (dib.bitCount) {
            case 1: PutPaletteColour(out, dib, (in[x >> 3] >> (7 - (x & 7))) & 1); break;
            case 4: PutPaletteColour(out, dib, (in[x >> 1] >> (x & 1 ? 0 : 4)) & 0xF); break;
            case 8: PutPaletteColour(out, dib, in[x]); break;
            case 24: std::memcpy(out, in + ptrdiff_t(x) * 3, 3); break;
            default: {
                const uint8_t* p = in + ptrdiff_t(x) * (dib.bitCount / 8);
                uint32_t pixel = dib.bitCount == 16 ? uint32_t(p[0] | p[1] << 8)
                                                    : p[0] | p[1] << 8 | p[2] << 16 |
                                                          uint32_t(p[3]) << 24;
                out[0] = MaskedChannel(pixel, masks[2]);
                out[1] = MaskedChannel(pixel, masks[1]);
                out[2] = MaskedChannel(pixel, masks[0]);
                break;
            }
            }
        }
    }
    return 0;
}

// Run-length codes, 8 or 4 bits an index. The pen starts at the bottom-left;
// runs past the right edge are clipped, and the codes end at the
// end-of-bitmap escape, at the top of the bitmap or with the data.
int DrawRunLength(const Canvas& canvas, const PlatDib& dib) {
    const bool four = dib.compression == DibRle4;
    const uint8_t* data = dib.bits;
    const size_t size = dib.bitsSize;
    size_t at = 0;
    int32_t x = 0, row = 0;

    // `count` pixels from the pen onward; `index(i)` gives the i-th one.
    auto put = [&](int32_t count, auto index) {
        int32_t end = static_cast<int32_t>(std::min<int64_t>(int64_t(x) + count, canvas.width));
        if (canvas.Visible(row)) {
            for (int32_t i = x; i < end; ++i) PutPaletteColour(canvas.At(i, row), dib, index(i - x));
        }
        // The pen stops at the edge: nothing past it is drawn until the next line.
        x = static_cast<int32_t>(std::min<int64_t>(int64_t(x) + count, dib.width));
    };

    while (at < size) {
        if (size - at < 2) return -1;
        uint8_t first = data[at], second = data[at + 1];
        at += 2;
        if (first > 0) {
            put(first, [&](int32_t i) {
                return four ? unsigned(i & 1 ? second & 0xF : second >> 4) : unsigned(second);
            });
        } else if (second == 0) {
            x = 0;
            ++row;
        } else if (second == 1) {
            return 0;
        } else if (second == 2) {
            if (size - at < 2) return -1;
            x = static_cast<int32_t>(std::min<int64_t>(int64_t(x) + data[at], dib.width));
            row += data[at + 1];
            at += 2;
        } else {
            size_t bytes = four ? (second + 1u) / 2 : second;
            if (size - at < bytes) return -1;
            const uint8_t* literal = data + at;
            put(second, [&](int32_t i) {
                return four ? unsigned(i & 1 ? literal[i / 2] & 0xF : literal[i / 2] >> 4)
                            : unsigned(literal[i]);
            });
            // Literal runs are padded to a whole 16-bit word; a file may end
            // before the last pad byte.
            at += std::min(size - at, bytes + (bytes & 1));
        }
        if (row >= dib.height) return 0;
    }
    return 0;
}

bool ValidVariant(const PlatDib& dib) {
    if (dib.width <= 0 || dib.height == 0 || dib.height == INT32_MIN) return false;
    if (dib.bitCount <= 8 && dib.paletteCount > 0 && !dib.palette) return false;
    switch (dib.compression) {
    case DibRgb:
        return dib.bitCount == 1 || dib.bitCount == 4 || dib.bitCount == 8 ||
               dib.bitCount == 16 || dib.bitCount == 24 || dib.bitCount == 32;
    case DibRle8: return dib.bitCount == 8 && dib.height > 0;
    case DibRle4: return dib.bitCount == 4 && dib.height > 0;
    case DibBitFields: return dib.bitCount == 16 || dib.bitCount == 32;
    default: return false;
    }
}

}  // namespace

PlatBitmap* PlatCreateBitmap24(int32_t width, int32_t height) {
    if (width <= 0 || height <= 0) return nullptr;
    uint64_t pitch = (uint64_t(width) * 3 + 3) & ~uint64_t(3);
    if (pitch * uint64_t(height) > MaxBitmapBytes) return nullptr;
    uint8_t* bits = static_cast<uint8_t*>(std::calloc(static_cast<size_t>(pitch * height), 1));
    PlatBitmap* bitmap = static_cast<PlatBitmap*>(std::malloc(sizeof(PlatBitmap)));
    if (!bits || !bitmap) {
        std::free(bits);
        std::free(bitmap);
        return nullptr;
    }
    *bitmap = {width, height, static_cast<int32_t>(pitch), bits};
    return bitmap;
}

void PlatFreeBitmap(PlatBitmap* bitmap) {
    if (!bitmap) return;
    std::free(bitmap->bits);
    std::free(bitmap);
}

int PlatDrawDib(PlatBitmap* target, const PlatDib* dib) {
    if (!target || !dib || !ValidVariant(*dib) || (!dib->bits && dib->bitsSize > 0)) return -1;
    int32_t rows = dib->height < 0 ? -dib->height : dib->height;
    Canvas canvas{target, std::min(dib->width, target->width), rows, dib->height > 0};
    bool runLength = dib->compression == DibRle8 || dib->compression == DibRle4;
    return runLength ? DrawRunLength(canvas, *dib) : DrawRows(canvas, *dib);
}
