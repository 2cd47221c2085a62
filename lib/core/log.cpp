// AppLog.txt: the library's report of what it did, for the person who runs the
// program. The file is opened and closed for every text, so it is complete
// even when the program is killed.
#include "core/core.h"

#include <cstdarg>
#include <cstdio>
#include <cstring>

namespace {

constexpr const char* LogFileName = "AppLog.txt";
constexpr int FormatBufferSize = 1024;

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
        if (files->getCurrentDir(previous) == 0 && files->setCurrentDir(settings.libraryDir) == 0)
            switched = true;
        else
            name = std::string(settings.libraryDir) + "/" + LogFileName;  // no way back: stay put
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

int OpenLog() {
    if (gCore.settings.logDisabled) return 0;
    WithLogFile("wt", [](std::FILE*) {});
    gCore.log.indent = 0;
    gCore.log.lineOpen = 0;
    gCore.settings.logStart = GetTickMs(0);
    return 0;
}

// Returns -1 always, so that a failing operation can log and fail in one step.
int WriteLogString(const char* text) {
    if (gCore.settings.logDisabled || !gCore.settings.libraryDirRecorded) return -1;
    if (!text || !*text) return -1;  // nothing to add, not even a time stamp
    WithLogFile("at", [text](std::FILE* file) {
        if (!gCore.log.lineOpen) {
            if (!gCore.settings.logTimeStampsOff) {
                uint32_t elapsed = uint32_t(GetTickMs(0)) - uint32_t(gCore.settings.logStart);
                std::fprintf(file, "%d:", static_cast<int>(elapsed));
            }
            for (int i = 0; i < gCore.log.indent; ++i) {
                std::fputc('\t', file);
                PlatDebugOutput("\t");
            }
        }
        std::fputs(text, file);
        PlatDebugOutput(text);
        gCore.log.lineOpen = text[std::strlen(text) - 1] != '\n';
    });
    return -1;
}

int WriteLogFormat(const char* format, ...) {
    char buffer[FormatBufferSize];
    va_list args;
    va_start(args, format);
    // Leave room for the line break and the terminator.
    int length = std::vsnprintf(buffer, FormatBufferSize - 1, format, args);
    va_end(args);
    if (length < 0) length = 0;
    if (length > FormatBufferSize - 2) length = FormatBufferSize - 2;
    buffer[length] = '\n';
    buffer[length + 1] = '\0';
    return WriteLogString(buffer);
}

int LogIndentIn() {
    if (gCore.log.opened) ++gCore.log.indent;
    return 0;
}

int LogIndentOut() {
    if (gCore.log.opened && gCore.log.indent > 0) --gCore.log.indent;
    return 0;
}
