// Cubic families of the resize engines on every processor path. Paths 1-5
// compute in single precision in one stated order, so their results are
// checked bit for bit against that arithmetic written out here and within
// one level of the exact real-valued result; path 0 (double precision) is
// held to one level of them.
#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <random>
#include <string>
#include <vector>

#include "paths_fixture.h"
#include "primitives/core/prim_types.h"
#include "primitives/resample/resize_gen.h"
#include "primitives/resample/resize_sq.h"
#include "support/path_harness.h"

namespace {

using namespace pathtest;
using vqtest::GuardedImage;

// The conversion of a single-precision column sum: + 0.50000012 (taken
// away from negative signed sums), truncation, saturation.
double convertSum(int kind, float s) {
    if (kind == k32f)
        return s;
    const float h = 0.50000012f;
    const float t = kind == k16s && s < 0.0f ? s - h : s + h;
    const double lo = kind == k16s ? -32768 : 0, hi = kind == k8u ? 255 : kind == k16u ? 65535 : 32767;
    if (!(std::fabs(t) < 2147483648.0))
        return lo; // the conversion's out-of-range answer is the lowest integer
    const double v = std::trunc(double(t));
    return v < lo ? lo : v > hi ? hi : v;
}

// Exact rounding of a real value to the kind, halves away from zero.
double roundExact(int kind, double v) {
    const double lo = kind == k16s ? -32768 : 0, hi = kind == k8u ? 255 : kind == k16u ? 65535 : 32767;
    const double r = v < 0 ? -std::floor(-v + 0.5) : std::floor(v + 0.5);
    return r < lo ? lo : r > hi ? hi : r;
}

// Cubic weights of the four filters straight from their definitions (the
// Mitchell-Netravali family for B-spline, Catmull-Rom and B = 0.5, C = 0.3;
// Lagrange through four points), in long double.
long double filterValue(int code, long double a) {
    if (a >= 2)
        return 0;
    const long double a2 = a * a, a3 = a2 * a;
    if (code == 4)
        return a < 1 ? a3 / 2 - a2 - a / 2 + 1 : -a3 / 6 + a2 - 11 * a / 6 + 1;
    const long double b = code == 5 ? 1 : code == 6 ? 0 : 0.5L, c = code == 5 ? 0 : code == 6 ? 0.5L : 0.3L;
    if (a < 1)
        return ((12 - 9 * b - 6 * c) * a3 + (-18 + 12 * b + 6 * c) * a2 + (6 - 2 * b)) / 6;
    return ((-b - 6 * c) * a3 + (6 * b + 30 * c) * a2 + (-12 * b - 48 * c) * a + (8 * b + 24 * c)) / 6;
}

// Four weights per position of a table of fractions, as the engines' weight
// generators hand them to the passes.
std::vector<float> weightsFor(const std::vector<float>& fractions, int code) {
    std::vector<float> w;
    for (float t : fractions)
        for (int k = 0; k < 4; ++k)
            w.push_back(float(filterValue(code, std::fabs(-1.0L - t + k))));
    return w;
}

// Tap-0 rows of the destination rows: non-decreasing by 0 to 5 rows, with
// the rows above and the two below inside the image.
std::vector<int> cubicTapRows(int count, int srcRows, std::mt19937& rng) {
    std::vector<int> rows;
    int r = 1 + int(rng() % (srcRows - 3));
    for (int i = 0; i < count; ++i) {
        rows.push_back(r);
        r += int(rng() % 6);
        if (r > srcRows - 3)
            r = srcRows - 3;
    }
    return rows;
}

} // namespace

// Worked weights of the four filters at fractions 0, 0.25, 0.5 and 1 on every
// path, and each path's weights against single-precision distances fed into
// the filters' polynomials.
TEST(ResamplePathsCubic, WeightGeneratorsGiveTheFilters) {
    struct Worked {
        int code;
        float t;
        float w[4];
    };
    const Worked worked[] = {
        {4, 0.0f, {0, 1, 0, 0}},
        {4, 0.5f, {-0.0625f, 0.5625f, 0.5625f, -0.0625f}},
        {4, 0.25f, {-0.0546875f, 0.8203125f, 0.2734375f, -0.0390625f}},
        {4, 1.0f, {0, 0, 1, 0}},
        {5, 0.0f, {0.16666667f, 0.66666669f, 0.16666667f, 0}},
        {5, 0.5f, {0.020833334f, 0.47916666f, 0.47916666f, 0.020833334f}},
        {6, 0.5f, {-0.0625f, 0.5625f, 0.5625f, -0.0625f}},
        {6, 0.25f, {-0.0703125f, 0.8671875f, 0.2265625f, -0.0234375f}},
        {7, 0.0f, {0.083333336f, 0.83333331f, 0.083333336f, 0}},
        {7, 0.5f, {-0.027083334f, 0.52708334f, 0.52708334f, -0.027083334f}},
    };
    std::mt19937 rng(261);
    std::vector<float> fractions;
    for (int i = 0; i < 200; ++i)
        fractions.push_back(float(rng() % 100000000) / 100000000.0f);
    for (int path : vqtest::allPaths()) {
        const ResizeSqKernels& ks = *resizeSqKernelSets[path];
        for (const Worked& c : worked) {
            float w[4] = {9, 9, 9, 9};
            ks.cubicWeights[c.code - 4](&c.t, 1, w);
            for (int k = 0; k < 4; ++k)
                EXPECT_FLOAT_EQ(w[k], c.w[k]) << vqtest::pathName(path) << " code " << c.code << " t " << c.t;
        }
        for (int code = 4; code <= 7; ++code) {
            std::vector<float> got(4 * fractions.size() + 4, 7.0f);
            ks.cubicWeights[code - 4](fractions.data(), int(fractions.size()), got.data());
            EXPECT_EQ(got.back(), 7.0f) << "written past the table";
            const std::vector<float> want = weightsFor(fractions, code);
            for (size_t n = 0; n < want.size(); ++n)
                ASSERT_NEAR(got[n], want[n], 4e-7) << vqtest::pathName(path) << " code " << code << " n " << n;
        }
        float none[4] = {5, 5, 5, 5};
        ks.cubicWeights[0](fractions.data(), 0, none);
        EXPECT_EQ(none[0], 5.0f);
    }
    // Paths 1-5 form the distances in single precision: their weights agree
    // with each other bit for bit, and with path 0 at fractions that are
    // multiples of 2^-23.
    for (int code = 4; code <= 7; ++code) {
        std::vector<float> first;
        for (int path : vqtest::supportedPaths()) {
            std::vector<float> got(4 * fractions.size());
            resizeSqKernelSets[path]->cubicWeights[code - 4](fractions.data(), int(fractions.size()), got.data());
            if (first.empty())
                first = got;
            ASSERT_EQ(got, first) << vqtest::pathName(path);
        }
        const std::vector<float> grid = {0.0f, 0.125f, 0.25f, 0.5f, 0.75f, 0.9999999f};
        std::vector<float> a(24), b(24);
        resizeSqKernelSets[0]->cubicWeights[code - 4](grid.data(), 6, a.data());
        for (int path : vqtest::supportedPaths()) {
            resizeSqKernelSets[path]->cubicWeights[code - 4](grid.data(), 6, b.data());
            EXPECT_EQ(a, b) << vqtest::pathName(path);
        }
    }
}

// Every path's square-pixel cubic routines: paths 1-5 bit for bit the
// single-precision arithmetic in the stated groupings (one-sample rows in
// whole groups of four and a remainder), path 0 within one level; every
// integer result within one level of the exact value. Row windows stay,
// advance by one or jump; sources may be stored bottom-up.
TEST(ResamplePathsCubic, SquarePixelRoutinesFollowTheArithmetic) {
    std::mt19937 rng(262);
    for (int path : vqtest::allPaths())
        for (int kind : {k8u, k16u, k32f, k16s})
            for (const Shape& shape : kShapes)
                for (int trial = 0; trial < 8; ++trial) {
                    const int e = elemSize(kind);
                    const int width = 1 + int(rng() % 23), height = 1 + int(rng() % 9);
                    const int srcCols = 4 + int(rng() % 20), srcRows = 4 + int(rng() % 14);
                    RoutineCase rc(kind, shape, width, height, srcCols, srcRows, rng);
                    const int next = rc.next, srcStepE = rc.srcStepE;
                    GuardedImage &src = rc.src, &dst = rc.dst, &want = rc.want;
                    const std::vector<int> rows = cubicTapRows(height, srcRows, rng);
                    std::vector<int32_t> rowOffsets, colOffsets;
                    std::vector<float> rowT, colT;
                    for (int r : rows) {
                        rowOffsets.push_back(r * srcStepE);
                        rowT.push_back(float(rng() % 1000) / 1000.0f);
                    }
                    for (int j = 0; j < width; ++j) {
                        colOffsets.push_back((1 + int(rng() % (srcCols - 3))) * next);
                        colT.push_back(float(rng() % 1000) / 1000.0f);
                    }
                    // Sharp filters overshoot: saturation is exercised.
                    const int code = 4 + int(rng() % 4);
                    const std::vector<float> rw = weightsFor(rowT, code), cw = weightsFor(colT, code);

                    const int whole = width & ~3;
                    for (int i = 0; i < height; ++i)
                        for (int j = 0; j < width; ++j)
                            for (int k = 0; k < shape.channels; ++k) {
                                float v[4];
                                double exact = 0;
                                for (int r = 0; r < 4; ++r) {
                                    const uint8_t* row = src.row(rows[i] + r - 1);
                                    float p[4];
                                    double h = 0;
                                    for (int c = 0; c < 4; ++c) {
                                        const double sample = sampleAt(row, kind, colOffsets[j] + (c - 1) * next + k);
                                        p[c] = float(sample) * cw[4 * j + c];
                                        h += sample * cw[4 * j + c];
                                    }
                                    v[r] = shape.plane ? (j < whole ? (p[0] + p[1]) + (p[2] + p[3])
                                                                    : (p[0] + p[2]) + (p[1] + p[3]))
                                                       : (p[0] + p[3]) + (p[1] + p[2]);
                                    exact += h * rw[4 * i + r];
                                }
                                const float q0 = v[0] * rw[4 * i], q1 = v[1] * rw[4 * i + 1];
                                const float q2 = v[2] * rw[4 * i + 2], q3 = v[3] * rw[4 * i + 3];
                                const double out = convertSum(kind, (q0 + q1) + (q2 + q3));
                                if (kind != k32f) {
                                    ASSERT_LE(std::fabs(out - roundExact(kind, exact)), 1.0) << exact;
                                }
                                storeSample(want.row(i), kind, int64_t(j) * shape.stride + k, out);
                            }
                    Scratch w0(4 * size_t(width) * shape.channels), w1(4 * size_t(width) * shape.channels),
                        w2(4 * size_t(width) * shape.channels), w3(4 * size_t(width) * shape.channels);
                    const int entry = kind + (shape.plane ? 4 : 0);
                    resizeRowRoutineTables[path]->sqCubic[entry](
                        src.origin(), dst.origin(), srcStepE, dst.step() / e, width, height, rowOffsets.data(),
                        colOffsets.data(), rw.data(), cw.data(), reinterpret_cast<float*>(w0.data()),
                        reinterpret_cast<float*>(w1.data()), reinterpret_cast<float*>(w2.data()),
                        reinterpret_cast<float*>(w3.data()), shape.stride, shape.channels);
                    const std::string what = describe(path, kind, shape.name, width, height) + " code " +
                                             std::to_string(code);
                    ASSERT_TRUE(w0.guardsIntact() && w1.guardsIntact() && w2.guardsIntact() && w3.guardsIntact())
                        << what;
                    ASSERT_TRUE(matchesFormulas(path, kind, dst, want, kind == k32f ? maxMagnitude(src) : 0, 8, 1))
                        << what;
                }
}

// Column conversions: halves of 16-bit signed sums round away from zero on
// every path (-1.5 to -2, -1.2 to -1, -1.7 to -2, 2.5 to 3); 8u sums of
// 100.5 and 100.49 give 101 and 100, sums beyond the range saturate.
TEST(ResamplePathsCubic, ColumnConversionWorkedValues) {
    struct Case {
        int kind;
        float a, b, wa; // plane taps 0 and +1 horizontally, weights (wa, 1 - wa)
        double want;
    };
    const Case cases[] = {
        {k16s, -1, -2, 0.5f, -2},  {k16s, -1, -2, 0.8f, -1},     {k16s, -1, -2, 0.3f, -2},
        {k16s, 2, 3, 0.5f, 3},     {k16s, 0, -1, 0.5f, -1},      {k8u, 100, 101, 0.5f, 101},
        {k8u, 100, 101, 0.51f, 100}, {k16u, 0, 65535, 0.5f, 32768}, {k16s, -32768, -32768, -0.5f, -32768},
        {k8u, 255, 0, -1.0f, 0},   {k8u, 255, 0, 2.0f, 255},
    };
    for (int path : vqtest::allPaths())
        for (const Case& c : cases) {
            const int e = elemSize(c.kind);
            // A 4 x 4 source: every row holds the taps at columns 1 and 2.
            std::vector<uint8_t> src(size_t(16) * e);
            for (int r = 0; r < 4; ++r) {
                storeSample(src.data() + 4 * r * e, c.kind, 1, c.a);
                storeSample(src.data() + 4 * r * e, c.kind, 2, c.b);
                storeSample(src.data() + 4 * r * e, c.kind, 0, 0);
                storeSample(src.data() + 4 * r * e, c.kind, 3, 0);
            }
            const float cw[4] = {0, c.wa, 1.0f - c.wa, 0}, rw[4] = {0, 1, 0, 0};
            const int32_t rowOffsets[1] = {4}, colOffsets[1] = {1};
            alignas(32) float w[4][4] = {};
            std::vector<uint8_t> dst(8, 0);
            resizeRowRoutineTables[path]->sqCubic[4 + c.kind](src.data(), dst.data(), 4, 1, 1, 1, rowOffsets,
                                                              colOffsets, rw, cw, w[0], w[1], w[2], w[3], 0, 0);
            EXPECT_EQ(sampleAt(dst.data(), c.kind, 0), c.want)
                << vqtest::pathName(path) << " " << kindName(c.kind) << " " << c.a << "," << c.b << " " << c.wa;
        }
}

namespace {

const Mapping kMappings[] = {{0.5, 0.5, 0, 0},       {4, 4, 0, 0},       {2.5, 3.0, 0.3, -0.7},
                             {0.45, 0.41, -0.3, 0.6}, {0.3, 0.23, 0.1, 0}, {1, 1, 0.5, 0.25}};

} // namespace

// Halving whole 8u tiles with codes 4 and 6 (exact arithmetic at factor 0.5)
// gives path 0's bytes on every path; codes 5 and 7, 16-bit tiles and other
// mappings stay within one level of path 0 and are identical across paths
// 1-5. Nothing is written outside the region or past the work buffer.
TEST(ResamplePathsCubic, SquarePixelEntriesAgreeAcrossPaths) {
    std::mt19937 rng(263);
    for (const vqtest::SweepCase& c : vqtest::sweepCases(263, 10, 40))
        for (const Mapping& m : kMappings)
            for (int32_t code : {4, 5, 6, 7})
                for (int kind : {k8u, k16u})
                    for (int ch : {1, 3}) {
                        const int e = elemSize(kind);
                        // Whole tiles (even sizes) when halving.
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
                        ASSERT_EQ(resizeSquarePixelGetBufferSize({0, 0, sw, sh}, roi, ch, code, &bytes), 0);
                        std::vector<std::vector<uint8_t>> results;
                        int32_t status = 0;
                        for (int path : vqtest::allPaths()) {
                            GuardedImage out(dw * ch * e, dh, c.dstAlign & ~(e - 1), c.dstGap * e, c.dstNegative);
                            out.copyAllFrom(initial);
                            GuardedImage buf(bytes, 1, path);
                            const int32_t st = squarePixel(path, kind, ch, src, size, out, roi, m.xf, m.yf, m.xs,
                                                           m.ys, code, buf.origin());
                            if (path == 0)
                                status = st;
                            ASSERT_EQ(st, status);
                            ASSERT_TRUE(out.guardsIntact() && buf.guardsIntact());
                            results.push_back(out.pixels());
                        }
                        const std::string what = std::string(kindName(kind)) + " C" + std::to_string(ch) +
                                                 " code " + std::to_string(code) + " factors " +
                                                 std::to_string(m.xf) + "," + std::to_string(m.yf) + " " +
                                                 c.describe();
                        for (size_t p = 1; p < results.size(); ++p) {
                            ASSERT_EQ(results[p], results[1]) << "path " << p << " " << what;
                            if (kind == k8u && m.xf == 0.5 && (code == 4 || code == 6)) {
                                ASSERT_EQ(results[p], results[0]) << what;
                                continue;
                            }
                            for (size_t n = 0; n < results[0].size(); n += e) {
                                const double a = sampleAt(results[0].data(), kind, n / e);
                                const double b = sampleAt(results[p].data(), kind, n / e);
                                ASSERT_LE(std::fabs(a - b), 1.0) << "sample " << n / e << " " << what;
                            }
                        }
                    }
}

// The square-pixel body with each path's kernel set for cubic codes, every
// kind and layout (16s, 32f, AC4, C4 and planar images, which no entry
// passes): identical across paths 1-5, within one level (floats within
// rounding) of path 0, the fourth sample of AC4 pixels kept and nothing
// written outside the region.
TEST(ResamplePathsCubic, SquarePixelBodiesAgreeAcrossPaths) {
    std::mt19937 rng(264);
    for (int kind : {k8u, k16u, k32f, k16s})
        for (const BodyLayout& lay : kBodyLayouts)
            for (const Mapping& m : kMappings)
                for (int32_t code : {4, 5, 6, 7}) {
                    BodyCase bc(kind, lay, m, code, rng);
                    if (!bc.fills())
                        continue; // the region misses the source
                    bool intact = false;
                    const auto base = bc.run(0, &intact);
                    ASSERT_TRUE(intact) << bc.what;
                    std::vector<std::vector<uint8_t>> first;
                    for (int path : vqtest::supportedPaths()) {
                        const auto got = bc.run(path, &intact);
                        const std::string what = vqtest::pathName(path) + " " + bc.what;
                        ASSERT_TRUE(intact) << what;
                        if (first.empty())
                            first = got;
                        ASSERT_EQ(got, first) << what;
                        for (size_t p = 0; p < got.size(); ++p)
                            ASSERT_TRUE(samplesClose(kind, got[p], base[p], 1, 16 * ulpOf(bc.magnitude))) << what;
                        if (lay.pixelStride == 4 && lay.channels == 3) {
                            const int e = elemSize(kind);
                            const std::vector<uint8_t> initial = bc.initialPixels();
                            for (size_t n = 3 * size_t(e); n < initial.size(); n += 4 * size_t(e))
                                ASSERT_EQ(0, std::memcmp(&got[0][n], &initial[n], e)) << what;
                        }
                    }
                }
}

namespace {

// A term of an ordered sum: a value times a weight.
struct Term {
    float value, weight;
};
// Left fold of the products in the order given: ((t0 + t1) + t2) + ...
float foldProducts(const std::vector<Term>& terms) {
    float s = terms[0].value * terms[0].weight;
    for (size_t n = 1; n < terms.size(); ++n)
        s = s + terms[n].value * terms[n].weight;
    return s;
}

// Growing source positions of `count` destination rows or columns over an
// extent: halving, enlarging by 4, or random, always inside (-1, extent).
std::vector<double> framePositions(int scenario, int count, int extent, std::mt19937& rng) {
    std::vector<double> p;
    for (int i = 0; i < count; ++i) {
        if (scenario == 0)
            p.push_back(2.0 * i + 0.5);
        else if (scenario == 1)
            p.push_back((i + 0.5) / 4.0 - 0.5);
        else
            p.push_back(-1.0 + (extent + 1.0) * (i + 0.5 + 0.45 * ((rng() % 1000) / 1000.0 - 0.5)) / count);
    }
    return p;
}

} // namespace

// Every path's cubic border passes write exactly the frame whose taps leave
// the source (first and last rows and, between them, the side columns),
// taps clamped to the image: paths 1-5 bit for bit the single-precision
// sums in their stated orders (edge taps merged in the side columns and the
// top rows), path 0 within one level, every integer result within one level
// of the exact value; halving, enlarging by 4 and 4 x 4 sources.
TEST(ResamplePathsCubic, BorderPassesWriteTheFrame) {
    std::mt19937 rng(265);
    for (int path : vqtest::allPaths())
        for (int kind : {k8u, k16u, k32f, k16s})
            for (const Shape& shape : kShapes)
                for (int trial = 0; trial < 9; ++trial) {
                    const int scenario = trial % 3;
                    const int srcW = trial < 3 ? 4 : 4 + int(rng() % 9), srcH = trial < 3 ? 4 : 4 + int(rng() % 9);
                    const int width = scenario == 0 ? srcW / 2 : scenario == 1 ? 4 * srcW : 1 + int(rng() % 20);
                    const int height = scenario == 0 ? srcH / 2 : scenario == 1 ? 4 * srcH : 1 + int(rng() % 14);
                    const int code = 4 + int(rng() % 4);
                    RoutineCase rc(kind, shape, width, height, srcW, srcH, rng);
                    const std::vector<double> ys = framePositions(scenario, height, srcH, rng);
                    const std::vector<double> xs = framePositions(scenario, width, srcW, rng);
                    std::vector<int32_t> rowOffsets, colOffsets;
                    std::vector<float> rowT, colT;
                    int counts[8] = {}; // y < 0, y >= H - 1, x < 0, x >= W - 1, then y < 1, y >= H - 2, ...
                    for (double y : ys) {
                        rowOffsets.push_back(int32_t(std::floor(y)) * rc.srcStepE);
                        rowT.push_back(float(y - std::floor(y)));
                        counts[0] += y < 0, counts[1] += y >= srcH - 1, counts[4] += y < 1, counts[5] += y >= srcH - 2;
                    }
                    for (double x : xs) {
                        colOffsets.push_back(int32_t(std::floor(x)) * rc.next);
                        colT.push_back(float(x - std::floor(x)));
                        counts[2] += x < 0, counts[3] += x >= srcW - 1, counts[6] += x < 1, counts[7] += x >= srcW - 2;
                    }
                    const std::vector<float> rw = weightsFor(rowT, code), cw = weightsFor(colT, code);

                    auto sample = [&](int r, int c, int k) {
                        return float(sampleAt(rc.src.row(r), kind, int64_t(c) * rc.next + k));
                    };
                    auto clampTo = [](int v, int n) { return v < 0 ? 0 : v > n - 1 ? n - 1 : v; };
                    for (int i = 0; i < height; ++i)
                        for (int j = 0; j < width; ++j) {
                            const bool topRow = i < counts[4], bottomRow = i >= height - counts[5];
                            const bool leftCol = j < counts[6], rightCol = j >= width - counts[7];
                            if (!topRow && !bottomRow && !leftCol && !rightCol)
                                continue;
                            const int fy = int(std::floor(ys[i])), fx = int(std::floor(xs[j]));
                            const float* wy = &rw[4 * i];
                            const float* wx = &cw[4 * j];
                            for (int k = 0; k < shape.channels; ++k) {
                                // One source row's horizontal sum.
                                auto across = [&](int r, bool tapOneFirst) {
                                    std::vector<Term> t;
                                    if (topRow || bottomRow) {
                                        for (int c : tapOneFirst ? std::vector<int>{1, 2, 3, 0}
                                                                 : std::vector<int>{3, 2, 1, 0})
                                            t.push_back({sample(r, clampTo(fx - 1 + c, srcW), k), wx[c]});
                                    } else if (leftCol && fx < 0) {
                                        t = {{sample(r, 1, k), wx[3]}, {sample(r, 0, k), (wx[0] + wx[1]) + wx[2]}};
                                    } else if (leftCol) {
                                        t = {{sample(r, 2, k), wx[3]}, {sample(r, 1, k), wx[2]},
                                             {sample(r, 0, k), wx[0] + wx[1]}};
                                    } else if (fx > srcW - 2) {
                                        t = {{sample(r, srcW - 1, k), (wx[1] + wx[2]) + wx[3]},
                                             {sample(r, srcW - 2, k), wx[0]}};
                                    } else {
                                        t = {{sample(r, srcW - 1, k), wx[2] + wx[3]},
                                             {sample(r, srcW - 2, k), wx[1]},
                                             {sample(r, srcW - 3, k), wx[0]}};
                                    }
                                    return foldProducts(t);
                                };
                                std::vector<Term> v;
                                if (topRow && fy < 0) {
                                    v = {{across(1, false), wy[3]}, {across(0, false), (wy[0] + wy[1]) + wy[2]}};
                                } else if (topRow) {
                                    v = {{across(1, false), wy[2]}, {across(2, false), wy[3]},
                                         {across(0, false), wy[0] + wy[1]}};
                                } else {
                                    int rows[4];
                                    for (int r = 0; r < 4; ++r)
                                        rows[r] = bottomRow ? (fy > srcH - 2 ? std::min(srcH - 2 + r, srcH - 1)
                                                                             : std::min(srcH - 3 + r, srcH - 1))
                                                            : fy - 1 + r;
                                    for (int r : {1, 2, 3, 0})
                                        v.push_back({across(rows[r], bottomRow && r == 1), wy[r]});
                                }
                                const float s = foldProducts(v);
                                double out = s;
                                if (kind != k32f) {
                                    // Rounded from the double of the float sum, halves away from zero.
                                    const double d = s;
                                    out = roundExact(kind, d > 0 ? std::trunc(d + 0.5000001) - 0.0
                                                               : (kind == k16s ? std::trunc((d - 1e-7) - 0.5) : 0.0));
                                    double exact = 0;
                                    for (int r = 0; r < 4; ++r)
                                        for (int c = 0; c < 4; ++c)
                                            exact += double(sample(clampTo(fy - 1 + r, srcH), clampTo(fx - 1 + c, srcW),
                                                                   k)) *
                                                     wy[r] * wx[c];
                                    ASSERT_LE(std::fabs(out - roundExact(kind, exact)), 1.0) << exact;
                                }
                                storeSample(rc.want.row(i), kind, int64_t(j) * shape.stride + k, out);
                            }
                        }
                    const ResizeSqKernels& ks = *resizeSqKernelSets[path];
                    (shape.plane ? ks.borderCubicPlane : ks.borderCubicPixel)[kind](
                        rc.src.origin(), rc.dst.origin(), rc.srcStepE, rc.dst.step() / rc.e, srcW, srcH, width, height,
                        rowOffsets.data(), colOffsets.data(), rw.data(), cw.data(), counts[0], counts[1], counts[2],
                        counts[3], counts[4], counts[5], counts[6], counts[7], shape.stride, shape.channels);
                    ASSERT_TRUE(matchesFormulas(path, kind, rc.dst, rc.want, kind == k32f ? maxMagnitude(rc.src) : 0,
                                                16, 1))
                        << describe(path, kind, shape.name, width, height) << " from " << srcW << "x" << srcH
                        << " code " << code << " scenario " << scenario;
                }
}

namespace {

// The general engine's cubic by the evaluation orders of its sample
// classes: 0 vector rows, 1 vector rows of floats, 2 vector columns,
// 3 scalar rows, 4 scalar columns, 5 float three-of-four columns.
float lagrangeInOrder(int order, float a, float b, float c, float d, float t) {
    const float third = 0.333333313465118408203125f;
    const float s1 = t + 1.0f;
    const bool vectorOrder = order <= 2;
    const float h = vectorOrder ? (t * 0.5f) * s1 : (t * s1) * 0.5f;
    const float g = order == 1 ? (t - 1.0f) * (h * third)
                    : vectorOrder ? ((t - 1.0f) * third) * h
                                  : ((t - 1.0f) * h) / 3.0f;
    const float d1 = b - a;
    switch (order) {
    case 5: {
        const float d2 = (c - d1) - b;
        const float d3 = (((d - d2) - c) - c) + b;
        return ((g * d3 + h * d2) + s1 * d1) + a;
    }
    case 3: {
        const float d2 = (c - b) - d1;
        const float d3 = (((b - c) - c) + d) - d2;
        return ((a + g * d3) + h * d2) + s1 * d1;
    }
    case 4: {
        const float d2 = (c - b) - d1;
        const float d3 = (((d - c) - c) + b) - d2;
        return ((a + g * d3) + h * d2) + s1 * d1;
    }
    case 2: {
        const float d2 = (c - b) - d1;
        const float d3 = (d - d2) + ((b - c) - c);
        return (a + s1 * d1) + (h * d2 + g * d3);
    }
    default: {
        const float d2 = (c - b) - d1;
        const float d3 = ((d - c) - c) + (b - d2);
        return (a + s1 * d1) + (h * d2 + g * d3);
    }
    }
}

// A column value to the kind: vector orders add the float 0.50000012,
// scalar orders 0.5000001 in double; truncation, saturation.
double generalSample(int kind, bool vectorOrder, float v) {
    if (kind == k32f)
        return v;
    const double hi = kind == k8u ? 255 : 65535;
    const double x = vectorOrder ? double(v + 0.50000012f) : double(v) + 0.5000001;
    if (!(std::fabs(x) < 2147483648.0))
        return 0;
    const double n = std::trunc(x);
    return n < 0 ? 0 : n > hi ? hi : n;
}

// The exact Lagrange cubic through four points at t.
double lagrangeExact(double a, double b, double c, double d, double t) {
    return a * (-t * (t - 1) * (t - 2) / 6) + b * ((t + 1) * (t - 1) * (t - 2) / 2) +
           c * (-(t + 1) * t * (t - 2) / 2) + d * ((t + 1) * t * (t - 1) / 6);
}

} // namespace

// Every path's general-engine cubic routines: paths 1-5 bit for bit the
// single-precision evaluation orders of each class of samples (groups of
// four and remainders of one-sample rows and of column runs, pixel rows,
// three-of-four columns), path 0 within one level; every integer result
// within one level of the exact cubic. Fractions run from -1 to 2.
TEST(ResamplePathsCubic, GeneralRoutinesFollowTheArithmetic) {
    std::mt19937 rng(266);
    for (int path : vqtest::allPaths())
        for (int kind : {k8u, k16u, k32f})
            for (const Shape& shape : kShapes)
                for (int trial = 0; trial < 8; ++trial) {
                    const int width = 1 + int(rng() % 23), height = 1 + int(rng() % 9);
                    const int srcCols = 4 + int(rng() % 20), srcRows = 4 + int(rng() % 14);
                    RoutineCase rc(kind, shape, width, height, srcCols, srcRows, rng);
                    const std::vector<int> rows = cubicTapRows(height, srcRows, rng);
                    std::vector<int32_t> rowOffsets, colOffsets;
                    std::vector<float> rowT, colT;
                    auto fraction = [&] {
                        const uint32_t r = rng() % 12;
                        return r < 4 ? float(r) - 1.0f : -1.0f + 3.0f * float(rng() % 100000) / 100000.0f;
                    };
                    for (int r : rows) {
                        rowOffsets.push_back(r * rc.srcStepE);
                        rowT.push_back(fraction());
                    }
                    for (int j = 0; j < width; ++j) {
                        colOffsets.push_back((1 + int(rng() % (srcCols - 3))) * rc.next);
                        colT.push_back(fraction());
                    }
                    const bool threeOfFour = shape.stride != shape.channels;
                    const int count = threeOfFour ? 3 * width : width * shape.channels;
                    const int rowWhole = width & ~3, columnWhole = count & ~3;
                    for (int i = 0; i < height; ++i)
                        for (int j = 0; j < width; ++j)
                            for (int k = 0; k < shape.channels; ++k) {
                                float v[4];
                                double exactRows[4];
                                for (int r = 0; r < 4; ++r) {
                                    double tap[4];
                                    for (int c = 0; c < 4; ++c)
                                        tap[c] = sampleAt(rc.src.row(rows[i] + r - 1), kind,
                                                          colOffsets[j] + (c - 1) * rc.next + k);
                                    const int order = !shape.plane ? 0 : j < rowWhole ? (kind == k32f ? 1 : 0) : 3;
                                    v[r] = lagrangeInOrder(order, float(tap[0]), float(tap[1]), float(tap[2]),
                                                           float(tap[3]), colT[j]);
                                    exactRows[r] = lagrangeExact(tap[0], tap[1], tap[2], tap[3], colT[j]);
                                }
                                const int n = j * shape.channels + k; // the work sample
                                const bool vectorOrder = n < columnWhole && !(threeOfFour && kind == k32f);
                                const int order = vectorOrder ? 2 : threeOfFour && kind == k32f ? 5 : 4;
                                const double out = generalSample(
                                    kind, vectorOrder, lagrangeInOrder(order, v[0], v[1], v[2], v[3], rowT[i]));
                                if (kind != k32f) {
                                    const double exact = lagrangeExact(exactRows[0], exactRows[1], exactRows[2],
                                                                       exactRows[3], rowT[i]);
                                    ASSERT_LE(std::fabs(out - roundExact(kind, exact)), 1.0) << exact;
                                }
                                storeSample(rc.want.row(i), kind, int64_t(j) * shape.stride + k, out);
                            }
                    const size_t workBytes = 4 * size_t(width) * shape.channels;
                    Scratch w0(workBytes), w1(workBytes), w2(workBytes), w3(workBytes);
                    const int entry = kind + (shape.plane ? 3 : 0);
                    resizeRowRoutineTables[path]->genCubic[entry](
                        rc.src.origin(), rc.dst.origin(), rc.srcStepE, rc.dst.step() / rc.e, width, height,
                        rowOffsets.data(), colOffsets.data(), rowT.data(), colT.data(),
                        reinterpret_cast<float*>(w0.data()), reinterpret_cast<float*>(w1.data()),
                        reinterpret_cast<float*>(w2.data()), reinterpret_cast<float*>(w3.data()), shape.stride,
                        shape.channels);
                    const std::string what = describe(path, kind, shape.name, width, height);
                    ASSERT_TRUE(w0.guardsIntact() && w1.guardsIntact() && w2.guardsIntact() && w3.guardsIntact())
                        << what;
                    ASSERT_TRUE(matchesFormulas(path, kind, rc.dst, rc.want, kind == k32f ? maxMagnitude(rc.src) : 0,
                                                64, 1))
                        << what;
                }
}

// Fractions -1, 0, 1 and 2 reproduce the taps a, b, c and d exactly for 8u
// and 16u samples, in every order (widths 1 to 9 put positions into the
// groups of four and the remainders) on every path.
TEST(ResamplePathsCubic, GeneralEdgeFractionsReproduceTheTaps) {
    std::mt19937 rng(267);
    for (int path : vqtest::allPaths())
        for (int kind : {k8u, k16u})
            for (int width = 1; width <= 9; ++width) {
                const Shape& shape = kShapes[0];
                RoutineCase rc(kind, shape, width, 4, 8, 8, rng);
                std::vector<int32_t> rowOffsets, colOffsets;
                std::vector<float> rowT, colT;
                for (int i = 0; i < 4; ++i) {
                    rowOffsets.push_back(3 * rc.srcStepE);
                    rowT.push_back(float(i) - 1.0f);
                }
                for (int j = 0; j < width; ++j) {
                    colOffsets.push_back(1 + j % 4);
                    colT.push_back(float(j % 4) - 1.0f);
                }
                alignas(32) float w[4][16] = {};
                resizeRowRoutineTables[path]->genCubic[3 + kind](
                    rc.src.origin(), rc.dst.origin(), rc.srcStepE, rc.dst.step() / rc.e, width, 4, rowOffsets.data(),
                    colOffsets.data(), rowT.data(), colT.data(), w[0], w[1], w[2], w[3], 0, 0);
                for (int i = 0; i < 4; ++i)
                    for (int j = 0; j < width; ++j) {
                        // The tap at fraction t from row 3 and column 1 + j % 4.
                        const double want = sampleAt(rc.src.row(3 + (i - 1)), kind, (1 + j % 4) + (j % 4 - 1));
                        ASSERT_EQ(sampleAt(rc.dst.row(i), kind, j), want)
                            << vqtest::pathName(path) << " " << kindName(kind) << " width " << width << " row " << i
                            << " column " << j;
                    }
            }
}

// The general engine's cubic entries (8u and 16u with one and three
// channels, 32f with three) with factors 0.5, 1, 2 and random factors:
// identical across paths 1-5 and within one level of path 0 (floats within
// rounding); nothing written outside the destination.
TEST(ResamplePathsCubic, GeneralEntriesAgreeAcrossPaths) {
    std::mt19937 rng(268);
    for (const vqtest::SweepCase& c : vqtest::sweepCases(268, 12, 36))
        for (double factor : {0.5, 1.0, 2.0, -1.0})
            for (int kind : {k8u, k16u, k32f})
                for (int ch : {1, 3}) {
                    if (kind == k32f && ch == 1)
                        continue; // float has the three-channel entry only
                    const int e = elemSize(kind);
                    const double xf = factor > 0 ? factor : 0.3 + 2.0 * (rng() % 1000) / 1000.0;
                    const double yf = factor > 0 ? factor : 0.3 + 2.0 * (rng() % 1000) / 1000.0;
                    const PrimSize dstSize{int(c.width * xf) + 1, int(c.height * yf) + 1};
                    GuardedImage src(c.width * ch * e, c.height, c.srcAlign & ~(e - 1), c.srcGap * e, c.srcNegative);
                    fillSamples(src, kind, rng);
                    GuardedImage initial(dstSize.width * ch * e, dstSize.height, c.dstAlign & ~(e - 1), c.dstGap * e,
                                         c.dstNegative);
                    initial.fillRandom(rng);
                    const PrimSize s{c.width, c.height};
                    const PrimRect r{0, 0, c.width, c.height};
                    std::vector<std::vector<uint8_t>> results;
                    std::vector<int32_t> statuses;
                    for (int path : vqtest::allPaths()) {
                        GuardedImage d(dstSize.width * ch * e, dstSize.height, c.dstAlign & ~(e - 1), c.dstGap * e,
                                       c.dstNegative);
                        d.copyAllFrom(initial);
                        int32_t st;
                        if (kind == k8u)
                            st = (ch == 1 ? resizeByFactors8uC1Table : resizeByFactors8uC3Table)[path](
                                src.origin(), s, src.step(), r, d.origin(), d.step(), dstSize, xf, yf, 4);
                        else if (kind == k16u)
                            st = (ch == 1 ? resizeByFactors16uC1Table : resizeByFactors16uC3Table)[path](
                                src.as<uint16_t>(), s, src.step(), r, d.as<uint16_t>(), d.step(), dstSize, xf, yf, 4);
                        else
                            st = resizeByFactors32fC3Table[path](src.as<float>(), s, src.step(), r, d.as<float>(),
                                                                 d.step(), dstSize, xf, yf, 4);
                        ASSERT_TRUE(d.guardsIntact());
                        statuses.push_back(st);
                        results.push_back(d.pixels());
                    }
                    const std::string what = std::string(kindName(kind)) + " C" + std::to_string(ch) + " factors " +
                                             std::to_string(xf) + "," + std::to_string(yf) + " " + c.describe();
                    for (size_t p = 1; p < results.size(); ++p) {
                        ASSERT_EQ(statuses[p], statuses[0]) << what;
                        ASSERT_EQ(results[p], results[1]) << "path " << p << " " << what;
                        ASSERT_TRUE(samplesClose(kind, results[p], results[0], 1, 64 * ulpOf(maxMagnitude(src))))
                            << what;
                    }
                }
}
