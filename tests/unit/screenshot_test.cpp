// SaveScreenPng: what it writes loads back as the back buffer's very pixels,
// on either path; a write that cannot finish leaves no file.
#include "support/harness.h"
#include "tessel.h"

#include <gtest/gtest.h>

#include <csignal>
#include <filesystem>
#include <sys/resource.h>

namespace {

class Screenshot : public LibraryTest, public ::testing::WithParamInterface<int> {};

// Every pixel's colour of a locked graph, spare bits left out.
std::vector<uint32_t> Colours(int graph, int bytes) {
    int pitch = 0;
    uint8_t* p = nullptr;
    std::vector<uint32_t> out;
    if (LockGraphSurface(graph, &pitch, &p) < 0) return out;
    for (int y = 0; y < 480; ++y)
        for (int x = 0; x < 640; ++x) {
            const uint8_t* q = p + y * pitch + x * bytes;
            out.push_back(q[0] | q[1] << 8 | (bytes == 4 ? q[2] << 16 : 0));
        }
    UnlockGraphSurface(graph);
    return out;
}

TEST_P(Screenshot, RoundTripsPixelForPixelOrLeavesNoFile) {
    int bytes = GetParam() / 8;
    SetScreenMode(640, 480, GetParam(), -1);
    Start();
    SetDrawTarget(TargetBack);
    // Drawn as a graph, so that on the GPU path it lies on the device.
    int graph = CreateEmptyGraph(640, 480, 0, 0);
    int pitch = 0;
    uint8_t* p = nullptr;
    ASSERT_EQ(LockGraphSurface(graph, &pitch, &p), 0);
    for (int y = 0; y < 480; ++y)
        for (int x = 0; x < 640 * bytes; ++x) p[y * pitch + x] = uint8_t(x * 7 + y * 13 + (x * y >> 5));
    UnlockGraphSurface(graph);
    ASSERT_EQ(DrawGraph(0, 0, graph, 0), 0);

    ASSERT_EQ(SaveScreenPng("shot.png"), 0);
    std::vector<uint32_t> screen = Colours(TargetBack, bytes);
    EXPECT_EQ(Colours(LoadGraphFile("shot.png"), bytes), screen);
    EXPECT_LT(std::count(screen.begin(), screen.end(), screen[0]), 640 * 480 / 16);

    EXPECT_EQ(SaveScreenPng("missing/shot.png"), -1);
    rlimit before{};
    getrlimit(RLIMIT_FSIZE, &before);
    rlimit small = before;
    small.rlim_cur = 4096;  // a disk that fills up half way
    std::signal(SIGXFSZ, SIG_IGN);
    ASSERT_EQ(setrlimit(RLIMIT_FSIZE, &small), 0);
    EXPECT_EQ(SaveScreenPng("full.png"), -1);
    setrlimit(RLIMIT_FSIZE, &before);
    for (const auto& entry : std::filesystem::directory_iterator("."))
        EXPECT_NE(entry.path().filename().string().substr(0, 4), "full") << entry.path();
    EXPECT_FALSE(std::filesystem::exists("missing"));
}

INSTANTIATE_TEST_SUITE_P(Depths, Screenshot, ::testing::Values(16, 32));

}  // namespace
