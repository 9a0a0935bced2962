// Cubic row routines, generic path (the reference). The square-pixel engine's
// passes take four precomputed float weights per destination row and column
// (taps -1 .. +2); the general engine's take one position per row and column
// and interpolate the cubic through the four samples. Both run the same ring
// of four work rows; products and sums in double precision.
#include <cstddef>
#include <cstdint>
#include <type_traits>

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

template <class T> inline T sqCubicColumn(const float* const* rows, const float* w, int32_t n) {
    return toSample<T>(double(rows[0][n]) * w[0] + double(rows[1][n]) * w[1] + double(rows[2][n]) * w[2] +
                       double(rows[3][n]) * w[3]);
}

template <class T, bool Plane>
void sqCubicPass(const void* src, void* dst, int32_t srcStep, int32_t dstStep, int32_t width, int32_t height,
                 const int32_t* rowOffsets, const int32_t* colOffsets, const float* rowWeights, const float* colWeights,
                 float* w0, float* w1, float* w2, float* w3, int32_t pixelStride, int32_t channelCount) {
    const T* s = static_cast<const T*>(src);
    T* d = static_cast<T*>(dst);
    const prim::resample::PassLayout layout(Plane, pixelStride, channelCount);
    const int32_t channels = layout.channels, next = layout.next;
    const bool threeOfFour = layout.threeOfFour;
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

// General engine: Newton's forward differences counted from tap -1, with
// c1 = t + 1, c2 = t (t + 1) / 2, c3 = (t - 1) c2 / 3.
struct NewtonCoefficients {
    double c1, c2, c3;
    explicit NewtonCoefficients(double t)
        : c1(t + 1.0), c2(t * (t + 1.0) * 0.5), c3((t - 1.0) * (t * (t + 1.0) * 0.5) / 3.0) {}
};

inline double newton(double pm, double p0, double p1, double p2, double c1, double c2, double c3) {
    const double d1 = p0 - pm;
    const double d2 = (p1 - p0) - d1;
    const double d3 = (p2 - 2.0 * p1 + p0) - d2;
    return pm + c3 * d3 + c2 * d2 + c1 * d1;
}

template <class T>
void genCubicRow(const T* row, int32_t width, int32_t channels, int32_t next, const int32_t* colOffsets,
                 const float* positions, float* out) {
    for (int32_t j = 0; j < width; ++j) {
        const T* p = row + colOffsets[j];
        const NewtonCoefficients c(positions[j]);
        for (int32_t k = 0; k < channels; ++k)
            out[j * channels + k] = static_cast<float>(newton(double(p[k - next]), double(p[k]), double(p[k + next]),
                                                              double(p[k + 2 * next]), c.c1, c.c2, c.c3));
    }
}

template <class T, bool Plane>
void genCubicPass(const void* src, void* dst, int32_t srcStep, int32_t dstStep, int32_t width, int32_t height,
                  const int32_t* rowOffsets, const int32_t* colOffsets, const float* rowPositions,
                  const float* colPositions, float* w0, float* w1, float* w2, float* w3, int32_t pixelStride,
                  int32_t channelCount) {
    const T* s = static_cast<const T*>(src);
    T* d = static_cast<T*>(dst);
    const prim::resample::PassLayout layout(Plane, pixelStride, channelCount);
    const int32_t channels = layout.channels, next = layout.next;
    const bool threeOfFour = layout.threeOfFour;
    float* const work[4] = {w0, w1, w2, w3};
    ringPass<4>(
        srcStep, height, rowOffsets, work,
        [&](int32_t offset, float* out) {
            genCubicRow(s + offset, width, channels, next, colOffsets, colPositions, out);
        },
        [&](int32_t i, float* const* rows) {
            T* drow = d + static_cast<std::ptrdiff_t>(i) * dstStep;
            const NewtonCoefficients c(rowPositions[i]);
            // The column stage holds c3 in single precision; the float
            // three-of-four stage holds all three coefficients so.
            const double c3 = static_cast<float>(c.c3);
            if (threeOfFour) {
                constexpr bool allSingle = std::is_same_v<T, float>;
                const double c1 = allSingle ? double(static_cast<float>(c.c1)) : c.c1;
                const double c2 = allSingle ? double(static_cast<float>(c.c2)) : c.c2;
                for (int32_t j = 0; j < width; ++j)
                    for (int k = 0; k < 3; ++k) {
                        const int32_t n = 3 * j + k;
                        drow[4 * j + k] =
                            toSample<T>(newton(rows[0][n], rows[1][n], rows[2][n], rows[3][n], c1, c2, c3));
                    }
            } else {
                const int32_t count = width * channels;
                for (int32_t n = 0; n < count; ++n)
                    drow[n] = toSample<T>(newton(rows[0][n], rows[1][n], rows[2][n], rows[3][n], c.c1, c.c2, c3));
            }
        });
}

} // namespace

#define VQ_GEN_CUBIC_BODY(name, T, plane)                                                                              \
    void name(const void* s, void* d, int32_t ss, int32_t ds, int32_t w, int32_t h, const int32_t* ro,                 \
              const int32_t* co, const float* rw, const float* cw, float* w0, float* w1, float* w2, float* w3,         \
              int32_t ps, int32_t cc) {                                                                                \
        genCubicPass<T, plane>(s, d, ss, ds, w, h, ro, co, rw, cw, w0, w1, w2, w3, ps, cc);                            \
    }
VQ_GEN_CUBIC_BODY(resizeGenPassCubic8uPixel, uint8_t, false)
VQ_GEN_CUBIC_BODY(resizeGenPassCubic16uPixel, uint16_t, false)
VQ_GEN_CUBIC_BODY(resizeGenPassCubic32fPixel, float, false)
VQ_GEN_CUBIC_BODY(resizeGenPassCubic8uPlane, uint8_t, true)
VQ_GEN_CUBIC_BODY(resizeGenPassCubic16uPlane, uint16_t, true)
VQ_GEN_CUBIC_BODY(resizeGenPassCubic32fPlane, float, true)
#undef VQ_GEN_CUBIC_BODY

#define VQ_SQ_CUBIC_BODY(name, T, plane)                                                                               \
    void name(const void* s, void* d, int32_t ss, int32_t ds, int32_t w, int32_t h, const int32_t* ro,                 \
              const int32_t* co, const float* rw, const float* cw, float* w0, float* w1, float* w2, float* w3,         \
              int32_t ps, int32_t cc) {                                                                                \
        sqCubicPass<T, plane>(s, d, ss, ds, w, h, ro, co, rw, cw, w0, w1, w2, w3, ps, cc);                             \
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
