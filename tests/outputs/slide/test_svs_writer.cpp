// The SVS and pyramid TIFF writer: the saver's levels, tiles, encoder
// threads, thumbnail, label, macro and BigTIFF choice, checked with tifffile
// and djpeg (check_svs.py) and with our own slide reader; and the output
// adapters' naming, thumbnail choice and raw-tile refusals.
#include <gtest/gtest.h>

#include <cstdio>
#include <map>
#include <random>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "engine/base/imageContainer.h"
#include "engine/base/raw_tile.h"
#include "engine/base/stream.h"
#include "engine/base/vq_global.h"
#include "engine/pyramid/zoom_layer.h"
#include "engine/pyramid/zoom_tile.h"
#include "outputs/slide/jpeg_tile_encoder.h"
#include "outputs/slide/svs_saver.h"
#include "outputs/svs_output.h"
#include "readers/tiff/svs_reader.h"
#include "tests/outputs/slide/slide_fixtures.h"
#include "tests/support/test_env.h"

namespace {

using namespace slidetest;


vq_ptr<imageContainer> solid(int w, int h, uint8_t r, uint8_t g, uint8_t b, bool noise = false) {
    auto c = vq_ptr<imageContainer>::adopt(imageContainer::create());
    EXPECT_TRUE(c->create(vq_fmtRGB24, w, h, false));
    uint8_t* p = nullptr;
    int32_t step = 0;
    c->lockPixels(&p, &step);
    std::mt19937 rng(static_cast<unsigned>(w * 31 + h + r));
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x) {
            const int n = noise ? static_cast<int>(rng() % 64) : 0;
            p[y * step + 3 * x] = static_cast<uint8_t>(r ^ n);
            p[y * step + 3 * x + 1] = static_cast<uint8_t>(g ^ n);
            p[y * step + 3 * x + 2] = static_cast<uint8_t>(b ^ n);
        }
    c->unlockPixels();
    return c;
}

// A saver writing to a file of the test's scratch folder.
struct SaverFile {
    std::string path;
    vq_ptr<vq_stream> stream;
    vq_ptr<vq_svs_saver> saver;
    SaverFile(const std::string& dir, const std::string& name, uint64_t threshold = vq_svs_saver::kBigTiffThreshold)
        : path(dir + "/" + name) {
        EXPECT_EQ(openWriteStream(path.c_str(), stream.put()), 0);
        saver = vq_ptr<vq_svs_saver>(new vq_svs_saver(stream.get(), threshold));
    }
    std::string check() {
        stream->flush();
        std::string out;
        const int rc = vqtest::runCommand("/usr/bin/python3 '" VQ_SVS_CHECK "' '" + path + "' 2>&1", &out);
        EXPECT_EQ(rc, 0) << out;
        return out;
    }
};

// The mean colour the checker printed for part k of page i.
std::vector<int> mean(const std::string& report, int page, int part, std::string* size = nullptr) {
    std::istringstream in(report);
    std::string word;
    for (std::string line; std::getline(in, line);) {
        std::istringstream l(line);
        int p = -1, k = -1;
        std::string s;
        std::vector<int> m(3);
        if (l >> word && word == "part" && l >> p >> k >> s >> m[0] >> m[1] >> m[2] && p == page && k == part) {
            if (size != nullptr) *size = s;
            return m;
        }
    }
    return {};
}

bool near(const std::vector<int>& m, int r, int g, int b, int tolerance = 6) {
    return m.size() == 3 && std::abs(m[0] - r) <= tolerance && std::abs(m[1] - g) <= tolerance &&
           std::abs(m[2] - b) <= tolerance;
}

bool has(const std::string& report, const std::string& text) { return report.find(text) != std::string::npos; }

TEST(SvsSaver, GridPaddingFirstWriteWinsAndUndeclaredLevels) {
    EncoderThreads single(false, 0);
    const std::string dir = vqtest::scratchDir("svs_grid");
    SaverFile f(dir, "grid.svs");
    vq_svs_saver& s = *f.saver;
    s.setTileSize(512);
    s.setSubsampling(4);
    s.setBaseLevel(IntPair(1000, 700), 0, 80, nullptr);
    s.addLevel(1, IntPair(500, 350), 70, nullptr);
    EXPECT_TRUE(s.addTile(0, 0, 0, solid(512, 512, 220, 30, 30).get()));
    EXPECT_TRUE(s.addTile(0, 0, 0, solid(512, 512, 30, 30, 220).get()));  // second write: dropped
    EXPECT_TRUE(s.addTile(1, 0, 0, solid(488, 512, 30, 200, 30).get()));
    EXPECT_TRUE(s.addTile(0, 1, 0, solid(512, 188, 240, 240, 240).get()));
    EXPECT_TRUE(s.addTile(1, 1, 0, solid(488, 188, 128, 128, 128).get()));
    EXPECT_TRUE(s.addTile(0, 0, 5, solid(64, 64, 1, 2, 3).get()));  // no such level
    EXPECT_TRUE(s.addTile(0, 0, 1, solid(500, 350, 90, 90, 200).get()));
    EXPECT_FALSE(s.addTile(0, 0, 1, solid(600, 350, 90, 90, 200).get()));
    EXPECT_EQ(s.threadsStarted(), 0);
    ASSERT_TRUE(s.finish());
    const std::string report = f.check();
    EXPECT_TRUE(has(report, "page 0 size 1000x700 subfile 0 compression 7 photometric 6 tiled 1 parts 4 placed 4 "
                            "desc Created by Velquist Services JPEG Q=80"))
        << report;
    EXPECT_TRUE(has(report, "page 1 size 500x350 subfile 0 compression 7 photometric 6 tiled 1 parts 1 placed 1 "
                            "desc Created by Velquist Services JPEG Q=70"))
        << report;
    EXPECT_FALSE(has(report, "page 2"));
    std::string size;
    EXPECT_TRUE(near(mean(report, 0, 0, &size), 220, 30, 30)) << report;
    EXPECT_EQ(size, "512x512");
    EXPECT_TRUE(near(mean(report, 0, 1), 30 * 488 / 512, 200 * 488 / 512, 30 * 488 / 512)) << report;
    // The edge tile is padded with zeros to the full tile size.
    const int share = 128 * 488 * 188 / (512 * 512);
    EXPECT_TRUE(near(mean(report, 0, 3, &size), share, share, share)) << report;
    EXPECT_EQ(size, "512x512");

    // Our own slide reader reads the file back tile for tile.
    vq_ptr<vq_stream> in;
    ASSERT_EQ(openReadStream(f.path.c_str(), in.put()), 0);
    vq_ptr<vq_tileloader_base> loader;
    ASSERT_TRUE(createSVSRawTileLoader(in.get(), loader.put()));
    EXPECT_EQ(loader->getLevelTileCounts(0, 0), IntPair(2, 2));
    auto tile = vq_ptr<imageContainer>::adopt(imageContainer::create());
    ASSERT_TRUE(loader->loadTile(1, 1, 0, 0, tile.get(), vq_fmtRGB24));
    uint8_t* p = nullptr;
    int32_t step = 0;
    tile->lockPixels(&p, &step);
    EXPECT_NEAR(p[100 * step + 3 * 100], 128, 6);
    tile->unlockPixels();
}

TEST(SvsSaver, RawTilesPassOnlyWithTheLevelsTables) {
    EncoderThreads single(false, 0);
    const std::string dir = vqtest::scratchDir("svs_raw");
    SaverFile f(dir, "raw.svs");
    vq_svs_saver& s = *f.saver;
    const Bytes sample = jpegOf(solid(256, 256, 10, 10, 10).get(), 80);
    s.setTileSize(256);
    s.setSubsampling(4);
    s.setBaseLevel(IntPair(512, 256), 0, 80, raw(sample, IntPair(256, 256), 7).get());
    auto same = raw(jpegOf(solid(256, 256, 200, 100, 50).get(), 80), IntPair(256, 256), 7);
    auto other = raw(jpegOf(solid(256, 256, 50, 100, 200).get(), 40), IntPair(256, 256), 7);
    EXPECT_TRUE(s.rawTablesMatch(0, same.get()));
    EXPECT_FALSE(s.rawTablesMatch(0, other.get()));
    EXPECT_TRUE(s.addRawTile(0, 0, 0, same.get()));
    EXPECT_FALSE(s.addRawTile(1, 0, 0, other.get()));
    ASSERT_TRUE(s.finish());
    const std::string report = f.check();
    EXPECT_TRUE(has(report, "parts 2 placed 1 desc Created by Velquist Services JPEG quality from source tiles"))
        << report;
    EXPECT_TRUE(near(mean(report, 0, 0), 200, 100, 50)) << report;
}

// Source tiles coded with optimised Huffman tables put those tables into the
// level's JPEGTables; tiles encoded again must still decode.
TEST(SvsSaver, OptimisedHuffmanSourceKeepsReencodedTilesDecodable) {
    EncoderThreads single(false, 0);
    const std::string dir = vqtest::scratchDir("svs_optimised");
    std::string ppm = "P6\n256 256\n255\n";
    for (int i = 0; i < 256 * 256; ++i) ppm += std::string{char(40 + i % 7), char(160), char(90 + (i / 256) % 50)};
    ASSERT_TRUE(vqtest::writeFile(dir + "/src.ppm", ppm));
    const std::string cjpeg = vqtest::requireTool("cjpeg");
    ASSERT_EQ(vqtest::runCommand(cjpeg + " -optimize -quality 85 -outfile '" + dir + "/src.jpg' '" + dir + "/src.ppm'"),
              0);
    const std::string bytes = vqtest::readFile(dir + "/src.jpg");
    auto source = raw(Bytes(bytes.begin(), bytes.end()), IntPair(256, 256), 7);
    SaverFile f(dir, "optimised.svs");
    vq_svs_saver& s = *f.saver;
    s.setTileSize(256);
    s.setSubsampling(4);
    s.setBaseLevel(IntPair(512, 256), 0, 85, source.get());
    EXPECT_TRUE(s.addRawTile(0, 0, 0, source.get()));
    EXPECT_TRUE(s.addTile(1, 0, 0, solid(256, 256, 20, 180, 60).get()));
    ASSERT_TRUE(s.finish());
    const std::string report = f.check();
    EXPECT_TRUE(near(mean(report, 0, 0), 43, 160, 114, 8)) << report;
    EXPECT_TRUE(near(mean(report, 0, 1), 20, 180, 60)) << report;
}

TEST(SvsSaver, EncoderThreadsStartUnderPressureUpToTheirCount) {
    const std::string dir = vqtest::scratchDir("svs_threads");
    {
        EncoderThreads three(true, 3);
        SaverFile f(dir, "threads.svs");
        vq_svs_saver& s = *f.saver;
        s.setTileSize(64);
        s.setSubsampling(4);
        s.setBaseLevel(IntPair(64 * 16, 64 * 16), 0, 80, nullptr);
        testing::internal::CaptureStderr();
        for (int y = 0; y < 16; ++y)
            for (int x = 0; x < 16; ++x) EXPECT_TRUE(s.addTile(x, y, 0, solid(64, 64, uint8_t(x * 16), uint8_t(y * 16), 99, true).get()));
        ASSERT_TRUE(s.finish());
        const std::string log = testing::internal::GetCapturedStderr();
        EXPECT_TRUE(has(log, "Creating SVS encoder thread 1\n")) << log;
        EXPECT_FALSE(has(log, "Creating SVS encoder thread 4\n")) << log;
        EXPECT_GE(s.threadsStarted(), 1);
        EXPECT_LE(s.threadsStarted(), 3);
        const std::string report = f.check();
        EXPECT_TRUE(has(report, "parts 256 placed 256")) << report;
    }
    {
        // Abort: jobs still waiting are never written, and no thread is
        // left. While the test holds the file lock the one thread can take a
        // job but not write it, so at most that one job reaches the file.
        EncoderThreads one(true, 1);
        SaverFile f(dir, "abort.svs");
        vq_svs_saver& s = *f.saver;
        const int n = 10;
        s.setTileSize(64);
        s.setSubsampling(1);
        s.setBaseLevel(IntPair(64 * n, 64), 0, 95, nullptr);
        std::thread aborter;
        size_t before = 0;
        {
            vq::platform::ScopedLock hold(s.fileLock());
            for (int x = 0; x < n; ++x) EXPECT_TRUE(s.addTile(x, 0, 0, solid(64, 64, uint8_t(x * 20), 77, 200, true).get()));
            before = vqtest::readFile(f.path).size();
            aborter = std::thread([&] { s.abort(); });
            // Abort drops the waiting jobs before it waits for the thread.
            for (int i = 0; i < 30000 && s.queuedJobs() > 1; ++i) std::this_thread::sleep_for(std::chrono::milliseconds(1));
        }
        aborter.join();
        EXPECT_EQ(s.queuedJobs(), 0u);
        const size_t oneTile = jpegOf(solid(64, 64, 0, 77, 200, true).get(), 95, 1).size();
        EXPECT_LT(vqtest::readFile(f.path).size(), before + oneTile + oneTile / 2);
    }
}

TEST(SvsSaver, ThumbnailLabelMacroAndTheBigTiffChoice) {
    EXPECT_EQ(vq_svs_saver::thumbnailSize(IntPair(2000, 1500)), IntPair(1024, 768));
    EXPECT_EQ(vq_svs_saver::thumbnailSize(IntPair(1100, 600)), IntPair(1024, 558));
    EXPECT_EQ(vq_svs_saver::thumbnailSize(IntPair(800, 900)), IntPair(682, 768));
    EXPECT_EQ(vq_svs_saver::thumbnailSize(IntPair(500, 400)), IntPair(500, 400));

    EncoderThreads single(false, 0);
    const std::string dir = vqtest::scratchDir("svs_extras");
    std::string reports[2];
    for (int big = 0; big < 2; ++big) {
        // The threshold is crossed by any file once it is 1 byte.
        SaverFile f(dir, big ? "big.svs" : "classic.svs", big ? 1 : vq_svs_saver::kBigTiffThreshold);
        vq_svs_saver& s = *f.saver;
        s.setTileSize(512);
        s.setSubsampling(4);
        s.setBaseLevel(IntPair(500, 401), 0, 80, nullptr);
        EXPECT_TRUE(s.setThumbnail(0, IntPair(500, 401), IntPair(1, 1), 75));
        EXPECT_TRUE(s.addTile(0, 0, 0, solid(500, 401, 60, 120, 180).get()));
        Bytes rgb;
        for (int i = 0; i < 100 * 40; ++i) rgb.insert(rgb.end(), {250, 10, 10});
        EXPECT_FALSE(s.addRawTile(0, 0, -2, raw(Bytes(rgb.begin(), rgb.end() - 3), IntPair(100, 40), 1).get()));
        EXPECT_TRUE(s.addRawTile(0, 0, -2, raw(rgb, IntPair(100, 40), 1).get()));
        EXPECT_TRUE(s.addRawTile(0, 0, -2, raw(rgb, IntPair(100, 40), 1).get()));  // a second label is ignored
        EXPECT_TRUE(s.addRawTile(0, 0, -3, raw(jpegOf(solid(200, 50, 10, 10, 250).get(), 90), IntPair(200, 50), 7).get()));
        ASSERT_TRUE(s.finish());
        reports[big] = f.check();
    }
    for (const std::string& report : reports) {
        EXPECT_TRUE(has(report, "page 1 size 500x401 subfile 1 compression 7 photometric 6 tiled 0 parts 26 placed 26"))
            << report;
        std::string size;
        EXPECT_TRUE(near(mean(report, 1, 25, &size), 60, 120, 180)) << report;
        EXPECT_EQ(size, "500x1");
        EXPECT_TRUE(has(report, "page 2 size 100x40 subfile 1 compression 7 photometric 2 tiled 0 parts 3 placed 3 "
                                "desc label 100x40 JPEG Q=80"))
            << report;
        EXPECT_TRUE(near(mean(report, 2, 0), 250, 10, 10)) << report;
        EXPECT_TRUE(has(report, "page 3 size 200x50 subfile 9")) << report;
        EXPECT_TRUE(near(mean(report, 3, 3), 10, 10, 250)) << report;
        EXPECT_FALSE(has(report, "page 4"));
    }
    EXPECT_TRUE(has(reports[0], "bigtiff 0"));
    EXPECT_TRUE(has(reports[1], "bigtiff 1"));
}

// The adapters, with a saver that records what it is told.
class RecordingSaver : public vq_svs_saver_base {
public:
    std::vector<std::string> calls;
    void setTileSize(int edge) override { calls.push_back("tile " + std::to_string(edge)); }
    void beginStripImage(IntPair, int, int) override {}
    void setBaseLevel(IntPair size, int level, int, vq_raw_tile*) override { calls.push_back(describe("base", level, size)); }
    void addLevel(int level, IntPair size, int, vq_raw_tile*) override { calls.push_back(describe("level", level, size)); }
    bool addRawTile(int, int, int, vq_raw_tile*) override { return true; }
    bool addTile(int, int, int, imageContainer*) override { return true; }
    bool addStrip(int, imageContainer*) override { return false; }
    bool addTileYCbCr(int, int, int, imageContainer*, imageContainer*, imageContainer*, int) override { return true; }
    bool setThumbnail(int level, IntPair size, IntPair, int q) override {
        calls.push_back(describe("thumbnail", level, size) + " q" + std::to_string(q));
        return true;
    }
    bool addRawThumbnail(vq_raw_tile*) override { return true; }
    bool finish() override { return true; }
    void abort() override {}
    void setCompression(int) override {}
    void setSubsampling(int) override {}
    void setColourSpace(int) override {}
    void setQuality(int) override {}
    int getCompression() override { return 7; }
    void setDescription(const char*) override {}
    void setFullChroma(bool) override {}
    bool getFullChroma() override { return false; }
    void setScanInfo(double, double) override {}

private:
    static std::string describe(const char* what, int level, IntPair size) {
        return std::string(what) + " " + std::to_string(level) + " " + std::to_string(size.first) + "x" +
               std::to_string(size.second);
    }
};

template <class Output>
class Recorded : public Output {
public:
    Recorded() {
        recorder = new RecordingSaver;
        this->saver_ = recorder;
    }
    RecordingSaver* recorder;
};

vq_ptr<vq_zoom_layer> chain(int w, int h, int tile) {
    vq_ptr<vq_zoom_layer> base = vq_ptr<vq_zoom_layer>::adopt(vq_zoom_layer::create());
    base->setTileSize(IntPair(tile, tile));
    base->setMinTileSize(IntPair(tile, tile));
    base->setMaxTileSize(IntPair(tile, tile));
    base->setImageSize(IntPair(w, h));
    EXPECT_TRUE(base->createPyramid(true));
    return base;
}

TEST(SvsOutput, NamesThumbnailChoiceAndRawTileRefusals) {
    vq_ptr<vq_zoomoutput_svs> svs(vq_zoomoutput_svs::create());
    vq_ptr<vq_zoomoutput_pyramid> pyramid(vq_zoomoutput_pyramid::create());
    EXPECT_EQ(svs->fileName("/a/slide.SVS"), "/a/slide.SVS");
    EXPECT_EQ(svs->fileName("/a/slide"), "/a/slide.svs");
    EXPECT_EQ(svs->fileName(".svs"), ".svs.svs");
    EXPECT_EQ(pyramid->fileName("/a/p.ptif"), "/a/p.ptif.ptif");

    {
        Recorded<vq_zoomoutput_svs> out;
        auto base = chain(40000, 30000, 256);
        out.setBaseLayer(base.get());
        const auto& c = out.recorder->calls;
        ASSERT_GE(c.size(), 4u);
        EXPECT_EQ(c[1], "base " + std::to_string(base->getLevel()) + " 40000x30000");
        int thumbnails = 0, levels = 0;
        for (const auto& call : c) {
            thumbnails += call.rfind("thumbnail", 0) == 0;
            levels += call.rfind("level", 0) == 0;
            if (call.rfind("thumbnail", 0) == 0) EXPECT_NE(call.find(" 1250x937 q75"), std::string::npos) << call;
        }
        EXPECT_EQ(thumbnails, 1);
        // Every level below the base, down to the one of a single tile.
        int expected = 0;
        for (vq_zoom_layer* l = base->getNextLayer(); l != nullptr; l = l->getNextLayer()) expected += !l->isRetiling();
        EXPECT_EQ(levels, expected);
    }
    {
        Recorded<vq_zoomoutput_svs> out;
        auto base = chain(3000, 700, 256);
        out.setBaseLayer(base.get());
        EXPECT_EQ(out.recorder->calls[2], "thumbnail " + std::to_string(base->getLevel()) + " 3000x700 q75");
    }
    {
        Recorded<vq_zoomoutput_svs> out;
        auto base = chain(200, 100, 256);
        out.setBaseLayer(base.get());
        EXPECT_EQ(out.recorder->calls.back(), "thumbnail " + std::to_string(base->getLevel()) + " 200x100 q75");
        for (const auto& call : out.recorder->calls) EXPECT_NE(call.rfind("level", 0), 0u) << call;
    }
    {
        Recorded<vq_zoomoutput_pyramid> out;
        auto base = chain(3000, 700, 256);
        out.setBaseLayer(base.get());
        for (const auto& call : out.recorder->calls) EXPECT_NE(call.rfind("thumbnail", 0), 0u) << call;
    }
    {
        // A raw tile of another size is refused silently and re-encoded.
        Recorded<vq_zoomoutput_svs> out;
        auto base = chain(1024, 1024, 256);
        out.setBaseLayer(base.get());
        vq_ptr<vq_zoom_tile_base> tile;
        createZoomTile(&tile);
        ASSERT_NE(tile, nullptr);
        auto small = raw(Bytes(100, 0), IntPair(240, 240), 7);
        EXPECT_FALSE(out.saveRawTile(tile.get(), small.get()));
        EXPECT_FALSE(out.hasFailed());
        EXPECT_EQ(out.getErrors(), "");
        auto label = raw(Bytes(100, 0), IntPair(240, 240), 1);
        tile->setKey(vq_tileKey(0, 0, -2));
        EXPECT_TRUE(out.saveRawTile(tile.get(), label.get()));
    }
}

} // namespace
