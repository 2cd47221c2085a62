// Hooks into the headless back end for unit tests: faults a desktop can show
// but a script cannot, input added on the fly, and a look at the clock.
#ifndef TESSEL_PLATFORM_HEADLESS_H
#define TESSEL_PLATFORM_HEADLESS_H

#include <cstdint>

struct PlatAudioCaps;

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
// 1: the audio device cannot be opened from now on, as on a machine
// without sound.
void HeadlessSetAudioMissing(int missing);
// The capabilities the audio device reports from now on; null restores the
// default (a software device taking 100..200000 Hz, mono and stereo, 8 and
// 16 bits).
void HeadlessSetAudioCaps(const PlatAudioCaps* caps);
// Simulates losing the display: every surface is marked lost, and the
// window is deactivated and activated again, as after switching away from a
// full-screen program and back.
void HeadlessLoseDisplay();
// Pixel (x, y) of the last presented frame as 0x00RRGGBB; -1 outside it or
// before anything was presented.
int64_t HeadlessFramePixel(int x, int y);
// The window's icon: its size (0 x 0 when it has none) and pixel (x, y) as
// 0xAARRGGBB; -1 outside it.
int64_t HeadlessIconPixel(int x, int y, int* width, int* height);
// Frames presented since the platform started.
int HeadlessPresentCount();
// 1 while the program runs text input; the rectangle it last gave for the
// input method's window (client coordinates), into `rect` when not null.
int HeadlessTextInput(int rect[4]);
// The title the window was made with, as the system got it (UTF-8).
const char* HeadlessWindowTitle();
// Forgets everything: clock, script, window, devices, hooks.
void HeadlessReset();

#endif
