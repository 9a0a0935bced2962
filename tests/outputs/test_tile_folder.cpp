#include <algorithm>
#include <cstring>
#include <filesystem>
#include <map>
#include <set>

#include <unistd.h>

#include <gtest/gtest.h>

#include "engine/pyramid/driver_threads.h"
#include "engine/pyramid/output_factory.h"
#include "engine/base/raw_tile.h"
#include "outputs/output_factories.h"
#include "outputs/kestrix_output.h"
#include "support/test_env.h"
#include "tests/outputs/output_fixtures.h"

namespace fs = std::filesystem;
using namespace outtest;

namespace {

vq_ptr<vq_zoomoutput_base> newTileFolderOutput()
{
    vq_ptr<vq_zoomoutput_base> out;
    EXPECT_TRUE(createKestrixOutput(out.put()));
    return out;
}

std::string tileFile(int32_t group, const TileSpec& t)
{
    return "TileGroup" + std::to_string(group) + "/" + std::to_string(t.level) + "-" + std::to_string(t.x) + "-" +
           std::to_string(t.y) + ".jpg";
}

// Group of every tile, counted independently of the levels: all tiles of the
// pyramid numbered from the smallest level up, row by row, 256 per group.
std::map<std::string, int32_t> expectedGroups(const std::vector<TileSpec>& tiles)
{
    std::map<int32_t, int32_t> across;
    for (const TileSpec& t : tiles)
        across[t.level] = std::max(across[t.level], t.x + 1);
    std::map<int32_t, int32_t> before;
    int32_t total = 0;
    int32_t lastLevel = -1;
    for (const TileSpec& t : tiles) {
        if (t.level != lastLevel) {
            before[t.level] = total;
            lastLevel = t.level;
        }
        ++total;
    }
    std::map<std::string, int32_t> groups;
    for (const TileSpec& t : tiles) {
        const int32_t group = (t.x + before[t.level] + t.y * across[t.level]) / 256;
        groups[tileFile(group, t)] = group;
    }
    return groups;
}

class TileFolderPyramid : public ::testing::TestWithParam<bool> {
protected:
    void SetUp() override { initThreadGlobals(); }
    void TearDown() override { releaseThreadGlobals(); }

    // Writes every tile of the chain through a fresh output; threaded runs
    // end the encoder threads before the output finishes.
    vq_ptr<vq_zoomoutput_base> writePyramid(vq_zoom_layer* base, const std::string& folder, bool threaded)
    {
        auto out = newTileFolderOutput();
        out->setThreadedSave(threaded);
        EXPECT_TRUE(out->setOutputPath(folder, ".jpg"));
        out->setBaseLayer(base);
        if (threaded) {
            encoderThreadLimit = 3;
            EXPECT_TRUE(startEncoderThread());
        }
        for (const TileSpec& t : pyramidTiles(base))
            EXPECT_TRUE(out->saveTile(makeRgbTile(t).get())) << t.level << " " << t.x << " " << t.y;
        if (threaded)
            runStopProtocol(false);
        EXPECT_TRUE(out->finish());
        return out;
    }
};

} // namespace

TEST_P(TileFolderPyramid, WritesPropertiesAndEveryTileAtItsSize)
{
    const std::string folder = vqtest::scratchDir("tile_folder_pyramid") + "/slide";
    auto base = makeChain(1000, 800, 256);
    ASSERT_NE(base, nullptr);
    auto out = writePyramid(base.get(), folder, GetParam());
    EXPECT_FALSE(out->hasFailed()) << out->getErrors();
    EXPECT_EQ(out->getErrors(), "");

    EXPECT_EQ(vqtest::readFile(folder + "/ImageProperties.xml"),
              "<IMAGE_PROPERTIES WIDTH=\"1000\" HEIGHT=\"800\" NUMTILES=\"21\" NUMIMAGES=\"1\" VERSION=\"1.8\" "
              "TILESIZE=\"256\" />");

    const auto tiles = pyramidTiles(base.get());
    ASSERT_EQ(tiles.size(), 21u);
    std::vector<std::string> expected{"ImageProperties.xml"};
    for (const TileSpec& t : tiles)
        expected.push_back(tileFile(0, t));
    std::sort(expected.begin(), expected.end());
    EXPECT_EQ(listFiles(folder), expected);

    for (const TileSpec& t : tiles)
        EXPECT_EQ(djpegSize(folder + "/" + tileFile(0, t)), IntPair(t.width, t.height)) << tileFile(0, t);
    // Tile (3, 2) of the largest level, the example of the format.
    EXPECT_EQ(djpegSize(folder + "/TileGroup0/2-3-2.jpg"), IntPair(232, 256));
}

INSTANTIATE_TEST_SUITE_P(Threading, TileFolderPyramid, ::testing::Values(false, true),
                         [](const auto& info) { return info.param ? "threaded" : "unthreaded"; });

TEST(TileFolderOutput, TilesFillGroupsOf256FromTheSmallestLevelUp)
{
    const std::string folder = vqtest::scratchDir("tile_folder_groups") + "/many";
    auto base = makeChain(1280, 1000, 64); // 20 x 16 tiles at the base, 429 in all
    ASSERT_NE(base, nullptr);
    const auto tiles = pyramidTiles(base.get());
    ASSERT_GT(tiles.size(), 300u);

    auto out = openOutput(createKestrixOutput, folder, base.get());
    for (const TileSpec& t : tiles)
        ASSERT_TRUE(out->saveTile(makeRgbTile(t).get()));
    ASSERT_TRUE(out->finish());

    const auto groups = expectedGroups(tiles);
    std::map<int32_t, int32_t> perGroup;
    for (const auto& [file, group] : groups) {
        EXPECT_TRUE(fs::exists(folder + "/" + file)) << file;
        ++perGroup[group];
    }
    EXPECT_EQ(perGroup[0], 256);
    EXPECT_EQ(perGroup[1], static_cast<int32_t>(tiles.size()) - 256);
    EXPECT_EQ(listFiles(folder).size(), tiles.size() + 1);
    // The single-tile level and the next are always in the first group.
    EXPECT_TRUE(fs::exists(folder + "/TileGroup0/0-0-0.jpg"));
    EXPECT_TRUE(fs::exists(folder + "/TileGroup0/1-1-0.jpg"));
    EXPECT_NE(vqtest::readFile(folder + "/ImageProperties.xml").find("NUMTILES=\"" + std::to_string(tiles.size())),
              std::string::npos);
}

TEST(TileFolderOutput, RawTilesAreWrittenByteForByteAndLabelsAreSkipped)
{
    const std::string folder = vqtest::scratchDir("tile_folder_raw") + "/raw";
    auto base = makeChain(1000, 800, 256);
    auto out = openOutput(createKestrixOutput, folder, base.get());

    vq_ptr<vq_raw_tile> raw;
    ASSERT_TRUE(createRawTile(raw.put()));
    ASSERT_TRUE(raw->allocate(5, IntPair(256, 256)));
    std::memcpy(raw->getData(), "\xFF\xD8 x\xFF", 5);
    raw->setCompression(7);

    auto tile = makeRgbTile({2, 1, 3, 256, 256});
    EXPECT_TRUE(out->saveRawTile(tile.get(), raw.get()));
    EXPECT_EQ(vqtest::readFile(folder + "/TileGroup0/2-1-3.jpg"), std::string("\xFF\xD8 x\xFF", 5));

    for (int32_t level : {-2, -3}) {
        auto label = makeRgbTile({level, 0, 0, 64, 64});
        EXPECT_TRUE(out->saveRawTile(label.get(), raw.get()));
    }
    EXPECT_EQ(listFiles(folder), std::vector<std::string>{"TileGroup0/2-1-3.jpg"});
    EXPECT_FALSE(out->saveRawTile(nullptr, raw.get()));
    EXPECT_FALSE(out->saveRawTile(tile.get(), nullptr));
    EXPECT_FALSE(out->hasFailed());
}

TEST(TileFolderOutput, ThreadedSaveReturnsBeforeTheFileExists)
{
    initThreadGlobals();
    const std::string folder = vqtest::scratchDir("tile_folder_queue") + "/q";
    auto base = makeChain(1000, 800, 256);
    auto out = openOutput(createKestrixOutput, folder, base.get());
    out->setThreadedSave(true);
    auto tile = makeYCbCrTile({2, 0, 0, 256, 256}, 4);
    ASSERT_TRUE(out->saveTile(tile.get()));
    EXPECT_TRUE(tile->isSaved());
    // No encoder is running yet: the job waits in the queue.
    EXPECT_FALSE(fs::exists(folder + "/TileGroup0/2-0-0.jpg"));
    encoderThreadLimit = 1;
    ASSERT_TRUE(startEncoderThread());
    runStopProtocol(false);
    releaseThreadGlobals();
    EXPECT_EQ(djpegSize(folder + "/TileGroup0/2-0-0.jpg"), IntPair(256, 256));
}

TEST(TileFolderOutput, SameTileOfferedTwiceIsWrittenOnce)
{
    const std::string folder = vqtest::scratchDir("tile_folder_twice") + "/t";
    auto base = makeChain(1000, 800, 256);
    auto out = openOutput(createKestrixOutput, folder, base.get());
    auto tile = makeYCbCrTile({1, 1, 1, 244, 144}, 2);
    ASSERT_TRUE(out->saveTile(tile.get()));
    const std::string path = folder + "/TileGroup0/1-1-1.jpg";
    EXPECT_EQ(djpegSize(path), IntPair(244, 144));
    fs::remove(path);
    EXPECT_TRUE(out->saveTile(tile.get()));
    EXPECT_FALSE(fs::exists(path));
}

TEST(TileFolderOutput, FolderPaths)
{
    const std::string root = vqtest::scratchDir("tile_folder_paths");
    const std::string before = fs::current_path().string();
    ASSERT_EQ(chdir(root.c_str()), 0);
    auto relative = newTileFolderOutput();
    EXPECT_TRUE(relative->setOutputPath("rel", ""));
    EXPECT_TRUE(fs::is_directory(root + "/rel"));
    // An existing folder is accepted.
    auto again = newTileFolderOutput();
    EXPECT_TRUE(again->setOutputPath(root + "/rel", ""));
    ASSERT_EQ(chdir(before.c_str()), 0);
    EXPECT_FALSE(again->hasFailed());

    vq_ptr<vq_kestrix_output> kestrix(vq_kestrix_output::create());
    EXPECT_EQ(kestrix->createOutputFolder(root + "/abs"), root + "/abs");
    EXPECT_EQ(kestrix->getOutputFolderName(nullptr, 3), "");
    EXPECT_EQ(kestrix->getOutputFolderIndex(nullptr), 0);
}

TEST(TileFolderOutput, Failures)
{
    const std::string root = vqtest::scratchDir("tile_folder_failures");
    auto base = makeChain(1000, 800, 256);

    {   // A folder whose parent is missing.
        auto out = newTileFolderOutput();
        EXPECT_FALSE(out->setOutputPath(root + "/missing/child", ""));
        EXPECT_TRUE(out->hasFailed());
        EXPECT_EQ(out->getErrors(), "Unknown error trying to create folder " + root + "/missing/child\n");
    }
    {   // Saving before the levels are known, and a null tile.
        auto out = newTileFolderOutput();
        ASSERT_TRUE(out->setOutputPath(root + "/early", ""));
        EXPECT_FALSE(out->saveTile(makeRgbTile({0, 0, 0, 250, 200}).get()));
        EXPECT_TRUE(out->hasFailed());
        EXPECT_FALSE(out->saveRawTile(makeRgbTile({0, 0, 0, 250, 200}).get(), nullptr));
        out->setBaseLayer(base.get());
        EXPECT_FALSE(out->saveTile(nullptr));
        EXPECT_EQ(out->getErrors(), "Passed NULL tile to saveTile\n");
    }
    {   // Tile files that cannot be created fail the run, which ends with
        // their count and names; the tiles that could be written stay.
        const std::string folder = root + "/blocked";
        auto out = openOutput(createKestrixOutput, folder, base.get());
        fs::create_directories(folder + "/TileGroup0/2-0-0.jpg");
        fs::create_directories(folder + "/TileGroup0/2-1-0.jpg");
        EXPECT_FALSE(out->saveTile(makeRgbTile({2, 0, 0, 256, 256}).get()));
        EXPECT_TRUE(out->hasFailed());
        EXPECT_TRUE(out->saveTile(makeRgbTile({2, 2, 0, 256, 256}).get()));
        vq_ptr<vq_raw_tile> raw;
        ASSERT_TRUE(createRawTile(raw.put()));
        ASSERT_TRUE(raw->allocate(4, IntPair(256, 256)));
        testing::internal::CaptureStderr();
        EXPECT_FALSE(out->saveRawTile(makeRgbTile({2, 1, 0, 256, 256}).get(), raw.get()));
        EXPECT_EQ(testing::internal::GetCapturedStderr(),
                  "Cannot create raw output path " + folder + "/TileGroup0/2-1-0.jpg\n");
        EXPECT_FALSE(out->finish());
        EXPECT_EQ(out->getErrors(), "2 tile files could not be written\nNot written: " + folder +
                                        "/TileGroup0/2-0-0.jpg\nNot written: " + folder + "/TileGroup0/2-1-0.jpg\n");
        EXPECT_TRUE(fs::is_regular_file(folder + "/TileGroup0/2-2-0.jpg"));
    }
    {   // A description file that cannot be created.
        const std::string folder = root + "/noprops";
        auto out = openOutput(createKestrixOutput, folder, base.get());
        fs::create_directories(folder + "/ImageProperties.xml");
        EXPECT_FALSE(out->finish());
        EXPECT_TRUE(out->hasFailed());
        EXPECT_EQ(out->getErrors(), "Unable to write " + folder + "/ImageProperties.xml\n");
    }
    {   // No level to describe.
        auto out = newTileFolderOutput();
        ASSERT_TRUE(out->setOutputPath(root + "/nolevel", ""));
        EXPECT_FALSE(out->finish());
        EXPECT_TRUE(out->hasFailed());
    }
    {   // Errors added by the driver are kept as given.
        auto out = newTileFolderOutput();
        out->addError("first");
        out->addError(" second\n");
        EXPECT_TRUE(out->hasFailed());
        EXPECT_EQ(out->getErrors(), "first second\n");
    }
}

TEST(TileFolderOutput, AnEarlierPyramidOfItsOwnKindIsRemovedBeforeWriting)
{
    const std::string root = vqtest::scratchDir("tile_folder_stale");
    // What an earlier run, the user and another kind of output left there.
    const std::vector<std::string> earlier = {
        "ImageProperties.xml", "TileGroup0/2-0-0.jpg", "TileGroup0/0-0-0.jpg", "TileGroup7/3-9-9.jpg",
        "TileGroup7/notes.txt", "TileGroupA/1-1-1.jpg", "TileGroup1/1-1.jpg", "picture.jpg", "3/1-1.jpg",
        "3/4-1-1.jpg", "5/0-0.jpg", "earth.kml"};
    struct Case {
        bool (*factory)(vq_zoomoutput_base**);
        std::vector<std::string> kept;
        std::string emptiedFolder; // removed with its tiles
    };
    const Case cases[] = {
        {createKestrixOutput,
         {"3/1-1.jpg", "3/4-1-1.jpg", "5/0-0.jpg", "TileGroup1/1-1.jpg", "TileGroup7/notes.txt", "TileGroupA/1-1-1.jpg",
          "earth.kml", "picture.jpg"},
         "TileGroup0"},
        {createGoogleOutput,
         {"3/4-1-1.jpg", "ImageProperties.xml", "TileGroup0/0-0-0.jpg", "TileGroup0/2-0-0.jpg",
          "TileGroup1/1-1.jpg", "TileGroup7/3-9-9.jpg", "TileGroup7/notes.txt", "TileGroupA/1-1-1.jpg",
          "earth.kml", "picture.jpg"},
         "5"},
    };
    int n = 0;
    for (const Case& c : cases) {
        const std::string folder = root + "/run" + std::to_string(n++);
        for (const std::string& name : earlier) {
            fs::create_directories(fs::path(folder + "/" + name).parent_path());
            ASSERT_TRUE(vqtest::writeFile(folder + "/" + name, "x"));
        }
        vq_ptr<vq_zoomoutput_base> out;
        ASSERT_TRUE(c.factory(out.put()));
        ASSERT_TRUE(out->setOutputPath(folder, ""));
        EXPECT_EQ(listFiles(folder), c.kept) << n;
        EXPECT_FALSE(fs::exists(folder + "/" + c.emptiedFolder)) << c.emptiedFolder;
        EXPECT_FALSE(out->hasFailed());
    }
}

TEST(TileFolderOutput, TileOfAnUnknownLevelGoesToTheFirstGroupAndOneTileBaseCountsOne)
{
    const std::string folder = vqtest::scratchDir("tile_folder_single") + "/one";
    auto base = makeChain(200, 150, 256);
    auto out = openOutput(createKestrixOutput, folder, base.get());
    ASSERT_TRUE(out->saveTile(makeRgbTile({0, 0, 0, 200, 150}).get()));
    ASSERT_TRUE(out->saveTile(makeRgbTile({7, 300, 300, 16, 16}).get()));
    ASSERT_TRUE(out->finish());
    EXPECT_EQ(listFiles(folder),
              (std::vector<std::string>{"ImageProperties.xml", "TileGroup0/0-0-0.jpg", "TileGroup0/7-300-300.jpg"}));
    EXPECT_EQ(vqtest::readFile(folder + "/ImageProperties.xml"),
              "<IMAGE_PROPERTIES WIDTH=\"200\" HEIGHT=\"150\" NUMTILES=\"1\" NUMIMAGES=\"1\" VERSION=\"1.8\" "
              "TILESIZE=\"256\" />");
}

TEST(TileFolderOutput, SettingsAndFactories)
{
    registerOutputFactories();
    const struct {
        bool (*factory)(vq_zoomoutput_base**);
        int32_t option;
        bool raw;
    } kinds[] = {{createKestrixOutput, 0, true}, {createGoogleOutput, 4, true}, {createVerifyOutput, 6, false}};
    for (const auto& kind : kinds) {
        vq_zoomoutput_base* made = nullptr;
        ASSERT_TRUE(kind.factory(&made));
        auto out = vq_ptr<vq_zoomoutput_base>::adopt(made);
        EXPECT_EQ(out->refCount(), 1);
        EXPECT_EQ(out->getOutputOption(), kind.option);
        EXPECT_EQ(out->acceptsRawTiles(), kind.raw);
        EXPECT_TRUE(out->acceptsYCbCrTiles());
        EXPECT_EQ(out->getColourSpace(), 3);
        EXPECT_FALSE(kind.factory(nullptr));

        vq_zoomoutput_base* registered = nullptr;
        vq_outputFactory driverFactory = getOutputFactory(kind.option);
        ASSERT_NE(driverFactory, nullptr);
        ASSERT_NE(driverFactory(&registered), nullptr);
        EXPECT_EQ(vq_ptr<vq_zoomoutput_base>::adopt(registered)->getOutputOption(), kind.option);
    }
    auto out = newTileFolderOutput();
    out->setColourSpace(4);
    EXPECT_EQ(out->getColourSpace(), 4);

    vq::platform::Event event;
    vq::platform::Event* handle = &event;
    signalEvent(&handle);
    EXPECT_TRUE(event.wait(0));
    vq::platform::Event* none = nullptr;
    signalEvent(&none);
    signalEvent(nullptr);
}
