// Pyramid levels: geometry, fit, quality ramp, TileGroup numbering and runs
// into a recording output.
#include <gtest/gtest.h>

#include "engine/base/tile_decoder_base.h"
#include "tests/engine/pyramid/pyramid_fixtures.h"

using namespace pyramidtest;

namespace {

vq_ptr<vq_zoom_layer> makeLevel(IntPair image, IntPair tile, IntPair minSize, IntPair maxSize)
{
    vq_ptr<vq_zoom_layer> l;
    createZoomLayer(&l);
    l->setMinTileSize(minSize);
    l->setMaxTileSize(maxSize);
    l->setTileSize(tile);
    l->setImageSize(image);
    return l;
}

TEST(ZoomLayer, GeometryOfAChain)
{
    auto base = makeLevel(IntPair(1000, 600), IntPair(256, 256), IntPair(256, 256), IntPair(256, 256));
    ASSERT_TRUE(base->createPyramid(false));
    const struct {
        IntPair image, count, remainder;
        int level, smaller;
    } expected[] = {
        {IntPair(1000, 600), IntPair(4, 3), IntPair(232, 88), 2, 5},
        {IntPair(500, 300), IntPair(2, 2), IntPair(244, 44), 1, 1},
        {IntPair(250, 150), IntPair(1, 1), IntPair(250, 150), 0, 0},
    };
    vq_zoom_layer* l = base.get();
    for (const auto& e : expected) {
        ASSERT_NE(l, nullptr);
        EXPECT_EQ(l->getImageSize(), e.image);
        EXPECT_EQ(l->getTileCount(), e.count);
        EXPECT_EQ(l->getRemainder(), e.remainder);
        EXPECT_EQ(l->getLevel(), e.level);
        EXPECT_EQ(l->getTilesInSmallerLevels(), e.smaller);
        l = l->getNextLayer();
    }
    EXPECT_EQ(l, nullptr);
    EXPECT_EQ(base->countTiles(), 17);
    auto t = makeRgbTile(3, 2, 2, 4, 4);
    EXPECT_EQ(base->getTileGroupIndex(t.get()), 0);
    testing::internal::CaptureStderr();
    EXPECT_FALSE(base->createPyramid(false));
    EXPECT_EQ(testing::internal::GetCapturedStderr(), "Pyramid already exists\n");
    base->releaseChain();
    EXPECT_EQ(base->getNextLayer(), nullptr);
}

TEST(ZoomLayer, TileGroupIndexCountsSmallerLevelsFirst)
{
    // 40 x 40 tiles on the base level: 1600 + 400 + 100 + 25 + 9 + 4 + 1 tiles.
    auto base = makeLevel(IntPair(40 * 256, 40 * 256), IntPair(256, 256), IntPair(256, 256), IntPair(256, 256));
    ASSERT_TRUE(base->createPyramid(false));
    EXPECT_EQ(base->getLevel(), 6);
    EXPECT_EQ(base->getTilesInSmallerLevels(), 539);
    EXPECT_EQ(base->getTileGroupIndex(makeRgbTile(0, 0, 6, 1, 1).get()), 539 / 256);
    EXPECT_EQ(base->getTileGroupIndex(makeRgbTile(39, 39, 6, 1, 1).get()), (39 + 539 + 39 * 40) / 256);
}

TEST(ZoomLayer, SingleTileImage)
{
    auto base = makeLevel(IntPair(200, 100), IntPair(256, 256), IntPair(256, 256), IntPair(256, 256));
    ASSERT_TRUE(base->createPyramid(false));
    EXPECT_EQ(base->getLevel(), 0);
    EXPECT_EQ(base->getNextLayer(), nullptr);
    EXPECT_EQ(base->getTilesInSmallerLevels(), 0);
    auto exact = makeLevel(IntPair(512, 768), IntPair(256, 256), IntPair(256, 256), IntPair(256, 256));
    EXPECT_EQ(exact->getRemainder(), IntPair(0, 0));
    EXPECT_EQ(exact->getTileCount(), IntPair(2, 3));
}

TEST(ZoomLayer, FitOfSourceTiles)
{
    const struct {
        IntPair tile, min, max;
        bool ok, retiling;
        const char* message;
    } cases[] = {
        {IntPair(512, 256), IntPair(480, 480), IntPair(640, 640), true, true, ""},
        {IntPair(600, 256), IntPair(480, 480), IntPair(640, 640), false, true,
         "Unable to kestrix because tile width is not a multiple of tile height\n"},
        {IntPair(256, 600), IntPair(240, 240), IntPair(640, 640), false, true,
         "Unable to kestrix because tile height is not a multiple of tile width\n"},
        {IntPair(700, 700), IntPair(480, 480), IntPair(640, 640), false, true, ""},
        {IntPair(512, 512), IntPair(480, 480), IntPair(640, 640), true, false, ""},
        {IntPair(128, 128), IntPair(256, 256), IntPair(256, 256), true, true, ""},
        {IntPair(1024, 1024), IntPair(256, 256), IntPair(256, 256), true, true, ""},
    };
    for (const auto& c : cases) {
        vq_ptr<vq_zoom_layer> l;
        createZoomLayer(&l);
        l->setMinTileSize(c.min);
        l->setMaxTileSize(c.max);
        l->setTileSize(c.tile);
        testing::internal::CaptureStderr();
        l->setImageSize(IntPair(5000, 4000));
        const bool ok = l->updateGeometry();
        const std::string err = testing::internal::GetCapturedStderr();
        EXPECT_EQ(ok, c.ok) << c.tile.first << "x" << c.tile.second;
        EXPECT_EQ(l->isRetiling(), c.retiling) << c.tile.first;
        EXPECT_NE(err.find(c.message), std::string::npos) << err;
    }
}

TEST(ZoomLayer, PowerOfTwoFit)
{
    const struct {
        int v, min, max;
        bool fit;
    } cases[] = {{256, 480, 640, true}, {128, 480, 640, true}, {300, 480, 640, true}, {350, 480, 640, false}, {700, 480, 640, false},
                 {1024, 480, 640, true}, {2048, 256, 256, true}, {500, 480, 640, true}, {100, 256, 256, false}};
    for (const auto& c : cases)
        EXPECT_EQ(vq_zoom_layer::hasPowerOfTwoFit(c.v, c.min, c.max), c.fit) << c.v;
}

TEST(ZoomLayer, RetilingChains)
{
    auto small = makeLevel(IntPair(5000, 3000), IntPair(128, 128), IntPair(256, 256), IntPair(256, 256));
    ASSERT_TRUE(small->createPyramid(false));
    ASSERT_TRUE(small->isRetiling());
    EXPECT_EQ(small->getNextLayer()->getTileSize(), IntPair(256, 256));
    EXPECT_EQ(small->getNextLayer()->getImageSize(), IntPair(5000, 3000));
    EXPECT_FALSE(small->getNextLayer()->isRetiling());
    EXPECT_EQ(small->countTiles(), small->getNextLayer()->countTiles());

    auto big = makeLevel(IntPair(5000, 3000), IntPair(1024, 1024), IntPair(256, 256), IntPair(256, 256));
    ASSERT_TRUE(big->createPyramid(false));
    EXPECT_EQ(big->getNextLayer()->getTileSize(), IntPair(512, 512));
    EXPECT_EQ(big->getNextLayer()->getNextLayer()->getTileSize(), IntPair(256, 256));
    EXPECT_FALSE(big->getNextLayer()->getNextLayer()->isRetiling());
}

TEST(ZoomLayer, QualityRamp)
{
    // 50 to 80 over base level 7: step (80 - 50) / 7 = 4.
    auto base = makeLevel(IntPair(128 * 256, 128 * 256), IntPair(256, 256), IntPair(256, 256), IntPair(256, 256));
    ASSERT_TRUE(base->createPyramid(false));
    ASSERT_EQ(base->getLevel(), 7);
    base->setQuality(50, (80 - 50) / 7);
    for (int level = 7; level >= 0; --level)
        EXPECT_EQ(base->getLevelQuality(level), 50 + (7 - level) * 4) << level;
    EXPECT_EQ(base->getLevelQuality(42), 78); // no such level: level 0's
    base->setQuality(90, 5);
    EXPECT_EQ(base->getLevelQuality(0), 100); // capped
    auto single = makeLevel(IntPair(100, 100), IntPair(256, 256), IntPair(256, 256), IntPair(256, 256));
    single->createPyramid(false);
    single->setQuality(50, 0);
    EXPECT_EQ(single->getLevelQuality(0), 50);
}

// Feeds an image of w x h to a level as source tiles of tw x th (edge tiles
// cut to the image) in row order and flushes it.
void feedImage(vq_zoom_layer* base, IntPair image, IntPair tile, int32_t level)
{
    for (int32_t ty = 0; ty * tile.second < image.second; ++ty)
        for (int32_t tx = 0; tx * tile.first < image.first; ++tx) {
            const int32_t x0 = tx * tile.first, y0 = ty * tile.second;
            const int32_t w = std::min(tile.first, image.first - x0), h = std::min(tile.second, image.second - y0);
            auto t = makeRgbTile(tx, ty, level, w, h, [&](int x, int y, int c) { return imagePixel(x0 + x, y0 + y, c); });
            ASSERT_TRUE(base->addTile(t.get(), nullptr));
        }
    base->flushQuads();
}

struct PyramidRun {
    vq_ptr<vq_zoom_layer> base;
    vq_ptr<RecordingOutput> output;
};

PyramidRun runPyramid(IntPair image, IntPair sourceTile, int32_t option = 1)
{
    PyramidRun r;
    r.base = makeLevel(image, sourceTile, IntPair(256, 256), IntPair(256, 256));
    EXPECT_TRUE(r.base->createPyramid(false));
    r.base->setResampling(option);
    r.output = RecordingOutput::make();
    r.output->keepPixels = true;
    for (vq_zoom_layer* l = r.base.get(); l != nullptr; l = l->getNextLayer())
        l->setOutput(r.output.get());
    feedImage(r.base.get(), image, sourceTile, r.base->getLevel());
    return r;
}

TEST(ZoomLayer, EveryTileArrivesOnceWithEdgeSizes)
{
    const IntPair image(1000, 600);
    PyramidRun r = runPyramid(image, IntPair(256, 256));
    EXPECT_EQ(r.output->tiles.size(), 17u);
    IntPair levelImage = image;
    for (int level = 2; level >= 0; --level) {
        const int across = (levelImage.first + 255) / 256, down = (levelImage.second + 255) / 256;
        for (int y = 0; y < down; ++y)
            for (int x = 0; x < across; ++x) {
                auto it = r.output->tiles.find(vq_tileKey(x, y, level));
                ASSERT_NE(it, r.output->tiles.end()) << x << "," << y << " level " << level;
                EXPECT_EQ(it->second.count, 1);
                const IntPair expected(std::min(256, levelImage.first - 256 * x),
                                       std::min(256, levelImage.second - 256 * y));
                EXPECT_EQ(it->second.size, expected) << x << "," << y << " level " << level;
                EXPECT_EQ(it->second.fullSize, IntPair(256, 256));
            }
        levelImage = IntPair(levelImage.first / 2, levelImage.second / 2);
    }
    // The base level's tiles are the source pixels.
    const SavedTile& t = r.output->tiles.at(vq_tileKey(3, 2, 2));
    EXPECT_EQ(t.pixels[0], imagePixel(768, 512, 0));
    EXPECT_EQ(t.pixels.back(), imagePixel(999, 599, 2));
}

TEST(ZoomLayer, EdgeQuadsWaitForFlush)
{
    auto base = makeLevel(IntPair(600, 600), IntPair(256, 256), IntPair(256, 256), IntPair(256, 256));
    ASSERT_TRUE(base->createPyramid(false));
    auto out = RecordingOutput::make();
    for (vq_zoom_layer* l = base.get(); l != nullptr; l = l->getNextLayer())
        l->setOutput(out.get());
    for (int y = 0; y < 3; ++y)
        for (int x = 0; x < 3; ++x)
            ASSERT_TRUE(base->addTile(makeRgbTile(x, y, 2, 256, 256).get(), nullptr));
    // Column 2 and row 2 quads expect 2 members and complete; (2, 2) expects
    // only its top-left member but is output by the flush alone.
    EXPECT_EQ(base->pendingQuadCount(), 1u);
    EXPECT_EQ(out->tiles.count(vq_tileKey(2, 2, 2)), 0u);
    base->flushQuads();
    EXPECT_EQ(base->pendingQuadCount(), 0u);
    EXPECT_EQ(out->tiles.at(vq_tileKey(2, 2, 2)).size, IntPair(88, 88));
    EXPECT_EQ(out->tiles.size(), 9u + 4u + 1u);
}

TEST(ZoomLayer, FailedQuadLeavesTheList)
{
    auto base = makeLevel(IntPair(1024, 1024), IntPair(256, 256), IntPair(256, 256), IntPair(256, 256));
    ASSERT_TRUE(base->createPyramid(false));
    auto out = RecordingOutput::make();
    out->refuseTiles = true;
    base->setOutput(out.get());
    for (IntPair p : {IntPair(0, 0), IntPair(1, 0), IntPair(0, 1)})
        ASSERT_TRUE(base->addTile(makeRgbTile(p.first, p.second, 2, 256, 256).get(), nullptr));
    EXPECT_FALSE(base->addTile(makeRgbTile(1, 1, 2, 256, 256).get(), nullptr));
    EXPECT_EQ(base->pendingQuadCount(), 0u);
    // A tile of another group starts a quad of its own.
    out->refuseTiles = false;
    ASSERT_TRUE(base->addTile(makeRgbTile(2, 0, 2, 256, 256).get(), nullptr));
    EXPECT_EQ(base->pendingQuadCount(), 1u);
}

// A decoder whose compressed-domain crop records the size it was asked for.
class CroppingDecoder : public vq_tileDecoder_base {
public:
    IntPair getTileDimensions(vq_stream*) override { return IntPair(); }
    bool getDecoderFlag() override { return false; }
    bool isMcuAligned(vq_raw_tile*) override { return true; }
    bool splitIntoTiles(int, int, vq_rawTileMap&, vq_raw_tile*) override { return false; }
    bool canSplitLeftRight(vq_raw_tile*) override { return false; }
    bool canSplitTopBottom(vq_raw_tile*) override { return false; }
    bool decodeTileYCbCr(const IntPair&, int, const uint8_t*, int32_t, imageContainer*, imageContainer*,
                         imageContainer*) override { return false; }
    bool decodeTile(const IntPair&, int, const uint8_t*, int32_t, imageContainer*) override { return false; }
    bool cropTile(vq_raw_tile* tile, vq_raw_tile** out, const IntPair& size) override
    {
        vq_raw_tile* cropped = vq_raw_tile::create();
        cropped->allocate(tile->getDataLength(), size);
        cropped->setCompression(tile->getCompression());
        *out = cropped;
        return true;
    }
    bool splitTopBottom(vq_raw_tile*, vq_raw_tile**, vq_raw_tile**) override { return false; }
    bool splitLeftRight(vq_raw_tile*, vq_raw_tile**, vq_raw_tile**) override { return false; }
    bool rotateTile(vq_raw_tile*, int, vq_raw_tile**) override { return false; }
    bool mergeTiles(vq_raw_tile*, vq_raw_tile*, vq_raw_tile*, vq_raw_tile*, vq_raw_tile**) override { return false; }
};

vq_ptr<vq_raw_tile> rawOfSize(IntPair size)
{
    auto raw = vq_ptr<vq_raw_tile>::adopt(vq_raw_tile::create());
    raw->allocate(100, size);
    raw->setCompression(7);
    return raw;
}

TEST(ZoomLayer, FitRawTileTable)
{
    // 1000 x 600 with 256 tiles: remainders 232 and 88.
    auto level = makeLevel(IntPair(1000, 600), IntPair(256, 256), IntPair(256, 256), IntPair(256, 256));
    auto full = rawOfSize(IntPair(256, 256));
    vq_ptr<vq_raw_tile> out;
    EXPECT_TRUE(level->fitRawTile(false, false, full.get(), out));
    EXPECT_EQ(out.get(), full.get());
    EXPECT_FALSE(level->fitRawTile(true, false, full.get(), out)); // no decoder
    auto decoder = vq_ptr<vq_tileDecoder_base>(new CroppingDecoder());
    level->setTileDecoder(decoder.get());
    ASSERT_TRUE(level->fitRawTile(true, false, full.get(), out));
    EXPECT_EQ(out->getSize(), IntPair(232, 256));
    ASSERT_TRUE(level->fitRawTile(true, true, full.get(), out));
    EXPECT_EQ(out->getSize(), IntPair(232, 88));
    auto fitting = rawOfSize(IntPair(256, 88));
    ASSERT_TRUE(level->fitRawTile(false, true, fitting.get(), out));
    EXPECT_EQ(out.get(), fitting.get());
    level->setStrictRawSize(true);
    EXPECT_FALSE(level->fitRawTile(true, false, full.get(), out));
    level->setCropEdgeTiles(false);
    ASSERT_TRUE(level->fitRawTile(true, true, full.get(), out));
    EXPECT_EQ(out.get(), full.get());
}

TEST(ZoomLayer, PassedRawTilesMarkTheirTilesSaved)
{
    auto base = makeLevel(IntPair(512, 512), IntPair(256, 256), IntPair(256, 256), IntPair(256, 256));
    ASSERT_TRUE(base->createPyramid(false));
    auto out = RecordingOutput::make();
    out->acceptRaw = true;
    for (vq_zoom_layer* l = base.get(); l != nullptr; l = l->getNextLayer())
        l->setOutput(out.get());
    auto raw = rawOfSize(IntPair(256, 256));
    auto tile = makeRgbTile(0, 0, 1, 256, 256);
    ASSERT_TRUE(base->addTile(tile.get(), raw.get()));
    EXPECT_TRUE(tile->isSaved());
    EXPECT_EQ(out->rawTiles, 1);
    auto noData = vq_ptr<vq_raw_tile>::adopt(vq_raw_tile::create());
    auto other = makeRgbTile(1, 0, 1, 256, 256);
    ASSERT_TRUE(base->addTile(other.get(), noData.get()));
    EXPECT_FALSE(other->isSaved());
    EXPECT_EQ(out->rawTiles, 1);
    EXPECT_FALSE(base->addTile(nullptr, raw.get()));
}

TEST(ZoomLayer, SourceTileShapesGiveTheSamePyramid)
{
    const IntPair image(1000, 600);
    PyramidRun reference = runPyramid(image, IntPair(256, 256));
    for (IntPair source : {IntPair(512, 256), IntPair(128, 128), IntPair(256, 512), IntPair(1024, 1024)}) {
        PyramidRun r = runPyramid(image, source);
        ASSERT_EQ(r.output->tiles.size(), reference.output->tiles.size()) << source.first << "x" << source.second;
        for (const auto& [key, expected] : reference.output->tiles) {
            auto it = r.output->tiles.find(key);
            ASSERT_NE(it, r.output->tiles.end()) << key.x << "," << key.y << "," << key.level;
            EXPECT_EQ(it->second.count, 1);
            EXPECT_EQ(it->second.size, expected.size) << key.x << "," << key.y << "," << key.level;
            EXPECT_TRUE(it->second.pixels == expected.pixels)
                << source.first << "x" << source.second << " tile " << key.x << "," << key.y << "," << key.level;
        }
    }
}

TEST(ZoomLayer, RetilingCutsWideTiles)
{
    // 512 x 256 tiles, minimum 256, maximum 640: each becomes two 256 x 256
    // tiles of the next level; a tile cut to 300 wide gives 256 and 44.
    auto base = makeLevel(IntPair(812, 256), IntPair(512, 256), IntPair(256, 256), IntPair(640, 640));
    ASSERT_TRUE(base->createPyramid(false));
    auto out = RecordingOutput::make();
    for (vq_zoom_layer* l = base.get(); l != nullptr; l = l->getNextLayer())
        l->setOutput(out.get());
    vq_zoom_layer* next = base->getNextLayer();
    EXPECT_EQ(next->getTileSize(), IntPair(256, 256));
    base->addTile(makeRgbTile(0, 0, base->getLevel(), 512, 256).get(), nullptr);
    base->addTile(makeRgbTile(1, 0, base->getLevel(), 300, 256).get(), nullptr);
    base->flushQuads();
    EXPECT_EQ(out->tiles.at(vq_tileKey(0, 0, next->getLevel())).size, IntPair(256, 256));
    EXPECT_EQ(out->tiles.at(vq_tileKey(1, 0, next->getLevel())).size, IntPair(256, 256));
    EXPECT_EQ(out->tiles.at(vq_tileKey(2, 0, next->getLevel())).size, IntPair(256, 256));
    EXPECT_EQ(out->tiles.at(vq_tileKey(3, 0, next->getLevel())).size, IntPair(44, 256));
}

TEST(ZoomLayer, RetilingYCbCrSplitsChroma)
{
    auto base = makeLevel(IntPair(1024, 256), IntPair(512, 256), IntPair(256, 256), IntPair(640, 640));
    ASSERT_TRUE(base->createPyramid(false));
    auto out = RecordingOutput::make();
    for (vq_zoom_layer* l = base.get(); l != nullptr; l = l->getNextLayer())
        l->setOutput(out.get());
    ASSERT_TRUE(base->addTile(makeYCbCrTile(0, 0, base->getLevel(), 512, 256, 2).get(), nullptr));
    base->flushQuads();
    const int32_t level = base->getNextLayer()->getLevel();
    ASSERT_EQ(out->tiles.count(vq_tileKey(1, 0, level)), 1u);
    EXPECT_EQ(out->tiles.at(vq_tileKey(1, 0, level)).format, 3);
    EXPECT_EQ(out->tiles.at(vq_tileKey(1, 0, level)).size, IntPair(256, 256));
}

} // namespace
