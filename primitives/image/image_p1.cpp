// SSE2 forms of the image arithmetic, threshold and filter primitives.
#define VQ_PATH_LEVEL 1
#define VQ_PATH_NS p1
#include "primitives/core/simd_path.h"

#include "primitives/vector/lanes.h"
#include "primitives/vector/rules.h"

#include "primitives/image/shift/shift_simd.inl"
#include "primitives/image/arith/arith_simd.inl"
#include "primitives/image/threshold/threshold_simd.inl"
#include "primitives/image/filter/filter_simd.inl"
#include "primitives/image/shift/shift_kernels_simd.inl"
#include "primitives/image/threshold/threshold_kernels_simd.inl"
