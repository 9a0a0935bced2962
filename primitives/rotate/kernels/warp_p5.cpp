// Warp row kernels, coordinate-map kernels, cubic evaluators and the
// perspective row generator of processor path 5.
#define VQ_PATH_LEVEL 5
#define VQ_PATH_NS p5
#include "primitives/core/simd_path.h"

#include "primitives/rotate/kernels/warp_kernels.inl"
#include "primitives/rotate/kernels/remap_kernels.inl"
