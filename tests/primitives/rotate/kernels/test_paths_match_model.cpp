// Every SIMD path's vector row kernels against the scalar model, bit for
// bit: all 54 warp kernels under turned, sheared and identity mappings with
// spans that start, stop and skip anywhere, and all 72 coordinate-map
// kernels over positions on the image, between pixels, on its last column
// and row, just outside it and NaN. Destination bytes outside the written
// pixels and guard bytes must come out as they went in.
#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <vector>

#include "../rotate_fixture.h"
#include "scalar_model.h"

namespace {

using namespace rotatetest;

int combo(uint32_t code) { return int((code >> 3) * 6 + (code & 7)); }

// Index of the first byte where the two images differ, -1 when none does.
long firstDifference(const KindImage& a, const KindImage& b)
{
    const std::vector<uint8_t> x = a.bytes(), y = b.bytes();
    for (size_t i = 0; i < x.size(); ++i)
        if (x[i] != y[i])
            return long(i);
    return x.size() == y.size() ? -1 : long(x.size());
}

// Destination plane pointers (or the pixel pointer) at row `row`.
struct RowArg {
    void* planes[4] = {};
    void* arg;
    RowArg(KindImage& img, int row)
    {
        if (planar(img.code())) {
            for (int p = 0; p < planeCount(img.code()); ++p)
                planes[p] = static_cast<uint8_t*>(img.planeArray()[p]) + std::ptrdiff_t(row) * img.step();
            arg = planes;
        } else {
            arg = static_cast<uint8_t*>(img.arg()) + std::ptrdiff_t(row) * img.step();
        }
    }
};

struct Mapping {
    const char* name;
    double angleDeg, scale, shiftX, shiftY;
};

// Inverse coefficients of a turn by `angle` and a scale about the centre of
// a destination of w x h into a source of sw x sh.
WarpCoefficients inverseOf(const Mapping& m, int w, int h, int sw, int sh)
{
    const double t = m.angleDeg * 3.14159265358979323846 / 180.0, c = std::cos(t) / m.scale, s = std::sin(t) / m.scale;
    const double cx = (w - 1) / 2.0, cy = (h - 1) / 2.0, scx = (sw - 1) / 2.0 + m.shiftX, scy = (sh - 1) / 2.0 + m.shiftY;
    return WarpCoefficients{c, s, scx - c * cx - s * cy, -s, c, scy + s * cx - c * cy};
}

// Spans of the destination pixels whose mapped point lies inside the source
// shrunk by `margin` (the rectangle the sampling reads around), with a few
// rows left empty and a few spans cut short.
std::vector<RowSpan> spansInside(const WarpCoefficients& a, int w, int h, int sw, int sh, double margin)
{
    std::vector<RowSpan> spans(size_t(h), RowSpan{0, -1});
    for (int y = 0; y < h; ++y) {
        if (y % 11 == 5)
            continue;
        int first = -1, last = -2;
        for (int x = 0; x < w; ++x) {
            const double sx = a.c00 * x + a.c01 * y + a.c02, sy = a.c10 * x + a.c11 * y + a.c12;
            if (sx >= margin && sy >= margin && sx <= sw - 1 - margin && sy <= sh - 1 - margin) {
                if (first < 0)
                    first = x;
                last = x;
            }
        }
        if (first >= 0 && last - first > 3 && y % 7 == 3)
            last = last - 2;
        spans[size_t(y)] = RowSpan{first < 0 ? 0 : first, first < 0 ? -1 : last};
    }
    return spans;
}

TEST(KernelPaths, WarpKernelsMatchTheScalarModel)
{
    const Mapping mappings[] = {{"turn30", 30.0, 1.0, 0.0, 0.0},      {"turn-45", -45.0, 1.0, 0.3, -0.2},
                                {"turn200zoom", 200.0, 1.7, 0.0, 0.0}, {"shrink", 7.0, 0.45, 0.1, 0.0},
                                {"identity", 0.0, 1.0, 0.0, 0.0},      {"half", 0.0, 1.0, 0.5, 0.5}};
    const int sw = 37, sh = 29, w = 41, h = 33;
    std::mt19937 rng(43);
    for (const int path : vqtest::supportedPaths())
        for (const uint32_t code : kAllKinds)
            for (const Mapping& m : mappings)
                for (int column = 0; column < 3; ++column) {
                    SCOPED_TRACE(vqtest::pathName(path) + " " + kindName(code) + " " + m.name + " column " +
                                 std::to_string(column));
                    KindImage src(code, sw, sh, 3);
                    src.fillRandom(rng);
                    if ((code >> 3) == 0 && column == 2) {
                        // Hard edges make the cubic overshoot on both sides.
                        for (int y = 0; y < sh; ++y)
                            for (int c = 0; c < src.storedPerPixel(); ++c)
                                src.set(y % 4 == 0 ? 10 : 20, y, c, y % 2 ? 255 : 0);
                    }
                    KindImage got(code, w, h, 5), want(code, w, h, 5);
                    got.fillRandom(rng);
                    want.copyFrom(got);
                    const WarpCoefficients a = inverseOf(m, w, h, sw, sh);
                    // Nearest needs half a pixel of room, linear and cubic none.
                    const std::vector<RowSpan> spans = spansInside(a, w, h, sw, sh, column == 0 ? 0.5 : 0.0);
                    const int first = 2, last = h - 3;
                    std::vector<float> work(2 * size_t(w));
                    const int entry = combo(code) * 3 + column;
                    RowArg g(got, first), e(want, first);
                    warpRowKernelTables[path][entry](src.arg(), g.arg, src.step(), got.step(), first, last,
                                                     spans.data() + first, &a, sw - 1, sh - 1, work.data());
                    model::warpRowKernelTable[entry](src.arg(), e.arg, src.step(), want.step(), first, last,
                                                     spans.data() + first, &a, sw - 1, sh - 1, work.data());
                    EXPECT_TRUE(got.guardsIntact());
                    ASSERT_EQ(firstDifference(got, want), -1);
                }
}

// Positions that exercise every rule of the coordinate-map kernels: whole
// and half positions (ties), fractions, the last column and row, just
// outside every edge, far outside, and NaN.
std::vector<std::pair<float, float>> mapPositions(int sw, int sh, std::mt19937& rng)
{
    const float nan = std::numeric_limits<float>::quiet_NaN();
    const float lx = float(sw - 1), ly = float(sh - 1);
    std::vector<std::pair<float, float>> p = {
        {0.0f, 0.0f},   {lx, ly},        {lx, 0.0f},         {0.0f, ly},          {1.5f, 2.5f},
        {2.5f, 1.5f},   {-0.5f, 3.0f},   {3.0f, -0.5f},      {-0.2f, 1.0f},       {1.0f, -0.0001f},
        {lx + 0.4f, 2.0f}, {2.0f, ly + 0.4f}, {lx + 0.5f, 1.0f}, {lx + 0.99f, ly + 0.99f}, {lx - 0.5f, ly - 0.5f},
        {nan, 2.0f},    {2.0f, nan},     {-50.0f, 3.0f},     {1e9f, 1e9f},        {lx - 1e-6f, 1.25f}};
    std::uniform_real_distribution<float> ux(-1.5f, lx + 1.5f), uy(-1.5f, ly + 1.5f), in01(0.0f, 1.0f);
    for (int i = 0; i < 200; ++i)
        p.emplace_back(ux(rng), uy(rng));
    for (int i = 0; i < 60; ++i)
        p.emplace_back(std::floor(ux(rng)) + 0.5f, std::floor(uy(rng)) + in01(rng));
    return p;
}

TEST(KernelPaths, CoordinateMapKernelsMatchTheScalarModel)
{
    const int sw = 13, sh = 9;
    std::mt19937 rng(113);
    const auto positions = mapPositions(sw, sh, rng);
    const int n = int(positions.size());
    // Plain nearest reads whatever rounds to 0 or above, so its list keeps
    // the positions that round inside the image (and those below it, NaN).
    std::vector<float> xs, ys, nxs(size_t(n), -1.0f), nys(size_t(n), -1.0f);
    for (int i = 0; i < n; ++i) {
        const auto& p = positions[size_t(i)];
        xs.push_back(p.first);
        ys.push_back(p.second);
        if (!(p.first >= sw - 0.5f) && !(p.second >= sh - 0.5f)) {
            nxs[size_t(i)] = p.first;
            nys[size_t(i)] = p.second;
        }
    }
    struct Bounds {
        int xMin, yMin, xMax, yMax;
    };
    const Bounds bounds[] = {{0, 0, sw - 1, sh - 1}, {2, 1, 9, 7}};
    for (const int path : vqtest::supportedPaths())
        for (const uint32_t code : kAllKinds) {
            const RemapKernels& k = *remapKernelSets[path];
            const int c = combo(code);
            KindImage src(code, sw, sh, 2);
            src.fillRandom(rng);
            // Kind 0 plain nearest, 1 plain linear, then bounded nearest and
            // bounded linear for each bounds.
            for (int kind = 0; kind < 6; ++kind) {
                SCOPED_TRACE(vqtest::pathName(path) + " " + kindName(code) + " kind " + std::to_string(kind));
                KindImage got(code, n, 1, 3), want(code, n, 1, 3);
                got.fillRandom(rng);
                want.copyFrom(got);
                const Bounds& b = bounds[kind < 4 ? 0 : 1];
                if (kind == 0) {
                    k.nearest[c](src.arg(), src.step(), got.arg(), nxs.data(), nys.data(), n);
                    model::remapNearest[c](src.arg(), src.step(), want.arg(), nxs.data(), nys.data(), n);
                } else if (kind == 1) {
                    k.linear[c](src.arg(), src.step(), got.arg(), xs.data(), ys.data(), n, sw - 1, sh - 1);
                    model::remapLinear[c](src.arg(), src.step(), want.arg(), xs.data(), ys.data(), n, sw - 1, sh - 1);
                } else if (kind % 2 == 0) {
                    k.nearestBounded[c](src.arg(), src.step(), got.arg(), xs.data(), ys.data(), n, b.xMin, b.yMin,
                                        b.xMax, b.yMax);
                    model::remapNearestBounded[c](src.arg(), src.step(), want.arg(), xs.data(), ys.data(), n, b.xMin,
                                                  b.yMin, b.xMax, b.yMax);
                } else {
                    k.linearBounded[c](src.arg(), src.step(), got.arg(), xs.data(), ys.data(), n, b.xMin, b.yMin,
                                       b.xMax, b.yMax);
                    model::remapLinearBounded[c](src.arg(), src.step(), want.arg(), xs.data(), ys.data(), n, b.xMin,
                                                 b.yMin, b.xMax, b.yMax);
                }
                EXPECT_TRUE(got.guardsIntact());
                ASSERT_EQ(firstDifference(got, want), -1);
            }
        }
}

} // namespace
