#include "primitives/jpeg/dct/dct.h"

#include <initializer_list>

#include "primitives/vector/copy.h"

namespace prim::jpeg_dct {
const int32_t kZigzagOfNatural[64] = {0,  1,  5,  6,  14, 15, 27, 28, 2,  4,  7,  13, 16, 26, 29, 42,
                                      3,  8,  12, 17, 25, 30, 41, 43, 9,  11, 18, 24, 31, 40, 44, 53,
                                      10, 19, 23, 32, 39, 45, 52, 54, 20, 22, 33, 38, 46, 51, 55, 60,
                                      21, 34, 37, 47, 50, 56, 59, 61, 35, 36, 48, 49, 57, 58, 62, 63};
} // namespace prim::jpeg_dct

namespace {

// Two's-complement wrap of a wider intermediate to 32 bits.
inline int32_t w32(int64_t v) { return static_cast<int32_t>(static_cast<uint32_t>(static_cast<uint64_t>(v))); }

// The scalar forward 1-D transform: even results P, Q (DC and frequency 4
// before their final scale) and Y1, Y2, Y3, Y5, Y6, Y7.
struct Forward1d {
    int64_t P, Q, Y[8];
};
inline Forward1d forward1d(const int64_t* x) {
    Forward1d r{};
    const int64_t s0 = x[0] + x[7], s1 = x[1] + x[6], s2 = x[2] + x[5], s3 = x[3] + x[4];
    const int64_t d0 = x[0] - x[7], d1 = x[1] - x[6], d2 = x[2] - x[5], d3 = x[3] - x[4];
    r.P = s0 + s1 + s2 + s3;
    r.Q = s0 + s3 - s1 - s2;
    const int64_t E = s0 - s3, F = s1 - s2;
    const int64_t t = (E + F) * 17734;
    r.Y[2] = E * 25080 + t;
    r.Y[6] = t - F * 60547;
    const int64_t m = (d0 * 46341 + 2048) >> 12, l = (d3 * 46341 + 2048) >> 12;
    const int64_t A = 8 * (d1 + d2), O = 8 * (d1 - d2);
    const int64_t a = m + A, b = m - A;
    const int64_t w = (a + O + l) * 799;
    r.Y[1] = a * 3218 + w;
    r.Y[7] = w - (O + l) * 4816;
    const int64_t z = (b + l - O) * 3406;
    r.Y[3] = z - (l - O) * 5681;
    r.Y[5] = z - b * 1130;
    return r;
}

// The scalar inverse 1-D transform, in 32-bit wrapping arithmetic.
inline void inverse1d(const int64_t* x, int32_t* y) {
    const int64_t c53 = w32(27246 * (x[5] + x[3]) - 9041 * x[5]);
    const int64_t d53 = w32(27246 * (x[5] + x[3]) - 45451 * x[3]);
    const int64_t a17 = w32(6393 * (x[1] + x[7]) + 25746 * x[1]);
    const int64_t b17 = w32(6393 * (x[1] + x[7]) - 38531 * x[7]);
    const int64_t z1 = w32(static_cast<int64_t>(w32(a17 + c53 + 2048) >> 12) * 5793);
    const int64_t z2 = w32(static_cast<int64_t>(w32(b17 + d53 + 2048) >> 12) * 5793);
    const int64_t s = (a17 - c53) + (b17 - d53), t = (a17 - c53) - (b17 - d53);
    const int64_t e0 = 32768 * (x[0] + x[4]), e1 = 32768 * (x[0] - x[4]);
    const int64_t e2 = 17734 * (x[2] + x[6]) + 25080 * x[2], e3 = 17734 * (x[2] + x[6]) - 60547 * x[6];
    const int64_t f0 = e0 + e2, f3 = e0 - e2, f1 = e1 + e3, f2 = e1 - e3;
    y[0] = w32(f0 + z1);
    y[7] = w32(f0 - z1);
    y[1] = w32(f1 + s);
    y[6] = w32(f1 - s);
    y[2] = w32(f2 + t);
    y[5] = w32(f2 - t);
    y[3] = w32(f3 + z2);
    y[4] = w32(f3 - z2);
}

// Rows, then columns.
void forwardBody(const int16_t* src, int16_t* dst) {
    int16_t rows[64];
    for (int32_t r = 0; r < 8; ++r) {
        int64_t x[8];
        for (int32_t n = 0; n < 8; ++n) x[n] = src[8 * r + n];
        const Forward1d f = forward1d(x);
        int16_t* out = rows + 8 * r;
        out[0] = static_cast<int16_t>(8 * f.P);
        out[4] = static_cast<int16_t>(8 * f.Q);
        for (int32_t k : {1, 2, 3, 5, 6, 7}) out[k] = static_cast<int16_t>((f.Y[k] + 2048) >> 12);
    }
    for (int32_t c = 0; c < 8; ++c) {
        int64_t x[8];
        for (int32_t n = 0; n < 8; ++n) x[n] = rows[8 * n + c];
        const Forward1d f = forward1d(x);
        dst[c] = static_cast<int16_t>((f.P + 32) >> 6);
        dst[32 + c] = static_cast<int16_t>((f.Q + 32) >> 6);
        for (int32_t k : {1, 2, 3, 5, 6, 7}) dst[8 * k + c] = static_cast<int16_t>((f.Y[k] + (1 << 20)) >> 21);
    }
}

// Columns, then rows; every value between and after the passes keeps its low
// 16 bits.
void inverseBody(const int16_t* src, int16_t* dst) {
    int16_t mid[64];
    for (int32_t c = 0; c < 8; ++c) {
        int64_t x[8];
        int32_t y[8];
        for (int32_t n = 0; n < 8; ++n) x[n] = src[8 * n + c];
        inverse1d(x, y);
        for (int32_t n = 0; n < 8; ++n) mid[8 * n + c] = static_cast<int16_t>(w32(static_cast<int64_t>(y[n]) + 2048) >> 12);
    }
    for (int32_t r = 0; r < 8; ++r) {
        int64_t x[8];
        int32_t y[8];
        for (int32_t n = 0; n < 8; ++n) x[n] = mid[8 * r + n];
        inverse1d(x, y);
        for (int32_t n = 0; n < 8; ++n)
            dst[8 * r + n] = static_cast<int16_t>(w32(static_cast<int64_t>(y[n]) + (1 << 20)) >> 21);
    }
}

} // namespace

namespace prim::generic {

void forwardDct8x8(const int16_t* src, int16_t* dst) { forwardBody(src, dst); }

int32_t inverseDct8x8To8u(const int16_t* src, uint8_t* dst, int32_t dstStep, int16_t level, uint8_t lower,
                          uint8_t upper) {
    if (!src || !dst) return primErrNullPtr;
    if (dstStep < 1) return primErrStep;
    alignas(16) int16_t block[64];
    inverseBody(src, block);
    for (int32_t r = 0; r < 8; ++r)
        for (int32_t c = 0; c < 8; ++c) {
            const int32_t p = block[8 * r + c] + level;
            dst[static_cast<intptr_t>(r) * dstStep + c] =
                static_cast<uint8_t>(p < lower ? lower : (p > upper ? upper : p));
        }
    return primNoErr;
}

int32_t divideConstantByVector16u(const uint16_t* src, uint32_t constant, uint16_t* dst, int32_t count) {
    if (!src || !dst) return primErrNullPtr;
    if (count < 1) return primErrSize;
    const uint32_t c = constant & 0xFFFF;
    int32_t status = primNoErr;
    if (c == 0) {
        for (int32_t i = 0; i < count; ++i)
            if (src[i] == 0) {
                status = primWrnDivideByZero;
                break;
            }
        zeroVector16s(reinterpret_cast<int16_t*>(dst), count);
        return status;
    }
    for (int32_t i = 0; i < count; ++i) {
        const uint32_t b = src[i];
        if (b == 0) {
            dst[i] = 65535;
            status = primWrnDivideByZero;
            continue;
        }
        const uint32_t q = (c << 16) / b;
        dst[i] = static_cast<uint16_t>((static_cast<uint64_t>(q) + 32767 + 2 * ((q >> 16) & 1)) >> 16);
    }
    return status;
}

int32_t convertRegion8uTo16u(const uint8_t* src, int32_t srcStep, uint16_t* dst, int32_t dstStep, int32_t width,
                             int32_t height) {
    const int32_t st = jpeg_dct::checkWiden(src, srcStep, dst, dstStep, width, height);
    if (st != primNoErr) return st;
    if (dstStep == 2 * srcStep && srcStep == width) {  // contiguous rows: one row
        width *= height;
        height = 1;
    }
    for (int32_t r = 0; r < height; ++r) {
        const uint8_t* s = src + static_cast<intptr_t>(r) * srcStep;
        uint16_t* d = reinterpret_cast<uint16_t*>(reinterpret_cast<uint8_t*>(dst) + static_cast<intptr_t>(r) * dstStep);
        for (int32_t x = 0; x < width; ++x) d[x] = s[x];
    }
    return primNoErr;
}

int32_t reorderZigzagToNatural16u(const uint16_t* src, uint16_t* dst) {
    if (!src || !dst) return primErrNullPtr;
    for (int32_t k = 0; k < 64; ++k) dst[k] = src[jpeg_dct::kZigzagOfNatural[k]];
    return primNoErr;
}

int32_t quantForwardTablePrepare(const uint8_t* table, uint16_t* reciprocals) {
    return jpeg_dct::quantTablePrepareBody<convertRegion8uTo16u, reorderZigzagToNatural16u,
                                           divideConstantByVector16u>(table, reciprocals);
}

int32_t dctQuantForward8x8(const uint8_t* src, int32_t srcStep, int16_t* coefficients, const uint16_t* reciprocals) {
    return jpeg_dct::dctQuantForwardBody<forwardDct8x8>(src, srcStep, coefficients, reciprocals);
}

int32_t dequantDctInverse8x8(const int16_t* coefficients, uint8_t* dst, int32_t dstStep, const int16_t* multipliers) {
    return jpeg_dct::dequantDctInverseBody<inverseDct8x8To8u>(coefficients, dst, dstStep, multipliers);
}

} // namespace prim::generic

const QuantTablePrepareFn quantForwardTablePrepareTable[6] = VQ_PATH_FORMS(quantForwardTablePrepare);
const DctQuantForwardFn dctQuantForward8x8Table[6] = VQ_PATH_FORMS(dctQuantForward8x8);
const DequantDctInverseFn dequantDctInverse8x8Table[6] = VQ_PATH_FORMS(dequantDctInverse8x8);
const ForwardDctFn forwardDct8x8Table[6] = VQ_PATH_FORMS(forwardDct8x8);
const InverseDctTo8uFn inverseDct8x8To8uTable[6] = VQ_PATH_FORMS(inverseDct8x8To8u);
const DivideConstantFn divideConstantByVector16uTable[6] = VQ_PATH_FORMS(divideConstantByVector16u);
const ConvertRegionFn convertRegion8uTo16uTable[6] = VQ_PATH_FORMS(convertRegion8uTo16u);
const ReorderFn reorderZigzagToNatural16uTable[6] = VQ_PATH_FORMS(reorderZigzagToNatural16u);

int32_t quantForwardTablePrepare(const uint8_t* table, uint16_t* reciprocals) {
    return VQ_DISPATCH(quantForwardTablePrepareTable)(table, reciprocals);
}
int32_t dctQuantForward8x8(const uint8_t* src, int32_t srcStep, int16_t* coefficients, const uint16_t* reciprocals) {
    return VQ_DISPATCH(dctQuantForward8x8Table)(src, srcStep, coefficients, reciprocals);
}
int32_t dequantDctInverse8x8(const int16_t* coefficients, uint8_t* dst, int32_t dstStep, const int16_t* multipliers) {
    return VQ_DISPATCH(dequantDctInverse8x8Table)(coefficients, dst, dstStep, multipliers);
}
