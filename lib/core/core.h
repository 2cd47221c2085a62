// The library core's state record and internal operations: start and end,
// the window and its pump, the log, clocks and the file layer.
#ifndef TESSEL_CORE_H
#define TESSEL_CORE_H

#include "tessel.h"
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
};

// Services PumpMessages runs at its end, in this order; the subsystems above
// the core install theirs at start-up and clear them at shut-down, so the
// pump never needs to know who they are. While the application is inactive
// the pump's wait loop runs the network, download and sound-stream services.
enum PumpService : int {
    ServiceFiles,
    ServiceSoundStream,
    ServiceMusic,
    ServiceMovie,
    ServiceInput,
    ServiceNetwork,
    ServiceDownload,
    ServiceTextInput,
    PumpServiceCount
};

// What the window needs of the layers above it, installed by them: the
// screen when it comes up, the icon decoder before the window is made. A
// null entry does nothing (and reapplyScreenMode gives 0).
struct WindowLinks {
    int (*reapplyScreenMode)();   // after a window-mode switch: the mode change's result
    void (*windowMoved)();        // the window moved on the desktop
    void (*restoreLost)();        // the application is active again after a wait
    void (*windowClosing)();      // the window, and a device context on it, is about to go
    // Decodes an icon file into 0xAARRGGBB pixels, which the caller frees
    // with std::free; 0 or -1.
    int (*decodeIcon)(const char* file, uint32_t** argb, int* width, int* height);
};

// Steps the window runs when the application becomes active, in this order.
enum ActivationStep : int {
    ActivateScreen,   // rebuild a screen lost while inactive
    ActivateMovies,   // resume the movies that deactivation paused
    ActivateMusic,    // resume music
    ActivationStepCount
};

// Steps the window runs when the application becomes inactive, in this order.
enum DeactivationStep : int {
    DeactivateMusic,   // pause music
    DeactivateScreen,  // full screen: give the screen up, or close without a restore handler
    DeactivateInput,   // full screen: give the input devices up with the screen
    DeactivateMovies,  // pause playing movies
    DeactivationStepCount
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
    int comStarted;          // the COM stand-in is up
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
    int f10Held, f12Held;    // held states the key hook's private messages report
    int inPumpService;       // PumpMessages is running the text-input service
    int desktopWidth, desktopHeight, desktopDepth;

    // Key-input buffer of typed characters and control codes.
    KeyInputBuffer keyInput;
    int keyModifiers;          // Shift and Control held, from the key messages (key_input.cpp)
    // The input field's colours: text, cursor, composition text, the
    // composition's underline, selected text, the selection's background,
    // the composition's cursor. Kept as 0xRRGGBB, not as pixel values: the
    // screen's format may change after they are set.
    uint32_t inputColours[7];
    int cursorBlinkMs;
    void (*imeHandler)(uint32_t message);  // input-method messages; null = none

    void (*services[PumpServiceCount])();  // end-of-pump hooks; null = none
    WindowLinks links;                                   // installed from above
    void (*activationSteps[ActivationStepCount])();      // null = nothing to do
    void (*deactivationSteps[DeactivationStepCount])();  // null = nothing to do
    int consoleFont;         // font of the on-screen log console; 0 = none
};

extern CoreState gCore;

// Strings and paths are Shift-JIS: these bytes start a two-byte character,
// whose second byte may be any of 0x40..0xFC, the backslash 0x5C among them.
inline int IsShiftJisLeadByte(uint8_t byte) {
    return (byte >= 0x81 && byte <= 0x9F) || (byte >= 0xE0 && byte <= 0xFC);
}

// Converts a UTF-8 literal to code page 932 once per call site; the log and
// every message of the library are written in that code page.
#define SJIS(utf8) \
    ([]() -> const char* { static const std::string s = ToCp932(utf8); return s.c_str(); }())
std::string ToCp932(const char* utf8);

// library.cpp
// 1 while the library is alive: from the moment InitLibrary starts bringing
// its subsystems up to the end of EndLibrary. Every public operation that
// needs a window, the screen, graphs, fonts or input checks it first and
// returns at once outside that time, beside the handle check.
int LibraryRunning();
int InitCore();
int InitCom();
int EndCom();
void LogSystemInfo();

// key_input.cpp
int InitKeyInputBuffer();
// The window procedure's share: key and character messages fill the
// buffer, input-method messages go to the handler the text-input subsystem
// installs (null removes it). HandleKeyInputMessage returns 1 when the
// message was one of those.
int HandleKeyInputMessage(const PlatMessage& message);
void SetImeHandler(void (*handler)(uint32_t message));
// Takes the oldest whole character (a double-byte one as lead << 8 |
// trail) with its KeyInputFlag bits. 1, or 0 when the buffer is empty.
int TakeKeyInputChar(int* character, int* flags);

// window.cpp
int CreateMainWindow();
intptr_t MainWindowProc(const PlatMessage& message);
int WaitWhileInactive();
void DestroyMainWindow();
void FitWindowToClient();
// Installs (or, with null, removes) a subsystem's part of the pump and of
// the activation and deactivation of the application.
void SetPumpService(PumpService slot, void (*service)());
void SetActivationStep(ActivationStep slot, void (*step)());
// The screen's parts of WindowLinks (all three at once, null to remove) and
// the icon decoder; the client size follows every screen mode change.
void SetScreenLinks(int (*reapplyScreenMode)(), void (*windowMoved)(), void (*restoreLost)());
// The GPU path's part of WindowLinks (null to remove).
void SetWindowClosingLink(void (*windowClosing)());
void SetIconDecoder(int (*decodeIcon)(const char*, uint32_t**, int*, int*));
void SetClientSize(int width, int height);
void SetDeactivationStep(DeactivationStep slot, void (*step)());
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
