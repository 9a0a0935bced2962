// Colour conversion kernels of processor path 1.
#include <emmintrin.h>

#include "primitives/jpeg/color/color.h"

namespace prim::p1 {
#include "primitives/jpeg/color/color_simd.inl"
} // namespace prim::p1
