// Irreversible 9/7 lifting over the interior of signals; the caller supplies
// every neighbour outside the stretch it passes and handles the signal ends.
//
// Forward (float): the steps a = x + alpha(..), b = x + beta(..), c = a +
// gamma(..), d = b + delta(..) over neighbours, then low = d / K, high = c K.
//   forwardWavelet97Columns32f(in0, in1, in2, low, bNew, high, cNew, aNew, width)
//     one column-pipeline stage: with the rows at positions 2m, 2m+1, 2m+2
//     as in0..in2, `low` holding b(2m-2), `high` c(2m-3) and `cNew` a(2m-1),
//     it writes aNew = a(2m+1), bNew = b(2m), cNew = c(2m-1), and finishes
//     low (2m-2) and high (2m-3). bNew may share in0's buffer and aNew in1's.
//   forwardWavelet97Rows32f(src, srcStep, low, lowStep, high, highStep, width, height, phase)
//     reads src[-4 .. 2w+2] (phase 0) or src[-3 .. 2w+3] (other phases).
// Inverse (float and 16-bit fixed point):
//   inverseWavelet97Columns32f / 16s(low, highAbove, highBelow, evenFinished,
//     oddPending, evenPending, oddNew, evenNew, width): one column step; it
//     writes evenNew and oddNew and finishes evenPending and oddPending.
//   inverseWavelet97Rows32f / 16s(low, lowStep, high, highStep, width, height, dst, dstStep, phase)
//     reads L[-1 .. w+1], H[-2 .. w+1] (phase 0) or L[-2 .. w], H[-2 .. w+1];
//     a width of 1 uses the direct synthesis filter instead of lifting.
// Steps in bytes; width counts pairs (rows) or samples (columns). Status: -8
// a null pointer (argument order), -14 a step <= 0, -6 a size <= 0; nothing
// is touched on an error. Outputs must not overlap inputs.
//
// Precision: the generic float forms carry every formula in double precision
// and round when they store; paths 1..5 round every operation to single
// precision, so results differ in the last bits. The 16-bit forms use
// constants in units of 1/65536 with exact sums and products, one rounding
// per step and a saturated 16-bit result, on every path alike.
#pragma once

#include <cstdint>

#include "primitives/core/dispatch.h"
#include "primitives/core/forms.h"
#include "primitives/core/prim_types.h"

#define VQ_J2K_WAVELET97_FORMS                                                                                  \
    int32_t forwardWavelet97Columns32f(const float* in0, const float* in1, const float* in2, float* low,      \
                                       float* bNew, float* high, float* cNew, float* aNew, int32_t width);    \
    int32_t forwardWavelet97Rows32f(const float* src, int32_t srcStep, float* low, int32_t lowStep,          \
                                    float* high, int32_t highStep, int32_t width, int32_t height,            \
                                    int32_t phase);                                                          \
    int32_t inverseWavelet97Columns32f(const float* low, const float* highAbove, const float* highBelow,     \
                                       const float* evenFinished, float* oddPending, float* evenPending,     \
                                       float* oddNew, float* evenNew, int32_t width);                        \
    int32_t inverseWavelet97Columns16s(const int16_t* low, const int16_t* highAbove, const int16_t* highBelow, \
                                       const int16_t* evenFinished, int16_t* oddPending, int16_t* evenPending, \
                                       int16_t* oddNew, int16_t* evenNew, int32_t width);                    \
    int32_t inverseWavelet97Rows32f(const float* low, int32_t lowStep, const float* high, int32_t highStep,  \
                                    int32_t width, int32_t height, float* dst, int32_t dstStep, int32_t phase); \
    int32_t inverseWavelet97Rows16s(const int16_t* low, int32_t lowStep, const int16_t* high, int32_t highStep, \
                                    int32_t width, int32_t height, int16_t* dst, int32_t dstStep, int32_t phase);

VQ_DECLARE_FORMS(VQ_J2K_WAVELET97_FORMS)

using FwdColumns97Fn = int32_t (*)(const float*, const float*, const float*, float*, float*, float*, float*,
                                   float*, int32_t);
using FwdRows97Fn = int32_t (*)(const float*, int32_t, float*, int32_t, float*, int32_t, int32_t, int32_t, int32_t);
using InvColumns97Fn = int32_t (*)(const float*, const float*, const float*, const float*, float*, float*,
                                   float*, float*, int32_t);
using InvColumns97x16Fn = int32_t (*)(const int16_t*, const int16_t*, const int16_t*, const int16_t*, int16_t*,
                                      int16_t*, int16_t*, int16_t*, int32_t);
using InvRows97Fn = int32_t (*)(const float*, int32_t, const float*, int32_t, int32_t, int32_t, float*, int32_t,
                                int32_t);
using InvRows97x16Fn = int32_t (*)(const int16_t*, int32_t, const int16_t*, int32_t, int32_t, int32_t, int16_t*,
                                   int32_t, int32_t);

extern const FwdColumns97Fn forwardWavelet97Columns32fTable[6];
extern const FwdRows97Fn forwardWavelet97Rows32fTable[6];
extern const InvColumns97Fn inverseWavelet97Columns32fTable[6];
extern const InvColumns97x16Fn inverseWavelet97Columns16sTable[6];
extern const InvRows97Fn inverseWavelet97Rows32fTable[6];
extern const InvRows97x16Fn inverseWavelet97Rows16sTable[6];

int32_t forwardWavelet97Columns32f(const float* in0, const float* in1, const float* in2, float* low, float* bNew,
                                   float* high, float* cNew, float* aNew, int32_t width);
int32_t forwardWavelet97Rows32f(const float* src, int32_t srcStep, float* low, int32_t lowStep, float* high,
                                int32_t highStep, int32_t width, int32_t height, int32_t phase);
int32_t inverseWavelet97Columns32f(const float* low, const float* highAbove, const float* highBelow,
                                   const float* evenFinished, float* oddPending, float* evenPending, float* oddNew,
                                   float* evenNew, int32_t width);
int32_t inverseWavelet97Columns16s(const int16_t* low, const int16_t* highAbove, const int16_t* highBelow,
                                   const int16_t* evenFinished, int16_t* oddPending, int16_t* evenPending,
                                   int16_t* oddNew, int16_t* evenNew, int32_t width);
int32_t inverseWavelet97Rows32f(const float* low, int32_t lowStep, const float* high, int32_t highStep,
                                int32_t width, int32_t height, float* dst, int32_t dstStep, int32_t phase);
int32_t inverseWavelet97Rows16s(const int16_t* low, int32_t lowStep, const int16_t* high, int32_t highStep,
                                int32_t width, int32_t height, int16_t* dst, int32_t dstStep, int32_t phase);
