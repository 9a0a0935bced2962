// Colour conversion kernels of processor path 3.
#include <tmmintrin.h>

#include "primitives/jpeg/color/color.h"

namespace prim::p3 {
#include "primitives/jpeg/color/color_simd.inl"
} // namespace prim::p3
