// Frames handed to the desktop back end in each screen layout (5:6:5,
// 5:5:5, 32-bit and 8-bit with a palette) show the same colours in its
// window, and a renderer reset or a minimised full-screen window loses the
// display; on SDL's dummy video driver.
#include "graphics/color.h"
#include "platform/pixels/frame_expand.h"
#include "platform/platform.h"
#include "platform/pixels/surface.h"

#include <SDL2/SDL.h>
#include <gtest/gtest.h>

#include <cstdlib>
#include <utility>
#include <vector>

namespace {

class SdlPresent : public ::testing::Test {
protected:
    SDL_Window* window_ = nullptr;

    void SetUp() override {
        setenv("TESSEL_PLATFORM", "sdl", 1);
        setenv("SDL_VIDEODRIVER", "dummy", 1);
        ASSERT_EQ(PlatStart(), 0);
        PlatWindowDesc desc{"Tessel test", 64, 32, 1, 0, 0, 0};
        ASSERT_EQ(PlatCreateWindow(&desc), 0);
        window_ = SDL_GetWindowFromID(1);
        ASSERT_NE(window_, nullptr);
    }
    void TearDown() override { PlatStop(); }

    uint32_t WindowPixel(int x, int y) {
        SDL_Rect one{x, y, 1, 1};
        uint32_t pixel = 0;
        EXPECT_EQ(SDL_RenderReadPixels(SDL_GetRenderer(window_), &one, SDL_PIXELFORMAT_ARGB8888,
                                       &pixel, 4),
                  0)
            << SDL_GetError();
        return pixel & 0xFFFFFF;
    }

    // Presents rows of `bytes`-byte pixels built by `value`, a row pitch
    // wider than the picture so that the pitch is honoured.
    template <typename Value>
    void PresentRows(PlatFrameFormat format, int bytes, Value value,
                     const uint32_t* palette = nullptr) {
        int pitch = 64 * bytes + 12;
        std::vector<uint8_t> rows(size_t(pitch) * 32, 0xEE);
        for (int y = 0; y < 32; ++y)
            for (int x = 0; x < 64; ++x) {
                uint32_t v = value(x, y);
                for (int b = 0; b < bytes; ++b) rows[y * pitch + x * bytes + b] = uint8_t(v >> (8 * b));
            }
        PlatFrame frame{};
        frame.width = 64;
        frame.height = 32;
        frame.format = format;
        frame.rows = rows.data();
        frame.pitchBytes = pitch;
        frame.palette = palette;
        PlatPresent(&frame);
    }
};

// Left half one colour, right half another, bottom rows a third.
template <typename T>
T Pick(int x, int y, T left, T right, T bottom) {
    return y >= 24 ? bottom : x < 32 ? left : right;
}

// Every 5:6:5 value, at every start within a vector and every tail length,
// widened with each channel's top bits repeated below it.
TEST(FrameExpand, EveryFiveSixFiveValueWidensByRepeatingItsTopBits) {
    std::vector<uint8_t> in(2 * 65536 + 2);
    for (uint32_t v = 0; v < 65536; ++v) {
        in[1 + 2 * v] = uint8_t(v);
        in[2 + 2 * v] = uint8_t(v >> 8);
    }
    std::vector<uint32_t> out(65536 + 1);
    for (int start : {0, 1, 3, 7}) {
        int width = 65536 - start - start % 5;
        out.assign(out.size(), 0xDEADBEEF);
        ExpandRow565(out.data(), in.data() + 1 + 2 * start, width);  // rows need no alignment
        for (int x = 0; x < width; ++x) {
            uint32_t v = uint32_t(start + x), r = v >> 11, g = v >> 5 & 63, b = v & 31;
            uint32_t want = (r << 3 | r >> 2) << 16 | (g << 2 | g >> 4) << 8 | (b << 3 | b >> 2);
            ASSERT_EQ(out[size_t(x)], want) << std::hex << v;
        }
        EXPECT_EQ(out[size_t(width)], 0xDEADBEEFu) << "written past the row";
    }
}

// Each layout shows left, right and bottom colours at every point probed; 5:5:5
// ignores its top bit.
TEST_F(SdlPresent, EveryFrameLayoutShowsItsColours) {
    uint32_t palette[256] = {};
    palette[1] = 0xFF8000;
    palette[2] = 0x0080FF;
    palette[200] = 0x808080;
    struct Case {
        const char* what;
        PlatFrameFormat format;
        int bytes;
        uint32_t stored[3];  // left, right, bottom
        uint32_t shown[3];
        const uint32_t* palette;
    } cases[] = {
        {"5:6:5", FrameRgb565, 2, {0xF800, 0x07E0, 0xFFFF}, {0xFF0000, 0x00FF00, 0xFFFFFF}, nullptr},
        {"5:5:5", FrameRgb555, 2, {0xFC00, 0x001F, 0x83E0}, {0xFF0000, 0x0000FF, 0x00FF00}, nullptr},
        {"32-bit", FrameXrgb8888, 4, {0x123456, 0xFF00FF, 0x000080}, {0x123456, 0xFF00FF, 0x000080}, nullptr},
        {"8-bit", FrameIndex8, 1, {1, 2, 200}, {0xFF8000, 0x0080FF, 0x808080}, palette},
    };
    const struct {
        int x, y, region;
    } probes[] = {{0, 0, 0}, {1, 1, 0}, {5, 5, 0},   {63, 0, 1},  {62, 1, 1},
                  {50, 5, 1}, {60, 3, 1}, {40, 31, 2}, {10, 30, 2}, {60, 28, 2}};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        PresentRows(c.format, c.bytes, [&](int x, int y) { return Pick(x, y, c.stored[0], c.stored[1], c.stored[2]); },
                    c.palette);
        for (const auto& p : probes) EXPECT_EQ(WindowPixel(p.x, p.y), c.shown[p.region]) << p.x << ", " << p.y;
    }

    // The older pixel form: 32-bit pixels without a format.
    std::vector<uint32_t> pixels(64 * 32, 0x00A0B0C0);
    PlatFrame frame{pixels.data(), 64, 32, 64};
    PlatPresent(&frame);
    EXPECT_EQ(WindowPixel(50, 5), 0xA0B0C0u);
}

// Every message pending now, by id and wParam.
std::vector<std::pair<uint32_t, uintptr_t>> TakeAll() {
    std::vector<std::pair<uint32_t, uintptr_t>> seen;
    PlatMessage m;
    while (PlatTakeMessage(&m)) seen.emplace_back(m.message, m.wParam);
    return seen;
}

bool Contains(const std::vector<std::pair<uint32_t, uintptr_t>>& seen, uint32_t id,
              uintptr_t wParam) {
    for (const auto& m : seen)
        if (m.first == id && m.second == wParam) return true;
    return false;
}

TEST_F(SdlPresent, ARendererResetLosesTheSurfacesAndCyclesTheActivation) {
    ColorFormat format{};
    SetFormatFromMasks(&format, 16, 0xF800, 0x07E0, 0x001F, 0);
    PlatSurface* surface = PlatCreateSurface(4, 4, &format, 0);
    TakeAll();
    SDL_Event event{};
    event.type = SDL_RENDER_DEVICE_RESET;
    ASSERT_EQ(SDL_PushEvent(&event), 1);
    auto seen = TakeAll();
    EXPECT_EQ(PlatIsSurfaceLost(surface), 1);
    ASSERT_GE(seen.size(), 4u);
    EXPECT_EQ(seen[0], std::make_pair(uint32_t{MsgActivateApp}, uintptr_t{0}));
    EXPECT_EQ(seen[3], std::make_pair(uint32_t{MsgActivate}, uintptr_t{1}));
    // The next frame still reaches the window.
    PresentRows(FrameRgb555, 2, [](int, int) { return 0x7C00u; });
    EXPECT_EQ(WindowPixel(2, 2), 0xFF0000u);
    PlatReleaseSurface(surface);
}

TEST_F(SdlPresent, MinimisingOnlyAFullScreenWindowLosesTheDisplay) {
    ColorFormat format{};
    SetFormatFromMasks(&format, 16, 0xF800, 0x07E0, 0x001F, 0);
    PlatSurface* surface = PlatCreateSurface(4, 4, &format, 0);
    auto minimise = [this] {
        TakeAll();
        SDL_Event event{};
        event.type = SDL_WINDOWEVENT;
        event.window.event = SDL_WINDOWEVENT_MINIMIZED;
        event.window.windowID = SDL_GetWindowID(window_);
        SDL_PushEvent(&event);
        return TakeAll();
    };
    auto windowed = minimise();
    EXPECT_EQ(PlatIsSurfaceLost(surface), 0);
    EXPECT_FALSE(Contains(windowed, MsgActivate, 0));
    ASSERT_EQ(PlatSetWindowMode(0, 64, 32, 0, 0, 0), 0);
    window_ = SDL_GetWindowFromID(1);
    auto full = minimise();
    EXPECT_EQ(PlatIsSurfaceLost(surface), 1);
    EXPECT_TRUE(Contains(full, MsgActivate, 0));
    EXPECT_TRUE(Contains(full, MsgSize, 1));
    PlatReleaseSurface(surface);
}

}  // namespace
