// What the files of the headless back end share: its one state record, the
// virtual clock and the script's pending events.
#ifndef TESSEL_PLATFORM_HEADLESS_STATE_H
#define TESSEL_PLATFORM_HEADLESS_STATE_H

#include "platform/media/audio.h"
#include "platform/platform.h"

#include <cstdint>
#include <cstdio>
#include <deque>
#include <map>
#include <string>
#include <vector>

// The clock reads 100 s "since the system started" when the platform comes up;
// script times count from here.
constexpr uint64_t HeadlessStartUs = 100000000;
constexpr int HeadlessPadCount = 8;
constexpr int HeadlessDesktopWidth = 1920;
constexpr int HeadlessDesktopHeight = 1080;
// The mix is written to the audio file in pieces of this size.
constexpr size_t HeadlessAudioFlushBytes = 64 * 1024;

enum HeadlessEventKind : int {
    EventKeyDown,    // a: scan code
    EventKeyUp,
    EventMouse,      // a, b: client x, y
    EventButton,     // a: 0 left, 1 right, 2 middle; b: 1 down
    EventFocus,      // a: 1 gained
    EventClose,
    EventCapture,    // file
    EventPadButton,  // pad; a: button; b: 1 down
    EventPadAxis,    // pad; a: 0 x, 1 y, 2 z; b: value
    EventPadPov,     // pad; a: hundredths of a degree, or -1 centred
    EventText,       // text: committed UTF-8 text
    EventCompose,    // text: the composition (empty ends it); a: its cursor in characters
    EventWheel,      // a, b: notches right, away from the user
    // Only in a recording:
    EventRecording,    // a: the format's version; first in the file
    EventUses,         // a: PlatRecordUse bits of what the recording cannot hold
    EventCounterRate,  // value: the performance counter's counts a second
    EventClock,        // value: a millisecond clock reading
    EventCounter,      // value: a performance counter reading
    EventPoll,         // the program polled for messages and none was waiting
    EventCursor,       // a, b: where the pointer rests (client x, y), no message
    EventNoSound,      // the recorded program had no sound device
    EventSoundSays,    // text: a line the recorded sound driver said
};

struct HeadlessEvent {
    HeadlessEventKind kind;
    uint64_t ms;       // virtual milliseconds since the start
    int pad;           // 0-based joypad for the pad events
    int a, b;          // arguments, by kind
    std::string file;  // the capture's PNG path
    std::string text;  // EventText, EventCompose
    uint64_t value;    // EventCounterRate, EventClock, EventCounter
    int line;          // the line of the file it came from
};

// A scripted joypad; zero is its resting state.
struct HeadlessPad {
    int opened;           // joypadOpen succeeded and no close since
    int signalled;        // the change event
    int32_t axes[3];      // x, y, z as the script gave them
    uint8_t buttons[32];  // 0x80 held
    uint32_t povPlusOne;  // hundredths of a degree + 1; 0 centred
};

struct HeadlessState {
    uint64_t nowUs;        // the virtual clock; 0 until first read
    // Pending script events by due time (µs); equal times keep their order.
    std::multimap<uint64_t, HeadlessEvent> events;
    int scriptLoaded;      // the TESSEL_INPUT file was read without fault
    int padCount;          // highest pad the script mentions
    int blackCaptureWarned;  // the "nothing presented yet" note was printed
    uint64_t lastEventUs;  // the clock when the last script event applied, or at start
    uint64_t idleLimitUs;  // TESSEL_HEADLESS_IDLE_MS: idle time before closing; 0 never
    int idleClosed;        // the idle close was sent
    uint64_t scriptBaseUs; // the clock at script time 0; 0: HeadlessStartUs

    // A recording played back (replay.cpp): its lines in order, consumed as
    // the program reads the clock and polls, until it runs out or diverges.
    std::vector<HeadlessEvent> replay;
    size_t replayAt;       // the next line to consume
    int replaying;         // lines are being consumed
    int replayLoaded;      // TESSEL_INPUT is a recording
    uint64_t counterRate;  // the recorded counter's rate; 0: microseconds

    int hasWindow;         // createWindow succeeded and no destroy since
    std::string title;     // the window's title as the system got it (UTF-8)
    int windowed;          // 0: full screen
    int clientWidth, clientHeight;
    int originX, originY;  // client top-left in screen coordinates
    std::deque<PlatMessage> messages;  // waiting for takeMessage, oldest first
    std::vector<uint32_t> icon;   // the window's icon, 0xAARRGGBB rows; empty: none
    int iconWidth;

    uint8_t* frame;               // our own copy of a presented picture, packed rows; malloc'd
    size_t frameBytes;            // bytes of `frame`
    const uint8_t* frameRows;     // the picture's first row: in `frame` or the presented rows
    int framePitch;               // bytes from one row of frameRows to the next
    int frameWidth, frameHeight;  // 0 until something is presented
    PlatFrameFormat frameFormat;  // layout of `frame`
    uint32_t framePalette[256];   // FrameIndex8: the frame's colours, 0x00RRGGBB
    int presentCount;             // frames presented since the start

    int cursorX, cursorY;  // screen coordinates
    int cursorPlaced;      // the script or the program has put the cursor somewhere
    int cursorCount;       // showCursor's display count
    int showCursorCalls;   // for the tests

    // The keys themselves are key_input.cpp's, as on the desktop.
    uint8_t buttons[256];      // mouse buttons by virtual key (1, 2, 4), 0x80 held
    int capsLock;              // Caps Lock is on
    int keyboardMissing;       // test hook: keyboardOpen fails
    int keyboardOpened;
    int keyboardLost;          // test hook: reads fail until acquired again

    HeadlessPad pads[HeadlessPadCount];

    // The audio device (audio_out.cpp): mixed in virtual time, written to
    // the TESSEL_AUDIO_OUT file.
    int audioMissing;          // test hook: audioOpen fails
    int audioCapsSet;          // test hook: audioCaps replaces the default report
    PlatAudioCaps audioCaps;
    int audioOpened;
    PlatPcmFormat audioFormat;     // the output format being written
    uint64_t audioStartUs;         // the clock when that format began
    uint64_t audioFrames;          // frames mixed since then
    std::FILE* audioFile;          // the output file, or null
    uint32_t audioDataBytes;       // sample bytes in the file
    // Mixed, not yet written: up to two pieces of HeadlessAudioFlushBytes.
    uint8_t audioPending[2 * HeadlessAudioFlushBytes];
    size_t audioPendingBytes;

    // Text input (headless_text.cpp).
    int textInputRunning;          // started and not stopped
    int textRect[4];               // the input method's place: x, y, width, height
    std::string clipboard;         // UTF-8
    int clipboardHasText;
};

extern HeadlessState gHeadless;

// headless_backend.cpp
// The clock, started on first use.
uint64_t HeadlessClockUs();
// Moves the clock forward and applies the script events that fell due.
void HeadlessAdvanceUs(uint64_t us);
// A message caused by input: only a window receives it.
void HeadlessQueueInputMessage(uint32_t message, uintptr_t wParam, intptr_t lParam);

// script.cpp
// Parses one script line. 1 with `out` filled, 0 for a blank or comment line,
// -1 with `error` saying what is wrong.
int ParseScriptLine(const char* line, HeadlessEvent* out, std::string* error);
void QueueScriptEvent(const HeadlessEvent& event);
// Reads the TESSEL_INPUT file if one is named and not read yet; 0, or -1
// after reporting every faulty line on standard error.
int LoadScriptFile();
// Applies, in time order, every event due at the current clock.
void ApplyDueEvents();

// Applies one event of the script or the recording to the devices.
void ApplyScriptEvent(const HeadlessEvent& event);

// replay.cpp
// Takes the recording's lines from a loaded file; faults have been reported.
void StartReplay(std::vector<HeadlessEvent> lines, int uses);
// The next reading of `kind` (EventClock or EventCounter): 1 with `value`,
// or 0 when no recording is being played (any more) and the virtual clock
// answers.
int ReplayReading(HeadlessEventKind kind, uint64_t* value);
// A poll for messages: 1 with `*taken` set (1 with `out` filled, or 0 for
// nothing waiting), or 0 when the virtual clock's rules answer.
int ReplayTake(PlatMessage* out, int* taken);

// headless_text.cpp
void HeadlessTextInputStart();
void HeadlessTextInputStop();
void HeadlessTextInputRect(int x, int y, int width, int height);
int HeadlessClipboardGet(std::string* utf8);
int HeadlessClipboardSet(const char* utf8);
// Applies the script's text and compose events.
void ApplyTextEvent(const HeadlessEvent& event);

// audio_out.cpp
// Mixes up to the clock; called whenever the clock moves.
void HeadlessAudioAdvance();
int HeadlessAudioOpen(PlatAudioCaps* caps);
int HeadlessAudioSetFormat(const PlatPcmFormat* format);
void HeadlessAudioClose();
void HeadlessAudioLock();
void HeadlessAudioUnlock();
int HeadlessAudioDeviceName(int index, char* module, size_t moduleSize, char* description,
                            size_t descriptionSize);

// capture.cpp
// Writes the last presented frame (or a black one) as an RGB PNG.
void CaptureFrame(const std::string& path);
// Pixel (x, y) of the last presented frame as 0x00RRGGBB.
uint32_t FramePixelRgb(int x, int y);
int FrameBytesPerPixel(PlatFrameFormat format);

#endif
