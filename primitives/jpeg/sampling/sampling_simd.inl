// SSE2-level row kernels of the chroma sampling primitives, included inside
// the namespace of each processor path (compiled with that path's flags).
// loadUnaligned names the path's unaligned 16-byte load. Every load and store
// stays within the samples the scalar form reads and writes.

namespace {

inline __m128i load8(const uint8_t* p) { return _mm_loadl_epi64(reinterpret_cast<const __m128i*>(p)); }
inline __m128i widen8(const uint8_t* p) { return _mm_unpacklo_epi8(load8(p), _mm_setzero_si128()); }

// Sum of each even and odd byte pair of 16 bytes as eight 16-bit lanes.
inline __m128i pairSums(__m128i v) {
    const __m128i low = _mm_set1_epi16(0x00FF);
    return _mm_add_epi16(_mm_and_si128(v, low), _mm_srli_epi16(v, 8));
}

inline int32_t boxH2V1Kernel(const uint8_t* s, uint8_t* d, int32_t count) {
    const __m128i one = _mm_set1_epi16(1);
    int32_t j = 0;
    for (; j + 16 <= count; j += 16) {
        __m128i a = _mm_srli_epi16(_mm_add_epi16(pairSums(loadUnaligned(s + 2 * j)), one), 1);
        __m128i b = _mm_srli_epi16(_mm_add_epi16(pairSums(loadUnaligned(s + 2 * j + 16)), one), 1);
        _mm_storeu_si128(reinterpret_cast<__m128i*>(d + j), _mm_packus_epi16(a, b));
    }
    for (; j + 8 <= count; j += 8) {
        __m128i a = _mm_srli_epi16(_mm_add_epi16(pairSums(loadUnaligned(s + 2 * j)), one), 1);
        _mm_storel_epi64(reinterpret_cast<__m128i*>(d + j), _mm_packus_epi16(a, a));
    }
    return j;
}

inline __m128i blockSums(const uint8_t* s0, const uint8_t* s1, __m128i bias) {
    return _mm_srli_epi16(_mm_add_epi16(_mm_add_epi16(pairSums(loadUnaligned(s0)), pairSums(loadUnaligned(s1))), bias), 2);
}

inline int32_t boxH2V2KernelBias(const uint8_t* s0, const uint8_t* s1, uint8_t* d, int32_t count, __m128i bias) {
    int32_t j = 0;
    for (; j + 16 <= count; j += 16) {
        __m128i a = blockSums(s0 + 2 * j, s1 + 2 * j, bias);
        __m128i b = blockSums(s0 + 2 * j + 16, s1 + 2 * j + 16, bias);
        _mm_storeu_si128(reinterpret_cast<__m128i*>(d + j), _mm_packus_epi16(a, b));
    }
    for (; j + 8 <= count; j += 8) {
        __m128i a = blockSums(s0 + 2 * j, s1 + 2 * j, bias);
        _mm_storel_epi64(reinterpret_cast<__m128i*>(d + j), _mm_packus_epi16(a, a));
    }
    return j;
}

inline int32_t boxH2V2Kernel(const uint8_t* s0, const uint8_t* s1, uint8_t* d, int32_t count) {
    return boxH2V2KernelBias(s0, s1, d, count, _mm_set1_epi16(3));
}

// Blocks start at even outputs, so lane 0 always carries the first bias.
inline int32_t rowH2V1Kernel(const uint8_t* s, uint8_t* d, int32_t pairs) {
    const __m128i bias = _mm_set_epi16(1, 0, 1, 0, 1, 0, 1, 0);
    int32_t j = 0;
    for (; j + 16 <= pairs; j += 16) {
        __m128i a = _mm_srli_epi16(_mm_add_epi16(pairSums(loadUnaligned(s + 2 * j)), bias), 1);
        __m128i b = _mm_srli_epi16(_mm_add_epi16(pairSums(loadUnaligned(s + 2 * j + 16)), bias), 1);
        _mm_storeu_si128(reinterpret_cast<__m128i*>(d + j), _mm_packus_epi16(a, b));
    }
    for (; j + 8 <= pairs; j += 8) {
        __m128i a = _mm_srli_epi16(_mm_add_epi16(pairSums(loadUnaligned(s + 2 * j)), bias), 1);
        _mm_storel_epi64(reinterpret_cast<__m128i*>(d + j), _mm_packus_epi16(a, a));
    }
    return j;
}

inline int32_t rowH2V2Kernel(const uint8_t* u, const uint8_t* l, uint8_t* d, int32_t pairs) {
    return boxH2V2KernelBias(u, l, d, pairs, _mm_set_epi16(2, 1, 2, 1, 2, 1, 2, 1));
}

// Interleaves eight left and eight right outputs (16-bit lanes, 0..255) into
// sixteen bytes at d.
inline void storePairs(uint8_t* d, __m128i left, __m128i right) {
    __m128i l8 = _mm_packus_epi16(left, left);
    __m128i r8 = _mm_packus_epi16(right, right);
    _mm_storeu_si128(reinterpret_cast<__m128i*>(d), _mm_unpacklo_epi8(l8, r8));
}

inline __m128i times3(__m128i v) { return _mm_add_epi16(v, _mm_add_epi16(v, v)); }

inline int32_t triangleKernel(const uint8_t* s, uint8_t* d, int32_t k, int32_t kEnd) {
    const __m128i one = _mm_set1_epi16(1), two = _mm_set1_epi16(2);
    for (; k + 8 <= kEnd; k += 8) {
        __m128i prev = widen8(s + k - 1), cur3 = times3(widen8(s + k)), next = widen8(s + k + 1);
        __m128i left = _mm_srli_epi16(_mm_add_epi16(_mm_add_epi16(cur3, prev), one), 2);
        __m128i right = _mm_srli_epi16(_mm_add_epi16(_mm_add_epi16(cur3, next), two), 2);
        storePairs(d + 2 * k, left, right);
    }
    return k;
}

inline __m128i colSums8(const uint8_t* nearRow, const uint8_t* farRow, int32_t k) {
    return _mm_add_epi16(times3(widen8(nearRow + k)), widen8(farRow + k));
}

inline int32_t triangle2Kernel(const uint8_t* nearRow, const uint8_t* farRow, uint8_t* d, int32_t k, int32_t kEnd) {
    const __m128i eight = _mm_set1_epi16(8), seven = _mm_set1_epi16(7);
    for (; k + 8 <= kEnd; k += 8) {
        __m128i prev = colSums8(nearRow, farRow, k - 1);
        __m128i cur3 = times3(colSums8(nearRow, farRow, k));
        __m128i next = colSums8(nearRow, farRow, k + 1);
        __m128i left = _mm_srli_epi16(_mm_add_epi16(_mm_add_epi16(cur3, prev), eight), 4);
        __m128i right = _mm_srli_epi16(_mm_add_epi16(_mm_add_epi16(cur3, next), seven), 4);
        storePairs(d + 2 * k, left, right);
    }
    return k;
}

} // namespace

#include "primitives/jpeg/sampling/sampling_body.inl"
