// The ring of key, mouse-button and pad-button changes both back ends feed
// as the system reports them, and the wheel's notches. The library empties
// both once a pump, so a change is seen even when it is undone before the
// program looks at the state again.
#include "platform/device/backend.h"
#include "platform/device/record.h"

#include <algorithm>
#include <cstring>

namespace {

constexpr int kRingSize = 512;

struct InputEventRing {
    PlatInputEvent events[kRingSize];
    int start;        // oldest event
    int count;        // events held
    int lost;         // dropped to make room since the last PlatTakeInputTotals
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
    RecordWheel(x, y);
    gRing.wheelX += x;
    gRing.wheelY += y;
}

int PlatInputWaiting() { return gRing.count | gRing.lost | gRing.wheelX | gRing.wheelY; }

int PlatTakeInputEvents(PlatInputEvent* out, int capacity) {
    int taken = 0;
    while (taken < capacity && gRing.count > 0) {
        // The oldest run up to the ring's end, then from its start.
        int run = std::min({capacity - taken, gRing.count, kRingSize - gRing.start});
        std::memcpy(out + taken, gRing.events + gRing.start, sizeof(PlatInputEvent) * run);
        taken += run;
        gRing.start = (gRing.start + run) % kRingSize;
        gRing.count -= run;
    }
    return taken;
}

void PlatTakeInputTotals(int* lost, int* wheelX, int* wheelY) {
    *lost = gRing.lost;
    *wheelX = gRing.wheelX;
    *wheelY = gRing.wheelY;
    gRing.lost = gRing.wheelX = gRing.wheelY = 0;
}

void PlatClearInputEvents() { gRing = InputEventRing{}; }
