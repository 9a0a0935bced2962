// Square-pixel cubic row routines, generic path (the reference): four
// precomputed float weights per destination row and column (taps -1 .. +2),
// products and sums in double precision.
#include <cstddef>
#include <cstdint>

#include "primitives/resample/generic/passes.h"
#include "primitives/resample/resize_ring.h"

namespace prim::generic {
namespace {

using prim::resample::ringPass;
using prim::resample::toSample;

// One source row filtered into a work row: `channels` values per pixel,
// taps `next` elements apart.
template <class T>
void sqCubicRow(const T* row, int32_t width, int32_t channels, int32_t next, const int32_t* colOffsets,
                const float* colWeights, float* out) {
    for (int32_t j = 0; j < width; ++j) {
        const T* p = row + colOffsets[j];
        const float* w = colWeights + 4 * j;
        for (int32_t k = 0; k < channels; ++k) {
            const double v = double(p[k - next]) * w[0] + double(p[k]) * w[1] + double(p[k + next]) * w[2] +
                             double(p[k + 2 * next]) * w[3];
            out[j * channels + k] = static_cast<float>(v);
        }
    }
}

template <class T>
inline T sqCubicColumn(const float* const* rows, const float* w, int32_t n) {
    return toSample<T>(double(rows[0][n]) * w[0] + double(rows[1][n]) * w[1] + double(rows[2][n]) * w[2] +
                       double(rows[3][n]) * w[3]);
}

template <class T, bool Plane>
void sqCubicPass(const void* src, void* dst, int32_t srcStep, int32_t dstStep, int32_t width, int32_t height,
                 const int32_t* rowOffsets, const int32_t* colOffsets, const float* rowWeights,
                 const float* colWeights, float* w0, float* w1, float* w2, float* w3, int32_t pixelStride,
                 int32_t channelCount) {
    const T* s = static_cast<const T*>(src);
    T* d = static_cast<T*>(dst);
    const int32_t channels = Plane ? 1 : (channelCount == 3 ? 3 : 4);
    const int32_t next = Plane ? 1 : (channelCount == 3 ? pixelStride : 4);
    const bool threeOfFour = !Plane && pixelStride != channelCount;
    float* const work[4] = {w0, w1, w2, w3};
    ringPass<4>(
        srcStep, height, rowOffsets, work,
        [&](int32_t offset, float* out) { sqCubicRow(s + offset, width, channels, next, colOffsets, colWeights, out); },
        [&](int32_t i, float* const* rows) {
            T* drow = d + static_cast<std::ptrdiff_t>(i) * dstStep;
            const float* w = rowWeights + 4 * i;
            if (threeOfFour) {
                for (int32_t j = 0; j < width; ++j)
                    for (int k = 0; k < 3; ++k)
                        drow[4 * j + k] = sqCubicColumn<T>(rows, w, 3 * j + k);
            } else {
                const int32_t count = width * channels;
                for (int32_t n = 0; n < count; ++n)
                    drow[n] = sqCubicColumn<T>(rows, w, n);
            }
        });
}

} // namespace

#define VQ_SQ_CUBIC_BODY(name, T, plane)                                                                        \
    void name(const void* s, void* d, int32_t ss, int32_t ds, int32_t w, int32_t h, const int32_t* ro,          \
              const int32_t* co, const float* rw, const float* cw, float* w0, float* w1, float* w2, float* w3, \
              int32_t ps, int32_t cc) {                                                                         \
        sqCubicPass<T, plane>(s, d, ss, ds, w, h, ro, co, rw, cw, w0, w1, w2, w3, ps, cc);                     \
    }
VQ_SQ_CUBIC_BODY(resizeSqPassCubic8uPixel, uint8_t, false)
VQ_SQ_CUBIC_BODY(resizeSqPassCubic16uPixel, uint16_t, false)
VQ_SQ_CUBIC_BODY(resizeSqPassCubic32fPixel, float, false)
VQ_SQ_CUBIC_BODY(resizeSqPassCubic16sPixel, int16_t, false)
VQ_SQ_CUBIC_BODY(resizeSqPassCubic8uPlane, uint8_t, true)
VQ_SQ_CUBIC_BODY(resizeSqPassCubic16uPlane, uint16_t, true)
VQ_SQ_CUBIC_BODY(resizeSqPassCubic32fPlane, float, true)
VQ_SQ_CUBIC_BODY(resizeSqPassCubic16sPlane, int16_t, true)
#undef VQ_SQ_CUBIC_BODY

} // namespace prim::generic
