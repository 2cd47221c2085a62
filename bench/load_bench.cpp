// Loading a picture onto a 5:6:5 screen against its decoder on its own, in
// one run: LoadGraphFile of a 1600 x 960 JPEG against libjpeg-turbo decoding
// the same file straight to 5:6:5, and of a 1600 x 960 RGBA PNG against
// libpng decoding it to BGRA plus SDL's conversion to 5:6:5. Every side reads
// the file from disk on each pass.
#include "tessel.h"

#include <SDL.h>
#include <benchmark/benchmark.h>
#include <jpeglib.h>
#include <png.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <iterator>
#include <random>
#include <string>
#include <vector>

namespace {

constexpr int Width = 1600, Height = 960;
const char* const JpegPath = "load_bench.jpg";
const char* const PngPath = "load_bench.png";

// A picture with the smooth shading and fine noise of a painted backdrop,
// and, for the PNG, an alpha plane of solid ground below a soft edge.
std::vector<uint8_t> Rgba(unsigned seed) {
    std::mt19937 rng(seed);
    std::vector<uint8_t> p(size_t(Width) * Height * 4);
    for (int y = 0; y < Height; ++y)
        for (int x = 0; x < Width; ++x) {
            uint8_t* q = &p[(size_t(y) * Width + x) * 4];
            double wave = std::sin(x * 0.013) * 40 + std::cos(y * 0.021) * 30;
            q[0] = uint8_t(std::clamp(90 + wave + x * 0.05 + int(rng() % 9), 0.0, 255.0));
            q[1] = uint8_t(std::clamp(120 + wave * 0.5 + y * 0.08 + int(rng() % 9), 0.0, 255.0));
            q[2] = uint8_t(std::clamp(160 - wave + int(rng() % 9), 0.0, 255.0));
            double edge = y - (500 + 80 * std::sin(x * 0.004));
            q[3] = uint8_t(std::clamp(edge * 16, 0.0, 255.0));
        }
    return p;
}

void WriteJpeg(const std::vector<uint8_t>& rgba) {
    FILE* file = std::fopen(JpegPath, "wb");
    jpeg_compress_struct info;
    jpeg_error_mgr errors;
    info.err = jpeg_std_error(&errors);
    jpeg_create_compress(&info);
    jpeg_stdio_dest(&info, file);
    info.image_width = Width;
    info.image_height = Height;
    info.input_components = 4;
    info.in_color_space = JCS_EXT_RGBX;
    jpeg_set_defaults(&info);
    jpeg_set_quality(&info, 90, TRUE);
    jpeg_start_compress(&info, TRUE);
    while (info.next_scanline < info.image_height) {
        JSAMPROW row = const_cast<uint8_t*>(&rgba[size_t(info.next_scanline) * Width * 4]);
        jpeg_write_scanlines(&info, &row, 1);
    }
    jpeg_finish_compress(&info);
    jpeg_destroy_compress(&info);
    std::fclose(file);
}

void WritePng(const std::vector<uint8_t>& rgba) {
    png_image image = {};
    image.version = PNG_IMAGE_VERSION;
    image.width = Width;
    image.height = Height;
    image.format = PNG_FORMAT_RGBA;
    png_image_write_to_file(&image, PngPath, 0, rgba.data(), 0, nullptr);
}

std::vector<uint8_t> ReadFile(const char* path) {
    std::ifstream in(path, std::ios::binary);
    return std::vector<uint8_t>(std::istreambuf_iterator<char>(in), {});
}

// The library once, headless, on a 640 x 480 5:6:5 screen, with both files made.
void Start() {
    static bool started = false;
    if (started) return;
    started = true;
    setenv("TESSEL_PLATFORM", "headless", 1);
    SetLogEnabled(0);
    SetScreenMode(640, 480, 16, -1);
    if (InitLibrary() != 0) std::abort();
    std::vector<uint8_t> rgba = Rgba(1);
    WriteJpeg(rgba);
    WritePng(rgba);
}

void Ours_Load(benchmark::State& state, const char* path) {
    Start();
    for (auto _ : state) {
        int graph = LoadGraphFile(path);
        if (graph < 0) std::abort();
        FreeGraphHandle(graph, 0);
    }
}
BENCHMARK_CAPTURE(Ours_Load, Jpeg, JpegPath)->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(Ours_Load, PngRgba, PngPath)->Unit(benchmark::kMillisecond);

void Libjpeg_DecodeTo565(benchmark::State& state) {
    Start();
    std::vector<uint8_t> pixels(size_t(Width) * Height * 2);
    for (auto _ : state) {
        std::vector<uint8_t> file = ReadFile(JpegPath);
        jpeg_decompress_struct info;
        jpeg_error_mgr errors;
        info.err = jpeg_std_error(&errors);
        jpeg_create_decompress(&info);
        jpeg_mem_src(&info, file.data(), static_cast<unsigned long>(file.size()));
        jpeg_read_header(&info, TRUE);
        info.out_color_space = JCS_RGB565;
        jpeg_start_decompress(&info);
        while (info.output_scanline < info.output_height) {
            JSAMPROW row = &pixels[size_t(info.output_scanline) * Width * 2];
            jpeg_read_scanlines(&info, &row, 1);
        }
        jpeg_finish_decompress(&info);
        jpeg_destroy_decompress(&info);
        benchmark::DoNotOptimize(pixels.data());
    }
}
BENCHMARK(Libjpeg_DecodeTo565)->Unit(benchmark::kMillisecond);

void LibpngSdl_DecodeTo565(benchmark::State& state) {
    Start();
    std::vector<uint8_t> bgra(size_t(Width) * Height * 4);
    for (auto _ : state) {
        png_image image = {};
        image.version = PNG_IMAGE_VERSION;
        if (!png_image_begin_read_from_file(&image, PngPath)) std::abort();
        image.format = PNG_FORMAT_BGRA;
        png_image_finish_read(&image, nullptr, bgra.data(), 0, nullptr);
        SDL_Surface* decoded = SDL_CreateRGBSurfaceWithFormatFrom(
            bgra.data(), Width, Height, 32, Width * 4, SDL_PIXELFORMAT_ARGB8888);
        SDL_Surface* converted = SDL_ConvertSurfaceFormat(decoded, SDL_PIXELFORMAT_RGB565, 0);
        benchmark::DoNotOptimize(converted->pixels);
        SDL_FreeSurface(converted);
        SDL_FreeSurface(decoded);
    }
}
BENCHMARK(LibpngSdl_DecodeTo565)->Unit(benchmark::kMillisecond);

}  // namespace
