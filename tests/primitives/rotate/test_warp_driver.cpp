// The warp driver and the rotation entry's warp path: statuses, exact
// identity warps, untouched pixels outside the covered region, and the
// agreement of the processor paths.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdlib>
#include <cstring>
#include <limits>
#include <random>

#include "primitives/core/memory.h"
#include "primitives/rotate/rotate.h"
#include "rotate_fixture.h"

namespace {

using namespace rotatetest;

const WarpCoefficients kIdentity{1, 0, 0, 0, 1, 0};

// Fails the n-th allocation of the primitive layer (counted from 1).
struct FailAllocation {
    static inline int countdown = 0;
    UnderlyingAlloc saved = primUnderlyingAlloc;
    explicit FailAllocation(int n)
    {
        countdown = n;
        primUnderlyingAlloc = [](std::size_t size) -> void* { return --countdown == 0 ? nullptr : std::malloc(size); };
    }
    ~FailAllocation() { primUnderlyingAlloc = saved; }
};

struct DriverCall {
    int32_t srcW = 8, srcH = 8, sx = 0, sy = 0, srw = 8, srh = 8;
    int32_t dx = 0, dy = 0, drw = 8, drh = 8;
    uint32_t code = 1;
    WarpCoefficients c = kIdentity;
    int32_t interpolation = rotateNearest;
    bool nullSrc = false, nullPlane = false;
};

TEST(WarpDriver, Statuses)
{
    const double nan = std::numeric_limits<double>::quiet_NaN();
    struct Case {
        const char* what;
        DriverCall call;
        int32_t want;
    };
    std::vector<Case> cases;
    const auto add = [&](const char* what, auto change, int32_t want) {
        DriverCall d;
        change(d);
        cases.push_back({what, d, want});
    };
    add("null source", [](DriverCall& d) { d.nullSrc = true; }, -8);
    add("zero width", [](DriverCall& d) { d.srcW = 0; }, -6);
    add("negative ROI x", [](DriverCall& d) { d.sx = -1; }, -6);
    add("empty destination ROI", [](DriverCall& d) { d.drh = 0; }, -6);
    add("interpolation 3", [](DriverCall& d) { d.interpolation = 3; }, -22);
    add("interpolation 0", [](DriverCall& d) { d.interpolation = 0; }, -22);
    add("null plane", [](DriverCall& d) { d.code = 3; d.nullPlane = true; }, -8);
    add("kind code 7", [](DriverCall& d) { d.code = 7; }, primErrUnsupportedMode);
    add("kind code 25", [](DriverCall& d) { d.code = 25; }, primErrUnsupportedMode);
    add("singular", [](DriverCall& d) { d.c = {1, 2, 0, 2, 4, 0}; }, -56);
    add("NaN coefficient", [nan](DriverCall& d) { d.c.c02 = nan; }, -56);
    add("infinite coefficient", [](DriverCall& d) { d.c.c11 = std::numeric_limits<double>::infinity(); }, -56);
    add("ROI x at the width", [](DriverCall& d) { d.sx = 8; }, 29);
    add("one column left after clipping", [](DriverCall& d) { d.sx = 7; }, -57);
    add("one row ROI", [](DriverCall& d) { d.srh = 1; }, -57);
    add("quadrilateral misses the destination", [](DriverCall& d) { d.c.c02 = 100; }, 30);
    add("ROI beyond the image is clipped", [](DriverCall& d) { d.srw = 50; d.srh = 50; }, 0);
    add("nearest with smoothing", [](DriverCall& d) { d.interpolation = int32_t(0x80000001u); }, 0);
    for (int path : vqtest::allPaths())
        for (const Case& k : cases) {
            KindImage src(k.call.code < 24 && validRotateKind(k.call.code) ? k.call.code : 1, 8, 8);
            KindImage dst(src.code(), 8, 8);
            std::mt19937 rng(1);
            src.fillRandom(rng);
            dst.fillRandom(rng);
            const auto before = dst.bytes();
            void* savedPlane = dst.planeArray()[1];
            if (k.call.nullPlane)
                dst.planeArray()[1] = nullptr;
            const int32_t st = warpAffineDriverTable[path](
                k.call.nullSrc ? nullptr : src.arg(), k.call.srcW, k.call.srcH, src.step(), k.call.sx, k.call.sy,
                k.call.srw, k.call.srh, dst.arg(), dst.step(), k.call.dx, k.call.dy, k.call.drw, k.call.drh,
                k.call.code, &k.call.c, k.call.interpolation);
            dst.planeArray()[1] = savedPlane;
            EXPECT_EQ(st, k.want) << vqtest::pathName(path) << " " << k.what;
            if (k.want != 0) {
                EXPECT_EQ(dst.bytes(), before) << vqtest::pathName(path) << " " << k.what << " wrote pixels";
            }
            EXPECT_TRUE(dst.guardsIntact());
        }
}

// An allocation failure of the span list ends with 30, one of the cubic work
// buffer (SIMD paths) with -9; neither writes a pixel.
TEST(WarpDriver, AllocationFailures)
{
    for (int path : vqtest::allPaths()) {
        KindImage src(1, 8, 8), dst(1, 8, 8);
        std::mt19937 rng(2);
        src.fillRandom(rng);
        dst.fillRandom(rng);
        const auto before = dst.bytes();
        {
            FailAllocation fail(1);
            EXPECT_EQ(warpAffineDriverTable[path](src.arg(), 8, 8, src.step(), 0, 0, 8, 8, dst.arg(), dst.step(), 0, 0,
                                                  8, 8, 1, &kIdentity, rotateCubic),
                      30);
        }
        {
            FailAllocation fail(2);
            EXPECT_EQ(warpAffineDriverTable[path](src.arg(), 8, 8, src.step(), 0, 0, 8, 8, dst.arg(), dst.step(), 0, 0,
                                                  8, 8, 1, &kIdentity, rotateCubic),
                      path == 0 ? 0 : -9);
        }
        if (path != 0) {
            EXPECT_EQ(dst.bytes(), before);
        }
    }
}

// Identity warps copy the clipped source ROI where it meets the destination
// ROI, exactly, for every kind and interpolation (cubic included: the
// Lagrange weights select one sample at whole positions); nothing else moves.
TEST(WarpDriver, IdentityIsExact)
{
    std::mt19937 rng(9);
    for (int path : vqtest::allPaths())
        for (uint32_t code : kAllKinds)
            for (int32_t interp : {rotateNearest, rotateLinear, rotateCubic}) {
                KindImage src(code, 13, 11, 2), dst(code, 15, 12, 3), before(code, 15, 12, 3);
                src.fillRandom(rng);
                dst.fillRandom(rng);
                before.copyFrom(dst);
                void* planes[4];
                std::memcpy(planes, dst.planeArray(), sizeof(planes));
                // Source ROI columns 2..12 (clipped), rows 1..8; destination
                // ROI columns 0..9, rows 3..11.
                ASSERT_EQ(warpAffineDriverTable[path](src.arg(), 13, 11, src.step(), 2, 1, 40, 8, dst.arg(), dst.step(),
                                                      0, 3, 10, 9, code, &kIdentity, interp),
                          0);
                EXPECT_EQ(std::memcmp(planes, dst.planeArray(), sizeof(planes)), 0);
                const std::string what = vqtest::pathName(path) + " " + kindName(code) + " " + std::to_string(interp);
                bool ok = dst.guardsIntact();
                for (int y = 0; y < 12 && ok; ++y)
                    for (int x = 0; x < 15 && ok; ++x) {
                        const bool covered = x >= 2 && x <= 9 && y >= 3 && y <= 8;
                        for (int c = 0; c < dst.storedPerPixel(); ++c) {
                            const bool written = covered && !((code & 7) == 2 && c == 3);
                            const double want = written ? src.get(x, y, c) : before.get(x, y, c);
                            double got = dst.get(x, y, c);
                            // Cubic float weights on the last two columns and
                            // rows of the SIMD paths miss 0 by about 1e-7.
                            const double tol = (code >> 3) == 1 && interp == rotateCubic && path != 0
                                                   ? 1e-5 * std::fabs(want) + 1e-5
                                                   : 0.0;
                            if (std::fabs(got - want) > tol) {
                                ADD_FAILURE() << what << " pixel " << x << "," << y << " c" << c << ": " << got
                                              << " want " << want;
                                ok = false;
                            }
                        }
                    }
                EXPECT_TRUE(ok) << what;
            }
}

// Turns of an 8u C3 image at 30 and 45 degrees through the public entry of
// each path: paths 1-5 agree byte for byte; path 0 within one level; only
// the covered destination pixels change.
TEST(RotateByAngle, PathsAgreeOnTurns)
{
    std::mt19937 rng(30);
    const int W = 37, H = 29, DW = 50, DH = 52;
    KindImage src(1, W, H, 1);
    src.fillRandom(rng);
    KindImage initial(1, DW, DH);
    initial.fillRandom(rng);
    for (double angle : {30.0, 45.0, -30.0})
        for (int32_t interp : {rotateNearest, rotateLinear, rotateCubic}) {
            std::vector<std::vector<uint8_t>> results(6);
            for (int path : vqtest::allPaths()) {
                KindImage dst(1, DW, DH);
                dst.copyFrom(initial);
                ASSERT_EQ(rotateByAngleTable[path](src.arg(), W, H, src.step(), 0, 0, W, H, dst.arg(), dst.step(), 1,
                                                   2, DW - 2, DH - 3, angle, 14.0, 20.5, interp),
                          0);
                EXPECT_TRUE(dst.guardsIntact());
                results[path] = dst.bytes();
                // Outside the destination ROI nothing changed.
                for (int y = 0; y < DH; ++y)
                    for (int x = 0; x < DW; ++x)
                        if (x < 1 || x > DW - 2 || y < 2 || y > DH - 2) {
                            for (int c = 0; c < 3; ++c) {
                                ASSERT_EQ(dst.get(x, y, c), initial.get(x, y, c));
                            }
                        }
            }
            const std::string what = std::to_string(angle) + " interpolation " + std::to_string(interp);
            for (int path : vqtest::supportedPaths())
                EXPECT_EQ(results[path], results[1]) << what << " " << vqtest::pathName(path);
            if (results[1].empty())
                continue;
            int changed = 0;
            for (size_t n = 0; n < results[0].size(); ++n) {
                EXPECT_LE(std::abs(int(results[0][n]) - int(results[1][n])), 1) << what << " byte " << n;
                changed += results[0][n] != initial.bytes()[n];
            }
            EXPECT_GT(changed, W * H); // the turned image was drawn
        }
}

// Each path's warp on every kind agrees with the generic path: nearest
// exactly up to rare half-pixel ties, linear and cubic within a level (16u,
// 8u) or a relative 1e-4 (32f).
TEST(WarpDriver, PathsAgreeOnEveryKind)
{
    std::mt19937 rng(31);
    const double a = 0.5235987755982988; // 30 degrees
    const WarpCoefficients turn{std::cos(a), std::sin(a), 6.0, -std::sin(a), std::cos(a), 12.5};
    for (uint32_t code : kAllKinds)
        for (int32_t interp : {rotateNearest, rotateLinear, rotateCubic}) {
            KindImage src(code, 21, 17);
            src.fillRandom(rng);
            KindImage initial(code, 30, 30);
            initial.fillRandom(rng);
            std::vector<std::vector<double>> results(6);
            for (int path : vqtest::allPaths()) {
                KindImage dst(code, 30, 30);
                dst.copyFrom(initial);
                ASSERT_EQ(warpAffineDriverTable[path](src.arg(), 21, 17, src.step(), 0, 0, 21, 17, dst.arg(),
                                                      dst.step(), 0, 0, 30, 30, code, &turn, interp),
                          0);
                EXPECT_TRUE(dst.guardsIntact());
                for (int y = 0; y < 30; ++y)
                    for (int x = 0; x < 30; ++x)
                        for (int c = 0; c < dst.storedPerPixel(); ++c)
                            results[path].push_back(dst.get(x, y, c));
            }
            const std::string what = kindName(code) + " interpolation " + std::to_string(interp);
            for (int path : vqtest::supportedPaths())
                EXPECT_EQ(results[path], results[1]) << what;
            if (results[1].empty())
                continue;
            int differing = 0;
            for (size_t n = 0; n < results[0].size(); ++n) {
                const double u = results[0][n], v = results[1][n];
                if (u == v)
                    continue;
                ++differing;
                if (interp != rotateNearest) {
                    // Float sources lie within +-100: single-precision cubic sums
                    // carry a few ulps of that range.
                    const double tol = (code >> 3) == 1 ? 1e-3 : 1.0;
                    EXPECT_LE(std::fabs(u - v), tol) << what << " sample " << n;
                }
            }
            if (interp == rotateNearest) {
                EXPECT_LE(differing, 4) << what;
            }
        }
}

TEST(RotateByAngle, WarpPathStatusesAndFractionalQuarterTurns)
{
    KindImage src(1, 6, 6), dst(1, 6, 6);
    std::mt19937 rng(4);
    src.fillRandom(rng);
    const auto call = [&](double angle, double xs, double ys, int32_t interp) {
        return rotateByAngle(src.arg(), 6, 6, src.step(), 0, 0, 6, 6, dst.arg(), dst.step(), 0, 0, 6, 6, angle, xs,
                             ys, interp);
    };
    // A quarter turn with a fractional shift goes through the warp, which
    // checks the interpolation; with whole shifts it is ignored.
    EXPECT_EQ(call(90.0, 0.5, 5.0, 3), -22);
    EXPECT_EQ(call(90.0, 0.0, 5.0, 3), 0);
    // 0 and 360 degrees are warps with the identity: exact copies.
    for (double angle : {0.0, 360.0}) {
        dst.fill0();
        EXPECT_EQ(call(angle, 0.0, 0.0, rotateLinear), 0);
        EXPECT_EQ(dst.bytes(), src.bytes());
    }
    // A quarter turn by half a pixel with nearest sampling takes the pixel
    // half a column further (halves round up): the exact coefficients keep
    // it from drifting.
    dst.fill0();
    EXPECT_EQ(call(90.0, -0.5, 5.0, rotateNearest), 0);
    // Destination (x, y) maps back to source (5 - y, x + 0.5): row x + 1.
    for (int y = 0; y < 6; ++y)
        for (int x = 0; x < 5; ++x)
            EXPECT_EQ(dst.get(x, y, 0), src.get(5 - y, x + 1, 0)) << x << "," << y;
    // NaN angles are refused by the warp.
    EXPECT_EQ(call(std::numeric_limits<double>::quiet_NaN(), 0.0, 0.0, rotateNearest), -56);
}

} // namespace
