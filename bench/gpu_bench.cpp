// Frames of N turned 32 x 32 alpha sprites from one texture at 640 x 480,
// N = 100, 1000, 10000: our GPU path and our software path on 16- and
// 32-bit screens (the second argument), SDL2's renderer on
// its opengl driver (SDL_RenderCopyEx) and SFML's sf::VertexArray, all on the
// same Mesa driver. Run it under a display (xvfb-run) for the two peers; our
// GPU path needs none.
//
// Every frame is cleared, drawn and read back into memory (our ReadScreenPixel
// brings the target into the back buffer; the peers read their target
// back), so ms/frame compares whole frames. Our paths also draw the frame
// with 20 lines of text over the sprites (the "WithText" cases), which may
// cost at most 1 ms more than the frame without. The "Glow" cases draw the
// 1000 sprites added at half weight through a tint (SDL2: additive blend
// mode with alpha and colour modulation). us_per_sprite is the CPU
// time of the submitting calls alone, divided by the sprites submitted;
// draw_calls and quads are what our path sent to the device for one frame.
#include "graphics/graph.h"
#include "platform/gpu/gpu.h"
#include "sdl_renderer.h"
#include "tessel.h"

#include <SDL.h>
#include <SFML/Graphics.hpp>
#include <SFML/OpenGL.hpp>
#include <benchmark/benchmark.h>

#include <ctime>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <vector>

namespace {

constexpr int ScreenW = 640, ScreenH = 480, Side = 32;

// The sprite: a disc whose alpha falls off towards its rim.
std::vector<uint32_t> SpriteArgb() {
    std::vector<uint32_t> argb;
    for (int y = 0; y < Side; ++y)
        for (int x = 0; x < Side; ++x) {
            double d = std::hypot(x - 15.5, y - 15.5) / 16.0;
            uint32_t a = d >= 1 ? 0 : uint32_t(255 * (1 - d * d));
            argb.push_back(a << 24 | uint32_t(200 + x) << 16 | uint32_t(100 + 4 * y) << 8 | 60);
        }
    return argb;
}

struct Placement {
    int x, y;
    double angle;
};

Placement Place(int i, int frame) {
    return Placement{(i * 97) % ScreenW, (i * 61 + i / 7) % ScreenH, i * 0.37 + frame * 0.05};
}

// The submitting thread's own CPU seconds: what the calls cost, however
// busy the machine is.
double ThreadSeconds() {
    timespec t{};
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &t);
    return double(t.tv_sec) + double(t.tv_nsec) * 1e-9;
}

void Report(benchmark::State& state, double submitSeconds, int n) {
    double sprites = double(state.iterations()) * n;
    state.counters["us_per_sprite"] = submitSeconds * 1e6 / sprites;
    state.SetItemsProcessed(int64_t(sprites));
}

// --- ours ------------------------------------------------------------------------------

int StartOurs(int gpu, int depth) {
    setenv("TESSEL_PLATFORM", "headless", 1);
    SetLogEnabled(0);
    SetGpuDrawing(gpu);
    SetScreenMode(ScreenW, ScreenH, depth, -1);
    if (InitLibrary() != 0) return -1;
    SetDrawTarget(TargetBack);
    int graph = CreateEmptyGraph(Side, Side, 1, 1);
    int pitch;
    uint8_t* pixels;
    LockGraphSurface(graph, &pitch, &pixels);
    std::vector<uint32_t> argb = SpriteArgb();
    const SurfaceDataRecord* record =
        GetSurfaceDataRecord(GetBmpDataRecord(GetGraphRecord(graph)->pieces[0])->surface);
    for (int y = 0; y < Side; ++y)
        for (int x = 0; x < Side; ++x) {
            uint32_t c = argb[size_t(y) * Side + x];
            uint32_t value = MakeColor(c >> 16 & 255, c >> 8 & 255, c & 255);
            // Little-endian: the low bytes are the 16-bit pixel.
            std::memcpy(pixels + y * pitch + x * depth / 8, &value, size_t(depth / 8));
            record->alphaBuffer[y * record->alphaPitch + x] = uint8_t(c >> 24);
        }
    UnlockGraphSurface(graph);
    return graph;
}

// 20 lines of 40 characters over the sprites, as a busy HUD would be.
void DrawHud() {
    uint32_t white = MakeColor(255, 255, 255);
    for (int line = 0; line < 20; ++line)
        DrawTextFormat(8, 8 + line * 22, white, "LINE %02d WIND -27 POWER 16 ANGLE 25 HIT", line);
}

// The blended frames: every sprite added at half weight through a warm
// tint, as glows and explosions are drawn.
constexpr int GlowTint[3] = {255, 200, 120};

void Ours(benchmark::State& state, int gpu, bool text = false, bool glow = false) {
    int n = int(state.range(0)), depth = int(state.range(1));
    int sprite = StartOurs(gpu, depth);
    if (sprite < 0 || IsGpuDrawing() != gpu) {
        EndLibrary();
        state.SkipWithError("the path did not start");
        return;
    }
    if (glow) {
        SetBlendState(BlendAdd, 128);
        SetDrawTint(GlowTint[0], GlowTint[1], GlowTint[2]);
    }
    double submit = 0;
    int frame = 0, calls = 0, quads = 0;
    for (auto _ : state) {
        ClearDrawTarget();
        PlatGpuResetDrawCalls();
        double start = ThreadSeconds();
        for (int i = 0; i < n; ++i) {
            Placement p = Place(i, frame);
            DrawRotaGraph(p.x, p.y, 1.0, p.angle, sprite, 1, 0);
        }
        if (text) DrawHud();
        submit += ThreadSeconds() - start;
        benchmark::DoNotOptimize(ReadScreenPixel(1, 1));
        calls = PlatGpuDrawCalls();
        quads = PlatGpuQuadsSent();
        ++frame;
    }
    Report(state, submit, n);
    if (gpu) {
        state.counters["draw_calls"] = calls;
        state.counters["quads"] = quads;
    }
    EndLibrary();
}

void BM_OurGpuPath(benchmark::State& state) { Ours(state, 1); }
void BM_OurSoftwarePath(benchmark::State& state) { Ours(state, 0); }
void BM_OurGpuPathWithText(benchmark::State& state) { Ours(state, 1, true); }
void BM_OurSoftwarePathWithText(benchmark::State& state) { Ours(state, 0, true); }
void BM_OurGpuPathGlow(benchmark::State& state) { Ours(state, 1, false, true); }
void BM_OurSoftwarePathGlow(benchmark::State& state) { Ours(state, 0, false, true); }

// --- SDL2's renderer, opengl driver -----------------------------------------------------

void Sdl2Renderer(benchmark::State& state, bool glow) {
    int n = int(state.range(0));
    SdlGlRenderer sdl = OpenSdlGlRenderer(state, ScreenW, ScreenH);
    if (!sdl.renderer) return;
    SDL_Renderer* renderer = sdl.renderer;
    std::vector<uint32_t> argb = SpriteArgb();
    SDL_Texture* texture = SDL_CreateTexture(renderer, SDL_PIXELFORMAT_ARGB8888,
                                             SDL_TEXTUREACCESS_STATIC, Side, Side);
    SDL_UpdateTexture(texture, nullptr, argb.data(), Side * 4);
    SDL_SetTextureBlendMode(texture, glow ? SDL_BLENDMODE_ADD : SDL_BLENDMODE_BLEND);
    if (glow) {
        SDL_SetTextureAlphaMod(texture, 128);
        SDL_SetTextureColorMod(texture, GlowTint[0], GlowTint[1], GlowTint[2]);
    }
    std::vector<uint32_t> frameRows(size_t(ScreenW) * ScreenH);
    double submit = 0;
    int frame = 0;
    for (auto _ : state) {
        SDL_SetRenderDrawColor(renderer, 0, 0, 0, 255);
        SDL_RenderClear(renderer);
        double start = ThreadSeconds();
        for (int i = 0; i < n; ++i) {
            Placement p = Place(i, frame);
            SDL_Rect dst{p.x - Side / 2, p.y - Side / 2, Side, Side};
            SDL_RenderCopyEx(renderer, texture, nullptr, &dst, p.angle * 180 / M_PI, nullptr,
                             SDL_FLIP_NONE);
        }
        submit += ThreadSeconds() - start;
        SDL_RenderReadPixels(renderer, nullptr, SDL_PIXELFORMAT_ARGB8888, frameRows.data(),
                             ScreenW * 4);
        benchmark::DoNotOptimize(frameRows.data());
        ++frame;
    }
    Report(state, submit, n);
    SDL_DestroyTexture(texture);
    CloseSdlGlRenderer(&sdl);
}

void BM_Sdl2RendererOpenGl(benchmark::State& state) { Sdl2Renderer(state, false); }
void BM_Sdl2RendererOpenGlGlow(benchmark::State& state) { Sdl2Renderer(state, true); }

// --- SFML's vertex array ----------------------------------------------------------------

void BM_SfmlVertexArray(benchmark::State& state) {
    int n = int(state.range(0));
    // One context for the whole run keeps the library's display connection
    // open: made again after the other peer has shut its video down, it is
    // refused.
    static sf::Context keepDisplay;
    sf::RenderTexture target;
    if (!target.create(ScreenW, ScreenH)) {
        state.SkipWithError("no SFML render texture (run under xvfb-run)");
        return;
    }
    std::vector<uint32_t> argb = SpriteArgb();
    std::vector<sf::Uint8> rgba;
    for (uint32_t c : argb)
        for (int shift : {16, 8, 0, 24}) rgba.push_back(sf::Uint8(c >> shift));
    sf::Image image;
    image.create(Side, Side, rgba.data());
    sf::Texture texture;
    texture.loadFromImage(image);
    sf::VertexArray quads(sf::Quads, size_t(n) * 4);
    std::vector<uint32_t> frameRows(size_t(ScreenW) * ScreenH);
    double submit = 0;
    int frame = 0;
    for (auto _ : state) {
        target.clear(sf::Color::Black);
        double start = ThreadSeconds();
        for (int i = 0; i < n; ++i) {
            Placement p = Place(i, frame);
            float c = float(std::cos(p.angle)), s = float(std::sin(p.angle));
            const float cx[4] = {-16, 16, 16, -16}, cy[4] = {-16, -16, 16, 16};
            const float tu[4] = {0, Side, Side, 0}, tv[4] = {0, 0, Side, Side};
            for (int k = 0; k < 4; ++k) {
                sf::Vertex& v = quads[size_t(i) * 4 + size_t(k)];
                v.position = {p.x + cx[k] * c - cy[k] * s, p.y + cx[k] * s + cy[k] * c};
                v.texCoords = {tu[k], tv[k]};
            }
        }
        target.draw(quads, &texture);
        submit += ThreadSeconds() - start;
        target.display();
        // Into one buffer for the whole run, as the other peer reads: a
        // fresh image a frame would measure the allocator, not the drawing.
        target.setActive(true);
        glReadPixels(0, 0, ScreenW, ScreenH, GL_BGRA, GL_UNSIGNED_BYTE, frameRows.data());
        benchmark::DoNotOptimize(frameRows.data());
        ++frame;
    }
    Report(state, submit, n);
}

}  // namespace

// CPU time is the whole process's, the driver's rasterising threads
// included: the work a frame costs, which a busy machine does not hide.
#define FRAMES(bm)                                                                      \
    BENCHMARK(bm)->Arg(100)->Arg(1000)->Arg(10000)->MeasureProcessCPUTime()->UseRealTime() \
        ->Unit(benchmark::kMillisecond)
// Ours take N and the screen's depth.
#define OUR_FRAMES(bm, ...)                                                                  \
    BENCHMARK(bm)->ArgsProduct({__VA_ARGS__, {16, 32}})->MeasureProcessCPUTime()->UseRealTime() \
        ->Unit(benchmark::kMillisecond)
OUR_FRAMES(BM_OurGpuPath, {100, 1000, 10000});
OUR_FRAMES(BM_OurSoftwarePath, {100, 1000, 10000});
OUR_FRAMES(BM_OurGpuPathWithText, {100, 1000, 10000});
OUR_FRAMES(BM_OurSoftwarePathWithText, {1000});
FRAMES(BM_Sdl2RendererOpenGl);
OUR_FRAMES(BM_OurGpuPathGlow, {1000});
OUR_FRAMES(BM_OurSoftwarePathGlow, {1000});
BENCHMARK(BM_Sdl2RendererOpenGlGlow)->Arg(1000)->MeasureProcessCPUTime()->UseRealTime()
    ->Unit(benchmark::kMillisecond);
FRAMES(BM_SfmlVertexArray);
