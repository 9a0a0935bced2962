// Square-pixel super-sampling: area averages with edge replication, whole
// blocks and fractional footprints.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <random>
#include <vector>

#include "primitives/resample/resize_sq.h"
#include "tests/primitives/resample/resample_oracle.h"
#include "tests/support/path_harness.h"

using rstest::Image;

namespace {

// Exact mean of the source under destination pixel (x, y): the footprint
// [x * inv + off, (x + 1) * inv + off) per axis, the image's edge pixels
// standing in for the parts outside it.
template <class T>
double areaMean(const Image<T>& s, int x, int y, int c, double invX, double invY, double offX, double offY) {
    auto cover = [](double a, double b, int n, std::vector<std::pair<int, double>>& out) {
        for (int q = int(std::floor(a)); q < int(std::ceil(b)); ++q) {
            const double w = std::min(b, q + 1.0) - std::max(a, double(q));
            if (w > 0)
                out.push_back({std::clamp(q, 0, n - 1), w});
        }
    };
    std::vector<std::pair<int, double>> cols, rows;
    cover(x * invX + offX, (x + 1) * invX + offX, s.width, cols);
    cover(y * invY + offY, (y + 1) * invY + offY, s.height, rows);
    double sum = 0;
    for (auto [r, wr] : rows)
        for (auto [q, wq] : cols)
            sum += wr * wq * s.at(q, r, c);
    return sum / (invX * invY);
}

} // namespace

TEST(ResizeSqSuper, HalvingBlocks) {
    struct {
        uint8_t a, b, c, d, want;
    } const blocks[] = {{10, 11, 12, 13, 12}, {0, 0, 0, 2, 1}, {0, 0, 0, 1, 0}, {255, 255, 255, 255, 255}};
    for (const auto& k : blocks) {
        Image<uint8_t> s(2, 2, 1), d(1, 1, 1);
        s.px = {k.a, k.b, k.c, k.d};
        ASSERT_EQ(rstest::resizeSq(s, d, 0.5, 0.5, 0, 0, 8), 0);
        EXPECT_EQ(d.at(0, 0), k.want);
    }
    // Signed blocks round halves away from zero.
    struct {
        int16_t a, b, c, d, want;
    } const signedBlocks[] = {{-1, -1, 0, 0, -1}, {1, 1, 0, 0, 1}, {-1, 0, 0, 0, 0}, {-5, -5, 0, 0, -3}};
    for (const auto& k : signedBlocks) {
        const int16_t src[4] = {k.a, k.b, k.c, k.d};
        int16_t dst = 99;
        std::vector<uint8_t> buffer(256);
        ResizeSqParams p{};
        ASSERT_EQ(resizeSqSetup(src, 2, 2, 0, 0, 2, 2, &dst, 0, 0, 1, 1, 0.5, 0.5, 0, 0, 8, buffer.data(), &p), 0);
        resizeSqBody(*resizeSqKernelSets[0], src, 2, 2, 4, &dst, 2, p.regionX, p.regionY, p.regionWidth, p.regionHeight,
                     p.invXFactor, p.invYFactor, p.srcOffsetX, p.srcOffsetY, p.areaFactor, p.interpolationCode,
                     buffer.data(), 1, 1, resizeKind16s, 0);
        EXPECT_EQ(dst, k.want);
    }
}

TEST(ResizeSqSuper, AreaMeansAgreeWithOracle) {
    std::mt19937 rng(21);
    struct {
        int sw, sh, dw, dh;
        double xf, yf, xs, ys;
    } const cases[] = {
        {32, 24, 16, 12, 0.5, 0.5, 0, 0},       // whole blocks
        {33, 21, 17, 11, 0.5, 0.5, 0, 0},       // odd sizes: the last block repeats the edge
        {30, 20, 15, 10, 0.5, 0.5, 0.25, 0},    // a fractional start
        {40, 40, 16, 12, 0.4, 0.3, 0, 0},       // fractional ratios
        {37, 29, 11, 14, 0.3, 0.47, 0.6, 0.35}, // both
        {16, 1, 1, 1, 0.02, 0.2, 0.41, 0.3},    // footprint far wider than the source
        {50, 50, 7, 7, 1 / 7.0, 1 / 7.0, 0, 0}, // whole ratio 7
        {40, 40, 11, 11, 0.25, 0.25, 0.25, 0.5}, // corner at whole negative source positions
        {40, 40, 11, 11, 0.25, 0.25, 0.3, 0.6},  // and at fractional negative ones
    };
    for (const auto& c : cases)
        for (int ch : {1, 3}) {
            const Image<uint8_t> src = rstest::randomImage<uint8_t>(c.sw, c.sh, ch, rng, 255);
            Image<uint8_t> dst(c.dw, c.dh, ch, 3);
            ASSERT_EQ(rstest::resizeSq(src, dst, c.xf, c.yf, c.xs, c.ys, 8), 0) << c.sw << "x" << c.sh;
            ResizeSqParams p{};
            uint8_t b = 0;
            ASSERT_EQ(resizeSqSetup(&b, c.sw, c.sh, 0, 0, c.sw, c.sh, &b, 0, 0, c.dw, c.dh, c.xf, c.yf, c.xs, c.ys, 8,
                                    &b, &p),
                      0);
            for (int y = 0; y < c.dh; ++y)
                for (int x = 0; x < c.dw; ++x)
                    for (int k = 0; k < ch; ++k) {
                        const bool inside = x >= p.regionX && x < p.regionX + p.regionWidth && y >= p.regionY &&
                                            y < p.regionY + p.regionHeight;
                        if (!inside) {
                            EXPECT_EQ(dst.at(x, y, k), 3);
                            continue;
                        }
                        const double want = std::floor(
                            areaMean(src, x, y, k, p.invXFactor, p.invYFactor, p.srcOffsetX, p.srcOffsetY) + 0.5);
                        ASSERT_LE(std::fabs(dst.at(x, y, k) - want), 1.0)
                            << c.sw << "x" << c.sh << " at " << x << "," << y;
                    }
        }
}

TEST(ResizeSqSuper, ConstantStaysAndBufferSuffices) {
    for (double f : {0.5, 0.3, 0.02})
        for (int ch : {1, 3}) {
            const Image<uint16_t> src(64, 48, ch, 51234);
            Image<uint16_t> dst(std::max(1, int(64 * f)), std::max(1, int(48 * f)), ch);
            int32_t size = 0;
            ASSERT_EQ(resizeSquarePixelGetBufferSize(src.rect(), dst.rect(), ch, 8, &size), 0);
            for (int align = 0; align < 16; ++align) {
                vqtest::GuardedImage buffer(size, 1, align);
                const int32_t status = (ch == 1 ? resizeSquarePixel16uC1 : resizeSquarePixel16uC3)(
                    src.px.data(), src.size(), src.step(), src.rect(), dst.px.data(), dst.step(), dst.rect(), f, f, 0.3,
                    0.7, 8, buffer.origin());
                ASSERT_TRUE(status == 0 || status == 1) << f;
                ASSERT_TRUE(buffer.guardsIntact());
            }
            for (uint16_t v : dst.px)
                ASSERT_TRUE(v == 51234 || v == 0) << f;
        }
}
