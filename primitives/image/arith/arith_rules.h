// Per-sample rules of the constant arithmetic: the generic rows and the
// scalar heads and tails of every path use them. Internal linkage, so each
// translation unit keeps its own copy built with its own instructions.
#pragma once

#include <cstdint>

namespace {
namespace arule {

// Cases of a scale factor, chosen once per call.
enum Kind : int {
    kSat = 0,   // scale factor 0
    kHalf = 1,  // 1
    kDown = 2,  // 2 up to the operation's limit: a rounding shift by k
    kUp = 3,    // -1 to -k: a left shift by k, saturated
    kMask = 4,  // so negative that every non-zero value saturates
};

enum Op8u : int { kMul = 0, kSub = 1, kAdd = 2 };

// v * 2^-k for k >= 1, rounded to nearest with ties to even (v >= 0 or any
// 32-bit value whose sum below stays in range).
inline int32_t roundShift(int32_t v, int32_t k) {
    return (v + ((int32_t(1) << (k - 1)) - 1) + ((v >> k) & 1)) >> k;
}

inline int16_t sat16(int32_t v) { return static_cast<int16_t>(v < -32768 ? -32768 : (v > 32767 ? 32767 : v)); }
inline uint8_t sat8(int32_t v) { return static_cast<uint8_t>(v < 0 ? 0 : (v > 255 ? 255 : v)); }

// 16-bit constant multiply: p is the exact product.
template <int K>
inline int16_t mul16s(int32_t p, int32_t k) {
    if constexpr (K == kSat)
        return sat16(p);
    else if constexpr (K == kHalf || K == kDown)
        return sat16(roundShift(p, K == kHalf ? 1 : k));
    else if constexpr (K == kUp)
        return sat16(int32_t(sat16(p)) * (int32_t(1) << k));
    else
        return static_cast<int16_t>(p > 0 ? 32767 : (p < 0 ? -32768 : 0));
}

// 8-bit: v is the exact product, difference (already max(0, .)) or sum.
template <int K>
inline uint8_t scale8u(int32_t v, int32_t k) {
    if constexpr (K == kSat)
        return sat8(v);
    else if constexpr (K == kHalf || K == kDown)
        return sat8(roundShift(v, K == kHalf ? 1 : k));
    else if constexpr (K == kUp)
        return sat8(v << k);
    else
        return static_cast<uint8_t>(v > 0 ? 255 : 0);
}

template <int Op>
inline int32_t exact8u(uint8_t dst, uint8_t src, int32_t c) {
    if constexpr (Op == kMul)
        return int32_t(dst) * c;
    else if constexpr (Op == kSub)
        return dst > src ? int32_t(dst) - src : 0;
    else
        return int32_t(dst) + src;
}

// The case and shift count of a scale factor; `limit` is the largest scale
// factor at which a result can still be 1 (every larger one fills with 0).
inline Kind kindOf(int32_t sf, int32_t upLimit, int32_t* k) {
    *k = sf > 0 ? sf : -sf;
    if (sf == 0)
        return kSat;
    if (sf == 1)
        return kHalf;
    if (sf > 1)
        return kDown;
    return -sf <= upLimit ? kUp : kMask;
}

} // namespace arule
} // namespace
