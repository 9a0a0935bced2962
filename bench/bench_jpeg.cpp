// JPEG tiles: decoding, saving from planes, marker parsing and the
// operations on DCT coefficients, for one 256 x 256 4:2:0 tile.
#include <cstring>

#include "bench/bench_main.h"
#include "engine/base/imageContainer.h"
#include "engine/base/raw_tile.h"
#include "engine/base/stream.h"
#include "jpeg/jpeg_saver.h"
#include "jpeg/jpeg_stream_parser.h"
#include "jpeg/jpeg_tile_decoder.h"

namespace {

vq_ptr<imageContainer> testPicture(int side) {
    auto c = vq_ptr<imageContainer>::adopt(imageContainer::create());
    c->create(4, side, side, false);
    uint8_t* d = nullptr;
    int32_t step = 0;
    c->lockPixels(&d, &step);
    uint32_t state = 12345;
    for (int y = 0; y < side; ++y)
        for (int x = 0; x < side * 3; ++x) {
            state = state * 1664525u + 1013904223u;
            d[y * step + x] = static_cast<uint8_t>((x / 3 + y) / 2 + (x % 3) * 30 + ((state >> 24) & 15));
        }
    c->unlockPixels();
    return c;
}

// A complete JPEG tile of the picture, coded 4:2:0 at quality 80.
vq_ptr<vq_raw_tile> testTile(int side) {
    vq_ptr<vq_stream> s;
    vq_ptr<vq_saver_base> saver;
    createMemoryWriteStream(4096, s.put());
    createJPEGSaver(s.get(), saver.put());
    vq_ptr<imageContainer> picture = testPicture(side);
    saver->save(picture.get(), 80, 4);
    s->seek(0, vq_seekEnd);
    const int32_t length = static_cast<int32_t>(s->tell());
    vq_ptr<vq_raw_tile> tile;
    createRawTile(tile.put());
    tile->allocate(length, IntPair(side, side));
    tile->setCompression(7);
    s->seek(0, vq_seekStart);
    s->read(tile->getData(), static_cast<uint32_t>(length));
    return tile;
}

struct Planes {
    vq_ptr<imageContainer> y = vq_ptr<imageContainer>::adopt(imageContainer::create());
    vq_ptr<imageContainer> cb = vq_ptr<imageContainer>::adopt(imageContainer::create());
    vq_ptr<imageContainer> cr = vq_ptr<imageContainer>::adopt(imageContainer::create());
};

vq_ptr<vq_TIFFJPEGTileDecoder> decoder() { return vq_ptr<vq_TIFFJPEGTileDecoder>::adopt(createTIFFJPEGTileDecoder()); }

} // namespace

static void BM_JpegDecodeTileRgb(benchmark::State& state) {
    vq_ptr<vq_raw_tile> tile = testTile(256);
    vq_ptr<vq_TIFFJPEGTileDecoder> d = decoder();
    auto c = vq_ptr<imageContainer>::adopt(imageContainer::create());
    for (auto _ : state)
        benchmark::DoNotOptimize(d->decodeTile(IntPair(0, 0), 0, tile->getData(), tile->getDataLength(), c.get()));
}
BENCHMARK(BM_JpegDecodeTileRgb);

static void BM_JpegDecodeTilePlanes(benchmark::State& state) {
    vq_ptr<vq_raw_tile> tile = testTile(256);
    vq_ptr<vq_TIFFJPEGTileDecoder> d = decoder();
    Planes p;
    for (auto _ : state)
        benchmark::DoNotOptimize(d->decodeTileYCbCr(IntPair(0, 0), 0, tile->getData(), tile->getDataLength(),
                                                    p.y.get(), p.cb.get(), p.cr.get()));
}
BENCHMARK(BM_JpegDecodeTilePlanes);

static void BM_JpegSavePlanes(benchmark::State& state) {
    vq_ptr<vq_raw_tile> tile = testTile(256);
    vq_ptr<vq_TIFFJPEGTileDecoder> d = decoder();
    Planes p;
    d->decodeTileYCbCr(IntPair(0, 0), 0, tile->getData(), tile->getDataLength(), p.y.get(), p.cb.get(), p.cr.get());
    vq_ptr<vq_stream> s;
    vq_ptr<vq_saver_base> saver;
    createMemoryWriteStream(4096, s.put());
    createJPEGSaver(s.get(), saver.put());
    for (auto _ : state) benchmark::DoNotOptimize(saver->saveYCbCr(p.y.get(), p.cb.get(), p.cr.get(), 4, 80, 4));
}
BENCHMARK(BM_JpegSavePlanes);

static void BM_JpegParseTile(benchmark::State& state) {
    vq_ptr<vq_raw_tile> tile = testTile(256);
    for (auto _ : state) {
        JpegStreamParser p;
        p.source = tile->getData();
        p.sourceLength = static_cast<uint32_t>(tile->getDataLength());
        p.parse(false);
        benchmark::DoNotOptimize(p.parsed);
    }
}
BENCHMARK(BM_JpegParseTile);

static void BM_JpegMergeFourTiles(benchmark::State& state) {
    vq_ptr<vq_raw_tile> tile = testTile(256);
    vq_ptr<vq_TIFFJPEGTileDecoder> d = decoder();
    for (auto _ : state) {
        vq_ptr<vq_raw_tile> out;
        benchmark::DoNotOptimize(d->mergeTiles(tile.get(), tile.get(), tile.get(), tile.get(), out.put()));
    }
}
BENCHMARK(BM_JpegMergeFourTiles);

static void BM_JpegCropEdgeTile(benchmark::State& state) {
    vq_ptr<vq_raw_tile> tile = testTile(256);
    vq_ptr<vq_TIFFJPEGTileDecoder> d = decoder();
    for (auto _ : state) {
        vq_ptr<vq_raw_tile> out;
        benchmark::DoNotOptimize(d->cropTile(tile.get(), out.put(), IntPair(232, 256)));
    }
}
BENCHMARK(BM_JpegCropEdgeTile);

static void BM_JpegSplitLeftRight(benchmark::State& state) {
    vq_ptr<vq_raw_tile> tile = testTile(256);
    vq_ptr<vq_TIFFJPEGTileDecoder> d = decoder();
    for (auto _ : state) {
        vq_ptr<vq_raw_tile> left, right;
        benchmark::DoNotOptimize(d->splitLeftRight(tile.get(), left.put(), right.put()));
    }
}
BENCHMARK(BM_JpegSplitLeftRight);

VQ_BENCHMARK_MAIN()
