// Image streams over memory and over the file layer, the choice of decoder
// by content, loading files, and image files drawn into platform bitmaps.
#include "graphics/image.h"
#include "graphics/bitmap.h"
#include "support/harness.h"
#include "support/image_files.h"
#include "tessel.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <utility>

namespace {

void WriteBytes(const std::string& path, const Bytes& bytes) {
    WriteFile(path, std::string(bytes.begin(), bytes.end()));
}

TEST(MemoryImageStream, ReadsSeeksAndTheEndFlagBehaveAsTheFileLayers) {
    const uint8_t data[] = {'0', '1', '2', '3', '4', '5', '6', '7', '8', '9'};
    MemoryStream memory;
    ImageStream stream;
    OpenMemoryImageStream(data, sizeof data, &memory, &stream);
    char buffer[16] = {};

    EXPECT_EQ(stream.read(buffer, 4, 5, stream.context), 2u);  // whole items only
    EXPECT_EQ(std::string(buffer, 8), "01234567");
    EXPECT_EQ(stream.tell(stream.context), 8);
    EXPECT_EQ(stream.read(buffer, 1, 2, stream.context), 2u);
    EXPECT_EQ(stream.atEnd(stream.context), 0);
    EXPECT_EQ(stream.read(buffer, 1, 1, stream.context), 0u);
    EXPECT_EQ(stream.atEnd(stream.context), 1);

    EXPECT_EQ(stream.seek(stream.context, -3, 2), 0);
    EXPECT_EQ(stream.atEnd(stream.context), 0);
    EXPECT_EQ(stream.tell(stream.context), 7);
    EXPECT_EQ(stream.seek(stream.context, 2, 1), 0);
    EXPECT_EQ(stream.tell(stream.context), 9);
    EXPECT_EQ(stream.seek(stream.context, 11, 0), -1);
    EXPECT_EQ(stream.seek(stream.context, -1, 0), -1);
    EXPECT_EQ(stream.tell(stream.context), 9);
    EXPECT_EQ(stream.idle(stream.context), 1);
    EXPECT_EQ(CloseImageStream(&stream), 0);
}

// The decoder that owns each sample's format, by its name's extension.
using Decoder = int (*)(ImageStream*, GraphImage*);
Decoder DecoderFor(const std::string& name) {
    std::string extension = name.substr(name.rfind('.') + 1);
    if (extension == "bmp") return DecodeBmp;
    if (extension == "jpg") return DecodeJpeg;
    if (extension == "png") return DecodePng;
    if (extension == "bgra") return DecodeBgra;
    if (extension == "tga") return DecodeTga;
    return DecodeDds;
}

// Every sample decodes through DecodeImageStream to what its own decoder
// makes of it (no earlier decoder takes it), starting from a stream that
// was left mid-way.
TEST(DecodeImageStream, EachFormatIsFoundByItsContentFromOffsetZero) {
    for (const auto& [name, bytes] : SampleFiles()) {
        SCOPED_TRACE(name);
        MemoryStream memory;
        ImageStream stream;
        OpenMemoryImageStream(bytes.data(), bytes.size(), &memory, &stream);
        GraphImage own;
        ASSERT_EQ(DecoderFor(name)(&stream, &own), 0);
        uint8_t skipped[5];
        stream.seek(stream.context, 0, 0);
        stream.read(skipped, 1, 5, stream.context);
        GraphImage image;
        ASSERT_EQ(DecodeImageStream(&stream, &image), 0);
        EXPECT_EQ(image.width, own.width);
        EXPECT_EQ(image.height, own.height);
        EXPECT_EQ(image.pitch, own.pitch);
        EXPECT_EQ(std::memcmp(image.pixels, own.pixels, size_t(image.pitch) * image.height), 0);
        FreeGraphImagePixels(&own);
        FreeGraphImagePixels(&image);
        EXPECT_EQ(image.pixels, nullptr);
        EXPECT_EQ(image.width, 0);
        EXPECT_EQ(image.format.ColorBitDepth, 0);
    }
}

TEST(DecodeImageStream, DataNoDecoderTakesLeavesAnEmptyRecord) {
    Bytes junk(300, 0x5A);
    GraphImage image;
    std::memset(&image, 0xCC, sizeof image);
    EXPECT_EQ(DecodeBytes(junk, &image), -1);
    EXPECT_EQ(image.pixels, nullptr);
    EXPECT_EQ(image.width, 0);
    EXPECT_EQ(DecodeBytes({}, &image), -1);
}

// Photographs of ordinary sizes pass the decoders' bounds: an 8000 x 6000
// colour image and a 4000 x 4000 progressive JPEG, whose decoder keeps every
// coefficient of the image at once.
TEST(DecodeImageStream, PhotographSizedImagesDecode) {
    struct Case {
        const char* name;
        int width, height;
        bool jpeg;
    };
    for (Case c : {Case{"png", 8000, 6000, false}, Case{"progressive jpeg", 4000, 4000, true}}) {
        Picture picture;
        picture.width = c.width;
        picture.height = c.height;
        picture.argb.resize(size_t(c.width) * c.height);
        for (int y = 0; y < c.height; ++y)
            for (int x = 0; x < c.width; ++x)
                picture.argb[size_t(y) * c.width + x] = 0xFF000000 | uint32_t(x / 500 * 16) << 16 |
                                                        uint32_t(y / 500 * 16) << 8 | 0x40;
        Bytes file = c.jpeg ? JpegFile(picture, false, 90, true) : PngFile(picture, 2, 8, false);
        GraphImage image{};
        ASSERT_EQ(DecodeBytes(file, &image), 0) << c.name;
        EXPECT_EQ(image.width, c.width);
        EXPECT_EQ(image.height, c.height);
        for (auto [x, y] : {std::pair{0, 0}, std::pair{c.width - 1, c.height - 1}}) {
            uint32_t got = DecodedArgb(image, x, y), want = picture.At(x, y);
            for (int shift : {0, 8, 16})
                EXPECT_NEAR(int(got >> shift & 0xFF), int(want >> shift & 0xFF), 4)
                    << c.name << " at " << x << "," << y;
        }
        FreeGraphImagePixels(&image);
    }
}

TEST(LoadImageFile, APngNamedBmpDecodesAsPng) {
    ScratchDir scratch;
    Picture picture = Gradient(6, 5, true);
    WriteBytes("picture.bmp", PngFile(picture, 6, 8, false));
    GraphImage image;
    ASSERT_EQ(LoadImageFile("picture.bmp", &image), 0);
    EXPECT_EQ(image.format.ColorBitDepth, 32);
    EXPECT_EQ(image.format.alphaMask, 0xFF000000u);
    EXPECT_EQ(DecodedArgb(image, 5, 4), picture.At(5, 4));
    FreeGraphImagePixels(&image);

    EXPECT_EQ(LoadImageFile("missing.png", &image), -1);
    EXPECT_EQ(image.pixels, nullptr);
}

// A program's own file table serves the file: the loader reads through it.
const Bytes* gServed;
struct ServedFile {
    MemoryStream memory;
    ImageStream stream;
};
ServedFile gFile;
int gOpens, gCloses;

void* ServedOpen(const char* path, int, int) {
    if (std::string(path) != "archive:sprite") return nullptr;
    ++gOpens;
    OpenMemoryImageStream(gServed->data(), gServed->size(), &gFile.memory, &gFile.stream);
    return &gFile.memory;
}
int ServedClose(void*) { return ++gCloses, 0; }

TEST(LoadImageFile, ReadsThroughTheFileTableInForce) {
    Bytes bytes = TgaOf(Gradient(4, 3, false), 24, 0x20, true, false);
    gServed = &bytes;
    OpenMemoryImageStream(bytes.data(), bytes.size(), &gFile.memory, &gFile.stream);
    const FileAccessFunctions* disk = GetFileAccessFunctions();
    FileAccessFunctions table = {ServedOpen,         ServedClose,         gFile.stream.tell,
                                 gFile.stream.seek,  gFile.stream.read,   gFile.stream.atEnd,
                                 gFile.stream.idle,  disk->setCurrentDir, disk->getCurrentDir};
    ASSERT_EQ(SetFileAccessFunctions(&table), 0);
    GraphImage image;
    EXPECT_EQ(LoadImageFile("archive:sprite", &image), 0);
    EXPECT_EQ(image.width, 4);
    EXPECT_EQ(DecodedArgb(image, 3, 2), Gradient(4, 3, false).At(3, 2));
    EXPECT_EQ(gOpens, 1);
    EXPECT_EQ(gCloses, 1);
    FreeGraphImagePixels(&image);
    EXPECT_EQ(LoadImageFile("sprite.tga", &image), -1);
    SetFileAccessFunctions(nullptr);
}

// The bitmap is 24 bits a pixel, top-down, rows padded to 4 bytes, whatever
// the file's own format.
TEST(CreateDIBGraph, DrawsAnyImageFileIntoATopDown24BitBitmap) {
    ScratchDir scratch;
    Picture colour = Gradient(5, 3, true);
    Picture grey = GreyGradient(5, 3);
    WriteBytes("rgba.png", PngFile(colour, 6, 8, false));
    WriteBytes("grey.png", PngFile(grey, 0, 8, false));
    WriteBytes("bgr.bmp", BmpOf(colour, 24, false));
    const uint32_t argb[4] = {0xFF0000, 0xFF00, 0xFF, 0xFF000000};
    DdsSpec dds;
    dds.width = 5;
    dds.height = 3;
    dds.formatFlags = 0x41;
    std::memcpy(dds.masks, argb, sizeof argb);
    dds.data = PackByMasks(colour, 32, argb);
    WriteBytes("argb.dds", DdsFile(dds));

    for (const char* name : {"rgba.png", "grey.png", "bgr.bmp", "argb.dds"}) {
        SCOPED_TRACE(name);
        const Picture& picture = std::string(name) == "grey.png" ? grey : colour;
        PlatBitmap* bitmap = CreateDIBGraph(name);
        ASSERT_NE(bitmap, nullptr);
        EXPECT_EQ(bitmap->width, 5);
        EXPECT_EQ(bitmap->height, 3);
        EXPECT_EQ(bitmap->pitch, 16);
        for (int y = 0; y < 3; ++y) {
            for (int x = 0; x < 5; ++x) {
                const uint8_t* p = bitmap->bits + y * bitmap->pitch + x * 3;
                uint32_t rgb = uint32_t(p[2]) << 16 | p[1] << 8 | p[0];
                EXPECT_EQ(rgb, picture.At(x, y) & 0xFFFFFF) << x << ", " << y;
            }
        }
        PlatFreeBitmap(bitmap);
    }
    EXPECT_EQ(CreateDIBGraph("missing.bmp"), nullptr);
}

}  // namespace
