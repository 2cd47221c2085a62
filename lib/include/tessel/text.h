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
// Null outputs are skipped; faceName has room for FontFaceNameLength bytes. 0 or -1.
int QueryFontSettings(char* faceName, int* size, int* thickness, int font);
// Both settings at once; -1 while graphics are shut down.
int SetDefaultFontSizeAndThickness(int size, int thickness);
int QueryDefaultFont();                       // the default font's handle
// Draws a Shift-JIS string at (x, y) of the draw target. 0, or -1 for an
// invalid font or a target that cannot be drawn on.
int DrawTextWithFont(int x, int y, const char* text, uint32_t colour, int font,
                     uint32_t edgeColour);

#pragma GCC visibility pop

#endif
