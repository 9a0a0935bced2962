#include <gtest/gtest.h>

#include "app/ConversionJob.h"
#include "tests/app/app_test_support.h"
#include "tests/support/test_env.h"

TEST(ConversionJob, IdsRiseByOnePerPathAndTheDefaultJobIsUnassigned) {
    const ConversionJob idle;
    EXPECT_FALSE(idle.isAssigned());
    EXPECT_EQ(idle.status, kStatusPending);

    const int next = jobIdCounter;
    EXPECT_GE(next, 1);
    const ConversionJob a("/data/a.svs"), b("/data/b.svs"), c("/data/c.svs");
    EXPECT_EQ(a.jobId, next);
    EXPECT_EQ(b.jobId, next + 1);
    EXPECT_EQ(c.jobId, next + 2);
    EXPECT_TRUE(a.isAssigned());
}

TEST(ConversionJob, PathTestsIgnoreCaseAndReportMissingCharacters) {
    const ConversionJob job("/slides/Scan.SVS");
    EXPECT_TRUE(job.pathEndsWith(".svs"));
    EXPECT_TRUE(job.pathEndsWith(".SVS"));
    EXPECT_FALSE(job.pathEndsWith(".scn"));
    EXPECT_EQ(job.lastIndexInPath('.'), 12);
    EXPECT_EQ(ConversionJob("/slides/noextension").lastIndexInPath('.'), -1);
}

TEST(ConversionJob, SetResultKeepsEveryTextInTheLogAndTheLastAsMessage) {
    ConversionJob job("/x.jpg");
    job.setResult("first\n", kStatusFailed);
    job.setResult("second\n", kStatusInvalidFile);
    EXPECT_EQ(job.getStatus(), kStatusInvalidFile);
    EXPECT_EQ(job.getMessage(), "second\n");
    EXPECT_EQ(job.logLines, juce::StringArray({"first\n", "second\n"}));

    // Copies carry their own log lines.
    ConversionJob copy = job;
    copy.appendLog("more");
    EXPECT_EQ(job.logLines.size(), 2);
    EXPECT_EQ(copy.logLines.size(), 3);
    copy.clearLog();
    EXPECT_TRUE(copy.logLines.isEmpty());
}

TEST(PathTests, FileStatusFillsModeAndUtcTime) {
    const auto dir = vqtest::scratchDir("app_file_status");
    FileStatus status;
    ASSERT_EQ(status.read(dir), 0);
    EXPECT_TRUE(status.isDirectory());
    EXPECT_GE(status.modifiedUtc.tm_year, 120);

    vqtest::writeFile(dir + "/plain", "x");
    FileStatus file;
    ASSERT_EQ(file.read(dir + "/plain"), 0);
    EXPECT_FALSE(file.isDirectory());
    EXPECT_EQ(file.status.st_size, 1);

    FileStatus missing;
    EXPECT_NE(missing.read(dir + "/missing"), 0);
    EXPECT_EQ(missing.modifiedUtc.tm_year, 0);
}

TEST(PathTests, RecognisesTileAndSlideFolders) {
    apptest::ScratchTree tree("app_folders");
    const auto tiles = tree.folder("tiles");
    tree.file("tiles/ImageProperties.xml");
    tree.folder("tiles/TileGroup0");
    const auto tilesWithFileGroup = tree.folder("tilesfile");
    tree.file("tilesfile/ImageProperties.xml");
    tree.file("tilesfile/TileGroup0");
    const auto noGroup = tree.folder("nogroup");
    tree.file("nogroup/ImageProperties.xml");
    const auto bacusMixed = tree.folder("bacus1");
    tree.file("bacus1/FinalScan.ini");
    const auto bacusLower = tree.folder("bacus2");
    tree.file("bacus2/Finalscan.ini");
    const auto bacusUpper = tree.folder("bacus3");
    tree.file("bacus3/FINALSCAN.INI");
    const auto plainFile = tree.file("plain.ini");
    tree.file("FinalScan.ini");  // next to a plain file, not inside a folder

    struct Case {
        juce::String path;
        bool kestrix, bacus;
    };
    const Case cases[] = {
        {tiles, true, false},
        {tiles + "/", true, false},
        {tilesWithFileGroup, true, false},
        {noGroup, false, false},
        {bacusMixed, false, true},
        {bacusLower + "/", false, true},
        {bacusUpper, false, true},
        {plainFile, false, false},
        {tree.path("missing"), false, false},
        {"", false, false},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(isKestrixFolder(c.path), c.kestrix) << c.path;
        EXPECT_EQ(isBacusFolder(c.path), c.bacus) << c.path;
    }
}
