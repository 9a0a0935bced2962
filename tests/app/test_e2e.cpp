// The converter from its window: files dropped on the window become jobs that
// the dispatcher runs on the worker thread, with preview, progress, log and
// final status; the outputs are checked by an independent script (djpeg and
// Python), not by the converter's own readers.
#include "tests/app/e2e_fixture.h"

#include "engine/pyramid/zoom_layer.h"
#include "engine/pyramid/zoom_tile.h"

namespace {

using namespace e2e;

TEST_F(EndToEnd, PlainSourcesBecomeTileFoldersNextToThemselves) {
    SourceFolder src("e2e_plain");
    const std::vector<std::string> names = {"picture.jpg", "picture2.png", "picture3.bmp", "picture4.ppm",
                                            "picture5.tif"};
    juce::StringArray paths;
    for (const auto& name : names) paths.add(src.make(name));
    const int first = drop(paths);
    EXPECT_EQ(window_->getTimerInterval(), 100);
    ASSERT_TRUE(runUntilFinal(first, static_cast<int>(names.size())));

    for (size_t i = 0; i < names.size(); ++i) {
        const ConversionJob& job = row(first + static_cast<int>(i));
        SCOPED_TRACE(names[i]);
        EXPECT_EQ(job.getStatus(), kStatusFinished) << job.getMessage() << joined(job.logLines);
        const std::string folder = src.path(fs::path(names[i]).stem().string());
        EXPECT_EQ(src.check("kestrix", folder), "OK");
        // The dispatcher's first line, then the driver's lines of the run.
        ASSERT_GE(job.logLines.size(), 2);
        EXPECT_EQ(job.logLines[0], "\nKestrixing to folder " + juce::String(folder) +
                                       "\nUsing tile size 256, quality 80\n");
        EXPECT_TRUE(joined(job.logLines).contains("File processed in")) << joined(job.logLines);
    }

    // A double-click on a row shows its log.
    auto& table = content().getJobTable()->getTable();
    table.updateContent();
    auto* rowComponent = table.getComponentForRowNumber(0);
    ASSERT_NE(rowComponent, nullptr);
    const auto now = juce::Time::getCurrentTime();
    const juce::MouseEvent click(juce::Desktop::getInstance().getMainMouseSource(), {20.0f, 5.0f}, {}, 0.0f, 0.0f,
                                 0.0f, 0.0f, 0.0f, rowComponent, rowComponent, now, {20.0f, 5.0f}, now, 2, false);
    rowComponent->mouseDoubleClick(click);
    auto* dialog = apptest::topModal<BadFilesDialog>();
    ASSERT_NE(dialog, nullptr);
    EXPECT_EQ(dialog->getName(), "Processing Result");
    EXPECT_EQ(dialog->getContent().getTextBox().getText(), joined(row(first).logLines));
    dialog->getContent().getOkButton().triggerClick();
    EXPECT_TRUE(apptest::pumpUntil([] { return apptest::topModal<BadFilesDialog>() == nullptr; }));
}

TEST_F(EndToEnd, PreviewProgressAndThreeIdleTicks) {
    SourceFolder src("e2e_preview");
    const int id = drop(juce::StringArray(juce::String(src.make("shown.ppm"))));
    ASSERT_TRUE(runUntilFinal(id, 1));
    EXPECT_EQ(row(id).getStatus(), kStatusFinished);
    EXPECT_EQ(window_->getProgressValue(), 1.0);

    // The base level (8 x 6 tiles) is drawn at scale 0.128 into 258 x 194 pixels.
    const juce::Image image = preview().getPreviewImage();
    ASSERT_TRUE(image.isValid());
    EXPECT_EQ(image.getWidth(), 258);
    EXPECT_EQ(image.getHeight(), 194);
    double difference = 0.0;
    int count = 0;
    for (int y = 4; y < 190; y += 9)
        for (int x = 4; x < 250; x += 11) {
            const juce::Colour shown = image.getPixelAt(x, y);
            const int sx = static_cast<int>((x + 0.5) / 0.128);
            const int sy = static_cast<int>((y + 0.5) / 0.128);
            if ((sx % 100) < 10 || (sx % 100) > 90 || (sy % 100) < 10 || (sy % 100) > 90) continue;  // block edges
            difference += std::abs(shown.getRed() - sample(sx, sy, 0, kWidth, kHeight)) +
                          std::abs(shown.getGreen() - sample(sx, sy, 1, kWidth, kHeight)) +
                          std::abs(shown.getBlue() - sample(sx, sy, 2, kWidth, kHeight));
            ++count;
        }
    ASSERT_GT(count, 100);
    EXPECT_LT(difference / (3.0 * count), 12.0);

    // The bar stays full for three idle ticks (1000 ms each), then the window is cleared.
    EXPECT_TRUE(apptest::pumpUntil([&] { return window_->getTimerInterval() == 1000; }));
    apptest::pumpMessages(1500);
    EXPECT_EQ(window_->getProgressValue(), 1.0);
    EXPECT_TRUE(preview().hasPreviewImage());
    EXPECT_TRUE(apptest::pumpUntil([&] { return !preview().hasPreviewImage(); }));
    EXPECT_EQ(window_->getProgressValue(), 0.0);
    EXPECT_FALSE(content().getCancelButton().isEnabled());
}

TEST_F(EndToEnd, SlideSourceThenVerifyOfTheFolder) {
    SourceFolder src("e2e_slide");
    const int id = drop(juce::StringArray(juce::String(src.make("slide.svs"))));
    ASSERT_TRUE(runUntilFinal(id, 1));
    const ConversionJob& converted = row(id);
    EXPECT_EQ(converted.getStatus(), kStatusFinished) << converted.getMessage() << joined(converted.logLines);
    EXPECT_EQ(src.check("kestrix", src.path("slide")), "OK");

    // The folder just made, verified: every level, progress counted in tiles.
    const int verify = drop(juce::StringArray(juce::String(src.path("slide"))), 6);
    ASSERT_TRUE(runUntilFinal(verify, 1));
    const ConversionJob& verified = row(verify);
    EXPECT_EQ(verified.getStatus(), kStatusFinished) << verified.getMessage() << joined(verified.logLines);
    ASSERT_FALSE(verified.logLines.isEmpty());
    EXPECT_EQ(verified.logLines[0], "\nVerifying slide\nImage is 2000 x 1500 pixels\n");
    EXPECT_EQ(content().getProgressPercent(), 100);
    EXPECT_TRUE(content().getFailedFileMessages().isEmpty()) << content().getFailedFileMessages().joinIntoString("|");
}

// A Bacus slide folder of 2 x 2 camera frames; the scanner's stage runs
// against the image axes, so the frame at stage position (0, 0) holds the
// bottom-right corner of the picture.
TEST_F(EndToEnd, SlideFolderSource) {
    constexpr int kFrameW = 300, kFrameH = 200, kStep = 1000;
    SourceFolder src("e2e_bacus", 2 * kFrameW, 2 * kFrameH);
    const std::string folder = src.path("scan");
    fs::create_directories(folder);
    const std::string cjpeg = vqtest::requireTool("cjpeg");
    std::string index = "[Header]\r\niImageWidth=" + std::to_string(kFrameW) + "\r\niImageHeight=" +
                        std::to_string(kFrameH) + "\r\nlXStepSize=" + std::to_string(kStep) +
                        "\r\nlYStepSize=" + std::to_string(kStep) + "\r\ndMagnification=40.0\r\n";
    for (int j = 0; j < 2; ++j)
        for (int i = 0; i < 2; ++i) {
            const std::string name = "Da" + std::to_string(j * 2 + i);
            index += "[" + name + "]\r\nx=" + std::to_string(i * kStep) + "\r\ny=" + std::to_string(j * kStep) + "\r\n";
            const std::string frame = folder + "/" + name;
            ASSERT_TRUE(vqtest::writeFile(frame + ".ppm", ppmBytes(kFrameW, kFrameH, (1 - i) * kFrameW,
                                                                   (1 - j) * kFrameH, 2 * kFrameW, 2 * kFrameH)));
            ASSERT_EQ(vqtest::runCommand(cjpeg + " -quality 95 -outfile '" + frame + ".jpg' '" + frame + ".ppm'"), 0);
            fs::remove(frame + ".ppm");
        }
    ASSERT_TRUE(vqtest::writeFile(folder + "/FinalScan.ini", index));

    const int id = drop(juce::StringArray(juce::String(folder)));
    ASSERT_TRUE(runUntilFinal(id, 1));
    const ConversionJob& job = row(id);
    EXPECT_EQ(job.getStatus(), kStatusFinished) << job.getMessage() << joined(job.logLines);
    EXPECT_EQ(job.logLines[0], "\nKestrixing to folder " + juce::String(folder) + "_K\nUsing tile size 256, quality 80\n");
    EXPECT_EQ(src.check("kestrix", folder + "_K"), "OK");
}

TEST_F(EndToEnd, GoogleEarthTiles) {
    SourceFolder src("e2e_google");
    ConversionJob job(juce::String(src.make("earth.jpg")));
    job.outputType = 4;
    job.tileSize = 256;
    job.quality = job.maxQuality = 80;
    window_->queueJob(job);
    window_->startTimer(100);
    ASSERT_TRUE(runUntilFinal(job.jobId, 1));
    const ConversionJob& done = row(job.jobId);
    EXPECT_EQ(done.getStatus(), kStatusFinished) << joined(done.logLines);
    EXPECT_EQ(done.logLines[0], "\nGenerating Google Earth tiles to folder " + juce::String(src.path("earth")));
    EXPECT_EQ(src.check("google", src.path("earth")), "OK");
}

TEST_F(EndToEnd, RecognitionFailuresEndOnlyTheirJob) {
    apptest::ScratchTree tree("e2e_failures");
    const auto dir = [&](const std::string& p) { return fs::absolute(tree.path(p).toStdString()).string(); };
    tree.folder("tiles/TileGroup0");
    tree.file("tiles/ImageProperties.xml");
    tree.folder("badtiles/TileGroup0");
    tree.file("badtiles/ImageProperties.xml");
    tree.folder("bacus");
    tree.file("bacus/FinalScan.ini");
    for (const char* name : {"notes.txt", "picture.tiff", "slide.mrxs", "stack.pff", "code.jp2", "broken.svs",
                             "photo.jpg", "garbage.tif", "old.pff"})
        tree.file(name);

    struct Case {
        std::string path;
        int outputType;
        std::string message;  // "%" stands for the path
        int status;
        bool listed;
        const char* readerLine = nullptr;  // a reader's reason ahead of the message
    };
    const std::vector<Case> cases = {
        {dir("missing.jpg"), 0, "Error: can't open file %.", kStatusFailed, true},
        // No slide-access component exists here: the slide cannot open, and the log says why.
        {dir("slide.mrxs"), 0, "Error: can't open file %.", kStatusFailed, true,
         "No slide-access component is available: Mirax slides cannot be opened here.\n"},
        {dir("notes.txt"), 0, "Cannot create format loader for file %.", kStatusInvalidFile, false},
        {dir("picture.tiff"), 0, "Cannot recognize format of file %\n", kStatusInvalidFile, false},
        {dir("old.pff"), 0, "Cannot create format loader for file %.", kStatusInvalidFile, false},
        {dir("garbage.tif"), 0, "Cannot recognize format of file %\n", kStatusInvalidFile, false},
        {dir("tiles"), 0, "Cannot Kestrix an existing Kestrix folder.", kStatusInvalidFile, false},
        {dir("badtiles"), 6, "Error: can't create Kestrix loader for %.", kStatusFailed, false},
        {dir("bacus"), 0, "Error: can't create Backus loader for %.", kStatusFailed, false},
        {dir("stack.pff"), 6, "Cannot handle PFF file %.", kStatusFailed, true},
        {dir("code.jp2"), 6, "Cannot handle JPEG 2000 file %.", kStatusFailed, true},
        {dir("broken.svs"), 6, "Cannot create loader for file %.", kStatusFailed, true},
        {dir("photo.jpg"), 6, "% is not suitable for verifying.", kStatusInvalidFile, false},
    };
    const int first = jobIdCounter;
    for (const auto& c : cases) drop(juce::StringArray(juce::String(c.path)), c.outputType);
    ASSERT_TRUE(runUntilFinal(first, static_cast<int>(cases.size())));

    juce::StringArray listed;
    for (size_t i = 0; i < cases.size(); ++i) {
        const Case& c = cases[i];
        const juce::String message = juce::String(c.message).replace("%", juce::String(c.path));
        const ConversionJob& job = row(first + static_cast<int>(i));
        EXPECT_EQ(job.getStatus(), c.status) << c.path << " " << c.outputType;
        EXPECT_EQ(job.getMessage(), message) << c.outputType;
        // The failure text is the row's last log line, after the reader's reason if any.
        juce::StringArray expectedLog;
        if (c.readerLine != nullptr) expectedLog.add(c.readerLine);
        expectedLog.add(message);
        EXPECT_EQ(job.logLines, expectedLog);
        if (c.listed) listed.add(message);
    }
    EXPECT_EQ(content().getFailedFileMessages(), listed);
}

TEST_F(EndToEnd, CancelEndsTheJobAndTheNextStarts) {
    SourceFolder big("e2e_cancel_big", 4000, 3000);
    SourceFolder small("e2e_cancel_small", 600, 400);
    const int first = drop({juce::String(big.make("large.ppm")), juce::String(small.make("small.ppm"))});
    ASSERT_TRUE(apptest::pumpUntil([&] { return content().getCancelButton().isEnabled(); }, 20000));
    content().getCancelButton().triggerClick();
    ASSERT_TRUE(runUntilFinal(first, 2));
    EXPECT_EQ(row(first).getStatus(), kStatusCancelled) << joined(row(first).logLines);
    EXPECT_EQ(row(first + 1).getStatus(), kStatusFinished) << joined(row(first + 1).logLines);
    // The cancelled pyramid was abandoned, the next one is complete.
    EXPECT_FALSE(fs::exists(big.path("large/ImageProperties.xml")));
    EXPECT_EQ(small.check("kestrix", small.path("small")), "OK");
}

TEST_F(EndToEnd, ClosingCancelsAndWaitsForTheWorker) {
    SourceFolder big("e2e_close", 4000, 3000);
    drop(juce::StringArray(juce::String(big.make("closing.ppm"))));
    ASSERT_TRUE(apptest::pumpUntil([&] { return window_->getWorker().isThreadRunning(); }, 20000));
    window_->closeButtonPressed();
    EXPECT_FALSE(window_->getWorker().isThreadRunning());
    EXPECT_FALSE(window_->isTimerRunning());
    EXPECT_FALSE(window_->getWorker().getJob().isAssigned());

    // A window deleted while its worker runs waits for it before the preview goes.
    SourceFolder again("e2e_close_again", 4000, 3000);
    drop(juce::StringArray(juce::String(again.make("deleted.ppm"))));
    ASSERT_TRUE(apptest::pumpUntil([&] { return window_->getWorker().isThreadRunning(); }, 20000));
    window_.reset();
}

// Edge tiles that keep their full container (as slide outputs ask of the
// driver) have a cell smaller than the tile on one axis and equal on the
// other; the cell is drawn, not left white.
TEST(PreviewOutput, DrawsCellsOfUncroppedEdgeTiles) {
    ImagePreview preview;
    preview.setOutputType(6);
    vq_ptr<vq_zoom_layer> base;
    createZoomLayer(&base);
    base->setMinTileSize(IntPair(64, 64));
    base->setMaxTileSize(IntPair(2048, 2048));
    base->setTileSize(IntPair(128, 128));
    base->setImageSize(IntPair(200, 150));
    ASSERT_TRUE(base->createPyramid(true));
    preview.setBaseLayer(base.get());
    ASSERT_TRUE(preview.hasPreviewImage());
    EXPECT_EQ(preview.getPreviewImage().getWidth(), 202);

    vq_ptr<vq_zoom_tile_base> tile;
    createZoomTile(&tile);
    tile->setKey(vq_tileKey(0, 1, base->getLevel()));
    auto pixels = vq_ptr<imageContainer>::adopt(imageContainer::create());
    ASSERT_TRUE(pixels->create(vq_fmtRGB24, 128, 128, false));
    uint8_t* data = nullptr;
    int32_t step = 0;
    pixels->lockPixels(&data, &step);
    for (int y = 0; y < 128; ++y)
        for (int x = 0; x < 128; ++x) {
            data[y * step + x * 3] = 220;
            data[y * step + x * 3 + 1] = 30;
            data[y * step + x * 3 + 2] = 40;
        }
    pixels->unlockPixels();
    tile->setContainer(pixels.get());
    preview.saveTile(tile.get());

    const juce::Image image = preview.getPreviewImage();
    for (const auto& [x, y] : {std::pair{0, 128}, std::pair{127, 149}, std::pair{60, 140}}) {
        const juce::Colour c = image.getPixelAt(x, y);
        EXPECT_NEAR(c.getRed(), 220, 2) << x << " " << y;
        EXPECT_NEAR(c.getGreen(), 30, 2) << x << " " << y;
        EXPECT_NEAR(c.getBlue(), 40, 2) << x << " " << y;
    }
    EXPECT_EQ(image.getPixelAt(150, 140), juce::Colours::white);  // the next cell is untouched
    EXPECT_EQ(image.getPixelAt(60, 100), juce::Colours::white);
}

// A run that cannot convert anything ends "Failed" with a reason, never
// "Finished" after nothing ran or "Processing" for ever.
TEST(Worker, RunsWithoutAReaderEndFailed) {
    struct Case {
        bool levelLoop;
        const char* message;
    };
    const Case cases[] = {{false, "Error: no reader for /nowhere/x.jpg."},
                          {true, "/nowhere/x.jpg is not suitable for verifying."}};
    for (const auto& c : cases) {
        KestrixThread worker;
        vq_ptr<vq_kestrifier_base> driver;
        createKestrifier(&driver);
        ConversionJob job("/nowhere/x.jpg");
        worker.setUp(job, driver.get(), nullptr, nullptr, nullptr);
        worker.setSourcePath("/nowhere/x.jpg");
        worker.setLevelLoop(c.levelLoop);
        ASSERT_TRUE(worker.startThread());
        ASSERT_TRUE(worker.waitForThreadToExit(10000));
        const ConversionJob done = worker.getJob();
        EXPECT_EQ(done.getStatus(), kStatusFailed) << c.levelLoop;
        EXPECT_EQ(done.getMessage(), c.message);
        worker.reset();
        EXPECT_FALSE(worker.getJob().isAssigned());
    }
}

TEST(OutputNames, FollowTheSourcePath) {
    struct Case {
        std::string path;
        int outputType;
        bool folder;
        std::string fileName, baseName;
    };
    const Case cases[] = {
        {"/data/scans/slide.svs", 0, false, "slide.svs", "/data/scans/slide"},
        {"/data/v1.2/image", 0, false, "image", "/data/v1.2/image"},
        {"scans/photo.jpg", 0, false, "photo.jpg", "photo"},
        {"/data/bacus", 0, true, "bacus", "/data/bacus_K"},
        {"/data/bacus/", 0, true, "bacus", "/data/bacus_K"},
        {"/data/tiles", 6, true, "tiles", "/data/tiles"},
        {"/data/odd\\name.png", 0, false, "odd\\name.png", "/data/odd\\name"},
    };
    for (const auto& c : cases) {
        const OutputNames names = deriveOutputNames(c.path, c.outputType, c.folder, false);
        EXPECT_EQ(names.fileName, c.fileName) << c.path;
        EXPECT_EQ(names.baseName, c.baseName) << c.path;
    }
    EXPECT_EQ(KestrixThread::sourceExtension("/a/b.c/file"), "");
    EXPECT_EQ(KestrixThread::sourceExtension("/a/file.SVS"), ".SVS");
}

} // namespace
