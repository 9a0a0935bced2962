// SSE4.1 forms of the block kernels, copy, set, border copy and mirror
// primitives.
#define VQ_PATH_LEVEL 4
#define VQ_PATH_NS p4
#include "primitives/core/simd_path.h"

#include "primitives/core/block_simd.inl"
#include "primitives/core/copy_simd.inl"
#include "primitives/core/mirror_simd.inl"
