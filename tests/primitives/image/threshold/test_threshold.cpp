// Threshold to a value: the order of the checks, worked values, and the
// pixel rule on every path at widths 1..33 and 47..49, every alignment, in
// place and between two images.
#include <gtest/gtest.h>

#include <cstring>

#include "primitives/image/image_harness.h"
#include "primitives/image/threshold/threshold.h"

namespace {

using vqtest::GuardedImage;
using vqtest::Layout;

TEST(ImageThreshold, CheckOrder) {
    struct Case {
        int32_t op;
        bool nullSrc, nullDst;
        int32_t w, h, srcStep, dstStep, want;
    };
    const Case cases[] = {
        {1, true, true, 0, 0, 0, 0, -9999}, {2, false, false, 4, 4, 8, 8, -9999}, {3, false, false, 4, 4, 8, 8, -9999},
        {5, false, false, 4, 4, 8, 8, -9999}, {-1, false, false, 4, 4, 8, 8, -9999},
        {0, true, false, 0, 4, 8, 8, -8},  {4, false, true, 4, 4, 0, 8, -8},  {0, false, false, 0, 4, 0, 0, -6},
        {0, false, false, 4, 0, 0, 0, -6}, {0, false, false, 4, 4, 0, 8, -14}, {4, false, false, 4, 4, 8, -8, -14},
        {0, false, false, 4, 4, 2, 2, 0},
    };
    for (int path : vqtest::allPaths())
        for (const Case& c : cases) {
            uint8_t src[64], dst[64];
            std::memset(src, 0x5A, sizeof src);
            std::memset(dst, 0x5A, sizeof dst);
            const int32_t got = thresholdValByOp8uC1Table[path](c.nullSrc ? nullptr : src, c.srcStep,
                                                                c.nullDst ? nullptr : dst, c.dstStep, c.w, c.h, 0x60,
                                                                0, c.op);
            EXPECT_EQ(got, c.want) << "op " << c.op << " on " << vqtest::pathName(path);
            if (c.want != 0) {
                for (uint8_t b : dst)
                    ASSERT_EQ(b, 0x5A);
            }
        }
    for (int path : vqtest::allPaths()) {
        uint8_t b[4] = {1, 2, 3, 4};
        EXPECT_EQ(thresholdLessValInPlace8uC1Table[path](nullptr, 4, 0, 1, 10, 0), -8);
        EXPECT_EQ(thresholdLessValInPlace8uC1Table[path](b, 0, 0, 1, 10, 0), -6);
        EXPECT_EQ(thresholdLessValInPlace8uC1Table[path](b, 0, 4, 1, 10, 0), -14);
        EXPECT_EQ(b[0], 1);
    }
}

TEST(ImageThreshold, WorkedValues) {
    struct Case {
        int32_t op, t, v;
        uint8_t in[4], want[4];
    };
    const Case cases[] = {
        {0, 10, 0, {5, 10, 15, 20}, {0, 10, 15, 20}},      {4, 10, 0, {5, 10, 15, 20}, {5, 10, 0, 0}},
        {0, 0, 99, {0, 1, 200, 255}, {0, 1, 200, 255}},    {4, 255, 9, {0, 1, 254, 255}, {0, 1, 254, 255}},
        {0, 10, 0, {9, 0, 10, 255}, {0, 0, 10, 255}},      {0, 50, 50, {49, 0, 50, 51}, {50, 50, 50, 51}},
        {0, 256 + 10, 512 + 7, {9, 10, 1, 11}, {7, 10, 7, 11}}, {4, 0, 3, {0, 1, 2, 200}, {0, 3, 3, 3}},
        {0, 255, 0, {254, 255, 0, 128}, {0, 255, 0, 0}},
    };
    for (int path : vqtest::allPaths())
        for (const Case& c : cases) {
            uint8_t b[4];
            std::memcpy(b, c.in, 4);
            ASSERT_EQ(thresholdValByOp8uC1Table[path](b, 4, b, 4, 4, 1, c.t, c.v, c.op), 0);
            EXPECT_EQ(std::memcmp(b, c.want, 4), 0) << "op " << c.op << " t " << c.t << " on "
                                                    << vqtest::pathName(path);
        }
}

// The pixel rule as the oracle, for the generic path; then every path
// against the generic one. In place, and between images aligned apart.
TEST(ImageThreshold, PixelRuleAtEveryWidthAndAlignment) {
    int round = 0;
    for (int w = 1; w <= 49; ++w) {
        if (w > 33 && w < 47)
            continue;
        for (int a = 0; a < 16; ++a)
            for (int inPlace = 0; inPlace < 2; ++inPlace) {
                const int32_t op = (round & 1) ? thresholdGreater : thresholdLess;
                const int32_t t = (round * 37) % 256, v = (round * 11) % 256;
                const uint32_t seed = static_cast<uint32_t>(++round);
                const int gap = (w + a) % 4, h = 3;
                std::vector<Layout> layouts{Layout{w, h, a, gap, false}};
                if (!inPlace)
                    layouts.push_back(Layout{w, h, (a * 5 + 3) % 16, (gap + 3) % 5, false});
                auto run = [&](int path, vqtest::ImageSet& im) {
                    GuardedImage& d = im.back();
                    return thresholdValByOp8uC1Table[path](im[0].origin(), im[0].step(), d.origin(), d.step(), w, h,
                                                           t, v, op);
                };
                vqtest::ImageSet im = vqtest::makeImages(layouts);
                std::mt19937 rng(seed);
                for (auto& g : im)
                    g.fillRandom(rng);
                const std::vector<uint8_t> before = im[0].pixels();
                ASSERT_EQ(run(0, im), 0);
                const std::vector<uint8_t> after = im.back().pixels();
                for (size_t k = 0; k < before.size(); ++k) {
                    const uint8_t p = before[k];
                    const bool replace = op == thresholdLess ? p < t : p > t;
                    ASSERT_EQ(after[k], replace ? v : p) << "width " << w << " align " << a;
                }
                for (auto& g : im)
                    ASSERT_TRUE(g.guardsIntact());
                ASSERT_TRUE(vqtest::expectPathsMatch(layouts, seed, run, "thresholdValByOp8uC1"));
            }
    }
}

} // namespace
