#include <gtest/gtest.h>

#include <thread>
#include <vector>

#include "engine/tilepath/tile_cursor.h"

namespace {

std::vector<IntPair> walk(IntPair grid)
{
    vq_tileCursor cursor;
    cursor.reset(grid, 0);
    std::vector<IntPair> order;
    IntPair p;
    while (!cursor.nextLocked(&p))
        order.push_back(p);
    return order;
}

// 8 x 8 blocks in the order the walk first enters them.
std::vector<IntPair> blockOrder(IntPair grid)
{
    std::vector<IntPair> blocks;
    for (const IntPair& p : walk(grid)) {
        const IntPair b(p.first / 8, p.second / 8);
        if (blocks.empty() || blocks.back() != b)
            blocks.push_back(b);
    }
    return blocks;
}

std::vector<IntPair> pairs(std::initializer_list<std::pair<int, int>> list)
{
    std::vector<IntPair> out;
    for (const auto& p : list)
        out.emplace_back(p.first, p.second);
    return out;
}

TEST(TileCursor, HandsOutPositionsInGroupOrder)
{
    EXPECT_EQ(walk(IntPair(1, 1)), pairs({{0, 0}}));
    EXPECT_EQ(walk(IntPair(3, 2)), pairs({{0, 0}, {1, 0}, {1, 1}, {0, 1}, {2, 0}, {2, 1}}));
    EXPECT_EQ(walk(IntPair(4, 4)), pairs({{0, 0}, {1, 0}, {1, 1}, {0, 1}, {2, 0}, {3, 0}, {3, 1}, {2, 1},
                                          {2, 2}, {3, 2}, {3, 3}, {2, 3}, {0, 2}, {1, 2}, {1, 3}, {0, 3}}));
}

TEST(TileCursor, VisitsBlocksInShells)
{
    EXPECT_EQ(blockOrder(IntPair(9, 9)), pairs({{0, 0}, {1, 0}, {1, 1}, {0, 1}}));
    // Wide grids finish column by column, tall ones row by row from the right.
    EXPECT_EQ(blockOrder(IntPair(40, 9)),
              pairs({{0, 0}, {1, 0}, {1, 1}, {0, 1}, {2, 0}, {2, 1}, {3, 0}, {3, 1}, {4, 0}, {4, 1}}));
    EXPECT_EQ(blockOrder(IntPair(9, 40)),
              pairs({{0, 0}, {1, 0}, {1, 1}, {0, 1}, {1, 2}, {0, 2}, {1, 3}, {0, 3}, {1, 4}, {0, 4}}));
}

TEST(TileCursor, OneBlockWideGridsKeepTheirLastRow)
{
    // A grid one block wide and exactly 9 rows high once lost its last row.
    const struct {
        IntPair grid;
        size_t count;
    } cases[] = {{{8, 9}, 72}, {{1, 9}, 9}, {{5, 9}, 45}, {{8, 17}, 136}, {{3, 8}, 24}};
    for (const auto& c : cases) {
        const std::vector<IntPair> order = walk(c.grid);
        EXPECT_EQ(order.size(), c.count) << c.grid.first << "x" << c.grid.second;
        EXPECT_EQ(order.back().second, c.grid.second - 1) << c.grid.first << "x" << c.grid.second;
    }
}

TEST(TileCursor, GroupsAreDrawnWhole)
{
    vq_tileCursor cursor;
    IntPair tl, tr, bl, br;
    cursor.reset(IntPair(1, 1), 0);
    EXPECT_EQ(cursor.nextWithCorner(&tl, &tr, &bl, &br), 1);
    EXPECT_EQ(tl, IntPair(0, 0));
    EXPECT_EQ(tr, IntPair(-1, -1));
    EXPECT_EQ(bl, IntPair(-1, -1));
    EXPECT_EQ(br, IntPair(-1, -1));
    EXPECT_EQ(cursor.nextWithCorner(&tl, &tr, &bl, &br), 0);

    cursor.reset(IntPair(3, 2), 4);
    EXPECT_EQ(cursor.getLevel(), 4);
    EXPECT_EQ(cursor.nextWithCorner(&tl, &tr, &bl, &br), 15);
    EXPECT_EQ(tl, IntPair(0, 0));
    EXPECT_EQ(tr, IntPair(1, 0));
    EXPECT_EQ(bl, IntPair(0, 1));
    EXPECT_EQ(br, IntPair(1, 1));
    EXPECT_EQ(cursor.nextWithCorner(&tl, &tr, &bl, &br), 9);
    EXPECT_EQ(tl, IntPair(2, 0));
    EXPECT_EQ(bl, IntPair(2, 1));
    EXPECT_EQ(tr, IntPair(-1, -1));
    EXPECT_EQ(br, IntPair(-1, -1));
    EXPECT_EQ(cursor.nextWithCorner(&tl, &tr, &bl, &br), 0);
}

TEST(TileCursor, EndsWhenNeverResetOrFinished)
{
    vq_tileCursor cursor;
    IntPair p(7, 7);
    EXPECT_TRUE(cursor.nextLocked(&p));
    EXPECT_EQ(p, IntPair(7, 7));

    cursor.reset(IntPair(50, 50), 0);
    EXPECT_FALSE(cursor.nextLocked(&p));
    std::thread([&] { cursor.finish(); }).join();
    EXPECT_TRUE(cursor.isDone());
    EXPECT_TRUE(cursor.nextLocked(&p));
    IntPair tl, tr, bl, br;
    EXPECT_EQ(cursor.nextWithCorner(&tl, &tr, &bl, &br), 0);
}

// Every grid up to 257 x 257: each position exactly once, and the members of
// every 2 x 2 group one after the other, top-left first.
class TileCursorAllGrids : public ::testing::TestWithParam<int> {};

TEST_P(TileCursorAllGrids, VisitEveryPositionOnceGroupByGroup)
{
    constexpr int kMax = 257, kBands = 8;
    const int band = GetParam();
    vq_tileCursor cursor;
    std::vector<uint8_t> seen, groupSeen;
    for (int w = 1 + band; w <= kMax; w += kBands) {
        for (int h = 1; h <= kMax; ++h) {
            cursor.reset(IntPair(w, h), 0);
            seen.assign(static_cast<size_t>(w * h), 0);
            groupSeen.assign(static_cast<size_t>(((w + 1) / 2) * ((h + 1) / 2)), 0);
            int count = 0, groupX = -1, groupY = -1;
            IntPair p;
            while (!cursor.nextLocked(&p)) {
                ASSERT_TRUE(p.first >= 0 && p.first < w && p.second >= 0 && p.second < h)
                    << w << "x" << h << " gave " << p.first << "," << p.second;
                uint8_t& s = seen[static_cast<size_t>(p.second * w + p.first)];
                ASSERT_EQ(s, 0) << w << "x" << h << " twice " << p.first << "," << p.second;
                s = 1;
                ++count;
                const int gx = p.first / 2, gy = p.second / 2;
                if (gx != groupX || gy != groupY) {
                    uint8_t& g = groupSeen[static_cast<size_t>(gy * ((w + 1) / 2) + gx)];
                    ASSERT_EQ(g, 0) << w << "x" << h << " group " << gx << "," << gy << " split";
                    ASSERT_TRUE(p.first % 2 == 0 && p.second % 2 == 0) << w << "x" << h << " group not top-left first";
                    g = 1;
                    groupX = gx;
                    groupY = gy;
                }
            }
            ASSERT_EQ(count, w * h) << w << "x" << h;
        }
    }
}

INSTANTIATE_TEST_SUITE_P(WidthBands, TileCursorAllGrids, ::testing::Range(0, 8));

} // namespace
