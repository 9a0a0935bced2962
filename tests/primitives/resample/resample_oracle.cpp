#include "tests/primitives/resample/resample_oracle.h"

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <map>

#include "primitives/core/memory.h"
#include "primitives/resample/resize_sq.h"

namespace rstest {

namespace {

template <class T, class Fn>
int32_t runSq(const Image<T>& src, Image<T>& dst, double xf, double yf, double xs, double ys, int32_t code, Fn fn) {
    int32_t size = 0;
    const int32_t q = resizeSquarePixelGetBufferSize(src.rect(), dst.rect(), src.channels, code, &size);
    if (q != 0)
        return q;
    std::vector<uint8_t> buffer(size_t(size) + 1);
    return fn(src.px.data(), src.size(), src.step(), src.rect(), dst.px.data(), dst.step(), dst.rect(), xf, yf, xs, ys,
              code, buffer.data());
}

int clampIndex(int v, int n) { return v < 0 ? 0 : v >= n ? n - 1 : v; }

double lanczos(double d) {
    if (d == 0.0)
        return 1.0;
    if (std::fabs(d) >= 3.0)
        return 0.0;
    const double pi = 3.14159265358979323846;
    return 3.0 * std::sin(pi * d) * std::sin(pi * d / 3.0) / (pi * pi * d * d);
}

} // namespace

int32_t resizeSq(const Image<uint8_t>& src, Image<uint8_t>& dst, double xf, double yf, double xs, double ys,
                 int32_t code) {
    return runSq(src, dst, xf, yf, xs, ys, code, src.channels == 1 ? resizeSquarePixel8uC1 : resizeSquarePixel8uC3);
}

int32_t resizeSq(const Image<uint16_t>& src, Image<uint16_t>& dst, double xf, double yf, double xs, double ys,
                 int32_t code) {
    return runSq(src, dst, xf, yf, xs, ys, code, src.channels == 1 ? resizeSquarePixel16uC1 : resizeSquarePixel16uC3);
}

Kernel cubicKernel(int code) {
    // Two-parameter family for 5 to 7; the Lagrange basis for 4.
    double b = 0, c = 0;
    if (code == 5) {
        b = 1.0;
    } else if (code == 6) {
        c = 0.5;
    } else if (code == 7) {
        b = 0.5;
        c = 0.3;
    }
    auto family = [b, c](double d) {
        d = std::fabs(d);
        if (d < 1.0)
            return ((12 - 9 * b - 6 * c) * d * d * d + (-18 + 12 * b + 6 * c) * d * d + (6 - 2 * b)) / 6.0;
        if (d < 2.0)
            return ((-b - 6 * c) * d * d * d + (6 * b + 30 * c) * d * d + (-12 * b - 48 * c) * d + (8 * b + 24 * c)) /
                   6.0;
        return 0.0;
    };
    if (code == 4)
        return {-1, 4, [](double t, double* w) {
                    w[0] = -t * (t - 1) * (t - 2) / 6.0;
                    w[1] = (t + 1) * (t - 1) * (t - 2) / 2.0;
                    w[2] = -(t + 1) * t * (t - 2) / 2.0;
                    w[3] = (t + 1) * t * (t - 1) / 6.0;
                }};
    return {-1, 4, [family](double t, double* w) {
                for (int k = 0; k < 4; ++k)
                    w[k] = family(double(k - 1) - t);
            }};
}

Kernel lanczosKernel() {
    return {-2, 6, [](double t, double* w) {
                double sum = 0;
                for (int k = 0; k < 6; ++k)
                    sum += (w[k] = lanczos(double(k - 2) - t));
                for (int k = 0; k < 6; ++k)
                    w[k] /= sum;
            }};
}

template <class T>
double oracleValue(const Image<T>& src, const Kernel& k, int x, int y, int c, double invX, double invY, double offX,
                   double offY) {
    const double sx = (x + 0.5) * invX - 0.5 + offX, sy = (y + 0.5) * invY - 0.5 + offY;
    const int mx = int(std::floor(sx)), my = int(std::floor(sy));
    double wx[8], wy[8];
    k.weights(sx - mx, wx);
    k.weights(sy - my, wy);
    double v = 0;
    for (int r = 0; r < k.count; ++r) {
        const int yy = clampIndex(my + k.first + r, src.height);
        for (int q = 0; q < k.count; ++q)
            v += wy[r] * wx[q] * double(src.at(clampIndex(mx + k.first + q, src.width), yy, c));
    }
    return v;
}

template <class T> double generalOracle(const Image<T>& src, int code, double x, double y, int c) {
    const int mx = int(std::floor(x + 1e-7)), my = int(std::floor(y + 1e-7));
    if (code == 4) {
        // Window of four inside the image; the Lagrange cubic through it.
        const int sx = std::min(std::max(mx - 1, 0), src.width - 4), sy = std::min(std::max(my - 1, 0), src.height - 4);
        double wx[4], wy[4];
        const Kernel k = cubicKernel(4);
        k.weights(x - (sx + 1), wx);
        k.weights(y - (sy + 1), wy);
        double v = 0;
        for (int r = 0; r < 4; ++r)
            for (int q = 0; q < 4; ++q)
                v += wy[r] * wx[q] * double(src.at(sx + q, sy + r, c));
        return v;
    }
    const Kernel k = code == 2 ? Kernel{0, 2,
                                        [](double t, double* w) {
                                            w[0] = 1 - t;
                                            w[1] = t;
                                        }}
                               : lanczosKernel();
    double wx[8], wy[8];
    k.weights(x - mx, wx);
    k.weights(y - my, wy);
    double v = 0;
    for (int r = 0; r < k.count; ++r)
        for (int q = 0; q < k.count; ++q)
            v += wy[r] * wx[q] *
                 double(src.at(clampIndex(mx + k.first + q, src.width), clampIndex(my + k.first + r, src.height), c));
    return v;
}

template double generalOracle<uint8_t>(const Image<uint8_t>&, int, double, double, int);
template double generalOracle<uint16_t>(const Image<uint16_t>&, int, double, double, int);
template double generalOracle<float>(const Image<float>&, int, double, double, int);
template double generalOracle<int16_t>(const Image<int16_t>&, int, double, double, int);

template double oracleValue<uint8_t>(const Image<uint8_t>&, const Kernel&, int, int, int, double, double, double,
                                     double);
template double oracleValue<uint16_t>(const Image<uint16_t>&, const Kernel&, int, int, int, double, double, double,
                                      double);

double roundHalfUp(double v, double maxValue) {
    const double r = std::floor(v + 0.5);
    return r < 0 ? 0 : r > maxValue ? maxValue : r;
}

namespace {

constexpr uint8_t kGuardByte = 0xA5;
constexpr std::size_t kAlignOverhead = 32 + sizeof(void*); // what the allocators add
std::map<void*, std::size_t> guardedBlocks;
int damagedBlocks = 0, freedBlocks = 0;
UnderlyingAlloc savedAlloc = nullptr;
UnderlyingFree savedFree = nullptr;

void* guardedAlloc(std::size_t n) {
    auto* p = static_cast<uint8_t*>(std::malloc(n));
    if (p != nullptr) {
        std::memset(p, kGuardByte, n);
        guardedBlocks[p] = n;
    }
    return p;
}

void guardedFree(void* start) {
    const auto it = guardedBlocks.find(start);
    if (it == guardedBlocks.end()) {
        std::free(start);
        return;
    }
    const std::size_t n = it->second;
    guardedBlocks.erase(it);
    const auto* p = static_cast<const uint8_t*>(start);
    const uintptr_t block = (reinterpret_cast<uintptr_t>(p) + kAlignOverhead - 1) & ~uintptr_t(31);
    const std::size_t before = block - sizeof(void*) - reinterpret_cast<uintptr_t>(p);
    const std::size_t end = block - reinterpret_cast<uintptr_t>(p) + (n - kAlignOverhead);
    bool intact = true;
    for (std::size_t i = 0; i < before; ++i)
        intact = intact && p[i] == kGuardByte;
    for (std::size_t i = end; i < n; ++i)
        intact = intact && p[i] == kGuardByte;
    damagedBlocks += intact ? 0 : 1;
    ++freedBlocks;
    std::free(start);
}

} // namespace

GuardedAllocations::GuardedAllocations() {
    savedAlloc = primUnderlyingAlloc;
    savedFree = primUnderlyingFree;
    guardedBlocks.clear();
    damagedBlocks = freedBlocks = 0;
    primUnderlyingAlloc = guardedAlloc;
    primUnderlyingFree = guardedFree;
}

GuardedAllocations::~GuardedAllocations() {
    primUnderlyingAlloc = savedAlloc;
    primUnderlyingFree = savedFree;
}

int GuardedAllocations::damaged() const { return damagedBlocks; }
int GuardedAllocations::outstanding() const { return int(guardedBlocks.size()); }
int GuardedAllocations::freed() const { return freedBlocks; }

} // namespace rstest
