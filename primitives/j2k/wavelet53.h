// Reversible 5/3 lifting (integer) over the interior of signals: the caller
// supplies every neighbour read outside the stretch it passes and handles the
// signal ends. Forward on 32-bit samples; inverse on 32-bit and 16-bit ones.
//
//   forward: d[k] = x[2k+1] - ((x[2k] + x[2k+2]) >> 1)
//            s[k] = x[2k]   + ((d[k-1] + d[k] + 2) >> 2)
//   inverse: x[2k]   = s[k] - ((d[k-1] + d[k] + 2) >> 2)
//            x[2k+1] = d[k] + ((x[2k] + x[2k+2]) >> 1)
// 32-bit sums wrap modulo 2^32; 16-bit results (and the even values that enter
// a further sum) wrap modulo 2^16. Every path gives the generic results for
// every input.
//
// Columns: each argument is one row of `len` samples; columns are independent.
//   forwardWavelet53Columns32s(even0, odd, even1, low*, highPrev, high*, len)
//   inverseWavelet53Columns32s(low, highPrev, high, evenPrev, odd*, even*, len)
// Rows (steps in bytes, width = pairs per row, phase 0: first sample at a
// low-pass position, else at a high-pass one):
//   forwardWavelet53Rows32s(src, srcStep, low*, lowStep, high*, highStep, width, height, phase)
//     reads x[-2..2w] (phase 0) or x[-1..2w+1]
//   inverseWavelet53Rows32s(low, lowStep, high, highStep, width, height, dst*, dstStep, phase)
//     reads low[0..w], high[-1..w] (phase 0) or low[-1..w-1], high[-1..w]
// (* written). Status: -8 a null pointer (argument order), -14 a step <= 0,
// -6 height then width (or len) <= 0; nothing is touched on an error.
// Outputs must not overlap inputs.
#pragma once

#include <cstdint>

#include "primitives/core/dispatch.h"
#include "primitives/core/forms.h"
#include "primitives/core/prim_types.h"

#define VQ_J2K_WAVELET53_FORMS                                                                                  \
    int32_t forwardWavelet53Columns32s(const int32_t* even0, const int32_t* odd, const int32_t* even1,         \
                                       int32_t* low, const int32_t* highPrev, int32_t* high, int32_t len);     \
    int32_t inverseWavelet53Columns32s(const int32_t* low, const int32_t* highPrev, const int32_t* high,       \
                                       const int32_t* evenPrev, int32_t* odd, int32_t* even, int32_t len);     \
    int32_t forwardWavelet53Rows32s(const int32_t* src, int32_t srcStep, int32_t* low, int32_t lowStep,        \
                                    int32_t* high, int32_t highStep, int32_t width, int32_t height,            \
                                    int32_t phase);                                                            \
    int32_t inverseWavelet53Rows32s(const int32_t* low, int32_t lowStep, const int32_t* high, int32_t highStep, \
                                    int32_t width, int32_t height, int32_t* dst, int32_t dstStep, int32_t phase); \
    int32_t inverseWavelet53Columns16s(const int16_t* low, const int16_t* highPrev, const int16_t* high,       \
                                       const int16_t* evenPrev, int16_t* odd, int16_t* even, int32_t len);     \
    int32_t inverseWavelet53Rows16s(const int16_t* low, int32_t lowStep, const int16_t* high, int32_t highStep, \
                                    int32_t width, int32_t height, int16_t* dst, int32_t dstStep, int32_t phase);

VQ_DECLARE_FORMS(VQ_J2K_WAVELET53_FORMS)

using FwdColumns53Fn = int32_t (*)(const int32_t*, const int32_t*, const int32_t*, int32_t*, const int32_t*,
                                   int32_t*, int32_t);
using InvColumns53Fn = int32_t (*)(const int32_t*, const int32_t*, const int32_t*, const int32_t*, int32_t*,
                                   int32_t*, int32_t);
using FwdRows53Fn = int32_t (*)(const int32_t*, int32_t, int32_t*, int32_t, int32_t*, int32_t, int32_t, int32_t,
                                int32_t);
using InvRows53Fn = int32_t (*)(const int32_t*, int32_t, const int32_t*, int32_t, int32_t, int32_t, int32_t*,
                                int32_t, int32_t);
using InvColumns53x16Fn = int32_t (*)(const int16_t*, const int16_t*, const int16_t*, const int16_t*, int16_t*,
                                      int16_t*, int32_t);
using InvRows53x16Fn = int32_t (*)(const int16_t*, int32_t, const int16_t*, int32_t, int32_t, int32_t, int16_t*,
                                   int32_t, int32_t);

extern const FwdColumns53Fn forwardWavelet53Columns32sTable[6];
extern const InvColumns53Fn inverseWavelet53Columns32sTable[6];
extern const FwdRows53Fn forwardWavelet53Rows32sTable[6];
extern const InvRows53Fn inverseWavelet53Rows32sTable[6];
extern const InvColumns53x16Fn inverseWavelet53Columns16sTable[6];
extern const InvRows53x16Fn inverseWavelet53Rows16sTable[6];

int32_t forwardWavelet53Columns32s(const int32_t* even0, const int32_t* odd, const int32_t* even1, int32_t* low,
                                   const int32_t* highPrev, int32_t* high, int32_t len);
int32_t inverseWavelet53Columns32s(const int32_t* low, const int32_t* highPrev, const int32_t* high,
                                   const int32_t* evenPrev, int32_t* odd, int32_t* even, int32_t len);
int32_t forwardWavelet53Rows32s(const int32_t* src, int32_t srcStep, int32_t* low, int32_t lowStep, int32_t* high,
                                int32_t highStep, int32_t width, int32_t height, int32_t phase);
int32_t inverseWavelet53Rows32s(const int32_t* low, int32_t lowStep, const int32_t* high, int32_t highStep,
                                int32_t width, int32_t height, int32_t* dst, int32_t dstStep, int32_t phase);
int32_t inverseWavelet53Columns16s(const int16_t* low, const int16_t* highPrev, const int16_t* high,
                                   const int16_t* evenPrev, int16_t* odd, int16_t* even, int32_t len);
int32_t inverseWavelet53Rows16s(const int16_t* low, int32_t lowStep, const int16_t* high, int32_t highStep,
                                int32_t width, int32_t height, int16_t* dst, int32_t dstStep, int32_t phase);
