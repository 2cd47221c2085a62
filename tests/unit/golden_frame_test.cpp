// A whole composed frame, as the game builds one, captured by the headless
// platform and compared byte for byte with tests/data/golden_frame.png:
// the background and terrain windows cut from battlefield-sized graphs, a
// rotated sprite, alpha sprites (one partly off screen) and a translucent
// panel, all loaded from files, on the game's 640 x 480 x 16 screen.
//
// After a deliberate change to how frames are drawn, regenerate the picture
// with TESSEL_UPDATE_GOLDEN=1 and look at it before committing it.
#include "platform/device/headless/headless.h"
#include "support/harness.h"
#include "support/image_files.h"
#include "tessel.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <png.h>
#include <string>
#include <vector>

namespace {

namespace fs = std::filesystem;

fs::path GoldenPath() {
    return fs::path(TESSEL_TEST_DATA) / "golden_frame.png";
}

void WriteBytes(const std::string& path, const Bytes& bytes) {
    WriteFile(path, std::string(bytes.begin(), bytes.end()));
}

uint32_t Rgb(int r, int g, int b) {
    return 0xFF000000u | uint32_t(r & 0xFF) << 16 | uint32_t(g & 0xFF) << 8 | uint32_t(b & 0xFF);
}

Picture Paint(int width, int height, uint32_t (*pixel)(int x, int y)) {
    Picture p;
    p.width = width;
    p.height = height;
    p.argb.reserve(size_t(width) * height);
    for (int y = 0; y < height; ++y)
        for (int x = 0; x < width; ++x) p.argb.push_back(pixel(x, y));
    return p;
}

// A sky fading down to haze, with bands so that any misplaced row shows.
uint32_t Sky(int x, int y) {
    return Rgb(40 + y / 8, 90 + y / 12 + (x / 40) % 3, 200 - y / 10);
}

// Ground under a rolling surface line; the sky above it is the key, black.
uint32_t Ground(int x, int y) {
    double surface = 600 + 80 * std::sin(x / 90.0) + 25 * std::sin(x / 17.0);
    if (y < surface) return Rgb(0, 0, 0);
    int depth = int(y - surface);
    return depth < 6 ? Rgb(60, 170, 40) : Rgb(110 + (x * 7 + y * 3) % 23, 80 + depth % 17, 50);
}

// A cannon barrel: dark with a light stripe, a black (keyed) notch.
uint32_t Barrel(int x, int y) {
    if (x > 56 && (y < 4 || y > 27)) return Rgb(0, 0, 0);
    return y > 12 && y < 18 ? Rgb(220, 220, 200) : Rgb(60 + x, 64, 70);
}

// A glowing ball: alpha falls off from the centre.
uint32_t Glow(int x, int y) {
    double d = std::hypot(x - 23.5, y - 23.5) / 24.0;
    int a = d >= 1 ? 0 : int(255 * (1 - d * d));
    return uint32_t(a) << 24 | uint32_t(255) << 16 | uint32_t(180 + x) << 8 | uint32_t(40 + y);
}

// A panel at two thirds opacity with an opaque frame.
uint32_t Panel(int x, int y) {
    bool frame = x < 2 || y < 2 || x > 197 || y > 37;
    return (frame ? 0xFF000000u : 0xAA000000u) | uint32_t(20 + y) << 16 | uint32_t(30 + x / 2) << 8 | 90;
}

struct Png {
    int width = 0, height = 0;
    std::vector<uint8_t> rgb;
};

bool ReadPng(const fs::path& path, Png* out) {
    png_image image;
    std::memset(&image, 0, sizeof image);
    image.version = PNG_IMAGE_VERSION;
    if (!png_image_begin_read_from_file(&image, path.c_str())) return false;
    image.format = PNG_FORMAT_RGB;
    out->width = int(image.width);
    out->height = int(image.height);
    out->rgb.resize(PNG_IMAGE_SIZE(image));
    bool ok = png_image_finish_read(&image, nullptr, out->rgb.data(), 0, nullptr) != 0;
    png_image_free(&image);
    return ok;
}

class GoldenFrame : public ::testing::Test {
protected:
    ScratchDir dir;
    void TearDown() override { EndLibrary(); }
};

TEST_F(GoldenFrame, AComposedFrameMatchesTheRecordedPicture) {
    fs::create_directories("art");
    WriteBytes("art/sky.bmp", BmpOf(Paint(1600, 960, Sky), 24, false));
    WriteBytes("art/ground.bmp", BmpOf(Paint(1600, 960, Ground), 24, false));
    WriteBytes("art/barrel.bmp", BmpOf(Paint(64, 32, Barrel), 24, false));
    WriteBytes("art/glow.png", PngFile(Paint(48, 48, Glow), 6, 8, false));
    WriteBytes("art/panel.png", PngFile(Paint(200, 40, Panel), 6, 8, false));

    UseHeadless();
    SetScreenMode(640, 480, 16, -1);
    ASSERT_EQ(InitLibrary(), 0);
    ASSERT_EQ(SetDrawTarget(TargetBack), 0);
    int sky = LoadGraphFile("art/sky.bmp");
    int ground = LoadGraphFile("art/ground.bmp");
    int barrel = LoadGraphFile("art/barrel.bmp");
    int glow = LoadGraphFile("art/glow.png");
    int panel = LoadGraphFile("art/panel.png");
    for (int graph : {sky, ground, barrel, glow, panel}) ASSERT_GE(graph, 0);

    ClearDrawTarget();
    ASSERT_EQ(DrawGraphPart(0, 0, 300, 160, 640, 480, sky, 0, 0), 0);
    ASSERT_EQ(DrawGraphPart(0, 0, 500, 420, 640, 480, ground, 1, 0), 0);
    ASSERT_EQ(DrawRotaGraph(300, 250, 1.0, 0.6, barrel, 1, 0), 0);
    ASSERT_EQ(DrawGraph(120, 90, glow, 0), 0);
    ASSERT_EQ(DrawGraph(420, 150, glow, 1), 0);
    ASSERT_EQ(DrawGraph(615, -20, glow, 0), 0);
    ASSERT_EQ(DrawGraph(20, 425, panel, 0), 0);
    ASSERT_EQ(PresentScreen(), 0);

    ASSERT_EQ(HeadlessQueueScriptLine("0 capture frame.png"), 0);
    GetTickMs(0);
    Png captured;
    ASSERT_TRUE(ReadPng("frame.png", &captured)) << "the capture was not written";

    if (std::getenv("TESSEL_UPDATE_GOLDEN")) {
        fs::create_directories(GoldenPath().parent_path());
        fs::copy_file("frame.png", GoldenPath(), fs::copy_options::overwrite_existing);
    }
    Png golden;
    ASSERT_TRUE(ReadPng(GoldenPath(), &golden))
        << GoldenPath() << " is missing; run once with TESSEL_UPDATE_GOLDEN=1";
    ASSERT_EQ(captured.width, golden.width);
    ASSERT_EQ(captured.height, golden.height);
    // The GPU path blends in 8 bits a channel and rounds to 5:6:5 once,
    // where the software path rounds every mix, so it is held to 1 level of
    // the screen's channels on 99.9 % of pixels.
    int bound = IsGpuDrawing() ? 1 : 0;
    const int top[3] = {31, 63, 31};
    size_t differing = 0, first = 0;
    for (size_t i = 0; i < golden.rgb.size(); i += 3) {
        bool near = true;
        for (int c = 0; c < 3; ++c) {
            auto level = [&](int v) { return (v * top[c] + 127) / 255; };
            near = near && std::abs(level(golden.rgb[i + c]) - level(captured.rgb[i + c])) <= bound;
        }
        if (!near && differing++ == 0) first = i / 3;
    }
    size_t allowed = bound ? golden.rgb.size() / 3 / 1000 : 0;
    EXPECT_LE(differing, allowed) << "first difference at (" << first % size_t(golden.width)
                                  << ", " << first / size_t(golden.width) << ")";
}

}  // namespace
