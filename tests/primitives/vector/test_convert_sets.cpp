// The further members of the conversion kernel sets: widening, 64-bit
// narrowing, float to 8-bit and 16-bit and double to 32-bit in both rounding
// families, and half precision, against the worked tables on every path, at
// every length and offset, with the caller's control register given back.
#include <gtest/gtest.h>

#include <cmath>
#include <cstring>

#include "primitives/vector/convert.h"
#include "vector_harness.h"

namespace {

using vqtest::CallerMxcsr;

#define VQ_SET(fn) \
    std::array<decltype(&prim::p1::fn), 6> { nullptr, prim::p1::fn, prim::p2::fn, prim::p3::fn, prim::p4::fn, prim::p5::fn }

using vqtest::bitsOf;
using vqtest::fromBits;
// A half-precision value as a double, for building sources.
uint16_t halfOf(double v) {
    // Only the values the tables use: exact halves.
    if (v == 0)
        return std::signbit(v) ? 0x8000 : 0;
    const uint16_t sign = v < 0 ? 0x8000 : 0;
    double a = std::fabs(v);
    int e;
    const double m = std::frexp(a, &e);  // a = m x 2^e, m in [0.5, 1)
    int exp = e - 1 + 15;
    if (exp <= 0)
        return sign | static_cast<uint16_t>(std::ldexp(a, 24));
    return sign | static_cast<uint16_t>(exp << 10) | static_cast<uint16_t>((m * 2 - 1) * 1024);
}

TEST(VectorConvertSets, FloatToNarrowIntegerTable) {
    struct Row {
        float v;
        int32_t nearest[5], trunc[5], away[5];  // 8s, 8u, 16s, 16u, 32s from double
    };
    const Row rows[] = {
        {0.5f, {0, 0, 0, 0, 0}, {0, 0, 0, 0, 0}, {1, 1, 1, 1, 1}},
        {1.5f, {2, 2, 2, 2, 2}, {1, 1, 1, 1, 1}, {2, 2, 2, 2, 2}},
        {2.5f, {2, 2, 2, 2, 2}, {2, 2, 2, 2, 2}, {3, 3, 3, 3, 3}},
        {-0.5f, {0, 0, 0, 0, 0}, {0, 0, 0, 0, 0}, {-1, 0, -1, 0, -1}},
        {-2.5f, {-2, 0, -2, 0, -2}, {-2, 0, -2, 0, -2}, {-3, 0, -3, 0, -3}},
        {2.9f, {3, 3, 3, 3, 3}, {2, 2, 2, 2, 2}, {3, 3, 3, 3, 3}},
        {127.5f, {127, 128, 128, 128, 128}, {127, 127, 127, 127, 127}, {127, 128, 128, 128, 128}},
        {-128.5f, {-128, 0, -128, 0, -128}, {-128, 0, -128, 0, -128}, {-128, 0, -129, 0, -129}},
        {32767.5f, {127, 255, 32767, 32768, 32768}, {127, 255, 32767, 32767, 32767}, {127, 255, 32767, 32768, 32768}},
        {65535.5f, {127, 255, 32767, 65535, 65536}, {127, 255, 32767, 65535, 65535}, {127, 255, 32767, 65535, 65536}},
        {1e10f, {127, 255, 32767, 65535, INT32_MAX}, {127, 255, 32767, 65535, INT32_MAX}, {127, 255, 32767, 65535, INT32_MAX}},
        {INFINITY, {127, 255, 32767, 65535, INT32_MAX}, {127, 255, 32767, 65535, INT32_MAX}, {127, 255, 32767, 65535, INT32_MAX}},
        {-1e10f, {-128, 0, -32768, 0, INT32_MIN}, {-128, 0, -32768, 0, INT32_MIN}, {-128, 0, -32768, 0, INT32_MIN}},
        {-INFINITY, {-128, 0, -32768, 0, INT32_MIN}, {-128, 0, -32768, 0, INT32_MIN}, {-128, 0, -32768, 0, INT32_MIN}},
        {NAN, {0, 0, 0, 0, 0}, {0, 0, 0, 0, 0}, {127, 255, 32767, 0, INT32_MAX}},
        {-NAN, {0, 0, 0, 0, 0}, {0, 0, 0, 0, 0}, {127, 255, 32767, 0, INT32_MAX}},
        {0.49999997f, {0, 0, 0, 0, 0}, {0, 0, 0, 0, 0}, {0, 0, 0, 0, 0}},
        {-0.0f, {0, 0, 0, 0, 0}, {0, 0, 0, 0, 0}, {0, 0, 0, 0, 0}},
    };
    for (int path : vqtest::supportedPaths())
        for (const Row& r : rows)
            for (uint32_t csr : {0x1F80u, 0x1F80u | 0x6000u, CallerMxcsr::kUnusual | 0x01u}) {
                // Every family must give the default results under a caller
                // rounding toward zero only where the table allows it: the
                // half-away additions round by the caller, so that family is
                // checked under the default register alone.
                CallerMxcsr caller(csr);
                const std::vector<float> s(9, r.v);
                const std::vector<double> sd(9, double(r.v));
                int8_t d8s[9];
                uint8_t d8u[9];
                int16_t d16s[9];
                uint16_t d16u[9];
                int32_t d32[9];
                for (int32_t flag : {1, 2, -1, 0}) {
                    const int32_t* want = flag ? r.nearest : r.trunc;
                    VQ_SET(convertVector32fTo8sNearOrTrunc)[path](s.data(), d8s, 9, flag, 0);
                    VQ_SET(convertVector32fTo8uNearOrTrunc)[path](s.data(), d8u, 9, flag, 0);
                    VQ_SET(convertVector32fTo16sNearOrTrunc)[path](s.data(), d16s, 9, flag, 0);
                    VQ_SET(convertVector32fTo16uNearOrTrunc)[path](s.data(), d16u, 9, flag, 0);
                    VQ_SET(convertVector64fTo32sNearOrTrunc)[path](sd.data(), d32, 9, flag, 0);
                    for (int i = 0; i < 9; ++i) {
                        ASSERT_EQ(d8s[i], want[0]) << vqtest::pathName(path) << " " << r.v << " flag " << flag;
                        ASSERT_EQ(d8u[i], want[1]) << vqtest::pathName(path) << " " << r.v << " flag " << flag;
                        ASSERT_EQ(d16s[i], want[2]) << vqtest::pathName(path) << " " << r.v << " flag " << flag;
                        ASSERT_EQ(d16u[i], want[3]) << vqtest::pathName(path) << " " << r.v << " flag " << flag;
                        ASSERT_EQ(d32[i], want[4]) << vqtest::pathName(path) << " " << r.v << " flag " << flag;
                    }
                    ASSERT_EQ(CallerMxcsr::readCsr(), csr) << vqtest::pathName(path);
                }
                if (csr != 0x1F80u)
                    continue;
                VQ_SET(convertVector32fTo8sHalfAway)[path](s.data(), d8s, 9, 0);
                VQ_SET(convertVector32fTo8uHalfAway)[path](s.data(), d8u, 9, 0);
                VQ_SET(convertVector32fTo16sHalfAway)[path](s.data(), d16s, 9, 0);
                VQ_SET(convertVector32fTo16uHalfAway)[path](s.data(), d16u, 9, 0);
                VQ_SET(convertVector64fTo32sHalfAway)[path](sd.data(), d32, 9, 0);
                for (int i = 0; i < 9; ++i) {
                    ASSERT_EQ(d8s[i], r.away[0]) << vqtest::pathName(path) << " " << r.v;
                    ASSERT_EQ(d8u[i], r.away[1]) << vqtest::pathName(path) << " " << r.v;
                    ASSERT_EQ(d16s[i], r.away[2]) << vqtest::pathName(path) << " " << r.v;
                    ASSERT_EQ(d16u[i], r.away[3]) << vqtest::pathName(path) << " " << r.v;
                    ASSERT_EQ(d32[i], r.away[4]) << vqtest::pathName(path) << " " << r.v;
                }
                ASSERT_EQ(CallerMxcsr::readCsr(), csr);
            }
}

TEST(VectorConvertSets, ScaleFactorsAndDoubleEdges) {
    for (int path : vqtest::supportedPaths()) {
        const float twenty = 20.0f, one5 = 1.5f;
        int16_t r;
        VQ_SET(convertVector32fTo16sNearOrTrunc)[path](&twenty, &r, 1, 1, 3);
        EXPECT_EQ(r, 2);
        VQ_SET(convertVector32fTo16sHalfAway)[path](&twenty, &r, 1, 3);
        EXPECT_EQ(r, 3);
        VQ_SET(convertVector32fTo16sNearOrTrunc)[path](&one5, &r, 1, 1, -2);
        EXPECT_EQ(r, 6);
        // Factor 0 with an infinite source: NaN product, the clamp's value.
        for (float inf : {INFINITY, -INFINITY}) {
            int8_t r8;
            VQ_SET(convertVector32fTo8sNearOrTrunc)[path](&inf, &r8, 1, 1, 150);
            EXPECT_EQ(r8, 127);
            VQ_SET(convertVector32fTo8sHalfAway)[path](&inf, &r8, 1, 150);
            EXPECT_EQ(r8, 127);
        }
        const double d[6] = {0.49999999999999994, 2147483647.5, 2147483648.0, -2147483648.5, -2147483649.0, 0.5};
        int32_t n[6], a[6];
        VQ_SET(convertVector64fTo32sNearOrTrunc)[path](d, n, 6, 1, 0);
        VQ_SET(convertVector64fTo32sHalfAway)[path](d, a, 6, 0);
        EXPECT_EQ(n[0], 0);
        EXPECT_EQ(a[0], 1);
        for (int i = 1; i < 3; ++i)
            EXPECT_TRUE(n[i] == INT32_MAX && a[i] == INT32_MAX) << i;
        for (int i = 3; i < 5; ++i)
            EXPECT_TRUE(n[i] == INT32_MIN && a[i] == INT32_MIN) << i;
    }
}

TEST(VectorConvertSets, WideningAndNarrowing64) {
    for (int path : vqtest::supportedPaths()) {
        const int8_t s8[2] = {-128, 127};
        const uint8_t u8 = 255;
        const int16_t s16 = -32768;
        const uint16_t u16 = 65535;
        const int32_t s32[2] = {INT32_MIN, (1 << 24) + 1};
        float f[2];
        double d;
        VQ_SET(convertKernel8sTo32f)[path](s8, f, 2);
        EXPECT_TRUE(f[0] == -128.0f && f[1] == 127.0f);
        VQ_SET(convertKernel8uTo32f)[path](&u8, f, 1);
        EXPECT_EQ(f[0], 255.0f);
        VQ_SET(convertKernel16sTo32f)[path](&s16, f, 1);
        EXPECT_EQ(f[0], -32768.0f);
        VQ_SET(convertKernel16uTo32f)[path](&u16, f, 1);
        EXPECT_EQ(f[0], 65535.0f);
        VQ_SET(convertKernel32sTo64f)[path](s32, &d, 1);
        EXPECT_EQ(d, -2147483648.0);
        VQ_SET(convertKernel32sTo32f)[path](s32 + 1, f, 1);
        EXPECT_EQ(f[0], 16777216.0f);
        struct Row {
            int64_t x;
            int32_t shift, want;
        };
        const Row rows[] = {{3, 1, 2},    {-3, 1, -2},  {1, 1, 1},   {-1, 1, -1},
                            {5, 2, 1},    {6, 2, 2},    {-5, 2, -1}, {-6, 2, -2},
                            {int64_t(1) << 40, 8, INT32_MAX}, {-(int64_t(1) << 40), 8, INT32_MIN},
                            {(int64_t(INT32_MAX) << 8) + 128, 8, INT32_MAX}, {(int64_t(INT32_MIN) << 8) - 128, 8, INT32_MIN},
                            {INT64_MAX, 32, INT32_MAX}, {INT64_MIN, 1, INT32_MIN}};
        for (const Row& r : rows) {
            // Out-of-range elements among in-range neighbours: each decided alone.
            const int64_t src[4] = {r.x, 7, r.x, 9};
            int32_t out[4];
            VQ_SET(convertKernel64sTo32sScaled)[path](src, out, 4, r.shift);
            EXPECT_EQ(out[0], r.want) << r.x << " >> " << r.shift;
            EXPECT_EQ(out[2], r.want);
            EXPECT_EQ(out[1], int32_t((7 + (int64_t(1) << (r.shift - 1))) >> r.shift));
        }
    }
}

uint16_t to16f(int path, int16_t x, int32_t flag) {
    uint16_t r;
    VQ_SET(convertKernel16sTo16f)[path](&x, &r, 1, flag);
    return r;
}
int16_t to16s(int path, uint16_t h, int32_t flag, int32_t sf) {
    int16_t r;
    VQ_SET(convertKernel16fTo16sScaled)[path](&h, &r, 1, flag, sf);
    return r;
}
uint32_t to32f(int path, uint16_t h) {
    float r;
    VQ_SET(convertKernel16fTo32f)[path](&h, &r, 1);
    return bitsOf(r);
}
uint16_t from32f(int path, float x, int32_t flag) {
    uint16_t r;
    VQ_SET(convertKernel32fTo16f)[path](&x, &r, 1, flag);
    return r;
}

TEST(VectorConvertSets, HalfPrecisionTable) {
    for (int path : vqtest::supportedPaths()) {
        const std::string p = vqtest::pathName(path);
        struct S16 {
            int16_t x;
            double nearest, trunc;
        };
        const S16 s16[] = {{0, 0, 0},           {1, 1, 1},         {-1, -1, -1},          {2049, 2048, 2048},
                           {2051, 2052, 2050},   {4098, 4096, 4096}, {4102, 4104, 4100},  {32767, 32768, 32752},
                           {-32768, -32768, -32768}, {-2051, -2052, -2050}};
        for (const S16& r : s16) {
            EXPECT_EQ(to16f(path, r.x, 1), halfOf(r.nearest)) << p << " " << r.x;
            EXPECT_EQ(to16f(path, r.x, 7), halfOf(r.nearest)) << p << " " << r.x;
            EXPECT_EQ(to16f(path, r.x, 0), halfOf(r.trunc)) << p << " " << r.x;
        }
        EXPECT_EQ(to16f(path, 1, 1), 0x3C00);
        EXPECT_EQ(to16f(path, -1, 0), 0xBC00);
        struct H16 {
            uint16_t h;
            int32_t sf;
            int16_t nearest, trunc;
        };
        const uint16_t maxSub = 1023, minSub = 1;
        const H16 h16[] = {
            {halfOf(0.5), 0, 0, 0},      {halfOf(1.5), 0, 2, 1},       {halfOf(2.5), 0, 2, 2},
            {halfOf(-1.5), 0, -2, -1},   {0x7BFF, 0, 32767, 32767},    {0xFBFF, 0, -32768, -32768},
            {0x7C00, 0, 32767, 32767},   {0xFC00, 0, -32768, -32768},  {0x7E00, 0, 0, 0},
            {0xFD01, 0, 0, 0},           {0x8000, 0, 0, 0},            {minSub, 0, 0, 0},
            {0x7BFF, 1, 32752, 32752},   {halfOf(1.5), 1, 1, 0},       {0x7BFF, 16, 1, 0},
            {0x7BFF, 17, 0, 0},          {0xFBFF, 17, 0, 0},           {0x7C00, 100, 32767, 32767},
            {0xFC00, 100, -32768, -32768}, {halfOf(0.5), -1, 1, 1},    {minSub, -14, 0, 0},
            {maxSub, -14, 1, 0},         {0, -20, 0, 0},               {0x8000, -20, 0, 0},
            {maxSub, -20, 64, 63},       {0x7BFF, -20, 32767, 32767},  {0x7C00, -20, 32767, 32767},
            {0xBC00, -20, -32768, -32768}, {minSub, -30, 64, 64},      {0x7E00, -5000, 0, 0},
            {0x0000, -5000, 0, 0},       {0x7C00, INT32_MIN, 32767, 32767},
        };
        for (const H16& r : h16) {
            EXPECT_EQ(to16s(path, r.h, 1, r.sf), r.nearest) << p << " " << std::hex << r.h << std::dec << " sf " << r.sf;
            EXPECT_EQ(to16s(path, r.h, 0, r.sf), r.trunc) << p << " " << std::hex << r.h << std::dec << " sf " << r.sf;
        }
        // Half to single: exact.
        EXPECT_EQ(to32f(path, 0x0000), 0x00000000u);
        EXPECT_EQ(to32f(path, 0x8000), 0x80000000u);
        EXPECT_EQ(to32f(path, minSub), bitsOf(0x1p-24f));
        EXPECT_EQ(to32f(path, maxSub), bitsOf(1023 * 0x1p-24f));
        EXPECT_EQ(to32f(path, 0x0400), bitsOf(0x1p-14f));
        EXPECT_EQ(to32f(path, 0x3C00), bitsOf(1.0f));
        EXPECT_EQ(to32f(path, 0x7BFF), bitsOf(65504.0f));
        EXPECT_EQ(to32f(path, 0x7C00), 0x7F800000u);
        EXPECT_EQ(to32f(path, 0xFC00), 0xFF800000u);
        EXPECT_EQ(to32f(path, 0x7C01), 0x7FC02000u);  // signalling NaN made quiet, payload kept
        EXPECT_EQ(to32f(path, 0xFD55), 0xFFC00000u | (0x155u << 13));
        EXPECT_EQ(to32f(path, 0xFE00), 0xFFC00000u);
        EXPECT_EQ(to32f(path, 0x7FFF), 0x7FC00000u | (0x3FFu << 13));
        // Single to half.
        struct F16 {
            float x;
            uint16_t nearest, trunc;
        };
        const F16 f16[] = {
            {65504.0f, 0x7BFF, 0x7BFF},           {65519.0f, 0x7BFF, 0x7BFF},         {65520.0f, 0x7C00, 0x7BFF},
            {1e10f, 0x7C00, 0x7BFF},              {-1e10f, 0xFC00, 0xFBFF},           {INFINITY, 0x7C00, 0x7C00},
            {-INFINITY, 0xFC00, 0xFC00},          {-0.0f, 0x8000, 0x8000},            {-1e-30f, 0x8000, 0x8000},
            {1 + 0x1p-11f, 0x3C00, 0x3C00},       {1 + 3 * 0x1p-11f, 0x3C02, 0x3C01}, {0.1f, 0x2E66, 0x2E66},
            {0x1p-14f, 0x0400, 0x0400},           {0x1p-24f, 0x0001, 0x0001},         {0x1p-25f, 0x0000, 0x0000},
            {1.5f * 0x1p-24f, 0x0002, 0x0001},    {0x1p-25f * (1 + 0x1p-23f), 0x0000, 0x0000},
            {0x1p-24f * (1 - 0x1p-24f), 0x0001, 0x0001},
            {fromBits(0x7F800001), 0x7FFF, 0x7E00}, {fromBits(0x7FC00000), 0x7FFF, 0x7E00},
            {fromBits(0xFFC00000), 0xFFFF, 0xFE00}, {fromBits(0x7FFFFFFF), 0x7FFF, 0x7FFF},
        };
        for (const F16& r : f16) {
            EXPECT_EQ(from32f(path, r.x, 1), r.nearest) << p << " " << r.x << " " << std::hex << bitsOf(r.x);
            EXPECT_EQ(from32f(path, r.x, 0), r.trunc) << p << " " << r.x << " " << std::hex << bitsOf(r.x);
        }
    }
}

// Every kernel at every length 1..40 and source and destination offset gives
// the results of the same kernel on one long aligned vector, and writes
// nothing outside its destination; the 16-bit to 16-bit kernels in place too.
TEST(VectorConvertSets, PlacementDoesNotChangeResults) {
    struct Kernel {
        std::string name;
        int srcSize, dstSize;
        bool inPlaceToo;
        std::function<void(int, const void*, void*, int32_t)> run;
    };
    const std::vector<Kernel> kernels = {
        {"16sTo16f", 2, 2, true, [](int p, const void* s, void* d, int32_t n) { VQ_SET(convertKernel16sTo16f)[p](static_cast<const int16_t*>(s), static_cast<uint16_t*>(d), n, 1); }},
        {"16fTo16s", 2, 2, true, [](int p, const void* s, void* d, int32_t n) { VQ_SET(convertKernel16fTo16sScaled)[p](static_cast<const uint16_t*>(s), static_cast<int16_t*>(d), n, 1, -3); }},
        {"16fTo32f", 2, 4, false, [](int p, const void* s, void* d, int32_t n) { VQ_SET(convertKernel16fTo32f)[p](static_cast<const uint16_t*>(s), static_cast<float*>(d), n); }},
        {"32fTo16f", 4, 2, false, [](int p, const void* s, void* d, int32_t n) { VQ_SET(convertKernel32fTo16f)[p](static_cast<const float*>(s), static_cast<uint16_t*>(d), n, 0); }},
        {"32fTo8u", 4, 1, false, [](int p, const void* s, void* d, int32_t n) { VQ_SET(convertVector32fTo8uNearOrTrunc)[p](static_cast<const float*>(s), static_cast<uint8_t*>(d), n, 1, -4); }},
        {"32fTo16sAway", 4, 2, false, [](int p, const void* s, void* d, int32_t n) { VQ_SET(convertVector32fTo16sHalfAway)[p](static_cast<const float*>(s), static_cast<int16_t*>(d), n, 2); }},
        {"64fTo32s", 8, 4, false, [](int p, const void* s, void* d, int32_t n) { VQ_SET(convertVector64fTo32sNearOrTrunc)[p](static_cast<const double*>(s), static_cast<int32_t*>(d), n, 1, 0); }},
        {"8sTo32f", 1, 4, false, [](int p, const void* s, void* d, int32_t n) { VQ_SET(convertKernel8sTo32f)[p](static_cast<const int8_t*>(s), static_cast<float*>(d), n); }},
        {"64sTo32s", 8, 4, false, [](int p, const void* s, void* d, int32_t n) { VQ_SET(convertKernel64sTo32sScaled)[p](static_cast<const int64_t*>(s), static_cast<int32_t*>(d), n, 9); }},
    };
    for (const Kernel& k : kernels)
        for (int path : vqtest::supportedPaths()) {
            std::mt19937 rng(path);
            std::vector<uint8_t> src(40 * k.srcSize);
            for (auto& b : src)
                b = static_cast<uint8_t>(rng());
            std::vector<uint8_t> want(40 * k.dstSize);
            k.run(path, src.data(), want.data(), 40);
            for (int n = 1; n <= 40; ++n)
                for (int off = 0; off < 16; ++off) {
                    vqtest::GuardedImage s(n * k.srcSize, 1, (off * 7 + 1) % 16), d(n * k.dstSize, 1, off);
                    s.setPixels(std::vector<uint8_t>(src.begin(), src.begin() + n * k.srcSize));
                    k.run(path, s.origin(), d.origin(), n);
                    ASSERT_EQ(d.pixels(), std::vector<uint8_t>(want.begin(), want.begin() + n * k.dstSize))
                        << k.name << " " << vqtest::pathName(path) << " n " << n << " off " << off;
                    ASSERT_TRUE(d.guardsIntact());
                    if (k.inPlaceToo) {
                        k.run(path, s.origin(), s.origin(), n);
                        ASSERT_EQ(s.pixels(), d.pixels()) << k.name << " in place";
                    }
                }
        }
}

} // namespace
