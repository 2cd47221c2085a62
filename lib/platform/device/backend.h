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

    int (*keyboardOpen)();
    void (*keyboardClose)();
    int (*keyboardAcquire)();
    int (*keyboardRead)(uint8_t state[256]);
    int (*keyboardSignalled)();
    void (*keyboardResetEvent)();
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
};

// The table in force, for the platform files that are not plain forwarders.
const PlatformBackend* PlatCurrentBackend();

// The scope string of the back end in force (for the instance lock).
std::string PlatInstanceScope();

const PlatformBackend* SdlBackend();
const PlatformBackend* HeadlessBackend();

// signals.cpp: SIGTERM, SIGINT and SIGHUP, while watched, leave a close
// request pending (several signals make one), which PlatTakeMessage hands
// out as MsgClose once a window exists.
void PlatWatchCloseSignals();
void PlatUnwatchCloseSignals();
int PlatTakeCloseSignal();   // 1 when a request was pending; clears it

// text_input.cpp: what both back ends do with text from the system.
// Committed UTF-8 text as code page 932 characters (a double-byte one as
// lead << 8 | trail); invalid sequences and characters without a code page
// 932 form are dropped whole and counted.
std::string PlatTextToCp932(const char* utf8, size_t length);
// Calls `emit` with each character of `cp932` as MsgChar carries it.
void PlatForEachCp932Char(const std::string& cp932, void (*emit)(uintptr_t character));
// Records the composition from the system (UTF-8, its cursor in
// characters); an empty text ends it. Returns the message to post:
// MsgImeComposition, or MsgImeEndComposition when it ended, or 0 when
// nothing changed.
uint32_t PlatNoteComposition(const char* utf8, size_t length, int cursorChars);
// 1 while a composition is held.
int PlatComposing();

#endif
