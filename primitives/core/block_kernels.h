// Block memory kernels: zero, copy, copy a region of rows, copy with a store
// mode chosen by the caller, and fill from a repeating pattern. Every family
// that moves bulk bytes calls the kernels of its own processor path directly
// (prim::p3::copyBytes from SSSE3 code, and so on); they are not entry points.
//
// Kernels never fail: callers pass non-null pointers and lengths of at least 1
// (a length of 0 or less writes nothing). Source and destination never
// partly overlap; a block copied onto itself stays unchanged.
//
// Store mode (`nonTemporal`): 0 writes through the cache; any other value
// streams 16-byte stores past it and ends the run with a store fence.
#pragma once

#include <cstdint>

#include "primitives/core/forms.h"
#include "primitives/core/prim_types.h"

// Largest cache named by the processor's leaf-2 descriptors, looking only at
// caches of 512 KiB and more; 0 when there is none, when leaf 2 needs more
// than one query, or when the vendor is not the reference vendor. Made afresh
// on every call: the long-block kernels ask only above a fixed length.
int32_t blockCacheSize();

// Streaming decision of the fill-style families: streams when `total` exceeds
// `threshold`, the cached largest cache size is known and `total` is at least
// that size. The cache size is asked for only above the threshold.
bool streamPastCache(int64_t total, int64_t threshold);

// Pattern buffers of the fill kernels hold the value repeated from their first
// byte: 16 bytes (one-byte value), 32 bytes (16-bit or 32-bit value), 63 bytes
// (21 three-byte pixels).
constexpr int kPatternBytes1 = 16, kPatternBytes2 = 32, kPatternBytes3 = 63, kPatternBytes4 = 32;

// zeroBytes and copyBytes exist on every path (generic included); the others
// on the SIMD paths; copyRows on paths 3-5.
#define VQ_BLOCK_KERNEL_FORMS                                                                                \
    void* zeroBytes(void* dst, int32_t len);                                                                 \
    void* copyBytes(const void* src, void* dst, int32_t len);                                                \
    void copyRows(const void* src, int32_t srcStep, void* dst, int32_t dstStep, int32_t rowBytes,           \
                  int32_t rows);                                                                             \
    void copyBytesNt(const void* src, void* dst, int32_t len, int32_t nonTemporal);                          \
    void fillBytesPattern16x1(const uint8_t* pattern, void* dst, int32_t len, int32_t nonTemporal);          \
    void fillBytesPattern16x2(const uint8_t* pattern, void* dst, int32_t len, int32_t nonTemporal);          \
    void fillBytesPattern48x3(const uint8_t* pattern, void* dst, int32_t len, int32_t nonTemporal);          \
    void fillBytesPattern16(const uint8_t* pattern, void* dst, int32_t len, int32_t nonTemporal);            \
    /* Checked wrappers: -8 null pointer, then -6 length 0 or less. */                                       \
    int32_t zeroVector8u(uint8_t* dst, int32_t len);                                                         \
    int32_t copyVector32s(const int32_t* src, int32_t* dst, int32_t count);

VQ_DECLARE_FORMS(VQ_BLOCK_KERNEL_FORMS)

namespace {

// The checked wrappers over a path's kernels; each translation unit has its
// own instantiation, built with its own instruction set.
template <void* (*Zero)(void*, int32_t)>
inline int32_t checkedZeroVector(uint8_t* dst, int32_t len) {
    if (!dst)
        return primErrNullPtr;
    if (len <= 0)
        return primErrSize;
    Zero(dst, len);
    return primNoErr;
}

template <void* (*Copy)(const void*, void*, int32_t)>
inline int32_t checkedCopyVector32s(const int32_t* src, int32_t* dst, int32_t count) {
    if (!src || !dst)
        return primErrNullPtr;
    if (count <= 0)
        return primErrSize;
    // Kernel lengths are 32-bit byte counts: long vectors go in 1 GiB pieces.
    constexpr int32_t kPiece = 1 << 28;
    for (int64_t done = 0; done < count; done += kPiece) {
        const int32_t n = static_cast<int32_t>(count - done < kPiece ? count - done : kPiece);
        Copy(src + done, dst + done, n * 4);
    }
    return primNoErr;
}

} // namespace
