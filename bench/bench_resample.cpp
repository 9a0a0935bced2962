#include <cstdint>
#include <random>
#include <vector>

#include "bench/bench_main.h"
#include "primitives/resample/pyramid_gauss.h"
#include "primitives/resample/resize_sq.h"

// Halving a merged 2 x 2 quad of 256 x 256 RGB tiles: 512 x 512 -> 256 x 256.
static void BM_HalveQuadRgb8u(benchmark::State& state) {
    const int32_t code = static_cast<int32_t>(state.range(0));
    const int side = 512, half = 256;
    std::mt19937 rng(1);
    std::vector<uint8_t> src(size_t(side) * side * 3), dst(size_t(half) * half * 3);
    for (auto& v : src)
        v = uint8_t(rng());
    int32_t size = 0;
    resizeSquarePixelGetBufferSize({0, 0, side, side}, {0, 0, half, half}, 3, code, &size);
    std::vector<uint8_t> buffer(size);
    for (auto _ : state) {
        const int32_t status = resizeSquarePixel8uC3(src.data(), {side, side}, side * 3, {0, 0, side, side}, dst.data(),
                                                     half * 3, {0, 0, half, half}, 0.5, 0.5, 0, 0, code, buffer.data());
        benchmark::DoNotOptimize(status);
        benchmark::DoNotOptimize(dst.data());
    }
    state.SetItemsProcessed(state.iterations() * half * half);
}
BENCHMARK(BM_HalveQuadRgb8u)->Arg(1)->Arg(2)->Arg(4)->Arg(5)->Arg(6)->Arg(7)->Arg(16);

// The Gaussian 2:1 step on a 512 x 512 plane.
static void BM_PyramidDownGauss5x5(benchmark::State& state) {
    const int side = 512;
    std::vector<uint8_t> src(size_t(side) * side, 77), dst(size_t(side / 2) * (side / 2));
    int32_t size = 0;
    pyramidGetBufferSize(side, 1, 1, &size);
    std::vector<uint8_t> buffer(size);
    for (auto _ : state) {
        benchmark::DoNotOptimize(
            pyramidDownGauss5x5(src.data(), side, dst.data(), side / 2, {side, side}, buffer.data()));
        benchmark::DoNotOptimize(dst.data());
    }
}
BENCHMARK(BM_PyramidDownGauss5x5);

VQ_BENCHMARK_MAIN()
