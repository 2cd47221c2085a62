// Prints the input events and wheel notches a desktop run receives, a line
// each, for input_xvfb.sh; ends on Escape or after 30 s.
#include "tessel.h"

#include <cstdio>

int main() {
    ChangeWindowMode(1);
    if (InitLibrary() != 0) return 1;
    for (int start = GetTickMs(0); PumpMessages() == 0 && GetTickMs(0) - start < 30000;) {
        int kind, code, down, x, y;
        while (GetInputEvent(&kind, &code, &down) == 1) std::printf("event %d %d %d\n", kind, code, down);
        if (GetMouseWheel(&x, &y) == 0 && (x || y)) std::printf("wheel %d %d\n", x, y);
        std::fflush(stdout);
        if (WasKeyPressed(KeyEscape) == 1) break;
        PresentScreen();
    }
    return EndLibrary();
}
