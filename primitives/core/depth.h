// Sample depth conversions.
//
// scale16uTo8u maps 0..65535 linearly onto 0..255. Mode 2 (accurate) gives
// the nearest integer to s / 257; any other mode (fast) gives
// (s - (s >> 8) + 128) >> 8, one higher than accurate for the 128 inputs
// 257k + 128. The C3 form treats a row as 3 x width samples.
// Status, in this order: -8 null source then destination; -6 width then
// height below 1; -14 source step then destination step below 1.
//
// convert32sTo8uC1 saturates to 0..255; convert8uTo32sC1 widens without sign
// extension. Status: -8, -6, then -14 for a step of 0 or less.
//
// convert32sTo16uC1Scaled divides by 2^scaleFactor (multiplies for a negative
// factor), rounds by the rounding mode (0 toward zero, 1 nearest with ties to
// even, other nearest with ties upward) and saturates to 0..65535. Status: -8,
// -6; steps, mode and factor are not tested. A factor above 33 writes zeros
// without reading the source.
#pragma once

#include <cstdint>

#include "primitives/core/dispatch.h"
#include "primitives/core/forms.h"
#include "primitives/core/prim_types.h"

using Scale16uTo8uFn = int32_t (*)(const uint16_t* src, int32_t srcStep, uint8_t* dst, int32_t dstStep, PrimSize size,
                                   int32_t mode);
using Convert32sTo8uFn = int32_t (*)(const int32_t* src, int32_t srcStep, uint8_t* dst, int32_t dstStep,
                                     PrimSize size);
using Convert8uTo32sFn = int32_t (*)(const uint8_t* src, int32_t srcStep, int32_t* dst, int32_t dstStep,
                                     PrimSize size);
using Convert32sTo16uScaledFn = int32_t (*)(const int32_t* src, int32_t srcStep, uint16_t* dst, int32_t dstStep,
                                            PrimSize size, int32_t roundMode, int32_t scaleFactor);

constexpr int32_t kScaleAccurate = 2;

// The argument tests of the step-checked conversions; 0 when the call may run.
int32_t depthArgsStatus(const void* src, int32_t srcStep, const void* dst, int32_t dstStep, PrimSize size);

#define VQ_DEPTH_FORMS                                                                                         \
    int32_t scale16uTo8uC1(const uint16_t* src, int32_t srcStep, uint8_t* dst, int32_t dstStep, PrimSize size, \
                           int32_t mode);                                                                      \
    int32_t scale16uTo8uC3(const uint16_t* src, int32_t srcStep, uint8_t* dst, int32_t dstStep, PrimSize size, \
                           int32_t mode);                                                                      \
    int32_t convert32sTo8uC1(const int32_t* src, int32_t srcStep, uint8_t* dst, int32_t dstStep, PrimSize size); \
    int32_t convert8uTo32sC1(const uint8_t* src, int32_t srcStep, int32_t* dst, int32_t dstStep, PrimSize size);

VQ_DECLARE_FORMS(VQ_DEPTH_FORMS)

namespace prim::generic {
// One scalar body serves every path.
int32_t convert32sTo16uC1Scaled(const int32_t* src, int32_t srcStep, uint16_t* dst, int32_t dstStep, PrimSize size,
                                int32_t roundMode, int32_t scaleFactor);
} // namespace prim::generic

extern const Scale16uTo8uFn scale16uTo8uC1Table[6];
extern const Scale16uTo8uFn scale16uTo8uC3Table[6];
extern const Convert32sTo8uFn convert32sTo8uC1Table[6];
extern const Convert8uTo32sFn convert8uTo32sC1Table[6];
extern const Convert32sTo16uScaledFn convert32sTo16uC1ScaledTable[6];

int32_t scale16uTo8uC1(const uint16_t* src, int32_t srcStep, uint8_t* dst, int32_t dstStep, PrimSize size,
                       int32_t mode);
int32_t scale16uTo8uC3(const uint16_t* src, int32_t srcStep, uint8_t* dst, int32_t dstStep, PrimSize size,
                       int32_t mode);
int32_t convert32sTo8uC1(const int32_t* src, int32_t srcStep, uint8_t* dst, int32_t dstStep, PrimSize size);
int32_t convert8uTo32sC1(const uint8_t* src, int32_t srcStep, int32_t* dst, int32_t dstStep, PrimSize size);
int32_t convert32sTo16uC1Scaled(const int32_t* src, int32_t srcStep, uint16_t* dst, int32_t dstStep, PrimSize size,
                                int32_t roundMode, int32_t scaleFactor);
