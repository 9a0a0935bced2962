#include <gtest/gtest.h>

#include <cstdlib>

#include "app/JUCEKestrifier.h"
#include "app/LogQueue.h"
#include "app/MainAppWindow.h"
#include "app/MainComponent.h"
#include "platform/threads.h"
#include "tests/app/app_test_support.h"
#include "tests/support/test_env.h"
#include "tiff/vqtiff.h"

namespace {

vq_ptr<vq_global_base> settings() {
    vq_ptr<vq_global_base> global;
    getGlobal(global.put());
    return global;
}

// A private home folder so that the settings file of the test is its own.
juce::File useTemporaryHome(const std::string& name) {
    const auto home = vqtest::scratchDir(name);
    setenv("HOME", home.c_str(), 1);
    unsetenv("XDG_CONFIG_HOME");
    return juce::File(juce::String(home));
}

juce::File settingsFileIn(const juce::File& home) {
    return home.getChildFile(".config").getChildFile("Settings").getChildFile("VQ_Kestrixer.xml");
}

std::vector<std::pair<std::string, std::string>> readKeys(const juce::File& file) {
    std::vector<std::pair<std::string, std::string>> keys;
    auto xml = juce::parseXML(file);
    if (xml == nullptr || !xml->hasTagName("PROPERTIES")) return keys;
    for (auto* value : xml->getChildIterator()) {
        EXPECT_TRUE(value->hasTagName("VALUE"));
        keys.emplace_back(value->getStringAttribute("name").toStdString(),
                          value->getStringAttribute("val").toStdString());
    }
    return keys;
}

} // namespace

TEST(Application, StartsTheWindowWithTheSavedChoicesOrTheDefaults) {
    const auto home = useTemporaryHome("app_start");
    // A file from an earlier run: usable values come back, a missing or
    // unusable value gives way to the application's default.
    const auto file = settingsFileIn(home);
    ASSERT_TRUE(file.getParentDirectory().createDirectory());
    ASSERT_TRUE(file.replaceWithText(
        "<?xml version=\"1.0\"?>\n<PROPERTIES><VALUE name=\"Quality\" val=\"33\"/>"
        "<VALUE name=\"Interpolation\" val=\"1\"/><VALUE name=\"MaxQuality\" val=\"5\"/>"
        "<VALUE name=\"Subsampling\" val=\"3\"/><VALUE name=\"SourceSubsampling\" val=\"0\"/>"
        "<VALUE name=\"PreferredTileSize\" val=\"300\"/><VALUE name=\"OutputColorspace\" val=\"x4\"/>"
        "<VALUE name=\"OutputType\" val=\"4\"/></PROPERTIES>\n"));
    auto g = settings();
    g->setQuality(11);
    g->setMaxQuality(12);
    g->setSubsampling(4);
    g->setSourceSubsampling(true);
    g->setOutputColourSpace(4);
    g->setPreferredTileSize(512);
    g->setInterpolation(3);
    g->setJ2KDecoder(2);

    JUCEKestrifier app;
    app.initialise({});
    auto* window = app.getMainWindow();
    ASSERT_NE(window, nullptr);
    EXPECT_EQ(window->getName(), "Kestrix Converter - Version 2.1.7");
    EXPECT_EQ(window->getWidth(), 904);
    // 480 high, or taller where the menu bar would push controls out of sight.
    EXPECT_GE(window->getHeight(), 480);
    EXPECT_LE(window->getHeight(), 520);
    EXPECT_TRUE(window->isVisible());
    EXPECT_TRUE(window->isUsingNativeTitleBar());
    EXPECT_TRUE(window->isTimerRunning());
    EXPECT_EQ(window->getTimerInterval(), 1000);
    EXPECT_EQ(window->getOutputType(), 0);  // Google Earth tiles have no toggle
    EXPECT_EQ(window->getContentComponent(), window->getMainComponent());
    EXPECT_NE(window->getMenuBarComponent(), nullptr);
    // The window is white with black text in the light colour scheme.
    EXPECT_EQ(window->getBackgroundColour(), juce::Colours::white);
    EXPECT_EQ(window->getMainComponent()->getInstructionLabel().findColour(juce::Label::textColourId),
              juce::Colours::black);

    EXPECT_EQ(g->getInterpolation(), 1);
    EXPECT_EQ(g->getQuality(), 33);
    EXPECT_EQ(g->getMaxQuality(), 80);
    EXPECT_EQ(g->getSubsampling(), 2);
    EXPECT_FALSE(g->getSourceSubsampling());
    EXPECT_EQ(g->getOutputColourSpace(), 3);
    EXPECT_EQ(g->getPreferredTileSize(), 256);
    EXPECT_EQ(g->getJ2KDecoder(), 0);

    // TIFF warnings and errors from then on are queued as level-0 log lines.
    juce::String line;
    while (popLogLine(line)) {
    }
    vqtiff::TIFFReportWarning("TIFFReadDirectory", "Unknown field with tag %d (0x%x) ignored", 700, 700);
    vqtiff::TIFFReportError("slide.tif", "Cannot read tile %u", 12u);
    ASSERT_TRUE(popLogLine(line));
    EXPECT_EQ(line, "TIFF:Unknown field with tag 700 (0x2bc) ignored\n");
    ASSERT_TRUE(popLogLine(line));
    EXPECT_EQ(line, "TIFF:Cannot read tile 12\n");

    app.shutdown();
    EXPECT_EQ(app.getMainWindow(), nullptr);
}

TEST(Application, ShutdownWritesTheEightKeysInOrder) {
    const auto home = useTemporaryHome("app_settings");
    JUCEKestrifier app;
    app.initialise({});
    app.getMainWindow()->setOutputType(7);
    auto g = settings();
    g->setQuality(55);
    g->setSourceSubsampling(false);
    g->setPreferredTileSize(0);
    g->setOutputColourSpace(4);
    g->setInterpolation(3);
    app.shutdown();

    const auto file = settingsFileIn(home);
    ASSERT_TRUE(file.existsAsFile()) << file.getFullPathName();
    const std::vector<std::pair<std::string, std::string>> expected = {
        {"OutputType", "7"},        {"Quality", "55"},         {"MaxQuality", "80"},
        {"Subsampling", "2"},       {"SourceSubsampling", "0"}, {"PreferredTileSize", "0"},
        {"OutputColorspace", "4"}, {"Interpolation", "3"},
    };
    EXPECT_EQ(readKeys(file), expected);

    // The next run starts from these values and writes its own at its end.
    JUCEKestrifier again;
    again.initialise({});
    EXPECT_EQ(g->getQuality(), 55);
    EXPECT_EQ(again.getMainWindow()->getOutputType(), 7);
    g->setQuality(60);
    again.shutdown();
    EXPECT_EQ(readKeys(file)[1], std::make_pair(std::string("Quality"), std::string("60")));
    EXPECT_EQ(readKeys(file)[0], std::make_pair(std::string("OutputType"), std::string("7")));
}

TEST(MainWindow, ThreadCountsFollowTheProcessorCount) {
    struct Case {
        int processors;
        bool multiThreaded;
        int loaders, encoders;
    };
    // The engine keeps at most 12 encoder threads.
    const Case cases[] = {{1, false, 0, 0}, {2, true, 1, 2}, {4, true, 2, 3}, {8, true, 4, 6}, {64, true, 32, 12}};
    auto g = settings();
    for (const auto& c : cases) {
        vq::platform::setProcessorCountOverride(c.processors);
        g->setMultiThreaded(!c.multiThreaded);
        g->setLoaderThreadCount(99);
        g->setEncoderThreadCount(99);
        MainAppWindow window;
        EXPECT_EQ(g->isMultiThreaded(), c.multiThreaded) << c.processors;
        EXPECT_EQ(g->getLoaderThreadCount(), c.loaders) << c.processors;
        EXPECT_EQ(g->getEncoderThreadCount(), c.encoders) << c.processors;
    }
    vq::platform::setProcessorCountOverride(0);
}

TEST(MainWindow, DragInterest) {
    apptest::ScratchTree tree("app_drag");
    const auto tiles = tree.folder("tiles");
    tree.file("tiles/ImageProperties.xml");
    tree.folder("tiles/TileGroup0");
    const auto noGroup = tree.folder("nogroup");
    tree.file("nogroup/ImageProperties.xml");
    const auto bacus = tree.folder("bacus");
    tree.file("bacus/FinalScan.ini");
    const auto bacusLower = tree.folder("bacuslower");
    tree.file("bacuslower/finalscan.ini");
    const auto plainFolder = tree.folder("plain");

    struct Case {
        juce::StringArray items;
        bool accepted;
    };
    const Case cases[] = {
        {{"/slides/a.svs"}, true},
        {{"/notes/readme.txt"}, false},
        {{"/notes/readme.txt", "/pics/photo.jpg"}, true},
        {{"/scans/IMAGE.TIF"}, true},
        {{"/scans/image.tiff"}, true},
        {{"/scans/IMAGE.TIFF"}, true},
        {{"/pics/PHOTO.JPG"}, true},
        {{"/slides/s.MRXS"}, true},
        {{"/a.bmp"}, true},
        {{"/a.png"}, true},
        {{"/a.jpeg"}, true},
        {{"/a.scn"}, true},
        {{"/a.pff"}, true},
        {{"/a.jp2"}, true},
        {{"/a.ppm"}, true},
        {{"/a.jpg.txt"}, false},
        {{tiles}, true},
        {{noGroup}, false},
        {{bacus}, true},
        {{bacusLower}, true},
        {{plainFolder}, false},
        {{}, false},
    };
    MainAppWindow window;
    for (const auto& c : cases) {
        EXPECT_EQ(window.isInterestedInFileDrag(c.items), c.accepted) << c.items.joinIntoString(", ");
        EXPECT_EQ(window.getMainComponent()->isInterestedInFileDrag(c.items), c.accepted);
    }
}

TEST(MainWindow, DropQueuesEveryItemWithTheSettingsOfTheMoment) {
    auto g = settings();
    g->setQuality(40);
    g->setMaxQuality(90);
    g->setSubsampling(1);
    g->setInterpolation(3);
    g->setSourceSubsampling(false);
    g->setOutputColourSpace(4);
    g->setPreferredTileSize(512);
    g->setJ2KFullChroma(true);

    MainAppWindow window;
    window.setOutputType(7);
    window.filesDropped({"/a.jpg", "/notes.txt", "/c.svs"}, 10, 10);
    EXPECT_EQ(window.getTimerInterval(), 100);

    const auto& queue = window.getJobQueue();
    ASSERT_EQ(queue.size(), 3u);
    auto* table = window.getMainComponent()->getJobTable();
    ASSERT_EQ(table->getNumRows(), 3);
    const char* paths[] = {"/a.jpg", "/notes.txt", "/c.svs"};
    for (size_t i = 0; i < queue.size(); ++i) {
        const auto& job = queue[i];
        EXPECT_EQ(job.sourcePath, paths[i]);
        EXPECT_EQ(job.jobId, queue[0].jobId + static_cast<int>(i));
        EXPECT_EQ(job.quality, 40);
        EXPECT_EQ(job.maxQuality, 90);
        EXPECT_EQ(job.subsampling, 1);
        EXPECT_EQ(job.resampling, 3);
        EXPECT_FALSE(job.keepSourceSubsampling);
        EXPECT_EQ(job.colourSpace, 4);
        EXPECT_EQ(job.tileSize, 512);
        EXPECT_TRUE(job.j2kFullChroma);
        EXPECT_EQ(job.outputType, 7);
        const auto* row = table->findRow(job.jobId);
        ASSERT_NE(row, nullptr);
        EXPECT_EQ(row->status, kStatusPending);
        EXPECT_EQ(row->sourcePath, paths[i]);
    }

    // Later settings reach only later drops.
    g->setQuality(70);
    window.setOutputType(1);
    window.filesDropped({"/d.png"}, 0, 0);
    EXPECT_EQ(queue.front().quality, 40);
    EXPECT_EQ(queue.back().quality, 70);
    EXPECT_EQ(queue.back().outputType, 1);
    EXPECT_EQ(table->findRow(queue.front().jobId)->outputType, 7);
}

TEST(Program, WithoutADisplayItSaysSoInOneLineAndEndsWithAFailure) {
    // The program itself, not a window of this process.
    for (const std::string& display : {std::string(), std::string(":987")}) {
        std::string output;
        const std::string command =
            (display.empty() ? "env -u DISPLAY " : "env DISPLAY=" + display + " ") + "'" VQ_CONVERTER "' 2>&1";
        const int status = vqtest::runCommand(command, &output);
        EXPECT_NE(status, 0) << display;
        // A debug build of the toolkit announces its version first.
        juce::StringArray lines;
        for (const auto& line : juce::StringArray::fromLines(juce::String(output).trimEnd()))
            if (!line.startsWith("JUCE v")) lines.add(line);
        ASSERT_EQ(lines.size(), 1) << output;
        EXPECT_TRUE(lines[0].startsWith("Kestrix Converter needs a display: ")) << lines[0];
        EXPECT_TRUE(lines[0].contains(display.empty() ? "DISPLAY is not set" : "\"" + display + "\"")) << lines[0];
    }
}

TEST(MainWindow, ResizeLimitsAndClose) {
    JUCEKestrifier app;
    useTemporaryHome("app_close");
    app.initialise({});
    auto* window = app.getMainWindow();
    auto* limits = window->getConstrainer();
    ASSERT_NE(limits, nullptr);
    EXPECT_EQ(limits->getMinimumWidth(), 576);
    EXPECT_GE(limits->getMinimumHeight(), 400);
    EXPECT_GE(limits->getMaximumWidth(), 904);

    // At the smallest size the window allows, and at its starting size, every
    // control lies inside the content, and the content inside the window.
    auto* content = window->getMainComponent();
    juce::Rectangle<int> smallest(window->getX(), window->getY(), 100, 100);
    limits->checkBounds(smallest, window->getBounds(), window->getParentMonitorArea(), false, false, true, true);
    for (const auto& size : {std::make_pair(smallest.getWidth(), smallest.getHeight()), std::make_pair(904, 480)}) {
        window->setSize(size.first, size.second);
        if (window->getHeight() < limits->getMinimumHeight()) window->setSize(size.first, limits->getMinimumHeight());
        SCOPED_TRACE(juce::String(window->getWidth()) + " x " + juce::String(window->getHeight()));
        EXPECT_TRUE(window->getLocalBounds().contains(content->getBounds())) << content->getBounds().toString();
        int checked = 0;
        for (auto* child : content->getChildren()) {
            if (dynamic_cast<juce::Label*>(child) != nullptr) continue;
            EXPECT_TRUE(content->getLocalBounds().contains(child->getBounds()))
                << child->getName() << " " << child->getBounds().toString() << " outside "
                << content->getLocalBounds().toString();
            ++checked;
        }
        EXPECT_EQ(checked, 9);  // preview, bar, Cancel, five toggles, table
    }

    window->closeButtonPressed();
    EXPECT_FALSE(window->isTimerRunning());
    EXPECT_TRUE(juce::MessageManager::getInstance()->hasStopMessageBeenSent());
    app.shutdown();
}
