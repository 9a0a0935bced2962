#include "app/MainComponent.h"

#include "app/AboutDialog.h"
#include "app/BadFilesDialog.h"
#include "app/JPEGCustomisationDialog.h"
#include "app/LogQueue.h"
#include "app/MainAppWindow.h"
#include "app/TilingOptionsDialog.h"

namespace {

struct ToggleSpec {
    int type;
    const char* caption;
};
// Layout order of the output toggles.
constexpr ToggleSpec kToggles[] = {
    {0, "Kestrix Output"}, {1, "SVS with JPEG"}, {2, "SVS with JPEG 2000"}, {7, "Kestrix PFF File"},
    {6, "Verify Pyramid"},
};
constexpr int kOutputToggleGroup = 1;

} // namespace

MainComponent::MainComponent(MainAppWindow* mainWindow)
    : lastFolder_(juce::File::getSpecialLocation(juce::File::userHomeDirectory)), mainWindow_(mainWindow) {
    setOpaque(false);

    preview_ = std::make_unique<ImagePreview>();
    preview_->setSize(256, 256);
    addAndMakeVisible(*preview_);
    progressBar_ = std::make_unique<juce::ProgressBar>(mainWindow_->getProgressValue());
    addAndMakeVisible(*progressBar_);
    jobTable_ = std::make_unique<FileListingComponent>();
    addAndMakeVisible(*jobTable_);

    creditLabel_ = std::make_unique<juce::Label>("Version", "Powered by Velquist");
    addAndMakeVisible(*creditLabel_);
    instructionLabel_ =
        std::make_unique<juce::Label>("Instruction", "Processing result - double-click item for details");
    addAndMakeVisible(*instructionLabel_);
    creditLabel_->setFont(juce::Font(creditLabel_->getFont().getHeight() * 0.9f, juce::Font::plain));
    const int creditHeight = static_cast<int>(creditLabel_->getFont().getHeight());

    cancelButton_ = std::make_unique<juce::TextButton>("Cancel");
    cancelButton_->addListener(this);
    cancelButton_->setEnabled(false);
    addAndMakeVisible(*cancelButton_);

    for (const auto& spec : kToggles) {
        auto button = std::make_unique<juce::ToggleButton>(spec.caption);
        button->setRadioGroupId(kOutputToggleGroup);
        button->setToggleState(spec.type == 0, juce::dontSendNotification);
        addAndMakeVisible(*button);
        outputToggles_.push_back({spec.type, std::move(button)});
    }

    leftColumn_.setGap(8);
    leftColumn_.addComponent(preview_.get(), 256, 256, 256);
    leftColumn_.addComponent(progressBar_.get(), 20, 20, 256);
    leftColumn_.addComponent(cancelButton_.get(), 20, 20, 80);
    for (auto& toggle : outputToggles_) leftColumn_.addComponent(toggle.button.get(), 20, 20, 150);

    rightColumn_.setGap(8);
    rightColumn_.addComponent(instructionLabel_.get(), 20, 20, 512);
    rightColumn_.addComponent(jobTable_.get(), 100, 800, 0);
    rightColumn_.addComponent(creditLabel_.get(), creditHeight, creditHeight, 800);
}

MainComponent::~MainComponent() {
    cancelButton_->removeListener(this);
    chooser_.reset();
}

juce::ToggleButton& MainComponent::getOutputToggle(int type) {
    for (auto& toggle : outputToggles_)
        if (toggle.type == type) return *toggle.button;
    jassertfalse;
    return *outputToggles_.front().button;
}

void MainComponent::setOutputType(int type) {
    bool known = false;
    for (const auto& toggle : outputToggles_) known = known || toggle.type == type;
    if (!known) return;
    for (auto& toggle : outputToggles_) toggle.button->setToggleState(toggle.type == type, juce::dontSendNotification);
    if (preview_ != nullptr) preview_->setOutputType(type);
}

int MainComponent::getOutputType() const {
    for (int type : {0, 6, 1, 2, 7})
        for (const auto& toggle : outputToggles_)
            if (toggle.type == type && toggle.button->getToggleState()) return type;
    return 6;
}

void MainComponent::applyOutputTypeToPreview() {
    if (preview_ == nullptr) return;
    for (int type : {0, 1, 2, 7, 6})
        for (const auto& toggle : outputToggles_)
            if (toggle.type == type && toggle.button->getToggleState()) {
                preview_->setOutputType(type);
                return;
            }
}

void MainComponent::updatePreviewAndLog() {
    if (preview_ != nullptr && preview_->isPreviewChanged()) {
        preview_->repaint();
        preview_->clearPreviewChanged();
    }
    juce::String line;
    if (popLogLine(line)) addLogLine(line);
}

void MainComponent::setVerifyTileTotal(const std::vector<std::pair<int, int>>& levelGrids) {
    if (preview_ != nullptr) preview_->setVerifyTileTotal(levelGrids);
}

void MainComponent::addLogLine(const juce::String& line) { mainWindow_->addLogLineToRunningJob(line); }

void MainComponent::addJob(const ConversionJob& job) {
    if (jobTable_ != nullptr) jobTable_->addJob(job);
}

void MainComponent::setJobStatus(const ConversionJob& job, int status) {
    if (jobTable_ != nullptr) jobTable_->setJobStatus(job, status);
}

void MainComponent::updateJob(const ConversionJob& job) {
    if (jobTable_ != nullptr) jobTable_->updateJob(job);
}

int MainComponent::getQuality() {
    vq_ptr<vq_global_base> global;
    getGlobal(global.put());
    return global->getQuality();
}

void MainComponent::parentSizeChanged() {
    auto* parent = getParentComponent();
    if (parent == nullptr) return;
    const int w = parent->getWidth();
    const int a = parent->getHeight() - leftColumn_.getGap();
    leftColumn_.layOut(16, 8, w, a);
    const int x2 = preview_->getX() + preview_->getWidth() + 16;
    rightColumn_.layOut(x2, 8, w - x2 - 32, a - 32);
}

juce::StringArray MainComponent::getMenuBarNames() { return {"File", "Options", "About"}; }

juce::PopupMenu MainComponent::getMenuForIndex(int menuIndex, const juce::String&) {
    juce::PopupMenu menu;
    auto* commands = &mainWindow_->getCommandManager();
    switch (menuIndex) {
        case 0:
            menu.addCommandItem(commands, kOpen);
            menu.addCommandItem(commands, kExit);
            menu.addCommandItem(commands, kShowFailedFiles);
            break;
        case 1:
            menu.addCommandItem(commands, kJpegOptions);
            menu.addCommandItem(commands, kTilingOptions);
            break;
        case 2: menu.addCommandItem(commands, kAbout); break;
        default: break;
    }
    return menu;
}

bool MainComponent::isInterestedInFileDrag(const juce::StringArray& files) {
    return mainWindow_->isInterestedInFileDrag(files);
}

void MainComponent::filesDropped(const juce::StringArray& files, int x, int y) {
    mainWindow_->filesDropped(files, x, y);
}

void MainComponent::buttonClicked(juce::Button* button) {
    if (button == cancelButton_.get()) cancelRequested_ = true;
}

juce::ApplicationCommandTarget* MainComponent::getNextCommandTarget() { return findFirstTargetParentComponent(); }

void MainComponent::getAllCommands(juce::Array<juce::CommandID>& commands) {
    commands.addArray({kOpen, kExit, kJpegOptions, kTilingOptions, kShowFailedFiles, kAbout});
}

void MainComponent::getCommandInfo(juce::CommandID commandID, juce::ApplicationCommandInfo& result) {
    switch (commandID) {
        case kOpen: result.setInfo("Open", "Choose a file to be kestrixed.", "File", 0); break;
        case kExit: result.setInfo("Exit", "Closes window and ends application", "File", 0); break;
        case kShowFailedFiles: result.setInfo("Show Failed Files", "Displays list of failed files.", "File", 0); break;
        case kJpegOptions:
            result.setInfo("Jpeg/Jpeg 2000", "Sets options for JPEG and JPEG 2000 compression", "Options", 0);
            break;
        case kTilingOptions: result.setInfo("Tiling", "Sets options for tiling", "Options", 0); break;
        case kAbout: result.setInfo("About Kestrix", "About the software.", "About", 0); break;
        default: break;
    }
}

bool MainComponent::perform(const juce::ApplicationCommandTarget::InvocationInfo& info) {
    switch (info.commandID) {
        case kOpen: showOpenDialog(); break;
        case kExit: mainWindow_->closeButtonPressed(); break;
        case kShowFailedFiles: {
            auto* dialog = new BadFilesDialog();
            dialog->setLines(failedFileMessages_);
            dialog->launchAndDeleteWhenDone();
            break;
        }
        case kJpegOptions: (new JPEGCustomisationDialog())->launchAndDeleteWhenDone(); break;
        case kTilingOptions: (new TilingOptionsDialog())->launchAndDeleteWhenDone(); break;
        case kAbout: (new AboutDialog())->launchAndDeleteWhenDone(); break;
        default: break;
    }
    return true;
}

void MainComponent::showOpenDialog() {
    chooser_ = std::make_unique<juce::FileChooser>("Choose file to kestrix", lastFolder_, kOpenPatterns,
                                                  useNativeFileChooser_);
    const auto flags = juce::FileBrowserComponent::openMode | juce::FileBrowserComponent::canSelectFiles;
    chooser_->launchAsync(flags, [this](const juce::FileChooser& chooser) {
        const auto file = chooser.getResult();
        if (file == juce::File()) return;
        mainWindow_->filesDropped(juce::StringArray(file.getFullPathName()), 0, 0);
        lastFolder_ = file.getParentDirectory();
    });
}
