// Component transforms: argument checks, the documented sample values, round
// trips, agreement of every path with the generic form and accuracy against
// the real-valued colour equations.
#include <gtest/gtest.h>

#include <array>
#include <cmath>
#include <random>
#include <vector>

#include "j2k_test_util.h"
#include "primitives/j2k/component.h"

using namespace j2ktest;

namespace {

// Three planes of `height` rows of `stride` samples each (stride >= width);
// the samples beyond the width hold a marker that no call may change.
template <class T>
struct Planes {
    Planes(int width, int height, int stride, T marker = T(77))
        : w(width), h(height), s(stride) {
        for (auto& p : data)
            p.assign(static_cast<size_t>(stride) * height, marker);
        for (int i = 0; i < 3; ++i)
            ptr[i] = data[i].data();
    }
    T& at(int plane, int row, int x) { return data[plane][static_cast<size_t>(row) * s + x]; }
    int32_t step() const { return s * static_cast<int32_t>(sizeof(T)); }
    int w, h, s;
    std::array<std::vector<T>, 3> data;
    std::array<T*, 3> ptr;
};

template <class T, class Fn>
void expectChecks(const Fn* table) {
    for (int path : allPaths()) {
        Planes<T> p(4, 2, 4);
        const auto before = p.data;
        std::array<T*, 3> oneNull = p.ptr;
        struct Case {
            T* const* planes;
            int32_t step, width, height, want;
        };
        const int32_t step = p.step();
        std::vector<Case> cases = {
            {nullptr, step, 4, 2, primErrNullPtr}, {nullptr, 0, 0, 0, primErrNullPtr},
            {p.ptr.data(), 0, 4, 2, primErrStep},  {p.ptr.data(), -4, 0, 0, primErrStep},
            {p.ptr.data(), step, 0, 2, primErrSize}, {p.ptr.data(), step, 4, 0, primErrSize},
            {p.ptr.data(), step, -1, 2, primErrSize}, {p.ptr.data(), step, 4, -3, primErrSize},
        };
        for (const Case& c : cases)
            EXPECT_EQ(table[path](c.planes, c.step, c.width, c.height), c.want) << pathName(path);
        for (int i = 0; i < 3; ++i) {
            oneNull = p.ptr;
            oneNull[i] = nullptr;
            EXPECT_EQ(table[path](oneNull.data(), 0, 0, 0), primErrNullPtr) << pathName(path) << " plane " << i;
        }
        EXPECT_EQ(p.data, before) << pathName(path);
    }
}

TEST(J2kComponent, BadArgumentsAreRefusedInOrderAndNothingIsWritten) {
    expectChecks<int32_t>(forwardRct32sTable);
    expectChecks<int32_t>(inverseRct32sTable);
    expectChecks<int16_t>(inverseRct16sTable);
    expectChecks<float>(inverseIct32fTable);
    expectChecks<int16_t>(inverseIct16sTable);
}

template <class T, class Fn>
std::array<T, 3> one(const Fn* table, int path, T a, T b, T c) {
    Planes<T> p(1, 1, 1);
    p.at(0, 0, 0) = a;
    p.at(1, 0, 0) = b;
    p.at(2, 0, 0) = c;
    EXPECT_EQ(table[path](p.ptr.data(), p.step(), 1, 1), primNoErr);
    return {p.at(0, 0, 0), p.at(1, 0, 0), p.at(2, 0, 0)};
}

TEST(J2kComponent, DocumentedSamplesOnEveryPath) {
    using A32 = std::array<int32_t, 3>;
    using A16 = std::array<int16_t, 3>;
    for (int path : allPaths()) {
        SCOPED_TRACE(pathName(path));
        EXPECT_EQ(one<int32_t>(forwardRct32sTable, path, 1, 0, 0), (A32{0, 0, 1}));
        EXPECT_EQ(one<int32_t>(forwardRct32sTable, path, -1, 0, 0), (A32{-1, 0, -1}));  // floor
        EXPECT_EQ(one<int32_t>(inverseRct32sTable, path, 0, 0, 1), (A32{1, 0, 0}));
        EXPECT_EQ(one<int32_t>(inverseRct32sTable, path, -1, 0, -1), (A32{-1, 0, 0}));
        // Wrapped 16-bit results.
        EXPECT_EQ(one<int16_t>(inverseRct16sTable, path, -32768, 32767, 32767), (A16{-16384, 16385, -16384}));
        // Exact half in green: the generic form rounds the negative correction
        // half upwards, the processor paths subtract the rounded positive one.
        const int16_t g = path == 0 ? -131 : -132;
        EXPECT_EQ(one<int16_t>(inverseIct16sTable, path, 0, -8, 188), (A16{264, g, -14}));
        // Red beyond the range is clamped on every path, not wrapped to a dark value.
        EXPECT_EQ(one<int16_t>(inverseIct16sTable, path, 32767, 0, 1000), (A16{32767, 32053, 32767}));
        const auto f = one<float>(inverseIct32fTable, path, 0.5f, 0.0f, 0.0f);
        EXPECT_EQ(f, (std::array<float, 3>{0.5f, 0.5f, 0.5f}));
    }
}

// Random planes with a row stride above the width; every path must leave the
// same samples as the generic form and keep the samples between rows.
template <class T, class Fn, class Fill, class Same>
void expectPathsAgree(const Fn* table, Fill fill, Same same) {
    std::mt19937 rng(33);
    for (int width = 1; width <= 40; ++width) {
        const int height = 1 + width % 3, stride = width + width % 5;
        Planes<T> ref(width, height, stride);
        for (int i = 0; i < 3; ++i)
            for (int r = 0; r < height; ++r)
                for (int x = 0; x < width; ++x)
                    ref.at(i, r, x) = fill(rng);
        const Planes<T> input = ref;
        ASSERT_EQ(table[0](ref.ptr.data(), ref.step(), width, height), primNoErr);
        for (int path : allPaths()) {
            Planes<T> out = input;
            for (int i = 0; i < 3; ++i)
                out.ptr[i] = out.data[i].data();
            ASSERT_EQ(table[path](out.ptr.data(), out.step(), width, height), primNoErr);
            for (int i = 0; i < 3; ++i)
                for (size_t k = 0; k < out.data[i].size(); ++k)
                    ASSERT_TRUE(same(out.data[i][k], ref.data[i][k], input, i, k))
                        << pathName(path) << " width " << width << " plane " << i << " index " << k;
        }
    }
}

// Paths agree on full-range samples, where sums wrap; the round trip holds
// while R + 2G + B stays within 32 bits (the wrapped sum loses its top bits).
TEST(J2kComponent, RctRoundTripsAndPathsAgreeExactlyAlsoWhereSumsWrap) {
    auto any32 = [](std::mt19937& rng) { return static_cast<int32_t>(rng()); };
    auto exact = [](auto a, auto b, auto&&...) { return a == b; };
    expectPathsAgree<int32_t>(forwardRct32sTable, any32, exact);
    expectPathsAgree<int32_t>(inverseRct32sTable, any32, exact);
    expectPathsAgree<int16_t>(inverseRct16sTable, [](std::mt19937& rng) { return static_cast<int16_t>(rng()); }, exact);

    std::mt19937 rng(7);
    for (int path : allPaths()) {
        for (int width : {1, 7, 8, 9, 31}) {
            Planes<int32_t> p(width, 2, width + 3);
            for (int i = 0; i < 3; ++i)
                for (int x = 0; x < width; ++x)
                    p.at(i, 0, x) = static_cast<int32_t>(rng() % (1u << 30)) - (1 << 29), p.at(i, 1, x) = static_cast<int32_t>(rng() % 2001) - 1000;
            const auto before = p.data;
            ASSERT_EQ(forwardRct32sTable[path](p.ptr.data(), p.step(), width, 2), primNoErr);
            ASSERT_EQ(inverseRct32sTable[path](p.ptr.data(), p.step(), width, 2), primNoErr);
            EXPECT_EQ(p.data, before) << pathName(path) << " width " << width;
        }
    }
}

TEST(J2kComponent, RctOf16BitSamplesEqualsThe32BitFormModulo65536) {
    std::mt19937 rng(16);
    for (int path : allPaths()) {
        Planes<int16_t> p16(37, 1, 37);
        Planes<int32_t> p32(37, 1, 37);
        for (int i = 0; i < 3; ++i)
            for (int x = 0; x < 37; ++x)
                p32.at(i, 0, x) = p16.at(i, 0, x) = static_cast<int16_t>(rng());
        ASSERT_EQ(inverseRct16sTable[path](p16.ptr.data(), p16.step(), 37, 1), primNoErr);
        ASSERT_EQ(inverseRct32sTable[0](p32.ptr.data(), p32.step(), 37, 1), primNoErr);
        for (int i = 0; i < 3; ++i)
            for (int x = 0; x < 37; ++x)
                ASSERT_EQ(p16.at(i, 0, x), static_cast<int16_t>(p32.at(i, 0, x))) << pathName(path);
    }
}

TEST(J2kComponent, IctFollowsTheColourEquations) {
    // 16-bit: within one unit of the real-valued transform (in range), the
    // paths equal the generic form except green at exact halves.
    std::mt19937 rng(14);
    auto small = [](std::mt19937& r) { return static_cast<int16_t>(static_cast<int>(r() % 8001) - 4000); };
    expectPathsAgree<int16_t>(inverseIct16sTable, small, [](int16_t got, int16_t want, const Planes<int16_t>& in, int plane, size_t k) {
        if (plane != 1)
            return got == want;
        const int32_t cb = in.data[1][k], cr = in.data[2][k];
        const bool half = ((5638 * cb + 11700 * cr) % 16384 + 16384) % 16384 == 8192;
        return got == want || (half && got == want - 1);
    });
    for (int path : allPaths()) {
        Planes<int16_t> p(64, 1, 64);
        std::vector<double> y(64), cb(64), cr(64);
        for (int x = 0; x < 64; ++x) {
            p.at(0, 0, x) = small(rng), p.at(1, 0, x) = small(rng), p.at(2, 0, x) = small(rng);
            y[x] = p.at(0, 0, x), cb[x] = p.at(1, 0, x), cr[x] = p.at(2, 0, x);
        }
        ASSERT_EQ(inverseIct16sTable[path](p.ptr.data(), p.step(), 64, 1), primNoErr);
        for (int x = 0; x < 64; ++x) {
            EXPECT_NEAR(p.at(0, 0, x), y[x] + 1.402 * cr[x], 1.0) << pathName(path);
            EXPECT_NEAR(p.at(1, 0, x), y[x] - 0.34413 * cb[x] - 0.71414 * cr[x], 1.0) << pathName(path);
            EXPECT_NEAR(p.at(2, 0, x), y[x] + 1.772 * cb[x], 1.0) << pathName(path);
        }
    }
    // Float: every path within a few units of the last place of the exact result.
    for (int path : allPaths()) {
        for (int width : {1, 3, 4, 5, 17}) {
            Planes<float> p(width, 2, width + 2);
            std::vector<double> want;
            for (int r = 0; r < 2; ++r)
                for (int x = 0; x < width; ++x) {
                    const float Y = static_cast<float>(rng() % 1000) / 7.0f, Cb = static_cast<float>(rng() % 1000) / 9.0f - 50,
                                Cr = static_cast<float>(rng() % 1000) / 11.0f - 45;
                    p.at(0, r, x) = Y, p.at(1, r, x) = Cb, p.at(2, r, x) = Cr;
                    want.insert(want.end(), {Y + 1.402 * Cr, Y - 0.34413 * Cb - 0.71414 * Cr, Y + 1.772 * Cb});
                }
            ASSERT_EQ(inverseIct32fTable[path](p.ptr.data(), p.step(), width, 2), primNoErr);
            for (int r = 0, n = 0; r < 2; ++r)
                for (int x = 0; x < width; ++x)
                    for (int i = 0; i < 3; ++i, ++n)
                        EXPECT_NEAR(p.at(i, r, x), want[n], 1e-4 + 4e-7 * std::fabs(want[n])) << pathName(path);
            for (int i = 0; i < 3; ++i)
                for (int r = 0; r < 2; ++r)
                    EXPECT_EQ(p.at(i, r, width), 77.0f);  // the gap between rows is untouched
        }
    }
}

} // namespace
