// The sound table: loading a file into a handle with its platform buffers,
// and releasing handles.
#include "core/core.h"
#include "platform/media/audio.h"
#include "sound/sound.h"
#include "tessel/sound.h"

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>

namespace {

HandleRecord* gSoundSlots[SoundCapacity];

constexpr uint32_t BufferFlags = SoundBufferGlobalFocus | SoundBufferCtrlVolume |
                                 SoundBufferCtrlPan | SoundBufferCtrlFrequency |
                                 SoundBufferStatic;
constexpr uint32_t FallbackBufferFlags = SoundBufferCtrlVolume | SoundBufferCtrlPan |
                                         SoundBufferStatic;

PlatPcmFormat PcmOf(const WaveFormat* format) {
    return PlatPcmFormat{format->channels, static_cast<int>(format->samplesPerSec),
                         format->bitsPerSample};
}

void ReleaseBuffers(SoundRecord* sound, int count) {
    for (int i = 0; i < count; ++i) {
        PlatSoundBufferRelease(sound->buffers[i]);
        sound->buffers[i] = nullptr;
    }
    sound->bufferCount = 0;
}

// Copies the PCM into every buffer, in the one or two regions each lock
// hands out. 0, or -1 having logged which step failed.
int FillBuffers(SoundRecord* sound) {
    for (int i = 0; i < sound->bufferCount; ++i) {
        void* first = nullptr;
        void* second = nullptr;
        uint32_t firstBytes = 0, secondBytes = 0;
        uint32_t size = static_cast<uint32_t>(sound->dataSize);
        if (PlatSoundBufferLock(sound->buffers[i], 0, size, &first, &firstBytes, &second,
                                &secondBytes) != 0)
            return WriteLogFormat(SJIS("サウンドデータの転送に失敗しました_1"));
        std::memcpy(first, sound->data, firstBytes);
        if (second) std::memcpy(second, sound->data + firstBytes, secondBytes);
        if (PlatSoundBufferUnlock(sound->buffers[i]) != 0)
            return WriteLogFormat(SJIS("サウンドデータの転送に失敗しました_2"));
    }
    return 0;
}

// The line carries its own line break, which WriteLogFormat would double.
int LogPathFailure(const char* format, const char* path) {
    char text[MaxPathLength * 2 + 160];
    std::snprintf(text, sizeof text, format, path);
    return LogFailure(text);
}

void RecordNames(SoundRecord* sound, const char* path) {
    std::strncpy(sound->fileName, path, sizeof sound->fileName - 1);
    char folder[MaxPathLength] = "";
    if (GetFileAccessFunctions()->getCurrentDir(folder) != 0) folder[0] = '\0';
    size_t length = std::min(std::strlen(folder), sizeof sound->directory - 2);
    std::memcpy(sound->directory, folder, length);
    if (length == 0 || sound->directory[length - 1] != '\\') {
        sound->directory[length] = '\\';
        sound->directory[length + 1] = '\0';
    }
}

}  // namespace

HandleTable gSoundTable = {HandleSound, SoundCapacity, gSoundSlots, 0, 0, 0};

namespace {

// A new empty sound handle; running out of slots or memory ends the program.
int AddSoundData() {
    int handle = HandleTableAdd(&gSoundTable, sizeof(SoundRecord));
    if (handle == HandleTableFull) ErrorExit(SJIS("サウンドの数が許容量を越えました終了します"));
    if (handle == HandleTableNoMemory)
        ErrorExit(SJIS("メモリ領域の確保に失敗しました in AddSoundData"));
    return handle;
}

// Makes `count` platform buffers for `size` bytes of `format` on the sound
// device. 0, or -1 with none of them left when one cannot be made.
int CreateSoundBuffers(const WaveFormat* format, int32_t size, int count, int handle) {
    SoundRecord* sound = HandleTableGetAs<SoundRecord>(&gSoundTable, handle);
    if (!sound || count < 1 || count > MaxSoundBuffers || size <= 0) return -1;
    PlatPcmFormat pcm = PcmOf(format);
    for (int i = 0; i < count; ++i) {
        PlatSoundBuffer* buffer = PlatSoundBufferCreate(&pcm, static_cast<uint32_t>(size), BufferFlags);
        if (!buffer)
            buffer = PlatSoundBufferCreate(&pcm, static_cast<uint32_t>(size), FallbackBufferFlags);
        if (!buffer) {
            ReleaseBuffers(sound, i);
            return -1;
        }
        sound->buffers[i] = buffer;
    }
    sound->bufferCount = count;
    sound->bytesPerSecond = static_cast<int32_t>(format->avgBytesPerSec);
    return 0;
}

// Gives up a handle whose file did not load, saying whether it was missing.
int LoadFailed(int handle, const char* path) {
    ReleaseSoundHandle(handle, 0);
    if (!FileOpens(path)) return LogFailureFormat(SJIS("サウンドファイル %s がありません"), path);
    return LogPathFailure(SJIS("右記のサウンドファイルのロードに失敗しました：%s \n"), path);
}

}  // namespace

int LoadSoundFile(const char* path) { return LoadSoundFileWithBuffers(path, 1); }

int LoadSoundFileWithBuffers(const char* path, int buffers) {
    if (buffers < 1 || buffers > MaxSoundBuffers || !SoundDeviceOpen() || !path) return -1;
    int handle = AddSoundData();
    uint8_t* data = nullptr;
    WaveFormat* format = nullptr;
    int32_t size = DecodeSoundFile(path, &data, &format);
    if (size < 0) return LoadFailed(handle, path);
    SoundRecord* sound = HandleTableGetAs<SoundRecord>(&gSoundTable, handle);
    sound->format = format;
    sound->dataSize = size;
    sound->data = data;
    // A sound the mixer cannot hold fails like a file that does not decode;
    // the program goes on without it.
    if (CreateSoundBuffers(format, size, buffers, handle) != 0) {
        ReleaseSoundHandle(handle, 0);
        return LogPathFailure(
            SJIS("右記のサウンドファイルの格納用サウンドバッファの作成に失敗しました：%s \n"), path);
    }
    if (FillBuffers(sound) != 0) {
        ReleaseSoundHandle(handle, 0);
        return -1;
    }
    ResetSoundControls(sound);
    RecordNames(sound, path);
    return handle;
}

int LoadSoundFileStreamed(const char* path) {
    if (!SoundDeviceOpen() || !path) return -1;
    int handle = AddSoundData();
    SoundRecord* sound = HandleTableGetAs<SoundRecord>(&gSoundTable, handle);
    if (OpenSoundStream(sound, path) != 0) return LoadFailed(handle, path);
    ResetSoundControls(sound);
    RecordNames(sound, path);
    return handle;
}

int ReleaseSoundHandle(int handle, int logIt) {
    if (!SoundDeviceOpen()) return -1;
    SoundRecord* sound = HandleTableGetAs<SoundRecord>(&gSoundTable, handle);
    if (!sound) return -1;
    for (int i = 0; i < sound->bufferCount; ++i) PlatSoundBufferStop(sound->buffers[i]);
    CloseSoundStream(sound);
    ReleaseBuffers(sound, sound->bufferCount);
    if (logIt) WriteLogFormat(SJIS("サウンドデータ %s の削除"), sound->fileName);
    std::free(sound->data);
    std::free(sound->format);
    return HandleTableRemove(&gSoundTable, handle);
}

int ReleaseAllSoundHandles(int logIt) {
    if (!SoundDeviceOpen()) return -1;
    for (int slot = 0; slot < gSoundTable.highWater; ++slot)
        if (gSoundSlots[slot]) ReleaseSoundHandle(HandleOfSlot(&gSoundTable, slot), logIt);
    return 0;
}
