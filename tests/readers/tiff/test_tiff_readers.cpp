// TIFF and BigTIFF files through the TIFF reader: the printed report, tiled
// pyramids (plain, planar, JPEG with YCbCr planes and raw tiles, LZW), strip
// images cut into requested strips, RGBA sources and whole-image reads.
#include <gtest/gtest.h>

#include <atomic>
#include <cstdio>
#include <cstring>
#include <thread>
#include <vector>

#include "engine/base/imageContainer.h"
#include "engine/base/raw_tile.h"
#include "readers/tiff/tiff_reader.h"
#include "tests/jpeg/jpeg_fixtures.h"
#include "tests/readers/tiff/slide_fixture.h"

using namespace slidetest;
using namespace tifftest;

namespace {

struct Spec {
    int width = 0, height = 0;
    int tile = 0;            // 0: strips
    int rowsPerStrip = -1;   // -1: no RowsPerStrip entry
    int compression = 1;
    int photometric = 2;
    int samples = 3;
    int bits = 8;
    bool planar = false;
    std::vector<Bytes> pieces;
    Bytes tables;
    std::vector<Entry> extra;
};

void addDir(TiffBuilder& b, const Spec& s) {
    std::vector<uint32_t> offsets, counts;
    for (const Bytes& p : s.pieces) {
        offsets.push_back(uint32_t(b.addData(p)));
        counts.push_back(uint32_t(p.size()));
    }
    std::vector<Entry> e = {longs(256, {uint32_t(s.width)}), longs(257, {uint32_t(s.height)}),
                            shorts(258, std::vector<uint16_t>(size_t(s.samples), uint16_t(s.bits))),
                            shorts(259, {uint16_t(s.compression)}), shorts(262, {uint16_t(s.photometric)}),
                            shorts(277, {uint16_t(s.samples)}), shorts(284, {uint16_t(s.planar ? 2 : 1)})};
    if (s.tile) {
        e.push_back(longs(322, {uint32_t(s.tile)}));
        e.push_back(longs(323, {uint32_t(s.tile)}));
        e.push_back(longs(324, offsets));
        e.push_back(longs(325, counts));
    } else {
        e.push_back(longs(273, offsets));
        if (s.rowsPerStrip >= 0) e.push_back(longs(278, {uint32_t(s.rowsPerStrip)}));
        e.push_back(longs(279, counts));
    }
    if (!s.tables.empty()) e.push_back(bytes(347, 7, s.tables));
    for (const Entry& x : s.extra) e.push_back(x);
    b.addIfd(e);
}

int bytesPer(const Spec& s) { return s.samples * s.bits / 8; }

// Pixels of a whole image, and the file's pieces cut from them.
struct Picture {
    int width, height, bpp;
    Bytes pixels;
    Bytes region(int x, int y, int w, int h) const {  // zero outside the image
        Bytes out(size_t(w) * h * bpp, 0);
        for (int r = 0; r < h && y + r < height; ++r)
            for (int c = 0; c < w && x + c < width; ++c)
                std::memcpy(&out[(size_t(r) * w + c) * bpp], &pixels[(size_t(y + r) * width + x + c) * bpp], size_t(bpp));
        return out;
    }
};

Picture picture(int w, int h, int bpp, uint32_t seed) { return {w, h, bpp, pattern(size_t(w) * h * bpp, seed)}; }

Bytes encode(const Bytes& b, int compression) { return compression == 5 ? lzwEncode(b, false) : b; }

void tilePieces(Spec& s, const Picture& p) {
    for (int y = 0; y < s.height; y += s.tile)
        for (int x = 0; x < s.width; x += s.tile) s.pieces.push_back(encode(p.region(x, y, s.tile, s.tile), s.compression));
}

void stripPieces(Spec& s, const Picture& p) {
    const int rps = s.rowsPerStrip > 0 ? s.rowsPerStrip : s.height;
    for (int y = 0; y < s.height; y += rps)
        s.pieces.push_back(encode(p.region(0, y, s.width, std::min(rps, s.height - y)), s.compression));
}

vq_ptr<vq_loader_base> loader(MemorySource& src) {
    vq_ptr<vq_loader_base> l;
    EXPECT_TRUE(createTIFFLoader(src.stream.get(), l.put()));
    return l;
}

Bytes visible(imageContainer* c, int bpp) {
    Bytes out(size_t(c->getWidth()) * c->getHeight() * bpp);
    EXPECT_TRUE(c->copyDataTo(out.data(), 0, c->getHeight(), c->getWidth(), c->getWidth() * bpp));
    return out;
}

std::string report(vq_FileInfo* info) {
    char* text = nullptr;
    size_t size = 0;
    FILE* f = open_memstream(&text, &size);
    info->printReport(f);
    std::fclose(f);
    std::string s(text, size);
    std::free(text);
    return s;
}

} // namespace

TEST(TiffFileInfo, ReportLines) {
    struct Case {
        const char* name;
        Spec spec;
        bool big;
        std::string expected;
    };
    auto strip = [](int comp, int photo, int spp, int bits) {
        Spec s;
        s.width = 40;
        s.height = 30;
        s.rowsPerStrip = 16;
        s.compression = comp;
        s.photometric = photo;
        s.samples = spp;
        s.bits = bits;
        s.pieces = {Bytes(40 * 16 * 8, 1), Bytes(40 * 14 * 8, 1)};
        return s;
    };
    Spec tiled = strip(5, 1, 1, 8);
    tiled.tile = 16;
    tiled.pieces.assign(6, lzwEncode(Bytes(256, 9), false));
    Spec planar = strip(1, 2, 3, 8);
    planar.planar = true;
    planar.pieces.assign(6, Bytes(40 * 16, 1));
    std::vector<Case> cases = {
        {"rgb strips", strip(1, 2, 3, 8), false,
         "Image size is 40 x 30 pixels\n24-bit RGB format\n3 samples per pixel\n8 bits per sample\n16 rows per strip\n"
         "Image is uncompressed\n"},
        {"bigtiff grey lzw tiles", tiled, true,
         "BigTIFF format\nImage size is 40 x 30 pixels\n8-bit single channel format\n1 samples per pixel\n"
         "8 bits per sample\nLZW compression\n"},
        {"rgba", strip(1, 2, 4, 8), false,
         "Image size is 40 x 30 pixels\n32-bit RGBA format\n4 samples per pixel\n8 bits per sample\n16 rows per strip\n"
         "Image is uncompressed\n"},
        {"white is zero", strip(1, 0, 1, 8), false,
         "Image size is 40 x 30 pixels\n1 samples per pixel\n8 bits per sample\n16 rows per strip\nImage is uncompressed\n"},
        {"rgb48 packbits", strip(32773, 2, 3, 16), false,
         "Image size is 40 x 30 pixels\n48-bit RGB format\n3 samples per pixel\n16 bits per sample\n16 rows per strip\n"
         "PACKBITS compression\n"},
        {"grey16 deflate", strip(8, 1, 1, 16), false,
         "Image size is 40 x 30 pixels\n16-bit single channel format\n1 samples per pixel\n16 bits per sample\n"
         "16 rows per strip\nDeflate compression\n"},
        {"planar", planar, false,
         "Image size is 40 x 30 pixels\n24-bit RGB format\n3 samples per pixel\n8 bits per sample\n16 rows per strip\n"
         "3 separate planes\nImage is uncompressed\n"},
    };
    for (const Case& c : cases) {
        TiffBuilder b(c.big);
        addDir(b, c.spec);
        auto src = source(b.bytes());
        auto l = loader(*src);
        vq_ptr<vq_FileInfo> info;
        ASSERT_TRUE(l->getFileInfo(info.put())) << c.name;
        EXPECT_EQ(report(info.get()), c.expected) << c.name;
        EXPECT_EQ(src->stream->tell(), 0) << "the stream is rewound";
    }
    auto src = source(toBytes("plain text, not a TIFF"));
    vq_ptr<vq_FileInfo> none;
    EXPECT_FALSE(loader(*src)->getFileInfo(none.put()));
}

TEST(TiffFileInfo, RgbaFormatsAndLevels) {
    TiffBuilder b;
    Spec l0;
    l0.width = 64;
    l0.height = 48;
    l0.tile = 16;
    tilePieces(l0, picture(64, 48, 3, 1));
    addDir(b, l0);
    Spec stripDir;  // a label in strips never becomes a level
    stripDir.width = stripDir.height = 8;
    stripDir.rowsPerStrip = 8;
    stripDir.pieces = {Bytes(8 * 8 * 3, 1)};
    addDir(b, stripDir);
    Spec l1 = l0;
    l1.width = 32;
    l1.height = 24;
    l1.pieces.clear();
    tilePieces(l1, picture(32, 24, 3, 2));
    addDir(b, l1);
    Spec reduced = l1;  // marked as a reduced image: not a level
    reduced.extra = {longs(254, {1})};
    addDir(b, reduced);
    auto src = source(b.bytes());
    vq_ptr<vq_FileInfo> info;
    ASSERT_TRUE(loader(*src)->getFileInfo(info.put()));
    EXPECT_TRUE(info->isTiled());
    EXPECT_TRUE(info->hasPyramidLevels());
    ASSERT_EQ(info->getLevelCount(), 2);
    EXPECT_EQ(info->getLevelSizes()[1], IntPair(32, 24));
    EXPECT_EQ(info->getTileSize(), IntPair(16, 16));

    TiffBuilder rgba;
    Spec s;
    s.width = 5;
    s.height = 3;
    s.samples = 4;
    s.rowsPerStrip = 3;
    s.pieces = {pattern(60, 1)};
    addDir(rgba, s);
    auto src2 = source(rgba.bytes());
    ASSERT_TRUE(loader(*src2)->getFileInfo(info.put()));
    EXPECT_EQ(info->getPixelFormat(), 5);
    EXPECT_EQ(info->getPixelFormats(), (std::set<int>{4, 5}));
    EXPECT_FALSE(info->isTiled());
}

TEST(TiffTileLoader, PlainAndPlanarPyramids) {
    for (bool planar : {false, true}) {
        for (int compression : {1, 5}) {
            TiffBuilder b;
            std::vector<Picture> pics = {picture(100, 70, 3, 3), picture(50, 35, 3, 4)};
            for (const Picture& p : pics) {
                Spec s;
                s.width = p.width;
                s.height = p.height;
                s.tile = 32;
                s.compression = compression;
                s.planar = planar;
                if (!planar) {
                    tilePieces(s, p);
                } else {
                    for (int plane = 0; plane < 3; ++plane)
                        for (int y = 0; y < s.height; y += 32)
                            for (int x = 0; x < s.width; x += 32) {
                                Bytes rgbTile = p.region(x, y, 32, 32), one(32 * 32);
                                for (size_t i = 0; i < one.size(); ++i) one[i] = rgbTile[i * 3 + plane];
                                s.pieces.push_back(encode(one, compression));
                            }
                }
                addDir(b, s);
            }
            auto src = source(b.bytes());
            vq_ptr<vq_tileloader_base> t;
            ASSERT_TRUE(loader(*src)->getTileLoader(t.put()));
            EXPECT_EQ(t->getLevelTileCounts(0, 0), IntPair(4, 3));
            EXPECT_EQ(t->getLevelTileCounts(1, 0), IntPair(2, 2));
            EXPECT_TRUE(t->isValidTile(3, 2, 0, 0));
            EXPECT_FALSE(t->isValidTile(4, 0, 0, 0));
            EXPECT_FALSE(t->isValidTile(0, 0, -1, 0));
            EXPECT_FALSE(t->isValidTile(0, 0, 0, 1));
            EXPECT_FALSE(t->hasRawTiles(0));
            // Level 1, then level 0, then level 1 again: the directory follows.
            const int order[][3] = {{1, 1, 1}, {3, 2, 0}, {0, 0, 0}, {0, 1, 1}};
            for (const auto& o : order) {
                const int x = o[0], y = o[1], level = o[2];
                vq_ptr<imageContainer> c = vq_ptr<imageContainer>::adopt(imageContainer::create());
                ASSERT_TRUE(t->loadTile(x, y, level, 0, c.get(), 4)) << planar << compression;
                const int w = std::min(32, pics[level].width - x * 32), h = std::min(32, pics[level].height - y * 32);
                EXPECT_EQ(c->getWidth(), w);
                EXPECT_EQ(c->getHeight(), h);
                EXPECT_EQ(visible(c.get(), 3), pics[level].region(x * 32, y * 32, w, h))
                    << "planar " << planar << " compression " << compression << " tile " << x << "," << y << "@" << level;
            }
            vq_ptr<vq_raw_tile> raw;
            EXPECT_FALSE(t->loadRawTile(0, 0, 0, 0, raw.put()));
        }
    }
}

namespace {

struct JpegTiff {
    std::vector<SplitJpeg> parts;
    std::unique_ptr<MemorySource> src;
};

JpegTiff jpegTiledFile(const std::string& sample, int photometric) {
    JpegTiff f;
    TiffBuilder b;
    Spec s;
    s.width = 40;
    s.height = 24;
    s.tile = 16;
    s.compression = 7;
    s.photometric = photometric;
    for (int i = 0; i < 6; ++i) {
        SplitJpeg p = splitJpeg(makeJpeg(16, 16, 70 + i, "-quality 90 -sample " + sample));
        Bytes stored = p.abbreviated;
        if (i % 2) stored.erase(stored.begin(), stored.begin() + 2);
        s.pieces.push_back(stored);
        if (s.tables.empty()) s.tables = p.tables;
        f.parts.push_back(p);
    }
    if (photometric == 6) s.extra = {shorts(530, {2, 2})};
    addDir(b, s);
    f.src = source(b.bytes());
    return f;
}

} // namespace

TEST(TiffTileLoader, JpegTilesRawAndPlanes) {
    JpegTiff f = jpegTiledFile("2x2", 6);
    vq_ptr<vq_tileloader_base> t;
    ASSERT_TRUE(loader(*f.src)->getTileLoader(t.put()));
    EXPECT_TRUE(t->hasRawTiles(0));
    EXPECT_TRUE(t->isJPEG(0));
    EXPECT_EQ(t->getSubsampling(0), 4);
    ASSERT_TRUE(t->isRawYCbCr(0));
    for (int i = 0; i < 6; ++i) {
        vq_ptr<vq_raw_tile> raw;
        ASSERT_TRUE(t->loadRawTile(i % 3, i / 3, 0, 0, raw.put()));
        const Bytes got(raw->getData(), raw->getData() + raw->getDataLength());
        EXPECT_EQ(got.size(), 2 + (f.parts[i].tables.size() - 4) + (f.parts[i].abbreviated.size() - 2));
        EXPECT_EQ(djpeg(got), djpeg(f.parts[i].full)) << i;
        vq_ptr<vq_raw_tile> stored;
        ASSERT_TRUE(t->loadRawTileAsStored(i % 3, i / 3, 0, 0, stored.put()));
        EXPECT_EQ(size_t(stored->getDataLength()), f.parts[i].abbreviated.size() - (i % 2 ? 2 : 0));
    }
    vq_ptr<imageContainer> y = vq_ptr<imageContainer>::adopt(imageContainer::create()),
                           cb = vq_ptr<imageContainer>::adopt(imageContainer::create()),
                           cr = vq_ptr<imageContainer>::adopt(imageContainer::create());
    ASSERT_TRUE(t->loadTileYCbCr(2, 1, 0, 0, y.get(), cb.get(), cr.get()));
    EXPECT_EQ(IntPair(y->getWidth(), y->getHeight()), IntPair(8, 8));
    EXPECT_EQ(IntPair(cb->getWidth(), cb->getHeight()), IntPair(4, 4));
    vq_ptr<imageContainer> c = vq_ptr<imageContainer>::adopt(imageContainer::create());
    ASSERT_TRUE(t->loadTile(0, 1, 0, 0, c.get(), 4));
    EXPECT_EQ(IntPair(c->getWidth(), c->getHeight()), IntPair(16, 8));
    const jpegtest::Pnm p = jpegtest::parsePnm(djpeg(f.parts[3].full));
    Bytes want(16 * 8 * 3);
    std::memcpy(want.data(), p.pixels.data(), want.size());
    EXPECT_EQ(visible(c.get(), 3), want);
    vq_ptr<vq_raw_tile> tables;
    ASSERT_TRUE(t->getJpegTables(0, 0, tables.put()));
    EXPECT_EQ(Bytes(tables->getData(), tables->getData() + tables->getDataLength()), f.parts[0].tables);
    vq_ptr<vq_tileDecoder_base> decoder;
    EXPECT_TRUE(t->createTileDecoder(decoder.put(), 0));
    EXPECT_NEAR(t->getQuality(), 90, 2) << "estimated from the tables";
}

// Loader threads read raw tiles of one file at once: the directory choice and
// the read share the file, the assembly of each tile does not.
TEST(TiffTileLoader, RawTilesReadFromManyThreadsEqualTheTilesReadOneByOne) {
    JpegTiff f = jpegTiledFile("2x2", 6);
    vq_ptr<vq_tileloader_base> t;
    ASSERT_TRUE(loader(*f.src)->getTileLoader(t.put()));
    std::vector<Bytes> alone(6);
    for (int i = 0; i < 6; ++i) {
        vq_ptr<vq_raw_tile> raw;
        ASSERT_TRUE(t->loadRawTile(i % 3, i / 3, 0, 0, raw.put()));
        alone[i].assign(raw->getData(), raw->getData() + raw->getDataLength());
    }
    std::atomic<int> mismatches{0};
    std::vector<std::thread> threads;
    for (int k = 0; k < 8; ++k)
        threads.emplace_back([&, k] {
            for (int round = 0; round < 50; ++round) {
                const int i = (k + round) % 6;
                vq_ptr<vq_raw_tile> raw;
                if (!t->loadRawTile(i % 3, i / 3, 0, 0, raw.put()) ||
                    Bytes(raw->getData(), raw->getData() + raw->getDataLength()) != alone[i])
                    ++mismatches;
            }
        });
    for (auto& thread : threads)
        thread.join();
    EXPECT_EQ(mismatches.load(), 0);
}

TEST(TiffTileLoader, SubsamplingIsTheTilesOwn) {
    // Slides keep the chroma sampling in the tiles' frames and usually carry
    // no YCbCrSubsampling tag (photometric RGB), or a tag that disagrees
    // (photometric YCbCr with the tag saying 2 x 2): the tiles decide.
    struct Case {
        const char* sample;
        int photometric;
        int expected;
    } cases[] = {{"2x2", 2, 4}, {"2x1", 2, 2}, {"1x2", 2, 3}, {"1x1", 2, 1}, {"1x1", 6, 1}};
    for (const Case& c : cases) {
        SCOPED_TRACE(std::string(c.sample) + " photometric " + std::to_string(c.photometric));
        JpegTiff f = jpegTiledFile(c.sample, c.photometric);
        vq_ptr<vq_tileloader_base> t;
        ASSERT_TRUE(loader(*f.src)->getTileLoader(t.put()));
        EXPECT_EQ(t->getSubsampling(0), c.expected);
        EXPECT_TRUE(t->isRawYCbCr(0));
    }
}

TEST(TiffTileLoader, RgbJpegTilesGetRgbComponentIds) {
    JpegTiff f = jpegTiledFile("1x1", 2);
    vq_ptr<vq_tileloader_base> t;
    ASSERT_TRUE(loader(*f.src)->getTileLoader(t.put()));
    vq_ptr<vq_raw_tile> raw;
    ASSERT_TRUE(t->loadRawTile(0, 0, 0, 0, raw.put()));
    // cjpeg numbers the components 1, 2, 3: they stay; the raw tile is a
    // stand-alone stream either way.
    EXPECT_EQ(djpeg(Bytes(raw->getData(), raw->getData() + raw->getDataLength())), djpeg(f.parts[0].full));
}

TEST(TiffStripLoader, StripsCutFromStoredStrips) {
    struct Case {
        const char* name;
        int width, height, rowsPerStrip, stripHeight, compression;
        bool big, planar;
    } cases[] = {
        {"four stored strips per strip", 50, 100, 16, 40, 1, false, false},
        {"many strips per stored strip", 33, 70, 64, 10, 5, false, false},
        {"whole image as one strip", 20, 20, 7, 20, 1, true, false},
        {"no RowsPerStrip: one strip", 30, 25, -1, 8, 5, false, false},
        {"planar LZW", 21, 40, 16, 12, 5, false, true},
    };
    for (const Case& c : cases) {
        TiffBuilder b(c.big);
        const Picture p = picture(c.width, c.height, 3, 11);
        Spec s;
        s.width = c.width;
        s.height = c.height;
        s.rowsPerStrip = c.rowsPerStrip;
        s.compression = c.compression;
        s.planar = c.planar;
        if (!c.planar) {
            stripPieces(s, p);
        } else {
            for (int plane = 0; plane < 3; ++plane)
                for (int y = 0; y < c.height; y += c.rowsPerStrip) {
                    Bytes rows = p.region(0, y, c.width, std::min(c.rowsPerStrip, c.height - y)), one(rows.size() / 3);
                    for (size_t i = 0; i < one.size(); ++i) one[i] = rows[i * 3 + plane];
                    s.pieces.push_back(encode(one, c.compression));
                }
        }
        addDir(b, s);
        auto src = source(b.bytes());
        vq_ptr<vq_stripLoader_base> sl;
        ASSERT_TRUE(loader(*src)->getStripLoader(sl.put())) << c.name;
        EXPECT_EQ(sl->getMaxStripHeight(), c.height);
        ASSERT_TRUE(sl->prepareStrips(c.stripHeight, 4));
        int done = 0, row = 0;
        while (row < c.height) {
            vq_ptr<imageContainer> strip = vq_ptr<imageContainer>::adopt(imageContainer::create());
            ASSERT_TRUE(sl->readNextStrip(&done, strip.get())) << c.name << " row " << row;
            const int rows = std::min(c.stripHeight, c.height - row);
            EXPECT_EQ(strip->getHeight(), rows);
            EXPECT_EQ(visible(strip.get(), 3), p.region(0, row, c.width, rows)) << c.name << " row " << row;
            row += rows;
            EXPECT_EQ(done, row);
        }
        const int stored = c.rowsPerStrip > 0 ? (c.height + c.rowsPerStrip - 1) / c.rowsPerStrip : 1;
        EXPECT_EQ(static_cast<vq_TIFFStripLoader*>(sl.get())->stripsDecoded, stored) << c.name << ": decoded once each";
    }
}

TEST(TiffStripLoader, RgbaDeliveredAsRgb) {
    TiffBuilder b;
    const Picture p = picture(9, 20, 4, 21);
    Spec s;
    s.width = 9;
    s.height = 20;
    s.samples = 4;
    s.rowsPerStrip = 6;
    stripPieces(s, p);
    addDir(b, s);
    auto src = source(b.bytes());
    Bytes rgbPixels;
    for (size_t i = 0; i < p.pixels.size(); i += 4) rgbPixels.insert(rgbPixels.end(), &p.pixels[i], &p.pixels[i] + 3);

    vq_ptr<vq_stripLoader_base> sl;
    ASSERT_TRUE(loader(*src)->getStripLoader(sl.put()));
    ASSERT_TRUE(sl->prepareStrips(20, 4));
    vq_ptr<imageContainer> strip = vq_ptr<imageContainer>::adopt(imageContainer::create());
    int done = 0;
    ASSERT_TRUE(sl->readNextStrip(&done, strip.get()));
    EXPECT_EQ(strip->getFormat(), 4);
    EXPECT_EQ(visible(strip.get(), 3), rgbPixels);

    vq_ptr<imageContainer> whole = vq_ptr<imageContainer>::adopt(imageContainer::create());
    ASSERT_TRUE(loader(*src)->loadImage(whole.get(), 4));
    EXPECT_EQ(whole->getFormat(), 4);
    EXPECT_EQ(visible(whole.get(), 3), rgbPixels);
    ASSERT_TRUE(loader(*src)->loadImage(whole.get(), 5));
    EXPECT_EQ(visible(whole.get(), 4), p.pixels);
}

TEST(TiffStripLoader, JpegStripsAsPlanes) {
    TiffBuilder b;
    Spec s;
    s.width = 24;
    s.height = 39;
    s.rowsPerStrip = 16;
    s.compression = 7;
    s.photometric = 6;
    std::vector<SplitJpeg> parts;
    for (int y = 0; y < s.height; y += 16) {
        SplitJpeg p = splitJpeg(makeJpeg(24, std::min(16, s.height - y), 90 + y, "-quality 90 -sample 2x2"));
        s.pieces.push_back(p.abbreviated);
        if (s.tables.empty()) s.tables = p.tables;
        parts.push_back(p);
    }
    s.extra = {shorts(530, {2, 2})};
    addDir(b, s);
    auto src = source(b.bytes());
    vq_ptr<vq_stripLoader_base> sl;
    ASSERT_TRUE(loader(*src)->getStripLoader(sl.put()));
    ASSERT_TRUE(sl->supportsYCbCr());
    EXPECT_EQ(sl->getSubsampling(), 4);
    ASSERT_TRUE(sl->prepareStripsYCbCr(16));
    const int lumaRows[] = {16, 16, 7}, chromaRows[] = {8, 8, 4};
    for (int i = 0; i < 3; ++i) {
        vq_ptr<imageContainer> y = vq_ptr<imageContainer>::adopt(imageContainer::create()),
                               cb = vq_ptr<imageContainer>::adopt(imageContainer::create()),
                               cr = vq_ptr<imageContainer>::adopt(imageContainer::create());
        int done = 0;
        ASSERT_TRUE(sl->readNextStripYCbCr(&done, y.get(), cb.get(), cr.get())) << i;
        EXPECT_EQ(y->getHeight(), lumaRows[i]);
        EXPECT_EQ(cb->getHeight(), chromaRows[i]);
        EXPECT_EQ(cb->getWidth(), 12);
    }
    // Pixel strips decode the same stored strips.
    ASSERT_TRUE(sl->prepareStrips(39, 4));
    vq_ptr<imageContainer> all = vq_ptr<imageContainer>::adopt(imageContainer::create());
    int done = 0;
    ASSERT_TRUE(sl->readNextStrip(&done, all.get()));
    Bytes got = visible(all.get(), 3);
    const jpegtest::Pnm first = jpegtest::parsePnm(djpeg(parts[0].full));
    EXPECT_EQ(0, std::memcmp(got.data(), first.pixels.data(), first.pixels.size()));
}

TEST(TiffTileLoader, SeventeenPlanesRefused) {
    TiffBuilder b;
    Spec s;
    s.width = s.height = 16;
    s.tile = 16;
    s.samples = 17;
    s.planar = true;
    s.pieces.assign(17, Bytes(256, 3));
    addDir(b, s);
    auto src = source(b.bytes());
    vq_ptr<vq_tileloader_base> t;
    ASSERT_TRUE(loader(*src)->getTileLoader(t.put()));
    vq_ptr<imageContainer> c = vq_ptr<imageContainer>::adopt(imageContainer::create());
    EXPECT_FALSE(t->loadTile(0, 0, 0, 0, c.get(), 4));
    vq_ptr<vq_stripLoader_base> sl;
    EXPECT_FALSE(loader(*src)->getStripLoader(sl.put()));
}

TEST(TiffTileLoader, RefusedFiles) {
    // Tiles that are not JPEG 2000 code-streams: the file info names the
    // compression, the tile reader opens (subsampling undetermined) and
    // refuses to decode the tile.
    // LeadTools JPEG 2000 (34712) tiles are named but nothing decodes them.
    for (int compression : {33003, 33005, 34712}) {
        TiffBuilder b;
        Spec s;
        s.width = s.height = 16;
        s.tile = 16;
        s.compression = compression;
        s.pieces = {Bytes(40, 1)};
        addDir(b, s);
        auto src = source(b.bytes());
        vq_ptr<vq_FileInfo> info;
        ASSERT_TRUE(loader(*src)->getFileInfo(info.put()));
        EXPECT_NE(report(info.get()).find(compression == 34712 ? "JPEG2000 (LeadTools) compression\n"
                                                                 : "JPEG2000 (Aperio) compression\n"),
                  std::string::npos);
        vq_ptr<vq_tileloader_base> t;
        ASSERT_TRUE(loader(*src)->getTileLoader(t.put())) << compression;
        EXPECT_EQ(t->getSubsampling(0), 5);
        vq_ptr<imageContainer> c = vq_ptr<imageContainer>::adopt(imageContainer::create());
        EXPECT_FALSE(t->loadTile(0, 0, 0, 0, c.get(), 4)) << compression;
        EXPECT_FALSE(t->isRawYCbCr(0));
    }
    // A JPEG pyramid one of whose levels keeps no JPEGTables.
    JpegTiff f = jpegTiledFile("1x1", 2);
    TiffBuilder b;
    Spec l0;
    l0.width = l0.height = 16;
    l0.tile = 16;
    l0.compression = 7;
    l0.pieces = {f.parts[0].abbreviated};
    l0.tables = f.parts[0].tables;
    addDir(b, l0);
    Spec l1 = l0;
    l1.width = l1.height = 8;
    l1.tables.clear();
    addDir(b, l1);
    auto src = source(b.bytes());
    vq_ptr<vq_tileloader_base> t;
    EXPECT_FALSE(loader(*src)->getTileLoader(t.put()));
}
