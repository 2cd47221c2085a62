// The desktop clocks: all of them read the monotonic clock, so the
// millisecond counter, the performance counter and the frame ticks agree and
// never jump when the wall clock is set.
#include "platform/device/sdl/sdl_backend.h"

#include <cerrno>
#include <ctime>

#include <sched.h>

namespace {

constexpr uint64_t kNsPerSecond = 1000000000ull;
constexpr uint64_t kNsPerMs = 1000000ull;

struct ClockState {
    uint64_t lastIdleMs;  // the millisecond of the last SdlIdle
    uint64_t rateDueNs;   // when the next SdlKeepToRate call is due
};

ClockState gClock;

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

uint32_t SdlTicksMs() { return static_cast<uint32_t>(MonotonicNs() / kNsPerMs); }

uint64_t SdlPerfCounter() { return MonotonicNs(); }

uint64_t SdlPerfFrequency() { return kNsPerSecond; }

void SdlSleepMs(uint32_t ms) {
    // A zero sleep still gives up the rest of the time slice, as callers
    // that spin on it expect.
    if (ms == 0) {
        sched_yield();
        return;
    }
    SleepUntilNs(MonotonicNs() + static_cast<uint64_t>(ms) * kNsPerMs);
}

uint32_t SdlTimerPeriodMs() { return 1; }

void SdlSleepUntilNextFrameTick(int hz) {
    uint64_t frameNs = kNsPerSecond / static_cast<uint64_t>(hz > 0 ? hz : 60);
    SleepUntilNs((MonotonicNs() / frameNs + 1) * frameNs);
}

void SdlKeepToRate(int hz) {
    uint64_t frameNs = kNsPerSecond / static_cast<uint64_t>(hz > 0 ? hz : 60);
    uint64_t now = MonotonicNs();
    if (gClock.rateDueNs > now + frameNs) {
        now = gClock.rateDueNs - frameNs;
        SleepUntilNs(now);
    }
    gClock.rateDueNs = (gClock.rateDueNs > now ? gClock.rateDueNs : now) + frameNs;
}

void SdlIdle() {
    uint64_t ms = MonotonicNs() / kNsPerMs;
    if (ms == gClock.lastIdleMs) {
        ++ms;
        SleepUntilNs(ms * kNsPerMs);
    }
    gClock.lastIdleMs = ms;
}
