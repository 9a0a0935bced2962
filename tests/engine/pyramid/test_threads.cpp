// Encoder threads, their queue and the stop protocol.
#include <gtest/gtest.h>

#include <filesystem>

#include "engine/base/vq_global.h"
#include "tests/engine/pyramid/pyramid_fixtures.h"
#include "tests/support/test_env.h"

using namespace pyramidtest;

namespace {

vq_tile_saver rawJob(const std::string& path, int32_t seed, int32_t length)
{
    auto raw = vq_ptr<vq_raw_tile>::adopt(vq_raw_tile::create());
    raw->allocate(length, IntPair(256, 256));
    raw->setCompression(7);
    for (int32_t i = 0; i < length; ++i)
        raw->getData()[i] = static_cast<uint8_t>(seed * 31 + i * 7);
    vq_tile_saver job;
    job.outputPath = path;
    job.setRawTile(raw.get());
    return job;
}

std::string expectedBytes(int32_t seed, int32_t length)
{
    std::string s(static_cast<size_t>(length), '\0');
    for (int32_t i = 0; i < length; ++i)
        s[static_cast<size_t>(i)] = static_cast<char>(static_cast<uint8_t>(seed * 31 + i * 7));
    return s;
}

class EncoderThreads : public testing::Test {
protected:
    void SetUp() override
    {
        cancelRequested = false;
        initThreadGlobals();
        dir = vqtest::scratchDir("encoder_threads");
    }
    void TearDown() override
    {
        releaseThreadGlobals();
        cancelRequested = false;
    }
    std::string dir;
};

TEST_F(EncoderThreads, EveryQueuedJobIsWrittenByteExact)
{
    encoderThreadLimit = 6;
    ASSERT_TRUE(startEncoderThread());
    for (int32_t i = 0; i < 200; ++i)
        queueTileJob(rawJob(dir + "/" + std::to_string(i) + ".jpg", i, 100 + i * 13));
    runStopProtocol(false);
    EXPECT_EQ(encodersRunning, 0);
    EXPECT_GE(encodersStarted, 1);
    EXPECT_LE(encodersStarted, 6);
    for (int32_t i = 0; i < 200; ++i)
        EXPECT_EQ(vqtest::readFile(dir + "/" + std::to_string(i) + ".jpg"), expectedBytes(i, 100 + i * 13)) << i;
    EXPECT_EQ(encoderFailures, 0);
    releaseThreadGlobals();
    EXPECT_EQ(liveRunThreads(), 0);
}

TEST_F(EncoderThreads, CancelDropsQueuedJobsAndEndsEveryEncoder)
{
    encoderThreadLimit = 4;
    {
        // 100 jobs wait before any encoder runs.
        vq::platform::ScopedLock lock(tileJobLock);
        for (int32_t i = 0; i < 100; ++i)
            tileJobList.push_front(rawJob(dir + "/c" + std::to_string(i) + ".jpg", i, 64));
    }
    cancelRequested = true;
    for (int i = 0; i < 4; ++i)
        ASSERT_TRUE(startEncoderThread());
    tileJobEvent.set();
    runStopProtocol(false);
    EXPECT_EQ(encodersRunning, 0);
    {
        vq::platform::ScopedLock lock(tileJobLock);
        ASSERT_EQ(tileJobList.size(), 1u);
        EXPECT_TRUE(tileJobList.back().isStopJob());
    }
    for (int32_t i = 0; i < 100; ++i)
        EXPECT_FALSE(std::filesystem::exists(dir + "/c" + std::to_string(i) + ".jpg")) << i;
    releaseThreadGlobals();
    EXPECT_EQ(liveRunThreads(), 0);
}

TEST_F(EncoderThreads, StarterLimit)
{
    encoderThreadLimit = 5;
    for (int i = 0; i < 5; ++i)
        EXPECT_TRUE(startEncoderThread()) << i;
    EXPECT_FALSE(startEncoderThread());
    EXPECT_EQ(encodersStarted, 5);
    EXPECT_EQ(encodersRunning, 5);
    // More than 12 waiting jobs start one more encoder per job, up to the limit.
    releaseThreadGlobals();
    EXPECT_EQ(encodersRunning, 0);
    EXPECT_EQ(liveRunThreads(), 0);
    initThreadGlobals();
    encoderThreadLimit = 3;
    {
        vq::platform::ScopedLock lock(tileJobLock); // hold the encoders back
        for (int32_t i = 0; i < 20; ++i)
            queueTileJob(rawJob(dir + "/s" + std::to_string(i) + ".jpg", i, 8));
        EXPECT_EQ(encodersStarted, 3);
    }
    runStopProtocol(false);
    for (int32_t i = 0; i < 20; ++i)
        EXPECT_EQ(vqtest::readFile(dir + "/s" + std::to_string(i) + ".jpg"), expectedBytes(i, 8));
}

TEST_F(EncoderThreads, ReleaseEndsIdleEncoders)
{
    encoderThreadLimit = 3;
    for (int i = 0; i < 3; ++i)
        ASSERT_TRUE(startEncoderThread());
    releaseThreadGlobals(); // no stop protocol was run
    EXPECT_EQ(encodersRunning, 0);
    EXPECT_EQ(liveRunThreads(), 0);
}

TEST_F(EncoderThreads, FailedJobsAreCounted)
{
    encoderThreadLimit = 2;
    ASSERT_TRUE(startEncoderThread());
    queueTileJob(rawJob(dir + "/missing-folder/a.jpg", 1, 10));
    queueTileJob(rawJob(dir + "/ok.jpg", 2, 10));
    vq_tile_saver empty = rawJob(dir + "/empty.jpg", 3, 0);
    testing::internal::CaptureStderr();
    queueTileJob(empty);
    runStopProtocol(false);
    EXPECT_EQ(testing::internal::GetCapturedStderr(), "Error:Raw tile has no data!\n");
    EXPECT_EQ(encoderFailures, 2);
    // The file begun for the tile without data is gone again.
    EXPECT_FALSE(std::filesystem::exists(dir + "/empty.jpg"));
    EXPECT_EQ(vqtest::readFile(dir + "/ok.jpg"), expectedBytes(2, 10));
    auto out = RecordingOutput::make();
    reportEncoderFailures(out.get());
    EXPECT_TRUE(out->hasFailed());
    EXPECT_EQ(out->getErrors(), "2 tile files could not be written\nNot written: " + dir +
                                    "/missing-folder/a.jpg\nNot written: " + dir + "/empty.jpg\n");
    // The report empties the record for the next run.
    auto next = RecordingOutput::make();
    reportEncoderFailures(next.get());
    EXPECT_FALSE(next->hasFailed());
}

bool looksLikeJpeg(const std::string& bytes)
{
    return bytes.size() > 100 && static_cast<uint8_t>(bytes[0]) == 0xFF && static_cast<uint8_t>(bytes[1]) == 0xD8 &&
           static_cast<uint8_t>(bytes[bytes.size() - 2]) == 0xFF && static_cast<uint8_t>(bytes.back()) == 0xD9;
}

TEST_F(EncoderThreads, EncodesRgbAndYCbCrJobs)
{
    encoderThreadLimit = 2;
    ASSERT_TRUE(startEncoderThread());
    vq_tile_saver rgb;
    rgb.outputPath = dir + "/rgb.jpg";
    rgb.quality = 80;
    rgb.setContainer(makeContainer(vq_fmtRGB24, 64, 48).get());
    queueTileJob(rgb);
    auto t = makeYCbCrTile(0, 0, 0, 64, 48, 4);
    vq_tile_saver planes;
    planes.outputPath = dir + "/ycbcr.jpg";
    planes.subsampling = 4;
    planes.setYCbCrPlanes(containerOf(t.get(), planeY), containerOf(t.get(), planeCb), containerOf(t.get(), planeCr));
    planes.holder->setSubsampling(4);
    queueTileJob(planes);
    vq_tile_saver unknown;
    unknown.outputPath = dir + "/none.jpg";
    unknown.setContainer(nullptr);
    queueTileJob(unknown);
    runStopProtocol(false);
    EXPECT_TRUE(looksLikeJpeg(vqtest::readFile(dir + "/rgb.jpg")));
    EXPECT_TRUE(looksLikeJpeg(vqtest::readFile(dir + "/ycbcr.jpg")));
    EXPECT_EQ(vqtest::readFile(dir + "/none.jpg"), "");
    EXPECT_EQ(encoderFailures, 1);
}

TEST(EncoderThreadRun, ThreadedRunWritesEveryTile)
{
    vq_ptr<vq_global_base> global;
    getGlobal(global.put());
    const int loaders = global->getLoaderThreadCount(), encoders = global->getEncoderThreadCount();
    const bool multi = global->isMultiThreaded();
    global->setLoaderThreadCount(1);
    global->setEncoderThreadCount(4);
    global->setMultiThreaded(true);
    vq_ptr<vq_kestrifier_base> driver;
    createKestrifier(&driver);
    auto out = RecordingOutput::make();
    out->jobFolder = vqtest::scratchDir("threaded_run");
    driver->setOutput(out.get());
    auto loader = MemoryStripLoader::make(IntPair(1000, 600));
    ASSERT_TRUE(driver->kestrixStrips(loader.get(), "out", ".jpg"));
    EXPECT_EQ(out->tiles.size(), 17u);
    for (const auto& [key, tile] : out->tiles)
        EXPECT_TRUE(looksLikeJpeg(vqtest::readFile(out->jobFolder + "/" + std::to_string(key.level) + "-" +
                                                   std::to_string(key.x) + "-" + std::to_string(key.y) + ".jpg")))
            << key.x << "," << key.y << "," << key.level;
    EXPECT_EQ(liveRunThreads(), 0);
    global->setLoaderThreadCount(loaders);
    global->setEncoderThreadCount(encoders);
    global->setMultiThreaded(multi);
}

TEST(EncoderThreadRun, EncoderFailureReachesTheOutput)
{
    vq_ptr<vq_global_base> global;
    getGlobal(global.put());
    const int loaders = global->getLoaderThreadCount(), encoders = global->getEncoderThreadCount();
    const bool multi = global->isMultiThreaded();
    global->setLoaderThreadCount(0);
    global->setEncoderThreadCount(3);
    global->setMultiThreaded(true);
    vq_ptr<vq_kestrifier_base> driver;
    createKestrifier(&driver);
    auto out = RecordingOutput::make();
    // Tile files go to a folder that does not exist: every job fails.
    out->jobFolder = vqtest::scratchDir("encoder_failure") + "/no/such/folder";
    driver->setOutput(out.get());
    auto loader = MemoryStripLoader::make(IntPair(600, 300));
    testing::internal::CaptureStderr();
    EXPECT_FALSE(driver->kestrixStrips(loader.get(), "out", ".jpg"));
    testing::internal::GetCapturedStderr();
    EXPECT_NE(out->getErrors().find("tile files could not be written"), std::string::npos);
    EXPECT_EQ(liveRunThreads(), 0);
    global->setLoaderThreadCount(loaders);
    global->setEncoderThreadCount(encoders);
    global->setMultiThreaded(multi);
}

} // namespace
