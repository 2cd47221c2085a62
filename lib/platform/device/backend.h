// The device half of the platform, one table per back end. platform.cpp
// forwards the Plat* functions of platform.h to the table chosen at start.
#ifndef TESSEL_PLATFORM_BACKEND_H
#define TESSEL_PLATFORM_BACKEND_H

#include "platform/media/audio.h"
#include "platform/platform.h"

struct PlatformBackend {
    const char* name;
    int (*start)();                         // 0, or -1 with the reason printed
    void (*stop)();
    // Scope of the single-instance lock: the display for a desktop, the
    // working folder for a headless run.
    std::string (*instanceScope)();

    uint32_t (*ticksMs)();
    uint64_t (*perfCounter)();
    uint64_t (*perfFrequency)();
    void (*sleepMs)(uint32_t ms);
    uint32_t (*timerPeriodMs)();

    void (*desktopMode)(int* width, int* height, int* depth);
    int (*createWindow)(const PlatWindowDesc* desc);
    void (*destroyWindow)();
    int (*hasWindow)();
    int (*setWindowMode)(int windowed, int width, int height, int hasPosition, int x, int y);
    void (*clientOrigin)(int* x, int* y);
    void (*setWindowIcon)(const uint32_t* argb, int width, int height);
    int (*takeMessage)(PlatMessage* out);
    void (*postMessage)(const PlatMessage* message);
    int (*waitMessage)(uint32_t timeoutMs);
    void (*idle)();
    int (*refreshHz)();
    int (*waitVBlank)();
    void (*present)(const PlatFrame* frame);
    void (*releaseFrame)();                 // null: the back end never keeps the rows

    void (*getCursorPos)(int* x, int* y);
    void (*setCursorPos)(int x, int y);
    int (*showCursor)(int show);

    // The keyboard device; its state and events are key_input.cpp's, which
    // the back end feeds through PlatKeyEvent. systemKeyState adds the
    // mouse buttons to PlatHeldKeysByVirtualKey.
    int (*keyboardOpen)();
    void (*keyboardClose)();
    int (*keyboardAcquire)();
    int (*keyboardRead)(uint8_t state[256]);
    int (*keyboardDrain)(int count);
    void (*systemKeyState)(uint8_t state[256]);

    int (*joypadCount)();
    JoypadOpenResult (*joypadOpen)(int index, int rangeMin, int rangeMax, int deadZone,
                                   JoypadInfo* info);
    int (*joypadRead)(int index, JoypadState* state);
    int (*joypadAcquire)(int index);
    int (*joypadSignalled)(int index);
    void (*joypadResetEvent)(int index);
    void (*joypadClose)(int index);

    // The audio device. audioOpen opens the default output at 44100 Hz,
    // stereo, 16 bits, and from then on the device pulls its sound from
    // PlatAudioMix; -1 when there is no usable device. audioSetFormat
    // changes the output format of the open device. audioLock keeps
    // PlatAudioMix from running until audioUnlock.
    int (*audioOpen)(PlatAudioCaps* caps);
    int (*audioSetFormat)(const PlatPcmFormat* format);
    void (*audioClose)();
    void (*audioLock)();
    void (*audioUnlock)();
    int (*audioDeviceName)(int index, char* module, size_t moduleSize, char* description,
                           size_t descriptionSize);

    // Text input and the clipboard. textInputStart and textInputStop turn
    // the system's text input and input method on and off; textInputRect
    // places the input method's window at a client rectangle. The clipboard
    // carries UTF-8; clipboardGet gives -1 when it holds no text.
    void (*textInputStart)();
    void (*textInputStop)();
    void (*textInputRect)(int x, int y, int width, int height);
    int (*clipboardGet)(std::string* utf8);
    int (*clipboardSet)(const char* utf8);

    // The GPU path's context on the window, which then presents through
    // glSwap. Null where the back end has no window to draw in: the path
    // then draws into a context of its own, off screen. glCreate puts the
    // back end's own presentation away (and gives it back when it fails):
    // 0, or -1 with the reason in `why`. glMakeCurrent gives -1 once the
    // context is gone; glDrawableSize is the window's size in pixels.
    int (*glCreate)(char* why, int whySize);
    void (*glDestroy)();
    int (*glMakeCurrent)();
    void (*glSwap)();
    void (*glDrawableSize)(int* width, int* height);
};

// The table in force, for the platform files that are not plain forwarders.
const PlatformBackend* PlatCurrentBackend();

// The scope string of the back end in force (for the instance lock).
std::string PlatInstanceScope();

// Where a picture of width x height lies in a window, and its scale: scaled
// by the smaller of the two ratios and centred, bars on the other axis.
struct PlatViewport {
    int x, y, width, height;
    float scale;
};
PlatViewport PlatLetterbox(int windowWidth, int windowHeight, int width, int height);

const PlatformBackend* SdlBackend();
const PlatformBackend* HeadlessBackend();

// signals.cpp: SIGTERM, SIGINT and SIGHUP, while watched, leave a close
// request pending (several signals make one), which PlatTakeMessage hands
// out as MsgClose once a window exists.
void PlatWatchCloseSignals();
void PlatUnwatchCloseSignals();
int PlatTakeCloseSignal();   // 1 when a request was pending; clears it

// key_input.cpp: the keyboard both back ends share.
enum PlatKeyModifier : uint32_t {
    KeyModShift = 0x01,
    KeyModControl = 0x02,
    KeyModLeftAlt = 0x04,
    KeyModRightAlt = 0x08,  // Alt Gr: types, unlike left Alt
    KeyModLogo = 0x10,
    KeyModCapsLock = 0x20,  // Caps Lock is on
};
// One key event as the system reports it.
struct PlatKeyReport {
    int scanCode;        // the library's scan code
    int down;            // 1 pressed, 0 released
    int repeat;          // the system repeating a held key
    uint32_t modifiers;  // PlatKeyModifier bits, this key's own change included
    // The character the layout prints on the key, unshifted ('a' for A);
    // 0 for keys that print none.
    int layoutChar;
    // What the system says the key types (code page 932, perhaps empty);
    // null when it did not say, and the layout character applies.
    const std::string* typed;
    int textInputOn;     // the system's text input types the key's text itself
};
using PlatKeyEmit = void (*)(uint32_t message, uintptr_t wParam, intptr_t lParam);
// Turns a key event into device state, key events and window messages,
// which go out through `emit`.
void PlatKeyEvent(const PlatKeyReport& key, PlatKeyEmit emit);
// The modifiers the held keys make, `scanCode` counted as `down`, for a
// back end that knows only the keys.
uint32_t PlatHeldKeyModifiers(int scanCode, int down);
// The window lost the focus: every key reads as released.
void PlatReleaseAllKeys();
int PlatKeyIsDown(int scanCode);           // physically down, repeats aside
void PlatReadKeys(uint8_t state[256]);     // the device state, 0x80 held
int PlatDrainKeyEvents(int count);         // the number taken
int PlatPendingKeyEvents();                // not drained yet
void PlatClearKeyEvents();                 // the device closed: events and change flag go
void PlatResetKeys();                      // forgets everything
// The held keys as the system key state (by virtual key).
void PlatHeldKeysByVirtualKey(uint8_t state[256]);

// input_events.cpp: where both back ends report each change of a key,
// mouse button or pad button (a PlatInputKind and its code) and each turn
// of the wheel, as it happens.
void PlatNoteInputEvent(int kind, int code, int down);
void PlatNoteWheel(int x, int y);

// text_input.cpp: what both back ends do with text from the system.
// Committed UTF-8 text in the program's encoding; invalid sequences, and in
// code page 932 characters without a form there, are dropped whole and
// counted.
std::string PlatTextFromSystem(const char* utf8, size_t length);
// Calls `emit` with each character of text from PlatTextFromSystem as
// MsgChar carries it: code page 932 as lead << 8 | trail, UTF-8 as the code
// point.
void PlatForEachTypedChar(const std::string& text, void (*emit)(uintptr_t character));
// Records the composition from the system (UTF-8, its cursor in
// characters); an empty text ends it. Returns the message to post:
// MsgImeComposition, or MsgImeEndComposition when it ended, or 0 when
// nothing changed.
uint32_t PlatNoteComposition(const char* utf8, size_t length, int cursorChars);
// 1 while a composition is held.
int PlatComposing();

#endif
