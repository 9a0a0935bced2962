// Component transforms of one processor path, included by the path's
// translation unit (compiled with its instruction set).
#include "primitives/j2k/component.h"
#include "primitives/j2k/component_body.h"

namespace prim::VQ_PATH_NS {
namespace {

using namespace j2k_component;

inline __m128i loadI(const int32_t* p) { return _mm_loadu_si128(reinterpret_cast<const __m128i*>(p)); }
inline void storeI(int32_t* p, __m128i v) { _mm_storeu_si128(reinterpret_cast<__m128i*>(p), v); }

// Four samples of the forward and the inverse RCT in 32-bit lanes.
inline void forwardRct4(int32_t* p0, int32_t* p1, int32_t* p2) {
    const __m128i R = loadI(p0), G = loadI(p1), B = loadI(p2);
    storeI(p0, _mm_srai_epi32(_mm_add_epi32(_mm_add_epi32(R, _mm_add_epi32(G, G)), B), 2));
    storeI(p1, _mm_sub_epi32(B, G));
    storeI(p2, _mm_sub_epi32(R, G));
}

inline void inverseRct4(int32_t* p0, int32_t* p1, int32_t* p2) {
    const __m128i Y = loadI(p0), Db = loadI(p1), Dr = loadI(p2);
    const __m128i G = _mm_sub_epi32(Y, _mm_srai_epi32(_mm_add_epi32(Db, Dr), 2));
    storeI(p0, _mm_add_epi32(Dr, G));
    storeI(p1, G);
    storeI(p2, _mm_add_epi32(Db, G));
}

// One row of an RCT: two four-lane vectors per iteration and single samples
// after them, or (path 2) a scalar loop of two samples per iteration.
template <void (*Vec4)(int32_t*, int32_t*, int32_t*), void (*One)(int32_t*, int32_t*, int32_t*)>
void rctRow(int32_t* p0, int32_t* p1, int32_t* p2, int32_t width) {
    int32_t x = 0;
    if constexpr (kLevel != 2) {
        for (; x + 8 <= width; x += 8) {
            Vec4(p0 + x, p1 + x, p2 + x);
            Vec4(p0 + x + 4, p1 + x + 4, p2 + x + 4);
        }
    } else {
        for (; x + 2 <= width; x += 2) {
            One(p0 + x, p1 + x, p2 + x);
            One(p0 + x + 1, p1 + x + 1, p2 + x + 1);
        }
    }
    samplesFrom<int32_t, One>(p0, p1, p2, x, width);
}

// Float ICT in single precision, every operation rounded, in the order
// R = Cr*1.402 + Y, B = Cb*1.772 + Y, G = (Cb*-0.34413 + Cr*-0.71414) + Y.
constexpr float kCrR = 1.402f, kCbB = 1.772f, kCbG = -0.34413f, kCrG = -0.71414f;

inline void ictSample(float* p0, float* p1, float* p2) {
    const float Y = *p0, Cb = *p1, Cr = *p2;
    *p0 = Cr * kCrR + Y;
    *p2 = Cb * kCbB + Y;
    *p1 = (Cb * kCbG + Cr * kCrG) + Y;
}

void ictRow(float* p0, float* p1, float* p2, int32_t width) {
    const __m128 crR = _mm_set1_ps(kCrR), cbB = _mm_set1_ps(kCbB), cbG = _mm_set1_ps(kCbG), crG = _mm_set1_ps(kCrG);
    int32_t x = 0;
    for (; x + 4 <= width; x += 4) {
        if constexpr (kLevel == 2) {
            _mm_prefetch(reinterpret_cast<const char*>(p0 + x) + 64, _MM_HINT_T0);
            _mm_prefetch(reinterpret_cast<const char*>(p1 + x) + 64, _MM_HINT_T0);
            _mm_prefetch(reinterpret_cast<const char*>(p2 + x) + 64, _MM_HINT_T0);
        }
        const __m128 Y = _mm_loadu_ps(p0 + x), Cb = _mm_loadu_ps(p1 + x), Cr = _mm_loadu_ps(p2 + x);
        _mm_storeu_ps(p0 + x, _mm_add_ps(_mm_mul_ps(Cr, crR), Y));
        _mm_storeu_ps(p2 + x, _mm_add_ps(_mm_mul_ps(Cb, cbB), Y));
        _mm_storeu_ps(p1 + x, _mm_add_ps(_mm_add_ps(_mm_mul_ps(Cb, cbG), _mm_mul_ps(Cr, crG)), Y));
    }
    samplesFrom<float, ictSample>(p0, p1, p2, x, width);
}

// Eight samples: each 32-bit half of a result is Y plus (minus) its rounded
// correction; the pack saturates.
inline void ict16x8(int16_t* p0, int16_t* p1, int16_t* p2, bool aligned) {
    const __m128i Y = aligned ? load16a(reinterpret_cast<const uint8_t*>(p0)) : load16(reinterpret_cast<const uint8_t*>(p0));
    const __m128i Cb = aligned ? load16a(reinterpret_cast<const uint8_t*>(p1)) : load16(reinterpret_cast<const uint8_t*>(p1));
    const __m128i Cr = aligned ? load16a(reinterpret_cast<const uint8_t*>(p2)) : load16(reinterpret_cast<const uint8_t*>(p2));
    const __m128i half = _mm_set1_epi32(8192);
    const __m128i wR = _mm_set1_epi32(22970), wB = _mm_set1_epi32(29032), wG = _mm_set1_epi32(5638 | (11700 << 16));
    const __m128i yLo = _mm_srai_epi32(_mm_unpacklo_epi16(Y, Y), 16), yHi = _mm_srai_epi32(_mm_unpackhi_epi16(Y, Y), 16);
    const __m128i zero = _mm_setzero_si128();
    auto corr = [&](__m128i a, __m128i b, __m128i w, bool hi) {
        const __m128i pairs = hi ? _mm_unpackhi_epi16(a, b) : _mm_unpacklo_epi16(a, b);
        return _mm_srai_epi32(_mm_add_epi32(_mm_madd_epi16(pairs, w), half), 14);
    };
    const __m128i R = _mm_packs_epi32(_mm_add_epi32(yLo, corr(Cr, zero, wR, false)), _mm_add_epi32(yHi, corr(Cr, zero, wR, true)));
    const __m128i G = _mm_packs_epi32(_mm_sub_epi32(yLo, corr(Cb, Cr, wG, false)), _mm_sub_epi32(yHi, corr(Cb, Cr, wG, true)));
    const __m128i B = _mm_packs_epi32(_mm_add_epi32(yLo, corr(Cb, zero, wB, false)), _mm_add_epi32(yHi, corr(Cb, zero, wB, true)));
    if (aligned) {
        store16a(reinterpret_cast<uint8_t*>(p0), R);
        store16a(reinterpret_cast<uint8_t*>(p1), G);
        store16a(reinterpret_cast<uint8_t*>(p2), B);
    } else {
        store16(reinterpret_cast<uint8_t*>(p0), R);
        store16(reinterpret_cast<uint8_t*>(p1), G);
        store16(reinterpret_cast<uint8_t*>(p2), B);
    }
}

void ict16Row(int16_t* p0, int16_t* p1, int16_t* p2, int32_t width) {
    int32_t x = 0;
    if (((reinterpret_cast<uintptr_t>(p0) | reinterpret_cast<uintptr_t>(p1) | reinterpret_cast<uintptr_t>(p2)) & 3) == 0) {
        const bool aligned = aligned16(p0) && aligned16(p1) && aligned16(p2);
        for (; x + 8 <= width; x += 8)
            ict16x8(p0 + x, p1 + x, p2 + x, aligned);
    }
    samplesFrom<int16_t, ict16Sample<true>>(p0, p1, p2, x, width);
}

} // namespace

int32_t forwardRct32s(int32_t* const* planes, int32_t step, int32_t width, int32_t height) {
    return eachRow(planes, step, width, height, rctRow<forwardRct4, forwardRctSample>);
}

int32_t inverseRct32s(int32_t* const* planes, int32_t step, int32_t width, int32_t height) {
    return eachRow(planes, step, width, height, rctRow<inverseRct4, inverseRctSample>);
}

int32_t inverseRct16s(int16_t* const* planes, int32_t step, int32_t width, int32_t height) {
    // Scalar on every path: one sample at a time on path 1, two per iteration above it.
    return eachRow(planes, step, width, height, [](int16_t* p0, int16_t* p1, int16_t* p2, int32_t w) {
        int32_t x = 0;
        if constexpr (kLevel >= 2) {
            for (; x + 2 <= w; x += 2) {
                inverseRct16Sample(p0 + x, p1 + x, p2 + x);
                inverseRct16Sample(p0 + x + 1, p1 + x + 1, p2 + x + 1);
            }
        }
        samplesFrom<int16_t, inverseRct16Sample>(p0, p1, p2, x, w);
    });
}

int32_t inverseIct32f(float* const* planes, int32_t step, int32_t width, int32_t height) {
    return eachRow(planes, step, width, height, ictRow);
}

int32_t inverseIct16s(int16_t* const* planes, int32_t step, int32_t width, int32_t height) {
    return eachRow(planes, step, width, height, ict16Row);
}

} // namespace prim::VQ_PATH_NS
