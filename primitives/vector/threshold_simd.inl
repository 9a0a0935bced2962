// Threshold kernels of one processor path (included by vector_p<N>.cpp).

#include "primitives/vector/rules.h"
#include "primitives/vector/threshold.h"

namespace prim::VQ_PATH_NS {
namespace {

// In-place clamp of 32-bit elements: Above replaces x > level, otherwise
// x < level. A block in which nothing changes is not written back, so data
// already within range is only read.
template <bool Above>
void clamp32sInPlace(int32_t* buffer, int32_t count, int32_t level) {
    const __m128i lv = _mm_set1_epi32(level);
    eachBlock<4>(
        buffer, count,
        [&](int32_t i) {
            const __m128i x = loadBlock(buffer + i);
            const __m128i beyond = Above ? _mm_cmpgt_epi32(x, lv) : _mm_cmpgt_epi32(lv, x);
            if (_mm_movemask_epi8(beyond))
                storeBlock(buffer + i, select(beyond, lv, x));
        },
        [&](int32_t i) {
            const int32_t x = vrule::ldAt(buffer, i);
            if (Above ? x > level : x < level)
                vrule::stAt(buffer, i, level);
        });
}

} // namespace

void clampMin32sInPlace(int32_t* buffer, int32_t count, int32_t level) { clamp32sInPlace<false>(buffer, count, level); }
void clampMax32sInPlace(int32_t* buffer, int32_t count, int32_t level) { clamp32sInPlace<true>(buffer, count, level); }

} // namespace prim::VQ_PATH_NS
