// Planar and packed 8-bit layouts: three or four planes sharing one row step
// to pixel-interleaved images and back. Values are copied unchanged; steps
// are not tested and may be negative. Status, in this order: -8 the first
// pointer argument, the second, then each plane pointer from channel 0; -6
// width, then height, below 1.
#pragma once

#include <cstdint>

#include "primitives/core/dispatch.h"
#include "primitives/core/forms.h"
#include "primitives/core/prim_types.h"

// The argument tests that every form makes first; 0 when the call may run.
int32_t planarArgsStatus(const void* first, const void* second, const void* const* planes, int32_t planeCount,
                         PrimSize size);

using PlanesToPixelsFn = int32_t (*)(const uint8_t* const* planes, int32_t planeStep, uint8_t* dst, int32_t dstStep,
                                     PrimSize size);
using PixelsToPlanesFn = int32_t (*)(const uint8_t* src, int32_t srcStep, uint8_t* const* planes, int32_t planeStep,
                                     PrimSize size);

#define VQ_PLANAR_FORMS                                                                                         \
    int32_t copyPlanesToPixels8uC3(const uint8_t* const* planes, int32_t planeStep, uint8_t* dst, int32_t dstStep, \
                                   PrimSize size);                                                              \
    int32_t copyPlanesToPixels8uC4(const uint8_t* const* planes, int32_t planeStep, uint8_t* dst, int32_t dstStep, \
                                   PrimSize size);                                                              \
    int32_t copyPixelsToPlanes8uC3(const uint8_t* src, int32_t srcStep, uint8_t* const* planes, int32_t planeStep, \
                                   PrimSize size);                                                              \
    int32_t copyPixelsToPlanes8uC4(const uint8_t* src, int32_t srcStep, uint8_t* const* planes, int32_t planeStep, \
                                   PrimSize size);

VQ_DECLARE_FORMS(VQ_PLANAR_FORMS)

extern const PlanesToPixelsFn copyPlanesToPixels8uC3Table[6];
extern const PlanesToPixelsFn copyPlanesToPixels8uC4Table[6];
extern const PixelsToPlanesFn copyPixelsToPlanes8uC3Table[6];
extern const PixelsToPlanesFn copyPixelsToPlanes8uC4Table[6];

int32_t copyPlanesToPixels8uC3(const uint8_t* const planes[3], int32_t planeStep, uint8_t* dst, int32_t dstStep,
                               PrimSize size);
int32_t copyPlanesToPixels8uC4(const uint8_t* const planes[4], int32_t planeStep, uint8_t* dst, int32_t dstStep,
                               PrimSize size);
int32_t copyPixelsToPlanes8uC3(const uint8_t* src, int32_t srcStep, uint8_t* const planes[3], int32_t planeStep,
                               PrimSize size);
int32_t copyPixelsToPlanes8uC4(const uint8_t* src, int32_t srcStep, uint8_t* const planes[4], int32_t planeStep,
                               PrimSize size);
