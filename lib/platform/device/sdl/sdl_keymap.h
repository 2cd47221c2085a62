// SDL scancodes -> the library's keyboard scan codes.
#ifndef TESSEL_PLATFORM_SDL_KEYMAP_H
#define TESSEL_PLATFORM_SDL_KEYMAP_H

// The scan code for an SDL_Scancode value; 0 for a key the library has no
// code for.
int SdlScancodeToScanCode(int sdlScancode);

#endif
