// Tessel's public header, the part of typed text and input fields. Programs
// include tessel.h, which includes every part.
#ifndef TESSEL_PUBLIC_TEXTINPUT_H
#define TESSEL_PUBLIC_TEXTINPUT_H

#include "tessel/core.h"

#pragma GCC visibility push(default)

// ---------------------------------------------------------------------------
// Text input
// ---------------------------------------------------------------------------

// The typed-character buffer (Shift-JIS, 1,024 bytes): the next byte, 0
// when empty; a double-byte character is two calls, lead byte first. With
// `peek` 1 the byte stays. The editing keys give control codes: Backspace
// 0x08, Tab 0x09, Return 0x0D, Escape 0x1B, Delete 0x10, Left 0x1D, Right
// 0x1C, Up 0x1E, Down 0x1F, Home 0x01, End 0x05.
int GetInputChar(int peek);
int ClearInputChars();                        // 0

// Input fields. maxBytes 1..65536 bytes of Shift-JIS; cancelable lets
// Escape cancel; singleByteOnly drops double-byte characters; digitsOnly
// takes 0-9 and a leading minus. The handle, or -1.
int MakeInputField(int maxBytes, int cancelable, int singleByteOnly, int digitsOnly);
int DeleteInputField(int field);              // 0, or -1 for an invalid handle
// Makes `field` the one field that takes typed text (-1: none). 0 or -1.
int ActivateInputField(int field);
// 0 editing, 1 entered (Return), 2 cancelled (Escape); -1 for an invalid handle.
int GetInputFieldState(int field);
// Copies the text, cut at a whole character to fit `size` with its
// terminator. Its length in bytes, or -1.
int GetInputFieldText(int field, char* buffer, int size);
// Text longer than the field is cut at a whole character; text the field
// refuses (invalid Shift-JIS: a lead byte without a trail byte 0x40..0x7E or
// 0x80..0xFC, or 0xFD..0xFF; a non-digit in a digits field, a double-byte
// character in a single-byte field, a control character) leaves it
// unchanged. 0 or -1.
int SetInputFieldText(int field, const char* text);
int GetInputFieldNumber(int field);           // the text's number; -1 for an invalid handle
int SetInputFieldFont(int field, int font);   // -1: the default font. 0 or -1
// Draws the field's text with its top-left at (x, y). 0 or -1.
int DrawInputField(int x, int y, int field);
// The colours of every field (MakeColor values, kept as colours across
// screen mode changes): text, cursor, composition text, the composition's
// underline, selected text, the selection's background and the
// composition's cursor. 0.
int SetInputFieldColours(uint32_t text, uint32_t cursor, uint32_t compositionText,
                         uint32_t compositionLine, uint32_t selectedText,
                         uint32_t selectionBackground, uint32_t compositionCursor);
// Makes a field at (x, y), pumps and draws it until Return or Escape and
// copies its text to `out` (room for maxBytes + 1). 0, or -1 when
// cancelled or the window closed.
int InputString(int x, int y, int maxBytes, char* out, int cancelable);
// The input method's composition (Shift-JIS, cut to fit `size`) and its
// cursor as a byte offset into it. Its length in bytes; 0 while none.
int GetImeComposition(char* buffer, int size, int* cursor);

#pragma GCC visibility pop

#endif
