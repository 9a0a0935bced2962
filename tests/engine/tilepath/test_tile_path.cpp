#include <gtest/gtest.h>

#include "outputs/output_factories.h"
#include "tests/support/test_env.h"
#include "tests/engine/tilepath/tilepath_fixtures.h"

namespace {

using namespace tilepathtest;
using pyramidtest::MemoryStripLoader;

vq_ptr<RecordingOutput> pixelOutput()
{
    vq_ptr<RecordingOutput> out = RecordingOutput::make();
    out->keepPixels = true;
    return out;
}

// The strip path's pyramid of the same synthetic image, tiles of 256.
vq_ptr<RecordingOutput> stripPyramid(IntPair image, int32_t loaders)
{
    setThreads(loaders, false);
    vq_ptr<RecordingOutput> out = pixelOutput();
    vq_ptr<vq_kestrifier_base> driver = makeDriver(out.get());
    vq_ptr<MemoryStripLoader> strips = MemoryStripLoader::make(image);
    EXPECT_TRUE(driver->kestrixStrips(strips.get(), "out", ".jpg"));
    return out;
}

TEST(TilePath, SingleThreadedRunBuildsTheStripPathPyramid)
{
    const IntPair image(1000, 600);
    vq_ptr<RecordingOutput> strips = stripPyramid(image, 0);
    setThreads(0, false);
    vq_ptr<RecordingOutput> out = pixelOutput();
    vq_ptr<RecordingLog> log = RecordingLog::make();
    vq_ptr<vq_kestrifier_base> driver = makeDriver(out.get(), log.get());
    vq_ptr<MemoryTileLoader> source = MemoryTileLoader::make(image, IntPair(256, 256));
    ASSERT_TRUE(driver->kestrixTiles(source.get(), 0, 0, "out", ".jpg"));
    EXPECT_EQ(out->finishCount, 1);
    EXPECT_EQ(out->abortCount, 0);
    EXPECT_EQ(out->tiles.size(), 12u + 4u + 1u);
    expectSamePyramid(*strips, *out);
    EXPECT_EQ(log->progress, 100);
}

TEST(TilePath, TilesTheBaseLevelCannotTakeGoThroughStrips)
{
    const IntPair image(1000, 600);
    vq_ptr<RecordingOutput> strips = stripPyramid(image, 0);
    setThreads(0, false);
    vq_ptr<RecordingOutput> out = pixelOutput();
    vq_ptr<vq_kestrifier_base> driver = makeDriver(out.get());
    vq_ptr<MemoryTileLoader> source = MemoryTileLoader::make(image, IntPair(200, 300));
    ASSERT_TRUE(driver->kestrixTiles(source.get(), 0, 0, "out", ".jpg"));
    expectSamePyramid(*strips, *out);
}

TEST(TilePath, ReportsWithTheDriverMessages)
{
    setThreads(0, false);
    vq_ptr<RecordingOutput> out = RecordingOutput::make();
    vq_ptr<RecordingLog> log = RecordingLog::make();
    vq_ptr<vq_kestrifier_base> driver = makeDriver(out.get(), log.get());
    vq_ptr<MemoryTileLoader> source = MemoryTileLoader::make(IntPair(1000, 600), IntPair(256, 256));

    EXPECT_FALSE(driver->kestrixTiles(nullptr, 0, 0, "out", ".jpg"));
    EXPECT_FALSE(driver->kestrixTiles(source.get(), 0, 0, nullptr, ".jpg"));
    EXPECT_EQ(log->count(1, "Bad parameters to kestrix\n"), 2);

    ASSERT_TRUE(driver->kestrixTiles(source.get(), 0, 0, "out", ".jpg"));
    EXPECT_TRUE(log->has(2, "Starting pyramid 4 x 3 tiles\n"));
    EXPECT_EQ(log->count(1, "12 tiles processed in 0.0"), 1);
    ASSERT_TRUE(driver->kestrixTiles(source.get(), 3, 0, "out", ".jpg"));
    EXPECT_EQ(log->count(1, "Layer 3:12 tiles processed in 0.0"), 1);
}

TEST(TilePath, GoogleOutputNeedsPowerOfTwoTiles)
{
    registerOutputFactories();
    setThreads(0, false);
    vq_ptr<RecordingLog> log = RecordingLog::make();
    vq_ptr<vq_kestrifier_base> driver;
    createKestrifier(&driver);
    driver->setLogOutput(log.get());
    driver->setOutputOption(4);
    vq_ptr<MemoryTileLoader> source = MemoryTileLoader::make(IntPair(1200, 900), IntPair(300, 300));
    const std::string folder = vqtest::scratchDir("tilepath_google");
    EXPECT_FALSE(driver->kestrixTiles(source.get(), 0, 0, folder.c_str(), ".jpg"));
    EXPECT_TRUE(log->has(0, "Unable to output for Google as tile size is not a power of 2\n"));
}

TEST(TilePath, FailingTileLoopAbortsAndNeverFinishes)
{
    setThreads(0, false);
    const struct {
        const char* name;
        bool refuseTiles;
        const char* error;
    } cases[] = {
        {"load", false, "Failed to load tile x:1 y:1 on layer 0\n"},
        {"add", true, "Failed to add tile x:0 y:1 from layer 0\n"},
    };
    for (const auto& c : cases) {
        vq_ptr<RecordingOutput> out = RecordingOutput::make();
        out->refuseTiles = c.refuseTiles;
        vq_ptr<RecordingLog> log = RecordingLog::make();
        vq_ptr<vq_kestrifier_base> driver = makeDriver(out.get(), log.get());
        vq_ptr<MemoryTileLoader> source = MemoryTileLoader::make(IntPair(1000, 600), IntPair(256, 256));
        if (!c.refuseTiles)
            source->failTiles = {{1, 1}};
        EXPECT_FALSE(driver->kestrixTiles(source.get(), 0, 0, "out", ".jpg")) << c.name;
        EXPECT_EQ(out->finishCount, 0) << c.name;
        EXPECT_EQ(out->abortCount, 1) << c.name;
        EXPECT_EQ(out->errors, c.error) << c.name;
        EXPECT_TRUE(log->has(0, "Processing failed, aborting\n")) << c.name;
        EXPECT_TRUE(log->has(1, "Processing failed!\n")) << c.name;
    }
}

TEST(TilePath, CancelledRunAbortsAndSucceeds)
{
    setThreads(0, false);
    vq_ptr<RecordingOutput> out = RecordingOutput::make();
    vq_ptr<RecordingLog> log = RecordingLog::make();
    vq_ptr<vq_kestrifier_base> driver = makeDriver(out.get(), log.get());
    vq_ptr<MemoryTileLoader> source = MemoryTileLoader::make(IntPair(1000, 600), IntPair(256, 256));
    source->cancelAt = 5;
    source->driver = driver.get();
    EXPECT_TRUE(driver->kestrixTiles(source.get(), 0, 0, "out", ".jpg"));
    EXPECT_EQ(out->finishCount, 0);
    EXPECT_EQ(out->abortCount, 1);
    EXPECT_TRUE(log->has(1, "Processing cancelled\n"));
}

} // namespace
