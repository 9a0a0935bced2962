// Separable filters: the generic forms (the reference: sums pixel by pixel,
// the reciprocal in double precision), the work-memory helpers, the tables
// and the public entries. The processor-path forms are in image_p1.cpp.
#include "primitives/image/filter/filter.h"
#include "primitives/image/filter/filter_kernels.h"

#include "primitives/core/memory.h"
#include "primitives/core/processor.h"
#include "primitives/core/rows.h"
#include "primitives/image/filter/filter_rules.h"

namespace prim::generic {
namespace {

struct Divider {
    frule::Division division;
    double reciprocal;

    explicit Divider(int32_t divisor)
        : division(frule::divisionOf(divisor)), reciprocal(1.0 / static_cast<double>(divisor)) {}

    uint8_t operator()(int32_t s) const {
        switch (division.mode) {
        case frule::kPlain: return static_cast<uint8_t>(s < 0 ? 0 : (s > 255 ? 255 : s));
        case frule::kShift: {
            if (s <= 0)
                return 0;
            const int32_t k = division.shift;
            const int32_t q = s >> k, r = s & ((int32_t(1) << k) - 1);
            const int32_t v = q + ((r + (q & 1) + (int32_t(1) << (k - 1)) - 1) >> k);
            return static_cast<uint8_t>(v > 255 ? 255 : v);
        }
        default: {
            const double w = static_cast<double>(s) * reciprocal;
            if (w >= 255.0)
                return 255;
            if (w <= 0.5)
                return 0;
            int32_t r = truncateToInt(w + 0.5);
            if (static_cast<double>(r) - w == 0.5 && (r & 1) != 0)
                --r;
            return static_cast<uint8_t>(r);
        }
        }
    }
};

} // namespace

int32_t filterRow8uC1(const uint8_t* src, int32_t srcStep, uint8_t* dst, int32_t dstStep, PrimSize roi,
                      const int32_t* kernel, int32_t n, int32_t anchor, int32_t divisor) {
    const int32_t status = frule::checkArguments(src, srcStep, dst, dstStep, roi.width, roi.height, kernel, n,
                                                 divisor, int64_t(roi.width) + n - 1);
    if (status != primNoErr)
        return status;
    const Divider divide(divisor);
    for (int32_t y = 0; y < roi.height; ++y) {
        const uint8_t* s = rowAt(src, y, srcStep) + (int64_t(anchor) - n + 1);
        uint8_t* d = rowAt(dst, y, dstStep);
        for (int32_t x = 0; x < roi.width; ++x)
            d[x] = divide(frule::convolveOne(kernel, n, [&](int32_t t) { return uint32_t(s[x + t]); }));
    }
    return primNoErr;
}

int32_t filterColumn8uC1(const uint8_t* src, int32_t srcStep, uint8_t* dst, int32_t dstStep, int32_t w, int32_t h,
                         const int32_t* kernel, int32_t n, int32_t anchor, int32_t divisor) {
    const int32_t status = frule::checkArguments(src, srcStep, dst, dstStep, w, h, kernel, n, divisor, w);
    if (status != primNoErr)
        return status;
    const Divider divide(divisor);
    for (int32_t y = 0; y < h; ++y) {
        const uint8_t* top = rowAt(src, int64_t(y) + anchor - n + 1, srcStep);
        uint8_t* d = rowAt(dst, y, dstStep);
        for (int32_t x = 0; x < w; ++x)
            d[x] = divide(frule::convolveOne(kernel, n, [&](int32_t i) { return uint32_t(rowAt(top, i, srcStep)[x]); }));
    }
    return primNoErr;
}

} // namespace prim::generic

int64_t filterRowWorkElements(int32_t width, int32_t kernelSize) {
    return 4 * int64_t(kernelSize) + ((int64_t(width) + 3) & ~int64_t(3));
}

int64_t filterColumnWorkElements(int32_t width, int32_t kernelSize) {
    return (2 * int64_t(width) + 8 * int64_t(kernelSize) + 10) & ~int64_t(3);
}

int32_t* allocFilterWork(int64_t elements) {
    if (elements <= 0 || elements > INT32_MAX)
        return nullptr;
    return allocVector32s(static_cast<int32_t>(elements));
}

// Every processor path runs the same code (SSE2 instructions only): the
// packed routes' pair multiply-adds and the single-precision division.
const FilterRow8uFn filterRow8uC1Table[6] = {prim::generic::filterRow8uC1, prim::p1::filterRow8uC1,
                                             prim::p1::filterRow8uC1,      prim::p1::filterRow8uC1,
                                             prim::p1::filterRow8uC1,      prim::p1::filterRow8uC1};
const FilterColumn8uFn filterColumn8uC1Table[6] = {prim::generic::filterColumn8uC1, prim::p1::filterColumn8uC1,
                                                   prim::p1::filterColumn8uC1,      prim::p1::filterColumn8uC1,
                                                   prim::p1::filterColumn8uC1,      prim::p1::filterColumn8uC1};

int32_t filterRow8uC1(const uint8_t* src, int32_t srcStep, uint8_t* dst, int32_t dstStep, PrimSize roi,
                      const int32_t* kernel, int32_t kernelSize, int32_t anchor, int32_t divisor) {
    return VQ_DISPATCH(filterRow8uC1Table)(src, srcStep, dst, dstStep, roi, kernel, kernelSize, anchor, divisor);
}
int32_t filterColumn8uC1(const uint8_t* src, int32_t srcStep, uint8_t* dst, int32_t dstStep, int32_t width,
                         int32_t height, const int32_t* kernel, int32_t kernelSize, int32_t anchor, int32_t divisor) {
    return VQ_DISPATCH(filterColumn8uC1Table)(src, srcStep, dst, dstStep, width, height, kernel, kernelSize, anchor,
                                              divisor);
}

const FilterKernelSet* filterKernelSet(int path) {
    return path > 0 && path < kProcessorPathCount ? &prim::p1::filterKernels : nullptr;
}
