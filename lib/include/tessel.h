// Tessel: a 2-D game library. Every public operation and constant.
//
// Conventions: operations return 0 on success and -1 on failure, or a handle
// or value that is -1 on failure. Strings are Shift-JIS (code page 932).
// Everything runs on the thread that called InitLibrary.
//
// Before InitLibrary and after EndLibrary the settings, the log, the clocks,
// random numbers, MakeColor and the file layer work as usual; every other
// operation returns at once: 0 from IsWindowActive, IsKeyDown, CheckAnyInput,
// GetJoypadState, GetMouseButtons and FontHandleIsValid, -1 from the rest.
#ifndef TESSEL_H
#define TESSEL_H

#include <cstddef>
#include <cstdint>

// ---------------------------------------------------------------------------
// Library start and end
// ---------------------------------------------------------------------------

// Brings the whole library up: file layer, log, window, clocks, input, sound
// and screen. 0 on success; -1 on failure, with everything started ended again.
int InitLibrary();
// Takes the library down in reverse order; safe after a partial start. Always 0.
int EndLibrary();
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

// ---------------------------------------------------------------------------
// Clocks, waits and random numbers
// ---------------------------------------------------------------------------

int GetTickMs(int mode);                      // milliseconds, wrapping
int64_t GetTickUs(int mode);                  // microseconds
int WaitMs(int ms);                           // 0; early when the window closes
int WaitForKey();                             // press and release of any input
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

// ---------------------------------------------------------------------------
// Screen and drawing
// ---------------------------------------------------------------------------

constexpr int TargetFront = -4;  // the front buffer
constexpr int TargetWork = -3;   // the destination work surface (locking only)
constexpr int TargetBack = -2;   // the back buffer

// Width, height, depth, refresh (-1 keeps each). Before InitLibrary it only
// stores the settings and returns 0.
int SetScreenMode(int width, int height, int depth, int refresh);
int SetDrawTarget(int target);
// The clipping rectangle in target coordinates (right and bottom exclusive),
// ordered and clamped to the target. 0.
int SetClipRect(int left, int top, int right, int bottom);
int ClearDrawTarget();
// The raw pixel at (x, y) of the draw target in the screen's format; -1
// outside the screen or without a display.
int ReadScreenPixel(int x, int y);
int PresentScreen();
int SetPresentVSync(int flag);
uint32_t MakeColor(int red, int green, int blue);

// ---------------------------------------------------------------------------
// Graphs
// ---------------------------------------------------------------------------

int LoadGraphFile(const char* path);
// `transparent` 1 leaves out the colour key's pixels. A graph with an alpha
// channel is blended by it either way (but not on an 8-bit screen).
int DrawGraph(int x, int y, int graph, int transparent);
int DrawGraphPart(int x, int y, int srcX, int srcY, int width, int height, int graph,
                  int transparent, int turn);
int DrawRotaGraph(int x, int y, double scale, double angle, int graph, int transparent,
                  int turn);

// A graph of width x height with its surface made and no pixels written;
// `useTexture` 1 makes its textures at once on the GPU path (0: at its first
// draw; ignored on the software path; it draws the same either way),
// `alphaChannel` gives the graph an alpha channel. -1 while a screen surface
// is locked; running out of graphs or memory ends the program.
int CreateEmptyGraph(int width, int height, int useTexture, int alphaChannel);
// Frees one graph, logging its file name when `logIt` is non-zero. 0, or -1
// for an invalid handle; while a screen surface is locked nothing is freed
// and the result is 0. Freeing the draw target (by any route, a mode change
// included) moves drawing to the whole back buffer.
int FreeGraphHandle(int graph, int logIt);
int FreeAllGraphHandles(int logIt);           // 0
// Registers an int32 that becomes 1 when the graph is freed, and stores 0
// into it now. 0, or -1 for an invalid handle.
int SetGraphDeleteFlag(int graph, int32_t* target);
// The graph's size; TargetFront and TargetBack give the screen's. Null
// outputs are skipped. 0, or -1 for an invalid handle.
int GetGraphDimensions(int graph, int* width, int* height);
// Locks a graph's surface, or a screen surface (TargetFront, TargetWork,
// TargetBack), for direct pixel access. 0; -2 when it was locked already
// (the same pitch and pixels are returned); -1 on failure. A graph needs one
// unlock per lock; a screen surface is released by a single unlock.
int LockGraphSurface(int graph, int* pitch, uint8_t** pixels);
int UnlockGraphSurface(int graph);            // 0, or -1 when not locked

// ---------------------------------------------------------------------------
// Text
// ---------------------------------------------------------------------------

int SetDefaultFontSize(int size);
int SetDefaultFontThickness(int thickness);
int MeasureTextWidth(const char* format, ...);
int DrawTextString(int x, int y, const char* text, uint32_t colour, uint32_t edgeColour);
int DrawTextFormat(int x, int y, uint32_t colour, const char* format, ...);

constexpr int FontFaceNameLength = 256;  // bytes of a face name, the terminator included

// A font and its glyph cache. faceName null or "" lets the platform choose a
// Japanese font; size is the character height in pixels (-1: 16); the
// weight is thickness x 100 (-1: 6), bold from 600; fontType -1 or 0 (plain);
// charSetIndex 0 default, 1 Shift-JIS, 2 Hangeul; slot and serial -1 let the
// table choose. A name that is not installed gives fontconfig's closest
// face. The handle, or -1 (no installed face opens, no slot, a bad size).
int CreateFontToHandle(const char* faceName, int size, int thickness, int fontType,
                       int charSetIndex, int slot, int serial);
int ReleaseFontHandle(int font);              // 0, or -1 for an invalid handle
// Registers an int32 that becomes 1 when the font is released, and stores 0
// into it now. 0, or -1 for an invalid handle.
int SetFontDeleteFlag(int font, int32_t* target);
int ClearFontCache(int font);                 // forgets every cached glyph; 0 or -1
int FontHandleIsValid(int font);              // 1 or 0
int QueryFontSize(int font);                  // the size, or -1
// Null outputs are skipped; faceName has room for FontFaceNameLength bytes. 0 or -1.
int QueryFontSettings(char* faceName, int* size, int* thickness, int font);
// Both settings at once; -1 while graphics are shut down.
int SetDefaultFontSizeAndThickness(int size, int thickness);
int QueryDefaultFont();                       // the default font's handle
// Draws a Shift-JIS string at (x, y) of the draw target. 0, or -1 for an
// invalid font or a target that cannot be drawn on.
int DrawTextWithFont(int x, int y, const char* text, uint32_t colour, int font,
                     uint32_t edgeColour);

// ---------------------------------------------------------------------------
// Sound
// ---------------------------------------------------------------------------

int LoadSoundFile(const char* path);
// How PlaySoundHandle plays a sound; any other value plays as PlayBackground.
constexpr int PlayNormal = 0;      // plays once and returns when it has ended, pumping messages
constexpr int PlayBackground = 1;  // plays once and returns at once
constexpr int PlayLoop = 3;        // plays over and over until stopped, and returns at once
// fromStart 1 starts from the first sample, 0 goes on from where the sound
// was stopped. 0, or -1 for an invalid handle or a failing device.
int PlaySoundHandle(int sound, int playType, int fromStart);
int IsSoundPlaying(int sound);
// `buffers` copies (1..10) let the same sound overlap itself that many times.
int LoadSoundFileWithBuffers(const char* path, int buffers);
int StopSoundHandle(int sound);               // 0, or -1 for an invalid handle
// Frees one sound, logging its file name when `logIt` is non-zero. 0, or -1
// for an invalid handle or without a sound device.
int ReleaseSoundHandle(int sound, int logIt);
int ReleaseAllSoundHandles(int logIt);        // 0, or -1 without a sound device

// ---------------------------------------------------------------------------
// HTTP downloads, URLs and formatting for progress displays
// ---------------------------------------------------------------------------

// Starts a request and returns its handle at once; the download service of
// PumpMessages moves it on. `method` is "GET", "HEAD" or "POST"; `body` and
// `contentType` are used by POST only (the body is copied; null or ""
// `contentType` sends no Content-Type). With `savePath`
// null the body is kept in memory (up to the memory limit); otherwise it is
// written to a temporary file beside `savePath` that replaces `savePath`
// only when the whole body of a 2xx reply has arrived (other replies are
// done, with their status code, but leave the file as it was). At most 5
// redirects are followed.
// -1 for a malformed URL, a scheme other than http or https, bad sizes, or a
// POST `contentType` with a control character.
int HttpRequest(const char* method, const char* url, const void* body, int bodySize,
                const char* contentType, const char* savePath);
int HttpGet(const char* url, const char* savePath);
int HttpHead(const char* url);
int HttpPost(const char* url, const void* body, int bodySize, const char* contentType,
             const char* savePath);
constexpr int HttpRunning = 0;
constexpr int HttpDone = 1;    // a whole response arrived, whatever its status code
constexpr int HttpFailed = 2;  // GetHttpError says why
int GetHttpState(int http);
int GetHttpStatusCode(int http);  // 0 until the status line arrives
// Body bytes received, and the announced size (-1 when unknown). Either
// pointer may be null. 0 or -1.
int GetHttpProgress(int http, int64_t* received, int64_t* total);
// The value of the last response's header `name` (any letter case): its
// length, or -1 when there is no such header or it does not fit.
int GetHttpHeader(int http, const char* name, char* buffer, int size);
int64_t GetHttpBodySize(int http);  // body bytes received so far
// Copies in-memory body bytes from `offset`: the count copied, -1 for a body
// that went to a file or an offset past its end.
int ReadHttpBody(int http, void* buffer, int size, int64_t offset);
// Why the request failed ("" while it has not): the length, or -1 when it
// does not fit.
int GetHttpError(int http, char* buffer, int size);
// Cancels a running request and frees the handle, at once even while its
// host name is being looked up.
int CloseHttp(int http);
// Settings for requests started afterwards; they may be made before
// InitLibrary. Defaults: 10 s to connect, 30 s without a byte moving, 64 MiB
// for an in-memory body, which grows with the bytes that arrive, never by
// the announced length. -1 for values below 1.
int SetHttpTimeouts(int connectMs, int stallMs);
int SetHttpMemoryLimit(int64_t bytes);
// An extra trusted certificate file beside the system's; null or "" drops it.
int SetHttpCaFile(const char* path);

// Splits a URL; the port is the scheme's default when none is given, an IPv6
// host comes without brackets and the path keeps its query. 0, or -1 for a
// malformed URL, an unknown scheme, a port outside 1..65535, a null or
// too small buffer (nothing is written then).
int ParseUrl(const char* url, char* scheme, int schemeSize, char* host, int hostSize,
             int* port, char* path, int pathSize);
// "1,234,567", "-1,234".
int FormatNumber(int64_t value, char* buffer, int size);
// 1024-based with three significant digits: "999 B", "1.50 KB", "12.3 MB",
// "4.00 GB". -1 for a negative size.
int FormatByteSize(int64_t bytes, char* buffer, int size);
// "0:05", "12:34", "1:02:03". -1 for a negative span.
int FormatTimeSpan(int64_t ms, char* buffer, int size);
// Each of the three returns the length written, or -1 when the buffer is
// null or too small (nothing is written then).

// ---------------------------------------------------------------------------
// TCP connections
// ---------------------------------------------------------------------------

// Connections are stepped by PumpMessages: nothing here waits for the
// network. Handles of type 9, at most 256 at a time.
constexpr int TcpConnecting = 0;     // resolving the name or connecting
constexpr int TcpConnected = 1;
constexpr int TcpClosedByPeer = 2;   // the peer ended its stream or reset: what it sent can still be read,
                                     // and after an orderly end more can still be sent
constexpr int TcpFailed = 3;         // resolution, connection or the stream failed
constexpr int TcpSendQueueBytes = 4 * 1024 * 1024;

// A handle at once; the name is resolved and the connection made in the
// background (port 1..65535). -1 for bad input or a full table.
int ConnectTcp(const char* host, int port);
// Accepts connections on `port`: a null address on every interface, else on
// the one numeric address given ("127.0.0.1": this machine only). One
// listener at a time: -1 while one is open. 0 or -1.
int ListenTcp(const char* address, int port);
int StopListenTcp();                          // 0, or -1 when not listening
int AcceptTcp();   // the next connection accepted since the last call, or -1
int GetLostTcp();  // the next connection closed by its peer or failed since the last call, or -1
int GetTcpState(int connection);              // TcpConnecting..TcpFailed, or -1
// Queues `size` bytes; never waits. 0, or -1 when they do not fit in the
// TcpSendQueueBytes queue, or the connection failed or was reset (a peer that
// only ended its own stream still reads until CloseTcp).
int SendTcp(int connection, const void* data, int size);
int ReceiveTcp(int connection, void* buffer, int size);  // bytes taken (0 when none), or -1
int PeekTcp(int connection, void* buffer, int size);     // the same, leaving them queued
int GetTcpReceivedSize(int connection);                  // bytes waiting, or -1
// Frees the handle at once; what was queued still goes out, once connected
// if it was still connecting, before the connection closes. A peer that has
// not taken it all 5 s after the close is reset. 0 or -1.
int CloseTcp(int connection);
// The peer's numeric address and port once connected. 0, or -1 (also when
// the address does not fit in `size` bytes).
int GetTcpPeer(int connection, char* address, int size, int* port);

// ---------------------------------------------------------------------------
// Text input
// ---------------------------------------------------------------------------

// The typed-character buffer (Shift-JIS, 1,024 bytes): the next byte, 0
// when empty; a double-byte character is two calls, lead byte first. With
// `peek` 1 the byte stays. The editing keys give control codes: Backspace
// 0x08, Tab 0x09, Return 0x0D, Escape 0x1B, Delete 0x10, Left 0x1D, Right
// 0x1C, Up 0x1E, Down 0x1F, Home 0x01, End 0x05.
int GetInputChar(int peek);
int ClearInputChars();                        // 0

// Input fields. maxBytes 1..65536 bytes of Shift-JIS; cancelable lets
// Escape cancel; singleByteOnly drops double-byte characters; digitsOnly
// takes 0-9 and a leading minus. The handle, or -1.
int MakeInputField(int maxBytes, int cancelable, int singleByteOnly, int digitsOnly);
int DeleteInputField(int field);              // 0, or -1 for an invalid handle
// Makes `field` the one field that takes typed text (-1: none). 0 or -1.
int ActivateInputField(int field);
// 0 editing, 1 entered (Return), 2 cancelled (Escape); -1 for an invalid handle.
int GetInputFieldState(int field);
// Copies the text, cut at a whole character to fit `size` with its
// terminator. Its length in bytes, or -1.
int GetInputFieldText(int field, char* buffer, int size);
// Text longer than the field is cut at a whole character; text the field
// refuses (invalid Shift-JIS: a lead byte without a trail byte 0x40..0x7E or
// 0x80..0xFC, or 0xFD..0xFF; a non-digit in a digits field, a double-byte
// character in a single-byte field, a control character) leaves it
// unchanged. 0 or -1.
int SetInputFieldText(int field, const char* text);
int GetInputFieldNumber(int field);           // the text's number; -1 for an invalid handle
int SetInputFieldFont(int field, int font);   // -1: the default font. 0 or -1
// Draws the field's text with its top-left at (x, y). 0 or -1.
int DrawInputField(int x, int y, int field);
// The colours of every field (MakeColor values, kept as colours across
// screen mode changes): text, cursor, composition text, the composition's
// underline, selected text, the selection's background and the
// composition's cursor. 0.
int SetInputFieldColours(uint32_t text, uint32_t cursor, uint32_t compositionText,
                         uint32_t compositionLine, uint32_t selectedText,
                         uint32_t selectionBackground, uint32_t compositionCursor);
// Makes a field at (x, y), pumps and draws it until Return or Escape and
// copies its text to `out` (room for maxBytes + 1). 0, or -1 when
// cancelled or the window closed.
int InputString(int x, int y, int maxBytes, char* out, int cancelable);
// The input method's composition (Shift-JIS, cut to fit `size`) and its
// cursor as a byte offset into it. Its length in bytes; 0 while none.
int GetImeComposition(char* buffer, int size, int* cursor);

// ---------------------------------------------------------------------------
// Movies
// ---------------------------------------------------------------------------
// LoadGraphFile opens a file that no image decoder takes as a movie: the
// graph (system memory, no alpha channel) shows its first frame at once and
// plays on the library's clock once started. Each call below returns -1 for
// a graph without a movie or an invalid handle.

int PlayMovieGraph(int graph, int loop);      // start or resume; loop 1 starts over at the end
int PauseMovieGraph(int graph);
int SeekMovieGraph(int graph, int ms);        // to the frame shown at `ms`; the sound follows
int TellMovieGraph(int graph);                // time of the frame shown, in ms
int GetMovieGraphLength(int graph);           // in ms
int GetMovieGraphState(int graph);            // 1 playing, 0 paused or ended
int SetMovieGraphVolume(int graph, int volume);  // 0..255; 255 at first
// Plays a movie on the whole screen and returns when it has ended, pumping
// messages: scaleMode 0 at its own size in the centre, 1 fitted to the
// screen keeping its aspect. With `cancelable`, any key or mouse button ends
// it; closing the window ends it at once. 0, or -1 when it cannot be opened.
int PlayMovieFile(const char* path, int scaleMode, int cancelable);

// ---------------------------------------------------------------------------
// GPU drawing
// ---------------------------------------------------------------------------

// 1 asks for the GPU drawing path, 0 for the software blitters alone; made
// before InitLibrary and kept across its state reset. Without a call the
// TESSEL_GPU environment variable (0 or 1) decides, else the back end (the
// desktop asks for the path, headless runs do not). 0.
int SetGpuDrawing(int flag);
// 1 while the GPU path runs.
int IsGpuDrawing();
// Sampling of scaled and rotated draws: 0 nearest (the default), 1 bilinear
// (the GPU path only; -1 on the software path). 0, or -1.
int SetDrawFilter(int mode);

// Meshes, drawn on the GPU path only (onto the back buffer), depth-tested
// against each other; ClearDrawTarget clears the depth.
constexpr int MeshBall = 0;     // a UV sphere
constexpr int MeshCircle = 1;   // a flat disc in the x-y plane
constexpr int MeshPaper = 2;    // a flat rectangle in the x-y plane
constexpr int MeshCube = 3;
constexpr int MeshPyramid = 4;  // a tetrahedron, apex up
// The camera (y up); near and far follow from the eye's distance to the
// target unless SetCameraRange3D gave them. 0, or -1 for a value that is not
// finite, a field of view outside (0, 180) or the eye on the target.
int SetCamera3D(float eyeX, float eyeY, float eyeZ, float targetX, float targetY,
                float targetZ, float fovYDegrees);
int SetCameraRange3D(float nearZ, float farZ);
// One directional light shining along (dirX, dirY, dirZ); ambient 0..255.
int SetLight3D(float dirX, float dirY, float dirZ, int ambient);
// Draws a shape (its extents sizeX x sizeY x sizeZ, turned by yaw about y,
// pitch about x and roll about z, in radians) centred on (x, y, z); `graph`
// -1 draws in `colour` (a MakeColor value) alone, otherwise the graph's
// texture times the colour. 0, or -1 on the software path, for a bad shape
// or a value that is not finite.
int DrawMesh3D(int shape, float x, float y, float z, float sizeX, float sizeY, float sizeZ,
               float yaw, float pitch, float roll, int graph, uint32_t colour);

#endif
