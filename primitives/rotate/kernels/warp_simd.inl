// Vector row kernels of the SIMD paths, and the pixel access that the
// coordinate-map kernels share with them. Included by warp_kernels.inl inside
// the anonymous namespace of prim::VQ_PATH_NS, after simd_path.h, so every
// path compiles its own instantiation with its own instruction set.
//
// Coordinates travel as one two-lane double vector (x, y) and advance by
// repeated addition; 8u pixels travel as four channel bytes widened to
// 16-bit lanes and weighted by pairwise multiply-add; 16u and 32f pixels
// travel as one four-lane single-precision vector, one lane per channel
// (per plane for planar layouts). Each operation is the one the scalar
// rules name, in the same order, so every path gives the same bytes.

// Pixel (0, 0) of the source image (each plane's for planar layouts) and
// the row step.
template <typename T, int L> struct SrcPixels {
    const uint8_t* plane[4] = {};
    int32_t step;

    SrcPixels(const void* src, int32_t rowStep) : step(rowStep)
    {
        if constexpr (Shape<L>::planar) {
            for (int c = 0; c < Shape<L>::channels; ++c)
                plane[c] = static_cast<const uint8_t* const*>(src)[c];
        } else {
            plane[0] = static_cast<const uint8_t*>(src);
        }
    }
    // Byte offset of pixel (x, y) in the image, or in every plane.
    std::ptrdiff_t at(int32_t x, int32_t y) const
    {
        return std::ptrdiff_t(y) * step + std::ptrdiff_t(x) * (Shape<L>::elems * std::ptrdiff_t(sizeof(T)));
    }
};

// Column 0 of one destination row (of every plane for planar layouts).
template <typename T, int L> struct DstPixels {
    uint8_t* plane[4] = {};

    // Row `row` of a band whose first row is at `dst`.
    DstPixels(void* dst, int32_t step, int32_t row)
    {
        const std::ptrdiff_t o = std::ptrdiff_t(row) * step;
        if constexpr (Shape<L>::planar) {
            for (int c = 0; c < Shape<L>::channels; ++c)
                plane[c] = static_cast<uint8_t* const*>(dst)[c] + o;
        } else {
            plane[0] = static_cast<uint8_t*>(dst) + o;
        }
    }
    static std::ptrdiff_t at(int32_t j) { return std::ptrdiff_t(j) * (Shape<L>::elems * std::ptrdiff_t(sizeof(T))); }
};

inline uint32_t load2(const uint8_t* p)
{
    uint16_t v;
    __builtin_memcpy(&v, p, 2);
    return v;
}
inline void store2(uint8_t* p, uint32_t v)
{
    const uint16_t s = uint16_t(v);
    __builtin_memcpy(p, &s, 2);
}

// ---------------------------------------------------------------------------
// Pixel transfer.

// Copies the computed channels of one pixel (AC4 leaves the fourth alone).
template <typename T, int L>
inline void copyPixel(const uint8_t* const* src, std::ptrdiff_t so, uint8_t* const* dst, std::ptrdiff_t dO)
{
    if constexpr (Shape<L>::planar) {
        for (int c = 0; c < Shape<L>::channels; ++c)
            __builtin_memcpy(dst[c] + dO, src[c] + so, sizeof(T));
    } else {
        __builtin_memcpy(dst[0] + dO, src[0] + so, Shape<L>::channels * sizeof(T));
    }
}

// An 8u pixel as four channel bytes (channel c in byte c; bytes past the
// layout's channels are 0, AC4 brings its fourth byte along).
template <int L> inline uint32_t loadPixel8(const uint8_t* const* p, std::ptrdiff_t o)
{
    if constexpr (L == 0)
        return p[0][o];
    else if constexpr (L == 1)
        return load2(p[0] + o) | uint32_t(p[0][o + 2]) << 16;
    else if constexpr (L == 2 || L == 4)
        return load4(p[0] + o);
    else if constexpr (L == 3)
        return uint32_t(p[0][o]) | uint32_t(p[1][o]) << 8 | uint32_t(p[2][o]) << 16;
    else
        return uint32_t(p[0][o]) | uint32_t(p[1][o]) << 8 | uint32_t(p[2][o]) << 16 | uint32_t(p[3][o]) << 24;
}

template <int L> inline void storePixel8(uint8_t* const* p, std::ptrdiff_t o, uint32_t v)
{
    if constexpr (L == 0) {
        p[0][o] = uint8_t(v);
    } else if constexpr (L == 1 || L == 2) {
        store2(p[0] + o, v);
        p[0][o + 2] = uint8_t(v >> 16);
    } else if constexpr (L == 4) {
        store4(p[0] + o, v);
    } else {
        for (int c = 0; c < Shape<L>::channels; ++c)
            p[c][o] = uint8_t(v >> (8 * c));
    }
}

// A 16u or 32f pixel as four single-precision lanes, one per channel
// (unused lanes 0; AC4 reads three elements).
template <typename T, int L> inline __m128 loadPixelF(const uint8_t* const* p, std::ptrdiff_t o)
{
    if constexpr (sizeof(T) == 4) {
        if constexpr (Shape<L>::planar) {
            const __m128i a = _mm_unpacklo_epi32(_mm_cvtsi32_si128(int(load4(p[0] + o))),
                                                 _mm_cvtsi32_si128(int(load4(p[1] + o))));
            const __m128i b = _mm_unpacklo_epi32(_mm_cvtsi32_si128(int(load4(p[2] + o))),
                                                 Shape<L>::channels == 4 ? _mm_cvtsi32_si128(int(load4(p[3] + o)))
                                                                         : _mm_setzero_si128());
            return _mm_castsi128_ps(_mm_unpacklo_epi64(a, b));
        } else if constexpr (L == 0) {
            return _mm_castsi128_ps(_mm_cvtsi32_si128(int(load4(p[0] + o))));
        } else if constexpr (L == 4) {
            return _mm_castsi128_ps(load16(p[0] + o));
        } else {
            return _mm_castsi128_ps(
                _mm_unpacklo_epi64(load8(p[0] + o), _mm_cvtsi32_si128(int(load4(p[0] + o + 8)))));
        }
    } else {
        __m128i v;
        if constexpr (Shape<L>::planar) {
            v = _mm_cvtsi32_si128(int(load2(p[0] + o) | load2(p[1] + o) << 16));
            v = _mm_insert_epi16(v, int(load2(p[2] + o)), 2);
            if constexpr (Shape<L>::channels == 4)
                v = _mm_insert_epi16(v, int(load2(p[3] + o)), 3);
        } else if constexpr (L == 0) {
            v = _mm_cvtsi32_si128(int(load2(p[0] + o)));
        } else if constexpr (L == 4) {
            v = load8(p[0] + o);
        } else {
            v = _mm_insert_epi16(_mm_cvtsi32_si128(int(load4(p[0] + o))), int(load2(p[0] + o + 4)), 2);
        }
        return _mm_cvtepi32_ps(_mm_unpacklo_epi16(v, _mm_setzero_si128()));
    }
}

inline float lane(__m128 v, int k)
{
    switch (k) {
    case 0: return _mm_cvtss_f32(v);
    case 1: return _mm_cvtss_f32(_mm_shuffle_ps(v, v, 0x55));
    case 2: return _mm_cvtss_f32(_mm_shuffle_ps(v, v, 0xAA));
    default: return _mm_cvtss_f32(_mm_shuffle_ps(v, v, 0xFF));
    }
}

// Stores the computed channels of a 32f pixel.
template <int L> inline void storePixel32f(uint8_t* const* p, std::ptrdiff_t o, __m128 r)
{
    const __m128i bits = _mm_castps_si128(r);
    if constexpr (Shape<L>::planar) {
        for (int c = 0; c < Shape<L>::channels; ++c) {
            const float f = lane(r, c);
            __builtin_memcpy(p[c] + o, &f, 4);
        }
    } else if constexpr (L == 0) {
        store4(p[0] + o, uint32_t(_mm_cvtsi128_si32(bits)));
    } else if constexpr (L == 4) {
        store16(p[0] + o, bits);
    } else {
        store8(p[0] + o, bits);
        store4(p[0] + o + 8, uint32_t(_mm_cvtsi128_si32(_mm_srli_si128(bits, 8))));
    }
}

// Stores the low 16 bits of the 32-bit lanes of v as a 16u pixel.
template <int L> inline void storePixel16u(uint8_t* const* p, std::ptrdiff_t o, __m128i v)
{
    // Sign-extending the low halves first makes the saturating pack exact.
    const __m128i h = _mm_packs_epi32(_mm_srai_epi32(_mm_slli_epi32(v, 16), 16), _mm_setzero_si128());
    if constexpr (Shape<L>::planar) {
        store2(p[0] + o, uint32_t(_mm_extract_epi16(h, 0)));
        store2(p[1] + o, uint32_t(_mm_extract_epi16(h, 1)));
        store2(p[2] + o, uint32_t(_mm_extract_epi16(h, 2)));
        if constexpr (Shape<L>::channels == 4)
            store2(p[3] + o, uint32_t(_mm_extract_epi16(h, 3)));
    } else if constexpr (L == 0) {
        store2(p[0] + o, uint32_t(_mm_cvtsi128_si32(h)));
    } else if constexpr (L == 4) {
        store8(p[0] + o, h);
    } else {
        store4(p[0] + o, uint32_t(_mm_cvtsi128_si32(h)));
        store2(p[0] + o + 4, uint32_t(_mm_extract_epi16(h, 2)));
    }
}

// 32-bit lanes limited to 0..65535.
inline __m128i clamp16u(__m128i v)
{
#if VQ_PATH_LEVEL >= 4
    return _mm_unpacklo_epi16(_mm_packus_epi32(v, v), _mm_setzero_si128());
#else
    v = _mm_andnot_si128(_mm_cmplt_epi32(v, _mm_setzero_si128()), v);
    const __m128i top = _mm_set1_epi32(65535), big = _mm_cmpgt_epi32(v, top);
    return _mm_or_si128(_mm_andnot_si128(big, v), _mm_and_si128(big, top));
#endif
}

// ---------------------------------------------------------------------------
// Bilinear pixel.

// The 16-bit weight pairs (16384 - w, w) of the 14-bit weights (wx, wy) in
// lanes 0 and 1, each narrowed with saturation and repeated in every lane.
inline void weightPairs(__m128i w, __m128i& xPair, __m128i& yPair)
{
    const __m128i t = _mm_unpacklo_epi32(_mm_sub_epi32(_mm_set1_epi32(16384), w), w);
    const __m128i p = _mm_packs_epi32(t, t);
    xPair = _mm_shuffle_epi32(p, 0x00);
    yPair = _mm_shuffle_epi32(p, 0x55);
}

// 8u: two pixels of one row, their channels widened to (left, right) pairs.
inline __m128i pairRow8(uint32_t left, uint32_t right)
{
    return _mm_unpacklo_epi8(_mm_unpacklo_epi8(_mm_cvtsi32_si128(int(left)), _mm_cvtsi32_si128(int(right))),
                             _mm_setzero_si128());
}

// 8u interleaved: pixels x and x + 1 of one row, read together, as
// (left, right) pairs per channel (lanes past the layout's channels carry
// bytes that nothing stores).
template <int L> inline __m128i adjacentPairs8(const uint8_t* p)
{
    __m128i raw;
    if constexpr (L == 0)
        raw = _mm_cvtsi32_si128(int(load2(p)));
    else if constexpr (L == 1)
        raw = _mm_insert_epi16(_mm_cvtsi32_si128(int(load4(p))), int(load2(p + 4)), 2);
    else
        raw = load8(p);
    return _mm_unpacklo_epi8(_mm_unpacklo_epi8(raw, _mm_srli_si128(raw, Shape<L>::elems)), _mm_setzero_si128());
}

// 8u bilinear pixel in 14-bit fixed point from the (left, right) channel
// pairs of the top and bottom rows: each row pass floored by 8 bits and
// narrowed with saturation, the column pass rounded with `bias` and floored
// by 20 bits. C4 saturates to 0..255, the other layouts keep the low 8 bits.
template <int L>
inline uint32_t bilinear8(__m128i topPairs, __m128i bottomPairs, __m128i xPair, __m128i yPair, int32_t bias)
{
    const __m128i top = _mm_srai_epi32(_mm_madd_epi16(topPairs, xPair), 8);
    const __m128i bottom = _mm_srai_epi32(_mm_madd_epi16(bottomPairs, xPair), 8);
    const __m128i tb = _mm_packs_epi32(top, bottom);
    const __m128i v = _mm_unpacklo_epi16(tb, _mm_srli_si128(tb, 8));
    __m128i r = _mm_srai_epi32(_mm_add_epi32(_mm_madd_epi16(v, yPair), _mm_set1_epi32(bias)), 20);
    if constexpr (L != 4)
        r = _mm_and_si128(r, _mm_set1_epi32(0xFF));
    r = _mm_packs_epi32(r, r);
    return uint32_t(_mm_cvtsi128_si32(_mm_packus_epi16(r, r)));
}

// Order of the single-precision bilinear forms: channel differences along
// the row, or weighted sums with the rows first or with the columns first.
enum class BilinearForm { difference, rowsFirst, columnsFirst };

// Single-precision bilinear value of four channel vectors at the fraction
// (fx, fy) held in lanes 0 and 1 of f.
inline __m128 bilinearF(__m128 p00, __m128 p10, __m128 p01, __m128 p11, __m128 f, BilinearForm form)
{
    const __m128 fx = _mm_shuffle_ps(f, f, 0x00), fy = _mm_shuffle_ps(f, f, 0x55);
    if (form == BilinearForm::difference) {
        const __m128 top = _mm_add_ps(_mm_mul_ps(_mm_sub_ps(p10, p00), fx), p00);
        const __m128 bottom = _mm_add_ps(_mm_mul_ps(_mm_sub_ps(p11, p01), fx), p01);
        return _mm_add_ps(_mm_mul_ps(_mm_sub_ps(bottom, top), fy), top);
    }
    const __m128 one = _mm_set1_ps(1.0f);
    const __m128 gx = _mm_sub_ps(one, fx), gy = _mm_sub_ps(one, fy);
    if (form == BilinearForm::rowsFirst) {
        const __m128 top = _mm_add_ps(_mm_mul_ps(p00, gx), _mm_mul_ps(p10, fx));
        const __m128 bottom = _mm_add_ps(_mm_mul_ps(p01, gx), _mm_mul_ps(p11, fx));
        return _mm_add_ps(_mm_mul_ps(top, gy), _mm_mul_ps(bottom, fy));
    }
    const __m128 left = _mm_add_ps(_mm_mul_ps(p00, gy), _mm_mul_ps(p01, fy));
    const __m128 right = _mm_add_ps(_mm_mul_ps(p10, gy), _mm_mul_ps(p11, fy));
    return _mm_add_ps(_mm_mul_ps(left, gx), _mm_mul_ps(right, fx));
}

// One bilinear destination pixel from the cell with columns x0, x1 and rows
// y0, y1 (`Adjacent`: x1 is x0 + 1). 8u takes the 14-bit weights (wx, wy)
// in lanes 0 and 1 of w and the final bias; 16u and 32f take the
// single-precision fractions in f. 16u stores the nearest integer (ties to
// even), low 16 bits.
template <typename T, int L, bool Adjacent = false>
inline void bilinearPixel(const SrcPixels<T, L>& s, int32_t x0, int32_t x1, int32_t y0, int32_t y1,
                          uint8_t* const* d, std::ptrdiff_t dO, __m128i w, int32_t bias, __m128 f,
                          BilinearForm form)
{
    const std::ptrdiff_t o00 = s.at(x0, y0), o10 = s.at(x1, y0), o01 = s.at(x0, y1), o11 = s.at(x1, y1);
    if constexpr (sizeof(T) == 1) {
        __m128i xPair, yPair;
        weightPairs(w, xPair, yPair);
        __m128i topPairs, bottomPairs;
        if constexpr (Adjacent && !Shape<L>::planar) {
            topPairs = adjacentPairs8<L>(s.plane[0] + o00);
            bottomPairs = adjacentPairs8<L>(s.plane[0] + o01);
        } else {
            topPairs = pairRow8(loadPixel8<L>(s.plane, o00), loadPixel8<L>(s.plane, o10));
            bottomPairs = pairRow8(loadPixel8<L>(s.plane, o01), loadPixel8<L>(s.plane, o11));
        }
        storePixel8<L>(d, dO, bilinear8<L>(topPairs, bottomPairs, xPair, yPair, bias));
    } else {
        const __m128 r = bilinearF(loadPixelF<T, L>(s.plane, o00), loadPixelF<T, L>(s.plane, o10),
                                   loadPixelF<T, L>(s.plane, o01), loadPixelF<T, L>(s.plane, o11), f, form);
        if constexpr (sizeof(T) == 2)
            storePixel16u<L>(d, dO, _mm_cvtps_epi32(r));
        else
            storePixel32f<L>(d, dO, r);
    }
}

// ---------------------------------------------------------------------------
// Cubic pixel from a 4 x 4 window.

// 8u: one window row of four pixels, pixel k in bytes 4k..4k+3.
template <int L> inline __m128i windowRow8(const uint8_t* const* p, std::ptrdiff_t o)
{
    const __m128i z = _mm_setzero_si128();
    if constexpr (L == 0) {
        const __m128i v = _mm_unpacklo_epi8(_mm_cvtsi32_si128(int(load4(p[0] + o))), z);
        return _mm_unpacklo_epi16(v, z);
    } else if constexpr (L == 1) {
        return expand3to4(p[0] + o);
    } else if constexpr (L == 2 || L == 4) {
        return load16(p[0] + o);
    } else {
        const __m128i c01 = _mm_unpacklo_epi8(_mm_cvtsi32_si128(int(load4(p[0] + o))),
                                              _mm_cvtsi32_si128(int(load4(p[1] + o))));
        const __m128i c23 = _mm_unpacklo_epi8(_mm_cvtsi32_si128(int(load4(p[2] + o))),
                                              L == 5 ? _mm_cvtsi32_si128(int(load4(p[3] + o))) : z);
        return _mm_unpacklo_epi16(c01, c23);
    }
}

// 8u: the row sums of every channel, floored by 8 bits. Window pixels 0, 1
// and 2, 3 are paired per channel so that one multiply-add takes two taps.
inline __m128i windowRowSum8(__m128i row, __m128i w01, __m128i w23)
{
    const __m128i z = _mm_setzero_si128();
    const __m128i a = _mm_unpacklo_epi8(_mm_unpacklo_epi8(row, _mm_srli_si128(row, 4)), z);
    const __m128i b = _mm_unpacklo_epi8(_mm_unpacklo_epi8(_mm_srli_si128(row, 8), _mm_srli_si128(row, 12)), z);
    return _mm_srai_epi32(_mm_add_epi32(_mm_madd_epi16(a, w01), _mm_madd_epi16(b, w23)), 8);
}

#if VQ_PATH_LEVEL >= 3
// 8u interleaved, byte shuffles: the window row's raw bytes (pixel k,
// channel c at byte elems k + c) straight into the 16-bit (pixel 0, pixel 1)
// or (pixel 2, pixel 3) pairs of every channel.
template <int L> inline __m128i windowPairMask(int firstPixel)
{
    constexpr int elems = Shape<L>::elems;
    alignas(16) int8_t m[16];
    for (int c = 0; c < 4; ++c)
        for (int k = 0; k < 2; ++k) {
            m[4 * c + 2 * k] = int8_t(c < elems ? elems * (firstPixel + k) + c : -128);
            m[4 * c + 2 * k + 1] = -128;
        }
    return _mm_load_si128(reinterpret_cast<const __m128i*>(m));
}

template <int L> inline __m128i windowRawRow8(const uint8_t* p)
{
    if constexpr (L == 0)
        return _mm_cvtsi32_si128(int(load4(p)));
    else if constexpr (L == 1)
        return _mm_unpacklo_epi64(load8(p), _mm_cvtsi32_si128(int(load4(p + 8))));
    else
        return load16(p);
}
#endif

// 8u: the floored row sums of every channel of window row `o` (masks from
// windowPairMask on the paths that shuffle bytes).
template <int L>
inline __m128i windowRowSums8(const uint8_t* const* p, std::ptrdiff_t o, __m128i w01, __m128i w23,
                              [[maybe_unused]] __m128i mask01, [[maybe_unused]] __m128i mask23)
{
#if VQ_PATH_LEVEL >= 3
    if constexpr (!Shape<L>::planar) {
        const __m128i row = windowRawRow8<L>(p[0] + o);
        return _mm_srai_epi32(_mm_add_epi32(_mm_madd_epi16(_mm_shuffle_epi8(row, mask01), w01),
                                            _mm_madd_epi16(_mm_shuffle_epi8(row, mask23), w23)),
                              8);
    }
#endif
    return windowRowSum8(windowRow8<L>(p, o), w01, w23);
}

// 8u: the four table weights of index r as (w0, w1) and (w2, w3) pairs
// repeated in every lane.
inline void tableWeightPairs(const CubicWeightPair* tab, int32_t r, __m128i& w01, __m128i& w23)
{
    const __m128i lo = _mm_cvtsi32_si128(int(load4(reinterpret_cast<const uint8_t*>(tab + r))));
    const __m128i hi = _mm_shufflelo_epi16(_mm_cvtsi32_si128(int(load4(reinterpret_cast<const uint8_t*>(tab + 1536 - r)))),
                                           _MM_SHUFFLE(3, 2, 0, 1));
    w01 = _mm_shuffle_epi32(lo, 0x00);
    w23 = _mm_shuffle_epi32(hi, 0x00);
}

// 16u and 32f: the four tap weights at u (every lane u) as one vector.
inline __m128 tapWeights(__m128 u)
{
    const __m128 u2 = _mm_mul_ps(u, u), u3 = _mm_mul_ps(u, u2);
    const __m128 c0 = _mm_loadu_ps(kC0), c1 = _mm_loadu_ps(kC1), c2 = _mm_loadu_ps(kC2), c3 = _mm_loadu_ps(kC3);
    return _mm_add_ps(_mm_add_ps(_mm_mul_ps(u3, c3), _mm_mul_ps(u2, c2)), _mm_add_ps(_mm_mul_ps(u, c1), c0));
}

inline __m128 broadcast(__m128 v, int k)
{
    switch (k) {
    case 0: return _mm_shuffle_ps(v, v, 0x00);
    case 1: return _mm_shuffle_ps(v, v, 0x55);
    case 2: return _mm_shuffle_ps(v, v, 0xAA);
    default: return _mm_shuffle_ps(v, v, 0xFF);
    }
}

// Evaluates the four-point Lagrange cubic at the positions (xs[k], ys[k]) of
// a span into consecutive destination pixels; positions outside the test
// rectangle leave their pixel alone.
template <typename T, int L>
void sampleCubicPoints(const SrcPixels<T, L>& s, const DstPixels<T, L>& d, int32_t firstCol, const float* xs,
                       const float* ys, int32_t count, int32_t left, int32_t top, int32_t right, int32_t bottom,
                       int32_t lastCol, int32_t lastRow)
{
    const float fl = float(left), ft = float(top), fr = float(right), fb = float(bottom);
#if VQ_PATH_LEVEL >= 3
    const __m128i mask01 = windowPairMask<L>(0), mask23 = windowPairMask<L>(2);
#else
    const __m128i mask01 = _mm_setzero_si128(), mask23 = mask01;
#endif
    for (int32_t k = 0; k < count; ++k) {
        const float x = xs[k], y = ys[k];
        if (x < fl || y < ft || x > fr || y > fb)
            continue;
        const int32_t x0 = samplerWindowStart(x, lastCol), y0 = samplerWindowStart(y, lastRow);
        const __m128 frac = _mm_sub_ps(_mm_unpacklo_ps(_mm_set_ss(x), _mm_set_ss(y)),
                                       _mm_cvtepi32_ps(_mm_unpacklo_epi32(_mm_cvtsi32_si128(x0), _mm_cvtsi32_si128(y0))));
        const std::ptrdiff_t dO = d.at(firstCol + k);
        if constexpr (sizeof(T) == 1) {
            const __m128i r = _mm_cvtps_epi32(_mm_mul_ps(frac, _mm_set1_ps(512.0f)));
            const int32_t rx = clampIndex(_mm_cvtsi128_si32(r)), ry = clampIndex(_mm_cvtsi128_si32(_mm_srli_si128(r, 4)));
            __m128i wx01, wx23, wy01, wy23;
            tableWeightPairs(lagrangeCubicWeightTable.w, rx, wx01, wx23);
            tableWeightPairs(lagrangeCubicWeightTable.w, ry, wy01, wy23);
            __m128i rows[4];
            for (int j = 0; j < 4; ++j)
                rows[j] = windowRowSums8<L>(s.plane, s.at(x0, y0 + j), wx01, wx23, mask01, mask23);
            const __m128i s01 = _mm_packs_epi32(rows[0], rows[1]), s23 = _mm_packs_epi32(rows[2], rows[3]);
            const __m128i v = _mm_add_epi32(_mm_madd_epi16(_mm_unpacklo_epi16(s01, _mm_srli_si128(s01, 8)), wy01),
                                            _mm_madd_epi16(_mm_unpacklo_epi16(s23, _mm_srli_si128(s23, 8)), wy23));
            __m128i out = _mm_srai_epi32(_mm_add_epi32(v, _mm_set1_epi32(524288)), 20);
            out = _mm_packs_epi32(out, out);
            storePixel8<L>(d.plane, dO, uint32_t(_mm_cvtsi128_si32(_mm_packus_epi16(out, out))));
        } else {
            const __m128 u = _mm_sub_ps(frac, _mm_set1_ps(1.0f));
            const __m128 wx = tapWeights(_mm_shuffle_ps(u, u, 0x00)), wy = tapWeights(_mm_shuffle_ps(u, u, 0x55));
            const __m128 bx0 = broadcast(wx, 0), bx1 = broadcast(wx, 1), bx2 = broadcast(wx, 2), bx3 = broadcast(wx, 3);
            __m128 rows[4];
            for (int j = 0; j < 4; ++j) {
                const std::ptrdiff_t o = s.at(x0, y0 + j);
                const std::ptrdiff_t tap = Shape<L>::elems * std::ptrdiff_t(sizeof(T));
                const __m128 q0 = loadPixelF<T, L>(s.plane, o), q1 = loadPixelF<T, L>(s.plane, o + tap);
                const __m128 q2 = loadPixelF<T, L>(s.plane, o + 2 * tap), q3 = loadPixelF<T, L>(s.plane, o + 3 * tap);
                rows[j] = _mm_add_ps(_mm_add_ps(_mm_mul_ps(q0, bx0), _mm_mul_ps(q1, bx1)),
                                     _mm_add_ps(_mm_mul_ps(q2, bx2), _mm_mul_ps(q3, bx3)));
            }
            const __m128 out =
                _mm_add_ps(_mm_add_ps(_mm_mul_ps(rows[0], broadcast(wy, 0)), _mm_mul_ps(rows[2], broadcast(wy, 2))),
                           _mm_add_ps(_mm_mul_ps(rows[1], broadcast(wy, 1)), _mm_mul_ps(rows[3], broadcast(wy, 3))));
            if constexpr (sizeof(T) == 2)
                storePixel16u<L>(d.plane, dO, clamp16u(_mm_cvtps_epi32(out)));
            else
                storePixel32f<L>(d.plane, dO, out);
        }
    }
}

// ---------------------------------------------------------------------------
// Warp row kernels.

// The span walk of the nearest and linear kernels: the row term and the
// span's start point in one (x, y) vector, advanced by addition. `fn(d, j,
// p)` draws pixel j of destination row d at source position p.
template <bool HalfAtStart, typename T, int L, class Fn>
inline void walkSpansVec(void* dst, int32_t dstStep, int32_t firstRow, int32_t lastRow, const RowSpan* spans,
                         const WarpCoefficients& a, Fn fn)
{
    if (lastRow < firstRow)
        return;
    const __m128d colStep = _mm_setr_pd(a.c00, a.c10), rowStep = _mm_setr_pd(a.c01, a.c11);
    __m128d rowTerm = _mm_add_pd(_mm_mul_pd(rowStep, _mm_set1_pd(double(firstRow))), _mm_setr_pd(a.c02, a.c12));
    for (int32_t i = 0; i <= lastRow - firstRow; ++i) {
        const RowSpan span = spans[i];
        if (span.first <= span.last) {
            const DstPixels<T, L> d(dst, dstStep, i);
            __m128d p = _mm_add_pd(_mm_mul_pd(colStep, _mm_set1_pd(double(span.first))), rowTerm);
            if constexpr (HalfAtStart)
                p = _mm_add_pd(p, _mm_set1_pd(0.5));
            for (int32_t j = span.first; j <= span.last; ++j) {
                fn(d, j, p);
                p = _mm_add_pd(p, colStep);
            }
        }
        rowTerm = _mm_add_pd(rowTerm, rowStep);
    }
}

inline int32_t lane1(__m128i v) { return _mm_cvtsi128_si32(_mm_srli_si128(v, 4)); }

template <typename T, int L>
void warpRowNearest(const void* src, void* dst, int32_t srcStep, int32_t dstStep, int32_t firstRow, int32_t lastRow,
                    const RowSpan* spans, const WarpCoefficients* a, int32_t, int32_t, float*)
{
    const SrcPixels<T, L> s(src, srcStep);
    walkSpansVec<true, T, L>(dst, dstStep, firstRow, lastRow, spans, *a,
                             [&](const DstPixels<T, L>& d, int32_t j, __m128d p) {
                                 const __m128i q = _mm_cvttpd_epi32(p);
                                 copyPixel<T, L>(s.plane, s.at(_mm_cvtsi128_si32(q), lane1(q)), d.plane, d.at(j));
                             });
}

template <typename T, int L>
void warpRowLinear(const void* src, void* dst, int32_t srcStep, int32_t dstStep, int32_t firstRow, int32_t lastRow,
                   const RowSpan* spans, const WarpCoefficients* a, int32_t xMax, int32_t yMax, float*)
{
    const SrcPixels<T, L> s(src, srcStep);
    const __m128i last = _mm_setr_epi32(xMax, yMax, 1, 1);
    constexpr BilinearForm form = L != 0       ? BilinearForm::difference
                                  : sizeof(T) == 2 ? BilinearForm::columnsFirst
                                                   : BilinearForm::rowsFirst;
    walkSpansVec<false, T, L>(
        dst, dstStep, firstRow, lastRow, spans, *a, [&](const DstPixels<T, L>& d, int32_t j, __m128d p) {
            // An integer part on the last column or row moves back by one.
            __m128i q = _mm_cvttpd_epi32(p);
            q = _mm_add_epi32(q, _mm_cmpeq_epi32(q, last));
            const __m128d f = _mm_sub_pd(p, _mm_cvtepi32_pd(q));
            const int32_t xi = _mm_cvtsi128_si32(q), yi = lane1(q);
            __m128i w = _mm_setzero_si128();
            __m128 ff = _mm_setzero_ps();
            if constexpr (sizeof(T) == 1)
                w = _mm_cvtpd_epi32(_mm_mul_pd(f, _mm_set1_pd(16384.0)));
            else
                ff = _mm_cvtpd_ps(f);
            bilinearPixel<T, L, true>(s, xi, xi + 1, yi, yi + 1, d.plane, d.at(j), w, 524288, ff, form);
        });
}

template <typename T, int L>
void warpRowCubic(const void* src, void* dst, int32_t srcStep, int32_t dstStep, int32_t firstRow, int32_t lastRow,
                  const RowSpan* spans, const WarpCoefficients* a, int32_t xMax, int32_t yMax, float* work)
{
    if (lastRow < firstRow)
        return;
    const SrcPixels<T, L> s(src, srcStep);
    const __m128d colStep = _mm_setr_pd(a->c00, a->c10), rowStep = _mm_setr_pd(a->c01, a->c11);
    __m128d rowTerm = _mm_add_pd(_mm_mul_pd(rowStep, _mm_set1_pd(double(firstRow))), _mm_setr_pd(a->c02, a->c12));
    for (int32_t i = 0; i <= lastRow - firstRow; ++i) {
        const int32_t first = spans[i].first, n = spans[i].last - first + 1;
        // Single-precision positions: x in work[0..n), y in work[n..2n).
        __m128d p = _mm_add_pd(_mm_mul_pd(colStep, _mm_set1_pd(double(first))), rowTerm);
        for (int32_t j = 0; j < n; ++j) {
            const __m128 v = _mm_cvtpd_ps(p);
            _mm_store_ss(work + j, v);
            _mm_store_ss(work + n + j, _mm_shuffle_ps(v, v, 0x55));
            p = _mm_add_pd(p, colStep);
        }
        sampleCubicPoints<T, L>(s, DstPixels<T, L>(dst, dstStep, i), first, work, work + (n > 0 ? n : 0), n, -1, -1,
                                xMax + 1, yMax + 1, xMax, yMax);
        rowTerm = _mm_add_pd(rowTerm, rowStep);
    }
}
