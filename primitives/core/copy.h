// Copy primitives: copy a region of interleaved pixels between two images,
// each with its own row step (negative steps walk rows upwards in memory).
// Status: 0, -8 null source or destination, -6 width or height below 1;
// steps are not tested. Bytes outside the region are never written.
#pragma once

#include <cstdint>

#include "primitives/core/dispatch.h"
#include "primitives/core/forms.h"
#include "primitives/core/prim_types.h"

// Every form works on bytes: what the elements mean does not matter to a copy,
// so the 4-byte forms of copyRoi8uC4 also serve copyRoi32sC1 and the 16-bit
// signed forms serve copyRoi16uC1.
using CopyRoiFn = int32_t (*)(const uint8_t* src, int32_t srcStep, uint8_t* dst, int32_t dstStep, PrimSize size);

#define VQ_COPY_FORMS                                                                        \
    int32_t copyRoi8uC1(const uint8_t* src, int32_t srcStep, uint8_t* dst, int32_t dstStep,  \
                        PrimSize size);                                                      \
    int32_t copyRoi16sC1(const uint8_t* src, int32_t srcStep, uint8_t* dst, int32_t dstStep, \
                         PrimSize size);                                                     \
    int32_t copyRoi8uC3(const uint8_t* src, int32_t srcStep, uint8_t* dst, int32_t dstStep,  \
                        PrimSize size);                                                      \
    int32_t copyRoi8uC4(const uint8_t* src, int32_t srcStep, uint8_t* dst, int32_t dstStep,  \
                        PrimSize size);                                                      \
    int32_t copyRoi32sC1(const uint8_t* src, int32_t srcStep, uint8_t* dst, int32_t dstStep, \
                         PrimSize size);                                                     \
    int32_t copyRoi16uC3(const uint8_t* src, int32_t srcStep, uint8_t* dst, int32_t dstStep, \
                         PrimSize size);

VQ_DECLARE_FORMS(VQ_COPY_FORMS)

extern const CopyRoiFn copyRoi8uC1Table[6];
extern const CopyRoiFn copyRoi8uC3Table[6];
extern const CopyRoiFn copyRoi8uC4Table[6];
extern const CopyRoiFn copyRoi16uC1Table[6];
extern const CopyRoiFn copyRoi16uC3Table[6];
extern const CopyRoiFn copyRoi16sC1Table[6];
extern const CopyRoiFn copyRoi32sC1Table[6];

int32_t copyRoi8uC1(const uint8_t* src, int32_t srcStep, uint8_t* dst, int32_t dstStep, PrimSize size);
int32_t copyRoi8uC3(const uint8_t* src, int32_t srcStep, uint8_t* dst, int32_t dstStep, PrimSize size);
int32_t copyRoi8uC4(const uint8_t* src, int32_t srcStep, uint8_t* dst, int32_t dstStep, PrimSize size);
int32_t copyRoi16uC1(const uint16_t* src, int32_t srcStep, uint16_t* dst, int32_t dstStep, PrimSize size);
int32_t copyRoi16uC3(const uint16_t* src, int32_t srcStep, uint16_t* dst, int32_t dstStep, PrimSize size);
int32_t copyRoi16sC1(const int16_t* src, int32_t srcStep, int16_t* dst, int32_t dstStep, PrimSize size);
int32_t copyRoi32sC1(const int32_t* src, int32_t srcStep, int32_t* dst, int32_t dstStep, PrimSize size);
