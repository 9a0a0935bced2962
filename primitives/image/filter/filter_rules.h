// Argument checks and the divisor's mode, shared by the generic forms and
// every path's forms. Internal linkage: each translation unit keeps its own
// copy.
#pragma once

#include <cstdint>

#include "primitives/core/prim_types.h"
#include "primitives/image/filter/filter.h"

namespace {
namespace frule {

enum Mode : int { kPlain = 0, kShift = 1, kReciprocal = 2 };

struct Division {
    Mode mode;
    int32_t shift;  // k of a divisor 2^k
};

inline Division divisionOf(int32_t divisor) {
    if (divisor == 1)
        return {kPlain, 0};
    if (divisor > 1 && (divisor & (divisor - 1)) == 0)
        return {kShift, __builtin_ctz(static_cast<uint32_t>(divisor))};
    return {kReciprocal, 0};
}

// The single-precision scale of the processor paths: 1 for the plain and
// shift modes, else 1.0f / divisor.
inline float scaleOf(int32_t divisor) {
    return divisionOf(divisor).mode == kReciprocal ? 1.0f / static_cast<float>(divisor) : 1.0f;
}

inline int32_t checkArguments(const void* src, int64_t srcStep, const void* dst, int64_t dstStep, int32_t w,
                              int32_t h, const int32_t* kernel, int32_t kernelSize, int32_t divisor,
                              int64_t minSrcStep) {
    if (!src || !dst || !kernel)
        return primErrNullPtr;
    if (w <= 0 || h <= 0 || kernelSize <= 0)
        return primErrSize;
    if (divisor == 0)
        return primErrDivisor;
    if (srcStep < minSrcStep || dstStep < w)
        return primErrStep;
    return primNoErr;
}

// Sum of kernel[n - 1 - t] x pixel(t) over t, wrapping in 32 bits.
template <class Pixel>
inline int32_t convolveOne(const int32_t* kernel, int32_t n, Pixel pixel) {
    uint32_t sum = 0;
    for (int32_t t = 0; t < n; ++t)
        sum += static_cast<uint32_t>(kernel[n - 1 - t]) * pixel(t);
    return static_cast<int32_t>(sum);
}

} // namespace frule
} // namespace
