#include "support/path_harness.h"

#include <cstring>
#include <sstream>

#include "primitives/core/processor.h"

namespace vqtest {

std::vector<int> supportedPaths() {
    std::vector<int> paths;
    for (int p = 1; p <= hardwareProcessorPath(); ++p)
        paths.push_back(p);
    return paths;
}

std::vector<int> allPaths() {
    std::vector<int> paths{0};
    for (int p : supportedPaths())
        paths.push_back(p);
    return paths;
}

std::string pathName(int path) {
    static const char* names[] = {"generic", "sse2", "sse3", "ssse3", "sse41", "avx"};
    return path >= 0 && path < 6 ? names[path] : "unknown";
}

GuardedImage::GuardedImage(int rowBytes, int height, int align, int gap, bool negativeStep)
    : rowBytes_(rowBytes), height_(height), gap_(gap) {
    const std::size_t body = static_cast<std::size_t>(rowBytes + gap) * static_cast<std::size_t>(height);
    storage_.assign(body + 2 * kGuard + 64, kGuardByte);
    auto base = reinterpret_cast<uintptr_t>(storage_.data()) + kGuard;
    base = ((base + 31) & ~uintptr_t(31)) + static_cast<uintptr_t>(align & 31);
    lowest_ = reinterpret_cast<uint8_t*>(base);
    const int s = rowBytes + gap;
    if (negativeStep) {
        origin_ = lowest_ + static_cast<std::ptrdiff_t>(height - 1) * s;
        step_ = -s;
    } else {
        origin_ = lowest_;
        step_ = s;
    }
}

void GuardedImage::fillRandom(std::mt19937& rng) {
    for (int y = 0; y < height_; ++y) {
        uint8_t* r = row(y);
        for (int x = 0; x < rowBytes_; ++x)
            r[x] = static_cast<uint8_t>(rng());
    }
}

void GuardedImage::fill(uint8_t value) {
    for (int y = 0; y < height_; ++y)
        std::memset(row(y), value, static_cast<std::size_t>(rowBytes_));
}

std::vector<uint8_t> GuardedImage::pixels() const {
    std::vector<uint8_t> out(static_cast<std::size_t>(rowBytes_) * height_);
    for (int y = 0; y < height_; ++y)
        std::memcpy(out.data() + static_cast<std::size_t>(y) * rowBytes_, row(y), static_cast<std::size_t>(rowBytes_));
    return out;
}

void GuardedImage::setPixels(const std::vector<uint8_t>& bytes) {
    for (int y = 0; y < height_; ++y)
        std::memcpy(row(y), bytes.data() + static_cast<std::size_t>(y) * rowBytes_, static_cast<std::size_t>(rowBytes_));
}

bool GuardedImage::guardsIntact() const {
    const uint8_t* begin = storage_.data();
    const uint8_t* end = begin + storage_.size();
    const uint8_t* bodyEnd = lowest_ + static_cast<std::ptrdiff_t>(rowBytes_ + gap_) * height_;
    for (const uint8_t* p = begin; p < lowest_; ++p)
        if (*p != kGuardByte)
            return false;
    for (int y = 0; y < height_; ++y) {
        const uint8_t* g = lowest_ + static_cast<std::ptrdiff_t>(rowBytes_ + gap_) * y + rowBytes_;
        for (int i = 0; i < gap_; ++i)
            if (g[i] != kGuardByte)
                return false;
    }
    for (const uint8_t* p = bodyEnd; p < end; ++p)
        if (*p != kGuardByte)
            return false;
    return true;
}

void GuardedImage::copyAllFrom(const GuardedImage& other) {
    // Same geometry means the same offsets from each storage's start; the
    // alignment of the two allocations may differ, so copy region and gaps
    // relative to lowest_.
    const std::size_t body = static_cast<std::size_t>(rowBytes_ + gap_) * static_cast<std::size_t>(height_);
    std::memcpy(lowest_, other.lowest_, body);
}

bool GuardedImage::sameAllAs(const GuardedImage& other) const {
    const std::size_t body = static_cast<std::size_t>(rowBytes_ + gap_) * static_cast<std::size_t>(height_);
    return std::memcmp(lowest_, other.lowest_, body) == 0 && guardsIntact() == other.guardsIntact();
}

std::string SweepCase::describe() const {
    std::ostringstream s;
    s << width << "x" << height << " srcAlign " << srcAlign << " dstAlign " << dstAlign << " srcGap " << srcGap
      << " dstGap " << dstGap << (srcNegative ? " srcNeg" : "") << (dstNegative ? " dstNeg" : "");
    return s.str();
}

std::vector<SweepCase> sweepCases(uint32_t seed, int count, int maxSize) {
    std::mt19937 rng(seed);
    std::vector<SweepCase> cases;
    cases.push_back({1, 1, 0, 0, 0, 0, false, false});
    cases.push_back({maxSize, 1, 3, 5, 0, 0, false, false});
    cases.push_back({1, maxSize, 7, 1, 2, 3, true, false});
    cases.push_back({maxSize, 3, 0, 0, 0, 0, false, false});
    cases.push_back({33, 5, 15, 15, 0, 0, false, true});
    // Every alignment pair in turn so all 16 source and destination
    // alignments appear whatever the count.
    for (int i = 0; i < count; ++i) {
        SweepCase c;
        c.width = 1 + static_cast<int>(rng() % maxSize);
        c.height = 1 + static_cast<int>(rng() % maxSize);
        c.srcAlign = i % 16;
        c.dstAlign = (i / 16 + i) % 16;
        c.srcGap = static_cast<int>(rng() % 10);
        c.dstGap = static_cast<int>(rng() % 10);
        c.srcNegative = (rng() % 4) == 0;
        c.dstNegative = (rng() % 4) == 0;
        cases.push_back(c);
    }
    return cases;
}

} // namespace vqtest
