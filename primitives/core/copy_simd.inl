// Copy, set and border copy forms of one processor path (included by
// move_p<N>.cpp after block_simd.inl). They move bytes only through the
// block kernels of their own path.

#include "primitives/core/border.h"
#include "primitives/core/copy.h"
#include "primitives/core/set.h"

namespace prim::VQ_PATH_NS {
namespace {

// Generic form of a copy by pixel size: for rows longer than a kernel length.
constexpr CopyRoiFn genericCopy(int bpp) {
    return bpp == 1 ? prim::generic::copyRoi8uC1
         : bpp == 2 ? prim::generic::copyRoi16sC1
         : bpp == 3 ? prim::generic::copyRoi8uC3
         : bpp == 4 ? prim::generic::copyRoi8uC4
                    : prim::generic::copyRoi16uC3;
}

template <int BPP>
int32_t copyRegion(const uint8_t* src, int32_t srcStep, uint8_t* dst, int32_t dstStep, PrimSize size) {
    if (!src || !dst)
        return primErrNullPtr;
    if (size.width <= 0 || size.height <= 0)
        return primErrSize;
    const int64_t rowBytes = int64_t(size.width) * BPP;
    if (rowBytes > INT32_MAX)
        return genericCopy(BPP)(src, srcStep, dst, dstStep, size);
    const int32_t row = static_cast<int32_t>(rowBytes);
#if VQ_PATH_LEVEL >= 3
    copyRows(src, srcStep, dst, dstStep, row, size.height);
#else
    // Fixed rule, no cache query: stream regions above 1 MiB.
    const int64_t total = rowBytes * size.height;
    const int32_t nonTemporal = total > 0x100000 ? 1 : 0;
    if (srcStep == row && dstStep == row && total <= INT32_MAX) {
        copyBytesNt(src, dst, static_cast<int32_t>(total), nonTemporal);
    } else {
        for (int32_t y = 0; y < size.height; ++y)
            copyBytesNt(rowAt(src, y, srcStep), rowAt(dst, y, dstStep), row, nonTemporal);
    }
#endif
    return primNoErr;
}

using FillKernel = void (*)(const uint8_t*, void*, int32_t, int32_t);

// Fills with a pattern built from one E-byte value; streams regions above the
// path's threshold that are at least as large as the largest cache.
template <int E>
int32_t fillRegion(const uint8_t* value, uint8_t* dst, int32_t step, PrimSize size, FillKernel kernel) {
    const int64_t rowBytes = int64_t(size.width) * E;
    const int64_t total = rowBytes * size.height;
    int32_t row = static_cast<int32_t>(rowBytes), rows = size.height;
    if (rowBytes > INT32_MAX) {
        // Rows longer than a kernel length: element by element.
        for (int32_t y = 0; y < size.height; ++y)
            for (int64_t i = 0; i < rowBytes; ++i)
                rowAt(dst, y, step)[i] = value[i % E];
        return primNoErr;
    }
    if (step == row && total <= INT32_MAX) {
        row = static_cast<int32_t>(total);
        rows = 1;
    }
    const int32_t nonTemporal = streamPastCache(total, VQ_PATH_LEVEL == 1 ? 0x80000 : 0x100000) ? 1 : 0;
    alignas(16) uint8_t pattern[64];
    for (int i = 0; i < 64; ++i)
        pattern[i] = value[i % E];
    for (int32_t y = 0; y < rows; ++y)
        kernel(pattern, rowAt(dst, y, step), row, nonTemporal);
    return primNoErr;
}

inline int32_t fillArgsStatus(const void* dst, PrimSize size) {
    if (!dst)
        return primErrNullPtr;
    if (size.width <= 0 || size.height <= 0)
        return primErrSize;
    return primNoErr;
}

// One channel of every pixel: plain element loops.
template <int E, int PITCH>
int32_t fillChannel(const uint8_t* value, uint8_t* dst, int32_t step, PrimSize size) {
    const int32_t status = fillArgsStatus(dst, size);
    if (status != primNoErr)
        return status;
    for (int32_t y = 0; y < size.height; ++y) {
        uint8_t* d = rowAt(dst, y, step);
        for (int32_t x = 0; x < size.width; ++x, d += PITCH)
            for (int b = 0; b < E; ++b)
                d[b] = value[b];
    }
    return primNoErr;
}

// Replicated border: each source row's middle by the block kernel, its side
// margins pixel by pixel, then whole margin rows by the block kernel.
template <int BPP>
int32_t replicateBorder(const uint8_t* src, int32_t srcStep, PrimSize srcSize, uint8_t* dst, int32_t dstStep,
                        PrimSize dstSize, int32_t top, int32_t left, BorderFn generic) {
    const int32_t status = borderArgsStatus(src, srcStep, srcSize, dst, dstStep, dstSize, top, left);
    if (status != primNoErr)
        return status;
    if (int64_t(dstSize.width) * BPP > INT32_MAX)
        return generic(src, srcStep, srcSize, dst, dstStep, dstSize, top, left);
    const int32_t sw = srcSize.width, right = dstSize.width - sw - left;
    const int32_t rowBytes = dstSize.width * BPP;
    for (int32_t i = 0; i < srcSize.height; ++i) {
        const uint8_t* s = rowAt(src, i, srcStep);
        uint8_t* d = rowAt(dst, int64_t(top) + i, dstStep);
        const uint8_t* last = s + int64_t(sw - 1) * BPP;
#if VQ_PATH_LEVEL >= 3
        if (BPP == 1) {
            // Side margins of one-byte pixels as fills of the edge values.
            alignas(16) uint8_t first[16], end[16];
            for (int k = 0; k < 16; ++k) {
                first[k] = s[0];
                end[k] = *last;
            }
            if (left > 0)
                fillBytesPattern16x1(first, d, left, 0);
            if (right > 0)
                fillBytesPattern16x1(end, d + left + sw, right, 0);
            copyBytesNt(s, d + left, sw, 0);
            continue;
        }
#endif
        for (int32_t x = 0; x < left; ++x)
            for (int b = 0; b < BPP; ++b)
                d[x * BPP + b] = s[b];
        copyBytesNt(s, d + int64_t(left) * BPP, sw * BPP, 0);
        uint8_t* r = d + (int64_t(left) + sw) * BPP;
        for (int32_t x = 0; x < right; ++x)
            for (int b = 0; b < BPP; ++b)
                r[x * BPP + b] = last[b];
    }
    const uint8_t* lastRow = rowAt(dst, int64_t(top) + srcSize.height - 1, dstStep);
    for (int64_t y = int64_t(top) + srcSize.height; y < dstSize.height; ++y)
        copyBytesNt(lastRow, rowAt(dst, y, dstStep), rowBytes, 0);
    const uint8_t* firstRow = rowAt(dst, top, dstStep);
    for (int32_t y = 0; y < top; ++y)
        copyBytesNt(firstRow, rowAt(dst, y, dstStep), rowBytes, 0);
    return primNoErr;
}

} // namespace

int32_t copyRoi8uC1(const uint8_t* s, int32_t ss, uint8_t* d, int32_t ds, PrimSize z) { return copyRegion<1>(s, ss, d, ds, z); }
int32_t copyRoi16sC1(const uint8_t* s, int32_t ss, uint8_t* d, int32_t ds, PrimSize z) { return copyRegion<2>(s, ss, d, ds, z); }
int32_t copyRoi8uC3(const uint8_t* s, int32_t ss, uint8_t* d, int32_t ds, PrimSize z) { return copyRegion<3>(s, ss, d, ds, z); }
int32_t copyRoi8uC4(const uint8_t* s, int32_t ss, uint8_t* d, int32_t ds, PrimSize z) { return copyRegion<4>(s, ss, d, ds, z); }
#if VQ_PATH_LEVEL <= 2
// Paths 3-5 copy 4-byte elements with the copyRoi8uC4 forms.
int32_t copyRoi32sC1(const uint8_t* s, int32_t ss, uint8_t* d, int32_t ds, PrimSize z) { return copyRegion<4>(s, ss, d, ds, z); }
#endif
int32_t copyRoi16uC3(const uint8_t* s, int32_t ss, uint8_t* d, int32_t ds, PrimSize z) { return copyRegion<6>(s, ss, d, ds, z); }

int32_t setRoi8uC1(uint8_t value, uint8_t* dst, int32_t step, PrimSize size) {
    const int32_t status = fillArgsStatus(dst, size);
    return status != primNoErr ? status : fillRegion<1>(&value, dst, step, size, fillBytesPattern16x1);
}

int32_t setRoi8uC3(const uint8_t* value, uint8_t* dst, int32_t step, PrimSize size) {
    if (!dst || !value)
        return primErrNullPtr;
    const int32_t status = fillArgsStatus(dst, size);
    return status != primNoErr ? status : fillRegion<3>(value, dst, step, size, fillBytesPattern48x3);
}

int32_t fillRoi16(uint16_t value, uint16_t* dst, int32_t step, PrimSize size) {
    const int32_t status = fillArgsStatus(dst, size);
    uint8_t v[2];
    __builtin_memcpy(v, &value, 2);
    return status != primNoErr ? status : fillRegion<2>(v, bytes(dst), step, size, fillBytesPattern16x2);
}

int32_t setRoi32sC1(int32_t value, int32_t* dst, int32_t step, PrimSize size) {
    const int32_t status = fillArgsStatus(dst, size);
    uint8_t v[4];
    __builtin_memcpy(v, &value, 4);
    return status != primNoErr ? status : fillRegion<4>(v, bytes(dst), step, size, fillBytesPattern16);
}

#if VQ_PATH_LEVEL != 2 && VQ_PATH_LEVEL != 5
// Path 2 runs the SSE2 forms, path 5 the SSE4.1 forms.
int32_t setChannel8uC4(uint8_t value, uint8_t* dst, int32_t step, PrimSize size) {
    return fillChannel<1, 4>(&value, dst, step, size);
}
int32_t setChannel16uC3(uint16_t value, uint16_t* dst, int32_t step, PrimSize size) {
    uint8_t v[2];
    __builtin_memcpy(v, &value, 2);
    return fillChannel<2, 6>(v, bytes(dst), step, size);
}
#endif

#define VQ_PATH_BORDER(name, bpp)                                                                          \
    int32_t name(const uint8_t* src, int32_t srcStep, PrimSize srcSize, uint8_t* dst, int32_t dstStep,     \
                 PrimSize dstSize, int32_t top, int32_t left) {                                            \
        return replicateBorder<bpp>(src, srcStep, srcSize, dst, dstStep, dstSize, top, left,               \
                                    prim::generic::name);                                                  \
    }
VQ_PATH_BORDER(copyReplicateBorder8uC1, 1)
VQ_PATH_BORDER(copyReplicateBorder8uC3, 3)
VQ_PATH_BORDER(copyReplicateBorder16uC1, 2)
VQ_PATH_BORDER(copyReplicateBorder16uC3, 6)
VQ_PATH_BORDER(copyReplicateBorder32sC1, 4)
#undef VQ_PATH_BORDER

} // namespace prim::VQ_PATH_NS
