// Copy and set primitives: argument order of the statuses, the bytes they
// write and leave alone, and every path against the generic one.
#include <gtest/gtest.h>

#include <cstring>
#include <vector>

#include "path_compare.h"
#include "primitives/core/copy.h"
#include "primitives/core/set.h"

namespace {

using vqtest::GuardedImage;
using vqtest::SweepCase;

struct CopyCase {
    const char* name;
    const CopyRoiFn* table;
    int bpp;
};
const CopyCase kCopies[] = {
    {"8uC1", copyRoi8uC1Table, 1},   {"8uC3", copyRoi8uC3Table, 3},   {"8uC4", copyRoi8uC4Table, 4},
    {"16uC1", copyRoi16uC1Table, 2}, {"16uC3", copyRoi16uC3Table, 6}, {"16sC1", copyRoi16sC1Table, 2},
    {"32sC1", copyRoi32sC1Table, 4},
};

TEST(CopyRoi, StatusesInOrderAndNothingWritten) {
    uint8_t src[16] = {1, 2, 3}, dst[16] = {};
    for (const CopyCase& c : kCopies)
        for (int path : vqtest::allPaths()) {
            const CopyRoiFn f = c.table[path];
            EXPECT_EQ(f(nullptr, 4, dst, 4, {0, 1}), primErrNullPtr) << c.name;
            EXPECT_EQ(f(src, 4, nullptr, 4, {0, 0}), primErrNullPtr) << c.name;
            EXPECT_EQ(f(src, 4, dst, 4, {0, 1}), primErrSize) << c.name;
            EXPECT_EQ(f(src, 4, dst, 4, {1, -1}), primErrSize) << c.name;
            // Steps are not tested: a zero step copies the one row again.
            EXPECT_EQ(f(src, 0, dst, 0, {1, 2}), primNoErr) << c.name;
            EXPECT_EQ(std::memcmp(src, dst, c.bpp), 0) << c.name;
            for (int i = c.bpp; i < 16; ++i)
                EXPECT_EQ(dst[i], 0) << c.name;
            std::memset(dst, 0, sizeof dst);
        }
}

TEST(CopyRoi, NegativeStepsAndGapsAndSelfCopy) {
    // Source rows upwards in memory, destination with gaps: the copy follows
    // the rows, the gaps keep their guard pattern.
    for (int path : vqtest::allPaths()) {
        GuardedImage src(9, 4, 3, 0, true), dst(9, 4, 5, 7, false);
        std::mt19937 rng(path);
        src.fillRandom(rng);
        ASSERT_EQ(copyRoi8uC3Table[path](src.origin(), src.step(), dst.origin(), dst.step(), {3, 4}), primNoErr);
        EXPECT_EQ(dst.pixels(), src.pixels());
        EXPECT_TRUE(dst.guardsIntact());
        const auto before = src.pixels();
        ASSERT_EQ(copyRoi8uC3Table[path](src.origin(), src.step(), src.origin(), src.step(), {3, 4}), primNoErr);
        EXPECT_EQ(src.pixels(), before);
    }
}

TEST(CopyRoi, OnePixelWideTallRegion) {
    // Row length 3 with larger steps: exactly 3 bytes per row, gaps intact.
    const int h = 100000;
    GuardedImage src(3, h, 1, 2), dst(3, h, 6, 5);
    std::mt19937 rng(3);
    src.fillRandom(rng);
    for (int path : vqtest::allPaths()) {
        dst.fill(0);
        ASSERT_EQ(copyRoi8uC3Table[path](src.origin(), src.step(), dst.origin(), dst.step(), {1, h}), primNoErr);
        ASSERT_EQ(dst.pixels(), src.pixels()) << vqtest::pathName(path);
        ASSERT_TRUE(dst.guardsIntact()) << vqtest::pathName(path);
    }
}

TEST(CopyRoi, EveryPathMatchesGeneric) {
    for (const CopyCase& cc : kCopies)
        vqtest::expectPathsMatchSrcDst(
            cc.bpp, cc.bpp,
            [&](int path, GuardedImage& s, GuardedImage& d, const SweepCase& c) {
                return cc.table[path](s.origin(), s.step(), d.origin(), d.step(), {c.width, c.height});
            },
            11 + cc.bpp);
}

TEST(CopyRoi, TypedEntriesShareTheByteCopy) {
    const int16_t s16[3] = {-1, 2, -3};
    int16_t d16[3] = {};
    uint16_t du[3] = {};
    ASSERT_EQ(copyRoi16sC1(s16, 6, d16, 6, {3, 1}), primNoErr);
    ASSERT_EQ(copyRoi16uC1(reinterpret_cast<const uint16_t*>(s16), 6, du, 6, {3, 1}), primNoErr);
    EXPECT_EQ(std::memcmp(d16, du, 6), 0);
    EXPECT_EQ(std::memcmp(d16, s16, 6), 0);
    const int32_t s32[2] = {-7, 1 << 30};
    int32_t d32[2] = {};
    uint8_t d8[8] = {};
    ASSERT_EQ(copyRoi32sC1(s32, 8, d32, 8, {2, 1}), primNoErr);
    ASSERT_EQ(copyRoi8uC4(reinterpret_cast<const uint8_t*>(s32), 8, d8, 8, {2, 1}), primNoErr);
    EXPECT_EQ(std::memcmp(d32, s32, 8), 0);
    EXPECT_EQ(std::memcmp(d8, s32, 8), 0);
}

TEST(SetRoi, StatusesInOrder) {
    uint8_t buf[64] = {};
    const uint8_t rgb[3] = {1, 2, 3};
    for (int path : vqtest::allPaths()) {
        EXPECT_EQ(setRoi8uC1Table[path](1, nullptr, 4, {0, 0}), primErrNullPtr);
        EXPECT_EQ(setRoi8uC1Table[path](1, buf, 4, {0, 1}), primErrSize);
        EXPECT_EQ(setRoi8uC3Table[path](nullptr, buf, 4, {1, 1}), primErrNullPtr);
        EXPECT_EQ(setRoi8uC3Table[path](rgb, nullptr, 4, {1, 1}), primErrNullPtr);
        EXPECT_EQ(setRoi8uC3Table[path](rgb, buf, 4, {0, 1}), primErrSize);
        EXPECT_EQ(setRoi16uC1Table[path](1, nullptr, 4, {1, 1}), primErrNullPtr);
        EXPECT_EQ(setRoi16uC1Table[path](1, reinterpret_cast<uint16_t*>(buf), 4, {1, 0}), primErrSize);
        EXPECT_EQ(setRoi32sC1Table[path](1, nullptr, 4, {-1, 1}), primErrNullPtr);
        EXPECT_EQ(setRoi32sC1Table[path](1, reinterpret_cast<int32_t*>(buf), 4, {-1, 1}), primErrSize);
        EXPECT_EQ(setChannel8uC4Table[path](1, buf, 4, {1, -3}), primErrSize);
        EXPECT_EQ(setChannel16uC3Table[path](1, nullptr, 4, {1, -3}), primErrNullPtr);
        for (uint8_t b : buf)
            ASSERT_EQ(b, 0);
    }
}

TEST(SetRoi, ValuesAndChannels) {
    for (int path : vqtest::allPaths()) {
        alignas(16) uint16_t w[12];
        std::memset(w, 0, sizeof w);
        ASSERT_EQ(setRoi16uC1Table[path](0xFFFF, w, 8, {3, 3}), primNoErr);
        for (int y = 0; y < 3; ++y)
            for (int x = 0; x < 4; ++x)
                EXPECT_EQ(w[y * 4 + x], x < 3 ? 0xFFFF : 0);
        alignas(16) int32_t d[6] = {};
        ASSERT_EQ(setRoi32sC1Table[path](-1, d, 12, {2, 2}), primNoErr);
        EXPECT_EQ(d[0], -1);
        EXPECT_EQ(d[1], -1);
        EXPECT_EQ(d[2], 0);
        EXPECT_EQ(d[3], -1);

        // Four-channel pixels: the destination picks the channel.
        uint8_t px[2 * 12];
        for (int i = 0; i < 24; ++i)
            px[i] = static_cast<uint8_t>(i);
        ASSERT_EQ(setChannel8uC4Table[path](200, px + 3, 12, {3, 2}), primNoErr);
        for (int i = 0; i < 24; ++i)
            EXPECT_EQ(px[i], (i % 12) < 12 && i % 4 == 3 ? 200 : i) << i;
        uint16_t c3[9] = {1, 2, 3, 4, 5, 6, 7, 8, 9};
        ASSERT_EQ(setChannel16uC3Table[path](0xABCD, c3, 18, {3, 1}), primNoErr);
        const uint16_t want[9] = {0xABCD, 2, 3, 0xABCD, 5, 6, 0xABCD, 8, 9};
        EXPECT_EQ(std::memcmp(c3, want, sizeof want), 0);
    }
}

TEST(SetRoi, ThreeByteColourAtEveryAlignment) {
    const uint8_t rgb[3] = {10, 20, 30};
    for (int path : vqtest::allPaths())
        for (int align = 0; align < 16; ++align) {
            GuardedImage img(21, 3, align, 5);
            ASSERT_EQ(setRoi8uC3Table[path](rgb, img.origin(), img.step(), {7, 3}), primNoErr);
            const auto px = img.pixels();
            for (size_t i = 0; i < px.size(); ++i)
                ASSERT_EQ(px[i], rgb[i % 3]) << vqtest::pathName(path) << " align " << align;
            ASSERT_TRUE(img.guardsIntact());
        }
}

TEST(SetRoi, EveryPathMatchesGeneric) {
    const uint8_t rgb[3] = {0x11, 0x22, 0x33};
    struct Case {
        int bpp;
        int32_t (*run)(int path, GuardedImage& img, const SweepCase& c, const uint8_t* rgb);
    };
    const Case cases[] = {
        {1, [](int p, GuardedImage& i, const SweepCase& c, const uint8_t*) {
             return setRoi8uC1Table[p](0x5A, i.origin(), i.step(), {c.width, c.height});
         }},
        {3, [](int p, GuardedImage& i, const SweepCase& c, const uint8_t* v) {
             return setRoi8uC3Table[p](v, i.origin(), i.step(), {c.width, c.height});
         }},
        {2, [](int p, GuardedImage& i, const SweepCase& c, const uint8_t*) {
             return setRoi16uC1Table[p](0x1234, i.as<uint16_t>(), i.step(), {c.width, c.height});
         }},
        {4, [](int p, GuardedImage& i, const SweepCase& c, const uint8_t*) {
             return setRoi32sC1Table[p](0x0A0B0C0D, i.as<int32_t>(), i.step(), {c.width, c.height});
         }},
        {4, [](int p, GuardedImage& i, const SweepCase& c, const uint8_t*) {
             return setChannel8uC4Table[p](0xEE, i.origin() + 2, i.step(), {c.width, c.height});
         }},
        {6, [](int p, GuardedImage& i, const SweepCase& c, const uint8_t*) {
             return setChannel16uC3Table[p](0xBEEF, reinterpret_cast<uint16_t*>(i.origin() + 2), i.step(),
                                            {c.width, c.height});
         }},
    };
    for (const Case& k : cases)
        vqtest::expectPathsMatchInPlace(
            k.bpp, [&](int path, GuardedImage& img, const SweepCase& c) { return k.run(path, img, c, rgb); },
            23 + k.bpp);
}

} // namespace
