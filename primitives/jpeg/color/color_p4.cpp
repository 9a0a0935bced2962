// Colour conversion kernels of processor path 4.
#include <smmintrin.h>

#include "primitives/jpeg/color/color.h"

namespace prim::p4 {
#include "primitives/jpeg/color/color_simd.inl"
} // namespace prim::p4
