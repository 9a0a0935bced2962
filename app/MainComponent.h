// The content of the main window: preview, progress bar, Cancel, output-type
// toggles and the job table; also the menu bar model and the command target.
#pragma once

#include <juce_gui_extra/juce_gui_extra.h>

#include <memory>
#include <utility>
#include <vector>

#include "app/FileListingComponent.h"
#include "app/ImagePreview.h"
#include "app/VerticalLayout.h"
#include "engine/base/vq_global.h"

class MainAppWindow;

class MainComponent : public juce::Component,
                      public juce::MenuBarModel,
                      public juce::FileDragAndDropTarget,
                      public juce::Button::Listener,
                      public juce::ApplicationCommandTarget {
public:
    enum CommandIDs {
        kOpen = 0x1000,
        kExit = 0x1001,
        kShowFailedFiles = 0x1002,
        kJpegOptions = 0x2000,
        kTilingOptions = 0x2001,
        kAbout = 0x3000,
    };

    explicit MainComponent(MainAppWindow* mainWindow);
    ~MainComponent() override;

    // Output type codes 0, 1, 2, 6, 7 have a toggle; any other code changes nothing.
    void setOutputType(int type);
    int getOutputType() const;
    void applyOutputTypeToPreview();

    vq_zoomoutput_base* getPreviewOutput() { return preview_.get(); }
    vq_logoutput_base* getPreviewLogSink() { return preview_.get(); }
    int getProgressPercent() { return preview_ != nullptr ? preview_->getProgress() : 0; }
    // One dispatcher tick: repaint a changed preview, move one queued log line.
    void updatePreviewAndLog();
    void setVerifyTileTotal(const std::vector<std::pair<int, int>>& levelGrids);
    void addLogLine(const juce::String& line);
    bool isCancelRequested() const { return cancelRequested_; }
    void clearCancelRequest() { cancelRequested_ = false; }
    void setCancelEnabled(bool enabled) { cancelButton_->setEnabled(enabled); }
    void addJob(const ConversionJob& job);
    void setJobStatus(const ConversionJob& job, int status);
    void updateJob(const ConversionJob& job);
    int getQuality();

    // Failure messages of the run, oldest first; shown by Show Failed Files.
    juce::StringArray& getFailedFileMessages() { return failedFileMessages_; }
    ImagePreview* getPreview() { return preview_.get(); }
    FileListingComponent* getJobTable() { return jobTable_.get(); }
    juce::TextButton& getCancelButton() { return *cancelButton_; }
    juce::ToggleButton& getOutputToggle(int type);
    juce::Label& getInstructionLabel() { return *instructionLabel_; }
    juce::Label& getCreditLabel() { return *creditLabel_; }
    juce::ProgressBar& getProgressBar() { return *progressBar_; }
    const juce::File& getLastFolder() const { return lastFolder_; }
    // The system's file dialog, or the toolkit's own (which tests can drive).
    void setUseNativeFileChooser(bool useNative) { useNativeFileChooser_ = useNative; }

    void paint(juce::Graphics&) override {}
    void parentSizeChanged() override;
    // Height the content needs to show every control of its left column, the
    // taller one, with the top margin above it and a gap below.
    int getMinimumHeight() const { return 8 + leftColumn_.getFixedHeight(); }

    juce::StringArray getMenuBarNames() override;
    juce::PopupMenu getMenuForIndex(int menuIndex, const juce::String& menuName) override;
    void menuItemSelected(int, int) override {}

    bool isInterestedInFileDrag(const juce::StringArray& files) override;
    void filesDropped(const juce::StringArray& files, int x, int y) override;

    void buttonClicked(juce::Button* button) override;
    void buttonStateChanged(juce::Button*) override {}

    juce::ApplicationCommandTarget* getNextCommandTarget() override;
    void getAllCommands(juce::Array<juce::CommandID>& commands) override;
    void getCommandInfo(juce::CommandID commandID, juce::ApplicationCommandInfo& result) override;
    bool perform(const juce::ApplicationCommandTarget::InvocationInfo& info) override;

    static constexpr const char* kOpenPatterns = "*.jpg;*.tif;*.tiff;*.bmp;*.png;*.jpeg;*.svs;*.scn;*.mrxs;*.pff;*.jp2;*.ppm";

private:
    struct OutputToggle {
        int type;
        std::unique_ptr<juce::ToggleButton> button;
    };

    void showOpenDialog();

    std::unique_ptr<ImagePreview> preview_;
    juce::StringArray failedFileMessages_;
    std::unique_ptr<juce::Label> creditLabel_;
    std::unique_ptr<juce::Label> instructionLabel_;
    juce::File lastFolder_;
    bool cancelRequested_ = false;
    VerticalLayout leftColumn_;
    VerticalLayout rightColumn_;
    std::unique_ptr<juce::ProgressBar> progressBar_;
    MainAppWindow* mainWindow_;
    std::unique_ptr<FileListingComponent> jobTable_;
    std::unique_ptr<juce::TextButton> cancelButton_;
    // In layout order: tile folder, SVS JPEG, SVS JPEG 2000, PFF, verify.
    std::vector<OutputToggle> outputToggles_;
    std::unique_ptr<juce::FileChooser> chooser_;
    bool useNativeFileChooser_ = true;
};
