// Choosing a decoder for a stream, loading image files, and turning an image
// file into a platform bitmap.
#include "graphics/decode_cursor.h"
#include "graphics/image.h"
#include "core/core.h"
#include "graphics/bitmap.h"

#include <cstdlib>
#include <cstring>
#include <string_view>

namespace {

using Decoder = int (*)(ImageStream*, GraphImage*);

// The data alone decides: each decoder refuses foreign data at its magic or
// header test, so the order only matters for data two of them would take.
constexpr Decoder Decoders[] = {DecodeBmp, DecodeJpeg, DecodePng, DecodeBgra, DecodeTga, DecodeDds};

// An image as a DIB: rows padded to 4 bytes, a grey colour table for 8-bit
// images, and masks for every deeper format but plain 24-bit.
struct DibCopy {
    PlatDib dib;
    uint8_t* bits;          // the padded rows, owned
    uint8_t palette[1024];  // 256 entries of blue, green, red, reserved
};

bool MakeDibCopy(const GraphImage& image, DibCopy* copy) {
    const ColorFormat& format = image.format;
    int bitCount = format.ColorBitDepth;
    uint64_t rowBytes = uint64_t(image.width) * format.bytesPerPixel;
    uint64_t rowSize = (rowBytes + 3) & ~uint64_t(3);
    copy->bits = AllocatePixels(rowSize * uint64_t(image.height));
    if (!copy->bits) {
        WriteLogString(SJIS("メモリの確保に失敗しました in CreateDIBGraph \n"));
        return false;
    }
    for (int32_t y = 0; y < image.height; ++y) {
        uint8_t* row = copy->bits + rowSize * uint64_t(y);
        std::memcpy(row, image.pixels + int64_t(image.pitch) * y, rowBytes);
        std::memset(row + rowBytes, 0, rowSize - rowBytes);
    }
    for (int i = 0; i < 256; ++i) {
        uint32_t colour = ImageTableColor(&format, i);
        copy->palette[i * 4 + 0] = uint8_t(colour);
        copy->palette[i * 4 + 1] = uint8_t(colour >> 8);
        copy->palette[i * 4 + 2] = uint8_t(colour >> 16);
        copy->palette[i * 4 + 3] = 0;
    }
    copy->dib = {image.width,
                 -image.height,
                 bitCount,
                 bitCount == 16 || bitCount == 32 ? DibBitFields : DibRgb,
                 {format.redMask, format.greenMask, format.blueMask},
                 copy->palette,
                 bitCount == 8 ? 256 : 0,
                 copy->bits,
                 static_cast<size_t>(rowSize * uint64_t(image.height))};
    return true;
}

}  // namespace

uint32_t ImageTableColor(const ColorFormat* format, int value) {
    // The value reads as each channel its mask covers.
    auto channel = [&](uint32_t mask, int shift, int bits) {
        if (bits == 0) return 0u;
        uint32_t part = (uint32_t(value) & mask) >> shift;
        return part * 255 / ((1u << bits) - 1);
    };
    return channel(format->redMask, format->redShift, format->redBits) << 16 |
           channel(format->greenMask, format->greenShift, format->greenBits) << 8 |
           channel(format->blueMask, format->blueShift, format->blueBits);
}

void FreeGraphImagePixels(GraphImage* image) {
    std::free(image->pixels);
    *image = {};
}

int DecodeImageStream(ImageStream* stream, GraphImage* image) {
    for (Decoder decoder : Decoders) {
        if (stream->seek(stream->context, 0, 0) != 0) break;
        if (decoder(stream, image) == 0) return 0;
    }
    *image = {};
    return -1;
}

int LoadImageFile(const char* path, GraphImage* image) {
    *image = {};
    ImageStream stream;
    if (OpenFileImageStream(path, &stream) != 0) return -1;
    int result = DecodeImageStream(&stream, image);
    CloseImageStream(&stream);
    return result;
}

int HasImageSignature(const char* path) {
    static const std::string_view Heads[] = {"BM", "\xFF\xD8\xFF", "\x89PNG\r\n\x1A\n", "BGRA",
                                             "DDS "};
    static const std::string_view TgaFooter{"TRUEVISION-XFILE.\0", 18};
    ImageStream stream;
    if (OpenFileImageStream(path, &stream) != 0) return 0;
    char head[8] = {}, foot[18] = {};
    size_t got = stream.read(head, 1, sizeof head, stream.context);
    bool found = false;
    for (std::string_view sig : Heads)
        found |= got >= sig.size() && std::string_view(head, sig.size()) == sig;
    if (!found && stream.seek(stream.context, -int32_t{sizeof foot}, 2) == 0)
        found = stream.read(foot, 1, sizeof foot, stream.context) == sizeof foot &&
                std::string_view(foot, sizeof foot) == TgaFooter;
    CloseImageStream(&stream);
    return found ? 1 : 0;
}

PlatBitmap* CreateDIBGraph(const char* path) {
    GraphImage image;
    if (LoadImageFile(path, &image) != 0) return nullptr;
    DibCopy* copy = static_cast<DibCopy*>(std::malloc(sizeof(DibCopy)));
    if (!copy) {
        WriteLogString(SJIS("メモリの確保に失敗しました in CreateDIBGraph \n"));
        FreeGraphImagePixels(&image);
        return nullptr;
    }
    PlatBitmap* bitmap = nullptr;
    if (MakeDibCopy(image, copy)) {
        bitmap = PlatCreateBitmap24(image.width, image.height);
        if (!bitmap) {
            WriteLogString(SJIS("ＤＩＢの作成に失敗しました3\n"));
        } else if (PlatDrawDib(bitmap, &copy->dib) != 0) {
            WriteLogString(SJIS("ＤＩＢの作成に失敗しました5\n"));
            PlatFreeBitmap(bitmap);
            bitmap = nullptr;
        }
        std::free(copy->bits);
    }
    std::free(copy);
    FreeGraphImagePixels(&image);
    return bitmap;
}
