// Sign-magnitude rows of one processor path (included by image_p<N>.cpp):
// ((x ^ s) - s) | (x & 0x80000000) with s the sign spread, four samples per
// register.

#include "primitives/image/shift/shift.h"

namespace prim::VQ_PATH_NS {

void toSignMagnitudeRows32s(int32_t* p, int32_t step, int32_t w, int32_t h) {
    const __m128i signBit = _mm_set1_epi32(static_cast<int32_t>(0x80000000u));
    for (int32_t y = 0; y < h; ++y) {
        int32_t* row = rowAt(p, y, step);
        eachBlock<4>(
            row, w,
            [&](int32_t i) {
                const __m128i x = loadBlock(row + i);
                const __m128i s = _mm_srai_epi32(x, 31);
                storeBlock(row + i, _mm_or_si128(_mm_sub_epi32(_mm_xor_si128(x, s), s), _mm_and_si128(x, signBit)));
            },
            [&](int32_t i) {
                const uint32_t u = static_cast<uint32_t>(vrule::ldAt(row, i));
                const uint32_t s = static_cast<uint32_t>(static_cast<int32_t>(u) >> 31);
                vrule::stAt(row, i, static_cast<int32_t>(((u ^ s) - s) | (u & 0x80000000u)));
            });
    }
}

} // namespace prim::VQ_PATH_NS
