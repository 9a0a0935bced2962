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
