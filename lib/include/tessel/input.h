// Tessel's public header, the part of keyboard, mouse and joypads. Programs
// include tessel.h, which includes every part.
#ifndef TESSEL_PUBLIC_INPUT_H
#define TESSEL_PUBLIC_INPUT_H

#include "tessel/core.h"

#pragma GCC visibility push(default)

// ---------------------------------------------------------------------------
// Keyboard, mouse and joypads
// ---------------------------------------------------------------------------

// Keyboard scan codes (index into the 256-entry snapshot).
enum KeyCode : int {
    KeyEscape = 0x01, Key1 = 0x02, Key2 = 0x03, Key3 = 0x04, Key4 = 0x05, Key5 = 0x06,
    Key6 = 0x07, Key7 = 0x08, Key8 = 0x09, Key9 = 0x0A, Key0 = 0x0B, KeyMinus = 0x0C,
    KeyEquals = 0x0D, KeyBack = 0x0E, KeyTab = 0x0F, KeyQ = 0x10, KeyW = 0x11, KeyE = 0x12,
    KeyR = 0x13, KeyT = 0x14, KeyY = 0x15, KeyU = 0x16, KeyI = 0x17, KeyO = 0x18, KeyP = 0x19,
    KeyLBracket = 0x1A, KeyRBracket = 0x1B, KeyReturn = 0x1C, KeyLControl = 0x1D, KeyA = 0x1E,
    KeyS = 0x1F, KeyD = 0x20, KeyF = 0x21, KeyG = 0x22, KeyH = 0x23, KeyJ = 0x24, KeyK = 0x25,
    KeyL = 0x26, KeySemicolon = 0x27, KeyApostrophe = 0x28, KeyGrave = 0x29, KeyLShift = 0x2A,
    KeyBackslash = 0x2B, KeyZ = 0x2C, KeyX = 0x2D, KeyC = 0x2E, KeyV = 0x2F, KeyB = 0x30,
    KeyN = 0x31, KeyM = 0x32, KeyComma = 0x33, KeyPeriod = 0x34, KeySlash = 0x35,
    KeyRShift = 0x36, KeyMultiply = 0x37, KeyLAlt = 0x38, KeySpace = 0x39, KeyCapital = 0x3A,
    KeyF1 = 0x3B, KeyF2 = 0x3C, KeyF3 = 0x3D, KeyF4 = 0x3E, KeyF5 = 0x3F, KeyF6 = 0x40,
    KeyF7 = 0x41, KeyF8 = 0x42, KeyF9 = 0x43, KeyF10 = 0x44, KeyNumLock = 0x45, KeyScroll = 0x46,
    KeyNumpad7 = 0x47, KeyNumpad8 = 0x48, KeyNumpad9 = 0x49, KeySubtract = 0x4A,
    KeyNumpad4 = 0x4B, KeyNumpad5 = 0x4C, KeyNumpad6 = 0x4D, KeyAdd = 0x4E, KeyNumpad1 = 0x4F,
    KeyNumpad2 = 0x50, KeyNumpad3 = 0x51, KeyNumpad0 = 0x52, KeyDecimal = 0x53, KeyOem102 = 0x56,
    KeyF11 = 0x57, KeyF12 = 0x58, KeyKana = 0x70, KeyAbntC1 = 0x73, KeyConvert = 0x79,
    KeyNoConvert = 0x7B, KeyYen = 0x7D, KeyNumpadEquals = 0x8D, KeyCircumflex = 0x90,
    KeyAt = 0x91, KeyColon = 0x92, KeyUnderline = 0x93, KeyKanji = 0x94,
    KeyNumpadEnter = 0x9C, KeyRControl = 0x9D, KeyNumpadComma = 0xB3, KeyDivide = 0xB5,
    KeySysRq = 0xB7, KeyRAlt = 0xB8, KeyPause = 0xC5, KeyHome = 0xC7, KeyUp = 0xC8,
    KeyPrior = 0xC9, KeyLeft = 0xCB, KeyRight = 0xCD, KeyEnd = 0xCF, KeyDown = 0xD0,
    KeyNext = 0xD1, KeyInsert = 0xD2, KeyDelete = 0xD3, KeyLWin = 0xDB, KeyRWin = 0xDC,
    KeyApps = 0xDD,
};

// Bits of the joypad state word.
enum JoypadBit : int {
    JoypadDown = 0x0001, JoypadLeft = 0x0002, JoypadRight = 0x0004, JoypadUp = 0x0008,
    JoypadButton0 = 0x0010,  // button n is JoypadButton0 << n, n = 0..23
};
constexpr int JoypadWithKeyboard = 0x1000;  // OR into a pad number: add the keyboard's bits
constexpr int MaxJoypads = 8;

// out[i] = 1 for each held key (F10 and F12 included). 0, or the result of
// opening the devices when they were closed.
int GetKeyboardSnapshot(unsigned char out[256]);
int IsKeyDown(int code);                      // 1 while held; 0 for codes outside 0..255
// The lowest held scan code (Kanji skipped), 0x44 for F10, 1 for a pad or a
// mouse button, else 0.
int CheckAnyInput();
int GetJoypadState(int pad);                  // pad 1..9, optionally | JoypadWithKeyboard
int GetMousePosition(int* x, int* y);         // client pixels; null pointers allowed
int SetMousePosition(int x, int y);           // clamped to the screen
int GetMouseButtons();                        // bit 0 left, 1 right, 2 middle
int SetMouseVisible(int visible);
int WaitForKey();                             // press and release of any input

// Input events: every change of a key, mouse button or pad button, in the
// order it happened (a held key's repeats are no change), queued by
// PumpMessages. The queue keeps the newest 512: on overflow the oldest are
// dropped and counted.
enum InputEventKind : int {
    InputKey = 1,          // code: the scan code
    InputMouseButton = 2,  // code: the button's bit, as in GetMouseButtons
    InputPadButton = 3,    // code: pad (1..8) * 32 + button (0..31)
};
// Takes the oldest event: 1, 0 when there is none, -1 for a null pointer.
int GetInputEvent(int* kind, int* code, int* down);
int ClearInputEvents();                       // forgets the queue and the count lost; 0
int GetLostInputEventCount();                 // dropped since the start or the last clear
// Edges in the interval between the last two PumpMessages, 1 even when the
// key went down and up again within it; -1 for a code outside 0..255.
int WasKeyPressed(int key);
int WasKeyReleased(int key);
// `button`: one or more bits as in GetMouseButtons; -1 for other bits.
int WasMouseButtonPressed(int button);
// Wheel notches turned since the last call, then zeroed: y positive away
// from the user, x positive to the right. 0, or -1 for a null pointer.
int GetMouseWheel(int* x, int* y);

#pragma GCC visibility pop

#endif
