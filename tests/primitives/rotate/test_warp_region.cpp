// Quadrilateral, convexity, clipping, row spans and edge smoothing against
// hand-made fixtures.
#include <gtest/gtest.h>

#include <cstring>
#include <random>
#include <vector>

#include "primitives/core/memory.h"
#include "primitives/rotate/warp_region.h"
#include "rotate_fixture.h"

namespace {

using namespace rotatetest;

struct Spans {
    int32_t ok = 0, first = 0, last = -1;
    std::vector<RowSpan> list;
};

Spans spansOf(std::vector<WarpPoint> quad, int32_t l, int32_t t, int32_t r, int32_t b, int32_t orientation)
{
    Spans s;
    RowSpan* list = nullptr;
    s.ok = buildRowSpans(quad.data(), l, t, r, b, orientation, &list, &s.first, &s.last);
    if (s.ok == 1)
        s.list.assign(list, list + (s.last - s.first + 1));
    freeVector(list);
    return s;
}

TEST(WarpRegion, ConvexityAndOrientation)
{
    const struct {
        std::vector<WarpPoint> quad;
        int32_t want;
    } cases[] = {
        {{{0, 0}, {4, 0}, {4, 3}, {0, 3}}, 1},         // clockwise on screen (y down)
        {{{0, 0}, {0, 3}, {4, 3}, {4, 0}}, 0},         // the other way round
        {{{0, 0}, {4, 0}, {1, 1}, {0, 3}}, -4},        // a reflex corner at P2
        {{{0, 0}, {2, 0}, {4, 0}, {0, 3}}, -5},        // P0, P1, P2 collinear
        {{{0, 0}, {4, 0}, {4, 0}, {0, 3}}, -5},        // a repeated corner
    };
    for (const auto& k : cases)
        EXPECT_EQ(checkConvexQuad(k.quad.data()), k.want);
}

TEST(WarpRegion, ClipsToTheRectangle)
{
    // A diamond around (5, 5) reaching 4 out, clipped to columns 3..10 and
    // rows 0..6: the left point and the bottom point are cut off.
    WarpPoint poly[kWarpPolygonCapacity] = {{5, 1}, {9, 5}, {5, 9}, {1, 5}};
    WarpPoint scratch[kWarpPolygonCapacity];
    int32_t n = 4;
    clipPolygonToRect(poly, scratch, &n, 3, 0, 10, 6);
    const std::vector<WarpPoint> want = {{8, 6}, {3, 6}, {3, 3}, {5, 1}, {9, 5}};
    ASSERT_EQ(n, int32_t(want.size()));
    for (int k = 0; k < n; ++k) {
        EXPECT_DOUBLE_EQ(poly[k].x, want[k].x) << k;
        EXPECT_DOUBLE_EQ(poly[k].y, want[k].y) << k;
    }
    // Entirely outside: nothing left; entirely inside: unchanged.
    WarpPoint far[kWarpPolygonCapacity] = {{20, 1}, {24, 1}, {24, 3}, {20, 3}};
    n = 4;
    clipPolygonToRect(far, scratch, &n, 0, 0, 10, 10);
    EXPECT_EQ(n, 0);
    WarpPoint in[kWarpPolygonCapacity] = {{2, 2}, {4, 2}, {4, 3}, {2, 3}};
    n = 4;
    clipPolygonToRect(in, scratch, &n, 0, 0, 10, 10);
    EXPECT_EQ(n, 4);
    EXPECT_EQ(in[2].x, 4.0);
}

TEST(WarpRegion, RowSpansOfFixtures)
{
    // The identity image of columns 2..9, rows 3..7.
    Spans s = spansOf({{2, 3}, {9, 3}, {9, 7}, {2, 7}}, 0, 0, 99, 99, 1);
    ASSERT_EQ(s.ok, 1);
    EXPECT_EQ(s.first, 3);
    EXPECT_EQ(s.last, 7);
    for (const RowSpan& r : s.list) {
        EXPECT_EQ(r.first, 2);
        EXPECT_EQ(r.last, 9);
    }
    // The same rectangle listed the other way round gives the same spans.
    s = spansOf({{2, 3}, {2, 7}, {9, 7}, {9, 3}}, 0, 0, 99, 99, 0);
    ASSERT_EQ(s.ok, 1);
    EXPECT_EQ(s.list.front().first, 2);
    EXPECT_EQ(s.list.back().last, 9);
    // Left of the rectangle, and no whole column between 4.2 and 4.8.
    EXPECT_EQ(spansOf({{-9, 1}, {-5, 1}, {-5, 4}, {-9, 4}}, 0, 0, 20, 20, 1).ok, 0);
    EXPECT_EQ(spansOf({{4.2, 1}, {4.8, 1}, {4.8, 6}, {4.2, 6}}, 0, 0, 20, 20, 1).ok, 0);
    // A rectangle one row high flattens the polygon onto row 5.
    s = spansOf({{1.5, 0.5}, {8.5, 2.5}, {6.5, 9.5}, {-0.5, 7.5}}, 0, 5, 20, 5, 1);
    ASSERT_EQ(s.ok, 1);
    EXPECT_EQ(s.first, 5);
    EXPECT_EQ(s.last, 5);
    // The row-5 crossing of the quadrilateral runs from x = 0.214... to 7.786...
    EXPECT_EQ(s.list[0].first, 1);
    EXPECT_EQ(s.list[0].last, 7);
    // A square turned 45 degrees about (10, 10), corners 5 away: each row y
    // covers |x - 10| <= 5 - |y - 10|.
    s = spansOf({{10, 5}, {15, 10}, {10, 15}, {5, 10}}, 0, 0, 30, 30, 1);
    ASSERT_EQ(s.ok, 1);
    ASSERT_EQ(s.first, 5);
    for (int y = 5; y <= 15; ++y) {
        const int half = 5 - std::abs(y - 10);
        EXPECT_EQ(s.list[y - 5].first, 10 - half) << y;
        EXPECT_EQ(s.list[y - 5].last, 10 + half) << y;
    }
    // An edge that misses a column by less than 1e-14 still covers it.
    s = spansOf({{3.000000000000001, 0}, {4.999999999999995, 0}, {4.999999999999995, 2}, {3.000000000000001, 2}}, 0,
                0, 20, 20, 1);
    ASSERT_EQ(s.ok, 1);
    EXPECT_EQ(s.list[1].first, 3);
    EXPECT_EQ(s.list[1].last, 5);
}

// 8u C1 image of 12 x 12 whose rows 0..2 hold 100 and the rest 200.
struct SmoothCase {
    KindImage img{0, 12, 12};
    SmoothCase()
    {
        for (int y = 0; y < 12; ++y)
            for (int x = 0; x < 12; ++x)
                img.set(x, y, 0, y <= 2 ? 100 : 200);
    }
    std::vector<int> row(int y) const
    {
        std::vector<int> r;
        for (int x = 0; x < 12; ++x)
            r.push_back(int(img.get(x, y, 0)));
        return r;
    }
};

TEST(WarpSmoothing, BlendsAcrossTheSlantedTopEdge)
{
    SmoothCase k;
    const WarpPoint quad[4] = {{0, 2}, {8, 4}, {8, 10}, {0, 10}};
    smoothWarpEdges(k.img.arg(), k.img.step(), 0, quad, 0, 0, 11, 11, 1);
    EXPECT_EQ(k.row(2), (std::vector<int>{100, 175, 150, 125, 100, 100, 100, 100, 100, 100, 100, 100}));
    for (int y = 0; y < 12; ++y)
        if (y != 2) {
            EXPECT_EQ(k.row(y), SmoothCase().row(y)) << y;
        }

    SmoothCase moved;
    const WarpPoint shifted[4] = {{0.7, 2}, {8.7, 4}, {8.7, 10}, {0.7, 10}};
    smoothWarpEdges(moved.img.arg(), moved.img.step(), 0, shifted, 0, 0, 11, 11, 1);
    EXPECT_EQ(moved.row(2), (std::vector<int>{100, 193, 168, 143, 117, 100, 100, 100, 100, 100, 100, 100}));
}

TEST(WarpSmoothing, AxisParallelAndDegenerateChangeNothing)
{
    for (const auto& quad : std::vector<std::vector<WarpPoint>>{
             {{1, 1}, {9, 1}, {9, 9}, {1, 9}},    // edges along the axes
             {{-5, 11}, {20, 11}, {20, 30}, {-5, 30}}, // touches the rectangle along one line
         }) {
        SmoothCase k;
        smoothWarpEdges(k.img.arg(), k.img.step(), 0, quad.data(), 0, 0, 11, 11, 1);
        for (int y = 0; y < 12; ++y)
            EXPECT_EQ(k.row(y), SmoothCase().row(y));
    }
}

TEST(WarpSmoothing, BlendRoundsHalfUpAndCoversEveryChannel)
{
    KindImage img(2, 2, 1); // 8u AC4: the fourth sample is blended too
    for (int c = 0; c < 4; ++c) {
        img.set(0, 0, c, 200);
        img.set(1, 0, c, 100);
    }
    blendEdgePixel(img.arg(), img.step(), 2, 0, 0, 1, 0, 0.25, 0.75);
    for (int c = 0; c < 4; ++c)
        EXPECT_EQ(img.get(0, 0, c), 125.0);
    KindImage w(16, 2, 1);
    w.set(0, 0, 0, 65535);
    w.set(1, 0, 0, 65535);
    blendEdgePixel(w.arg(), w.step(), 16, 0, 0, 1, 0, 0.3, 0.7);
    EXPECT_EQ(w.get(0, 0, 0), 65535.0);
}

// An edge that ends on the region's last row at a whole column: the row of
// the crossing there comes out as 13.000000000000002, one ulp past the last
// row, so the pixel pair straddles the region's edge and must be left alone.
// The region is the whole image, so row 14 lies in the guard bytes.
TEST(WarpSmoothing, StaysInsideTheImageAtTheLastRow)
{
    for (bool interiorAbove : {false, true}) {
        KindImage img(0, 20, 14);
        std::mt19937 rng(17);
        img.fillRandom(rng);
        KindImage before(0, 20, 14);
        before.copyFrom(img);
        const WarpPoint a{0.01087486158301676, 3.281144718766134}, b{19, 13};
        WarpPoint quad[4];
        if (interiorAbove) {
            quad[0] = a, quad[1] = b, quad[2] = {19, 4}, quad[3] = {10, 2};
        } else {
            quad[0] = a, quad[1] = b, quad[2] = {0.5, 13}, quad[3] = {0.2, 8};
        }
        const int32_t orientation = checkConvexQuad(quad);
        ASSERT_GE(orientation, 0);
        smoothWarpEdges(img.arg(), img.step(), 0, quad, 0, 0, 19, 13, orientation);
        EXPECT_TRUE(img.guardsIntact());
        // The last column of the last row is not blended with a row that
        // does not exist.
        EXPECT_EQ(img.get(19, 13, 0), before.get(19, 13, 0));
    }
}

} // namespace
