// The signals that ask a program to end (SIGTERM, SIGINT, SIGHUP) arrive as a
// close of its window, so that it ends through its usual path and its log
// gets its closing lines.
#include "platform/device/backend.h"

#include <csignal>

namespace {

constexpr int kCloseSignals[] = {SIGTERM, SIGINT, SIGHUP};
constexpr int kCloseSignalCount = sizeof kCloseSignals / sizeof kCloseSignals[0];

struct SignalState {
    struct sigaction previous[kCloseSignalCount];  // the handling replaced
    bool watched[kCloseSignalCount];               // ours is installed
};

SignalState gSignals;
volatile std::sig_atomic_t gCloseRequested;

void OnCloseSignal(int) { gCloseRequested = 1; }

}  // namespace

// Only signals still handled the default way are taken: one a back end
// handles itself keeps its handler, and one the user ignores (nohup) stays
// ignored.
void PlatWatchCloseSignals() {
    for (int i = 0; i < kCloseSignalCount; ++i) {
        if (gSignals.watched[i]) continue;
        struct sigaction current {};
        if (sigaction(kCloseSignals[i], nullptr, &current) != 0) continue;
        if (current.sa_handler != SIG_DFL || (current.sa_flags & SA_SIGINFO)) continue;
        struct sigaction ours {};
        ours.sa_handler = OnCloseSignal;
        sigemptyset(&ours.sa_mask);
        if (sigaction(kCloseSignals[i], &ours, &gSignals.previous[i]) == 0) gSignals.watched[i] = true;
    }
}

void PlatUnwatchCloseSignals() {
    for (int i = 0; i < kCloseSignalCount; ++i) {
        if (!gSignals.watched[i]) continue;
        sigaction(kCloseSignals[i], &gSignals.previous[i], nullptr);
        gSignals.watched[i] = false;
    }
}

int PlatTakeCloseSignal() {
    if (!gCloseRequested) return 0;
    gCloseRequested = 0;
    return 1;
}
