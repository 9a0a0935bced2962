// TIFF strip reading: one 1024 x 1024 grey image in strips of 64 rows,
// decoded through the None, PackBits, LZW and Deflate codecs (LZW and Deflate
// also with the horizontal predictor), from an in-memory file.
#include <cstring>
#include <vector>
#include <zlib.h>

#include "bench/bench_main.h"
#include "tiff/vqtiff_internal.h"

namespace {

using Bytes = std::vector<uint8_t>;
using namespace vqtiff;

constexpr uint32_t kSide = 1024;
constexpr uint32_t kRows = 64;

struct MemFile {
    Bytes data;
    uint64_t pos = 0;
};

int64_t memRead(void* c, void* buf, int64_t n) {
    auto* f = static_cast<MemFile*>(c);
    if (f->pos >= f->data.size()) return 0;
    n = std::min<int64_t>(n, int64_t(f->data.size() - f->pos));
    std::memcpy(buf, f->data.data() + f->pos, size_t(n));
    f->pos += uint64_t(n);
    return n;
}
int64_t memWrite(void* c, void* buf, int64_t n) {
    auto* f = static_cast<MemFile*>(c);
    if (f->pos + uint64_t(n) > f->data.size()) f->data.resize(size_t(f->pos + uint64_t(n)));
    std::memcpy(f->data.data() + f->pos, buf, size_t(n));
    f->pos += uint64_t(n);
    return n;
}
uint64_t memSeek(void* c, uint64_t off, int whence) {
    auto* f = static_cast<MemFile*>(c);
    f->pos = off + (whence == 1 ? f->pos : whence == 2 ? f->data.size() : 0);
    return f->pos;
}
int memClose(void*) { return 0; }
uint64_t memSize(void* c) { return static_cast<MemFile*>(c)->data.size(); }

TIFFHandle* open(MemFile& f, const char* mode) {
    f.pos = 0;
    return TIFFClientOpen("bench.tif", mode, &f, memRead, memWrite, memSeek, memClose, memSize, nullptr, nullptr);
}

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
    for (uint32_t row = 0; row < kSide; row += kRows) {
        MemFile scratch;
        TIFFHandle* h = open(scratch, "w");
        TIFFSetField(h, TAG_ImageWidth, kSide);
        TIFFSetField(h, TAG_ImageLength, kRows);
        TIFFSetField(h, TAG_BitsPerSample, 8);
        TIFFSetField(h, TAG_RowsPerStrip, kRows);
        TIFFSetField(h, TAG_Compression, int(compression));
        if (predictor) TIFFSetField(h, TAG_Predictor, int(predictor));
        allocateStripArrays(h);
        h->flags |= FLAG_BEENWRITING;
        h->scanlineByteSize = TIFFScanlineSize(h);
        TIFFWriteBufferSetup(h, nullptr, -1);
        h->curStrip = 0;
        h->setupEncode(h);
        h->preEncode(h, 0);
        Bytes strip(image.begin() + long(row) * kSide, image.begin() + long(row + kRows) * kSide);
        h->encodeStrip(h, strip.data(), int64_t(strip.size()), 0);
        h->postEncode(h);
        TIFFFlushRawBuffer(h);
        uint64_t at = h->dir.stripOffset[0], n = h->dir.stripByteCount[0];
        h->openMode = 0;
        TIFFCloseFile(h);
        strips.emplace_back(scratch.data.begin() + long(at), scratch.data.begin() + long(at + n));
    }
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
