// Decoded images, the streams decoders read from, and the decoders' entry points.
#ifndef TESSEL_IMAGE_H
#define TESSEL_IMAGE_H

#include "graphics/color.h"

#include <cstddef>
#include <cstdint>

// The library's in-memory image: rows run top to bottom.
struct GraphImage {
    ColorFormat format;  // pixel format of `pixels`
    int32_t width, height;  // pixels; height always positive
    int32_t pitch;       // bytes from one row to the next
    uint8_t* pixels;     // owned by the record
};

// What a decoder reads from: six operations over one context, shaped like the
// file layer's so that a file stream is the file layer itself.
struct ImageStream {
    int32_t (*tell)(void* context);                         // position, or -1
    int (*seek)(void* context, int32_t offset, int origin);  // 0 or -1; origin 0/1/2
    size_t (*read)(void* buffer, size_t size, size_t count, void* context);  // whole items
    int (*atEnd)(void* context);   // 1 when a read found the end
    int (*idle)(void* context);    // 1 when no read is in progress
    int (*close)(void* context);   // 0 or -1
    void* context;                 // the open file, or a MemoryStream
};

// The context of a stream over bytes the caller keeps alive.
struct MemoryStream {
    const uint8_t* data;  // the bytes
    uint32_t size;        // how many
    uint32_t position;    // next byte to read
    int atEnd;            // a read found the position at the end
};

// A stream over the file at `path`, opened through the file layer in force.
// 0, or -1 when the file cannot be opened.
int OpenFileImageStream(const char* path, ImageStream* stream);
// A stream over `size` bytes at `data`; `memory` holds its position and must
// outlive it. Closing it does nothing.
void OpenMemoryImageStream(const void* data, size_t size, MemoryStream* memory,
                           ImageStream* stream);
int CloseImageStream(ImageStream* stream);

// Frees the pixels and zeroes the record.
void FreeGraphImagePixels(GraphImage* image);
// Tries BMP, JPEG, PNG, "BGRA", TGA and DDS in turn, each from offset 0.
// 0 on the first success, -1 when none took the data (the image is then zero).
int DecodeImageStream(ImageStream* stream, GraphImage* image);
// Opens, decodes and closes `path`; -1 when it cannot be opened or decoded.
int LoadImageFile(const char* path, GraphImage* image);
// 1 when the file at `path` starts with the signature of a format one of the
// decoders takes (or ends with the TGA footer), else 0: such a file that
// does not decode is a damaged image, and nothing else may take it.
int HasImageSignature(const char* path);

// The decoders, tried in the order above. Each returns 0 and fills `image`,
// or -1 having freed all it allocated; they read from wherever the stream is.
int DecodeBmp(ImageStream* stream, GraphImage* image);
int DecodeJpeg(ImageStream* stream, GraphImage* image);
int DecodePng(ImageStream* stream, GraphImage* image);
int DecodeBgra(ImageStream* stream, GraphImage* image);
int DecodeTga(ImageStream* stream, GraphImage* image);
int DecodeDds(ImageStream* stream, GraphImage* image);

// The colour, as 0x00RRGGBB, that the one-byte pixel `value` of an image in
// `format` stands for in the colour table the image gets as a bitmap: a grey
// image's value is its grey level.
uint32_t ImageTableColor(const ColorFormat* format, int value);

struct PlatBitmap;
// Decodes the file at `path` and draws it into a new top-down 24-bit platform
// bitmap (free it with PlatFreeBitmap); null on failure.
PlatBitmap* CreateDIBGraph(const char* path);

#endif
