// Square-pixel kernels: cubic and Lanczos weights, the Lanczos table, the
// signed Lanczos rounding and the element moves.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <cstring>
#include <vector>

#include "primitives/resample/generic/passes.h"
#include "primitives/resample/resize_sq.h"

namespace {

using WeightsFn = void (*)(const float*, int32_t, float*);

struct WeightRow {
    int code;
    float t;
    float w[4];
};

WeightsFn generatorOf(int code) { return resizeSqKernelSets[0]->cubicWeights[code - 4]; }

} // namespace

TEST(ResizeSqCubicWeights, WorkedTables) {
    const WeightRow rows[] = {
        {4, 0.0f, {0, 1, 0, 0}},
        {4, 0.25f, {-0.0546875f, 0.8203125f, 0.2734375f, -0.0390625f}},
        {4, 0.5f, {-0.0625f, 0.5625f, 0.5625f, -0.0625f}},
        {4, 0.75f, {-0.0390625f, 0.2734375f, 0.8203125f, -0.0546875f}},
        {4, 1.0f, {0, 0, 1, 0}},
        {5, 0.0f, {float(1 / 6.0), float(2 / 3.0), float(1 / 6.0), 0}},
        {5, 0.5f, {float(1 / 48.0), float(23 / 48.0), float(23 / 48.0), float(1 / 48.0)}},
        {6, 0.0f, {0, 1, 0, 0}},
        {6, 0.25f, {-0.0703125f, 0.8671875f, 0.2265625f, -0.0234375f}},
        {6, 0.5f, {-0.0625f, 0.5625f, 0.5625f, -0.0625f}},
        {6, 0.75f, {-0.0234375f, 0.2265625f, 0.8671875f, -0.0703125f}},
        {6, 1.0f, {0, 0, 1, 0}},
        {7, 0.0f, {float(1 / 12.0), float(5 / 6.0), float(1 / 12.0), 0}},
        {7, 0.5f, {float(-13 / 480.0), float(253 / 480.0), float(253 / 480.0), float(-13 / 480.0)}},
    };
    for (const WeightRow& r : rows) {
        float w[4] = {9, 9, 9, 9};
        generatorOf(r.code)(&r.t, 1, w);
        for (int k = 0; k < 4; ++k)
            EXPECT_EQ(w[k], r.w[k]) << "code " << r.code << " t " << r.t << " tap " << k;
    }
    // A count of 0 writes nothing.
    float untouched[4] = {7, 7, 7, 7};
    const float t = 0.5f;
    generatorOf(4)(&t, 0, untouched);
    EXPECT_EQ(untouched[0], 7.0f);
}

TEST(Lanczos3, TableRowsAndHalvingWeights) {
    // Reference rows, several of them a few units of the eighth decimal
    // away from the kernel rounded (entry 72 by 9).
    const struct {
        int n;
        float value;
    } rows[] = {{0, 1.0f},           {1, 0.99981719f},   {10, 0.9818349f},   {50, 0.60792708f},
                {72, 0.30927145f},   {99, 0.00838497f},  {101, -0.00815418f}, {137, -0.147255f},
                {150, -0.13509491f}, {201, 0.00203415f}, {250, 0.02431709f}, {299, 0.00001118f}};
    for (const auto& r : rows)
        EXPECT_EQ(lanczos3KernelTable[r.n], r.value) << r.n;
    EXPECT_TRUE(std::signbit(lanczos3KernelTable[100]));
    for (int n = 300; n < 304; ++n)
        EXPECT_EQ(lanczos3KernelTable[n], 0.0f);

    const float fractions[3] = {0.5f, 0.0f, -1e-7f};
    float taps[18];
    prim::generic::lanczos3Weights(fractions, 3, taps);
    const float half[6] = {0.024456527f, -0.13586956f, 0.61141306f, 0.61141306f, -0.13586956f, 0.024456527f};
    for (int k = 0; k < 6; ++k)
        EXPECT_EQ(taps[k], half[k]) << k;
    // An integer position copies its sample.
    const float copy[6] = {0, 0, 1, 0, 0, 0};
    for (int k = 0; k < 6; ++k)
        EXPECT_EQ(taps[6 + k], copy[k]) << k;
    // Slightly below an integer the taps still sum to 1.
    float sum = 0;
    for (int k = 0; k < 6; ++k)
        sum += taps[12 + k];
    EXPECT_NEAR(sum, 1.0f, 1e-6f);
}

TEST(Lanczos3, SignedColumnRoundsHalvesAwayFromZero) {
    // Taps (0, 0, 1, 0, 0, 0) pass tap 0's work row through unchanged.
    const float w[6] = {0, 0, 1, 0, 0, 0};
    const float sums[] = {2.5f, -2.5f, -0.4f, 0.0f, -0.5f, 2.4999999f, 32767.5f, 40000.0f, -32768.6f, -40000.0f};
    const int16_t expected[] = {3, -3, 0, 0, -1, 3, 32767, 32767, -32768, -32768};
    const int n = int(sizeof(sums) / sizeof(sums[0]));
    const std::vector<float> zeros(n, 0.0f);
    const float* zero = zeros.data();
    std::vector<int16_t> out(n, 99);
    prim::generic::resizeSqLanczosColumnPass16s(out.data(), n, w, zero, zero, sums, zero, zero, zero);
    for (int i = 0; i < n; ++i)
        EXPECT_EQ(out[i], expected[i]) << sums[i];
    // The four-sample form writes samples 0-2 of each pixel only.
    int16_t pixels[8] = {9, 9, 9, 9, 9, 9, 9, 9};
    prim::generic::resizeSqLanczosColumnPass16sAC4(pixels, 2, w, zero, zero, sums, zero, zero, zero);
    const int16_t ac4[8] = {3, -3, 0, 9, 0, -1, 3, 9};
    EXPECT_EQ(std::memcmp(pixels, ac4, sizeof(ac4)), 0);
}

TEST(ElementMoves, OverlappingBothWaysAndStatuses) {
    for (int size : {2, 4}) {
        const ElementMoveFn move = size == 2 ? resizeSqKernelSets[0]->move16s : resizeSqKernelSets[0]->move32s;
        for (int n : {1, 5, 40}) {
            std::vector<uint8_t> table(size_t(n + 1) * size);
            for (size_t i = 0; i < table.size(); ++i)
                table[i] = uint8_t(i * 7 + 1);
            const std::vector<uint8_t> before = table;
            // Down by one element: the first n entries become entries 1 .. n.
            EXPECT_EQ(move(table.data() + size, table.data(), n), 0);
            EXPECT_EQ(std::memcmp(table.data(), before.data() + size, size_t(n) * size), 0);
            // Up by one element: entries 1 .. n become the former 0 .. n - 1.
            table = before;
            EXPECT_EQ(move(table.data(), table.data() + size, n), 0);
            EXPECT_EQ(std::memcmp(table.data() + size, before.data(), size_t(n) * size), 0);
            // Onto itself: nothing changes.
            table = before;
            EXPECT_EQ(move(table.data(), table.data(), n), 0);
            EXPECT_EQ(table, before);
        }
        uint8_t b[8] = {1, 2, 3, 4, 5, 6, 7, 8};
        EXPECT_EQ(move(b, b + 4, 0), -6);
        EXPECT_EQ(move(b, b + 4, -1), -6);
        EXPECT_EQ(move(nullptr, b, 0), -8);
        EXPECT_EQ(move(b, nullptr, 1), -8);
        EXPECT_EQ(b[4], 5);
    }
}
