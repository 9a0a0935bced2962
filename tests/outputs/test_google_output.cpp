#include <filesystem>

#include <gtest/gtest.h>

#include "outputs/google_output.h"
#include "outputs/output_factories.h"
#include "support/test_env.h"
#include "tests/outputs/output_fixtures.h"

namespace fs = std::filesystem;
using namespace outtest;

TEST(GoogleOutput, KmlMatchesGoldenFilesAndIsWellFormed)
{
    const std::string xmllint = vqtest::requireTool("xmllint");
    const struct {
        int32_t width;
        int32_t height;
    } sizes[] = {{2000, 1000}, {1000, 1000}, {1000, 2000}};
    for (const auto& size : sizes) {
        const std::string name = std::to_string(size.width) + "x" + std::to_string(size.height);
        const std::string root = vqtest::scratchDir("google_kml_" + name);
        auto base = makeChain(size.width, size.height, 256);
        ASSERT_NE(base, nullptr);
        auto out = openOutput(createGoogleOutput, root + "/earth", base.get());
        ASSERT_TRUE(out->finish()) << out->getErrors();
        EXPECT_FALSE(out->hasFailed());

        const std::string kml = vqtest::readFile(root + "/earth.kml");
        EXPECT_EQ(kml, vqtest::readFile(std::string(VQ_GOLDEN_DIR) + "/earth_" + name + ".kml")) << name;
        EXPECT_EQ(vqtest::runCommand(xmllint + " --noout '" + root + "/earth.kml' 2>&1"), 0) << name;
    }
}

TEST(GoogleOutput, TilesGoToOneFolderPerLevel)
{
    const std::string root = vqtest::scratchDir("google_levels");
    auto base = makeChain(1000, 800, 256);
    auto out = openOutput(createGoogleOutput, root + "/earth", base.get());
    const std::vector<TileSpec> tiles{{2, 3, 2, 232, 256}, {1, 0, 1, 256, 144}, {0, 0, 0, 250, 200}, {3, 5, 7, 64, 64}};
    for (const TileSpec& t : tiles)
        ASSERT_TRUE(out->saveTile(makeRgbTile(t).get()));
    ASSERT_TRUE(out->finish());
    EXPECT_EQ(listFiles(root), (std::vector<std::string>{"earth.kml", "earth/0/0-0.jpg", "earth/1/0-1.jpg",
                                                         "earth/2/3-2.jpg", "earth/3/5-7.jpg"}));
    EXPECT_EQ(djpegSize(root + "/earth/2/3-2.jpg"), IntPair(232, 256));
    EXPECT_EQ(djpegSize(root + "/earth/1/0-1.jpg"), IntPair(256, 144));
}

TEST(GoogleOutput, KmlNames)
{
    const std::string root = vqtest::scratchDir("google_names");
    auto base = makeChain(1000, 1000, 256);
    {   // A folder path ending in a separator leaves the name empty.
        auto out = openOutput(createGoogleOutput, root + "/trail/", base.get());
        ASSERT_TRUE(out->finish());
        const std::string kml = vqtest::readFile(root + "/trail/.kml");
        EXPECT_NE(kml.find("<name></name>\r\n"), std::string::npos);
        EXPECT_NE(kml.find("\t<href>/$[level]/$[x]-$[y].jpg</href>\r\n"), std::string::npos);
    }
    {   // A name that XML must escape.
        auto out = openOutput(createGoogleOutput, root + "/a&b", base.get());
        ASSERT_TRUE(out->finish());
        const std::string kml = vqtest::readFile(root + "/a&b.kml");
        EXPECT_NE(kml.find("<name>a&amp;b</name>"), std::string::npos);
        EXPECT_EQ(vqtest::runCommand(vqtest::requireTool("xmllint") + " --noout '" + root + "/a&b.kml' 2>&1"), 0);
    }
    {   // A backslash is part of the folder name, not a separator.
        vq_ptr<vq_google_output> out(vq_google_output::create());
        ASSERT_EQ(out->createOutputFolder(root + "/mixed\\part"), root + "/mixed\\part");
        ASSERT_TRUE(out->setOutputPath(root + "/mixed\\part", ""));
        out->setBaseLayer(base.get());
        ASSERT_TRUE(out->finish());
        EXPECT_TRUE(fs::exists(root + "/mixed\\part.kml"));
        EXPECT_NE(vqtest::readFile(root + "/mixed\\part.kml").find("<name>mixed\\part</name>"), std::string::npos);
    }
}

TEST(GoogleOutput, KmlThatCannotBeWrittenFailsTheRun)
{
    const std::string root = vqtest::scratchDir("google_blocked");
    auto base = makeChain(1000, 1000, 256);
    fs::create_directories(root + "/earth.kml");
    auto out = openOutput(createGoogleOutput, root + "/earth", base.get());
    EXPECT_FALSE(out->finish());
    EXPECT_TRUE(out->hasFailed());
    EXPECT_EQ(out->getErrors(), "Unable to write " + root + "/earth.kml\n");

    // A folder that could not be made leaves no path to put the KML beside.
    vq_ptr<vq_zoomoutput_base> unmade;
    ASSERT_TRUE(createGoogleOutput(unmade.put()));
    EXPECT_FALSE(unmade->setOutputPath(root + "/missing/earth", ""));
    unmade->setBaseLayer(base.get());
    EXPECT_TRUE(unmade->finish());
    EXPECT_FALSE(fs::exists(root + "/missing"));

    auto early = openOutput(createGoogleOutput, root + "/nobase", nullptr);
    EXPECT_FALSE(early->finish());
    EXPECT_TRUE(early->hasFailed());
}
