// PumpMessages with and without the input-event service, in the same run:
// "plain" gives the input slot the keyboard drain alone, the pump's whole
// end-of-pump input work before events were queued; "events" is the library
// as it runs. Each pass first feeds `range` key changes (a tap is two) the
// way the back ends report them, so both sides differ only in what the
// pump does with the events.
#include "core/core.h"
#include "input/input.h"
#include "platform/device/backend.h"
#include "tessel.h"

#include <benchmark/benchmark.h>

#include <cstdlib>

namespace {

void StartLibrary() {
    static const bool started = [] {
        // TESSEL_PLATFORM=sdl (with SDL_VIDEODRIVER=dummy off a desktop)
        // measures the desktop's pump instead.
        setenv("TESSEL_PLATFORM", "headless", 0);
        unsetenv("TESSEL_INPUT");
        unsetenv("TESSEL_AUDIO_OUT");
        SetLogEnabled(0);
        return InitLibrary() == 0;
    }();
    if (!started) std::abort();
}

// The key's window messages are the same on both sides and would pile up
// beyond the five a pump dispatches: they are left out.
void Discard(uint32_t, uintptr_t, intptr_t) {}

void Feed(int changes) {
    for (int i = 0; i < changes; ++i) {
        PlatKeyReport key{};
        key.scanCode = KeyA + (i / 2) % 8;
        key.down = i % 2 == 0;
        PlatKeyEvent(key, Discard);
    }
}

void Pump(benchmark::State& state, bool events) {
    StartLibrary();
    SubsystemHooks saved = gCore.hooks.slots[HookInput];
    SubsystemHooks plain = saved;
    plain.pump = DrainKeyboardBuffer;
    RegisterHooks(HookInput, events ? &saved : &plain);
    int changes = static_cast<int>(state.range(0));
    // The program's taking is its own cost: the queue is left to run over,
    // which is the dearer way through the pump.
    for (auto _ : state) {
        Feed(changes);
        benchmark::DoNotOptimize(PumpMessages());
    }
    RegisterHooks(HookInput, &saved);
    state.SetItemsProcessed(state.iterations());
}

void PumpPlain(benchmark::State& state) { Pump(state, false); }
void PumpEvents(benchmark::State& state) { Pump(state, true); }

// Interleaved so that the machine's drift falls on both sides alike.
BENCHMARK(PumpPlain)->Arg(0)->Arg(2)->Arg(16);
BENCHMARK(PumpEvents)->Arg(0)->Arg(2)->Arg(16);

}  // namespace
