// Nearest and linear families of both resize engines on every processor
// path. The row routines and border passes of each path are checked against
// the fixed-point and single-precision formulas written out here; the
// engines of paths 1-5 against path 0, which must give the same integer
// samples and float samples within rounding.
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

// ---------------------------------------------------------------------------
// The formulas.

// Floor division by 2^shift of a signed sum.
int64_t floorShift(int64_t v, int shift) {
    const int64_t d = int64_t(1) << shift;
    return v >= 0 ? v / d : -((-v + d - 1) / d);
}

// Horizontal stage: a work value from the two taps and the weight pair (or
// the float fraction) of a column.
double rowStage(int kind, double a, double b, int64_t w0, int64_t w1, float t) {
    switch (kind) {
    case k8u:
        return double(floorShift(int64_t(a) * w0 + int64_t(b) * w1 + 128, 8));
    case k16u:
    case k16s:
        return double(floorShift(int64_t(a) * w0 + int64_t(b) * w1 + 8192, 14));
    default: {
        const float fa = float(a), fb = float(b);
        const float diff = fb - fa;
        const float prod = diff * t;
        const float sum = fa + prod;
        return sum;
    }
    }
}

// Vertical stage: a destination sample from the upper and lower work values.
double columnStage(int kind, double u, double l, int64_t f, float t) {
    switch (kind) {
    case k8u: {
        const int64_t v = floorShift(int64_t(u) * (16384 - f) + int64_t(l) * f + 524288, 20);
        return double(v < 0 ? 0 : v > 255 ? 255 : v);
    }
    case k16u:
    case k16s:
        return double(floorShift(int64_t(u) * (16384 - f) + int64_t(l) * f + 8192, 14));
    default: {
        const float rest = 1.0f - t;
        const float pu = float(u) * rest;
        const float pl = float(l) * t;
        const float sum = pu + pl;
        return sum;
    }
    }
}

// The same two-tap blend in the border passes: one rounding of the exact
// fixed-point sum, or (1 - t) a + b t in single precision.
double borderStage(int kind, double a, double b, int64_t w0, int64_t w1, float t) {
    if (kind != k32f)
        return double(floorShift(int64_t(a) * w0 + int64_t(b) * w1 + 8192, 14));
    const float rest = 1.0f - t;
    const float pa = rest * float(a);
    const float pb = float(b) * t;
    const float sum = pa + pb;
    return sum;
}

// Weights of one axis: Q14 fractions for the integer kinds (0 and 16384
// among them) and float fractions for the float kind (0 and 1 among them).
struct AxisWeights {
    std::vector<uint16_t> q14;
    std::vector<float> t;
};
AxisWeights randomWeights(int count, std::mt19937& rng) {
    AxisWeights w;
    for (int i = 0; i < count; ++i) {
        const uint32_t r = rng() % 10;
        const uint16_t q = r == 0 ? 0 : r == 1 ? 16384 : uint16_t(rng() % 16385);
        w.q14.push_back(q);
        w.t.push_back(r == 0 ? 0.0f : r == 1 ? 1.0f : float(rng() % 1000000) / 1000000.0f);
    }
    return w;
}

// Tap-0 source rows of the destination rows: non-decreasing, staying put,
// moving one row or jumping, always with a row below inside the image.
std::vector<int> tapRows(int count, int srcRows, std::mt19937& rng) {
    std::vector<int> rows;
    int r = int(rng() % (srcRows - 1));
    for (int i = 0; i < count; ++i) {
        rows.push_back(r);
        const uint32_t move = rng() % 10;
        r += move < 3 ? 0 : move < 7 ? 1 : 2 + int(rng() % 2);
        if (r > srcRows - 2)
            r = srcRows - 2;
    }
    return rows;
}

} // namespace

// Every path's nearest routines copy the named source samples bit for bit
// (NaN patterns included), two pixels per step or one, and leave the fourth
// sample of three-of-four pixels and everything outside the region alone.
TEST(ResamplePathsLinear, NearestRoutinesCopyTheNamedSamples) {
    std::mt19937 rng(251);
    for (int path : vqtest::allPaths())
        for (int kind : {k8u, k16u, k32f, k16s})
            for (const Shape& shape : kShapes)
                for (int trial = 0; trial < 6; ++trial) {
                    const int e = elemSize(kind);
                    const int width = trial == 0 ? 0 : 1 + int(rng() % 23), height = trial == 1 ? 0 : 1 + int(rng() % 7);
                    const int srcCols = 1 + int(rng() % 20), srcRows = 1 + int(rng() % 9);
                    GuardedImage src = randomLayout(srcCols * shape.stride * e, srcRows, e, rng);
                    src.fillRandom(rng);
                    const int cols = width > 0 ? width : 1, rows = height > 0 ? height : 1;
                    GuardedImage dst = randomLayout(cols * shape.stride * e, rows, e, rng);
                    dst.fillRandom(rng);
                    GuardedImage want(cols * shape.stride * e, rows, 0, 0, false);
                    want.setPixels(dst.pixels());
                    std::vector<int32_t> rowOffsets, colOffsets;
                    const int srcStepE = src.step() / e;
                    for (int i = 0; i < rows; ++i)
                        rowOffsets.push_back(int(rng() % srcRows) * srcStepE);
                    for (int j = 0; j < cols; ++j)
                        colOffsets.push_back(int(rng() % srcCols) * shape.stride);
                    for (int i = 0; i < height; ++i)
                        for (int j = 0; j < width; ++j)
                            for (int k = 0; k < shape.channels; ++k)
                                std::memcpy(want.row(i) + (j * shape.stride + k) * e,
                                            src.origin() + (int64_t(rowOffsets[i]) + colOffsets[j] + k) * e, e);
                    const int group = shape.plane ? 4 : shape.channels == 4 ? 8 : 0;
                    resizeRowRoutineTables[path]->nearest[group + kind](src.origin(), dst.origin(), dst.step() / e,
                                                                        width, height, rowOffsets.data(),
                                                                        colOffsets.data(), shape.stride);
                    ASSERT_TRUE(matchesFormulas(path, kind, dst, want, 0, 0))
                        << describe(path, kind, shape.name, width, height);
                }
}

// Every path's linear routines compute the fixed-point formulas exactly;
// paths 1-5 compute the float formulas in single precision in the stated
// order, path 0 within rounding of them. Row pairs are reused, moved on by
// one row or jumped; the source may be stored bottom-up.
TEST(ResamplePathsLinear, LinearRoutinesFollowTheFormulas) {
    std::mt19937 rng(252);
    for (int path : vqtest::allPaths())
        for (int kind : {k8u, k16u, k32f, k16s})
            for (const Shape& shape : kShapes)
                for (int trial = 0; trial < 8; ++trial) {
                    const int e = elemSize(kind);
                    const int width = 1 + int(rng() % 41), height = 1 + int(rng() % 9);
                    const int srcCols = 2 + int(rng() % 30), srcRows = 2 + int(rng() % 12);
                    RoutineCase rc(kind, shape, width, height, srcCols, srcRows, rng);
                    const int next = rc.next, srcStepE = rc.srcStepE;
                    GuardedImage &src = rc.src, &dst = rc.dst, &want = rc.want;
                    const std::vector<int> rows = tapRows(height, srcRows, rng);
                    std::vector<int32_t> rowOffsets, colOffsets;
                    for (int r : rows)
                        rowOffsets.push_back(r * srcStepE);
                    for (int j = 0; j < width; ++j)
                        colOffsets.push_back(int(rng() % (srcCols - 1)) * next);
                    const AxisWeights rw = randomWeights(height, rng), cw = randomWeights(width, rng);
                    std::vector<uint16_t> pairs;
                    for (uint16_t f : cw.q14) {
                        pairs.push_back(uint16_t(16384 - f));
                        pairs.push_back(f);
                    }
                    const bool isFloat = kind == k32f;
                    const int workLength = (width + 4) * shape.channels;
                    Scratch work0(size_t(workLength) * (isFloat ? 4 : 2)), work1(size_t(workLength) * (isFloat ? 4 : 2));

                    for (int i = 0; i < height; ++i)
                        for (int j = 0; j < width; ++j)
                            for (int k = 0; k < shape.channels; ++k) {
                                const uint8_t* upper = src.row(rows[i]);
                                const uint8_t* lower = src.row(rows[i] + 1);
                                const int64_t a = colOffsets[j] + k, b = a + next;
                                const float t = cw.t[j];
                                const double u = rowStage(kind, sampleAt(upper, kind, a), sampleAt(upper, kind, b),
                                                          pairs[2 * j], pairs[2 * j + 1], t);
                                const double l = rowStage(kind, sampleAt(lower, kind, a), sampleAt(lower, kind, b),
                                                          pairs[2 * j], pairs[2 * j + 1], t);
                                storeSample(want.row(i), kind, int64_t(j) * shape.stride + k,
                                            columnStage(kind, u, l, rw.q14[i], rw.t[i]));
                            }
                    const int entry = kind + (shape.plane ? 4 : 0);
                    const void* rowWeights = isFloat ? static_cast<const void*>(rw.t.data()) : rw.q14.data();
                    const void* colWeights = isFloat ? static_cast<const void*>(cw.t.data()) : pairs.data();
                    resizeRowRoutineTables[path]->linear[entry](
                        src.origin(), dst.origin(), srcStepE, dst.step() / e, width, height, rowOffsets.data(),
                        colOffsets.data(), rowWeights, colWeights, work0.data(), work1.data(), shape.stride,
                        shape.channels);

                    const std::string what = describe(path, kind, shape.name, width, height);
                    ASSERT_TRUE(work0.guardsIntact() && work1.guardsIntact()) << what;
                    ASSERT_TRUE(matchesFormulas(path, kind, dst, want, isFloat ? maxMagnitude(src) : 0, 4)) << what;
                }
}

// Worked values: 8u taps 10 and 20 at a quarter give the work value 800, and
// a half between work values 800 and 1600 gives 19; 16s taps -2 and -1 at a
// half give -1; the fourth sample of an AC4 pixel survives.
TEST(ResamplePathsLinear, WorkedValues) {
    for (int path : vqtest::allPaths()) {
        const ResizeRowRoutineTable& t = *resizeRowRoutineTables[path];
        alignas(32) int16_t work0[16] = {}, work1[16] = {};
        {
            const uint8_t src[4] = {10, 20, 20, 40};
            const int32_t rowOffsets[1] = {0}, colOffsets[1] = {0};
            const uint16_t rw[1] = {8192}, cw[2] = {12288, 4096};
            uint8_t dst[1] = {0};
            t.linear[4](src, dst, 2, 1, 1, 1, rowOffsets, colOffsets, rw, cw, work0, work1, 0, 0);
            EXPECT_EQ(dst[0], 19) << vqtest::pathName(path);
        }
        {
            const int16_t src[4] = {-2, -1, -2, -1};
            const int32_t rowOffsets[1] = {0}, colOffsets[1] = {0};
            const int16_t rw[1] = {0}, cw[2] = {8192, 8192};
            int16_t dst[1] = {0};
            t.linear[7](src, dst, 2, 1, 1, 1, rowOffsets, colOffsets, rw, cw, work0, work1, 0, 0);
            EXPECT_EQ(dst[0], -1) << vqtest::pathName(path);
        }
        {
            // AC4: samples 0-2 from taps 0 and 255 at a half, sample 3 kept.
            const uint8_t src[16] = {0, 0, 0, 7, 255, 255, 255, 9, 0, 0, 0, 7, 255, 255, 255, 9};
            const int32_t rowOffsets[1] = {0}, colOffsets[1] = {0};
            const uint16_t rw[1] = {0}, cw[2] = {8192, 8192};
            uint8_t dst[4] = {1, 2, 3, 0xEE};
            t.linear[0](src, dst, 8, 4, 1, 1, rowOffsets, colOffsets, rw, cw, work0, work1, 4, 3);
            EXPECT_EQ(dst[0], 128);
            EXPECT_EQ(dst[2], 128);
            EXPECT_EQ(dst[3], 0xEE) << vqtest::pathName(path);
        }
    }
}

// Every path's linear border passes write the frame whose taps leave the
// source: whole rows along the first or last source row, the side columns of
// the rows between along the first or last source column, taps clamped;
// nothing inside the frame and nothing outside the region is written.
TEST(ResamplePathsLinear, BorderPassesWriteTheFrame) {
    std::mt19937 rng(253);
    for (int path : vqtest::allPaths())
        for (int kind : {k8u, k16u, k32f, k16s})
            for (const Shape& shape : kShapes)
                for (int trial = 0; trial < 10; ++trial) {
                    const int e = elemSize(kind);
                    const int srcW = 1 + int(rng() % 9), srcH = 1 + int(rng() % 9);
                    const int width = 1 + int(rng() % 25), height = 1 + int(rng() % 12);
                    const int next = shape.plane ? 1 : shape.stride;
                    GuardedImage src = randomLayout(srcW * shape.stride * e, srcH, e, rng);
                    fillSamples(src, kind, rng);
                    GuardedImage dst = randomLayout(width * shape.stride * e, height, e, rng);
                    dst.fillRandom(rng);
                    GuardedImage want(width * shape.stride * e, height, 0, 0, false);
                    want.setPixels(dst.pixels());

                    // Growing positions in (-1, extent), as the body maps them.
                    auto positions = [&](int count, int extent) {
                        std::vector<double> p;
                        for (int i = 0; i < count; ++i)
                            p.push_back(-1.0 + (extent + 1.0) * (i + 0.5 + 0.4 * ((rng() % 1000) / 1000.0 - 0.5)) /
                                                   count);
                        return p;
                    };
                    const std::vector<double> ys = positions(height, srcH), xs = positions(width, srcW);
                    std::vector<int32_t> rowOffsets, colOffsets;
                    std::vector<uint16_t> rowQ, colQ;
                    std::vector<float> rowT, colT;
                    int top = 0, bottom = 0, left = 0, right = 0;
                    const int srcStepE = src.step() / e;
                    for (double y : ys) {
                        const double f = std::floor(y);
                        rowOffsets.push_back(int32_t(f) * srcStepE);
                        rowQ.push_back(uint16_t(int((y - f) * 16384.0 + 1e-7)));
                        rowT.push_back(float(y - f));
                        top += y < 0;
                        bottom += y >= srcH - 1;
                    }
                    for (double x : xs) {
                        const double f = std::floor(x);
                        colOffsets.push_back(int32_t(f) * next);
                        const int q = int((x - f) * 16384.0 + 1e-7);
                        colQ.push_back(uint16_t(16384 - q));
                        colQ.push_back(uint16_t(q));
                        colT.push_back(float(x - f));
                        left += x < 0;
                        right += x >= srcW - 1;
                    }
                    auto clampCol = [&](int c) { return c < 0 ? 0 : c > srcW - 1 ? srcW - 1 : c; };
                    for (int i = 0; i < height; ++i)
                        for (int j = 0; j < width; ++j) {
                            const bool edgeRow = i < top || i >= height - bottom;
                            const bool edgeCol = j < left || j >= width - right;
                            if (!edgeRow && !edgeCol)
                                continue;
                            for (int k = 0; k < shape.channels; ++k) {
                                double v;
                                if (edgeRow) {
                                    const uint8_t* row = src.row(i < top ? 0 : srcH - 1);
                                    const int c = int(std::floor(xs[j]));
                                    v = borderStage(kind, sampleAt(row, kind, int64_t(clampCol(c)) * next + k),
                                                    sampleAt(row, kind, int64_t(clampCol(c + 1)) * next + k),
                                                    colQ[2 * j], colQ[2 * j + 1], colT[j]);
                                } else {
                                    const int r = int(std::floor(ys[i]));
                                    const int64_t c = int64_t(j < left ? 0 : srcW - 1) * next + k;
                                    v = borderStage(kind, sampleAt(src.row(r), kind, c),
                                                    sampleAt(src.row(r + 1), kind, c), 16384 - rowQ[i], rowQ[i], rowT[i]);
                                }
                                storeSample(want.row(i), kind, int64_t(j) * shape.stride + k, v);
                            }
                        }
                    const ResizeSqKernels& ks = *resizeSqKernelSets[path];
                    const SqBorderLinearFn pass = shape.plane ? ks.borderLinearPlane[kind] : ks.borderLinearPixel[kind];
                    const bool isFloat = kind == k32f;
                    pass(src.origin(), dst.origin(), srcStepE, dst.step() / e, srcW, srcH, width, height,
                         rowOffsets.data(), colOffsets.data(),
                         isFloat ? static_cast<const void*>(rowT.data()) : rowQ.data(),
                         isFloat ? static_cast<const void*>(colT.data()) : colQ.data(), top, bottom, left, right,
                         shape.stride, shape.channels);

                    ASSERT_TRUE(matchesFormulas(path, kind, dst, want, isFloat ? maxMagnitude(src) : 0, 2))
                        << describe(path, kind, shape.name, width, height) << " from " << srcW << "x" << srcH;
                }
}

// Every path's element moves give memmove's bytes for every overlap and
// refuse null pointers (-8) before counts below 1 (-6).
TEST(ResamplePathsLinear, ElementMovesHandleOverlap) {
    std::mt19937 rng(254);
    for (int path : vqtest::allPaths()) {
        const ResizeSqKernels& ks = *resizeSqKernelSets[path];
        for (int size : {2, 4}) {
            const ElementMoveFn move = size == 2 ? ks.move16s : ks.move32s;
            EXPECT_EQ(move(nullptr, &size, 0), -8);
            EXPECT_EQ(move(&size, &size, 0), -6);
            for (int count = 1; count <= 70; ++count)
                for (int shift : {-5, -1, 0, 1, 3, 17}) {
                    std::vector<uint8_t> a(size * 120), b;
                    for (auto& v : a)
                        v = uint8_t(rng());
                    b = a;
                    const int from = 20, to = 20 + shift;
                    ASSERT_EQ(move(a.data() + from * size, a.data() + to * size, count), 0);
                    std::memmove(b.data() + to * size, b.data() + from * size, size_t(count) * size);
                    ASSERT_EQ(a, b) << vqtest::pathName(path) << " size " << size << " count " << count << " shift "
                                    << shift;
                }
        }
    }
}

namespace {

const Mapping kMappings[] = {{0.5, 0.5, 0, 0},       {2.5, 3.0, 0.3, -0.7}, {4, 4, 0, 0},       {0.3, 0.23, 0.1, 0},
                             {0.45, 0.41, -0.3, 0.6}, {1, 1, 0.5, 0.25},     {0.2, 1.7, 0, -1.5}};

} // namespace

// The square-pixel entries (8u and 16u, one and three channels) of paths
// 1-5 give path 0's bytes for nearest and linear, with sources and
// destinations stored either way up, and write nothing outside the region
// or past the work buffer.
TEST(ResamplePathsLinear, SquarePixelEntriesMatchPathZero) {
    std::mt19937 rng(255);
    for (int path : vqtest::supportedPaths())
        for (const vqtest::SweepCase& c : vqtest::sweepCases(uint32_t(path) * 31, 10, 40))
            for (const Mapping& m : kMappings)
                for (int32_t code : {1, 2})
                    for (int kind : {k8u, k16u})
                        for (int ch : {1, 3}) {
                            const int e = elemSize(kind);
                            const PrimSize size{c.width, c.height};
                            const int dw = int(c.width * m.xf) + 3, dh = int(c.height * m.yf) + 3;
                            const PrimRect roi{1, 1, dw - 2, dh - 2};
                            GuardedImage src(c.width * ch * e, c.height, c.srcAlign & ~(e - 1), c.srcGap * e,
                                             c.srcNegative);
                            src.fillRandom(rng);
                            GuardedImage want(dw * ch * e, dh, c.dstAlign & ~(e - 1), c.dstGap * e, c.dstNegative);
                            want.fillRandom(rng);
                            GuardedImage got(dw * ch * e, dh, c.dstAlign & ~(e - 1), c.dstGap * e, c.dstNegative);
                            got.copyAllFrom(want);
                            int32_t bytes = 0;
                            ASSERT_EQ(resizeSquarePixelGetBufferSize({0, 0, c.width, c.height}, roi, ch, code, &bytes),
                                      0);
                            GuardedImage bufA(bytes, 1, c.srcAlign), bufB(bytes, 1, c.dstAlign);
                            const int32_t a = squarePixel(0, kind, ch, src, size, want, roi, m.xf, m.yf, m.xs, m.ys,
                                                          code, bufA.origin());
                            const int32_t b = squarePixel(path, kind, ch, src, size, got, roi, m.xf, m.yf, m.xs, m.ys,
                                                          code, bufB.origin());
                            const std::string what = vqtest::pathName(path) + " code " + std::to_string(code) + " " +
                                                     kindName(kind) + " C" + std::to_string(ch) + " factors " +
                                                     std::to_string(m.xf) + "," + std::to_string(m.yf) + " " +
                                                     c.describe();
                            ASSERT_EQ(a, b) << what;
                            ASSERT_TRUE(got.sameAllAs(want)) << what;
                            ASSERT_TRUE(got.guardsIntact() && bufB.guardsIntact()) << what;
                        }
}

// The general engine's entries of paths 1-5 give path 0's bytes for nearest
// and linear on 8u and 16u, and float samples within rounding.
TEST(ResamplePathsLinear, GeneralEntriesMatchPathZero) {
    std::mt19937 rng(256);
    for (int path : vqtest::supportedPaths())
        for (const vqtest::SweepCase& c : vqtest::sweepCases(uint32_t(path) * 37, 12, 36))
            for (const Mapping& m : kMappings)
                for (int32_t code : {1, 2})
                    for (int kind : {k8u, k16u, k32f})
                        for (int ch : {1, 3}) {
                            if (kind == k32f && ch == 1)
                                continue; // float has the three-channel entry only
                            const int e = elemSize(kind);
                            const PrimSize dstSize{int(c.width * m.xf) + 1, int(c.height * m.yf) + 1};
                            GuardedImage src(c.width * ch * e, c.height, c.srcAlign & ~(e - 1), c.srcGap * e,
                                             c.srcNegative);
                            fillSamples(src, kind, rng);
                            GuardedImage want(dstSize.width * ch * e, dstSize.height, c.dstAlign & ~(e - 1),
                                              c.dstGap * e, c.dstNegative);
                            want.fillRandom(rng);
                            GuardedImage got(dstSize.width * ch * e, dstSize.height, c.dstAlign & ~(e - 1),
                                             c.dstGap * e, c.dstNegative);
                            got.copyAllFrom(want);
                            const PrimSize s{c.width, c.height};
                            const PrimRect r{0, 0, c.width, c.height};
                            auto run = [&](int p, GuardedImage& d) {
                                if (kind == k8u)
                                    return (ch == 1 ? resizeByFactors8uC1Table : resizeByFactors8uC3Table)[p](
                                        src.origin(), s, src.step(), r, d.origin(), d.step(), dstSize, m.xf, m.yf,
                                        code);
                                if (kind == k16u)
                                    return (ch == 1 ? resizeByFactors16uC1Table : resizeByFactors16uC3Table)[p](
                                        src.as<uint16_t>(), s, src.step(), r, d.as<uint16_t>(), d.step(), dstSize,
                                        m.xf, m.yf, code);
                                return resizeByFactors32fC3Table[p](src.as<float>(), s, src.step(), r, d.as<float>(),
                                                                    d.step(), dstSize, m.xf, m.yf, code);
                            };
                            const std::string what = vqtest::pathName(path) + " code " + std::to_string(code) + " " +
                                                     kindName(kind) + " C" + std::to_string(ch) + " factors " +
                                                     std::to_string(m.xf) + "," + std::to_string(m.yf) + " " +
                                                     c.describe();
                            ASSERT_EQ(run(0, want), run(path, got)) << what;
                            if (kind == k32f && code == 2) {
                                std::string where;
                                ASSERT_TRUE(floatsClose(got, want, maxMagnitude(src), 4, &where)) << what << where;
                            } else {
                                ASSERT_TRUE(got.sameAllAs(want)) << what;
                            }
                            ASSERT_TRUE(got.guardsIntact()) << what;
                        }
}

// The square-pixel body with each path's kernel set, for every kind and
// layout (16s, 32f, AC4, C4 and planar images, which no entry passes): the
// integer kinds equal path 0, floats within rounding, the fourth sample of
// AC4 pixels is kept and nothing outside the region is written.
TEST(ResamplePathsLinear, SquarePixelBodiesMatchPathZero) {
    std::mt19937 rng(257);
    for (int path : vqtest::supportedPaths())
        for (int kind : {k8u, k16u, k32f, k16s})
            for (const BodyLayout& lay : kBodyLayouts)
                for (const Mapping& m : kMappings)
                    for (int32_t code : {1, 2}) {
                        BodyCase bc(kind, lay, m, code, rng);
                        if (!bc.fills())
                            continue; // the region misses the source
                        bool intact0 = false, intact = false;
                        const auto want = bc.run(0, &intact0);
                        const auto got = bc.run(path, &intact);
                        const std::string what = vqtest::pathName(path) + " " + bc.what;
                        ASSERT_TRUE(intact0 && intact) << what;
                        for (size_t p = 0; p < want.size(); ++p)
                            ASSERT_TRUE(samplesClose(kind, got[p], want[p], 0, code == 1 ? 0.0 : 4 * ulpOf(bc.magnitude)))
                                << what;
                        if (lay.pixelStride == 4 && lay.channels == 3) {
                            // The fourth sample of every pixel keeps its value.
                            const int e = elemSize(kind);
                            const std::vector<uint8_t> initial = bc.initialPixels();
                            for (size_t n = 3 * size_t(e); n < initial.size(); n += 4 * size_t(e))
                                ASSERT_EQ(0, std::memcmp(&got[0][n], &initial[n], e)) << what;
                        }
                    }
}

// Sources whose rows cannot be addressed with 32-bit element offsets are
// refused by both engines on every path before anything is read.
TEST(ResamplePathsLinear, UnaddressableSourcesAreRefused) {
    uint8_t src[64] = {}, dst[64] = {};
    alignas(16) uint8_t buffer[4096] = {};
    const PrimSize huge{16, 70000};
    const int32_t step = 40000; // 2.8e9 bytes of rows
    for (int path : vqtest::allPaths()) {
        for (int32_t code : {1, 2}) {
            EXPECT_EQ(resizeSquarePixel8uC1Table[path](src, huge, step, {0, 0, 16, 4}, dst, 8, {0, 0, 8, 2}, 0.5, 0.5,
                                                       0, 0, code, buffer),
                      primErrStep)
                << vqtest::pathName(path);
            EXPECT_EQ(resizeByFactors8uC1Table[path](src, huge, step, {0, 0, 16, 4}, dst, 8, {8, 2}, 0.5, 0.5, code),
                      primErrStep)
                << vqtest::pathName(path);
        }
    }
    for (uint8_t v : dst)
        EXPECT_EQ(v, 0);
}
