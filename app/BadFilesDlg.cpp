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

void BadFilesDlg::parentSizeChanged() { layOutColumns(leftColumn_, 32, &rightColumn_); }
