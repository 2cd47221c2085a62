// The session recorder. Lines are put together on the program's thread and
// handed to a writer thread, which writes them out at least once a second:
// the program never waits for the disk, and a crash loses at most the last
// second.
#include "platform/device/record.h"
#include "platform/device/keymap.h"
#include "platform/platform.h"

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <condition_variable>
#include <cstdarg>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <mutex>
#include <string>
#include <thread>
#include <unistd.h>

namespace {

constexpr auto kFlushPeriod = std::chrono::milliseconds(250);
constexpr size_t kEagerFlushBytes = 64 * 1024;
// The "uses" line is written with room for every note, and rewritten in
// place when the program first touches the network or a movie.
constexpr char kUsesLine[] = "0 uses none          \n";
constexpr size_t kUsesWidth = sizeof kUsesLine - 1;

struct RecorderState {
    std::string path;          // StartRecording's, before the platform starts
    int fd = -1;               // the open recording, or -1
    off_t usesOffset = 0;      // where the "uses" line starts
    int uses = 0;              // PlatRecordUse bits noted so far
    int usesWritten = 0;       // the bits the file shows
    uint64_t counterRate = 0;
    uint64_t baseUs = 0;       // the first reading, in microseconds
    uint64_t lastUs = 0;       // the latest reading
    int haveReading = 0;
    std::mutex lock;           // guards pending, uses and stopping
    std::condition_variable wake;
    std::string pending;       // lines not written yet
    int stopping = 0;
    std::thread writer;
};

RecorderState gRecorder;

int Recording() { return gRecorder.fd >= 0; }

std::string UsesLine(int uses) {
    std::string line = "0 uses";
    if (!uses) line += " none";
    if (uses & RecordUsesNetwork) line += " network";
    if (uses & RecordUsesMovies) line += " movies";
    line.resize(kUsesWidth - 1, ' ');
    return line + "\n";
}

void WriteAll(int fd, const std::string& text) {
    size_t done = 0;
    while (done < text.size()) {
        ssize_t wrote = write(fd, text.data() + done, text.size() - done);
        if (wrote < 0 && errno == EINTR) continue;
        if (wrote <= 0) return;  // a full disk: the program goes on unrecorded
        done += static_cast<size_t>(wrote);
    }
}

// The writer thread: takes what is pending at least every kFlushPeriod.
void WriteBehind() {
    std::unique_lock<std::mutex> hold(gRecorder.lock);
    for (;;) {
        gRecorder.wake.wait_for(hold, kFlushPeriod);
        std::string lines;
        lines.swap(gRecorder.pending);
        int uses = gRecorder.uses;
        int stopping = gRecorder.stopping;
        hold.unlock();
        if (!lines.empty()) WriteAll(gRecorder.fd, lines);
        if (uses != gRecorder.usesWritten) {
            std::string line = UsesLine(uses);
            if (pwrite(gRecorder.fd, line.data(), line.size(), gRecorder.usesOffset) ==
                static_cast<ssize_t>(line.size()))
                gRecorder.usesWritten = uses;
        }
        hold.lock();
        if (stopping && gRecorder.pending.empty()) return;
    }
}

void Append(const char* text, size_t length) {
    if (!Recording()) return;
    std::lock_guard<std::mutex> hold(gRecorder.lock);
    gRecorder.pending.append(text, length);
    if (gRecorder.pending.size() >= kEagerFlushBytes) gRecorder.wake.notify_one();
}

// A line stamped with the time of the latest reading, in milliseconds since
// the first: the time a script would give the event.
void Line(const char* format, ...) __attribute__((format(printf, 1, 2)));
void Line(const char* format, ...) {
    if (!Recording()) return;
    char text[512];
    uint64_t ms = (gRecorder.lastUs - gRecorder.baseUs) / 1000;
    int used = std::snprintf(text, sizeof text, "%llu ", static_cast<unsigned long long>(ms));
    va_list args;
    va_start(args, format);
    int rest = std::vsnprintf(text + used, sizeof text - static_cast<size_t>(used) - 1, format, args);
    va_end(args);
    // A text longer than the line keeps its start.
    size_t length = std::min(static_cast<size_t>(used) + static_cast<size_t>(std::max(rest, 0)),
                             sizeof text - 2);
    text[length++] = '\n';
    Append(text, length);
}

void NoteReading(uint64_t us) {
    if (!gRecorder.haveReading) {
        gRecorder.baseUs = us;
        gRecorder.haveReading = 1;
    }
    // Two clocks with different grains must not make the stamps go back.
    if (us > gRecorder.lastUs) gRecorder.lastUs = us;
}

// Text runs to the end of its line; a line break inside it would end it.
std::string OneLine(const char* utf8, size_t length) {
    std::string text(utf8, length);
    for (char& c : text)
        if (c == '\n' || c == '\r') c = ' ';
    return text;
}

}  // namespace

int PlatSetRecordPath(const char* path) {
    if (Recording()) return -1;
    gRecorder.path = path ? path : "";
    return 0;
}

int PlatRecording() { return Recording(); }

void PlatRecordOpen(uint64_t counterRate) {
    if (Recording()) return;
    std::string path = gRecorder.path;
    const char* env = std::getenv("TESSEL_RECORD");
    if (path.empty() && env) path = env;
    if (path.empty()) return;
    int fd = open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
    if (fd < 0) {
        std::fprintf(stderr, "tessel: cannot record to \"%s\": %s; running unrecorded\n",
                     path.c_str(), std::strerror(errno));
        return;
    }
    gRecorder.fd = fd;
    gRecorder.counterRate = counterRate;
    gRecorder.haveReading = 0;
    gRecorder.baseUs = gRecorder.lastUs = 0;
    gRecorder.uses = gRecorder.usesWritten = 0;
    gRecorder.stopping = 0;
    std::string head = "# A recorded session: replay it with TESSEL_PLATFORM=headless "
                       "TESSEL_INPUT=<this file>\n0 recording 1\n";
    gRecorder.usesOffset = static_cast<off_t>(head.size());
    head += kUsesLine;
    head += "0 counterrate " + std::to_string(counterRate) + "\n";
    WriteAll(fd, head);
    gRecorder.writer = std::thread(WriteBehind);
}

void PlatRecordClose() {
    if (!Recording()) return;
    {
        std::lock_guard<std::mutex> hold(gRecorder.lock);
        gRecorder.stopping = 1;
    }
    gRecorder.wake.notify_one();
    gRecorder.writer.join();
    close(gRecorder.fd);
    gRecorder.fd = -1;
    gRecorder.path.clear();
}

void RecordClockMs(uint32_t ms) {
    if (!Recording()) return;
    NoteReading(uint64_t{ms} * 1000);
    Line("clock %u", ms);
}

void RecordCounter(uint64_t counter) {
    if (!Recording()) return;
    if (gRecorder.counterRate) {
        uint64_t rate = gRecorder.counterRate;
        NoteReading(counter / rate * 1000000 + counter % rate * 1000000 / rate);
    }
    Line("counter %llu", static_cast<unsigned long long>(counter));
}

void RecordEmptyPoll() { Line("poll"); }
void RecordCursor(int x, int y) { Line("cursor %d %d", x, y); }
void RecordKey(int scanCode, int down) {
    Line("%s %s", down ? "down" : "up", ScanCodeToKeyName(scanCode).c_str());
}
void RecordMouse(int x, int y) { Line("mouse %d %d", x, y); }
void RecordButton(int button, int down) {
    static const char* const kNames[3] = {"left", "right", "middle"};
    if (button >= 0 && button < 3) Line("button %s %s", kNames[button], down ? "down" : "up");
}
void RecordWheel(int x, int y) { Line("wheel %d %d", x, y); }
void RecordFocus(int active) { Line("focus %d", active ? 1 : 0); }
void RecordClose() { Line("close"); }
void RecordText(const char* utf8, size_t length) {
    if (length) Line("text %s", OneLine(utf8, length).c_str());
}
void RecordCompose(int cursorChars, const char* utf8, size_t length) {
    Line("compose %d %s", cursorChars, OneLine(utf8, length).c_str());
}
void RecordCapture(const char* file) { Line("capture %s", file); }
void RecordNoSound() { Line("nosound"); }
void RecordSoundDriverText(const std::string& text) {
    for (size_t start = 0; start < text.size();) {
        size_t end = text.find('\n', start);
        if (end == std::string::npos) end = text.size();
        Line("soundsays %s", OneLine(text.data() + start, end - start).c_str());
        start = end + 1;
    }
}

void RecordUse(PlatRecordUse what) {
    if (!Recording()) return;
    std::lock_guard<std::mutex> hold(gRecorder.lock);
    gRecorder.uses |= what;
}

void PlatRecordCapture(const char* file) { RecordCapture(file); }

int PlatScreenshotKeyFromEnvironment() {
    const char* name = std::getenv("TESSEL_SCREENSHOT_KEY");
    if (!name || !*name) return 0;
    int scanCode = ParseKeyName(name);
    if (scanCode <= 0) {
        std::fprintf(stderr, "TESSEL_SCREENSHOT_KEY: unknown key \"%s\"\n", name);
        return -1;
    }
    return scanCode;
}

int PlatNextShotName(int* next, char* name, size_t size) {
    for (; *next < 1000; ++*next) {
        std::snprintf(name, size, "shot-%03d.png", *next);
        if (access(name, F_OK) != 0) return 0;
    }
    return -1;
}
