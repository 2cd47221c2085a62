// Chooses the back end from TESSEL_PLATFORM and forwards to it.
#include "platform/device/backend.h"
#include "platform/device/record.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>

namespace {

const PlatformBackend* gBackend;  // chosen on first use
bool gStarted;                    // the device half is up

const PlatformBackend* Backend() {
    if (gBackend) return gBackend;
    const char* name = std::getenv("TESSEL_PLATFORM");
    if (name && std::strcmp(name, "headless") == 0) {
        gBackend = HeadlessBackend();
    } else {
        if (name && *name && std::strcmp(name, "sdl") != 0)
            std::fprintf(stderr, "tessel: unknown TESSEL_PLATFORM \"%s\"; using sdl\n", name);
        gBackend = SdlBackend();
    }
    return gBackend;
}

}  // namespace

int PlatStart() {
    if (gStarted) return 0;
    if (Backend()->start() != 0) return -1;
    gStarted = true;
    PlatRecordOpen(Backend()->perfFrequency());
    PlatWatchCloseSignals();
    return 0;
}

void PlatStop() {
    if (!gStarted) return;
    PlatUnwatchCloseSignals();
    PlatRecordClose();
    gBackend->stop();
    gStarted = false;
    // Changes reported before the end are no news to a library started again.
    PlatClearInputEvents();
}

const char* PlatBackendName() { return Backend()->name; }

const PlatformBackend* PlatCurrentBackend() { return Backend(); }

int PlatWantsWindowed() {
    const char* value = std::getenv("TESSEL_WINDOWED");
    return value && std::strcmp(value, "1") == 0;
}

std::string PlatInstanceScope() { return Backend()->instanceScope(); }

// Every reading passes here, whichever back end gives it, so a recording
// holds each one the program or the library took, in order.
uint32_t PlatTicksMs() {
    uint32_t ms = Backend()->ticksMs();
    RecordClockMs(ms);
    return ms;
}
uint64_t PlatPerfCounter() {
    uint64_t counter = Backend()->perfCounter();
    RecordCounter(counter);
    return counter;
}
uint64_t PlatPerfFrequency() { return Backend()->perfFrequency(); }
void PlatSleepMs(uint32_t ms) { Backend()->sleepMs(ms); }
uint32_t PlatTimerPeriodMs() { return Backend()->timerPeriodMs(); }

void PlatDesktopMode(int* width, int* height, int* depth) {
    Backend()->desktopMode(width, height, depth);
}
// Where the pointer rests when the window appears reaches the program
// without a message of its own.
int PlatCreateWindow(const PlatWindowDesc* desc) {
    if (Backend()->createWindow(desc) != 0) return -1;
    if (PlatRecording()) {
        int x = 0, y = 0, originX = 0, originY = 0;
        Backend()->getCursorPos(&x, &y);
        Backend()->clientOrigin(&originX, &originY);
        RecordCursor(x - originX, y - originY);
    }
    return 0;
}
void PlatDestroyWindow() { Backend()->destroyWindow(); }
int PlatHasWindow() { return Backend()->hasWindow(); }
int PlatSetWindowMode(int windowed, int width, int height, int hasPosition, int x, int y) {
    return Backend()->setWindowMode(windowed, width, height, hasPosition, x, y);
}
void PlatClientOrigin(int* x, int* y) { Backend()->clientOrigin(x, y); }
void PlatSetWindowIcon(const uint32_t* argb, int width, int height) {
    Backend()->setWindowIcon(argb, width, height);
}
// A close signal waits for a window to close: before one exists, or between
// two, it stays pending.
int PlatTakeMessage(PlatMessage* out) {
    if (Backend()->hasWindow() && PlatTakeCloseSignal()) {
        RecordClose();
        if (out) *out = PlatMessage{MsgClose, 0, 0};
        return 1;
    }
    if (Backend()->takeMessage(out)) return 1;
    RecordEmptyPoll();
    return 0;
}
void PlatPostMessage(const PlatMessage* message) { Backend()->postMessage(message); }
int PlatWaitMessage(uint32_t timeoutMs) { return Backend()->waitMessage(timeoutMs); }
void PlatIdle() { Backend()->idle(); }
int PlatRefreshHz() { return Backend()->refreshHz(); }
int PlatWaitVBlank() { return Backend()->waitVBlank(); }
void PlatPresent(const PlatFrame* frame) { Backend()->present(frame); }
void PlatReleaseFrame() {
    if (Backend()->releaseFrame) Backend()->releaseFrame();
}

void PlatGetCursorPos(int* x, int* y) { Backend()->getCursorPos(x, y); }
void PlatSetCursorPos(int x, int y) { Backend()->setCursorPos(x, y); }
int PlatShowCursor(int show) { return Backend()->showCursor(show); }

int PlatKeyboardOpen() { return Backend()->keyboardOpen(); }
void PlatKeyboardClose() { Backend()->keyboardClose(); }
int PlatKeyboardAcquire() { return Backend()->keyboardAcquire(); }
int PlatKeyboardRead(uint8_t state[256]) { return Backend()->keyboardRead(state); }
int PlatKeyboardDrain(int count) { return Backend()->keyboardDrain(count); }
void PlatSystemKeyState(uint8_t state[256]) { Backend()->systemKeyState(state); }

int PlatJoypadCount() { return Backend()->joypadCount(); }
JoypadOpenResult PlatJoypadOpen(int index, int rangeMin, int rangeMax, int deadZone,
                                JoypadInfo* info) {
    return Backend()->joypadOpen(index, rangeMin, rangeMax, deadZone, info);
}
int PlatJoypadRead(int index, JoypadState* state) { return Backend()->joypadRead(index, state); }
int PlatJoypadAcquire(int index) { return Backend()->joypadAcquire(index); }
int PlatJoypadSignalled(int index) { return Backend()->joypadSignalled(index); }
void PlatJoypadResetEvent(int index) { Backend()->joypadResetEvent(index); }
void PlatJoypadClose(int index) { Backend()->joypadClose(index); }
