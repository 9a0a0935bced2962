#include <cstdint>
#include <random>
#include <vector>

#include "bench/bench_main.h"
#include "primitives/core/processor.h"
#include "primitives/resample/pyramid_gauss.h"
#include "primitives/resample/resize_gen.h"
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

// The same halving through each processor path's entry, side by side:
// arguments interpolation code, channels (1 or 3), path.
static void BM_HalveQuadPerPath(benchmark::State& state) {
    const int32_t code = static_cast<int32_t>(state.range(0));
    const int ch = static_cast<int>(state.range(1));
    const int path = static_cast<int>(state.range(2));
    const int side = 512, half = 256;
    std::mt19937 rng(3);
    std::vector<uint8_t> src(size_t(side) * side * ch), dst(size_t(half) * half * ch);
    for (auto& v : src)
        v = uint8_t(rng());
    int32_t size = 0;
    resizeSquarePixelGetBufferSize({0, 0, side, side}, {0, 0, half, half}, ch, code, &size);
    std::vector<uint8_t> buffer(size);
    const ResizeSquarePixel8uFn halve = (ch == 1 ? resizeSquarePixel8uC1Table : resizeSquarePixel8uC3Table)[path];
    for (auto _ : state) {
        const int32_t status = halve(src.data(), {side, side}, side * ch, {0, 0, side, side}, dst.data(), half * ch,
                                     {0, 0, half, half}, 0.5, 0.5, 0, 0, code, buffer.data());
        benchmark::DoNotOptimize(status);
        benchmark::DoNotOptimize(dst.data());
    }
    state.SetItemsProcessed(state.iterations() * half * half);
}
static void halvingPaths(benchmark::internal::Benchmark* b) {
    for (int code : {2, 4})
        for (int ch : {3, 1})
            for (int path = 0; path <= hardwareProcessorPath(); ++path)
                b->Args({code, ch, path});
}
BENCHMARK(BM_HalveQuadPerPath)->Apply(halvingPaths);

// Lanczos-3 (code 16) side by side on every path: the square-pixel halving
// of a quad, arguments code, channels and path; and the general engine on a
// 512 x 512 image, arguments channels, factor x 10 and path.
static void lanczosHalvingPaths(benchmark::internal::Benchmark* b) {
    for (int ch : {3, 1})
        for (int path = 0; path <= hardwareProcessorPath(); ++path)
            b->Args({16, ch, path});
}
BENCHMARK(BM_HalveQuadPerPath)->Name("BM_HalveQuadLanczosPerPath")->Apply(lanczosHalvingPaths);

static void BM_ResizeLanczosPerPath(benchmark::State& state) {
    const int ch = static_cast<int>(state.range(0));
    const double factor = state.range(1) / 10.0;
    const int path = static_cast<int>(state.range(2));
    const int side = 512, out = int(side * factor);
    std::mt19937 rng(4);
    std::vector<uint8_t> src(size_t(side) * side * ch), dst(size_t(out) * out * ch);
    for (auto& v : src)
        v = uint8_t(rng());
    const ResizeByFactors8uFn resize = (ch == 1 ? resizeByFactors8uC1Table : resizeByFactors8uC3Table)[path];
    for (auto _ : state) {
        benchmark::DoNotOptimize(resize(src.data(), {side, side}, side * ch, {0, 0, side, side}, dst.data(), out * ch,
                                        {out, out}, factor, factor, 16));
        benchmark::DoNotOptimize(dst.data());
    }
    state.SetItemsProcessed(state.iterations() * out * out);
}
static void lanczosResizePaths(benchmark::internal::Benchmark* b) {
    for (int ch : {3, 1})
        for (int factor : {5, 20})
            for (int path = 0; path <= hardwareProcessorPath(); ++path)
                b->Args({ch, factor, path});
}
BENCHMARK(BM_ResizeLanczosPerPath)->Apply(lanczosResizePaths);

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

// The general engine on a 512 x 512 RGB image: factor 0.5 with every code,
// and area averaging by a fractional 0.3.
static void BM_ResizeByFactorsRgb8u(benchmark::State& state) {
    const int32_t code = static_cast<int32_t>(state.range(0));
    const double factor = state.range(1) / 10.0;
    const int side = 512, out = int(side * factor);
    std::mt19937 rng(2);
    std::vector<uint8_t> src(size_t(side) * side * 3), dst(size_t(out) * out * 3);
    for (auto& v : src)
        v = uint8_t(rng());
    for (auto _ : state) {
        benchmark::DoNotOptimize(resizeByFactors8uC3(src.data(), {side, side}, side * 3, {0, 0, side, side},
                                                     dst.data(), out * 3, {out, out}, factor, factor, code));
        benchmark::DoNotOptimize(dst.data());
    }
    state.SetItemsProcessed(state.iterations() * out * out);
}
BENCHMARK(BM_ResizeByFactorsRgb8u)
    ->Args({1, 5})
    ->Args({2, 5})
    ->Args({4, 5})
    ->Args({16, 5})
    ->Args({8, 5})
    ->Args({8, 3});

// Whole-ratio area averaging of a 1024 x 1024 float plane by 4 x 4 blocks:
// the box sums (no edge pads) against the general whole-ratio kernel (a pad
// of one row below, which the box sums do not take).
static void BM_SquarePixelBoxSum32f(benchmark::State& state) {
    const int32_t bottomPad = static_cast<int32_t>(state.range(0));
    const int side = 1024, out = side / 4;
    std::vector<float> src(size_t(side) * side, 0.25f), dst(size_t(out) * out), work(side);
    const SqSuperSampleWholeFn kernel = prim::generic::resizeSqSuperSampleWholeKernels[resizeKind32f][0];
    for (auto _ : state) {
        kernel(src.data(), dst.data(), side * 4, out * 4, side, out, out - bottomPad, 0, bottomPad, 0, 0, 4.0, 4.0,
               1 / 16.0, 1, work.data());
        benchmark::DoNotOptimize(dst.data());
    }
    state.SetItemsProcessed(state.iterations() * out * out);
}
BENCHMARK(BM_SquarePixelBoxSum32f)->Arg(0)->Arg(1);

// Area averaging of the general engine through each processor path's entry:
// a 2048 x 2048 image reduced by a whole 1/8 (rows through the row
// accumulators) or a fractional 0.3; arguments factor x 1000, channels (1 or
// 3), kind (0 8u, 2 32f), path.
static void BM_SuperSamplePerPath(benchmark::State& state) {
    const double factor = state.range(0) / 1000.0;
    const int ch = static_cast<int>(state.range(1));
    const int kind = static_cast<int>(state.range(2));
    const int path = static_cast<int>(state.range(3));
    const int side = 2048, out = int(side * factor);
    std::mt19937 rng(4);
    std::vector<uint8_t> src8(size_t(side) * side * ch), dst8(size_t(out) * out * ch);
    std::vector<float> src32(size_t(side) * side * ch), dst32(size_t(out) * out * ch);
    for (auto& v : src8)
        v = uint8_t(rng());
    for (size_t k = 0; k < src32.size(); ++k)
        src32[k] = float(src8[k]) / 7.0f;
    for (auto _ : state) {
        int32_t status;
        if (kind == 0)
            status = (ch == 1 ? resizeByFactors8uC1Table : resizeByFactors8uC3Table)[path](
                src8.data(), {side, side}, side * ch, {0, 0, side, side}, dst8.data(), out * ch, {out, out}, factor,
                factor, 8);
        else if (ch == 3)
            status = resizeByFactors32fC3Table[path](src32.data(), {side, side}, side * 12, {0, 0, side, side},
                                                     dst32.data(), out * 12, {out, out}, factor, factor, 8);
        else
            status = resizeByFactorsCentered32fC1Table[path](src32.data(), {side, side}, side * 4, {0, 0, side, side},
                                                             dst32.data(), out * 4, {out, out}, factor, factor,
                                                             side / 2.0, side / 2.0, 8);
        benchmark::DoNotOptimize(status);
        benchmark::DoNotOptimize(dst8.data());
        benchmark::DoNotOptimize(dst32.data());
    }
    state.SetItemsProcessed(state.iterations() * int64_t(side) * side);
}
static void superSamplePaths(benchmark::internal::Benchmark* b) {
    for (int factor : {125, 300})
        for (int ch : {3, 1})
            for (int kind : {0, 2})
                for (int path = 0; path <= hardwareProcessorPath(); ++path)
                    b->Args({factor, ch, kind, path});
}
BENCHMARK(BM_SuperSamplePerPath)->Apply(superSamplePaths);

VQ_BENCHMARK_MAIN()
