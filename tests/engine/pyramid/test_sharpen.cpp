// Tile sharpening of resampling option 7: the Gaussian taps, the unsharp
// mask against a direct formula (blur with replicated edges, rounding of
// each pass), the 4 x 4 halving filter against its direct formula, and a
// YCbCr quad halved with option 7 on every processor path.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <random>
#include <vector>

#include "engine/base/pixel_lock.h"
#include "engine/pyramid/tile_quad.h"
#include "engine/pyramid/unsharp_mask.h"
#include "primitives/core/dispatch.h"
#include "support/path_harness.h"
#include "tests/engine/pyramid/tile_fixtures.h"

using namespace pyramidtest;

namespace {

using Plane = std::vector<int>;  // row-major, w x h

// 1, 7, 1 over 9 along rows, then columns, edges replicated, each pass
// rounded to nearest (9 is odd: no ties).
Plane blur171(const Plane& p, int w, int h) {
    auto at = [&](const Plane& q, int x, int y) {
        return q[std::clamp(y, 0, h - 1) * w + std::clamp(x, 0, w - 1)];
    };
    Plane rows(p.size()), out(p.size());
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x)
            rows[y * w + x] = (at(p, x - 1, y) + 7 * at(p, x, y) + at(p, x + 1, y) + 4) / 9;
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x)
            out[y * w + x] = (at(rows, x, y - 1) + 7 * at(rows, x, y) + at(rows, x, y + 1) + 4) / 9;
    return out;
}

Plane sharpened(const Plane& p, int w, int h) {
    const Plane b = blur171(p, w, h);
    Plane out(p.size());
    for (size_t i = 0; i < p.size(); ++i)
        out[i] = std::min(255, p[i] + std::min(255, 4 * std::max(0, p[i] - b[i])));
    return out;
}

// The 4 x 4 filter: box values in the first and last rows and in column 0;
// the 1-2-2-1 kernel elsewhere, except in the last column of an even width.
Plane halve4x4(const Plane& s, int W, int H) {
    const int w = W / 2, h = H / 2;
    auto at = [&](int x, int y) { return s[y * W + x]; };
    Plane d(static_cast<size_t>(w) * h);
    for (int j = 0; j < h; ++j)
        for (int i = 0; i < w; ++i) {
            const int c = 2 * i, r = 2 * j;
            const int box = at(c, r) + at(c + 1, r) + at(c, r + 1) + at(c + 1, r + 1);
            const bool inner = j > 0 && j < h - 1 && i > 0 && (i < w - 1 || W % 2 == 1);
            if (!inner) {
                d[j * w + i] = box >> 2;
                continue;
            }
            const int edges = at(c, r - 1) + at(c + 1, r - 1) + at(c, r + 2) + at(c + 1, r + 2) + at(c - 1, r) +
                              at(c - 1, r + 1) + at(c + 2, r) + at(c + 2, r + 1);
            const int corners = at(c - 1, r - 1) + at(c + 2, r - 1) + at(c - 1, r + 2) + at(c + 2, r + 2);
            d[j * w + i] = (box + (edges >> 1) + (corners >> 2)) / 9;
        }
    return d;
}

Plane planeOf(imageContainer* c) {
    Plane p;
    for (int y = 0; y < c->getHeight(); ++y)
        for (int x = 0; x < c->getWidth(); ++x)
            p.push_back(pixelAt(c, x, y));
    return p;
}

Plane randomPlane(int w, int h, uint32_t seed) {
    std::mt19937 rng(seed);
    Plane p(static_cast<size_t>(w) * h);
    for (int& v : p)
        v = static_cast<int>(rng() % 256);
    return p;
}

vq_ptr<imageContainer> containerFrom(const Plane& p, int w, int h, int32_t format = vq_fmtPlaneY) {
    return makeContainer(format, w, h, [&](int x, int y, int) { return static_cast<uint8_t>(p[y * w + x]); });
}

// Runs fn once per processor path this machine has, with that path chosen.
template <class Fn>
void onEveryPath(Fn fn) {
    const int32_t saved = processorDispatchIndex;
    for (int path : vqtest::allPaths()) {
        processorDispatchIndex = path;
        fn(path);
    }
    processorDispatchIndex = saved;
}

TEST(Sharpen, GaussianTaps) {
    vq_unsharpMask m;
    EXPECT_EQ(m.amount, 4.0);
    EXPECT_EQ(m.tapCount, 0);
    m.setGaussian(0.5);
    EXPECT_EQ(m.radius, 1);
    EXPECT_EQ(std::vector<int>(m.taps, m.taps + m.tapCount), (std::vector<int>{1, 7, 1}));
    EXPECT_EQ(m.divisor, 9);
    m.setGaussian(1.0);
    EXPECT_EQ(m.radius, 3);
    EXPECT_EQ(std::vector<int>(m.taps, m.taps + m.tapCount), (std::vector<int>{1, 12, 55, 90, 55, 12, 1}));
    EXPECT_EQ(m.divisor, 226);
    // Far beyond what the weights table holds: the radius stops at 31.
    m.setGaussian(40.0);
    EXPECT_EQ(m.radius, vq_unsharpMask::kMaxRadius);
    EXPECT_EQ(m.tapCount, 63);
}

TEST(Sharpen, MaskAgainstTheDirectFormula) {
    struct Case {
        int w, h;
    };
    for (const Case c : {Case{20, 20}, Case{1, 1}, Case{1, 7}, Case{13, 2}, Case{37, 29}}) {
        const Plane p = randomPlane(c.w, c.h, static_cast<uint32_t>(c.w * 100 + c.h));
        onEveryPath([&](int path) {
            vq_ptr<imageContainer> y = containerFrom(p, c.w, c.h);
            vq_unsharpMask m;
            m.setGaussian(0.5);
            m.apply(y.get());
            EXPECT_EQ(planeOf(y.get()), sharpened(p, c.w, c.h))
                << c.w << " x " << c.h << " on " << vqtest::pathName(path);
        });
    }
}

TEST(Sharpen, UniformPlaneAndOneBrightPixel) {
    const int w = 20, h = 20;
    Plane p(w * h, 100);
    vq_ptr<imageContainer> flat = containerFrom(p, w, h);
    vq_unsharpMask m;
    m.setGaussian(0.5);
    m.apply(flat.get());
    EXPECT_EQ(planeOf(flat.get()), p);
    // 140 in a surround of 100: blurred to 124, so 140 + 4 x 16 = 204; its
    // neighbours, darker than their blur, stay.
    p[10 * w + 10] = 140;
    vq_ptr<imageContainer> bright = containerFrom(p, w, h);
    m.apply(bright.get());
    const Plane out = planeOf(bright.get());
    EXPECT_EQ(out[10 * w + 10], 204);
    for (int d : {-1, 1, -w, w, -w - 1, w + 1})
        EXPECT_EQ(out[10 * w + 10 + d], 100);
    // 250: the detail times four passes the headroom and saturates.
    p[10 * w + 10] = 250;
    vq_ptr<imageContainer> saturating = containerFrom(p, w, h);
    m.apply(saturating.get());
    EXPECT_EQ(planeOf(saturating.get())[10 * w + 10], 255);
}

TEST(Sharpen, DetailWithThresholdAndAmount) {
    // max(0, sharp - blurred), below a threshold of 10 set to 0, times the
    // amount in steps of 1/32 (4.0 -> 128/32; 0.5 -> 16/32 with ties to even).
    uint8_t sharp[5] = {5, 20, 30, 9, 200};
    const uint8_t blurred[5] = {0, 0, 0, 20, 0};
    vq_unsharpMask::makeDetail(sharp, blurred, 5, IntPair(5, 1), 4.0, 10);
    EXPECT_EQ(std::vector<int>(sharp, sharp + 5), (std::vector<int>{0, 80, 120, 0, 255}));
    uint8_t half[3] = {3, 5, 100};
    const uint8_t zero[3] = {0, 0, 0};
    vq_unsharpMask::makeDetail(half, zero, 3, IntPair(3, 1), 0.5, 0);
    EXPECT_EQ(std::vector<int>(half, half + 3), (std::vector<int>{2, 2, 50}));
}

TEST(Sharpen, OtherContainersUnchanged) {
    vq_unsharpMask m;
    m.setGaussian(0.5);
    for (int32_t format : {vq_fmtRGB24, vq_fmtGray16, vq_fmtBGR24}) {
        vq_ptr<imageContainer> c = makeContainer(format, 9, 7);
        vq_ptr<imageContainer> copy = makeContainer(format, 9, 7);
        m.apply(c.get());
        PixelLock a(c.get()), b(copy.get());
        const int bytes = 9 * c->getChannels() * c->getBitsPerSample() / 8;
        for (int y = 0; y < 7; ++y)
            EXPECT_EQ(std::memcmp(a.data() + y * a.step(), b.data() + y * b.step(), bytes), 0) << format;
    }
    m.apply(nullptr);
}

TEST(Sharpen, FourByFourFilterAgainstTheDirectFormula) {
    // Odd widths down to 3 (one output column: column 0 takes the box rule,
    // nothing left of it is read), even widths, odd heights.
    struct Case {
        int W, H;
    };
    for (const Case c : {Case{9, 8}, Case{3, 6}, Case{3, 3}, Case{5, 6}, Case{8, 8}, Case{7, 5}, Case{2, 2}, Case{12, 9}}) {
        const Plane s = randomPlane(c.W, c.H, static_cast<uint32_t>(c.W * 31 + c.H));
        auto t = makeYCbCrTile(0, 0, 0, c.W, c.H, 1, [&](int x, int y, int) { return static_cast<uint8_t>(s[y * c.W + x]); });
        const int w = c.W / 2, h = c.H / 2;
        std::vector<uint8_t> out(static_cast<size_t>(w) * h, 0xEE);
        ASSERT_TRUE(t->halveSize(out.data(), w, planeY, 7));
        const Plane want = halve4x4(s, c.W, c.H);
        for (size_t i = 0; i < out.size(); ++i)
            ASSERT_EQ(out[i], want[i]) << c.W << " x " << c.H << " at " << i;
    }
}

// A full quad of 32 x 32 YCbCr tiles halved with option 7: the luma of the
// result is the 4 x 4 filter of the merged luma, then sharpened; the chroma
// is only filtered.
TEST(Sharpen, OptionSevenOnAYCbCrQuad) {
    const int size = 32, W = 2 * size;
    const Plane merged = randomPlane(W, W, 77);
    auto fn = [&](int x, int y, int c) { return static_cast<uint8_t>(c == 0 ? merged[y * W + x] : (x * 3 + y + 40 * c)); };
    const Plane halfY = halve4x4(merged, W, W);
    const Plane want = sharpened(halfY, size, size);
    EXPECT_NE(want, halfY);
    onEveryPath([&](int path) {
        vq_tileQuad quad;
        for (int dy = 0; dy < 2; ++dy)
            for (int dx = 0; dx < 2; ++dx)
                quad.addTile(makeYCbCrTile(dx, dy, 1, size, size, 1,
                                           [&, dx, dy](int x, int y, int c) { return fn(x + dx * size, y + dy * size, c); })
                                 .get(),
                             nullptr);
        vq_ptr<vq_zoom_tile_base> half;
        quad.generateHalf(half, 7, false);
        ASSERT_NE(half, nullptr);
        EXPECT_EQ(planeOf(containerOf(half.get(), planeY)), want) << vqtest::pathName(path);
        Plane cb;
        for (int y = 0; y < W; ++y)
            for (int x = 0; x < W; ++x)
                cb.push_back(fn(x, y, 1));
        EXPECT_EQ(planeOf(containerOf(half.get(), planeCb)), halve4x4(cb, W, W)) << vqtest::pathName(path);
    });
}

} // namespace
