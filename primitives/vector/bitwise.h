// Bitwise kernels of the processor-path kernel sets: AND, OR and XOR of a
// vector with a constant or with a second vector, in place or into a
// destination, on 8-bit, 16-bit and 32-bit elements. No entry point calls
// them; they are members of the sets of paths 1 to 5 (the generic path has
// none). The SSE3 set has no two-vector 8-bit and 16-bit members, the SSE2
// set no two-vector 32-bit members.
//
// The constant arrives in 32 bits; an 8-bit member uses its low 8 bits, a
// 16-bit member its low 16. Kernels check nothing: count is at least 1 and a
// destination is one of the sources or does not overlap them.
#pragma once

#include <cstdint>

#define VQ_BITWISE_TYPE_FORMS(op, sfx, T)                                                \
    void op##VectorConstInPlace##sfx(int32_t value, T* srcDst, int32_t count);           \
    void op##VectorConst##sfx(const T* src, int32_t value, T* dst, int32_t count);       \
    void op##VectorInPlace##sfx(const T* src, T* srcDst, int32_t count);                 \
    void op##Vector##sfx(const T* src1, const T* src2, T* dst, int32_t count);

#define VQ_BITWISE_OP_FORMS(op)                  \
    VQ_BITWISE_TYPE_FORMS(op, 8u, uint8_t)       \
    VQ_BITWISE_TYPE_FORMS(op, 16u, uint16_t)     \
    VQ_BITWISE_TYPE_FORMS(op, 32s, int32_t)

#define VQ_BITWISE_FORMS VQ_BITWISE_OP_FORMS(and) VQ_BITWISE_OP_FORMS(or) VQ_BITWISE_OP_FORMS(xor)

namespace prim::p1 { VQ_BITWISE_FORMS }
namespace prim::p2 { VQ_BITWISE_FORMS }
namespace prim::p3 { VQ_BITWISE_FORMS }
namespace prim::p4 { VQ_BITWISE_FORMS }
namespace prim::p5 { VQ_BITWISE_FORMS }
