// The desktop's keyboard device: key_input.cpp keeps its state, fed by the
// key events the message translation sees, so the state follows the
// messages the library has taken, which it does every frame.
#include "platform/device/backend.h"
#include "platform/device/sdl/sdl_backend.h"

int SdlKeyboardOpen() { return 0; }

void SdlKeyboardClose() { PlatClearKeyEvents(); }

int SdlKeyboardAcquire() { return 0; }

int SdlKeyboardRead(uint8_t state[256]) {
    PlatReadKeys(state);
    return 0;
}

int SdlKeyboardDrain(int count) { return PlatDrainKeyEvents(count); }

void SdlSystemKeyState(uint8_t state[256]) {
    PlatHeldKeysByVirtualKey(state);
    uint32_t buttons = SDL_GetMouseState(nullptr, nullptr);
    if (buttons & SDL_BUTTON_LMASK) state[0x01] = 0x80;
    if (buttons & SDL_BUTTON_RMASK) state[0x02] = 0x80;
    if (buttons & SDL_BUTTON_MMASK) state[0x04] = 0x80;
}
