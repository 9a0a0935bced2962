// Helpers of the JPEG 2000 primitive tests: exact-size copies of the stretch
// a call may read (so the address sanitizer sees any read beyond it), random
// fills and float comparisons.
#pragma once

#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <cstring>
#include <random>
#include <vector>

#include "support/path_harness.h"

namespace j2ktest {

using vqtest::allPaths;
using vqtest::pathName;

// A heap block holding exactly values [from, from + count) of a longer signal,
// addressed by the signal's own indices: at(i) for from <= i < from + count.
template <class T>
class Window {
public:
    Window(const T* signal, int from, int count) : from_(from), v_(signal + from, signal + from + count) {}
    Window(int from, int count, T fill = T()) : from_(from), v_(count, fill) {}
    T* at(int i) { return v_.data() + (i - from_); }
    const T* at(int i) const { return v_.data() + (i - from_); }
    std::vector<T>& values() { return v_; }

private:
    int from_;
    std::vector<T> v_;
};

template <class T>
std::vector<T> randomValues(std::mt19937& rng, int n, int64_t lo, int64_t hi) {
    std::uniform_int_distribution<int64_t> d(lo, hi);
    std::vector<T> v(n);
    for (T& x : v)
        x = static_cast<T>(d(rng));
    return v;
}

inline std::vector<float> randomFloats(std::mt19937& rng, int n, float amplitude) {
    std::uniform_real_distribution<float> d(-amplitude, amplitude);
    std::vector<float> v(n);
    for (float& x : v)
        x = d(rng);
    return v;
}

inline uint32_t bitsOf(float f) {
    uint32_t u;
    std::memcpy(&u, &f, 4);
    return u;
}

} // namespace j2ktest
