// A file layer for the fuzzers that serves the input's bytes for the paths
// it accepts, through memory streams, so that the loaders read the input as
// they would a file.
#ifndef TESSEL_FUZZ_MEMORY_FILES_H
#define TESSEL_FUZZ_MEMORY_FILES_H

#include "graphics/image.h"
#include "tessel.h"

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <new>

namespace fuzzfiles {

struct Served {
    const uint8_t* data;
    size_t size;
    bool (*accepts)(const char* path);  // null: every path
};

inline Served gServed;

struct OpenInput {
    MemoryStream memory;
    ImageStream stream;
};

inline ImageStream* StreamOf(void* file) { return &static_cast<OpenInput*>(file)->stream; }

inline void* Open(const char* path, int, int) {
    if (gServed.accepts && !gServed.accepts(path)) return nullptr;
    auto* file = new (std::nothrow) OpenInput{};
    if (file) OpenMemoryImageStream(gServed.data, gServed.size, &file->memory, &file->stream);
    return file;
}
inline int Close(void* file) {
    delete static_cast<OpenInput*>(file);
    return 0;
}
inline int32_t Tell(void* file) { return StreamOf(file)->tell(StreamOf(file)->context); }
inline int Seek(void* file, int32_t offset, int origin) {
    return StreamOf(file)->seek(StreamOf(file)->context, offset, origin);
}
inline size_t Read(void* buffer, size_t size, size_t count, void* file) {
    return StreamOf(file)->read(buffer, size, count, StreamOf(file)->context);
}
inline int AtEnd(void* file) { return StreamOf(file)->atEnd(StreamOf(file)->context); }
inline int Idle(void*) { return 1; }
inline int SetCurrentDir(const char*) { return 0; }
inline int GetCurrentDir(char* buffer) {
    buffer[0] = '\0';
    return 0;
}

inline const FileAccessFunctions Table = {Open, Close, Tell, Seek, Read,
                                          AtEnd, Idle, SetCurrentDir, GetCurrentDir};

}  // namespace fuzzfiles

// Serves `size` bytes at `data` (kept alive by the caller) for every path
// `accepts` takes, or every path when it is null, and installs the layer.
inline void ServeFuzzInput(const uint8_t* data, size_t size, bool (*accepts)(const char*)) {
    fuzzfiles::gServed = {data, size, accepts};
    SetFileAccessFunctions(&fuzzfiles::Table);
}

// Starts the library headless, with no scripted input, no sound capture and
// no log: every failed load logs a line, and millions of them are not worth
// a file.
inline void StartFuzzLibrary() {
    setenv("TESSEL_PLATFORM", "headless", 1);
    unsetenv("TESSEL_INPUT");
    unsetenv("TESSEL_AUDIO_OUT");
    SetLogEnabled(0);
    if (InitLibrary() != 0) std::abort();
}

#endif
