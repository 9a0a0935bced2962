// Slide files from the window: a JPEG source and a JPEG-tiled SVS source
// become SVS files (output type 1) and pyramid TIFFs (type 5); every tile is
// read back with tifffile and djpeg, and an SVS source keeps its base tiles
// byte for byte.
#include "tests/app/e2e_fixture.h"

#include <sstream>

#include "tests/readers/tiff/slide_fixture.h"

namespace {

using namespace e2e;

std::string describe(const std::string& file) {
    std::string out;
    const int rc = vqtest::runCommand("/usr/bin/python3 '" VQ_SVS_CHECK "' '" + file + "' 2>&1", &out);
    EXPECT_EQ(rc, 0) << out;
    return out;
}

bool has(const std::string& text, const std::string& part) { return text.find(part) != std::string::npos; }

TEST_F(EndToEnd, JpegSourceBecomesSvsAndPyramidTiff) {
    SourceFolder src("e2e_svs_out");
    const std::string jpg = src.make("picture.jpg");
    for (int type : {1, 5}) {
        SCOPED_TRACE(type);
        // The window has no toggle for pyramid TIFF: that job is queued with
        // its type, as the engine's callers do.
        int id = 0;
        if (type == 1) {
            id = drop(juce::StringArray(jpg.c_str()), type);
        } else {
            ConversionJob job{juce::String(jpg)};
            job.outputType = type;
            job.tileSize = 256;
            job.quality = job.maxQuality = 80;
            window_->queueJob(job);
            window_->startTimer(100);
            id = job.jobId;
        }
        ASSERT_TRUE(runUntilFinal(id, 1));
        const ConversionJob& job = row(id);
        EXPECT_EQ(job.getStatus(), kStatusFinished) << job.getMessage() << joined(job.logLines);
        const std::string file = src.path(type == 1 ? "picture.svs" : "picture.ptif");
        ASSERT_TRUE(fs::exists(file)) << file;
        const std::string report = describe(file);
        // 2000 x 1500 in 256-pixel tiles: 8 x 6 tiles, every one in place.
        EXPECT_TRUE(has(report, "page 0 size 2000x1500 subfile 0 compression 7 photometric 6 tiled 1 parts 48 placed 48"))
            << report;
        if (type == 1) {
            // The 1000 x 750 level is below 1024 x 768 both ways, so the
            // thumbnail is made from the base level, fitted to 1024 x 768.
            EXPECT_TRUE(has(report, "page 1 size 1024x768 subfile 1")) << report;
            EXPECT_TRUE(has(report, "page 2 size 1000x750 subfile 0")) << report;
        } else {
            EXPECT_TRUE(has(report, "page 1 size 1000x750 subfile 0")) << report;
        }
        EXPECT_TRUE(has(report, "bigtiff 0"));
        // The top-left tile holds the picture's top-left corner: red rises
        // from 0 to 255 over the width, green over the height.
        std::istringstream in(report);
        for (std::string line; std::getline(in, line);) {
            if (line.rfind("part 0 0 ", 0) != 0) continue;
            std::istringstream l(line.substr(9));
            std::string size;
            int r = 0, g = 0, b = 0;
            l >> size >> r >> g >> b;
            EXPECT_EQ(size, "256x256");
            EXPECT_NEAR(r, 128 * 255 / 2000, 4);
            EXPECT_NEAR(g, 128 * 255 / 1500, 4);
        }
    }
}

// A JPEG-tiled SVS: every base tile of the converted SVS is the source's
// stored tile, byte for byte (with the start-of-image marker that every
// other source tile leaves out).
TEST_F(EndToEnd, SvsSourceKeepsItsBaseTilesInSvs) {
    const std::string dir = fs::absolute(vqtest::scratchDir("e2e_svs_copy")).string();
    tifftest::TiffBuilder b;
    slidetest::DirSpec base = slidetest::jpegLevel(1024, 768, 256, 21, nullptr, "-quality 90 -sample 2x2");
    base.extra.push_back(tifftest::bytes(270, 2, slidetest::toBytes(std::string("Aperio Image Library v10.0.50\n1024x768 -> 1024x768") + '\0')));
    slidetest::addDir(b, base);
    slidetest::addDir(b, slidetest::jpegLevel(256, 192, 256, 22, nullptr, "-quality 90 -sample 2x2"));
    const std::string source = dir + "/slide.svs";
    ASSERT_TRUE(vqtest::writeFile(source, slidetest::toString(b.bytes())));

    const int id = drop(juce::StringArray(source.c_str()), 1);
    ASSERT_TRUE(runUntilFinal(id, 1));
    const ConversionJob& job = row(id);
    EXPECT_EQ(job.getStatus(), kStatusFinished) << job.getMessage() << joined(job.logLines);
    const std::string output = dir + "/slidecopy.svs";
    ASSERT_TRUE(fs::exists(output));
    const std::string report = describe(output);
    EXPECT_TRUE(has(report, "page 0 size 1024x768 subfile 0 compression 7 photometric 6 tiled 1 parts 12 placed 12"))
        << report;
    const std::string script = dir + "/same_tiles.py";
    ASSERT_TRUE(vqtest::writeFile(script, "import sys, tifffile\n"
                                          "def tiles(p):\n"
                                          "    d = open(p, 'rb').read()\n"
                                          "    with tifffile.TiffFile(p) as t:\n"
                                          "        pg = t.pages[0]\n"
                                          "        return [d[o:o + c] for o, c in zip(pg.dataoffsets, pg.databytecounts)]\n"
                                          "a, b = tiles(sys.argv[1]), tiles(sys.argv[2])\n"
                                          "a = [x if x[:2] == b'\\xff\\xd8' else b'\\xff\\xd8' + x for x in a]\n"
                                          "same = sum(1 for x, y in zip(a, b) if x == y)\n"
                                          "print('same %d of %d' % (same, len(a)))\n"));
    std::string out;
    EXPECT_EQ(vqtest::runCommand("/usr/bin/python3 '" + script + "' '" + source + "' '" + output + "'", &out), 0);
    EXPECT_EQ(out, "same 12 of 12\n");
}

} // namespace
