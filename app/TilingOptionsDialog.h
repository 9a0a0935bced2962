// The "Set Tiling Options" dialog.
#pragma once

#include "app/TileOptionsDlg.h"

class TilingOptionsDialog : public ModalDialogWindow {
public:
    TilingOptionsDialog();
    TileOptionsDlg& getContent() { return *content_; }

private:
    TileOptionsDlg* content_;
};
