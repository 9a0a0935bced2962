// The row-routine tables and square-pixel kernel sets of processor paths 1-5.
//
// The SIMD families are written once (resample_simd.inl) and compiled per
// path in resample_p<N>.cpp. A path whose code would compute exactly what
// another path's computes points at that path's instantiation:
//   - path 2 (SSE3) runs the path-1 (SSE2) code: its families use no SSE3
//     instruction and give path 1's results;
//   - path 5 (AVX-capable) runs the path-4 (SSE4.1) code: it uses SSE4.1
//     instructions at most.
#pragma once

#include "primitives/resample/resize_rows.h"
#include "primitives/resample/resize_sq.h"

namespace prim::p1 {
extern const ResizeRowRoutineTable resizeRowRoutineTable;
extern const ResizeSqKernels resizeSqKernels;
void lanczos3Weights(const float* fractions, int32_t count, float* taps);
} // namespace prim::p1

namespace prim::p3 {
extern const ResizeRowRoutineTable resizeRowRoutineTable;
extern const ResizeSqKernels resizeSqKernels;
void lanczos3Weights(const float* fractions, int32_t count, float* taps);
} // namespace prim::p3

namespace prim::p4 {
extern const ResizeRowRoutineTable resizeRowRoutineTable;
extern const ResizeSqKernels resizeSqKernels;
void lanczos3Weights(const float* fractions, int32_t count, float* taps);
} // namespace prim::p4
