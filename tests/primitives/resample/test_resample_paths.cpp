// Every processor path of the square-pixel resize and the Gaussian pyramid
// steps gives the generic path's bytes, over random sizes, alignments, gaps
// and step signs, and writes nothing outside its destination.
#include <gtest/gtest.h>

#include <random>

#include "primitives/resample/pyramid_gauss.h"
#include "primitives/resample/resize_sq.h"
#include "tests/support/path_harness.h"

namespace {

using vqtest::GuardedImage;

// Runs entry `path` of the square-pixel resize for a kind on guarded images.
int32_t runSq(int path, int bytesPer, int ch, const GuardedImage& src, PrimSize size, GuardedImage& dst,
              PrimSize dstSize, double xf, double yf, double xs, double ys, int32_t code, GuardedImage& buffer) {
    const PrimRect sr{0, 0, size.width, size.height}, dr{0, 0, dstSize.width, dstSize.height};
    if (bytesPer == 1)
        return (ch == 1 ? resizeSquarePixel8uC1Table : resizeSquarePixel8uC3Table)[path](
            src.origin(), size, src.step(), sr, dst.origin(), dst.step(), dr, xf, yf, xs, ys, code, buffer.origin());
    return (ch == 1 ? resizeSquarePixel16uC1Table : resizeSquarePixel16uC3Table)[path](
        reinterpret_cast<const uint16_t*>(src.origin()), size, src.step(), sr, dst.as<uint16_t>(), dst.step(), dr, xf,
        yf, xs, ys, code, buffer.origin());
}

} // namespace

TEST(ResamplePaths, SquarePixelMatchesGeneric) {
    std::mt19937 rng(61);
    for (int path : vqtest::supportedPaths())
        for (const vqtest::SweepCase& c : vqtest::sweepCases(uint32_t(path) * 7, 24, 40)) {
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
                                         c.srcGap * bytesPer, c.srcNegative);
                        src.fillRandom(rng);
                        GuardedImage initial(dstSize.width * ch * bytesPer, dstSize.height,
                                             c.dstAlign & ~(bytesPer - 1), c.dstGap * bytesPer, c.dstNegative);
                        initial.fillRandom(rng);
                        GuardedImage want(dstSize.width * ch * bytesPer, dstSize.height, c.dstAlign & ~(bytesPer - 1),
                                          c.dstGap * bytesPer, c.dstNegative);
                        want.copyAllFrom(initial);
                        GuardedImage got(dstSize.width * ch * bytesPer, dstSize.height, c.dstAlign & ~(bytesPer - 1),
                                         c.dstGap * bytesPer, c.dstNegative);
                        got.copyAllFrom(initial);
                        int32_t size32 = 0;
                        ASSERT_EQ(resizeSquarePixelGetBufferSize({0, 0, c.width, c.height},
                                                                 {0, 0, dstSize.width, dstSize.height}, ch, code,
                                                                 &size32),
                                  0);
                        GuardedImage bufA(size32, 1, c.srcAlign), bufB(size32, 1, c.dstAlign);
                        const int32_t a = runSq(0, bytesPer, ch, src, size, want, dstSize, xf, yf, xs, 0.0, code, bufA);
                        const int32_t b =
                            runSq(path, bytesPer, ch, src, size, got, dstSize, xf, yf, xs, 0.0, code, bufB);
                        ASSERT_EQ(a, b) << vqtest::pathName(path) << " " << c.describe();
                        ASSERT_TRUE(got.sameAllAs(want))
                            << vqtest::pathName(path) << " code " << code << " " << c.describe();
                        ASSERT_TRUE(got.guardsIntact() && bufB.guardsIntact());
                        if (c.srcNegative) {
                            // Rows stored bottom-up give the same pixels.
                            GuardedImage upright(c.width * ch * bytesPer, c.height, 0, 0, false);
                            upright.setPixels(src.pixels());
                            GuardedImage again(dstSize.width * ch * bytesPer, dstSize.height,
                                               c.dstAlign & ~(bytesPer - 1), c.dstGap * bytesPer, c.dstNegative);
                            again.copyAllFrom(initial);
                            GuardedImage bufC(size32, 1, 0);
                            ASSERT_EQ(
                                runSq(0, bytesPer, ch, upright, size, again, dstSize, xf, yf, xs, 0.0, code, bufC), a);
                            ASSERT_EQ(again.pixels(), want.pixels()) << "code " << code << " " << c.describe();
                        }
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
