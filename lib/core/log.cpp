// AppLog.txt: the library's report of what it did, for the person who runs the
// program. The file is opened and closed for every text, so it is complete
// even when the program is killed.
#include "core/core.h"

#include <cstdarg>
#include <cstdio>
#include <cstring>
#include <string>

namespace {

constexpr const char* LogFileName = "AppLog.txt";
constexpr int FormatBufferSize = 1024;

// The last failure of each thread, for GetLastErrorText: the sound mixer's
// thread must not overwrite what the program's thread is about to read.
thread_local std::string tLastFailure;

// Runs `write` on the log file opened with `mode` inside the library folder,
// whatever the current folder is, and returns to that folder afterwards.
template <typename Write>
void WithLogFile(const char* mode, Write write) {
    const FileAccessFunctions* files = GetFileAccessFunctions();
    CoreSettings& settings = gCore.settings;
    char previous[MaxPathLength];
    bool switched = false;
    std::string name = LogFileName;
    if (settings.libraryDirRecorded) {
        // A folder too long for the directory operations is reached by its
        // full name instead.
        if (files->getCurrentDir(previous) == 0 &&
            files->setCurrentDir(settings.libraryDir.c_str()) == 0)
            switched = true;
        else
            name = settings.libraryDir + "/" + LogFileName;
    }
    std::FILE* file = std::fopen(ResolvePath(name.c_str()).c_str(), mode);
    gCore.log.opened = file != nullptr;
    if (file) {
        write(file);
        std::fclose(file);
    }
    if (switched) files->setCurrentDir(previous);
}

}  // namespace

std::string ToCp932(const char* utf8) { return PlatUtf8ToCp932(utf8, std::strlen(utf8)); }

int SetLogEnabled(int flag) {
    gCore.settings.logDisabled = flag == 0;
    return 0;
}

int SetLogTimeStamps(int flag) {
    gCore.settings.logTimeStampsOff = flag == 0;
    return 0;
}

int OpenLog(int keepExisting) {
    if (gCore.settings.logDisabled) return 0;
    gCore.log.encoding = CurrentStringEncoding();
    // A reader cannot tell UTF-8 from the code page by looking; the file
    // says which it is before anything else.
    bool announce = !keepExisting && gCore.log.encoding == EncodingUtf8;
    WithLogFile(keepExisting ? "at" : "wt", [announce](std::FILE* file) {
        if (announce) std::fputs("このログは UTF-8 で書かれています\n", file);
    });
    gCore.log.indent = 0;
    gCore.log.lineOpen = 0;
    gCore.settings.logStart = GetTickMs(0);
    return 0;
}

// Returns -1 always, so that a failing operation can log and fail in one step.
// Everything but the file itself happens whether or not the file opens: the
// copy on standard error still appears, and the clock is read the same number
// of times, so a log that cannot be written never changes a scripted run.
int WriteLogString(const char* text) {
    if (gCore.settings.logDisabled || !gCore.settings.libraryDirRecorded) return -1;
    if (!text || !*text) return -1;  // nothing to add, not even a time stamp
    std::string stamp;
    std::string tabs;
    if (!gCore.log.lineOpen) {
        if (!gCore.settings.logTimeStampsOff) {
            uint32_t elapsed = uint32_t(GetTickMs(0)) - uint32_t(gCore.settings.logStart);
            stamp = std::to_string(static_cast<int>(elapsed)) + ":";
        }
        tabs.assign(gCore.log.indent, '\t');
    }
    // Text written after the encoding changed still matches the file.
    std::string converted;
    int encoding = CurrentStringEncoding();
    if (encoding != gCore.log.encoding)
        converted = ConvertEncoding(text, std::strlen(text), encoding, gCore.log.encoding, nullptr);
    WithLogFile("at", [&](std::FILE* file) {
        std::fputs(stamp.c_str(), file);
        std::fputs(tabs.c_str(), file);
        std::fputs(encoding != gCore.log.encoding ? converted.c_str() : text, file);
    });
    if (!tabs.empty()) PlatDebugOutput(tabs.c_str());
    PlatDebugOutput(text);
    gCore.log.lineOpen = text[std::strlen(text) - 1] != '\n';
    return -1;
}

namespace {

// One log line from `format`, cut at a whole character to fit, with the
// line break WriteLogFormat promises.
void FormatLine(char (&buffer)[FormatBufferSize], const char* format, va_list args) {
    // Leave room for the line break and the terminator.
    int length = std::vsnprintf(buffer, FormatBufferSize - 1, format, args);
    if (length < 0) length = 0;
    if (length > FormatBufferSize - 2)
        length = static_cast<int>(WholeCharactersLength(CurrentStringEncoding(), buffer, FormatBufferSize - 2));
    buffer[length] = '\n';
    buffer[length + 1] = '\0';
}

}  // namespace

int WriteLogFormat(const char* format, ...) {
    if (!format) return -1;
    char buffer[FormatBufferSize];
    va_list args;
    va_start(args, format);
    FormatLine(buffer, format, args);
    va_end(args);
    return WriteLogString(buffer);
}

void NoteFailure(const char* text) {
    if (!text) return;
    // The program shows the text on its own line: the log's line break and
    // the blank some lines end with are not part of it.
    size_t length = std::strlen(text);
    while (length > 0 && (text[length - 1] == '\n' || text[length - 1] == '\r' ||
                          text[length - 1] == ' '))
        --length;
    tLastFailure.assign(text, length);
}

int LogFailure(const char* text) {
    NoteFailure(text);
    return WriteLogString(text);
}

int LogFailureFormat(const char* format, ...) {
    if (!format) return -1;
    char buffer[FormatBufferSize];
    va_list args;
    va_start(args, format);
    FormatLine(buffer, format, args);
    va_end(args);
    return LogFailure(buffer);
}

int NoteBadArgument(const char* operation) {
    char buffer[FormatBufferSize];
    std::snprintf(buffer, sizeof buffer, SJIS("%s の引数が不正です"), operation);
    NoteFailure(buffer);
    return -1;
}

int GetLastErrorText(char* buffer, int size) {
    if (!buffer || size <= 0) return -1;
    int length = static_cast<int>(tLastFailure.size());
    if (length >= size) return -1;
    std::memcpy(buffer, tLastFailure.c_str(), static_cast<size_t>(length) + 1);
    return length;
}

int LogIndentIn() {
    if (gCore.log.opened) ++gCore.log.indent;
    return 0;
}

int LogIndentOut() {
    if (gCore.log.opened && gCore.log.indent > 0) --gCore.log.indent;
    return 0;
}
