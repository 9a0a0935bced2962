// Separable filters: the order of the checks, division modes and ties, the
// taps applied in reverse, independent oracles for the generic path and the
// processor paths over widths 1..70 at 16 alignments with kernels of 1 to 13
// taps, sums at the 32-bit limits, the direct route when work memory is
// missing, and the 64-bit size computations.
#include <gtest/gtest.h>

#include <climits>
#include <cmath>
#include <cstring>

#include "primitives/core/memory.h"
#include "primitives/image/filter/filter.h"
#include "primitives/image/image_harness.h"

namespace {

using vqtest::GuardedImage;
using vqtest::Layout;

// S / d rounded to nearest with ties to even, clamped to 0..255, in exact
// integer arithmetic (for d > 0; a negative d negates both).
int exactRound(int64_t s, int64_t d) {
    if (d < 0) {
        s = -s;
        d = -d;
    }
    int64_t q = s >= 0 ? s / d : -((-s + d - 1) / d);
    const int64_t r = s - q * d;
    if (2 * r > d || (2 * r == d && (q & 1) != 0))
        ++q;
    return q < 0 ? 0 : (q > 255 ? 255 : static_cast<int>(q));
}

// The processor paths' reciprocal mode: single precision throughout.
int floatRound(int32_t s, int32_t d) {
    const float scale = 1.0f / static_cast<float>(d);
    float w = static_cast<float>(s) * scale;
    w = w < -1.0f ? -1.0f : (w > 256.0f ? 256.0f : w);
    const float r = std::nearbyint(w);
    return r < 0 ? 0 : (r > 255 ? 255 : static_cast<int>(r));
}

int32_t wrapSum(const std::vector<int32_t>& k, const std::vector<int>& pixels) {
    uint32_t s = 0;
    for (size_t j = 0; j < k.size(); ++j)
        s += static_cast<uint32_t>(k[j]) * static_cast<uint32_t>(pixels[j]);
    return static_cast<int32_t>(s);
}

// One output pixel of the row filter (kernel over a row that is exactly its
// window) and of the column filter (a column that is its window).
int rowOne(int path, const std::vector<uint8_t>& window, const std::vector<int32_t>& k, int32_t divisor) {
    const int n = static_cast<int>(k.size());
    uint8_t out = 0xEE;
    EXPECT_EQ(filterRow8uC1Table[path](window.data(), 1024, &out, 1, PrimSize{1, 1}, k.data(), n, n - 1,
                                       divisor),
              0);
    return out;
}

TEST(ImageFilter, CheckOrder) {
    uint8_t src[256], dst[64];
    const int32_t k[3] = {1, 7, 1};
    struct Case {
        bool nullSrc, nullDst, nullKernel;
        int32_t srcStep, dstStep, w, h, n, divisor, wantRow, wantColumn;
    };
    const Case cases[] = {
        {false, false, true, 8, 8, 0, 0, 3, 0, -8, -8},    {true, false, false, 8, 8, 4, 4, 3, 9, -8, -8},
        {false, true, false, 8, 8, 4, 4, 3, 9, -8, -8},    {false, false, false, 8, 8, 0, 4, 3, 0, -6, -6},
        {false, false, false, 8, 8, 4, 0, 3, 9, -6, -6},   {false, false, false, 8, 8, 4, 4, 0, 9, -6, -6},
        {false, false, false, 1, 1, 4, 4, 3, 0, -51, -51}, {false, false, false, 5, 4, 4, 4, 3, 9, -14, 0},
        {false, false, false, 6, 4, 4, 4, 3, 9, 0, 0},     {false, false, false, 6, 3, 4, 4, 3, 9, -14, -14},
        {false, false, false, 3, 4, 4, 4, 3, 9, -14, -14}, {false, false, false, -6, 4, 4, 4, 3, 9, -14, -14},
        {false, false, false, 6, -4, 4, 4, 3, 9, -14, -14},
    };
    for (int path : vqtest::allPaths())
        for (const Case& c : cases) {
            std::memset(src, 1, sizeof src);
            std::memset(dst, 0x5A, sizeof dst);
            const uint8_t* s = c.nullSrc ? nullptr : src + 64;
            uint8_t* d = c.nullDst ? nullptr : dst;
            const int32_t* kp = c.nullKernel ? nullptr : k;
            EXPECT_EQ(filterRow8uC1Table[path](s, c.srcStep, d, c.dstStep, PrimSize{c.w, c.h}, kp, c.n, 1, c.divisor),
                      c.wantRow)
                << vqtest::pathName(path);
            EXPECT_EQ(filterColumn8uC1Table[path](s, c.srcStep, d, c.dstStep, c.w, c.h, kp, c.n, 1, c.divisor),
                      c.wantColumn)
                << vqtest::pathName(path);
            if (c.wantRow != 0 && c.wantColumn != 0) {
                for (uint8_t b : dst)
                    ASSERT_EQ(b, 0x5A);
            }
        }
    // The source step test in 64 bits: width + kernelSize - 1 passes 2^31.
    for (int path : vqtest::allPaths())
        EXPECT_EQ(filterRow8uC1Table[path](src, INT32_MAX, dst, INT32_MAX, PrimSize{INT32_MAX, 1}, k, 3, 1, 9), -14);
}

TEST(ImageFilter, DivisionModesAndTies) {
    struct Case {
        int32_t tap, pixel, divisor;
        int want;
    };
    // One tap over one pixel: the sum is tap x pixel.
    const Case cases[] = {
        {3, 1, 2, 2},   {5, 1, 2, 2},    {7, 1, 2, 4},    {6, 1, 4, 2},      {10, 1, 4, 2},  {-5, 1, 2, 0},
        {300, 1, 1, 255}, {-1, 1, 1, 0}, {255, 1, 1, 255}, {7, 1, -1, 0},    {-7, 1, -1, 7}, {0, 1, -1, 0},
        {-3, 1, 9, 0},  {255 * 9, 1, 9, 255}, {13, 1, 9, 1}, {14, 1, 9, 2},   {3, 1, 3, 1},   {1 << 30, 1, 1 << 30, 1},
        {3 << 29, 1, 1 << 30, 2}, {100, 1, INT32_MIN, 0}, {-100, 1, INT32_MIN, 0},
    };
    for (int path : vqtest::allPaths())
        for (const Case& c : cases) {
            const std::vector<uint8_t> window{static_cast<uint8_t>(c.pixel)};
            EXPECT_EQ(rowOne(path, window, {c.tap}, c.divisor), c.want)
                << "sum " << c.tap * c.pixel << " divisor " << c.divisor << " on " << vqtest::pathName(path);
        }
    // A constant row of 255 under 1, 7, 1 over 9 stays 255 on both routes.
    for (int path : vqtest::allPaths()) {
        std::vector<uint8_t> row(40, 255), out(38, 0);
        const int32_t k[3] = {1, 7, 1};
        ASSERT_EQ(filterRow8uC1Table[path](row.data() + 1, 40, out.data(), 38, PrimSize{38, 1}, k, 3, 1, 9), 0);
        for (uint8_t v : out)
            ASSERT_EQ(v, 255);
    }
}

// Divisor 14, sum 91 (6.5) and 175 (12.5): the generic path rounds the
// double-precision product to even, the processor paths the single-precision
// one, whose value lies just above the half.
TEST(ImageFilter, ReciprocalTiesOfEvenDivisors) {
    for (int path : vqtest::allPaths()) {
        const int want91 = path == 0 ? 6 : floatRound(91, 14);
        const int want175 = path == 0 ? 12 : floatRound(175, 14);
        EXPECT_EQ(rowOne(path, {1}, {91}, 14), want91) << vqtest::pathName(path);
        EXPECT_EQ(rowOne(path, {1}, {175}, 14), want175) << vqtest::pathName(path);
    }
    EXPECT_EQ(floatRound(91, 14), 7);
    EXPECT_EQ(floatRound(175, 14), 13);
}

TEST(ImageFilter, TapsReversedAndAnchorMovesTheWindow) {
    // Kernel 1, 2, 3 with anchor 1: 3 src[x-1] + 2 src[x] + src[x+1].
    const uint8_t row[6] = {1, 2, 3, 4, 5, 6};
    const int32_t k[3] = {1, 2, 3};
    for (int path : vqtest::allPaths()) {
        uint8_t out[4];
        ASSERT_EQ(filterRow8uC1Table[path](row + 1, 6, out, 4, PrimSize{4, 1}, k, 3, 1, 1), 0);
        for (int x = 0; x < 4; ++x)
            EXPECT_EQ(out[x], 3 * row[x] + 2 * row[x + 1] + row[x + 2]);
        // Anchor -1: the window is src[x-3] .. src[x-1].
        ASSERT_EQ(filterRow8uC1Table[path](row + 3, 6, out, 3, PrimSize{3, 1}, k, 3, -1, 1), 0);
        for (int x = 0; x < 3; ++x)
            EXPECT_EQ(out[x], 3 * row[x] + 2 * row[x + 1] + row[x + 2]);
    }
    // The column 10, 20, 30 under 1, 7, 1 over 9 gives 20 in the middle row.
    const uint8_t column[3] = {10, 20, 30};
    const int32_t g[3] = {1, 7, 1};
    for (int path : vqtest::allPaths()) {
        uint8_t out = 0;
        ASSERT_EQ(filterColumn8uC1Table[path](column + 1, 1, &out, 1, 1, 1, g, 3, 1, 9), 0);
        EXPECT_EQ(out, 20);
        // Anchor -1 with three taps reads rows y - 3 .. y - 1.
        const uint8_t col4[4] = {10, 20, 30, 99};
        ASSERT_EQ(filterColumn8uC1Table[path](col4 + 3, 1, &out, 1, 1, 1, g, 3, -1, 9), 0);
        EXPECT_EQ(out, 20);
    }
}

struct KernelCase {
    std::vector<int32_t> taps;
    int32_t anchorShift;  // anchor = n - 1 - anchorShift
};

// Generic against the exact oracle, processor paths against the generic
// path (or, for the even non-power-of-two divisor, against the
// single-precision oracle), for both filters.
TEST(ImageFilter, OraclesAndPathsOverWidthsAlignmentsAndKernels) {
    const std::vector<KernelCase> kernels = {
        {{5}, 0},
        {{3, -1}, 1},
        {{1, 7, 1}, 1},
        {{1, 2, 3, 4}, 0},
        {{-3, 12, 40, 12, -3}, 2},
        {{2, 1, 0, -1, 7, 9}, 6},
        {{1, 1, 1, 1, 1, 1, 1}, -1},
        {{1, -2, 3, -4, 5, -6, 7, -8}, 3},
        {{1, 4, 9, 16, 25, 16, 9, 4, 1}, 4},
        {{32767, -32768, 1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11}, 5},
        {{1, 32768, 1}, 1},  // beyond 16 bits: the direct route
    };
    const int32_t divisors[] = {1, 2, 8, 9, 3, 14, -5, 1 << 12};
    int round = 0;
    vqtest::forWidthsAndAlignments(70, [&](int w, int a, int a2, int gap) {
        ++round;
        const KernelCase& kc = kernels[round % kernels.size()];
        const int n = static_cast<int>(kc.taps.size());
        const int32_t anchor = n - 1 - kc.anchorShift;
        const int32_t divisor = divisors[(round / 3) % 8];
        const int h = 1 + round % 4;
        const uint32_t seed = static_cast<uint32_t>(round);
        // Each filter on every path: its output against the oracles, then, for
        // the divisors whose pixels all paths share, every path against the
        // generic one. window(source, y, x, t) is the pixel that tap t meets.
        auto check = [&](const char* name, const std::vector<Layout>& layouts, const vqtest::PathRun& run,
                         const std::function<int(GuardedImage&, int, int, int)>& window) {
            const std::vector<int32_t> rev(kc.taps.rbegin(), kc.taps.rend());
            for (int path : vqtest::allPaths()) {
                vqtest::ImageSet im = vqtest::makeImages(layouts);
                std::mt19937 rng(seed);
                im[0].fillRandom(rng);
                im[1].fillRandom(rng);
                ASSERT_EQ(run(path, im), 0);
                ASSERT_TRUE(im[1].guardsIntact());
                for (int y = 0; y < h; ++y)
                    for (int x = 0; x < w; ++x) {
                        std::vector<int> px;
                        for (int t = 0; t < n; ++t)
                            px.push_back(window(im[0], y, x, t));
                        const int32_t s = wrapSum(rev, px);
                        if (path == 0 && divisor == 14 && s % 14 == 7)
                            continue;  // an exact half: the double product decides
                        const int want = path != 0 && divisor == 14 ? floatRound(s, divisor) : exactRound(s, divisor);
                        ASSERT_EQ(im[1].row(y)[x], want) << name << " on " << vqtest::pathName(path) << " width " << w
                                                         << " height " << h << " taps " << n << " divisor " << divisor;
                    }
                if (path == 0 && divisor != 14) {
                    ASSERT_TRUE(vqtest::expectPathsMatch(layouts, seed, run, name));
                }
            }
        };
        // Row filter: the source's rows are exactly the windows.
        check("filterRow8uC1", {Layout{w + n - 1, h, a, gap, false}, Layout{w, h, a2, (gap + 1) % 5}},
              [&](int path, vqtest::ImageSet& im) {
                  return filterRow8uC1Table[path](im[0].origin() + (n - 1 - anchor), im[0].step(), im[1].origin(),
                                                  im[1].step(), PrimSize{w, h}, kc.taps.data(), n, anchor, divisor);
              },
              [](GuardedImage& g, int y, int x, int t) { return int(g.row(y)[x + t]); });
        // Column filter: the source's rows are the windows of every output row.
        check("filterColumn8uC1", {Layout{w, h + n - 1, a, gap, false}, Layout{w, h, a2, (gap + 2) % 5}},
              [&](int path, vqtest::ImageSet& im) {
                  return filterColumn8uC1Table[path](im[0].row(n - 1 - anchor), im[0].step(), im[1].origin(),
                                                     im[1].step(), w, h, kc.taps.data(), n, anchor, divisor);
              },
              [](GuardedImage& g, int y, int x, int t) { return int(g.row(y + t)[x]); });
    });
}

// 331 taps of +-32767 over pixels of 198 sum to +-(2^31 - 2): every path
// clamps as the generic one does (255), on the routes with work memory.
TEST(ImageFilter, SumsAtTheThirtyTwoBitLimitsClamp) {
    const int n = 331, w = 24;
    for (int32_t sign : {1, -1}) {
        const std::vector<int32_t> k(n, 32767 * sign);
        const std::vector<uint8_t> row(w + n - 1, 198);
        for (int32_t divisor : {1, 1024, 3}) {
            const int32_t d = divisor * sign;
            for (int path : vqtest::allPaths()) {
                std::vector<uint8_t> out(w, 0x11);
                ASSERT_EQ(filterRow8uC1Table[path](row.data(), w + n - 1, out.data(), w, PrimSize{w, 1},
                                                   k.data(), n, n - 1, d),
                          0);
                for (uint8_t v : out)
                    ASSERT_EQ(v, 255) << "row, divisor " << d << " on " << vqtest::pathName(path);
                std::vector<uint8_t> col(static_cast<size_t>(w) * (n + 1), 198);
                out.assign(2 * w, 0x11);
                ASSERT_EQ(filterColumn8uC1Table[path](col.data(), w, out.data(), w,
                                                      w, 2, k.data(), n, n - 1, d),
                          0);
                for (uint8_t v : out)
                    ASSERT_EQ(v, 255) << "column, divisor " << d << " on " << vqtest::pathName(path);
            }
        }
    }
}

int gAllocCalls = 0;
bool gAllocFails = false;
void* countingAlloc(std::size_t n) {
    ++gAllocCalls;
    return gAllocFails ? nullptr : std::malloc(n);
}

struct AllocHook {
    UnderlyingAlloc saved = primUnderlyingAlloc;
    AllocHook() {
        gAllocCalls = 0;
        gAllocFails = false;
        primUnderlyingAlloc = countingAlloc;
    }
    ~AllocHook() { primUnderlyingAlloc = saved; }
};

// Without work memory the processor paths take the direct route: status 0
// and the same pixels as with it.
TEST(ImageFilter, AllocationFailureTakesTheDirectRoute) {
    const int32_t k[5] = {1, 4, 6, 4, 1};
    const int w = 37, h = 5;
    std::mt19937 rng(7);
    std::vector<uint8_t> src(static_cast<size_t>(w + 4) * (h + 4));
    for (auto& b : src)
        b = static_cast<uint8_t>(rng());
    for (int path : vqtest::supportedPaths())
        for (int32_t divisor : {16, 1, 9, 7}) {
            std::vector<uint8_t> rowWith(w * h), rowWithout(w * h), colWith(w * h), colWithout(w * h);
            const int s = w + 4;
            auto runBoth = [&](std::vector<uint8_t>& r, std::vector<uint8_t>& c) {
                ASSERT_EQ(filterRow8uC1Table[path](src.data() + 4, s, r.data(), w, PrimSize{w, h}, k, 5, 4, divisor), 0);
                ASSERT_EQ(filterColumn8uC1Table[path](src.data(), s, c.data(), w, w, h, k, 5, 4, divisor), 0);
            };
            {
                AllocHook hook;
                runBoth(rowWith, colWith);
                EXPECT_EQ(gAllocCalls, 2);  // one block per call: the packed routes ran
            }
            {
                AllocHook hook;
                gAllocFails = true;
                runBoth(rowWithout, colWithout);
                EXPECT_EQ(gAllocCalls, 2);
            }
            EXPECT_EQ(rowWith, rowWithout) << vqtest::pathName(path);
            EXPECT_EQ(colWith, colWithout) << vqtest::pathName(path);
        }
}

// Work sizes in 64 bits; a count past the allocator's 32-bit range is
// refused without asking the allocator.
TEST(ImageFilter, WorkMemoryInSixtyFourBits) {
    EXPECT_EQ(filterRowWorkElements(INT32_MAX, INT32_MAX), 4 * int64_t(INT32_MAX) + (int64_t(INT32_MAX) + 1));
    EXPECT_EQ(filterColumnWorkElements(INT32_MAX, 1 << 28), (2 * int64_t(INT32_MAX) + 8 * (int64_t(1) << 28) + 10) & ~3);
    EXPECT_EQ(filterRowWorkElements(17, 3), 12 + 20);
    EXPECT_EQ(filterColumnWorkElements(17, 3), (34 + 24 + 10) & ~3);
    AllocHook hook;
    EXPECT_EQ(allocFilterWork(int64_t(INT32_MAX) + 1), nullptr);
    EXPECT_EQ(allocFilterWork(filterRowWorkElements(INT32_MAX, 1 << 29)), nullptr);
    EXPECT_EQ(allocFilterWork(0), nullptr);
    EXPECT_EQ(gAllocCalls, 0);
    int32_t* p = allocFilterWork(32);
    EXPECT_NE(p, nullptr);
    EXPECT_EQ(gAllocCalls, 1);
    freeVector(p);
}

} // namespace
