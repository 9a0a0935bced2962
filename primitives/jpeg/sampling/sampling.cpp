#include "primitives/jpeg/sampling/sampling.h"

namespace prim::generic {
namespace {
// The generic form does everything in the scalar code of the shared bodies.
inline int32_t boxH2V1Kernel(const uint8_t*, uint8_t*, int32_t) { return 0; }
inline int32_t boxH2V2Kernel(const uint8_t*, const uint8_t*, uint8_t*, int32_t) { return 0; }
inline int32_t rowH2V1Kernel(const uint8_t*, uint8_t*, int32_t) { return 0; }
inline int32_t rowH2V2Kernel(const uint8_t*, const uint8_t*, uint8_t*, int32_t) { return 0; }
inline int32_t triangleKernel(const uint8_t*, uint8_t*, int32_t k, int32_t) { return k; }
inline int32_t triangle2Kernel(const uint8_t*, const uint8_t*, uint8_t*, int32_t k, int32_t) { return k; }
} // namespace
#include "primitives/jpeg/sampling/sampling_body.inl"
} // namespace prim::generic

#define VQ_SAMPLING_TABLE(name)                                                                              \
    { prim::generic::name, prim::p1::name, prim::p2::name, prim::p3::name, prim::p3::name, prim::p3::name }

const SampleRegionFn downsampleH2V1BoxTable[6] = VQ_SAMPLING_TABLE(downsampleH2V1Box);
const SampleRegionFn downsampleH2V2BoxTable[6] = VQ_SAMPLING_TABLE(downsampleH2V2Box);
const SampleRowFn downsampleRowH2V1Table[6] = VQ_SAMPLING_TABLE(downsampleRowH2V1);
const SampleTwoRowsFn downsampleRowH2V2Table[6] = VQ_SAMPLING_TABLE(downsampleRowH2V2);
const SampleRowFn upsampleRowH2V1TriangleTable[6] = VQ_SAMPLING_TABLE(upsampleRowH2V1Triangle);
const SampleTwoRowsFn upsampleRowH2V2TriangleTable[6] = VQ_SAMPLING_TABLE(upsampleRowH2V2Triangle);
const SampleRegionFn upsampleH2V1TriangleTable[6] = VQ_SAMPLING_TABLE(upsampleH2V1Triangle);

int32_t downsampleH2V1Box(const uint8_t* src, int32_t srcStep, PrimSize srcSize, uint8_t* dst, int32_t dstStep,
                          PrimSize dstSize) {
    return VQ_DISPATCH(downsampleH2V1BoxTable)(src, srcStep, srcSize, dst, dstStep, dstSize);
}
int32_t downsampleH2V2Box(const uint8_t* src, int32_t srcStep, PrimSize srcSize, uint8_t* dst, int32_t dstStep,
                          PrimSize dstSize) {
    return VQ_DISPATCH(downsampleH2V2BoxTable)(src, srcStep, srcSize, dst, dstStep, dstSize);
}
int32_t downsampleRowH2V1(const uint8_t* src, int32_t n, uint8_t* dst) {
    return VQ_DISPATCH(downsampleRowH2V1Table)(src, n, dst);
}
int32_t downsampleRowH2V2(const uint8_t* upper, const uint8_t* lower, int32_t n, uint8_t* dst) {
    return VQ_DISPATCH(downsampleRowH2V2Table)(upper, lower, n, dst);
}
int32_t upsampleRowH2V1Triangle(const uint8_t* src, int32_t n, uint8_t* dst) {
    return VQ_DISPATCH(upsampleRowH2V1TriangleTable)(src, n, dst);
}
int32_t upsampleRowH2V2Triangle(const uint8_t* nearRow, const uint8_t* farRow, int32_t n, uint8_t* dst) {
    return VQ_DISPATCH(upsampleRowH2V2TriangleTable)(nearRow, farRow, n, dst);
}
int32_t upsampleH2V1Triangle(const uint8_t* src, int32_t srcStep, PrimSize srcSize, uint8_t* dst, int32_t dstStep,
                             PrimSize dstSize) {
    return VQ_DISPATCH(upsampleH2V1TriangleTable)(src, srcStep, srcSize, dst, dstStep, dstSize);
}
