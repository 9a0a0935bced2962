#include "primitives/j2k/component.h"

#include "primitives/j2k/component_body.h"

namespace {

using namespace j2k_component;

template <class T, void (*One)(T*, T*, T*)>
void scalarRow(T* p0, T* p1, T* p2, int32_t width) {
    samplesFrom<T, One>(p0, p1, p2, 0, width);
}

// Single-precision weights, products and sums in double, one rounding per result.
void ictSample(float* p0, float* p1, float* p2) {
    const double wCrR = 1.402f, wCbG = 0.34413f, wCrG = 0.71414f, wCbB = 1.772f;
    const double Y = *p0, Cb = *p1, Cr = *p2;
    *p0 = static_cast<float>(wCrR * Cr + Y);
    *p1 = static_cast<float>((Y - wCbG * Cb) - wCrG * Cr);
    *p2 = static_cast<float>(wCbB * Cb + Y);
}

} // namespace

namespace prim::generic {

int32_t forwardRct32s(int32_t* const* planes, int32_t step, int32_t width, int32_t height) {
    return eachRow(planes, step, width, height, scalarRow<int32_t, forwardRctSample>);
}
int32_t inverseRct32s(int32_t* const* planes, int32_t step, int32_t width, int32_t height) {
    return eachRow(planes, step, width, height, scalarRow<int32_t, inverseRctSample>);
}
int32_t inverseRct16s(int16_t* const* planes, int32_t step, int32_t width, int32_t height) {
    return eachRow(planes, step, width, height, scalarRow<int16_t, inverseRct16Sample>);
}
int32_t inverseIct32f(float* const* planes, int32_t step, int32_t width, int32_t height) {
    return eachRow(planes, step, width, height, scalarRow<float, ictSample>);
}
int32_t inverseIct16s(int16_t* const* planes, int32_t step, int32_t width, int32_t height) {
    return eachRow(planes, step, width, height, scalarRow<int16_t, ict16Sample<false>>);
}

} // namespace prim::generic

const Rct32sFn forwardRct32sTable[6] = VQ_PATH_FORMS(forwardRct32s);
const Rct32sFn inverseRct32sTable[6] = VQ_PATH_FORMS(inverseRct32s);
// One body serves paths 4 and 5.
const Planes16sFn inverseRct16sTable[6] = {prim::generic::inverseRct16s, prim::p1::inverseRct16s,
                                           prim::p2::inverseRct16s,      prim::p3::inverseRct16s,
                                           prim::p4::inverseRct16s,      prim::p4::inverseRct16s};
const Ict32fFn inverseIct32fTable[6] = VQ_PATH_FORMS(inverseIct32f);
const Planes16sFn inverseIct16sTable[6] = VQ_PATH_FORMS(inverseIct16s);

int32_t forwardRct32s(int32_t* const planes[3], int32_t step, int32_t width, int32_t height) {
    return VQ_DISPATCH(forwardRct32sTable)(planes, step, width, height);
}
int32_t inverseRct32s(int32_t* const planes[3], int32_t step, int32_t width, int32_t height) {
    return VQ_DISPATCH(inverseRct32sTable)(planes, step, width, height);
}
int32_t inverseRct16s(int16_t* const planes[3], int32_t step, int32_t width, int32_t height) {
    return VQ_DISPATCH(inverseRct16sTable)(planes, step, width, height);
}
int32_t inverseIct32f(float* const planes[3], int32_t step, int32_t width, int32_t height) {
    return VQ_DISPATCH(inverseIct32fTable)(planes, step, width, height);
}
int32_t inverseIct16s(int16_t* const planes[3], int32_t step, int32_t width, int32_t height) {
    return VQ_DISPATCH(inverseIct16sTable)(planes, step, width, height);
}
