// Resize row routines and square-pixel kernels of processor path 4 (SSE4.1),
// also run by path 5 (AVX-capable), which uses SSE4.1 instructions at most.
#define VQ_PATH_LEVEL 4
#define VQ_PATH_NS p4
#include "primitives/core/simd_path.h"

#include "primitives/resample/resample_simd.inl"
