// JP2 files dropped on the window become tile folders: a tiled file read
// through the tile loader (reduced levels straight from the code-stream), an
// ordinary one-tile file through the strip loader, and a verify job of the
// tiled file. opj_compress writes the files from the test picture.
#include "tests/app/e2e_fixture.h"

namespace {

using namespace e2e;

std::string compressJp2(const SourceFolder& src, const std::string& name, const std::string& options) {
    const std::string out = src.path(name);
    std::string log;
    EXPECT_EQ(vqtest::runCommand(vqtest::requireTool("opj_compress") + " -i '" + src.ppm() + "' -o '" + out + "' " +
                                     options + " 2>&1",
                                 &log),
              0)
        << log;
    return out;
}

TEST_F(EndToEnd, Jp2FilesBecomeTileFolders) {
    SourceFolder src("e2e_jp2");
    const std::vector<std::string> files = {compressJp2(src, "tiled.jp2", "-t 1024,1024 -n 5"),
                                            compressJp2(src, "ordinary.jp2", "-n 5")};
    juce::StringArray paths;
    for (const auto& f : files) paths.add(f);
    const int first = drop(paths);
    ASSERT_TRUE(runUntilFinal(first, 2));
    for (int i = 0; i < 2; ++i) {
        const ConversionJob& job = row(first + i);
        SCOPED_TRACE(files[size_t(i)]);
        EXPECT_EQ(job.getStatus(), kStatusFinished) << job.getMessage() << joined(job.logLines);
        const std::string folder = src.path(fs::path(files[size_t(i)]).stem().string());
        // Every tile in place; the smaller levels against the pyramid of 2 x 2
        // averages. The lossless source leaves only the converter's halving
        // and JPEG tiles: about 0.8, 1.4, 2.8 and 4.3 from the largest level
        // down; a tile out of place adds 20 or more.
        EXPECT_EQ(src.check("kestrix", folder, 256, "--levels 6"), "OK");
    }
    EXPECT_TRUE(content().getFailedFileMessages().isEmpty()) << content().getFailedFileMessages().joinIntoString("|");

    // A verify job reads every tile of every level the tiled file offers
    // (reduced levels decoded from the code-stream); a tile that fails to
    // load fails the job.
    const int verify = drop(juce::StringArray(juce::String(files[0])), 6);
    ASSERT_TRUE(runUntilFinal(verify, 1));
    EXPECT_EQ(row(verify).getStatus(), kStatusFinished) << row(verify).getMessage() << joined(row(verify).logLines);
}

} // namespace
