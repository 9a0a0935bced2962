// Quad merge and halving.
#include <gtest/gtest.h>

#include <cstring>
#include <functional>
#include <random>
#include <string>
#include <vector>

#include "engine/pyramid/tile_quad.h"
#include "tests/engine/pyramid/tile_fixtures.h"
#include "primitives/resample/pyramid_gauss.h"

using namespace pyramidtest;

namespace {

vq_tileQuad fullQuad(int32_t x0, int32_t y0, int32_t level, int32_t size, const PixelFn& fn)
{
    vq_tileQuad quad;
    for (int dy = 0; dy < 2; ++dy)
        for (int dx = 0; dx < 2; ++dx) {
            auto f = [&, dx, dy](int x, int y, int c) { return fn(x + dx * size, y + dy * size, c); };
            quad.addTile(makeRgbTile(x0 + dx, y0 + dy, level, size, size, f).get(), nullptr);
        }
    return quad;
}

vq_tileQuad ycbcrQuadFlat(const PixelFn& fn)
{
    vq_tileQuad quad;
    for (int dy = 0; dy < 2; ++dy)
        for (int dx = 0; dx < 2; ++dx)
            quad.addTile(makeYCbCrTile(dx, dy, 1, 32, 32, 2, fn).get(), nullptr);
    return quad;
}

vq_tileQuad ycbcrQuad(int32_t size, int32_t subsampling, IntPair visible, const PixelFn& fn = patternPixel)
{
    vq_tileQuad quad;
    for (int dy = 0; dy < 2; ++dy)
        for (int dx = 0; dx < 2; ++dx) {
            auto t = makeYCbCrTile(dx, dy, 1, size, size, subsampling, fn);
            if (dx == 1 || dy == 1) {
                const IntPair v(dx == 1 ? visible.first : size, dy == 1 ? visible.second : size);
                const IntPair cv = chromaPlaneSize(v, subsampling);
                containerOf(t.get(), planeY)->crop(v.first, v.second);
                containerOf(t.get(), planeCb)->crop(cv.first, cv.second);
                containerOf(t.get(), planeCr)->crop(cv.first, cv.second);
            }
            quad.addTile(t.get(), nullptr);
        }
    return quad;
}

TEST(QuadHalve, FullQuad)
{
    vq_tileQuad quad = fullQuad(4, 6, 3, 256, patternPixel);
    vq_ptr<vq_zoom_tile_base> merged;
    quad.generateMergedOutput(merged, false);
    ASSERT_NE(merged, nullptr);
    EXPECT_EQ(merged->getSize(), IntPair(512, 512));
    EXPECT_EQ(pixelAt(containerOf(merged.get(), 4), 300, 400, 1), patternPixel(300, 400, 1));
    vq_ptr<vq_zoom_tile_base> half;
    quad.generateHalf(half, 1, false);
    ASSERT_NE(half, nullptr);
    EXPECT_EQ(half->getKey(), vq_tileKey(2, 3, 2));
    EXPECT_EQ(half->getSize(), IntPair(256, 256));
    EXPECT_FALSE(half->isEmpty());
    EXPECT_EQ(quad.getPresent(), 15); // not cleared without the flag
    quad.generateHalf(half, 1, true);
    EXPECT_EQ(quad.getPresent(), 0);
}

TEST(QuadHalve, EdgeQuads)
{
    const struct {
        const char* name;
        std::vector<IntPair> members; // positions
        IntPair visible;              // of every member
        IntPair mergedVisible, half;
    } cases[] = {
        {"right edge", {IntPair(2, 0), IntPair(2, 1)}, IntPair(100, 256), IntPair(100, 512), IntPair(50, 256)},
        {"bottom edge", {IntPair(0, 2), IntPair(1, 2)}, IntPair(256, 60), IntPair(512, 60), IntPair(256, 30)},
        {"corner", {IntPair(2, 2)}, IntPair(101, 77), IntPair(101, 77), IntPair(50, 38)},
    };
    for (const auto& c : cases) {
        vq_tileQuad quad;
        for (IntPair p : c.members)
            quad.addTile(makeRgbTile(p.first, p.second, 1, 256, 256, patternPixel, c.visible.first, c.visible.second).get(),
                         nullptr);
        EXPECT_EQ(quad.getMergedSize(4), c.mergedVisible) << c.name;
        vq_ptr<vq_zoom_tile_base> merged;
        quad.generateMergedOutput(merged, false);
        ASSERT_NE(merged, nullptr);
        EXPECT_EQ(merged->getSize(), IntPair(512, 512)) << c.name;
        imageContainer* m = containerOf(merged.get(), 4);
        EXPECT_EQ(pixelAt(m, c.mergedVisible.first - 1, 0, 0), patternPixel(c.mergedVisible.first - 1, 0, 0));
        EXPECT_EQ(pixelAt(m, 511, 511, 2), 0) << c.name; // beyond the members
        vq_ptr<vq_zoom_tile_base> half;
        quad.generateHalf(half, 2, false);
        ASSERT_NE(half, nullptr);
        EXPECT_EQ(half->getSize(), c.half) << c.name;
        EXPECT_EQ(half->getFullSize(), IntPair(256, 256)) << c.name;
        EXPECT_EQ(half->getKey(), vq_tileKey(c.members[0].first / 2, c.members[0].second / 2, 0));
    }
}

// A member of a hand-made quad: its corner (dx, dy), full side and visible size.
struct MemberShape {
    int dx, dy;
    IntPair visible;
};

// Samples of member k: distinct per member so that a misplaced copy shows.
uint8_t memberPixel(int k, int x, int y, int c)
{
    return static_cast<uint8_t>(patternPixel(x, y, c) + 50 * k + 1);
}

// The merged plane as the members lay it out: top-left at (0, 0), top-right
// right of the top-left's visible width, bottom members below its visible
// height; every sample no member covers is 0.
std::vector<uint8_t> expectedMerge(const std::vector<MemberShape>& members, IntPair full, int channels,
                                   const std::function<IntPair(IntPair)>& planeSize, int channel0)
{
    std::vector<uint8_t> image(static_cast<size_t>(full.first * full.second * channels), 0);
    IntPair tl(0, 0);
    for (const MemberShape& m : members)
        if (m.dx == 0 && m.dy == 0)
            tl = planeSize(m.visible);
    for (const MemberShape& m : members) {
        const int k = m.dy * 2 + m.dx;
        const IntPair v = planeSize(m.visible);
        const int ox = m.dx * tl.first, oy = m.dy * tl.second;
        for (int y = 0; y < v.second; ++y)
            for (int x = 0; x < v.first; ++x)
                for (int c = 0; c < channels; ++c)
                    image[static_cast<size_t>(((oy + y) * full.first + ox + x) * channels + c)] =
                        memberPixel(k, x, y, channel0 + c);
    }
    return image;
}

void expectPlaneEquals(imageContainer* c, const std::vector<uint8_t>& expected, IntPair full, int channels,
                       const std::string& what)
{
    ASSERT_NE(c, nullptr) << what;
    ASSERT_EQ(c->getFullSize(), full) << what;
    uint8_t* data = nullptr;
    int32_t step = 0;
    c->lockPixels(&data, &step);
    int mismatches = 0, firstX = -1, firstY = -1;
    for (int y = 0; y < full.second; ++y)
        for (int x = 0; x < full.first * channels; ++x)
            if (data[y * step + x] != expected[static_cast<size_t>(y * full.first * channels + x)] && mismatches++ == 0) {
                firstX = x / channels;
                firstY = y;
            }
    c->unlockPixels();
    EXPECT_EQ(mismatches, 0) << what << ": first at " << firstX << "," << firstY;
}

TEST(QuadHalve, MergeZeroesExactlyWhatNoMemberCovers)
{
    // Tiles of 16 x 16 whose visible parts leave gaps: absent members, a
    // cropped edge, members shorter or narrower than their neighbours. The
    // merged buffer must hold the members' pixels and 0 everywhere else, for
    // RGB and for the three planes of YCbCr tiles.
    const int side = 16;
    const struct {
        const char* name;
        std::vector<MemberShape> members;
    } cases[] = {
        {"full quad", {{0, 0, {16, 16}}, {1, 0, {16, 16}}, {0, 1, {16, 16}}, {1, 1, {16, 16}}}},
        {"right edge", {{0, 0, {5, 16}}, {0, 1, {5, 16}}}},
        {"bottom edge", {{0, 0, {16, 3}}, {1, 0, {16, 3}}}},
        {"corner", {{0, 0, {7, 9}}}},
        {"ragged", {{0, 0, {16, 16}}, {1, 0, {10, 6}}, {0, 1, {4, 16}}, {1, 1, {16, 12}}}},
        {"top-right absent", {{0, 0, {16, 16}}, {0, 1, {16, 16}}, {1, 1, {9, 16}}}},
    };
    for (const auto& k : cases) {
        vq_tileQuad rgb, ycc;
        for (const MemberShape& m : k.members) {
            const int id = m.dy * 2 + m.dx;
            auto fn = [id](int x, int y, int c) { return memberPixel(id, x, y, c); };
            rgb.addTile(makeRgbTile(m.dx, m.dy, 1, side, side, fn, m.visible.first, m.visible.second).get(), nullptr);
            auto t = makeYCbCrTile(m.dx, m.dy, 1, side, side, 4, fn);
            const IntPair cv = chromaPlaneSize(m.visible, 4);
            containerOf(t.get(), planeY)->crop(m.visible.first, m.visible.second);
            containerOf(t.get(), planeCb)->crop(cv.first, cv.second);
            containerOf(t.get(), planeCr)->crop(cv.first, cv.second);
            ycc.addTile(t.get(), nullptr);
        }
        vq_ptr<vq_zoom_tile_base> merged;
        rgb.generateMergedOutput(merged, false);
        ASSERT_NE(merged, nullptr) << k.name;
        const IntPair full(2 * side, 2 * side);
        auto same = [](IntPair v) { return v; };
        expectPlaneEquals(containerOf(merged.get(), 4), expectedMerge(k.members, full, 3, same, 0), full, 3,
                          std::string(k.name) + " RGB");

        vq_ptr<vq_zoom_tile_base> mergedYcc;
        ycc.generateMergedOutput(mergedYcc, false);
        ASSERT_NE(mergedYcc, nullptr) << k.name;
        auto chroma = [](IntPair v) { return chromaPlaneSize(v, 4); };
        const IntPair chromaFull(side, side);
        expectPlaneEquals(containerOf(mergedYcc.get(), planeY), expectedMerge(k.members, full, 1, same, 0), full, 1,
                          std::string(k.name) + " Y");
        expectPlaneEquals(containerOf(mergedYcc.get(), planeCb), expectedMerge(k.members, chromaFull, 1, chroma, 1),
                          chromaFull, 1, std::string(k.name) + " Cb");
        expectPlaneEquals(containerOf(mergedYcc.get(), planeCr), expectedMerge(k.members, chromaFull, 1, chroma, 2),
                          chromaFull, 1, std::string(k.name) + " Cr");
    }
}

TEST(QuadHalve, EmptyResult)
{
    vq_tileQuad quad;
    quad.addTile(makeRgbTile(4, 4, 2, 256, 256, patternPixel, 1, 1).get(), nullptr);
    vq_ptr<vq_zoom_tile_base> half;
    quad.generateHalf(half, 1, false);
    ASSERT_NE(half, nullptr);
    EXPECT_TRUE(half->isEmpty());
    EXPECT_EQ(half->getSize(), IntPair(0, 0));

    vq_tileQuad noTopLeft;
    noTopLeft.addTile(makeRgbTile(1, 0, 2, 8, 8).get(), nullptr);
    vq_ptr<vq_zoom_tile_base> none;
    testing::internal::CaptureStderr();
    noTopLeft.generateHalf(none, 1, false);
    EXPECT_EQ(testing::internal::GetCapturedStderr(), "Can't create result without top-left tile\n");
    EXPECT_EQ(none, nullptr);
}

TEST(QuadHalve, LevelZeroStaysZero)
{
    vq_tileQuad quad = fullQuad(0, 0, 0, 16, patternPixel);
    vq_ptr<vq_zoom_tile_base> half;
    quad.generateHalf(half, 1, false);
    ASSERT_NE(half, nullptr);
    EXPECT_EQ(half->getKey(), vq_tileKey(0, 0, 0));
}

TEST(QuadHalve, LinearIsTheTwoByTwoMean)
{
    std::mt19937 rng(1234);
    for (int32_t size : {16, 64, 256}) {
        std::vector<uint8_t> image(static_cast<size_t>(4 * size * size * 3));
        for (auto& v : image)
            v = static_cast<uint8_t>(rng());
        auto fn = [&](int x, int y, int c) { return image[(static_cast<size_t>(y) * 2 * size + x) * 3 + c]; };
        vq_tileQuad quad = fullQuad(0, 0, 1, size, fn);
        vq_ptr<vq_zoom_tile_base> half;
        quad.generateHalf(half, 1, false);
        ASSERT_NE(half, nullptr);
        imageContainer* h = containerOf(half.get(), 4);
        int worst = 0;
        for (int y = 0; y < size; ++y)
            for (int x = 0; x < size; ++x)
                for (int c = 0; c < 3; ++c) {
                    const int sum = fn(2 * x, 2 * y, c) + fn(2 * x + 1, 2 * y, c) + fn(2 * x, 2 * y + 1, c) +
                                    fn(2 * x + 1, 2 * y + 1, c);
                    const int diff = std::abs(pixelAt(h, x, y, c) - (sum + 2) / 4);
                    worst = std::max(worst, diff);
                }
        EXPECT_LE(worst, 1) << size;
    }
}

TEST(QuadHalve, EveryOptionKeepsAFlatTileFlat)
{
    auto flat = [](int, int, int) -> uint8_t { return 150; };
    for (int option : {-1, 0, 1, 2, 3, 4, 5, 6, 7, 8, 9}) {
        vq_tileQuad quad = fullQuad(0, 0, 1, 64, flat);
        vq_ptr<vq_zoom_tile_base> half;
        quad.generateHalf(half, option, false);
        ASSERT_NE(half, nullptr) << option;
        imageContainer* h = containerOf(half.get(), 4);
        for (IntPair p : {IntPair(0, 0), IntPair(31, 17), IntPair(63, 63)})
            EXPECT_NEAR(pixelAt(h, p.first, p.second, 1), 150, 1) << "option " << option;
    }
}

TEST(QuadHalve, EveryOptionOnYCbCrPlanes)
{
    auto flat = [](int, int, int c) -> uint8_t { return static_cast<uint8_t>(90 + 40 * c); };
    for (int option : {-1, 0, 1, 2, 3, 4, 5, 6, 8, 9}) {
        vq_tileQuad quad = ycbcrQuadFlat(flat);
        vq_ptr<vq_zoom_tile_base> half;
        quad.generateHalf(half, option, false);
        ASSERT_NE(half, nullptr) << option;
        for (int plane : {planeY, planeCb, planeCr})
            EXPECT_NEAR(pixelAt(containerOf(half.get(), plane), 5, 7), 90 + 40 * (plane - planeY), 1)
                << "option " << option << " plane " << plane;
    }
}

TEST(QuadHalve, GaussianOnRgbIsPlaneByPlane)
{
    // Option 8 on RGB halves each channel with the Gaussian step: a tile whose
    // channels differ gives each channel's own result.
    auto fn = [](int x, int y, int c) { return static_cast<uint8_t>(c == 0 ? x * 3 : c == 1 ? y * 5 : (x ^ y) * 2); };
    vq_tileQuad rgb = fullQuad(0, 0, 1, 32, fn);
    vq_ptr<vq_zoom_tile_base> half;
    rgb.generateHalf(half, 8, false);
    ASSERT_NE(half, nullptr);
    for (int c = 0; c < 3; ++c) {
        vq_ptr<vq_zoom_tile_base> gray;
        createZoomTileGrayscale(&gray);
        gray->setKey(vq_tileKey(0, 0, 1));
        gray->setContainer(makeContainer(vq_fmtGray8, 64, 64, [&](int x, int y, int) { return fn(x, y, c); }).get());
        uint8_t out[32 * 32];
        ASSERT_TRUE(gray->halveSize(out, 32, vq_fmtGray8, 8));
        imageContainer* h = containerOf(half.get(), 4);
        for (IntPair p : {IntPair(0, 0), IntPair(13, 21), IntPair(31, 31)})
            EXPECT_EQ(pixelAt(h, p.first, p.second, c), out[p.second * 32 + p.first]) << "channel " << c;
    }
}

TEST(QuadHalve, SixteenBitTilesTreatGaussianAsCubic)
{
    auto make = [] {
        vq_tileQuad quad;
        for (int dy = 0; dy < 2; ++dy)
            for (int dx = 0; dx < 2; ++dx) {
                vq_ptr<vq_zoom_tile_base> t;
                createZoomTileGrayscale16(&t);
                t->setKey(vq_tileKey(dx, dy, 1));
                t->setContainer(makeContainer(vq_fmtGray16, 16, 16, [&](int x, int y, int c) {
                                    return static_cast<uint8_t>((x + 16 * dx) * 9 + (y + 16 * dy) * 4 + c);
                                }).get());
                quad.addTile(t.get(), nullptr);
            }
        return quad;
    };
    vq_tileQuad a = make(), b = make();
    vq_ptr<vq_zoom_tile_base> gauss, cubic;
    a.generateHalf(gauss, 8, false);
    b.generateHalf(cubic, 2, false);
    ASSERT_NE(gauss, nullptr);
    ASSERT_NE(cubic, nullptr);
    EXPECT_EQ(gauss->getFormat(), vq_fmtGray16);
    uint16_t x[16 * 16], y[16 * 16];
    gauss->copyDataTo(reinterpret_cast<uint8_t*>(x), 32, vq_fmtGray16);
    cubic->copyDataTo(reinterpret_cast<uint8_t*>(y), 32, vq_fmtGray16);
    EXPECT_EQ(0, std::memcmp(x, y, sizeof x));
}

TEST(QuadHalve, WideKernelsSeeTheImageEdgeNotBlack)
{
    // A right and bottom edge quad of one flat colour: the last visible
    // pixels must keep the colour with every kernel.
    auto flat = [](int, int, int) -> uint8_t { return 200; };
    for (int option : {1, 2, 3, 4, 5, 6}) {
        vq_tileQuad quad;
        quad.addTile(makeRgbTile(2, 2, 1, 256, 256, flat, 101, 81).get(), nullptr);
        vq_ptr<vq_zoom_tile_base> half;
        quad.generateHalf(half, option, false);
        ASSERT_NE(half, nullptr);
        EXPECT_EQ(half->getSize(), IntPair(50, 40));
        imageContainer* h = containerOf(half.get(), 4);
        for (IntPair p : {IntPair(49, 0), IntPair(0, 39), IntPair(49, 39), IntPair(20, 20)})
            EXPECT_NEAR(pixelAt(h, p.first, p.second, 0), 200, 1) << "option " << option << " at " << p.first << "," << p.second;
    }
}

TEST(QuadHalve, OptionSevenOnRgbIsCubic)
{
    vq_tileQuad a = fullQuad(0, 0, 1, 32, patternPixel), b = fullQuad(0, 0, 1, 32, patternPixel);
    vq_ptr<vq_zoom_tile_base> cubic, seven;
    a.generateHalf(cubic, 2, false);
    b.generateHalf(seven, 7, false);
    ASSERT_NE(cubic, nullptr);
    ASSERT_NE(seven, nullptr);
    uint8_t x[32 * 32 * 3], y[32 * 32 * 3];
    cubic->copyDataTo(x, 96, 4);
    seven->copyDataTo(y, 96, 4);
    EXPECT_EQ(0, std::memcmp(x, y, sizeof x));
}

TEST(QuadHalve, YCbCrPlanesAtEverySubsampling)
{
    for (int ss : {1, 2, 3, 4}) {
        vq_tileQuad quad = ycbcrQuad(64, ss, IntPair(64, 64));
        vq_ptr<vq_zoom_tile_base> half;
        quad.generateHalf(half, 2, false);
        ASSERT_NE(half, nullptr) << ss;
        EXPECT_EQ(half->getFormat(), 3);
        EXPECT_EQ(half->getSubsampling(), ss);
        EXPECT_EQ(half->getPlaneSize(planeY), IntPair(64, 64));
        EXPECT_EQ(half->getPlaneSize(planeCb), chromaPlaneSize(IntPair(64, 64), ss));
        EXPECT_EQ(half->getPlaneSize(planeCr), chromaPlaneSize(IntPair(64, 64), ss));
        EXPECT_EQ(quad.getPresent(), 0); // this path always clears the quad
    }
}

TEST(QuadHalve, OddYCbCrEdgeIsExtended)
{
    // Merged width 511: column 510 is copied into column 511 before halving.
    vq_tileQuad quad = ycbcrQuad(256, 1, IntPair(255, 256));
    EXPECT_EQ(quad.getMergedSize(planeY), IntPair(511, 512));
    vq_ptr<vq_zoom_tile_base> merged;
    quad.generateMergedOutputYCbCr(merged, false);
    ASSERT_NE(merged, nullptr);
    quad.extendOddEdgesYCbCr(merged.get());
    imageContainer* y = containerOf(merged.get(), planeY);
    EXPECT_EQ(pixelAt(y, 511, 3), pixelAt(y, 510, 3));
    EXPECT_EQ(pixelAt(y, 510, 3), patternPixel(254, 3, 0));
    vq_ptr<vq_zoom_tile_base> half;
    quad.generateHalf(half, 1, false);
    ASSERT_NE(half, nullptr);
    EXPECT_EQ(half->getPlaneSize(planeY), IntPair(255, 256));
}

TEST(QuadHalve, TinyYCbCrQuadIsEmpty)
{
    // Subsampling 4: merged luma 2 x 2, chroma 1 x 1: half chroma is 0 x 0.
    vq_tileQuad quad;
    for (int dy = 0; dy < 2; ++dy)
        for (int dx = 0; dx < 2; ++dx)
            quad.addTile(makeYCbCrTile(dx, dy, 1, 1, 1, 4).get(), nullptr);
    EXPECT_EQ(quad.getMergedSize(planeCb), IntPair(2, 2));
    vq_tileQuad tiny;
    tiny.addTile(makeYCbCrTile(0, 0, 1, 2, 2, 4).get(), nullptr); // chroma 1 x 1
    vq_ptr<vq_zoom_tile_base> half;
    tiny.generateHalf(half, 1, false);
    ASSERT_NE(half, nullptr);
    EXPECT_EQ(half->getPlaneSize(planeY), IntPair(1, 1));
    EXPECT_TRUE(half->isEmpty());
}

TEST(QuadHalve, FourByFourFilterOfOptionSeven)
{
    // Planes halved directly with the option-7 filter: box values on the
    // border, the 1-2-2-1 kernel inside.
    auto t = makeYCbCrTile(0, 0, 0, 9, 8, 1, [](int x, int y, int) { return static_cast<uint8_t>(x * 20 + y * 3); });
    uint8_t out[4 * 4];
    ASSERT_TRUE(t->halveSize(out, 4, planeY, 7));
    auto s = [](int x, int y) { return x * 20 + y * 3; };
    EXPECT_EQ(out[0], (s(0, 0) + s(1, 0) + s(0, 1) + s(1, 1)) >> 2);
    const int i = 1, j = 1, r = 2, c = 2;
    const int box = s(c, r) + s(c + 1, r) + s(c, r + 1) + s(c + 1, r + 1);
    const int edges = s(c, r - 1) + s(c + 1, r - 1) + s(c, r + 2) + s(c + 1, r + 2) + s(c - 1, r) + s(c - 1, r + 1) +
                      s(c + 2, r) + s(c + 2, r + 1);
    const int corners = s(c - 1, r - 1) + s(c + 2, r - 1) + s(c - 1, r + 2) + s(c + 2, r + 2);
    EXPECT_EQ(out[j * 4 + i], (box + (edges >> 1) + (corners >> 2)) / 9);
}

// Halved tiles are made in buffers that are not cleared first: every option
// must write every sample of the half size (at least 1 x 1), whatever the
// buffer held before.
TEST(QuadHalve, HalvingWritesEverySampleOfTheHalfSize)
{
    struct Tile {
        std::string name;
        vq_ptr<vq_zoom_tile_base> tile;
        int32_t plane, channels;
    };
    std::vector<Tile> tiles;
    for (IntPair size : {IntPair(64, 64), IntPair(37, 21), IntPair(2, 10)}) {
        const std::string dims = std::to_string(size.first) + "x" + std::to_string(size.second);
        tiles.push_back({"rgb " + dims, makeRgbTile(0, 0, 1, size.first, size.second), vq_fmtRGB24, 3});
        vq_ptr<vq_zoom_tile_base> gray;
        createZoomTileGrayscale(&gray);
        gray->setKey(vq_tileKey(0, 0, 1));
        gray->setContainer(makeContainer(vq_fmtGray8, size.first, size.second).get());
        tiles.push_back({"gray " + dims, gray, vq_fmtGray8, 1});
        for (int32_t subsampling = 1; subsampling <= 4; ++subsampling) {
            auto t = makeYCbCrTile(0, 0, 1, size.first, size.second, subsampling);
            for (int32_t plane : {planeY, planeCb, planeCr})
                tiles.push_back({"ycbcr " + dims + " subsampling " + std::to_string(subsampling) + " plane " +
                                     std::to_string(plane),
                                 t, plane, 1});
        }
    }
    for (const Tile& t : tiles) {
        const IntPair full = containerOf(t.tile.get(), t.plane)->getFullSize();
        const int32_t w = full.first / 2 > 0 ? full.first / 2 : 1, h = full.second / 2 > 0 ? full.second / 2 : 1;
        // Room for a step that writes the rounded-up half, and one more.
        const int32_t step = ((full.first + 1) / 2 + 1) * t.channels, rows = (full.second + 1) / 2 + 1;
        for (int option : {-1, 0, 1, 2, 3, 4, 5, 6, 7, 8, 9}) {
            std::vector<uint8_t> zeros(static_cast<size_t>(step * rows), 0x00), ones(zeros.size(), 0xFF);
            // A refused halving (the Gaussian step on odd RGB sizes) gives no tile.
            const bool halved = t.tile->halveSize(zeros.data(), step, t.plane, option);
            ASSERT_EQ(t.tile->halveSize(ones.data(), step, t.plane, option), halved) << t.name << " option " << option;
            if (!halved)
                continue;
            for (int32_t y = 0; y < h; ++y)
                ASSERT_EQ(std::memcmp(zeros.data() + y * step, ones.data() + y * step,
                                      static_cast<size_t>(w * t.channels)),
                          0)
                    << t.name << " option " << option << ": row " << y << " not written whole";
        }
    }
}

TEST(QuadHalve, ContainerErrors)
{
    vq_ptr<vq_zoom_tile_base> t;
    createZoomTile(&t);
    uint8_t dst[16];
    testing::internal::CaptureStderr();
    EXPECT_FALSE(t->halveSize(dst, 4, 4, 1));
    EXPECT_EQ(testing::internal::GetCapturedStderr(), "container is NULL\n");
    vq_ptr<imageContainer> c;
    t->getContainer(c, 4);
    testing::internal::CaptureStderr();
    EXPECT_FALSE(t->halveSize(dst, 4, 4, 1));
    EXPECT_EQ(testing::internal::GetCapturedStderr(), "container is not allocated\n");
}

} // namespace

namespace {

// The Gaussian step of a plane, computed into a buffer of the step's own size
// (ceil of each half side).
std::vector<uint8_t> gaussianOfPlane(const std::vector<uint8_t>& plane, int32_t W, int32_t H)
{
    const int32_t outW = (W + 1) / 2, outH = (H + 1) / 2;
    std::vector<uint8_t> out(static_cast<size_t>(outW) * outH);
    int32_t bufferSize = 0;
    EXPECT_EQ(pyramidGetBufferSize(W, 1, 1, &bufferSize), 0);
    std::vector<uint8_t> buffer(static_cast<size_t>(bufferSize) + 64);
    EXPECT_EQ(pyramidDownGauss5x5(plane.data(), W, out.data(), outW, PrimSize{W, H}, buffer.data()), 0);
    return out;
}

} // namespace

TEST(QuadHalve, GaussianHalvingOfOddSidesStaysInsideTheHalvedPlane)
{
    // A plane of odd sides halves to floor(W/2) x floor(H/2); the Gaussian
    // step itself makes one more column and row. The halving must succeed,
    // write nothing past the caller's plane (sized exactly, so the address
    // sanitizer sees any overrun) and keep the step's own samples.
    auto fn = [](int x, int y, int c) { return static_cast<uint8_t>((x * 7 + y * 13 + c * 50) ^ (x * y)); };
    for (IntPair size : {IntPair(33, 31), IntPair(33, 32), IntPair(32, 31), IntPair(5, 5)}) {
        const int32_t W = size.first, H = size.second, w = W / 2, h = H / 2;
        const int32_t outW = (W + 1) / 2;
        for (int channels : {1, 3}) {
            vq_ptr<vq_zoom_tile_base> tile;
            if (channels == 1) {
                createZoomTileGrayscale(&tile);
                tile->setKey(vq_tileKey(0, 0, 1));
                tile->setContainer(makeContainer(vq_fmtGray8, W, H, fn).get());
            } else {
                tile = makeRgbTile(0, 0, 1, W, H, fn);
            }
            std::vector<uint8_t> out(static_cast<size_t>(w) * h * channels);
            ASSERT_TRUE(tile->halveSize(out.data(), w * channels, channels == 1 ? vq_fmtGray8 : vq_fmtRGB24, 8))
                << W << " x " << H << ", " << channels << " channels";
            for (int c = 0; c < channels; ++c) {
                std::vector<uint8_t> plane(static_cast<size_t>(W) * H);
                for (int y = 0; y < H; ++y)
                    for (int x = 0; x < W; ++x)
                        plane[y * W + x] = fn(x, y, channels == 1 ? 0 : c);
                const std::vector<uint8_t> expected = gaussianOfPlane(plane, W, H);
                for (int y = 0; y < h; ++y)
                    for (int x = 0; x < w; ++x)
                        ASSERT_EQ(out[(y * w + x) * channels + c], expected[y * outW + x])
                            << W << " x " << H << ", channel " << c << " at " << x << ", " << y;
            }
        }
    }
}
