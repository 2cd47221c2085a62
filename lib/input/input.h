// Keyboard, mouse and joypads: internal operations.
#ifndef TESSEL_INPUT_H
#define TESSEL_INPUT_H

#include "tessel/input.h"
#include "platform/platform.h"

#include <cstdint>

// One registered joypad.
struct JoypadEntry {
    int device;          // the platform's device number
    JoypadState last;    // the last state read successfully
    uint32_t readTime;   // PlatTicksMs of the last read
};

// The input state; cleared whenever the devices are opened.
struct InputState {
    int open;                        // the devices are open (stands for the input object)
    int keyboardOpen;                // 0: keys come from the system key state
    uint32_t keyboardReadTime;       // PlatTicksMs of the last key-table read
    uint8_t keyTable[256];           // by scan code; bit 7 set while held
    int joypadCount;                 // pads registered, 0..MaxJoypads
    JoypadEntry joypads[MaxJoypads]; // in the order the platform listed them
};

extern InputState gInput;

constexpr int InputEventQueueSize = 512;

// The program's side of the input events (events.cpp); unlike InputState it
// lives while the library does, through every reopening of the devices.
struct InputEventState {
    PlatInputEvent queue[InputEventQueueSize];  // ring, pads by their number
    int start, count;       // oldest event, events held
    int lost;               // dropped since the start or ClearInputEvents
    // Edges, as the number of the pump that brought them: an edge of the
    // last interval carries `pumpNumber`, so a new pump forgets every edge
    // without touching them.
    uint32_t pumpNumber;
    uint32_t keyPressed[256], keyReleased[256];
    uint32_t buttonPressed[3];  // left, right, middle
    int wheelX, wheelY;     // notches not yet taken by GetMouseWheel
};

extern InputEventState gInputEvents;

// Opens the keyboard device and the joypads. 0; -1 when the input object
// cannot be made; 1 when the keyboard's change event cannot be set up.
int InitInputDevices();
int EndInputDevices();   // 0
// Throws the keyboard's buffered events away.
void DrainKeyboardBuffer();
// The end-of-pump service: the drain, then TakeInputEvents.
void InputPumpService();

// End-of-pump service: moves the platform's events into the queue and
// makes the edges of the interval that just ended.
void TakeInputEvents();
// Forgets every event, edge and notch, the platform's included.
void ResetInputEvents();

// The step every public input operation starts with: waits while the window
// is inactive, then opens closed devices. True when they stayed closed and
// the caller must fail with -1; after a reopening the caller answers as
// usual, from a key table that reads all keys up until the device is read.
bool InputUnavailable();
// Brings the key table up to date from the device or the system key state.
void RefreshKeyTable();

#endif
