// Common start of every benchmark program: choose the processor path first
// (VQ_MAX_PATH caps it), then report which one runs.
#pragma once

#include <benchmark/benchmark.h>
#include <cstdio>

#include "platform/heap.h"
#include "primitives/core/dispatch.h"
#include "primitives/core/processor.h"

// False, with the benchmark marked skipped, when its first argument names a
// processor path this processor cannot run.
inline bool pathRunnable(benchmark::State& state) {
    if (state.range(0) > hardwareProcessorPath()) {
        state.SkipWithError("path not supported by this processor");
        return false;
    }
    return true;
}

#define VQ_BENCHMARK_MAIN()                                                              \
    int main(int argc, char** argv) {                                                    \
        vq::platform::tuneHeapForLargeImages();                                          \
        initProcessorDispatch();                                                         \
        std::printf("processor path %d\n", static_cast<int>(processorDispatchIndex));    \
        benchmark::Initialize(&argc, argv);                                              \
        if (benchmark::ReportUnrecognizedArguments(argc, argv))                          \
            return 1;                                                                    \
        benchmark::RunSpecifiedBenchmarks();                                             \
        benchmark::Shutdown();                                                           \
        return 0;                                                                        \
    }
