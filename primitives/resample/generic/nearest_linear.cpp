// Nearest and linear row routines, generic path (the reference).
#include <cstddef>
#include <cstdint>

#include "primitives/resample/generic/passes.h"
#include "primitives/resample/resize_ring.h"

namespace prim::generic {
namespace {

// Nearest: copies N samples per pixel (bit patterns; floats as 32-bit words).
template <class T, int N>
void nearestPass(const void* src, void* dst, int32_t dstStep, int32_t width, int32_t height, const int32_t* rowOffsets,
                 const int32_t* colOffsets, int32_t pixelStride) {
    const T* s = static_cast<const T*>(src);
    T* d = static_cast<T*>(dst);
    const int32_t dstPixel = N == 3 ? pixelStride : N;
    for (int32_t i = 0; i < height; ++i) {
        const T* srow = s + rowOffsets[i];
        T* drow = d + static_cast<std::ptrdiff_t>(i) * dstStep;
        for (int32_t j = 0; j < width; ++j) {
            const T* sp = srow + colOffsets[j];
            T* dp = drow + static_cast<std::ptrdiff_t>(j) * dstPixel;
            for (int k = 0; k < N; ++k)
                dp[k] = sp[k];
        }
    }
}

// Linear kinds. Integer kinds: Q14 weights, 16-bit work rows (8u keeps six
// fraction bits); float: float fractions and float work rows.
struct Linear8u {
    using Sample = uint8_t;
    using Work = uint16_t;
    using RowWeight = uint16_t;
    using ColWeight = uint16_t;
    static Work horizontal(Sample a, Sample b, const ColWeight* cw, int32_t j) {
        return static_cast<Work>((a * uint32_t(cw[2 * j]) + b * uint32_t(cw[2 * j + 1]) + 128u) >> 8);
    }
    static Sample vertical(Work u, Work l, RowWeight f) {
        return static_cast<Sample>((u * (16384u - f) + l * uint32_t(f) + 0x80000u) >> 20);
    }
};

struct Linear16u {
    using Sample = uint16_t;
    using Work = uint16_t;
    using RowWeight = uint16_t;
    using ColWeight = uint16_t;
    static Work horizontal(Sample a, Sample b, const ColWeight* cw, int32_t j) {
        return static_cast<Work>((a * uint32_t(cw[2 * j]) + b * uint32_t(cw[2 * j + 1]) + 8192u) >> 14);
    }
    static Sample vertical(Work u, Work l, RowWeight f) {
        return static_cast<Sample>((u * (16384u - f) + l * uint32_t(f) + 8192u) >> 14);
    }
};

struct Linear16s {
    using Sample = int16_t;
    using Work = int16_t;
    using RowWeight = int16_t;
    using ColWeight = int16_t;
    // Arithmetic shift: floor division, halves toward plus infinity.
    static Work horizontal(Sample a, Sample b, const ColWeight* cw, int32_t j) {
        return static_cast<Work>((a * int32_t(cw[2 * j]) + b * int32_t(cw[2 * j + 1]) + 8192) >> 14);
    }
    static Sample vertical(Work u, Work l, RowWeight f) {
        return static_cast<Sample>((u * (16384 - int32_t(f)) + l * int32_t(f) + 8192) >> 14);
    }
};

struct Linear32f {
    using Sample = float;
    using Work = float;
    using RowWeight = float;
    using ColWeight = float;
    static Work horizontal(Sample a, Sample b, const ColWeight* cw, int32_t j) {
        const double ad = a;
        return static_cast<float>(ad + (double(b) - ad) * double(cw[j]));
    }
    static Sample vertical(Work u, Work l, RowWeight f) {
        const double fd = f;
        return static_cast<float>(double(l) * fd + double(u) * (1.0 - fd));
    }
};

// Horizontal pass of one source row: `channels` samples per destination
// pixel, the right neighbour `next` elements after the left one.
template <class K>
void linearRow(const typename K::Sample* row, int32_t width, int32_t channels, int32_t next, const int32_t* colOffsets,
               const typename K::ColWeight* colWeights, typename K::Work* out) {
    for (int32_t j = 0; j < width; ++j) {
        const typename K::Sample* a = row + colOffsets[j];
        for (int32_t k = 0; k < channels; ++k)
            out[j * channels + k] = K::horizontal(a[k], a[next + k], colWeights, j);
    }
}

template <class K, bool Plane>
void linearPass(const void* src, void* dst, int32_t srcStep, int32_t dstStep, int32_t width, int32_t height,
                const int32_t* rowOffsets, const int32_t* colOffsets, const void* rowWeights, const void* colWeights,
                void* workRow0, void* workRow1, int32_t pixelStride, int32_t channelCount) {
    using S = typename K::Sample;
    using Wk = typename K::Work;
    const S* s = static_cast<const S*>(src);
    S* d = static_cast<S*>(dst);
    const auto* rw = static_cast<const typename K::RowWeight*>(rowWeights);
    const auto* cw = static_cast<const typename K::ColWeight*>(colWeights);

    // Plane: one sample, neighbour 1 on. Pixels: 3 samples at pixelStride, or
    // 4 samples at 4; the column stage skips the fourth sample of (4, 3).
    const prim::resample::PassLayout layout(Plane, pixelStride, channelCount);
    const int32_t channels = layout.channels, next = layout.next;
    const bool threeOfFour = layout.threeOfFour;

    auto filter = [&](int32_t offset, Wk* out) {
        linearRow<K>(s + offset, width, channels, next, colOffsets, cw, out);
    };

    Wk* upper = static_cast<Wk*>(workRow0);
    Wk* lower = static_cast<Wk*>(workRow1);
    filter(rowOffsets[0], lower);
    const bool forward = srcStep > 0;
    int32_t last = forward ? rowOffsets[0] - 1 : rowOffsets[0] + 1;
    for (int32_t i = 0; i < height; ++i) {
        const int32_t v = rowOffsets[i];
        if (forward ? v > last : v < last) {
            filter(v + srcStep, upper);
            const int64_t far = int64_t(last) + srcStep;
            if (forward ? v > far : v < far)
                filter(v, lower);
            Wk* t = upper;
            upper = lower;
            lower = t;
            last = v;
        }
        S* drow = d + static_cast<std::ptrdiff_t>(i) * dstStep;
        const auto f = rw[i];
        if (threeOfFour) {
            for (int32_t j = 0; j < width; ++j)
                for (int k = 0; k < 3; ++k)
                    drow[4 * j + k] = K::vertical(upper[3 * j + k], lower[3 * j + k], f);
        } else {
            const int32_t count = width * channels;
            for (int32_t n = 0; n < count; ++n)
                drow[n] = K::vertical(upper[n], lower[n], f);
        }
    }
}

} // namespace

void resizePassNearest8uC3(const void* s, void* d, int32_t ds, int32_t w, int32_t h, const int32_t* ro,
                           const int32_t* co, int32_t ps) {
    nearestPass<uint8_t, 3>(s, d, ds, w, h, ro, co, ps);
}
void resizePassNearest16uC3(const void* s, void* d, int32_t ds, int32_t w, int32_t h, const int32_t* ro,
                            const int32_t* co, int32_t ps) {
    nearestPass<uint16_t, 3>(s, d, ds, w, h, ro, co, ps);
}
void resizePassNearest32fC3(const void* s, void* d, int32_t ds, int32_t w, int32_t h, const int32_t* ro,
                            const int32_t* co, int32_t ps) {
    nearestPass<uint32_t, 3>(s, d, ds, w, h, ro, co, ps);
}
void resizePassNearest8uC1(const void* s, void* d, int32_t ds, int32_t w, int32_t h, const int32_t* ro,
                           const int32_t* co, int32_t ps) {
    nearestPass<uint8_t, 1>(s, d, ds, w, h, ro, co, ps);
}
void resizePassNearest16uC1(const void* s, void* d, int32_t ds, int32_t w, int32_t h, const int32_t* ro,
                            const int32_t* co, int32_t ps) {
    nearestPass<uint16_t, 1>(s, d, ds, w, h, ro, co, ps);
}
void resizePassNearest32fC1(const void* s, void* d, int32_t ds, int32_t w, int32_t h, const int32_t* ro,
                            const int32_t* co, int32_t ps) {
    nearestPass<uint32_t, 1>(s, d, ds, w, h, ro, co, ps);
}
void resizePassNearest8uC4(const void* s, void* d, int32_t ds, int32_t w, int32_t h, const int32_t* ro,
                           const int32_t* co, int32_t ps) {
    nearestPass<uint8_t, 4>(s, d, ds, w, h, ro, co, ps);
}
void resizePassNearest16uC4(const void* s, void* d, int32_t ds, int32_t w, int32_t h, const int32_t* ro,
                            const int32_t* co, int32_t ps) {
    nearestPass<uint16_t, 4>(s, d, ds, w, h, ro, co, ps);
}
void resizePassNearest32fC4(const void* s, void* d, int32_t ds, int32_t w, int32_t h, const int32_t* ro,
                            const int32_t* co, int32_t ps) {
    nearestPass<uint32_t, 4>(s, d, ds, w, h, ro, co, ps);
}

#define VQ_LINEAR_BODY(name, K, plane)                                                                                 \
    void name(const void* s, void* d, int32_t ss, int32_t ds, int32_t w, int32_t h, const int32_t* ro,                 \
              const int32_t* co, const void* rw, const void* cw, void* w0, void* w1, int32_t ps, int32_t cc) {         \
        linearPass<K, plane>(s, d, ss, ds, w, h, ro, co, rw, cw, w0, w1, ps, cc);                                      \
    }
VQ_LINEAR_BODY(resizePassLinear8uPixel, Linear8u, false)
VQ_LINEAR_BODY(resizePassLinear16uPixel, Linear16u, false)
VQ_LINEAR_BODY(resizePassLinear32fPixel, Linear32f, false)
VQ_LINEAR_BODY(resizePassLinear16sPixel, Linear16s, false)
VQ_LINEAR_BODY(resizePassLinear8uPlane, Linear8u, true)
VQ_LINEAR_BODY(resizePassLinear16uPlane, Linear16u, true)
VQ_LINEAR_BODY(resizePassLinear32fPlane, Linear32f, true)
VQ_LINEAR_BODY(resizePassLinear16sPlane, Linear16s, true)
#undef VQ_LINEAR_BODY

} // namespace prim::generic
