// Recording a session: everything that reaches the program from outside
// (clock readings, input in the order the pump delivered it, activation)
// written as input-script lines, so that the headless back end can play the
// session back exactly. The back ends report each kind of event through its
// own function below; the seam (platform.cpp) adds the clock readings and
// the empty polls. Every function does nothing while no recording runs.
#ifndef TESSEL_PLATFORM_RECORD_H
#define TESSEL_PLATFORM_RECORD_H

#include <cstddef>
#include <cstdint>
#include <string>

// What a recording cannot hold; noted in its first lines so that a replay
// can say it will not be exact.
enum PlatRecordUse : int {
    RecordUsesNetwork = 1,
    RecordUsesMovies = 2,
};

// Opens the recording named by StartRecording, else by TESSEL_RECORD (none:
// nothing to do). A path that cannot be written gets one line on standard
// error, and the program runs unrecorded. `counterRate` is the performance
// counter's rate, which the replay must report. Called as the back end starts.
void PlatRecordOpen(uint64_t counterRate);

void RecordClockMs(uint32_t ms);
void RecordCounter(uint64_t counter);
void RecordEmptyPoll();                  // the program polled, nothing was waiting
void RecordCursor(int x, int y);         // where the pointer rests, no message
void RecordKey(int scanCode, int down);
void RecordMouse(int x, int y);          // client coordinates
void RecordButton(int button, int down); // 0 left, 1 right, 2 middle
void RecordWheel(int x, int y);          // notches right, away from the user
void RecordFocus(int active);
void RecordClose();
void RecordText(const char* utf8, size_t length);
void RecordCompose(int cursorChars, const char* utf8, size_t length);
void RecordCapture(const char* file);
void RecordNoSound();                    // the sound device would not open
// What the sound driver said, which the library logs: one line each.
void RecordSoundDriverText(const std::string& text);
void RecordUse(PlatRecordUse what);

#endif
