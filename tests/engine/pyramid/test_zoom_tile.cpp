// Zoom tiles: keys, padding, cropping, parts, the splitter, copies and
// borrowed edges.
#include <gtest/gtest.h>

#include "tests/engine/pyramid/tile_fixtures.h"

using namespace pyramidtest;

namespace {

TEST(ZoomTile, SetKeyDerivesCorner)
{
    auto t = makeRgbTile(0, 0, 0, 4, 4);
    const struct {
        int x, y, corner;
    } cases[] = {{4, 2, 1}, {5, 2, 2}, {5, 3, 4}, {4, 3, 8}, {-1, 0, 2}, {-1, -1, 4}};
    for (const auto& c : cases) {
        t->setKey(vq_tileKey(c.x, c.y, 3));
        EXPECT_EQ(t->getCorner(), c.corner);
        EXPECT_EQ(t->getKey(), vq_tileKey(c.x, c.y, 3));
    }
}

TEST(ZoomTile, PadKeepsCropAndFillsWhite)
{
    for (bool keepCrop : {true, false}) {
        auto t = makeRgbTile(0, 0, 0, 200, 100);
        ASSERT_TRUE(t->padToSize(IntPair(256, 256), keepCrop));
        imageContainer* c = containerOf(t.get(), 4);
        EXPECT_EQ(c->getFullSize(), IntPair(256, 256));
        EXPECT_EQ(t->getSize(), keepCrop ? IntPair(200, 100) : IntPair(256, 256));
        EXPECT_EQ(pixelAt(c, 199, 99, 2), patternPixel(199, 99, 2));
        EXPECT_EQ(pixelAt(c, 0, 0, 1), patternPixel(0, 0, 1));
        c->uncrop();
        EXPECT_EQ(pixelAt(c, 200, 0, 0), 255);
        EXPECT_EQ(pixelAt(c, 0, 100, 2), 255);
        EXPECT_EQ(pixelAt(c, 255, 255, 1), 255);
    }
}

TEST(ZoomTile, PadFillsEverySampleAroundTheVisiblePixels)
{
    // Every sample outside the source's visible part is the fill value, also
    // where the source's own buffer held pixels beyond its crop; the target's
    // buffer is never written past its own size.
    const struct {
        IntPair full, visible, target;
    } cases[] = {
        {{200, 100}, {200, 100}, {256, 256}},
        {{256, 256}, {130, 70}, {256, 256}},
        {{40, 256}, {40, 256}, {256, 256}},
        {{256, 30}, {256, 30}, {256, 256}},
        // A source larger than the target keeps only the part that fits.
        {{300, 280}, {300, 280}, {256, 256}},
    };
    for (const auto& k : cases) {
        auto t = makeRgbTile(0, 0, 0, k.full.first, k.full.second, patternPixel, k.visible.first, k.visible.second);
        ASSERT_TRUE(t->padToSize(k.target, false));
        imageContainer* c = containerOf(t.get(), 4);
        ASSERT_EQ(c->getFullSize(), k.target);
        int wrong = 0;
        for (int y = 0; y < k.target.second; ++y)
            for (int x = 0; x < k.target.first; ++x)
                for (int ch = 0; ch < 3; ++ch) {
                    const bool inside = x < k.visible.first && y < k.visible.second;
                    wrong += pixelAt(c, x, y, ch) != (inside ? patternPixel(x, y, ch) : 255);
                }
        EXPECT_EQ(wrong, 0) << k.visible.first << "x" << k.visible.second;
    }
}

TEST(ZoomTile, PadYCbCrFillsChromaWithGrey)
{
    auto t = makeYCbCrTile(0, 0, 0, 200, 100, 4);
    ASSERT_TRUE(t->padToSize(IntPair(256, 256), true));
    EXPECT_EQ(t->getPlaneFullSize(planeCb), IntPair(128, 128));
    EXPECT_EQ(t->getPlaneFullSize(planeCr), IntPair(128, 128));
    EXPECT_EQ(t->getPlaneSize(planeCb), IntPair(100, 50));
    imageContainer* cb = containerOf(t.get(), planeCb);
    imageContainer* y = containerOf(t.get(), planeY);
    cb->uncrop();
    y->uncrop();
    EXPECT_EQ(pixelAt(cb, 127, 127), 128);
    EXPECT_EQ(pixelAt(cb, 99, 49), patternPixel(99, 49, 1));
    EXPECT_EQ(pixelAt(y, 255, 0), 255);
}

TEST(ZoomTile, SavedTileIsNeitherPaddedNorCropped)
{
    auto t = makeRgbTile(0, 0, 0, 200, 100);
    t->setSaved();
    EXPECT_TRUE(t->padToSize(IntPair(256, 256), true));
    EXPECT_EQ(t->getFullSize(), IntPair(200, 100));
    testing::internal::CaptureStderr();
    t->cropEdges(true, true, IntPair(50, 50));
    EXPECT_EQ(testing::internal::GetCapturedStderr(), "Trying to crop tile that is already saved!\n");
    EXPECT_EQ(t->getSize(), IntPair(200, 100));
}

TEST(ZoomTile, PadWithoutPixelsFails)
{
    vq_ptr<vq_zoom_tile_base> t;
    createZoomTile(&t);
    testing::internal::CaptureStderr();
    EXPECT_FALSE(t->padToSize(IntPair(256, 256), true));
    EXPECT_EQ(testing::internal::GetCapturedStderr(), "Trying to pad empty tile!\n");
}

TEST(ZoomTile, CropEdgesTable)
{
    const struct {
        bool cropW, cropH;
        IntPair edge, expected;
    } cases[] = {
        {true, false, IntPair(100, 50), IntPair(100, 256)}, {false, true, IntPair(100, 50), IntPair(256, 50)},
        {true, true, IntPair(100, 50), IntPair(100, 50)},   {true, false, IntPair(0, 50), IntPair(256, 256)},
        {true, true, IntPair(300, 50), IntPair(256, 256)},  {false, false, IntPair(10, 10), IntPair(256, 256)},
    };
    for (const auto& c : cases) {
        auto t = makeRgbTile(0, 0, 0, 256, 256);
        t->cropEdges(c.cropW, c.cropH, c.edge);
        EXPECT_EQ(t->getSize(), c.expected) << c.edge.first << "x" << c.edge.second;
        EXPECT_EQ(t->getFullSize(), IntPair(256, 256));
    }
    auto y = makeYCbCrTile(0, 0, 0, 256, 256, 2);
    y->cropEdges(true, true, IntPair(101, 50));
    EXPECT_EQ(y->getPlaneSize(planeY), IntPair(101, 50));
    EXPECT_EQ(y->getPlaneSize(planeCb), IntPair(51, 50));
    EXPECT_EQ(y->getPlaneSize(planeCr), IntPair(51, 50));
}

TEST(ZoomTile, ExtractPartTable)
{
    auto t = makeRgbTile(4, 6, 2, 300, 280);
    const struct {
        int part;
        IntPair origin, size;
        int dx, dy;
    } cases[] = {
        {1, IntPair(0, 0), IntPair(256, 256), 0, 0},    {2, IntPair(256, 0), IntPair(44, 256), 1, 0},
        {8, IntPair(0, 256), IntPair(256, 24), 0, 1},   {4, IntPair(256, 256), IntPair(44, 24), 1, 1},
        {3, IntPair(0, 0), IntPair(300, 256), 0, 0},    {12, IntPair(0, 256), IntPair(300, 24), 0, 1},
        {9, IntPair(0, 0), IntPair(256, 280), 0, 0},    {6, IntPair(256, 0), IntPair(44, 280), 1, 0},
        {15, IntPair(0, 0), IntPair(300, 280), 0, 0},
    };
    for (const auto& c : cases) {
        vq_ptr<vq_zoom_tile_base> part;
        ASSERT_TRUE(t->extractPart(part, c.part, 256)) << c.part;
        EXPECT_EQ(part->getSize(), c.size) << c.part;
        EXPECT_EQ(part->getKey(), vq_tileKey(4 + c.dx, 6 + c.dy, 2)) << c.part;
        EXPECT_EQ(part->getCorner(), cornerOfPosition(4 + c.dx, 6 + c.dy));
        imageContainer* pc = containerOf(part.get(), 4);
        const int lx = c.size.first - 1, ly = c.size.second - 1;
        EXPECT_EQ(pixelAt(pc, 0, 0, 0), patternPixel(c.origin.first, c.origin.second, 0)) << c.part;
        EXPECT_EQ(pixelAt(pc, lx, ly, 2), patternPixel(c.origin.first + lx, c.origin.second + ly, 2)) << c.part;
    }
    for (int bad : {0, 5, 7, 16, -1}) {
        vq_ptr<vq_zoom_tile_base> part;
        EXPECT_FALSE(t->extractPart(part, bad, 256)) << bad;
        EXPECT_EQ(part, nullptr);
    }
}

TEST(ZoomTile, ExtractPartYCbCrSplitsChromaAtChromaSize)
{
    auto t = makeYCbCrTile(0, 0, 1, 300, 256, 2); // chroma 150 x 256
    vq_ptr<vq_zoom_tile_base> part;
    ASSERT_TRUE(t->extractPart(part, 2, 256));
    EXPECT_EQ(part->getFormat(), 3);
    EXPECT_EQ(part->getSubsampling(), 2);
    EXPECT_EQ(part->getKey(), vq_tileKey(1, 0, 1));
    EXPECT_EQ(part->getPlaneSize(planeY), IntPair(44, 256));
    EXPECT_EQ(part->getPlaneSize(planeCb), IntPair(22, 256));
    EXPECT_EQ(part->getPlaneSize(planeCr), IntPair(22, 256));
    EXPECT_EQ(pixelAt(containerOf(part.get(), planeCr), 0, 5), patternPixel(128, 5, 2));
    EXPECT_EQ(pixelAt(containerOf(part.get(), planeY), 3, 5), patternPixel(259, 5, 0));
}

TEST(TileSplitter, PartsInOrder)
{
    const struct {
        IntPair size;
        std::vector<IntPair> sizes;
        std::vector<IntPair> offsets;
    } cases[] = {
        {IntPair(256, 256), {IntPair(256, 256)}, {IntPair(0, 0)}},
        {IntPair(512, 300),
         {IntPair(256, 256), IntPair(256, 256), IntPair(256, 44), IntPair(256, 44)},
         {IntPair(0, 0), IntPair(1, 0), IntPair(0, 1), IntPair(1, 1)}},
        {IntPair(400, 200), {IntPair(256, 200), IntPair(144, 200)}, {IntPair(0, 0), IntPair(1, 0)}},
        {IntPair(100, 257), {IntPair(100, 256), IntPair(100, 1)}, {IntPair(0, 0), IntPair(0, 1)}},
    };
    for (const auto& c : cases) {
        auto t = makeRgbTile(2, 4, 5, c.size.first, c.size.second);
        vq_tileSplitter splitter(t.get(), 256);
        EXPECT_TRUE(splitter.split());
        for (size_t i = 0; i < c.sizes.size(); ++i) {
            vq_ptr<vq_zoom_tile_base> part = splitter.next();
            ASSERT_NE(part, nullptr);
            EXPECT_NE(part.get(), t.get()); // always a copy
            EXPECT_EQ(part->getSize(), c.sizes[i]);
            EXPECT_EQ(part->getKey(), vq_tileKey(2 + c.offsets[i].first, 4 + c.offsets[i].second, 5));
        }
        EXPECT_EQ(splitter.next(), nullptr);
    }
}

TEST(TileSplitter, NullTileHoldsNoParts)
{
    testing::internal::CaptureStderr();
    vq_tileSplitter splitter(nullptr, 256);
    EXPECT_EQ(testing::internal::GetCapturedStderr(), "Bad tile passed to splitter\n");
    EXPECT_TRUE(splitter.split());
    EXPECT_EQ(splitter.next(), nullptr);
}

TEST(ZoomTile, CopyToIsDeepAndKeepsFlags)
{
    auto t = makeRgbTile(3, 1, 2, 20, 10, patternPixel, 15, 8);
    t->markEmpty();
    t->setSaved();
    t->setBorderedContainer(makeContainer(vq_fmtRGB24, 28, 18).get());
    vq_ptr<vq_zoom_tile_base> copy;
    t->copyTo(&copy);
    ASSERT_NE(copy, nullptr);
    EXPECT_EQ(copy->getKey(), t->getKey());
    EXPECT_EQ(copy->getCorner(), 4);
    EXPECT_TRUE(copy->isEmpty());
    EXPECT_FALSE(copy->isSaved());
    EXPECT_EQ(copy->getSize(), IntPair(15, 8));
    EXPECT_EQ(copy->getFullSize(), IntPair(20, 10));
    imageContainer* a = containerOf(t.get(), 4);
    imageContainer* b = containerOf(copy.get(), 4);
    ASSERT_NE(a, b);
    EXPECT_EQ(pixelAt(b, 14, 7, 1), patternPixel(14, 7, 1));
    vq_ptr<imageContainer> bordered;
    ASSERT_TRUE(copy->getBorderedContainer(bordered));
    vq_ptr<imageContainer> original;
    t->getBorderedContainer(original);
    EXPECT_NE(bordered.get(), original.get());
    EXPECT_EQ(copy->getBorrowedEdges(), 0);

    auto y = makeYCbCrTile(0, 0, 0, 8, 8, 1);
    vq_ptr<vq_zoom_tile_base> untouched;
    y->copyTo(&untouched);
    EXPECT_EQ(untouched, nullptr);
}

TEST(ZoomTile, BorrowNeighbourEdge)
{
    // The tile's pixels sit at (4, 4) inside a 4-pixel border.
    auto centre = makeRgbTile(1, 1, 0, 16, 16, [](int, int, int) { return 0; });
    auto fresh = [&] { centre->setBorderedContainer(makeContainer(vq_fmtRGB24, 24, 24, [](int, int, int) { return 0; }).get()); };
    fresh();
    auto left = makeRgbTile(0, 1, 0, 16, 16);
    auto below = makeRgbTile(1, 2, 0, 16, 16);
    auto diagonal = makeRgbTile(0, 0, 0, 16, 16);
    auto otherLevel = makeRgbTile(0, 1, 1, 16, 16);
    EXPECT_FALSE(centre->borrowNeighbourEdge(diagonal.get()));
    EXPECT_FALSE(centre->borrowNeighbourEdge(otherLevel.get()));
    EXPECT_FALSE(centre->borrowNeighbourEdge(centre.get()));
    EXPECT_FALSE(centre->borrowNeighbourEdge(nullptr));
    ASSERT_TRUE(centre->borrowNeighbourEdge(left.get()));
    EXPECT_FALSE(centre->borrowNeighbourEdge(left.get())); // same side twice
    ASSERT_TRUE(centre->borrowNeighbourEdge(below.get()));
    EXPECT_EQ(centre->getBorrowedEdges(), 1 | 8);
    vq_ptr<imageContainer> b;
    ASSERT_TRUE(centre->getBorderedContainer(b));
    // Left border: the neighbour's last four columns, from row 4 down.
    EXPECT_EQ(pixelAt(b.get(), 0, 4, 0), patternPixel(12, 0, 0));
    EXPECT_EQ(pixelAt(b.get(), 3, 19, 2), patternPixel(15, 15, 2));
    // Bottom border: the neighbour's first four rows, from column 4 across.
    EXPECT_EQ(pixelAt(b.get(), 4, 20, 1), patternPixel(0, 0, 1));
    EXPECT_EQ(pixelAt(b.get(), 19, 23, 0), patternPixel(15, 3, 0));
    EXPECT_EQ(pixelAt(b.get(), 10, 10, 0), 0); // body untouched
    fresh();
    EXPECT_EQ(centre->getBorrowedEdges(), 0);
    EXPECT_TRUE(centre->borrowNeighbourEdge(left.get()));
    auto noBorder = makeRgbTile(1, 1, 0, 16, 16);
    EXPECT_FALSE(noBorder->borrowNeighbourEdge(left.get()));
}

TEST(ZoomTile, CopyDataToYCbCrPlanes)
{
    auto t = makeYCbCrTile(0, 0, 0, 6, 4, 4);
    uint8_t out[6 * 4] = {};
    ASSERT_TRUE(t->copyDataTo(out, 3, planeCb));
    EXPECT_EQ(out[1 * 3 + 2], patternPixel(2, 1, 1));
    testing::internal::CaptureStderr();
    EXPECT_FALSE(t->copyDataTo(out, 3, 4));
    EXPECT_EQ(testing::internal::GetCapturedStderr(), "container is NULL\n");
}

} // namespace
