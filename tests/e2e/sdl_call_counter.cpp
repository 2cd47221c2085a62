// Counts the calls a program makes of some SDL functions, for the end-to-end
// scripts that check how the game paces itself and when text input runs.
// Loaded with LD_PRELOAD, it keeps the number of presents, of event polls
// (at least one for every PumpMessages), and of text input's starts and
// stops in the file named by SDL_CALL_COUNTS: four native 64-bit counters,
// which the script reads while the program runs.
#include <dlfcn.h>
#include <fcntl.h>
#include <sys/mman.h>
#include <unistd.h>

#include <atomic>
#include <cstdint>
#include <cstdlib>

namespace {

using Counter = std::atomic<uint64_t>;
static_assert(Counter::is_always_lock_free, "counters are shared through a file");

enum { kPresents, kPolls, kTextStarts, kTextStops, kCounters };

Counter* Counters() {
    static Counter* counters = []() -> Counter* {
        static Counter unmapped[kCounters];
        const char* path = std::getenv("SDL_CALL_COUNTS");
        if (!path) return unmapped;
        int fd = open(path, O_RDWR | O_CREAT | O_TRUNC, 0644);
        if (fd < 0) return unmapped;
        void* map = MAP_FAILED;
        if (ftruncate(fd, sizeof(Counter) * kCounters) == 0)
            map = mmap(nullptr, sizeof(Counter) * kCounters, PROT_READ | PROT_WRITE, MAP_SHARED,
                       fd, 0);
        close(fd);
        return map == MAP_FAILED ? unmapped : static_cast<Counter*>(map);
    }();
    return counters;
}

template <typename Function>
Function Next(const char* name) {
    return reinterpret_cast<Function>(dlsym(RTLD_NEXT, name));
}

}  // namespace

extern "C" void SDL_RenderPresent(void* renderer) {
    static auto next = Next<void (*)(void*)>("SDL_RenderPresent");
    Counters()[kPresents].fetch_add(1, std::memory_order_relaxed);
    next(renderer);
}

extern "C" int SDL_PollEvent(void* event) {
    static auto next = Next<int (*)(void*)>("SDL_PollEvent");
    Counters()[kPolls].fetch_add(1, std::memory_order_relaxed);
    return next(event);
}

extern "C" void SDL_StartTextInput() {
    static auto next = Next<void (*)()>("SDL_StartTextInput");
    Counters()[kTextStarts].fetch_add(1, std::memory_order_relaxed);
    next();
}

extern "C" void SDL_StopTextInput() {
    static auto next = Next<void (*)()>("SDL_StopTextInput");
    Counters()[kTextStops].fetch_add(1, std::memory_order_relaxed);
    next();
}
