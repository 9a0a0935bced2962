#include "app/DialogSupport.h"

juce::DialogWindow* findEnclosingDialogWindow(juce::Component* component) {
    return component != nullptr ? component->findParentComponentOfClass<juce::DialogWindow>() : nullptr;
}

juce::Rectangle<int> monitorAreaOf(const juce::Component& component) {
    const auto& displays = juce::Desktop::getInstance().getDisplays();
    const auto* display = displays.getDisplayForRect(component.getScreenBounds());
    if (display == nullptr) display = displays.getPrimaryDisplay();
    return display != nullptr ? display->userArea : juce::Rectangle<int>(0, 0, 1024, 768);
}

void DialogContent::closeDialog() {
    if (auto* dialog = findEnclosingDialogWindow(this)) dialog->exitModalState(0);
}

void DialogContent::layOutColumns(VerticalLayout& left, int leftWidthReduction, VerticalLayout* right) {
    auto* parent = getParentComponent();
    if (parent == nullptr) return;
    const int w = parent->getWidth();
    const int height = parent->getHeight() - 8 - titleBarHeight_ - 8;
    left.layOut(16, 8, w - leftWidthReduction, height);
    if (right != nullptr) right->layOut(96, 8, w - 80, height);
}

ModalDialogWindow::ModalDialogWindow(const juce::String& title)
    : juce::DialogWindow(title, juce::Colours::white, true, true) {
    setResizable(true, true);
}

ModalDialogWindow::~ModalDialogWindow() { clearContentComponent(); }

void ModalDialogWindow::closeButtonPressed() { exitModalState(0); }

void ModalDialogWindow::launchAndDeleteWhenDone() {
    setVisible(true);
    enterModalState(true, nullptr, true);
}

void ModalDialogWindow::install(DialogContent* content, const Geometry& geometry) {
    setResizeLimits(geometry.minWidth, geometry.minHeight, geometry.maxWidth, geometry.maxHeight);
    setContentOwned(content, true);
    content->setTitleBarHeight(getTitleBarHeight());
    const auto centre = monitorAreaOf(*this).getCentre();
    setTopLeftPosition(centre.x + geometry.offsetX, centre.y + geometry.offsetY);
    content->setSize(geometry.contentWidth, geometry.contentHeight);
}
