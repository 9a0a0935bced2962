// Row kernels of the colour conversions for the processor paths, included
// inside the namespace of each path (compiled with that path's flags). The
// arithmetic runs in 16-bit multiply-adds into 32-bit sums; samples are
// gathered and scattered through small arrays so that no load or store leaves
// the region.

namespace {

inline __m128i widen8(const uint8_t* p) {
    return _mm_unpacklo_epi8(_mm_loadl_epi64(reinterpret_cast<const __m128i*>(p)), _mm_setzero_si128());
}
inline __m128i widen4(const uint8_t* p) {
    int32_t v;
    __builtin_memcpy(&v, p, 4);
    return _mm_unpacklo_epi8(_mm_cvtsi32_si128(v), _mm_setzero_si128());
}

// (a, b) pairs times (wa, wb) plus c, shifted right arithmetically by `shift`,
// for the eight lanes of a and b; results as eight 16-bit lanes.
template <int shift>
inline __m128i weighted(__m128i a, __m128i b, __m128i weights, __m128i c) {
    __m128i lo = _mm_srai_epi32(_mm_add_epi32(_mm_madd_epi16(_mm_unpacklo_epi16(a, b), weights), c), shift);
    __m128i hi = _mm_srai_epi32(_mm_add_epi32(_mm_madd_epi16(_mm_unpackhi_epi16(a, b), weights), c), shift);
    return _mm_packs_epi32(lo, hi);
}
inline __m128i pairWeights(int16_t wa, int16_t wb) { return _mm_set_epi16(wb, wa, wb, wa, wb, wa, wb, wa); }

// Eight pixels of YCbCr to R, G, B bytes (in the low eight bytes of each).
inline void yccToRgb8(__m128i y, __m128i cb, __m128i cr, __m128i* r8, __m128i* g8, __m128i* b8) {
    const __m128i zero = _mm_setzero_si128();
    __m128i r = _mm_adds_epi16(y, weighted<14>(cr, zero, pairWeights(22970, 0), _mm_set1_epi32(-2932015)));
    __m128i g = _mm_adds_epi16(y, weighted<14>(cb, cr, pairWeights(-5638, -11700), _mm_set1_epi32(2227566)));
    __m128i b = _mm_adds_epi16(y, weighted<14>(cb, zero, pairWeights(29032, 0), _mm_set1_epi32(-3707961)));
    *r8 = _mm_packus_epi16(r, r);
    *g8 = _mm_packus_epi16(g, g);
    *b8 = _mm_packus_epi16(b, b);
}

inline void interleave(const uint8_t* r8, const uint8_t* g8, const uint8_t* b8, int32_t count, uint8_t* d) {
    for (int32_t i = 0; i < count; ++i) {
        d[3 * i] = r8[i];
        d[3 * i + 1] = g8[i];
        d[3 * i + 2] = b8[i];
    }
}

inline void gather(const uint8_t* s, int32_t count, uint8_t* r8, uint8_t* g8, uint8_t* b8) {
    for (int32_t i = 0; i < count; ++i) {
        r8[i] = s[3 * i];
        g8[i] = s[3 * i + 1];
        b8[i] = s[3 * i + 2];
    }
}

#if defined(__SSSE3__)
// Byte shuffles between eight R, G, B triplets (24 bytes) and three rows of
// eight bytes. A mask byte of -1 selects zero.
inline void storeTriplets8(uint8_t* d, __m128i r, __m128i g, __m128i b) {
    const __m128i rg = _mm_unpacklo_epi8(r, g);  // r0 g0 r1 g1 ... r7 g7
    const __m128i rgTo0 = _mm_setr_epi8(0, 1, -1, 2, 3, -1, 4, 5, -1, 6, 7, -1, 8, 9, -1, 10);
    const __m128i bTo0 = _mm_setr_epi8(-1, -1, 0, -1, -1, 1, -1, -1, 2, -1, -1, 3, -1, -1, 4, -1);
    const __m128i rgTo1 = _mm_setr_epi8(11, -1, 12, 13, -1, 14, 15, -1, -1, -1, -1, -1, -1, -1, -1, -1);
    const __m128i bTo1 = _mm_setr_epi8(-1, 5, -1, -1, 6, -1, -1, 7, -1, -1, -1, -1, -1, -1, -1, -1);
    __m128i out0 = _mm_or_si128(_mm_shuffle_epi8(rg, rgTo0), _mm_shuffle_epi8(b, bTo0));
    __m128i out1 = _mm_or_si128(_mm_shuffle_epi8(rg, rgTo1), _mm_shuffle_epi8(b, bTo1));
    _mm_storeu_si128(reinterpret_cast<__m128i*>(d), out0);
    _mm_storel_epi64(reinterpret_cast<__m128i*>(d + 16), out1);
}

// Eight pixels of interleaved R, G, B as three vectors of 16-bit lanes.
inline void loadTriplets8(const uint8_t* s, __m128i* r, __m128i* g, __m128i* b) {
    const __m128i a = _mm_loadu_si128(reinterpret_cast<const __m128i*>(s));
    const __m128i c = _mm_loadl_epi64(reinterpret_cast<const __m128i*>(s + 16));
    const __m128i ra = _mm_setr_epi8(0, -1, 3, -1, 6, -1, 9, -1, 12, -1, 15, -1, -1, -1, -1, -1);
    const __m128i rc = _mm_setr_epi8(-1, -1, -1, -1, -1, -1, -1, -1, -1, -1, -1, -1, 2, -1, 5, -1);
    const __m128i ga = _mm_setr_epi8(1, -1, 4, -1, 7, -1, 10, -1, 13, -1, -1, -1, -1, -1, -1, -1);
    const __m128i gc = _mm_setr_epi8(-1, -1, -1, -1, -1, -1, -1, -1, -1, -1, 0, -1, 3, -1, 6, -1);
    const __m128i ba = _mm_setr_epi8(2, -1, 5, -1, 8, -1, 11, -1, 14, -1, -1, -1, -1, -1, -1, -1);
    const __m128i bc = _mm_setr_epi8(-1, -1, -1, -1, -1, -1, -1, -1, -1, -1, 1, -1, 4, -1, 7, -1);
    *r = _mm_or_si128(_mm_shuffle_epi8(a, ra), _mm_shuffle_epi8(c, rc));
    *g = _mm_or_si128(_mm_shuffle_epi8(a, ga), _mm_shuffle_epi8(c, gc));
    *b = _mm_or_si128(_mm_shuffle_epi8(a, ba), _mm_shuffle_epi8(c, bc));
}
#else
inline void storeTriplets8(uint8_t* d, __m128i r, __m128i g, __m128i b) {
    alignas(16) uint8_t r8[16], g8[16], b8[16];
    _mm_store_si128(reinterpret_cast<__m128i*>(r8), r);
    _mm_store_si128(reinterpret_cast<__m128i*>(g8), g);
    _mm_store_si128(reinterpret_cast<__m128i*>(b8), b);
    interleave(r8, g8, b8, 8, d);
}

inline void loadTriplets8(const uint8_t* s, __m128i* r, __m128i* g, __m128i* b) {
    alignas(16) uint8_t r8[8], g8[8], b8[8];
    gather(s, 8, r8, g8, b8);
    *r = widen8(r8);
    *g = widen8(g8);
    *b = widen8(b8);
}
#endif

// 15-bit luma of eight pixels.
inline __m128i luma15(__m128i r, __m128i g, __m128i b) {
    const __m128i wRG = pairWeights(9798, 19235), wB1 = pairWeights(3736, 16266);
    const __m128i one = _mm_set1_epi16(1);
    __m128i lo = _mm_add_epi32(_mm_madd_epi16(_mm_unpacklo_epi16(r, g), wRG), _mm_madd_epi16(_mm_unpacklo_epi16(b, one), wB1));
    __m128i hi = _mm_add_epi32(_mm_madd_epi16(_mm_unpackhi_epi16(r, g), wRG), _mm_madd_epi16(_mm_unpackhi_epi16(b, one), wB1));
    return _mm_packs_epi32(_mm_srai_epi32(lo, 15), _mm_srai_epi32(hi, 15));
}

// a*R + b*G + c*B + k, shifted by 15, for eight pixels.
inline __m128i chroma15(__m128i r, __m128i g, __m128i b, int16_t wr, int16_t wg, int16_t wb, int32_t k) {
    const __m128i zero = _mm_setzero_si128();
    const __m128i wRG = pairWeights(wr, wg), wB = pairWeights(wb, 0), add = _mm_set1_epi32(k);
    __m128i lo = _mm_add_epi32(_mm_madd_epi16(_mm_unpacklo_epi16(r, g), wRG), _mm_madd_epi16(_mm_unpacklo_epi16(b, zero), wB));
    __m128i hi = _mm_add_epi32(_mm_madd_epi16(_mm_unpackhi_epi16(r, g), wRG), _mm_madd_epi16(_mm_unpackhi_epi16(b, zero), wB));
    return _mm_packs_epi32(_mm_srai_epi32(_mm_add_epi32(lo, add), 15), _mm_srai_epi32(_mm_add_epi32(hi, add), 15));
}

inline void store8(uint8_t* d, __m128i v16) {
    _mm_storel_epi64(reinterpret_cast<__m128i*>(d), _mm_packus_epi16(v16, v16));
}

inline uint8_t sat(int32_t v) { return static_cast<uint8_t>(v < 0 ? 0 : (v > 255 ? 255 : v)); }

// The 14-bit forms used for the pixels after the last complete group of eight.
inline void rgbToYcc14(int32_t R, int32_t G, int32_t B, uint8_t* y, uint8_t* cb, uint8_t* cr) {
    *y = sat((4899 * R + 9617 * G + 1868 * B + 8192) >> 14);
    *cb = sat((-2764 * R - 5428 * G + 8192 * B + 2105344) >> 14);
    *cr = sat((8192 * R - 6860 * G - 1332 * B + 2105344) >> 14);
}

inline uint8_t luma15Scalar(int32_t R, int32_t G, int32_t B) {
    return sat((9798 * R + 19235 * G + 3736 * B + 16266) >> 15);
}

// Prefetch of the SSE3 path, 64 bytes ahead of the reads; a prefetch never
// faults, so it may point past the row.
inline void prefetchAhead(const uint8_t* p) {
#if defined(__SSE3__) && !defined(__SSSE3__)
    _mm_prefetch(reinterpret_cast<const char*>(p) + 64, _MM_HINT_T0);
#else
    (void)p;
#endif
}

// Eight pixels of YCC (16-bit lanes) to the inverted inks C, M, yellow (bytes
// in the low eight bytes of each), with the 14-bit weights of four-channel
// colour: green subtracts the floored positively weighted sum.
inline void ycckToCmy8(__m128i y, __m128i cb, __m128i cr, __m128i* c8, __m128i* m8, __m128i* y8) {
    const __m128i zero = _mm_setzero_si128(), ones = _mm_set1_epi8(-1);
    __m128i r = _mm_adds_epi16(y, weighted<14>(cr, zero, pairWeights(22970, 0), _mm_set1_epi32(-2932015)));
    __m128i g = _mm_subs_epi16(y, weighted<14>(cb, cr, pairWeights(5638, 11700), _mm_set1_epi32(-2211182)));
    __m128i b = _mm_adds_epi16(y, weighted<14>(cb, zero, pairWeights(29032, 0), _mm_set1_epi32(-3708561)));
    *c8 = _mm_xor_si128(_mm_packus_epi16(r, r), ones);
    *m8 = _mm_xor_si128(_mm_packus_epi16(g, g), ones);
    *y8 = _mm_xor_si128(_mm_packus_epi16(b, b), ones);
}

// wr * r + wg * g + wb * b + k, shifted right by 14, for eight pixels.
inline __m128i weighted3(__m128i r, __m128i g, __m128i b, int16_t wr, int16_t wg, int16_t wb, int32_t k) {
    const __m128i zero = _mm_setzero_si128();
    const __m128i wRG = pairWeights(wr, wg), wB = pairWeights(wb, 0), add = _mm_set1_epi32(k);
    __m128i lo = _mm_add_epi32(_mm_madd_epi16(_mm_unpacklo_epi16(r, g), wRG), _mm_madd_epi16(_mm_unpacklo_epi16(b, zero), wB));
    __m128i hi = _mm_add_epi32(_mm_madd_epi16(_mm_unpackhi_epi16(r, g), wRG), _mm_madd_epi16(_mm_unpackhi_epi16(b, zero), wB));
    return _mm_packs_epi32(_mm_srai_epi32(_mm_add_epi32(lo, add), 14), _mm_srai_epi32(_mm_add_epi32(hi, add), 14));
}

// Pixels 4i..4i+3 of two vectors of four C, M, yellow, K pixels: the byte at
// `shift` of every pixel as eight 16-bit lanes, inverted (255 - ink).
inline __m128i inkLanes(__m128i a, __m128i b, int shift) {
    const __m128i low = _mm_set1_epi32(255);
    const __m128i ia = _mm_and_si128(_mm_srli_epi32(a, shift), low);
    const __m128i ib = _mm_and_si128(_mm_srli_epi32(b, shift), low);
    return _mm_sub_epi16(_mm_set1_epi16(255), _mm_packs_epi32(ia, ib));
}

// Eight (or, with b equal to a, four) CMYK pixels to Y, Cb, Cr bytes.
inline void cmykToYcc8(__m128i a, __m128i b, __m128i* y8, __m128i* cb8, __m128i* cr8) {
    const __m128i r = inkLanes(a, b, 0), g = inkLanes(a, b, 8), bl = inkLanes(a, b, 16);
    const __m128i y = weighted3(r, g, bl, 4899, 9617, 1868, 8192);
    const __m128i cb = weighted3(r, g, bl, -2764, -5428, 8192, 2105344);
    const __m128i cr = weighted3(r, g, bl, 8192, -6860, -1332, 2105344);
    *y8 = _mm_packus_epi16(y, y);
    *cb8 = _mm_packus_epi16(cb, cb);
    *cr8 = _mm_packus_epi16(cr, cr);
}

} // namespace

int32_t ycbcrPlanesToRgbPixels(const uint8_t* const* src, int32_t srcStep, uint8_t* dst, int32_t dstStep,
                               PrimSize roi) {
    int32_t status = jpeg_color::checkPlanar(reinterpret_cast<const void* const*>(src), dst, srcStep, dstStep, roi);
    if (status != primNoErr) return status;
    const int32_t kernelWidth = roi.width & ~3;
    alignas(16) uint8_t r8[16], g8[16], b8[16];
    __m128i r, g, b;
    for (int32_t row = 0; row < roi.height; ++row) {
        const intptr_t off = static_cast<intptr_t>(row) * srcStep;
        const uint8_t* y = src[0] + off;
        const uint8_t* cb = src[1] + off;
        const uint8_t* cr = src[2] + off;
        uint8_t* d = dst + static_cast<intptr_t>(row) * dstStep;
        int32_t x = 0;
        for (; x + 8 <= kernelWidth; x += 8) {
            yccToRgb8(widen8(y + x), widen8(cb + x), widen8(cr + x), &r, &g, &b);
            storeTriplets8(d + 3 * x, r, g, b);
        }
        if (x < kernelWidth) {  // one group of four
            yccToRgb8(widen4(y + x), widen4(cb + x), widen4(cr + x), &r, &g, &b);
            _mm_store_si128(reinterpret_cast<__m128i*>(r8), r);
            _mm_store_si128(reinterpret_cast<__m128i*>(g8), g);
            _mm_store_si128(reinterpret_cast<__m128i*>(b8), b);
            interleave(r8, g8, b8, 4, d + 3 * x);
            x += 4;
        }
        for (; x < roi.width; ++x) jpeg_color::yccToRgbPixel(y[x], cb[x], cr[x], d + 3 * x);
    }
    return primNoErr;
}

int32_t rgbPixelsToYCbCrPlanes(const uint8_t* src, int32_t srcStep, uint8_t* const* dst, int32_t dstStep,
                               PrimSize roi) {
    int32_t status = jpeg_color::checkPlanar(reinterpret_cast<const void* const*>(dst), src, srcStep, dstStep, roi);
    if (status != primNoErr) return status;
    for (int32_t row = 0; row < roi.height; ++row) {
        const uint8_t* s = src + static_cast<intptr_t>(row) * srcStep;
        const intptr_t off = static_cast<intptr_t>(row) * dstStep;
        uint8_t* y = dst[0] + off;
        uint8_t* cb = dst[1] + off;
        uint8_t* cr = dst[2] + off;
        int32_t x = 0;
        for (; x + 8 <= roi.width; x += 8) {
            __m128i r, g, b;
            loadTriplets8(s + 3 * x, &r, &g, &b);
            store8(y + x, luma15(r, g, b));
            store8(cb + x, chroma15(r, g, b, -5529, -10855, 16384, 4210688));
            store8(cr + x, chroma15(r, g, b, 16384, -13720, -2664, 4210704));
        }
        for (; x < roi.width; ++x) rgbToYcc14(s[3 * x], s[3 * x + 1], s[3 * x + 2], y + x, cb + x, cr + x);
    }
    return primNoErr;
}

int32_t rgbPixelsToLuma(const uint8_t* src, int32_t srcStep, uint8_t* dst, int32_t dstStep, PrimSize roi) {
    int32_t status = jpeg_color::checkPacked(src, dst, srcStep, dstStep, roi);
    if (status != primNoErr) return status;
    for (int32_t row = 0; row < roi.height; ++row) {
        const uint8_t* s = src + static_cast<intptr_t>(row) * srcStep;
        uint8_t* y = dst + static_cast<intptr_t>(row) * dstStep;
        int32_t x = 0;
        for (; x + 8 <= roi.width; x += 8) {
            __m128i r, g, b;
            loadTriplets8(s + 3 * x, &r, &g, &b);
            store8(y + x, luma15(r, g, b));
        }
        for (; x < roi.width; ++x) y[x] = luma15Scalar(s[3 * x], s[3 * x + 1], s[3 * x + 2]);
    }
    return primNoErr;
}

int32_t ycckPlanesToCmykPixels(const uint8_t* const* src, int32_t srcStep, uint8_t* dst, int32_t dstStep,
                               PrimSize roi) {
    int32_t status = jpeg_color::checkPlanar4(reinterpret_cast<const void* const*>(src), dst, srcStep, dstStep, roi);
    if (status != primNoErr) return status;
    const int32_t kernelWidth = roi.width & ~3;
    alignas(16) uint8_t c8[16], m8[16], y8[16];
    for (int32_t row = 0; row < roi.height; ++row) {
        const intptr_t off = static_cast<intptr_t>(row) * srcStep;
        const uint8_t* y = src[0] + off;
        const uint8_t* cb = src[1] + off;
        const uint8_t* cr = src[2] + off;
        const uint8_t* k = src[3] + off;
        uint8_t* d = dst + static_cast<intptr_t>(row) * dstStep;
        int32_t x = 0;
        while (x < kernelWidth) {
            const int32_t n = x + 8 <= kernelWidth ? 8 : 4;
            __m128i c, m, ye;
            prefetchAhead(y + x);
            if (n == 8)
                ycckToCmy8(widen8(y + x), widen8(cb + x), widen8(cr + x), &c, &m, &ye);
            else
                ycckToCmy8(widen4(y + x), widen4(cb + x), widen4(cr + x), &c, &m, &ye);
            _mm_store_si128(reinterpret_cast<__m128i*>(c8), c);
            _mm_store_si128(reinterpret_cast<__m128i*>(m8), m);
            _mm_store_si128(reinterpret_cast<__m128i*>(y8), ye);
            for (int32_t i = 0; i < n; ++i) {
                uint8_t* p = d + 4 * (x + i);
                p[0] = c8[i];
                p[1] = m8[i];
                p[2] = y8[i];
            }
            x += n;
        }
        for (int32_t i = 0; i < kernelWidth; ++i) d[4 * i + 3] = k[i];
        for (; x < roi.width; ++x) jpeg_color::ycckToCmykPixel(y[x], cb[x], cr[x], k[x], d + 4 * x);
    }
    return primNoErr;
}

int32_t cmykPixelsToYcckPlanes(const uint8_t* src, int32_t srcStep, uint8_t* const* dst, int32_t dstStep,
                               PrimSize roi) {
    int32_t status = jpeg_color::checkPlanar4(reinterpret_cast<const void* const*>(dst), src, srcStep, dstStep, roi);
    if (status != primNoErr) return status;
    alignas(16) uint8_t y8[16], cb8[16], cr8[16];
    for (int32_t row = 0; row < roi.height; ++row) {
        const uint8_t* s = src + static_cast<intptr_t>(row) * srcStep;
        const intptr_t off = static_cast<intptr_t>(row) * dstStep;
        uint8_t* y = dst[0] + off;
        uint8_t* cb = dst[1] + off;
        uint8_t* cr = dst[2] + off;
        uint8_t* k = dst[3] + off;
        int32_t x = 0;
        for (; x + 4 <= roi.width; x += 8) {
            prefetchAhead(s + 4 * x);
            const __m128i a = _mm_loadu_si128(reinterpret_cast<const __m128i*>(s + 4 * x));
            const bool full = x + 8 <= roi.width;
            const __m128i b = full ? _mm_loadu_si128(reinterpret_cast<const __m128i*>(s + 4 * x + 16)) : a;
            __m128i vy, vcb, vcr;
            cmykToYcc8(a, b, &vy, &vcb, &vcr);
            if (full) {
                _mm_storel_epi64(reinterpret_cast<__m128i*>(y + x), vy);
                _mm_storel_epi64(reinterpret_cast<__m128i*>(cb + x), vcb);
                _mm_storel_epi64(reinterpret_cast<__m128i*>(cr + x), vcr);
            } else {  // a group of four ends the row's vector part
                _mm_store_si128(reinterpret_cast<__m128i*>(y8), vy);
                _mm_store_si128(reinterpret_cast<__m128i*>(cb8), vcb);
                _mm_store_si128(reinterpret_cast<__m128i*>(cr8), vcr);
                for (int32_t i = 0; i < 4; ++i) {
                    y[x + i] = y8[i];
                    cb[x + i] = cb8[i];
                    cr[x + i] = cr8[i];
                }
                x += 4;
                break;
            }
        }
        for (; x < roi.width; ++x)
            rgbToYcc14(255 - s[4 * x], 255 - s[4 * x + 1], 255 - s[4 * x + 2], y + x, cb + x, cr + x);
        for (int32_t i = 0; i < roi.width; ++i) k[i] = s[4 * i + 3];
    }
    return primNoErr;
}
