// General resize core and the resize-by-factors entry points.
#include "primitives/resample/resize_gen.h"
#include "primitives/resample/super_sample.h"

#include <cmath>
#include <cstddef>
#include <cstdint>

#include "primitives/core/dispatch.h"
#include "primitives/core/memory.h"
#include "primitives/core/processor.h"

namespace {

// Destination extent in scale mode: roi x factor, raised to one pixel when
// at least half a pixel; -1 for less than half a pixel.
int32_t scaledExtent(int32_t roi, double factor, int32_t requested) {
    const double p = roi * factor + 1e-7;
    const int32_t n = truncateToInt(p);
    if (n >= requested)
        return requested;
    if (n >= 1)
        return n;
    return p < 0.5 ? -1 : 1;
}

int32_t steppedExtent(int32_t roi, double step, int32_t requested, bool nearest) {
    const int32_t n = truncateToInt((nearest ? roi : roi - 1) / step + 1e-7);
    if (n < requested - 1) {
        const int32_t w = nearest ? n : n + 1;
        return w < 1 ? 1 : w;
    }
    return requested;
}

// Everything allocated for one call, released together.
struct Arrays {
    void* blocks[12] = {};
    int count = 0;
    bool failed = false;
    template <class T> T* take(void* p) {
        if (p == nullptr)
            failed = true;
        else
            blocks[count++] = p;
        return static_cast<T*>(p);
    }
    int32_t* ints(int32_t n) { return take<int32_t>(allocVector32s(n)); }
    float* floats(int32_t n) { return take<float>(allocVector32s(n)); }
    uint16_t* halves(int32_t n) { return take<uint16_t>(allocVector16s(n)); }
    ~Arrays() {
        for (int i = 0; i < count; ++i)
            freeVector(blocks[i]);
    }
};

} // namespace

int32_t resizeGenCheck(const void* src, const void* dst, PrimSize srcSize, PrimRect srcRoi, PrimSize dstRoiSize,
                       double xFactor, double yFactor) {
    if (src == nullptr || dst == nullptr)
        return primErrNullPtr;
    if (srcSize.width <= 0 || srcSize.height <= 0 || srcRoi.x < 0 || srcRoi.y < 0 || srcRoi.width <= 0 ||
        srcRoi.height <= 0)
        return primErrSize;
    if (srcRoi.x >= srcSize.width || srcRoi.y >= srcSize.height)
        return primWrnOutsideSource;
    if (dstRoiSize.width <= 0 || dstRoiSize.height <= 0)
        return primErrSize;
    if (xFactor <= 0.0 || yFactor <= 0.0)
        return primErrResizeFactor;
    return primNoErr;
}

int32_t resizeGenCore(const ResizeRowRoutineTable& routines, LanczosWeightsFn lanczosWeights, const void* src,
                      PrimSize srcSize, int32_t srcStep, PrimRect srcRoi, void* dst, int32_t dstStep,
                      PrimSize dstRoiSize, double xFactor, double yFactor, double xShift, double yShift,
                      int32_t pixelStride, int32_t channelCount, int32_t dataKind, int32_t planar,
                      int32_t interpolation, int32_t scaleMode) {
    const int32_t checked = resizeGenCheck(src, dst, srcSize, srcRoi, dstRoiSize, xFactor, yFactor);
    if (checked != primNoErr)
        return checked;
    // Row offsets are element counts held in 32 bits: a source whose rows
    // lie further apart than that is refused rather than misaddressed.
    if (int64_t(srcStep < 0 ? -int64_t(srcStep) : srcStep) * srcSize.height > INT32_MAX)
        return primErrStep;
    int32_t code = interpolation;
    if (code != 1 && code != 2 && code != 4 && code != 16)
        return primErrInterpolation;
    // Signed 16-bit samples have nearest and linear routines only.
    if (dataKind == 3 && (code == 4 || code == 16))
        return primErrInterpolation;
    // A factor that is not a number would give undefined positions.
    if (std::isnan(xFactor) || std::isnan(yFactor))
        return primErrResizeFactor;

    // Tiny images take a cheaper kernel, judged on the whole image.
    if (code == 16 && (srcSize.width < 8 || srcSize.height < 8))
        code = 4;
    if (code == 4 && (srcSize.width < 4 || srcSize.height < 4))
        code = 2;
    if (code == 2 && (srcSize.width < 2 || srcSize.height < 2))
        code = 1;

    const int32_t roiWidth = srcRoi.width < srcSize.width - srcRoi.x ? srcRoi.width : srcSize.width - srcRoi.x;
    const int32_t roiHeight = srcRoi.height < srcSize.height - srcRoi.y ? srcRoi.height : srcSize.height - srcRoi.y;
    int32_t width, height;
    if (scaleMode != 0) {
        width = scaledExtent(roiWidth, xFactor, dstRoiSize.width);
        height = width < 0 ? -1 : scaledExtent(roiHeight, yFactor, dstRoiSize.height);
        if (width < 0 || height < 0)
            return primErrNoDstPixels;
    } else {
        width = steppedExtent(roiWidth, xFactor, dstRoiSize.width, code == 1);
        height = steppedExtent(roiHeight, yFactor, dstRoiSize.height, code == 1);
    }

    // Position start and step per axis; positions are summed one after the
    // other. Scale mode aligns the corners for the interpolating kernels.
    auto axis = [&](double factor, int32_t roi, double& start, double& step) {
        if (scaleMode != 0) {
            if (code == 1) {
                step = 1.0 / factor;
                start = 0.5 * step;
            } else {
                const double span = factor * roi;
                step = span > 1.0 ? (roi - 1) / (span - 1.0) : 0.0;
                start = 0.0;
            }
        } else {
            step = factor;
            start = code == 1 ? 0.5 * factor : 0.0;
        }
    };
    double xStart, xStep, yStart, yStep;
    axis(xFactor, roiWidth, xStart, xStep);
    axis(yFactor, roiHeight, yStart, yStep);

    const int32_t elem = dataKind == 0 ? 1 : dataKind == 2 ? 4 : 2;
    const int32_t shift = dataKind == 0 ? 0 : dataKind == 2 ? 2 : 1;
    const int32_t srcStepE = srcStep >> shift;
    const int32_t dstStepE = dstStep >> shift;
    const bool interleavedPixels = planar == 0 && channelCount != 1;
    const int32_t colMul = interleavedPixels ? pixelStride : 1;
    // Image extents from the region's origin: the last row and column.
    const int32_t lastRow = srcSize.height - srcRoi.y - 1;
    const int32_t lastCol = srcSize.width - srcRoi.x - 1;

    Arrays arrays;
    int32_t* rowOffsets = arrays.ints(height);
    int32_t* colOffsets = arrays.ints(width);
    if (arrays.failed)
        return primErrMemAlloc;

    const bool q14 = code == 2 && dataKind != 2;
    void* rowWeights = nullptr;
    void* colWeights = nullptr;
    if (q14) {
        rowWeights = arrays.halves(height);
        colWeights = arrays.halves(2 * width);
    } else if (code != 1) {
        rowWeights = arrays.floats(height);
        colWeights = arrays.floats(width);
    }
    if (arrays.failed)
        return primErrMemAlloc;

    // One axis: integer parts (with the kernel's edge adjustment) into
    // offsets, fractions or kernel positions into weights.
    auto fill = [&](int32_t count, double start, double step, double shiftBy, int32_t last, int32_t origin,
                    int32_t multiplier, int32_t* offsets, void* weights, bool pairs) {
        double pos = start + shiftBy;
        for (int32_t i = 0; i < count; ++i, pos += step) {
            int32_t c = truncateToInt(pos + 1e-7);
            if (code == 1) {
                // Kept inside the image: a centre within 1e-7 of the region's
                // end can otherwise map one past it.
                c = c < -origin ? -origin : c > last ? last : c;
                offsets[i] = c * multiplier;
                continue;
            }
            double weight;
            if (code == 2) {
                if (c < -origin) {
                    // Only a negative shift gets here: hold the first sample.
                    c = -origin;
                    weight = 0.0;
                } else if (c >= last) {
                    c = last - 1;
                    weight = 1.0;
                } else {
                    weight = pos - c;
                }
            } else if (code == 4) {
                const int32_t a = origin + c;
                const int32_t lastAbs = origin + last;
                if (a >= lastAbs) {
                    c = last - 2;
                    weight = 2.0;
                } else {
                    if (a <= 0)
                        c = -origin + 1;
                    else if (a == lastAbs - 1)
                        c -= 1;
                    weight = static_cast<float>(pos - c);
                }
            } else {
                weight = static_cast<float>(pos - c);
            }
            offsets[i] = c * multiplier;
            if (q14) {
                const int32_t w = weight >= 1.0 ? 16384 : truncateToInt(weight * 16384.0 + 1e-7);
                uint16_t* out = static_cast<uint16_t*>(weights);
                if (pairs) {
                    out[2 * i] = static_cast<uint16_t>(16384 - w);
                    out[2 * i + 1] = static_cast<uint16_t>(w);
                } else {
                    out[i] = static_cast<uint16_t>(w);
                }
            } else {
                static_cast<float*>(weights)[i] = static_cast<float>(weight);
            }
        }
    };
    fill(height, yStart, yStep, yShift, lastRow, srcRoi.y, srcStepE, rowOffsets, rowWeights, false);
    fill(width, xStart, xStep, xShift, lastCol, srcRoi.x, colMul, colOffsets, colWeights, true);

    float* rowTaps = nullptr;
    float* colTaps = nullptr;
    if (code == 16) {
        colTaps = arrays.floats(6 * width);
        rowTaps = arrays.floats(6 * height);
        if (arrays.failed)
            return primErrMemAlloc;
        lanczosWeights(static_cast<const float*>(colWeights), width, colTaps);
        lanczosWeights(static_cast<const float*>(rowWeights), height, rowTaps);
    }

    const int32_t rowCount = code == 2 ? 2 : code == 4 ? 4 : code == 16 ? 6 : 0;
    const int32_t rowLength = planar != 0 || channelCount == 1 ? width + 4
                              : channelCount == 3              ? 3 * width + 12
                                                               : 4 * width + 16;
    void* work[6] = {};
    for (int32_t r = 0; r < rowCount; ++r)
        work[r] = q14 ? static_cast<void*>(arrays.halves(rowLength)) : static_cast<void*>(arrays.floats(rowLength));
    if (arrays.failed)
        return primErrMemAlloc;

    const int32_t planes = planar != 0 ? (channelCount == 4 ? 4 : 3) : 1;
    const int32_t kindOffset = planar != 0 || channelCount == 1 ? 4 : 0;
    const int32_t ps = planar != 0 ? 0 : pixelStride;
    const int32_t cc = planar != 0 ? 0 : channelCount;
    float* const* fw = reinterpret_cast<float* const*>(work);
    for (int32_t p = 0; p < planes; ++p) {
        const uint8_t* base = static_cast<const uint8_t*>(planar != 0 ? static_cast<const void* const*>(src)[p] : src);
        const void* origin = base + static_cast<std::ptrdiff_t>(srcRoi.y) * srcStep +
                             static_cast<std::ptrdiff_t>(srcRoi.x) * (planar != 0 ? 1 : pixelStride) * elem;
        void* out = planar != 0 ? static_cast<void* const*>(dst)[p] : dst;
        switch (code) {
        case 1: {
            const int32_t entry = planar != 0 ? 4 + dataKind
                                              : dataKind + (channelCount == 1   ? 4
                                                            : channelCount == 4 ? 8
                                                                                : 0);
            routines.nearest[entry](origin, out, dstStepE, width, height, rowOffsets, colOffsets, ps);
            break;
        }
        case 2:
            routines.linear[dataKind + kindOffset](origin, out, srcStepE, dstStepE, width, height, rowOffsets,
                                                   colOffsets, rowWeights, colWeights, work[0], work[1], ps, cc);
            break;
        case 4:
            routines.genCubic[dataKind + (kindOffset ? 3 : 0)](
                origin, out, srcStepE, dstStepE, width, height, rowOffsets, colOffsets,
                static_cast<const float*>(rowWeights), static_cast<const float*>(colWeights), fw[0], fw[1], fw[2],
                fw[3], ps, cc);
            break;
        default: {
            const int32_t verticalUpscale = scaleMode != 0 ? (yFactor >= 1.0) : !(yFactor >= 1.0);
            routines.genLanczos[dataKind + (kindOffset ? 3 : 0)](
                origin, out, srcStepE, dstStepE, width, height, rowOffsets, colOffsets, rowTaps, colTaps, fw[0], fw[1],
                fw[2], fw[3], fw[4], fw[5], srcRoi.x, srcRoi.y, srcSize.width - srcRoi.x, srcSize.height - srcRoi.y,
                verticalUpscale, ps, cc);
            break;
        }
        }
    }
    return primNoErr;
}

// ---------------------------------------------------------------------------
// Entry points: super-sampling for reductions with code 8, else the general
// core, both with the routines of path P.

namespace {

template <int Path, class T, int32_t Channels, int32_t Kind>
int32_t resizeByFactorsEntry(const T* src, PrimSize srcSize, int32_t srcStep, PrimRect srcRoi, T* dst, int32_t dstStep,
                             PrimSize dstRoiSize, double xFactor, double yFactor, int32_t interpolation) {
    if (interpolation == 8 && xFactor <= 1.0 && yFactor <= 1.0)
        return resizeGenSuperCore(*resizeGenSuperSets[Path], src, srcSize, srcStep, srcRoi, dst, dstStep, dstRoiSize,
                                  xFactor, yFactor, Channels, Channels, Kind, 0);
    return resizeGenCore(*resizeRowRoutineTables[Path], lanczos3WeightsTable[Path], src, srcSize, srcStep, srcRoi, dst,
                         dstStep, dstRoiSize, xFactor, yFactor, 0.0, 0.0, Channels, Channels, Kind, 0, interpolation,
                         1);
}

#define VQ_GEN_TABLE(T, ch, kind)                                                                                      \
    {                                                                                                                  \
        resizeByFactorsEntry<0, T, ch, kind>, resizeByFactorsEntry<1, T, ch, kind>,                                    \
            resizeByFactorsEntry<2, T, ch, kind>, resizeByFactorsEntry<3, T, ch, kind>,                                \
            resizeByFactorsEntry<4, T, ch, kind>, resizeByFactorsEntry<5, T, ch, kind>                                 \
    }

} // namespace

// ---------------------------------------------------------------------------
// Resize about a centre point.

int32_t resizeCenterRegion(int32_t srcWidth, int32_t srcHeight, int32_t roiX, int32_t roiY, int32_t roiWidth,
                           int32_t roiHeight, int32_t dstWidth, int32_t dstHeight, double xFactor, double yFactor,
                           double xCenter, double yCenter, PrimRect* dstRegion, PrimRect* srcRegion, double* xShift,
                           double* yShift) {
    if (srcWidth <= 0 || srcHeight <= 0 || roiX < 0 || roiY < 0 || roiWidth <= 0 || roiHeight <= 0)
        return primErrSize;
    if (roiX >= srcWidth || roiY >= srcHeight)
        return primWrnOutsideSource;
    if (dstWidth <= 0 || dstHeight <= 0)
        return primErrSize;
    if (!(xFactor > 0.0) || !(yFactor > 0.0))
        return primErrResizeFactor;
    if (dstRegion == nullptr || srcRegion == nullptr || xShift == nullptr || yShift == nullptr)
        return primErrNullPtr;
    const int32_t w = int64_t(roiX) + roiWidth > srcWidth ? srcWidth - roiX : roiWidth;
    const int32_t h = int64_t(roiY) + roiHeight > srcHeight ? srcHeight - roiY : roiHeight;
    const double hw = dstWidth * 0.5, hh = dstHeight * 0.5;
    const double c = hw + xFactor * (roiX - xCenter);
    const double n = hh + yFactor * (roiY - yCenter);
    const int32_t x0 = truncateToInt(std::ceil(c));
    const int32_t y0 = truncateToInt(std::ceil(n));
    dstRegion->x = x0 < 0 ? 0 : x0;
    dstRegion->y = y0 < 0 ? 0 : y0;
    const double cr = c + xFactor * w, nr = n + yFactor * h;
    dstRegion->width = truncateToInt(cr < dstWidth ? cr : double(dstWidth)) - dstRegion->x;
    dstRegion->height = truncateToInt(nr < dstHeight ? nr : double(dstHeight)) - dstRegion->y;
    const double rx = 1.0 / xFactor, ry = 1.0 / yFactor;
    const double sw = (dstWidth - c) * rx, sh = (dstHeight - n) * ry;
    srcRegion->width = truncateToInt(std::ceil(w < sw ? double(w) : sw));
    srcRegion->height = truncateToInt(std::ceil(h < sh ? double(h) : sh));
    const double sx = xCenter + (dstRegion->x - hw) * rx;
    const double sy = yCenter + (dstRegion->y - hh) * ry;
    srcRegion->x = truncateToInt(sx);
    srcRegion->y = truncateToInt(sy);
    *xShift = sx - srcRegion->x;
    *yShift = sy - srcRegion->y;
    return primNoErr;
}

namespace {

template <int Path>
int32_t resizeByFactorsCenteredEntry(const float* src, PrimSize srcSize, int32_t srcStep, PrimRect srcRoi, float* dst,
                                     int32_t dstStep, PrimSize dstSize, double xFactor, double yFactor, double xCenter,
                                     double yCenter, int32_t interpolation) {
    if (dst == nullptr)
        return primErrNullPtr;
    PrimRect dstRegion{}, srcRegion{};
    double xShift = 0, yShift = 0;
    const int32_t status = resizeCenterRegion(srcSize.width, srcSize.height, srcRoi.x, srcRoi.y, srcRoi.width,
                                              srcRoi.height, dstSize.width, dstSize.height, xFactor, yFactor, xCenter,
                                              yCenter, &dstRegion, &srcRegion, &xShift, &yShift);
    if (status != primNoErr)
        return status;
    float* start = dst + static_cast<std::ptrdiff_t>(dstRegion.y) * (dstStep / 4) + dstRegion.x;
    const PrimSize regionSize{dstRegion.width, dstRegion.height};
    if (interpolation == 8 && xFactor <= 1.0 && yFactor <= 1.0)
        return resizeGenSuperCore(*resizeGenSuperSets[Path], src, srcSize, srcStep, srcRegion, start, dstStep,
                                  regionSize, xFactor, yFactor, 1, 1, 2, 0);
    return resizeGenCore(*resizeRowRoutineTables[Path], lanczos3WeightsTable[Path], src, srcSize, srcStep, srcRegion,
                         start, dstStep, regionSize, xFactor, yFactor, xShift, yShift, 1, 1, 2, 0, interpolation, 1);
}

} // namespace

const ResizeByFactorsCentered32fFn resizeByFactorsCentered32fC1Table[6] = {
    resizeByFactorsCenteredEntry<0>, resizeByFactorsCenteredEntry<1>, resizeByFactorsCenteredEntry<2>,
    resizeByFactorsCenteredEntry<3>, resizeByFactorsCenteredEntry<4>, resizeByFactorsCenteredEntry<5>,
};

int32_t resizeByFactorsCentered32fC1(const float* src, PrimSize srcSize, int32_t srcStep, PrimRect srcRoi, float* dst,
                                     int32_t dstStep, PrimSize dstSize, double xFactor, double yFactor, double xCenter,
                                     double yCenter, int32_t interpolation) {
    return VQ_DISPATCH(resizeByFactorsCentered32fC1Table)(src, srcSize, srcStep, srcRoi, dst, dstStep, dstSize, xFactor,
                                                          yFactor, xCenter, yCenter, interpolation);
}

const ResizeByFactors8uFn resizeByFactors8uC1Table[6] = VQ_GEN_TABLE(uint8_t, 1, 0);
const ResizeByFactors8uFn resizeByFactors8uC3Table[6] = VQ_GEN_TABLE(uint8_t, 3, 0);
const ResizeByFactors16uFn resizeByFactors16uC1Table[6] = VQ_GEN_TABLE(uint16_t, 1, 1);
const ResizeByFactors16uFn resizeByFactors16uC3Table[6] = VQ_GEN_TABLE(uint16_t, 3, 1);
const ResizeByFactors32fFn resizeByFactors32fC3Table[6] = VQ_GEN_TABLE(float, 3, 2);
#undef VQ_GEN_TABLE

int32_t resizeByFactors8uC1(const uint8_t* src, PrimSize srcSize, int32_t srcStep, PrimRect srcRoi, uint8_t* dst,
                            int32_t dstStep, PrimSize dstRoiSize, double xFactor, double yFactor,
                            int32_t interpolation) {
    return VQ_DISPATCH(resizeByFactors8uC1Table)(src, srcSize, srcStep, srcRoi, dst, dstStep, dstRoiSize, xFactor,
                                                 yFactor, interpolation);
}
int32_t resizeByFactors8uC3(const uint8_t* src, PrimSize srcSize, int32_t srcStep, PrimRect srcRoi, uint8_t* dst,
                            int32_t dstStep, PrimSize dstRoiSize, double xFactor, double yFactor,
                            int32_t interpolation) {
    return VQ_DISPATCH(resizeByFactors8uC3Table)(src, srcSize, srcStep, srcRoi, dst, dstStep, dstRoiSize, xFactor,
                                                 yFactor, interpolation);
}
int32_t resizeByFactors16uC1(const uint16_t* src, PrimSize srcSize, int32_t srcStep, PrimRect srcRoi, uint16_t* dst,
                             int32_t dstStep, PrimSize dstRoiSize, double xFactor, double yFactor,
                             int32_t interpolation) {
    return VQ_DISPATCH(resizeByFactors16uC1Table)(src, srcSize, srcStep, srcRoi, dst, dstStep, dstRoiSize, xFactor,
                                                  yFactor, interpolation);
}
int32_t resizeByFactors16uC3(const uint16_t* src, PrimSize srcSize, int32_t srcStep, PrimRect srcRoi, uint16_t* dst,
                             int32_t dstStep, PrimSize dstRoiSize, double xFactor, double yFactor,
                             int32_t interpolation) {
    return VQ_DISPATCH(resizeByFactors16uC3Table)(src, srcSize, srcStep, srcRoi, dst, dstStep, dstRoiSize, xFactor,
                                                  yFactor, interpolation);
}
int32_t resizeByFactors32fC3(const float* src, PrimSize srcSize, int32_t srcStep, PrimRect srcRoi, float* dst,
                             int32_t dstStep, PrimSize dstRoiSize, double xFactor, double yFactor,
                             int32_t interpolation) {
    return VQ_DISPATCH(resizeByFactors32fC3Table)(src, srcSize, srcStep, srcRoi, dst, dstStep, dstRoiSize, xFactor,
                                                  yFactor, interpolation);
}
