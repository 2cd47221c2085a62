// The keyboard both back ends share. A back end reports each key event of
// the system; from here on the keyboard is the same everywhere: the device
// state with its tap latch, the ring of key events, the system key state,
// and the window messages with their flags and the characters keys type.
//
// A key pressed and released between two reads of the state (a tap shorter
// than a frame, or both events taken in one pump) still reads as held once,
// so that a program polling the state never misses it.
#include "platform/device/backend.h"
#include "platform/device/keymap.h"
#include "platform/device/record.h"

#include <cstring>

namespace {

constexpr int kBufferSize = 100;  // key events kept before new ones are dropped

constexpr int kScanEscape = 0x01, kScanBackspace = 0x0E, kScanTab = 0x0F, kScanReturn = 0x1C,
              kScanPadEnter = 0x9C, kScanLShift = 0x2A, kScanRShift = 0x36,
              kScanLControl = 0x1D, kScanRControl = 0x9D, kScanLAlt = 0x38, kScanRAlt = 0xB8,
              kScanLWin = 0xDB, kScanRWin = 0xDC, kScanF10 = 0x44, kScanF12 = 0x58;

struct KeyEvent {
    uint8_t scanCode;
    uint8_t down;  // 0x80 pressed, 0 released
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
    PlatKeyEmit emit;               // where the key being turned into messages sends them
};

KeyboardState gKeyboard;

void Buffer(int scanCode, int down) {
    if (gKeyboard.bufferCount == kBufferSize) return;  // overflow: the newest are lost
    int slot = (gKeyboard.bufferStart + gKeyboard.bufferCount) % kBufferSize;
    gKeyboard.buffer[slot] = {static_cast<uint8_t>(scanCode),
                              static_cast<uint8_t>(down ? 0x80 : 0)};
    ++gKeyboard.bufferCount;
}

void NoteKey(int scanCode, int down) {
    uint8_t value = down ? 1 : 0;
    if (gKeyboard.down[scanCode] == value) return;
    gKeyboard.down[scanCode] = value;
    gKeyboard.changed = 1;
    Buffer(scanCode, down);
    PlatNoteInputEvent(PlatInputKey, scanCode, down);
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

// lParam of a key message: repeat count 1, the scan code, the extended-key
// bit for E0 keys, Alt held, the previous state and the transition.
intptr_t KeyLParam(int scanCode, int down, int repeat, bool alt) {
    uint32_t value = 1u | (static_cast<uint32_t>(scanCode & 0x7F) << 16);
    if (scanCode & 0x80) value |= 1u << 24;
    if (alt) value |= 1u << 29;
    if (!down || repeat) value |= 1u << 30;
    if (!down) value |= 1u << 31;
    return static_cast<intptr_t>(value);
}

bool IsLetter(int character) { return character >= 'a' && character <= 'z'; }

// The character a key sends on its own, as typed text does not carry it:
// Enter, Backspace, Tab, Escape and Control+letter.
int ControlCharacter(const PlatKeyReport& key) {
    switch (key.scanCode) {
        case kScanReturn: case kScanPadEnter: return 13;
        case kScanBackspace: return 8;
        case kScanTab: return 9;
        case kScanEscape: return 27;
        default: break;
    }
    if ((key.modifiers & KeyModControl) && IsLetter(key.layoutChar))
        return key.layoutChar - 'a' + 1;
    return 0;
}

// Where the system does not say what a key types: letters in the case Shift
// and Caps Lock give, and the other printable keys unshifted.
int PlainCharacter(const PlatKeyReport& key) {
    if (key.modifiers & KeyModRightAlt) return 0;
    int character = key.layoutChar;
    if (IsLetter(character)) {
        bool shift = (key.modifiers & KeyModShift) != 0;
        bool upper = shift != ((key.modifiers & KeyModCapsLock) != 0);
        return upper ? character - 'a' + 'A' : character;
    }
    if (character >= 0x20 && character < 0x7F && !(key.modifiers & KeyModShift)) return character;
    return 0;
}

void EmitChar(uintptr_t character) { gKeyboard.emit(MsgChar, character, 0); }

// While no input field runs the system's text input, a key types what the
// layout gives it; Control, left Alt and the logo keys make it type nothing,
// Alt Gr stays free to type.
void EmitTypedCharacters(const PlatKeyReport& key, intptr_t lParam) {
    if (key.textInputOn || (key.modifiers & (KeyModControl | KeyModLeftAlt | KeyModLogo))) return;
    if (!key.typed) {
        if (int character = PlainCharacter(key))
            gKeyboard.emit(MsgChar, static_cast<uintptr_t>(character), lParam);
        return;
    }
    PlatForEachTypedChar(*key.typed, EmitChar);
}

void EmitKey(const PlatKeyReport& key, PlatKeyEmit emit) {
    int scanCode = key.scanCode, down = key.down != 0;
    gKeyboard.emit = emit;
    if (!key.repeat) {
        // The key hook reports F10 and F12 before their key messages.
        if (scanCode == kScanF10) emit(MsgKeyHookF10, down, 0);
        if (scanCode == kScanF12) emit(MsgKeyHookF12, down, 0);
        NoteKey(scanCode, down);
    }
    int virtualKey = ScanCodeToVirtualKey(scanCode);
    if (!virtualKey) return;
    bool alt = (key.modifiers & (KeyModLeftAlt | KeyModRightAlt)) || scanCode == kScanLAlt ||
               scanCode == kScanRAlt;
    // Alt combinations and F10, the menu key, are system keys.
    bool system = alt || scanCode == kScanF10;
    uint32_t message = down ? (system ? MsgSysKeyDown : MsgKeyDown)
                            : (system ? MsgSysKeyUp : MsgKeyUp);
    intptr_t lParam = KeyLParam(scanCode, down, key.repeat, alt);
    emit(message, static_cast<uintptr_t>(virtualKey), lParam);
    if (!down) return;
    int character = ControlCharacter(key);
    if (!character) {
        EmitTypedCharacters(key, lParam);
    } else if (!alt) {
        emit(MsgChar, static_cast<uintptr_t>(character), lParam);
    } else if (character == 13) {
        emit(MsgSysChar, 13, lParam);
    }
}

void (*gKeyPressWatch)(int scanCode);

}  // namespace

void PlatSetKeyPressWatch(void (*watch)(int scanCode)) { gKeyPressWatch = watch; }

// The key is recorded before its messages and watched after them, so that
// what the watcher notes in a recording follows the key.
void PlatKeyEvent(const PlatKeyReport& key, PlatKeyEmit emit) {
    if (key.scanCode <= 0 || key.scanCode > 255) return;
    RecordKey(key.scanCode, key.down != 0);
    EmitKey(key, emit);
    if (key.down && !key.repeat && gKeyPressWatch) gKeyPressWatch(key.scanCode);
}

uint32_t PlatHeldKeyModifiers(int scanCode, int down) {
    auto held = [&](int code) { return code == scanCode ? down != 0 : gKeyboard.down[code] != 0; };
    uint32_t modifiers = 0;
    if (held(kScanLShift) || held(kScanRShift)) modifiers |= KeyModShift;
    if (held(kScanLControl) || held(kScanRControl)) modifiers |= KeyModControl;
    if (held(kScanLAlt)) modifiers |= KeyModLeftAlt;
    if (held(kScanRAlt)) modifiers |= KeyModRightAlt;
    if (held(kScanLWin) || held(kScanRWin)) modifiers |= KeyModLogo;
    return modifiers;
}

void PlatReleaseAllKeys() {
    for (int code = 0; code < 256; ++code) {
        gKeyboard.unread[code] = 0;
        gKeyboard.releaseAfterRead[code] = 0;
        if (code) NoteKey(code, 0);
        if (gKeyboard.held[code]) gKeyboard.changed = 1;
        gKeyboard.held[code] = 0;
    }
}

int PlatKeyIsDown(int scanCode) {
    return scanCode > 0 && scanCode < 256 && gKeyboard.down[scanCode] != 0;
}

void PlatReadKeys(uint8_t state[256]) {
    std::memcpy(state, gKeyboard.held, sizeof gKeyboard.held);
    std::memset(gKeyboard.unread, 0, sizeof gKeyboard.unread);
    for (int code = 0; code < 256; ++code) {
        if (!gKeyboard.releaseAfterRead[code]) continue;
        gKeyboard.releaseAfterRead[code] = 0;
        gKeyboard.held[code] = 0;
        gKeyboard.changed = 1;  // the release is news to the next read
    }
}

int PlatDrainKeyEvents(int count) {
    int taken = count < gKeyboard.bufferCount ? count : gKeyboard.bufferCount;
    if (taken < 0) taken = 0;
    gKeyboard.bufferStart = (gKeyboard.bufferStart + taken) % kBufferSize;
    gKeyboard.bufferCount -= taken;
    return taken;
}

int PlatPendingKeyEvents() { return gKeyboard.bufferCount; }

void PlatClearKeyEvents() {
    gKeyboard.bufferStart = 0;
    gKeyboard.bufferCount = 0;
    gKeyboard.changed = 0;
}

void PlatResetKeys() { gKeyboard = KeyboardState{}; }

void PlatHeldKeysByVirtualKey(uint8_t state[256]) {
    std::memset(state, 0, 256);
    for (int code = 1; code < 256; ++code)
        if (gKeyboard.held[code]) SetVirtualKeyState(state, ScanCodeToVirtualKey(code), 1);
}

int PlatKeyboardSignalled() { return gKeyboard.changed; }

void PlatKeyboardResetEvent() { gKeyboard.changed = 0; }
