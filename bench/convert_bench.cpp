// Converting a decoded 640 x 480 image into the screen formats: the loops
// for 24-bit BGR sources against the per-pixel general case that every other
// pair of formats takes. The general case is reached with the same result by
// a switch that has no effect on the pixels: the colour key for destinations
// without alpha, or mirroring a mirrored source for the keyed formats.
#include "graphics/color.h"

#include <benchmark/benchmark.h>

#include <cstdint>
#include <random>
#include <vector>

namespace {

constexpr int kWidth = 640, kHeight = 480;

ColorFormat FromMasks(int depth, uint32_t r, uint32_t g, uint32_t b, uint32_t a) {
    ColorFormat f = {};
    SetFormatFromMasks(&f, depth, r, g, b, a);
    return f;
}

const std::vector<uint8_t>& SourceImage() {
    static const std::vector<uint8_t> image = [] {
        std::vector<uint8_t> bytes(static_cast<size_t>(kWidth) * kHeight * 3);
        std::mt19937 rng(42);
        for (uint8_t& b : bytes) b = static_cast<uint8_t>(rng());
        return bytes;
    }();
    return image;
}

enum Route { Fast, General };

void Convert(benchmark::State& state, ColorFormat to, int keyed, Route route) {
    const std::vector<uint8_t>& src = SourceImage();
    std::vector<uint8_t> dst(static_cast<size_t>(kWidth) * kHeight * to.bytesPerPixel);
    int dstPitch = kWidth * to.bytesPerPixel;
    int keyAlpha = keyed || route == General;
    int mirror = keyed && route == General;
    for (auto _ : state) {
        ConvertPixels(dst.data(), dstPitch, &to, src.data(), kWidth * 3, &Bgr24Format, nullptr,
                      0, nullptr, 0, 0, 0, 0, kWidth, kHeight, mirror, keyAlpha, 0, 0, 0);
        benchmark::DoNotOptimize(dst.data());
        benchmark::ClobberMemory();
    }
    state.SetItemsProcessed(state.iterations() * kWidth * kHeight);
}

const ColorFormat k565 = FromMasks(16, 0xF800, 0x07E0, 0x001F, 0);
const ColorFormat k555 = FromMasks(16, 0x7C00, 0x03E0, 0x001F, 0);
const ColorFormat kX888 = FromMasks(32, 0xFF0000, 0xFF00, 0xFF, 0);
const ColorFormat k1555 = FromMasks(16, 0x7C00, 0x03E0, 0x001F, 0x8000);
const ColorFormat k8888 = FromMasks(32, 0xFF0000, 0xFF00, 0xFF, 0xFF000000);

BENCHMARK_CAPTURE(Convert, BgrTo565Fast, k565, 0, Fast);
BENCHMARK_CAPTURE(Convert, BgrTo565General, k565, 0, General);
BENCHMARK_CAPTURE(Convert, BgrTo555Fast, k555, 0, Fast);
BENCHMARK_CAPTURE(Convert, BgrTo555General, k555, 0, General);
BENCHMARK_CAPTURE(Convert, BgrToX888Fast, kX888, 0, Fast);
BENCHMARK_CAPTURE(Convert, BgrToX888General, kX888, 0, General);
BENCHMARK_CAPTURE(Convert, BgrTo1555KeyedFast, k1555, 1, Fast);
BENCHMARK_CAPTURE(Convert, BgrTo1555KeyedGeneral, k1555, 1, General);
BENCHMARK_CAPTURE(Convert, BgrTo8888KeyedFast, k8888, 1, Fast);
BENCHMARK_CAPTURE(Convert, BgrTo8888KeyedGeneral, k8888, 1, General);

}  // namespace
