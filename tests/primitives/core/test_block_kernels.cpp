// Block memory kernels of every path: exact bytes at every alignment, the
// pattern phase of the fills, and the streaming branches, reached by
// presenting a processor whose descriptors name a small cache.
#include <gtest/gtest.h>

#include <vector>

#include "path_compare.h"
#include "primitives/core/block_kernels.h"
#include "primitives/core/copy.h"
#include "primitives/core/set.h"

namespace {

using vqtest::GuardedImage;

using ZeroFn = void* (*)(void*, int32_t);
using CopyFn = void* (*)(const void*, void*, int32_t);
using CopyNtFn = void (*)(const void*, void*, int32_t, int32_t);
using RowsFn = void (*)(const void*, int32_t, void*, int32_t, int32_t, int32_t);
using FillFn = void (*)(const uint8_t*, void*, int32_t, int32_t);

const ZeroFn kZero[6] = VQ_PATH_FORMS(zeroBytes);
const CopyFn kCopy[6] = VQ_PATH_FORMS(copyBytes);
const CopyNtFn kCopyNt[6] = {nullptr, prim::p1::copyBytesNt, prim::p2::copyBytesNt,
                             prim::p3::copyBytesNt, prim::p4::copyBytesNt, prim::p5::copyBytesNt};
const RowsFn kRows[6] = {nullptr, nullptr, nullptr, prim::p3::copyRows, prim::p4::copyRows, prim::p5::copyRows};
struct FillKind {
    int element;
    FillFn forms[6];
};
const FillKind kFills[] = {
    {1, {nullptr, prim::p1::fillBytesPattern16x1, prim::p2::fillBytesPattern16x1, prim::p3::fillBytesPattern16x1,
         prim::p4::fillBytesPattern16x1, prim::p5::fillBytesPattern16x1}},
    {2, {nullptr, prim::p1::fillBytesPattern16x2, prim::p2::fillBytesPattern16x2, prim::p3::fillBytesPattern16x2,
         prim::p4::fillBytesPattern16x2, prim::p5::fillBytesPattern16x2}},
    {3, {nullptr, prim::p1::fillBytesPattern48x3, prim::p2::fillBytesPattern48x3, prim::p3::fillBytesPattern48x3,
         prim::p4::fillBytesPattern48x3, prim::p5::fillBytesPattern48x3}},
    {4, {nullptr, prim::p1::fillBytesPattern16, prim::p2::fillBytesPattern16, prim::p3::fillBytesPattern16,
         prim::p4::fillBytesPattern16, prim::p5::fillBytesPattern16}},
};

const int kLengths[] = {1, 3, 8, 15, 16, 17, 31, 32, 33, 47, 48, 51, 63, 64, 65, 100, 127, 128, 129, 255, 1000, 4099};

std::vector<uint8_t> randomBytes(size_t n, uint32_t seed) {
    std::mt19937 rng(seed);
    std::vector<uint8_t> v(n);
    for (auto& b : v)
        b = static_cast<uint8_t>(rng());
    return v;
}

TEST(BlockKernels, ZeroAndCopyExactBytesAtEveryAlignment) {
    for (int path : vqtest::allPaths())
        for (int len : kLengths)
            for (int align = 0; align < 16; ++align) {
                GuardedImage z(len, 1, align);
                z.fill(0x77);
                ASSERT_EQ(kZero[path](z.origin(), len), z.origin());
                ASSERT_EQ(z.pixels(), std::vector<uint8_t>(len, 0)) << vqtest::pathName(path) << " " << len;
                ASSERT_TRUE(z.guardsIntact()) << vqtest::pathName(path) << " " << len << " align " << align;

                GuardedImage src(len, 1, (align * 7) % 16), dst(len, 1, align);
                src.setPixels(randomBytes(len, len + align));
                ASSERT_EQ(kCopy[path](src.origin(), dst.origin(), len), dst.origin());
                ASSERT_EQ(dst.pixels(), src.pixels()) << vqtest::pathName(path) << " " << len;
                ASSERT_TRUE(dst.guardsIntact());
                // Onto itself: unchanged.
                kCopy[path](dst.origin(), dst.origin(), len);
                ASSERT_EQ(dst.pixels(), src.pixels());
                if (path == 0)
                    continue;
                for (int32_t nt : {0, 1}) {
                    GuardedImage out(len, 1, align);
                    kCopyNt[path](src.origin(), out.origin(), len, nt);
                    ASSERT_EQ(out.pixels(), src.pixels()) << vqtest::pathName(path) << " nt " << nt << " " << len;
                    ASSERT_TRUE(out.guardsIntact());
                }
            }
}

TEST(BlockKernels, CopyRowsFollowsStepsAndCollapses) {
    for (int path : vqtest::supportedPaths()) {
        if (!kRows[path])
            continue;
        for (const auto& c : vqtest::sweepCases(5 + path, 64, 200)) {
            GuardedImage src(c.width, c.height, c.srcAlign, c.srcGap, c.srcNegative);
            GuardedImage dst(c.width, c.height, c.dstAlign, c.dstGap, c.dstNegative);
            std::mt19937 rng(c.width);
            src.fillRandom(rng);
            kRows[path](src.origin(), src.step(), dst.origin(), dst.step(), c.width, c.height);
            ASSERT_EQ(dst.pixels(), src.pixels()) << c.describe();
            ASSERT_TRUE(dst.guardsIntact()) << c.describe();
        }
    }
}

TEST(BlockKernels, FillsStayInPhaseAtEveryAlignment) {
    for (const FillKind& kind : kFills) {
        const int e = kind.element;
        uint8_t value[4] = {0x11, 0x22, 0x33, 0x44};
        alignas(16) uint8_t pattern[64];
        for (int i = 0; i < 64; ++i)
            pattern[i] = value[i % e];
        for (int path : vqtest::supportedPaths())
            for (int elements : {1, 5, 6, 15, 16, 17, 21, 22, 40, 100, 333})
                for (int align = 0; align < 16; ++align)
                    for (int32_t nt : {0, 1}) {
                        const int len = elements * e;
                        GuardedImage img(len, 1, align);
                        kind.forms[path](pattern, img.origin(), len, nt);
                        const auto px = img.pixels();
                        for (int i = 0; i < len; ++i)
                            ASSERT_EQ(px[i], value[i % e]) << vqtest::pathName(path) << " e " << e << " len " << len
                                                           << " align " << align;
                        ASSERT_TRUE(img.guardsIntact());
                    }
    }
}

TEST(BlockKernels, WrapperStatuses) {
    using ZeroVecFn = int32_t (*)(uint8_t*, int32_t);
    using CopyVecFn = int32_t (*)(const int32_t*, int32_t*, int32_t);
    const ZeroVecFn zero[6] = VQ_PATH_FORMS(zeroVector8u);
    const CopyVecFn copy[6] = VQ_PATH_FORMS(copyVector32s);
    for (int path : vqtest::allPaths()) {
        uint8_t b[8] = {1, 1, 1, 1, 1, 1, 1, 1};
        EXPECT_EQ(zero[path](nullptr, 0), primErrNullPtr);
        EXPECT_EQ(zero[path](b, 0), primErrSize);
        EXPECT_EQ(b[0], 1);
        EXPECT_EQ(zero[path](b, 5), primNoErr);
        EXPECT_EQ(b[4] + b[5], 1);
        const int32_t s[3] = {-1, 2, 3};
        int32_t d[3] = {};
        EXPECT_EQ(copy[path](s, nullptr, 3), primErrNullPtr);
        EXPECT_EQ(copy[path](nullptr, d, -1), primErrNullPtr);
        EXPECT_EQ(copy[path](s, d, 0), primErrSize);
        EXPECT_EQ(copy[path](s, d, 3), primNoErr);
        EXPECT_EQ(d[0] + d[1] + d[2], 4);
    }
}

TEST(BlockKernels, LongBlockCacheLookup) {
    struct Case {
        const char* vendor;
        uint8_t descriptor;
        int32_t size;
    };
    const Case cases[] = {
        {"GenuineIntel", 0x43, 512 * 1024},       // smallest listed cache
        {"GenuineIntel", 0x3D, 0},                // 384 KiB: not worth streaming past
        {"GenuineIntel", 0x4E, 6 * 1024 * 1024},
        {"AuthenticAMD", 0x4E, 0},                // other vendors never stream
    };
    for (const Case& c : cases) {
        vqtest::FakeCacheCpu cpu(c.descriptor, c.vendor);
        EXPECT_EQ(blockCacheSize(), c.size) << c.vendor << " " << int(c.descriptor);
    }
    vqtest::FakeCacheCpu cpu(0x43);
    EXPECT_FALSE(streamPastCache(0x100000, 0x100000));     // not above the threshold
    EXPECT_TRUE(streamPastCache(0x100001, 0x100000));
    vqtest::FakeCacheCpu other(0x43, "AuthenticAMD");       // cache size unknown: status 36
    EXPECT_FALSE(streamPastCache(0x1000000, 0x100000));
}

// Long blocks with a 512 KiB cache: every kernel and primitive takes its
// streaming branch, and must still write exactly its bytes.
TEST(BlockKernels, StreamingBranchesWriteExactBytes) {
    vqtest::FakeCacheCpu cpu(0x43);
    const int len = 0x180000 + 37;  // above every kernel's long-block length, odd tail
    const auto src = randomBytes(len + 64, 9);
    for (int path : vqtest::allPaths()) {
        for (int align : {0, 5}) {
            std::vector<uint8_t> dst(len + 64, 0xEE);
            kCopy[path](src.data() + align, dst.data() + align, len);
            ASSERT_TRUE(std::equal(dst.begin() + align, dst.begin() + align + len, src.begin() + align))
                << vqtest::pathName(path);
            ASSERT_EQ(dst[align + len], 0xEE);
            if (align) {
                ASSERT_EQ(dst[align - 1], 0xEE);
            }
            kZero[path](dst.data() + align, len);
            for (int i = 0; i < len; i += 4093)
                ASSERT_EQ(dst[align + i], 0);
            ASSERT_EQ(dst[align + len - 1], 0);
            ASSERT_EQ(dst[align + len], 0xEE);
        }
        if (kRows[path]) {
            // 10-byte rows with steps of 16, 300000 rows: exactly 10 bytes a row.
            const int rows = 300000;
            std::vector<uint8_t> s(16 * rows), d(16 * rows, 0xEE);
            for (size_t i = 0; i < s.size(); ++i)
                s[i] = static_cast<uint8_t>(i * 7);
            kRows[path](s.data(), 16, d.data(), 16, 10, rows);
            for (int r = 0; r < rows; r += 997)
                for (int i = 0; i < 16; ++i)
                    ASSERT_EQ(d[16 * r + i], i < 10 ? s[16 * r + i] : 0xEE) << r;
            ASSERT_EQ(d[16 * (rows - 1) + 9], s[16 * (rows - 1) + 9]);
            ASSERT_EQ(d[16 * (rows - 1) + 10], 0xEE);
        }
    }
}

TEST(CopyAndSet, LargeRegionsMatchGenericWhenStreaming) {
    // 2 MiB regions with gaps: SSE2/SSE3 stream by their fixed rule, paths
    // 3-5 and the fills because the fake cache is small.
    vqtest::FakeCacheCpu cpu(0x43);
    const int w = 1024, h = 700, gap = 3;
    GuardedImage src(w * 3, h, 1, gap);
    std::mt19937 rng(4);
    src.fillRandom(rng);
    for (bool gapFree : {false, true}) {
        GuardedImage ref(w * 3, h, 7, gapFree ? 0 : gap);
        ASSERT_EQ(copyRoi8uC3Table[0](src.origin(), src.step(), ref.origin(), ref.step(), {w, h}), primNoErr);
        for (int path : vqtest::supportedPaths()) {
            GuardedImage out(w * 3, h, 7, gapFree ? 0 : gap);
            ASSERT_EQ(copyRoi8uC3Table[path](src.origin(), src.step(), out.origin(), out.step(), {w, h}), primNoErr);
            ASSERT_TRUE(out.sameAllAs(ref)) << vqtest::pathName(path);
            const uint8_t rgb[3] = {1, 2, 3};
            GuardedImage setRef(w * 3, h, 3, gapFree ? 0 : gap), setOut(w * 3, h, 3, gapFree ? 0 : gap);
            ASSERT_EQ(setRoi8uC3Table[0](rgb, setRef.origin(), setRef.step(), {w, h}), primNoErr);
            ASSERT_EQ(setRoi8uC3Table[path](rgb, setOut.origin(), setOut.step(), {w, h}), primNoErr);
            ASSERT_TRUE(setOut.sameAllAs(setRef)) << vqtest::pathName(path);
            ASSERT_EQ(setRoi16uC1Table[path](0xFEDC, setOut.as<uint16_t>(), setOut.step(), {w * 3 / 2, h}),
                      primNoErr);
            ASSERT_EQ(setRoi16uC1Table[0](0xFEDC, setRef.as<uint16_t>(), setRef.step(), {w * 3 / 2, h}), primNoErr);
            ASSERT_TRUE(setOut.sameAllAs(setRef)) << vqtest::pathName(path);
        }
    }
}

} // namespace
