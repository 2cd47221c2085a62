// The library's clocks, the start-up timer calibration and the two blocking
// waits. Every wait keeps the window alive through PumpMessages.
#include "core/core.h"

namespace {

struct TimerState {
    int perfCounterChosen;   // GetTickUs reads the high-resolution counter
    uint64_t perfFrequency;  // the counter's ticks per second; 0 when absent
    uint32_t timerPeriod;    // finest period of the millisecond timer, in ms
};

TimerState gTimer;

constexpr int CalibrationChanges = 60;

}  // namespace

int GetTickMs(int) { return static_cast<int>(PlatTicksMs()); }

int64_t GetTickUs(int) {
    if (gTimer.perfCounterChosen && gTimer.perfFrequency) {
        // Split into whole seconds and the rest so nothing overflows and the
        // result is truncated exactly.
        uint64_t counter = PlatPerfCounter();
        uint64_t seconds = counter / gTimer.perfFrequency;
        uint64_t rest = counter % gTimer.perfFrequency;
        return static_cast<int64_t>(seconds * 1000000 + rest * 1000000 / gTimer.perfFrequency);
    }
    return static_cast<int64_t>(PlatTicksMs()) * 1000;
}

// The counter that changes more often over the same stretch of time is the
// finer one; the millisecond timer wins only when it is strictly finer.
int InitTimer() {
    gTimer.perfFrequency = PlatPerfFrequency();
    gTimer.perfCounterChosen = gTimer.perfFrequency != 0;
    gTimer.timerPeriod = PlatTimerPeriodMs();

    if (gTimer.perfFrequency) {
        WriteLogString(SJIS("タイマーの精度を検査します\n"));
        int msChanges = 0, counterChanges = 0;
        uint32_t lastMs = PlatTicksMs();
        uint64_t lastCounter = PlatPerfCounter();
        while (msChanges < CalibrationChanges && counterChanges < CalibrationChanges) {
            if (PumpWithinFrame() != 0) break;
            uint32_t ms = PlatTicksMs();
            uint64_t counter = PlatPerfCounter();
            if (ms != lastMs) ++msChanges;
            if (counter != lastCounter) ++counterChanges;
            lastMs = ms;
            lastCounter = counter;
        }
        WriteLogFormat(SJIS("精度結果 更新回数 マルチメディアタイマー：%d  パフォーマンスカウンター：%d"),
                       msChanges, counterChanges);
        if (counterChanges < msChanges) {
            WriteLogFormat(SJIS("マルチメディアタイマーを使用します タイマー分解能 : %d.00 ms "),
                           static_cast<int>(gTimer.timerPeriod));
            gTimer.perfCounterChosen = 0;
        } else {
            WriteLogFormat(SJIS("パフォーマンスカウンターを使用します タイマー分解能 : %lf KHz "),
                           static_cast<double>(gTimer.perfFrequency) / 1000.0);
        }
    }

    SeedRandom(static_cast<uint32_t>(GetTickMs(0)));
    return 0;
}

int WaitMs(int ms) {
    if (!LibraryRunning()) return -1;
    uint32_t start = PlatTicksMs();
    // The difference stays right across the clock's wrap.
    while (PumpMessages() == 0 && static_cast<int32_t>(PlatTicksMs() - start) < ms)
        PlatSleepMs(1);
    return 0;
}
