// The shift kernel set of one processor path (included by image_p<N>.cpp).
// A register holds whole pixels (three registers for three-channel pixels);
// each channel's samples are shifted by that channel's count in a copy of the
// register and picked out with a lane mask; 8-bit samples are shifted in
// 16-bit lanes (signed ones from the high byte of a lane). Samples past the
// last whole block are shifted one by one.

#include <type_traits>

#include "primitives/image/shift/shift_kernels.h"

namespace prim::VQ_PATH_NS {
namespace {

enum ShiftDir : int { kLeft = 0, kRight = 1 };
enum ShiftLayout : int { kC1 = 0, kC3 = 1, kC4 = 2, kAC4 = 3, kAC4One = 4 };

template <class T, int D>
inline T shiftSample(T x, uint32_t c) {
    using U = std::make_unsigned_t<T>;
    constexpr uint32_t kBits = sizeof(T) * 8;
    if constexpr (D == kLeft)
        return c >= kBits ? T(0) : static_cast<T>(static_cast<U>(static_cast<U>(x) << c));
    else if constexpr (std::is_signed_v<T>)
        return static_cast<T>(x >> (c >= kBits ? kBits - 1 : c));
    else
        return c >= kBits ? T(0) : static_cast<T>(static_cast<U>(x) >> c);
}

template <class T, int D>
inline __m128i shiftRegister(__m128i v, uint32_t c) {
    const __m128i count = _mm_cvtsi32_si128(static_cast<int32_t>(c));
    if constexpr (sizeof(T) == 4) {
        return D == kLeft ? _mm_sll_epi32(v, count) : _mm_sra_epi32(v, count);
    } else if constexpr (sizeof(T) == 2) {
        if constexpr (D == kLeft)
            return _mm_sll_epi16(v, count);
        else
            return std::is_signed_v<T> ? _mm_sra_epi16(v, count) : _mm_srl_epi16(v, count);
    } else if constexpr (std::is_signed_v<T>) {
        // (x << 8 | x) shifted by c + 8 is x >> c: the low byte never carries.
        const __m128i by = _mm_cvtsi32_si128(static_cast<int32_t>(c + 8));
        return _mm_packs_epi16(_mm_sra_epi16(_mm_unpacklo_epi8(v, v), by), _mm_sra_epi16(_mm_unpackhi_epi8(v, v), by));
    } else {
        const __m128i z = _mm_setzero_si128();
        __m128i lo = _mm_unpacklo_epi8(v, z), hi = _mm_unpackhi_epi8(v, z);
        if (D == kLeft) {
            const __m128i low = _mm_set1_epi16(0xFF);
            lo = _mm_and_si128(_mm_sll_epi16(lo, count), low);
            hi = _mm_and_si128(_mm_sll_epi16(hi, count), low);
        } else {
            lo = _mm_srl_epi16(lo, count);
            hi = _mm_srl_epi16(hi, count);
        }
        return _mm_packus_epi16(lo, hi);
    }
}

template <class T, int D, int L>
void shiftRoi(const T* src, int32_t srcStep, T* dst, int32_t dstStep, int32_t w, int32_t h, const uint32_t* counts) {
    constexpr int kSamples = L == kC1 ? 1 : (L == kC3 ? 3 : 4);  // per pixel
    constexpr int kRegisters = L == kC3 ? 3 : 1;                   // per block of whole pixels
    constexpr int kPerRegister = 16 / sizeof(T);
    constexpr int kBlock = kRegisters * kPerRegister;  // samples
    constexpr bool kKeepFourth = L == kAC4 || L == kAC4One;
    constexpr int kShifted = kKeepFourth ? 3 : kSamples;
    uint32_t c[4];
    for (int k = 0; k < kShifted; ++k)
        c[k] = L == kAC4One ? counts[0] : counts[k];
    // mask[r][k]: the lanes of register r that hold channel k.
    __m128i mask[kRegisters][4];
    for (int r = 0; r < kRegisters; ++r)
        for (int k = 0; k < kSamples; ++k) {
            alignas(16) uint8_t m[16];
            for (int b = 0; b < 16; ++b)
                m[b] = ((r * kPerRegister + b / int(sizeof(T))) % kSamples) == k ? 0xFF : 0;
            mask[r][k] = _mm_load_si128(reinterpret_cast<const __m128i*>(m));
        }
    const int64_t n = int64_t(w) * kSamples;
    for (int32_t y = 0; y < h; ++y) {
        const T* s = rowAt(src, y, srcStep);
        T* d = rowAt(dst, y, dstStep);
        int64_t i = 0;
        for (; n - i >= kBlock; i += kBlock)
            for (int r = 0; r < kRegisters; ++r) {
                const int64_t at = i + int64_t(r) * kPerRegister;
                const __m128i v = loadBlock(s + at);
                __m128i out;
                if constexpr (L == kC1 || L == kAC4One) {
                    out = shiftRegister<T, D>(v, c[0]);
                } else {
                    out = _mm_setzero_si128();
                    for (int k = 0; k < kShifted; ++k)
                        out = _mm_or_si128(out, _mm_and_si128(shiftRegister<T, D>(v, c[k]), mask[r][k]));
                }
                if constexpr (kKeepFourth)
                    out = select(mask[r][3], loadBlock(d + at), out);
                storeBlock(d + at, out);
            }
        for (; i < n; ++i) {
            const int k = static_cast<int>(i % kSamples);
            if (kKeepFourth && k == 3)
                continue;
            vrule::stAt(d, i, shiftSample<T, D>(vrule::ldAt(s, i), c[kShifted == 1 ? 0 : k]));
        }
    }
}

#define VQ_SHIFT_KERNELS(dir, D, suffix, T)                                                                    \
    void dir##Roi##suffix##C1(const T* s, int32_t ss, T* d, int32_t ds, int32_t w, int32_t h, uint32_t c) {   \
        shiftRoi<T, D, kC1>(s, ss, d, ds, w, h, &c);                                                          \
    }                                                                                                          \
    void dir##Roi##suffix##C3(const T* s, int32_t ss, T* d, int32_t ds, int32_t w, int32_t h,                 \
                              const uint32_t* c) {                                                             \
        shiftRoi<T, D, kC3>(s, ss, d, ds, w, h, c);                                                           \
    }                                                                                                          \
    void dir##Roi##suffix##C4(const T* s, int32_t ss, T* d, int32_t ds, int32_t w, int32_t h,                 \
                              const uint32_t* c) {                                                             \
        shiftRoi<T, D, kC4>(s, ss, d, ds, w, h, c);                                                           \
    }                                                                                                          \
    void dir##Roi##suffix##AC4(const T* s, int32_t ss, T* d, int32_t ds, int32_t w, int32_t h,                \
                               const uint32_t* c) {                                                            \
        shiftRoi<T, D, kAC4>(s, ss, d, ds, w, h, c);                                                          \
    }                                                                                                          \
    void dir##Roi##suffix##AC4OneCount(const T* s, int32_t ss, T* d, int32_t ds, int32_t w, int32_t h,        \
                                       const uint32_t* c) {                                                    \
        shiftRoi<T, D, kAC4One>(s, ss, d, ds, w, h, c);                                                       \
    }

VQ_SHIFT_KERNELS(shiftLeft, kLeft, 8u, uint8_t)
VQ_SHIFT_KERNELS(shiftLeft, kLeft, 16u, uint16_t)
VQ_SHIFT_KERNELS(shiftLeft, kLeft, 32s, int32_t)
VQ_SHIFT_KERNELS(shiftRight, kRight, 8u, uint8_t)
VQ_SHIFT_KERNELS(shiftRight, kRight, 8s, int8_t)
VQ_SHIFT_KERNELS(shiftRight, kRight, 16u, uint16_t)
VQ_SHIFT_KERNELS(shiftRight, kRight, 16s, int16_t)
VQ_SHIFT_KERNELS(shiftRight, kRight, 32s, int32_t)
#undef VQ_SHIFT_KERNELS

} // namespace

#define VQ_SHIFT_SET_FAMILY(dir, suffix) \
    dir##Roi##suffix##C1, dir##Roi##suffix##C3, dir##Roi##suffix##C4, dir##Roi##suffix##AC4, dir##Roi##suffix##AC4OneCount

extern const ShiftKernelSet shiftKernels;
const ShiftKernelSet shiftKernels = {
    VQ_SHIFT_SET_FAMILY(shiftLeft, 8u),   VQ_SHIFT_SET_FAMILY(shiftLeft, 16u),  VQ_SHIFT_SET_FAMILY(shiftLeft, 32s),
    VQ_SHIFT_SET_FAMILY(shiftRight, 8u),  VQ_SHIFT_SET_FAMILY(shiftRight, 8s),  VQ_SHIFT_SET_FAMILY(shiftRight, 16u),
    VQ_SHIFT_SET_FAMILY(shiftRight, 16s), VQ_SHIFT_SET_FAMILY(shiftRight, 32s),
};
#undef VQ_SHIFT_SET_FAMILY

} // namespace prim::VQ_PATH_NS
