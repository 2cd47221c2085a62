// The operating-system seam. Everything the library needs of the machine goes
// through the functions below; only lib/platform/ includes system headers.
//
// Two back ends implement the device half (clock, window and its messages,
// cursor, keyboard, joypads): "sdl" for the desktop and "headless" for tests
// (virtual clock, scripted input, frame capture). The system half (text
// conversion, machine facts, the single-instance lock) is shared.
#ifndef TESSEL_PLATFORM_H
#define TESSEL_PLATFORM_H

#include <cstddef>
#include <cstdint>
#include <string>

// Window messages, numbered as the library's window procedure knows them.
enum PlatMessageId : uint32_t {
    MsgDestroy = 0x0002,
    MsgMove = 0x0003,       // lParam: client x (low 16 bits), y (high 16 bits)
    MsgSize = 0x0005,       // wParam: 0 restored, 1 minimised, 2 maximised
    MsgActivate = 0x0006,   // wParam low word: 0 inactive, 1 active
    MsgPaint = 0x000F,
    MsgClose = 0x0010,
    MsgQuit = 0x0012,
    MsgActivateApp = 0x001C,  // wParam: 1 activated, 0 deactivated
    MsgSetCursor = 0x0020,
    MsgDisplayChange = 0x007E,
    MsgKeyDown = 0x0100,    // wParam: virtual key
    MsgKeyUp = 0x0101,
    MsgChar = 0x0102,       // wParam: a code page 932 character (double-byte: lead << 8 | trail)
    MsgSysKeyDown = 0x0104,
    MsgSysKeyUp = 0x0105,
    MsgSysChar = 0x0106,
    MsgImeStartComposition = 0x010D,  // a composition began
    MsgImeEndComposition = 0x010E,    // the composition ended (committed or emptied)
    MsgImeComposition = 0x010F,       // the composition changed: PlatGetComposition
    MsgSysCommand = 0x0112, // wParam: command
    MsgMouseMove = 0x0200,  // lParam: client x, y as in MsgMove
    MsgLButtonDown = 0x0201,
    MsgLButtonUp = 0x0202,
    MsgRButtonDown = 0x0204,
    MsgRButtonUp = 0x0205,
    MsgMButtonDown = 0x0207,
    MsgMButtonUp = 0x0208,
    MsgMouseWheel = 0x020A, // wParam high word: signed delta
    MsgKeyHookF10 = 0x046F, // wParam 1: F10 held
    MsgKeyHookF12 = 0x0470, // wParam 1: F12 held
};
constexpr uintptr_t SysCommandScreenSave = 0xF140;
constexpr uintptr_t SysCommandClose = 0xF060;

struct PlatMessage {
    uint32_t message;  // a PlatMessageId
    uintptr_t wParam;
    intptr_t lParam;
};

struct PlatWindowDesc {
    const char* title;  // UTF-8
    int width, height;  // client size
    int windowed;       // 0: full screen (desktop-sized, picture scaled)
    int hasPosition;    // 1: place the client's top-left at (x, y)
    int x, y;
};

// The 80-byte joystick state: axes scaled to the range given at opening.
struct JoypadState {
    int32_t x, y, z;
    int32_t rx, ry, rz;
    int32_t slider[2];
    uint32_t pov[4];        // hundredths of a degree clockwise from up; 0xFFFFFFFF centred
    uint8_t buttons[32];    // bit 7 set while held
};
static_assert(sizeof(JoypadState) == 80, "joystick state is 80 bytes");

// Where opening a joypad failed; each step has its own log line.
enum JoypadOpenResult : int {
    JoypadOpened = 0,
    JoypadNoDevice,         // the device could not be obtained
    JoypadBadFormat,        // not a joypad
    JoypadBadCooperation,
    JoypadBadRangeX, JoypadBadRangeY,
    JoypadBadDeadZoneX, JoypadBadDeadZoneY,
    JoypadBadEvent,
};

struct JoypadInfo {
    char instanceName[260];  // UTF-8
    char productName[260];
};

struct PlatSystemInfo {
    char osName[128];        // e.g. "Linux 6.1.0 x86_64"
    int osBuild;
    char cpuVendor[16];
    char cpuName[64];
    int hasCpuId;
    int hasMmx;
    int cpuMhz;              // 0 when unknown
    double totalMemoryMb, freeMemoryMb;
};

// Pixel layouts a frame can be handed over in.
enum PlatFrameFormat : int {
    FrameXrgb8888 = 0,  // 32-bit 0x00RRGGBB (the top byte is ignored)
    FrameRgb565,        // 16-bit 5:6:5
    FrameRgb555,        // 16-bit 5:5:5, the top bit ignored
    FrameIndex8,        // one byte a pixel into `palette`
};

// A finished frame, top-down: either 32-bit pixels 0x00RRGGBB at `pixels`,
// or, when `rows` is set, rows of `format` pitchBytes apart.
struct PlatFrame {
    const uint32_t* pixels;
    int width, height;
    int pitchPixels;
    PlatFrameFormat format = FrameXrgb8888;  // layout of `rows`
    const void* rows = nullptr;         // null: the picture is at `pixels`
    int pitchBytes = 0;                 // from one row of `rows` to the next
    const uint32_t* palette = nullptr;  // FrameIndex8: 256 colours 0x00RRGGBB
    // 1: `rows` stay readable and hold the picture until the next present or
    // PlatReleaseFrame, so a back end that shows the picture later may read
    // it from there instead of copying it, as a display scans out its
    // front buffer.
    int rowsStay = 0;
};

// ---------------------------------------------------------------------------
// Back end choice and lifetime
// ---------------------------------------------------------------------------

// Reads TESSEL_PLATFORM and starts that back end; idempotent. 0 or -1 (the
// reason is printed to standard error: no display, a bad input script...).
int PlatStart();
void PlatStop();
const char* PlatBackendName();      // "sdl" or "headless"
// TESSEL_WINDOWED=1: start in window mode.
int PlatWantsWindowed();

// ---------------------------------------------------------------------------
// Recording and replay of a session (device/record.cpp, headless/replay.cpp)
// ---------------------------------------------------------------------------

// The file the next PlatStart records to (before TESSEL_RECORD); null or ""
// forgets it. -1 while a recording runs.
int PlatSetRecordPath(const char* path);
// Ends the running recording, writing out what is pending.
void PlatRecordClose();
int PlatRecording();                 // 1 while a recording runs
int PlatReplaying();                 // 1 while a recording is played back
// The screenshot a recording asks for at this point of the replay: the
// library's writer, which the platform calls with the file's name (null:
// the headless back end writes its last presented frame instead).
void PlatSetCaptureWriter(int (*writer)(const char* file));
// A key pressed (not repeated) calls `watch` with its scan code, before
// the program sees it; null watches nothing.
void PlatSetKeyPressWatch(void (*watch)(int scanCode));
// Notes in the recording that a screenshot was written to `file` now.
void PlatRecordCapture(const char* file);
// TESSEL_SCREENSHOT_KEY's scan code; 0 when unset, -1 when unknown.
int PlatScreenshotKeyFromEnvironment();
// The first "shot-NNN.png" from number *next on that the working folder
// does not hold, with *next moved to it. 0, or -1 past shot-999.png.
int PlatNextShotName(int* next, char* name, size_t size);

// ---------------------------------------------------------------------------
// Clocks
// ---------------------------------------------------------------------------

uint32_t PlatTicksMs();             // milliseconds since the system started, wrapping
uint64_t PlatPerfCounter();
uint64_t PlatPerfFrequency();       // counts per second; 0 when there is no counter
void PlatSleepMs(uint32_t ms);
uint32_t PlatTimerPeriodMs();       // finest sleep period, in milliseconds

// ---------------------------------------------------------------------------
// Display and window
// ---------------------------------------------------------------------------

void PlatDesktopMode(int* width, int* height, int* depth);
int PlatCreateWindow(const PlatWindowDesc* desc);    // 0 or -1
// Destroys the window; the caller handles MsgDestroy itself, at once.
void PlatDestroyWindow();
int PlatHasWindow();
// Restyles the window for full screen or window mode, keeping its client size.
int PlatSetWindowMode(int windowed, int width, int height, int hasPosition, int x, int y);
void PlatClientOrigin(int* x, int* y);  // client top-left in screen coordinates
// The window's icon: `width` x `height` pixels 0xAARRGGBB, top row first.
void PlatSetWindowIcon(const uint32_t* argb, int width, int height);
// Takes the next pending message without waiting. 1 when one was taken.
int PlatTakeMessage(PlatMessage* out);
void PlatPostMessage(const PlatMessage* message);
// Sleeps until a message is pending or `timeoutMs` has passed; 1 when one is
// pending.
int PlatWaitMessage(uint32_t timeoutMs);
// The program found nothing to do. Called again within the same millisecond
// it is spinning: nothing it tests against the millisecond clock can change
// before the clock ticks, so the call sleeps until then.
void PlatIdle();
// The refresh rate the display is paced by, in Hz (60 when it does not say).
int PlatRefreshHz();
// Waits for the next vertical blank; 0, or -1 when the display gives none.
int PlatWaitVBlank();
void PlatPresent(const PlatFrame* frame);
// The rows of the last frame handed over with rowsStay are about to go: a
// back end that still reads them takes its own copy now.
void PlatReleaseFrame();

// ---------------------------------------------------------------------------
// Cursor
// ---------------------------------------------------------------------------

void PlatGetCursorPos(int* x, int* y);  // screen coordinates
void PlatSetCursorPos(int x, int y);
int PlatShowCursor(int show);           // the display count afterwards

// ---------------------------------------------------------------------------
// Keyboard: a device of 256 scan-code bytes (bit 7 held), a change event and
// a buffer of key events; and the system's key state by virtual key.
// ---------------------------------------------------------------------------

int PlatKeyboardOpen();                 // 0 or -1
void PlatKeyboardClose();
int PlatKeyboardAcquire();              // 0 or -1
// 0; -2 when the device was lost (acquire and read again); -1 otherwise.
int PlatKeyboardRead(uint8_t state[256]);
int PlatKeyboardSignalled();            // the change event, polled
void PlatKeyboardResetEvent();
// Takes up to `count` buffered key events; the number taken, or -1.
int PlatKeyboardDrain(int count);
void PlatSystemKeyState(uint8_t state[256]);  // by virtual key; mouse buttons at 1, 2, 4

// ---------------------------------------------------------------------------
// Input events: every change of a key, mouse button or pad button, in the
// order the system reported it (repeats of a held key are no change), and
// the wheel. The ring keeps the newest 512; older ones are dropped and
// counted.
// ---------------------------------------------------------------------------

enum PlatInputKind : int {
    PlatInputKey = 1,          // code: the library's scan code
    PlatInputMouseButton = 2,  // code: 1 left, 2 right, 4 middle
    PlatInputPadButton = 3,    // code: device index * 32 + button
};
struct PlatInputEvent {
    int kind;  // a PlatInputKind
    int code;
    int down;  // 1 pressed, 0 released
};
// Not 0 while events, losses or wheel notches wait to be taken.
int PlatInputWaiting();
// Moves up to `capacity` of the oldest events to `out`; how many it moved.
int PlatTakeInputEvents(PlatInputEvent* out, int capacity);
// Since the last call: the events dropped, and the wheel's notches, y
// positive turned away from the user, x positive to the right.
void PlatTakeInputTotals(int* lost, int* wheelX, int* wheelY);
void PlatClearInputEvents();                  // events, losses and wheel go

// ---------------------------------------------------------------------------
// Joypads
// ---------------------------------------------------------------------------

int PlatJoypadCount();                  // attached devices, enumerated afresh
// Opens device `index` with axes scaled to [rangeMin, rangeMax] and the dead
// zone (in 1/10000 of the range) on X and Y.
JoypadOpenResult PlatJoypadOpen(int index, int rangeMin, int rangeMax, int deadZone,
                                JoypadInfo* info);
int PlatJoypadRead(int index, JoypadState* state);  // 0, or -1 (acquire and retry)
int PlatJoypadAcquire(int index);       // 0 or -1
int PlatJoypadSignalled(int index);
void PlatJoypadResetEvent(int index);
void PlatJoypadClose(int index);

// ---------------------------------------------------------------------------
// System (shared by both back ends)
// ---------------------------------------------------------------------------

void PlatGetSystemInfo(PlatSystemInfo* info);
// Takes the per-user lock of `name` for this process; 1 when another running
// copy already holds it, 0 when taken, -1 when it could not be checked.
int PlatTakeInstanceLock(const char* name);
// Gives every lock this process holds back, so that a library that has
// ended holds no socket.
void PlatReleaseInstanceLocks();
// Code page 932 <-> UTF-8; unconvertible input becomes '?'.
std::string PlatCp932ToUtf8(const char* text, size_t length);
std::string PlatUtf8ToCp932(const char* text, size_t length);
// The program's strings: UTF-8 when set, else code page 932. Text from the
// system (typed, composed, the clipboard) comes in that encoding; a
// character typed in UTF-8 arrives in MsgChar as its code point.
void PlatSetUtf8Strings(int utf8);
int PlatUtf8Strings();
// The program's text as UTF-8 for the system (titles, face names), and back.
std::string PlatProgramTextToUtf8(const char* text, size_t length);
std::string PlatUtf8ToProgramText(const char* text, size_t length);
// TESSEL_STRING_ENCODING: 1 for "utf8", 0 for "sjis", -1 when unset or other.
int PlatStringEncodingFromEnvironment();
// The code page 932 unit of a Unicode character (lead << 8 | trail for two
// bytes), 0 when the code page has none.
unsigned PlatUnicodeToCp932Unit(uint32_t character);
void PlatDebugOutput(const char* text);   // standard error when TESSEL_LOG_STDERR=1
void PlatPrintError(const char* utf8Text);      // a message for the person at the terminal

// ---------------------------------------------------------------------------
// Text input: typed text and the input method's composition, converted from
// UTF-8 to the program's encoding, and the clipboard.
// ---------------------------------------------------------------------------

// The platform's text input (and with it the input method) runs between
// start and stop; committed text arrives as MsgChar messages, the
// composition as the MsgIme* messages.
void PlatStartTextInput();
void PlatStopTextInput();
int PlatTextInputRunning();
// Where the input method places its candidate window: the text cursor, in
// client coordinates.
void PlatSetTextInputRect(int x, int y, int width, int height);
// The composition in the program's encoding (cut at a whole character to fit `size`,
// terminated) and its cursor as a byte offset into it. The composition's
// length in bytes; 0 while there is none.
int PlatGetComposition(char* out, int size, int* cursorBytes);
// The clipboard's text in the program's encoding. 0, or -1 when it holds none.
int PlatGetClipboardText(std::string* text);
int PlatSetClipboardText(const char* text);
// Characters of typed text dropped so far: no code page 932 form (in that
// encoding), or not valid UTF-8.
int PlatDroppedTextCount();

#endif
