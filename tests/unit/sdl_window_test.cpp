// The desktop back end's window on SDL's dummy video driver: SDL events
// pushed into its queue come out as window messages, the keyboard device
// follows them, the picture is scaled into the window, and the cursor and
// window mode behave.
#include "platform/platform.h"
#include "platform/device/sdl/sdl_backend.h"

#include <SDL2/SDL.h>
#include <gtest/gtest.h>

#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

namespace {

constexpr uintptr_t kVkA = 0x41, kVkReturn = 0x0D, kVkEscape = 0x1B, kVkF10 = 0x79,
                    kVkF12 = 0x7B, kVkRControl = 0xA3, kVkControl = 0x11;

struct Message {
    uint32_t id;
    uintptr_t wParam;
    bool operator==(const Message& other) const {
        return id == other.id && wParam == other.wParam;
    }
};

std::ostream& operator<<(std::ostream& out, const Message& m) {
    return out << "{0x" << std::hex << m.id << ", 0x" << m.wParam << std::dec << "}";
}

intptr_t Point(int x, int y) { return (x & 0xFFFF) | ((y & 0xFFFF) << 16); }

void StartSdl() {
    setenv("TESSEL_PLATFORM", "sdl", 1);
    setenv("SDL_VIDEODRIVER", "dummy", 1);
    ASSERT_EQ(PlatStart(), 0);
    ASSERT_STREQ(PlatBackendName(), "sdl");
}

class SdlWindow : public ::testing::Test {
protected:
    void SetUp() override { Open(1); }

    void Open(int windowed) {
        StartSdl();
        PlatWindowDesc desc{"Tessel test", 640, 480, windowed, 0, 0, 0};
        ASSERT_EQ(PlatCreateWindow(&desc), 0);
        // The dummy driver numbers windows from 1 after every start.
        window_ = SDL_GetWindowFromID(1);
        ASSERT_NE(window_, nullptr);
        ASSERT_STREQ(SDL_GetWindowTitle(window_), "Tessel test");
        Take();
        PlatKeyboardResetEvent();
        PlatKeyboardDrain(1000);
    }

    void TearDown() override { PlatStop(); }

    // Every message now pending; the last one's lParam is kept.
    std::vector<Message> Take() {
        std::vector<Message> out;
        PlatMessage m;
        while (PlatTakeMessage(&m)) {
            out.push_back({m.message, m.wParam});
            lParams_.push_back(m.lParam);
        }
        return out;
    }

    std::vector<Message> Key(SDL_Scancode code, bool down, uint16_t mod = KMOD_NONE,
                             SDL_Keycode sym = SDLK_UNKNOWN, bool repeat = false) {
        SDL_Event e{};
        e.type = down ? SDL_KEYDOWN : SDL_KEYUP;
        e.key.windowID = SDL_GetWindowID(window_);
        e.key.state = down ? SDL_PRESSED : SDL_RELEASED;
        e.key.repeat = repeat;
        e.key.keysym.scancode = code;
        e.key.keysym.sym = sym;
        e.key.keysym.mod = mod;
        lParams_.clear();
        EXPECT_EQ(SDL_PushEvent(&e), 1);
        return Take();
    }

    std::vector<Message> WindowEvent(SDL_WindowEventID id) {
        SDL_Event e{};
        e.type = SDL_WINDOWEVENT;
        e.window.windowID = SDL_GetWindowID(window_);
        e.window.event = id;
        lParams_.clear();
        EXPECT_EQ(SDL_PushEvent(&e), 1);
        return Take();
    }

    std::vector<Message> Motion(int x, int y) {
        SDL_Event e{};
        e.type = SDL_MOUSEMOTION;
        e.motion.windowID = SDL_GetWindowID(window_);
        e.motion.x = x;
        e.motion.y = y;
        lParams_.clear();
        EXPECT_EQ(SDL_PushEvent(&e), 1);
        return Take();
    }

    std::vector<uint8_t> KeyboardState() {
        std::vector<uint8_t> state(256, 0xEE);
        EXPECT_EQ(PlatKeyboardRead(state.data()), 0);
        return state;
    }

    SDL_Window* window_ = nullptr;
    std::vector<intptr_t> lParams_;
};

TEST_F(SdlWindow, AKeyPressAndReleaseGiveKeyMessagesAndTheDeviceState) {
    EXPECT_EQ(Key(SDL_SCANCODE_A, true), (std::vector<Message>{{MsgKeyDown, kVkA}}));
    ASSERT_EQ(lParams_.size(), 1u);
    EXPECT_EQ(lParams_[0], 1 | (0x1E << 16));  // once, scan code, no previous state
    std::vector<uint8_t> state = KeyboardState();
    for (int code = 0; code < 256; ++code)
        EXPECT_EQ(state[code], code == 0x1E ? 0x80 : 0) << code;
    EXPECT_EQ(PlatKeyboardSignalled(), 1);
    PlatKeyboardResetEvent();
    EXPECT_EQ(PlatKeyboardSignalled(), 0);

    EXPECT_EQ(Key(SDL_SCANCODE_A, false), (std::vector<Message>{{MsgKeyUp, kVkA}}));
    EXPECT_EQ(static_cast<uint32_t>(lParams_[0]) & 0xC0000000u, 0xC0000000u);
    EXPECT_EQ(KeyboardState()[0x1E], 0);
    EXPECT_EQ(PlatKeyboardSignalled(), 1);
    EXPECT_EQ(PlatKeyboardDrain(5), 2);
    EXPECT_EQ(PlatKeyboardDrain(5), 0);
}

TEST_F(SdlWindow, ATapBetweenTwoReadsOfTheStateIsSeenOnce) {
    EXPECT_EQ(Key(SDL_SCANCODE_ESCAPE, true).size(), 2u);  // key down and its character
    EXPECT_EQ(Key(SDL_SCANCODE_ESCAPE, false), (std::vector<Message>{{MsgKeyUp, kVkEscape}}));
    EXPECT_EQ(KeyboardState()[0x01], 0x80);
    EXPECT_EQ(KeyboardState()[0x01], 0);
    EXPECT_EQ(PlatKeyboardDrain(10), 2);
    // Pressed again before that read, it stays held.
    Key(SDL_SCANCODE_ESCAPE, true);
    Key(SDL_SCANCODE_ESCAPE, false);
    Key(SDL_SCANCODE_ESCAPE, true);
    EXPECT_EQ(KeyboardState()[0x01], 0x80);
    EXPECT_EQ(KeyboardState()[0x01], 0x80);
    // Losing the focus releases it at once.
    WindowEvent(SDL_WINDOWEVENT_FOCUS_LOST);
    EXPECT_EQ(KeyboardState()[0x01], 0);
}

TEST_F(SdlWindow, RepeatsAreMessagesButNotDeviceEvents) {
    Key(SDL_SCANCODE_SPACE, true);
    PlatKeyboardResetEvent();
    PlatKeyboardDrain(100);
    // A held key types its character again with each repeat.
    EXPECT_EQ(Key(SDL_SCANCODE_SPACE, true, KMOD_NONE, SDLK_SPACE, true),
              (std::vector<Message>{{MsgKeyDown, 0x20}, {MsgChar, ' '}}));
    EXPECT_NE(lParams_[0] & (1 << 30), 0);  // the key was already down
    EXPECT_EQ(PlatKeyboardSignalled(), 0);
    EXPECT_EQ(PlatKeyboardDrain(100), 0);
    EXPECT_EQ(KeyboardState()[0x39], 0x80);
}

TEST_F(SdlWindow, TheDeviceBufferKeepsAHundredEvents) {
    for (int i = 0; i < 60; ++i) {
        Key(SDL_SCANCODE_Z, true);
        Key(SDL_SCANCODE_Z, false);
    }
    EXPECT_EQ(PlatKeyboardDrain(1000), 100);
}

TEST_F(SdlWindow, ExtendedKeysShareVirtualKeysButNotScanCodes) {
    EXPECT_EQ(Key(SDL_SCANCODE_KP_ENTER, true),
              (std::vector<Message>{{MsgKeyDown, kVkReturn}, {MsgChar, 13}}));
    EXPECT_NE(lParams_[0] & (1 << 24), 0);
    Key(SDL_SCANCODE_RCTRL, true);
    std::vector<uint8_t> state = KeyboardState();
    EXPECT_EQ(state[0x9C], 0x80);
    EXPECT_EQ(state[0x1C], 0);
    EXPECT_EQ(state[0x9D], 0x80);
    uint8_t system[256];
    PlatSystemKeyState(system);
    EXPECT_EQ(system[kVkReturn], 0x80);
    EXPECT_EQ(system[kVkRControl], 0x80);
    EXPECT_EQ(system[kVkControl], 0x80);
    EXPECT_EQ(system[0xA2], 0);  // left Control
    EXPECT_EQ(system[kVkA], 0);
}

TEST_F(SdlWindow, F10AndF12AlsoReachTheKeyHook) {
    EXPECT_EQ(Key(SDL_SCANCODE_F10, true),
              (std::vector<Message>{{MsgKeyHookF10, 1}, {MsgSysKeyDown, kVkF10}}));
    EXPECT_EQ(Key(SDL_SCANCODE_F10, false),
              (std::vector<Message>{{MsgKeyHookF10, 0}, {MsgSysKeyUp, kVkF10}}));
    EXPECT_EQ(Key(SDL_SCANCODE_F12, true),
              (std::vector<Message>{{MsgKeyHookF12, 1}, {MsgKeyDown, kVkF12}}));
    EXPECT_EQ(Key(SDL_SCANCODE_F12, false),
              (std::vector<Message>{{MsgKeyHookF12, 0}, {MsgKeyUp, kVkF12}}));
}

TEST_F(SdlWindow, KeysThatTypeControlCharacters) {
    EXPECT_EQ(Key(SDL_SCANCODE_RETURN, true),
              (std::vector<Message>{{MsgKeyDown, kVkReturn}, {MsgChar, 13}}));
    EXPECT_EQ(Key(SDL_SCANCODE_ESCAPE, true),
              (std::vector<Message>{{MsgKeyDown, kVkEscape}, {MsgChar, 27}}));
    EXPECT_EQ(Key(SDL_SCANCODE_BACKSPACE, true),
              (std::vector<Message>{{MsgKeyDown, 0x08}, {MsgChar, 8}}));
    EXPECT_EQ(Key(SDL_SCANCODE_C, true, KMOD_LCTRL, SDLK_c),
              (std::vector<Message>{{MsgKeyDown, 0x43}, {MsgChar, 3}}));
    // Alt+Enter is the system character that asks for a window-mode switch.
    EXPECT_EQ(Key(SDL_SCANCODE_RETURN, true, KMOD_LALT, SDLK_RETURN),
              (std::vector<Message>{{MsgSysKeyDown, kVkReturn}, {MsgSysChar, 13}}));
    EXPECT_EQ(Key(SDL_SCANCODE_RETURN, false, KMOD_LALT, SDLK_RETURN),
              (std::vector<Message>{{MsgSysKeyUp, kVkReturn}}));
    EXPECT_EQ(Key(SDL_SCANCODE_X, true, KMOD_RALT, SDLK_x),
              (std::vector<Message>{{MsgSysKeyDown, 0x58}}));
}

TEST_F(SdlWindow, TypedTextAndTheCompositionArriveInCodePage932) {
    // Without text input running, keys type their plain characters.
    EXPECT_EQ(SDL_IsTextInputActive(), SDL_FALSE);
    EXPECT_EQ(Key(SDL_SCANCODE_A, true, KMOD_LSHIFT, SDLK_a),
              (std::vector<Message>{{MsgKeyDown, kVkA}, {MsgChar, 'A'}}));
    EXPECT_EQ(Key(SDL_SCANCODE_1, true, KMOD_NONE, SDLK_1),
              (std::vector<Message>{{MsgKeyDown, '1'}, {MsgChar, '1'}}));

    PlatStartTextInput();
    EXPECT_EQ(SDL_IsTextInputActive(), SDL_TRUE);
    EXPECT_EQ(Key(SDL_SCANCODE_A, true, KMOD_NONE, SDLK_a), (std::vector<Message>{{MsgKeyDown, kVkA}}));
    SDL_Event e{};
    e.type = SDL_TEXTINPUT;
    e.text.windowID = SDL_GetWindowID(window_);
    std::strcpy(e.text.text, "a\xE3\x81\x82\xF0\x9F\x98\x80\xC3\xA9~");  // "aあ😀é~"
    int dropped = PlatDroppedTextCount();
    ASSERT_EQ(SDL_PushEvent(&e), 1);
    EXPECT_EQ(Take(), (std::vector<Message>{{MsgChar, 'a'}, {MsgChar, 0x82A0}, {MsgChar, '~'}}));
    EXPECT_EQ(PlatDroppedTextCount() - dropped, 2);

    SDL_Event edit{};
    edit.type = SDL_TEXTEDITING;
    edit.edit.windowID = e.text.windowID;
    std::strcpy(edit.edit.text, "\xE3\x81\xAB\xE3\x81\xBB");  // "にほ"
    edit.edit.start = 1;
    ASSERT_EQ(SDL_PushEvent(&edit), 1);
    EXPECT_EQ(Take(), (std::vector<Message>{{MsgImeStartComposition, 0}, {MsgImeComposition, 0}}));
    char composition[8];
    int cursor = 0;
    EXPECT_EQ(PlatGetComposition(composition, sizeof composition, &cursor), 4);
    EXPECT_STREQ(composition, "\x82\xC9\x82\xD9");
    EXPECT_EQ(cursor, 2);
    edit.edit.text[0] = '\0';
    ASSERT_EQ(SDL_PushEvent(&edit), 1);
    EXPECT_EQ(Take(), (std::vector<Message>{{MsgImeEndComposition, 0}}));

    // With left Alt held the letters are Alt combinations, not text.
    Key(SDL_SCANCODE_LALT, true, KMOD_LALT);
    ASSERT_EQ(SDL_PushEvent(&e), 1);
    EXPECT_EQ(Take(), std::vector<Message>{});
    PlatStopTextInput();
    EXPECT_EQ(SDL_IsTextInputActive(), SDL_FALSE);
}

TEST_F(SdlWindow, LosingTheFocusReleasesKeysAndDeactivates) {
    Key(SDL_SCANCODE_LEFT, true);
    Key(SDL_SCANCODE_LSHIFT, true);
    PlatKeyboardResetEvent();
    EXPECT_EQ(WindowEvent(SDL_WINDOWEVENT_FOCUS_LOST),
              (std::vector<Message>{{MsgActivateApp, 0}, {MsgActivate, 0}}));
    EXPECT_EQ(KeyboardState(), std::vector<uint8_t>(256, 0));
    EXPECT_EQ(PlatKeyboardSignalled(), 1);
    EXPECT_EQ(WindowEvent(SDL_WINDOWEVENT_FOCUS_GAINED),
              (std::vector<Message>{{MsgActivateApp, 1}, {MsgActivate, 1}}));
}

TEST_F(SdlWindow, ClosingAndQuittingAskTheWindowToClose) {
    EXPECT_EQ(WindowEvent(SDL_WINDOWEVENT_CLOSE), (std::vector<Message>{{MsgClose, 0}}));
    SDL_Event quit{};
    quit.type = SDL_QUIT;
    ASSERT_EQ(SDL_PushEvent(&quit), 1);
    EXPECT_EQ(Take(), (std::vector<Message>{{MsgClose, 0}}));
}

TEST_F(SdlWindow, MinimisingAndRestoringAreSizeMessages) {
    EXPECT_EQ(WindowEvent(SDL_WINDOWEVENT_MINIMIZED), (std::vector<Message>{{MsgSize, 1}}));
    EXPECT_EQ(WindowEvent(SDL_WINDOWEVENT_MAXIMIZED), (std::vector<Message>{{MsgSize, 2}}));
    EXPECT_EQ(WindowEvent(SDL_WINDOWEVENT_RESTORED), (std::vector<Message>{{MsgSize, 0}}));
    EXPECT_EQ(lParams_[0], Point(640, 480));
}

TEST_F(SdlWindow, PostedMessagesComeBeforeTranslatedOnes) {
    SDL_Event e{};
    e.type = SDL_KEYDOWN;
    e.key.keysym.scancode = SDL_SCANCODE_A;
    ASSERT_EQ(SDL_PushEvent(&e), 1);
    PlatMessage setCursor{MsgSetCursor, 0, 0}, paint{MsgPaint, 0, 0};
    PlatPostMessage(&setCursor);
    PlatPostMessage(&paint);
    EXPECT_EQ(Take(), (std::vector<Message>{{MsgSetCursor, 0}, {MsgPaint, 0}, {MsgKeyDown, kVkA}}));
}

TEST_F(SdlWindow, MouseMessagesCarryClientCoordinates) {
    EXPECT_EQ(Motion(100, 50), (std::vector<Message>{{MsgMouseMove, 0}}));
    EXPECT_EQ(lParams_[0], Point(100, 50));
    int originX = 0, originY = 0, x = 0, y = 0;
    PlatClientOrigin(&originX, &originY);
    PlatGetCursorPos(&x, &y);
    EXPECT_EQ(x, originX + 100);
    EXPECT_EQ(y, originY + 50);

    SDL_Event e{};
    e.type = SDL_MOUSEBUTTONDOWN;
    e.button.windowID = SDL_GetWindowID(window_);
    e.button.button = SDL_BUTTON_RIGHT;
    e.button.x = 7;
    e.button.y = 9;
    ASSERT_EQ(SDL_PushEvent(&e), 1);
    lParams_.clear();
    // The button going down is held in the message's key flags, ...
    EXPECT_EQ(Take(), (std::vector<Message>{{MsgRButtonDown, 0x02}}));
    EXPECT_EQ(lParams_[0], Point(7, 9));
    e.type = SDL_MOUSEBUTTONUP;
    e.button.button = SDL_BUTTON_MIDDLE;
    ASSERT_EQ(SDL_PushEvent(&e), 1);
    EXPECT_EQ(Take(), (std::vector<Message>{{MsgMButtonUp, 0}}));  // ... one going up is not

    SDL_Event wheel{};
    wheel.type = SDL_MOUSEWHEEL;
    wheel.wheel.windowID = SDL_GetWindowID(window_);
    wheel.wheel.y = -1;
    ASSERT_EQ(SDL_PushEvent(&wheel), 1);
    std::vector<Message> taken = Take();
    ASSERT_EQ(taken.size(), 1u);
    EXPECT_EQ(taken[0].id, MsgMouseWheel);
    EXPECT_EQ(static_cast<int16_t>(taken[0].wParam >> 16), -120);
}

TEST_F(SdlWindow, TheCursorDisplayCountGoesBothWays) {
    EXPECT_EQ(PlatShowCursor(0), -1);
    EXPECT_EQ(SDL_ShowCursor(SDL_QUERY), SDL_DISABLE);
    EXPECT_EQ(PlatShowCursor(0), -2);
    EXPECT_EQ(PlatShowCursor(1), -1);
    EXPECT_EQ(SDL_ShowCursor(SDL_QUERY), SDL_DISABLE);
    EXPECT_EQ(PlatShowCursor(1), 0);
    EXPECT_EQ(SDL_ShowCursor(SDL_QUERY), SDL_ENABLE);
}

TEST_F(SdlWindow, WindowModeMovesTheClientAndFullScreenCoversTheDisplay) {
    ASSERT_EQ(PlatSetWindowMode(1, 640, 480, 1, 30, 40), 0);
    int x = -1, y = -1, w = 0, h = 0;
    PlatClientOrigin(&x, &y);
    EXPECT_EQ(x, 30);
    EXPECT_EQ(y, 40);
    SDL_GetWindowSize(window_, &w, &h);
    EXPECT_EQ(w, 640);
    EXPECT_EQ(h, 480);

    ASSERT_EQ(PlatSetWindowMode(0, 640, 480, 0, 0, 0), 0);
    PlatClientOrigin(&x, &y);
    EXPECT_EQ(x, 0);
    EXPECT_EQ(y, 0);
    int desktopW = 0, desktopH = 0, depth = 0;
    PlatDesktopMode(&desktopW, &desktopH, &depth);
    SDL_GetWindowSize(window_, &w, &h);
    EXPECT_EQ(w, desktopW);
    EXPECT_EQ(h, desktopH);
    EXPECT_NE(SDL_GetWindowFlags(window_) & SDL_WINDOW_FULLSCREEN_DESKTOP, 0u);
}

TEST(SdlDesktop, TheDepthIsTheStoredPixelSize) {
    StartSdl();
    int w = 0, h = 0, depth = 0;
    PlatDesktopMode(&w, &h, &depth);
    SDL_DisplayMode mode{};
    ASSERT_EQ(SDL_GetDesktopDisplayMode(0, &mode), 0);
    EXPECT_EQ(w, mode.w);
    EXPECT_EQ(h, mode.h);
    // The dummy display is 24-bit colour in 32-bit pixels.
    ASSERT_EQ(SDL_BYTESPERPIXEL(mode.format), 4);
    EXPECT_EQ(depth, 32);
    PlatStop();
}

// Full screen on the dummy display: a 640 x 480 picture in a larger window.
class SdlFullScreen : public SdlWindow {
protected:
    void SetUp() override { Open(0); }

    // The window pixel at (x, y) after the last present.
    uint32_t WindowPixel(int x, int y) {
        SDL_Renderer* renderer = SDL_GetRenderer(window_);
        SDL_RenderSetLogicalSize(renderer, 0, 0);  // read in window pixels
        SDL_Rect one{x, y, 1, 1};
        uint32_t pixel = 0;
        EXPECT_EQ(SDL_RenderReadPixels(renderer, &one, SDL_PIXELFORMAT_ARGB8888, &pixel, 4), 0)
            << SDL_GetError();
        SDL_RenderSetLogicalSize(renderer, 640, 480);
        return pixel & 0xFFFFFF;
    }
};

TEST_F(SdlFullScreen, ThePictureIsScaledToTheWindowKeepingItsShape) {
    int w = 0, h = 0;
    SDL_GetWindowSize(window_, &w, &h);
    ASSERT_GT(w, 640);
    ASSERT_EQ(w * 3, h * 4) << "the dummy display should be 4:3";
    // A different colour in each quadrant, so the scaling shows.
    std::vector<uint32_t> pixels(640 * 480);
    for (int y = 0; y < 480; ++y)
        for (int x = 0; x < 640; ++x)
            pixels[y * 640 + x] = (x < 320 ? 0xFF0000 : 0x00FF00) | (y < 240 ? 0x0000FF : 0);
    PlatFrame frame{pixels.data(), 640, 480, 640};
    PlatPresent(&frame);
    EXPECT_EQ(WindowPixel(0, 0), 0xFF00FFu);
    EXPECT_EQ(WindowPixel(w - 1, 0), 0x00FFFFu);
    EXPECT_EQ(WindowPixel(0, h - 1), 0xFF0000u);
    EXPECT_EQ(WindowPixel(w - 1, h - 1), 0x00FF00u);
    EXPECT_EQ(WindowPixel(w / 2 - 2, h / 2 - 2), 0xFF00FFu);
    EXPECT_EQ(WindowPixel(w / 2 + 1, h / 2 + 1), 0x00FF00u);
}

TEST_F(SdlFullScreen, TheMouseIsInPictureCoordinates) {
    int w = 0, h = 0;
    SDL_GetWindowSize(window_, &w, &h);
    EXPECT_EQ(Motion(w / 2, h / 2), (std::vector<Message>{{MsgMouseMove, 0}}));
    EXPECT_EQ(lParams_[0], Point(320, 240));
    int x = 0, y = 0;
    PlatGetCursorPos(&x, &y);
    EXPECT_EQ(x, 320);
    EXPECT_EQ(y, 240);
    PlatSetCursorPos(160, 120);
    PlatGetCursorPos(&x, &y);
    EXPECT_EQ(x, 160);
    EXPECT_EQ(y, 120);
}

// No display set, or one that cannot be opened (SDL would then fall back
// to a driver that shows nothing): the start fails and says what to do.
TEST(SdlStart, WithoutAUsableDisplayItSaysHowToRunHeadless) {
    struct Case {
        const char* display;  // null: unset
        const char* reason;
    };
    const Case cases[] = {
        {nullptr, "neither DISPLAY nor WAYLAND_DISPLAY is set"},
        {":987", "cannot open the display \":987\""},
    };
    setenv("TESSEL_PLATFORM", "sdl", 1);
    unsetenv("WAYLAND_DISPLAY");
    unsetenv("SDL_VIDEODRIVER");
    for (const Case& c : cases) {
        if (c.display)
            setenv("DISPLAY", c.display, 1);
        else
            unsetenv("DISPLAY");
        testing::internal::CaptureStderr();
        EXPECT_EQ(PlatStart(), -1);
        std::string text = testing::internal::GetCapturedStderr();
        EXPECT_NE(text.find("No display found"), std::string::npos) << text;
        EXPECT_NE(text.find(c.reason), std::string::npos) << text;
        EXPECT_NE(text.find("TESSEL_PLATFORM=headless"), std::string::npos) << text;
    }
}

// A renderer claiming vsync is disbelieved only when its presents come
// faster than the display's own rate allows: a 144 Hz display keeps its
// vertical blank instead of falling back to 60 Hz ticks.
TEST(SdlPacing, PresentsAreTooFastOnlyForTheDisplaysOwnRate) {
    struct Case {
        int refreshHz;
        uint32_t msFor60;  // how long sixty presents took
        int outpace;
    };
    const Case cases[] = {
        {60, 1000, 0}, {60, 800, 0},  {60, 799, 1}, {60, 500, 1},
        {144, 417, 0}, {144, 334, 0}, {144, 300, 1}, {240, 250, 0}, {240, 150, 1},
    };
    for (const Case& c : cases)
        EXPECT_EQ(SdlPresentsOutpaceDisplay(60, c.msFor60, c.refreshHz), c.outpace)
            << c.refreshHz << " Hz, " << c.msFor60 << " ms";
}

TEST(SdlClock, TheMillisecondAndPerformanceClocksAgree) {
    StartSdl();
    EXPECT_EQ(PlatPerfFrequency(), 1000000000u);
    EXPECT_EQ(PlatTimerPeriodMs(), 1u);
    uint32_t before = PlatTicksMs();
    uint64_t counter = PlatPerfCounter();
    uint32_t after = PlatTicksMs();
    uint32_t fromCounter = static_cast<uint32_t>(counter / 1000000u);
    // before <= fromCounter <= after, in wrapping arithmetic.
    EXPECT_LE(fromCounter - before, after - before);
    PlatStop();
}

}  // namespace
