#include "app/AboutDialog.h"

AboutDialog::AboutDialog(const char* const* logoLines)
    : ModalDialogWindow("About Kestrix"), content_(new AboutDlg(logoLines)) {
    install(content_, {420, 320, 420, 420, -110, -160, 420, 420});
    content_->parentSizeChanged();
}
