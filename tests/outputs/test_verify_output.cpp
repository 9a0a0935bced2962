#include <gtest/gtest.h>

#include "outputs/output_factories.h"
#include "outputs/verify_output.h"
#include "tests/outputs/output_fixtures.h"

using namespace outtest;

namespace {

vq_ptr<vq_zoomoutput_base> newVerifyOutput(vq_zoom_layer* base)
{
    vq_ptr<vq_zoomoutput_base> out;
    EXPECT_TRUE(createVerifyOutput(out.put()));
    EXPECT_TRUE(out->setOutputPath("/nonexistent/never/created", ""));
    out->setBaseLayer(base);
    return out;
}

// A YCbCr tile whose plane has no pixels (kept at its size, or of zero size).
vq_ptr<vq_zoom_tile_base> tileWithEmptyPlane(int32_t plane, bool zeroSize)
{
    auto tile = makeYCbCrTile({2, 0, 0, 256, 256}, 4);
    auto empty = vq_ptr<imageContainer>::adopt(imageContainer::create());
    if (zeroSize) {
        empty->create(plane, 0, 0, false);
    } else {
        empty->create(plane, 128, 128, false);
        empty->freeBuffer();
    }
    tile->setContainer(empty.get());
    return tile;
}

} // namespace

TEST(VerifyOutput, CountsBaseLevelTiles)
{
    auto base = makeChain(1000, 600, 256); // 4 x 3 tiles at the base
    const auto tiles = pyramidTiles(base.get());
    const struct {
        const char* name;
        int32_t dropped;   // base tiles left out
        int32_t repeated;  // base tiles delivered twice
        bool ycbcr;
    } cases[] = {{"all", 0, 0, false}, {"all planes", 0, 0, true}, {"one missing", 1, 0, false},
                 {"one twice", 0, 1, true}};
    for (const auto& c : cases) {
        auto out = newVerifyOutput(base.get());
        int32_t dropped = 0;
        for (const TileSpec& t : tiles) {
            if (t.level == 2 && dropped < c.dropped) {
                ++dropped;
                continue;
            }
            auto tile = c.ycbcr ? makeYCbCrTile(t) : makeRgbTile(t);
            EXPECT_TRUE(out->saveTile(tile.get())) << c.name;
        }
        for (int32_t i = 0; i < c.repeated; ++i)
            EXPECT_TRUE(out->saveTile(makeYCbCrTile({2, 0, 0, 256, 256}).get()));
        EXPECT_TRUE(out->finish());
        const bool complete = c.dropped == 0 && c.repeated == 0;
        EXPECT_EQ(out->hasFailed(), !complete) << c.name;
        EXPECT_EQ(out->getErrors(), complete ? "" : "Fewer tiles than expected") << c.name;
    }
}

TEST(VerifyOutput, EmptyPlanesAreReportedInOrder)
{
    auto base = makeChain(1000, 600, 256);
    const struct {
        int32_t plane;
        bool zeroSize;
        const char* errors;
    } cases[] = {
        {vq_fmtPlaneCr, true, "Tried to save Cr tile with no data\nCr Tile with zero width or height\n"},
        {vq_fmtPlaneCr, false, "Tried to save Cr tile with no data\n"},
        {vq_fmtPlaneY, true, "Tried to save Y tile with no data\n"},
        {vq_fmtPlaneCb, true, "Tried to save Cb tile with no data\n"},
    };
    for (const auto& c : cases) {
        auto out = newVerifyOutput(base.get());
        EXPECT_FALSE(out->saveTile(tileWithEmptyPlane(c.plane, c.zeroSize).get()));
        EXPECT_EQ(out->getErrors(), c.errors) << c.plane << " " << c.zeroSize;
        EXPECT_TRUE(out->hasFailed());
    }
}

TEST(VerifyOutput, AfterOneBadPlaneTileNoLaterPlaneTileCounts)
{
    auto base = makeChain(1000, 600, 256);
    auto out = newVerifyOutput(base.get());
    EXPECT_FALSE(out->saveTile(tileWithEmptyPlane(vq_fmtPlaneCr, true).get()));
    for (const TileSpec& t : pyramidTiles(base.get()))
        EXPECT_FALSE(out->saveTile(makeYCbCrTile(t).get()));
    // RGB tiles still answer for themselves.
    EXPECT_TRUE(out->saveTile(makeRgbTile({2, 1, 1, 256, 256}).get()));
    EXPECT_TRUE(out->finish());
    EXPECT_EQ(out->getErrors(),
              "Tried to save Cr tile with no data\nCr Tile with zero width or height\nFewer tiles than expected");
}

TEST(VerifyOutput, RgbTileFindings)
{
    auto base = makeChain(1000, 600, 256);
    auto out = newVerifyOutput(base.get());
    EXPECT_FALSE(out->saveTile(nullptr));
    vq_ptr<vq_zoom_tile_base> empty;
    createZoomTile(&empty);
    empty->setKey(vq_tileKey(1, 2, 3));
    EXPECT_FALSE(out->saveTile(empty.get()));
    EXPECT_EQ(out->getErrors(), "Passed empty tile to save\nRGB Tile x=1,y=2,z=3 with zero width or height\n");
    EXPECT_FALSE(out->saveRawTile(empty.get(), nullptr));
    EXPECT_FALSE(out->acceptsRawTiles());
    EXPECT_EQ(out->getOutputOption(), 6);
}

TEST(VerifyOutput, ErrorsFromOutsideAndMissingBase)
{
    auto base = makeChain(1000, 600, 256);
    auto out = newVerifyOutput(base.get());
    out->addError("Cannot read tile");
    EXPECT_TRUE(out->hasFailed());
    EXPECT_EQ(out->getErrors(), "Cannot read tile\nLoader Failure");

    auto noBase = newVerifyOutput(nullptr);
    EXPECT_TRUE(noBase->finish());
    EXPECT_EQ(noBase->getErrors(), "Pyramid base is invalid\n");

    vq_ptr<vq_verify_output> verify(vq_verify_output::create());
    verify->abort();
    EXPECT_TRUE(verify->wasAborted());
}
