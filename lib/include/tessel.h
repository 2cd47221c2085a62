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

// The parts, lowest layer first.
#include "tessel/core.h"
#include "tessel/graphics.h"
#include "tessel/gpu.h"
#include "tessel/text.h"
#include "tessel/sound.h"
#include "tessel/input.h"
#include "tessel/movie.h"
#include "tessel/net.h"
#include "tessel/textinput.h"

#pragma GCC visibility push(default)

// ---------------------------------------------------------------------------
// Library start and end
// ---------------------------------------------------------------------------

// Brings the whole library up: file layer, log, window, clocks, input, sound
// and screen. 0 on success; -1 on failure, with everything started ended again.
int InitLibrary();
// Takes the library down in reverse order; safe after a partial start. Always 0.
int EndLibrary();

#pragma GCC visibility pop

#endif
