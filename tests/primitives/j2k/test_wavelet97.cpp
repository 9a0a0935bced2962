// Float 9/7 lifting: checks, the documented bit values, impulse responses
// against the filter taps, constant signals, agreement with a textbook
// double-precision lifting, forward then inverse, and chunked long rows.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <random>
#include <vector>

#include "j2k_test_util.h"
#include "primitives/j2k/wavelet97.h"
#include "wavelet97_reference.h"

using namespace j2ktest;

namespace {

// Analysis taps (low-pass, distance 0..4; high-pass, distance 0..3) and
// synthesis taps (l0..l3 low-pass, h0..h4 high-pass), as the filter tables give them.
const double kLowTaps[] = {0.6029490, 0.26686412, -0.078223266, -0.016864119, 0.026748758};
const double kHighTaps[] = {1.115087, -0.59127176, -0.057543527, 0.091271766};
const double kSynLow[] = {1.11508703, 0.591271758, -0.0575435273, -0.0912717655};
const double kSynHigh[] = {0.602949023, -0.266864121, -0.0782232657, 0.0168641191, 0.0267487578};

int32_t forwardRow(int path, const float* x, float* low, float* high, int32_t w, int32_t phase) {
    return forwardWavelet97Rows32fTable[path](x, 4 * (2 * w + 8), low, 4 * w, high, 4 * w, w, 1, phase);
}
int32_t inverseRow(int path, const float* low, const float* high, float* dst, int32_t w, int32_t phase) {
    return inverseWavelet97Rows32fTable[path](low, 4 * (w + 4), high, 4 * (w + 4), w, 1, dst, 8 * w, phase);
}

TEST(J2kWavelet97, BadArgumentsAreRefusedInOrder) {
    float r[8][8] = {};
    for (int path : allPaths()) {
        SCOPED_TRACE(pathName(path));
        for (int k = 0; k < 8; ++k) {
            float* p[8];
            for (int i = 0; i < 8; ++i)
                p[i] = i == k ? nullptr : r[i];
            EXPECT_EQ(forwardWavelet97Columns32fTable[path](p[0], p[1], p[2], p[3], p[4], p[5], p[6], p[7], 0), primErrNullPtr);
            EXPECT_EQ(inverseWavelet97Columns32fTable[path](p[0], p[1], p[2], p[3], p[4], p[5], p[6], p[7], -1), primErrNullPtr);
        }
        EXPECT_EQ(forwardWavelet97Columns32fTable[path](r[0], r[1], r[2], r[3], r[4], r[5], r[6], r[7], 0), primErrSize);
        EXPECT_EQ(inverseWavelet97Columns32fTable[path](r[0], r[1], r[2], r[3], r[4], r[5], r[6], r[7], -3), primErrSize);
        // Rows: null before step (also with a bad height) before height/width.
        EXPECT_EQ(forwardWavelet97Rows32fTable[path](nullptr, 0, r[1], 4, r[2], 4, 0, 0, 0), primErrNullPtr);
        EXPECT_EQ(forwardWavelet97Rows32fTable[path](r[0], 4, r[1], 4, nullptr, 4, 1, 1, 0), primErrNullPtr);
        EXPECT_EQ(inverseWavelet97Rows32fTable[path](r[0], 4, nullptr, 4, 1, 1, r[2], 4, 0), primErrNullPtr);
        EXPECT_EQ(inverseWavelet97Rows32fTable[path](r[0], 4, r[1], 4, 1, 1, nullptr, 4, 1), primErrNullPtr);
        for (int which = 0; which < 3; ++which) {
            const int32_t s[3] = {which == 0 ? 0 : 4, which == 1 ? 0 : 4, which == 2 ? -4 : 4};
            EXPECT_EQ(forwardWavelet97Rows32fTable[path](r[0], s[0], r[1], s[1], r[2], s[2], 1, 1, 0), primErrStep);
            EXPECT_EQ(inverseWavelet97Rows32fTable[path](r[0], s[0], r[1], s[1], 0, 0, r[2], s[2], 0), primErrStep);
        }
        EXPECT_EQ(forwardWavelet97Rows32fTable[path](r[0], 4, r[1], 4, r[2], 4, 0, 1, 0), primErrSize);
        EXPECT_EQ(forwardWavelet97Rows32fTable[path](r[0], 4, r[1], 4, r[2], 4, 1, 0, 0), primErrSize);
        EXPECT_EQ(inverseWavelet97Rows32fTable[path](r[0], 4, r[1], 4, 0, 1, r[2], 4, 0), primErrSize);
        EXPECT_EQ(inverseWavelet97Rows32fTable[path](r[0], 4, r[1], 4, 1, -1, r[2], 4, 0), primErrSize);
    }
    for (auto& row : r)
        for (float v : row)
            ASSERT_EQ(bitsOf(v), 0u);
}

TEST(J2kWavelet97, InverseColumnStepGivesTheDocumentedBits) {
    struct Case {
        float low, highAbove, highBelow, evenFinished, oddPending, evenPending;
        double evenNew[2], oddNew[2], evenDone[2], oddDone[2];  // [generic, paths 1..5]
    };
    const Case cases[] = {
        {1.0f, 0, 0, 0, 0, 0,
         {1.2301740646362305, 1.2301740646362305}, {-1.0861343145370483, -1.0861343145370483},
         {-0.057543523609638214, -0.057543523609638214}, {-0.09127175807952881, -0.09127175807952881}},
        {0, 0, 0, 0, 1.0f, 0, {0, 0}, {0, 0}, {0.05298011749982834, 0.05298011749982834}, {1.0840336084365845, 1.0840336084365845}},
        {100.5f, -3.25f, 7.0f, 12.0f, -4.5f, 8.0f,
         {122.28053283691406, 122.28052520751953}, {-117.66802978515625, -117.66801452636719},
         {1.527523398399353, 1.527524471282959}, {16.95646858215332, 16.956472396850586}},
    };
    for (int path : allPaths()) {
        for (const Case& c : cases) {
            // Width 11: the sample sits among vector blocks and in the scalar tail.
            for (int at : {0, 5, 10}) {
                std::vector<float> low(11), ha(11), hb(11), ef(11), op(11), ep(11), on(11, 9.f), en(11, 9.f);
                low[at] = c.low, ha[at] = c.highAbove, hb[at] = c.highBelow, ef[at] = c.evenFinished, op[at] = c.oddPending,
                ep[at] = c.evenPending;
                ASSERT_EQ(inverseWavelet97Columns32fTable[path](low.data(), ha.data(), hb.data(), ef.data(), op.data(),
                                                                ep.data(), on.data(), en.data(), 11), primNoErr);
                const int k = path == 0 ? 0 : 1;
                SCOPED_TRACE(pathName(path) + " sample " + std::to_string(at));
                EXPECT_EQ(en[at], static_cast<float>(c.evenNew[k]));
                EXPECT_EQ(on[at], static_cast<float>(c.oddNew[k]));
                EXPECT_EQ(ep[at], static_cast<float>(c.evenDone[k]));
                EXPECT_EQ(op[at], static_cast<float>(c.oddDone[k]));
                for (int i = 0; i < 11; ++i) {
                    if (i != at) {
                        ASSERT_TRUE(en[i] == 0 && on[i] == 0 && ep[i] == 0 && op[i] == 0) << i;
                    }
                }
            }
        }
        // A NaN in the low-pass row spreads to the four written values of its column only.
        std::vector<float> low(6, 1.f), z(6, 0.f), op(6, 0.f), ep(6, 0.f), on(6), en(6);
        low[3] = std::nanf("");
        ASSERT_EQ(inverseWavelet97Columns32fTable[path](low.data(), z.data(), z.data(), z.data(), op.data(), ep.data(),
                                                        on.data(), en.data(), 6), primNoErr);
        EXPECT_TRUE(std::isnan(en[3]) && std::isnan(on[3]) && std::isnan(ep[3]) && std::isnan(op[3])) << pathName(path);
        EXPECT_FALSE(std::isnan(en[2]) || std::isnan(op[4])) << pathName(path);
    }
}

// Columns of 14-sample signals: one forward stage and one inverse stage in
// the middle of the column, against the textbook lifting values.
TEST(J2kWavelet97, ColumnStagesFollowTheTextbookLifting) {
    std::mt19937 rng(97);
    for (int path : allPaths()) {
        for (int len : {1, 3, 4, 7, 8, 9, 16, 33}) {
            SCOPED_TRACE(pathName(path) + " len " + std::to_string(len));
            std::vector<std::vector<float>> x(14, std::vector<float>(len));
            std::vector<Analysis97> ref;
            for (int c = 0; c < len; ++c) {
                const auto col = randomFloats(rng, 14, 1000);
                for (int i = 0; i < 14; ++i)
                    x[i][c] = col[i];
                ref.push_back(textbookAnalysis97(col));
            }
            auto rowOf = [&](std::vector<double> Analysis97::*v, int i, double scale = 1) {
                std::vector<float> r(len);
                for (int c = 0; c < len; ++c)
                    r[c] = static_cast<float>((ref[c].*v)[i] * scale);
                return r;
            };
            auto expectNear = [&](const std::vector<float>& got, std::vector<double> Analysis97::*v, int i) {
                for (int c = 0; c < len; ++c)
                    ASSERT_NEAR(got[c], (ref[c].*v)[i], 2e-3) << "position " << i << " column " << c;
            };
            // Forward, m = 4: inputs x(8..10), b(6), c(5), a(7).
            auto low = rowOf(&Analysis97::b, 6), high = rowOf(&Analysis97::c, 5), cNew = rowOf(&Analysis97::a, 7);
            std::vector<float> bNew(len), aNew(len);
            ASSERT_EQ(forwardWavelet97Columns32fTable[path](x[8].data(), x[9].data(), x[10].data(), low.data(), bNew.data(),
                                                            high.data(), cNew.data(), aNew.data(), len), primNoErr);
            expectNear(aNew, &Analysis97::a, 9);
            expectNear(bNew, &Analysis97::b, 8);
            expectNear(cNew, &Analysis97::c, 7);
            expectNear(low, &Analysis97::y, 6);
            expectNear(high, &Analysis97::y, 5);

            // Inverse anchored at r = 8: after step 1 an even row holds b, after
            // step 2 an odd row holds a; the finished rows are the samples.
            const auto L = rowOf(&Analysis97::y, 8), Ha = rowOf(&Analysis97::y, 7), Hb = rowOf(&Analysis97::y, 9);
            auto oddPending = rowOf(&Analysis97::a, 5), evenPending = rowOf(&Analysis97::b, 6);
            std::vector<float> oddNew(len), evenNew(len);
            ASSERT_EQ(inverseWavelet97Columns32fTable[path](L.data(), Ha.data(), Hb.data(), x[4].data(), oddPending.data(),
                                                            evenPending.data(), oddNew.data(), evenNew.data(), len), primNoErr);
            expectNear(evenNew, &Analysis97::b, 8);
            expectNear(oddNew, &Analysis97::a, 7);
            for (int c = 0; c < len; ++c) {
                ASSERT_NEAR(evenPending[c], x[6][c], 2e-3) << c;
                ASSERT_NEAR(oddPending[c], x[5][c], 2e-3) << c;
            }
        }
    }
}

TEST(J2kWavelet97, ForwardColumnStageKeepsAConstant) {
    const float v = 37.25f;
    const double alpha = -1.5861343, beta = -0.052980117;
    for (int path : allPaths()) {
        std::vector<float> in(9, v), low(9, static_cast<float>(v * (1 + 2 * beta * (1 + 2 * alpha)))), high(9, 0.f),
            cNew(9, static_cast<float>(v * (1 + 2 * alpha))), bNew(9), aNew(9);
        // bNew shares the buffer of in0 and aNew that of in1, as the pipeline may pass them.
        std::vector<float> in0 = in, in1 = in;
        ASSERT_EQ(forwardWavelet97Columns32fTable[path](in0.data(), in1.data(), in.data(), low.data(), in0.data(),
                                                        high.data(), cNew.data(), in1.data(), 9), primNoErr);
        for (int i = 0; i < 9; ++i) {
            EXPECT_NEAR(low[i], v, 1e-4) << pathName(path);
            EXPECT_NEAR(high[i], 0, 1e-4) << pathName(path);
        }
    }
}

// Rows of widths 1..40 (and longer) in both phases against the textbook lifting;
// each call sees exactly the samples it may read.
TEST(J2kWavelet97, RowsFollowTheTextbookLifting) {
    std::mt19937 rng(9);
    for (int path : allPaths()) {
        for (int32_t phase : {0, 1, -5}) {
            const bool odd = phase != 0;
            for (int w = 1; w <= 44; w += (w < 12 ? 1 : 7)) {
                SCOPED_TRACE(pathName(path) + " phase " + std::to_string(phase) + " width " + std::to_string(w));
                const int n = 2 * w + 16;
                const auto x = randomFloats(rng, n, 1000);
                const auto ref = textbookAnalysis97(x);
                const double tol = 1e-5 * 1000;

                const int s = odd ? 5 : 4;  // forward: reads s-4+p .. s+2w+2+p
                Window<float> src(x.data(), s - 4 + (odd ? 1 : 0), 2 * w + 7);
                std::vector<float> low(w), high(w);
                ASSERT_EQ(forwardRow(path, src.at(s), low.data(), high.data(), w, phase), primNoErr);
                for (int j = 0; j < w; ++j) {
                    ASSERT_NEAR(low[j], ref.y[s + 2 * j + (odd ? 1 : 0)], tol) << j;
                    ASSERT_NEAR(high[j], ref.y[s + 2 * j + (odd ? 0 : 1)], tol) << j;
                }

                // Inverse from the textbook bands (rounded to float).
                const int t = odd ? 7 : 6;
                std::vector<float> lb(n / 2), hb(n / 2);
                for (int k = 0; k < n / 2; ++k)
                    lb[k] = static_cast<float>(ref.y[2 * k]), hb[k] = static_cast<float>(ref.y[2 * k + 1]);
                const int l0 = odd ? (t + 1) / 2 : t / 2, h0 = odd ? (t - 1) / 2 : t / 2;
                Window<float> lw(lb.data(), l0 - (odd ? 2 : 1), w + 3), hw(hb.data(), h0 - 2, w + 4);
                std::vector<float> dst(2 * w);
                ASSERT_EQ(inverseRow(path, lw.at(l0), hw.at(h0), dst.data(), w, phase), primNoErr);
                for (int i = 0; i < 2 * w; ++i)
                    ASSERT_NEAR(dst[i], x[t + i], tol) << i;
            }
        }
    }
}

// The primitives' own forward output, inverted by the primitives, gives the
// row back within 1e-5 of its amplitude; long rows cross the chunk size.
TEST(J2kWavelet97, ForwardThenInverseRestoresTheRow) {
    std::mt19937 rng(79);
    for (int path : allPaths()) {
        for (int32_t phase : {0, 1}) {
            for (int w : {2, 3, 5, 40, 700}) {
                const int pairs = w + 6;
                const auto x = randomFloats(rng, 2 * pairs + 8, 500);
                std::vector<float> low(pairs), high(pairs);
                ASSERT_EQ(forwardRow(path, x.data() + 4, low.data(), high.data(), pairs, phase), primNoErr);
                std::vector<float> dst(2 * w);
                // Inner pairs 3 .. 3+w-1 of the forward call.
                ASSERT_EQ(inverseRow(path, low.data() + 3, high.data() + 3, dst.data(), w, phase), primNoErr);
                for (int i = 0; i < 2 * w; ++i)
                    ASSERT_NEAR(dst[i], x[4 + 6 + i], 1e-5 * 500) << pathName(path) << " width " << w << " at " << i;
            }
        }
    }
}

TEST(J2kWavelet97, ImpulseResponsesAreTheFilterTaps) {
    for (int path : allPaths()) {
        SCOPED_TRACE(pathName(path));
        // Width 1 (the direct filter) with the documented values.
        std::vector<float> x(14, 0.f);
        float low = 0, high = 0;
        x[5] = 1;
        ASSERT_EQ(forwardRow(path, x.data() + 5, &low, &high, 1, 0), primNoErr);
        EXPECT_NEAR(low, 0.6029490, 1e-7);
        EXPECT_NEAR(high, -0.59127176, 1e-7);
        ASSERT_EQ(forwardRow(path, x.data() + 4, &low, &high, 1, 0), primNoErr);  // the 1 at index 1
        EXPECT_NEAR(low, 0.26686412, 1e-7);
        EXPECT_NEAR(high, 1.115087, 1e-7);
        ASSERT_EQ(forwardRow(path, x.data() + 5, &low, &high, 1, 1), primNoErr);
        EXPECT_NEAR(high, 1.115087, 1e-7);
        EXPECT_NEAR(low, 0.26686412, 1e-7);

        // Lifting (width 6): an impulse at source index i gives the analysis taps.
        for (int32_t phase : {0, 1}) {
            for (int i = 0; i < 12; ++i) {
                std::vector<float> src(24, 0.f), lo(6), hi(6);
                src[4 + i] = 1;
                ASSERT_EQ(forwardRow(path, src.data() + 4, lo.data(), hi.data(), 6, phase), primNoErr);
                for (int k = 0; k < 6; ++k) {
                    const int lowPos = 2 * k + (phase ? 1 : 0), highPos = 2 * k + (phase ? 0 : 1);
                    const int dl = std::abs(lowPos - i), dh = std::abs(highPos - i);
                    EXPECT_NEAR(lo[k], dl < 5 ? kLowTaps[dl] : 0.0, 2e-7) << "phase " << phase << " impulse " << i << " k " << k;
                    EXPECT_NEAR(hi[k], dh < 4 ? kHighTaps[dh] : 0.0, 2e-7) << "phase " << phase << " impulse " << i << " k " << k;
                }
            }
        }

        // Inverse, width 6, even phase: H[3] = 1 and L[3] = 1.
        for (bool inHigh : {true, false}) {
            std::vector<float> L(10, 0.f), H(10, 0.f), dst(12);
            (inHigh ? H : L)[2 + 3] = 1;
            ASSERT_EQ(inverseRow(path, L.data() + 2, H.data() + 2, dst.data(), 6, 0), primNoErr);
            const int centre = inHigh ? 7 : 6;
            for (int i = 0; i < 12; ++i) {
                const int d = std::abs(i - centre);
                const double want = inHigh ? (d < 5 ? kSynHigh[d] : 0.0) : (d < 4 ? kSynLow[d] : 0.0);
                EXPECT_NEAR(dst[i], want, 2e-7) << (inHigh ? "high" : "low") << " sample " << i;
            }
        }
        // Width 1 direct synthesis against the same taps, both phases.
        for (int32_t phase : {0, 1}) {
            for (int k = 0; k < 9; ++k) {
                std::vector<float> L(5, 0.f), H(5, 0.f), dst(2);
                const bool inHigh = k >= 4;
                const int idx = inHigh ? k - 4 : k;  // L[-2..1] or H[-2..2]
                (inHigh ? H : L)[idx] = 1;
                ASSERT_EQ(inverseRow(path, L.data() + 2, H.data() + 2, dst.data(), 1, phase), primNoErr);
                const int bandIndex = idx - 2;  // L[bandIndex] or H[bandIndex]
                const int pos = inHigh ? 2 * bandIndex + (phase ? 0 : 1) : 2 * bandIndex + (phase ? 1 : 0);
                for (int o = 0; o < 2; ++o) {
                    const int d = std::abs(o - pos);
                    const double want = inHigh ? (d < 5 ? kSynHigh[d] : 0.0) : (d < 4 ? kSynLow[d] : 0.0);
                    EXPECT_NEAR(dst[o], want, 2e-7) << "width 1 phase " << phase << " input " << k << " output " << o;
                }
            }
        }
    }
}

TEST(J2kWavelet97, ConstantRowsArePreserved) {
    for (int path : allPaths()) {
        for (int32_t phase : {0, 1}) {
            for (int w : {1, 2, 3, 6, 17, 600}) {
                SCOPED_TRACE(pathName(path) + " phase " + std::to_string(phase) + " width " + std::to_string(w));
                const float v = -3.75f;
                std::vector<float> x(2 * w + 8, v), low(w), high(w);
                ASSERT_EQ(forwardRow(path, x.data() + 4, low.data(), high.data(), w, phase), primNoErr);
                for (int k = 0; k < w; ++k) {
                    ASSERT_NEAR(low[k], v, 4e-6) << k;
                    ASSERT_NEAR(high[k], 0, 4e-6) << k;
                }
                std::vector<float> L(w + 4, 1.0f), H(w + 4, 0.f), dst(2 * w);
                ASSERT_EQ(inverseRow(path, L.data() + 2, H.data() + 2, dst.data(), w, phase), primNoErr);
                for (int i = 0; i < 2 * w; ++i)
                    ASSERT_NEAR(dst[i], 1.0f, 1e-6) << i;
            }
        }
    }
}

// A long row gives the same bits as the same row cut into pieces, each a
// call of its own: chunked processing changes no result.
TEST(J2kWavelet97, ChunkBoundariesChangeNoResult) {
    std::mt19937 rng(1500);
    const int w = 1500;
    const int pieces[] = {700, 513, 287};
    for (int path : allPaths()) {
        for (int32_t phase : {0, 1}) {
            const auto x = randomFloats(rng, 2 * w + 8, 300);
            std::vector<float> low(w), high(w), lowP(w), highP(w);
            ASSERT_EQ(forwardRow(path, x.data() + 4, low.data(), high.data(), w, phase), primNoErr);
            const auto L = randomFloats(rng, w + 4, 300), H = randomFloats(rng, w + 4, 300);
            std::vector<float> dst(2 * w), dstP(2 * w);
            ASSERT_EQ(inverseRow(path, L.data() + 2, H.data() + 2, dst.data(), w, phase), primNoErr);
            for (int k0 = 0, i = 0; k0 < w; k0 += pieces[i++]) {
                ASSERT_EQ(forwardRow(path, x.data() + 4 + 2 * k0, lowP.data() + k0, highP.data() + k0, pieces[i], phase), primNoErr);
                ASSERT_EQ(inverseRow(path, L.data() + 2 + k0, H.data() + 2 + k0, dstP.data() + 2 * k0, pieces[i], phase), primNoErr);
            }
            for (int k = 0; k < w; ++k)
                ASSERT_TRUE(bitsOf(low[k]) == bitsOf(lowP[k]) && bitsOf(high[k]) == bitsOf(highP[k])) << pathName(path) << " " << k;
            for (int i = 0; i < 2 * w; ++i)
                ASSERT_EQ(bitsOf(dst[i]), bitsOf(dstP[i])) << pathName(path) << " " << i;
        }
    }
}

// Paths 1..5 round every operation to single precision; they stay within a
// few units of the last place of the generic (double) results, and the rows
// between the row steps are not written.
TEST(J2kWavelet97, EveryPathIsCloseToGeneric) {
    std::mt19937 rng(5);
    const int w = 37, stride = 2 * w + 20;
    const auto x = randomFloats(rng, 3 * stride, 200);
    const auto L = randomFloats(rng, 3 * stride, 200), H = randomFloats(rng, 3 * stride, 200);
    auto run = [&](int path, std::vector<float>& low, std::vector<float>& high, std::vector<float>& dst) {
        low.assign(3 * stride, 5.f), high.assign(3 * stride, 5.f), dst.assign(3 * stride, 5.f);
        ASSERT_EQ(forwardWavelet97Rows32fTable[path](x.data() + 4, 4 * stride, low.data(), 4 * stride, high.data(), 4 * stride,
                                                    w, 3, 1), primNoErr);
        ASSERT_EQ(inverseWavelet97Rows32fTable[path](L.data() + 2, 4 * stride, H.data() + 2, 4 * stride, w, 3, dst.data(),
                                                    4 * stride, 0), primNoErr);
    };
    std::vector<float> l0, h0, d0;
    run(0, l0, h0, d0);
    for (int path : allPaths()) {
        std::vector<float> l, h, d;
        run(path, l, h, d);
        for (int r = 0; r < 3; ++r)
            for (int i = 0; i < stride; ++i) {
                const int k = r * stride + i;
                if (i >= w) {
                    ASSERT_TRUE(l[k] == 5.f && h[k] == 5.f) << pathName(path);
                }
                if (i >= 2 * w) {
                    ASSERT_EQ(d[k], 5.f) << pathName(path);
                    continue;
                }
                ASSERT_NEAR(d[k], d0[k], 2e-4) << pathName(path);
                if (i < w) {
                    ASSERT_NEAR(l[k], l0[k], 2e-4) << pathName(path);
                    ASSERT_NEAR(h[k], h0[k], 2e-4) << pathName(path);
                }
            }
    }
}

} // namespace
