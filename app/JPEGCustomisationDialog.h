// The "Set JPEG/JPEG 2000 Options" dialog.
#pragma once

#include "app/JpegOptionsDlg.h"

class JPEGCustomisationDialog : public ModalDialogWindow {
public:
    JPEGCustomisationDialog();
    JpegOptionsDlg& getContent() { return *content_; }

private:
    JpegOptionsDlg* content_;
};
