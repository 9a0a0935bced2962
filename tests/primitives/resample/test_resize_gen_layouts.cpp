// General resize core over every data kind and pixel layout: nearest and the
// integer linear kernels exactly as defined, the other kernels against the
// real-valued oracle; destinations are guarded on every side.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <cstring>
#include <random>
#include <type_traits>
#include <vector>

#include "primitives/resample/resize_gen.h"
#include "tests/primitives/resample/resample_oracle.h"
#include "tests/support/path_harness.h"

using rstest::Image;

namespace {

// Layouts: samples per pixel in memory, samples resampled, planar.
struct Layout {
    int stride, channels, planar;
};
const Layout kLayouts[] = {{1, 1, 0}, {3, 3, 0}, {4, 4, 0}, {4, 3, 0}, {1, 3, 1}, {1, 4, 1}};

template <class T> constexpr int kindOf() {
    return std::is_same_v<T, uint8_t> ? 0 : std::is_same_v<T, uint16_t> ? 1 : std::is_same_v<T, float> ? 2 : 3;
}
template <class T> constexpr double lowest() { return std::is_same_v<T, int16_t> ? -32768.0 : 0.0; }
template <class T> constexpr double highest() {
    return std::is_same_v<T, uint8_t> ? 255.0 : std::is_same_v<T, uint16_t> ? 65535.0 : std::is_same_v<T, int16_t> ? 32767.0 : 1000.0;
}

template <class T> Image<T> randomImage(int w, int h, int c, std::mt19937& rng) {
    Image<T> img(w, h, c);
    std::uniform_real_distribution<double> d(lowest<T>(), highest<T>());
    for (auto& v : img.px)
        v = static_cast<T>(std::is_floating_point_v<T> ? d(rng) : std::floor(d(rng)));
    return img;
}

// Source positions of one axis, summed one after the other from the start.
std::vector<double> positions(int count, int code, double factor, int roi) {
    double step, pos;
    if (code == 1) {
        step = 1.0 / factor;
        pos = 0.5 * step;
    } else {
        const double span = factor * roi;
        step = span > 1.0 ? (roi - 1) / (span - 1.0) : 0.0;
        pos = 0.0;
    }
    std::vector<double> out(count);
    for (int i = 0; i < count; ++i, pos += step)
        out[i] = pos;
    return out;
}

// Integer linear, by its fixed-point definition: Q14 weights, a horizontal
// stage rounded to the work row (8u keeps 6 fraction bits), then a vertical
// stage rounded half up (16s: floor of the half-added value).
struct Q14 {
    int first; // image index of the left (upper) sample
    int32_t w; // weight of the right (lower) sample
};
Q14 q14At(double pos, int origin, int imageSize) {
    int c = int(std::trunc(pos + 1e-7));
    if (origin + c >= imageSize - 1)
        return {imageSize - 2, 16384};
    return {origin + c, int32_t(std::trunc((pos - c) * 16384.0 + 1e-7))};
}
template <class T> int64_t linearExact(const Image<T>& s, Q14 col, Q14 row, int c) {
    auto horizontal = [&](int y) -> int64_t {
        const int64_t a = s.at(col.first, y, c), b = s.at(col.first + 1, y, c);
        const int64_t sum = a * (16384 - col.w) + b * col.w;
        if constexpr (std::is_same_v<T, uint8_t>)
            return (sum + 128) >> 8;
        else
            return (sum + 8192) >> 14; // arithmetic shift: floor
    };
    const int64_t u = horizontal(row.first), l = horizontal(row.first + 1);
    const int64_t sum = u * (16384 - row.w) + l * row.w;
    if constexpr (std::is_same_v<T, uint8_t>)
        return (sum + 0x80000) >> 20;
    else
        return (sum + 8192) >> 14;
}

// Lanczos-3 as the engine defines it: the kernel sampled at steps of 0.01,
// interpolated linearly between samples, six taps normalised, taps clamped
// to the image; base index and single-precision fraction per axis.
void lanczosTaps(double pos, int origin, int& base, double* w) {
    auto kernel = [](double x) {
        if (x == 0)
            return 1.0;
        const double pi = 3.14159265358979323846;
        return 3 * std::sin(pi * x) * std::sin(pi * x / 3) / (pi * pi * x * x);
    };
    const int c = int(std::trunc(pos + 1e-7));
    const double f = float(pos - c);
    base = origin + c;
    double sum = 0;
    for (int k = 0; k < 6; ++k) {
        const double t = (k - 2) - f;
        w[k] = 0;
        if (t > -3 && t < 3) {
            const double u = 100 * std::fabs(t);
            const int n = int(u);
            w[k] = float(kernel(n / 100.0) + (u - n) * (kernel((n + 1) / 100.0) - kernel(n / 100.0)));
        }
        sum += w[k];
    }
    for (int k = 0; k < 6; ++k)
        w[k] /= sum;
}
template <class T> double lanczosTabulated(const Image<T>& s, double px, double py, PrimRect roi, int c) {
    int bx, by;
    double wx[6], wy[6];
    lanczosTaps(px, roi.x, bx, wx);
    lanczosTaps(py, roi.y, by, wy);
    auto clampTo = [](int v, int n) { return v < 0 ? 0 : v >= n ? n - 1 : v; };
    double v = 0;
    for (int r = 0; r < 6; ++r)
        for (int q = 0; q < 6; ++q)
            v += wy[r] * wx[q] * double(s.at(clampTo(bx + q - 2, s.width), clampTo(by + r - 2, s.height), c));
    return v;
}

struct Tally {
    size_t total = 0, exact = 0;
};

// Runs one case through the generic core and checks every written sample,
// every untouched fourth sample and the guards around each destination.
template <class T>
void checkCase(int32_t code, const Layout& L, double xf, double yf, PrimRect roi, std::mt19937& rng, Tally& tally) {
    const int W = 21, H = 15;
    const int planes = L.planar ? L.channels : 1;
    const int perPixel = L.planar ? 1 : L.stride;
    std::vector<Image<T>> src;
    for (int p = 0; p < planes; ++p)
        src.push_back(randomImage<T>(W, H, perPixel, rng));
    const int rw = std::min(roi.width, W - roi.x), rh = std::min(roi.height, H - roi.y);
    const int dw = int(rw * xf + 1e-7), dh = int(rh * yf + 1e-7);
    // Two spare columns and rows show that nothing past the clipped size is written.
    const PrimSize dstRoi{dw + 2, dh + 2};
    const int e = int(sizeof(T));
    std::vector<vqtest::GuardedImage> dst, before;
    for (int p = 0; p < planes; ++p) {
        dst.emplace_back(dstRoi.width * perPixel * e, dstRoi.height, 4 * (p + 1) % 32, 3 * e);
        dst.back().fillRandom(rng);
        before.emplace_back(dstRoi.width * perPixel * e, dstRoi.height, 4 * (p + 1) % 32, 3 * e);
        before.back().copyAllFrom(dst.back());
    }
    const void* srcPlanes[4];
    void* dstPlanes[4];
    for (int p = 0; p < planes; ++p) {
        srcPlanes[p] = src[p].px.data();
        dstPlanes[p] = dst[p].origin();
    }
    const int32_t status = resizeGenCore(
        prim::generic::resizeRowRoutineTable, prim::generic::lanczos3Weights,
        L.planar ? static_cast<const void*>(srcPlanes) : src[0].px.data(), {W, H}, src[0].step(), roi,
        L.planar ? static_cast<void*>(dstPlanes) : dst[0].origin(), dst[0].step(), dstRoi, xf, yf, 0.0, 0.0, L.stride,
        L.channels, kindOf<T>(), L.planar, code, 1);
    if (kindOf<T>() == 3 && (code == 4 || code == 16)) {
        ASSERT_EQ(status, -22); // signed 16-bit has nearest and linear only
        for (int p = 0; p < planes; ++p)
            ASSERT_TRUE(dst[p].sameAllAs(before[p]));
        return;
    }
    ASSERT_EQ(status, 0);
    const std::vector<double> xs = positions(dw, code, xf, rw), ys = positions(dh, code, yf, rh);
    const int computed = L.planar ? 1 : L.channels;
    for (int p = 0; p < planes; ++p) {
        ASSERT_TRUE(dst[p].guardsIntact());
        for (int y = 0; y < dstRoi.height; ++y) {
            const T* got = reinterpret_cast<const T*>(dst[p].row(y));
            const T* old = reinterpret_cast<const T*>(before[p].row(y));
            for (int x = 0; x < dstRoi.width; ++x)
                for (int c = 0; c < perPixel; ++c) {
                    const int i = x * perPixel + c;
                    if (x >= dw || y >= dh || c >= computed) {
                        ASSERT_EQ(std::memcmp(&got[i], &old[i], sizeof(T)), 0) << "written outside at " << x << "," << y;
                        continue;
                    }
                    const double v = got[i];
                    double want;
                    bool exactOnly = false;
                    if (code == 1) {
                        auto pick = [](double pos, int origin, int size) {
                            const int c = origin + int(std::trunc(pos + 1e-7));
                            return c < 0 ? 0 : c >= size ? size - 1 : c;
                        };
                        want = src[p].at(pick(xs[x], roi.x, W), pick(ys[y], roi.y, H), c);
                        exactOnly = true;
                    } else if (code == 2 && !std::is_floating_point_v<T>) {
                        want = double(linearExact(src[p], q14At(xs[x], roi.x, W), q14At(ys[y], roi.y, H), c));
                        exactOnly = true;
                    } else {
                        want = code == 16 ? lanczosTabulated(src[p], xs[x], ys[y], roi, c)
                                          : rstest::generalOracle(src[p], code, roi.x + xs[x], roi.y + ys[y], c);
                        if (!std::is_floating_point_v<T>)
                            want = std::min(std::max(std::floor(want + 0.5), lowest<T>()), highest<T>());
                    }
                    ++tally.total;
                    if (std::is_floating_point_v<T>) {
                        ASSERT_NEAR(v, want, 1e-3) << "code " << code << " at " << x << "," << y;
                        ++tally.exact;
                    } else if (exactOnly) {
                        ASSERT_EQ(v, want) << "code " << code << " factors " << xf << "," << yf << " at " << x << ","
                                           << y << " sample " << c;
                        ++tally.exact;
                    } else {
                        // Single-precision weights and work rows: one level
                        // next to a rounding boundary.
                        const double tolerance = 1.0;
                        ASSERT_LE(std::fabs(v - want), tolerance)
                            << "code " << code << " factors " << xf << "," << yf << " at " << x << "," << y;
                        tally.exact += v == want;
                    }
                }
        }
    }
}

template <class T> void checkKind() {
    std::mt19937 rng(100 + kindOf<T>());
    for (int32_t code : {1, 2, 4, 16}) {
        const rstest::GuardedAllocations guard; // the core's tables and work rows
        Tally tally;
        for (const Layout& L : kLayouts)
            for (double xf : {0.37, 1.6})
                for (double yf : {0.55, 2.3})
                    for (PrimRect roi : {PrimRect{0, 0, 21, 15}, PrimRect{3, 2, 14, 11}, PrimRect{9, 6, 40, 40}}) {
                        checkCase<T>(code, L, xf, yf, roi, rng, tally);
                        if (testing::Test::HasFatalFailure())
                            return;
                    }
        // The float work rows hold 16-bit samples with fewer fraction bits,
        // so 16-bit results meet a rounding boundary a little more often.
        const double share = sizeof(T) == 1 ? 0.999 : 0.998;
        EXPECT_GE(double(tally.exact), share * double(tally.total))
            << "code " << code << ": " << tally.exact << " of " << tally.total << " exact";
        EXPECT_EQ(guard.damaged(), 0) << "code " << code;
        EXPECT_EQ(guard.outstanding(), 0) << "code " << code;
        if (kindOf<T>() != 3 || code < 4)
            EXPECT_GT(guard.freed(), 0);
    }
}

} // namespace

TEST(ResizeGenLayouts, Unsigned8) { checkKind<uint8_t>(); }
TEST(ResizeGenLayouts, Unsigned16) { checkKind<uint16_t>(); }
TEST(ResizeGenLayouts, Signed16) { checkKind<int16_t>(); }
TEST(ResizeGenLayouts, Float) { checkKind<float>(); }
