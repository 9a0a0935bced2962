// Square-pixel resize engine: entry points, buffer-size query, parameter step
// and body. The body calls only the kernel set of the path it runs for.
#include "primitives/resample/resize_sq.h"

#include <cmath>
#include <cstddef>
#include <cstdint>

#include "primitives/core/dispatch.h"
#include "primitives/core/memory.h"
#include "primitives/core/processor.h"
#include "primitives/resample/super_sample.h"

namespace {

constexpr int32_t kCodeMask = 0x3FFFFFFF;
constexpr uint32_t kFlagMask = resizeEdgeBlend | resizeEdgeFade;

bool isKnownCode(int32_t code) {
    return code == 1 || code == 2 || code == 4 || code == 5 || code == 6 || code == 7 || code == 8 || code == 16;
}

int64_t roundUp(int64_t v, int64_t a) { return (v + a - 1) / a * a; }

template <class T> T* alignPtr(void* p, uintptr_t a) {
    const uintptr_t v = reinterpret_cast<uintptr_t>(p);
    return reinterpret_cast<T*>((v + a - 1) & ~(a - 1));
}
template <class T> void* endOf(T* p, int64_t count) { return p + count; }

int32_t floorToInt(double v) { return truncateToInt(std::floor(v)); }

} // namespace

// ---------------------------------------------------------------------------
// Buffer-size query.

int32_t prim::generic::resizeSquarePixelGetBufferSize(PrimRect srcRoi, PrimRect dstRoi, int32_t channels,
                                                      int32_t interpolation, int32_t* size) {
    if (size == nullptr)
        return primErrNullPtr;
    if (srcRoi.x < 0 || srcRoi.y < 0 || srcRoi.width <= 0 || srcRoi.height <= 0 || dstRoi.x < 0 || dstRoi.y < 0 ||
        dstRoi.width <= 0 || dstRoi.height <= 0)
        return primErrSize;
    if (channels != 1 && channels != 3 && channels != 4)
        return -53;
    const int32_t code = interpolation & kCodeMask;
    if (!isKnownCode(code) || (uint32_t(interpolation) & kFlagMask) == kFlagMask)
        return primErrInterpolation;

    // 64-bit arithmetic: a size that does not fit the 32-bit answer is refused.
    const int64_t w = dstRoi.width, h = dstRoi.height, n = channels;
    const int64_t base = 4 * (roundUp(w, 16) + roundUp(h, 16));
    int64_t bytes = 0;
    switch (code) {
    case 1:
        bytes = base;
        break;
    case 2:
        bytes = base + 4 * (roundUp(w, 64) + roundUp(h, 64)) + 4 * n * roundUp(2 * w + 64, 64);
        break;
    case 8:
        bytes = 8 * n * roundUp(srcRoi.width, 16);
        break;
    case 16:
        bytes = base + 4 * (roundUp(w, 32) + roundUp(h, 32)) + 4 * n * roundUp(6 * w + 160, 32) +
                4 * roundUp(6 * w + 160, 32) + 4 * roundUp(6 * h + 160, 32);
        break;
    default: // the cubics
        bytes = base + 4 * (roundUp(w, 32) + roundUp(h, 32)) + 4 * n * roundUp(4 * w + 192, 64) +
                4 * roundUp(4 * w + 96, 32) + 4 * roundUp(4 * h + 96, 32);
        break;
    }
    bytes += 16;
    if (bytes > INT32_MAX)
        return primErrSize;
    *size = static_cast<int32_t>(bytes);
    return primNoErr;
}

// ---------------------------------------------------------------------------
// Parameter step.

int32_t resizeSqSetup(const void* src, int32_t srcWidth, int32_t srcHeight, int32_t srcRoiX, int32_t srcRoiY,
                      int32_t srcRoiWidth, int32_t srcRoiHeight, const void* dst, int32_t dstRoiX, int32_t dstRoiY,
                      int32_t dstRoiWidth, int32_t dstRoiHeight, double xFactor, double yFactor, double xShift,
                      double yShift, int32_t interpolation, const void* buffer, ResizeSqParams* params) {
    if (src == nullptr || dst == nullptr || buffer == nullptr)
        return primErrNullPtr;
    if (srcWidth <= 0 || srcHeight <= 0 || srcRoiX < 0 || srcRoiY < 0 || srcRoiWidth <= 0 || srcRoiHeight <= 0 ||
        dstRoiX < 0 || dstRoiY < 0 || dstRoiWidth <= 0 || dstRoiHeight <= 0)
        return primErrSize;
    // The destination region must be addressable with 32-bit coordinates.
    if (int64_t(dstRoiX) + dstRoiWidth > INT32_MAX || int64_t(dstRoiY) + dstRoiHeight > INT32_MAX)
        return primErrSize;
    // Factors (and shifts) must be finite; NaN fails the comparisons too.
    if (!(xFactor > 0.0) || !(yFactor > 0.0) || !std::isfinite(xFactor) || !std::isfinite(yFactor) ||
        !std::isfinite(xShift) || !std::isfinite(yShift))
        return primErrResizeFactor;
    int32_t code = interpolation & kCodeMask;
    if (!isKnownCode(code) || (uint32_t(interpolation) & kFlagMask) == kFlagMask)
        return primErrInterpolation;

    // Narrow sources lower the kernel on both axes, with or without an edge
    // flag: the border kernels address the first and last three (Lanczos) or
    // two (cubic) rows and columns of the image directly.
    if (code == 16 && (srcWidth < 6 || srcHeight < 6))
        code = 4;
    if (code >= 4 && code <= 7 && (srcWidth < 4 || srcHeight < 4))
        code = 2;

    params->interpolationCode = code;
    params->blendEdges = uint32_t(interpolation) & resizeEdgeBlend;
    params->fadeEdges = uint32_t(interpolation) & resizeEdgeFade;
    if (code == 8) {
        if (xFactor >= 1.0 || yFactor >= 1.0)
            return primErrResizeFactor;
        params->areaFactor = xFactor * yFactor;
    } else {
        params->areaFactor = 0.0;
    }
    if (srcRoiX >= srcWidth || srcRoiY >= srcHeight)
        return primWrnOutsideSource;

    const int32_t right = srcRoiX + (srcWidth - srcRoiX < srcRoiWidth ? srcWidth - srcRoiX : srcRoiWidth);
    const int32_t bottom = srcRoiY + (srcHeight - srcRoiY < srcRoiHeight ? srcHeight - srcRoiY : srcRoiHeight);
    const double dstRight = double(dstRoiX) + dstRoiWidth;
    const double dstBottom = double(dstRoiY) + dstRoiHeight;
    const double mappedLeft = srcRoiX * xFactor + xShift;
    const double mappedRight = right * xFactor + xShift;
    const double mappedTop = srcRoiY * yFactor + yShift;
    const double mappedBottom = bottom * yFactor + yShift;
    const double x0 = mappedLeft > dstRoiX ? mappedLeft : double(dstRoiX);
    const double x1 = mappedRight < dstRight ? mappedRight : dstRight;
    const double y0 = mappedTop > dstRoiY ? mappedTop : double(dstRoiY);
    const double y1 = mappedBottom < dstBottom ? mappedBottom : dstBottom;
    params->edgeLeft = x0;
    params->edgeRight = x1;
    params->edgeTop = y0;
    params->edgeBottom = y1;

    // Whole pixels with an edge flag (the post-pass treats the partly covered
    // ring), pixel centres inside the mapped rectangle without one. The
    // bounds lie in [dstRoi origin, dstRoi end], so they fit 32 bits.
    int32_t xs, ys, xe, ye;
    if ((uint32_t(interpolation) & kFlagMask) != 0) {
        xs = truncateToInt(std::ceil(x0 - 1e-10));
        ys = truncateToInt(std::ceil(y0 - 1e-10));
        xe = floorToInt(x1 + 1e-10);
        ye = floorToInt(y1 + 1e-10);
    } else {
        xs = floorToInt(x0 + 0.4999999999);
        ys = floorToInt(y0 + 0.4999999999);
        xe = floorToInt(x1 + 0.5000000001);
        ye = floorToInt(y1 + 0.5000000001);
    }
    if (xs >= xe || ys >= ye)
        return primWrnNothingToDo;
    params->regionX = xs;
    params->regionY = ys;
    params->regionWidth = xe - xs;
    params->regionHeight = ye - ys;
    params->invXFactor = 1.0 / xFactor;
    params->invYFactor = 1.0 / yFactor;
    params->srcOffsetX = -(xShift / xFactor);
    params->srcOffsetY = -(yShift / yFactor);
    return primNoErr;
}

// ---------------------------------------------------------------------------
// Body.

namespace {

// Source positions of the region's rows or columns and the counts of those
// whose taps reach past an image edge. Position i is
// ((origin + i + 0.5) * inv - 0.5) + offset; counts of the first kind are
// positions below 0, 1, 2 and of the second kind positions at or above
// n - 1, n - 2, n - 3 (n the image extent); positions grow with i.
struct AxisMap {
    int32_t below[3] = {0, 0, 0};
    int32_t above[3] = {0, 0, 0};
};

// `fraction(i, f)` receives the exact fraction of position i.
template <class Fraction>
AxisMap mapAxis(int32_t origin, int32_t count, double inv, double offset, int32_t extent, int32_t multiplier,
                int32_t* indices, Fraction&& fraction) {
    AxisMap m;
    for (int32_t i = 0; i < count; ++i) {
        const double s = ((double(origin + i) + 0.5) * inv - 0.5) + offset;
        const double f = std::floor(s);
        indices[i] = truncateToInt(f) * multiplier;
        fraction(i, s - f);
        for (int b = 0; b < 3; ++b) {
            m.below[b] += s < double(b);
            m.above[b] += s >= double(extent - 1 - b);
        }
    }
    return m;
}

// Fractions stored as floats.
AxisMap mapAxis(int32_t origin, int32_t count, double inv, double offset, int32_t extent, int32_t multiplier,
                int32_t* indices, float* fractions) {
    return mapAxis(origin, count, inv, offset, extent, multiplier, indices,
                   [fractions](int32_t i, double f) { fractions[i] = static_cast<float>(f); });
}

} // namespace

int32_t resizeSqBody(const ResizeSqKernels& ks, const void* src, int32_t srcWidth, int32_t srcHeight, int32_t srcStep,
                     void* dst, int32_t dstStep, int32_t regionX, int32_t regionY, int32_t width, int32_t height,
                     double invXFactor, double invYFactor, double srcOffsetX, double srcOffsetY, double areaFactor,
                     int32_t interpolation, void* buffer, int32_t pixelStride, int32_t channelCount, int32_t dataKind,
                     int32_t planar) {
    const int32_t code = interpolation;
    if (code != 1 && code != 2 && !(code >= 4 && code <= 8) && code != 16)
        return primNoErr;

    const int32_t elem = resizeElementSize(dataKind);
    const int32_t shift = resizeElementShift(dataKind);
    const bool plane = planar != 0 || channelCount == 1;
    const int32_t stride = planar != 0 ? 1 : pixelStride;
    const std::ptrdiff_t dstOffset =
        static_cast<std::ptrdiff_t>(dstStep) * regionY + static_cast<std::ptrdiff_t>(regionX) * stride * elem;
    const int32_t srcStepE = srcStep >> shift;
    const int32_t dstStepE = dstStep >> shift;
    const int32_t planes = planar != 0 ? (channelCount == 4 ? 4 : 3) : 1;
    const int32_t colMul = plane ? 1 : pixelStride;
    const int32_t ch = plane ? 1 : channelCount;
    const int32_t rowPs = planar != 0 ? 0 : pixelStride;
    const int32_t rowCh = planar != 0 ? 0 : channelCount;

    auto srcPlane = [&](int32_t p) -> const void* {
        return planar != 0 ? static_cast<const void* const*>(src)[p] : src;
    };
    // Destination of region pixel (row, col) in plane p.
    auto dstAt = [&](int32_t p, int32_t row, int32_t col) -> void* {
        uint8_t* base = static_cast<uint8_t*>(planar != 0 ? static_cast<void* const*>(dst)[p] : dst);
        return base + dstOffset + static_cast<std::ptrdiff_t>(dstStep) * row +
               static_cast<std::ptrdiff_t>(col) * stride * elem;
    };

    if (code == 8) {
        // Super-sampling: the footprint of the region's top-left corner in
        // the source, the pads past the image and the first partial weights.
        const double x0 = regionX * invXFactor + srcOffsetX;
        const double y0 = regionY * invYFactor + srcOffsetY;
        const int32_t ix = x0 >= 0 ? floorToInt(x0 + 1e-10) : floorToInt(x0);
        const int32_t iy = y0 >= 0 ? floorToInt(y0 + 1e-10) : floorToInt(y0);
        const int32_t leftPad = x0 < 0 ? -ix : 0;
        const int32_t topPad = y0 < 0 ? -iy : 0;
        const std::ptrdiff_t srcShift = (x0 < 0 ? 0 : static_cast<std::ptrdiff_t>(ix) * stride * elem) +
                                        (y0 < 0 ? 0 : static_cast<std::ptrdiff_t>(iy) * srcStep);
        const double ax = ix + 1 - x0, ay = iy + 1 - y0;
        const double firstColumn = ax - truncateToInt(ax), firstRow = ay - truncateToInt(ay);
        const int32_t xEnd = truncateToInt(std::ceil(x0 + width * invXFactor - 1e-10));
        const int32_t yEnd = truncateToInt(std::ceil(y0 + height * invYFactor - 1e-10));
        const int32_t rightPad = xEnd > srcWidth ? xEnd - srcWidth : 0;
        const int32_t bottomPad = yEnd > srcHeight ? yEnd - srcHeight : 0;
        const int32_t used = xEnd - rightPad - ix;
        const int32_t columns = used < srcWidth ? used : srcWidth;
        const bool whole = invXFactor - truncateToInt(invXFactor) <= 1e-7 &&
                           invYFactor - truncateToInt(invYFactor) <= 1e-7 && firstColumn <= 1e-7 && firstRow <= 1e-7;
        const int32_t shape = plane ? 0 : channelCount == 4 ? 1 : 2;
        // The padded work row grows with the footprint, which the caller's
        // buffer size does not bound, so it is a block of its own.
        const int32_t slots = plane ? 1 : channelCount == 4 ? 4 : pixelStride;
        const int64_t workBytes = resizeSqSuperWorkBytes(columns + leftPad + rightPad, slots,
                                                         truncateToInt(std::floor(invYFactor)), dataKind);
        void* work = workBytes > 0 ? allocVector8u(static_cast<int32_t>(workBytes)) : nullptr;
        if (work == nullptr)
            return primErrMemAlloc;
        for (int32_t p = 0; p < planes; ++p) {
            const void* from = static_cast<const uint8_t*>(srcPlane(p)) + srcShift;
            if (whole)
                ks.superSampleWhole[dataKind][shape](from, dstAt(p, 0, 0), srcStep, dstStep, columns, width, height,
                                                     topPad, bottomPad, leftPad, rightPad, invXFactor, invYFactor,
                                                     areaFactor, pixelStride, work);
            else
                ks.superSample[dataKind][shape](from, dstAt(p, 0, 0), srcStep, dstStep, columns, width, height, topPad,
                                                bottomPad, leftPad, rightPad, firstColumn, firstRow, invXFactor,
                                                invYFactor, areaFactor, pixelStride, work);
        }
        freeVector(work);
        return primNoErr;
    }

    int32_t* colOffsets = alignPtr<int32_t>(buffer, 16);
    int32_t* rowOffsets = alignPtr<int32_t>(endOf(colOffsets, width), 16);

    if (code == 1) {
        // Nearest: the pixel containing the mapped centre; a centre exactly on
        // a pixel edge takes the pixel before it. Indices are kept inside the
        // image (a region edge within 1e-10 of a centre can map one past it).
        for (int32_t k = 0; k < height; ++k) {
            const int32_t r = truncateToInt(((double(regionY + k) + 0.5) * invYFactor - 1e-10) + srcOffsetY);
            rowOffsets[k] = (r < 0 ? 0 : r >= srcHeight ? srcHeight - 1 : r) * srcStepE;
        }
        for (int32_t j = 0; j < width; ++j) {
            const int32_t c = truncateToInt(((double(regionX + j) + 0.5) * invXFactor - 1e-10) + srcOffsetX);
            colOffsets[j] = (c < 0 ? 0 : c >= srcWidth ? srcWidth - 1 : c) * colMul;
        }
        const int32_t entry = planar != 0 ? 4 + dataKind
                                          : dataKind + (channelCount == 1   ? 4
                                                        : channelCount == 4 ? 8
                                                                            : 0);
        for (int32_t p = 0; p < planes; ++p)
            ks.rows->nearest[entry](srcPlane(p), dstAt(p, 0, 0), dstStepE, width, height, rowOffsets, colOffsets,
                                    rowPs);
        return primNoErr;
    }

    const int32_t kindEntry = dataKind + (plane ? 4 : 0);

    if (code == 2) {
        // Linear weights: float fractions for the float kind, Q14 weights
        // from the exact fractions for the integer kinds.
        const bool floatKind = dataKind == resizeKind32f;
        void* colWeights = alignPtr<uint8_t>(endOf(rowOffsets, height), 32);
        void* rowWeights = alignPtr<uint8_t>(static_cast<uint8_t*>(colWeights) + 4 * int64_t(width), 32);
        AxisMap rows, cols;
        if (floatKind) {
            rows = mapAxis(regionY, height, invYFactor, srcOffsetY, srcHeight, srcStepE, rowOffsets,
                           static_cast<float*>(rowWeights));
            cols = mapAxis(regionX, width, invXFactor, srcOffsetX, srcWidth, colMul, colOffsets,
                           static_cast<float*>(colWeights));
        } else {
            // Q14: the lower row's weight per row, a pair per column.
            uint16_t* rw = static_cast<uint16_t*>(rowWeights);
            uint16_t* cw = static_cast<uint16_t*>(colWeights);
            auto q14 = [](double f) { return truncateToInt(f * 16384.0 + 1e-7); };
            rows = mapAxis(regionY, height, invYFactor, srcOffsetY, srcHeight, srcStepE, rowOffsets,
                           [&](int32_t i, double f) { rw[i] = static_cast<uint16_t>(q14(f)); });
            cols =
                mapAxis(regionX, width, invXFactor, srcOffsetX, srcWidth, colMul, colOffsets, [&](int32_t j, double f) {
                    const int32_t w = q14(f);
                    cw[2 * j] = static_cast<uint16_t>(16384 - w);
                    cw[2 * j + 1] = static_cast<uint16_t>(w);
                });
        }
        const int32_t t0 = rows.below[0], b0 = rows.above[0], l0 = cols.below[0], r0 = cols.above[0];
        const int32_t iw = width - l0 - r0, ih = height - t0 - b0;
        const int32_t workElem = floatKind ? 4 : 2;
        uint8_t* work0 = alignPtr<uint8_t>(static_cast<uint8_t*>(rowWeights) + int64_t(workElem) * height, 32);
        uint8_t* work1 =
            plane ? alignPtr<uint8_t>(work0 + int64_t(workElem) * (iw > 0 ? iw : 0), 32)
                  : alignPtr<uint8_t>(work0 + int64_t(workElem) * ch * (iw > 0 ? iw : 0), floatKind ? 32 : 16);

        const SqBorderLinearFn border = plane ? ks.borderLinearPlane[dataKind] : ks.borderLinearPixel[dataKind];
        for (int32_t p = 0; p < planes; ++p)
            border(srcPlane(p), dstAt(p, 0, 0), srcStepE, dstStepE, srcWidth, srcHeight, width, height, rowOffsets,
                   colOffsets, rowWeights, colWeights, t0, b0, l0, r0, pixelStride, channelCount);

        // The interior routine finds the weights of its first row and column
        // at the tables' starts.
        if (floatKind) {
            ks.move32s(static_cast<float*>(colWeights) + l0, colWeights, width - l0);
            ks.move32s(static_cast<float*>(rowWeights) + t0, rowWeights, height - t0);
        } else {
            ks.move16s(static_cast<uint16_t*>(colWeights) + 2 * l0, colWeights, 2 * (width - l0));
            ks.move16s(static_cast<uint16_t*>(rowWeights) + t0, rowWeights, height - t0);
        }
        if (iw >= 1 && ih >= 1)
            for (int32_t p = 0; p < planes; ++p)
                ks.rows->linear[kindEntry](srcPlane(p), dstAt(p, t0, l0), srcStepE, dstStepE, iw, ih, rowOffsets + t0,
                                           colOffsets + l0, rowWeights, colWeights, work0, work1, rowPs, rowCh);
        return primNoErr;
    }

    if (code != 16) {
        // Cubic: four taps per axis, the frame is two positions deep at most.
        float* colFrac = alignPtr<float>(endOf(rowOffsets, height), 64);
        float* rowFrac = alignPtr<float>(endOf(colFrac, width), 64);
        const AxisMap rows = mapAxis(regionY, height, invYFactor, srcOffsetY, srcHeight, srcStepE, rowOffsets, rowFrac);
        const AxisMap cols = mapAxis(regionX, width, invXFactor, srcOffsetX, srcWidth, colMul, colOffsets, colFrac);
        const int32_t top = rows.below[1], bottom = rows.above[1], left = cols.below[1], right = cols.above[1];
        const int32_t iw = width - left - right, ih = height - top - bottom;
        const int64_t rowLen = int64_t(ch) * (iw > 0 ? iw : 0);
        float* work[4];
        work[0] = alignPtr<float>(endOf(rowFrac, height), 64);
        for (int t = 1; t < 4; ++t)
            work[t] = alignPtr<float>(endOf(work[t - 1], rowLen), 64);
        float* colWeights = alignPtr<float>(endOf(work[3], rowLen), 32);
        float* rowWeights = alignPtr<float>(endOf(colWeights, 4 * int64_t(width)), 32);
        const SqWeightsFn weights = ks.cubicWeights[code - 4];
        weights(colFrac, width, colWeights);
        weights(rowFrac, height, rowWeights);

        const SqBorderCubicFn border = plane ? ks.borderCubicPlane[dataKind] : ks.borderCubicPixel[dataKind];
        for (int32_t p = 0; p < planes; ++p)
            border(srcPlane(p), dstAt(p, 0, 0), srcStepE, dstStepE, srcWidth, srcHeight, width, height, rowOffsets,
                   colOffsets, rowWeights, colWeights, rows.below[0], rows.above[0], cols.below[0], cols.above[0], top,
                   bottom, left, right, pixelStride, channelCount);
        if (iw >= 1 && ih >= 1)
            for (int32_t p = 0; p < planes; ++p)
                ks.rows->sqCubic[kindEntry](srcPlane(p), dstAt(p, top, left), srcStepE, dstStepE, iw, ih,
                                            rowOffsets + top, colOffsets + left, rowWeights + 4 * top,
                                            colWeights + 4 * left, work[0], work[1], work[2], work[3], rowPs, rowCh);
        return primNoErr;
    }

    // Lanczos-3: six taps per axis, the frame is three positions deep at most.
    float* colFrac = alignPtr<float>(endOf(rowOffsets, height), 32);
    float* rowFrac = alignPtr<float>(endOf(colFrac, width), 32);
    const AxisMap rows = mapAxis(regionY, height, invYFactor, srcOffsetY, srcHeight, srcStepE, rowOffsets, rowFrac);
    const AxisMap cols = mapAxis(regionX, width, invXFactor, srcOffsetX, srcWidth, colMul, colOffsets, colFrac);
    const int32_t top = rows.below[2], bottom = rows.above[2], left = cols.below[2], right = cols.above[2];
    const int32_t iw = width - left - right, ih = height - top - bottom;
    const int64_t rowLen = int64_t(ch) * (iw > 0 ? iw : 0);
    float* work[6];
    work[0] = alignPtr<float>(endOf(rowFrac, height), 32);
    for (int t = 1; t < 6; ++t)
        work[t] = alignPtr<float>(endOf(work[t - 1], rowLen), 32);
    float* colTaps = alignPtr<float>(endOf(work[5], rowLen), 32);
    float* rowTaps = alignPtr<float>(endOf(colTaps, 6 * int64_t(width)), 32);
    ks.lanczosWeights(colFrac, width, colTaps);
    ks.lanczosWeights(rowFrac, height, rowTaps);

    const SqBorderLanczosFn border = plane ? ks.borderLanczosPlane[dataKind] : ks.borderLanczosPixel[dataKind];
    for (int32_t p = 0; p < planes; ++p)
        border(srcPlane(p), dstAt(p, 0, 0), srcStepE, dstStepE, srcWidth, srcHeight, width, height, rowOffsets,
               colOffsets, colTaps, rowTaps, rows.below[0], rows.above[0], cols.below[0], cols.above[0], rows.below[1],
               rows.above[1], cols.below[1], cols.above[1], top, bottom, left, right, pixelStride, channelCount);
    if (iw >= 1 && ih >= 1)
        for (int32_t p = 0; p < planes; ++p)
            ks.rows->sqLanczos[kindEntry](srcPlane(p), dstAt(p, top, left), srcStepE, dstStepE, iw, ih,
                                          rowOffsets + top, colOffsets + left, rowTaps + 6 * top, colTaps + 6 * left,
                                          work[0], work[1], work[2], work[3], work[4], work[5], rowPs, rowCh);
    return primNoErr;
}

// ---------------------------------------------------------------------------
// Entry points: parameter step, then the body with the kernels of path P.

namespace {

template <int Path, class T, int32_t Channels, int32_t Kind>
int32_t resizeSquarePixelEntry(const T* src, PrimSize srcSize, int32_t srcStep, PrimRect srcRoi, T* dst,
                               int32_t dstStep, PrimRect dstRoi, double xFactor, double yFactor, double xShift,
                               double yShift, int32_t interpolation, void* buffer) {
    ResizeSqParams p;
    const int32_t status = resizeSqSetup(src, srcSize.width, srcSize.height, srcRoi.x, srcRoi.y, srcRoi.width,
                                         srcRoi.height, dst, dstRoi.x, dstRoi.y, dstRoi.width, dstRoi.height, xFactor,
                                         yFactor, xShift, yShift, interpolation, buffer, &p);
    if (status != primNoErr)
        return status;
    // Row offsets are element counts held in 32 bits.
    if (int64_t(srcStep < 0 ? -int64_t(srcStep) : srcStep) * srcSize.height > INT32_MAX)
        return primErrStep;
    const ResizeSqKernels& ks = *resizeSqKernelSets[Path];
    const int32_t body =
        resizeSqBody(ks, src, srcSize.width, srcSize.height, srcStep, dst, dstStep, p.regionX, p.regionY, p.regionWidth,
                     p.regionHeight, p.invXFactor, p.invYFactor, p.srcOffsetX, p.srcOffsetY, p.areaFactor,
                     p.interpolationCode, buffer, Channels, Channels, Kind, 0);
    if (p.blendEdges != 0 || p.fadeEdges != 0) {
        const int32_t kind = (Kind == resizeKind16u ? 1 : 0) + (Channels == 3 ? 2 : 0);
        const SqEdgePassFn pass = p.blendEdges != 0 ? ks.edgeBlend[kind] : ks.edgeFade[kind];
        T* region =
            reinterpret_cast<T*>(reinterpret_cast<uint8_t*>(dst) + static_cast<std::ptrdiff_t>(dstStep) * p.regionY) +
            static_cast<std::ptrdiff_t>(p.regionX) * Channels;
        pass(region, dstStep, p.regionWidth, p.regionHeight, p.edgeLeft, p.edgeRight, p.edgeTop, p.edgeBottom);
    }
    return body;
}

#define VQ_SQ_TABLE(T, ch, kind)                                                                                       \
    {                                                                                                                  \
        resizeSquarePixelEntry<0, T, ch, kind>, resizeSquarePixelEntry<1, T, ch, kind>,                                \
            resizeSquarePixelEntry<2, T, ch, kind>, resizeSquarePixelEntry<3, T, ch, kind>,                            \
            resizeSquarePixelEntry<4, T, ch, kind>, resizeSquarePixelEntry<5, T, ch, kind>                             \
    }

} // namespace

const ResizeSquarePixel8uFn resizeSquarePixel8uC1Table[6] = VQ_SQ_TABLE(uint8_t, 1, resizeKind8u);
const ResizeSquarePixel8uFn resizeSquarePixel8uC3Table[6] = VQ_SQ_TABLE(uint8_t, 3, resizeKind8u);
const ResizeSquarePixel16uFn resizeSquarePixel16uC1Table[6] = VQ_SQ_TABLE(uint16_t, 1, resizeKind16u);
const ResizeSquarePixel16uFn resizeSquarePixel16uC3Table[6] = VQ_SQ_TABLE(uint16_t, 3, resizeKind16u);
#undef VQ_SQ_TABLE

const ResizeSquarePixelGetBufferSizeFn resizeSquarePixelGetBufferSizeTable[6] =
    VQ_ONE_BODY(prim::generic::resizeSquarePixelGetBufferSize);

int32_t resizeSquarePixelGetBufferSize(PrimRect srcRoi, PrimRect dstRoi, int32_t channels, int32_t interpolation,
                                       int32_t* size) {
    return VQ_DISPATCH(resizeSquarePixelGetBufferSizeTable)(srcRoi, dstRoi, channels, interpolation, size);
}

int32_t resizeSquarePixel8uC1(const uint8_t* src, PrimSize srcSize, int32_t srcStep, PrimRect srcRoi, uint8_t* dst,
                              int32_t dstStep, PrimRect dstRoi, double xFactor, double yFactor, double xShift,
                              double yShift, int32_t interpolation, void* buffer) {
    return VQ_DISPATCH(resizeSquarePixel8uC1Table)(src, srcSize, srcStep, srcRoi, dst, dstStep, dstRoi, xFactor,
                                                   yFactor, xShift, yShift, interpolation, buffer);
}

int32_t resizeSquarePixel8uC3(const uint8_t* src, PrimSize srcSize, int32_t srcStep, PrimRect srcRoi, uint8_t* dst,
                              int32_t dstStep, PrimRect dstRoi, double xFactor, double yFactor, double xShift,
                              double yShift, int32_t interpolation, void* buffer) {
    return VQ_DISPATCH(resizeSquarePixel8uC3Table)(src, srcSize, srcStep, srcRoi, dst, dstStep, dstRoi, xFactor,
                                                   yFactor, xShift, yShift, interpolation, buffer);
}

int32_t resizeSquarePixel16uC1(const uint16_t* src, PrimSize srcSize, int32_t srcStep, PrimRect srcRoi, uint16_t* dst,
                               int32_t dstStep, PrimRect dstRoi, double xFactor, double yFactor, double xShift,
                               double yShift, int32_t interpolation, void* buffer) {
    return VQ_DISPATCH(resizeSquarePixel16uC1Table)(src, srcSize, srcStep, srcRoi, dst, dstStep, dstRoi, xFactor,
                                                    yFactor, xShift, yShift, interpolation, buffer);
}

int32_t resizeSquarePixel16uC3(const uint16_t* src, PrimSize srcSize, int32_t srcStep, PrimRect srcRoi, uint16_t* dst,
                               int32_t dstStep, PrimRect dstRoi, double xFactor, double yFactor, double xShift,
                               double yShift, int32_t interpolation, void* buffer) {
    return VQ_DISPATCH(resizeSquarePixel16uC3Table)(src, srcSize, srcStep, srcRoi, dst, dstStep, dstRoi, xFactor,
                                                    yFactor, xShift, yShift, interpolation, buffer);
}
