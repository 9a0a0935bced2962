// Area averaging of processor path 1 (SSE2), with the row accumulators that
// every processor path uses.
#define VQ_PATH_LEVEL 1
#define VQ_PATH_NS p1
#include "primitives/core/simd_path.h"

#include "primitives/resample/supersample_simd.inl"
