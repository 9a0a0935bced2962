#include <filesystem>
#include <map>

#include <gtest/gtest.h>

#include "engine/base/raw_tile.h"
#include "engine/pyramid/zoom_layer.h"
#include "engine/pyramid/zoom_tile.h"
#include "outputs/output_factories.h"
#include "readers/folders/folder_source.h"
#include "jpeg/jpeg_tile_decoder.h"
#include "readers/folders/kestrix_folder_reader.h"
#include "support/test_env.h"
#include "tests/readers/folders/folder_fixtures.h"

namespace fs = std::filesystem;
using namespace foldertest;

namespace {

uint8_t sourcePixel(int level, int x, int y, int ch)
{
    return static_cast<uint8_t>(30 + level * 40 + x / 3 + y / 5 + ch * 45);
}

// Writes a tile folder of the image size through the tile folder output;
// every tile's pixels follow sourcePixel of its level.
void writeTileFolder(const std::string& folder, int32_t width, int32_t height, int32_t tileSize)
{
    vq_ptr<vq_zoom_layer> base;
    createZoomLayer(&base);
    base->setMinTileSize(IntPair(64, 64));
    base->setMaxTileSize(IntPair(2048, 2048));
    base->setTileSize(IntPair(tileSize, tileSize));
    base->setImageSize(IntPair(width, height));
    ASSERT_TRUE(base->createPyramid(true));

    vq_ptr<vq_zoomoutput_base> out;
    ASSERT_TRUE(createKestrixOutput(out.put()));
    ASSERT_TRUE(out->setOutputPath(folder, ""));
    out->setBaseLayer(base.get());
    for (vq_zoom_layer* level = base.get(); level != nullptr; level = level->getNextLayer()) {
        const IntPair size = level->getImageSize();
        const IntPair grid = level->getTileCount();
        const int32_t number = level->getLevel();
        for (int32_t y = 0; y < grid.second; ++y)
            for (int32_t x = 0; x < grid.first; ++x) {
                vq_ptr<vq_zoom_tile_base> tile;
                createZoomTile(&tile);
                tile->setKey(vq_tileKey(x, y, number));
                const int32_t w = std::min(tileSize, size.first - x * tileSize);
                const int32_t h = std::min(tileSize, size.second - y * tileSize);
                tile->setContainer(makeImage(vq_fmtRGB24, w, h, [&](int px, int py, int ch) {
                                       return sourcePixel(number, x * tileSize + px, y * tileSize + py, ch);
                                   }).get());
                ASSERT_TRUE(out->saveTile(tile.get()));
            }
    }
    ASSERT_TRUE(out->finish());
    ASSERT_FALSE(out->hasFailed()) << out->getErrors();
}

vq_ptr<vq_loader_base> openFolder(const std::string& folder)
{
    vq_ptr<vq_loader_base> loader;
    if (!createKestrixLoader(folder.c_str(), loader.put()))
        return vq_ptr<vq_loader_base>();
    return loader;
}

vq_ptr<vq_tileloader_base> tilesOf(vq_loader_base* loader)
{
    vq_ptr<vq_tileloader_base> tiles;
    EXPECT_TRUE(loader->getTileLoader(tiles.put()));
    return tiles;
}

std::string rawBytes(vq_raw_tile* raw)
{
    return std::string(reinterpret_cast<const char*>(raw->getData()), raw->getDataLength());
}

} // namespace

TEST(TileFolderReader, ReadsBackWhatTheOutputWrote)
{
    const std::string folder = vqtest::scratchDir("folder_reader_roundtrip") + "/slide";
    writeTileFolder(folder, 1000, 800, 256);

    auto loader = openFolder(folder + "/");
    ASSERT_NE(loader, nullptr);
    vq_ptr<vq_FileInfo> info;
    ASSERT_TRUE(loader->getFileInfo(info.put()));
    EXPECT_EQ(info->refCount(), 1);
    EXPECT_TRUE(info->isValid());
    EXPECT_TRUE(info->isTiled());
    EXPECT_EQ(info->getImageSize(), IntPair(1000, 800));
    EXPECT_EQ(info->getTileSize(), IntPair(256, 256));
    EXPECT_EQ(info->getPixelFormat(), 3);
    EXPECT_EQ(info->getSubsampling(), 4);
    EXPECT_EQ(info->getLevelSizes(), (std::vector<IntPair>{{1000, 800}, {500, 400}, {250, 200}}));
    EXPECT_TRUE(loader->canLoadYCbCr());
    EXPECT_FALSE(loader->loadImage(nullptr, 4));

    auto tiles = tilesOf(loader.get());
    EXPECT_EQ(tiles->getTileCount(0), 21);
    EXPECT_EQ(tiles->getCompression(0), 7);
    const IntPair grids[] = {{4, 4}, {2, 2}, {1, 1}};
    for (int32_t level = 0; level < 3; ++level) {
        ASSERT_EQ(tiles->getLevelTileCounts(level, 0), grids[level]);
        const IntPair size = tiles->getLevelSize(level, 0);
        const int32_t folderLevel = 2 - level;
        for (int32_t y = 0; y < grids[level].second; ++y)
            for (int32_t x = 0; x < grids[level].first; ++x) {
                const IntPair expected(std::min(256, size.first - x * 256), std::min(256, size.second - y * 256));
                vq_ptr<vq_raw_tile> raw;
                ASSERT_TRUE(tiles->loadRawTile(x, y, level, 0, raw.put())) << level << " " << x << " " << y;
                EXPECT_EQ(raw->getCompression(), 7);
                EXPECT_EQ(raw->getSize(), expected);
                EXPECT_EQ(rawBytes(raw.get()),
                          vqtest::readFile(folder + "/TileGroup0/" + std::to_string(folderLevel) + "-" +
                                           std::to_string(x) + "-" + std::to_string(y) + ".jpg"));

                auto decoded = vq_ptr<imageContainer>::adopt(imageContainer::create());
                ASSERT_TRUE(tiles->loadTile(x, y, level, 0, decoded.get(), 4));
                ASSERT_EQ(IntPair(decoded->getWidth(), decoded->getHeight()), expected);
                auto source = makeImage(vq_fmtRGB24, expected.first, expected.second, [&](int px, int py, int ch) {
                    return sourcePixel(folderLevel, x * 256 + px, y * 256 + py, ch);
                });
                EXPECT_LT(meanDifference(decoded.get(), source.get()), 4.0) << level << " " << x << " " << y;
            }
    }
    auto y = vq_ptr<imageContainer>::adopt(imageContainer::create());
    auto cb = vq_ptr<imageContainer>::adopt(imageContainer::create());
    auto cr = vq_ptr<imageContainer>::adopt(imageContainer::create());
    ASSERT_TRUE(tiles->loadTileYCbCr(1, 1, 1, 0, y.get(), cb.get(), cr.get()));
    EXPECT_EQ(y->getWidth(), 244);
}

// A backslash is an ordinary character of a Linux name, not a separator:
// the folder "slide\" holds its files behind a "/".
TEST(TileFolderReader, NameEndingInBackslashIsNoSeparator)
{
    EXPECT_TRUE(endsWithPathSeparator("a/b/"));
    EXPECT_FALSE(endsWithPathSeparator("a\\b\\"));
    EXPECT_EQ(folderBasePath("a/b\\"), "a/b\\/");
    EXPECT_EQ(folderBasePath("a/b/"), "a/b/");

    const std::string folder = vqtest::scratchDir("folder_reader_backslash") + "/slide\\";
    writeTileFolder(folder, 300, 300, 256);
    auto loader = openFolder(folder);
    ASSERT_NE(loader, nullptr);
    vq_ptr<vq_FileInfo> info;
    ASSERT_TRUE(loader->getFileInfo(info.put()));
    EXPECT_EQ(info->getImageSize(), IntPair(300, 300));
}

TEST(TileFolderReader, FindsTilesInLaterGroups)
{
    const std::string folder = vqtest::scratchDir("folder_reader_groups") + "/many";
    writeTileFolder(folder, 1280, 1000, 64);
    auto loader = openFolder(folder);
    ASSERT_NE(loader, nullptr);
    auto tiles = tilesOf(loader.get());
    const int32_t levels = static_cast<int32_t>(tiles->getLevelSizes(0).size());
    ASSERT_EQ(levels, 6);

    // Running index over folder levels from the single-tile level up.
    int32_t running = 0;
    int32_t inLaterGroups = 0;
    for (int32_t level = levels - 1; level >= 0; --level) {
        const IntPair grid = tiles->getLevelTileCounts(level, 0);
        for (int32_t y = 0; y < grid.second; ++y)
            for (int32_t x = 0; x < grid.first; ++x) {
                const int32_t index = running + x + y * grid.first;
                const std::string file = folder + "/TileGroup" + std::to_string(index / 256) + "/" +
                                         std::to_string(levels - 1 - level) + "-" + std::to_string(x) + "-" +
                                         std::to_string(y) + ".jpg";
                vq_ptr<vq_raw_tile> raw;
                ASSERT_TRUE(tiles->loadRawTile(x, y, level, 0, raw.put())) << file;
                EXPECT_EQ(rawBytes(raw.get()), vqtest::readFile(file)) << file;
                inLaterGroups += index >= 256;
            }
        running += grid.first * grid.second;
    }
    EXPECT_GT(inLaterGroups, 100);
}

TEST(TileFolderReader, PropertiesFileVariants)
{
    const struct {
        const char* name;
        const char* text;
        bool opens;
        std::vector<IntPair> sizes;
        std::vector<IntPair> grids;
        std::vector<IntPair> edges;
        int tileCount;
    } cases[] = {
        {"canonical",
         "<IMAGE_PROPERTIES WIDTH=\"1000\" HEIGHT=\"600\" NUMTILES=\"21\" NUMIMAGES=\"1\" VERSION=\"1.8\" "
         "TILESIZE=\"256\" />",
         true, {{1000, 600}, {500, 300}, {250, 150}}, {{4, 3}, {2, 2}, {1, 1}}, {{232, 88}, {244, 44}, {250, 150}},
         21},
        {"lower case", "<image_properties width=\"1000\" height=\"600\" numtiles=\"21\" tilesize=\"256\"/>", true,
         {{1000, 600}, {500, 300}, {250, 150}}, {{4, 3}, {2, 2}, {1, 1}}, {{232, 88}, {244, 44}, {250, 150}}, 21},
        {"spaces", "<IMAGE_PROPERTIES\nWIDTH = \"1 000\" HEIGHT= \"600\" NUMTILES =\"21\" TILESIZE = \"256\" />", true,
         {{1000, 600}, {500, 300}, {250, 150}}, {{4, 3}, {2, 2}, {1, 1}}, {{232, 88}, {244, 44}, {250, 150}}, 21},
        {"one tile", "<X WIDTH=\"200\" HEIGHT=\"100\" NUMTILES=\"1\" TILESIZE=\"256\"/>", true, {{200, 100}},
         {{1, 1}}, {{200, 100}}, 1},
        {"full edge tiles", "<X WIDTH=\"512\" HEIGHT=\"256\" NUMTILES=\"3\" TILESIZE=\"256\"/>", true,
         {{512, 256}, {256, 128}}, {{2, 1}, {1, 1}}, {{256, 256}, {256, 128}}, 3},
        {"truncating halves", "<X WIDTH=\"1025\" HEIGHT=\"100\" NUMTILES=\"99\" TILESIZE=\"256\"/>", true,
         {{1025, 100}, {512, 50}, {256, 25}}, {{5, 1}, {2, 1}, {1, 1}}, {{1, 100}, {256, 50}, {256, 25}}, 99},
        {"tab before equals", "<X WIDTH\t=\"1000\" HEIGHT=\"600\" NUMTILES=\"21\" TILESIZE=\"256\"/>", false, {}, {}, {}, 0},
        {"no tile count", "<X WIDTH=\"1000\" HEIGHT=\"600\" TILESIZE=\"256\"/>", false, {}, {}, {}, 0},
        {"unquoted", "<X WIDTH=1000 HEIGHT=\"600\" NUMTILES=\"21\" TILESIZE=\"256\"/>", false, {}, {}, {}, 0},
        {"zero tile size", "<X WIDTH=\"1000\" HEIGHT=\"600\" NUMTILES=\"21\" TILESIZE=\"0\"/>", false, {}, {}, {}, 0},
    };
    const std::string root = vqtest::scratchDir("folder_reader_props");
    for (const auto& c : cases) {
        const std::string folder = root + "/" + c.name;
        fs::create_directories(folder + "/TileGroup0");
        ASSERT_TRUE(writePatternJpeg(folder + "/TileGroup0/0-0-0.jpg", 16, 16, 1));
        ASSERT_TRUE(vqtest::writeFile(folder + "/ImageProperties.xml", c.text));
        auto loader = openFolder(folder);
        ASSERT_EQ(loader != nullptr, c.opens) << c.name;
        if (!c.opens)
            continue;
        auto tiles = tilesOf(loader.get());
        EXPECT_EQ(tiles->getLevelSizes(0), c.sizes) << c.name;
        EXPECT_EQ(tiles->getTileCount(0), c.tileCount) << c.name;
        for (size_t level = 0; level < c.sizes.size(); ++level)
            EXPECT_EQ(tiles->getLevelTileCounts(static_cast<int>(level), 0), c.grids[level]) << c.name << level;
        vq_ptr<vq_tileDecoder_base> decoder;
        ASSERT_TRUE(tiles->createTileDecoder(decoder.put(), 0));
        EXPECT_EQ(static_cast<vq_TIFFJPEGTileDecoder*>(decoder.get())->edgeSizes, c.edges) << c.name;
    }
}

TEST(TileFolderReader, FailuresAndTileChecks)
{
    const std::string root = vqtest::scratchDir("folder_reader_failures");
    vq_loader_base* none = nullptr;
    EXPECT_FALSE(createKestrixLoader(nullptr, &none));
    EXPECT_FALSE(createKestrixLoader("", &none));
    EXPECT_FALSE(createKestrixLoader((root + "/absent").c_str(), &none));
    EXPECT_EQ(none, nullptr);

    const std::string folder = root + "/f";
    fs::create_directories(folder + "/TileGroup0");
    ASSERT_TRUE(vqtest::writeFile(folder + "/ImageProperties.xml",
                                  "<X WIDTH=\"500\" HEIGHT=\"300\" NUMTILES=\"5\" TILESIZE=\"256\"/>"));
    EXPECT_EQ(openFolder(folder), nullptr); // no first tile
    ASSERT_TRUE(vqtest::writeFile(folder + "/TileGroup0/0-0-0.jpg", "not a JPEG file"));
    EXPECT_EQ(openFolder(folder), nullptr);
    ASSERT_TRUE(writePatternJpeg(folder + "/TileGroup0/0-0-0.jpg", 250, 150, 2));
    // Level 0 tile (1, 0) has a damaged header; (1, 1) is missing.
    ASSERT_TRUE(vqtest::writeFile(folder + "/TileGroup0/1-1-0.jpg", std::string("\xFF\xD8\xFF\x00junk", 8)));

    auto loader = openFolder(folder);
    ASSERT_NE(loader, nullptr);
    auto tiles = tilesOf(loader.get());
    vq_ptr<vq_raw_tile> raw;
    EXPECT_TRUE(tiles->loadRawTile(0, 0, 1, 0, raw.put()));
    EXPECT_EQ(raw->getSize(), IntPair(250, 150));
    EXPECT_TRUE(tiles->loadRawTile(1, 0, 0, 0, raw.put()));
    EXPECT_EQ(raw->getSize(), IntPair(0, 0));
    auto decoded = vq_ptr<imageContainer>::adopt(imageContainer::create());
    EXPECT_FALSE(tiles->loadTile(1, 0, 0, 0, decoded.get(), 4));
    EXPECT_FALSE(tiles->loadRawTile(1, 1, 0, 0, raw.put()));
    EXPECT_FALSE(tiles->loadRawTile(0, 0, 2, 0, raw.put()));
    EXPECT_FALSE(tiles->loadRawTile(0, 0, -1, 0, raw.put()));
    EXPECT_FALSE(tiles->loadRawTile(0, 0, 0, 1, raw.put()));

    const struct {
        int x, y, level, image;
        bool valid;
    } positions[] = {{1, 1, 0, 0, true}, {2, 0, 0, 0, false}, {0, 2, 0, 0, false}, {0, 0, 1, 0, true},
                     {1, 0, 1, 0, false}, {0, 0, 2, 0, false}, {-1, 0, 0, 0, false}, {0, 0, 0, 1, false},
                     {0, 0, 0, -1, true}};
    for (const auto& p : positions)
        EXPECT_EQ(tiles->isValidTile(p.x, p.y, p.level, p.image), p.valid) << p.x << p.y << p.level << p.image;

    vq_ptr<vq_FileInfo> info;
    ASSERT_TRUE(loader->getFileInfo(info.put()));
    EXPECT_EQ(reportText(info.get(), root + "/report.txt"), "YCbCr JPEG\n4:2:0 - 2:1 horizontal and vertical downsampling\n");
    vq_stripLoader_base* strips = nullptr;
    EXPECT_FALSE(loader->getStripLoader(&strips));
}
