// Tessel's public header, the part of the core: settings, the window and its
// pump, the log, clocks, random numbers and the file layer. Programs include
// tessel.h, which includes every part; the core includes only this one, so
// that it cannot call the layers above it.
#ifndef TESSEL_PUBLIC_CORE_H
#define TESSEL_PUBLIC_CORE_H

#include <cstddef>
#include <cstdint>

#pragma GCC visibility push(default)

// ---------------------------------------------------------------------------
// Settings and the error exit
// ---------------------------------------------------------------------------

// Logs the message, ends the library and the process with exit code -1.
[[noreturn]] void ErrorExit(const char* message);

// Settings that may be made before InitLibrary and survive its state reset.
// Each returns 0.
int SetWindowTitle(const char* title);        // null or "" restores "Tessel"
int SetWindowStyleType(int type);             // 0..4; -1 for another value
int SetWindowPosition(int x, int y);          // top-left of a windowed window
int SetRunInBackground(int flag);             // keep running while inactive
int SetAllowDoubleLaunch(int flag);           // allow a second running copy
// Lets the user toggle window mode (Alt+Enter, maximise); the callback, if
// any, is called with `data` after each toggle.
int SetWindowModeToggle(int allowed, void (*callback)(void* data), void* data);
// Called before the library's own handling of every window message; a
// non-zero result stops the library's handling of that message.
using WindowProcHook = int (*)(uint32_t message, uintptr_t wParam, intptr_t lParam);
int SetWindowProcHook(WindowProcHook hook);
// The window's icon, from an image file LoadGraphFile could read (its alpha
// kept). Before InitLibrary it only records the name; afterwards the icon
// changes at once, and -1 says the file could not be read. Null or "": no
// icon of the program's own.
int SetWindowIcon(const char* fileName);

// The encoding of every string the library takes and gives: text, names,
// paths, the log, typed text and fields. Shift-JIS is the default; where a
// program has not chosen, TESSEL_STRING_ENCODING=utf8|sjis chooses. May be
// called at any time: text held by input fields is converted. 0, or -1 for
// another value.
enum StringEncoding : int { EncodingShiftJis = 0, EncodingUtf8 = 1 };
int SetStringEncoding(int encoding);
int GetStringEncoding();

// ---------------------------------------------------------------------------
// Recording a session
// ---------------------------------------------------------------------------

// Records the session that InitLibrary starts into `path` (TESSEL_RECORD
// names one for a program that does not): every clock reading and every
// input event, replayable on the headless platform (TESSEL_INPUT). An
// unwritable path is reported on standard error and the program runs
// unrecorded. 0; -1 for an empty path or once the library has started.
int StartRecording(const char* path);
// Writes out what is pending and ends the recording; the program runs on
// unrecorded. 0.
int StopRecording();

// ---------------------------------------------------------------------------
// Window and message pump
// ---------------------------------------------------------------------------

// Dispatches at most five window messages, pauses while the window is
// inactive, runs the periodic services. 0 to go on, -1 once the program must end.
int PumpMessages();
// 1 = windowed, 0 = full screen. 0 on success or when already in that mode.
int ChangeWindowMode(int windowed);
// 1 while the main window is active (has the focus), else 0.
int IsWindowActive();

// ---------------------------------------------------------------------------
// Log file (AppLog.txt in the folder that was current at InitLibrary)
// ---------------------------------------------------------------------------

int SetLogEnabled(int flag);                  // default on; 0
int SetLogTimeStamps(int flag);               // default on; 0
int WriteLogString(const char* text);         // always -1
int WriteLogFormat(const char* format, ...);  // appends "\n"; always -1
int LogIndentIn();                            // 0
int LogIndentOut();                           // 0
// The text of the last failure the library reported on this thread, as the
// log has it, without its line break; "" when there was none. Its length,
// or -1 when it does not fit `size` bytes with its terminator (or for a
// null buffer or a size below 1), leaving the buffer as it was.
int GetLastErrorText(char* buffer, int size);

// ---------------------------------------------------------------------------
// Clocks, waits and random numbers
// ---------------------------------------------------------------------------

int GetTickMs(int mode);                      // milliseconds, wrapping
int64_t GetTickUs(int mode);                  // microseconds
int WaitMs(int ms);                           // 0; early when the window closes
int SeedRandom(uint32_t seed);                // 0
int RandomUpTo(int max);                      // uniform 0..max, for max >= 0

// ---------------------------------------------------------------------------
// File access layer
// ---------------------------------------------------------------------------

constexpr int MaxPathLength = 260;

// Nine operations through which the library reads every file. A program may
// install its own (an archive, say) after InitLibrary.
struct FileAccessFunctions {
    void* (*open)(const char* path, int readAhead, int blocking);  // null on failure
    int (*close)(void* file);                                      // 0 or -1
    int32_t (*tell)(void* file);                                   // bytes, or -1
    int (*seek)(void* file, int32_t offset, int origin);           // 0 or -1; origin 0/1/2
    size_t (*read)(void* buffer, size_t size, size_t count, void* file);  // whole items
    int (*atEnd)(void* file);                // 1 when a read found the end
    int (*idle)(void* file);                 // 1 when no read is in progress
    int (*setCurrentDir)(const char* path);  // 0 or -1
    int (*getCurrentDir)(char* buffer);      // buffer of MaxPathLength; 0 or -1
};

// Installs a copy of `table`, or the default table when `table` is null. 0;
// -1 for a table with a null entry, which leaves the table in force as it was.
int SetFileAccessFunctions(const FileAccessFunctions* table);
// 1 when the default table is installed, else 0.
int IsDefaultFileAccess();
// The table in force, for reading files the way the library does.
const FileAccessFunctions* GetFileAccessFunctions();

#pragma GCC visibility pop

#endif
