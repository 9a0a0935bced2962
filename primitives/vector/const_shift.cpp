#include "primitives/vector/const_shift.h"

#include "primitives/vector/copy.h"
#include "primitives/vector/rules.h"

namespace prim::generic {
namespace {

using vrule::kShiftLeft;
using vrule::kShiftRight;

// The reference loops: one element at a time in increasing index order.
template <class T, bool Sub>
void scaledKernel(const T* x, const T*, T c, T* d, int32_t n, int32_t sf) {
    for (int32_t i = 0; i < n; ++i) {
        const int64_t a = vrule::ldAt(x, i);
        vrule::stAt(d, i, vrule::scaleRound<T>(Sub ? a - c : a + c, sf));
    }
}

template <class T, int Kind>
void shiftElements(const T* src, T* dst, int32_t n, int32_t s) {
    for (int32_t i = 0; i < n; ++i)
        vrule::stAt(dst, i, vrule::shiftOne<T, Kind>(vrule::ldAt(src, i), s));
}

} // namespace

#include "primitives/vector/const_shift_forms.inl"

} // namespace prim::generic

const ConstInPlace32sFn subVectorConstInPlace32sScaledTable[6] = VQ_PATH_FORMS(subVectorConstInPlace32sScaled);
const Const32sFn addVectorConst32sScaledTable[6] = VQ_PATH_FORMS(addVectorConst32sScaled);
const ConstInPlace32sFn addVectorConstInPlace32sScaledTable[6] = VQ_PATH_FORMS(addVectorConstInPlace32sScaled);
const Const16sFn addVectorConst16sScaledTable[6] = VQ_PATH_FORMS(addVectorConst16sScaled);
const ConstInPlace16sFn addVectorConstInPlace16sScaledTable[6] = VQ_PATH_FORMS(addVectorConstInPlace16sScaled);
const Shift32sFn shiftLeftVectorConst32sTable[6] = VQ_PATH_FORMS(shiftLeftVectorConst32s);
const ShiftInPlace32sFn shiftRightVectorConstInPlace32sTable[6] = VQ_PATH_FORMS(shiftRightVectorConstInPlace32s);
const Shift32sFn shiftRightVectorConst32sTable[6] = VQ_PATH_FORMS(shiftRightVectorConst32s);
const ShiftInPlace16sFn shiftLeftVectorConstInPlace16sTable[6] = VQ_PATH_FORMS(shiftLeftVectorConstInPlace16s);
const Shift16sFn shiftRightVectorConst16sTable[6] = VQ_PATH_FORMS(shiftRightVectorConst16s);
const ShiftInPlace16sFn shiftRightVectorConstInPlace16sTable[6] = VQ_PATH_FORMS(shiftRightVectorConstInPlace16s);

int32_t subVectorConstInPlace32sScaled(int32_t c, int32_t* srcDst, int32_t len, int32_t sf) {
    return VQ_DISPATCH(subVectorConstInPlace32sScaledTable)(c, srcDst, len, sf);
}
int32_t addVectorConst32sScaled(const int32_t* src, int32_t c, int32_t* dst, int32_t len, int32_t sf) {
    return VQ_DISPATCH(addVectorConst32sScaledTable)(src, c, dst, len, sf);
}
int32_t addVectorConstInPlace32sScaled(int32_t c, int32_t* srcDst, int32_t len, int32_t sf) {
    return VQ_DISPATCH(addVectorConstInPlace32sScaledTable)(c, srcDst, len, sf);
}
int32_t addVectorConst16sScaled(const int16_t* src, int32_t c, int16_t* dst, int32_t len, int32_t sf) {
    return VQ_DISPATCH(addVectorConst16sScaledTable)(src, c, dst, len, sf);
}
int32_t addVectorConstInPlace16sScaled(int32_t c, int16_t* srcDst, int32_t len, int32_t sf) {
    return VQ_DISPATCH(addVectorConstInPlace16sScaledTable)(c, srcDst, len, sf);
}
int32_t shiftLeftVectorConst32s(const int32_t* src, int32_t shift, int32_t* dst, int32_t len) {
    return VQ_DISPATCH(shiftLeftVectorConst32sTable)(src, shift, dst, len);
}
int32_t shiftRightVectorConstInPlace32s(int32_t shift, int32_t* data, int32_t len) {
    return VQ_DISPATCH(shiftRightVectorConstInPlace32sTable)(shift, data, len);
}
int32_t shiftRightVectorConst32s(const int32_t* src, int32_t shift, int32_t* dst, int32_t len) {
    return VQ_DISPATCH(shiftRightVectorConst32sTable)(src, shift, dst, len);
}
int32_t shiftLeftVectorConstInPlace16s(int32_t shift, int16_t* data, int32_t len) {
    return VQ_DISPATCH(shiftLeftVectorConstInPlace16sTable)(shift, data, len);
}
int32_t shiftRightVectorConst16s(const int16_t* src, int32_t shift, int16_t* dst, int32_t len) {
    return VQ_DISPATCH(shiftRightVectorConst16sTable)(src, shift, dst, len);
}
int32_t shiftRightVectorConstInPlace16s(int32_t shift, int16_t* data, int32_t len) {
    return VQ_DISPATCH(shiftRightVectorConstInPlace16sTable)(shift, data, len);
}
