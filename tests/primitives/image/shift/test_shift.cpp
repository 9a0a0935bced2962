// Shifts and sign-magnitude conversion: worked values, the order of the
// checks, an independent per-sample oracle for the generic path over every
// width and alignment, and every other path against the generic one.
#include <gtest/gtest.h>

#include <climits>
#include <cstring>

#include "primitives/image/image_harness.h"
#include "primitives/image/shift/shift.h"

namespace {

using vqtest::GuardedImage;
using vqtest::Layout;

enum Op { kSignMag, kShr16, kShr32, kShl32 };

const char* nameOf(Op op) {
    static const char* names[] = {"toSignMagnitudeInPlace32sC1", "shiftRightConstInPlace16sC1",
                                  "shiftRightConstInPlace32sC1", "shiftLeftConstInPlace32sC1"};
    return names[op];
}

int sizeOf(Op op) { return op == kShr16 ? 2 : 4; }

int32_t call(Op op, int path, uint32_t count, void* p, int32_t step, int32_t w, int32_t h) {
    switch (op) {
    case kSignMag: return toSignMagnitudeInPlace32sC1Table[path](static_cast<int32_t*>(p), step, w, h);
    case kShr16: return shiftRightConstInPlace16sC1Table[path](count, static_cast<int16_t*>(p), step, w, h);
    case kShr32: return shiftRightConstInPlace32sC1Table[path](count, static_cast<int32_t*>(p), step, w, h);
    default: return shiftLeftConstInPlace32sC1Table[path](count, static_cast<int32_t*>(p), step, w, h);
    }
}

// Floor division by 2^c, written without shifting signed values.
int64_t floorDiv(int64_t x, int c) {
    const int64_t d = int64_t(1) << c;
    return x >= 0 ? x / d : -((-x + d - 1) / d);
}

int64_t oracle(Op op, int64_t x, uint32_t count) {
    switch (op) {
    case kSignMag: {
        if (x >= 0)
            return x;
        const uint32_t magnitude = static_cast<uint32_t>(-x);  // 2^31 wraps to bit 31 alone
        return static_cast<int32_t>(magnitude | 0x80000000u);
    }
    case kShr16: return floorDiv(x, count > 15 ? 15 : static_cast<int>(count));
    case kShr32: return floorDiv(x, count > 31 ? 31 : static_cast<int>(count));
    default:
        if (count > 31)
            return 0;
        return static_cast<int32_t>(static_cast<uint32_t>((static_cast<uint64_t>(static_cast<uint32_t>(x)) << count)));
    }
}

int64_t sampleAt(const uint8_t* row, int size, int i) {
    if (size == 2) {
        int16_t v;
        std::memcpy(&v, row + 2 * i, 2);
        return v;
    }
    int32_t v;
    std::memcpy(&v, row + 4 * i, 4);
    return v;
}

void putSample(uint8_t* row, int size, int i, int64_t v) {
    if (size == 2) {
        const int16_t s = static_cast<int16_t>(v);
        std::memcpy(row + 2 * i, &s, 2);
    } else {
        const int32_t s = static_cast<int32_t>(v);
        std::memcpy(row + 4 * i, &s, 4);
    }
}

// One sample through every path.
TEST(ImageShift, WorkedValues) {
    struct Case {
        Op op;
        int64_t x;
        uint32_t count;
        int64_t want;
    };
    const Case cases[] = {
        {kSignMag, 0, 0, 0}, {kSignMag, 5, 0, 5}, {kSignMag, -5, 0, int32_t(0x80000005u)},
        {kSignMag, -1, 0, int32_t(0x80000001u)}, {kSignMag, INT32_MAX, 0, INT32_MAX},
        {kSignMag, INT32_MIN, 0, INT32_MIN},
        {kShr16, -32768, 1, -16384}, {kShr16, -1, 1, -1}, {kShr16, -1, 0xFFFFFFFFu, -1},
        {kShr16, 1000, 15, 0}, {kShr16, -1000, 15, -1}, {kShr16, -1000, 16, -1}, {kShr16, 1000, 31, 0},
        {kShr16, -7, 32, -1}, {kShr16, 32767, 0xFFFFFFFFu, 0}, {kShr16, 77, 0, 77},
        {kShr32, INT32_MIN, 31, -1}, {kShr32, INT32_MAX, 31, 0}, {kShr32, -5, 32, -1}, {kShr32, 5, 0xFFFFFFFFu, 0},
        {kShr32, -9, 1, -5},
        {kShl32, 0x40000000, 1, INT32_MIN}, {kShl32, 3, 31, INT32_MIN}, {kShl32, -1, 32, 0},
        {kShl32, 12345, 0xFFFFFFFFu, 0}, {kShl32, 0x12345678, 4, 0x23456780},
    };
    for (int path : vqtest::allPaths())
        for (const Case& c : cases) {
            uint8_t buf[8] = {};
            putSample(buf + 1, sizeOf(c.op), 0, c.x);
            EXPECT_EQ(call(c.op, path, c.count, buf + 1, 64, 1, 1), 0);
            EXPECT_EQ(sampleAt(buf + 1, sizeOf(c.op), 0), c.want)
                << nameOf(c.op) << " x " << c.x << " count " << c.count << " on " << vqtest::pathName(path);
        }
}

// First failing check wins and nothing is written.
TEST(ImageShift, CheckOrder) {
    struct Case {
        bool null;
        int32_t step, w, h, want;
    };
    const Case cases[] = {
        {true, 0, 0, 0, -8},  {true, -4, 5, 5, -8}, {false, 0, 1, 1, -14}, {false, -64, 1, 1, -14},
        {false, 0, 0, 1, -14}, {false, 64, 0, 1, -6}, {false, 64, 1, 0, -6}, {false, 64, -3, 2, -6},
    };
    for (int path : vqtest::allPaths())
        for (Op op : {kSignMag, kShr16, kShr32, kShl32})
            for (const Case& c : cases) {
                uint8_t buf[64];
                std::memset(buf, 0x5A, sizeof buf);
                EXPECT_EQ(call(op, path, 3, c.null ? nullptr : buf, c.step, c.w, c.h), c.want)
                    << nameOf(op) << " on " << vqtest::pathName(path);
                for (uint8_t b : buf)
                    ASSERT_EQ(b, 0x5A);
            }
}

// The generic path against the per-sample oracle, and every path against
// the generic one, over widths 1..70 at 16 alignments with gaps between rows.
TEST(ImageShift, OracleAndPathsOverWidthsAndAlignments) {
    const uint32_t counts[] = {0, 1, 7, 15, 16, 31, 32, 40, 0xFFFFFFFFu};
    for (Op op : {kSignMag, kShr16, kShr32, kShl32}) {
        const int size = sizeOf(op);
        int round = 0;
        vqtest::forWidthsAndAlignments(70, [&](int w, int a, int, int gap) {
            const uint32_t count = counts[(w + a) % 9];
            const Layout layout{w * size, 3, a, gap, false};
            const uint32_t seed = 1000u * op + static_cast<uint32_t>(round++);
            // Oracle for the generic path.
            std::mt19937 rng(seed);
            GuardedImage img(layout.rowBytes, layout.height, a, gap);
            img.fillRandom(rng);
            std::vector<int64_t> before;
            for (int y = 0; y < 3; ++y)
                for (int i = 0; i < w; ++i)
                    before.push_back(sampleAt(img.row(y), size, i));
            ASSERT_EQ(call(op, 0, count, img.origin(), img.step(), w, 3), 0);
            ASSERT_TRUE(img.guardsIntact());
            for (int y = 0, k = 0; y < 3; ++y)
                for (int i = 0; i < w; ++i, ++k)
                    ASSERT_EQ(sampleAt(img.row(y), size, i), oracle(op, before[k], count))
                        << nameOf(op) << " width " << w << " align " << a << " count " << count;
            ASSERT_TRUE(vqtest::expectPathsMatch(
                {layout}, seed,
                [&](int path, vqtest::ImageSet& im) {
                    return call(op, path, count, im[0].origin(), im[0].step(), w, 3);
                },
                nameOf(op)));
        });
    }
}

} // namespace
