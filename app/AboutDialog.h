// The "About Kestrix" box.
#pragma once

#include "app/AboutDlg.h"

// The logo drawn at the top of the about box, as SVG lines ended by a null entry.
extern const char* const kestrixLogoLines[];

class AboutDialog : public ModalDialogWindow {
public:
    explicit AboutDialog(const char* const* logoLines = kestrixLogoLines);

    AboutDlg& getContent() { return *content_; }

private:
    AboutDlg* content_;
};
