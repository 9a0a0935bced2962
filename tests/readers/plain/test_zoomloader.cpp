#include <gtest/gtest.h>

#include <algorithm>

#include "engine/base/imageContainer.h"
#include "engine/base/tile_key.h"
#include "engine/tilepath/zoomloader.h"
#include "strip_helpers.h"

using namespace plaintest;

namespace {

// Pixel values of the fake source at image coordinates.
uint8_t redAt(int x, int y) { return uint8_t(x); }
uint8_t greenAt(int x, int y) { return uint8_t(y); }
uint8_t blueAt(int x, int y) { return uint8_t(x * 7 + y * 3 + (x >> 8) + (y >> 8) * 5); }
uint8_t lumaAt(int x, int y) { return uint8_t(x + 2 * y + (x >> 8) * 3); }
uint8_t cbAt(int x, int y) { return uint8_t(3 * x + y); }
uint8_t crAt(int x, int y) { return uint8_t(x + 5 * y + (y >> 8)); }

// A tile reader over a computed image: edge tiles come at their smaller
// size, every load is recorded, and one tile can be made to fail.
class FakeTiles : public vq_tileloader_base {
public:
    FakeTiles(IntPair image, IntPair tile, bool ycbcr = false, int subsampling = 5)
        : image(image), tile(tile), ycbcr(ycbcr), subsampling(subsampling) {}

    IntPair image, tile;
    bool ycbcr;
    int subsampling;
    std::vector<IntPair> loads;
    IntPair failing{-1, -1};
    // One tile can come smaller than its place in the grid.
    IntPair shrunk{-1, -1}, shrunkSize;

    int getImageCount() override { return 1; }
    IntPair getTileSize(int) override { return tile; }
    std::vector<IntPair> getLevelSizes(int) override { return {image}; }
    IntPair getLevelTileCounts(int, int) override {
        if (tile.first < 1 || tile.second < 1)
            return IntPair(1, 1);
        return IntPair((image.first + tile.first - 1) / tile.first,
                       (image.second + tile.second - 1) / tile.second);
    }
    IntPair getLevelSize(int, int) override { return image; }
    int getPixelFormat(int, int) override { return 4; }
    int getTileCount(int) override {
        const IntPair n = getLevelTileCounts(0, 0);
        return n.first * n.second;
    }
    bool loadTile(int x, int y, int level, int im, imageContainer* dst, int format) override {
        const IntPair size = visibleSize(x, y);
        if (!admit(x, y, level, im) || format != 4 || !dst->create(4, size.first, size.second, false))
            return false;
        uint8_t* p = nullptr;
        int32_t step = 0;
        dst->lockPixels(&p, &step);
        for (int r = 0; r < size.second; ++r)
            for (int c = 0; c < size.first; ++c) {
                const int gx = x * tile.first + c, gy = y * tile.second + r;
                uint8_t* px = p + r * step + c * 3;
                px[0] = redAt(gx, gy);
                px[1] = greenAt(gx, gy);
                px[2] = blueAt(gx, gy);
            }
        dst->unlockPixels();
        return true;
    }
    bool hasRawTiles(int) override { return false; }
    bool isRawYCbCr(int) override { return ycbcr; }
    bool loadTileYCbCr(int x, int y, int level, int im, imageContainer* yp, imageContainer* cb,
                       imageContainer* cr) override {
        if (!ycbcr || !admit(x, y, level, im))
            return false;
        const IntPair size = visibleSize(x, y);
        const IntPair chroma = chromaPlaneSize(size, subsampling);
        const IntPair chromaTile = chromaPlaneSize(tile, subsampling);
        fillPlane(yp, 7, size, x * tile.first, y * tile.second, lumaAt);
        fillPlane(cb, 8, chroma, x * chromaTile.first, y * chromaTile.second, cbAt);
        fillPlane(cr, 9, chroma, x * chromaTile.first, y * chromaTile.second, crAt);
        return true;
    }
    bool isRawCodecSupported(int) override { return false; }
    bool isJPEG(int) override { return false; }
    bool createTileDecoder(vq_tileDecoder_base**, int) override { return false; }
    int getCompression(int) override { return 1; }
    int getSubsampling(int) override { return subsampling; }
    int getQuality() override { return 100; }
    bool loadThumbnail(vq_raw_tile**, int) override { return false; }
    std::string getDescription() override { return {}; }
    int64_t getFileSize() override { return 0; }
    bool loadRawTile(int, int, int, int, vq_raw_tile**) override { return false; }
    bool loadRawTileAsStored(int, int, int, int, vq_raw_tile**) override { return false; }
    bool getJpegTables(int, int, vq_raw_tile**) override { return false; }
    int getMagnification(int) override { return 0; }
    void lock() override {}
    void unlock() override {}
    bool isValidTile(int x, int y, int level, int im) override {
        const IntPair n = getLevelTileCounts(level, im);
        return level == 0 && im == 0 && x >= 0 && y >= 0 && x < n.first && y < n.second;
    }

private:
    bool admit(int x, int y, int level, int im) {
        loads.emplace_back(x, y);
        return isValidTile(x, y, level, im) && !(IntPair(x, y) == failing);
    }
    IntPair visibleSize(int x, int y) const {
        if (IntPair(x, y) == shrunk)
            return shrunkSize;
        return IntPair(std::min(tile.first, image.first - x * tile.first),
                       std::min(tile.second, image.second - y * tile.second));
    }
    static void fillPlane(imageContainer* c, int format, IntPair size, int x0, int y0,
                          uint8_t (*value)(int, int)) {
        c->create(format, size.first, size.second, false);
        uint8_t* p = nullptr;
        int32_t step = 0;
        c->lockPixels(&p, &step);
        for (int r = 0; r < size.second; ++r)
            for (int col = 0; col < size.first; ++col)
                p[r * step + col] = value(x0 + col, y0 + r);
        c->unlockPixels();
    }
};

vq_ptr<FakeTiles> fakeTiles(IntPair image, IntPair tile, bool ycbcr = false, int subsampling = 5) {
    vq_ptr<FakeTiles> tiles(new FakeTiles(image, tile, ycbcr, subsampling));
    return tiles;
}

vq_ptr<vq_stripLoader_base> zoomLoader(FakeTiles* tiles) {
    vq_ptr<vq_stripLoader_base> strips;
    EXPECT_TRUE(createZoomLoader(tiles, strips.put()));
    return strips;
}

Bytes rgbRow(int width, int y) {
    Bytes row;
    for (int x = 0; x < width; ++x)
        row.insert(row.end(), {redAt(x, y), greenAt(x, y), blueAt(x, y)});
    return row;
}

Bytes planeRow(int width, int y, uint8_t (*value)(int, int)) {
    Bytes row;
    for (int x = 0; x < width; ++x)
        row.push_back(value(x, y));
    return row;
}

TEST(ZoomLoader, BandsOf512TilesServeStripsOf256) {
    auto tiles = fakeTiles({1000, 700}, {512, 512});
    auto strips = zoomLoader(tiles.get());
    EXPECT_EQ(strips->getImageSize(), IntPair(1000, 700));
    EXPECT_EQ(strips->getMinTileSize(), 1);
    EXPECT_EQ(strips->getMaxStripHeight(), 700);
    EXPECT_EQ(strips->getFormat(), 4);
    EXPECT_FALSE(strips->supportsYCbCr());
    EXPECT_EQ(strips->getSubsampling(), 5);

    const StripPass pass = readAllStrips(strips.get(), 256, 4, 3);
    ASSERT_TRUE(pass.prepared);
    EXPECT_TRUE(pass.allRead);
    EXPECT_EQ(pass.heights, (std::vector<int>{256, 256, 188}));
    EXPECT_EQ(pass.rowsDone, (std::vector<int>{256, 512, 700}));
    ASSERT_EQ(pass.rows.size(), 700u);
    for (int y = 0; y < 700; ++y)
        ASSERT_EQ(pass.rows[y], rgbRow(1000, y)) << "row " << y;
    // Each tile is decoded once, band by band.
    EXPECT_EQ(tiles->loads, (std::vector<IntPair>{{0, 0}, {1, 0}, {0, 1}, {1, 1}}));
}

TEST(ZoomLoader, StripsAcrossBandEdgesRebuildTheImage) {
    struct Case {
        IntPair image, tile;
        int stripHeight;
    };
    const Case cases[] = {
        {{300, 700}, {128, 240}, 256}, // strips straddle bands
        {{257, 5}, {16, 3}, 2},        // tile height does not divide the image
        {{33, 50}, {64, 7}, 1},        // one column of tiles, wider than the image
        {{40, 19}, {8, 8}, 100},       // one strip for the whole image
        {{1, 1}, {1, 1}, 1},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message() << c.image.first << "x" << c.image.second << " tiles "
                                        << c.tile.first << "x" << c.tile.second << " strips "
                                        << c.stripHeight);
        auto tiles = fakeTiles(c.image, c.tile);
        auto strips = zoomLoader(tiles.get());
        const StripPass pass = readAllStrips(strips.get(), c.stripHeight, 4, 3);
        ASSERT_TRUE(pass.allRead);
        const int h = c.image.second, t = c.stripHeight;
        EXPECT_EQ(pass.heights.size(), size_t((h + t - 1) / t));
        EXPECT_EQ(pass.heights.back(), h - t * ((h - 1) / t));
        EXPECT_EQ(pass.rowsDone.back(), h);
        ASSERT_EQ(pass.rows.size(), size_t(h));
        for (int y = 0; y < h; ++y)
            ASSERT_EQ(pass.rows[y], rgbRow(c.image.first, y)) << "row " << y;
        EXPECT_EQ(tiles->loads.size(), size_t(tiles->getTileCount(0)));
    }
}

TEST(ZoomLoader, PlaneStripsOf420Tiles) {
    auto tiles = fakeTiles({1000, 600}, {256, 256}, true, 4);
    auto strips = zoomLoader(tiles.get());
    EXPECT_TRUE(strips->supportsYCbCr());
    EXPECT_EQ(strips->getSubsampling(), 4);
    ASSERT_TRUE(strips->prepareStripsYCbCr(256));
    std::vector<Bytes> yRows, cbRows, crRows;
    std::vector<int> lumaHeights, chromaHeights, chromaWidths;
    int done = 0;
    while (done < 600) {
        vq_ptr<imageContainer> y, cb, cr;
        createImageContainer(y.put());
        createImageContainer(cb.put());
        createImageContainer(cr.put());
        ASSERT_TRUE(strips->readNextStripYCbCr(&done, y.get(), cb.get(), cr.get()));
        EXPECT_EQ(y->getFormat(), 7);
        EXPECT_EQ(cb->getFormat(), 8);
        EXPECT_EQ(cr->getFormat(), 9);
        lumaHeights.push_back(y->getHeight());
        chromaHeights.push_back(cb->getHeight());
        chromaWidths.push_back(cr->getWidth());
        for (Bytes& r : rowsOf(y.get(), 1)) yRows.push_back(r);
        for (Bytes& r : rowsOf(cb.get(), 1)) cbRows.push_back(r);
        for (Bytes& r : rowsOf(cr.get(), 1)) crRows.push_back(r);
    }
    EXPECT_EQ(lumaHeights, (std::vector<int>{256, 256, 88}));
    EXPECT_EQ(chromaHeights, (std::vector<int>{128, 128, 44}));
    EXPECT_EQ(chromaWidths, (std::vector<int>{500, 500, 500}));
    for (int r = 0; r < 600; ++r)
        ASSERT_EQ(yRows[r], planeRow(1000, r, lumaAt)) << "luma row " << r;
    for (int r = 0; r < 300; ++r) {
        ASSERT_EQ(cbRows[r], planeRow(500, r, cbAt)) << "Cb row " << r;
        ASSERT_EQ(crRows[r], planeRow(500, r, crAt)) << "Cr row " << r;
    }
}

TEST(ZoomLoader, PlaneStripsStraddlingBandsOf422VerticalTiles) {
    // Chroma halved vertically, tile height 96 against strips of 64.
    auto tiles = fakeTiles({130, 250}, {64, 96}, true, 3);
    auto strips = zoomLoader(tiles.get());
    ASSERT_TRUE(strips->prepareStripsYCbCr(64));
    std::vector<Bytes> yRows, cbRows;
    int done = 0;
    while (done < 250) {
        vq_ptr<imageContainer> y, cb, cr;
        createImageContainer(y.put());
        createImageContainer(cb.put());
        createImageContainer(cr.put());
        ASSERT_TRUE(strips->readNextStripYCbCr(&done, y.get(), cb.get(), cr.get()));
        EXPECT_EQ(cb->getWidth(), 130);
        EXPECT_EQ(cb->getHeight(), (y->getHeight() + 1) / 2);
        for (Bytes& r : rowsOf(y.get(), 1)) yRows.push_back(r);
        for (Bytes& r : rowsOf(cb.get(), 1)) cbRows.push_back(r);
    }
    ASSERT_EQ(yRows.size(), 250u);
    ASSERT_EQ(cbRows.size(), 125u);
    for (int r = 0; r < 250; ++r)
        ASSERT_EQ(yRows[r], planeRow(130, r, lumaAt)) << "luma row " << r;
    for (int r = 0; r < 125; ++r)
        ASSERT_EQ(cbRows[r], planeRow(130, r, cbAt)) << "Cb row " << r;
}

// Bands are re-used without clearing; where a tile smaller than its place
// leaves the band uncovered, the strips read zeros, never an earlier band.
TEST(ZoomLoader, UncoveredPartsOfABandReadZero) {
    const IntPair image(200, 150), tile(64, 64);
    struct Case {
        IntPair shrunk, size;
        bool ycbcr;
    } cases[] = {
        {{1, 1}, {32, 20}, false}, // a gap right of it and rows below it
        {{3, 1}, {4, 64}, false},  // the band's last columns
        {{2, 1}, {64, 30}, true},  // rows below it in every plane
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message() << "tile " << c.shrunk.first << "," << c.shrunk.second
                                        << (c.ycbcr ? " planes" : " pixels"));
        auto tiles = fakeTiles(image, tile, c.ycbcr, 4);
        tiles->shrunk = c.shrunk;
        tiles->shrunkSize = c.size;
        auto strips = zoomLoader(tiles.get());
        // Whether (x, y) of a plane whose tiles are `t` lies in the uncovered part.
        auto uncovered = [&](int x, int y, IntPair t, IntPair size) {
            return x / t.first == c.shrunk.first && y / t.second == c.shrunk.second &&
                   (x % t.first >= size.first || y % t.second >= size.second);
        };
        if (!c.ycbcr) {
            const StripPass pass = readAllStrips(strips.get(), 50, 4, 3);
            ASSERT_TRUE(pass.allRead);
            ASSERT_EQ(pass.rows.size(), size_t(image.second));
            for (int y = 0; y < image.second; ++y) {
                Bytes expected = rgbRow(image.first, y);
                for (int x = 0; x < image.first; ++x)
                    if (uncovered(x, y, tile, c.size))
                        std::fill_n(expected.begin() + 3 * x, 3, uint8_t(0));
                ASSERT_EQ(pass.rows[y], expected) << "row " << y;
            }
            continue;
        }
        ASSERT_TRUE(strips->prepareStripsYCbCr(50));
        std::vector<Bytes> yRows, cbRows;
        int done = 0;
        while (done < image.second) {
            vq_ptr<imageContainer> y, cb, cr;
            createImageContainer(y.put());
            createImageContainer(cb.put());
            createImageContainer(cr.put());
            ASSERT_TRUE(strips->readNextStripYCbCr(&done, y.get(), cb.get(), cr.get()));
            for (Bytes& r : rowsOf(y.get(), 1)) yRows.push_back(r);
            for (Bytes& r : rowsOf(cb.get(), 1)) cbRows.push_back(r);
        }
        ASSERT_EQ(yRows.size(), size_t(image.second));
        ASSERT_EQ(cbRows.size(), size_t(image.second / 2));
        for (int y = 0; y < image.second; ++y) {
            Bytes expected = planeRow(image.first, y, lumaAt);
            for (int x = 0; x < image.first; ++x)
                if (uncovered(x, y, tile, c.size)) expected[x] = 0;
            ASSERT_EQ(yRows[y], expected) << "luma row " << y;
        }
        const IntPair chromaTile(tile.first / 2, tile.second / 2), chromaSize(c.size.first / 2, c.size.second / 2);
        for (int y = 0; y < image.second / 2; ++y) {
            Bytes expected = planeRow(image.first / 2, y, cbAt);
            for (int x = 0; x < image.first / 2; ++x)
                if (uncovered(x, y, chromaTile, chromaSize)) expected[x] = 0;
            ASSERT_EQ(cbRows[y], expected) << "Cb row " << y;
        }
    }
}

TEST(ZoomLoader, RefusalsAndFailedTiles) {
    // A tile reader without a tile height cannot be cut into bands.
    for (IntPair empty : {IntPair(256, 0), IntPair(0, 256), IntPair(0, 0)}) {
        auto tiles = fakeTiles({300, 300}, empty, true, 4);
        auto strips = zoomLoader(tiles.get());
        stderrOf([&] {
            EXPECT_FALSE(strips->prepareStrips(256, 4));
            EXPECT_FALSE(strips->prepareStripsYCbCr(256));
        });
        vq_ptr<imageContainer> strip;
        createImageContainer(strip.put());
        int done = 0;
        EXPECT_FALSE(strips->readNextStrip(&done, strip.get()));
    }

    // A tile that fails in the first band fails the preparation; one in a
    // later band fails the strip that needs it.
    auto tiles = fakeTiles({100, 100}, {64, 64});
    tiles->failing = IntPair(1, 0);
    EXPECT_FALSE(zoomLoader(tiles.get())->prepareStrips(32, 4));
    tiles->failing = IntPair(1, 1);
    auto strips = zoomLoader(tiles.get());
    ASSERT_TRUE(strips->prepareStrips(32, 4));
    vq_ptr<imageContainer> strip;
    createImageContainer(strip.put());
    int done = 0;
    EXPECT_TRUE(strips->readNextStrip(&done, strip.get()));
    EXPECT_TRUE(strips->readNextStrip(&done, strip.get()));
    EXPECT_FALSE(strips->readNextStrip(&done, strip.get()));

    auto rgb = fakeTiles({100, 100}, {64, 64});
    EXPECT_FALSE(zoomLoader(rgb.get())->prepareStripsYCbCr(32)) << "no YCbCr tiles";

    vq_ptr<vq_stripLoader_base> none;
    EXPECT_FALSE(createZoomLoader(nullptr, none.put()));
}

} // namespace
