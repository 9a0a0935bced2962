// Super-sampling kernels of the square-pixel resize, generic path: every
// destination pixel is the area-weighted mean of the source under its
// footprint, source rows and columns past the image edges repeating the
// edge. Each destination pixel is summed straight from its footprint, so the
// kernels need no work row and no footprint, however wide against the
// source region, can outgrow the caller's buffer.
#include <cmath>
#include <cstddef>
#include <cstdint>
#include <type_traits>

#include "primitives/core/processor.h"
#include "primitives/resample/resize_sq.h"

namespace prim::generic {
namespace {

// The terms of successive footprints along one axis: an optional first
// partial row (weight f), n whole rows, an optional last partial row (weight
// l); the last partial row of one footprint is the first of the next.
class FootprintWalk {
public:
    FootprintWalk(double ratio, double firstWeight, int32_t start)
        : ratio_(ratio), first_(firstWeight), cursor_(start) {}

    // Calls add(index, weight) for each term of the next footprint.
    template <class Add> void next(Add&& add) {
        double f;
        int32_t n;
        if (index_ == 0 && first_ <= 1e-7) {
            // An aligned start: whole rows from the cursor. Taking the whole
            // count with the 1e-7 allowance keeps a ratio just below a whole
            // number from leaving a first term of almost no weight behind.
            f = 0.0;
            n = static_cast<int32_t>(std::floor(ratio_ + 1e-7));
            last_ = ratio_ - n;
        } else {
            f = index_ == 0 ? first_ : 1.0 - last_;
            n = static_cast<int32_t>(std::floor(ratio_ - f + 1e-7));
            last_ = (ratio_ - f) - n;
        }
        if (f > 1e-7)
            add(cursor_++, f);
        for (int32_t k = 0; k < n; ++k)
            add(cursor_++, 1.0);
        if (last_ > 1e-7)
            add(cursor_, last_);
        ++index_;
    }

private:
    double ratio_, first_;
    int32_t cursor_;
    int32_t index_ = 0;
    double last_ = 0.0;
};

inline int32_t clampTo(int32_t v, int32_t last) { return v < 0 ? 0 : v > last ? last : v; }

template <class T> T fromMean(double v) {
    if constexpr (std::is_floating_point_v<T>) {
        return static_cast<T>(v);
    } else if constexpr (std::is_signed_v<T>) {
        const int32_t n = truncateToInt(v > 0 ? v + 0.5 : v - 0.5);
        return static_cast<T>(n > 32767 ? 32767 : n < -32768 ? -32768 : n);
    } else {
        constexpr int32_t maxValue = sizeof(T) == 1 ? 255 : 65535;
        const int32_t n = truncateToInt(v + 0.5);
        return static_cast<T>(n > maxValue ? maxValue : n < 0 ? 0 : n);
    }
}

// Samples per pixel and pixel step: plane 1, four channels 4, else three
// samples in pixels of `pixelStride`.
struct Layout {
    int32_t channels, stride;
};

template <class T>
void superSample(const void* srcV, void* dstV, int32_t srcStep, int32_t dstStep, int32_t srcCols, int32_t width,
                 int32_t height, int32_t top, int32_t bottom, int32_t left, double xFirst, double yFirst, double xRatio,
                 double yRatio, double area, Layout px) {
    const uint8_t* src = static_cast<const uint8_t*>(srcV);
    uint8_t* dst = static_cast<uint8_t*>(dstV);
    // The last source row: the last footprint's lowest row less the rows it
    // reaches past the image.
    int32_t lowest = -top;
    {
        FootprintWalk rows(yRatio, yFirst, -top);
        for (int32_t i = 0; i < height; ++i)
            rows.next([&](int32_t v, double) { lowest = v > lowest ? v : lowest; });
    }
    const int32_t lastRow = lowest - bottom > 0 ? lowest - bottom : 0;
    FootprintWalk rows(yRatio, yFirst, -top);
    for (int32_t i = 0; i < height; ++i) {
        T* out = reinterpret_cast<T*>(dst + static_cast<std::ptrdiff_t>(i) * dstStep);
        FootprintWalk cols(xRatio, xFirst, -left);
        for (int32_t j = 0; j < width; ++j) {
            double sums[4] = {0, 0, 0, 0};
            // Replay this row's and this column's footprint from copies of
            // the walks; the walks themselves advance once per pixel and row.
            FootprintWalk rowTerms = rows;
            rowTerms.next([&](int32_t vr, double wr) {
                const T* row =
                    reinterpret_cast<const T*>(src + static_cast<std::ptrdiff_t>(clampTo(vr, lastRow)) * srcStep);
                FootprintWalk colTerms = cols;
                colTerms.next([&](int32_t vc, double wc) {
                    const T* s = row + static_cast<std::ptrdiff_t>(clampTo(vc, srcCols - 1)) * px.stride;
                    const double w = wr * wc;
                    for (int32_t k = 0; k < px.channels; ++k)
                        sums[k] += w * double(s[k]);
                });
            });
            cols.next([](int32_t, double) {});
            T* d = out + static_cast<std::ptrdiff_t>(j) * px.stride;
            for (int32_t k = 0; k < px.channels; ++k)
                d[k] = fromMean<T>(sums[k] * area);
        }
        rows.next([](int32_t, double) {});
    }
}

// Whole ratios from a whole start: blocks of wholeX x wholeY samples, summed
// exactly (64-bit integers for the integer kinds, so no block is too large).
template <class T>
void superSampleWhole(const void* srcV, void* dstV, int32_t srcStep, int32_t dstStep, int32_t srcCols, int32_t width,
                      int32_t height, int32_t top, int32_t bottom, int32_t left, double xRatio, double yRatio,
                      double area, Layout px) {
    const uint8_t* src = static_cast<const uint8_t*>(srcV);
    uint8_t* dst = static_cast<uint8_t*>(dstV);
    const int32_t wx = truncateToInt(std::floor(xRatio)), wy = truncateToInt(std::floor(yRatio));
    const int32_t lastRow = height * wy - top - bottom - 1 > 0 ? height * wy - top - bottom - 1 : 0;
    using Sum = std::conditional_t<std::is_floating_point_v<T>, double,
                                   std::conditional_t<std::is_signed_v<T>, int64_t, uint64_t>>;
    for (int32_t i = 0; i < height; ++i) {
        T* out = reinterpret_cast<T*>(dst + static_cast<std::ptrdiff_t>(i) * dstStep);
        for (int32_t j = 0; j < width; ++j) {
            Sum sums[4] = {};
            for (int32_t r = 0; r < wy; ++r) {
                const T* row = reinterpret_cast<const T*>(
                    src + static_cast<std::ptrdiff_t>(clampTo(i * wy - top + r, lastRow)) * srcStep);
                for (int32_t q = 0; q < wx; ++q) {
                    const T* s = row + static_cast<std::ptrdiff_t>(clampTo(j * wx - left + q, srcCols - 1)) * px.stride;
                    for (int32_t k = 0; k < px.channels; ++k)
                        sums[k] += static_cast<Sum>(s[k]);
                }
            }
            T* d = out + static_cast<std::ptrdiff_t>(j) * px.stride;
            for (int32_t k = 0; k < px.channels; ++k) {
                double v;
                v = double(sums[k]) * area;
                d[k] = fromMean<T>(v);
            }
        }
    }
}

// Box sums of a float plane for whole ratios of 2, 4, 8 or 16 on a region
// that covers nothing outside the image: each column of a block summed down
// its B rows (rounded to float once), the A column sums of a block added,
// then scaled. Exactly `width` outputs per row, so no write leaves the
// destination row.
template <int A, int B>
void boxSum32fPlane(const void* srcV, void* dstV, int32_t srcStep, int32_t dstStep, int32_t width, int32_t height,
                    double area) {
    const uint8_t* src = static_cast<const uint8_t*>(srcV);
    uint8_t* dst = static_cast<uint8_t*>(dstV);
    for (int32_t i = 0; i < height; ++i) {
        const uint8_t* top = src + static_cast<std::ptrdiff_t>(i) * B * srcStep;
        float* out = reinterpret_cast<float*>(dst + static_cast<std::ptrdiff_t>(i) * dstStep);
        for (int32_t k = 0; k < width; ++k) {
            double block = 0.0;
            for (int32_t a = 0; a < A; ++a) {
                double column = 0.0;
                for (int32_t b = 0; b < B; ++b)
                    column += reinterpret_cast<const float*>(top + static_cast<std::ptrdiff_t>(b) * srcStep)[k * A + a];
                block += static_cast<float>(column);
            }
            out[k] = static_cast<float>(area * block);
        }
    }
}

} // namespace

// Ratio 2, 4, 8, 16 to its group; every other ratio -1.
const int32_t resizeSqBoxSumGroups[17] = {-1, -1, 0, -1, 1, -1, -1, -1, 2, -1, -1, -1, -1, -1, -1, -1, 3};

#define VQ_BOX_ROW(A) boxSum32fPlane<A, 2>, boxSum32fPlane<A, 4>, boxSum32fPlane<A, 8>, boxSum32fPlane<A, 16>
// Slot 4 x horizontal group + vertical group.
const SqBoxSumFn resizeSqBoxSumTable[16] = {VQ_BOX_ROW(2), VQ_BOX_ROW(4), VQ_BOX_ROW(8), VQ_BOX_ROW(16)};
#undef VQ_BOX_ROW

namespace {

template <class T, int Shape>
void generalKernel(const void* src, void* dst, int32_t srcStep, int32_t dstStep, int32_t srcCols, int32_t width,
                   int32_t height, int32_t top, int32_t bottom, int32_t left, int32_t, double xFirst, double yFirst,
                   double xRatio, double yRatio, double area, int32_t pixelStride, void*) {
    const Layout px = Shape == 1 ? Layout{1, 1} : Shape == 4 ? Layout{4, 4} : Layout{3, pixelStride};
    superSample<T>(src, dst, srcStep, dstStep, srcCols, width, height, top, bottom, left, xFirst, yFirst, xRatio,
                   yRatio, area, px);
}

template <class T, int Shape>
void wholeKernel(const void* src, void* dst, int32_t srcStep, int32_t dstStep, int32_t srcCols, int32_t width,
                 int32_t height, int32_t top, int32_t bottom, int32_t left, int32_t right, double xRatio, double yRatio,
                 double area, int32_t pixelStride, void*) {
    if constexpr (std::is_same_v<T, float> && Shape == 1) {
        const int32_t wx = truncateToInt(std::floor(xRatio)), wy = truncateToInt(std::floor(yRatio));
        if (top == 0 && bottom == 0 && left == 0 && right == 0 && wx <= 16 && wy <= 16 &&
            resizeSqBoxSumGroups[wx] >= 0 && resizeSqBoxSumGroups[wy] >= 0) {
            resizeSqBoxSumTable[4 * resizeSqBoxSumGroups[wx] + resizeSqBoxSumGroups[wy]](src, dst, srcStep, dstStep,
                                                                                         width, height, area);
            return;
        }
    }
    const Layout px = Shape == 1 ? Layout{1, 1} : Shape == 4 ? Layout{4, 4} : Layout{3, pixelStride};
    superSampleWhole<T>(src, dst, srcStep, dstStep, srcCols, width, height, top, bottom, left, xRatio, yRatio, area,
                        px);
}

} // namespace

#define VQ_SUPER_ROW(K, T)                                                                                             \
    { K<T, 1>, K<T, 4>, K<T, 3> }
const SqSuperSampleFn resizeSqSuperSampleKernels[4][3] = {
    VQ_SUPER_ROW(generalKernel, uint8_t), VQ_SUPER_ROW(generalKernel, uint16_t), VQ_SUPER_ROW(generalKernel, float),
    VQ_SUPER_ROW(generalKernel, int16_t)};
const SqSuperSampleWholeFn resizeSqSuperSampleWholeKernels[4][3] = {
    VQ_SUPER_ROW(wholeKernel, uint8_t), VQ_SUPER_ROW(wholeKernel, uint16_t), VQ_SUPER_ROW(wholeKernel, float),
    VQ_SUPER_ROW(wholeKernel, int16_t)};
#undef VQ_SUPER_ROW

} // namespace prim::generic
