// Separable filters of the processor paths (included by image_p1.cpp; every
// path runs this code). A packed route keeps the taps as 16-bit pairs so that
// one pair multiply-add applies two taps to four pixels, writes 32-bit sum
// rows into the call's work memory and turns them into pixels with
// divideRow32sTo8u; a direct route (short kernels, narrow regions, taps
// beyond 16 bits, no work memory) sums pixel by pixel. Both give the
// reference sums and divide them alike.

#include "primitives/core/memory.h"
#include "primitives/image/filter/filter.h"
#include "primitives/image/filter/filter_kernels.h"
#include "primitives/image/filter/filter_rules.h"

namespace prim::VQ_PATH_NS {
namespace {

// ---- division ---------------------------------------------------------------

// Shift k >= 1: q = S >> k plus the rounding of the low k bits, ties to
// even; no intermediate leaves 32 bits, so every sum saturates correctly (a
// shift of 32 or more rounds every sum to 0). Shift 0: S in single precision
// times the scale, held inside [lo, hi] before the conversion so that no
// product falls outside the 32-bit range, then rounded to nearest with ties
// to even. The caller saturates the 32-bit results to its sample type.
struct DivideLanes {
    uint32_t shift;
    __m128 scale, lo, hi;
    __m128i count, low, bias;

    DivideLanes(float s, uint32_t k, float lower = -1.0f, float upper = 256.0f)
        : shift(k), scale(_mm_set1_ps(s)), lo(_mm_set1_ps(lower)), hi(_mm_set1_ps(upper)),
          count(_mm_cvtsi32_si128(static_cast<int32_t>(k))),
          low(_mm_set1_epi32(k > 0 && k < 32 ? static_cast<int32_t>((uint32_t(1) << k) - 1) : 0)),
          bias(_mm_set1_epi32(k > 0 && k < 32 ? static_cast<int32_t>((uint32_t(1) << (k - 1)) - 1) : 0)) {}

    __m128i operator()(__m128i s) const {
        if (shift >= 32)
            return _mm_setzero_si128();
        if (shift > 0) {
            const __m128i q = _mm_sra_epi32(s, count);
            const __m128i f = _mm_and_si128(s, low);
            const __m128i odd = _mm_and_si128(q, _mm_set1_epi32(1));
            return _mm_add_epi32(q, _mm_srl_epi32(_mm_add_epi32(_mm_add_epi32(f, odd), bias), count));
        }
        __m128 w = _mm_mul_ps(_mm_cvtepi32_ps(s), scale);
        w = _mm_min_ps(_mm_max_ps(w, lo), hi);
        return _mm_cvtps_epi32(w);
    }
};

inline uint32_t packFour(__m128i v) {
    const __m128i p = _mm_packs_epi32(v, v);
    return static_cast<uint32_t>(_mm_cvtsi128_si32(_mm_packus_epi16(p, p)));
}

inline uint8_t divideOne(int32_t s, const DivideLanes& divide) {
    return static_cast<uint8_t>(packFour(divide(_mm_cvtsi32_si128(s))));
}

// count sums (16-byte aligned) to count bytes.
void divideRow32sTo8u(const int32_t* sums, int32_t count, uint8_t* dst, const DivideLanes& divide) {
    int32_t i = 0;
    for (; count - i >= 16; i += 16) {
        const __m128i a = divide(_mm_load_si128(reinterpret_cast<const __m128i*>(sums + i)));
        const __m128i b = divide(_mm_load_si128(reinterpret_cast<const __m128i*>(sums + i + 4)));
        const __m128i c = divide(_mm_load_si128(reinterpret_cast<const __m128i*>(sums + i + 8)));
        const __m128i d = divide(_mm_load_si128(reinterpret_cast<const __m128i*>(sums + i + 12)));
        store16(dst + i, _mm_packus_epi16(_mm_packs_epi32(a, b), _mm_packs_epi32(c, d)));
    }
    for (; count - i >= 4; i += 4)
        store4(dst + i, packFour(divide(_mm_load_si128(reinterpret_cast<const __m128i*>(sums + i)))));
    for (; i < count; ++i)
        dst[i] = divideOne(sums[i], divide);
}

// ---- taps -------------------------------------------------------------------

inline bool tapsFit16(const int32_t* kernel, int32_t n) {
    for (int32_t j = 0; j < n; ++j)
        if (kernel[j] > 32767 || kernel[j] < -32768)
            return false;
    return true;
}

// A 16-byte entry holding the pair (a, b) of 16-bit taps four times.
inline void putPair(int32_t* entry, int32_t a, int32_t b) {
    const int32_t lane = static_cast<int32_t>((static_cast<uint32_t>(a) & 0xFFFF) | (static_cast<uint32_t>(b) << 16));
    _mm_store_si128(reinterpret_cast<__m128i*>(entry), _mm_set1_epi32(lane));
}

inline __m128i entryAt(const int32_t* table, int32_t i) {
    return _mm_load_si128(reinterpret_cast<const __m128i*>(table + 4 * i));
}

// Eight pixels of row a interleaved with eight of row b (or with zeros),
// widened to two registers of (a, b) 16-bit pairs: pixels 0-3 and 4-7.
inline void pairPixels(const uint8_t* a, const uint8_t* b, __m128i& lo, __m128i& hi) {
    const __m128i z = _mm_setzero_si128();
    const __m128i bytes = _mm_unpacklo_epi8(load8(a), b ? load8(b) : z);
    lo = _mm_unpacklo_epi8(bytes, z);
    hi = _mm_unpackhi_epi8(bytes, z);
}

// ---- row filter ---------------------------------------------------------------

// T(k) = kernel[n - 1 - k] applied to src[x + k]. Entry i of the packed
// kernel holds (T(2i), T(2i + 1)), the last one (T(n - 1), 0) for odd n.
void packRowKernel(const int32_t* kernel, int32_t n, int32_t* table) {
    for (int32_t i = 0; 2 * i < n; ++i)
        putPair(table + 4 * i, kernel[n - 1 - 2 * i], 2 * i + 1 < n ? kernel[n - 2 - 2 * i] : 0);
}

// Sums of one row of values: value j takes T(k) x src[j + D k] over the n
// taps of the packed table, T(k) being word k. Blocks of eight values go
// through the pair multiply-adds, the rest value by value. Reads
// src[0 .. count - 1 + D (n - 1)] only. accumulate: add to the sums there.
template <class T, int D>
void convolveValues(const T* src, int32_t* sums, int32_t count, const int32_t* table, int32_t n, bool accumulate) {
    const __m128i z = _mm_setzero_si128();
    int32_t j = 0;
    for (; count - j >= 8; j += 8) {
        __m128i accLo = z, accHi = z;
        for (int32_t i = 0; 2 * i < n; ++i) {
            const T* p = src + j + D * 2 * i;
            __m128i lo, hi;
            if constexpr (sizeof(T) == 1) {
                pairPixels(reinterpret_cast<const uint8_t*>(p),
                           2 * i + 1 < n ? reinterpret_cast<const uint8_t*>(p + D) : nullptr, lo, hi);
            } else {
                const __m128i a = loadBlock(p), b = 2 * i + 1 < n ? loadBlock(p + D) : z;
                lo = _mm_unpacklo_epi16(a, b);
                hi = _mm_unpackhi_epi16(a, b);
            }
            const __m128i taps = entryAt(table, i);
            accLo = _mm_add_epi32(accLo, _mm_madd_epi16(lo, taps));
            accHi = _mm_add_epi32(accHi, _mm_madd_epi16(hi, taps));
        }
        if (accumulate) {
            accLo = _mm_add_epi32(accLo, _mm_loadu_si128(reinterpret_cast<const __m128i*>(sums + j)));
            accHi = _mm_add_epi32(accHi, _mm_loadu_si128(reinterpret_cast<const __m128i*>(sums + j + 4)));
        }
        _mm_storeu_si128(reinterpret_cast<__m128i*>(sums + j), accLo);
        _mm_storeu_si128(reinterpret_cast<__m128i*>(sums + j + 4), accHi);
    }
    for (; j < count; ++j) {
        uint32_t sum = accumulate ? static_cast<uint32_t>(sums[j]) : 0;
        for (int32_t k = 0; k < n; ++k) {
            const int32_t lane = table[4 * (k / 2)];
            const int32_t tap = static_cast<int16_t>(k % 2 == 0 ? lane & 0xFFFF : static_cast<uint32_t>(lane) >> 16);
            sum += static_cast<uint32_t>(tap) * static_cast<uint32_t>(static_cast<int32_t>(src[j + D * k]));
        }
        sums[j] = static_cast<int32_t>(sum);
    }
}

void convolveRow8uTo32s(const uint8_t* src, int32_t* sums, int32_t width, const int32_t* table, int32_t n) {
    convolveValues<uint8_t, 1>(src, sums, width, table, n, false);
}

// 0 when it filtered the region; -6 (kernel under 3 taps or width under 16)
// or -4 (no work memory, a tap beyond 16 bits) before writing anything.
int32_t filterRow8uC1Packed(const uint8_t* src, int32_t srcStep, uint8_t* dst, int32_t dstStep, int32_t w, int32_t h,
                            const int32_t* kernel, int32_t n, int32_t anchor, const DivideLanes& divide,
                            int32_t* work) {
    if (n < 3 || w < 16)
        return primErrSize;
    if (!work || !tapsFit16(kernel, n))
        return primErrNoMemory;
    int32_t* table = work;
    int32_t* sums = work + 4 * n;
    packRowKernel(kernel, n, table);
    for (int32_t y = 0; y < h; ++y) {
        convolveRow8uTo32s(rowAt(src, y, srcStep) + (int64_t(anchor) - n + 1), sums, w, table, n);
        divideRow32sTo8u(sums, w, rowAt(dst, y, dstStep), divide);
    }
    return primNoErr;
}

// ---- column filter ------------------------------------------------------------

// Two output rows share the window rows R0 .. Rn (the first row's window is
// R0 .. R(n-1), the second's R1 .. Rn). Pair m couples rows R(2m) and
// R(2m + 1); entry 2m of the table holds the first row's taps for it,
// (T(2m), T(2m + 1)), entry 2m + 1 the second row's, (T(2m - 1), T(2m)),
// with T(i) = kernel[n - 1 - i] and 0 outside 0 .. n - 1. The first row's
// entries alone are the table of a single row.
void packColumnTaps(const int32_t* kernel, int32_t n, int32_t* table) {
    auto tap = [&](int32_t i) { return i < 0 || i >= n ? 0 : kernel[n - 1 - i]; };
    for (int32_t m = 0; 2 * m <= n; ++m) {
        putPair(table + 8 * m, tap(2 * m), tap(2 * m + 1));
        putPair(table + 8 * m + 4, tap(2 * m - 1), tap(2 * m));
    }
}

// Sums of one output row (sumsB null, rows R0 .. R(n-1)) or of two (rows
// R0 .. Rn). No row outside the window is read, and no pixel past the width.
void convolveColumn8uTo32s(const uint8_t* top, int32_t srcStep, int32_t width, const int32_t* table,
                           const int32_t* kernel, int32_t n, int32_t* sumsA, int32_t* sumsB) {
    const int32_t lastRow = sumsB ? n : n - 1;
    int32_t x = 0;
    for (; width - x >= 8; x += 8) {
        __m128i aLo = _mm_setzero_si128(), aHi = aLo, bLo = aLo, bHi = aLo;
        for (int32_t m = 0; 2 * m <= lastRow; ++m) {
            const uint8_t* r0 = rowAt(top, 2 * m, srcStep) + x;
            const uint8_t* r1 = 2 * m + 1 <= lastRow ? rowAt(top, 2 * m + 1, srcStep) + x : nullptr;
            __m128i lo, hi;
            pairPixels(r0, r1, lo, hi);
            const __m128i tapsA = entryAt(table, 2 * m);
            aLo = _mm_add_epi32(aLo, _mm_madd_epi16(lo, tapsA));
            aHi = _mm_add_epi32(aHi, _mm_madd_epi16(hi, tapsA));
            if (sumsB) {
                const __m128i tapsB = entryAt(table, 2 * m + 1);
                bLo = _mm_add_epi32(bLo, _mm_madd_epi16(lo, tapsB));
                bHi = _mm_add_epi32(bHi, _mm_madd_epi16(hi, tapsB));
            }
        }
        _mm_storeu_si128(reinterpret_cast<__m128i*>(sumsA + x), aLo);
        _mm_storeu_si128(reinterpret_cast<__m128i*>(sumsA + x + 4), aHi);
        if (sumsB) {
            _mm_storeu_si128(reinterpret_cast<__m128i*>(sumsB + x), bLo);
            _mm_storeu_si128(reinterpret_cast<__m128i*>(sumsB + x + 4), bHi);
        }
    }
    for (; x < width; ++x) {
        sumsA[x] = frule::convolveOne(kernel, n, [&](int32_t i) { return uint32_t(rowAt(top, i, srcStep)[x]); });
        if (sumsB)
            sumsB[x] =
                frule::convolveOne(kernel, n, [&](int32_t i) { return uint32_t(rowAt(top, i + 1, srcStep)[x]); });
    }
}

int32_t filterColumn8uC1Packed(const uint8_t* src, int32_t srcStep, uint8_t* dst, int32_t dstStep, int32_t w,
                               int32_t h, const int32_t* kernel, int32_t n, int32_t anchor,
                               const DivideLanes& divide, int32_t* work) {
    if (n < 3 || w < 16)
        return primErrSize;
    if (!work || !tapsFit16(kernel, n))
        return primErrNoMemory;
    int32_t* table = work;
    int32_t* sumsA = work + 8 * n;
    int32_t* sumsB = sumsA + ((w + 3) & ~3);
    packColumnTaps(kernel, n, table);
    const uint8_t* top = rowAt(src, int64_t(anchor) - n + 1, srcStep);
    int32_t y = 0;
    for (; h - y >= 2; y += 2) {
        convolveColumn8uTo32s(rowAt(top, y, srcStep), srcStep, w, table, kernel, n, sumsA, sumsB);
        divideRow32sTo8u(sumsA, w, rowAt(dst, y, dstStep), divide);
        divideRow32sTo8u(sumsB, w, rowAt(dst, y + 1, dstStep), divide);
    }
    if (y < h) {
        convolveColumn8uTo32s(rowAt(top, y, srcStep), srcStep, w, table, kernel, n, sumsA, nullptr);
        divideRow32sTo8u(sumsA, w, rowAt(dst, y, dstStep), divide);
    }
    return primNoErr;
}

} // namespace

// ---- entries ----------------------------------------------------------------------

int32_t filterRow8uC1(const uint8_t* src, int32_t srcStep, uint8_t* dst, int32_t dstStep, PrimSize roi,
                      const int32_t* kernel, int32_t n, int32_t anchor, int32_t divisor) {
    const int32_t w = roi.width, h = roi.height;
    const int32_t status =
        frule::checkArguments(src, srcStep, dst, dstStep, w, h, kernel, n, divisor, int64_t(w) + n - 1);
    if (status != primNoErr)
        return status;
    const frule::Division division = frule::divisionOf(divisor);
    const DivideLanes divide(frule::scaleOf(divisor), division.mode == frule::kShift ? division.shift : 0);
    int32_t* work = allocFilterWork(filterRowWorkElements(w, n));
    if (filterRow8uC1Packed(src, srcStep, dst, dstStep, w, h, kernel, n, anchor, divide, work) < 0) {
        for (int32_t y = 0; y < h; ++y) {
            const uint8_t* s = rowAt(src, y, srcStep) + (int64_t(anchor) - n + 1);
            uint8_t* d = rowAt(dst, y, dstStep);
            for (int32_t x = 0; x < w; ++x)
                d[x] = divideOne(frule::convolveOne(kernel, n, [&](int32_t t) { return uint32_t(s[x + t]); }), divide);
        }
    }
    freeVector(work);
    return primNoErr;
}

int32_t filterColumn8uC1(const uint8_t* src, int32_t srcStep, uint8_t* dst, int32_t dstStep, int32_t w, int32_t h,
                         const int32_t* kernel, int32_t n, int32_t anchor, int32_t divisor) {
    const int32_t status = frule::checkArguments(src, srcStep, dst, dstStep, w, h, kernel, n, divisor, w);
    if (status != primNoErr)
        return status;
    const frule::Division division = frule::divisionOf(divisor);
    const DivideLanes divide(frule::scaleOf(divisor), division.mode == frule::kShift ? division.shift : 0);
    int32_t* work = allocFilterWork(filterColumnWorkElements(w, n));
    if (filterColumn8uC1Packed(src, srcStep, dst, dstStep, w, h, kernel, n, anchor, divide, work) < 0) {
        for (int32_t y = 0; y < h; ++y) {
            const uint8_t* top = rowAt(src, int64_t(y) + anchor - n + 1, srcStep);
            uint8_t* d = rowAt(dst, y, dstStep);
            for (int32_t x = 0; x < w; ++x)
                d[x] = divideOne(
                    frule::convolveOne(kernel, n, [&](int32_t i) { return uint32_t(rowAt(top, i, srcStep)[x]); }),
                    divide);
        }
    }
    freeVector(work);
    return primNoErr;
}

// ---- the rest of the kernel set ---------------------------------------------------

namespace {

void divideTo8u(const int32_t* sums, int32_t count, uint8_t* dst, float scale, int32_t shift) {
    divideRow32sTo8u(sums, count, dst, DivideLanes(scale, static_cast<uint32_t>(shift)));
}

void divideTo8uAC4(const int32_t* sums, int32_t count, uint8_t* dst, float scale, int32_t shift) {
    const DivideLanes divide(scale, static_cast<uint32_t>(shift));
    for (int32_t i = 0; count - i >= 4; i += 4) {
        const __m128i v = divide(_mm_loadu_si128(reinterpret_cast<const __m128i*>(sums + i)));
        const uint32_t px = packFour(v);
        const uint32_t kept = load4(dst + i);
        store4(dst + i, (px & 0x00FFFFFFu) | (kept & 0xFF000000u));
    }
}

void divideTo16s(const int32_t* sums, int32_t count, int16_t* dst, float scale, int32_t shift) {
    const DivideLanes divide(scale, static_cast<uint32_t>(shift), -32769.0f, 32768.0f);
    int32_t i = 0;
    for (; count - i >= 8; i += 8) {
        const __m128i a = divide(_mm_loadu_si128(reinterpret_cast<const __m128i*>(sums + i)));
        const __m128i b = divide(_mm_loadu_si128(reinterpret_cast<const __m128i*>(sums + i + 4)));
        storeBlock(dst + i, _mm_packs_epi32(a, b));
    }
    for (; i < count; ++i) {
        const __m128i v = _mm_packs_epi32(divide(_mm_cvtsi32_si128(sums[i])), _mm_setzero_si128());
        vrule::stAt(dst, i, static_cast<int16_t>(_mm_cvtsi128_si32(v)));
    }
}

void convolve8u(const uint8_t* src, int32_t* sums, int32_t width, const int32_t* taps, int32_t n, int32_t acc) {
    convolveValues<uint8_t, 1>(src, sums, width, taps, n, acc != 0);
}
void convolve8uC3(const uint8_t* src, int32_t* sums, int32_t width, const int32_t* taps, int32_t n, int32_t acc) {
    convolveValues<uint8_t, 3>(src, sums, 3 * width, taps, n, acc != 0);
}
void convolve8uC4(const uint8_t* src, int32_t* sums, int32_t width, const int32_t* taps, int32_t n, int32_t acc) {
    convolveValues<uint8_t, 4>(src, sums, 4 * width, taps, n, acc != 0);
}
void convolve16s(const int16_t* src, int32_t* sums, int32_t width, const int32_t* taps, int32_t n, int32_t acc) {
    convolveValues<int16_t, 1>(src, sums, width, taps, n, acc != 0);
}

} // namespace

extern const FilterKernelSet filterKernels;
const FilterKernelSet filterKernels = {divideTo8u,   divideTo8uAC4, convolve8u, convolve8uC3,
                                       convolve8uC4, convolve16s,   divideTo16s};

} // namespace prim::VQ_PATH_NS
