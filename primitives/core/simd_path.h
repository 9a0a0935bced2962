// Start of every processor-path translation unit. The including file defines
// VQ_PATH_LEVEL (1 SSE2, 2 SSE3, 3 SSSE3, 4 SSE4.1, 5 AVX-capable) and
// VQ_PATH_NS (p1..p5) and is compiled with that path's instruction-set flag;
// the family sources it then includes put their forms into prim::VQ_PATH_NS.
//
// Small helpers live here, inside the path's namespace, so each path has its
// own copy built with its own instructions.
#pragma once

#if !defined(VQ_PATH_LEVEL) || !defined(VQ_PATH_NS)
#error "define VQ_PATH_LEVEL and VQ_PATH_NS before including simd_path.h"
#endif

#include <cstdint>
#include <immintrin.h>

#include "primitives/core/prim_types.h"
#include "primitives/core/rows.h"

namespace prim::VQ_PATH_NS {
namespace {

constexpr int kLevel = VQ_PATH_LEVEL;

inline __m128i load16(const uint8_t* p) { return _mm_loadu_si128(reinterpret_cast<const __m128i*>(p)); }
inline __m128i load16a(const uint8_t* p) { return _mm_load_si128(reinterpret_cast<const __m128i*>(p)); }
inline void store16(uint8_t* p, __m128i v) { _mm_storeu_si128(reinterpret_cast<__m128i*>(p), v); }
inline void store16a(uint8_t* p, __m128i v) { _mm_store_si128(reinterpret_cast<__m128i*>(p), v); }
inline void stream16(uint8_t* p, __m128i v) { _mm_stream_si128(reinterpret_cast<__m128i*>(p), v); }
inline __m128i load8(const uint8_t* p) { return _mm_loadl_epi64(reinterpret_cast<const __m128i*>(p)); }
inline void store8(uint8_t* p, __m128i v) { _mm_storel_epi64(reinterpret_cast<__m128i*>(p), v); }
inline uint32_t load4(const uint8_t* p) {
    uint32_t v;
    __builtin_memcpy(&v, p, 4);
    return v;
}
inline void store4(uint8_t* p, uint32_t v) { __builtin_memcpy(p, &v, 4); }

inline bool aligned16(const void* p) { return (reinterpret_cast<uintptr_t>(p) & 15) == 0; }
inline uint32_t misalign16(const void* p) { return static_cast<uint32_t>(reinterpret_cast<uintptr_t>(p) & 15); }

// Four 3-byte pixels (12 bytes) spread into the 32-bit lanes of a register,
// fourth byte 0, and back. Neither touches a byte outside the 12.
inline __m128i expand3to4(const uint8_t* p) {
    const __m128i q = _mm_unpacklo_epi64(load8(p), _mm_srli_epi64(load8(p + 4), 16));
    const __m128i lo = _mm_and_si128(q, _mm_set_epi32(0, 0xFFFFFF, 0, 0xFFFFFF));
    const __m128i hi = _mm_and_si128(_mm_slli_epi64(q, 8), _mm_set_epi32(0xFFFFFF, 0, 0xFFFFFF, 0));
    return _mm_or_si128(lo, hi);
}

inline void compress4to3(__m128i v, uint8_t* p) {
    const __m128i lo = _mm_and_si128(v, _mm_set_epi32(0, 0xFFFFFF, 0, 0xFFFFFF));
    const __m128i hi = _mm_srli_epi64(_mm_and_si128(v, _mm_set_epi32(0xFFFFFF, 0, 0xFFFFFF, 0)), 8);
    const __m128i q = _mm_or_si128(lo, hi);  // two pixels in the low 6 bytes of each half
    store4(p, static_cast<uint32_t>(_mm_cvtsi128_si32(q)));
    const __m128i tail = _mm_or_si128(_mm_and_si128(_mm_srli_epi64(q, 32), _mm_set_epi32(0, 0, 0, 0xFFFF)),
                                      _mm_slli_epi64(_mm_srli_si128(q, 8), 16));
    store8(p + 4, tail);
}

// Four 4-byte pixels of one register grouped by channel:
// r0..r3 g0..g3 b0..b3 a0..a3.
inline __m128i groupChannels4(__m128i v) {
#if VQ_PATH_LEVEL >= 3
    return _mm_shuffle_epi8(v, _mm_setr_epi8(0, 4, 8, 12, 1, 5, 9, 13, 2, 6, 10, 14, 3, 7, 11, 15));
#else
    const __m128i t = _mm_unpacklo_epi8(v, _mm_srli_si128(v, 8));
    return _mm_unpacklo_epi8(t, _mm_srli_si128(t, 8));
#endif
}

// Sixteen 4-byte pixels in four registers to four registers of one channel.
inline void splitChannels16(__m128i x0, __m128i x1, __m128i x2, __m128i x3, __m128i out[4]) {
    x0 = groupChannels4(x0);
    x1 = groupChannels4(x1);
    x2 = groupChannels4(x2);
    x3 = groupChannels4(x3);
    const __m128i t0 = _mm_unpacklo_epi32(x0, x1), t1 = _mm_unpackhi_epi32(x0, x1);
    const __m128i t2 = _mm_unpacklo_epi32(x2, x3), t3 = _mm_unpackhi_epi32(x2, x3);
    out[0] = _mm_unpacklo_epi64(t0, t2);
    out[1] = _mm_unpackhi_epi64(t0, t2);
    out[2] = _mm_unpacklo_epi64(t1, t3);
    out[3] = _mm_unpackhi_epi64(t1, t3);
}

// Sixteen pixels of 3 or 4 planes (c3 zero for three) interleaved into four
// registers of four 4-byte pixels.
inline void joinChannels16(__m128i c0, __m128i c1, __m128i c2, __m128i c3, __m128i out[4]) {
    const __m128i lo01 = _mm_unpacklo_epi8(c0, c1), hi01 = _mm_unpackhi_epi8(c0, c1);
    const __m128i lo23 = _mm_unpacklo_epi8(c2, c3), hi23 = _mm_unpackhi_epi8(c2, c3);
    out[0] = _mm_unpacklo_epi16(lo01, lo23);
    out[1] = _mm_unpackhi_epi16(lo01, lo23);
    out[2] = _mm_unpacklo_epi16(hi01, hi23);
    out[3] = _mm_unpackhi_epi16(hi01, hi23);
}

#if VQ_PATH_LEVEL >= 3
// A byte permutation of a 48-byte block held in three registers: output byte
// k takes input byte index[k] (0..47). Every output register is put together
// from byte shuffles of the three input registers.
struct Permute48 {
    __m128i mask[3][3];  // [output register][input register]
};

inline Permute48 makePermute48(const uint8_t* index) {
    alignas(16) int8_t m[3][3][16];
    for (int r = 0; r < 3; ++r)
        for (int i = 0; i < 3; ++i)
            for (int b = 0; b < 16; ++b) {
                const int src = index[16 * r + b];
                m[r][i][b] = static_cast<int8_t>(src / 16 == i ? src % 16 : -128);
            }
    Permute48 p;
    for (int r = 0; r < 3; ++r)
        for (int i = 0; i < 3; ++i)
            p.mask[r][i] = _mm_load_si128(reinterpret_cast<const __m128i*>(m[r][i]));
    return p;
}

inline void permute48(const Permute48& p, __m128i a, __m128i b, __m128i c, __m128i out[3]) {
    for (int r = 0; r < 3; ++r)
        out[r] = _mm_or_si128(_mm_or_si128(_mm_shuffle_epi8(a, p.mask[r][0]), _mm_shuffle_epi8(b, p.mask[r][1])),
                              _mm_shuffle_epi8(c, p.mask[r][2]));
}
#endif

} // namespace
} // namespace prim::VQ_PATH_NS
