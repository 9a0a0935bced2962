// Tile path over an 8192 x 8192 source of 256 x 256 JPEG tiles (4:2:0), into
// an output that JPEG-encodes every pixel tile it receives: raw pass-through
// on and off, with 1 or 8 loader threads.
#include <turbojpeg.h>

#include <map>
#include <mutex>
#include <vector>

#include "bench/bench_main.h"
#include "bench/null_output.h"
#include "engine/pyramid/kestrifier.h"
#include "engine/base/raw_tile.h"
#include "engine/pyramid/tile_jpeg.h"
#include "engine/base/vq_global.h"
#include "jpeg/jpeg_tile_decoder.h"
#include "engine/base/loader_base.h"

namespace {

constexpr int32_t kSide = 8192, kTile = 256, kGrid = kSide / kTile;

class EncodingOutput : public NullOutput {
public:
    bool saveTile(vq_zoom_tile_base* tile) override
    {
        if (tile->isSaved()) // passed through raw
            return true;
        vq_tile_saver job;
        vq_ptr<imageContainer> c;
        tile->getContainer(c, vq_fmtRGB24);
        job.setContainer(c.get());
        vq_ptr<vq_stream> encoded;
        encodeTileJob(job, encoded);
        return ++tiles, true;
    }
    bool saveRawTile(vq_zoom_tile_base*, vq_raw_tile*) override { return passRaw && ++rawTiles > 0; }
    bool acceptsRawTiles() override { return passRaw; }
    int32_t getColourSpace() override { return 4; }

    bool passRaw = false;
    int64_t tiles = 0, rawTiles = 0;
};

// Every tile is the same smooth JPEG tile, encoded once.
class JpegTiles : public vq_tileloader_base {
public:
    JpegTiles()
    {
        std::vector<uint8_t> rgb(static_cast<size_t>(kTile * kTile * 3));
        for (size_t i = 0; i < rgb.size(); ++i)
            rgb[i] = static_cast<uint8_t>((i / 3 % kTile) + (i / (3 * kTile)) * (i % 3 + 1));
        tjhandle handle = tjInitCompress();
        unsigned char* buffer = nullptr;
        unsigned long size = 0;
        tjCompress2(handle, rgb.data(), kTile, kTile * 3, kTile, TJPF_RGB, &buffer, &size, TJSAMP_420, 85, 0);
        tile.assign(buffer, buffer + size);
        tjFree(buffer);
        tjDestroy(handle);
    }
    int getImageCount() override { return 1; }
    IntPair getTileSize(int) override { return IntPair(kTile, kTile); }
    std::vector<IntPair> getLevelSizes(int) override { return {IntPair(kSide, kSide)}; }
    IntPair getLevelTileCounts(int, int) override { return IntPair(kGrid, kGrid); }
    IntPair getLevelSize(int, int) override { return IntPair(kSide, kSide); }
    int getPixelFormat(int, int) override { return 4; }
    int getTileCount(int) override { return kGrid * kGrid; }
    bool loadTile(int x, int y, int level, int image, imageContainer* dst, int) override
    {
        vq_ptr<vq_raw_tile> raw;
        vq_ptr<vq_tileDecoder_base> decoder;
        return loadRawTile(x, y, level, image, raw.put()) && createTileDecoder(decoder.put(), image) &&
               decoder->decodeTile(IntPair(x, y), level, raw->getData(), raw->getDataLength(), dst);
    }
    bool hasRawTiles(int) override { return true; }
    bool isRawYCbCr(int) override { return true; }
    bool loadTileYCbCr(int, int, int, int, imageContainer*, imageContainer*, imageContainer*) override
    {
        return false;
    }
    bool isRawCodecSupported(int) override { return true; }
    bool isJPEG(int) override { return true; }
    bool createTileDecoder(vq_tileDecoder_base** out, int) override
    {
        *out = createTIFFJPEGTileDecoder();
        return *out != nullptr;
    }
    int getCompression(int) override { return 7; }
    int getSubsampling(int) override { return 4; }
    int getQuality() override { return 85; }
    bool loadThumbnail(vq_raw_tile**, int) override { return false; }
    std::string getDescription() override { return {}; }
    int64_t getFileSize() override { return 0; }
    bool loadRawTile(int, int, int level, int, vq_raw_tile** out) override
    {
        if (level < 0 || !createRawTile(out))
            return false;
        (*out)->allocate(static_cast<int32_t>(tile.size()), IntPair(kTile, kTile));
        std::copy(tile.begin(), tile.end(), (*out)->getData());
        (*out)->setCompression(7);
        return true;
    }
    bool loadRawTileAsStored(int x, int y, int level, int image, vq_raw_tile** out) override
    {
        return loadRawTile(x, y, level, image, out);
    }
    bool getJpegTables(int, int, vq_raw_tile**) override { return false; }
    int getMagnification(int) override { return 20; }
    void lock() override {}
    void unlock() override {}
    bool isValidTile(int, int, int, int) override { return true; }

    std::vector<uint8_t> tile;
};

// Arguments: raw pass-through (0 or 1), loader threads.
void BM_TilePath(benchmark::State& state)
{
    auto* source = new JpegTiles();
    source->addRef();
    vq_ptr<vq_tileloader_base> sourceRef = vq_ptr<vq_tileloader_base>::adopt(source);
    vq_ptr<vq_global_base> global;
    getGlobal(global.put());
    global->setLoaderThreadCount(static_cast<int32_t>(state.range(1)));
    global->setEncoderThreadCount(1);
    global->setMultiThreaded(false);
    for (auto _ : state) {
        auto* output = new EncodingOutput();
        output->addRef();
        vq_ptr<EncodingOutput> outputRef = vq_ptr<EncodingOutput>::adopt(output);
        output->passRaw = state.range(0) != 0;
        vq_ptr<vq_kestrifier_base> driver;
        createKestrifier(&driver);
        driver->setOutput(output);
        driver->setTilePixelFormat(4);
        if (!driver->kestrixTiles(source, 0, 0, "bench", ".jpg"))
            state.SkipWithError("run failed");
        state.counters["raw"] = static_cast<double>(output->rawTiles);
        state.counters["encoded"] = static_cast<double>(output->tiles);
    }
    state.SetItemsProcessed(state.iterations() * kGrid * kGrid);
}

BENCHMARK(BM_TilePath)
    ->ArgNames({"raw", "loaders"})
    ->Args({0, 1})
    ->Args({0, 8})
    ->Args({1, 1})
    ->Args({1, 8})
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime()
    ->Iterations(1)
    ->Repetitions(3)
    ->ReportAggregatesOnly(true);

} // namespace

VQ_BENCHMARK_MAIN()
