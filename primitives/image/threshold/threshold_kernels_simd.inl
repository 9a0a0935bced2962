// The threshold kernel set of one processor path (included by
// image_p<N>.cpp). A block is one register of whole pixels, or three for
// three-channel pixels; every parameter is spread over the lanes in the
// channels' order, so each lane meets its own channel's threshold. The
// samples past the last whole block are done one by one by the same rule.

#include <type_traits>

#include "primitives/image/threshold/threshold_kernels.h"

namespace prim::VQ_PATH_NS {
namespace {

enum TKind : int { kClampGreater, kClampLess, kValGreater, kValLess, kOutside };
enum TLayout : int { kTC1 = 1, kTC3 = 3, kTC4 = 4, kTAC4 = 5 };

// Parameters by channel: clamp p[0] = thresholds; value p[0] thresholds,
// p[1] values; outside p[0] upper, p[1] above, p[2] lower, p[3] below.
template <class T>
struct TParams {
    T p[4][4] = {};
};

template <class T>
inline T orBits(T a, T b) {
    if constexpr (std::is_same_v<T, float>) {
        uint32_t x, y;
        __builtin_memcpy(&x, &a, 4);
        __builtin_memcpy(&y, &b, 4);
        x |= y;
        float r;
        __builtin_memcpy(&r, &x, 4);
        return r;
    } else {
        return static_cast<T>(a | b);
    }
}

template <class T, int K>
inline T ruleOne(T s, const TParams<T>& q, int ch) {
    const T t = q.p[0][ch];
    switch (K) {
    case kClampGreater: return s < t ? s : t;
    case kClampLess: return t < s ? s : t;
    case kValGreater: return t < s ? q.p[1][ch] : s;
    case kValLess: return t <= s ? s : q.p[1][ch];
    default: {
        const bool above = t < s, below = !(q.p[2][ch] <= s);
        if (above && below)
            return orBits(q.p[1][ch], q.p[3][ch]);
        return above ? q.p[1][ch] : (below ? q.p[3][ch] : s);
    }
    }
}

// a < b and a <= b as lane masks.
template <class T>
inline __m128i lessThan(__m128i a, __m128i b) {
    if constexpr (std::is_same_v<T, float>)
        return _mm_castps_si128(_mm_cmplt_ps(_mm_castsi128_ps(a), _mm_castsi128_ps(b)));
    else if constexpr (sizeof(T) == 2)
        return _mm_cmpgt_epi16(b, a);
    else
        return _mm_xor_si128(_mm_cmpeq_epi8(_mm_subs_epu8(b, a), _mm_setzero_si128()), _mm_set1_epi8(-1));
}
template <class T>
inline __m128i lessOrEqual(__m128i a, __m128i b) {
    if constexpr (std::is_same_v<T, float>)
        return _mm_castps_si128(_mm_cmple_ps(_mm_castsi128_ps(a), _mm_castsi128_ps(b)));
    else if constexpr (sizeof(T) == 2)
        return _mm_xor_si128(_mm_cmpgt_epi16(a, b), _mm_set1_epi8(-1));
    else
        return _mm_cmpeq_epi8(_mm_subs_epu8(a, b), _mm_setzero_si128());
}

template <class T, int K>
inline __m128i ruleRegister(__m128i s, const __m128i* q) {
    switch (K) {
    case kClampGreater: return select(lessThan<T>(s, q[0]), s, q[0]);
    case kClampLess: return select(lessThan<T>(q[0], s), s, q[0]);
    case kValGreater: return select(lessThan<T>(q[0], s), q[1], s);
    case kValLess: return select(lessOrEqual<T>(q[0], s), s, q[1]);
    default: {
        const __m128i above = lessThan<T>(q[0], s);
        const __m128i below = _mm_xor_si128(lessOrEqual<T>(q[2], s), _mm_set1_epi8(-1));
        const __m128i replaced = _mm_or_si128(_mm_and_si128(above, q[1]), _mm_and_si128(below, q[3]));
        return _mm_or_si128(replaced, _mm_andnot_si128(_mm_or_si128(above, below), s));
    }
    }
}

template <class T, int K, int L>
void thresholdRoi(const T* src, int32_t srcStep, T* dst, int32_t dstStep, int32_t w, int32_t h,
                  const TParams<T>& q) {
    constexpr int kSamples = L == kTC1 ? 1 : (L == kTC3 ? 3 : 4);
    constexpr bool kAlpha = L == kTAC4;
    constexpr int kRegisters = L == kTC3 ? 3 : 1;
    constexpr int kLanes = 16 / sizeof(T);
    constexpr int kBlock = kRegisters * kLanes;
    // Parameter registers and the alpha lanes, register by register.
    __m128i reg[kRegisters][4];
    __m128i alpha[kRegisters];
    for (int r = 0; r < kRegisters; ++r) {
        alignas(16) T lanes[4][kLanes];
        alignas(16) uint8_t a[16];
        for (int j = 0; j < kLanes; ++j) {
            const int ch = (r * kLanes + j) % kSamples;
            for (int k = 0; k < 4; ++k)
                lanes[k][j] = q.p[k][ch];
            for (int b = 0; b < int(sizeof(T)); ++b)
                a[j * sizeof(T) + b] = kAlpha && ch == 3 ? 0xFF : 0;
        }
        for (int k = 0; k < 4; ++k)
            reg[r][k] = _mm_load_si128(reinterpret_cast<const __m128i*>(lanes[k]));
        alpha[r] = _mm_load_si128(reinterpret_cast<const __m128i*>(a));
    }
    const int64_t n = int64_t(w) * kSamples;
    for (int32_t y = 0; y < h; ++y) {
        const T* s = rowAt(src, y, srcStep);
        T* d = rowAt(dst, y, dstStep);
        int64_t i = 0;
        for (; n - i >= kBlock; i += kBlock)
            for (int r = 0; r < kRegisters; ++r) {
                const int64_t at = i + int64_t(r) * kLanes;
                const __m128i out = ruleRegister<T, K>(loadBlock(s + at), reg[r]);
                if constexpr (kAlpha && std::is_same_v<T, float>) {
                    // One pixel: the three colour floats only.
                    store8(reinterpret_cast<uint8_t*>(d + at), out);
                    store4(reinterpret_cast<uint8_t*>(d + at + 2),
                           static_cast<uint32_t>(_mm_cvtsi128_si32(_mm_srli_si128(out, 8))));
                } else if constexpr (kAlpha) {
                    storeBlock(d + at, select(alpha[r], loadBlock(d + at), out));
                } else {
                    storeBlock(d + at, out);
                }
            }
        for (; i < n; ++i) {
            const int ch = static_cast<int>(i % kSamples);
            if (kAlpha && ch == 3)
                continue;
            vrule::stAt(d, i, ruleOne<T, K>(vrule::ldAt(s, i), q, ch));
        }
    }
}

// Parameters of one kind for `channels` channels from by-value or array
// arguments.
template <class T>
TParams<T> paramsOf(int channels, const T* a, const T* b = nullptr, const T* c = nullptr, const T* d = nullptr) {
    TParams<T> q;
    const T* arrays[4] = {a, b, c, d};
    for (int k = 0; k < 4 && arrays[k]; ++k)
        for (int ch = 0; ch < channels; ++ch)
            q.p[k][ch] = arrays[k][ch];
    return q;
}

template <class T, int L>
void clampRoi(const T* s, int32_t ss, T* d, int32_t ds, int32_t w, int32_t h, const TParams<T>& q, int32_t greater) {
    if (greater)
        thresholdRoi<T, kClampGreater, L>(s, ss, d, ds, w, h, q);
    else
        thresholdRoi<T, kClampLess, L>(s, ss, d, ds, w, h, q);
}
template <class T, int L>
void valueRoi(const T* s, int32_t ss, T* d, int32_t ds, int32_t w, int32_t h, const TParams<T>& q, int32_t greater) {
    if (greater)
        thresholdRoi<T, kValGreater, L>(s, ss, d, ds, w, h, q);
    else
        thresholdRoi<T, kValLess, L>(s, ss, d, ds, w, h, q);
}

#define VQ_TK_ARGS(T) const T *s, int32_t ss, T *d, int32_t ds, int32_t w, int32_t h
#define VQ_TK_PASS s, ss, d, ds, w, h

// Clamp, value and outside kernels of one sample type; S is the type of a
// by-value parameter (a 32-bit slot for the integer types).
#define VQ_THRESHOLD_KERNELS(suffix, T, S)                                                                     \
    void thresholdClamp##suffix##C1(VQ_TK_ARGS(T), S t, int32_t g) {                                         \
        const T tt = static_cast<T>(t);                                                                       \
        clampRoi<T, kTC1>(VQ_TK_PASS, paramsOf<T>(1, &tt), g);                                              \
    }                                                                                                          \
    void thresholdClamp##suffix##C3(VQ_TK_ARGS(T), const T* t, int32_t g) {                                  \
        clampRoi<T, kTC3>(VQ_TK_PASS, paramsOf<T>(3, t), g);                                                \
    }                                                                                                          \
    void thresholdClamp##suffix##AC4(VQ_TK_ARGS(T), const T* t, int32_t g) {                                 \
        clampRoi<T, kTAC4>(VQ_TK_PASS, paramsOf<T>(3, t), g);                                               \
    }                                                                                                          \
    void thresholdVal##suffix##C3(VQ_TK_ARGS(T), const T* t, const T* v, int32_t g) {                        \
        valueRoi<T, kTC3>(VQ_TK_PASS, paramsOf<T>(3, t, v), g);                                             \
    }                                                                                                          \
    void thresholdVal##suffix##AC4(VQ_TK_ARGS(T), const T* t, const T* v, int32_t g) {                       \
        valueRoi<T, kTAC4>(VQ_TK_PASS, paramsOf<T>(3, t, v), g);                                            \
    }                                                                                                          \
    void thresholdGreaterVal##suffix##C4(VQ_TK_ARGS(T), const T* t, const T* v) {                            \
        thresholdRoi<T, kValGreater, kTC4>(VQ_TK_PASS, paramsOf<T>(4, t, v));                               \
    }                                                                                                          \
    void thresholdLessVal##suffix##C4(VQ_TK_ARGS(T), const T* t, const T* v) {                               \
        thresholdRoi<T, kValLess, kTC4>(VQ_TK_PASS, paramsOf<T>(4, t, v));                                  \
    }                                                                                                          \
    void thresholdOutsideVal##suffix##C1(VQ_TK_ARGS(T), S u, S a, S l, S b) {                                \
        const T uu = static_cast<T>(u), aa = static_cast<T>(a), ll = static_cast<T>(l), bb = static_cast<T>(b); \
        thresholdRoi<T, kOutside, kTC1>(VQ_TK_PASS, paramsOf<T>(1, &uu, &aa, &ll, &bb));                   \
    }                                                                                                          \
    void thresholdOutsideVal##suffix##C3(VQ_TK_ARGS(T), const T* u, const T* a, const T* l, const T* b) {    \
        thresholdRoi<T, kOutside, kTC3>(VQ_TK_PASS, paramsOf<T>(3, u, a, l, b));                            \
    }                                                                                                          \
    void thresholdOutsideVal##suffix##AC4(VQ_TK_ARGS(T), const T* u, const T* a, const T* l, const T* b) {   \
        thresholdRoi<T, kOutside, kTAC4>(VQ_TK_PASS, paramsOf<T>(3, u, a, l, b));                           \
    }

#define VQ_THRESHOLD_VALUE_C1(suffix, T, S)                                                                    \
    void thresholdVal##suffix##C1(VQ_TK_ARGS(T), S t, S v, int32_t g) {                                      \
        const T tt = static_cast<T>(t), vv = static_cast<T>(v);                                               \
        valueRoi<T, kTC1>(VQ_TK_PASS, paramsOf<T>(1, &tt, &vv), g);                                         \
    }

VQ_THRESHOLD_KERNELS(8u, uint8_t, int32_t)
VQ_THRESHOLD_KERNELS(16s, int16_t, int32_t)
VQ_THRESHOLD_KERNELS(32f, float, float)
VQ_THRESHOLD_VALUE_C1(16s, int16_t, int32_t)
VQ_THRESHOLD_VALUE_C1(32f, float, float)
#undef VQ_THRESHOLD_VALUE_C1
#undef VQ_THRESHOLD_KERNELS

// The reached 8-bit one-channel value kernel is the one behind
// thresholdLessValInPlace8uC1.
void thresholdVal8uC1Reached(VQ_TK_ARGS(uint8_t), int32_t t, int32_t v, int32_t g) {
    thresholdRows(VQ_TK_PASS, static_cast<uint8_t>(t), static_cast<uint8_t>(v), g != 0);
}

void thresholdClampColourOnly32fAC4(VQ_TK_ARGS(float), const float* t, int32_t g) {
    clampRoi<float, kTAC4>(VQ_TK_PASS, paramsOf<float>(3, t), g);
}
#undef VQ_TK_PASS
#undef VQ_TK_ARGS

} // namespace

extern const ThresholdKernelSet thresholdKernels;
const ThresholdKernelSet thresholdKernels = {
    thresholdClamp8uC1,       thresholdClamp8uC3,        thresholdClamp8uAC4,       thresholdClamp16sC1,
    thresholdClamp16sC3,      thresholdClamp16sAC4,      thresholdClamp32fC1,       thresholdClamp32fC3,
    thresholdClamp32fAC4,     thresholdVal8uC1Reached,   thresholdVal8uC3,          thresholdGreaterVal8uC4,
    thresholdLessVal8uC4,     thresholdVal8uAC4,         thresholdVal16sC1,         thresholdVal16sC3,
    thresholdVal16sAC4,       thresholdGreaterVal16sC4,  thresholdLessVal16sC4,     thresholdVal32fC1,
    thresholdVal32fC3,        thresholdVal32fAC4,        thresholdGreaterVal32fC4,  thresholdLessVal32fC4,
    thresholdOutsideVal8uC1,  thresholdOutsideVal8uC3,   thresholdOutsideVal8uAC4,  thresholdOutsideVal16sC1,
    thresholdOutsideVal16sC3, thresholdOutsideVal16sAC4, thresholdOutsideVal32fC1,  thresholdOutsideVal32fC3,
    thresholdOutsideVal32fAC4, thresholdClampColourOnly32fAC4,
};

} // namespace prim::VQ_PATH_NS
