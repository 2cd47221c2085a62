// The library core's state record and internal operations: start and end,
// the window and its pump, the log, clocks and the file layer.
#ifndef TESSEL_CORE_H
#define TESSEL_CORE_H

#include "tessel/core.h"
#include "core/encoding.h"
#include "platform/platform.h"

#include <string>

// Settings a program may make before InitLibrary; InitCore keeps them when it
// clears the rest of the record. Negative names keep "zero" the default.
struct CoreSettings {
    int windowed;                        // 1 = window mode, 0 = full screen
    char title[256];                     // "" = the class name "Tessel"
    char iconFile[MaxPathLength];        // "" = no icon of the program's own
    int styleType;                       // 0..4, the window style tables
    int hasPosition, positionX, positionY;  // window position set by the program
    int toggleAllowed;                   // the user may toggle window mode
    void (*toggleCallback)(void* data);  // called after each toggle
    void* toggleData;
    int runInBackground;                 // keep running while inactive
    int allowDoubleLaunch;               // a second running copy may go on
    WindowProcHook hook;                 // called before the library's handling
    int logDisabled;                     // SetLogEnabled(0)
    int logTimeStampsOff;                // SetLogTimeStamps(0)
    int logStart;                        // the clock at OpenLog
    int libraryDirRecorded;              // libraryDir below is valid
    std::string libraryDir;              // current directory at InitLibrary, in full
    int clientWidth, clientHeight;       // the window's client size: the screen's, set from above
};

// The log's line state (AppLog.txt).
struct LogState {
    int indent;      // tabs after the time stamp
    int lineOpen;    // the last text did not end with a line break
    int opened;      // the last open of the file succeeded
    int encoding;    // the file's: the string encoding when it was opened
};

// What a subsystem above the core lends to the layers below it, so that the
// pump, the window and graphics management never need to know who is above
// them. Each subsystem registers one record at its start and removes it at
// its end; a null entry does nothing.
struct SubsystemHooks {
    void (*pump)() = nullptr;          // at the end of every PumpMessages
    void (*inactivePump)() = nullptr;  // in the pump's wait while the application is inactive
    void (*activate)() = nullptr;      // the application became active
    void (*deactivate)() = nullptr;    // the application became inactive
    void (*windowMoved)() = nullptr;   // the window moved on the desktop
    void (*restoreLost)() = nullptr;   // the application is active again after a wait
    // The window, and a device context on it, is about to go.
    void (*windowClosing)() = nullptr;
    // After a window-mode switch: the mode change's result.
    int (*reapplyScreenMode)() = nullptr;
    // Decodes an icon file into 0xAARRGGBB pixels, which the caller frees
    // with std::free; 0 or -1.
    int (*decodeIcon)(const char* file, uint32_t** argb, int* width, int* height) = nullptr;
    void (*imeMessage)(uint32_t message) = nullptr;  // an input-method message
    // Graphics management started or is ending, its surfaces came back
    // after a display loss, and the two sides of a screen mode change. The
    // results are not looked at.
    int (*graphicsStarted)() = nullptr;
    int (*graphicsEnding)() = nullptr;
    int (*surfacesRestored)() = nullptr;
    void (*beforeModeChange)() = nullptr;
    void (*afterModeChange)() = nullptr;
    // A graph that plays a movie: opening `path` as one (its handle with
    // the picture's size, or -1), playing it into `graph`, which shows its
    // first frame at once, closing it, and bringing in the frame due now.
    int (*openMovie)(const char* path, int* width, int* height) = nullptr;
    void (*attachMovie)(int movie, int graph) = nullptr;
    void (*closeMovie)(int movie) = nullptr;
    void (*bringMovieFrame)(int movie) = nullptr;
    // Ends the whole library, safe after a partial start: ErrorExit's way
    // out, from layers that cannot know the rest.
    int (*endLibrary)() = nullptr;
    // The string encoding changed from `from` to `to` (EncodingShiftJis or
    // EncodingUtf8): text held in that encoding is converted.
    void (*encodingChanged)(int from, int to) = nullptr;
};

// One slot per subsystem, lowest layer first. Every kind of hook runs in
// slot order, whichever subsystem registered first.
enum HookSlot : int {
    HookScreen,      // draw: the screen
    HookGpu,         // the GPU path
    HookIcon,        // the window icon's decoder, from graphics before the window exists
    HookFonts,       // text
    HookSound,       // the sound-stream service
    HookInput,
    HookMovies,
    HookNetwork,     // TCP connections
    HookDownloads,   // HTTP
    HookTextInput,
    HookStartup,     // the library's own end
    HookSlotCount
};

struct HookTable {
    SubsystemHooks slots[HookSlotCount];
};

constexpr int KeyInputBufferSize = 1024;

// What the key-input buffer keeps beside each byte, for the input field's
// editing: the modifiers held when it was typed, and whether it is the
// control code of an editing key rather than a typed character (Home and
// Control+A both give 0x01).
enum KeyInputFlag : uint8_t {
    KeyInputShift = 1,
    KeyInputControl = 2,
    KeyInputEditKey = 4,
};

// Typed characters (Shift-JIS) and control codes, oldest first, in a ring.
struct KeyInputBuffer {
    uint8_t bytes[KeyInputBufferSize];
    uint8_t flags[KeyInputBufferSize];
    int start;   // the oldest byte
    int count;   // bytes held
};

struct CoreState {
    CoreSettings settings;   // survives InitCore
    LogState log;            // reset by OpenLog

    int initialised;         // InitLibrary finished
    int running;             // from InitLibrary's first subsystem to the end of EndLibrary
    int endRequested;        // EndLibrary has begun (4: the user closed the window)
    int coreStarted;         // InitCore began and EndCore has not run
    int platformStarted;     // PlatStart succeeded

    // Main window.
    int windowCreated;       // the platform window exists
    int quit;                // the quit message was seen or the window destroyed; sticky
    int closing;             // the library posted a close request to its window
    int destroyed;           // the window has been destroyed
    int active;              // the application is active
    int togglePending;       // the user asked for a window-mode switch
    int changingMode;        // ChangeWindowMode is in progress
    int displayChanged;      // the display-change message arrived
    int lost;                // full screen: screen surfaces given up on deactivation
    int cursorVisible;       // the cursor is shown over the window
    int fitted;              // the window was fitted to its client size in this mode
    int clientLeft, clientTop;  // client area's top-left in screen coordinates
    int wheelTotal;          // +1 / -1 per wheel message
    int innerPumps;          // PumpWithinFrame calls in progress
    int f10Held, f12Held;    // held states the key hook's private messages report
    int desktopWidth, desktopHeight, desktopDepth;

    // Key-input buffer of typed characters and control codes.
    KeyInputBuffer keyInput;
    int keyModifiers;          // Shift and Control held, from the key messages (key_input.cpp)

    HookTable hooks;         // registered from above; survives InitCore
    int consoleFont;         // font of the on-screen log console; 0 = none
};

extern CoreState gCore;

// Registers a copy of `hooks` in `slot` (window.cpp); null empties the slot.
void RegisterHooks(HookSlot slot, const SubsystemHooks* hooks);

// Runs the hook of every slot that has one, in slot order.
template <typename Result, typename... Params, typename... Args>
void RunHooks(Result (*SubsystemHooks::*hook)(Params...), Args... args) {
    for (const SubsystemHooks& slot : gCore.hooks.slots)
        if (slot.*hook) (slot.*hook)(args...);
}

// For a hook whose result matters: the first slot's that has one, or null.
template <typename Hook>
Hook FirstHook(Hook SubsystemHooks::*hook) {
    for (const SubsystemHooks& slot : gCore.hooks.slots)
        if (slot.*hook) return slot.*hook;
    return nullptr;
}

// Strings and paths are Shift-JIS: these bytes start a two-byte character,
// whose second byte may be any of 0x40..0xFC, the backslash 0x5C among them.
inline int IsShiftJisLeadByte(uint8_t byte) {
    return (byte >= 0x81 && byte <= 0x9F) || (byte >= 0xE0 && byte <= 0xFC);
}

// The library's own text in the string encoding: the UTF-8 literal itself,
// or its code page 932 form, converted once per call site. The log and
// every message of the library are written through it.
#define SJIS(utf8)                                                                  \
    ([]() -> const char* {                                                          \
        static const std::string s = ToCp932(utf8);                                 \
        return CurrentStringEncoding() == EncodingUtf8 ? (utf8) : s.c_str();        \
    }())
std::string ToCp932(const char* utf8);

// core.cpp
// 1 while the library is alive: from the moment InitLibrary starts bringing
// its subsystems up to the end of EndLibrary. Every public operation that
// needs a window, the screen, graphs, fonts or input checks it first and
// returns at once outside that time, beside the handle check.
int LibraryRunning();
// InitCore refuses a second start while the core runs (-1); EndCore is the
// core's last step, after the window has gone.
int InitCore();
void EndCore();
void LogSystemInfo();

// key_input.cpp
int InitKeyInputBuffer();
// The window procedure's share: key and character messages fill the
// buffer, input-method messages go to the imeMessage hooks.
// HandleKeyInputMessage returns 1 when the message was one of those.
int HandleKeyInputMessage(const PlatMessage& message);
// Takes the oldest whole character (a double-byte one as lead << 8 |
// trail) with its KeyInputFlag bits. 1, or 0 when the buffer is empty.
int TakeKeyInputChar(int* character, int* flags);
// Rewrites the characters waiting in the buffer in the new encoding; one
// without a form there is dropped.
void ConvertKeyInputBuffer(int from, int to);

// window.cpp
int CreateMainWindow();
intptr_t MainWindowProc(const PlatMessage& message);
int WaitWhileInactive();
// PumpMessages from inside a library operation, in the middle of the
// program's frame: what it brings belongs to the interval that the
// program's own next PumpMessages closes.
int PumpWithinFrame();
void DestroyMainWindow();
void FitWindowToClient();
// The client size follows every screen mode change.
void SetClientSize(int width, int height);
// Asks the library's own window to close, at most once.
void PostCloseRequest();
// Stores the cursor-visible flag and drives the platform's show count to
// that side; the window hides the cursor again on every mouse message while
// the flag is 0.
void ShowMainCursor(int visible);
void HideCursorNow();

// log.cpp
// Starts AppLog.txt afresh, or, with keepExisting, adds to the file of a
// copy of the program that is already running there.
int OpenLog(int keepExisting = 0);
// Failures: the line goes to the log as WriteLogString or WriteLogFormat
// would write it, and its text, without the line break, is kept for
// GetLastErrorText on this thread. Both return -1.
int LogFailure(const char* text);
int LogFailureFormat(const char* format, ...);
// Keeps the text of a failure the log does not show (a bad handle, a bad
// argument), whether or not the log is on.
void NoteFailure(const char* text);
// "<operation> の引数が不正です" as the last failure; -1.
int NoteBadArgument(const char* operation);

// timing.cpp: timer set-up and calibration, then the random seed.
int InitTimer();

// file.cpp: the default nine operations, and the path lookup that matches
// each component's letter case as Windows would.
const FileAccessFunctions* DefaultFileAccessFunctions();
// Whether the file table in force opens `path` for reading.
bool FileOpens(const char* path);
std::string ResolvePath(const char* path);
// The current directory through the file table, at any length the table
// can give: -1 when it cannot.
int GetCurrentDirFull(std::string* out);
// The path's last separator: '/', or a backslash that is not the second
// byte of a two-byte character. Null when there is none.
const char* LastPathSeparator(const char* path);

#endif
