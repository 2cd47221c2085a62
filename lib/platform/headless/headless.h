// Hooks into the headless back end for unit tests: faults a desktop can show
// but a script cannot, input added on the fly, and a look at the clock.
#ifndef TESSEL_PLATFORM_HEADLESS_H
#define TESSEL_PLATFORM_HEADLESS_H

#include <cstdint>

// 1: keyboardOpen fails from now on, as when no keyboard device exists.
void HeadlessSetKeyboardMissing(int missing);
// Keyboard reads fail with -2 until the keyboard is acquired again.
void HeadlessMarkKeyboardLost();
// How many times showCursor was called so far.
int HeadlessShowCursorCalls();
// Adds one line in the input-script syntax, as if it were in the TESSEL_INPUT
// file; its time counts from the platform start. Events whose time has passed
// apply at the next clock step. 0, or -1 with the fault on standard error.
int HeadlessQueueScriptLine(const char* line);
// The virtual clock in microseconds, without moving it.
uint64_t HeadlessNowUs();
// Forgets everything: clock, script, window, devices, hooks.
void HeadlessReset();

#endif
