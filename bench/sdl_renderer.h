// SDL2's renderer on its opengl driver, in a hidden window, as the GPU peer
// the benchmarks measure against: opened and closed the same way for each.
#ifndef TESSEL_BENCH_SDL_RENDERER_H
#define TESSEL_BENCH_SDL_RENDERER_H

#include <SDL.h>
#include <benchmark/benchmark.h>

#include <cstring>

struct SdlGlRenderer {
    SDL_Window* window = nullptr;
    SDL_Renderer* renderer = nullptr;
};

// Null renderer, and the benchmark skipped with the reason, when there is no
// display or the opengl driver is not the one SDL gave.
inline SdlGlRenderer OpenSdlGlRenderer(benchmark::State& state, int width, int height) {
    SdlGlRenderer out;
    SDL_SetHint(SDL_HINT_RENDER_DRIVER, "opengl");
    if (SDL_InitSubSystem(SDL_INIT_VIDEO) != 0) {
        state.SkipWithError("no SDL video (run under xvfb-run)");
        return out;
    }
    out.window = SDL_CreateWindow("bench", 0, 0, width, height,
                                  SDL_WINDOW_OPENGL | SDL_WINDOW_HIDDEN);
    out.renderer =
        out.window ? SDL_CreateRenderer(out.window, -1, SDL_RENDERER_ACCELERATED) : nullptr;
    SDL_RendererInfo info{};
    if (!out.renderer || SDL_GetRendererInfo(out.renderer, &info) != 0 ||
        std::strcmp(info.name, "opengl") != 0) {
        state.SkipWithError("no opengl renderer");
        if (out.renderer) SDL_DestroyRenderer(out.renderer);
        if (out.window) SDL_DestroyWindow(out.window);
        SDL_QuitSubSystem(SDL_INIT_VIDEO);
        out = SdlGlRenderer{};
    }
    return out;
}

inline void CloseSdlGlRenderer(SdlGlRenderer* sdl) {
    SDL_DestroyRenderer(sdl->renderer);
    SDL_DestroyWindow(sdl->window);
    SDL_QuitSubSystem(SDL_INIT_VIDEO);
}

#endif
