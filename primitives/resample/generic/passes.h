// The generic row routines of the resize row-routine table, and the kernels
// they share with the border kernels and with the general engine.
#pragma once

#include <cstdint>

#include "primitives/resample/resize_rows.h"

namespace prim::generic {

// Nearest (entries 0-11).
void resizePassNearest8uC3(const void*, void*, int32_t, int32_t, int32_t, const int32_t*, const int32_t*, int32_t);
void resizePassNearest16uC3(const void*, void*, int32_t, int32_t, int32_t, const int32_t*, const int32_t*, int32_t);
void resizePassNearest32fC3(const void*, void*, int32_t, int32_t, int32_t, const int32_t*, const int32_t*, int32_t);
void resizePassNearest8uC1(const void*, void*, int32_t, int32_t, int32_t, const int32_t*, const int32_t*, int32_t);
void resizePassNearest16uC1(const void*, void*, int32_t, int32_t, int32_t, const int32_t*, const int32_t*, int32_t);
void resizePassNearest32fC1(const void*, void*, int32_t, int32_t, int32_t, const int32_t*, const int32_t*, int32_t);
void resizePassNearest8uC4(const void*, void*, int32_t, int32_t, int32_t, const int32_t*, const int32_t*, int32_t);
void resizePassNearest16uC4(const void*, void*, int32_t, int32_t, int32_t, const int32_t*, const int32_t*, int32_t);
void resizePassNearest32fC4(const void*, void*, int32_t, int32_t, int32_t, const int32_t*, const int32_t*, int32_t);

#define VQ_LINEAR_PASS(name)                                                                                           \
    void name(const void* src, void* dst, int32_t srcStep, int32_t dstStep, int32_t width, int32_t height,             \
              const int32_t* rowOffsets, const int32_t* colOffsets, const void* rowWeights, const void* colWeights,    \
              void* workRow0, void* workRow1, int32_t pixelStride, int32_t channelCount)
VQ_LINEAR_PASS(resizePassLinear8uPixel);
VQ_LINEAR_PASS(resizePassLinear16uPixel);
VQ_LINEAR_PASS(resizePassLinear32fPixel);
VQ_LINEAR_PASS(resizePassLinear16sPixel);
VQ_LINEAR_PASS(resizePassLinear8uPlane);
VQ_LINEAR_PASS(resizePassLinear16uPlane);
VQ_LINEAR_PASS(resizePassLinear32fPlane);
VQ_LINEAR_PASS(resizePassLinear16sPlane);
#undef VQ_LINEAR_PASS

#define VQ_CUBIC_PASS(name)                                                                                            \
    void name(const void* src, void* dst, int32_t srcStep, int32_t dstStep, int32_t width, int32_t height,             \
              const int32_t* rowOffsets, const int32_t* colOffsets, const float* rowWeights, const float* colWeights,  \
              float* workRow0, float* workRow1, float* workRow2, float* workRow3, int32_t pixelStride,                 \
              int32_t channelCount)
VQ_CUBIC_PASS(resizeGenPassCubic8uPixel);
VQ_CUBIC_PASS(resizeGenPassCubic16uPixel);
VQ_CUBIC_PASS(resizeGenPassCubic32fPixel);
VQ_CUBIC_PASS(resizeGenPassCubic8uPlane);
VQ_CUBIC_PASS(resizeGenPassCubic16uPlane);
VQ_CUBIC_PASS(resizeGenPassCubic32fPlane);
VQ_CUBIC_PASS(resizeSqPassCubic8uPixel);
VQ_CUBIC_PASS(resizeSqPassCubic16uPixel);
VQ_CUBIC_PASS(resizeSqPassCubic32fPixel);
VQ_CUBIC_PASS(resizeSqPassCubic16sPixel);
VQ_CUBIC_PASS(resizeSqPassCubic8uPlane);
VQ_CUBIC_PASS(resizeSqPassCubic16uPlane);
VQ_CUBIC_PASS(resizeSqPassCubic32fPlane);
VQ_CUBIC_PASS(resizeSqPassCubic16sPlane);
#undef VQ_CUBIC_PASS

#define VQ_GEN_LANCZOS_PASS(name)                                                                                      \
    void name(const void* src, void* dst, int32_t srcStep, int32_t dstStep, int32_t width, int32_t height,             \
              const int32_t* rowOffsets, const int32_t* colOffsets, const float* rowTaps, const float* colTaps,        \
              float* workRow0, float* workRow1, float* workRow2, float* workRow3, float* workRow4, float* workRow5,    \
              int32_t roiX, int32_t roiY, int32_t widthToEdge, int32_t heightToEdge, int32_t verticalUpscale,          \
              int32_t pixelStride, int32_t channelCount)
VQ_GEN_LANCZOS_PASS(resizeGenPassLanczos8uPixel);
VQ_GEN_LANCZOS_PASS(resizeGenPassLanczos16uPixel);
VQ_GEN_LANCZOS_PASS(resizeGenPassLanczos32fPixel);
VQ_GEN_LANCZOS_PASS(resizeGenPassLanczos8uPlane);
VQ_GEN_LANCZOS_PASS(resizeGenPassLanczos16uPlane);
VQ_GEN_LANCZOS_PASS(resizeGenPassLanczos32fPlane);
#undef VQ_GEN_LANCZOS_PASS

#define VQ_SQ_LANCZOS_PASS(name)                                                                                       \
    void name(const void* src, void* dst, int32_t srcStep, int32_t dstStep, int32_t width, int32_t height,             \
              const int32_t* rowOffsets, const int32_t* colOffsets, const float* rowTaps, const float* colTaps,        \
              float* workRow0, float* workRow1, float* workRow2, float* workRow3, float* workRow4, float* workRow5,    \
              int32_t pixelStride, int32_t channelCount)
VQ_SQ_LANCZOS_PASS(resizeSqPassLanczos8uPixel);
VQ_SQ_LANCZOS_PASS(resizeSqPassLanczos16uPixel);
VQ_SQ_LANCZOS_PASS(resizeSqPassLanczos32fPixel);
VQ_SQ_LANCZOS_PASS(resizeSqPassLanczos16sPixel);
VQ_SQ_LANCZOS_PASS(resizeSqPassLanczos8uPlane);
VQ_SQ_LANCZOS_PASS(resizeSqPassLanczos16uPlane);
VQ_SQ_LANCZOS_PASS(resizeSqPassLanczos32fPlane);
VQ_SQ_LANCZOS_PASS(resizeSqPassLanczos16sPlane);
#undef VQ_SQ_LANCZOS_PASS

// Lanczos column passes: `count` samples (AC4: pixels, samples 0-2 written)
// from six work rows of taps -2 .. +3 and the row's six weights.
using LanczosColumnFn = void (*)(void* dst, int32_t count, const float* weights, const float* r0, const float* r1,
                                 const float* r2, const float* r3, const float* r4, const float* r5);
void lanczosColumnPass8u(void*, int32_t, const float*, const float*, const float*, const float*, const float*,
                         const float*, const float*);
void lanczosColumnPass16u(void*, int32_t, const float*, const float*, const float*, const float*, const float*,
                          const float*, const float*);
void lanczosColumnPass32f(void*, int32_t, const float*, const float*, const float*, const float*, const float*,
                          const float*, const float*);
void lanczosColumnPass8uAC4(void*, int32_t, const float*, const float*, const float*, const float*, const float*,
                            const float*, const float*);
void lanczosColumnPass16uAC4(void*, int32_t, const float*, const float*, const float*, const float*, const float*,
                             const float*, const float*);
void lanczosColumnPass32fAC4(void*, int32_t, const float*, const float*, const float*, const float*, const float*,
                             const float*, const float*);
void resizeSqLanczosColumnPass16s(void*, int32_t, const float*, const float*, const float*, const float*, const float*,
                                  const float*, const float*);
void resizeSqLanczosColumnPass16sAC4(void*, int32_t, const float*, const float*, const float*, const float*,
                                     const float*, const float*, const float*);

} // namespace prim::generic
