// JPEG colour conversion and chroma sampling on one 256 x 256 tile, generic
// form (argument 0) against the chosen processor path (argument 1).
#include <cstdint>
#include <vector>

#include "bench/bench_main.h"
#include "primitives/jpeg/color/color.h"
#include "primitives/jpeg/sampling/sampling.h"

namespace {

constexpr int kSide = 256;

int pathOf(const benchmark::State& state) { return state.range(0) == 0 ? 0 : processorDispatchIndex; }

std::vector<uint8_t> noise(size_t n) {
    std::vector<uint8_t> v(n);
    uint32_t x = 12345;
    for (auto& b : v) b = static_cast<uint8_t>((x = x * 1103515245u + 12345u) >> 24);
    return v;
}

void YCbCrToRgb(benchmark::State& state) {
    auto y = noise(kSide * kSide), cb = noise(kSide * kSide), cr = noise(kSide * kSide);
    std::vector<uint8_t> out(3 * kSide * kSide);
    const uint8_t* planes[3] = {y.data(), cb.data(), cr.data()};
    auto fn = ycbcrPlanesToRgbPixelsTable[pathOf(state)];
    for (auto _ : state) benchmark::DoNotOptimize(fn(planes, kSide, out.data(), 3 * kSide, PrimSize{kSide, kSide}));
    state.SetItemsProcessed(state.iterations() * kSide * kSide);
}

void RgbToYCbCr(benchmark::State& state) {
    auto rgb = noise(3 * kSide * kSide);
    std::vector<uint8_t> y(kSide * kSide), cb(kSide * kSide), cr(kSide * kSide);
    uint8_t* planes[3] = {y.data(), cb.data(), cr.data()};
    auto fn = rgbPixelsToYCbCrPlanesTable[pathOf(state)];
    for (auto _ : state) benchmark::DoNotOptimize(fn(rgb.data(), 3 * kSide, planes, kSide, PrimSize{kSide, kSide}));
    state.SetItemsProcessed(state.iterations() * kSide * kSide);
}

void DownsampleH2V2Box(benchmark::State& state) {
    auto src = noise(kSide * kSide);
    std::vector<uint8_t> dst(kSide * kSide / 4);
    auto fn = downsampleH2V2BoxTable[pathOf(state)];
    for (auto _ : state)
        benchmark::DoNotOptimize(
            fn(src.data(), kSide, PrimSize{kSide, kSide}, dst.data(), kSide / 2, PrimSize{kSide / 2, kSide / 2}));
    state.SetItemsProcessed(state.iterations() * kSide * kSide);
}

void UpsampleRowsH2V2(benchmark::State& state) {
    auto src = noise(kSide / 2 * kSide / 2);
    std::vector<uint8_t> dst(kSide);
    auto fn = upsampleRowH2V2TriangleTable[pathOf(state)];
    for (auto _ : state)
        for (int r = 1; r < kSide / 2; ++r)
            benchmark::DoNotOptimize(fn(&src[r * kSide / 2], &src[(r - 1) * kSide / 2], kSide / 2, dst.data()));
    state.SetItemsProcessed(state.iterations() * kSide * (kSide / 2 - 1));
}

} // namespace

BENCHMARK(YCbCrToRgb)->Arg(0)->Arg(1);
BENCHMARK(RgbToYCbCr)->Arg(0)->Arg(1);
BENCHMARK(DownsampleH2V2Box)->Arg(0)->Arg(1);
BENCHMARK(UpsampleRowsH2V2)->Arg(0)->Arg(1);

VQ_BENCHMARK_MAIN();
