// The desktop audio device: an SDL output device whose callback, on SDL's
// audio thread, pulls the mix. SDL holds the device lock around every
// callback, so the mixer's own lock is that same lock.
//
// SDL's "dummy" driver plays nothing and keeps no time worth mixing to, so
// it counts as no device at all: the library then runs silent, as it would on
// a machine without sound.
#include "platform/device/sdl/sdl_backend.h"

#include <dlfcn.h>

#include <cstdarg>
#include <cstdio>
#include <cstring>

namespace {

struct SdlAudioState {
    int alsaRouted;         // ALSA's complaints go to the log, not the terminal
    int subsystemStarted;   // SDL_INIT_AUDIO is up because of us
    SDL_AudioDeviceID device;  // 0 while closed
    uint8_t silence;        // the byte value of silence in the device format
};

SdlAudioState gAudio;

void Feed(void*, Uint8* stream, int length) {
    std::memset(stream, gAudio.silence, static_cast<size_t>(length));
    uint32_t frameBytes = PlatAudioFrameBytes();
    PlatAudioMix(stream, static_cast<uint32_t>(length) / frameBytes);
}

// Opens the default output in `format`, converting in SDL when the hardware
// differs; 0 or -1.
int OpenDevice(const PlatPcmFormat& format) {
    SDL_AudioSpec want{};
    want.freq = format.rate;
    want.format = format.bits == 8 ? AUDIO_U8 : AUDIO_S16LSB;
    want.channels = static_cast<Uint8>(format.channels);
    want.samples = 1024;
    want.callback = Feed;
    SDL_AudioSpec have{};
    gAudio.device = SDL_OpenAudioDevice(nullptr, 0, &want, &have, 0);
    if (gAudio.device == 0) return -1;
    gAudio.silence = have.silence;
    SDL_PauseAudioDevice(gAudio.device, 0);
    return 0;
}

// ALSA prints every complaint on standard error by itself: on a machine
// without a sound card, a dozen lines at each start.
void NoteAlsaText(const char* file, int line, const char* function, int, const char* format,
                  ...) {
    char text[512];
    va_list args;
    va_start(args, format);
    std::vsnprintf(text, sizeof text, format, args);
    va_end(args);
    char noted[768];
    std::snprintf(noted, sizeof noted, "ALSA %s:%d (%s) %s", file, line, function, text);
    PlatNoteAudioDriverText(noted);
}

// SDL loads ALSA itself when it looks for a device; this takes the same copy
// first and keeps it loaded, so the handler stays in place.
void RouteAlsaText() {
    if (gAudio.alsaRouted) return;
    gAudio.alsaRouted = 1;
    void* alsa = dlopen("libasound.so.2", RTLD_NOW | RTLD_LOCAL);
    if (!alsa) return;
    using Handler = void (*)(const char*, int, const char*, int, const char*, ...);
    auto setHandler = reinterpret_cast<int (*)(Handler)>(dlsym(alsa, "snd_lib_error_set_handler"));
    if (setHandler) setHandler(NoteAlsaText);
}

void StopSubsystem() {
    if (gAudio.subsystemStarted) SDL_QuitSubSystem(SDL_INIT_AUDIO);
    gAudio.subsystemStarted = 0;
}

}  // namespace

int SdlAudioOpen(PlatAudioCaps* caps) {
    if (gAudio.device) return -1;
    RouteAlsaText();
    const char* driver = nullptr;
    if (SDL_InitSubSystem(SDL_INIT_AUDIO) == 0) {
        gAudio.subsystemStarted = 1;
        driver = SDL_GetCurrentAudioDriver();
    }
    if (!driver || std::strcmp(driver, "dummy") == 0 ||
        OpenDevice(PlatPcmFormat{2, 44100, 16}) != 0) {
        StopSubsystem();
        PlatPrintError("No sound device found: running without sound.");
        return -1;
    }
    // SDL converts whatever it is given, so the device takes every format
    // the mixer does; it has no sound memory of its own.
    *caps = PlatAudioCaps{1, 1, 1, 1, 1, 1, 1, 1, AudioMinRate, AudioMaxRate, 0, 0};
    return 0;
}

int SdlAudioSetFormat(const PlatPcmFormat* format) {
    if (!gAudio.device) return -1;
    SDL_CloseAudioDevice(gAudio.device);
    gAudio.device = 0;
    if (OpenDevice(*format) == 0) return 0;
    // Keep sound going in the format the mixer still has.
    PlatPcmFormat previous;
    PlatAudioGetFormat(&previous);
    OpenDevice(previous);
    return -1;
}

void SdlAudioClose() {
    if (gAudio.device) SDL_CloseAudioDevice(gAudio.device);
    gAudio.device = 0;
    StopSubsystem();
}

void SdlAudioLock() {
    if (gAudio.device) SDL_LockAudioDevice(gAudio.device);
}

void SdlAudioUnlock() {
    if (gAudio.device) SDL_UnlockAudioDevice(gAudio.device);
}

int SdlAudioDeviceName(int index, char* module, size_t moduleSize, char* description,
                       size_t descriptionSize) {
    if (!gAudio.device || index < 0) return -1;
    // Some drivers list nothing and offer only their default output.
    int count = SDL_GetNumAudioDevices(0);
    const char* name = index < count ? SDL_GetAudioDeviceName(index, 0) : nullptr;
    if (count <= 0 && index == 0) name = "default output";
    if (!name) return -1;
    const char* driver = SDL_GetCurrentAudioDriver();
    std::snprintf(module, moduleSize, "%s", driver ? driver : "");
    std::snprintf(description, descriptionSize, "%s", name);
    return 0;
}
