// Threshold kernel of one processor path (included by image_p<N>.cpp): a
// lane keeps its pixel where the unsigned saturating difference t - p (less)
// or p - t (greater) is 0, and takes the value elsewhere; sixteen pixels per
// register, every block read before it is written.

#include "primitives/image/threshold/threshold.h"

namespace prim::VQ_PATH_NS {
namespace {

void thresholdRows(const uint8_t* src, int32_t srcStep, uint8_t* dst, int32_t dstStep, int32_t w, int32_t h,
                   uint8_t t, uint8_t v, bool greater) {
    const __m128i tv = _mm_set1_epi8(static_cast<char>(t));
    const __m128i vv = _mm_set1_epi8(static_cast<char>(v));
    const __m128i z = _mm_setzero_si128();
    auto apply = [&](__m128i p) {
        const __m128i keep = _mm_cmpeq_epi8(greater ? _mm_subs_epu8(p, tv) : _mm_subs_epu8(tv, p), z);
        return select(keep, p, vv);
    };
    for (int32_t y = 0; y < h; ++y) {
        const uint8_t* s = rowAt(src, y, srcStep);
        uint8_t* d = rowAt(dst, y, dstStep);
        eachBlock<1>(
            d, w, [&](int32_t i) { storeBlock(d + i, apply(loadBlock(s + i))); },
            [&](int32_t i) {
                d[i] = static_cast<uint8_t>(_mm_cvtsi128_si32(apply(_mm_cvtsi32_si128(s[i]))));
            });
    }
}

} // namespace

#include "primitives/image/threshold/threshold_forms.inl"

} // namespace prim::VQ_PATH_NS
