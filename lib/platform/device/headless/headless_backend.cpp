// The headless back end: a virtual clock that runs only when the program
// waits, a window that exists only as a size and a message queue, and
// devices fed by the input script. Nothing here depends on real time, so the
// same script gives the same run bit for bit.
#include "platform/device/backend.h"
#include "platform/device/headless/headless.h"
#include "platform/device/headless/state.h"
#include "platform/pixels/surface.h"

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>

HeadlessState gHeadless;

namespace {

// Each clock read costs this much, so that a loop waiting for the clock ends.
constexpr uint64_t kReadQuantumUs = 10;
constexpr uint64_t kVBlankRate = 60;

// ---------------------------------------------------------------------------
// Lifetime and clock
// ---------------------------------------------------------------------------

constexpr uint64_t kDefaultIdleMs = 60000;

// TESSEL_HEADLESS_IDLE_MS: how long a run whose script has ended may go
// without input before its window is closed; 0 keeps it running.
int ReadIdleLimit() {
    uint64_t ms = kDefaultIdleMs;
    const char* text = std::getenv("TESSEL_HEADLESS_IDLE_MS");
    if (text && *text) {
        char* end = nullptr;
        unsigned long long value = std::strtoull(text, &end, 10);
        if (*end || text[0] == '-') {
            std::fprintf(stderr, "TESSEL_HEADLESS_IDLE_MS: \"%s\" is not a number of milliseconds\n",
                         text);
            return -1;
        }
        ms = value;
    }
    gHeadless.idleLimitUs = ms * 1000;
    return 0;
}

int Start() {
    gHeadless.lastEventUs = HeadlessClockUs();
    gHeadless.idleClosed = 0;
    if (ReadIdleLimit() != 0) return -1;
    return LoadScriptFile();
}

// A run nobody drives any more would wait for ever; once the script has
// nothing left and no input has come for the idle limit, the window is
// closed as a user would close it.
void CloseWhenIdle() {
    if (!gHeadless.idleLimitUs || gHeadless.idleClosed || !gHeadless.hasWindow) return;
    if (!gHeadless.events.empty()) return;
    if (gHeadless.nowUs - gHeadless.lastEventUs < gHeadless.idleLimitUs) return;
    gHeadless.idleClosed = 1;
    std::fprintf(stderr,
                 "headless: no input for %llu ms of virtual time after the script's last event; "
                 "closing the window (TESSEL_HEADLESS_IDLE_MS changes this, 0 turns it off)\n",
                 static_cast<unsigned long long>(gHeadless.idleLimitUs / 1000));
    HeadlessQueueInputMessage(MsgClose, 0, 0);
}

// The clock, the script and the keys held stay as they are: a restarted
// library finds the same machine it left.
void Stop() {
    HeadlessAudioClose();
    gHeadless.hasWindow = 0;
    gHeadless.messages.clear();
    gHeadless.keyboardOpened = 0;
    for (HeadlessPad& pad : gHeadless.pads) pad.opened = 0;
}

std::string InstanceScope() {
    std::error_code error;
    std::filesystem::path folder = std::filesystem::current_path(error);
    return "headless:" + folder.string();
}

uint32_t TicksMs() {
    uint64_t recorded = 0;
    if (ReplayReading(EventClock, &recorded)) return static_cast<uint32_t>(recorded);
    HeadlessAdvanceUs(kReadQuantumUs);
    return static_cast<uint32_t>(gHeadless.nowUs / 1000);
}

// A replayed counter keeps its recorded rate, also once the virtual clock
// has taken over: the library measured the rate only once.
uint64_t PerfCounter() {
    uint64_t recorded = 0;
    if (ReplayReading(EventCounter, &recorded)) return recorded;
    HeadlessAdvanceUs(kReadQuantumUs);
    uint64_t rate = gHeadless.counterRate;
    if (!rate) return gHeadless.nowUs;
    return gHeadless.nowUs / 1000000 * rate + gHeadless.nowUs % 1000000 * rate / 1000000;
}

uint64_t PerfFrequency() { return gHeadless.counterRate ? gHeadless.counterRate : 1000000; }

// Sleep(0) only gives up the time slice; it still has to move the clock or a
// loop of it around a device poll would never see the script go on.
void SleepMs(uint32_t ms) { HeadlessAdvanceUs(ms ? ms * uint64_t{1000} : kReadQuantumUs); }

uint32_t TimerPeriodMs() { return 1; }

// ---------------------------------------------------------------------------
// Display and window
// ---------------------------------------------------------------------------

void DesktopMode(int* width, int* height, int* depth) {
    if (width) *width = HeadlessDesktopWidth;
    if (height) *height = HeadlessDesktopHeight;
    if (depth) *depth = 32;
}

void PlaceWindow(int windowed, int width, int height, int hasPosition, int x, int y) {
    gHeadless.windowed = windowed;
    gHeadless.clientWidth = width;
    gHeadless.clientHeight = height;
    if (!windowed) {
        gHeadless.originX = 0;
        gHeadless.originY = 0;
    } else if (hasPosition) {
        gHeadless.originX = x;
        gHeadless.originY = y;
    } else {
        gHeadless.originX = (HeadlessDesktopWidth - width) / 2;
        gHeadless.originY = (HeadlessDesktopHeight - height) / 2;
    }
}

int CreateWindow(const PlatWindowDesc* desc) {
    if (!desc || desc->width <= 0 || desc->height <= 0) return -1;
    PlaceWindow(desc->windowed, desc->width, desc->height, desc->hasPosition, desc->x, desc->y);
    gHeadless.hasWindow = 1;
    gHeadless.title = desc->title ? desc->title : "";
    // A fresh run starts with the pointer resting mid-window, away from the
    // edges that programs often watch, until something moves it.
    if (!gHeadless.cursorPlaced) {
        gHeadless.cursorX = gHeadless.originX + desc->width / 2;
        gHeadless.cursorY = gHeadless.originY + desc->height / 2;
    }
    return 0;
}

void DestroyWindow() {
    gHeadless.hasWindow = 0;
    gHeadless.messages.clear();
    gHeadless.icon.clear();
    gHeadless.iconWidth = 0;
    gHeadless.clientWidth = 0;
    gHeadless.clientHeight = 0;
    gHeadless.originX = 0;
    gHeadless.originY = 0;
}

int HasWindow() { return gHeadless.hasWindow; }

int SetWindowMode(int windowed, int width, int height, int hasPosition, int x, int y) {
    if (!gHeadless.hasWindow || width <= 0 || height <= 0) return -1;
    PlaceWindow(windowed, width, height, hasPosition, x, y);
    return 0;
}

void ClientOrigin(int* x, int* y) {
    if (x) *x = gHeadless.originX;
    if (y) *y = gHeadless.originY;
}

void SetWindowIcon(const uint32_t* argb, int width, int height) {
    if (!gHeadless.hasWindow || !argb || width <= 0 || height <= 0) return;
    gHeadless.icon.assign(argb, argb + static_cast<size_t>(width) * height);
    gHeadless.iconWidth = width;
}

int TakeMessage(PlatMessage* out) {
    int taken = 0;
    if (ReplayTake(out, &taken)) return taken;
    // Polling an empty queue takes time too, so a loop that only pumps still
    // reaches the next scripted event.
    if (gHeadless.messages.empty()) {
        HeadlessAdvanceUs(kReadQuantumUs);
        if (gHeadless.messages.empty()) return 0;
    }
    if (out) *out = gHeadless.messages.front();
    gHeadless.messages.pop_front();
    return 1;
}

void PostMessage(const PlatMessage* message) {
    if (message) gHeadless.messages.push_back(*message);
}

// The clock moves on a millisecond at a time, as script events fall due.
int WaitMessage(uint32_t timeoutMs) {
    for (uint32_t waited = 0; gHeadless.messages.empty() && waited < timeoutMs; ++waited)
        HeadlessAdvanceUs(1000);
    return gHeadless.messages.empty() ? 0 : 1;
}

// The virtual clock does not run while the program spins; every pass moves
// it on by its clock reads, so there is nothing to sleep through.
void Idle() {}

int RefreshHz() { return static_cast<int>(kVBlankRate); }

// A simulated 60 Hz display: the clock moves to the next frame boundary,
// counted from clock zero (the start lies on one).
int WaitVBlank() {
    uint64_t now = HeadlessClockUs();
    uint64_t frame = now * kVBlankRate / 1000000 + 1;
    uint64_t boundary = (frame * 1000000 + kVBlankRate - 1) / kVBlankRate;
    HeadlessAdvanceUs(boundary - now);
    return 0;
}

// Copies a picture into the back end's own block, packed; false when there
// is no memory for it, and then nothing changes.
bool KeepFrameCopy(const uint8_t* rows, int pitch, int width, int height, PlatFrameFormat format) {
    size_t rowBytes = static_cast<size_t>(width) * FrameBytesPerPixel(format);
    size_t bytes = rowBytes * static_cast<size_t>(height);
    uint8_t* block = gHeadless.frame;
    if (bytes != gHeadless.frameBytes) {
        block = static_cast<uint8_t*>(std::malloc(bytes));
        if (!block) return false;
    }
    for (int row = 0; row < height; ++row)
        std::memcpy(block + rowBytes * row, rows + static_cast<ptrdiff_t>(row) * pitch, rowBytes);
    if (block != gHeadless.frame) {
        std::free(gHeadless.frame);
        gHeadless.frame = block;
        gHeadless.frameBytes = bytes;
    }
    gHeadless.frameRows = block;
    gHeadless.framePitch = static_cast<int>(rowBytes);
    return true;
}

// The frame is kept as it came; it is turned into RGB only when captured.
// Rows that stay are read where they are, the way a display shows its
// front buffer; others are copied.
void Present(const PlatFrame* frame) {
    if (!frame || frame->width <= 0 || frame->height <= 0) return;
    const uint8_t* rows = static_cast<const uint8_t*>(frame->rows);
    PlatFrameFormat format = frame->format;
    int pitch = frame->pitchBytes;
    if (!rows) {
        if (!frame->pixels) return;
        rows = reinterpret_cast<const uint8_t*>(frame->pixels);
        format = FrameXrgb8888;
        pitch = std::max(frame->pitchPixels, frame->width) * 4;
    }
    if (frame->rows && frame->rowsStay) {
        gHeadless.frameRows = rows;
        gHeadless.framePitch = pitch;
    } else if (!KeepFrameCopy(rows, pitch, frame->width, frame->height, format)) {
        // The last picture kept stays what captures show.
        std::fprintf(stderr, "headless: no memory to keep a %dx%d frame; it is not captured\n",
                     frame->width, frame->height);
        return;
    }
    gHeadless.frameWidth = frame->width;
    gHeadless.frameHeight = frame->height;
    gHeadless.frameFormat = format;
    if (format == FrameIndex8 && frame->palette)
        std::memcpy(gHeadless.framePalette, frame->palette, sizeof gHeadless.framePalette);
    ++gHeadless.presentCount;
}

// The rows read in place are about to go: the picture is copied out of them,
// or forgotten when there is no memory for the copy.
void ReleaseFrame() {
    if (!gHeadless.frameRows || gHeadless.frameRows == gHeadless.frame) return;
    if (KeepFrameCopy(gHeadless.frameRows, gHeadless.framePitch, gHeadless.frameWidth,
                      gHeadless.frameHeight, gHeadless.frameFormat))
        return;
    std::fprintf(stderr, "headless: no memory to keep the last frame; it is dropped\n");
    gHeadless.frameRows = nullptr;
    gHeadless.frameWidth = gHeadless.frameHeight = 0;
}

// ---------------------------------------------------------------------------
// Cursor
// ---------------------------------------------------------------------------

void GetCursorPos(int* x, int* y) {
    if (x) *x = gHeadless.cursorX;
    if (y) *y = gHeadless.cursorY;
}

void SetCursorPos(int x, int y) {
    gHeadless.cursorX = x;
    gHeadless.cursorY = y;
    gHeadless.cursorPlaced = 1;
}

int ShowCursor(int show) {
    gHeadless.showCursorCalls += 1;
    gHeadless.cursorCount += show ? 1 : -1;
    return gHeadless.cursorCount;
}

// ---------------------------------------------------------------------------
// Keyboard
// ---------------------------------------------------------------------------

int KeyboardOpen() {
    if (gHeadless.keyboardMissing) return -1;
    gHeadless.keyboardOpened = 1;
    return 0;
}

void KeyboardClose() {
    gHeadless.keyboardOpened = 0;
    PlatClearKeyEvents();
}

int KeyboardAcquire() {
    if (!gHeadless.keyboardOpened) return -1;
    gHeadless.keyboardLost = 0;
    return 0;
}

int KeyboardRead(uint8_t state[256]) {
    if (!gHeadless.keyboardOpened) return -1;
    if (gHeadless.keyboardLost) return -2;
    PlatReadKeys(state);
    return 0;
}

int KeyboardDrain(int count) {
    if (!gHeadless.keyboardOpened) return -1;
    return PlatDrainKeyEvents(count);
}

void SystemKeyState(uint8_t state[256]) {
    PlatHeldKeysByVirtualKey(state);
    for (int button : {0x01, 0x02, 0x04}) state[button] = gHeadless.buttons[button];
}

// ---------------------------------------------------------------------------
// Joypads
// ---------------------------------------------------------------------------

HeadlessPad* OpenedPad(int index) {
    if (index < 0 || index >= gHeadless.padCount) return nullptr;
    HeadlessPad* pad = &gHeadless.pads[index];
    return pad->opened ? pad : nullptr;
}

int JoypadCount() { return gHeadless.padCount; }

// The script gives axis values already in the caller's range, so the range
// and dead zone are accepted as they come.
JoypadOpenResult JoypadOpen(int index, int, int, int, JoypadInfo* info) {
    if (index < 0 || index >= gHeadless.padCount) return JoypadNoDevice;
    if (info) {
        std::snprintf(info->instanceName, sizeof info->instanceName, "Headless pad %d", index + 1);
        std::snprintf(info->productName, sizeof info->productName, "Headless pad");
    }
    gHeadless.pads[index].opened = 1;
    return JoypadOpened;
}

int JoypadRead(int index, JoypadState* state) {
    HeadlessPad* pad = OpenedPad(index);
    if (!pad || !state) return -1;
    *state = JoypadState{};
    state->x = pad->axes[0];
    state->y = pad->axes[1];
    state->z = pad->axes[2];
    state->pov[0] = pad->povPlusOne ? pad->povPlusOne - 1 : 0xFFFFFFFFu;
    for (int i = 1; i < 4; ++i) state->pov[i] = 0xFFFFFFFFu;
    std::memcpy(state->buttons, pad->buttons, sizeof state->buttons);
    return 0;
}

int JoypadAcquire(int index) { return OpenedPad(index) ? 0 : -1; }

int JoypadSignalled(int index) {
    HeadlessPad* pad = OpenedPad(index);
    return pad ? pad->signalled : 0;
}

void JoypadResetEvent(int index) {
    if (HeadlessPad* pad = OpenedPad(index)) pad->signalled = 0;
}

void JoypadClose(int index) {
    if (HeadlessPad* pad = OpenedPad(index)) pad->opened = 0;
}

constexpr PlatformBackend kHeadless = {
    .name = "headless",
    .start = Start,
    .stop = Stop,
    .instanceScope = InstanceScope,
    .ticksMs = TicksMs,
    .perfCounter = PerfCounter,
    .perfFrequency = PerfFrequency,
    .sleepMs = SleepMs,
    .timerPeriodMs = TimerPeriodMs,
    .desktopMode = DesktopMode,
    .createWindow = CreateWindow,
    .destroyWindow = DestroyWindow,
    .hasWindow = HasWindow,
    .setWindowMode = SetWindowMode,
    .clientOrigin = ClientOrigin,
    .setWindowIcon = SetWindowIcon,
    .takeMessage = TakeMessage,
    .postMessage = PostMessage,
    .waitMessage = WaitMessage,
    .idle = Idle,
    .refreshHz = RefreshHz,
    .waitVBlank = WaitVBlank,
    .present = Present,
    .releaseFrame = ReleaseFrame,
    .getCursorPos = GetCursorPos,
    .setCursorPos = SetCursorPos,
    .showCursor = ShowCursor,
    .keyboardOpen = KeyboardOpen,
    .keyboardClose = KeyboardClose,
    .keyboardAcquire = KeyboardAcquire,
    .keyboardRead = KeyboardRead,
    .keyboardDrain = KeyboardDrain,
    .systemKeyState = SystemKeyState,
    .joypadCount = JoypadCount,
    .joypadOpen = JoypadOpen,
    .joypadRead = JoypadRead,
    .joypadAcquire = JoypadAcquire,
    .joypadSignalled = JoypadSignalled,
    .joypadResetEvent = JoypadResetEvent,
    .joypadClose = JoypadClose,
    .audioOpen = HeadlessAudioOpen,
    .audioSetFormat = HeadlessAudioSetFormat,
    .audioClose = HeadlessAudioClose,
    .audioLock = HeadlessAudioLock,
    .audioUnlock = HeadlessAudioUnlock,
    .audioDeviceName = HeadlessAudioDeviceName,
    .textInputStart = HeadlessTextInputStart,
    .textInputStop = HeadlessTextInputStop,
    .textInputRect = HeadlessTextInputRect,
    .clipboardGet = HeadlessClipboardGet,
    .clipboardSet = HeadlessClipboardSet,
    // No window to draw in: the GPU path draws off screen, and its frames
    // come back through present.
    .glCreate = nullptr,
    .glDestroy = nullptr,
    .glMakeCurrent = nullptr,
    .glSwap = nullptr,
    .glDrawableSize = nullptr,
};

}  // namespace

const PlatformBackend* HeadlessBackend() { return &kHeadless; }

uint64_t HeadlessClockUs() {
    if (!gHeadless.nowUs) gHeadless.nowUs = HeadlessStartUs;
    return gHeadless.nowUs;
}

// While a recording plays, only its readings move the clock.
void HeadlessAdvanceUs(uint64_t us) {
    if (gHeadless.replaying) return;
    gHeadless.nowUs = HeadlessClockUs() + us;
    HeadlessAudioAdvance();
    ApplyDueEvents();
    CloseWhenIdle();
}

// Like a desktop, input reaches only an existing window; without one the
// devices change but no message is left behind for a later window.
void HeadlessQueueInputMessage(uint32_t message, uintptr_t wParam, intptr_t lParam) {
    if (gHeadless.hasWindow) gHeadless.messages.push_back(PlatMessage{message, wParam, lParam});
}

// ---------------------------------------------------------------------------
// Test hooks
// ---------------------------------------------------------------------------

void HeadlessSetKeyboardMissing(int missing) { gHeadless.keyboardMissing = missing; }

void HeadlessMarkKeyboardLost() { gHeadless.keyboardLost = 1; }

int HeadlessShowCursorCalls() { return gHeadless.showCursorCalls; }

uint64_t HeadlessNowUs() { return HeadlessClockUs(); }

void HeadlessLoseDisplay() {
    PlatLoseAllSurfaces();
    for (uintptr_t active : {uintptr_t{0}, uintptr_t{1}}) {
        HeadlessQueueInputMessage(MsgActivateApp, active, 0);
        HeadlessQueueInputMessage(MsgActivate, active, 0);
    }
}

int64_t HeadlessIconPixel(int x, int y, int* width, int* height) {
    int w = gHeadless.iconWidth;
    int h = w ? static_cast<int>(gHeadless.icon.size()) / w : 0;
    if (width) *width = w;
    if (height) *height = h;
    if (x < 0 || y < 0 || x >= w || y >= h) return -1;
    return gHeadless.icon[static_cast<size_t>(y) * w + x];
}

int64_t HeadlessFramePixel(int x, int y) {
    if (x < 0 || y < 0 || x >= gHeadless.frameWidth || y >= gHeadless.frameHeight) return -1;
    return FramePixelRgb(x, y);
}

int HeadlessPresentCount() { return gHeadless.presentCount; }

void HeadlessReset() {
    if (gHeadless.audioFile) std::fclose(gHeadless.audioFile);
    std::free(gHeadless.frame);
    gHeadless = HeadlessState{};
    PlatResetKeys();
    PlatClearInputEvents();
}
