#include "primitives/core/mirror.h"

#include "primitives/core/rows.h"

int32_t mirrorArgsStatus(const void* srcDst, PrimSize size, int32_t axis) {
    if (!srcDst)
        return primErrNullPtr;
    if (size.width <= 0 || size.height <= 0)
        return primErrSize;
    if ((axis == 0 || axis == 2) && size.height < 2)
        return primErrSize;
    if ((axis == 1 || axis == 2) && size.width < 2)
        return primErrSize;
    if (axis < 0 || axis > 2)
        return primErrMirrorFlip;
    return primNoErr;
}

namespace prim::generic {

namespace {

void swapPixel(uint8_t* a, uint8_t* b, int32_t bpp) {
    for (int32_t i = 0; i < bpp; ++i) {
        const uint8_t t = a[i];
        a[i] = b[i];
        b[i] = t;
    }
}

void reverseRow(uint8_t* row, int32_t width, int32_t bpp) {
    for (int32_t j = 0; j < width / 2; ++j)
        swapPixel(row + int64_t(j) * bpp, row + int64_t(width - 1 - j) * bpp, bpp);
}

int32_t mirror(uint8_t* p, int32_t step, PrimSize size, int32_t axis, int32_t bpp) {
    const int32_t status = mirrorArgsStatus(p, size, axis);
    if (status != primNoErr)
        return status;
    const int32_t w = size.width, h = size.height;
    if (axis == 1) {
        for (int32_t y = 0; y < h; ++y)
            reverseRow(rowAt(p, y, step), w, bpp);
        return primNoErr;
    }
    for (int32_t i = 0; i < h / 2; ++i) {
        uint8_t* a = rowAt(p, i, step);
        uint8_t* b = rowAt(p, h - 1 - i, step);
        for (int32_t j = 0; j < w; ++j)
            swapPixel(a + int64_t(j) * bpp, b + int64_t(axis == 0 ? j : w - 1 - j) * bpp, bpp);
    }
    if (axis == 2 && (h & 1))
        reverseRow(rowAt(p, h / 2, step), w, bpp);
    return primNoErr;
}

} // namespace

int32_t mirrorInPlace8uC1(uint8_t* p, int32_t step, PrimSize size, int32_t axis) { return mirror(p, step, size, axis, 1); }
int32_t mirrorInPlace8uC3(uint8_t* p, int32_t step, PrimSize size, int32_t axis) { return mirror(p, step, size, axis, 3); }
int32_t mirrorInPlace8uC4(uint8_t* p, int32_t step, PrimSize size, int32_t axis) { return mirror(p, step, size, axis, 4); }
int32_t mirrorInPlace16uC1(uint8_t* p, int32_t step, PrimSize size, int32_t axis) { return mirror(p, step, size, axis, 2); }
int32_t mirrorInPlace16uC3(uint8_t* p, int32_t step, PrimSize size, int32_t axis) { return mirror(p, step, size, axis, 6); }

} // namespace prim::generic

using namespace prim;

const MirrorFn mirrorInPlace8uC1Table[6] = {generic::mirrorInPlace8uC1, p1::mirrorInPlace8uC1, p2::mirrorInPlace8uC1, p3::mirrorInPlace8uC1, p3::mirrorInPlace8uC1, p3::mirrorInPlace8uC1};
const MirrorFn mirrorInPlace8uC3Table[6] = {generic::mirrorInPlace8uC3, p1::mirrorInPlace8uC3, p2::mirrorInPlace8uC3, p3::mirrorInPlace8uC3, p3::mirrorInPlace8uC3, p3::mirrorInPlace8uC3};
const MirrorFn mirrorInPlace8uC4Table[6] = VQ_PATH_FORMS(mirrorInPlace8uC4);
const MirrorFn mirrorInPlace16uC1Table[6] = {generic::mirrorInPlace16uC1, p1::mirrorInPlace16uC1, p2::mirrorInPlace16uC1, p3::mirrorInPlace16uC1, p3::mirrorInPlace16uC1, p3::mirrorInPlace16uC1};
const MirrorFn mirrorInPlace16uC3Table[6] = {generic::mirrorInPlace16uC3, p1::mirrorInPlace16uC3, p2::mirrorInPlace16uC3, p3::mirrorInPlace16uC3, p3::mirrorInPlace16uC3, p3::mirrorInPlace16uC3};

int32_t mirrorInPlace8uC1(uint8_t* p, int32_t step, PrimSize size, int32_t axis) {
    return VQ_DISPATCH(mirrorInPlace8uC1Table)(p, step, size, axis);
}
int32_t mirrorInPlace8uC3(uint8_t* p, int32_t step, PrimSize size, int32_t axis) {
    return VQ_DISPATCH(mirrorInPlace8uC3Table)(p, step, size, axis);
}
int32_t mirrorInPlace8uC4(uint8_t* p, int32_t step, PrimSize size, int32_t axis) {
    return VQ_DISPATCH(mirrorInPlace8uC4Table)(p, step, size, axis);
}
int32_t mirrorInPlace16uC1(uint16_t* p, int32_t step, PrimSize size, int32_t axis) {
    return VQ_DISPATCH(mirrorInPlace16uC1Table)(bytes(p), step, size, axis);
}
int32_t mirrorInPlace16uC3(uint16_t* p, int32_t step, PrimSize size, int32_t axis) {
    return VQ_DISPATCH(mirrorInPlace16uC3Table)(bytes(p), step, size, axis);
}
