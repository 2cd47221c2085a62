// Sound device: internal operations.
#ifndef TESSEL_SOUND_H
#define TESSEL_SOUND_H

int InitSoundDevice();  // 0, or -1 when there is no device
int EndSoundDevice();   // 0
int StopMusic();        // 0

#endif
