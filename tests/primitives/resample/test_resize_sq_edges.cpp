// Square-pixel edge post-passes: the frame of partly covered pixels around
// the wholly covered region, blended with the old values or faded to 0.
#include <gtest/gtest.h>

#include <iterator>

#include <cstdint>
#include <vector>

#include "primitives/resample/resize_sq.h"
#include "tests/primitives/resample/resample_oracle.h"

using rstest::Image;

namespace {

constexpr int32_t kBlend = int32_t(resizeEdgeBlend);
constexpr int32_t kFade = int32_t(resizeEdgeFade);

// A constant source of `value` mapped with factor 1 and the given shifts
// onto a destination filled with `old`.
template <class T>
Image<T> laid(int channels, T value, T old, double xShift, double yShift, int32_t flags, int32_t code = 2) {
    const Image<T> src(10, 10, channels, value);
    Image<T> dst(20, 20, channels, old);
    EXPECT_EQ(rstest::resizeSq(src, dst, 1.0, 1.0, xShift, yShift, code | flags), 0);
    return dst;
}

} // namespace

TEST(ResizeSqEdges, CoverageOfSidesAndCorners) {
    // Mapped x 2.25 .. 12.25, y 4.5 .. 14.5: region columns 3 .. 11, rows 5 .. 13.
    const Image<uint8_t> blend = laid<uint8_t>(1, 200, 100, 2.25, 4.5, kBlend);
    const Image<uint8_t> fade = laid<uint8_t>(1, 200, 100, 2.25, 4.5, kFade);
    struct {
        int x, y;
        uint8_t blend, fade;
    } const cells[] = {
        {5, 8, 200, 200},  // inside the region
        {2, 8, 175, 150},  // left column, coverage 0.75
        {12, 8, 125, 50},  // right column, 0.25
        {5, 4, 150, 100},  // top row, 0.5
        {5, 14, 150, 100}, // bottom row, 0.5
        {2, 4, 138, 75},   // corner, 0.375
        {12, 14, 113, 25}, // corner, 0.125
        {1, 8, 100, 100},  // outside the frame
        {13, 8, 100, 100}, {5, 3, 100, 100}, {5, 15, 100, 100},
    };
    for (const auto& c : cells) {
        EXPECT_EQ(blend.at(c.x, c.y), c.blend) << c.x << "," << c.y;
        EXPECT_EQ(fade.at(c.x, c.y), c.fade) << c.x << "," << c.y;
    }
    // Three channels mix each channel with the same coverage.
    Image<uint8_t> src3(10, 10, 3);
    for (int y = 0; y < 10; ++y)
        for (int x = 0; x < 10; ++x) {
            src3.at(x, y, 0) = 200;
            src3.at(x, y, 1) = 40;
            src3.at(x, y, 2) = 0;
        }
    Image<uint8_t> dst3(20, 20, 3, 100);
    ASSERT_EQ(rstest::resizeSq(src3, dst3, 1.0, 1.0, 2.25, 0, 4 | kBlend), 0);
    EXPECT_EQ(dst3.at(2, 3, 0), 175);
    EXPECT_EQ(dst3.at(2, 3, 1), 55);
    EXPECT_EQ(dst3.at(2, 3, 2), 25);
}

TEST(ResizeSqEdges, WholeEdgesWriteNoFrame) {
    std::mt19937 rng(4);
    const Image<uint8_t> src = rstest::randomImage<uint8_t>(32, 24, 3, rng, 255);
    for (int32_t flags : {kBlend, kFade})
        for (int32_t code : {2, 4, 16}) {
            Image<uint8_t> plain(20, 16, 3, 9), flagged(20, 16, 3, 9);
            ASSERT_EQ(rstest::resizeSq(src, plain, 0.5, 0.5, 0, 0, code), 0);
            ASSERT_EQ(rstest::resizeSq(src, flagged, 0.5, 0.5, 0, 0, code | flags), 0);
            EXPECT_EQ(plain.px, flagged.px);
            EXPECT_EQ(flagged.at(16, 0, 0), 9);
        }
    // Mapped x 3.00000000005 .. 13.00000000005, y -0.00000000005 .. 9.99999999995:
    // fractions within 1e-10 of a whole pixel count as whole, so columns
    // 3 .. 12 and rows 0 .. 9 form the region with no left or bottom frame;
    // the right edge's tiny fraction is a real coverage of about 5e-11, and
    // the fade sets column 13 to 0.
    const Image<uint8_t> tiny = laid<uint8_t>(1, 200, 100, 3.00000000005, -0.00000000005, kFade);
    for (int y = 0; y < 20; ++y)
        for (int x = 0; x < 20; ++x) {
            const int want = y >= 10 ? 100 : (x >= 3 && x <= 12) ? 200 : x == 13 ? 0 : 100;
            EXPECT_EQ(tiny.at(x, y), want) << x << "," << y;
        }
}

TEST(ResizeSqEdges, RoundingAndRanges) {
    // 16-bit fade of 65535 with coverage 0.5 gives 32768.
    const Image<uint16_t> fade16 = laid<uint16_t>(1, 65535, 7, 0.5, 0, kFade);
    EXPECT_EQ(fade16.at(0, 3), 32768);
    EXPECT_EQ(fade16.at(10, 3), 32768);
    // 8-bit blend of 250 toward 255 with coverage 0.99 rounds up to 255.
    const Image<uint8_t> blend = laid<uint8_t>(1, 255, 250, 0.01, 0, kBlend);
    EXPECT_EQ(blend.at(0, 3), 255);
    // Blend with c = 0.5 of old 10 toward 21: 16; fade: 11.
    EXPECT_EQ(laid<uint8_t>(1, 21, 10, 0.5, 0, kBlend).at(0, 3), 16);
    EXPECT_EQ(laid<uint8_t>(1, 21, 10, 0.5, 0, kFade).at(0, 3), 11);
    // A blend toward the value a pixel already holds leaves it.
    EXPECT_EQ(laid<uint8_t>(1, 77, 77, 0.3, 0.6, kBlend).px, Image<uint8_t>(20, 20, 1, 77).px);
}

namespace {

// One generic edge pass over a 14 x 12 destination of `old`, the region
// (columns rx .. rx + w - 1, rows ry .. ry + h - 1) filled with `in`.
template <class T> struct EdgeCase {
    bool fade;
    int channels;
    int rx, ry, w, h;
    double x0, x1, y0, y1;
    T old, in;
    // Expected channel-0 values of inclusive spans (xa, ya) .. (xb, yb);
    // every other pixel keeps its value.
    struct Span {
        int xa, ya, xb, yb;
        T v;
    };
    std::vector<Span> want;
};

template <class T> void runEdgeCase(const EdgeCase<T>& k, size_t index) {
    Image<T> dst(14, 12, k.channels, k.old);
    for (int y = k.ry; y < k.ry + k.h; ++y)
        for (int x = k.rx; x < k.rx + k.w; ++x)
            for (int c = 0; c < k.channels; ++c)
                dst.at(x, y, c) = T(k.in + 7 * c); // channels differ to show they mix separately
    Image<T> before = dst;
    using Fn = void (*)(void*, int32_t, int32_t, int32_t, double, double, double, double);
    Fn fn;
    if constexpr (sizeof(T) == 1)
        fn = k.channels == 1 ? (k.fade ? prim::generic::resizeSqEdgeFade8uC1 : prim::generic::resizeSqEdgeBlend8uC1)
                             : (k.fade ? prim::generic::resizeSqEdgeFade8uC3 : prim::generic::resizeSqEdgeBlend8uC3);
    else
        fn = k.channels == 1 ? (k.fade ? prim::generic::resizeSqEdgeFade16uC1 : prim::generic::resizeSqEdgeBlend16uC1)
                             : (k.fade ? prim::generic::resizeSqEdgeFade16uC3 : prim::generic::resizeSqEdgeBlend16uC3);
    fn(&dst.at(k.rx, k.ry), dst.step(), k.w, k.h, k.x0, k.x1, k.y0, k.y1);
    for (const auto& span : k.want)
        for (int y = span.ya; y <= span.yb; ++y)
            for (int x = span.xa; x <= span.xb; ++x)
                before.at(x, y) = span.v;
    for (int y = 0; y < 12; ++y)
        for (int x = 0; x < 14; ++x) {
            EXPECT_EQ(dst.at(x, y, 0), before.at(x, y, 0)) << "case " << index << " at " << x << "," << y;
            if (k.channels == 3 && dst.at(x, y, 0) != T(k.old) && !(x >= k.rx && x < k.rx + k.w && y >= k.ry &&
                                                                   y < k.ry + k.h))
                EXPECT_NE(dst.at(x, y, 1), dst.at(x, y, 0)) << "case " << index; // mixed with its own channel
        }
}

} // namespace

// The frame of the generic blend and fade passes, pixel by pixel.
TEST(ResizeSqEdges, GenericPassTables) {
    const EdgeCase<uint8_t> cases8[] = {
        // x0 2.5, y0 1.5: column 2 and row 1 at 0.5, their corner at 0.25.
        {false, 1, 3, 2, 7, 5, 2.5, 10, 1.5, 7, 10, 21, {{2, 2, 2, 6, 16}, {3, 1, 9, 1, 16}, {2, 1, 2, 1, 13}}},
        {true, 1, 3, 2, 7, 5, 2.5, 10, 1.5, 7, 10, 21, {{2, 2, 2, 6, 11}, {3, 1, 9, 1, 11}, {2, 1, 2, 1, 5}}},
        // Whole edges, and fractions within 1e-10 of whole: nothing written.
        {false, 1, 3, 2, 7, 5, 3, 10, 2, 7, 10, 21, {}},
        {true, 1, 3, 2, 7, 5, 3.00000000005, 9.99999999995, 2, 7, 10, 21, {}},
        // Only the top edge fractional: the top row, no corners.
        {false, 1, 3, 2, 7, 5, 3, 10, 1.25, 7, 0, 200, {{3, 1, 9, 1, 150}}},
        // Coverages next to a rounding step.
        {false, 1, 3, 2, 1, 1, 2.500003, 4, 2, 3, 100, 101, {{2, 2, 2, 2, 100}}},
        {false, 1, 3, 2, 1, 1, 2.50000008, 4, 2, 3, 1, 2, {{2, 2, 2, 2, 2}}},
        // A tiny right fraction treats the column after the region.
        {false, 1, 3, 2, 6, 5, 3, 9.000000000001, 2, 7, 10, 21, {}},
        {true, 1, 3, 2, 6, 5, 3, 9.000000000001, 2, 7, 10, 21,
         {{9, 2, 9, 6, 0}}},
        // One pixel wide with top, left and right coverage.
        {true, 1, 5, 3, 1, 2, 4.5, 6.5, 2.5, 5, 0, 100,
         {{5, 2, 5, 2, 50}, {4, 3, 4, 4, 50}, {6, 3, 6, 4, 50}, {4, 2, 4, 2, 25}, {6, 2, 6, 2, 25}}},
        // Three channels: each mixed with its own reference sample.
        {false, 3, 3, 2, 7, 5, 2.5, 10, 2, 7, 10, 21, {{2, 2, 2, 6, 16}}},
    };
    for (size_t i = 0; i < std::size(cases8); ++i)
        runEdgeCase(cases8[i], i);
    const EdgeCase<uint16_t> cases16[] = {
        {false, 1, 3, 2, 7, 5, 2.5, 10, 2, 7, 1000, 2001, {{2, 2, 2, 6, 1501}}},
        {true, 1, 3, 2, 7, 5, 2.5, 10, 2, 7, 1000, 2001, {{2, 2, 2, 6, 1001}}},
        // Height 1, bottom edge 2.65: coverage a little below 0.65.
        {true, 1, 3, 1, 4, 1, 3, 7, 1, 2.65, 0, 40970, {{3, 2, 6, 2, 26631}}},
        {false, 1, 3, 1, 4, 1, 3, 7, 1, 2.65, 0, 90, {{3, 2, 6, 2, 59}}},
        {false, 1, 3, 1, 4, 1, 3, 7, 1, 2.499, 40000, 40001, {}},
        {false, 1, 3, 1, 4, 1, 3, 7, 1, 2.498, 40000, 40001, {}},
        // The top of the range stays in range.
        {false, 1, 3, 2, 7, 5, 2.1, 10, 2, 7, 65535, 65535, {}},
        {true, 1, 3, 2, 7, 5, 2.000001, 10, 2, 7, 0, 65535, {{2, 2, 2, 6, 65535}}},
        {false, 3, 3, 2, 7, 5, 2.5, 10, 2, 7, 1000, 2001, {{2, 2, 2, 6, 1501}}},
    };
    for (size_t i = 0; i < std::size(cases16); ++i)
        runEdgeCase(cases16[i], 100 + i);
}
