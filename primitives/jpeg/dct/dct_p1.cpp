// DCT and quantisation forms of processor path 1 (SSE2 instructions only).
#include <emmintrin.h>

#include "primitives/jpeg/dct/dct.h"
#include "primitives/vector/copy.h"

namespace prim::p1 {
#include "primitives/jpeg/dct/dct_simd.inl"
} // namespace prim::p1
