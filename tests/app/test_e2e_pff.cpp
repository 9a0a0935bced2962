// PFF files from the window: a JPEG source becomes a PFF file (output type
// 7), read back by the PFF tests' independent reader and djpeg; that PFF
// file as a source becomes a tile folder that shows the picture.
#include "tests/app/e2e_fixture.h"

#include <sstream>

namespace {

using namespace e2e;

// The mean difference per sample between a tile decoded by djpeg and the
// test picture's region at (x0, y0).
double tileDifference(const std::string& ppmPath, int x0, int y0, int* w, int* h) {
    const std::string bytes = vqtest::readFile(ppmPath);
    std::istringstream in(bytes);
    std::string magic;
    int maxval = 0;
    in >> magic >> *w >> *h >> maxval;
    in.get();
    const size_t start = static_cast<size_t>(in.tellg());
    if (magic != "P6" || bytes.size() != start + size_t(*w) * *h * 3) return 1e9;
    double sum = 0;
    for (int y = 0; y < *h; ++y)
        for (int x = 0; x < *w; ++x)
            for (int c = 0; c < 3; ++c)
                sum += std::abs(static_cast<uint8_t>(bytes[start + (size_t(y) * *w + x) * 3 + c]) -
                                sample(x0 + x, y0 + y, c, kWidth, kHeight));
    return sum / (double(*w) * *h * 3);
}

TEST_F(EndToEnd, JpegSourceBecomesPffAndPffSourceBecomesTileFolder) {
    SourceFolder src("e2e_pff");
    const std::string jpg = src.make("picture.jpg");
    const int id = drop(juce::StringArray(jpg.c_str()), 7);
    ASSERT_TRUE(runUntilFinal(id, 1));
    const ConversionJob& job = row(id);
    EXPECT_EQ(job.getStatus(), kStatusFinished) << job.getMessage() << joined(job.logLines);
    const std::string pff = src.path("picture.pff");
    ASSERT_TRUE(fs::exists(pff)) << pff;

    // 2000 x 1500 at 256-pixel tiles: 48 + 12 + 4 + 1 tiles in four levels.
    const std::string dump = vqtest::scratchDir("e2e_pff_tiles");
    std::string report;
    const int rc = vqtest::runCommand("/usr/bin/python3 '" VQ_PFF_CHECK "' '" + pff + "' --dump '" + dump + "' 2>&1",
                                      &report);
    ASSERT_EQ(rc, 0) << report;
    EXPECT_NE(report.find("tiles 65 chunks"), std::string::npos) << report;
    EXPECT_NE(report.find("levels 4"), std::string::npos) << report;
    // The first and the last base tile show their parts of the picture.
    int w = 0, h = 0;
    EXPECT_LT(tileDifference(dump + "/tile_0.ppm", 0, 0, &w, &h), 4.0);
    EXPECT_EQ(IntPair(w, h), IntPair(256, 256));
    EXPECT_LT(tileDifference(dump + "/tile_47.ppm", 7 * 256, 5 * 256, &w, &h), 4.0);
    EXPECT_EQ(IntPair(w, h), IntPair(2000 - 7 * 256, 1500 - 5 * 256));

    const int back = drop(juce::StringArray(pff.c_str()), 0);
    ASSERT_TRUE(runUntilFinal(back, 1));
    const ConversionJob& again = row(back);
    EXPECT_EQ(again.getStatus(), kStatusFinished) << again.getMessage() << joined(again.logLines);
    EXPECT_EQ(src.check("kestrix", src.path("picture")), "OK");
}

} // namespace
