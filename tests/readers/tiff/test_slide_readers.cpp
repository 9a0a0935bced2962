// SVS, pyramid TIFF and Leica SCN slides: directory classification,
// magnification, complete raw tiles, decoded tiles, extra images, SCN
// regrouping, concurrent reads and the slide readers' LZW decoder.
#include <gtest/gtest.h>

#include <cstring>
#include <random>
#include <thread>

#include "engine/base/imageContainer.h"
#include "engine/base/raw_tile.h"
#include "readers/tiff/lzw_decoder.h"
#include "readers/tiff/scn_namespace.h"
#include "readers/tiff/svs_reader.h"
#include "engine/base/tile_decoder_base.h"
#include "engine/base/vq_global.h"
#include "j2k/j2k_fixtures.h"
#include "support/test_env.h"
#include "tests/jpeg/jpeg_fixtures.h"
#include "tests/readers/tiff/slide_fixture.h"

using namespace slidetest;
using namespace tifftest;

namespace {

vq_ptr<SVSTileLoader> openSlide(MemorySource& src) {
    vq_ptr<vq_tileloader_base> r;
    if (!createSVSRawTileLoader(src.stream.get(), r.put())) return {};
    return vq_ptr<SVSTileLoader>(static_cast<SVSTileLoader*>(r.get()));
}

} // namespace

TEST(SlideReader, OpenerRefusesNullAndNonTiff) {
    vq_ptr<vq_tileloader_base> r;
    EXPECT_FALSE(createSVSRawTileLoader(nullptr, r.put()));
    auto src = source(toBytes("not a tiff file at all"));
    EXPECT_FALSE(createSVSRawTileLoader(src->stream.get(), nullptr));
    EXPECT_FALSE(createSVSRawTileLoader(src->stream.get(), r.put()));
    // A first directory that is a strip image gives no level 0.
    TiffBuilder b;
    DirSpec strip;
    strip.width = strip.height = 4;
    strip.rowsPerStrip = 4;
    strip.pieces = {rgb(4, 4, 1)};
    addDir(b, strip);
    auto s2 = source(b.bytes());
    EXPECT_FALSE(createSVSRawTileLoader(s2->stream.get(), r.put()));
    // JPEG 2000 slides (either tag) open; the raw reader hands out their
    // stored code-streams.
    for (int compression : {33003, 33005}) {
        TiffBuilder j;
        DirSpec d = rawLevel(16, 16, 16, compression, 1);
        addDir(j, d);
        auto s3 = source(j.bytes());
        vq_ptr<SVSRawTileLoader> raw;
        ASSERT_TRUE(openSVSRawTileLoader(s3->stream.get(), raw.put()));
        vq_ptr<vq_raw_tile> t;
        ASSERT_TRUE(raw->loadRawTile(0, 0, 0, 0, t.put()));
        EXPECT_EQ(t->getCompression(), 33003);
        EXPECT_EQ(Bytes(t->getData(), t->getData() + t->getDataLength()), d.pieces[0]);
    }
}

// A slide level of lossless opj_compress code-streams (32 x 32 tiles over a
// 48 x 40 image) decodes tile by tile, edge tiles cropped, with both kinds of
// JPEG 2000 decoder; every tile equals its part of the picture.
TEST(SlideReader, JpegTwoThousandTilesDecode) {
    const std::string dir = vqtest::scratchDir("slide_j2k_tiles");
    const int w = 48, h = 40, tile = 32;
    const Bytes picture = rgb(2 * tile, 2 * tile, 9);
    DirSpec d;
    d.width = w;
    d.height = h;
    d.tileWidth = d.tileHeight = tile;
    d.compression = 33003;
    for (int ty = 0; ty < 2; ++ty)
        for (int tx = 0; tx < 2; ++tx) {
            std::string ppm = "P6\n32 32\n255\n";
            for (int y = 0; y < tile; ++y)
                ppm.append(reinterpret_cast<const char*>(picture.data()) + ((ty * tile + y) * 2 * tile + tx * tile) * 3,
                           tile * 3);
            const std::string path = dir + "/tile.ppm";
            vqtest::writeFile(path, ppm);
            d.pieces.push_back(toBytes(j2ktest::Compress(dir, path, "-n 3")));
        }
    for (int kind : {0, 2}) {
        vq_ptr<vq_global_base> settings;
        getGlobal(settings.put());
        settings->setJ2KDecoder(kind);
        TiffBuilder b;
        addDir(b, d);
        auto src = source(b.bytes());
        vq_ptr<SVSTileLoader> r = openSlide(*src);
        ASSERT_NE(r, nullptr);
        vq_ptr<vq_tileDecoder_base> decoder;
        EXPECT_TRUE(r->createTileDecoder(decoder.put(), 0));
        for (int ty = 0; ty < 2; ++ty)
            for (int tx = 0; tx < 2; ++tx) {
                imageContainer out;
                ASSERT_TRUE(r->loadTile(tx, ty, 0, 0, &out, vq_fmtRGB24)) << kind << " " << tx << "," << ty;
                const int vw = tx ? w - tile : tile, vh = ty ? h - tile : tile;
                ASSERT_EQ(out.getWidth(), vw);
                ASSERT_EQ(out.getHeight(), vh);
                const uint8_t* px = nullptr;
                int32_t step = 0;
                out.lockPixelsConst(&px, &step);
                for (int y = 0; y < vh; ++y)
                    EXPECT_EQ(0, std::memcmp(px + y * step, picture.data() + ((ty * tile + y) * 2 * tile + tx * tile) * 3,
                                             size_t(vw) * 3))
                        << kind << " tile " << tx << "," << ty << " row " << y;
                out.unlockPixels();
            }
    }
    vq_ptr<vq_global_base> settings;
    getGlobal(settings.put());
    settings->setJ2KDecoder(0);
}

TEST(SlideReader, Magnification) {
    struct Case {
        const char* description;
        std::vector<uint32_t> xres;
        uint16_t unit;
        int expected;
    } cases[] = {
        {"Aperio |AppMag = 40|MPP = 0.25", {}, 0, 40},
        {"Aperio |AppMag = |x", {}, 0, 0},
        {"", {40000, 1}, 3, 40},
        {"", {40000, 1}, 2, 0},
        {"", {250000, 1}, 3, 0},
        {"", {20000, 1}, 3, 20},
    };
    for (const Case& c : cases) {
        TiffBuilder b;
        DirSpec d = rawLevel(8, 8, 16, 1, 1);
        if (*c.description) d.extra.push_back(ascii(270, c.description));
        if (!c.xres.empty()) {
            d.extra.push_back(rationals(282, c.xres));
            d.extra.push_back(rationals(283, c.xres));
            d.extra.push_back(shorts(296, {c.unit}));
        }
        addDir(b, d);
        auto src = source(b.bytes());
        auto r = openSlide(*src);
        ASSERT_TRUE(r) << c.description;
        EXPECT_EQ(r->getMagnification(0), c.expected) << c.description << " " << (c.xres.empty() ? 0 : c.xres[0]);
    }
}

TEST(SlideReader, DirectoryClassification) {
    for (bool lzwFirst : {false, true}) {
        TiffBuilder b;
        addDir(b, rawLevel(64, 48, 16, 1, 1));
        DirSpec thumb = jpegStrips(16, 16, 16, 5, "-quality 80", nullptr);
        DirSpec lzwLabel;
        lzwLabel.width = lzwLabel.height = 8;
        lzwLabel.rowsPerStrip = 8;
        lzwLabel.compression = 5;
        lzwLabel.pieces = {lzwEncode(rgb(8, 8, 3), false)};
        lzwLabel.extra = {longs(254, {1})};
        if (lzwFirst) addDir(b, lzwLabel);
        addDir(b, thumb);
        addDir(b, rawLevel(32, 24, 16, 1, 2));
        addDir(b, rawLevel(16, 12, 16, 1, 3));
        addDir(b, rawLevel(8, 6, 16, 1, 4));
        if (!lzwFirst) addDir(b, lzwLabel);
        DirSpec macro = jpegStrips(16, 16, 16, 9, "-quality 80", nullptr);
        macro.extra = {longs(254, {9})};
        addDir(b, macro);
        auto src = source(b.bytes());
        auto r = openSlide(*src);
        ASSERT_TRUE(r);
        EXPECT_EQ(r->getLevelSizes(0).size(), 4u);
        EXPECT_EQ(r->getLevelSize(3, 0), IntPair(8, 6));
        EXPECT_EQ(r->isValidTile(0, 0, -1, 0), !lzwFirst) << "thumbnail only when the first strip image is JPEG";
        // The first strip image is only ever the thumbnail candidate.
        EXPECT_EQ(r->isValidTile(0, 0, -2, 0), !lzwFirst);
        EXPECT_TRUE(r->isValidTile(0, 0, -3, 0));
        EXPECT_FALSE(r->isValidTile(0, 0, -4, 0));
        EXPECT_TRUE(r->isValidTile(3, 2, 0, 0));
        EXPECT_FALSE(r->isValidTile(4, 0, 0, 0));
        EXPECT_FALSE(r->isValidTile(0, 0, 4, 0));
        EXPECT_EQ(r->getTileCount(0), 12 + 4 + 1 + 1);
    }
}

TEST(SlideReader, DirectoryLoopStops) {
    TiffBuilder b;
    addDir(b, rawLevel(32, 32, 16, 1, 1));
    addDir(b, rawLevel(16, 16, 16, 1, 2));
    b.loopTo(0);
    auto src = source(b.bytes());
    auto r = openSlide(*src);
    ASSERT_TRUE(r);
    EXPECT_EQ(r->getLevelSizes(0).size(), 2u);
}

TEST(SlideReader, CompletedRawJpegTilesDecodeAlone) {
    TiffBuilder b;
    std::vector<SplitJpeg> parts;
    addDir(b, jpegLevel(40, 24, 16, 10, &parts));  // 3 x 2 tiles, edge 8 x 8
    auto src = source(b.bytes());
    auto r = openSlide(*src);
    ASSERT_TRUE(r);
    for (int i = 0; i < 6; ++i) {
        vq_ptr<vq_raw_tile> t;
        ASSERT_TRUE(r->loadRawTile(i % 3, i / 3, 0, 0, t.put()));
        const Bytes got(t->getData(), t->getData() + t->getDataLength());
        int sois = 0;
        for (size_t k = 0; k + 1 < got.size(); ++k) sois += got[k] == 0xFF && got[k + 1] == 0xD8;
        EXPECT_EQ(sois, 1) << i;
        // SOI, the tables body, then the tile without its SOI: nothing more.
        const size_t expected = 2 + (parts[i].tables.size() - 4) + (parts[i].abbreviated.size() - 2);
        EXPECT_EQ(got.size(), expected) << i;
        EXPECT_EQ(got[got.size() - 2], 0xFF);
        EXPECT_EQ(got.back(), 0xD9);
        EXPECT_EQ(t->getCompression(), 7);
        EXPECT_EQ(djpeg(got), djpeg(parts[i].full)) << i;
        vq_ptr<vq_raw_tile> stored;
        ASSERT_TRUE(r->loadRawTileAsStored(i % 3, i / 3, 0, 0, stored.put()));
        EXPECT_EQ(stored->getDataLength(), int(i % 2 ? parts[i].abbreviated.size() - 2 : parts[i].abbreviated.size()));
    }
    vq_ptr<vq_raw_tile> tables;
    ASSERT_TRUE(r->getJpegTables(0, 0, tables.put()));
    EXPECT_EQ(Bytes(tables->getData(), tables->getData() + tables->getDataLength()), parts[0].tables);
    EXPECT_EQ(tables->getSize(), IntPair(256, 256));
    vq_ptr<vq_raw_tile> none;
    EXPECT_FALSE(r->loadRawTile(0, 0, -1, 0, none.put())) << "level -1 is not a pyramid level";
    EXPECT_FALSE(r->loadRawTile(0, 0, 1, 0, none.put()));
}

TEST(SlideReader, TileKindFromTheTilesFrames) {
    // Only JPEG tiles with shared tables in YCbCr pass undecoded; the
    // subsampling is the frame header's whatever the tags say.
    struct Case {
        const char* name;
        int compression;
        const char* options;
        bool tables;
        bool raw;
        int subsampling;
    } cases[] = {
        {"4:2:0", 7, "-quality 80 -sample 2x2", true, true, 4},
        {"4:2:2", 7, "-quality 80 -sample 2x1", true, true, 2},
        {"4:4:4", 7, "-quality 80 -sample 1x1", true, true, 1},
        {"RGB frames", 7, "-quality 80 -rgb", true, false, 1},
        {"complete tiles, no tables", 7, "-quality 80 -sample 2x2", false, false, 4},
        {"LZW", 5, "", false, false, 5},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        TiffBuilder b;
        DirSpec level = c.compression == 5 ? rawLevel(32, 16, 16, 5, 3) : jpegLevel(32, 16, 16, 60, nullptr, c.options);
        if (c.compression == 7 && !c.tables) {
            level.tables.clear();
            for (int i = 0; i < 2; ++i) level.pieces[size_t(i)] = toBytes(makeJpeg(16, 16, 60 + i, c.options));
        }
        addDir(b, level);
        addDir(b, c.compression == 5 ? rawLevel(16, 8, 16, 5, 4) : jpegLevel(16, 8, 16, 70, nullptr, c.options));
        auto src = source(b.bytes());
        auto r = openSlide(*src);
        ASSERT_TRUE(r);
        EXPECT_EQ(r->hasRawTiles(0), c.raw);
        EXPECT_EQ(r->isRawYCbCr(0), c.raw);
        EXPECT_EQ(r->isJPEG(0), c.raw);
        EXPECT_EQ(r->getSubsampling(0), c.subsampling);
        EXPECT_TRUE(r->isRawCodecSupported(0) == (c.compression == 7));
        EXPECT_FALSE(r->hasRawTiles(1)) << "no such image";
        EXPECT_EQ(r->getSubsampling(-1), 5);
    }
}

TEST(SlideReader, YCbCrPlanesOfTilesAndEdgeTiles) {
    TiffBuilder b;
    std::vector<SplitJpeg> parts;
    addDir(b, jpegLevel(40, 24, 16, 10, &parts, "-quality 90 -sample 2x2"));  // 3 x 2 tiles, edge 8 x 8
    auto src = source(b.bytes());
    auto r = openSlide(*src);
    ASSERT_TRUE(r);
    struct Case {
        int x, y;
        IntPair luma, chroma;
    } cases[] = {{0, 0, {16, 16}, {8, 8}}, {2, 0, {8, 16}, {4, 8}}, {2, 1, {8, 8}, {4, 4}}};
    for (const Case& c : cases) {
        SCOPED_TRACE(std::to_string(c.x) + "," + std::to_string(c.y));
        vq_ptr<imageContainer> y = vq_ptr<imageContainer>::adopt(imageContainer::create()),
                               cb = vq_ptr<imageContainer>::adopt(imageContainer::create()),
                               cr = vq_ptr<imageContainer>::adopt(imageContainer::create());
        ASSERT_TRUE(r->loadTileYCbCr(c.x, c.y, 0, 0, y.get(), cb.get(), cr.get()));
        EXPECT_EQ(IntPair(y->getWidth(), y->getHeight()), c.luma);
        EXPECT_EQ(IntPair(cb->getWidth(), cb->getHeight()), c.chroma);
        EXPECT_EQ(IntPair(cr->getWidth(), cr->getHeight()), c.chroma);
        // djpeg's greyscale output of a YCbCr JPEG is its luma plane.
        const jpegtest::Pnm grey =
            jpegtest::parsePnm(jpegtest::runTool("djpeg", "-grayscale -pnm", toString(parts[size_t(c.y * 3 + c.x)].full)));
        Bytes want;
        for (int row = 0; row < c.luma.second; ++row)
            want.insert(want.end(), grey.pixels.begin() + row * 16, grey.pixels.begin() + row * 16 + c.luma.first);
        Bytes got(size_t(c.luma.first) * c.luma.second);
        ASSERT_TRUE(y->copyDataTo(got.data(), 0, c.luma.second, c.luma.first, c.luma.first));
        EXPECT_EQ(got, want);
    }
    vq_ptr<imageContainer> y = vq_ptr<imageContainer>::adopt(imageContainer::create());
    EXPECT_FALSE(r->loadTileYCbCr(0, 0, 1, 0, y.get(), y.get(), y.get())) << "no level 1";
}

TEST(SlideReader, LevelWithoutTablesUsesItsOwnTiles) {
    // Level 0 keeps JPEGTables, level 1 stores complete tiles: the tables of
    // one level are never applied to another.
    TiffBuilder b;
    std::vector<SplitJpeg> parts;
    addDir(b, jpegLevel(32, 16, 16, 20, &parts));
    DirSpec l1;
    l1.width = l1.height = 16;
    l1.tileWidth = l1.tileHeight = 16;
    l1.compression = 7;
    const std::string full = makeJpeg(16, 16, 30);
    l1.pieces = {toBytes(full)};
    addDir(b, l1);
    auto src = source(b.bytes());
    auto r = openSlide(*src);
    ASSERT_TRUE(r);
    vq_ptr<vq_raw_tile> t;
    ASSERT_TRUE(r->loadRawTile(0, 0, 1, 0, t.put()));
    EXPECT_EQ(toString(Bytes(t->getData(), t->getData() + t->getDataLength())), full);
    vq_ptr<vq_raw_tile> tables;
    EXPECT_FALSE(r->getJpegTables(1, 0, tables.put()));
}

TEST(SlideReader, ConcurrentReadsMatchSequential) {
    TiffBuilder b;
    addDir(b, jpegLevel(64, 64, 16, 40));
    addDir(b, rawLevel(32, 32, 16, 5, 50));
    auto src = source(b.bytes());
    auto r = openSlide(*src);
    ASSERT_TRUE(r);
    r->walkDirectories();
    struct Key { int x, y, level; };
    std::vector<Key> keys;
    for (int l = 0; l < 2; ++l)
        for (int y = 0; y < r->getLevelTileCounts(l, 0).second; ++y)
            for (int x = 0; x < r->getLevelTileCounts(l, 0).first; ++x) keys.push_back({x, y, l});
    auto bytesOf = [&](const Key& k) {
        vq_ptr<vq_raw_tile> t;
        if (!r->loadRawTile(k.x, k.y, k.level, 0, t.put())) return Bytes();
        return Bytes(t->getData(), t->getData() + t->getDataLength());
    };
    std::vector<Bytes> sequential;
    for (const Key& k : keys) sequential.push_back(bytesOf(k));
    std::vector<std::vector<Bytes>> parallel(8, std::vector<Bytes>(keys.size()));
    std::vector<std::thread> threads;
    for (int t = 0; t < 8; ++t)
        threads.emplace_back([&, t] {
            for (size_t i = 0; i < keys.size(); ++i) {
                const size_t k = (i + size_t(t) * 3) % keys.size();
                parallel[t][k] = bytesOf(keys[k]);
            }
        });
    for (auto& th : threads) th.join();
    for (int t = 0; t < 8; ++t)
        for (size_t k = 0; k < keys.size(); ++k) EXPECT_EQ(parallel[t][k], sequential[k]) << t << " " << k;
    for (const Bytes& s : sequential) EXPECT_FALSE(s.empty());
}

TEST(SlideReader, DecodedTilesWithEdgeCrops) {
    for (int compression : {1, 5, 7}) {
        TiffBuilder b;
        std::vector<Bytes> plain;
        std::vector<SplitJpeg> parts;
        addDir(b, compression == 7 ? jpegLevel(40, 24, 16, 60, &parts) : rawLevel(40, 24, 16, compression, 70, &plain));
        auto src = source(b.bytes());
        auto r = openSlide(*src);
        ASSERT_TRUE(r);
        for (int i = 0; i < 6; ++i) {
            vq_ptr<imageContainer> c = vq_ptr<imageContainer>::adopt(imageContainer::create());
            ASSERT_TRUE(r->loadTile(i % 3, i / 3, 0, 0, c.get(), 4)) << compression << " " << i;
            EXPECT_EQ(c->getWidth(), i % 3 == 2 ? 8 : 16);
            EXPECT_EQ(c->getHeight(), i / 3 == 1 ? 8 : 16);
            Bytes want;
            if (compression == 7) {
                jpegtest::Pnm p = jpegtest::parsePnm(djpeg(parts[i].full));
                want = toBytes(p.pixels);
            } else {
                want = plain[i];
            }
            Bytes got(size_t(c->getWidth()) * c->getHeight() * 3);
            ASSERT_TRUE(c->copyDataTo(got.data(), 0, c->getHeight(), c->getWidth(), c->getWidth() * 3));
            for (int y = 0; y < c->getHeight(); ++y)
                ASSERT_EQ(0, std::memcmp(got.data() + y * c->getWidth() * 3, want.data() + y * 16 * 3,
                                         size_t(c->getWidth()) * 3))
                    << compression << " tile " << i << " row " << y;
        }
        if (compression == 5) {
            vq_ptr<vq_raw_tile> t;
            ASSERT_TRUE(r->loadRawTile(2, 1, 0, 0, t.put()));
            EXPECT_EQ(Bytes(t->getData(), t->getData() + t->getDataLength()), plain[5]);
        }
    }
}

TEST(SlideReader, DamagedTilesAndUnknownCompressionFail) {
    // An uncompressed tile shorter than a full tile is copied only as far as
    // it goes; a level of an unknown compression is refused.
    TiffBuilder b;
    DirSpec d = rawLevel(16, 16, 16, 1, 1);
    d.pieces[0].resize(100);
    addDir(b, d);
    auto src = source(b.bytes());
    auto r = openSlide(*src);
    ASSERT_TRUE(r);
    vq_ptr<imageContainer> c = vq_ptr<imageContainer>::adopt(imageContainer::create());
    EXPECT_TRUE(r->loadTile(0, 0, 0, 0, c.get(), 4));

    TiffBuilder b2;
    DirSpec odd = rawLevel(16, 16, 16, 32773, 1);
    addDir(b2, odd);
    auto src2 = source(b2.bytes());
    auto r2 = openSlide(*src2);
    ASSERT_TRUE(r2);
    EXPECT_FALSE(r2->loadTile(0, 0, 0, 0, c.get(), 4));
}

namespace {

// A slide with a thumbnail and a macro of JPEG strips and an LZW label.
struct ExtraSlide {
    std::vector<SplitJpeg> thumbParts, macroParts;
    Bytes labelPixels;
    std::unique_ptr<MemorySource> src;
    vq_ptr<SVSTileLoader> reader;

    explicit ExtraSlide(bool predictor, const std::string& macroOptions = "-quality 85") {
        TiffBuilder b;
        addDir(b, rawLevel(32, 32, 16, 1, 1));
        addDir(b, jpegStrips(40, 32, 16, 100, "-quality 80 -sample 1x1", &thumbParts));
        DirSpec label;
        label.width = 10;
        label.height = 100;
        label.rowsPerStrip = 16;
        label.compression = 5;
        labelPixels = rgb(10, 100, 7);
        Bytes coded = labelPixels;
        if (predictor)
            for (int y = 0; y < 100; ++y)
                for (int x = 29; x >= 3; --x) coded[y * 30 + x] = uint8_t(coded[y * 30 + x] - coded[y * 30 + x - 3]);
        for (int y = 0; y < 100; y += 16)
            label.pieces.push_back(lzwEncode(Bytes(coded.begin() + y * 30, coded.begin() + std::min(100, y + 16) * 30), false));
        label.extra = {ascii(270, "label 10x100"), shorts(317, {uint16_t(predictor ? 2 : 1)})};
        addDir(b, label);
        DirSpec macro = jpegStrips(52, 40, 16, 200, macroOptions, &macroParts);
        macro.extra = {ascii(270, "macro 52x40")};
        addDir(b, macro);
        src = source(b.bytes());
        reader = openSlide(*src);
    }
};

} // namespace

TEST(SlideExtraImages, LzwLabelWithAndWithoutPredictor) {
    for (bool predictor : {false, true}) {
        ExtraSlide s(predictor);
        ASSERT_TRUE(s.reader);
        vq_ptr<vq_raw_tile> t;
        ASSERT_TRUE(s.reader->loadRawTile(5, 7, -2, 3, t.put()));
        EXPECT_EQ(t->getCompression(), 1);
        EXPECT_EQ(t->getSize(), IntPair(10, 100));
        EXPECT_EQ(Bytes(t->getData(), t->getData() + t->getDataLength()), s.labelPixels) << predictor;
        vq_ptr<imageContainer> c = vq_ptr<imageContainer>::adopt(imageContainer::create());
        ASSERT_TRUE(s.reader->loadTile(0, 0, -2, 0, c.get(), 4));
        EXPECT_EQ(c->getWidth(), 10);
        EXPECT_EQ(c->getHeight(), 100);
    }
}

TEST(SlideExtraImages, JpegStripMacroMergedOnCoefficients) {
    for (const char* options : {"-quality 85 -sample 1x1", "-quality 85 -sample 2x2"}) {
        ExtraSlide s(false, options);
        ASSERT_TRUE(s.reader);
        vq_ptr<vq_raw_tile> t;
        ASSERT_TRUE(s.reader->loadRawTile(0, 0, -3, 0, t.put()));
        EXPECT_EQ(t->getCompression(), 7);
        EXPECT_EQ(t->getSize(), IntPair(52, 40));
        const Bytes merged(t->getData(), t->getData() + t->getDataLength());
        jpegtest::Coefficients whole = jpegtest::readCoefficients(toString(merged));
        ASSERT_TRUE(whole.ok);
        EXPECT_EQ(whole.width, 52);
        EXPECT_EQ(whole.height, 40);
        for (size_t i = 0; i < s.macroParts.size(); ++i) {
            jpegtest::Coefficients part = jpegtest::readCoefficients(toString(s.macroParts[i].full));
            std::string why;
            EXPECT_TRUE(jpegtest::sameBlocks(part, whole, 0, int(i) * 2, &why)) << options << " strip " << i << why;
        }
        // The merged image decodes as one picture of the stacked strips.
        const jpegtest::Pnm p = jpegtest::parsePnm(djpeg(merged));
        EXPECT_EQ(p.width, 52);
        EXPECT_EQ(p.height, 40);
    }
}

TEST(SlideExtraImages, LevelsMinusOneToMinusFour) {
    ExtraSlide s(false);
    ASSERT_TRUE(s.reader);
    vq_ptr<imageContainer> c = vq_ptr<imageContainer>::adopt(imageContainer::create());
    ASSERT_TRUE(s.reader->loadTile(0, 0, -1, 0, c.get(), 4));
    EXPECT_EQ(c->getWidth(), 40);
    EXPECT_EQ(c->getHeight(), 32);
    ASSERT_TRUE(s.reader->loadTile(0, 0, -3, 0, c.get(), 4));
    EXPECT_EQ(c->getWidth(), 52);
    EXPECT_FALSE(s.reader->loadTile(0, 0, -4, 0, c.get(), 4));
    vq_ptr<vq_raw_tile> a, b2;
    ASSERT_TRUE(s.reader->loadThumbnail(a.put(), 0));
    ASSERT_TRUE(s.reader->loadThumbnail(b2.put(), 0));
    EXPECT_NE(a.get(), b2.get());
    EXPECT_EQ(a->getSize(), IntPair(40, 32));
    vq_ptr<vq_raw_tile> none;
    EXPECT_FALSE(s.reader->loadRawTile(0, 0, -1, 0, none.put()));
    EXPECT_FALSE(s.reader->loadRawTile(0, 0, -4, 0, none.put()));
}

TEST(SlideExtraImages, NonRgbStripImageRefused) {
    TiffBuilder b;
    addDir(b, rawLevel(16, 16, 16, 1, 1));
    addDir(b, rawLevel(8, 8, 8, 1, 2));
    DirSpec first;  // thumbnail candidate (ignored: no tables)
    first.width = first.height = 4;
    first.rowsPerStrip = 4;
    first.pieces = {rgb(4, 4, 1)};
    addDir(b, first);
    DirSpec label;  // a 4-sample label: bytes would not fit 3 per pixel
    label.width = label.height = 8;
    label.rowsPerStrip = 8;
    label.samples = 4;
    label.pieces = {pattern(8 * 8 * 4, 3)};
    label.extra = {longs(254, {1})};
    addDir(b, label);
    auto src = source(b.bytes());
    auto r = openSlide(*src);
    ASSERT_TRUE(r);
    EXPECT_TRUE(r->isValidTile(0, 0, -2, 0));
    vq_ptr<vq_raw_tile> t;
    EXPECT_FALSE(r->loadRawTile(0, 0, -2, 0, t.put()));
}

TEST(SlideExtraImages, OversizedStripsStopAtTheImage) {
    // A macro whose stored strips hold more bytes than 8 x 8 RGB pixels.
    TiffBuilder b;
    addDir(b, rawLevel(16, 16, 16, 1, 1));
    DirSpec thumb;
    thumb.width = thumb.height = 4;
    thumb.rowsPerStrip = 4;
    thumb.pieces = {rgb(4, 4, 1)};
    addDir(b, thumb);
    DirSpec macro;
    macro.width = macro.height = 8;
    macro.rowsPerStrip = 4;
    const Bytes big = pattern(300, 9);
    macro.pieces = {big, big};
    macro.extra = {longs(254, {9})};
    addDir(b, macro);
    auto src = source(b.bytes());
    auto r = openSlide(*src);
    ASSERT_TRUE(r);
    vq_ptr<vq_raw_tile> t;
    ASSERT_TRUE(r->loadRawTile(0, 0, -3, 0, t.put()));
    ASSERT_EQ(t->getDataLength(), 8 * 8 * 3);
    EXPECT_EQ(Bytes(t->getData(), t->getData() + 192), Bytes(big.begin(), big.begin() + 192));
}

namespace {

std::string scnXml(const std::string& images, const char* root = "scn") {
    return std::string("<?xml version=\"1.0\"?><") + root + " xmlns=\"" + kScnNamespaceUri + "\"><collection>" +
           images + "</collection></" + root + ">";
}

std::string scnImage(const char* objective, std::vector<std::array<int, 3>> dims, const char* tag = "image") {
    std::string s = std::string("<") + tag + ">";
    if (objective) s += std::string("<scanSettings><objectiveSettings><objective>") + objective +
                        "</objective></objectiveSettings></scanSettings>";
    s += "<pixels sizeX=\"1\" sizeY=\"1\">";
    for (auto& d : dims)
        s += "<dimension sizeX=\"" + std::to_string(d[0]) + "\" sizeY=\"" + std::to_string(d[1]) + "\" ifd=\"" +
             std::to_string(d[2]) + "\"/>";
    return s + "</pixels></" + tag + ">";
}

} // namespace

TEST(ScnReader, ImagesMacroAndMagnification) {
    struct Case {
        std::string xml;
        int images;
        int magnification;
        int levels;
        bool macro;
    } cases[] = {
        // ifd 0: macro overview 24 x 16; ifd 1-3: region pyramid.
        {scnXml(scnImage("20", {{64, 48, 1}, {32, 24, 2}, {16, 12, 3}}) + scnImage("0.5", {{24, 16, 0}})), 1, 20, 3, true},
        {scnXml(scnImage("19.6", {{64, 48, 1}})), 1, 20, 1, false},
        {scnXml(scnImage("19.4", {{64, 48, 1}, {32, 24, 2}}) + scnImage(nullptr, {{24, 16, 0}})), 1, 19, 2, true},
        {scnXml(scnImage("20", {{64, 48, 1}, {32, 24, 2}}, "IMAGE"), "SCN"), 1, 20, 2, false},
    };
    for (const Case& c : cases) {
        TiffBuilder b;
        std::vector<SplitJpeg> parts;
        DirSpec overview;
        overview.width = 24;
        overview.height = 16;
        overview.tileWidth = overview.tileHeight = 16;
        overview.compression = 7;
        overview.pieces = {toBytes(makeJpeg(16, 16, 1)), toBytes(makeJpeg(16, 16, 2))};
        overview.extra = {ascii(270, c.xml)};
        addDir(b, overview);
        addDir(b, rawLevel(64, 48, 16, 1, 10));
        addDir(b, rawLevel(32, 24, 16, 1, 20));
        addDir(b, rawLevel(16, 12, 16, 1, 30));
        auto src = source(b.bytes());
        auto r = openSlide(*src);
        ASSERT_TRUE(r) << c.xml;
        EXPECT_TRUE(r->isScnSlide());
        EXPECT_EQ(r->getImageCount(), c.images) << c.xml;
        EXPECT_EQ(r->getMagnification(0), c.magnification) << c.xml;
        EXPECT_EQ(r->getLevelSizes(0).size(), size_t(c.levels)) << c.xml;
        EXPECT_EQ(r->getLevelSize(0, 0), IntPair(64, 48));
        EXPECT_EQ(r->isValidTile(0, 0, -3, 0), c.macro);
        if (c.macro) {
            // A tiled JPEG macro becomes one JPEG of exactly its image size.
            vq_ptr<vq_raw_tile> t;
            ASSERT_TRUE(r->loadRawTile(0, 0, -3, 0, t.put()));
            EXPECT_EQ(t->getSize(), IntPair(24, 16));
            const jpegtest::Pnm p = jpegtest::parsePnm(djpeg(Bytes(t->getData(), t->getData() + t->getDataLength())));
            EXPECT_EQ(p.width, 24);
            EXPECT_EQ(p.height, 16);
        }
    }
}

TEST(ScnReader, FallbackRebuildsPyramidFromSizes) {
    TiffBuilder b;
    DirSpec first = rawLevel(20, 16, 16, 1, 1);
    first.extra = {ascii(270, std::string("<?xml version=\"1.0\"?><scn xmlns=\"") + kScnNamespaceUri + "\"><broken")};
    addDir(b, first);
    addDir(b, rawLevel(160, 120, 16, 1, 2));
    addDir(b, rawLevel(80, 60, 16, 1, 3));
    addDir(b, rawLevel(20, 15, 16, 1, 4));  // a quarter step
    auto src = source(b.bytes());
    auto r = openSlide(*src);
    ASSERT_TRUE(r);
    const std::vector<IntPair> levels = r->getLevelSizes(0);
    ASSERT_EQ(levels.size(), 3u);
    EXPECT_EQ(levels[0], IntPair(160, 120));
    EXPECT_EQ(levels[1], IntPair(80, 60));
    EXPECT_EQ(levels[2], IntPair(20, 15));
    // Only the directory that is not a level is offered as the macro.
    ASSERT_TRUE(r->isValidTile(0, 0, -3, 0));
    EXPECT_FALSE(r->isValidTile(0, 0, -2, 0));
}

// ---------------------------------------------------------------------------

namespace {

bool lzwRoundTrip(const Bytes& plain, bool swapPairs = false) {
    Bytes coded = lzwEncode(plain, false);
    if (swapPairs)
        for (size_t i = 0; i + 1 < coded.size(); i += 2) std::swap(coded[i], coded[i + 1]);
    coded.push_back(0);
    LzwWorkBuffers lzw;
    if (!lzw.prepare(int(plain.size()) + 64)) return false;
    if (!lzw.decode(coded.data(), uint32_t(coded.size() - 1), int(plain.size()), 1)) return false;
    return std::memcmp(lzw.data(), plain.data(), plain.size()) == 0 && lzw.decodedLength() == plain.size();
}

} // namespace

TEST(LzwDecoder, MatchesTheTestEncoder) {
    std::mt19937 rng(5);
    for (size_t n : {1u, 2u, 3u, 255u, 4096u, 70000u}) {
        Bytes random(n);
        for (auto& v : random) v = uint8_t(rng());
        EXPECT_TRUE(lzwRoundTrip(random)) << "random " << n;
    }
    EXPECT_TRUE(lzwRoundTrip(Bytes(200000, 0x41))) << "one long run";
    Bytes runs;
    for (int i = 0; i < 3000; ++i) runs.insert(runs.end(), size_t(rng() % 40 + 1), uint8_t(rng() % 4));
    EXPECT_TRUE(lzwRoundTrip(runs)) << "short runs";
    EXPECT_TRUE(lzwRoundTrip(Bytes{1, 2, 3}, true)) << "pairs already exchanged";
}

TEST(LzwDecoder, RefusesAndBoundsDamagedStreams) {
    // A stream starting with the literals 65 and 66 instead of Clear.
    Bytes notClear = {0x20, 0x90, 0x80, 0x00, 0x00};
    LzwWorkBuffers a;
    ASSERT_TRUE(a.prepare(16));
    EXPECT_FALSE(a.decode(notClear.data(), 4, 16, 1));
    // Output larger than the capacity is refused, not written past.
    Bytes big = lzwEncode(Bytes(5000, 7), false);
    big.push_back(0);
    LzwWorkBuffers b;
    ASSERT_TRUE(b.prepare(100));
    EXPECT_FALSE(b.decode(big.data(), uint32_t(big.size() - 1), 100, 1));
    // A stream cut short still yields what its whole words hold.
    Bytes plain = pattern(64, 3);
    Bytes cut = lzwEncode(plain, false);
    cut.resize(cut.size() / 2);
    cut.push_back(0);
    LzwWorkBuffers c;
    ASSERT_TRUE(c.prepare(64));
    EXPECT_TRUE(c.decode(cut.data(), uint32_t(cut.size() - 1), 64, 1));
    EXPECT_GT(c.decodedLength(), 0u);
    EXPECT_EQ(0, std::memcmp(c.data(), plain.data(), c.decodedLength()));
}
