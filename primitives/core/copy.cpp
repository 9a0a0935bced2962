#include "primitives/core/copy.h"

#include "primitives/core/rows.h"

namespace prim::generic {

namespace {

// The reference: every row's bytes in order; nothing outside the region.
int32_t copyRegion(const uint8_t* src, int32_t srcStep, uint8_t* dst, int32_t dstStep, PrimSize size,
                   int32_t bytesPerPixel) {
    if (!src || !dst)
        return primErrNullPtr;
    if (size.width <= 0 || size.height <= 0)
        return primErrSize;
    const int64_t rowBytes = int64_t(size.width) * bytesPerPixel;
    for (int32_t y = 0; y < size.height; ++y) {
        const uint8_t* s = rowAt(src, y, srcStep);
        uint8_t* d = rowAt(dst, y, dstStep);
        for (int64_t i = 0; i < rowBytes; ++i)
            d[i] = s[i];
    }
    return primNoErr;
}

} // namespace

int32_t copyRoi8uC1(const uint8_t* s, int32_t ss, uint8_t* d, int32_t ds, PrimSize z) { return copyRegion(s, ss, d, ds, z, 1); }
int32_t copyRoi16sC1(const uint8_t* s, int32_t ss, uint8_t* d, int32_t ds, PrimSize z) { return copyRegion(s, ss, d, ds, z, 2); }
int32_t copyRoi8uC3(const uint8_t* s, int32_t ss, uint8_t* d, int32_t ds, PrimSize z) { return copyRegion(s, ss, d, ds, z, 3); }
int32_t copyRoi8uC4(const uint8_t* s, int32_t ss, uint8_t* d, int32_t ds, PrimSize z) { return copyRegion(s, ss, d, ds, z, 4); }
int32_t copyRoi32sC1(const uint8_t* s, int32_t ss, uint8_t* d, int32_t ds, PrimSize z) { return copyRegion(s, ss, d, ds, z, 4); }
int32_t copyRoi16uC3(const uint8_t* s, int32_t ss, uint8_t* d, int32_t ds, PrimSize z) { return copyRegion(s, ss, d, ds, z, 6); }

} // namespace prim::generic

using namespace prim;

const CopyRoiFn copyRoi8uC1Table[6] = VQ_PATH_FORMS(copyRoi8uC1);
const CopyRoiFn copyRoi8uC3Table[6] = VQ_PATH_FORMS(copyRoi8uC3);
const CopyRoiFn copyRoi8uC4Table[6] = VQ_PATH_FORMS(copyRoi8uC4);
const CopyRoiFn copyRoi16uC1Table[6] = VQ_PATH_FORMS(copyRoi16sC1);
const CopyRoiFn copyRoi16uC3Table[6] = VQ_PATH_FORMS(copyRoi16uC3);
const CopyRoiFn copyRoi16sC1Table[6] = VQ_PATH_FORMS(copyRoi16sC1);
const CopyRoiFn copyRoi32sC1Table[6] = {generic::copyRoi32sC1, p1::copyRoi32sC1, p2::copyRoi32sC1,
                                      p3::copyRoi8uC4,      p4::copyRoi8uC4,  p5::copyRoi8uC4};

int32_t copyRoi8uC1(const uint8_t* src, int32_t srcStep, uint8_t* dst, int32_t dstStep, PrimSize size) {
    return VQ_DISPATCH(copyRoi8uC1Table)(src, srcStep, dst, dstStep, size);
}
int32_t copyRoi8uC3(const uint8_t* src, int32_t srcStep, uint8_t* dst, int32_t dstStep, PrimSize size) {
    return VQ_DISPATCH(copyRoi8uC3Table)(src, srcStep, dst, dstStep, size);
}
int32_t copyRoi8uC4(const uint8_t* src, int32_t srcStep, uint8_t* dst, int32_t dstStep, PrimSize size) {
    return VQ_DISPATCH(copyRoi8uC4Table)(src, srcStep, dst, dstStep, size);
}
int32_t copyRoi16uC1(const uint16_t* src, int32_t srcStep, uint16_t* dst, int32_t dstStep, PrimSize size) {
    return VQ_DISPATCH(copyRoi16uC1Table)(bytes(src), srcStep, bytes(dst), dstStep, size);
}
int32_t copyRoi16uC3(const uint16_t* src, int32_t srcStep, uint16_t* dst, int32_t dstStep, PrimSize size) {
    return VQ_DISPATCH(copyRoi16uC3Table)(bytes(src), srcStep, bytes(dst), dstStep, size);
}
int32_t copyRoi16sC1(const int16_t* src, int32_t srcStep, int16_t* dst, int32_t dstStep, PrimSize size) {
    return VQ_DISPATCH(copyRoi16sC1Table)(bytes(src), srcStep, bytes(dst), dstStep, size);
}
int32_t copyRoi32sC1(const int32_t* src, int32_t srcStep, int32_t* dst, int32_t dstStep, PrimSize size) {
    return VQ_DISPATCH(copyRoi32sC1Table)(bytes(src), srcStep, bytes(dst), dstStep, size);
}
