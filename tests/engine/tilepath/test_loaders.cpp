#include <gtest/gtest.h>

#include <chrono>
#include <functional>
#include <thread>
#include <vector>

#include "engine/pyramid/driver_threads.h"
#include "engine/tilepath/loader_threads.h"
#include "engine/tilepath/tile_cursor.h"
#include "tests/engine/tilepath/tilepath_fixtures.h"

namespace {

using namespace tilepathtest;
using pyramidtest::MemoryStripLoader;

struct TileRun {
    vq_ptr<RecordingOutput> out = RecordingOutput::make();
    vq_ptr<RecordingLog> log = RecordingLog::make();
    bool result = false;
};

TileRun runTiles(MemoryTileLoader* source, int32_t loaders, bool multiImage = false, int32_t preferred = 0,
                 bool acceptRaw = false, int32_t pixelFormat = 3)
{
    setThreads(loaders, loaders != 0);
    TileRun run;
    run.out->keepPixels = true;
    run.out->acceptRaw = acceptRaw;
    vq_ptr<vq_kestrifier_base> driver = makeDriver(run.out.get(), run.log.get(), preferred);
    driver->setMultiImageMode(multiImage);
    driver->setTilePixelFormat(pixelFormat);
    run.result = driver->kestrixTiles(source, 0, 0, "out", ".jpg");
    return run;
}

TEST(Loaders, ThreadedRunsBuildTheSingleThreadedPyramid)
{
    const IntPair image(1500, 1100);
    vq_ptr<MemoryTileLoader> source = MemoryTileLoader::make(image, IntPair(256, 256));
    TileRun single = runTiles(source.get(), 0);
    ASSERT_TRUE(single.result);
    for (int32_t loaders : {1, 2, 8}) {
        SCOPED_TRACE(loaders);
        TileRun threaded = runTiles(source.get(), loaders);
        EXPECT_TRUE(threaded.result);
        EXPECT_EQ(threaded.out->finishCount, 1);
        expectSamePyramid(*single.out, *threaded.out);
    }
    // The threaded strip reader over the same image.
    setThreads(2, true);
    vq_ptr<RecordingOutput> strips = RecordingOutput::make();
    strips->keepPixels = true;
    vq_ptr<vq_kestrifier_base> driver = makeDriver(strips.get());
    vq_ptr<MemoryStripLoader> stripSource = MemoryStripLoader::make(image);
    ASSERT_TRUE(driver->kestrixStrips(stripSource.get(), "out", ".jpg"));
    expectSamePyramid(*single.out, *strips);
}

TEST(Loaders, RawLoadersBuildTheSingleThreadedPyramid)
{
    // The calling thread always builds RGB tiles; so do the loaders here.
    vq_ptr<MemoryTileLoader> source = MemoryTileLoader::make(IntPair(1100, 700), IntPair(256, 256), TJSAMP_420);
    TileRun single = runTiles(source.get(), 0, false, 0, true, 4);
    ASSERT_TRUE(single.result);
    EXPECT_EQ(single.out->rawTileBytes.size(), 15u);
    for (int32_t loaders : {1, 2, 8}) {
        SCOPED_TRACE(loaders);
        TileRun threaded = runTiles(source.get(), loaders, false, 0, true, 4);
        EXPECT_TRUE(threaded.result);
        EXPECT_TRUE(threaded.log->has(1, loaders == 1 ? "Using 1 raw loader thread\n"
                                                      : "Using " + std::to_string(loaders) + " raw loader threads\n"));
        expectSamePyramid(*single.out, *threaded.out);
        EXPECT_TRUE(single.out->rawTileBytes == threaded.out->rawTileBytes);
    }
}

TEST(Loaders, SingleImageRunStopsOnTheFirstFailedTile)
{
    const struct {
        const char* name;
        int32_t jpeg;
    } cases[] = {{"decoded tiles", -1}, {"raw tiles", TJSAMP_420}};
    for (const auto& c : cases) {
        vq_ptr<MemoryTileLoader> source = MemoryTileLoader::make(IntPair(1500, 1100), IntPair(256, 256), c.jpeg);
        source->failTiles = {{2, 1}};
        TileRun run = runTiles(source.get(), 2);
        EXPECT_FALSE(run.result) << c.name;
        EXPECT_EQ(run.out->errors, "Failed to load raw tile x:2 y:1 on layer 0\n") << c.name;
        EXPECT_EQ(run.out->finishCount, 0) << c.name;
        EXPECT_EQ(run.out->abortCount, 1) << c.name;
        EXPECT_TRUE(run.log->has(1, "Processing failed!\n")) << c.name;
    }
}

TEST(Loaders, MultiImageRunSkipsFailedTilesUntilTheErrorLimit)
{
    // 20 x 20 tiles, every one failing: the 101st error stops the run.
    vq_ptr<MemoryTileLoader> source = MemoryTileLoader::make(IntPair(320, 320), IntPair(16, 16));
    source->failAll = true;
    TileRun run = runTiles(source.get(), 4, true, 16);
    EXPECT_FALSE(run.result);
    EXPECT_EQ(run.log->count(0, "Failed to load raw tile"), 101);
    EXPECT_TRUE(run.log->has(0, "More than 100 errors, stopping\n"));
    EXPECT_EQ(run.out->errors, "Too many errors - stopping\n");

    // A few failed tiles are skipped and the run goes on to the end.
    source->failAll = false;
    source->failTiles = {{3, 4}, {10, 10}};
    TileRun skipped = runTiles(source.get(), 4, true, 16);
    EXPECT_EQ(skipped.log->count(0, "Failed to load raw tile"), 2);
    EXPECT_EQ(skipped.out->finishCount, 1);
    EXPECT_TRUE(skipped.result);
}

TEST(Loaders, RunEndsWhenEveryLoaderEndsEarly)
{
    // Raw loaders cannot make their decoder and end before queuing anything.
    vq_ptr<MemoryTileLoader> source = MemoryTileLoader::make(IntPair(1500, 1100), IntPair(256, 256), TJSAMP_420);
    source->failDecoder = true;
    TileRun run = runTiles(source.get(), 4, false, 0, true);
    EXPECT_FALSE(run.result);
    EXPECT_EQ(run.out->errors, "Source ended before every tile was read\n");
    EXPECT_EQ(run.out->finishCount, 0);
    EXPECT_EQ(liveRunThreads(), 0);
}

TEST(Loaders, StoppedConsumerLeavesQueuedTilesBehind)
{
    // Strips of 320 tiles: the first complete group is refused while about
    // 300 tiles wait in the queue; reader and run still end.
    setThreads(2, true);
    vq_ptr<RecordingOutput> out = RecordingOutput::make();
    out->refuseTiles = true;
    vq_ptr<vq_kestrifier_base> driver = makeDriver(out.get(), nullptr, 16);
    vq_ptr<MemoryStripLoader> strips = MemoryStripLoader::make(IntPair(16 * 320, 512));
    EXPECT_FALSE(driver->kestrixStrips(strips.get(), "out", ".jpg"));
    EXPECT_EQ(out->errors, "Failed to add tile x:1 y:1 from layer 0\n");
    EXPECT_LT(strips->stripsRead, 4);

    // The same with tile loaders feeding the queue.
    vq_ptr<MemoryTileLoader> source = MemoryTileLoader::make(IntPair(16 * 40, 16 * 40), IntPair(16, 16));
    setThreads(8, true);
    vq_ptr<RecordingOutput> tilesOut = RecordingOutput::make();
    tilesOut->refuseTiles = true;
    driver = makeDriver(tilesOut.get(), nullptr, 16);
    EXPECT_FALSE(driver->kestrixTiles(source.get(), 0, 0, "out", ".jpg"));
    EXPECT_EQ(tilesOut->errors.rfind("Failed to add tile", 0), 0u);
    EXPECT_LT(source->tilesLoaded, 1600);
    EXPECT_EQ(liveRunThreads(), 0);
}

// Polls until done() holds; false after 20 s (a generous bound for a loaded
// machine, never reached when the code works).
bool eventually(const std::function<bool()>& done)
{
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(20);
    while (!done()) {
        if (std::chrono::steady_clock::now() > deadline)
            return false;
        std::this_thread::sleep_for(std::chrono::microseconds(200));
    }
    return true;
}

TEST(Loaders, LoaderHeldByAFullQueueResumesWhenTheConsumerTakesARecord)
{
    // A tile loader goes on after queuing only while at most 24 records
    // wait; it used to pause 500 ms and must now go on as soon as a record
    // is taken.
    vq_ptr<MemoryTileLoader> source = MemoryTileLoader::make(IntPair(1024, 1024), IntPair(128, 128));
    cancelRequested = false;
    initThreadGlobals();
    ycbcrTiles = false;
    keepRawTiles = false;
    loaderThreadLimit = 1;
    globalTileCursor.reset(IntPair(8, 8), 0);
    {
        vq::platform::ScopedLock lock(loadedTileLock);
        for (int i = 0; i < 30; ++i)
            loadedTileList.push_front(vq_loadedTile());
    }
    ASSERT_TRUE(startTileLoaderThread(source.get(), 0, 0));
    ASSERT_TRUE(eventually([] { return loadedTileCount() == 31; }));
    // Held back: no second tile while the queue stays full.
    std::this_thread::sleep_for(std::chrono::milliseconds(30));
    EXPECT_EQ(source->tilesLoaded.load(), 1);

    std::chrono::steady_clock::time_point taken;
    {
        vq::platform::ScopedLock lock(loadedTileLock);
        while (loadedTileList.size() > 24)
            takeLoadedTile();
        taken = std::chrono::steady_clock::now();
    }
    ASSERT_TRUE(eventually([&] { return source->tilesLoaded >= 2; }));
    const auto resumedAfter =
        std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::steady_clock::now() - taken);
    EXPECT_LT(resumedAfter.count(), 150) << "the loader resumed " << resumedAfter.count() << " ms after the take";
    releaseThreadGlobals();
    globalTileCursor.finish();
    EXPECT_EQ(loadersRunning.load(), 0);
    EXPECT_EQ(liveRunThreads(), 0);
}

TEST(Loaders, ConsumerTakesARecordWhileARawLoaderReads)
{
    // A raw loader's read of the first tile (or group) stalls; the consumer
    // must still take the record already queued instead of waiting for the
    // read to end. The read gives up after 5 s, so a loader that reads under
    // the consumer's lock fails the test rather than hanging it.
    for (const bool quadMode : {false, true}) {
        SCOPED_TRACE(quadMode ? "quad loader" : "tile loader");
        vq_ptr<MemoryTileLoader> source = MemoryTileLoader::make(IntPair(512, 512), IntPair(64, 64), TJSAMP_420);
        std::atomic<bool> reading{false}, released{false};
        source->onRawRead = [&](int32_t x, int32_t y) {
            if (x != 0 || y != 0)
                return;
            reading = true;
            const auto giveUp = std::chrono::steady_clock::now() + std::chrono::seconds(5);
            while (!released && std::chrono::steady_clock::now() < giveUp)
                std::this_thread::sleep_for(std::chrono::milliseconds(1));
            reading = false;
        };
        cancelRequested = false;
        initThreadGlobals();
        ycbcrTiles = true;
        keepRawTiles = false;
        loaderThreadLimit = 1;
        globalTileCursor.reset(IntPair(8, 8), 0);
        {
            vq::platform::ScopedLock lock(loadedTileLock);
            loadedTileList.push_front(vq_loadedTile(IntPair(5, 7)));
        }
        ASSERT_TRUE(startRawLoaderThread(source.get(), 0, 0, quadMode));
        ASSERT_TRUE(eventually([&] { return reading.load(); }));

        bool takenDuringRead = false;
        IntPair takenPosition(-1, -1);
        {
            vq::platform::ScopedLock lock(loadedTileLock);
            takenDuringRead = reading;
            if (!loadedTileList.empty())
                takenPosition = takeLoadedTile().position;
        }
        EXPECT_TRUE(takenDuringRead) << "the consumer waited for the loader's read";
        EXPECT_EQ(takenPosition, IntPair(5, 7));

        globalTileCursor.finish();
        released = true;
        releaseThreadGlobals();
        EXPECT_EQ(loadersRunning.load(), 0);
        EXPECT_EQ(liveRunThreads(), 0);
    }
}

// Starts `count` raw loaders on a large JPEG-tiled source with 63 records
// already queued, so that each record a loader queues holds it back.
vq_ptr<MemoryTileLoader> startHeldRawLoaders(int32_t count)
{
    vq_ptr<MemoryTileLoader> source = MemoryTileLoader::make(IntPair(64 * 64, 64 * 64), IntPair(64, 64), TJSAMP_420);
    cancelRequested = false;
    initThreadGlobals();
    ycbcrTiles = true;
    keepRawTiles = false;
    loaderThreadLimit = count;
    globalTileCursor.reset(IntPair(64, 64), 0);
    {
        vq::platform::ScopedLock lock(loadedTileLock);
        for (int i = 0; i < 63; ++i)
            loadedTileList.push_front(vq_loadedTile());
    }
    for (int32_t i = 0; i < count; ++i)
        EXPECT_TRUE(startRawLoaderThread(source.get(), 0, 0, false));
    return source;
}

void endHeldRawLoaders()
{
    globalTileCursor.finish();
    releaseThreadGlobals();
    EXPECT_EQ(loadersRunning.load(), 0);
    EXPECT_EQ(liveRunThreads(), 0);
}

TEST(Loaders, ExtraRawLoaderEndsWhenHeldBackLongerThanFourPauses)
{
    // Nobody takes records: every wait runs its whole 100 ms. The third
    // loader (an extra one) ends after its fifth pause, the first two wait on.
    const auto start = std::chrono::steady_clock::now();
    vq_ptr<MemoryTileLoader> source = startHeldRawLoaders(3);
    ASSERT_TRUE(eventually([] { return loadersRunning <= 2; }));
    const auto endedAfter =
        std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::steady_clock::now() - start);
    EXPECT_GE(endedAfter.count(), 400) << "the extra loader ended after " << endedAfter.count() << " ms";
    std::this_thread::sleep_for(std::chrono::milliseconds(300));
    EXPECT_EQ(loadersRunning.load(), 2);
    endHeldRawLoaders();
}

TEST(Loaders, ExtraLoaderEndsByTimeHeldBackNotByTheNumberOfWaits)
{
    // Each case is a sequence of waits (ms) and the wait after which the
    // extra loader ends (0: it never ends). A loader that counted its waits
    // would end after the fifth one in every case.
    struct Case {
        std::vector<int64_t> waits;
        size_t endsAfter;
    };
    const std::vector<int64_t> fiftyBriefWaits(50, 2);
    const Case cases[] = {
        {{100, 100, 100, 100, 100}, 5}, // a queue that stays full: five whole pauses
        {fiftyBriefWaits, 0},           // a consumer that keeps up: 100 ms in all
        {{100, 100, 100, 100, 0, 0, 0}, 0}, // exactly four pauses is not more than four
        {{99, 99, 99, 99, 1, 1, 1, 1, 1, 1}, 9},
        {{0, 0, 0, 0, 0, 0, 0, 0, 0, 0}, 0},
        {{250, 151}, 2},                // a late wake-up counts with its real length
        {{-5, 100, 100, 100, 100, 1}, 6}, // a clock step back adds nothing
    };
    for (const Case& c : cases) {
        vq_extraLoaderHold hold;
        size_t endedAfter = 0;
        for (size_t i = 0; i < c.waits.size() && endedAfter == 0; ++i)
            if (hold.heldTooLong(c.waits[i]))
                endedAfter = i + 1;
        EXPECT_EQ(endedAfter, c.endsAfter) << "case with " << c.waits.size() << " waits, first " << c.waits[0];
    }
}

TEST(Loaders, NegativeLoaderCountRunsOnTheCallingThread)
{
    vq_ptr<MemoryTileLoader> source = MemoryTileLoader::make(IntPair(600, 600), IntPair(256, 256));
    TileRun single = runTiles(source.get(), 0);
    setThreads(-3, false);
    vq_ptr<RecordingOutput> out = RecordingOutput::make();
    out->keepPixels = true;
    vq_ptr<vq_kestrifier_base> driver = makeDriver(out.get());
    ASSERT_TRUE(driver->kestrixTiles(source.get(), 0, 0, "out", ".jpg"));
    expectSamePyramid(*single.out, *out);
}

} // namespace
