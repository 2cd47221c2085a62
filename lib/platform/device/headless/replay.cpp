// Playing a recorded session back. The recording is one stream of clock
// readings, input and empty polls in the order the program met them; each
// reading the program takes and each poll it makes consumes the next line,
// and input is handed over where the desktop handed it over: one event at a
// time, whenever a poll finds nothing waiting. The program therefore takes
// the same path, frame for frame, until it asks for something the stream
// does not have there; then the replay says so once and the virtual clock
// takes over, with the input that is left applied at its recorded times.
#include "platform/device/backend.h"
#include "platform/device/headless/state.h"
#include "platform/device/record.h"

#include <cstdio>

namespace {

int (*gCaptureWriter)(const char* file);

bool IsInput(HeadlessEventKind kind) { return kind < EventRecording && kind != EventCapture; }
// Lines that need no poll: they apply as soon as the stream reaches them.
bool IsPassive(HeadlessEventKind kind) {
    return kind == EventCapture || kind == EventCursor || kind == EventNoSound ||
           kind == EventSoundSays;
}

const HeadlessEvent* Next() {
    if (gHeadless.replayAt >= gHeadless.replay.size()) return nullptr;
    return &gHeadless.replay[gHeadless.replayAt];
}

void Apply(const HeadlessEvent& event) {
    gHeadless.lastEventUs = gHeadless.nowUs;
    // The desktop saved the screen the program had drawn by then; the
    // library's own writer does the same here.
    if (event.kind == EventCapture && gCaptureWriter) {
        gCaptureWriter(event.file.c_str());
        return;
    }
    ApplyScriptEvent(event);
}

void ApplyPassive() {
    while (const HeadlessEvent* event = Next()) {
        if (!IsPassive(event->kind)) return;
        ++gHeadless.replayAt;
        Apply(*event);
    }
}

void TakeOneInput() {
    HeadlessEvent event = *Next();
    ++gHeadless.replayAt;
    Apply(event);
    ApplyPassive();
}

const char* LineName(HeadlessEventKind kind) {
    switch (kind) {
    case EventClock: return "a millisecond clock reading";
    case EventCounter: return "a counter reading";
    case EventPoll: return "an empty poll";
    default: return "input";
    }
}

// Hands the rest of the input to the virtual clock, at its recorded times.
void StopReplaying() {
    for (size_t i = gHeadless.replayAt; i < gHeadless.replay.size(); ++i)
        if (IsInput(gHeadless.replay[i].kind) || IsPassive(gHeadless.replay[i].kind))
            QueueScriptEvent(gHeadless.replay[i]);
    gHeadless.replay.clear();
    gHeadless.replayAt = 0;
    gHeadless.replaying = 0;
    gHeadless.lastEventUs = gHeadless.nowUs;
}

void Diverge(const char* asked) {
    const HeadlessEvent* next = Next();
    std::fprintf(stderr,
                 "TESSEL_INPUT:%d: the replay diverged: the program %s where the recording has %s; "
                 "going on with the virtual clock\n",
                 next->line, asked, LineName(next->kind));
    StopReplaying();
}

uint64_t ReadingUs(HeadlessEventKind kind, uint64_t value) {
    if (kind == EventClock) return value * 1000;
    uint64_t rate = gHeadless.counterRate ? gHeadless.counterRate : 1000000;
    return value / rate * 1000000 + value % rate * 1000000 / rate;
}

}  // namespace

void StartReplay(std::vector<HeadlessEvent> lines, int uses) {
    if (uses)
        std::fprintf(stderr,
                     "TESSEL_INPUT: the recorded program used %s%s%s, whose replies a recording "
                     "does not hold; the replay cannot be exact\n",
                     uses & RecordUsesNetwork ? "the network" : "",
                     uses == (RecordUsesNetwork | RecordUsesMovies) ? " and " : "",
                     uses & RecordUsesMovies ? "movies" : "");
    gHeadless.replay = std::move(lines);
    gHeadless.replayAt = 0;
    gHeadless.replaying = 1;
    gHeadless.replayLoaded = 1;
    // The clock starts at the first recorded reading, and input left to the
    // virtual clock counts from there, as the recorder stamped it.
    for (const HeadlessEvent& event : gHeadless.replay)
        if (event.kind == EventClock || event.kind == EventCounter) {
            gHeadless.nowUs = ReadingUs(event.kind, event.value);
            gHeadless.scriptBaseUs = gHeadless.nowUs;
            break;
        }
    gHeadless.lastEventUs = HeadlessClockUs();
}

int ReplayReading(HeadlessEventKind kind, uint64_t* value) {
    if (!gHeadless.replaying) return 0;
    ApplyPassive();
    // Input that arrived while the recorded program was not polling (a
    // scripted run's, applied as its clock moved) reaches it here.
    while (Next() && IsInput(Next()->kind)) TakeOneInput();
    const HeadlessEvent* next = Next();
    if (!next) {
        StopReplaying();
        return 0;
    }
    if (next->kind != kind) {
        Diverge(kind == EventClock ? "reads the millisecond clock" : "reads the counter");
        return 0;
    }
    ++gHeadless.replayAt;
    *value = next->value;
    uint64_t us = ReadingUs(kind, *value);
    if (us > gHeadless.nowUs) {
        gHeadless.nowUs = us;
        HeadlessAudioAdvance();
    }
    return 1;
}

int ReplayTake(PlatMessage* out, int* taken) {
    if (!gHeadless.replaying) return 0;
    ApplyPassive();
    for (;;) {
        if (!gHeadless.messages.empty()) {
            if (out) *out = gHeadless.messages.front();
            gHeadless.messages.pop_front();
            *taken = 1;
            return 1;
        }
        const HeadlessEvent* next = Next();
        if (!next) {
            StopReplaying();
            return 0;
        }
        if (next->kind == EventPoll) {
            ++gHeadless.replayAt;
            *taken = 0;
            return 1;
        }
        if (!IsInput(next->kind)) {
            Diverge("polls for messages");
            return 0;
        }
        TakeOneInput();
    }
}

int PlatReplaying() { return PlatCurrentBackend() == HeadlessBackend() && gHeadless.replaying; }

void PlatSetCaptureWriter(int (*writer)(const char* file)) { gCaptureWriter = writer; }
