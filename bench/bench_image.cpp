// Image arithmetic, threshold and filter primitives on every processor path
// against the generic one, over a 256 x 256 plane (a tile): the two blur
// passes of the unsharp mask (1, 7, 1 over 9), its subtract, multiply and
// add, the threshold, the 16-bit dequantising multiply and the 32-bit shift.
#include <vector>

#include "bench/bench_main.h"
#include "primitives/image/arith/arith.h"
#include "primitives/image/filter/filter.h"
#include "primitives/image/shift/shift.h"
#include "primitives/image/threshold/threshold.h"

namespace {

constexpr int kSide = 256, kStep = kSide + 4;

struct Planes {
    std::vector<uint8_t> a = std::vector<uint8_t>(kStep * (kSide + 4)), b = std::vector<uint8_t>(kStep * (kSide + 4));
    std::vector<int16_t> s = std::vector<int16_t>(kSide * kSide);
    std::vector<int32_t> w = std::vector<int32_t>(kSide * kSide);
    Planes() {
        for (size_t i = 0; i < a.size(); ++i) {
            a[i] = static_cast<uint8_t>(i * 7 + i / 300);
            b[i] = static_cast<uint8_t>(i * 3);
        }
        for (size_t i = 0; i < s.size(); ++i) {
            s[i] = static_cast<int16_t>(i * 13 - 20000);
            w[i] = static_cast<int32_t>(i * 7919);
        }
    }
};

const int32_t kBlur[3] = {1, 7, 1};

void finish(benchmark::State& state) {
    state.SetItemsProcessed(int64_t(state.iterations()) * kSide * kSide);
    state.SetLabel(state.range(0) == 0 ? "generic" : "path " + std::to_string(state.range(0)));
}

void BM_FilterRow8u(benchmark::State& state) {
    if (!pathRunnable(state))
        return;
    Planes p;
    const auto f = filterRow8uC1Table[state.range(0)];
    for (auto _ : state)
        benchmark::DoNotOptimize(f(p.a.data(), kStep, p.b.data(), kStep, PrimSize{kSide, kSide}, kBlur, 3, 1, 9));
    finish(state);
}

void BM_FilterColumn8u(benchmark::State& state) {
    if (!pathRunnable(state))
        return;
    Planes p;
    const auto f = filterColumn8uC1Table[state.range(0)];
    for (auto _ : state)
        benchmark::DoNotOptimize(f(p.a.data() + kStep, kStep, p.b.data(), kStep, kSide, kSide, kBlur, 3, 1, 9));
    finish(state);
}

void BM_DetailArithmetic8u(benchmark::State& state) {
    if (!pathRunnable(state))
        return;
    Planes p;
    const int path = static_cast<int>(state.range(0));
    for (auto _ : state) {
        subInPlace8uC1ScaledTable[path](p.b.data(), kStep, p.a.data(), kStep, kSide, kSide, 0);
        mulConstInPlace8uC1ScaledTable[path](128, p.a.data(), kStep, kSide, kSide, 5);
        addInPlace8uC1ScaledTable[path](p.a.data(), kStep, p.b.data(), kStep, kSide, kSide, 0);
    }
    finish(state);
}

void BM_ThresholdLess8u(benchmark::State& state) {
    if (!pathRunnable(state))
        return;
    Planes p;
    const auto f = thresholdLessValInPlace8uC1Table[state.range(0)];
    for (auto _ : state)
        benchmark::DoNotOptimize(f(p.a.data(), kStep, kSide, kSide, 10, 0));
    finish(state);
}

void BM_MulConst16sScaled(benchmark::State& state) {
    if (!pathRunnable(state))
        return;
    Planes p;
    const auto f = mulConstInPlace16sC1ScaledTable[state.range(0)];
    for (auto _ : state)
        benchmark::DoNotOptimize(f(1, p.s.data(), 2 * kSide, kSide, kSide, 2));
    finish(state);
}

void BM_ShiftRight32s(benchmark::State& state) {
    if (!pathRunnable(state))
        return;
    Planes p;
    const auto f = shiftRightConstInPlace32sC1Table[state.range(0)];
    for (auto _ : state)
        benchmark::DoNotOptimize(f(1, p.w.data(), 4 * kSide, kSide, kSide));
    finish(state);
}

} // namespace

BENCHMARK(BM_FilterRow8u)->DenseRange(0, 5);
BENCHMARK(BM_FilterColumn8u)->DenseRange(0, 5);
BENCHMARK(BM_DetailArithmetic8u)->DenseRange(0, 5);
BENCHMARK(BM_ThresholdLess8u)->DenseRange(0, 5);
BENCHMARK(BM_MulConst16sScaled)->DenseRange(0, 5);
BENCHMARK(BM_ShiftRight32s)->DenseRange(0, 5);

VQ_BENCHMARK_MAIN();
