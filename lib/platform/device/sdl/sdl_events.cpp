// Window messages: the ones the library posts to itself, then SDL's events
// translated into the messages a window procedure expects. Only
// SdlWaitMessage waits for an event.
#include "platform/device/backend.h"
#include "platform/device/record.h"
#include "platform/device/sdl/sdl_backend.h"
#include "platform/device/sdl/sdl_keymap.h"
#include "platform/pixels/surface.h"

namespace {

constexpr int kQueueSize = 256;  // messages held before new ones are dropped

struct MessageQueue {
    PlatMessage items[kQueueSize];  // ring of messages
    int start;                      // oldest message
    int count;                      // messages held
};

struct EventState {
    MessageQueue posted;      // posted by the library, taken first
    MessageQueue translated;  // made from one SDL event, not yet taken
};

EventState gEvents;

// Key state flags that mouse messages carry in wParam.
constexpr uintptr_t kMkLButton = 0x01, kMkRButton = 0x02, kMkShift = 0x04, kMkControl = 0x08,
                    kMkMButton = 0x10;

constexpr int kScanLAlt = 0x38;

void Push(MessageQueue& queue, uint32_t message, uintptr_t wParam, intptr_t lParam) {
    if (queue.count == kQueueSize) return;
    queue.items[(queue.start + queue.count) % kQueueSize] = {message, wParam, lParam};
    ++queue.count;
}

bool Pop(MessageQueue& queue, PlatMessage* out) {
    if (queue.count == 0) return false;
    *out = queue.items[queue.start];
    queue.start = (queue.start + 1) % kQueueSize;
    --queue.count;
    return true;
}

void Emit(uint32_t message, uintptr_t wParam, intptr_t lParam = 0) {
    Push(gEvents.translated, message, wParam, lParam);
}

intptr_t PackPoint(int x, int y) {
    return static_cast<intptr_t>((static_cast<uint32_t>(x) & 0xFFFF) |
                                 ((static_cast<uint32_t>(y) & 0xFFFF) << 16));
}

// `buttons` is SDL's button mask as the event saw it; SDL's own state may
// already be ahead of the event being translated.
uintptr_t MouseKeyFlags(uint32_t buttons) {
    SDL_Keymod mod = SDL_GetModState();
    uintptr_t flags = 0;
    if (buttons & SDL_BUTTON_LMASK) flags |= kMkLButton;
    if (buttons & SDL_BUTTON_RMASK) flags |= kMkRButton;
    if (buttons & SDL_BUTTON_MMASK) flags |= kMkMButton;
    if (mod & KMOD_SHIFT) flags |= kMkShift;
    if (mod & KMOD_CTRL) flags |= kMkControl;
    return flags;
}

uint32_t KeyModifiers(uint16_t mod) {
    uint32_t modifiers = 0;
    if (mod & KMOD_SHIFT) modifiers |= KeyModShift;
    if (mod & KMOD_CTRL) modifiers |= KeyModControl;
    if (mod & KMOD_LALT) modifiers |= KeyModLeftAlt;
    if (mod & KMOD_RALT) modifiers |= KeyModRightAlt;
    if (mod & KMOD_GUI) modifiers |= KeyModLogo;
    if (mod & KMOD_CAPS) modifiers |= KeyModCapsLock;
    return modifiers;
}

void TranslateKey(const SDL_KeyboardEvent& key) {
    int down = key.type == SDL_KEYDOWN;
    // Taken by every key-down, so that it never passes to a later key.
    std::string typed;
    bool known = down && SdlTakeTypedKey(&typed);
    SDL_Keycode sym = key.keysym.sym;
    PlatKeyReport report{};
    report.scanCode = SdlScancodeToScanCode(key.keysym.scancode);
    report.down = down;
    report.repeat = key.repeat != 0;
    report.modifiers = KeyModifiers(key.keysym.mod);
    report.layoutChar = sym > 0 && sym < 0x80 ? static_cast<int>(sym) : 0;
    report.typed = known ? &typed : nullptr;
    report.textInputOn = SDL_IsTextInputActive();
    PlatKeyEvent(report, Emit);
}

void EmitText(uint32_t message, uintptr_t wParam) { Emit(message, wParam); }

void TranslateText(const SDL_Event& event) {
    // Left Alt makes letters system characters, which only Alt+Enter matters
    // for; Alt Gr stays free to type.
    if (event.type == SDL_TEXTINPUT && PlatKeyIsDown(kScanLAlt)) return;
    SdlTranslateTextEvent(event, EmitText);
}

void EmitActivation(uintptr_t active) {
    RecordFocus(static_cast<int>(active));
    Emit(MsgActivateApp, active);
    Emit(MsgActivate, active);
}

// A full-screen program that is minimised gives up the display and is
// inactive until it is restored with the focus, even where the window
// manager sends no focus change of its own.
void NoteFullScreenVisibility(SDL_Window* window, uint8_t event) {
    if (!SdlIsFullScreen()) return;
    if (event == SDL_WINDOWEVENT_MINIMIZED) {
        PlatLoseAllSurfaces();
        EmitActivation(0);
    } else if (event == SDL_WINDOWEVENT_RESTORED &&
               (SDL_GetWindowFlags(window) & SDL_WINDOW_INPUT_FOCUS)) {
        EmitActivation(1);
    }
}

void TranslateWindowEvent(const SDL_WindowEvent& event) {
    SDL_Window* window = SdlWindow();
    if (!window || event.windowID != SDL_GetWindowID(window)) return;
    switch (event.event) {
        case SDL_WINDOWEVENT_FOCUS_GAINED:
            EmitActivation(1);
            break;
        case SDL_WINDOWEVENT_FOCUS_LOST:
            // Keys released elsewhere will never be reported to this window.
            PlatReleaseAllKeys();
            EmitActivation(0);
            break;
        case SDL_WINDOWEVENT_CLOSE:
            RecordClose();
            Emit(MsgClose, 0);
            break;
        case SDL_WINDOWEVENT_MOVED:
            Emit(MsgMove, 0, PackPoint(event.data1, event.data2));
            break;
        case SDL_WINDOWEVENT_SIZE_CHANGED:
        case SDL_WINDOWEVENT_RESTORED:
        case SDL_WINDOWEVENT_MAXIMIZED:
        case SDL_WINDOWEVENT_MINIMIZED: {
            int width = 0, height = 0;
            SDL_GetWindowSize(window, &width, &height);
            uintptr_t kind = 0;
            NoteFullScreenVisibility(window, event.event);
            if (event.event == SDL_WINDOWEVENT_MINIMIZED) kind = 1;
            if (event.event == SDL_WINDOWEVENT_MAXIMIZED) kind = 2;
            Emit(MsgSize, kind, PackPoint(width, height));
            break;
        }
        case SDL_WINDOWEVENT_EXPOSED:
            SdlRedraw();
            Emit(MsgPaint, 0);
            break;
        default:
            break;
    }
}

// The library's bit of each of SDL's buttons 1 (left), 2 (middle), 3 (right).
constexpr int kButtonBit[4] = {0, 1, 4, 2};

void TranslateMouseButton(const SDL_MouseButtonEvent& button) {
    int x = button.x, y = button.y;
    SdlWindowToLogical(&x, &y);
    // A replay places the pointer by motion lines; a click elsewhere moves it.
    int lastX = 0, lastY = 0, originX = 0, originY = 0;
    SdlGetCursorPos(&lastX, &lastY);
    SdlClientOrigin(&originX, &originY);
    if (lastX - originX != x || lastY - originY != y) RecordCursor(x, y);
    SdlNoteMousePosition(x, y);
    bool down = button.type == SDL_MOUSEBUTTONDOWN;
    uint32_t buttons = SDL_GetMouseState(nullptr, nullptr) & ~SDL_BUTTON(button.button);
    if (down) buttons |= SDL_BUTTON(button.button);
    uint32_t message = 0;
    switch (button.button) {
        case SDL_BUTTON_LEFT: message = down ? MsgLButtonDown : MsgLButtonUp; break;
        case SDL_BUTTON_RIGHT: message = down ? MsgRButtonDown : MsgRButtonUp; break;
        case SDL_BUTTON_MIDDLE: message = down ? MsgMButtonDown : MsgMButtonUp; break;
        default: return;
    }
    RecordButton(button.button == SDL_BUTTON_LEFT ? 0 : button.button == SDL_BUTTON_RIGHT ? 1 : 2,
                 down);
    PlatNoteInputEvent(PlatInputMouseButton, kButtonBit[button.button], down);
    Emit(message, MouseKeyFlags(buttons), PackPoint(x, y));
}

void TranslateWheel(const SDL_MouseWheelEvent& wheel) {
    int flip = wheel.direction == SDL_MOUSEWHEEL_FLIPPED ? -1 : 1;
    PlatNoteWheel(flip * wheel.x, flip * wheel.y);
    int steps = flip * wheel.y;
    if (steps == 0) return;
    int delta = steps * 120;
    if (delta > 32767) delta = 32767;
    if (delta < -32768) delta = -32768;
    // The wheel message carries the cursor in screen coordinates.
    int x = 0, y = 0;
    SdlGetCursorPos(&x, &y);
    uintptr_t wParam = (static_cast<uintptr_t>(static_cast<uint16_t>(delta)) << 16) |
                       MouseKeyFlags(SDL_GetMouseState(nullptr, nullptr));
    Emit(MsgMouseWheel, wParam, PackPoint(x, y));
}

void Translate(const SDL_Event& event) {
    switch (event.type) {
        case SDL_QUIT:  // the window manager's quit, or SIGINT / SIGTERM
            RecordClose();
            Emit(MsgClose, 0);
            break;
        case SDL_WINDOWEVENT:
            TranslateWindowEvent(event.window);
            break;
        case SDL_KEYDOWN:
        case SDL_KEYUP:
            TranslateKey(event.key);
            break;
        case SDL_TEXTINPUT:
        case SDL_TEXTEDITING:
        case SDL_TEXTEDITING_EXT:
            TranslateText(event);
            break;
        case SDL_SYSWMEVENT:
            SdlNoteSystemEvent(event.syswm.msg);
            break;
        case SDL_MOUSEMOTION: {
            int x = event.motion.x, y = event.motion.y;
            SdlWindowToLogical(&x, &y);
            SdlNoteMousePosition(x, y);
            RecordMouse(x, y);
            Emit(MsgMouseMove, MouseKeyFlags(event.motion.state), PackPoint(x, y));
            break;
        }
        case SDL_MOUSEBUTTONDOWN:
        case SDL_MOUSEBUTTONUP:
            TranslateMouseButton(event.button);
            break;
        case SDL_MOUSEWHEEL:
            TranslateWheel(event.wheel);
            break;
        case SDL_JOYBUTTONDOWN:
        case SDL_JOYBUTTONUP:
        case SDL_CONTROLLERBUTTONDOWN:
        case SDL_CONTROLLERBUTTONUP:
            SdlNoteJoypadButton(event);
            break;
        case SDL_RENDER_TARGETS_RESET:
        case SDL_RENDER_DEVICE_RESET:
            // The picture went with the renderer: the program is told it
            // lost the display and got it back, and redraws.
            SdlForgetTexture();
            PlatLoseAllSurfaces();
            EmitActivation(0);
            EmitActivation(1);
            break;
        default:
            break;
    }
}

}  // namespace

int SdlTakeMessage(PlatMessage* out) {
    if (Pop(gEvents.posted, out)) return 1;
    if (Pop(gEvents.translated, out)) return 1;
    if (!SDL_WasInit(SDL_INIT_VIDEO)) return 0;
    SDL_Event event;
    while (SDL_PollEvent(&event)) {
        Translate(event);
        if (Pop(gEvents.translated, out)) return 1;
    }
    return 0;
}

int SdlWaitMessage(uint32_t timeoutMs) {
    if (gEvents.posted.count || gEvents.translated.count) return 1;
    if (!SDL_WasInit(SDL_INIT_VIDEO)) {
        SdlSleepMs(timeoutMs);
        return 0;
    }
    // Without an event argument SDL leaves the event it found in its queue.
    return SDL_WaitEventTimeout(nullptr, static_cast<int>(timeoutMs)) ? 1 : 0;
}

void SdlPostMessage(const PlatMessage* message) {
    Push(gEvents.posted, message->message, message->wParam, message->lParam);
}

void SdlResetMessages() { gEvents = EventState{}; }
