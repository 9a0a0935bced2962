// Bitwise kernels of one processor path (included by vector_p<N>.cpp). The
// constant is repeated across a 32-bit word (four bytes, two 16-bit halves
// or itself) and broadcast to the register; single elements use its low
// bits.

#include "primitives/vector/bitwise.h"
#include "primitives/vector/rules.h"

namespace prim::VQ_PATH_NS {
namespace {

enum BitOp : int { kAnd, kOr, kXor };

template <int Op>
inline __m128i bitLanes(__m128i a, __m128i b) {
    return Op == kAnd ? _mm_and_si128(a, b) : (Op == kOr ? _mm_or_si128(a, b) : _mm_xor_si128(a, b));
}
template <int Op, class T>
inline T bitOne(T a, T b) {
    return static_cast<T>(Op == kAnd ? (a & b) : (Op == kOr ? (a | b) : (a ^ b)));
}

template <class T>
inline __m128i broadcastWord(int32_t value) {
    uint32_t word = static_cast<uint32_t>(value);
    if (sizeof(T) == 1)
        word = (word & 0xFFu) * 0x01010101u;
    else if (sizeof(T) == 2)
        word = (word & 0xFFFFu) * 0x00010001u;
    return _mm_set1_epi32(static_cast<int32_t>(word));
}

// dst = a op b, the second operand a vector or (b null) the constant.
template <int Op, class T>
void bitwiseKernel(const T* a, const T* b, int32_t value, T* dst, int32_t n) {
    const __m128i c = broadcastWord<T>(value);
    const T one = static_cast<T>(value);
    eachBlock<sizeof(T)>(
        dst, n, [&](int32_t i) { storeBlock(dst + i, bitLanes<Op>(loadBlock(a + i), b ? loadBlock(b + i) : c)); },
        [&](int32_t i) { vrule::stAt(dst, i, bitOne<Op>(vrule::ldAt(a, i), b ? vrule::ldAt(b, i) : one)); });
}

} // namespace

#define VQ_BITWISE_CONST_BODIES(op, Op, sfx, T)                                                   \
    void op##VectorConstInPlace##sfx(int32_t value, T* srcDst, int32_t count) {                   \
        bitwiseKernel<Op, T>(srcDst, nullptr, value, srcDst, count);                              \
    }                                                                                             \
    void op##VectorConst##sfx(const T* src, int32_t value, T* dst, int32_t count) {               \
        bitwiseKernel<Op, T>(src, nullptr, value, dst, count);                                    \
    }
#define VQ_BITWISE_VECTOR_BODIES(op, Op, sfx, T)                                                  \
    void op##VectorInPlace##sfx(const T* src, T* srcDst, int32_t count) {                         \
        bitwiseKernel<Op, T>(src, srcDst, 0, srcDst, count);                                      \
    }                                                                                             \
    void op##Vector##sfx(const T* src1, const T* src2, T* dst, int32_t count) {                   \
        bitwiseKernel<Op, T>(src1, src2, 0, dst, count);                                          \
    }

#define VQ_BITWISE_BODIES(op, Op)                                 \
    VQ_BITWISE_CONST_BODIES(op, Op, 8u, uint8_t)                  \
    VQ_BITWISE_CONST_BODIES(op, Op, 16u, uint16_t)                \
    VQ_BITWISE_CONST_BODIES(op, Op, 32s, int32_t)                 \
    VQ_BITWISE_NARROW_VECTOR_BODIES(op, Op)                       \
    VQ_BITWISE_WIDE_VECTOR_BODIES(op, Op)

#if VQ_PATH_LEVEL != 2
#define VQ_BITWISE_NARROW_VECTOR_BODIES(op, Op) \
    VQ_BITWISE_VECTOR_BODIES(op, Op, 8u, uint8_t) VQ_BITWISE_VECTOR_BODIES(op, Op, 16u, uint16_t)
#else
#define VQ_BITWISE_NARROW_VECTOR_BODIES(op, Op)
#endif
#if VQ_PATH_LEVEL != 1
#define VQ_BITWISE_WIDE_VECTOR_BODIES(op, Op) VQ_BITWISE_VECTOR_BODIES(op, Op, 32s, int32_t)
#else
#define VQ_BITWISE_WIDE_VECTOR_BODIES(op, Op)
#endif

VQ_BITWISE_BODIES(and, kAnd)
VQ_BITWISE_BODIES(or, kOr)
VQ_BITWISE_BODIES(xor, kXor)

#undef VQ_BITWISE_BODIES
#undef VQ_BITWISE_CONST_BODIES
#undef VQ_BITWISE_VECTOR_BODIES
#undef VQ_BITWISE_NARROW_VECTOR_BODIES
#undef VQ_BITWISE_WIDE_VECTOR_BODIES

} // namespace prim::VQ_PATH_NS
