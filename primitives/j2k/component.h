// Multiple-component transforms of JPEG 2000, in place on three planes that
// share one row step (bytes):
//   forwardRct32s  R, G, B  -> Y, Db, Dr   (reversible, 32-bit, wraps)
//   inverseRct32s  Y, Db, Dr -> R, G, B
//   inverseRct16s  Y, Db, Dr -> R, G, B    (16-bit, results wrap)
//   inverseIct32f  Y, Cb, Cr -> R, G, B    (float)
//   inverseIct16s  Y, Cb, Cr -> R, G, B    (16-bit, Q14 weights, saturates)
// Arguments: planes (array of three plane pointers), step, width, height.
// Status: -8 planes or a plane null, -14 step <= 0, -6 width or height <= 0;
// nothing is touched on an error.
//
// Every path gives the generic results except: the float ICT of paths 1..5
// rounds every operation to single precision (the generic form rounds once
// per result), and the 16-bit ICT of paths 1..5 rounds the green correction
// as Y - round(5638 Cb + 11700 Cr) where the generic form adds the rounded
// negative correction, so at an exact half their green is one lower.
#pragma once

#include <cstdint>

#include "primitives/core/dispatch.h"
#include "primitives/core/forms.h"
#include "primitives/core/prim_types.h"

#define VQ_J2K_COMPONENT_FORMS                                                           \
    int32_t forwardRct32s(int32_t* const* planes, int32_t step, int32_t width, int32_t height); \
    int32_t inverseRct32s(int32_t* const* planes, int32_t step, int32_t width, int32_t height); \
    int32_t inverseRct16s(int16_t* const* planes, int32_t step, int32_t width, int32_t height); \
    int32_t inverseIct32f(float* const* planes, int32_t step, int32_t width, int32_t height);   \
    int32_t inverseIct16s(int16_t* const* planes, int32_t step, int32_t width, int32_t height);

VQ_DECLARE_FORMS(VQ_J2K_COMPONENT_FORMS)

using Rct32sFn = int32_t (*)(int32_t* const*, int32_t, int32_t, int32_t);
using Planes16sFn = int32_t (*)(int16_t* const*, int32_t, int32_t, int32_t);
using Ict32fFn = int32_t (*)(float* const*, int32_t, int32_t, int32_t);

extern const Rct32sFn forwardRct32sTable[6];
extern const Rct32sFn inverseRct32sTable[6];
extern const Planes16sFn inverseRct16sTable[6];
extern const Ict32fFn inverseIct32fTable[6];
extern const Planes16sFn inverseIct16sTable[6];

int32_t forwardRct32s(int32_t* const planes[3], int32_t step, int32_t width, int32_t height);
int32_t inverseRct32s(int32_t* const planes[3], int32_t step, int32_t width, int32_t height);
int32_t inverseRct16s(int16_t* const planes[3], int32_t step, int32_t width, int32_t height);
int32_t inverseIct32f(float* const planes[3], int32_t step, int32_t width, int32_t height);
int32_t inverseIct16s(int16_t* const planes[3], int32_t step, int32_t width, int32_t height);
