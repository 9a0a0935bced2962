// Border copy primitives: place a source image inside a larger destination at
// (left, top) and fill the margins by repeating the source's edge pixels; the
// corners repeat the corner pixels. The destination pointer addresses the
// top-left pixel of the whole destination, border included.
// Status, tested in this order: -8 null pointer; -14 a step of 0 or less;
// -6 a size below 1, a negative top or left, or a destination too small for
// the source at (left, top).
#pragma once

#include <cstdint>

#include "primitives/core/dispatch.h"
#include "primitives/core/forms.h"
#include "primitives/core/prim_types.h"

// The argument tests that every form makes first; 0 when the call may run.
int32_t borderArgsStatus(const void* src, int32_t srcStep, PrimSize srcSize, const void* dst, int32_t dstStep,
                         PrimSize dstSize, int32_t top, int32_t left);

using BorderFn = int32_t (*)(const uint8_t* src, int32_t srcStep, PrimSize srcSize, uint8_t* dst, int32_t dstStep,
                             PrimSize dstSize, int32_t top, int32_t left);

#define VQ_BORDER_FORM(name)                                                                           \
    int32_t name(const uint8_t* src, int32_t srcStep, PrimSize srcSize, uint8_t* dst, int32_t dstStep, \
                 PrimSize dstSize, int32_t top, int32_t left);
#define VQ_BORDER_FORMS                            \
    VQ_BORDER_FORM(copyReplicateBorder8uC1)        \
    VQ_BORDER_FORM(copyReplicateBorder8uC3)        \
    VQ_BORDER_FORM(copyReplicateBorder16uC1)       \
    VQ_BORDER_FORM(copyReplicateBorder16uC3)       \
    VQ_BORDER_FORM(copyReplicateBorder32sC1)

VQ_DECLARE_FORMS(VQ_BORDER_FORMS)

extern const BorderFn copyReplicateBorder8uC1Table[6];
extern const BorderFn copyReplicateBorder8uC3Table[6];
extern const BorderFn copyReplicateBorder16uC1Table[6];
extern const BorderFn copyReplicateBorder16uC3Table[6];
extern const BorderFn copyReplicateBorder32sC1Table[6];

int32_t copyReplicateBorder8uC1(const uint8_t* src, int32_t srcStep, PrimSize srcSize, uint8_t* dst, int32_t dstStep,
                                PrimSize dstSize, int32_t top, int32_t left);
int32_t copyReplicateBorder8uC3(const uint8_t* src, int32_t srcStep, PrimSize srcSize, uint8_t* dst, int32_t dstStep,
                                PrimSize dstSize, int32_t top, int32_t left);
int32_t copyReplicateBorder16uC1(const uint16_t* src, int32_t srcStep, PrimSize srcSize, uint16_t* dst,
                                 int32_t dstStep, PrimSize dstSize, int32_t top, int32_t left);
int32_t copyReplicateBorder16uC3(const uint16_t* src, int32_t srcStep, PrimSize srcSize, uint16_t* dst,
                                 int32_t dstStep, PrimSize dstSize, int32_t top, int32_t left);
int32_t copyReplicateBorder32sC1(const int32_t* src, int32_t srcStep, PrimSize srcSize, int32_t* dst,
                                 int32_t dstStep, PrimSize dstSize, int32_t top, int32_t left);
