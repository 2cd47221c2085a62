// Fonts from font files a program ships: the file is read whole through the
// file layer in force, so a font inside an archive opens like any other.
#include "text/font.h"

#include "core/core.h"
#include "graphics/decode_cursor.h"
#include "graphics/image.h"
#include "graphics/load.h"

#include <cstdlib>

namespace {

// Larger than the largest collection of CJK faces; a bigger "font" is
// some other file, and reading it whole would only waste memory.
constexpr uint32_t MaxFontFileBytes = 256u << 20;

// The whole file, from malloc, or null after logging why not.
uint8_t* ReadFontFile(const char* path, size_t* size) {
    ImageStream stream;
    if (OpenFileImageStream(path, &stream) != 0) {
        WriteLogFormat(SJIS("フォントファイル %s を開けませんでした"), path);
        return nullptr;
    }
    StreamCursor cursor;
    uint8_t* data = nullptr;
    if (OpenCursor(&stream, &cursor) && cursor.size > 0 && cursor.size <= MaxFontFileBytes) {
        data = static_cast<uint8_t*>(std::malloc(cursor.size));
        if (data && !ReadExact(&cursor, data, cursor.size)) {
            std::free(data);
            data = nullptr;
        }
    }
    CloseImageStream(&stream);
    if (!data) WriteLogFormat(SJIS("フォントファイル %s を読み込めませんでした"), path);
    *size = cursor.size;
    return data;
}

}  // namespace

int CreateFontFromFile(const char* path, int size, int thickness, int fontType) {
    if (!path || !GraphicsStarted()) return -1;
    size_t bytes = 0;
    uint8_t* data = ReadFontFile(path, &bytes);
    if (!data) return -1;
    return CreateFontFromSource({"", data, bytes}, size, thickness, fontType, FontCharSetShiftJis,
                                -1, -1);
}
