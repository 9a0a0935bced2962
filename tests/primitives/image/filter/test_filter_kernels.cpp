// The filter kernel sets of the processor paths: the convolution kernels
// against the direct sum for every tap count from 3 to 13 and widths 0 to
// 20, in store and accumulate mode; the divide kernels' rounding, saturation
// of sums at the 32-bit limits and the kept fourth byte.
#include <gtest/gtest.h>

#include <climits>
#include <cstring>
#include <random>

#include "primitives/image/filter/filter_kernels.h"
#include "support/path_harness.h"

namespace {

// The packed table of taps T(0..n-1): entry i holds (T(2i), T(2i+1)) four
// times; 16-byte aligned through the vector's own alignment of int32 x 4.
struct alignas(16) Entry {
    int32_t lane[4];
};
std::vector<Entry> packTaps(const std::vector<int32_t>& t) {
    std::vector<Entry> table((t.size() + 1) / 2);
    for (size_t i = 0; i < table.size(); ++i) {
        const uint32_t a = static_cast<uint16_t>(t[2 * i]);
        const uint32_t b = 2 * i + 1 < t.size() ? static_cast<uint16_t>(t[2 * i + 1]) : 0;
        for (int& l : table[i].lane)
            l = static_cast<int32_t>(a | (b << 16));
    }
    return table;
}

TEST(ImageFilterKernels, ConvolutionAgainstTheDirectSum) {
    std::mt19937 rng(5);
    for (int path : vqtest::supportedPaths()) {
        const FilterKernelSet& k = *filterKernelSet(path);
        for (int layout = 0; layout < 4; ++layout) {  // 8u C1, C3, C4, 16s
            const int channels = layout == 1 ? 3 : (layout == 2 ? 4 : 1);
            const int d = channels;
            for (int n = 3; n <= 13; ++n)
                for (int width = 0; width <= 20; ++width) {
                    std::vector<int32_t> taps(n);
                    for (int32_t& t : taps)
                        t = static_cast<int32_t>(rng() % 65536) - 32768;
                    const std::vector<Entry> table = packTaps(taps);
                    const int values = width * channels, samples = values + d * (n - 1);
                    std::vector<uint8_t> s8(samples);
                    std::vector<int16_t> s16(samples);
                    for (int i = 0; i < samples; ++i) {
                        s8[i] = static_cast<uint8_t>(rng());
                        s16[i] = static_cast<int16_t>(rng() % 3 == 0 ? -32768 : rng());
                    }
                    std::vector<int32_t> sums(values + 4, 0x5A5A5A5A);
                    for (int acc = 0; acc < 2; ++acc) {
                        const int32_t* tp = table.empty() ? nullptr : table[0].lane;
                        if (layout == 0)
                            k.convolveRow8uTo32s(s8.data(), sums.data(), width, tp, n, acc);
                        else if (layout == 1)
                            k.convolveRow8uTo32sC3(s8.data(), sums.data(), width, tp, n, acc);
                        else if (layout == 2)
                            k.convolveRow8uTo32sC4(s8.data(), sums.data(), width, tp, n, acc);
                        else
                            k.convolveRow16sTo32s(s16.data(), sums.data(), width, tp, n, acc);
                    }
                    for (int j = 0; j < values; ++j) {
                        int64_t s = 0;
                        for (int t = 0; t < n; ++t)
                            s += int64_t(taps[t]) * (layout == 3 ? s16[j + d * t] : s8[j + d * t]);
                        const int32_t once = static_cast<int32_t>(static_cast<uint32_t>(s));
                        const int32_t twice = static_cast<int32_t>(static_cast<uint32_t>(once) * 2u);
                        ASSERT_EQ(sums[j], twice) << "layout " << layout << " taps " << n << " width " << width
                                                  << " on " << vqtest::pathName(path);
                    }
                    for (int j = values; j < values + 4; ++j)
                        ASSERT_EQ(sums[j], 0x5A5A5A5A);
                }
        }
    }
}

TEST(ImageFilterKernels, DivideRoundingAndSaturation) {
    for (int path : vqtest::supportedPaths()) {
        const FilterKernelSet& k = *filterKernelSet(path);
        auto to16 = [&](std::vector<int32_t> sums, float scale, int32_t shift) {
            std::vector<int16_t> out(sums.size());
            k.divideRow32sTo16s(sums.data(), static_cast<int32_t>(sums.size()), out.data(), scale, shift);
            return std::vector<int>(out.begin(), out.end());
        };
        auto to8 = [&](std::vector<int32_t> sums, float scale, int32_t shift) {
            std::vector<uint8_t> out(sums.size());
            k.divideRow32sTo8u(sums.data(), static_cast<int32_t>(sums.size()), out.data(), scale, shift);
            return std::vector<int>(out.begin(), out.end());
        };
        EXPECT_EQ(to16({1, 3, -1, -3}, 1.0f, 1), (std::vector<int>{0, 2, 0, -2}));
        EXPECT_EQ(to16({2, 6, 10, -6}, 1.0f, 2), (std::vector<int>{0, 2, 2, -2}));
        EXPECT_EQ(to16({1, 3, 5, -5}, 0.5f, 0), (std::vector<int>{0, 2, 2, -2}));
        // Sums at the limits saturate, on both routes and for long rows too.
        const std::vector<int32_t> big{INT32_MAX, INT32_MAX - 63, INT32_MIN, INT32_MIN + 64,
                                       INT32_MAX, INT32_MAX, INT32_MIN, 70000, -70000};
        EXPECT_EQ(to16(big, 1.0f, 0),
                  (std::vector<int>{32767, 32767, -32768, -32768, 32767, 32767, -32768, 32767, -32768}));
        EXPECT_EQ(to16(big, 1.0f, 1),
                  (std::vector<int>{32767, 32767, -32768, -32768, 32767, 32767, -32768, 32767, -32768}));
        EXPECT_EQ(to16({INT32_MAX, INT32_MIN, 5}, 1.0f, 31), (std::vector<int>{1, -1, 0}));
        EXPECT_EQ(to16({INT32_MAX, INT32_MIN, 5}, 1.0f, 32), (std::vector<int>{0, 0, 0}));
        EXPECT_EQ(to8(big, 1.0f, 0), (std::vector<int>{255, 255, 0, 0, 255, 255, 0, 255, 0}));
        EXPECT_EQ(to8(big, 1.0f, 4), (std::vector<int>{255, 255, 0, 0, 255, 255, 0, 255, 0}));
        EXPECT_EQ(to8(big, -1.0f, 0), (std::vector<int>{0, 0, 255, 255, 0, 0, 255, 0, 255}));
        // Four channels: the fourth byte stays; a count of 6 converts one pixel.
        const int32_t sums[8] = {10, 300, -5, 77, 1, 2, 3, 4};
        uint8_t px[8] = {9, 9, 9, 42, 9, 9, 9, 43};
        k.divideRow32sTo8uAC4(sums, 6, px, 1.0f, 0);
        EXPECT_EQ(std::vector<int>(px, px + 8), (std::vector<int>{10, 255, 0, 42, 9, 9, 9, 43}));
        k.divideRow32sTo8uAC4(sums, 8, px, 0.5f, 0);
        EXPECT_EQ(std::vector<int>(px, px + 8), (std::vector<int>{5, 150, 0, 42, 0, 1, 2, 43}));
        k.divideRow32sTo8uAC4(sums, 8, px, 1.0f, 1);
        EXPECT_EQ(std::vector<int>(px, px + 8), (std::vector<int>{5, 150, 0, 42, 0, 1, 2, 43}));
    }
    EXPECT_EQ(filterKernelSet(0), nullptr);
}

} // namespace
