// DCT and quantisation forms of processor path 2 (SSE2 instructions only).
#include <emmintrin.h>

#include "primitives/jpeg/dct/dct.h"
#include "primitives/vector/copy.h"

namespace prim::p2 {
#include "primitives/jpeg/dct/dct_simd.inl"
} // namespace prim::p2
