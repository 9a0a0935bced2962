// Scaled integer arithmetic of one processor path on 16-byte registers:
// x + y or x - y of 16-bit or 32-bit elements, multiplied by 2^-sf, rounded to
// nearest with ties to even and saturated, bit for bit the generic results.
// The 16-bit lanes form exact sums in 32-bit lanes; the 32-bit lanes keep the
// 33-bit exact result inside 32 bits (operand signs for overflow, high parts
// and low bits for the rounding), so no lane needs 64 bits. The second
// operand is a vector or a constant: the same lanes serve the vector add and
// subtract primitives and the constant add and subtract primitives.
// Included by vector_p<N>.cpp after lanes.h.
#pragma once

#include <climits>

#include "primitives/vector/rules.h"

namespace prim::VQ_PATH_NS {
namespace {

// ---- 16-bit: eight lanes ----------------------------------------------------

template <bool Sub>
inline __m128i saturating16(__m128i x, __m128i y) {
    return Sub ? _mm_subs_epi16(x, y) : _mm_adds_epi16(x, y);
}

// x +- y rounded after a right shift by s (1..16), ties to even.
template <bool Sub>
inline __m128i scaleDown16(__m128i x, __m128i y, __m128i count, __m128i bias) {
    // Interleaved pairs multiplied and added against (1, 1) or (1, -1): the
    // exact sums or differences in 32-bit lanes.
    const __m128i weights = Sub ? _mm_set1_epi32(static_cast<int32_t>(0xFFFF0001u)) : _mm_set1_epi16(1);
    const __m128i one = _mm_set1_epi32(1);
    __m128i r[2] = {_mm_madd_epi16(_mm_unpacklo_epi16(x, y), weights),
                    _mm_madd_epi16(_mm_unpackhi_epi16(x, y), weights)};
    for (__m128i& v : r) {
        const __m128i odd = _mm_and_si128(_mm_srl_epi32(v, count), one);
        v = _mm_sra_epi32(_mm_add_epi32(_mm_add_epi32(v, bias), odd), count);
    }
    return _mm_packs_epi32(r[0], r[1]);
}

// x +- y times 2^k (1..15), saturated. Saturating first changes nothing:
// a clamped sum stays clamped after the shift.
template <bool Sub>
inline __m128i scaleUp16(__m128i x, __m128i y, __m128i count) {
    const __m128i t = saturating16<Sub>(x, y);
    const __m128i lo = _mm_srai_epi32(_mm_unpacklo_epi16(t, t), 16);
    const __m128i hi = _mm_srai_epi32(_mm_unpackhi_epi16(t, t), 16);
    return _mm_packs_epi32(_mm_sll_epi32(lo, count), _mm_sll_epi32(hi, count));
}

// The saturated sign of x +- y: the saturating sum keeps the exact sign; put
// in the upper half of a 32-bit lane it packs to 32767, 0 or -32768.
template <bool Sub>
inline __m128i sign16(__m128i x, __m128i y) {
    const __m128i t = saturating16<Sub>(x, y), zero = _mm_setzero_si128();
    return _mm_packs_epi32(_mm_unpacklo_epi16(zero, t), _mm_unpackhi_epi16(zero, t));
}

// ---- 32-bit: four lanes -----------------------------------------------------

inline __m128i maxByNotSign(__m128i signMask) { return _mm_xor_si128(signMask, _mm_set1_epi32(0x7FFFFFFF)); }

template <bool Sub>
inline __m128i saturating32(__m128i a, __m128i b) {
    const __m128i w = Sub ? _mm_sub_epi32(a, b) : _mm_add_epi32(a, b);
    // Overflow: for a sum, both operands differ in sign from w; for a
    // difference, the operands differ in sign and w differs from a. The
    // exact result then has the sign of a.
    const __m128i over = Sub ? _mm_and_si128(_mm_xor_si128(a, b), _mm_xor_si128(a, w))
                             : _mm_and_si128(_mm_xor_si128(a, w), _mm_xor_si128(b, w));
    return select(_mm_srai_epi32(over, 31), maxByNotSign(_mm_srai_epi32(a, 31)), w);
}

template <bool Sub>
inline __m128i halve32(__m128i a, __m128i b) {
    const __m128i one = _mm_set1_epi32(1);
    if (!Sub) {
        // a + b = 2h + low bits; a tie rounds to the even neighbour of h.
        const __m128i h = _mm_add_epi32(_mm_srai_epi32(a, 1), _mm_srai_epi32(b, 1));
        const __m128i l = _mm_add_epi32(_mm_add_epi32(_mm_and_si128(a, one), _mm_and_si128(b, one)),
                                        _mm_and_si128(h, one));
        return _mm_add_epi32(h, _mm_srli_epi32(l, 1));
    }
    // a - b = 2h + (a & 1) - (b & 1): h + 1/2 and h - 1/2 round to the even
    // neighbour; h + 1 is not taken past the maximum (the saturated result).
    const __m128i h = _mm_sub_epi32(_mm_srai_epi32(a, 1), _mm_srai_epi32(b, 1));
    const __m128i hOdd = _mm_and_si128(h, one);
    const __m128i e = _mm_and_si128(_mm_xor_si128(a, b), hOdd);
    const __m128i o = _mm_and_si128(_mm_andnot_si128(b, a), hOdd);
    const __m128i c = _mm_andnot_si128(_mm_cmpeq_epi32(h, _mm_set1_epi32(0x7FFFFFFF)), o);
    return _mm_sub_epi32(_mm_add_epi32(_mm_add_epi32(h, o), c), e);
}

// (a +- b) / 2^s for s = 2..32, ties to even: the exact value is 4h + l with
// h the sum or difference of the operands' quarters and l of their low two
// bits. The parity of h stands in for bit s of the exact value: the two
// differ only where l carries into it, and that is never a tie.
template <bool Sub>
inline __m128i scaleDown32(__m128i a, __m128i b, int32_t s) {
    const __m128i three = _mm_set1_epi32(3), one = _mm_set1_epi32(1);
    const __m128i h = Sub ? _mm_sub_epi32(_mm_srai_epi32(a, 2), _mm_srai_epi32(b, 2))
                          : _mm_add_epi32(_mm_srai_epi32(a, 2), _mm_srai_epi32(b, 2));
    const __m128i l = Sub ? _mm_sub_epi32(_mm_and_si128(a, three), _mm_and_si128(b, three))
                          : _mm_add_epi32(_mm_and_si128(a, three), _mm_and_si128(b, three));
    if (s == 2) {
        // The carry of l lands on the parity bit itself: take it with h. A
        // negative l shifted logically brings 2^30 - 1, which is the borrow.
        const __m128i q = _mm_and_si128(_mm_add_epi32(h, _mm_srli_epi32(l, 2)), one);
        const __m128i t = _mm_add_epi32(_mm_add_epi32(l, one), q);
        return _mm_add_epi32(h, _mm_srai_epi32(t, 2));
    }
    const __m128i k = _mm_cvtsi32_si128(s - 2);
    const __m128i bias = _mm_set1_epi32(static_cast<int32_t>((uint32_t(1) << (s - 1)) - 1));
    const __m128i parity = _mm_and_si128(_mm_srl_epi32(h, k), one);
    const __m128i low = _mm_add_epi32(_mm_add_epi32(l, bias), parity);  // never negative as unsigned
    return _mm_sra_epi32(_mm_add_epi32(h, _mm_srli_epi32(low, 2)), k);
}

// (a +- b) x 2^k for k = 1..30, saturated: the exact sign s is rebuilt from
// the operands; the shifted value fits where the top k + 1 bits of the
// wrapped result all equal s.
template <bool Sub>
inline __m128i scaleUp32(__m128i a, __m128i b, __m128i count, __m128i top) {
    const __m128i w = Sub ? _mm_sub_epi32(a, b) : _mm_add_epi32(a, b);
    const __m128i differ = _mm_srai_epi32(_mm_xor_si128(a, b), 31);
    // A sum of operands of unlike signs cannot overflow: its sign is w's;
    // otherwise a's. A difference is the other way round.
    const __m128i s = _mm_srai_epi32(Sub ? select(differ, a, w) : select(differ, w, a), 31);
    const __m128i fits = _mm_cmpeq_epi32(_mm_and_si128(w, top), _mm_and_si128(s, top));
    return select(fits, _mm_sll_epi32(w, count), maxByNotSign(s));
}

// The second operand is the vector y, or the constant c when y is null.
template <class T, bool Sub>
inline int64_t exactAt(const T* x, const T* y, T c, int32_t i) {
    const int64_t a = vrule::ldAt(x, i), b = y ? int64_t(vrule::ldAt(y, i)) : int64_t(c);
    return Sub ? a - b : a + b;
}

template <class T, bool Sub, class Vec>
inline void runScaled(const T* x, const T* y, T c, T* d, int32_t n, int32_t sf, Vec vec) {
    const __m128i cv = sizeof(T) == 2 ? _mm_set1_epi16(static_cast<int16_t>(c)) : _mm_set1_epi32(c);
    eachBlock<sizeof(T)>(
        d, n, [&](int32_t i) { storeBlock(d + i, vec(loadBlock(x + i), y ? loadBlock(y + i) : cv)); },
        [&](int32_t i) { vrule::stAt(d, i, vrule::scaleRound<T>(exactAt<T, Sub>(x, y, c, i), sf)); });
}

template <class T, bool Sub>
void scaledKernel(const T* x, const T* y, T c, T* d, int32_t n, int32_t sf) {
    const __m128i count = _mm_cvtsi32_si128(sf > 0 ? sf : (sf < 0 && sf > -31 ? -sf : 0));
    if constexpr (sizeof(T) == 2) {
        if (sf == 0) {
            runScaled<T, Sub>(x, y, c, d, n, sf, saturating16<Sub>);
        } else if (sf > 0) {
            const __m128i bias = _mm_set1_epi32((1 << (sf - 1)) - 1);
            runScaled<T, Sub>(x, y, c, d, n, sf, [&](__m128i a, __m128i b) { return scaleDown16<Sub>(a, b, count, bias); });
        } else if (sf > -16) {
            runScaled<T, Sub>(x, y, c, d, n, sf, [&](__m128i a, __m128i b) { return scaleUp16<Sub>(a, b, count); });
        } else {
            runScaled<T, Sub>(x, y, c, d, n, sf, sign16<Sub>);
        }
    } else {
        if (sf == 0) {
            runScaled<T, Sub>(x, y, c, d, n, sf, saturating32<Sub>);
        } else if (sf == 1) {
            runScaled<T, Sub>(x, y, c, d, n, sf, halve32<Sub>);
        } else if (sf > 1) {
            runScaled<T, Sub>(x, y, c, d, n, sf, [&](__m128i a, __m128i b) { return scaleDown32<Sub>(a, b, sf); });
        } else if (sf > -31) {
            const __m128i top = _mm_set1_epi32(INT32_MIN >> -sf);
            runScaled<T, Sub>(x, y, c, d, n, sf, [&](__m128i a, __m128i b) { return scaleUp32<Sub>(a, b, count, top); });
        } else {
            // Only the sign of the exact result counts: a plain element loop.
            for (int32_t i = 0; i < n; ++i)
                vrule::stAt(d, i, vrule::scaleRound<T>(exactAt<T, Sub>(x, y, c, i), sf));
        }
    }
}

} // namespace
} // namespace prim::VQ_PATH_NS
