#include "primitives/vector/add_sub.h"

#include "primitives/vector/copy.h"
#include "primitives/vector/rules.h"

namespace prim::generic {
namespace {

// The reference: one element at a time in increasing index order, each
// computed from the exact 64-bit sum or difference.
template <class T, bool Sub>
void scaledKernel(const T* x, const T* y, T, T* d, int32_t n, int32_t sf) {
    for (int32_t i = 0; i < n; ++i) {
        const int64_t a = vrule::ldAt(x, i), b = vrule::ldAt(y, i);
        vrule::stAt(d, i, vrule::scaleRound<T>(Sub ? a - b : a + b, sf));
    }
}

// Each element is rounded to single precision when it is stored, before the
// next one is read.
template <int Op>
void floatKernel(const float* x, const float* y, float* d, int32_t n) {
    for (int32_t i = 0; i < n; ++i) {
        const float a = vrule::ldAt(x, i), b = vrule::ldAt(y, i);
        vrule::stAt(d, i, Op == 0 ? a + b : a - b);
    }
}

void scale32f(const float* src, float value, float* dst, int32_t n) {
    for (int32_t i = 0; i < n; ++i)
        vrule::stAt(dst, i, vrule::ldAt(src, i) * value);
}

} // namespace

void scaleInPlace32f(float value, float* srcDst, int32_t len) { scale32f(srcDst, value, srcDst, len); }

#define VQ_ADD_SUB_FLOAT_FORMS 1
#include "primitives/vector/add_sub_forms.inl"
#undef VQ_ADD_SUB_FLOAT_FORMS

} // namespace prim::generic

const AddSubInPlace16sFn addVectorInPlace16sScaledTable[6] = VQ_PATH_FORMS(addVectorInPlace16sScaled);
const AddSub16sFn addVector16sScaledTable[6] = VQ_PATH_FORMS(addVector16sScaled);
const AddSubInPlace16sFn subVectorInPlace16sScaledTable[6] = VQ_PATH_FORMS(subVectorInPlace16sScaled);
const AddSub16sFn subVector16sScaledTable[6] = VQ_PATH_FORMS(subVector16sScaled);
const AddSubInPlace32sFn addVectorInPlace32sScaledTable[6] = VQ_PATH_FORMS(addVectorInPlace32sScaled);
const AddSub32sFn addVector32sScaledTable[6] = VQ_PATH_FORMS(addVector32sScaled);
const AddSubInPlace32sFn subVectorInPlace32sScaledTable[6] = VQ_PATH_FORMS(subVectorInPlace32sScaled);
const AddSub32sFn subVector32sScaledTable[6] = VQ_PATH_FORMS(subVector32sScaled);
// The float sums and differences of paths 4 and 5 are those of path 3; the
// in-place ones of path 2 are those of path 1.
const AddSub32fFn addVector32fTable[6] = {prim::generic::addVector32f, prim::p1::addVector32f, prim::p2::addVector32f,
                                          prim::p3::addVector32f,      prim::p3::addVector32f, prim::p3::addVector32f};
const AddSub32fFn subVector32fTable[6] = {prim::generic::subVector32f, prim::p1::subVector32f, prim::p2::subVector32f,
                                          prim::p3::subVector32f,      prim::p3::subVector32f, prim::p3::subVector32f};
const AddSubInPlace32fFn addVectorInPlace32fTable[6] = {
    prim::generic::addVectorInPlace32f, prim::p1::addVectorInPlace32f, prim::p1::addVectorInPlace32f,
    prim::p3::addVectorInPlace32f,      prim::p3::addVectorInPlace32f, prim::p3::addVectorInPlace32f};
const AddSubInPlace32fFn subVectorInPlace32fTable[6] = {
    prim::generic::subVectorInPlace32f, prim::p1::subVectorInPlace32f, prim::p1::subVectorInPlace32f,
    prim::p3::subVectorInPlace32f,      prim::p3::subVectorInPlace32f, prim::p3::subVectorInPlace32f};
const MulConst32fFn mulVectorConst32fTable[6] = VQ_PATH_FORMS(mulVectorConst32f);
const MulConstInPlace32fFn mulVectorConstInPlace32fTable[6] = VQ_PATH_FORMS(mulVectorConstInPlace32f);
const ScaleInPlace32fFn scaleInPlace32fTable[6] = VQ_PATH_FORMS(scaleInPlace32f);

int32_t addVectorInPlace16sScaled(const int16_t* src, int16_t* srcDst, int32_t len, int32_t sf) {
    return VQ_DISPATCH(addVectorInPlace16sScaledTable)(src, srcDst, len, sf);
}
int32_t addVector16sScaled(const int16_t* src1, const int16_t* src2, int16_t* dst, int32_t len, int32_t sf) {
    return VQ_DISPATCH(addVector16sScaledTable)(src1, src2, dst, len, sf);
}
int32_t subVectorInPlace16sScaled(const int16_t* src, int16_t* srcDst, int32_t len, int32_t sf) {
    return VQ_DISPATCH(subVectorInPlace16sScaledTable)(src, srcDst, len, sf);
}
int32_t subVector16sScaled(const int16_t* src1, const int16_t* src2, int16_t* dst, int32_t len, int32_t sf) {
    return VQ_DISPATCH(subVector16sScaledTable)(src1, src2, dst, len, sf);
}
int32_t addVectorInPlace32sScaled(const int32_t* src, int32_t* srcDst, int32_t len, int32_t sf) {
    return VQ_DISPATCH(addVectorInPlace32sScaledTable)(src, srcDst, len, sf);
}
int32_t addVector32sScaled(const int32_t* src1, const int32_t* src2, int32_t* dst, int32_t len, int32_t sf) {
    return VQ_DISPATCH(addVector32sScaledTable)(src1, src2, dst, len, sf);
}
int32_t subVectorInPlace32sScaled(const int32_t* src, int32_t* srcDst, int32_t len, int32_t sf) {
    return VQ_DISPATCH(subVectorInPlace32sScaledTable)(src, srcDst, len, sf);
}
int32_t subVector32sScaled(const int32_t* src1, const int32_t* src2, int32_t* dst, int32_t len, int32_t sf) {
    return VQ_DISPATCH(subVector32sScaledTable)(src1, src2, dst, len, sf);
}
int32_t addVector32f(const float* src1, const float* src2, float* dst, int32_t len) {
    return VQ_DISPATCH(addVector32fTable)(src1, src2, dst, len);
}
int32_t subVector32f(const float* src1, const float* src2, float* dst, int32_t len) {
    return VQ_DISPATCH(subVector32fTable)(src1, src2, dst, len);
}
int32_t addVectorInPlace32f(const float* src, float* srcDst, int32_t len) {
    return VQ_DISPATCH(addVectorInPlace32fTable)(src, srcDst, len);
}
int32_t subVectorInPlace32f(const float* src, float* srcDst, int32_t len) {
    return VQ_DISPATCH(subVectorInPlace32fTable)(src, srcDst, len);
}
int32_t mulVectorConst32f(const float* src, float value, float* dst, int32_t len) {
    return VQ_DISPATCH(mulVectorConst32fTable)(src, value, dst, len);
}
int32_t mulVectorConstInPlace32f(float value, float* srcDst, int32_t len) {
    return VQ_DISPATCH(mulVectorConstInPlace32fTable)(value, srcDst, len);
}
