// General resize engine: statuses, destination extents, every kernel against
// an oracle from its definition, super-sampling and the centred resize.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdlib>
#include <limits>
#include <random>
#include <vector>

#include "primitives/core/memory.h"
#include "primitives/resample/resize_gen.h"
#include "tests/primitives/resample/resample_oracle.h"
#include "tests/support/path_harness.h"

using rstest::Image;

namespace {

int32_t resize(const Image<uint8_t>& s, PrimRect roi, Image<uint8_t>& d, double xf, double yf, int32_t code) {
    return (s.channels == 1 ? resizeByFactors8uC1 : resizeByFactors8uC3)(s.px.data(), s.size(), s.step(), roi,
                                                                         d.px.data(), d.step(), d.size(), xf, yf, code);
}
int32_t resize(const Image<uint16_t>& s, PrimRect roi, Image<uint16_t>& d, double xf, double yf, int32_t code) {
    return (s.channels == 1 ? resizeByFactors16uC1 : resizeByFactors16uC3)(
        s.px.data(), s.size(), s.step(), roi, d.px.data(), d.step(), d.size(), xf, yf, code);
}
int32_t resize(const Image<float>& s, PrimRect roi, Image<float>& d, double xf, double yf, int32_t code) {
    return resizeByFactors32fC3(s.px.data(), s.size(), s.step(), roi, d.px.data(), d.step(), d.size(), xf, yf, code);
}

// Corner-aligned source position of destination index i.
double position(int i, int roi, double factor) {
    const double span = factor * roi;
    return span > 1.0 ? i * (roi - 1) / (span - 1.0) : 0.0;
}

template <class T> Image<T> randomImage(int w, int h, int c, std::mt19937& rng, double maxValue) {
    Image<T> img(w, h, c);
    std::uniform_real_distribution<double> d(0, maxValue);
    for (auto& v : img.px)
        v = static_cast<T>(std::is_floating_point_v<T> ? d(rng) : std::floor(d(rng) + 0.5));
    return img;
}

// Tolerances: 8-bit results within one level; 16-bit ones within the
// resolution of the Q14 linear weights (65535 / 16384 per stage) or of float
// work rows and the tabulated Lanczos kernel; floats within the table's error.
template <class T> void checkKernel(int32_t code, double maxValue, int channels) {
    const double table = code == 16 ? 1e-4 * maxValue : 0.0;
    const double tolerance = sizeof(T) == 1                ? 1.0
                             : std::is_floating_point_v<T> ? 1e-3 + table
                             : code == 2                   ? 9.0
                                                           : 3.0 + table;
    std::mt19937 rng(code * 7 + channels + int(sizeof(T)));
    const double factors[] = {0.37, 0.5, 1.0, 2.0, 2.7};
    size_t total = 0, exact = 0;
    for (double xf : factors)
        for (double yf : {0.5, 1.0, 2.7})
            for (PrimRect roi : {PrimRect{0, 0, 23, 17}, PrimRect{5, 4, 12, 9}}) {
                const Image<T> src = randomImage<T>(23, 17, channels, rng, maxValue);
                const int rw = std::min(roi.width, src.width - roi.x), rh = std::min(roi.height, src.height - roi.y);
                Image<T> dst(int(rw * xf + 1e-7), int(rh * yf + 1e-7), channels);
                ASSERT_EQ(resize(src, roi, dst, xf, yf, code), 0);
                for (int y = 0; y < dst.height; ++y)
                    for (int x = 0; x < dst.width; ++x)
                        for (int c = 0; c < channels; ++c) {
                            const double v = rstest::generalOracle(src, code, roi.x + position(x, rw, xf),
                                                                   roi.y + position(y, rh, yf), c);
                            const double got = dst.at(x, y, c);
                            if constexpr (std::is_floating_point_v<T>) {
                                ASSERT_NEAR(got, v, tolerance) << code << " " << x << "," << y;
                            } else {
                                const double want = rstest::roundHalfUp(v, maxValue);
                                ASSERT_LE(std::fabs(got - want), tolerance)
                                    << "code " << code << " factors " << xf << "," << yf << " at " << x << "," << y;
                                exact += got == want;
                            }
                            ++total;
                        }
            }
    if constexpr (sizeof(T) == 1) {
        EXPECT_GE(double(exact), 0.98 * double(total)) << "code " << code;
    }
}

} // namespace

TEST(ResizeGen, StatusesInCheckOrder) {
    const double nan = std::numeric_limits<double>::quiet_NaN();
    uint8_t s[64] = {}, d[64] = {};
    struct Case {
        const char* what;
        bool nullSrc;
        PrimSize size;
        PrimRect roi;
        PrimSize dst;
        double xf, yf;
        int32_t code, status;
    } const cases[] = {
        {"null before bad size", true, {0, 0}, {0, 0, 0, 0}, {0, 0}, 0, 0, 3, -8},
        {"bad size", false, {0, 8}, {0, 0, 8, 8}, {4, 4}, 0.5, 0.5, 2, -6},
        {"ROI at the width", false, {8, 8}, {8, 0, 1, 1}, {4, 4}, 0.5, 0.5, 2, 29},
        {"destination 0 after 29", false, {8, 8}, {0, 0, 8, 8}, {0, 4}, 0.5, 0.5, 2, -6},
        {"factor 0", false, {8, 8}, {0, 0, 8, 8}, {4, 4}, 0, 0.5, 2, -23},
        {"factor -1", false, {8, 8}, {0, 0, 8, 8}, {4, 4}, 0.5, -1, 2, -23},
        {"factor NaN", false, {8, 8}, {0, 0, 8, 8}, {4, 4}, nan, 0.5, 2, -23},
        {"code 3", false, {8, 8}, {0, 0, 8, 8}, {4, 4}, 0.5, 0.5, 3, -22},
        {"code 8 enlarging", false, {8, 8}, {0, 0, 8, 8}, {4, 4}, 0.5, 1.0000001, 8, -22},
        {"code 8 NaN", false, {8, 8}, {0, 0, 8, 8}, {4, 4}, nan, 0.5, 8, -22},
        {"under half a pixel", false, {8, 8}, {0, 0, 8, 8}, {4, 4}, 0.05, 0.5, 2, -201},
    };
    for (const Case& c : cases)
        EXPECT_EQ(resizeByFactors8uC1(c.nullSrc ? nullptr : s, c.size, 8, c.roi, d, 8, c.dst, c.xf, c.yf, c.code),
                  c.status)
            << c.what;
    for (uint8_t v : d)
        EXPECT_EQ(v, 0);
}

TEST(ResizeGen, DestinationExtents) {
    std::mt19937 rng(2);
    // 100 x 0.29 is 28.999999999999996: 29 columns.
    const Image<uint8_t> src = rstest::randomImage<uint8_t>(100, 10, 1, rng, 255);
    Image<uint8_t> dst(40, 10, 1, 7);
    ASSERT_EQ(resize(src, src.rect(), dst, 0.29, 1.0, 2), 0);
    EXPECT_NE(dst.at(28, 0), 7);
    EXPECT_EQ(dst.at(29, 0), 7);
    // A ROI past the right edge is clipped to 10 columns.
    Image<uint8_t> doubled(1000, 10, 1, 7);
    ASSERT_EQ(resize(src, {90, 0, 20, 10}, doubled, 2.0, 1.0, 1), 0);
    EXPECT_EQ(doubled.at(19, 0), src.at(99, 0));
    EXPECT_EQ(doubled.at(20, 0), 7);
    // 100 columns by 2 write 200 of 1000; the rest keep their contents.
    ASSERT_EQ(resize(src, src.rect(), doubled, 2.0, 1.0, 2), 0);
    EXPECT_EQ(doubled.at(199, 0), src.at(99, 0));
    EXPECT_EQ(doubled.at(200, 0), 7);
    // 10 columns: 0.04 gives -201, 0.06 one column.
    const Image<uint8_t> narrow = rstest::randomImage<uint8_t>(10, 10, 1, rng, 255);
    Image<uint8_t> one(5, 10, 1, 7);
    EXPECT_EQ(resize(narrow, narrow.rect(), one, 0.04, 1.0, 2), -201);
    ASSERT_EQ(resize(narrow, narrow.rect(), one, 0.06, 1.0, 2), 0);
    EXPECT_EQ(one.at(0, 0), narrow.at(0, 0));
    EXPECT_EQ(one.at(1, 0), 7);
}

TEST(ResizeGen, NearestColumns) {
    Image<uint8_t> src(12, 1, 1);
    for (int x = 0; x < 12; ++x)
        src.at(x, 0) = uint8_t(x);
    Image<uint8_t> twice(24, 1, 1), half(6, 1, 1);
    ASSERT_EQ(resize(src, src.rect(), twice, 2.0, 1.0, 1), 0);
    ASSERT_EQ(resize(src, src.rect(), half, 0.5, 1.0, 1), 0);
    for (int x = 0; x < 24; ++x)
        EXPECT_EQ(twice.at(x, 0), x / 2);
    for (int x = 0; x < 6; ++x)
        EXPECT_EQ(half.at(x, 0), 2 * x + 1);
    // 10 x 0.05 lies within 1e-7 of half a pixel: the one column maps one
    // past the image and is kept on its last column.
    Image<uint8_t> ten(10, 1, 1), single(1, 1, 1);
    for (int x = 0; x < 10; ++x)
        ten.at(x, 0) = uint8_t(x);
    ASSERT_EQ(resize(ten, ten.rect(), single, 0.05, 1.0, 1), 0);
    EXPECT_EQ(single.at(0, 0), 9);
}

TEST(ResizeGen, LinearAgreesWithOracle) {
    for (int ch : {1, 3}) {
        checkKernel<uint8_t>(2, 255, ch);
        checkKernel<uint16_t>(2, 65535, ch);
    }
    checkKernel<float>(2, 1000, 3);
}

namespace {

// The generic path's cubic arithmetic, written out. Positions advance by
// repeated addition of the corner-aligned step; each keeps its window of
// four taps inside the image (the fraction then runs from -1 to 2) and
// holds its fraction as a float. The cubic through the taps is Newton's
// forward-difference form in double precision, its highest coefficient
// rounded to float in the column stage; row values are stored as floats,
// the result plus 0.5000001 truncated and saturated.
struct GeneralAxis {
    std::vector<int> tap0; // absolute index of tap 0
    std::vector<float> t;
};

GeneralAxis generalAxis(int count, int roiOrigin, int roiExtent, int imageExtent, double factor) {
    GeneralAxis a;
    const double span = factor * roiExtent;
    const double step = span > 1.0 ? (roiExtent - 1) / (span - 1.0) : 0.0;
    const int last = imageExtent - roiOrigin - 1; // last image index from the region's origin
    double pos = 0.0;
    for (int i = 0; i < count; ++i, pos += step) {
        int c = int(std::trunc(pos + 1e-7));
        double t;
        if (roiOrigin + c >= roiOrigin + last) {
            c = last - 2;
            t = 2.0;
        } else {
            if (roiOrigin + c <= 0)
                c = -roiOrigin + 1;
            else if (roiOrigin + c == roiOrigin + last - 1)
                c -= 1;
            t = float(pos - c);
        }
        a.tap0.push_back(roiOrigin + c);
        a.t.push_back(float(t));
    }
    return a;
}

double newtonCubic(const double* p, double t, bool singleC3) {
    const double c1 = t + 1.0, c2 = t * (t + 1.0) * 0.5;
    double c3 = (t - 1.0) * (t * (t + 1.0) * 0.5) / 3.0;
    if (singleC3)
        c3 = float(c3);
    const double d1 = p[1] - p[0];
    const double d2 = (p[2] - p[1]) - d1;
    const double d3 = (p[3] - 2.0 * p[2] + p[1]) - d2;
    return p[0] + c3 * d3 + c2 * d2 + c1 * d1;
}

template <class T> void checkCubicArithmetic(double maxValue, int channels) {
    std::mt19937 rng(41 + channels + int(sizeof(T)));
    for (double xf : {0.37, 0.5, 1.0, 2.0, 2.7})
        for (double yf : {0.5, 1.0, 2.7})
            for (PrimRect roi : {PrimRect{0, 0, 23, 17}, PrimRect{5, 4, 12, 9}}) {
                const Image<T> src = randomImage<T>(23, 17, channels, rng, maxValue);
                const int rw = std::min(roi.width, src.width - roi.x), rh = std::min(roi.height, src.height - roi.y);
                Image<T> dst(int(rw * xf + 1e-7), int(rh * yf + 1e-7), channels);
                ASSERT_EQ(resize(src, roi, dst, xf, yf, 4), 0);
                const GeneralAxis cols = generalAxis(dst.width, roi.x, rw, src.width, xf);
                const GeneralAxis rows = generalAxis(dst.height, roi.y, rh, src.height, yf);
                for (int y = 0; y < dst.height; ++y)
                    for (int x = 0; x < dst.width; ++x)
                        for (int c = 0; c < channels; ++c) {
                            double across[4];
                            for (int r = 0; r < 4; ++r) {
                                double p[4];
                                for (int k = 0; k < 4; ++k)
                                    p[k] = src.at(cols.tap0[x] - 1 + k, rows.tap0[y] - 1 + r, c);
                                across[r] = float(newtonCubic(p, cols.t[x], false));
                            }
                            const double n = std::trunc(newtonCubic(across, rows.t[y], true) + 0.5000001);
                            const double want = n < 0 ? 0 : n > maxValue ? maxValue : n;
                            const double got = dst.at(x, y, c);
                            ASSERT_EQ(got, want) << "factors " << xf << "," << yf << " at " << x << "," << y;
                            const double exact = rstest::generalOracle(src, 4, roi.x + position(x, rw, xf),
                                                                       roi.y + position(y, rh, yf), c);
                            ASSERT_LE(std::fabs(got - rstest::roundHalfUp(exact, maxValue)), 1.0) << exact;
                        }
            }
}

} // namespace

// Integer samples follow the double-precision arithmetic bit for bit and
// stay within one level of the exact cubic; floats stay within rounding.
TEST(ResizeGen, CubicAgreesWithOracle) {
    for (int ch : {1, 3}) {
        checkCubicArithmetic<uint8_t>(255, ch);
        checkCubicArithmetic<uint16_t>(65535, ch);
    }
    checkKernel<float>(4, 1000, 3);
}

TEST(ResizeGen, LanczosAgreesWithOracle) {
    for (int ch : {1, 3}) {
        checkKernel<uint8_t>(16, 255, ch);
        checkKernel<uint16_t>(16, 65535, ch);
    }
    checkKernel<float>(16, 1000, 3);
}

TEST(ResizeGen, KernelsCopyAtFactorOne) {
    std::mt19937 rng(8);
    for (int32_t code : {1, 2, 4, 16}) {
        const Image<uint8_t> src = rstest::randomImage<uint8_t>(19, 13, 3, rng, 255);
        Image<uint8_t> dst(19, 13, 3);
        ASSERT_EQ(resize(src, src.rect(), dst, 1.0, 1.0, code), 0);
        EXPECT_EQ(dst.px, src.px) << code;
    }
}

TEST(ResizeGen, NarrowImagesTakeCheaperKernels) {
    std::mt19937 rng(9);
    struct {
        int w, h, code, as;
    } const rows[] = {{7, 100, 16, 4}, {3, 100, 16, 2}, {1, 100, 16, 1}, {100, 2, 4, 2}, {100, 1, 2, 1}};
    for (const auto& r : rows) {
        const Image<uint8_t> src = rstest::randomImage<uint8_t>(r.w, r.h, 1, rng, 255);
        Image<uint8_t> a(2 * r.w, 3 * r.h, 1), b(2 * r.w, 3 * r.h, 1);
        ASSERT_EQ(resize(src, src.rect(), a, 2.0, 3.0, r.code), 0);
        ASSERT_EQ(resize(src, src.rect(), b, 2.0, 3.0, r.as), 0);
        EXPECT_EQ(a.px, b.px) << r.w << "x" << r.h;
    }
}

namespace {
int failAfter = -1;
void* failingAlloc(std::size_t n) { return failAfter-- == 0 ? nullptr : std::malloc(n); }
} // namespace

TEST(ResizeGen, FailedAllocationLeavesDestination) {
    std::mt19937 rng(10);
    const Image<uint8_t> src = rstest::randomImage<uint8_t>(30, 20, 3, rng, 255);
    const UnderlyingAlloc saved = primUnderlyingAlloc;
    for (int32_t code : {1, 2, 4, 16})
        for (int k = 0; k < 12; ++k) {
            Image<uint8_t> dst(45, 30, 3, 5);
            failAfter = k;
            primUnderlyingAlloc = failingAlloc;
            const int32_t status = resize(src, src.rect(), dst, 1.5, 1.5, code);
            primUnderlyingAlloc = saved;
            if (failAfter >= 0) {
                EXPECT_EQ(status, 0); // fewer allocations than k + 1
                break;
            }
            EXPECT_EQ(status, -9) << code << " allocation " << k;
            for (uint8_t v : dst.px)
                ASSERT_EQ(v, 5);
        }
}

TEST(ResizeGenSuper, BoxAveragesAndWorkedExample) {
    // Factors 1: a copy of the clipped region.
    std::mt19937 rng(12);
    const Image<uint8_t> src = rstest::randomImage<uint8_t>(9, 7, 3, rng, 255);
    Image<uint8_t> copy(9, 7, 3);
    ASSERT_EQ(resize(src, src.rect(), copy, 1.0, 1.0, 8), 0);
    EXPECT_EQ(copy.px, src.px);
    // 2 x 2 boxes rounded half up.
    struct {
        uint8_t a, b, c, d, want;
    } const boxes[] = {{1, 2, 3, 4, 3}, {0, 0, 1, 1, 1}, {0, 0, 0, 1, 0}};
    for (const auto& b : boxes) {
        Image<uint8_t> s(2, 2, 1), d(1, 1, 1);
        s.px = {b.a, b.b, b.c, b.d};
        ASSERT_EQ(resize(s, s.rect(), d, 0.5, 0.5, 8), 0);
        EXPECT_EQ(d.at(0, 0), b.want);
    }
    // Ten samples 0, 10, ... 90 by 0.4: 8, 32, 58, 82.
    Image<uint8_t> row(10, 1, 1), out(6, 1, 1, 200);
    for (int x = 0; x < 10; ++x)
        row.at(x, 0) = uint8_t(10 * x);
    ASSERT_EQ(resize(row, row.rect(), out, 0.4, 1.0, 8), 0);
    EXPECT_EQ(out.px, (std::vector<uint8_t>{8, 32, 58, 82, 200, 200}));
    // One column by 0.25 is less than half a pixel.
    Image<uint8_t> col(1, 4, 1);
    EXPECT_EQ(resize(col, col.rect(), out, 0.25, 1.0, 8), -201);
    EXPECT_EQ(resize(col, {1, 0, 1, 1}, out, 0.5, 1.0, 8), 29);
}

TEST(ResizeGenSuper, AreaAverageAgreesWithOracle) {
    std::mt19937 rng(13);
    // 1 / factor = 3.00000005 counts as whole: sums of three columns.
    for (double xf : {1 / 3.00000005, 0.5, 0.4, 0.3, 0.77, 1.0})
        for (double yf : {0.25, 0.45, 0.6, 1.0})
            for (int ch : {1, 3}) {
                const Image<uint16_t> src = rstest::randomImage<uint16_t>(31, 29, ch, rng, 65535);
                Image<uint16_t> dst(int(31 * xf + 1e-7), int(29 * yf + 1e-7), ch);
                ASSERT_EQ(resize(src, src.rect(), dst, xf, yf, 8), 0);
                const double sx = 1 / xf, sy = 1 / yf;
                const bool wholeX = sx - std::trunc(sx) < 1e-7, wholeY = sy - std::trunc(sy) < 1e-7;
                const double ex = wholeX ? std::trunc(sx) : sx, ey = wholeY ? std::trunc(sy) : sy;
                for (int y = 0; y < dst.height; ++y)
                    for (int x = 0; x < dst.width; ++x)
                        for (int c = 0; c < ch; ++c) {
                            // Exact coverage of every source pixel by the footprint.
                            double sum = 0;
                            for (int r = 0; r < src.height; ++r) {
                                const double cy =
                                    std::max(0.0, std::min(r + 1.0, (y + 1) * ey) - std::max(double(r), y * ey));
                                if (cy <= 0)
                                    continue;
                                for (int q = 0; q < src.width; ++q) {
                                    const double cx =
                                        std::max(0.0, std::min(q + 1.0, (x + 1) * ex) - std::max(double(q), x * ex));
                                    sum += cx * cy * src.at(q, r, c);
                                }
                            }
                            const double want = std::floor(sum * xf * yf + 0.5);
                            ASSERT_LE(std::fabs(dst.at(x, y, c) - want), 1.0)
                                << "factors " << xf << "," << yf << " at " << x << "," << y;
                        }
            }
}

TEST(ResizeGenSuper, RowAccumulation) {
    int32_t acc[8] = {};
    const uint8_t rows8[2] = {255, 255};
    prim::generic::accumulateRows8uPlane(rows8, 1, 1, 2, acc);
    EXPECT_EQ(acc[0], 510);
    const int16_t rows16[2] = {-1, -32768};
    acc[0] = 0;
    prim::generic::accumulateRows16sPlane(rows16, 2, 1, 2, acc);
    EXPECT_EQ(acc[0], -32769);
    // Height or width 0 adds nothing.
    prim::generic::accumulateRows16sPlane(rows16, 2, 1, 0, acc);
    prim::generic::accumulateRows16sPlane(rows16, 2, 0, 2, acc);
    EXPECT_EQ(acc[0], -32769);
    // Three samples at stride 4 leave every fourth accumulator alone; a
    // negative step walks upwards.
    const uint8_t pixels[16] = {1, 2, 3, 99, 4, 5, 6, 99, 10, 20, 30, 99, 40, 50, 60, 99};
    int32_t acc4[8] = {0, 0, 0, -7, 0, 0, 0, -7};
    prim::generic::accumulateRows8uC3(pixels + 8, -8, 2, 2, acc4, 4);
    const int32_t want[8] = {11, 22, 33, -7, 44, 55, 66, -7};
    for (int i = 0; i < 8; ++i)
        EXPECT_EQ(acc4[i], want[i]) << i;
    float f = 16777216.0f;
    const float one = 1.0f;
    prim::generic::accumulateRows32fPlane(&one, 4, 1, 1, &f);
    EXPECT_EQ(f, 16777216.0f);
}

TEST(ResizeCentered, RegionStep) {
    PrimRect dr{}, sr{};
    double xs = -1, ys = -1;
    // Whole source, destination twice the size, centre in the middle.
    ASSERT_EQ(resizeCenterRegion(100, 60, 0, 0, 100, 60, 200, 120, 2, 2, 50, 30, &dr, &sr, &xs, &ys), 0);
    EXPECT_EQ(dr.x, 0);
    EXPECT_EQ(dr.width, 200);
    EXPECT_EQ(dr.height, 120);
    EXPECT_EQ(sr.width, 100);
    EXPECT_EQ(sr.height, 60);
    EXPECT_EQ(xs, 0.0);
    EXPECT_EQ(ys, 0.0);
    // Centre 50.25: the corner lands at -0.5.
    ASSERT_EQ(resizeCenterRegion(100, 60, 0, 0, 120, 60, 200, 120, 2, 2, 50.25, 30, &dr, &sr, &xs, &ys), 0);
    EXPECT_EQ(dr.x, 0);
    EXPECT_EQ(dr.width, 199);
    EXPECT_EQ(sr.x, 0);
    EXPECT_EQ(sr.width, 100);
    EXPECT_EQ(xs, 0.25);
    EXPECT_EQ(resizeCenterRegion(0, 60, 0, 0, 100, 60, 200, 120, 2, 2, 50, 30, &dr, &sr, &xs, &ys), -6);
    EXPECT_EQ(resizeCenterRegion(100, 60, 100, 0, 1, 60, 200, 120, 2, 2, 50, 30, &dr, &sr, &xs, &ys), 29);
    EXPECT_EQ(resizeCenterRegion(100, 60, 0, 0, 100, 60, 0, 120, 2, 2, 50, 30, &dr, &sr, &xs, &ys), -6);
    EXPECT_EQ(resizeCenterRegion(100, 60, 0, 0, 100, 60, 200, 120, 0, 2, 50, 30, &dr, &sr, &xs, &ys), -23);
    EXPECT_EQ(resizeCenterRegion(100, 60, 0, 0, 100, 60, 200, 120, 2, 2, 50, 30, &dr, nullptr, &xs, &ys), -8);
}

TEST(ResizeCentered, RegionsPartlyOrWhollyOffTheDestination) {
    // A 40 x 30 source doubled into 80 x 60.
    PrimRect dr{}, sr{};
    double xs = -1, ys = -1;
    // Corner left of and above the destination: the region starts at 0, 0
    // and its first pixel samples centre - half size / factor.
    ASSERT_EQ(resizeCenterRegion(40, 30, 0, 0, 40, 30, 80, 60, 2, 2, 30, 22.5, &dr, &sr, &xs, &ys), 0);
    EXPECT_EQ(dr.x, 0);
    EXPECT_EQ(dr.y, 0);
    EXPECT_EQ(sr.x, 10);
    EXPECT_EQ(sr.y, 7);
    EXPECT_EQ(xs, 0.0);
    EXPECT_EQ(ys, 0.5);
    std::mt19937 rng(15);
    const Image<float> src = randomImage<float>(40, 30, 1, rng, 100);
    struct {
        PrimRect roi;
        double xCenter;
        int32_t status;
    } const cases[] = {
        {{0, 0, 40, 30}, -50, -6}, // wholly right of the destination: empty region
        {{0, 0, 40, 30}, 100, 29}, // wholly left, first position past the source
        {{0, 0, 10, 30}, 30, -6},  // wholly left, first position inside the source
    };
    for (const auto& c : cases) {
        Image<float> dst(80, 60, 1, -1.0f);
        EXPECT_EQ(resizeByFactorsCentered32fC1(src.px.data(), src.size(), src.step(), c.roi, dst.px.data(),
                                               dst.step(), dst.size(), 2, 2, c.xCenter, 15, 4),
                  c.status)
            << c.xCenter;
        for (float v : dst.px)
            ASSERT_EQ(v, -1.0f);
    }
}

TEST(ResizeCentered, SamplesTheShiftedPositions) {
    std::mt19937 rng(14);
    Image<float> src = randomImage<float>(40, 30, 1, rng, 100);
    for (int32_t code : {2, 4, 16}) {
        Image<float> dst(80, 60, 1, -1.0f);
        ASSERT_EQ(resizeByFactorsCentered32fC1(src.px.data(), src.size(), src.step(), src.rect(), dst.px.data(),
                                               dst.step(), dst.size(), 2.0, 2.0, 20.25, 15.25, code),
                  0);
        // Destination column 0 samples source x 0.25; the core steps on from
        // there with its corner-aligned step.
        const double step = 39.0 / 79.0;
        for (int y = 0; y < 59; y += 7)
            for (int x = 0; x < 79; x += 5) {
                const double sx = 0.25 + x * step, sy = 0.25 + y * (29.0 / 59.0);
                if (sx > 38.9 || sy > 28.9)
                    continue;
                EXPECT_NEAR(dst.at(x, y), rstest::generalOracle(src, code, sx, sy, 0), 1e-2) << code;
            }
        EXPECT_EQ(dst.at(79, 0), -1.0f); // the region ends one column short
    }
    EXPECT_EQ(resizeByFactorsCentered32fC1(src.px.data(), src.size(), src.step(), src.rect(), nullptr, 4, {8, 8}, 2, 2,
                                           1, 1, 2),
              -8);
    // Super-sampling for reductions: 2 x 2 means of the region.
    Image<float> half(20, 15, 1, -1.0f);
    ASSERT_EQ(resizeByFactorsCentered32fC1(src.px.data(), src.size(), src.step(), src.rect(), half.px.data(),
                                           half.step(), half.size(), 0.5, 0.5, 20, 15, 8),
              0);
    for (int y = 0; y < 15; ++y)
        for (int x = 0; x < 20; ++x) {
            const double mean = (double(src.at(2 * x, 2 * y)) + src.at(2 * x + 1, 2 * y) + src.at(2 * x, 2 * y + 1) +
                                 src.at(2 * x + 1, 2 * y + 1)) /
                                4;
            EXPECT_NEAR(half.at(x, y), mean, 1e-4) << x << "," << y;
        }
    // Enlarging with code 8 is refused by the general core.
    Image<float> big(80, 60, 1);
    EXPECT_EQ(resizeByFactorsCentered32fC1(src.px.data(), src.size(), src.step(), src.rect(), big.px.data(),
                                           big.step(), big.size(), 2, 2, 20, 15, 8),
              -22);
}

// A source stored bottom-up (negative step) gives the pixels of the same
// source stored upright, for every interpolation of the general engine.
TEST(ResizeGen, BottomUpMatchesUpright) {
    std::mt19937 rng(63);
    for (const vqtest::SweepCase& c : vqtest::sweepCases(13, 40, 30)) {
        if (!c.srcNegative)
            continue;
        for (int32_t code : {1, 2, 4, 8, 16})
            for (int kind : {0, 1, 2}) {
                const int ch = kind == 2 ? 3 : 1 + 2 * int(rng() & 1);
                const int e = kind == 0 ? 1 : kind == 1 ? 2 : 4;
                const double xf = 0.3 + 2.0 * (rng() % 1000) / 1000.0, yf = 0.3 + 0.7 * (rng() % 1000) / 1000.0;
                const PrimSize dstSize{int(c.width * xf) + 1, int(c.height * yf) + 1};
                vqtest::GuardedImage src(c.width * ch * e, c.height, c.srcAlign & ~(e - 1), c.srcGap * e, true);
                src.fillRandom(rng);
                if (kind == 2) // finite floats
                    for (int y = 0; y < c.height; ++y)
                        for (int x = 0; x < c.width * ch; ++x)
                            reinterpret_cast<float*>(src.row(y))[x] = float(rng() % 10000) / 7.0f;
                vqtest::GuardedImage upright(c.width * ch * e, c.height);
                upright.setPixels(src.pixels());
                vqtest::GuardedImage want(dstSize.width * ch * e, dstSize.height, c.dstAlign & ~(e - 1), c.dstGap * e,
                                          c.dstNegative);
                want.fillRandom(rng);
                vqtest::GuardedImage got(dstSize.width * ch * e, dstSize.height, c.dstAlign & ~(e - 1), c.dstGap * e,
                                         c.dstNegative);
                got.copyAllFrom(want);
                const PrimSize s{c.width, c.height};
                const PrimRect r{0, 0, c.width, c.height};
                auto run = [&](vqtest::GuardedImage& d, vqtest::GuardedImage& from) {
                    if (kind == 0)
                        return (ch == 1 ? resizeByFactors8uC1 : resizeByFactors8uC3)(
                            from.origin(), s, from.step(), r, d.origin(), d.step(), dstSize, xf, yf, code);
                    if (kind == 1)
                        return (ch == 1 ? resizeByFactors16uC1 : resizeByFactors16uC3)(
                            from.as<uint16_t>(), s, from.step(), r, d.as<uint16_t>(), d.step(), dstSize, xf, yf,
                            code);
                    return resizeByFactors32fC3(from.as<float>(), s, from.step(), r, d.as<float>(), d.step(), dstSize,
                                                xf, yf, code);
                };
                const int32_t status = run(want, upright);
                ASSERT_EQ(status, run(got, src)) << c.describe();
                ASSERT_TRUE(got.sameAllAs(want)) << "code " << code << " " << c.describe();
                ASSERT_TRUE(got.guardsIntact());
            }
    }
}
