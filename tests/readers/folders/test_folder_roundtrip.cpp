// Whole runs through the pyramid driver: a Bacus slide read as strips becomes
// a tile folder, a Google Earth tile set or a verified pyramid, and the tile
// folder reads back as the pyramid that was written.
#include <filesystem>

#include <gtest/gtest.h>

#include "engine/pyramid/kestrifier.h"
#include "engine/base/vq_global.h"
#include "outputs/output_factories.h"
#include "readers/folders/bacus_reader.h"
#include "readers/folders/kestrix_folder_reader.h"
#include "support/test_env.h"
#include "tests/readers/folders/folder_fixtures.h"

namespace fs = std::filesystem;
using namespace foldertest;

namespace {

// A regular 3 x 2 Bacus slide of 240 x 256 frames: a 720 x 512 image.
std::string writeBacusSlide(const std::string& folder)
{
    fs::create_directories(folder);
    std::string index = "[Header]\niImageWidth=240\niImageHeight=256\nlXStepSize=1000\nlYStepSize=1000\n";
    int n = 0;
    for (int y = 0; y < 2; ++y)
        for (int x = 0; x < 3; ++x) {
            const std::string name = "Da" + std::to_string(++n);
            index += "[" + name + "]\nx=" + std::to_string(x * 1000) + "\ny=" + std::to_string(y * 1000) + "\n";
            auto frame = makeImage(vq_fmtRGB24, 240, 256, [n](int px, int py, int ch) {
                return static_cast<uint8_t>(20 + n * 20 + px / 4 + py / 3 + ch * 15);
            });
            EXPECT_TRUE(writeJpeg(folder + "/" + name + ".jpg", frame.get(), 95));
        }
    EXPECT_TRUE(vqtest::writeFile(folder + "/FinalScan.ini", index));
    return folder;
}

// The whole slide as one RGB image, from its strips.
vq_ptr<imageContainer> slideImage(vq_loader_base* slide)
{
    vq_ptr<vq_stripLoader_base> strips;
    EXPECT_TRUE(slide->getStripLoader(strips.put()));
    auto image = makeImage(vq_fmtRGB24, 720, 512, [](int, int, int) { return 0; });
    EXPECT_TRUE(strips->prepareStrips(256, 4));
    for (int row = 0; row < 512; row += 256) {
        auto strip = vq_ptr<imageContainer>::adopt(imageContainer::create());
        int done = 0;
        EXPECT_TRUE(strips->readNextStrip(&done, strip.get()));
        image->copyRegionFrom(strip.get(), IntPair(0, 0), IntPair(0, row), 720, 256);
    }
    return image;
}

class DriverRun : public ::testing::TestWithParam<bool> {
protected:
    void SetUp() override
    {
        registerOutputFactories();
        getGlobal(global.put());
        saved = {global->getEncoderThreadCount(), global->isMultiThreaded()};
        global->setEncoderThreadCount(GetParam() ? 3 : 0);
        global->setMultiThreaded(GetParam());
        root = vqtest::scratchDir(std::string("driver_run_") + (GetParam() ? "threaded" : "unthreaded"));
        slideFolder = writeBacusSlide(root + "/slide");
        ASSERT_TRUE(createBacusLoader(slideFolder.c_str(), false, slide.put()));
    }
    void TearDown() override
    {
        global->setEncoderThreadCount(saved.encoders);
        global->setMultiThreaded(saved.multi);
    }

    // Runs the driver over the slide's strips into a new output of the option.
    vq_ptr<vq_zoomoutput_base> run(int32_t option, const std::string& path)
    {
        vq_ptr<vq_kestrifier_base> driver;
        createKestrifier(&driver);
        driver->setQuality(90);
        driver->setMaxQuality(90);
        driver->setOutputOption(option);
        vq_ptr<vq_stripLoader_base> strips;
        EXPECT_TRUE(slide->getStripLoader(strips.put()));
        EXPECT_TRUE(driver->kestrixStrips(strips.get(), path.c_str(), ".jpg"));
        return vq_ptr<vq_zoomoutput_base>(driver->getOutput());
    }

    struct {
        int32_t encoders;
        bool multi;
    } saved{};
    vq_ptr<vq_global_base> global;
    std::string root;
    std::string slideFolder;
    vq_ptr<vq_loader_base> slide;
};

} // namespace

TEST_P(DriverRun, TileFolderReadsBackAsThePyramid)
{
    auto out = run(0, root + "/folder");
    ASSERT_NE(out, nullptr);
    EXPECT_FALSE(out->hasFailed()) << out->getErrors();
    EXPECT_EQ(vqtest::readFile(root + "/folder/ImageProperties.xml"),
              "<IMAGE_PROPERTIES WIDTH=\"720\" HEIGHT=\"512\" NUMTILES=\"9\" NUMIMAGES=\"1\" VERSION=\"1.8\" "
              "TILESIZE=\"256\" />");

    vq_ptr<vq_loader_base> folder;
    ASSERT_TRUE(createKestrixLoader((root + "/folder").c_str(), folder.put()));
    vq_ptr<vq_tileloader_base> tiles;
    ASSERT_TRUE(folder->getTileLoader(tiles.put()));
    EXPECT_EQ(tiles->getLevelSizes(0), (std::vector<IntPair>{{720, 512}, {360, 256}, {180, 128}}));
    EXPECT_EQ(tiles->getTileCount(0), 9);

    auto expected = slideImage(slide.get());
    for (int y = 0; y < 2; ++y)
        for (int x = 0; x < 3; ++x) {
            auto tile = vq_ptr<imageContainer>::adopt(imageContainer::create());
            ASSERT_TRUE(tiles->loadTile(x, y, 0, 0, tile.get(), 4)) << x << " " << y;
            const IntPair size(std::min(256, 720 - x * 256), std::min(256, 512 - y * 256));
            ASSERT_EQ(IntPair(tile->getWidth(), tile->getHeight()), size);
            vq_ptr<vq_image_container_base> part;
            ASSERT_TRUE(expected->createCroppedContainer(IntPair(x * 256, y * 256), size.first, size.second,
                                                         part.put()));
            EXPECT_LT(meanDifference(tile.get(), static_cast<imageContainer*>(part.get())), 3.0) << x << " " << y;
        }
}

TEST_P(DriverRun, TileThatCannotBeWrittenFailsTheRun)
{
    fs::create_directories(root + "/blocked/TileGroup0/2-1-1.jpg");
    vq_ptr<vq_kestrifier_base> driver;
    createKestrifier(&driver);
    driver->setOutputOption(0);
    vq_ptr<vq_stripLoader_base> strips;
    ASSERT_TRUE(slide->getStripLoader(strips.put()));
    driver->kestrixStrips(strips.get(), (root + "/blocked").c_str(), ".jpg");
    ASSERT_NE(driver->getOutput(), nullptr);
    EXPECT_TRUE(driver->getOutput()->hasFailed());
    EXPECT_NE(driver->getOutput()->getErrors(), "");
    EXPECT_TRUE(fs::exists(root + "/blocked/TileGroup0/2-0-0.jpg"));
}

TEST_P(DriverRun, GoogleEarthAndVerifyOutputs)
{
    auto google = run(4, root + "/earth");
    ASSERT_NE(google, nullptr);
    EXPECT_FALSE(google->hasFailed()) << google->getErrors();
    EXPECT_TRUE(fs::exists(root + "/earth.kml"));
    for (const char* file : {"/earth/2/2-1.jpg", "/earth/1/1-0.jpg", "/earth/0/0-0.jpg"})
        EXPECT_TRUE(fs::exists(root + file)) << file;

    auto verify = run(6, root + "/unused");
    ASSERT_NE(verify, nullptr);
    EXPECT_FALSE(verify->hasFailed()) << verify->getErrors();
    EXPECT_EQ(verify->getOutputOption(), 6);
    EXPECT_FALSE(fs::exists(root + "/unused"));
}

INSTANTIATE_TEST_SUITE_P(Threading, DriverRun, ::testing::Values(false, true),
                         [](const auto& info) { return info.param ? "threaded" : "unthreaded"; });
