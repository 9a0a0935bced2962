// What every modal dialog of the window shares: the dialog window that owns
// one content component, and the content that knows the window's title bar.
#pragma once

#include <juce_gui_basics/juce_gui_basics.h>

#include "app/VerticalLayout.h"

// The nearest parent that is a dialog window, null when there is none.
juce::DialogWindow* findEnclosingDialogWindow(juce::Component* component);

// The user area of the monitor that holds the component.
juce::Rectangle<int> monitorAreaOf(const juce::Component& component);

class DialogContent : public juce::Component {
public:
    void setTitleBarHeight(int height) { titleBarHeight_ = height; }
    int getTitleBarHeight() const { return titleBarHeight_; }

protected:
    // Ends the enclosing dialog's modal state with result 0.
    void closeDialog();
    // Lays the columns out in the parent window's size W x H, 8 pixels from
    // the top and H - 16 - title bar high: the left column at x 16, W minus
    // leftWidthReduction wide; the right one (if any) at x 96, W - 80 wide.
    void layOutColumns(VerticalLayout& left, int leftWidthReduction, VerticalLayout* right);

    int titleBarHeight_ = 0;
};

// A white, resizable dialog window on the desktop; Escape and the close
// button end its modal state with result 0.
class ModalDialogWindow : public juce::DialogWindow {
public:
    explicit ModalDialogWindow(const juce::String& title);
    ~ModalDialogWindow() override;

    void closeButtonPressed() override;
    // Shows the dialog modally; it deletes itself when dismissed.
    void launchAndDeleteWhenDone();

protected:
    struct Geometry {
        int minWidth, minHeight, maxWidth, maxHeight;
        int offsetX, offsetY;  // top-left corner relative to the monitor centre
        int contentWidth, contentHeight;
    };
    // Takes ownership of the content, tells it the title bar height, places
    // the window on its monitor and sizes the content.
    void install(DialogContent* content, const Geometry& geometry);
};
