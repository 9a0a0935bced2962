// Which destination pixels a warp writes: the mapped quadrilateral of the
// source region, its convexity, its clipping to the destination rectangle,
// the row spans of the clipped polygon, and the edge smoothing pass.
// Plain double arithmetic; every processor path uses these same routines.
#pragma once

#include <cstdint>

#include "primitives/rotate/rotate.h"

// A polygon buffer: a quadrilateral clipped by four lines has at most 8
// vertices, and each single-edge pass writes a closing copy of vertex 0.
constexpr int kWarpPolygonCapacity = 9;

// Forward images of the pixel centres (x0, y0), (x1, y0), (x1, y1), (x0, y1).
void mapRectCorners(const WarpCoefficients& c, int32_t x0, int32_t y0, int32_t x1, int32_t y1, WarpPoint out[4]);

// 0, or -6 for a bad rectangle, or -56 for a degenerate or non-convex result.
int32_t mapRoiQuad(int32_t x, int32_t y, int32_t width, int32_t height, WarpPoint out[4], const WarpCoefficients& c);

// 1 convex turning positively, 0 convex turning negatively, -4 turns of
// mixed sign, -5 a corner with a zero cross product.
int32_t checkConvexQuad(const WarpPoint quad[4]);

// Single-edge clippers: keep y >= bound, y <= bound, x >= bound, x <= bound.
// `in` needs room for one more vertex than *count.
void clipPolygonTopEdge(WarpPoint* in, WarpPoint* out, int32_t* count, double minY, int32_t bound);
void clipPolygonBottomEdge(WarpPoint* in, WarpPoint* out, int32_t* count, double maxY, int32_t bound);
void clipPolygonLeftEdge(WarpPoint* in, WarpPoint* out, int32_t* count, double minX, int32_t bound);
void clipPolygonRightEdge(WarpPoint* in, WarpPoint* out, int32_t* count, double maxX, int32_t bound);

// Clips the polygon in `poly` to the inclusive rectangle; the result stays
// in `poly`, the count becomes 0 when nothing is left.
void clipPolygonToRect(WarpPoint* poly, WarpPoint* scratch, int32_t* count, int32_t left, int32_t top,
                       int32_t right, int32_t bottom);

// Scan-converts a convex polygon into `rows` spans from the row of its top
// vertex on; `orientation` 1 when its vertices run clockwise on screen.
void fillConvexRowSpans(const WarpPoint* poly, int32_t count, int32_t orientation, RowSpan* spans, int32_t rows);

// 1 with a span list from allocVector32s (free it with freeVector) and its
// first and last row; 0 when the quadrilateral covers no whole row or column
// of the rectangle or the list cannot be allocated.
int32_t buildRowSpans(const WarpPoint quad[4], int32_t left, int32_t top, int32_t right, int32_t bottom,
                      int32_t orientation, RowSpan** spans, int32_t* firstRow, int32_t* lastRow);

// A = A * wA + B * wB for every channel of pixel A (1 for C1, 3 for C3 and
// P3, 4 for AC4, C4 and P4); 8u and 16u rounded half up, 32f to single.
void blendEdgePixel(void* dst, int32_t dstStep, uint32_t code, int32_t ax, int32_t ay, int32_t bx, int32_t by,
                    double wA, double wB);

// Softens the staircase along the slanted edges of the quadrilateral
// clipped to the rectangle; changes only pixels inside the rectangle.
void smoothWarpEdges(void* dst, int32_t dstStep, uint32_t code, const WarpPoint quad[4], int32_t left, int32_t top,
                     int32_t right, int32_t bottom, int32_t orientation);
