// The row kernels of the processor paths' filter sets: the convolution
// step, which turns a row of samples into 32-bit tap sums, and the divide
// step, which turns sums into samples. The one-channel 8-bit pair serves the
// separable filters; the others (three- and four-channel 8-bit rows, 16-bit
// rows, four-channel output with the fourth byte kept, 16-bit output) no
// primitive of the system calls; they complete each path's set.
//
// Convolution (src, sums, width, taps, tapCount, accumulate): with d the
// distance between the samples one window combines (1 for one-channel and
// 16-bit rows, 3 and 4 for three- and four-channel pixels) and V the values
// (width times the channels), value j receives the sum over k < tapCount of
// T(k) x src[j + d k] (8-bit samples unsigned, 16-bit ones signed), wrapping
// in 32 bits; it is stored, or added to the sum there when accumulate is not
// 0. The taps are the packed table: entry i (16 bytes, 16-byte aligned) holds
// the 16-bit pair (T(2i), T(2i + 1)) four times, the last one (T(n-1), 0) for
// an odd count. The source holds the V + d (tapCount - 1) samples read.
//
// Divide (sums, count, dst, scale, shift): shift k from 1: the sum over 2^k
// rounded to nearest with ties to even (32 or more: 0); shift 0: the sum in
// single precision times the scale, rounded to nearest with ties to even.
// Then saturated: to 0..255, or to 16 bits. No sum wraps on the way: large
// sums saturate. The four-channel form converts count / 4 whole pixels,
// writes their first three bytes and leaves the fourth as it was.
#pragma once

#include <cstdint>

struct FilterKernelSet {
    void (*divideRow32sTo8u)(const int32_t* sums, int32_t count, uint8_t* dst, float scale, int32_t shift);
    void (*divideRow32sTo8uAC4)(const int32_t* sums, int32_t count, uint8_t* dst, float scale, int32_t shift);
    void (*convolveRow8uTo32s)(const uint8_t* src, int32_t* sums, int32_t width, const int32_t* taps, int32_t tapCount,
                               int32_t accumulate);
    void (*convolveRow8uTo32sC3)(const uint8_t* src, int32_t* sums, int32_t width, const int32_t* taps,
                                 int32_t tapCount, int32_t accumulate);
    void (*convolveRow8uTo32sC4)(const uint8_t* src, int32_t* sums, int32_t width, const int32_t* taps,
                                 int32_t tapCount, int32_t accumulate);
    void (*convolveRow16sTo32s)(const int16_t* src, int32_t* sums, int32_t width, const int32_t* taps,
                                int32_t tapCount, int32_t accumulate);
    void (*divideRow32sTo16s)(const int32_t* sums, int32_t count, int16_t* dst, float scale, int32_t shift);
};

namespace prim::p1 {
extern const FilterKernelSet filterKernels;
}

// The set of processor paths 1 to 5 (one code for all five); null for the
// generic path, which has none.
const FilterKernelSet* filterKernelSet(int path);
