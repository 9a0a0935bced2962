// Super-sampling (area-average) reduction of the general engine: the core,
// and the workers and row accumulators of the generic path. Whole ratios on
// integer samples sum exactly in integers; everything else in
// single-precision column sums, each weighted row and each horizontal sum
// formed in double precision and rounded once.
#include <cmath>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <type_traits>

#include "primitives/core/memory.h"
#include "primitives/core/processor.h"
#include "primitives/resample/resize_gen.h"
#include "primitives/resample/super_sample.h"
#include "primitives/resample/super_sample_body.h"

namespace {

// Adds `height` rows of `channels` samples per pixel (pixel step `stride`).
template <class T, class Acc>
void accumulate(const T* src, int32_t step, int32_t width, int32_t height, Acc* acc, int32_t channels, int32_t stride) {
    if (width <= 0 || height <= 0)
        return;
    for (int32_t r = 0; r < height; ++r) {
        const T* row =
            reinterpret_cast<const T*>(reinterpret_cast<const uint8_t*>(src) + static_cast<std::ptrdiff_t>(r) * step);
        for (int32_t j = 0; j < width; ++j)
            for (int32_t c = 0; c < channels; ++c) {
                const std::ptrdiff_t e = static_cast<std::ptrdiff_t>(j) * stride + c;
                if constexpr (std::is_integral_v<Acc>)
                    acc[e] = static_cast<Acc>(static_cast<uint32_t>(acc[e]) + static_cast<uint32_t>(int32_t(row[e])));
                else
                    acc[e] = static_cast<Acc>(acc[e] + row[e]);
            }
    }
}

} // namespace

int32_t resizeGenSuperCore(const SuperSampleSet& set, const void* src, PrimSize srcSize, int32_t srcStep,
                           PrimRect srcRoi, void* dst, int32_t dstStep, PrimSize dstRoiSize, double xFactor,
                           double yFactor, int32_t pixelStride, int32_t channelCount, int32_t dataKind,
                           int32_t planar) {
    const int32_t checked = resizeGenCheck(src, dst, srcSize, srcRoi, dstRoiSize, xFactor, yFactor);
    if (checked != primNoErr)
        return checked;
    if (std::isnan(xFactor) || std::isnan(yFactor))
        return primErrResizeFactor;

    const int32_t effW = srcSize.width - srcRoi.x < srcRoi.width ? srcSize.width - srcRoi.x : srcRoi.width;
    const int32_t effH = srcSize.height - srcRoi.y < srcRoi.height ? srcSize.height - srcRoi.y : srcRoi.height;
    auto extent = [](int32_t eff, double factor, int32_t requested) {
        const double t = eff * factor + 1e-7;
        const int32_t c = truncateToInt(t);
        if (c >= requested)
            return requested;
        if (c > 0)
            return c;
        return t < 0.5 ? -1 : 1;
    };
    SuperSampleGeometry g{};
    g.width = extent(effW, xFactor, dstRoiSize.width);
    if (g.width < 0)
        return primErrNoDstPixels;
    g.height = extent(effH, yFactor, dstRoiSize.height);
    if (g.height < 0)
        return primErrNoDstPixels;
    g.xSpan = 1.0 / xFactor;
    g.ySpan = 1.0 / yFactor;
    g.areaScale = xFactor * yFactor;
    const double nd = std::floor((g.width + 1) * g.xSpan) + 1.0;
    g.srcColumns = nd > effW ? effW : static_cast<int32_t>(nd);
    g.srcRows = effH;
    g.ratioMode = (g.ySpan - std::trunc(g.ySpan) < 1e-7 ? 0 : 1) | (g.xSpan - std::trunc(g.xSpan) < 1e-7 ? 0 : 2);

    const int32_t elem = dataKind == 0 ? 1 : dataKind == 1 ? 2 : 4;
    const int32_t planes = planar != 0 ? (channelCount == 4 ? 4 : 3) : 1;
    const int32_t shape = planar != 0 || channelCount == 1 ? 0 : channelCount == 4 ? 1 : 2;
    const SuperSampleWorkerFn worker = set.workers[dataKind][shape];
    int32_t status = primNoErr;
    for (int32_t p = 0; p < planes; ++p) {
        const uint8_t* base = static_cast<const uint8_t*>(planar != 0 ? static_cast<const void* const*>(src)[p] : src);
        const uint8_t* origin = base + static_cast<std::ptrdiff_t>(srcRoi.y) * srcStep +
                                static_cast<std::ptrdiff_t>(srcRoi.x) * (planar != 0 ? 1 : pixelStride) * elem;
        void* out = planar != 0 ? static_cast<void* const*>(dst)[p] : dst;
        const int32_t s = worker(origin, out, srcStep, dstStep, g, pixelStride);
        // The first failure of any plane is the call's status.
        if (s != primNoErr && status == primNoErr)
            status = s;
    }
    return status;
}

int32_t resizeGenSuperCore(const void* src, PrimSize srcSize, int32_t srcStep, PrimRect srcRoi, void* dst,
                           int32_t dstStep, PrimSize dstRoiSize, double xFactor, double yFactor, int32_t pixelStride,
                           int32_t channelCount, int32_t dataKind, int32_t planar) {
    return resizeGenSuperCore(prim::generic::superSampleSet, src, srcSize, srcStep, srcRoi, dst, dstStep, dstRoiSize,
                              xFactor, yFactor, pixelStride, channelCount, dataKind, planar);
}

namespace prim::generic {

void accumulateRows8uPlane(const uint8_t* s, int32_t st, int32_t w, int32_t h, int32_t* a) {
    accumulate(s, st, w, h, a, 1, 1);
}
void accumulateRows8uC4(const uint8_t* s, int32_t st, int32_t w, int32_t h, int32_t* a) {
    accumulate(s, st, w, h, a, 4, 4);
}
void accumulateRows8uC3(const uint8_t* s, int32_t st, int32_t w, int32_t h, int32_t* a, int32_t ps) {
    accumulate(s, st, w, h, a, 3, ps);
}
void accumulateRows16uPlane(const uint16_t* s, int32_t st, int32_t w, int32_t h, int32_t* a) {
    accumulate(s, st, w, h, a, 1, 1);
}
void accumulateRows16uC4(const uint16_t* s, int32_t st, int32_t w, int32_t h, int32_t* a) {
    accumulate(s, st, w, h, a, 4, 4);
}
void accumulateRows16uC3(const uint16_t* s, int32_t st, int32_t w, int32_t h, int32_t* a, int32_t ps) {
    accumulate(s, st, w, h, a, 3, ps);
}
void accumulateRows16sPlane(const int16_t* s, int32_t st, int32_t w, int32_t h, int32_t* a) {
    accumulate(s, st, w, h, a, 1, 1);
}
void accumulateRows16sC4(const int16_t* s, int32_t st, int32_t w, int32_t h, int32_t* a) {
    accumulate(s, st, w, h, a, 4, 4);
}
void accumulateRows16sC3(const int16_t* s, int32_t st, int32_t w, int32_t h, int32_t* a, int32_t ps) {
    accumulate(s, st, w, h, a, 3, ps);
}
void accumulateRows32fPlane(const float* s, int32_t st, int32_t w, int32_t h, float* a) {
    accumulate(s, st, w, h, a, 1, 1);
}
void accumulateRows32fC4(const float* s, int32_t st, int32_t w, int32_t h, float* a) {
    accumulate(s, st, w, h, a, 4, 4);
}
void accumulateRows32fC3(const float* s, int32_t st, int32_t w, int32_t h, float* a, int32_t ps) {
    accumulate(s, st, w, h, a, 3, ps);
}

const RowAccumulators rowAccumulators = {
    accumulateRows8uPlane, accumulateRows16uPlane, accumulateRows16sPlane, accumulateRows32fPlane,
    accumulateRows8uC4,    accumulateRows16uC4,    accumulateRows16sC4,    accumulateRows32fC4,
    accumulateRows8uC3,    accumulateRows16uC3,    accumulateRows16sC3,    accumulateRows32fC3,
};

#define VQ_WORKERS(T)                                                                                                  \
    {                                                                                                                  \
        supersample::worker<supersample::GenericOps, T, supersample::kPlane>,                                          \
            supersample::worker<supersample::GenericOps, T, supersample::kFour>,                                       \
            supersample::worker<supersample::GenericOps, T, supersample::kThree>                                       \
    }
const SuperSampleSet superSampleSet = {&rowAccumulators, {VQ_WORKERS(uint8_t), VQ_WORKERS(uint16_t), VQ_WORKERS(float)}};
#undef VQ_WORKERS

} // namespace prim::generic
