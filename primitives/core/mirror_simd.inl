// Mirror forms of one processor path (included by move_p<N>.cpp). Rows are
// exchanged 16 bytes at a time; pixel order is reversed in 48-byte blocks by
// byte shuffles where the path has them (16-byte word shuffles otherwise, and
// single pixels for 3- and 6-byte pixels on paths 1 and 2).

#include "primitives/core/mirror.h"

namespace prim::VQ_PATH_NS {
namespace {

inline void swapRowBytes(uint8_t* a, uint8_t* b, int64_t n) {
    int64_t i = 0;
    for (; i + 16 <= n; i += 16) {
        const __m128i va = load16(a + i), vb = load16(b + i);
        store16(a + i, vb);
        store16(b + i, va);
    }
    for (; i + 8 <= n; i += 8) {
        const __m128i va = load8(a + i), vb = load8(b + i);
        store8(a + i, vb);
        store8(b + i, va);
    }
    for (; i < n; ++i) {
        const uint8_t t = a[i];
        a[i] = b[i];
        b[i] = t;
    }
}

#if VQ_PATH_LEVEL < 3
// Pixel order of a register reversed, for 1-, 2- and 4-byte pixels.
template <int BPP>
inline __m128i reverse16(__m128i v) {
    v = _mm_shuffle_epi32(v, _MM_SHUFFLE(0, 1, 2, 3));
    if (BPP <= 2) {
        v = _mm_shufflelo_epi16(v, _MM_SHUFFLE(2, 3, 0, 1));
        v = _mm_shufflehi_epi16(v, _MM_SHUFFLE(2, 3, 0, 1));
    }
    if (BPP == 1)
        v = _mm_or_si128(_mm_slli_epi16(v, 8), _mm_srli_epi16(v, 8));
    return v;
}
#endif

// Exchanges pixel j of the range starting at `a` with pixel j counted back
// from `bEnd`, for j < count. The two ranges do not overlap.
template <int BPP>
void reverseSwap(uint8_t* a, uint8_t* bEnd, int32_t count) {
    int32_t j = 0;
#if VQ_PATH_LEVEL >= 3
    constexpr int32_t kPixels = 48 / BPP;
    uint8_t index[48];
    for (int k = 0; k < 48; ++k)
        index[k] = static_cast<uint8_t>(48 - BPP * (k / BPP + 1) + k % BPP);
    const Permute48 reverse = makePermute48(index);
    for (; count - j >= kPixels; j += kPixels) {
        uint8_t* pa = a + int64_t(j) * BPP;
        uint8_t* pb = bEnd - (int64_t(j) + kPixels) * BPP;
        __m128i ra[3], rb[3];
        permute48(reverse, load16(pa), load16(pa + 16), load16(pa + 32), ra);
        permute48(reverse, load16(pb), load16(pb + 16), load16(pb + 32), rb);
        for (int r = 0; r < 3; ++r) {
            store16(pa + 16 * r, rb[r]);
            store16(pb + 16 * r, ra[r]);
        }
    }
#else
    if constexpr (BPP == 1 || BPP == 2 || BPP == 4) {
        constexpr int32_t kPixels = 16 / BPP;
        for (; count - j >= kPixels; j += kPixels) {
            uint8_t* pa = a + int64_t(j) * BPP;
            uint8_t* pb = bEnd - (int64_t(j) + kPixels) * BPP;
            const __m128i va = load16(pa), vb = load16(pb);
            store16(pa, reverse16<BPP>(vb));
            store16(pb, reverse16<BPP>(va));
        }
    }
#endif
    for (; j < count; ++j) {
        uint8_t* pa = a + int64_t(j) * BPP;
        uint8_t* pb = bEnd - (int64_t(j) + 1) * BPP;
        for (int b = 0; b < BPP; ++b) {
            const uint8_t t = pa[b];
            pa[b] = pb[b];
            pb[b] = t;
        }
    }
}

template <int BPP>
int32_t mirrorRegion(uint8_t* p, int32_t step, PrimSize size, int32_t axis) {
    const int32_t status = mirrorArgsStatus(p, size, axis);
    if (status != primNoErr)
        return status;
    const int32_t w = size.width, h = size.height;
    const int64_t rowBytes = int64_t(w) * BPP;
    if (axis == 1) {
        for (int32_t y = 0; y < h; ++y) {
            uint8_t* row = rowAt(p, y, step);
            reverseSwap<BPP>(row, row + rowBytes, w / 2);
        }
        return primNoErr;
    }
    for (int32_t i = 0; i < h / 2; ++i) {
        uint8_t* a = rowAt(p, i, step);
        uint8_t* b = rowAt(p, h - 1 - i, step);
        if (axis == 0)
            swapRowBytes(a, b, rowBytes);
        else
            reverseSwap<BPP>(a, b + rowBytes, w);
    }
    if (axis == 2 && (h & 1)) {
        uint8_t* mid = rowAt(p, h / 2, step);
        reverseSwap<BPP>(mid, mid + rowBytes, w / 2);
    }
    return primNoErr;
}

} // namespace

#if VQ_PATH_LEVEL <= 3
// Paths 4 and 5 run the SSSE3 forms of these four.
int32_t mirrorInPlace8uC1(uint8_t* p, int32_t step, PrimSize size, int32_t axis) { return mirrorRegion<1>(p, step, size, axis); }
int32_t mirrorInPlace8uC3(uint8_t* p, int32_t step, PrimSize size, int32_t axis) { return mirrorRegion<3>(p, step, size, axis); }
int32_t mirrorInPlace16uC1(uint8_t* p, int32_t step, PrimSize size, int32_t axis) { return mirrorRegion<2>(p, step, size, axis); }
int32_t mirrorInPlace16uC3(uint8_t* p, int32_t step, PrimSize size, int32_t axis) { return mirrorRegion<6>(p, step, size, axis); }
#endif
int32_t mirrorInPlace8uC4(uint8_t* p, int32_t step, PrimSize size, int32_t axis) { return mirrorRegion<4>(p, step, size, axis); }

} // namespace prim::VQ_PATH_NS
