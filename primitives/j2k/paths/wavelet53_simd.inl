// 5/3 lifting of one processor path: four pairs (or columns) per vector
// block in 32-bit lanes, the rest by the scalar lifting. 16-bit samples are
// widened to 32-bit lanes and wrapped back exactly as the generic form wraps
// them, so no sum can overflow a lane and every input gives the generic
// result.
#include "primitives/j2k/wavelet53.h"
#include "primitives/j2k/wavelet53_body.h"

namespace prim::VQ_PATH_NS {
namespace {

template <class S>
struct Lanes53;

template <>
struct Lanes53<int32_t> {
    static __m128i load4(const int32_t* p) { return _mm_loadu_si128(reinterpret_cast<const __m128i*>(p)); }
    static __m128i wrap(__m128i v) { return v; }
    static void store4(int32_t* p, __m128i v) { _mm_storeu_si128(reinterpret_cast<__m128i*>(p), v); }
    // dst[2i] = a[i], dst[2i+1] = b[i], i = 0..3.
    static void storePairs(int32_t* p, __m128i a, __m128i b) {
        store4(p, _mm_unpacklo_epi32(a, b));
        store4(p + 4, _mm_unpackhi_epi32(a, b));
    }
};

template <>
struct Lanes53<int16_t> {
    static __m128i load4(const int16_t* p) {
        const __m128i v = _mm_loadl_epi64(reinterpret_cast<const __m128i*>(p));
        return _mm_srai_epi32(_mm_unpacklo_epi16(v, v), 16);
    }
    static __m128i wrap(__m128i v) { return _mm_srai_epi32(_mm_slli_epi32(v, 16), 16); }
    // The values are wrapped already, so the saturating pack keeps them.
    static void store4(int16_t* p, __m128i v) { _mm_storel_epi64(reinterpret_cast<__m128i*>(p), _mm_packs_epi32(v, v)); }
    static void storePairs(int16_t* p, __m128i a, __m128i b) {
        _mm_storeu_si128(reinterpret_cast<__m128i*>(p), _mm_packs_epi32(_mm_unpacklo_epi32(a, b), _mm_unpackhi_epi32(a, b)));
    }
};

inline __m128i predictV(__m128i odd, __m128i ea, __m128i eb) { return _mm_sub_epi32(odd, _mm_srai_epi32(_mm_add_epi32(ea, eb), 1)); }
inline __m128i updateV(__m128i even, __m128i da, __m128i db) {
    return _mm_add_epi32(even, _mm_srai_epi32(_mm_add_epi32(_mm_add_epi32(da, db), _mm_set1_epi32(2)), 2));
}
template <class S>
inline __m128i evenV(__m128i low, __m128i ha, __m128i hb) {
    return Lanes53<S>::wrap(_mm_sub_epi32(low, _mm_srai_epi32(_mm_add_epi32(_mm_add_epi32(ha, hb), _mm_set1_epi32(2)), 2)));
}
template <class S>
inline __m128i oddV(__m128i high, __m128i ea, __m128i eb) {
    return Lanes53<S>::wrap(_mm_add_epi32(high, _mm_srai_epi32(_mm_add_epi32(ea, eb), 1)));
}

// x[0..7] split into the even-indexed and the odd-indexed samples.
inline void splitPairs(const int32_t* x, __m128i* even, __m128i* odd) {
    const __m128 a = _mm_castsi128_ps(_mm_loadu_si128(reinterpret_cast<const __m128i*>(x)));
    const __m128 b = _mm_castsi128_ps(_mm_loadu_si128(reinterpret_cast<const __m128i*>(x + 4)));
    *even = _mm_castps_si128(_mm_shuffle_ps(a, b, _MM_SHUFFLE(2, 0, 2, 0)));
    *odd = _mm_castps_si128(_mm_shuffle_ps(a, b, _MM_SHUFFLE(3, 1, 3, 1)));
}

// Pair j of a forward row reads xb[2j .. 2j+4]; a block of four pairs reads
// xb[2j .. 2j+10], so blocks run while j + 4 <= w (xb[2w+2] is the last
// sample the row may read).
void forwardRow(const int32_t* xb, int32_t* low, int32_t* high, int32_t w, bool odd) {
    int32_t j = 0;
    for (; j + 4 <= w; j += 4) {
        __m128i e0, o0, e1, o1, skip, e2;
        splitPairs(xb + 2 * j, &e0, &o0);      // xb[2j], xb[2j+1] ...
        splitPairs(xb + 2 * j + 2, &e1, &o1);  // xb[2j+2], xb[2j+3] ...
        splitPairs(xb + 2 * j + 3, &skip, &e2);  // odd-indexed from 2j+3: xb[2j+4] ...
        const __m128i before = predictV(o0, e0, e1);
        const __m128i after = predictV(o1, e1, e2);
        Lanes53<int32_t>::store4(low + j, updateV(e1, before, after));
        Lanes53<int32_t>::store4(high + j, odd ? before : after);
    }
    j2k53::forwardPairs(xb, low, high, j, w, odd);
}

// Pair j of an inverse row reads lowb[j..j+1] and high[j-1..j+1]; a block of
// four reads lowb[j..j+4] and high[j-1..j+4], within the row's margins.
template <class S>
void inverseRow(const S* lowb, const S* high, S* dst, int32_t w, bool odd) {
    using L = Lanes53<S>;
    int32_t j = 0;
    for (; j + 4 <= w; j += 4) {
        const __m128i hPrev = L::load4(high + j - 1), h = L::load4(high + j), hNext = L::load4(high + j + 1);
        const __m128i ea = evenV<S>(L::load4(lowb + j), hPrev, h);
        const __m128i eb = evenV<S>(L::load4(lowb + j + 1), h, hNext);
        const __m128i o = oddV<S>(h, ea, eb);
        if (odd)
            L::storePairs(dst + 2 * j, o, eb);
        else
            L::storePairs(dst + 2 * j, ea, o);
    }
    j2k53::inversePairs(lowb, high, dst, j, w, odd);
}

template <class S>
void inverseColumns(const S* low, const S* highPrev, const S* high, const S* evenPrev, S* odd, S* even, int32_t len) {
    using L = Lanes53<S>;
    int32_t c = 0;
    for (; c + 4 <= len; c += 4) {
        const __m128i hp = L::load4(highPrev + c);
        const __m128i e = evenV<S>(L::load4(low + c), hp, L::load4(high + c));
        L::store4(odd + c, oddV<S>(hp, L::load4(evenPrev + c), e));
        L::store4(even + c, e);
    }
    j2k53::inverseColumns(low, highPrev, high, evenPrev, odd, even, c, len);
}

} // namespace

int32_t forwardWavelet53Columns32s(const int32_t* even0, const int32_t* odd, const int32_t* even1, int32_t* low,
                                   const int32_t* highPrev, int32_t* high, int32_t len) {
    if (const int32_t s = j2k_wavelet::checkWindow(len, even0, odd, even1, low, highPrev, high))
        return s;
    using L = Lanes53<int32_t>;
    int32_t c = 0;
    for (; c + 4 <= len; c += 4) {
        const __m128i e0 = L::load4(even0 + c);
        const __m128i d = predictV(L::load4(odd + c), e0, L::load4(even1 + c));
        L::store4(high + c, d);
        L::store4(low + c, updateV(e0, L::load4(highPrev + c), d));
    }
    j2k53::forwardColumns(even0, odd, even1, low, highPrev, high, c, len);
    return primNoErr;
}

int32_t inverseWavelet53Columns32s(const int32_t* low, const int32_t* highPrev, const int32_t* high,
                                   const int32_t* evenPrev, int32_t* odd, int32_t* even, int32_t len) {
    if (const int32_t s = j2k_wavelet::checkWindow(len, low, highPrev, high, evenPrev, odd, even))
        return s;
    inverseColumns(low, highPrev, high, evenPrev, odd, even, len);
    return primNoErr;
}

int32_t inverseWavelet53Columns16s(const int16_t* low, const int16_t* highPrev, const int16_t* high,
                                   const int16_t* evenPrev, int16_t* odd, int16_t* even, int32_t len) {
    if (const int32_t s = j2k_wavelet::checkWindow(len, low, highPrev, high, evenPrev, odd, even))
        return s;
    inverseColumns(low, highPrev, high, evenPrev, odd, even, len);
    return primNoErr;
}

int32_t forwardWavelet53Rows32s(const int32_t* src, int32_t srcStep, int32_t* low, int32_t lowStep, int32_t* high,
                                int32_t highStep, int32_t width, int32_t height, int32_t phase) {
    return j2k53::forwardRows(src, srcStep, low, lowStep, high, highStep, width, height, phase, forwardRow);
}

int32_t inverseWavelet53Rows32s(const int32_t* low, int32_t lowStep, const int32_t* high, int32_t highStep,
                                int32_t width, int32_t height, int32_t* dst, int32_t dstStep, int32_t phase) {
    return j2k53::inverseRows(low, lowStep, high, highStep, width, height, dst, dstStep, phase, inverseRow<int32_t>);
}

int32_t inverseWavelet53Rows16s(const int16_t* low, int32_t lowStep, const int16_t* high, int32_t highStep,
                                int32_t width, int32_t height, int16_t* dst, int32_t dstStep, int32_t phase) {
    return j2k53::inverseRows(low, lowStep, high, highStep, width, height, dst, dstStep, phase, inverseRow<int16_t>);
}

} // namespace prim::VQ_PATH_NS
