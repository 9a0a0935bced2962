// Channel reorder forms of one processor path (included by format_p<N>.cpp).
// Paths 3-5 shuffle 16 pixels at a time with byte shuffles; paths 1-2 move
// pixels one by one, with a 4-pixel shift-and-mask kernel for 4-byte pixels in
// the order 2, 1, 0.

#include "primitives/core/channels.h"

namespace prim::VQ_PATH_NS {
namespace {

// One row of 3-byte pixels, each pixel read whole before it is written.
inline void gatherRow3(const uint8_t* s, uint8_t* d, int64_t pixels, const int32_t* order) {
    const int32_t o0 = order[0], o1 = order[1], o2 = order[2];
    for (int64_t x = 0; x < pixels; ++x, s += 3, d += 3) {
        const uint8_t c0 = s[o0], c1 = s[o1], c2 = s[o2];
        d[0] = c0;
        d[1] = c1;
        d[2] = c2;
    }
}

inline void gatherRow4(const uint8_t* s, uint8_t* d, int64_t pixels, const int32_t* order) {
    const int32_t o0 = order[0], o1 = order[1], o2 = order[2];
    for (int64_t x = 0; x < pixels; ++x, s += 4, d += 4) {
        const uint8_t c0 = s[o0], c1 = s[o1], c2 = s[o2];
        d[0] = c0;
        d[1] = c1;
        d[2] = c2;
    }
}

#if VQ_PATH_LEVEL >= 3
inline void shuffleRow3(const Permute48& p, const uint8_t* s, uint8_t* d, int64_t pixels, const int32_t* order) {
    int64_t x = 0;
    for (; pixels - x >= 16; x += 16, s += 48, d += 48) {
        __m128i out[3];
        permute48(p, load16(s), load16(s + 16), load16(s + 32), out);
        store16(d, out[0]);
        store16(d + 16, out[1]);
        store16(d + 32, out[2]);
    }
    gatherRow3(s, d, pixels - x, order);
}

inline void shuffleRow4(__m128i mask, const uint8_t* s, uint8_t* d, int64_t pixels, const int32_t* order) {
    const __m128i alpha = _mm_set1_epi32(static_cast<int32_t>(0xFF000000u));
    int64_t x = 0;
    for (; pixels - x >= 4; x += 4, s += 16, d += 16) {
        const __m128i colour = _mm_shuffle_epi8(load16(s), mask);
        store16(d, _mm_or_si128(colour, _mm_and_si128(load16(d), alpha)));
    }
    gatherRow4(s, d, pixels - x, order);
}
#else
// Order 2, 1, 0 on 4-byte pixels: first and third byte exchanged by shifts,
// the destination's fourth byte kept.
inline void swapOuterRow4(const uint8_t* s, uint8_t* d, int64_t pixels) {
    const __m128i green = _mm_set1_epi32(0x0000FF00), low = _mm_set1_epi32(0x000000FF);
    const __m128i high = _mm_set1_epi32(0x00FF0000), alpha = _mm_set1_epi32(static_cast<int32_t>(0xFF000000u));
    int64_t x = 0;
    for (; pixels - x >= 4; x += 4, s += 16, d += 16) {
        const __m128i v = load16(s);
        const __m128i colour = _mm_or_si128(_mm_or_si128(_mm_and_si128(_mm_srli_epi32(v, 16), low),
                                                         _mm_and_si128(v, green)),
                                            _mm_and_si128(_mm_slli_epi32(v, 16), high));
        store16(d, _mm_or_si128(colour, _mm_and_si128(load16(d), alpha)));
    }
    const int32_t outer[3] = {2, 1, 0};
    gatherRow4(s, d, pixels - x, outer);
}
#endif

template <int N>
int32_t reorderRegion(const uint8_t* src, int32_t srcStep, uint8_t* dst, int32_t dstStep, PrimSize size,
                      const int32_t* order) {
    const int32_t status = channelArgsStatus(src, srcStep, dst, dstStep, size, order);
    if (status != primNoErr)
        return status;
    int64_t pixels = size.width;
    int32_t rows = size.height;
    // Rows without gaps are one long row.
    if (srcStep == dstStep && int64_t(srcStep) == N * pixels && N * pixels * rows <= INT32_MAX) {
        pixels *= rows;
        rows = 1;
    }
#if VQ_PATH_LEVEL >= 3
    uint8_t index[48];
    alignas(16) int8_t mask4[16];
    for (int k = 0; k < 48; ++k)
        index[k] = static_cast<uint8_t>(k - k % 3 + order[k % 3]);
    for (int k = 0; k < 16; ++k)
        mask4[k] = static_cast<int8_t>(k % 4 == 3 ? -128 : k - k % 4 + order[k % 4]);
    const Permute48 shuffle3 = makePermute48(index);
    const __m128i shuffle4 = _mm_load_si128(reinterpret_cast<const __m128i*>(mask4));
    for (int32_t y = 0; y < rows; ++y) {
        if (N == 3)
            shuffleRow3(shuffle3, rowAt(src, y, srcStep), rowAt(dst, y, dstStep), pixels, order);
        else
            shuffleRow4(shuffle4, rowAt(src, y, srcStep), rowAt(dst, y, dstStep), pixels, order);
    }
#else
    const bool outer = order[0] == 2 && order[1] == 1 && order[2] == 0;
    for (int32_t y = 0; y < rows; ++y) {
        const uint8_t* s = rowAt(src, y, srcStep);
        uint8_t* d = rowAt(dst, y, dstStep);
        if (N == 4 && outer)
            swapOuterRow4(s, d, pixels);
        else if (N == 4)
            gatherRow4(s, d, pixels, order);
        else
            gatherRow3(s, d, pixels, order);
    }
#endif
    return primNoErr;
}

} // namespace

int32_t swapChannelsInPlace8uC3(uint8_t* p, int32_t step, PrimSize size, const int32_t* order) {
    return reorderRegion<3>(p, step, p, step, size, order);
}
int32_t swapChannels8uC3(const uint8_t* src, int32_t srcStep, uint8_t* dst, int32_t dstStep, PrimSize size,
                         const int32_t* order) {
    return reorderRegion<3>(src, srcStep, dst, dstStep, size, order);
}
int32_t swapChannels8uAC4(const uint8_t* src, int32_t srcStep, uint8_t* dst, int32_t dstStep, PrimSize size,
                          const int32_t* order) {
    return reorderRegion<4>(src, srcStep, dst, dstStep, size, order);
}

} // namespace prim::VQ_PATH_NS
