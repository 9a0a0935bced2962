// Shifts by a constant and sign-magnitude conversion, in place on one-channel
// regions of signed 16-bit and 32-bit samples (the JPEG 2000 codec's depth
// adjustment and coefficient coding).
//
// Shifts: a count of 0 leaves the region as it is (a copy onto itself); 1 to
// 31 shift every sample (right shifts arithmetic, 16-bit samples sign-extended
// first; the left shift keeps the low 32 bits); any count above 31, taken as
// unsigned, gives the sign fill (right) or 0 (left).
// Sign-magnitude: bit 31 the sign, bits 0-30 the magnitude; 0x80000000 stays.
//
// Status, first failing check: -8 null pointer, -14 step 0 or negative,
// -6 width or height 0 or negative; otherwise 0. Nothing is written on an
// error. Samples need only byte alignment.
#pragma once

#include <cstdint>

#include "primitives/core/dispatch.h"
#include "primitives/core/forms.h"
#include "primitives/core/prim_types.h"

using ToSignMagnitude32sFn = int32_t (*)(int32_t* srcDst, int32_t step, int32_t width, int32_t height);
using ShiftConstInPlace16sFn = int32_t (*)(uint32_t count, int16_t* srcDst, int32_t step, int32_t width,
                                           int32_t height);
using ShiftConstInPlace32sFn = int32_t (*)(uint32_t count, int32_t* srcDst, int32_t step, int32_t width,
                                           int32_t height);

#define VQ_IMAGE_SHIFT_FORMS                                                                                   \
    int32_t toSignMagnitudeInPlace32sC1(int32_t* srcDst, int32_t step, int32_t width, int32_t height);         \
    int32_t shiftRightConstInPlace16sC1(uint32_t count, int16_t* srcDst, int32_t step, int32_t width,           \
                                        int32_t height);                                                       \
    int32_t shiftRightConstInPlace32sC1(uint32_t count, int32_t* srcDst, int32_t step, int32_t width,           \
                                        int32_t height);                                                       \
    int32_t shiftLeftConstInPlace32sC1(uint32_t count, int32_t* srcDst, int32_t step, int32_t width,            \
                                       int32_t height);                                                        \
    /* Row routine of the sign-magnitude conversion: no checks, width and height at least 1. */             \
    void toSignMagnitudeRows32s(int32_t* srcDst, int32_t step, int32_t width, int32_t height);

VQ_DECLARE_FORMS(VQ_IMAGE_SHIFT_FORMS)

extern const ToSignMagnitude32sFn toSignMagnitudeInPlace32sC1Table[6];
extern const ShiftConstInPlace16sFn shiftRightConstInPlace16sC1Table[6];
extern const ShiftConstInPlace32sFn shiftRightConstInPlace32sC1Table[6];
extern const ShiftConstInPlace32sFn shiftLeftConstInPlace32sC1Table[6];

int32_t toSignMagnitudeInPlace32sC1(int32_t* srcDst, int32_t step, int32_t width, int32_t height);
int32_t shiftRightConstInPlace16sC1(uint32_t count, int16_t* srcDst, int32_t step, int32_t width, int32_t height);
int32_t shiftRightConstInPlace32sC1(uint32_t count, int32_t* srcDst, int32_t step, int32_t width, int32_t height);
int32_t shiftLeftConstInPlace32sC1(uint32_t count, int32_t* srcDst, int32_t step, int32_t width, int32_t height);
