// Copy and zero of 16-bit and 32-bit vectors on every path: exact bytes for
// every length, source and destination offset, guard bytes untouched, the
// argument checks, and the streaming branch of the byte kernels.
#include <gtest/gtest.h>

#include <cstring>
#include <random>
#include <vector>

#include "primitives/core/path_compare.h"
#include "primitives/vector/copy.h"
#include "support/path_harness.h"

namespace {

using vqtest::GuardedImage;
using vqtest::pathName;

// One element size's copy and zero, called through the path tables.
struct Family {
    int size;
    int32_t (*copy)(int path, const void* src, void* dst, int32_t n);
    int32_t (*zero)(int path, void* dst, int32_t n);
};

const Family kFamilies[] = {
    {2,
     [](int p, const void* s, void* d, int32_t n) {
         return copyVector16sTable[p](static_cast<const int16_t*>(s), static_cast<int16_t*>(d), n);
     },
     [](int p, void* d, int32_t n) { return zeroVector16sTable[p](static_cast<int16_t*>(d), n); }},
    {4,
     [](int p, const void* s, void* d, int32_t n) {
         return copyVector32sTable[p](static_cast<const int32_t*>(s), static_cast<int32_t*>(d), n);
     },
     [](int p, void* d, int32_t n) { return zeroVector32sTable[p](static_cast<int32_t*>(d), n); }},
};

void expectCopyAndZero(const Family& f, int path, int32_t count, int srcAlign, int dstAlign) {
    const int bytes = count * f.size;
    GuardedImage src(bytes, 1, srcAlign), dst(bytes, 1, dstAlign);
    std::mt19937 rng(count * 31 + srcAlign);
    src.fillRandom(rng);
    dst.fill(0x5C);
    const std::string what = pathName(path) + " size " + std::to_string(f.size) + " count " +
                             std::to_string(count) + " offsets " + std::to_string(srcAlign) + "/" +
                             std::to_string(dstAlign);
    ASSERT_EQ(f.copy(path, src.origin(), dst.origin(), count), primNoErr) << what;
    ASSERT_EQ(dst.pixels(), src.pixels()) << what;
    ASSERT_TRUE(dst.guardsIntact()) << what;
    ASSERT_TRUE(src.guardsIntact()) << what;
    ASSERT_EQ(f.zero(path, dst.origin(), count), primNoErr) << what;
    ASSERT_EQ(dst.pixels(), std::vector<uint8_t>(bytes, 0)) << what;
    ASSERT_TRUE(dst.guardsIntact()) << what;
}

TEST(VectorCopy, ExactBytesForEveryLengthAndOffset) {
    for (const Family& f : kFamilies)
        for (int path : vqtest::allPaths())
            for (int32_t count = 1; count <= 40; ++count)
                for (int srcAlign = 0; srcAlign < 16; ++srcAlign)
                    for (int dstAlign = 0; dstAlign < 16; ++dstAlign)
                        expectCopyAndZero(f, path, count, srcAlign, dstAlign);
}

// Lengths on either side of the byte kernels' long-block lengths, with a
// small cache presented so the streaming stores are taken, and with the
// machine's own cache.
TEST(VectorCopy, LongVectorsOnEitherSideOfStreaming) {
    const int32_t counts[] = {0x10001, 0xC0001};
    for (bool fakeCache : {false, true}) {
        std::unique_ptr<vqtest::FakeCacheCpu> cpu;
        if (fakeCache)
            cpu = std::make_unique<vqtest::FakeCacheCpu>(0x43);  // 512 KiB
        for (const Family& f : kFamilies)
            for (int path : vqtest::allPaths())
                for (int32_t count : counts)
                    for (int align : {0, 6})
                        expectCopyAndZero(f, path, count / f.size * 2 + 1, align, (align * 3) % 16);
    }
}

TEST(VectorCopy, ChecksComeBeforeAnyWrite) {
    for (const Family& f : kFamilies)
        for (int path : vqtest::allPaths()) {
            GuardedImage buf(8 * f.size, 1, 3);
            buf.fill(0x11);
            const auto before = buf.pixels();
            struct Case {
                bool nullSrc, nullDst;
                int32_t count, want;
            };
            const Case cases[] = {{true, false, 4, primErrNullPtr},  {false, true, 4, primErrNullPtr},
                                  {true, true, 0, primErrNullPtr},   {false, true, -1, primErrNullPtr},
                                  {false, false, 0, primErrSize},    {false, false, -1, primErrSize},
                                  {false, false, INT32_MIN, primErrSize}};
            uint8_t other[64] = {};
            for (const Case& c : cases) {
                EXPECT_EQ(f.copy(path, c.nullSrc ? nullptr : other, c.nullDst ? nullptr : buf.origin(), c.count),
                          c.want)
                    << pathName(path) << " " << c.nullSrc << c.nullDst << " " << c.count;
                if (!c.nullSrc) {
                    EXPECT_EQ(f.zero(path, c.nullDst ? nullptr : buf.origin(), c.count), c.want)
                        << pathName(path) << " zero " << c.nullDst << " " << c.count;
                }
            }
            EXPECT_EQ(buf.pixels(), before) << pathName(path);
            EXPECT_TRUE(buf.guardsIntact());
        }
}

TEST(VectorCopy, OntoItselfAndFloatBitsUnchanged) {
    const uint32_t floats[] = {0x80000000u, 0x7FC00001u, 0xFFBFFFFFu, 0x7F800001u, 0x00000001u, 0x3F800000u, 0xFF800000u};
    const int n = sizeof floats / sizeof floats[0];
    for (int path : vqtest::allPaths()) {
        for (const Family& f : kFamilies) {
            const int bytes = 37 * f.size;
            GuardedImage buf(bytes, 1, 1);
            std::mt19937 rng(5);
            buf.fillRandom(rng);
            const auto data = buf.pixels();
            ASSERT_EQ(f.copy(path, buf.origin(), buf.origin(), 37), primNoErr);
            EXPECT_EQ(buf.pixels(), data) << pathName(path);
        }
        std::vector<float> src(n), dst(n, 1.0f);
        std::memcpy(src.data(), floats, sizeof floats);
        ASSERT_EQ(copyVector32sTable[path](reinterpret_cast<const int32_t*>(src.data()),
                                           reinterpret_cast<int32_t*>(dst.data()), n),
                  primNoErr);
        EXPECT_EQ(std::memcmp(dst.data(), floats, sizeof floats), 0) << pathName(path);
    }
}

} // namespace
