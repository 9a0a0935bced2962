// Raw pass-through with the JPEG tile decoder over JPEG tiles made with
// libjpeg-turbo: copied tiles keep their bytes, reshaped and merged tiles
// decode to exactly the pixels of the source tiles they came from.
#include <gtest/gtest.h>

#include <cstdio>
#include <cmath>
#include <cstdlib>

#include "outputs/output_factories.h"
#include "readers/tiff/tiff_reader.h"
#include "tests/engine/tilepath/tilepath_fixtures.h"
#include "tests/readers/tiff/slide_fixture.h"
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

// ---- A JPEG-tiled TIFF through the TIFF tile reader --------------------------------------

namespace {

using slidetest::Bytes;

// A smooth picture: ramps across and down and a slow wave, so that every
// place differs from its neighbours' places while halving (box or cubic)
// changes it little.
uint8_t smoothPixel(int x, int y, int c)
{
    switch (c) {
    case 0: return static_cast<uint8_t>(20 + std::min(x * 200 / 1100, 220));
    case 1: return static_cast<uint8_t>(20 + std::min(y * 200 / 700, 220));
    default: return static_cast<uint8_t>(128 + 100 * std::sin(x / 90.0) * std::cos(y / 70.0));
    }
}

int32_t turboSubsampling(const Bytes& jpeg)
{
    tjhandle handle = tjInitDecompress();
    int w = 0, h = 0, samp = -1, cs = 0;
    tjDecompressHeader3(handle, jpeg.data(), jpeg.size(), &w, &h, &samp, &cs);
    tjDestroy(handle);
    return samp;
}

// A JPEG-tiled TIFF as slide scanners write it: abbreviated tiles sharing one
// JPEGTables, photometric RGB and no YCbCrSubsampling tag, the tiles encoded
// by libjpeg-turbo with the chroma sampling asked for.
struct JpegTiledTiff {
    JpegTiledTiff(IntPair imageSize, int32_t turboSamp) : size(imageSize), samp(turboSamp)
    {
        const IntPair g = grid();
        canvas.resize(static_cast<size_t>(size.first * size.second * 3));
        slidetest::DirSpec level;
        level.width = size.first;
        level.height = size.second;
        level.tileWidth = level.tileHeight = kTile;
        level.compression = 7;
        for (int ty = 0; ty < g.second; ++ty)
            for (int tx = 0; tx < g.first; ++tx) {
                std::vector<uint8_t> rgb(kTile * kTile * 3);
                for (int r = 0; r < kTile; ++r)
                    for (int c = 0; c < kTile; ++c)
                        for (int k = 0; k < 3; ++k)
                            rgb[static_cast<size_t>((r * kTile + c) * 3 + k)] =
                                smoothPixel(tx * kTile + c, ty * kTile + r, k);
                const std::vector<uint8_t> jpeg = encodeJpeg(rgb, IntPair(kTile, kTile), samp, 85);
                const slidetest::SplitJpeg split = slidetest::splitJpeg(std::string(jpeg.begin(), jpeg.end()));
                if (level.tables.empty())
                    level.tables = split.tables;
                EXPECT_EQ(split.tables, level.tables) << "every tile shares the first tile's tables";
                level.pieces.push_back(split.abbreviated);
                // SOI, the tables between their SOI and EOI, the tile after its SOI.
                Bytes whole = {0xFF, 0xD8};
                whole.insert(whole.end(), split.tables.begin() + 2, split.tables.end() - 2);
                whole.insert(whole.end(), split.abbreviated.begin() + 2, split.abbreviated.end());
                spliced.push_back(whole);
                IntPair s;
                const std::vector<uint8_t> decoded = decodeJpeg(split.full, &s);
                for (int r = 0; r < kTile && ty * kTile + r < size.second; ++r)
                    for (int c = 0; c < kTile && tx * kTile + c < size.first; ++c)
                        std::copy_n(&decoded[static_cast<size_t>((r * kTile + c) * 3)], 3,
                                    &canvas[static_cast<size_t>(((ty * kTile + r) * size.first + tx * kTile + c) * 3)]);
            }
        tifftest::TiffBuilder builder;
        slidetest::addDir(builder, level);
        file = slidetest::source(builder.bytes());
    }

    IntPair grid() const { return IntPair((size.first + kTile - 1) / kTile, (size.second + kTile - 1) / kTile); }

    vq_ptr<vq_tileloader_base> open() const
    {
        vq_ptr<vq_loader_base> reader;
        vq_ptr<vq_tileloader_base> tiles;
        EXPECT_TRUE(createTIFFLoader(file->stream.get(), reader.put()) && reader->getTileLoader(tiles.put()));
        return tiles;
    }

    static constexpr int kTile = 256;
    IntPair size;
    int32_t samp;
    std::vector<uint8_t> canvas;  // the decoded tiles side by side, RGB
    std::vector<Bytes> spliced;   // each tile completed with the tables, in row order
    std::unique_ptr<slidetest::MemorySource> file;
};

// Converts level 0 into a tile folder written with the reader's own
// subsampling, as the window does when it keeps the source's.
bool convertToFolder(vq_tileloader_base* tiles, const std::string& folder, int32_t loaders, RecordingLog* log)
{
    registerOutputFactories();
    setThreads(loaders, true, 2);
    vq_ptr<vq_zoomoutput_base> out;
    if (!createKestrixOutput(out.put()))
        return false;
    out->setSubsampling(tiles->getSubsampling(0));
    vq_ptr<vq_kestrifier_base> driver;
    createKestrifier(&driver);
    driver->setOutputOption(3);
    driver->setOutput(out.get());
    driver->setPreferredTileSize(256);
    driver->setQuality(85);
    driver->setMaxQuality(85);
    driver->setLogOutput(log);
    return driver->kestrixTiles(tiles, 0, 0, folder.c_str(), ".jpg");
}

// The next smaller level: each pixel the mean of a 2 x 2 group.
std::vector<uint8_t> halve(const std::vector<uint8_t>& rgb, IntPair size, IntPair* half)
{
    *half = IntPair(size.first / 2, size.second / 2);
    std::vector<uint8_t> out(static_cast<size_t>(half->first * half->second * 3));
    for (int y = 0; y < half->second; ++y)
        for (int x = 0; x < half->first; ++x)
            for (int k = 0; k < 3; ++k) {
                auto at = [&](int dx, int dy) {
                    return rgb[static_cast<size_t>(((2 * y + dy) * size.first + 2 * x + dx) * 3 + k)];
                };
                out[static_cast<size_t>((y * half->first + x) * 3 + k)] =
                    static_cast<uint8_t>((at(0, 0) + at(1, 0) + at(0, 1) + at(1, 1) + 2) / 4);
            }
    return out;
}

// Mean difference per sample that a level may show against the reference
// pyramid: cubic halving against box averaging, and the JPEG generation of
// every smaller level.
constexpr double kLevelTolerance = 3.0;

// The folder holds every level: base tiles inside the image are the spliced
// source tiles byte for byte, every tile has the source's chroma sampling and
// every level matches the reference pyramid.
void expectFolder(const JpegTiledTiff& source, const std::string& folder)
{
    std::vector<uint8_t> reference = source.canvas;
    IntPair size = source.size;
    std::vector<std::pair<IntPair, std::vector<uint8_t>>> levels;
    for (;;) {
        levels.emplace_back(size, reference);
        if (size.first <= 256 && size.second <= 256)
            break;
        IntPair half;
        reference = halve(reference, size, &half);
        size = half;
    }
    const int32_t base = static_cast<int32_t>(levels.size()) - 1;
    for (int32_t i = 0; i <= base; ++i) {
        const int32_t level = base - i;
        const IntPair s = levels[static_cast<size_t>(i)].first;
        const std::vector<uint8_t>& want = levels[static_cast<size_t>(i)].second;
        std::vector<uint8_t> got(want.size());
        for (int ty = 0; ty * 256 < s.second; ++ty)
            for (int tx = 0; tx * 256 < s.first; ++tx) {
                const std::string name = std::to_string(level) + "-" + std::to_string(tx) + "-" + std::to_string(ty);
                const std::string text = vqtest::readFile(folder + "/TileGroup0/" + name + ".jpg");
                const Bytes bytes(text.begin(), text.end());
                ASSERT_FALSE(bytes.empty()) << name;
                EXPECT_EQ(turboSubsampling(bytes), source.samp) << name;
                if (i == 0 && (tx + 1) * 256 <= s.first && (ty + 1) * 256 <= s.second)
                    EXPECT_TRUE(bytes == source.spliced[static_cast<size_t>(ty * source.grid().first + tx)]) << name;
                IntPair ts;
                const std::vector<uint8_t> rgb = decodeJpeg(bytes, &ts);
                ASSERT_EQ(ts, IntPair(std::min(256, s.first - tx * 256), std::min(256, s.second - ty * 256))) << name;
                for (int r = 0; r < ts.second; ++r)
                    std::copy_n(&rgb[static_cast<size_t>(r * ts.first * 3)], ts.first * 3,
                                &got[static_cast<size_t>(((ty * 256 + r) * s.first + tx * 256) * 3)]);
            }
        double sum = 0;
        for (size_t k = 0; k < got.size(); ++k)
            sum += std::abs(int(got[k]) - int(want[k]));
        EXPECT_LE(sum / static_cast<double>(got.size()), kLevelTolerance) << "level " << level;
    }
}

TEST(RawJpegTiff, PassThroughOnLoaderThreadsWithoutSubsamplingTag)
{
    const JpegTiledTiff source(IntPair(1100, 700), TJSAMP_420);
    for (int32_t loaders : {1, 2, 4, 8}) {
        SCOPED_TRACE(loaders);
        vq_ptr<vq_tileloader_base> tiles = source.open();
        ASSERT_TRUE(tiles);
        EXPECT_EQ(tiles->getSubsampling(0), 4);
        const std::string folder = vqtest::scratchDir("tilepath_tiff_raw_" + std::to_string(loaders));
        vq_ptr<RecordingLog> log = RecordingLog::make();
        ASSERT_TRUE(convertToFolder(tiles.get(), folder, loaders, log.get()));
        EXPECT_TRUE(log->has(1, "Using raw JPEG tiles for base layer\n"));
        EXPECT_EQ(log->count(1, "Using " + std::to_string(loaders) + " raw loader thread"), 1);
        expectFolder(source, folder);
    }
}

TEST(RawJpegTiff, SourceSubsamplingKeptEndToEnd)
{
    for (auto [samp, code] : {std::pair{TJSAMP_444, 1}, std::pair{TJSAMP_422, 2}}) {
        SCOPED_TRACE(code);
        const JpegTiledTiff source(IntPair(1100, 700), samp);
        vq_ptr<vq_tileloader_base> tiles = source.open();
        ASSERT_TRUE(tiles);
        EXPECT_EQ(tiles->getSubsampling(0), code);
        const std::string folder = vqtest::scratchDir("tilepath_tiff_samp_" + std::to_string(code));
        vq_ptr<RecordingLog> log = RecordingLog::make();
        ASSERT_TRUE(convertToFolder(tiles.get(), folder, 4, log.get()));
        EXPECT_TRUE(log->has(1, "Using raw JPEG tiles for base layer\n"));
        expectFolder(source, folder);
    }
}

} // namespace
