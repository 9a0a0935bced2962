#include "primitives/core/set.h"

#include <cstring>

#include "primitives/core/rows.h"

namespace prim::generic {

namespace {

// The reference fill: `bytesPerPixel` bytes of `value` into every pixel, or,
// with a pixel pitch larger than the value, into one channel of every pixel.
int32_t fillRegion(const uint8_t* value, int32_t valueBytes, int32_t pitch, uint8_t* dst, int32_t step,
                   PrimSize size) {
    if (!dst)
        return primErrNullPtr;
    if (size.width <= 0 || size.height <= 0)
        return primErrSize;
    for (int32_t y = 0; y < size.height; ++y) {
        uint8_t* d = rowAt(dst, y, step);
        for (int32_t x = 0; x < size.width; ++x, d += pitch)
            for (int32_t b = 0; b < valueBytes; ++b)
                d[b] = value[b];
    }
    return primNoErr;
}

} // namespace

int32_t setRoi8uC1(uint8_t value, uint8_t* dst, int32_t step, PrimSize size) {
    return fillRegion(&value, 1, 1, dst, step, size);
}

int32_t setRoi8uC3(const uint8_t* value, uint8_t* dst, int32_t step, PrimSize size) {
    if (!dst || !value)
        return primErrNullPtr;
    return fillRegion(value, 3, 3, dst, step, size);
}

int32_t fillRoi16(uint16_t value, uint16_t* dst, int32_t step, PrimSize size) {
    uint8_t v[2];
    std::memcpy(v, &value, 2);
    return fillRegion(v, 2, 2, bytes(dst), step, size);
}

int32_t setRoi32sC1(int32_t value, int32_t* dst, int32_t step, PrimSize size) {
    uint8_t v[4];
    std::memcpy(v, &value, 4);
    return fillRegion(v, 4, 4, bytes(dst), step, size);
}

int32_t setChannel8uC4(uint8_t value, uint8_t* dst, int32_t step, PrimSize size) {
    return fillRegion(&value, 1, 4, dst, step, size);
}

int32_t setChannel16uC3(uint16_t value, uint16_t* dst, int32_t step, PrimSize size) {
    uint8_t v[2];
    std::memcpy(v, &value, 2);
    return fillRegion(v, 2, 6, bytes(dst), step, size);
}

} // namespace prim::generic

using namespace prim;

const SetRoi8uC1Fn setRoi8uC1Table[6] = VQ_PATH_FORMS(setRoi8uC1);
const SetRoi8uC3Fn setRoi8uC3Table[6] = VQ_PATH_FORMS(setRoi8uC3);
const SetRoi16uFn setRoi16uC1Table[6] = VQ_PATH_FORMS(fillRoi16);
const SetRoi32sFn setRoi32sC1Table[6] = VQ_PATH_FORMS(setRoi32sC1);
const SetRoi8uC1Fn setChannel8uC4Table[6] = {generic::setChannel8uC4, p1::setChannel8uC4, p1::setChannel8uC4,
                                           p3::setChannel8uC4,      p4::setChannel8uC4, p4::setChannel8uC4};
const SetRoi16uFn setChannel16uC3Table[6] = {generic::setChannel16uC3, p1::setChannel16uC3, p1::setChannel16uC3,
                                          p3::setChannel16uC3,      p4::setChannel16uC3, p4::setChannel16uC3};

int32_t setRoi8uC1(uint8_t value, uint8_t* dst, int32_t step, PrimSize size) {
    return VQ_DISPATCH(setRoi8uC1Table)(value, dst, step, size);
}
int32_t setRoi8uC3(const uint8_t value[3], uint8_t* dst, int32_t step, PrimSize size) {
    return VQ_DISPATCH(setRoi8uC3Table)(value, dst, step, size);
}
int32_t setRoi16uC1(uint16_t value, uint16_t* dst, int32_t step, PrimSize size) {
    return VQ_DISPATCH(setRoi16uC1Table)(value, dst, step, size);
}
int32_t setRoi32sC1(int32_t value, int32_t* dst, int32_t step, PrimSize size) {
    return VQ_DISPATCH(setRoi32sC1Table)(value, dst, step, size);
}
int32_t setChannel8uC4(uint8_t value, uint8_t* dst, int32_t step, PrimSize size) {
    return VQ_DISPATCH(setChannel8uC4Table)(value, dst, step, size);
}
int32_t setChannel16uC3(uint16_t value, uint16_t* dst, int32_t step, PrimSize size) {
    return VQ_DISPATCH(setChannel16uC3Table)(value, dst, step, size);
}
