// Element-wise addition and subtraction of vectors.
//
// 16-bit and 32-bit signed forms: the exact sum or difference r is multiplied
// by 2^-sf, rounded to nearest with ties to even and saturated to the element
// type. sf = 0 is plain saturating arithmetic; every sf is accepted: above the
// element width every result is 0 (the destination is cleared, the sources
// are not read), far below it only the sign of r counts.
//   add...InPlace(src, srcDst):      srcDst = src + srcDst
//   add...(src1, src2, dst):         dst = src1 + src2
//   sub...InPlace(src, srcDst):      srcDst = srcDst - src
//   sub...(src1, src2, dst):         dst = src2 - src1
//
// Float forms: one IEEE single-precision operation per element under the
// caller's rounding; mulVectorConst copies the source bit for bit for the
// value 1 (in place: does nothing) and writes +0.0 everywhere for +-0.
//
// Status: -8 a null pointer (tested in argument order), then -6 a length of 0
// or less; nothing is read or written on an error. A destination is either
// one of the sources or does not overlap them.
#pragma once

#include <cstdint>

#include "primitives/core/dispatch.h"
#include "primitives/core/forms.h"
#include "primitives/core/prim_types.h"

#define VQ_ADD_SUB_FORMS                                                                                       \
    int32_t addVectorInPlace16sScaled(const int16_t* src, int16_t* srcDst, int32_t len, int32_t sf);           \
    int32_t addVector16sScaled(const int16_t* src1, const int16_t* src2, int16_t* dst, int32_t len, int32_t sf); \
    int32_t subVectorInPlace16sScaled(const int16_t* src, int16_t* srcDst, int32_t len, int32_t sf);           \
    int32_t subVector16sScaled(const int16_t* src1, const int16_t* src2, int16_t* dst, int32_t len, int32_t sf); \
    int32_t addVectorInPlace32sScaled(const int32_t* src, int32_t* srcDst, int32_t len, int32_t sf);           \
    int32_t addVector32sScaled(const int32_t* src1, const int32_t* src2, int32_t* dst, int32_t len, int32_t sf); \
    int32_t subVectorInPlace32sScaled(const int32_t* src, int32_t* srcDst, int32_t len, int32_t sf);           \
    int32_t subVector32sScaled(const int32_t* src1, const int32_t* src2, int32_t* dst, int32_t len, int32_t sf); \
    int32_t addVector32f(const float* src1, const float* src2, float* dst, int32_t len);                       \
    int32_t subVector32f(const float* src1, const float* src2, float* dst, int32_t len);                       \
    int32_t addVectorInPlace32f(const float* src, float* srcDst, int32_t len);                                 \
    int32_t subVectorInPlace32f(const float* src, float* srcDst, int32_t len);                                 \
    int32_t mulVectorConst32f(const float* src, float value, float* dst, int32_t len);                         \
    int32_t mulVectorConstInPlace32f(float value, float* srcDst, int32_t len);                                 \
    /* Row kernel of the in-place multiplication, without checks or special values; len >= 0. */            \
    void scaleInPlace32f(float value, float* srcDst, int32_t len);

VQ_DECLARE_FORMS(VQ_ADD_SUB_FORMS)

using AddSubInPlace16sFn = int32_t (*)(const int16_t*, int16_t*, int32_t, int32_t);
using AddSub16sFn = int32_t (*)(const int16_t*, const int16_t*, int16_t*, int32_t, int32_t);
using AddSubInPlace32sFn = int32_t (*)(const int32_t*, int32_t*, int32_t, int32_t);
using AddSub32sFn = int32_t (*)(const int32_t*, const int32_t*, int32_t*, int32_t, int32_t);
using AddSub32fFn = int32_t (*)(const float*, const float*, float*, int32_t);
using AddSubInPlace32fFn = int32_t (*)(const float*, float*, int32_t);
using MulConst32fFn = int32_t (*)(const float*, float, float*, int32_t);
using MulConstInPlace32fFn = int32_t (*)(float, float*, int32_t);
using ScaleInPlace32fFn = void (*)(float, float*, int32_t);

extern const AddSubInPlace16sFn addVectorInPlace16sScaledTable[6];
extern const AddSub16sFn addVector16sScaledTable[6];
extern const AddSubInPlace16sFn subVectorInPlace16sScaledTable[6];
extern const AddSub16sFn subVector16sScaledTable[6];
extern const AddSubInPlace32sFn addVectorInPlace32sScaledTable[6];
extern const AddSub32sFn addVector32sScaledTable[6];
extern const AddSubInPlace32sFn subVectorInPlace32sScaledTable[6];
extern const AddSub32sFn subVector32sScaledTable[6];
extern const AddSub32fFn addVector32fTable[6];
extern const AddSub32fFn subVector32fTable[6];
extern const AddSubInPlace32fFn addVectorInPlace32fTable[6];
extern const AddSubInPlace32fFn subVectorInPlace32fTable[6];
extern const MulConst32fFn mulVectorConst32fTable[6];
extern const MulConstInPlace32fFn mulVectorConstInPlace32fTable[6];
extern const ScaleInPlace32fFn scaleInPlace32fTable[6];

int32_t addVectorInPlace16sScaled(const int16_t* src, int16_t* srcDst, int32_t len, int32_t sf);
int32_t addVector16sScaled(const int16_t* src1, const int16_t* src2, int16_t* dst, int32_t len, int32_t sf);
int32_t subVectorInPlace16sScaled(const int16_t* src, int16_t* srcDst, int32_t len, int32_t sf);
int32_t subVector16sScaled(const int16_t* src1, const int16_t* src2, int16_t* dst, int32_t len, int32_t sf);
int32_t addVectorInPlace32sScaled(const int32_t* src, int32_t* srcDst, int32_t len, int32_t sf);
int32_t addVector32sScaled(const int32_t* src1, const int32_t* src2, int32_t* dst, int32_t len, int32_t sf);
int32_t subVectorInPlace32sScaled(const int32_t* src, int32_t* srcDst, int32_t len, int32_t sf);
int32_t subVector32sScaled(const int32_t* src1, const int32_t* src2, int32_t* dst, int32_t len, int32_t sf);
int32_t addVector32f(const float* src1, const float* src2, float* dst, int32_t len);
int32_t subVector32f(const float* src1, const float* src2, float* dst, int32_t len);
int32_t addVectorInPlace32f(const float* src, float* srcDst, int32_t len);
int32_t subVectorInPlace32f(const float* src, float* srcDst, int32_t len);
int32_t mulVectorConst32f(const float* src, float value, float* dst, int32_t len);
int32_t mulVectorConstInPlace32f(float value, float* srcDst, int32_t len);
