// The block arithmetic of JPEG coding for 8-bit samples: the forward 8 x 8 DCT
// with level shift and quantisation by a table of Q15 reciprocals, the
// preparation of that table, and de-quantisation with the inverse 8 x 8 DCT,
// level shift and clamp.
//
// Blocks are 64 signed 16-bit values in natural order (entry 8v + u: vertical
// frequency v, horizontal frequency u) at the scale of the T.81 DCT: a flat
// block of level-shifted value s has DC 8s.
//
// The generic path and processor paths 1 to 5 compute the two transforms with
// different fixed-point factorisations; each path reproduces its own exactly,
// the two differ by one in a few per cent of the values, and paths 1 to 5
// agree with one another. Everything else gives the same results on every
// path; products outside 16 bits saturate on every path.
//
// Status codes: 0 success, 6 warning (a divisor or quantiser step was 0; the
// output is complete), -6 bad count or size, -8 null pointer, -14 bad step.
#pragma once

#include <cstdint>

#include "primitives/core/dispatch.h"
#include "primitives/core/forms.h"
#include "primitives/core/prim_types.h"

constexpr int32_t primWrnDivideByZero = 6;

// Quantisation table (64 steps, zig-zag order) to 64 reciprocals 32768 / q
// rounded, natural order; 65535 (and status 6) for a step of 0.
int32_t quantForwardTablePrepare(const uint8_t* table, uint16_t* reciprocals);
// An 8 x 8 block of samples (rows srcStep bytes apart) minus 128, forward DCT,
// quantised with the reciprocals: 64 coefficients in natural order.
int32_t dctQuantForward8x8(const uint8_t* src, int32_t srcStep, int16_t* coefficients, const uint16_t* reciprocals);
// Coefficients times their quantisation values (saturated to 16 bits), inverse
// DCT, plus 128, clamped to 0..255, written as 8 rows dstStep bytes apart.
int32_t dequantDctInverse8x8(const int16_t* coefficients, uint8_t* dst, int32_t dstStep, const int16_t* multipliers);

// The operations the three primitives are built from, one form per path.
// forwardDct8x8: in place on level-shifted samples (-128..127).
// inverseDct8x8To8u: inverse DCT of `src`, plus `level`, clamped to
// [lower, upper], stored as 8 rows; -8 null pointer, -14 step below 1.
// divideConstantByVector16u: dst[i] = c / src[i] rounded (65535 and status 6
// for a divisor of 0; c = 0 zeroes dst); -8, then -6 for a count below 1.
// convertRegion8uTo16u: zero-extends a region; -8, -6 width or height below
// 1, -14 step below 1. reorderZigzagToNatural16u: dst[k] = src[zz(k)].
#define VQ_DCT_FORMS                                                                                               \
    int32_t quantForwardTablePrepare(const uint8_t* table, uint16_t* reciprocals);                                \
    int32_t dctQuantForward8x8(const uint8_t* src, int32_t srcStep, int16_t* coefficients,                       \
                               const uint16_t* reciprocals);                                                      \
    int32_t dequantDctInverse8x8(const int16_t* coefficients, uint8_t* dst, int32_t dstStep,                     \
                                 const int16_t* multipliers);                                                     \
    void forwardDct8x8(const int16_t* src, int16_t* dst);                                                         \
    int32_t inverseDct8x8To8u(const int16_t* src, uint8_t* dst, int32_t dstStep, int16_t level, uint8_t lower,  \
                              uint8_t upper);                                                                     \
    int32_t divideConstantByVector16u(const uint16_t* src, uint32_t c, uint16_t* dst, int32_t count);            \
    int32_t convertRegion8uTo16u(const uint8_t* src, int32_t srcStep, uint16_t* dst, int32_t dstStep,            \
                                 int32_t width, int32_t height);                                                  \
    int32_t reorderZigzagToNatural16u(const uint16_t* src, uint16_t* dst);

VQ_DECLARE_FORMS(VQ_DCT_FORMS)

using QuantTablePrepareFn = int32_t (*)(const uint8_t*, uint16_t*);
using DctQuantForwardFn = int32_t (*)(const uint8_t*, int32_t, int16_t*, const uint16_t*);
using DequantDctInverseFn = int32_t (*)(const int16_t*, uint8_t*, int32_t, const int16_t*);
using ForwardDctFn = void (*)(const int16_t*, int16_t*);
using InverseDctTo8uFn = int32_t (*)(const int16_t*, uint8_t*, int32_t, int16_t, uint8_t, uint8_t);
using DivideConstantFn = int32_t (*)(const uint16_t*, uint32_t, uint16_t*, int32_t);
using ConvertRegionFn = int32_t (*)(const uint8_t*, int32_t, uint16_t*, int32_t, int32_t, int32_t);
using ReorderFn = int32_t (*)(const uint16_t*, uint16_t*);

extern const QuantTablePrepareFn quantForwardTablePrepareTable[6];
extern const DctQuantForwardFn dctQuantForward8x8Table[6];
extern const DequantDctInverseFn dequantDctInverse8x8Table[6];
extern const ForwardDctFn forwardDct8x8Table[6];
extern const InverseDctTo8uFn inverseDct8x8To8uTable[6];
extern const DivideConstantFn divideConstantByVector16uTable[6];
extern const ConvertRegionFn convertRegion8uTo16uTable[6];
extern const ReorderFn reorderZigzagToNatural16uTable[6];

namespace prim::jpeg_dct {
// Zig-zag position of natural index k.
extern const int32_t kZigzagOfNatural[64];

inline int16_t sat16(int32_t v) {
    return static_cast<int16_t>(v < -32768 ? -32768 : (v > 32767 ? 32767 : v));
}

// p / 32768 rounded to nearest, ties to even, saturated: the quantising
// multiply of a coefficient by its reciprocal.
inline int16_t quantise(uint16_t reciprocal, int16_t coefficient) {
    const int32_t p = static_cast<int32_t>(reciprocal) * coefficient;
    const int32_t b = (p >> 15) & 1;
    return sat16(static_cast<int32_t>((static_cast<int64_t>(p) + 16383 + b) >> 15));
}

// Checks and the shared steps of the three primitives; each path passes its
// own transform and table operations.
template <void (*Fdct)(const int16_t*, int16_t*)>
int32_t dctQuantForwardBody(const uint8_t* src, int32_t srcStep, int16_t* coefficients, const uint16_t* reciprocals) {
    if (!src || !coefficients) return primErrNullPtr;
    if (srcStep < 1) return primErrStep;
    if (!reciprocals) return primErrNullPtr;
    for (int32_t r = 0; r < 8; ++r)
        for (int32_t c = 0; c < 8; ++c)
            coefficients[8 * r + c] = static_cast<int16_t>(src[static_cast<intptr_t>(r) * srcStep + c] - 128);
    Fdct(coefficients, coefficients);
    for (int32_t k = 0; k < 64; ++k) coefficients[k] = quantise(reciprocals[k], coefficients[k]);
    return primNoErr;
}

template <int32_t (*Idct)(const int16_t*, uint8_t*, int32_t, int16_t, uint8_t, uint8_t)>
int32_t dequantDctInverseBody(const int16_t* coefficients, uint8_t* dst, int32_t dstStep, const int16_t* multipliers) {
    if (!coefficients || !dst) return primErrNullPtr;
    if (dstStep < 1) return primErrStep;
    if (!multipliers) return primErrNullPtr;
    alignas(32) int16_t work[64];
    for (int32_t k = 0; k < 64; ++k) work[k] = sat16(static_cast<int32_t>(coefficients[k]) * multipliers[k]);
    Idct(work, dst, dstStep, 128, 0, 255);
    return primNoErr;
}

template <int32_t (*Widen)(const uint8_t*, int32_t, uint16_t*, int32_t, int32_t, int32_t),
          int32_t (*Reorder)(const uint16_t*, uint16_t*),
          int32_t (*Divide)(const uint16_t*, uint32_t, uint16_t*, int32_t)>
int32_t quantTablePrepareBody(const uint8_t* table, uint16_t* reciprocals) {
    if (!table || !reciprocals) return primErrNullPtr;
    uint16_t work[64];
    int32_t st = Widen(table, 8, work, 16, 8, 8);
    if (st != primNoErr) return st;
    st = Reorder(work, reciprocals);
    if (st != primNoErr) return st;
    return Divide(reciprocals, 32768, reciprocals, 64);
}

inline int32_t checkWiden(const void* src, int32_t srcStep, const void* dst, int32_t dstStep, int32_t width,
                          int32_t height) {
    if (!src || !dst) return primErrNullPtr;
    if (width < 1 || height < 1) return primErrSize;
    if (srcStep < 1 || dstStep < 1) return primErrStep;
    return primNoErr;
}
} // namespace prim::jpeg_dct
