// Coordinate-map row kernels, single-pixel cubic evaluators and the
// perspective row generator of one SIMD path. Included after
// warp_kernels.inl in the path's translation unit: it uses that file's
// pixel addressing, conversions and weight table.
#include "primitives/rotate/kernels/remap.h"

#ifdef VQ_WARP_GENERIC
#error "the coordinate-map kernels exist on the SIMD paths only"
#endif

namespace prim::VQ_PATH_NS {
namespace {

// Outside the given rectangle (ordered comparisons: a NaN passes).
inline bool outsideRect(float x, float y, float l, float t, float r, float b) { return x < l || y < t || x > r || y > b; }

// The position pair (xs[i], ys[i]) in lanes 0 and 1.
inline __m128 positionAt(const float* xs, const float* ys, int32_t i)
{
    return _mm_unpacklo_ps(_mm_load_ss(xs + i), _mm_load_ss(ys + i));
}

// Plain nearest: positions rounded to nearest, ties to even. A position
// rounding below column or row 0 (NaN included, which converts to the most
// negative integer) is skipped instead of read from before the source.
template <typename T, int L>
void remapRowNearest(const void* src, int32_t srcStep, void* dst, const float* xs, const float* ys, int32_t n)
{
    const SrcPixels<T, L> s(src, srcStep);
    const DstPixels<T, L> d(dst, 0, 0);
    for (int32_t i = 0; i < n; ++i) {
        const __m128i q = _mm_cvtps_epi32(positionAt(xs, ys, i));
        const int32_t ix = _mm_cvtsi128_si32(q), iy = lane1(q);
        if (ix < 0 || iy < 0)
            continue;
        copyPixel<T, L>(s.plane, s.at(ix, iy), d.plane, d.at(i));
    }
}

// Bounded nearest: the rectangle test on the unrounded position; a NaN
// position, which the test lets through, is skipped after rounding.
template <typename T, int L>
void remapRowNearestBounded(const void* src, int32_t srcStep, void* dst, const float* xs, const float* ys, int32_t n,
                            int32_t xMin, int32_t yMin, int32_t xMax, int32_t yMax)
{
    const SrcPixels<T, L> s(src, srcStep);
    const DstPixels<T, L> d(dst, 0, 0);
    const float l = float(xMin), t = float(yMin), r = float(xMax), b = float(yMax);
    for (int32_t i = 0; i < n; ++i) {
        if (outsideRect(xs[i], ys[i], l, t, r, b))
            continue;
        const __m128i q = _mm_cvtps_epi32(positionAt(xs, ys, i));
        const int32_t ix = _mm_cvtsi128_si32(q), iy = lane1(q);
        if (ix < xMin || iy < yMin || ix > xMax || iy > yMax)
            continue;
        copyPixel<T, L>(s.plane, s.at(ix, iy), d.plane, d.at(i));
    }
}

// One bilinear pixel of the cell whose integer parts (ix, iy) are in lanes
// 0 and 1 of q. `capped` limits the 8u weights to 16384; `columnsFirst`
// evaluates the one-channel weight form with the columns first.
template <typename T, int L>
inline void remapLinearPixel(const SrcPixels<T, L>& s, const DstPixels<T, L>& d, int32_t i, __m128 pos, __m128i q,
                             bool capped, bool columnsFirst)
{
    const __m128 f = _mm_sub_ps(pos, _mm_cvtepi32_ps(q));
    const int32_t ix = _mm_cvtsi128_si32(q), iy = lane1(q);
    // A cell starting at -1 (a source one column or row wide) reads its
    // zero-weight first neighbour from column or row 0 instead.
    const int32_t c0 = ix < 0 ? 0 : ix, r0 = iy < 0 ? 0 : iy;
    __m128i w = _mm_setzero_si128();
    if constexpr (sizeof(T) == 1) {
        __m128 px = _mm_mul_ps(f, _mm_set1_ps(16384.0f));
        if (capped)
            px = _mm_min_ps(px, _mm_set1_ps(16384.0f));
        w = _mm_cvtps_epi32(px);
    }
    const BilinearForm form = L != 0 ? BilinearForm::difference
                              : columnsFirst ? BilinearForm::columnsFirst
                                             : BilinearForm::rowsFirst;
    bilinearPixel<T, L>(s, c0, ix + 1, r0, iy + 1, d.plane, d.at(i), w, 33, f, form);
}

// Integer parts of a position, one on the last index moved back by one.
inline __m128i cellOf(__m128 pos, __m128i last)
{
    const __m128i q = _mm_cvttps_epi32(pos);
    return _mm_add_epi32(q, _mm_cmpeq_epi32(q, last));
}

// Plain linear: a position whose cell would leave columns 0..xLast or rows
// 0..yLast (negative, at or beyond the last index plus one, NaN) is skipped.
template <typename T, int L>
void remapRowLinear(const void* src, int32_t srcStep, void* dst, const float* xs, const float* ys, int32_t n,
                    int32_t xLast, int32_t yLast)
{
    const SrcPixels<T, L> s(src, srcStep);
    const DstPixels<T, L> d(dst, 0, 0);
    const __m128i last = _mm_setr_epi32(xLast, yLast, 1, 1);
    for (int32_t i = 0; i < n; ++i) {
        const float x = xs[i], y = ys[i];
        if (!(x >= 0.0f && y >= 0.0f && x < float(xLast) + 1.0f && y < float(yLast) + 1.0f))
            continue;
        const __m128 pos = positionAt(xs, ys, i);
        remapLinearPixel<T, L>(s, d, i, pos, cellOf(pos, last), true, i == n - 1);
    }
}

// Bounded linear: the rectangle test on the unrounded position; xMax and
// yMax are the last column and row. Positions below 0 or NaN are skipped.
template <typename T, int L>
void remapRowLinearBounded(const void* src, int32_t srcStep, void* dst, const float* xs, const float* ys, int32_t n,
                           int32_t xMin, int32_t yMin, int32_t xMax, int32_t yMax)
{
    const SrcPixels<T, L> s(src, srcStep);
    const DstPixels<T, L> d(dst, 0, 0);
    const __m128i last = _mm_setr_epi32(xMax, yMax, 1, 1);
    const float l = float(xMin), t = float(yMin), r = float(xMax), b = float(yMax);
    for (int32_t i = 0; i < n; ++i) {
        const float x = xs[i], y = ys[i];
        if (outsideRect(x, y, l, t, r, b) || !(x >= 0.0f && y >= 0.0f))
            continue;
        const __m128 pos = positionAt(xs, ys, i);
        remapLinearPixel<T, L>(s, d, i, pos, cellOf(pos, last), false, false);
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
