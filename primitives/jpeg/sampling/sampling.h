// Chroma down- and up-sampling of 8-bit planes.
//
// Every processor path gives exactly the generic results. Region forms take
// (pointer, step, size) for a source and a destination; the destination size
// drives the work. Checks, in order: source null -8, source step < 1 -14,
// source size < 1 -6, destination null -8, destination step < 1 -14,
// destination size < 1 -6. Row forms: null pointers -8 (in argument order),
// then a count below 1 -6. Nothing is written on failure.
#pragma once

#include <cstdint>

#include "primitives/core/dispatch.h"
#include "primitives/core/prim_types.h"

using SampleRegionFn = int32_t (*)(const uint8_t* src, int32_t srcStep, PrimSize srcSize, uint8_t* dst,
                                   int32_t dstStep, PrimSize dstSize);
using SampleRowFn = int32_t (*)(const uint8_t* src, int32_t n, uint8_t* dst);
using SampleTwoRowsFn = int32_t (*)(const uint8_t* row0, const uint8_t* row1, int32_t n, uint8_t* dst);

// d(i, j) = (s[2j] + s[2j+1] + 1) >> 1 over source row i. Reads stay inside
// the source size: a missing last column repeats the last source sample.
int32_t downsampleH2V1Box(const uint8_t* src, int32_t srcStep, PrimSize srcSize, uint8_t* dst, int32_t dstStep,
                          PrimSize dstSize);
// The mean of each 2 x 2 block rounded up, (a + b + c + d + 3) >> 2. A missing
// last column or row repeats the last source column or row.
int32_t downsampleH2V2Box(const uint8_t* src, int32_t srcStep, PrimSize srcSize, uint8_t* dst, int32_t dstStep,
                          PrimSize dstSize);
// One row of n samples to (n + 1) / 2: (s[2j] + s[2j+1] + b) >> 1 with b
// alternating 0, 1 from the first output. An odd n repeats the last sample.
int32_t downsampleRowH2V1(const uint8_t* src, int32_t n, uint8_t* dst);
// Two rows to one: the 2 x 2 sums plus a bias alternating 1, 2, shifted by 2.
int32_t downsampleRowH2V2(const uint8_t* upper, const uint8_t* lower, int32_t n, uint8_t* dst);

// One row of n samples to 2n with the triangle filter (3/4, 1/4); the row ends
// repeat the edge sample. n = 1 gives the sample twice.
int32_t upsampleRowH2V1Triangle(const uint8_t* src, int32_t n, uint8_t* dst);
// One output row of 2n samples from a near row (3/4) and a far row (1/4).
int32_t upsampleRowH2V2Triangle(const uint8_t* nearRow, const uint8_t* farRow, int32_t n, uint8_t* dst);
// Region form of the horizontal triangle filter without end cases: it reads
// column -1 and, for an even destination width W, column W / 2 of every
// source row, which the caller keeps filled.
int32_t upsampleH2V1Triangle(const uint8_t* src, int32_t srcStep, PrimSize srcSize, uint8_t* dst, int32_t dstStep,
                             PrimSize dstSize);

extern const SampleRegionFn downsampleH2V1BoxTable[6];
extern const SampleRegionFn downsampleH2V2BoxTable[6];
extern const SampleRowFn downsampleRowH2V1Table[6];
extern const SampleTwoRowsFn downsampleRowH2V2Table[6];
extern const SampleRowFn upsampleRowH2V1TriangleTable[6];
extern const SampleTwoRowsFn upsampleRowH2V2TriangleTable[6];
extern const SampleRegionFn upsampleH2V1TriangleTable[6];

#define VQ_SAMPLING_FORMS                                                                                          \
    int32_t downsampleH2V1Box(const uint8_t* src, int32_t srcStep, PrimSize srcSize, uint8_t* dst,                \
                              int32_t dstStep, PrimSize dstSize);                                                  \
    int32_t downsampleH2V2Box(const uint8_t* src, int32_t srcStep, PrimSize srcSize, uint8_t* dst,                \
                              int32_t dstStep, PrimSize dstSize);                                                  \
    int32_t downsampleRowH2V1(const uint8_t* src, int32_t n, uint8_t* dst);                                        \
    int32_t downsampleRowH2V2(const uint8_t* upper, const uint8_t* lower, int32_t n, uint8_t* dst);               \
    int32_t upsampleRowH2V1Triangle(const uint8_t* src, int32_t n, uint8_t* dst);                                  \
    int32_t upsampleRowH2V2Triangle(const uint8_t* nearRow, const uint8_t* farRow, int32_t n, uint8_t* dst);      \
    int32_t upsampleH2V1Triangle(const uint8_t* src, int32_t srcStep, PrimSize srcSize, uint8_t* dst,             \
                                 int32_t dstStep, PrimSize dstSize);

// Paths 4 and 5 run the path 3 bodies.
namespace prim::generic { VQ_SAMPLING_FORMS }
namespace prim::p1 { VQ_SAMPLING_FORMS }
namespace prim::p2 { VQ_SAMPLING_FORMS }
namespace prim::p3 { VQ_SAMPLING_FORMS }

namespace prim::jpeg_sampling {
inline int32_t checkRegion(const uint8_t* src, int32_t srcStep, PrimSize srcSize, const uint8_t* dst,
                           int32_t dstStep, PrimSize dstSize) {
    if (!src) return primErrNullPtr;
    if (srcStep < 1) return primErrStep;
    if (srcSize.width < 1 || srcSize.height < 1) return primErrSize;
    if (!dst) return primErrNullPtr;
    if (dstStep < 1) return primErrStep;
    if (dstSize.width < 1 || dstSize.height < 1) return primErrSize;
    return primNoErr;
}
inline int32_t checkRow(const void* a, const void* b, int32_t n) {
    if (!a || !b) return primErrNullPtr;
    if (n < 1) return primErrSize;
    return primNoErr;
}
inline int32_t checkTwoRows(const void* a, const void* b, const void* c, int32_t n) {
    if (!a || !b || !c) return primErrNullPtr;
    if (n < 1) return primErrSize;
    return primNoErr;
}
} // namespace prim::jpeg_sampling
