// Channel reorder forms of one processor path (included by format_p<N>.cpp).
// Paths 3-5 shuffle 16 pixels at a time with byte shuffles; paths 1-2 shift
// and mask whole blocks of 16 pixels (4-byte pixels: 32-bit lanes).

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
// Channel k of each 32-bit lane from channel order[k].
struct LaneOrder {
    __m128i shift[3];
    bool outer;
};

inline LaneOrder makeLaneOrder(const int32_t* order) {
    LaneOrder o;
    for (int k = 0; k < 3; ++k)
        o.shift[k] = _mm_cvtsi32_si128(8 * order[k]);
    o.outer = order[0] == 2 && order[1] == 1 && order[2] == 0;
    return o;
}

inline __m128i reorderLanes(__m128i v, const LaneOrder& o) {
    const __m128i low = _mm_set1_epi32(0xFF);
    if (o.outer)
        return _mm_or_si128(_mm_or_si128(_mm_and_si128(_mm_srli_epi32(v, 16), low),
                                         _mm_and_si128(v, _mm_set1_epi32(0xFF00))),
                            _mm_and_si128(_mm_slli_epi32(v, 16), _mm_set1_epi32(0xFF0000)));
    const __m128i c0 = _mm_and_si128(_mm_srl_epi32(v, o.shift[0]), low);
    const __m128i c1 = _mm_and_si128(_mm_srl_epi32(v, o.shift[1]), low);
    const __m128i c2 = _mm_and_si128(_mm_srl_epi32(v, o.shift[2]), low);
    return _mm_or_si128(_mm_or_si128(c0, _mm_slli_epi32(c1, 8)), _mm_slli_epi32(c2, 16));
}

// Four 3-byte pixels at a time through 4-byte lanes; in place each block is
// read whole before it is written.
inline void laneRow3(const uint8_t* s, uint8_t* d, int64_t pixels, const int32_t* order) {
    const LaneOrder o = makeLaneOrder(order);
    int64_t x = 0;
    for (; pixels - x >= 4; x += 4, s += 12, d += 12)
        compress4to3(reorderLanes(expand3to4(s), o), d);
    gatherRow3(s, d, pixels - x, order);
}

// Bytes of a 48-byte block moved by D places (out[k] = in[k + D]); places
// outside the block read 0, which a reorder never uses: a channel moves only
// within its pixel, and pixels do not straddle blocks.
template <int D>
inline __m128i shiftBlock(const __m128i* in, int r) {
    const __m128i zero = _mm_setzero_si128();
    if constexpr (D == 0)
        return in[r];
    else if constexpr (D > 0)
        return _mm_or_si128(_mm_srli_si128(in[r], D), r < 2 ? _mm_slli_si128(in[r + 1], 16 - D) : zero);
    else
        return _mm_or_si128(_mm_slli_si128(in[r], -D), r > 0 ? _mm_srli_si128(in[r - 1], 16 + D) : zero);
}

// Sixteen 3-byte pixels per block: destination channel c is the block
// shifted by Dc = (source channel - c) bytes, under the mask of channel c.
// One instantiation per combination of shifts, chosen once per row.
using ShiftBlocksFn = void (*)(const uint8_t* s, uint8_t* d, int64_t blocks, const __m128i* mask);

template <int D0, int D1, int D2>
void shiftBlocks3(const uint8_t* s, uint8_t* d, int64_t blocks, const __m128i* mask) {
    for (int64_t i = 0; i < blocks; ++i, s += 48, d += 48) {
        const __m128i in[3] = {load16(s), load16(s + 16), load16(s + 32)};
        for (int r = 0; r < 3; ++r) {
            const __m128i c0 = _mm_and_si128(shiftBlock<D0>(in, r), mask[r]);
            const __m128i c1 = _mm_and_si128(shiftBlock<D1>(in, r), mask[3 + r]);
            const __m128i c2 = _mm_and_si128(shiftBlock<D2>(in, r), mask[6 + r]);
            store16(d + 16 * r, _mm_or_si128(_mm_or_si128(c0, c1), c2));
        }
    }
}

template <int D0, int D1>
ShiftBlocksFn pickShift3(int32_t d2) {
    return d2 == -2 ? shiftBlocks3<D0, D1, -2> : d2 == -1 ? shiftBlocks3<D0, D1, -1> : shiftBlocks3<D0, D1, 0>;
}

template <int D0>
ShiftBlocksFn pickShift2(int32_t d1, int32_t d2) {
    return d1 == -1 ? pickShift3<D0, -1>(d2) : d1 == 0 ? pickShift3<D0, 0>(d2) : pickShift3<D0, 1>(d2);
}

inline void shiftRow3(const uint8_t* s, uint8_t* d, int64_t pixels, const int32_t* order) {
    alignas(16) uint8_t m[9][16];
    for (int c = 0; c < 3; ++c)
        for (int r = 0; r < 3; ++r)
            for (int b = 0; b < 16; ++b)
                m[3 * c + r][b] = (16 * r + b) % 3 == c ? 0xFF : 0;
    __m128i mask[9];
    for (int i = 0; i < 9; ++i)
        mask[i] = _mm_load_si128(reinterpret_cast<const __m128i*>(m[i]));
    const int32_t d1 = order[1] - 1, d2 = order[2] - 2;
    const ShiftBlocksFn blocks = order[0] == 0   ? pickShift2<0>(d1, d2)
                                 : order[0] == 1 ? pickShift2<1>(d1, d2)
                                                 : pickShift2<2>(d1, d2);
    const int64_t n = pixels / 16;
    blocks(s, d, n, mask);
    laneRow3(s + 48 * n, d + 48 * n, pixels - 16 * n, order);
}

// Four 4-byte pixels at a time, the destination's fourth byte kept.
inline void laneRow4(const uint8_t* s, uint8_t* d, int64_t pixels, const int32_t* order) {
    const LaneOrder o = makeLaneOrder(order);
    const __m128i alpha = _mm_set1_epi32(static_cast<int32_t>(0xFF000000u));
    int64_t x = 0;
    for (; pixels - x >= 4; x += 4, s += 16, d += 16)
        store16(d, _mm_or_si128(reorderLanes(load16(s), o), _mm_and_si128(load16(d), alpha)));
    gatherRow4(s, d, pixels - x, order);
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
    for (int32_t y = 0; y < rows; ++y) {
        if (N == 4)
            laneRow4(rowAt(src, y, srcStep), rowAt(dst, y, dstStep), pixels, order);
        else
            shiftRow3(rowAt(src, y, srcStep), rowAt(dst, y, dstStep), pixels, order);
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
