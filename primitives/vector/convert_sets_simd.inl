// The further members of one path's conversion kernel set (included by
// vector_p<N>.cpp after convert_simd.inl): widening integers to floating
// point, 64-bit narrowing with rounding, float to 8-bit and 16-bit and double
// to 32-bit in two rounding families, and half precision. Each element goes
// through the processor's own scalar conversions, so the results are those
// of the register forms element for element.

#include <cmath>

#include "primitives/vector/convert.h"
#include "primitives/vector/rules.h"

namespace prim::VQ_PATH_NS {
namespace {

inline uint32_t floatBits(float f) { return vrule::ld<uint32_t>(&f); }
inline float bitsFloat(uint32_t u) { return vrule::ld<float>(&u); }

// The processor's minimum and maximum with the constant second: a NaN gives
// the constant.
inline float minSse(float x, float c) { return _mm_cvtss_f32(_mm_min_ss(_mm_set_ss(x), _mm_set_ss(c))); }
inline float maxSse(float x, float c) { return _mm_cvtss_f32(_mm_max_ss(_mm_set_ss(x), _mm_set_ss(c))); }
inline double minSse(double x, double c) { return _mm_cvtsd_f64(_mm_min_sd(_mm_set_sd(x), _mm_set_sd(c))); }

inline int32_t cvtRound(float p) { return _mm_cvtss_si32(_mm_set_ss(p)); }
inline int32_t cvtTrunc(float p) { return _mm_cvttss_si32(_mm_set_ss(p)); }
inline int32_t cvtRound(double p) { return _mm_cvtsd_si32(_mm_set_sd(p)); }
inline int32_t cvtTrunc(double p) { return _mm_cvttsd_si32(_mm_set_sd(p)); }

// Destination kinds of the float-to-integer kernels.
enum IntKind : int { k8s, k8u, k16s, k16u, k32s };

template <int Kind>
inline int32_t narrowTo(int32_t r) {
    const int32_t s16 = r > 32767 ? 32767 : (r < -32768 ? -32768 : r);
    if (Kind == k8s)
        return s16 > 127 ? 127 : (s16 < -128 ? -128 : s16);
    if (Kind == k8u)
        return s16 > 255 ? 255 : (s16 < 0 ? 0 : s16);
    if (Kind == k16s)
        return s16;
    if (Kind == k16u) {
        // Biased by -32768 with wrap-around, saturated, top bit flipped:
        // r clamped to 0..65535, the indefinite value becoming 65535.
        const int32_t b = static_cast<int32_t>(static_cast<uint32_t>(r) - 32768u);
        const int32_t t = b > 32767 ? 32767 : (b < -32768 ? -32768 : b);
        return static_cast<uint16_t>(static_cast<uint16_t>(t) ^ 0x8000u);
    }
    return r;
}

template <int Kind, class S>
inline S upperBound() {
    return Kind == k8s ? S(127) : (Kind == k8u ? S(255) : (Kind == k16s ? S(32767) : S(2147483647.0)));
}

template <class S>
inline bool isNaNBits(S s) {
    return s != s;
}

template <int Kind, class S, class D>
void floatToIntNearOrTrunc(const S* src, D* dst, int32_t len, int32_t flag, int32_t sf) {
    const uint32_t saved = _mm_getcsr();
    // Rounding to nearest with subnormals kept for a non-zero flag; the
    // truncating conversion needs no change. Either way the caller gets its
    // register back exactly.
    _mm_setcsr(flag ? (saved & ~uint32_t(0x6000 | 0x0040 | 0x3F)) : (saved & ~uint32_t(0x3F)));
    const float factor = _mm_cvtss_f32(makeScaleVector32f(sf));
    for (int32_t i = 0; i < len; ++i) {
        const S s = vrule::ldAt(src, i);
        S p = sf ? S(s * S(factor)) : s;
        p = Kind == k16u ? S(maxSse(float(p), 0.0f)) : minSse(p, upperBound<Kind, S>());
        int32_t r = flag ? cvtRound(p) : cvtTrunc(p);
        r = isNaNBits(s) ? 0 : narrowTo<Kind>(r);
        vrule::stAt(dst, i, static_cast<D>(r));
    }
    _mm_setcsr(saved);
}

// Half away from zero by adding the largest float below one half (one half
// exactly for doubles) to the magnitude, under the caller's rounding.
template <int Kind, class S, class D>
void floatToIntHalfAway(const S* src, D* dst, int32_t len, int32_t sf) {
    const uint32_t saved = _mm_getcsr();
    const float factor = _mm_cvtss_f32(makeScaleVector32f(sf));
    const S half = sizeof(S) == 8 ? S(0.5) : S(bitsFloat(0x3EFFFFFF));
    for (int32_t i = 0; i < len; ++i) {
        const S s = vrule::ldAt(src, i);
        S p = sf ? S(s * S(factor)) : s;
        p = Kind == k16u ? S(maxSse(float(p), 0.0f)) : minSse(p, upperBound<Kind, S>());
        S q;
        if (Kind == k8u || Kind == k16u)
            q = p + half;
        else
            q = std::copysign(std::fabs(p) + half, p);
        vrule::stAt(dst, i, static_cast<D>(narrowTo<Kind>(cvtTrunc(q))));
    }
    _mm_setcsr(saved);
}

// ---- half precision ----------------------------------------------------------

inline uint16_t half16sTo16f(int16_t x, int32_t flag) {
    if (x == 0)
        return 0;
    uint32_t b = floatBits(static_cast<float>(x));
    if (flag)
        b += 4095 + ((b >> 13) & 1);
    return static_cast<uint16_t>(((b >> 16) & 0x8000u) | (((b & 0x7FFFFFFFu) - 0x38000000u) >> 13));
}

inline int16_t half16fTo16s(uint16_t h, int32_t flag, int32_t sf) {
    const uint32_t mag = h & 0x7FFFu;
    const bool negative = (h & 0x8000u) != 0;
    if (mag > 0x7C00u)
        return 0;
    if (mag == 0x7C00u)
        return negative ? -32768 : 32767;
    if (mag == 0)
        return 0;
    // The exact value m x 2^(e - 25), scaled by 2^-sf, is exact in double
    // precision for every scale factor that matters; the others saturate or
    // vanish either way.
    const int32_t e = static_cast<int32_t>(mag >> 10), m = static_cast<int32_t>(mag & 0x3FF);
    const double v0 = e == 0 ? double(m) * 0x1p-24 : double(m | 0x400) * std::ldexp(1.0, e - 25);
    const int32_t k = sf > 2000 ? 2000 : (sf < -2000 ? -2000 : sf);
    const double v = (negative ? -v0 : v0) * std::ldexp(1.0, -k);
    if (v >= 2147483648.0 || v <= -2147483649.0)
        return v > 0 ? 32767 : -32768;
    const int32_t r = flag ? cvtRound(v) : cvtTrunc(v);
    return static_cast<int16_t>(r > 32767 ? 32767 : (r < -32768 ? -32768 : r));
}

inline float half16fTo32f(uint16_t h) {
    uint32_t p = (uint32_t(h & 0x8000u) << 16) | (uint32_t(h & 0x7FFFu) << 13);
    if ((h & 0x7C00u) == 0x7C00u)
        p |= 0x7F800000u;
    return _mm_cvtss_f32(_mm_mul_ss(_mm_set_ss(bitsFloat(p)), _mm_set_ss(bitsFloat(0x77800000u))));
}

inline uint16_t half32fTo16f(float x, int32_t flag) {
    const uint32_t xb = floatBits(x), s = xb & 0x80000000u;
    const float a = bitsFloat(xb & 0x7FFFFFFFu);
    // The clamp keeps a NaN (the constant is the first operand).
    float c = flag || a == INFINITY ? 65536.0f : bitsFloat(0x477FFFFFu);
    const float m = _mm_cvtss_f32(_mm_min_ss(_mm_set_ss(c), _mm_set_ss(a)));
    const uint32_t b = floatBits(_mm_cvtss_f32(_mm_mul_ss(_mm_set_ss(m), _mm_set_ss(bitsFloat(0x07800000u)))));
    uint32_t r;
    if (flag) {
        r = (b + 4095u + ((b >> 13) & 1u)) >> 13;
        if (r > 0x7FFFu)
            r = 0x7FFFu;
    } else {
        r = (b >> 13) & 0x7FFFu;
    }
    return static_cast<uint16_t>((s >> 16) | r);
}

template <class S, class D, class F>
inline void eachElement(const S* src, D* dst, int32_t n, F f) {
    for (int32_t i = 0; i < n; ++i)
        vrule::stAt(dst, i, static_cast<D>(f(vrule::ldAt(src, i))));
}

} // namespace

// Widening, exact except for 32-bit integers to float, which round under the
// caller's rounding mode.
void convertKernel8sTo32f(const int8_t* src, float* dst, int32_t len) {
    eachElement(src, dst, len, [](int8_t x) { return float(x); });
}
void convertKernel8uTo32f(const uint8_t* src, float* dst, int32_t len) {
    eachElement(src, dst, len, [](uint8_t x) { return float(x); });
}
void convertKernel16sTo32f(const int16_t* src, float* dst, int32_t len) {
    eachElement(src, dst, len, [](int16_t x) { return float(x); });
}
void convertKernel16uTo32f(const uint16_t* src, float* dst, int32_t len) {
    eachElement(src, dst, len, [](uint16_t x) { return float(x); });
}
void convertKernel32sTo64f(const int32_t* src, double* dst, int32_t len) {
    eachElement(src, dst, len, [](int32_t x) { return double(x); });
}
void convertKernel32sTo32f(const int32_t* src, float* dst, int32_t len) {
    eachElement(src, dst, len, [](int32_t x) { return _mm_cvtss_f32(_mm_cvtsi32_ss(_mm_setzero_ps(), x)); });
}

// x / 2^shift rounded half away from zero, saturated by the sign of x.
void convertKernel64sTo32sScaled(const int64_t* src, int32_t* dst, int32_t len, int32_t shift) {
    const int64_t half = int64_t(uint32_t((uint64_t(1) << (shift - 1)) - 1));
    eachElement(src, dst, len, [&](int64_t x) {
        const __int128 q = (__int128(x) + (x >= 0 ? half + 1 : half)) >> shift;
        return q > INT32_MAX || q < INT32_MIN ? (x >= 0 ? INT32_MAX : INT32_MIN) : int32_t(q);
    });
}

void convertVector32fTo8sNearOrTrunc(const float* s, int8_t* d, int32_t n, int32_t flag, int32_t sf) {
    floatToIntNearOrTrunc<k8s>(s, d, n, flag, sf);
}
void convertVector32fTo8uNearOrTrunc(const float* s, uint8_t* d, int32_t n, int32_t flag, int32_t sf) {
    floatToIntNearOrTrunc<k8u>(s, d, n, flag, sf);
}
void convertVector32fTo16sNearOrTrunc(const float* s, int16_t* d, int32_t n, int32_t flag, int32_t sf) {
    floatToIntNearOrTrunc<k16s>(s, d, n, flag, sf);
}
void convertVector32fTo16uNearOrTrunc(const float* s, uint16_t* d, int32_t n, int32_t flag, int32_t sf) {
    floatToIntNearOrTrunc<k16u>(s, d, n, flag, sf);
}
void convertVector64fTo32sNearOrTrunc(const double* s, int32_t* d, int32_t n, int32_t flag, int32_t sf) {
    floatToIntNearOrTrunc<k32s>(s, d, n, flag, sf);
}
void convertVector32fTo8sHalfAway(const float* s, int8_t* d, int32_t n, int32_t sf) {
    floatToIntHalfAway<k8s>(s, d, n, sf);
}
void convertVector32fTo8uHalfAway(const float* s, uint8_t* d, int32_t n, int32_t sf) {
    floatToIntHalfAway<k8u>(s, d, n, sf);
}
void convertVector32fTo16sHalfAway(const float* s, int16_t* d, int32_t n, int32_t sf) {
    floatToIntHalfAway<k16s>(s, d, n, sf);
}
void convertVector32fTo16uHalfAway(const float* s, uint16_t* d, int32_t n, int32_t sf) {
    floatToIntHalfAway<k16u>(s, d, n, sf);
}
void convertVector64fTo32sHalfAway(const double* s, int32_t* d, int32_t n, int32_t sf) {
    floatToIntHalfAway<k32s>(s, d, n, sf);
}

void convertKernel16sTo16f(const int16_t* src, uint16_t* dst, int32_t count, int32_t flag) {
    eachElement(src, dst, count, [&](int16_t x) { return half16sTo16f(x, flag); });
}
void convertKernel16fTo16sScaled(const uint16_t* src, int16_t* dst, int32_t count, int32_t flag, int32_t sf) {
    eachElement(src, dst, count, [&](uint16_t h) { return half16fTo16s(h, flag, sf); });
}
void convertKernel16fTo32f(const uint16_t* src, float* dst, int32_t count) {
    eachElement(src, dst, count, [](uint16_t h) { return half16fTo32f(h); });
}
void convertKernel32fTo16f(const float* src, uint16_t* dst, int32_t count, int32_t flag) {
    eachElement(src, dst, count, [&](float x) { return half32fTo16f(x, flag); });
}

} // namespace prim::VQ_PATH_NS
