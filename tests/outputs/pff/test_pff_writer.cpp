// The PFF writer: header chunks, the file's bytes as the independent reader
// (check_pff.py) rebuilds them, tiles in any order with and without
// workers, the temporary file, failures and the output adapter.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <random>
#include <sys/stat.h>
#include <unistd.h>

#include "engine/pyramid/zoom_layer.h"
#include "engine/pyramid/zoom_tile.h"
#include "outputs/output_factories.h"
#include "outputs/pff/pff_output.h"
#include "tests/outputs/pff/pff_fixture.h"

namespace {

using namespace pfftest;
using Bytes = std::vector<uint8_t>;
using Key = vq_pff_saver::ChunkKey;

bool exists(const std::string& path) {
    struct stat st;
    return ::stat(path.c_str(), &st) == 0;
}

int64_t sizeOf(const std::string& path) {
    struct stat st;
    return ::stat(path.c_str(), &st) == 0 ? st.st_size : -1;
}

bool contains(const Bytes& b, const Bytes& part) {
    return std::search(b.begin(), b.end(), part.begin(), part.end()) != b.end();
}

uint64_t tableEntry(const std::string& file, int64_t tablePosition, int i) {
    const std::string bytes = vqtest::readFile(file);
    uint64_t v = 0;
    for (int k = 0; k < 8; ++k) v = (v << 8) | static_cast<uint8_t>(bytes[tablePosition + 8 * i + k]);
    return v;
}

TEST(PffWriter, HeaderChunkBytes) {
    struct Case {
        int colourSpace, subsampling;
        size_t length;
        Bytes app, frame;
        int dqt, dht;
    };
    const Bytes jfif{0xFF, 0xE0, 0x00, 0x10, 0x4A, 0x46, 0x49, 0x46, 0x00, 0x01, 0x01, 0x00, 0x00, 0x01, 0x00, 0x01, 0x00, 0x00};
    const Bytes adobe{0xFF, 0xEE, 0x00, 0x0E, 'A', 'd', 'o', 'b', 'e', 0x00, 0x64, 0, 0, 0, 0, 0};
    const Case cases[] = {
        {3, 4, 611, jfif, {0xFF, 0xC0, 0x00, 0x11, 0x08, 0x01, 0x00, 0x01, 0x00, 0x03, 0x01, 0x22, 0x00, 0x02, 0x11, 0x01, 0x03, 0x11, 0x01}, 2, 4},
        // The library's own sampling when the code sets none.
        {3, 5, 611, jfif, {0xFF, 0xC0, 0x00, 0x11, 0x08, 0x01, 0x00, 0x01, 0x00, 0x03, 0x01, 0x22, 0x00, 0x02, 0x11, 0x01, 0x03, 0x11, 0x01}, 2, 4},
        {3, 2, 611, jfif, {0xFF, 0xC0, 0x00, 0x11, 0x08, 0x01, 0x00, 0x01, 0x00, 0x03, 0x01, 0x21, 0x00, 0x02, 0x11, 0x01, 0x03, 0x11, 0x01}, 2, 4},
        // RGB chunks: one table for all, ids R, G, B, and an Adobe segment.
        {4, 1, 324, adobe, {0xFF, 0xC0, 0x00, 0x11, 0x08, 0x01, 0x00, 0x01, 0x00, 0x03, 82, 0x11, 0x00, 71, 0x11, 0x00, 66, 0x11, 0x00}, 1, 2},
        {4, 5, 324, adobe, {0xFF, 0xC0, 0x00, 0x11, 0x08, 0x01, 0x00, 0x01, 0x00, 0x03, 82, 0x11, 0x00, 71, 0x11, 0x00, 66, 0x11, 0x00}, 1, 2},
    };
    for (const Case& c : cases) {
        for (int quality : {20, 80, 100}) {
            SCOPED_TRACE("colour space " + std::to_string(c.colourSpace) + " subsampling " + std::to_string(c.subsampling) +
                         " q" + std::to_string(quality));
            vq_pff_saver::HeaderChunk chunk;
            ASSERT_TRUE(vq_pff_saver::buildHeaderChunk(Key{quality, 256, 256}, c.colourSpace, c.subsampling, chunk));
            const Bytes& b = chunk.bytes;
            EXPECT_EQ(b.size(), c.length);
            EXPECT_EQ(Bytes(b.begin(), b.begin() + 2), (Bytes{0xFF, 0xD8}));
            EXPECT_EQ(Bytes(b.begin() + 2, b.begin() + 2 + c.app.size()), c.app);
            EXPECT_EQ(Bytes(b.end() - 2, b.end()), (Bytes{0xFF, 0xDA}));
            EXPECT_TRUE(contains(b, c.frame));
            int dqt = 0, dht = 0;
            for (size_t i = 2; i + 4 < b.size(); i += 2 + ((b[i + 2] << 8) | b[i + 3])) {
                dqt += b[i + 1] == 0xDB;
                dht += b[i + 1] == 0xC4;
            }
            EXPECT_EQ(dqt, c.dqt);
            EXPECT_EQ(dht, c.dht);
            EXPECT_FALSE(contains(b, c.colourSpace == 3 ? adobe : jfif));
        }
    }
}

TEST(PffWriter, FileMatchesTheFormatWithChunksPerQuality) {
    const std::string dir = vqtest::scratchDir("pff_format");
    const Pyramid p(1000, 800, 256);
    SaverFile f(dir, "q.pff");
    p.declare(*f.saver, {80, 85, 90});
    // Numbered in the order quality, height, width.
    const std::vector<std::pair<Key, int>> numbers = {
        {{80, 232, 32}, 0},  {{80, 256, 32}, 1},  {{80, 232, 256}, 2}, {{80, 256, 256}, 3}, {{85, 244, 144}, 4},
        {{85, 256, 144}, 5}, {{85, 244, 256}, 6}, {{85, 256, 256}, 7}, {{90, 250, 200}, 8}};
    for (const Tile& t : p.tiles) ASSERT_TRUE(p.add(*f.saver, t)) << t.index;
    ASSERT_EQ(f.saver->headerChunks().size(), numbers.size());
    for (const auto& [key, number] : numbers) {
        const auto it = f.saver->headerChunks().find(key);
        ASSERT_NE(it, f.saver->headerChunks().end()) << key.quality << " " << key.width << "x" << key.height;
        EXPECT_EQ(it->second.number, number);
    }
    ASSERT_TRUE(f.saver->finish()) << f.saver->getFailure();
    f.close();
    const std::string report = check(f.path,
                                     "--pattern --qualities 80,85,90 --keys "
                                     "80:232x32,80:256x32,80:232x256,80:256x256,85:244x144,85:256x144,85:244x256,"
                                     "85:256x256,90:250x200");
    EXPECT_NE(report.find("tiles 21 chunks 9 levels 3"), std::string::npos) << report;
}

// Every order and worker count gives the same bytes; the same tile twice
// keeps the first copy.
TEST(PffWriter, TileOrderAndWorkersGiveIdenticalFiles) {
    const std::string dir = vqtest::scratchDir("pff_order");
    const Pyramid p(700, 500, 64);
    ASSERT_EQ(p.tiles.size(), 121u);
    std::vector<Tile> reverse(p.tiles.rbegin(), p.tiles.rend());
    std::vector<Tile> shuffled = p.tiles;
    std::mt19937 rng(29);
    std::shuffle(shuffled.begin(), shuffled.end(), rng);
    std::vector<Tile> twice = shuffled;
    twice.insert(twice.begin() + 60, shuffled.begin(), shuffled.begin() + 30);
    struct Run {
        const char* name;
        const std::vector<Tile>* order;
        int workers;
    };
    const Run runs[] = {{"inorder", &p.tiles, 0},   {"reverse", &reverse, 0},   {"shuffled", &shuffled, 0},
                        {"twice", &twice, 0},       {"reverse3", &reverse, 3},  {"shuffled3", &shuffled, 3},
                        {"twice2", &twice, 2}};
    std::string first;
    for (const Run& run : runs) {
        SCOPED_TRACE(run.name);
        const Workers workers(run.workers);
        SaverFile f(dir, std::string(run.name) + ".pff");
        p.declare(*f.saver, {75}, 4, 1);
        const std::string temporary = f.saver->temporaryPath();
        EXPECT_EQ(temporary.rfind("opath"), temporary.rfind('/') + 1) << temporary;
        EXPECT_TRUE(exists(temporary));
        for (size_t i = 0; i < run.order->size(); ++i) {
            ASSERT_TRUE(p.add(*f.saver, (*run.order)[i]));
            // Without workers, the tiles before tile 0 all wait in the
            // temporary file and nothing follows the fixed part yet.
            if (run.workers == 0 && run.order == &reverse && i == reverse.size() - 2) {
                EXPECT_GT(sizeOf(temporary), 0);
                EXPECT_EQ(sizeOf(f.path), 1060 + 4 + f.saver->headerChunks().size() * (4 + 324) + 8 * 121);
            }
        }
        ASSERT_TRUE(f.saver->finish()) << f.saver->getFailure();
        EXPECT_LE(f.saver->workersStarted(), run.workers);
        if (run.workers > 0) {
            EXPECT_GE(f.saver->workersStarted(), 1);
        }
        EXPECT_FALSE(exists(temporary));
        f.close();
        const std::string bytes = vqtest::readFile(f.path);
        if (first.empty()) {
            first = bytes;
            // RGB tiles decode to their own colours only with the Adobe segment.
            const std::string report = check(f.path, "--pattern --subsampling 1");
            EXPECT_NE(report.find("tiles 121 chunks"), std::string::npos) << report;
        } else {
            EXPECT_TRUE(bytes == first) << "differs from the file written in order";
        }
    }
}

TEST(PffWriter, RefusalsFailuresAndTheTemporaryFile) {
    const std::string dir = vqtest::scratchDir("pff_fail");
    {
        // No tile: nothing is reported as written.
        SaverFile f(dir, "empty.pff");
        Pyramid(300, 200, 256).declare(*f.saver, {80});
        const std::string temporary = f.saver->temporaryPath();
        EXPECT_TRUE(exists(temporary));
        EXPECT_FALSE(f.saver->finish());
        EXPECT_EQ(f.saver->getFailure(), "no tile was written");
        EXPECT_FALSE(exists(temporary));
        f.close();
        EXPECT_EQ(sizeOf(f.path), 0);
    }
    {
        const Pyramid p(1000, 800, 256);
        SaverFile f(dir, "refuse.pff");
        p.declare(*f.saver, {80});
        EXPECT_FALSE(f.saver->addTile(0, 0, 2, patternTile(0, 300, 256).get()));   // wider than a tile
        EXPECT_FALSE(f.saver->addTile(0, 0, 7, patternTile(0, 256, 256).get()));   // undeclared level
        EXPECT_FALSE(f.saver->addTile(4, 0, 2, patternTile(0, 232, 256).get()));   // outside the grid
        EXPECT_FALSE(f.saver->addTile(0, 0, 2, patternTile(0, 100, 100).get()));   // a size no chunk has
        // The corner tile of the base level, at its edge size.
        EXPECT_TRUE(f.saver->addTile(3, 3, 2, patternTile(15, 232, 32).get()));
        const std::string temporary = f.saver->temporaryPath();
        EXPECT_GT(sizeOf(temporary), 0);
        f.saver->abort();
        EXPECT_FALSE(exists(temporary));
    }
    for (int workers : {0, 2}) {
        // Y/Cb/Cr tiles cannot be encoded while the saver's subsampling is
        // the undetermined code 5: the tile is not recorded and finish fails.
        SCOPED_TRACE(workers);
        const Workers w(workers);
        const Pyramid p(200, 100, 256);
        SaverFile f(dir, "failed" + std::to_string(workers) + ".pff");
        p.declare(*f.saver, {80}, 3, 5);
        auto y = vq_ptr<imageContainer>::adopt(imageContainer::create());
        auto cb = vq_ptr<imageContainer>::adopt(imageContainer::create());
        auto cr = vq_ptr<imageContainer>::adopt(imageContainer::create());
        ASSERT_TRUE(y->create(vq_fmtPlaneY, 200, 100, false) && cb->create(vq_fmtPlaneCb, 100, 50, false) &&
                    cr->create(vq_fmtPlaneCr, 100, 50, false));
        EXPECT_EQ(f.saver->addTileYCbCr(0, 0, 0, y.get(), cb.get(), cr.get(), 4), workers > 0);
        EXPECT_FALSE(f.saver->finish());
        EXPECT_EQ(f.saver->getFailure(), "a tile could not be encoded");
        f.close();
        const int64_t table = 1060 + 4 + 4 + 611;
        EXPECT_EQ(sizeOf(f.path), table + 8);
        EXPECT_EQ(tableEntry(f.path, table, 0), 0u);
    }
    {
        // The same Y/Cb/Cr tile with a subsampling set is written and decodes.
        const Pyramid p(200, 100, 256);
        SaverFile f(dir, "planes.pff");
        p.declare(*f.saver, {80}, 3, 4);
        // Full-resolution planes of the pattern by the JFIF equations.
        auto y = vq_ptr<imageContainer>::adopt(imageContainer::create());
        auto cb = vq_ptr<imageContainer>::adopt(imageContainer::create());
        auto cr = vq_ptr<imageContainer>::adopt(imageContainer::create());
        ASSERT_TRUE(y->create(vq_fmtPlaneY, 200, 100, false) && cb->create(vq_fmtPlaneCb, 200, 100, false) &&
                    cr->create(vq_fmtPlaneCr, 200, 100, false));
        uint8_t *py, *pb, *pr;
        int32_t sy, sb, sr;
        y->lockPixels(&py, &sy);
        cb->lockPixels(&pb, &sb);
        cr->lockPixels(&pr, &sr);
        for (int j = 0; j < 100; ++j)
            for (int i = 0; i < 200; ++i) {
                uint8_t c[3];
                patternPixel(0, i, j, c);
                const double r = c[0], g = c[1], b = c[2];
                py[j * sy + i] = static_cast<uint8_t>(std::lround(0.299 * r + 0.587 * g + 0.114 * b));
                pb[j * sb + i] = static_cast<uint8_t>(std::lround(128 - 0.168736 * r - 0.331264 * g + 0.5 * b));
                pr[j * sr + i] = static_cast<uint8_t>(std::lround(128 + 0.5 * r - 0.418688 * g - 0.081312 * b));
            }
        y->unlockPixels();
        cb->unlockPixels();
        cr->unlockPixels();
        EXPECT_TRUE(f.saver->addTileYCbCr(0, 0, 0, y.get(), cb.get(), cr.get(), 1));
        ASSERT_TRUE(f.saver->finish()) << f.saver->getFailure();
        f.close();
        check(f.path, "--pattern");
    }
}

vq_ptr<vq_zoom_layer> chain(int w, int h, int tile) {
    vq_ptr<vq_zoom_layer> base = vq_ptr<vq_zoom_layer>::adopt(vq_zoom_layer::create());
    base->setTileSize(IntPair(tile, tile));
    base->setMinTileSize(IntPair(tile, tile));
    base->setMaxTileSize(IntPair(tile, tile));
    base->setImageSize(IntPair(w, h));
    EXPECT_TRUE(base->createPyramid(true));
    return base;
}

TEST(PffOutput, NamesDefaultsAndAWholePyramid) {
    vq_ptr<vq_zoomoutput_base> made;
    ASSERT_TRUE(createKestrixPffOutput(made.put()));
    auto* out = dynamic_cast<vq_kestrixpff_output*>(made.get());
    ASSERT_NE(out, nullptr);
    EXPECT_EQ(out->fileName("/a/pic.PFF"), "/a/pic.PFF");
    EXPECT_EQ(out->fileName("/a/pic.Pff"), "/a/pic.Pff");
    EXPECT_EQ(out->fileName("/a/pic"), "/a/pic.pff");
    EXPECT_EQ(out->fileName(".pff"), ".pff.pff");
    EXPECT_EQ(out->getOutputOption(), 0);
    EXPECT_FALSE(out->acceptsRawTiles());
    EXPECT_FALSE(out->acceptsYCbCrTiles());
    EXPECT_FALSE(out->finish());  // no file

    // Through the adapter with its defaults (subsampling 4, YCbCr): every
    // level below the base is declared and every tile lands in its place.
    const std::string dir = vqtest::scratchDir("pff_output");
    ASSERT_TRUE(out->setOutputPath(dir + "/pic", ".jpg"));
    auto base = chain(600, 500, 128);
    out->setBaseLayer(base.get());
    const Pyramid p(600, 500, 128);
    std::vector<vq_zoom_layer*> levels;
    for (vq_zoom_layer* l = base.get(); l != nullptr; l = l->getNextLayer())
        if (!l->isRetiling()) levels.push_back(l);
    ASSERT_EQ(levels.size(), p.sizes.size());
    for (const Tile& t : p.tiles) {
        vq_ptr<vq_zoom_tile_base> tile;
        createZoomTile(&tile);
        ASSERT_NE(tile, nullptr);
        tile->setKey(vq_tileKey(t.x, t.y, t.level));
        tile->setContainer(patternTile(t.index, t.w, t.h).get());
        ASSERT_TRUE(out->saveTile(tile.get())) << t.index;
        EXPECT_TRUE(tile->isSaved());
    }
    EXPECT_TRUE(out->finish()) << out->getErrors();
    made.reset();
    const std::string report = check(dir + "/pic.pff", "--pattern --subsampling 4");
    EXPECT_NE(report.find("tiles 29 chunks"), std::string::npos) << report;
}

} // namespace
