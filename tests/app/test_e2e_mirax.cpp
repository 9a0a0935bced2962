// A Mirax slide from the window, served by the fake slide-access component:
// the dispatcher proves the slide opens, the worker opens it again on its own
// thread and the tile folder shows the scanned area, checked by the
// independent script.
#include "tests/app/e2e_fixture.h"
#include "tests/readers/mirax/fake_slide_component.h"

namespace {

using namespace e2e;
using miraxtest::FakeSlideComponent;
using miraxtest::InstalledComponent;

TEST_F(EndToEnd, MiraxSlideBecomesATileFolderOfItsScannedArea) {
    // Scanned tiles in columns 2 to 4 and rows 1 to 2 of the scan map: a
    // picture of 768 x 512 pixels whose first tile is the component's (2, 1).
    constexpr int across = 3, down = 2, firstColumn = 2, firstRow = 1;
    SourceFolder src("e2e_mirax", across * 256, down * 256);
    FakeSlideComponent fake;
    fake.setMap(6, 4);
    fake.scan(firstColumn, firstRow, firstColumn + across - 1, firstRow + down - 1);
    fake.pixel = [](int32_t column, int32_t row, int32_t, int32_t px, int32_t py) {
        const int x = (column - firstColumn) * 256 + px, y = (row - firstRow) * 256 + py;
        const int w = across * 256, h = down * 256;
        return miraxtest::Bgr{sample(x, y, 2, w, h), sample(x, y, 1, w, h), sample(x, y, 0, w, h)};
    };
    InstalledComponent installed(&fake);

    vq_ptr<vq_global_base> global;
    getGlobal(global.put());
    const int loaders = global->getLoaderThreadCount();
    const int encoders = global->getEncoderThreadCount();

    const std::string slide = src.path("scan.MRXS");
    const int id = drop(juce::StringArray(juce::String(slide)));
    ASSERT_TRUE(runUntilFinal(id, 1));
    const ConversionJob& job = row(id);
    EXPECT_EQ(job.getStatus(), kStatusFinished) << job.getMessage() << joined(job.logLines);
    // Opened by the dispatcher and again by the worker, as the slide's path
    // without its ending.
    const std::string componentPath = juce::String(src.path("scan")).replace("/", "\\").toStdString();
    EXPECT_EQ(fake.loadedPaths, std::vector<std::string>({componentPath, componentPath}));
    // Every base tile was rendered once, at level 0.
    EXPECT_EQ(fake.regionCalls.size(), size_t(across * down));
    for (const auto& call : fake.regionCalls) EXPECT_EQ(call.level, 0);
    // A slide's tile folder carries "_K" after its name.
    EXPECT_EQ(src.check("kestrix", src.path("scan_K")), "OK");
    // The run's thread counts are the machine's again afterwards.
    EXPECT_EQ(global->getLoaderThreadCount(), loaders);
    EXPECT_EQ(global->getEncoderThreadCount(), encoders);
}

TEST_F(EndToEnd, MiraxSlideThatTheWorkerCannotOpenFails) {
    SourceFolder src("e2e_mirax_fail", 256, 256);
    FakeSlideComponent fake;
    fake.setMap(2, 2);
    fake.scan(0, 0, 1, 1);
    // The dispatcher's open succeeds; the worker's load is refused.
    fake.loadStatuses = {0, vq::platform::kSlideFailed};
    InstalledComponent installed(&fake);
    const int id = drop(juce::StringArray(juce::String(src.path("late.mrxs"))));
    ASSERT_TRUE(runUntilFinal(id, 1));
    EXPECT_EQ(row(id).getStatus(), kStatusFailed);
    EXPECT_EQ(fake.loadedPaths.size(), 2u);
    EXPECT_TRUE(fake.regionCalls.empty());
    EXPECT_FALSE(fs::exists(src.path("late_K")));
}

} // namespace
