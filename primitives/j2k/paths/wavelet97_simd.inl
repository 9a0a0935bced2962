// 9/7 lifting of one processor path. Float: four single-precision lanes,
// every operation rounded as the scalar float code that finishes each row
// rounds it, so a sample's value does not depend on which of the two computes
// it. 16-bit: eight lanes whose sums and products are widened to 32 bits and
// split so that the result is exactly the generic fixed-point step (see
// fixStep1..4); the lanes never saturate an intermediate value.
#include "primitives/j2k/wavelet97.h"
#include "primitives/j2k/wavelet97_body.h"

namespace prim::VQ_PATH_NS {
namespace {

struct VecArith : j2k97::ScalarArith<float> {
    using Base = j2k97::ScalarArith<float>;
    static __m128 ld(const float* p) { return _mm_loadu_ps(p); }

    static void addLift(float* out, const float* x, const float* p, const float* q, float k, int32_t n) {
        const __m128 kk = _mm_set1_ps(k);
        int32_t i = 0;
        for (; i + 4 <= n; i += 4)
            _mm_storeu_ps(out + i, _mm_add_ps(_mm_mul_ps(_mm_add_ps(ld(p + i), ld(q + i)), kk), ld(x + i)));
        Base::addLift(out + i, x + i, p + i, q + i, k, n - i);
    }
    static void subLift(float* out, const float* x, const float* p, const float* q, float k, int32_t n) {
        const __m128 kk = _mm_set1_ps(k);
        int32_t i = 0;
        for (; i + 4 <= n; i += 4)
            _mm_storeu_ps(out + i, _mm_sub_ps(ld(x + i), _mm_mul_ps(_mm_add_ps(ld(p + i), ld(q + i)), kk)));
        Base::subLift(out + i, x + i, p + i, q + i, k, n - i);
    }
    static void scaleSub(float* out, const float* x, float s, const float* p, const float* q, float k, int32_t n) {
        const __m128 ss = _mm_set1_ps(s), kk = _mm_set1_ps(k);
        int32_t i = 0;
        for (; i + 4 <= n; i += 4)
            _mm_storeu_ps(out + i, _mm_sub_ps(_mm_mul_ps(ld(x + i), ss), _mm_mul_ps(_mm_add_ps(ld(p + i), ld(q + i)), kk)));
        Base::scaleSub(out + i, x + i, s, p + i, q + i, k, n - i);
    }
    static void scale(float* out, const float* x, float s, int32_t n) {
        const __m128 ss = _mm_set1_ps(s);
        int32_t i = 0;
        for (; i + 4 <= n; i += 4)
            _mm_storeu_ps(out + i, _mm_mul_ps(ld(x + i), ss));
        Base::scale(out + i, x + i, s, n - i);
    }
    // Blocks of four pairs read xb[2i .. 2i+7]: within what the scalar split
    // reads while i + 4 <= no and no <= ne.
    static void split(const float* xb, float* e, float* o, int32_t ne, int32_t no) {
        int32_t i = 0;
        for (; i + 4 <= no && i + 4 <= ne; i += 4) {
            const __m128 a = ld(xb + 2 * i), b = ld(xb + 2 * i + 4);
            _mm_storeu_ps(e + i, _mm_shuffle_ps(a, b, _MM_SHUFFLE(2, 0, 2, 0)));
            _mm_storeu_ps(o + i, _mm_shuffle_ps(a, b, _MM_SHUFFLE(3, 1, 3, 1)));
        }
        Base::split(xb + 2 * i, e + i, o + i, ne - i, no - i);
    }
    static void interleave(float* dst, const float* a, const float* b, int32_t n) {
        int32_t i = 0;
        for (; i + 4 <= n; i += 4) {
            const __m128 va = ld(a + i), vb = ld(b + i);
            _mm_storeu_ps(dst + 2 * i, _mm_unpacklo_ps(va, vb));
            _mm_storeu_ps(dst + 2 * i + 4, _mm_unpackhi_ps(va, vb));
        }
        Base::interleave(dst + 2 * i, a + i, b + i, n - i);
    }
};

using VecSteps = j2k97::FloatSteps<VecArith>;

// 16-bit lanes. A pair constant (a, b) multiplies the interleaved pairs
// (x, y) of madd as a x + b y.
inline __m128i pairConst(int16_t a, int16_t b) {
    return _mm_set1_epi32(static_cast<int32_t>(static_cast<uint16_t>(a) | (static_cast<uint32_t>(static_cast<uint16_t>(b)) << 16)));
}
inline __m128i ld16(const int16_t* p) { return _mm_loadu_si128(reinterpret_cast<const __m128i*>(p)); }
inline __m128i widenLo(__m128i v) { return _mm_srai_epi32(_mm_unpacklo_epi16(v, v), 16); }
inline __m128i widenHi(__m128i v) { return _mm_srai_epi32(_mm_unpackhi_epi16(v, v), 16); }
inline __m128i madd2(__m128i x, __m128i y, __m128i k, bool hi) {
    return _mm_madd_epi16(hi ? _mm_unpackhi_epi16(x, y) : _mm_unpacklo_epi16(x, y), k);
}

// The generic steps divide a sum of products by 65536 with a floor. Each
// constant is split into a multiple of 65536 and a part below 32768 in size,
// so the floor becomes a whole-number term plus the floor of a sum that fits
// in 32 bits (madd of 16-bit values):
//   80621 = 65536 + 15085                 -> step 1: low + floor(X / 65536)
//   53274 = 65536 - 12262, 57862 = 65536 - 7674 -> step 2: high - p - q + floor(X / 65536)
//   3472 fits                             -> step 3: even - floor(X / 65536)
//   103949 = 131072 - 27123               -> step 4: odd + 2 (p + q) - floor(X / 65536)
// The pack saturates the 32-bit result as the generic form does.
template <class Half>
inline __m128i eightLanes(Half half) {
    return _mm_packs_epi32(half(false), half(true));
}
inline __m128i widen(__m128i v, bool hi) { return hi ? widenHi(v) : widenLo(v); }

inline __m128i fixStep1(__m128i low, __m128i p, __m128i q) {
    const __m128i zero = _mm_setzero_si128(), round = _mm_set1_epi32(32768);
    return eightLanes([&](bool hi) {
        const __m128i x = _mm_add_epi32(_mm_add_epi32(madd2(low, p, pairConst(15085, -23627), hi),
                                                      madd2(q, zero, pairConst(-23627, 0), hi)), round);
        return _mm_add_epi32(widen(low, hi), _mm_srai_epi32(x, 16));
    });
}
inline __m128i fixStep2(__m128i high, __m128i p, __m128i q) {
    const __m128i zero = _mm_setzero_si128(), round = _mm_set1_epi32(32768);
    return eightLanes([&](bool hi) {
        const __m128i x = _mm_add_epi32(_mm_add_epi32(madd2(high, p, pairConst(-12262, 7674), hi),
                                                      madd2(q, zero, pairConst(7674, 0), hi)), round);
        const __m128i whole = _mm_sub_epi32(_mm_sub_epi32(widen(high, hi), widen(p, hi)), widen(q, hi));
        return _mm_add_epi32(whole, _mm_srai_epi32(x, 16));
    });
}
inline __m128i fixStep3(__m128i even, __m128i p, __m128i q) {
    const __m128i round = _mm_set1_epi32(32768);
    return eightLanes([&](bool hi) {
        const __m128i x = _mm_add_epi32(madd2(p, q, pairConst(-3472, -3472), hi), round);
        return _mm_sub_epi32(widen(even, hi), _mm_srai_epi32(x, 16));
    });
}
inline __m128i fixStep4(__m128i odd, __m128i p, __m128i q) {
    const __m128i round = _mm_set1_epi32(32768);
    return eightLanes([&](bool hi) {
        const __m128i x = _mm_add_epi32(madd2(p, q, pairConst(27123, 27123), hi), round);
        const __m128i sum = _mm_add_epi32(widen(p, hi), widen(q, hi));
        return _mm_sub_epi32(_mm_add_epi32(widen(odd, hi), _mm_add_epi32(sum, sum)), _mm_srai_epi32(x, 16));
    });
}

template <__m128i (*Step)(__m128i, __m128i, __m128i), void (*Tail)(int16_t*, const int16_t*, const int16_t*, const int16_t*, int32_t)>
inline void fixRun(int16_t* out, const int16_t* x, const int16_t* p, const int16_t* q, int32_t n) {
    int32_t i = 0;
    for (; i + 8 <= n; i += 8)
        _mm_storeu_si128(reinterpret_cast<__m128i*>(out + i), Step(ld16(x + i), ld16(p + i), ld16(q + i)));
    Tail(out + i, x + i, p + i, q + i, n - i);
}

struct VecFixSteps : j2k97::FixSteps {
    using Base = j2k97::FixSteps;
    static void step1(int16_t* out, const int16_t* x, const int16_t* p, const int16_t* q, int32_t n) { fixRun<fixStep1, Base::step1>(out, x, p, q, n); }
    static void step2(int16_t* out, const int16_t* x, const int16_t* p, const int16_t* q, int32_t n) { fixRun<fixStep2, Base::step2>(out, x, p, q, n); }
    static void step3(int16_t* out, const int16_t* x, const int16_t* p, const int16_t* q, int32_t n) { fixRun<fixStep3, Base::step3>(out, x, p, q, n); }
    static void step4(int16_t* out, const int16_t* x, const int16_t* p, const int16_t* q, int32_t n) { fixRun<fixStep4, Base::step4>(out, x, p, q, n); }
    static void interleave(int16_t* dst, const int16_t* a, const int16_t* b, int32_t n) {
        int32_t i = 0;
        for (; i + 8 <= n; i += 8) {
            const __m128i va = ld16(a + i), vb = ld16(b + i);
            _mm_storeu_si128(reinterpret_cast<__m128i*>(dst + 2 * i), _mm_unpacklo_epi16(va, vb));
            _mm_storeu_si128(reinterpret_cast<__m128i*>(dst + 2 * i + 8), _mm_unpackhi_epi16(va, vb));
        }
        Base::interleave(dst + 2 * i, a + i, b + i, n - i);
    }
};

} // namespace

int32_t forwardWavelet97Columns32f(const float* in0, const float* in1, const float* in2, float* low, float* bNew,
                                   float* high, float* cNew, float* aNew, int32_t width) {
    if (const int32_t s = j2k_wavelet::checkWindow(width, in0, in1, in2, low, bNew, high, cNew, aNew))
        return s;
    j2k97::forwardColumns<VecArith>(in0, in1, in2, low, bNew, high, cNew, aNew, width);
    return primNoErr;
}

int32_t forwardWavelet97Rows32f(const float* src, int32_t srcStep, float* low, int32_t lowStep, float* high,
                                int32_t highStep, int32_t width, int32_t height, int32_t phase) {
    return j2k97::forwardRows<j2k97::forwardRow<VecArith, j2k97::kFloatChunk>>(src, srcStep, low, lowStep, high,
                                                                               highStep, width, height, phase);
}

int32_t inverseWavelet97Columns32f(const float* low, const float* highAbove, const float* highBelow,
                                   const float* evenFinished, float* oddPending, float* evenPending, float* oddNew,
                                   float* evenNew, int32_t width) {
    if (const int32_t s = j2k_wavelet::checkWindow(width, low, highAbove, highBelow, evenFinished, oddPending,
                                                   evenPending, oddNew, evenNew))
        return s;
    j2k97::inverseColumns<VecSteps>(low, highAbove, highBelow, evenFinished, oddPending, evenPending, oddNew, evenNew,
                                    width);
    return primNoErr;
}

int32_t inverseWavelet97Columns16s(const int16_t* low, const int16_t* highAbove, const int16_t* highBelow,
                                   const int16_t* evenFinished, int16_t* oddPending, int16_t* evenPending,
                                   int16_t* oddNew, int16_t* evenNew, int32_t width) {
    if (const int32_t s = j2k_wavelet::checkWindow(width, low, highAbove, highBelow, evenFinished, oddPending,
                                                   evenPending, oddNew, evenNew))
        return s;
    j2k97::inverseColumns<VecFixSteps>(low, highAbove, highBelow, evenFinished, oddPending, evenPending, oddNew,
                                       evenNew, width);
    return primNoErr;
}

int32_t inverseWavelet97Rows32f(const float* low, int32_t lowStep, const float* high, int32_t highStep,
                                int32_t width, int32_t height, float* dst, int32_t dstStep, int32_t phase) {
    return j2k97::inverseRows<float, j2k97::inverseRow<VecSteps, j2k97::kFloatChunk>>(low, lowStep, high, highStep,
                                                                                      width, height, dst, dstStep, phase);
}

int32_t inverseWavelet97Rows16s(const int16_t* low, int32_t lowStep, const int16_t* high, int32_t highStep,
                                int32_t width, int32_t height, int16_t* dst, int32_t dstStep, int32_t phase) {
    return j2k97::inverseRows<int16_t, j2k97::inverseRow<VecFixSteps, j2k97::kFixChunk>>(
        low, lowStep, high, highStep, width, height, dst, dstStep, phase);
}

} // namespace prim::VQ_PATH_NS
