// Square-pixel kernels, generic path (the reference): border kernels that
// compute the frame of the destination region whose taps leave the source
// image, the cubic weight generators and the element moves.
#include <cmath>
#include <cstddef>
#include <cstdint>
#include <cstring>

#include "primitives/core/prim_types.h"
#include "primitives/resample/cubic_filters.h"
#include "primitives/resample/generic/passes.h"
#include "primitives/resample/resize_ring.h"
#include "primitives/resample/resize_sq.h"

namespace prim::generic {
namespace {

using prim::resample::toSample;

inline int32_t clampIndex(int32_t v, int32_t n) { return v < 0 ? 0 : v >= n ? n - 1 : v; }

// Source row index of a row offset (the offsets are index x step).
inline int32_t rowIndex(int32_t offset, int32_t step) { return step != 0 ? offset / step : 0; }

// Samples per pixel and pixel step of a border kernel: a plane has one
// sample; pixels have 3 samples at pixelStride or 4 samples at 4.
struct PixelShape {
    int32_t channels, stride;
};
inline PixelShape shapeOf(bool plane, int32_t pixelStride, int32_t channels) {
    if (plane)
        return {1, 1};
    return channels == 3 ? PixelShape{3, pixelStride} : PixelShape{4, 4};
}

// Calls visit(i, j) for every destination pixel of the frame: the first
// `top` and last `bottom` rows whole, and in the other rows the first `left`
// and last `right` columns. Each pixel is visited once.
template <class Visit>
void forEachFramePixel(int32_t width, int32_t height, int32_t top, int32_t bottom, int32_t left, int32_t right,
                       Visit&& visit) {
    for (int32_t i = 0; i < height; ++i) {
        if (i < top || i >= height - bottom) {
            for (int32_t j = 0; j < width; ++j)
                visit(i, j);
            continue;
        }
        const int32_t leftEnd = left < width ? left : width;
        for (int32_t j = 0; j < leftEnd; ++j)
            visit(i, j);
        const int32_t rightStart = width - right > leftEnd ? width - right : leftEnd;
        for (int32_t j = rightStart; j < width; ++j)
            visit(i, j);
    }
}

// ---- Linear: two taps, integer kinds in Q14 with one rounding.

template <class T> struct TwoTap {
    using Weight = uint16_t;
    static T blend(T a, T b, uint32_t wb) { return static_cast<T>((a * (16384u - wb) + b * wb + 8192u) >> 14); }
    static T horizontal(T a, T b, const Weight* cw, int32_t j) {
        return static_cast<T>((a * uint32_t(cw[2 * j]) + b * uint32_t(cw[2 * j + 1]) + 8192u) >> 14);
    }
    static T vertical(T a, T b, const Weight* rw, int32_t i) { return blend(a, b, rw[i]); }
};
template <> struct TwoTap<int16_t> {
    using Weight = int16_t;
    static int16_t horizontal(int16_t a, int16_t b, const Weight* cw, int32_t j) {
        return static_cast<int16_t>((a * int32_t(cw[2 * j]) + b * int32_t(cw[2 * j + 1]) + 8192) >> 14);
    }
    static int16_t vertical(int16_t a, int16_t b, const Weight* rw, int32_t i) {
        const int32_t w = rw[i];
        return static_cast<int16_t>((a * (16384 - w) + b * w + 8192) >> 14);
    }
};
template <> struct TwoTap<float> {
    using Weight = float;
    static float mix(float a, float b, float f) { return static_cast<float>(double(b) * f + (1.0 - f) * double(a)); }
    static float horizontal(float a, float b, const Weight* cw, int32_t j) { return mix(a, b, cw[j]); }
    static float vertical(float a, float b, const Weight* rw, int32_t i) { return mix(a, b, rw[i]); }
};

template <class T, bool Plane>
void borderLinear(const void* srcV, void* dstV, int32_t srcStep, int32_t dstStep, int32_t srcWidth, int32_t srcHeight,
                  int32_t width, int32_t height, const int32_t* rowOffsets, const int32_t* colOffsets,
                  const void* rowWeights, const void* colWeights, int32_t top, int32_t bottom, int32_t left,
                  int32_t right, int32_t pixelStride, int32_t channels) {
    using K = TwoTap<T>;
    const T* src = static_cast<const T*>(srcV);
    T* dst = static_cast<T*>(dstV);
    const auto* rw = static_cast<const typename K::Weight*>(rowWeights);
    const auto* cw = static_cast<const typename K::Weight*>(colWeights);
    const PixelShape px = shapeOf(Plane, pixelStride, channels);
    const T* lastRow = src + static_cast<std::ptrdiff_t>(srcHeight - 1) * srcStep;
    forEachFramePixel(width, height, top, bottom, left, right, [&](int32_t i, int32_t j) {
        T* d = dst + static_cast<std::ptrdiff_t>(i) * dstStep + static_cast<std::ptrdiff_t>(j) * px.stride;
        if (i < top || i >= height - bottom) {
            // Both tap rows clamp onto the first or the last source row.
            const T* row = i < top ? src : lastRow;
            const int32_t m = colOffsets[j] / px.stride;
            const T* a = row + clampIndex(m, srcWidth) * px.stride;
            const T* b = row + clampIndex(m + 1, srcWidth) * px.stride;
            for (int32_t k = 0; k < px.channels; ++k)
                d[k] = K::horizontal(a[k], b[k], cw, j);
        } else {
            // Both tap columns clamp onto the first or the last source column.
            const T* a = src + rowOffsets[i] + (j < left ? 0 : (srcWidth - 1) * px.stride);
            for (int32_t k = 0; k < px.channels; ++k)
                d[k] = K::vertical(a[k], a[k + srcStep], rw, i);
        }
    });
}

// ---- Cubic and Lanczos: Taps x Taps clamped taps, double-precision sums.

template <class T, int Taps, bool Plane>
void borderTaps(const void* srcV, void* dstV, int32_t srcStep, int32_t dstStep, int32_t srcWidth, int32_t srcHeight,
                int32_t width, int32_t height, const int32_t* rowOffsets, const int32_t* colOffsets,
                const float* rowWeights, const float* colWeights, int32_t top, int32_t bottom, int32_t left,
                int32_t right, int32_t pixelStride, int32_t channels) {
    constexpr int32_t kFirstTap = -(Taps / 2 - 1);
    const T* src = static_cast<const T*>(srcV);
    T* dst = static_cast<T*>(dstV);
    const PixelShape px = shapeOf(Plane, pixelStride, channels);
    forEachFramePixel(width, height, top, bottom, left, right, [&](int32_t i, int32_t j) {
        const int32_t mr = rowIndex(rowOffsets[i], srcStep);
        const int32_t mc = colOffsets[j] / px.stride;
        const float* rw = rowWeights + Taps * i;
        const float* cw = colWeights + Taps * j;
        std::ptrdiff_t cols[Taps];
        for (int t = 0; t < Taps; ++t)
            cols[t] = static_cast<std::ptrdiff_t>(clampIndex(mc + kFirstTap + t, srcWidth)) * px.stride;
        T* d = dst + static_cast<std::ptrdiff_t>(i) * dstStep + static_cast<std::ptrdiff_t>(j) * px.stride;
        for (int32_t k = 0; k < px.channels; ++k) {
            double v = 0.0;
            for (int r = 0; r < Taps; ++r) {
                const T* row =
                    src + static_cast<std::ptrdiff_t>(clampIndex(mr + kFirstTap + r, srcHeight)) * srcStep + k;
                double h = 0.0;
                for (int c = 0; c < Taps; ++c)
                    h += double(row[cols[c]]) * cw[c];
                v += h * rw[r];
            }
            d[k] = toSample<T>(v);
        }
    });
}

template <class T, bool Plane>
void borderCubic(const void* src, void* dst, int32_t srcStep, int32_t dstStep, int32_t srcWidth, int32_t srcHeight,
                 int32_t width, int32_t height, const int32_t* rowOffsets, const int32_t* colOffsets,
                 const float* rowWeights, const float* colWeights, int32_t, int32_t, int32_t, int32_t, int32_t t2,
                 int32_t b2, int32_t l2, int32_t r2, int32_t pixelStride, int32_t channels) {
    borderTaps<T, 4, Plane>(src, dst, srcStep, dstStep, srcWidth, srcHeight, width, height, rowOffsets, colOffsets,
                            rowWeights, colWeights, t2, b2, l2, r2, pixelStride, channels);
}

template <class T, bool Plane>
void borderLanczos(const void* src, void* dst, int32_t srcStep, int32_t dstStep, int32_t srcWidth, int32_t srcHeight,
                   int32_t width, int32_t height, const int32_t* rowOffsets, const int32_t* colOffsets,
                   const float* colTaps, const float* rowTaps, int32_t, int32_t, int32_t, int32_t, int32_t, int32_t,
                   int32_t, int32_t, int32_t t3, int32_t b3, int32_t l3, int32_t r3, int32_t pixelStride,
                   int32_t channels) {
    borderTaps<T, 6, Plane>(src, dst, srcStep, dstStep, srcWidth, srcHeight, width, height, rowOffsets, colOffsets,
                            rowTaps, colTaps, t3, b3, l3, r3, pixelStride, channels);
}

// ---- Cubic weights: K(1 + t), K(t), K(1 - t), K(2 - t) per fraction t.

template <class Kernel> void cubicWeights(const float* fractions, int32_t count, float* weights, Kernel&& kernel) {
    for (int32_t i = 0; i < count; ++i) {
        double x = -1.0 - double(fractions[i]);
        for (int k = 0; k < 4; ++k) {
            const double d = std::fabs(x);
            weights[4 * i + k] = static_cast<float>(d >= 2.0 ? 0.0 : kernel(d));
            x += 1.0;
        }
    }
}

int32_t moveElements(const void* from, void* to, int32_t count, int32_t size) {
    if (from == nullptr || to == nullptr)
        return primErrNullPtr;
    if (count <= 0)
        return primErrSize;
    std::memmove(to, from, static_cast<std::size_t>(count) * static_cast<std::size_t>(size));
    return primNoErr;
}

} // namespace

void resizeSqCubicWeightsLagrange(const float* fractions, int32_t count, float* weights) {
    cubicWeights(fractions, count, weights, prim::resample::cubicLagrange);
}

void resizeSqCubicWeightsBSpline(const float* fractions, int32_t count, float* weights) {
    cubicWeights(fractions, count, weights, prim::resample::cubicBSpline);
}

void resizeSqCubicWeightsCatmullRom(const float* fractions, int32_t count, float* weights) {
    cubicWeights(fractions, count, weights, prim::resample::cubicCatmullRom);
}

void resizeSqCubicWeightsB05C03(const float* fractions, int32_t count, float* weights) {
    cubicWeights(fractions, count, weights, prim::resample::cubicB05C03);
}

// Moves are memmove: the destination receives the source's bytes however the
// ranges overlap, whatever the distance between the two addresses.
int32_t moveVector16s(const void* from, void* to, int32_t count) { return moveElements(from, to, count, 2); }
int32_t moveVector32s(const void* from, void* to, int32_t count) { return moveElements(from, to, count, 4); }

const SqBorderLinearFn resizeSqBorderLinearPlane[4] = {borderLinear<uint8_t, true>, borderLinear<uint16_t, true>,
                                                      borderLinear<float, true>, borderLinear<int16_t, true>};
const SqBorderLinearFn resizeSqBorderLinearPixel[4] = {borderLinear<uint8_t, false>, borderLinear<uint16_t, false>,
                                                      borderLinear<float, false>, borderLinear<int16_t, false>};
const SqBorderCubicFn resizeSqBorderCubicPlane[4] = {borderCubic<uint8_t, true>, borderCubic<uint16_t, true>,
                                                    borderCubic<float, true>, borderCubic<int16_t, true>};
const SqBorderCubicFn resizeSqBorderCubicPixel[4] = {borderCubic<uint8_t, false>, borderCubic<uint16_t, false>,
                                                    borderCubic<float, false>, borderCubic<int16_t, false>};
const SqBorderLanczosFn resizeSqBorderLanczosPlane[4] = {borderLanczos<uint8_t, true>, borderLanczos<uint16_t, true>,
                                                        borderLanczos<float, true>, borderLanczos<int16_t, true>};
const SqBorderLanczosFn resizeSqBorderLanczosPixel[4] = {borderLanczos<uint8_t, false>,
                                                        borderLanczos<uint16_t, false>, borderLanczos<float, false>,
                                                        borderLanczos<int16_t, false>};
const SqWeightsFn resizeSqCubicWeights[4] = {resizeSqCubicWeightsLagrange, resizeSqCubicWeightsBSpline,
                                             resizeSqCubicWeightsCatmullRom, resizeSqCubicWeightsB05C03};
const SqEdgePassFn resizeSqEdgeBlend[4] = {resizeSqEdgeBlend8uC1, resizeSqEdgeBlend16uC1, resizeSqEdgeBlend8uC3,
                                           resizeSqEdgeBlend16uC3};
const SqEdgePassFn resizeSqEdgeFade[4] = {resizeSqEdgeFade8uC1, resizeSqEdgeFade16uC1, resizeSqEdgeFade8uC3,
                                          resizeSqEdgeFade16uC3};

const ResizeSqKernels resizeSqKernels = {
    &resizeRowRoutineTable,
    resizeSqBorderLinearPlane,
    resizeSqBorderLinearPixel,
    resizeSqBorderCubicPlane,
    resizeSqBorderCubicPixel,
    resizeSqBorderLanczosPlane,
    resizeSqBorderLanczosPixel,
    resizeSqCubicWeights,
    lanczos3Weights,
    moveVector16s,
    moveVector32s,
    resizeSqEdgeBlend,
    resizeSqEdgeFade,
    resizeSqSuperSampleKernels,
    resizeSqSuperSampleWholeKernels,
};

} // namespace prim::generic
