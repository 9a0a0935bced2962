// Right-angle turns with whole-pixel shifts: moved by index arithmetic and
// checked against the mapping written out per destination pixel.
#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <limits>

#include "primitives/rotate/rotate.h"
#include "rotate_fixture.h"

namespace {

using namespace rotatetest;

// Source pixel of destination (xd, yd) for a turn of a (90, 180, 270) with
// whole shifts (ix, iy).
void sourceOf(int a, int ix, int iy, int xd, int yd, int* xs, int* ys)
{
    if (a == 90) {
        *xs = iy - yd;
        *ys = xd - ix;
    } else if (a == 180) {
        *xs = ix - xd;
        *ys = iy - yd;
    } else {
        *xs = yd - iy;
        *ys = ix - xd;
    }
}

// Every destination pixel: from its source pixel when that lies in the
// source image, else unchanged; AC4 alpha always unchanged. Samples compared
// as bytes, so float bit patterns must survive.
::testing::AssertionResult turnedAsMapped(const KindImage& src, const KindImage& before, const KindImage& dst, int a,
                                          int ix, int iy)
{
    if (!dst.guardsIntact())
        return ::testing::AssertionFailure() << "guard bytes changed";
    const uint32_t code = dst.code();
    for (int yd = 0; yd < dst.height(); ++yd)
        for (int xd = 0; xd < dst.width(); ++xd) {
            int xs, ys;
            sourceOf(a, ix, iy, xd, yd, &xs, &ys);
            const bool inside = xs >= 0 && ys >= 0 && xs < src.width() && ys < src.height();
            for (int c = 0; c < dst.storedPerPixel(); ++c) {
                const bool moved = inside && !((code & 7) == 2 && c == 3);
                const double want = moved ? src.get(xs, ys, c) : before.get(xd, yd, c);
                const double got = dst.get(xd, yd, c);
                if (!(std::memcmp(&want, &got, sizeof(double)) == 0 || (want == got)))
                    return ::testing::AssertionFailure() << kindName(code) << " a=" << a << " pixel " << xd << ","
                                                         << yd << " c" << c << ": " << got << " want " << want;
            }
        }
    return ::testing::AssertionSuccess();
}

TEST(QuarterTurn, FourByThreeAtNinetyDegrees)
{
    for (int path : vqtest::allPaths()) {
        KindImage src(1, 4, 3), dst(1, 3, 4);
        for (int y = 0; y < 3; ++y)
            for (int x = 0; x < 4; ++x)
                for (int c = 0; c < 3; ++c)
                    src.set(x, y, c, 10 * x + y + 100 * c);
        ASSERT_EQ(rotateByAngleTable[path](src.arg(), 4, 3, src.step(), 0, 0, 4, 3, dst.arg(), dst.step(), 0, 0, 3, 4,
                                           90.0, 0.0, 3.0, rotateCubic),
                  0);
        // The destination's top row is the source's right column, top down.
        for (int c = 0; c < 3; ++c) {
            EXPECT_EQ(dst.get(0, 0, c), src.get(3, 0, c));
            EXPECT_EQ(dst.get(1, 0, c), src.get(3, 1, c));
            EXPECT_EQ(dst.get(2, 0, c), src.get(3, 2, c));
            EXPECT_EQ(dst.get(2, 3, c), src.get(0, 2, c));
        }
        EXPECT_TRUE(dst.guardsIntact());
    }
}

// Every kind, every turn, widths on both sides of the strip sizes (16 and
// 32 columns), shifts that place the turned block partly outside.
TEST(QuarterTurn, EveryKindFollowsTheMapping)
{
    std::mt19937 rng(43);
    const int sizes[][2] = {{15, 3}, {16, 5}, {17, 2}, {31, 4}, {32, 3}, {33, 6}, {48, 2}, {1, 1}};
    for (uint32_t code : kAllKinds)
        for (const auto& sz : sizes)
            for (int a : {90, 180, 270}) {
                // The source is sz[1] wide and sz[0] high, so quarter turns
                // give destination rows of sz[0] columns.
                const int sw = sz[1], sh = sz[0];
                const int dw = a == 180 ? sw : sh, dh = a == 180 ? sh : sw;
                KindImage src(code, sw, sh, 3), dst(code, dw + 2, dh + 1, 5), before(code, dw + 2, dh + 1, 5);
                src.fillRandom(rng);
                dst.fillRandom(rng);
                before.copyFrom(dst);
                // Shifts that put the block at column 1, row 0 of the destination.
                const int ix = a == 90 ? 1 : a == 180 ? sw : sh, iy = a == 90 ? sw - 1 : a == 180 ? sh - 1 : 0;
                const int32_t st =
                    rotateByAngleBodyTable[0](src.arg(), sw, sh, src.step(), 0, 0, sw, sh, dst.arg(), dst.step(), 0, 0,
                                              dw + 2, dh + 1, code, double(a), ix, iy, rotateNearest);
                ASSERT_EQ(st, 0) << kindName(code) << " " << a;
                EXPECT_TRUE(turnedAsMapped(src, before, dst, a, ix, iy)) << sw << "x" << sh;
            }
}

TEST(QuarterTurn, AnglesReduceModuloFullTurns)
{
    const struct {
        double angle;
        int as;
    } cases[] = {{450.0, 90}, {-270.0, 90}, {-90.0, 270}, {540.0, 180}, {-180.0, 180}, {630.0, 270}};
    std::mt19937 rng(7);
    for (const auto& k : cases) {
        KindImage src(1, 5, 5), dst(1, 5, 5), before(1, 5, 5);
        src.fillRandom(rng);
        dst.fillRandom(rng);
        before.copyFrom(dst);
        ASSERT_EQ(rotateByAngle(src.arg(), 5, 5, src.step(), 0, 0, 5, 5, dst.arg(), dst.step(), 0, 0, 5, 5, k.angle,
                                4.0, 4.0, rotateNearest),
                  0);
        EXPECT_TRUE(turnedAsMapped(src, before, dst, k.as, 4, 4)) << k.angle;
    }
}

TEST(QuarterTurn, RoundTripsGiveTheImageBack)
{
    std::mt19937 rng(11);
    const int N = 19;
    for (uint32_t code : {1u, 3u, 10u, 20u}) {
        KindImage src(code, N, N), mid(code, N, N), back(code, N, N);
        src.fillRandom(rng);
        back.copyFrom(src);
        const auto body = rotateByAngleBodyTable[3];
        ASSERT_EQ(body(src.arg(), N, N, src.step(), 0, 0, N, N, mid.arg(), mid.step(), 0, 0, N, N, code, 90.0, 0.0,
                       N - 1.0, rotateNearest), 0);
        // Clear what the turn back must write (AC4 alpha stays as it was).
        for (int y = 0; y < N; ++y)
            for (int x = 0; x < N; ++x)
                for (int c = 0; c < computed(code); ++c)
                    back.set(x, y, c, 0);
        ASSERT_EQ(body(mid.arg(), N, N, mid.step(), 0, 0, N, N, back.arg(), back.step(), 0, 0, N, N, code, 270.0,
                       N - 1.0, 0.0, rotateNearest), 0);
        EXPECT_EQ(back.bytes(), src.bytes()) << kindName(code);
        ASSERT_EQ(body(src.arg(), N, N, src.step(), 0, 0, N, N, mid.arg(), mid.step(), 0, 0, N, N, code, 180.0,
                       N - 1.0, N - 1.0, rotateNearest), 0);
        ASSERT_EQ(body(mid.arg(), N, N, mid.step(), 0, 0, N, N, back.arg(), back.step(), 0, 0, N, N, code, 180.0,
                       N - 1.0, N - 1.0, rotateNearest), 0);
        EXPECT_EQ(back.bytes(), src.bytes()) << kindName(code);
    }
}

TEST(QuarterTurn, StatusesAndUntouchedDestination)
{
    KindImage src(1, 4, 4), dst(1, 4, 4);
    std::mt19937 rng(3);
    dst.fillRandom(rng);
    const auto snapshot = dst.bytes();
    const auto call = [&](const void* s, void* d, int sx, double dxShift, int dw) {
        return rotateByAngle(s, 4, 4, src.step(), sx, 0, 4, 4, d, dst.step(), 0, 0, dw, 4, 90.0, dxShift, 3.0,
                             rotateNearest);
    };
    EXPECT_EQ(call(nullptr, dst.arg(), 0, 0, 4), -8);
    EXPECT_EQ(call(src.arg(), nullptr, 0, 0, 4), -8);
    EXPECT_EQ(call(src.arg(), dst.arg(), 0, 0, 0), -6);
    EXPECT_EQ(call(src.arg(), dst.arg(), -1, 0, 4), -6);
    EXPECT_EQ(call(src.arg(), dst.arg(), 4, 0, 4), 29);     // ROI origin outside the source
    EXPECT_EQ(call(src.arg(), dst.arg(), 0, 100, 4), 29);   // turned block misses the destination
    EXPECT_EQ(call(src.arg(), dst.arg(), 0, -2147483648.0 * 4, 4), 29); // shift far beyond 32 bits
    EXPECT_EQ(dst.bytes(), snapshot);
    // A kind code outside the 18 is refused, not looked up.
    EXPECT_EQ(rotateByAngleBodyTable[0](src.arg(), 4, 4, src.step(), 0, 0, 4, 4, dst.arg(), dst.step(), 0, 0, 4, 4, 6,
                                        90.0, 0.0, 3.0, rotateNearest),
              primErrUnsupportedMode);
    EXPECT_EQ(rotateByAngleBodyTable[0](src.arg(), 4, 4, src.step(), 0, 0, 4, 4, dst.arg(), dst.step(), 0, 0, 4, 4,
                                        24, 90.0, 0.0, 3.0, rotateNearest),
              primErrUnsupportedMode);
    EXPECT_EQ(dst.bytes(), snapshot);
    EXPECT_TRUE(dst.guardsIntact());
}

TEST(QuarterTurn, PlanarArraysAndFloatBitsSurvive)
{
    std::mt19937 rng(5);
    KindImage src(13, 6, 5), dst(13, 5, 6);
    src.fillRandom(rng);
    const uint32_t payload = 0x7FC01234u, negZero = 0x80000000u;
    float f;
    std::memcpy(&f, &payload, 4);
    src.set(0, 0, 2, f);
    std::memcpy(&f, &negZero, 4);
    src.set(5, 4, 1, f);
    void* saved[4];
    std::memcpy(saved, src.planeArray(), sizeof(saved));
    void* savedDst[4];
    std::memcpy(savedDst, dst.planeArray(), sizeof(savedDst));
    ASSERT_EQ(rotateByAngleBodyTable[5](src.arg(), 6, 5, src.step(), 0, 0, 6, 5, dst.arg(), dst.step(), 0, 0, 5, 6,
                                        13, 270.0, 4.0, 0.0, rotateLinear),
              0);
    EXPECT_EQ(std::memcmp(saved, src.planeArray(), sizeof(saved)), 0);
    EXPECT_EQ(std::memcmp(savedDst, dst.planeArray(), sizeof(savedDst)), 0);
    // 270: destination (xd, yd) takes source (yd, 4 - xd).
    const float nanOut = float(dst.get(4, 0, 2)), zeroOut = float(dst.get(0, 5, 1));
    uint32_t bits;
    std::memcpy(&bits, &nanOut, 4);
    EXPECT_EQ(bits, payload);
    std::memcpy(&bits, &zeroOut, 4);
    EXPECT_EQ(bits, negZero);
}

} // namespace
