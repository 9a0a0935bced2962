#include "app/BadFilesDialog.h"

BadFilesDialog::BadFilesDialog() : BadFilesDialog(kDefaultTitle) {}

BadFilesDialog::BadFilesDialog(const juce::String& title) : ModalDialogWindow(title), content_(new BadFilesDlg()) {
    install(content_, {340, 320, 1500, 1000, -200, -400, 432, 600});
}
