// General resize: a region of an image resized by a horizontal and a vertical
// factor with nearest, linear, cubic, Lanczos-3 or (for reductions)
// super-sampling interpolation. The cores are written once and take the row
// routines of the path they run for.
#pragma once

#include <cstdint>

#include "primitives/core/prim_types.h"
#include "primitives/resample/resize_rows.h"

// dst points at the destination region's first sample; steps in bytes.
int32_t resizeByFactors8uC1(const uint8_t* src, PrimSize srcSize, int32_t srcStep, PrimRect srcRoi, uint8_t* dst,
                            int32_t dstStep, PrimSize dstRoiSize, double xFactor, double yFactor,
                            int32_t interpolation);
int32_t resizeByFactors8uC3(const uint8_t* src, PrimSize srcSize, int32_t srcStep, PrimRect srcRoi, uint8_t* dst,
                            int32_t dstStep, PrimSize dstRoiSize, double xFactor, double yFactor,
                            int32_t interpolation);
int32_t resizeByFactors16uC1(const uint16_t* src, PrimSize srcSize, int32_t srcStep, PrimRect srcRoi, uint16_t* dst,
                             int32_t dstStep, PrimSize dstRoiSize, double xFactor, double yFactor,
                             int32_t interpolation);
int32_t resizeByFactors16uC3(const uint16_t* src, PrimSize srcSize, int32_t srcStep, PrimRect srcRoi, uint16_t* dst,
                             int32_t dstStep, PrimSize dstRoiSize, double xFactor, double yFactor,
                             int32_t interpolation);
int32_t resizeByFactors32fC3(const float* src, PrimSize srcSize, int32_t srcStep, PrimRect srcRoi, float* dst,
                             int32_t dstStep, PrimSize dstRoiSize, double xFactor, double yFactor,
                             int32_t interpolation);

using ResizeByFactors8uFn = int32_t (*)(const uint8_t*, PrimSize, int32_t, PrimRect, uint8_t*, int32_t, PrimSize,
                                        double, double, int32_t);
using ResizeByFactors16uFn = int32_t (*)(const uint16_t*, PrimSize, int32_t, PrimRect, uint16_t*, int32_t, PrimSize,
                                         double, double, int32_t);
using ResizeByFactors32fFn = int32_t (*)(const float*, PrimSize, int32_t, PrimRect, float*, int32_t, PrimSize, double,
                                         double, int32_t);

extern const ResizeByFactors8uFn resizeByFactors8uC1Table[6];
extern const ResizeByFactors8uFn resizeByFactors8uC3Table[6];
extern const ResizeByFactors16uFn resizeByFactors16uC1Table[6];
extern const ResizeByFactors16uFn resizeByFactors16uC3Table[6];
extern const ResizeByFactors32fFn resizeByFactors32fC3Table[6];

// Resizes so that the source point (xCenter, yCenter) lands on the middle of
// the destination image (destination = size / 2 + factor x (source - centre)).
int32_t resizeByFactorsCentered32fC1(const float* src, PrimSize srcSize, int32_t srcStep, PrimRect srcRoi, float* dst,
                                     int32_t dstStep, PrimSize dstSize, double xFactor, double yFactor, double xCenter,
                                     double yCenter, int32_t interpolation);
using ResizeByFactorsCentered32fFn = int32_t (*)(const float*, PrimSize, int32_t, PrimRect, float*, int32_t, PrimSize,
                                                 double, double, double, double, int32_t);
extern const ResizeByFactorsCentered32fFn resizeByFactorsCentered32fC1Table[6];

// The region step of the centred resize: the destination region the source
// region covers, the source region and sub-pixel shifts that belong to it.
int32_t resizeCenterRegion(int32_t srcWidth, int32_t srcHeight, int32_t roiX, int32_t roiY, int32_t roiWidth,
                           int32_t roiHeight, int32_t dstWidth, int32_t dstHeight, double xFactor, double yFactor,
                           double xCenter, double yCenter, PrimRect* dstRegion, PrimRect* srcRegion, double* xShift,
                           double* yShift);

// The checks both cores begin with, in their order: null pointers -8, bad
// sizes or a negative region origin -6, a region origin outside the source
// 29, an empty destination -6, a factor not above 0 -23 (NaN passes).
int32_t resizeGenCheck(const void* src, const void* dst, PrimSize srcSize, PrimRect srcRoi, PrimSize dstRoiSize,
                       double xFactor, double yFactor);

// The general core, with the row routines and Lanczos tap generator of the
// path it runs for. In planar layout src and dst are arrays of plane
// pointers. scaleMode 1: factors are scales; 0: source steps.
int32_t resizeGenCore(const ResizeRowRoutineTable& rows, LanczosWeightsFn lanczosWeights, const void* src,
                      PrimSize srcSize, int32_t srcStep, PrimRect srcRoi, void* dst, int32_t dstStep,
                      PrimSize dstRoiSize, double xFactor, double yFactor, double xShift, double yShift,
                      int32_t pixelStride, int32_t channelCount, int32_t dataKind, int32_t planar,
                      int32_t interpolation, int32_t scaleMode);

// The super-sampling core (area average; both factors in (0, 1]).
int32_t resizeGenSuperCore(const void* src, PrimSize srcSize, int32_t srcStep, PrimRect srcRoi, void* dst,
                           int32_t dstStep, PrimSize dstRoiSize, double xFactor, double yFactor, int32_t pixelStride,
                           int32_t channelCount, int32_t dataKind, int32_t planar);

// Adds `height` source rows into one row of accumulators (32-bit integers
// for the integer kinds, floats for 32f). The 3-sample forms take the pixel
// stride of source and accumulators last.
namespace prim::generic {
void accumulateRows8uPlane(const uint8_t* src, int32_t step, int32_t width, int32_t height, int32_t* acc);
void accumulateRows8uC4(const uint8_t* src, int32_t step, int32_t width, int32_t height, int32_t* acc);
void accumulateRows8uC3(const uint8_t* src, int32_t step, int32_t width, int32_t height, int32_t* acc, int32_t stride);
void accumulateRows16uPlane(const uint16_t* src, int32_t step, int32_t width, int32_t height, int32_t* acc);
void accumulateRows16uC4(const uint16_t* src, int32_t step, int32_t width, int32_t height, int32_t* acc);
void accumulateRows16uC3(const uint16_t* src, int32_t step, int32_t width, int32_t height, int32_t* acc,
                         int32_t stride);
void accumulateRows16sPlane(const int16_t* src, int32_t step, int32_t width, int32_t height, int32_t* acc);
void accumulateRows16sC4(const int16_t* src, int32_t step, int32_t width, int32_t height, int32_t* acc);
void accumulateRows16sC3(const int16_t* src, int32_t step, int32_t width, int32_t height, int32_t* acc, int32_t stride);
void accumulateRows32fPlane(const float* src, int32_t step, int32_t width, int32_t height, float* acc);
void accumulateRows32fC4(const float* src, int32_t step, int32_t width, int32_t height, float* acc);
void accumulateRows32fC3(const float* src, int32_t step, int32_t width, int32_t height, float* acc, int32_t stride);
} // namespace prim::generic
