// Square-pixel resize: maps a source region into a destination region through
// a factor and a shift per axis (destination = source x factor + shift) with
// nearest, linear, four cubic or Lanczos-3 interpolation. The tile pyramid
// halves every merged 2 x 2 quad with it (factors 0.5, shifts 0).
//
// One engine serves every processor path: the parameter step and the body are
// written once and take a per-path kernel set (row routines, border kernels,
// weight generators, element moves), so a path contributes only its kernels.
#pragma once

#include <cstdint>

#include "primitives/core/prim_types.h"
#include "primitives/resample/resize_rows.h"

// ---------------------------------------------------------------------------
// Public primitives.

// Work-buffer size in bytes for a resize with these regions, channel count
// (1, 3 or 4) and interpolation; a buffer of this size serves every path.
int32_t resizeSquarePixelGetBufferSize(PrimRect srcRoi, PrimRect dstRoi, int32_t channels, int32_t interpolation,
                                       int32_t* size);

// src and dst are image origins (pixel (0, 0)), steps in bytes; the source
// region is clipped to the source image, the destination region must lie
// inside the destination image. buffer: at least the queried size.
int32_t resizeSquarePixel8uC1(const uint8_t* src, PrimSize srcSize, int32_t srcStep, PrimRect srcRoi, uint8_t* dst,
                              int32_t dstStep, PrimRect dstRoi, double xFactor, double yFactor, double xShift,
                              double yShift, int32_t interpolation, void* buffer);
int32_t resizeSquarePixel8uC3(const uint8_t* src, PrimSize srcSize, int32_t srcStep, PrimRect srcRoi, uint8_t* dst,
                              int32_t dstStep, PrimRect dstRoi, double xFactor, double yFactor, double xShift,
                              double yShift, int32_t interpolation, void* buffer);
int32_t resizeSquarePixel16uC1(const uint16_t* src, PrimSize srcSize, int32_t srcStep, PrimRect srcRoi, uint16_t* dst,
                               int32_t dstStep, PrimRect dstRoi, double xFactor, double yFactor, double xShift,
                               double yShift, int32_t interpolation, void* buffer);
int32_t resizeSquarePixel16uC3(const uint16_t* src, PrimSize srcSize, int32_t srcStep, PrimRect srcRoi, uint16_t* dst,
                               int32_t dstStep, PrimRect dstRoi, double xFactor, double yFactor, double xShift,
                               double yShift, int32_t interpolation, void* buffer);

using ResizeSquarePixel8uFn = int32_t (*)(const uint8_t*, PrimSize, int32_t, PrimRect, uint8_t*, int32_t, PrimRect,
                                          double, double, double, double, int32_t, void*);
using ResizeSquarePixel16uFn = int32_t (*)(const uint16_t*, PrimSize, int32_t, PrimRect, uint16_t*, int32_t, PrimRect,
                                           double, double, double, double, int32_t, void*);
using ResizeSquarePixelGetBufferSizeFn = int32_t (*)(PrimRect, PrimRect, int32_t, int32_t, int32_t*);

extern const ResizeSquarePixel8uFn resizeSquarePixel8uC1Table[6];
extern const ResizeSquarePixel8uFn resizeSquarePixel8uC3Table[6];
extern const ResizeSquarePixel16uFn resizeSquarePixel16uC1Table[6];
extern const ResizeSquarePixel16uFn resizeSquarePixel16uC3Table[6];
extern const ResizeSquarePixelGetBufferSizeFn resizeSquarePixelGetBufferSizeTable[6];

// ---------------------------------------------------------------------------
// Engine.

// Result of the parameter step: the destination region to fill and the
// inverse mapping (source = destination x inverse factor + offset).
struct ResizeSqParams {
    int32_t regionX, regionY, regionWidth, regionHeight;
    double invXFactor, invYFactor;
    double srcOffsetX, srcOffsetY;
    double areaFactor;                               // xFactor x yFactor for super-sampling, else 0
    double edgeLeft, edgeRight, edgeTop, edgeBottom; // mapped source region, clipped
    int32_t interpolationCode;                       // after the narrow-source fallback, no flags
    uint32_t blendEdges;                             // resizeEdgeBlend or 0
    uint32_t fadeEdges;                              // resizeEdgeFade or 0
};

// Border kernels write the frame of the region whose taps leave the source
// image, repeating the image's edge samples; the interior is left alone.
// Plane members ignore the last two arguments (pixelStride, channels).
using SqBorderLinearFn = void (*)(const void* src, void* dst, int32_t srcStep, int32_t dstStep, int32_t srcWidth,
                                  int32_t srcHeight, int32_t width, int32_t height, const int32_t* rowOffsets,
                                  const int32_t* colOffsets, const void* rowWeights, const void* colWeights,
                                  int32_t top, int32_t bottom, int32_t left, int32_t right, int32_t pixelStride,
                                  int32_t channels);
using SqBorderCubicFn = void (*)(const void* src, void* dst, int32_t srcStep, int32_t dstStep, int32_t srcWidth,
                                 int32_t srcHeight, int32_t width, int32_t height, const int32_t* rowOffsets,
                                 const int32_t* colOffsets, const float* rowWeights, const float* colWeights,
                                 int32_t t1, int32_t b1, int32_t l1, int32_t r1, int32_t t2, int32_t b2, int32_t l2,
                                 int32_t r2, int32_t pixelStride, int32_t channels);
using SqBorderLanczosFn = void (*)(const void* src, void* dst, int32_t srcStep, int32_t dstStep, int32_t srcWidth,
                                   int32_t srcHeight, int32_t width, int32_t height, const int32_t* rowOffsets,
                                   const int32_t* colOffsets, const float* colTaps, const float* rowTaps, int32_t t1,
                                   int32_t b1, int32_t l1, int32_t r1, int32_t t2, int32_t b2, int32_t l2, int32_t r2,
                                   int32_t t3, int32_t b3, int32_t l3, int32_t r3, int32_t pixelStride,
                                   int32_t channels);
// Four (cubic) or six (Lanczos) float weights per fraction.
using SqWeightsFn = void (*)(const float* fractions, int32_t count, float* weights);
// Overlapping element moves; -8 null pointer, -6 count below 1.
using ElementMoveFn = int32_t (*)(const void* from, void* to, int32_t count);

// Edge post-pass: writes the frame of partly covered pixels around a region
// (pointer at its first pixel) from the mapped source's clipped edges.
using SqEdgePassFn = void (*)(void* region, int32_t step, int32_t width, int32_t height, double edgeLeft,
                              double edgeRight, double edgeTop, double edgeBottom);

// Super-sampling kernels: the whole region from the source pixel at the
// footprint's first column and row inside the image; pads count footprint
// columns and rows past the image edges, which repeat the edge. The whole-
// ratio form has no first weights. pixelStride serves the 3-sample layout.
using SqSuperSampleFn = void (*)(const void* src, void* dst, int32_t srcStep, int32_t dstStep, int32_t srcColumns,
                                 int32_t width, int32_t height, int32_t topPad, int32_t bottomPad, int32_t leftPad,
                                 int32_t rightPad, double firstColumnWeight, double firstRowWeight, double xRatio,
                                 double yRatio, double area, int32_t pixelStride, void* buffer);
using SqSuperSampleWholeFn = void (*)(const void* src, void* dst, int32_t srcStep, int32_t dstStep, int32_t srcColumns,
                                      int32_t width, int32_t height, int32_t topPad, int32_t bottomPad, int32_t leftPad,
                                      int32_t rightPad, double xRatio, double yRatio, double area, int32_t pixelStride,
                                      void* buffer);

// Box sum of a float plane for whole ratios A x B (each 2, 4, 8 or 16) over a
// region inside the image: `width` x `height` outputs from B x height rows.
using SqBoxSumFn = void (*)(const void* src, void* dst, int32_t srcStep, int32_t dstStep, int32_t width,
                            int32_t height, double area);

// What one processor path contributes to the square-pixel engine. Each
// member points at a table of kernels; border kernels are indexed by data
// kind (8u, 16u, 32f, 16s). A path points at another path's (or the generic)
// table wherever its kernels would compute the same.
struct ResizeSqKernels {
    const ResizeRowRoutineTable* rows;
    const SqBorderLinearFn* borderLinearPlane;
    const SqBorderLinearFn* borderLinearPixel;
    const SqBorderCubicFn* borderCubicPlane;
    const SqBorderCubicFn* borderCubicPixel;
    const SqBorderLanczosFn* borderLanczosPlane;
    const SqBorderLanczosFn* borderLanczosPixel;
    const SqWeightsFn* cubicWeights; // codes 4, 5, 6, 7
    SqWeightsFn lanczosWeights;
    ElementMoveFn move16s;
    ElementMoveFn move32s;
    // Indexed 8uC1, 16uC1, 8uC3, 16uC3.
    const SqEdgePassFn* edgeBlend;
    const SqEdgePassFn* edgeFade;
    // Indexed by data kind, then layout: plane, four channels, three samples.
    const SqSuperSampleFn (*superSample)[3];
    const SqSuperSampleWholeFn (*superSampleWhole)[3];
};

extern const ResizeSqKernels* const resizeSqKernelSets[6];

// The parameter step (the same results on every path).
int32_t resizeSqSetup(const void* src, int32_t srcWidth, int32_t srcHeight, int32_t srcRoiX, int32_t srcRoiY,
                      int32_t srcRoiWidth, int32_t srcRoiHeight, const void* dst, int32_t dstRoiX, int32_t dstRoiY,
                      int32_t dstRoiWidth, int32_t dstRoiHeight, double xFactor, double yFactor, double xShift,
                      double yShift, int32_t interpolation, const void* buffer, ResizeSqParams* params);

// The body: fills the region of a successful parameter step. In planar
// layout src and dst are arrays of plane pointers. 0, or -9 when the work
// row of super-sampling cannot be allocated (nothing is then written).
int32_t resizeSqBody(const ResizeSqKernels& kernels, const void* src, int32_t srcWidth, int32_t srcHeight,
                     int32_t srcStep, void* dst, int32_t dstStep, int32_t regionX, int32_t regionY, int32_t regionWidth,
                     int32_t regionHeight, double invXFactor, double invYFactor, double srcOffsetX, double srcOffsetY,
                     double areaFactor, int32_t interpolation, void* buffer, int32_t pixelStride, int32_t channelCount,
                     int32_t dataKind, int32_t planar);

namespace prim::generic {

extern const ResizeSqKernels resizeSqKernels;

int32_t resizeSquarePixelGetBufferSize(PrimRect srcRoi, PrimRect dstRoi, int32_t channels, int32_t interpolation,
                                       int32_t* size);

extern const SqSuperSampleFn resizeSqSuperSampleKernels[4][3];
extern const SqSuperSampleWholeFn resizeSqSuperSampleWholeKernels[4][3];
// Whole ratio 2, 4, 8 or 16 to its box-sum group (others -1); the box sums
// of a float plane at slot 4 x horizontal group + vertical group.
extern const int32_t resizeSqBoxSumGroups[17];
extern const SqBoxSumFn resizeSqBoxSumTable[16];

// The generic kernel tables that the path kernel sets share until a path
// has its own.
extern const SqBorderLinearFn resizeSqBorderLinearPlane[4];
extern const SqBorderLinearFn resizeSqBorderLinearPixel[4];
extern const SqBorderCubicFn resizeSqBorderCubicPlane[4];
extern const SqBorderCubicFn resizeSqBorderCubicPixel[4];
extern const SqBorderLanczosFn resizeSqBorderLanczosPlane[4];
extern const SqBorderLanczosFn resizeSqBorderLanczosPixel[4];
extern const SqWeightsFn resizeSqCubicWeights[4];
extern const SqEdgePassFn resizeSqEdgeBlend[4];
extern const SqEdgePassFn resizeSqEdgeFade[4];

int32_t moveVector16s(const void* from, void* to, int32_t count);
int32_t moveVector32s(const void* from, void* to, int32_t count);

void resizeSqCubicWeightsLagrange(const float* fractions, int32_t count, float* weights);
void resizeSqCubicWeightsBSpline(const float* fractions, int32_t count, float* weights);
void resizeSqCubicWeightsCatmullRom(const float* fractions, int32_t count, float* weights);
void resizeSqCubicWeightsB05C03(const float* fractions, int32_t count, float* weights);

void resizeSqEdgeBlend8uC1(void*, int32_t, int32_t, int32_t, double, double, double, double);
void resizeSqEdgeFade8uC1(void*, int32_t, int32_t, int32_t, double, double, double, double);
void resizeSqEdgeBlend8uC3(void*, int32_t, int32_t, int32_t, double, double, double, double);
void resizeSqEdgeFade8uC3(void*, int32_t, int32_t, int32_t, double, double, double, double);
void resizeSqEdgeBlend16uC1(void*, int32_t, int32_t, int32_t, double, double, double, double);
void resizeSqEdgeFade16uC1(void*, int32_t, int32_t, int32_t, double, double, double, double);
void resizeSqEdgeBlend16uC3(void*, int32_t, int32_t, int32_t, double, double, double, double);
void resizeSqEdgeFade16uC3(void*, int32_t, int32_t, int32_t, double, double, double, double);

} // namespace prim::generic
