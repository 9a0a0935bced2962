// Raw tiles, tile keys and corner codes.
#include <gtest/gtest.h>

#include <cstring>

#include "engine/base/raw_tile.h"
#include "engine/base/tile_key.h"

namespace {

vq_ptr<vq_raw_tile> newRawTile()
{
    return vq_ptr<vq_raw_tile>::adopt(vq_raw_tile::create());
}

TEST(RawTile, NewTileIsEmpty)
{
    vq_ptr<vq_raw_tile> t = newRawTile();
    EXPECT_EQ(t->refCount(), 1);
    EXPECT_FALSE(t->hasData());
    EXPECT_EQ(t->getDataLength(), 0);
    EXPECT_EQ(t->getSize(), IntPair(0, 0));
    EXPECT_EQ(t->getCompression(), 0);
}

TEST(RawTile, HasDataNeedsBytesLengthAndCompression)
{
    vq_ptr<vq_raw_tile> t = newRawTile();
    ASSERT_TRUE(t->allocate(100, IntPair(256, 256)));
    EXPECT_FALSE(t->hasData()); // no compression yet
    t->setCompression(7);
    EXPECT_TRUE(t->hasData());
    EXPECT_EQ(t->getSize(), IntPair(256, 256));
    t->setDataLength(0);
    EXPECT_FALSE(t->hasData());
}

TEST(RawTile, AllocateReplacesBufferAndSize)
{
    vq_ptr<vq_raw_tile> t = newRawTile();
    ASSERT_TRUE(t->allocate(10, IntPair(1, 1)));
    std::memset(t->getData(), 0xAB, 10);
    ASSERT_TRUE(t->allocate(4000, IntPair(64, 32)));
    EXPECT_EQ(t->getDataLength(), 4000);
    EXPECT_EQ(t->getSize(), IntPair(64, 32));
    std::memset(t->getData(), 1, 4000); // the whole new buffer is writable
}

TEST(RawTile, CloneIsEqualAndIndependent)
{
    vq_ptr<vq_raw_tile> t = newRawTile();
    ASSERT_TRUE(t->allocate(1000, IntPair(240, 256)));
    for (int i = 0; i < 1000; ++i)
        t->getData()[i] = static_cast<uint8_t>(i * 7);
    t->setCompression(33003);
    vq_ptr<vq_raw_tile> c;
    ASSERT_TRUE(t->clone(c));
    ASSERT_NE(c.get(), t.get());
    EXPECT_EQ(c->refCount(), 1);
    EXPECT_EQ(c->getDataLength(), 1000);
    EXPECT_EQ(c->getSize(), IntPair(240, 256));
    EXPECT_EQ(c->getCompression(), 33003);
    EXPECT_EQ(std::memcmp(c->getData(), t->getData(), 1000), 0);
    c->getData()[5] ^= 0xFF;
    EXPECT_EQ(t->getData()[5], static_cast<uint8_t>(35));
}

TEST(RawTile, OutParameterFactory)
{
    vq_ptr<vq_raw_tile> t;
    ASSERT_TRUE(createRawTile(t.put()));
    ASSERT_NE(t, nullptr);
    EXPECT_EQ(t->refCount(), 1);
}

TEST(TileKey, EqualityAndOrder)
{
    EXPECT_EQ(vq_tileKey(1, 2, 3), vq_tileKey(1, 2, 3));
    EXPECT_NE(vq_tileKey(1, 2, 3), vq_tileKey(1, 2, 4));
    EXPECT_NE(vq_tileKey(0, 2, 3), vq_tileKey(1, 2, 3));
    // Level first, then row, then column.
    EXPECT_TRUE(vq_tileKey(5, 0, 1) < vq_tileKey(0, 0, 2));
    EXPECT_FALSE(vq_tileKey(0, 0, 2) < vq_tileKey(5, 0, 1));
    EXPECT_TRUE(vq_tileKey(9, 0, 2) < vq_tileKey(3, 1, 2));
    EXPECT_FALSE(vq_tileKey(3, 1, 2) < vq_tileKey(9, 0, 2));
    EXPECT_TRUE(vq_tileKey(-1, 0, 0) < vq_tileKey(0, 0, 0));
    EXPECT_FALSE(vq_tileKey(1, 1, 1) < vq_tileKey(1, 1, 1));
}

TEST(TileKey, CornerCodesFromParities)
{
    struct Case {
        int x, y, corner;
    } cases[] = {{0, 0, 1}, {1, 0, 2}, {1, 1, 4}, {0, 1, 8}, {6, 4, 1}, {-1, 0, 2}, {-1, 3, 4}, {-2, -1, 8}};
    for (const Case& c : cases)
        EXPECT_EQ(cornerOfPosition(c.x, c.y), c.corner) << c.x << "," << c.y;
}

TEST(TileKey, ChromaPlaneSize)
{
    EXPECT_EQ(chromaPlaneSize(IntPair(255, 101), 1), IntPair(255, 101));
    EXPECT_EQ(chromaPlaneSize(IntPair(255, 101), 2), IntPair(128, 101));
    EXPECT_EQ(chromaPlaneSize(IntPair(255, 101), 3), IntPair(255, 51));
    EXPECT_EQ(chromaPlaneSize(IntPair(255, 101), 4), IntPair(128, 51));
    EXPECT_EQ(chromaPlaneSize(IntPair(255, 101), 5), IntPair(255, 101));
}

} // namespace
