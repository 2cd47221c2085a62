// Drawing a field (its text, the selection, the blinking cursor, and while
// the input method composes, the composition underlined at the cursor with
// a cursor of its own) and the blocking InputString helper.
#include "textinput/textinput.h"

#include "core/core.h"
#include "draw/blit.h"
#include "draw/draw_state.h"
#include "graphics/color.h"
#include "graphics/load.h"
#include "platform/pixels/surface.h"
#include "text/font.h"

#include <algorithm>
#include <climits>
#include <cstdint>
#include <cstring>
#include <string>

namespace {

constexpr int kCursorWidth = 2;
constexpr int kCompositionBytes = 512;

enum Colour : int {
    ColourText,
    ColourCursor,
    ColourCompositionText,
    ColourCompositionLine,
    ColourSelectedText,
    ColourSelectionBack,
    ColourCompositionCursor,
};

int Measure(int font, const char* text, int length) {
    if (length <= 0) return 0;
    std::string piece(text, length);
    return std::max(0, FontCacheStringDraw({.font = font, .text = piece.c_str()}));
}

// One of the field colours (kept as 0xRRGGBB) in the screen's format now.
uint32_t FieldColour(Colour which) {
    uint32_t rgb = gTextInput.colours[which];
    return MakeColor(rgb >> 16 & 0xFF, rgb >> 8 & 0xFF, rgb & 0xFF);
}

// Fills a rectangle of the draw target in target coordinates, inside the
// clipping rectangle. The edges are 64-bit, as a field placed near the ends
// of the int range reaches past them.
void FillRect(int64_t left, int64_t top, int64_t right, int64_t bottom, uint32_t colour) {
    if (!gDraw.drawSurface || DrawingSuspended()) return;
    Rect r = ClampInto(left, top, right, bottom, gDraw.drawArea);
    if (r.left >= r.right || r.top >= r.bottom) return;
    int ox = gDraw.targetOrigin.left, oy = gDraw.targetOrigin.top;
    PlatFillSurfaceRect(gDraw.drawSurface, r.left + ox, r.top + oy, r.right + ox, r.bottom + oy,
                        colour);
}

// Draws `length` bytes at x and returns the x after them. Text that starts
// past the int range is off every target and is only measured.
int64_t DrawPiece(int64_t x, int y, int font, const char* text, int length, uint32_t colour) {
    if (length <= 0) return x;
    std::string piece(text, length);
    if (x >= INT_MIN && x <= INT_MAX)
        DrawTextWithFont(static_cast<int>(x), y, piece.c_str(), colour, font, 0);
    return x + Measure(font, text, length);
}

bool CursorShown(const InputFieldRecord* field) {
    int period = gTextInput.cursorBlinkMs > 0 ? gTextInput.cursorBlinkMs : 500;
    return (GetTickMs(0) - field->blinkStart) / period % 2 == 0;
}

void DrawComposition(int64_t x, int y, int font, int size, const char* text, int length,
                     int cursor) {
    int64_t end = DrawPiece(x, y, font, text, length, FieldColour(ColourCompositionText));
    int64_t line = int64_t(y) + size;
    FillRect(x, line, end, line + 1, FieldColour(ColourCompositionLine));
    int64_t cursorX = x + Measure(font, text, cursor);
    FillRect(cursorX, y, cursorX + kCursorWidth, line, FieldColour(ColourCompositionCursor));
}

}  // namespace

int DrawInputField(int x, int y, int handle) {
    InputFieldRecord* field = LookupInputField(handle);
    if (!field || !GraphicsStarted()) return -1;
    RefreshDefaultFont();
    int font = LookupFont(field->font) ? field->font : gFont.defaultFont;
    if (!LookupFont(font)) return -1;
    WaitWhileInactive();
    int size = QueryFontSize(font);
    bool active = gTextInput.active == handle;

    char composition[kCompositionBytes];
    int compositionCursor = 0;
    int composing =
        active ? PlatGetComposition(composition, sizeof composition, &compositionCursor) : 0;

    int compositionLength = composing ? static_cast<int>(std::strlen(composition)) : 0;
    compositionCursor = std::min(compositionCursor, compositionLength);

    // Text before the selection, the selection, the text after it; the
    // cursor (and the composition) at whichever end of the selection it is.
    const char* text = field->text;
    int start = std::min(field->cursor, field->anchor);
    int end = std::max(field->cursor, field->anchor);
    int64_t pen = x;
    int64_t cursorX = x;
    auto cursorHere = [&]() {
        cursorX = pen;
        if (!composing) return;
        DrawComposition(pen, y, font, size, composition, compositionLength, compositionCursor);
        pen += Measure(font, composition, compositionLength);
    };
    int64_t bottom = int64_t(y) + size;
    pen = DrawPiece(pen, y, font, text, start, FieldColour(ColourText));
    if (field->cursor == start) cursorHere();
    FillRect(pen, y, pen + Measure(font, text + start, end - start), bottom,
             FieldColour(ColourSelectionBack));
    pen = DrawPiece(pen, y, font, text + start, end - start, FieldColour(ColourSelectedText));
    if (field->cursor != start) cursorHere();
    DrawPiece(pen, y, font, text + end, field->length - end, FieldColour(ColourText));

    if (active && !composing && CursorShown(field))
        FillRect(cursorX, y, cursorX + kCursorWidth, bottom, FieldColour(ColourCursor));
    // The input method's own window opens beside the cursor.
    if (active)
        PlatSetTextInputRect(static_cast<int>(std::clamp<int64_t>(cursorX, INT_MIN, INT_MAX)), y,
                             kCursorWidth, size);
    return 0;
}

int InputString(int x, int y, int maxBytes, char* out, int cancelable) {
    if (!out) return -1;
    int field = MakeInputField(maxBytes, cancelable, 0, 0);
    if (field == -1) return -1;
    ActivateInputField(field);
    RefreshDefaultFont();
    int size = QueryFontSize(gFont.defaultFont);
    int64_t width = int64_t(Measure(gFont.defaultFont, "W", 1)) * maxBytes + kCursorWidth;
    int result = -1;
    while (PumpMessages() == 0) {
        int state = GetInputFieldState(field);
        if (state != FieldEditing) {
            if (state == FieldEntered) result = 0;
            break;
        }
        // Each frame covers the field's place before drawing it again.
        FillRect(x, y, x + width, int64_t(y) + size + 2, 0);
        DrawInputField(x, y, field);
        if (gDraw.target == TargetBack) PresentScreen();
    }
    if (result == 0) GetInputFieldText(field, out, maxBytes + 1);
    DeleteInputField(field);
    return result;
}
