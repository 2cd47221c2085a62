// One key script played through both back ends: the desktop's, with SDL
// events pushed as its dummy video driver would deliver them, and the
// headless one, from an input script. The program must see the same.
#include "platform/device/headless/headless.h"
#include "platform/platform.h"

#include <SDL2/SDL.h>
#include <gtest/gtest.h>

#include <sys/wait.h>
#include <unistd.h>

#include <cstdlib>
#include <sstream>
#include <string>

namespace {

// A key going down or up in a frame; a null name: the window loses the focus.
struct Step { int frame; const char* name; SDL_Scancode code; bool down; };

// A tap inside one frame, Shift+letter, Alt+Enter, a key repeated, F10, a
// key held as the window loses the focus.
constexpr Step kScript[] = {
    {1, "A", SDL_SCANCODE_A, true},          {1, "A", SDL_SCANCODE_A, false},
    {2, "LSHIFT", SDL_SCANCODE_LSHIFT, true}, {2, "B", SDL_SCANCODE_B, true},
    {3, "B", SDL_SCANCODE_B, false},          {3, "LSHIFT", SDL_SCANCODE_LSHIFT, false},
    {4, "LALT", SDL_SCANCODE_LALT, true},     {4, "RETURN", SDL_SCANCODE_RETURN, true},
    {5, "RETURN", SDL_SCANCODE_RETURN, false}, {5, "LALT", SDL_SCANCODE_LALT, false},
    {6, "SPACE", SDL_SCANCODE_SPACE, true},   {7, "SPACE", SDL_SCANCODE_SPACE, true},
    {7, "SPACE", SDL_SCANCODE_SPACE, true},   {8, "SPACE", SDL_SCANCODE_SPACE, false},
    {9, "F10", SDL_SCANCODE_F10, true},       {9, "F10", SDL_SCANCODE_F10, false},
    {10, "LEFT", SDL_SCANCODE_LEFT, true},    {11, nullptr, SDL_SCANCODE_UNKNOWN, false},
};
constexpr int kFrames = 13;

// Pushes the frame's steps as SDL delivers them: the modifiers held, the US
// layout's key symbol, a press of a held key as a repeat.
void PushSdlKeys(int frame, uint16_t* mod, bool held[]) {
    for (const Step& step : kScript) {
        if (step.frame != frame) continue;
        SDL_Event e{};
        if (!step.name) {
            e.type = SDL_WINDOWEVENT;
            e.window.windowID = 1;  // the dummy driver numbers windows from 1
            e.window.event = SDL_WINDOWEVENT_FOCUS_LOST;
            SDL_PushEvent(&e);
            continue;
        }
        uint16_t bit = step.code == SDL_SCANCODE_LSHIFT ? KMOD_LSHIFT
                       : step.code == SDL_SCANCODE_LALT ? KMOD_LALT : 0;
        *mod = step.down ? (*mod | bit) : (*mod & ~bit);
        e.type = step.down ? SDL_KEYDOWN : SDL_KEYUP;
        e.key.state = step.down ? SDL_PRESSED : SDL_RELEASED;
        e.key.repeat = step.down && held[step.code];
        e.key.keysym = {step.code, SDL_GetKeyFromScancode(step.code), *mod, 0};
        held[step.code] = step.down;
        SDL_PushEvent(&e);
    }
}

// Runs the script through `backend` in a child process (a process picks its
// back end once) and returns what the program saw, frame by frame.
std::string Replay(const char* backend) {
    int out[2];
    if (pipe(out) != 0) return "no pipe";
    pid_t child = fork();
    if (child == 0) {
        setenv("TESSEL_PLATFORM", backend, 1);
        setenv("SDL_VIDEODRIVER", "dummy", 1);
        bool sdl = backend[0] == 's';
        PlatWindowDesc desc{"parity", 64, 48, 1, 0, 0, 0};
        if (PlatStart() != 0 || PlatCreateWindow(&desc) != 0 || PlatKeyboardOpen() != 0) _exit(1);
        for (const Step& step : kScript) {
            std::string line = std::to_string((step.frame - 1) * 1000 / 60 + 2) +
                               (!step.name ? " focus 0" : step.down ? " down " : " up ") +
                               (step.name ? step.name : "");
            if (!sdl && HeadlessQueueScriptLine(line.c_str()) != 0) _exit(1);
        }
        std::ostringstream trace;
        uint16_t mod = 0;
        bool held[SDL_NUM_SCANCODES] = {};
        for (int frame = 0; frame < kFrames; ++frame) {
            if (sdl) PushSdlKeys(frame, &mod, held);
            trace << "frame " << frame << ':';
            PlatMessage m;
            while (PlatTakeMessage(&m))
                if ((m.message >= MsgKeyDown && m.message <= MsgSysChar) ||
                    m.message == MsgKeyHookF10 || m.message == MsgKeyHookF12)
                    trace << ' ' << std::hex << m.message << '/' << m.wParam << '/' << m.lParam
                          << std::dec;
            uint8_t keys[256], system[256];
            PlatKeyboardRead(keys);
            PlatSystemKeyState(system);
            trace << "\n  held";
            for (int code = 0; code < 256; ++code)
                if (keys[code]) trace << ' ' << code;
            trace << " vk";
            for (int vk = 8; vk < 256; ++vk)
                if (system[vk]) trace << ' ' << vk;
            trace << " events " << PlatKeyboardDrain(100) << '\n';
            PlatWaitVBlank();
        }
        std::string text = trace.str();
        _exit(write(out[1], text.data(), text.size()) == ssize_t(text.size()) ? 0 : 1);
    }
    close(out[1]);
    std::string result;
    char buffer[4096];
    for (ssize_t n; (n = read(out[0], buffer, sizeof buffer)) > 0;)
        result.append(buffer, size_t(n));
    close(out[0]);
    int status = 0;
    waitpid(child, &status, 0);
    return WIFEXITED(status) && WEXITSTATUS(status) == 0 ? result : "the replay failed";
}

TEST(KeyParity, TheDesktopAndAScriptSeeTheSameKeyboard) {
    std::string desktop = Replay("sdl");
    ASSERT_NE(desktop.find("frame 12"), std::string::npos) << desktop;
    EXPECT_EQ(Replay("headless"), desktop);
}

}  // namespace
