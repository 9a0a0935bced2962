// The PFF reader: files written by the PFF saver read back tile for tile,
// pixel for pixel against djpeg's decoding of the same tiles as the
// independent reader (check_pff.py) joins them; damaged files refused.
#include <gtest/gtest.h>

#include <cstring>
#include <functional>
#include <sstream>

#include "engine/base/raw_tile.h"
#include "engine/base/tile_decoder_base.h"
#include "jpeg/jpeg_stream_parser.h"
#include "readers/pff/pff_tile_loader.h"
#include "tests/outputs/pff/pff_fixture.h"

namespace {

using namespace pfftest;

std::string writeFile(const std::string& dir, const std::string& name, const Pyramid& p, int colourSpace,
                      int subsampling) {
    SaverFile f(dir, name);
    p.declare(*f.saver, {90}, colourSpace, subsampling);
    for (const Tile& t : p.tiles) EXPECT_TRUE(p.add(*f.saver, t));
    EXPECT_TRUE(f.saver->finish()) << f.saver->getFailure();
    f.close();
    return f.path;
}

vq_ptr<PFFTileLoader> open(const std::string& path) {
    vq_ptr<vq_stream> s;
    if (openReadStream(path.c_str(), s.put()) != 0) return nullptr;
    vq_ptr<vq_tileloader_base> loader;
    if (!createPFFTileLoader(s.get(), loader.put())) return nullptr;
    return vq_ptr<PFFTileLoader>(static_cast<PFFTileLoader*>(loader.get()));
}

// A binary PPM written by djpeg: width, height and RGB bytes.
struct Ppm {
    int w = 0, h = 0;
    std::string pixels;
};

Ppm readPpm(const std::string& path) {
    const std::string bytes = vqtest::readFile(path);
    std::istringstream in(bytes);
    std::string magic;
    int maxval = 0;
    Ppm p;
    in >> magic >> p.w >> p.h >> maxval;
    in.get();
    p.pixels = bytes.substr(static_cast<size_t>(in.tellg()));
    EXPECT_EQ(magic, "P6");
    EXPECT_EQ(p.pixels.size(), static_cast<size_t>(p.w) * p.h * 3);
    return p;
}

// Every tile loads and equals, pixel for pixel, djpeg's decoding of the
// tile as the independent reader joins it with its chunk.
void expectTilesEqualDjpeg(PFFTileLoader& loader, const std::string& file, const Pyramid& p,
                           const std::string& options) {
    const std::string dump = vqtest::scratchDir("pff_reader_dump");
    check(file, "--dump '" + dump + "' " + options);
    const int n = static_cast<int>(p.sizes.size()) - 1;
    for (const Tile& t : p.tiles) {
        SCOPED_TRACE("tile " + std::to_string(t.index));
        auto c = vq_ptr<imageContainer>::adopt(imageContainer::create());
        ASSERT_TRUE(loader.loadTile(t.x, t.y, n - t.level, 0, c.get(), vq_fmtRGB24));
        const Ppm ppm = readPpm(dump + "/tile_" + std::to_string(t.index) + ".ppm");
        ASSERT_EQ(c->getWidth(), ppm.w);
        ASSERT_EQ(c->getHeight(), ppm.h);
        const uint8_t* data = nullptr;
        int32_t step = 0;
        c->lockPixelsConst(&data, &step);
        int differing = 0;
        for (int y = 0; y < ppm.h; ++y)
            differing += std::memcmp(data + y * step, ppm.pixels.data() + size_t(y) * ppm.w * 3, size_t(ppm.w) * 3) != 0;
        c->unlockPixels();
        EXPECT_EQ(differing, 0);
    }
}

TEST(PffReader, RoundTripOfThreeLevels) {
    const std::string dir = vqtest::scratchDir("pff_reader_rt");
    const Pyramid p(1000, 800, 256);
    const std::string file = writeFile(dir, "rt.pff", p, 3, 4);
    auto loader = open(file);
    ASSERT_NE(loader, nullptr);
    EXPECT_EQ(loader->getTileCount(0), 21);
    EXPECT_EQ(loader->getTileSize(0), IntPair(256, 256));
    EXPECT_EQ(loader->getLevelSizes(0), (std::vector<IntPair>{{1000, 800}, {500, 400}, {250, 200}}));
    EXPECT_EQ(loader->getLevelTileCounts(0, 0), IntPair(4, 4));
    EXPECT_EQ(loader->getLevelTileCounts(1, 0), IntPair(2, 2));
    EXPECT_EQ(loader->getLevelTileCounts(2, 0), IntPair(1, 1));
    EXPECT_EQ(loader->getLevelTileCounts(3, 0), IntPair(0, 0));
    EXPECT_EQ(loader->getPixelFormat(0, 0), 3);
    EXPECT_EQ(loader->getSubsampling(0), 4);
    EXPECT_TRUE(loader->isRawYCbCr(0));
    expectTilesEqualDjpeg(*loader, file, p, "--pattern");

    // The last column's raw tile: a complete stream of the edge width, at
    // the nominal tile size.
    vq_ptr<vq_raw_tile> raw;
    ASSERT_TRUE(loader->loadRawTile(3, 0, 0, 0, raw.put()));
    EXPECT_EQ(raw->getSize(), IntPair(256, 256));
    JpegStreamParser parser;
    parser.readFrameHeader(raw->getData(), static_cast<uint32_t>(raw->getDataLength()));
    vq_ptr<vq_tileDecoder_base> decoder;
    ASSERT_TRUE(loader->createTileDecoder(decoder.put(), 0));
    vq_stream* s = nullptr;
    ASSERT_EQ(openMemoryStream(raw->getData(), static_cast<uint64_t>(raw->getDataLength()), &s), 0);
    auto stream = vq_ptr<vq_stream>::adopt(s);
    EXPECT_EQ(decoder->getTileDimensions(stream.get()), IntPair(232, 256));

    auto y = vq_ptr<imageContainer>::adopt(imageContainer::create());
    auto cb = vq_ptr<imageContainer>::adopt(imageContainer::create());
    auto cr = vq_ptr<imageContainer>::adopt(imageContainer::create());
    ASSERT_TRUE(loader->loadTileYCbCr(3, 3, 0, 0, y.get(), cb.get(), cr.get()));
    EXPECT_EQ(y->getWidth(), 232);
    EXPECT_EQ(y->getHeight(), 32);

    // No label, no second image, nothing outside the grid.
    EXPECT_FALSE(loader->loadRawTile(0, 0, -2, 0, raw.put()));
    EXPECT_FALSE(loader->loadRawTile(0, 0, 0, 1, raw.put()));
    EXPECT_FALSE(loader->loadRawTile(4, 0, 0, 0, raw.put()));
    EXPECT_FALSE(loader->isValidTile(0, 0, 0, 1));
    EXPECT_FALSE(loader->isValidTile(-1, 0, 0, 0));
    EXPECT_FALSE(loader->isValidTile(0, 2, 1, 0));
    EXPECT_TRUE(loader->isValidTile(1, 1, 1, 0));
}

TEST(PffReader, SingleLevelRgbFile) {
    const std::string dir = vqtest::scratchDir("pff_reader_single");
    const Pyramid p(200, 150, 256);
    const std::string file = writeFile(dir, "one.pff", p, 4, 1);
    auto loader = open(file);
    ASSERT_NE(loader, nullptr);
    EXPECT_EQ(loader->getTileCount(0), 1);
    EXPECT_EQ(loader->getLevelSizes(0), (std::vector<IntPair>{{200, 150}}));
    ASSERT_EQ(loader->levels.size(), 1u);
    EXPECT_EQ(loader->levels[0].grid, IntPair(1, 1));
    EXPECT_EQ(loader->levels[0].edge, IntPair(200, 150));
    EXPECT_EQ(loader->getPixelFormat(0, 0), 4);
    EXPECT_FALSE(loader->isRawYCbCr(0));
    expectTilesEqualDjpeg(*loader, file, p, "--pattern --subsampling 1");
}

void put32(std::string& b, size_t at, uint32_t v) {
    for (int k = 0; k < 4; ++k) b[at + k] = static_cast<char>(v >> (24 - 8 * k));
}
uint32_t get32(const std::string& b, size_t at) {
    uint32_t v = 0;
    for (int k = 0; k < 4; ++k) v = (v << 8) | static_cast<uint8_t>(b[at + k]);
    return v;
}
void put64(std::string& b, size_t at, uint64_t v) {
    put32(b, at, static_cast<uint32_t>(v >> 32));
    put32(b, at + 4, static_cast<uint32_t>(v));
}
uint64_t get64(const std::string& b, size_t at) { return (uint64_t{get32(b, at)} << 32) | get32(b, at + 4); }

TEST(PffReader, DamagedFilesAreRefusedAndHolesSkipped) {
    const std::string dir = vqtest::scratchDir("pff_reader_damage");
    const Pyramid p(600, 500, 128);
    const std::string good = vqtest::readFile(writeFile(dir, "good.pff", p, 3, 4));
    const size_t table = 1060 + get32(good, 116);
    const size_t n = p.tiles.size();
    ASSERT_EQ(get32(good, 124), n);
    struct Case {
        const char* what;
        std::function<void(std::string&)> damage;
    };
    const Case cases[] = {
        {"version 105", [](std::string& b) { put32(b, 8, 105); }},
        {"record length 21", [](std::string& b) { put32(b, 1040, 21); }},
        {"tile size 0", [](std::string& b) { put32(b, 108, 0); }},
        {"huge tile size", [](std::string& b) { put32(b, 108, 0xFFFFFFFF); }},
        {"tile count of the record", [](std::string& b) { put32(b, 1048, 0xFFFFFFFF); }},
        {"huge image", [](std::string& b) { put32(b, 1052, 0x7FFFFFFF), put32(b, 1056, 0x7FFFFFFF); }},
        {"huge pair count", [](std::string& b) { put32(b, 120, 0x7FFFFFFF); }},
        {"no pair", [](std::string& b) { put32(b, 120, 0); }},
        {"huge chunk block", [](std::string& b) { put32(b, 116, 0xFFFFFFF0); }},
        {"huge chunk count", [](std::string& b) { put32(b, 1060, 0x40000000); }},
        {"huge chunk length", [](std::string& b) { put32(b, 1064, 0xFFFFFFF0); }},
        {"tile shorter than 4 bytes", [&](std::string& b) { put64(b, table + 8, get64(b, table) + 2); }},
        {"end past the file", [&](std::string& b) { put64(b, table + 8 * (n - 1), b.size() + 1); }},
        {"decreasing ends",
         [&](std::string& b) {
             const uint64_t second = get64(b, table + 16);
             put64(b, table + 16, get64(b, table + 24));
             put64(b, table + 24, second);
         }},
        {"cut inside the table", [&](std::string& b) { b.resize(table + 8 * n / 2); }},
        {"cut inside the header", [](std::string& b) { b.resize(500); }},
    };
    for (const Case& c : cases) {
        std::string bytes = good;
        c.damage(bytes);
        const std::string path = dir + "/bad.pff";
        ASSERT_TRUE(vqtest::writeFile(path, bytes));
        EXPECT_EQ(open(path), nullptr) << c.what;
    }

    // A tile never written: it and the tile after it (whose start is not
    // known) are refused, every other tile reads.
    std::string bytes = good;
    put64(bytes, table + 8 * 5, 0);
    const std::string path = dir + "/hole.pff";
    ASSERT_TRUE(vqtest::writeFile(path, bytes));
    auto loader = open(path);
    ASSERT_NE(loader, nullptr);
    const int levels = static_cast<int>(p.sizes.size());
    for (const Tile& t : p.tiles) {
        auto c = vq_ptr<imageContainer>::adopt(imageContainer::create());
        EXPECT_EQ(loader->loadTile(t.x, t.y, levels - 1 - t.level, 0, c.get(), vq_fmtRGB24), t.index != 5 && t.index != 6)
            << t.index;
    }
}

} // namespace
