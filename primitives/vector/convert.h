// Conversions between float and integer vectors, narrowing and clamping.
//
// convertVector32fTo32s: value x 2^-sf, rounded by roundMode (0 toward zero,
// 1 to nearest with ties to even, any other value to nearest with ties away
// from zero) and saturated to 32 bits. A NaN gives 0 under modes 0 and 1. The
// processor paths run under their own rounding control and give the
// caller's SSE control and status register back exactly as they found it.
// The paths differ from the generic form only where its extended-precision
// arithmetic and their single-precision arithmetic must: a NaN under the
// ties-away mode (generic -2^31, paths by the NaN's sign) and scale factors
// beyond -127..149 (the paths' factor becomes 0 or infinity).
//
// convertVector32sTo32f: value x 2^-sf with sf clamped to -96..126, rounded
// once under the caller's rounding mode. Any overlap of source and
// destination gives the results of the element loop.
//
// convertVector32sTo16s saturates to 16 bits (in place too: the destination
// may start at the source). The clamps limit a vector in place to at most or
// at least a bound, inclusive.
//
// Status: -8 a null pointer, then -6 a length of 0 or less.
#pragma once

#include <cstdint>

#include "primitives/core/dispatch.h"
#include "primitives/core/forms.h"
#include "primitives/core/prim_types.h"

#define VQ_CONVERT_FORMS                                                                                      \
    int32_t convertVector32fTo32s(const float* src, int32_t* dst, int32_t len, int32_t roundMode, int32_t sf); \
    int32_t convertVector32sTo32f(const int32_t* src, float* dst, int32_t len, int32_t sf);                    \
    int32_t convertVector32sTo16s(const int32_t* src, int16_t* dst, int32_t len);                              \
    int32_t clampVectorMaxInPlace32s(int32_t* vector, int32_t len, int32_t bound);                             \
    int32_t clampVectorMinInPlace32s(int32_t* vector, int32_t len, int32_t bound);

// Kernels of the conversion sets of paths 1 to 5. They check nothing; the
// length is at least 1. Source and destination are disjoint except where a
// line says otherwise. Rounding flag: 0 truncates, any other value rounds to
// nearest with ties to even.
#define VQ_CONVERT_KERNEL_FORMS                                                                                 \
    /* Float to 32-bit: as convertVector32fTo32s; in place allowed. */                                        \
    void convertVector32fTo32sNearOrTrunc(const float* src, int32_t* dst, int32_t len, int32_t nearest,         \
                                          int32_t sf);                                                          \
    void convertVector32fTo32sHalfAway(const float* src, int32_t* dst, int32_t len, int32_t sf);                \
    /* Saturating narrowing (in place allowed) and sign-extending widening. */                                \
    void convertVector32sTo16sKernel(const int32_t* src, int16_t* dst, int32_t len);                           \
    void convertVector8sTo16sKernel(const int8_t* src, int16_t* dst, int32_t len);                             \
    void convertVector16sTo32sKernel(const int16_t* src, int32_t* dst, int32_t len);                           \
    /* Widening to floating point, exact but for 32-bit integers to float,   */                               \
    /* which round under the caller's rounding mode.                          */                               \
    void convertKernel8sTo32f(const int8_t* src, float* dst, int32_t len);                                     \
    void convertKernel8uTo32f(const uint8_t* src, float* dst, int32_t len);                                    \
    void convertKernel16sTo32f(const int16_t* src, float* dst, int32_t len);                                   \
    void convertKernel16uTo32f(const uint16_t* src, float* dst, int32_t len);                                  \
    void convertKernel32sTo64f(const int32_t* src, double* dst, int32_t len);                                  \
    void convertKernel32sTo32f(const int32_t* src, float* dst, int32_t len);                                   \
    /* x / 2^shift (shift 1 to 32) rounded half away from zero, saturated. */                                 \
    void convertKernel64sTo32sScaled(const int64_t* src, int32_t* dst, int32_t len, int32_t shift);            \
    /* Float (double) x 2^-sf, clamped on one side before rounding, then    */                                \
    /* narrowed with saturation. NearOrTrunc: a NaN gives 0; HalfAway adds  */                                \
    /* the largest float below one half (one half for doubles) to the       */                                \
    /* magnitude under the caller's rounding, and a NaN takes the clamp's   */                                \
    /* value (127, 255, 32767, 0 for 16u, 2147483647).                      */                                \
    void convertVector32fTo8sNearOrTrunc(const float* src, int8_t* dst, int32_t len, int32_t flag, int32_t sf); \
    void convertVector32fTo8uNearOrTrunc(const float* src, uint8_t* dst, int32_t len, int32_t flag, int32_t sf); \
    void convertVector32fTo16sNearOrTrunc(const float* src, int16_t* dst, int32_t len, int32_t flag, int32_t sf); \
    void convertVector32fTo16uNearOrTrunc(const float* src, uint16_t* dst, int32_t len, int32_t flag, int32_t sf); \
    void convertVector64fTo32sNearOrTrunc(const double* src, int32_t* dst, int32_t len, int32_t flag, int32_t sf); \
    void convertVector32fTo8sHalfAway(const float* src, int8_t* dst, int32_t len, int32_t sf);                 \
    void convertVector32fTo8uHalfAway(const float* src, uint8_t* dst, int32_t len, int32_t sf);                \
    void convertVector32fTo16sHalfAway(const float* src, int16_t* dst, int32_t len, int32_t sf);               \
    void convertVector32fTo16uHalfAway(const float* src, uint16_t* dst, int32_t len, int32_t sf);              \
    void convertVector64fTo32sHalfAway(const double* src, int32_t* dst, int32_t len, int32_t sf);              \
    /* Half precision (IEEE binary16 in a 16-bit word); the 16-bit to      */                                 \
    /* 16-bit kernels also work in place.                                  */                                 \
    void convertKernel16sTo16f(const int16_t* src, uint16_t* dst, int32_t count, int32_t flag);                \
    void convertKernel16fTo16sScaled(const uint16_t* src, int16_t* dst, int32_t count, int32_t flag, int32_t sf); \
    void convertKernel16fTo32f(const uint16_t* src, float* dst, int32_t count);                                \
    void convertKernel32fTo16f(const float* src, uint16_t* dst, int32_t count, int32_t flag);

VQ_DECLARE_FORMS(VQ_CONVERT_FORMS)

namespace prim::p1 { VQ_CONVERT_KERNEL_FORMS }
namespace prim::p2 { VQ_CONVERT_KERNEL_FORMS }
namespace prim::p3 { VQ_CONVERT_KERNEL_FORMS }
namespace prim::p4 { VQ_CONVERT_KERNEL_FORMS }
namespace prim::p5 { VQ_CONVERT_KERNEL_FORMS }

using Convert32fTo32sFn = int32_t (*)(const float*, int32_t*, int32_t, int32_t, int32_t);
using Convert32sTo32fFn = int32_t (*)(const int32_t*, float*, int32_t, int32_t);
using Convert32sTo16sFn = int32_t (*)(const int32_t*, int16_t*, int32_t);
using ClampInPlace32sFn = int32_t (*)(int32_t*, int32_t, int32_t);

extern const Convert32fTo32sFn convertVector32fTo32sTable[6];
extern const Convert32sTo32fFn convertVector32sTo32fTable[6];
extern const Convert32sTo16sFn convertVector32sTo16sTable[6];
extern const ClampInPlace32sFn clampVectorMaxInPlace32sTable[6];
extern const ClampInPlace32sFn clampVectorMinInPlace32sTable[6];

int32_t convertVector32fTo32s(const float* src, int32_t* dst, int32_t len, int32_t roundMode, int32_t sf);
int32_t convertVector32sTo32f(const int32_t* src, float* dst, int32_t len, int32_t sf);
int32_t convertVector32sTo16s(const int32_t* src, int16_t* dst, int32_t len);
int32_t clampVectorMaxInPlace32s(int32_t* vector, int32_t len, int32_t bound);
int32_t clampVectorMinInPlace32s(int32_t* vector, int32_t len, int32_t bound);
