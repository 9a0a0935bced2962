// AVX-capable forms of the block kernels, copy, set, border copy and mirror
// primitives.
#define VQ_PATH_LEVEL 5
#define VQ_PATH_NS p5
#include "primitives/core/simd_path.h"

#include "primitives/core/block_simd.inl"
#include "primitives/core/copy_simd.inl"
#include "primitives/core/mirror_simd.inl"
