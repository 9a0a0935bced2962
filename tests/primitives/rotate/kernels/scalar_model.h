// A scalar model of the vector row kernels: every pixel computed on its own,
// in plain C++ with the same rounding rules (double stepping, single-precision
// forms, 14-bit fixed point, ties-to-even conversions). The tests hold each
// processor path's vector kernels to these results bit for bit; the model
// itself is held to hand-worked values by the kernel tests.
#pragma once

#include <cstdint>
#include <cstring>
#include <emmintrin.h>

#include "primitives/rotate/kernels/remap.h"
#include "primitives/rotate/kernels/warp_rows.h"

namespace rotatetest::model {

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


// ---------------------------------------------------------------------------
// SIMD paths.

template <typename T, int L>
void warpRowNearest(const void* src, void* dst, int32_t srcStep, int32_t dstStep, int32_t firstRow, int32_t lastRow,
                    const RowSpan* spans, const WarpCoefficients* a, int32_t, int32_t, float*)
{
    walkSpans<true>(firstRow, lastRow, spans, *a, [&](int32_t i, int32_t j, double x, double y) {
        copyNearest<T, L>(src, srcStep, dst, dstStep, i, j, truncD(x), truncD(y));
    });
}

template <typename T, int L>
void warpRowLinear(const void* src, void* dst, int32_t srcStep, int32_t dstStep, int32_t firstRow, int32_t lastRow,
                   const RowSpan* spans, const WarpCoefficients* a, int32_t xMax, int32_t yMax, float*)
{
    walkSpans<false>(firstRow, lastRow, spans, *a, [&](int32_t i, int32_t j, double x, double y) {
        int32_t xi = truncD(x), yi = truncD(y);
        if (xi == xMax)
            xi = xMax - 1;
        if (yi == yMax)
            yi = yMax - 1;
        const double fx = x - xi, fy = y - yi;
        if constexpr (sizeof(T) == 1) {
            // 14-bit weights; one pairwise pass per row, truncated by 8 bits
            // between the passes, rounded half up at the end.
            const int32_t wx = roundD(fx * 16384.0), wy = roundD(fy * 16384.0);
            const auto sat16 = [](int32_t v) { return v < -32768 ? -32768 : v > 32767 ? 32767 : v; };
            const int32_t wx0 = sat16(16384 - wx), wx1 = sat16(wx), wy0 = sat16(16384 - wy), wy1 = sat16(wy);
            for (int c = 0; c < Shape<L>::channels; ++c) {
                const int32_t p00 = loadT<uint8_t>(srcAt<T, L>(src, srcStep, xi, yi, c));
                const int32_t p10 = loadT<uint8_t>(srcAt<T, L>(src, srcStep, xi + 1, yi, c));
                const int32_t p01 = loadT<uint8_t>(srcAt<T, L>(src, srcStep, xi, yi + 1, c));
                const int32_t p11 = loadT<uint8_t>(srcAt<T, L>(src, srcStep, xi + 1, yi + 1, c));
                const int32_t top = sat16((p00 * wx0 + p10 * wx1) >> 8);
                const int32_t bottom = sat16((p01 * wx0 + p11 * wx1) >> 8);
                int32_t r = (top * wy0 + bottom * wy1 + 524288) >> 20;
                if constexpr (L == 4)
                    r = r < 0 ? 0 : r > 255 ? 255 : r;
                storeT<uint8_t>(dstAt<T, L>(dst, dstStep, i, j, c), uint8_t(r));
            }
        } else {
            const float fxf = float(fx), fyf = float(fy);
            const float gx = 1.0f - fxf, gy = 1.0f - fyf;
            for (int c = 0; c < Shape<L>::channels; ++c) {
                const float p00 = float(loadT<T>(srcAt<T, L>(src, srcStep, xi, yi, c)));
                const float p10 = float(loadT<T>(srcAt<T, L>(src, srcStep, xi + 1, yi, c)));
                const float p01 = float(loadT<T>(srcAt<T, L>(src, srcStep, xi, yi + 1, c)));
                const float p11 = float(loadT<T>(srcAt<T, L>(src, srcStep, xi + 1, yi + 1, c)));
                float r;
                if constexpr (L == 0 && sizeof(T) == 2) {
                    // One channel, 16u: vertical first, weight form.
                    const float left = p00 * gy + p01 * fyf;
                    const float right = p10 * gy + p11 * fyf;
                    r = left * gx + right * fxf;
                } else if constexpr (L == 0) {
                    // One channel, 32f: horizontal first, weight form.
                    const float top = p00 * gx + p10 * fxf;
                    const float bottom = p01 * gx + p11 * fxf;
                    r = top * gy + bottom * fyf;
                } else {
                    const float top = (p10 - p00) * fxf + p00;
                    const float bottom = (p11 - p01) * fxf + p01;
                    r = (bottom - top) * fyf + top;
                }
                uint8_t* d = dstAt<T, L>(dst, dstStep, i, j, c);
                if constexpr (sizeof(T) == 2)
                    storeT<uint16_t>(d, uint16_t(roundF(r)));
                else
                    storeT<float>(d, r);
            }
        }
    });
}

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

// Evaluates the four-point Lagrange cubic at the positions (xs[k], ys[k]) of
// a span into consecutive destination pixels; positions outside the test
// rectangle leave their pixel alone.
template <typename T, int L>
void sampleCubicPoints(const void* src, int32_t srcStep, void* dst, int32_t dstStep, int32_t row, int32_t firstCol,
                       const float* xs, const float* ys, int32_t count, int32_t left, int32_t top, int32_t right,
                       int32_t bottom, int32_t lastCol, int32_t lastRow)
{
    const float fl = float(left), ft = float(top), fr = float(right), fb = float(bottom);
    constexpr std::ptrdiff_t stride = std::ptrdiff_t(Shape<L>::elems) * sizeof(T);
    for (int32_t k = 0; k < count; ++k) {
        const float x = xs[k], y = ys[k];
        if (x < fl || y < ft || x > fr || y > fb)
            continue;
        const int32_t x0 = samplerWindowStart(x, lastCol), y0 = samplerWindowStart(y, lastRow);
        const float dx = x - float(x0), dy = y - float(y0);
        const int32_t j = firstCol + k;
        if constexpr (sizeof(T) == 1) {
            const CubicWeightPair* tab = lagrangeCubicWeightTable.w;
            const int32_t rx = clampIndex(roundF(dx * 512.0f)), ry = clampIndex(roundF(dy * 512.0f));
            const int32_t wx[4] = {tab[rx].first, tab[rx].second, tab[1536 - rx].second, tab[1536 - rx].first};
            const int32_t wy[4] = {tab[ry].first, tab[ry].second, tab[1536 - ry].second, tab[1536 - ry].first};
            for (int c = 0; c < Shape<L>::channels; ++c) {
                const uint8_t* base = srcAt<T, L>(src, srcStep, x0, y0, c);
                int32_t v = 0;
                for (int r = 0; r < 4; ++r) {
                    const uint8_t* p = base + std::ptrdiff_t(r) * srcStep;
                    const int32_t sum = p[0] * wx[0] + p[stride] * wx[1] + p[2 * stride] * wx[2] + p[3 * stride] * wx[3];
                    v += (sum >> 8) * wy[r];
                }
                int32_t out = (v + 524288) >> 20;
                out = out < 0 ? 0 : out > 255 ? 255 : out;
                storeT<uint8_t>(dstAt<T, L>(dst, dstStep, row, j, c), uint8_t(out));
            }
        } else {
            const float ux = dx - 1.0f, uy = dy - 1.0f;
            float wx[4], wy[4];
            const float ux2 = ux * ux, ux3 = ux * ux2, uy2 = uy * uy, uy3 = uy * uy2;
            for (int t = 0; t < 4; ++t) {
                wx[t] = (ux3 * kC3[t] + ux2 * kC2[t]) + (ux * kC1[t] + kC0[t]);
                wy[t] = (uy3 * kC3[t] + uy2 * kC2[t]) + (uy * kC1[t] + kC0[t]);
            }
            for (int c = 0; c < Shape<L>::channels; ++c) {
                const uint8_t* base = srcAt<T, L>(src, srcStep, x0, y0, c);
                float rs[4];
                for (int r = 0; r < 4; ++r) {
                    const uint8_t* p = base + std::ptrdiff_t(r) * srcStep;
                    rs[r] = (float(loadT<T>(p)) * wx[0] + float(loadT<T>(p + stride)) * wx[1]) +
                            (float(loadT<T>(p + 2 * stride)) * wx[2] + float(loadT<T>(p + 3 * stride)) * wx[3]);
                }
                const float out = (rs[0] * wy[0] + rs[2] * wy[2]) + (rs[1] * wy[1] + rs[3] * wy[3]);
                uint8_t* d = dstAt<T, L>(dst, dstStep, row, j, c);
                if constexpr (sizeof(T) == 2) {
                    const int32_t v = roundF(out);
                    storeT<uint16_t>(d, uint16_t(v < 0 ? 0 : v > 65535 ? 65535 : v));
                } else {
                    storeT<float>(d, out);
                }
            }
        }
    }
}

template <typename T, int L>
void warpRowCubic(const void* src, void* dst, int32_t srcStep, int32_t dstStep, int32_t firstRow, int32_t lastRow,
                  const RowSpan* spans, const WarpCoefficients* a, int32_t xMax, int32_t yMax, float* work)
{
    if (lastRow < firstRow)
        return;
    double xRow = a->c01 * firstRow + a->c02, yRow = a->c11 * firstRow + a->c12;
    for (int32_t i = 0; i <= lastRow - firstRow; ++i) {
        const int32_t first = spans[i].first, n = spans[i].last - first + 1;
        double x = a->c00 * first + xRow, y = a->c10 * first + yRow;
        for (int32_t j = 0; j < n; ++j) {
            work[j] = float(x);
            work[n + j] = float(y);
            x = x + a->c00;
            y = y + a->c10;
        }
        sampleCubicPoints<T, L>(src, srcStep, dst, dstStep, i, first, work, work + (n > 0 ? n : 0), n, -1, -1,
                                xMax + 1, yMax + 1, xMax, yMax);
        xRow = xRow + a->c01;
        yRow = yRow + a->c11;
    }
}

// Outside the given rectangle (ordered comparisons: a NaN passes).
inline bool outsideRect(float x, float y, float l, float t, float r, float b) { return x < l || y < t || x > r || y > b; }

template <typename T, int L>
inline void copyPixelTo(const void* src, int32_t srcStep, void* dst, int32_t i, int32_t ix, int32_t iy)
{
    for (int c = 0; c < Shape<L>::channels; ++c)
        std::memcpy(dstAt<T, L>(dst, 0, 0, i, c), srcAt<T, L>(src, srcStep, ix, iy, c), sizeof(T));
}

// Plain nearest: positions rounded to nearest, ties to even. A position
// rounding below column or row 0 (NaN included, which converts to the most
// negative integer) is skipped instead of read from before the source.
template <typename T, int L>
void remapRowNearest(const void* src, int32_t srcStep, void* dst, const float* xs, const float* ys, int32_t n)
{
    for (int32_t i = 0; i < n; ++i) {
        const int32_t ix = roundF(xs[i]), iy = roundF(ys[i]);
        if (ix < 0 || iy < 0)
            continue;
        copyPixelTo<T, L>(src, srcStep, dst, i, ix, iy);
    }
}

// Bounded nearest: the rectangle test on the unrounded position; a NaN
// position, which the test lets through, is skipped after rounding.
template <typename T, int L>
void remapRowNearestBounded(const void* src, int32_t srcStep, void* dst, const float* xs, const float* ys, int32_t n,
                            int32_t xMin, int32_t yMin, int32_t xMax, int32_t yMax)
{
    const float l = float(xMin), t = float(yMin), r = float(xMax), b = float(yMax);
    for (int32_t i = 0; i < n; ++i) {
        const float x = xs[i], y = ys[i];
        if (outsideRect(x, y, l, t, r, b))
            continue;
        const int32_t ix = roundF(x), iy = roundF(y);
        if (ix < xMin || iy < yMin || ix > xMax || iy > yMax)
            continue;
        copyPixelTo<T, L>(src, srcStep, dst, i, ix, iy);
    }
}

// One bilinear pixel of the 2 x 2 cell at (ix, iy). `capped` limits the 8u
// weights to 16384; `columnsFirst` evaluates the one-channel weight form
// with the columns first.
template <typename T, int L>
inline void remapLinearPixel(const void* src, int32_t srcStep, void* dst, int32_t i, float x, float y, int32_t ix,
                             int32_t iy, bool capped, bool columnsFirst)
{
    const float fx = x - float(ix), fy = y - float(iy);
    // A cell starting at -1 (a source one column or row wide) reads its
    // zero-weight first neighbour from column or row 0 instead.
    const int32_t c0 = ix < 0 ? 0 : ix, r0 = iy < 0 ? 0 : iy;
    if constexpr (sizeof(T) == 1) {
        float px = fx * 16384.0f, py = fy * 16384.0f;
        if (capped) {
            px = px < 16384.0f ? px : 16384.0f;
            py = py < 16384.0f ? py : 16384.0f;
        }
        const int32_t wx = roundF(px), wy = roundF(py);
        const auto sat16 = [](int32_t v) { return v < -32768 ? -32768 : v > 32767 ? 32767 : v; };
        for (int c = 0; c < Shape<L>::channels; ++c) {
            const int32_t p00 = loadT<uint8_t>(srcAt<T, L>(src, srcStep, c0, r0, c));
            const int32_t p10 = loadT<uint8_t>(srcAt<T, L>(src, srcStep, ix + 1, r0, c));
            const int32_t p01 = loadT<uint8_t>(srcAt<T, L>(src, srcStep, c0, iy + 1, c));
            const int32_t p11 = loadT<uint8_t>(srcAt<T, L>(src, srcStep, ix + 1, iy + 1, c));
            const int32_t top = sat16((p00 * (16384 - wx) + p10 * wx) >> 8);
            const int32_t bottom = sat16((p01 * (16384 - wx) + p11 * wx) >> 8);
            int32_t r = (top * (16384 - wy) + bottom * wy + 33) >> 20;
            if constexpr (L == 4)
                r = r < 0 ? 0 : r > 255 ? 255 : r;
            storeT<uint8_t>(dstAt<T, L>(dst, 0, 0, i, c), uint8_t(r));
        }
    } else {
        const float gx = 1.0f - fx, gy = 1.0f - fy;
        for (int c = 0; c < Shape<L>::channels; ++c) {
            const float p00 = float(loadT<T>(srcAt<T, L>(src, srcStep, c0, r0, c)));
            const float p10 = float(loadT<T>(srcAt<T, L>(src, srcStep, ix + 1, r0, c)));
            const float p01 = float(loadT<T>(srcAt<T, L>(src, srcStep, c0, iy + 1, c)));
            const float p11 = float(loadT<T>(srcAt<T, L>(src, srcStep, ix + 1, iy + 1, c)));
            float r;
            if constexpr (L == 0) {
                if (columnsFirst) {
                    const float left = p00 * gy + p01 * fy;
                    const float right = p10 * gy + p11 * fy;
                    r = left * gx + right * fx;
                } else {
                    const float top = p00 * gx + p10 * fx;
                    const float bottom = p01 * gx + p11 * fx;
                    r = top * gy + bottom * fy;
                }
            } else {
                const float top = (p10 - p00) * fx + p00;
                const float bottom = (p11 - p01) * fx + p01;
                r = (bottom - top) * fy + top;
            }
            uint8_t* d = dstAt<T, L>(dst, 0, 0, i, c);
            if constexpr (sizeof(T) == 2)
                storeT<uint16_t>(d, uint16_t(roundF(r)));
            else
                storeT<float>(d, r);
        }
    }
}

// Plain linear: a position whose cell would leave columns 0..xLast or rows
// 0..yLast (negative, at or beyond the last index plus one, NaN) is skipped.
template <typename T, int L>
void remapRowLinear(const void* src, int32_t srcStep, void* dst, const float* xs, const float* ys, int32_t n,
                    int32_t xLast, int32_t yLast)
{
    for (int32_t i = 0; i < n; ++i) {
        const float x = xs[i], y = ys[i];
        if (!(x >= 0.0f && y >= 0.0f && x < float(xLast) + 1.0f && y < float(yLast) + 1.0f))
            continue;
        int32_t ix = truncF(x), iy = truncF(y);
        if (ix == xLast)
            ix = ix - 1;
        if (iy == yLast)
            iy = iy - 1;
        remapLinearPixel<T, L>(src, srcStep, dst, i, x, y, ix, iy, true, i == n - 1);
    }
}

// Bounded linear: the rectangle test on the unrounded position; xMax and
// yMax are the last column and row. Positions below 0 or NaN are skipped.
template <typename T, int L>
void remapRowLinearBounded(const void* src, int32_t srcStep, void* dst, const float* xs, const float* ys, int32_t n,
                           int32_t xMin, int32_t yMin, int32_t xMax, int32_t yMax)
{
    const float l = float(xMin), t = float(yMin), r = float(xMax), b = float(yMax);
    for (int32_t i = 0; i < n; ++i) {
        const float x = xs[i], y = ys[i];
        if (outsideRect(x, y, l, t, r, b) || !(x >= 0.0f && y >= 0.0f))
            continue;
        int32_t ix = truncF(x), iy = truncF(y);
        if (ix == xMax)
            ix = ix - 1;
        if (iy == yMax)
            iy = iy - 1;
        remapLinearPixel<T, L>(src, srcStep, dst, i, x, y, ix, iy, false, false);
    }
}

#define VQ_MODEL_ROW(T, L) warpRowNearest<T, L>, warpRowLinear<T, L>, warpRowCubic<T, L>
#define VQ_MODEL_TYPE(T) VQ_MODEL_ROW(T, 0), VQ_MODEL_ROW(T, 1), VQ_MODEL_ROW(T, 2), VQ_MODEL_ROW(T, 3), \
                         VQ_MODEL_ROW(T, 4), VQ_MODEL_ROW(T, 5)
inline const WarpRowKernel warpRowKernelTable[kWarpRowKernelCount] = {
    VQ_MODEL_TYPE(uint8_t), VQ_MODEL_TYPE(float), VQ_MODEL_TYPE(uint16_t)};
#undef VQ_MODEL_ROW
#undef VQ_MODEL_TYPE

#define VQ_MODEL_TYPE(fn, T) fn<T, 0>, fn<T, 1>, fn<T, 2>, fn<T, 3>, fn<T, 4>, fn<T, 5>
#define VQ_MODEL_ALL(fn) {VQ_MODEL_TYPE(fn, uint8_t), VQ_MODEL_TYPE(fn, float), VQ_MODEL_TYPE(fn, uint16_t)}
inline const RemapNearestFn remapNearest[18] = VQ_MODEL_ALL(remapRowNearest);
inline const RemapBoundedFn remapNearestBounded[18] = VQ_MODEL_ALL(remapRowNearestBounded);
inline const RemapLinearFn remapLinear[18] = VQ_MODEL_ALL(remapRowLinear);
inline const RemapBoundedFn remapLinearBounded[18] = VQ_MODEL_ALL(remapRowLinearBounded);
#undef VQ_MODEL_TYPE
#undef VQ_MODEL_ALL

} // namespace rotatetest::model
