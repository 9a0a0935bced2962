// Threshold kernels of every SIMD path: the worked examples, the NaN and
// signed-zero rules, the complex examples, and every real member against
// its element rule at every length 1..40 and offset, guards untouched.
#include <gtest/gtest.h>

#include <cmath>
#include <cstring>

#include "primitives/vector/threshold.h"
#include "vector_harness.h"

namespace {

using vqtest::getAt;
using vqtest::putAt;

std::vector<int> simdPaths() { return vqtest::supportedPaths(); }

// Path forms of one member by path index (entry 0 unused).
#define VQ_SET(fn) \
    std::array<decltype(&prim::p1::fn), 6> { nullptr, prim::p1::fn, prim::p2::fn, prim::p3::fn, prim::p4::fn, prim::p5::fn }
#define VQ_SET32FC(fn) \
    std::array<decltype(&prim::p2::fn), 6> { nullptr, nullptr, prim::p2::fn, prim::p3::fn, prim::p4::fn, prim::p5::fn }

template <class T>
uint64_t bitsOf(T v) {
    uint64_t u = 0;
    std::memcpy(&u, &v, sizeof v);
    return u;
}

// The processor's minimum and maximum, written out: the second operand
// unless the first compares strictly smaller (larger).
template <class T>
T sseMin(T a, T b) {
    return a < b ? a : b;
}
template <class T>
T sseMax(T a, T b) {
    return a > b ? a : b;
}

// One real member with fixed arguments and its element rule.
struct RealCase {
    std::string name;
    int size;
    bool inPlace;
    std::function<void(int path, const void* src, void* dst, int32_t n)> run;
    std::function<void(const void* x, void* want)> rule;  // one element
};

template <class T>
RealCase realCase(std::string name, bool inPlace, std::function<void(int, const T*, T*, int32_t)> run,
                  std::function<T(T)> rule) {
    return {name, int(sizeof(T)), inPlace,
            [run](int p, const void* s, void* d, int32_t n) { run(p, static_cast<const T*>(s), static_cast<T*>(d), n); },
            [rule](const void* x, void* w) {
                T v;
                std::memcpy(&v, x, sizeof v);
                const T r = rule(v);
                std::memcpy(w, &r, sizeof r);
            }};
}

std::vector<RealCase> realCases() {
    std::vector<RealCase> c;
    const float fl = 1.5f;
    const double dl = -2.25;
    for (int32_t flag : {0, 1, 2}) {
        const std::string f = " flag " + std::to_string(flag);
        c.push_back(realCase<float>("clampMinOrMax32f" + f, false, [flag](int p, const float* s, float* d, int32_t n) {
            VQ_SET(clampMinOrMax32f)[p](1.5f, s, d, n, flag);
        }, [=](float x) { return flag == 1 ? sseMin(x, fl) : sseMax(x, fl); }));
        c.push_back(realCase<float>("clampMinOrMax32fInPlace" + f, true, [flag](int p, const float*, float* d, int32_t n) {
            VQ_SET(clampMinOrMax32fInPlace)[p](1.5f, d, n, flag);
        }, [=](float x) { return flag == 1 ? sseMin(x, fl) : sseMax(x, fl); }));
        c.push_back(realCase<double>("clampMinOrMax64f" + f, false, [flag](int p, const double* s, double* d, int32_t n) {
            VQ_SET(clampMinOrMax64f)[p](-2.25, s, d, n, flag);
        }, [=](double x) { return flag != 0 ? sseMin(x, dl) : sseMax(x, dl); }));
        c.push_back(realCase<double>("clampMinOrMax64fInPlace" + f, true, [flag](int p, const double*, double* d, int32_t n) {
            VQ_SET(clampMinOrMax64fInPlace)[p](-2.25, d, n, flag);
        }, [=](double x) { return flag != 0 ? sseMin(x, dl) : sseMax(x, dl); }));
        c.push_back(realCase<int16_t>("clampMinOrMax16s" + f, false, [flag](int p, const int16_t* s, int16_t* d, int32_t n) {
            VQ_SET(clampMinOrMax16s)[p](0x10000 + 300, s, d, n, flag);
        }, [=](int16_t x) { return flag != 0 ? std::min<int16_t>(x, 300) : std::max<int16_t>(x, 300); }));
    }
    c.push_back(realCase<int32_t>("clampMin32s", false, [](int p, const int32_t* s, int32_t* d, int32_t n) {
        VQ_SET(clampMin32s)[p](s, d, n, -77);
    }, [](int32_t x) { return std::max(x, -77); }));
    c.push_back(realCase<int32_t>("clampMax32s", false, [](int p, const int32_t* s, int32_t* d, int32_t n) {
        VQ_SET(clampMax32s)[p](s, d, n, 1000);
    }, [](int32_t x) { return std::min(x, 1000); }));
    c.push_back(realCase<int32_t>("clampMin32sInPlace", true, [](int p, const int32_t*, int32_t* d, int32_t n) {
        VQ_SET(clampMin32sInPlace)[p](d, n, 5);
    }, [](int32_t x) { return std::max(x, 5); }));
    c.push_back(realCase<int32_t>("clampMax32sInPlace", true, [](int p, const int32_t*, int32_t* d, int32_t n) {
        VQ_SET(clampMax32sInPlace)[p](d, n, -5);
    }, [](int32_t x) { return std::min(x, -5); }));
    c.push_back(realCase<float>("replaceBelow32f", false, [](int p, const float* s, float* d, int32_t n) {
        VQ_SET(replaceBelow32f)[p](s, d, n, 0.0f, 9.0f);
    }, [](float x) { return 0.0f <= x ? x : 9.0f; }));
    c.push_back(realCase<float>("replaceAbove32f", false, [](int p, const float* s, float* d, int32_t n) {
        VQ_SET(replaceAbove32f)[p](s, d, n, 0.0f, 9.0f);
    }, [](float x) { return 0.0f < x ? 9.0f : x; }));
    c.push_back(realCase<double>("replaceBelow64f", false, [](int p, const double* s, double* d, int32_t n) {
        VQ_SET(replaceBelow64f)[p](s, d, n, 1.0, -4.0);
    }, [](double x) { return 1.0 <= x ? x : -4.0; }));
    c.push_back(realCase<double>("replaceBelow64fInPlace", true, [](int p, const double*, double* d, int32_t n) {
        VQ_SET(replaceBelow64fInPlace)[p](d, n, 1.0, -4.0);
    }, [](double x) { return 1.0 <= x ? x : -4.0; }));
    c.push_back(realCase<double>("replaceAbove64f", false, [](int p, const double* s, double* d, int32_t n) {
        VQ_SET(replaceAbove64f)[p](s, d, n, 1.0, -4.0);
    }, [](double x) { return 1.0 < x ? -4.0 : x; }));
    c.push_back(realCase<double>("replaceAbove64fInPlace", true, [](int p, const double*, double* d, int32_t n) {
        VQ_SET(replaceAbove64fInPlace)[p](d, n, 1.0, -4.0);
    }, [](double x) { return 1.0 < x ? -4.0 : x; }));
    c.push_back(realCase<int16_t>("replaceBelow16s", false, [](int p, const int16_t* s, int16_t* d, int32_t n) {
        VQ_SET(replaceBelow16s)[p](s, d, n, 0x70000 - 5, 77);
    }, [](int16_t x) { return x < -5 ? int16_t(77) : x; }));
    c.push_back(realCase<int16_t>("replaceAbove16s", false, [](int p, const int16_t* s, int16_t* d, int32_t n) {
        VQ_SET(replaceAbove16s)[p](s, d, n, 20, -77);
    }, [](int16_t x) { return x > 20 ? int16_t(-77) : x; }));
    const auto outsideF = [](float x) {
        return !(-1.0f <= x) ? -10.0f : (2.0f < x ? 10.0f : x);
    };
    c.push_back(realCase<float>("replaceOutside32f", false, [](int p, const float* s, float* d, int32_t n) {
        VQ_SET(replaceOutside32f)[p](s, d, n, -1.0f, -10.0f, 2.0f, 10.0f);
    }, outsideF));
    c.push_back(realCase<float>("replaceOutside32fInPlace", true, [](int p, const float*, float* d, int32_t n) {
        VQ_SET(replaceOutside32fInPlace)[p](d, n, -1.0f, -10.0f, 2.0f, 10.0f);
    }, outsideF));
    const auto outsideD = [](double x) { return !(-1.0 <= x) ? -10.0 : (2.0 < x ? 10.0 : x); };
    c.push_back(realCase<double>("replaceOutside64f", false, [](int p, const double* s, double* d, int32_t n) {
        VQ_SET(replaceOutside64f)[p](s, d, n, -1.0, -10.0, 2.0, 10.0);
    }, outsideD));
    c.push_back(realCase<double>("replaceOutside64fInPlace", true, [](int p, const double*, double* d, int32_t n) {
        VQ_SET(replaceOutside64fInPlace)[p](d, n, -1.0, -10.0, 2.0, 10.0);
    }, outsideD));
    const auto outside16 = [](int16_t x) { return x < -100 ? int16_t(-1) : (x > 100 ? int16_t(1) : x); };
    c.push_back(realCase<int16_t>("replaceOutside16s", false, [](int p, const int16_t* s, int16_t* d, int32_t n) {
        VQ_SET(replaceOutside16s)[p](s, d, n, -100, -1, 100, 1);
    }, outside16));
    c.push_back(realCase<int16_t>("replaceOutside16sInPlace", true, [](int p, const int16_t*, int16_t* d, int32_t n) {
        VQ_SET(replaceOutside16sInPlace)[p](d, n, -100, -1, 100, 1);
    }, outside16));
    const auto outside32 = [](int32_t x) { return x < 0 ? -1 : (x > 1 << 20 ? 11 : x); };
    c.push_back(realCase<int32_t>("replaceOutside32s", false, [](int p, const int32_t* s, int32_t* d, int32_t n) {
        VQ_SET(replaceOutside32s)[p](s, d, n, 0, -1, 1 << 20, 11);
    }, outside32));
    c.push_back(realCase<int32_t>("replaceOutside32sInPlace", true, [](int p, const int32_t*, int32_t* d, int32_t n) {
        VQ_SET(replaceOutside32sInPlace)[p](d, n, 0, -1, 1 << 20, 11);
    }, outside32));
    c.push_back(realCase<float>("limitMagnitude32f", false, [](int p, const float* s, float* d, int32_t n) {
        const float l = 2.0f;
        VQ_SET(limitMagnitude32f)[p](s, d, n, &l);
    }, [](float x) { return sseMax(sseMin(x, 2.0f), -2.0f); }));
    c.push_back(realCase<double>("limitMagnitude64f", false, [](int p, const double* s, double* d, int32_t n) {
        const double l = 0.5;
        VQ_SET(limitMagnitude64f)[p](s, d, n, &l);
    }, [](double x) { return sseMax(sseMin(x, 0.5), -0.5); }));
    c.push_back(realCase<int16_t>("limitMagnitude16s", false, [](int p, const int16_t* s, int16_t* d, int32_t n) {
        VQ_SET(limitMagnitude16s)[p](s, d, n, 1000);
    }, [](int16_t x) { return std::max<int16_t>(std::min<int16_t>(x, 1000), -1000); }));
    c.push_back(realCase<int32_t>("limitMagnitude32s", false, [](int p, const int32_t* s, int32_t* d, int32_t n) {
        VQ_SET(limitMagnitude32s)[p](s, d, n, 1 << 24);
    }, [](int32_t x) { return std::max(std::min(x, 1 << 24), -(1 << 24)); }));
    c.push_back(realCase<float>("raiseMagnitude32f", false, [](int p, const float* s, float* d, int32_t n) {
        const float l = 2.0f;
        VQ_SET(raiseMagnitude32f)[p](s, d, n, &l);
    }, [](float x) { return std::isnan(x) ? std::copysign(2.0f, x) : (std::fabs(x) < 2.0f ? std::copysign(2.0f, x) : x); }));
    c.push_back(realCase<double>("raiseMagnitude64f", false, [](int p, const double* s, double* d, int32_t n) {
        const double l = 3.0;
        VQ_SET(raiseMagnitude64f)[p](s, d, n, &l);
    }, [](double x) { return std::isnan(x) ? std::copysign(3.0, x) : (std::fabs(x) < 3.0 ? std::copysign(3.0, x) : x); }));
    c.push_back(realCase<int16_t>("raiseMagnitude16s", false, [](int p, const int16_t* s, int16_t* d, int32_t n) {
        VQ_SET(raiseMagnitude16s)[p](s, d, n, 9000);
    }, [](int16_t x) { return x == -32768 ? x : (x >= 0 ? std::max<int16_t>(x, 9000) : std::min<int16_t>(x, -9000)); }));
    c.push_back(realCase<int32_t>("raiseMagnitude32s", false, [](int p, const int32_t* s, int32_t* d, int32_t n) {
        VQ_SET(raiseMagnitude32s)[p](s, d, n, 1 << 20);
    }, [](int32_t x) { return x >= 0 ? std::max(x, 1 << 20) : std::min(x, -(1 << 20)); }));
    return c;
}

// Random bytes with NaNs, infinities, signed zeros and values near the
// levels mixed in.
void fillThreshold(void* p, int n, int size, std::mt19937& rng) {
    if (size == 4) {
        vqtest::fillMixed<float>(p, n, rng, {NAN, -NAN, INFINITY, -INFINITY, 0.0f, -0.0f, 1.5f, -1.5f, 2.0f, -2.0f,
                                              3.0f, -1.0f});
        // The same buffers serve the 32-bit integer members: reinterpret a
        // third of the elements as small integers near their levels.
        for (int i = 0; i < n; i += 3)
            putAt<int32_t>(p, i, int32_t(rng() % 2000) - 1000 + (rng() % 2 ? 1 << 20 : 0));
    } else if (size == 8) {
        vqtest::fillMixed<double>(p, n, rng, {NAN, -NAN, INFINITY, -INFINITY, 0.0, -0.0, 1.0, -2.25, 2.0, -1.0, 0.5,
                                               -0.5, 3.0});
    } else {
        vqtest::fillMixed<int16_t>(p, n, rng, {-32768, 32767, 0, 300, -5, 20, 100, -100, 1000, -1000, 9000, -9000});
    }
}

TEST(VectorThreshold, RealMembersFollowTheirRules) {
    for (const RealCase& c : realCases())
        for (int path : simdPaths())
            for (int n = 1; n <= 40; ++n)
                for (int off = 0; off < 16; ++off) {
                    vqtest::GuardedImage src(n * c.size, 1, (off * 5 + 3) % 16), dst(n * c.size, 1, off);
                    std::mt19937 rng(n * 16 + off);
                    fillThreshold(src.origin(), n, c.size, rng);
                    if (c.inPlace)
                        dst.setPixels(src.pixels());
                    else
                        dst.fill(0xCD);
                    c.run(path, src.origin(), dst.origin(), n);
                    for (int i = 0; i < n; ++i) {
                        uint8_t want[8];
                        c.rule(src.origin() + i * c.size, want);
                        ASSERT_EQ(std::memcmp(dst.origin() + i * c.size, want, c.size), 0)
                            << c.name << " " << vqtest::pathName(path) << " n " << n << " off " << off << " at " << i;
                    }
                    ASSERT_TRUE(dst.guardsIntact()) << c.name << " " << vqtest::pathName(path);
                }
}

TEST(VectorThreshold, WorkedExamples) {
    for (int path : simdPaths()) {
        const std::string p = vqtest::pathName(path);
        const float in[4] = {7, 5, 3, NAN};
        float out[4];
        VQ_SET(clampMinOrMax32f)[path](5.0f, in, out, 4, 1);
        EXPECT_TRUE(out[0] == 5 && out[1] == 5 && out[2] == 3 && out[3] == 5) << p;
        for (int32_t flag : {0, 2}) {
            VQ_SET(clampMinOrMax32f)[path](5.0f, in, out, 4, flag);
            EXPECT_TRUE(out[0] == 7 && out[1] == 5 && out[2] == 5 && out[3] == 5) << p;
        }
        const int16_t s16[2] = {7, 3};
        int16_t d16[2];
        VQ_SET(clampMinOrMax16s)[path](5, s16, d16, 2, 2);
        EXPECT_TRUE(d16[0] == 5 && d16[1] == 3) << p;
        const double s64[2] = {7, 3};
        double d64[2];
        VQ_SET(clampMinOrMax64f)[path](5.0, s64, d64, 2, 2);
        EXPECT_TRUE(d64[0] == 5 && d64[1] == 3) << p;
        // NaN in every position of counts 1 to 9 becomes the level.
        for (int n = 1; n <= 9; ++n) {
            std::vector<double> nan(n, NAN), r(n);
            VQ_SET(clampMinOrMax64f)[path](-1.0, nan.data(), r.data(), n, 1);
            for (double x : r)
                EXPECT_EQ(x, -1.0) << p << " n " << n;
        }
        // Two zeros: the level's zero is written.
        const float negZero = -0.0f, posZero = 0.0f;
        float z;
        VQ_SET(clampMinOrMax32f)[path](0.0f, &negZero, &z, 1, 1);
        EXPECT_EQ(bitsOf(z), 0u) << p;
        VQ_SET(clampMinOrMax32f)[path](-0.0f, &posZero, &z, 1, 0);
        EXPECT_EQ(bitsOf(z), 0x80000000u) << p;
        const float v4[4] = {4, 5, 6, NAN};
        VQ_SET(replaceBelow32f)[path](v4, out, 4, 5.0f, 9.0f);
        EXPECT_TRUE(out[0] == 9 && out[1] == 5 && out[2] == 6 && out[3] == 9) << p;
        VQ_SET(replaceAbove32f)[path](v4, out, 4, 5.0f, 9.0f);
        EXPECT_TRUE(out[0] == 4 && out[1] == 5 && out[2] == 9 && std::isnan(out[3])) << p;
        const int32_t o[5] = {-5, 0, 5, 10, 15};
        int32_t od[5];
        VQ_SET(replaceOutside32s)[path](o, od, 5, 0, -1, 10, 11);
        EXPECT_EQ(std::vector<int32_t>(od, od + 5), (std::vector<int32_t>{-1, 0, 5, 10, 11})) << p;
        const float nanIn = NAN;
        VQ_SET(replaceOutside32f)[path](&nanIn, &z, 1, 0.0f, -1.0f, 10.0f, 11.0f);
        EXPECT_EQ(z, -1.0f) << p;
        const int16_t lm[6] = {-32768, -101, -100, 0, 100, 32767};
        int16_t lmd[6];
        VQ_SET(limitMagnitude16s)[path](lm, lmd, 6, 100);
        EXPECT_EQ(std::vector<int16_t>(lmd, lmd + 6), (std::vector<int16_t>{-100, -100, -100, 0, 100, 100})) << p;
        VQ_SET(limitMagnitude16s)[path](lm, lmd, 6, -5);
        EXPECT_EQ(std::vector<int16_t>(lmd, lmd + 6), std::vector<int16_t>(6, 5)) << p;
        const int16_t rm[5] = {-32768, -50, 0, 50, 150};
        int16_t rmd[5];
        VQ_SET(raiseMagnitude16s)[path](rm, rmd, 5, 100);
        EXPECT_EQ(std::vector<int16_t>(rmd, rmd + 5), (std::vector<int16_t>{-32768, -100, 100, 100, 150})) << p;
        const int32_t rm32[5] = {INT32_MIN, -50, 0, 50, 150};
        int32_t rmd32[5];
        VQ_SET(raiseMagnitude32s)[path](rm32, rmd32, 5, 100);
        EXPECT_EQ(std::vector<int32_t>(rmd32, rmd32 + 5), (std::vector<int32_t>{INT32_MIN, -100, 100, 100, 150})) << p;
        const float rf[6] = {-1, -0.0f, 0.0f, 1, -3, INFINITY};
        float rfd[6];
        const float two = 2.0f;
        VQ_SET(raiseMagnitude32f)[path](rf, rfd, 6, &two);
        EXPECT_EQ(std::vector<float>(rfd, rfd + 6), (std::vector<float>{-2, -2, 2, 2, -3, INFINITY})) << p;
        EXPECT_TRUE(std::signbit(rfd[1]));
        const float lf[4] = {-3, NAN, 1, 3};
        VQ_SET(limitMagnitude32f)[path](lf, rfd, 4, &two);
        EXPECT_EQ(std::vector<float>(rfd, rfd + 4), (std::vector<float>{-2, 2, 1, 2})) << p;
    }
}

TEST(VectorThreshold, ComplexExamples) {
    for (int path : simdPaths()) {
        const std::string p = vqtest::pathName(path);
        auto c16 = [&](int32_t level, int32_t flag, Complex16s z) {
            Complex16s r;
            VQ_SET(clampMagnitude16sc)[path](level, &z, &r, 1, flag);
            return std::make_pair(r.re, r.im);
        };
        using P = std::pair<int16_t, int16_t>;
        EXPECT_EQ(c16(10, 1, {8, 8}), P(7, 7)) << p;
        EXPECT_EQ(c16(10, 1, {30, 40}), P(6, 8)) << p;
        EXPECT_EQ(c16(10, 0, {1, 1}), P(8, 8)) << p;
        EXPECT_EQ(c16(10, 0, {3, 4}), P(6, 8)) << p;
        EXPECT_EQ(c16(10, 0, {0, 0}), P(10, 0)) << p;
        EXPECT_EQ(c16(10, 0, {0, -3}), P(0, -10)) << p;
        EXPECT_EQ(c16(0, 1, {5, -7}), P(0, 0)) << p;
        EXPECT_EQ(c16(0, 0, {-32768, -32768}), P(-32768, -32768)) << p;
        EXPECT_EQ(c16(-32768, 0, {1, 0}), P(32767, 0)) << p;
        EXPECT_EQ(c16(-32768, 0, {-1, 0}), P(-32767, 0)) << p;
        // Source equal to destination.
        Complex16s buf[3] = {{30, 40}, {1, 1}, {-8, 8}};
        VQ_SET(clampMagnitude16sc)[path](10, buf, buf, 3, 1);
        EXPECT_TRUE(buf[0].re == 6 && buf[0].im == 8 && buf[1].re == 1 && buf[2].re == -7 && buf[2].im == 7) << p;
        for (int32_t level : {32767, -32768}) {
            const Complex16s z{-32768, -32768};
            const int32_t value = (5 << 16) | 9;
            Complex16s r;
            VQ_SET(replaceBelowMagnitude16sc)[path](&z, &r, 1, level, value);
            EXPECT_TRUE(r.re == -32768 && r.im == -32768) << p;
            VQ_SET(replaceAboveMagnitude16sc)[path](&z, &r, 1, level, value);
            EXPECT_TRUE(r.re == 9 && r.im == 5) << p;
        }
        auto c64 = [&](double level, int32_t flag, Complex64f z) {
            Complex64f r;
            VQ_SET(clampMagnitude64fc)[path](level, &z, &r, 1, flag);
            return std::make_pair(r.re, r.im);
        };
        using D = std::pair<double, double>;
        EXPECT_EQ(c64(10, 0, {0, 0}), D(10, 0)) << p;
        EXPECT_EQ(c64(-10, 0, {0, 0}), D(-10, 0)) << p;
        EXPECT_EQ(c64(10, 0, {3, 4}), D(6, 8)) << p;
        EXPECT_EQ(c64(10, 0, {6, 8}), D(6, 8)) << p;
        EXPECT_EQ(c64(10, 1, {30, 40}), D(6, 8)) << p;
        // The 64-bit value kinds: alternating elements, exactly the
        // qualifying ones replaced; a NaN part decided by the path's rule.
        const Complex64f v{-1, -2};
        Complex64f alt[5] = {{1, 1}, {9, 9}, {0, 0}, {NAN, 0}, {6, 8}};
        Complex64f out[5];
        VQ_SET(replaceBelowMagnitude64fc)[path](alt, out, 5, 10.0, v);
        const bool sse2 = path == 1;
        EXPECT_TRUE(out[0].re == -1 && out[1].re == 9 && out[2].re == -1 && out[4].re == 6) << p;
        EXPECT_EQ(out[3].re == -1, sse2) << p;
        VQ_SET(replaceAboveMagnitude64fc)[path](alt, out, 5, 10.0, v);
        EXPECT_TRUE(out[0].re == 1 && out[1].re == -1 && out[2].re == 0 && out[4].re == 6) << p;
        EXPECT_EQ(out[3].re == -1, !sse2) << p;
        Complex64f in[5];
        std::memcpy(in, alt, sizeof alt);
        VQ_SET(replaceBelowMagnitude64fcInPlace)[path](in, 5, NAN, v);
        EXPECT_EQ(in[1].re == -1, sse2) << p;
        std::memcpy(in, alt, sizeof alt);
        VQ_SET(replaceAboveMagnitude64fcInPlace)[path](in, 5, NAN, v);
        EXPECT_EQ(in[1].re == -1, !sse2) << p;
        if (path < 2)
            continue;
        // Single precision: flagged elements end near the level's
        // magnitude; the others keep their bits, also in a mixed vector.
        Complex32f f[6] = {{3, 4}, {0.1f, 0.2f}, {-0.3f, 0.7f}, {30, -40}, {0.5f, 0.5f}, {NAN, 1}};
        Complex32f fr[6];
        VQ_SET32FC(clampMagnitude32fc)[path](1.0f, f, fr, 6, 1);
        EXPECT_NEAR(fr[0].re, 0.6f, 1e-6f);
        EXPECT_NEAR(fr[0].im, 0.8f, 1e-6f);
        EXPECT_NEAR(fr[3].re, 0.6f, 1e-6f);
        EXPECT_NEAR(fr[3].im, -0.8f, 1e-6f);
        for (int i : {1, 2, 4, 5})
            EXPECT_EQ(std::memcmp(&fr[i], &f[i], sizeof fr[i]), 0) << p << " element " << i;
        VQ_SET32FC(clampMagnitude32fcInPlace)[path](1.0f, f, 6, 0);
        EXPECT_NEAR(f[1].re * f[1].re + f[1].im * f[1].im, 1.0f, 1e-5f) << p;
        EXPECT_NEAR(f[1].im / f[1].re, 2.0f, 1e-5f) << p;
        EXPECT_EQ(f[0].re, 3.0f) << p;
        EXPECT_TRUE(std::isnan(f[5].re)) << p;
        const Complex32f zero{0, 0};
        Complex32f zr;
        VQ_SET32FC(clampMagnitude32fc)[path](2.0f, &zero, &zr, 1, 0);
        EXPECT_TRUE(zr.re == 2.0f && zr.im == 0.0f) << p;
        const Complex32f nanPart{NAN, 1}, val{7, 7};
        Complex32f vr;
        VQ_SET32FC(replaceBelowMagnitude32fc)[path](&nanPart, &vr, 1, 1.0f, val);
        EXPECT_TRUE(std::isnan(vr.re)) << p;
        VQ_SET32FC(replaceAboveMagnitude32fc)[path](&nanPart, &vr, 1, 1.0f, val);
        EXPECT_EQ(vr.re, 7.0f) << p;
    }
}

} // namespace
