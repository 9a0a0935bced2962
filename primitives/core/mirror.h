// Mirror primitives: mirror a region in place about the horizontal axis
// (axis 0: rows change places), the vertical axis (axis 1: each row reversed)
// or both (axis 2: a half turn). Pixels move whole. Status, in this order:
// -8 null pointer; -6 width or height below 1, or below 2 along a mirrored
// direction; -21 an axis other than 0, 1 and 2. The step is not tested.
#pragma once

#include <cstdint>

#include "primitives/core/dispatch.h"
#include "primitives/core/forms.h"
#include "primitives/core/prim_types.h"

// The argument tests that every form makes first; 0 when the call may run.
int32_t mirrorArgsStatus(const void* srcDst, PrimSize size, int32_t axis);

using MirrorFn = int32_t (*)(uint8_t* srcDst, int32_t step, PrimSize size, int32_t axis);

#define VQ_MIRROR_FORMS                                                                \
    int32_t mirrorInPlace8uC1(uint8_t* srcDst, int32_t step, PrimSize size, int32_t axis);  \
    int32_t mirrorInPlace8uC3(uint8_t* srcDst, int32_t step, PrimSize size, int32_t axis);  \
    int32_t mirrorInPlace8uC4(uint8_t* srcDst, int32_t step, PrimSize size, int32_t axis);  \
    int32_t mirrorInPlace16uC1(uint8_t* srcDst, int32_t step, PrimSize size, int32_t axis); \
    int32_t mirrorInPlace16uC3(uint8_t* srcDst, int32_t step, PrimSize size, int32_t axis);

VQ_DECLARE_FORMS(VQ_MIRROR_FORMS)

extern const MirrorFn mirrorInPlace8uC1Table[6];
extern const MirrorFn mirrorInPlace8uC3Table[6];
extern const MirrorFn mirrorInPlace8uC4Table[6];
extern const MirrorFn mirrorInPlace16uC1Table[6];
extern const MirrorFn mirrorInPlace16uC3Table[6];

int32_t mirrorInPlace8uC1(uint8_t* srcDst, int32_t step, PrimSize size, int32_t axis);
int32_t mirrorInPlace8uC3(uint8_t* srcDst, int32_t step, PrimSize size, int32_t axis);
int32_t mirrorInPlace8uC4(uint8_t* srcDst, int32_t step, PrimSize size, int32_t axis);
int32_t mirrorInPlace16uC1(uint16_t* srcDst, int32_t step, PrimSize size, int32_t axis);
int32_t mirrorInPlace16uC3(uint16_t* srcDst, int32_t step, PrimSize size, int32_t axis);
