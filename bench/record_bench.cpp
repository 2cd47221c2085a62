// The recorder's cost on the program's thread: one clock reading recorded
// (the line made and handed to the writer thread), which is what a frame
// pays for each reading it takes while a session is recorded.
#include "platform/device/record.h"
#include "platform/platform.h"

#include <benchmark/benchmark.h>

#include <cstdio>
#include <cstdlib>
#include <unistd.h>

namespace {

void BM_RecordClockReading(benchmark::State& state) {
    char path[] = "/tmp/record_benchXXXXXX";
    int fd = mkstemp(path);
    if (fd < 0) {
        state.SkipWithError("no temporary file");
        return;
    }
    close(fd);
    PlatSetRecordPath(path);
    PlatRecordOpen(1000000);
    uint32_t ms = 1000;
    for (auto _ : state) RecordClockMs(++ms / 16);
    PlatRecordClose();
    std::remove(path);
    state.SetItemsProcessed(state.iterations());
}
BENCHMARK(BM_RecordClockReading);

void BM_NotRecording(benchmark::State& state) {
    uint32_t ms = 1000;
    for (auto _ : state) RecordClockMs(++ms / 16);
    state.SetItemsProcessed(state.iterations());
}
BENCHMARK(BM_NotRecording);

}  // namespace
