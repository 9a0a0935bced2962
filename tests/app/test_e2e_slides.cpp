// Slides from the window, made as scanners write them (JPEG tiles encoded by
// libjpeg, shared tables, no subsampling tag): an Aperio SVS with thumbnail,
// label and macro, and a plain JPEG-tiled pyramid TIFF. Their base tiles reach
// the tile folder undecoded, with the window's thread counts and with 0 and 8
// loader threads; the folder is checked by the independent script.
#include "tests/app/e2e_fixture.h"

#include <tuple>

namespace {

using namespace e2e;

// Mean difference per sample that a level may show against the reference
// pyramid of 2 x 2 averages. The converter halves with cubic resampling and
// encodes every smaller level again as JPEG with subsampled chroma, which
// blurs the picture's sharp blue block edges once more per level: about 2.6,
// 5.5 and 8.2 on the three smaller levels. A tile out of place adds 20 or more.
constexpr const char* kLevelTolerance = "10";

// The tile file of level `level` at (x, y), in whichever TileGroup it went.
std::string tileFile(const std::string& folder, int level, int x, int y) {
    const std::string name = std::to_string(level) + "-" + std::to_string(x) + "-" + std::to_string(y) + ".jpg";
    for (int group = 0; fs::exists(folder + "/TileGroup" + std::to_string(group)); ++group) {
        const std::string file = folder + "/TileGroup" + std::to_string(group) + "/" + name;
        if (fs::exists(file)) return file;
    }
    return {};
}

// Aperio SVS or plain pyramid TIFF; loader threads, -1 for the window's count.
class SlideEndToEnd : public EndToEnd, public ::testing::WithParamInterface<std::tuple<bool, int>> {};

TEST_P(SlideEndToEnd, BaseTilesPassUndecodedAndLevelsMatchTheReference) {
    const auto [aperio, loaders] = GetParam();
    const std::string name = aperio ? "slide.svs" : "pyramid.tif";
    SourceFolder src("e2e_slides_" + std::string(aperio ? "svs_" : "tif_") + std::to_string(loaders + 1));
    const SlideFile slide = src.makeSlide(name, aperio);
    if (loaders >= 0) {
        vq_ptr<vq_global_base> global;
        getGlobal(global.put());
        global->setLoaderThreadCount(loaders);
    }
    const int id = drop(juce::StringArray(juce::String(slide.path)));
    ASSERT_TRUE(runUntilFinal(id, 1));
    const ConversionJob& job = row(id);
    const juce::String log = joined(job.logLines);
    EXPECT_EQ(job.getStatus(), kStatusFinished) << job.getMessage() << log;
    EXPECT_TRUE(log.contains("Using raw JPEG tiles for base layer\n")) << log;

    // Every tile present at its size and decoded by djpeg; the base level
    // shows the picture, the smaller ones the reference pyramid.
    const std::string folder = src.path(aperio ? "slide" : "pyramid");
    EXPECT_EQ(src.check("kestrix", folder, 256, std::string("--levels ") + kLevelTolerance), "OK");

    // 2000 x 1500 gives levels 0 to 3; the base tiles inside the picture are
    // the stored tiles completed with their tables, byte for byte (edge tiles
    // are cut to the picture).
    int compared = 0;
    for (int y = 0; y < slide.down; ++y)
        for (int x = 0; x < slide.across; ++x) {
            const std::string file = tileFile(folder, 3, x, y);
            ASSERT_FALSE(file.empty()) << x << "," << y;
            if ((x + 1) * 256 > kWidth || (y + 1) * 256 > kHeight) continue;
            EXPECT_TRUE(vqtest::readFile(file) == bytesText(slide.spliced(x, y))) << file;
            ++compared;
        }
    EXPECT_EQ(compared, 7 * 5);
}

INSTANTIATE_TEST_SUITE_P(Slides, SlideEndToEnd, ::testing::Combine(::testing::Bool(), ::testing::Values(-1, 0, 8)),
                         [](const ::testing::TestParamInfo<std::tuple<bool, int>>& info) {
                             const int loaders = std::get<1>(info.param);
                             return std::string(std::get<0>(info.param) ? "Svs" : "PyramidTiff") +
                                    (loaders < 0 ? "WindowThreads" : std::to_string(loaders) + "Loaders");
                         });

} // namespace
