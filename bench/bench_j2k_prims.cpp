// JPEG 2000 transform primitives on every processor path against the generic
// one, over one row of 4096 pairs (a wide tile row): the component transforms
// on 4096 samples, the 5/3 and 9/7 rows forward and inverse, the column steps
// and the 16-bit fixed-point forms.
#include <vector>

#include "bench/bench_main.h"
#include "primitives/j2k/component.h"
#include "primitives/j2k/wavelet53.h"
#include "primitives/j2k/wavelet97.h"

namespace {

constexpr int kPairs = 4096;
constexpr int kMargin = 8;

template <class T>
std::vector<T> ramp(int n, int mul, int mod, int off) {
    std::vector<T> v(n);
    for (int i = 0; i < n; ++i)
        v[i] = static_cast<T>((i * mul) % mod - off);
    return v;
}

void finish(benchmark::State& state, int64_t items) {
    state.SetItemsProcessed(int64_t(state.iterations()) * items);
    state.SetLabel(state.range(0) == 0 ? "generic" : "path " + std::to_string(state.range(0)));
}

template <class T, class Fn>
void planes(benchmark::State& state, const Fn* table) {
    if (!pathRunnable(state))
        return;
    std::vector<T> p0 = ramp<T>(kPairs, 37, 2000, 1000), p1 = ramp<T>(kPairs, 11, 900, 450), p2 = ramp<T>(kPairs, 5, 700, 350);
    T* const ptr[3] = {p0.data(), p1.data(), p2.data()};
    const auto f = table[state.range(0)];
    for (auto _ : state) {
        benchmark::DoNotOptimize(f(ptr, kPairs * int32_t(sizeof(T)), kPairs, 1));
        benchmark::ClobberMemory();
    }
    finish(state, kPairs);
}

void BM_InverseRct32s(benchmark::State& s) { planes<int32_t>(s, inverseRct32sTable); }
void BM_InverseIct32f(benchmark::State& s) { planes<float>(s, inverseIct32fTable); }
void BM_InverseIct16s(benchmark::State& s) { planes<int16_t>(s, inverseIct16sTable); }

void BM_ForwardWavelet53Rows32s(benchmark::State& state) {
    if (!pathRunnable(state))
        return;
    const auto x = ramp<int32_t>(2 * kPairs + 2 * kMargin, 7919, 60000, 30000);
    std::vector<int32_t> low(kPairs), high(kPairs);
    const auto f = forwardWavelet53Rows32sTable[state.range(0)];
    for (auto _ : state)
        benchmark::DoNotOptimize(f(x.data() + kMargin, 4 * kPairs, low.data(), 4 * kPairs, high.data(), 4 * kPairs, kPairs, 1, 0));
    finish(state, kPairs);
}

template <class T, class Fn>
void inverseRows(benchmark::State& state, const Fn* table) {
    if (!pathRunnable(state))
        return;
    const auto low = ramp<T>(kPairs + 2 * kMargin, 31, 8000, 4000), high = ramp<T>(kPairs + 2 * kMargin, 17, 600, 300);
    std::vector<T> dst(2 * kPairs);
    const auto f = table[state.range(0)];
    const int32_t step = kPairs * int32_t(sizeof(T));
    for (auto _ : state)
        benchmark::DoNotOptimize(f(low.data() + kMargin, step, high.data() + kMargin, step, kPairs, 1, dst.data(), 2 * step, 0));
    finish(state, kPairs);
}

void BM_InverseWavelet53Rows32s(benchmark::State& s) { inverseRows<int32_t>(s, inverseWavelet53Rows32sTable); }
void BM_InverseWavelet53Rows16s(benchmark::State& s) { inverseRows<int16_t>(s, inverseWavelet53Rows16sTable); }
void BM_InverseWavelet97Rows32f(benchmark::State& s) { inverseRows<float>(s, inverseWavelet97Rows32fTable); }
void BM_InverseWavelet97Rows16s(benchmark::State& s) { inverseRows<int16_t>(s, inverseWavelet97Rows16sTable); }

void BM_ForwardWavelet97Rows32f(benchmark::State& state) {
    if (!pathRunnable(state))
        return;
    const auto x = ramp<float>(2 * kPairs + 2 * kMargin, 7919, 60000, 30000);
    std::vector<float> low(kPairs), high(kPairs);
    const auto f = forwardWavelet97Rows32fTable[state.range(0)];
    for (auto _ : state)
        benchmark::DoNotOptimize(f(x.data() + kMargin, 4 * kPairs, low.data(), 4 * kPairs, high.data(), 4 * kPairs, kPairs, 1, 0));
    finish(state, kPairs);
}

template <class T, class Fn>
void inverseColumns97(benchmark::State& state, const Fn* table) {
    if (!pathRunnable(state))
        return;
    std::vector<std::vector<T>> r;
    for (int i = 0; i < 8; ++i)
        r.push_back(ramp<T>(kPairs, 13 + i, 500, 250));
    const auto f = table[state.range(0)];
    for (auto _ : state) {
        benchmark::DoNotOptimize(f(r[0].data(), r[1].data(), r[2].data(), r[3].data(), r[4].data(), r[5].data(), r[6].data(),
                                   r[7].data(), kPairs));
        benchmark::ClobberMemory();
    }
    finish(state, kPairs);
}

void BM_InverseWavelet97Columns32f(benchmark::State& s) { inverseColumns97<float>(s, inverseWavelet97Columns32fTable); }
void BM_InverseWavelet97Columns16s(benchmark::State& s) { inverseColumns97<int16_t>(s, inverseWavelet97Columns16sTable); }

void BM_InverseWavelet53Columns32s(benchmark::State& state) {
    if (!pathRunnable(state))
        return;
    std::vector<std::vector<int32_t>> r;
    for (int i = 0; i < 6; ++i)
        r.push_back(ramp<int32_t>(kPairs, 13 + i, 5000, 2500));
    const auto f = inverseWavelet53Columns32sTable[state.range(0)];
    for (auto _ : state)
        benchmark::DoNotOptimize(f(r[0].data(), r[1].data(), r[2].data(), r[3].data(), r[4].data(), r[5].data(), kPairs));
    finish(state, kPairs);
}

} // namespace

BENCHMARK(BM_InverseRct32s)->DenseRange(0, 5);
BENCHMARK(BM_InverseIct32f)->DenseRange(0, 5);
BENCHMARK(BM_InverseIct16s)->DenseRange(0, 5);
BENCHMARK(BM_ForwardWavelet53Rows32s)->DenseRange(0, 5);
BENCHMARK(BM_InverseWavelet53Rows32s)->DenseRange(0, 5);
BENCHMARK(BM_InverseWavelet53Rows16s)->DenseRange(0, 5);
BENCHMARK(BM_InverseWavelet53Columns32s)->DenseRange(0, 5);
BENCHMARK(BM_ForwardWavelet97Rows32f)->DenseRange(0, 5);
BENCHMARK(BM_InverseWavelet97Rows32f)->DenseRange(0, 5);
BENCHMARK(BM_InverseWavelet97Rows16s)->DenseRange(0, 5);
BENCHMARK(BM_InverseWavelet97Columns32f)->DenseRange(0, 5);
BENCHMARK(BM_InverseWavelet97Columns16s)->DenseRange(0, 5);

VQ_BENCHMARK_MAIN();
