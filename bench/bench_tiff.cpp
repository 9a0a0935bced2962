// TIFF strip reading: one 1024 x 1024 grey image in strips of 64 rows,
// decoded through the None, PackBits, LZW and Deflate codecs (LZW and Deflate
// also with the horizontal predictor), from an in-memory file.
#include <cstring>
#include <vector>
#include <zlib.h>

#include "bench/bench_main.h"
#include "bench/bench_tiff_support.h"
#include "tiff/vqtiff_internal.h"

namespace {

using namespace vqtiff;

constexpr uint32_t kSide = 1024;
constexpr uint32_t kRows = 64;

using namespace benchtiff;

Bytes picture() {
    Bytes p(size_t(kSide) * kSide);
    uint32_t state = 7;
    for (uint32_t y = 0; y < kSide; ++y)
        for (uint32_t x = 0; x < kSide; ++x) {
            state = state * 1664525u + 1013904223u;
            p[size_t(y) * kSide + x] = uint8_t((x + y) / 8 + ((state >> 28) & 3));
        }
    return p;
}

// Encodes the strips with the library's own encoders and lays out a classic
// file: header, strips, one directory.
Bytes buildFile(uint16_t compression, uint16_t predictor) {
    Bytes image = picture();
    std::vector<Bytes> strips;
    for (uint32_t row = 0; row < kSide; row += kRows)
        strips.push_back(encodeStrip(image.data() + size_t(row) * kSide, kSide, kRows, compression, predictor));
    Bytes file = {'I', 'I', 42, 0, 0, 0, 0, 0};
    std::vector<uint32_t> offsets, counts;
    for (auto& s : strips) {
        offsets.push_back(uint32_t(file.size()));
        counts.push_back(uint32_t(s.size()));
        file.insert(file.end(), s.begin(), s.end());
    }
    auto put16 = [&](uint32_t v) { file.push_back(uint8_t(v)); file.push_back(uint8_t(v >> 8)); };
    auto put32 = [&](uint32_t v) { put16(v & 0xFFFF); put16(v >> 16); };
    const uint32_t n = uint32_t(offsets.size());
    const uint32_t ifd = uint32_t(file.size());
    const uint32_t entries = predictor ? 9 : 8;
    const uint32_t arrays = ifd + 2 + entries * 12 + 4;
    std::memcpy(file.data() + 4, &ifd, 4);
    put16(entries);
    auto entry = [&](uint16_t tag, uint16_t type, uint32_t count, uint32_t value) {
        put16(tag);
        put16(type);
        put32(count);
        put32(value);
    };
    entry(256, 4, 1, kSide);
    entry(257, 4, 1, kSide);
    entry(258, 3, 1, 8);
    entry(259, 3, 1, compression);
    entry(262, 3, 1, 1);
    entry(273, 4, n, arrays);
    entry(278, 4, 1, kRows);
    entry(279, 4, n, arrays + 4 * n);
    if (predictor) entry(317, 3, 1, predictor);
    put32(0);
    for (uint32_t v : offsets) put32(v);
    for (uint32_t v : counts) put32(v);
    return file;
}

void readStrips(benchmark::State& state, uint16_t compression, uint16_t predictor) {
    MemFile f;
    f.data = buildFile(compression, predictor);
    TIFFHandle* h = open(f, "rm");
    if (!h) {
        state.SkipWithError("the file did not open");
        return;
    }
    Bytes out(size_t(kSide) * kRows);
    for (auto _ : state) {
        for (uint32_t s = 0; s < kSide / kRows; ++s) TIFFReadDecodedStrip(h, s, out.data(), -1);
        benchmark::DoNotOptimize(out.data());
    }
    state.SetBytesProcessed(int64_t(state.iterations()) * kSide * kSide);
    TIFFCloseFile(h);
}

void BM_TiffStripsNone(benchmark::State& s) { readStrips(s, COMPRESSION_NONE, 0); }
void BM_TiffStripsPackBits(benchmark::State& s) { readStrips(s, COMPRESSION_PACKBITS, 0); }
void BM_TiffStripsLZW(benchmark::State& s) { readStrips(s, COMPRESSION_LZW, 0); }
void BM_TiffStripsLZWPredictor(benchmark::State& s) { readStrips(s, COMPRESSION_LZW, 2); }
void BM_TiffStripsDeflate(benchmark::State& s) { readStrips(s, COMPRESSION_DEFLATE, 0); }
void BM_TiffStripsDeflatePredictor(benchmark::State& s) { readStrips(s, COMPRESSION_DEFLATE, 2); }

BENCHMARK(BM_TiffStripsNone);
BENCHMARK(BM_TiffStripsPackBits);
BENCHMARK(BM_TiffStripsLZW);
BENCHMARK(BM_TiffStripsLZWPredictor);
BENCHMARK(BM_TiffStripsDeflate);
BENCHMARK(BM_TiffStripsDeflatePredictor);

} // namespace

VQ_BENCHMARK_MAIN()
