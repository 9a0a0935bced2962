// Conversion forms and kernels of one processor path (included by
// vector_p<N>.cpp).
//
// The float-to-integer kernels run under a control register of their own
// (exceptions masked, subnormals kept, the rounding they need) and load the
// caller's register back exactly as it was, flags included, so neither the
// caller's rounding, its denormals-are-zero setting nor its sticky flags
// change what they compute or survive them. NaN sources are found by an
// unordered compare on the source values in the same pass, so an in-place
// conversion needs no second look at overwritten data.

#include "primitives/vector/convert.h"
#include "primitives/vector/rules.h"
#include "primitives/vector/threshold.h"

namespace prim::VQ_PATH_NS {
namespace {

constexpr uint32_t kNearestCsr = 0x1F80;           // all exceptions masked, to nearest
constexpr uint32_t kTowardZeroCsr = 0x1F80 | 0x6000;

// Loads a control register for the life of the object and gives the
// caller's back on the way out.
class ControlScope {
public:
    explicit ControlScope(uint32_t value) : saved_(_mm_getcsr()) { _mm_setcsr(value); }
    ~ControlScope() { _mm_setcsr(saved_); }
    ControlScope(const ControlScope&) = delete;
    ControlScope& operator=(const ControlScope&) = delete;

private:
    uint32_t saved_;
};

// 2^-sf in every lane, as repeated halving or doubling of 1.0 under rounding
// to nearest would give it: exact from -127 to 149, 0 above, infinity below.
inline __m128 makeScaleVector32f(int32_t sf) {
    uint32_t bits;
    if (sf >= 150)
        bits = 0;
    else if (sf <= -128)
        bits = 0x7F800000u;
    else if (sf <= 126)
        bits = uint32_t(127 - sf) << 23;
    else
        bits = uint32_t(1) << (149 - sf);
    return _mm_castsi128_ps(_mm_set1_epi32(static_cast<int32_t>(bits)));
}

// The bit pattern of 2147483520.0, the largest float below 2^31: a product
// above it (and a NaN with a clear sign) converts to the integer-indefinite
// value, which inverted is the maximum.
inline __m128i saturateHigh(__m128i r, __m128 p) {
    return _mm_xor_si128(r, _mm_cmpgt_epi32(_mm_castps_si128(p), _mm_set1_epi32(0x4EFFFFFF)));
}

template <class Lanes>
inline void floatTo32s(const float* src, int32_t* dst, int32_t n, Lanes lanes) {
    eachBlock<4>(
        dst, n, [&](int32_t i) { storeBlock(dst + i, lanes(loadBlockPs(src + i))); },
        [&](int32_t i) { vrule::stAt(dst, i, _mm_cvtsi128_si32(lanes(_mm_set_ss(vrule::ldAt(src, i))))); });
}

} // namespace

void convertVector32fTo32sNearOrTrunc(const float* src, int32_t* dst, int32_t len, int32_t nearest, int32_t sf) {
    ControlScope control(kNearestCsr);
    const __m128 factor = makeScaleVector32f(sf);
    floatTo32s(src, dst, len, [&](__m128 s) {
        const __m128 p = sf ? _mm_mul_ps(s, factor) : s;
        const __m128i r = saturateHigh(nearest ? _mm_cvtps_epi32(p) : _mm_cvttps_epi32(p), p);
        return _mm_andnot_si128(_mm_castps_si128(_mm_cmpunord_ps(s, s)), r);
    });
}

// Under rounding toward zero, |p| + 0.5 is exactly floor(|p| + 0.5): a
// magnitude just below one half stays below 1.
void convertVector32fTo32sHalfAway(const float* src, int32_t* dst, int32_t len, int32_t sf) {
    ControlScope control(kTowardZeroCsr);
    const __m128 factor = makeScaleVector32f(sf);
    const __m128 sign = _mm_set1_ps(-0.0f), half = _mm_set1_ps(0.5f);
    floatTo32s(src, dst, len, [&](__m128 s) {
        const __m128 p = sf ? _mm_mul_ps(s, factor) : s;
        const __m128 q = _mm_or_ps(_mm_add_ps(_mm_andnot_ps(sign, p), half), _mm_and_ps(sign, p));
        return saturateHigh(_mm_cvttps_epi32(q), q);
    });
}

void convertVector32sTo16sKernel(const int32_t* src, int16_t* dst, int32_t len) {
    eachBlock<2>(
        dst, len, [&](int32_t i) { storeBlock(dst + i, _mm_packs_epi32(loadBlock(src + i), loadBlock(src + i + 4))); },
        [&](int32_t i) { vrule::stAt(dst, i, vrule::saturate<int16_t>(vrule::ldAt(src, i))); });
}

void convertVector8sTo16sKernel(const int8_t* src, int16_t* dst, int32_t len) {
    eachBlock<2>(
        dst, len,
        [&](int32_t i) {
            const __m128i v = _mm_loadl_epi64(reinterpret_cast<const __m128i*>(src + i));
            storeBlock(dst + i, _mm_srai_epi16(_mm_unpacklo_epi8(v, v), 8));
        },
        [&](int32_t i) { vrule::stAt<int16_t>(dst, i, vrule::ldAt(src, i)); });
}

void convertVector16sTo32sKernel(const int16_t* src, int32_t* dst, int32_t len) {
    eachBlock<4>(
        dst, len,
        [&](int32_t i) {
            const __m128i v = _mm_loadl_epi64(reinterpret_cast<const __m128i*>(src + i));
            storeBlock(dst + i, _mm_srai_epi32(_mm_unpacklo_epi16(v, v), 16));
        },
        [&](int32_t i) { vrule::stAt<int32_t>(dst, i, vrule::ldAt(src, i)); });
}

int32_t convertVector32fTo32s(const float* src, int32_t* dst, int32_t len, int32_t roundMode, int32_t sf) {
    if (!src || !dst)
        return primErrNullPtr;
    if (len <= 0)
        return primErrSize;
    if (roundMode == 0 || roundMode == 1)
        convertVector32fTo32sNearOrTrunc(src, dst, len, roundMode, sf);
    else
        convertVector32fTo32sHalfAway(src, dst, len, sf);
    return primNoErr;
}

#if VQ_PATH_LEVEL <= 3
// Each element converted under the caller's rounding, then multiplied by an
// exact power of two. Arrays that overlap other than exactly take the
// element loop, which keeps the order of reads and writes.
int32_t convertVector32sTo32f(const int32_t* src, float* dst, int32_t len, int32_t sf) {
    if (!src || !dst)
        return primErrNullPtr;
    if (len <= 0)
        return primErrSize;
    const int32_t k = sf > 126 ? 126 : (sf < -96 ? -96 : sf);
    const __m128 factor = _mm_castsi128_ps(_mm_set1_epi32(static_cast<int32_t>(uint32_t(127 - k) << 23)));
    const auto lanes = [&](__m128i x) {
        const __m128 v = _mm_cvtepi32_ps(x);
        return sf ? _mm_mul_ps(v, factor) : v;
    };
    const auto one = [&](int32_t i) {
        vrule::stAt(dst, i, _mm_cvtss_f32(lanes(_mm_cvtsi32_si128(vrule::ldAt(src, i)))));
    };
    const auto a = reinterpret_cast<uintptr_t>(src), b = reinterpret_cast<uintptr_t>(dst);
    const uintptr_t gap = a > b ? a - b : b - a;
    if (gap != 0 && gap <= uintptr_t(len) * 4) {
        for (int32_t i = 0; i < len; ++i)
            one(i);
        return primNoErr;
    }
    eachBlock<4>(dst, len, [&](int32_t i) { storeBlockPs(dst + i, lanes(loadBlock(src + i))); }, one);
    return primNoErr;
}
#endif

int32_t convertVector32sTo16s(const int32_t* src, int16_t* dst, int32_t len) {
    if (!src || !dst)
        return primErrNullPtr;
    if (len <= 0)
        return primErrSize;
    convertVector32sTo16sKernel(src, dst, len);
    return primNoErr;
}

int32_t clampVectorMaxInPlace32s(int32_t* vector, int32_t len, int32_t bound) {
    if (!vector)
        return primErrNullPtr;
    if (len <= 0)
        return primErrSize;
    clampMax32sInPlace(vector, len, bound);
    return primNoErr;
}

int32_t clampVectorMinInPlace32s(int32_t* vector, int32_t len, int32_t bound) {
    if (!vector)
        return primErrNullPtr;
    if (len <= 0)
        return primErrSize;
    clampMin32sInPlace(vector, len, bound);
    return primNoErr;
}

} // namespace prim::VQ_PATH_NS
