// Colour conversion kernels of processor path 2.
#include <pmmintrin.h>

#include "primitives/jpeg/color/color.h"

namespace prim::p2 {
#include "primitives/jpeg/color/color_simd.inl"
} // namespace prim::p2
