// The desktop back end's function table.
#include "platform/backend.h"
#include "platform/sdl/sdl_backend.h"

namespace {

constexpr PlatformBackend kSdlBackend = {
    "sdl",
    SdlStart,
    SdlStop,
    SdlInstanceScope,
    SdlTicksMs,
    SdlPerfCounter,
    SdlPerfFrequency,
    SdlSleepMs,
    SdlTimerPeriodMs,
    SdlDesktopMode,
    SdlCreateWindow,
    SdlDestroyWindow,
    SdlHasWindow,
    SdlSetWindowMode,
    SdlClientOrigin,
    SdlSetWindowIcon,
    SdlTakeMessage,
    SdlPostMessage,
    SdlWaitMessage,
    SdlIdle,
    SdlRefreshHz,
    SdlWaitVBlank,
    SdlPresent,
    nullptr,
    SdlGetCursorPos,
    SdlSetCursorPos,
    SdlShowCursor,
    SdlKeyboardOpen,
    SdlKeyboardClose,
    SdlKeyboardAcquire,
    SdlKeyboardRead,
    SdlKeyboardSignalled,
    SdlKeyboardResetEvent,
    SdlKeyboardDrain,
    SdlSystemKeyState,
    SdlJoypadCount,
    SdlJoypadOpen,
    SdlJoypadRead,
    SdlJoypadAcquire,
    SdlJoypadSignalled,
    SdlJoypadResetEvent,
    SdlJoypadClose,
    SdlAudioOpen,
    SdlAudioSetFormat,
    SdlAudioClose,
    SdlAudioLock,
    SdlAudioUnlock,
    SdlAudioDeviceName,
};

}  // namespace

const PlatformBackend* SdlBackend() { return &kSdlBackend; }
