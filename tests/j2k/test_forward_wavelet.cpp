// Forward wavelet: the 1-D split and the 2-D transform against a
// double-precision reference of the standard's lifting on an explicitly
// extended signal, and the 5/3 transform undone exactly by a reference
// inverse.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <cstring>
#include <random>
#include <string>
#include <vector>

#include "j2k/decoder/geometry.h"
#include "j2k/decoder/inverse_wavelet.h"
#include "j2k/decoder/tile.h"
#include "j2k/encoder/forward_wavelet.h"

namespace {

// ---- Reference: the standard's 1-D analysis on the coordinates [i0, i1) ----

// Periodic symmetric extension: the coordinate whose sample stands at i.
int64_t Extended(int64_t i, int64_t i0, int64_t i1) {
    const int64_t period = 2 * (i1 - i0 - 1);
    int64_t m = (i - i0) % period;
    if (m < 0)
        m += period;
    return i0 + std::min(m, period - m);
}

// Returns Y over [i0, i1): low-pass values at even coordinates, high-pass at
// odd ones.
std::vector<double> Analysis(const std::vector<double>& x, int64_t i0, bool reversible) {
    const int64_t n = int64_t(x.size()), i1 = i0 + n;
    if (n == 0)
        return x;
    if (n == 1)
        return {(i0 & 1) ? 2 * x[0] : x[0]};
    const int64_t pad = 8;
    std::vector<double> y(size_t(n + 2 * pad));
    auto Y = [&](int64_t i) -> double& { return y[size_t(i - i0 + pad)]; };
    for (int64_t i = i0 - pad; i < i1 + pad; ++i)
        Y(i) = x[size_t(Extended(i, i0, i1) - i0)];
    auto floorDiv = [](double v, double d) { return std::floor(v / d); };
    const int64_t lo = i0 - pad + 1, hi = i1 + pad - 1;
    if (reversible) {
        for (int64_t i = lo; i < hi; ++i)
            if (i & 1)
                Y(i) = Y(i) - floorDiv(Y(i - 1) + Y(i + 1), 2);
        for (int64_t i = lo + 1; i < hi - 1; ++i)
            if (!(i & 1))
                Y(i) = Y(i) + floorDiv(Y(i - 1) + Y(i + 1) + 2, 4);
    } else {
        const double a = -1.586134342, b = -0.052980118, g = 0.882911076, d = 0.443506852, K = 1.230174105;
        const double steps[4] = {a, b, g, d};
        for (int s = 0; s < 4; ++s)
            for (int64_t i = lo + s; i < hi - s; ++i)
                if ((i & 1) == ((s & 1) ? 0 : 1))
                    Y(i) = Y(i) + steps[s] * (Y(i - 1) + Y(i + 1));
        for (int64_t i = i0; i < i1; ++i)
            Y(i) = (i & 1) ? Y(i) * K : Y(i) / K;
    }
    return std::vector<double>(y.begin() + pad, y.begin() + pad + n);
}

// Reference 1-D synthesis of the 5/3 filter (integer).
std::vector<int64_t> Synthesis53(const std::vector<int64_t>& y, int64_t i0) {
    const int64_t n = int64_t(y.size()), i1 = i0 + n;
    if (n == 0)
        return y;
    if (n == 1)
        return {(i0 & 1) ? y[0] / 2 : y[0]};
    const int64_t pad = 4;
    std::vector<int64_t> x(size_t(n + 2 * pad));
    auto X = [&](int64_t i) -> int64_t& { return x[size_t(i - i0 + pad)]; };
    for (int64_t i = i0 - pad; i < i1 + pad; ++i)
        X(i) = y[size_t(Extended(i, i0, i1) - i0)];
    auto fl = [](int64_t v, int64_t d) { return v >= 0 ? v / d : -((-v + d - 1) / d); };
    for (int64_t i = i0 - pad + 1; i < i1 + pad - 1; ++i)
        if (!(i & 1))
            X(i) = X(i) - fl(X(i - 1) + X(i + 1) + 2, 4);
    for (int64_t i = i0 - pad + 2; i < i1 + pad - 2; ++i)
        if (i & 1)
            X(i) = X(i) + fl(X(i - 1) + X(i + 1), 2);
    return std::vector<int64_t>(x.begin() + pad, x.begin() + pad + n);
}

// ---- 2-D reference over a rectangle ----

struct Grid {
    J2KRect r;
    std::vector<double> v;  // row by row
    double& at(uint32_t x, uint32_t y) { return v[size_t(y) * r.width + x]; }
};

// One level: columns, then rows; returns the four bands LL, HL, LH, HH.
std::vector<Grid> ReferenceLevel(Grid g, bool reversible) {
    const J2KRect& r = g.r;
    for (uint32_t x = 0; x < r.width; ++x) {
        std::vector<double> col(r.height);
        for (uint32_t y = 0; y < r.height; ++y)
            col[y] = g.at(x, y);
        col = Analysis(col, r.y0, reversible);
        for (uint32_t y = 0; y < r.height; ++y)
            g.at(x, y) = col[y];
    }
    for (uint32_t y = 0; y < r.height; ++y) {
        std::vector<double> row(g.v.begin() + long(y) * r.width, g.v.begin() + long(y + 1) * r.width);
        row = Analysis(row, r.x0, reversible);
        std::copy(row.begin(), row.end(), g.v.begin() + long(y) * r.width);
    }
    std::vector<Grid> bands(4);
    const uint32_t orient[4] = {0, 2, 1, 3};
    for (int b = 0; b < 4; ++b) {
        const J2KRange bxr = BandRange(r.XRange(), (orient[b] & 2) != 0);
        const J2KRange byr = BandRange(r.YRange(), orient[b] & 1);
        bands[b].r = J2KRect(bxr.first, byr.first, bxr.count, byr.count);
        bands[b].v.resize(size_t(bands[b].r.width) * bands[b].r.height);
        const bool hx = (orient[b] & 2) != 0, hy = orient[b] == 1 || orient[b] == 3;
        uint32_t by = 0;
        for (uint32_t y = 0; y < r.height; ++y) {
            if (((r.y0 + y) & 1) != uint32_t(hy))
                continue;
            uint32_t bx = 0;
            for (uint32_t x = 0; x < r.width; ++x)
                if (((r.x0 + x) & 1) == uint32_t(hx))
                    bands[b].at(bx++, by) = g.at(x, y);
            ++by;
        }
    }
    return bands;
}

double Sample(const DJP2PlaneBuffer& p, uint32_t x, uint32_t y, bool isFloat) {
    const int32_t* row = p.Row(int32_t(y));
    if (isFloat) {
        float f;
        std::memcpy(&f, row + x, 4);
        return f;
    }
    return row[x];
}

// Transforms a random plane with forwardDwt97/53 and compares every band
// with the reference; returns a description of the first mismatch.
std::string CheckPlane(std::mt19937& rng, const J2KRect& r, uint32_t levels, bool reversible) {
    std::vector<int32_t> src(size_t(r.width + 3) * r.height);
    Grid g{r, std::vector<double>(size_t(r.width) * r.height)};
    std::uniform_int_distribution<int32_t> dist(reversible ? -5000 : -128, reversible ? 5000 : 127);
    for (uint32_t y = 0; y < r.height; ++y)
        for (uint32_t x = 0; x < r.width; ++x) {
            const int32_t v = dist(rng);
            g.at(x, y) = v;
            if (reversible) {
                src[size_t(y) * (r.width + 3) + x] = v;
            } else {
                const float f = float(v);
                std::memcpy(&src[size_t(y) * (r.width + 3) + x], &f, 4);
            }
        }
    SubbandPlanes planes;
    planes.Build(r, levels);
    const PlaneRef in(src.data(), int32_t(4 * (r.width + 3)));
    if (reversible)
        forwardDwt53(in, r, planes);
    else
        forwardDwt97(in, r, planes);

    double tolerance = 0;
    for (uint32_t i = 0; i < levels; ++i) {
        std::vector<Grid> bands = ReferenceLevel(g, reversible);
        const DJP2PlaneBuffer* ours[3] = {&planes.level[i].hl, &planes.level[i].lh, &planes.level[i].hh};
        tolerance = reversible ? 0 : 2e-3 * (1 << i);
        for (int b = 1; b < 4; ++b) {
            const Grid& ref = bands[b];
            if (IntPair(int32_t(ref.r.width), int32_t(ref.r.height)) != ours[b - 1]->Size())
                return "band size at level " + std::to_string(i);
            for (uint32_t y = 0; y < ref.r.height; ++y)
                for (uint32_t x = 0; x < ref.r.width; ++x) {
                    const double want = ref.v[size_t(y) * ref.r.width + x];
                    const double got = Sample(*ours[b - 1], x, y, !reversible);
                    if (std::fabs(got - want) > tolerance)
                        return "level " + std::to_string(i) + " band " + std::to_string(b) + " at " +
                               std::to_string(x) + "," + std::to_string(y) + ": " + std::to_string(got) + " vs " +
                               std::to_string(want);
                }
        }
        g = bands[0];
    }
    for (uint32_t y = 0; y < g.r.height; ++y)
        for (uint32_t x = 0; x < g.r.width; ++x)
            if (std::fabs(Sample(planes.ll, x, y, !reversible) - g.at(x, y)) > tolerance)
                return "LL at " + std::to_string(x) + "," + std::to_string(y);
    return "";
}

} // namespace

// The 1-D split for lengths 1..24 at even and odd starts.
TEST(ForwardWavelet, RowSplitEqualsTheReference) {
    std::mt19937 rng(5);
    for (uint32_t n = 1; n <= 24; ++n)
        for (uint32_t start : {0u, 1u, 2u, 7u}) {
            std::vector<double> x(n);
            std::vector<int32_t> xi(n);
            std::vector<float> xf(n);
            for (uint32_t j = 0; j < n; ++j) {
                xi[j] = int32_t(rng() % 2001) - 1000;
                x[j] = xi[j];
                xf[j] = float(xi[j]);
            }
            const uint32_t lows = (start + n + 1) / 2 - (start + 1) / 2;
            std::vector<int32_t> li(n + 1, 0x7777), hi(n + 1, 0x7777);
            std::vector<float> lf(n + 1, 1e30f), hf(n + 1, 1e30f);
            forwardRowSplit53(xi.data(), n, start, li.data(), hi.data());
            forwardRowSplit97(xf.data(), n, start, lf.data(), hf.data());
            const std::vector<double> y53 = Analysis(x, start, true), y97 = Analysis(x, start, false);
            uint32_t l = 0, h = 0;
            for (uint32_t j = 0; j < n; ++j) {
                const bool high = (start + j) & 1;
                const double got53 = high ? hi[h] : li[l];
                const double got97 = high ? hf[h] : lf[l];
                EXPECT_EQ(got53, y53[j]) << "n " << n << " start " << start << " j " << j;
                EXPECT_NEAR(got97, y97[j], 1e-3) << "n " << n << " start " << start << " j " << j;
                (high ? h : l)++;
            }
            EXPECT_EQ(l, lows);
            EXPECT_EQ(li[l], 0x7777) << "wrote past the low half";
            EXPECT_EQ(hi[h], 0x7777) << "wrote past the high half";
            EXPECT_EQ(lf[l], 1e30f);
            EXPECT_EQ(hf[h], 1e30f);
        }
    // A one-sample odd row doubles; even copies.
    int32_t one = 21, lo = 0, hi = 0;
    forwardRowSplit53(&one, 1, 3, &lo, &hi);
    EXPECT_EQ(hi, 42);
    forwardRowSplit53(&one, 1, 4, &lo, &hi);
    EXPECT_EQ(lo, 21);
}

// Both filters over planes of short and long sides, every origin parity and
// 0..6 levels, against the separable reference.
TEST(ForwardWavelet, PlanesEqualTheReference) {
    std::mt19937 rng(11);
    struct Case {
        uint32_t x0, y0, w, h, levels;
    };
    std::vector<Case> cases = {{0, 0, 1, 1, 0}, {0, 0, 5, 3, 0},   {1, 1, 1, 1, 1},  {0, 1, 7, 1, 2},
                               {1, 0, 1, 7, 2}, {3, 5, 11, 12, 3}, {0, 0, 64, 64, 5}, {1, 1, 33, 17, 6},
                               {5, 2, 70, 9, 4}, {2, 3, 12, 11, 1}};
    for (uint32_t w = 1; w <= 7; ++w)
        for (uint32_t h = 1; h <= 7; ++h)
            for (uint32_t o = 0; o < 4; ++o)
                cases.push_back({o & 1, o >> 1, w, h, 1 + (w + h) % 3});
    for (int i = 0; i < 40; ++i)
        cases.push_back({uint32_t(rng() % 9), uint32_t(rng() % 9), uint32_t(1 + rng() % 70), uint32_t(1 + rng() % 70),
                         uint32_t(rng() % 7)});
    for (const Case& c : cases)
        for (bool reversible : {true, false}) {
            const J2KRect r(c.x0, c.y0, c.w, c.h);
            const std::string err = CheckPlane(rng, r, c.levels, reversible);
            EXPECT_EQ(err, "") << (reversible ? "5/3 " : "9/7 ") << c.x0 << "," << c.y0 << " " << c.w << "x" << c.h
                               << " levels " << c.levels;
        }
}

// 5/3 forward, then the reference synthesis level by level, gives back the
// plane exactly: sizes 1..70, 0..6 levels, odd origins.
TEST(ForwardWavelet, Reversible53IsUndoneExactly) {
    std::mt19937 rng(3);
    for (int t = 0; t < 160; ++t) {
        const uint32_t w = t < 70 ? uint32_t(t + 1) : 1 + rng() % 70, h = t < 70 ? 1 + rng() % 70 : uint32_t(t % 70 + 1);
        const J2KRect r(rng() % 5, rng() % 5, w, h);
        const uint32_t levels = rng() % 7;
        std::vector<int32_t> src(size_t(w) * h);
        for (int32_t& v : src)
            v = int32_t(rng() % 65536) - 32768;
        SubbandPlanes planes;
        planes.Build(r, levels);
        forwardDwt53(PlaneRef(src.data(), int32_t(4 * w)), r, planes);

        // Rebuild from the coarsest level: interleave each level's bands by
        // coordinate parity, synthesise columns after rows.
        J2KRect llr = planes.LLRect();
        std::vector<int64_t> ll(size_t(llr.width) * llr.height);
        for (uint32_t y = 0; y < llr.height; ++y)
            for (uint32_t x = 0; x < llr.width; ++x)
                ll[size_t(y) * llr.width + x] = planes.ll.Row(int32_t(y))[x];
        for (uint32_t i = levels; i-- > 0;) {
            const J2KRect lr = ScaleRectUp(r, i);
            std::vector<int64_t> g(size_t(lr.width) * lr.height);
            const DJP2PlaneBuffer* bands[4] = {nullptr, &planes.level[i].lh, &planes.level[i].hl, &planes.level[i].hh};
            for (uint32_t y = 0; y < lr.height; ++y)
                for (uint32_t x = 0; x < lr.width; ++x) {
                    const uint32_t cx = lr.x0 + x, cy = lr.y0 + y;
                    const uint32_t o = ((cx & 1) ? 2 : 0) | ((cy & 1) ? 1 : 0);
                    const uint32_t bx = (cx & 1) ? cx / 2 - lr.x0 / 2 : (cx + 1) / 2 - (lr.x0 + 1) / 2;
                    const uint32_t by = (cy & 1) ? cy / 2 - lr.y0 / 2 : (cy + 1) / 2 - (lr.y0 + 1) / 2;
                    g[size_t(y) * lr.width + x] =
                        o == 0 ? ll[size_t(by) * llr.width + bx] : bands[o]->Row(int32_t(by))[bx];
                }
            for (uint32_t y = 0; y < lr.height; ++y) {
                std::vector<int64_t> row(g.begin() + long(y) * lr.width, g.begin() + long(y + 1) * lr.width);
                row = Synthesis53(row, lr.x0);
                std::copy(row.begin(), row.end(), g.begin() + long(y) * lr.width);
            }
            for (uint32_t x = 0; x < lr.width; ++x) {
                std::vector<int64_t> col(lr.height);
                for (uint32_t y = 0; y < lr.height; ++y)
                    col[y] = g[size_t(y) * lr.width + x];
                col = Synthesis53(col, lr.y0);
                for (uint32_t y = 0; y < lr.height; ++y)
                    g[size_t(y) * lr.width + x] = col[y];
            }
            ll = std::move(g);
            llr = lr;
        }
        for (size_t k = 0; k < src.size(); ++k)
            ASSERT_EQ(ll[k], src[k]) << w << "x" << h << " at " << r.x0 << "," << r.y0 << " levels " << levels
                                     << " sample " << k;
    }
}

// The decoder's inverse wavelet undoes both transforms: 5/3 exactly, 9/7
// within single-precision rounding.
TEST(ForwardWavelet, DecoderInverseUndoesIt) {
    std::mt19937 rng(17);
    for (int t = 0; t < 120; ++t) {
        const J2KRect r(rng() % 7, rng() % 7, 1 + rng() % 70, 1 + rng() % 70);
        const uint32_t levels = rng() % 7;
        for (bool reversible : {true, false}) {
            std::vector<int32_t> src(size_t(r.width) * r.height), back(src.size());
            for (int32_t& v : src) {
                const int32_t i = int32_t(rng() % 512) - 256;
                if (reversible) {
                    v = i;
                } else {
                    const float f = float(i);
                    std::memcpy(&v, &f, 4);
                }
            }
            SubbandPlanes planes;
            planes.Build(r, levels);
            const PlaneRef in(src.data(), int32_t(4 * r.width)), out(back.data(), int32_t(4 * r.width));
            if (reversible) {
                forwardDwt53(in, r, planes);
                inverseDwt53(planes, out, r);
                ASSERT_EQ(back, src) << r.x0 << "," << r.y0 << " " << r.width << "x" << r.height << " levels "
                                     << levels;
            } else {
                forwardDwt97(in, r, planes);
                inverseDwt97(planes, out, r);
                for (size_t k = 0; k < src.size(); ++k) {
                    float a, b;
                    std::memcpy(&a, &src[k], 4);
                    std::memcpy(&b, &back[k], 4);
                    ASSERT_NEAR(a, b, 0.01) << r.x0 << "," << r.y0 << " " << r.width << "x" << r.height
                                            << " levels " << levels << " sample " << k;
                }
            }
        }
    }
}
