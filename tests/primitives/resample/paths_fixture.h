// Shared pieces of the processor-path tests of the resize engines: aligned
// scratch rows with guard bytes, sample access by data kind, and the
// tolerance of single-precision results against the double-precision
// generic path.
#pragma once

#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <cstring>
#include <random>
#include <string>
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

inline void storeSample(uint8_t* row, int kind, int64_t n, double v) {
    switch (kind) {
    case k8u:
        row[n] = uint8_t(v);
        break;
    case k16u: {
        const uint16_t s = uint16_t(int64_t(v));
        std::memcpy(row + 2 * n, &s, 2);
        break;
    }
    case k16s: {
        const int16_t s = int16_t(int64_t(v));
        std::memcpy(row + 2 * n, &s, 2);
        break;
    }
    default: {
        const float s = float(v);
        std::memcpy(row + 4 * n, &s, 4);
        break;
    }
    }
}

// Pixel shapes of the row routines: samples resampled, pixel stride and the
// (pixelStride, channelCount) arguments.
struct Shape {
    const char* name;
    int channels, stride;
    bool plane;
};
inline const Shape kShapes[] = {{"plane", 1, 1, true}, {"C3", 3, 3, false}, {"AC4", 3, 4, false}, {"C4", 4, 4, false}};

// An image with a random alignment, row gap and step sign.
inline vqtest::GuardedImage randomLayout(int rowBytes, int rows, int e, std::mt19937& rng) {
    const int align = int(rng() % 16) & ~(e - 1), gap = int(rng() % 4) * e;
    return vqtest::GuardedImage(rowBytes, rows, align, gap, (rng() & 1) != 0);
}

// The images of one row-routine call: a random source of the kind and
// shape, a random destination and `want`, a packed copy of its start.
struct RoutineCase {
    int e, next;
    vqtest::GuardedImage src, dst, want;
    int srcStepE;
    RoutineCase(int kind, const Shape& shape, int width, int height, int srcCols, int srcRows, std::mt19937& rng)
        : e(elemSize(kind)), next(shape.plane ? 1 : shape.stride),
          src(randomLayout(srcCols * shape.stride * e, srcRows, e, rng)),
          dst(randomLayout(width * shape.stride * e, height, e, rng)), want(width * shape.stride * e, height, 0, 0, false),
          srcStepE(src.step() / e) {
        fillSamples(src, kind, rng);
        dst.fillRandom(rng);
        want.setPixels(dst.pixels());
    }
};

// The destination against the formulas' image: bytes equal, except the
// results of path 0, which rounds from double precision once per stage:
// floats within `ulps` spacings of `magnitude`, integer samples within
// `levels`.
inline ::testing::AssertionResult matchesFormulas(int path, int kind, const vqtest::GuardedImage& dst,
                                                  const vqtest::GuardedImage& want, double magnitude, double ulps,
                                                  int levels = 0) {
    if (!dst.guardsIntact())
        return ::testing::AssertionFailure() << "written outside the region";
    vqtest::GuardedImage got(want.rowBytes(), want.height(), 0, 0, false);
    got.setPixels(dst.pixels());
    if (kind == k32f && path == 0) {
        std::string where;
        if (!floatsClose(got, want, magnitude, ulps, &where))
            return ::testing::AssertionFailure() << where;
    } else if (path == 0 && levels > 0) {
        const int e = elemSize(kind);
        for (int y = 0; y < want.height(); ++y)
            for (int x = 0; x < want.rowBytes() / e; ++x) {
                const double a = sampleAt(got.row(y), kind, x), b = sampleAt(want.row(y), kind, x);
                if (std::fabs(a - b) > levels)
                    return ::testing::AssertionFailure()
                           << "row " << y << " sample " << x << ": " << a << " vs " << b;
            }
    } else if (got.pixels() != want.pixels()) {
        return ::testing::AssertionFailure() << "samples differ";
    }
    return ::testing::AssertionSuccess();
}

inline std::string describe(int path, int kind, const char* shape, int width, int height) {
    return vqtest::pathName(path) + " " + kindName(kind) + " " + shape + " " + std::to_string(width) + "x" +
           std::to_string(height);
}

// Mappings of the square-pixel resize (factors, shifts): halving,
// magnification, reduction by more than 2, shifted.
struct Mapping {
    double xf, yf, xs, ys;
};

// Layouts the square-pixel body serves beyond its entries.
struct BodyLayout {
    const char* name;
    int pixelStride, channels, planar;
};
inline const BodyLayout kBodyLayouts[] = {{"C1", 1, 1, 0}, {"C3", 3, 3, 0}, {"AC4", 4, 3, 0},
                                          {"C4", 4, 4, 0}, {"P3", 1, 3, 1}, {"P4", 1, 4, 1}};

// One square-pixel body call on random source planes, run with any path's
// kernel set on copies of the same initial destination planes.
class BodyCase {
public:
    BodyCase(int kind, const BodyLayout& lay, const Mapping& m, int32_t code, std::mt19937& rng)
        : kind_(kind), lay_(lay), code_(code) {
        const int e = elemSize(kind);
        sw_ = 1 + int(rng() % 30);
        sh_ = 1 + int(rng() % 20);
        dw_ = int(sw_ * m.xf) + 2;
        dh_ = int(sh_ * m.yf) + 2;
        planes_ = lay.planar ? lay.channels : 1;
        perPixel_ = lay.planar ? 1 : lay.pixelStride;
        const bool srcNeg = (rng() & 1) != 0;
        dstNeg_ = (rng() & 3) == 0;
        // One step for all planes: the body takes one per image.
        const int srcGap = int(rng() % 3) * e;
        dstGap_ = int(rng() % 3) * e;
        dstAlign_ = int(rng() % 16) & ~(e - 1);
        for (int p = 0; p < planes_; ++p) {
            src_.emplace_back(sw_ * perPixel_ * e, sh_, int(rng() % 16) & ~(e - 1), srcGap, srcNeg);
            fillSamples(src_.back(), kind, rng);
            initial_.emplace_back(dw_ * perPixel_ * e, dh_, dstAlign_, dstGap_, dstNeg_);
            initial_.back().fillRandom(rng);
            srcPlanes_[p] = src_[p].origin();
            if (kind == k32f)
                magnitude = std::fmax(magnitude, maxMagnitude(src_[p]));
        }
        source_ = lay.planar ? static_cast<const void*>(srcPlanes_) : src_[0].origin();
        uint8_t probe = 0;
        fills_ = resizeSqSetup(source_, sw_, sh_, 0, 0, sw_, sh_, &probe, 1, 0, dw_ - 2, dh_, m.xf, m.yf, m.xs, m.ys,
                               code, &probe, &params_) == 0;
        int32_t bytes = 0;
        resizeSquarePixelGetBufferSize({0, 0, sw_, sh_}, {1, 0, dw_ - 2, dh_}, lay.channels, code, &bytes);
        bufferBytes_ = bytes;
        what = std::string(kindName(kind)) + " " + lay.name + " code " + std::to_string(code) + " factors " +
               std::to_string(m.xf) + "," + std::to_string(m.yf) + " src " + std::to_string(sw_) + "x" +
               std::to_string(sh_);
    }

    // Whether the parameter step leaves a region to fill.
    bool fills() const { return fills_; }

    // The destination planes' samples after the body of `path`; `intact`
    // tells whether every guard byte of destination and buffer survived.
    std::vector<std::vector<uint8_t>> run(int path, bool* intact) {
        std::vector<vqtest::GuardedImage> dst;
        void* planes[4] = {};
        for (int p = 0; p < planes_; ++p) {
            dst.emplace_back(initial_[p].rowBytes(), dh_, dstAlign_, dstGap_, dstNeg_);
            dst.back().copyAllFrom(initial_[p]);
            planes[p] = dst.back().origin();
        }
        vqtest::GuardedImage buffer(bufferBytes_, 1, path);
        resizeSqBody(*resizeSqKernelSets[path], source_, sw_, sh_, src_[0].step(),
                     lay_.planar ? static_cast<void*>(planes) : dst[0].origin(), dst[0].step(), params_.regionX,
                     params_.regionY, params_.regionWidth, params_.regionHeight, params_.invXFactor,
                     params_.invYFactor, params_.srcOffsetX, params_.srcOffsetY, params_.areaFactor,
                     params_.interpolationCode, buffer.origin(), lay_.pixelStride, lay_.channels, kind_, lay_.planar);
        *intact = buffer.guardsIntact();
        std::vector<std::vector<uint8_t>> out;
        for (auto& d : dst) {
            *intact = *intact && d.guardsIntact();
            out.push_back(d.pixels());
        }
        return out;
    }

    // The initial samples of destination plane 0.
    std::vector<uint8_t> initialPixels() const { return initial_[0].pixels(); }

    double magnitude = 0.0; // largest float source magnitude
    std::string what;

private:
    int kind_;
    BodyLayout lay_;
    int32_t code_;
    int sw_, sh_, dw_, dh_, planes_, perPixel_, dstGap_, dstAlign_;
    bool dstNeg_, fills_ = false;
    int32_t bufferBytes_ = 0;
    std::vector<vqtest::GuardedImage> src_, initial_;
    const void* srcPlanes_[4] = {};
    const void* source_ = nullptr;
    ResizeSqParams params_{};
};

// Two runs' samples within `levels` (integer kinds) or within `tol` (float).
inline ::testing::AssertionResult samplesClose(int kind, const std::vector<uint8_t>& a, const std::vector<uint8_t>& b,
                                               double levels, double tol) {
    if (a.size() != b.size())
        return ::testing::AssertionFailure() << "sizes differ";
    const int e = elemSize(kind);
    for (size_t n = 0; n < a.size() / e; ++n) {
        if (std::memcmp(&a[n * e], &b[n * e], e) == 0)
            continue; // the same bits (NaN patterns of untouched samples too)
        const double u = sampleAt(a.data(), kind, int64_t(n)), v = sampleAt(b.data(), kind, int64_t(n));
        if (!(std::fabs(u - v) <= (kind == k32f ? tol : levels)))
            return ::testing::AssertionFailure() << "sample " << n << ": " << u << " vs " << v;
    }
    return ::testing::AssertionSuccess();
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
