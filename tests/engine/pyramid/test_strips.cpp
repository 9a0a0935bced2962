// The driver's strip path from an in-memory strip reader to a recording
// output.
#include <gtest/gtest.h>

#include "engine/base/vq_global.h"
#include "tests/engine/pyramid/pyramid_fixtures.h"

using namespace pyramidtest;

namespace {

class StripRun : public testing::Test {
protected:
    void SetUp() override
    {
        getGlobal(global.put());
        saved = {global->getLoaderThreadCount(), global->getEncoderThreadCount(), global->isMultiThreaded()};
        setThreads(0, 0, false);
        createKestrifier(&driver);
        output = RecordingOutput::make();
        driver->setQuality(50);
        driver->setMaxQuality(80);
        driver->setResampling(1);
        driver->setOutput(output.get());
    }
    void TearDown() override { setThreads(saved.loaders, saved.encoders, saved.multi); }
    void setThreads(int loaders, int encoders, bool multi)
    {
        global->setLoaderThreadCount(loaders);
        global->setEncoderThreadCount(encoders);
        global->setMultiThreaded(multi);
    }

    struct {
        int loaders, encoders;
        bool multi;
    } saved{};
    vq_ptr<vq_global_base> global;
    vq_ptr<vq_kestrifier_base> driver;
    vq_ptr<RecordingOutput> output;
};

void expectPyramid(RecordingOutput* out, IntPair image, int32_t baseLevel, int32_t format)
{
    IntPair levelImage = image;
    size_t total = 0;
    for (int level = baseLevel; level >= 0; --level) {
        const int across = (levelImage.first + 255) / 256, down = (levelImage.second + 255) / 256;
        total += static_cast<size_t>(across * down);
        for (int y = 0; y < down; ++y)
            for (int x = 0; x < across; ++x) {
                auto it = out->tiles.find(vq_tileKey(x, y, level));
                ASSERT_NE(it, out->tiles.end()) << x << "," << y << " level " << level;
                EXPECT_EQ(it->second.count, 1);
                EXPECT_EQ(it->second.format, format);
                EXPECT_EQ(it->second.size, IntPair(std::min(256, levelImage.first - 256 * x),
                                                   std::min(256, levelImage.second - 256 * y)));
            }
        levelImage = IntPair(levelImage.first / 2, levelImage.second / 2);
    }
    EXPECT_EQ(out->tiles.size(), total);
}

TEST_F(StripRun, RgbImageBecomesThreeLevels)
{
    auto loader = MemoryStripLoader::make(IntPair(1000, 600));
    output->keepPixels = true;
    ASSERT_TRUE(driver->kestrixStrips(loader.get(), "out", ".jpg"));
    EXPECT_EQ(loader->stripHeight, 256);
    EXPECT_EQ(loader->preparedFormat, 4);
    EXPECT_EQ(loader->stripsRead, 3);
    expectPyramid(output.get(), IntPair(1000, 600), 2, 4);
    // Quality ramp 50 to 80 over base level 2.
    EXPECT_EQ(output->tiles.at(vq_tileKey(0, 0, 2)).quality, 50);
    EXPECT_EQ(output->tiles.at(vq_tileKey(0, 0, 1)).quality, 65);
    EXPECT_EQ(output->tiles.at(vq_tileKey(0, 0, 0)).quality, 80);
    EXPECT_EQ(output->finishCount, 1);
    EXPECT_EQ(output->abortCount, 0);
    EXPECT_EQ(output->path, "out");
    const SavedTile& last = output->tiles.at(vq_tileKey(3, 2, 2));
    EXPECT_EQ(last.pixels[0], imagePixel(768, 512, 0));
    EXPECT_EQ(last.pixels.back(), imagePixel(999, 599, 2));
}

TEST_F(StripRun, YCbCrStripsAtEverySubsampling)
{
    for (int ss : {1, 2, 3, 4}) {
        output = RecordingOutput::make();
        driver->setOutput(output.get());
        auto loader = MemoryStripLoader::make(IntPair(700, 300), true, ss);
        ASSERT_TRUE(driver->kestrixStrips(loader.get(), "out", ".jpg")) << ss;
        EXPECT_EQ(loader->preparedFormat, 3);
        expectPyramid(output.get(), IntPair(700, 300), 2, 3);
        EXPECT_EQ(output->finishCount, 1);
    }
}

TEST_F(StripRun, YCbCrTilesHoldFullPlanesCroppedAtTheEdge)
{
    vq_kestrifier* k = static_cast<vq_kestrifier*>(driver.get());
    auto y = makeContainer(vq_fmtPlaneY, 600, 256), cb = makeContainer(vq_fmtPlaneCb, 300, 128),
         cr = makeContainer(vq_fmtPlaneCr, 300, 128);
    std::vector<vq_ptr<vq_zoom_tile_base>> tiles;
    k->splitStripYCbCr(tiles, vq_tileKey(0, 4, 7), 4, y.get(), cb.get(), cr.get(), IntPair(256, 256),
                       IntPair(128, 128));
    ASSERT_EQ(tiles.size(), 3u);
    EXPECT_EQ(tiles[2]->getKey(), vq_tileKey(2, 4, 7));
    EXPECT_EQ(tiles[2]->getPlaneSize(planeY), IntPair(88, 256));
    EXPECT_EQ(tiles[2]->getPlaneFullSize(planeY), IntPair(256, 256));
    EXPECT_EQ(tiles[2]->getPlaneSize(planeCb), IntPair(44, 128));
    EXPECT_EQ(tiles[2]->getPlaneFullSize(planeCr), IntPair(128, 128));
    EXPECT_EQ(pixelAt(containerOf(tiles[1].get(), planeCr), 3, 5), patternPixel(131, 5, 0));
    // Halving and encoding read the edge tile's planes at full size: beyond
    // the visible part every sample is zero.
    for (const int plane : {planeY, planeCb, planeCr}) {
        imageContainer* c = containerOf(tiles[2].get(), plane);
        const IntPair full = tiles[2]->getPlaneFullSize(plane), visible = tiles[2]->getPlaneSize(plane);
        const uint8_t* data = nullptr;
        int32_t step = 0;
        c->lockPixelsConst(&data, &step);
        int32_t nonZero = 0;
        for (int32_t row = 0; row < full.second; ++row)
            for (int32_t col = 0; col < full.first; ++col)
                nonZero += (col >= visible.first || row >= visible.second) && data[row * step + col] != 0;
        c->unlockPixels();
        EXPECT_EQ(nonZero, 0) << "plane " << plane;
    }
}

TEST_F(StripRun, RgbWhenTheOutputOrFormatAsksForIt)
{
    auto loader = MemoryStripLoader::make(IntPair(600, 300), true, 2);
    driver->setTilePixelFormat(6);
    ASSERT_TRUE(driver->kestrixStrips(loader.get(), "out", ".jpg"));
    EXPECT_EQ(loader->preparedFormat, 4);
    EXPECT_EQ(output->tiles.at(vq_tileKey(0, 0, 2)).format, 4);

    driver->setTilePixelFormat(3);
    output = RecordingOutput::make();
    output->acceptYCbCr = false;
    driver->setOutput(output.get());
    auto again = MemoryStripLoader::make(IntPair(600, 300), true, 2);
    ASSERT_TRUE(driver->kestrixStrips(again.get(), "out", ".jpg"));
    EXPECT_EQ(again->preparedFormat, 4);
}

TEST_F(StripRun, SourceTooSmall)
{
    auto small = MemoryStripLoader::make(IntPair(256, 256));
    EXPECT_FALSE(driver->kestrixStrips(small.get(), "out", ".jpg"));
    EXPECT_EQ(output->getErrors(), "File size is too small. Must be greater than 256 pixels in at least one dimension.\n");
    EXPECT_EQ(output->finishCount, 0);

    output = RecordingOutput::make();
    driver->setOutput(output.get());
    auto wide = MemoryStripLoader::make(IntPair(257, 10));
    EXPECT_TRUE(driver->kestrixStrips(wide.get(), "out", ".jpg"));
    EXPECT_FALSE(output->hasFailed());
    EXPECT_EQ(output->tiles.count(vq_tileKey(1, 0, 1)), 1u);
}

TEST_F(StripRun, TileSizeTheReaderCannotServe)
{
    auto loader = MemoryStripLoader::make(IntPair(1000, 600));
    loader->minTileSize = 512;
    EXPECT_FALSE(driver->kestrixStrips(loader.get(), "out", ".jpg"));
    EXPECT_EQ(output->getErrors(), "Tile size is too small for loader\n");

    output = RecordingOutput::make();
    driver->setOutput(output.get());
    auto shallow = MemoryStripLoader::make(IntPair(1000, 600));
    shallow->maxStripHeight = 128;
    EXPECT_FALSE(driver->kestrixStrips(shallow.get(), "out", ".jpg"));
    EXPECT_EQ(output->getErrors(), "Tile size is too large for loader\n");
}

TEST_F(StripRun, BadArgumentsAndOutputs)
{
    testing::internal::CaptureStderr();
    EXPECT_FALSE(driver->kestrixStrips(nullptr, "out", ".jpg"));
    EXPECT_EQ(testing::internal::GetCapturedStderr(), "Bad parameters to kestrix\n");
    // Option 3 with no output, and an option whose output cannot be made,
    // fail with a message instead of using a missing output.
    vq_ptr<vq_kestrifier_base> fresh;
    createKestrifier(&fresh);
    fresh->setOutputOption(3);
    auto loader = MemoryStripLoader::make(IntPair(1000, 600));
    testing::internal::CaptureStderr();
    EXPECT_FALSE(fresh->kestrixStrips(loader.get(), "out", ".jpg"));
    EXPECT_NE(testing::internal::GetCapturedStderr(), "");
    fresh->setOutputOption(0);
    testing::internal::CaptureStderr();
    EXPECT_FALSE(fresh->kestrixStrips(loader.get(), "out", ".jpg"));
    EXPECT_EQ(testing::internal::GetCapturedStderr(), "Unable to create output for option 0\n");
    EXPECT_EQ(loader->stripsRead, 0);
}

TEST_F(StripRun, CancelAbortsAndNeverFinishes)
{
    for (int loaders : {0, 1}) {
        setThreads(loaders, 2, loaders != 0);
        output = RecordingOutput::make();
        driver->setOutput(output.get());
        auto loader = MemoryStripLoader::make(IntPair(1000, 1000));
        loader->cancelAtStrip = 1;
        loader->driver = driver.get();
        EXPECT_TRUE(driver->kestrixStrips(loader.get(), "out", ".jpg"));
        EXPECT_TRUE(driver->isCancelled());
        EXPECT_EQ(output->finishCount, 0);
        EXPECT_EQ(output->abortCount, 1);
        EXPECT_LT(output->tiles.size(), 8u);
    }
}

TEST_F(StripRun, StripReadFailureFailsTheRun)
{
    for (int loaders : {0, 1}) {
        setThreads(loaders, 2, loaders != 0);
        output = RecordingOutput::make();
        driver->setOutput(output.get());
        auto loader = MemoryStripLoader::make(IntPair(1000, 1000));
        loader->failAtStrip = 2;
        testing::internal::CaptureStderr();
        EXPECT_FALSE(driver->kestrixStrips(loader.get(), "out", ".jpg")) << loaders;
        testing::internal::GetCapturedStderr();
        EXPECT_TRUE(output->hasFailed());
        EXPECT_EQ(output->finishCount, 0);
        EXPECT_EQ(output->abortCount, 1);
    }
}

TEST_F(StripRun, ReaderStopsWhenTheConsumerStopsOnAnError)
{
    // The output refuses tiles, so the first complete quad stops the
    // consumer while the reader still has many strips to queue.
    setThreads(1, 2, true);
    output->refuseTiles = true;
    auto loader = MemoryStripLoader::make(IntPair(5000, 8000));
    EXPECT_FALSE(driver->kestrixStrips(loader.get(), "out", ".jpg"));
    EXPECT_NE(output->getErrors().find("Failed to add tile x:"), std::string::npos) << output->getErrors();
    EXPECT_LT(loader->stripsRead, 32);
    EXPECT_EQ(output->finishCount, 0);
    EXPECT_EQ(liveRunThreads(), 0);
}

TEST_F(StripRun, PrepareFailure)
{
    auto loader = MemoryStripLoader::make(IntPair(1000, 600));
    loader->prepareOk = false;
    EXPECT_FALSE(driver->kestrixStrips(loader.get(), "out", ".jpg"));
    EXPECT_EQ(output->finishCount, 0);
}

TEST_F(StripRun, StripReaderThreadGivesTheSamePyramid)
{
    auto single = MemoryStripLoader::make(IntPair(1300, 700));
    output->keepPixels = true;
    ASSERT_TRUE(driver->kestrixStrips(single.get(), "out", ".jpg"));
    auto reference = output;
    for (bool multi : {false, true}) {
        setThreads(1, 3, multi);
        output = RecordingOutput::make();
        output->keepPixels = true;
        driver->setOutput(output.get());
        auto loader = MemoryStripLoader::make(IntPair(1300, 700));
        ASSERT_TRUE(driver->kestrixStrips(loader.get(), "out", ".jpg"));
        EXPECT_EQ(output->threadedSave, multi);
        ASSERT_EQ(output->tiles.size(), reference->tiles.size());
        for (const auto& [key, t] : reference->tiles) {
            EXPECT_EQ(output->tiles.at(key).count, 1);
            EXPECT_TRUE(output->tiles.at(key).pixels == t.pixels) << key.x << "," << key.y << "," << key.level;
        }
        EXPECT_EQ(output->finishCount, 1);
    }
}

TEST_F(StripRun, DriverDefaults)
{
    vq_ptr<vq_kestrifier_base> fresh;
    createKestrifier(&fresh);
    EXPECT_EQ(fresh->getQuality(), 50);
    EXPECT_TRUE(fresh->getCropEdgeTiles());
    EXPECT_FALSE(fresh->getStrictRawSize());
    EXPECT_FALSE(fresh->getJ2KFullChroma());
    EXPECT_EQ(fresh->getTilePixelFormat(), 3);
    auto raw = vq_ptr<vq_raw_tile>::adopt(vq_raw_tile::create());
    raw->allocate(10, IntPair(1, 1));
    EXPECT_TRUE(fresh->setSampleRawTile(raw.get()));
    EXPECT_FALSE(fresh->setSampleRawTile(raw.get()));
    fresh->setQuality(60);
    EXPECT_EQ(fresh->hasSampleRawTile(), 0);
    vq_ptr<vq_raw_tile> sample;
    EXPECT_TRUE(fresh->getSampleRawTile(&sample));
    EXPECT_NE(sample.get(), raw.get());
    fresh->cancel();
    EXPECT_TRUE(fresh->isCancelled());
    vq_ptr<vq_kestrifier_base> another;
    createKestrifier(&another);
    EXPECT_FALSE(fresh->isCancelled());
}

TEST_F(StripRun, OptionThreeCropsNoEdgesForSlideOutputs)
{
    output->option = 5;
    auto loader = MemoryStripLoader::make(IntPair(1000, 600));
    ASSERT_TRUE(driver->kestrixStrips(loader.get(), "out", ".jpg"));
    EXPECT_FALSE(driver->getCropEdgeTiles());
    EXPECT_EQ(output->tiles.at(vq_tileKey(3, 2, 2)).fullSize, IntPair(256, 256));
}

} // namespace
