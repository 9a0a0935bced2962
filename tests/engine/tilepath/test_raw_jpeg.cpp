// Raw pass-through with the JPEG tile decoder over JPEG tiles made with
// libjpeg-turbo: copied tiles keep their bytes, reshaped and merged tiles
// decode to exactly the pixels of the source tiles they came from.
#include <gtest/gtest.h>

#include <cstdio>

#include "outputs/output_factories.h"
#include "tests/engine/tilepath/tilepath_fixtures.h"
#include "tests/support/test_env.h"

namespace {

using namespace tilepathtest;

// The decoded source tiles laid side by side.
struct Canvas {
    IntPair size;
    std::vector<uint8_t> rgb;

    explicit Canvas(MemoryTileLoader& source)
    {
        const IntPair g = source.grid(), t = source.tileSize;
        size = IntPair(g.first * t.first, g.second * t.second);
        rgb.resize(static_cast<size_t>(size.first * size.second * 3));
        for (int y = 0; y < g.second; ++y)
            for (int x = 0; x < g.first; ++x) {
                IntPair s;
                const std::vector<uint8_t> tile = decodeJpeg(source.sourceTile(x, y), &s);
                for (int r = 0; r < t.second; ++r)
                    std::copy_n(&tile[static_cast<size_t>(r * t.first * 3)], t.first * 3,
                                &rgb[static_cast<size_t>(((y * t.second + r) * size.first + x * t.first) * 3)]);
            }
    }

    // The decoded tile must equal the canvas from (x0, y0) on.
    void expectRegion(const std::vector<uint8_t>& jpeg, int x0, int y0, IntPair expectedSize) const
    {
        IntPair s;
        const std::vector<uint8_t> tile = decodeJpeg(jpeg, &s);
        ASSERT_EQ(s, expectedSize) << "tile at " << x0 << "," << y0;
        for (int r = 0; r < s.second; ++r)
            ASSERT_TRUE(std::equal(&tile[static_cast<size_t>(r * s.first * 3)],
                                   &tile[static_cast<size_t>((r + 1) * s.first * 3)],
                                   &rgb[static_cast<size_t>(((y0 + r) * size.first + x0) * 3)]))
                << "tile at " << x0 << "," << y0 << " row " << r;
    }
};

// Raw tiles the output received on the largest level it received any.
std::map<vq_tileKey, std::vector<uint8_t>> baseRawTiles(RecordingOutput& out)
{
    int32_t base = -1;
    for (const auto& [key, bytes] : out.rawTileBytes)
        base = std::max(base, key.level);
    std::map<vq_tileKey, std::vector<uint8_t>> tiles;
    for (const auto& [key, bytes] : out.rawTileBytes)
        if (key.level == base)
            tiles[key] = bytes;
    return tiles;
}

vq_ptr<RecordingOutput> runRaw(MemoryTileLoader* source, int32_t loaders, RecordingLog* log)
{
    setThreads(loaders, loaders != 0);
    vq_ptr<RecordingOutput> out = RecordingOutput::make();
    out->acceptRaw = true;
    vq_ptr<vq_kestrifier_base> driver = makeDriver(out.get(), log);
    EXPECT_TRUE(driver->kestrixTiles(source, 0, 0, "out", ".jpg"));
    return out;
}

// Every base tile of a 600 x 400 image in tiles of 256 matches the canvas.
void expectBaseTilesFromCanvas(RecordingOutput& out, const Canvas& canvas)
{
    const auto tiles = baseRawTiles(out);
    ASSERT_EQ(tiles.size(), 6u);
    for (const auto& [key, bytes] : tiles) {
        const IntPair size(std::min(256, 600 - key.x * 256), std::min(256, 400 - key.y * 256));
        canvas.expectRegion(bytes, key.x * 256, key.y * 256, size);
    }
}

TEST(RawJpeg, PassedTilesAreTheSourceTiles)
{
    // Full chroma, so that cut edge tiles decode exactly like the source.
    vq_ptr<MemoryTileLoader> source = MemoryTileLoader::make(IntPair(1100, 700), IntPair(256, 256), TJSAMP_444);
    const Canvas canvas(*source);
    for (int32_t loaders : {0, 2}) {
        SCOPED_TRACE(loaders);
        vq_ptr<RecordingLog> log = RecordingLog::make();
        vq_ptr<RecordingOutput> out = runRaw(source.get(), loaders, log.get());
        EXPECT_TRUE(log->has(1, "Using raw JPEG tiles for base layer\n"));
        const auto tiles = baseRawTiles(*out);
        ASSERT_EQ(tiles.size(), 15u);
        for (const auto& [key, bytes] : tiles) {
            if (key.x < 4 && key.y < 2)
                EXPECT_TRUE(bytes == source->sourceTile(key.x, key.y)) << key.x << "," << key.y;
            else // edge tiles are cut to the image in the compressed domain
                canvas.expectRegion(bytes, key.x * 256, key.y * 256,
                                    IntPair(key.x < 4 ? 256 : 76, key.y < 2 ? 256 : 188));
        }
    }
}

TEST(RawJpeg, PassedTilesReachATileFolder)
{
    registerOutputFactories();
    const std::string djpeg = vqtest::requireTool("djpeg");
    vq_ptr<MemoryTileLoader> source = MemoryTileLoader::make(IntPair(1100, 700), IntPair(256, 256), TJSAMP_420);
    const std::string folder = vqtest::scratchDir("tilepath_raw_folder");
    setThreads(2, true);
    vq_ptr<vq_kestrifier_base> driver;
    createKestrifier(&driver);
    driver->setOutputOption(0);
    ASSERT_TRUE(driver->kestrixTiles(source.get(), 0, 0, folder.c_str(), ".jpg"));
    // Levels 3 (5 x 3 tiles) down to 0, 24 tiles in one TileGroup folder.
    for (int y = 0; y < 3; ++y)
        for (int x = 0; x < 5; ++x) {
            const std::string file = folder + "/TileGroup0/3-" + std::to_string(x) + "-" + std::to_string(y) + ".jpg";
            const std::string bytes = vqtest::readFile(file);
            if (x < 4 && y < 2) {
                const std::vector<uint8_t>& expected = source->sourceTile(x, y);
                EXPECT_TRUE(bytes == std::string(expected.begin(), expected.end())) << file;
            }
            std::string ppm;
            ASSERT_EQ(vqtest::runCommand(djpeg + " -ppm '" + file + "'", &ppm), 0) << file;
            char header[32];
            std::snprintf(header, sizeof header, "P6\n%d %d\n", x < 4 ? 256 : 76, y < 2 ? 256 : 188);
            EXPECT_EQ(ppm.rfind(header, 0), 0u) << file;
        }
    std::string ppm;
    EXPECT_EQ(vqtest::runCommand(djpeg + " -ppm '" + folder + "/TileGroup0/0-0-0.jpg'", &ppm), 0);
}

TEST(RawJpeg, TilesThatAreNotSquareAreReshapedLosslessly)
{
    // 240 x 112 tiles: the base level refuses them, the raw level splits and
    // merges them into tiles of 256.
    vq_ptr<MemoryTileLoader> source = MemoryTileLoader::make(IntPair(600, 400), IntPair(240, 112), TJSAMP_444);
    const Canvas canvas(*source);
    vq_ptr<RecordingOutput> single = runRaw(source.get(), 0, nullptr);
    expectBaseTilesFromCanvas(*single, canvas);
    vq_ptr<RecordingOutput> threaded = runRaw(source.get(), 4, nullptr);
    EXPECT_TRUE(baseRawTiles(*threaded) == baseRawTiles(*single));
}

TEST(RawJpeg, QuadModeMergesSmallTilesOnTheLoaders)
{
    vq_ptr<MemoryTileLoader> source = MemoryTileLoader::make(IntPair(600, 400), IntPair(128, 128), TJSAMP_444);
    const Canvas canvas(*source);
    vq_ptr<RecordingLog> log = RecordingLog::make();
    vq_ptr<RecordingOutput> out = runRaw(source.get(), 2, log.get());
    EXPECT_TRUE(log->has(1, "Using 2 raw loader threads\n"));
    expectBaseTilesFromCanvas(*out, canvas);
    // The consumer counts the 3 x 2 merged tiles, not the 5 x 4 source tiles.
    EXPECT_EQ(log->tilesDone, 6);
    EXPECT_EQ(log->progress, 100);
}

} // namespace
