#include <gtest/gtest.h>

#include "app/AboutDialog.h"
#include "app/BadFilesDialog.h"
#include "app/JPEGCustomisationDialog.h"
#include "app/LogQueue.h"
#include "app/MainAppWindow.h"
#include "app/MainComponent.h"
#include "app/TilingOptionsDialog.h"
#include "tests/app/app_test_support.h"
#include "tests/support/test_env.h"

namespace {

struct WindowFixture : ::testing::Test {
    void SetUp() override {
        window = std::make_unique<MainAppWindow>();
        window->setUsingNativeTitleBar(true);
        window->centreWithSize(MainAppWindow::kWidth, MainAppWindow::kHeight);
        content = window->getMainComponent();
        ASSERT_NE(content, nullptr);
    }
    std::unique_ptr<MainAppWindow> window;
    MainComponent* content = nullptr;
};

using ContentComponent = WindowFixture;

bool isWhite(juce::Colour c) { return c.getRed() > 250 && c.getGreen() > 250 && c.getBlue() > 250; }

// First x from `from` along row y whose pixel is not white, -1 when none.
int firstInkX(const juce::Image& image, int y, int from, int to) {
    for (int x = from; x < to; ++x)
        if (!isWhite(image.getPixelAt(x, y))) return x;
    return -1;
}

int firstInkY(const juce::Image& image, int x, int from, int to) {
    for (int y = from; y < to; ++y)
        if (!isWhite(image.getPixelAt(x, y))) return y;
    return -1;
}

} // namespace

TEST_F(ContentComponent, RightColumnGeometryInAPngSnapshot) {
    const int h = static_cast<int>(content->getCreditLabel().getFont().getHeight());
    EXPECT_EQ(content->getPreview()->getBounds(), juce::Rectangle<int>(16, 8, 256, 256));
    EXPECT_EQ(content->getInstructionLabel().getBounds(), juce::Rectangle<int>(288, 8, 512, 20));
    const int tableHeight = 440 - (20 + 8) - (h + 8) - 8;
    EXPECT_EQ(content->getJobTable()->getBounds(), juce::Rectangle<int>(288, 36, 584, tableHeight));
    EXPECT_EQ(content->getCreditLabel().getBounds(), juce::Rectangle<int>(288, 36 + tableHeight + 8, 800, h));
    EXPECT_EQ(content->getProgressBar().getBounds(), juce::Rectangle<int>(16, 272, 256, 20));
    EXPECT_EQ(content->getCancelButton().getBounds(), juce::Rectangle<int>(16, 300, 80, 20));
    EXPECT_EQ(content->getOutputToggle(0).getBounds(), juce::Rectangle<int>(16, 328, 150, 20));
    EXPECT_EQ(content->getOutputToggle(6).getBounds(), juce::Rectangle<int>(16, 440, 150, 20));

    // Render the content, store it as PNG and read the geometry back from pixels.
    const auto snapshot = apptest::snapshotOnWhite(*content);
    const auto path = vqtest::scratchDir("app_content_snapshot") + "/content.png";
    {
        juce::FileOutputStream out{juce::File(path)};
        ASSERT_TRUE(out.openedOk());
        juce::PNGImageFormat png;
        ASSERT_TRUE(png.writeImageToStream(snapshot, out));
    }
    const auto image = juce::ImageFileFormat::loadFrom(juce::File(path));
    ASSERT_TRUE(image.isValid());
    ASSERT_EQ(image.getWidth(), content->getWidth());

    // The preview's outline starts the left column at (16, 8).
    EXPECT_EQ(firstInkX(image, 100, 0, 100), 16);
    EXPECT_EQ(firstInkY(image, 100, 0, 100), 8);
    // The instruction text starts in the right column, just after x 288.
    int labelInk = 10000;
    for (int y = 8; y < 28; ++y) {
        const int x = firstInkX(image, y, 273, 400);
        if (x >= 0) labelInk = std::min(labelInk, x);
    }
    EXPECT_GE(labelInk, 288);
    EXPECT_LT(labelInk, 300);
    // The table lies 8 pixels inside the job table (x 288, y 36, 584 wide):
    // its header's bottom line runs from x 296 to 288 + 584 - 8 - 1, and the
    // Operation column (120 wide) ends in a separator at x 296 + 119.
    const int headerBottom = 36 + 8 + content->getJobTable()->getTable().getHeader().getHeight() - 1;
    EXPECT_EQ(firstInkY(image, 400, 30, 100), headerBottom);
    EXPECT_EQ(firstInkX(image, headerBottom, 273, 420), 296);
    int rightInk = -1;
    for (int x = 900; x > 700; --x)
        if (!isWhite(image.getPixelAt(x, headerBottom))) {
            rightInk = x;
            break;
        }
    EXPECT_EQ(rightInk, 288 + 584 - 8 - 1);
    EXPECT_EQ(firstInkX(image, 36 + 8 + 2, 273, 420), 296 + 119);
}

TEST_F(ContentComponent, MenusAndCommands) {
    EXPECT_EQ(content->getMenuBarNames(), juce::StringArray({"File", "Options", "About"}));

    const std::vector<std::vector<std::pair<int, const char*>>> menus = {
        {{0x1000, "Open"}, {0x1001, "Exit"}, {0x1002, "Show Failed Files"}},
        {{0x2000, "Jpeg/Jpeg 2000"}, {0x2001, "Tiling"}},
        {{0x3000, "About Kestrix"}},
    };
    for (int index = 0; index < 3; ++index) {
        auto menu = content->getMenuForIndex(index, {});
        juce::PopupMenu::MenuItemIterator items(menu);
        for (const auto& [id, text] : menus[static_cast<size_t>(index)]) {
            ASSERT_TRUE(items.next());
            EXPECT_EQ(items.getItem().itemID, id);
            EXPECT_EQ(items.getItem().text, text);
            EXPECT_EQ(items.getItem().commandManager, &window->getCommandManager());
        }
        EXPECT_FALSE(items.next());
    }

    juce::Array<juce::CommandID> ids;
    content->getAllCommands(ids);
    EXPECT_EQ(ids, juce::Array<juce::CommandID>({0x1000, 0x1001, 0x2000, 0x2001, 0x1002, 0x3000}));

    struct Info {
        int id;
        const char *name, *description, *category;
    };
    const Info infos[] = {
        {0x1000, "Open", "Choose a file to be kestrixed.", "File"},
        {0x1001, "Exit", "Closes window and ends application", "File"},
        {0x1002, "Show Failed Files", "Displays list of failed files.", "File"},
        {0x2000, "Jpeg/Jpeg 2000", "Sets options for JPEG and JPEG 2000 compression", "Options"},
        {0x2001, "Tiling", "Sets options for tiling", "Options"},
        {0x3000, "About Kestrix", "About the software.", "About"},
    };
    for (const auto& info : infos) {
        const auto* registered = window->getCommandManager().getCommandForID(info.id);
        ASSERT_NE(registered, nullptr) << info.id;
        EXPECT_EQ(registered->shortName, info.name);
        EXPECT_EQ(registered->description, info.description);
        EXPECT_EQ(registered->categoryName, info.category);
        EXPECT_EQ(registered->flags, 0);
        EXPECT_TRUE(registered->defaultKeypresses.isEmpty());
    }
    EXPECT_TRUE(content->perform(juce::ApplicationCommandTarget::InvocationInfo(0x4242)));
}

TEST_F(ContentComponent, DialogCommandsOpenModalDialogsThatCloseOnOk) {
    content->perform(juce::ApplicationCommandTarget::InvocationInfo(MainComponent::kShowFailedFiles));
    auto* failed = apptest::topModal<BadFilesDialog>();
    ASSERT_NE(failed, nullptr);
    EXPECT_EQ(failed->getName(), "Failed files list");
    EXPECT_TRUE(failed->getContent().getTextBox().getText().isEmpty());
    failed->getContent().getOkButton().triggerClick();
    EXPECT_TRUE(apptest::pumpUntil([] { return apptest::topModal<BadFilesDialog>() == nullptr; }));

    content->getFailedFileMessages().add("Error: can't open file /a.jpg.");
    content->getFailedFileMessages().add("Error: can't open file /b.jpg.");
    content->perform(juce::ApplicationCommandTarget::InvocationInfo(MainComponent::kShowFailedFiles));
    failed = apptest::topModal<BadFilesDialog>();
    ASSERT_NE(failed, nullptr);
    EXPECT_EQ(failed->getContent().getTextBox().getText(),
              "Error: can't open file /a.jpg.Error: can't open file /b.jpg.");
    failed->closeButtonPressed();
    EXPECT_TRUE(apptest::pumpUntil([] { return apptest::topModal<BadFilesDialog>() == nullptr; }));

    content->perform(juce::ApplicationCommandTarget::InvocationInfo(MainComponent::kJpegOptions));
    auto* jpeg = apptest::topModal<JPEGCustomisationDialog>();
    ASSERT_NE(jpeg, nullptr);
    jpeg->getContent().getCancelButton().triggerClick();
    EXPECT_TRUE(apptest::pumpUntil([] { return apptest::topModal<JPEGCustomisationDialog>() == nullptr; }));

    content->perform(juce::ApplicationCommandTarget::InvocationInfo(MainComponent::kTilingOptions));
    auto* tiling = apptest::topModal<TilingOptionsDialog>();
    ASSERT_NE(tiling, nullptr);
    tiling->getContent().getOkButton().triggerClick();
    EXPECT_TRUE(apptest::pumpUntil([] { return apptest::topModal<TilingOptionsDialog>() == nullptr; }));

    content->perform(juce::ApplicationCommandTarget::InvocationInfo(MainComponent::kAbout));
    auto* about = apptest::topModal<AboutDialog>();
    ASSERT_NE(about, nullptr);
    EXPECT_NE(about->getContent().getLogo(), nullptr);
    about->getContent().getOkButton().triggerClick();
    EXPECT_TRUE(apptest::pumpUntil([] { return apptest::topModal<AboutDialog>() == nullptr; }));
}

TEST_F(ContentComponent, OutputTypeToggles) {
    auto* preview = content->getPreview();
    EXPECT_EQ(content->getOutputType(), 0);

    const int offered[] = {0, 1, 2, 6, 7};
    for (int type : offered) {
        content->setOutputType(type);
        EXPECT_EQ(content->getOutputType(), type);
        EXPECT_EQ(preview->getOutputType(), type);
        for (int other : offered) EXPECT_EQ(content->getOutputToggle(other).getToggleState(), other == type);
    }

    // Google Earth and pyramid TIFF have no toggle: nothing changes.
    content->setOutputType(4);
    content->setOutputType(5);
    EXPECT_EQ(content->getOutputType(), 7);
    EXPECT_EQ(preview->getOutputType(), 7);

    // Choosing a toggle does not reach the preview until a job starts.
    content->getOutputToggle(1).setToggleState(true, juce::sendNotificationSync);
    EXPECT_EQ(content->getOutputType(), 1);
    EXPECT_EQ(preview->getOutputType(), 7);
    content->applyOutputTypeToPreview();
    EXPECT_EQ(preview->getOutputType(), 1);

    // With no toggle on, the window reports verify and the preview keeps its type.
    content->getOutputToggle(1).setToggleState(false, juce::dontSendNotification);
    EXPECT_EQ(content->getOutputType(), 6);
    content->applyOutputTypeToPreview();
    EXPECT_EQ(preview->getOutputType(), 1);
}

TEST_F(ContentComponent, CancelRequestAndPerTickStep) {
    auto& cancel = content->getCancelButton();
    EXPECT_FALSE(cancel.isEnabled());
    content->setCancelEnabled(true);
    EXPECT_FALSE(content->isCancelRequested());
    cancel.triggerClick();
    EXPECT_TRUE(apptest::pumpUntil([&] { return content->isCancelRequested(); }));
    content->clearCancelRequest();
    EXPECT_FALSE(content->isCancelRequested());

    // One tick moves at most one queued line and clears the preview's changed flag.
    juce::String line;
    while (popLogLine(line)) {
    }
    pushLogLine(0, "a\n");
    pushLogLine(0, "b\n");
    EXPECT_TRUE(content->getPreview()->isPreviewChanged());
    content->updatePreviewAndLog();
    EXPECT_FALSE(content->getPreview()->isPreviewChanged());
    {
        const juce::ScopedLock lock(logQueueLock);
        EXPECT_EQ(logLineQueue, juce::StringArray({"b\n"}));
    }
}

TEST_F(ContentComponent, PreviewShowsTheDropHintOrTheCentredImage) {
    auto* preview = content->getPreview();
    auto hint = apptest::snapshotOnWhite(*preview);
    EXPECT_EQ(hint.getPixelAt(0, 100).withAlpha(1.0f), juce::Colours::black);
    EXPECT_EQ(hint.getPixelAt(255, 100).withAlpha(1.0f), juce::Colours::black);

    juce::Image image(juce::Image::RGB, 100, 50, true);
    image.clear(image.getBounds(), juce::Colours::red);
    preview->setPreviewImage(image);
    EXPECT_TRUE(preview->hasPreviewImage());
    auto shown = apptest::snapshotOnWhite(*preview);
    // Centred: (256 - 100) / 2 = 78 across, (256 - 50) / 2 = 103 down.
    EXPECT_EQ(shown.getPixelAt(78, 103).withAlpha(1.0f), juce::Colours::red);
    EXPECT_EQ(shown.getPixelAt(177, 152).withAlpha(1.0f), juce::Colours::red);
    EXPECT_NE(shown.getPixelAt(77, 103).withAlpha(1.0f), juce::Colours::red);
    EXPECT_NE(shown.getPixelAt(0, 100).withAlpha(1.0f), juce::Colours::black);

    preview->clearPreviewChanged();
    preview->setPreviewImage(juce::Image());
    EXPECT_FALSE(preview->hasPreviewImage());
    EXPECT_TRUE(preview->isPreviewChanged());
}

TEST(ContentOpenCommand, QueuesTheChosenFileAndRemembersItsFolder) {
    apptest::ScratchTree tree("app_open");
    const auto home = tree.folder("home");
    tree.folder("home/slides");
    const auto photo = tree.file("home/slides/photo.jpg");
    setenv("HOME", home.toRawUTF8(), 1);

    MainAppWindow window;
    auto* content = window.getMainComponent();
    content->setUseNativeFileChooser(false);
    EXPECT_EQ(content->getLastFolder(), juce::File(home));

    auto openChooser = [&]() -> juce::FileChooserDialogBox* {
        content->perform(juce::ApplicationCommandTarget::InvocationInfo(MainComponent::kOpen));
        juce::FileChooserDialogBox* box = nullptr;
        apptest::pumpUntil([&] { return (box = apptest::topModal<juce::FileChooserDialogBox>()) != nullptr; });
        return box;
    };

    // Cancelling the chooser changes nothing.
    auto* box = openChooser();
    ASSERT_NE(box, nullptr);
    EXPECT_EQ(box->getName(), "Choose file to kestrix");
    auto* browser = apptest::findDescendant<juce::FileBrowserComponent>(*box);
    ASSERT_NE(browser, nullptr);
    EXPECT_EQ(browser->getRoot(), juce::File(home));
    box->exitModalState(0);
    apptest::pumpMessages(100);
    EXPECT_TRUE(window.getJobQueue().empty());
    EXPECT_EQ(content->getLastFolder(), juce::File(home));

    box = openChooser();
    ASSERT_NE(box, nullptr);
    browser = apptest::findDescendant<juce::FileBrowserComponent>(*box);
    ASSERT_NE(browser, nullptr);
    browser->setRoot(juce::File(photo).getParentDirectory());
    browser->setFileName("photo.jpg");
    auto* open = apptest::findDescendant<juce::TextButton>(
        *box, [](juce::TextButton& b) { return b.getButtonText() == "Open"; });
    ASSERT_NE(open, nullptr);
    const int id = jobIdCounter;
    open->triggerClick();
    // The job's row stays, while the queue empties again as soon as the
    // dispatcher takes the job: the row is what a loaded machine may see.
    auto* table = content->getJobTable();
    ASSERT_TRUE(apptest::pumpUntil([&] { return table->findRow(id) != nullptr; }));
    EXPECT_EQ(table->findRow(id)->sourcePath, photo);
    EXPECT_EQ(table->getNumRows(), 1);
    EXPECT_EQ(content->getLastFolder(), juce::File(photo).getParentDirectory());
}
