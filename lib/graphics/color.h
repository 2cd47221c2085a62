// Pixel formats and colour values.
#ifndef TESSEL_COLOR_H
#define TESSEL_COLOR_H

#include "platform/pixels/pixel_format.h"

#include <cstdint>

struct GraphImage;

// The two formats the image decoders produce. In 24-bit BGR a pixel's bytes
// lie in memory as blue, green, red; in 8-bit grey the one byte stands for
// red, green, blue and alpha alike (greyscale images and alpha images).
inline constexpr ColorFormat Bgr24Format = {24, 3, 8, 8, 8, 0, 16, 8, 0, 0,
                                            0xFF0000, 0xFF00, 0xFF, 0, 0};
inline constexpr ColorFormat Grey8Format = {8, 1, 8, 8, 8, 8, 0, 0, 0, 0,
                                            0xFF, 0xFF, 0xFF, 0xFF, 0};

// One entry of an 8-bit screen's palette.
struct PaletteEntry {
    uint8_t red, green, blue;
    uint8_t flags;  // the display's own use
};

// What the platform tells of the display's pixels.
struct DisplayPixelFormat {
    uint32_t bitCount;                               // bits per pixel
    uint32_t redMask, greenMask, blueMask, alphaMask;
};

// The screen's pixel format and, on an 8-bit screen, its palette. A format
// depth of 0 means the screen code has not set it yet; readers then see the
// 16-bit 5:6:5 default.
struct ColorState {
    ColorFormat screen;         // the screen's format
    PaletteEntry palette[256];  // the screen palette, used only at 8 bits
};

extern ColorState gColor;

// Set by the screen code whenever the display mode changes.
void SetScreenFormat(const ColorFormat* format);
void SetScreenPalette(const PaletteEntry entries[256]);
// The screen's format (the 5:6:5 default until one is set).
const ColorFormat* GetScreenFormat();
int QueryScreenDepth();

// Fills `format` from a depth and the four channel masks (a mask of 0: the
// channel is absent). Always 0.
int SetFormatFromMasks(ColorFormat* format, int bitDepth, uint32_t redMask,
                       uint32_t greenMask, uint32_t blueMask, uint32_t alphaMask);
// The same from the display's pixel format; -1 when there is no display.
int SetFormatFromDisplay(ColorFormat* format, const DisplayPixelFormat* display);
// Sets spareMask: the pixel's bits that belong to no channel.
void ComputeSpareMask(ColorFormat* format);

// A colour value in any format; alpha counts only where the format has it.
// On an 8-bit screen both this and MakeColor search the screen palette.
uint32_t MakeColorInFormat(const ColorFormat* format, int red, int green, int blue, int alpha);
// Splits a colour value of the screen's format into 8-bit channels (null
// outputs are skipped). 0, or -1 on an 8-bit screen for a value past 255.
int SplitColorValue(uint32_t value, int* red, int* green, int* blue);
// Same depth and the same four masks.
int SameFormat(const ColorFormat* a, const ColorFormat* b);
// One pixel of a decoded image as 0xAARRGGBB, each channel's bits at the top
// of its byte; 0 for an image without pixels or a point outside it.
uint32_t ReadImagePixelColor(const GraphImage* image, int x, int y);

// Copies the source rectangle [left, right) x [top, bottom) of `src` to
// (dstX, dstY) in `dst`, converting between formats. The alpha source
// supplies alpha when the destination has an alpha channel and the source
// has none. `mirror` writes each row right to left; `keyAlpha` makes pixels
// of `keyColour` (0x00RRGGBB) transparent and every other one opaque in a
// destination with alpha; `alphaOnly` writes alpha with black colour
// channels. Only dither mode 0 exists. The caller clips. 0, or -1 when a
// buffer or format is missing.
int ConvertPixels(void* dst, int dstPitch, const ColorFormat* dstFormat,
                  const void* src, int srcPitch, const ColorFormat* srcFormat,
                  const void* alphaSrc, int alphaPitch, const ColorFormat* alphaFormat,
                  int dstX, int dstY, int left, int top, int right, int bottom,
                  int mirror, int keyAlpha, uint32_t keyColour, int dither, int alphaOnly);

#endif
