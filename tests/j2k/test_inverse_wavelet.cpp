// Inverse wavelet: the one-row merges and the per-component transforms
// (column pipelines and the level loop) checked against a reference written
// here from the textbook synthesis: the signal extended symmetrically at both
// ends and lifted in double precision (9/7), or the forward 5/3 lifting whose
// input the inverse must give back exactly. Band layout and level rectangles
// are computed here from the reference-grid rules, not taken from the code.
#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <memory>
#include <string>
#include <cmath>
#include <cstdint>
#include <cstring>
#include <random>
#include <vector>

#include "j2k/decoder/inverse_rows.h"
#include "j2k/decoder/inverse_wavelet.h"
#include "j2k/decoder/tile.h"

namespace {

// ---- 1-D references (coordinates i0 .. i0 + n - 1) -------------------------

// Index of coordinate i after periodic symmetric extension of [i0, i1).
int64_t Mirror(int64_t i, int64_t i0, int64_t i1) {
    const int64_t period = 2 * (i1 - i0 - 1);
    int64_t m = (i - i0) % period;
    if (m < 0)
        m += period;
    return i0 + std::min(m, period - m);
}

// Inverse 9/7 of interleaved y (y[k] at coordinate i0 + k), double precision.
std::vector<double> Synth97(const std::vector<double>& y, int64_t i0) {
    const int64_t n = int64_t(y.size()), i1 = i0 + n;
    if (n == 1)
        return {(i0 & 1) ? y[0] / 2 : y[0]};
    const double a = -1.586134342059924, b = -0.052980118572961, g = 0.882911075530934, d = 0.443506852043971,
                 K = 1.230174104914001;
    const int64_t e0 = i0 - 6, e1 = i1 + 6;
    std::vector<double> x(size_t(e1 - e0));
    auto X = [&](int64_t i) -> double& { return x[size_t(i - e0)]; };
    for (int64_t i = e0; i < e1; ++i)
        X(i) = y[size_t(Mirror(i, i0, i1) - i0)] * ((i & 1) ? 1 / K : K);
    auto pass = [&](int parity, double c, int64_t margin) {
        for (int64_t i = e0 + margin; i < e1 - margin; ++i)
            if ((i & 1) == parity)
                X(i) -= c * (X(i - 1) + X(i + 1));
    };
    pass(0, d, 1);
    pass(1, g, 2);
    pass(0, b, 3);
    pass(1, a, 4);
    std::vector<double> out(static_cast<size_t>(n));
    for (int64_t i = i0; i < i1; ++i)
        out[size_t(i - i0)] = X(i);
    return out;
}

int64_t FloorDiv(int64_t a, int64_t b) { return a >= 0 ? a / b : -((-a + b - 1) / b); }

// Forward 5/3 of x (coordinates i0 ..), result interleaved by coordinate.
std::vector<int32_t> Analyse53(const std::vector<int32_t>& x, int64_t i0) {
    const int64_t n = int64_t(x.size()), i1 = i0 + n;
    if (n == 1)
        return {(i0 & 1) ? 2 * x[0] : x[0]};
    const int64_t e0 = i0 - 4, e1 = i1 + 4;
    std::vector<int64_t> v(size_t(e1 - e0));
    auto V = [&](int64_t i) -> int64_t& { return v[size_t(i - e0)]; };
    for (int64_t i = e0; i < e1; ++i)
        V(i) = x[size_t(Mirror(i, i0, i1) - i0)];
    for (int64_t i = e0 + 1; i < e1 - 1; ++i)
        if (i & 1)
            V(i) -= FloorDiv(V(i - 1) + V(i + 1), 2);
    for (int64_t i = e0 + 2; i < e1 - 2; ++i)
        if (!(i & 1))
            V(i) += FloorDiv(V(i - 1) + V(i + 1) + 2, 4);
    std::vector<int32_t> out(static_cast<size_t>(n));
    for (int64_t i = i0; i < i1; ++i)
        out[size_t(i - i0)] = int32_t(V(i));
    return out;
}

// Splits an interleaved row into its low (even coordinate) and high halves.
template <class T, class U>
void Split(const std::vector<U>& y, int64_t i0, std::vector<T>& low, std::vector<T>& high) {
    low.clear();
    high.clear();
    for (size_t k = 0; k < y.size(); ++k)
        (((i0 + int64_t(k)) & 1) ? high : low).push_back(T(y[k]));
    // Room for the merges' reads past the halves' ends is not granted: pad
    // nothing, so a read beyond them shows under the address sanitizer.
    low.shrink_to_fit();
    high.shrink_to_fit();
}

// Heap copies of exactly the halves' sizes (at least one element so the
// pointers are valid).
template <class T>
std::unique_ptr<T[]> Exact(const std::vector<T>& v) {
    auto p = std::make_unique<T[]>(std::max<size_t>(v.size(), 1));
    std::copy(v.begin(), v.end(), p.get());
    return p;
}

// ---- row merges ---------------------------------------------------------------

TEST(InverseRowMerge, FloatNineSevenMatchesDoubleSynthesis) {
    std::mt19937 rng(7);
    std::uniform_real_distribution<float> u(-200.f, 200.f);
    for (uint32_t x0 : {0u, 1u, 6u, 13u})
        for (uint32_t n = 1; n <= 24; ++n) {
            std::vector<double> y(n);
            for (auto& v : y)
                v = u(rng);
            std::vector<float> low, high;
            Split(y, x0, low, high);
            auto L = Exact(low), H = Exact(high);
            std::vector<float> out(n);
            inverseRowMerge97(L.get(), H.get(), out.data(), x0, n);
            const std::vector<double> ref = Synth97(y, x0);
            for (uint32_t k = 0; k < n; ++k)
                ASSERT_NEAR(out[k], ref[k], 2e-3) << "x0 " << x0 << " n " << n << " k " << k;
        }
}

TEST(InverseRowMerge, NineSevenShortRowValues) {
    struct Case {
        uint32_t x0;
        std::vector<float> low, high, want;
    };
    const Case cases[] = {
        {0, {3}, {2}, {2, 4}},
        {1, {3}, {2}, {4, 2}},
        {0, {1, 0}, {0}, {1.1150871f, 0.5f, -0.1150871f}},
        {1, {0}, {1, 0}, {0.6564465f, -0.25f, -0.1564466f}},
        {0, {5}, {}, {5}},
        {1, {}, {5}, {2.5f}},
    };
    for (const Case& c : cases) {
        std::vector<float> out(c.want.size());
        inverseRowMerge97(c.low.data(), c.high.data(), out.data(), c.x0, uint32_t(c.want.size()));
        for (size_t k = 0; k < out.size(); ++k)
            EXPECT_NEAR(out[k], c.want[k], 1e-6) << "x0 " << c.x0 << " n " << out.size() << " k " << k;
    }
}

TEST(InverseRowMerge, FiveThreeInvertsForwardExactly32And16) {
    std::mt19937 rng(11);
    std::uniform_int_distribution<int32_t> wide(-1000000, 1000000), narrow(-2000, 2000);
    for (uint32_t x0 : {0u, 1u, 4u, 9u})
        for (uint32_t n = 1; n <= 24; ++n) {
            std::vector<int32_t> x(n), x16(n);
            for (auto& v : x)
                v = wide(rng);
            for (auto& v : x16)
                v = narrow(rng);
            std::vector<int32_t> low, high;
            Split(Analyse53(x, x0), x0, low, high);
            auto L = Exact(low), H = Exact(high);
            std::vector<int32_t> out(n);
            inverseRowMerge53(L.get(), H.get(), out.data(), x0, n);
            ASSERT_EQ(out, x) << "x0 " << x0 << " n " << n;

            std::vector<int16_t> low16, high16;
            Split(Analyse53(x16, x0), x0, low16, high16);
            auto L16 = Exact(low16), H16 = Exact(high16);
            std::vector<int16_t> out16(n);
            inverseRowMerge53Int16(L16.get(), H16.get(), out16.data(), x0, n);
            ASSERT_EQ(std::vector<int32_t>(out16.begin(), out16.end()), x16) << "x0 " << x0 << " n " << n;
        }
}

TEST(InverseRowMerge, FiveThreeSingleOddSampleIsHalvedArithmetically) {
    const int32_t high[] = {-3};
    int32_t out = 0;
    inverseRowMerge53(nullptr, high, &out, 1, 1);
    EXPECT_EQ(out, -2);
}

// The 16-bit 9/7 merge works on samples with fraction bits; with four of
// them it stays within a few units of the double synthesis.
TEST(InverseRowMerge, FixedPointNineSevenTracksDoubleSynthesis) {
    std::mt19937 rng(5);
    std::uniform_int_distribution<int32_t> u(-1600, 1600);
    for (uint32_t x0 : {0u, 1u, 10u, 3u})
        for (uint32_t n = 1; n <= 24; ++n) {
            std::vector<double> y(n);
            for (auto& v : y)
                v = u(rng);
            std::vector<int16_t> low, high;
            Split(y, x0, low, high);
            auto L = Exact(low), H = Exact(high);
            std::vector<int16_t> out(n);
            inverseRowMerge97Int16(L.get(), H.get(), out.data(), x0, n);
            const std::vector<double> ref = Synth97(y, x0);
            for (uint32_t k = 0; k < n; ++k)
                ASSERT_NEAR(out[k], ref[k], 4.0) << "x0 " << x0 << " n " << n << " k " << k;
        }
    const int16_t h[] = {-3};
    int16_t one = 0;
    inverseRowMerge97Int16(nullptr, h, &one, 1, 1);
    EXPECT_EQ(one, -2);
}

// ---- whole components ---------------------------------------------------------

uint32_t CeilDiv(uint64_t a, uint64_t b) { return uint32_t((a + b - 1) / b); }

struct Rect {
    uint32_t x0, y0, x1, y1;
    uint32_t w() const { return x1 - x0; }
    uint32_t h() const { return y1 - y0; }
};
Rect Reduce(const Rect& r, uint32_t i) {
    const uint64_t d = uint64_t(1) << i;
    return {CeilDiv(r.x0, d), CeilDiv(r.y0, d), CeilDiv(r.x1, d), CeilDiv(r.y1, d)};
}

// A plane of doubles with its coordinates' origin.
struct Grid {
    Rect r;
    std::vector<double> v;
    explicit Grid(const Rect& rr) : r(rr), v(size_t(rr.w()) * rr.h()) {}
    double& at(uint32_t x, uint32_t y) { return v[size_t(y - r.y0) * r.w() + (x - r.x0)]; }
};

// Band (o: 0 LL, 1 HL, 2 LH, 3 HH by x-high + 2 y-high) of a level rectangle.
Rect BandOf(const Rect& r, bool xHigh, bool yHigh) {
    auto lo = [](uint32_t a) { return CeilDiv(a, 2); };
    auto hi = [](uint32_t a) { return a / 2; };
    return {xHigh ? hi(r.x0) : lo(r.x0), yHigh ? hi(r.y0) : lo(r.y0), xHigh ? hi(r.x1) : lo(r.x1),
            yHigh ? hi(r.y1) : lo(r.y1)};
}

// Bands of every level of a component: index [level][0 LL, 1 HL, 2 LH, 3 HH]
// (only the coarsest level's LL is used).
struct Bands {
    std::vector<std::array<Grid, 4>> level;
};

// The double-precision 2-D synthesis: per level, rows then columns.
template <class Synth>
Grid Reference2D(const Rect& rect, uint32_t nl, Bands& b, Synth synth) {
    Grid cur = b.level[nl - 1][0];
    for (uint32_t i = nl; i-- > 0;) {
        const Rect r = Reduce(rect, i);
        Grid g(r);
        for (uint32_t y = r.y0; y < r.y1; ++y)
            for (uint32_t x = r.x0; x < r.x1; ++x) {
                const bool xh = x & 1, yh = y & 1;
                Grid& src = (!xh && !yh) ? cur : b.level[i][(xh ? 1 : 0) + (yh ? 2 : 0)];
                g.at(x, y) = src.at(xh ? x / 2 : CeilDiv(x, 2), yh ? y / 2 : CeilDiv(y, 2));
            }
        for (uint32_t y = r.y0; y < r.y1 && r.w(); ++y) {
            std::vector<double> row(r.w());
            for (uint32_t x = r.x0; x < r.x1; ++x)
                row[x - r.x0] = g.at(x, y);
            row = synth(row, r.x0);
            for (uint32_t x = r.x0; x < r.x1; ++x)
                g.at(x, y) = row[x - r.x0];
        }
        for (uint32_t x = r.x0; x < r.x1 && r.h(); ++x) {
            std::vector<double> col(r.h());
            for (uint32_t y = r.y0; y < r.y1; ++y)
                col[y - r.y0] = g.at(x, y);
            col = synth(col, r.y0);
            for (uint32_t y = r.y0; y < r.y1; ++y)
                g.at(x, y) = col[y - r.y0];
        }
        cur = g;
    }
    return cur;
}

// Fills the decoder's band planes from the reference bands (checking that the
// planes have the sizes the reference expects).
template <class T>
void Load(SubbandPlanes& planes, const Rect& rect, uint32_t nl, Bands& b) {
    planes.Build(J2KRect(rect.x0, rect.y0, rect.w(), rect.h()), nl);
    auto fill = [](DJP2PlaneBuffer& p, Grid& g) {
        ASSERT_EQ(uint32_t(p.Size().first), g.r.w());
        ASSERT_EQ(uint32_t(p.Size().second), g.r.h());
        for (uint32_t y = 0; y < g.r.h(); ++y) {
            T* row = reinterpret_cast<T*>(p.Ref().data + ptrdiff_t(y) * p.Ref().step);
            for (uint32_t x = 0; x < g.r.w(); ++x)
                row[x] = T(g.v[size_t(y) * g.r.w() + x]);
        }
    };
    for (uint32_t i = 0; i < nl; ++i) {
        fill(planes.level[i].hl, b.level[i][1]);
        fill(planes.level[i].lh, b.level[i][2]);
        fill(planes.level[i].hh, b.level[i][3]);
    }
    fill(planes.ll, b.level[nl - 1][0]);
}

Bands RandomBands(const Rect& rect, uint32_t nl, std::mt19937& rng, double amplitude) {
    std::uniform_real_distribution<double> u(-amplitude, amplitude);
    Bands b;
    for (uint32_t i = 0; i < nl; ++i) {
        const Rect r = Reduce(rect, i);
        b.level.push_back({Grid(BandOf(r, false, false)), Grid(BandOf(r, true, false)), Grid(BandOf(r, false, true)),
                           Grid(BandOf(r, true, true))});
        for (auto& g : b.level.back())
            for (auto& v : g.v)
                v = std::round(u(rng));
    }
    return b;
}

// The component geometries of the whole-component tests: every height and
// width from 1 to 24 at one level with both origin parities, then odd
// origins over several levels.
struct Geometry {
    Rect rect;
    uint32_t levels;
};
std::vector<Geometry> Geometries() {
    std::vector<Geometry> g;
    for (uint32_t h = 1; h <= 24; ++h)
        for (uint32_t y0 : {0u, 1u})
            g.push_back({{3, y0 + 4, 3 + (h % 5) + 1, y0 + 4 + h}, 1});
    for (uint32_t w = 1; w <= 24; ++w)
        for (uint32_t x0 : {0u, 1u})
            g.push_back({{x0 + 2, 6, x0 + 2 + w, 6 + (w % 4) + 1}, 1});
    for (uint32_t levels = 1; levels <= 8; ++levels)
        for (Rect r : {Rect{0, 0, 24, 17}, Rect{1, 1, 38, 30}, Rect{5, 3, 17, 24}, Rect{7, 13, 8, 14},
                       Rect{3, 0, 70, 9}, Rect{129, 255, 161, 290}})
            g.push_back({r, levels});
    return g;
}

template <class T>
std::vector<T> RunInverse(void (*dwt)(const SubbandPlanes&, const PlaneRef&, const J2KRect&), const SubbandPlanes& p,
                          const Rect& rect) {
    // An output plane with a row step wider than the component and a guard
    // row, so writes past the component show.
    const uint32_t stepSamples = rect.w() + 3;
    std::vector<T> plane(size_t(stepSamples) * (rect.h() + 1), T(77));
    dwt(p, PlaneRef(plane.data(), int32_t(stepSamples * sizeof(T))), J2KRect(rect.x0, rect.y0, rect.w(), rect.h()));
    for (uint32_t y = 0; y < rect.h(); ++y)
        for (uint32_t x = rect.w(); x < stepSamples; ++x)
            EXPECT_EQ(plane[size_t(y) * stepSamples + x], T(77)) << "write past the row end";
    for (uint32_t x = 0; x < stepSamples; ++x)
        EXPECT_EQ(plane[size_t(rect.h()) * stepSamples + x], T(77)) << "write past the last row";
    std::vector<T> out;
    for (uint32_t y = 0; y < rect.h(); ++y)
        out.insert(out.end(), plane.begin() + ptrdiff_t(y) * stepSamples,
                   plane.begin() + ptrdiff_t(y) * stepSamples + rect.w());
    return out;
}

std::string Describe(const Geometry& g) {
    return "rect (" + std::to_string(g.rect.x0) + "," + std::to_string(g.rect.y0) + ")-(" +
           std::to_string(g.rect.x1) + "," + std::to_string(g.rect.y1) + ") levels " + std::to_string(g.levels);
}

TEST(InverseDwt, NineSevenFloatMatchesDoubleSynthesis) {
    std::mt19937 rng(3);
    for (const Geometry& g : Geometries()) {
        Bands b = RandomBands(g.rect, g.levels, rng, 100);
        SubbandPlanes p;
        Load<float>(p, g.rect, g.levels, b);
        const std::vector<float> out = RunInverse<float>(inverseDwt97, p, g.rect);
        const Grid ref = Reference2D(g.rect, g.levels, b, Synth97);
        double worst = 0;
        for (size_t k = 0; k < out.size(); ++k)
            worst = std::max(worst, std::fabs(out[k] - ref.v[k]));
        ASSERT_LT(worst, 0.01) << Describe(g);
    }
}

// The 16-bit 9/7 path with four fraction bits stays near the float path.
TEST(InverseDwt, NineSevenFixedPointTracksFloat) {
    std::mt19937 rng(4);
    for (const Geometry& g : Geometries()) {
        if (g.levels > 5)
            continue;  // each level adds rounding; five cover every schedule
        Bands b = RandomBands(g.rect, g.levels, rng, 60);
        for (auto& lv : b.level)
            for (auto& grid : lv)
                for (auto& v : grid.v)
                    v *= 16;
        SubbandPlanes p;
        Load<int16_t>(p, g.rect, g.levels, b);
        const std::vector<int16_t> out = RunInverse<int16_t>(inverseDwt97Int16, p, g.rect);
        const Grid ref = Reference2D(g.rect, g.levels, b, Synth97);
        for (size_t k = 0; k < out.size(); ++k)
            ASSERT_NEAR(out[k], ref.v[k], 4.0 * (g.levels + 1)) << Describe(g) << " sample " << k;
    }
}

// The forward 5/3 of a random component, level by level as an encoder does
// it (columns then rows), into the bands of every level.
Bands Forward53(const Rect& rect, uint32_t nl, const std::vector<int32_t>& samples) {
    Bands b;
    Grid cur(rect);
    for (size_t k = 0; k < samples.size(); ++k)
        cur.v[k] = samples[k];
    for (uint32_t i = 0; i < nl; ++i) {
        const Rect r = Reduce(rect, i);
        Grid g = cur;
        for (uint32_t x = r.x0; x < r.x1 && r.h(); ++x) {
            std::vector<int32_t> col(r.h());
            for (uint32_t y = r.y0; y < r.y1; ++y)
                col[y - r.y0] = int32_t(g.at(x, y));
            col = Analyse53(col, r.y0);
            for (uint32_t y = r.y0; y < r.y1; ++y)
                g.at(x, y) = col[y - r.y0];
        }
        for (uint32_t y = r.y0; y < r.y1 && r.w(); ++y) {
            std::vector<int32_t> row(r.w());
            for (uint32_t x = r.x0; x < r.x1; ++x)
                row[x - r.x0] = int32_t(g.at(x, y));
            row = Analyse53(row, r.x0);
            for (uint32_t x = r.x0; x < r.x1; ++x)
                g.at(x, y) = row[x - r.x0];
        }
        std::array<Grid, 4> bands{Grid(BandOf(r, false, false)), Grid(BandOf(r, true, false)),
                                  Grid(BandOf(r, false, true)), Grid(BandOf(r, true, true))};
        for (uint32_t y = r.y0; y < r.y1; ++y)
            for (uint32_t x = r.x0; x < r.x1; ++x) {
                const bool xh = x & 1, yh = y & 1;
                bands[(xh ? 1 : 0) + (yh ? 2 : 0)].at(xh ? x / 2 : CeilDiv(x, 2), yh ? y / 2 : CeilDiv(y, 2)) =
                    g.at(x, y);
            }
        cur = bands[0];
        b.level.push_back(bands);
    }
    return b;
}

TEST(InverseDwt, FiveThreeGivesBackTheForwardInputExactly) {
    std::mt19937 rng(9);
    std::uniform_int_distribution<int32_t> wide(-(1 << 20), 1 << 20), narrow(-500, 500);
    for (const Geometry& g : Geometries()) {
        std::vector<int32_t> x(size_t(g.rect.w()) * g.rect.h()), x16(x.size());
        for (auto& v : x)
            v = wide(rng);
        for (auto& v : x16)
            v = narrow(rng);
        Bands b = Forward53(g.rect, g.levels, x);
        SubbandPlanes p;
        Load<int32_t>(p, g.rect, g.levels, b);
        ASSERT_EQ(RunInverse<int32_t>(inverseDwt53, p, g.rect), x) << Describe(g);

        // The 16-bit path equals the 32-bit one while every value fits.
        Bands b16 = Forward53(g.rect, g.levels, x16);
        SubbandPlanes p16, p32;
        Load<int16_t>(p16, g.rect, g.levels, b16);
        Load<int32_t>(p32, g.rect, g.levels, b16);
        const std::vector<int16_t> out16 = RunInverse<int16_t>(inverseDwt53Int16, p16, g.rect);
        const std::vector<int32_t> out32 = RunInverse<int32_t>(inverseDwt53, p32, g.rect);
        ASSERT_EQ(std::vector<int32_t>(out16.begin(), out16.end()), out32) << Describe(g);
        ASSERT_EQ(out32, x16) << Describe(g);
    }
}

TEST(InverseDwt, NoLevelsCopiesTheLowBand) {
    const Rect rect{3, 5, 8, 9};
    SubbandPlanes p;
    p.Build(J2KRect(rect.x0, rect.y0, rect.w(), rect.h()), 0);
    for (uint32_t y = 0; y < rect.h(); ++y)
        for (uint32_t x = 0; x < rect.w(); ++x)
            p.ll.Row(int32_t(y))[x] = int32_t(100 * y + x - 7);
    const std::vector<int32_t> out = RunInverse<int32_t>(inverseDwt53, p, rect);
    for (uint32_t y = 0; y < rect.h(); ++y)
        for (uint32_t x = 0; x < rect.w(); ++x)
            EXPECT_EQ(out[size_t(y) * rect.w() + x], int32_t(100 * y + x - 7));
}

} // namespace
