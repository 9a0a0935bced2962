// DCT and quantisation forms of processor path 3 (SSE2 instructions only).
#include <emmintrin.h>

#include "primitives/jpeg/dct/dct.h"
#include "primitives/vector/copy.h"

namespace prim::p3 {
#include "primitives/jpeg/dct/dct_simd.inl"
} // namespace prim::p3
