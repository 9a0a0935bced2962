// Warp row kernels, coordinate-map kernels, cubic evaluators and the
// perspective row generator of processor path 4.
#define VQ_PATH_LEVEL 4
#define VQ_PATH_NS p4
#include "primitives/core/simd_path.h"

#include "primitives/rotate/kernels/warp_kernels.inl"
#include "primitives/rotate/kernels/remap_kernels.inl"
