// Volume, pan and pitch of a sound, set on every one of its buffers.
#include "sound/sound.h"
#include "tessel/sound.h"

#include <cmath>
#include <numbers>

namespace {

constexpr int MaxPan = 255;

// The pan law: a quarter turn from left to right, cosine and sine, scaled
// so that the centre leaves a sound as loaded. Left and right powers always
// add up to what the centre gives, so a sound moving across keeps its
// loudness; at either side that means √2 (+3 dB) on the one channel.
int ApplyLevels(SoundRecord* sound) {
    double angle = (sound->pan + MaxPan) * (std::numbers::pi / 2) / (2 * MaxPan);
    double scale = std::numbers::sqrt2 * sound->volume / MaxSoundVolume * SoundBufferUnityLevel;
    int left = static_cast<int>(std::lround(scale * std::cos(angle)));
    int right = static_cast<int>(std::lround(scale * std::sin(angle)));
    int result = 0;
    for (int i = 0; i < sound->bufferCount; ++i)
        result |= PlatSoundBufferSetLevels(sound->buffers[i], left, right);
    return result ? -1 : 0;
}

}  // namespace

void ResetSoundControls(SoundRecord* sound) {
    sound->volume = MaxSoundVolume;
    sound->pan = 0;
    sound->pitch = 100;
    ApplyLevels(sound);
    for (int i = 0; i < sound->bufferCount; ++i) PlatSoundBufferSetPitch(sound->buffers[i], 100);
}

int SetSoundVolume(int handle, int volume) {
    SoundRecord* sound = SoundOf(handle);
    if (!sound || volume < 0 || volume > MaxSoundVolume) return -1;
    sound->volume = volume;
    return ApplyLevels(sound);
}

int SetSoundPan(int handle, int pan) {
    SoundRecord* sound = SoundOf(handle);
    if (!sound || pan < -MaxPan || pan > MaxPan) return -1;
    sound->pan = pan;
    return ApplyLevels(sound);
}

int SetSoundPitch(int handle, int percent) {
    SoundRecord* sound = SoundOf(handle);
    if (!sound || percent < SoundBufferMinPitch || percent > SoundBufferMaxPitch) return -1;
    sound->pitch = percent;
    int result = 0;
    for (int i = 0; i < sound->bufferCount; ++i)
        result |= PlatSoundBufferSetPitch(sound->buffers[i], percent);
    return result ? -1 : 0;
}
