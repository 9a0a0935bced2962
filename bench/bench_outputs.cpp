// Writing a pyramid into a tile folder on the calling thread (the JPEG coding
// of every tile plus one file each), and reading its tiles back raw through
// the tile folder reader.
#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <string>

#include <unistd.h>

#include "bench/bench_main.h"
#include "engine/base/imageContainer.h"
#include "engine/base/raw_tile.h"
#include "engine/pyramid/zoom_layer.h"
#include "engine/pyramid/zoom_tile.h"
#include "outputs/output_factories.h"
#include "readers/folders/kestrix_folder_reader.h"

namespace {

const std::string& benchFolder()
{
    static const std::string folder =
        (std::filesystem::temp_directory_path() / ("vq-bench-outputs-" + std::to_string(getpid()))).string();
    return folder;
}

vq_ptr<vq_zoom_layer> chain()
{
    vq_ptr<vq_zoom_layer> base;
    createZoomLayer(&base);
    base->setMinTileSize(IntPair(64, 64));
    base->setTileSize(IntPair(256, 256));
    base->setImageSize(IntPair(1000, 800));
    base->createPyramid(true);
    return base;
}

vq_ptr<vq_zoom_tile_base> planeTile(int32_t x, int32_t y, int32_t level, int32_t w, int32_t h)
{
    vq_ptr<vq_zoom_tile_base> tile;
    createZoomTileYCbCr(&tile);
    tile->setSubsampling(4);
    tile->setKey(vq_tileKey(x, y, level));
    const int32_t formats[] = {vq_fmtPlaneY, vq_fmtPlaneCb, vq_fmtPlaneCr};
    for (int32_t f : formats) {
        const IntPair size = f == vq_fmtPlaneY ? IntPair(w, h) : chromaPlaneSize(IntPair(w, h), 4);
        auto c = vq_ptr<imageContainer>::adopt(imageContainer::create());
        c->create(f, size.first, size.second, false);
        uint8_t* data = nullptr;
        int32_t step = 0;
        c->lockPixels(&data, &step);
        for (int32_t r = 0; r < size.second; ++r)
            for (int32_t col = 0; col < size.first; ++col)
                data[r * step + col] = static_cast<uint8_t>((col * 3 + r * 5 + f * 40) ^ (col * r));
        c->unlockPixels();
        tile->setContainer(c.get());
    }
    return tile;
}

// Every tile of the 1000 x 800 pyramid (21 tiles) written unthreaded.
void TileFolderWritePyramid(benchmark::State& state)
{
    auto base = chain();
    for (auto _ : state) {
        std::filesystem::remove_all(benchFolder());
        vq_ptr<vq_zoomoutput_base> out;
        createKestrixOutput(out.put());
        out->setOutputPath(benchFolder(), "");
        out->setBaseLayer(base.get());
        for (vq_zoom_layer* level = base.get(); level != nullptr; level = level->getNextLayer()) {
            const IntPair size = level->getImageSize();
            const IntPair grid = level->getTileCount();
            for (int32_t y = 0; y < grid.second; ++y)
                for (int32_t x = 0; x < grid.first; ++x)
                    out->saveTile(planeTile(x, y, level->getLevel(), std::min(256, size.first - x * 256),
                                            std::min(256, size.second - y * 256))
                                      .get());
        }
        out->finish();
    }
    state.SetItemsProcessed(state.iterations() * 21);
}
BENCHMARK(TileFolderWritePyramid)->Unit(benchmark::kMillisecond);

// Every tile of that folder loaded raw: path, open, header and whole file.
void TileFolderReadRawTiles(benchmark::State& state)
{
    vq_ptr<vq_loader_base> loader;
    vq_ptr<vq_tileloader_base> tiles;
    if (!createKestrixLoader(benchFolder().c_str(), loader.put()) || !loader->getTileLoader(tiles.put())) {
        state.SkipWithError("no tile folder");
        return;
    }
    for (auto _ : state) {
        for (int32_t level = 0; level < 3; ++level) {
            const IntPair grid = tiles->getLevelTileCounts(level, 0);
            for (int32_t y = 0; y < grid.second; ++y)
                for (int32_t x = 0; x < grid.first; ++x) {
                    vq_ptr<vq_raw_tile> raw;
                    tiles->loadRawTile(x, y, level, 0, raw.put());
                    benchmark::DoNotOptimize(raw.get());
                }
        }
    }
    state.SetItemsProcessed(state.iterations() * 21);
}
BENCHMARK(TileFolderReadRawTiles)->Unit(benchmark::kMicrosecond);

} // namespace

VQ_BENCHMARK_MAIN();
