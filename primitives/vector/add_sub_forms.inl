// The add and subtract forms of one path, included inside that path's
// namespace (prim::generic or prim::p1..p5) after the path's kernels:
//   template <class T, bool Sub> void scaledKernel(const T* x, const T* y, T c, T* d, int32_t n, int32_t sf);
//     d = x + y (or x - y; the constant c where y is null) scaled by sf, for
//     sf up to the element width;
//   template <int Op> void floatKernel(const float* x, const float* y, float* d, int32_t n);
//     d = x + y (Op 0) or x - y (Op 1);
//   void scale32f(const float* src, float value, float* dst, int32_t n);
// The checks, the shortcuts and the argument order are the same on every path.

namespace {

inline int32_t zeroElements(int16_t* d, int32_t n) { return zeroVector16s(d, n); }
inline int32_t zeroElements(int32_t* d, int32_t n) { return zeroVector32s(d, n); }

template <class T, bool Sub>
inline int32_t scaledForm(const T* x, const T* y, T* d, int32_t len, int32_t sf) {
    if (!x || !y || !d)
        return primErrNullPtr;
    if (len <= 0)
        return primErrSize;
    if (sf > int32_t(sizeof(T) * 8))
        return zeroElements(d, len);
    scaledKernel<T, Sub>(x, y, T(0), d, len, sf);
    return primNoErr;
}

template <int Op>
inline int32_t floatForm(const float* x, const float* y, float* d, int32_t len) {
    if (!x || !y || !d)
        return primErrNullPtr;
    if (len <= 0)
        return primErrSize;
    floatKernel<Op>(x, y, d, len);
    return primNoErr;
}

} // namespace

// The kernels take (minuend, subtrahend); every null pointer gives the same
// status whichever is tested first.
int32_t addVectorInPlace16sScaled(const int16_t* src, int16_t* srcDst, int32_t len, int32_t sf) {
    return scaledForm<int16_t, false>(src, srcDst, srcDst, len, sf);
}
int32_t addVector16sScaled(const int16_t* src1, const int16_t* src2, int16_t* dst, int32_t len, int32_t sf) {
    return scaledForm<int16_t, false>(src1, src2, dst, len, sf);
}
int32_t subVectorInPlace16sScaled(const int16_t* src, int16_t* srcDst, int32_t len, int32_t sf) {
    return scaledForm<int16_t, true>(srcDst, src, srcDst, len, sf);
}
int32_t subVector16sScaled(const int16_t* src1, const int16_t* src2, int16_t* dst, int32_t len, int32_t sf) {
    return scaledForm<int16_t, true>(src2, src1, dst, len, sf);
}
int32_t addVectorInPlace32sScaled(const int32_t* src, int32_t* srcDst, int32_t len, int32_t sf) {
    return scaledForm<int32_t, false>(src, srcDst, srcDst, len, sf);
}
int32_t addVector32sScaled(const int32_t* src1, const int32_t* src2, int32_t* dst, int32_t len, int32_t sf) {
    return scaledForm<int32_t, false>(src1, src2, dst, len, sf);
}
int32_t subVectorInPlace32sScaled(const int32_t* src, int32_t* srcDst, int32_t len, int32_t sf) {
    return scaledForm<int32_t, true>(srcDst, src, srcDst, len, sf);
}
int32_t subVector32sScaled(const int32_t* src1, const int32_t* src2, int32_t* dst, int32_t len, int32_t sf) {
    return scaledForm<int32_t, true>(src2, src1, dst, len, sf);
}

#if VQ_ADD_SUB_FLOAT_FORMS
int32_t addVector32f(const float* src1, const float* src2, float* dst, int32_t len) {
    return floatForm<0>(src1, src2, dst, len);
}
int32_t subVector32f(const float* src1, const float* src2, float* dst, int32_t len) {
    return floatForm<1>(src2, src1, dst, len);
}
int32_t addVectorInPlace32f(const float* src, float* srcDst, int32_t len) {
    return floatForm<0>(src, srcDst, srcDst, len);
}
int32_t subVectorInPlace32f(const float* src, float* srcDst, int32_t len) {
    return floatForm<1>(srcDst, src, srcDst, len);
}
#endif

int32_t mulVectorConst32f(const float* src, float value, float* dst, int32_t len) {
    if (!src || !dst)
        return primErrNullPtr;
    if (len <= 0)
        return primErrSize;
    // Ordered comparisons: a NaN value is neither 1 nor 0, and -0.0 is 0.
    if (value == 1.0f)
        return copyVector32s(reinterpret_cast<const int32_t*>(src), reinterpret_cast<int32_t*>(dst), len);
    if (value == 0.0f)
        return zeroVector32s(reinterpret_cast<int32_t*>(dst), len);
    scale32f(src, value, dst, len);
    return primNoErr;
}

int32_t mulVectorConstInPlace32f(float value, float* srcDst, int32_t len) {
    if (!srcDst)
        return primErrNullPtr;
    if (len <= 0)
        return primErrSize;
    if (value == 1.0f)
        return primNoErr;
    if (value == 0.0f)
        return zeroVector32s(reinterpret_cast<int32_t*>(srcDst), len);
    scaleInPlace32f(value, srcDst, len);
    return primNoErr;
}
