// Images of any rotation kind with guard bytes around every plane, and
// sample access by kind, for the rotation tests.
#pragma once

#include <cmath>
#include <cstdint>
#include <cstring>
#include <random>
#include <string>
#include <vector>

#include "support/path_harness.h"

namespace rotatetest {

inline int sampleSize(uint32_t code) { return (code >> 3) == 0 ? 1 : (code >> 3) == 1 ? 4 : 2; }
inline bool planar(uint32_t code) { return (code & 7) == 3 || (code & 7) == 5; }
// Planes of the image and samples per pixel in each plane.
inline int planeCount(uint32_t code) { return (code & 7) == 3 ? 3 : (code & 7) == 5 ? 4 : 1; }
inline int pixelElems(uint32_t code)
{
    const uint32_t l = code & 7;
    return planar(code) ? 1 : l == 0 ? 1 : l == 1 ? 3 : 4;
}
// Samples a kernel computes per pixel (AC4 leaves the fourth alone).
inline int computed(uint32_t code)
{
    const uint32_t l = code & 7;
    return l == 0 ? 1 : (l == 4 || l == 5) ? 4 : 3;
}
inline std::string kindName(uint32_t code)
{
    static const char* types[] = {"8u", "32f", "16u"};
    static const char* layouts[] = {"C1", "C3", "AC4", "P3", "C4", "P4"};
    return std::string(types[code >> 3]) + layouts[code & 7];
}
inline const uint32_t kAllKinds[] = {0, 1, 2, 3, 4, 5, 8, 9, 10, 11, 12, 13, 16, 17, 18, 19, 20, 21};

// An image of one kind: one guarded plane per plane, one row step for all.
class KindImage {
public:
    KindImage(uint32_t code, int width, int height, int gap = 0)
        : code_(code), width_(width), height_(height)
    {
        for (int p = 0; p < planeCount(code); ++p)
            planes_.emplace_back(width * pixelElems(code) * sampleSize(code), height, 0, gap, false);
        for (int p = 0; p < planeCount(code); ++p)
            pointers_[p] = planes_[p].origin();
    }
    KindImage(const KindImage&) = delete;

    // The argument the primitives take: pixel (0, 0) or the plane array.
    void* arg() { return planar(code_) ? static_cast<void*>(pointers_) : pointers_[0]; }
    void** planeArray() { return pointers_; }
    int step() const { return planes_[0].step(); }
    int width() const { return width_; }
    int height() const { return height_; }
    uint32_t code() const { return code_; }

    // Sample c of pixel (x, y) as a double (c is the plane for planar kinds).
    double get(int x, int y, int c) const
    {
        const vqtest::GuardedImage& img = planes_[planar(code_) ? c : 0];
        const uint8_t* p = img.row(y) + (x * pixelElems(code_) + (planar(code_) ? 0 : c)) * sampleSize(code_);
        switch (code_ >> 3) {
        case 0: return *p;
        case 1: { float f; std::memcpy(&f, p, 4); return f; }
        default: { uint16_t v; std::memcpy(&v, p, 2); return v; }
        }
    }
    void set(int x, int y, int c, double v)
    {
        vqtest::GuardedImage& img = planes_[planar(code_) ? c : 0];
        uint8_t* p = img.row(y) + (x * pixelElems(code_) + (planar(code_) ? 0 : c)) * sampleSize(code_);
        switch (code_ >> 3) {
        case 0: *p = uint8_t(v); break;
        case 1: { const float f = float(v); std::memcpy(p, &f, 4); break; }
        default: { const uint16_t s = uint16_t(v); std::memcpy(p, &s, 2); break; }
        }
    }
    // Every stored sample (all elements of a pixel, AC4 alpha included).
    int storedPerPixel() const { return planar(code_) ? planeCount(code_) : pixelElems(code_); }
    void fillRandom(std::mt19937& rng)
    {
        std::uniform_int_distribution<int> d8(0, 255), d16(0, 65535);
        std::uniform_real_distribution<float> df(-100.0f, 100.0f);
        for (int y = 0; y < height_; ++y)
            for (int x = 0; x < width_; ++x)
                for (int c = 0; c < storedPerPixel(); ++c)
                    set(x, y, c, (code_ >> 3) == 0 ? d8(rng) : (code_ >> 3) == 2 ? d16(rng) : df(rng));
    }
    void fill0()
    {
        for (auto& p : planes_)
            p.fill(0);
    }
    bool guardsIntact() const
    {
        for (const auto& p : planes_)
            if (!p.guardsIntact())
                return false;
        return true;
    }
    std::vector<uint8_t> bytes() const
    {
        std::vector<uint8_t> all;
        for (const auto& p : planes_) {
            const auto b = p.pixels();
            all.insert(all.end(), b.begin(), b.end());
        }
        return all;
    }
    void copyFrom(const KindImage& o)
    {
        for (size_t p = 0; p < planes_.size(); ++p)
            planes_[p].copyAllFrom(o.planes_[p]);
    }

private:
    uint32_t code_;
    int width_, height_;
    std::vector<vqtest::GuardedImage> planes_;
    void* pointers_[4] = {};
};

} // namespace rotatetest
