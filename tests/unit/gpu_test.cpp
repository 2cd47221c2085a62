// The GPU path against the software path: the same draws, read back through
// ReadScreenPixel, agree within 2 levels a channel on 99.9 % of pixels (text
// exactly), on 16- and 32-bit screens, full screen and windowed; a graph or a
// glyph cache split into tiles draws as an unsplit one; batches, the
// fallback when the device is too old, and the meshes.
#include "draw/draw_state.h"
#include "draw/screen.h"
#include "gpu/gpu.h"
#include "platform/gpu/gpu.h"
#include "platform/pixels/surface.h"
#include "support/harness.h"
#include "support/image_files.h"
#include "tessel.h"
#include "text/font.h"

#include <epoxy/egl.h>
#include <epoxy/gl.h>
#include <gtest/gtest.h>
#include <malloc.h>

#include <cmath>
#include <cstdlib>
#include <cstring>
#include <functional>
#include <string>
#include <vector>

namespace {

constexpr int Width = 640, Height = 480;
constexpr double Pi = 3.14159265358979323846;

struct Graphs {
    int sprite, glow, big;
};

void WriteBytes(const std::string& path, const Bytes& bytes) {
    WriteFile(path, std::string(bytes.begin(), bytes.end()));
}

// Art with the features the paths must agree on: a keyed (black) notch, an
// alpha fall-off, and colours that change from pixel to pixel.
void WriteArt() {
    Picture sprite = Gradient(64, 48, false);
    for (int y = 0; y < 48; ++y)
        for (int x = 0; x < 64; ++x)
            if ((x > 40 && y < 12) || (x - 20) * (x - 20) + (y - 30) * (y - 30) < 50)
                sprite.argb[size_t(y) * 64 + x] = 0xFF000000u;
    WriteBytes("sprite.bmp", BmpOf(sprite, 24, false));
    Picture glow;
    glow.width = glow.height = 48;
    for (int y = 0; y < 48; ++y)
        for (int x = 0; x < 48; ++x) {
            double d = std::hypot(x - 23.5, y - 23.5) / 24.0;
            uint32_t a = d >= 1 ? 0 : uint32_t(255 * (1 - d * d));
            glow.argb.push_back(a << 24 | 0xFF0000u | uint32_t(120 + 2 * x) << 8 |
                                uint32_t(40 + 4 * y));
        }
    WriteBytes("glow.png", PngFile(glow, 6, 8, false));
    WriteBytes("big.bmp", BmpOf(Gradient(100, 70, false), 24, false));
}

Graphs LoadArt() {
    Graphs g{LoadGraphFile("sprite.bmp"), LoadGraphFile("glow.png"), LoadGraphFile("big.bmp")};
    EXPECT_GE(g.sprite, 0);
    EXPECT_GE(g.glow, 0);
    EXPECT_GE(g.big, 0);
    return g;
}

// Starts the library on the path asked for; false when that path did not start.
bool Start(int gpu, int depth, bool windowed = false) {
    SetGpuDrawing(gpu);
    UseHeadless("", windowed);
    // The window mode is kept from an earlier start.
    ChangeWindowMode(windowed);
    SetScreenMode(Width, Height, depth, -1);
    if (InitLibrary() != 0) return false;
    SetDrawTarget(TargetBack);
    return IsGpuDrawing() == gpu;
}

// The screen as a program reads it: 32-bit pixels as they are, spare top
// byte included (a whole-pixel copy keeps it, a mix or a clear zeroes it),
// 16-bit ones widened to 0xRRGGBB.
uint32_t Widened(uint32_t v, int depth) {
    if (depth != 16) return v;
    uint32_t r = v >> 11 & 31, g = v >> 5 & 63, b = v & 31;
    return (r << 3 | r >> 2) << 16 | (g << 2 | g >> 4) << 8 | (b << 3 | b >> 2);
}

std::vector<uint32_t> ReadScreen(int depth) {
    std::vector<uint32_t> out;
    out.reserve(size_t(Width) * Height);
    for (int y = 0; y < Height; ++y)
        for (int x = 0; x < Width; ++x) out.push_back(Widened(uint32_t(ReadScreenPixel(x, y)), depth));
    return out;
}

// Pixels with a channel that differs by more than `levels`: of 8 bits (and
// the spare byte) at 32 bits, of the screen's 5 or 6 bits at 16.
size_t CountDiffering(const std::vector<uint32_t>& a, const std::vector<uint32_t>& b, int levels,
                      int depth = 32) {
    const int widths[2][4] = {{8, 8, 8, 8}, {5, 6, 5, 0}};
    const int* bits = widths[depth == 16];
    size_t count = 0;
    for (size_t i = 0; i < a.size(); ++i)
        for (int c = 0; c < 4; ++c) {
            int top = (1 << bits[c]) - 1;
            auto level = [&](uint32_t v) { return (int(v >> (8 * c) & 0xFF) * top + 127) / 255; };
            if (std::abs(level(a[i]) - level(b[i])) > levels) {
                ++count;
                break;
            }
        }
    return count;
}

struct DrawCase {
    std::string name;
    std::function<void(const Graphs&)> draw;
    bool exact = false;  // the paths must agree on every pixel
};

// A string through the cache as DrawTextWithFont draws it, but with the
// background of each glyph's box cleared when not `transparent`.
void DrawCacheString(int x, int y, const char* text, uint32_t colour, int transparent, int font) {
    FontCacheStringDraw({.font = font, .text = text, .x = x, .y = y,
                         .surface = gDraw.drawSurface, .clip = gDraw.drawArea, .colour = colour,
                         .screenDepth = QueryScreenDepth(), .transparent = transparent});
}

// A graph with alpha whose pixels are written in memory without spare bits
// (a loaded graph's carry them).
int MadeGlow() {
    int graph = CreateEmptyGraph(40, 40, 1, 1);
    int pitch;
    uint8_t* pixels;
    EXPECT_EQ(LockGraphSurface(graph, &pitch, &pixels), 0);
    const SurfaceDataRecord* record =
        GetSurfaceDataRecord(GetBmpDataRecord(GetGraphRecord(graph)->pieces[0])->surface);
    int bytes = QueryScreenDepth() / 8;
    for (int y = 0; y < 40; ++y)
        for (int x = 0; x < 40; ++x) {
            uint32_t value = MakeColor(200 + x, 90 + 3 * y, 60) & ~GetScreenFormat()->spareMask;
            std::memcpy(pixels + y * pitch + x * bytes, &value, size_t(bytes));
            record->alphaBuffer[y * record->alphaPitch + x] = uint8_t(std::min(255, 12 * (x + y)));
        }
    UnlockGraphSurface(graph);
    return graph;
}

int MakeFont(int size) {
    int font = CreateFontToHandle(nullptr, size, 4, 0, FontCharSetShiftJis, -1, -1);
    EXPECT_GE(font, 0);
    return font;
}

std::vector<DrawCase> DrawCases() {
    std::vector<DrawCase> cases = {
        {"clip", [](const Graphs& g) {
             SetClipRect(50, 40, 200, 150);
             DrawGraph(30, 30, g.sprite, 1);
             DrawGraph(180, 120, g.big, 0);
             DrawGraph(60, 60, g.glow, 1);
             SetClipRect(0, 0, Width, Height);
         }},
        {"keyed", [](const Graphs& g) { DrawGraph(100, 100, g.sprite, 1); }},
        {"unkeyed", [](const Graphs& g) { DrawGraph(-10, 455, g.sprite, 0); }},
        {"alpha", [](const Graphs& g) {
             DrawGraph(90, 90, g.big, 0);
             DrawGraph(100, 100, g.glow, 0);
             DrawGraph(120, 110, g.glow, 1);
             DrawGraph(615, -20, g.glow, 0);
         }},
        {"alpha graph made in memory", [](const Graphs&) {
             int glow = MadeGlow();
             DrawGraph(100, 100, glow, 1);
             DrawGraph(120, 110, glow, 1);
             DrawRotaGraph(300, 200, 1.3, 0.4, glow, 1, 0);
             FreeGraphHandle(glow, 0);
         }},
        {"mirrored and blended", [](const Graphs& g) {
             SetBlendState(BlendAdd, 150);
             SetDrawTint(255, 180, 90);
             DrawRotaGraph(300, 200, 1.3, 0.4, g.glow, 1, 1);
             DrawRotaGraph(200, 300, 0.8, -2.2, g.sprite, 1, 1);
             DrawGraphPart(420, 300, 30, 2, 30, 40, g.sprite, 1, 1);
             DrawStretchedGraph(500, 400, 380, 330, g.glow, 0);
             SetBlendState(BlendNone, 0);
             SetDrawTint(255, 255, 255);
         }},
        {"part", [](const Graphs& g) {
             DrawGraphPart(50, 60, 10, 5, 40, 30, g.big, 0, 0);
             // The black notch, unkeyed: black that is drawn, not left.
             DrawGraphPart(420, 300, 30, 2, 30, 40, g.sprite, 0, 0);
             DrawGraphPart(300, 60, 8, 8, 30, 30, g.glow, 0, 0);
         }},
        // A graph drawn on as a target holds cleared, copied and mixed
        // pixels (spare bits 0, kept and 0 on a 32-bit screen), and then
        // goes onto the screen plainly and turned.
        {"graph target", [](const Graphs& g) {
             int canvas = CreateEmptyGraph(90, 80, 0, 0);
             SetDrawTarget(canvas);
             ClearDrawTarget();
             DrawGraph(5, 5, g.sprite, 0);
             DrawGraph(30, 20, g.glow, 0);
             SetDrawTarget(TargetBack);
             DrawGraph(40, 50, canvas, 0);
             DrawRotaGraph(300, 200, 1.5, 0.7, canvas, 0, 0);
             FreeGraphHandle(canvas, 0);
         }},
        {"text", [](const Graphs& g) {
             DrawGraph(30, 30, g.big, 0);
             DrawTextString(40, 40, "Tessel 0123", MakeColor(255, 255, 0), 0);
             // Colours whose channels are not whole on a 16-bit screen.
             DrawTextString(40, 60, "Tessel 4567", MakeColor(201, 99, 37), 0);
             DrawTextString(40, 80, "\x82\xA0\x82\xA2\x88\xA4 \x81\x40\x83\x65x",
                            MakeColor(70, 230, 140), 0);
         }, true},
        {"text, glyph boxes cleared", [](const Graphs& g) {
             DrawGraph(30, 30, g.big, 0);
             DrawCacheString(40, 40, "Tessel 0123", MakeColor(255, 255, 0), 0, QueryDefaultFont());
             DrawCacheString(40, 60, "\x82\xA0\x82\xA2gy", MakeColor(201, 99, 37), 0,
                             QueryDefaultFont());
         }, true},
        {"text cut by the draw area", [](const Graphs& g) {
             DrawGraph(30, 30, g.big, 0);
             SetClipRect(45, 44, 93, 71);
             DrawTextString(40, 40, "Tessel 0123", MakeColor(255, 255, 255), 0);
             DrawCacheString(38, 58, "WMW\x82\xA0", MakeColor(0, 255, 255), 0, QueryDefaultFont());
             SetClipRect(0, 0, Width, Height);
         }, true},
        // More characters than the cache has cells: the last ones are drawn
        // from cells the string's first ones held.
        {"text evicting its own glyphs", [](const Graphs& g) {
             DrawGraph(30, 30, g.big, 0);
             int font = MakeFont(140);
             const char* text = "ABCDEFGHIJKLMNOPQRSTUVWXYZ";
             int width = FontCacheStringDraw({.font = font, .text = text});
             DrawTextWithFont(Width - width, 100, text, MakeColor(255, 128, 0), font, 0);
             ReleaseFontHandle(font);
         }, true},
        {"text from a cache in many tiles", [](const Graphs& g) {
             DrawGraph(30, 30, g.big, 0);
             // The cache goes to the device at the first draw, in tiles of
             // two cells.
             int font = MakeFont(30);
             SetGpuTextureLimit(64);
             DrawTextWithFont(10, 100, "Tessel 0123 ABCDEFGHIJK", MakeColor(255, 255, 0), font, 0);
             DrawCacheString(10, 140, "abcdefghijk", MakeColor(0, 0, 255), 0, font);
             SetGpuTextureLimit(0);
             ReleaseFontHandle(font);
         }, true},
    };
    // Shapes between sprites, clipped: the very pixels on either path.
    cases.push_back({"shapes", [](const Graphs& g) {
        SetClipRect(20, 20, 600, 400);
        DrawRectangle(10, 10, 200, 120, MakeColor(200, 30, 60), 1);
        DrawGraph(60, 60, g.sprite, 1);
        DrawRectangle(250, 40, 400, 90, MakeColor(20, 230, 60), 0);
        DrawLineSegment(5, 470, 630, 25, MakeColor(255, 255, 0), 1);
        DrawLineSegment(40, 300, 500, 380, MakeColor(0, 255, 255), 9);
        DrawCircleShape(420, 200, 90, MakeColor(255, 255, 255), 0);
        DrawTriangleShape(100, 390, 300, 150, 330, 420, MakeColor(255, 128, 0), 1);
        SetClipRect(0, 0, Width, Height);
    }, true});
    cases.push_back({"shapes under each blend", [](const Graphs& g) {
        DrawGraph(0, 0, g.big, 0);
        DrawGraph(200, 0, g.big, 0);
        for (int mode = BlendAlpha; mode <= BlendSubtract; ++mode)
            for (int amount : {0, 128, 255}) {
                SetBlendState(mode, amount);
                int x = 10 + 60 * amount / 128 + 200 * (mode % 2), y = 10 + 30 * (mode / 3);
                DrawCircleShape(x + 20, y + 100, 18, MakeColor(60, 250, 30), 1);
                SetDrawTint(255, 128, 64);
                DrawLineSegment(x, y + 150, x + 50, y + 190, MakeColor(250, 250, 250), 3);
                SetDrawTint(255, 255, 255);
            }
        SetBlendState(BlendNone, 0);
    }});
    for (double degrees : {0.0, 30.0, 90.0, 200.0})
        for (double scale : {0.5, 1.0, 2.5})
            cases.push_back({"rotation " + std::to_string(int(degrees)) + " scale " +
                                 std::to_string(scale),
                             [degrees, scale](const Graphs& g) {
                                 double angle = degrees * Pi / 180;
                                 DrawRotaGraph(200, 200, scale, angle, g.sprite, 1, 0);
                                 DrawRotaGraph(420, 260, scale, angle, g.big, 0, 0);
                                 DrawRotaGraph(230, 220, scale, angle, g.glow, 1, 0);
                             }});
    return cases;
}

// Every case drawn on one path, each on a cleared screen.
std::vector<std::vector<uint32_t>> Render(int gpu, int depth, bool windowed, bool* started) {
    std::vector<std::vector<uint32_t>> frames;
    *started = Start(gpu, depth, windowed);
    if (*started) {
        Graphs graphs = LoadArt();
        for (const DrawCase& c : DrawCases()) {
            ClearDrawTarget();
            c.draw(graphs);
            frames.push_back(ReadScreen(depth));
        }
    }
    EndLibrary();
    return frames;
}

class GpuPath : public ::testing::Test {
protected:
    ScratchDir dir;
    void SetUp() override { WriteArt(); }
    void TearDown() override {
        SetGpuTextureLimit(0);
        EndLibrary();
    }
};

TEST_F(GpuPath, DrawsMatchTheSoftwarePath) {
    struct Mode {
        int depth;
        bool windowed;
    };
    // Window mode takes the desktop's 32 bits for the screen.
    for (Mode mode : {Mode{16, false}, Mode{32, false}, Mode{32, true}}) {
        int depth = mode.depth;
        bool softwareStarted, gpuStarted;
        auto software = Render(0, depth, mode.windowed, &softwareStarted);
        auto gpu = Render(1, depth, mode.windowed, &gpuStarted);
        ASSERT_TRUE(softwareStarted);
        if (!gpuStarted) GTEST_SKIP() << "the GPU path cannot start here";
        std::vector<DrawCase> cases = DrawCases();
        for (size_t i = 0; i < cases.size(); ++i) {
            EXPECT_NE(CountDiffering(software[i], std::vector<uint32_t>(software[i].size()), 0), 0u)
                << cases[i].name << " drew nothing";
            std::string where = std::string(cases[i].name) + " at " + std::to_string(depth) +
                                " bits" + (mode.windowed ? ", windowed" : "");
            if (cases[i].exact)
                EXPECT_EQ(CountDiffering(software[i], gpu[i], 0), 0u) << where;
            else
                EXPECT_LE(CountDiffering(software[i], gpu[i], depth == 16 ? 1 : 2, depth),
                          software[i].size() / 1000)
                    << where;
        }
    }
}

// A 100 x 70 graph under a 64-pixel limit is four tiles, drawn plainly, in
// part and turned exactly as the graph in one piece; and so again when the
// device's context is torn down and made anew halfway through the frame,
// which keeps the picture drawn so far and makes the tiles again, the glyph
// cache's as well.
TEST_F(GpuPath, TiledGraphsDrawAsUnsplitOnes) {
    if (!Start(1, 32)) GTEST_SKIP() << "the GPU path cannot start here";
    struct Variant {
        int limit;
        bool restart;
    };
    std::vector<std::vector<uint32_t>> frames;
    for (Variant v : {Variant{0, false}, Variant{64, false}, Variant{64, true}}) {
        SetGpuTextureLimit(v.limit);
        int big = LoadGraphFile("big.bmp");
        ASSERT_GE(big, 0);
        EXPECT_EQ(GetGraphRecord(big)->tileCount, v.limit ? 4 : 1);
        ClearDrawTarget();
        DrawGraph(10, 10, big, 0);
        DrawTextString(10, 90, "Tessel", MakeColor(255, 255, 0), 0);
        if (v.restart) {
            ASSERT_EQ(RestartGpuPath(), 0);
            ASSERT_EQ(IsGpuDrawing(), 1);
        }
        DrawTextString(10, 110, "Tessel 0123", MakeColor(0, 255, 255), 0);
        DrawGraphPart(200, 20, 50, 40, 40, 25, big, 0, 0);
        DrawRotaGraph(320, 260, 1.7, 0.5, big, 0, 0);
        DrawRotaGraph(520, 360, 0.8, 3.5, big, 0, 0);
        EXPECT_EQ(GetGraphRecord(big)->tileCount, v.limit ? 4 : 1);
        frames.push_back(ReadScreen(32));
    }
    EXPECT_EQ(CountDiffering(frames[0], frames[1], 0), 0u) << "split";
    EXPECT_EQ(CountDiffering(frames[0], frames[2], 0), 0u) << "split, context made anew";
}

// A closing window takes a device context on it along: the path stops first,
// bringing the picture drawn so far into the back buffer, and what the
// program draws after that goes through the software path.
TEST_F(GpuPath, ClosingTheWindowStopsThePathFirst) {
    SetGpuDrawing(1);
    UseHeadless("1000 close\n");
    SetScreenMode(Width, Height, 32, -1);
    ASSERT_EQ(InitLibrary(), 0);
    if (!IsGpuDrawing()) GTEST_SKIP() << "the GPU path cannot start here";
    SetDrawTarget(TargetBack);
    int big = LoadGraphFile("big.bmp");
    ClearDrawTarget();
    DrawGraph(10, 10, big, 0);
    while (PumpMessages() == 0) {
    }
    EXPECT_EQ(IsGpuDrawing(), 0);
    DrawGraph(200, 10, big, 0);
    for (int x : {20, 60, 100})
        for (int y : {20, 70}) {
            EXPECT_NE(ReadScreenPixel(x, y), 0) << x << ", " << y;
            EXPECT_EQ(ReadScreenPixel(x + 190, y), ReadScreenPixel(x, y)) << x << ", " << y;
        }
}

// One texture's sprites, plain or turned every which way, with alpha or a
// key, go out in at most two calls at either depth; lines of text of one
// colour in one call, a quad a line, without the target coming back to the
// CPU (which would touch the back buffer's surface).
TEST_F(GpuPath, OneTexturesQuadsAreOneBatch) {
    for (int depth : {16, 32}) {
        if (!Start(1, depth)) GTEST_SKIP() << "the GPU path cannot start here";
        EXPECT_NE(ReadLogUtf8().find("３Ｄグラフィック描画機能を使用します"), std::string::npos);
        Graphs g = LoadArt();
        for (int graph : {g.glow, g.sprite})
            for (int turned : {0, 1}) {
                ClearDrawTarget();
                ReadScreenPixel(0, 0);
                PlatGpuResetDrawCalls();
                for (int i = 0; i < 1000; ++i) {
                    int x = i * 37 % Width, y = i * 53 % Height;
                    if (turned)
                        DrawRotaGraph(x, y, 0.75, i * 0.1, graph, 1, 0);
                    else
                        DrawGraph(x, y, graph, 1);
                }
                std::string where = std::to_string(depth) + " bits, " +
                                    (graph == g.glow ? "alpha" : "keyed") +
                                    (turned ? ", turned" : ", plain");
                EXPECT_NE(ReadScreenPixel(37, 53) & 0xFFFFFF, 0) << where;
                EXPECT_LE(PlatGpuDrawCalls(), 2) << where;
                EXPECT_GE(PlatGpuDrawCalls(), 1) << where;
            }
        if (depth == 16) EndLibrary();
    }
    const char* text = "The quick brown fox jumps over the lazy dog 0123456789";
    DrawTextString(0, 0, text, MakeColor(255, 255, 255), 0);  // fills the cache
    PlatGpuFlush();
    uint32_t surfaceChanges = gScreenState.back->changeCount;
    PlatGpuResetDrawCalls();
    DrawGraph(0, 200, LoadGraphFile("glow.png"), 1);
    for (int line = 0; line < 20; ++line)
        DrawTextString(0, 20 + line * 20, text, MakeColor(255, 255, 0), 0);
    DrawTextString(0, 440, text, MakeColor(0, 255, 255), 0);
    PlatGpuFlush();
    EXPECT_EQ(PlatGpuDrawCalls(), 3) << "the graph, the yellow lines, the cyan one";
    EXPECT_EQ(PlatGpuQuadsSent(), 1 + 21) << "one quad a line";
    EXPECT_EQ(gScreenState.back->changeCount, surfaceChanges);
}

// Rectangles drawn between one texture's sprites go out in their calls.
TEST_F(GpuPath, ShapesBetweenSpritesShareTheirBatch) {
    for (int depth : {16, 32}) {
        if (!Start(1, depth)) GTEST_SKIP() << "the GPU path cannot start here";
        Graphs g = LoadArt();
        for (int sprite : {g.big, g.glow, g.sprite}) {
            ClearDrawTarget();
            PlatGpuResetDrawCalls();
            for (int i = 0; i < 1000; ++i) {
                DrawGraph(i * 37 % Width, i * 53 % Height, sprite, 0);
                DrawRectangle(i * 41 % Width, i * 29 % Height, i * 41 % Width + 9,
                              i * 29 % Height + 7, MakeColor(i & 255, 90, 200), i & 1);
            }
            PlatGpuFlush();
            EXPECT_LE(PlatGpuDrawCalls(), 4) << depth << " bits, sprite " << sprite;
        }
        EndLibrary();
    }
}

// On a software rasterizer, memory a frame took and gave back stays with
// the process for the next frame instead of going back to the kernel.
TEST_F(GpuPath, FrameMemoryStaysOnASoftwareRasterizer) {
    if (!Start(1, 32)) GTEST_SKIP() << "the GPU path cannot start here";
    if (!PlatGpuSoftware()) GTEST_SKIP() << "the device draws in hardware";
    std::vector<void*> blocks(64);
    for (void*& block : blocks) std::memset(block = std::malloc(64 << 10), 1, 64 << 10);
    for (auto it = blocks.rbegin(); it != blocks.rend(); ++it) std::free(*it);
    EXPECT_GE(mallinfo2().keepcost, size_t(2) << 20);
}

// Left to the default, the path runs only where the device draws in
// hardware; asked for, it runs on a software rasterizer too. The log names
// the device and the choice in one line.
TEST_F(GpuPath, ByDefaultRunsOnlyOnHardware) {
    if (!Start(1, 32)) GTEST_SKIP() << "the GPU path cannot start here";
    std::string renderer = PlatGpuRenderer(), log = ReadLogUtf8();
    bool software = false;
    for (const char* name : {"llvmpipe", "softpipe", "swrast"})
        software = software || renderer.find(name) != std::string::npos;
    EXPECT_TRUE(!software || PlatGpuSoftware());
    EXPECT_NE(log.find("３Ｄグラフィック描画機能を使用します ( " + renderer), std::string::npos);
    EndLibrary();
    PlatGpuSetRequest(PlatGpuIfHardware);
    UseHeadless("");
    SetScreenMode(Width, Height, 32, -1);
    ASSERT_EQ(InitLibrary(), 0);
    EXPECT_EQ(IsGpuDrawing(), software ? 0 : 1) << renderer;
    std::string line = software ? "３Ｄグラフィック描画機能は使用しません ( " + renderer
                                : "３Ｄグラフィック描画機能を使用します ( " + renderer;
    EXPECT_NE(ReadLogUtf8().find(line), std::string::npos) << line;
    PlatGpuSetRequest(-1);
}

size_t Occurrences(const std::string& text, const std::string& part) {
    size_t count = 0;
    for (size_t at = text.find(part); at != std::string::npos; at = text.find(part, at + 1)) ++count;
    return count;
}

// A device error left behind by a draw is logged with the operation's
// name, once however often it comes back; drawing goes on.
TEST_F(GpuPath, DeviceErrorsAreLoggedOnceWithTheOperation) {
    if (!Start(1, 32)) GTEST_SKIP() << "the GPU path cannot start here";
    int big = LoadGraphFile("big.bmp");
    ClearDrawTarget();
    struct Case {
        const char* name;
        std::function<int()> draw;
    } cases[] = {
        {"DrawGraph", [&] { return DrawGraph(10, 10, big, 0); }},
        {"DrawRotaGraph", [&] { return DrawRotaGraph(200, 200, 1.5, 0.3, big, 0, 0); }},
        {"DrawMesh3D", [&] {
             return DrawMesh3D(MeshBall, 0, 0, 0, 1, 1, 1, 0, 0, 0, -1, MakeColor(255, 0, 0));
         }},
    };
    for (const Case& c : cases)
        for (int round = 0; round < 2; ++round) {
            glEnable(GL_TEXTURE_2D);  // not a capability of a core context: an error
            c.draw();
        }
    std::string log = ReadLogUtf8();
    for (const Case& c : cases)
        EXPECT_EQ(Occurrences(log, std::string(" : ") + c.name + " ( コード 0x0500 )"), 1u) << c.name;
    EXPECT_EQ(ReadScreenPixel(10, 10), ReadScreenPixel(10, 10) | 0xFF000000) << "the graph drawn";
}

// A context destroyed under the path is noticed at the next frame: the path
// starts again on a new one, says so, and draws from the graphs' CPU copies.
TEST_F(GpuPath, ALostContextRestartsThePath) {
    if (!Start(1, 32)) GTEST_SKIP() << "the GPU path cannot start here";
    int big = LoadGraphFile("big.bmp");
    ClearDrawTarget();
    DrawGraph(10, 10, big, 0);
    int before = ReadScreenPixel(20, 20);
    EGLDisplay display = eglGetCurrentDisplay();
    EGLContext context = eglGetCurrentContext();
    ASSERT_NE(context, EGL_NO_CONTEXT);
    eglMakeCurrent(display, EGL_NO_SURFACE, EGL_NO_SURFACE, EGL_NO_CONTEXT);
    eglDestroyContext(display, context);
    ClearDrawTarget();
    DrawGraph(210, 10, big, 0);
    DrawTextString(10, 100, "Tessel", MakeColor(255, 255, 0), 0);
    EXPECT_EQ(IsGpuDrawing(), 1);
    EXPECT_EQ(ReadScreenPixel(220, 20), before);
    EXPECT_EQ(ReadScreenPixel(20, 20), 0) << "the clear";
    EXPECT_NE(eglGetCurrentContext(), EGL_NO_CONTEXT);
    EXPECT_EQ(Occurrences(ReadLogUtf8(), "ＧＰＵ描画のコンテキストが失われたため作り直します"), 1u);
}

// Asked for where the device offers no GL 3.3, the path stays off with its
// log line and the software path draws.
TEST_F(GpuPath, FallsBackToSoftwareWithoutGl33) {
    setenv("MESA_GL_VERSION_OVERRIDE", "2.1", 1);
    Start(1, 16);
    unsetenv("MESA_GL_VERSION_OVERRIDE");
    EXPECT_EQ(IsGpuDrawing(), 0);
    EXPECT_NE(ReadLogUtf8().find("３Ｄグラフィック描画機能は使用しません"), std::string::npos);
    EXPECT_EQ(SetDrawFilter(1), -1);
    EXPECT_EQ(DrawMesh3D(MeshCube, 0, 0, 0, 1, 1, 1, 0, 0, 0, -1, MakeColor(255, 255, 255)), -1);
    int sprite = LoadGraphFile("sprite.bmp");
    ClearDrawTarget();
    ASSERT_EQ(DrawGraph(0, 0, sprite, 0), 0);
    uint32_t c = Gradient(64, 48, false).At(0, 0);
    EXPECT_EQ(ReadScreenPixel(0, 0), int(MakeColor(c >> 16 & 255, c >> 8 & 255, c & 255)));
}


// Pixels of the screen that are not black.
int CountLit() {
    int count = 0;
    for (int y = 0; y < Height; ++y)
        for (int x = 0; x < Width; ++x) count += ReadScreenPixel(x, y) != 0;
    return count;
}

// Each shape, centred on the view axis 10 units from a 60-degree camera and
// lit by ambient light alone, covers its analytic silhouette within 2 %.
TEST_F(GpuPath, MeshSilhouettesHaveTheirAnalyticAreas) {
    if (!Start(1, 32)) GTEST_SKIP() << "the GPU path cannot start here";
    ASSERT_EQ(SetCamera3D(0, 0, 10, 0, 0, 0, 60), 0);
    ASSERT_EQ(SetLight3D(0, 0, -1, 255), 0);
    const double f = Height / 2 / std::tan(Pi / 6);  // pixels per unit at distance 1
    struct Shape {
        int shape;
        float size[3];
        float pitch;
        double area;
    } shapes[] = {
        {MeshBall, {4, 4, 4}, 0, Pi * std::pow(f * 2 / std::sqrt(96.0), 2)},
        {MeshCircle, {4, 4, 4}, 0, Pi * std::pow(f * 2 / 10, 2)},
        {MeshPaper, {4, 3, 1}, 0, std::pow(f / 10, 2) * 12},
        {MeshCube, {3, 3, 3}, 0, std::pow(f * 3 / 8.5, 2)},
        // Turned apex first towards the eye: the base triangle 12 units off.
        {MeshPyramid, {4, 4, 4}, float(Pi / 2), std::pow(f / 12, 2) * 3 * std::sqrt(3.0)},
    };
    for (const Shape& s : shapes) {
        ClearDrawTarget();
        ASSERT_EQ(DrawMesh3D(s.shape, 0, 0, 0, s.size[0], s.size[1], s.size[2], 0, s.pitch, 0, -1,
                             MakeColor(255, 255, 255)),
                  0);
        EXPECT_NEAR(CountLit(), s.area, s.area * 0.02) << "shape " << s.shape;
    }
}

// A cube textured with a graph the library drew into, in part by mixing
// (which leaves a 32-bit pixel's spare bits 0), shows the graph's colours
// whole: its front face, seen head-on under ambient light alone, has the
// cube's silhouette and the graph's mean colour.
TEST_F(GpuPath, TexturedCubeShowsAGraphDrawnOntoATarget) {
    for (int depth : {16, 32}) {
        if (!Start(1, depth)) GTEST_SKIP() << "the GPU path cannot start here";
        ASSERT_EQ(SetLight3D(0, 0, -1, 255), 0);
        int big = LoadGraphFile("big.bmp"), glow = LoadGraphFile("glow.png");
        int canvas = CreateEmptyGraph(100, 70, 0, 0);
        SetDrawTarget(canvas);
        ClearDrawTarget();
        DrawGraph(0, 0, big, 0);
        DrawGraph(26, 11, glow, 1);
        SetDrawTarget(TargetBack);
        double want[3] = {}, got[3] = {};
        int pitch;
        uint8_t* pixels;
        ASSERT_EQ(LockGraphSurface(canvas, &pitch, &pixels), 0);
        for (int y = 0; y < 70; ++y)
            for (int x = 0; x < 100; ++x) {
                const uint8_t* p = pixels + y * pitch + x * depth / 8;
                uint32_t c = Widened(depth == 16 ? uint32_t(p[0] | p[1] << 8)
                                                 : uint32_t(p[0] | p[1] << 8 | p[2] << 16),
                                     depth);
                for (int i = 0; i < 3; ++i) want[i] += double(c >> (16 - 8 * i) & 0xFF) / 7000;
            }
        UnlockGraphSurface(canvas);
        ClearDrawTarget();
        ASSERT_EQ(DrawMesh3D(MeshCube, 0, 0, 0, 3, 3, 3, 0, 0, 0, canvas, MakeColor(255, 255, 255)),
                  0);
        int lit = 0;
        for (uint32_t c : ReadScreen(depth)) {
            if ((c & 0xFFFFFF) == 0) continue;
            ++lit;
            for (int i = 0; i < 3; ++i) got[i] += c >> (16 - 8 * i) & 0xFF;
        }
        const double f = Height / 2 / std::tan(Pi / 6), area = std::pow(f * 3 / 8.5, 2);
        EXPECT_NEAR(lit, area, area * 0.02) << depth << " bits";
        for (int i = 0; i < 3; ++i)
            EXPECT_NEAR(got[i] / std::max(lit, 1), want[i], 4.0) << depth << " bits, channel " << i;
        EndLibrary();
    }
}

// A cube in front of a ball hides it whichever is drawn first; a clear
// empties the depth buffer too.
TEST_F(GpuPath, NearerMeshesHideFartherOnes) {
    if (!Start(1, 32)) GTEST_SKIP() << "the GPU path cannot start here";
    SetLight3D(0, 0, -1, 255);
    uint32_t red = MakeColor(255, 0, 0), blue = MakeColor(0, 0, 255);
    for (int ballFirst : {1, 0}) {
        ClearDrawTarget();
        if (ballFirst) DrawMesh3D(MeshBall, 0, 0, 0, 3, 3, 3, 0, 0, 0, -1, red);
        ASSERT_EQ(DrawMesh3D(MeshCube, 0, 0, 3, 4, 4, 4, 0.2f, 0.1f, 0, -1, blue), 0);
        if (!ballFirst) DrawMesh3D(MeshBall, 0, 0, 0, 3, 3, 3, 0, 0, 0, -1, red);
        int redPixels = 0;
        for (int y = 0; y < Height; ++y)
            for (int x = 0; x < Width; ++x) redPixels += (ReadScreenPixel(x, y) >> 16 & 0xFF) != 0;
        EXPECT_EQ(redPixels, 0) << "ball first " << ballFirst;
        EXPECT_EQ(ReadScreenPixel(Width / 2, Height / 2) & 0xFFFFFF, int(blue & 0xFFFFFF));
    }
    ClearDrawTarget();
    DrawMesh3D(MeshBall, 0, 0, 0, 3, 3, 3, 0, 0, 0, -1, red);
    EXPECT_EQ(ReadScreenPixel(Width / 2, Height / 2) & 0xFFFFFF, int(red & 0xFFFFFF));
}

// Bad shapes and values that are not finite draw nothing, return -1 and
// leave no device error behind.
TEST_F(GpuPath, BadMeshInputDrawsNothing) {
    if (!Start(1, 32)) GTEST_SKIP() << "the GPU path cannot start here";
    const float nan = std::nanf(""), inf = INFINITY;
    ClearDrawTarget();
    struct Bad {
        int shape;
        float x, size, yaw;
    } bad[] = {{-1, 0, 1, 0}, {5, 0, 1, 0}, {MeshCube, nan, 1, 0}, {MeshCube, 0, inf, 0},
               {MeshBall, 0, 1, nan}, {MeshBall, 0, -inf, 0}};
    for (const Bad& b : bad)
        EXPECT_EQ(DrawMesh3D(b.shape, b.x, 0, 0, b.size, b.size, b.size, b.yaw, 0, 0, -1,
                             MakeColor(255, 255, 255)),
                  -1);
    EXPECT_EQ(SetCamera3D(0, 0, nan, 0, 0, 0, 60), -1);
    EXPECT_EQ(SetCamera3D(0, 0, 5, 0, 0, 0, 180), -1);
    EXPECT_EQ(SetCamera3D(1, 2, 3, 1, 2, 3, 60), -1);
    EXPECT_EQ(SetCameraRange3D(0, 10), -1);
    EXPECT_EQ(SetCameraRange3D(5, inf), -1);
    EXPECT_EQ(SetLight3D(0, 0, 0, 10), -1);
    EXPECT_EQ(SetLight3D(0, 0, 1, 256), -1);
    EXPECT_EQ(CountLit(), 0);
    EXPECT_EQ(PlatGpuTakeError(), 0u);
}

}  // namespace
