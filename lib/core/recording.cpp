// Starting and stopping a recording of the session; the recorder itself is
// the platform's, where everything from outside arrives.
#include "core/core.h"

int StartRecording(const char* path) {
    if (!path || !*path || gCore.platformStarted) return -1;
    return PlatSetRecordPath(path);
}

int StopRecording() {
    PlatRecordClose();
    PlatSetRecordPath(nullptr);
    return 0;
}
