#include "primitives/vector/convert.h"

#include <cmath>

#include "primitives/vector/rules.h"

namespace prim::generic {

// Each product is formed exactly in the extended format; NaNs and values
// outside the 32-bit range are settled before any conversion, so every cast
// below is of an in-range value.
int32_t convertVector32fTo32s(const float* src, int32_t* dst, int32_t len, int32_t roundMode, int32_t sf) {
    if (!src || !dst)
        return primErrNullPtr;
    if (len <= 0)
        return primErrSize;
    const int32_t k = sf > 20000 ? 20000 : (sf < -20000 ? -20000 : sf);
    const long double factor = std::ldexp(1.0L, -k);
    for (int32_t i = 0; i < len; ++i) {
        const float s = vrule::ldAt(src, i);
        const long double p = sf == 0 ? static_cast<long double>(s) : s * factor;
        int32_t r;
        if (std::isnan(p)) {
            r = roundMode == 0 || roundMode == 1 ? 0 : INT32_MIN;
        } else if (p >= 2147483648.0L) {
            r = INT32_MAX;
        } else if (p <= -2147483648.0L) {
            r = INT32_MIN;
        } else if (roundMode == 0) {
            r = static_cast<int32_t>(p);
        } else {
            // Half a unit toward the sign, truncated: ties away from zero;
            // mode 1 takes an odd tie one step back toward zero.
            const bool up = !std::signbit(p) || p == 0;
            const long double t = up ? p + 0.5L : p - 0.5L;
            long double q = std::trunc(t);
            if (roundMode == 1 && q == t && std::fmod(q, 2.0L) != 0)
                q += up ? -1 : 1;
            r = q >= 2147483647.0L ? INT32_MAX : (q <= -2147483648.0L ? INT32_MIN : static_cast<int32_t>(q));
        }
        vrule::stAt(dst, i, r);
    }
    return primNoErr;
}

// Converted under the caller's rounding mode, then multiplied by an exact
// power of two that keeps every product normal.
int32_t convertVector32sTo32f(const int32_t* src, float* dst, int32_t len, int32_t sf) {
    if (!src || !dst)
        return primErrNullPtr;
    if (len <= 0)
        return primErrSize;
    const int32_t k = sf > 126 ? 126 : (sf < -96 ? -96 : sf);
    const uint32_t factorBits = uint32_t(127 - k) << 23;
    const float factor = vrule::ld<float>(&factorBits);
    for (int32_t i = 0; i < len; ++i) {
        float v = static_cast<float>(vrule::ldAt(src, i));
        if (sf != 0)
            v *= factor;
        vrule::stAt(dst, i, v);
    }
    return primNoErr;
}

int32_t convertVector32sTo16s(const int32_t* src, int16_t* dst, int32_t len) {
    if (!src || !dst)
        return primErrNullPtr;
    if (len <= 0)
        return primErrSize;
    for (int32_t i = 0; i < len; ++i)
        vrule::stAt(dst, i, vrule::saturate<int16_t>(vrule::ldAt(src, i)));
    return primNoErr;
}

namespace {

template <bool Above>
int32_t clampInPlace(int32_t* vector, int32_t len, int32_t bound) {
    if (!vector)
        return primErrNullPtr;
    if (len <= 0)
        return primErrSize;
    for (int32_t i = 0; i < len; ++i) {
        const int32_t x = vrule::ldAt(vector, i);
        vrule::stAt(vector, i, (Above ? x > bound : x < bound) ? bound : x);
    }
    return primNoErr;
}

} // namespace

int32_t clampVectorMaxInPlace32s(int32_t* vector, int32_t len, int32_t bound) {
    return clampInPlace<true>(vector, len, bound);
}
int32_t clampVectorMinInPlace32s(int32_t* vector, int32_t len, int32_t bound) {
    return clampInPlace<false>(vector, len, bound);
}

} // namespace prim::generic

const Convert32fTo32sFn convertVector32fTo32sTable[6] = VQ_PATH_FORMS(convertVector32fTo32s);
// Paths 4 and 5 run the SSSE3 form.
const Convert32sTo32fFn convertVector32sTo32fTable[6] = {
    prim::generic::convertVector32sTo32f, prim::p1::convertVector32sTo32f, prim::p2::convertVector32sTo32f,
    prim::p3::convertVector32sTo32f,      prim::p3::convertVector32sTo32f, prim::p3::convertVector32sTo32f};
const Convert32sTo16sFn convertVector32sTo16sTable[6] = VQ_PATH_FORMS(convertVector32sTo16s);
const ClampInPlace32sFn clampVectorMaxInPlace32sTable[6] = VQ_PATH_FORMS(clampVectorMaxInPlace32s);
const ClampInPlace32sFn clampVectorMinInPlace32sTable[6] = VQ_PATH_FORMS(clampVectorMinInPlace32s);

int32_t convertVector32fTo32s(const float* src, int32_t* dst, int32_t len, int32_t roundMode, int32_t sf) {
    return VQ_DISPATCH(convertVector32fTo32sTable)(src, dst, len, roundMode, sf);
}
int32_t convertVector32sTo32f(const int32_t* src, float* dst, int32_t len, int32_t sf) {
    return VQ_DISPATCH(convertVector32sTo32fTable)(src, dst, len, sf);
}
int32_t convertVector32sTo16s(const int32_t* src, int16_t* dst, int32_t len) {
    return VQ_DISPATCH(convertVector32sTo16sTable)(src, dst, len);
}
int32_t clampVectorMaxInPlace32s(int32_t* vector, int32_t len, int32_t bound) {
    return VQ_DISPATCH(clampVectorMaxInPlace32sTable)(vector, len, bound);
}
int32_t clampVectorMinInPlace32s(int32_t* vector, int32_t len, int32_t bound) {
    return VQ_DISPATCH(clampVectorMinInPlace32sTable)(vector, len, bound);
}
