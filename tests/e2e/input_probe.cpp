// Prints, one line each, the input events and wheel notches a desktop run
// receives, for input_xvfb.sh; ends on Escape or after 30 s.
#include "tessel.h"

#include <cstdio>

int main() {
    SetLogEnabled(0);
    ChangeWindowMode(1);
    if (InitLibrary() != 0) return 1;
    SetDrawTarget(TargetBack);
    std::puts("ready");
    std::fflush(stdout);
    int start = GetTickMs(0);
    while (PumpMessages() == 0 && GetTickMs(0) - start < 30000) {
        int kind = 0, code = 0, down = 0;
        while (GetInputEvent(&kind, &code, &down) == 1)
            std::printf("event %d %d %d\n", kind, code, down);
        int x = 0, y = 0;
        GetMouseWheel(&x, &y);
        if (x || y) std::printf("wheel %d %d\n", x, y);
        std::fflush(stdout);
        if (WasKeyPressed(KeyEscape) == 1) break;
        ClearDrawTarget();
        PresentScreen();
    }
    EndLibrary();
    return 0;
}
