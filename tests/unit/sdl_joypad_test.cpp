// Joypads on the desktop back end, read from SDL's virtual joystick: axis
// scaling and dead zone, buttons, the point-of-view hat, the change event and
// detaching.
#include "platform/platform.h"

#include <SDL2/SDL.h>
#include <gtest/gtest.h>

#include <cstdlib>
#include <cstring>
#include <tuple>

namespace {

// A plain joystick of 2 axes, 4 buttons and 1 hat; SDL has no controller
// mapping for it, so it is read in the order of its controls.
class SdlJoypad : public ::testing::Test {
protected:
    void SetUp() override { Attach(SDL_JOYSTICK_TYPE_UNKNOWN, 2, 4, 1); }

    void Attach(SDL_JoystickType type, int axes, int buttons, int hats) {
        setenv("TESSEL_PLATFORM", "sdl", 1);
        setenv("SDL_VIDEODRIVER", "dummy", 1);
        ASSERT_EQ(PlatStart(), 0);
        ASSERT_STREQ(PlatBackendName(), "sdl");
        before_ = PlatJoypadCount();
        index_ = SDL_JoystickAttachVirtual(type, axes, buttons, hats);
        ASSERT_GE(index_, 0) << SDL_GetError();
        // The test's own handle sets the virtual device's values.
        device_ = SDL_JoystickOpen(index_);
        ASSERT_NE(device_, nullptr) << SDL_GetError();
    }

    void TearDown() override {
        PlatJoypadClose(index_);
        if (device_) SDL_JoystickClose(device_);
        if (index_ >= 0) SDL_JoystickDetachVirtual(index_);
        PlatStop();
    }

    void Open(int rangeMin, int rangeMax, int deadZone) {
        ASSERT_EQ(PlatJoypadOpen(index_, rangeMin, rangeMax, deadZone, &info_), JoypadOpened);
    }

    JoypadState Read() {
        JoypadState state;
        std::memset(&state, 0x5A, sizeof state);
        EXPECT_EQ(PlatJoypadRead(index_, &state), 0);
        return state;
    }

    // X and Y read with the virtual axes at (rawX, rawY).
    void ReadXY(int rawX, int rawY, int* x, int* y) {
        SDL_JoystickSetVirtualAxis(device_, 0, static_cast<Sint16>(rawX));
        SDL_JoystickSetVirtualAxis(device_, 1, static_cast<Sint16>(rawY));
        JoypadState state = Read();
        *x = state.x;
        *y = state.y;
    }

    int before_ = 0;
    int index_ = -1;
    SDL_Joystick* device_ = nullptr;
    JoypadInfo info_{};
};

TEST_F(SdlJoypad, AnAttachedPadIsCountedAndOpensWithItsNames) {
    EXPECT_EQ(PlatJoypadCount(), before_ + 1);
    Open(-1000, 1000, 2500);
    EXPECT_STRNE(info_.instanceName, "");
    EXPECT_STREQ(info_.productName, info_.instanceName);
    EXPECT_EQ(PlatJoypadAcquire(index_), 0);
    JoypadInfo info{};
    EXPECT_EQ(PlatJoypadOpen(PlatJoypadCount(), -1000, 1000, 2500, &info), JoypadNoDevice);
    EXPECT_EQ(PlatJoypadOpen(-1, -1000, 1000, 2500, &info), JoypadNoDevice);
}

TEST_F(SdlJoypad, AxesReachBothEndsOfTheRangeAndRestAtTheCentre) {
    Open(-1000, 1000, 0);
    int x = 0, y = 0;
    ReadXY(32767, -32768, &x, &y);
    EXPECT_EQ(x, 1000);
    EXPECT_EQ(y, -1000);
    ReadXY(-32768, 32767, &x, &y);
    EXPECT_EQ(x, -1000);
    EXPECT_EQ(y, 1000);
    ReadXY(0, 16384, &x, &y);
    EXPECT_EQ(x, 0);
    EXPECT_EQ(y, 500);
}

TEST_F(SdlJoypad, AnUnsymmetricRangeIsScaledFromItsMinimum) {
    Open(0, 65535, 0);
    int x = 0, y = 0;
    ReadXY(-32768, 32767, &x, &y);
    EXPECT_EQ(x, 0);
    EXPECT_EQ(y, 65535);
    ReadXY(0, 0, &x, &y);
    EXPECT_NEAR(x, 32768, 1);
    // Axes the pad does not have rest at the centre too.
    JoypadState state = Read();
    EXPECT_EQ(state.z, x);
    EXPECT_EQ(state.rz, x);
    EXPECT_EQ(state.slider[1], x);
}

TEST_F(SdlJoypad, TheDeadZoneReadsCentreAndTheRestIsStretched) {
    Open(-1000, 1000, 2500);  // a quarter of each half around the centre
    int x = 0, y = 0;
    ReadXY(8000, -8000, &x, &y);  // 24 % of the half-range
    EXPECT_EQ(x, 0);
    EXPECT_EQ(y, 0);
    ReadXY(8500, -8500, &x, &y);  // 26 %: just beyond, so just off centre
    EXPECT_GT(x, 0);
    EXPECT_LT(x, 30);
    EXPECT_NEAR(y, -x, 1);
    ReadXY(16384, -16384, &x, &y);  // half-way: a third of the way past the zone
    EXPECT_NEAR(x, 333, 1);
    EXPECT_NEAR(y, -333, 1);
    ReadXY(32767, -32768, &x, &y);  // the ends are still reached
    EXPECT_EQ(x, 1000);
    EXPECT_EQ(y, -1000);
}

TEST_F(SdlJoypad, HeldButtonsReadAsHighBit) {
    Open(-1000, 1000, 2500);
    SDL_JoystickSetVirtualButton(device_, 0, SDL_PRESSED);
    SDL_JoystickSetVirtualButton(device_, 3, SDL_PRESSED);
    JoypadState state = Read();
    EXPECT_EQ(state.buttons[0], 0x80);
    EXPECT_EQ(state.buttons[1], 0);
    EXPECT_EQ(state.buttons[2], 0);
    EXPECT_EQ(state.buttons[3], 0x80);
    for (int b = 4; b < 32; ++b) EXPECT_EQ(state.buttons[b], 0) << b;
    SDL_JoystickSetVirtualButton(device_, 0, SDL_RELEASED);
    EXPECT_EQ(Read().buttons[0], 0);
}

TEST_F(SdlJoypad, ButtonChangesBecomeInputEventsInOrder) {
    Open(-1000, 1000, 2500);
    const int changes[][2] = {{3, SDL_PRESSED}, {1, SDL_PRESSED}, {3, SDL_RELEASED}};
    for (const auto& [button, state] : changes) {
        SDL_JoystickSetVirtualButton(device_, button, static_cast<Uint8>(state));
        SDL_JoystickUpdate();
    }
    for (PlatMessage message; PlatTakeMessage(&message);) {
    }
    PlatInputEvent events[4]{};
    ASSERT_EQ(PlatTakeInputEvents(events, 4), 3);
    for (int i = 0; i < 3; ++i)
        EXPECT_EQ(std::make_tuple(events[i].kind, events[i].code, events[i].down),
                  std::make_tuple(int(PlatInputPadButton), index_ * 32 + changes[i][0],
                                  changes[i][1] == SDL_PRESSED ? 1 : 0));
}

TEST_F(SdlJoypad, TheHatReadsAsHundredthsOfADegree) {
    Open(-1000, 1000, 2500);
    struct {
        Uint8 hat;
        uint32_t pov;
    } const cases[] = {
        {SDL_HAT_CENTERED, 0xFFFFFFFFu}, {SDL_HAT_UP, 0},          {SDL_HAT_RIGHTUP, 4500},
        {SDL_HAT_RIGHT, 9000},           {SDL_HAT_RIGHTDOWN, 13500}, {SDL_HAT_DOWN, 18000},
        {SDL_HAT_LEFTDOWN, 22500},       {SDL_HAT_LEFT, 27000},     {SDL_HAT_LEFTUP, 31500},
    };
    for (const auto& c : cases) {
        SDL_JoystickSetVirtualHat(device_, 0, c.hat);
        JoypadState state = Read();
        EXPECT_EQ(state.pov[0], c.pov) << int(c.hat);
        // The pad has one hat; the others read centred.
        EXPECT_EQ(state.pov[1], 0xFFFFFFFFu);
        EXPECT_EQ(state.pov[3], 0xFFFFFFFFu);
    }
}

TEST_F(SdlJoypad, TheChangeEventFollowsTheStateUntilReset) {
    Open(-1000, 1000, 2500);
    PlatJoypadResetEvent(index_);
    EXPECT_EQ(PlatJoypadSignalled(index_), 0);
    SDL_JoystickSetVirtualButton(device_, 2, SDL_PRESSED);
    EXPECT_EQ(PlatJoypadSignalled(index_), 1);
    PlatJoypadResetEvent(index_);
    EXPECT_EQ(PlatJoypadSignalled(index_), 0);
    // A move inside the dead zone changes nothing the library could read.
    SDL_JoystickSetVirtualAxis(device_, 0, 4000);
    EXPECT_EQ(PlatJoypadSignalled(index_), 0);
    SDL_JoystickSetVirtualHat(device_, 0, SDL_HAT_DOWN);
    EXPECT_EQ(PlatJoypadSignalled(index_), 1);
}

TEST_F(SdlJoypad, ADetachedPadFailsToReadAndAcquire) {
    Open(-1000, 1000, 2500);
    Read();
    int pad = index_;
    SDL_JoystickClose(device_);
    device_ = nullptr;
    ASSERT_EQ(SDL_JoystickDetachVirtual(pad), 0);
    index_ = -1;
    JoypadState state;
    EXPECT_EQ(PlatJoypadRead(pad, &state), -1);
    EXPECT_EQ(PlatJoypadAcquire(pad), -1);
    EXPECT_EQ(PlatJoypadSignalled(pad), 1);
    PlatJoypadClose(pad);
}

TEST_F(SdlJoypad, AClosedPadReadsNothing) {
    Open(-1000, 1000, 2500);
    PlatJoypadClose(index_);
    JoypadState state;
    EXPECT_EQ(PlatJoypadRead(index_, &state), -1);
    EXPECT_EQ(PlatJoypadSignalled(index_), 0);
}

// A pad with SDL's standard controller layout: 6 axes (sticks, then the
// triggers) and 15 buttons (A B X Y back guide start, the stick buttons, the
// shoulders, then the d-pad up, down, left, right).
class SdlController : public SdlJoypad {
protected:
    void SetUp() override { Attach(SDL_JOYSTICK_TYPE_GAMECONTROLLER, 6, 15, 0); }
};

TEST_F(SdlController, SticksTriggersButtonsAndDpadFollowTheStandardLayout) {
    Open(-1000, 1000, 2500);
    EXPECT_STRNE(info_.productName, "");
    SDL_JoystickSetVirtualAxis(device_, 0, 32767);    // left stick right
    SDL_JoystickSetVirtualAxis(device_, 1, 4000);     // left stick inside the dead zone
    SDL_JoystickSetVirtualAxis(device_, 2, -32768);   // right stick left
    SDL_JoystickSetVirtualAxis(device_, 3, 16384);    // right stick: no dead zone
    SDL_JoystickSetVirtualAxis(device_, 4, -32768);   // left trigger released
    SDL_JoystickSetVirtualAxis(device_, 5, 32767);    // right trigger pulled
    SDL_JoystickSetVirtualButton(device_, 0, SDL_PRESSED);   // A
    SDL_JoystickSetVirtualButton(device_, 10, SDL_PRESSED);  // right shoulder
    SDL_JoystickSetVirtualButton(device_, 12, SDL_PRESSED);  // d-pad down
    SDL_JoystickSetVirtualButton(device_, 14, SDL_PRESSED);  // d-pad right
    JoypadState state = Read();
    EXPECT_EQ(state.x, 1000);
    EXPECT_EQ(state.y, 0);
    EXPECT_EQ(state.rx, -1000);
    EXPECT_EQ(state.ry, 500);
    EXPECT_EQ(state.z, 0);
    EXPECT_EQ(state.slider[0], -1000);
    EXPECT_EQ(state.slider[1], 1000);
    EXPECT_EQ(state.buttons[0], 0x80);
    EXPECT_EQ(state.buttons[1], 0);
    EXPECT_EQ(state.buttons[10], 0x80);
    EXPECT_EQ(state.buttons[12], 0x80);
    EXPECT_EQ(state.buttons[14], 0x80);
    EXPECT_EQ(state.pov[0], 13500u);  // the d-pad is the hat: down and right
    EXPECT_EQ(state.pov[1], 0xFFFFFFFFu);
}

}  // namespace
