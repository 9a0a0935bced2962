// Constant arithmetic: the generic forms (plain per-sample loops, the
// reference), the tables and the public entries. The processor-path forms
// are in image_p<N>.cpp.
#include "primitives/image/arith/arith.h"

#include "primitives/core/rows.h"
#include "primitives/core/set.h"
#include "primitives/image/arith/arith_rules.h"
#include "primitives/vector/rules.h"

namespace prim::generic {
namespace {

constexpr int kFillPath = 0;

void mul32fRow(float value, float* row, int32_t n) {
    for (int32_t i = 0; i < n; ++i)
        vrule::stAt(row, i, vrule::ldAt(row, i) * value);
}

template <int K>
void mul16sRow(int16_t c, int16_t* row, int32_t n, int32_t k) {
    for (int32_t i = 0; i < n; ++i)
        vrule::stAt(row, i, arule::mul16s<K>(int32_t(c) * vrule::ldAt(row, i), k));
}

template <int Op, int K>
void arith8uRow(const uint8_t* src, uint8_t* dst, int32_t n, int32_t c, int32_t k) {
    for (int32_t i = 0; i < n; ++i)
        dst[i] = arule::scale8u<K>(arule::exact8u<Op>(dst[i], src ? src[i] : 0, c), k);
}

} // namespace

#include "primitives/image/arith/arith_forms.inl"

} // namespace prim::generic

// The SSE3 forms serve paths 3 to 5: their code would be the same
// instructions (the vector float multiply of each of those paths gives the
// same bits, so path 2's serves them too).
#define VQ_IMAGE_ARITH_TABLE(name)                                                                          \
    {                                                                                                       \
        prim::generic::name, prim::p1::name, prim::p2::name, prim::p2::name, prim::p2::name, prim::p2::name \
    }

const ImageMulConst32fFn mulConstInPlace32fC1Table[6] = VQ_IMAGE_ARITH_TABLE(mulConstInPlace32fC1);
const ImageMulConst16sFn mulConstInPlace16sC1ScaledTable[6] = VQ_IMAGE_ARITH_TABLE(mulConstInPlace16sC1Scaled);
const ImageMulConst8uFn mulConstInPlace8uC1ScaledTable[6] = VQ_IMAGE_ARITH_TABLE(mulConstInPlace8uC1Scaled);
const ImageArith8uFn subInPlace8uC1ScaledTable[6] = VQ_IMAGE_ARITH_TABLE(subInPlace8uC1Scaled);
const ImageArith8uFn addInPlace8uC1ScaledTable[6] = VQ_IMAGE_ARITH_TABLE(addInPlace8uC1Scaled);

int32_t mulConstInPlace32fC1(float value, float* p, int32_t step, int32_t w, int32_t h) {
    return VQ_DISPATCH(mulConstInPlace32fC1Table)(value, p, step, w, h);
}
int32_t mulConstInPlace16sC1Scaled(int16_t value, int16_t* p, int32_t step, int32_t w, int32_t h, int32_t sf) {
    return VQ_DISPATCH(mulConstInPlace16sC1ScaledTable)(value, p, step, w, h, sf);
}
int32_t mulConstInPlace8uC1Scaled(int32_t value, uint8_t* p, int32_t step, int32_t w, int32_t h, int32_t sf) {
    return VQ_DISPATCH(mulConstInPlace8uC1ScaledTable)(value, p, step, w, h, sf);
}
int32_t subInPlace8uC1Scaled(const uint8_t* src, int32_t srcStep, uint8_t* p, int32_t step, int32_t w, int32_t h,
                             int32_t sf) {
    return VQ_DISPATCH(subInPlace8uC1ScaledTable)(src, srcStep, p, step, w, h, sf);
}
int32_t addInPlace8uC1Scaled(const uint8_t* src, int32_t srcStep, uint8_t* p, int32_t step, int32_t w, int32_t h,
                             int32_t sf) {
    return VQ_DISPATCH(addInPlace8uC1ScaledTable)(src, srcStep, p, step, w, h, sf);
}
