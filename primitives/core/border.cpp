#include "primitives/core/border.h"

#include "primitives/core/rows.h"

int32_t borderArgsStatus(const void* src, int32_t srcStep, PrimSize srcSize, const void* dst, int32_t dstStep,
                         PrimSize dstSize, int32_t top, int32_t left) {
    if (!src || !dst)
        return primErrNullPtr;
    if (srcStep <= 0 || dstStep <= 0)
        return primErrStep;
    if (srcSize.width <= 0 || srcSize.height <= 0 || dstSize.width <= 0 || dstSize.height <= 0 || top < 0 ||
        left < 0 || int64_t(dstSize.width) < int64_t(srcSize.width) + left ||
        int64_t(dstSize.height) < int64_t(srcSize.height) + top)
        return primErrSize;
    return primNoErr;
}

namespace prim::generic {

namespace {

void copyPixel(const uint8_t* s, uint8_t* d, int32_t bpp) {
    for (int32_t b = 0; b < bpp; ++b)
        d[b] = s[b];
}

// The reference: rows top..top+sh-1 from the source with replicated side
// margins, then the bottom margin from the last built row, then the top
// margin from the first.
int32_t replicateBorder(const uint8_t* src, int32_t srcStep, PrimSize srcSize, uint8_t* dst, int32_t dstStep,
                        PrimSize dstSize, int32_t top, int32_t left, int32_t bpp) {
    const int32_t status = borderArgsStatus(src, srcStep, srcSize, dst, dstStep, dstSize, top, left);
    if (status != primNoErr)
        return status;
    const int32_t sw = srcSize.width, right = dstSize.width - sw - left;
    for (int32_t i = 0; i < srcSize.height; ++i) {
        const uint8_t* s = rowAt(src, i, srcStep);
        uint8_t* d = rowAt(dst, int64_t(top) + i, dstStep);
        for (int32_t x = 0; x < left; ++x, d += bpp)
            copyPixel(s, d, bpp);
        for (int32_t x = 0; x < sw; ++x, d += bpp)
            copyPixel(s + int64_t(x) * bpp, d, bpp);
        const uint8_t* last = s + int64_t(sw - 1) * bpp;
        for (int32_t x = 0; x < right; ++x, d += bpp)
            copyPixel(last, d, bpp);
    }
    const int64_t rowBytes = int64_t(dstSize.width) * bpp;
    const uint8_t* lastRow = rowAt(dst, int64_t(top) + srcSize.height - 1, dstStep);
    for (int64_t y = int64_t(top) + srcSize.height; y < dstSize.height; ++y) {
        uint8_t* d = rowAt(dst, y, dstStep);
        for (int64_t b = 0; b < rowBytes; ++b)
            d[b] = lastRow[b];
    }
    const uint8_t* firstRow = rowAt(dst, top, dstStep);
    for (int32_t y = 0; y < top; ++y) {
        uint8_t* d = rowAt(dst, y, dstStep);
        for (int64_t b = 0; b < rowBytes; ++b)
            d[b] = firstRow[b];
    }
    return primNoErr;
}

} // namespace

#define VQ_GENERIC_BORDER(name, bpp)                                                                   \
    int32_t name(const uint8_t* src, int32_t srcStep, PrimSize srcSize, uint8_t* dst, int32_t dstStep, \
                 PrimSize dstSize, int32_t top, int32_t left) {                                        \
        return replicateBorder(src, srcStep, srcSize, dst, dstStep, dstSize, top, left, bpp);          \
    }
VQ_GENERIC_BORDER(copyReplicateBorder8uC1, 1)
VQ_GENERIC_BORDER(copyReplicateBorder8uC3, 3)
VQ_GENERIC_BORDER(copyReplicateBorder16uC1, 2)
VQ_GENERIC_BORDER(copyReplicateBorder16uC3, 6)
VQ_GENERIC_BORDER(copyReplicateBorder32sC1, 4)
#undef VQ_GENERIC_BORDER

} // namespace prim::generic

using namespace prim;

const BorderFn copyReplicateBorder8uC1Table[6] = VQ_PATH_FORMS(copyReplicateBorder8uC1);
const BorderFn copyReplicateBorder8uC3Table[6] = VQ_PATH_FORMS(copyReplicateBorder8uC3);
const BorderFn copyReplicateBorder16uC1Table[6] = VQ_PATH_FORMS(copyReplicateBorder16uC1);
const BorderFn copyReplicateBorder16uC3Table[6] = VQ_PATH_FORMS(copyReplicateBorder16uC3);
const BorderFn copyReplicateBorder32sC1Table[6] = VQ_PATH_FORMS(copyReplicateBorder32sC1);

int32_t copyReplicateBorder8uC1(const uint8_t* src, int32_t srcStep, PrimSize srcSize, uint8_t* dst, int32_t dstStep,
                                PrimSize dstSize, int32_t top, int32_t left) {
    return VQ_DISPATCH(copyReplicateBorder8uC1Table)(src, srcStep, srcSize, dst, dstStep, dstSize, top, left);
}
int32_t copyReplicateBorder8uC3(const uint8_t* src, int32_t srcStep, PrimSize srcSize, uint8_t* dst, int32_t dstStep,
                                PrimSize dstSize, int32_t top, int32_t left) {
    return VQ_DISPATCH(copyReplicateBorder8uC3Table)(src, srcStep, srcSize, dst, dstStep, dstSize, top, left);
}
int32_t copyReplicateBorder16uC1(const uint16_t* src, int32_t srcStep, PrimSize srcSize, uint16_t* dst,
                                 int32_t dstStep, PrimSize dstSize, int32_t top, int32_t left) {
    return VQ_DISPATCH(copyReplicateBorder16uC1Table)(bytes(src), srcStep, srcSize, bytes(dst), dstStep, dstSize, top,
                                                      left);
}
int32_t copyReplicateBorder16uC3(const uint16_t* src, int32_t srcStep, PrimSize srcSize, uint16_t* dst,
                                 int32_t dstStep, PrimSize dstSize, int32_t top, int32_t left) {
    return VQ_DISPATCH(copyReplicateBorder16uC3Table)(bytes(src), srcStep, srcSize, bytes(dst), dstStep, dstSize, top,
                                                      left);
}
int32_t copyReplicateBorder32sC1(const int32_t* src, int32_t srcStep, PrimSize srcSize, int32_t* dst,
                                 int32_t dstStep, PrimSize dstSize, int32_t top, int32_t left) {
    return VQ_DISPATCH(copyReplicateBorder32sC1Table)(bytes(src), srcStep, srcSize, bytes(dst), dstStep, dstSize, top,
                                                      left);
}
