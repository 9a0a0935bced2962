// Area averaging (super-sampling) shared by both resize engines: the row
// accumulators that sum blocks of whole source rows column by column, the
// general engine's super-sampling workers, and the row padding of the
// square-pixel kernels. Each processor path contributes a set of
// accumulators and workers; paths whose arithmetic is the same share one set.
#pragma once

#include <cstdint>

#include "primitives/resample/resize_sq.h"

// Sums `height` rows of `width` pixels column by column into `sums` (32-bit
// integers for the integer kinds, floats for 32f): sums[x x slots + c] is the
// sum of sample c of pixel x. Callers clear `sums` first: the generic forms
// add to it, the SIMD forms store into it. The three-sample forms take the
// pixel stride last (slots per pixel; the fourth slot of a 4-stride pixel is
// left alone).
struct RowAccumulators {
    void (*plane8u)(const uint8_t*, int32_t step, int32_t width, int32_t height, int32_t* sums);
    void (*plane16u)(const uint16_t*, int32_t step, int32_t width, int32_t height, int32_t* sums);
    void (*plane16s)(const int16_t*, int32_t step, int32_t width, int32_t height, int32_t* sums);
    void (*plane32f)(const float*, int32_t step, int32_t width, int32_t height, float* sums);
    void (*c4_8u)(const uint8_t*, int32_t step, int32_t width, int32_t height, int32_t* sums);
    void (*c4_16u)(const uint16_t*, int32_t step, int32_t width, int32_t height, int32_t* sums);
    void (*c4_16s)(const int16_t*, int32_t step, int32_t width, int32_t height, int32_t* sums);
    void (*c4_32f)(const float*, int32_t step, int32_t width, int32_t height, float* sums);
    void (*c3_8u)(const uint8_t*, int32_t step, int32_t width, int32_t height, int32_t* sums, int32_t stride);
    void (*c3_16u)(const uint16_t*, int32_t step, int32_t width, int32_t height, int32_t* sums, int32_t stride);
    void (*c3_16s)(const int16_t*, int32_t step, int32_t width, int32_t height, int32_t* sums, int32_t stride);
    void (*c3_32f)(const float*, int32_t step, int32_t width, int32_t height, float* sums, int32_t stride);
};

// What the general engine's core hands a worker. `srcRows` bounds the rows
// read: footprint rows past the clipped region repeat its last row.
struct SuperSampleGeometry {
    int32_t srcColumns, srcRows;
    int32_t width, height;
    double xSpan, ySpan, areaScale;
    int32_t ratioMode; // bit 0: fractional rows, bit 1: fractional columns
};

// One worker: source at the region's first sample, destination, byte steps;
// pixelStride serves the three-sample layout. 0, or -9 when the sums buffer
// cannot be allocated (the destination is then untouched).
using SuperSampleWorkerFn = int32_t (*)(const void* src, void* dst, int32_t srcStep, int32_t dstStep,
                                        const SuperSampleGeometry& g, int32_t pixelStride);

// The general engine's super-sampling of one processor path: workers indexed
// by data kind (8u, 16u, 32f), then layout (one sample, four samples, three
// samples at a pixel stride).
struct SuperSampleSet {
    const RowAccumulators* accumulators;
    SuperSampleWorkerFn workers[3][3];
};

extern const SuperSampleSet* const resizeGenSuperSets[6];

// The super-sampling core with the workers of one path (resize_gen.h has the
// generic-path form).
int32_t resizeGenSuperCore(const SuperSampleSet& set, const void* src, PrimSize srcSize, int32_t srcStep,
                           PrimRect srcRoi, void* dst, int32_t dstStep, PrimSize dstRoiSize, double xFactor,
                           double yFactor, int32_t pixelStride, int32_t channelCount, int32_t dataKind,
                           int32_t planar);

// Extends a row of `count` pixels of 4-byte samples in place to `left`
// copies of its first pixel, the row, and `right` copies of its last pixel.
// The C3 form moves samples 0-2 of pixels `stride` samples apart.
void padRowReplicate32C1(void* row, int32_t count, int32_t left, int32_t right);
void padRowReplicate32C3(void* row, int32_t count, int32_t left, int32_t right, int32_t stride);
void padRowReplicate32C4(void* row, int32_t count, int32_t left, int32_t right);

// Bytes of the work area the square-pixel super-sampling kernels need for a
// padded row of `padded` pixels of `slots` entries, wholeY rows per block of
// `kind`; -1 when it does not fit 32 bits.
int64_t resizeSqSuperWorkBytes(int32_t padded, int32_t slots, int32_t wholeY, int32_t kind);

namespace prim::generic {
extern const RowAccumulators rowAccumulators;
extern const SuperSampleSet superSampleSet;
} // namespace prim::generic

// Path 1 (SSE2) has its own horizontal summation order and box kernels;
// paths 2-5 compute the same as one another and share the path-2 set.
namespace prim::p1 {
extern const RowAccumulators rowAccumulators;
extern const SuperSampleSet superSampleSet;
extern const SqSuperSampleWholeFn resizeSqSuperSampleWholeKernels[4][3];
extern const SqBoxSumFn resizeSqBoxSumTable[16];
} // namespace prim::p1

namespace prim::p2 {
extern const SuperSampleSet superSampleSet;
extern const ResizeSqKernels resizeSqKernels;
extern const SqSuperSampleWholeFn resizeSqSuperSampleWholeKernels[4][3];
extern const SqBoxSumFn resizeSqBoxSumTable[16];
} // namespace prim::p2
