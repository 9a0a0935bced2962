// Row routines of the resize engines: one table per processor path, grouped by
// interpolation. A routine resamples a whole destination region from tables of
// source offsets and weights prepared by its caller; steps, offsets and widths
// count elements of the data kind, never bytes.
#pragma once

#include <cstdint>

// Interpolation codes of the resize primitives (low 30 bits of the argument).
enum ResizeInterpolation : int32_t {
    resizeNearest = 1,
    resizeLinear = 2,
    resizeCubic = 4,
    resizeCubicBSpline = 5,
    resizeCubicCatmullRom = 6,
    resizeCubicB05C03 = 7,
    resizeSuperSample = 8,
    resizeLanczos = 16,
};

// Edge flags of the square-pixel resize (bits 31 and 30 of the argument).
constexpr uint32_t resizeEdgeBlend = 0x80000000u;
constexpr uint32_t resizeEdgeFade = 0x40000000u;

// Sample kinds, in the order every per-kind table uses.
enum ResizeDataKind : int32_t {
    resizeKind8u = 0,
    resizeKind16u = 1,
    resizeKind32f = 2,
    resizeKind16s = 3,
};

inline int32_t resizeElementSize(int32_t kind) { return kind == resizeKind8u ? 1 : kind == resizeKind32f ? 4 : 2; }
inline int32_t resizeElementShift(int32_t kind) { return kind == resizeKind8u ? 0 : kind == resizeKind32f ? 2 : 1; }

using ResizeNearestFn = void (*)(const void* src, void* dst, int32_t dstStep, int32_t width, int32_t height,
                                 const int32_t* rowOffsets, const int32_t* colOffsets, int32_t pixelStride);

// Integer kinds: rowWeights one uint16 per row, colWeights a uint16 pair per
// column (Q14) and 16-bit work rows; float kind: one float per row and column.
using ResizeLinearFn = void (*)(const void* src, void* dst, int32_t srcStep, int32_t dstStep, int32_t width,
                                int32_t height, const int32_t* rowOffsets, const int32_t* colOffsets,
                                const void* rowWeights, const void* colWeights, void* workRow0, void* workRow1,
                                int32_t pixelStride, int32_t channelCount);

// General engine: one float position per row and column; square-pixel
// engine: four float weights per row and column.
using ResizeCubicFn = void (*)(const void* src, void* dst, int32_t srcStep, int32_t dstStep, int32_t width,
                               int32_t height, const int32_t* rowOffsets, const int32_t* colOffsets,
                               const float* rowWeights, const float* colWeights, float* workRow0, float* workRow1,
                               float* workRow2, float* workRow3, int32_t pixelStride, int32_t channelCount);

using ResizeGenLanczosFn = void (*)(const void* src, void* dst, int32_t srcStep, int32_t dstStep, int32_t width,
                                    int32_t height, const int32_t* rowOffsets, const int32_t* colOffsets,
                                    const float* rowTaps, const float* colTaps, float* workRow0, float* workRow1,
                                    float* workRow2, float* workRow3, float* workRow4, float* workRow5, int32_t roiX,
                                    int32_t roiY, int32_t widthToEdge, int32_t heightToEdge, int32_t verticalUpscale,
                                    int32_t pixelStride, int32_t channelCount);

using ResizeSqLanczosFn = void (*)(const void* src, void* dst, int32_t srcStep, int32_t dstStep, int32_t width,
                                   int32_t height, const int32_t* rowOffsets, const int32_t* colOffsets,
                                   const float* rowTaps, const float* colTaps, float* workRow0, float* workRow1,
                                   float* workRow2, float* workRow3, float* workRow4, float* workRow5,
                                   int32_t pixelStride, int32_t channelCount);

// The 48 routines of one path, in entry order: nearest 0-11 (3-channel,
// one-channel, 4-channel; each 8u, 16u, 32f, 16s), linear 12-19 (pixels,
// plane), general cubic 20-25 (pixels, plane; 8u, 16u, 32f), square-pixel
// cubic 26-33, general Lanczos 34-39, square-pixel Lanczos 40-47.
struct ResizeRowRoutineTable {
    ResizeNearestFn nearest[12];
    ResizeLinearFn linear[8];
    ResizeCubicFn genCubic[6];
    ResizeCubicFn sqCubic[8];
    ResizeGenLanczosFn genLanczos[6];
    ResizeSqLanczosFn sqLanczos[8];
};

// Tabulated Lanczos-3 kernel at steps of 0.01 over [0, 3], then three zeros.
extern const float lanczos3KernelTable[304];

namespace prim::generic {

extern const ResizeRowRoutineTable resizeRowRoutineTable;

// Six normalised Lanczos-3 tap weights (taps -2 .. +3) per fraction.
void lanczos3Weights(const float* fractions, int32_t count, float* taps);

} // namespace prim::generic

// The row routines of each processor path.
extern const ResizeRowRoutineTable* const resizeRowRoutineTables[6];

// Each path's Lanczos-3 tap generator (six weights per fraction).
using LanczosWeightsFn = void (*)(const float* fractions, int32_t count, float* taps);
extern const LanczosWeightsFn lanczos3WeightsTable[6];
