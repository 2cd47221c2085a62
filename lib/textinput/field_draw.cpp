// Drawing a field (its text, the selection, the blinking cursor, and while
// the input method composes, the composition underlined at the cursor with
// a cursor of its own) and the blocking InputString helper.
#include "textinput/textinput.h"

#include "core/core.h"
#include "draw/draw_state.h"
#include "graphics/color.h"
#include "graphics/load.h"
#include "platform/surface.h"
#include "text/font.h"

#include <algorithm>
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
    return std::max(0, FontCacheStringDraw(0, 0, 0, piece.c_str(), 0, nullptr, Rect{},
                                           QueryScreenDepth(), 0, font, 0, -1, nullptr));
}

// Fills a rectangle of the draw target in target coordinates, inside the
// clipping rectangle.
void FillRect(int left, int top, int right, int bottom, uint32_t colour) {
    if (!gDraw.drawSurface || gDraw.targetUnusable || DrawingSuspended()) return;
    Rect area = gDraw.drawArea;
    left = std::max(left, area.left);
    top = std::max(top, area.top);
    right = std::min(right, area.right);
    bottom = std::min(bottom, area.bottom);
    if (left >= right || top >= bottom) return;
    int ox = gDraw.targetOrigin.left, oy = gDraw.targetOrigin.top;
    PlatFillSurfaceRect(gDraw.drawSurface, left + ox, top + oy, right + ox, bottom + oy, colour);
}

// Draws `length` bytes at x and returns the x after them.
int DrawPiece(int x, int y, int font, const char* text, int length, uint32_t colour) {
    if (length <= 0) return x;
    std::string piece(text, length);
    DrawTextWithFont(x, y, piece.c_str(), colour, font, 0);
    return x + Measure(font, text, length);
}

bool CursorShown(const InputFieldRecord* field) {
    int period = gCore.cursorBlinkMs > 0 ? gCore.cursorBlinkMs : 500;
    return (GetTickMs(0) - field->blinkStart) / period % 2 == 0;
}

void DrawComposition(int x, int y, int font, int size, const char* text, int length, int cursor) {
    const uint32_t* colours = gCore.inputColours;
    int end = DrawPiece(x, y, font, text, length, colours[ColourCompositionText]);
    FillRect(x, y + size, end, y + size + 1, colours[ColourCompositionLine]);
    int cursorX = x + Measure(font, text, cursor);
    FillRect(cursorX, y, cursorX + kCursorWidth, y + size, colours[ColourCompositionCursor]);
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
    const uint32_t* colours = gCore.inputColours;
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
    int pen = x;
    int cursorX = x;
    auto cursorHere = [&]() {
        cursorX = pen;
        if (!composing) return;
        DrawComposition(pen, y, font, size, composition, compositionLength, compositionCursor);
        pen += Measure(font, composition, compositionLength);
    };
    pen = DrawPiece(pen, y, font, text, start, colours[ColourText]);
    if (field->cursor == start) cursorHere();
    FillRect(pen, y, pen + Measure(font, text + start, end - start), y + size,
             colours[ColourSelectionBack]);
    pen = DrawPiece(pen, y, font, text + start, end - start, colours[ColourSelectedText]);
    if (field->cursor != start) cursorHere();
    DrawPiece(pen, y, font, text + end, field->length - end, colours[ColourText]);

    if (active && !composing && CursorShown(field))
        FillRect(cursorX, y, cursorX + kCursorWidth, y + size, colours[ColourCursor]);
    // The input method's own window opens beside the cursor.
    if (active) PlatSetTextInputRect(cursorX, y, kCursorWidth, size);
    return 0;
}

int InputString(int x, int y, int maxBytes, char* out, int cancelable) {
    if (!out) return -1;
    int field = MakeInputField(maxBytes, cancelable, 0, 0);
    if (field == -1) return -1;
    ActivateInputField(field);
    RefreshDefaultFont();
    int size = QueryFontSize(gFont.defaultFont);
    int width = Measure(gFont.defaultFont, "W", 1) * maxBytes + kCursorWidth;
    int result = -1;
    while (PumpMessages() == 0) {
        int state = GetInputFieldState(field);
        if (state != FieldEditing) {
            if (state == FieldEntered) result = 0;
            break;
        }
        // Each frame covers the field's place before drawing it again.
        FillRect(x, y, x + width, y + size + 2, 0);
        DrawInputField(x, y, field);
        if (gDraw.target == TargetBack) PresentScreen();
    }
    if (result == 0) GetInputFieldText(field, out, maxBytes + 1);
    DeleteInputField(field);
    return result;
}
