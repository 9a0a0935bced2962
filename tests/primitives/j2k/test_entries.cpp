// Each public entry reaches its own family's table: called on the same data
// as the generic form of its table, it gives the same result (exactly for the
// integer forms, within single-precision rounding for the float forms).
#include <gtest/gtest.h>

#include <random>
#include <vector>

#include "j2k_test_util.h"
#include "primitives/j2k/component.h"
#include "primitives/j2k/wavelet53.h"
#include "primitives/j2k/wavelet97.h"

using namespace j2ktest;

namespace {

template <class T>
void expectClose(const std::vector<T>& got, const std::vector<T>& want, const char* what) {
    ASSERT_EQ(got.size(), want.size()) << what;
    for (size_t i = 0; i < got.size(); ++i) {
        if constexpr (std::is_floating_point_v<T>)
            ASSERT_NEAR(got[i], want[i], 1e-3) << what << " " << i;
        else
            ASSERT_EQ(got[i], want[i]) << what << " " << i;
    }
}

// A call with the same arguments through `entry` and through `generic`, on
// separate copies of every buffer; `call` receives the function and the copies.
template <class T, class Fn, class Call>
void sameAsGeneric(Fn entry, Fn generic, int buffers, int n, Call call, const char* what) {
    std::mt19937 rng(1);
    std::vector<std::vector<T>> a;
    for (int i = 0; i < buffers; ++i) {
        if constexpr (std::is_floating_point_v<T>)
            a.push_back(randomFloats(rng, n, 100));
        else
            a.push_back(randomValues<T>(rng, n, -3000, 3000));
    }
    auto b = a;
    ASSERT_EQ(call(entry, a), primNoErr) << what;
    ASSERT_EQ(call(generic, b), primNoErr) << what;
    for (int i = 0; i < buffers; ++i)
        expectClose(a[i], b[i], what);
}

TEST(J2kEntries, EveryEntryDispatchesToItsOwnFamily) {
    const int n = 64, w = 20;
    auto planes = [](auto f, auto& v) {
        decltype(v[0].data()) p[3] = {v[0].data(), v[1].data(), v[2].data()};
        return f(p, int32_t(sizeof(v[0][0]) * 64), 64, 1);
    };
    sameAsGeneric<int32_t>(&forwardRct32s, forwardRct32sTable[0], 3, n, planes, "forwardRct32s");
    sameAsGeneric<int32_t>(&inverseRct32s, inverseRct32sTable[0], 3, n, planes, "inverseRct32s");
    sameAsGeneric<int16_t>(&inverseRct16s, inverseRct16sTable[0], 3, n, planes, "inverseRct16s");
    sameAsGeneric<float>(&inverseIct32f, inverseIct32fTable[0], 3, n, planes, "inverseIct32f");
    // Green may be one lower on a processor path at an exact half: compare R and B only.
    {
        std::mt19937 rng(2);
        std::vector<std::vector<int16_t>> a{randomValues<int16_t>(rng, n, -3000, 3000), randomValues<int16_t>(rng, n, -3000, 3000),
                                            randomValues<int16_t>(rng, n, -3000, 3000)};
        auto b = a;
        ASSERT_EQ(planes(&inverseIct16s, a), primNoErr);
        ASSERT_EQ(planes(inverseIct16sTable[0], b), primNoErr);
        expectClose(a[0], b[0], "inverseIct16s R");
        expectClose(a[2], b[2], "inverseIct16s B");
    }

    auto cols6 = [w](auto f, auto& v) { return f(v[0].data(), v[1].data(), v[2].data(), v[3].data(), v[4].data(), v[5].data(), w); };
    sameAsGeneric<int32_t>(&forwardWavelet53Columns32s, forwardWavelet53Columns32sTable[0], 6, n, cols6, "forwardWavelet53Columns32s");
    sameAsGeneric<int32_t>(&inverseWavelet53Columns32s, inverseWavelet53Columns32sTable[0], 6, n, cols6, "inverseWavelet53Columns32s");
    sameAsGeneric<int16_t>(&inverseWavelet53Columns16s, inverseWavelet53Columns16sTable[0], 6, n, cols6, "inverseWavelet53Columns16s");
    auto cols8 = [w](auto f, auto& v) {
        return f(v[0].data(), v[1].data(), v[2].data(), v[3].data(), v[4].data(), v[5].data(), v[6].data(), v[7].data(), w);
    };
    sameAsGeneric<float>(&forwardWavelet97Columns32f, forwardWavelet97Columns32fTable[0], 8, n, cols8, "forwardWavelet97Columns32f");
    sameAsGeneric<float>(&inverseWavelet97Columns32f, inverseWavelet97Columns32fTable[0], 8, n, cols8, "inverseWavelet97Columns32f");
    sameAsGeneric<int16_t>(&inverseWavelet97Columns16s, inverseWavelet97Columns16sTable[0], 8, n, cols8, "inverseWavelet97Columns16s");

    // Rows: the source or bands start 8 samples in; outputs in buffer 2.
    auto fwdRows = [w](auto f, auto& v) {
        return f(v[0].data() + 8, 4 * n, v[1].data(), 4 * n, v[2].data(), 4 * n, w, 1, 1);
    };
    sameAsGeneric<int32_t>(&forwardWavelet53Rows32s, forwardWavelet53Rows32sTable[0], 3, n, fwdRows, "forwardWavelet53Rows32s");
    sameAsGeneric<float>(&forwardWavelet97Rows32f, forwardWavelet97Rows32fTable[0], 3, n, fwdRows, "forwardWavelet97Rows32f");
    auto invRows = [w](auto f, auto& v) {
        const int32_t step = int32_t(sizeof(v[0][0]) * 64);
        return f(v[0].data() + 8, step, v[1].data() + 8, step, w, 1, v[2].data(), step, 0);
    };
    sameAsGeneric<int32_t>(&inverseWavelet53Rows32s, inverseWavelet53Rows32sTable[0], 3, n, invRows, "inverseWavelet53Rows32s");
    sameAsGeneric<int16_t>(&inverseWavelet53Rows16s, inverseWavelet53Rows16sTable[0], 3, n, invRows, "inverseWavelet53Rows16s");
    sameAsGeneric<float>(&inverseWavelet97Rows32f, inverseWavelet97Rows32fTable[0], 3, n, invRows, "inverseWavelet97Rows32f");
    sameAsGeneric<int16_t>(&inverseWavelet97Rows16s, inverseWavelet97Rows16sTable[0], 3, n, invRows, "inverseWavelet97Rows16s");
}

} // namespace
