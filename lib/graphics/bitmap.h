// Device-independent bitmaps and the platform's drawing of them into a
// top-down bitmap of 24 bits a pixel, as the window system's DIB drawing
// (a DIB section filled through SetDIBitsToDevice) produces it.
#ifndef TESSEL_BITMAP_H
#define TESSEL_BITMAP_H

#include <cstddef>
#include <cstdint>

enum DibCompression : int {
    DibRgb = 0,        // plain rows
    DibRle8 = 1,       // run-length coded 8-bit indexes
    DibRle4 = 2,       // run-length coded 4-bit indexes
    DibBitFields = 3,  // 16- or 32-bit pixels with explicit channel masks
};

// A bitmap as the drawing call takes it; the pointers are borrowed.
struct PlatDib {
    int32_t width;           // pixels, positive
    int32_t height;          // positive: the first row is the bottom one; negative: top-down
    int bitCount;            // 1, 4, 8, 16, 24 or 32
    int compression;         // a DibCompression
    uint32_t masks[3];       // red, green, blue; used with DibBitFields
    const uint8_t* palette;  // colour table, entries of blue, green, red, reserved
    int paletteCount;        // entries in it; indexes past it draw black
    const uint8_t* bits;     // rows padded to 4 bytes, or the run-length codes
    size_t bitsSize;         // bytes at `bits`
};

// A top-down bitmap, blue, green, red a pixel, rows padded to 4 bytes.
struct PlatBitmap {
    int32_t width, height;  // pixels, both positive
    int32_t pitch;          // bytes from one row to the next
    uint8_t* bits;          // pitch x height bytes, owned
};

// A black bitmap; null when a side is not positive, it would pass the
// platform's size limit, or memory runs out.
PlatBitmap* PlatCreateBitmap24(int32_t width, int32_t height);
void PlatFreeBitmap(PlatBitmap* bitmap);  // null is allowed

// Draws `dib` with its first column at the target's left edge and its top
// row at the target's top, clipped to the target. Pixels that run-length
// codes skip keep the target's colour. 0, or -1 for a variant the drawing
// does not know or data that ends before its rows (or inside a code).
int PlatDrawDib(PlatBitmap* target, const PlatDib* dib);

#endif
