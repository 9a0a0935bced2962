// Constant arithmetic with scale factors, in place on one-channel regions.
//
// mulConstInPlace32fC1: every float x becomes x * value, rounded once.
// mulConstInPlace16sC1Scaled: x becomes value * x (exact) times 2^-sf,
//   rounded to nearest with ties to even and saturated to 16 bits.
// mulConstInPlace8uC1Scaled, subInPlace8uC1Scaled, addInPlace8uC1Scaled:
//   the exact product value * x, difference max(0, dst - src) or sum
//   dst + src times 2^-sf, rounded to nearest with ties to even and saturated
//   to 0..255. The 8-bit constant is the low byte of its argument.
// Value 0 (multiplies) and scale factors so large that every result rounds
// to 0 fill the region with 0 through the path's fill; value 1 with scale
// factor 0 reads and writes nothing.
//
// Status: -8 null pointer, then -6 height 0 or negative, then -6 width 0 or
// negative; else 0 (or the fill's status, 0 after these checks). Steps are
// not tested: rows start step bytes apart whatever its sign.
#pragma once

#include <cstdint>

#include "primitives/core/dispatch.h"
#include "primitives/core/forms.h"
#include "primitives/core/prim_types.h"

using ImageMulConst32fFn = int32_t (*)(float value, float* srcDst, int32_t step, int32_t width, int32_t height);
using ImageMulConst16sFn = int32_t (*)(int16_t value, int16_t* srcDst, int32_t step, int32_t width,
                                         int32_t height, int32_t scaleFactor);
using ImageMulConst8uFn = int32_t (*)(int32_t value, uint8_t* srcDst, int32_t step, int32_t width,
                                        int32_t height, int32_t scaleFactor);
using ImageArith8uFn = int32_t (*)(const uint8_t* src, int32_t srcStep, uint8_t* srcDst, int32_t srcDstStep,
                                     int32_t width, int32_t height, int32_t scaleFactor);

#define VQ_IMAGE_ARITH_FORMS                                                                                    \
    int32_t mulConstInPlace32fC1(float value, float* srcDst, int32_t step, int32_t width, int32_t height);      \
    int32_t mulConstInPlace16sC1Scaled(int16_t value, int16_t* srcDst, int32_t step, int32_t width,             \
                                       int32_t height, int32_t scaleFactor);                                    \
    int32_t mulConstInPlace8uC1Scaled(int32_t value, uint8_t* srcDst, int32_t step, int32_t width,              \
                                      int32_t height, int32_t scaleFactor);                                     \
    int32_t subInPlace8uC1Scaled(const uint8_t* src, int32_t srcStep, uint8_t* srcDst, int32_t srcDstStep,      \
                                 int32_t width, int32_t height, int32_t scaleFactor);                           \
    int32_t addInPlace8uC1Scaled(const uint8_t* src, int32_t srcStep, uint8_t* srcDst, int32_t srcDstStep,      \
                                 int32_t width, int32_t height, int32_t scaleFactor);

VQ_DECLARE_FORMS(VQ_IMAGE_ARITH_FORMS)

extern const ImageMulConst32fFn mulConstInPlace32fC1Table[6];
extern const ImageMulConst16sFn mulConstInPlace16sC1ScaledTable[6];
extern const ImageMulConst8uFn mulConstInPlace8uC1ScaledTable[6];
extern const ImageArith8uFn subInPlace8uC1ScaledTable[6];
extern const ImageArith8uFn addInPlace8uC1ScaledTable[6];

int32_t mulConstInPlace32fC1(float value, float* srcDst, int32_t step, int32_t width, int32_t height);
int32_t mulConstInPlace16sC1Scaled(int16_t value, int16_t* srcDst, int32_t step, int32_t width, int32_t height,
                                   int32_t scaleFactor);
int32_t mulConstInPlace8uC1Scaled(int32_t value, uint8_t* srcDst, int32_t step, int32_t width, int32_t height,
                                  int32_t scaleFactor);
int32_t subInPlace8uC1Scaled(const uint8_t* src, int32_t srcStep, uint8_t* srcDst, int32_t srcDstStep,
                             int32_t width, int32_t height, int32_t scaleFactor);
int32_t addInPlace8uC1Scaled(const uint8_t* src, int32_t srcStep, uint8_t* srcDst, int32_t srcDstStep,
                             int32_t width, int32_t height, int32_t scaleFactor);
