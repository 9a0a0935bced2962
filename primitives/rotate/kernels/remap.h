// Coordinate-map row kernels of the SIMD processor paths: destination pixel
// i of a row takes the source at (xs[i], ys[i]), single-precision positions
// prepared by the caller (for instance by the perspective row generator).
// Each kernel exists in a plain kind and in a bounded kind that skips the
// pixels whose position lies outside an inclusive source rectangle. Also
// here: the single-pixel cubic evaluators and the perspective generator.
//
// Kernel arrays are indexed by the rotation kind code's combination,
// (code >> 3) * 6 + (code & 7). Source and destination are pixel (0, 0) of
// the source and the row's first destination pixel, or arrays of plane
// pointers for P3 and P4.
#pragma once

#include <cstdint>

// (source, source step, destination, xs, ys, count)
using RemapNearestFn = void (*)(const void*, int32_t, void*, const float*, const float*, int32_t);
// ... then the last source column and row that may be read.
using RemapLinearFn = void (*)(const void*, int32_t, void*, const float*, const float*, int32_t, int32_t, int32_t);
// ... then the rectangle xMin, yMin, xMax, yMax (inclusive).
using RemapBoundedFn = void (*)(const void*, int32_t, void*, const float*, const float*, int32_t, int32_t, int32_t,
                                int32_t, int32_t);

// One pixel, all channels, from the 4 x 4 window at `window`: 8u at the
// position (x, y) counted from window column and row 0, within 0..3.
using CubicPixel8uFn = void (*)(const uint8_t* window, int32_t rowStep, int32_t pixelStep, uint8_t* dst,
                                int32_t channels, double x, double y);
// Planar 8u: planes from the last to the first.
using CubicPixel8uPlanarFn = void (*)(const uint8_t* const* planes, int32_t rowStep, int32_t windowOffset,
                                      uint8_t* const* dstPlanes, int32_t dstOffset, int32_t planeCount, double x,
                                      double y);
// 32f: the position counted from window column and row 1; pixel step in
// samples.
using CubicPixel32fFn = void (*)(const float* window, int32_t rowStep, int32_t pixelStep, float* dst,
                                 int32_t channels, float x, float y);
using CubicPixel32fPlanarFn = void (*)(const float* const* planes, int32_t rowStep, int32_t windowOffset,
                                       float* const* dstPlanes, int32_t dstIndex, int32_t planeCount, float x,
                                       float y);

// Positions (x0 + i dx) / (d0 + i dd) and (y0 + i dy) / (d0 + i dd) of n
// pixels: n columns, then n rows, in `out`.
using PerspectiveRowFn = void (*)(float* out, int32_t n, double d0, double dd, double x0, double dx, double y0,
                                  double dy);

struct RemapKernels {
    RemapNearestFn nearest[18];
    RemapBoundedFn nearestBounded[18];
    RemapLinearFn linear[18];
    RemapBoundedFn linearBounded[18];
    CubicPixel8uFn cubicPixel8u;
    CubicPixel8uPlanarFn cubicPixel8uPlanar;
    CubicPixel32fFn cubicPixel32f;
    CubicPixel32fPlanarFn cubicPixel32fPlanar;
    PerspectiveRowFn perspectiveRow;
};

namespace prim::p1 { extern const RemapKernels remapKernels; }
namespace prim::p2 { extern const RemapKernels remapKernels; }
namespace prim::p3 { extern const RemapKernels remapKernels; }
namespace prim::p4 { extern const RemapKernels remapKernels; }
namespace prim::p5 { extern const RemapKernels remapKernels; }

// The set of paths 1-5 at their index; the generic path has none (entry 0
// is null).
extern const RemapKernels* const remapKernelSets[6];
