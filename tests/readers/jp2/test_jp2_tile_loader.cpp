// JP2 tile and strip loaders: tiles of every offered level against
// opj_decompress at the same reduction, reads from several threads, strips
// against the full decode, recorded tile-parts of unknown length, and the
// refusals.
#include <gtest/gtest.h>

#include <fcntl.h>
#include <unistd.h>

#include <algorithm>
#include <cstdlib>
#include <random>
#include <string>
#include <thread>
#include <vector>

#include "engine/base/imageContainer.h"
#include "engine/base/stream.h"
#include "readers/jp2/jp2_fixtures.h"
#include "readers/jp2/jp2_loader.h"
#include "support/test_env.h"

using namespace jp2test;

namespace {

vq_ptr<vq_stream> OpenFile(const std::string& path) {
    vq_ptr<vq_stream> stream;
    EXPECT_EQ(openReadStream(path.c_str(), stream.put()), 0) << path;
    return stream;
}

vq_ptr<vq_tileloader_base> TileLoaderOf(vq_stream* stream) {
    vq_ptr<vq_loader_base> loader;
    EXPECT_TRUE(createJ2KLoader(stream, loader.put()));
    vq_ptr<vq_tileloader_base> tiles;
    if (loader && !loader->getTileLoader(tiles.put()))
        return {};
    return tiles;
}

vq_ptr<vq_stripLoader_base> StripLoaderOf(vq_stream* stream) {
    vq_ptr<vq_loader_base> loader;
    EXPECT_TRUE(createJ2KLoader(stream, loader.put()));
    vq_ptr<vq_stripLoader_base> strips;
    if (loader && !loader->getStripLoader(strips.put()))
        return {};
    return strips;
}

// The visible pixels of an RGB container, row by row.
std::vector<uint8_t> PixelsOf(imageContainer* c) {
    std::vector<uint8_t> out(size_t(c->getWidth()) * c->getHeight() * 3);
    const uint8_t* px = nullptr;
    int32_t step = 0;
    c->lockPixelsConst(&px, &step);
    for (int y = 0; y < c->getHeight(); ++y)
        std::copy_n(px + ptrdiff_t(y) * step, c->getWidth() * 3, out.begin() + ptrdiff_t(y) * c->getWidth() * 3);
    c->unlockPixels();
    return out;
}

// Largest difference between an RGB block at (x0, y0) of the reference and
// the container's pixels (grey references stand for R = G = B).
int MaxDifference(const Pixels& ref, int x0, int y0, imageContainer* c) {
    const std::vector<uint8_t> got = PixelsOf(c);
    int worst = 0;
    for (int y = 0; y < c->getHeight(); ++y)
        for (int x = 0; x < c->getWidth(); ++x)
            for (int k = 0; k < 3; ++k) {
                const int want = ref.At(x0 + x, y0 + y, ref.channels == 1 ? 0 : k);
                const int have = got[(size_t(y) * c->getWidth() + x) * 3 + k];
                worst = std::max(worst, std::abs(want - have));
            }
    return worst;
}

struct TiledCase {
    const char* name;
    int width, height, components;
    const char* options;
    int tolerance;  // 0: lossless, exact
    int tileSize;   // output tile size
    int levels;     // levels offered
};

void PrintTo(const TiledCase& c, std::ostream* os) { *os << c.name; }

// Every tile of every offered level against the reference at that reduction.
void ExpectTilesMatch(vq_tileloader_base* loader, const std::string& dir, const std::string& jp2, bool grey,
                      int tolerance) {
    const std::vector<IntPair> sizes = loader->getLevelSizes(0);
    const IntPair t = loader->getTileSize(0);
    for (int level = 0; level < int(sizes.size()); ++level) {
        const Pixels ref = ReferenceDecode(dir, jp2, level, grey);
        ASSERT_GE(ref.width, sizes[level].first);
        ASSERT_GE(ref.height, sizes[level].second);
        const IntPair counts = loader->getLevelTileCounts(level, 0);
        EXPECT_EQ(counts, IntPair((sizes[level].first + t.first - 1) / t.first,
                                  (sizes[level].second + t.second - 1) / t.second));
        for (int y = 0; y < counts.second; ++y)
            for (int x = 0; x < counts.first; ++x) {
                vq_ptr<imageContainer> tile = vq_ptr<imageContainer>::adopt(imageContainer::create());
                ASSERT_TRUE(loader->loadTile(x, y, level, 0, tile.get(), vq_fmtRGB24))
                    << "level " << level << " tile " << x << "," << y;
                ASSERT_EQ(tile->getFormat(), vq_fmtRGB24);
                EXPECT_EQ(tile->getWidth(), std::min(t.first, sizes[level].first - x * t.first));
                EXPECT_EQ(tile->getHeight(), std::min(t.second, sizes[level].second - y * t.second));
                EXPECT_LE(MaxDifference(ref, x * t.first, y * t.second, tile.get()), tolerance)
                    << "level " << level << " tile " << x << "," << y;
            }
    }
}

class JP2TiledFiles : public ::testing::TestWithParam<TiledCase> {};

} // namespace

TEST_P(JP2TiledFiles, EveryTileOfEveryLevelEqualsTheReference) {
    const TiledCase& c = GetParam();
    const std::string dir = vqtest::scratchDir(std::string("jp2_tiles_") + c.name);
    const std::string jp2 = CompressJp2(dir, c.name, c.width, c.height, c.components, c.options);
    vq_ptr<vq_stream> stream = OpenFile(jp2);
    vq_ptr<vq_tileloader_base> loader = TileLoaderOf(stream.get());
    ASSERT_NE(loader, nullptr);
    EXPECT_EQ(loader->getTileSize(0), IntPair(c.tileSize, c.tileSize));
    EXPECT_EQ(int(loader->getLevelSizes(0).size()), c.levels);
    EXPECT_EQ(loader->getLevelSize(0, 0), IntPair(c.width, c.height));
    int total = 0;
    for (int l = 0; l < c.levels; ++l) {
        EXPECT_EQ(loader->getLevelSize(l, 0), IntPair(c.width >> l, c.height >> l));
        total += loader->getLevelTileCounts(l, 0).first * loader->getLevelTileCounts(l, 0).second;
    }
    EXPECT_EQ(loader->getTileCount(0), total);
    EXPECT_EQ(loader->getFileSize(), int64_t(vqtest::readFile(jp2).size()));
    ExpectTilesMatch(loader.get(), dir, jp2, c.components == 1, c.tolerance);
}

// Output tiles: 128 from 128 (assembled from 2 x 2 and 4 x 4 code-stream
// tiles at levels 1 and 2), 256 from 256, 256 cut from 1024 through the
// cache; layered files offer reduced levels only when the packet order puts
// the coarse resolutions first.
INSTANTIATE_TEST_SUITE_P(
    Files, JP2TiledFiles,
    ::testing::Values(TiledCase{"rgb53_t128", 700, 500, 3, "-t 128,128 -n 4", 0, 128, 3},
                      TiledCase{"grey53_t256", 600, 520, 1, "-t 256,256 -n 5", 0, 256, 2},
                      TiledCase{"rgb97_t1024", 1100, 1030, 3, "-t 1024,1024 -n 4 -I", 3, 256, 3},
                      TiledCase{"grey53_t1024", 1100, 1030, 1, "-t 1024,1024 -n 3", 0, 256, 2},
                      TiledCase{"rgb53_layers_rpcl", 300, 260, 3, "-t 128,128 -n 3 -r 20,5,1 -p RPCL", 0, 128, 2},
                      // Three layers in layer-major order: a reduced decoding
                      // would have to parse the finer packets, so only level 0.
                      TiledCase{"rgb53_layers_lrcp", 300, 260, 3, "-t 128,128 -n 3 -r 20,5,1", 0, 128, 1}),
    [](const ::testing::TestParamInfo<TiledCase>& i) { return std::string(i.param.name); });

TEST(JP2TileLoader, EightThreadsReadWhatOneThreadReads) {
    const std::string dir = vqtest::scratchDir("jp2_tiles_threads");
    const std::string jp2 = CompressJp2(dir, "threads", 900, 700, 3, "-t 512,512 -n 4");
    struct Key {
        int x, y, level;
    };
    std::vector<Key> keys;
    std::vector<std::vector<uint8_t>> single;
    {
        vq_ptr<vq_stream> stream = OpenFile(jp2);
        vq_ptr<vq_tileloader_base> loader = TileLoaderOf(stream.get());
        ASSERT_NE(loader, nullptr);
        ASSERT_EQ(loader->getLevelSizes(0).size(), 2u);
        for (int l = 0; l < 2; ++l)
            for (int y = 0; y < loader->getLevelTileCounts(l, 0).second; ++y)
                for (int x = 0; x < loader->getLevelTileCounts(l, 0).first; ++x) {
                    keys.push_back({x, y, l});
                    vq_ptr<imageContainer> tile = vq_ptr<imageContainer>::adopt(imageContainer::create());
                    ASSERT_TRUE(loader->loadTile(x, y, l, 0, tile.get(), vq_fmtRGB24));
                    single.push_back(PixelsOf(tile.get()));
                }
    }
    // Each thread reads every tile in its own order from one shared loader.
    vq_ptr<vq_stream> stream = OpenFile(jp2);
    vq_ptr<vq_tileloader_base> loader = TileLoaderOf(stream.get());
    ASSERT_NE(loader, nullptr);
    std::vector<std::vector<std::vector<uint8_t>>> got(8, std::vector<std::vector<uint8_t>>(keys.size()));
    std::vector<int> failures(8, 0);
    std::vector<std::thread> threads;
    for (int i = 0; i < 8; ++i)
        threads.emplace_back([&, i] {
            std::vector<size_t> order(keys.size());
            for (size_t k = 0; k < order.size(); ++k)
                order[k] = k;
            std::shuffle(order.begin(), order.end(), std::mt19937(unsigned(i) + 1));
            for (size_t k : order) {
                vq_ptr<imageContainer> tile = vq_ptr<imageContainer>::adopt(imageContainer::create());
                if (!loader->loadTile(keys[k].x, keys[k].y, keys[k].level, 0, tile.get(), vq_fmtRGB24))
                    ++failures[size_t(i)];
                else
                    got[size_t(i)][k] = PixelsOf(tile.get());
            }
        });
    for (std::thread& t : threads)
        t.join();
    for (int i = 0; i < 8; ++i) {
        EXPECT_EQ(failures[size_t(i)], 0) << "thread " << i;
        for (size_t k = 0; k < keys.size(); ++k)
            EXPECT_EQ(got[size_t(i)][k], single[k]) << "thread " << i << " tile " << keys[k].x << "," << keys[k].y
                                                    << " level " << keys[k].level;
    }
}

TEST(JP2TileLoader, TileArgumentsOutsideTheLevelsAreRefused) {
    const std::string dir = vqtest::scratchDir("jp2_tiles_args");
    const std::string jp2 = CompressJp2(dir, "args", 300, 200, 3, "-t 128,128 -n 3");
    vq_ptr<vq_stream> stream = OpenFile(jp2);
    vq_ptr<vq_tileloader_base> loader = TileLoaderOf(stream.get());
    ASSERT_NE(loader, nullptr);
    ASSERT_EQ(loader->getLevelSizes(0).size(), 2u);
    ASSERT_EQ(loader->getLevelTileCounts(0, 0), IntPair(3, 2));
    ASSERT_EQ(loader->getLevelTileCounts(1, 0), IntPair(2, 1));
    struct {
        int x, y, level, image;
    } refused[] = {{-1, 0, 0, 0}, {0, -1, 0, 0}, {0, 0, -1, 0}, {0, 0, 2, 0}, {3, 0, 0, 0},
                   {0, 2, 0, 0},  {2, 0, 1, 0},  {0, 1, 1, 0},  {0, 0, 0, 1}, {0, 0, 0, -1}};
    for (const auto& r : refused) {
        vq_ptr<imageContainer> tile = vq_ptr<imageContainer>::adopt(imageContainer::create());
        EXPECT_FALSE(loader->loadTile(r.x, r.y, r.level, r.image, tile.get(), vq_fmtRGB24))
            << r.x << "," << r.y << " level " << r.level << " image " << r.image;
        EXPECT_FALSE(loader->isValidTile(r.x, r.y, r.level, r.image));
    }
    EXPECT_FALSE(loader->loadTile(0, 0, 0, 0, nullptr, vq_fmtRGB24));
    // The stop flag fails every read until it is cleared.
    vq_ptr<imageContainer> tile = vq_ptr<imageContainer>::adopt(imageContainer::create());
    loader->lock();
    EXPECT_FALSE(loader->loadTile(0, 0, 0, 0, tile.get(), vq_fmtRGB24));
    loader->unlock();
    EXPECT_TRUE(loader->loadTile(1, 0, 1, 0, tile.get(), vq_fmtRGB24));
    EXPECT_EQ(tile->getWidth(), 150 - 128);
    EXPECT_EQ(tile->getHeight(), 100);
}

TEST(JP2StripLoader, StripsEqualTheFullDecode) {
    const std::string dir = vqtest::scratchDir("jp2_strips");
    struct {
        const char* name;
        int width, height, components;
        const char* options;
        bool tileLoader;  // whether a tile loader is offered as well
    } cases[] = {
        // Strips straddle bands of 128 rows; the last tile column is narrower.
        {"tiled", 300, 250, 3, "-t 128,128 -n 3", true},
        // An ordinary JP2: one tile of the whole (non-square) image.
        {"single", 333, 250, 3, "-n 4", false},
        {"grey", 200, 130, 1, "-t 64,64 -n 2", true},
        {"untiled_origin", 150, 97, 3, "-n 3 -d 7,5", false},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        const std::string jp2 = CompressJp2(dir, c.name, c.width, c.height, c.components, c.options);
        const Pixels ref = ReferenceDecode(dir, jp2, 0, c.components == 1);
        vq_ptr<vq_stream> stream = OpenFile(jp2);
        EXPECT_EQ(TileLoaderOf(stream.get()) != nullptr, c.tileLoader);
        vq_ptr<vq_stripLoader_base> strips = StripLoaderOf(stream.get());
        ASSERT_NE(strips, nullptr);
        EXPECT_EQ(strips->getImageSize(), IntPair(c.width, c.height));
        ASSERT_TRUE(strips->prepareStrips(64, vq_fmtRGB24));
        int rows = 0, done = 0;
        while (rows < c.height) {
            vq_ptr<imageContainer> strip = vq_ptr<imageContainer>::adopt(imageContainer::create());
            ASSERT_TRUE(strips->readNextStrip(&done, strip.get())) << "after row " << rows;
            ASSERT_EQ(strip->getWidth(), c.width);
            ASSERT_EQ(strip->getHeight(), std::min(64, c.height - rows));
            EXPECT_EQ(MaxDifference(ref, 0, rows, strip.get()), 0) << "strip at row " << rows;
            rows += strip->getHeight();
            EXPECT_EQ(done, rows);
        }
        vq_ptr<imageContainer> beyond = vq_ptr<imageContainer>::adopt(imageContainer::create());
        EXPECT_FALSE(strips->readNextStrip(&done, beyond.get()));
    }
}

TEST(JP2TileLoader, TilePartsOfUnknownLengthRunToTheEndOfTheCodestream) {
    const std::string dir = vqtest::scratchDir("jp2_psot0");
    const std::string jp2 = CompressJp2(dir, "psot", 256, 200, 3, "-t 128,128 -n 3");
    std::string bytes = vqtest::readFile(jp2);
    // The last tile-part says Psot 0: it runs to the end of the code-stream box.
    const size_t last = bytes.rfind(std::string("\xFF\x90", 2));
    ASSERT_NE(last, std::string::npos);
    bytes.replace(last + 6, 4, std::string(4, '\0'));
    const std::string changed = dir + "/psot0.jp2";
    ASSERT_TRUE(vqtest::writeFile(changed, bytes));
    const Pixels ref = ReferenceDecode(dir, jp2, 0, false);

    vq_ptr<vq_stream> stream = OpenFile(changed);
    vq_ptr<vq_tileloader_base> loader = TileLoaderOf(stream.get());
    ASSERT_NE(loader, nullptr);
    for (int y = 0; y < 2; ++y)
        for (int x = 0; x < 2; ++x) {
            vq_ptr<imageContainer> tile = vq_ptr<imageContainer>::adopt(imageContainer::create());
            ASSERT_TRUE(loader->loadTile(x, y, 0, 0, tile.get(), vq_fmtRGB24));
            EXPECT_EQ(MaxDifference(ref, x * 128, y * 128, tile.get()), 0) << x << "," << y;
        }
    vq_ptr<vq_stripLoader_base> strips = StripLoaderOf(stream.get());
    ASSERT_NE(strips, nullptr);
    ASSERT_TRUE(strips->prepareStrips(200, vq_fmtRGB24));
    vq_ptr<imageContainer> strip = vq_ptr<imageContainer>::adopt(imageContainer::create());
    int done = 0;
    ASSERT_TRUE(strips->readNextStrip(&done, strip.get()));
    EXPECT_EQ(MaxDifference(ref, 0, 0, strip.get()), 0);
}

TEST(JP2TileLoader, AFailedIndexPassFailsEveryTile) {
    const std::string dir = vqtest::scratchDir("jp2_bad_index");
    const std::string jp2 = CompressJp2(dir, "bad", 256, 200, 3, "-t 128,128 -n 3");
    std::string bytes = vqtest::readFile(jp2);
    // The third tile-part names tile 9 of a grid of 4.
    size_t sot = 0;
    for (int i = 0; i < 3; ++i) {
        sot = bytes.find(std::string("\xFF\x90", 2), sot + 1);
        ASSERT_NE(sot, std::string::npos);
    }
    bytes[sot + 4] = 0;
    bytes[sot + 5] = 9;
    const std::string changed = dir + "/bad_index.jp2";
    ASSERT_TRUE(vqtest::writeFile(changed, bytes));
    vq_ptr<vq_stream> stream = OpenFile(changed);
    vq_ptr<vq_tileloader_base> loader = TileLoaderOf(stream.get());
    ASSERT_NE(loader, nullptr);  // the header is sound
    for (int attempt = 0; attempt < 2; ++attempt)
        for (int y = 0; y < 2; ++y)
            for (int x = 0; x < 2; ++x) {
                vq_ptr<imageContainer> tile = vq_ptr<imageContainer>::adopt(imageContainer::create());
                EXPECT_FALSE(loader->loadTile(x, y, 0, 0, tile.get(), vq_fmtRGB24)) << x << "," << y;
            }
    vq_ptr<vq_stripLoader_base> strips = StripLoaderOf(stream.get());
    ASSERT_NE(strips, nullptr);
    EXPECT_FALSE(strips->prepareStrips(64, vq_fmtRGB24));
}

TEST(JP2TileLoader, CodestreamPastFourGibibytesDecodes) {
    const char* base = std::getenv("VQ_TEST_TMP");
    ASSERT_NE(base, nullptr);
    const std::string dir = vqtest::scratchDir("jp2_large");
    const std::string jp2 = CompressJp2(dir, "small", 300, 260, 3, "-t 128,128 -n 3");
    const std::string bytes = vqtest::readFile(jp2);
    const Pixels ref0 = ReferenceDecode(dir, jp2, 0, false);
    const Pixels ref1 = ReferenceDecode(dir, jp2, 1, false);
    // Signature, file type and header boxes as opj_compress wrote them, then
    // two boxes of 3 GiB each (holes in a sparse file; a single box may not
    // pass 4 GiB), then the code-stream box 6 GiB into the file.
    const size_t jp2c = bytes.find("jp2c");
    ASSERT_NE(jp2c, std::string::npos);
    const std::string head = bytes.substr(0, jp2c - 4);
    const std::string codestreamBox = bytes.substr(jp2c - 4);
    const uint64_t hole = uint64_t(3) << 30;
    const std::string skipHeader = Be32(uint32_t(hole)) + "skip";
    const std::string path = std::string(base) + "/jp2_large_sparse.jp2";
    const int fd = ::open(path.c_str(), O_CREAT | O_TRUNC | O_WRONLY, 0644);
    ASSERT_GE(fd, 0);
    const uint64_t codestreamAt = head.size() + 2 * hole;
    auto put = [&](const std::string& b, uint64_t at) { return ::pwrite(fd, b.data(), b.size(), off_t(at)) == ssize_t(b.size()); };
    const bool written = put(head, 0) && put(skipHeader, head.size()) && put(skipHeader, head.size() + hole) &&
                         put(codestreamBox, codestreamAt);
    ::close(fd);
    ASSERT_TRUE(written);

    {
        vq_ptr<vq_stream> stream = OpenFile(path);
        vq_ptr<vq_tileloader_base> loader = TileLoaderOf(stream.get());
        ASSERT_NE(loader, nullptr);
        EXPECT_EQ(loader->getFileSize(), int64_t(codestreamAt + codestreamBox.size()));
        ASSERT_EQ(loader->getLevelSizes(0).size(), 2u);
        for (int y = 0; y < 3; ++y)
            for (int x = 0; x < 3; ++x) {
                vq_ptr<imageContainer> tile = vq_ptr<imageContainer>::adopt(imageContainer::create());
                ASSERT_TRUE(loader->loadTile(x, y, 0, 0, tile.get(), vq_fmtRGB24));
                EXPECT_EQ(MaxDifference(ref0, x * 128, y * 128, tile.get()), 0);
            }
        vq_ptr<imageContainer> tile = vq_ptr<imageContainer>::adopt(imageContainer::create());
        ASSERT_TRUE(loader->loadTile(1, 1, 1, 0, tile.get(), vq_fmtRGB24));
        EXPECT_EQ(MaxDifference(ref1, 128, 128, tile.get()), 0);
        vq_ptr<vq_stripLoader_base> strips = StripLoaderOf(stream.get());
        ASSERT_NE(strips, nullptr);
        ASSERT_TRUE(strips->prepareStrips(260, vq_fmtRGB24));
        vq_ptr<imageContainer> strip = vq_ptr<imageContainer>::adopt(imageContainer::create());
        int done = 0;
        ASSERT_TRUE(strips->readNextStrip(&done, strip.get()));
        EXPECT_EQ(MaxDifference(ref0, 0, 0, strip.get()), 0);
    }
    ::unlink(path.c_str());
}

TEST(JP2TileLoader, FilesWithoutUsableTilesAreRefused) {
    const std::string dir = vqtest::scratchDir("jp2_tiles_refused");
    struct {
        const char* name;
        int width, height;
        const char* options;
    } cases[] = {
        {"non_square", 200, 200, "-t 128,64 -n 3"},
        {"single_non_square", 300, 200, "-n 3"},
        {"image_origin", 200, 200, "-t 64,64 -n 3 -d 3,5"},
    };
    for (const auto& c : cases) {
        const std::string jp2 = CompressJp2(dir, c.name, c.width, c.height, 3, c.options);
        vq_ptr<vq_stream> stream = OpenFile(jp2);
        EXPECT_EQ(TileLoaderOf(stream.get()), nullptr) << c.name;
        // The strip loader serves them.
        EXPECT_NE(StripLoaderOf(stream.get()), nullptr) << c.name;
    }
    // A bare code-stream is no JP2 file.
    const std::string bytes = GreyCodestream(dir, 64, 64);
    vq_ptr<vq_stream> stream;
    ASSERT_EQ(openMemoryStream(bytes.data(), bytes.size(), stream.put()), 0);
    EXPECT_EQ(TileLoaderOf(stream.get()), nullptr);
    EXPECT_EQ(StripLoaderOf(stream.get()), nullptr);
}

TEST(JP2TileLoader, PixelsFollowTheComponentCountWhateverTheColourBoxSays) {
    const std::string dir = vqtest::scratchDir("jp2_tiles_colour");
    struct {
        const char* name;
        int components;
        std::string colour;  // replaces the body of the enumerated colour box
        int format;
    } cases[] = {
        // An ICC profile (METH 2; four bytes stand for the profile) on RGB.
        {"icc_rgb", 3, std::string("\x02\x00\x00\x00\x00\x00\x00", 7), vq_fmtRGB24},
        // sYCC on a grey file: grey by the component count.
        {"sycc_grey", 1, std::string("\x01\x00\x00\x00\x00\x00\x12", 7), vq_fmtGray8},
        // RGB with alpha: the fourth component is dropped.
        {"rgba", 4, std::string("\x01\x00\x00\x00\x00\x00\x10", 7), vq_fmtRGB24},
        // Grey with alpha, and an ICC profile.
        {"grey_alpha", 2, std::string("\x02\x00\x00\x00\x00\x00\x00", 7), vq_fmtGray8},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        const std::string jp2 = CompressJp2(dir, c.name, 200, 150, c.components, "-t 64,64 -n 3");
        // The reference: every component decoded by opj_decompress as raw
        // planes, then the first three (or the first) as pixels.
        std::string log;
        const std::string raw = dir + "/" + c.name + "_reference.raw";
        ASSERT_EQ(vqtest::runCommand(vqtest::requireTool("opj_decompress") + " -i '" + jp2 + "' -o '" + raw + "' 2>&1",
                                     &log),
                  0)
            << log;
        const std::string planes = vqtest::readFile(raw);
        ASSERT_EQ(planes.size(), size_t(200) * 150 * c.components);
        Pixels ref;
        ref.width = 200;
        ref.height = 150;
        ref.channels = c.components >= 3 ? 3 : 1;
        ref.bytes.resize(size_t(200) * 150 * ref.channels);
        for (size_t k = 0; k < size_t(200) * 150; ++k)
            for (int ch = 0; ch < ref.channels; ++ch)
                ref.bytes[k * ref.channels + ch] = uint8_t(planes[size_t(ch) * 200 * 150 + k]);
        std::string bytes = vqtest::readFile(jp2);
        const size_t colr = bytes.find("colr");
        ASSERT_NE(colr, std::string::npos);
        ASSERT_EQ(bytes.substr(colr - 4, 4), Be32(15));  // an enumerated body of 7 bytes
        bytes.replace(colr + 4, 7, c.colour);
        const std::string changed = dir + "/" + c.name + "_colour.jp2";
        ASSERT_TRUE(vqtest::writeFile(changed, bytes));

        vq_ptr<vq_stream> stream = OpenFile(changed);
        vq_ptr<vq_tileloader_base> loader = TileLoaderOf(stream.get());
        ASSERT_NE(loader, nullptr);
        EXPECT_EQ(loader->getPixelFormat(0, 0), c.format);
        for (int y = 0; y < 3; ++y)
            for (int x = 0; x < 4; ++x) {
                vq_ptr<imageContainer> tile = vq_ptr<imageContainer>::adopt(imageContainer::create());
                ASSERT_TRUE(loader->loadTile(x, y, 0, 0, tile.get(), vq_fmtRGB24));
                EXPECT_EQ(MaxDifference(ref, x * 64, y * 64, tile.get()), 0) << x << "," << y;
            }
        // Asked for the file's own format, a grey file gives one channel.
        if (c.format == vq_fmtGray8) {
            vq_ptr<imageContainer> tile = vq_ptr<imageContainer>::adopt(imageContainer::create());
            ASSERT_TRUE(loader->loadTile(1, 1, 0, 0, tile.get(), vq_fmtGray8));
            ASSERT_EQ(tile->getFormat(), vq_fmtGray8);
            const uint8_t* px = nullptr;
            int32_t step = 0;
            tile->lockPixelsConst(&px, &step);
            int worst = 0;
            for (int y = 0; y < 64; ++y)
                for (int x = 0; x < 64; ++x)
                    worst = std::max(worst, std::abs(int(px[ptrdiff_t(y) * step + x]) - ref.At(64 + x, 64 + y, 0)));
            tile->unlockPixels();
            EXPECT_EQ(worst, 0);
        }
        vq_ptr<vq_stripLoader_base> strips = StripLoaderOf(stream.get());
        ASSERT_NE(strips, nullptr);
        ASSERT_TRUE(strips->prepareStrips(150, vq_fmtRGB24));
        vq_ptr<imageContainer> strip = vq_ptr<imageContainer>::adopt(imageContainer::create());
        int done = 0;
        ASSERT_TRUE(strips->readNextStrip(&done, strip.get()));
        EXPECT_EQ(MaxDifference(ref, 0, 0, strip.get()), 0);
    }
}
