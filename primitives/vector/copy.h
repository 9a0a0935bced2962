// Copy and zero of 16-bit and 32-bit vectors. These are not dispatched entry
// points: every processor path has its own forms, and code of one path calls
// the forms of that path (prim::p4::copyVector32s from SSE4.1 code, and so on)
// so that a copy runs on the same instruction set as its caller. The forms
// move bits and interpret nothing: float vectors pass through the 32-bit copy
// unchanged, signs of zero and NaN payloads included.
//
// Status: -8 null source or destination (source tested first), then -6 for a
// count of 0 or less, else 0. Nothing is written on an error. Source and
// destination are the same block or do not overlap.
//
// The 32-bit copy of every path is the checked wrapper of the block kernels
// (primitives/core/block_kernels.h); this header adds the 16-bit copy and the
// zeroes.
#pragma once

#include <cstdint>

#include "primitives/core/block_kernels.h"
#include "primitives/core/dispatch.h"
#include "primitives/core/forms.h"
#include "primitives/core/prim_types.h"

#define VQ_VECTOR_COPY_FORMS                                                    \
    int32_t copyVector16s(const int16_t* src, int16_t* dst, int32_t count);     \
    int32_t copyVector32s(const int32_t* src, int32_t* dst, int32_t count);     \
    int32_t zeroVector16s(int16_t* dst, int32_t count);                         \
    int32_t zeroVector32s(int32_t* dst, int32_t count);

VQ_DECLARE_FORMS(VQ_VECTOR_COPY_FORMS)

using CopyVector16sFn = int32_t (*)(const int16_t*, int16_t*, int32_t);
using CopyVector32sFn = int32_t (*)(const int32_t*, int32_t*, int32_t);
using ZeroVector16sFn = int32_t (*)(int16_t*, int32_t);
using ZeroVector32sFn = int32_t (*)(int32_t*, int32_t);

// The forms of every path by path index, for callers that hold an index
// rather than a namespace.
extern const CopyVector16sFn copyVector16sTable[6];
extern const CopyVector32sFn copyVector32sTable[6];
extern const ZeroVector16sFn zeroVector16sTable[6];
extern const ZeroVector32sFn zeroVector32sTable[6];

namespace {

// Byte kernels take 32-bit lengths: long vectors go in pieces of 2^28
// elements, at most 1 GiB each.
constexpr int32_t kVectorPiece = 1 << 28;

template <void* (*Copy)(const void*, void*, int32_t), class T>
inline int32_t copyElementsChecked(const T* src, T* dst, int32_t count) {
    if (!src || !dst)
        return primErrNullPtr;
    if (count <= 0)
        return primErrSize;
    for (int64_t done = 0; done < count; done += kVectorPiece) {
        const int32_t n = static_cast<int32_t>(count - done < kVectorPiece ? count - done : kVectorPiece);
        Copy(src + done, dst + done, n * static_cast<int32_t>(sizeof(T)));
    }
    return primNoErr;
}

template <void* (*Zero)(void*, int32_t), class T>
inline int32_t zeroElementsChecked(T* dst, int32_t count) {
    if (!dst)
        return primErrNullPtr;
    if (count <= 0)
        return primErrSize;
    for (int64_t done = 0; done < count; done += kVectorPiece) {
        const int32_t n = static_cast<int32_t>(count - done < kVectorPiece ? count - done : kVectorPiece);
        Zero(dst + done, n * static_cast<int32_t>(sizeof(T)));
    }
    return primNoErr;
}

} // namespace
