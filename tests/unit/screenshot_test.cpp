// Screenshots: what SaveScreenPng writes loads back as the very pixels of the
// back buffer, on either path, and a write that cannot finish leaves no file.
#include "support/harness.h"
#include "tessel.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <csignal>
#include <cstring>
#include <filesystem>
#include <sys/resource.h>

namespace {

class Screenshot : public LibraryTest, public ::testing::WithParamInterface<int> {
protected:
    // A picture with every channel value in it, drawn as a graph so that
    // on the GPU path it lies on the device until the save reads it back.
    void DrawPattern() {
        int graph = CreateEmptyGraph(640, 480, 0, 0);
        ASSERT_NE(graph, -1);
        int pitch = 0;
        uint8_t* pixels = nullptr;
        ASSERT_EQ(LockGraphSurface(graph, &pitch, &pixels), 0);
        int bytes = GetParam() / 8;
        for (int y = 0; y < 480; ++y)
            for (int x = 0; x < 640 * bytes; ++x)
                pixels[y * pitch + x] = static_cast<uint8_t>(x * 7 + y * 13 + (x * y >> 5));
        UnlockGraphSurface(graph);
        ASSERT_EQ(DrawGraph(0, 0, graph, 0), 0);
    }
    // Every pixel's colour of a locked surface, spare bits left out.
    static std::vector<uint32_t> Colours(int graph, int depth) {
        int pitch = 0;
        uint8_t* pixels = nullptr;
        std::vector<uint32_t> out;
        if (LockGraphSurface(graph, &pitch, &pixels) < 0) return out;
        for (int y = 0; y < 480; ++y)
            for (int x = 0; x < 640; ++x) {
                const uint8_t* p = pixels + y * pitch + x * depth / 8;
                out.push_back(depth == 16 ? uint32_t(p[0] | p[1] << 8)
                                          : uint32_t(p[0] | p[1] << 8 | p[2] << 16));
            }
        UnlockGraphSurface(graph);
        return out;
    }
};

TEST_P(Screenshot, RoundTripsThroughLoadGraphFilePixelForPixel) {
    SetScreenMode(640, 480, GetParam(), -1);
    Start();
    SetDrawTarget(TargetBack);
    DrawPattern();
    ASSERT_EQ(SaveScreenPng("shot.png"), 0);
    int loaded = LoadGraphFile("shot.png");
    ASSERT_NE(loaded, -1);
    std::vector<uint32_t> screen = Colours(TargetBack, GetParam());
    std::vector<uint32_t> file = Colours(loaded, GetParam());
    ASSERT_EQ(screen.size(), 640u * 480u);
    size_t differ = 0;
    for (size_t i = 0; i < screen.size(); ++i) differ += screen[i] != file[i];
    EXPECT_EQ(differ, 0u);
    // Not a blank picture that would round-trip trivially.
    EXPECT_LT(std::count(screen.begin(), screen.end(), screen[0]), 640 * 480 / 16);
}

// A missing folder, and a disk that fills up half way (a file size limit
// stands in for it): -1, and nothing left in the folder.
TEST_P(Screenshot, AWriteThatCannotFinishLeavesNoFile) {
    SetScreenMode(640, 480, GetParam(), -1);
    Start();
    SetDrawTarget(TargetBack);
    DrawPattern();
    EXPECT_EQ(SaveScreenPng("missing/shot.png"), -1);
    EXPECT_FALSE(std::filesystem::exists("missing"));

    rlimit before{};
    getrlimit(RLIMIT_FSIZE, &before);
    rlimit small = before;
    small.rlim_cur = 4096;
    std::signal(SIGXFSZ, SIG_IGN);
    ASSERT_EQ(setrlimit(RLIMIT_FSIZE, &small), 0);
    int result = SaveScreenPng("full.png");
    setrlimit(RLIMIT_FSIZE, &before);
    EXPECT_EQ(result, -1);
    for (const auto& entry : std::filesystem::directory_iterator("."))
        EXPECT_EQ(entry.path().filename().string().rfind("full.png", 0), std::string::npos)
            << entry.path();
}

INSTANTIATE_TEST_SUITE_P(Depths, Screenshot, ::testing::Values(16, 32));

}  // namespace
