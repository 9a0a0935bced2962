// Vector primitives on every processor path against the generic one, over
// rows of 4096 elements (a wide tile row): scaled 16-bit and 32-bit addition,
// the 5/3 lifting shift, float to integer conversion with rounding to
// nearest, narrowing, the clamp pair and the 32-bit copy.
#include <vector>

#include "bench/bench_main.h"
#include "primitives/vector/add_sub.h"
#include "primitives/vector/const_shift.h"
#include "primitives/vector/convert.h"
#include "primitives/vector/copy.h"

namespace {

constexpr int kLen = 4096;

struct Rows {
    std::vector<int32_t> a = std::vector<int32_t>(kLen), b = std::vector<int32_t>(kLen), c = std::vector<int32_t>(kLen);
    std::vector<int16_t> s = std::vector<int16_t>(kLen), t = std::vector<int16_t>(kLen), u = std::vector<int16_t>(kLen);
    std::vector<float> f = std::vector<float>(kLen);
    Rows() {
        for (int i = 0; i < kLen; ++i) {
            a[i] = i * 7919 - 16000000;
            b[i] = 5000 - i * 31;
            s[i] = static_cast<int16_t>(i * 13);
            t[i] = static_cast<int16_t>(300 - i);
            f[i] = static_cast<float>(i) * 0.37f - 700.5f;
        }
    }
};

void finish(benchmark::State& state) {
    state.SetItemsProcessed(int64_t(state.iterations()) * kLen);
    state.SetLabel(state.range(0) == 0 ? "generic" : "path " + std::to_string(state.range(0)));
}

void BM_AddVector32sScaled(benchmark::State& state) {
    if (!pathRunnable(state))
        return;
    Rows r;
    const auto f = addVector32sScaledTable[state.range(0)];
    for (auto _ : state)
        benchmark::DoNotOptimize(f(r.a.data(), r.b.data(), r.c.data(), kLen, int32_t(state.range(1))));
    finish(state);
}

void BM_AddVector16sScaled(benchmark::State& state) {
    if (!pathRunnable(state))
        return;
    Rows r;
    const auto f = addVector16sScaledTable[state.range(0)];
    for (auto _ : state)
        benchmark::DoNotOptimize(f(r.s.data(), r.t.data(), r.u.data(), kLen, int32_t(state.range(1))));
    finish(state);
}

void BM_ShiftRightInPlace32s(benchmark::State& state) {
    if (!pathRunnable(state))
        return;
    Rows r;
    const auto f = shiftRightVectorConstInPlace32sTable[state.range(0)];
    for (auto _ : state)
        benchmark::DoNotOptimize(f(1, r.a.data(), kLen));
    finish(state);
}

void BM_Convert32fTo32sNearest(benchmark::State& state) {
    if (!pathRunnable(state))
        return;
    Rows r;
    const auto f = convertVector32fTo32sTable[state.range(0)];
    for (auto _ : state)
        benchmark::DoNotOptimize(f(r.f.data(), r.c.data(), kLen, 1, 0));
    finish(state);
}

void BM_Convert32sTo16s(benchmark::State& state) {
    if (!pathRunnable(state))
        return;
    Rows r;
    const auto f = convertVector32sTo16sTable[state.range(0)];
    for (auto _ : state)
        benchmark::DoNotOptimize(f(r.a.data(), r.u.data(), kLen));
    finish(state);
}

void BM_ClampMinMax32s(benchmark::State& state) {
    if (!pathRunnable(state))
        return;
    Rows r;
    const auto lo = clampVectorMinInPlace32sTable[state.range(0)];
    const auto hi = clampVectorMaxInPlace32sTable[state.range(0)];
    for (auto _ : state) {
        benchmark::DoNotOptimize(lo(r.a.data(), kLen, 0));
        benchmark::DoNotOptimize(hi(r.a.data(), kLen, 255));
    }
    finish(state);
}

void BM_CopyVector32s(benchmark::State& state) {
    if (!pathRunnable(state))
        return;
    Rows r;
    const auto f = copyVector32sTable[state.range(0)];
    for (auto _ : state)
        benchmark::DoNotOptimize(f(r.a.data(), r.c.data(), kLen));
    finish(state);
}

void pathsAndFactors(benchmark::internal::Benchmark* b) {
    for (int path = 0; path <= 5; ++path)
        for (int sf : {0, 1, -3})
            b->Args({path, sf});
}

} // namespace

BENCHMARK(BM_AddVector32sScaled)->Apply(pathsAndFactors);
BENCHMARK(BM_AddVector16sScaled)->Apply(pathsAndFactors);
BENCHMARK(BM_ShiftRightInPlace32s)->DenseRange(0, 5);
BENCHMARK(BM_Convert32fTo32sNearest)->DenseRange(0, 5);
BENCHMARK(BM_Convert32sTo16s)->DenseRange(0, 5);
BENCHMARK(BM_ClampMinMax32s)->DenseRange(0, 5);
BENCHMARK(BM_CopyVector32s)->DenseRange(0, 5);

VQ_BENCHMARK_MAIN();
