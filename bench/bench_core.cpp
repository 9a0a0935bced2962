#include "bench/bench_main.h"
#include "primitives/core/memory.h"

static void BM_AllocImage8uC3(benchmark::State& state) {
    const int side = static_cast<int>(state.range(0));
    for (auto _ : state) {
        int32_t step = 0;
        uint8_t* p = allocImage8uC3(side, side, &step);
        benchmark::DoNotOptimize(p);
        freeImage(p);
    }
}
BENCHMARK(BM_AllocImage8uC3)->Arg(256)->Arg(1024);

static void BM_MaxCacheSize(benchmark::State& state) {
    for (auto _ : state) {
        int32_t size = 0;
        benchmark::DoNotOptimize(getMaxCacheSize(&size));
        benchmark::DoNotOptimize(size);
    }
}
BENCHMARK(BM_MaxCacheSize);

VQ_BENCHMARK_MAIN()
