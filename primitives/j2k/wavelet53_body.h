// Scalar 5/3 lifting of the generic forms, also used for the samples that the
// processor paths do not take in vector blocks. Sums are formed in 32 bits and
// wrap; a 16-bit sample type wraps each result to 16 bits, and each even value
// before it enters a further sum.
#pragma once

#include <cstdint>

#include "primitives/j2k/lifting_rules.h"
#include "primitives/j2k/wavelet_checks.h"

namespace j2k53 {
namespace {

using j2k_rules::add32;
using j2k_rules::sub32;

template <class S>
inline S toSample(int32_t v) {
    if constexpr (sizeof(S) == 2)
        return j2k_rules::wrap16(v);
    else
        return v;
}

// Forward predict and update.
inline int32_t predict(int32_t odd, int32_t ea, int32_t eb) { return sub32(odd, add32(ea, eb) >> 1); }
inline int32_t update(int32_t even, int32_t da, int32_t db) { return add32(even, add32(add32(da, db), 2) >> 2); }
// Inverse: the even value from a low-pass value and its two high-pass
// neighbours, the odd value from a high-pass value and its two even neighbours.
template <class S>
inline S evenOf(int32_t low, int32_t ha, int32_t hb) { return toSample<S>(sub32(low, add32(add32(ha, hb), 2) >> 2)); }
template <class S>
inline S oddOf(int32_t high, int32_t ea, int32_t eb) { return toSample<S>(add32(high, add32(ea, eb) >> 1)); }

// Forward pairs [j0, j1) of one row. xb is the row moved back by two samples
// (phase 0) or one (other phases), so that pair j reads xb[2j .. 2j+4] in both.
inline void forwardPairs(const int32_t* xb, int32_t* low, int32_t* high, int32_t j0, int32_t j1, bool odd) {
    for (int32_t j = j0; j < j1; ++j) {
        const int32_t* x = xb + 2 * j;
        const int32_t before = predict(x[1], x[0], x[2]);
        const int32_t after = predict(x[3], x[2], x[4]);
        low[j] = update(x[2], before, after);
        high[j] = odd ? before : after;
    }
}

// Inverse pairs [j0, j1) of one row. lowb is the low row moved back by one
// sample in the odd phase, so that pair j uses the even values of lowb[j] and
// lowb[j+1] in both phases.
template <class S>
inline void inversePairs(const S* lowb, const S* high, S* dst, int32_t j0, int32_t j1, bool odd) {
    for (int32_t j = j0; j < j1; ++j) {
        const S ea = evenOf<S>(lowb[j], high[j - 1], high[j]);
        const S eb = evenOf<S>(lowb[j + 1], high[j], high[j + 1]);
        const S o = oddOf<S>(high[j], ea, eb);
        dst[2 * j] = odd ? o : ea;
        dst[2 * j + 1] = odd ? eb : o;
    }
}

template <class S>
inline void inverseColumns(const S* low, const S* highPrev, const S* high, const S* evenPrev, S* odd, S* even,
                           int32_t c0, int32_t c1) {
    for (int32_t c = c0; c < c1; ++c) {
        const S e = evenOf<S>(low[c], highPrev[c], high[c]);
        odd[c] = oddOf<S>(highPrev[c], evenPrev[c], e);
        even[c] = e;
    }
}

inline void forwardColumns(const int32_t* even0, const int32_t* odd, const int32_t* even1, int32_t* low,
                           const int32_t* highPrev, int32_t* high, int32_t c0, int32_t c1) {
    for (int32_t c = c0; c < c1; ++c) {
        const int32_t d = predict(odd[c], even0[c], even1[c]);
        high[c] = d;
        low[c] = update(even0[c], highPrev[c], d);
    }
}

// The row loops of every form: checks, then Pairs(row pointers..., width, odd)
// once per row.
template <class Pairs>
inline int32_t forwardRows(const int32_t* src, int32_t srcStep, int32_t* low, int32_t lowStep, int32_t* high,
                           int32_t highStep, int32_t width, int32_t height, int32_t phase, Pairs pairs) {
    using j2k_wavelet::rowAt;
    if (const int32_t s = j2k_wavelet::checkRows(src, low, high, srcStep, lowStep, highStep, width, height))
        return s;
    const bool odd = phase != 0;
    for (int32_t r = 0; r < height; ++r)
        pairs(rowAt(src, srcStep, r) - (odd ? 1 : 2), rowAt(low, lowStep, r), rowAt(high, highStep, r), width, odd);
    return primNoErr;
}

template <class S, class Pairs>
inline int32_t inverseRows(const S* low, int32_t lowStep, const S* high, int32_t highStep, int32_t width,
                           int32_t height, S* dst, int32_t dstStep, int32_t phase, Pairs pairs) {
    using j2k_wavelet::rowAt;
    if (const int32_t s = j2k_wavelet::checkRows(low, high, dst, lowStep, highStep, dstStep, width, height))
        return s;
    const bool odd = phase != 0;
    for (int32_t r = 0; r < height; ++r)
        pairs(rowAt(low, lowStep, r) - (odd ? 1 : 0), rowAt(high, highStep, r), rowAt(dst, dstStep, r), width, odd);
    return primNoErr;
}

} // namespace
} // namespace j2k53
