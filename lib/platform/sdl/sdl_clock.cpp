// The desktop clocks: all of them read the monotonic clock, so the
// millisecond counter, the performance counter and the frame ticks agree and
// never jump when the wall clock is set.
#include "platform/sdl/sdl_backend.h"

#include <cerrno>
#include <ctime>

#include <sched.h>

namespace {

constexpr uint64_t kNsPerSecond = 1000000000ull;
constexpr uint64_t kFrameNs = kNsPerSecond / 60;

uint64_t MonotonicNs() {
    timespec now{};
    clock_gettime(CLOCK_MONOTONIC, &now);
    return static_cast<uint64_t>(now.tv_sec) * kNsPerSecond + static_cast<uint64_t>(now.tv_nsec);
}

void SleepUntilNs(uint64_t deadline) {
    timespec when{};
    when.tv_sec = static_cast<time_t>(deadline / kNsPerSecond);
    when.tv_nsec = static_cast<long>(deadline % kNsPerSecond);
    while (clock_nanosleep(CLOCK_MONOTONIC, TIMER_ABSTIME, &when, nullptr) == EINTR) {
    }
}

}  // namespace

uint32_t SdlTicksMs() { return static_cast<uint32_t>(MonotonicNs() / 1000000ull); }

uint64_t SdlPerfCounter() { return MonotonicNs(); }

uint64_t SdlPerfFrequency() { return kNsPerSecond; }

void SdlSleepMs(uint32_t ms) {
    // A zero sleep still gives up the rest of the time slice, as callers
    // that spin on it expect.
    if (ms == 0) {
        sched_yield();
        return;
    }
    SleepUntilNs(MonotonicNs() + static_cast<uint64_t>(ms) * 1000000ull);
}

uint32_t SdlTimerPeriodMs() { return 1; }

void SdlSleepUntilNextFrameTick() { SleepUntilNs((MonotonicNs() / kFrameNs + 1) * kFrameNs); }
