// Building blocks shared by the resize row routines and border kernels of
// every processor path: the conversion of a weighted sum to a sample, and the
// ring of work rows that keeps horizontally filtered source rows while the
// destination rows walk down the source.
//
// Internal linkage on purpose: every translation unit (generic or path) keeps
// its own copy, compiled with its own instruction set.
#pragma once

#include <cstdint>

#include "primitives/core/processor.h"

namespace prim::resample {
namespace {

// A real sum to a destination sample: unsigned kinds round half up (with a
// bias of 1e-7) and saturate; signed 16-bit rounds half away from zero;
// float is rounded to single precision and not clamped.
template <class T> inline T toSample(double v);

template <> inline uint8_t toSample<uint8_t>(double v) {
    const int32_t n = truncateToInt(v + 0.5000001);
    return static_cast<uint8_t>(n > 255 ? 255 : n <= 0 ? 0 : n);
}
template <> inline uint16_t toSample<uint16_t>(double v) {
    const int32_t n = truncateToInt(v + 0.5000001);
    return static_cast<uint16_t>(n > 65535 ? 65535 : n <= 0 ? 0 : n);
}
template <> inline int16_t toSample<int16_t>(double v) {
    const int32_t n = truncateToInt(v > 0 ? v + 0.5000001 : (v - 0.0000001) - 0.5);
    return static_cast<int16_t>(n > 32767 ? 32767 : n <= -32768 ? -32768 : n);
}
template <> inline float toSample<float>(double v) { return static_cast<float>(v); }

// How a row routine walks its pixels: a plane has one sample per pixel and
// the next pixel one element on; interleaved pixels resample 3 samples at
// pixelStride or 4 samples at 4; (4, 3) pixels keep their fourth sample.
struct PassLayout {
    int32_t channels, next;
    bool threeOfFour;
    PassLayout(bool plane, int32_t pixelStride, int32_t channelCount)
        : channels(plane ? 1 : (channelCount == 3 ? 3 : 4)), next(plane ? 1 : (channelCount == 3 ? pixelStride : 4)),
          threeOfFour(!plane && pixelStride != channelCount) {}
};

// Whether a destination row whose tap-0 source row sits at offset v has moved
// past the row `last` the window was positioned at, in the direction of the
// step, and by how many rows (capped at taps): moved at least k rows means
// v >= last + k * step for a positive step, v <= last + k * step otherwise.
inline int ringAdvance(int32_t v, int32_t last, int32_t step, int taps) {
    const bool forward = step > 0;
    if (forward ? !(v > last) : !(v < last))
        return 0;
    int k = 1;
    while (k < taps) {
        const int64_t bound = static_cast<int64_t>(last) + static_cast<int64_t>(k + 1) * step;
        if (forward ? v < bound : v > bound)
            break;
        ++k;
    }
    return k;
}

// The ring of `Taps` work rows (4 for cubic, 6 for Lanczos). Tap t of a
// destination row is the source row at offset v + (t - Taps / 2 + 1) * step
// from the row's tap-0 offset v. `filter(offset, out)` filters one source row
// horizontally into a work row; `combine(i, rows)` writes destination row i
// from the work rows in tap order. Every source row is filtered once while it
// stays in the window; rows the window jumps over are never filtered.
template <int Taps, class Filter, class Combine>
void ringPass(int32_t step, int32_t dstHeight, const int32_t* rowOffsets, float* const* workRows, Filter&& filter,
              Combine&& combine) {
    constexpr int kFirstTap = -(Taps / 2 - 1);
    float* window[Taps];
    for (int t = 0; t < Taps; ++t)
        window[t] = workRows[t];
    // Prime all taps but the lowest of the first row, as if the window sat
    // one row above it, so that row counts as an advance of one.
    const int32_t first = rowOffsets[0];
    for (int t = 1; t < Taps; ++t)
        filter(first + (t - 1 + kFirstTap) * step, window[t]);
    int32_t last = step > 0 ? first - 1 : first + 1;
    for (int32_t i = 0; i < dstHeight; ++i) {
        const int32_t v = rowOffsets[i];
        const int k = ringAdvance(v, last, step, Taps);
        if (k > 0) {
            float* moved[Taps];
            for (int t = 0; t < Taps; ++t)
                moved[t] = window[(t + k) % Taps];
            for (int t = Taps - 1; t >= Taps - k; --t)
                filter(v + (t + kFirstTap) * step, moved[t]);
            for (int t = 0; t < Taps; ++t)
                window[t] = moved[t];
            last = v;
        }
        combine(i, static_cast<float* const*>(window));
    }
}

} // namespace
} // namespace prim::resample
