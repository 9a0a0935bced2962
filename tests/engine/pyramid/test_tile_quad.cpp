// 2 x 2 quads collecting their members.
#include <gtest/gtest.h>

#include <algorithm>

#include "engine/pyramid/tile_quad.h"
#include "tests/engine/pyramid/tile_fixtures.h"

using namespace pyramidtest;

namespace {

TEST(TileQuad, MembersInAnyOrderComplete)
{
    const IntPair positions[4] = {IntPair(4, 6), IntPair(5, 6), IntPair(4, 7), IntPair(5, 7)};
    int order[4] = {0, 1, 2, 3};
    do {
        vq_tileQuad quad;
        for (int i : order) {
            auto t = makeRgbTile(positions[i].first, positions[i].second, 3, 8, 8);
            ASSERT_TRUE(quad.acceptsTile(t.get()));
            ASSERT_TRUE(quad.addTile(t.get(), nullptr));
        }
        EXPECT_TRUE(quad.isComplete());
        EXPECT_EQ(quad.getOrigin(), IntPair(4, 6));
        EXPECT_EQ(quad.topLeft()->getKey(), vq_tileKey(4, 6, 3));
        EXPECT_EQ(quad.topRight()->getKey(), vq_tileKey(5, 6, 3));
        EXPECT_EQ(quad.bottomLeft()->getKey(), vq_tileKey(4, 7, 3));
        EXPECT_EQ(quad.bottomRight()->getKey(), vq_tileKey(5, 7, 3));
        EXPECT_EQ(quad.tileCount(), 4);
    } while (std::next_permutation(order, order + 4));
}

TEST(TileQuad, DuplicateIsRefused)
{
    vq_tileQuad quad;
    auto t = makeRgbTile(2, 2, 0, 8, 8);
    ASSERT_TRUE(quad.addTile(t.get(), nullptr));
    EXPECT_FALSE(quad.acceptsTile(t.get()));
    testing::internal::CaptureStderr();
    EXPECT_FALSE(quad.addTile(t.get(), nullptr));
    EXPECT_EQ(testing::internal::GetCapturedStderr(), "addTile will overwrite\n");
    EXPECT_EQ(quad.getPresent(), 1);
    testing::internal::CaptureStderr();
    EXPECT_FALSE(quad.addTile(nullptr, nullptr));
    EXPECT_EQ(testing::internal::GetCapturedStderr(), "Empty tile\n");
}

TEST(TileQuad, FirstMemberFixesRange)
{
    vq_tileQuad quad;
    auto first = makeRgbTile(5, 7, 0, 8, 8); // bottom-right
    ASSERT_TRUE(quad.addTile(first.get(), nullptr));
    EXPECT_EQ(quad.getOrigin(), IntPair(4, 6));
    EXPECT_TRUE(quad.acceptsTile(makeRgbTile(4, 6, 0, 8, 8).get()));
    EXPECT_TRUE(quad.acceptsTile(makeRgbTile(5, 6, 0, 8, 8).get()));
    EXPECT_FALSE(quad.acceptsTile(makeRgbTile(6, 6, 0, 8, 8).get()));
    EXPECT_FALSE(quad.acceptsTile(makeRgbTile(4, 8, 0, 8, 8).get()));
    EXPECT_FALSE(quad.acceptsTile(makeRgbTile(7, 7, 0, 8, 8).get())); // corner taken
    // The level of the key is not compared.
    EXPECT_TRUE(quad.acceptsTile(makeRgbTile(4, 7, 9, 8, 8).get()));
}

TEST(TileQuad, EdgeQuadsCompleteWithExpectedMembers)
{
    const struct {
        int expected;
        std::vector<IntPair> members;
    } cases[] = {
        {1, {IntPair(6, 6)}},
        {9, {IntPair(6, 7), IntPair(6, 6)}},
        {3, {IntPair(7, 6), IntPair(6, 6)}},
    };
    for (const auto& c : cases) {
        vq_tileQuad quad;
        quad.setExpected(c.expected);
        for (size_t i = 0; i < c.members.size(); ++i) {
            EXPECT_FALSE(quad.isComplete());
            ASSERT_TRUE(quad.addTile(makeRgbTile(c.members[i].first, c.members[i].second, 1, 8, 8).get(), nullptr));
        }
        EXPECT_TRUE(quad.isComplete()) << c.expected;
    }
}

TEST(TileQuad, MergedSizes)
{
    vq_tileQuad quad;
    auto tl = makeRgbTile(0, 0, 0, 256, 256, patternPixel, 256, 100);
    quad.addTile(tl.get(), nullptr);
    EXPECT_EQ(quad.getMergedSize(4), IntPair(256, 100));
    EXPECT_EQ(quad.getMergedFullSize(4), IntPair(512, 512));
    // A right-edge quad: TL and BL cropped to 100 wide.
    vq_tileQuad edge;
    edge.addTile(makeRgbTile(2, 0, 0, 256, 256, patternPixel, 100, 256).get(), nullptr);
    edge.addTile(makeRgbTile(2, 1, 0, 256, 256, patternPixel, 100, 40).get(), nullptr);
    EXPECT_EQ(edge.getMergedSize(4), IntPair(100, 296));
    EXPECT_EQ(edge.getMergedFullSize(4), IntPair(512, 512));
    // A bottom-edge quad takes the missing height from the top-right member.
    vq_tileQuad bottom;
    bottom.addTile(makeRgbTile(0, 2, 0, 256, 256, patternPixel, 256, 30).get(), nullptr);
    bottom.addTile(makeRgbTile(1, 2, 0, 200, 128, patternPixel, 200, 30).get(), nullptr);
    EXPECT_EQ(bottom.getMergedSize(4), IntPair(456, 30));
    EXPECT_EQ(bottom.getMergedFullSize(4), IntPair(456, 256 + 128));
}

TEST(TileQuad, ClearKeepsMaskAndRangeAndDropsRawTiles)
{
    vq_tileQuad quad;
    quad.setExpected(9);
    auto raw = vq_ptr<vq_raw_tile>::adopt(vq_raw_tile::create());
    auto t = makeRgbTile(2, 2, 0, 8, 8);
    ASSERT_TRUE(quad.addTile(t.get(), raw.get()));
    EXPECT_EQ(quad.tileCount(), 2);
    EXPECT_EQ(raw->refCount(), 2);
    quad.clear();
    EXPECT_EQ(raw->refCount(), 1);
    EXPECT_EQ(quad.tileCount(), 0);
    EXPECT_EQ(quad.getPresent(), 0);
    EXPECT_EQ(quad.getExpected(), 9);
    EXPECT_EQ(quad.getOrigin(), IntPair(2, 2));
    EXPECT_TRUE(quad.acceptsTile(makeRgbTile(40, 40, 0, 8, 8).get()));
}

TEST(TileQuad, CopiesShareMembers)
{
    auto t = makeRgbTile(1, 0, 0, 8, 8);
    {
        vq_tileQuad quad;
        quad.addTile(t.get(), nullptr);
        vq_tileQuad copy(quad);
        EXPECT_EQ(copy.topRight(), t.get());
        EXPECT_EQ(t->refCount(), 3);
    }
    EXPECT_EQ(t->refCount(), 1);
}

TEST(TileQuad, RawMembersByPosition)
{
    vq_tileQuad quad;
    auto a = vq_ptr<vq_raw_tile>::adopt(vq_raw_tile::create());
    auto b = vq_ptr<vq_raw_tile>::adopt(vq_raw_tile::create());
    EXPECT_TRUE(quad.acceptsRawTile(IntPair(3, 3), a.get()));
    ASSERT_TRUE(quad.addRawTile(IntPair(3, 3), a.get()));
    EXPECT_EQ(quad.rawAt(cornerBottomRight), a.get());
    EXPECT_TRUE(quad.acceptsRawTile(IntPair(2, 2), b.get()));
    EXPECT_FALSE(quad.acceptsRawTile(IntPair(4, 2), b.get()));
    testing::internal::CaptureStderr();
    EXPECT_FALSE(quad.addRawTile(IntPair(3, 3), b.get()));
    EXPECT_EQ(testing::internal::GetCapturedStderr(), "addTile will overwrite\n");
    vq_ptr<vq_zoom_tile_base> none;
    EXPECT_FALSE(quad.getTileAt(IntPair(3, 3), none));
}

} // namespace
