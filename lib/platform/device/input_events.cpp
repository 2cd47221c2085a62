// The ring of key, mouse-button and pad-button changes both back ends feed
// as the system reports them, and the wheel's notches. The library empties
// both once a pump, so a change is seen even when it is undone before the
// program looks at the state again.
#include "platform/device/backend.h"

namespace {

constexpr int kRingSize = 512;

struct InputEventRing {
    PlatInputEvent events[kRingSize];
    int start;        // oldest event
    int count;        // events held
    int lost;         // dropped to make room since the last PlatTakeLostInputEvents
    int wheelX, wheelY;
};

InputEventRing gRing;

}  // namespace

void PlatNoteInputEvent(int kind, int code, int down) {
    // A full ring gives up its oldest change: the newest tells the program
    // where the devices stand now.
    if (gRing.count == kRingSize) {
        gRing.start = (gRing.start + 1) % kRingSize;
        --gRing.count;
        ++gRing.lost;
    }
    gRing.events[(gRing.start + gRing.count) % kRingSize] = {kind, code, down ? 1 : 0};
    ++gRing.count;
}

void PlatNoteWheel(int x, int y) {
    gRing.wheelX += x;
    gRing.wheelY += y;
}

int PlatTakeInputEvent(PlatInputEvent* out) {
    if (gRing.count == 0) return 0;
    *out = gRing.events[gRing.start];
    gRing.start = (gRing.start + 1) % kRingSize;
    --gRing.count;
    return 1;
}

int PlatTakeLostInputEvents() {
    int lost = gRing.lost;
    gRing.lost = 0;
    return lost;
}

void PlatTakeWheel(int* x, int* y) {
    *x = gRing.wheelX;
    *y = gRing.wheelY;
    gRing.wheelX = gRing.wheelY = 0;
}

void PlatClearInputEvents() { gRing = InputEventRing{}; }
