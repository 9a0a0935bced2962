// Element-wise operations on one row of samples, the building blocks of the
// lifting steps of the wavelet pipelines. Most forward to a vector primitive
// (scale factor 0: plain saturating integer arithmetic); the rest are short
// loops of their own.
//
// Naming: in every subtraction the first operand is the one subtracted
// (d = b - a), except the reverse subtractions, which replace the second
// operand by first minus second (b = a - b) and wrap instead of saturating.
// Fixed-point constants are Q16 (value x 65536): a product c x is rounded as
// (c x + 32768) >> 16 over 64 bits and stored truncated to the row's width.
// The two accumulating fixed-point helpers take their constant by reference.
#pragma once

#include <cstdint>

// 16-bit rows.
void rowAddInPlace16s(const int16_t* a, int16_t* d, uint32_t n);               // d = sat16(a + d)
void rowSub16s(const int16_t* a, const int16_t* b, int16_t* d, uint32_t n);     // d = sat16(b - a)
void rowAdd16s(const int16_t* a, const int16_t* b, int16_t* d, uint32_t n);     // d = sat16(a + b)
void rowReverseSubInPlace16s(const int16_t* a, int16_t* b, uint32_t n);         // b = wrap16(a - b)
void rowSubInPlace16s(const int16_t* a, int16_t* b, uint32_t n);                // b = sat16(b - a)

// 32-bit rows.
void rowAddInPlace32s(const int32_t* a, int32_t* d, uint32_t n);               // d = sat32(a + d)
void rowSub32s(const int32_t* a, const int32_t* b, int32_t* d, uint32_t n);     // d = sat32(b - a)
void rowAdd32s(const int32_t* a, const int32_t* b, int32_t* d, uint32_t n);     // d = sat32(a + b)
void rowReverseSubInPlace32s(const int32_t* a, int32_t* b, uint32_t n);         // b = wrap32(a - b)
void rowSubInPlace32s(const int32_t* a, int32_t* b, uint32_t n);                // b = sat32(b - a)

// Float rows.
void rowMulConst32f(float c, const float* a, float* d, uint32_t n);            // d = a c
void rowAddInPlace32f(const float* a, float* d, uint32_t n);                    // d = a + d
void rowSub32f(const float* a, const float* b, float* d, uint32_t n);           // d = b - a
void rowAdd32f(const float* a, const float* b, float* d, uint32_t n);           // d = a + b
void rowMulConstInPlace32f(float c, float* d, uint32_t n);                      // d = d c
void rowReverseSubInPlace32f(const float* a, float* b, uint32_t n);             // b = a - b
void rowSubInPlace32f(const float* a, float* b, uint32_t n);                    // b = b - a
void rowMulAddInPlace32f(float c, const float* a, float* d, uint32_t n);        // d = c a + d
void rowMulAdd2InPlace32f(float c, const float* a, const float* b, float* d, uint32_t n);  // d = (a + b) c + d

// Q16 fixed point on 16-bit rows.
void rowFixMul16s(int32_t c, const int16_t* a, int16_t* d, uint32_t n);        // d = [c a]
void rowFixMulInPlace16s(int32_t c, int16_t* d, uint32_t n);                    // d = [c d]
void rowFixMulAddInPlace16s(const int32_t& c, const int16_t* a, int16_t* d, uint32_t n);  // d += [c a]
void rowFixMulAdd2InPlace16s(const int32_t& c, const int16_t* a, const int16_t* b, int16_t* d,
                             uint32_t n);                                       // d += [c (a + b)]

// Q16 fixed point on 32-bit rows.
void rowFixMul32s(int32_t c, const int32_t* a, int32_t* d, uint32_t n);
void rowFixMulInPlace32s(int32_t c, int32_t* d, uint32_t n);
void rowFixMulAddInPlace32s(const int32_t& c, const int32_t* a, int32_t* d, uint32_t n);
void rowFixMulAdd2InPlace32s(const int32_t& c, const int32_t* a, const int32_t* b, int32_t* d, uint32_t n);
