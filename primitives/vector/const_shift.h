// Constant add and subtract with scale factors, and shifts by a constant bit
// count, on vectors of 16-bit and 32-bit signed integers.
//
// Constant forms: v = x + c (or x - c) exact, multiplied by 2^-sf, rounded to
// nearest with ties to even and saturated. A 16-bit constant is the low 16
// bits of its argument, read as signed. Constant 0 with sf 0 copies (in
// place: does nothing); sf above the element width clears the destination
// without reading the source.
//
// Shifts: left shifts keep the low bits (no saturation), right shifts are
// arithmetic; a count at or beyond the element width gives 0 (left) or the
// sign fill (right). Status: -8 null pointer, then -6 length of 0 or less,
// then -32 negative count; a count of 0 on a two-operand form, and a count
// beyond the width on the left shifts, is handed to the copy or zero routine
// of the path before the other tests, whose status is returned as it stands.
//
// The per-path kernel sets also hold shift kernels that no entry calls (8-bit
// and 16-bit logical, 16-bit left into a destination, 32-bit left in place);
// they take counts of 1 to 31 and expect a length of at least 1.
#pragma once

#include <cstdint>

#include "primitives/core/dispatch.h"
#include "primitives/core/forms.h"
#include "primitives/core/prim_types.h"

constexpr int32_t primErrShift = -32;

#define VQ_CONST_SHIFT_FORMS                                                                                      \
    int32_t subVectorConstInPlace32sScaled(int32_t c, int32_t* srcDst, int32_t len, int32_t sf);                  \
    int32_t addVectorConst32sScaled(const int32_t* src, int32_t c, int32_t* dst, int32_t len, int32_t sf);        \
    int32_t addVectorConstInPlace32sScaled(int32_t c, int32_t* srcDst, int32_t len, int32_t sf);                  \
    int32_t addVectorConst16sScaled(const int16_t* src, int32_t c, int16_t* dst, int32_t len, int32_t sf);        \
    int32_t addVectorConstInPlace16sScaled(int32_t c, int16_t* srcDst, int32_t len, int32_t sf);                  \
    int32_t shiftLeftVectorConst32s(const int32_t* src, int32_t shift, int32_t* dst, int32_t len);                \
    int32_t shiftRightVectorConstInPlace32s(int32_t shift, int32_t* data, int32_t len);                          \
    int32_t shiftRightVectorConst32s(const int32_t* src, int32_t shift, int32_t* dst, int32_t len);               \
    int32_t shiftLeftVectorConstInPlace16s(int32_t shift, int16_t* data, int32_t len);                           \
    int32_t shiftRightVectorConst16s(const int16_t* src, int32_t shift, int16_t* dst, int32_t len);               \
    int32_t shiftRightVectorConstInPlace16s(int32_t shift, int16_t* data, int32_t len);

#define VQ_SHIFT_KERNEL_FORMS                                                                       \
    void shiftLeftInPlace32s(int32_t shift, int32_t* data, int32_t count);                          \
    void shiftRightInPlace32s(int32_t shift, int32_t* data, int32_t count);                         \
    void shiftLeft32s(const int32_t* src, int32_t shift, int32_t* dst, int32_t count);              \
    void shiftRight32s(const int32_t* src, int32_t shift, int32_t* dst, int32_t count);             \
    void shiftLeftInPlace16s(int32_t shift, int16_t* data, int32_t count);                          \
    void shiftRightInPlace16s(int32_t shift, int16_t* data, int32_t count);                         \
    void shiftRightInPlace16u(int32_t shift, uint16_t* data, int32_t count);                        \
    void shiftLeft16s(const int16_t* src, int32_t shift, int16_t* dst, int32_t count);              \
    void shiftRight16s(const int16_t* src, int32_t shift, int16_t* dst, int32_t count);             \
    void shiftRight16u(const uint16_t* src, int32_t shift, uint16_t* dst, int32_t count);           \
    void shiftLeftInPlace8u(int32_t shift, uint8_t* data, int32_t count);                           \
    void shiftRightInPlace8u(int32_t shift, uint8_t* data, int32_t count);                          \
    void shiftLeft8u(const uint8_t* src, int32_t shift, uint8_t* dst, int32_t count);               \
    void shiftRight8u(const uint8_t* src, int32_t shift, uint8_t* dst, int32_t count);

VQ_DECLARE_FORMS(VQ_CONST_SHIFT_FORMS)

namespace prim::p1 { VQ_SHIFT_KERNEL_FORMS }
namespace prim::p2 { VQ_SHIFT_KERNEL_FORMS }
namespace prim::p3 { VQ_SHIFT_KERNEL_FORMS }
namespace prim::p4 { VQ_SHIFT_KERNEL_FORMS }
namespace prim::p5 { VQ_SHIFT_KERNEL_FORMS }

using ConstInPlace32sFn = int32_t (*)(int32_t, int32_t*, int32_t, int32_t);
using Const32sFn = int32_t (*)(const int32_t*, int32_t, int32_t*, int32_t, int32_t);
using ConstInPlace16sFn = int32_t (*)(int32_t, int16_t*, int32_t, int32_t);
using Const16sFn = int32_t (*)(const int16_t*, int32_t, int16_t*, int32_t, int32_t);
using Shift32sFn = int32_t (*)(const int32_t*, int32_t, int32_t*, int32_t);
using ShiftInPlace32sFn = int32_t (*)(int32_t, int32_t*, int32_t);
using Shift16sFn = int32_t (*)(const int16_t*, int32_t, int16_t*, int32_t);
using ShiftInPlace16sFn = int32_t (*)(int32_t, int16_t*, int32_t);

extern const ConstInPlace32sFn subVectorConstInPlace32sScaledTable[6];
extern const Const32sFn addVectorConst32sScaledTable[6];
extern const ConstInPlace32sFn addVectorConstInPlace32sScaledTable[6];
extern const Const16sFn addVectorConst16sScaledTable[6];
extern const ConstInPlace16sFn addVectorConstInPlace16sScaledTable[6];
extern const Shift32sFn shiftLeftVectorConst32sTable[6];
extern const ShiftInPlace32sFn shiftRightVectorConstInPlace32sTable[6];
extern const Shift32sFn shiftRightVectorConst32sTable[6];
extern const ShiftInPlace16sFn shiftLeftVectorConstInPlace16sTable[6];
extern const Shift16sFn shiftRightVectorConst16sTable[6];
extern const ShiftInPlace16sFn shiftRightVectorConstInPlace16sTable[6];

int32_t subVectorConstInPlace32sScaled(int32_t c, int32_t* srcDst, int32_t len, int32_t sf);
int32_t addVectorConst32sScaled(const int32_t* src, int32_t c, int32_t* dst, int32_t len, int32_t sf);
int32_t addVectorConstInPlace32sScaled(int32_t c, int32_t* srcDst, int32_t len, int32_t sf);
int32_t addVectorConst16sScaled(const int16_t* src, int32_t c, int16_t* dst, int32_t len, int32_t sf);
int32_t addVectorConstInPlace16sScaled(int32_t c, int16_t* srcDst, int32_t len, int32_t sf);
int32_t shiftLeftVectorConst32s(const int32_t* src, int32_t shift, int32_t* dst, int32_t len);
int32_t shiftRightVectorConstInPlace32s(int32_t shift, int32_t* data, int32_t len);
int32_t shiftRightVectorConst32s(const int32_t* src, int32_t shift, int32_t* dst, int32_t len);
int32_t shiftLeftVectorConstInPlace16s(int32_t shift, int16_t* data, int32_t len);
int32_t shiftRightVectorConst16s(const int16_t* src, int32_t shift, int16_t* dst, int32_t len);
int32_t shiftRightVectorConstInPlace16s(int32_t shift, int16_t* data, int32_t len);
