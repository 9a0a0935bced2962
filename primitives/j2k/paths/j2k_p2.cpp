// SSE3 forms of the JPEG 2000 transform primitives.
#define VQ_PATH_LEVEL 2
#define VQ_PATH_NS p2
#include "primitives/core/simd_path.h"

#include "primitives/j2k/paths/component_simd.inl"
#include "primitives/j2k/paths/wavelet53_simd.inl"
#include "primitives/j2k/paths/wavelet97_simd.inl"
