// Set primitives: write one value into every pixel of a region, or into one
// channel of every pixel (the destination then points at that channel of the
// first pixel). Status: 0, -8 null destination (or value pointer), -6 width
// or height below 1; the step is not tested. Bytes outside the region, and
// the other channels of the one-channel forms, are never written.
#pragma once

#include <cstdint>

#include "primitives/core/dispatch.h"
#include "primitives/core/forms.h"
#include "primitives/core/prim_types.h"

using SetRoi8uC1Fn = int32_t (*)(uint8_t value, uint8_t* dst, int32_t step, PrimSize size);
using SetRoi8uC3Fn = int32_t (*)(const uint8_t* value, uint8_t* dst, int32_t step, PrimSize size);
using SetRoi16uFn = int32_t (*)(uint16_t value, uint16_t* dst, int32_t step, PrimSize size);
using SetRoi32sFn = int32_t (*)(int32_t value, int32_t* dst, int32_t step, PrimSize size);

// fillRoi16 holds the behaviour of setRoi16uC1; other families call it with 0.
#define VQ_SET_FORMS                                                                      \
    int32_t setRoi8uC1(uint8_t value, uint8_t* dst, int32_t step, PrimSize size);         \
    int32_t setRoi8uC3(const uint8_t* value, uint8_t* dst, int32_t step, PrimSize size);  \
    int32_t fillRoi16(uint16_t value, uint16_t* dst, int32_t step, PrimSize size);        \
    int32_t setRoi32sC1(int32_t value, int32_t* dst, int32_t step, PrimSize size);        \
    int32_t setChannel8uC4(uint8_t value, uint8_t* dst, int32_t step, PrimSize size);     \
    int32_t setChannel16uC3(uint16_t value, uint16_t* dst, int32_t step, PrimSize size);

VQ_DECLARE_FORMS(VQ_SET_FORMS)

extern const SetRoi8uC1Fn setRoi8uC1Table[6];
extern const SetRoi8uC3Fn setRoi8uC3Table[6];
extern const SetRoi16uFn setRoi16uC1Table[6];
extern const SetRoi32sFn setRoi32sC1Table[6];
extern const SetRoi8uC1Fn setChannel8uC4Table[6];
extern const SetRoi16uFn setChannel16uC3Table[6];

int32_t setRoi8uC1(uint8_t value, uint8_t* dst, int32_t step, PrimSize size);
int32_t setRoi8uC3(const uint8_t value[3], uint8_t* dst, int32_t step, PrimSize size);
int32_t setRoi16uC1(uint16_t value, uint16_t* dst, int32_t step, PrimSize size);
int32_t setRoi32sC1(int32_t value, int32_t* dst, int32_t step, PrimSize size);
int32_t setChannel8uC4(uint8_t value, uint8_t* dst, int32_t step, PrimSize size);
int32_t setChannel16uC3(uint16_t value, uint16_t* dst, int32_t step, PrimSize size);
