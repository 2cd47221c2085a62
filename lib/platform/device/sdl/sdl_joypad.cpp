// Joypads through SDL: a pad SDL has a controller mapping for is read by its
// standard layout, any other joystick by the order of its axes, hats and
// buttons. Axes are scaled to the range asked for at opening.
#include "platform/device/backend.h"
#include "platform/device/sdl/sdl_backend.h"

#include <cmath>
#include <cstdio>
#include <cstring>

namespace {

constexpr int kMaxPads = 16;  // device indices that can be open at once
constexpr uint32_t kPovCentred = 0xFFFFFFFFu;

struct Pad {
    SDL_GameController* controller;  // when SDL has a mapping for the pad
    SDL_Joystick* joystick;          // the device itself; null when closed
    int rangeMin, rangeMax;          // what the axes are scaled to
    int deadZone;                    // X and Y: 1/10000 of the half-range reading centre
    JoypadState signalState;         // the state at the last event reset
};

struct JoypadModule {
    Pad pads[kMaxPads];  // by device index at opening
};

JoypadModule gJoypads;

Pad* OpenPad(int index) {
    if (index < 0 || index >= kMaxPads || !gJoypads.pads[index].joystick) return nullptr;
    return &gJoypads.pads[index];
}

// Raw -32768..32767 to the pad's range. Inside the dead zone the axis reads
// its centre; beyond it the rest of the travel is stretched to reach both ends.
int32_t ScaleAxis(const Pad& pad, int raw, int deadZone) {
    double value = raw < 0 ? raw / 32768.0 : raw / 32767.0;
    double zone = deadZone / 10000.0;
    double magnitude = std::fabs(value);
    value = magnitude <= zone ? 0.0 : std::copysign((magnitude - zone) / (1.0 - zone), value);
    double centre = (pad.rangeMin + static_cast<double>(pad.rangeMax)) / 2.0;
    double half = (pad.rangeMax - static_cast<double>(pad.rangeMin)) / 2.0;
    return static_cast<int32_t>(std::lround(centre + value * half));
}

// Triggers rest at 0 and travel to 32767: released reads the range's minimum.
int32_t ScaleTrigger(const Pad& pad, int raw) {
    double value = raw <= 0 ? 0.0 : raw / 32767.0;
    return static_cast<int32_t>(
        std::lround(pad.rangeMin + value * (pad.rangeMax - static_cast<double>(pad.rangeMin))));
}

uint32_t HatToPov(uint8_t hat) {
    switch (hat) {
        case SDL_HAT_UP: return 0;
        case SDL_HAT_RIGHTUP: return 4500;
        case SDL_HAT_RIGHT: return 9000;
        case SDL_HAT_RIGHTDOWN: return 13500;
        case SDL_HAT_DOWN: return 18000;
        case SDL_HAT_LEFTDOWN: return 22500;
        case SDL_HAT_LEFT: return 27000;
        case SDL_HAT_LEFTUP: return 31500;
        default: return kPovCentred;
    }
}

void ReadController(const Pad& pad, JoypadState* state) {
    SDL_GameController* c = pad.controller;
    state->x = ScaleAxis(pad, SDL_GameControllerGetAxis(c, SDL_CONTROLLER_AXIS_LEFTX), pad.deadZone);
    state->y = ScaleAxis(pad, SDL_GameControllerGetAxis(c, SDL_CONTROLLER_AXIS_LEFTY), pad.deadZone);
    state->rx = ScaleAxis(pad, SDL_GameControllerGetAxis(c, SDL_CONTROLLER_AXIS_RIGHTX), 0);
    state->ry = ScaleAxis(pad, SDL_GameControllerGetAxis(c, SDL_CONTROLLER_AXIS_RIGHTY), 0);
    state->slider[0] = ScaleTrigger(pad, SDL_GameControllerGetAxis(c, SDL_CONTROLLER_AXIS_TRIGGERLEFT));
    state->slider[1] =
        ScaleTrigger(pad, SDL_GameControllerGetAxis(c, SDL_CONTROLLER_AXIS_TRIGGERRIGHT));
    for (int b = 0; b < SDL_CONTROLLER_BUTTON_MAX && b < 32; ++b)
        if (SDL_GameControllerGetButton(c, static_cast<SDL_GameControllerButton>(b)))
            state->buttons[b] = 0x80;
    // The d-pad is the point-of-view hat, as on a joystick.
    uint8_t hat = SDL_HAT_CENTERED;
    if (SDL_GameControllerGetButton(c, SDL_CONTROLLER_BUTTON_DPAD_UP)) hat |= SDL_HAT_UP;
    if (SDL_GameControllerGetButton(c, SDL_CONTROLLER_BUTTON_DPAD_DOWN)) hat |= SDL_HAT_DOWN;
    if (SDL_GameControllerGetButton(c, SDL_CONTROLLER_BUTTON_DPAD_LEFT)) hat |= SDL_HAT_LEFT;
    if (SDL_GameControllerGetButton(c, SDL_CONTROLLER_BUTTON_DPAD_RIGHT)) hat |= SDL_HAT_RIGHT;
    state->pov[0] = HatToPov(hat);
}

void ReadJoystick(const Pad& pad, JoypadState* state) {
    SDL_Joystick* j = pad.joystick;
    int32_t* axes[] = {&state->x,  &state->y,  &state->z,         &state->rx,
                       &state->ry, &state->rz, &state->slider[0], &state->slider[1]};
    int axisCount = SDL_JoystickNumAxes(j);
    for (int i = 0; i < axisCount && i < 8; ++i)
        *axes[i] = ScaleAxis(pad, SDL_JoystickGetAxis(j, i), i < 2 ? pad.deadZone : 0);
    int hatCount = SDL_JoystickNumHats(j);
    for (int i = 0; i < hatCount && i < 4; ++i) state->pov[i] = HatToPov(SDL_JoystickGetHat(j, i));
    int buttonCount = SDL_JoystickNumButtons(j);
    for (int i = 0; i < buttonCount && i < 32; ++i)
        if (SDL_JoystickGetButton(j, i)) state->buttons[i] = 0x80;
}

void ReadPad(const Pad& pad, JoypadState* state) {
    // Axes the pad lacks rest at the centre, hats it lacks are centred.
    int32_t centre = ScaleAxis(pad, 0, 0);
    *state = JoypadState{};
    state->x = state->y = state->z = state->rx = state->ry = state->rz = centre;
    state->slider[0] = state->slider[1] = centre;
    for (uint32_t& pov : state->pov) pov = kPovCentred;
    if (pad.controller)
        ReadController(pad, state);
    else
        ReadJoystick(pad, state);
}

void CopyName(char (&out)[260], const char* name) {
    std::snprintf(out, sizeof out, "%s", name ? name : "");
}

}  // namespace

int SdlJoypadCount() {
    if (!SDL_WasInit(SDL_INIT_JOYSTICK)) return 0;
    // Updating also looks for pads plugged in since the last look.
    SDL_JoystickUpdate();
    int count = SDL_NumJoysticks();
    return count < 0 ? 0 : count;
}

JoypadOpenResult SdlJoypadOpen(int index, int rangeMin, int rangeMax, int deadZone,
                               JoypadInfo* info) {
    if (index < 0 || index >= kMaxPads || !SDL_WasInit(SDL_INIT_JOYSTICK) ||
        index >= SDL_NumJoysticks())
        return JoypadNoDevice;
    SdlJoypadClose(index);
    Pad& pad = gJoypads.pads[index];
    if (SDL_IsGameController(index)) {
        pad.controller = SDL_GameControllerOpen(index);
        if (pad.controller) pad.joystick = SDL_GameControllerGetJoystick(pad.controller);
    }
    if (!pad.joystick) pad.joystick = SDL_JoystickOpen(index);
    if (!pad.joystick) {
        SdlJoypadClose(index);
        return JoypadNoDevice;
    }
    if (info) {
        const char* name = SDL_JoystickName(pad.joystick);
        CopyName(info->instanceName, name);
        CopyName(info->productName,
                 pad.controller ? SDL_GameControllerName(pad.controller) : name);
    }
    if (rangeMin > rangeMax) {
        SdlJoypadClose(index);
        return JoypadBadRangeX;
    }
    if (deadZone < 0 || deadZone > 10000) {
        SdlJoypadClose(index);
        return JoypadBadDeadZoneX;
    }
    pad.rangeMin = rangeMin;
    pad.rangeMax = rangeMax;
    pad.deadZone = deadZone;
    ReadPad(pad, &pad.signalState);
    return JoypadOpened;
}

int SdlJoypadRead(int index, JoypadState* state) {
    Pad* pad = OpenPad(index);
    if (!pad) return -1;
    SDL_JoystickUpdate();
    if (!SDL_JoystickGetAttached(pad->joystick)) return -1;
    ReadPad(*pad, state);
    return 0;
}

int SdlJoypadAcquire(int index) {
    Pad* pad = OpenPad(index);
    return pad && SDL_JoystickGetAttached(pad->joystick) ? 0 : -1;
}

int SdlJoypadSignalled(int index) {
    Pad* pad = OpenPad(index);
    if (!pad) return 0;
    SDL_JoystickUpdate();
    if (!SDL_JoystickGetAttached(pad->joystick)) return 1;
    JoypadState now;
    ReadPad(*pad, &now);
    return std::memcmp(&now, &pad->signalState, sizeof now) != 0;
}

void SdlJoypadResetEvent(int index) {
    Pad* pad = OpenPad(index);
    if (pad && SDL_JoystickGetAttached(pad->joystick)) ReadPad(*pad, &pad->signalState);
}

void SdlJoypadClose(int index) {
    if (index < 0 || index >= kMaxPads) return;
    Pad& pad = gJoypads.pads[index];
    if (pad.controller)
        SDL_GameControllerClose(pad.controller);
    else if (pad.joystick)
        SDL_JoystickClose(pad.joystick);
    pad = Pad{};
}

void SdlNoteJoypadButton(const SDL_Event& event) {
    // A pad with a mapping reports each press twice, by its raw button and
    // by its standard one; its state reads the standard ones, so do its
    // events.
    bool standard = event.type == SDL_CONTROLLERBUTTONDOWN || event.type == SDL_CONTROLLERBUTTONUP;
    SDL_JoystickID which = standard ? event.cbutton.which : event.jbutton.which;
    int button = standard ? event.cbutton.button : event.jbutton.button;
    int down = standard ? event.cbutton.state == SDL_PRESSED : event.jbutton.state == SDL_PRESSED;
    if (button >= 32) return;
    for (int index = 0; index < kMaxPads; ++index) {
        const Pad& pad = gJoypads.pads[index];
        if (!pad.joystick || SDL_JoystickInstanceID(pad.joystick) != which) continue;
        if ((pad.controller != nullptr) == standard)
            PlatNoteInputEvent(PlatInputPadButton, index * 32 + button, down);
        return;
    }
}

void SdlJoypadCloseAll() {
    for (int i = 0; i < kMaxPads; ++i) SdlJoypadClose(i);
}
