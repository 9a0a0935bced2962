// Conversions between 8-bit RGB pixels and 8-bit YCbCr planes with the JFIF
// equations (full range, chroma centred on 128).
//
// The generic form uses the 16-bit fixed-point tables of the classic JPEG
// library and gives exactly its bytes. The processor paths use shorter
// fixed-point weights and may differ from it by one:
//   - YCbCr to RGB: the first 4 * floor(width / 4) pixels of a row take 14-bit
//     weights; the remaining pixels use the generic tables.
//   - RGB to YCbCr: complete groups of eight pixels from the start of a row
//     take 15-bit weights, the remaining pixels 14-bit weights.
//   - RGB to luma: every pixel takes the 15-bit weights.
// Checks, in order: null pointers (array, then Y, Cb, Cr) -8; a step of 0 or
// less -14; a width or height of 0 or less -6. Nothing is written on failure.
#pragma once

#include <cstdint>

#include "primitives/core/dispatch.h"
#include "primitives/core/prim_types.h"

using YCbCrToRgbFn = int32_t (*)(const uint8_t* const* src, int32_t srcStep, uint8_t* dst, int32_t dstStep,
                                 PrimSize roi);
using RgbToYCbCrFn = int32_t (*)(const uint8_t* src, int32_t srcStep, uint8_t* const* dst, int32_t dstStep,
                                 PrimSize roi);
using RgbToLumaFn = int32_t (*)(const uint8_t* src, int32_t srcStep, uint8_t* dst, int32_t dstStep, PrimSize roi);
using YcckToCmykFn = int32_t (*)(const uint8_t* const* src, int32_t srcStep, uint8_t* dst, int32_t dstStep,
                                 PrimSize roi);
using CmykToYcckFn = int32_t (*)(const uint8_t* src, int32_t srcStep, uint8_t* const* dst, int32_t dstStep,
                                 PrimSize roi);

// Planes Y, Cb, Cr of one size and one step to interleaved R, G, B.
int32_t ycbcrPlanesToRgbPixels(const uint8_t* const src[3], int32_t srcStep, uint8_t* dst, int32_t dstStep,
                               PrimSize roi);
// Interleaved R, G, B to planes Y, Cb, Cr sharing one step.
int32_t rgbPixelsToYCbCrPlanes(const uint8_t* src, int32_t srcStep, uint8_t* const dst[3], int32_t dstStep,
                               PrimSize roi);
// Interleaved R, G, B to a Y plane.
int32_t rgbPixelsToLuma(const uint8_t* src, int32_t srcStep, uint8_t* dst, int32_t dstStep, PrimSize roi);

// Four-channel JPEG colour: YCCK is the YCbCr of the inverted inks (255 - C,
// 255 - M, 255 - yellow) with K carried unchanged. The generic forms give the
// bytes of the classic library's converters; the processor paths use 14-bit
// weights (YCCK to CMYK: the first 4 * floor(width / 4) pixels of a row, the
// rest through the tables; CMYK to YCCK: every pixel) and may differ by one.
// Checks as above, the four plane pointers tested in the order Y, Cb, Cr, K.
// Planes Y, Cb, Cr, K of one size and one step to interleaved C, M, yellow, K.
int32_t ycckPlanesToCmykPixels(const uint8_t* const src[4], int32_t srcStep, uint8_t* dst, int32_t dstStep,
                               PrimSize roi);
// Interleaved C, M, yellow, K to planes Y, Cb, Cr, K sharing one step.
int32_t cmykPixelsToYcckPlanes(const uint8_t* src, int32_t srcStep, uint8_t* const dst[4], int32_t dstStep,
                               PrimSize roi);

extern const YCbCrToRgbFn ycbcrPlanesToRgbPixelsTable[6];
extern const YcckToCmykFn ycckPlanesToCmykPixelsTable[6];
extern const CmykToYcckFn cmykPixelsToYcckPlanesTable[6];
extern const RgbToYCbCrFn rgbPixelsToYCbCrPlanesTable[6];
extern const RgbToLumaFn rgbPixelsToLumaTable[6];

// Fixed-point tables of the generic form, stored constants.
// yccToRgbTable: CrToR, CbToB, CrToG, CbToG, indexed by the chroma sample.
// rgbToYccTable: RtoY, GtoY, BtoY, RtoCb, GtoCb, BtoCb (= RtoCr), GtoCr,
// BtoCr, indexed by the sample value.
struct YccToRgbTable {
    int32_t v[4][256];
};
struct RgbToYccTable {
    int32_t v[8][256];
};
extern const YccToRgbTable yccToRgbTable;
extern const RgbToYccTable rgbToYccTable;

#define VQ_COLOR_FORMS                                                                                              \
    int32_t ycbcrPlanesToRgbPixels(const uint8_t* const* src, int32_t srcStep, uint8_t* dst, int32_t dstStep,     \
                                   PrimSize roi);                                                                  \
    int32_t rgbPixelsToYCbCrPlanes(const uint8_t* src, int32_t srcStep, uint8_t* const* dst, int32_t dstStep,     \
                                   PrimSize roi);                                                                  \
    int32_t rgbPixelsToLuma(const uint8_t* src, int32_t srcStep, uint8_t* dst, int32_t dstStep, PrimSize roi);   \
    int32_t ycckPlanesToCmykPixels(const uint8_t* const* src, int32_t srcStep, uint8_t* dst, int32_t dstStep,     \
                                   PrimSize roi);                                                                  \
    int32_t cmykPixelsToYcckPlanes(const uint8_t* src, int32_t srcStep, uint8_t* const* dst, int32_t dstStep,     \
                                   PrimSize roi);

namespace prim::generic { VQ_COLOR_FORMS }
namespace prim::p1 { VQ_COLOR_FORMS }
namespace prim::p2 { VQ_COLOR_FORMS }
namespace prim::p3 { VQ_COLOR_FORMS }
namespace prim::p4 { VQ_COLOR_FORMS }
namespace prim::p5 { VQ_COLOR_FORMS }

namespace prim::jpeg_color {
// Argument checks shared by every path; 0 when the call may proceed.
// planes: the planar argument; other: the packed one.
inline int32_t checkPlanar(const void* const* planes, const void* other, int32_t step1, int32_t step2,
                              PrimSize roi) {
    if (!planes || !other) return primErrNullPtr;
    if (!planes[0] || !planes[1] || !planes[2]) return primErrNullPtr;
    if (step1 <= 0 || step2 <= 0) return primErrStep;
    if (roi.width <= 0 || roi.height <= 0) return primErrSize;
    return primNoErr;
}
// The same for the four planes of YCCK (Y, Cb, Cr, K).
inline int32_t checkPlanar4(const void* const* planes, const void* other, int32_t step1, int32_t step2,
                            PrimSize roi) {
    if (!planes || !other) return primErrNullPtr;
    if (!planes[0] || !planes[1] || !planes[2] || !planes[3]) return primErrNullPtr;
    return checkPlanar(planes, other, step1, step2, roi);
}
inline int32_t checkPacked(const void* src, const void* dst, int32_t step1, int32_t step2, PrimSize roi) {
    if (!src || !dst) return primErrNullPtr;
    if (step1 <= 0 || step2 <= 0) return primErrStep;
    if (roi.width <= 0 || roi.height <= 0) return primErrSize;
    return primNoErr;
}

inline uint8_t clamp255(int32_t v) { return static_cast<uint8_t>(v < 0 ? 0 : (v > 255 ? 255 : v)); }

// The generic per-pixel conversions, also used for the row ends of the paths.
inline void yccToRgbPixel(int32_t y, int32_t cb, int32_t cr, uint8_t* out) {
    const auto& t = yccToRgbTable.v;
    out[0] = clamp255(y + t[0][cr]);
    out[1] = clamp255(y + ((t[3][cb] + t[2][cr]) >> 16));
    out[2] = clamp255(y + t[1][cb]);
}
// One YCCK pixel to C, M, yellow, K: the RGB of the tables, inverted.
inline void ycckToCmykPixel(int32_t y, int32_t cb, int32_t cr, uint8_t k, uint8_t* out) {
    yccToRgbPixel(y, cb, cr, out);
    out[0] = static_cast<uint8_t>(255 - out[0]);
    out[1] = static_cast<uint8_t>(255 - out[1]);
    out[2] = static_cast<uint8_t>(255 - out[2]);
    out[3] = k;
}
} // namespace prim::jpeg_color
