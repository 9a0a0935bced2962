// Threshold kernels of one processor path (included by vector_p<N>.cpp).
// The real-data members work on whole registers with the processor's
// minimum, maximum and compares; the complex members decide and rescale one
// element at a time.

#include <cmath>

#include "primitives/vector/rules.h"
#include "primitives/vector/threshold.h"

namespace prim::VQ_PATH_NS {
namespace {

// dst[i] = one(src[i]), whole registers through `lanes`.
template <class T, class Lanes, class One>
inline void mapElements(const T* src, T* dst, int32_t n, Lanes lanes, One one) {
    eachBlock<sizeof(T)>(
        dst, n,
        [&](int32_t i) {
            if constexpr (std::is_same_v<T, float>)
                storeBlockPs(dst + i, lanes(loadBlockPs(src + i)));
            else if constexpr (std::is_same_v<T, double>)
                storeBlockPd(dst + i, lanes(loadBlockPd(src + i)));
            else
                storeBlock(dst + i, lanes(loadBlock(src + i)));
        },
        [&](int32_t i) { vrule::stAt(dst, i, one(vrule::ldAt(src, i))); });
}

// The processor's minimum and maximum: the second operand when either is
// NaN or both are zeros.
template <class T>
inline T minLevel(T x, T level) {
    return x < level ? x : level;
}
template <class T>
inline T maxLevel(T x, T level) {
    return x > level ? x : level;
}

inline __m128i min32(__m128i a, __m128i b) { return select(_mm_cmplt_epi32(a, b), a, b); }
inline __m128i max32(__m128i a, __m128i b) { return select(_mm_cmpgt_epi32(a, b), a, b); }

// In-place clamp of 32-bit elements: Above replaces x > level, otherwise
// x < level. A block in which nothing changes is not written back, so data
// already within range is only read.
template <bool Above>
void clamp32sInPlace(int32_t* buffer, int32_t count, int32_t level) {
    const __m128i lv = _mm_set1_epi32(level);
    eachBlock<4>(
        buffer, count,
        [&](int32_t i) {
            const __m128i x = loadBlock(buffer + i);
            const __m128i beyond = Above ? _mm_cmpgt_epi32(x, lv) : _mm_cmpgt_epi32(lv, x);
            if (_mm_movemask_epi8(beyond))
                storeBlock(buffer + i, select(beyond, lv, x));
        },
        [&](int32_t i) {
            const int32_t x = vrule::ldAt(buffer, i);
            if (Above ? x > level : x < level)
                vrule::stAt(buffer, i, level);
        });
}

template <class T>
inline T selectBits(bool below, bool above, T x, T lowValue, T highValue) {
    if (!below && !above)
        return x;
    if (below != above)
        return below ? lowValue : highValue;
    // Crossed levels: both sides at once, as the register form combines them.
    using U = std::conditional_t<sizeof(T) == 8, uint64_t, std::conditional_t<sizeof(T) == 4, uint32_t, uint16_t>>;
    U a, b;
    __builtin_memcpy(&a, &lowValue, sizeof a);
    __builtin_memcpy(&b, &highValue, sizeof b);
    a |= b;
    T r;
    __builtin_memcpy(&r, &a, sizeof r);
    return r;
}

// The sign bit of x set into v (ORed, as the register form does).
template <class T>
inline T withSignOf(T v, T x) {
    using U = std::conditional_t<sizeof(T) == 8, uint64_t, uint32_t>;
    U a, b;
    __builtin_memcpy(&a, &v, sizeof a);
    __builtin_memcpy(&b, &x, sizeof b);
    a |= b & (U(1) << (sizeof(T) * 8 - 1));
    T r;
    __builtin_memcpy(&r, &a, sizeof r);
    return r;
}

template <class T>
inline int16_t low16(T v) {
    return static_cast<int16_t>(v);
}

// Squared magnitude of a 16-bit complex element, exact (0 to 2^31).
inline int64_t magnitude2(Complex16s z) { return int64_t(z.re) * z.re + int64_t(z.im) * z.im; }

// One part of a 16-bit element rescaled by f: toward zero on the above side,
// away from zero on the below side, by the bias; a part of 0 stays 0.
inline int16_t rescalePart(int16_t c, double f, double bias) {
    if (c == 0)
        return 0;
    double v = std::trunc(std::fabs(double(c)) * f + bias);
    if (v > 32767)
        v = 32767;
    return static_cast<int16_t>(c < 0 ? -v : v);
}

template <class C>
inline C scaled(C z, decltype(z.re) f) {
    return C{static_cast<decltype(z.re)>(z.re * f), static_cast<decltype(z.re)>(z.im * f)};
}

} // namespace

// ---- flag kinds and clamps ------------------------------------------------------

void clampMinOrMax32f(float level, const float* src, float* dst, int32_t count, int32_t flag) {
    const __m128 lv = _mm_set1_ps(level);
    if (flag == 1)
        mapElements(src, dst, count, [&](__m128 x) { return _mm_min_ps(x, lv); },
                    [&](float x) { return minLevel(x, level); });
    else
        mapElements(src, dst, count, [&](__m128 x) { return _mm_max_ps(x, lv); },
                    [&](float x) { return maxLevel(x, level); });
}
void clampMinOrMax32fInPlace(float level, float* buffer, int32_t count, int32_t flag) {
    clampMinOrMax32f(level, buffer, buffer, count, flag);
}
void clampMinOrMax64f(double level, const double* src, double* dst, int32_t count, int32_t flag) {
    const __m128d lv = _mm_set1_pd(level);
    if (flag != 0)
        mapElements(src, dst, count, [&](__m128d x) { return _mm_min_pd(x, lv); },
                    [&](double x) { return minLevel(x, level); });
    else
        mapElements(src, dst, count, [&](__m128d x) { return _mm_max_pd(x, lv); },
                    [&](double x) { return maxLevel(x, level); });
}
void clampMinOrMax64fInPlace(double level, double* buffer, int32_t count, int32_t flag) {
    clampMinOrMax64f(level, buffer, buffer, count, flag);
}
void clampMinOrMax16s(int32_t level, const int16_t* src, int16_t* dst, int32_t count, int32_t flag) {
    const int16_t l = low16(level);
    const __m128i lv = _mm_set1_epi16(l);
    if (flag != 0)
        mapElements(src, dst, count, [&](__m128i x) { return _mm_min_epi16(x, lv); },
                    [&](int16_t x) { return minLevel(x, l); });
    else
        mapElements(src, dst, count, [&](__m128i x) { return _mm_max_epi16(x, lv); },
                    [&](int16_t x) { return maxLevel(x, l); });
}
void clampMin32sInPlace(int32_t* buffer, int32_t count, int32_t level) { clamp32sInPlace<false>(buffer, count, level); }
void clampMax32sInPlace(int32_t* buffer, int32_t count, int32_t level) { clamp32sInPlace<true>(buffer, count, level); }
void clampMin32s(const int32_t* src, int32_t* dst, int32_t count, int32_t level) {
    const __m128i lv = _mm_set1_epi32(level);
    mapElements(src, dst, count, [&](__m128i x) { return max32(x, lv); },
                [&](int32_t x) { return maxLevel(x, level); });
}
void clampMax32s(const int32_t* src, int32_t* dst, int32_t count, int32_t level) {
    const __m128i lv = _mm_set1_epi32(level);
    mapElements(src, dst, count, [&](__m128i x) { return min32(x, lv); },
                [&](int32_t x) { return minLevel(x, level); });
}

// ---- value kinds ----------------------------------------------------------------
// Float below: keep x where level <= x (a NaN is replaced); above: keep x
// unless level < x (a NaN stays).

void replaceBelow32f(const float* src, float* dst, int32_t count, float level, float value) {
    const __m128 lv = _mm_set1_ps(level), vv = _mm_set1_ps(value);
    mapElements(src, dst, count, [&](__m128 x) { return selectPs(_mm_cmple_ps(lv, x), x, vv); },
                [&](float x) { return level <= x ? x : value; });
}
void replaceAbove32f(const float* src, float* dst, int32_t count, float level, float value) {
    const __m128 lv = _mm_set1_ps(level), vv = _mm_set1_ps(value);
    mapElements(src, dst, count, [&](__m128 x) { return selectPs(_mm_cmplt_ps(lv, x), vv, x); },
                [&](float x) { return level < x ? value : x; });
}
void replaceBelow64f(const double* src, double* dst, int32_t count, double level, double value) {
    const __m128d lv = _mm_set1_pd(level), vv = _mm_set1_pd(value);
    mapElements(src, dst, count, [&](__m128d x) { return selectPd(_mm_cmple_pd(lv, x), x, vv); },
                [&](double x) { return level <= x ? x : value; });
}
void replaceAbove64f(const double* src, double* dst, int32_t count, double level, double value) {
    const __m128d lv = _mm_set1_pd(level), vv = _mm_set1_pd(value);
    mapElements(src, dst, count, [&](__m128d x) { return selectPd(_mm_cmplt_pd(lv, x), vv, x); },
                [&](double x) { return level < x ? value : x; });
}
void replaceBelow64fInPlace(double* buffer, int32_t count, double level, double value) {
    replaceBelow64f(buffer, buffer, count, level, value);
}
void replaceAbove64fInPlace(double* buffer, int32_t count, double level, double value) {
    replaceAbove64f(buffer, buffer, count, level, value);
}
void replaceBelow16s(const int16_t* src, int16_t* dst, int32_t count, int32_t level, int32_t value) {
    const int16_t l = low16(level), v = low16(value);
    const __m128i lv = _mm_set1_epi16(l), vv = _mm_set1_epi16(v);
    mapElements(src, dst, count, [&](__m128i x) { return select(_mm_cmplt_epi16(x, lv), vv, x); },
                [&](int16_t x) { return x < l ? v : x; });
}
void replaceAbove16s(const int16_t* src, int16_t* dst, int32_t count, int32_t level, int32_t value) {
    const int16_t l = low16(level), v = low16(value);
    const __m128i lv = _mm_set1_epi16(l), vv = _mm_set1_epi16(v);
    mapElements(src, dst, count, [&](__m128i x) { return select(_mm_cmpgt_epi16(x, lv), vv, x); },
                [&](int16_t x) { return x > l ? v : x; });
}

// ---- two-sided value kinds -------------------------------------------------------

void replaceOutside32f(const float* src, float* dst, int32_t count, float lowLevel, float lowValue, float highLevel,
                       float highValue) {
    const __m128 ll = _mm_set1_ps(lowLevel), lvv = _mm_set1_ps(lowValue);
    const __m128 hl = _mm_set1_ps(highLevel), hvv = _mm_set1_ps(highValue);
    mapElements(
        src, dst, count,
        [&](__m128 x) {
            const __m128 below = _mm_cmpnle_ps(ll, x), above = _mm_cmplt_ps(hl, x);
            return _mm_or_ps(_mm_andnot_ps(_mm_or_ps(below, above), x),
                             _mm_or_ps(_mm_and_ps(below, lvv), _mm_and_ps(above, hvv)));
        },
        [&](float x) { return selectBits(!(lowLevel <= x), highLevel < x, x, lowValue, highValue); });
}
void replaceOutside32fInPlace(float* buffer, int32_t count, float lowLevel, float lowValue, float highLevel,
                              float highValue) {
    replaceOutside32f(buffer, buffer, count, lowLevel, lowValue, highLevel, highValue);
}
void replaceOutside64f(const double* src, double* dst, int32_t count, double lowLevel, double lowValue,
                       double highLevel, double highValue) {
    const __m128d ll = _mm_set1_pd(lowLevel), lvv = _mm_set1_pd(lowValue);
    const __m128d hl = _mm_set1_pd(highLevel), hvv = _mm_set1_pd(highValue);
    mapElements(
        src, dst, count,
        [&](__m128d x) {
            const __m128d below = _mm_cmpnle_pd(ll, x), above = _mm_cmplt_pd(hl, x);
            return _mm_or_pd(_mm_andnot_pd(_mm_or_pd(below, above), x),
                             _mm_or_pd(_mm_and_pd(below, lvv), _mm_and_pd(above, hvv)));
        },
        [&](double x) { return selectBits(!(lowLevel <= x), highLevel < x, x, lowValue, highValue); });
}
void replaceOutside64fInPlace(double* buffer, int32_t count, double lowLevel, double lowValue, double highLevel,
                              double highValue) {
    replaceOutside64f(buffer, buffer, count, lowLevel, lowValue, highLevel, highValue);
}
void replaceOutside16s(const int16_t* src, int16_t* dst, int32_t count, int32_t lowLevel, int32_t lowValue,
                       int32_t highLevel, int32_t highValue) {
    const int16_t ll = low16(lowLevel), lv = low16(lowValue), hl = low16(highLevel), hv = low16(highValue);
    const __m128i llv = _mm_set1_epi16(ll), lvv = _mm_set1_epi16(lv), hlv = _mm_set1_epi16(hl),
                  hvv = _mm_set1_epi16(hv);
    mapElements(
        src, dst, count,
        [&](__m128i x) {
            const __m128i below = _mm_cmplt_epi16(x, llv), above = _mm_cmpgt_epi16(x, hlv);
            return _mm_or_si128(_mm_andnot_si128(_mm_or_si128(below, above), x),
                                _mm_or_si128(_mm_and_si128(below, lvv), _mm_and_si128(above, hvv)));
        },
        [&](int16_t x) { return selectBits<int16_t>(x < ll, x > hl, x, lv, hv); });
}
void replaceOutside16sInPlace(int16_t* buffer, int32_t count, int32_t lowLevel, int32_t lowValue, int32_t highLevel,
                              int32_t highValue) {
    replaceOutside16s(buffer, buffer, count, lowLevel, lowValue, highLevel, highValue);
}
void replaceOutside32s(const int32_t* src, int32_t* dst, int32_t count, int32_t lowLevel, int32_t lowValue,
                       int32_t highLevel, int32_t highValue) {
    const __m128i llv = _mm_set1_epi32(lowLevel), lvv = _mm_set1_epi32(lowValue), hlv = _mm_set1_epi32(highLevel),
                  hvv = _mm_set1_epi32(highValue);
    mapElements(
        src, dst, count,
        [&](__m128i x) {
            const __m128i below = _mm_cmplt_epi32(x, llv), above = _mm_cmpgt_epi32(x, hlv);
            return _mm_or_si128(_mm_andnot_si128(_mm_or_si128(below, above), x),
                                _mm_or_si128(_mm_and_si128(below, lvv), _mm_and_si128(above, hvv)));
        },
        [&](int32_t x) { return selectBits(x < lowLevel, x > highLevel, x, lowValue, highValue); });
}
void replaceOutside32sInPlace(int32_t* buffer, int32_t count, int32_t lowLevel, int32_t lowValue, int32_t highLevel,
                              int32_t highValue) {
    replaceOutside32s(buffer, buffer, count, lowLevel, lowValue, highLevel, highValue);
}

// ---- magnitude kinds (real data) --------------------------------------------------
// limit: max(min(x, L), -L) with -L = 0 - L in the data's arithmetic.
// raise: magnitudes below L become L, the sign kept.

void limitMagnitude32f(const float* src, float* dst, int32_t count, const float* level) {
    const float l = *level, nl = 0.0f - l;
    const __m128 lv = _mm_set1_ps(l), nlv = _mm_set1_ps(nl);
    mapElements(src, dst, count, [&](__m128 x) { return _mm_max_ps(_mm_min_ps(x, lv), nlv); },
                [&](float x) { return maxLevel(minLevel(x, l), nl); });
}
void limitMagnitude64f(const double* src, double* dst, int32_t count, const double* level) {
    const double l = *level, nl = 0.0 - l;
    const __m128d lv = _mm_set1_pd(l), nlv = _mm_set1_pd(nl);
    mapElements(src, dst, count, [&](__m128d x) { return _mm_max_pd(_mm_min_pd(x, lv), nlv); },
                [&](double x) { return maxLevel(minLevel(x, l), nl); });
}
void limitMagnitude16s(const int16_t* src, int16_t* dst, int32_t count, int32_t level) {
    const int16_t l = low16(level), nl = static_cast<int16_t>(0u - static_cast<uint16_t>(l));
    const __m128i lv = _mm_set1_epi16(l), nlv = _mm_set1_epi16(nl);
    mapElements(src, dst, count, [&](__m128i x) { return _mm_max_epi16(_mm_min_epi16(x, lv), nlv); },
                [&](int16_t x) { return maxLevel(minLevel(x, l), nl); });
}
void limitMagnitude32s(const int32_t* src, int32_t* dst, int32_t count, int32_t level) {
    const int32_t nl = static_cast<int32_t>(0u - static_cast<uint32_t>(level));
    const __m128i lv = _mm_set1_epi32(level), nlv = _mm_set1_epi32(nl);
    mapElements(src, dst, count, [&](__m128i x) { return max32(min32(x, lv), nlv); },
                [&](int32_t x) { return maxLevel(minLevel(x, level), nl); });
}
void raiseMagnitude32f(const float* src, float* dst, int32_t count, const float* level) {
    const float l = *level;
    const __m128 lv = _mm_set1_ps(l), sign = _mm_set1_ps(-0.0f);
    mapElements(
        src, dst, count, [&](__m128 x) { return _mm_or_ps(_mm_max_ps(_mm_andnot_ps(sign, x), lv), _mm_and_ps(sign, x)); },
        [&](float x) { return withSignOf(maxLevel(std::fabs(x), l), x); });
}
void raiseMagnitude64f(const double* src, double* dst, int32_t count, const double* level) {
    const double l = *level;
    const __m128d lv = _mm_set1_pd(l), sign = _mm_set1_pd(-0.0);
    mapElements(
        src, dst, count,
        [&](__m128d x) { return _mm_or_pd(_mm_max_pd(_mm_andnot_pd(sign, x), lv), _mm_and_pd(sign, x)); },
        [&](double x) { return withSignOf(maxLevel(std::fabs(x), l), x); });
}
// Unsigned saturating arithmetic on the 16-bit patterns: max(u, L) then
// min(., pattern of -L); for 1 <= L <= 32767 that raises |x| < L to L by
// sign, 0 to +L, and leaves -32768.
void raiseMagnitude16s(const int16_t* src, int16_t* dst, int32_t count, int32_t level) {
    const uint16_t l = static_cast<uint16_t>(level), nl = static_cast<uint16_t>(0u - l);
    const __m128i lv = _mm_set1_epi16(static_cast<int16_t>(l)), nlv = _mm_set1_epi16(static_cast<int16_t>(nl));
    mapElements(
        src, dst, count,
        [&](__m128i x) {
            const __m128i a = _mm_add_epi16(_mm_subs_epu16(x, lv), lv);
            return _mm_sub_epi16(a, _mm_subs_epu16(a, nlv));
        },
        [&](int16_t x) {
            const uint16_t u = static_cast<uint16_t>(x);
            const uint16_t a = u > l ? u : l;
            return static_cast<int16_t>(a < nl ? a : nl);
        });
}
void raiseMagnitude32s(const int32_t* src, int32_t* dst, int32_t count, int32_t level) {
    const int32_t nl = static_cast<int32_t>(0u - static_cast<uint32_t>(level));
    const __m128i lv = _mm_set1_epi32(level), nlv = _mm_set1_epi32(nl);
    mapElements(src, dst, count,
                [&](__m128i x) { return select(_mm_srai_epi32(x, 31), min32(x, nlv), max32(x, lv)); },
                [&](int32_t x) { return x >= 0 ? maxLevel(x, level) : minLevel(x, nl); });
}

// ---- complex data ------------------------------------------------------------------

void clampMagnitude16sc(int32_t level, const Complex16s* src, Complex16s* dst, int32_t count, int32_t flag) {
    const int16_t l = low16(level);
    const int64_t l2 = int64_t(l) * l;
    for (int32_t i = 0; i < count; ++i) {
        Complex16s z = vrule::ldAt(src, i);
        const int64_t m = magnitude2(z);
        if (flag != 0 ? m > l2 : m < l2) {
            if (m == 0) {
                z = Complex16s{l, 0};
            } else {
                const double f = std::sqrt(double(l2) / double(m));
                const double bias = flag != 0 ? 1.25e-11 : 0.9999999999582077;
                z = Complex16s{rescalePart(z.re, f, bias), rescalePart(z.im, f, bias)};
            }
        }
        vrule::stAt(dst, i, z);
    }
}

// Exact rescale by sqrt(L2 / m); an element with a NaN magnitude is copied.
void clampMagnitude64fc(double level, const Complex64f* src, Complex64f* dst, int32_t count, int32_t flag) {
    const double l2 = level * level;
    for (int32_t i = 0; i < count; ++i) {
        Complex64f z = vrule::ldAt(src, i);
        const double m = z.re * z.re + z.im * z.im;
        if (flag != 0 ? l2 < m : m < l2)
            z = m == 0 ? Complex64f{level, 0.0} : scaled(z, std::sqrt(l2 / m));
        vrule::stAt(dst, i, z);
    }
}

void replaceBelowMagnitude16sc(const Complex16s* src, Complex16s* dst, int32_t count, int32_t level, int32_t value) {
    const int16_t l = low16(level);
    const Complex16s v{low16(value), low16(value >> 16)};
    for (int32_t i = 0; i < count; ++i) {
        const Complex16s z = vrule::ldAt(src, i);
        vrule::stAt(dst, i, magnitude2(z) < int64_t(l) * l ? v : z);
    }
}
void replaceAboveMagnitude16sc(const Complex16s* src, Complex16s* dst, int32_t count, int32_t level, int32_t value) {
    const int16_t l = low16(level);
    const Complex16s v{low16(value), low16(value >> 16)};
    for (int32_t i = 0; i < count; ++i) {
        const Complex16s z = vrule::ldAt(src, i);
        vrule::stAt(dst, i, magnitude2(z) > int64_t(l) * l ? v : z);
    }
}

namespace {

// Below: m < L2 ordered (an element with a NaN part stays); above: m <= L2
// does not hold (it is replaced). The SSE2 set decides NaNs the other way.
template <bool Above>
inline bool replaces64fc(double m, double l2) {
#if VQ_PATH_LEVEL == 1
    return Above ? m > l2 : !(m >= l2);
#else
    return Above ? !(m <= l2) : m < l2;
#endif
}

template <bool Above>
void replaceMagnitude64fc(const Complex64f* src, Complex64f* dst, int32_t count, double level, Complex64f value) {
    const double l2 = level * level;
    for (int32_t i = 0; i < count; ++i) {
        const Complex64f z = vrule::ldAt(src, i);
        if (replaces64fc<Above>(z.re * z.re + z.im * z.im, l2))
            vrule::stAt(dst, i, value);
        else if (src != dst)
            vrule::stAt(dst, i, z);
    }
}

} // namespace

void replaceBelowMagnitude64fcInPlace(Complex64f* buffer, int32_t count, double level, Complex64f value) {
    replaceMagnitude64fc<false>(buffer, buffer, count, level, value);
}
void replaceBelowMagnitude64fc(const Complex64f* src, Complex64f* dst, int32_t count, double level, Complex64f value) {
    replaceMagnitude64fc<false>(src, dst, count, level, value);
}
void replaceAboveMagnitude64fcInPlace(Complex64f* buffer, int32_t count, double level, Complex64f value) {
    replaceMagnitude64fc<true>(buffer, buffer, count, level, value);
}
void replaceAboveMagnitude64fc(const Complex64f* src, Complex64f* dst, int32_t count, double level, Complex64f value) {
    replaceMagnitude64fc<true>(src, dst, count, level, value);
}

#if VQ_PATH_LEVEL >= 2
// Flagged elements (above: L2 < m; below: L2 <= m does not hold, a NaN part
// included) take level / sqrt(m) as factor; a zero element on the below side
// becomes (level, 0). Elements that are not flagged stay bit for bit.
void clampMagnitude32fc(float level, const Complex32f* src, Complex32f* dst, int32_t count, int32_t flag) {
    const float l2 = level * level;
    const bool above = flag == 1;
    for (int32_t i = 0; i < count; ++i) {
        Complex32f z = vrule::ldAt(src, i);
        const float m = z.re * z.re + z.im * z.im;
        if (above ? l2 < m : !(l2 <= m))
            z = !above && m == 0 ? Complex32f{level, 0.0f} : scaled(z, level / std::sqrt(m));
        vrule::stAt(dst, i, z);
    }
}
void clampMagnitude32fcInPlace(float level, Complex32f* buffer, int32_t count, int32_t flag) {
    clampMagnitude32fc(level, buffer, buffer, count, flag);
}
void replaceBelowMagnitude32fc(const Complex32f* src, Complex32f* dst, int32_t count, float level, Complex32f value) {
    const float l2 = level * level;
    for (int32_t i = 0; i < count; ++i) {
        const Complex32f z = vrule::ldAt(src, i);
        vrule::stAt(dst, i, z.re * z.re + z.im * z.im < l2 ? value : z);
    }
}
void replaceAboveMagnitude32fc(const Complex32f* src, Complex32f* dst, int32_t count, float level, Complex32f value) {
    const float l2 = level * level;
    for (int32_t i = 0; i < count; ++i) {
        const Complex32f z = vrule::ldAt(src, i);
        vrule::stAt(dst, i, z.re * z.re + z.im * z.im <= l2 ? z : value);
    }
}
#endif

} // namespace prim::VQ_PATH_NS
