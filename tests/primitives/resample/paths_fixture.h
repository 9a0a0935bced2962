// Shared pieces of the processor-path tests of the resize engines: aligned
// scratch rows with guard bytes, sample access by data kind, and the
// tolerance of single-precision results against the double-precision
// generic path.
#pragma once

#include <cmath>
#include <cstdint>
#include <cstring>
#include <random>
#include <vector>

#include "primitives/core/prim_types.h"
#include "primitives/resample/resize_sq.h"
#include "support/path_harness.h"

namespace pathtest {

// Data kinds in the engines' order.
enum Kind { k8u = 0, k16u = 1, k32f = 2, k16s = 3 };
inline int elemSize(int kind) { return kind == k8u ? 1 : kind == k32f ? 4 : 2; }
inline const char* kindName(int kind) {
    static const char* names[] = {"8u", "16u", "32f", "16s"};
    return names[kind];
}

// A 32-byte aligned block with guard bytes on both sides.
class Scratch {
public:
    static constexpr int kGuard = 64;
    explicit Scratch(size_t bytes) : storage_(bytes + 2 * kGuard + 32, 0xA5), bytes_(bytes) {
        const auto base = reinterpret_cast<uintptr_t>(storage_.data()) + kGuard;
        data_ = reinterpret_cast<uint8_t*>((base + 31) & ~uintptr_t(31));
        std::memset(data_, 0, bytes);
    }
    uint8_t* data() { return data_; }
    bool guardsIntact() const {
        for (const uint8_t* p = storage_.data(); p < data_; ++p)
            if (*p != 0xA5)
                return false;
        for (const uint8_t* p = data_ + bytes_; p < storage_.data() + storage_.size(); ++p)
            if (*p != 0xA5)
                return false;
        return true;
    }

private:
    std::vector<uint8_t> storage_;
    size_t bytes_;
    uint8_t* data_;
};

// Sample n of a row, as a double, by kind.
inline double sampleAt(const uint8_t* row, int kind, int64_t n) {
    switch (kind) {
    case k8u:
        return row[n];
    case k16u: {
        uint16_t v;
        std::memcpy(&v, row + 2 * n, 2);
        return v;
    }
    case k16s: {
        int16_t v;
        std::memcpy(&v, row + 2 * n, 2);
        return v;
    }
    default: {
        float v;
        std::memcpy(&v, row + 4 * n, 4);
        return v;
    }
    }
}

// Fills every row of an image of the kind: random bytes for the integer
// kinds, finite floats of magnitude below `range` for the float kind.
inline void fillSamples(vqtest::GuardedImage& img, int kind, std::mt19937& rng, float range = 1000.0f) {
    img.fillRandom(rng);
    if (kind != k32f)
        return;
    std::uniform_real_distribution<float> d(-range, range);
    for (int y = 0; y < img.height(); ++y)
        for (int x = 0; x < img.rowBytes() / 4; ++x) {
            const float v = d(rng);
            std::memcpy(img.row(y) + 4 * x, &v, 4);
        }
}

// The spacing of floats at the magnitude of v.
inline double ulpOf(double v) {
    int e = 0;
    std::frexp(v == 0.0 ? 1.0 : std::fabs(v), &e);
    return std::ldexp(1.0, e - 24);
}

// Largest magnitude of the float samples of an image.
inline double maxMagnitude(const vqtest::GuardedImage& img) {
    double m = 0.0;
    for (int y = 0; y < img.height(); ++y)
        for (int x = 0; x < img.rowBytes() / 4; ++x)
            m = std::fmax(m, std::fabs(sampleAt(img.row(y), k32f, x)));
    return m;
}

// Float images equal within `ulps` spacings of `magnitude` (the largest
// source magnitude: single-precision steps err relative to their inputs);
// any other bytes (gaps, untouched samples) equal exactly.
inline bool floatsClose(const vqtest::GuardedImage& a, const vqtest::GuardedImage& b, double magnitude, double ulps,
                        std::string* where = nullptr) {
    const double tol = ulps * ulpOf(magnitude);
    for (int y = 0; y < a.height(); ++y)
        for (int x = 0; x < a.rowBytes() / 4; ++x) {
            const double u = sampleAt(a.row(y), k32f, x), v = sampleAt(b.row(y), k32f, x);
            if (!(std::fabs(u - v) <= tol) && !(std::isnan(u) && std::isnan(v))) {
                if (where != nullptr)
                    *where = "row " + std::to_string(y) + " sample " + std::to_string(x) + ": " + std::to_string(u) +
                             " vs " + std::to_string(v);
                return false;
            }
        }
    return a.guardsIntact() && b.guardsIntact();
}

// One resize through the square-pixel entry of `path` for 8u or 16u
// samples with one or three channels.
inline int32_t squarePixel(int path, int kind, int ch, const vqtest::GuardedImage& src, PrimSize size,
                           vqtest::GuardedImage& dst, PrimRect dstRoi, double xf, double yf, double xs, double ys,
                           int32_t code, void* buffer) {
    const PrimRect sr{0, 0, size.width, size.height};
    if (kind == k8u)
        return (ch == 1 ? resizeSquarePixel8uC1Table : resizeSquarePixel8uC3Table)[path](
            src.origin(), size, src.step(), sr, dst.origin(), dst.step(), dstRoi, xf, yf, xs, ys, code, buffer);
    return (ch == 1 ? resizeSquarePixel16uC1Table : resizeSquarePixel16uC3Table)[path](
        reinterpret_cast<const uint16_t*>(src.origin()), size, src.step(), sr, dst.as<uint16_t>(), dst.step(), dstRoi,
        xf, yf, xs, ys, code, buffer);
}

} // namespace pathtest
