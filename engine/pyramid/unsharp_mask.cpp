#include "engine/pyramid/unsharp_mask.h"

#include <cmath>

#include "engine/base/pixel_lock.h"
#include "primitives/core/copy.h"
#include "primitives/core/processor.h"
#include "primitives/image/arith/arith.h"
#include "primitives/image/filter/filter.h"
#include "primitives/image/threshold/threshold.h"

vq_unsharpMask::vq_unsharpMask() = default;

namespace {

// exp(x) with the exponent and the result in single precision.
double weightOf(double exponent) { return static_cast<double>(std::exp(static_cast<float>(exponent))); }

} // namespace

void vq_unsharpMask::setGaussian(double s) {
    sigma = s;
    if (!(s > 0.0)) {
        radius = 0;
        tapCount = 1;
        taps[0] = 1;
        divisor = 1;
        return;
    }
    const double d = 2.0 * s * s;
    double weights[kMaxRadius + 1] = {};
    double v = 1.0, t = 1.0;
    while (v > 0.1) {
        t += 0.1;
        v = weightOf(-(t * t) / d);
    }
    const double span = t + 1.0;
    int32_t r = span >= kMaxRadius ? kMaxRadius : static_cast<int32_t>(span);
    for (int32_t i = 0; i <= r; ++i)
        weights[i] = weightOf(-static_cast<double>(i * i) / d);
    double n = 1.0 / weights[r];
    if (n > 99.0 && r > 0) {
        --r;
        n = 1.0 / weights[r];
    }
    radius = r;
    tapCount = 2 * r + 1;
    divisor = 0;
    for (int32_t i = 0; i <= r; ++i) {
        const double tap = n * weights[r - i] + 0.5;
        taps[i] = tap >= 2147483647.0 ? 2147483647 : static_cast<int32_t>(tap);
        taps[tapCount - 1 - i] = taps[i];
    }
    for (int32_t i = 0; i < tapCount; ++i)
        divisor += taps[i];
}

void vq_unsharpMask::makeDetail(uint8_t* sharp, const uint8_t* blurred, int32_t step, IntPair size, double amount,
                                int32_t threshold) {
    subInPlace8uC1Scaled(blurred, step, sharp, step, size.first, size.second, 0);
    if (threshold != 0)
        thresholdLessValInPlace8uC1(sharp, step, size.first, size.second, threshold & 0xFF, 0);
    const int32_t m = truncateToInt(amount * 32.0 + 0.5) & 0xFF;
    mulConstInPlace8uC1Scaled(m, sharp, step, size.first, size.second, 5);
}

void vq_unsharpMask::apply(imageContainer* y) {
    if (y == nullptr || !y->isAllocated() || tapCount <= 0)
        return;
    const int32_t format = y->getFormat();
    if (format != vq_fmtGray8C1 && format != vq_fmtGray8 && format != vq_fmtPlaneY && format != vq_fmtPlaneCb &&
        format != vq_fmtPlaneCr)
        return;
    const int32_t w = y->getWidth(), h = y->getHeight();
    if (w <= 0 || h <= 0)
        return;
    const int32_t r = radius, border = 2 * r;
    // The plane inside a border of 2r replicated edge pixels; T1 receives the
    // row pass over the body's columns, T2 the column pass over the body's
    // rows, so T2's body is the plane blurred with replicated edges.
    vq_ptr<imageContainer> bordered = vq_ptr<imageContainer>::adopt(imageContainer::create());
    vq_ptr<imageContainer> rows = vq_ptr<imageContainer>::adopt(imageContainer::create());
    vq_ptr<imageContainer> blurred = vq_ptr<imageContainer>::adopt(imageContainer::create());
    if (!bordered->cloneWithBorder(y, border))
        return;
    const int32_t W = bordered->getWidth(), H = bordered->getHeight();
    if (!rows->create(format, W, H, false) || !blurred->create(format, W, H, false))
        return;
    PixelLock yl(y), bl(bordered.get()), rl(rows.get()), tl(blurred.get());
    auto at = [](const PixelLock& l, int32_t col, int32_t row) {
        return l.data() + static_cast<int64_t>(row) * l.step() + col;
    };
    filterRow8uC1(at(bl, border, 0), bl.step(), at(rl, border, 0), rl.step(), PrimSize{w, H}, taps, tapCount, r,
                  divisor);
    filterColumn8uC1(at(rl, 0, border), rl.step(), at(tl, 0, border), tl.step(), W, h, taps, tapCount, r, divisor);
    // The detail is worked out in the row plane, which is free now: first the
    // plane's own pixels, then plane minus blur, amplified.
    // (Both were made alike, so they share one row step.)
    uint8_t* detail = at(rl, border, border);
    copyRoi8uC1(at(bl, border, border), bl.step(), detail, rl.step(), PrimSize{w, h});
    if (rl.step() != tl.step())
        return;
    makeDetail(detail, at(tl, border, border), rl.step(), IntPair(w, h), amount, 0);
    addInPlace8uC1Scaled(detail, rl.step(), yl.data(), yl.step(), w, h, 0);
}
