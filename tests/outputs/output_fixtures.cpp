#include "tests/outputs/output_fixtures.h"

#include <algorithm>
#include <cstdio>
#include <filesystem>

#include <gtest/gtest.h>

#include "support/pattern_image.h"
#include "support/test_env.h"

namespace outtest {

vq_ptr<vq_zoom_layer> makeChain(int32_t width, int32_t height, int32_t tileSize)
{
    vq_ptr<vq_zoom_layer> base;
    createZoomLayer(&base);
    base->setMinTileSize(IntPair(64, 64));
    base->setMaxTileSize(IntPair(2048, 2048));
    base->setTileSize(IntPair(tileSize, tileSize));
    base->setImageSize(IntPair(width, height));
    base->setQuality(80.0, -5.0);
    if (!base->createPyramid(true))
        return vq_ptr<vq_zoom_layer>();
    return base;
}

std::vector<TileSpec> pyramidTiles(vq_zoom_layer* base)
{
    std::vector<TileSpec> tiles;
    std::vector<vq_zoom_layer*> levels;
    for (vq_zoom_layer* level = base; level != nullptr; level = level->getNextLayer())
        levels.insert(levels.begin(), level);
    for (vq_zoom_layer* level : levels) {
        const IntPair size = level->getImageSize();
        const IntPair tile = level->getTileSize();
        const IntPair grid = level->getTileCount();
        for (int32_t y = 0; y < grid.second; ++y)
            for (int32_t x = 0; x < grid.first; ++x)
                tiles.push_back({level->getLevel(), x, y, std::min(tile.first, size.first - x * tile.first),
                                 std::min(tile.second, size.second - y * tile.second)});
    }
    return tiles;
}

vq_ptr<imageContainer> makeContainer(int32_t format, int32_t width, int32_t height, int32_t seed)
{
    return vqtest::makePatternImage(format, width, height, [seed](int x, int y, int ch) {
        return static_cast<uint8_t>(x / 2 + y / 3 + ch * 50 + seed * 17);
    });
}

vq_ptr<vq_zoomoutput_base> openOutput(bool (*factory)(vq_zoomoutput_base**), const std::string& folder,
                                      vq_zoom_layer* base)
{
    vq_ptr<vq_zoomoutput_base> out;
    EXPECT_TRUE(factory(out.put()));
    if (out == nullptr)
        return out;
    EXPECT_TRUE(out->setOutputPath(folder, ""));
    out->setBaseLayer(base);
    return out;
}

vq_ptr<vq_zoom_tile_base> makeRgbTile(const TileSpec& spec, int32_t seed)
{
    vq_ptr<vq_zoom_tile_base> t;
    createZoomTile(&t);
    t->setKey(vq_tileKey(spec.x, spec.y, spec.level));
    t->setContainer(makeContainer(vq_fmtRGB24, spec.width, spec.height, seed).get());
    return t;
}

vq_ptr<vq_zoom_tile_base> makeYCbCrTile(const TileSpec& spec, int32_t subsampling)
{
    vq_ptr<vq_zoom_tile_base> t;
    createZoomTileYCbCr(&t);
    t->setSubsampling(subsampling);
    t->setKey(vq_tileKey(spec.x, spec.y, spec.level));
    const IntPair chroma = chromaPlaneSize(IntPair(spec.width, spec.height), subsampling);
    t->setContainer(makeContainer(vq_fmtPlaneY, spec.width, spec.height).get());
    t->setContainer(makeContainer(vq_fmtPlaneCb, chroma.first, chroma.second, 3).get());
    t->setContainer(makeContainer(vq_fmtPlaneCr, chroma.first, chroma.second, 5).get());
    return t;
}

std::vector<std::string> listFiles(const std::string& root)
{
    std::vector<std::string> files;
    for (const auto& entry : std::filesystem::recursive_directory_iterator(root))
        if (entry.is_regular_file())
            files.push_back(std::filesystem::relative(entry.path(), root).string());
    std::sort(files.begin(), files.end());
    return files;
}

IntPair djpegSize(const std::string& path)
{
    const std::string djpeg = vqtest::requireTool("djpeg");
    std::string header;
    if (djpeg.empty() || vqtest::runCommand(djpeg + " -pnm '" + path + "' | head -c 40", &header) != 0)
        return IntPair(0, 0);
    int w = 0;
    int h = 0;
    if (std::sscanf(header.c_str(), "P%*d %d %d", &w, &h) != 2)
        return IntPair(0, 0);
    return IntPair(w, h);
}

} // namespace outtest
