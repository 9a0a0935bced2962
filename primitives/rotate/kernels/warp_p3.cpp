// Warp row kernels, coordinate-map kernels, cubic evaluators and the
// perspective row generator of processor path 3.
#define VQ_PATH_LEVEL 3
#define VQ_PATH_NS p3
#include "primitives/core/simd_path.h"

#include "primitives/rotate/kernels/warp_kernels.inl"
#include "primitives/rotate/kernels/remap_kernels.inl"
