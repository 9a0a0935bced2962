// Depth conversion forms of one processor path (included by format_p<N>.cpp):
// 16-bit to 8-bit scaling and the 32-bit/8-bit integer conversions, 16
// samples per step after a scalar lead-in to the store alignment.

#include "primitives/core/block_kernels.h"
#include "primitives/core/depth.h"
#include "primitives/core/processor.h"

namespace prim::VQ_PATH_NS {
namespace {

// --- 16-bit to 8-bit scaling --------------------------------------------

inline __m128i scaleFast8(__m128i v) {
    const __m128i t = _mm_add_epi16(_mm_sub_epi16(v, _mm_srli_epi16(v, 8)), _mm_set1_epi16(128));
    return _mm_srli_epi16(t, 8);
}

inline uint8_t scaleFastOne(uint16_t s) { return static_cast<uint8_t>((s - (s >> 8) + 128) >> 8); }

// 255/65535 in single precision.
inline __m128 accurateFactor() { return _mm_castsi128_ps(_mm_set1_epi32(0x3B7F00FF)); }

inline __m128i scaleAccurate8(__m128i v, __m128 m) {
    const __m128i zero = _mm_setzero_si128();
    const __m128i lo = _mm_cvtps_epi32(_mm_mul_ps(_mm_cvtepi32_ps(_mm_unpacklo_epi16(v, zero)), m));
    const __m128i hi = _mm_cvtps_epi32(_mm_mul_ps(_mm_cvtepi32_ps(_mm_unpackhi_epi16(v, zero)), m));
    return _mm_packs_epi32(lo, hi);
}

// The same single-precision product and rounding as the blocks.
inline uint8_t scaleAccurateOne(uint16_t s, __m128 m) {
    return static_cast<uint8_t>(_mm_cvtss_si32(_mm_mul_ss(_mm_cvtsi32_ss(_mm_setzero_ps(), s), m)));
}

inline uint16_t sample16(const uint8_t* s, int64_t i) {
    uint16_t v;
    __builtin_memcpy(&v, s + 2 * i, 2);
    return v;
}

void scale16uTo8uFastRow(const uint8_t* s, uint8_t* d, int64_t n, bool streaming) {
    int64_t i = 0;
    for (; i < n && !aligned16(d + i); ++i)
        d[i] = scaleFastOne(sample16(s, i));
    for (; n - i >= 16; i += 16) {
        const __m128i out = _mm_packus_epi16(scaleFast8(load16(s + 2 * i)), scaleFast8(load16(s + 2 * i + 16)));
        if (streaming)
            stream16(d + i, out);
        else
            store16a(d + i, out);
    }
    if (streaming)
        _mm_sfence();
    for (; i < n; ++i)
        d[i] = scaleFastOne(sample16(s, i));
}

void scale16uTo8uAccurateRow(const uint8_t* s, uint8_t* d, int64_t n) {
    const __m128 m = accurateFactor();
    int64_t i = 0;
    for (; n - i >= 16; i += 16) {
        const __m128i lo = scaleAccurate8(load16(s + 2 * i), m), hi = scaleAccurate8(load16(s + 2 * i + 16), m);
        store16(d + i, _mm_packus_epi16(lo, hi));
    }
    for (; i < n; ++i)
        d[i] = scaleAccurateOne(sample16(s, i), m);
}

// Sample counts above which the fast mode streams, single- and 3-channel.
constexpr int64_t kScaleStreamC1 = VQ_PATH_LEVEL >= 3 ? 1398100 : (VQ_PATH_LEVEL == 2 ? 699049 : 174761);
constexpr int64_t kScaleStreamC3 = VQ_PATH_LEVEL >= 3 ? 838859 : (VQ_PATH_LEVEL == 2 ? 419429 : 104857);

template <int CH>
int32_t scaleRegion(const uint16_t* src, int32_t srcStep, uint8_t* dst, int32_t dstStep, PrimSize size,
                    int32_t mode) {
    const int32_t status = depthArgsStatus(src, srcStep, dst, dstStep, size);
    if (status != primNoErr)
        return status;
    int64_t n = int64_t(size.width) * CH;
    int32_t rows = size.height;
    const bool streaming = n * rows > (CH == 1 ? kScaleStreamC1 : kScaleStreamC3);
    if (int64_t(srcStep) == 2 * int64_t(dstStep) && dstStep == n && n * rows < INT32_MAX) {
        n *= rows;
        rows = 1;
    }
    if (mode == kScaleAccurate) {
        // Round to nearest for the conversions; the caller's mode comes back.
        const uint32_t saved = setSseRoundingMode(0);
        for (int32_t y = 0; y < rows; ++y)
            scale16uTo8uAccurateRow(rowAt(bytes(src), y, srcStep), rowAt(dst, y, dstStep), n);
        if (saved & 0x6000u)
            restoreSseControl(saved);
    } else {
        for (int32_t y = 0; y < rows; ++y)
            scale16uTo8uFastRow(rowAt(bytes(src), y, srcStep), rowAt(dst, y, dstStep), n, streaming);
    }
    return primNoErr;
}

// --- 32-bit and 8-bit integers ------------------------------------------

inline int32_t sample32(const uint8_t* s, int64_t i) {
    int32_t v;
    __builtin_memcpy(&v, s + 4 * i, 4);
    return v;
}

void convertRow32sTo8u(const uint8_t* s, uint8_t* d, int64_t n) {
    int64_t i = 0;
    for (; n - i >= 16; i += 16) {
        const uint8_t* b = s + 4 * i;
        // Signed saturation to 16 bits, then unsigned to 8 bits: the 0..255 clamp.
        const __m128i lo = _mm_packs_epi32(load16(b), load16(b + 16));
        const __m128i hi = _mm_packs_epi32(load16(b + 32), load16(b + 48));
        store16(d + i, _mm_packus_epi16(lo, hi));
    }
    for (; i < n; ++i) {
        const int32_t v = sample32(s, i);
        d[i] = static_cast<uint8_t>(v >= 255 ? 255 : (v <= 0 ? 0 : v));
    }
}

void convertRow8uTo32s(const uint8_t* s, uint8_t* d, int64_t n, bool streaming) {
    int64_t i = 0;
    for (; i < n && !aligned16(d + 4 * i); ++i)
        store4(d + 4 * i, s[i]);
    const __m128i zero = _mm_setzero_si128();
    for (; n - i >= 16; i += 16) {
        const __m128i v = load16(s + i);
        const __m128i lo = _mm_unpacklo_epi8(v, zero), hi = _mm_unpackhi_epi8(v, zero);
        const __m128i out[4] = {_mm_unpacklo_epi16(lo, zero), _mm_unpackhi_epi16(lo, zero),
                                _mm_unpacklo_epi16(hi, zero), _mm_unpackhi_epi16(hi, zero)};
        uint8_t* o = d + 4 * i;
        for (int r = 0; r < 4; ++r) {
            if (streaming)
                stream16(o + 16 * r, out[r]);
            else
                store16a(o + 16 * r, out[r]);
        }
    }
    if (streaming)
        _mm_sfence();
    for (; i < n; ++i)
        store4(d + 4 * i, s[i]);
}

// Rows merge when neither image has a gap after a row.
inline void mergeDepthRows(int32_t narrowStep, int32_t wideStep, int64_t& n, int32_t& rows) {
    if (narrowStep == n && int64_t(wideStep) == 4 * int64_t(narrowStep) && n * rows <= INT32_MAX) {
        n *= rows;
        rows = 1;
    }
}

} // namespace

int32_t scale16uTo8uC1(const uint16_t* src, int32_t srcStep, uint8_t* dst, int32_t dstStep, PrimSize size,
                       int32_t mode) {
    return scaleRegion<1>(src, srcStep, dst, dstStep, size, mode);
}
int32_t scale16uTo8uC3(const uint16_t* src, int32_t srcStep, uint8_t* dst, int32_t dstStep, PrimSize size,
                       int32_t mode) {
    return scaleRegion<3>(src, srcStep, dst, dstStep, size, mode);
}

int32_t convert32sTo8uC1(const int32_t* src, int32_t srcStep, uint8_t* dst, int32_t dstStep, PrimSize size) {
    const int32_t status = depthArgsStatus(src, srcStep, dst, dstStep, size);
    if (status != primNoErr)
        return status;
    int64_t n = size.width;
    int32_t rows = size.height;
    mergeDepthRows(dstStep, srcStep, n, rows);
    for (int32_t y = 0; y < rows; ++y)
        convertRow32sTo8u(rowAt(bytes(src), y, srcStep), rowAt(dst, y, dstStep), n);
    return primNoErr;
}

int32_t convert8uTo32sC1(const uint8_t* src, int32_t srcStep, int32_t* dst, int32_t dstStep, PrimSize size) {
    const int32_t status = depthArgsStatus(src, srcStep, dst, dstStep, size);
    if (status != primNoErr)
        return status;
    int64_t n = size.width;
    int32_t rows = size.height;
    // Bytes the call moves: one read and four written per sample.
    const bool streaming = streamPastCache(5 * n * rows, VQ_PATH_LEVEL == 1 ? 0x80000 : 0x100000);
    mergeDepthRows(srcStep, dstStep, n, rows);
    for (int32_t y = 0; y < rows; ++y)
        convertRow8uTo32s(rowAt(src, y, srcStep), rowAt(bytes(dst), y, dstStep), n, streaming);
    return primNoErr;
}

} // namespace prim::VQ_PATH_NS
