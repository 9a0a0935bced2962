// Data movement primitives on every processor path against the generic one,
// over a 256 x 256 three-channel tile: copy, channel reorder, planar to
// packed and back, 16-bit to 8-bit scaling.
#include <vector>

#include "bench/bench_main.h"
#include "primitives/core/channels.h"
#include "primitives/core/copy.h"
#include "primitives/core/depth.h"
#include "primitives/core/memory.h"
#include "primitives/core/planar.h"

namespace {

constexpr int kSide = 256;

struct Tile {
    int32_t step = 0, step16 = 0, planeStep = 0;
    uint8_t* a = allocImage8uC3(kSide, kSide, &step);
    uint8_t* b = allocImage8uC3(kSide, kSide, &step);
    uint16_t* wide = allocImage16uC3(kSide, kSide, &step16);
    uint8_t* planes[3] = {allocImage8uC1(kSide, kSide, &planeStep), allocImage8uC1(kSide, kSide, &planeStep),
                          allocImage8uC1(kSide, kSide, &planeStep)};
    Tile() {
        for (int i = 0; i < step * kSide; ++i)
            a[i] = static_cast<uint8_t>(i * 13);
        for (int i = 0; i < step16 / 2 * kSide; ++i)
            wide[i] = static_cast<uint16_t>(i * 257);
    }
    ~Tile() {
        freeImage(a);
        freeImage(b);
        freeImage(wide);
        for (uint8_t* p : planes)
            freeImage(p);
    }
};

void finish(benchmark::State& state) {
    state.SetBytesProcessed(int64_t(state.iterations()) * kSide * kSide * 3);
    state.SetLabel(state.range(0) == 0 ? "generic" : "path " + std::to_string(state.range(0)));
}

void BM_CopyRoi8uC3(benchmark::State& state) {
    if (!pathRunnable(state))
        return;
    Tile t;
    const CopyRoiFn f = copyRoi8uC3Table[state.range(0)];
    for (auto _ : state)
        benchmark::DoNotOptimize(f(t.a, t.step, t.b, t.step, {kSide, kSide}));
    finish(state);
}

void BM_SwapChannels8uC3(benchmark::State& state) {
    if (!pathRunnable(state))
        return;
    Tile t;
    const int32_t order[3] = {2, 1, 0};
    const SwapChannelsFn f = swapChannels8uC3Table[state.range(0)];
    for (auto _ : state)
        benchmark::DoNotOptimize(f(t.a, t.step, t.b, t.step, {kSide, kSide}, order));
    finish(state);
}

void BM_PlanesToPixels8uC3(benchmark::State& state) {
    if (!pathRunnable(state))
        return;
    Tile t;
    const uint8_t* in[3] = {t.planes[0], t.planes[1], t.planes[2]};
    const PlanesToPixelsFn f = copyPlanesToPixels8uC3Table[state.range(0)];
    for (auto _ : state)
        benchmark::DoNotOptimize(f(in, t.planeStep, t.b, t.step, {kSide, kSide}));
    finish(state);
}

void BM_PixelsToPlanes8uC3(benchmark::State& state) {
    if (!pathRunnable(state))
        return;
    Tile t;
    const PixelsToPlanesFn f = copyPixelsToPlanes8uC3Table[state.range(0)];
    for (auto _ : state)
        benchmark::DoNotOptimize(f(t.a, t.step, t.planes, t.planeStep, {kSide, kSide}));
    finish(state);
}

void BM_Scale16uTo8uC3Fast(benchmark::State& state) {
    if (!pathRunnable(state))
        return;
    Tile t;
    const Scale16uTo8uFn f = scale16uTo8uC3Table[state.range(0)];
    for (auto _ : state)
        benchmark::DoNotOptimize(f(t.wide, t.step16, t.b, t.step, {kSide, kSide}, 1));
    finish(state);
}

} // namespace

BENCHMARK(BM_CopyRoi8uC3)->DenseRange(0, 5);
BENCHMARK(BM_SwapChannels8uC3)->DenseRange(0, 5);
BENCHMARK(BM_PlanesToPixels8uC3)->DenseRange(0, 5);
BENCHMARK(BM_PixelsToPlanes8uC3)->DenseRange(0, 5);
BENCHMARK(BM_Scale16uTo8uC3Fast)->DenseRange(0, 5);

VQ_BENCHMARK_MAIN()
