// What the files of the SDL back end share with each other. Each file keeps
// its own state record; these functions are the only way between them.
#ifndef TESSEL_PLATFORM_SDL_BACKEND_H
#define TESSEL_PLATFORM_SDL_BACKEND_H

#include "platform/media/audio.h"
#include "platform/platform.h"

#include <SDL.h>

// sdl_clock.cpp
uint32_t SdlTicksMs();
uint64_t SdlPerfCounter();
uint64_t SdlPerfFrequency();
void SdlSleepMs(uint32_t ms);
uint32_t SdlTimerPeriodMs();
// Sleeps until the next multiple of 1/`hz` s of the monotonic clock, so that
// frames paced by it neither drift nor bunch up.
void SdlSleepUntilNextFrameTick(int hz);
// Keeps calls to `hz` a second on average, sleeping when they come faster;
// one call may come a frame early, after one that came late.
void SdlKeepToRate(int hz);
void SdlIdle();

// sdl_window.cpp
int SdlStart();
void SdlStop();
std::string SdlInstanceScope();
void SdlDesktopMode(int* width, int* height, int* depth);
int SdlCreateWindow(const PlatWindowDesc* desc);
void SdlDestroyWindow();
int SdlHasWindow();
int SdlSetWindowMode(int windowed, int width, int height, int hasPosition, int x, int y);
void SdlClientOrigin(int* x, int* y);
void SdlSetWindowIcon(const uint32_t* argb, int width, int height);
int SdlRefreshHz();
// 1 when `presents` presents in `elapsedMs` came faster than a display of
// `refreshHz` can show them: present does not wait for it.
int SdlPresentsOutpaceDisplay(int presents, uint32_t elapsedMs, int refreshHz);
int SdlWaitVBlank();
void SdlPresent(const PlatFrame* frame);
void SdlGetCursorPos(int* x, int* y);
void SdlSetCursorPos(int x, int y);
int SdlShowCursor(int show);
SDL_Window* SdlWindow();               // null while there is no window
// The mouse's last position in client (logical) coordinates.
void SdlNoteMousePosition(int x, int y);
// Shows the last presented picture again (the window was uncovered).
void SdlRedraw();
// The renderer lost its textures; the next present makes a new one.
void SdlForgetTexture();
// 1 while the window covers the display.
int SdlIsFullScreen();
// The renderer is put away while the GPU context holds the window, and made
// again for the picture's size afterwards.
void SdlDropRenderer();
void SdlRestoreRenderer();
// Mouse coordinates in the window to the picture's, where nothing else maps them.
void SdlWindowToLogical(int* x, int* y);

// sdl_gl.cpp: the GPU path's context on the window. Create puts the
// renderer away (and gives it back when it fails): 0, or -1 with the
// reason in `why`.
int SdlGlCreate(char* why, int whySize);
void SdlGlDestroy();
int SdlGlActive();
int SdlGlMakeCurrent();            // 0, or -1 when the context is gone
int SdlGlVsync();                  // the swap waits for the display
void SdlGlSwap();
void SdlGlDrawableSize(int* width, int* height);

// sdl_events.cpp
int SdlTakeMessage(PlatMessage* out);
void SdlPostMessage(const PlatMessage* message);
int SdlWaitMessage(uint32_t timeoutMs);
void SdlResetMessages();

// sdl_keyboard.cpp
int SdlKeyboardOpen();
void SdlKeyboardClose();
int SdlKeyboardAcquire();
int SdlKeyboardRead(uint8_t state[256]);
int SdlKeyboardDrain(int count);
void SdlSystemKeyState(uint8_t state[256]);

// sdl_joypad.cpp
int SdlJoypadCount();
JoypadOpenResult SdlJoypadOpen(int index, int rangeMin, int rangeMax, int deadZone,
                               JoypadInfo* info);
int SdlJoypadRead(int index, JoypadState* state);
int SdlJoypadAcquire(int index);
int SdlJoypadSignalled(int index);
void SdlJoypadResetEvent(int index);
void SdlJoypadClose(int index);
void SdlJoypadCloseAll();
// Reports a button event of an open pad as an input event.
void SdlNoteJoypadButton(const SDL_Event& event);

// sdl_audio.cpp
int SdlAudioOpen(PlatAudioCaps* caps);
int SdlAudioSetFormat(const PlatPcmFormat* format);
void SdlAudioClose();
void SdlAudioLock();
void SdlAudioUnlock();
int SdlAudioDeviceName(int index, char* module, size_t moduleSize, char* description,
                       size_t descriptionSize);

// sdl_text.cpp
void SdlTextInputHints();               // before SDL_Init
void SdlTextInputStart();
void SdlTextInputStop();
void SdlTextInputRect(int x, int y, int width, int height);
int SdlClipboardGet(std::string* utf8);
int SdlClipboardSet(const char* utf8);
// Turns a text event into MsgChar and MsgIme* messages through `emit`; 0
// when the event is none of SDL's text events.
int SdlTranslateTextEvent(const SDL_Event& event,
                          void (*emit)(uint32_t message, uintptr_t wParam));
// Outside input fields the keys type what the keyboard layout gives them
// (Shift, AltGr, Caps Lock, other layouts), read from the window system's
// own key event, which SDL passes on just before its key-down event: text
// input, and with it the input method, stays off during play.
void SdlNoteSystemEvent(const SDL_SysWMmsg* message);
// The characters (code page 932) the key press just noted types, and
// forgets it: 1, or 0 when the window system told nothing of it.
int SdlTakeTypedKey(std::string* cp932);

#endif
