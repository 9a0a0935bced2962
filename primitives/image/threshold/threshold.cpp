// Threshold to a value: the generic forms (four pixels per 32-bit word with
// a replace mask, the reference), the tables and the public entry. The
// processor-path forms are in image_p<N>.cpp.
#include "primitives/image/threshold/threshold.h"
#include "primitives/image/threshold/threshold_kernels.h"

#include "primitives/core/rows.h"

namespace prim::generic {
namespace {

inline uint8_t onePixel(uint8_t p, uint8_t t, uint8_t v, bool greater) {
    return (greater ? p > t : p < t) ? v : p;
}

void thresholdRows(const uint8_t* src, int32_t srcStep, uint8_t* dst, int32_t dstStep, int32_t w, int32_t h,
                   uint8_t t, uint8_t v, bool greater) {
    const uint32_t valueWord = v * 0x01010101u;
    for (int32_t y = 0; y < h; ++y) {
        const uint8_t* s = rowAt(src, y, srcStep);
        uint8_t* d = rowAt(dst, y, dstStep);
        int32_t i = 0;
        for (; i < w && (reinterpret_cast<uintptr_t>(d + i) & 3) != 0; ++i)
            d[i] = onePixel(s[i], t, v, greater);
        for (; w - i >= 4; i += 4) {
            uint32_t word;
            __builtin_memcpy(&word, s + i, 4);
            uint32_t mask = 0;
            for (int k = 0; k < 4; ++k) {
                const int32_t p = static_cast<int32_t>((word >> (8 * k)) & 0xFF);
                const bool replace = greater ? p - t - 1 >= 0 : p - t < 0;
                mask |= replace ? 0xFFu << (8 * k) : 0u;
            }
            const uint32_t out = (valueWord & mask) | (word & ~mask);
            __builtin_memcpy(d + i, &out, 4);
        }
        for (; i < w; ++i)
            d[i] = onePixel(s[i], t, v, greater);
    }
}

} // namespace

#include "primitives/image/threshold/threshold_forms.inl"

} // namespace prim::generic

// The SSE3 kernel serves paths 3 to 5: their code would be the same.
const ThresholdInPlace8uFn thresholdLessValInPlace8uC1Table[6] = {
    prim::generic::thresholdLessValInPlace8uC1, prim::p1::thresholdLessValInPlace8uC1,
    prim::p2::thresholdLessValInPlace8uC1,      prim::p2::thresholdLessValInPlace8uC1,
    prim::p2::thresholdLessValInPlace8uC1,      prim::p2::thresholdLessValInPlace8uC1};
const ThresholdByOp8uFn thresholdValByOp8uC1Table[6] = {
    prim::generic::thresholdValByOp8uC1, prim::p1::thresholdValByOp8uC1, prim::p2::thresholdValByOp8uC1,
    prim::p2::thresholdValByOp8uC1,      prim::p2::thresholdValByOp8uC1, prim::p2::thresholdValByOp8uC1};

int32_t thresholdLessValInPlace8uC1(uint8_t* p, int32_t step, int32_t w, int32_t h, int32_t threshold,
                                    int32_t value) {
    return VQ_DISPATCH(thresholdLessValInPlace8uC1Table)(p, step, w, h, threshold, value);
}

const ThresholdKernelSet* thresholdKernelSet(int path) {
    if (path <= 0 || path >= kProcessorPathCount)
        return nullptr;
    return path == 1 ? &prim::p1::thresholdKernels : &prim::p2::thresholdKernels;
}
