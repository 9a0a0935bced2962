// Row helpers of the wavelet pipelines against formulas written here: operand
// order, saturation against wrapping, and Q16 rounding.
#include <gtest/gtest.h>

#include <cstdint>
#include <functional>
#include <random>
#include <string>
#include <vector>

#include "j2k/wavelet/row_helpers.h"

namespace {

int64_t Sat(int64_t v, int bits) {
    const int64_t hi = (int64_t(1) << (bits - 1)) - 1, lo = -hi - 1;
    return v < lo ? lo : v > hi ? hi : v;
}
int64_t Wrap(int64_t v, int bits) {
    const uint64_t m = (uint64_t(1) << bits) - 1;
    const uint64_t u = uint64_t(v) & m;
    return (u >> (bits - 1)) ? int64_t(u) - int64_t(m) - 1 : int64_t(u);
}
int64_t Fix(int64_t c, int64_t x) { return (c * x + 32768) >> 16; }

// Every integer helper on random rows (values reaching the type's limits),
// compared element by element with its formula.
template <class T>
void CheckIntegerHelpers(int bits) {
    struct Helper {
        std::string name;
        std::function<void(const T*, const T*, T*, uint32_t)> run;  // a, b, d (d also the in-place operand)
        std::function<int64_t(int64_t, int64_t, int64_t)> want;    // a, b, old d
    };
    const int32_t c = -103949, cHalf = 32768;
    std::vector<Helper> helpers;
    if constexpr (sizeof(T) == 2) {
        helpers = {
            {"rowAddInPlace16s", [](auto a, auto, auto d, uint32_t n) { rowAddInPlace16s(a, d, n); },
             [](int64_t a, int64_t, int64_t d) { return Sat(a + d, 16); }},
            {"rowSub16s", [](auto a, auto b, auto d, uint32_t n) { rowSub16s(a, b, d, n); },
             [](int64_t a, int64_t b, int64_t) { return Sat(b - a, 16); }},
            {"rowAdd16s", [](auto a, auto b, auto d, uint32_t n) { rowAdd16s(a, b, d, n); },
             [](int64_t a, int64_t b, int64_t) { return Sat(a + b, 16); }},
            {"rowReverseSubInPlace16s", [](auto a, auto, auto d, uint32_t n) { rowReverseSubInPlace16s(a, d, n); },
             [](int64_t a, int64_t, int64_t d) { return Wrap(a - d, 16); }},
            {"rowSubInPlace16s", [](auto a, auto, auto d, uint32_t n) { rowSubInPlace16s(a, d, n); },
             [](int64_t a, int64_t, int64_t d) { return Sat(d - a, 16); }},
            {"rowFixMul16s", [=](auto a, auto, auto d, uint32_t n) { rowFixMul16s(c, a, d, n); },
             [=](int64_t a, int64_t, int64_t) { return Wrap(Fix(c, a), 16); }},
            {"rowFixMulInPlace16s", [=](auto, auto, auto d, uint32_t n) { rowFixMulInPlace16s(cHalf, d, n); },
             [=](int64_t, int64_t, int64_t d) { return Wrap(Fix(cHalf, d), 16); }},
            {"rowFixMulAddInPlace16s", [=](auto a, auto, auto d, uint32_t n) { rowFixMulAddInPlace16s(c, a, d, n); },
             [=](int64_t a, int64_t, int64_t d) { return Wrap(d + Fix(c, a), 16); }},
            {"rowFixMulAdd2InPlace16s",
             [=](auto a, auto b, auto d, uint32_t n) { rowFixMulAdd2InPlace16s(c, a, b, d, n); },
             [=](int64_t a, int64_t b, int64_t d) { return Wrap(d + Fix(c, a + b), 16); }},
        };
    } else {
        helpers = {
            {"rowAddInPlace32s", [](auto a, auto, auto d, uint32_t n) { rowAddInPlace32s(a, d, n); },
             [](int64_t a, int64_t, int64_t d) { return Sat(a + d, 32); }},
            {"rowSub32s", [](auto a, auto b, auto d, uint32_t n) { rowSub32s(a, b, d, n); },
             [](int64_t a, int64_t b, int64_t) { return Sat(b - a, 32); }},
            {"rowAdd32s", [](auto a, auto b, auto d, uint32_t n) { rowAdd32s(a, b, d, n); },
             [](int64_t a, int64_t b, int64_t) { return Sat(a + b, 32); }},
            {"rowReverseSubInPlace32s", [](auto a, auto, auto d, uint32_t n) { rowReverseSubInPlace32s(a, d, n); },
             [](int64_t a, int64_t, int64_t d) { return Wrap(a - d, 32); }},
            {"rowSubInPlace32s", [](auto a, auto, auto d, uint32_t n) { rowSubInPlace32s(a, d, n); },
             [](int64_t a, int64_t, int64_t d) { return Sat(d - a, 32); }},
            {"rowFixMul32s", [=](auto a, auto, auto d, uint32_t n) { rowFixMul32s(c, a, d, n); },
             [=](int64_t a, int64_t, int64_t) { return Wrap(Fix(c, a), 32); }},
            {"rowFixMulInPlace32s", [=](auto, auto, auto d, uint32_t n) { rowFixMulInPlace32s(cHalf, d, n); },
             [=](int64_t, int64_t, int64_t d) { return Wrap(Fix(cHalf, d), 32); }},
            {"rowFixMulAddInPlace32s", [=](auto a, auto, auto d, uint32_t n) { rowFixMulAddInPlace32s(c, a, d, n); },
             [=](int64_t a, int64_t, int64_t d) { return Wrap(d + Fix(c, a), 32); }},
            {"rowFixMulAdd2InPlace32s",
             [=](auto a, auto b, auto d, uint32_t n) { rowFixMulAdd2InPlace32s(c, a, b, d, n); },
             [=](int64_t a, int64_t b, int64_t d) { return Wrap(d + Fix(c, a + b), 32); }},
        };
    }
    std::mt19937 rng(21);
    const int64_t hi = (int64_t(1) << (bits - 1)) - 1;
    std::uniform_int_distribution<int64_t> u(-hi - 1, hi);
    const uint32_t n = 37;
    std::vector<T> a(n), b(n), d(n);
    for (const Helper& h : helpers)
        for (int round = 0; round < 20; ++round) {
            for (uint32_t i = 0; i < n; ++i) {
                a[i] = T(u(rng));
                b[i] = T(u(rng));
                d[i] = T(u(rng));
            }
            a[0] = T(-hi - 1);  // the extremes, where saturation and wrapping part
            d[0] = T(1);
            a[1] = T(hi);
            d[1] = T(-hi - 1);
            const std::vector<T> old = d;
            h.run(a.data(), b.data(), d.data(), n);
            for (uint32_t i = 0; i < n; ++i)
                ASSERT_EQ(int64_t(d[i]), h.want(a[i], b[i], old[i])) << h.name << " element " << i;
        }
}

TEST(RowHelpers, IntegerHelpersFollowTheirFormulas) {
    CheckIntegerHelpers<int16_t>(16);
    CheckIntegerHelpers<int32_t>(32);
}

TEST(RowHelpers, SixteenBitEdgeValues) {
    int16_t a = -32768, b = 1;
    rowReverseSubInPlace16s(&a, &b, 1);
    EXPECT_EQ(b, 32767);  // wraps
    int16_t one = 1, low = -32768, d = 0;
    rowSub16s(&one, &low, &d, 1);
    EXPECT_EQ(d, -32768);  // saturates

    const int16_t x[] = {1, -1, 3, -3};
    int16_t y[4] = {};
    rowFixMul16s(32768, x, y, 4);
    EXPECT_EQ(std::vector<int16_t>(y, y + 4), (std::vector<int16_t>{1, 0, 2, -1}));

    const int16_t big = 30000;
    int16_t scaled = 0;
    rowFixMul16s(80621, &big, &scaled, 1);
    EXPECT_EQ(scaled, -28631);  // (80621 x 30000 + 32768) >> 16 = 36905, wrapped
}

TEST(RowHelpers, FloatHelpersFollowTheirFormulas) {
    const float a[] = {1.5f, -2.25f, 3.0f}, b[] = {0.5f, 4.0f, -1.0f};
    const float c = 0.75f;
    float d[3];
    auto reset = [&] { d[0] = 10, d[1] = -20, d[2] = 30; };
    auto expect = [&](const char* name, auto f) {
        for (int i = 0; i < 3; ++i)
            EXPECT_FLOAT_EQ(d[i], f(i)) << name << " " << i;
    };
    const float d0[] = {10, -20, 30};
    reset(), rowMulConst32f(c, a, d, 3), expect("mulConst", [&](int i) { return a[i] * c; });
    reset(), rowAddInPlace32f(a, d, 3), expect("addInPlace", [&](int i) { return a[i] + d0[i]; });
    reset(), rowSub32f(a, b, d, 3), expect("sub", [&](int i) { return b[i] - a[i]; });
    reset(), rowAdd32f(a, b, d, 3), expect("add", [&](int i) { return a[i] + b[i]; });
    reset(), rowMulConstInPlace32f(c, d, 3), expect("mulConstInPlace", [&](int i) { return d0[i] * c; });
    reset(), rowReverseSubInPlace32f(a, d, 3), expect("reverseSub", [&](int i) { return a[i] - d0[i]; });
    reset(), rowSubInPlace32f(a, d, 3), expect("subInPlace", [&](int i) { return d0[i] - a[i]; });
    reset(), rowMulAddInPlace32f(c, a, d, 3), expect("mulAdd", [&](int i) { return c * a[i] + d0[i]; });
    reset(), rowMulAdd2InPlace32f(c, a, b, d, 3), expect("mulAdd2", [&](int i) { return (a[i] + b[i]) * c + d0[i]; });
}

TEST(RowHelpers, EmptyRowsAreLeftAlone) {
    int16_t s = 5;
    const int16_t t = 9;
    rowAddInPlace16s(&t, &s, 0);
    rowReverseSubInPlace16s(&t, &s, 0);
    rowFixMulAdd2InPlace16s(80621, &t, &t, &s, 0);
    EXPECT_EQ(s, 5);
    float f = 2;
    rowMulConstInPlace32f(0, &f, 0);
    rowMulAddInPlace32f(3, &f, &f, 0);
    EXPECT_EQ(f, 2);
}

} // namespace
