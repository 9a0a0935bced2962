// Chroma sampling kernels of processor path 2.
#include <pmmintrin.h>

#include "primitives/jpeg/sampling/sampling.h"

namespace prim::p2 {
namespace {
inline __m128i loadUnaligned(const uint8_t* p) { return _mm_lddqu_si128(reinterpret_cast<const __m128i*>(p)); }
} // namespace
#include "primitives/jpeg/sampling/sampling_simd.inl"
} // namespace prim::p2
