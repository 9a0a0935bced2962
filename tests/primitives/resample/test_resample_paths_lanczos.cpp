// Lanczos-3 families of the resize engines on every processor path: tap
// weights, column conversions, the square-pixel passes and border passes,
// and the general engine's passes with their edge clamping. Paths 1-5 round
// every operation to single precision in one stated order; they are held to
// that arithmetic written out here, to each other bit for bit, to the exact
// real-valued result within a level and to path 0 (double precision) within
// a level.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstring>
#include <random>
#include <string>
#include <vector>

#include "paths_fixture.h"
#include "primitives/core/prim_types.h"
#include "primitives/resample/resize_gen.h"
#include "primitives/resample/resize_rows.h"
#include "primitives/resample/resize_sq.h"
#include "support/path_harness.h"
#include "tests/primitives/resample/resample_oracle.h"

namespace {

using namespace pathtest;
using vqtest::GuardedImage;

// Positions of a square-pixel mapping, destination d to (d + 0.5) inv - 0.5
// + offset, with their floors and fractions.
struct Axis {
    std::vector<double> pos;
    std::vector<int32_t> index;
    std::vector<float> frac;
};

Axis mapAxis(int count, double inv, double offset) {
    Axis a;
    for (int d = 0; d < count; ++d) {
        const double x = (d + 0.5) * inv - 0.5 + offset;
        a.pos.push_back(x);
        a.index.push_back(int32_t(std::floor(x)));
        a.frac.push_back(float(x - std::floor(x)));
    }
    return a;
}

// Exact rounding of a real sum to the kind: halves away from zero,
// saturated.
double roundExact(int kind, double v) {
    const double lo = kind == k16s ? -32768 : 0, hi = kind == k8u ? 255 : kind == k16u ? 65535 : 32767;
    const double r = v < 0 ? -std::floor(-v + 0.5) : std::floor(v + 0.5);
    return r < lo ? lo : r > hi ? hi : r;
}

// The single-precision weights written out one operation at a time: taps
// b + k with b = -f - 2, distance capped at 3 and scaled by 100, linear
// interpolation in the shared table, the sum taken in the order of taps
// -2, -1, +1, 0, +2, +3, every weight divided by it.
void singlePrecisionWeights(float f, float out[6]) {
    const float* t = lanczos3KernelTable;
    const float b = -f - 2.0f;
    float raw[6];
    for (int k = 0; k < 6; ++k) {
        const float p = std::min(std::fabs(b + float(k)), 3.0f) * 100.0f;
        const int i = int(p);
        raw[k] = (p - float(i)) * (t[i + 1] - t[i]) + t[i];
    }
    const float s = (((((0.0f + raw[0]) + raw[1]) + raw[3]) + raw[2]) + raw[4]) + raw[5];
    for (int k = 0; k < 6; ++k)
        out[k] = raw[k] / s;
}

} // namespace

// Fractions 0, 0.25, 0.5 and 0.75 give path 0's weights bit for bit, and
// the worked values (0 reproduces tap 0 with signed zeros around it; 0.75 is
// 0.25 reversed). At 0.1 the single- and double-precision generators part in
// the last bits, each to its worked value. Other fractions, negative and
// past 1 included: identical across paths 1-5 and to the arithmetic
// written out, normalised, and within the table's error of the kernel.
TEST(ResamplePathsLanczos, WeightsFollowTheKernel) {
    const float simple[4] = {0.0f, 0.25f, 0.5f, 0.75f};
    float base[24];
    lanczos3WeightsTable[0](simple, 4, base);
    const float quarter[6] = {0.030112285f, -0.13327464f, 0.89277083f, 0.27101055f, -0.067997284f, 0.0073782653f};
    const float half[6] = {0.024456527f, -0.13586956f, 0.61141306f, 0.61141306f, -0.13586956f, 0.024456527f};

    std::mt19937 rng(411);
    std::vector<float> fractions = {0.1f, 0.999f, -1e-7f, -0.4f, 1.0f, 1.6f, 0.5f - 1e-7f};
    for (int n = 0; n < 200; ++n)
        fractions.push_back(std::uniform_real_distribution<float>(-0.5f, 1.5f)(rng));
    const int count = int(fractions.size());
    std::vector<float> first;
    const rstest::Kernel kernel = rstest::lanczosKernel();
    for (int path : vqtest::supportedPaths()) {
        const std::string what = vqtest::pathName(path);
        float got[24];
        lanczos3WeightsTable[path](simple, 4, got);
        for (int n = 0; n < 24; ++n)
            EXPECT_EQ(std::memcmp(&got[n], &base[n], sizeof(float)), 0)
                << what << " fraction " << simple[n / 6] << " tap " << n % 6 << ": " << got[n] << " against "
                << base[n];
        for (int k = 0; k < 6; ++k) {
            EXPECT_EQ(got[k], k == 2 ? 1.0f : 0.0f) << what;
            EXPECT_EQ(got[6 + k], quarter[k]) << what << " tap " << k;
            EXPECT_EQ(got[12 + k], half[k]) << what << " tap " << k;
            EXPECT_EQ(got[18 + k], quarter[5 - k]) << what << " tap " << k;
        }
        EXPECT_TRUE(std::signbit(got[1]) && std::signbit(got[3]) && !std::signbit(got[4])) << what;

        // One guard record after the last: nothing is written past count.
        std::vector<float> w(6 * (count + 1), 7.0f);
        lanczos3WeightsTable[path](fractions.data(), count, w.data());
        for (int k = 0; k < 6; ++k)
            ASSERT_EQ(w[6 * count + k], 7.0f) << what;
        w.resize(6 * count);
        if (first.empty())
            first = w;
        ASSERT_EQ(0, std::memcmp(w.data(), first.data(), 4 * first.size())) << what;
        std::vector<float> generic(6 * count);
        lanczos3WeightsTable[0](fractions.data(), count, generic.data());
        EXPECT_EQ(w[0], 0.017242447f) << what;
        EXPECT_EQ(generic[0], 0.017242471f);
        for (int i = 0; i < count; ++i) {
            float spelled[6];
            singlePrecisionWeights(fractions[i], spelled);
            ASSERT_EQ(0, std::memcmp(&w[6 * i], spelled, sizeof(spelled))) << what << " fraction " << fractions[i];
            double exact[6], sum = 0;
            kernel.weights(double(fractions[i]), exact);
            for (int k = 0; k < 6; ++k) {
                sum += w[6 * i + k];
                // Taps 3 or more away have no weight, whatever the fraction.
                if (std::fabs(double(k - 2) - double(fractions[i])) >= 3.0) {
                    ASSERT_EQ(w[6 * i + k], 0.0f) << what << " fraction " << fractions[i];
                }
                ASSERT_NEAR(w[6 * i + k], exact[k], 1e-4) << what << " fraction " << fractions[i] << " tap " << k;
                ASSERT_NEAR(w[6 * i + k], generic[6 * i + k], 1e-6) << what << " fraction " << fractions[i];
            }
            ASSERT_NEAR(sum, 1.0, 1e-6) << what << " fraction " << fractions[i];
        }
        // Just below 1 nearly all weight is on tap +1, and tap +3 (2.001
        // away) keeps some.
        EXPECT_GT(w[6 * 1 + 3], 0.99f);
        EXPECT_NE(w[6 * 1 + 5], 0.0f);
    }
}

// The column conversion of every kind through a one-pixel square-pixel
// pass whose weights pick tap 0 of a sample 2 and scale it: sums of 254.5
// and 100.5 round up, overshoot and undershoot saturate, floats are stored
// as summed. Signed sums at or below -0.5 differ by design: paths 4 and 5
// truncate sum + 0.50000012 for every sign, paths 0-3 round halves away from
// zero.
TEST(ResamplePathsLanczos, ColumnConversionWorkedValues) {
    struct Case {
        int kind;
        float scale; // the destination's sum is 2 x scale
        double generic, low, high; // paths 0, 1-3, 4-5
    } const cases[] = {
        {k8u, 127.25f, 255, 255, 255},       {k8u, 50.25f, 101, 101, 101},         {k8u, 127.85f, 255, 255, 255},
        {k8u, -1.6f, 0, 0, 0},               {k8u, 0.2499999f, 0, 0, 0},           {k16u, 32767.7f, 65535, 65535, 65535},
        {k16u, 35000.0f, 65535, 65535, 65535}, {k16u, -1.5f, 0, 0, 0},            {k16s, -0.15f, 0, 0, 0},
        {k16s, -0.6f, -1, -1, 0},            {k16s, -0.85f, -2, -2, -1},           {k16s, -1.25f, -3, -3, -1},
        {k16s, 1.25f, 3, 3, 3},              {k16s, -20000.0f, -32768, -32768, -32768},
        {k16s, 20000.0f, 32767, 32767, 32767}, {k32f, -0.3f, -0.6, -0.6, -0.6},
    };
    alignas(16) float rowTaps[6] = {0, 0, 0, 0, 0, 0}, colTaps[6] = {0, 0, 1, 0, 0, 0};
    const int32_t rowOffsets[1] = {2 * 6}, colOffsets[1] = {2};
    for (const Case& c : cases)
        for (int path : vqtest::allPaths()) {
            const int e = elemSize(c.kind);
            std::vector<uint8_t> src(36 * size_t(e), 0);
            storeSample(src.data(), c.kind, 2 * 6 + 2, 2.0);
            rowTaps[2] = c.scale;
            alignas(16) float work[6][4];
            alignas(16) uint8_t dst[8] = {};
            float* w[6];
            for (int k = 0; k < 6; ++k)
                w[k] = work[k];
            resizeRowRoutineTables[path]->sqLanczos[4 + c.kind](src.data(), dst, 6, 1, 1, 1, rowOffsets, colOffsets,
                                                                  rowTaps, colTaps, w[0], w[1], w[2], w[3], w[4], w[5],
                                                                  0, 0);
            const double want = path == 0 ? c.generic : path <= 3 ? c.low : c.high;
            const double got = sampleAt(dst, c.kind, 0);
            if (c.kind == k32f)
                EXPECT_EQ(float(got), 2.0f * c.scale) << vqtest::pathName(path);
            else
                EXPECT_EQ(got, want) << vqtest::pathName(path) << " " << kindName(c.kind) << " sum " << 2 * c.scale;
        }
}

// The square-pixel interior pass against its arithmetic written out: float
// samples (the column stores its sum), random weights, the column weights
// starting on a 16-byte boundary or 8 bytes past one. A one-sample position
// sums ((q0 + q4) + q2) + ((q1 + q5) + q3) when its weights start on a
// boundary and for the last position of an odd count, else
// ((q0 + q2) + q4) + ((q1 + q3) + q5); pixels sum ((q0 + q1) + (q2 + q3)) +
// (q4 + q5); the column ((((q0 + q1) + q2) + q3) + q4) + q5.
TEST(ResamplePathsLanczos, SquarePixelPassFollowsTheArithmetic) {
    std::mt19937 rng(412);
    std::uniform_real_distribution<float> value(-100.0f, 100.0f), weight(-0.3f, 1.0f);
    for (int path : vqtest::supportedPaths())
        for (const Shape& shape : kShapes)
            for (int shift : {0, 2})
                for (int width : {1, 2, 5, 8}) {
                    const int height = 4, srcCols = 2 * width + 8, srcRows = 14;
                    RoutineCase rc(k32f, shape, width, height, srcCols, srcRows, rng);
                    std::vector<int32_t> rowOffsets, colOffsets;
                    int row = 2 + int(rng() % 3);
                    for (int i = 0; i < height; ++i, row += int(rng() % 3))
                        rowOffsets.push_back(row * rc.srcStepE);
                    for (int j = 0; j < width; ++j)
                        colOffsets.push_back((2 + 2 * j + int(rng() % 2)) * rc.next);
                    Scratch weights(4 * 6 * size_t(width + height) + 16);
                    float* colTaps = reinterpret_cast<float*>(weights.data()) + shift;
                    float* rowTaps = colTaps + 6 * width;
                    for (int n = 0; n < 6 * (width + height); ++n)
                        colTaps[n] = weight(rng);
                    const int values = shape.channels;
                    for (int i = 0; i < height; ++i)
                        for (int j = 0; j < width; ++j)
                            for (int c = 0; c < values; ++c) {
                                const float* wx = colTaps + 6 * j;
                                float r[6];
                                for (int t = 0; t < 6; ++t) {
                                    const uint8_t* srow = rc.src.row(rowOffsets[i] / rc.srcStepE + t - 2);
                                    float q[6];
                                    for (int k = 0; k < 6; ++k)
                                        q[k] = float(sampleAt(srow, k32f, colOffsets[j] + (k - 2) * rc.next + c)) *
                                               wx[k];
                                    const bool aligned = (reinterpret_cast<uintptr_t>(wx) & 15) == 0;
                                    const bool lastOdd = (width & 1) != 0 && j == width - 1;
                                    if (!shape.plane)
                                        r[t] = ((q[0] + q[1]) + (q[2] + q[3])) + (q[4] + q[5]);
                                    else if (aligned || lastOdd)
                                        r[t] = ((q[0] + q[4]) + q[2]) + ((q[1] + q[5]) + q[3]);
                                    else
                                        r[t] = ((q[0] + q[2]) + q[4]) + ((q[1] + q[3]) + q[5]);
                                }
                                const float* wy = rowTaps + 6 * i;
                                float s = r[0] * wy[0];
                                for (int t = 1; t < 6; ++t)
                                    s = s + r[t] * wy[t];
                                storeSample(rc.want.row(i), k32f, int64_t(j) * shape.stride + c, s);
                            }
                    const size_t workBytes = 4 * size_t(width) * shape.channels;
                    Scratch w0(workBytes), w1(workBytes), w2(workBytes), w3(workBytes), w4(workBytes), w5(workBytes);
                    auto f = [](Scratch& s) { return reinterpret_cast<float*>(s.data()); };
                    resizeRowRoutineTables[path]->sqLanczos[k32f + (shape.plane ? 4 : 0)](
                        rc.src.origin(), rc.dst.origin(), rc.srcStepE, rc.dst.step() / 4, width, height,
                        rowOffsets.data(), colOffsets.data(), rowTaps, colTaps, f(w0), f(w1), f(w2), f(w3), f(w4),
                        f(w5), shape.stride, shape.channels);
                    const std::string what =
                        describe(path, k32f, shape.name, width, height) + " weights +" + std::to_string(4 * shift);
                    ASSERT_TRUE(w0.guardsIntact() && w1.guardsIntact() && w2.guardsIntact() && w3.guardsIntact() &&
                                w4.guardsIntact() && w5.guardsIntact())
                        << what;
                    ASSERT_TRUE(matchesFormulas(path, k32f, rc.dst, rc.want, 0, 0)) << what;
                }
}

namespace {

// Mappings of the square-pixel resize (factors, shifts) for Lanczos:
// halving, enlargement, reduction by more than 2, shifted, identity.
const Mapping kMappings[] = {{0.5, 0.5, 0, 0},        {4, 4, 0, 0},      {2.5, 3.0, 0.3, -0.7},
                             {0.45, 0.41, -0.3, 0.6}, {0.3, 0.23, 0.1, 0}, {1, 1, 0.5, 0.25}};

} // namespace

// Resampling option 3 through the public entries: halving whole 8u and 16u
// tiles of one and three channels (6 x 6 sources among them), enlargement
// and other mappings: identical across paths 1-5, within one level of path
// 0, nothing written outside the region or past the work buffer.
TEST(ResamplePathsLanczos, SquarePixelEntriesAgreeAcrossPaths) {
    std::mt19937 rng(413);
    std::vector<vqtest::SweepCase> cases = vqtest::sweepCases(413, 10, 40);
    vqtest::SweepCase six;
    six.width = six.height = 6;
    cases.push_back(six);
    six.srcNegative = true;
    six.dstAlign = 3;
    cases.push_back(six);
    for (const vqtest::SweepCase& c : cases)
        for (const Mapping& m : kMappings)
            for (int kind : {k8u, k16u})
                for (int ch : {1, 3}) {
                    const int e = elemSize(kind);
                    const int sw = m.xf == 0.5 ? 2 * ((c.width + 1) / 2) : c.width;
                    const int sh = m.yf == 0.5 ? 2 * ((c.height + 1) / 2) : c.height;
                    const PrimSize size{sw, sh};
                    const int dw = m.xf == 0.5 ? sw / 2 : int(sw * m.xf) + 2;
                    const int dh = m.yf == 0.5 ? sh / 2 : int(sh * m.yf) + 2;
                    const PrimRect roi{0, 0, dw, dh};
                    GuardedImage src(sw * ch * e, sh, c.srcAlign & ~(e - 1), c.srcGap * e, c.srcNegative);
                    src.fillRandom(rng);
                    GuardedImage initial(dw * ch * e, dh, c.dstAlign & ~(e - 1), c.dstGap * e, c.dstNegative);
                    initial.fillRandom(rng);
                    int32_t bytes = 0;
                    ASSERT_EQ(resizeSquarePixelGetBufferSize({0, 0, sw, sh}, roi, ch, 16, &bytes), 0);
                    std::vector<std::vector<uint8_t>> results;
                    int32_t status = 0;
                    for (int path : vqtest::allPaths()) {
                        GuardedImage out(dw * ch * e, dh, c.dstAlign & ~(e - 1), c.dstGap * e, c.dstNegative);
                        out.copyAllFrom(initial);
                        GuardedImage buf(bytes, 1, path);
                        const int32_t st =
                            squarePixel(path, kind, ch, src, size, out, roi, m.xf, m.yf, m.xs, m.ys, 16, buf.origin());
                        if (path == 0)
                            status = st;
                        ASSERT_EQ(st, status);
                        ASSERT_TRUE(out.guardsIntact() && buf.guardsIntact());
                        results.push_back(out.pixels());
                    }
                    const std::string what = std::string(kindName(kind)) + " C" + std::to_string(ch) + " factors " +
                                             std::to_string(m.xf) + "," + std::to_string(m.yf) + " " + c.describe();
                    for (size_t p = 1; p < results.size(); ++p) {
                        ASSERT_EQ(results[p], results[1]) << "path " << p << " " << what;
                        ASSERT_TRUE(samplesClose(kind, results[p], results[0], 1, 0)) << what;
                    }
                }
}

// The square-pixel body with each path's kernel set for every kind and
// layout (16s, 32f, AC4, C4 and planar images, which no entry passes):
// within one level (floats within rounding) of path 0, identical across the
// paths that share a signed conversion, the fourth sample of AC4 pixels kept
// and nothing written outside the region.
TEST(ResamplePathsLanczos, SquarePixelBodiesAgreeAcrossPaths) {
    std::mt19937 rng(414);
    for (int kind : {k8u, k16u, k32f, k16s})
        for (const BodyLayout& lay : kBodyLayouts)
            for (const Mapping& m : kMappings)
                for (int trial = 0; trial < 2; ++trial) {
                    BodyCase bc(kind, lay, m, 16, rng);
                    if (!bc.fills())
                        continue; // the region misses the source
                    bool intact = false;
                    const auto base = bc.run(0, &intact);
                    ASSERT_TRUE(intact) << bc.what;
                    std::vector<std::vector<uint8_t>> low, high;
                    for (int path : vqtest::supportedPaths()) {
                        const auto got = bc.run(path, &intact);
                        const std::string what = vqtest::pathName(path) + " " + bc.what;
                        ASSERT_TRUE(intact) << what;
                        auto& same = kind == k16s && path >= 4 ? high : low;
                        if (same.empty())
                            same = got;
                        ASSERT_EQ(got, same) << what;
                        // Truncating signed sums toward zero, paths 4 and 5 can
                        // meet a sum that rounds one unit in the last place apart
                        // on the other side of a half: two levels from path 0.
                        const double levels = kind == k16s && path >= 4 ? 2 : 1;
                        for (size_t p = 0; p < got.size(); ++p)
                            ASSERT_TRUE(samplesClose(kind, got[p], base[p], levels, 64 * ulpOf(bc.magnitude)))
                                << what;
                        if (lay.pixelStride == 4 && lay.channels == 3) {
                            const int e = elemSize(kind);
                            const std::vector<uint8_t> initial = bc.initialPixels();
                            for (size_t n = 3 * size_t(e); n < initial.size(); n += 4 * size_t(e))
                                ASSERT_EQ(0, std::memcmp(&got[0][n], &initial[n], e)) << what;
                        }
                    }
                }
}

// Border passes called alone, as the body calls them: they write every
// sample of the frame (the same bytes whatever the destination held) and no
// other, within one level of the exact clamped sum with the same weights
// (floats within rounding), identical across paths 1-5 and within one level
// of path 0. Cases: halving 12 x 10 and 6 x 6, enlargement by 4 (three-deep
// classes on every side), a 5 x 5 source with no middle row, a shifted
// reduction.
TEST(ResamplePathsLanczos, BorderPassesWriteOnlyTheFrame) {
    struct Geometry {
        int sw, sh, dw, dh;
        double inv, offset;
    } const geometries[] = {{12, 10, 6, 5, 2.0, 0.0}, {6, 6, 3, 3, 2.0, 0.0}, {8, 7, 30, 26, 0.25, 0.0},
                            {5, 5, 5, 5, 1.0, 0.0},  {20, 16, 8, 6, 2.4, 0.6}};
    std::mt19937 rng(415);
    for (const Geometry& g : geometries)
        for (int kind : {k8u, k16u, k32f, k16s})
            for (const Shape& shape : kShapes) {
                const int e = elemSize(kind);
                GuardedImage src(g.sw * shape.stride * e, g.sh, int(rng() % 16) & ~(e - 1), 0, (rng() & 1) != 0);
                fillSamples(src, kind, rng);
                const int srcStepE = src.step() / e;
                const Axis rows = mapAxis(g.dh, g.inv, g.offset), cols = mapAxis(g.dw, g.inv, g.offset);
                std::vector<int32_t> rowOffsets, colOffsets;
                for (int32_t r : rows.index)
                    rowOffsets.push_back(r * srcStepE);
                for (int32_t c : cols.index)
                    colOffsets.push_back(c * shape.stride);
                // Counts of the three classes per side.
                auto below = [](const Axis& a, double limit) {
                    return int32_t(std::count_if(a.pos.begin(), a.pos.end(), [&](double x) { return x < limit; }));
                };
                auto above = [](const Axis& a, double limit) {
                    return int32_t(std::count_if(a.pos.begin(), a.pos.end(), [&](double x) { return x >= limit; }));
                };
                const int32_t t[3] = {below(rows, 0), below(rows, 1), below(rows, 2)};
                const int32_t b[3] = {above(rows, g.sh - 1), above(rows, g.sh - 2), above(rows, g.sh - 3)};
                const int32_t l[3] = {below(cols, 0), below(cols, 1), below(cols, 2)};
                const int32_t r[3] = {above(cols, g.sw - 1), above(cols, g.sw - 2), above(cols, g.sw - 3)};
                const bool threeOfFour = shape.stride != shape.channels;
                auto inFrame = [&](int i, int j) {
                    return i < t[2] || i >= g.dh - b[2] || j < l[2] || j >= g.dw - r[2];
                };
                std::vector<std::vector<uint8_t>> results;
                for (int path : vqtest::allPaths()) {
                    const SqWeightsFn weights = resizeSqKernelSets[path]->lanczosWeights;
                    std::vector<float> colTaps(6 * g.dw), rowTaps(6 * g.dh);
                    weights(cols.frac.data(), g.dw, colTaps.data());
                    weights(rows.frac.data(), g.dh, rowTaps.data());
                    const SqBorderLanczosFn border = shape.plane ? resizeSqKernelSets[path]->borderLanczosPlane[kind]
                                                                 : resizeSqKernelSets[path]->borderLanczosPixel[kind];
                    const std::string what = vqtest::pathName(path) + " " + kindName(kind) + " " + shape.name + " " +
                                             std::to_string(g.sw) + "x" + std::to_string(g.sh) + " to " +
                                             std::to_string(g.dw) + "x" + std::to_string(g.dh);
                    std::vector<uint8_t> out[2];
                    for (int fill = 0; fill < 2; ++fill) {
                        GuardedImage dst(g.dw * shape.stride * e, g.dh, 5 & ~(e - 1), 3 * e, fill == 1);
                        dst.fill(fill == 0 ? 0x00 : 0x7C);
                        border(src.origin(), dst.origin(), srcStepE, dst.step() / e, g.sw, g.sh, g.dw, g.dh,
                               rowOffsets.data(), colOffsets.data(), colTaps.data(), rowTaps.data(), t[0], b[0], l[0],
                               r[0], t[1], b[1], l[1], r[1], t[2], b[2], l[2], r[2], shape.stride, shape.channels);
                        ASSERT_TRUE(dst.guardsIntact()) << what;
                        out[fill] = dst.pixels();
                    }
                    double magnitude = kind == k32f ? maxMagnitude(src) : 0.0;
                    for (int i = 0; i < g.dh; ++i)
                        for (int j = 0; j < g.dw; ++j)
                            for (int c = 0; c < shape.stride; ++c) {
                                const size_t n = (size_t(i) * g.dw * shape.stride + size_t(j) * shape.stride + c) * e;
                                const bool written = inFrame(i, j) && !(threeOfFour && c == 3);
                                if (!written) {
                                    ASSERT_EQ(out[0][n], 0x00) << what << " row " << i << " column " << j;
                                    ASSERT_EQ(out[1][n], 0x7C) << what << " row " << i << " column " << j;
                                    continue;
                                }
                                ASSERT_EQ(0, std::memcmp(&out[0][n], &out[1][n], e))
                                    << what << " row " << i << " column " << j;
                                // The exact clamped sum with the pass's own weights.
                                long double sum = 0;
                                for (int y = 0; y < 6; ++y) {
                                    const int sy = std::clamp(rows.index[i] - 2 + y, 0, g.sh - 1);
                                    long double h = 0;
                                    for (int x = 0; x < 6; ++x) {
                                        const int sx = std::clamp(cols.index[j] - 2 + x, 0, g.sw - 1);
                                        h += (long double)sampleAt(src.row(sy), kind, int64_t(sx) * shape.stride + c) *
                                             colTaps[6 * j + x];
                                    }
                                    sum += h * rowTaps[6 * i + y];
                                }
                                const double got = sampleAt(out[0].data(), kind, int64_t(n / e));
                                if (kind == k32f)
                                    ASSERT_NEAR(got, double(sum), 64 * ulpOf(magnitude)) << what;
                                else
                                    ASSERT_LE(std::fabs(got - roundExact(kind, double(sum))), 1.0)
                                        << what << " row " << i << " column " << j;
                            }
                    results.push_back(out[0]);
                }
                for (size_t p = 1; p < results.size(); ++p) {
                    ASSERT_EQ(results[p], results[1]) << "path " << p << " " << kindName(kind) << " " << shape.name;
                    ASSERT_TRUE(samplesClose(kind, results[p], results[0], 1, 64 * ulpOf(maxMagnitude(src))));
                }
            }
}

namespace {

// One general-engine Lanczos resize of a region through the core with the
// routines and tap generator of `path`; the destination's bytes.
struct GeneralCase {
    int kind, ch;
    PrimSize size;
    PrimRect roi;
    PrimSize dstSize;
    double xf, yf;
    GuardedImage src;
    std::string what;
    GeneralCase(int kind_, int ch_, PrimSize size_, PrimRect roi_, double xf_, double yf_, bool negative,
                std::mt19937& rng)
        : kind(kind_), ch(ch_), size(size_), roi(roi_),
          dstSize{std::max(1, int(roi_.width * xf_)), std::max(1, int(roi_.height * yf_))}, xf(xf_), yf(yf_),
          src(size_.width * ch_ * elemSize(kind_), size_.height, int(rng() % 16) & ~(elemSize(kind_) - 1),
              elemSize(kind_), negative) {
        fillSamples(src, kind, rng);
        what = std::string(kindName(kind)) + " C" + std::to_string(ch) + " image " + std::to_string(size.width) +
               "x" + std::to_string(size.height) + " region " + std::to_string(roi.x) + "," + std::to_string(roi.y) +
               " " + std::to_string(roi.width) + "x" + std::to_string(roi.height) + " factors " +
               std::to_string(xf) + "," + std::to_string(yf) + (negative ? " bottom-up" : "");
    }
    std::vector<uint8_t> run(const ResizeRowRoutineTable& rows, LanczosWeightsFn weights, bool* intact) {
        const int e = elemSize(kind);
        GuardedImage dst(dstSize.width * ch * e, dstSize.height, 4 & ~(e - 1), 2 * e, false);
        dst.fill(0x3C);
        const int32_t status = resizeGenCore(rows, weights, src.origin(), size, src.step(), roi, dst.origin(),
                                             dst.step(), dstSize, xf, yf, 0.0, 0.0, ch, ch, kind, 0, 16, 1);
        *intact = status == 0 && dst.guardsIntact();
        return dst.pixels();
    }
};

// The path's general Lanczos passes with the one-row advance flag forced
// off (a magnification then refilters the clamped bottom rows instead of
// copying them) or on (a reduction, whose window moves by several rows,
// must not take the one-row step).
const ResizeGenLanczosFn* gForcedInner = nullptr;
int32_t gForcedFlag = 0;
template <int Entry>
void forcedGeneralMode(const void* s, void* d, int32_t ss, int32_t ds, int32_t w, int32_t h, const int32_t* ro,
                       const int32_t* co, const float* rt, const float* ct, float* w0, float* w1, float* w2, float* w3,
                       float* w4, float* w5, int32_t rx, int32_t ry, int32_t we, int32_t he, int32_t, int32_t ps,
                       int32_t cc) {
    gForcedInner[Entry](s, d, ss, ds, w, h, ro, co, rt, ct, w0, w1, w2, w3, w4, w5, rx, ry, we, he, gForcedFlag, ps,
                        cc);
}

} // namespace

// General-engine Lanczos for 8u, 16u and 32f, one and three channels, with
// regions touching each image edge at offsets 0, 1 and 2 or more (regions of
// the last one or two image rows among them), magnified
// (one-row advance) and reduced (by more than six rows per destination row
// too), top-down and bottom-up: identical across paths 1-5, within one level
// (floats within rounding) of path 0; a factor of 1 copies the region
// exactly; the one-row advance gives the bytes of the general advance, and
// a one-row flag wrongly set for a reduction changes nothing.
TEST(ResamplePathsLanczos, GeneralEngineAgreesAcrossPaths) {
    std::mt19937 rng(416);
    const PrimSize size{40, 37};
    struct Factors {
        double xf, yf;
    } const factors[] = {{2.0, 1.5}, {1.0, 3.25}, {0.4, 0.3}, {0.13, 0.14}, {1.0, 1.0}};
    for (int kind : {k8u, k16u, k32f})
        for (int ch : {1, 3})
            for (int x : {0, 1, 3})
                for (int y : {0, 1, 2})
                    for (int bottom : {0, 3, -1, -2})
                        for (const Factors& f : factors) {
                            // Regions ending at the image's last row or 3 rows
                            // short of it, or holding only its last one or two
                            // rows.
                            const int top = bottom < 0 ? size.height + bottom : y;
                            const PrimRect roi{x, top, size.width - x - (bottom == 3 ? 2 : 0),
                                               size.height - top - (bottom == 3 ? 3 : 0)};
                            if (roi.height * f.yf < 1.0 || (bottom < 0 && y != 0))
                                continue; // no destination row, or a region already run
                            GeneralCase gc(kind, ch, size, roi, f.xf, f.yf, (rng() & 1) != 0, rng);
                            bool intact = false;
                            const std::vector<uint8_t> base =
                                gc.run(*resizeRowRoutineTables[0], lanczos3WeightsTable[0], &intact);
                            ASSERT_TRUE(intact) << gc.what;
                            const double tol = kind == k32f ? 64 * ulpOf(maxMagnitude(gc.src)) : 0;
                            std::vector<uint8_t> first;
                            for (int path : vqtest::supportedPaths()) {
                                const std::string what = vqtest::pathName(path) + " " + gc.what;
                                const ResizeRowRoutineTable& rows = *resizeRowRoutineTables[path];
                                const std::vector<uint8_t> got = gc.run(rows, lanczos3WeightsTable[path], &intact);
                                ASSERT_TRUE(intact) << what;
                                if (first.empty())
                                    first = got;
                                ASSERT_EQ(got, first) << what;
                                ASSERT_TRUE(samplesClose(kind, got, base, 1, tol)) << what;
                                if (f.xf == 1.0 && f.yf == 1.0) {
                                    // All fractions 0: every sample is its source sample.
                                    const int e = elemSize(kind);
                                    for (int i = 0; i < roi.height; ++i)
                                        ASSERT_EQ(0, std::memcmp(&got[size_t(i) * roi.width * ch * e],
                                                                 gc.src.row(top + i) + size_t(x) * ch * e,
                                                                 size_t(roi.width) * ch * e))
                                            << what << " row " << i;
                                }
                                {
                                    ResizeRowRoutineTable forced = rows;
                                    gForcedInner = rows.genLanczos;
                                    gForcedFlag = f.yf >= 1.0 ? 0 : 1;
                                    forced.genLanczos[0] = forcedGeneralMode<0>;
                                    forced.genLanczos[1] = forcedGeneralMode<1>;
                                    forced.genLanczos[2] = forcedGeneralMode<2>;
                                    forced.genLanczos[3] = forcedGeneralMode<3>;
                                    forced.genLanczos[4] = forcedGeneralMode<4>;
                                    forced.genLanczos[5] = forcedGeneralMode<5>;
                                    ASSERT_EQ(gc.run(forced, lanczos3WeightsTable[path], &intact), got) << what;
                                }
                            }
                        }
}

namespace {

// A sum of six taps in the border passes' arithmetic: taps in `merged`
// share one product, their weights added from the lowest tap up, placed at
// `anchor` (tap 0 for a left or top edge, tap 5 for a right edge); the
// products are added from the first term of `order` on, one rounding each.
float foldTaps(const float* samples, const float* w, unsigned merged, int anchor, const int* order) {
    float m = 0.0f;
    bool first = true;
    for (int k = 0; k < 6; ++k)
        if (merged & (1u << k)) {
            m = first ? w[k] : m + w[k];
            first = false;
        }
    float sum = 0.0f;
    bool started = false;
    for (int n = 0; n < 6; ++n) {
        const int k = order[n];
        if ((merged & (1u << k)) && k != anchor)
            continue;
        const float p = samples[k] * ((merged & (1u << k)) ? m : w[k]);
        sum = started ? sum + p : p;
        started = true;
    }
    return sum;
}

const int kRising[6] = {0, 1, 2, 3, 4, 5};
const int kFalling[6] = {5, 4, 3, 2, 1, 0};
const int kMixed[6] = {1, 2, 3, 5, 4, 0};

// Taps of a position, clamped; which of them share the edge sample.
unsigned sharedTaps(int base, int size, int* index, int* anchor) {
    unsigned low = 0, high = 0;
    for (int k = 0; k < 6; ++k) {
        index[k] = std::clamp(base - 2 + k, 0, size - 1);
        if (base - 2 + k <= 0)
            low |= 1u << k;
        if (base - 2 + k >= size - 1)
            high |= 1u << k;
    }
    // A lone tap on the edge shares nothing.
    low = (low & (low - 1)) ? low : 0;
    high = (high & (high - 1)) ? high : 0;
    *anchor = low ? 0 : 5;
    return low | high;
}

} // namespace

// The border passes against their arithmetic, float samples (the sum is
// stored as it is): top rows merge the weights of the taps on source row 0,
// side columns of the rows between those of the taps on the edge column
// (the shared product where the edge's outermost tap stands), top and bottom
// rows keep six products per source row. Planes sum rows from tap -2 up;
// pixels from tap +3 down, the row of vertical tap -1 in the order
// -1, 0, +1, +3, +2, -2. Vertical sums take that last order, but from tap
// -2 up for plane columns on source column 1. Enlargement by 4, centred and
// shifted, puts destination pixels in every class of every side.
TEST(ResamplePathsLanczos, BorderPassesFollowTheArithmetic) {
    std::mt19937 rng(417);
    const int sw = 8, sh = 7, dw = 30, dh = 26;
    for (int path : vqtest::supportedPaths())
        for (double offset : {0.0, 0.45})
            for (const Shape& shape : kShapes) {
                GuardedImage src(sw * shape.stride * 4, sh, 0, 4, (rng() & 1) != 0);
                fillSamples(src, k32f, rng, 100.0f);
                const int srcStepE = src.step() / 4;
                const Axis rows = mapAxis(dh, 0.25, offset), cols = mapAxis(dw, 0.25, offset);
                std::vector<int32_t> rowOffsets, colOffsets;
                for (int32_t r : rows.index)
                    rowOffsets.push_back(r * srcStepE);
                for (int32_t c : cols.index)
                    colOffsets.push_back(c * shape.stride);
                std::vector<float> colTaps(6 * dw), rowTaps(6 * dh);
                for (float& w : colTaps)
                    w = std::uniform_real_distribution<float>(-0.3f, 1.0f)(rng);
                for (float& w : rowTaps)
                    w = std::uniform_real_distribution<float>(-0.3f, 1.0f)(rng);
                auto count = [](const Axis& a, auto pred) {
                    return int32_t(std::count_if(a.pos.begin(), a.pos.end(), pred));
                };
                int32_t t[3], b[3], l[3], r[3];
                for (int d = 0; d < 3; ++d) {
                    t[d] = count(rows, [&](double x) { return x < d; });
                    b[d] = count(rows, [&](double x) { return x >= sh - 1 - d; });
                    l[d] = count(cols, [&](double x) { return x < d; });
                    r[d] = count(cols, [&](double x) { return x >= sw - 1 - d; });
                }
                GuardedImage dst(dw * shape.stride * 4, dh, 0, 0, false);
                dst.fill(0);
                (shape.plane ? resizeSqKernelSets[path]->borderLanczosPlane
                             : resizeSqKernelSets[path]->borderLanczosPixel)[k32f](
                    src.origin(), dst.origin(), srcStepE, dst.step() / 4, sw, sh, dw, dh, rowOffsets.data(),
                    colOffsets.data(), colTaps.data(), rowTaps.data(), t[0], b[0], l[0], r[0], t[1], b[1], l[1], r[1],
                    t[2], b[2], l[2], r[2], shape.stride, shape.channels);
                const std::string what = vqtest::pathName(path) + " " + shape.name + " offset " + std::to_string(offset);
                for (int i = 0; i < dh; ++i)
                    for (int j = 0; j < dw; ++j) {
                        const bool topRow = i < t[2], bottomRow = i >= dh - b[2] && !topRow;
                        const bool middle = !topRow && !bottomRow;
                        if (middle && j >= l[2] && j < dw - r[2])
                            continue;
                        const float* wx = &colTaps[6 * j];
                        const float* wy = &rowTaps[6 * i];
                        int ry[6], cx[6], rowAnchor = 0, colAnchor = 0;
                        // Top rows merge on row 0; bottom rows keep their taps.
                        unsigned rowMerge = sharedTaps(rows.index[i], sh, ry, &rowAnchor);
                        if (!topRow)
                            rowMerge = 0;
                        // Side columns merge on the edge column; top and bottom
                        // rows keep their six column taps.
                        unsigned colMerge = sharedTaps(cols.index[j], sw, cx, &colAnchor);
                        if (!middle)
                            colMerge = 0;
                        for (int c = 0; c < shape.channels; ++c) {
                            float q[6];
                            for (int y = 0; y < 6; ++y) {
                                float s[6];
                                for (int x = 0; x < 6; ++x)
                                    s[x] = float(sampleAt(src.row(ry[y]), k32f, int64_t(cx[x]) * shape.stride + c));
                                const int* order = shape.plane ? kRising : y == 1 && !topRow ? kMixed : kFalling;
                                q[y] = foldTaps(s, wx, colMerge, colAnchor, order);
                            }
                            const bool rising = shape.plane && middle && j < l[2] && j >= l[1];
                            const float want = foldTaps(q, wy, rowMerge, rowAnchor, rising ? kRising : kMixed);
                            const float got = float(sampleAt(dst.row(i), k32f, int64_t(j) * shape.stride + c));
                            ASSERT_EQ(got, want) << what << " row " << i << " column " << j << " sample " << c;
                        }
                    }
            }
}

// The general engine's row kernels against their arithmetic, float samples:
// vertical weights of a zero fraction make each destination row the
// filtered source row itself. Columns on the two leftmost image columns
// (region at 0 or 1) and the three rightmost take the edge sample once with
// the weights of its taps added first; the run between sums as the square-
// pixel row kernel does, its one-sample order chosen by each weight record's
// address and the last position of an odd run summed in the first order.
TEST(ResamplePathsLanczos, GeneralRowEdgesFollowTheArithmetic) {
    std::mt19937 rng(418);
    const int imageWidth = 12, imageHeight = 8;
    for (int path : vqtest::supportedPaths())
        for (const Shape& shape : kShapes)
            for (int roiX : {0, 1, 3})
                for (int trim : {0, 2})
                    for (int shift : {0, 2}) {
                        const int W = imageWidth - roiX - trim; // columns to the region's right edge
                        const int widthToEdge = imageWidth - roiX;
                        GuardedImage src(imageWidth * shape.stride * 4, imageHeight, 0, 0, false);
                        fillSamples(src, k32f, rng, 100.0f);
                        // Every tap-0 column of the region, most of them twice.
                        std::vector<int32_t> colOffsets;
                        for (int x = 0; x < W; ++x)
                            for (int n = 0; n < 1 + int(rng() % 2); ++n)
                                colOffsets.push_back(x * shape.stride);
                        const int width = int(colOffsets.size()), height = 2;
                        Scratch taps(4 * 6 * size_t(width + height) + 16);
                        float* colTaps = reinterpret_cast<float*>(taps.data()) + shift;
                        float* rowTaps = colTaps + 6 * width;
                        for (int n = 0; n < 6 * width; ++n)
                            colTaps[n] = std::uniform_real_distribution<float>(-0.3f, 1.0f)(rng);
                        for (int i = 0; i < height; ++i)
                            for (int k = 0; k < 6; ++k)
                                rowTaps[6 * i + k] = k == 2 ? 1.0f : k == 1 || k == 3 ? -0.0f : 0.0f;
                        const int32_t srcStepE = src.step() / 4;
                        const std::vector<int32_t> rowOffsets(height, 3 * srcStepE);
                        GuardedImage dst(width * shape.stride * 4, height, 0, 0, false);
                        dst.fill(0);
                        const size_t workBytes = 4 * size_t(width) * shape.channels;
                        Scratch w0(workBytes), w1(workBytes), w2(workBytes), w3(workBytes), w4(workBytes),
                            w5(workBytes);
                        auto f = [](Scratch& s) { return reinterpret_cast<float*>(s.data()); };
                        resizeRowRoutineTables[path]->genLanczos[k32f + (shape.plane ? 3 : 0)](
                            src.row(0) + size_t(roiX) * shape.stride * 4, dst.origin(), srcStepE, dst.step() / 4,
                            width, height, rowOffsets.data(), colOffsets.data(), rowTaps, colTaps, f(w0), f(w1), f(w2),
                            f(w3), f(w4), f(w5), roiX, 0, widthToEdge, imageHeight, 1, shape.stride, shape.channels);
                        const std::string what = vqtest::pathName(path) + " " + shape.name + " region at " +
                                                 std::to_string(roiX) + " trim " + std::to_string(trim) +
                                                 " weights +" + std::to_string(4 * shift);
                        ASSERT_TRUE(dst.guardsIntact() && w0.guardsIntact() && w5.guardsIntact()) << what;
                        auto leftEdge = [&](int t) { return (roiX == 0 && t <= 1) || (roiX == 1 && t == 0); };
                        int runStart = 0, runEnd = width;
                        while (runStart < width && leftEdge(colOffsets[runStart] / shape.stride))
                            ++runStart;
                        while (runEnd > runStart && colOffsets[runEnd - 1] / shape.stride >= widthToEdge - 3)
                            --runEnd;
                        for (int j = 0; j < width; ++j) {
                            const int t = colOffsets[j] / shape.stride;
                            const float* w = colTaps + 6 * j;
                            for (int c = 0; c < shape.channels; ++c) {
                                auto S = [&](int x) {
                                    return float(sampleAt(src.row(3), k32f, int64_t(roiX + x) * shape.stride + c));
                                };
                                float want;
                                if (roiX == 0 && t == 0) {
                                    want = ((w[0] + w[1]) + w[2]) * S(0) + ((w[3] * S(1) + w[5] * S(3)) + w[4] * S(2));
                                } else if (leftEdge(t)) {
                                    want = (w[0] + w[1]) * S(t - 1) +
                                           (((w[2] * S(t) + w[3] * S(t + 1)) + w[5] * S(t + 3)) + w[4] * S(t + 2));
                                } else if (t == widthToEdge - 3) {
                                    want = (w[5] + w[4]) * S(t + 2) +
                                           (((w[0] * S(t - 2) + w[1] * S(t - 1)) + w[2] * S(t)) + w[3] * S(t + 1));
                                } else if (t == widthToEdge - 2) {
                                    want = ((w[3] + w[5]) + w[4]) * S(t + 1) +
                                           ((w[0] * S(t - 2) + w[1] * S(t - 1)) + w[2] * S(t));
                                } else if (t == widthToEdge - 1) {
                                    want = (((w[2] + w[3]) + w[5]) + w[4]) * S(t) + (w[0] * S(t - 2) + w[1] * S(t - 1));
                                } else {
                                    float q[6];
                                    for (int k = 0; k < 6; ++k)
                                        q[k] = S(t + k - 2) * w[k];
                                    const bool aligned = (reinterpret_cast<uintptr_t>(w) & 15) == 0;
                                    const bool lastOdd = ((runEnd - runStart) & 1) != 0 && j == runEnd - 1;
                                    if (!shape.plane)
                                        want = ((q[0] + q[1]) + (q[2] + q[3])) + (q[4] + q[5]);
                                    else if (aligned || lastOdd)
                                        want = ((q[0] + q[4]) + q[2]) + ((q[1] + q[5]) + q[3]);
                                    else
                                        want = ((q[0] + q[2]) + q[4]) + ((q[1] + q[3]) + q[5]);
                                }
                                for (int i = 0; i < height; ++i)
                                    ASSERT_EQ(float(sampleAt(dst.row(i), k32f, int64_t(j) * shape.stride + c)), want)
                                        << what << " column " << j << " tap-0 " << t << " sample " << c;
                            }
                        }
                    }
}
