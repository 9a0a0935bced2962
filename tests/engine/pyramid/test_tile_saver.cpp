// Tile-save jobs and their holders.
#include <gtest/gtest.h>

#include "engine/pyramid/tile_saver.h"
#include "tests/engine/pyramid/tile_fixtures.h"

using namespace pyramidtest;

namespace {

TEST(TileSaver, DefaultJobIsStopMarker)
{
    vq_tile_saver job;
    EXPECT_TRUE(job.isStopJob());
    EXPECT_EQ(job.getFormat(), -1);
    vq_ptr<imageContainer> c;
    EXPECT_FALSE(job.getContainer(&c, 4));
    EXPECT_EQ(job.quality, 50);
    EXPECT_EQ(job.colourSpace, 3);
    EXPECT_EQ(job.subsampling, 5);
}

TEST(TileSaver, HolderTable)
{
    auto rgb = makeContainer(vq_fmtRGB24, 4, 4);
    auto raw = vq_ptr<vq_raw_tile>::adopt(vq_raw_tile::create());
    auto y = makeContainer(vq_fmtPlaneY, 4, 4), cb = makeContainer(vq_fmtPlaneCb, 2, 2);
    const struct {
        const char* name;
        std::function<bool(vq_tile_saver&)> fill;
        int format;
        bool planes[4]; // 4, 7, 8, 9
        bool raw;
    } cases[] = {
        {"rgb", [&](vq_tile_saver& j) { return j.setContainer(rgb.get()); }, 4, {true, false, false, false}, false},
        {"null container", [&](vq_tile_saver& j) { return j.setContainer(nullptr); }, -1, {true, false, false, false}, false},
        {"raw", [&](vq_tile_saver& j) { return j.setRawTile(raw.get()); }, 10, {false, false, false, false}, true},
        {"ycbcr", [&](vq_tile_saver& j) { return j.setYCbCrPlanes(y.get(), cb.get(), nullptr); }, 3, {false, true, true, true}, false},
    };
    const int planeCodes[4] = {4, 7, 8, 9};
    for (const auto& c : cases) {
        vq_tile_saver job;
        ASSERT_TRUE(c.fill(job)) << c.name;
        EXPECT_FALSE(job.isStopJob());
        EXPECT_EQ(job.getFormat(), c.format) << c.name;
        for (int i = 0; i < 4; ++i) {
            vq_ptr<imageContainer> out;
            EXPECT_EQ(job.getContainer(&out, planeCodes[i]), c.planes[i]) << c.name << " plane " << planeCodes[i];
            EXPECT_EQ(out != nullptr, c.planes[i]);
        }
        EXPECT_FALSE(job.getContainer(nullptr, c.format));
        vq_ptr<vq_raw_tile> r;
        EXPECT_EQ(job.holder->getRawTile(&r), c.raw) << c.name;
    }
}

TEST(TileSaver, SharesContainersAndSubsampling)
{
    auto y = makeContainer(vq_fmtPlaneY, 4, 4);
    vq_tile_saver job;
    job.setYCbCrPlanes(y.get(), nullptr, nullptr);
    EXPECT_EQ(job.holder->getSubsampling(), 5);
    job.holder->setSubsampling(4);
    EXPECT_EQ(job.holder->getSubsampling(), 4);
    vq_ptr<imageContainer> out;
    ASSERT_TRUE(job.getContainer(&out, 7));
    EXPECT_EQ(out.get(), y.get()); // shared, not copied

    vq_tile_saver rgb;
    rgb.setContainer(makeContainer(vq_fmtRGB24, 2, 2).get());
    rgb.holder->setSubsampling(4);
    EXPECT_EQ(rgb.holder->getSubsampling(), 1);
}

TEST(TileSaver, CopySharesHolder)
{
    vq_tile_saver job;
    job.outputPath = "a/b.jpg";
    job.quality = 77;
    job.setContainer(makeContainer(vq_fmtRGB24, 2, 2).get());
    vq_tile_saver_container_base* holder = job.holder.get();
    {
        vq_tile_saver copy(job);
        EXPECT_EQ(copy.holder.get(), holder);
        EXPECT_EQ(copy.outputPath, "a/b.jpg");
        EXPECT_EQ(copy.quality, 77);
        EXPECT_EQ(holder->refCount(), 2);
    }
    EXPECT_EQ(holder->refCount(), 1);
    EXPECT_EQ(job.getFormat(), 4);
}

} // namespace
