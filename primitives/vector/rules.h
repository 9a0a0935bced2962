// Element rules shared by the generic forms and the scalar heads and tails of
// every processor path: unaligned element access, saturation and the
// scale-factor rounding of the integer vector primitives.
//
// Everything here sits in an unnamed namespace so that each translation unit
// (the generic one and every path's, each built with its own instruction-set
// flag) has its own copy: no path's instructions reach another path's code.
#pragma once

#include <cstdint>
#include <cstring>
#include <type_traits>

namespace {
namespace vrule {

// Vectors may start at any byte address (16-bit vectors at odd ones), so
// single elements are moved through memcpy, never through a typed pointer.
template <class T>
inline T ld(const void* p) {
    T v;
    __builtin_memcpy(&v, p, sizeof v);
    return v;
}
template <class T>
inline void st(void* p, T v) {
    __builtin_memcpy(p, &v, sizeof v);
}
template <class T>
inline T ldAt(const T* p, int64_t i) {
    return ld<T>(p + i);
}
template <class T>
inline void stAt(T* p, int64_t i, T v) {
    st<T>(p + i, v);
}

template <class T>
constexpr int64_t kMin = -(int64_t(1) << (sizeof(T) * 8 - 1));
template <class T>
constexpr int64_t kMax = (int64_t(1) << (sizeof(T) * 8 - 1)) - 1;

template <class T>
inline T saturate(int64_t v) {
    return static_cast<T>(v < kMin<T> ? kMin<T> : (v > kMax<T> ? kMax<T> : v));
}

// r x 2^-sf rounded to nearest with ties to the even neighbour, saturated to
// T. r is the exact result of the element operation, at most 2^32 in
// magnitude, so r x 2^k stays inside 64 bits for k up to 30; every larger k
// saturates any non-zero r by its sign.
template <class T>
inline T scaleRound(int64_t r, int32_t sf) {
    if (sf == 0)
        return saturate<T>(r);
    if (sf > 0) {
        if (sf > 40)
            return 0;
        const int64_t t = (r + ((int64_t(1) << (sf - 1)) - 1) + ((r >> sf) & 1)) >> sf;
        return saturate<T>(t);
    }
    const int64_t k = -int64_t(sf);
    if (k > 30 || r == 0)
        return r == 0 ? T(0) : static_cast<T>(r > 0 ? kMax<T> : kMin<T>);
    return saturate<T>(r * (int64_t(1) << k));
}

// Kinds of shift; a right shift of a signed element is arithmetic, of an
// unsigned one logical.
enum ShiftKind : int { kShiftLeft = 0, kShiftRight = 1 };

// x shifted by s (0 to 31): a left shift keeps the low bits; a count at or
// beyond the width gives 0, or the sign fill for an arithmetic right shift.
template <class T, int Kind>
inline T shiftOne(T x, int32_t s) {
    using U = std::make_unsigned_t<T>;
    constexpr int32_t kWidth = sizeof(T) * 8;
    if (Kind == kShiftLeft)
        return s >= kWidth ? T(0) : static_cast<T>(static_cast<U>(static_cast<U>(x) << s));
    if (std::is_signed_v<T>)
        return static_cast<T>(x >> (s >= kWidth ? kWidth - 1 : s));
    return s >= kWidth ? T(0) : static_cast<T>(static_cast<U>(x) >> s);
}

} // namespace vrule
} // namespace
