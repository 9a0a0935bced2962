// The raw level with a decoder whose raw tiles carry text: a piece names its
// place in the 16-pixel grid, a merged tile lists its four members, so the
// tiles that reach the output show where every piece went.
#include <gtest/gtest.h>

#include <cstring>

#include "engine/tilepath/raw_zoom_layer.h"
#include "engine/base/tile_decoder_base.h"
#include "tests/engine/tilepath/tilepath_fixtures.h"

namespace {

using tilepathtest::RecordingOutput;

vq_ptr<vq_raw_tile> textTile(const std::string& text, IntPair size, int32_t compression = 7)
{
    vq_raw_tile* raw = nullptr;
    createRawTile(&raw);
    raw->allocate(static_cast<int32_t>(text.size()), size);
    std::memcpy(raw->getData(), text.data(), text.size());
    raw->setCompression(compression);
    return vq_ptr<vq_raw_tile>::adopt(raw);
}

std::string textOf(vq_raw_tile* raw)
{
    return std::string(reinterpret_cast<const char*>(raw->getData()), static_cast<size_t>(raw->getDataLength()));
}

class TextDecoder : public vq_tileDecoder_base {
public:
    static vq_ptr<TextDecoder> make()
    {
        auto* d = new TextDecoder();
        d->addRef();
        return vq_ptr<TextDecoder>::adopt(d);
    }
    IntPair getTileDimensions(vq_stream*) override { return IntPair(0, 0); }
    bool getDecoderFlag() override { return false; }
    bool isMcuAligned(vq_raw_tile* tile) override { return textOf(tile).rfind("unaligned", 0) != 0; }
    bool splitIntoTiles(int x, int y, vq_rawTileMap& cells, vq_raw_tile* tile) override
    {
        const IntPair s = tile->getSize();
        const int across = s.first / 16, down = s.second / 16;
        for (int i = 0; i < down; ++i)
            for (int j = 0; j < across; ++j) {
                const IntPair p(x * across + j, y * down + i);
                cells.emplace(p, textTile("p" + std::to_string(p.first) + "," + std::to_string(p.second),
                                          IntPair(16, 16)));
            }
        return true;
    }
    bool canSplitLeftRight(vq_raw_tile*) override { return true; }
    bool canSplitTopBottom(vq_raw_tile*) override { return true; }
    bool decodeTileYCbCr(const IntPair&, int, const uint8_t*, int32_t, imageContainer*, imageContainer*,
                         imageContainer*) override
    {
        return false;
    }
    bool decodeTile(const IntPair&, int, const uint8_t*, int32_t, imageContainer* dst) override
    {
        return dst->create(vq_fmtRGB24, 256, 256, true);
    }
    bool cropTile(vq_raw_tile* tile, vq_raw_tile** out, const IntPair& size) override
    {
        return handOut(textTile(textOf(tile), size), out);
    }
    bool splitTopBottom(vq_raw_tile*, vq_raw_tile**, vq_raw_tile**) override { return false; }
    bool splitLeftRight(vq_raw_tile*, vq_raw_tile**, vq_raw_tile**) override { return false; }
    bool rotateTile(vq_raw_tile*, int, vq_raw_tile**) override { return false; }
    bool mergeTiles(vq_raw_tile* tl, vq_raw_tile* tr, vq_raw_tile* bl, vq_raw_tile* br, vq_raw_tile** out) override
    {
        const IntPair s = tl->getSize();
        const std::string text = "[" + textOf(tl) + "|" + textOf(tr) + "|" + textOf(bl) + "|" + textOf(br) + "]";
        merges.push_back(text);
        return handOut(textTile(text, IntPair(2 * s.first, 2 * s.second)), out);
    }

    std::vector<std::string> merges;

private:
    static bool handOut(const vq_ptr<vq_raw_tile>& tile, vq_raw_tile** out)
    {
        *out = tile.get();
        (*out)->addRef();
        return true;
    }
};

// The 16-pixel pieces of a merged tile, laid out in a square of n x n.
void layOut(const std::string& text, size_t& at, int x, int y, int n, std::vector<std::string>& grid, int width)
{
    if (text[at] != '[') {
        const size_t end = text.find_first_of("|]", at);
        grid[static_cast<size_t>(y * width + x)] = text.substr(at, end - at);
        at = end;
        return;
    }
    const int h = n / 2;
    const int dx[4] = {0, h, 0, h}, dy[4] = {0, 0, h, h};
    for (int i = 0; i < 4; ++i) {
        ++at; // '[' or '|'
        layOut(text, at, x + dx[i], y + dy[i], h, grid, width);
    }
    ++at; // ']'
}

struct Chain {
    vq_ptr<TextDecoder> decoder = TextDecoder::make();
    vq_ptr<RecordingOutput> out = RecordingOutput::make();
    vq_ptr<vq_zoom_layer> pixels;
    vq_ptr<vq_raw_zoom_layer> raw;

    Chain(IntPair image, IntPair sourceTile)
    {
        out->acceptRaw = true;
        createZoomLayer(&pixels);
        pixels->setMinTileSize(IntPair(256, 256));
        pixels->setMaxTileSize(IntPair(256, 256));
        pixels->setImageSize(image);
        createRawZoomLayer(&raw);
        raw->setTileDecoder(decoder.get());
        raw->setImageSize(image);
        raw->setSourceTileSize(sourceTile);
        raw->setTargetTileSize(IntPair(256, 256));
        EXPECT_TRUE(raw->createPyramid());
        raw->setPixelLevel(pixels.get());
        raw->setPixelDecoder(decoder.get());
        pixels->setTileSize(raw->getLastTileSize());
        EXPECT_TRUE(pixels->createPyramid(false));
        pixels->setTileDecoder(decoder.get());
        for (vq_zoom_layer* l = pixels.get(); l != nullptr; l = l->getNextLayer())
            l->setOutput(out.get());
    }
    ~Chain()
    {
        raw->releaseChain();
        pixels->releaseChain();
    }
};

TEST(RawLevel, BuildsTheChainThatMakesSquareTiles)
{
    const struct {
        IntPair tile;
        std::vector<IntPair> sizes;
    } cases[] = {
        {{256, 128}, {{256, 128}, {16, 16}, {32, 32}, {64, 64}, {128, 128}, {256, 256}}},
        {{512, 256}, {{512, 256}, {16, 16}, {32, 32}, {64, 64}, {128, 128}, {256, 256}}},
        {{256, 256}, {{256, 256}}},
        {{128, 128}, {{128, 128}, {256, 256}}},
        {{260, 130}, {{260, 130}, {130, 130}, {260, 260}}},
    };
    for (const auto& c : cases) {
        vq_ptr<vq_raw_zoom_layer> raw;
        createRawZoomLayer(&raw);
        raw->setImageSize(IntPair(1000, 600));
        raw->setSourceTileSize(c.tile);
        raw->setTargetTileSize(IntPair(256, 256));
        ASSERT_TRUE(raw->createPyramid());
        std::vector<IntPair> sizes;
        int32_t expectedLevel = 0;
        for (vq_raw_zoom_layer* l = raw.get(); l != nullptr; l = l->getNext()) {
            sizes.push_back(l->getSourceTileSize());
            EXPECT_EQ(l->getLevel(), expectedLevel++);
        }
        EXPECT_EQ(sizes, c.sizes) << c.tile.first << "x" << c.tile.second;
        EXPECT_EQ(raw->getLastTileSize(), c.sizes.back());
        raw->releaseChain();
    }
}

void checkReshapedTiles(IntPair source);

TEST(RawLevel, ReshapedTilesHoldThePiecesOfTheirPlace)
{
    // Over 600 x 400: 38 x 25 pieces inside the image and 3 x 2 tiles of 256
    // at the end. Tiles of 240 x 112 (15 x 7 pieces) form 3 x 4 source tiles;
    // tiles of 512 x 256 reach a whole tile of 256 past the image.
    for (const IntPair source : {IntPair(240, 112), IntPair(512, 256)}) {
        SCOPED_TRACE(source.first);
        checkReshapedTiles(source);
    }
}

void checkReshapedTiles(IntPair source)
{
    Chain chain(IntPair(600, 400), source);
    for (int y = 0; y * source.second < 400; ++y)
        for (int x = 0; x * source.first < 600; ++x)
            ASSERT_TRUE(chain.raw->addRawTile(x, y, textTile("tile", source).get()));
    chain.raw->flushQuads();
    chain.pixels->flushQuads();

    std::map<vq_tileKey, std::vector<uint8_t>>& passed = chain.out->rawTileBytes;
    const int32_t base = chain.pixels->getLevel();
    ASSERT_EQ(passed.size(), 6u);
    for (const auto& [key, bytes] : passed) {
        ASSERT_EQ(key.level, base);
        ASSERT_LT(key.x, 3);
        ASSERT_LT(key.y, 2);
        const std::string text(bytes.begin(), bytes.end());
        std::vector<std::string> grid(256);
        size_t at = 0;
        layOut(text, at, 0, 0, 16, grid, 16);
        for (int i = 0; i < 16; ++i)
            for (int j = 0; j < 16; ++j) {
                const int px = key.x * 16 + j, py = key.y * 16 + i;
                if (px < 38 && py < 25) {
                    EXPECT_EQ(grid[static_cast<size_t>(i * 16 + j)],
                              "p" + std::to_string(px) + "," + std::to_string(py))
                        << "tile " << key.x << "," << key.y << " piece " << j << "," << i;
                }
            }
    }
}

TEST(RawLevel, EdgeGroupsRepeatTheirTopLeftTile)
{
    // A 3 x 2 grid of 16-pixel tiles: the group at column 2 has only its
    // top-left and bottom-left members.
    Chain chain(IntPair(48, 32), IntPair(16, 16));
    vq_raw_zoom_layer* raw = chain.raw.get();
    ASSERT_TRUE(raw->addRawTile(2, 0, textTile("A", IntPair(16, 16)).get()));
    ASSERT_TRUE(raw->addRawTile(2, 1, textTile("B", IntPair(16, 16)).get()));
    ASSERT_EQ(chain.decoder->merges.size(), 1u);
    EXPECT_EQ(chain.decoder->merges[0], "[A|A|B|A]");
    // Tiles past the grid are dropped, not grouped.
    EXPECT_TRUE(raw->addRawTile(3, 0, textTile("C", IntPair(16, 16)).get()));
    EXPECT_TRUE(raw->addRawTile(0, 2, textTile("D", IntPair(16, 16)).get()));
    raw->flushQuads();
    EXPECT_EQ(chain.decoder->merges.size(), 1u);
}

TEST(RawLevel, RefusesWhatItCannotPass)
{
    // A last raw level hands JPEG tiles only: a JPEG 2000 group is refused.
    Chain j2k(IntPair(512, 512), IntPair(256, 256));
    for (int i = 0; i < 3; ++i)
        EXPECT_TRUE(j2k.raw->addRawTile(i % 2, i / 2, textTile("j", IntPair(256, 256), 33003).get()));
    EXPECT_FALSE(j2k.raw->addRawTile(1, 1, textTile("j", IntPair(256, 256), 33003).get()));
    EXPECT_TRUE(j2k.out->rawTileBytes.empty());

    // A splitting level refuses tiles not aligned to 16 x 16 blocks, and no tile.
    Chain split(IntPair(512, 256), IntPair(256, 128));
    EXPECT_FALSE(split.raw->addRawTile(0, 0, textTile("unaligned", IntPair(256, 128)).get()));
    EXPECT_FALSE(split.raw->addRawTile(0, 0, nullptr));
    EXPECT_TRUE(split.raw->addRawTile(0, 0, textTile("tile", IntPair(256, 128)).get()));
}

} // namespace
