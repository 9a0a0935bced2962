// A pair of signed 32-bit values: width and height, column and row, or tiles
// across and down.
#pragma once

#include <cstdint>

struct IntPair {
    int32_t first = 0;
    int32_t second = 0;

    IntPair() = default;
    IntPair(int32_t a, int32_t b) : first(a), second(b) {}

    bool operator==(const IntPair& o) const { return first == o.first && second == o.second; }
    bool operator!=(const IntPair& o) const { return !(*this == o); }
    // Both values divided by n; unchanged when n is 0.
    IntPair operator/(int32_t n) const { return n == 0 ? *this : IntPair(first / n, second / n); }
};
