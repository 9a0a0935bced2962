// The SCN writer: whole files checked with tifffile and djpeg (check_scn.py),
// the XML description against a golden template, with xmllint and TinyXML,
// and the file read back through our own SCN reader; the saver's refusals,
// the second image in every input form and the tile-size setter.
#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <regex>
#include <set>
#include <sstream>
#include <string>
#include <tinyxml.h>
#include <vector>

#include "engine/base/imageContainer.h"
#include "engine/base/raw_tile.h"
#include "engine/base/stream.h"
#include "outputs/slide/scn/scn_saver.h"
#include "readers/tiff/svs_reader.h"
#include "tests/outputs/slide/slide_fixtures.h"
#include "tests/support/test_env.h"

namespace {

using namespace slidetest;
using Rgb = std::array<int, 3>;

vq_ptr<imageContainer> solid(int w, int h, Rgb c, int format = vq_fmtRGB24) {
    auto image = vq_ptr<imageContainer>::adopt(imageContainer::create());
    EXPECT_TRUE(image->create(format, w, h, false));
    uint8_t* p = nullptr;
    int32_t step = 0;
    image->lockPixels(&p, &step);
    const int channels = format == vq_fmtRGB24 ? 3 : 1;
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w * channels; ++x) p[y * step + x] = static_cast<uint8_t>(c[x % channels]);
    image->unlockPixels();
    return image;
}

// A saver writing to a file of the test's scratch folder.
struct ScnFile {
    std::string path;
    vq_ptr<vq_stream> stream;
    vq_ptr<vq_leica_saver> saver;
    ScnFile(const std::string& dir, const std::string& name) : path(dir + "/" + name) {
        EXPECT_EQ(openWriteStream(path.c_str(), stream.put()), 0);
        saver = vq_ptr<vq_leica_saver>(new vq_leica_saver(stream.get()));
    }
    // The checker's report; the first directory's description in *xml.
    std::string check(std::string* xml = nullptr) {
        stream->flush();
        std::string out;
        const int rc = vqtest::runCommand(
            "/usr/bin/python3 '" VQ_SCN_CHECK "' '" + path + "' '" + path + ".xml' 2>&1", &out);
        EXPECT_EQ(rc, 0) << out;
        if (xml != nullptr) *xml = vqtest::readFile(path + ".xml");
        return out;
    }
};

bool has(const std::string& report, const std::string& text) { return report.find(text) != std::string::npos; }

// The mean colour of tile k of page i in the checker's report.
Rgb tileMean(const std::string& report, int page, int k, std::string* size = nullptr) {
    std::istringstream in(report);
    for (std::string line; std::getline(in, line);) {
        std::istringstream l(line);
        std::string word, s;
        int p = -1, n = -1;
        Rgb m{-1, -1, -1};
        if (l >> word && word == "tile" && l >> p >> n >> s >> m[0] >> m[1] >> m[2] && p == page && n == k) {
            if (size != nullptr) *size = s;
            return m;
        }
    }
    return {-1, -1, -1};
}

bool near(Rgb a, Rgb b, int tolerance = 6) {
    for (int i = 0; i < 3; ++i)
        if (std::abs(a[i] - b[i]) > tolerance) return false;
    return true;
}

// Colours of the test pyramid: each tile of the second-image source level
// its own, every other level one colour.
Rgb sourceColour(int x, int y) { return {40 + 60 * x, 40 + 120 * y, 160}; }
Rgb levelColour(int level) { return {20 * level + 30, 200 - 30 * level, 90}; }

// Hands every tile of a level to the saver, edge tiles cropped to the level.
void feedLevel(vq_leica_saver& s, int level, IntPair size, int tile, bool source) {
    for (int y = 0; y * tile < size.second; ++y)
        for (int x = 0; x * tile < size.first; ++x) {
            const int w = std::min(tile, size.first - x * tile), h = std::min(tile, size.second - y * tile);
            auto c = solid(w, h, source ? sourceColour(x, y) : levelColour(level));
            ASSERT_TRUE(s.addTile(x, y, level, c.get())) << level << " " << x << "," << y;
        }
}

// The golden template as a pattern: CR LF after every line, identifiers,
// dates and the collection number by their form.
std::regex goldenPattern() {
    const std::string text = vqtest::readFile(VQ_SCN_GOLDEN);
    std::string pattern;
    std::istringstream in(text);
    for (std::string line; std::getline(in, line);) {
        std::string escaped;
        for (char c : line) {
            if (std::string("\\^$.|?*+()[]{}").find(c) != std::string::npos) escaped += '\\';
            escaped += c;
        }
        auto replace = [&](const std::string& what, const std::string& with) {
            for (size_t at; (at = escaped.find(what)) != std::string::npos;) escaped.replace(at, what.size(), with);
        };
        replace("\\{UUID\\}", "urn:uuid:[0-9a-f]{8}-[0-9a-f]{4}-4[0-9a-f]{3}-[89ab][0-9a-f]{3}-[0-9a-f]{12}");
        replace("\\{DATE\\}", "[0-9]{4}-[0-9]{2}-[0-9]{2}T[0-9]{2}:[0-9]{2}:[0-9]{2}\\.0Z");
        replace("\\{COLLECTION\\}", "[0-9]{16}");
        pattern += escaped + "\r\n";
    }
    return std::regex(pattern);
}

std::vector<std::string> uuidsOf(const std::string& xml) {
    static const std::regex uuid("urn:uuid:([0-9a-f-]{36})");
    std::vector<std::string> out;
    for (auto it = std::sregex_iterator(xml.begin(), xml.end(), uuid); it != std::sregex_iterator(); ++it)
        out.push_back((*it)[1]);
    return out;
}

// A pixel of a tile read back through our own SCN reader.
Rgb readBack(vq_tileloader_base* loader, int x, int y, int level, int image, int px, int py) {
    auto tile = vq_ptr<imageContainer>::adopt(imageContainer::create());
    if (!loader->loadTile(x, y, level, image, tile.get(), vq_fmtRGB24)) return {-1, -1, -1};
    uint8_t* p = nullptr;
    int32_t step = 0;
    tile->lockPixels(&p, &step);
    const Rgb c{p[py * step + 3 * px], p[py * step + 3 * px + 1], p[py * step + 3 * px + 2]};
    tile->unlockPixels();
    return c;
}

const char* const kDescription = "Scan \"A\" <1> & 'b'\nend";

TEST(ScnWriter, WholeFileWithEncoderThreads) {
    EncoderThreads threads(true, 3);
    const std::string dir = vqtest::scratchDir("scn_whole");
    ScnFile f(dir, "slide.scn");
    vq_leica_saver& s = *f.saver;
    s.setSubsampling(4);
    s.setColourSpace(3);
    s.setScanInfo(0.0, 0.5);
    s.setDescription(kDescription);
    const std::vector<IntPair> sizes{{3000, 2000}, {1500, 1000}, {750, 500}, {375, 250}};
    s.setBaseLevel(sizes[0], 3, 80, nullptr);
    s.addLevel(2, sizes[1], 80, nullptr);
    ASSERT_TRUE(s.setThumbnail(2, sizes[1], IntPair(3, 2), 75));
    s.addLevel(1, sizes[2], 80, nullptr);
    s.addLevel(0, sizes[3], 80, nullptr);
    // Smallest level first, so directories are placed out of chain order.
    for (int level = 0; level <= 3; ++level) feedLevel(s, level, sizes[3 - level], 512, level == 2);
    ASSERT_TRUE(s.finish()) << s.getFailure();
    EXPECT_GE(s.threadsStarted(), 1);

    std::string xml;
    const std::string report = f.check(&xml);
    EXPECT_TRUE(has(report, "file scn 1 bigtiff 1 byteorder < pages 7")) << report;
    // Second image, largest first, then the main image from the base down.
    const char* pages[] = {"page 0 size 1500x1000", "page 1 size 750x500", "page 2 size 375x250",
                           "page 3 size 3000x2000", "page 4 size 1500x1000", "page 5 size 750x500",
                           "page 6 size 375x250"};
    const int tiles[] = {6, 2, 1, 24, 6, 2, 1};
    for (int i = 0; i < 7; ++i) {
        const std::string line = std::string(pages[i]) +
                                  " tile 512x512 compression 7 photometric 6 samples 3 subsampling 2,2 tables 0 "
                                  "subfile 0 tiles " +
                                  std::to_string(tiles[i]) + " placed " + std::to_string(tiles[i]);
        EXPECT_TRUE(has(report, line)) << line << "\n" << report;
        for (int k = 0; k < tiles[i]; ++k) {
            std::string size;
            tileMean(report, i, k, &size);
            EXPECT_EQ(size, "512x512") << i << " " << k;
        }
    }
    // The second image's largest directory holds the source level's pixels.
    for (int y = 0; y < 2; ++y)
        for (int x = 0; x < 3; ++x) {
            if (x == 2 || y == 1) continue; // edge tiles: their padding shares the mean
            EXPECT_TRUE(near(tileMean(report, 0, y * 3 + x), sourceColour(x, y))) << x << "," << y << "\n" << report;
            EXPECT_TRUE(near(tileMean(report, 4, y * 3 + x), sourceColour(x, y))) << x << "," << y;
        }
    EXPECT_TRUE(near(tileMean(report, 3, 0), levelColour(3)));
    // tifffile's own SCN reading finds both images and their directories.
    EXPECT_TRUE(has(report, "series 0 image_0001 levels 1500x1000@0 750x500@1 375x250@2")) << report;
    EXPECT_TRUE(has(report, "series 1 image_0001 levels 3000x2000@3 1500x1000@4 750x500@5 375x250@6")) << report;

    // The description: golden template, xmllint, TinyXML.
    EXPECT_TRUE(std::regex_match(xml, goldenPattern())) << xml;
    const auto uuids = uuidsOf(xml);
    EXPECT_EQ(uuids.size(), 4u);
    EXPECT_EQ(std::set<std::string>(uuids.begin(), uuids.end()).size(), 4u);
    const std::string xmllint = vqtest::requireTool("xmllint");
    std::string lint;
    EXPECT_EQ(vqtest::runCommand(xmllint + " --noout '" + f.path + ".xml' 2>&1", &lint), 0) << lint;
    TiXmlDocument doc;
    doc.Parse(xml.c_str(), nullptr, TIXML_DEFAULT_ENCODING);
    ASSERT_FALSE(doc.Error()) << doc.ErrorDesc();
    const TiXmlElement* metadata =
        doc.RootElement()->FirstChildElement("collection")->FirstChildElement("metadata");
    ASSERT_NE(metadata, nullptr);
    EXPECT_STREQ(metadata->Attribute("value"), kDescription);

    // Our own SCN reader: two images with their levels and pixels.
    vq_ptr<vq_stream> in;
    ASSERT_EQ(openReadStream(f.path.c_str(), in.put()), 0);
    vq_ptr<vq_tileloader_base> loader;
    ASSERT_TRUE(createSVSRawTileLoader(in.get(), loader.put()));
    ASSERT_EQ(loader->getImageCount(), 2);
    EXPECT_EQ(loader->getLevelSizes(0), std::vector<IntPair>(sizes.begin() + 1, sizes.end()));
    EXPECT_EQ(loader->getLevelSizes(1), sizes);
    EXPECT_EQ(loader->getMagnification(1), 5);
    // The second image's halved level: each pixel from the source tile under it.
    const std::vector<std::pair<IntPair, IntPair>> probes{{{100, 100}, {0, 0}}, {{400, 100}, {1, 0}},
                                                          {{700, 400}, {2, 1}}};
    for (const auto& [at, source] : probes) {
        const Rgb got = readBack(loader.get(), at.first / 512, at.second / 512, 1, 0, at.first % 512,
                                 at.second % 512);
        EXPECT_TRUE(near(got, sourceColour(source.first, source.second), 8))
            << at.first << "," << at.second << ": " << got[0] << " " << got[1] << " " << got[2];
    }
    EXPECT_TRUE(near(readBack(loader.get(), 5, 3, 0, 1, 10, 10), levelColour(3), 8));
}

TEST(ScnWriter, RefusalsEdgeTilesFirstWriteAndRawTiles) {
    EncoderThreads single(false, 0);
    const std::string dir = vqtest::scratchDir("scn_tiles");
    ScnFile f(dir, "tiles.scn");
    vq_leica_saver& s = *f.saver;
    s.setSubsampling(1);
    s.setBaseLevel(IntPair(1000, 700), 1, 85, nullptr);
    s.addLevel(0, IntPair(500, 350), 85, nullptr);
    // A second image that fits in one tile: one directory, level 0.
    ASSERT_TRUE(s.setThumbnail(0, IntPair(500, 350), IntPair(1, 1), 75));

    EXPECT_TRUE(s.addTile(0, 0, 7, solid(512, 512, {1, 2, 3}).get())); // undeclared level: dropped
    EXPECT_FALSE(s.addTile(0, 0, 1, nullptr));
    EXPECT_FALSE(s.addTile(0, 0, 1, solid(512, 512, {9, 9, 9}, vq_fmtGray8).get()));
    EXPECT_FALSE(s.addTile(0, 0, 1, solid(600, 512, {9, 9, 9}).get()));
    // The 488 x 188 edge tile is stored at the full tile size; the second
    // tile of the same position is not stored.
    EXPECT_TRUE(s.addTile(1, 1, 1, solid(488, 188, {220, 40, 40}).get()));
    EXPECT_TRUE(s.addTile(1, 1, 1, solid(488, 188, {40, 220, 40}).get()));
    // Raw tiles: stored byte for byte; other compressions and sizes, label,
    // macro and undeclared levels refused.
    const Bytes jpeg = jpegOf(solid(512, 512, {30, 60, 200}).get(), 70);
    EXPECT_TRUE(s.addRawTile(0, 0, 1, raw(jpeg, IntPair(512, 512), 7).get()));
    EXPECT_FALSE(s.addRawTile(1, 0, 1, raw(jpeg, IntPair(512, 512), 1).get()));
    EXPECT_FALSE(s.addRawTile(0, 0, -2, raw(jpeg, IntPair(512, 512), 7).get()));
    EXPECT_FALSE(s.addRawTile(0, 0, -3, raw(jpeg, IntPair(512, 512), 7).get()));
    EXPECT_FALSE(s.addRawTile(0, 0, 5, raw(jpeg, IntPair(512, 512), 7).get()));
    EXPECT_FALSE(s.addRawTile(0, 0, 1, nullptr));
    EXPECT_FALSE(s.addRawTile(1, 0, 1, raw(jpegOf(solid(240, 240, {9, 9, 9}).get(), 70), IntPair(240, 240), 7).get()));
    // The source level's only tile completes the second image.
    EXPECT_TRUE(s.addTile(0, 0, 0, solid(500, 350, {100, 150, 200}).get()));
    ASSERT_TRUE(s.finish()) << s.getFailure();
    // With multi-threading off every tile was encoded on this thread.
    EXPECT_EQ(s.threadsStarted(), 0);

    std::string xml;
    const std::string report = f.check(&xml);
    EXPECT_TRUE(has(report, "pages 3")) << report;
    EXPECT_TRUE(has(report, "page 0 size 500x350 tile 512x512 compression 7 photometric 6 samples 3 subsampling 1,1 "
                            "tables 0 subfile 0 tiles 1 placed 1"))
        << report;
    EXPECT_TRUE(has(report, "page 1 size 1000x700 tile 512x512 compression 7 photometric 6 samples 3 subsampling "
                            "1,1 tables 0 subfile 0 tiles 4 placed 2"))
        << report;
    EXPECT_TRUE(has(report, "series 0 image_0001 levels 500x350@0")) << report;
    EXPECT_TRUE(has(report, "series 1 image_0001 levels 1000x700@1 500x350@2")) << report;
    std::string size;
    // Mean over the full tile: the 488 x 188 red share and zero padding.
    const Rgb edge = tileMean(report, 1, 3, &size);
    EXPECT_EQ(size, "512x512");
    const double share = 488.0 * 188.0 / (512.0 * 512.0);
    EXPECT_TRUE(near(edge, {int(220 * share + 0.5), int(40 * share + 0.5), int(40 * share + 0.5)}, 4))
        << edge[0] << " " << edge[1] << " " << edge[2];
    EXPECT_TRUE(near(tileMean(report, 0, 0), {int(100 * 500 * 350 / (512.0 * 512)), int(150 * 500 * 350 / (512.0 * 512)),
                                              int(200 * 500 * 350 / (512.0 * 512))}, 4));
    const std::string file = vqtest::readFile(f.path);
    EXPECT_NE(file.find(std::string(jpeg.begin(), jpeg.end())), std::string::npos);
    EXPECT_EQ(xml.find("<metadata"), std::string::npos);
}

TEST(ScnWriter, ChainEndsAtTheBaseWithoutSmallerLevels) {
    EncoderThreads single(false, 0);
    const std::string dir = vqtest::scratchDir("scn_single");
    ScnFile f(dir, "single.scn");
    f.saver->setBaseLevel(IntPair(400, 300), 0, 80, nullptr);
    ASSERT_TRUE(f.saver->setThumbnail(0, IntPair(400, 300), IntPair(1, 1), 75));
    EXPECT_TRUE(f.saver->addTile(0, 0, 0, solid(400, 300, {50, 50, 50}).get()));
    ASSERT_TRUE(f.saver->finish());
    // The base directory is the last: its next-directory offset is 0, read
    // straight from the file (BigTIFF: 8-byte count, 20-byte entries).
    const std::string report = f.check();
    EXPECT_TRUE(has(report, "pages 2")) << report;
    const std::string file = vqtest::readFile(f.path);
    auto u64 = [&](size_t at) {
        uint64_t v = 0;
        for (int i = 7; i >= 0; --i) v = (v << 8) | static_cast<uint8_t>(file[at + i]);
        return v;
    };
    const uint64_t first = u64(8);
    const uint64_t second = u64(first + 8 + 20 * u64(first));
    ASSERT_GT(second, 0u);
    EXPECT_EQ(u64(second + 8 + 20 * u64(second)), 0u);
}

TEST(ScnWriter, FinishFailsWithoutOrWithAnIncompleteSecondImage) {
    EncoderThreads single(false, 0);
    const std::string dir = vqtest::scratchDir("scn_incomplete");
    {
        ScnFile f(dir, "none.scn");
        f.saver->setBaseLevel(IntPair(400, 300), 0, 80, nullptr);
        EXPECT_TRUE(f.saver->addTile(0, 0, 0, solid(400, 300, {50, 50, 50}).get()));
        EXPECT_FALSE(f.saver->finish());
        EXPECT_EQ(f.saver->getFailure(), "no second image was declared");
    }
    ScnFile f(dir, "incomplete.scn");
    vq_leica_saver& s = *f.saver;
    s.setBaseLevel(IntPair(2000, 1000), 1, 80, nullptr);
    s.addLevel(0, IntPair(1000, 500), 80, nullptr);
    ASSERT_TRUE(s.setThumbnail(0, IntPair(1000, 500), IntPair(2, 1), 75));
    EXPECT_TRUE(s.addTile(0, 0, 0, solid(512, 500, {80, 80, 80}).get()));
    EXPECT_FALSE(s.finish());
    EXPECT_EQ(s.getFailure(), "the second image is incomplete: 1 tiles of level 0 are missing");
    // Everything that arrived is still in the file, without a description.
    std::string xml;
    const std::string report = f.check(&xml);
    EXPECT_TRUE(has(report, "file scn 0 bigtiff 1 byteorder < pages 4")) << report;
    EXPECT_TRUE(has(report, "page 1 size 500x250 tile 512x512 compression 7 photometric 6 samples 3 subsampling 1,1 "
                            "tables 0 subfile 0 tiles 1 placed 0"))
        << report;
    EXPECT_TRUE(has(report, "page 3 size 1000x500")) << report;
    EXPECT_TRUE(xml.empty()) << xml;
}

TEST(ScnWriter, TileSizeSetterAndSecondImageFromPlanesAndRawTiles) {
    EncoderThreads single(false, 0);
    const std::string dir = vqtest::scratchDir("scn_tile256");
    ScnFile f(dir, "tile256.scn");
    vq_leica_saver& s = *f.saver;
    s.setTileSize(256);
    s.setTileSize(100); // not a multiple of 16: kept at 256
    EXPECT_EQ(s.getTileSize(), 256);
    s.setSubsampling(4);
    s.setBaseLevel(IntPair(1500, 1000), 0, 80, nullptr);
    ASSERT_TRUE(s.setThumbnail(0, IntPair(1500, 1000), IntPair(6, 4), 75));
    // The source level arrives as RGB tiles, as planes and as raw JPEG tiles.
    for (int y = 0; y < 4; ++y)
        for (int x = 0; x < 6; ++x) {
            const int w = std::min(256, 1500 - 256 * x), h = std::min(256, 1000 - 256 * y);
            auto rgb = solid(w, h, sourceColour(x % 3, y % 2));
            const int form = (x + y) % 3;
            if (form == 0) {
                ASSERT_TRUE(s.addTile(x, y, 0, rgb.get()));
            } else if (form == 1) {
                // Full-resolution planes of the colour (JFIF equations).
                const Rgb c = sourceColour(x % 3, y % 2);
                const int yv = int(0.299 * c[0] + 0.587 * c[1] + 0.114 * c[2] + 0.5);
                const int cbv = int(128 - 0.168736 * c[0] - 0.331264 * c[1] + 0.5 * c[2] + 0.5);
                const int crv = int(128 + 0.5 * c[0] - 0.418688 * c[1] - 0.081312 * c[2] + 0.5);
                auto yp = solid(w, h, {yv, yv, yv}, vq_fmtPlaneY);
                auto cb = solid(w, h, {cbv, cbv, cbv}, vq_fmtPlaneCb);
                auto cr = solid(w, h, {crv, crv, crv}, vq_fmtPlaneCr);
                ASSERT_TRUE(s.addTileYCbCr(x, y, 0, yp.get(), cb.get(), cr.get(), 1));
            } else {
                auto full = solid(256, 256, sourceColour(x % 3, y % 2));
                ASSERT_TRUE(s.addRawTile(x, y, 0, raw(jpegOf(full.get(), 90), IntPair(256, 256), 7).get()));
            }
        }
    ASSERT_TRUE(s.finish()) << s.getFailure();
    std::string xml;
    const std::string report = f.check(&xml);
    EXPECT_TRUE(has(report, "pages 5")) << report;
    const char* pages[] = {"page 0 size 1500x1000 tile 256x256", "page 1 size 750x500 tile 256x256",
                           "page 2 size 375x250 tile 256x256", "page 3 size 187x125 tile 256x256",
                           "page 4 size 1500x1000 tile 256x256"};
    const int tiles[] = {24, 6, 2, 1, 24};
    for (int i = 0; i < 5; ++i) {
        const std::string line = std::string(pages[i]) + " compression 7 photometric 6 samples 3 subsampling 2,2 "
                                 "tables 0 subfile 0 tiles " + std::to_string(tiles[i]) + " placed " +
                                 std::to_string(tiles[i]);
        EXPECT_TRUE(has(report, line)) << line << "\n" << report;
    }
    // Every form reached the second image with its pixels.
    for (int k : {0, 1, 2, 6, 7, 8})
        EXPECT_TRUE(near(tileMean(report, 0, k), sourceColour((k % 6) % 3, (k / 6) % 2), 8)) << k << "\n" << report;
    EXPECT_TRUE(has(xml, "r=\"               3\" ifd=\"               3\"/>")) << xml;
}

TEST(ScnDescription, NanometresCollectionNumbersAndIdentifiers) {
    EncoderThreads single(false, 0);
    std::vector<std::string> documents;
    for (int i = 0; i < 2; ++i) {
        vq_stream* m = nullptr;
        ASSERT_EQ(createMemoryWriteStream(0, &m), 0);
        auto stream = vq_ptr<vq_stream>::adopt(m);
        vq_leica_saver s(stream.get());
        // Control characters XML cannot hold are left out; tabs survive.
        s.setDescription("a\x01" "b\tc");
        s.setBaseLevel(IntPair(40000, 30000), 7, 80, nullptr);
        ASSERT_TRUE(s.setThumbnail(4, IntPair(2500, 1875), IntPair(5, 4), 75));
        // A tile of an undeclared level starts the file without storing anything.
        EXPECT_TRUE(s.addTile(0, 0, 99, solid(16, 16, {0, 0, 0}).get()));
        documents.push_back(s.buildScnDescription());
        s.abort();
    }
    static const std::regex collection("imagecollection_([0-9]{16})\"");
    std::smatch a, b;
    ASSERT_TRUE(std::regex_search(documents[0], a, collection));
    ASSERT_TRUE(std::regex_search(documents[1], b, collection));
    EXPECT_EQ(std::stoll(b[1]), std::stoll(a[1]) + 1);
    // 40000 pixels at 0.5 microns: 20000000 nm after eight spaces.
    EXPECT_TRUE(has(documents[0], "sizeX=\"        20000000\" sizeY=\"        15000000\" uuid=")) << documents[0];
    EXPECT_TRUE(has(documents[0], "<objective>1.250000</objective>")) << documents[0];
    EXPECT_TRUE(has(documents[0], "<objective>20.000000</objective>")) << documents[0];
    EXPECT_TRUE(has(documents[0], "<metadata name=\"description\" value=\"ab&#9;c\"/>\r\n")) << documents[0];
    std::set<std::string> all;
    for (const auto& d : documents)
        for (const auto& u : uuidsOf(d)) {
            EXPECT_TRUE(std::regex_match(u, std::regex("[0-9a-f]{8}-[0-9a-f]{4}-4[0-9a-f]{3}-[89ab][0-9a-f]{3}-[0-9a-f]{12}")))
                << u;
            all.insert(u);
        }
    EXPECT_EQ(all.size(), 8u);
}

} // namespace
