// A clock for playing a program on the desktop back end the same way twice.
// Loaded with LD_PRELOAD, it answers the monotonic clock from a virtual one
// that moves only when the program sleeps (a sleep returns at once, its
// deadline reached), so every frame sees the same times whatever the
// machine's load. At the first present at or after each of the times in
// VIRTUAL_STOPS (milliseconds of virtual time, comma-separated) the program
// halts: it writes the stop's number into VIRTUAL_DIR/stop and waits until
// VIRTUAL_DIR/go holds the same number, while the driving script presses a
// key or takes a screenshot of the window. Only the program's own calls on
// its main thread live on the virtual clock: the GL driver and the toolkit
// keep real time, so the work they do never moves the program's clock.
#include <dlfcn.h>
#include <link.h>
#include <sched.h>
#include <time.h>
#include <unistd.h>

#include <atomic>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

namespace {

constexpr uint64_t kNsPerSecond = 1000000000ull;
// A program that reads the clock over and over without sleeping would wait
// for ever: after this many reads in a row the clock moves a millisecond.
constexpr int kReadsPerTick = 10000;

std::atomic<uint64_t> gNow{kNsPerSecond};  // virtual time, from one second on
std::atomic<int> gReads{0};

void Advance(uint64_t deadline) {
    uint64_t now = gNow.load();
    while (deadline > now && !gNow.compare_exchange_weak(now, deadline)) {
    }
    gReads = 0;
}

uint64_t NsOf(const timespec* t) { return uint64_t(t->tv_sec) * kNsPerSecond + uint64_t(t->tv_nsec); }

void Store(uint64_t ns, timespec* t) {
    t->tv_sec = time_t(ns / kNsPerSecond);
    t->tv_nsec = long(ns % kNsPerSecond);
}

struct Stops {
    std::vector<uint64_t> times;  // virtual ns
    size_t next = 0;
    std::string dir;
};

Stops& TheStops() {
    static Stops stops = [] {
        Stops s;
        const char* list = std::getenv("VIRTUAL_STOPS");
        const char* dir = std::getenv("VIRTUAL_DIR");
        if (!list || !dir) return s;
        s.dir = dir;
        for (const char* p = list; *p;) {
            char* end = nullptr;
            unsigned long ms = std::strtoul(p, &end, 10);
            if (end == p) break;
            s.times.push_back(kNsPerSecond + uint64_t(ms) * 1000000ull);
            p = *end == ',' ? end + 1 : end;
        }
        return s;
    }();
    return stops;
}

std::string ReadFile(const std::string& path) {
    std::string text;
    if (FILE* f = std::fopen(path.c_str(), "r")) {
        char buffer[64];
        size_t n = std::fread(buffer, 1, sizeof buffer, f);
        text.assign(buffer, n);
        std::fclose(f);
    }
    while (!text.empty() && (text.back() == '\n' || text.back() == ' ')) text.pop_back();
    return text;
}

void HaltAtStops() {
    Stops& s = TheStops();
    while (s.next < s.times.size() && gNow.load() >= s.times[s.next]) {
        std::string number = std::to_string(s.next);
        std::string temporary = s.dir + "/stop.tmp";
        if (FILE* f = std::fopen(temporary.c_str(), "w")) {
            std::fputs(number.c_str(), f);
            std::fclose(f);
            std::rename(temporary.c_str(), (s.dir + "/stop").c_str());
        }
        // At most a minute: a script that died must not leave the program hanging.
        for (int i = 0; i < 6000 && ReadFile(s.dir + "/go") != number; ++i) usleep(10000);
        ++s.next;
    }
}

struct Range {
    uintptr_t low, high;
};
std::vector<Range> gProgram;  // the program's own code

int NoteProgram(dl_phdr_info* info, size_t, void*) {
    for (int i = 0; i < info->dlpi_phnum; ++i)
        if (info->dlpi_phdr[i].p_type == PT_LOAD) {
            uintptr_t low = info->dlpi_addr + info->dlpi_phdr[i].p_vaddr;
            gProgram.push_back(Range{low, low + info->dlpi_phdr[i].p_memsz});
        }
    return 1;  // the first object listed is the program
}

bool Virtual(void* caller) {
    if (getpid() != gettid()) return false;
    static bool noted = (dl_iterate_phdr(NoteProgram, nullptr), true);
    (void)noted;
    uintptr_t at = reinterpret_cast<uintptr_t>(caller);
    for (const Range& r : gProgram)
        if (at >= r.low && at < r.high) return true;
    return false;
}

template <typename Function>
Function Next(const char* name) {
    return reinterpret_cast<Function>(dlsym(RTLD_NEXT, name));
}

}  // namespace

extern "C" int clock_gettime(clockid_t clock, timespec* t) {
    static auto next = Next<int (*)(clockid_t, timespec*)>("clock_gettime");
    if (clock != CLOCK_MONOTONIC || !Virtual(__builtin_return_address(0))) return next(clock, t);
    if (++gReads >= kReadsPerTick) Advance(gNow.load() + 1000000ull);
    Store(gNow.load(), t);
    return 0;
}

extern "C" int clock_nanosleep(clockid_t clock, int flags, const timespec* request,
                               timespec* remain) {
    static auto next = Next<int (*)(clockid_t, int, const timespec*, timespec*)>("clock_nanosleep");
    if (clock != CLOCK_MONOTONIC || !Virtual(__builtin_return_address(0)))
        return next(clock, flags, request, remain);
    Advance(flags & TIMER_ABSTIME ? NsOf(request) : gNow.load() + NsOf(request));
    sched_yield();
    return 0;
}

extern "C" void SDL_RenderPresent(void* renderer) {
    static auto next = Next<void (*)(void*)>("SDL_RenderPresent");
    next(renderer);
    HaltAtStops();
}

extern "C" void SDL_GL_SwapWindow(void* window) {
    static auto next = Next<void (*)(void*)>("SDL_GL_SwapWindow");
    next(window);
    HaltAtStops();
}
