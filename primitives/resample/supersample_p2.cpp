// Area averaging of processor path 2 (SSE3), also run by paths 3, 4 and 5,
// whose float sums are added in the same order.
#define VQ_PATH_LEVEL 2
#define VQ_PATH_NS p2
#include "primitives/core/simd_path.h"

#include "primitives/resample/resample_paths.h"
#include "primitives/resample/supersample_simd.inl"

namespace prim::p2 {

// Path 2 runs path 1's square-pixel kernels except the whole-ratio area
// averaging, whose float sums it adds in the order of paths 3-5.
const ResizeSqKernels resizeSqKernels = [] {
    ResizeSqKernels k = p1::resizeSqKernels;
    k.superSampleWhole = resizeSqSuperSampleWholeKernels;
    return k;
}();

} // namespace prim::p2
