// Resize row routines and square-pixel kernels of processor path 1 (SSE2),
// also run by path 2 (SSE3), whose code would be the same.
#define VQ_PATH_LEVEL 1
#define VQ_PATH_NS p1
#include "primitives/core/simd_path.h"

#include "primitives/resample/resample_simd.inl"
