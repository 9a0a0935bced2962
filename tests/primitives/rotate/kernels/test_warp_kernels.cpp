// Row kernels on hand-made positions, against values worked out by hand from
// the sampling rules: rounding of nearest positions, the fixed-point and
// single-precision bilinear forms, the Lagrange cubic and its weight table.
#include <gtest/gtest.h>

#include <vector>

#include "primitives/rotate/kernels/warp_rows.h"
#include "../rotate_fixture.h"

namespace {

using namespace rotatetest;

enum Column { kNearest = 0, kLinear = 1, kCubic = 2 };

// Runs one row kernel of `path` over rows [first, last] of `dst` with the
// given inverse mapping and spans; returns nothing, the image tells.
void runKernel(int path, uint32_t code, Column column, KindImage& src, KindImage& dst, const WarpCoefficients& inv,
               std::vector<RowSpan> spans, int32_t first, int32_t last)
{
    std::vector<float> work(2 * size_t(dst.width()) + 2);
    void* planes[4];
    std::memcpy(planes, dst.planeArray(), sizeof(planes));
    void* rowDst;
    if (planar(code)) {
        for (int p = 0; p < planeCount(code); ++p)
            planes[p] = static_cast<uint8_t*>(planes[p]) + first * dst.step();
        rowDst = planes;
    } else {
        rowDst = static_cast<uint8_t*>(dst.arg()) + first * dst.step();
    }
    const int entry = int(((code >> 3) * 6 + (code & 7)) * 3 + column);
    warpRowKernelTables[path][entry](src.arg(), rowDst, src.step(), dst.step(), first, last, spans.data(), &inv,
                                     src.width() - 1, src.height() - 1, path == 0 ? nullptr : work.data());
}

// A source whose every row holds `row` (one channel: sample c of pixel x is
// row[x], all channels alike).
void fillRows(KindImage& img, const std::vector<double>& row)
{
    for (int y = 0; y < img.height(); ++y)
        for (int x = 0; x < img.width(); ++x)
            for (int c = 0; c < img.storedPerPixel(); ++c)
                img.set(x, y, c, row[size_t(x)]);
}

// The value written at destination (0, 0) for a position (x, y) in a
// `code` source whose rows all hold `row`.
double sampleAt(int path, uint32_t code, Column column, const std::vector<double>& row, int height, double x,
                double y, int channel = 0)
{
    KindImage src(code, int(row.size()), height), dst(code, 1, 1);
    fillRows(src, row);
    runKernel(path, code, column, src, dst, WarpCoefficients{1, 0, x, 0, 1, y}, {{0, 0}}, 0, 0);
    return dst.get(0, 0, channel);
}

TEST(WarpKernels, NearestRoundsHalfUp)
{
    for (int path : vqtest::allPaths())
        for (uint32_t code : {0u, 12u, 19u}) {
            const std::vector<double> row = {10, 20, 30, 40, 50};
            EXPECT_EQ(sampleAt(path, code, kNearest, row, 2, 2.5, 0), 40) << path;
            EXPECT_EQ(sampleAt(path, code, kNearest, row, 2, 2.4999999, 0), 30) << path;
        }
}

TEST(WarpKernels, LinearRoundingByPath)
{
    const std::vector<double> hundred = {100, 101, 7}, tenEleven = {10, 11, 7};
    for (int path : vqtest::allPaths()) {
        // 8u: halfway between 100 and 101 rounds up on every path.
        EXPECT_EQ(sampleAt(path, 0, kLinear, hundred, 2, 0.5, 0), 101);
        EXPECT_EQ(sampleAt(path, 1, kLinear, tenEleven, 2, 0.5, 0), 11);
        // 16u: the generic path truncates, the SIMD paths round to even.
        EXPECT_EQ(sampleAt(path, 16, kLinear, tenEleven, 2, 0.5, 0), path == 0 ? 10 : 10);
        EXPECT_EQ(sampleAt(path, 17, kLinear, hundred, 2, 0.5, 0), 100);
        EXPECT_EQ(sampleAt(path, 17, kLinear, {101, 102, 7}, 2, 0.5, 0), path == 0 ? 101 : 102);
        // At the last column exactly: the last sample.
        EXPECT_EQ(sampleAt(path, 0, kLinear, {3, 9, 200}, 2, 2.0, 0), 200);
        EXPECT_EQ(sampleAt(path, 16, kLinear, {3, 9, 60000}, 2, 2.0, 1.0), 60000);
    }
    for (int path : vqtest::supportedPaths()) {
        // 8u fixed point: four neighbours 0, 1 / 0, 1 at their centre give 1.
        KindImage src(0, 2, 2), dst(0, 1, 1);
        src.set(0, 0, 0, 0);
        src.set(1, 0, 0, 1);
        src.set(0, 1, 0, 0);
        src.set(1, 1, 0, 1);
        runKernel(path, 0, kLinear, src, dst, WarpCoefficients{1, 0, 0.5, 0, 1, 0.5}, {{0, 0}}, 0, 0);
        EXPECT_EQ(dst.get(0, 0, 0), 1);
    }
}

TEST(WarpKernels, CubicOnTheLagrangePolynomial)
{
    // Rows of 4 samples, position 1.5 across (fraction 0.5 between columns
    // 1 and 2), on a whole row.
    const struct {
        uint32_t code;
        std::vector<double> row;
        double generic, simd;
    } cases[] = {
        {0, {0, 255, 255, 0}, 255, 255},     // 286.875 clamped
        {0, {255, 0, 0, 255}, 0, 0},         // -31.875 clamped
        {0, {0, 0, 255, 255}, 128, 128},     // 127.5 half up
        {0, {0, 100, 200, 100}, 163, 163},   // 162.5 half up
        {16, {0, 65535, 65535, 0}, 65535, 65535},
        {8, {0, 255, 255, 0}, 286.875, 286.875},
        {11, {0, 255, 255, 0}, 286.875, 286.875},
    };
    for (int path : vqtest::allPaths())
        for (const auto& k : cases)
            for (int c = 0; c < computed(k.code); ++c)
                EXPECT_EQ(sampleAt(path, k.code, kCubic, k.row, 4, 1.5, 1.0, c), path == 0 ? k.generic : k.simd)
                    << kindName(k.code) << " " << vqtest::pathName(path);
}

TEST(WarpKernels, EmptySpansAndAlphaStayUntouched)
{
    std::mt19937 rng(8);
    for (int path : vqtest::allPaths())
        for (uint32_t code : {2u, 10u, 18u})
            for (Column col : {kNearest, kLinear, kCubic}) {
                KindImage src(code, 6, 6), dst(code, 6, 6), before(code, 6, 6);
                src.fillRandom(rng);
                dst.fillRandom(rng);
                before.copyFrom(dst);
                // Rows 1..3 with row 2 empty, identity mapping.
                runKernel(path, code, col, src, dst, WarpCoefficients{1, 0, 0, 0, 1, 0}, {{1, 4}, {3, 2}, {0, 5}}, 1,
                          3);
                for (int y = 0; y < 6; ++y)
                    for (int x = 0; x < 6; ++x)
                        for (int c = 0; c < 4; ++c) {
                            const bool written = c < 3 && ((y == 1 && x >= 1 && x <= 4) || y == 3);
                            const double want = written ? src.get(x, y, c) : before.get(x, y, c);
                            const double got = dst.get(x, y, c);
                            // 32f: the difference form at the last column and the single-
                            // precision cubic weights may miss a sample by its last bits.
                            const double tol = (code >> 3) == 1 && col != kNearest ? 1e-5 * (1 + std::fabs(want)) : 0;
                            ASSERT_LE(std::fabs(got - want), tol)
                                << vqtest::pathName(path) << " " << kindName(code) << " " << col << " at " << x << ","
                                << y << " c" << c;
                        }
                // Last row below the first: nothing at all.
                KindImage untouched(code, 6, 6);
                untouched.copyFrom(dst);
                runKernel(path, code, col, src, dst, WarpCoefficients{1, 0, 0, 0, 1, 0}, {{0, 5}}, 3, 2);
                EXPECT_EQ(dst.bytes(), untouched.bytes());
            }
}

TEST(WarpKernels, CubicWeightTable)
{
    const CubicWeightPair* tables[] = {prim::p1::lagrangeCubicWeights(), prim::p2::lagrangeCubicWeights(),
                                       prim::p3::lagrangeCubicWeights(), prim::p4::lagrangeCubicWeights(),
                                       prim::p5::lagrangeCubicWeights()};
    const struct {
        int j, first, second;
    } rows[] = {{0, 16384, 0},     {256, 5120, 15360}, {512, 0, 16384}, {768, -1024, 9216},
                {1024, 0, 0},      {1280, 1024, -5120}, {1536, 0, 0},   {1537, 0, 0}, {1539, 0, 0}};
    // The extremes of the second weight: 17307 at 402, -5170 at 1302.
    const int peak = 402, trough = 1302;
    for (const CubicWeightPair* t : tables) {
        for (const auto& r : rows) {
            EXPECT_EQ(t[r.j].first, r.first) << r.j;
            EXPECT_EQ(t[r.j].second, r.second) << r.j;
        }
        EXPECT_EQ(t[peak].second, 17307);
        EXPECT_EQ(t[trough].second, -5170);
        // The four weights of any position add up to 16384 within one.
        for (int j = 0; j <= 1536; ++j) {
            const int sum = t[j].first + t[j].second + t[1536 - j].second + t[1536 - j].first;
            ASSERT_GE(sum, 16383) << j;
            ASSERT_LE(sum, 16385) << j;
        }
    }
}

} // namespace
