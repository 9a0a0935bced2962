// Constant and shift forms of one processor path (included by
// vector_p<N>.cpp): the constant kernels are the scaled lanes with a
// broadcast second operand; the shift kernels shift whole registers, the
// 8-bit ones as 16-bit lanes with a mask that removes the bits crossing from
// the neighbouring byte.

#include "primitives/vector/const_shift.h"
#include "primitives/vector/copy.h"
#include "primitives/vector/rules.h"
#include "primitives/vector/scaled_lanes.h"

namespace prim::VQ_PATH_NS {
namespace {

using vrule::kShiftLeft;
using vrule::kShiftRight;

template <class T, int Kind>
inline __m128i shiftLanes(__m128i v, __m128i count, __m128i byteMask) {
    if constexpr (sizeof(T) == 4)
        return Kind == kShiftLeft ? _mm_sll_epi32(v, count) : _mm_sra_epi32(v, count);
    else if constexpr (sizeof(T) == 2)
        return Kind == kShiftLeft ? _mm_sll_epi16(v, count)
                                  : (std::is_signed_v<T> ? _mm_sra_epi16(v, count) : _mm_srl_epi16(v, count));
    else
        return _mm_and_si128(Kind == kShiftLeft ? _mm_sll_epi16(v, count) : _mm_srl_epi16(v, count), byteMask);
}

// s from 1 to 31: the registers shift whole, every count of the width or
// more giving 0 or the sign fill, as the element rule does.
template <class T, int Kind>
void shiftElements(const T* src, T* dst, int32_t n, int32_t s) {
    const __m128i count = _mm_cvtsi32_si128(s);
    const int byte = Kind == kShiftLeft ? (0xFF << s) & 0xFF : (s >= 8 ? 0 : 0xFF >> s);
    const __m128i byteMask = _mm_set1_epi8(static_cast<char>(byte));
    eachBlock<sizeof(T)>(
        dst, n, [&](int32_t i) { storeBlock(dst + i, shiftLanes<T, Kind>(loadBlock(src + i), count, byteMask)); },
        [&](int32_t i) { vrule::stAt(dst, i, vrule::shiftOne<T, Kind>(vrule::ldAt(src, i), s)); });
}

} // namespace

#include "primitives/vector/const_shift_forms.inl"

void shiftLeftInPlace32s(int32_t s, int32_t* d, int32_t n) { shiftElements<int32_t, kShiftLeft>(d, d, n, s); }
void shiftRightInPlace32s(int32_t s, int32_t* d, int32_t n) { shiftElements<int32_t, kShiftRight>(d, d, n, s); }
void shiftLeft32s(const int32_t* src, int32_t s, int32_t* d, int32_t n) {
    shiftElements<int32_t, kShiftLeft>(src, d, n, s);
}
void shiftRight32s(const int32_t* src, int32_t s, int32_t* d, int32_t n) {
    shiftElements<int32_t, kShiftRight>(src, d, n, s);
}
void shiftLeftInPlace16s(int32_t s, int16_t* d, int32_t n) { shiftElements<int16_t, kShiftLeft>(d, d, n, s); }
void shiftRightInPlace16s(int32_t s, int16_t* d, int32_t n) { shiftElements<int16_t, kShiftRight>(d, d, n, s); }
void shiftRightInPlace16u(int32_t s, uint16_t* d, int32_t n) { shiftElements<uint16_t, kShiftRight>(d, d, n, s); }
void shiftLeft16s(const int16_t* src, int32_t s, int16_t* d, int32_t n) {
    shiftElements<int16_t, kShiftLeft>(src, d, n, s);
}
void shiftRight16s(const int16_t* src, int32_t s, int16_t* d, int32_t n) {
    shiftElements<int16_t, kShiftRight>(src, d, n, s);
}
void shiftRight16u(const uint16_t* src, int32_t s, uint16_t* d, int32_t n) {
    shiftElements<uint16_t, kShiftRight>(src, d, n, s);
}
void shiftLeftInPlace8u(int32_t s, uint8_t* d, int32_t n) { shiftElements<uint8_t, kShiftLeft>(d, d, n, s); }
void shiftRightInPlace8u(int32_t s, uint8_t* d, int32_t n) { shiftElements<uint8_t, kShiftRight>(d, d, n, s); }
void shiftLeft8u(const uint8_t* src, int32_t s, uint8_t* d, int32_t n) {
    shiftElements<uint8_t, kShiftLeft>(src, d, n, s);
}
void shiftRight8u(const uint8_t* src, int32_t s, uint8_t* d, int32_t n) {
    shiftElements<uint8_t, kShiftRight>(src, d, n, s);
}

} // namespace prim::VQ_PATH_NS
