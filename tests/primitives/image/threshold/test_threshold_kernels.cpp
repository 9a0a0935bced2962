// The threshold kernel sets of the processor paths: every kernel against the
// per-sample rules over widths 1..20, alignments, in place and apart, with
// samples at and around the thresholds, NaNs, infinities and signed zeros;
// the fourth sample of AC4 pixels is never changed.
#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <limits>

#include "primitives/image/image_harness.h"
#include "primitives/image/threshold/threshold_kernels.h"

namespace {

using vqtest::GuardedImage;

enum Kind { kClamp, kValue, kGreaterC4, kLessC4, kOutside };

// Per-channel parameters: t (threshold or upper), v (value or above), and
// for the outside kind l (lower) and b (below).
struct Params {
    double t[4], v[4], l[4], b[4];
};

template <class T>
T as(double x) {
    return static_cast<T>(x);
}

struct TCase {
    const char* name;
    int size;     // bytes per sample
    bool isFloat;
    int samples;  // per pixel
    bool alpha;   // AC4: sample 3 kept
    Kind kind;
    std::function<void(const ThresholdKernelSet&, const void*, int32_t, void*, int32_t, int32_t, int32_t, const Params&,
                       int32_t)>
        run;
};

template <class T>
struct Arrays {
    T t[4], v[4], l[4], b[4];
    explicit Arrays(const Params& p) {
        for (int c = 0; c < 4; ++c) {
            t[c] = as<T>(p.t[c]);
            v[c] = as<T>(p.v[c]);
            l[c] = as<T>(p.l[c]);
            b[c] = as<T>(p.b[c]);
        }
    }
};

#define VQ_TK_CALL(T) \
    [](const ThresholdKernelSet& k, const void* s_, int32_t ss, void* d_, int32_t ds, int32_t w, int32_t h, const Params& p, int32_t g)
#define VQ_TK_PTRS(T)                        \
    const T* s = static_cast<const T*>(s_); \
    T* d = static_cast<T*>(d_);             \
    const Arrays<T> a(p);                   \
    (void)g;                                 \
    (void)a

// By-value parameters of the C1 kernels: the 32-bit slot for integers.
#define VQ_ARG(T, x) static_cast<std::conditional_t<std::is_same_v<T, float>, float, int32_t>>(x)

#define VQ_TYPE_CASES(suffix, T, size, isFloat)                                                                      \
    TCase{"thresholdClamp" #suffix "C1", size, isFloat, 1, false, kClamp,                                             \
          VQ_TK_CALL(T) { VQ_TK_PTRS(T); k.thresholdClamp##suffix##C1(s, ss, d, ds, w, h, VQ_ARG(T, a.t[0]), g); }},  \
        TCase{"thresholdClamp" #suffix "C3", size, isFloat, 3, false, kClamp,                                         \
              VQ_TK_CALL(T) { VQ_TK_PTRS(T); k.thresholdClamp##suffix##C3(s, ss, d, ds, w, h, a.t, g); }},           \
        TCase{"thresholdClamp" #suffix "AC4", size, isFloat, 4, true, kClamp,                                         \
              VQ_TK_CALL(T) { VQ_TK_PTRS(T); k.thresholdClamp##suffix##AC4(s, ss, d, ds, w, h, a.t, g); }},          \
        TCase{"thresholdVal" #suffix "C1", size, isFloat, 1, false, kValue,                                           \
              VQ_TK_CALL(T) {                                                                                         \
                  VQ_TK_PTRS(T);                                                                                      \
                  k.thresholdVal##suffix##C1(s, ss, d, ds, w, h, VQ_ARG(T, a.t[0]), VQ_ARG(T, a.v[0]), g);            \
              }},                                                                                                     \
        TCase{"thresholdVal" #suffix "C3", size, isFloat, 3, false, kValue,                                           \
              VQ_TK_CALL(T) { VQ_TK_PTRS(T); k.thresholdVal##suffix##C3(s, ss, d, ds, w, h, a.t, a.v, g); }},        \
        TCase{"thresholdVal" #suffix "AC4", size, isFloat, 4, true, kValue,                                           \
              VQ_TK_CALL(T) { VQ_TK_PTRS(T); k.thresholdVal##suffix##AC4(s, ss, d, ds, w, h, a.t, a.v, g); }},       \
        TCase{"thresholdGreaterVal" #suffix "C4", size, isFloat, 4, false, kGreaterC4,                                \
              VQ_TK_CALL(T) { VQ_TK_PTRS(T); k.thresholdGreaterVal##suffix##C4(s, ss, d, ds, w, h, a.t, a.v); }},    \
        TCase{"thresholdLessVal" #suffix "C4", size, isFloat, 4, false, kLessC4,                                      \
              VQ_TK_CALL(T) { VQ_TK_PTRS(T); k.thresholdLessVal##suffix##C4(s, ss, d, ds, w, h, a.t, a.v); }},       \
        TCase{"thresholdOutsideVal" #suffix "C1", size, isFloat, 1, false, kOutside,                                  \
              VQ_TK_CALL(T) {                                                                                         \
                  VQ_TK_PTRS(T);                                                                                      \
                  k.thresholdOutsideVal##suffix##C1(s, ss, d, ds, w, h, VQ_ARG(T, a.t[0]), VQ_ARG(T, a.v[0]),         \
                                                    VQ_ARG(T, a.l[0]), VQ_ARG(T, a.b[0]));                            \
              }},                                                                                                     \
        TCase{"thresholdOutsideVal" #suffix "C3", size, isFloat, 3, false, kOutside,                                  \
              VQ_TK_CALL(T) { VQ_TK_PTRS(T); k.thresholdOutsideVal##suffix##C3(s, ss, d, ds, w, h, a.t, a.v, a.l, a.b); }}, \
        TCase{"thresholdOutsideVal" #suffix "AC4", size, isFloat, 4, true, kOutside,                                  \
              VQ_TK_CALL(T) { VQ_TK_PTRS(T); k.thresholdOutsideVal##suffix##AC4(s, ss, d, ds, w, h, a.t, a.v, a.l, a.b); }}

const std::vector<TCase>& cases() {
    static const std::vector<TCase> c = {
        VQ_TYPE_CASES(8u, uint8_t, 1, false),
        VQ_TYPE_CASES(16s, int16_t, 2, false),
        VQ_TYPE_CASES(32f, float, 4, true),
        TCase{"thresholdClampColourOnly32fAC4", 4, true, 4, true, kClamp,
              VQ_TK_CALL(float) { VQ_TK_PTRS(float); k.thresholdClampColourOnly32fAC4(s, ss, d, ds, w, h, a.t, g); }},
    };
    return c;
}

// The rules on numbers (NaN compares false); *keep tells that the sample
// itself (its own bits) is the result.
double rule(Kind kind, bool greater, double s, int ch, const Params& p, bool* keep, bool* orBits) {
    *orBits = false;
    const double t = p.t[ch];
    bool replace = false;
    double with = t;
    switch (kind) {
    case kClamp: replace = greater ? !(s < t) : !(s > t); break;
    case kValue: replace = greater ? s > t : !(s >= t), with = p.v[ch]; break;
    case kGreaterC4: replace = s > t, with = p.v[ch]; break;
    case kLessC4: replace = !(s >= t), with = p.v[ch]; break;
    default: {
        const bool above = s > t, below = !(s >= p.l[ch]);
        *orBits = above && below;
        replace = above || below;
        with = above ? p.v[ch] : p.b[ch];
    }
    }
    *keep = !replace;
    return with;
}

double readAs(const uint8_t* q, int size, bool isFloat) {
    if (isFloat) {
        float f;
        std::memcpy(&f, q, 4);
        return f;
    }
    if (size == 2) {
        int16_t v;
        std::memcpy(&v, q, 2);
        return v;
    }
    return *q;
}

void writeAs(uint8_t* q, int size, bool isFloat, double v) {
    if (isFloat) {
        const float f = static_cast<float>(v);
        std::memcpy(q, &f, 4);
    } else if (size == 2) {
        const int16_t s = static_cast<int16_t>(v);
        std::memcpy(q, &s, 2);
    } else {
        *q = static_cast<uint8_t>(v);
    }
}

Params randomParams(const TCase& c, std::mt19937& rng) {
    Params p{};
    for (int ch = 0; ch < 4; ++ch) {
        auto pick = [&]() -> double {
            if (c.isFloat)
                return (static_cast<int>(rng() % 200) - 100) / 4.0;
            return c.size == 1 ? double(rng() % 256) : double(static_cast<int>(rng() % 400) - 200);
        };
        double a = pick(), b = pick();
        p.t[ch] = std::max(a, b);  // upper
        p.l[ch] = std::min(a, b);  // lower, not above the upper
        p.v[ch] = pick();
        p.b[ch] = pick();
    }
    return p;
}

void fillSamples(GuardedImage& g, const TCase& c, const Params& p, std::mt19937& rng) {
    const int n = g.rowBytes() / c.size;
    const double specials[] = {std::numeric_limits<double>::quiet_NaN(), INFINITY, -INFINITY, 0.0, -0.0};
    for (int y = 0; y < g.height(); ++y)
        for (int i = 0; i < n; ++i) {
            const int ch = i % c.samples;
            double v;
            const uint32_t r = rng() % 8;
            if (r < 2)
                v = p.t[ch] + (static_cast<int>(rng() % 3) - 1);  // at and next to the threshold
            else if (r < 4)
                v = p.l[ch] + (static_cast<int>(rng() % 3) - 1);
            else if (r == 4 && c.isFloat)
                v = specials[rng() % 5];
            else
                v = c.isFloat ? (static_cast<int>(rng() % 400) - 200) / 4.0
                              : (c.size == 1 ? double(rng() % 256) : double(static_cast<int>(rng() % 65536) - 32768));
            if (!c.isFloat)
                v = std::clamp(v, c.size == 1 ? 0.0 : -32768.0, c.size == 1 ? 255.0 : 32767.0);
            writeAs(g.row(y) + i * c.size, c.size, c.isFloat, v);
        }
}

TEST(ImageThresholdKernels, EveryKernelOnEveryPathAgainstTheRules) {
    int round = 0;
    for (int path : vqtest::supportedPaths()) {
        const ThresholdKernelSet* set = thresholdKernelSet(path);
        ASSERT_NE(set, nullptr);
        for (const TCase& c : cases())
            for (int w = 1; w <= 20; ++w)
                for (int a = 0; a < 16; a += c.size) {
                    ++round;
                    const bool inPlace = round % 2 == 0, greater = (round / 2) % 2 == 0;
                    std::mt19937 rng(static_cast<uint32_t>(round));
                    const Params p = randomParams(c, rng);
                    const int rowBytes = w * c.samples * c.size, h = 2;
                    GuardedImage src(rowBytes, h, a, (w + a) % 4 * c.size),
                        dst(rowBytes, h, (a + 4 * c.size) % 16, c.size);
                    fillSamples(src, c, p, rng);
                    fillSamples(dst, c, p, rng);
                    const std::vector<uint8_t> in = src.pixels(), before = dst.pixels();
                    GuardedImage& out = inPlace ? src : dst;
                    c.run(*set, src.origin(), src.step(), out.origin(), out.step(), w, h, p, greater ? 1 : 0);
                    ASSERT_TRUE(src.guardsIntact() && dst.guardsIntact()) << c.name;
                    const std::vector<uint8_t> got = out.pixels();
                    const std::vector<uint8_t>& kept = inPlace ? in : before;
                    for (int i = 0; i < w * h * c.samples; ++i) {
                        const int ch = i % c.samples;
                        uint8_t want[4] = {};
                        if (c.alpha && ch == 3) {
                            std::memcpy(want, kept.data() + i * c.size, c.size);
                        } else {
                            bool orBits = false, keep = false;
                            const double s = readAs(in.data() + i * c.size, c.size, c.isFloat);
                            const double r = rule(c.kind, greater, s, ch, p, &keep, &orBits);
                            if (orBits) {
                                uint8_t x[4], y[4];
                                writeAs(x, c.size, c.isFloat, p.v[ch]);
                                writeAs(y, c.size, c.isFloat, p.b[ch]);
                                for (int b = 0; b < c.size; ++b)
                                    want[b] = x[b] | y[b];
                            } else if (keep) {
                                std::memcpy(want, in.data() + i * c.size, c.size);  // the sample's own bits
                            } else {
                                writeAs(want, c.size, c.isFloat, r);
                            }
                        }
                        ASSERT_EQ(std::memcmp(got.data() + i * c.size, want, c.size), 0)
                            << c.name << " on " << vqtest::pathName(path) << " width " << w << " align " << a
                            << " sample " << i << (greater ? " greater" : " less") << (inPlace ? " in place" : "")
                            << " source " << readAs(in.data() + i * c.size, c.size, c.isFloat) << " got "
                            << readAs(got.data() + i * c.size, c.size, c.isFloat) << " t " << p.t[ch];
                    }
                }
    }
    EXPECT_EQ(thresholdKernelSet(0), nullptr);
}

TEST(ImageThresholdKernels, WorkedValues) {
    for (int path : vqtest::supportedPaths()) {
        const ThresholdKernelSet& k = *thresholdKernelSet(path);
        uint8_t row[4] = {99, 100, 101, 7};
        uint8_t out[4];
        k.thresholdClamp8uC1(row, 4, out, 4, 3, 1, 100, 1);
        EXPECT_EQ(out[0], 99);
        EXPECT_EQ(out[2], 100);
        k.thresholdClamp8uC1(row, 4, out, 4, 3, 1, 100, 0);
        EXPECT_EQ(out[0], 100);
        EXPECT_EQ(out[2], 101);
        const uint8_t two[4] = {49, 50, 200, 201};
        k.thresholdOutsideVal8uC1(two, 4, out, 4, 4, 1, 200, 255, 50, 0);
        EXPECT_EQ(std::vector<int>(out, out + 4), (std::vector<int>{0, 50, 200, 255}));
        const int16_t s16[2] = {-2, 0};
        int16_t o16[2];
        k.thresholdVal16sC1(s16, 4, o16, 4, 2, 1, -1, 77, 0);
        EXPECT_EQ(o16[0], 77);
        EXPECT_EQ(o16[1], 0);
        const float nan = std::numeric_limits<float>::quiet_NaN();
        float f[1] = {nan}, g[1];
        k.thresholdVal32fC1(f, 4, g, 4, 1, 1, 1.0f, 5.0f, 1);
        EXPECT_TRUE(std::isnan(g[0]));
        k.thresholdVal32fC1(f, 4, g, 4, 1, 1, 1.0f, 5.0f, 0);
        EXPECT_EQ(g[0], 5.0f);
        k.thresholdClamp32fC1(f, 4, g, 4, 1, 1, 1.0f, 1);
        EXPECT_EQ(g[0], 1.0f);
    }
}

} // namespace
