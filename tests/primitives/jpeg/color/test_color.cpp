#include <gtest/gtest.h>

#include <cstdlib>
#include <random>
#include <string>
#include <vector>

#include "primitives/jpeg/color/color.h"
#include "tests/support/path_harness.h"

namespace {

struct Rgb { int r, g, b; };

// Converts one pixel placed at column x of a row of the given width on a path.
Rgb yccAt(int path, int y, int cb, int cr, int x, int width) {
    std::vector<uint8_t> Y(width, 128), Cb(width, 128), Cr(width, 128), out(3 * width);
    Y[x] = static_cast<uint8_t>(y);
    Cb[x] = static_cast<uint8_t>(cb);
    Cr[x] = static_cast<uint8_t>(cr);
    const uint8_t* planes[3] = {Y.data(), Cb.data(), Cr.data()};
    EXPECT_EQ(ycbcrPlanesToRgbPixelsTable[path](planes, width, out.data(), 3 * width, PrimSize{width, 1}), 0);
    return {out[3 * x], out[3 * x + 1], out[3 * x + 2]};
}

struct Ycc { int y, cb, cr; };

Ycc rgbAt(int path, Rgb c, int x, int width) {
    std::vector<uint8_t> in(3 * width, 0), Y(width), Cb(width), Cr(width);
    in[3 * x] = static_cast<uint8_t>(c.r);
    in[3 * x + 1] = static_cast<uint8_t>(c.g);
    in[3 * x + 2] = static_cast<uint8_t>(c.b);
    uint8_t* planes[3] = {Y.data(), Cb.data(), Cr.data()};
    EXPECT_EQ(rgbPixelsToYCbCrPlanesTable[path](in.data(), 3 * width, planes, width, PrimSize{width, 1}), 0);
    return {Y[x], Cb[x], Cr[x]};
}

int lumaAt(int path, Rgb c, int x, int width) {
    std::vector<uint8_t> in(3 * width, 0), Y(width);
    in[3 * x] = static_cast<uint8_t>(c.r);
    in[3 * x + 1] = static_cast<uint8_t>(c.g);
    in[3 * x + 2] = static_cast<uint8_t>(c.b);
    EXPECT_EQ(rgbPixelsToLumaTable[path](in.data(), 3 * width, Y.data(), width, PrimSize{width, 1}), 0);
    return Y[x];
}

bool same(Rgb a, Rgb b) { return a.r == b.r && a.g == b.g && a.b == b.b; }
bool same(Ycc a, Ycc b) { return a.y == b.y && a.cb == b.cb && a.cr == b.cr; }

TEST(JpegColor, YCbCrToRgbHandCases) {
    // (Y, Cb, Cr) = (100, 128, 179): the 14-bit kernel of the processor paths
    // gives R one lower than the tables.
    EXPECT_TRUE(same(yccAt(0, 100, 128, 179, 0, 8), Rgb{172, 64, 100}));
    EXPECT_EQ(yccAt(0, 20, 253, 128, 5, 8).b, 242);
    for (int path : vqtest::supportedPaths()) {
        SCOPED_TRACE(vqtest::pathName(path));
        EXPECT_TRUE(same(yccAt(path, 100, 128, 179, 0, 8), Rgb{171, 64, 100}));  // in a group of four
        EXPECT_TRUE(same(yccAt(path, 100, 128, 179, 9, 10), Rgb{172, 64, 100}));  // width mod 4 tail
        EXPECT_EQ(yccAt(path, 20, 253, 128, 3, 4).b, 241);
        EXPECT_EQ(yccAt(path, 20, 253, 128, 4, 5).b, 242);
        for (int width = 1; width <= 3; ++width)  // rows narrower than four use the tables
            EXPECT_TRUE(same(yccAt(path, 100, 128, 179, width - 1, width), Rgb{172, 64, 100}));
    }
}

// Over every (Cb, Cr) pair the kernel offsets differ from the tables exactly
// where the fixed-point weights say: R at Cr = 179, B at Cb = 253, G at 448
// pairs (447 one higher, one lower at Cb = 14, Cr = 3). The offsets are read
// without clamping from two runs, with Y = 0 and with Y = 255.
std::vector<int> chromaOffsets(int path) {
    const int n = 256 * 256;
    std::vector<uint8_t> Cb(n), Cr(n);
    for (int i = 0; i < n; ++i) {
        Cb[i] = static_cast<uint8_t>(i >> 8);
        Cr[i] = static_cast<uint8_t>(i & 255);
    }
    std::vector<uint8_t> out[2];
    for (int k = 0; k < 2; ++k) {
        std::vector<uint8_t> Y(n, k == 0 ? 0 : 255);
        const uint8_t* planes[3] = {Y.data(), Cb.data(), Cr.data()};
        out[k].resize(3 * n);
        EXPECT_EQ(ycbcrPlanesToRgbPixelsTable[path](planes, n, out[k].data(), 3 * n, PrimSize{n, 1}), 0);
    }
    std::vector<int> offsets(3 * n);
    for (int i = 0; i < 3 * n; ++i) offsets[i] = out[0][i] > 0 ? out[0][i] : out[1][i] - 255;
    return offsets;
}

TEST(JpegColor, YCbCrToRgbKernelDiffersOnlyWhereExpected) {
    const std::vector<int> ref = chromaOffsets(0);
    EXPECT_EQ(ref[3 * (128 * 256 + 128)], 0);
    EXPECT_EQ(ref[3 * 255], 178);          // Cr to R at Cr = 255
    EXPECT_EQ(ref[3 * (0 << 8) + 2], -227);  // Cb to B at Cb = 0
    for (int path : vqtest::supportedPaths()) {
        SCOPED_TRACE(vqtest::pathName(path));
        const std::vector<int> off = chromaOffsets(path);
        int rDiff = 0, bDiff = 0, gUp = 0, gDown = 0;
        for (int i = 0; i < 256 * 256; ++i) {
            const int cb = i >> 8, cr = i & 255;
            const int dr = off[3 * i] - ref[3 * i], dg = off[3 * i + 1] - ref[3 * i + 1], db = off[3 * i + 2] - ref[3 * i + 2];
            if (dr) {
                ++rDiff;
                EXPECT_EQ(cr, 179);
                EXPECT_EQ(dr, -1);
            }
            if (db) {
                ++bDiff;
                EXPECT_EQ(cb, 253);
                EXPECT_EQ(db, -1);
            }
            if (dg == 1) ++gUp;
            if (dg == -1) {
                ++gDown;
                EXPECT_EQ(cb, 14);
                EXPECT_EQ(cr, 3);
            }
            ASSERT_LE(std::abs(dg), 1);
        }
        EXPECT_EQ(rDiff, 256);
        EXPECT_EQ(bDiff, 256);
        EXPECT_EQ(gUp, 447);
        EXPECT_EQ(gDown, 1);
    }
}

TEST(JpegColor, RgbToYCbCrHandCases) {
    struct Case { Rgb in; Ycc ref; Ycc paths; };
    const Case cases[] = {
        {{0, 0, 255}, {29, 255, 107}, {29, 255, 107}},  // pure blue: Cb computes 256 on the paths and saturates
        {{255, 0, 0}, {76, 85, 255}, {76, 85, 255}},
        {{255, 255, 0}, {226, 0, 149}, {226, 1, 149}},
        {{0, 255, 255}, {179, 171, 0}, {179, 171, 1}},
        {{77, 77, 77}, {77, 128, 128}, {77, 128, 128}},
    };
    for (const Case& c : cases) {
        EXPECT_TRUE(same(rgbAt(0, c.in, 3, 16), c.ref)) << c.in.r << "," << c.in.g << "," << c.in.b;
        for (int path : vqtest::supportedPaths()) {
            // In a group of eight (15-bit weights) and in the tail (14-bit weights).
            EXPECT_TRUE(same(rgbAt(path, c.in, 3, 16), c.paths)) << vqtest::pathName(path) << " " << c.in.r;
            EXPECT_TRUE(same(rgbAt(path, c.in, 10, 13), c.paths)) << vqtest::pathName(path) << " " << c.in.r;
        }
    }
    // (0, 5, 119): luma 17 from the tables and the 14-bit tail, 16 from the
    // 15-bit groups; the luma primitive gives 16 wherever the pixel stands.
    const Rgb dark{0, 5, 119};
    EXPECT_EQ(rgbAt(0, dark, 2, 8).y, 17);
    EXPECT_EQ(lumaAt(0, dark, 2, 8), 17);
    for (int path : vqtest::supportedPaths()) {
        EXPECT_EQ(rgbAt(path, dark, 2, 8).y, 16);
        EXPECT_EQ(rgbAt(path, dark, 8, 9).y, 17);
        EXPECT_EQ(rgbAt(path, dark, 1, 3).y, 17);
        for (int x : {0, 7, 8, 20}) EXPECT_EQ(lumaAt(path, dark, x, 21), 16) << vqtest::pathName(path) << " " << x;
    }
}

TEST(JpegColor, GreyIsKeptOnEveryPath) {
    for (int path : vqtest::allPaths())
        for (int v : {0, 1, 127, 128, 200, 255}) {
            EXPECT_TRUE(same(rgbAt(path, Rgb{v, v, v}, 5, 11), Ycc{v, 128, 128})) << path << " " << v;
            EXPECT_TRUE(same(yccAt(path, v, 128, 128, 5, 11), Rgb{v, v, v})) << path << " " << v;
            EXPECT_EQ(lumaAt(path, Rgb{v, v, v}, 5, 11), v);
        }
}

TEST(JpegColor, ArgumentChecks) {
    uint8_t buf[64] = {};
    const uint8_t* planes[3] = {buf, buf, buf};
    const uint8_t* noCr[3] = {buf, buf, nullptr};
    uint8_t* outPlanes[3] = {buf, buf, buf};
    uint8_t* noCb[3] = {buf, nullptr, buf};
    for (int path : vqtest::allPaths()) {
        SCOPED_TRACE(vqtest::pathName(path));
        auto ycc = ycbcrPlanesToRgbPixelsTable[path];
        EXPECT_EQ(ycc(planes, 4, buf, 12, PrimSize{0, 1}), primErrSize);
        EXPECT_EQ(ycc(noCr, 0, buf, 12, PrimSize{1, 1}), primErrNullPtr);  // null before the step
        EXPECT_EQ(ycc(nullptr, 4, buf, 12, PrimSize{1, 1}), primErrNullPtr);
        EXPECT_EQ(ycc(planes, 4, nullptr, 12, PrimSize{1, 1}), primErrNullPtr);
        EXPECT_EQ(ycc(planes, 4, buf, -3, PrimSize{1, 1}), primErrStep);
        EXPECT_EQ(ycc(planes, 4, buf, 12, PrimSize{1, -1}), primErrSize);
        auto rgb = rgbPixelsToYCbCrPlanesTable[path];
        EXPECT_EQ(rgb(buf, 12, noCb, 4, PrimSize{1, 1}), primErrNullPtr);
        EXPECT_EQ(rgb(buf, 0, outPlanes, 4, PrimSize{0, 1}), primErrStep);
        EXPECT_EQ(rgb(buf, 12, outPlanes, 4, PrimSize{1, 0}), primErrSize);
        auto luma = rgbPixelsToLumaTable[path];
        EXPECT_EQ(luma(nullptr, 12, buf, 4, PrimSize{1, 1}), primErrNullPtr);
        EXPECT_EQ(luma(buf, 12, buf, 0, PrimSize{1, 1}), primErrStep);
        EXPECT_EQ(luma(buf, 12, buf, 4, PrimSize{-1, 1}), primErrSize);
    }
}

// Random regions with gaps, alignments and guard bytes: the paths write only
// the region; YCbCr to RGB equals the tables in the width mod 4 tail and is
// within one elsewhere; RGB to YCbCr and luma are within one everywhere.
TEST(JpegColor, PathsAgainstGeneric) {
    std::mt19937 rng(4101);
    for (int path : vqtest::supportedPaths()) {
        SCOPED_TRACE(vqtest::pathName(path));
        for (const vqtest::SweepCase& c : vqtest::sweepCases(77, 60, 70)) {
            SCOPED_TRACE(c.describe());
            if (c.srcNegative || c.dstNegative) continue;  // these primitives take positive steps
            const int w = c.width, h = c.height;
            // YCbCr planes to RGB.
            vqtest::GuardedImage y(w, h, c.srcAlign, c.srcGap), cb(w, h, c.srcAlign, c.srcGap),
                cr(w, h, c.srcAlign, c.srcGap);
            y.fillRandom(rng);
            cb.fillRandom(rng);
            cr.fillRandom(rng);
            const uint8_t* planes[3] = {y.origin(), cb.origin(), cr.origin()};
            vqtest::GuardedImage ref(3 * w, h, c.dstAlign, c.dstGap), out(3 * w, h, c.dstAlign, c.dstGap);
            ASSERT_EQ(ycbcrPlanesToRgbPixelsTable[0](planes, y.step(), ref.origin(), ref.step(), PrimSize{w, h}), 0);
            ASSERT_EQ(ycbcrPlanesToRgbPixelsTable[path](planes, y.step(), out.origin(), out.step(), PrimSize{w, h}), 0);
            ASSERT_TRUE(out.guardsIntact());
            const int kernel = w & ~3;
            for (int r = 0; r < h; ++r)
                for (int x = 0; x < 3 * w; ++x) {
                    int d = out.row(r)[x] - ref.row(r)[x];
                    if (x / 3 >= kernel) {
                        ASSERT_EQ(d, 0) << x << "," << r;
                    }
                    ASSERT_LE(std::abs(d), 1) << x << "," << r;
                }
            // RGB to planes and to luma.
            vqtest::GuardedImage rgb(3 * w, h, c.srcAlign, c.srcGap);
            rgb.fillRandom(rng);
            vqtest::GuardedImage py[2] = {{w, h, c.dstAlign, c.dstGap}, {w, h, c.dstAlign, c.dstGap}};
            vqtest::GuardedImage pcb[2] = {{w, h, c.dstAlign, c.dstGap}, {w, h, c.dstAlign, c.dstGap}};
            vqtest::GuardedImage pcr[2] = {{w, h, c.dstAlign, c.dstGap}, {w, h, c.dstAlign, c.dstGap}};
            vqtest::GuardedImage luma[2] = {{w, h, c.dstAlign, c.dstGap}, {w, h, c.dstAlign, c.dstGap}};
            for (int k = 0; k < 2; ++k) {
                const int p = k == 0 ? 0 : path;
                uint8_t* outPlanes[3] = {py[k].origin(), pcb[k].origin(), pcr[k].origin()};
                ASSERT_EQ(rgbPixelsToYCbCrPlanesTable[p](rgb.origin(), rgb.step(), outPlanes, py[k].step(),
                                                         PrimSize{w, h}),
                          0);
                ASSERT_EQ(rgbPixelsToLumaTable[p](rgb.origin(), rgb.step(), luma[k].origin(), luma[k].step(),
                                                  PrimSize{w, h}),
                          0);
            }
            for (vqtest::GuardedImage* img : {&py[1], &pcb[1], &pcr[1], &luma[1]}) ASSERT_TRUE(img->guardsIntact());
            for (int r = 0; r < h; ++r)
                for (int x = 0; x < w; ++x) {
                    ASSERT_LE(std::abs(py[1].row(r)[x] - py[0].row(r)[x]), 1);
                    ASSERT_LE(std::abs(pcb[1].row(r)[x] - pcb[0].row(r)[x]), 1);
                    ASSERT_LE(std::abs(pcr[1].row(r)[x] - pcr[0].row(r)[x]), 1);
                    ASSERT_LE(std::abs(luma[1].row(r)[x] - luma[0].row(r)[x]), 1);
                }
        }
    }
}

} // namespace
