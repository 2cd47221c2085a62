// The blitters against their peers, in one run: memcpy of the same rows,
// SDL2's surface blits and software renderer, and pixman's compositing.
//
// Every case reports pixels per second (items_per_second), so that the
// ratios of the goals can be read off one table: opaque blits against
// memcpy, alpha blits against pixman OVER and SDL_BlitSurface, rotated blits
// against SDL_RenderCopyEx per destination pixel covered. A whole
// battlefield-like frame with its present closes the run.
//
// Our side draws through the public operations on the headless platform, so
// the clipping, the work-surface copies and the locks are all counted.
#include "draw/blit.h"
#include "draw/screen.h"
#include "graphics/graph.h"
#include "tessel.h"

#include <SDL.h>
#include <benchmark/benchmark.h>
#include <pixman.h>

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <random>
#include <vector>

namespace {

constexpr int ScreenW = 640, ScreenH = 480;
constexpr int FieldW = 1600, FieldH = 960;
constexpr double Degrees30 = M_PI / 6;

enum AlphaKind { RandomAlpha, SpriteAlpha };

// --- test images ----------------------------------------------------------------------

// Random 16-bit pixels, never 0 so that nothing reads as the key.
std::vector<uint16_t> Pixels565(int w, int h, unsigned seed) {
    std::mt19937 rng(seed);
    std::vector<uint16_t> p(size_t(w) * h);
    for (uint16_t& v : p) v = uint16_t(rng() | 1);
    return p;
}

// Random alpha, or a sprite's: an ellipse filling the rectangle, solid inside,
// clear outside, with a two-pixel soft edge.
std::vector<uint8_t> Alphas(int w, int h, AlphaKind kind, unsigned seed) {
    std::mt19937 rng(seed);
    std::vector<uint8_t> a(size_t(w) * h);
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x) {
            uint8_t& v = a[size_t(y) * w + x];
            if (kind == RandomAlpha) {
                v = uint8_t(rng());
                continue;
            }
            double dx = (x + 0.5 - w / 2.0) / (w / 2.0), dy = (y + 0.5 - h / 2.0) / (h / 2.0);
            double edge = (1.0 - std::sqrt(dx * dx + dy * dy)) * std::min(w, h) / 4.0;
            v = uint8_t(std::clamp(edge, 0.0, 1.0) * 255.0);
        }
    return a;
}

// --- the library ------------------------------------------------------------------------

// The library on the headless platform in a given screen depth, drawing into
// the back buffer. A depth change rebuilds the screen and frees every graph.
struct Library {
    int depth = 0;
    int generation = 0;

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
        SetPresentVSync(0);
        SetDrawTarget(TargetBack);
        depth = wanted;
        ++generation;
    }
};

Library gLibrary;

SurfaceDataRecord* SurfaceOf(int graph) {
    return GetSurfaceDataRecord(GetBmpDataRecord(GetGraphRecord(graph)->pieces[0])->surface);
}

// A graph with random pixels (in the screen's format) and, with `alpha`,
// an alpha plane of `kind`.
int MakeGraph(int w, int h, bool alpha, AlphaKind kind, unsigned seed) {
    int graph = CreateEmptyGraph(w, h, 0, alpha ? 1 : 0);
    SurfaceDataRecord* record = SurfaceOf(graph);
    PlatSurface* s = record->surface;
    std::mt19937 rng(seed);
    int bytes = s->format.bytesPerPixel;
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x) {
            uint32_t v = (rng() | 1) & (bytes == 4 ? 0xFFFFFFu : 0xFFFFu);
            std::memcpy(s->pixels + size_t(y) * s->pitch + size_t(x) * bytes, &v, bytes);
        }
    if (alpha) {
        std::vector<uint8_t> a = Alphas(w, h, kind, seed + 1);
        for (int y = 0; y < h; ++y)
            std::memcpy(record->alphaBuffer + size_t(y) * record->alphaPitch, &a[size_t(y) * w],
                        size_t(w));
    }
    return graph;
}

// Graphs cached for the current screen; a depth change makes them anew.
struct GraphCache {
    int generation = -1;
    int handle = -1;
    int Get(int w, int h, bool alpha, AlphaKind kind) {
        if (generation != gLibrary.generation) {
            handle = MakeGraph(w, h, alpha, kind, unsigned(w * 31 + h));
            generation = gLibrary.generation;
        }
        return handle;
    }
};

void CopyInto(SDL_Surface* surface, const std::vector<uint16_t>& pixels) {
    for (int y = 0; y < surface->h; ++y)
        std::memcpy(static_cast<uint8_t*>(surface->pixels) + y * surface->pitch,
                    &pixels[size_t(y) * surface->w], size_t(surface->w) * 2);
}

void CountPixels(benchmark::State& state, int64_t pixels) {
    state.SetItemsProcessed(int64_t(state.iterations()) * pixels);
}

// --- opaque blits --------------------------------------------------------------------------

// The 1600-wide cases take the window at x 480 (rows start on a 16-byte
// boundary) and at x 333 (they do not), from y 100.
void Memcpy_Rows(benchmark::State& state, int sourceWidth, int left) {
    std::vector<uint16_t> src = Pixels565(sourceWidth, FieldH, 1);
    std::vector<uint16_t> dst(size_t(ScreenW) * ScreenH);
    for (auto _ : state) {
        for (int y = 0; y < ScreenH; ++y)
            std::memcpy(&dst[size_t(y) * ScreenW], &src[size_t(y + 100) * sourceWidth + left],
                        ScreenW * 2);
        benchmark::DoNotOptimize(dst.data());
        benchmark::ClobberMemory();
    }
    CountPixels(state, ScreenW * ScreenH);
}
BENCHMARK_CAPTURE(Memcpy_Rows, Frame640, ScreenW, 0);
BENCHMARK_CAPTURE(Memcpy_Rows, Window1600Aligned, FieldW, 480);
BENCHMARK_CAPTURE(Memcpy_Rows, Window1600Unaligned, FieldW, 333);

void Ours_Opaque(benchmark::State& state, int graphWidth, int left) {
    gLibrary.Use(16);
    static GraphCache frame, field;
    int graph = graphWidth == ScreenW ? frame.Get(ScreenW, ScreenH, false, RandomAlpha)
                                      : field.Get(FieldW, FieldH, false, RandomAlpha);
    for (auto _ : state) {
        DrawGraphPart(0, 0, left, graphWidth == ScreenW ? 0 : 100, ScreenW, ScreenH, graph, 0, 0);
        benchmark::ClobberMemory();
    }
    CountPixels(state, ScreenW * ScreenH);
}
BENCHMARK_CAPTURE(Ours_Opaque, Frame640, ScreenW, 0);
BENCHMARK_CAPTURE(Ours_Opaque, Window1600Aligned, FieldW, 480);
BENCHMARK_CAPTURE(Ours_Opaque, Window1600Unaligned, FieldW, 333);

void Sdl_Opaque(benchmark::State& state, int graphWidth, int left) {
    int graphHeight = graphWidth == ScreenW ? ScreenH : FieldH;
    SDL_Surface* src =
        SDL_CreateRGBSurfaceWithFormat(0, graphWidth, graphHeight, 16, SDL_PIXELFORMAT_RGB565);
    SDL_Surface* dst =
        SDL_CreateRGBSurfaceWithFormat(0, ScreenW, ScreenH, 16, SDL_PIXELFORMAT_RGB565);
    CopyInto(src, Pixels565(src->w, src->h, 1));
    SDL_SetSurfaceBlendMode(src, SDL_BLENDMODE_NONE);
    SDL_Rect from = {left, graphWidth == ScreenW ? 0 : 100, ScreenW, ScreenH};
    for (auto _ : state) {
        SDL_Rect to = {0, 0, ScreenW, ScreenH};
        SDL_BlitSurface(src, &from, dst, &to);
        benchmark::ClobberMemory();
    }
    CountPixels(state, ScreenW * ScreenH);
    SDL_FreeSurface(src);
    SDL_FreeSurface(dst);
}
BENCHMARK_CAPTURE(Sdl_Opaque, Frame640, ScreenW, 0);
BENCHMARK_CAPTURE(Sdl_Opaque, Window1600Aligned, FieldW, 480);
BENCHMARK_CAPTURE(Sdl_Opaque, Window1600Unaligned, FieldW, 333);

// --- per-pixel alpha ------------------------------------------------------------------------

// Sizes: a panel strip, two sprites, a whole screen.
void AlphaSizes(benchmark::internal::Benchmark* b) {
    for (int kind : {RandomAlpha, SpriteAlpha})
        for (auto size : {std::pair{640, 50}, std::pair{96, 96}, std::pair{50, 50},
                          std::pair{640, 480}})
            b->Args({size.first, size.second, kind});
}

// Our alpha blit at the top-left of the screen in the given depth.
void OursAlpha(benchmark::State& state, int depth) {
    gLibrary.Use(depth);
    int w = int(state.range(0)), h = int(state.range(1));
    auto kind = AlphaKind(state.range(2));
    int graph = MakeGraph(w, h, true, kind, 7);
    for (auto _ : state) {
        DrawGraph(0, 0, graph, 0);
        benchmark::ClobberMemory();
    }
    FreeGraphHandle(graph, 0);
    CountPixels(state, int64_t(w) * h);
}

// pixman: a premultiplied a8r8g8b8 source composited OVER the screen.
void PixmanAlpha(benchmark::State& state, pixman_format_code_t screenFormat, int bytes) {
    int w = int(state.range(0)), h = int(state.range(1));
    std::vector<uint8_t> a = Alphas(w, h, AlphaKind(state.range(2)), 8);
    std::vector<uint32_t> src(size_t(w) * h);
    std::mt19937 rng(9);
    for (size_t i = 0; i < src.size(); ++i) {
        uint32_t alpha = a[i], c[3];
        for (uint32_t& v : c) v = alpha ? rng() % (alpha + 1) : 0;
        src[i] = alpha << 24 | c[0] << 16 | c[1] << 8 | c[2];
    }
    std::vector<uint32_t> dst(size_t(ScreenW) * ScreenH * bytes / 4 + 1, 0x5A5A5A5A);
    pixman_image_t* s = pixman_image_create_bits(PIXMAN_a8r8g8b8, w, h, src.data(), w * 4);
    pixman_image_t* d = pixman_image_create_bits(screenFormat, ScreenW, ScreenH, dst.data(),
                                                 ScreenW * bytes);
    for (auto _ : state) {
        pixman_image_composite32(PIXMAN_OP_OVER, s, nullptr, d, 0, 0, 0, 0, 0, 0, w, h);
        benchmark::ClobberMemory();
    }
    pixman_image_unref(s);
    pixman_image_unref(d);
    CountPixels(state, int64_t(w) * h);
}

// SDL2: an ARGB8888 surface blended onto the screen surface.
void SdlAlpha(benchmark::State& state, uint32_t screenFormat, int depth) {
    int w = int(state.range(0)), h = int(state.range(1));
    std::vector<uint8_t> a = Alphas(w, h, AlphaKind(state.range(2)), 8);
    SDL_Surface* src = SDL_CreateRGBSurfaceWithFormat(0, w, h, 32, SDL_PIXELFORMAT_ARGB8888);
    SDL_Surface* dst = SDL_CreateRGBSurfaceWithFormat(0, ScreenW, ScreenH, depth, screenFormat);
    std::mt19937 rng(9);
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x)
            reinterpret_cast<uint32_t*>(static_cast<uint8_t*>(src->pixels) + y * src->pitch)[x] =
                uint32_t(a[size_t(y) * w + x]) << 24 | (rng() & 0xFFFFFF);
    SDL_SetSurfaceBlendMode(src, SDL_BLENDMODE_BLEND);
    for (auto _ : state) {
        SDL_Rect to = {0, 0, w, h};
        SDL_BlitSurface(src, nullptr, dst, &to);
        benchmark::ClobberMemory();
    }
    SDL_FreeSurface(src);
    SDL_FreeSurface(dst);
    CountPixels(state, int64_t(w) * h);
}

void Ours_Alpha565(benchmark::State& state) { OursAlpha(state, 16); }
void Pixman_Alpha565(benchmark::State& state) { PixmanAlpha(state, PIXMAN_r5g6b5, 2); }
void Sdl_Alpha565(benchmark::State& state) { SdlAlpha(state, SDL_PIXELFORMAT_RGB565, 16); }
BENCHMARK(Ours_Alpha565)->Apply(AlphaSizes);
BENCHMARK(Pixman_Alpha565)->Apply(AlphaSizes);
BENCHMARK(Sdl_Alpha565)->Apply(AlphaSizes);

void Ours_Alpha32(benchmark::State& state) { OursAlpha(state, 32); }
void Pixman_Alpha32(benchmark::State& state) { PixmanAlpha(state, PIXMAN_x8r8g8b8, 4); }
void Sdl_Alpha32(benchmark::State& state) { SdlAlpha(state, SDL_PIXELFORMAT_RGB888, 32); }
BENCHMARK(Ours_Alpha32)->Apply(AlphaSizes);
BENCHMARK(Pixman_Alpha32)->Apply(AlphaSizes);
BENCHMARK(Sdl_Alpha32)->Apply(AlphaSizes);

// The two copies the alpha path makes before its loop where the platform's
// surfaces read slowly (the destination part into DestWorkSurface, a "video
// memory" graph into SourceWorkSurface): what reading in place saves.
void Ours_AlphaWorkCopies(benchmark::State& state) {
    int depth = int(state.range(0)), w = int(state.range(1)), h = int(state.range(2));
    gLibrary.Use(depth);
    int graph = MakeGraph(w, h, true, SpriteAlpha, 7);
    PlatSurface* source = SurfaceOf(graph)->surface;
    Rect rect = {0, 0, w, h};
    for (auto _ : state) {
        CopySurfaceRect(gScreenState.destWork, 0, 0, gScreenState.back, rect, 0);
        CopySurfaceRect(gScreenState.sourceWork, 0, 0, source, rect, 0);
        benchmark::ClobberMemory();
    }
    FreeGraphHandle(graph, 0);
    CountPixels(state, int64_t(w) * h);
}
BENCHMARK(Ours_AlphaWorkCopies)->Args({32, 50, 50})->Args({32, 640, 480});

// --- rotated blits -------------------------------------------------------------------------

// Cases: the cannon-sized sprite turned, and a whole screen unturned and turned.
void RotaCases(benchmark::internal::Benchmark* b) {
    b->Args({64, 32, 30});
    b->Args({640, 480, 0});
    b->Args({640, 480, 30});
}

// Destination pixels a W x H graph covers when turned about the screen's
// centre: counted on our own draw over a sentinel that no graph pixel has.
int64_t CoveredPixels(double angle, int graph) {
    PlatSurface* back = gScreenState.back;
    PlatFillSurfaceRect(back, 0, 0, ScreenW, ScreenH, 0);
    DrawRotaGraph(ScreenW / 2, ScreenH / 2, 1.0, angle, graph, 0, 0);
    int64_t count = 0;
    for (int y = 0; y < ScreenH; ++y)
        for (int x = 0; x < ScreenW; ++x)
            count += reinterpret_cast<const uint16_t*>(back->pixels + y * back->pitch)[x] != 0;
    return count;
}

void Ours_Rota565(benchmark::State& state) {
    gLibrary.Use(16);
    int w = int(state.range(0)), h = int(state.range(1));
    double angle = state.range(2) * M_PI / 180;
    int graph = MakeGraph(w, h, false, RandomAlpha, 3);
    int64_t covered = CoveredPixels(angle, graph);
    for (auto _ : state) {
        DrawRotaGraph(ScreenW / 2, ScreenH / 2, 1.0, angle, graph, 0, 0);
        benchmark::ClobberMemory();
    }
    FreeGraphHandle(graph, 0);
    CountPixels(state, covered);
    state.counters["covered"] = double(covered);
}
BENCHMARK(Ours_Rota565)->Apply(RotaCases);

void Sdl_Rota565(benchmark::State& state) {
    gLibrary.Use(16);
    int w = int(state.range(0)), h = int(state.range(1));
    double degrees = double(state.range(2));
    int graph = MakeGraph(w, h, false, RandomAlpha, 3);
    int64_t covered = CoveredPixels(degrees * M_PI / 180, graph);
    FreeGraphHandle(graph, 0);

    SDL_Surface* target =
        SDL_CreateRGBSurfaceWithFormat(0, ScreenW, ScreenH, 16, SDL_PIXELFORMAT_RGB565);
    SDL_Renderer* renderer = SDL_CreateSoftwareRenderer(target);
    SDL_Surface* image = SDL_CreateRGBSurfaceWithFormat(0, w, h, 16, SDL_PIXELFORMAT_RGB565);
    CopyInto(image, Pixels565(w, h, 3));
    SDL_Texture* texture = SDL_CreateTextureFromSurface(renderer, image);
    SDL_SetTextureBlendMode(texture, SDL_BLENDMODE_NONE);
    SDL_Rect to = {ScreenW / 2 - w / 2, ScreenH / 2 - h / 2, w, h};
    for (auto _ : state) {
        SDL_RenderCopyEx(renderer, texture, nullptr, &to, degrees, nullptr, SDL_FLIP_NONE);
        SDL_RenderFlush(renderer);
        benchmark::ClobberMemory();
    }
    SDL_DestroyTexture(texture);
    SDL_DestroyRenderer(renderer);
    SDL_FreeSurface(image);
    SDL_FreeSurface(target);
    CountPixels(state, covered);
    state.counters["covered"] = double(covered);
}
BENCHMARK(Sdl_Rota565)->Apply(RotaCases);

// A 56 x 56 sprite with a sprite-like alpha plane turned 25 degrees, as the
// cannon is drawn, against SDL's software renderer blending the same turn.
constexpr int TurnedSide = 56;
constexpr double TurnedDegrees = 25;

void Ours_RotaAlpha565(benchmark::State& state) {
    gLibrary.Use(16);
    int graph = MakeGraph(TurnedSide, TurnedSide, true, SpriteAlpha, 5);
    for (auto _ : state) {
        DrawRotaGraph(ScreenW / 2, ScreenH / 2, 1.0, TurnedDegrees * M_PI / 180, graph, 0, 0);
        benchmark::ClobberMemory();
    }
    FreeGraphHandle(graph, 0);
    CountPixels(state, TurnedSide * TurnedSide);
}
BENCHMARK(Ours_RotaAlpha565);

void Sdl_RotaAlpha565(benchmark::State& state) {
    SDL_Surface* target =
        SDL_CreateRGBSurfaceWithFormat(0, ScreenW, ScreenH, 16, SDL_PIXELFORMAT_RGB565);
    SDL_Renderer* renderer = SDL_CreateSoftwareRenderer(target);
    SDL_Surface* image =
        SDL_CreateRGBSurfaceWithFormat(0, TurnedSide, TurnedSide, 32, SDL_PIXELFORMAT_ARGB8888);
    std::vector<uint8_t> a = Alphas(TurnedSide, TurnedSide, SpriteAlpha, 6);
    std::mt19937 rng(5);
    for (int y = 0; y < TurnedSide; ++y)
        for (int x = 0; x < TurnedSide; ++x)
            reinterpret_cast<uint32_t*>(static_cast<uint8_t*>(image->pixels) + y * image->pitch)[x] =
                uint32_t(a[size_t(y) * TurnedSide + x]) << 24 | (rng() & 0xFFFFFF);
    SDL_Texture* texture = SDL_CreateTextureFromSurface(renderer, image);
    SDL_SetTextureBlendMode(texture, SDL_BLENDMODE_BLEND);
    SDL_Rect to = {ScreenW / 2 - TurnedSide / 2, ScreenH / 2 - TurnedSide / 2, TurnedSide,
                   TurnedSide};
    for (auto _ : state) {
        SDL_RenderCopyEx(renderer, texture, nullptr, &to, TurnedDegrees, nullptr, SDL_FLIP_NONE);
        SDL_RenderFlush(renderer);
        benchmark::ClobberMemory();
    }
    SDL_DestroyTexture(texture);
    SDL_DestroyRenderer(renderer);
    SDL_FreeSurface(image);
    SDL_FreeSurface(target);
    CountPixels(state, TurnedSide * TurnedSide);
}
BENCHMARK(Sdl_RotaAlpha565);

// --- clearing the screen ----------------------------------------------------------------------

// ClearDrawTarget on the 640 x 480 back buffer, SDL_FillRect on a surface of
// the same size and format, and memset of as many bytes.
void Ours_Clear(benchmark::State& state) {
    gLibrary.Use(int(state.range(0)));
    for (auto _ : state) {
        ClearDrawTarget();
        benchmark::ClobberMemory();
    }
    CountPixels(state, ScreenW * ScreenH);
}
BENCHMARK(Ours_Clear)->Arg(16)->Arg(32);

uint32_t SdlScreenFormat(int depth) {
    return depth == 16 ? SDL_PIXELFORMAT_RGB565 : SDL_PIXELFORMAT_RGB888;
}

void Sdl_Clear(benchmark::State& state) {
    int depth = int(state.range(0));
    SDL_Surface* dst =
        SDL_CreateRGBSurfaceWithFormat(0, ScreenW, ScreenH, depth, SdlScreenFormat(depth));
    for (auto _ : state) {
        SDL_FillRect(dst, nullptr, 0);
        benchmark::ClobberMemory();
    }
    SDL_FreeSurface(dst);
    CountPixels(state, ScreenW * ScreenH);
}
BENCHMARK(Sdl_Clear)->Arg(16)->Arg(32);

void Memset_Clear(benchmark::State& state) {
    std::vector<uint8_t> dst(size_t(ScreenW) * ScreenH * size_t(state.range(0) / 8));
    for (auto _ : state) {
        std::memset(dst.data(), 0, dst.size());
        benchmark::DoNotOptimize(dst.data());
        benchmark::ClobberMemory();
    }
    CountPixels(state, ScreenW * ScreenH);
}
BENCHMARK(Memset_Clear)->Arg(16)->Arg(32);

// --- whole frames: clear, N alpha sprites, present ----------------------------------------------

// Each side clears a 640 x 480 screen, blends N 32 x 32 sprites with a
// sprite-like alpha plane at the same places, and presents: ours through
// PresentScreen on the headless platform (which keeps a copy of the frame);
// SDL and pixman by copying the finished screen into a second surface of the
// same format, as a software window surface is updated.
constexpr int SpriteSide = 32;

void FrameCases(benchmark::internal::Benchmark* b) {
    for (int depth : {16, 32})
        for (int n : {0, 10, 100, 1000}) b->Args({depth, n});
}

int SpriteX(int i) { return i * 97 % (ScreenW - SpriteSide); }
int SpriteY(int i) { return i * 53 % (ScreenH - SpriteSide); }

void Ours_Frame(benchmark::State& state) {
    int depth = int(state.range(0)), n = int(state.range(1));
    gLibrary.Use(depth);
    int sprite = MakeGraph(SpriteSide, SpriteSide, true, SpriteAlpha, 4);
    for (auto _ : state) {
        ClearDrawTarget();
        for (int i = 0; i < n; ++i) DrawGraph(SpriteX(i), SpriteY(i), sprite, 0);
        PresentScreen();
    }
    FreeGraphHandle(sprite, 0);
    state.SetItemsProcessed(int64_t(state.iterations()));
}
BENCHMARK(Ours_Frame)->Apply(FrameCases)->Unit(benchmark::kMicrosecond);

void Sdl_Frame(benchmark::State& state) {
    int depth = int(state.range(0)), n = int(state.range(1));
    uint32_t format = SdlScreenFormat(depth);
    SDL_Surface* screen = SDL_CreateRGBSurfaceWithFormat(0, ScreenW, ScreenH, depth, format);
    SDL_Surface* window = SDL_CreateRGBSurfaceWithFormat(0, ScreenW, ScreenH, depth, format);
    SDL_Surface* sprite =
        SDL_CreateRGBSurfaceWithFormat(0, SpriteSide, SpriteSide, 32, SDL_PIXELFORMAT_ARGB8888);
    std::vector<uint8_t> a = Alphas(SpriteSide, SpriteSide, SpriteAlpha, 4);
    std::mt19937 rng(4);
    for (int y = 0; y < SpriteSide; ++y)
        for (int x = 0; x < SpriteSide; ++x)
            reinterpret_cast<uint32_t*>(static_cast<uint8_t*>(sprite->pixels) + y * sprite->pitch)[x] =
                uint32_t(a[size_t(y) * SpriteSide + x]) << 24 | (rng() & 0xFFFFFF);
    SDL_SetSurfaceBlendMode(sprite, SDL_BLENDMODE_BLEND);
    SDL_SetSurfaceBlendMode(screen, SDL_BLENDMODE_NONE);
    for (auto _ : state) {
        SDL_FillRect(screen, nullptr, 0);
        for (int i = 0; i < n; ++i) {
            SDL_Rect to = {SpriteX(i), SpriteY(i), SpriteSide, SpriteSide};
            SDL_BlitSurface(sprite, nullptr, screen, &to);
        }
        SDL_BlitSurface(screen, nullptr, window, nullptr);
        benchmark::ClobberMemory();
    }
    SDL_FreeSurface(sprite);
    SDL_FreeSurface(window);
    SDL_FreeSurface(screen);
    state.SetItemsProcessed(int64_t(state.iterations()));
}
BENCHMARK(Sdl_Frame)->Apply(FrameCases)->Unit(benchmark::kMicrosecond);

void Pixman_Frame(benchmark::State& state) {
    int depth = int(state.range(0)), n = int(state.range(1));
    pixman_format_code_t format = depth == 16 ? PIXMAN_r5g6b5 : PIXMAN_x8r8g8b8;
    int pitch = ScreenW * depth / 8;
    std::vector<uint32_t> screenBits(size_t(pitch) * ScreenH / 4), windowBits(screenBits.size());
    std::vector<uint8_t> a = Alphas(SpriteSide, SpriteSide, SpriteAlpha, 4);
    std::vector<uint32_t> spriteBits(size_t(SpriteSide) * SpriteSide);
    std::mt19937 rng(4);
    for (size_t i = 0; i < spriteBits.size(); ++i) {
        uint32_t alpha = a[i], c[3];
        for (uint32_t& v : c) v = alpha ? rng() % (alpha + 1) : 0;
        spriteBits[i] = alpha << 24 | c[0] << 16 | c[1] << 8 | c[2];
    }
    pixman_image_t* screen =
        pixman_image_create_bits(format, ScreenW, ScreenH, screenBits.data(), pitch);
    pixman_image_t* window =
        pixman_image_create_bits(format, ScreenW, ScreenH, windowBits.data(), pitch);
    pixman_image_t* sprite = pixman_image_create_bits(PIXMAN_a8r8g8b8, SpriteSide, SpriteSide,
                                                      spriteBits.data(), SpriteSide * 4);
    pixman_color_t black = {0, 0, 0, 0xFFFF};
    pixman_rectangle16_t whole = {0, 0, uint16_t(ScreenW), uint16_t(ScreenH)};
    for (auto _ : state) {
        pixman_image_fill_rectangles(PIXMAN_OP_SRC, screen, &black, 1, &whole);
        for (int i = 0; i < n; ++i)
            pixman_image_composite32(PIXMAN_OP_OVER, sprite, nullptr, screen, 0, 0, 0, 0,
                                     SpriteX(i), SpriteY(i), SpriteSide, SpriteSide);
        pixman_image_composite32(PIXMAN_OP_SRC, screen, nullptr, window, 0, 0, 0, 0, 0, 0,
                                 ScreenW, ScreenH);
        benchmark::ClobberMemory();
    }
    pixman_image_unref(sprite);
    pixman_image_unref(window);
    pixman_image_unref(screen);
    state.SetItemsProcessed(int64_t(state.iterations()));
}
BENCHMARK(Pixman_Frame)->Apply(FrameCases)->Unit(benchmark::kMicrosecond);

// --- one battlefield-like frame ---------------------------------------------------------------

// Clear, the far background and the terrain as 640 x 480 windows of
// 1600 x 960 graphs (the terrain with a sprite-like alpha plane), the cannon
// turned, three alpha sprites, the HUD panel, and the present.
void Ours_BattlefieldFrame(benchmark::State& state) {
    gLibrary.Use(16);
    static GraphCache background, terrain, cannon, base, shell, gauge, panel;
    int bg = background.Get(FieldW, FieldH, false, RandomAlpha);
    int ground = terrain.Get(FieldW, FieldH, true, SpriteAlpha);
    int barrel = cannon.Get(64, 32, true, SpriteAlpha);
    int target = base.Get(50, 50, true, SpriteAlpha);
    int missile = shell.Get(12, 12, true, SpriteAlpha);
    int wind = gauge.Get(70, 10, true, SpriteAlpha);
    int menu = panel.Get(640, 50, true, SpriteAlpha);
    int viewX = 600, viewY = 300;
    for (auto _ : state) {
        ClearDrawTarget();
        DrawGraphPart(0, 0, viewX / 3, viewY / 3, ScreenW, ScreenH, bg, 0, 0);
        DrawGraphPart(0, 0, viewX, viewY, ScreenW, ScreenH, ground, 0, 0);
        DrawRotaGraph(200, 300, 1.0, -Degrees30, barrel, 0, 0);
        DrawGraph(420, 280, target, 0);
        DrawGraph(250, 200, missile, 0);
        DrawGraph(289, 460, wind, 0);
        DrawGraph(0, 430, menu, 0);
        PresentScreen();
    }
}
BENCHMARK(Ours_BattlefieldFrame)->Unit(benchmark::kMicrosecond);

}  // namespace
