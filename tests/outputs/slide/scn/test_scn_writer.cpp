// The SCN writer: whole files checked with tifffile and djpeg (check_scn.py),
// the XML description against a golden template, with xmllint and TinyXML,
// and the file read back through our own SCN reader; the saver's refusals,
// the second image in every input form and the tile-size setter.
#include <gtest/gtest.h>

#include <algorithm>
#include <regex>
#include <set>
#include <sstream>
#include <string>
#include <tinyxml.h>
#include <vector>

#include "engine/base/imageContainer.h"
#include "engine/base/raw_tile.h"
#include "engine/base/stream.h"
#include "engine/base/vq_global.h"
#include "jpeg/jpeg_saver.h"
#include "outputs/slide/jpeg_tile_encoder.h"
#include "outputs/slide/scn/scn_saver.h"
#include "readers/tiff/svs_reader.h"
#include "tests/support/test_env.h"

namespace {

using Bytes = std::vector<uint8_t>;
using Rgb = std::array<int, 3>;

// Encoder thread settings for one test, restored afterwards.
class EncoderThreads {
public:
    EncoderThreads(bool multi, int count) {
        getGlobal(global_.put());
        multi_ = global_->isMultiThreaded();
        count_ = global_->getEncoderThreadCount();
        global_->setMultiThreaded(multi);
        global_->setEncoderThreadCount(count);
    }
    ~EncoderThreads() {
        global_->setMultiThreaded(multi_);
        global_->setEncoderThreadCount(count_);
    }

private:
    vq_ptr<vq_global_base> global_;
    bool multi_ = true;
    int count_ = 0;
};

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

Bytes jpegOf(imageContainer* tile, int quality) {
    vq_jpeg_tileEncoder* e = nullptr;
    EXPECT_TRUE(createJpegTileEncoder(&e));
    auto enc = vq_ptr<vq_jpeg_tileEncoder>::adopt(e);
    enc->setQuality(quality);
    enc->setSubsampling(4);
    vq_stream* s = nullptr;
    EXPECT_EQ(createMemoryWriteStream(0, &s), 0);
    auto stream = vq_ptr<vq_stream>::adopt(s);
    EXPECT_TRUE(enc->encodeTile(tile, stream.get()));
    auto* m = static_cast<vq_memoryWriteStream*>(stream.get());
    return Bytes(m->getData(), m->getData() + m->getSize());
}

vq_ptr<vq_raw_tile> rawTile(const Bytes& b, IntPair size, int compression) {
    auto t = vq_ptr<vq_raw_tile>::adopt(vq_raw_tile::create());
    EXPECT_TRUE(t->allocate(static_cast<int32_t>(b.size()), size));
    std::copy(b.begin(), b.end(), t->getData());
    t->setDataLength(static_cast<int32_t>(b.size()));
    t->setCompression(compression);
    return t;
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

} // namespace
