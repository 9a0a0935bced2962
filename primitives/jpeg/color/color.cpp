#include "primitives/jpeg/color/color.h"

namespace {

constexpr YccToRgbTable buildYccToRgb() {
    YccToRgbTable t{};
    for (int32_t i = 0; i < 256; ++i) {
        const int32_t x = i - 128;
        t.v[0][i] = (91881 * x + 32768) >> 16;   // Cr to R, 1.40200
        t.v[1][i] = (116130 * x + 32768) >> 16;  // Cb to B, 1.77200
        t.v[2][i] = -46802 * x;                  // Cr to G, 0.71414
        t.v[3][i] = -22554 * x + 32768;          // Cb to G, 0.34414, with the rounding addend
    }
    return t;
}

constexpr RgbToYccTable buildRgbToYcc() {
    RgbToYccTable t{};
    for (int32_t i = 0; i < 256; ++i) {
        t.v[0][i] = 19595 * i;            // 0.29900
        t.v[1][i] = 38470 * i;            // 0.58700
        t.v[2][i] = 7471 * i + 32768;     // 0.11400, luma rounding addend
        t.v[3][i] = -11059 * i;           // 0.16874
        t.v[4][i] = -21709 * i;           // 0.33126
        t.v[5][i] = 32768 * i + 8421375;  // 0.50000, chroma offset 128 and addend one below half
        t.v[6][i] = -27439 * i;           // 0.41869
        t.v[7][i] = -5329 * i;            // 0.08131
    }
    return t;
}

} // namespace

constexpr YccToRgbTable yccToRgbTable = buildYccToRgb();
constexpr RgbToYccTable rgbToYccTable = buildRgbToYcc();

namespace prim::generic {

int32_t ycbcrPlanesToRgbPixels(const uint8_t* const* src, int32_t srcStep, uint8_t* dst, int32_t dstStep,
                               PrimSize roi) {
    int32_t status = jpeg_color::checkPlanar(reinterpret_cast<const void* const*>(src), dst, srcStep, dstStep, roi);
    if (status != primNoErr) return status;
    for (int32_t r = 0; r < roi.height; ++r) {
        const intptr_t off = static_cast<intptr_t>(r) * srcStep;
        const uint8_t* y = src[0] + off;
        const uint8_t* cb = src[1] + off;
        const uint8_t* cr = src[2] + off;
        uint8_t* d = dst + static_cast<intptr_t>(r) * dstStep;
        for (int32_t x = 0; x < roi.width; ++x) jpeg_color::yccToRgbPixel(y[x], cb[x], cr[x], d + 3 * x);
    }
    return primNoErr;
}

int32_t rgbPixelsToYCbCrPlanes(const uint8_t* src, int32_t srcStep, uint8_t* const* dst, int32_t dstStep,
                               PrimSize roi) {
    int32_t status = jpeg_color::checkPlanar(reinterpret_cast<const void* const*>(dst), src, srcStep, dstStep, roi);
    if (status != primNoErr) return status;
    const auto& t = rgbToYccTable.v;
    for (int32_t r = 0; r < roi.height; ++r) {
        const uint8_t* s = src + static_cast<intptr_t>(r) * srcStep;
        const intptr_t off = static_cast<intptr_t>(r) * dstStep;
        uint8_t* y = dst[0] + off;
        uint8_t* cb = dst[1] + off;
        uint8_t* cr = dst[2] + off;
        for (int32_t x = 0; x < roi.width; ++x) {
            const int32_t R = s[3 * x], G = s[3 * x + 1], B = s[3 * x + 2];
            y[x] = static_cast<uint8_t>((t[0][R] + t[1][G] + t[2][B]) >> 16);
            cb[x] = static_cast<uint8_t>((t[3][R] + t[4][G] + t[5][B]) >> 16);
            cr[x] = static_cast<uint8_t>((t[5][R] + t[6][G] + t[7][B]) >> 16);
        }
    }
    return primNoErr;
}

int32_t rgbPixelsToLuma(const uint8_t* src, int32_t srcStep, uint8_t* dst, int32_t dstStep, PrimSize roi) {
    int32_t status = jpeg_color::checkPacked(src, dst, srcStep, dstStep, roi);
    if (status != primNoErr) return status;
    const auto& t = rgbToYccTable.v;
    for (int32_t r = 0; r < roi.height; ++r) {
        const uint8_t* s = src + static_cast<intptr_t>(r) * srcStep;
        uint8_t* y = dst + static_cast<intptr_t>(r) * dstStep;
        for (int32_t x = 0; x < roi.width; ++x)
            y[x] = static_cast<uint8_t>((t[0][s[3 * x]] + t[1][s[3 * x + 1]] + t[2][s[3 * x + 2]]) >> 16);
    }
    return primNoErr;
}

int32_t ycckPlanesToCmykPixels(const uint8_t* const* src, int32_t srcStep, uint8_t* dst, int32_t dstStep,
                               PrimSize roi) {
    int32_t status = jpeg_color::checkPlanar4(reinterpret_cast<const void* const*>(src), dst, srcStep, dstStep, roi);
    if (status != primNoErr) return status;
    for (int32_t r = 0; r < roi.height; ++r) {
        const intptr_t off = static_cast<intptr_t>(r) * srcStep;
        const uint8_t* y = src[0] + off;
        const uint8_t* cb = src[1] + off;
        const uint8_t* cr = src[2] + off;
        const uint8_t* k = src[3] + off;
        uint8_t* d = dst + static_cast<intptr_t>(r) * dstStep;
        for (int32_t x = 0; x < roi.width; ++x) jpeg_color::ycckToCmykPixel(y[x], cb[x], cr[x], k[x], d + 4 * x);
    }
    return primNoErr;
}

int32_t cmykPixelsToYcckPlanes(const uint8_t* src, int32_t srcStep, uint8_t* const* dst, int32_t dstStep,
                               PrimSize roi) {
    int32_t status = jpeg_color::checkPlanar4(reinterpret_cast<const void* const*>(dst), src, srcStep, dstStep, roi);
    if (status != primNoErr) return status;
    const auto& t = rgbToYccTable.v;
    for (int32_t r = 0; r < roi.height; ++r) {
        const uint8_t* s = src + static_cast<intptr_t>(r) * srcStep;
        const intptr_t off = static_cast<intptr_t>(r) * dstStep;
        uint8_t* y = dst[0] + off;
        uint8_t* cb = dst[1] + off;
        uint8_t* cr = dst[2] + off;
        uint8_t* k = dst[3] + off;
        for (int32_t x = 0; x < roi.width; ++x) {
            const int32_t R = 255 - s[4 * x], G = 255 - s[4 * x + 1], B = 255 - s[4 * x + 2];
            y[x] = static_cast<uint8_t>((t[0][R] + t[1][G] + t[2][B]) >> 16);
            cb[x] = static_cast<uint8_t>((t[3][R] + t[4][G] + t[5][B]) >> 16);
            cr[x] = static_cast<uint8_t>((t[5][R] + t[6][G] + t[7][B]) >> 16);
            k[x] = s[4 * x + 3];
        }
    }
    return primNoErr;
}

} // namespace prim::generic

#define VQ_COLOR_TABLE(name) { prim::generic::name, prim::p1::name, prim::p2::name, prim::p3::name, prim::p4::name, prim::p5::name }

const YCbCrToRgbFn ycbcrPlanesToRgbPixelsTable[6] = VQ_COLOR_TABLE(ycbcrPlanesToRgbPixels);
const RgbToYCbCrFn rgbPixelsToYCbCrPlanesTable[6] = VQ_COLOR_TABLE(rgbPixelsToYCbCrPlanes);
const RgbToLumaFn rgbPixelsToLumaTable[6] = VQ_COLOR_TABLE(rgbPixelsToLuma);
const YcckToCmykFn ycckPlanesToCmykPixelsTable[6] = VQ_COLOR_TABLE(ycckPlanesToCmykPixels);
const CmykToYcckFn cmykPixelsToYcckPlanesTable[6] = VQ_COLOR_TABLE(cmykPixelsToYcckPlanes);

int32_t ycbcrPlanesToRgbPixels(const uint8_t* const src[3], int32_t srcStep, uint8_t* dst, int32_t dstStep,
                               PrimSize roi) {
    return VQ_DISPATCH(ycbcrPlanesToRgbPixelsTable)(src, srcStep, dst, dstStep, roi);
}
int32_t rgbPixelsToYCbCrPlanes(const uint8_t* src, int32_t srcStep, uint8_t* const dst[3], int32_t dstStep,
                               PrimSize roi) {
    return VQ_DISPATCH(rgbPixelsToYCbCrPlanesTable)(src, srcStep, dst, dstStep, roi);
}
int32_t rgbPixelsToLuma(const uint8_t* src, int32_t srcStep, uint8_t* dst, int32_t dstStep, PrimSize roi) {
    return VQ_DISPATCH(rgbPixelsToLumaTable)(src, srcStep, dst, dstStep, roi);
}
int32_t ycckPlanesToCmykPixels(const uint8_t* const src[4], int32_t srcStep, uint8_t* dst, int32_t dstStep,
                               PrimSize roi) {
    return VQ_DISPATCH(ycckPlanesToCmykPixelsTable)(src, srcStep, dst, dstStep, roi);
}
int32_t cmykPixelsToYcckPlanes(const uint8_t* src, int32_t srcStep, uint8_t* const dst[4], int32_t dstStep,
                               PrimSize roi) {
    return VQ_DISPATCH(cmykPixelsToYcckPlanesTable)(src, srcStep, dst, dstStep, roi);
}
