// One-row inverse wavelet merges: one row of a low band and the matching row
// of a high band are interleaved by coordinate and run through the
// one-dimensional synthesis filter with symmetric extension at both ends.
//
// A row covers coordinates x0 .. x0 + n - 1; an even coordinate holds a
// low-pass sample, an odd one a high-pass sample. The low half holds the
// low-pass samples in order, the high half the high-pass ones; a merge reads
// only ceil(n/2) / floor(n/2) of them (which half has the larger count depends
// on x0's parity) and writes exactly n samples of dst. A single sample at an
// odd coordinate is halved, one at an even coordinate copied.
//
// The interior of a long row is one call of the row primitive; the ends and
// short rows are element code.
#pragma once

#include <cstdint>

void inverseRowMerge97(const float* low, const float* high, float* dst, uint32_t x0, uint32_t n);
// Q16 fixed point, every product rounded separately, values stored in 16 bits.
void inverseRowMerge97Int16(const int16_t* low, const int16_t* high, int16_t* dst, uint32_t x0, uint32_t n);
// Exact integer 5/3 synthesis.
void inverseRowMerge53(const int32_t* low, const int32_t* high, int32_t* dst, uint32_t x0, uint32_t n);
// As inverseRowMerge53 with sums in 32 bits and results truncated to 16 bits.
void inverseRowMerge53Int16(const int16_t* low, const int16_t* high, int16_t* dst, uint32_t x0, uint32_t n);
