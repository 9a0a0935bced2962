// Harness for comparing the processor paths of a primitive with its generic
// form: guarded image buffers (guard bytes around the image, gap bytes between
// rows, any of 16 alignments, positive or negative row steps) and a sweep of
// random cases.
#pragma once

#include <cstdint>
#include <random>
#include <string>
#include <vector>

namespace vqtest {

// Paths 1..5 that this processor can run (the generic path 0 is the reference).
std::vector<int> supportedPaths();
// Every path this processor can run, 0 included.
std::vector<int> allPaths();
std::string pathName(int path);

// A region of `rowBytes` x `height` inside a guarded allocation.
class GuardedImage {
public:
    static constexpr int kGuard = 64;
    static constexpr uint8_t kGuardByte = 0xA5;

    // align: 0..31 byte offset of the first row from a 32-byte boundary;
    // gap: bytes between the end of one row and the start of the next;
    // negativeStep: rows run upwards in memory (origin is the last row in
    // memory order, step is negative).
    GuardedImage(int rowBytes, int height, int align = 0, int gap = 0, bool negativeStep = false);

    uint8_t* origin() { return origin_; }
    const uint8_t* origin() const { return origin_; }
    int step() const { return step_; }
    int rowBytes() const { return rowBytes_; }
    int height() const { return height_; }
    uint8_t* row(int y) { return origin_ + static_cast<std::ptrdiff_t>(y) * step_; }
    const uint8_t* row(int y) const { return origin_ + static_cast<std::ptrdiff_t>(y) * step_; }
    template <class T> T* as() { return reinterpret_cast<T*>(origin_); }

    void fillRandom(std::mt19937& rng);
    void fill(uint8_t value);
    // The region's bytes, row by row, without gaps.
    std::vector<uint8_t> pixels() const;
    void setPixels(const std::vector<uint8_t>& bytes);
    // True when every guard byte and every gap byte still holds its pattern.
    bool guardsIntact() const;
    // Copies the whole allocation (region, gaps, guards) from another image of
    // identical geometry, so two runs start from the same bytes.
    void copyAllFrom(const GuardedImage& other);
    bool sameAllAs(const GuardedImage& other) const;

private:
    std::vector<uint8_t> storage_;
    uint8_t* origin_ = nullptr;
    int step_ = 0;
    int rowBytes_ = 0;
    int height_ = 0;
    int gap_ = 0;
    uint8_t* lowest_ = nullptr;  // first byte of the lowest row in memory
};

struct SweepCase {
    int width = 1, height = 1;
    int srcAlign = 0, dstAlign = 0;
    int srcGap = 0, dstGap = 0;
    bool srcNegative = false, dstNegative = false;
    std::string describe() const;
};

// Random cases with widths and heights 1..maxSize, every alignment 0..15 for
// source and destination, gaps 0..9 and both step signs; always includes the
// 1 x 1 region, a single row, a single column and a gap-free region.
std::vector<SweepCase> sweepCases(uint32_t seed, int count, int maxSize = 70);

} // namespace vqtest
