#include "app/JPEGCustomisationDialog.h"

JPEGCustomisationDialog::JPEGCustomisationDialog()
    : ModalDialogWindow("Set JPEG/JPEG 2000 Options"), content_(new JpegOptionsDlg()) {
    install(content_, {340, 360, 1500, 1000, -150, -150, 330, 340});
}
