// Modal dialog that shows a list of text lines: the failed files of the run,
// or one job's log as "Processing Result".
#pragma once

#include "app/BadFilesDlg.h"

class BadFilesDialog : public ModalDialogWindow {
public:
    BadFilesDialog();
    explicit BadFilesDialog(const juce::String& title);

    void setLines(const juce::StringArray& lines) { content_->setLines(lines); }
    BadFilesDlg& getContent() { return *content_; }

    static constexpr const char* kDefaultTitle = "Failed files list";

private:
    BadFilesDlg* content_;
};
