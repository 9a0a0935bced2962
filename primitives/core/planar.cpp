#include "primitives/core/planar.h"

#include "primitives/core/rows.h"

int32_t planarArgsStatus(const void* first, const void* second, const void* const* planes, int32_t planeCount,
                         PrimSize size) {
    if (!first || !second)
        return primErrNullPtr;
    for (int32_t c = 0; c < planeCount; ++c)
        if (!planes[c])
            return primErrNullPtr;
    if (size.width < 1 || size.height < 1)
        return primErrSize;
    return primNoErr;
}

namespace prim::generic {

namespace {

int32_t planesToPixels(const uint8_t* const* planes, int32_t planeStep, uint8_t* dst, int32_t dstStep, PrimSize size,
                       int32_t n) {
    const int32_t status = planarArgsStatus(planes, dst, reinterpret_cast<const void* const*>(planes), n, size);
    if (status != primNoErr)
        return status;
    for (int32_t y = 0; y < size.height; ++y) {
        uint8_t* d = rowAt(dst, y, dstStep);
        for (int32_t c = 0; c < n; ++c) {
            const uint8_t* p = rowAt(planes[c], y, planeStep);
            for (int32_t x = 0; x < size.width; ++x)
                d[int64_t(x) * n + c] = p[x];
        }
    }
    return primNoErr;
}

int32_t pixelsToPlanes(const uint8_t* src, int32_t srcStep, uint8_t* const* planes, int32_t planeStep, PrimSize size,
                       int32_t n) {
    const int32_t status = planarArgsStatus(src, planes, reinterpret_cast<const void* const*>(planes), n, size);
    if (status != primNoErr)
        return status;
    for (int32_t y = 0; y < size.height; ++y) {
        const uint8_t* s = rowAt(src, y, srcStep);
        for (int32_t c = 0; c < n; ++c) {
            uint8_t* p = rowAt(planes[c], y, planeStep);
            for (int32_t x = 0; x < size.width; ++x)
                p[x] = s[int64_t(x) * n + c];
        }
    }
    return primNoErr;
}

} // namespace

int32_t copyPlanesToPixels8uC3(const uint8_t* const* planes, int32_t planeStep, uint8_t* dst, int32_t dstStep,
                               PrimSize size) {
    return planesToPixels(planes, planeStep, dst, dstStep, size, 3);
}
int32_t copyPlanesToPixels8uC4(const uint8_t* const* planes, int32_t planeStep, uint8_t* dst, int32_t dstStep,
                               PrimSize size) {
    return planesToPixels(planes, planeStep, dst, dstStep, size, 4);
}
int32_t copyPixelsToPlanes8uC3(const uint8_t* src, int32_t srcStep, uint8_t* const* planes, int32_t planeStep,
                               PrimSize size) {
    return pixelsToPlanes(src, srcStep, planes, planeStep, size, 3);
}
int32_t copyPixelsToPlanes8uC4(const uint8_t* src, int32_t srcStep, uint8_t* const* planes, int32_t planeStep,
                               PrimSize size) {
    return pixelsToPlanes(src, srcStep, planes, planeStep, size, 4);
}

} // namespace prim::generic

using namespace prim;

const PlanesToPixelsFn copyPlanesToPixels8uC3Table[6] = VQ_PATH_FORMS(copyPlanesToPixels8uC3);
const PlanesToPixelsFn copyPlanesToPixels8uC4Table[6] = VQ_PATH_FORMS(copyPlanesToPixels8uC4);
const PixelsToPlanesFn copyPixelsToPlanes8uC3Table[6] = VQ_PATH_FORMS(copyPixelsToPlanes8uC3);
const PixelsToPlanesFn copyPixelsToPlanes8uC4Table[6] = VQ_PATH_FORMS(copyPixelsToPlanes8uC4);

int32_t copyPlanesToPixels8uC3(const uint8_t* const planes[3], int32_t planeStep, uint8_t* dst, int32_t dstStep,
                               PrimSize size) {
    return VQ_DISPATCH(copyPlanesToPixels8uC3Table)(planes, planeStep, dst, dstStep, size);
}
int32_t copyPlanesToPixels8uC4(const uint8_t* const planes[4], int32_t planeStep, uint8_t* dst, int32_t dstStep,
                               PrimSize size) {
    return VQ_DISPATCH(copyPlanesToPixels8uC4Table)(planes, planeStep, dst, dstStep, size);
}
int32_t copyPixelsToPlanes8uC3(const uint8_t* src, int32_t srcStep, uint8_t* const planes[3], int32_t planeStep,
                               PrimSize size) {
    return VQ_DISPATCH(copyPixelsToPlanes8uC3Table)(src, srcStep, planes, planeStep, size);
}
int32_t copyPixelsToPlanes8uC4(const uint8_t* src, int32_t srcStep, uint8_t* const planes[4], int32_t planeStep,
                               PrimSize size) {
    return VQ_DISPATCH(copyPixelsToPlanes8uC4Table)(src, srcStep, planes, planeStep, size);
}
