// Loading image files into graphs on the headless platform: conversion into
// the screen's format, the "_a" alpha files and PNG alpha, where surfaces
// are made, the failures and their log lines, and graphs reloaded from
// their files after the display was lost.
#include "core/core.h"
#include "draw/screen.h"
#include "graphics/color.h"
#include "graphics/graph.h"
#include "graphics/image.h"
#include "graphics/load.h"
#include "platform/device/headless/headless.h"
#include "support/harness.h"
#include "support/image_files.h"
#include "tessel.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <filesystem>
#include <set>
#include <string>

namespace {

void WriteBytes(const std::string& path, const Bytes& bytes) {
    WriteFile(path, std::string(bytes.begin(), bytes.end()));
}

SurfaceDataRecord* SurfaceOf(int graph) {
    GraphRecord* record = GetGraphRecord(graph);
    return record ? GetSurfaceDataRecord(GetBmpDataRecord(record->pieces[0])->surface) : nullptr;
}

uint32_t Pixel16(int graph, int x, int y) {
    PlatSurface* s = SurfaceOf(graph)->surface;
    const uint8_t* p = s->pixels + y * s->pitch + x * 2;
    return p[0] | p[1] << 8;
}

// Black, white, red, green in the top row; greys below.
Picture Sample() {
    Picture p;
    p.width = 4;
    p.height = 2;
    p.argb = {0xFF000000, 0xFFFFFFFF, 0xFFFF0000, 0xFF00FF00,
              0xFF101010, 0xFF808080, 0xFFC0C0C0, 0xFF0000FF};
    return p;
}

// An alpha picture whose red differs from its green and blue, so that only
// the red channel can give the expected plane.
Picture AlphaSample(int width, int height) {
    Picture p;
    p.width = width;
    p.height = height;
    for (int i = 0; i < width * height; ++i) {
        uint32_t red = uint32_t(i * 37 + 5) & 0xFF;
        p.argb.push_back(0xFF000000 | red << 16 | 0x00AA55);
    }
    return p;
}

using LoadTest = LibraryTest;

// ---------------------------------------------------------------------------
// Conversion and alpha
// ---------------------------------------------------------------------------

TEST_F(LoadTest, ATwentyFourBitImageTakesTheScreenFormatWithBlackAsTheKey) {
    WriteBytes("pic.bmp", BmpOf(Sample(), 24, false));
    Start();
    int graph = LoadGraphFile("pic.bmp");
    ASSERT_GE(graph, 0);
    int width = 0, height = 0;
    GetGraphDimensions(graph, &width, &height);
    EXPECT_EQ(width, 4);
    EXPECT_EQ(height, 2);
    EXPECT_EQ(Pixel16(graph, 0, 0), 0x0000u);
    EXPECT_EQ(Pixel16(graph, 1, 0), 0xFFFFu);
    EXPECT_EQ(Pixel16(graph, 2, 0), 0xF800u);
    EXPECT_EQ(Pixel16(graph, 3, 0), 0x07E0u);
    EXPECT_EQ(Pixel16(graph, 3, 1), 0x001Fu);
    uint32_t key = 1;
    EXPECT_EQ(PlatGetColorKey(SurfaceOf(graph)->surface, &key), 0);
    EXPECT_EQ(key, 0u);
    GraphRecord* record = GetGraphRecord(graph);
    EXPECT_EQ(record->params.AlphaChFlag, 0);
    EXPECT_EQ(record->params.ColorBitDepth, 16);
    EXPECT_EQ(SurfaceOf(graph)->alphaBuffer, nullptr);
    EXPECT_STREQ(record->fileName, "pic.bmp");
    EXPECT_EQ(std::filesystem::path(record->directory), std::filesystem::current_path());
}

TEST_F(LoadTest, AnAlphaFileGivesAPlaneOfItsRedChannel) {
    WriteBytes("pic.bmp", BmpOf(Sample(), 24, false));
    Picture alpha = AlphaSample(4, 2);
    WriteBytes("pic_a.bmp", BmpOf(alpha, 24, false));
    Start();
    int graph = LoadGraphFile("pic.bmp");
    ASSERT_GE(graph, 0);
    GraphRecord* record = GetGraphRecord(graph);
    EXPECT_EQ(record->params.AlphaChFlag, 1);
    EXPECT_EQ(record->params.ColorBitDepth, 32);
    SurfaceDataRecord* surface = SurfaceOf(graph);
    ASSERT_NE(surface->alphaBuffer, nullptr);
    for (int y = 0; y < 2; ++y)
        for (int x = 0; x < 4; ++x)
            EXPECT_EQ(surface->alphaBuffer[y * surface->alphaPitch + x], alpha.At(x, y) >> 16 & 0xFF)
                << x << "," << y;
    // The colours still come from the image itself.
    EXPECT_EQ(Pixel16(graph, 2, 0), 0xF800u);
}

TEST_F(LoadTest, APngAlphaChannelBecomesThePlane) {
    Picture picture = Gradient(9, 5, true);
    WriteBytes("sprite.png", PngFile(picture, 6, 8, false));
    Start();
    int graph = LoadGraphFile("sprite.png");
    ASSERT_GE(graph, 0);
    EXPECT_EQ(GetGraphRecord(graph)->params.AlphaChFlag, 1);
    SurfaceDataRecord* surface = SurfaceOf(graph);
    ASSERT_NE(surface->alphaBuffer, nullptr);
    for (int y = 0; y < 5; ++y)
        for (int x = 0; x < 9; ++x) {
            uint32_t argb = picture.At(x, y);
            EXPECT_EQ(surface->alphaBuffer[y * surface->alphaPitch + x], argb >> 24);
            uint32_t r = argb >> 16 & 0xFF, g = argb >> 8 & 0xFF, b = argb & 0xFF;
            EXPECT_EQ(Pixel16(graph, x, y), (r >> 3) << 11 | (g >> 2) << 5 | b >> 3);
        }
}

TEST_F(LoadTest, AnImageWithoutAlphaGetsAnOpaquePlaneWhenTheGraphHasOne) {
    Start();
    int graph = CreateEmptyGraph(3, 2, 1, 1);
    GraphImage image{};
    ASSERT_EQ(DecodeBytes(BmpOf(Sample(), 24, false), &image), 0);
    ASSERT_EQ(CopyImageToGraph(graph, &image, nullptr, 1, 0), 0);
    SurfaceDataRecord* surface = SurfaceOf(graph);
    for (int i = 0; i < 6; ++i) EXPECT_EQ(surface->alphaBuffer[i], 255);
    // Copied from the source position (1, 0) on.
    EXPECT_EQ(surface->surface->format.ColorBitDepth, 16);
    EXPECT_EQ(Pixel16(graph, 0, 0), 0xFFFFu);
    EXPECT_EQ(Pixel16(graph, 2, 1), 0x001Fu);
    FreeGraphImagePixels(&image);
}

// Every kind of file lands on an 8-bit screen as the palette values of the
// colours it decodes to; grey images through their grey colour table.
TEST_F(LoadTest, AnEightBitScreenTakesPaletteValuesOfEveryKindOfImage) {
    Picture grey = GreyGradient(16, 8);
    struct Case {
        const char* name;
        Bytes file;
    };
    const Case cases[] = {
        {"true.bmp", BmpOf(Sample(), 24, false)},
        {"palette.bmp", BmpOf(Indexed(6, 3, 5), 8, false)},
        {"palette.png", PngPaletteFile(Indexed(6, 3, 5), 8, false)},
        {"grey.png", PngFile(grey, 0, 8, false)},
        {"grey.jpg", JpegFile(grey, true, 95)},
        {"true.jpg", JpegFile(Gradient(16, 8, false), false, 95)},
    };
    for (const Case& c : cases) WriteBytes(c.name, c.file);
    Start();
    ASSERT_EQ(SetScreenMode(640, 480, 8, 0), 0);
    for (const Case& c : cases) {
        GraphImage image{};
        ASSERT_EQ(DecodeBytes(c.file, &image), 0) << c.name;
        int graph = LoadGraphFile(c.name);
        ASSERT_GE(graph, 0) << c.name;
        PlatSurface* surface = SurfaceOf(graph)->surface;
        std::set<int> values;
        for (int y = 0; y < image.height; ++y)
            for (int x = 0; x < image.width; ++x) {
                uint32_t argb = DecodedArgb(image, x, y);
                uint32_t expected =
                    MakeColor(int(argb >> 16 & 0xFF), int(argb >> 8 & 0xFF), int(argb & 0xFF));
                ASSERT_EQ(surface->pixels[y * surface->pitch + x], expected)
                    << c.name << " at " << x << "," << y;
                values.insert(int(expected));
            }
        EXPECT_GT(values.size(), 2u) << c.name;
        FreeGraphImagePixels(&image);
    }
}

// ---------------------------------------------------------------------------
// Where the surface is made, and the alpha file's name
// ---------------------------------------------------------------------------

TEST_F(LoadTest, AnImageWiderThanTheScreenLandsInSystemMemory) {
    Picture wide = Gradient(641, 2, false);
    Picture fits = Gradient(640, 2, false);
    WriteBytes("wide.bmp", BmpOf(wide, 24, false));
    WriteBytes("fits.bmp", BmpOf(fits, 24, false));
    Start();
    int a = LoadGraphFile("wide.bmp");
    int b = LoadGraphFile("fits.bmp");
    ASSERT_GE(a, 0);
    ASSERT_GE(b, 0);
    EXPECT_EQ(SurfaceOf(a)->surface->systemMemory, 1);
    EXPECT_EQ(SurfaceOf(b)->surface->systemMemory, 0);
}

TEST_F(LoadTest, APathWithoutADotLooksForItsAlphaFileWithUnderscoreAAppended) {
    std::filesystem::create_directory("art");
    WriteBytes("art/pic", BmpOf(Sample(), 24, false));
    WriteBytes("art/pic_a", BmpOf(AlphaSample(4, 2), 24, false));
    Start();
    int graph = LoadGraphFile("art/pic");
    ASSERT_GE(graph, 0);
    EXPECT_EQ(GetGraphRecord(graph)->params.AlphaChFlag, 1);
    EXPECT_EQ(SurfaceOf(graph)->alphaBuffer[1], AlphaSample(4, 2).At(1, 0) >> 16 & 0xFF);
}

TEST(AlphaFileName, UnderscoreAGoesBeforeTheLastDot) {
    char name[64];
    AlphaFileName("data\\menu.png", name, sizeof name);
    EXPECT_STREQ(name, "data\\menu_a.png");
    AlphaFileName("archive.tar.gz", name, sizeof name);
    EXPECT_STREQ(name, "archive.tar_a.gz");
    AlphaFileName("noext", name, sizeof name);
    EXPECT_STREQ(name, "noext_a");
    AlphaFileName("v1.2/pic", name, sizeof name);
    EXPECT_STREQ(name, "v1_a.2/pic");
}

// ---------------------------------------------------------------------------
// Failures
// ---------------------------------------------------------------------------

TEST_F(LoadTest, AnAlphaFileOfAnotherSizeFailsSilently) {
    WriteBytes("pic.bmp", BmpOf(Sample(), 24, false));
    WriteBytes("pic_a.bmp", BmpOf(AlphaSample(3, 2), 24, false));
    Start();
    std::string before = ReadLogUtf8();
    EXPECT_EQ(LoadGraphFile("pic.bmp"), -1);
    EXPECT_EQ(gGraph.graphs.count, 0);
    EXPECT_EQ(ReadLogUtf8(), before);
}

TEST_F(LoadTest, MissingAndUndecodableFilesLogTheirOwnLines) {
    WriteFile("junk.png", "this is not an image at all");
    Start();
    EXPECT_EQ(LoadGraphFile("missing.png"), -1);
    EXPECT_EQ(LoadGraphFile("junk.png"), -1);
    EXPECT_EQ(gGraph.graphs.count, 0);
    std::string log = ReadLogUtf8();
    EXPECT_NE(log.find("グラフィックファイル missing.png がありません\n"), std::string::npos);
    EXPECT_NE(log.find("右記のグラフィックファイルのロードに失敗しました：junk.png \n"),
              std::string::npos);
    EXPECT_EQ(log.find("junk.png がありません"), std::string::npos);
}

// Damaged images the decoders refuse fail as images, although FFmpeg's image
// demuxers would take each as a one-frame movie.
TEST_F(LoadTest, DamagedImagesFailAsImagesWithTheMovieStepPresent) {
    Bytes png = PngFile(Gradient(8, 8, false), 2, 8, false);
    png[29] ^= 0xFF;  // the header chunk's CRC
    Bytes jpeg = JpegFile(Gradient(16, 16, false), false, 90);
    jpeg[3] = 0x02;  // a reserved marker in place of the first segment's
    TgaSpec wide;
    wide.width = 4096;  // one past the widest TGA the decoder takes
    wide.height = 1;
    wide.data = Bytes(4096 * 3, 0x80);
    DdsSpec dxt1;
    dxt1.width = dxt1.height = 4;
    dxt1.formatFlags = 0x4;
    dxt1.fourCc = 0x31545844;  // "DXT1": compressed, which the decoder does not take
    dxt1.bitCount = 0;
    dxt1.data = Bytes(8, 0x55);
    Bytes bmp = BmpOf(Sample(), 24, false);
    bmp.resize(40);
    const std::pair<const char*, Bytes> files[] = {
        {"crc.png", png}, {"marker.jpg", jpeg}, {"wide.tga", TgaFile(wide)},
        {"dxt1.dds", DdsFile(dxt1)}, {"cut.bmp", bmp}};
    Start();
    for (const auto& [name, bytes] : files) {
        WriteBytes(name, bytes);
        GraphImage image{};
        ASSERT_EQ(LoadImageFile(name, &image), -1) << name;
        EXPECT_EQ(LoadGraphFile(name), -1) << name;
        EXPECT_NE(ReadLogUtf8().find(std::string("右記のグラフィックファイルのロードに失敗しました：") +
                                     name + " \n"),
                  std::string::npos)
            << name;
    }
    EXPECT_EQ(gGraph.graphs.count, 0);
}

// A graph's sides are 16-bit: a longer side fails the load like a file no
// decoder takes, even where the decoder accepts it.
TEST_F(LoadTest, ImagesWithASideOver65535PixelsFailToLoad) {
    Picture line;
    line.width = 65536;
    line.height = 1;
    line.argb.assign(65536, 0xFF808080);
    WriteBytes("wide.png", PngFile(line, 0, 8, false));
    // A run-length BMP whose height has bit 16 flipped: its end-of-bitmap
    // code leaves the other rows empty.
    Bytes tall = BmpOf(Indexed(4, 2, 3), 8, true);
    tall[24] |= 1;
    WriteBytes("tall.bmp", tall);
    Picture edge = Gradient(65535, 1, false);
    WriteBytes("edge.png", PngFile(edge, 2, 8, false));
    Start();
    for (const char* name : {"wide.png", "tall.bmp"}) {
        GraphImage image{};
        ASSERT_EQ(LoadImageFile(name, &image), 0) << name;
        EXPECT_GT(std::max(image.width, image.height), 65535) << name;
        FreeGraphImagePixels(&image);
        EXPECT_EQ(LoadGraphFile(name), -1) << name;
        EXPECT_NE(ReadLogUtf8().find(std::string("右記のグラフィックファイルのロードに失敗しました：") +
                                     name + " \n"),
                  std::string::npos)
            << name;
    }
    EXPECT_EQ(gGraph.graphs.count, 0);
    int graph = LoadGraphFile("edge.png");
    ASSERT_GE(graph, 0);
    int width = 0;
    GetGraphDimensions(graph, &width, nullptr);
    EXPECT_EQ(width, 65535);
}

TEST_F(LoadTest, NothingLoadsWhileAScreenSurfaceIsLocked) {
    WriteBytes("pic.bmp", BmpOf(Sample(), 24, false));
    Start();
    ASSERT_EQ(LockGraphSurface(TargetBack, nullptr, nullptr), 0);
    EXPECT_EQ(LoadGraphFile("pic.bmp"), -1);
    UnlockGraphSurface(TargetBack);
    EXPECT_GE(LoadGraphFile("pic.bmp"), 0);
}

// ---------------------------------------------------------------------------
// Start and end of graphics management
// ---------------------------------------------------------------------------

TEST_F(LoadTest, GraphicsManagementStartsOnceAndLogsItsEnd) {
    Start();
    EXPECT_EQ(GraphicsStarted(), 1);
    EXPECT_EQ(HasGraphRestoreHandler(), 1);
    InitGraphicsResources();
    std::string log = ReadLogUtf8();
    EXPECT_EQ(Occurrences(log, "グラフィック管理系の初期化を行います"), 1);
    size_t start = log.find("グラフィック管理系の初期化を行います");
    size_t path = log.find(IsGpuDrawing() ? "３Ｄグラフィック描画機能を使用します"
                                          : "３Ｄグラフィック描画機能は使用しません");
    size_t done = log.find("グラフィック管理系の初期化は正常に終了しました");
    EXPECT_LT(start, path);
    EXPECT_LT(path, done);
    EndLibrary();
    EXPECT_EQ(GraphicsStarted(), 0);
    EXPECT_NE(ReadLogUtf8().find("グラフィック管理系の終了処理は正常に終了しました"),
              std::string::npos);
}

// ---------------------------------------------------------------------------
// Restoring after the display was lost
// ---------------------------------------------------------------------------

// What a lost surface may hold when it comes back.
void Scribble(int graph) {
    SurfaceDataRecord* record = SurfaceOf(graph);
    PlatSurface* s = record->surface;
    std::memset(s->pixels, 0x5A, size_t(s->pitch) * s->height);
    if (record->alphaBuffer) std::memset(record->alphaBuffer, 0x5A, record->alphaPitch);
}

TEST_F(LoadTest, GraphsAreReloadedFromTheirFilesAfterTheDisplayWasLost) {
    WriteBytes("pic.bmp", BmpOf(Sample(), 24, false));
    WriteBytes("pic_a.bmp", BmpOf(AlphaSample(4, 2), 24, false));
    std::string folder = "a-folder-name-long-enough-to-push-the-path-past-sixty";
    std::filesystem::create_directory(folder);
    WriteBytes(folder + "/tile.bmp", BmpOf(Sample(), 24, false));
    Start();
    int first = LoadGraphFile("pic.bmp");
    int second = LoadGraphFile("pic.bmp");
    int nested = LoadGraphFile((folder + "/tile.bmp").c_str());
    int empty = CreateEmptyGraph(4, 2, 0, 0);
    ASSERT_GE(nested, 0);
    HeadlessLoseDisplay();
    EXPECT_EQ(PlatIsSurfaceLost(SurfaceOf(first)->surface), 1);
    for (int graph : {first, second, nested, empty}) Scribble(graph);

    ASSERT_EQ(PumpMessages(), 0);
    for (int graph : {first, second, nested}) {
        EXPECT_EQ(PlatIsSurfaceLost(SurfaceOf(graph)->surface), 0);
        EXPECT_EQ(Pixel16(graph, 1, 0), 0xFFFFu);
        EXPECT_EQ(Pixel16(graph, 2, 0), 0xF800u);
        EXPECT_EQ(GetGraphRecord(graph)->restorePending, 0);
    }
    EXPECT_EQ(SurfaceOf(first)->alphaBuffer[1], AlphaSample(4, 2).At(1, 0) >> 16 & 0xFF);
    // A graph with no file keeps what the platform gave back.
    EXPECT_EQ(PlatIsSurfaceLost(SurfaceOf(empty)->surface), 0);
    EXPECT_EQ(Pixel16(empty, 0, 0), 0x5A5Au);

    std::string log = ReadLogUtf8();
    EXPECT_NE(log.find("グラフィックを復帰します"), std::string::npos);
    // Two graphs of one file decode it once.
    EXPECT_EQ(Occurrences(log, "ファイル:pic.bmp をロードします"), 1);
    EXPECT_EQ(Occurrences(log, "ファイル:tile.bmp をロードします"), 1);
    EXPECT_EQ(std::filesystem::current_path(), std::filesystem::path(dir.path()));
}

TEST_F(LoadTest, AMirroredGraphIsReloadedMirrored) {
    WriteBytes("pic.bmp", BmpOf(Sample(), 24, false));
    Start();
    int graph = LoadGraphFile("pic.bmp");
    GetGraphRecord(graph)->loadOption = 1;
    MarkGraphsForRestore();
    EXPECT_EQ(Pixel16(graph, 0, 0), 0x07E0u);
    EXPECT_EQ(Pixel16(graph, 1, 0), 0xF800u);
    EXPECT_EQ(Pixel16(graph, 3, 0), 0x0000u);
}

TEST_F(LoadTest, AFileGoneBeforeTheRestoreIsLoggedAndSkipped) {
    WriteBytes("pic.bmp", BmpOf(Sample(), 24, false));
    Start();
    int graph = LoadGraphFile("pic.bmp");
    std::filesystem::remove("pic.bmp");
    Scribble(graph);
    EXPECT_EQ(MarkGraphsForRestore(), 0);
    EXPECT_EQ(GetGraphRecord(graph)->restorePending, 0);
    EXPECT_EQ(Pixel16(graph, 0, 0), 0x5A5Au);
    EXPECT_NE(ReadLogUtf8().find("ファイル:pic.bmp がロードできませんでした"), std::string::npos);
}

// Files that changed on disk while the display was away no longer fit the
// graph: an alpha file of another size than its image, or an image that no
// longer covers the graph. Nothing is copied from them.
TEST_F(LoadTest, FilesThatNoLongerFitTheGraphAreLoggedAndItsPixelsKept) {
    Picture small;
    small.width = 2;
    small.height = 1;
    small.argb = {0xFFFFFFFF, 0xFFFFFFFF};
    struct Change {
        const char* what;
        Picture image, alpha;
    };
    const Change changes[] = {
        {"a smaller alpha file", Sample(), small},
        {"a smaller image and alpha file", small, small},
    };
    WriteBytes("pic.bmp", BmpOf(Sample(), 24, false));
    WriteBytes("pic_a.bmp", BmpOf(AlphaSample(4, 2), 24, false));
    Start();
    int graph = LoadGraphFile("pic.bmp");
    ASSERT_GE(graph, 0);
    for (const Change& change : changes) {
        SCOPED_TRACE(change.what);
        WriteBytes("pic.bmp", BmpOf(change.image, 24, false));
        WriteBytes("pic_a.bmp", BmpOf(change.alpha, 24, false));
        Scribble(graph);
        int before = Occurrences(ReadLogUtf8(), "ファイル:pic.bmp がロードできませんでした");
        EXPECT_EQ(MarkGraphsForRestore(), 0);
        EXPECT_EQ(GetGraphRecord(graph)->restorePending, 0);
        for (int y = 0; y < 2; ++y)
            for (int x = 0; x < 4; ++x) EXPECT_EQ(Pixel16(graph, x, y), 0x5A5Au) << x << "," << y;
        for (int x = 0; x < 4; ++x) EXPECT_EQ(SurfaceOf(graph)->alphaBuffer[x], 0x5A) << x;
        EXPECT_EQ(Occurrences(ReadLogUtf8(), "ファイル:pic.bmp がロードできませんでした"), before + 1);
    }
}

int gHandlerCalls;
int gPendingSeen;

int CountingHandler() {
    ++gHandlerCalls;
    for (int slot = 0; slot < gGraph.graphs.highWater; ++slot)
        if (gGraph.graphs.slots[slot])
            gPendingSeen += GetGraphRecord(HandleOfSlot(&gGraph.graphs, slot))->restorePending;
    return 0;
}

TEST_F(LoadTest, AProgramsOwnRestoreHandlerRunsInsteadOfReloading) {
    WriteBytes("pic.bmp", BmpOf(Sample(), 24, false));
    Start();
    int graph = LoadGraphFile("pic.bmp");
    CreateEmptyGraph(2, 2, 0, 0);
    SetGraphRestoreHandler(CountingHandler);
    Scribble(graph);
    HeadlessLoseDisplay();
    ASSERT_EQ(PumpMessages(), 0);
    EXPECT_EQ(gHandlerCalls, 1);
    EXPECT_EQ(gPendingSeen, 2);
    EXPECT_EQ(Pixel16(graph, 0, 0), 0x5A5Au);
    EXPECT_EQ(PlatIsSurfaceLost(SurfaceOf(graph)->surface), 0);
    SetGraphRestoreHandler(nullptr);
    EXPECT_EQ(gGraphics.restore, &RestoreGraphsFromFiles);
}

}  // namespace
