// The path-comparison harness itself: guards, gaps and step signs behave, so
// that later primitive tests can trust it.
#include <gtest/gtest.h>

#include <cstring>

#include "support/path_harness.h"

namespace {

TEST(PathHarness, GuardsGapsAndNegativeSteps) {
    for (bool negative : {false, true}) {
        for (int align = 0; align < 16; ++align) {
            vqtest::GuardedImage img(7, 4, align, 3, negative);
            EXPECT_EQ((reinterpret_cast<uintptr_t>(negative ? img.row(3) : img.row(0)) & 31), uintptr_t(align));
            EXPECT_EQ(img.step(), negative ? -10 : 10);
            std::mt19937 rng(align);
            img.fillRandom(rng);
            EXPECT_TRUE(img.guardsIntact());
            img.row(1)[7] = 0;  // first gap byte after row 1
            EXPECT_FALSE(img.guardsIntact());
        }
    }
    vqtest::GuardedImage img(5, 2);
    img.row(0)[-1] = 0;  // byte before the region
    EXPECT_FALSE(img.guardsIntact());
    vqtest::GuardedImage tail(5, 2);
    tail.row(1)[5] = 0;  // byte after the region
    EXPECT_FALSE(tail.guardsIntact());
}

TEST(PathHarness, PixelsRoundTripAndCopies) {
    vqtest::GuardedImage a(9, 5, 3, 2, true), b(9, 5, 11, 2, true);
    std::mt19937 rng(1);
    a.fillRandom(rng);
    b.setPixels(a.pixels());
    EXPECT_EQ(a.pixels(), b.pixels());
    EXPECT_TRUE(a.sameAllAs(b));
    b.row(4)[8] ^= 1;
    EXPECT_FALSE(a.sameAllAs(b));
    b.copyAllFrom(a);
    EXPECT_TRUE(a.sameAllAs(b));
}

TEST(PathHarness, SweepCoversAlignmentsAndSpecialShapes) {
    const auto cases = vqtest::sweepCases(7, 64);
    bool srcAlign[16] = {}, dstAlign[16] = {}, neg = false, onePixel = false;
    for (const auto& c : cases) {
        EXPECT_GE(c.width, 1);
        EXPECT_LE(c.width, 70);
        EXPECT_GE(c.height, 1);
        EXPECT_LE(c.height, 70);
        srcAlign[c.srcAlign] = dstAlign[c.dstAlign] = true;
        neg |= c.srcNegative || c.dstNegative;
        onePixel |= c.width == 1 && c.height == 1;
    }
    for (int i = 0; i < 16; ++i)
        EXPECT_TRUE(srcAlign[i] && dstAlign[i]) << i;
    EXPECT_TRUE(neg);
    EXPECT_TRUE(onePixel);
}

} // namespace
