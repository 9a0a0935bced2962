// The square-pixel resize of a bottom-up source, and every processor path of
// the Gaussian pyramid steps against the generic path, over random sizes,
// alignments, gaps and step signs; nothing is written outside the
// destination.
#include <gtest/gtest.h>

#include <random>

#include "primitives/resample/pyramid_gauss.h"
#include "primitives/resample/resize_sq.h"
#include "paths_fixture.h"
#include "tests/support/path_harness.h"

namespace {

using vqtest::GuardedImage;

} // namespace

// A source stored bottom-up (negative step) gives the pixels of the same
// source stored upright, for every interpolation of the square-pixel
// resize; the destination may be stored either way up too.
TEST(ResamplePaths, SquarePixelBottomUpMatchesUpright) {
    std::mt19937 rng(61);
    for (const vqtest::SweepCase& c : vqtest::sweepCases(7, 24, 40)) {
        if (!c.srcNegative)
            continue;
        for (int32_t code : {1, 2, 4, 5, 6, 7, 8, 16})
            for (int bytesPer : {1, 2})
                for (int ch : {1, 3}) {
                    // Halving, or a random factor below 1 with a shift.
                    const bool halving = (rng() & 1) != 0;
                    const double xf = halving ? 0.5 : 0.2 + 0.79 * (rng() % 1000) / 1000.0;
                    const double yf = halving ? 0.5 : 0.2 + 0.79 * (rng() % 1000) / 1000.0;
                    const double xs = halving ? 0.0 : (rng() % 100) / 100.0;
                    const PrimSize size{c.width, c.height};
                    const PrimSize dstSize{c.width / 2 + 1, c.height / 2 + 1};
                    GuardedImage src(c.width * ch * bytesPer, c.height, c.srcAlign & ~(bytesPer - 1),
                                     c.srcGap * bytesPer, true);
                    src.fillRandom(rng);
                    GuardedImage upright(c.width * ch * bytesPer, c.height, 0, 0, false);
                    upright.setPixels(src.pixels());
                    GuardedImage want(dstSize.width * ch * bytesPer, dstSize.height, c.dstAlign & ~(bytesPer - 1),
                                      c.dstGap * bytesPer, c.dstNegative);
                    want.fillRandom(rng);
                    GuardedImage got(dstSize.width * ch * bytesPer, dstSize.height, c.dstAlign & ~(bytesPer - 1),
                                     c.dstGap * bytesPer, c.dstNegative);
                    got.copyAllFrom(want);
                    int32_t size32 = 0;
                    ASSERT_EQ(resizeSquarePixelGetBufferSize({0, 0, c.width, c.height},
                                                             {0, 0, dstSize.width, dstSize.height}, ch, code, &size32),
                              0);
                    GuardedImage bufA(size32, 1, c.srcAlign), bufB(size32, 1, c.dstAlign);
                    const int kind = bytesPer == 1 ? pathtest::k8u : pathtest::k16u;
                    const PrimRect roi{0, 0, dstSize.width, dstSize.height};
                    const int32_t a = pathtest::squarePixel(0, kind, ch, upright, size, want, roi, xf, yf, xs, 0.0,
                                                            code, bufA.origin());
                    const int32_t b =
                        pathtest::squarePixel(0, kind, ch, src, size, got, roi, xf, yf, xs, 0.0, code, bufB.origin());
                    ASSERT_EQ(a, b) << c.describe();
                    ASSERT_TRUE(got.sameAllAs(want)) << "code " << code << " " << c.describe();
                    ASSERT_TRUE(got.guardsIntact() && bufB.guardsIntact());
                }
    }
}

TEST(ResamplePaths, GaussianPyramidMatchesGeneric) {
    std::mt19937 rng(62);
    const PyramidGaussFn* tables[3] = {pyramidDownGauss5x5Table, pyramidUpGauss5x5GrayTable, pyramidUpGauss5x5RgbTable};
    for (int path : vqtest::supportedPaths())
        for (const vqtest::SweepCase& c : vqtest::sweepCases(uint32_t(path) * 11, 40, 50)) {
            if (c.srcNegative || c.dstNegative)
                continue; // the pyramid steps refuse negative steps
            for (int t = 0; t < 3; ++t) {
                const int ch = t == 2 ? 3 : 1;
                const bool up = t != 0;
                const int ow = up ? 2 * c.width : (c.width + 1) / 2, oh = up ? 2 * c.height : (c.height + 1) / 2;
                GuardedImage src(c.width * ch, c.height, c.srcAlign, c.srcGap);
                src.fillRandom(rng);
                GuardedImage want(ow * ch, oh, c.dstAlign, c.dstGap), got(ow * ch, oh, c.dstAlign, c.dstGap);
                want.fillRandom(rng);
                got.copyAllFrom(want);
                int32_t size = 0;
                ASSERT_EQ(pyramidGetBufferSize(c.width, 1, ch, &size), 0);
                GuardedImage bufA(size, 1, c.srcAlign), bufB(size, 1, c.dstAlign);
                const PrimSize s{c.width, c.height};
                ASSERT_EQ(tables[t][0](src.origin(), src.step(), want.origin(), want.step(), s, bufA.origin()), 0);
                ASSERT_EQ(tables[t][path](src.origin(), src.step(), got.origin(), got.step(), s, bufB.origin()), 0);
                ASSERT_TRUE(got.sameAllAs(want)) << vqtest::pathName(path) << " " << c.describe();
                ASSERT_TRUE(bufB.guardsIntact());
            }
        }
}
