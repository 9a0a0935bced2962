// AVX-capable forms of the channel reorder, planar/packed and depth
// conversion primitives.
#define VQ_PATH_LEVEL 5
#define VQ_PATH_NS p5
#include "primitives/core/simd_path.h"

#include "primitives/core/channels_simd.inl"
#include "primitives/core/depth_simd.inl"
#include "primitives/core/planar_simd.inl"
