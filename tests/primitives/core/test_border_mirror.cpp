// Border copy and mirror primitives: the documented layouts, the status order
// and every path against the generic one.
#include <gtest/gtest.h>

#include <vector>

#include "path_compare.h"
#include "primitives/core/border.h"
#include "primitives/core/copy.h"
#include "primitives/core/mirror.h"

namespace {

using vqtest::GuardedImage;
using vqtest::SweepCase;

const BorderFn* const kBorders[] = {copyReplicateBorder8uC1Table, copyReplicateBorder16uC1Table,
                                    copyReplicateBorder8uC3Table, copyReplicateBorder32sC1Table,
                                    copyReplicateBorder16uC3Table};
const int kBorderBpp[] = {1, 2, 3, 4, 6};

TEST(CopyReplicateBorder, SmallLayouts) {
    for (int path : vqtest::allPaths()) {
        const uint8_t src[4] = {1, 2, 3, 4};
        uint8_t dst[16] = {};
        ASSERT_EQ(copyReplicateBorder8uC1Table[path](src, 2, {2, 2}, dst, 4, {4, 4}, 1, 1), primNoErr);
        const uint8_t want[16] = {1, 1, 2, 2, 1, 1, 2, 2, 3, 3, 4, 4, 3, 3, 4, 4};
        EXPECT_EQ(std::memcmp(dst, want, 16), 0) << vqtest::pathName(path);

        const uint8_t one = 9;
        uint8_t nine[9] = {};
        ASSERT_EQ(copyReplicateBorder8uC1Table[path](&one, 1, {1, 1}, nine, 3, {3, 3}, 1, 1), primNoErr);
        for (uint8_t v : nine)
            EXPECT_EQ(v, 9);

        // Whole pixels: the right margin of an RGB row repeats the last pixel.
        const uint8_t rgb[6] = {1, 2, 3, 4, 5, 6};
        uint8_t out[12] = {};
        ASSERT_EQ(copyReplicateBorder8uC3Table[path](rgb, 6, {2, 1}, out, 12, {4, 1}, 0, 0), primNoErr);
        const uint8_t wantRgb[12] = {1, 2, 3, 4, 5, 6, 4, 5, 6, 4, 5, 6};
        EXPECT_EQ(std::memcmp(out, wantRgb, 12), 0);

        // top 0, left 0, same size: a plain copy.
        const uint16_t w[4] = {0x102, 0x304, 0x506, 0x708};
        uint16_t wd[4] = {};
        ASSERT_EQ(copyReplicateBorder16uC1Table[path](reinterpret_cast<const uint8_t*>(w), 4, {2, 2},
                                                      reinterpret_cast<uint8_t*>(wd), 4, {2, 2}, 0, 0),
                  primNoErr);
        EXPECT_EQ(std::memcmp(w, wd, 8), 0);
    }
}

TEST(CopyReplicateBorder, StatusesInOrder) {
    uint8_t s[64] = {}, d[256] = {};
    struct Case {
        const uint8_t* src;
        int32_t srcStep;
        PrimSize srcSize;
        uint8_t* dst;
        int32_t dstStep;
        PrimSize dstSize;
        int32_t top, left, status;
    };
    const Case cases[] = {
        {s, 8, {2, 2}, nullptr, 8, {0, 0}, 0, 0, primErrNullPtr},  // null before size
        {nullptr, -1, {2, 2}, d, 8, {4, 4}, 0, 0, primErrNullPtr},
        {s, -8, {0, 2}, d, 8, {4, 4}, 0, 0, primErrStep},          // step before size
        {s, 8, {2, 2}, d, 0, {4, 4}, 0, 0, primErrStep},
        {s, 8, {2, 2}, d, 8, {4, 4}, -1, 0, primErrSize},
        {s, 8, {2, 2}, d, 8, {4, 4}, 0, -1, primErrSize},
        {s, 8, {2, 0}, d, 8, {4, 4}, 0, 0, primErrSize},
        {s, 8, {2, 2}, d, 8, {3, 4}, 0, 2, primErrSize},           // one pixel short on the right
        {s, 8, {2, 2}, d, 8, {4, 3}, 2, 0, primErrSize},
        {s, 8, {2, 2}, d, 8, {4, 4}, 0, INT32_MAX, primErrSize},   // width + left must not wrap around
        {s, 8, {2, 2}, d, 8, {4, 4}, INT32_MAX, 0, primErrSize},
        {s, 8, {2, 2}, d, 8, {4, 4}, 2, 2, primNoErr},             // no right or bottom margin
    };
    for (int path : vqtest::allPaths())
        for (int k = 0; k < 5; ++k)
            for (const Case& c : cases) {
                std::memset(d, 0, sizeof d);
                const int32_t dstStep = c.dstStep * kBorderBpp[k];
                EXPECT_EQ(kBorders[k][path](c.src, c.srcStep * kBorderBpp[k], c.srcSize, c.dst, dstStep, c.dstSize,
                                            c.top, c.left),
                          c.status);
                if (c.status != primNoErr) {
                    for (uint8_t b : d)
                        ASSERT_EQ(b, 0);
                }
            }
}

TEST(CopyReplicateBorder, EveryPathMatchesGeneric) {
    for (int k = 0; k < 5; ++k) {
        const int bpp = kBorderBpp[k];
        for (int path : vqtest::supportedPaths())
            for (const SweepCase& c : vqtest::sweepCases(31 + k + path, 64, 40)) {
                std::mt19937 rng(c.width * 7 + c.height);
                const int top = static_cast<int>(rng() % 5), left = static_cast<int>(rng() % 5);
                const int dw = c.width + left + static_cast<int>(rng() % 5);
                const int dh = c.height + top + static_cast<int>(rng() % 5);
                GuardedImage src(c.width * bpp, c.height, c.srcAlign, c.srcGap);
                GuardedImage ref(dw * bpp, dh, c.dstAlign, c.dstGap), out(dw * bpp, dh, c.dstAlign, c.dstGap);
                src.fillRandom(rng);
                ref.fillRandom(rng);
                out.copyAllFrom(ref);
                ASSERT_EQ(kBorders[k][0](src.origin(), src.step(), {c.width, c.height}, ref.origin(), ref.step(),
                                         {dw, dh}, top, left),
                          primNoErr);
                ASSERT_EQ(kBorders[k][path](src.origin(), src.step(), {c.width, c.height}, out.origin(), out.step(),
                                            {dw, dh}, top, left),
                          primNoErr);
                ASSERT_TRUE(out.sameAllAs(ref)) << vqtest::pathName(path) << " bpp " << bpp << " " << c.describe();
                ASSERT_TRUE(ref.guardsIntact());
            }
    }
}

const MirrorFn* const kMirrors[] = {mirrorInPlace8uC1Table, mirrorInPlace16uC1Table, mirrorInPlace8uC3Table,
                                    mirrorInPlace8uC4Table, mirrorInPlace16uC3Table};
const int kMirrorBpp[] = {1, 2, 3, 4, 6};

TEST(MirrorInPlace, StatusesInOrder) {
    uint8_t buf[64];
    struct Case {
        uint8_t* p;
        PrimSize size;
        int32_t axis, status;
    };
    const Case cases[] = {
        {nullptr, {3, 3}, 7, primErrNullPtr}, {buf, {0, 3}, 1, primErrSize},   {buf, {3, 1}, 0, primErrSize},
        {buf, {3, 1}, 2, primErrSize},        {buf, {1, 3}, 1, primErrSize},   {buf, {1, 3}, 2, primErrSize},
        {buf, {3, 3}, 3, primErrMirrorFlip},  {buf, {3, 3}, -1, primErrMirrorFlip},
    };
    for (int path : vqtest::allPaths())
        for (int k = 0; k < 5; ++k)
            for (const Case& c : cases) {
                for (int i = 0; i < 64; ++i)
                    buf[i] = static_cast<uint8_t>(i);
                EXPECT_EQ(kMirrors[k][path](c.p, 18, c.size, c.axis), c.status);
                for (int i = 0; i < 64; ++i)
                    ASSERT_EQ(buf[i], i);
            }
}

TEST(MirrorInPlace, AxesOnSmallImages) {
    for (int path : vqtest::allPaths()) {
        // 3 x 3 half turn: the centre stays.
        uint8_t a[9] = {1, 2, 3, 4, 5, 6, 7, 8, 9};
        ASSERT_EQ(mirrorInPlace8uC1Table[path](a, 3, {3, 3}, 2), primNoErr);
        const uint8_t turned[9] = {9, 8, 7, 6, 5, 4, 3, 2, 1};
        EXPECT_EQ(std::memcmp(a, turned, 9), 0);
        // One row about the vertical axis; one column about the horizontal.
        uint8_t row[5] = {1, 2, 3, 4, 5};
        ASSERT_EQ(mirrorInPlace8uC1Table[path](row, 5, {5, 1}, 1), primNoErr);
        const uint8_t rev[5] = {5, 4, 3, 2, 1};
        EXPECT_EQ(std::memcmp(row, rev, 5), 0);
        uint8_t col[3 * 4] = {1, 0, 0, 0, 2, 0, 0, 0, 3, 0, 0, 0};
        ASSERT_EQ(mirrorInPlace8uC1Table[path](col, 4, {1, 3}, 0), primNoErr);
        EXPECT_EQ(col[0], 3);
        EXPECT_EQ(col[4], 2);
        EXPECT_EQ(col[8], 1);
        // 4-byte pixels move whole.
        uint8_t px[8] = {1, 2, 3, 4, 5, 6, 7, 8};
        ASSERT_EQ(mirrorInPlace8uC4Table[path](px, 8, {2, 1}, 1), primNoErr);
        const uint8_t swapped[8] = {5, 6, 7, 8, 1, 2, 3, 4};
        EXPECT_EQ(std::memcmp(px, swapped, 8), 0);
    }
}

TEST(MirrorInPlace, EveryPathMatchesGeneric) {
    for (int k = 0; k < 5; ++k)
        for (int axis = 0; axis < 3; ++axis)
            vqtest::expectPathsMatchInPlace(
                kMirrorBpp[k],
                [&](int path, GuardedImage& img, const SweepCase& c) {
                    return kMirrors[k][path](img.origin(), img.step(), {c.width, c.height}, axis);
                },
                41 + k * 3 + axis, 64, 140);
}

} // namespace

namespace {

// Paths that behave alike run one body: the tables say so.
TEST(DispatchTables, SharedBodies) {
    for (int k : {3, 4, 5})
        EXPECT_EQ(copyRoi32sC1Table[k], copyRoi8uC4Table[k]);
    for (int k = 0; k < 6; ++k)
        EXPECT_EQ(copyRoi16uC1Table[k], copyRoi16sC1Table[k]);
    for (const MirrorFn* t : {mirrorInPlace8uC1Table, mirrorInPlace8uC3Table, mirrorInPlace16uC1Table,
                              mirrorInPlace16uC3Table}) {
        EXPECT_EQ(t[4], t[3]);
        EXPECT_EQ(t[5], t[3]);
        EXPECT_NE(t[2], t[3]);
    }
    EXPECT_NE(mirrorInPlace8uC4Table[4], mirrorInPlace8uC4Table[3]);
}

} // namespace
