#include "app/TilingOptionsDialog.h"

TilingOptionsDialog::TilingOptionsDialog()
    : ModalDialogWindow("Set Tiling Options"), content_(new TileOptionsDlg()) {
    install(content_, {340, 320, 1500, 1000, -150, -150, 330, 300});
}
