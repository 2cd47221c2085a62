// The program's queue of key, mouse-button and pad-button changes, the
// edges of the last pump interval and the wheel. The platform's ring is
// emptied into them once a pump, so what a program sees changes only when
// it pumps, as the snapshot queries do.
#include "input/input.h"

#include "core/core.h"

#include <cstring>

InputEventState gInputEvents;

namespace {

constexpr int kMouseButtons = 1 | 2 | 4;

// The registered pad of a platform device: its number 1..MaxJoypads, or 0
// when the library does not know the device as a pad.
int PadNumberOf(int device) {
    for (int slot = 0; slot < gInput.joypadCount; ++slot)
        if (gInput.joypads[slot].device == device) return slot + 1;
    return 0;
}

void Queue(const PlatInputEvent& event) {
    InputEventState& s = gInputEvents;
    // The oldest change goes first: the newest tells where the devices are now.
    if (s.count == InputEventQueueSize) {
        s.start = (s.start + 1) % InputEventQueueSize;
        --s.count;
        ++s.lost;
    }
    s.queue[(s.start + s.count) % InputEventQueueSize] = event;
    ++s.count;
}

void NoteEdge(const PlatInputEvent& event) {
    InputEventState& s = gInputEvents;
    s.edgesSet = 1;
    if (event.kind == PlatInputKey) {
        (event.down ? s.keyPressed : s.keyReleased)[event.code] = 1;
    } else if (event.kind == PlatInputMouseButton && event.down) {
        s.buttonsPressed |= event.code;
    }
}

}  // namespace

void TakeInputEvents() {
    InputEventState& s = gInputEvents;
    if (s.edgesSet) {
        std::memset(s.keyPressed, 0, sizeof s.keyPressed);
        std::memset(s.keyReleased, 0, sizeof s.keyReleased);
        s.buttonsPressed = 0;
        s.edgesSet = 0;
    }
    PlatInputEvent event;
    while (PlatTakeInputEvent(&event)) {
        if (event.kind == PlatInputPadButton) {
            int pad = PadNumberOf(event.code / 32);
            if (pad == 0) continue;
            event.code = pad * 32 + event.code % 32;
        }
        NoteEdge(event);
        Queue(event);
    }
    s.lost += PlatTakeLostInputEvents();
    int x = 0, y = 0;
    PlatTakeWheel(&x, &y);
    s.wheelX += x;
    s.wheelY += y;
}

void ResetInputEvents() {
    gInputEvents = InputEventState{};
    PlatClearInputEvents();
}

int GetInputEvent(int* kind, int* code, int* down) {
    if (!kind || !code || !down) return NoteBadArgument("GetInputEvent");
    InputEventState& s = gInputEvents;
    if (!LibraryRunning() || s.count == 0) return 0;
    const PlatInputEvent& event = s.queue[s.start];
    *kind = event.kind;
    *code = event.code;
    *down = event.down;
    s.start = (s.start + 1) % InputEventQueueSize;
    --s.count;
    return 1;
}

int ClearInputEvents() {
    if (!LibraryRunning()) return -1;
    InputEventState& s = gInputEvents;
    s.start = s.count = s.lost = 0;
    // What happened before the call but was not pumped yet goes too.
    PlatInputEvent event;
    while (PlatTakeInputEvent(&event)) {
    }
    PlatTakeLostInputEvents();
    return 0;
}

int GetLostInputEventCount() { return LibraryRunning() ? gInputEvents.lost : 0; }

int WasKeyPressed(int key) {
    if (key < 0 || key > 255) return NoteBadArgument("WasKeyPressed");
    return LibraryRunning() ? gInputEvents.keyPressed[key] : 0;
}

int WasKeyReleased(int key) {
    if (key < 0 || key > 255) return NoteBadArgument("WasKeyReleased");
    return LibraryRunning() ? gInputEvents.keyReleased[key] : 0;
}

int WasMouseButtonPressed(int button) {
    if (button <= 0 || (button & ~kMouseButtons)) return NoteBadArgument("WasMouseButtonPressed");
    return LibraryRunning() && (gInputEvents.buttonsPressed & button) ? 1 : 0;
}

int GetMouseWheel(int* x, int* y) {
    if (!x || !y) return NoteBadArgument("GetMouseWheel");
    *x = *y = 0;
    if (!LibraryRunning()) return 0;
    *x = gInputEvents.wheelX;
    *y = gInputEvents.wheelY;
    gInputEvents.wheelX = gInputEvents.wheelY = 0;
    return 0;
}
