// Separable 8-bit filters: a row filter and a column filter with an integer
// kernel, an anchor and a divisor (the two halves of the unsharp mask's blur).
//
// Tap j meets the source pixel anchor - j places to the right (row filter)
// or rows below (column filter) of the computed pixel: a true convolution.
// Sums are 32-bit and wrap. A sum S becomes a pixel by the divisor:
//   1: S clamped to 0..255;
//   2^k (k 1..30): S / 2^k rounded to nearest, ties to even, clamped;
//   any other (negative ones included): S times the reciprocal, rounded to
//   nearest with ties to even and clamped. The generic path forms the
//   reciprocal and the product in double precision; the processor paths in
//   single precision (the reciprocal as 1.0f / float(divisor)), so where a
//   quotient lies at or within float rounding of a half (even divisors that
//   are not powers of two) they can differ by 1 (divisor 14, sum 91: 6 on
//   the generic path, 7 on the others). Odd divisors below 2^24 with sums
//   inside the 8-bit range, such as the blur's 9, give the same pixels.
// The processor paths clamp every sum as the generic path does, also sums
// near the 32-bit limits.
//
// Status, first failing check: -8 null source, destination or kernel; -6
// width, height or kernel size 0 or less; -51 divisor 0; -14 a step too small
// (row filter: source step below width + kernelSize - 1, destination step
// below width; column filter: either step below width; computed in 64 bits).
// The caller keeps the window readable: row filter, bytes anchor -
// kernelSize + 1 to width - 1 + anchor of every row; column filter,
// kernelSize - 1 - anchor rows above and anchor rows below the region.
// Source and destination must not overlap.
#pragma once

#include <cstdint>

#include "primitives/core/dispatch.h"
#include "primitives/core/forms.h"
#include "primitives/core/prim_types.h"

constexpr int32_t primErrDivisor = -51;

using FilterRow8uFn = int32_t (*)(const uint8_t* src, int32_t srcStep, uint8_t* dst, int32_t dstStep, PrimSize roi,
                                  const int32_t* kernel, int32_t kernelSize, int32_t anchor, int32_t divisor);
using FilterColumn8uFn = int32_t (*)(const uint8_t* src, int32_t srcStep, uint8_t* dst, int32_t dstStep,
                                     int32_t width, int32_t height, const int32_t* kernel, int32_t kernelSize,
                                     int32_t anchor, int32_t divisor);

#define VQ_IMAGE_FILTER_FORMS                                                                                  \
    int32_t filterRow8uC1(const uint8_t* src, int32_t srcStep, uint8_t* dst, int32_t dstStep, PrimSize roi,    \
                          const int32_t* kernel, int32_t kernelSize, int32_t anchor, int32_t divisor);         \
    int32_t filterColumn8uC1(const uint8_t* src, int32_t srcStep, uint8_t* dst, int32_t dstStep, int32_t width, \
                             int32_t height, const int32_t* kernel, int32_t kernelSize, int32_t anchor,         \
                             int32_t divisor);

VQ_DECLARE_FORMS(VQ_IMAGE_FILTER_FORMS)

extern const FilterRow8uFn filterRow8uC1Table[6];
extern const FilterColumn8uFn filterColumn8uC1Table[6];

int32_t filterRow8uC1(const uint8_t* src, int32_t srcStep, uint8_t* dst, int32_t dstStep, PrimSize roi,
                      const int32_t* kernel, int32_t kernelSize, int32_t anchor, int32_t divisor);
int32_t filterColumn8uC1(const uint8_t* src, int32_t srcStep, uint8_t* dst, int32_t dstStep, int32_t width,
                         int32_t height, const int32_t* kernel, int32_t kernelSize, int32_t anchor, int32_t divisor);

// Work memory of the processor paths' packed routes, in 4-byte elements,
// computed in 64 bits: the row filter's packed kernel and sum row, and the
// column filter's tap table and two sum rows.
int64_t filterRowWorkElements(int32_t width, int32_t kernelSize);
int64_t filterColumnWorkElements(int32_t width, int32_t kernelSize);
// A block of that many elements, or null (the direct route then runs) when
// the count is not positive, does not fit the allocator's 32-bit count, or
// the allocation fails.
int32_t* allocFilterWork(int64_t elements);
