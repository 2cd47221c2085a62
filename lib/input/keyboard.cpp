// The key table and the keyboard queries.
#include "input/input.h"

#include "core/core.h"

#include <cstring>

namespace {

// Virtual key -> scan code, for reading the keys through the system when no
// keyboard device is open. Return is listed twice so that it also sets the
// keypad's Enter; Shift, Control and Alt come from their left and right keys.
struct VirtualKeyScan {
    uint16_t virtualKey;
    uint8_t scanCode;
};
constexpr uint16_t kTableEnd = 0xFFFF;
constexpr VirtualKeyScan kSystemKeys[] = {
    {0x08, 0x0E}, {0x09, 0x0F}, {0x0D, 0x1C}, {0xA0, 0x2A}, {0xA1, 0x36}, {0xA2, 0x1D},
    {0xA3, 0x9D}, {0x1B, 0x01}, {0x20, 0x39}, {0x21, 0xC9}, {0x22, 0xD1}, {0x23, 0xCF},
    {0x24, 0xC7}, {0x25, 0xCB}, {0x26, 0xC8}, {0x27, 0xCD}, {0x28, 0xD0}, {0x2D, 0xD2},
    {0x2E, 0xD3}, {0xBD, 0x0C}, {0xDC, 0x7D}, {0xBE, 0x34}, {0xBF, 0x35}, {0xA4, 0x38},
    {0xA5, 0xB8}, {0x91, 0x46}, {0xBB, 0x27}, {0xBA, 0x92}, {0xDB, 0x1A}, {0xDD, 0x1B},
    {0xC0, 0x91}, {0xE2, 0x2B}, {0xBC, 0x33}, {0x14, 0x3A}, {0x13, 0xC5}, {0x60, 0x52},
    {0x61, 0x4F}, {0x62, 0x50}, {0x63, 0x51}, {0x64, 0x4B}, {0x65, 0x4C}, {0x66, 0x4D},
    {0x67, 0x47}, {0x68, 0x48}, {0x69, 0x49}, {0x6A, 0x37}, {0x6B, 0x4E}, {0x6D, 0x4A},
    {0x6E, 0x53}, {0x6F, 0xB5}, {0x0D, 0x9C}, {0x70, 0x3B}, {0x71, 0x3C}, {0x72, 0x3D},
    {0x73, 0x3E}, {0x74, 0x3F}, {0x75, 0x40}, {0x76, 0x41}, {0x77, 0x42}, {0x78, 0x43},
    {0x79, 0x44}, {0x7A, 0x57}, {0x7B, 0x58}, {0x41, 0x1E}, {0x42, 0x30}, {0x43, 0x2E},
    {0x44, 0x20}, {0x45, 0x12}, {0x46, 0x21}, {0x47, 0x22}, {0x48, 0x23}, {0x49, 0x17},
    {0x4A, 0x24}, {0x4B, 0x25}, {0x4C, 0x26}, {0x4D, 0x32}, {0x4E, 0x31}, {0x4F, 0x18},
    {0x50, 0x19}, {0x51, 0x10}, {0x52, 0x13}, {0x53, 0x1F}, {0x54, 0x14}, {0x55, 0x16},
    {0x56, 0x2F}, {0x57, 0x11}, {0x58, 0x2D}, {0x59, 0x15}, {0x5A, 0x2C}, {0x30, 0x0B},
    {0x31, 0x02}, {0x32, 0x03}, {0x33, 0x04}, {0x34, 0x05}, {0x35, 0x06}, {0x36, 0x07},
    {0x37, 0x08}, {0x38, 0x09}, {0x39, 0x0A},
    {kTableEnd, 0},
};
static_assert(sizeof(kSystemKeys) / sizeof(kSystemKeys[0]) == 100, "99 pairs and the end mark");

constexpr uint8_t kHeldBit = 0x80;

void ReadSystemKeys() {
    uint8_t system[256] = {};
    PlatSystemKeyState(system);
    std::memset(gInput.keyTable, 0, sizeof gInput.keyTable);
    for (const VirtualKeyScan* pair = kSystemKeys; pair->virtualKey != kTableEnd; ++pair)
        gInput.keyTable[pair->scanCode] = system[pair->virtualKey];
}

}  // namespace

void RefreshKeyTable() {
    if (!gInput.keyboardOpen) {
        ReadSystemKeys();
        return;
    }
    // The game asks many times per frame; the device is read at most once a
    // millisecond unless it reported a change.
    uint32_t now = PlatTicksMs();
    if (now == gInput.keyboardReadTime && !PlatKeyboardSignalled()) return;

    uint8_t state[256];
    int read = PlatKeyboardRead(state);
    if (read == -2) {
        if (PlatKeyboardAcquire() != 0) return;
        read = PlatKeyboardRead(state);
        if (read != 0) return;
    }
    // Any other failed read leaves the table as it was.
    if (read == 0) std::memcpy(gInput.keyTable, state, sizeof state);
    gInput.keyboardReadTime = now;
    if (PlatKeyboardSignalled()) PlatKeyboardResetEvent();
}

int GetKeyboardSnapshot(unsigned char out[256]) {
    if (!LibraryRunning()) {
        if (out) std::memset(out, 0, 256);
        return -1;
    }
    if (InputUnavailable()) return -1;
    if (!out) return -1;
    RefreshKeyTable();
    for (int code = 0; code < 256; ++code) out[code] = (gInput.keyTable[code] & kHeldBit) ? 1 : 0;
    // The key hook reports F10 and F12, which the window's system keys hide
    // from the device.
    out[KeyF10] = static_cast<unsigned char>(gCore.f10Held);
    out[KeyF12] = static_cast<unsigned char>(gCore.f12Held);
    return 0;
}

int IsKeyDown(int code) {
    if (!LibraryRunning()) return 0;
    if (InputUnavailable()) return -1;
    if (code < 0 || code > 255) return 0;
    RefreshKeyTable();
    return (gInput.keyTable[code] & kHeldBit) ? 1 : 0;
}

int CheckAnyInput() {
    if (!LibraryRunning()) return 0;
    if (InputUnavailable()) return -1;
    RefreshKeyTable();
    // Kanji toggles the input method and often reads as held for good.
    for (int code = 0; code < 256; ++code)
        if (code != KeyKanji && (gInput.keyTable[code] & kHeldBit)) return code;
    if (gCore.f10Held) return KeyF10;
    for (int pad = 1; pad <= gInput.joypadCount; ++pad)
        if (GetJoypadState(pad) != 0) return 1;
    if (GetMouseButtons() != 0) return 1;
    return 0;
}

// A key still held from the previous screen must be let go first, so that
// one press is never taken as two answers.
int WaitForKey() {
    if (!LibraryRunning()) return -1;
    int input = 0;
    while (PumpMessages() == 0 && (input = CheckAnyInput()) != 0) {
    }
    while (PumpMessages() == 0 && (input = CheckAnyInput()) == 0) {
    }
    while (PumpMessages() == 0 && (input = CheckAnyInput()) != 0) {
    }
    return input;
}
