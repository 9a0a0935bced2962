// Area averaging of one processor path (included by supersample_p<N>.cpp
// after simd_path.h): the row accumulators (path 1, which every path
// shares: their sums do not depend on the instruction set), the general
// engine's workers, the square-pixel engine's whole-ratio kernels and the
// float box sums, all from the shared bodies of super_sample_body.h.
//
// The float arithmetic of the SIMD paths rounds every product and every
// addition to single precision: a weighted row sample is added as
// s + float(x * w), a weighted column as float(column * w), and runs of
// whole columns are added in the path's lane order:
//   - path 1: one-sample runs in four lanes after the columns that reach a
//     16-byte boundary, combined as (0 + 2) + (1 + 3); pixel runs left to
//     right;
//   - paths 2-5: one-sample runs in two four-lane accumulators over blocks
//     of eight columns, combined lane-wise and then as (0 + 1) + (2 + 3);
//     pixel runs as two interleaved sums (odd and even columns).

#include <cstddef>
#include <cstdint>

#include "primitives/resample/super_sample.h"
#include "primitives/resample/super_sample_body.h"

namespace prim::VQ_PATH_NS {
namespace {

using std::ptrdiff_t;

#if VQ_PATH_LEVEL == 1

// Four samples widened to four 32-bit lanes (zero- or sign-extended).
inline __m128i widen4(const uint8_t* p) {
    uint32_t v;
    __builtin_memcpy(&v, p, 4);
    const __m128i z = _mm_setzero_si128();
    return _mm_unpacklo_epi16(_mm_unpacklo_epi8(_mm_cvtsi32_si128(static_cast<int>(v)), z), z);
}
inline __m128i widen4(const uint16_t* p) {
    return _mm_unpacklo_epi16(_mm_loadl_epi64(reinterpret_cast<const __m128i*>(p)), _mm_setzero_si128());
}
inline __m128i widen4(const int16_t* p) {
    const __m128i v = _mm_loadl_epi64(reinterpret_cast<const __m128i*>(p));
    return _mm_srai_epi32(_mm_unpacklo_epi16(v, v), 16);
}

template <class T> inline const T* rowOf(const T* src, int32_t step, int32_t r) {
    return reinterpret_cast<const T*>(reinterpret_cast<const uint8_t*>(src) + static_cast<ptrdiff_t>(r) * step);
}

// One 16-byte load widened to 32-bit lanes: sixteen 8-bit samples into four
// registers, eight 16-bit samples into two.
inline void widenBlock(const uint8_t* p, __m128i* out) {
    const __m128i z = _mm_setzero_si128();
    const __m128i v = _mm_loadu_si128(reinterpret_cast<const __m128i*>(p));
    const __m128i lo = _mm_unpacklo_epi8(v, z), hi = _mm_unpackhi_epi8(v, z);
    out[0] = _mm_unpacklo_epi16(lo, z);
    out[1] = _mm_unpackhi_epi16(lo, z);
    out[2] = _mm_unpacklo_epi16(hi, z);
    out[3] = _mm_unpackhi_epi16(hi, z);
}
inline void widenBlock(const uint16_t* p, __m128i* out) {
    const __m128i z = _mm_setzero_si128();
    const __m128i v = _mm_loadu_si128(reinterpret_cast<const __m128i*>(p));
    out[0] = _mm_unpacklo_epi16(v, z);
    out[1] = _mm_unpackhi_epi16(v, z);
}
inline void widenBlock(const int16_t* p, __m128i* out) {
    const __m128i v = _mm_loadu_si128(reinterpret_cast<const __m128i*>(p));
    out[0] = _mm_srai_epi32(_mm_unpacklo_epi16(v, v), 16);
    out[1] = _mm_srai_epi32(_mm_unpackhi_epi16(v, v), 16);
}

// Integer column sums of `count` consecutive samples: one 16-byte load of
// columns per block (sixteen 8-bit or eight 16-bit samples) with the sums
// held in registers down all rows, then blocks of eight, then one column at
// a time. Integer sums do not depend on the grouping.
template <class T> void sumIntegerRun(const T* src, int32_t step, int32_t count, int32_t rows, int32_t* sums) {
    constexpr int32_t block = 16 / int32_t(sizeof(T));
    constexpr int32_t regs = block / 4;
    int32_t x = 0;
    for (; x + block <= count; x += block) {
        __m128i a[regs], w[regs];
        for (int k = 0; k < regs; ++k)
            a[k] = _mm_setzero_si128();
        for (int32_t r = 0; r < rows; ++r) {
            widenBlock(rowOf(src, step, r) + x, w);
            for (int k = 0; k < regs; ++k)
                a[k] = _mm_add_epi32(a[k], w[k]);
        }
        for (int k = 0; k < regs; ++k)
            _mm_storeu_si128(reinterpret_cast<__m128i*>(sums + x + 4 * k), a[k]);
    }
    for (; x + 8 <= count; x += 8) {
        __m128i a = _mm_setzero_si128(), b = _mm_setzero_si128();
        for (int32_t r = 0; r < rows; ++r) {
            const T* p = rowOf(src, step, r) + x;
            a = _mm_add_epi32(a, widen4(p));
            b = _mm_add_epi32(b, widen4(p + 4));
        }
        _mm_storeu_si128(reinterpret_cast<__m128i*>(sums + x), a);
        _mm_storeu_si128(reinterpret_cast<__m128i*>(sums + x + 4), b);
    }
    for (; x < count; ++x) {
        uint32_t s = 0;
        for (int32_t r = 0; r < rows; ++r)
            s += static_cast<uint32_t>(int32_t(rowOf(src, step, r)[x]));
        sums[x] = static_cast<int32_t>(s);
    }
}

// Float column sums of `count` consecutive samples, each row's addition
// rounded to float; columns from `doubleFrom` on are summed in double
// precision and rounded once.
void sumFloatRun(const float* src, int32_t step, int32_t count, int32_t rows, float* sums, int32_t doubleFrom) {
    int32_t x = 0;
    for (; x + 16 <= doubleFrom; x += 16) {
        __m128 a[4] = {_mm_setzero_ps(), _mm_setzero_ps(), _mm_setzero_ps(), _mm_setzero_ps()};
        for (int32_t r = 0; r < rows; ++r) {
            const float* p = rowOf(src, step, r) + x;
            for (int k = 0; k < 4; ++k)
                a[k] = _mm_add_ps(a[k], _mm_loadu_ps(p + 4 * k));
        }
        for (int k = 0; k < 4; ++k)
            _mm_storeu_ps(sums + x + 4 * k, a[k]);
    }
    for (; x + 4 <= doubleFrom; x += 4) {
        __m128 a = _mm_setzero_ps();
        for (int32_t r = 0; r < rows; ++r)
            a = _mm_add_ps(a, _mm_loadu_ps(rowOf(src, step, r) + x));
        _mm_storeu_ps(sums + x, a);
    }
    for (; x < doubleFrom; ++x) {
        float s = 0.0f;
        for (int32_t r = 0; r < rows; ++r)
            s += rowOf(src, step, r)[x];
        sums[x] = s;
    }
    for (; x < count; ++x) {
        double s = 0.0;
        for (int32_t r = 0; r < rows; ++r)
            s += rowOf(src, step, r)[x];
        sums[x] = static_cast<float>(s);
    }
}

template <class T> void sumRun(const T* src, int32_t step, int32_t count, int32_t rows, int32_t* sums) {
    sumIntegerRun(src, step, count, rows, sums);
}
void sumRun(const float* src, int32_t step, int32_t count, int32_t rows, float* sums) {
    sumFloatRun(src, step, count, rows, sums, count);
}

template <class T, class S> void accumulatePlane(const T* src, int32_t step, int32_t width, int32_t height, S* sums) {
    if (width <= 0 || height <= 0)
        return;
    if constexpr (std::is_same_v<T, float>)
        // The columns after the last block of sixteen keep double sums.
        sumFloatRun(src, step, width, height, sums, width - width % 16);
    else
        sumRun(src, step, width, height, sums);
}

template <class T, class S> void accumulateC4(const T* src, int32_t step, int32_t width, int32_t height, S* sums) {
    if (width > 0 && height > 0)
        sumRun(src, step, 4 * width, height, sums);
}

// Three samples of each pixel: packed pixels are one run of samples; pixels
// of four samples are summed whole and their fourth sums dropped.
template <class T, class S>
void accumulateC3(const T* src, int32_t step, int32_t width, int32_t height, S* sums, int32_t stride) {
    if (width <= 0 || height <= 0)
        return;
    if (stride == 3) {
        sumRun(src, step, 3 * width, height, sums);
        return;
    }
    for (int32_t x = 0; x < width; ++x) {
        const ptrdiff_t e = static_cast<ptrdiff_t>(x) * stride;
        if constexpr (std::is_same_v<T, float>) {
            if (stride == 4) {
                __m128 a = _mm_setzero_ps();
                for (int32_t r = 0; r < height; ++r)
                    a = _mm_add_ps(a, _mm_loadu_ps(rowOf(src, step, r) + e));
                alignas(16) float v[4];
                _mm_store_ps(v, a);
                sums[e] = v[0], sums[e + 1] = v[1], sums[e + 2] = v[2];
                continue;
            }
            float s[3] = {0, 0, 0};
            for (int32_t r = 0; r < height; ++r)
                for (int c = 0; c < 3; ++c)
                    s[c] += rowOf(src, step, r)[e + c];
            sums[e] = s[0], sums[e + 1] = s[1], sums[e + 2] = s[2];
        } else {
            if (stride == 4) {
                __m128i a = _mm_setzero_si128();
                for (int32_t r = 0; r < height; ++r)
                    a = _mm_add_epi32(a, widen4(rowOf(src, step, r) + e));
                alignas(16) int32_t v[4];
                _mm_store_si128(reinterpret_cast<__m128i*>(v), a);
                sums[e] = v[0], sums[e + 1] = v[1], sums[e + 2] = v[2];
                continue;
            }
            uint32_t s[3] = {0, 0, 0};
            for (int32_t r = 0; r < height; ++r)
                for (int c = 0; c < 3; ++c)
                    s[c] += static_cast<uint32_t>(int32_t(rowOf(src, step, r)[e + c]));
            for (int c = 0; c < 3; ++c)
                sums[e + c] = static_cast<int32_t>(s[c]);
        }
    }
}

#endif // VQ_PATH_LEVEL == 1

// Single-precision operations of the SIMD paths; Path1 selects path 1's
// lane order.
template <bool Path1> struct SimdOps {
    using Acc = float;
    static const RowAccumulators& accumulators() { return p1::rowAccumulators; }
    static float weightedRow(float s, double x, double w) { return s + static_cast<float>(x * w); }
    static float weightedColumn(float col, double w) { return static_cast<float>(double(col) * w); }
    static float sequentialRun(float v, const float* s, int32_t first, int32_t count) {
        for (int32_t k = 0; k < count; ++k)
            v += s[first + k];
        return v;
    }
    // `s` is 32-byte aligned, so column a lies on a 16-byte boundary when a
    // is a multiple of four.
    static float planeRun(float v, const float* s, int32_t a, int32_t count) {
        const int32_t lead = (4 - (a & 3)) & 3;
        const int32_t block = Path1 ? 4 : 8;
        if (count < lead + block)
            return sequentialRun(v, s, a, count);
        v = sequentialRun(v, s, a, lead);
        int32_t p = a + lead;
        const int32_t blocks = (count - lead) / block;
        __m128 x = _mm_set_ps(0.0f, 0.0f, 0.0f, v);
        __m128 y = _mm_setzero_ps();
        for (int32_t b = 0; b < blocks; ++b, p += block) {
            x = _mm_add_ps(x, _mm_load_ps(s + p));
            if (!Path1)
                y = _mm_add_ps(y, _mm_load_ps(s + p + 4));
        }
        alignas(16) float l[4];
        _mm_store_ps(l, Path1 ? x : _mm_add_ps(x, y));
        float r = Path1 ? (l[0] + l[2]) + (l[1] + l[3]) : (l[0] + l[1]) + (l[2] + l[3]);
        return sequentialRun(r, s, p, a + count - p);
    }
    static float pixelRun(float v, const float* s, int32_t first, int32_t count, int32_t stride, int32_t c) {
        auto at = [&](int32_t k) { return s[static_cast<ptrdiff_t>(first + k) * stride + c]; };
        if (Path1) {
            for (int32_t k = 0; k < count; ++k)
                v += at(k);
            return v;
        }
        float even = v, odd = 0.0f;
        const int32_t pairs = count / 2;
        for (int32_t m = 0; m < pairs; ++m) {
            even += at(2 * m);
            odd += at(2 * m + 1);
        }
        float r = pairs > 0 ? even + odd : even;
        if ((count & 1) != 0)
            r += at(count - 1);
        return r;
    }
    static const SqBoxSumFn* boxTable() { return resizeSqBoxSumTable; }
};

using Ops = SimdOps<VQ_PATH_LEVEL == 1>;

template <class T, int Shape>
void wholeKernel(const void* src, void* dst, int32_t srcStep, int32_t dstStep, int32_t srcCols, int32_t width,
                 int32_t height, int32_t top, int32_t bottom, int32_t left, int32_t right, double xRatio, double yRatio,
                 double area, int32_t pixelStride, void* work) {
    supersample::sqWholeKernel<Ops, T, Shape>(src, dst, srcStep, dstStep, srcCols, width, height, top, bottom, left,
                                              right, xRatio, yRatio, area, pixelStride, work);
}

} // namespace

#if VQ_PATH_LEVEL == 1
const RowAccumulators rowAccumulators = {
    accumulatePlane<uint8_t, int32_t>, accumulatePlane<uint16_t, int32_t>, accumulatePlane<int16_t, int32_t>,
    accumulatePlane<float, float>,     accumulateC4<uint8_t, int32_t>,     accumulateC4<uint16_t, int32_t>,
    accumulateC4<int16_t, int32_t>,    accumulateC4<float, float>,         accumulateC3<uint8_t, int32_t>,
    accumulateC3<uint16_t, int32_t>,   accumulateC3<int16_t, int32_t>,     accumulateC3<float, float>,
};
#endif

// Box sums: the path's own kernels for equal ratios, the generic ones for
// unequal ratios (the same on every path).
#define VQ_BOX_DIAGONAL(A) supersample::boxEqual32f<A, VQ_PATH_LEVEL == 1>
const SqBoxSumFn resizeSqBoxSumTable[16] = {
    VQ_BOX_DIAGONAL(2),                  generic::resizeSqBoxSumTable[1],  generic::resizeSqBoxSumTable[2],
    generic::resizeSqBoxSumTable[3],     generic::resizeSqBoxSumTable[4],  VQ_BOX_DIAGONAL(4),
    generic::resizeSqBoxSumTable[6],     generic::resizeSqBoxSumTable[7],  generic::resizeSqBoxSumTable[8],
    generic::resizeSqBoxSumTable[9],     VQ_BOX_DIAGONAL(8),               generic::resizeSqBoxSumTable[11],
    generic::resizeSqBoxSumTable[12],    generic::resizeSqBoxSumTable[13], generic::resizeSqBoxSumTable[14],
    VQ_BOX_DIAGONAL(16),
};
#undef VQ_BOX_DIAGONAL

#define VQ_WORKERS(T)                                                                                                  \
    {                                                                                                                  \
        supersample::worker<Ops, T, supersample::kPlane>, supersample::worker<Ops, T, supersample::kFour>,             \
            supersample::worker<Ops, T, supersample::kThree>                                                           \
    }
const SuperSampleSet superSampleSet = {&p1::rowAccumulators,
                                       {VQ_WORKERS(uint8_t), VQ_WORKERS(uint16_t), VQ_WORKERS(float)}};
#undef VQ_WORKERS

#define VQ_WHOLE(T)                                                                                                    \
    { wholeKernel<T, supersample::kPlane>, wholeKernel<T, supersample::kFour>, wholeKernel<T, supersample::kThree> }
const SqSuperSampleWholeFn resizeSqSuperSampleWholeKernels[4][3] = {VQ_WHOLE(uint8_t), VQ_WHOLE(uint16_t),
                                                                    VQ_WHOLE(float), VQ_WHOLE(int16_t)};
#undef VQ_WHOLE

} // namespace prim::VQ_PATH_NS
