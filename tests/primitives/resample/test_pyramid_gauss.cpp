// Gaussian 5 x 5 pyramid steps against a direct mirrored convolution.
#include <gtest/gtest.h>

#include <cstdint>
#include <random>
#include <vector>

#include "primitives/resample/pyramid_gauss.h"
#include "tests/support/path_harness.h"

namespace {

constexpr int kK[5] = {1, 4, 6, 4, 1};

int mirror(int i, int n) {
    if (n == 1)
        return 0;
    while (i < 0 || i >= n)
        i = i < 0 ? -i : 2 * n - 2 - i;
    return i;
}

// src: w x h pixels of `ch` samples, rows packed.
std::vector<uint8_t> downOracle(const std::vector<uint8_t>& src, int w, int h) {
    const int ow = (w + 1) / 2, oh = (h + 1) / 2;
    std::vector<uint8_t> out(size_t(ow) * oh);
    for (int i = 0; i < oh; ++i)
        for (int j = 0; j < ow; ++j) {
            int t = 0;
            for (int dy = -2; dy <= 2; ++dy)
                for (int dx = -2; dx <= 2; ++dx)
                    t += kK[dy + 2] * kK[dx + 2] * src[size_t(mirror(2 * i + dy, h)) * w + mirror(2 * j + dx, w)];
            out[size_t(i) * ow + j] = uint8_t((t + 128) >> 8);
        }
    return out;
}

std::vector<uint8_t> upOracle(const std::vector<uint8_t>& src, int w, int h, int ch) {
    const int gw = 2 * w, gh = 2 * h;
    std::vector<uint8_t> out(size_t(gw) * gh * ch);
    for (int y = 0; y < gh; ++y)
        for (int x = 0; x < gw; ++x)
            for (int c = 0; c < ch; ++c) {
                int t = 0;
                for (int dy = -2; dy <= 2; ++dy)
                    for (int dx = -2; dx <= 2; ++dx) {
                        const int yy = mirror(y + dy, gh), xx = mirror(x + dx, gw);
                        if (yy % 2 == 0 && xx % 2 == 0)
                            t += kK[dy + 2] * kK[dx + 2] * src[(size_t(yy / 2) * w + xx / 2) * ch + c];
                    }
                out[(size_t(y) * gw + x) * ch + c] = uint8_t((t + 32) >> 6);
            }
    return out;
}

// Runs a pyramid step on guarded images with a buffer of exactly the queried
// size, one byte off a 32-byte boundary; checks that nothing outside the
// destination region and the buffer is touched.
std::vector<uint8_t> run(PyramidGaussFn fn, const std::vector<uint8_t>& src, int w, int h, int ch, bool up) {
    const int ow = up ? 2 * w : (w + 1) / 2, oh = up ? 2 * h : (h + 1) / 2;
    vqtest::GuardedImage s(w * ch, h, 3, 5), d(ow * ch, oh, 9, 2);
    s.setPixels(src);
    d.fill(0x11);
    int32_t size = 0;
    EXPECT_EQ(pyramidGetBufferSize(w, 1, ch, &size), 0);
    vqtest::GuardedImage buffer(size, 1, 1);
    EXPECT_EQ(fn(s.origin(), s.step(), d.origin(), d.step(), {w, h}, buffer.origin()), 0);
    EXPECT_TRUE(d.guardsIntact());
    EXPECT_TRUE(s.guardsIntact());
    EXPECT_TRUE(buffer.guardsIntact()) << w << "x" << h;
    return d.pixels();
}

std::vector<uint8_t> randomPixels(size_t n, std::mt19937& rng) {
    std::vector<uint8_t> v(n);
    for (auto& b : v)
        b = uint8_t(rng());
    return v;
}

} // namespace

TEST(PyramidGauss, DownAndUpEqualDirectConvolution) {
    std::mt19937 rng(43);
    std::vector<std::pair<int, int>> sizes;
    for (int w = 1; w <= 12; ++w)
        for (int h = 1; h <= 12; ++h)
            sizes.push_back({w, h});
    sizes.push_back({513, 511});
    for (auto [w, h] : sizes) {
        const std::vector<uint8_t> gray = randomPixels(size_t(w) * h, rng);
        ASSERT_EQ(run(pyramidDownGauss5x5, gray, w, h, 1, false), downOracle(gray, w, h)) << w << "x" << h;
        ASSERT_EQ(run(pyramidUpGauss5x5Gray, gray, w, h, 1, true), upOracle(gray, w, h, 1)) << w << "x" << h;
        const std::vector<uint8_t> rgb = randomPixels(size_t(w) * h * 3, rng);
        ASSERT_EQ(run(pyramidUpGauss5x5Rgb, rgb, w, h, 3, true), upOracle(rgb, w, h, 3)) << w << "x" << h;
    }
}

TEST(PyramidGauss, WorkedExamples) {
    // 1 x 1: the down-scale keeps the pixel, the up-scales make a 2 x 2 block.
    EXPECT_EQ(run(pyramidDownGauss5x5, {200}, 1, 1, 1, false), std::vector<uint8_t>{200});
    EXPECT_EQ(run(pyramidUpGauss5x5Gray, {200}, 1, 1, 1, true), std::vector<uint8_t>(4, 200));
    EXPECT_EQ(run(pyramidUpGauss5x5Rgb, {1, 2, 3}, 1, 1, 3, true),
              (std::vector<uint8_t>{1, 2, 3, 1, 2, 3, 1, 2, 3, 1, 2, 3}));
    // 2 x 1 down: the rounded-up mean.
    EXPECT_EQ(run(pyramidDownGauss5x5, {10, 13}, 2, 1, 1, false), std::vector<uint8_t>{12});
    EXPECT_EQ(run(pyramidDownGauss5x5, {0, 1}, 2, 1, 1, false), std::vector<uint8_t>{1});
    // 3 x 3 impulse down: 64 everywhere.
    std::vector<uint8_t> impulse3(9, 0);
    impulse3[4] = 255;
    EXPECT_EQ(run(pyramidDownGauss5x5, impulse3, 3, 3, 1, false), std::vector<uint8_t>(4, 64));
    // 9 x 9 impulse down: 36 at the centre, 6 beside it, 1 diagonally.
    std::vector<uint8_t> impulse9(81, 0);
    impulse9[4 * 9 + 4] = 255;
    std::vector<uint8_t> expected9(25, 0);
    expected9[2 * 5 + 2] = 36;
    for (int k : {1 * 5 + 2, 3 * 5 + 2, 2 * 5 + 1, 2 * 5 + 3})
        expected9[k] = 6;
    for (int k : {1 * 5 + 1, 1 * 5 + 3, 3 * 5 + 1, 3 * 5 + 3})
        expected9[k] = 1;
    EXPECT_EQ(run(pyramidDownGauss5x5, impulse9, 9, 9, 1, false), expected9);
    // One-row up-scale of (0, 64): two rows 16, 32, 56, 64.
    EXPECT_EQ(run(pyramidUpGauss5x5Gray, {0, 64}, 2, 1, 1, true),
              (std::vector<uint8_t>{16, 32, 56, 64, 16, 32, 56, 64}));
    // 5 x 5 impulse up: the outer product of 1 4 6 4 1, centred on (4, 4).
    std::vector<uint8_t> impulse5(25, 0);
    impulse5[12] = 64;
    const std::vector<uint8_t> up = run(pyramidUpGauss5x5Gray, impulse5, 5, 5, 1, true);
    for (int y = 0; y < 10; ++y)
        for (int x = 0; x < 10; ++x) {
            const int dy = y - 4, dx = x - 4;
            const int want = (dy >= -2 && dy <= 2 && dx >= -2 && dx <= 2) ? kK[dy + 2] * kK[dx + 2] : 0;
            EXPECT_EQ(up[size_t(y) * 10 + x], want) << x << "," << y;
        }
    // Even widths weigh their last four columns 1, 4, 7, 4.
    std::vector<uint8_t> row4 = {0, 0, 16, 0};
    EXPECT_EQ(run(pyramidDownGauss5x5, row4, 4, 1, 1, false), (std::vector<uint8_t>{2, 7}));
}

TEST(PyramidGauss, ChecksAndBufferSizes) {
    uint8_t s[64] = {}, d[256] = {}, b[512] = {};
    const PyramidGaussFn fns[3] = {pyramidDownGauss5x5, pyramidUpGauss5x5Gray, pyramidUpGauss5x5Rgb};
    for (PyramidGaussFn fn : fns) {
        EXPECT_EQ(fn(nullptr, 4, d, 8, {0, 0}, b), -8);
        EXPECT_EQ(fn(s, 4, d, 24, {4, 0}, b), -6);
        EXPECT_EQ(fn(s, -1, d, 8, {0, 2}, b), -6);
        EXPECT_EQ(fn(s, -12, d, 24, {4, 2}, b), -14);
        EXPECT_EQ(fn(s, 12, d, -24, {4, 2}, b), -14);
    }
    // Exact minimum steps pass, one byte less fails.
    EXPECT_EQ(pyramidDownGauss5x5(s, 5, d, 3, {5, 2}, b), 0);
    EXPECT_EQ(pyramidDownGauss5x5(s, 4, d, 3, {5, 2}, b), -14);
    EXPECT_EQ(pyramidDownGauss5x5(s, 5, d, 2, {5, 2}, b), -14);
    EXPECT_EQ(pyramidUpGauss5x5Gray(s, 5, d, 10, {5, 2}, b), 0);
    EXPECT_EQ(pyramidUpGauss5x5Gray(s, 5, d, 9, {5, 2}, b), -14);
    EXPECT_EQ(pyramidUpGauss5x5Rgb(s, 15, d, 30, {5, 2}, b), 0);
    EXPECT_EQ(pyramidUpGauss5x5Rgb(s, 14, d, 30, {5, 2}, b), -14);
    EXPECT_EQ(pyramidUpGauss5x5Rgb(s, 15, d, 29, {5, 2}, b), -14);

    int32_t size = -1;
    EXPECT_EQ(pyramidGetBufferSize(10, 1, 1, &size), 0);
    EXPECT_EQ(size, 320);
    EXPECT_EQ(pyramidGetBufferSize(10, 1, 3, &size), 0);
    EXPECT_EQ(size, 800);
    EXPECT_EQ(pyramidGetBufferSize(1, 13, 3, &size), 0);
    EXPECT_EQ(size, 128);
    EXPECT_EQ(pyramidGetBufferSize(1, 3, 1, &size), 0);
    EXPECT_EQ(size, 128);
    size = 5;
    EXPECT_EQ(pyramidGetBufferSize(10, 1, 1, nullptr), -8);
    EXPECT_EQ(pyramidGetBufferSize(0, 1, 1, &size), -6);
    EXPECT_EQ(pyramidGetBufferSize(10, 99, 2, &size), -53);
    EXPECT_EQ(pyramidGetBufferSize(10, 2, 1, &size), -12);
    // Beyond the 32-bit answer: refused instead of wrapping.
    EXPECT_EQ(pyramidGetBufferSize(90000000, 1, 1, &size), -6);
    EXPECT_EQ(size, 5);
}
