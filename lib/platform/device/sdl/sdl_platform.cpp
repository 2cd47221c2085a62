// The desktop back end's function table.
#include "platform/device/backend.h"
#include "platform/device/sdl/sdl_backend.h"

namespace {

constexpr PlatformBackend kSdlBackend = {
    .name = "sdl",
    .start = SdlStart,
    .stop = SdlStop,
    .instanceScope = SdlInstanceScope,
    .ticksMs = SdlTicksMs,
    .perfCounter = SdlPerfCounter,
    .perfFrequency = SdlPerfFrequency,
    .sleepMs = SdlSleepMs,
    .timerPeriodMs = SdlTimerPeriodMs,
    .desktopMode = SdlDesktopMode,
    .createWindow = SdlCreateWindow,
    .destroyWindow = SdlDestroyWindow,
    .hasWindow = SdlHasWindow,
    .setWindowMode = SdlSetWindowMode,
    .clientOrigin = SdlClientOrigin,
    .setWindowIcon = SdlSetWindowIcon,
    .takeMessage = SdlTakeMessage,
    .postMessage = SdlPostMessage,
    .waitMessage = SdlWaitMessage,
    .idle = SdlIdle,
    .refreshHz = SdlRefreshHz,
    .waitVBlank = SdlWaitVBlank,
    .present = SdlPresent,
    .releaseFrame = nullptr,  // every present is copied into the texture
    .getCursorPos = SdlGetCursorPos,
    .setCursorPos = SdlSetCursorPos,
    .showCursor = SdlShowCursor,
    .keyboardOpen = SdlKeyboardOpen,
    .keyboardClose = SdlKeyboardClose,
    .keyboardAcquire = SdlKeyboardAcquire,
    .keyboardRead = SdlKeyboardRead,
    .keyboardDrain = SdlKeyboardDrain,
    .systemKeyState = SdlSystemKeyState,
    .joypadCount = SdlJoypadCount,
    .joypadOpen = SdlJoypadOpen,
    .joypadRead = SdlJoypadRead,
    .joypadAcquire = SdlJoypadAcquire,
    .joypadSignalled = SdlJoypadSignalled,
    .joypadResetEvent = SdlJoypadResetEvent,
    .joypadClose = SdlJoypadClose,
    .audioOpen = SdlAudioOpen,
    .audioSetFormat = SdlAudioSetFormat,
    .audioClose = SdlAudioClose,
    .audioLock = SdlAudioLock,
    .audioUnlock = SdlAudioUnlock,
    .audioDeviceName = SdlAudioDeviceName,
    .textInputStart = SdlTextInputStart,
    .textInputStop = SdlTextInputStop,
    .textInputRect = SdlTextInputRect,
    .clipboardGet = SdlClipboardGet,
    .clipboardSet = SdlClipboardSet,
    .glCreate = SdlGlCreate,
    .glDestroy = SdlGlDestroy,
    .glMakeCurrent = SdlGlMakeCurrent,
    .glSwap = SdlGlSwap,
    .glDrawableSize = SdlGlDrawableSize,
};

}  // namespace

const PlatformBackend* SdlBackend() { return &kSdlBackend; }
