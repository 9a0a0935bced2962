// Warp row kernels of the generic path: the reference results.
#define VQ_PATH_NS generic
#define VQ_WARP_GENERIC 1
#include "primitives/rotate/kernels/warp_kernels.inl"
