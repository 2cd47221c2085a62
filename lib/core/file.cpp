// The file access layer: the table of nine operations every library file read
// goes through, and the default table over plain files on the disk.
#include "core/core.h"
#include "core/encoding.h"

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <limits>
#include <new>
#include <vector>

namespace fs = std::filesystem;

namespace {

// A file opened by the default table.
struct OpenFile {
    std::FILE* handle;  // the platform file
    uint32_t position;  // bytes from the start
    uint32_t size;      // bytes in the file
    int atEnd;          // a read found the position at the end
    OpenFile* next;     // the open-file list, newest first
};

struct FileLayerState {
    int custom;                 // a program-supplied table is installed
    FileAccessFunctions table;  // that table's copy
    OpenFile* openFiles;        // every file the default table has open
};

FileLayerState gFiles;

bool IsOpen(const OpenFile* file) {
    for (const OpenFile* entry = gFiles.openFiles; entry; entry = entry->next) {
        if (entry == file) return true;
    }
    return false;
}

// Only a Shift-JIS path has second bytes that look like letters or a
// backslash; every byte of a UTF-8 character is 0x80 or above.
bool IsPathLeadByte(uint8_t byte) {
    return CurrentStringEncoding() == EncodingShiftJis && IsShiftJisLeadByte(byte);
}

// Letter case is folded in one-byte characters only: the second byte of a
// two-byte character may look like a letter and is compared as it is.
bool SameLetters(const std::string& a, const std::string& b) {
    if (a.size() != b.size()) return false;
    auto lower = [](char c) { return c >= 'A' && c <= 'Z' ? char(c - 'A' + 'a') : c; };
    for (size_t i = 0; i < a.size(); ++i) {
        if (IsPathLeadByte(uint8_t(a[i])) && i + 1 < a.size()) {
            if (a[i] != b[i] || a[i + 1] != b[i + 1]) return false;
            ++i;
        } else if (lower(a[i]) != lower(b[i])) {
            return false;
        }
    }
    return true;
}

// Calls `visit` with the index of every separator of a path: each '/', and
// each backslash that is not the second byte of a two-byte character.
template <typename Visit>
void ForEachSeparator(const char* path, Visit visit) {
    for (size_t i = 0; path[i] != '\0'; ++i) {
        if (IsPathLeadByte(uint8_t(path[i]))) {
            if (path[i + 1] == '\0') return;
            ++i;
        } else if (path[i] == '/' || path[i] == '\\') {
            visit(i);
        }
    }
}

// The entry of `dir` whose name matches `name` in any letter case; when several
// do, the first in byte order, so that the choice does not depend on the disk.
bool FindFolded(const fs::path& dir, const std::string& name, std::string* found) {
    std::error_code error;
    fs::directory_iterator it(dir.empty() ? fs::path(".") : dir, error);
    if (error) return false;
    std::vector<std::string> matches;
    for (const fs::directory_entry& entry : it) {
        std::string candidate = entry.path().filename().string();
        if (SameLetters(candidate, name)) matches.push_back(candidate);
    }
    if (matches.empty()) return false;
    *found = *std::min_element(matches.begin(), matches.end());
    return true;
}

void* DefaultOpen(const char* path, int, int) {
    std::string resolved = ResolvePath(path);
    std::error_code error;
    if (!fs::is_regular_file(resolved, error)) return nullptr;
    uintmax_t size = fs::file_size(resolved, error);
    if (error || size > static_cast<uintmax_t>(std::numeric_limits<int32_t>::max())) return nullptr;
    std::FILE* handle = std::fopen(resolved.c_str(), "rb");
    if (!handle) return nullptr;
    OpenFile* file =
        new (std::nothrow) OpenFile{handle, 0, static_cast<uint32_t>(size), 0, gFiles.openFiles};
    if (!file) {
        std::fclose(handle);
        return nullptr;
    }
    gFiles.openFiles = file;
    return file;
}

int DefaultClose(void* handle) {
    OpenFile* file = static_cast<OpenFile*>(handle);
    if (!IsOpen(file)) return -1;
    OpenFile** link = &gFiles.openFiles;
    while (*link != file) link = &(*link)->next;
    *link = file->next;
    int result = std::fclose(file->handle) == 0 ? 0 : -1;
    delete file;
    return result;
}

int32_t DefaultTell(void* handle) {
    const OpenFile* file = static_cast<const OpenFile*>(handle);
    return IsOpen(file) ? static_cast<int32_t>(file->position) : -1;
}

int DefaultSeek(void* handle, int32_t offset, int origin) {
    OpenFile* file = static_cast<OpenFile*>(handle);
    if (!IsOpen(file)) return -1;
    int64_t target = origin == 0   ? offset
                     : origin == 1 ? int64_t(file->position) + offset
                     : origin == 2 ? int64_t(file->size) + offset
                                   : 0;
    if (target < 0 || target > std::numeric_limits<int32_t>::max()) return -1;
    if (std::fseek(file->handle, static_cast<long>(target), SEEK_SET) != 0) return -1;
    file->position = static_cast<uint32_t>(target);
    file->atEnd = 0;
    return 0;
}

size_t DefaultRead(void* buffer, size_t size, size_t count, void* handle) {
    OpenFile* file = static_cast<OpenFile*>(handle);
    if (!IsOpen(file)) return 0;
    if (file->position == file->size) {
        file->atEnd = 1;
        return 0;
    }
    if (size == 0 || file->position > file->size) return 0;
    count = std::min(count, (file->size - file->position) / size);
    size_t bytes = std::fread(buffer, 1, size * count, file->handle);
    file->position += static_cast<uint32_t>(bytes);
    return bytes / size;
}

int DefaultAtEnd(void* handle) {
    const OpenFile* file = static_cast<const OpenFile*>(handle);
    return IsOpen(file) ? file->atEnd : 0;
}

// Every read of the default table completes before it returns.
int DefaultIdle(void*) { return 1; }

int DefaultSetCurrentDir(const char* path) {
    std::error_code error;
    fs::current_path(ResolvePath(path), error);
    return error ? -1 : 0;
}

int DefaultGetCurrentDir(char* buffer) {
    std::error_code error;
    std::string path = fs::current_path(error).string();
    if (error || path.size() >= MaxPathLength) return -1;
    std::memcpy(buffer, path.c_str(), path.size() + 1);
    return 0;
}

constexpr FileAccessFunctions DefaultTable = {
    DefaultOpen, DefaultClose,  DefaultTell,          DefaultSeek,          DefaultRead,
    DefaultAtEnd, DefaultIdle, DefaultSetCurrentDir, DefaultGetCurrentDir,
};

}  // namespace

int SetFileAccessFunctions(const FileAccessFunctions* table) {
    // Every entry is called without a check wherever the library reads a
    // file, so a table with one missing is refused as a whole.
    if (table && !(table->open && table->close && table->tell && table->seek && table->read &&
                   table->atEnd && table->idle && table->setCurrentDir && table->getCurrentDir)) {
        WriteLogString(SJIS("ファイルアクセス関数のテーブルに空の項目があるため登録しません\n"));
        return -1;
    }
    gFiles.custom = table != nullptr;
    gFiles.table = table ? *table : FileAccessFunctions{};
    return 0;
}

int IsDefaultFileAccess() { return !gFiles.custom; }

// The default table's buffer holds MaxPathLength bytes; the folder itself
// may be longer, and then it is asked for directly.
int GetCurrentDirFull(std::string* out) {
    if (!gFiles.custom) {
        std::error_code error;
        fs::path path = fs::current_path(error);
        if (error) return -1;
        *out = path.string();
        return 0;
    }
    char buffer[MaxPathLength] = {};
    if (GetFileAccessFunctions()->getCurrentDir(buffer) != 0) return -1;
    *out = buffer;
    return 0;
}

const FileAccessFunctions* GetFileAccessFunctions() {
    return gFiles.custom ? &gFiles.table : &DefaultTable;
}

const FileAccessFunctions* DefaultFileAccessFunctions() { return &DefaultTable; }

// Asset names are written as on Windows: backslashes, and any letter case.
// An exact match on the disk always wins; otherwise each component is looked
// up in its folder without regard to ASCII letter case. A component that is
// not found ends the lookup and the rest is kept as written, so the result
// also names files about to be created.
std::string ResolvePath(const char* path) {
    std::string text = path;
    ForEachSeparator(path, [&](size_t i) { text[i] = '/'; });
    std::error_code error;
    if (text.empty() || fs::exists(fs::symlink_status(text, error))) return text;

    fs::path written(text);
    fs::path result = written.root_path();
    bool lost = false;
    for (const fs::path& part : written.relative_path()) {
        std::string name = part.string();
        if (lost || name.empty() || name == "." || name == "..") {
            result /= part;
            continue;
        }
        std::string found;
        if (fs::exists(fs::symlink_status(result / part, error))) {
            result /= part;
        } else if (FindFolded(result, name, &found)) {
            result /= found;
        } else {
            result /= part;
            lost = true;
        }
    }
    return result.string();
}

const char* LastPathSeparator(const char* path) {
    const char* last = nullptr;
    ForEachSeparator(path, [&](size_t i) { last = path + i; });
    return last;
}

bool FileOpens(const char* path) {
    const FileAccessFunctions* files = GetFileAccessFunctions();
    void* file = files->open(path, 0, 1);
    if (!file) return false;
    files->close(file);
    return true;
}
