// The resize families of one processor path (included by resample_p<N>.cpp
// after simd_path.h): the nearest, linear and cubic routines of the path's
// ResizeRowRoutineTable, the square-pixel linear and cubic border passes,
// cubic weights and element moves; the Lanczos families come from
// lanczos_simd.inl.
//
// Integer kinds compute exactly the fixed-point formulas of the generic
// routines. Float kinds work in single precision, one rounding per
// operation, in the order written: the row stage a + (b - a) t, the column
// stage u (1 - t) + l t with 1 - t rounded first.
//
// Row offsets and steps count elements; every address is formed in 64 bits,
// so images past 2 GiB are addressed without overflow.

#include <cstddef>
#include <cstdint>

#include <type_traits>

#include "primitives/resample/cubic_filters.h"
#include "primitives/resample/generic/passes.h"
#include "primitives/resample/resample_paths.h"
#include "primitives/resample/resize_ring.h"
#include "primitives/resample/super_sample.h"

namespace prim::VQ_PATH_NS {
namespace {

using std::ptrdiff_t;

inline __m128i loadu(const void* p) { return _mm_loadu_si128(static_cast<const __m128i*>(p)); }
inline void storeu(void* p, __m128i v) { _mm_storeu_si128(static_cast<__m128i*>(p), v); }
inline uint32_t load32(const void* p) {
    uint32_t v;
    __builtin_memcpy(&v, p, 4);
    return v;
}
inline void put64(void* p, __m128i v) { _mm_storel_epi64(static_cast<__m128i*>(p), v); }

// Four unsigned 32-bit values below 2^16 to the low four 16-bit lanes.
inline __m128i packUnsigned16(__m128i lo, __m128i hi) {
#if VQ_PATH_LEVEL >= 4
    return _mm_packus_epi32(lo, hi);
#else
    const __m128i bias = _mm_set1_epi32(32768);
    return _mm_xor_si128(_mm_packs_epi32(_mm_sub_epi32(lo, bias), _mm_sub_epi32(hi, bias)), _mm_set1_epi16(-32768));
#endif
}

// Sums of neighbouring 32-bit lanes: (a0 + a1, a2 + a3, b0 + b1, b2 + b3).
inline __m128i addPairs32(__m128i a, __m128i b) {
#if VQ_PATH_LEVEL >= 3
    return _mm_hadd_epi32(a, b);
#else
    const __m128 fa = _mm_castsi128_ps(a), fb = _mm_castsi128_ps(b);
    const __m128i even = _mm_castps_si128(_mm_shuffle_ps(fa, fb, _MM_SHUFFLE(2, 0, 2, 0)));
    const __m128i odd = _mm_castps_si128(_mm_shuffle_ps(fa, fb, _MM_SHUFFLE(3, 1, 3, 1)));
    return _mm_add_epi32(even, odd);
#endif
}

// Exact unsigned 16 x 16 products of eight lanes, as two vectors of 32-bit
// products (lanes 0-3, lanes 4-7).
inline void mulUnsigned16(__m128i a, __m128i w, __m128i& lo, __m128i& hi) {
    const __m128i l = _mm_mullo_epi16(a, w), h = _mm_mulhi_epu16(a, w);
    lo = _mm_unpacklo_epi16(l, h);
    hi = _mm_unpackhi_epi16(l, h);
}

// ---------------------------------------------------------------------------
// Nearest: copies of N samples per pixel (bit patterns; floats as words),
// two pixels per step for one and three samples.

template <class T, int N>
void nearestPass(const void* src, void* dst, int32_t dstStep, int32_t width, int32_t height, const int32_t* rowOffsets,
                 const int32_t* colOffsets, int32_t pixelStride) {
    const T* s = static_cast<const T*>(src);
    T* d = static_cast<T*>(dst);
    const ptrdiff_t px = N == 3 ? pixelStride : N;
    for (int32_t i = 0; i < height; ++i) {
        const T* srow = s + rowOffsets[i];
        T* drow = d + static_cast<ptrdiff_t>(i) * dstStep;
        int32_t j = 0;
        if (N != 4)
            for (; j + 1 < width; j += 2) {
                const T* a = srow + colOffsets[j];
                const T* b = srow + colOffsets[j + 1];
                T* o = drow + j * px;
                for (int k = 0; k < N; ++k) {
                    o[k] = a[k];
                    o[px + k] = b[k];
                }
            }
        for (; j < width; ++j) {
            const T* a = srow + colOffsets[j];
            T* o = drow + j * px;
            for (int k = 0; k < N; ++k)
                o[k] = a[k];
        }
    }
}

// ---------------------------------------------------------------------------
// Linear row kernels: one source row into a work row. Integer weights are
// (16384 - f, f) pairs; float weights one fraction per column.

// Scalar forms, for tails and the scalar members.
inline int16_t rowValue8u(uint32_t a, uint32_t b, const uint16_t* w) {
    return static_cast<int16_t>((a * w[0] + b * w[1] + 128u) >> 8);
}
inline uint16_t rowValue16u(uint32_t a, uint32_t b, const uint16_t* w) {
    return static_cast<uint16_t>((a * w[0] + b * w[1] + 8192u) >> 14);
}
inline int16_t rowValue16s(int32_t a, int32_t b, const int16_t* w) {
    return static_cast<int16_t>((a * w[0] + b * w[1] + 8192) >> 14);
}
inline float rowValue32f(float a, float b, float t) { return a + (b - a) * t; }

void linearRow8uC1(const uint8_t* row, int32_t width, const int32_t* co, const uint16_t* cw, int16_t* out) {
    int32_t j = 0;
    const __m128i zero = _mm_setzero_si128(), round = _mm_set1_epi32(128);
    for (; j + 8 <= width; j += 8) {
        // Tap pairs (a, b) of eight columns, as 16-bit lanes a0 b0 a1 b1 ...
        alignas(16) uint16_t pairs[8];
        for (int k = 0; k < 8; ++k)
            __builtin_memcpy(&pairs[k], row + co[j + k], 2);
        const __m128i v = _mm_load_si128(reinterpret_cast<const __m128i*>(pairs));
        const __m128i lo = _mm_madd_epi16(_mm_unpacklo_epi8(v, zero), loadu(cw + 2 * j));
        const __m128i hi = _mm_madd_epi16(_mm_unpackhi_epi8(v, zero), loadu(cw + 2 * j + 8));
        storeu(out + j, _mm_packs_epi32(_mm_srai_epi32(_mm_add_epi32(lo, round), 8),
                                        _mm_srai_epi32(_mm_add_epi32(hi, round), 8)));
    }
    for (; j < width; ++j)
        out[j] = rowValue8u(row[co[j]], row[co[j] + 1], cw + 2 * j);
}

void linearRow16uC1(const uint16_t* row, int32_t width, const int32_t* co, const uint16_t* cw, uint16_t* out) {
    int32_t j = 0;
    const __m128i round = _mm_set1_epi32(8192);
    for (; j + 8 <= width; j += 8) {
        alignas(16) uint32_t pairs[8];
        for (int k = 0; k < 8; ++k)
            pairs[k] = load32(row + co[j + k]);
        __m128i p0, p1, p2, p3;
        mulUnsigned16(_mm_load_si128(reinterpret_cast<const __m128i*>(pairs)), loadu(cw + 2 * j), p0, p1);
        mulUnsigned16(_mm_load_si128(reinterpret_cast<const __m128i*>(pairs + 4)), loadu(cw + 2 * j + 8), p2, p3);
        const __m128i s0 = _mm_srli_epi32(_mm_add_epi32(addPairs32(p0, p1), round), 14);
        const __m128i s1 = _mm_srli_epi32(_mm_add_epi32(addPairs32(p2, p3), round), 14);
        storeu(out + j, packUnsigned16(s0, s1));
    }
    for (; j < width; ++j)
        out[j] = rowValue16u(row[co[j]], row[co[j] + 1], cw + 2 * j);
}

void linearRow16sC1(const int16_t* row, int32_t width, const int32_t* co, const int16_t* cw, int16_t* out) {
    int32_t j = 0;
    const __m128i round = _mm_set1_epi32(8192);
    for (; j + 8 <= width; j += 8) {
        alignas(16) uint32_t pairs[8];
        for (int k = 0; k < 8; ++k)
            pairs[k] = load32(row + co[j + k]);
        const __m128i lo =
            _mm_madd_epi16(_mm_load_si128(reinterpret_cast<const __m128i*>(pairs)), loadu(cw + 2 * j));
        const __m128i hi =
            _mm_madd_epi16(_mm_load_si128(reinterpret_cast<const __m128i*>(pairs + 4)), loadu(cw + 2 * j + 8));
        storeu(out + j, _mm_packs_epi32(_mm_srai_epi32(_mm_add_epi32(lo, round), 14),
                                        _mm_srai_epi32(_mm_add_epi32(hi, round), 14)));
    }
    for (; j < width; ++j)
        out[j] = rowValue16s(row[co[j]], row[co[j] + 1], cw + 2 * j);
}

void linearRow32fC1(const float* row, int32_t width, const int32_t* co, const float* cw, float* out) {
    int32_t j = 0;
    for (; j + 4 <= width; j += 4) {
        const float* p0 = row + co[j];
        const float* p1 = row + co[j + 1];
        const float* p2 = row + co[j + 2];
        const float* p3 = row + co[j + 3];
        const __m128 a = _mm_setr_ps(p0[0], p1[0], p2[0], p3[0]);
        const __m128 b = _mm_setr_ps(p0[1], p1[1], p2[1], p3[1]);
        _mm_storeu_ps(out + j, _mm_add_ps(a, _mm_mul_ps(_mm_sub_ps(b, a), _mm_loadu_ps(cw + j))));
    }
    for (; j < width; ++j)
        out[j] = rowValue32f(row[co[j]], row[co[j] + 1], cw[j]);
}

// 8u pixels of N samples (3 or 4, stride `next` to the right tap), one pixel
// per step. Every load stays inside the two tap pixels: a three-sample right
// tap is read from one sample before it and shifted down.
template <int N>
void linearRow8uPixel(const uint8_t* row, int32_t width, int32_t next, const int32_t* co, const uint16_t* cw,
                      int16_t* out) {
    const __m128i zero = _mm_setzero_si128(), round = _mm_set1_epi32(128);
    const bool shifted = N == 3 && next == 3;
    for (int32_t j = 0; j < width; ++j) {
        const uint8_t* a = row + co[j];
        const uint32_t av = load32(a);
        const uint32_t bv = shifted ? load32(a + 2) >> 8 : load32(a + next);
        const __m128i ab = _mm_unpacklo_epi8(_mm_unpacklo_epi8(_mm_cvtsi32_si128(int(av)), _mm_cvtsi32_si128(int(bv))),
                                             zero);
        const __m128i s = _mm_srai_epi32(_mm_add_epi32(_mm_madd_epi16(ab, _mm_set1_epi32(int(load32(cw + 2 * j)))),
                                                       round),
                                         8);
        const __m128i v = _mm_packs_epi32(s, s);
        if (N == 4 || j + 1 < width) {
            // Four lanes; with three samples the fourth is overwritten by the
            // next pixel.
            put64(out + N * j, v);
        } else {
            out[3 * j] = static_cast<int16_t>(_mm_extract_epi16(v, 0));
            out[3 * j + 1] = static_cast<int16_t>(_mm_extract_epi16(v, 1));
            out[3 * j + 2] = static_cast<int16_t>(_mm_extract_epi16(v, 2));
        }
    }
}

// 16-bit pixels of N samples: scalar, two pixels per step.
template <class S, class W, int N, class F>
void linearRow16Pixel(const S* row, int32_t width, int32_t next, const int32_t* co, const W* cw, S* out, F value) {
    int32_t j = 0;
    for (; j + 1 < width; j += 2) {
        const S* a0 = row + co[j];
        const S* a1 = row + co[j + 1];
        for (int k = 0; k < N; ++k) {
            out[N * j + k] = value(a0[k], a0[next + k], cw + 2 * j);
            out[N * j + N + k] = value(a1[k], a1[next + k], cw + 2 * j + 2);
        }
    }
    for (; j < width; ++j) {
        const S* a = row + co[j];
        for (int k = 0; k < N; ++k)
            out[N * j + k] = value(a[k], a[next + k], cw + 2 * j);
    }
}

// Float pixels of N samples: scalar single precision, one pixel per step.
template <int N>
void linearRow32fPixel(const float* row, int32_t width, int32_t next, const int32_t* co, const float* cw,
                       float* out) {
    for (int32_t j = 0; j < width; ++j) {
        const float* a = row + co[j];
        const float t = cw[j];
        for (int k = 0; k < N; ++k)
            out[N * j + k] = rowValue32f(a[k], a[next + k], t);
    }
}

// ---------------------------------------------------------------------------
// Linear column kernels: two work rows into one destination row with the
// row's fraction f (the lower row's weight).

inline uint8_t columnValue8u(int32_t u, int32_t l, int32_t f) {
    const int32_t v = (u * (16384 - f) + l * f + 524288) >> 20;
    return static_cast<uint8_t>(v < 0 ? 0 : v > 255 ? 255 : v);
}
inline uint16_t columnValue16u(uint32_t u, uint32_t l, uint32_t f) {
    return static_cast<uint16_t>((u * (16384u - f) + l * f + 8192u) >> 14);
}
inline int16_t columnValue16s(int32_t u, int32_t l, int32_t f) {
    return static_cast<int16_t>((u * (16384 - f) + l * f + 8192) >> 14);
}
inline float columnValue32f(float u, float l, float t, float rest) { return u * rest + l * t; }

void linearColumn8u(uint8_t* dst, int32_t count, uint16_t f, const int16_t* upper, const int16_t* lower) {
    const __m128i w = _mm_set1_epi32(int((uint32_t(f) << 16) | (16384u - f)));
    const __m128i round = _mm_set1_epi32(524288);
    auto eight = [&](int32_t n) {
        const __m128i u = loadu(upper + n), l = loadu(lower + n);
        const __m128i lo = _mm_srai_epi32(_mm_add_epi32(_mm_madd_epi16(_mm_unpacklo_epi16(u, l), w), round), 20);
        const __m128i hi = _mm_srai_epi32(_mm_add_epi32(_mm_madd_epi16(_mm_unpackhi_epi16(u, l), w), round), 20);
        return _mm_packs_epi32(lo, hi);
    };
    int32_t n = 0;
    for (; n + 16 <= count; n += 16)
        storeu(dst + n, _mm_packus_epi16(eight(n), eight(n + 8)));
    if (n + 8 <= count) {
        const __m128i v = eight(n);
        put64(dst + n, _mm_packus_epi16(v, v));
        n += 8;
    }
    for (; n < count; ++n)
        dst[n] = columnValue8u(upper[n], lower[n], f);
}

void linearColumn16u(uint16_t* dst, int32_t count, uint16_t f, const uint16_t* upper, const uint16_t* lower) {
    const __m128i wu = _mm_set1_epi16(short(16384 - f)), wl = _mm_set1_epi16(short(f));
    const __m128i round = _mm_set1_epi32(8192);
    int32_t n = 0;
    for (; n + 8 <= count; n += 8) {
        __m128i u0, u1, l0, l1;
        mulUnsigned16(loadu(upper + n), wu, u0, u1);
        mulUnsigned16(loadu(lower + n), wl, l0, l1);
        const __m128i s0 = _mm_srli_epi32(_mm_add_epi32(_mm_add_epi32(u0, l0), round), 14);
        const __m128i s1 = _mm_srli_epi32(_mm_add_epi32(_mm_add_epi32(u1, l1), round), 14);
        storeu(dst + n, packUnsigned16(s0, s1));
    }
    for (; n < count; ++n)
        dst[n] = columnValue16u(upper[n], lower[n], f);
}

void linearColumn16s(int16_t* dst, int32_t count, int16_t f, const int16_t* upper, const int16_t* lower) {
    const __m128i w = _mm_set1_epi32(int((uint32_t(uint16_t(f)) << 16) | uint16_t(16384 - f)));
    const __m128i round = _mm_set1_epi32(8192);
    int32_t n = 0;
    for (; n + 8 <= count; n += 8) {
        const __m128i u = loadu(upper + n), l = loadu(lower + n);
        const __m128i lo = _mm_srai_epi32(_mm_add_epi32(_mm_madd_epi16(_mm_unpacklo_epi16(u, l), w), round), 14);
        const __m128i hi = _mm_srai_epi32(_mm_add_epi32(_mm_madd_epi16(_mm_unpackhi_epi16(u, l), w), round), 14);
        storeu(dst + n, _mm_packs_epi32(lo, hi));
    }
    for (; n < count; ++n)
        dst[n] = columnValue16s(upper[n], lower[n], f);
}

void linearColumn32f(float* dst, int32_t count, float t, const float* upper, const float* lower) {
    const float rest = 1.0f - t;
    const __m128 vt = _mm_set1_ps(t), vr = _mm_set1_ps(rest);
    int32_t n = 0;
    for (; n + 4 <= count; n += 4)
        _mm_storeu_ps(dst + n, _mm_add_ps(_mm_mul_ps(_mm_loadu_ps(upper + n), vr),
                                          _mm_mul_ps(_mm_loadu_ps(lower + n), vt)));
    for (; n < count; ++n)
        dst[n] = columnValue32f(upper[n], lower[n], t, rest);
}

// ---------------------------------------------------------------------------
// Kind descriptions: sample, work and weight types and the kernels.

struct Linear8u {
    using Sample = uint8_t;
    using Work = int16_t;
    using RowWeight = uint16_t;
    using ColWeight = uint16_t;
    static void rowPlane(const Sample* r, int32_t w, const int32_t* co, const ColWeight* cw, Work* o) {
        linearRow8uC1(r, w, co, cw, o);
    }
    static void rowPixel3(const Sample* r, int32_t w, int32_t next, const int32_t* co, const ColWeight* cw, Work* o) {
        linearRow8uPixel<3>(r, w, next, co, cw, o);
    }
    static void rowPixel4(const Sample* r, int32_t w, const int32_t* co, const ColWeight* cw, Work* o) {
        linearRow8uPixel<4>(r, w, 4, co, cw, o);
    }
    static void column(Sample* d, int32_t n, RowWeight f, const Work* u, const Work* l) {
        linearColumn8u(d, n, f, u, l);
    }
    static Sample columnOne(Work u, Work l, RowWeight f) { return columnValue8u(u, l, f); }
};

struct Linear16u {
    using Sample = uint16_t;
    using Work = uint16_t;
    using RowWeight = uint16_t;
    using ColWeight = uint16_t;
    static uint16_t value(uint16_t a, uint16_t b, const uint16_t* w) { return rowValue16u(a, b, w); }
    static void rowPlane(const Sample* r, int32_t w, const int32_t* co, const ColWeight* cw, Work* o) {
        linearRow16uC1(r, w, co, cw, o);
    }
    static void rowPixel3(const Sample* r, int32_t w, int32_t next, const int32_t* co, const ColWeight* cw, Work* o) {
        linearRow16Pixel<Sample, ColWeight, 3>(r, w, next, co, cw, o, value);
    }
    static void rowPixel4(const Sample* r, int32_t w, const int32_t* co, const ColWeight* cw, Work* o) {
        linearRow16Pixel<Sample, ColWeight, 4>(r, w, 4, co, cw, o, value);
    }
    static void column(Sample* d, int32_t n, RowWeight f, const Work* u, const Work* l) {
        linearColumn16u(d, n, f, u, l);
    }
    static Sample columnOne(Work u, Work l, RowWeight f) { return columnValue16u(u, l, f); }
};

struct Linear16s {
    using Sample = int16_t;
    using Work = int16_t;
    using RowWeight = int16_t;
    using ColWeight = int16_t;
    static int16_t value(int16_t a, int16_t b, const int16_t* w) { return rowValue16s(a, b, w); }
    static void rowPlane(const Sample* r, int32_t w, const int32_t* co, const ColWeight* cw, Work* o) {
        linearRow16sC1(r, w, co, cw, o);
    }
    static void rowPixel3(const Sample* r, int32_t w, int32_t next, const int32_t* co, const ColWeight* cw, Work* o) {
        linearRow16Pixel<Sample, ColWeight, 3>(r, w, next, co, cw, o, value);
    }
    static void rowPixel4(const Sample* r, int32_t w, const int32_t* co, const ColWeight* cw, Work* o) {
        linearRow16Pixel<Sample, ColWeight, 4>(r, w, 4, co, cw, o, value);
    }
    static void column(Sample* d, int32_t n, RowWeight f, const Work* u, const Work* l) {
        linearColumn16s(d, n, f, u, l);
    }
    static Sample columnOne(Work u, Work l, RowWeight f) { return columnValue16s(u, l, f); }
};

struct Linear32f {
    using Sample = float;
    using Work = float;
    using RowWeight = float;
    using ColWeight = float;
    static void rowPlane(const Sample* r, int32_t w, const int32_t* co, const ColWeight* cw, Work* o) {
        linearRow32fC1(r, w, co, cw, o);
    }
    static void rowPixel3(const Sample* r, int32_t w, int32_t next, const int32_t* co, const ColWeight* cw, Work* o) {
        linearRow32fPixel<3>(r, w, next, co, cw, o);
    }
    static void rowPixel4(const Sample* r, int32_t w, const int32_t* co, const ColWeight* cw, Work* o) {
        linearRow32fPixel<4>(r, w, 4, co, cw, o);
    }
    static void column(Sample* d, int32_t n, RowWeight f, const Work* u, const Work* l) {
        linearColumn32f(d, n, f, u, l);
    }
    static Sample columnOne(Work u, Work l, RowWeight f) { return columnValue32f(u, l, f, 1.0f - f); }
};

// ---------------------------------------------------------------------------
// Linear pass: the work rows hold the horizontally interpolated upper and
// lower tap rows; a row pair is interpolated once while destination rows
// stay on it, and only the new row when they move on by one source row.
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
    // Pixels: layout 3 resamples three samples at pixelStride, anything else
    // four at 4; the fourth sample of (4, 3) pixels is never written.
    const bool three = !Plane && channelCount == 3;
    const int32_t channels = Plane ? 1 : three ? 3 : 4;
    const bool threeOfFour = !Plane && pixelStride != channelCount;

    auto filter = [&](ptrdiff_t offset, Wk* out) {
        const S* row = s + offset;
        if (Plane)
            K::rowPlane(row, width, colOffsets, cw, out);
        else if (three)
            K::rowPixel3(row, width, pixelStride, colOffsets, cw, out);
        else
            K::rowPixel4(row, width, colOffsets, cw, out);
    };

    Wk* upper = static_cast<Wk*>(workRow0);
    Wk* lower = static_cast<Wk*>(workRow1);
    filter(rowOffsets[0], lower);
    const bool forward = srcStep > 0;
    int64_t last = forward ? int64_t(rowOffsets[0]) - 1 : int64_t(rowOffsets[0]) + 1;
    for (int32_t i = 0; i < height; ++i) {
        const int64_t v = rowOffsets[i];
        if (forward ? v > last : v < last) {
            Wk* t = upper;
            upper = lower;
            lower = t;
            filter(static_cast<ptrdiff_t>(v + srcStep), lower);
            // The former lower row is this pair's upper row unless the pair
            // skipped past it.
            const int64_t far = last + srcStep;
            if (forward ? v > far : v < far)
                filter(static_cast<ptrdiff_t>(v), upper);
            last = v;
        }
        S* drow = d + static_cast<ptrdiff_t>(i) * dstStep;
        const auto f = rw[i];
        if (threeOfFour) {
            for (int32_t j = 0; j < width; ++j)
                for (int k = 0; k < 3; ++k)
                    drow[4 * j + k] = K::columnOne(upper[3 * j + k], lower[3 * j + k], f);
        } else {
            K::column(drow, width * channels, f, upper, lower);
        }
    }
}

// ---------------------------------------------------------------------------
// Linear border passes of the square-pixel body: rows whose taps leave the
// source interpolate along the first or last source row, columns along the
// first or last source column; taps are clamped to the image.

template <class T> struct BorderTap {
    using Weight = uint16_t;
    static T horizontal(T a, T b, const Weight* cw, int32_t j) {
        return static_cast<T>((a * uint32_t(cw[2 * j]) + b * uint32_t(cw[2 * j + 1]) + 8192u) >> 14);
    }
    static T vertical(T a, T b, const Weight* rw, int32_t i) {
        const uint32_t f = rw[i];
        return static_cast<T>((a * (16384u - f) + b * f + 8192u) >> 14);
    }
};
template <> struct BorderTap<int16_t> {
    using Weight = int16_t;
    static int16_t horizontal(int16_t a, int16_t b, const Weight* cw, int32_t j) {
        return static_cast<int16_t>((a * int32_t(cw[2 * j]) + b * int32_t(cw[2 * j + 1]) + 8192) >> 14);
    }
    static int16_t vertical(int16_t a, int16_t b, const Weight* rw, int32_t i) {
        const int32_t f = rw[i];
        return static_cast<int16_t>((a * (16384 - f) + b * f + 8192) >> 14);
    }
};
template <> struct BorderTap<float> {
    using Weight = float;
    static float mix(float a, float b, float f) { return (1.0f - f) * a + b * f; }
    static float horizontal(float a, float b, const Weight* cw, int32_t j) { return mix(a, b, cw[j]); }
    static float vertical(float a, float b, const Weight* rw, int32_t i) { return mix(a, b, rw[i]); }
};

template <class T, bool Plane>
void borderLinear(const void* srcV, void* dstV, int32_t srcStep, int32_t dstStep, int32_t srcWidth, int32_t srcHeight,
                  int32_t width, int32_t height, const int32_t* rowOffsets, const int32_t* colOffsets,
                  const void* rowWeights, const void* colWeights, int32_t top, int32_t bottom, int32_t left,
                  int32_t right, int32_t pixelStride, int32_t channels) {
    using K = BorderTap<T>;
    const T* src = static_cast<const T*>(srcV);
    T* dst = static_cast<T*>(dstV);
    const auto* rw = static_cast<const typename K::Weight*>(rowWeights);
    const auto* cw = static_cast<const typename K::Weight*>(colWeights);
    const int32_t n = Plane ? 1 : channels == 3 ? 3 : 4;
    const ptrdiff_t px = Plane ? 1 : channels == 3 ? pixelStride : 4;

    // A whole row from one source row, column taps clamped.
    auto edgeRow = [&](int32_t i, const T* row) {
        T* d = dst + static_cast<ptrdiff_t>(i) * dstStep;
        for (int32_t j = 0; j < width; ++j) {
            const int32_t m = static_cast<int32_t>(colOffsets[j] / px);
            const ptrdiff_t a = (m < 0 ? 0 : m > srcWidth - 1 ? srcWidth - 1 : m) * px;
            const ptrdiff_t b = (m + 1 < 0 ? 0 : m + 1 > srcWidth - 1 ? srcWidth - 1 : m + 1) * px;
            for (int32_t k = 0; k < n; ++k)
                d[j * px + k] = K::horizontal(row[a + k], row[b + k], cw, j);
        }
    };
    // Columns [from, to) of row i from one source column.
    auto edgeColumns = [&](int32_t i, int32_t from, int32_t to, ptrdiff_t column) {
        const T* a = src + rowOffsets[i] + column;
        T* d = dst + static_cast<ptrdiff_t>(i) * dstStep;
        for (int32_t k = 0; k < n; ++k) {
            const T v = K::vertical(a[k], a[k + srcStep], rw, i);
            for (int32_t j = from; j < to; ++j)
                d[j * px + k] = v;
        }
    };

    for (int32_t i = 0; i < top; ++i)
        edgeRow(i, src);
    const int32_t leftEnd = left < width ? left : width;
    const int32_t rightStart = width - right > leftEnd ? width - right : leftEnd;
    for (int32_t i = top; i < height - bottom; ++i) {
        if (leftEnd > 0)
            edgeColumns(i, 0, leftEnd, 0);
        if (rightStart < width)
            edgeColumns(i, rightStart, width, static_cast<ptrdiff_t>(srcWidth - 1) * px);
    }
    const T* lastRow = src + static_cast<ptrdiff_t>(srcHeight - 1) * srcStep;
    for (int32_t i = height - bottom > top ? height - bottom : top; i < height; ++i)
        edgeRow(i, lastRow);
}

// ---------------------------------------------------------------------------
// Element moves: the destination receives the source's bytes however the
// two ranges overlap. Pieces of 16 bytes are loaded whole before they are
// stored and visited in the direction of the move.

void moveBytes(const uint8_t* from, uint8_t* to, int32_t count) {
    if (from == to)
        return;
    int32_t n = 0;
    if (from > to) {
        for (; n + 16 <= count; n += 16)
            storeu(to + n, loadu(from + n));
        for (; n < count; ++n)
            to[n] = from[n];
    } else {
        int32_t end = count;
        for (; end >= 16; end -= 16)
            storeu(to + end - 16, loadu(from + end - 16));
        for (; end > 0; --end)
            to[end - 1] = from[end - 1];
    }
}

template <int Size> int32_t moveVector(const void* from, void* to, int32_t count) {
    if (from == nullptr || to == nullptr)
        return primErrNullPtr;
    if (count <= 0)
        return primErrSize;
    // The weight tables hold one entry per destination row or column, far
    // below 2^31 bytes.
    moveBytes(static_cast<const uint8_t*>(from), static_cast<uint8_t*>(to), count * Size);
    return primNoErr;
}

// ---------------------------------------------------------------------------
// Square-pixel cubic: four float weights per row and column (taps -1 .. +2),
// a ring of four float work rows. Single precision throughout, in these
// groupings (the grouping is part of the result):
//   row, one sample, positions in whole groups of four: (p0 + p1) + (p2 + p3),
//     the last count mod 4 positions: (p0 + p2) + (p1 + p3);
//   row, three or four samples: (p0 + p3) + (p1 + p2);
//   column: (q0 + q1) + (q2 + q3), then integer kinds add 0.50000012
//     (subtracted from negative 16s sums, so halves round away from zero),
//     truncate and saturate; a sum out of the 32-bit range (or NaN)
//     converts to the lowest value of the kind.

constexpr float kHalfUp = 0.50000012f;

// Four samples from p, converted exactly to float.
inline __m128 taps4(const uint8_t* p) {
#if VQ_PATH_LEVEL >= 4
    return _mm_cvtepi32_ps(_mm_cvtepu8_epi32(_mm_cvtsi32_si128(int(load32(p)))));
#else
    const __m128i z = _mm_setzero_si128();
    return _mm_cvtepi32_ps(_mm_unpacklo_epi16(_mm_unpacklo_epi8(_mm_cvtsi32_si128(int(load32(p))), z), z));
#endif
}
inline __m128 taps4(const uint16_t* p) {
    const __m128i v = _mm_loadl_epi64(reinterpret_cast<const __m128i*>(p));
    return _mm_cvtepi32_ps(_mm_unpacklo_epi16(v, _mm_setzero_si128()));
}
inline __m128 taps4(const int16_t* p) {
    const __m128i v = _mm_loadl_epi64(reinterpret_cast<const __m128i*>(p));
    return _mm_cvtepi32_ps(_mm_srai_epi32(_mm_unpacklo_epi16(v, v), 16));
}
inline __m128 taps4(const float* p) { return _mm_loadu_ps(p); }

// Three samples at p in lanes 0-2, reading nothing past p[2] (but p[-1]).
inline __m128 taps3(const uint8_t* p) {
    return _mm_cvtepi32_ps(_mm_unpacklo_epi16(
        _mm_unpacklo_epi8(_mm_cvtsi32_si128(int(load32(p - 1) >> 8)), _mm_setzero_si128()), _mm_setzero_si128()));
}
inline __m128 taps3(const uint16_t* p) {
    const __m128i v = _mm_srli_epi64(_mm_loadl_epi64(reinterpret_cast<const __m128i*>(p - 1)), 16);
    return _mm_cvtepi32_ps(_mm_unpacklo_epi16(v, _mm_setzero_si128()));
}
inline __m128 taps3(const int16_t* p) {
    const __m128i v = _mm_srli_epi64(_mm_loadl_epi64(reinterpret_cast<const __m128i*>(p - 1)), 16);
    return _mm_cvtepi32_ps(_mm_srai_epi32(_mm_unpacklo_epi16(v, v), 16));
}
inline __m128 taps3(const float* p) {
    const __m128 v = _mm_loadu_ps(p - 1);
    return _mm_shuffle_ps(v, v, _MM_SHUFFLE(3, 3, 2, 1));
}

// Pairwise sums of neighbouring lanes: (a0 + a1, a2 + a3, b0 + b1, b2 + b3).
inline __m128 addPairs(__m128 a, __m128 b) {
#if VQ_PATH_LEVEL >= 2
    return _mm_hadd_ps(a, b);
#else
    return _mm_add_ps(_mm_shuffle_ps(a, b, _MM_SHUFFLE(2, 0, 2, 0)), _mm_shuffle_ps(a, b, _MM_SHUFFLE(3, 1, 3, 1)));
#endif
}

inline float toFloat(uint8_t v) { return float(v); }
inline float toFloat(uint16_t v) { return float(v); }
inline float toFloat(int16_t v) { return float(v); }
inline float toFloat(float v) { return v; }

template <class T>
void sqCubicRowC1(const T* row, int32_t width, const int32_t* co, const float* cw, float* out) {
    const int32_t whole = width & ~3;
    for (int32_t j = 0; j < whole; j += 4) {
        __m128 p[4];
        for (int k = 0; k < 4; ++k)
            p[k] = _mm_mul_ps(taps4(row + co[j + k] - 1), _mm_loadu_ps(cw + 4 * (j + k)));
        _mm_storeu_ps(out + j, addPairs(addPairs(p[0], p[1]), addPairs(p[2], p[3])));
    }
    for (int32_t j = whole; j < width; ++j) {
        const T* a = row + co[j] - 1;
        const float* w = cw + 4 * j;
        const float p0 = toFloat(a[0]) * w[0], p1 = toFloat(a[1]) * w[1];
        const float p2 = toFloat(a[2]) * w[2], p3 = toFloat(a[3]) * w[3];
        out[j] = (p0 + p2) + (p1 + p3);
    }
}

// Pixels of N samples (3 at `next`, or 4 at 4), one pixel per step.
template <class T, int N>
void sqCubicRowPixel(const T* row, int32_t width, int32_t next, const int32_t* co, const float* cw, float* out) {
    for (int32_t j = 0; j < width; ++j) {
        const T* a = row + co[j];
        const float* w = cw + 4 * j;
        __m128 s[4];
        // Four samples per tap pixel; the last tap of three-sample pixels
        // at stride 3 is read from one sample before it, so that nothing
        // past the pixel is read. Lane 3 is discarded for three samples.
        for (int k = 0; k < 3; ++k)
            s[k] = taps4(a + (k - 1) * next);
        s[3] = N == 3 && next == 3 ? taps3(a + 2 * next) : taps4(a + 2 * next);
        const __m128 v = _mm_add_ps(_mm_add_ps(_mm_mul_ps(s[0], _mm_set1_ps(w[0])), _mm_mul_ps(s[3], _mm_set1_ps(w[3]))),
                                    _mm_add_ps(_mm_mul_ps(s[1], _mm_set1_ps(w[1])), _mm_mul_ps(s[2], _mm_set1_ps(w[2]))));
        if (N == 4 || j + 1 < width) {
            _mm_storeu_ps(out + N * j, v); // a three-sample pixel's fourth lane is overwritten next
        } else {
            alignas(16) float lanes[4];
            _mm_store_ps(lanes, v);
            out[3 * j] = lanes[0];
            out[3 * j + 1] = lanes[1];
            out[3 * j + 2] = lanes[2];
        }
    }
}

// The column sum of element n and its conversion.
inline float cubicColumnSum(const float* const* r, const float* w, int32_t n) {
    return (r[0][n] * w[0] + r[1][n] * w[1]) + (r[2][n] * w[2] + r[3][n] * w[3]);
}
inline int32_t truncateFloat(float v) { return _mm_cvttss_si32(_mm_set_ss(v)); }
template <class T> inline T cubicSample(float s);
template <> inline uint8_t cubicSample<uint8_t>(float s) {
    const int32_t n = truncateFloat(s + kHalfUp);
    return static_cast<uint8_t>(n < 0 ? 0 : n > 255 ? 255 : n);
}
template <> inline uint16_t cubicSample<uint16_t>(float s) {
    const int32_t n = truncateFloat(s + kHalfUp);
    return static_cast<uint16_t>(n < 0 ? 0 : n > 65535 ? 65535 : n);
}
template <> inline int16_t cubicSample<int16_t>(float s) {
    const int32_t n = truncateFloat(s < 0.0f ? s - kHalfUp : s + kHalfUp);
    return static_cast<int16_t>(n < -32768 ? -32768 : n > 32767 ? 32767 : n);
}
template <> inline float cubicSample<float>(float s) { return s; }

// Four column sums at n.
inline __m128 cubicColumnSum4(const float* const* r, const __m128* w, int32_t n) {
    return _mm_add_ps(_mm_add_ps(_mm_mul_ps(_mm_loadu_ps(r[0] + n), w[0]), _mm_mul_ps(_mm_loadu_ps(r[1] + n), w[1])),
                      _mm_add_ps(_mm_mul_ps(_mm_loadu_ps(r[2] + n), w[2]), _mm_mul_ps(_mm_loadu_ps(r[3] + n), w[3])));
}

// Truncation of four sums, after the half-up offset (away from zero for
// negative sums when signed).
inline __m128i truncateHalfUp(__m128 s, bool signedKind) {
    __m128 h = _mm_set1_ps(kHalfUp);
    if (signedKind)
        h = _mm_or_ps(h, _mm_and_ps(_mm_cmplt_ps(s, _mm_setzero_ps()), _mm_set1_ps(-0.0f)));
    return _mm_cvttps_epi32(_mm_add_ps(s, h));
}

// Four 32-bit integers saturated to 0..65535, in the low four 16-bit lanes.
inline __m128i saturate16u(__m128i v) {
#if VQ_PATH_LEVEL >= 4
    return _mm_packus_epi32(v, v);
#else
    v = _mm_andnot_si128(_mm_cmplt_epi32(v, _mm_setzero_si128()), v);
    const __m128i high = _mm_cmpgt_epi32(v, _mm_set1_epi32(65535));
    v = _mm_or_si128(_mm_andnot_si128(high, v), _mm_and_si128(high, _mm_set1_epi32(65535)));
    return packUnsigned16(v, v);
#endif
}

template <class T> void sqCubicColumn(T* dst, int32_t count, const float* w, const float* const* r) {
    const __m128 wv[4] = {_mm_set1_ps(w[0]), _mm_set1_ps(w[1]), _mm_set1_ps(w[2]), _mm_set1_ps(w[3])};
    int32_t n = 0;
    for (; n + 4 <= count; n += 4) {
        const __m128 s = cubicColumnSum4(r, wv, n);
        if constexpr (std::is_same_v<T, float>) {
            _mm_storeu_ps(dst + n, s);
        } else if constexpr (std::is_same_v<T, uint8_t>) {
            const __m128i v = _mm_packs_epi32(truncateHalfUp(s, false), _mm_setzero_si128());
            store4(dst + n, uint32_t(_mm_cvtsi128_si32(_mm_packus_epi16(v, v))));
        } else if constexpr (std::is_same_v<T, uint16_t>) {
            put64(dst + n, saturate16u(truncateHalfUp(s, false)));
        } else {
            const __m128i v = truncateHalfUp(s, true);
            put64(dst + n, _mm_packs_epi32(v, v));
        }
    }
    for (; n < count; ++n)
        dst[n] = cubicSample<T>(cubicColumnSum(r, w, n));
}

template <class T> void sqCubicColumnAC4(T* dst, int32_t pixels, const float* w, const float* const* r) {
    for (int32_t j = 0; j < pixels; ++j)
        for (int k = 0; k < 3; ++k)
            dst[4 * j + k] = cubicSample<T>(cubicColumnSum(r, w, 3 * j + k));
}

template <class T, bool Plane>
void sqCubicPass(const void* src, void* dst, int32_t srcStep, int32_t dstStep, int32_t width, int32_t height,
                 const int32_t* rowOffsets, const int32_t* colOffsets, const float* rowWeights, const float* colWeights,
                 float* w0, float* w1, float* w2, float* w3, int32_t pixelStride, int32_t channelCount) {
    const T* s = static_cast<const T*>(src);
    T* d = static_cast<T*>(dst);
    const prim::resample::PassLayout layout(Plane, pixelStride, channelCount);
    float* const work[4] = {w0, w1, w2, w3};
    prim::resample::ringPass<4>(
        srcStep, height, rowOffsets, work,
        [&](int32_t offset, float* out) {
            const T* row = s + offset;
            if (Plane)
                sqCubicRowC1(row, width, colOffsets, colWeights, out);
            else if (layout.channels == 3)
                sqCubicRowPixel<T, 3>(row, width, layout.next, colOffsets, colWeights, out);
            else
                sqCubicRowPixel<T, 4>(row, width, 4, colOffsets, colWeights, out);
        },
        [&](int32_t i, float* const* rows) {
            T* drow = d + static_cast<ptrdiff_t>(i) * dstStep;
            const float* w = rowWeights + 4 * i;
            if (layout.threeOfFour)
                sqCubicColumnAC4(drow, width, w, rows);
            else
                sqCubicColumn(drow, width * layout.channels, w, rows);
        });
}

// Cubic border passes: the frame of rows and columns whose taps leave the
// source, taps clamped to the image, single-precision sums in fixed orders.
//   Top and bottom rows: every column clamps its own four taps and sums its
//     four products from the highest tap down, ((p3 + p2) + p1) + p0 (the
//     row of tap 1 in the bottom rows as ((p1 + p2) + p3) + p0). Top rows
//     merge the vertical taps that fall on row 0; bottom rows keep four
//     taps on the clamped rows.
//   Side columns of the rows between: the horizontal taps that fall on the
//     edge column are merged into one product with the summed weight.
//   Vertical sums ((q1 + q2) + q3) + q0 but for the top rows.
// Integer results: the float sum widened to double, rounded as the generic
// path rounds (signed halves away from zero), saturated.
template <class T, bool Plane>
void borderCubic(const void* srcV, void* dstV, int32_t srcStep, int32_t dstStep, int32_t srcWidth, int32_t srcHeight,
                 int32_t width, int32_t height, const int32_t* rowOffsets, const int32_t* colOffsets,
                 const float* rowWeights, const float* colWeights, int32_t topOut, int32_t bottomOut, int32_t leftOut,
                 int32_t rightOut, int32_t top, int32_t bottom, int32_t left, int32_t right, int32_t pixelStride,
                 int32_t channels) {
    const T* src = static_cast<const T*>(srcV);
    T* dst = static_cast<T*>(dstV);
    const int32_t n = Plane ? 1 : channels == 3 ? 3 : 4;
    const ptrdiff_t px = Plane ? 1 : channels == 3 ? pixelStride : 4;
    const int32_t lastCol = srcWidth - 1, lastRow = srcHeight - 1;
    auto at = [&](int32_t row, int32_t col, int32_t k) {
        return toFloat(src[static_cast<ptrdiff_t>(row) * srcStep + col * px + k]);
    };
    auto clampCol = [&](int32_t c) { return c < 0 ? 0 : c > lastCol ? lastCol : c; };
    auto put = [&](int32_t i, int32_t j, int32_t k, float v) {
        dst[static_cast<ptrdiff_t>(i) * dstStep + j * px + k] = prim::resample::toSample<T>(double(v));
    };
    // Four clamped products of a row, summed from the highest tap down (or
    // tap 1 first).
    auto rowSum = [&](int32_t row, int32_t j, int32_t k, bool tapOneFirst) {
        const int32_t fx = static_cast<int32_t>(colOffsets[j] / px);
        const float* w = colWeights + 4 * j;
        float p[4];
        for (int t = 0; t < 4; ++t)
            p[t] = at(row, clampCol(fx - 1 + t), k) * w[t];
        return tapOneFirst ? ((p[1] + p[2]) + p[3]) + p[0] : ((p[3] + p[2]) + p[1]) + p[0];
    };
    // Side columns: the taps on the edge column merged.
    auto sideSum = [&](int32_t row, int32_t j, int32_t k, bool leftSide, bool outside) {
        const float* w = colWeights + 4 * j;
        if (leftSide)
            return outside ? at(row, 1, k) * w[3] + at(row, 0, k) * ((w[0] + w[1]) + w[2])
                           : (at(row, 2, k) * w[3] + at(row, 1, k) * w[2]) + at(row, 0, k) * (w[0] + w[1]);
        return outside ? at(row, lastCol, k) * ((w[1] + w[2]) + w[3]) + at(row, lastCol - 1, k) * w[0]
                       : (at(row, lastCol, k) * (w[2] + w[3]) + at(row, lastCol - 1, k) * w[1]) +
                             at(row, lastCol - 2, k) * w[0];
    };
    auto vertical = [](const float* q) { return ((q[1] + q[2]) + q[3]) + q[0]; };

    for (int32_t i = 0; i < top; ++i) {
        const float* wy = rowWeights + 4 * i;
        for (int32_t j = 0; j < width; ++j)
            for (int32_t k = 0; k < n; ++k) {
                const float r0 = rowSum(0, j, k, false), r1 = rowSum(1, j, k, false);
                float v;
                if (i < topOut)
                    v = r1 * wy[3] + r0 * ((wy[0] + wy[1]) + wy[2]);
                else
                    v = (r1 * wy[2] + rowSum(2, j, k, false) * wy[3]) + r0 * (wy[0] + wy[1]);
                put(i, j, k, v);
            }
    }
    const int32_t middleEnd = height - bottom;
    for (int32_t i = top; i < middleEnd; ++i) {
        const float* wy = rowWeights + 4 * i;
        const int32_t fy = srcStep != 0 ? rowOffsets[i] / srcStep : 0;
        auto side = [&](int32_t j, bool leftSide, bool outside) {
            for (int32_t k = 0; k < n; ++k) {
                float q[4];
                for (int t = 0; t < 4; ++t)
                    q[t] = sideSum(fy - 1 + t, j, k, leftSide, outside) * wy[t];
                put(i, j, k, vertical(q));
            }
        };
        for (int32_t j = 0; j < left; ++j)
            side(j, true, j < leftOut);
        for (int32_t j = width - right; j < width; ++j)
            side(j, false, j >= width - rightOut);
    }
    for (int32_t i = middleEnd > top ? middleEnd : top; i < height; ++i) {
        const float* wy = rowWeights + 4 * i;
        const int32_t fy = srcStep != 0 ? rowOffsets[i] / srcStep : 0;
        const int32_t rows[4] = {fy > lastRow - 1 ? lastRow - 1 : lastRow - 2, fy > lastRow - 1 ? lastRow : lastRow - 1,
                                 lastRow, lastRow};
        for (int32_t j = 0; j < width; ++j)
            for (int32_t k = 0; k < n; ++k) {
                float q[4];
                for (int t = 0; t < 4; ++t)
                    q[t] = rowSum(rows[t], j, k, t == 1) * wy[t];
                put(i, j, k, vertical(q));
            }
    }
}

// Cubic weights: the four tap distances formed in single precision from
// -1 - t, the filter evaluated in double precision, each weight rounded to
// float.
template <double (*Filter)(double)> void sqCubicWeights(const float* fractions, int32_t count, float* weights) {
    for (int32_t i = 0; i < count; ++i) {
        const float d = -1.0f - fractions[i];
        const float distances[4] = {d, 1.0f + d, 2.0f + d, d + 3.0f};
        for (int k = 0; k < 4; ++k) {
            const double a = distances[k] < 0.0f ? -double(distances[k]) : double(distances[k]);
            weights[4 * i + k] = a >= 2.0 ? 0.0f : static_cast<float>(Filter(a));
        }
    }
}

// ---------------------------------------------------------------------------
// General-engine cubic: the Lagrange cubic through taps a, b, c, d (at -1,
// 0, 1, 2) evaluated at the fraction t by forward differences,
//   value = a + s1 d1 + h d2 + g d3, s1 = t + 1, h = t s1 / 2, g = (t - 1) h / 3,
// in single precision. The evaluation order is part of the result; each
// class of samples has its own (written once for one float or four lanes):
//   RowVector       row kernels' groups of four, three- and four-sample rows
//   RowVectorFloat  groups of four of the one-sample float row kernel
//   ColumnVector    column kernels' groups of four
//   RowScalar       the last count mod 4 positions of one-sample rows
//   ColumnScalar    the last count mod 4 samples of a column run
//   ColumnAC4Float  every sample of the float three-of-four column kernel

enum class CubicOrder { RowVector, RowVectorFloat, ColumnVector, RowScalar, ColumnScalar, ColumnAC4Float };

// The float just below 1/3, which the vector orders multiply by.
constexpr float kThird = 0.333333313465118408203125f;

template <CubicOrder O, class V> inline V genCubic(V a, V b, V c, V d, V t) {
    constexpr bool vector = O == CubicOrder::RowVector || O == CubicOrder::RowVectorFloat ||
                            O == CubicOrder::ColumnVector;
    const V s1 = t + 1.0f;
    const V h = vector ? (t * 0.5f) * s1 : (t * s1) * 0.5f;
    V g;
    if constexpr (O == CubicOrder::RowVectorFloat)
        g = (t - 1.0f) * (h * kThird);
    else if constexpr (vector)
        g = ((t - 1.0f) * kThird) * h;
    else
        g = ((t - 1.0f) * h) / 3.0f;
    const V d1 = b - a;
    if constexpr (O == CubicOrder::ColumnAC4Float) {
        const V d2 = (c - d1) - b;
        const V d3 = (((d - d2) - c) - c) + b;
        return ((g * d3 + h * d2) + s1 * d1) + a;
    } else {
        const V d2 = (c - b) - d1;
        if constexpr (O == CubicOrder::RowScalar) {
            const V d3 = (((b - c) - c) + d) - d2;
            return ((a + g * d3) + h * d2) + s1 * d1;
        } else if constexpr (O == CubicOrder::ColumnScalar) {
            const V d3 = (((d - c) - c) + b) - d2;
            return ((a + g * d3) + h * d2) + s1 * d1;
        } else if constexpr (O == CubicOrder::ColumnVector) {
            const V d3 = (d - d2) + ((b - c) - c);
            return (a + s1 * d1) + (h * d2 + g * d3);
        } else {
            const V d3 = ((d - c) - c) + (b - d2);
            return (a + s1 * d1) + (h * d2 + g * d3);
        }
    }
}

// One-sample rows: groups of four positions, then single positions.
template <class T>
void genCubicRowC1(const T* row, int32_t width, const int32_t* co, const float* t, float* out) {
    constexpr CubicOrder vectorOrder = std::is_same_v<T, float> ? CubicOrder::RowVectorFloat : CubicOrder::RowVector;
    const int32_t whole = width & ~3;
    for (int32_t j = 0; j < whole; j += 4) {
        __m128 p[4];
        for (int k = 0; k < 4; ++k)
            p[k] = taps4(row + co[j + k] - 1);
        _MM_TRANSPOSE4_PS(p[0], p[1], p[2], p[3]);
        _mm_storeu_ps(out + j, genCubic<vectorOrder>(p[0], p[1], p[2], p[3], _mm_loadu_ps(t + j)));
    }
    for (int32_t j = whole; j < width; ++j) {
        const T* a = row + co[j] - 1;
        out[j] = genCubic<CubicOrder::RowScalar>(toFloat(a[0]), toFloat(a[1]), toFloat(a[2]), toFloat(a[3]), t[j]);
    }
}

// Pixels of N samples, one pixel per step, the samples in the lanes.
template <class T, int N>
void genCubicRowPixel(const T* row, int32_t width, int32_t next, const int32_t* co, const float* t, float* out) {
    for (int32_t j = 0; j < width; ++j) {
        const T* a = row + co[j];
        __m128 s[4];
        for (int k = 0; k < 3; ++k)
            s[k] = taps4(a + (k - 1) * next);
        s[3] = N == 3 && next == 3 ? taps3(a + 2 * next) : taps4(a + 2 * next);
        const __m128 v = genCubic<CubicOrder::RowVector>(s[0], s[1], s[2], s[3], _mm_set1_ps(t[j]));
        if (N == 4 || j + 1 < width) {
            _mm_storeu_ps(out + N * j, v);
        } else {
            alignas(16) float lanes[4];
            _mm_store_ps(lanes, v);
            out[3 * j] = lanes[0];
            out[3 * j + 1] = lanes[1];
            out[3 * j + 2] = lanes[2];
        }
    }
}

// Four vector-order results to samples: + 0.50000012 in single precision,
// truncation, saturation. Scalar-order results round through the generic
// conversion (+ 0.5000001 in double).
template <class T> inline void storeGenCubic4(T* dst, __m128 v) {
    if constexpr (std::is_same_v<T, float>) {
        _mm_storeu_ps(dst, v);
    } else if constexpr (std::is_same_v<T, uint8_t>) {
        const __m128i n = _mm_packs_epi32(truncateHalfUp(v, false), _mm_setzero_si128());
        store4(dst, uint32_t(_mm_cvtsi128_si32(_mm_packus_epi16(n, n))));
    } else {
        put64(dst, saturate16u(truncateHalfUp(v, false)));
    }
}

template <class T>
void genCubicColumn(T* dst, int32_t count, float t, const float* const* r) {
    const __m128 tv = _mm_set1_ps(t);
    const int32_t whole = count & ~3;
    for (int32_t n = 0; n < whole; n += 4)
        storeGenCubic4(dst + n, genCubic<CubicOrder::ColumnVector>(_mm_loadu_ps(r[0] + n), _mm_loadu_ps(r[1] + n),
                                                                   _mm_loadu_ps(r[2] + n), _mm_loadu_ps(r[3] + n), tv));
    for (int32_t n = whole; n < count; ++n)
        dst[n] = prim::resample::toSample<T>(
            double(genCubic<CubicOrder::ColumnScalar>(r[0][n], r[1][n], r[2][n], r[3][n], t)));
}

// Three of four samples written: work sample n = 3 i + m goes to sample m
// of pixel i. Integer kinds take groups of four work samples in the vector
// order, floats every sample in their own order.
template <class T>
void genCubicColumnAC4(T* dst, int32_t pixels, float t, const float* const* r) {
    const int32_t count = 3 * pixels;
    const int32_t whole = std::is_same_v<T, float> ? 0 : count & ~3;
    const __m128 tv = _mm_set1_ps(t);
    for (int32_t n = 0; n < whole; n += 4) {
        alignas(16) T lanes[8];
        storeGenCubic4(lanes, genCubic<CubicOrder::ColumnVector>(_mm_loadu_ps(r[0] + n), _mm_loadu_ps(r[1] + n),
                                                                 _mm_loadu_ps(r[2] + n), _mm_loadu_ps(r[3] + n), tv));
        for (int k = 0; k < 4; ++k)
            dst[4 * ((n + k) / 3) + (n + k) % 3] = lanes[k];
    }
    constexpr CubicOrder order =
        std::is_same_v<T, float> ? CubicOrder::ColumnAC4Float : CubicOrder::ColumnScalar;
    for (int32_t n = whole; n < count; ++n)
        dst[4 * (n / 3) + n % 3] =
            prim::resample::toSample<T>(double(genCubic<order>(r[0][n], r[1][n], r[2][n], r[3][n], t)));
}

template <class T, bool Plane>
void genCubicPass(const void* src, void* dst, int32_t srcStep, int32_t dstStep, int32_t width, int32_t height,
                  const int32_t* rowOffsets, const int32_t* colOffsets, const float* rowPositions,
                  const float* colPositions, float* w0, float* w1, float* w2, float* w3, int32_t pixelStride,
                  int32_t channelCount) {
    const T* s = static_cast<const T*>(src);
    T* d = static_cast<T*>(dst);
    const prim::resample::PassLayout layout(Plane, pixelStride, channelCount);
    float* const work[4] = {w0, w1, w2, w3};
    prim::resample::ringPass<4>(
        srcStep, height, rowOffsets, work,
        [&](int32_t offset, float* out) {
            const T* row = s + offset;
            if (Plane)
                genCubicRowC1(row, width, colOffsets, colPositions, out);
            else if (layout.channels == 3)
                genCubicRowPixel<T, 3>(row, width, layout.next, colOffsets, colPositions, out);
            else
                genCubicRowPixel<T, 4>(row, width, 4, colOffsets, colPositions, out);
        },
        [&](int32_t i, float* const* rows) {
            T* drow = d + static_cast<ptrdiff_t>(i) * dstStep;
            if (layout.threeOfFour)
                genCubicColumnAC4(drow, width, rowPositions[i], rows);
            else
                genCubicColumn(drow, width * layout.channels, rowPositions[i], rows);
        });
}

#define VQ_LINEAR(K, plane) linearPass<K, plane>

} // namespace

} // namespace prim::VQ_PATH_NS

#include "primitives/resample/lanczos_simd.inl"

namespace prim::VQ_PATH_NS {

void lanczos3Weights(const float* fractions, int32_t count, float* taps) {
    lanczos3WeightsKernel(fractions, count, taps);
}

// The path's row routines.
const ResizeRowRoutineTable resizeRowRoutineTable = {
    {nearestPass<uint8_t, 3>, nearestPass<uint16_t, 3>, nearestPass<uint32_t, 3>, nearestPass<uint16_t, 3>,
     nearestPass<uint8_t, 1>, nearestPass<uint16_t, 1>, nearestPass<uint32_t, 1>, nearestPass<uint16_t, 1>,
     nearestPass<uint8_t, 4>, nearestPass<uint16_t, 4>, nearestPass<uint32_t, 4>, nearestPass<uint16_t, 4>},
    {VQ_LINEAR(Linear8u, false), VQ_LINEAR(Linear16u, false), VQ_LINEAR(Linear32f, false),
     VQ_LINEAR(Linear16s, false), VQ_LINEAR(Linear8u, true), VQ_LINEAR(Linear16u, true), VQ_LINEAR(Linear32f, true),
     VQ_LINEAR(Linear16s, true)},
    {genCubicPass<uint8_t, false>, genCubicPass<uint16_t, false>, genCubicPass<float, false>,
     genCubicPass<uint8_t, true>, genCubicPass<uint16_t, true>, genCubicPass<float, true>},
    {sqCubicPass<uint8_t, false>, sqCubicPass<uint16_t, false>, sqCubicPass<float, false>, sqCubicPass<int16_t, false>,
     sqCubicPass<uint8_t, true>, sqCubicPass<uint16_t, true>, sqCubicPass<float, true>, sqCubicPass<int16_t, true>},
    {genLanczosPassKernel<uint8_t, false>, genLanczosPassKernel<uint16_t, false>, genLanczosPassKernel<float, false>,
     genLanczosPassKernel<uint8_t, true>, genLanczosPassKernel<uint16_t, true>, genLanczosPassKernel<float, true>},
    {sqLanczosPassKernel<uint8_t, false>, sqLanczosPassKernel<uint16_t, false>, sqLanczosPassKernel<float, false>,
     sqLanczosPassKernel<int16_t, false>, sqLanczosPassKernel<uint8_t, true>, sqLanczosPassKernel<uint16_t, true>,
     sqLanczosPassKernel<float, true>, sqLanczosPassKernel<int16_t, true>},
};
#undef VQ_LINEAR

namespace {
const SqBorderLinearFn borderLinearPlane[4] = {borderLinear<uint8_t, true>, borderLinear<uint16_t, true>,
                                               borderLinear<float, true>, borderLinear<int16_t, true>};
const SqBorderLinearFn borderLinearPixel[4] = {borderLinear<uint8_t, false>, borderLinear<uint16_t, false>,
                                               borderLinear<float, false>, borderLinear<int16_t, false>};
const SqBorderCubicFn borderCubicPlane[4] = {borderCubic<uint8_t, true>, borderCubic<uint16_t, true>,
                                             borderCubic<float, true>, borderCubic<int16_t, true>};
const SqBorderCubicFn borderCubicPixel[4] = {borderCubic<uint8_t, false>, borderCubic<uint16_t, false>,
                                             borderCubic<float, false>, borderCubic<int16_t, false>};
const SqBorderLanczosFn borderLanczosPlane[4] = {
    sqBorderLanczosKernel<uint8_t, true>, sqBorderLanczosKernel<uint16_t, true>, sqBorderLanczosKernel<float, true>,
    sqBorderLanczosKernel<int16_t, true>};
const SqBorderLanczosFn borderLanczosPixel[4] = {
    sqBorderLanczosKernel<uint8_t, false>, sqBorderLanczosKernel<uint16_t, false>,
    sqBorderLanczosKernel<float, false>, sqBorderLanczosKernel<int16_t, false>};
const SqWeightsFn cubicWeights[4] = {sqCubicWeights<prim::resample::cubicLagrange>,
                                     sqCubicWeights<prim::resample::cubicBSpline>,
                                     sqCubicWeights<prim::resample::cubicCatmullRom>,
                                     sqCubicWeights<prim::resample::cubicB05C03>};
} // namespace

// The path's square-pixel kernels; families without path code yet share the
// generic tables.
const ResizeSqKernels resizeSqKernels = {
    &resizeRowRoutineTable,
    borderLinearPlane,
    borderLinearPixel,
    borderCubicPlane,
    borderCubicPixel,
    borderLanczosPlane,
    borderLanczosPixel,
    cubicWeights,
    lanczos3Weights,
    moveVector<2>,
    moveVector<4>,
    generic::resizeSqEdgeBlend,
    generic::resizeSqEdgeFade,
    generic::resizeSqSuperSampleKernels,
#if VQ_PATH_LEVEL == 1
    p1::resizeSqSuperSampleWholeKernels,
#else
    p2::resizeSqSuperSampleWholeKernels, // paths 2-5 share one set
#endif
};

} // namespace prim::VQ_PATH_NS
