// The keyboard device: the held state of every scan code, a change flag and
// a bounded buffer of key events, all fed by the key events that the message
// translation sees. The state therefore follows the messages the library has
// taken, which it does every frame.
//
// A key pressed and released between two reads of the state (a tap shorter
// than a frame, or both events taken in one pump) still reads as held once,
// so that a program polling the state never misses it.
#include "platform/device/keymap.h"
#include "platform/device/sdl/sdl_backend.h"

#include <cstring>

namespace {

constexpr int kBufferSize = 100;  // key events kept before new ones are dropped

struct KeyEvent {
    uint8_t scanCode;  // library scan code
    uint8_t down;      // 0x80 pressed, 0 released
};

struct KeyboardState {
    uint8_t down[256];              // 1 while the key is physically down
    uint8_t held[256];              // the state reported: 0x80 for each held scan code
    uint8_t unread[256];            // went down since the state was last read
    uint8_t releaseAfterRead[256];  // released, but reported held until read once
    int changed;                    // a key changed since the last reset
    KeyEvent buffer[kBufferSize];   // ring of key events not yet drained
    int bufferStart;                // oldest event in the ring
    int bufferCount;                // events in the ring
};

KeyboardState gKeyboard;

void Buffer(int scanCode, int down) {
    if (gKeyboard.bufferCount == kBufferSize) return;  // overflow: the newest are lost
    int slot = (gKeyboard.bufferStart + gKeyboard.bufferCount) % kBufferSize;
    gKeyboard.buffer[slot] = {static_cast<uint8_t>(scanCode),
                              static_cast<uint8_t>(down ? 0x80 : 0)};
    ++gKeyboard.bufferCount;
}

}  // namespace

void SdlKeyboardNoteKey(int scanCode, int down) {
    if (scanCode <= 0 || scanCode > 255) return;
    uint8_t value = down ? 1 : 0;
    if (gKeyboard.down[scanCode] == value) return;
    gKeyboard.down[scanCode] = value;
    gKeyboard.changed = 1;
    Buffer(scanCode, down);
    if (down) {
        gKeyboard.held[scanCode] = 0x80;
        gKeyboard.unread[scanCode] = 1;
        gKeyboard.releaseAfterRead[scanCode] = 0;
    } else if (gKeyboard.unread[scanCode]) {
        gKeyboard.releaseAfterRead[scanCode] = 1;
    } else {
        gKeyboard.held[scanCode] = 0;
    }
}

void SdlKeyboardReleaseAll() {
    for (int code = 0; code < 256; ++code) {
        gKeyboard.unread[code] = 0;
        gKeyboard.releaseAfterRead[code] = 0;
        SdlKeyboardNoteKey(code, 0);
        if (gKeyboard.held[code]) gKeyboard.changed = 1;
        gKeyboard.held[code] = 0;
    }
}

int SdlKeyboardIsHeld(int scanCode) {
    return scanCode > 0 && scanCode < 256 && gKeyboard.down[scanCode] != 0;
}

int SdlKeyboardOpen() { return 0; }

void SdlKeyboardClose() {
    gKeyboard.bufferStart = 0;
    gKeyboard.bufferCount = 0;
    gKeyboard.changed = 0;
}

int SdlKeyboardAcquire() { return 0; }

int SdlKeyboardRead(uint8_t state[256]) {
    std::memcpy(state, gKeyboard.held, sizeof gKeyboard.held);
    std::memset(gKeyboard.unread, 0, sizeof gKeyboard.unread);
    for (int code = 0; code < 256; ++code) {
        if (!gKeyboard.releaseAfterRead[code]) continue;
        gKeyboard.releaseAfterRead[code] = 0;
        gKeyboard.held[code] = 0;
        gKeyboard.changed = 1;  // the release is news to the next read
    }
    return 0;
}

int SdlKeyboardSignalled() { return gKeyboard.changed; }

void SdlKeyboardResetEvent() { gKeyboard.changed = 0; }

int SdlKeyboardDrain(int count) {
    int taken = count < gKeyboard.bufferCount ? count : gKeyboard.bufferCount;
    if (taken < 0) taken = 0;
    gKeyboard.bufferStart = (gKeyboard.bufferStart + taken) % kBufferSize;
    gKeyboard.bufferCount -= taken;
    return taken;
}

void SdlSystemKeyState(uint8_t state[256]) {
    std::memset(state, 0, 256);
    for (int code = 1; code < 256; ++code)
        if (gKeyboard.held[code]) SetVirtualKeyState(state, ScanCodeToVirtualKey(code), 1);
    uint32_t buttons = SDL_GetMouseState(nullptr, nullptr);
    if (buttons & SDL_BUTTON_LMASK) state[0x01] = 0x80;
    if (buttons & SDL_BUTTON_RMASK) state[0x02] = 0x80;
    if (buttons & SDL_BUTTON_MMASK) state[0x04] = 0x80;
}
