// 16-bit fixed-point 9/7 synthesis: the documented reference values, which
// every path now gives (the processor paths compute the generic steps
// exactly instead of in saturating 16-bit lanes), agreement of every path
// with the generic form over full-range samples, chunked long rows, and
// agreement with the float forms in range.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <random>
#include <vector>

#include "j2k_test_util.h"
#include "primitives/j2k/wavelet97.h"

using namespace j2ktest;

namespace {

using Row16 = std::vector<int16_t>;

int32_t inverseRow16(int path, const int16_t* low, const int16_t* high, int16_t* dst, int32_t w, int32_t phase) {
    return inverseWavelet97Rows16sTable[path](low, 2 * (w + 4), high, 2 * (w + 4), w, 1, dst, 4 * w, phase);
}

// Columns: one sample position with the given inputs, among zero columns.
struct ColumnOut {
    int16_t evenNew, oddNew, evenPending, oddPending;
    bool operator==(const ColumnOut&) const = default;
};
ColumnOut columnStep(int path, int16_t low, int16_t ha, int16_t hb, int16_t ef, int16_t op, int16_t ep, int at = 9, int width = 19) {
    Row16 L(width), A(width), B(width), F(width), O(width), E(width), on(width, 99), en(width, 99);
    L[at] = low, A[at] = ha, B[at] = hb, F[at] = ef, O[at] = op, E[at] = ep;
    EXPECT_EQ(inverseWavelet97Columns16sTable[path](L.data(), A.data(), B.data(), F.data(), O.data(), E.data(), on.data(),
                                                    en.data(), width), primNoErr);
    for (int i = 0; i < width; ++i) {
        if (i != at) {
            EXPECT_TRUE(en[i] == 0 && on[i] == 0 && E[i] == 0 && O[i] == 0) << i;
        }
    }
    return {en[at], on[at], E[at], O[at]};
}

TEST(J2kWavelet97Fixed, BadArgumentsAreRefusedInOrder) {
    int16_t r[8][8] = {};
    for (int path : allPaths()) {
        for (int k = 0; k < 8; ++k) {
            int16_t* p[8];
            for (int i = 0; i < 8; ++i)
                p[i] = i == k ? nullptr : r[i];
            EXPECT_EQ(inverseWavelet97Columns16sTable[path](p[0], p[1], p[2], p[3], p[4], p[5], p[6], p[7], 0), primErrNullPtr);
        }
        EXPECT_EQ(inverseWavelet97Columns16sTable[path](r[0], r[1], r[2], r[3], r[4], r[5], r[6], r[7], 0), primErrSize);
        EXPECT_EQ(inverseWavelet97Rows16sTable[path](nullptr, 0, r[1], 0, 0, 0, r[2], 0, 0), primErrNullPtr);
        EXPECT_EQ(inverseWavelet97Rows16sTable[path](r[0], 2, r[1], 2, 0, 0, r[2], 0, 0), primErrStep);
        EXPECT_EQ(inverseWavelet97Rows16sTable[path](r[0], 2, r[1], 2, 1, 0, r[2], 2, 0), primErrSize);
        EXPECT_EQ(inverseWavelet97Rows16sTable[path](r[0], 2, r[1], 2, 0, 1, r[2], 2, 0), primErrSize);
    }
    for (auto& row : r)
        for (int16_t v : row)
            ASSERT_EQ(v, 0);
}

TEST(J2kWavelet97Fixed, ColumnStepGivesTheReferenceValuesOnEveryPath) {
    for (int path : allPaths()) {
        SCOPED_TRACE(pathName(path));
        for (int at : {0, 9, 18}) {
            EXPECT_EQ(columnStep(path, 1, 0, 0, 0, 0, 0, at), (ColumnOut{1, -1, 0, 0}));
            EXPECT_EQ(columnStep(path, 0, 0, 0, 0, 2048, 0, at), (ColumnOut{0, 0, 108, 2219}));  // 108.5 adds 108
            EXPECT_EQ(columnStep(path, 0, 0, 0, 0, -2048, 0, at), (ColumnOut{0, 0, -109, -2221}));
            EXPECT_EQ(columnStep(path, 100, 50, -20, 10, 7, -30, at), (ColumnOut{112, -32, -31, -26}));
            EXPECT_EQ(columnStep(path, 0, 0, 0, 0, 0, 0, at), (ColumnOut{0, 0, 0, 0}));
        }
        // Saturation of the results, not of intermediate values: a low-pass
        // sample beyond 16383 must not clamp before it is scaled.
        const ColumnOut big = columnStep(path, 32767, -32768, -32768, 0, 0, 0);
        EXPECT_EQ(big.evenNew, 32767);
        EXPECT_EQ(big.oddNew, -32768);
        EXPECT_EQ(big, columnStep(0, 32767, -32768, -32768, 0, 0, 0));
        const ColumnOut mid = columnStep(path, 20000, 0, 0, 0, 0, 0);
        EXPECT_EQ(mid.evenNew, 24604);  // 20000 x 80621 / 65536 = 24603.9
    }
}

TEST(J2kWavelet97Fixed, RowsGiveTheReferenceValuesOnEveryPath) {
    for (int path : allPaths()) {
        SCOPED_TRACE(pathName(path));
        // Constant low-pass 100, high-pass 0: every output 100.
        for (int32_t phase : {0, 1}) {
            for (int w : {1, 2, 3, 6, 40}) {
                Row16 L(w + 4, 100), H(w + 4, 0), dst(2 * w);
                ASSERT_EQ(inverseRow16(path, L.data() + 2, H.data() + 2, dst.data(), w, phase), primNoErr);
                EXPECT_EQ(dst, Row16(2 * w, 100)) << "phase " << phase << " width " << w;
            }
        }
        // 8000 everywhere: the reference 8000, 8001, ... on every path (the
        // saturating 16-bit lanes gave 8000, -4384, 8154, ...).
        {
            Row16 L(10, 8000), H(10, 0), dst(12);
            ASSERT_EQ(inverseRow16(path, L.data() + 2, H.data() + 2, dst.data(), 6, 0), primNoErr);
            EXPECT_EQ(dst, (Row16{8000, 8001, 8000, 8001, 8000, 8001, 8000, 8001, 8000, 8001, 8000, 8001}));
        }
        // High-pass impulse of 1000 at H[3].
        {
            Row16 L(10, 0), H(10, 0), dst(12);
            H[2 + 3] = 1000;
            ASSERT_EQ(inverseRow16(path, L.data() + 2, H.data() + 2, dst.data(), 6, 0), primNoErr);
            EXPECT_EQ(dst, (Row16{0, 0, 0, 27, 17, -78, -267, 603, -267, -78, 17, 27}));
        }
        // Results beyond the range saturate, also at the last sample: a
        // constant 32767 low-pass row drives every odd step result above the
        // range, and none of them wraps to a negative value.
        for (int w : {1, 2, 9}) {
            Row16 L(w + 4, 32767), H(w + 4, 0), dst(2 * w);
            ASSERT_EQ(inverseRow16(path, L.data() + 2, H.data() + 2, dst.data(), w, 0), primNoErr);
            EXPECT_EQ(dst.back(), 32767) << "width " << w;
            EXPECT_GT(*std::min_element(dst.begin(), dst.end()), 0) << "width " << w;
        }
    }
}

// Every path equals the generic form over random full-range samples, every
// width 1..40 and both phases, with exact-size input blocks.
TEST(J2kWavelet97Fixed, EveryPathEqualsGenericOverTheWholeRange) {
    std::mt19937 rng(16);
    for (int32_t phase : {0, 1}) {
        const bool odd = phase != 0;
        for (int w = 1; w <= 40; ++w) {
            for (int64_t lim : {32767, 16000, 300}) {
                const auto lb = randomValues<int16_t>(rng, w + 3, -lim - 1, lim);
                const auto hb = randomValues<int16_t>(rng, w + 4, -lim - 1, lim);
                // Even phase reads L[-1..w+1], odd phase L[-2..w]; both H[-2..w+1].
                Window<int16_t> lw(lb.data(), 0, w + 3), hw(hb.data(), 0, w + 4);
                const int16_t* L = lw.at(odd ? 2 : 1);
                const int16_t* H = hw.at(2);
                Row16 ref(2 * w);
                ASSERT_EQ(inverseRow16(0, L, H, ref.data(), w, phase), primNoErr);
                for (int path : allPaths()) {
                    Row16 dst(2 * w);
                    ASSERT_EQ(inverseRow16(path, L, H, dst.data(), w, phase), primNoErr);
                    ASSERT_EQ(dst, ref) << pathName(path) << " width " << w << " phase " << phase << " range " << lim;
                }
                // Columns: eight rows of w samples.
                std::vector<Row16> rows;
                for (int i = 0; i < 8; ++i)
                    rows.push_back(randomValues<int16_t>(rng, w, -lim - 1, lim));
                auto runColumns = [&](int path) {
                    std::vector<Row16> r = rows;
                    EXPECT_EQ(inverseWavelet97Columns16sTable[path](r[0].data(), r[1].data(), r[2].data(), r[3].data(),
                                                                    r[4].data(), r[5].data(), r[6].data(), r[7].data(), w), primNoErr);
                    return r;
                };
                const auto want = runColumns(0);
                for (int path : allPaths())
                    ASSERT_EQ(runColumns(path), want) << pathName(path) << " width " << w << " range " << lim;
            }
        }
    }
}

TEST(J2kWavelet97Fixed, ChunkBoundariesChangeNoResult) {
    std::mt19937 rng(3000);
    const int w = 3000;
    const int pieces[] = {1409, 1408, 183};
    for (int path : allPaths()) {
        for (int32_t phase : {0, 1}) {
            const auto L = randomValues<int16_t>(rng, w + 4, -20000, 20000), H = randomValues<int16_t>(rng, w + 4, -20000, 20000);
            Row16 whole(2 * w), cut(2 * w);
            ASSERT_EQ(inverseRow16(path, L.data() + 2, H.data() + 2, whole.data(), w, phase), primNoErr);
            for (int k0 = 0, i = 0; k0 < w; k0 += pieces[i++])
                ASSERT_EQ(inverseRow16(path, L.data() + 2 + k0, H.data() + 2 + k0, cut.data() + 2 * k0, pieces[i], phase), primNoErr);
            ASSERT_EQ(whole, cut) << pathName(path) << " phase " << phase;
        }
    }
}

// In range the fixed-point forms follow the float forms to within the
// rounding of four steps.
TEST(J2kWavelet97Fixed, InRangeTheyFollowTheFloatForms) {
    std::mt19937 rng(1632);
    for (int path : allPaths()) {
        for (int32_t phase : {0, 1}) {
            for (int w : {1, 2, 5, 33}) {
                const auto L = randomValues<int16_t>(rng, w + 4, -4000, 4000), H = randomValues<int16_t>(rng, w + 4, -2000, 2000);
                std::vector<float> Lf(L.begin(), L.end()), Hf(H.begin(), H.end()), df(2 * w);
                Row16 d(2 * w);
                ASSERT_EQ(inverseRow16(path, L.data() + 2, H.data() + 2, d.data(), w, phase), primNoErr);
                ASSERT_EQ(inverseWavelet97Rows32fTable[0](Lf.data() + 2, 4, Hf.data() + 2, 4, w, 1, df.data(), 4, phase), primNoErr);
                for (int i = 0; i < 2 * w; ++i)
                    ASSERT_NEAR(d[i], df[i], 2.5) << pathName(path) << " width " << w << " at " << i;
            }
            // Columns.
            const int w = 21;
            std::vector<Row16> r;
            std::vector<std::vector<float>> f;
            for (int i = 0; i < 6; ++i) {
                r.push_back(randomValues<int16_t>(rng, w, -3000, 3000));
                f.emplace_back(r.back().begin(), r.back().end());
            }
            Row16 on(w), en(w);
            std::vector<float> onf(w), enf(w);
            ASSERT_EQ(inverseWavelet97Columns16sTable[path](r[0].data(), r[1].data(), r[2].data(), r[3].data(), r[4].data(),
                                                            r[5].data(), on.data(), en.data(), w), primNoErr);
            ASSERT_EQ(inverseWavelet97Columns32fTable[0](f[0].data(), f[1].data(), f[2].data(), f[3].data(), f[4].data(),
                                                         f[5].data(), onf.data(), enf.data(), w), primNoErr);
            for (int i = 0; i < w; ++i) {
                ASSERT_NEAR(en[i], enf[i], 1.0);
                ASSERT_NEAR(on[i], onf[i], 1.5);
                ASSERT_NEAR(r[5][i], f[5][i], 2.0);
                ASSERT_NEAR(r[4][i], f[4][i], 2.5);
            }
        }
    }
}

} // namespace
