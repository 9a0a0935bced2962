// Channel reorder primitives for 8-bit pixels: destination channel k takes
// source channel order[k] of the same pixel (repeats allowed). The 4-byte form
// writes only the first three bytes of each destination pixel. Status, in this
// order: -8 null pointer (order included); -6 width or height below 1; -14 a
// step of 0 or less; -60 an order entry outside 0..2.
#pragma once

#include <cstdint>

#include "primitives/core/dispatch.h"
#include "primitives/core/forms.h"
#include "primitives/core/prim_types.h"

// The argument tests that every form makes first; 0 when the call may run.
// The in-place forms pass their image and step twice.
int32_t channelArgsStatus(const void* src, int32_t srcStep, const void* dst, int32_t dstStep, PrimSize size,
                          const int32_t* order);

using SwapChannelsInPlaceFn = int32_t (*)(uint8_t* srcDst, int32_t step, PrimSize size, const int32_t* order);
using SwapChannelsFn = int32_t (*)(const uint8_t* src, int32_t srcStep, uint8_t* dst, int32_t dstStep, PrimSize size,
                                   const int32_t* order);

#define VQ_CHANNEL_FORMS                                                                                     \
    int32_t swapChannelsInPlace8uC3(uint8_t* srcDst, int32_t step, PrimSize size, const int32_t* order);     \
    int32_t swapChannels8uC3(const uint8_t* src, int32_t srcStep, uint8_t* dst, int32_t dstStep, PrimSize size, \
                             const int32_t* order);                                                          \
    int32_t swapChannels8uAC4(const uint8_t* src, int32_t srcStep, uint8_t* dst, int32_t dstStep, PrimSize size, \
                              const int32_t* order);

VQ_DECLARE_FORMS(VQ_CHANNEL_FORMS)

extern const SwapChannelsInPlaceFn swapChannelsInPlace8uC3Table[6];
extern const SwapChannelsFn swapChannels8uC3Table[6];
extern const SwapChannelsFn swapChannels8uAC4Table[6];

int32_t swapChannelsInPlace8uC3(uint8_t* srcDst, int32_t step, PrimSize size, const int32_t order[3]);
int32_t swapChannels8uC3(const uint8_t* src, int32_t srcStep, uint8_t* dst, int32_t dstStep, PrimSize size,
                         const int32_t order[3]);
int32_t swapChannels8uAC4(const uint8_t* src, int32_t srcStep, uint8_t* dst, int32_t dstStep, PrimSize size,
                          const int32_t order[3]);
