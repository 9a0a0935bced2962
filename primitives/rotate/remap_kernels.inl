// Coordinate-map row kernels, single-pixel cubic evaluators and the
// perspective row generator of one SIMD path. Included after
// warp_kernels.inl in the path's translation unit: it uses that file's
// pixel addressing, conversions and weight table.
#include "primitives/rotate/remap.h"

#ifdef VQ_WARP_GENERIC
#error "the coordinate-map kernels exist on the SIMD paths only"
#endif

namespace prim::VQ_PATH_NS {
namespace {

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

// 8u cubic weights of a position within 0..3 (table index clamped).
inline void tableWeights(double v, int32_t w[4])
{
    const CubicWeightPair* tab = lagrangeCubicWeightTable.w;
    const int32_t j = clampIndex(roundD(v * 512.0));
    w[0] = tab[j].first;
    w[1] = tab[j].second;
    w[2] = tab[1536 - j].second;
    w[3] = tab[1536 - j].first;
}

inline uint8_t cubicTable8u(const uint8_t* base, int32_t rowStep, std::ptrdiff_t tap, const int32_t wx[4],
                            const int32_t wy[4])
{
    int32_t s[4];
    for (int r = 0; r < 4; ++r) {
        const uint8_t* p = base + std::ptrdiff_t(r) * rowStep;
        s[r] = ((p[0] * wx[0] + p[tap] * wx[1]) + (p[2 * tap] * wx[2] + p[3 * tap] * wx[3])) >> 8;
    }
    const int32_t total = (s[0] * wy[0] + s[1] * wy[1]) + (s[2] * wy[2] + s[3] * wy[3]);
    const int32_t v = (total + 524288) >> 20;
    return uint8_t(v < 0 ? 0 : v > 255 ? 255 : v);
}

void cubicSamplePixel8u(const uint8_t* window, int32_t rowStep, int32_t pixelStep, uint8_t* dst, int32_t channels,
                        double x, double y)
{
    if (channels <= 0)
        return;
    int32_t wx[4], wy[4];
    tableWeights(x, wx);
    tableWeights(y, wy);
    for (int32_t c = 0; c < channels; ++c)
        dst[c] = cubicTable8u(window + c, rowStep, pixelStep, wx, wy);
}

void cubicSamplePixel8uPlanar(const uint8_t* const* planes, int32_t rowStep, int32_t windowOffset,
                              uint8_t* const* dstPlanes, int32_t dstOffset, int32_t planeCount, double x, double y)
{
    if (planeCount <= 0)
        return;
    int32_t wx[4], wy[4];
    tableWeights(x, wx);
    tableWeights(y, wy);
    for (int32_t p = planeCount - 1; p >= 0; --p)
        dstPlanes[p][dstOffset] = cubicTable8u(planes[p] + windowOffset, rowStep, 1, wx, wy);
}

inline void polyWeights(float t, float w[4])
{
    const float t2 = t * t, t3 = t * t2;
    for (int k = 0; k < 4; ++k)
        w[k] = (t3 * kC3[k] + t2 * kC2[k]) + (t * kC1[k] + kC0[k]);
}

inline float cubicPoly32f(const float* base, int32_t rowStep, int32_t tap, const float wx[4], const float wy[4])
{
    float b[4];
    for (int r = 0; r < 4; ++r) {
        const float* q = reinterpret_cast<const float*>(reinterpret_cast<const uint8_t*>(base) +
                                                        std::ptrdiff_t(r) * rowStep);
        const float a = (q[0] * wx[0] + q[tap] * wx[1]) + (q[2 * tap] * wx[2] + q[3 * tap] * wx[3]);
        b[r] = a * wy[r];
    }
    return (b[0] + b[2]) + (b[1] + b[3]);
}

void cubicSamplePixel32f(const float* window, int32_t rowStep, int32_t pixelStep, float* dst, int32_t channels,
                         float x, float y)
{
    if (channels <= 0)
        return;
    float wx[4], wy[4];
    polyWeights(x, wx);
    polyWeights(y, wy);
    for (int32_t c = 0; c < channels; ++c)
        dst[c] = cubicPoly32f(window + c, rowStep, pixelStep, wx, wy);
}

void cubicSamplePixel32fPlanar(const float* const* planes, int32_t rowStep, int32_t windowOffset,
                               float* const* dstPlanes, int32_t dstIndex, int32_t planeCount, float x, float y)
{
    if (planeCount <= 0)
        return;
    float wx[4], wy[4];
    polyWeights(x, wx);
    polyWeights(y, wy);
    for (int32_t p = planeCount - 1; p >= 0; --p) {
        const float* w = reinterpret_cast<const float*>(reinterpret_cast<const uint8_t*>(planes[p]) + windowOffset);
        dstPlanes[p][dstIndex] = cubicPoly32f(w, rowStep, 1, wx, wy);
    }
}

// Two pixels share one division: 1 / (D0 D1) times the other denominator.
// Numerators and denominators advance by repeated addition.
void warpPerspectiveCoordRow(float* out, int32_t n, double d0, double dd, double x0, double dx, double y0, double dy)
{
    if (n <= 0)
        return;
    double da = d0, db = d0 + dd, xa = x0, xb = x0 + dx, ya = y0, yb = y0 + dy;
    const double d2 = dd + dd, x2 = dx + dx, y2 = dy + dy;
    int32_t i = 0;
    for (; i + 1 < n; i += 2) {
        const double r = 1.0 / (da * db);
        const double ra = r * db, rb = r * da;
        out[i] = float(xa * ra);
        out[i + 1] = float(xb * rb);
        out[n + i] = float(ya * ra);
        out[n + i + 1] = float(yb * rb);
        da = da + d2, db = db + d2, xa = xa + x2, xb = xb + x2, ya = ya + y2, yb = yb + y2;
    }
    if (i < n) {
        const double r = 1.0 / da;
        out[i] = float(xa * r);
        out[n + i] = float(ya * r);
    }
}

#define VQ_REMAP_TYPE(fn, T) fn<T, 0>, fn<T, 1>, fn<T, 2>, fn<T, 3>, fn<T, 4>, fn<T, 5>
#define VQ_REMAP_ALL(fn) {VQ_REMAP_TYPE(fn, uint8_t), VQ_REMAP_TYPE(fn, float), VQ_REMAP_TYPE(fn, uint16_t)}

} // namespace

const RemapKernels remapKernels = {
    VQ_REMAP_ALL(remapRowNearest),
    VQ_REMAP_ALL(remapRowNearestBounded),
    VQ_REMAP_ALL(remapRowLinear),
    VQ_REMAP_ALL(remapRowLinearBounded),
    cubicSamplePixel8u,
    cubicSamplePixel8uPlanar,
    cubicSamplePixel32f,
    cubicSamplePixel32fPlanar,
    warpPerspectiveCoordRow,
};

#undef VQ_REMAP_TYPE
#undef VQ_REMAP_ALL

} // namespace prim::VQ_PATH_NS
