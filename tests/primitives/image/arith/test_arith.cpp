// Constant arithmetic: worked values and ties, the order of the checks, the
// shortcuts that read or write nothing, an independent rounding oracle for
// the generic path over every width and alignment, and every other path
// against the generic one.
#include <gtest/gtest.h>

#include <sys/mman.h>
#include <unistd.h>

#include <cmath>
#include <cstring>

#include "primitives/image/image_harness.h"
#include "primitives/image/arith/arith.h"

namespace {

using vqtest::GuardedImage;
using vqtest::Layout;

// v x 2^-s rounded to nearest with ties to even, then clamped, by exact
// integer arithmetic on the quotient and remainder.
int64_t roundScaled(int64_t v, int32_t s, int64_t lo, int64_t hi) {
    int64_t r;
    if (s <= 0) {
        const int k = -s > 24 ? 24 : -s;  // 2^24 already saturates any non-zero value
        r = v * (int64_t(1) << k);
    } else if (s > 40) {
        r = 0;
    } else {
        const int64_t d = int64_t(1) << s;
        int64_t q = v >= 0 ? v / d : -((-v + d - 1) / d);
        const int64_t rem = v - q * d;  // 0 .. d - 1
        if (2 * rem > d || (2 * rem == d && (q & 1) != 0))
            ++q;
        r = q;
    }
    return r < lo ? lo : (r > hi ? hi : r);
}

int16_t ld16(const uint8_t* p, int i) {
    int16_t v;
    std::memcpy(&v, p + 2 * i, 2);
    return v;
}
void st16(uint8_t* p, int i, int16_t v) { std::memcpy(p + 2 * i, &v, 2); }

int16_t mul16One(int path, int16_t c, int16_t x, int32_t sf) {
    uint8_t buf[4];
    st16(buf + 1, 0, x);
    EXPECT_EQ(mulConstInPlace16sC1ScaledTable[path](c, reinterpret_cast<int16_t*>(buf + 1), 2, 1, 1, sf), 0);
    return ld16(buf + 1, 0);
}

TEST(ImageArith, Mul16sWorkedValues) {
    struct Case {
        int16_t c, x;
        int32_t sf;
        int16_t want;
    };
    const Case cases[] = {
        {3, 1, 1, 2}, {5, 1, 1, 2}, {-3, 1, 1, -2}, {-5, 1, 1, -2}, {-1, 1, 1, 0},
        {-32768, -32768, 0, 32767}, {-32768, -32768, 1, 32767}, {-32768, -32768, 15, 32767},
        {-32768, -32768, 30, 1}, {-32768, -32768, 31, 0}, {-32768, -32768, -1, 32767},
        {16384, 1, 15, 0}, {16385, 1, 15, 1},
        {1, 1, -14, 16384}, {1, 2, -14, 32767}, {1, -2, -14, -32768}, {1, 1, -15, 32767}, {-1, 1, -15, -32768},
        {7, 0, -20, 0}, {-4, -9, -40, 32767}, {2, 16384, -1, 32767},
        {200, -200, 0, -32768}, {200, -200, 1, -20000}, {200, -200, 3, -5000},
        {0, 1234, -3, 0}, {0, -1234, 5, 0}, {1, 1234, 0, 1234},
    };
    for (int path : vqtest::allPaths())
        for (const Case& c : cases)
            EXPECT_EQ(mul16One(path, c.c, c.x, c.sf), c.want)
                << c.c << " x " << c.x << " sf " << c.sf << " on " << vqtest::pathName(path);
}

uint8_t arith8One(int path, int op, uint8_t dst, uint8_t src, int32_t c, int32_t sf) {
    uint8_t d = dst, s = src;
    int32_t status;
    if (op == 0)
        status = mulConstInPlace8uC1ScaledTable[path](c, &d, 1, 1, 1, sf);
    else if (op == 1)
        status = subInPlace8uC1ScaledTable[path](&s, 1, &d, 1, 1, 1, sf);
    else
        status = addInPlace8uC1ScaledTable[path](&s, 1, &d, 1, 1, 1, sf);
    EXPECT_EQ(status, 0);
    EXPECT_EQ(s, src);
    return d;
}

TEST(ImageArith, Arith8uWorkedValuesAndScaleFactorRules) {
    struct Case {
        int op;  // 0 multiply (src unused, c the constant), 1 subtract, 2 add
        uint8_t dst, src;
        int32_t c, sf;
        uint8_t want;
    };
    const Case cases[] = {
        // multiply: fills, shortcuts, ties to even, limits
        {0, 77, 0, 0, 5, 0}, {0, 77, 0, 0, -3, 0}, {0, 77, 0, 256, 0, 0}, {0, 77, 0, 1, 0, 77},
        {0, 3, 0, 1, 1, 2}, {0, 5, 0, 1, 1, 2}, {0, 7, 0, 1, 1, 4}, {0, 9, 0, 255, 0, 255},
        {0, 1, 0, 3, 1, 2}, {0, 5, 0, 3, 1, 8}, {0, 1, 0, 10, 2, 2}, {0, 3, 0, 10, 2, 8}, {0, 1, 0, 14, 2, 4},
        {0, 255, 0, 255, 16, 1}, {0, 255, 0, 255, 17, 0}, {0, 255, 0, 255, 8, 254}, {0, 255, 0, 255, -1, 255},
        {0, 2, 0, 1, -7, 255}, {0, 1, 0, 1, -7, 128}, {0, 1, 0, 1, -8, 255}, {0, 0, 0, 9, -8, 0},
        {0, 3, 0, 1, -100, 255}, {0, 100, 0, 32, 5, 100}, {0, 3, 0, 16, 5, 2}, {0, 200, 0, 2 + 256, 0, 255},
        // subtract: destination minus source, negative differences 0
        {1, 10, 20, 0, 0, 0}, {1, 10, 20, 0, -9, 0}, {1, 10, 10, 0, -9, 0}, {1, 11, 10, 0, -9, 255},
        {1, 255, 0, 0, 8, 1}, {1, 255, 0, 0, 9, 0}, {1, 13, 10, 0, 1, 2}, {1, 15, 10, 0, 1, 2},
        {1, 17, 10, 0, 1, 4}, {1, 200, 100, 0, -1, 200}, {1, 200, 10, 0, -1, 255}, {1, 30, 0, 0, 2, 8},
        // add
        {2, 255, 255, 0, 0, 255}, {2, 255, 255, 0, 1, 255}, {2, 255, 255, 0, 9, 1}, {2, 255, 255, 0, 10, 0},
        {2, 200, 100, 0, 0, 255}, {2, 200, 100, 0, 1, 150}, {2, 200, 100, 0, 9, 1}, {2, 200, 100, 0, -1, 255},
        {2, 0, 0, 0, -8, 0}, {2, 0, 1, 0, -8, 255}, {2, 1, 2, 0, 1, 2}, {2, 2, 3, 0, 1, 2}, {2, 60, 3, 0, -2, 252},
    };
    for (int path : vqtest::allPaths())
        for (const Case& c : cases)
            EXPECT_EQ(arith8One(path, c.op, c.dst, c.src, c.c, c.sf), c.want)
                << "op " << c.op << " dst " << int(c.dst) << " src " << int(c.src) << " c " << c.c << " sf " << c.sf
                << " on " << vqtest::pathName(path);
}

// A page that may be neither read nor written: the shortcut that touches
// nothing survives, every other case would fault.
TEST(ImageArith, ValueOneScaleZeroTouchesNothing) {
    const long page = sysconf(_SC_PAGESIZE);
    void* p = mmap(nullptr, page, PROT_NONE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
    ASSERT_NE(p, MAP_FAILED);
    for (int path : vqtest::allPaths()) {
        EXPECT_EQ(mulConstInPlace16sC1ScaledTable[path](1, static_cast<int16_t*>(p), 64, 16, 8, 0), 0);
        EXPECT_EQ(mulConstInPlace8uC1ScaledTable[path](1, static_cast<uint8_t*>(p), 64, 16, 8, 0), 0);
        EXPECT_EQ(mulConstInPlace8uC1ScaledTable[path](257, static_cast<uint8_t*>(p), 64, 16, 8, 0), 0);
    }
    munmap(p, page);
}

TEST(ImageArith, CheckOrder) {
    uint8_t buf[64], src[64];
    for (int path : vqtest::allPaths()) {
        std::memset(buf, 0x5A, sizeof buf);
        auto* b16 = reinterpret_cast<int16_t*>(buf);
        auto* f = reinterpret_cast<float*>(buf);
        EXPECT_EQ(mulConstInPlace16sC1ScaledTable[path](0, nullptr, 8, 0, 0, 40), -8);
        EXPECT_EQ(mulConstInPlace16sC1ScaledTable[path](0, b16, 8, 0, 0, 40), -6);
        EXPECT_EQ(mulConstInPlace16sC1ScaledTable[path](0, b16, 8, 4, 0, 40), -6);
        EXPECT_EQ(mulConstInPlace16sC1ScaledTable[path](0, b16, 8, -1, 2, 40), -6);
        EXPECT_EQ(mulConstInPlace32fC1Table[path](2.0f, nullptr, 8, 0, 0), -8);
        EXPECT_EQ(mulConstInPlace32fC1Table[path](2.0f, f, 8, 4, 0), -6);
        EXPECT_EQ(mulConstInPlace32fC1Table[path](2.0f, f, 8, 0, 4), -6);
        EXPECT_EQ(mulConstInPlace8uC1ScaledTable[path](0, nullptr, 8, 0, 0, 30), -8);
        EXPECT_EQ(mulConstInPlace8uC1ScaledTable[path](0, buf, 8, 0, 4, 30), -6);
        EXPECT_EQ(mulConstInPlace8uC1ScaledTable[path](0, buf, 8, 4, 0, 30), -6);
        EXPECT_EQ(subInPlace8uC1ScaledTable[path](nullptr, 8, buf, 8, 0, 0, 20), -8);
        EXPECT_EQ(subInPlace8uC1ScaledTable[path](src, 8, nullptr, 8, 4, 4, 0), -8);
        EXPECT_EQ(addInPlace8uC1ScaledTable[path](nullptr, 8, buf, 8, 4, 4, 0), -8);
        EXPECT_EQ(addInPlace8uC1ScaledTable[path](src, 8, buf, 8, 0, 4, 20), -6);
        EXPECT_EQ(subInPlace8uC1ScaledTable[path](src, 8, buf, 8, 4, -1, 20), -6);
        for (uint8_t b : buf)
            ASSERT_EQ(b, 0x5A);
    }
}

// Step 0: every row is the same memory, multiplied once per row.
TEST(ImageArith, StepZeroRepeatsTheRow) {
    for (int path : vqtest::allPaths()) {
        uint8_t row[5] = {1, 2, 3, 10, 40};
        ASSERT_EQ(mulConstInPlace8uC1ScaledTable[path](2, row, 0, 5, 3, 0), 0);
        const uint8_t want8[5] = {8, 16, 24, 80, 255};
        EXPECT_EQ(std::memcmp(row, want8, 5), 0) << vqtest::pathName(path);
        int16_t r16[3] = {1, -3, 5000};
        ASSERT_EQ(mulConstInPlace16sC1ScaledTable[path](3, r16, 0, 3, 2, 0), 0);
        EXPECT_EQ(r16[0], 9);
        EXPECT_EQ(r16[1], -27);
        EXPECT_EQ(r16[2], 32767);
    }
}

TEST(ImageArith, Mul32fSpecialValues) {
    const float inf = INFINITY;
    for (int path : vqtest::allPaths()) {
        float v[4] = {3.0f, -2.0f, inf, -inf};
        ASSERT_EQ(mulConstInPlace32fC1Table[path](0.0f, v, 16, 4, 1), 0);
        EXPECT_FALSE(std::signbit(v[0]));
        EXPECT_EQ(v[0], 0.0f);
        EXPECT_TRUE(std::signbit(v[1]));
        EXPECT_EQ(v[1], 0.0f);
        EXPECT_TRUE(std::isnan(v[2]));
        EXPECT_TRUE(std::isnan(v[3]));
    }
}

// The generic path against the oracle, then every path against the generic
// one, over widths 1..70 at 16 alignments, gaps and both step signs.
TEST(ImageArith, OracleAndPathsOverWidthsAndAlignments) {
    const int32_t sfs16[] = {0, 1, 2, 5, 15, 30, 31, -1, -7, -14, -15, -40};
    const int16_t values16[] = {3, -3, 1, -1, 0, 32767, -32768, 181, -2049, 2048 + 777};
    const int32_t sfs8[] = {0, 1, 2, 5, 8, 9, 16, 17, -1, -3, -7, -8, -30};
    const int32_t values8[] = {1, 2, 3, 128, 255, 0, 97, 16, 32};
    const float values32f[] = {0.5f, -3.25f, 1e-30f, 7.0e30f, 1.0f, 0.0f, 0.1f, -1.17549435e-38f};
    int round = 0;
    vqtest::forWidthsAndAlignments(70, [&](int w, int a, int a2, int gap) {
        const uint32_t seed = static_cast<uint32_t>(++round);
        const bool neg = (w + a) % 3 == 0;
        const int h = 2;
        // 16-bit constant multiply.
        {
            const int32_t sf = sfs16[round % 12];
            const int16_t c = values16[(round / 12) % 10];
            GuardedImage img(2 * w, h, a, gap, neg);
            std::mt19937 rng(seed);
            img.fillRandom(rng);
            std::vector<int16_t> x;
            for (int y = 0; y < h; ++y)
                for (int i = 0; i < w; ++i)
                    x.push_back(ld16(img.row(y), i));
            ASSERT_EQ(mulConstInPlace16sC1ScaledTable[0](c, img.as<int16_t>(), img.step(), w, h, sf), 0);
            ASSERT_TRUE(img.guardsIntact());
            for (int y = 0, k = 0; y < h; ++y)
                for (int i = 0; i < w; ++i, ++k)
                    ASSERT_EQ(ld16(img.row(y), i), roundScaled(int64_t(c) * x[k], sf, -32768, 32767))
                        << c << " x " << x[k] << " sf " << sf;
            ASSERT_TRUE(vqtest::expectPathsMatch({Layout{2 * w, h, a, gap, neg}}, seed,
                                                 [&](int path, vqtest::ImageSet& im) {
                                                     return mulConstInPlace16sC1ScaledTable[path](
                                                         c, im[0].as<int16_t>(), im[0].step(), w, h, sf);
                                                 },
                                                 "mulConstInPlace16sC1Scaled"));
        }
        // Float constant multiply: bit-identical, subnormal products included.
        {
            const float c = values32f[round % 8];
            GuardedImage img(4 * w, h, a, gap, neg);
            std::mt19937 rng(seed);
            img.fillRandom(rng);
            std::vector<float> x;
            for (int y = 0; y < h; ++y)
                for (int i = 0; i < w; ++i) {
                    float f;
                    std::memcpy(&f, img.row(y) + 4 * i, 4);
                    x.push_back(f);
                }
            ASSERT_EQ(mulConstInPlace32fC1Table[0](c, img.as<float>(), img.step(), w, h), 0);
            for (int y = 0, k = 0; y < h; ++y)
                for (int i = 0; i < w; ++i, ++k) {
                    float got;
                    std::memcpy(&got, img.row(y) + 4 * i, 4);
                    // The exact product fits a double; one rounding to float.
                    const float want = static_cast<float>(static_cast<double>(x[k]) * static_cast<double>(c));
                    if (std::isnan(want))
                        ASSERT_TRUE(std::isnan(got));
                    else
                        ASSERT_EQ(std::memcmp(&got, &want, 4), 0) << x[k] << " * " << c;
                }
            ASSERT_TRUE(vqtest::expectPathsMatch({Layout{4 * w, h, a, gap, neg}}, seed,
                                                 [&](int path, vqtest::ImageSet& im) {
                                                     return mulConstInPlace32fC1Table[path](c, im[0].as<float>(),
                                                                                           im[0].step(), w, h);
                                                 },
                                                 "mulConstInPlace32fC1"));
        }
        // 8-bit operations: destination image 0, source image 1.
        for (int op = 0; op < 3; ++op) {
            const int32_t sf = sfs8[(round + op) % 13];
            const int32_t c = values8[(round / 13) % 9];
            const std::vector<Layout> layouts{Layout{w, h, a, gap, neg}, Layout{w, h, a2, (gap + 2) % 5, !neg}};
            auto run = [&](int path, vqtest::ImageSet& im) {
                if (op == 0)
                    return mulConstInPlace8uC1ScaledTable[path](c, im[0].origin(), im[0].step(), w, h, sf);
                const auto& table = op == 1 ? subInPlace8uC1ScaledTable : addInPlace8uC1ScaledTable;
                return table[path](im[1].origin(), im[1].step(), im[0].origin(), im[0].step(), w, h, sf);
            };
            vqtest::ImageSet im = vqtest::makeImages(layouts);
            std::mt19937 rng(seed);
            im[0].fillRandom(rng);
            im[1].fillRandom(rng);
            const std::vector<uint8_t> d0 = im[0].pixels(), s0 = im[1].pixels();
            ASSERT_EQ(run(0, im), 0);
            ASSERT_TRUE(im[0].guardsIntact());
            ASSERT_EQ(im[1].pixels(), s0);
            const std::vector<uint8_t> got = im[0].pixels();
            for (size_t k = 0; k < got.size(); ++k) {
                const int64_t v = op == 0 ? int64_t(d0[k]) * c
                                          : (op == 1 ? (d0[k] > s0[k] ? d0[k] - s0[k] : 0) : int64_t(d0[k]) + s0[k]);
                ASSERT_EQ(got[k], roundScaled(v, sf, 0, 255))
                    << "op " << op << " dst " << int(d0[k]) << " src " << int(s0[k]) << " c " << c << " sf " << sf;
            }
            ASSERT_TRUE(vqtest::expectPathsMatch(layouts, seed, run, "8-bit op " + std::to_string(op)));
        }
    });
}

} // namespace
