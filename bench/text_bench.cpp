// Drawing a 20-character string at size 16 into a 5:6:5 back buffer, its
// glyphs already cached: our glyph cache against SDL_ttf's solid rendering
// plus a blit of the result, with the same font file, in the same run. A
// Japanese string of 20 characters is drawn in each string encoding, against
// SDL_ttf's UTF-8 rendering of it. The measuring of a cached string closes
// the run.
//
// Our side goes through the public operations on the headless platform, so
// the default-font check, the lock and the clipping are all counted.
#include "core/encoding.h"
#include "draw/screen.h"
#include "platform/media/font.h"
#include "platform/pixels/surface.h"
#include "tessel.h"
#include "text/font.h"

#include <SDL.h>
#include <SDL_ttf.h>
#include <benchmark/benchmark.h>

#include <cstdlib>
#include <cstring>
#include <string>

namespace {

constexpr const char* Text = "PUSH SPACE TO START!";  // 20 characters
constexpr const char* Japanese = "ゲームを始めるにはスペースキーを押してね";  // 20 characters
constexpr int Size = 16;

// The library up once for the whole run, drawing into the back buffer.
void StartLibrary() {
    static bool started = [] {
        setenv("TESSEL_PLATFORM", "headless", 1);
        SetLogEnabled(0);
        SetScreenMode(640, 480, 16, -1);
        if (InitLibrary() != 0) std::abort();
        SetDrawTarget(TargetBack);
        SetDefaultFontSize(Size);
        SetDefaultFontThickness(4);
        return true;
    }();
    (void)started;
}

void Ours_DrawTextString(benchmark::State& state) {
    StartLibrary();
    uint32_t white = MakeColor(255, 255, 255);
    DrawTextString(100, 200, Text, white, 0);  // the glyphs into the cache
    for (auto _ : state) benchmark::DoNotOptimize(DrawTextString(100, 200, Text, white, 0));
    state.SetItemsProcessed(state.iterations() * 20);
}
BENCHMARK(Ours_DrawTextString);

// The Japanese string in the encoding of the benchmark's argument.
void Ours_DrawJapanese(benchmark::State& state) {
    StartLibrary();
    int encoding = static_cast<int>(state.range(0));
    SetStringEncoding(EncodingUtf8);
    std::string text = encoding == EncodingUtf8
                           ? std::string(Japanese)
                           : ConvertEncoding(Japanese, std::strlen(Japanese), EncodingUtf8,
                                             EncodingShiftJis, nullptr);
    SetStringEncoding(encoding);
    uint32_t white = MakeColor(255, 255, 255);
    DrawTextString(100, 200, text.c_str(), white, 0);
    for (auto _ : state) benchmark::DoNotOptimize(DrawTextString(100, 200, text.c_str(), white, 0));
    state.SetItemsProcessed(state.iterations() * 20);
    state.SetLabel(encoding == EncodingUtf8 ? "UTF-8" : "Shift-JIS");
    SetStringEncoding(EncodingShiftJis);
}
BENCHMARK(Ours_DrawJapanese)->Arg(EncodingShiftJis)->Arg(EncodingUtf8);

void Sdl_RenderSolidAndBlit(benchmark::State& state) {
    StartLibrary();
    const FontRecord* font = LookupFont(QueryDefaultFont());
    if (!font || TTF_Init() != 0) std::abort();
    TTF_Font* ttf = TTF_OpenFont(PlatFontFile(font->fontObject), Size);
    PlatSurface* back = gScreenState.back;
    SDL_Surface* target = SDL_CreateRGBSurfaceWithFormatFrom(
        back->pixels, back->width, back->height, 16, back->pitch, SDL_PIXELFORMAT_RGB565);
    if (!ttf || !target) std::abort();
    SDL_Color white{255, 255, 255, 255};
    const char* string = state.range(0) ? Japanese : Text;
    SDL_FreeSurface(TTF_RenderUTF8_Solid(ttf, string, white));  // SDL_ttf's own glyph cache
    for (auto _ : state) {
        SDL_Surface* text = TTF_RenderUTF8_Solid(ttf, string, white);
        SDL_Rect at{100, 200, 0, 0};
        SDL_BlitSurface(text, nullptr, target, &at);
        SDL_FreeSurface(text);
    }
    state.SetItemsProcessed(state.iterations() * 20);
    SDL_FreeSurface(target);
    TTF_CloseFont(ttf);
    TTF_Quit();
}
// 0: the ASCII string; 1: the Japanese one.
BENCHMARK(Sdl_RenderSolidAndBlit)->Arg(0)->Arg(1);

void Ours_MeasureTextWidth(benchmark::State& state) {
    StartLibrary();
    MeasureTextWidth(Text);
    for (auto _ : state) benchmark::DoNotOptimize(MeasureTextWidth(Text));
    state.SetItemsProcessed(state.iterations() * 20);
}
BENCHMARK(Ours_MeasureTextWidth);

}  // namespace
