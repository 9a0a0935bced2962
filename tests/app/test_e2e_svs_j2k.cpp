// A JPEG source becomes an SVS file with JPEG 2000 tiles (output type 2),
// written by the built-in encoder: tifffile reads the directories back and
// opj_decompress decodes every tile, one component at a time, from a .j2k
// file of its own.
#include "tests/app/e2e_fixture.h"

#include <sstream>

namespace {

using namespace e2e;

bool has(const std::string& text, const std::string& part) { return text.find(part) != std::string::npos; }

TEST_F(EndToEnd, JpegSourceBecomesSvsWithJpeg2000Tiles) {
    SourceFolder src("e2e_svs_j2k");
    const std::string jpg = src.make("picture.jpg");
    const int id = drop(juce::StringArray(jpg.c_str()), 2);
    ASSERT_TRUE(runUntilFinal(id, 1));
    const ConversionJob& job = row(id);
    EXPECT_EQ(job.getStatus(), kStatusFinished) << job.getMessage() << joined(job.logLines);
    const std::string file = src.path("picture.svs");
    ASSERT_TRUE(fs::exists(file)) << file;

    std::string report;
    const int rc = vqtest::runCommand("/usr/bin/python3 '" VQ_SVS_CHECK "' '" + file + "' 2>&1", &report);
    ASSERT_EQ(rc, 0) << report;
    // 2000 x 1500 in 256-pixel tiles: 8 x 6 tiles, every one in place, and
    // the 1000 x 750 level below the thumbnail.
    EXPECT_TRUE(has(report, "page 0 size 2000x1500 subfile 0 compression 33003")) << report;
    EXPECT_TRUE(has(report, "tiled 1 parts 48 placed 48")) << report;
    EXPECT_TRUE(has(report, "page 2 size 1000x750 subfile 0 compression 33003")) << report;
    EXPECT_TRUE(has(report, "J2K/MIL Q=")) << report;

    // Every tile of every JPEG 2000 level decoded at 256 x 256; the top-left
    // tile's first component is the luma of the picture's top-left corner.
    int tiles = 0;
    std::istringstream in(report);
    std::string line;
    bool j2kPage = false;
    for (; std::getline(in, line);) {
        if (line.rfind("page ", 0) == 0) {
            j2kPage = has(line, "compression 33003");
            continue;
        }
        if (!j2kPage || line.rfind("part ", 0) != 0)
            continue;
        ++tiles;
        std::istringstream l(line.substr(5));
        int pageIndex = 0, k = 0, y = 0, cb = 0, cr = 0;
        std::string size;
        l >> pageIndex >> k >> size >> y >> cb >> cr;
        EXPECT_EQ(size, "256x256") << line;
        if (pageIndex == 0 && k == 0) {
            double luma = 0;
            for (int j = 0; j < 256; ++j)
                for (int i = 0; i < 256; ++i)
                    luma += 0.299 * sample(i, j, 0, kWidth, kHeight) + 0.587 * sample(i, j, 1, kWidth, kHeight) +
                            0.114 * sample(i, j, 2, kWidth, kHeight);
            EXPECT_NEAR(y, luma / (256 * 256), 4) << line;
        }
    }
    EXPECT_GE(tiles, 48 + 12) << report;
}

} // namespace
