// Chroma sampling kernels of processor path 1.
#include <emmintrin.h>

#include "primitives/jpeg/sampling/sampling.h"

namespace prim::p1 {
namespace {
inline __m128i loadUnaligned(const uint8_t* p) { return _mm_loadu_si128(reinterpret_cast<const __m128i*>(p)); }
} // namespace
#include "primitives/jpeg/sampling/sampling_simd.inl"
} // namespace prim::p1
