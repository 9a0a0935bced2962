// Channel reorder, planar/packed layouts and depth conversions: documented
// values, status order and every path against the generic one.
#include <gtest/gtest.h>

#include <cstring>
#include <vector>

#include "path_compare.h"
#include "primitives/core/channels.h"
#include "primitives/core/depth.h"
#include "primitives/core/planar.h"

namespace {

using vqtest::GuardedImage;
using vqtest::SweepCase;

// ---- channel reorder ------------------------------------------------------

TEST(SwapChannels, StatusesInOrder) {
    uint8_t a[12] = {}, b[12] = {};
    const int32_t ok[3] = {2, 1, 0}, bad1[3] = {0, 3, 1}, bad2[3] = {-1, 0, 1};
    for (int path : vqtest::allPaths()) {
        const auto inPlace = swapChannelsInPlace8uC3Table[path];
        EXPECT_EQ(inPlace(nullptr, 0, {0, 0}, ok), primErrNullPtr);
        EXPECT_EQ(inPlace(a, 3, {1, 1}, nullptr), primErrNullPtr);
        EXPECT_EQ(inPlace(a, 0, {1, 0}, ok), primErrSize);  // size before step
        EXPECT_EQ(inPlace(a, 0, {1, 1}, ok), primErrStep);
        EXPECT_EQ(inPlace(a, 3, {1, 1}, bad1), primErrChannelOrder);
        EXPECT_EQ(inPlace(a, 3, {1, 1}, bad2), primErrChannelOrder);
        for (const SwapChannelsFn f : {swapChannels8uC3Table[path], swapChannels8uAC4Table[path]}) {
            EXPECT_EQ(f(a, 4, nullptr, 4, {0, 0}, ok), primErrNullPtr);
            EXPECT_EQ(f(a, 4, b, 4, {1, 0}, ok), primErrSize);
            EXPECT_EQ(f(a, 4, b, -4, {1, 1}, ok), primErrStep);
            EXPECT_EQ(f(a, 4, b, 4, {1, 1}, bad1), primErrChannelOrder);
        }
        for (int i = 0; i < 12; ++i)
            ASSERT_EQ(a[i] | b[i], 0);
    }
}

TEST(SwapChannels, Orders) {
    const int32_t identity[3] = {0, 1, 2}, outer[3] = {2, 1, 0}, third[3] = {2, 2, 2};
    for (int path : vqtest::allPaths()) {
        uint8_t px[6] = {1, 2, 3, 4, 5, 6};
        ASSERT_EQ(swapChannelsInPlace8uC3Table[path](px, 6, {2, 1}, identity), primNoErr);
        EXPECT_EQ(px[0], 1);
        ASSERT_EQ(swapChannelsInPlace8uC3Table[path](px, 6, {2, 1}, outer), primNoErr);
        const uint8_t swapped[6] = {3, 2, 1, 6, 5, 4};
        EXPECT_EQ(std::memcmp(px, swapped, 6), 0);
        uint8_t out[6] = {};
        ASSERT_EQ(swapChannels8uC3Table[path](px, 6, out, 6, {2, 1}, third), primNoErr);
        const uint8_t thirds[6] = {1, 1, 1, 4, 4, 4};
        EXPECT_EQ(std::memcmp(out, thirds, 6), 0);
        // The fourth byte of each destination pixel keeps its value.
        const uint8_t s4[8] = {1, 2, 3, 4, 5, 6, 7, 8};
        uint8_t d4[8] = {0, 0, 0, 77, 0, 0, 0, 88};
        ASSERT_EQ(swapChannels8uAC4Table[path](s4, 8, d4, 8, {2, 1}, outer), primNoErr);
        const uint8_t want4[8] = {3, 2, 1, 77, 7, 6, 5, 88};
        EXPECT_EQ(std::memcmp(d4, want4, 8), 0);
    }
}

TEST(SwapChannels, EveryPathMatchesGeneric) {
    const int32_t orders[][3] = {{2, 1, 0}, {0, 1, 2}, {1, 2, 0}, {2, 2, 2}, {0, 0, 1}};
    int seed = 50;
    for (const auto& order : orders) {
        vqtest::expectPathsMatchInPlace(
            3,
            [&](int path, GuardedImage& img, const SweepCase& c) {
                return swapChannelsInPlace8uC3Table[path](img.origin(), img.step(),
                                                          {c.width, c.height}, order);
            },
            ++seed);
        for (int bpp : {3, 4}) {
            const SwapChannelsFn* table = bpp == 3 ? swapChannels8uC3Table : swapChannels8uAC4Table;
            vqtest::expectPathsMatchSrcDst(
                bpp, bpp,
                [&](int path, GuardedImage& s, GuardedImage& d, const SweepCase& c) {
                    return table[path](s.origin(), s.step(), d.origin(), d.step(), {c.width, c.height}, order);
                },
                ++seed);
        }
    }
}

// ---- planar and packed ----------------------------------------------------

TEST(PlanarPacked, StatusesAndOnePixel) {
    uint8_t p0[4] = {1}, p1[4] = {2}, p2[4] = {3}, p3[4] = {4}, px[8] = {};
    for (int path : vqtest::allPaths()) {
        const uint8_t* planes[4] = {p0, p1, nullptr, p3};
        EXPECT_EQ(copyPlanesToPixels8uC3Table[path](planes, 4, px, 4, {1, 1}), primErrNullPtr);
        EXPECT_EQ(copyPlanesToPixels8uC3Table[path](nullptr, 4, px, 4, {0, 1}), primErrNullPtr);
        planes[2] = p2;
        EXPECT_EQ(copyPlanesToPixels8uC3Table[path](planes, 4, nullptr, 4, {0, 1}), primErrNullPtr);
        EXPECT_EQ(copyPlanesToPixels8uC4Table[path](planes, 4, px, 4, {0, 1}), primErrSize);
        EXPECT_EQ(copyPlanesToPixels8uC4Table[path](planes, 4, px, 4, {1, -1}), primErrSize);
        for (uint8_t b : px)
            ASSERT_EQ(b, 0);
        ASSERT_EQ(copyPlanesToPixels8uC4Table[path](planes, 4, px, 4, {1, 1}), primNoErr);
        EXPECT_EQ(px[0] * 1000 + px[1] * 100 + px[2] * 10 + px[3], 1234);

        uint8_t q0[1] = {}, q1[1] = {}, q2[1] = {};
        uint8_t* outs[3] = {q0, q1, nullptr};
        const uint8_t rgb[3] = {7, 8, 9};
        EXPECT_EQ(copyPixelsToPlanes8uC3Table[path](rgb, 3, outs, 1, {1, 1}), primErrNullPtr);
        outs[2] = q2;
        EXPECT_EQ(copyPixelsToPlanes8uC3Table[path](rgb, 3, outs, 1, {1, 0}), primErrSize);
        ASSERT_EQ(copyPixelsToPlanes8uC3Table[path](rgb, 3, outs, 1, {1, 1}), primNoErr);
        EXPECT_EQ(q0[0] * 100 + q1[0] * 10 + q2[0], 789);
        std::memset(px, 0, sizeof px);
    }
}

TEST(PlanarPacked, OnePlaneThreeTimesGivesGray) {
    uint8_t gray[40];
    for (int i = 0; i < 40; ++i)
        gray[i] = static_cast<uint8_t>(i * 5);
    for (int path : vqtest::allPaths()) {
        std::vector<uint8_t> out(120);
        const uint8_t* planes[3] = {gray, gray, gray};
        ASSERT_EQ(copyPlanesToPixels8uC3Table[path](planes, 40, out.data(), 120, {40, 1}), primNoErr);
        for (int i = 0; i < 120; ++i)
            ASSERT_EQ(out[i], gray[i / 3]);
    }
}

// Planes live in their own guarded images; the packed image in another.
template <int N>
void comparePlanar(uint32_t seed, int maxSize, bool toPixels) {
    for (int path : vqtest::supportedPaths())
        for (const SweepCase& c : vqtest::sweepCases(seed + path, 80, maxSize)) {
            std::mt19937 rng(seed + c.width * 3 + c.height);
            std::vector<GuardedImage> planesRef, planesOut;
            for (int k = 0; k < N; ++k) {
                // Each plane its own alignment, all with the plane step.
                planesRef.emplace_back(c.width, c.height, (c.srcAlign + 5 * k) % 16, c.srcGap, c.srcNegative);
                planesOut.emplace_back(c.width, c.height, (c.srcAlign + 5 * k) % 16, c.srcGap, c.srcNegative);
                planesRef.back().fillRandom(rng);
                planesOut.back().copyAllFrom(planesRef.back());
            }
            GuardedImage packedRef(c.width * N, c.height, c.dstAlign, c.dstGap, c.dstNegative);
            GuardedImage packedOut(c.width * N, c.height, c.dstAlign, c.dstGap, c.dstNegative);
            packedRef.fillRandom(rng);
            packedOut.copyAllFrom(packedRef);
            const uint8_t* inRef[N];
            const uint8_t* inOut[N];
            uint8_t* outRef[N];
            uint8_t* outOut[N];
            for (int k = 0; k < N; ++k) {
                inRef[k] = outRef[k] = planesRef[k].origin();
                inOut[k] = outOut[k] = planesOut[k].origin();
            }
            const int32_t ps = planesRef[0].step();
            const PrimSize size{c.width, c.height};
            if (toPixels) {
                const auto* t = N == 3 ? copyPlanesToPixels8uC3Table : copyPlanesToPixels8uC4Table;
                ASSERT_EQ(t[0](inRef, ps, packedRef.origin(), packedRef.step(), size), primNoErr);
                ASSERT_EQ(t[path](inOut, ps, packedOut.origin(), packedOut.step(), size), primNoErr);
            } else {
                const auto* t = N == 3 ? copyPixelsToPlanes8uC3Table : copyPixelsToPlanes8uC4Table;
                ASSERT_EQ(t[0](packedRef.origin(), packedRef.step(), outRef, ps, size), primNoErr);
                ASSERT_EQ(t[path](packedOut.origin(), packedOut.step(), outOut, ps, size), primNoErr);
            }
            ASSERT_TRUE(packedOut.sameAllAs(packedRef)) << vqtest::pathName(path) << " " << c.describe();
            ASSERT_TRUE(packedRef.guardsIntact());
            for (int k = 0; k < N; ++k) {
                ASSERT_TRUE(planesOut[k].sameAllAs(planesRef[k])) << vqtest::pathName(path) << " " << c.describe();
                ASSERT_TRUE(planesRef[k].guardsIntact());
            }
        }
}

TEST(PlanarPacked, EveryPathMatchesGeneric) {
    comparePlanar<3>(61, 70, true);
    comparePlanar<4>(62, 70, true);
    comparePlanar<3>(63, 70, false);
    comparePlanar<4>(64, 70, false);
}

// ---- 16-bit to 8-bit scaling ---------------------------------------------

TEST(Scale16uTo8u, AllInputsBothModes) {
    std::vector<uint16_t> src(65536);
    for (int s = 0; s < 65536; ++s)
        src[s] = static_cast<uint16_t>(s);
    for (int path : vqtest::allPaths())
        for (int32_t mode : {0, 1, 2, 3}) {
            std::vector<uint8_t> dst(65536, 0xCC);
            // One row of 65536 samples, and the same as 256 rows of 256.
            ASSERT_EQ(scale16uTo8uC1Table[path](src.data(), 131072, dst.data(), 65536, {65536, 1}, mode), primNoErr);
            std::vector<uint8_t> rows(65536, 0xCC);
            ASSERT_EQ(scale16uTo8uC3Table[path](src.data(), 512, rows.data(), 256, {256 / 3, 256}, mode),
                      primNoErr);
            for (int s = 0; s < 65536; ++s) {
                const int accurate = (s + 128) / 257;
                const int fast = (s - (s >> 8) + 128) >> 8;
                const int want = mode == kScaleAccurate ? accurate : fast;
                ASSERT_EQ(dst[s], want) << vqtest::pathName(path) << " mode " << mode << " s " << s;
                if (s % 256 < 255)
                    ASSERT_EQ(rows[s], want) << vqtest::pathName(path) << " mode " << mode << " s " << s;
                else
                    ASSERT_EQ(rows[s], 0xCC);
            }
        }
    // The documented differences between the modes.
    const uint16_t probe[5] = {128, 385, 0, 32768, 65535};
    uint8_t fast[5], accurate[5];
    ASSERT_EQ(scale16uTo8uC1(probe, 10, fast, 5, {5, 1}, 1), primNoErr);
    ASSERT_EQ(scale16uTo8uC1(probe, 10, accurate, 5, {5, 1}, kScaleAccurate), primNoErr);
    const uint8_t wantFast[5] = {1, 2, 0, 128, 255}, wantAccurate[5] = {0, 1, 0, 128, 255};
    EXPECT_EQ(std::memcmp(fast, wantFast, 5), 0);
    EXPECT_EQ(std::memcmp(accurate, wantAccurate, 5), 0);
}

TEST(Scale16uTo8u, StatusesAndRoundingModeKept) {
    uint16_t s[4] = {};
    uint8_t d[4] = {};
    for (int path : vqtest::allPaths())
        for (const Scale16uTo8uFn f : {scale16uTo8uC1Table[path], scale16uTo8uC3Table[path]}) {
            // Toward zero: the accurate mode must give it back on every return.
            const uint32_t saved = setSseRoundingMode(0x6000);
            EXPECT_EQ(f(nullptr, 2, d, 1, {0, 1}, 2), primErrNullPtr);
            EXPECT_EQ(f(s, 2, nullptr, 1, {1, 1}, 2), primErrNullPtr);
            EXPECT_EQ(f(s, 0, d, 1, {0, 1}, 2), primErrSize);
            EXPECT_EQ(f(s, 2, d, 1, {1, 0}, 2), primErrSize);
            EXPECT_EQ(f(s, 0, d, 1, {1, 1}, 2), primErrStep);
            EXPECT_EQ(f(s, 2, d, 0, {1, 1}, 2), primErrStep);
            EXPECT_EQ(vq::platform::readMxcsr() & 0x6000u, 0x6000u);
            EXPECT_EQ(f(s, 8, d, 4, {1, 1}, 2), primNoErr);
            EXPECT_EQ(vq::platform::readMxcsr() & 0x6000u, 0x6000u) << vqtest::pathName(path);
            restoreSseControl(saved);
        }
}

TEST(Scale16uTo8u, EveryPathMatchesGeneric) {
    for (int32_t mode : {1, 2})
        for (int ch : {1, 3}) {
            const Scale16uTo8uFn* t = ch == 1 ? scale16uTo8uC1Table : scale16uTo8uC3Table;
            vqtest::expectPathsMatchSrcDst(
                2 * ch, ch,
                [&](int path, GuardedImage& s, GuardedImage& d, const SweepCase& c) {
                    // Negative steps are refused (-14) by every path alike.
                    return t[path](s.as<uint16_t>(), s.step(), d.origin(), d.step(), {c.width, c.height}, mode);
                },
                70 + mode * 2 + ch);
        }
}

// ---- integer depth conversions --------------------------------------------

TEST(ConvertDepth, SaturationAndWidening) {
    const int32_t src[8] = {-1, 0, 254, 255, 256, INT32_MAX, INT32_MIN, 128};
    const uint8_t want[8] = {0, 0, 254, 255, 255, 255, 0, 128};
    for (int path : vqtest::allPaths()) {
        uint8_t d[8] = {};
        ASSERT_EQ(convert32sTo8uC1Table[path](src, 32, d, 8, {8, 1}), primNoErr);
        EXPECT_EQ(std::memcmp(d, want, 8), 0);
        const uint8_t b[2] = {255, 128};
        int32_t w[2] = {};
        ASSERT_EQ(convert8uTo32sC1Table[path](b, 2, w, 8, {2, 1}), primNoErr);
        EXPECT_EQ(w[0], 255);
        EXPECT_EQ(w[1], 128);
        for (int k = 0; k < 2; ++k) {
            const auto run = [&](const void* s, int32_t ss, void* dd, int32_t ds, PrimSize z) {
                return k == 0 ? convert32sTo8uC1Table[path](static_cast<const int32_t*>(s), ss,
                                                            static_cast<uint8_t*>(dd), ds, z)
                              : convert8uTo32sC1Table[path](static_cast<const uint8_t*>(s), ss,
                                                            static_cast<int32_t*>(dd), ds, z);
            };
            EXPECT_EQ(run(nullptr, 4, w, 4, {0, 1}), primErrNullPtr);
            EXPECT_EQ(run(src, 0, w, 4, {0, 1}), primErrSize);
            EXPECT_EQ(run(src, 0, w, 4, {1, 1}), primErrStep);
            EXPECT_EQ(run(src, 4, w, -4, {1, 1}), primErrStep);
        }
    }
}

TEST(ConvertDepth, EveryPathMatchesGeneric) {
    vqtest::expectPathsMatchSrcDst(
        4, 1,
        [](int path, GuardedImage& s, GuardedImage& d, const SweepCase& c) {
            // Spread the random bytes over the interesting range of values.
            for (int y = 0; y < c.height; ++y)
                for (int x = 0; x < c.width; ++x) {
                    int32_t v;
                    std::memcpy(&v, s.row(y) + 4 * x, 4);
                    v = (x % 3 == 0) ? v : v % 300;
                    std::memcpy(s.row(y) + 4 * x, &v, 4);
                }
            return convert32sTo8uC1Table[path](s.as<int32_t>(), s.step(), d.origin(), d.step(), {c.width, c.height});
        },
        81);
    vqtest::expectPathsMatchSrcDst(
        1, 4,
        [](int path, GuardedImage& s, GuardedImage& d, const SweepCase& c) {
            return convert8uTo32sC1Table[path](s.origin(), s.step(), d.as<int32_t>(), d.step(), {c.width, c.height});
        },
        82);
}

TEST(ConvertDepth, ScaledTo16uTable) {
    struct Case {
        int32_t v, factor;
        int32_t want[3];  // rounding modes 0, 1, 2
    };
    const Case cases[] = {
        {-7, 0, {0, 0, 0}},           {65535, 0, {65535, 65535, 65535}}, {70000, 0, {65535, 65535, 65535}},
        {5, 1, {2, 2, 3}},            {7, 1, {3, 4, 4}},                 {6, 1, {3, 3, 3}},
        {10, 2, {2, 2, 3}},           {14, 2, {3, 4, 4}},                {INT32_MAX, 16, {32767, 32768, 32768}},
        {INT32_MAX, 31, {0, 1, 1}},   {INT32_MAX, 32, {0, 0, 0}},        {INT32_MAX, 33, {0, 0, 0}},
        {1 << 30, 32, {0, 0, 0}},     {32767, -1, {65534, 65534, 65534}}, {32768, -1, {65535, 65535, 65535}},
        {3, -14, {49152, 49152, 49152}}, {4, -14, {65535, 65535, 65535}}, {1, -15, {32768, 32768, 32768}},
        {2, -15, {65535, 65535, 65535}}, {1, -16, {65535, 65535, 65535}}, {1, -40, {65535, 65535, 65535}},
        {0, -3, {0, 0, 0}},           {-5, -16, {0, 0, 0}},              {INT32_MIN, 5, {0, 0, 0}},
        {1, INT32_MIN, {65535, 65535, 65535}}, {65535, 34, {0, 0, 0}},
    };
    for (int path : vqtest::allPaths())
        for (const Case& c : cases)
            for (int mode = 0; mode < 3; ++mode) {
                uint16_t d = 0xAAAA;
                ASSERT_EQ(convert32sTo16uC1ScaledTable[path](&c.v, 4, &d, 2, {1, 1}, mode, c.factor), primNoErr);
                EXPECT_EQ(d, c.want[mode]) << c.v << " factor " << c.factor << " mode " << mode;
            }
    // Above 33 the source is not read, but must still be given.
    uint16_t d[2] = {7, 7};
    const int32_t unused = 0;
    EXPECT_EQ(convert32sTo16uC1Scaled(nullptr, 4, d, 4, {1, 1}, 0, 40), primErrNullPtr);
    EXPECT_EQ(convert32sTo16uC1Scaled(&unused, 0, d, 0, {0, 1}, 0, 40), primErrSize);
    EXPECT_EQ(convert32sTo16uC1Scaled(&unused, 0, d, 2, {1, 2}, 9, 40), primNoErr);
    EXPECT_EQ(d[0] | d[1], 0);
}

// ---- streaming ------------------------------------------------------------

// Outputs above the streaming thresholds, with a 512 KiB cache presented:
// the streaming branches must give the generic bytes, gaps untouched.
TEST(FormatStreaming, LargeRegionsMatchGeneric) {
    vqtest::FakeCacheCpu cpu(0x43);
    std::mt19937 rng(12);
    for (int gap : {0, 5}) {
        // Planes to pixels, 3 and 4 channels; pixels to planes.
        const int w = 1024, h = 400;
        std::vector<GuardedImage> planes;
        for (int c = 0; c < 4; ++c) {
            planes.emplace_back(w, h, c * 3, gap);
            planes.back().fillRandom(rng);
        }
        const uint8_t* in[4] = {planes[0].origin(), planes[1].origin(), planes[2].origin(), planes[3].origin()};
        for (int n : {3, 4}) {
            const auto* t = n == 3 ? copyPlanesToPixels8uC3Table : copyPlanesToPixels8uC4Table;
            GuardedImage ref(w * n, h, 1, n * gap);
            ASSERT_EQ(t[0](in, planes[0].step(), ref.origin(), ref.step(), {w, h}), primNoErr);
            for (int path : vqtest::supportedPaths()) {
                GuardedImage out(w * n, h, 1, n * gap);
                ASSERT_EQ(t[path](in, planes[0].step(), out.origin(), out.step(), {w, h}), primNoErr);
                ASSERT_TRUE(out.sameAllAs(ref)) << vqtest::pathName(path) << " C" << n << " gap " << gap;
            }
        }
        // 16-bit to 8-bit, fast mode, above every path's sample limit.
        for (int ch : {1, 3}) {
            const int sw = ch == 1 ? 1500 : 500, sh = 1000;
            GuardedImage src(sw * ch * 2, sh, 2, 2 * gap);
            src.fillRandom(rng);
            const auto* t = ch == 1 ? scale16uTo8uC1Table : scale16uTo8uC3Table;
            GuardedImage ref(sw * ch, sh, 3, gap);
            ASSERT_EQ(t[0](src.as<uint16_t>(), src.step(), ref.origin(), ref.step(), {sw, sh}, 1), primNoErr);
            for (int path : vqtest::supportedPaths()) {
                GuardedImage out(sw * ch, sh, 3, gap);
                ASSERT_EQ(t[path](src.as<uint16_t>(), src.step(), out.origin(), out.step(), {sw, sh}, 1), primNoErr);
                ASSERT_TRUE(out.sameAllAs(ref)) << vqtest::pathName(path) << " C" << ch << " gap " << gap;
            }
        }
        // 8-bit to 32-bit.
        GuardedImage src(1000, 300, 7, gap);
        src.fillRandom(rng);
        GuardedImage ref(4000, 300, 4, 4 * gap);
        ASSERT_EQ(convert8uTo32sC1Table[0](src.origin(), src.step(), ref.as<int32_t>(), ref.step(), {1000, 300}),
                  primNoErr);
        for (int path : vqtest::supportedPaths()) {
            GuardedImage out(4000, 300, 4, 4 * gap);
            ASSERT_EQ(convert8uTo32sC1Table[path](src.origin(), src.step(), out.as<int32_t>(), out.step(), {1000, 300}),
                      primNoErr);
            ASSERT_TRUE(out.sameAllAs(ref)) << vqtest::pathName(path) << " gap " << gap;
        }
    }
}

} // namespace
