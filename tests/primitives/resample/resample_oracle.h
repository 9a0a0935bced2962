// Test images, calls of the square-pixel resize and independent oracles that
// resample one destination sample straight from the definition.
#pragma once

#include <cstdint>
#include <functional>
#include <random>
#include <vector>

#include "primitives/core/prim_types.h"

namespace rstest {

template <class T> struct Image {
    int width = 0, height = 0, channels = 1;
    std::vector<T> px;
    Image() = default;
    Image(int w, int h, int c, T fill = T()) : width(w), height(h), channels(c), px(size_t(w) * h * c, fill) {}
    T& at(int x, int y, int c = 0) { return px[(size_t(y) * width + x) * channels + c]; }
    const T& at(int x, int y, int c = 0) const { return px[(size_t(y) * width + x) * channels + c]; }
    int32_t step() const { return width * channels * int32_t(sizeof(T)); }
    PrimSize size() const { return {width, height}; }
    PrimRect rect() const { return {0, 0, width, height}; }
};

template <class T> Image<T> randomImage(int w, int h, int c, std::mt19937& rng, int maxValue) {
    Image<T> img(w, h, c);
    std::uniform_int_distribution<int> d(0, maxValue);
    for (auto& v : img.px)
        v = static_cast<T>(d(rng));
    return img;
}

// Runs the square-pixel resize of the image's kind (8u or 16u, 1 or 3
// channels) through the public entry, with a buffer of exactly the queried
// size. dst keeps its size; the destination region is the whole of dst.
int32_t resizeSq(const Image<uint8_t>& src, Image<uint8_t>& dst, double xf, double yf, double xs, double ys,
                 int32_t code);
int32_t resizeSq(const Image<uint16_t>& src, Image<uint16_t>& dst, double xf, double yf, double xs, double ys,
                 int32_t code);

// Halving with factors 0.5, shifts 0 into a (W / 2) x (H / 2) image.
template <class T> Image<T> halve(const Image<T>& src, int32_t code, int32_t* status = nullptr) {
    Image<T> dst(src.width / 2, src.height / 2, src.channels);
    const int32_t s = resizeSq(src, dst, 0.5, 0.5, 0.0, 0.0, code);
    if (status != nullptr)
        *status = s;
    return dst;
}

// A separable kernel: weights of taps first .. first + count - 1 (relative to
// floor of the position) for a fraction t.
struct Kernel {
    int first;
    int count;
    std::function<void(double t, double* w)> weights;
};
Kernel cubicKernel(int code); // codes 4 to 7, straight from the kernel formulas
Kernel lanczosKernel();       // sin(pi d) sin(pi d / 3) / (pi^2 d^2 / 3), normalised

// Exact real value of destination sample (x, y, c) of the mapping
// source = (d + 0.5) * inv - 0.5 + offset, taps clamped to the image.
template <class T>
double oracleValue(const Image<T>& src, const Kernel& k, int x, int y, int c, double invX, double invY,
                   double offX = 0.0, double offY = 0.0);

double roundHalfUp(double v, double maxValue); // then clamped to [0, maxValue]

// Value at absolute source position (x, y) of the general engine's kernels:
// code 2 bilinear and 16 Lanczos-3 with taps clamped to the image; code 4
// the cubic through the four samples of a window kept inside the image.
template <class T> double generalOracle(const Image<T>& src, int code, double x, double y, int c);

// While alive, every block of the primitive allocators is surrounded by
// guard bytes: the slack of the underlying allocation before and after the
// aligned block holds a pattern that is checked when the block is freed
// (AddressSanitizer watches past the allocation itself).
class GuardedAllocations {
public:
    GuardedAllocations();
    ~GuardedAllocations();
    GuardedAllocations(const GuardedAllocations&) = delete;
    GuardedAllocations& operator=(const GuardedAllocations&) = delete;
    int damaged() const;     // blocks freed with a guard overwritten
    int outstanding() const; // blocks not freed yet
    int freed() const;
};

} // namespace rstest
