// Path comparison for the vector primitives: every path the processor runs is
// called on the same bytes as the generic path, over a table of lengths and
// byte offsets 0..15 of every buffer, with guard bytes around each buffer;
// statuses and every byte of every buffer (guards included) must agree.
#pragma once

#include <gtest/gtest.h>

#include <cstring>
#include <functional>
#include <memory>
#include <random>
#include <string>
#include <vector>

#include "support/path_harness.h"

namespace vqtest {

// Lengths 1..max and any further ones (thresholds, block sizes).
inline std::vector<int> lengthsUpTo(int max, std::initializer_list<int> extra = {}) {
    std::vector<int> v;
    for (int n = 1; n <= max; ++n)
        v.push_back(n);
    v.insert(v.end(), extra);
    return v;
}

template <class T>
inline T getAt(const void* base, int i) {
    T v;
    std::memcpy(&v, static_cast<const uint8_t*>(base) + sizeof(T) * i, sizeof v);
    return v;
}
template <class T>
inline void putAt(void* base, int i, T v) {
    std::memcpy(static_cast<uint8_t*>(base) + sizeof(T) * i, &v, sizeof v);
}

// A float from its bit pattern, and back.
inline float fromBits(uint32_t u) {
    float f;
    std::memcpy(&f, &u, 4);
    return f;
}
inline uint32_t bitsOf(float f) {
    uint32_t u;
    std::memcpy(&u, &f, 4);
    return u;
}

// A signed 16-bit or 32-bit element, widened.
inline int64_t intAt(const void* p, int size, int i) {
    return size == 2 ? int64_t(getAt<int16_t>(p, i)) : int64_t(getAt<int32_t>(p, i));
}
inline void setIntAt(void* p, int size, int i, int64_t v) {
    if (size == 2)
        putAt<int16_t>(p, i, static_cast<int16_t>(v));
    else
        putAt<int32_t>(p, i, static_cast<int32_t>(v));
}

// Random elements, one in three replaced by one of `specials`.
template <class T>
inline void fillMixed(void* p, int n, std::mt19937& rng, const std::vector<T>& specials) {
    for (int i = 0; i < n; ++i) {
        T v;
        if (!specials.empty() && rng() % 3 == 0) {
            v = specials[rng() % specials.size()];
        } else {
            uint64_t bits = (uint64_t(rng()) << 32) | rng();
            std::memcpy(&v, &bits, sizeof v);
        }
        putAt<T>(p, i, v);
    }
}

using BufferFill = std::function<void(int buffer, void* p, int n, std::mt19937& rng)>;
using BufferRun = std::function<int32_t(int path, uint8_t* const* buffers, int n)>;

// elemSizes: element size of each buffer (1 to 3 buffers). Buffer b of the
// k-th case of a length sits (k * (2b + 1) + 3b) mod 16 bytes past a 32-byte
// boundary, so every buffer takes every offset 0..15 and the offsets vary
// against each other.
inline void expectVectorPathsMatch(const std::vector<int>& elemSizes, const std::vector<int>& lengths,
                                   const BufferFill& fill, const BufferRun& run, const std::string& what,
                                   uint32_t seed = 1) {
    const int nb = static_cast<int>(elemSizes.size());
    for (int path : supportedPaths()) {
        for (int n : lengths) {
            for (int k = 0; k < 16; ++k) {
                std::vector<std::unique_ptr<GuardedImage>> ref, out;
                std::mt19937 rng(seed * 7919u + n * 31u + k);
                for (int b = 0; b < nb; ++b) {
                    const int off = (k * (2 * b + 1) + 3 * b) % 16;
                    ref.push_back(std::make_unique<GuardedImage>(n * elemSizes[b], 1, off));
                    out.push_back(std::make_unique<GuardedImage>(n * elemSizes[b], 1, off));
                    fill(b, ref[b]->origin(), n, rng);
                    out[b]->copyAllFrom(*ref[b]);
                }
                uint8_t* rp[3] = {};
                uint8_t* op[3] = {};
                for (int b = 0; b < nb; ++b) {
                    rp[b] = ref[b]->origin();
                    op[b] = out[b]->origin();
                }
                const int32_t want = run(0, rp, n);
                const int32_t got = run(path, op, n);
                const std::string where = what + " " + pathName(path) + " n " + std::to_string(n) + " case " +
                                          std::to_string(k);
                ASSERT_EQ(got, want) << where;
                for (int b = 0; b < nb; ++b) {
                    ASSERT_TRUE(ref[b]->guardsIntact()) << where << " generic guard of buffer " << b;
                    ASSERT_TRUE(out[b]->sameAllAs(*ref[b])) << where << " buffer " << b;
                }
            }
        }
    }
}

// r x 2^-sf rounded to nearest, ties to even, by floor division and a
// remainder comparison, then clamped to [lo, hi].
inline int64_t oracleScale(int64_t r, int64_t sf, int64_t lo, int64_t hi) {
    __int128 v;
    if (sf >= 0) {
        const int s = sf > 100 ? 100 : static_cast<int>(sf);
        const __int128 div = __int128(1) << s;
        __int128 q = r / div, rem = r % div;
        if (rem < 0) {
            q -= 1;
            rem += div;
        }
        if (2 * rem > div || (2 * rem == div && (q & 1)))
            q += 1;
        v = q;
    } else {
        const int k = -sf > 90 ? 90 : static_cast<int>(-sf);
        v = __int128(r) * (__int128(1) << k);
    }
    return v < lo ? lo : (v > hi ? hi : static_cast<int64_t>(v));
}

// The SSE control and status register of the calling thread.
class CallerMxcsr {
public:
    // Rounding toward +infinity, denormals read as zero, all exceptions
    // masked: a caller state no primitive may disturb.
    static constexpr uint32_t kUnusual = 0x1F80u | 0x4000u | 0x0040u;
    explicit CallerMxcsr(uint32_t value = kUnusual) : saved_(readCsr()) { writeCsr(value); }
    ~CallerMxcsr() { writeCsr(saved_); }
    static uint32_t readCsr();
    static void writeCsr(uint32_t v);

private:
    uint32_t saved_;
};

} // namespace vqtest

#include <xmmintrin.h>

inline uint32_t vqtest::CallerMxcsr::readCsr() { return _mm_getcsr(); }
inline void vqtest::CallerMxcsr::writeCsr(uint32_t v) { _mm_setcsr(v); }
