// The software blitters' inner workings: the per-call description of a blit
// and the pixel loops behind DrawGraph, DrawGraphPart and DrawRotaGraph.
//
// A front end clips once, fills one BlitInfo or RotaInfo and picks one loop
// for the screen format, the colour key and the alpha channel, so that no
// loop asks per pixel which case it is in. Each fast loop has a plain scalar
// twin that states the arithmetic; the tests hold the two equal.
#ifndef TESSEL_BLIT_H
#define TESSEL_BLIT_H

#include "draw/draw_state.h"
#include "graphics/color.h"

#include <cstddef>
#include <cstdint>

struct GlyphRun;
struct PlatSurface;
struct GraphRecord;

// The screen formats the blitters tell apart.
enum BlitFormat : int {
    BlitFormatNone,  // a format no blitter draws
    BlitFormat8,     // 8-bit palette indices
    BlitFormat565,   // 16-bit red 0xF800, green 0x07E0, blue 0x001F
    BlitFormat555,   // 16-bit red 0x7C00, green 0x03E0, blue 0x001F
    BlitFormat32,    // 32-bit red 0xFF0000, green 0xFF00, blue 0xFF
};

BlitFormat ClassifyBlitFormat(const ColorFormat* format);

// One rectangular blit, every pointer at the first pixel it touches.
struct BlitInfo {
    uint8_t* dst;            // destination as written
    int dstPitch;            // bytes per row
    const uint8_t* dstRead;  // destination as read: a copy of the same pixels
    int dstReadPitch;
    const uint8_t* src;      // source pixels
    int srcPitch;
    const uint8_t* alpha;    // one alpha byte per source pixel, or null
    int alphaPitch;
    int width, height;       // pixels per row, rows; both positive
    uint32_t key;            // colour key as a pixel value of the screen format
    // The blend loops (blit_blend.cpp) only: the span for each row, and
    // whether the source is read right to left from `src` and `alpha`,
    // which then point at the row's last pixel.
    const struct BlendInfo* blend;
    void (*span)(uint8_t* dst, const uint8_t* read, const uint8_t* src, const uint8_t* alpha,
                 int count, const BlendInfo& blend);
    int mirrored;
    int pixelBytes;          // of the screen's format
};

using BlitLoop = void (*)(const BlitInfo& info);

// --- blend modes and the tint (blit_blend.cpp) --------------------------------------

// The drawing state as one draw applies it. Each channel, at its own width
// with maximum M, from the source s (tinted: c = s * tint / 255), the
// destination d and the weight w = amount / 255 * (own alpha / 255):
//   Alpha     d + (c - d) * w
//   Add       min(d + c * w, M)
//   Multiply  d + (d * c / M - d) * w
//   Subtract  max(d - c * w, 0)
// A tint under BlendNone draws as BlendAlpha at 255. On 32-bit screens a
// pixel the Alpha mode covers wholly takes the source's spare bits, every
// other pixel drawn gets none; a pixel of weight 0 is left alone.
struct BlendInfo {
    int mode;            // BlendAlpha .. BlendSubtract
    int amount;          // 0..255
    int tinted;          // tint holds a factor other than 256
    int tint[3];         // red, green, blue factors 0..256; 256 keeps the channel
    uint32_t key;        // colour key as a pixel value of the screen format
};

// Fills `blend` from the drawing state. 1 when the draw needs the blend
// loops: a mode other than BlendNone or a tint, on a 16- or 32-bit screen;
// `force` asks for them under the plain state too (mirrored and stretched
// draws have no other loops), as BlendAlpha at 255.
int CurrentBlend(BlitFormat format, int force, BlendInfo* blend);

// One run of `count` pixels: source pixels (in the screen's format) and
// their alpha bytes (null: opaque) onto `dst`, reading the destination from
// `read` (the same pixels, or a copy of them).
using BlendSpan = void (*)(uint8_t* dst, const uint8_t* read, const uint8_t* src,
                           const uint8_t* alpha, int count, const BlendInfo& blend);
BlendSpan ChooseBlendSpan(BlitFormat format, const BlendInfo& blend, int keyed, int alpha);
// A rectangle through `info.span` a row at a time.
void BlendRows(const BlitInfo& info);

// Per-pixel alpha onto 16- and 32-bit screens (blit_alpha.cpp); null for a
// format they do not draw. `keyed`: source pixels equal to the key are skipped.
BlitLoop ChooseAlphaLoop(BlitFormat format, int keyed);
BlitLoop ChooseAlphaReferenceLoop(BlitFormat format, int keyed);

// The rectangle with each edge limited to `area`'s range on its axis (left
// and right to area.left..area.right, top and bottom to area.top..area.bottom).
Rect ClampInto(int64_t left, int64_t top, int64_t right, int64_t bottom, const Rect& area);

// 1 when the graph's first piece has a surface to draw from: what either
// path needs before it draws the graph.
int GraphHasPixels(const GraphRecord* graph);

// The software path's operations (draw_path.h): DrawGraph's blitter
// (blit.cpp), the turned one (blit_rotate.cpp), the clear (draw_state.cpp)
// and the glyph runs (blit_glyph.cpp).
int BlitGraph(int x, int y, GraphRecord* graph, int transparent);
int BlitTurnedGraph(int x, int y, double scale, double angle, GraphRecord* graph,
                    int transparent);
int BlitClear();
int BeginGlyphCopy(GlyphRun* run);
void CopyGlyphOfRun(GlyphRun* run, int srcX, int srcY, const Rect& target);
void EndGlyphCopy(GlyphRun* run);

// --- rotated blitting (blit_rotate.cpp) -------------------------------------

// The walk over the clipped bounding box of a rotated graph, in 14.18 fixed
// point: (u, v) is the source position of the box's top-left pixel.
struct RotaInfo {
    uint8_t* dst;            // the box's top-left pixel in the draw surface
    int dstPitch;
    const uint8_t* src;      // source pixel (0, 0)
    int srcPitch;
    const uint8_t* alpha;    // alpha byte of source pixel (0, 0), or null
    int alphaPitch;
    int srcWidth, srcHeight; // the graph's size: samples outside are not drawn
    int width, height;       // the box's columns and rows
    int32_t u, v;            // 14.18 source position at the box's top-left
    int32_t dudx, dvdx;      // per column
    int32_t dudy, dvdy;      // per row, at the box's left column
    uint32_t key;            // colour key as a pixel value
    // The blend state's draws only (ChooseRotaBlendLoop): the span each
    // run of drawn pixels goes through.
    BlendSpan span;
    BlendInfo blend;
};

using RotaLoop = void (*)(const RotaInfo& info);

// `alpha`: mix by the alpha plane; `keyed`: skip key-coloured source pixels.
RotaLoop ChooseRotaLoop(BlitFormat format, int alpha, int keyed);
RotaLoop ChooseRotaReferenceLoop(BlitFormat format, int alpha, int keyed);
// The walk that hands its drawn runs to `info.span`; 16- and 32-bit formats.
RotaLoop ChooseRotaBlendLoop(BlitFormat format);

// The alpha mix of the rotated blitter over `count` gathered source pixels
// (in the screen's format) and their alpha bytes onto consecutive pixels at
// `dst` (blit_rotate_mix.cpp); 16- and 32-bit formats.
void MixRotaRun(BlitFormat format, uint8_t* dst, const void* src, const uint8_t* alpha,
                int count, int keyed, uint32_t key);

// The geometry of one rotated draw before any surface is touched.
struct RotaSetup {
    Rect box;                // clipped bounding box in target coordinates
    int32_t u, v;            // 14.18 source position at (box.left, box.top)
    int32_t dudx, dvdx, dudy, dvdy;
    double cosine, sine;     // of the angle, for placing the turned picture
};

// Fills `setup` for a W x H graph centred on (x, y); 0 when something is to
// be drawn, -1 when the box is empty after clipping to `area` or the scale
// or angle cannot be drawn.
int SetUpRotation(int x, int y, double scale, double angle, int width, int height,
                  const Rect& area, RotaSetup* setup);

// Points (du[k], dv[k]) from a centre, turned by the angle whose cosine and
// sine are `c` and `s` about (x, y) and moved by `shift` on both axes: the
// corners of a turned quad, on either path.
void TurnCorners(double x, double y, double c, double s, double shift, const double du[4],
                 const double dv[4], double px[4], double py[4]);

// The rectangle DrawRotaGraph hands its mask hooks.
Rect RotatedMaskBox(int x, int y, double scale, double angle, int width, int height);

// 1 for a scale and angle that can be drawn: finite, the scale not 0 (a
// negative scale turns the graph by another half turn).
int DrawableRotation(double scale, double angle);

#endif
