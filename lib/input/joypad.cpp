// Joypad reading and the joypad state word.
#include "input/input.h"

#include "core/core.h"

namespace {

constexpr int kHighestPadNumber = 9;
constexpr int kButtonBits = 24;   // buttons 0..23 fit the state word
constexpr uint8_t kHeldBit = 0x80;

int PadBits(const JoypadState& state) {
    int bits = 0;
    if (state.y > 0) bits |= JoypadDown;
    if (state.x < 0) bits |= JoypadLeft;
    if (state.x > 0) bits |= JoypadRight;
    if (state.y < 0) bits |= JoypadUp;
    for (int button = 0; button < kButtonBits; ++button)
        if (state.buttons[button] & kHeldBit) bits |= JoypadButton0 << button;
    return bits;
}

// Each direction and button answers to two keys, so that the keyboard can
// stand in for a pad.
struct KeyBit {
    uint8_t key;
    int bit;
};
constexpr KeyBit kKeyBits[] = {
    {KeyDown, JoypadDown},         {KeyNumpad2, JoypadDown},
    {KeyLeft, JoypadLeft},         {KeyNumpad4, JoypadLeft},
    {KeyRight, JoypadRight},       {KeyNumpad6, JoypadRight},
    {KeyUp, JoypadUp},             {KeyNumpad8, JoypadUp},
    {KeyZ, JoypadButton0 << 0},    {KeyX, JoypadButton0 << 1},
    {KeyC, JoypadButton0 << 2},    {KeyA, JoypadButton0 << 3},
    {KeyS, JoypadButton0 << 4},    {KeyD, JoypadButton0 << 5},
    {KeyQ, JoypadButton0 << 6},    {KeyW, JoypadButton0 << 7},
    {KeyEscape, JoypadButton0 << 8}, {KeySpace, JoypadButton0 << 9},
};

int KeyboardBits() {
    RefreshKeyTable();
    int bits = 0;
    for (const KeyBit& entry : kKeyBits)
        if (gInput.keyTable[entry.key] & kHeldBit) bits |= entry.bit;
    return bits;
}

// Brings the last state of registered pad `slot` (0-based) up to date.
void RefreshJoypad(int slot) {
    JoypadEntry& pad = gInput.joypads[slot];
    uint32_t now = PlatTicksMs();
    if (now == pad.readTime && !PlatJoypadSignalled(pad.device)) return;
    pad.readTime = now;

    JoypadState state{};
    bool read = PlatJoypadRead(pad.device, &state) == 0;
    if (!read) {
        // A pad is lost to another window; give the window a turn before
        // taking it back.
        if (PumpWithinFrame() != 0 || !gInput.open) return;
        if (PlatJoypadAcquire(pad.device) == 0) {
            PumpWithinFrame();
            if (!gInput.open) return;
            read = PlatJoypadRead(pad.device, &state) == 0;
        }
    }
    if (read) pad.last = state;
    if (PlatJoypadSignalled(pad.device)) PlatJoypadResetEvent(pad.device);
}

}  // namespace

int GetJoypadState(int pad) {
    if (!LibraryRunning()) return 0;
    if (InputUnavailable()) return -1;
    int number = pad & ~JoypadWithKeyboard;
    if (number < 0 || number > kHighestPadNumber) return 0;

    int bits = 0;
    // Closed devices have nothing to report, even while the count remembers them.
    if (gInput.open && number >= 1 && number <= gInput.joypadCount) {
        RefreshJoypad(number - 1);
        bits = PadBits(gInput.joypads[number - 1].last);
    }
    if (pad & JoypadWithKeyboard) bits |= KeyboardBits();
    return bits;
}
