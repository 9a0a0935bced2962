// The rotating level: tiles turned a quarter turn counter-clockwise, keyed in
// the turned grid, and re-assembled from bands when the image width is not a
// multiple of the tile width. Every output tile is checked against the
// turned image written out pixel by pixel: turned (u, v) = source (W-1-v, u).
#include <gtest/gtest.h>

#include <algorithm>
#include <map>
#include <utility>
#include <vector>

#include "engine/base/tile_decoder_base.h"
#include "engine/pyramid/zoom_layer_rotate.h"
#include "tile_fixtures.h"

namespace {

using namespace pyramidtest;

uint8_t sourcePixel(int x, int y, int c) { return uint8_t((x * 31 + y * 17 + c * 89 + (x * y) % 7) & 0xFF); }

// Keeps what reaches it: the key and the pixels of every tile.
class CaptureLayer : public vq_zoom_layer {
public:
    static CaptureLayer* make()
    {
        auto* l = new CaptureLayer();
        l->addRef();
        return l;
    }
    bool addTile(vq_zoom_tile_base* tile, vq_raw_tile*) override
    {
        vq_ptr<imageContainer> c;
        tile->getContainer(c, 4);
        Captured cap{c->getWidth(), c->getHeight(), {}};
        for (int y = 0; y < cap.h; ++y)
            for (int x = 0; x < cap.w; ++x)
                for (int ch = 0; ch < 3; ++ch)
                    cap.pixels.push_back(pixelAt(c.get(), x, y, ch));
        tiles[{tile->getX(), tile->getY()}].push_back(cap);
        return true;
    }
    void flushQuads() override { ++flushes; }

    struct Captured {
        int w, h;
        std::vector<uint8_t> pixels;
        uint8_t at(int x, int y, int c) const { return pixels[size_t((y * w + x) * 3 + c)]; }
    };
    std::map<std::pair<int, int>, std::vector<Captured>> tiles;
    int flushes = 0;
};

// A rotating level whose next level is the capture.
class TestRotateLayer : public vq_zoom_layer_rotate {
public:
    static TestRotateLayer* make(IntPair image, IntPair tile, CaptureLayer* capture)
    {
        auto* l = new TestRotateLayer();
        l->addRef();
        l->setTileSize(tile);
        l->setImageSize(image);
        l->next = vq_ptr<vq_zoom_layer>(capture);
        return l;
    }
};

// The source tile at grid position (tx, ty) of a W x H image.
vq_ptr<vq_zoom_tile_base> sourceTile(int tx, int ty, int W, int H, int T)
{
    const int w = std::min(T, W - tx * T), h = std::min(T, H - ty * T);
    return makeRgbTile(tx, ty, 0, w, h, [=](int x, int y, int c) { return sourcePixel(tx * T + x, ty * T + y, c); });
}

// Every turned pixel inside the image, by the formula.
::testing::AssertionResult matchesTurned(const CaptureLayer& cap, int W, int H, int T)
{
    const int TW = H, TH = W; // turned image size
    const int cols = (TW + T - 1) / T, rows = (TH + T - 1) / T;
    if (int(cap.tiles.size()) != cols * rows)
        return ::testing::AssertionFailure() << cap.tiles.size() << " tile positions, expected " << cols * rows;
    for (const auto& [key, list] : cap.tiles) {
        if (list.size() != 1)
            return ::testing::AssertionFailure() << "tile " << key.first << "," << key.second << " arrived "
                                                 << list.size() << " times";
        const auto& t = list[0];
        const int vw = std::min(T, TW - key.first * T), vh = std::min(T, TH - key.second * T);
        if (t.w < vw || t.h < vh)
            return ::testing::AssertionFailure() << "tile " << key.first << "," << key.second << " is " << t.w << "x"
                                                 << t.h;
        for (int j = 0; j < vh; ++j)
            for (int i = 0; i < vw; ++i)
                for (int c = 0; c < 3; ++c) {
                    const int u = key.first * T + i, v = key.second * T + j;
                    if (t.at(i, j, c) != sourcePixel(W - 1 - v, u, c))
                        return ::testing::AssertionFailure()
                               << "tile " << key.first << "," << key.second << " pixel " << i << "," << j;
                }
    }
    return ::testing::AssertionSuccess();
}

TEST(RotateLevel, ExactMultipleTurnsEachTileStraightThrough)
{
    const int W = 512, H = 256, T = 256;
    vq_ptr<CaptureLayer> cap = vq_ptr<CaptureLayer>::adopt(CaptureLayer::make());
    vq_ptr<TestRotateLayer> level = vq_ptr<TestRotateLayer>::adopt(TestRotateLayer::make({W, H}, {T, T}, cap.get()));
    // Each tile reaches the next level as soon as it is added.
    ASSERT_TRUE(level->addTile(sourceTile(1, 0, W, H, T).get(), nullptr));
    ASSERT_EQ(cap->tiles.count({0, 0}), 1u); // top-right source tile -> top-left turned tile
    ASSERT_TRUE(level->addTile(sourceTile(0, 0, W, H, T).get(), nullptr));
    EXPECT_EQ(cap->tiles.count({0, 1}), 1u);
    EXPECT_EQ(level->pendingPartQuadCount(), 0u);
    EXPECT_TRUE(matchesTurned(*cap, W, H, T));
    // Corners: the source's top-right pixel at the turned top-left, its
    // top-left pixel at the turned bottom-left.
    const auto& tl = cap->tiles[{0, 0}][0];
    const auto& bl = cap->tiles[{0, 1}][0];
    for (int c = 0; c < 3; ++c) {
        EXPECT_EQ(tl.at(0, 0, c), sourcePixel(W - 1, 0, c));
        EXPECT_EQ(bl.at(0, T - 1, c), sourcePixel(0, 0, c));
    }
}

// The 600 x 512 image with 256 tiles leaves a remainder of 88 columns: the
// turned tiles are re-assembled from bands, whatever order they come in.
TEST(RotateLevel, BandAssemblyEqualsTurnedImage)
{
    const int W = 600, H = 512, T = 256;
    std::vector<std::pair<int, int>> rowMajor;
    for (int ty = 0; ty < 2; ++ty)
        for (int tx = 0; tx < 3; ++tx)
            rowMajor.push_back({tx, ty});
    std::vector<std::pair<int, int>> reversed(rowMajor.rbegin(), rowMajor.rend());
    // The last source column first: its narrow turned tile opens the top
    // row's members before the band from below arrives.
    std::vector<std::pair<int, int>> lastColumnFirst = {{2, 0}, {2, 1}, {1, 0}, {1, 1}, {0, 0}, {0, 1}};
    std::vector<std::pair<int, int>> columnMajor = {{0, 0}, {0, 1}, {1, 0}, {1, 1}, {2, 0}, {2, 1}};
    const std::vector<std::vector<std::pair<int, int>>> orders = {rowMajor, reversed, lastColumnFirst, columnMajor};
    for (size_t o = 0; o < orders.size(); ++o) {
        SCOPED_TRACE("order " + std::to_string(o));
        vq_ptr<CaptureLayer> cap = vq_ptr<CaptureLayer>::adopt(CaptureLayer::make());
        vq_ptr<TestRotateLayer> level =
            vq_ptr<TestRotateLayer>::adopt(TestRotateLayer::make({W, H}, {T, T}, cap.get()));
        ASSERT_EQ(level->getRemainder().first, 88);
        for (const auto& [tx, ty] : orders[o])
            ASSERT_TRUE(level->addTile(sourceTile(tx, ty, W, H, T).get(), nullptr));
        level->flushQuads();
        EXPECT_EQ(cap->flushes, 1);
        EXPECT_EQ(level->pendingPartQuadCount(), 0u);
        EXPECT_TRUE(matchesTurned(*cap, W, H, T));
        // The top turned row starts with the 88 rows of source column 2.
        const auto& top = cap->tiles[{0, 0}][0];
        for (int c = 0; c < 3; ++c) {
            EXPECT_EQ(top.at(0, 0, c), sourcePixel(W - 1, 0, c));
            EXPECT_EQ(top.at(0, 87, c), sourcePixel(W - 88, 0, c));
            EXPECT_EQ(top.at(0, 88, c), sourcePixel(W - 89, 0, c));
        }
    }
}

// Five source columns in one row: the tile of turned row 2 finds the quad of
// rows 2-3 for its own band while the quad of rows 0-1, where its other band
// belongs, does not exist yet; that band must still arrive.
TEST(RotateLevel, BandWaitsForTheQuadAbove)
{
    const int W = 4 * 256 + 88, H = 256, T = 256;
    vq_ptr<CaptureLayer> cap = vq_ptr<CaptureLayer>::adopt(CaptureLayer::make());
    vq_ptr<TestRotateLayer> level = vq_ptr<TestRotateLayer>::adopt(TestRotateLayer::make({W, H}, {T, T}, cap.get()));
    for (int tx : {1, 2, 3, 4, 0})
        ASSERT_TRUE(level->addTile(sourceTile(tx, 0, W, H, T).get(), nullptr));
    level->flushQuads();
    EXPECT_TRUE(matchesTurned(*cap, W, H, T));
}

TEST(RotateLevel, RefusesMissingAndYCbCrTiles)
{
    vq_ptr<CaptureLayer> cap = vq_ptr<CaptureLayer>::adopt(CaptureLayer::make());
    vq_ptr<TestRotateLayer> level =
        vq_ptr<TestRotateLayer>::adopt(TestRotateLayer::make({512, 256}, {256, 256}, cap.get()));
    EXPECT_FALSE(level->addTile(nullptr, nullptr));
    vq_ptr<vq_zoom_tile_base> ycc;
    createZoomTileYCbCr(&ycc);
    ycc->setKey(vq_tileKey(0, 0, 0));
    EXPECT_FALSE(level->addTile(ycc.get(), nullptr));
    EXPECT_TRUE(cap->tiles.empty());
}

} // namespace
