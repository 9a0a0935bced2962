// Shifts and sign-magnitude conversion: the generic forms, the processor-path
// variants (their row work is the path's vector shift kernels and the path's
// sign-magnitude rows), the tables and the public entries.
#include "primitives/image/shift/shift.h"
#include "primitives/image/shift/shift_kernels.h"

#include "primitives/core/copy.h"
#include "primitives/core/rows.h"
#include "primitives/core/set.h"
#include "primitives/vector/const_shift.h"
#include "primitives/vector/rules.h"

namespace {

inline int32_t signMagnitude(int32_t x) {
    const uint32_t u = static_cast<uint32_t>(x);
    const uint32_t s = static_cast<uint32_t>(x >> 31);
    return static_cast<int32_t>(((u ^ s) - s) | (u & 0x80000000u));
}

inline int32_t regionStatus(const void* src, int32_t srcStep, const void* dst, int32_t dstStep, int32_t w,
                            int32_t h) {
    if (!src || !dst)
        return primErrNullPtr;
    if (srcStep <= 0 || dstStep <= 0)
        return primErrStep;
    if (w <= 0 || h <= 0)
        return primErrSize;
    return primNoErr;
}

inline const CopyRoiFn* copyTableOf(int16_t*) { return copyRoi16sC1Table; }
inline const CopyRoiFn* copyTableOf(int32_t*) { return copyRoi32sC1Table; }

// The shift of a region from source to destination. `rows(src, s, dst, n)`
// shifts one row by s (1 to the sample width - 1); a count above 31 becomes
// the sign fill (a shift by the width - 1) on the right and the path's zero
// fill on the left; a count of 0 is the path's copy.
template <class T, int Kind, class Rows>
int32_t shiftBody(int path, const T* src, int32_t srcStep, uint32_t count, T* dst, int32_t dstStep, int32_t w,
                  int32_t h, Rows rows) {
    const int32_t status = regionStatus(src, srcStep, dst, dstStep, w, h);
    if (status != primNoErr)
        return status;
    const PrimSize size{w, h};
    if (count == 0)
        return copyTableOf(dst)[path](bytes(src), srcStep, bytes(dst), dstStep, size);
    constexpr int32_t kTop = sizeof(T) * 8 - 1;
    int32_t s = static_cast<int32_t>(count);
    if (count > 31) {
        if (Kind == vrule::kShiftLeft)
            return setRoi32sC1Table[path](0, reinterpret_cast<int32_t*>(dst), dstStep, size);
        s = kTop;
    }
    for (int32_t y = 0; y < h; ++y)
        rows(rowAt(src, y, srcStep), s, rowAt(dst, y, dstStep), w);
    return primNoErr;
}

template <class T, int Kind>
void shiftRowGeneric(const T* src, int32_t s, T* dst, int32_t n) {
    for (int32_t i = 0; i < n; ++i)
        vrule::stAt(dst, i, vrule::shiftOne<T, Kind>(vrule::ldAt(src, i), s));
}

} // namespace

namespace prim::generic {

int32_t toSignMagnitudeInPlace32sC1(int32_t* p, int32_t step, int32_t w, int32_t h) {
    const int32_t status = regionStatus(p, step, p, step, w, h);
    if (status != primNoErr)
        return status;
    toSignMagnitudeRows32s(p, step, w, h);
    return primNoErr;
}

void toSignMagnitudeRows32s(int32_t* p, int32_t step, int32_t w, int32_t h) {
    for (int32_t y = 0; y < h; ++y) {
        int32_t* row = rowAt(p, y, step);
        for (int32_t i = 0; i < w; ++i)
            vrule::stAt(row, i, signMagnitude(vrule::ldAt(row, i)));
    }
}

int32_t shiftRightConstInPlace16sC1(uint32_t count, int16_t* p, int32_t step, int32_t w, int32_t h) {
    return shiftBody<int16_t, vrule::kShiftRight>(0, p, step, count, p, step, w, h,
                                                  shiftRowGeneric<int16_t, vrule::kShiftRight>);
}
int32_t shiftRightConstInPlace32sC1(uint32_t count, int32_t* p, int32_t step, int32_t w, int32_t h) {
    return shiftBody<int32_t, vrule::kShiftRight>(0, p, step, count, p, step, w, h,
                                                  shiftRowGeneric<int32_t, vrule::kShiftRight>);
}
int32_t shiftLeftConstInPlace32sC1(uint32_t count, int32_t* p, int32_t step, int32_t w, int32_t h) {
    return shiftBody<int32_t, vrule::kShiftLeft>(0, p, step, count, p, step, w, h,
                                                 shiftRowGeneric<int32_t, vrule::kShiftLeft>);
}

} // namespace prim::generic

// The processor paths: the same body over each path's own vector kernels.
// The sign-magnitude rows are the path's (image_p<N>.cpp).
#define VQ_IMAGE_SHIFT_PATH(NS, PATH, ROWS_NS)                                                                 \
    namespace prim::NS {                                                                                       \
    int32_t toSignMagnitudeInPlace32sC1(int32_t* p, int32_t step, int32_t w, int32_t h) {                      \
        const int32_t status = regionStatus(p, step, p, step, w, h);                                           \
        if (status != primNoErr)                                                                               \
            return status;                                                                                     \
        prim::ROWS_NS::toSignMagnitudeRows32s(p, step, w, h);                                                  \
        return primNoErr;                                                                                      \
    }                                                                                                          \
    int32_t shiftRightConstInPlace16sC1(uint32_t count, int16_t* p, int32_t step, int32_t w, int32_t h) {      \
        return shiftBody<int16_t, vrule::kShiftRight>(PATH, p, step, count, p, step, w, h, shiftRight16s);     \
    }                                                                                                          \
    int32_t shiftRightConstInPlace32sC1(uint32_t count, int32_t* p, int32_t step, int32_t w, int32_t h) {      \
        return shiftBody<int32_t, vrule::kShiftRight>(PATH, p, step, count, p, step, w, h, shiftRight32s);     \
    }                                                                                                          \
    int32_t shiftLeftConstInPlace32sC1(uint32_t count, int32_t* p, int32_t step, int32_t w, int32_t h) {       \
        return shiftBody<int32_t, vrule::kShiftLeft>(PATH, p, step, count, p, step, w, h, shiftLeft32s);       \
    }                                                                                                          \
    }

VQ_IMAGE_SHIFT_PATH(p1, 1, p1)
VQ_IMAGE_SHIFT_PATH(p2, 2, p2)
VQ_IMAGE_SHIFT_PATH(p3, 3, p2)
VQ_IMAGE_SHIFT_PATH(p4, 4, p2)
VQ_IMAGE_SHIFT_PATH(p5, 5, p2)

const ToSignMagnitude32sFn toSignMagnitudeInPlace32sC1Table[6] = VQ_PATH_FORMS(toSignMagnitudeInPlace32sC1);
const ShiftConstInPlace16sFn shiftRightConstInPlace16sC1Table[6] = VQ_PATH_FORMS(shiftRightConstInPlace16sC1);
const ShiftConstInPlace32sFn shiftRightConstInPlace32sC1Table[6] = VQ_PATH_FORMS(shiftRightConstInPlace32sC1);
const ShiftConstInPlace32sFn shiftLeftConstInPlace32sC1Table[6] = VQ_PATH_FORMS(shiftLeftConstInPlace32sC1);

int32_t toSignMagnitudeInPlace32sC1(int32_t* p, int32_t step, int32_t w, int32_t h) {
    return VQ_DISPATCH(toSignMagnitudeInPlace32sC1Table)(p, step, w, h);
}
int32_t shiftRightConstInPlace16sC1(uint32_t count, int16_t* p, int32_t step, int32_t w, int32_t h) {
    return VQ_DISPATCH(shiftRightConstInPlace16sC1Table)(count, p, step, w, h);
}
int32_t shiftRightConstInPlace32sC1(uint32_t count, int32_t* p, int32_t step, int32_t w, int32_t h) {
    return VQ_DISPATCH(shiftRightConstInPlace32sC1Table)(count, p, step, w, h);
}
int32_t shiftLeftConstInPlace32sC1(uint32_t count, int32_t* p, int32_t step, int32_t w, int32_t h) {
    return VQ_DISPATCH(shiftLeftConstInPlace32sC1Table)(count, p, step, w, h);
}

const ShiftKernelSet* shiftKernelSet(int path) {
    if (path <= 0 || path >= kProcessorPathCount)
        return nullptr;
    return path == 1 ? &prim::p1::shiftKernels : &prim::p2::shiftKernels;
}
