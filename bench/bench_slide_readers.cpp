// The slide readers' own LZW decoder on one 256 x 256 RGB tile coded by the
// TIFF library's LZW encoder.
#include <cstring>
#include <vector>

#include "bench/bench_main.h"
#include "readers/lzw_decoder.h"
#include "tiff/vqtiff_internal.h"

namespace {

using Bytes = std::vector<uint8_t>;
using namespace vqtiff;

constexpr uint32_t kTile = 256;

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

// The tile coded as one LZW strip by the library's encoder.
Bytes lzwTile(const Bytes& pixels) {
    MemFile scratch;
    TIFFHandle* h = TIFFClientOpen("bench.tif", "w", &scratch, memRead, memWrite, memSeek, memClose, memSize,
                                   nullptr, nullptr);
    TIFFSetField(h, TAG_ImageWidth, kTile * 3);
    TIFFSetField(h, TAG_ImageLength, kTile);
    TIFFSetField(h, TAG_BitsPerSample, 8);
    TIFFSetField(h, TAG_RowsPerStrip, kTile);
    TIFFSetField(h, TAG_Compression, int(COMPRESSION_LZW));
    allocateStripArrays(h);
    h->flags |= FLAG_BEENWRITING;
    h->scanlineByteSize = TIFFScanlineSize(h);
    TIFFWriteBufferSetup(h, nullptr, -1);
    h->curStrip = 0;
    h->setupEncode(h);
    h->preEncode(h, 0);
    Bytes copy = pixels;
    h->encodeStrip(h, copy.data(), int64_t(copy.size()), 0);
    h->postEncode(h);
    TIFFFlushRawBuffer(h);
    const uint64_t at = h->dir.stripOffset[0], n = h->dir.stripByteCount[0];
    h->openMode = 0;
    TIFFCloseFile(h);
    return Bytes(scratch.data.begin() + long(at), scratch.data.begin() + long(at + n));
}

void BM_SlideLzwTile(benchmark::State& state) {
    const Bytes pixels = tilePixels();
    Bytes coded = lzwTile(pixels);
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
