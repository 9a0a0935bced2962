// Add and subtract forms of one processor path (included by
// vector_p<N>.cpp): the integer kernels are those of scaled_lanes.h, the
// float kernels below. Every kernel gives the generic results bit for bit.

#include "primitives/vector/add_sub.h"
#include "primitives/vector/copy.h"
#include "primitives/vector/rules.h"
#include "primitives/vector/scaled_lanes.h"

namespace prim::VQ_PATH_NS {
namespace {

// ---- float: four lanes ------------------------------------------------------

template <int Op>
void floatKernel(const float* x, const float* y, float* d, int32_t n) {
    eachBlock<4>(
        d, n,
        [&](int32_t i) {
            const __m128 a = loadBlockPs(x + i), b = loadBlockPs(y + i);
            storeBlockPs(d + i, Op == 0 ? _mm_add_ps(a, b) : _mm_sub_ps(a, b));
        },
        [&](int32_t i) {
            const __m128 a = _mm_set_ss(vrule::ldAt(x, i)), b = _mm_set_ss(vrule::ldAt(y, i));
            vrule::stAt(d, i, _mm_cvtss_f32(Op == 0 ? _mm_add_ss(a, b) : _mm_sub_ss(a, b)));
        });
}

void scale32f(const float* src, float value, float* dst, int32_t n) {
    const __m128 v = _mm_set1_ps(value);
    eachBlock<4>(
        dst, n, [&](int32_t i) { storeBlockPs(dst + i, _mm_mul_ps(loadBlockPs(src + i), v)); },
        [&](int32_t i) { vrule::stAt(dst, i, _mm_cvtss_f32(_mm_mul_ss(_mm_set_ss(vrule::ldAt(src, i)), v))); });
}

} // namespace

void scaleInPlace32f(float value, float* srcDst, int32_t len) { scale32f(srcDst, value, srcDst, len); }

// Paths 4 and 5 run the float sums and differences of path 3, path 2 the
// in-place ones of path 1: those forms are not built again here.
#define VQ_ADD_SUB_FLOAT_FORMS (VQ_PATH_LEVEL <= 3)
#include "primitives/vector/add_sub_forms.inl"
#undef VQ_ADD_SUB_FLOAT_FORMS

} // namespace prim::VQ_PATH_NS
