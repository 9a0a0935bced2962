// Row helpers of the wavelet pipelines: primitive-backed forms pass their
// rows straight to the vector primitives; the own loops follow.
#include "j2k/wavelet/row_helpers.h"

#include <type_traits>

#include "primitives/vector/add_sub.h"

namespace {

// The primitives take a signed length; a row never comes near 2^31 samples.
inline int32_t len(uint32_t n) { return static_cast<int32_t>(n); }

// (c x + 32768) >> 16 over a 64-bit product, arithmetic shift.
inline int64_t fixMul(int64_t c, int64_t x) { return (c * x + 32768) >> 16; }

template <class T>
inline T wrap(int64_t v) {
    using U = std::make_unsigned_t<T>;
    return static_cast<T>(static_cast<U>(static_cast<uint64_t>(v)));
}

template <class T>
void fixMul(int32_t c, const T* a, T* d, uint32_t n) {
    for (uint32_t i = 0; i < n; ++i)
        d[i] = wrap<T>(fixMul(c, a[i]));
}

template <class T>
void fixMulAdd(int32_t c, const T* a, T* d, uint32_t n) {
    for (uint32_t i = 0; i < n; ++i)
        d[i] = wrap<T>(int64_t(d[i]) + fixMul(c, a[i]));
}

// The pair sum is formed without overflow (32 bits for 16-bit rows, 64 for
// 32-bit rows), then multiplied with every bit kept.
template <class T>
void fixMulAdd2(int32_t c, const T* a, const T* b, T* d, uint32_t n) {
    for (uint32_t i = 0; i < n; ++i)
        d[i] = wrap<T>(int64_t(d[i]) + fixMul(c, int64_t(a[i]) + int64_t(b[i])));
}

} // namespace

void rowAddInPlace16s(const int16_t* a, int16_t* d, uint32_t n) { addVectorInPlace16sScaled(a, d, len(n), 0); }
void rowSub16s(const int16_t* a, const int16_t* b, int16_t* d, uint32_t n) { subVector16sScaled(a, b, d, len(n), 0); }
void rowAdd16s(const int16_t* a, const int16_t* b, int16_t* d, uint32_t n) { addVector16sScaled(a, b, d, len(n), 0); }
void rowReverseSubInPlace16s(const int16_t* a, int16_t* b, uint32_t n) {
    for (uint32_t i = 0; i < n; ++i)
        b[i] = wrap<int16_t>(int32_t(a[i]) - int32_t(b[i]));
}
void rowSubInPlace16s(const int16_t* a, int16_t* b, uint32_t n) { subVectorInPlace16sScaled(a, b, len(n), 0); }

void rowAddInPlace32s(const int32_t* a, int32_t* d, uint32_t n) { addVectorInPlace32sScaled(a, d, len(n), 0); }
void rowSub32s(const int32_t* a, const int32_t* b, int32_t* d, uint32_t n) { subVector32sScaled(a, b, d, len(n), 0); }
void rowAdd32s(const int32_t* a, const int32_t* b, int32_t* d, uint32_t n) { addVector32sScaled(a, b, d, len(n), 0); }
void rowReverseSubInPlace32s(const int32_t* a, int32_t* b, uint32_t n) {
    for (uint32_t i = 0; i < n; ++i)
        b[i] = wrap<int32_t>(int64_t(a[i]) - int64_t(b[i]));
}
void rowSubInPlace32s(const int32_t* a, int32_t* b, uint32_t n) { subVectorInPlace32sScaled(a, b, len(n), 0); }

void rowMulConst32f(float c, const float* a, float* d, uint32_t n) { mulVectorConst32f(a, c, d, len(n)); }
void rowAddInPlace32f(const float* a, float* d, uint32_t n) { addVectorInPlace32f(a, d, len(n)); }
void rowSub32f(const float* a, const float* b, float* d, uint32_t n) { subVector32f(a, b, d, len(n)); }
void rowAdd32f(const float* a, const float* b, float* d, uint32_t n) { addVector32f(a, b, d, len(n)); }
void rowMulConstInPlace32f(float c, float* d, uint32_t n) { mulVectorConstInPlace32f(c, d, len(n)); }
void rowReverseSubInPlace32f(const float* a, float* b, uint32_t n) {
    for (uint32_t i = 0; i < n; ++i)
        b[i] = a[i] - b[i];
}
void rowSubInPlace32f(const float* a, float* b, uint32_t n) { subVectorInPlace32f(a, b, len(n)); }
void rowMulAddInPlace32f(float c, const float* a, float* d, uint32_t n) {
    for (uint32_t i = 0; i < n; ++i)
        d[i] = static_cast<float>(c * a[i]) + d[i];
}
void rowMulAdd2InPlace32f(float c, const float* a, const float* b, float* d, uint32_t n) {
    for (uint32_t i = 0; i < n; ++i)
        d[i] = static_cast<float>(static_cast<float>(a[i] + b[i]) * c) + d[i];
}

void rowFixMul16s(int32_t c, const int16_t* a, int16_t* d, uint32_t n) { fixMul(c, a, d, n); }
void rowFixMulInPlace16s(int32_t c, int16_t* d, uint32_t n) { fixMul(c, d, d, n); }
void rowFixMulAddInPlace16s(const int32_t& c, const int16_t* a, int16_t* d, uint32_t n) { fixMulAdd(c, a, d, n); }
void rowFixMulAdd2InPlace16s(const int32_t& c, const int16_t* a, const int16_t* b, int16_t* d, uint32_t n) {
    fixMulAdd2(c, a, b, d, n);
}

void rowFixMul32s(int32_t c, const int32_t* a, int32_t* d, uint32_t n) { fixMul(c, a, d, n); }
void rowFixMulInPlace32s(int32_t c, int32_t* d, uint32_t n) { fixMul(c, d, d, n); }
void rowFixMulAddInPlace32s(const int32_t& c, const int32_t* a, int32_t* d, uint32_t n) { fixMulAdd(c, a, d, n); }
void rowFixMulAdd2InPlace32s(const int32_t& c, const int32_t* a, const int32_t* b, int32_t* d, uint32_t n) {
    fixMulAdd2(c, a, b, d, n);
}
