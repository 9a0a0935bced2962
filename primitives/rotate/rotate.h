// Rotation of an image region by an angle: right-angle turns by index
// arithmetic, every other angle through an affine warp with nearest, linear
// or cubic sampling, polygon clipping of the covered region and optional
// edge smoothing.
//
// Pixel kinds are told by a kind code, data type x 8 + layout:
//   data type 0 8u, 1 32f, 2 16u;
//   layout 0 C1, 1 C3, 2 AC4 (fourth sample neither read nor written),
//          3 P3, 4 C4, 5 P4 (planar: the pointer is an array of plane
//          pointers sharing one row step).
#pragma once

#include <cstdint>

#include "primitives/core/dispatch.h"
#include "primitives/core/prim_types.h"

// Statuses of the rotation beyond the shared ones.
enum : int32_t {
    primErrCoeff = -56,       // singular or non-finite mapping, degenerate or non-convex quadrilateral
    primErrWarpRect = -57,    // clipped source region narrower or lower than 2 pixels
    primWrnWrongIntersectQuad = 30, // the mapped region covers no destination pixel
};

// Affine mapping (x, y) -> (c00 x + c01 y + c02, c10 x + c11 y + c12).
struct WarpCoefficients {
    double c00, c01, c02, c10, c11, c12;
};

// Inclusive first and last destination column of one row; last < first is
// an empty row.
struct RowSpan {
    int32_t first, last;
};

// A point of the warp's polygons, in destination pixel coordinates.
struct WarpPoint {
    double x, y;
};

// Interpolation codes; the flag asks the warp for edge smoothing.
enum : int32_t {
    rotateNearest = 1,
    rotateLinear = 2,
    rotateCubic = 4,
};
constexpr uint32_t rotateSmoothEdges = 0x80000000u;

// True for the 18 kind codes 0-5, 8-13, 16-21.
inline bool validRotateKind(uint32_t code) { return (code >> 3) <= 2 && (code & 7) <= 5; }

// Turns the source region about source pixel (0, 0) by `angle` degrees
// (counter-clockwise on screen for positive angles), shifts it by
// (xShift, yShift) and writes it into the destination region; 8u C3 pixels.
int32_t rotateByAngle(const void* src, int32_t srcWidth, int32_t srcHeight, int32_t srcStep, int32_t srcX,
                      int32_t srcY, int32_t srcRoiWidth, int32_t srcRoiHeight, void* dst, int32_t dstStep,
                      int32_t dstX, int32_t dstY, int32_t dstRoiWidth, int32_t dstRoiHeight, double angle,
                      double xShift, double yShift, int32_t interpolation);

using RotateByAngleFn = int32_t (*)(const void*, int32_t, int32_t, int32_t, int32_t, int32_t, int32_t, int32_t, void*,
                                    int32_t, int32_t, int32_t, int32_t, int32_t, double, double, double, int32_t);
extern const RotateByAngleFn rotateByAngleTable[6];

// The body behind every path's entry, for any kind code.
using RotateByAngleBodyFn = int32_t (*)(const void*, int32_t, int32_t, int32_t, int32_t, int32_t, int32_t, int32_t,
                                        void*, int32_t, int32_t, int32_t, int32_t, int32_t, uint32_t, double, double,
                                        double, int32_t);
extern const RotateByAngleBodyFn rotateByAngleBodyTable[6];

// The warp driver of each path: draws the source region through the forward
// mapping `coeffs` into the destination region.
using WarpAffineDriverFn = int32_t (*)(const void*, int32_t, int32_t, int32_t, int32_t, int32_t, int32_t, int32_t,
                                       void*, int32_t, int32_t, int32_t, int32_t, int32_t, uint32_t,
                                       const WarpCoefficients*, int32_t);
extern const WarpAffineDriverFn warpAffineDriverTable[6];
