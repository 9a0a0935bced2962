// Loop driver and register helpers of the processor-path forms of the vector
// primitives. Included once by every vector_p<N>.cpp after simd_path.h, so
// each path has its own copy inside prim::p<N>.
//
// A kernel hands the driver two functions: one that computes a whole 16-byte
// block of destination elements from index i on, loading every operand of
// the block before it stores, and one that computes the single element i by
// the same rule. The driver takes single elements until the destination
// reaches a 16-byte boundary (a destination that is not element-aligned never
// does and runs on unaligned blocks), then whole blocks, then single elements
// again. Because every block reads all its operands before writing, a
// destination that is one of the sources gives the element loop's results.
#pragma once

#include <cstdint>
#include <immintrin.h>

namespace prim::VQ_PATH_NS {
namespace {

// Unaligned 16-byte load: the SSE3 form for data that may cross cache lines
// on paths 2 and up, the plain one on the SSE2 path.
inline __m128i loadBlock(const void* p) {
#if VQ_PATH_LEVEL >= 2
    return _mm_lddqu_si128(static_cast<const __m128i*>(p));
#else
    return _mm_loadu_si128(static_cast<const __m128i*>(p));
#endif
}
inline void storeBlock(void* p, __m128i v) { _mm_storeu_si128(static_cast<__m128i*>(p), v); }
inline __m128 loadBlockPs(const void* p) { return _mm_castsi128_ps(loadBlock(p)); }
inline void storeBlockPs(void* p, __m128 v) { _mm_storeu_ps(static_cast<float*>(p), v); }
inline __m128d loadBlockPd(const void* p) { return _mm_castsi128_pd(loadBlock(p)); }
inline void storeBlockPd(void* p, __m128d v) { _mm_storeu_pd(static_cast<double*>(p), v); }

// Lanes of x where mask is set, of y elsewhere.
inline __m128i select(__m128i mask, __m128i x, __m128i y) {
    return _mm_or_si128(_mm_and_si128(mask, x), _mm_andnot_si128(mask, y));
}
inline __m128 selectPs(__m128 mask, __m128 x, __m128 y) {
    return _mm_or_ps(_mm_and_ps(mask, x), _mm_andnot_ps(mask, y));
}
inline __m128d selectPd(__m128d mask, __m128d x, __m128d y) {
    return _mm_or_pd(_mm_and_pd(mask, x), _mm_andnot_pd(mask, y));
}

// E: destination element size in bytes; a block covers 16 / E elements.
template <int E, class Block, class One>
inline void eachBlock(const void* dst, int32_t n, Block&& block, One&& one) {
    constexpr int32_t kLanes = 16 / E;
    int32_t i = 0;
    const auto address = reinterpret_cast<uintptr_t>(dst);
    if (address % E == 0) {
        int32_t head = static_cast<int32_t>(((16 - (address & 15)) & 15) / E);
        if (head > n)
            head = n;
        for (; i < head; ++i)
            one(i);
    }
    for (; n - i >= 2 * kLanes; i += 2 * kLanes) {
        block(i);
        block(i + kLanes);
    }
    for (; n - i >= kLanes; i += kLanes)
        block(i);
    for (; i < n; ++i)
        one(i);
}

} // namespace
} // namespace prim::VQ_PATH_NS
