// Constant-arithmetic row kernels of one processor path (included by
// image_p<N>.cpp). 16-bit: exact 32-bit products from a pair multiply-add of
// (x, x) against (c, 0), eight samples per register. 8-bit: byte-lane
// saturating operations where the rule allows, else 16-bit lanes narrowed by
// an unsigned saturating pack, sixteen pixels per register. The scalar heads
// and tails use the rules of arith_rules.h.

#include "primitives/core/set.h"
#include "primitives/image/arith/arith.h"
#include "primitives/image/arith/arith_rules.h"
#include "primitives/vector/add_sub.h"

namespace prim::VQ_PATH_NS {
namespace {

constexpr int kFillPath = VQ_PATH_LEVEL;

void mul32fRow(float value, float* row, int32_t n) { scaleInPlace32f(value, row, n); }

// Rounding shift of non-negative or signed 32-bit lanes by k >= 1.
inline __m128i roundShift32(__m128i v, __m128i bias, __m128i count) {
    const __m128i bit = _mm_and_si128(_mm_sra_epi32(v, count), _mm_set1_epi32(1));
    return _mm_sra_epi32(_mm_add_epi32(_mm_add_epi32(v, bias), bit), count);
}
inline __m128i roundShift16(__m128i v, __m128i bias, __m128i count) {
    const __m128i bit = _mm_and_si128(_mm_srl_epi16(v, count), _mm_set1_epi16(1));
    return _mm_srl_epi16(_mm_add_epi16(_mm_add_epi16(v, bias), bit), count);
}

template <int K>
void mul16sRow(int16_t c, int16_t* row, int32_t n, int32_t k) {
    const __m128i pair = _mm_set1_epi32(int32_t(uint16_t(c)));  // (c, 0) in every 32-bit lane
    const __m128i cw = _mm_set1_epi16(c);
    const __m128i count = _mm_cvtsi32_si128(K == arule::kHalf ? 1 : k);
    const __m128i upCount = _mm_cvtsi32_si128(16 - k);
    const __m128i bias = _mm_set1_epi32(K == arule::kDown ? (int32_t(1) << (k - 1)) - 1 : 0);
    eachBlock<2>(
        row, n,
        [&](int32_t i) {
            const __m128i x = loadBlock(row + i);
            __m128i r;
            if constexpr (K == arule::kMask) {
                const __m128i sign = _mm_srai_epi16(_mm_xor_si128(x, cw), 15);
                r = _mm_andnot_si128(_mm_cmpeq_epi16(x, _mm_setzero_si128()),
                                     _mm_sub_epi16(_mm_set1_epi16(32767), sign));
            } else {
                __m128i lo = _mm_madd_epi16(_mm_unpacklo_epi16(x, x), pair);
                __m128i hi = _mm_madd_epi16(_mm_unpackhi_epi16(x, x), pair);
                if constexpr (K == arule::kHalf || K == arule::kDown) {
                    lo = roundShift32(lo, bias, count);
                    hi = roundShift32(hi, bias, count);
                }
                r = _mm_packs_epi32(lo, hi);
                if constexpr (K == arule::kUp) {
                    // The saturated product in the top half of a 32-bit lane,
                    // shifted down by 16 - k: times 2^k exactly.
                    const __m128i z = _mm_setzero_si128();
                    r = _mm_packs_epi32(_mm_sra_epi32(_mm_unpacklo_epi16(z, r), upCount),
                                        _mm_sra_epi32(_mm_unpackhi_epi16(z, r), upCount));
                }
            }
            storeBlock(row + i, r);
        },
        [&](int32_t i) { vrule::stAt(row, i, arule::mul16s<K>(int32_t(c) * vrule::ldAt(row, i), k)); });
}

// Sixteen exact values in two registers of 16-bit lanes (at most 65025, 255
// or 510), narrowed to bytes by the case's rule.
template <int K>
inline __m128i narrow8u(__m128i lo, __m128i hi, __m128i bias16, __m128i count) {
    if constexpr (K == arule::kHalf || K == arule::kDown) {
        lo = roundShift16(lo, bias16, count);
        hi = roundShift16(hi, bias16, count);
    } else if constexpr (K == arule::kUp) {
        lo = _mm_sll_epi16(lo, count);
        hi = _mm_sll_epi16(hi, count);
    }
    return _mm_packus_epi16(lo, hi);
}

template <int Op, int K>
void arith8uRow(const uint8_t* src, uint8_t* dst, int32_t n, int32_t c, int32_t k) {
    const __m128i z = _mm_setzero_si128();
    const __m128i ones = _mm_set1_epi8(-1);
    const __m128i cw = _mm_set1_epi16(static_cast<int16_t>(c));
    const __m128i count = _mm_cvtsi32_si128(K == arule::kHalf ? 1 : k);
    const __m128i countM1 = _mm_cvtsi32_si128(k - 1);
    const int32_t biasValue = K == arule::kDown ? (int32_t(1) << (k - 1)) - 1 : 0;
    const __m128i bias16 = _mm_set1_epi16(static_cast<int16_t>(biasValue));
    eachBlock<1>(
        dst, n,
        [&](int32_t i) {
            const __m128i x = loadBlock(dst + i);
            __m128i r;
            if constexpr (Op == arule::kMul) {
                if constexpr (K == arule::kMask) {
                    r = _mm_xor_si128(_mm_cmpeq_epi8(x, z), ones);
                } else {
                    __m128i lo = _mm_mullo_epi16(_mm_unpacklo_epi8(x, z), cw);
                    __m128i hi = _mm_mullo_epi16(_mm_unpackhi_epi8(x, z), cw);
                    if constexpr (K == arule::kSat) {
                        // Products of 32768 and more read as negative: flipping
                        // their bits leaves a positive value of at least 510.
                        lo = _mm_xor_si128(lo, _mm_srai_epi16(lo, 15));
                        hi = _mm_xor_si128(hi, _mm_srai_epi16(hi, 15));
                        r = _mm_packus_epi16(lo, hi);
                    } else if constexpr (K == arule::kUp) {
                        // min(p, 128) - 32768 as a signed lane; the shift by
                        // k >= 1 drops the offset.
                        const __m128i flip = _mm_set1_epi16(static_cast<int16_t>(0x8000));
                        const __m128i cap = _mm_set1_epi16(static_cast<int16_t>(128 - 32768));
                        lo = _mm_min_epi16(_mm_xor_si128(lo, flip), cap);
                        hi = _mm_min_epi16(_mm_xor_si128(hi, flip), cap);
                        r = narrow8u<K>(lo, hi, bias16, count);
                    } else {
                        // p + 2^(k-1) can pass 16 bits: round the half h = p >> 1
                        // by k - 1 with p's low bit carried into the bias.
                        const __m128i one = _mm_set1_epi16(1);
                        const __m128i biasK = _mm_set1_epi16(static_cast<int16_t>((1 << (k - 1)) - 1));
                        auto half = [&](__m128i p) {
                            const __m128i h = _mm_srli_epi16(p, 1);
                            const __m128i b = _mm_add_epi16(_mm_add_epi16(biasK, _mm_and_si128(p, one)),
                                                            _mm_and_si128(_mm_srl_epi16(h, countM1), one));
                            return _mm_srl_epi16(_mm_add_epi16(h, _mm_srli_epi16(b, 1)), countM1);
                        };
                        r = _mm_packus_epi16(half(lo), half(hi));
                    }
                }
            } else {
                const __m128i y = loadBlock(src + i);
                if constexpr (Op == arule::kSub) {
                    const __m128i d = _mm_subs_epu8(x, y);
                    if constexpr (K == arule::kSat)
                        r = d;
                    else if constexpr (K == arule::kMask)
                        r = _mm_xor_si128(_mm_cmpeq_epi8(d, z), ones);
                    else
                        r = narrow8u<K>(_mm_unpacklo_epi8(d, z), _mm_unpackhi_epi8(d, z), bias16, count);
                } else {
                    if constexpr (K == arule::kSat)
                        r = _mm_adds_epu8(x, y);
                    else if constexpr (K == arule::kMask)
                        r = _mm_xor_si128(_mm_cmpeq_epi8(_mm_or_si128(x, y), z), ones);
                    else if constexpr (K == arule::kUp) {
                        // A saturated sum of 255 still saturates after the shift.
                        const __m128i t = _mm_adds_epu8(x, y);
                        r = narrow8u<K>(_mm_unpacklo_epi8(t, z), _mm_unpackhi_epi8(t, z), bias16, count);
                    } else {
                        r = narrow8u<K>(_mm_add_epi16(_mm_unpacklo_epi8(x, z), _mm_unpacklo_epi8(y, z)),
                                        _mm_add_epi16(_mm_unpackhi_epi8(x, z), _mm_unpackhi_epi8(y, z)), bias16,
                                        count);
                    }
                }
            }
            storeBlock(dst + i, r);
        },
        [&](int32_t i) { dst[i] = arule::scale8u<K>(arule::exact8u<Op>(dst[i], src ? src[i] : 0, c), k); });
}

} // namespace

#include "primitives/image/arith/arith_forms.inl"

} // namespace prim::VQ_PATH_NS
