// Shapes against their peers, in one run, at 640 x 480 on 16- and 32-bit
// screens (the last argument): filled rectangles against SDL_FillRect;
// rectangles mixed at BlendAlpha 128 against SDL2's surface blit with alpha
// modulation and pixman's OVER through a solid mask; 1-pixel lines and
// filled circles against SDL2_gfx's lineRGBA and filledCircleRGBA on SDL2's
// software renderer. Each reports pixels per second (items_per_second).
//
// The GPU cases draw whole frames of 1,000 rectangles or lines, read back
// into memory: our GPU path against SDL2's renderer on its opengl driver
// (SDL_RenderFillRect, SDL_RenderDrawLine) on the same Mesa driver. Run
// them under a display (xvfb-run) for the peer.
#include "platform/gpu/gpu.h"
#include "sdl_renderer.h"
#include "tessel.h"

#include <SDL.h>
#include <SDL2_gfxPrimitives.h>
#include <benchmark/benchmark.h>
#include <pixman.h>

#include <cstdlib>
#include <cstring>
#include <random>
#include <vector>

namespace {

constexpr int ScreenW = 640, ScreenH = 480;

enum Shape { FilledRects, AlphaRects, Lines, Circles };

// The same shapes every run: rectangles of 64 x 48, lines across the
// screen, circles of radius 30.
struct Item {
    int x1, y1, x2, y2;
};
std::vector<Item> Items(Shape shape, int count) {
    std::mt19937 rng(7);
    std::vector<Item> items;
    for (int i = 0; i < count; ++i) {
        int x = int(rng() % (ScreenW - 64)), y = int(rng() % (ScreenH - 48));
        if (shape == Lines)
            items.push_back({x, y, int(rng() % ScreenW), int(rng() % ScreenH)});
        else if (shape == Circles)
            items.push_back({30 + x % (ScreenW - 60), 30 + y % (ScreenH - 60), 30, 0});
        else
            items.push_back({x, y, x + 64, y + 48});
    }
    return items;
}

int64_t PixelsOf(Shape shape, const std::vector<Item>& items) {
    int64_t n = 0;
    for (const Item& i : items)
        n += shape == Lines     ? std::max(std::abs(i.x2 - i.x1), std::abs(i.y2 - i.y1)) + 1
             : shape == Circles ? int64_t(3.14159 * 30 * 30)
                                : int64_t(i.x2 - i.x1) * (i.y2 - i.y1);
    return n;
}

int StartOurs(int gpu, int depth) {
    setenv("TESSEL_PLATFORM", "headless", 1);
    SetLogEnabled(0);
    SetGpuDrawing(gpu);
    SetScreenMode(ScreenW, ScreenH, depth, -1);
    if (InitLibrary() != 0 || IsGpuDrawing() != gpu) return -1;
    return SetDrawTarget(TargetBack);
}

// --- the software path against the surface peers -----------------------------------

void BM_Ours(benchmark::State& state) {
    auto shape = Shape(state.range(0));
    int depth = int(state.range(1));
    if (StartOurs(0, depth) != 0) {
        EndLibrary();
        state.SkipWithError("the library did not start");
        return;
    }
    std::vector<Item> items = Items(shape, 200);
    uint32_t colour = MakeColor(200, 120, 40);
    SetBlendState(shape == AlphaRects ? BlendAlpha : BlendNone, 128);
    for (auto _ : state) {
        for (const Item& i : items) {
            if (shape == Lines)
                DrawLineSegment(i.x1, i.y1, i.x2, i.y2, colour, 1);
            else if (shape == Circles)
                DrawCircleShape(i.x1, i.y1, i.x2, colour, 1);
            else
                DrawRectangle(i.x1, i.y1, i.x2, i.y2, colour, 1);
        }
        benchmark::ClobberMemory();
    }
    state.SetItemsProcessed(int64_t(state.iterations()) * PixelsOf(shape, items));
    EndLibrary();
}

SDL_Surface* PeerScreen(int depth) {
    return SDL_CreateRGBSurfaceWithFormat(0, ScreenW, ScreenH, depth,
                                          depth == 16 ? SDL_PIXELFORMAT_RGB565
                                                      : SDL_PIXELFORMAT_XRGB8888);
}

// SDL2's surfaces: SDL_FillRect, or a blit of a 64 x 48 surface of the
// colour at alpha modulation 128.
void BM_Sdl2Surface(benchmark::State& state) {
    auto shape = Shape(state.range(0));
    int depth = int(state.range(1));
    SDL_Surface* screen = PeerScreen(depth);
    SDL_Surface* block = PeerScreen(depth);
    uint32_t colour = SDL_MapRGB(screen->format, 200, 120, 40);
    SDL_FillRect(block, nullptr, colour);
    SDL_SetSurfaceAlphaMod(block, 128);
    SDL_SetSurfaceBlendMode(block, SDL_BLENDMODE_BLEND);
    std::vector<Item> items = Items(shape, 200);
    for (auto _ : state) {
        for (const Item& i : items) {
            SDL_Rect r{i.x1, i.y1, i.x2 - i.x1, i.y2 - i.y1};
            if (shape == AlphaRects) {
                SDL_Rect from{0, 0, r.w, r.h};
                SDL_BlitSurface(block, &from, screen, &r);
            } else {
                SDL_FillRect(screen, &r, colour);
            }
        }
        benchmark::ClobberMemory();
    }
    state.SetItemsProcessed(int64_t(state.iterations()) * PixelsOf(shape, items));
    SDL_FreeSurface(block);
    SDL_FreeSurface(screen);
}

// pixman: a solid colour OVER the screen through a solid mask of 128.
void BM_PixmanOverMask(benchmark::State& state) {
    int depth = int(state.range(1));
    std::vector<uint32_t> bits(size_t(ScreenW) * ScreenH);
    pixman_image_t* screen = pixman_image_create_bits(
        depth == 16 ? PIXMAN_r5g6b5 : PIXMAN_x8r8g8b8, ScreenW, ScreenH, bits.data(),
        ScreenW * depth / 8);
    pixman_color_t colour{200 << 8, 120 << 8, 40 << 8, 0xFFFF}, half{0, 0, 0, 128 << 8};
    pixman_image_t* source = pixman_image_create_solid_fill(&colour);
    pixman_image_t* mask = pixman_image_create_solid_fill(&half);
    std::vector<Item> items = Items(AlphaRects, 200);
    for (auto _ : state) {
        for (const Item& i : items)
            pixman_image_composite32(PIXMAN_OP_OVER, source, mask, screen, 0, 0, 0, 0, i.x1, i.y1,
                                     i.x2 - i.x1, i.y2 - i.y1);
        benchmark::ClobberMemory();
    }
    state.SetItemsProcessed(int64_t(state.iterations()) * PixelsOf(AlphaRects, items));
    pixman_image_unref(mask);
    pixman_image_unref(source);
    pixman_image_unref(screen);
}

// SDL2_gfx on SDL2's software renderer drawing into a surface.
void BM_Sdl2Gfx(benchmark::State& state) {
    auto shape = Shape(state.range(0));
    SDL_Surface* screen = PeerScreen(int(state.range(1)));
    SDL_Renderer* renderer = SDL_CreateSoftwareRenderer(screen);
    std::vector<Item> items = Items(shape, 200);
    for (auto _ : state) {
        for (const Item& i : items) {
            if (shape == Lines)
                lineRGBA(renderer, Sint16(i.x1), Sint16(i.y1), Sint16(i.x2), Sint16(i.y2), 200,
                         120, 40, 255);
            else
                filledCircleRGBA(renderer, Sint16(i.x1), Sint16(i.y1), Sint16(i.x2), 200, 120, 40,
                                 255);
        }
        benchmark::ClobberMemory();
    }
    state.SetItemsProcessed(int64_t(state.iterations()) * PixelsOf(shape, items));
    SDL_DestroyRenderer(renderer);
    SDL_FreeSurface(screen);
}

// --- the GPU path against SDL2's opengl renderer -----------------------------------

void BM_OurGpuFrame(benchmark::State& state) {
    auto shape = Shape(state.range(0));
    if (StartOurs(1, int(state.range(1))) != 0) {
        EndLibrary();
        state.SkipWithError("the GPU path did not start");
        return;
    }
    std::vector<Item> items = Items(shape, 1000);
    uint32_t colour = MakeColor(200, 120, 40);
    int calls = 0;
    for (auto _ : state) {
        ClearDrawTarget();
        PlatGpuResetDrawCalls();
        for (const Item& i : items) {
            if (shape == Lines)
                DrawLineSegment(i.x1, i.y1, i.x2, i.y2, colour, 1);
            else
                DrawRectangle(i.x1, i.y1, i.x2, i.y2, colour, 1);
        }
        benchmark::DoNotOptimize(ReadScreenPixel(1, 1));
        calls = PlatGpuDrawCalls();
    }
    state.counters["draw_calls"] = calls;
    state.SetItemsProcessed(int64_t(state.iterations()) * int64_t(items.size()));
    EndLibrary();
}

void BM_Sdl2RendererOpenGlFrame(benchmark::State& state) {
    auto shape = Shape(state.range(0));
    SdlGlRenderer sdl = OpenSdlGlRenderer(state, ScreenW, ScreenH);
    if (!sdl.renderer) return;
    SDL_Renderer* renderer = sdl.renderer;
    std::vector<Item> items = Items(shape, 1000);
    std::vector<uint32_t> frame(size_t(ScreenW) * ScreenH);
    for (auto _ : state) {
        SDL_SetRenderDrawColor(renderer, 0, 0, 0, 255);
        SDL_RenderClear(renderer);
        SDL_SetRenderDrawColor(renderer, 200, 120, 40, 255);
        for (const Item& i : items) {
            if (shape == Lines) {
                SDL_RenderDrawLine(renderer, i.x1, i.y1, i.x2, i.y2);
            } else {
                SDL_Rect r{i.x1, i.y1, i.x2 - i.x1, i.y2 - i.y1};
                SDL_RenderFillRect(renderer, &r);
            }
        }
        SDL_RenderReadPixels(renderer, nullptr, SDL_PIXELFORMAT_ARGB8888, frame.data(),
                             ScreenW * 4);
        benchmark::DoNotOptimize(frame.data());
    }
    state.SetItemsProcessed(int64_t(state.iterations()) * int64_t(items.size()));
    CloseSdlGlRenderer(&sdl);
}

}  // namespace

#define SHAPES(bm, ...) BENCHMARK(bm)->ArgsProduct({__VA_ARGS__, {16, 32}})
SHAPES(BM_Ours, {FilledRects, AlphaRects, Lines, Circles});
SHAPES(BM_Sdl2Surface, {FilledRects, AlphaRects});
SHAPES(BM_PixmanOverMask, {AlphaRects});
SHAPES(BM_Sdl2Gfx, {Lines, Circles});
// A frame's CPU time is the whole process's, the driver's rasterising
// threads included.
SHAPES(BM_OurGpuFrame, {FilledRects, Lines})
    ->MeasureProcessCPUTime()->UseRealTime()->Unit(benchmark::kMillisecond);
BENCHMARK(BM_Sdl2RendererOpenGlFrame)->Arg(FilledRects)->Arg(Lines)
    ->MeasureProcessCPUTime()->UseRealTime()->Unit(benchmark::kMillisecond);
