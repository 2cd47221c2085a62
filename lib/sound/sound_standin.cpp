// Sound lands with the sound work; until then there is no device, so loading
// and playing report failure and the library runs silent, as it does on a
// machine without sound.
#include "sound/sound.h"
#include "tessel.h"

int InitSoundDevice() { return -1; }
int EndSoundDevice() { return 0; }
int StopMusic() { return 0; }

int LoadSoundFile(const char*) { return -1; }
int PlaySoundHandle(int, int, int) { return -1; }
int IsSoundPlaying(int) { return -1; }
