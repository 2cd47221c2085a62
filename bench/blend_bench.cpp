// The blend state's graphs against their peers, in one run, at 640 x 480 on
// 16- and 32-bit screens: a whole-screen graph under BlendAlpha 128 (with
// and without an alpha plane) against SDL2's surface blits with alpha
// modulation and pixman's OVER through a solid mask of 128, and under
// BlendAdd against pixman's ADD. Every case reports pixels per second
// (items_per_second), so the ratios of the goals read off one table.
//
// Our side draws through the public operations on the headless platform,
// so the clipping, the state and the locks are all counted.
#include "graphics/graph.h"
#include "tessel.h"

#include <SDL.h>
#include <benchmark/benchmark.h>
#include <pixman.h>

#include <cmath>
#include <cstdlib>
#include <cstring>
#include <random>
#include <vector>

namespace {

constexpr int ScreenW = 640, ScreenH = 480;

// A sprite-like alpha plane: a soft-edged ellipse filling the rectangle.
uint8_t SpriteAlpha(int x, int y) {
    double dx = (x + 0.5 - ScreenW / 2.0) / (ScreenW / 2.0);
    double dy = (y + 0.5 - ScreenH / 2.0) / (ScreenH / 2.0);
    double edge = (1.0 - std::sqrt(dx * dx + dy * dy)) * ScreenH / 8.0;
    return uint8_t(std::fmin(std::fmax(edge, 0.0), 1.0) * 255.0);
}

struct Library {
    int depth = 0;
    void Use(int wanted) {
        if (depth == wanted) return;
        if (depth == 0) {
            setenv("TESSEL_PLATFORM", "headless", 1);
            SetLogEnabled(0);
            SetScreenMode(ScreenW, ScreenH, wanted, -1);
            if (InitLibrary() != 0) std::abort();
        } else {
            SetScreenMode(ScreenW, ScreenH, wanted, -1);
        }
        SetDrawTarget(TargetBack);
        depth = wanted;
    }
};

Library gLibrary;

// A whole-screen graph of random colours, with the sprite plane when `alpha`.
int MakeGraph(bool alpha) {
    int graph = CreateEmptyGraph(ScreenW, ScreenH, 0, alpha ? 1 : 0);
    int pitch;
    uint8_t* pixels;
    if (LockGraphSurface(graph, &pitch, &pixels) != 0) std::abort();
    std::mt19937 rng(5);
    int bytes = gLibrary.depth / 8;
    for (int y = 0; y < ScreenH; ++y)
        for (int x = 0; x < ScreenW; ++x) {
            uint32_t v = MakeColor(int(rng() & 0xFF) | 1, int(rng() & 0xFF), int(rng() & 0xFF));
            std::memcpy(pixels + y * pitch + x * bytes, &v, size_t(bytes));
        }
    UnlockGraphSurface(graph);
    if (alpha) {
        SurfaceDataRecord* record =
            GetSurfaceDataRecord(GetBmpDataRecord(GetGraphRecord(graph)->pieces[0])->surface);
        for (int y = 0; y < ScreenH; ++y)
            for (int x = 0; x < ScreenW; ++x)
                record->alphaBuffer[y * record->alphaPitch + x] = SpriteAlpha(x, y);
    }
    return graph;
}

void CountPixels(benchmark::State& state) {
    state.SetItemsProcessed(int64_t(state.iterations()) * ScreenW * ScreenH);
}

void Ours(benchmark::State& state, int depth, int mode, int amount, bool alpha) {
    gLibrary.Use(depth);
    int graph = MakeGraph(alpha);
    SetBlendState(mode, amount);
    for (auto _ : state) {
        DrawGraph(0, 0, graph, 0);
        benchmark::ClobberMemory();
    }
    SetBlendState(BlendNone, 0);
    FreeGraphHandle(graph, 0);
    CountPixels(state);
}

// SDL2: a screen-sized surface, with or without per-pixel alpha, blended at
// alpha modulation 128 onto a screen surface.
void Sdl(benchmark::State& state, int depth, bool alpha) {
    uint32_t screenFormat = depth == 16 ? SDL_PIXELFORMAT_RGB565 : SDL_PIXELFORMAT_RGB888;
    SDL_Surface* src = SDL_CreateRGBSurfaceWithFormat(
        0, ScreenW, ScreenH, 32, alpha ? SDL_PIXELFORMAT_ARGB8888 : screenFormat);
    if (!alpha) {
        SDL_FreeSurface(src);
        src = SDL_CreateRGBSurfaceWithFormat(0, ScreenW, ScreenH, depth, screenFormat);
    }
    SDL_Surface* dst = SDL_CreateRGBSurfaceWithFormat(0, ScreenW, ScreenH, depth, screenFormat);
    std::mt19937 rng(9);
    for (int y = 0; y < ScreenH; ++y)
        for (int x = 0; x < ScreenW; ++x) {
            uint8_t* p = static_cast<uint8_t*>(src->pixels) + y * src->pitch;
            uint32_t v = uint32_t(SpriteAlpha(x, y)) << 24 | (rng() & 0xFFFFFF);
            std::memcpy(p + x * src->format->BytesPerPixel, &v, src->format->BytesPerPixel);
        }
    SDL_SetSurfaceBlendMode(src, SDL_BLENDMODE_BLEND);
    SDL_SetSurfaceAlphaMod(src, 128);
    for (auto _ : state) {
        SDL_Rect to = {0, 0, ScreenW, ScreenH};
        SDL_BlitSurface(src, nullptr, dst, &to);
        benchmark::ClobberMemory();
    }
    SDL_FreeSurface(src);
    SDL_FreeSurface(dst);
    CountPixels(state);
}

// pixman: a screen-sized a8r8g8b8 source (premultiplied; opaque without
// `alpha`) composited with `op` onto the screen, through a solid mask of
// `mask` (255: none).
void Pixman(benchmark::State& state, int depth, pixman_op_t op, int mask, bool alpha) {
    std::vector<uint32_t> src(size_t(ScreenW) * ScreenH);
    std::mt19937 rng(9);
    for (int y = 0; y < ScreenH; ++y)
        for (int x = 0; x < ScreenW; ++x) {
            uint32_t a = alpha ? SpriteAlpha(x, y) : 255, c[3];
            for (uint32_t& v : c) v = a ? rng() % (a + 1) : 0;
            src[size_t(y) * ScreenW + x] = a << 24 | c[0] << 16 | c[1] << 8 | c[2];
        }
    int bytes = depth / 8;
    std::vector<uint32_t> dst(size_t(ScreenW) * ScreenH * bytes / 4 + 1, 0x5A5A5A5A);
    pixman_image_t* s =
        pixman_image_create_bits(PIXMAN_a8r8g8b8, ScreenW, ScreenH, src.data(), ScreenW * 4);
    pixman_image_t* d = pixman_image_create_bits(depth == 16 ? PIXMAN_r5g6b5 : PIXMAN_x8r8g8b8,
                                                 ScreenW, ScreenH, dst.data(), ScreenW * bytes);
    pixman_color_t grey = {0, 0, 0, uint16_t(mask * 257)};
    pixman_image_t* m = mask < 255 ? pixman_image_create_solid_fill(&grey) : nullptr;
    for (auto _ : state) {
        pixman_image_composite32(op, s, m, d, 0, 0, 0, 0, 0, 0, ScreenW, ScreenH);
        benchmark::ClobberMemory();
    }
    if (m) pixman_image_unref(m);
    pixman_image_unref(s);
    pixman_image_unref(d);
    CountPixels(state);
}

}  // namespace

// Alpha 128, a plain graph and one with a sprite's plane.
BENCHMARK_CAPTURE(Ours, Alpha128_16, 16, BlendAlpha, 128, false);
BENCHMARK_CAPTURE(Sdl, AlphaMod128_16, 16, false);
BENCHMARK_CAPTURE(Pixman, OverMask128_16, 16, PIXMAN_OP_OVER, 128, false);
BENCHMARK_CAPTURE(Ours, Alpha128_16_Plane, 16, BlendAlpha, 128, true);
BENCHMARK_CAPTURE(Sdl, AlphaMod128_16_Plane, 16, true);
BENCHMARK_CAPTURE(Pixman, OverMask128_16_Plane, 16, PIXMAN_OP_OVER, 128, true);
BENCHMARK_CAPTURE(Ours, Alpha128_32, 32, BlendAlpha, 128, false);
BENCHMARK_CAPTURE(Sdl, AlphaMod128_32, 32, false);
BENCHMARK_CAPTURE(Pixman, OverMask128_32, 32, PIXMAN_OP_OVER, 128, false);
BENCHMARK_CAPTURE(Ours, Alpha128_32_Plane, 32, BlendAlpha, 128, true);
BENCHMARK_CAPTURE(Sdl, AlphaMod128_32_Plane, 32, true);
BENCHMARK_CAPTURE(Pixman, OverMask128_32_Plane, 32, PIXMAN_OP_OVER, 128, true);
// Another amount: the general span, which SDL2 and pixman would match with
// their own general loops.
BENCHMARK_CAPTURE(Ours, Alpha100_16, 16, BlendAlpha, 100, false);
BENCHMARK_CAPTURE(Ours, Alpha100_32, 32, BlendAlpha, 100, false);
// Add at full weight.
BENCHMARK_CAPTURE(Ours, Add255_16, 16, BlendAdd, 255, false);
BENCHMARK_CAPTURE(Pixman, Add_16, 16, PIXMAN_OP_ADD, 255, false);
BENCHMARK_CAPTURE(Ours, Add255_32, 32, BlendAdd, 255, false);
BENCHMARK_CAPTURE(Pixman, Add_32, 32, PIXMAN_OP_ADD, 255, false);
