// Image streams over files (through the file layer) and over memory, and the
// bounded cursor the decoders read them with.
#include "graphics/decode_cursor.h"
#include "graphics/image.h"
#include "tessel/graphics.h"

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <limits>

namespace {

int32_t MemoryTell(void* context) {
    return static_cast<int32_t>(static_cast<MemoryStream*>(context)->position);
}

int MemorySeek(void* context, int32_t offset, int origin) {
    MemoryStream* memory = static_cast<MemoryStream*>(context);
    int64_t target = origin == 0   ? offset
                     : origin == 1 ? int64_t(memory->position) + offset
                     : origin == 2 ? int64_t(memory->size) + offset
                                   : 0;
    if (target < 0 || target > int64_t(memory->size)) return -1;
    memory->position = static_cast<uint32_t>(target);
    memory->atEnd = 0;
    return 0;
}

size_t MemoryRead(void* buffer, size_t size, size_t count, void* context) {
    MemoryStream* memory = static_cast<MemoryStream*>(context);
    if (memory->position == memory->size) {
        memory->atEnd = 1;
        return 0;
    }
    if (size == 0) return 0;
    count = std::min(count, (memory->size - memory->position) / size);
    std::memcpy(buffer, memory->data + memory->position, size * count);
    memory->position += static_cast<uint32_t>(size * count);
    return count;
}

int MemoryAtEnd(void* context) { return static_cast<MemoryStream*>(context)->atEnd; }

// Memory never has a read in flight, and owns nothing to close.
int MemoryIdle(void*) { return 1; }
int MemoryClose(void*) { return 0; }

}  // namespace

int OpenFileImageStream(const char* path, ImageStream* stream) {
    const FileAccessFunctions* files = GetFileAccessFunctions();
    void* file = files->open(path, 0, 1);
    if (!file) {
        *stream = {};
        return -1;
    }
    *stream = {files->tell, files->seek, files->read, files->atEnd,
               files->idle, files->close, file};
    return 0;
}

void OpenMemoryImageStream(const void* data, size_t size, MemoryStream* memory,
                           ImageStream* stream) {
    // Positions are 32-bit signed, as the file layer's are.
    size = std::min<size_t>(size, std::numeric_limits<int32_t>::max());
    *memory = {static_cast<const uint8_t*>(data), static_cast<uint32_t>(size), 0, 0};
    *stream = {MemoryTell, MemorySeek, MemoryRead, MemoryAtEnd, MemoryIdle, MemoryClose, memory};
}

int CloseImageStream(ImageStream* stream) {
    int result = stream->close ? stream->close(stream->context) : -1;
    *stream = {};
    return result;
}

bool OpenCursor(ImageStream* stream, StreamCursor* cursor) {
    *cursor = {stream, 0, 0};
    if (stream->seek(stream->context, 0, 2) != 0) return false;
    int32_t size = stream->tell(stream->context);
    if (size < 0 || stream->seek(stream->context, 0, 0) != 0) return false;
    cursor->size = static_cast<uint32_t>(size);
    return true;
}

bool ReadExact(StreamCursor* cursor, void* buffer, uint64_t count) {
    if (count > Remaining(*cursor)) return false;
    ImageStream* stream = cursor->stream;
    uint8_t* out = static_cast<uint8_t*>(buffer);
    uint64_t done = 0;
    while (done < count) {
        size_t got = stream->read(out + done, 1, static_cast<size_t>(count - done), stream->context);
        if (got == 0) break;
        done += got;
    }
    if (done == count) {
        cursor->position += static_cast<uint32_t>(count);
        return true;
    }
    // Put the stream back where the cursor says it is.
    stream->seek(stream->context, static_cast<int32_t>(cursor->position), 0);
    return false;
}

bool SeekCursor(StreamCursor* cursor, uint64_t offset) {
    if (offset > cursor->size) return false;
    ImageStream* stream = cursor->stream;
    if (stream->seek(stream->context, static_cast<int32_t>(offset), 0) != 0) return false;
    cursor->position = static_cast<uint32_t>(offset);
    return true;
}

bool CheckedProduct(uint64_t a, uint64_t b, uint64_t c, uint64_t limit, uint64_t* out) {
    // Each factor is checked against the limit first, so no product can wrap.
    if (a > limit || b > limit || c > limit) return false;
    if (a != 0 && b > limit / a) return false;
    uint64_t ab = a * b;
    if (ab != 0 && c > limit / ab) return false;
    *out = ab * c;
    return true;
}

uint8_t* AllocatePixels(uint64_t bytes) {
    if (bytes == 0 || bytes > MaxImageBytes) return nullptr;
    return static_cast<uint8_t*>(std::malloc(static_cast<size_t>(bytes)));
}
