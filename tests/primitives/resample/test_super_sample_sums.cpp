// Area averaging of both engines: a constant stays constant at every ratio,
// whole ratios give exact block sums however large the block, footprints
// past the region repeat its edge, and the float box sums.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <cstring>
#include <random>
#include <type_traits>
#include <vector>

#include "primitives/resample/resize_gen.h"
#include "primitives/resample/resize_sq.h"
#include "tests/primitives/resample/resample_oracle.h"
#include "tests/support/path_harness.h"

using rstest::Image;

namespace {

struct Layout {
    int stride, channels, planar;
};

// Reduces `planes` source images through the generic super-sampling core
// into guarded destinations of dstSize, which start as random bytes. Returns
// the status; `before` keeps the destinations' first contents.
template <class T>
int32_t superSample(const std::vector<Image<T>>& src, PrimRect roi, const Layout& L, PrimSize dstSize, double xf,
                    double yf, std::vector<vqtest::GuardedImage>& dst, std::vector<vqtest::GuardedImage>& before,
                    std::mt19937& rng) {
    const int perPixel = L.planar ? 1 : L.stride;
    const int e = int(sizeof(T));
    const void* srcPlanes[4];
    void* dstPlanes[4];
    for (size_t p = 0; p < src.size(); ++p) {
        dst.emplace_back(dstSize.width * perPixel * e, dstSize.height, int(8 * p + 4) % 32, 2 * e);
        dst.back().fillRandom(rng);
        before.emplace_back(dstSize.width * perPixel * e, dstSize.height, int(8 * p + 4) % 32, 2 * e);
        before.back().copyAllFrom(dst.back());
        srcPlanes[p] = src[p].px.data();
        dstPlanes[p] = dst[p].origin();
    }
    const int kind = std::is_same_v<T, uint8_t> ? 0 : std::is_same_v<T, uint16_t> ? 1 : 2;
    return resizeGenSuperCore(L.planar ? static_cast<const void*>(srcPlanes) : src[0].px.data(), src[0].size(),
                              src[0].step(), roi, L.planar ? static_cast<void*>(dstPlanes) : dst[0].origin(),
                              dst[0].step(), dstSize, xf, yf, L.stride, L.channels, kind, L.planar);
}

// Every computed sample of the w x h corner equals want(x, y, c); every other
// byte (fourth samples, pixels past the corner, guards) is as before.
template <class T, class Want>
void expectWritten(const std::vector<vqtest::GuardedImage>& dst, const std::vector<vqtest::GuardedImage>& before,
                   const Layout& L, int w, int h, Want want, const char* what) {
    const int perPixel = L.planar ? 1 : L.stride;
    const int computed = L.planar ? 1 : L.channels;
    for (size_t p = 0; p < dst.size(); ++p) {
        ASSERT_TRUE(dst[p].guardsIntact()) << what;
        const int width = dst[p].rowBytes() / (perPixel * int(sizeof(T)));
        for (int y = 0; y < dst[p].height(); ++y) {
            const T* got = reinterpret_cast<const T*>(dst[p].row(y));
            const T* old = reinterpret_cast<const T*>(before[p].row(y));
            for (int x = 0; x < width; ++x)
                for (int c = 0; c < perPixel; ++c) {
                    const int i = x * perPixel + c;
                    if (x < w && y < h && c < computed) {
                        // Floats are summed in single precision.
                        const double tolerance = std::is_floating_point_v<T> ? 1e-5 * std::fabs(want(x, y, c)) : 0.0;
                        ASSERT_NEAR(double(got[i]), want(x, y, c), tolerance)
                            << what << " at " << x << "," << y << " sample " << c;
                    } else
                        ASSERT_EQ(std::memcmp(&got[i], &old[i], sizeof(T)), 0) << what << " wrote " << x << "," << y;
                }
        }
    }
}

const Layout kLayouts[] = {{1, 1, 0}, {3, 3, 0}, {4, 4, 0}, {4, 3, 0}, {1, 3, 1}, {1, 4, 1}};

template <class T> void constantAtEveryRatio(T value) {
    std::mt19937 rng(41);
    const rstest::GuardedAllocations guard; // the column buffers
    struct {
        double xf, yf;
        PrimRect roi;
    } const cases[] = {
        {1.0, 1.0, {0, 0, 23, 19}},
        {0.5, 0.5, {0, 0, 23, 19}},
        {1 / 3.0, 1 / 7.0, {1, 2, 40, 40}},       // region clipped at the image's edges
        {0.4, 0.3, {0, 0, 23, 19}},               // fractional both ways
        {1 / 2.9999999999999996, 1 / 2.9999999999999996, {0, 0, 23, 19}}, // just below a whole ratio
        {1 / 2.99999995, 1 / 3.00000005, {0, 0, 23, 19}},
        {0.77, 0.999, {3, 3, 11, 9}},
        {0.125, 0.2, {18, 16, 5, 3}},             // footprints longer than the region
        {0.13, 0.31, {18, 16, 5, 3}},
        {1 / 4.00000015, 0.5, {0, 0, 8, 19}},     // the allowance reaches past the region
    };
    for (const Layout& L : kLayouts)
        for (const auto& k : cases) {
            const int planes = L.planar ? L.channels : 1;
            std::vector<Image<T>> src(planes, Image<T>(23, 19, L.planar ? 1 : L.stride, value));
            std::vector<vqtest::GuardedImage> dst, before;
            const int rw = std::min(k.roi.width, 23 - k.roi.x), rh = std::min(k.roi.height, 19 - k.roi.y);
            const int w = std::max(1, int(rw * k.xf + 1e-7)), h = std::max(1, int(rh * k.yf + 1e-7));
            ASSERT_EQ(superSample(src, k.roi, L, {w + 1, h + 1}, k.xf, k.yf, dst, before, rng), 0);
            expectWritten<T>(dst, before, L, w, h, [&](int, int, int) { return double(value); }, "constant");
            if (testing::Test::HasFatalFailure()) {
                ADD_FAILURE() << "factors " << k.xf << "," << k.yf << " layout " << L.stride << "," << L.channels
                              << (L.planar ? " planar" : "");
                return;
            }
        }
    EXPECT_EQ(guard.damaged(), 0);
    EXPECT_EQ(guard.outstanding(), 0);
    EXPECT_GT(guard.freed(), 0);
}

} // namespace

TEST(ResizeGenSuper, ConstantAtEveryRatio) {
    constantAtEveryRatio<uint8_t>(255);
    constantAtEveryRatio<uint8_t>(37);
    constantAtEveryRatio<uint16_t>(65535);
    constantAtEveryRatio<float>(-3.25f);
}

// Whole ratios: the exact integer block sum scaled by the factor product.
TEST(ResizeGenSuper, WholeRatiosAreBlockMeans) {
    std::mt19937 rng(42);
    const int ratios[][2] = {{2, 2}, {3, 2}, {4, 5}, {1, 3}, {7, 1}};
    for (const Layout& L : kLayouts)
        for (const auto& r : ratios) {
            const double xf = 1.0 / r[0], yf = 1.0 / r[1];
            const int planes = L.planar ? L.channels : 1;
            std::vector<Image<uint16_t>> src;
            for (int p = 0; p < planes; ++p)
                src.push_back(rstest::randomImage<uint16_t>(29, 21, L.planar ? 1 : L.stride, rng, 65535));
            std::vector<vqtest::GuardedImage> dst, before;
            const int w = 29 / r[0], h = 21 / r[1];
            ASSERT_EQ(superSample(src, src[0].rect(), L, {w + 1, h}, xf, yf, dst, before, rng), 0);
            int plane = 0;
            for (size_t p = 0; p < dst.size(); ++p) {
                plane = int(p);
                std::vector<vqtest::GuardedImage> one, oneBefore;
                one.push_back(std::move(dst[p]));
                oneBefore.push_back(std::move(before[p]));
                expectWritten<uint16_t>(
                    one, oneBefore, L, w, h,
                    [&](int x, int y, int c) {
                        uint64_t sum = 0;
                        for (int b = 0; b < r[1]; ++b)
                            for (int a = 0; a < r[0]; ++a)
                                sum += src[plane].at(x * r[0] + a, y * r[1] + b, c);
                        return std::trunc(double(sum) * (xf * yf) + 0.5);
                    },
                    "block means");
            }
        }
    // 90 000 samples of 65535 sum past 2^32.
    std::vector<Image<uint16_t>> big(1, Image<uint16_t>(300, 300, 1, 65535));
    std::vector<vqtest::GuardedImage> dst, before;
    ASSERT_EQ(superSample(big, big[0].rect(), kLayouts[0], {1, 1}, 1 / 300.0, 1 / 300.0, dst, before, rng), 0);
    expectWritten<uint16_t>(dst, before, kLayouts[0], 1, 1, [](int, int, int) { return 65535.0; }, "large block");
}

// Footprints past the region take its last column again.
TEST(ResizeGenSuper, FootprintsPastTheRegionRepeatItsEdge) {
    std::mt19937 rng(43);
    struct {
        double xf;
        double want;
    } const cases[] = {
        {0.125, 28}, // 8 whole columns from 5: (0+10+20+30+40 + 3 x 40) / 8 = 27.5
        {0.15, 25},  // 6.67 columns: (100 + 40 + 0.67 x 40) x 0.15 = 25
    };
    for (const auto& k : cases) {
        std::vector<Image<uint8_t>> row(1, Image<uint8_t>(5, 1, 1));
        for (int x = 0; x < 5; ++x)
            row[0].at(x, 0) = uint8_t(10 * x);
        std::vector<vqtest::GuardedImage> dst, before;
        ASSERT_EQ(superSample(row, row[0].rect(), kLayouts[0], {2, 1}, k.xf, 1.0, dst, before, rng), 0);
        expectWritten<uint8_t>(dst, before, kLayouts[0], 1, 1, [&](int, int, int) { return k.want; }, "past the edge");
    }
}

// Whole-ratio kernels of the square-pixel engine: exact block sums past
// 2^32, and the float box sums of every ratio pair against block means.
TEST(ResizeSqSuper, WholeBlocksAndFloatBoxSums) {
    const Image<uint16_t> big(300, 300, 1, 65535);
    uint16_t out = 0;
    std::vector<int64_t> work(300); // the work row of 300 columns
    prim::generic::resizeSqSuperSampleWholeKernels[resizeKind16u][0](big.px.data(), &out, big.step(), 2, 300, 1, 1, 0,
                                                                     0, 0, 0, 300.0, 300.0, 1 / 90000.0, 1,
                                                                     work.data());
    EXPECT_EQ(out, 65535);

    std::mt19937 rng(44);
    std::uniform_real_distribution<float> d(-100, 100);
    for (int a : {2, 3, 4, 8, 16})
        for (int b : {2, 4, 8, 16, 5}) {
            const int dw = 3, dh = 2;
            Image<float> src(dw * a, dh * b, 1);
            for (float& v : src.px)
                v = d(rng);
            vqtest::GuardedImage dst(dw * 4, dh, 4, 8);
            dst.fill(0x7f);
            const double norm = 1.0 / (a * b);
            prim::generic::resizeSqSuperSampleWholeKernels[resizeKind32f][0](src.px.data(), dst.origin(), src.step(),
                                                                             dst.step(), dw * a, dw, dh, 0, 0, 0, 0,
                                                                             a, b, norm, 1, work.data());
            ASSERT_TRUE(dst.guardsIntact()) << a << "x" << b;
            for (int y = 0; y < dh; ++y)
                for (int x = 0; x < dw; ++x) {
                    double sum = 0;
                    for (int r = 0; r < b; ++r)
                        for (int q = 0; q < a; ++q)
                            sum += src.at(x * a + q, y * b + r);
                    EXPECT_NEAR(reinterpret_cast<const float*>(dst.row(y))[x], sum * norm, 1e-4)
                        << a << "x" << b << " at " << x << "," << y;
                }
        }
    // Ratio groups: 2, 4, 8 and 16 only.
    for (int r = 0; r <= 16; ++r)
        EXPECT_EQ(prim::generic::resizeSqBoxSumGroups[r], r == 2 ? 0 : r == 4 ? 1 : r == 8 ? 2 : r == 16 ? 3 : -1);
}
