// Reversible 5/3 lifting: checks, agreement with a textbook lifting of whole
// signals, exact round trips (also where 32-bit sums wrap), and the 16-bit
// forms against the generic form and the 32-bit one.
#include <gtest/gtest.h>

#include <climits>
#include <random>
#include <vector>

#include "j2k_test_util.h"
#include "primitives/j2k/wavelet53.h"

using namespace j2ktest;

namespace {

// The textbook analysis of a whole signal with exact integers:
//   Y(2n+1) = X(2n+1) - floor((X(2n) + X(2n+2)) / 2)
//   Y(2n)   = X(2n)   + floor((Y(2n-1) + Y(2n+1) + 2) / 4)
// Only positions whose neighbours lie inside the signal are computed
// (odd 1..N-2, even 2..N-3); the others stay 0 and are never compared.
std::vector<int64_t> textbookAnalysis(const std::vector<int32_t>& x) {
    const int n = static_cast<int>(x.size());
    auto floorDiv = [](int64_t a, int64_t d) { return (a - ((a % d) + d) % d) / d; };
    std::vector<int64_t> y(n, 0);
    for (int i = 1; i + 1 < n; i += 2)
        y[i] = x[i] - floorDiv(int64_t(x[i - 1]) + x[i + 1], 2);
    for (int i = 2; i + 2 < n; i += 2)
        y[i] = x[i] + floorDiv(y[i - 1] + y[i + 1] + 2, 4);
    return y;
}

int32_t forwardRow(int path, const int32_t* x, int32_t* low, int32_t* high, int32_t w, int32_t phase) {
    return forwardWavelet53Rows32sTable[path](x, 4 * (2 * w + 4), low, 4 * w, high, 4 * w, w, 1, phase);
}

TEST(J2kWavelet53, BadArgumentsAreRefusedInOrder) {
    int32_t a[8] = {}, b[8] = {}, c[8] = {}, d[8] = {}, e[8] = {}, f[8] = {};
    int16_t s[8] = {}, t[8] = {}, u[8] = {}, v[8] = {}, o[8] = {}, q[8] = {};
    for (int path : allPaths()) {
        SCOPED_TRACE(pathName(path));
        // Rows: null before step before height before width.
        struct RowCase {
            bool nullA, nullB, nullC;
            int32_t stepA, stepB, stepC, width, height, want;
        };
        const RowCase rows[] = {
            {true, false, false, 0, 0, 0, 0, 0, primErrNullPtr},  {false, true, false, 4, 4, 4, 1, 1, primErrNullPtr},
            {false, false, true, 4, 4, 4, 1, 1, primErrNullPtr},  {false, false, false, 0, 4, 4, 1, 0, primErrStep},
            {false, false, false, 4, -4, 4, 1, 1, primErrStep},   {false, false, false, 4, 4, 0, 0, 0, primErrStep},
            {false, false, false, 4, 4, 4, 1, 0, primErrSize},    {false, false, false, 4, 4, 4, 0, 1, primErrSize},
            {false, false, false, 4, 4, 4, -2, 1, primErrSize},
        };
        for (const RowCase& r : rows) {
            EXPECT_EQ(forwardWavelet53Rows32sTable[path](r.nullA ? nullptr : a, r.stepA, r.nullB ? nullptr : b, r.stepB,
                                                        r.nullC ? nullptr : c, r.stepC, r.width, r.height, 0), r.want);
            EXPECT_EQ(inverseWavelet53Rows32sTable[path](r.nullA ? nullptr : a, r.stepA, r.nullB ? nullptr : b, r.stepB,
                                                        r.width, r.height, r.nullC ? nullptr : c, r.stepC, 0), r.want);
            EXPECT_EQ(inverseWavelet53Rows16sTable[path](r.nullA ? nullptr : s, r.stepA, r.nullB ? nullptr : t, r.stepB,
                                                        r.width, r.height, r.nullC ? nullptr : u, r.stepC, 1), r.want);
        }
        // Columns: each of the six pointers null, then the length.
        for (int k = 0; k < 6; ++k) {
            int32_t* p[6] = {a, b, c, d, e, f};
            int16_t* p16[6] = {s, t, u, v, o, q};
            p[k] = nullptr;
            p16[k] = nullptr;
            EXPECT_EQ(forwardWavelet53Columns32sTable[path](p[0], p[1], p[2], p[3], p[4], p[5], 0), primErrNullPtr);
            EXPECT_EQ(inverseWavelet53Columns32sTable[path](p[0], p[1], p[2], p[3], p[4], p[5], 0), primErrNullPtr);
            EXPECT_EQ(inverseWavelet53Columns16sTable[path](p16[0], p16[1], p16[2], p16[3], p16[4], p16[5], -1), primErrNullPtr);
        }
        EXPECT_EQ(forwardWavelet53Columns32sTable[path](a, b, c, d, e, f, 0), primErrSize);
        EXPECT_EQ(inverseWavelet53Columns32sTable[path](a, b, c, d, e, f, -5), primErrSize);
        EXPECT_EQ(inverseWavelet53Columns16sTable[path](s, t, u, v, o, q, 0), primErrSize);
    }
    // Nothing was written by any refused call.
    for (int i = 0; i < 8; ++i)
        ASSERT_TRUE(a[i] == 0 && b[i] == 0 && c[i] == 0 && d[i] == 0 && e[i] == 0 && f[i] == 0 && s[i] == 0 && t[i] == 0 &&
                    u[i] == 0 && v[i] == 0 && o[i] == 0 && q[i] == 0);
}

// Rows of every width 1..40 and every phase, cut out of a longer signal: the
// forward primitive gives the textbook coefficients, the inverse primitive
// rebuilds the samples from the textbook coefficients around them. Every
// call sees exactly the samples it may read, in blocks of their own.
TEST(J2kWavelet53, RowsMatchTheTextbookLiftingAndInvertIt) {
    std::mt19937 rng(53);
    for (int path : allPaths()) {
        for (int32_t phase : {0, 1, 2, -1}) {
            const bool odd = phase != 0;
            for (int w = 1; w <= 40; ++w) {
                SCOPED_TRACE(pathName(path) + " phase " + std::to_string(phase) + " width " + std::to_string(w));
                const int n = 2 * w + 8, s = odd ? 3 : 4;
                const auto x = randomValues<int32_t>(rng, n, -(1 << 29), (1 << 29) - 1);
                const auto y = textbookAnalysis(x);

                Window<int32_t> src(x.data(), s - (odd ? 1 : 2), 2 * w + 3);
                std::vector<int32_t> low(w), high(w);
                ASSERT_EQ(forwardRow(path, src.at(s), low.data(), high.data(), w, phase), primNoErr);
                for (int j = 0; j < w; ++j) {
                    ASSERT_EQ(low[j], y[s + 2 * j + (odd ? 1 : 0)]) << j;
                    ASSERT_EQ(high[j], y[s + 2 * j + (odd ? 0 : 1)]) << j;
                }

                // Bands of the whole signal, then the stretch the inverse reads.
                std::vector<int32_t> lb(n / 2), hb(n / 2);
                for (int k = 0; k < n / 2; ++k)
                    lb[k] = static_cast<int32_t>(y[2 * k]), hb[k] = static_cast<int32_t>(y[2 * k + 1]);
                const int l0 = odd ? (s + 1) / 2 : s / 2, h0 = odd ? (s - 1) / 2 : s / 2;
                Window<int32_t> lw(lb.data(), l0 - (odd ? 1 : 0), w + 1), hw(hb.data(), h0 - 1, w + 2);
                std::vector<int32_t> dst(2 * w);
                ASSERT_EQ(inverseWavelet53Rows32sTable[path](lw.at(l0), 4, hw.at(h0), 4, w, 1, dst.data(), 4, phase), primNoErr);
                ASSERT_EQ(dst, std::vector<int32_t>(x.begin() + s, x.begin() + s + 2 * w));
            }
        }
    }
}

// Full-range samples: sums wrap, and forward then inverse is still exact;
// every path gives the generic coefficients.
TEST(J2kWavelet53, RowsStayExactWhereSumsWrap) {
    std::mt19937 rng(32);
    for (int32_t phase : {0, 1}) {
        for (int w = 1; w <= 40; ++w) {
            // Forward w + 2 pairs so the inner w pairs have their band neighbours.
            const int pairs = w + 2;
            const auto x = randomValues<int32_t>(rng, 2 * pairs + 4, INT32_MIN, INT32_MAX);
            Window<int32_t> src(x.data(), 0, static_cast<int>(x.size()));
            std::vector<int32_t> lowRef(pairs), highRef(pairs);
            ASSERT_EQ(forwardRow(0, src.at(2), lowRef.data(), highRef.data(), pairs, phase), primNoErr);
            for (int path : allPaths()) {
                SCOPED_TRACE(pathName(path) + " width " + std::to_string(w));
                std::vector<int32_t> low(pairs), high(pairs);
                ASSERT_EQ(forwardRow(path, src.at(2), low.data(), high.data(), pairs, phase), primNoErr);
                ASSERT_EQ(low, lowRef);
                ASSERT_EQ(high, highRef);
                // The inner pairs 1..w: phase 0 reads low[1..w+1], high[0..w+1];
                // other phases low[0..w], high[0..w+1].
                Window<int32_t> lw(low.data(), phase ? 0 : 1, w + 1), hw(high.data(), 0, w + 2);
                std::vector<int32_t> dst(2 * w);
                ASSERT_EQ(inverseWavelet53Rows32sTable[path](lw.at(1), 4, hw.at(1), 4, w, 1, dst.data(), 4, phase), primNoErr);
                ASSERT_EQ(dst, std::vector<int32_t>(x.begin() + 4, x.begin() + 4 + 2 * w));
            }
        }
    }
}

TEST(J2kWavelet53, RowsWithSeveralRowsUseTheirSteps) {
    // Two rows 40 samples apart, margins included; the samples between are
    // neither read as data nor written.
    std::mt19937 rng(2);
    const int w = 9, stride = 40;
    auto x = randomValues<int32_t>(rng, 2 * stride, -1000, 1000);
    for (int path : allPaths()) {
        std::vector<int32_t> low(2 * stride, -7), high(2 * stride, -7);
        ASSERT_EQ(forwardWavelet53Rows32sTable[path](x.data() + 2, 4 * stride, low.data(), 4 * stride, high.data(), 4 * stride,
                                                    w, 2, 0), primNoErr);
        for (int r = 0; r < 2; ++r) {
            std::vector<int32_t> l1(w), h1(w);
            ASSERT_EQ(forwardRow(0, x.data() + r * stride + 2, l1.data(), h1.data(), w, 0), primNoErr);
            EXPECT_TRUE(std::equal(l1.begin(), l1.end(), low.begin() + r * stride)) << pathName(path);
            EXPECT_TRUE(std::equal(h1.begin(), h1.end(), high.begin() + r * stride)) << pathName(path);
            for (int i = w; i < stride; ++i)
                ASSERT_TRUE(low[r * stride + i] == -7 && high[r * stride + i] == -7);
        }
    }
}

// Columns: each column is a signal of 7 samples; one call advances it by a pair.
TEST(J2kWavelet53, ColumnsMatchTheTextbookLiftingAndInvertIt) {
    std::mt19937 rng(35);
    for (int path : allPaths()) {
        for (int len = 1; len <= 40; ++len) {
            for (int offset : {0, 1, 3}) {
                SCOPED_TRACE(pathName(path) + " len " + std::to_string(len) + " offset " + std::to_string(offset));
                // rows[i][c] = sample i of column c.
                std::vector<std::vector<int32_t>> rows(7, std::vector<int32_t>(len + offset));
                std::vector<std::vector<int64_t>> y(7, std::vector<int64_t>(len));
                for (int c = 0; c < len; ++c) {
                    const auto col = randomValues<int32_t>(rng, 7, -(1 << 29), (1 << 29) - 1);
                    const auto t = textbookAnalysis(col);
                    for (int i = 0; i < 7; ++i)
                        rows[i][offset + c] = col[i], y[i][c] = t[i];
                }
                auto bandRow = [&](int i) {
                    std::vector<int32_t> r(len + offset);
                    for (int c = 0; c < len; ++c)
                        r[offset + c] = static_cast<int32_t>(y[i][c]);
                    return r;
                };
                const auto y1 = bandRow(1), y3 = bandRow(3), y4 = bandRow(4), y5 = bandRow(5);
                std::vector<int32_t> low(len + offset), high(len + offset);
                ASSERT_EQ(forwardWavelet53Columns32sTable[path](rows[2].data() + offset, rows[3].data() + offset,
                                                                rows[4].data() + offset, low.data() + offset,
                                                                y1.data() + offset, high.data() + offset, len), primNoErr);
                for (int c = 0; c < len; ++c)
                    ASSERT_TRUE(low[offset + c] == y[2][c] && high[offset + c] == y[3][c]) << c;

                std::vector<int32_t> odd(len + offset), even(len + offset);
                ASSERT_EQ(inverseWavelet53Columns32sTable[path](y4.data() + offset, y3.data() + offset, y5.data() + offset,
                                                                rows[2].data() + offset, odd.data() + offset,
                                                                even.data() + offset, len), primNoErr);
                for (int c = 0; c < len; ++c)
                    ASSERT_TRUE(odd[offset + c] == rows[3][offset + c] && even[offset + c] == rows[4][offset + c]) << c;
            }
        }
    }
}

TEST(J2kWavelet53, DocumentedValues) {
    for (int path : allPaths()) {
        SCOPED_TRACE(pathName(path));
        // Wrapping sums: (max + max) >> 1 is -1, so d = 1; the inverse brings back 0.
        int32_t e0 = INT32_MAX, od = 0, e1 = INT32_MAX, low = 0, hp = 0, high = 0;
        ASSERT_EQ(forwardWavelet53Columns32sTable[path](&e0, &od, &e1, &low, &hp, &high, 1), primNoErr);
        EXPECT_EQ(high, 1);
        EXPECT_EQ(low, INT32_MAX);
        int32_t lo = INT32_MIN, hPrev = 1, h = 1, ePrev = INT32_MAX, oOut = 5, eOut = 5;
        ASSERT_EQ(inverseWavelet53Columns32sTable[path](&lo, &hPrev, &h, &ePrev, &oOut, &eOut, 1), primNoErr);
        EXPECT_EQ(eOut, INT32_MAX);
        EXPECT_EQ(oOut, 0);

        // A constant from -2^30 to 2^30 - 1: high-pass 0, low-pass the constant.
        for (int32_t v : {-(1 << 30), -1, 0, 12345, (1 << 30) - 1}) {
            for (int32_t phase : {0, 1}) {
                std::vector<int32_t> x(2 * 21 + 4, v), l(21), hh(21);
                ASSERT_EQ(forwardRow(path, x.data() + 2, l.data(), hh.data(), 21, phase), primNoErr);
                EXPECT_EQ(l, std::vector<int32_t>(21, v));
                EXPECT_EQ(hh, std::vector<int32_t>(21, 0));
            }
        }

        // 16-bit: within range; beyond it the even sample wraps.
        int16_t a = 100, b = 10, c = 20, d = 50, o16 = 0, e16 = 0;
        ASSERT_EQ(inverseWavelet53Columns16sTable[path](&a, &b, &c, &d, &o16, &e16, 1), primNoErr);
        EXPECT_EQ(e16, 92);
        EXPECT_EQ(o16, 81);
        int16_t m = -8, z = 0;
        a = 32767;
        ASSERT_EQ(inverseWavelet53Columns16sTable[path](&a, &m, &m, &z, &o16, &e16, 1), primNoErr);
        EXPECT_EQ(e16, -32765);  // 32771 wrapped, not saturated
        // highPrev + high + 2 beyond 16 bits: every path forms it as the generic
        // form does (the sum would wrap in 16-bit lanes).
        a = 30000, b = 20000, c = 20000, d = 0;
        ASSERT_EQ(inverseWavelet53Columns16sTable[path](&a, &b, &c, &d, &o16, &e16, 1), primNoErr);
        EXPECT_EQ(e16, 20000);
        EXPECT_EQ(o16, 30000);
    }
}

// 16-bit forms: every path equals the generic one for every input (random
// full-range samples, where sums leave the 16-bit range and results wrap),
// and in range the 16-bit results equal the 32-bit ones.
TEST(J2kWavelet53, SixteenBitFormsAgreeWithGenericAndWith32Bit) {
    std::mt19937 rng(1653);
    for (int32_t phase : {0, 1, 7}) {
        const bool odd = phase != 0;
        for (int w : {1, 2, 3, 4, 5, 7, 8, 9, 15, 16, 17, 31, 40, 130}) {
            for (bool full : {true, false}) {
                const int64_t lim = full ? 32767 : 8000;
                const auto lb = randomValues<int16_t>(rng, w + 1, -lim - full, lim);
                const auto hb = randomValues<int16_t>(rng, w + 2, -lim - full, lim);
                Window<int16_t> lw(lb.data(), 0, w + 1), hw(hb.data(), 0, w + 2);
                const int16_t* low = lw.at(odd ? 1 : 0);
                const int16_t* high = hw.at(1);
                std::vector<int16_t> ref(2 * w);
                ASSERT_EQ(inverseWavelet53Rows16sTable[0](low, 2, high, 2, w, 1, ref.data(), 4 * w, phase), primNoErr);
                if (!full) {
                    std::vector<int32_t> l32(lb.begin(), lb.end()), h32(hb.begin(), hb.end()), d32(2 * w);
                    ASSERT_EQ(inverseWavelet53Rows32sTable[0](l32.data() + (odd ? 1 : 0), 4, h32.data() + 1, 4, w, 1, d32.data(),
                                                              4, phase), primNoErr);
                    ASSERT_EQ(std::vector<int32_t>(ref.begin(), ref.end()), d32) << "width " << w;
                }
                for (int path : allPaths()) {
                    std::vector<int16_t> dst(2 * w);
                    ASSERT_EQ(inverseWavelet53Rows16sTable[path](low, 2, high, 2, w, 1, dst.data(), 4 * w, phase), primNoErr);
                    ASSERT_EQ(dst, ref) << pathName(path) << " width " << w << " phase " << phase;
                }

                // Columns on the same values.
                const int len = w;
                const auto cl = randomValues<int16_t>(rng, 4 * len, -lim - full, lim);
                std::vector<int16_t> oRef(len), eRef(len);
                ASSERT_EQ(inverseWavelet53Columns16sTable[0](cl.data(), cl.data() + len, cl.data() + 2 * len, cl.data() + 3 * len,
                                                             oRef.data(), eRef.data(), len), primNoErr);
                if (!full) {
                    std::vector<int32_t> c32(cl.begin(), cl.end()), o32(len), e32(len);
                    ASSERT_EQ(inverseWavelet53Columns32sTable[0](c32.data(), c32.data() + len, c32.data() + 2 * len,
                                                                 c32.data() + 3 * len, o32.data(), e32.data(), len), primNoErr);
                    ASSERT_EQ(std::vector<int32_t>(oRef.begin(), oRef.end()), o32);
                    ASSERT_EQ(std::vector<int32_t>(eRef.begin(), eRef.end()), e32);
                }
                for (int path : allPaths()) {
                    std::vector<int16_t> o(len), e(len);
                    ASSERT_EQ(inverseWavelet53Columns16sTable[path](cl.data(), cl.data() + len, cl.data() + 2 * len,
                                                                    cl.data() + 3 * len, o.data(), e.data(), len), primNoErr);
                    ASSERT_EQ(o, oRef) << pathName(path) << " len " << len;
                    ASSERT_EQ(e, eRef) << pathName(path) << " len " << len;
                }
            }
        }
    }
}

} // namespace
