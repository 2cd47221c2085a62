// Tessel's public header, the part of fonts and text. Programs include
// tessel.h, which includes every part.
#ifndef TESSEL_PUBLIC_TEXT_H
#define TESSEL_PUBLIC_TEXT_H

#include "tessel/core.h"

#pragma GCC visibility push(default)

// ---------------------------------------------------------------------------
// Text
// ---------------------------------------------------------------------------

int SetDefaultFontSize(int size);
int SetDefaultFontThickness(int thickness);
int MeasureTextWidth(const char* format, ...);
int DrawTextString(int x, int y, const char* text, uint32_t colour, uint32_t edgeColour);
int DrawTextFormat(int x, int y, uint32_t colour, const char* format, ...);

constexpr int FontFaceNameLength = 256;  // bytes of a face name, the terminator included

// A font and its glyph cache. faceName null or "" lets the platform choose a
// Japanese font; size is the character height in pixels (-1: 16); the
// weight is thickness x 100 (-1: 6), bold from 600; fontType -1 or 0 (plain);
// charSetIndex 0 default, 1 Shift-JIS, 2 Hangeul; slot and serial -1 let the
// table choose. A name that is not installed gives fontconfig's closest
// face. The handle, or -1 (no installed face opens, no slot, a bad size).
int CreateFontToHandle(const char* faceName, int size, int thickness, int fontType,
                       int charSetIndex, int slot, int serial);
int ReleaseFontHandle(int font);              // 0, or -1 for an invalid handle
// Registers an int32 that becomes 1 when the font is released, and stores 0
// into it now. 0, or -1 for an invalid handle.
int SetFontDeleteFlag(int font, int32_t* target);
int ClearFontCache(int font);                 // forgets every cached glyph; 0 or -1
int FontHandleIsValid(int font);              // 1 or 0
int QueryFontSize(int font);                  // the size, or -1
// Null outputs are skipped; faceName has room for FontFaceNameLength bytes
// and gets the family of the face in use, in its own spelling, whatever
// name was asked for ("" for the platform's choice). 0 or -1.
int QueryFontSettings(char* faceName, int* size, int* thickness, int font);
// Both settings at once; -1 while graphics are shut down.
int SetDefaultFontSizeAndThickness(int size, int thickness);
int QueryDefaultFont();                       // the default font's handle
// Draws a Shift-JIS string at (x, y) of the draw target. 0, or -1 for an
// invalid font or a target that cannot be drawn on.
int DrawTextWithFont(int x, int y, const char* text, uint32_t colour, int font,
                     uint32_t edgeColour);

// A font from a TrueType or OpenType file (the first face of a collection),
// read through the file layer in force; size, thickness and fontType as for
// CreateFontToHandle. QueryFontSettings names it by the file's family name.
// The handle, or -1 (the file is missing or FreeType refuses it, logged).
int CreateFontFromFile(const char* path, int size, int thickness, int fontType);
// The width in pixels of the first `length` bytes of `text` (fewer where the
// text ends first) in `font`; -1 for a null text, a negative length or an
// invalid font.
int MeasureTextWidthWithFont(const char* text, int length, int font);
// Draws `text` at (x, y) wrapped in lines of at most `width` pixels: a line
// breaks at a run of spaces, which the next line skips, or between two
// double-byte characters; a word wider than `width` breaks between
// characters, and each line holds at least one character. "\n" ends a line
// (a final one starts none); lines are the font's cell height apart. The
// height drawn, or -1 (null text, width under 1, invalid font, a target
// that cannot be drawn on).
int DrawTextBlock(int x, int y, int width, const char* text, uint32_t colour, int font);
// Lays `text` out as DrawTextBlock would without drawing: the widest line's
// width, and the block's height in *height; -1 for bad arguments as there
// or a null height.
int MeasureTextBlock(int width, const char* text, int font, int* height);

#pragma GCC visibility pop

#endif
