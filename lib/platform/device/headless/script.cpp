// The input script: one event per line, "<ms> <verb> [args]", applied to the
// devices and the window's queue when the virtual clock reaches its time.
#include "platform/device/backend.h"
#include "platform/device/headless/headless.h"
#include "platform/device/headless/state.h"
#include "platform/device/keymap.h"
#include "platform/device/record.h"

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <iterator>
#include <strings.h>

namespace {

constexpr int kScanCapsLock = 0x3A;

std::vector<std::string> SplitWords(const char* line) {
    std::vector<std::string> words;
    std::string word;
    for (const char* p = line; *p && *p != '#'; ++p) {
        if (*p == ' ' || *p == '\t' || *p == '\r' || *p == '\n') {
            if (!word.empty()) words.push_back(std::move(word));
            word.clear();
        } else {
            word += *p;
        }
    }
    if (!word.empty()) words.push_back(std::move(word));
    return words;
}

bool ParseNumber(const std::string& text, long long min, long long max, long long* out) {
    if (text.empty()) return false;
    char* end = nullptr;
    errno = 0;
    long long value = std::strtoll(text.c_str(), &end, 10);
    if (errno || *end || value < min || value > max) return false;
    *out = value;
    return true;
}

// The raw rest of `line` after its first `count` words and the one blank
// that ends the last of them; a line break at the end is not part of it.
std::string RestAfterWords(const char* line, int count) {
    const char* p = line;
    for (int i = 0; i < count; ++i) {
        while (*p == ' ' || *p == '\t') ++p;
        while (*p && *p != ' ' && *p != '\t' && *p != '\r' && *p != '\n') ++p;
    }
    if (*p == ' ' || *p == '\t') ++p;
    std::string rest = p;
    while (!rest.empty() && (rest.back() == '\n' || rest.back() == '\r')) rest.pop_back();
    return rest;
}

// Text and compose take the rest of the line as it stands, '#' and blanks
// included.
std::string ParseTextVerb(const char* line, const std::vector<std::string>& w,
                          HeadlessEvent* e) {
    if (w[1] == "text") {
        e->kind = EventText;
        e->text = RestAfterWords(line, 2);
        return e->text.empty() ? "missing arguments: text STRING" : "";
    }
    e->kind = EventCompose;
    if (w.size() < 3) return "missing arguments: compose CURSOR STRING";
    long long cursor = 0;
    if (!ParseNumber(w[2], 0, 1024, &cursor)) return "bad number \"" + w[2] + "\"";
    e->a = static_cast<int>(cursor);
    e->text = RestAfterWords(line, 3);
    return "";
}

bool ParseUnsigned(const std::string& text, uint64_t* out) {
    if (text.empty() || text[0] < '0' || text[0] > '9') return false;
    char* end = nullptr;
    errno = 0;
    unsigned long long value = std::strtoull(text.c_str(), &end, 10);
    if (errno || *end) return false;
    *out = value;
    return true;
}

// The verbs only a recording holds. "?" when `w` has none of them.
std::string ParseRecordingVerb(const std::vector<std::string>& w, HeadlessEvent* e) {
    const std::string& verb = w[1];
    size_t args = w.size() - 2;
    auto one = [&](HeadlessEventKind kind, const char* usage) -> std::string {
        e->kind = kind;
        if (args != 1) return std::string(args ? "unexpected words after " : "missing arguments: ") + usage;
        return ParseUnsigned(w[2], &e->value) ? "" : "bad number \"" + w[2] + "\"";
    };
    if (verb == "clock") {
        std::string fault = one(EventClock, "clock MS");
        return fault.empty() && e->value > UINT32_MAX ? "bad number \"" + w[2] + "\"" : fault;
    }
    if (verb == "counter") return one(EventCounter, "counter VALUE");
    if (verb == "counterrate") return one(EventCounterRate, "counterrate HZ");
    if (verb == "recording") {
        std::string fault = one(EventRecording, "recording 1");
        if (fault.empty() && e->value != 1) return "unknown recording version " + w[2];
        return fault;
    }
    if (verb == "poll" || verb == "nosound") {
        e->kind = verb == "poll" ? EventPoll : EventNoSound;
        return args ? "unexpected \"" + w[2] + "\" after " + verb : "";
    }
    if (verb == "cursor") {
        e->kind = EventCursor;
        if (args != 2) return "missing arguments: cursor X Y";
        long long x = 0, y = 0;
        if (!ParseNumber(w[2], -32768, 32767, &x)) return "bad number \"" + w[2] + "\"";
        if (!ParseNumber(w[3], -32768, 32767, &y)) return "bad number \"" + w[3] + "\"";
        e->a = static_cast<int>(x);
        e->b = static_cast<int>(y);
        return "";
    }
    if (verb == "uses") {
        e->kind = EventUses;
        for (size_t i = 2; i < w.size(); ++i) {
            if (w[i] == "network") e->a |= RecordUsesNetwork;
            else if (w[i] == "movies") e->a |= RecordUsesMovies;
            else if (w[i] != "none") return "unknown use \"" + w[i] + "\" (network, movies or none)";
        }
        return "";
    }
    return "?";
}

bool EndsWithPng(const std::string& name) {
    return name.size() > 4 && strcasecmp(name.c_str() + name.size() - 4, ".png") == 0;
}

// Parses the words after the time. Empty on success, else what is wrong.
std::string ParseVerb(const std::vector<std::string>& w, HeadlessEvent* e) {
    const std::string& verb = w[1];
    size_t args = w.size() - 2;
    auto arity = [&](size_t wanted, const char* usage) -> std::string {
        if (args < wanted) return "missing arguments: " + std::string(usage);
        if (args > wanted) return "unexpected \"" + w[2 + wanted] + "\" after " + usage;
        return "";
    };
    auto number = [&](const std::string& text, long long min, long long max, int* out) {
        long long value = 0;
        if (!ParseNumber(text, min, max, &value)) return false;
        *out = static_cast<int>(value);
        return true;
    };
    auto badNumber = [](const std::string& text) { return "bad number \"" + text + "\""; };
    std::string fault;

    if (verb == "down" || verb == "up") {
        e->kind = verb == "down" ? EventKeyDown : EventKeyUp;
        if (!(fault = arity(1, verb == "down" ? "down KEY" : "up KEY")).empty()) return fault;
        e->a = ParseKeyName(w[2].c_str());
        if (e->a < 0) return "unknown key \"" + w[2] + "\"";
        return "";
    }
    if (verb == "mouse") {
        e->kind = EventMouse;
        if (!(fault = arity(2, "mouse X Y")).empty()) return fault;
        if (!number(w[2], -32768, 32767, &e->a)) return badNumber(w[2]);
        if (!number(w[3], -32768, 32767, &e->b)) return badNumber(w[3]);
        return "";
    }
    if (verb == "button") {
        e->kind = EventButton;
        if (!(fault = arity(2, "button left|right|middle down|up")).empty()) return fault;
        if (w[2] == "left") e->a = 0;
        else if (w[2] == "right") e->a = 1;
        else if (w[2] == "middle") e->a = 2;
        else return "unknown button \"" + w[2] + "\" (left, right or middle)";
        if (w[3] != "down" && w[3] != "up") return "\"" + w[3] + "\" is neither down nor up";
        e->b = w[3] == "down";
        return "";
    }
    if (verb == "wheel") {
        e->kind = EventWheel;
        if (!(fault = arity(2, "wheel DX DY")).empty()) return fault;
        if (!number(w[2], -1000, 1000, &e->a)) return badNumber(w[2]);
        if (!number(w[3], -1000, 1000, &e->b)) return badNumber(w[3]);
        return "";
    }
    if (verb == "focus") {
        e->kind = EventFocus;
        if (!(fault = arity(1, "focus 0|1")).empty()) return fault;
        if (!number(w[2], 0, 1, &e->a)) return badNumber(w[2]);
        return "";
    }
    if (verb == "close") {
        e->kind = EventClose;
        return arity(0, "close");
    }
    if (verb == "capture") {
        e->kind = EventCapture;
        if (!(fault = arity(1, "capture FILE.png")).empty()) return fault;
        if (!EndsWithPng(w[2])) return "bad file name \"" + w[2] + "\" (FILE.png wanted)";
        e->file = w[2];
        return "";
    }
    if (std::string fault = ParseRecordingVerb(w, e); fault != "?") return fault;
    if (verb != "pad") return "unknown verb \"" + verb + "\"";

    if (args < 2) return "missing arguments: pad N button|axis|pov ...";
    if (!number(w[2], 1, HeadlessPadCount, &e->pad)) return "bad pad number \"" + w[2] + "\" (1..8)";
    e->pad -= 1;
    const std::string& part = w[3];
    size_t partArgs = args - 2;
    auto partArity = [&](size_t wanted, const char* usage) -> std::string {
        if (partArgs < wanted) return "missing arguments: " + std::string(usage);
        if (partArgs > wanted) return "unexpected \"" + w[4 + wanted] + "\" after " + usage;
        return "";
    };
    if (part == "button") {
        e->kind = EventPadButton;
        if (!(fault = partArity(2, "pad N button B down|up")).empty()) return fault;
        if (!number(w[4], 0, 31, &e->a)) return badNumber(w[4]);
        if (w[5] != "down" && w[5] != "up") return "\"" + w[5] + "\" is neither down nor up";
        e->b = w[5] == "down";
        return "";
    }
    if (part == "axis") {
        e->kind = EventPadAxis;
        if (!(fault = partArity(2, "pad N axis x|y|z V")).empty()) return fault;
        if (w[4] == "x") e->a = 0;
        else if (w[4] == "y") e->a = 1;
        else if (w[4] == "z") e->a = 2;
        else return "unknown axis \"" + w[4] + "\" (x, y or z)";
        if (!number(w[5], -1000, 1000, &e->b)) return badNumber(w[5]);
        return "";
    }
    if (part == "pov") {
        e->kind = EventPadPov;
        if (!(fault = partArity(1, "pad N pov DEG100|center")).empty()) return fault;
        if (w[4] == "center") e->a = -1;
        else if (!number(w[4], 0, 35999, &e->a)) return badNumber(w[4]);
        return "";
    }
    return "unknown pad part \"" + part + "\" (button, axis or pov)";
}

uintptr_t MouseButtonFlags() {
    uintptr_t flags = 0;
    if (gHeadless.buttons[0x01] & 0x80) flags |= 0x01;
    if (gHeadless.buttons[0x02] & 0x80) flags |= 0x02;
    if (gHeadless.buttons[0x04] & 0x80) flags |= 0x10;
    return flags;
}

intptr_t ClientPoint(int x, int y) {
    return static_cast<intptr_t>(x & 0xFFFF) | (static_cast<intptr_t>(y) << 16);
}

// The script reports keys as a desktop's system does: a key pressed again
// while held is the system repeating it, and the modifiers are those of the
// keys held, with Caps Lock turned on and off by its key.
void ApplyKey(int scan, int down) {
    int repeat = down && PlatKeyIsDown(scan);
    if (scan == kScanCapsLock && down && !repeat) gHeadless.capsLock ^= 1;
    PlatKeyReport report{};
    report.scanCode = scan;
    report.down = down;
    report.repeat = repeat;
    report.modifiers = PlatHeldKeyModifiers(scan, down);
    if (gHeadless.capsLock) report.modifiers |= KeyModCapsLock;
    report.layoutChar = ScanCodeToUsCharacter(scan);
    // A recorded desktop sent the typed text of running text input as text
    // lines of its own.
    report.textInputOn = gHeadless.replayLoaded && gHeadless.textInputRunning;
    PlatKeyEvent(report, HeadlessQueueInputMessage);
}

void ApplyButton(int button, int down) {
    RecordButton(button, down);
    static constexpr int kVirtualKey[3] = {0x01, 0x02, 0x04};
    static constexpr uint32_t kDown[3] = {MsgLButtonDown, MsgRButtonDown, MsgMButtonDown};
    static constexpr uint32_t kUp[3] = {MsgLButtonUp, MsgRButtonUp, MsgMButtonUp};
    if (((gHeadless.buttons[kVirtualKey[button]] & 0x80) != 0) != (down != 0))
        PlatNoteInputEvent(PlatInputMouseButton, 1 << button, down);
    SetVirtualKeyState(gHeadless.buttons, kVirtualKey[button], down);
    HeadlessQueueInputMessage(down ? kDown[button] : kUp[button], MouseButtonFlags(),
                              ClientPoint(gHeadless.cursorX - gHeadless.originX,
                                          gHeadless.cursorY - gHeadless.originY));
}

// As a desktop's wheel: notches for the program, and for the window
// procedure the vertical turn as a wheel message of 120 a notch.
void ApplyWheel(int x, int y) {
    PlatNoteWheel(x, y);
    if (y == 0) return;
    int delta = std::clamp(y * 120, -32768, 32767);
    uintptr_t wParam = static_cast<uintptr_t>(static_cast<uint16_t>(delta)) << 16;
    HeadlessQueueInputMessage(MsgMouseWheel, wParam | MouseButtonFlags(),
                              ClientPoint(gHeadless.cursorX, gHeadless.cursorY));
}

}  // namespace

// The headless devices report what reaches the program as a desktop's do, so
// a scripted run can be recorded too; keys are recorded where both back ends
// hand them over.
void ApplyScriptEvent(const HeadlessEvent& e) {
    HeadlessPad& pad = gHeadless.pads[e.pad];
    switch (e.kind) {
    case EventKeyDown:
    case EventKeyUp:
        ApplyKey(e.a, e.kind == EventKeyDown);
        break;
    case EventMouse:
        RecordMouse(e.a, e.b);
        gHeadless.cursorX = gHeadless.originX + e.a;
        gHeadless.cursorY = gHeadless.originY + e.b;
        gHeadless.cursorPlaced = 1;
        HeadlessQueueInputMessage(MsgMouseMove, MouseButtonFlags(), ClientPoint(e.a, e.b));
        break;
    case EventButton:
        ApplyButton(e.a, e.b);
        break;
    case EventWheel:
        ApplyWheel(e.a, e.b);
        break;
    case EventFocus:
        RecordFocus(e.a);
        // Keys released elsewhere will never be reported to this window.
        if (!e.a) PlatReleaseAllKeys();
        HeadlessQueueInputMessage(MsgActivateApp, static_cast<uintptr_t>(e.a), 0);
        HeadlessQueueInputMessage(MsgActivate, static_cast<uintptr_t>(e.a), 0);
        break;
    case EventClose:
        RecordClose();
        HeadlessQueueInputMessage(MsgClose, 0, 0);
        break;
    case EventCapture:
        CaptureFrame(e.file);
        break;
    case EventText:
        RecordText(e.text.data(), e.text.size());
        ApplyTextEvent(e);
        break;
    case EventCompose:
        RecordCompose(e.a, e.text.data(), e.text.size());
        ApplyTextEvent(e);
        break;
    case EventCursor:
        gHeadless.cursorX = gHeadless.originX + e.a;
        gHeadless.cursorY = gHeadless.originY + e.b;
        gHeadless.cursorPlaced = 1;
        break;
    case EventPadButton:
        if (((pad.buttons[e.a] & 0x80) != 0) != (e.b != 0))
            PlatNoteInputEvent(PlatInputPadButton, e.pad * 32 + e.a, e.b);
        pad.buttons[e.a] = e.b ? 0x80 : 0;
        pad.signalled = 1;
        break;
    case EventPadAxis:
        pad.axes[e.a] = e.b;
        pad.signalled = 1;
        break;
    case EventPadPov:
        pad.povPlusOne = e.a < 0 ? 0 : static_cast<uint32_t>(e.a) + 1;
        pad.signalled = 1;
        break;
    default:  // the recording's own lines are the replay's
        break;
    }
}

int ParseScriptLine(const char* line, HeadlessEvent* out, std::string* error) {
    std::vector<std::string> words = SplitWords(line);
    if (words.empty()) return 0;
    HeadlessEvent event{};
    long long ms = 0;
    if (!ParseNumber(words[0], 0, UINT32_MAX, &ms)) {
        *error = "bad time \"" + words[0] + "\" (milliseconds wanted)";
        return -1;
    }
    event.ms = static_cast<uint64_t>(ms);
    if (words.size() < 2) {
        *error = "missing verb after the time";
        return -1;
    }
    bool textVerb = words[1] == "text" || words[1] == "compose";
    std::string fault;
    if (words[1] == "soundsays") {
        event.kind = EventSoundSays;
        event.text = RestAfterWords(line, 2);
    } else {
        fault = textVerb ? ParseTextVerb(line, words, &event) : ParseVerb(words, &event);
    }
    if (!fault.empty()) {
        *error = fault;
        return -1;
    }
    *out = std::move(event);
    return 1;
}

void QueueScriptEvent(const HeadlessEvent& event) {
    bool isPad = event.kind == EventPadButton || event.kind == EventPadAxis ||
                 event.kind == EventPadPov;
    if (isPad && event.pad + 1 > gHeadless.padCount) gHeadless.padCount = event.pad + 1;
    uint64_t base = gHeadless.scriptBaseUs ? gHeadless.scriptBaseUs : HeadlessStartUs;
    gHeadless.events.emplace(base + event.ms * 1000, event);
}

namespace {

bool RecordingOnly(HeadlessEventKind kind) { return kind >= EventRecording; }

// A recording is used up to its first bad line, which is named: a session
// cut short by a crash or a full disk still replays as far as it got.
void LoadRecording(const std::vector<std::string>& lines, bool cutShort) {
    std::vector<HeadlessEvent> replay;
    int uses = 0;
    for (size_t i = 0; i < lines.size(); ++i) {
        int number = static_cast<int>(i) + 1;
        HeadlessEvent event;
        std::string error;
        int result = ParseScriptLine(lines[i].c_str(), &event, &error);
        if (result > 0 && event.kind == EventRecording && !replay.empty()) {
            result = -1;
            error = "a second \"recording\" line";
        }
        // A last line without its line break was cut off, whatever it reads as.
        if (i + 1 == lines.size() && cutShort) {
            result = -1;
            error = "the line is cut short";
        }
        if (result < 0) {
            std::fprintf(stderr, "TESSEL_INPUT:%d: %s; the replay ends before this line\n", number,
                         error.c_str());
            break;
        }
        if (result == 0) continue;
        event.line = number;
        // The header says how to set up; the sound device's lines count
        // now, since it opens before anything could consume them.
        switch (event.kind) {
        case EventRecording: continue;
        case EventUses: uses |= event.a; continue;
        case EventCounterRate: gHeadless.counterRate = event.value; continue;
        case EventNoSound: gHeadless.audioMissing = 1; break;
        case EventSoundSays: PlatNoteAudioDriverText(event.text.c_str()); break;
        default: break;
        }
        replay.push_back(std::move(event));
    }
    StartReplay(std::move(replay), uses);
}

}  // namespace

int LoadScriptFile() {
    if (gHeadless.scriptLoaded) return 0;
    const char* path = std::getenv("TESSEL_INPUT");
    if (!path || !*path) {
        gHeadless.scriptLoaded = 1;
        return 0;
    }
    std::ifstream in(path, std::ios::binary);
    if (!in) {
        std::fprintf(stderr, "TESSEL_INPUT: cannot read \"%s\"\n", path);
        return -1;
    }
    std::string content((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    std::vector<std::string> lines;
    for (size_t at = 0; at < content.size();) {
        size_t end = content.find('\n', at);
        if (end == std::string::npos) end = content.size();
        lines.push_back(content.substr(at, end - at));
        at = end + 1;
    }
    bool cutShort = !content.empty() && content.back() != '\n';
    // A file is a recording when its first line that says anything says so.
    for (const std::string& line : lines) {
        HeadlessEvent event;
        std::string error;
        int result = ParseScriptLine(line.c_str(), &event, &error);
        if (result == 0) continue;
        if (result > 0 && event.kind == EventRecording) {
            LoadRecording(lines, cutShort);
            gHeadless.scriptLoaded = 1;
            return 0;
        }
        break;
    }
    // A faulty script starts nothing, so every fault is listed at once.
    std::vector<HeadlessEvent> parsed;
    int faults = 0;
    for (size_t i = 0; i < lines.size(); ++i) {
        HeadlessEvent event;
        std::string error;
        int result = ParseScriptLine(lines[i].c_str(), &event, &error);
        if (result > 0 && RecordingOnly(event.kind)) {
            result = -1;
            error = "only a recording holds this line";
        }
        if (result < 0) {
            std::fprintf(stderr, "TESSEL_INPUT:%zu: %s\n", i + 1, error.c_str());
            ++faults;
        } else if (result > 0) {
            parsed.push_back(std::move(event));
        }
    }
    if (faults) return -1;
    for (const HeadlessEvent& event : parsed) QueueScriptEvent(event);
    gHeadless.scriptLoaded = 1;
    return 0;
}

void ApplyDueEvents() {
    while (!gHeadless.events.empty() && gHeadless.events.begin()->first <= gHeadless.nowUs) {
        HeadlessEvent event = std::move(gHeadless.events.begin()->second);
        gHeadless.events.erase(gHeadless.events.begin());
        gHeadless.lastEventUs = gHeadless.nowUs;
        ApplyScriptEvent(event);
    }
}

int HeadlessQueueScriptLine(const char* line) {
    HeadlessEvent event;
    std::string error;
    int result = ParseScriptLine(line ? line : "", &event, &error);
    if (result < 0) {
        std::fprintf(stderr, "headless script line \"%s\": %s\n", line, error.c_str());
        return -1;
    }
    if (result > 0) QueueScriptEvent(event);
    return 0;
}
