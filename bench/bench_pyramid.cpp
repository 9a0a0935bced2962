// Whole pyramid of a 16384 x 16384 synthetic RGB image read in strips, into
// an output that discards the tiles: the cost of cutting, merging and
// halving, with the strips read on the building thread or on a reader thread.
#include <algorithm>
#include <cstring>
#include <vector>

#include "bench/bench_main.h"
#include "bench/null_output.h"
#include "engine/pyramid/kestrifier.h"
#include "engine/base/vq_global.h"
#include "engine/base/loader_base.h"

namespace {

class DiscardingOutput : public NullOutput {
public:
    bool saveTile(vq_zoom_tile_base*) override { return ++tiles, true; }
    int64_t tiles = 0;
};

// Strips of a smooth synthetic image; each row is a shifted copy of one
// pattern row, so producing a strip costs little next to the pyramid.
class SyntheticStrips : public vq_stripLoader_base {
public:
    explicit SyntheticStrips(int32_t side) : side_(side), pattern_(static_cast<size_t>(side + 256) * 3)
    {
        for (size_t i = 0; i < pattern_.size(); ++i)
            pattern_[i] = static_cast<uint8_t>((i * 7 / 3) ^ (i >> 5));
    }
    IntPair getImageSize() override { return IntPair(side_, side_); }
    int getMinTileSize() override { return 16; }
    int getMaxStripHeight() override { return 4096; }
    bool prepareStrips(int h, int) override { return stripHeight_ = h, true; }
    bool readNextStrip(int* row, imageContainer* dst) override
    {
        const int32_t h = std::min(stripHeight_, side_ - *row);
        dst->create(vq_fmtRGB24, side_, h, true);
        uint8_t* data = nullptr;
        int32_t step = 0;
        dst->lockPixels(&data, &step);
        for (int32_t y = 0; y < h; ++y)
            std::memcpy(data + static_cast<size_t>(y) * step, pattern_.data() + ((*row + y) % 256) * 3,
                        static_cast<size_t>(side_) * 3);
        dst->unlockPixels();
        *row += h;
        return true;
    }
    bool supportsYCbCr() override { return false; }
    int getSubsampling() override { return 1; }
    bool prepareStripsYCbCr(int) override { return false; }
    bool readNextStripYCbCr(int*, imageContainer*, imageContainer*, imageContainer*) override { return false; }
    int getFormat() override { return vq_fmtRGB24; }

private:
    int32_t side_;
    int32_t stripHeight_ = 256;
    std::vector<uint8_t> pattern_;
};

void pyramid(benchmark::State& state)
{
    const bool readerThread = state.range(0) != 0;
    const int32_t resampling = static_cast<int32_t>(state.range(1));
    vq_ptr<vq_global_base> global;
    getGlobal(global.put());
    global->setLoaderThreadCount(readerThread ? 1 : 0);
    global->setEncoderThreadCount(readerThread ? 2 : 0);
    global->setMultiThreaded(readerThread);
    int64_t tiles = 0;
    for (auto _ : state) {
        auto* out = new DiscardingOutput();
        vq_ptr<vq_zoomoutput_base> output(out);
        vq_ptr<vq_stripLoader_base> strips(new SyntheticStrips(16384));
        vq_ptr<vq_kestrifier_base> driver;
        createKestrifier(&driver);
        driver->setResampling(resampling);
        driver->setOutput(output.get());
        if (!driver->kestrixStrips(strips.get(), "bench", ".jpg"))
            state.SkipWithError("run failed");
        tiles = out->tiles;
    }
    state.counters["tiles"] = static_cast<double>(tiles);
    state.SetLabel(readerThread ? "strip reader thread" : "single thread");
}

BENCHMARK(pyramid)
    ->ArgsProduct({{0, 1}, {1, 2}})
    ->ArgNames({"threaded", "resampling"})
    ->Unit(benchmark::kMillisecond)
    ->Iterations(1)
    ->Repetitions(3)
    ->ReportAggregatesOnly(true);

} // namespace

VQ_BENCHMARK_MAIN()
