#include "app/BadFilesDlg.h"

BadFilesDlg::BadFilesDlg() {
    textBox_.setMultiLine(true, true);
    textBox_.setReadOnly(true);
    addAndMakeVisible(textBox_);
    addAndMakeVisible(okButton_);
    okButton_.addListener(this);

    leftColumn_.setGap(8);
    leftColumn_.addComponent(&textBox_, 400, 1200, 0);
    leftColumn_.addSpacer(8);
    leftColumn_.addComponent(&okButton_, 24, 24, 60, true);
    setSize(300, 260);
}

BadFilesDlg::~BadFilesDlg() { okButton_.removeListener(this); }

void BadFilesDlg::setLines(const juce::StringArray& lines) {
    juce::String text;
    for (const auto& line : lines) text += line;
    textBox_.setText(text, true);
}

void BadFilesDlg::buttonClicked(juce::Button*) { closeDialog(); }

void BadFilesDlg::parentSizeChanged() {
    auto* parent = getParentComponent();
    if (parent == nullptr) return;
    const int w = parent->getWidth();
    const int h = parent->getHeight() - 8 - titleBarHeight_ - 8;
    leftColumn_.layOut(16, 8, w - 32, h);
    rightColumn_.layOut(96, 8, w - 80, h);
}
