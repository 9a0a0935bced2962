// Super-sampling kernels of the square-pixel resize, generic path: every
// destination pixel is the area-weighted mean of the source under its
// footprint, source rows and columns past the image edges repeating the
// edge. Rows accumulate into one float work row, which the body sizes for
// the padded row (resizeSqSuperWorkBytes); the whole-ratio kernels are the
// shared body with the generic row accumulators. The general-ratio kernels
// serve every processor path.
#include <cmath>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <type_traits>

#include "primitives/core/processor.h"
#include "primitives/resample/resize_sq.h"
#include "primitives/resample/super_sample.h"
#include "primitives/resample/super_sample_body.h"

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

// Samples per pixel and pixel step: plane 1, four channels 4, else three
// samples in pixels of `pixelStride`.
struct Layout {
    int32_t channels, stride;
};

// Padding of the work row by layout.
inline void padRow(float* row, int32_t count, int32_t left, int32_t right, Layout px) {
    if (px.channels == 1)
        padRowReplicate32C1(row, count, left, right);
    else if (px.channels == 4)
        padRowReplicate32C4(row, count, left, right);
    else
        padRowReplicate32C3(row, count, left, right, px.stride);
}

// Any ratio and start. Each destination row accumulates its footprint rows
// into the float work row (every store rounded to float), the row is padded
// with copies of its edge pixels, and the footprint columns of each
// destination pixel are summed in double precision into the front of the
// work row, rounded to float, scaled and converted.
template <class T>
void superSample(const void* srcV, void* dstV, int32_t srcStep, int32_t dstStep, int32_t srcCols, int32_t width,
                 int32_t height, int32_t top, int32_t bottom, int32_t left, int32_t right, double xFirst,
                 double yFirst, double xRatio, double yRatio, double area, Layout px, float* work) {
    const uint8_t* src = static_cast<const uint8_t*>(srcV);
    uint8_t* dst = static_cast<uint8_t*>(dstV);
    const int32_t padded = srcCols + left + right;
    // The last source row: the last footprint's lowest row less the rows it
    // reaches past the image.
    int32_t lowest = -top;
    {
        FootprintWalk rows(yRatio, yFirst, -top);
        for (int32_t i = 0; i < height; ++i)
            rows.next([&](int32_t v, double) { lowest = v > lowest ? v : lowest; });
    }
    const int32_t lastRow = lowest - bottom > 0 ? lowest - bottom : 0;
    const std::ptrdiff_t entries = static_cast<std::ptrdiff_t>(srcCols) * px.stride;
    FootprintWalk rows(yRatio, yFirst, -top);
    for (int32_t i = 0; i < height; ++i) {
        std::memset(work, 0, static_cast<std::size_t>(entries) * sizeof(float));
        rows.next([&](int32_t v, double w) {
            const T* row = reinterpret_cast<const T*>(src + static_cast<std::ptrdiff_t>(clampTo(v, lastRow)) * srcStep);
            for (std::ptrdiff_t j = 0; j < srcCols; ++j)
                for (int32_t k = 0; k < px.channels; ++k) {
                    const std::ptrdiff_t e = j * px.stride + k;
                    work[e] = static_cast<float>(double(work[e]) + double(row[e]) * w);
                }
        });
        padRow(work, srcCols, left, right, px);
        // Pixel k reads padded columns at or after k, so its sum may replace
        // pixel k of the row.
        FootprintWalk cols(xRatio, xFirst, 0);
        T* out = reinterpret_cast<T*>(dst + static_cast<std::ptrdiff_t>(i) * dstStep);
        for (int32_t k = 0; k < width; ++k) {
            double sums[4] = {0, 0, 0, 0};
            cols.next([&](int32_t p, double w) {
                const float* q = work + static_cast<std::ptrdiff_t>(clampTo(p, padded - 1)) * px.stride;
                for (int32_t c = 0; c < px.channels; ++c)
                    sums[c] += w * double(q[c]);
            });
            float* slot = work + static_cast<std::ptrdiff_t>(k) * px.stride;
            for (int32_t c = 0; c < px.channels; ++c)
                slot[c] = static_cast<float>(sums[c]);
            T* d = out + static_cast<std::ptrdiff_t>(k) * px.stride;
            for (int32_t c = 0; c < px.channels; ++c)
                d[c] = supersample::toSample<T>(double(slot[c]) * area);
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
                   int32_t height, int32_t top, int32_t bottom, int32_t left, int32_t right, double xFirst,
                   double yFirst, double xRatio, double yRatio, double area, int32_t pixelStride, void* work) {
    const Layout px = Shape == 1 ? Layout{1, 1} : Shape == 4 ? Layout{4, 4} : Layout{3, pixelStride};
    superSample<T>(src, dst, srcStep, dstStep, srcCols, width, height, top, bottom, left, right, xFirst, yFirst,
                   xRatio, yRatio, area, px, static_cast<float*>(work));
}

template <class T, int Shape>
void wholeKernel(const void* src, void* dst, int32_t srcStep, int32_t dstStep, int32_t srcCols, int32_t width,
                 int32_t height, int32_t top, int32_t bottom, int32_t left, int32_t right, double xRatio, double yRatio,
                 double area, int32_t pixelStride, void* work) {
    constexpr int layout = Shape == 1 ? supersample::kPlane : Shape == 4 ? supersample::kFour : supersample::kThree;
    supersample::sqWholeKernel<supersample::GenericOps, T, layout>(src, dst, srcStep, dstStep, srcCols, width, height,
                                                                  top, bottom, left, right, xRatio, yRatio, area,
                                                                  pixelStride, work);
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

void padRowReplicate32C1(void* row, int32_t count, int32_t left, int32_t right) {
    uint32_t* r = static_cast<uint32_t*>(row);
    if (left != 0) {
        for (int32_t k = count - 1; k >= 0; --k)
            r[k + left] = r[k];
        for (int32_t k = 1; k < left; ++k)
            r[k] = r[0];
    }
    for (int32_t k = left + count; k < left + count + right; ++k)
        r[k] = r[k - 1];
}

namespace {
// Samples 0-2 (C3) or 0-3 (C4) of pixels `stride` samples apart.
void padPixels(uint32_t* r, int32_t count, int32_t left, int32_t right, int32_t stride, int32_t samples) {
    auto copy = [&](int32_t to, int32_t from) {
        for (int32_t c = 0; c < samples; ++c)
            r[static_cast<std::ptrdiff_t>(to) * stride + c] = r[static_cast<std::ptrdiff_t>(from) * stride + c];
    };
    if (left != 0) {
        for (int32_t k = count - 1; k >= 0; --k)
            copy(k + left, k);
        for (int32_t k = 1; k < left; ++k)
            copy(k, 0);
    }
    for (int32_t k = left + count; k < left + count + right; ++k)
        copy(k, k - 1);
}
} // namespace

void padRowReplicate32C3(void* row, int32_t count, int32_t left, int32_t right, int32_t stride) {
    padPixels(static_cast<uint32_t*>(row), count, left, right, stride, 3);
}

void padRowReplicate32C4(void* row, int32_t count, int32_t left, int32_t right) {
    padPixels(static_cast<uint32_t*>(row), count, left, right, 4, 4);
}

int64_t resizeSqSuperWorkBytes(int32_t padded, int32_t slots, int32_t wholeY, int32_t kind) {
    const int64_t entries = int64_t(padded) * slots;
    const int32_t exact = kind == resizeKind8u    ? supersample::exactRows<uint8_t>()
                          : kind == resizeKind32f ? supersample::exactRows<float>()
                                                  : supersample::exactRows<uint16_t>();
    const int64_t bytes = entries * (wholeY > exact ? 12 : 4);
    return bytes > INT32_MAX ? -1 : bytes;
}
