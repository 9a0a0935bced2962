// The constant and shift forms of one path, included inside that path's
// namespace (prim::generic or prim::p1..p5) after the path's kernels:
//   scaledKernel<T, Sub>(x, nullptr, c, d, n, sf): d = x +- c scaled by sf,
//     for sf up to the element width;
//   shiftElements<T, Kind>(src, dst, n, s): the shift of every element by s,
//     1 to 31 (Kind: kShiftLeft, kShiftRight arithmetic).
// The order of the tests and the shortcuts is the same on every path.

namespace {

inline int32_t copyElements(const int16_t* s, int16_t* d, int32_t n) { return copyVector16s(s, d, n); }
inline int32_t copyElements(const int32_t* s, int32_t* d, int32_t n) { return copyVector32s(s, d, n); }
inline int32_t clearElements(int16_t* d, int32_t n) { return zeroVector16s(d, n); }
inline int32_t clearElements(int32_t* d, int32_t n) { return zeroVector32s(d, n); }

template <class T, bool Sub>
inline int32_t constForm(const T* src, T c, T* dst, int32_t len, int32_t sf, bool inPlace) {
    if (!src || !dst)
        return primErrNullPtr;
    if (len <= 0)
        return primErrSize;
    if (sf == 0 && c == 0)
        return inPlace ? primNoErr : copyElements(src, dst, len);
    if (sf > int32_t(sizeof(T) * 8))
        return clearElements(dst, len);
    scaledKernel<T, Sub>(src, nullptr, c, dst, len, sf);
    return primNoErr;
}

// The right shifts after their checks: a count of 0 in place does nothing,
// a count beyond the width fills with the sign (a shift by width - 1).
template <class T>
inline int32_t shiftRightForm(const T* src, int32_t shift, T* dst, int32_t len) {
    if (!src || !dst)
        return primErrNullPtr;
    if (len <= 0)
        return primErrSize;
    if (shift < 0)
        return primErrShift;
    if (shift == 0)
        return primNoErr;
    constexpr int32_t kTop = sizeof(T) * 8 - 1;
    shiftElements<T, kShiftRight>(src, dst, len, shift > kTop ? kTop : shift);
    return primNoErr;
}

template <class T>
inline int32_t shiftLeftForm(const T* src, int32_t shift, T* dst, int32_t len) {
    if (!src || !dst)
        return primErrNullPtr;
    if (len <= 0)
        return primErrSize;
    if (shift < 0)
        return primErrShift;
    if (shift > 0)
        shiftElements<T, kShiftLeft>(src, dst, len, shift);
    return primNoErr;
}

} // namespace

int32_t subVectorConstInPlace32sScaled(int32_t c, int32_t* srcDst, int32_t len, int32_t sf) {
    return constForm<int32_t, true>(srcDst, c, srcDst, len, sf, true);
}
int32_t addVectorConst32sScaled(const int32_t* src, int32_t c, int32_t* dst, int32_t len, int32_t sf) {
    return constForm<int32_t, false>(src, c, dst, len, sf, false);
}
int32_t addVectorConstInPlace32sScaled(int32_t c, int32_t* srcDst, int32_t len, int32_t sf) {
    return constForm<int32_t, false>(srcDst, c, srcDst, len, sf, true);
}
int32_t addVectorConst16sScaled(const int16_t* src, int32_t c, int16_t* dst, int32_t len, int32_t sf) {
    return constForm<int16_t, false>(src, static_cast<int16_t>(c), dst, len, sf, false);
}
int32_t addVectorConstInPlace16sScaled(int32_t c, int16_t* srcDst, int32_t len, int32_t sf) {
    return constForm<int16_t, false>(srcDst, static_cast<int16_t>(c), srcDst, len, sf, true);
}

int32_t shiftLeftVectorConst32s(const int32_t* src, int32_t shift, int32_t* dst, int32_t len) {
    if (shift == 0)
        return copyVector32s(src, dst, len);
    if (shift > 31)
        return src ? zeroVector32s(dst, len) : primErrNullPtr;
    return shiftLeftForm(src, shift, dst, len);
}
int32_t shiftRightVectorConstInPlace32s(int32_t shift, int32_t* data, int32_t len) {
    return shiftRightForm(data, shift, data, len);
}
int32_t shiftRightVectorConst32s(const int32_t* src, int32_t shift, int32_t* dst, int32_t len) {
    if (shift == 0)
        return copyVector32s(src, dst, len);
    return shiftRightForm(src, shift, dst, len);
}
int32_t shiftLeftVectorConstInPlace16s(int32_t shift, int16_t* data, int32_t len) {
    if (shift > 15)
        return zeroVector16s(data, len);
    return shiftLeftForm(data, shift, data, len);
}
int32_t shiftRightVectorConst16s(const int16_t* src, int32_t shift, int16_t* dst, int32_t len) {
    if (shift == 0)
        return copyVector16s(src, dst, len);
    return shiftRightForm(src, shift, dst, len);
}
int32_t shiftRightVectorConstInPlace16s(int32_t shift, int16_t* data, int32_t len) {
    return shiftRightForm(data, shift, data, len);
}
