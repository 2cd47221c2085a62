// What the image decoders share: a cursor that checks every read against the
// stream's length, little-endian field access, and size arithmetic that
// refuses overflow. Decoders check each size against these before they
// allocate, so that a short file cannot ask for more memory than it could
// describe.
#ifndef TESSEL_DECODE_CURSOR_H
#define TESSEL_DECODE_CURSOR_H

#include "graphics/image.h"

#include <cstddef>
#include <cstdint>

// The most pixel memory one decoded image may take: a 16384 x 16384 picture
// of four bytes a pixel, and far below what a corrupt header can claim.
constexpr uint64_t MaxImageBytes = uint64_t(1) << 30;

// A bounded view of an image stream.
struct StreamCursor {
    ImageStream* stream;  // the stream read
    uint32_t size;        // its length in bytes
    uint32_t position;    // where the next read starts
};

// Measures the stream and places the cursor at offset 0; false when the
// stream cannot seek or tell.
bool OpenCursor(ImageStream* stream, StreamCursor* cursor);
// Reads exactly `count` bytes; false, with the cursor unchanged, when fewer
// remain or the stream fails.
bool ReadExact(StreamCursor* cursor, void* buffer, uint64_t count);
// Moves to `offset` from the start; false past the end.
bool SeekCursor(StreamCursor* cursor, uint64_t offset);
inline uint32_t Remaining(const StreamCursor& cursor) { return cursor.size - cursor.position; }

inline uint16_t Le16(const uint8_t* p) { return static_cast<uint16_t>(p[0] | p[1] << 8); }
inline uint32_t Le32(const uint8_t* p) {
    return p[0] | p[1] << 8 | p[2] << 16 | static_cast<uint32_t>(p[3]) << 24;
}

// a x b x c when it is at most `limit`; false otherwise (including overflow).
bool CheckedProduct(uint64_t a, uint64_t b, uint64_t c, uint64_t limit, uint64_t* out);

// Pixel blocks are taken with malloc so that FreeGraphImagePixels can free
// any decoder's result; null when `bytes` is 0 or past MaxImageBytes.
uint8_t* AllocatePixels(uint64_t bytes);

#endif
