// Decoded-sample helpers against direct formulas: bit-depth adjustment with
// its level offset, clamping, 8-bit conversion of every precision, and the
// copies and re-sampling between a component's grid and the image grid.
#include <gtest/gtest.h>

#include <bit>
#include <cstdint>
#include <random>
#include <vector>

#include "j2k/sample_convert.h"

namespace {

// w x h 32-bit samples with two cells of padding after each row.
struct Plane {
    int32_t w, h, step;
    std::vector<int32_t> cells;
    Plane(int32_t ww, int32_t hh, int32_t fill = 0x7EADBEEF) : w(ww), h(hh), step(ww + 2), cells(size_t(step) * hh, fill) {}
    int32_t& at(int32_t x, int32_t y) { return cells[size_t(y) * step + x]; }
    PlaneRef ref() { return PlaneRef(cells.data(), step * 4); }
    IntPair size() const { return IntPair(w, h); }
    bool paddingIntact() const {
        for (int32_t y = 0; y < h; ++y)
            for (int32_t x = w; x < step; ++x)
                if (cells[size_t(y) * step + x] != 0x7EADBEEF)
                    return false;
        return true;
    }
};

TEST(SampleConvert, AdjustSampleDepthShiftsThenOffsets) {
    struct Case {
        int32_t srcBits;
        bool srcSigned;
        int32_t dstBits;
        bool dstSigned;
        int32_t in, want;
    };
    const Case cases[] = {
        {7, true, 7, false, -128, 0},     {7, true, 7, false, 127, 255},   {11, false, 7, false, 4095, 255},
        {11, false, 7, false, 17, 1},     {11, true, 7, false, -2048, 0},  {11, true, 7, false, -17, 126},
        {7, false, 7, true, 0, -128},     {7, false, 11, false, 255, 4080}, {3, true, 7, false, -8, 0},
        {7, true, 7, true, -5, -5},
    };
    for (const Case& c : cases) {
        Plane p(3, 2, 0);
        for (auto& v : p.cells)
            v = c.in;
        AdjustSampleDepth(p.ref(), p.size(), c.srcBits, c.srcSigned, c.dstBits, c.dstSigned);
        for (int32_t y = 0; y < 2; ++y)
            for (int32_t x = 0; x < 3; ++x)
                ASSERT_EQ(p.at(x, y), c.want) << c.srcBits << "/" << c.srcSigned << " -> " << c.dstBits << "/"
                                              << c.dstSigned << " of " << c.in;
        EXPECT_EQ(p.at(3, 0), c.in) << "padding touched";
    }
}

TEST(SampleConvert, ClampShiftAndAddConstant) {
    Plane p(4, 1);
    const int32_t in[] = {-1, 0, 255, 256};
    for (int32_t x = 0; x < 4; ++x)
        p.at(x, 0) = in[x];
    ClampPlane(p.ref(), p.size(), 0, 255);
    EXPECT_EQ(std::vector<int32_t>({p.at(0, 0), p.at(1, 0), p.at(2, 0), p.at(3, 0)}),
              (std::vector<int32_t>{0, 0, 255, 255}));
    ShiftPlane32(p.ref(), p.size(), 2);
    EXPECT_EQ(p.at(2, 0), 1020);
    p.at(0, 0) = -7;
    ShiftPlane32(p.ref(), p.size(), -1);
    EXPECT_EQ(p.at(0, 0), -4);  // arithmetic
    AddConstPlane32(p.ref(), p.size(), 5);
    EXPECT_EQ(p.at(0, 0), 1);
    EXPECT_TRUE(p.paddingIntact());
}

// Every precision from 1 to 16 bits, signed and unsigned, to 8 bits: a shift
// by the depth difference, 128 added for signed sources, clamped to 0..255.
TEST(SampleConvert, ConvertComponentTo8uEveryPrecision) {
    std::mt19937 rng(2);
    for (int32_t bits = 1; bits <= 16; ++bits)
        for (bool isSigned : {false, true}) {
            const int64_t lo = isSigned ? -(int64_t(1) << (bits - 1)) : 0;
            const int64_t hi = isSigned ? (int64_t(1) << (bits - 1)) - 1 : (int64_t(1) << bits) - 1;
            std::uniform_int_distribution<int64_t> u(lo, hi);
            Plane src(9, 3), dst(9, 3);
            for (int32_t y = 0; y < 3; ++y)
                for (int32_t x = 0; x < 9; ++x)
                    src.at(x, y) = int32_t(u(rng));
            src.at(0, 0) = int32_t(lo), src.at(1, 0) = int32_t(hi);
            ConvertComponentTo8u(src.ref(), DJP2BitDepth(bits - 1, isSigned), src.size(), dst.ref());
            for (int32_t y = 0; y < 3; ++y)
                for (int32_t x = 0; x < 9; ++x) {
                    const int64_t v = src.at(x, y);
                    int64_t want = bits <= 8 ? v * (int64_t(1) << (8 - bits)) : (v >> (bits - 8));
                    want += isSigned ? 128 : 0;
                    want = want < 0 ? 0 : want > 255 ? 255 : want;
                    ASSERT_EQ(dst.at(x, y), want) << bits << (isSigned ? " signed " : " unsigned ") << v;
                }
            EXPECT_EQ(dst.at(0, 0), 0);
            EXPECT_EQ(dst.at(1, 0), bits >= 8 ? 255 : int32_t((hi + (isSigned ? (int64_t(1) << (bits - 1)) : 0))
                                                                  << (8 - bits)));
            EXPECT_TRUE(dst.paddingIntact());
        }
}

TEST(SampleConvert, ConvertComponentsTo8uStopsAtTheImagesComponents) {
    DJP2Image image;
    const IntPair sampling[] = {IntPair(1, 1)};
    image.SetGeometry(J2KRect(0, 0, 2, 2), sampling, 1);
    image.BitDepths()[0] = DJP2BitDepth(11, false);
    for (int32_t y = 0; y < 2; ++y)
        for (int32_t x = 0; x < 2; ++x)
            image.Components()[0].Row(y)[x] = 4095 - 16 * (2 * y + x);
    Plane out[3] = {Plane(2, 2), Plane(2, 2), Plane(2, 2)};
    const PlaneRef refs[3] = {out[0].ref(), out[1].ref(), out[2].ref()};
    ConvertComponentsTo8u(image, 3, refs);
    EXPECT_EQ(out[0].at(0, 0), 255);
    EXPECT_EQ(out[0].at(1, 1), 252);
    EXPECT_EQ(out[1].at(0, 0), 0x7EADBEEF);  // no second component: untouched
    EXPECT_EQ(out[2].at(1, 1), 0x7EADBEEF);
}

TEST(SampleConvert, ZeroSizedPlanesAreNeverTouched) {
    const PlaneRef none;
    AdjustSampleDepth(none, IntPair(0, 5), 11, true, 7, false);
    ClampPlane(none, IntPair(5, 0), 0, 255);
    AddConstPlane32(none, IntPair(0, 0), 9);
    ShiftPlane32(none, IntPair(0, 3), 4);
    CopyPlane32(none, none, IntPair(0, 1));
    ResamplePlane32(none, IntPair(0, 0), none, IntPair(0, 0));
    UpsampleComponent(none, IntPair(0, 0), IntPair(2, 2), none, J2KRect(0, 0, 0, 0));
    DownsampleComponent(none, J2KRect(0, 0, 0, 0), none, IntPair(0, 0), IntPair(2, 2));
    SUCCEED() << "no sample was read or written through the null planes";
}

TEST(SampleConvert, GeometryHelpers) {
    J2KRect r;
    CeilDivRect(r, J2KRect(0, 0, 255, 255), IntPair(2, 1));
    EXPECT_EQ(r, J2KRect(0, 0, 128, 255));
    CeilDivRect(r, J2KRect(1, 1, 254, 254), IntPair(2, 2));
    EXPECT_EQ(r, J2KRect(1, 1, 127, 127));
    CeilDivRect(r, J2KRect(1, 0, 1, 1), IntPair(2, 1));  // a column that holds no component sample
    EXPECT_EQ(r.width, 0u);
    IntPair q;
    CeilDivPair(q, IntPair(255, 7), IntPair(2, 4));
    EXPECT_EQ(q.first, 128);
    EXPECT_EQ(q.second, 2);
}

// Same grid: a copy. Sub-sampled: the component lands on the image grid; a
// constant component stays constant, and back on its own grid every
// component sample is written again.
TEST(SampleConvert, UpsampleAndDownsampleBetweenGrids) {
    Plane c(3, 2), img(3, 2);
    for (int32_t y = 0; y < 2; ++y)
        for (int32_t x = 0; x < 3; ++x)
            c.at(x, y) = 10 * y + x;
    UpsampleComponent(c.ref(), c.size(), IntPair(1, 1), img.ref(), J2KRect(4, 4, 3, 2));
    for (int32_t y = 0; y < 2; ++y)
        for (int32_t x = 0; x < 3; ++x)
            EXPECT_EQ(img.at(x, y), 10 * y + x);

    for (uint32_t x0 : {0u, 1u})
        for (IntPair f : {IntPair(2, 1), IntPair(2, 2), IntPair(1, 2)}) {
            const J2KRect image(x0, x0, 9, 7);
            J2KRect compRect;
            CeilDivRect(compRect, image, f);
            Plane comp(int32_t(compRect.width), int32_t(compRect.height), 0), full(9, 7), back(comp.w, comp.h);
            for (auto& v : comp.cells)
                v = 77;
            UpsampleComponent(comp.ref(), comp.size(), f, full.ref(), image);
            for (int32_t y = 0; y < 7; ++y)
                for (int32_t x = 0; x < 9; ++x)
                    ASSERT_EQ(full.at(x, y), 77) << "x0 " << x0 << " at " << x << "," << y;
            DownsampleComponent(full.ref(), image, back.ref(), comp.size(), f);
            for (int32_t y = 0; y < back.h; ++y)
                for (int32_t x = 0; x < back.w; ++x)
                    ASSERT_EQ(back.at(x, y), 77) << "x0 " << x0 << " at " << x << "," << y;
            EXPECT_TRUE(full.paddingIntact() && back.paddingIntact());
        }
}

// Component sample k sits on image column 2k for an even image origin and
// 2k + 1 for an odd one (half a component sample further): a smooth
// component is met at those columns (the cubic kernel does not pass exactly
// through its samples, hence the tolerance), and the odd-origin plane is the
// even-origin one moved by one column.
TEST(SampleConvert, UpsamplingPutsSamplesOnTheirReferencePositions) {
    const int32_t cw = 7, ch = 5;
    Plane comp(cw, ch);
    for (int32_t y = 0; y < ch; ++y)
        for (int32_t x = 0; x < cw; ++x)
            comp.at(x, y) = 20 * x + 3 * y;
    Plane even(14, ch), odd(13, ch);
    UpsampleComponent(comp.ref(), comp.size(), IntPair(2, 1), even.ref(), J2KRect(0, 0, 14, ch));
    UpsampleComponent(comp.ref(), comp.size(), IntPair(2, 1), odd.ref(), J2KRect(1, 0, 13, ch));
    for (int32_t y = 0; y < ch; ++y) {
        for (int32_t k = 2; k + 2 < cw; ++k) {  // away from the replicated edges
            EXPECT_NEAR(even.at(2 * k, y), comp.at(k, y), 3) << k << "," << y;
            EXPECT_NEAR(even.at(2 * k + 1, y), comp.at(k, y) + 10, 3) << k << "," << y;
            EXPECT_NEAR(odd.at(2 * k + 1, y), comp.at(k, y), 3) << k << "," << y;
        }
        for (int32_t x = 0; x < 12; ++x)
            EXPECT_NEAR(odd.at(x + 1, y), even.at(x, y), 1) << x << "," << y;
    }
    EXPECT_TRUE(even.paddingIntact() && odd.paddingIntact());
}

TEST(SampleConvert, ResamplePlaneCopiesOrResizes) {
    Plane a(4, 3), b(4, 3), big(8, 5);
    for (auto& v : a.cells)
        v = -300;
    ResamplePlane32(a.ref(), a.size(), b.ref(), b.size());
    EXPECT_EQ(b.at(3, 2), -300);
    ResamplePlane32(a.ref(), a.size(), big.ref(), big.size());
    for (int32_t y = 0; y < 5; ++y)
        for (int32_t x = 0; x < 8; ++x)
            EXPECT_EQ(big.at(x, y), -300) << x << "," << y;
}

} // namespace
