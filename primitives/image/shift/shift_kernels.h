// The shift kernel sets of the processor paths: left shifts of 8-bit, 16-bit
// and 32-bit samples, logical right shifts of 8-bit and 16-bit unsigned ones
// and arithmetic right shifts of 8-bit, 16-bit and 32-bit signed ones, in the
// layouts C1, C3, C4, AC4 (samples 0-2 shifted, the destination's sample 3
// kept) and AC4OneCount (AC4 with one count for the three). No primitive of
// the system calls them; they complete each path's set.
//
// Per sample: a left shift keeps the low bits, 0 for a count at or beyond
// the sample width; a logical right shift gives 0 there, an arithmetic one
// the sign fill. C1 kernels take the count itself (0 to 31); the others a
// pointer to one count per shifted channel (any value up to 2^31 - 1), read
// once. Width (pixels) and height are at least 1; steps of either sign.
#pragma once

#include <cstdint>

struct ShiftKernelSet {
#define VQ_SHIFT_KERNEL(name, T) void (*name)(const T* src, int32_t srcStep, T* dst, int32_t dstStep, int32_t w, int32_t h, const uint32_t* counts);
#define VQ_SHIFT_KERNEL_C1(name, T) void (*name)(const T* src, int32_t srcStep, T* dst, int32_t dstStep, int32_t w, int32_t h, uint32_t count);
#define VQ_SHIFT_KERNEL_FAMILY(dir, suffix, T)      \
    VQ_SHIFT_KERNEL_C1(dir##Roi##suffix##C1, T)     \
    VQ_SHIFT_KERNEL(dir##Roi##suffix##C3, T)        \
    VQ_SHIFT_KERNEL(dir##Roi##suffix##C4, T)        \
    VQ_SHIFT_KERNEL(dir##Roi##suffix##AC4, T)       \
    VQ_SHIFT_KERNEL(dir##Roi##suffix##AC4OneCount, T)
    VQ_SHIFT_KERNEL_FAMILY(shiftLeft, 8u, uint8_t)
    VQ_SHIFT_KERNEL_FAMILY(shiftLeft, 16u, uint16_t)
    VQ_SHIFT_KERNEL_FAMILY(shiftLeft, 32s, int32_t)
    VQ_SHIFT_KERNEL_FAMILY(shiftRight, 8u, uint8_t)
    VQ_SHIFT_KERNEL_FAMILY(shiftRight, 8s, int8_t)
    VQ_SHIFT_KERNEL_FAMILY(shiftRight, 16u, uint16_t)
    VQ_SHIFT_KERNEL_FAMILY(shiftRight, 16s, int16_t)
    VQ_SHIFT_KERNEL_FAMILY(shiftRight, 32s, int32_t)
#undef VQ_SHIFT_KERNEL_FAMILY
#undef VQ_SHIFT_KERNEL_C1
#undef VQ_SHIFT_KERNEL
};

namespace prim::p1 {
extern const ShiftKernelSet shiftKernels;
}
namespace prim::p2 {
extern const ShiftKernelSet shiftKernels;
}

// The set of processor path 1 to 5 (paths 3 to 5 share path 2's: their code
// would be the same instructions); null for the generic path, which has none.
const ShiftKernelSet* shiftKernelSet(int path);
