// The slide readers' own LZW decoder on one 256 x 256 RGB tile coded by the
// TIFF library's LZW encoder.
#include <cstring>
#include <vector>

#include "bench/bench_main.h"
#include "readers/tiff/lzw_decoder.h"
#include "bench/bench_tiff_support.h"

namespace {

using namespace benchtiff;

constexpr uint32_t kTile = 256;

// A tile of smooth gradients with a little noise, as scanned tissue tends to be.
Bytes tilePixels() {
    Bytes p(size_t(kTile) * kTile * 3);
    uint32_t state = 11;
    for (size_t i = 0; i < p.size(); ++i) {
        state = state * 1664525u + 1013904223u;
        const size_t pixel = i / 3, x = pixel % kTile, y = pixel / kTile;
        p[i] = uint8_t((x + 2 * y + 40 * (i % 3)) / 4 + ((state >> 29) & 1));
    }
    return p;
}

void BM_SlideLzwTile(benchmark::State& state) {
    const Bytes pixels = tilePixels();
    Bytes coded = encodeStrip(pixels.data(), kTile * 3, kTile, vqtiff::COMPRESSION_LZW, 0);
    const uint32_t length = uint32_t(coded.size());
    coded.push_back(0);
    for (auto _ : state) {
        LzwWorkBuffers lzw;
        if (!lzw.prepare(int(kTile * 4 * kTile)) || !lzw.decode(coded.data(), length, int(kTile * 3), int(kTile))) {
            state.SkipWithError("the tile did not decode");
            return;
        }
        benchmark::DoNotOptimize(lzw.data());
    }
    LzwWorkBuffers check;
    check.prepare(int(kTile * 4 * kTile));
    check.decode(coded.data(), length, int(kTile * 3), int(kTile));
    if (std::memcmp(check.data(), pixels.data(), pixels.size()) != 0) state.SkipWithError("wrong pixels");
    state.SetBytesProcessed(int64_t(state.iterations()) * int64_t(pixels.size()));
}

BENCHMARK(BM_SlideLzwTile);

} // namespace

VQ_BENCHMARK_MAIN()
