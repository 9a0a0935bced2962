// SSE3 forms of the image arithmetic, threshold and filter primitives. The
// SSSE3, SSE4.1 and AVX-capable paths point at these too: their code would be
// the same instructions.
#define VQ_PATH_LEVEL 2
#define VQ_PATH_NS p2
#include "primitives/core/simd_path.h"

#include "primitives/vector/lanes.h"
#include "primitives/vector/rules.h"

#include "primitives/image/shift/shift_simd.inl"
#include "primitives/image/arith/arith_simd.inl"
#include "primitives/image/threshold/threshold_simd.inl"
#include "primitives/image/shift/shift_kernels_simd.inl"
#include "primitives/image/threshold/threshold_kernels_simd.inl"
