// The window tells the truth: lost tiles fail the job with their count and
// names, a refused drop leaves the window ready for the next, a second
// conversion replaces the earlier pyramid, settings come back after a restart
// and ".tiff" files convert like ".tif" files.
#include "tests/app/e2e_fixture.h"

#include <cerrno>
#include <cstring>
#include <set>

#include <sys/mount.h>

#include "app/JUCEKestrifier.h"

namespace {

using namespace e2e;

// Tile files below the folder, as paths relative to it.
std::vector<std::string> tileFiles(const std::string& folder) {
    std::vector<std::string> tiles;
    for (const auto& entry : fs::recursive_directory_iterator(folder))
        if (entry.is_regular_file() && entry.path().extension() == ".jpg")
            tiles.push_back(fs::relative(entry.path(), folder).string());
    return tiles;
}

// Bytes that a tmpfs gives the files below the folder: whole pages.
uintmax_t pagesBytes(const std::string& folder) {
    uintmax_t total = 0;
    for (const auto& entry : fs::recursive_directory_iterator(folder))
        if (entry.is_regular_file()) total += (entry.file_size() + 4095) / 4096 * 4096;
    return total;
}

// A complete JPEG stream starts with SOI and ends with EOI.
bool isCompleteJpeg(const std::string& path) {
    const std::string bytes = vqtest::readFile(path);
    return bytes.size() > 4 && static_cast<uint8_t>(bytes[0]) == 0xFF && static_cast<uint8_t>(bytes[1]) == 0xD8 &&
           static_cast<uint8_t>(bytes[bytes.size() - 2]) == 0xFF && static_cast<uint8_t>(bytes.back()) == 0xD9;
}

// A small file system of its own that the test mounts and unmounts; mounting
// needs root, so the test is skipped where it is refused.
class SmallDisk {
public:
    SmallDisk(const std::string& where, uintmax_t bytes) : dir_(where) {
        fs::create_directories(dir_);
        const std::string options = "size=" + std::to_string(bytes);
        mounted_ = ::mount("tmpfs", dir_.c_str(), "tmpfs", 0, options.c_str()) == 0;
        if (!mounted_) error_ = std::strerror(errno);
    }
    ~SmallDisk() {
        if (mounted_) ::umount2(dir_.c_str(), MNT_DETACH);
    }
    bool mounted() const { return mounted_; }
    const std::string& error() const { return error_; }

private:
    std::string dir_;
    bool mounted_ = false;
    std::string error_;
};

TEST_F(EndToEnd, TilesLostOnAFullDiskFailTheJobWithTheirCountAndNames) {
    SourceFolder src("e2e_full_disk");
    // The same conversion on an ordinary disk gives the pyramid's tiles and size.
    const int reference = drop(juce::StringArray(juce::String(src.ppm())));
    ASSERT_TRUE(runUntilFinal(reference, 1));
    ASSERT_EQ(row(reference).getStatus(), kStatusFinished) << row(reference).getMessage();
    const size_t allTiles = tileFiles(src.path("reference")).size();
    const uintmax_t pyramidBytes = pagesBytes(src.path("reference"));
    ASSERT_GT(allTiles, 50u);

    // Room for the source and half of its pyramid.
    const uintmax_t sourceBytes = (fs::file_size(src.ppm()) + 4095) / 4096 * 4096;
    SmallDisk disk(src.path("disk"), sourceBytes + pyramidBytes / 2);
    if (!disk.mounted()) GTEST_SKIP() << "cannot mount a small tmpfs here (" << disk.error() << "); needs root";
    const std::string source = src.path("disk/full.ppm");
    fs::copy_file(src.ppm(), source);
    const std::string folder = src.path("disk/full");

    const int id = drop(juce::StringArray(juce::String(source)));
    ASSERT_TRUE(runUntilFinal(id, 1));
    const ConversionJob& job = row(id);
    EXPECT_EQ(job.getStatus(), kStatusFailed) << job.getMessage();

    // Every tile left is complete; the others are named and counted.
    const std::vector<std::string> written = tileFiles(folder);
    for (const auto& tile : written) EXPECT_TRUE(isCompleteJpeg(folder + "/" + tile)) << tile;
    const size_t lost = allTiles - written.size();
    ASSERT_GT(lost, 0u);
    const juce::String count = juce::String(static_cast<int>(lost)) + " tile files could not be written";
    EXPECT_TRUE(job.getMessage().contains(count)) << count << "\n" << job.getMessage();
    EXPECT_TRUE(joined(job.logLines).contains(count)) << joined(job.logLines);
    juce::StringArray named;
    for (const auto& line : juce::StringArray::fromLines(job.getMessage()))
        if (line.startsWith("Not written: ")) named.addIfNotAlreadyThere(line.fromFirstOccurrenceOf(": ", false, false));
    EXPECT_EQ(named.size(), static_cast<int>(lost));
    for (const auto& path : named) {
        EXPECT_TRUE(path.startsWith(folder + "/TileGroup")) << path;
        EXPECT_FALSE(fs::exists(path.toStdString())) << path;
    }
}

TEST_F(EndToEnd, ARefusedDropLeavesTheSquareReadyForTheNextDrop) {
    SourceFolder src("e2e_refused_drop", 600, 400);
    // A plain folder of images is not a source.
    fs::create_directories(src.path("photos"));
    src.make("photos/a.ppm");
    const std::string picture = src.make("wanted.ppm");

    auto* peer = window_->getPeer();
    ASSERT_NE(peer, nullptr) << "the window needs a display";
    const auto square = window_->getLocalPoint(&preview(), preview().getLocalBounds().getCentre());
    ASSERT_EQ(window_->getComponentAt(square), &preview());

    const int id = jobIdCounter;
    juce::ComponentPeer::DragInfo refused;
    refused.files.add(src.path("photos"));
    refused.position = square;
    EXPECT_FALSE(peer->handleDragDrop(refused));
    // Messages the refusal posted are handled before this one.
    bool handled = false;
    juce::MessageManager::callAsync([&handled] { handled = true; });
    ASSERT_TRUE(apptest::pumpUntil([&] { return handled; }));
    EXPECT_EQ(content().getJobTable()->getNumRows(), 0);

    juce::ComponentPeer::DragInfo wanted;
    wanted.files.add(picture);
    wanted.position = square;
    EXPECT_TRUE(peer->handleDragDrop(wanted));
    ASSERT_TRUE(apptest::pumpUntil([&] { return content().getJobTable()->findRow(id) != nullptr; }));
    EXPECT_EQ(row(id).sourcePath, juce::String(picture));
    ASSERT_TRUE(runUntilFinal(id, 1));
    EXPECT_EQ(row(id).getStatus(), kStatusFinished) << row(id).getMessage();
}

TEST_F(EndToEnd, ASecondConversionIntoTheSameFolderLeavesOnlyTheNewPyramid) {
    SourceFolder src("e2e_convert_again");
    const std::string source = src.make("again.ppm");
    const std::string folder = src.path("again");
    const int first = drop(juce::StringArray(juce::String(source)));
    ASSERT_TRUE(runUntilFinal(first, 1));
    ASSERT_EQ(row(first).getStatus(), kStatusFinished) << row(first).getMessage();
    ASSERT_EQ(src.check("kestrix", folder), "OK");
    // A file of the user's own in the folder is not the pyramid's.
    ASSERT_TRUE(vqtest::writeFile(folder + "/notes.txt", "mine"));

    vq_ptr<vq_global_base> global;
    getGlobal(global.put());
    global->setPreferredTileSize(512);
    const int second = drop(juce::StringArray(juce::String(source)));
    ASSERT_TRUE(runUntilFinal(second, 1));
    ASSERT_EQ(row(second).getStatus(), kStatusFinished) << row(second).getMessage();

    // The checker fails on any tile that the new description does not hold.
    EXPECT_EQ(src.check("kestrix", folder), "OK");
    std::set<std::string> entries;
    for (const auto& entry : fs::directory_iterator(folder)) entries.insert(entry.path().filename().string());
    EXPECT_EQ(entries, (std::set<std::string>{"ImageProperties.xml", "TileGroup0", "notes.txt"}));
    EXPECT_EQ(vqtest::readFile(folder + "/notes.txt"), "mine");
    EXPECT_TRUE(vqtest::readFile(folder + "/ImageProperties.xml").find("TILESIZE=\"512\"") != std::string::npos);
}

TEST_F(EndToEnd, TiffFilesConvertWhateverTheCaseOfTheirExtension) {
    SourceFolder src("e2e_tiff_names", 600, 400);
    const std::string tif = src.make("made.tif");
    const std::vector<std::string> names = {"upper.TIFF", "lower.tiff", "mixed.Tif"};
    juce::StringArray paths;
    for (const auto& name : names) {
        fs::copy_file(tif, src.path(name));
        paths.add(src.path(name));
        EXPECT_TRUE(window_->isInterestedInFileDrag(juce::StringArray(src.path(name)))) << name;
    }
    const int first = drop(paths);
    ASSERT_TRUE(runUntilFinal(first, static_cast<int>(names.size())));
    for (size_t i = 0; i < names.size(); ++i) {
        const ConversionJob& job = row(first + static_cast<int>(i));
        EXPECT_EQ(job.getStatus(), kStatusFinished) << names[i] << ": " << job.getMessage();
        EXPECT_EQ(src.check("kestrix", src.path(fs::path(names[i]).stem().string())), "OK") << names[i];
    }
}

TEST(EndToEndRestart, SettingsChangedBeforeClosingComeBackAtTheNextStart) {
    const std::string home = vqtest::scratchDir("e2e_restart_home");
    setenv("HOME", home.c_str(), 1);
    unsetenv("XDG_CONFIG_HOME");
    vq_ptr<vq_global_base> g;
    getGlobal(g.put());
    {
        JUCEKestrifier app;
        app.initialise({});
        auto* window = app.getMainWindow();
        ASSERT_NE(window, nullptr);
        // The choices the option dialogs and the output toggles make.
        g->setQuality(55);
        g->setMaxQuality(90);
        g->setSubsampling(4);
        g->setSourceSubsampling(false);
        g->setOutputColourSpace(4);
        g->setPreferredTileSize(512);
        g->setInterpolation(3);
        window->getMainComponent()->getOutputToggle(6).setToggleState(true, juce::sendNotification);
        window->closeButtonPressed();
        app.shutdown();
    }
    // Whatever the engine holds in between, the next start restores the choices.
    g->setQuality(80);
    g->setMaxQuality(80);
    g->setSubsampling(2);
    g->setSourceSubsampling(true);
    g->setOutputColourSpace(3);
    g->setPreferredTileSize(256);
    g->setInterpolation(2);
    JUCEKestrifier app;
    app.initialise({});
    auto* window = app.getMainWindow();
    ASSERT_NE(window, nullptr);
    EXPECT_EQ(g->getQuality(), 55);
    EXPECT_EQ(g->getMaxQuality(), 90);
    EXPECT_EQ(g->getSubsampling(), 4);
    EXPECT_FALSE(g->getSourceSubsampling());
    EXPECT_EQ(g->getOutputColourSpace(), 4);
    EXPECT_EQ(g->getPreferredTileSize(), 512);
    EXPECT_EQ(g->getInterpolation(), 3);
    EXPECT_EQ(window->getOutputType(), 6);
    EXPECT_TRUE(window->getMainComponent()->getOutputToggle(6).getToggleState());
    EXPECT_FALSE(window->getMainComponent()->getOutputToggle(0).getToggleState());
    app.shutdown();
}

}  // namespace
