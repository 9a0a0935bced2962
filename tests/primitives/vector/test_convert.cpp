// Float and integer conversions, narrowing and clamps: worked values, an
// independent rounding oracle, every path against the generic one, NaNs in
// place and out of place, and the caller's control register.
#include <gtest/gtest.h>

#include <cfenv>
#include <climits>
#include <cmath>
#include <cstring>

#include "primitives/vector/convert.h"
#include "vector_harness.h"

namespace {

using vqtest::CallerMxcsr;
using vqtest::getAt;
using vqtest::putAt;

using vqtest::bitsOf;
using vqtest::fromBits;

// One value at every position of a 23-element vector (head, blocks and tail
// of every path), converted in place or not; the results must all agree.
int32_t convertOne(int path, float v, int32_t mode, int32_t sf, bool inPlace = false) {
    std::vector<uint8_t> s(23 * 4 + 1), d(23 * 4 + 1);
    for (int i = 0; i < 23; ++i)
        putAt<float>(s.data() + 1, i, v);
    uint8_t* out = inPlace ? s.data() + 1 : d.data() + 1;
    EXPECT_EQ(convertVector32fTo32sTable[path](reinterpret_cast<const float*>(s.data() + 1),
                                               reinterpret_cast<int32_t*>(out), 23, mode, sf),
              primNoErr);
    const int32_t r = getAt<int32_t>(out, 0);
    for (int i = 1; i < 23; ++i)
        EXPECT_EQ(getAt<int32_t>(out, i), r) << vqtest::pathName(path) << " " << v << " at " << i;
    return r;
}

TEST(VectorConvert32fTo32s, WorkedValuesOnEveryPath) {
    struct Row {
        float v;
        int32_t sf;
        int32_t nearest, trunc, away;
    };
    const Row rows[] = {
        {0.5f, 0, 0, 0, 1},
        {1.5f, 0, 2, 1, 2},
        {2.5f, 0, 2, 2, 3},
        {-0.5f, 0, 0, 0, -1},
        {-2.5f, 0, -2, -2, -3},
        {0.49999997f, 0, 0, 0, 0},
        {2.9f, 0, 3, 2, 3},
        {-2.9f, 0, -3, -2, -3},
        {-0.0f, 0, 0, 0, 0},
        {2147483520.0f, 0, 2147483520, 2147483520, 2147483520},
        {2147483648.0f, 0, INT32_MAX, INT32_MAX, INT32_MAX},
        {INFINITY, 0, INT32_MAX, INT32_MAX, INT32_MAX},
        {-2147483648.0f, 0, INT32_MIN, INT32_MIN, INT32_MIN},
        {-2147483904.0f, 0, INT32_MIN, INT32_MIN, INT32_MIN},
        {-INFINITY, 0, INT32_MIN, INT32_MIN, INT32_MIN},
        {5.0f, 1, 2, 2, 3},
        {1.5f, -1, 3, 3, 3},
        {1.0f, -31, INT32_MAX, INT32_MAX, INT32_MAX},
        {-1.0f, -31, INT32_MIN, INT32_MIN, INT32_MIN},
        {fromBits(0x00400000), -127, 1, 1, 1},
        {3.0f, 149, 0, 0, 0},
    };
    for (int path : vqtest::allPaths())
        for (const Row& r : rows)
            for (bool inPlace : {false, true}) {
                EXPECT_EQ(convertOne(path, r.v, 1, r.sf, inPlace), r.nearest) << vqtest::pathName(path) << " " << r.v;
                EXPECT_EQ(convertOne(path, r.v, 0, r.sf, inPlace), r.trunc) << vqtest::pathName(path) << " " << r.v;
                for (int32_t mode : {2, -1, 100})
                    EXPECT_EQ(convertOne(path, r.v, mode, r.sf, inPlace), r.away)
                        << vqtest::pathName(path) << " " << r.v << " mode " << mode;
            }
}

// NaN -> 0 under modes 0 and 1 on every path, in place or not, whether or not
// the invalid flag was already set; under the ties-away mode the generic
// form gives -2^31 and the paths the saturation by the NaN's sign.
TEST(VectorConvert32fTo32s, NaNs) {
    for (int path : vqtest::allPaths())
        for (uint32_t nan : {0x7FC00000u, 0xFFC00000u, 0x7F800001u, 0xFFFFFFFFu})
            for (uint32_t csr : {0x1F80u, 0x1F81u})
                for (bool inPlace : {false, true}) {
                    CallerMxcsr caller(csr);
                    EXPECT_EQ(convertOne(path, fromBits(nan), 0, 0, inPlace), 0) << vqtest::pathName(path);
                    EXPECT_EQ(convertOne(path, fromBits(nan), 1, 3, inPlace), 0) << vqtest::pathName(path);
                    const int32_t away = convertOne(path, fromBits(nan), 2, 0, inPlace);
                    EXPECT_EQ(away, path == 0 ? INT32_MIN : (nan >> 31 ? INT32_MIN : INT32_MAX));
                    EXPECT_EQ(CallerMxcsr::readCsr(), csr);
                }
}

// The scale factors whose single-precision factor leaves the normal range:
// 0 for 150 and above, infinity for -128 and below.
TEST(VectorConvert32fTo32s, ExtremeScaleFactors) {
    for (int path : vqtest::allPaths()) {
        const bool simd = path != 0;
        EXPECT_EQ(convertOne(path, INFINITY, 1, 150), simd ? INT32_MIN : INT32_MAX);
        EXPECT_EQ(convertOne(path, -INFINITY, 1, 150), INT32_MIN);
        EXPECT_EQ(convertOne(path, 0.0f, 1, -128), simd ? INT32_MIN : 0);
        EXPECT_EQ(convertOne(path, 1.0f, 0, 150), 0);
        EXPECT_EQ(convertOne(path, 1.0f, 1, -128), INT32_MAX);
    }
}

// Rounding by floor and a remainder comparison in double precision, where
// every product of these scale factors is exact.
int64_t oracle32fTo32s(float v, int32_t mode, int32_t sf) {
    const double p = double(v) * std::ldexp(1.0, -sf);
    double r;
    if (mode == 0) {
        r = std::trunc(p);
    } else if (mode == 1) {
        r = std::floor(p);
        const double rest = p - r;
        if (rest > 0.5 || (rest == 0.5 && std::fmod(r, 2.0) != 0))
            r += 1;
    } else {
        r = std::copysign(std::floor(std::fabs(p) + 0.5), p);
    }
    return r >= 2147483647.0 ? INT32_MAX : (r <= -2147483648.0 ? INT32_MIN : static_cast<int64_t>(r));
}

TEST(VectorConvert32fTo32s, MatchesOracleAndEveryPathMatchesGeneric) {
    std::mt19937 rng(3);
    std::vector<float> values;
    for (int i = 0; i < 400; ++i) {
        // Halves and near-halves over a wide range of magnitudes.
        const float base = std::ldexp(float(rng() % 2048) + (rng() % 4) * 0.25f, int(rng() % 40) - 12);
        values.push_back(rng() % 2 ? base : -base);
        values.push_back(fromBits(rng() % 0x7F800000u | (rng() % 2 ? 0x80000000u : 0)));
    }
    for (int path : vqtest::allPaths())
        for (int32_t mode : {0, 1, 2})
            for (int32_t sf : {0, 1, -1, 3, -20, 126, 149, -127}) {
                std::vector<int32_t> out(values.size());
                ASSERT_EQ(convertVector32fTo32sTable[path](values.data(), out.data(), int32_t(values.size()), mode, sf),
                          primNoErr);
                for (size_t i = 0; i < values.size(); ++i)
                    ASSERT_EQ(out[i], oracle32fTo32s(values[i], mode, sf))
                        << vqtest::pathName(path) << " mode " << mode << " sf " << sf << " " << values[i];
            }
    const std::vector<float> specials{0.5f, -0.5f, 1.5f, 2.5f, -2.5f, INFINITY, -INFINITY, -0.0f, 2147483520.0f,
                                      2147483648.0f, fromBits(0x7FC00000), fromBits(0xFF800001), fromBits(1)};
    for (int32_t mode : {0, 1, 2})
        for (int32_t sf : {0, 1, -1, 7, -31, 149, -127})
            for (bool inPlace : {false, true}) {
                const auto fill = [&](int, void* p, int n, std::mt19937& r) {
                    std::vector<float> s = specials;
                    if (mode == 2)
                        s.resize(s.size() - 3);  // NaNs: the paths differ from generic by design
                    vqtest::fillMixed<float>(p, n, r, s);
                    for (int i = 0; i < n; ++i)
                        if (mode == 2 && std::isnan(getAt<float>(p, i)))
                            putAt<float>(p, i, 1.25f);
                };
                vqtest::expectVectorPathsMatch(
                    inPlace ? std::vector<int>{4} : std::vector<int>{4, 4}, vqtest::lengthsUpTo(40, {100}), fill,
                    [&](int path, uint8_t* const* b, int n) {
                        return convertVector32fTo32sTable[path](reinterpret_cast<const float*>(b[0]),
                                                                reinterpret_cast<int32_t*>(b[inPlace ? 0 : 1]), n,
                                                                mode, sf);
                    },
                    "convertVector32fTo32s mode " + std::to_string(mode) + " sf " + std::to_string(sf));
            }
}

// A caller rounding toward +infinity with denormals read as zero: the
// results are those of the default state and the register comes back as it
// was, flags included.
TEST(VectorConvert32fTo32s, CallerControlRegisterUntouched) {
    const float src[7] = {2.5f, -2.5f, 0.5f, NAN, 3e9f, fromBits(0x00400000), 1.75f};
    for (int path : vqtest::allPaths())
        for (uint32_t csr : {CallerMxcsr::kUnusual, CallerMxcsr::kUnusual | 0x3Fu, 0x1F80u | 0x2000u | 0x8000u})
            for (int32_t mode : {0, 1, 2}) {
                int32_t want[7], got[7];
                ASSERT_EQ(convertVector32fTo32sTable[path](src, want, 7, mode, -150 + 127 + 23), primNoErr);
                {
                    CallerMxcsr caller(csr);
                    ASSERT_EQ(convertVector32fTo32sTable[path](src, got, 7, mode, -150 + 127 + 23), primNoErr);
                    EXPECT_EQ(CallerMxcsr::readCsr(), csr) << vqtest::pathName(path) << " mode " << mode;
                }
                for (int i = 0; i < 7; ++i)
                    EXPECT_EQ(got[i], want[i]) << vqtest::pathName(path) << " mode " << mode << " at " << i;
            }
}

TEST(VectorConvert, ChecksComeFirst) {
    for (int path : vqtest::allPaths()) {
        float f[2] = {1, 2};
        int32_t i32[2] = {7, 7};
        int16_t i16[2] = {7, 7};
        EXPECT_EQ(convertVector32fTo32sTable[path](nullptr, i32, 0, 1, 0), primErrNullPtr);
        EXPECT_EQ(convertVector32fTo32sTable[path](f, nullptr, 2, 1, 0), primErrNullPtr);
        EXPECT_EQ(convertVector32fTo32sTable[path](f, i32, 0, 1, 0), primErrSize);
        EXPECT_EQ(convertVector32fTo32sTable[path](f, i32, -1, 5, 9), primErrSize);
        EXPECT_EQ(convertVector32sTo32fTable[path](nullptr, f, 0, 0), primErrNullPtr);
        EXPECT_EQ(convertVector32sTo32fTable[path](i32, nullptr, 2, 0), primErrNullPtr);
        EXPECT_EQ(convertVector32sTo32fTable[path](i32, f, -1, 0), primErrSize);
        EXPECT_EQ(convertVector32sTo16sTable[path](nullptr, i16, 0), primErrNullPtr);
        EXPECT_EQ(convertVector32sTo16sTable[path](i32, nullptr, 2), primErrNullPtr);
        EXPECT_EQ(convertVector32sTo16sTable[path](i32, i16, 0), primErrSize);
        EXPECT_EQ(clampVectorMaxInPlace32sTable[path](nullptr, 0, 5), primErrNullPtr);
        EXPECT_EQ(clampVectorMinInPlace32sTable[path](i32, -1, 5), primErrSize);
        EXPECT_EQ(i32[0], 7);
        EXPECT_EQ(i16[0], 7);
        EXPECT_EQ(f[0], 1.0f);
    }
}

// ---- 32s to 32f -----------------------------------------------------------------

TEST(VectorConvert32sTo32f, WorkedValuesAndScaleClamps) {
    struct Row {
        int32_t v, sf;
        float want;
    };
    const Row rows[] = {
        {(1 << 24) + 1, 0, 16777216.0f},   {INT32_MAX, 0, 2147483648.0f}, {INT32_MIN, 0, -2147483648.0f},
        {0, 0, 0.0f},                      {3, 1, 1.5f},                  {-3, 1, -1.5f},
        {3, -1, 6.0f},                     {1, 126, 0x1p-126f},           {1, 127, 0x1p-126f},
        {1, 1000, 0x1p-126f},              {INT32_MAX, -96, 0x1p127f},    {INT32_MAX, -97, 0x1p127f},
        {INT32_MAX, INT32_MIN, 0x1p127f},  {-5, INT32_MAX, -5 * 0x1p-126f},
    };
    for (int path : vqtest::allPaths())
        for (const Row& r : rows) {
            std::vector<int32_t> s(19, r.v);
            std::vector<float> d(19);
            ASSERT_EQ(convertVector32sTo32fTable[path](s.data(), d.data(), 19, r.sf), primNoErr);
            for (float x : d)
                ASSERT_EQ(bitsOf(x), bitsOf(r.want)) << vqtest::pathName(path) << " " << r.v << " sf " << r.sf;
        }
}

// Under a directed rounding mode every path rounds like the generic form,
// in the caller's direction; overlapping arrays give the element loop.
TEST(VectorConvert32sTo32f, CallerRoundingAndOverlap) {
    const int modes[] = {FE_TOWARDZERO, FE_UPWARD, FE_DOWNWARD, FE_TONEAREST};
    for (int mode : modes) {
        const int saved = std::fegetround();
        std::fesetround(mode);
        for (int32_t sf : {0, 3, -5})
            vqtest::expectVectorPathsMatch(
                {4, 4}, vqtest::lengthsUpTo(40, {100}),
                [](int, void* p, int n, std::mt19937& r) {
                    vqtest::fillMixed<int32_t>(p, n, r, {(1 << 24) + 1, -(1 << 24) - 3, INT32_MAX, INT32_MIN, 0});
                },
                [&](int path, uint8_t* const* b, int n) {
                    return convertVector32sTo32fTable[path](reinterpret_cast<const int32_t*>(b[0]),
                                                            reinterpret_cast<float*>(b[1]), n, sf);
                },
                "convertVector32sTo32f rounding " + std::to_string(mode));
        int32_t v = (1 << 24) + 1;
        float out;
        ASSERT_EQ(convertVector32sTo32fTable[vqtest::allPaths().back()](&v, &out, 1, 0), primNoErr);
        EXPECT_EQ(out, mode == FE_UPWARD ? 16777218.0f : 16777216.0f);
        std::fesetround(saved);
    }
    // In place, and a destination one element past the source: each element
    // is read before the element at the same index is written.
    for (int path : vqtest::allPaths())
        for (int shift : {0, 1, -1}) {
            std::vector<uint8_t> buf(4 * 40);
            std::vector<int32_t> src(37);
            for (int i = 0; i < 37; ++i)
                src[i] = i * 1000003 - 5;
            const int base = 4 + (shift < 0 ? 4 : 0);
            std::memcpy(buf.data() + base, src.data(), 37 * 4);
            std::vector<uint8_t> want = buf;
            for (int i = 0; i < 37; ++i)
                putAt<float>(want.data() + base + 4 * shift, i, float(getAt<int32_t>(want.data() + base, i)));
            ASSERT_EQ(convertVector32sTo32fTable[path](reinterpret_cast<const int32_t*>(buf.data() + base),
                                                       reinterpret_cast<float*>(buf.data() + base + 4 * shift), 37, 0),
                      primNoErr);
            EXPECT_EQ(buf, want) << vqtest::pathName(path) << " shift " << shift;
        }
}

// ---- narrowing and clamps -------------------------------------------------------

TEST(VectorNarrowClamp, WorkedValues) {
    for (int path : vqtest::allPaths()) {
        const int32_t src[7] = {32767, 32768, -32768, -32769, INT32_MAX, INT32_MIN, -100};
        const int16_t want[7] = {32767, 32767, -32768, -32768, 32767, -32768, -100};
        int16_t d[7];
        ASSERT_EQ(convertVector32sTo16sTable[path](src, d, 7), primNoErr);
        EXPECT_EQ(std::memcmp(d, want, sizeof want), 0) << vqtest::pathName(path);
        int32_t v[3] = {7, 5, -3};
        ASSERT_EQ(clampVectorMaxInPlace32sTable[path](v, 3, 5), primNoErr);
        EXPECT_EQ(v[0], 5);
        EXPECT_EQ(v[2], -3);
        int32_t w[3] = {-1, 0, 3};
        ASSERT_EQ(clampVectorMinInPlace32sTable[path](w, 3, 0), primNoErr);
        EXPECT_EQ(w[0], 0);
        EXPECT_EQ(w[2], 3);
        // A row brought into 0..255: the minimum first, then the maximum.
        std::vector<int32_t> row{-7, 0, 128, 255, 256, INT32_MAX, INT32_MIN};
        ASSERT_EQ(clampVectorMinInPlace32sTable[path](row.data(), 7, 0), primNoErr);
        ASSERT_EQ(clampVectorMaxInPlace32sTable[path](row.data(), 7, 255), primNoErr);
        EXPECT_EQ(row, (std::vector<int32_t>{0, 0, 128, 255, 255, 255, 0}));
        std::vector<int32_t> same(row);
        ASSERT_EQ(clampVectorMaxInPlace32sTable[path](same.data(), 7, INT32_MAX), primNoErr);
        ASSERT_EQ(clampVectorMinInPlace32sTable[path](same.data(), 7, INT32_MIN), primNoErr);
        EXPECT_EQ(same, row);
    }
}

TEST(VectorNarrowClamp, EveryPathMatchesGenericInPlaceToo) {
    const auto lengths = vqtest::lengthsUpTo(40, {100});
    const auto fill = [](int buffer, void* p, int n, std::mt19937& r) {
        if (buffer != 0)
            return vqtest::fillMixed<int16_t>(p, n, r, {});
        vqtest::fillMixed<int32_t>(p, n, r, {32767, 32768, -32768, -32769, 0, 5, 255});
        for (int i = 0; i < n; i += 3)
            putAt<int32_t>(p, i, getAt<int32_t>(p, i) % 300);
    };
    vqtest::expectVectorPathsMatch({4, 2}, lengths, fill, [](int path, uint8_t* const* b, int n) {
        return convertVector32sTo16sTable[path](reinterpret_cast<const int32_t*>(b[0]), reinterpret_cast<int16_t*>(b[1]), n);
    }, "convertVector32sTo16s");
    vqtest::expectVectorPathsMatch({4}, lengths, fill, [](int path, uint8_t* const* b, int n) {
        return convertVector32sTo16sTable[path](reinterpret_cast<const int32_t*>(b[0]), reinterpret_cast<int16_t*>(b[0]), n);
    }, "convertVector32sTo16s in place");
    for (int32_t bound : {0, 255, -3, INT32_MAX, INT32_MIN}) {
        vqtest::expectVectorPathsMatch({4}, lengths, fill, [&](int path, uint8_t* const* b, int n) {
            return clampVectorMaxInPlace32sTable[path](reinterpret_cast<int32_t*>(b[0]), n, bound);
        }, "clampVectorMaxInPlace32s");
        vqtest::expectVectorPathsMatch({4}, lengths, fill, [&](int path, uint8_t* const* b, int n) {
            return clampVectorMinInPlace32sTable[path](reinterpret_cast<int32_t*>(b[0]), n, bound);
        }, "clampVectorMinInPlace32s");
    }
}

// The sign-extending siblings of the narrowing kernel, against the element
// rule at every length and offset.
TEST(VectorNarrowClamp, WideningKernels) {
    using W8 = void (*)(const int8_t*, int16_t*, int32_t);
    using W16 = void (*)(const int16_t*, int32_t*, int32_t);
    const W8 w8[6] = {nullptr, prim::p1::convertVector8sTo16sKernel, prim::p2::convertVector8sTo16sKernel,
                      prim::p3::convertVector8sTo16sKernel, prim::p4::convertVector8sTo16sKernel,
                      prim::p5::convertVector8sTo16sKernel};
    const W16 w16[6] = {nullptr, prim::p1::convertVector16sTo32sKernel, prim::p2::convertVector16sTo32sKernel,
                        prim::p3::convertVector16sTo32sKernel, prim::p4::convertVector16sTo32sKernel,
                        prim::p5::convertVector16sTo32sKernel};
    for (int path : vqtest::supportedPaths())
        for (int n = 1; n <= 40; ++n)
            for (int off = 0; off < 16; ++off) {
                vqtest::GuardedImage s(n * 2, 1, (off * 5 + 3) % 16), d8(n * 2, 1, off), d16(n * 4, 1, off);
                std::mt19937 rng(n + off);
                s.fillRandom(rng);
                w8[path](reinterpret_cast<const int8_t*>(s.origin()), reinterpret_cast<int16_t*>(d8.origin()), n);
                w16[path](reinterpret_cast<const int16_t*>(s.origin()), reinterpret_cast<int32_t*>(d16.origin()), n);
                for (int i = 0; i < n; ++i) {
                    ASSERT_EQ(getAt<int16_t>(d8.origin(), i), getAt<int8_t>(s.origin(), i));
                    ASSERT_EQ(getAt<int32_t>(d16.origin(), i), getAt<int16_t>(s.origin(), i));
                }
                ASSERT_TRUE(d8.guardsIntact() && d16.guardsIntact()) << vqtest::pathName(path) << " n " << n;
            }
}

TEST(VectorConvert, EntriesDispatch) {
    const float f[2] = {2.5f, -7.5f};
    int32_t r[2];
    ASSERT_EQ(convertVector32fTo32s(f, r, 2, 1, 0), primNoErr);
    EXPECT_EQ(r[0], 2);
    EXPECT_EQ(r[1], -8);
    float back[2];
    ASSERT_EQ(convertVector32sTo32f(r, back, 2, 1), primNoErr);
    EXPECT_EQ(back[1], -4.0f);
    int16_t n[2];
    ASSERT_EQ(convertVector32sTo16s(r, n, 2), primNoErr);
    ASSERT_EQ(clampVectorMinInPlace32s(r, 2, 0), primNoErr);
    ASSERT_EQ(clampVectorMaxInPlace32s(r, 2, 1), primNoErr);
    EXPECT_EQ(r[0], 1);
    EXPECT_EQ(r[1], 0);
}

} // namespace
