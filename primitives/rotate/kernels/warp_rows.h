// Row kernels of the warp: one call draws every covered pixel of a band of
// destination rows. Arguments: source (pixel (0, 0), or the array of plane
// pointers), destination (column 0 of the first row, or the array of plane
// pointers at that row), source step, destination step, first and last
// destination row, the spans (one per row), the inverse coefficients
// (destination to source), the last source column and row of the whole
// image, and the cubic work buffer (two floats per destination column, SIMD
// paths only).
#pragma once

#include <cstdint>

#include "primitives/rotate/rotate.h"

using WarpRowKernel = void (*)(const void*, void*, int32_t, int32_t, int32_t, int32_t, const RowSpan*,
                               const WarpCoefficients*, int32_t, int32_t, float*);

// Entry ((code >> 3) * 6 + (code & 7)) * 3 + column, column 0 nearest,
// 1 linear, 2 cubic.
constexpr int kWarpRowKernelCount = 54;

// The 14-bit Lagrange weight pairs of the SIMD cubic samplers: entry j holds
// (16384 L0(j / 512), 16384 L1(j / 512)) for the nodes 0, 1, 2, 3, rounded;
// entries 1537-1539 are zero. Each SIMD path holds its own copy.
struct CubicWeightPair {
    int16_t first, second;
};
constexpr int kCubicWeightEntries = 1540;

namespace prim::generic {
extern const WarpRowKernel warpRowKernelTable[kWarpRowKernelCount];
}
#define VQ_WARP_PATH_DECL(ns)                                                                                        \
    namespace prim::ns {                                                                                             \
    extern const WarpRowKernel warpRowKernelTable[kWarpRowKernelCount];                                             \
    const CubicWeightPair* lagrangeCubicWeights();                                                                   \
    }
VQ_WARP_PATH_DECL(p1)
VQ_WARP_PATH_DECL(p2)
VQ_WARP_PATH_DECL(p3)
VQ_WARP_PATH_DECL(p4)
VQ_WARP_PATH_DECL(p5)
#undef VQ_WARP_PATH_DECL

extern const WarpRowKernel* const warpRowKernelTables[6];
