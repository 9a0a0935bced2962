// Coordinate-map row kernels, single-pixel cubic evaluators and the
// perspective row generator of the SIMD paths, against values worked out by
// hand from the sampling rules; every path gives the same bytes.
#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <limits>
#include <vector>

#include "primitives/rotate/kernels/remap.h"
#include "../rotate_fixture.h"

namespace {

using namespace rotatetest;

int combo(uint32_t code) { return int((code >> 3) * 6 + (code & 7)); }

// A source of `code` whose sample c of pixel (x, y) is 10 x + 3 y + c (8u
// and 16u) or that value plus a quarter (32f).
void fillRamp(KindImage& img)
{
    for (int y = 0; y < img.height(); ++y)
        for (int x = 0; x < img.width(); ++x)
            for (int c = 0; c < img.storedPerPixel(); ++c)
                img.set(x, y, c, 10 * x + 3 * y + c + ((img.code() >> 3) == 1 ? 0.25 : 0.0));
}

// Runs one kind of one path on the positions; returns the destination row,
// which starts filled with 77 in every sample.
struct RowRun {
    KindImage src, dst;
    RowRun(uint32_t code, int w, int h, int n) : src(code, w, h, 2), dst(code, n > 0 ? n : 1, 1)
    {
        fillRamp(src);
        for (int i = 0; i < dst.width(); ++i)
            for (int c = 0; c < dst.storedPerPixel(); ++c)
                dst.set(i, 0, c, 77);
    }
    double at(int i, int c) const { return dst.get(i, 0, c); }
};

TEST(Remap, NearestRoundsTiesToEvenAndSkipsBelowZero)
{
    for (int path : vqtest::supportedPaths())
        for (uint32_t code : kAllKinds) {
            const RemapKernels& k = *remapKernelSets[path];
            const std::vector<float> xs = {1.5f, 2.5f, -0.5f, 3.49f, std::numeric_limits<float>::quiet_NaN()};
            const std::vector<float> ys = {0.0f, 1.0f, 0.4f, 2.5f, 1.0f};
            RowRun run(code, 6, 4, 5);
            k.nearest[combo(code)](run.src.arg(), run.src.step(), run.dst.arg(), xs.data(), ys.data(), 5);
            const int want[][2] = {{2, 0}, {2, 1}, {0, 0}, {3, 2}};
            for (int c = 0; c < run.dst.storedPerPixel(); ++c) {
                const bool alpha = (code & 7) == 2 && c == 3;
                for (int i = 0; i < 4; ++i)
                    EXPECT_EQ(run.at(i, c), alpha ? 77 : run.src.get(want[i][0], want[i][1], c))
                        << kindName(code) << " pixel " << i;
                EXPECT_EQ(run.at(4, c), 77) << "NaN position skipped";
            }
            EXPECT_TRUE(run.dst.guardsIntact());
            // A count of 0 or less touches nothing.
            RowRun none(code, 6, 4, 1);
            k.nearest[combo(code)](none.src.arg(), none.src.step(), none.dst.arg(), xs.data(), ys.data(), -3);
            EXPECT_EQ(none.at(0, 0), 77);
        }
}

TEST(Remap, BoundedNearestTestsBeforeRounding)
{
    const float inf = std::numeric_limits<float>::infinity();
    const std::vector<float> xs = {0.0f, 9.0f, 9.3f, -0.2f, 4.0f, inf, std::numeric_limits<float>::quiet_NaN()};
    const std::vector<float> ys = {0.0f, 9.0f, 3.0f, 3.0f, -inf, 2.0f, 2.0f};
    for (int path : vqtest::supportedPaths())
        for (uint32_t code : {1u, 2u, 11u, 20u}) {
            RowRun run(code, 10, 10, 7);
            remapKernelSets[path]->nearestBounded[combo(code)](run.src.arg(), run.src.step(), run.dst.arg(),
                                                               xs.data(), ys.data(), 7, 0, 0, 9, 9);
            for (int c = 0; c < run.dst.storedPerPixel(); ++c) {
                const bool alpha = (code & 7) == 2 && c == 3;
                EXPECT_EQ(run.at(0, c), alpha ? 77 : run.src.get(0, 0, c));
                EXPECT_EQ(run.at(1, c), alpha ? 77 : run.src.get(9, 9, c));
                for (int i = 2; i < 7; ++i)
                    EXPECT_EQ(run.at(i, c), 77) << kindName(code) << " pixel " << i;
            }
            EXPECT_TRUE(run.dst.guardsIntact());
        }
}

TEST(Remap, LinearHandWorkedValues)
{
    for (int path : vqtest::supportedPaths()) {
        const RemapKernels& k = *remapKernelSets[path];
        // 8u, neighbours 0, 1 / 0, 1 at fx = 0.5: rounds down to 0.
        {
            KindImage src(0, 2, 2), dst(0, 1, 1);
            src.set(0, 0, 0, 0);
            src.set(0, 1, 0, 0);
            src.set(1, 0, 0, 1);
            src.set(1, 1, 0, 1);
            const float x = 0.5f, y = 0.0f;
            k.linear[combo(0)](src.arg(), src.step(), dst.arg(), &x, &y, 1, 1, 1);
            EXPECT_EQ(dst.get(0, 0, 0), 0);
        }
        // Last two columns 10 and 20, x half a column past the last: 8u keeps
        // the last column (capped weight), 32f extrapolates to 25.
        for (uint32_t code : {0u, 8u}) {
            KindImage src(code, 3, 2), dst(code, 1, 1);
            for (int y = 0; y < 2; ++y) {
                src.set(0, y, 0, 0);
                src.set(1, y, 0, 10);
                src.set(2, y, 0, 20);
            }
            const float x = 2.5f, y = 0.0f;
            k.linear[combo(code)](src.arg(), src.step(), dst.arg(), &x, &y, 1, 2, 1);
            EXPECT_EQ(dst.get(0, 0, 0), code == 0 ? 20 : 25);
        }
        // 16u: exact halves round to even (2.5 -> 2, 3.5 -> 4).
        {
            KindImage src(17, 3, 2), dst(17, 2, 1);
            for (int y = 0; y < 2; ++y)
                for (int c = 0; c < 3; ++c) {
                    src.set(0, y, c, 2);
                    src.set(1, y, c, 3);
                    src.set(2, y, c, 4);
                }
            const float xs[2] = {0.5f, 1.5f}, ys[2] = {0.0f, 1.0f};
            k.linear[combo(17)](src.arg(), src.step(), dst.arg(), xs, ys, 2, 2, 1);
            EXPECT_EQ(dst.get(0, 0, 1), 2);
            EXPECT_EQ(dst.get(1, 0, 2), 4);
        }
        // 32f C1 weight form: rows-first for every pixel but the last of a
        // call, which goes columns-first; the two differ in the last bit.
        {
            KindImage src(8, 2, 2), dst(8, 2, 1);
            src.set(0, 0, 0, 1.0);
            src.set(1, 0, 0, 2.0);
            src.set(0, 1, 0, 3.0);
            src.set(1, 1, 0, 5.0);
            const float xs[2] = {0.3f, 0.3f}, ys[2] = {0.7f, 0.7f};
            k.linear[combo(8)](src.arg(), src.step(), dst.arg(), xs, ys, 2, 1, 1);
            EXPECT_EQ(dst.get(0, 0, 0), 2.9100000858306885);
            EXPECT_EQ(dst.get(1, 0, 0), 2.9099998474121094);
            // The bounded kind keeps the rows-first order throughout.
            k.linearBounded[combo(8)](src.arg(), src.step(), dst.arg(), xs, ys, 2, 0, 0, 1, 1);
            EXPECT_EQ(dst.get(1, 0, 0), 2.9100000858306885);
        }
    }
}

// Whole positions give the sample, last column and row included; bounded
// positions outside the rectangle by a fraction are skipped; AC4 alpha and
// skipped pixels keep their value; paths agree.
TEST(Remap, LinearWholePositionsBoundsAndPaths)
{
    const std::vector<float> xs = {0.0f, 7.0f, 3.0f, 7.0f, 7.01f, -0.5f, 2.0f};
    const std::vector<float> ys = {0.0f, 2.0f, 5.0f, 5.0f, 1.0f, 1.0f, std::numeric_limits<float>::quiet_NaN()};
    for (uint32_t code : kAllKinds) {
        std::vector<std::vector<uint8_t>> plain(6), bounded(6);
        for (int path : vqtest::supportedPaths()) {
            RowRun a(code, 8, 6, 7), b(code, 8, 6, 7);
            remapKernelSets[path]->linear[combo(code)](a.src.arg(), a.src.step(), a.dst.arg(), xs.data(), ys.data(),
                                                       7, 7, 5);
            remapKernelSets[path]->linearBounded[combo(code)](b.src.arg(), b.src.step(), b.dst.arg(), xs.data(),
                                                              ys.data(), 7, 0, 0, 7, 5);
            for (int c = 0; c < a.dst.storedPerPixel(); ++c) {
                const bool alpha = (code & 7) == 2 && c == 3;
                const double tol = (code >> 3) == 1 ? 1e-5 * 100 : 0.0;
                for (int i = 0; i < 4; ++i) {
                    const double want = alpha ? 77 : a.src.get(int(xs[i]), int(ys[i]), c);
                    EXPECT_NEAR(a.at(i, c), want, tol) << kindName(code) << " plain " << i;
                    EXPECT_NEAR(b.at(i, c), want, tol) << kindName(code) << " bounded " << i;
                }
                // 7.01 is past the last column: the plain kind may still
                // read the cell (it lies below 8), the bounded kind skips it.
                EXPECT_EQ(b.at(4, c), 77);
                // Negative and NaN positions: nothing written by either.
                EXPECT_EQ(a.at(5, c), 77);
                EXPECT_EQ(b.at(5, c), 77);
                EXPECT_EQ(a.at(6, c), 77);
                EXPECT_EQ(b.at(6, c), 77);
            }
            EXPECT_TRUE(a.dst.guardsIntact() && b.dst.guardsIntact());
            plain[path] = a.dst.bytes();
            bounded[path] = b.dst.bytes();
        }
        for (int path : vqtest::supportedPaths()) {
            EXPECT_EQ(plain[path], plain[1]) << kindName(code);
            EXPECT_EQ(bounded[path], bounded[1]) << kindName(code);
        }
    }
}

TEST(Remap, CubicPointEvaluators)
{
    for (int path : vqtest::supportedPaths()) {
        const RemapKernels& k = *remapKernelSets[path];
        // 8u window rows 0, 100, 200, 100 (channel 0) and 255, 0, 0, 255
        // (channel 1), three channels interleaved.
        uint8_t win[4][12] = {};
        const uint8_t row0[4] = {0, 100, 200, 100}, row1[4] = {255, 0, 0, 255};
        for (int r = 0; r < 4; ++r)
            for (int x = 0; x < 4; ++x) {
                win[r][x * 3] = row0[x];
                win[r][x * 3 + 1] = row1[x];
                win[r][x * 3 + 2] = uint8_t(40 + 10 * r + x);
            }
        uint8_t out[4] = {9, 9, 9, 9};
        k.cubicPixel8u(&win[0][0], 12, 3, out, 3, 1.5, 1.0);
        EXPECT_EQ(out[0], 163); // 162.5 half up
        EXPECT_EQ(out[1], 0);   // overshoot below 0 clamped
        EXPECT_EQ(out[3], 9);   // only the channels asked for
        k.cubicPixel8u(&win[0][0], 12, 3, out, 3, 1.0, 2.0);
        EXPECT_EQ(out[2], 40 + 20 + 1); // on window pixel (1, 2)
        // Positions outside 0..3 are clamped into the table, not read past it.
        k.cubicPixel8u(&win[0][0], 12, 3, out, 3, 3.9, -0.7);
        EXPECT_EQ(out[2], 40 + 0 + 3);
        // Planar 8u: each plane its own window at the same offset.
        uint8_t p0[16], p1[16], d0[2] = {0, 0}, d1[2] = {0, 0};
        for (int n = 0; n < 16; ++n) {
            p0[n] = uint8_t(n);
            p1[n] = uint8_t(100 + n);
        }
        const uint8_t* planes[2] = {p0, p1};
        uint8_t* dplanes[2] = {d0, d1};
        k.cubicPixel8uPlanar(planes, 4, 0, dplanes, 1, 2, 1.0, 1.0);
        EXPECT_EQ(d0[1], 5);
        EXPECT_EQ(d1[1], 105);
        EXPECT_EQ(d0[0], 0);
        // 32f at (0, 0) from window pixel (1, 1): exactly that sample.
        float fw[16];
        for (int n = 0; n < 16; ++n)
            fw[n] = 0.1f * float(n * n);
        float fo[2] = {-1.0f, -1.0f};
        k.cubicPixel32f(fw, 16, 1, fo, 1, 0.0f, 0.0f);
        EXPECT_EQ(fo[0], fw[5]);
        EXPECT_EQ(fo[1], -1.0f);
        const float* fp[1] = {fw};
        float* fd[1] = {fo};
        k.cubicPixel32fPlanar(fp, 16, 0, fd, 1, 1, 1.0f, 0.0f);
        EXPECT_NEAR(fo[1], fw[6], 1e-5);
        // A channel count of 0 does nothing.
        out[0] = 9;
        k.cubicPixel8u(&win[0][0], 12, 3, out, 0, 1.5, 1.0);
        EXPECT_EQ(out[0], 9);
    }
}

TEST(Remap, PerspectiveRows)
{
    for (int path : vqtest::supportedPaths()) {
        const PerspectiveRowFn gen = remapKernelSets[path]->perspectiveRow;
        float one[2];
        gen(one, 1, 4.0, 1.0, 2.0, 0.0, 6.0, 0.0);
        EXPECT_EQ(one[0], 0.5f);
        EXPECT_EQ(one[1], 1.5f);
        float two[4];
        gen(two, 2, 2.0, 2.0, 3.0, 1.0, 8.0, 0.0); // (3/2, 4/4) and (8/2, 8/4)
        EXPECT_EQ(two[0], 1.5f);
        EXPECT_EQ(two[1], 1.0f);
        EXPECT_EQ(two[2], 4.0f);
        EXPECT_EQ(two[3], 2.0f);
        // Constant denominator 1: the affine row.
        std::vector<float> row(2 * 7);
        gen(row.data(), 7, 1.0, 0.0, 0.5, 2.0, -3.0, 0.25);
        for (int i = 0; i < 7; ++i) {
            EXPECT_EQ(row[size_t(i)], float(0.5 + 2.0 * i));
            EXPECT_EQ(row[size_t(7 + i)], float(-3.0 + 0.25 * i));
        }
        // A zero denominator in a pair: that pixel infinite, its partner NaN
        // (the pair shares one division); an odd last pixel only itself.
        float z[6];
        gen(z, 3, -1.0, 1.0, 1.0, 1.0, 1.0, 1.0); // denominators -1, 0, 1
        EXPECT_TRUE(std::isnan(z[0]));
        EXPECT_TRUE(std::isinf(z[1]));
        EXPECT_EQ(z[2], 3.0f);
        // n <= 0 writes nothing.
        float keep = 5.0f;
        gen(&keep, 0, 1.0, 0.0, 1.0, 0.0, 1.0, 0.0);
        EXPECT_EQ(keep, 5.0f);
    }
}

} // namespace
