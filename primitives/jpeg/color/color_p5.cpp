// Colour conversion kernels of processor path 5.
#include <immintrin.h>

#include "primitives/jpeg/color/color.h"

namespace prim::p5 {
#include "primitives/jpeg/color/color_simd.inl"
} // namespace prim::p5
