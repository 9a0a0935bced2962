// Square-pixel resize: parameter step, buffer query, and halving end to end
// against oracles computed from the definitions.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstring>
#include <limits>
#include <random>
#include <vector>

#include "primitives/resample/resize_sq.h"
#include "tests/primitives/resample/resample_oracle.h"
#include "tests/support/path_harness.h"

using rstest::halve;
using rstest::Image;

namespace {

constexpr int32_t kCodes[] = {1, 2, 4, 5, 6, 7, 16};
constexpr int32_t kBlend = int32_t(resizeEdgeBlend);
constexpr int32_t kFade = int32_t(resizeEdgeFade);

struct SetupCase {
    const char* what;
    bool nullSrc;
    PrimSize src;
    PrimRect srcRoi, dstRoi;
    double xf, yf, xs, ys;
    int32_t interpolation;
    int32_t status;
    int32_t code; // expected code after the fallback (status 0 only)
};

} // namespace

TEST(ResizeSqSetup, StatusesInCheckOrderAndFallback) {
    const double nan = std::numeric_limits<double>::quiet_NaN();
    const SetupCase cases[] = {
        {"null pointer before a bad size", true, {0, 0}, {0, 0, 0, 0}, {0, 0, 0, 0}, 0, 0, 0, 0, 99, -8, 0},
        {"source width 0", false, {0, 10}, {0, 0, 10, 10}, {0, 0, 5, 5}, 0.5, 0.5, 0, 0, 2, -6, 0},
        {"negative source ROI x", false, {10, 10}, {-1, 0, 10, 10}, {0, 0, 5, 5}, 0.5, 0.5, 0, 0, 2, -6, 0},
        {"empty destination ROI before the factor",
         false,
         {10, 10},
         {0, 0, 10, 10},
         {0, 0, 0, 5},
         0,
         0.5,
         0,
         0,
         2,
         -6,
         0},
        {"factor 0", false, {10, 10}, {0, 0, 10, 10}, {0, 0, 5, 5}, 0, 0.5, 0, 0, 2, -23, 0},
        {"factor -1", false, {10, 10}, {0, 0, 10, 10}, {0, 0, 5, 5}, 0.5, -1, 0, 0, 2, -23, 0},
        {"factor NaN", false, {10, 10}, {0, 0, 10, 10}, {0, 0, 5, 5}, nan, 0.5, 0, 0, 2, -23, 0},
        {"factor before the code", false, {10, 10}, {0, 0, 10, 10}, {0, 0, 5, 5}, 0, 0.5, 0, 0, 3, -23, 0},
        {"code 3", false, {10, 10}, {0, 0, 10, 10}, {0, 0, 5, 5}, 0.5, 0.5, 0, 0, 3, -22, 0},
        {"code 9", false, {10, 10}, {0, 0, 10, 10}, {0, 0, 5, 5}, 0.5, 0.5, 0, 0, 9, -22, 0},
        {"both edge flags", false, {10, 10}, {0, 0, 10, 10}, {0, 0, 5, 5}, 0.5, 0.5, 0, 0, 2 | kBlend | kFade, -22, 0},
        {"cubic with blend", false, {10, 10}, {0, 0, 10, 10}, {0, 0, 5, 5}, 0.5, 0.5, 0, 0, 4 | kBlend, 0, 4},
        {"super-sampling at factor 1", false, {10, 10}, {0, 0, 10, 10}, {0, 0, 5, 5}, 1.0, 0.5, 0, 0, 8, -23, 0},
        {"super-sampling below 1", false, {10, 10}, {0, 0, 10, 10}, {0, 0, 5, 5}, 0.5, 0.25, 0, 0, 8, 0, 8},
        {"source ROI at the source width", false, {10, 10}, {10, 0, 1, 1}, {0, 0, 5, 5}, 0.5, 0.5, 0, 0, 2, 29, 0},
        {"mapped left of the destination ROI",
         false,
         {10, 10},
         {0, 0, 10, 10},
         {0, 0, 5, 5},
         0.5,
         0.5,
         -100,
         0,
         2,
         1,
         0},
        {"mapped below the destination ROI", false, {10, 10}, {0, 0, 10, 10}, {0, 0, 5, 5}, 0.5, 0.5, 0, 1e6, 2, 1, 0},
        {"flag, no whole pixel (2.3 .. 3.7)",
         false,
         {100, 100},
         {23, 0, 14, 10},
         {0, 0, 50, 50},
         0.1,
         1,
         0,
         0,
         2 | kBlend,
         1,
         0},
        {"Lanczos on 100 x 5", false, {100, 5}, {0, 0, 100, 5}, {0, 0, 50, 3}, 0.5, 0.5, 0, 0, 16, 0, 4},
        {"Lanczos on 3 x 100", false, {3, 100}, {0, 0, 3, 100}, {0, 0, 2, 50}, 0.5, 0.5, 0, 0, 16, 0, 2},
        {"B-spline on 100 x 3", false, {100, 3}, {0, 0, 100, 3}, {0, 0, 50, 2}, 0.5, 0.5, 0, 0, 5, 0, 2},
        {"3-pixel ROI of a large image", false, {100, 100}, {0, 0, 3, 3}, {0, 0, 50, 50}, 0.5, 0.5, 0, 0, 16, 0, 16},
        {"Lanczos with blend on 100 x 5",
         false,
         {100, 5},
         {0, 0, 100, 5},
         {0, 0, 50, 3},
         0.5,
         0.5,
         0,
         0,
         16 | kBlend,
         0,
         4},
        {"Catmull-Rom with fade on 3 x 100",
         false,
         {3, 100},
         {0, 0, 3, 100},
         {0, 0, 2, 50},
         0.5,
         0.5,
         0,
         0,
         6 | kFade,
         0,
         2},
    };
    uint8_t byte = 0;
    for (const SetupCase& c : cases) {
        ResizeSqParams p{};
        const int32_t status =
            resizeSqSetup(c.nullSrc ? nullptr : &byte, c.src.width, c.src.height, c.srcRoi.x, c.srcRoi.y,
                          c.srcRoi.width, c.srcRoi.height, &byte, c.dstRoi.x, c.dstRoi.y, c.dstRoi.width,
                          c.dstRoi.height, c.xf, c.yf, c.xs, c.ys, c.interpolation, &byte, &p);
        EXPECT_EQ(status, c.status) << c.what;
        if (status == 0 && c.status == 0) {
            EXPECT_EQ(p.interpolationCode, c.code) << c.what;
            EXPECT_EQ(p.blendEdges, uint32_t(c.interpolation) & resizeEdgeBlend) << c.what;
            EXPECT_EQ(p.fadeEdges, uint32_t(c.interpolation) & resizeEdgeFade) << c.what;
        }
    }
    // Super-sampling keeps the area of a destination pixel in the source.
    ResizeSqParams p{};
    ASSERT_EQ(resizeSqSetup(&byte, 10, 10, 0, 0, 10, 10, &byte, 0, 0, 5, 5, 0.5, 0.25, 0, 0, 8, &byte, &p), 0);
    EXPECT_EQ(p.areaFactor, 0.125);
}

TEST(ResizeSqSetup, RegionOfHalvingAndOfFractionalEdges) {
    uint8_t byte = 0;
    for (int32_t flags : {0, kBlend, kFade}) {
        ResizeSqParams p{};
        ASSERT_EQ(
            resizeSqSetup(&byte, 512, 300, 0, 0, 512, 300, &byte, 0, 0, 256, 150, 0.5, 0.5, 0, 0, 2 | flags, &byte, &p),
            0);
        EXPECT_EQ(p.regionX, 0);
        EXPECT_EQ(p.regionY, 0);
        EXPECT_EQ(p.regionWidth, 256);
        EXPECT_EQ(p.regionHeight, 150);
        EXPECT_EQ(p.invXFactor, 2.0);
        EXPECT_EQ(p.invYFactor, 2.0);
        EXPECT_EQ(p.srcOffsetX, 0.0);
        EXPECT_EQ(p.srcOffsetY, 0.0);
    }
    // Source columns 9 .. 30 at factor 0.25 map to 2.25 .. 7.5: pixel centres
    // give columns 2 .. 7, whole pixels 3 .. 6.
    struct {
        int32_t flags, x, w;
    } const rows[] = {{0, 2, 6}, {kBlend, 3, 4}, {kFade, 3, 4}};
    for (const auto& r : rows) {
        ResizeSqParams p{};
        ASSERT_EQ(resizeSqSetup(&byte, 100, 100, 9, 0, 21, 100, &byte, 0, 0, 50, 50, 0.25, 0.25, 0, 0, 2 | r.flags,
                                &byte, &p),
                  0);
        EXPECT_EQ(p.regionX, r.x) << r.flags;
        EXPECT_EQ(p.regionWidth, r.w) << r.flags;
        EXPECT_EQ(p.edgeLeft, 2.25);
        EXPECT_EQ(p.edgeRight, 7.5);
    }
    // A source ROI past the right edge is cut at the image: 8 + 5 becomes 10.
    ResizeSqParams p{};
    ASSERT_EQ(resizeSqSetup(&byte, 10, 10, 8, 0, 5, 10, &byte, 0, 0, 20, 20, 1, 1, 0, 0, 2, &byte, &p), 0);
    EXPECT_EQ(p.edgeRight, 10.0);
    EXPECT_EQ(p.regionWidth, 2);
}

TEST(ResizeSqBufferSize, ExamplesAndRefusals) {
    int32_t size = -1;
    EXPECT_EQ(resizeSquarePixelGetBufferSize({0, 0, 34, 2}, {0, 0, 17, 1}, 1, 1, &size), 0);
    EXPECT_EQ(size, 208);
    EXPECT_EQ(resizeSquarePixelGetBufferSize({0, 0, 100, 10}, {0, 0, 30, 3}, 3, 8, &size), 0);
    EXPECT_EQ(size, 2704);
    // A single edge flag does not change the size.
    int32_t flagged = -1;
    EXPECT_EQ(resizeSquarePixelGetBufferSize({0, 0, 100, 10}, {0, 0, 30, 3}, 3, 8 | kBlend, &flagged), 0);
    EXPECT_EQ(flagged, 2704);

    size = 7;
    EXPECT_EQ(resizeSquarePixelGetBufferSize({0, 0, 1, 1}, {0, 0, 1, 1}, 1, 2, nullptr), -8);
    EXPECT_EQ(resizeSquarePixelGetBufferSize({0, 0, 1, 1}, {0, 0, 1, 1}, 2, 2, &size), -53);
    EXPECT_EQ(resizeSquarePixelGetBufferSize({0, 0, 1, 1}, {0, 0, 0, 1}, 2, 2, &size), -6);
    EXPECT_EQ(resizeSquarePixelGetBufferSize({0, -1, 1, 1}, {0, 0, 1, 1}, 1, 2, &size), -6);
    EXPECT_EQ(resizeSquarePixelGetBufferSize({0, 0, 1, 1}, {0, 0, 1, 1}, 1, 3, &size), -22);
    EXPECT_EQ(resizeSquarePixelGetBufferSize({0, 0, 1, 1}, {0, 0, 1, 1}, 1, 2 | kBlend | kFade, &size), -22);
    // A size beyond the 32-bit answer is refused instead of wrapping around.
    EXPECT_EQ(resizeSquarePixelGetBufferSize({0, 0, 1, 1}, {0, 0, 100000000, 1}, 4, 16, &size), -6);
    EXPECT_EQ(resizeSquarePixelGetBufferSize({0, 0, 200000000, 1}, {0, 0, 1, 1}, 4, 8, &size), -6);
    EXPECT_EQ(size, 7);
}

// The body keeps inside the queried buffer and inside its destination region
// at every buffer alignment, for every kernel, kind and layout.
TEST(ResizeSq, StaysInsideBufferAndRegion) {
    std::mt19937 rng(11);
    struct Geometry {
        int sw, sh, dw, dh;
        double xf, yf, xs, ys;
    } const geometries[] = {
        {64, 48, 32, 24, 0.5, 0.5, 0, 0},       {33, 17, 17, 9, 0.5, 0.5, 0, 0}, {9, 7, 30, 25, 3.1, 2.7, 0.3, -0.8},
        {50, 40, 13, 11, 0.23, 0.31, 1.2, 0.7}, {6, 6, 3, 3, 0.5, 0.5, 0, 0},    {40, 40, 37, 41, 0.93, 1.07, 0, 0},
    };
    for (int32_t code : kCodes) {
        for (const Geometry& g : geometries) {
            for (int ch : {1, 3}) {
                for (int bytesPer : {1, 2}) {
                    int32_t size = 0;
                    ASSERT_EQ(resizeSquarePixelGetBufferSize({0, 0, g.sw, g.sh}, {0, 0, g.dw, g.dh}, ch, code, &size),
                              0);
                    const int rowBytes = g.sw * ch * bytesPer;
                    vqtest::GuardedImage src(rowBytes, g.sh, 4 - bytesPer, 6);
                    src.fillRandom(rng);
                    for (int align = 0; align < 16; ++align) {
                        vqtest::GuardedImage buffer(size, 1, align);
                        vqtest::GuardedImage dst(g.dw * ch * bytesPer, g.dh, 8 - bytesPer, 4);
                        dst.fill(0x5C);
                        const PrimSize ss{g.sw, g.sh};
                        const PrimRect sr{0, 0, g.sw, g.sh}, dr{0, 0, g.dw, g.dh};
                        int32_t st;
                        if (bytesPer == 1)
                            st = (ch == 1 ? resizeSquarePixel8uC1 : resizeSquarePixel8uC3)(
                                src.origin(), ss, src.step(), sr, dst.origin(), dst.step(), dr, g.xf, g.yf, g.xs, g.ys,
                                code, buffer.origin());
                        else
                            st = (ch == 1 ? resizeSquarePixel16uC1 : resizeSquarePixel16uC3)(
                                src.as<uint16_t>(), ss, src.step(), sr, dst.as<uint16_t>(), dst.step(), dr, g.xf, g.yf,
                                g.xs, g.ys, code, buffer.origin());
                        ASSERT_EQ(st, 0) << code << " " << g.sw << "x" << g.sh;
                        ASSERT_TRUE(buffer.guardsIntact()) << "code " << code << " align " << align;
                        ASSERT_TRUE(dst.guardsIntact()) << "code " << code << " align " << align;
                    }
                }
            }
        }
    }
}

namespace {

// Linear halving from the definition: 8u rounds the 2 x 2 mean once, 16u
// rounds each row pair, then the pair of rows. A last odd column or row
// takes the image's last column or row for both taps.
template <class T> Image<T> linearHalvingOracle(const Image<T>& s, int dw, int dh) {
    Image<T> d(dw, dh, s.channels);
    auto avg = [](uint32_t a, uint32_t b) { return (a + b + 1) >> 1; };
    for (int y = 0; y < dh; ++y)
        for (int x = 0; x < dw; ++x)
            for (int c = 0; c < s.channels; ++c) {
                const int x0 = std::min(2 * x, s.width - 1), x1 = std::min(2 * x + 1, s.width - 1);
                const int y0 = std::min(2 * y, s.height - 1), y1 = std::min(2 * y + 1, s.height - 1);
                const uint32_t a = s.at(x0, y0, c), b = s.at(x1, y0, c), e = s.at(x0, y1, c), f = s.at(x1, y1, c);
                if (sizeof(T) == 1 && x1 != x0 && y1 != y0)
                    d.at(x, y, c) = T((a + b + e + f + 2) / 4);
                else if (x1 == x0 && y1 == y0)
                    d.at(x, y, c) = T(a);
                else if (x1 == x0)
                    d.at(x, y, c) = T(avg(a, e));
                else if (y1 == y0)
                    d.at(x, y, c) = T(avg(a, b));
                else
                    d.at(x, y, c) = T(avg(avg(a, b), avg(e, f)));
            }
    return d;
}

template <class T> void checkLinearHalving(int maxValue) {
    std::mt19937 rng(5);
    const int sizes[] = {1, 2, 3, 4, 5, 6, 7, 8, 9, 255, 256, 257, 512};
    for (int ch : {1, 3}) {
        for (int w : sizes) {
            for (int h : {1, 2, 7, 256}) {
                for (int odd : {0, 1}) {
                    const Image<T> src = rstest::randomImage<T>(2 * w + odd, 2 * h + odd, ch, rng, maxValue);
                    Image<T> dst(w + odd, h + odd, ch);
                    ASSERT_EQ(rstest::resizeSq(src, dst, 0.5, 0.5, 0, 0, 2), 0);
                    ASSERT_EQ(dst.px, linearHalvingOracle(src, w + odd, h + odd).px)
                        << "w " << w << " h " << h << " ch " << ch << " odd " << odd;
                }
            }
        }
    }
}

} // namespace

TEST(ResizeSqLinear, HalvingEqualsDirectFormula8u) { checkLinearHalving<uint8_t>(255); }
TEST(ResizeSqLinear, HalvingEqualsDirectFormula16u) { checkLinearHalving<uint16_t>(65535); }

TEST(ResizeSqNearest, PicksPixelsUnderCentres) {
    Image<uint8_t> src(12, 10, 1);
    for (int y = 0; y < 10; ++y)
        for (int x = 0; x < 12; ++x)
            src.at(x, y) = uint8_t(16 * y + x);
    // Halving takes rows and columns 0, 2, 4, ... (a centre on a pixel edge
    // takes the pixel before it).
    Image<uint8_t> half = halve(src, 1);
    for (int y = 0; y < 5; ++y)
        for (int x = 0; x < 6; ++x)
            EXPECT_EQ(half.at(x, y), src.at(2 * x, 2 * y));
    // Enlarging by 2 repeats every pixel.
    Image<uint8_t> twice(24, 20, 1);
    ASSERT_EQ(rstest::resizeSq(src, twice, 2, 2, 0, 0, 1), 0);
    for (int y = 0; y < 20; ++y)
        for (int x = 0; x < 24; ++x)
            EXPECT_EQ(twice.at(x, y), src.at(x / 2, y / 2));
    // A region edge within 1e-10 beyond a centre maps that centre one past the
    // image; the index is kept on the last column and row.
    Image<uint8_t> one(1, 1, 1);
    ASSERT_EQ(rstest::resizeSq(src, one, 0.49999999995 / 12, 0.49999999995 / 10, 0, 0, 1), 0);
    EXPECT_EQ(one.at(0, 0), src.at(11, 9));
}

// A YCbCr plane one pixel wide halves with factor 1.0 and nearest on that
// axis: the column is copied, every second row kept.
TEST(ResizeSqNearest, DegenerateAxisCopies) {
    std::mt19937 rng(3);
    const Image<uint8_t> column = rstest::randomImage<uint8_t>(1, 40, 1, rng, 255);
    Image<uint8_t> half(1, 20, 1);
    ASSERT_EQ(rstest::resizeSq(column, half, 1.0, 0.5, 0, 0, 1), 0);
    for (int y = 0; y < 20; ++y)
        EXPECT_EQ(half.at(0, y), column.at(0, 2 * y));
    const Image<uint8_t> row = rstest::randomImage<uint8_t>(40, 1, 1, rng, 255);
    Image<uint8_t> rowHalf(20, 1, 1);
    ASSERT_EQ(rstest::resizeSq(row, rowHalf, 0.5, 1.0, 0, 0, 1), 0);
    for (int x = 0; x < 20; ++x)
        EXPECT_EQ(rowHalf.at(x, 0), row.at(2 * x, 0));
}

namespace {

// Cubic halving in 1/256 units: the weights at fraction 0.5 are
// (-1, 9, 9, -1) / 16 for codes 4 and 6, so every sum is exact.
template <class T> Image<T> cubicHalvingExact(const Image<T>& s, double maxValue) {
    const int64_t w[4] = {-1, 9, 9, -1};
    Image<T> d(s.width / 2, s.height / 2, s.channels);
    for (int y = 0; y < d.height; ++y)
        for (int x = 0; x < d.width; ++x)
            for (int c = 0; c < s.channels; ++c) {
                int64_t v = 0;
                for (int r = 0; r < 4; ++r)
                    for (int q = 0; q < 4; ++q) {
                        const int yy = std::clamp(2 * y - 1 + r, 0, s.height - 1);
                        const int xx = std::clamp(2 * x - 1 + q, 0, s.width - 1);
                        v += w[r] * w[q] * int64_t(s.at(xx, yy, c));
                    }
                const int64_t n = v >= 0 ? (v + 128) / 256 : 0;
                d.at(x, y, c) = T(std::min<int64_t>(n, int64_t(maxValue)));
            }
    return d;
}

template <class T> void checkCubicExact(double maxValue) {
    std::mt19937 rng(17);
    for (int ch : {1, 3})
        for (auto [w, h] : {std::pair{4, 4}, {5, 9}, {8, 6}, {33, 20}, {64, 64}, {257, 19}}) {
            const Image<T> src = rstest::randomImage<T>(2 * w, 2 * h, ch, rng, int(maxValue));
            const Image<T> expected = cubicHalvingExact(src, maxValue);
            for (int32_t code : {4, 6})
                ASSERT_EQ(halve(src, code).px, expected.px) << "code " << code << " " << w << "x" << h;
        }
}

} // namespace

TEST(ResizeSqCubic, LagrangeAndCatmullRomHalvingAreExact8u) { checkCubicExact<uint8_t>(255); }
TEST(ResizeSqCubic, LagrangeAndCatmullRomHalvingAreExact16u) { checkCubicExact<uint16_t>(65535); }

namespace {

// Within +-1 of a double-precision oracle everywhere, and exact nearly
// everywhere; `exactShare` is the least share of exact samples.
template <class T>
void checkAgainstOracle(int32_t code, const rstest::Kernel& k, double maxValue, double exactShare, double xf = 0.5,
                        double yf = 0.5) {
    std::mt19937 rng(code * 31 + int(sizeof(T)));
    size_t total = 0, exact = 0;
    for (int ch : {1, 3})
        for (auto [w, h] : {std::pair{12, 10}, {47, 33}, {128, 96}, {255, 6}}) {
            const Image<T> src = rstest::randomImage<T>(w, h, ch, rng, int(maxValue));
            Image<T> dst(int(w * xf), int(h * yf), ch);
            ASSERT_EQ(rstest::resizeSq(src, dst, xf, yf, 0, 0, code), 0);
            for (int y = 0; y < dst.height; ++y)
                for (int x = 0; x < dst.width; ++x)
                    for (int c = 0; c < ch; ++c) {
                        const double want =
                            rstest::roundHalfUp(rstest::oracleValue(src, k, x, y, c, 1 / xf, 1 / yf), maxValue);
                        const double got = dst.at(x, y, c);
                        ASSERT_LE(std::fabs(got - want), 1.0) << "code " << code << " at " << x << "," << y;
                        exact += got == want;
                        ++total;
                    }
        }
    EXPECT_GE(double(exact), exactShare * double(total)) << "code " << code << " sample bytes " << sizeof(T);
}

} // namespace

namespace {

// The generic path's cubic arithmetic, written out: weights from the
// distances 1 + t, t, |1 - t|, |2 - t| in double, each rounded to float;
// interior samples as float row values (a double sum of the four products
// in tap order) combined by a double column sum; the frame, whose taps are
// clamped to the image, as double sums in both directions; the result plus
// 0.5000001, truncated and saturated.
double cubicPiece(int32_t code, double d) {
    if (d >= 2.0)
        return 0.0;
    const double d2 = d * d, d3 = d * d2;
    const bool inner = d < 1.0;
    switch (code) {
    case 4:
        return inner ? (1.0 - d2) + (d3 - d) * 0.5 : (d2 + 1.0) + d * ((-1.0 / 6.0) * d2 - 11.0 / 6.0);
    case 5:
        return inner ? (d3 * 0.5 + 2.0 / 3.0) - d2 : ((d2 + ((-1.0 / 6.0) * d3 + 4.0 / 3.0)) - d) - d;
    case 6:
        return inner ? d2 * (1.5 * d - 2.5) + 1.0 : d2 * (-0.5 * d + 2.5) + (2.0 - 4.0 * d);
    default:
        return inner ? d2 * (0.95 * d - 1.7) + 5.0 / 6.0 : d2 * ((-23.0 / 60.0) * d + 2.0) + (28.0 / 15.0 - 3.4 * d);
    }
}

struct CubicAxis {
    std::vector<int> index;        // floor of the source position
    std::vector<float> weights;    // four per position
    std::vector<bool> frame;       // a tap leaves the image
};

CubicAxis cubicAxis(int32_t code, int count, double factor, int extent) {
    CubicAxis a;
    for (int i = 0; i < count; ++i) {
        const double s = ((i + 0.5) * (1.0 / factor) - 0.5) + -(0.0 / factor);
        const double f = std::floor(s);
        a.index.push_back(int(f));
        a.frame.push_back(s < 1.0 || s >= extent - 2.0);
        double x = -1.0 - double(float(s - f));
        for (int k = 0; k < 4; ++k, x += 1.0)
            a.weights.push_back(float(cubicPiece(code, std::fabs(x))));
    }
    return a;
}

template <class T>
void checkCubicArithmetic(int32_t code, double maxValue, double xf, double yf) {
    std::mt19937 rng(code * 31 + int(sizeof(T)));
    const rstest::Kernel kernel = rstest::cubicKernel(code);
    for (int ch : {1, 3})
        for (auto [w, h] : {std::pair{12, 10}, {47, 33}, {128, 96}, {255, 6}}) {
            const Image<T> src = rstest::randomImage<T>(w, h, ch, rng, int(maxValue));
            Image<T> dst(int(w * xf), int(h * yf), ch);
            ASSERT_EQ(rstest::resizeSq(src, dst, xf, yf, 0, 0, code), 0);
            const CubicAxis cols = cubicAxis(code, dst.width, xf, w), rows = cubicAxis(code, dst.height, yf, h);
            auto at = [&](int y, int x, int c) {
                return double(src.at(std::clamp(x, 0, w - 1), std::clamp(y, 0, h - 1), c));
            };
            for (int y = 0; y < dst.height; ++y)
                for (int x = 0; x < dst.width; ++x)
                    for (int c = 0; c < ch; ++c) {
                        const float* wx = &cols.weights[4 * x];
                        const float* wy = &rows.weights[4 * y];
                        const bool frame = rows.frame[y] || cols.frame[x];
                        double v = 0.0;
                        for (int r = 0; r < 4; ++r) {
                            double across = 0.0;
                            for (int k = 0; k < 4; ++k)
                                across += at(rows.index[y] - 1 + r, cols.index[x] - 1 + k, c) * wx[k];
                            v += (frame ? across : double(float(across))) * wy[r];
                        }
                        const double n = std::trunc(v + 0.5000001);
                        const double want = n < 0 ? 0 : n > maxValue ? maxValue : n;
                        const double got = dst.at(x, y, c);
                        ASSERT_EQ(got, want) << "code " << code << " at " << x << "," << y << " in " << w << "x" << h;
                        const double exact = rstest::oracleValue(src, kernel, x, y, c, 1 / xf, 1 / yf);
                        ASSERT_LE(std::fabs(got - rstest::roundHalfUp(exact, maxValue)), 1.0) << exact;
                    }
        }
}

} // namespace

TEST(ResizeSqCubic, FollowsTheDoubleArithmeticWithinOneOfExact) {
    for (int32_t code : {4, 5, 6, 7}) {
        checkCubicArithmetic<uint8_t>(code, 255, 0.5, 0.5);
        checkCubicArithmetic<uint16_t>(code, 65535, 0.5, 0.5);
        checkCubicArithmetic<uint8_t>(code, 255, 0.37, 0.81);
        checkCubicArithmetic<uint16_t>(code, 65535, 1.7, 0.45);
    }
}

TEST(ResizeSqCubic, LagrangeEqualsCatmullRomAtHalving) {
    std::mt19937 rng(23);
    const Image<uint8_t> src = rstest::randomImage<uint8_t>(100, 62, 3, rng, 255);
    EXPECT_EQ(halve(src, 4).px, halve(src, 6).px);
}

TEST(ResizeSqLanczos, WithinOneOfOracle) {
    checkAgainstOracle<uint8_t>(16, rstest::lanczosKernel(), 255, 0.999);
    checkAgainstOracle<uint16_t>(16, rstest::lanczosKernel(), 65535, 0.99);
    checkAgainstOracle<uint8_t>(16, rstest::lanczosKernel(), 255, 0.99, 0.41, 1.3);
}

TEST(ResizeSqLanczos, OvershootSaturatesNextToEdges) {
    // A hard step 0 | 255 rings: the negative lobes push the samples next to
    // the step below 0 and above 255; they arrive as 0 and 255.
    for (int ch : {1, 3}) {
        Image<uint8_t> src(40, 12, ch);
        for (int y = 0; y < 12; ++y)
            for (int x = 0; x < 40; ++x)
                for (int c = 0; c < ch; ++c)
                    src.at(x, y, c) = x < 20 ? 0 : 255;
        const Image<uint8_t> half = halve(src, 16);
        const rstest::Kernel k = rstest::lanczosKernel();
        bool sawLow = false, sawHigh = false;
        for (int x = 0; x < 20; ++x) {
            const double v = rstest::oracleValue(src, k, x, 3, 0, 2, 2);
            sawLow |= v < -0.5;
            sawHigh |= v > 255.5;
            EXPECT_EQ(half.at(x, 3), rstest::roundHalfUp(v, 255)) << x;
        }
        EXPECT_TRUE(sawLow && sawHigh);
        Image<uint16_t> src16(40, 12, ch);
        for (size_t i = 0; i < src.px.size(); ++i)
            src16.px[i] = src.px[i] ? 65535 : 0;
        const Image<uint16_t> half16 = halve(src16, 16);
        for (int x = 0; x < 20; ++x)
            EXPECT_EQ(half16.at(x, 5), rstest::roundHalfUp(rstest::oracleValue(src16, k, x, 5, 0, 2, 2), 65535));
    }
}

TEST(ResizeSqLanczos, NarrowSourcesLowered) {
    std::mt19937 rng(29);
    // Below 6 pixels Lanczos runs as the Lagrange cubic, below 4 as linear.
    for (auto [w, h, code] : {std::tuple{5, 40, 4}, {40, 5, 4}, {3, 40, 2}, {40, 2, 2}}) {
        const Image<uint8_t> src = rstest::randomImage<uint8_t>(w, h, 1, rng, 255);
        EXPECT_EQ(halve(src, 16).px, halve(src, code).px) << w << "x" << h;
        if (code == 2) {
            for (int32_t cubic : {4, 5, 6, 7})
                EXPECT_EQ(halve(src, cubic).px, halve(src, 2).px) << w << "x" << h;
        }
    }
}

TEST(ResizeSq, ConstantImagesStayConstant) {
    std::mt19937 rng(31);
    for (int32_t code : kCodes)
        for (double f : {0.5, 0.3, 1.7})
            for (int ch : {1, 3}) {
                for (uint8_t v : {uint8_t(0), uint8_t(1), uint8_t(128), uint8_t(255)}) {
                    const Image<uint8_t> src(23, 17, ch, v);
                    Image<uint8_t> dst(int(23 * f), int(17 * f), ch, 77);
                    ASSERT_EQ(rstest::resizeSq(src, dst, f, f, 0, 0, code), 0);
                    for (uint8_t got : dst.px)
                        ASSERT_EQ(got, v) << "code " << code << " factor " << f;
                }
                for (uint16_t v : {uint16_t(0), uint16_t(1), uint16_t(40000), uint16_t(65535)}) {
                    const Image<uint16_t> src(23, 17, ch, v);
                    Image<uint16_t> dst(int(23 * f), int(17 * f), ch, 77);
                    ASSERT_EQ(rstest::resizeSq(src, dst, f, f, 0, 0, code), 0);
                    for (uint16_t got : dst.px)
                        ASSERT_EQ(got, v) << "code " << code << " factor " << f;
                }
            }
}

namespace {

template <class T> Image<T> mirrored(const Image<T>& s, bool horizontal) {
    Image<T> m(s.width, s.height, s.channels);
    for (int y = 0; y < s.height; ++y)
        for (int x = 0; x < s.width; ++x)
            for (int c = 0; c < s.channels; ++c)
                m.at(x, y, c) = horizontal ? s.at(s.width - 1 - x, y, c) : s.at(x, s.height - 1 - y, c);
    return m;
}

} // namespace

TEST(ResizeSq, MirroredInputGivesMirroredOutput) {
    std::mt19937 rng(37);
    // Not nearest: halving takes the even columns, which mirror onto odd ones.
    for (int32_t code : {2, 4, 5, 6, 7, 16})
        for (int ch : {1, 3}) {
            const Image<uint8_t> src = rstest::randomImage<uint8_t>(48, 36, ch, rng, 255);
            const Image<uint8_t> half = halve(src, code);
            for (bool horizontal : {true, false})
                EXPECT_EQ(halve(mirrored(src, horizontal), code).px, mirrored(half, horizontal).px)
                    << "code " << code << (horizontal ? " horizontal" : " vertical");
        }
}

// The body serves more layouts than the public entries: four-sample pixels
// with three samples resampled, four channels, and planar images, for every
// kind. Each must equal the one-channel result per channel and leave the
// fourth sample alone.
TEST(ResizeSqBody, LayoutsAgreeWithPlanes) {
    std::mt19937 rng(41);
    const int sw = 21, sh = 15, dw = 10, dh = 7;
    for (int32_t code : {1, 2, 4, 5, 6, 7, 8, 16}) {
        for (int32_t kind : {0, 1, 2, 3}) {
            const int e = resizeElementSize(kind);
            // Sample values that every kind holds exactly and positive, so the
            // signed kind behaves as the unsigned ones.
            std::vector<uint8_t> plane[4];
            std::vector<uint8_t> pixels(size_t(sw) * sh * 4 * e);
            for (int c = 0; c < 4; ++c) {
                plane[c].resize(size_t(sw) * sh * e);
                for (int i = 0; i < sw * sh; ++i) {
                    const int v = int(rng() % 200);
                    uint8_t* p = plane[c].data() + size_t(i) * e;
                    uint8_t* q = pixels.data() + (size_t(i) * 4 + c) * e;
                    if (kind == 2) {
                        const float f = float(v);
                        std::memcpy(p, &f, 4);
                    } else if (kind == 0) {
                        *p = uint8_t(v);
                    } else {
                        const uint16_t s = uint16_t(v * 100);
                        std::memcpy(p, &s, 2);
                    }
                    std::memcpy(q, p, e);
                }
            }
            int32_t size = 0;
            ASSERT_EQ(resizeSquarePixelGetBufferSize({0, 0, sw, sh}, {0, 0, dw, dh}, 4, code, &size), 0);
            std::vector<uint8_t> buffer(size);
            ResizeSqParams p{};
            ASSERT_EQ(resizeSqSetup(pixels.data(), sw, sh, 0, 0, sw, sh, pixels.data(), 0, 0, dw, dh, 0.5, 0.5, 0, 0,
                                    code, buffer.data(), &p),
                      0);
            auto body = [&](const void* s, void* d, int32_t srcStep, int32_t dstStep, int32_t ps, int32_t cc,
                            int32_t planar) {
                resizeSqBody(*resizeSqKernelSets[0], s, sw, sh, srcStep, d, dstStep, p.regionX, p.regionY,
                             p.regionWidth, p.regionHeight, p.invXFactor, p.invYFactor, p.srcOffsetX, p.srcOffsetY,
                             p.areaFactor, p.interpolationCode, buffer.data(), ps, cc, kind, planar);
            };
            std::vector<uint8_t> single[4];
            for (int c = 0; c < 4; ++c) {
                single[c].assign(size_t(dw) * dh * e, 0);
                body(plane[c].data(), single[c].data(), sw * e, dw * e, 1, 1, 0);
            }
            std::vector<uint8_t> c4(size_t(dw) * dh * 4 * e, 0), ac4(size_t(dw) * dh * 4 * e, 0xEE);
            body(pixels.data(), c4.data(), sw * 4 * e, dw * 4 * e, 4, 4, 0);
            body(pixels.data(), ac4.data(), sw * 4 * e, dw * 4 * e, 4, 3, 0);
            std::vector<uint8_t> planesOut[3];
            const void* srcPlanes[3] = {plane[0].data(), plane[1].data(), plane[2].data()};
            void* dstPlanes[3];
            for (int c = 0; c < 3; ++c) {
                planesOut[c].assign(size_t(dw) * dh * e, 0);
                dstPlanes[c] = planesOut[c].data();
            }
            body(srcPlanes, dstPlanes, sw * e, dw * e, 1, 3, 1);
            for (int i = 0; i < dw * dh; ++i)
                for (int c = 0; c < 4; ++c) {
                    const uint8_t* want = single[c].data() + size_t(i) * e;
                    ASSERT_EQ(std::memcmp(c4.data() + (size_t(i) * 4 + c) * e, want, e), 0)
                        << "C4 code " << code << " kind " << kind;
                    if (c < 3) {
                        ASSERT_EQ(std::memcmp(ac4.data() + (size_t(i) * 4 + c) * e, want, e), 0)
                            << "AC4 code " << code << " kind " << kind;
                        ASSERT_EQ(std::memcmp(planesOut[c].data() + size_t(i) * e, want, e), 0)
                            << "planar code " << code << " kind " << kind;
                    } else {
                        for (int b = 0; b < e; ++b)
                            ASSERT_EQ(ac4[(size_t(i) * 4 + 3) * e + b], 0xEE) << "AC4 fourth sample";
                    }
                }
        }
    }
}
