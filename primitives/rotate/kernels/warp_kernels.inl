// The warp row kernels, written once and compiled per processor path inside
// prim::VQ_PATH_NS (the including file defines it). With VQ_WARP_GENERIC
// set the file yields the generic path's table: double precision
// throughout, 0.5 added to every nearest position, cubic windows evaluated
// per pixel. Otherwise it yields a SIMD path's table: 0.5 folded into the
// span's start point, 14-bit fixed-point bilinear 8u and single-precision
// bilinear 16u and 32f, and cubic sampling through single-precision
// positions in the work buffer with table weights for 8u.
//
// Everything lives in an anonymous namespace, so no instantiation is shared
// between translation units compiled for different paths.
#include <cstring>
#include <emmintrin.h>

#include "primitives/rotate/kernels/warp_rows.h"

#ifndef VQ_PATH_NS
#error "define VQ_PATH_NS before including warp_kernels.inl"
#endif

namespace prim::VQ_PATH_NS {
namespace {

// Pixel shape of a layout: samples computed, samples per interleaved pixel,
// planar or not.
template <int Layout> struct Shape {
    static constexpr bool planar = Layout == 3 || Layout == 5;
    static constexpr int channels = Layout == 0 ? 1 : (Layout == 4 || Layout == 5) ? 4 : 3;
    static constexpr int elems = planar ? 1 : Layout == 0 ? 1 : Layout == 1 ? 3 : 4;
};

template <typename T> inline T loadT(const uint8_t* p)
{
    T v;
    std::memcpy(&v, p, sizeof(T));
    return v;
}
template <typename T> inline void storeT(uint8_t* p, T v) { std::memcpy(p, &v, sizeof(T)); }

inline int32_t truncD(double v) { return _mm_cvttsd_si32(_mm_set_sd(v)); }
inline int32_t roundD(double v) { return _mm_cvtsd_si32(_mm_set_sd(v)); } // to nearest, ties to even
inline int32_t truncF(float v) { return _mm_cvttss_si32(_mm_set_ss(v)); }
inline int32_t roundF(float v) { return _mm_cvtss_si32(_mm_set_ss(v)); }

// Address of sample c of source pixel (x, y).
template <typename T, int L>
inline const uint8_t* srcAt(const void* src, int32_t step, int32_t x, int32_t y, int c)
{
    if constexpr (Shape<L>::planar)
        return static_cast<const uint8_t* const*>(src)[c] + std::ptrdiff_t(y) * step + std::ptrdiff_t(x) * sizeof(T);
    else
        return static_cast<const uint8_t*>(src) + std::ptrdiff_t(y) * step +
               (std::ptrdiff_t(x) * Shape<L>::elems + c) * std::ptrdiff_t(sizeof(T));
}

// Address of sample c of destination pixel j in row i of the band.
template <typename T, int L> inline uint8_t* dstAt(void* dst, int32_t step, int32_t i, int32_t j, int c)
{
    if constexpr (Shape<L>::planar)
        return static_cast<uint8_t* const*>(dst)[c] + std::ptrdiff_t(i) * step + std::ptrdiff_t(j) * sizeof(T);
    else
        return static_cast<uint8_t*>(dst) + std::ptrdiff_t(i) * step +
               (std::ptrdiff_t(j) * Shape<L>::elems + c) * std::ptrdiff_t(sizeof(T));
}

// The coordinate walk shared by every kernel: positions advance by repeated
// addition, never recomputed from the column or row, so the order of the
// operations fixes the results. `fn(i, j, x, y)` draws pixel j of row i.
template <bool HalfAtStart, class Fn>
inline void walkSpans(int32_t firstRow, int32_t lastRow, const RowSpan* spans, const WarpCoefficients& a, Fn fn)
{
    if (lastRow < firstRow)
        return;
    double rowX = a.c01 * firstRow + a.c02, rowY = a.c11 * firstRow + a.c12;
    for (int32_t i = 0; i <= lastRow - firstRow; ++i) {
        const RowSpan s = spans[i];
        if (s.first <= s.last) {
            double x = a.c00 * s.first + rowX, y = a.c10 * s.first + rowY;
            if constexpr (HalfAtStart) {
                x = x + 0.5;
                y = y + 0.5;
            }
            for (int32_t j = s.first; j <= s.last; ++j) {
                fn(i, j, x, y);
                x = x + a.c00;
                y = y + a.c10;
            }
        }
        rowX = rowX + a.c01;
        rowY = rowY + a.c11;
    }
}

template <typename T, int L>
inline void copyNearest(const void* src, int32_t srcStep, void* dst, int32_t dstStep, int32_t i, int32_t j,
                        int32_t ix, int32_t iy)
{
    for (int c = 0; c < Shape<L>::channels; ++c)
        std::memcpy(dstAt<T, L>(dst, dstStep, i, j, c), srcAt<T, L>(src, srcStep, ix, iy, c), sizeof(T));
}

#ifdef VQ_WARP_GENERIC

// ---------------------------------------------------------------------------
// Generic path: double precision, one pixel at a time.

template <typename T, int L>
void warpRowNearest(const void* src, void* dst, int32_t srcStep, int32_t dstStep, int32_t firstRow, int32_t lastRow,
                    const RowSpan* spans, const WarpCoefficients* a, int32_t, int32_t, float*)
{
    walkSpans<false>(firstRow, lastRow, spans, *a, [&](int32_t i, int32_t j, double x, double y) {
        copyNearest<T, L>(src, srcStep, dst, dstStep, i, j, truncD(x + 0.5), truncD(y + 0.5));
    });
}

template <typename T, int L>
void warpRowLinear(const void* src, void* dst, int32_t srcStep, int32_t dstStep, int32_t firstRow, int32_t lastRow,
                   const RowSpan* spans, const WarpCoefficients* a, int32_t xMax, int32_t yMax, float*)
{
    walkSpans<false>(firstRow, lastRow, spans, *a, [&](int32_t i, int32_t j, double x, double y) {
        const int32_t tx = truncD(x + 1e-7), ty = truncD(y + 1e-7);
        int32_t x0, y0;
        double fx, fy;
        if (tx < xMax) {
            x0 = tx;
            fx = x - tx;
        } else {
            x0 = xMax - 1;
            fx = 1.0;
        }
        if (ty < yMax) {
            y0 = ty;
            fy = y - ty;
        } else {
            y0 = yMax - 1;
            fy = 1.0;
        }
        for (int c = 0; c < Shape<L>::channels; ++c) {
            const double tl = loadT<T>(srcAt<T, L>(src, srcStep, x0, y0, c));
            const double tr = loadT<T>(srcAt<T, L>(src, srcStep, x0 + 1, y0, c));
            const double bl = loadT<T>(srcAt<T, L>(src, srcStep, x0, y0 + 1, c));
            const double br = loadT<T>(srcAt<T, L>(src, srcStep, x0 + 1, y0 + 1, c));
            const double top = (tr - tl) * fx + tl;
            const double bottom = (br - bl) * fx + bl;
            uint8_t* d = dstAt<T, L>(dst, dstStep, i, j, c);
            if constexpr (sizeof(T) == 1)
                storeT<uint8_t>(d, uint8_t(truncD((top + 0.5) + (bottom - top) * fy)));
            else if constexpr (sizeof(T) == 2)
                storeT<uint16_t>(d, uint16_t(truncD(top + (bottom - top) * fy)));
            else
                storeT<float>(d, float(top + (bottom - top) * fy));
        }
    });
}

// Lagrange weights of the nodes -1, 0, 1, 2 at s, in the evaluation order
// the reference results follow; `altLast` forms the last weight as
// s (s (s / 6)) - s / 6 instead of (s (s / 6)) s - s / 6.
inline void cubicWeights(double s, bool altLast, double w[4])
{
    const double sixth = 0.16666666666666666, third = 0.3333333333333333;
    w[0] = ((s * -sixth) * s - third) * s + s * (s * 0.5);
    w[1] = ((s * (s * (s * 0.5)) + 1.0) - s * s) - s * 0.5;
    w[2] = (s * (s * 0.5) + ((s * -0.5) * s) * s) + s;
    w[3] = altLast ? s * (s * (s * sixth)) - s * sixth : (s * (s * sixth)) * s - s * sixth;
}

// One sample from the 4 x 4 window whose tap (r, k) is at base + r * step +
// k * stride bytes.
template <typename T>
inline void cubicWindowSample(const uint8_t* base, int32_t step, std::ptrdiff_t stride, const double wx[4],
                              const double wy[4], uint8_t* d)
{
    double rowSum[4];
    for (int r = 0; r < 4; ++r) {
        const uint8_t* p = base + std::ptrdiff_t(r) * step;
        rowSum[r] = ((double(loadT<T>(p)) * wx[0] + double(loadT<T>(p + stride)) * wx[1]) +
                     double(loadT<T>(p + 2 * stride)) * wx[2]) +
                    double(loadT<T>(p + 3 * stride)) * wx[3];
    }
    const double v = ((rowSum[0] * wy[0] + rowSum[1] * wy[1]) + rowSum[2] * wy[2]) + rowSum[3] * wy[3];
    if constexpr (sizeof(T) == 4) {
        storeT<float>(d, float(v));
    } else {
        const double top = sizeof(T) == 1 ? 255.0 : 65535.0;
        const int32_t r = v > top ? int32_t(top) : v < 0.0 ? 0 : truncD(v + 0.5);
        storeT<T>(d, T(r));
    }
}

// Window start along one axis: pushed inward at the image edges.
inline int32_t cubicWindowStart(int32_t t, int32_t last)
{
    if (t >= last - 1)
        return last - 3;
    if (t <= 0)
        return 0;
    return t - 1;
}

template <typename T, int L>
void warpRowCubic(const void* src, void* dst, int32_t srcStep, int32_t dstStep, int32_t firstRow, int32_t lastRow,
                  const RowSpan* spans, const WarpCoefficients* a, int32_t xMax, int32_t yMax, float*)
{
    // The 16-bit interleaved kernels form the last column weight the
    // alternative way, the 8- and 16-bit kernels the last row weight.
    constexpr bool altX = sizeof(T) == 2 && !Shape<L>::planar;
    constexpr bool altY = sizeof(T) != 4;
    walkSpans<false>(firstRow, lastRow, spans, *a, [&](int32_t i, int32_t j, double x, double y) {
        const int32_t x0 = cubicWindowStart(truncD(x + 1e-7), xMax);
        const int32_t y0 = cubicWindowStart(truncD(y + 1e-7), yMax);
        const float fx = float((x - 1.0) - x0), fy = float((y - 1.0) - y0);
        double wx[4], wy[4];
        cubicWeights(double(fx), altX, wx);
        cubicWeights(double(fy), altY, wy);
        for (int c = 0; c < Shape<L>::channels; ++c)
            cubicWindowSample<T>(srcAt<T, L>(src, srcStep, x0, y0, c), srcStep,
                                 std::ptrdiff_t(Shape<L>::elems) * sizeof(T), wx, wy,
                                 dstAt<T, L>(dst, dstStep, i, j, c));
    });
}

#else

// ---------------------------------------------------------------------------
// SIMD paths: the weight table and the window start of the cubic samplers,
// then the vector kernels.

// Exact 14-bit Lagrange weight of node 0 or node 1 among 0, 1, 2, 3 at
// j / 512, rounded to the nearest integer (halves away from zero).
constexpr int16_t lagrangeWeight(int j, int node)
{
    // 16384 L0 = -(j-512)(j-1024)(j-1536) / (3 * 2^14);
    // 16384 L1 = (j)(j-1024)(j-1536) / 2^14.
    const int64_t num = node == 0 ? -int64_t(j - 512) * (j - 1024) * (j - 1536) : int64_t(j) * (j - 1024) * (j - 1536);
    const int64_t den = node == 0 ? 3 * 16384 : 16384;
    const int64_t mag = num >= 0 ? num : -num;
    const int64_t rounded = (2 * mag + den) / (2 * den);
    return int16_t(num >= 0 ? rounded : -rounded);
}

struct WeightTable {
    CubicWeightPair w[1540];
};

constexpr WeightTable makeWeightTable()
{
    WeightTable t{};
    for (int j = 0; j <= 1536; ++j)
        t.w[j] = CubicWeightPair{lagrangeWeight(j, 0), lagrangeWeight(j, 1)};
    return t;
}

// This path's copy of the weight table.
constexpr WeightTable lagrangeCubicWeightTable = makeWeightTable();

// Polynomial coefficients of the four taps at u = d - 1.
constexpr float kC0[4] = {0.0f, 1.0f, 0.0f, 0.0f};
constexpr float kC1[4] = {-1.0f / 3.0f, -0.5f, 1.0f, -1.0f / 6.0f};
constexpr float kC2[4] = {0.5f, -1.0f, 0.5f, 0.0f};
constexpr float kC3[4] = {-1.0f / 6.0f, 0.5f, -0.5f, 1.0f / 6.0f};

inline int32_t clampIndex(int32_t r) { return r < 0 ? 0 : r > 1536 ? 1536 : r; }

// Window start of a position that passed the rectangle test: limited to
// the image even for a position exactly on the test rectangle's edge.
inline int32_t samplerWindowStart(float v, int32_t last)
{
    int32_t t = truncF(v);
    if (t > last - 2)
        t = last - 2;
    int32_t s = t > 0 ? t - 1 : t;
    if (s < 0)
        s = 0;
    if (s > last - 3)
        s = last - 3;
    return s;
}

#include "primitives/rotate/kernels/warp_simd.inl"

#endif

#define VQ_WARP_ROW(T, L) warpRowNearest<T, L>, warpRowLinear<T, L>, warpRowCubic<T, L>
#define VQ_WARP_TYPE(T) VQ_WARP_ROW(T, 0), VQ_WARP_ROW(T, 1), VQ_WARP_ROW(T, 2), VQ_WARP_ROW(T, 3), \
                        VQ_WARP_ROW(T, 4), VQ_WARP_ROW(T, 5)

} // namespace

const WarpRowKernel warpRowKernelTable[kWarpRowKernelCount] = {
    VQ_WARP_TYPE(uint8_t), VQ_WARP_TYPE(float), VQ_WARP_TYPE(uint16_t)};

#ifndef VQ_WARP_GENERIC
const CubicWeightPair* lagrangeCubicWeights() { return lagrangeCubicWeightTable.w; }
#endif

#undef VQ_WARP_ROW
#undef VQ_WARP_TYPE

} // namespace prim::VQ_PATH_NS
