// Rotation of a 2048 x 2048 RGB image by 30 degrees about its centre with
// nearest, linear and cubic sampling, through each processor path's entry
// side by side (arguments: interpolation code, path), so that a run with
// --benchmark_enable_random_interleaving compares the paths under the same
// machine load.
#include <cmath>
#include <cstdint>
#include <random>
#include <vector>

#include "bench/bench_main.h"
#include "primitives/rotate/rotate.h"

static void BM_Rotate30Rgb8u(benchmark::State& state) {
    const int32_t interpolation = static_cast<int32_t>(state.range(0));
    const int path = static_cast<int>(state.range(1));
    if (!pathRunnable(state))
        return;
    const int side = 2048, step = side * 3;
    std::mt19937 rng(30);
    std::vector<uint8_t> src(size_t(step) * side), dst(size_t(step) * side, 0);
    for (auto& v : src)
        v = uint8_t(rng());
    // Forward mapping (x cos + y sin + xs, -x sin + y cos + ys): the shift
    // keeps the centre in place.
    const double angle = 30.0, t = angle * 3.14159265358979323846 / 180.0, c = (side - 1) / 2.0;
    const double xShift = c - (c * std::cos(t) + c * std::sin(t)), yShift = c - (-c * std::sin(t) + c * std::cos(t));
    int64_t pixels = 0;
    for (auto _ : state) {
        const int32_t status = rotateByAngleTable[path](src.data(), side, side, step, 0, 0, side, side, dst.data(),
                                                        step, 0, 0, side, side, angle, xShift, yShift, interpolation);
        if (status != 0) {
            state.SkipWithError("rotation failed");
            return;
        }
        benchmark::DoNotOptimize(dst.data());
        pixels += int64_t(side) * side;
    }
    state.SetItemsProcessed(pixels);
}
static void rotationPaths(benchmark::internal::Benchmark* b) {
    for (int interpolation : {rotateNearest, rotateLinear, rotateCubic})
        for (int path = 0; path <= 5; ++path)
            b->Args({interpolation, path});
}
BENCHMARK(BM_Rotate30Rgb8u)->Apply(rotationPaths)->Unit(benchmark::kMillisecond);

VQ_BENCHMARK_MAIN();
