// Threshold kernels of the processor-path kernel sets: every element beyond a
// level on one side is replaced by the level, by a given value or, for
// complex data, by the element rescaled to the level's magnitude.
//
// Comparisons are strict. Float minimum and maximum follow the processor's:
// when either operand is NaN, or both are zeros, the result is the level. The
// kernels check nothing: count is at least 1, and a destination is the
// source or does not overlap it.
#pragma once

#include <cstdint>

#define VQ_THRESHOLD_CLAMP_FORMS                                                           \
    void clampMin32sInPlace(int32_t* buffer, int32_t count, int32_t level);                \
    void clampMax32sInPlace(int32_t* buffer, int32_t count, int32_t level);

namespace prim::p1 { VQ_THRESHOLD_CLAMP_FORMS }
namespace prim::p2 { VQ_THRESHOLD_CLAMP_FORMS }
namespace prim::p3 { VQ_THRESHOLD_CLAMP_FORMS }
namespace prim::p4 { VQ_THRESHOLD_CLAMP_FORMS }
namespace prim::p5 { VQ_THRESHOLD_CLAMP_FORMS }
