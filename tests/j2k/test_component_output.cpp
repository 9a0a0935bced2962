// Finishing a tile's components: inverse RCT and ICT, rounding of float
// samples, DC level shift and clamping, checked against the transforms'
// formulas written here; mixed wavelets per component; the 16-bit path.
#include <gtest/gtest.h>

#include <bit>
#include <cmath>
#include <cstdint>
#include <cstring>
#include <random>
#include <vector>

#include "j2k/decoder/component_output.h"
#include "j2k/decoder/inverse_wavelet.h"
#include "j2k/diagnostics.h"

namespace {

// A component plane of w x h 32-bit cells with a row step wider than w.
struct Plane {
    uint32_t w, h, step;
    std::vector<int32_t> cells;
    Plane(uint32_t ww, uint32_t hh) : w(ww), h(hh), step(ww + 2), cells(size_t(step) * hh, 0x7EADBEEF) {}
    int32_t& at(uint32_t x, uint32_t y) { return cells[size_t(y) * step + x]; }
    void setFloat(uint32_t x, uint32_t y, float v) { at(x, y) = std::bit_cast<int32_t>(v); }
    int16_t& at16(uint32_t x, uint32_t y) { return reinterpret_cast<int16_t*>(&cells[size_t(y) * step])[x]; }
    DJP2ComponentOutput out(int bits, bool isSigned, bool reversible, IntPair sampling = IntPair(1, 1)) {
        DJP2ComponentOutput c;
        c.plane = PlaneRef(cells.data(), int32_t(step * 4));
        c.size = IntPair(int32_t(w), int32_t(h));
        c.depth = DJP2BitDepth(bits - 1, isSigned);
        c.sampling = sampling;
        c.reversible = reversible ? 1 : 0;
        return c;
    }
    // The padding cells beyond each row are never written.
    bool paddingIntact() const {
        for (uint32_t y = 0; y < h; ++y)
            for (uint32_t x = w; x < step; ++x)
                if (cells[size_t(y) * step + x] != 0x7EADBEEF)
                    return false;
        return true;
    }
};

J2KRect Tile(uint32_t w, uint32_t h) { return J2KRect(0, 0, w, h); }

TEST(FinishTileComponents, IctRoundsToEvenShiftsAndClampsEightBitColour) {
    // Neutral chroma: R = G = B = Y, so the rounding is seen exactly.
    const float ys[] = {2.5f, 3.5f, -0.5f, -200.f, 200.f, 127.4f};
    const int32_t want[] = {130, 132, 128, 0, 255, 255};
    Plane p[3] = {Plane(6, 1), Plane(6, 1), Plane(6, 1)};
    for (uint32_t x = 0; x < 6; ++x) {
        p[0].setFloat(x, 0, ys[x]);
        p[1].setFloat(x, 0, 0.f);
        p[2].setFloat(x, 0, 0.f);
    }
    DJP2ComponentOutput c[3] = {p[0].out(8, false, false), p[1].out(8, false, false), p[2].out(8, false, false)};
    FinishTileComponents(c, 3, true, Tile(6, 1));
    for (uint32_t k = 0; k < 3; ++k)
        for (uint32_t x = 0; x < 6; ++x)
            EXPECT_EQ(p[k].at(x, 0), want[x]) << "component " << k << " sample " << x;
    EXPECT_TRUE(p[0].paddingIntact());

    // With chroma, against the ICT formula (values kept away from .5 ties).
    const float Y = 10.2f, Cb = -20.1f, Cr = 30.3f;
    Plane q[3] = {Plane(1, 1), Plane(1, 1), Plane(1, 1)};
    q[0].setFloat(0, 0, Y), q[1].setFloat(0, 0, Cb), q[2].setFloat(0, 0, Cr);
    DJP2ComponentOutput d[3] = {q[0].out(8, false, false), q[1].out(8, false, false), q[2].out(8, false, false)};
    FinishTileComponents(d, 3, true, Tile(1, 1));
    EXPECT_EQ(q[0].at(0, 0), std::lround(Y + 1.402 * Cr) + 128);
    EXPECT_EQ(q[1].at(0, 0), std::lround(Y - 0.344136 * Cb - 0.714136 * Cr) + 128);
    EXPECT_EQ(q[2].at(0, 0), std::lround(Y + 1.772 * Cb) + 128);
}

TEST(FinishTileComponents, RctIsExactAndUnclamped) {
    const int32_t Y[] = {200, -5, 17, 0}, Db[] = {-3, 100, 7, -255}, Dr[] = {4, -100, -9, 255};
    Plane p[3] = {Plane(4, 1), Plane(4, 1), Plane(4, 1)};
    for (uint32_t x = 0; x < 4; ++x)
        p[0].at(x, 0) = Y[x], p[1].at(x, 0) = Db[x], p[2].at(x, 0) = Dr[x];
    DJP2ComponentOutput c[3] = {p[0].out(8, false, true), p[1].out(8, false, true), p[2].out(8, false, true)};
    FinishTileComponents(c, 3, true, Tile(4, 1));
    for (uint32_t x = 0; x < 4; ++x) {
        const int32_t g = Y[x] - int32_t(std::floor((Db[x] + Dr[x]) / 4.0));
        EXPECT_EQ(p[1].at(x, 0), g + 128) << x;
        EXPECT_EQ(p[0].at(x, 0), Dr[x] + g + 128) << x;
        EXPECT_EQ(p[2].at(x, 0), Db[x] + g + 128) << x;
    }
    EXPECT_EQ(p[1].at(0, 0), 200 + 128);  // reversible samples are not clamped
}

TEST(FinishTileComponents, SingleComponentsByPrecisionAndSignedness) {
    struct Case {
        int bits;
        bool isSigned, reversible;
        float in;     // float input (9/7) or integer input (5/3)
        int32_t want;
    };
    const Case cases[] = {
        {12, true, false, 5000.5f, 5000},    // signed 9/7: rounded, not shifted, not clamped
        {12, true, false, -3000.7f, -3001},
        {12, false, false, 4000.4f, 4095},   // unsigned 9/7: shifted by 2048 and clamped to 4095
        {12, false, false, -2100.f, 0},
        {1, false, false, 0.4f, 1},          // one bit: offset 1, range 0..1
        {16, false, false, -1.5f, 32766},
        {16, true, true, -40000, -40000},    // 5/3: integers, signed untouched
        {10, false, true, 600, 1112},        // unsigned 5/3: shifted by 512, not clamped
    };
    for (const Case& k : cases) {
        Plane p(1, 1);
        if (k.reversible)
            p.at(0, 0) = int32_t(k.in);
        else
            p.setFloat(0, 0, k.in);
        DJP2ComponentOutput c = p.out(k.bits, k.isSigned, k.reversible);
        FinishTileComponents(&c, 1, true, Tile(1, 1));  // the transform needs three components
        EXPECT_EQ(p.at(0, 0), k.want) << k.bits << (k.isSigned ? " signed " : " unsigned ") << k.in;
    }
}

// A colour image with alpha: the transform touches the first three only, and
// every component outside it is finished by its own wavelet (here the alpha
// plane's differs from the colour planes').
TEST(FinishTileComponents, FourthComponentFinishedByItsOwnWavelet) {
    for (bool colourReversible : {false, true}) {
        Plane p[4] = {Plane(2, 2), Plane(2, 2), Plane(2, 2), Plane(2, 2)};
        for (uint32_t y = 0; y < 2; ++y)
            for (uint32_t x = 0; x < 2; ++x)
                for (uint32_t k = 0; k < 3; ++k) {
                    if (colourReversible)
                        p[k].at(x, y) = k == 0 ? 10 : 0;
                    else
                        p[k].setFloat(x, y, k == 0 ? 10.f : 0.f);
                }
        // Alpha with the other wavelet: 5/3 integers beside 9/7 colour, or
        // 9/7 floats beside 5/3 colour.
        for (uint32_t y = 0; y < 2; ++y)
            for (uint32_t x = 0; x < 2; ++x) {
                if (colourReversible)
                    p[3].setFloat(x, y, 140.4f);
                else
                    p[3].at(x, y) = 100;
            }
        DJP2ComponentOutput c[4];
        for (uint32_t k = 0; k < 3; ++k)
            c[k] = p[k].out(8, false, colourReversible);
        c[3] = p[3].out(8, false, !colourReversible);
        FinishTileComponents(c, 4, true, Tile(2, 2));
        for (uint32_t y = 0; y < 2; ++y)
            for (uint32_t x = 0; x < 2; ++x) {
                for (uint32_t k = 0; k < 3; ++k)
                    EXPECT_EQ(p[k].at(x, y), 138) << "colour " << k;
                // 9/7 alpha: 140 + 128 clamped to 255; 5/3 alpha: 100 + 128.
                EXPECT_EQ(p[3].at(x, y), colourReversible ? 255 : 228);
            }
    }
}

TEST(FinishTileComponents, TransformOffShiftsEachComponent) {
    Plane p[3] = {Plane(1, 1), Plane(1, 1), Plane(1, 1)};
    p[0].at(0, 0) = 1, p[1].at(0, 0) = 2, p[2].at(0, 0) = 3;
    DJP2ComponentOutput c[3] = {p[0].out(8, false, true), p[1].out(8, false, true), p[2].out(8, true, true)};
    FinishTileComponents(c, 3, false, Tile(1, 1));
    EXPECT_EQ(p[0].at(0, 0), 129);
    EXPECT_EQ(p[1].at(0, 0), 130);
    EXPECT_EQ(p[2].at(0, 0), 3);
}

// Luma at full size, chroma halved horizontally: the transform runs on the
// tile's grid; 9/7 results are converted and shifted but not clamped.
TEST(FinishTileComponents, SubsampledChromaTakesTheResampledTransform) {
    const uint32_t w = 7, h = 3, cw = 4;
    for (bool reversible : {false, true}) {
        Plane y(w, h), cb(cw, h), cr(cw, h);
        for (uint32_t r = 0; r < h; ++r) {
            for (uint32_t x = 0; x < w; ++x)
                reversible ? void(y.at(x, r) = 300) : y.setFloat(x, r, 300.f);
            for (uint32_t x = 0; x < cw; ++x) {
                reversible ? void(cb.at(x, r) = 0) : cb.setFloat(x, r, 0.f);
                reversible ? void(cr.at(x, r) = 0) : cr.setFloat(x, r, 0.f);
            }
        }
        DJP2ComponentOutput c[3] = {y.out(8, false, reversible), cb.out(8, false, reversible, IntPair(2, 1)),
                                    cr.out(8, false, reversible, IntPair(2, 1))};
        ASSERT_TRUE(NeedsComponentResampling(c, 3));
        FinishTileComponents(c, 3, true, Tile(w, h));
        for (uint32_t r = 0; r < h; ++r) {
            for (uint32_t x = 0; x < w; ++x)
                EXPECT_EQ(y.at(x, r), 428) << "luma " << x << "," << r;
            for (uint32_t x = 0; x < cw; ++x) {
                EXPECT_EQ(cb.at(x, r), 428) << "cb " << x << "," << r;
                EXPECT_EQ(cr.at(x, r), 428) << "cr " << x << "," << r;
            }
        }
        EXPECT_TRUE(y.paddingIntact() && cb.paddingIntact() && cr.paddingIntact());
    }
}

// Colour with subsampled chroma beside a fourth component: the three colour
// planes differ in size, so they cannot be combined row by row (that would
// read past the chroma rows); they go through the resampled transform.
TEST(FinishTileComponents, SubsampledChromaBesideAlpha) {
    const uint32_t w = 6, h = 4;
    Plane y(w, h), cb(w / 2, h / 2), cr(w / 2, h / 2), a(w, h);
    for (uint32_t r = 0; r < h; ++r)
        for (uint32_t x = 0; x < w; ++x)
            y.at(x, r) = 50, a.at(x, r) = 7;
    for (uint32_t r = 0; r < h / 2; ++r)
        for (uint32_t x = 0; x < w / 2; ++x)
            cb.at(x, r) = 0, cr.at(x, r) = 0;
    DJP2ComponentOutput c[4] = {y.out(8, false, true), cb.out(8, false, true, IntPair(2, 2)),
                                cr.out(8, false, true, IntPair(2, 2)), a.out(8, false, true)};
    FinishTileComponents(c, 4, true, Tile(w, h));
    for (uint32_t r = 0; r < h; ++r)
        for (uint32_t x = 0; x < w; ++x) {
            EXPECT_EQ(y.at(x, r), 178);
            EXPECT_EQ(a.at(x, r), 135);
            if (r < h / 2 && x < w / 2) {
                EXPECT_EQ(cb.at(x, r), 178);
                EXPECT_EQ(cr.at(x, r), 178);
            }
        }
    EXPECT_TRUE(cb.paddingIntact() && cr.paddingIntact());
}

TEST(FinishTileComponents, ResamplingOnlyForExactlyThreeSubsampledComponents) {
    Plane p(1, 1);
    DJP2ComponentOutput c[4] = {p.out(8, false, true), p.out(8, false, true, IntPair(1, 2)), p.out(8, false, true),
                                p.out(8, false, true)};
    EXPECT_TRUE(NeedsComponentResampling(c, 3));
    EXPECT_FALSE(NeedsComponentResampling(c, 4));
    c[1].sampling = IntPair(1, 1);
    EXPECT_FALSE(NeedsComponentResampling(c, 3));
}

// The 16-bit path: RCT results equal the 32-bit path's; 9/7 samples carry
// four fraction bits, removed with rounding (unsigned, with the level shift)
// or by an arithmetic shift (signed).
TEST(FinishTileComponents16, MatchesTheWidePathWhereInRange) {
    const int32_t Y[] = {100, -50, 7}, Db[] = {-3, 60, -100}, Dr[] = {4, -70, 127};
    Plane w[3] = {Plane(3, 1), Plane(3, 1), Plane(3, 1)};
    Plane n[3] = {Plane(3, 1), Plane(3, 1), Plane(3, 1)};
    for (uint32_t x = 0; x < 3; ++x) {
        const int32_t v[3] = {Y[x], Db[x], Dr[x]};
        for (uint32_t k = 0; k < 3; ++k)
            w[k].at(x, 0) = v[k], n[k].at16(x, 0) = int16_t(v[k]);
    }
    DJP2ComponentOutput cw[3], cn[3];
    for (uint32_t k = 0; k < 3; ++k)
        cw[k] = w[k].out(8, false, true), cn[k] = n[k].out(8, false, true);
    FinishTileComponents(cw, 3, true, Tile(3, 1));
    FinishTileComponents16(cn, 3, true);
    for (uint32_t k = 0; k < 3; ++k)
        for (uint32_t x = 0; x < 3; ++x)
            EXPECT_EQ(n[k].at16(x, 0), w[k].at(x, 0)) << k << " " << x;

    Plane u(4, 1), s(4, 1);
    const int16_t in[] = {16 * 10 + 7, 16 * 10 + 8, 16 * 11 + 8, -16 * 3 - 1};
    for (uint32_t x = 0; x < 4; ++x)
        u.at16(x, 0) = in[x], s.at16(x, 0) = in[x];
    DJP2ComponentOutput cu = u.out(8, false, false), cs = s.out(8, true, false);
    FinishTileComponents16(&cu, 1, false);
    FinishTileComponents16(&cs, 1, false);
    const int16_t wantU[] = {138, 138, 140, 125}, wantS[] = {10, 10, 11, -4};
    for (uint32_t x = 0; x < 4; ++x) {
        EXPECT_EQ(u.at16(x, 0), wantU[x]) << x;
        EXPECT_EQ(s.at16(x, 0), wantS[x]) << x;
    }
}

TEST(FinishTileComponents16, RefusesThreeDifferentlySubsampledComponents) {
    Plane p(2, 2), q(1, 2);
    DJP2ComponentOutput c[3] = {p.out(8, false, true), q.out(8, false, true, IntPair(2, 1)),
                                q.out(8, false, true, IntPair(2, 1))};
    using Refusal = DiagnDescrCT<DJP2CSUnsuppException, 18>;
    EXPECT_THROW(FinishTileComponents16(c, 3, true), Refusal);
}

// The 16-bit per-component step against the wide paths on the same
// coefficients: 5/3 equal while in range; 9/7 with its four fraction bits
// within a few units of the float path's dequantised synthesis times 16.
TEST(ReconstructComponent16, FollowsTheWidePaths) {
    const J2KRect rect(1, 3, 21, 14);
    const uint32_t levels = 3;
    std::mt19937 rng(12);
    std::uniform_int_distribution<int32_t> u(-300, 300);
    SubbandPlanes coeff, floats;
    coeff.Build(rect, levels);
    floats.Build(rect, levels);
    const DJP2BandStep16 ll{100, 9, 8}, step{700, 10, 9};
    const DJP2BandStep16 steps[levels][3] = {{step, step, step}, {step, step, step}, {step, step, step}};
    auto fill = [&](const DJP2PlaneBuffer& c, const DJP2PlaneBuffer& f, const DJP2BandStep16& q) {
        const double scale = std::ldexp(1.0 + q.mu / 2048.0, q.rb - q.eps);
        for (int32_t y = 0; y < c.Size().second; ++y)
            for (int32_t x = 0; x < c.Size().first; ++x) {
                c.Row(y)[x] = u(rng);
                reinterpret_cast<float*>(f.Row(y))[x] = float(c.Row(y)[x] * scale);
            }
    };
    for (uint32_t i = 0; i < levels; ++i) {
        fill(coeff.level[i].hl, floats.level[i].hl, step);
        fill(coeff.level[i].lh, floats.level[i].lh, step);
        fill(coeff.level[i].hh, floats.level[i].hh, step);
    }
    fill(coeff.ll, floats.ll, ll);

    const uint32_t w = rect.width, h = rect.height;
    std::vector<int16_t> out16(size_t(w) * h);
    std::vector<int32_t> out32(size_t(w) * h);
    ReconstructComponent16(coeff, true, ll, steps, PlaneRef(out16.data(), int32_t(2 * w)));
    inverseDwt53(coeff, PlaneRef(out32.data(), int32_t(4 * w)), rect);
    EXPECT_EQ(std::vector<int32_t>(out16.begin(), out16.end()), out32);

    std::vector<float> outF(size_t(w) * h);
    ReconstructComponent16(coeff, false, ll, steps, PlaneRef(out16.data(), int32_t(2 * w)));
    inverseDwt97(floats, PlaneRef(outF.data(), int32_t(4 * w)), rect);
    for (size_t k = 0; k < outF.size(); ++k)
        ASSERT_NEAR(out16[k], 16 * outF[k], 12) << k;  // under one sample unit after three levels
}

} // namespace
