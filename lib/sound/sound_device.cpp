// The sound device and playback of sound handles.
#include "core/core.h"
#include "platform/media/audio.h"
#include "sound/sound.h"
#include "tessel/sound.h"

#include <algorithm>
#include <cstdarg>
#include <cstdio>

namespace {

struct SoundDeviceState {
    int device;                     // the platform's audio device is open
    PlatPcmFormat primary;          // the output format asked for at opening
    PlatSoundBuffer* silentBuffer;  // loops silence while the device is open; may be null
};

SoundDeviceState gSound;

constexpr uint32_t SilentBufferBytes = 400;
constexpr uint32_t SilentBufferFlags = SoundBufferGlobalFocus | SoundBufferStatic;

// Writes the formatted text to the log exactly, adding no line break.
void LogText(const char* format, ...) {
    char text[512];
    va_list args;
    va_start(args, format);
    std::vsnprintf(text, sizeof text, format, args);
    va_end(args);
    WriteLogString(text);
}

const char* YesNo(int flag) { return flag ? "OK" : "NG"; }

// A short loop of silence keeps the device running between sounds, so that
// the first sound after a pause starts without delay.
void StartSilentBuffer() {
    const PlatPcmFormat format = {2, 44100, 16};
    gSound.silentBuffer = PlatSoundBufferCreate(&format, SilentBufferBytes, SilentBufferFlags);
    if (!gSound.silentBuffer) {
        WriteLogFormat(SJIS("無音バッファの作成に失敗しました"));
        return;
    }
    void* first = nullptr;
    void* second = nullptr;
    uint32_t firstBytes = 0, secondBytes = 0;
    if (PlatSoundBufferLock(gSound.silentBuffer, 0, SilentBufferBytes, &first, &firstBytes,
                            &second, &secondBytes) != 0) {
        WriteLogFormat(SJIS("無音バッファのロックに失敗しました"));
        PlatSoundBufferRelease(gSound.silentBuffer);
        gSound.silentBuffer = nullptr;
        return;
    }
    std::fill_n(static_cast<uint8_t*>(first), firstBytes, 0);
    PlatSoundBufferUnlock(gSound.silentBuffer);
    PlatSoundBufferPlay(gSound.silentBuffer, 1);
}

void LogDevices(const PlatAudioCaps& caps) {
    WriteLogString(SJIS("DirectSound デバイスを列挙します\n"));
    char module[128], description[256];
    for (int i = 0; PlatAudioDeviceName(i, module, sizeof module, description,
                                        sizeof description) == 0; ++i)
        WriteLogFormat(SJIS("モジュール名:%15s  ドライバ記述:%s "), module, description);
    LogText(SJIS("最大サンプリングレート:%.2fKHz 最小サンプリングレート:%.2fKHz "),
            caps.maxRate / 1000.0, caps.minRate / 1000.0);
    LogText(SJIS("総サウンドメモリ領域:%.2fKB 空きサウンドメモリ領域:%.2fKB \n"),
            caps.totalMemory / 1024.0, caps.freeMemory / 1024.0);
    WriteLogString(SJIS("利用可能サンプリング精度\n"));
    LogText(SJIS(" プライマリ １６bit = %s  ８bit = %s "), YesNo(caps.primary16Bit),
            YesNo(caps.primary8Bit));
    LogText(SJIS(" セカンダリ １６bit = %s  ８bit = %s \n"), YesNo(caps.secondary16Bit),
            YesNo(caps.secondary8Bit));
    WriteLogString(SJIS("利用可能チャンネル\n"));
    LogText(SJIS(" プライマリ MONO = %s  STEREO = %s "), YesNo(caps.primaryMono),
            YesNo(caps.primaryStereo));
    LogText(SJIS(" セカンダリ MONO = %s  STEREO = %s \n"), YesNo(caps.secondaryMono),
            YesNo(caps.secondaryStereo));
}

// What the sound driver said while the device was opened, a line each.
void LogDriverText() {
    std::string text = PlatTakeAudioDriverText();
    for (size_t start = 0; start < text.size();) {
        size_t end = text.find('\n', start);
        WriteLogFormat(SJIS("サウンドドライバの報告 : %s"), text.substr(start, end - start).c_str());
        start = end + 1;
    }
}

// PlayNormal's wait: pumping, so the window stays alive and streamed sounds
// are fed, until the sound ends or the program must end.
int WaitForSoundEnd(int handle) {
    while (IsSoundPlaying(handle) == 1)
        if (PumpMessages() != 0) break;
    return 0;
}

}  // namespace

SoundRecord* SoundOf(int handle) {
    if (!gSound.device) return nullptr;
    return HandleTableGetAs<SoundRecord>(&gSoundTable, handle);
}

int SoundDeviceOpen() { return gSound.device; }

int InitSoundDevice() {
    if (gSound.device) return -1;
    WriteLogString(SJIS("DirectSound の初期化を行います\n"));
    // The mixer is part of the library and always there; only the device
    // under it can be missing.
    WriteLogString(SJIS("DirectSound インターフェースの取得を行います....  "));
    WriteLogString(SJIS("成功\n"));
    WriteLogString(SJIS("引き続きインターフェースの初期化処理...  "));
    PlatAudioCaps caps{};
    int opened = PlatAudioOpen(&caps);
    WriteLogString(opened == 0 ? SJIS("成功\n") : SJIS("初期化に失敗しました\n"));
    LogDriverText();
    if (opened != 0) return -1;

    gSound.primary.channels = caps.primaryStereo ? 2 : 1;
    gSound.primary.bits = caps.primary16Bit ? 16 : 8;
    gSound.primary.rate = std::min(caps.maxRate, 44100);
    if (PlatAudioSetFormat(&gSound.primary) != 0)
        WriteLogString(SJIS("DirectSoundのプライマリサウンドバッファのフォーマット設定に失敗しました\n"));

    StartSilentBuffer();
    LogDevices(caps);
    WriteLogString(SJIS("DirectSound の初期化は正常に終了しました\n"));
    gSound.device = 1;
    ReleaseAllSoundHandles(0);
    // Streamed sounds are fed on every pump, and in the pump's wait while
    // the program is paused, so they never run dry meanwhile.
    SubsystemHooks hooks;
    hooks.pump = ServiceSoundStreams;
    hooks.inactivePump = ServiceSoundStreams;
    RegisterHooks(HookSound, &hooks);
    return 0;
}

int EndSoundDevice() {
    if (!gSound.device) return -1;
    RegisterHooks(HookSound, nullptr);
    ReleaseAllSoundHandles(0);
    ReleaseAllMusicHandles();
    if (gSound.silentBuffer) {
        PlatSoundBufferStop(gSound.silentBuffer);
        PlatSoundBufferRelease(gSound.silentBuffer);
    }
    PlatAudioClose();
    gSound = SoundDeviceState{};
    WriteLogString(SJIS("DirectSound の終了処理は正常に終了しました\n"));
    return 0;
}

int PlaySoundHandle(int handle, int playType, int fromStart) {
    SoundRecord* sound = SoundOf(handle);
    if (!sound) return -1;
    if (sound->stream) {
        if (PlayStreamedSound(sound, playType, fromStart) != 0) return -1;
        return playType == PlayNormal ? WaitForSoundEnd(handle) : 0;
    }

    // The first idle buffer; when all are sounding, the one furthest on
    // (the lowest index among equals) is cut off and reused.
    int chosen = -1;
    for (int i = 0; i < sound->bufferCount && chosen < 0; ++i) {
        uint32_t status = 0;
        if (PlatSoundBufferStatus(sound->buffers[i], &status) != 0) return -1;
        if (!(status & SoundBufferPlaying)) chosen = i;
    }
    int playing = chosen < 0;
    uint32_t furthest = 0;
    for (int i = 0; playing && i < sound->bufferCount; ++i) {
        uint32_t position = 0;
        if (PlatSoundBufferGetPosition(sound->buffers[i], &position) != 0) return -1;
        if (chosen < 0 || position > furthest) {
            chosen = i;
            furthest = position;
        }
    }
    if (chosen < 0) return -1;

    PlatSoundBuffer* buffer = sound->buffers[chosen];
    if (playing) PlatSoundBufferStop(buffer);
    if (fromStart) PlatSoundBufferSetPosition(buffer, 0);
    if (PlatSoundBufferPlay(buffer, playType == PlayLoop) != 0) return -1;
    return playType == PlayNormal ? WaitForSoundEnd(handle) : 0;
}

int StopSoundHandle(int handle) {
    SoundRecord* sound = SoundOf(handle);
    if (!sound) return -1;
    for (int i = 0; i < sound->bufferCount; ++i) {
        uint32_t status = 0;
        if (PlatSoundBufferStatus(sound->buffers[i], &status) != 0) return -1;
        if (status & SoundBufferPlaying) PlatSoundBufferStop(sound->buffers[i]);
    }
    return 0;
}

int IsSoundPlaying(int handle) {
    SoundRecord* sound = SoundOf(handle);
    if (!sound) return -1;
    for (int i = 0; i < sound->bufferCount; ++i) {
        uint32_t status = 0;
        if (PlatSoundBufferStatus(sound->buffers[i], &status) != 0) return -1;
        if (status & SoundBufferPlaying) return 1;
    }
    return 0;
}

// No operation of this library makes music handles, so there is never a
// piece to stop or a handle to release; the steps stay where the shut-down
// order expects them.
int StopMusic() { return 0; }

int SetMasterVolume(int volume) {
    if (!gSound.device || volume < 0 || volume > MaxSoundVolume) return -1;
    return PlatAudioSetMasterLevel(static_cast<int>(
        int64_t{volume} * SoundBufferUnityLevel / MaxSoundVolume));
}
int ReleaseAllMusicHandles() { return 0; }
