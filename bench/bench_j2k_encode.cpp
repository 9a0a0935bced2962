// JPEG 2000 encoder stages on a 256 x 256 tile-component: the forward 5/3
// and 9/7 wavelet over five levels, and the code-block encoder on one 64 x 64
// block of wavelet-like coefficients (recording, coding and draining).
#include <cstdint>
#include <cstring>
#include <random>
#include <vector>

#include "bench/bench_main.h"
#include "j2k/decoder/tile.h"
#include "j2k/encoder/forward_wavelet.h"
#include "primitives/j2k/codeblock/codeblock_encoder.h"

namespace {

constexpr uint32_t kSide = 256;

std::vector<int32_t> TileSamples(bool asFloat) {
    std::mt19937 rng(1);
    std::vector<int32_t> v(size_t(kSide) * kSide);
    for (uint32_t y = 0; y < kSide; ++y)
        for (uint32_t x = 0; x < kSide; ++x) {
            const int32_t s = int32_t((x * 3 + y * 5) % 200) - 100 + int32_t(rng() % 16);
            if (asFloat) {
                const float f = float(s);
                std::memcpy(&v[size_t(y) * kSide + x], &f, 4);
            } else {
                v[size_t(y) * kSide + x] = s;
            }
        }
    return v;
}

template <bool Reversible>
void BM_ForwardDwt(benchmark::State& state) {
    const std::vector<int32_t> src = TileSamples(!Reversible);
    const J2KRect rect(0, 0, kSide, kSide);
    SubbandPlanes planes;
    planes.Build(rect, 5);
    const PlaneRef in(const_cast<int32_t*>(src.data()), int32_t(4 * kSide));
    for (auto _ : state) {
        if (Reversible)
            forwardDwt53(in, rect, planes);
        else
            forwardDwt97(in, rect, planes);
        benchmark::ClobberMemory();
    }
    state.SetItemsProcessed(int64_t(state.iterations()) * kSide * kSide);
}

void BM_CodeBlockEncode(benchmark::State& state) {
    std::mt19937 rng(2);
    std::vector<uint32_t> block(64 * 64);
    for (uint32_t& w : block) {
        const uint32_t m = (rng() % 4 == 0) ? rng() % 256 : rng() % 8;
        w = m | (m && (rng() & 1) ? 0x80000000u : 0u);
    }
    CodeBlockEncoderContext* ctx = nullptr;
    codeBlockEncoderCreate(&ctx, 64, 64);
    uint8_t out[1024];
    for (auto _ : state) {
        int32_t planes, passes, segments, more = 1;
        codeBlockEncoderEncode(reinterpret_cast<const int32_t*>(block.data()), 256, 64, 64, ctx, 0, 31, 1, 0, 0,
                               &planes, &passes, &segments);
        while (more) {
            int32_t n = sizeof out;
            codeBlockEncoderGetStream(out, &n, ctx, &more);
            benchmark::DoNotOptimize(out[0]);
        }
    }
    codeBlockEncoderFree(ctx);
    state.SetItemsProcessed(int64_t(state.iterations()) * 64 * 64);
}

} // namespace

BENCHMARK(BM_ForwardDwt<true>)->Name("BM_ForwardDwt53");
BENCHMARK(BM_ForwardDwt<false>)->Name("BM_ForwardDwt97");
BENCHMARK(BM_CodeBlockEncode);

VQ_BENCHMARK_MAIN();
