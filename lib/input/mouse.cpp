// The mouse: position in client coordinates, buttons and the cursor.
#include "input/input.h"

#include "core/core.h"
#include "draw/screen.h"

#include <algorithm>

namespace {

// Virtual keys of the mouse buttons in the system key state.
constexpr int kLeftButtonKey = 0x01;
constexpr int kRightButtonKey = 0x02;
constexpr int kMiddleButtonKey = 0x04;
constexpr uint8_t kHeldBit = 0x80;

}  // namespace

int GetMousePosition(int* x, int* y) {
    if (!LibraryRunning()) return -1;
    if (InputUnavailable()) return -1;
    int cursorX = 0;
    int cursorY = 0;
    PlatGetCursorPos(&cursorX, &cursorY);
    // Full screen: the client area is the screen itself.
    if (gCore.settings.windowed) {
        cursorX -= gCore.clientLeft;
        cursorY -= gCore.clientTop;
    }
    if (x) *x = cursorX;
    if (y) *y = cursorY;
    return 0;
}

int SetMousePosition(int x, int y) {
    if (!LibraryRunning()) return -1;
    if (InputUnavailable()) return -1;
    x = std::clamp(x, 0, ScreenWidth());
    y = std::clamp(y, 0, ScreenHeight());
    if (gCore.settings.windowed) {
        x += gCore.clientLeft;
        y += gCore.clientTop;
    }
    PlatSetCursorPos(x, y);
    return 0;
}

int GetMouseButtons() {
    if (!LibraryRunning()) return 0;
    if (InputUnavailable()) return -1;
    uint8_t system[256] = {};
    PlatSystemKeyState(system);
    int buttons = 0;
    if (system[kLeftButtonKey] & kHeldBit) buttons |= 1;
    if (system[kRightButtonKey] & kHeldBit) buttons |= 2;
    if (system[kMiddleButtonKey] & kHeldBit) buttons |= 4;
    return buttons;
}

int SetMouseVisible(int visible) {
    if (!LibraryRunning()) return -1;
    if (InputUnavailable()) return -1;
    if (visible == gCore.cursorVisible) return 0;
    gCore.cursorVisible = visible;
    // The system keeps a display count: the cursor shows while it is 0 or more.
    if (visible) {
        while (PlatShowCursor(1) < 0) {
        }
    } else {
        while (PlatShowCursor(0) >= 0) {
        }
    }
    // The window procedure hides the cursor again on this message while the
    // flag is 0, and leaves it alone otherwise.
    PlatMessage message{MsgSetCursor, 0, 0};
    PlatPostMessage(&message);
    return 0;
}
