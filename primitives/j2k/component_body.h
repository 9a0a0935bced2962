// Scalar component transforms of one sample position and the row walk, shared
// by the generic forms and the processor paths (whose vector kernels leave
// the samples after their last block to these).
#pragma once

#include <cstdint>

#include "primitives/core/prim_types.h"
#include "primitives/j2k/lifting_rules.h"

namespace j2k_component {
namespace {

using j2k_rules::add32;
using j2k_rules::sub32;

// The checks of every form, in their order.
template <class T>
inline int32_t check(T* const* planes, int32_t step, int32_t width, int32_t height) {
    if (!planes || !planes[0] || !planes[1] || !planes[2])
        return primErrNullPtr;
    if (step <= 0)
        return primErrStep;
    if (width <= 0 || height <= 0)
        return primErrSize;
    return primNoErr;
}

template <class T>
inline T* rowOf(T* plane, int32_t step, int32_t r) {
    return reinterpret_cast<T*>(reinterpret_cast<uint8_t*>(plane) + static_cast<intptr_t>(r) * step);
}

// Checks, then row(plane0 row, plane1 row, plane2 row, width) for every row.
template <class T, class Row>
inline int32_t eachRow(T* const* planes, int32_t step, int32_t width, int32_t height, Row row) {
    if (const int32_t s = check(planes, step, width, height))
        return s;
    for (int32_t r = 0; r < height; ++r)
        row(rowOf(planes[0], step, r), rowOf(planes[1], step, r), rowOf(planes[2], step, r), width);
    return primNoErr;
}

// A row of single samples from x on.
template <class T, void (*One)(T*, T*, T*)>
inline void samplesFrom(T* p0, T* p1, T* p2, int32_t x, int32_t width) {
    for (; x < width; ++x)
        One(p0 + x, p1 + x, p2 + x);
}

inline void forwardRctSample(int32_t* p0, int32_t* p1, int32_t* p2) {
    const int32_t R = *p0, G = *p1, B = *p2;
    *p0 = add32(add32(R, add32(G, G)), B) >> 2;
    *p1 = sub32(B, G);
    *p2 = sub32(R, G);
}

inline void inverseRctSample(int32_t* p0, int32_t* p1, int32_t* p2) {
    const int32_t Y = *p0, Db = *p1, Dr = *p2;
    const int32_t G = sub32(Y, add32(Db, Dr) >> 2);
    *p0 = add32(Dr, G);
    *p1 = G;
    *p2 = add32(Db, G);
}

inline void inverseRct16Sample(int16_t* p0, int16_t* p1, int16_t* p2) {
    const int32_t Y = *p0, Db = *p1, Dr = *p2;
    const int32_t G = j2k_rules::wrap16(Y - ((Db + Dr) >> 2));
    *p0 = j2k_rules::wrap16(Dr + G);
    *p1 = static_cast<int16_t>(G);
    *p2 = j2k_rules::wrap16(Db + G);
}

// 16-bit ICT with Q14 weights, sums in 32 bits, results saturated (a colour
// beyond the range is clamped, never turned into its opposite). Green: the
// generic form adds the rounded negative correction, the processor paths
// (Lanes) subtract the rounded positive one, one lower at an exact half.
template <bool Lanes>
inline void ict16Sample(int16_t* p0, int16_t* p1, int16_t* p2) {
    const int32_t Y = *p0, Cb = *p1, Cr = *p2;
    *p0 = j2k_rules::sat16(Y + ((22970 * Cr + 8192) >> 14));
    *p1 = j2k_rules::sat16(Lanes ? Y - ((5638 * Cb + 11700 * Cr + 8192) >> 14) : Y + ((8192 - 5638 * Cb - 11700 * Cr) >> 14));
    *p2 = j2k_rules::sat16(Y + ((29032 * Cb + 8192) >> 14));
}

} // namespace
} // namespace j2k_component
