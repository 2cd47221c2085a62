// The program's queue of key, mouse-button and pad-button changes, the
// edges of the last pump interval and the wheel. The platform's ring is
// emptied into them once a pump, so what a program sees changes only when
// it pumps, as the snapshot queries do.
#include "input/input.h"

#include "core/core.h"

InputEventState gInputEvents;

namespace {

constexpr int kMouseButtons = 1 | 2 | 4;
// Key events thrown away per drain call.
constexpr int kDrainBatch = 5;
constexpr int kTakeBatch = 64;  // events moved from the platform at a time

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

void NoteEdge(const PlatInputEvent& event, uint32_t stamp) {
    InputEventState& s = gInputEvents;
    if (event.kind == PlatInputKey) {
        (event.down ? s.keyPressed : s.keyReleased)[event.code] = stamp;
    } else if (event.kind == PlatInputMouseButton && event.down) {
        for (int bit = 0; bit < 3; ++bit)
            if (event.code & (1 << bit)) s.buttonPressed[bit] = stamp;
    }
}

// 1 when the edge came in the interval the program's last pump closed.
int Edge(uint32_t stamp) { return stamp != 0 && stamp == gInputEvents.pumpNumber ? 1 : 0; }

}  // namespace

void TakeInputEvents() {
    InputEventState& s = gInputEvents;
    // A pump inside a library operation must not close the program's
    // interval: its edges wait for the program's own next pump.
    uint32_t stamp = gCore.innerPumps ? s.pumpNumber + 1 : ++s.pumpNumber;
    // Most pumps bring no input at all.
    if (!PlatInputWaiting()) return;
    PlatInputEvent batch[kTakeBatch];
    int taken = kTakeBatch;
    while (taken == kTakeBatch) {
        taken = PlatTakeInputEvents(batch, kTakeBatch);
        for (int i = 0; i < taken; ++i) {
            PlatInputEvent& event = batch[i];
            if (event.kind == PlatInputPadButton) {
                int pad = PadNumberOf(event.code / 32);
                if (pad == 0) continue;
                event.code = pad * 32 + event.code % 32;
            }
            NoteEdge(event, stamp);
            Queue(event);
        }
    }
    int lost = 0, x = 0, y = 0;
    PlatTakeInputTotals(&lost, &x, &y);
    s.lost += lost;
    s.wheelX += x;
    s.wheelY += y;
}

void DrainKeyboardBuffer() {
    if (!gInput.keyboardOpen) return;
    while (PlatKeyboardDrain(kDrainBatch) == kDrainBatch) {
    }
}

// One call from the pump for both: it runs every frame.
void InputPumpService() {
    DrainKeyboardBuffer();
    TakeInputEvents();
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
    // What happened before the call but was not pumped yet goes too; the
    // wheel and the edges are no events and stay.
    PlatInputEvent batch[kTakeBatch];
    while (PlatTakeInputEvents(batch, kTakeBatch) > 0) {
    }
    // Its losses go with it; its notches are kept for GetMouseWheel.
    int lost = 0, x = 0, y = 0;
    PlatTakeInputTotals(&lost, &x, &y);
    s.wheelX += x;
    s.wheelY += y;
    return 0;
}

int GetLostInputEventCount() { return LibraryRunning() ? gInputEvents.lost : 0; }

int WasKeyPressed(int key) {
    if (key < 0 || key > 255) return NoteBadArgument("WasKeyPressed");
    return LibraryRunning() ? Edge(gInputEvents.keyPressed[key]) : 0;
}

int WasKeyReleased(int key) {
    if (key < 0 || key > 255) return NoteBadArgument("WasKeyReleased");
    return LibraryRunning() ? Edge(gInputEvents.keyReleased[key]) : 0;
}

int WasMouseButtonPressed(int button) {
    if (button <= 0 || (button & ~kMouseButtons)) return NoteBadArgument("WasMouseButtonPressed");
    if (!LibraryRunning()) return 0;
    for (int bit = 0; bit < 3; ++bit)
        if ((button & (1 << bit)) && Edge(gInputEvents.buttonPressed[bit])) return 1;
    return 0;
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
