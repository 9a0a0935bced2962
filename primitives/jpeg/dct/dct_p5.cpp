// DCT and quantisation forms of processor path 5 (SSE2 instructions only).
#include <emmintrin.h>

#include "primitives/jpeg/dct/dct.h"
#include "primitives/vector/copy.h"

namespace prim::p5 {
#include "primitives/jpeg/dct/dct_simd.inl"
} // namespace prim::p5
