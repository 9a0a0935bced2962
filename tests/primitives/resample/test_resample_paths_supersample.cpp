// Area averaging on every processor path: the row accumulators against sums
// written out here, the general engine's workers and the square-pixel
// kernels against path 0 (bit for bit where the arithmetic is exact, within
// the rounding of single precision elsewhere), the summation orders of each
// path on values whose last bits tell them apart, the worked examples, and
// the sound behaviours: 64-bit sums, saturated results, and an allocation
// failure that leaves the destination alone.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <random>
#include <string>
#include <vector>

#include "paths_fixture.h"
#include "primitives/core/memory.h"
#include "primitives/resample/resize_gen.h"
#include "primitives/resample/resize_sq.h"
#include "primitives/resample/super_sample.h"
#include "support/path_harness.h"

namespace {

using namespace pathtest;
using vqtest::GuardedImage;

const float kTiny = std::ldexp(1.0f, -24); // half a unit in the last place of 1.0

// ---------------------------------------------------------------------------
// Row accumulators.

struct AccShape {
    const char* name;
    int samples, stride; // summed samples per pixel, samples per pixel
};
const AccShape kAccShapes[] = {{"plane", 1, 1}, {"C4", 4, 4}, {"C3", 3, 3}, {"AC4", 3, 4}};

// Calls the accumulator of `kind` and shape from `set` over `width` pixels.
void callAccumulator(const RowAccumulators& a, int kind, const AccShape& s, const void* src, int32_t step, int32_t width,
                     int32_t height, void* sums) {
    int32_t* is = static_cast<int32_t*>(sums);
    float* fs = static_cast<float*>(sums);
    if (s.samples == 1) {
        if (kind == k8u) a.plane8u(static_cast<const uint8_t*>(src), step, width, height, is);
        if (kind == k16u) a.plane16u(static_cast<const uint16_t*>(src), step, width, height, is);
        if (kind == k16s) a.plane16s(static_cast<const int16_t*>(src), step, width, height, is);
        if (kind == k32f) a.plane32f(static_cast<const float*>(src), step, width, height, fs);
    } else if (s.samples == 4) {
        if (kind == k8u) a.c4_8u(static_cast<const uint8_t*>(src), step, width, height, is);
        if (kind == k16u) a.c4_16u(static_cast<const uint16_t*>(src), step, width, height, is);
        if (kind == k16s) a.c4_16s(static_cast<const int16_t*>(src), step, width, height, is);
        if (kind == k32f) a.c4_32f(static_cast<const float*>(src), step, width, height, fs);
    } else {
        if (kind == k8u) a.c3_8u(static_cast<const uint8_t*>(src), step, width, height, is, s.stride);
        if (kind == k16u) a.c3_16u(static_cast<const uint16_t*>(src), step, width, height, is, s.stride);
        if (kind == k16s) a.c3_16s(static_cast<const int16_t*>(src), step, width, height, is, s.stride);
        if (kind == k32f) a.c3_32f(static_cast<const float*>(src), step, width, height, fs, s.stride);
    }
}

// Every summed slot is the column sum (integers wrapped to 32 bits, floats
// added row by row in single precision, except the columns of a float plane
// after its last block of sixteen, summed in double precision); slots that
// are not summed keep their marker, and the old contents never count.
TEST(SuperSamplePaths, RowAccumulatorsSumColumns) {
    std::mt19937 rng(7);
    const int widths[] = {1, 3, 8, 10, 16, 17, 33};
    for (int kind : {k8u, k16u, k16s, k32f})
        for (const AccShape& s : kAccShapes)
            for (int width : widths)
                for (int height : {1, 3, 7}) {
                    GuardedImage src = randomLayout(width * s.stride * elemSize(kind), height, elemSize(kind), rng);
                    fillSamples(src, kind, rng);
                    const int slots = width * s.stride;
                    for (int path : vqtest::allPaths()) {
                        const RowAccumulators& acc = *resizeGenSuperSets[path]->accumulators;
                        std::vector<uint32_t> sums(slots + 8, 0xDEADBEEFu);
                        // The generic forms add to the sums, the others store.
                        for (int e = 0; e < slots; ++e)
                            if (e % s.stride < s.samples)
                                sums[e] = path == 0 ? 0u : 0x5A5A5A5Au;
                        callAccumulator(acc, kind, s, src.origin(), src.step(), width, height, sums.data());
                        const std::string what = describe(path, kind, s.name, width, height);
                        for (int e = 0; e < slots + 8; ++e) {
                            if (e >= slots || e % s.stride >= s.samples) {
                                ASSERT_EQ(sums[e], 0xDEADBEEFu) << what << " slot " << e;
                                continue;
                            }
                            if (kind == k32f) {
                                const bool tail = path != 0 && s.samples == 1 && e >= width - width % 16;
                                float f = 0.0f;
                                double d = 0.0;
                                for (int r = 0; r < height; ++r) {
                                    f += float(sampleAt(src.row(r), kind, e));
                                    d += sampleAt(src.row(r), kind, e);
                                }
                                float got;
                                std::memcpy(&got, &sums[e], 4);
                                ASSERT_EQ(got, tail ? float(d) : f) << what << " slot " << e;
                            } else {
                                uint32_t want = 0;
                                for (int r = 0; r < height; ++r)
                                    want += uint32_t(int32_t(sampleAt(src.row(r), kind, e)));
                                ASSERT_EQ(sums[e], want) << what << " slot " << e;
                            }
                        }
                    }
                }
}

TEST(SuperSamplePaths, RowAccumulatorEdgeCases) {
    for (int path : vqtest::allPaths()) {
        const RowAccumulators& acc = *resizeGenSuperSets[path]->accumulators;
        // Sign and zero extension.
        const int16_t minus[4][3] = {{-1, -1, -1}, {-1, -1, -1}, {-1, -1, -1}, {-1, -1, -1}};
        int32_t is[3] = {0, 0, 0};
        acc.plane16s(&minus[0][0], 6, 3, 4, is);
        EXPECT_EQ(is[0], -4) << path;
        EXPECT_EQ(is[2], -4) << path;
        const uint16_t white[2][2] = {{65535, 65535}, {65535, 65535}};
        int32_t us[2] = {0, 0};
        acc.plane16u(&white[0][0], 4, 2, 2, us);
        EXPECT_EQ(uint32_t(us[1]), 131070u) << path;
        // A float plane of 17 columns: the seventeenth sums in double
        // precision on the SIMD paths.
        std::vector<float> rows(3 * 17, kTiny);
        std::fill(rows.begin(), rows.begin() + 17, 1.0f);
        std::vector<float> fs(17, 0.0f);
        acc.plane32f(rows.data(), 17 * 4, 17, 3, fs.data());
        EXPECT_EQ(fs[0], 1.0f) << path;
        EXPECT_EQ(double(fs[16]), path == 0 ? 1.0 : 1.0000001192092896) << path;
        // Stride 4: the fourth slots stay.
        const uint8_t px[8] = {10, 20, 30, 99, 1, 2, 3, 99};
        int32_t s4[8] = {0, 0, 0, -7, 0, 0, 0, -7};
        acc.c3_8u(px, 8, 2, 1, s4, 4);
        const int32_t want[8] = {10, 20, 30, -7, 1, 2, 3, -7};
        EXPECT_EQ(std::memcmp(s4, want, sizeof want), 0) << path;
        // Width 0 writes nothing.
        int32_t none = 12345;
        acc.plane8u(px, 8, 0, 1, &none);
        EXPECT_EQ(none, 12345) << path;
    }
}

// ---------------------------------------------------------------------------
// General engine.

// One super-sampling call of the general core through the set of `path`.
struct GenCall {
    int kind;
    int stride, channels;
    PrimSize size;
    double xf, yf;
};

std::vector<uint8_t> runGeneral(int path, const GenCall& c, const GuardedImage& src, const GuardedImage& initial,
                                PrimSize dstSize, int32_t* status) {
    GuardedImage dst(initial.rowBytes(), initial.height(), 0, 4, false);
    dst.copyAllFrom(initial);
    *status = resizeGenSuperCore(*resizeGenSuperSets[path], src.origin(), c.size, src.step(),
                                 {0, 0, c.size.width, c.size.height}, dst.origin(), dst.step(), dstSize, c.xf, c.yf,
                                 c.stride, c.channels, c.kind, 0);
    EXPECT_TRUE(dst.guardsIntact());
    return dst.pixels();
}

// Whole ratios: the integer kinds equal path 0 on every path; floats within
// the rounding of their single-precision sums. Fractional ratios: 8u and 16u
// within one level of path 0, floats within their rounding.
TEST(SuperSamplePaths, GeneralWorkersAgreeWithPath0) {
    std::mt19937 rng(11);
    const struct {
        double xf, yf;
        bool whole;
    } ratios[] = {{0.5, 0.5, true},     {1 / 3.0, 0.25, true},  {1 / 16.0, 1.0, true}, {1 / 24.0, 1 / 5.0, true},
                  {0.4, 0.4, false},    {0.3, 0.7, false},      {1.0, 0.4, false},     {0.4, 1.0, false},
                  {0.77, 1 / 3.0, false}, {1 / 2.5, 1 / 6.0, false}, {0.09, 0.13, false}};
    const struct {
        const char* name;
        int stride, channels;
    } layouts[] = {{"C1", 1, 1}, {"C3", 3, 3}, {"AC4", 4, 3}, {"C4", 4, 4}};
    for (int kind : {k8u, k16u, k32f})
        for (const auto& L : layouts)
            for (const auto& r : ratios)
                for (int trial = 0; trial < 3; ++trial) {
                    const PrimSize size{30 + int(rng() % 60), 12 + int(rng() % 40)};
                    const GenCall c{kind, L.stride, L.channels, size, r.xf, r.yf};
                    GuardedImage src = randomLayout(size.width * L.stride * elemSize(kind), size.height,
                                                    elemSize(kind), rng);
                    fillSamples(src, kind, rng, 100.0f);
                    const PrimSize dstSize{int(size.width * r.xf) + 2, int(size.height * r.yf) + 2};
                    GuardedImage initial(dstSize.width * L.stride * elemSize(kind), dstSize.height, 0, 4, false);
                    initial.fillRandom(rng);
                    int32_t s0 = 0;
                    const std::vector<uint8_t> want = runGeneral(0, c, src, initial, dstSize, &s0);
                    ASSERT_EQ(s0, 0);
                    for (int path : vqtest::supportedPaths()) {
                        int32_t sp = 0;
                        const std::vector<uint8_t> got = runGeneral(path, c, src, initial, dstSize, &sp);
                        ASSERT_EQ(sp, 0);
                        const std::string what = describe(path, kind, L.name, size.width, size.height) +
                                                 " factors " + std::to_string(r.xf) + "," + std::to_string(r.yf);
                        if (kind != k32f && r.whole)
                            ASSERT_EQ(got, want) << what;
                        else
                            // Float sums of up to 25 x 8 samples of magnitude
                            // 100, each rounded to single precision.
                            ASSERT_TRUE(samplesClose(kind, got, want, 1.0, 100 * 64 * ulpOf(1.0))) << what;
                    }
                }
}

// The worked examples, on every path: whole 2 x 2, fractional columns,
// fractional rows, and the 2.5 and 0.4 x 0.4 reductions.
TEST(SuperSamplePaths, GeneralWorkedExamples) {
    for (int path : vqtest::allPaths()) {
        const SuperSampleSet& set = *resizeGenSuperSets[path];
        auto run8u = [&](const std::vector<uint8_t>& src, PrimSize size, PrimSize out, double xf, double yf) {
            std::vector<uint8_t> dst(size_t(out.width) * out.height, 0xEE);
            EXPECT_EQ(resizeGenSuperCore(set, src.data(), size, size.width, {0, 0, size.width, size.height},
                                         dst.data(), out.width, out, xf, yf, 1, 1, 0, 0),
                      0);
            return dst;
        };
        EXPECT_EQ(run8u({10, 20, 30, 41, 50, 60, 70, 80}, {4, 2}, {2, 1}, 0.5, 0.5), (std::vector<uint8_t>{35, 55}))
            << path;
        EXPECT_EQ(run8u({10, 20, 30, 40}, {4, 1}, {2, 1}, 1 / 1.5, 1.0), (std::vector<uint8_t>{13, 27})) << path;
        EXPECT_EQ(run8u({0, 10, 20, 30, 40, 50}, {1, 6}, {1, 2}, 1.0, 0.4), (std::vector<uint8_t>{8, 32})) << path;
        EXPECT_EQ(run8u({10, 20, 30, 40, 50, 60, 70, 80, 90, 100}, {10, 1}, {4, 1}, 0.4, 1.0),
                  (std::vector<uint8_t>{18, 42, 68, 92}))
            << path;
        std::vector<uint8_t> grid(25);
        for (int i = 0; i < 5; ++i)
            for (int j = 0; j < 5; ++j)
                grid[size_t(5 * i + j)] = uint8_t(10 * i + j);
        EXPECT_EQ(run8u(grid, {5, 5}, {2, 2}, 0.4, 0.4), (std::vector<uint8_t>{9, 11, 33, 35})) << path;
    }
}

// The orders of addition of float sums, on values whose last bits tell them
// apart: 1.0 followed by columns of 2^-24 (half a unit of 1.0 each).
TEST(SuperSamplePaths, FloatSummationOrders) {
    for (int path : vqtest::allPaths()) {
        const SuperSampleSet& set = *resizeGenSuperSets[path];
        // One-sample run of 16 columns (xFactor 1/16): path 0 sums in double
        // (1 + 15 x 2^-24 rounds to 1 + 2^-20); path 1 in four lanes
        // combined (0 + 2) + (1 + 3): 1 + 3 x 2^-22; paths 2-5 in two
        // four-lane accumulators: 1 + 7 x 2^-23.
        std::vector<float> row(16, kTiny);
        row[0] = 1.0f;
        float out = 0.0f;
        ASSERT_EQ(resizeGenSuperCore(set, row.data(), {16, 1}, 64, {0, 0, 16, 1}, &out, 4, {1, 1}, 1 / 16.0, 1.0, 1, 1,
                                     2, 0),
                  0);
        const double sum = path == 0 ? 1 + std::ldexp(1.0, -20)
                           : path == 1 ? 1 + 3 * std::ldexp(1.0, -22)
                                       : 1 + 7 * std::ldexp(1.0, -23);
        EXPECT_EQ(out, float(sum / 16)) << vqtest::pathName(path);

        // Four-sample pixels, four columns (xFactor 1/4) of 1.0, 2^-24,
        // 2^-24, 2^-24 in every sample: path 0 rounds 1 + 3 x 2^-24 once to
        // 1 + 2^-22; path 1 adds left to right (1.0); paths 2-5 add odd and
        // even columns apart: 1 + 2^-23.
        std::vector<float> px(16, kTiny);
        for (int c = 0; c < 4; ++c)
            px[size_t(c)] = 1.0f;
        float out4[4] = {};
        ASSERT_EQ(resizeGenSuperCore(set, px.data(), {4, 1}, 64, {0, 0, 4, 1}, out4, 16, {1, 1}, 0.25, 1.0, 4, 4, 2, 0),
                  0);
        const double sum4 = path == 0 ? 1 + std::ldexp(1.0, -22) : path == 1 ? 1.0 : 1 + std::ldexp(1.0, -23);
        for (float v : out4)
            EXPECT_EQ(v, float(sum4 / 4)) << vqtest::pathName(path);

        // Whole rows (yFactor 1/4) of 1.0, 2^-24, 2^-24, 0 in 20 columns: the
        // SIMD accumulators keep the four columns after the block of sixteen
        // in double precision (1 + 2^-23), the rest round every row (1.0).
        std::vector<float> rows(80, kTiny);
        std::fill(rows.begin(), rows.begin() + 20, 1.0f);
        std::fill(rows.begin() + 60, rows.end(), 0.0f);
        std::vector<float> out20(20, -1.0f);
        ASSERT_EQ(resizeGenSuperCore(set, rows.data(), {20, 4}, 80, {0, 0, 20, 4}, out20.data(), 80, {20, 1}, 1.0,
                                     0.25, 1, 1, 2, 0),
                  0);
        for (int x = 0; x < 20; ++x)
            EXPECT_EQ(double(out20[size_t(x)]), path != 0 && x >= 16 ? 0.2500000298023224 : 0.25)
                << vqtest::pathName(path) << " column " << x;
    }
}

// Sums of whole ratios are exact however tall the block: 131072 rows of
// 16-bit white (past the reach of 32-bit sums) stay white on every path.
TEST(SuperSamplePaths, TallWholeBlocksDoNotWrap) {
    const int rows = 131072;
    std::vector<uint16_t> column(size_t(rows) * 2, 65535);
    for (int path : vqtest::allPaths()) {
        uint16_t out[2] = {1, 1};
        ASSERT_EQ(resizeGenSuperCore(*resizeGenSuperSets[path], column.data(), {2, rows}, 4, {0, 0, 2, rows}, out, 4,
                                     {2, 1}, 1.0, 1.0 / rows, 1, 1, 1, 0),
                  0);
        EXPECT_EQ(out[0], 65535) << path;
        EXPECT_EQ(out[1], 65535) << path;
    }
}

// A scaled sum past the top of the range saturates: with an area factor a
// little above the footprint's inverse, white stays white instead of
// wrapping to a dark low byte.
TEST(SuperSamplePaths, ResultsSaturate) {
    const uint8_t white[4] = {255, 255, 255, 255};
    for (int path : vqtest::allPaths()) {
        for (int mode : {0, 1, 2, 3}) {
            const SuperSampleGeometry g{2, 2, 1, 1, 2.0, 2.0, 0.26, mode};
            uint8_t out = 0;
            ASSERT_EQ(resizeGenSuperSets[path]->workers[0][0](white, &out, 2, 1, g, 1), 0);
            EXPECT_EQ(out, 255) << path << " mode " << mode;
        }
        uint8_t sq = 0;
        std::vector<int64_t> work(8);
        resizeSqKernelSets[path]->superSampleWhole[resizeKind8u][0](white, &sq, 2, 1, 2, 1, 1, 0, 0, 0, 0, 2.0, 2.0,
                                                                   0.26, 1, work.data());
        EXPECT_EQ(sq, 255) << path;
    }
}

// A ratio mode outside 0-3 or a destination of no rows: status 0 and the
// destination as it was, on every path and for every worker.
TEST(SuperSamplePaths, WorkersWithNothingToDo) {
    const float src[16] = {1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 13, 14, 15, 16};
    for (int path : vqtest::allPaths())
        for (int kind = 0; kind < 3; ++kind)
            for (int shape = 0; shape < 3; ++shape)
                for (const SuperSampleGeometry& g : {SuperSampleGeometry{2, 2, 1, 1, 2.0, 2.0, 0.25, 5},
                                                     SuperSampleGeometry{2, 2, 1, 1, 2.0, 2.0, 0.25, -1},
                                                     SuperSampleGeometry{2, 2, 1, 0, 2.0, 2.0, 0.25, 0},
                                                     SuperSampleGeometry{2, 2, 1, 0, 2.5, 2.5, 0.16, 3}}) {
                    uint8_t dst[16];
                    std::memset(dst, 0x3C, sizeof dst);
                    EXPECT_EQ(resizeGenSuperSets[path]->workers[kind][shape](src, dst, 32, 16, g, 4), 0);
                    for (uint8_t v : dst)
                        ASSERT_EQ(v, 0x3C) << path << " kind " << kind << " shape " << shape << " mode "
                                           << g.ratioMode;
                }
}

// ---------------------------------------------------------------------------
// Square-pixel engine.

// Every layout and kind of the body with interpolation 8: integer kinds and
// float pixels equal path 0; float planes too, except whole ratios (the
// path accumulators and box sums), which agree within their rounding.
TEST(SuperSamplePaths, SquarePixelKernelsAgreeWithPath0) {
    std::mt19937 rng(23);
    const Mapping mappings[] = {{0.5, 0.5, 0, 0},       {0.25, 0.5, 0, 0},     {1 / 3.0, 0.25, 0, 0},
                                {0.125, 0.0625, 0, 0},  {0.5, 0.5, 0.5, 0.5},  {0.4, 0.4, 0, 0},
                                {0.3, 0.7, 0.2, -0.4},  {0.5, 1 / 3.0, 0, -0.5}, {0.2, 0.2, 0.3, 0.3}};
    for (int kind : {k8u, k16u, k16s, k32f})
        for (const BodyLayout& lay : kBodyLayouts)
            for (const Mapping& m : mappings)
                for (int trial = 0; trial < 4; ++trial) {
                    BodyCase bc(kind, lay, m, 8, rng);
                    if (!bc.fills())
                        continue;
                    bool intact = false;
                    const auto want = bc.run(0, &intact);
                    ASSERT_TRUE(intact) << bc.what;
                    for (int path : vqtest::supportedPaths()) {
                        const auto got = bc.run(path, &intact);
                        ASSERT_TRUE(intact) << vqtest::pathName(path) << " " << bc.what;
                        const bool floatPlane = kind == k32f && (lay.channels == 1 || lay.planar);
                        for (size_t p = 0; p < got.size(); ++p) {
                            if (floatPlane)
                                ASSERT_TRUE(samplesClose(kind, got[p], want[p], 0, 64 * ulpOf(bc.magnitude)))
                                    << vqtest::pathName(path) << " " << bc.what;
                            else
                                ASSERT_EQ(got[p], want[p]) << vqtest::pathName(path) << " " << bc.what;
                        }
                    }
                }
}

// Box sums of 4 x 4 blocks: the column sums 1, 2^-24, 0, 2^-24 of a block
// (first row; the others zero) combine as (0 + 2) + (1 + 3) = 1 + 2^-23 on
// paths 0 and 1, and as (0 + 1) + (2 + 3) = 1.0 on paths 2-5; a last block
// of four columns (odd width) combines as (0 + 2) + (1 + 3) everywhere.
TEST(SuperSamplePaths, BoxSumOrders) {
    for (int width : {2, 3})
        for (int path : vqtest::allPaths()) {
            const int cols = 4 * width;
            std::vector<float> src(size_t(cols) * 4, 0.0f);
            for (int b = 0; b < width; ++b) {
                src[size_t(4 * b)] = 1.0f;
                src[size_t(4 * b + 1)] = kTiny;
                src[size_t(4 * b + 3)] = kTiny;
            }
            std::vector<float> out(size_t(width), -1.0f);
            std::vector<int64_t> work(static_cast<size_t>(cols));
            resizeSqKernelSets[path]->superSampleWhole[resizeKind32f][0](src.data(), out.data(), cols * 4, width * 4,
                                                                        cols, width, 1, 0, 0, 0, 0, 4.0, 4.0,
                                                                        1 / 16.0, 1, work.data());
            for (int k = 0; k < width; ++k) {
                const bool lastGroup = (width & 1) != 0 && k == width - 1;
                const double sum = path >= 2 && !lastGroup ? 1.0 : 1 + std::ldexp(1.0, -23);
                EXPECT_EQ(out[size_t(k)], float(sum / 16)) << vqtest::pathName(path) << " width " << width << " pixel "
                                                            << k;
            }
        }
}

// The square-pixel worked examples: an edge at x0 = -0.5 with ratio 2
// (one pad column, first weight 0.5), and 16-bit blocks whose sums pass
// 32 bits.
TEST(SuperSamplePaths, SquarePixelWorkedExamples) {
    for (int path : vqtest::allPaths()) {
        const ResizeSqKernels& ks = *resizeSqKernelSets[path];
        // Rows 10 20 30 40 twice; padded column sums 20 20 40 60 80:
        // (0.5 x 20 + 20 + 0.5 x 40) / 4 = 12.5 -> 13, (20 + 60 + 40) / 4 = 30.
        const uint8_t src[8] = {10, 20, 30, 40, 10, 20, 30, 40};
        uint8_t out[2] = {};
        std::vector<float> work(16);
        ks.superSample[resizeKind8u][0](src, out, 4, 2, 4, 2, 1, 0, 0, 1, 0, 0.5, 0.0, 2.0, 2.0, 0.25, 1, work.data());
        EXPECT_EQ(out[0], 13) << path;
        EXPECT_EQ(out[1], 30) << path;

        const int side = 300;
        std::vector<uint16_t> white(size_t(side) * side, 65535);
        uint16_t w = 0;
        std::vector<int64_t> wide(side);
        ks.superSampleWhole[resizeKind16u][0](white.data(), &w, side * 2, 2, side, 1, 1, 0, 0, 0, 0, side, side,
                                             1.0 / (side * side), 1, wide.data());
        EXPECT_EQ(w, 65535) << path;
    }
}

TEST(SuperSamplePaths, PadRowReplicate) {
    uint32_t c1[6] = {1, 2, 3, 0, 0, 0};
    padRowReplicate32C1(c1, 3, 2, 1);
    const uint32_t want1[6] = {1, 1, 1, 2, 3, 3};
    EXPECT_EQ(std::memcmp(c1, want1, sizeof c1), 0);
    uint32_t one[4] = {9, 0, 0, 0};
    padRowReplicate32C1(one, 1, 3, 0);
    const uint32_t want4[4] = {9, 9, 9, 9};
    EXPECT_EQ(std::memcmp(one, want4, sizeof one), 0);
    // Three samples of pixels four apart: the fourth samples stay.
    uint32_t c3[16] = {1, 2, 3, 70, 4, 5, 6, 71, 0, 0, 0, 72, 0, 0, 0, 73};
    padRowReplicate32C3(c3, 2, 1, 1, 4);
    const uint32_t want3[16] = {1, 2, 3, 70, 1, 2, 3, 71, 4, 5, 6, 72, 4, 5, 6, 73};
    EXPECT_EQ(std::memcmp(c3, want3, sizeof c3), 0);
    uint32_t c4[12] = {1, 2, 3, 4, 0, 0, 0, 0, 0, 0, 0, 0};
    padRowReplicate32C4(c4, 1, 1, 1);
    const uint32_t wantC4[12] = {1, 2, 3, 4, 1, 2, 3, 4, 1, 2, 3, 4};
    EXPECT_EQ(std::memcmp(c4, wantC4, sizeof c4), 0);
}

// ---------------------------------------------------------------------------
// Allocation failure.

bool gFail = false;
void* failingAlloc(std::size_t n) { return gFail ? nullptr : std::malloc(n); }

TEST(SuperSamplePaths, AllocationFailureLeavesDestination) {
    std::mt19937 rng(5);
    std::vector<uint8_t> src(30 * 20 * 3);
    for (uint8_t& v : src)
        v = uint8_t(rng());
    const UnderlyingAlloc saved = primUnderlyingAlloc;
    for (int path : vqtest::allPaths())
        for (double f : {0.5, 0.4}) {
            std::vector<uint8_t> dst(15 * 10 * 3, 5);
            gFail = true;
            primUnderlyingAlloc = failingAlloc;
            const int32_t general = resizeByFactors8uC3Table[path](src.data(), {30, 20}, 90, {0, 0, 30, 20},
                                                                    dst.data(), 45, {15, 10}, f, f, 8);
            std::vector<uint8_t> buffer(4096);
            const int32_t square = resizeSquarePixel8uC3Table[path](src.data(), {30, 20}, 90, {0, 0, 30, 20},
                                                                     dst.data(), 45, {0, 0, 15, 10}, f, f, 0, 0, 8,
                                                                     buffer.data());
            primUnderlyingAlloc = saved;
            gFail = false;
            EXPECT_EQ(general, -9) << path;
            EXPECT_EQ(square, -9) << path;
            for (uint8_t v : dst)
                ASSERT_EQ(v, 5) << path;
        }
}

} // namespace
